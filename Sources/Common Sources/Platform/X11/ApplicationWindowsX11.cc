// The window manager's client list, watched through PropertyNotify events
// on the root window. The descriptor handed out is an epoll set over the
// display socket and an eventfd: waiting for a reply makes xcb read whatever
// events arrived meanwhile into its own queue, where the socket no longer
// shows them, so such a change is noted and the eventfd keeps the set
// readable until DrainEvents.
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>

#include "Platform/X11/ApplicationWindows.h"
#include "Platform/X11/X11Windows.h"

namespace corvane {
namespace {

// More top-level windows than any session has; a longer list is cut.
constexpr uint32_t kMaxClientWindows = 4096;

class ApplicationWindowsX11 final : public ApplicationWindows {
 public:
  explicit ApplicationWindowsX11(std::unique_ptr<X11Connection> x) : x_(std::move(x)) {}
  ~ApplicationWindowsX11() override {
    if (epoll_fd_ >= 0) close(epoll_fd_);
    if (event_fd_ >= 0) close(event_fd_);
  }

  bool Start() {
    uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x_->connection(), x_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x_->connection());
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
    event_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_fd_ < 0 || event_fd_ < 0) return false;
    for (int fd : {xcb_get_file_descriptor(x_->connection()), event_fd_}) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.fd = fd;
      if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) != 0) return false;
    }
    return !x_->broken();
  }

  int EventDescriptor() const override { return epoll_fd_; }

  bool DrainEvents() override {
    uint64_t count;
    while (read(event_fd_, &count, sizeof count) > 0) {
    }
    bool changed = pending_change_;
    pending_change_ = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_->connection())) {
      changed = IsClientListChange(event) || changed;
      std::free(event);
    }
    return changed || x_->broken();
  }

  std::vector<ClientWindow> ClientWindows() override {
    if (x_->broken()) return {};
    std::vector<ClientWindow> windows = ReadClientWindows(
        *x_, ReadRootWindows(*x_, X11Atom::kNetClientList, kMaxClientWindows));
    NoteQueuedEvents();
    return windows;
  }

  int32_t ActiveWindowPid(bool* captured) override {
    if (captured != nullptr) *captured = false;
    if (x_->broken()) return 0;
    std::vector<xcb_window_t> active = ReadRootWindows(*x_, X11Atom::kNetActiveWindow, 1);
    int32_t pid = 0;
    if (!active.empty()) pid = ReadClientWindows(*x_, active).front().pid;
    if (captured != nullptr) {
      // Grabbing is tried only when needed: even a grab released at once
      // makes the focused window see focus leave and come back.
      *captured = (!active.empty() && IsFullScreenWindow(*x_, active.front())) ||
                  KeyboardGrabbedByOther(*x_);
    }
    NoteQueuedEvents();
    return pid;
  }

 private:
  bool IsClientListChange(const xcb_generic_event_t* event) const {
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
    auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    return notify->window == x_->root() && notify->atom == x_->atom(X11Atom::kNetClientList);
  }

  void NoteQueuedEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(x_->connection())) {
      pending_change_ = IsClientListChange(event) || pending_change_;
      std::free(event);
    }
    if (pending_change_) {
      uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(event_fd_, &one, sizeof one);
    }
  }

  std::unique_ptr<X11Connection> x_;
  int epoll_fd_ = -1;
  int event_fd_ = -1;
  bool pending_change_ = false;
};

}  // namespace

std::unique_ptr<ApplicationWindows> ApplicationWindows::Open() {
  std::unique_ptr<X11Connection> x = X11Connection::Open();
  if (x == nullptr) return nullptr;
  auto windows = std::make_unique<ApplicationWindowsX11>(std::move(x));
  if (!windows->Start()) return nullptr;
  return windows;
}

}  // namespace corvane
