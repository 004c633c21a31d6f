// The application in front: the one owning the active window.
#pragma once

#include <optional>
#include <string>

namespace corvane {

struct FrontApplication {
  std::string bundle_id;  // its desktop entry ID; "" when none matches
  std::string name;       // what a person calls it
};

// None without a display or an active window.
std::optional<FrontApplication> FindFrontApplication();

}  // namespace corvane
