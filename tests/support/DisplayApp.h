// The one QApplication of a test program that shows windows.
#pragma once

#include <QApplication>

namespace corvane::test {

// Made on first use on the X display in DISPLAY, with `name` as its program
// name; null when no X server answers there. Never destroyed: tearing Qt
// down among the other static objects at exit crashes, and the process ends
// right after anyway.
QApplication* DisplayApp(const char* name);

}  // namespace corvane::test
