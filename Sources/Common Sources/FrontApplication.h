// The application in front: the one owning the active window.
#pragma once

#include <optional>
#include <string>

namespace corvane {

struct FrontApplication {
  // Its settings key (desktop entry ID, or "com.quarlant.otherApps" for a
  // program no entry names; the first key where there are several); "" when
  // the program cannot be looked into or is part of the desktop.
  std::string bundle_id;
  std::string name;       // what a person calls it
};

// None without a display or an active window.
std::optional<FrontApplication> FindFrontApplication();

}  // namespace corvane
