#include "WindowWatcher.h"

#include <QSocketNotifier>

#include "Platform/X11/ApplicationWindows.h"

namespace corvane {

WindowWatcher::WindowWatcher(AgentState& state, ApplicationWindows* windows)
    : windows_(windows), watch_(state) {}

WindowWatcher::~WindowWatcher() = default;

std::vector<RunningApplication> WindowWatcher::Start() {
  if (windows_ == nullptr) return {};
  windows_->DrainEvents();
  std::vector<RunningApplication> running = watch_.Start(windows_->ClientWindows());
  notifier_ = new QSocketNotifier(windows_->EventDescriptor(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &WindowWatcher::HandleEvents);
  return running;
}

void WindowWatcher::Poll() {
  if (windows_ == nullptr || notifier_ == nullptr) return;
  watch_.Update(windows_->ClientWindows());
}

void WindowWatcher::HandleEvents() {
  if (!windows_->DrainEvents()) return;
  watch_.Update(windows_->ClientWindows());
}

}  // namespace corvane
