#include "ReleaseFolder.h"

#include <filesystem>

#include "Platform/System/ProgramLocation.h"

namespace corvane {
namespace {

const std::string& ReleaseFolder() {
  static const std::string kFolder = [] {
    std::string own = ProgramFolder();
    return own.empty() ? std::string() : own + "/..";
  }();
  return kFolder;
}

}  // namespace

std::optional<std::string> FindReleaseResource(std::string_view name, std::string_view type) {
  if (ReleaseFolder().empty()) return std::nullopt;
  std::string path = type.empty() ? ReleaseFolder() + "/bin/" + std::string(name)
                                  : ReleaseFolder() + "/" + std::string(name) + "." + std::string(type);
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return std::nullopt;
  return path;
}

}  // namespace corvane
