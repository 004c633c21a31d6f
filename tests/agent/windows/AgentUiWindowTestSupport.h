// Shared harness of the agent's window tests: one QApplication on the
// display of the test rig, screenshots under the build folder, xdotool.
#pragma once

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <functional>
#include <string>

#include "TestSupport.h"

namespace corvane::test {

// The application, made on first use; null when no X display answers.
QApplication* WindowTestApp();
// Runs the event loop until `done` holds or `milliseconds` pass.
bool WaitUntil(const std::function<bool()>& done, int milliseconds = 5000);
// Processes events for `milliseconds`.
void Pump(int milliseconds);
// The whole screen as build/screenshots/<name>-<W>x<H>.png; returns the path.
std::string SaveScreenshot(const std::string& name);
// xdotool with the given arguments; its exit status.
int Xdotool(const std::string& arguments);

}  // namespace corvane::test

#define SKIP_WITHOUT_DISPLAY() \
  if (corvane::test::WindowTestApp() == nullptr) GTEST_SKIP() << "no X display answers (run under scripts/test-env)"
