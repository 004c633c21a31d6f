// The application in front: the one owning the active window.
#pragma once

#include <optional>
#include <string>

namespace corvane {

struct FrontApplication {
  // Its settings key (desktop entry ID, or the fake-ID form for a program
  // without an entry); "" when the program cannot be looked into.
  std::string bundle_id;
  std::string name;       // what a person calls it
};

// None without a display or an active window.
std::optional<FrontApplication> FindFrontApplication();

}  // namespace corvane
