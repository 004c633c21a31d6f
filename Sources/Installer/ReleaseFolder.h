// The release folder the engine installs from: the folder one level above
// the one that holds the engine (the prefix of "cmake --install"). Programs
// are in its "bin/", folder trees of type "app" at its top:
//   <release>/bin/Corvane_5_install_tool    the engine itself
//   <release>/bin/Corvane 5 Server, <release>/bin/c5engine
//   <release>/Corvane 5 Login Item.app/     the agent's folder tree
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// The path of the named resource, none when the release lacks it. `type` is
// "" for a program and "app" for a folder tree.
std::optional<std::string> FindReleaseResource(std::string_view name, std::string_view type);

}  // namespace corvane
