#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

#include "Platform/X11/CoverWindow.h"
#include "Platform/X11/X11Windows.h"

namespace corvane {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

class X11CoverWindowDisplay : public CoverWindowDisplay {
 public:
  explicit X11CoverWindowDisplay(std::unique_ptr<X11Connection> x) : x_(std::move(x)) {}

  bool IsViewable(uint64_t window) override {
    xcb_connection_t* c = x_->connection();
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(
            c, xcb_get_window_attributes(c, static_cast<xcb_window_t>(window)), nullptr),
        &std::free);
    return a != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE;
  }

  bool IsCovered(uint64_t window, const std::vector<uint64_t>& own) override {
    xcb_window_t top = TopLevel(static_cast<xcb_window_t>(window));
    if (top == XCB_WINDOW_NONE) return false;
    std::vector<xcb_window_t> own_tops;
    for (uint64_t w : own) own_tops.push_back(TopLevel(static_cast<xcb_window_t>(w)));
    xcb_connection_t* c = x_->connection();
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, x_->root()), nullptr), &std::free);
    if (tree == nullptr) return false;
    // Children come bottom to top: only those after ours can be above it.
    xcb_window_t* children = xcb_query_tree_children(tree.get());
    int count = xcb_query_tree_children_length(tree.get());
    int ours = static_cast<int>(std::find(children, children + count, top) - children);
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (int i = ours + 1; i < count; ++i) {
      cookies.push_back(xcb_get_window_attributes(c, children[i]));
    }
    bool covered = false;
    for (size_t i = 0; i < cookies.size(); ++i) {
      Reply<xcb_get_window_attributes_reply_t> a(
          xcb_get_window_attributes_reply(c, cookies[i], nullptr), &std::free);
      xcb_window_t w = children[ours + 1 + static_cast<int>(i)];
      bool mine = std::find(own_tops.begin(), own_tops.end(), w) != own_tops.end();
      if (a != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE && !mine &&
          a->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        covered = true;
      }
    }
    return covered;
  }

  void MapAndRaise(uint64_t window) override {
    xcb_connection_t* c = x_->connection();
    auto w = static_cast<xcb_window_t>(window);
    xcb_map_window(c, w);
    // The frame a window manager put around it is what other windows are
    // stacked against; a managed window's own request reaches the manager.
    uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_window_t top = TopLevel(w);
    if (top != w && top != XCB_WINDOW_NONE) {
      xcb_configure_window(c, top, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    xcb_flush(c);
  }

 private:
  // The ancestor of `w` that is a child of the root (w itself when it is).
  xcb_window_t TopLevel(xcb_window_t w) {
    xcb_connection_t* c = x_->connection();
    for (int depth = 0; depth < 16; ++depth) {
      Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr),
                                         &std::free);
      if (tree == nullptr) return XCB_WINDOW_NONE;
      if (tree->parent == x_->root() || tree->parent == XCB_WINDOW_NONE) return w;
      w = tree->parent;
    }
    return XCB_WINDOW_NONE;
  }

  std::unique_ptr<X11Connection> x_;
};

}  // namespace

std::unique_ptr<CoverWindowDisplay> CoverWindowDisplay::Open() {
  std::unique_ptr<X11Connection> x = X11Connection::Open();
  if (x == nullptr) return nullptr;
  return std::make_unique<X11CoverWindowDisplay>(std::move(x));
}

}  // namespace corvane
