#include "CoverGuard.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "Platform/X11/CoverWindow.h"

namespace corvane {

CoverGuard::CoverGuard(QWidget* cover, std::vector<QWidget*> blanks)
    : cover_(cover), blanks_(std::move(blanks)), display_(CoverWindowDisplay::Open()) {
  if (QWindow* handle = cover_->windowHandle()) handle->installEventFilter(this);
  connect(&timer_, &QTimer::timeout, this, &CoverGuard::Round);
  timer_.start(kRoundMilliseconds);
  Round();
}

CoverGuard::~CoverGuard() { Release(); }

void CoverGuard::Release() {
  if (QWindow* handle = cover_->windowHandle()) {
    handle->setKeyboardGrabEnabled(false);
    handle->setMouseGrabEnabled(false);
  }
  keyboard_held_ = pointer_held_ = false;
}

void CoverGuard::SetInCharge(bool in_charge) {
  in_charge_ = in_charge;
  if (!in_charge_) {
    // The grabs pass to the cover above without a release: releasing now
    // would undo the grabs it has just taken on the same connection.
    keyboard_held_ = pointer_held_ = false;
    return;
  }
  Round();
}

bool CoverGuard::eventFilter(QObject* watched, QEvent* event) {
  // An unmap, even one undone at once, took the grabs with it.
  if (event->type() == QEvent::Expose) {
    auto* window = static_cast<QWindow*>(watched);
    if (!window->isExposed()) keyboard_held_ = pointer_held_ = false;
  }
  return false;
}

void CoverGuard::Round() {
  if (!in_charge_) return;
  QWindow* handle = cover_->windowHandle();
  if (handle == nullptr) return;
  uint64_t id = cover_->winId();
  bool minimised = (handle->windowStates() & Qt::WindowMinimized) != 0;
  bool viewable = display_ != nullptr ? display_->IsViewable(id) : handle->isExposed();
  if (minimised || !viewable) {
    ++restores_;
    keyboard_held_ = pointer_held_ = false;
    if (minimised) handle->setWindowStates(handle->windowStates() & ~Qt::WindowMinimized);
    for (QWidget* blank : blanks_) {
      if (display_ != nullptr) display_->MapAndRaise(blank->winId());
    }
    if (display_ != nullptr) {
      display_->MapAndRaise(id);
    } else {
      cover_->show();
      cover_->raise();
    }
    return;  // the grabs need the window mapped: next round
  }
  std::vector<uint64_t> own;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->testAttribute(Qt::WA_WState_Created)) own.push_back(w->winId());
  }
  if (display_ == nullptr) {
    cover_->raise();
  } else if (display_->IsCovered(id, own)) {
    for (QWidget* blank : blanks_) display_->MapAndRaise(blank->winId());
    display_->MapAndRaise(id);
  }
  // A grab fails while another client holds one; it is tried again each
  // round until it holds.
  if (!keyboard_held_) keyboard_held_ = handle->setKeyboardGrabEnabled(true);
  if (!pointer_held_) pointer_held_ = handle->setMouseGrabEnabled(true);
}

}  // namespace corvane
