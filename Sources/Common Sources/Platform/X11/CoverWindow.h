// What the agent's full-screen covers need to know of the display and to do
// to it that the toolkit does not offer: whether one of them is still mapped
// and on top, and mapping and raising it again. The toolkit keeps the grabs:
// they must belong to the connection that receives the window's events.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace corvane {

class CoverWindowDisplay {
 public:
  // Null without an X11 display.
  static std::unique_ptr<CoverWindowDisplay> Open();
  virtual ~CoverWindowDisplay() = default;

  // The window (a native window id) is mapped and every one of its
  // ancestors too, so it can be seen and can hold a grab.
  virtual bool IsViewable(uint64_t window) = 0;
  // A viewable top-level window that is not one of `own` (windows of this
  // program, compared by their top-level frames) is stacked above `window`.
  virtual bool IsCovered(uint64_t window, const std::vector<uint64_t>& own) = 0;
  // Maps the window (a window manager that iconified it is asked to show
  // it again) and raises it over every sibling.
  virtual void MapAndRaise(uint64_t window) = 0;
};

}  // namespace corvane
