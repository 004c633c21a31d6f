#include "Paths.h"

#include <cassert>
#include <cstdlib>
#include <optional>

#include "Platform/System/ProcessIdentity.h"

namespace corvane {
namespace {

std::optional<std::string>& CachedRoot() {
  static std::optional<std::string> root;
  return root;
}

std::string ComputeRoot() {
  if (IsPrivilegeElevated()) return "";
  const char* env = std::getenv("CORVANE_ROOT");
  if (env == nullptr || env[0] == '\0') return "";
  std::string root(env);
  while (!root.empty() && root.back() == '/') root.pop_back();
  return root;
}

}  // namespace

const std::string& RootPrefix() {
  auto& root = CachedRoot();
  if (!root) root = ComputeRoot();
  return *root;
}

std::string SystemPath(std::string_view system_path) {
  assert(!system_path.empty() && system_path.front() == '/' && "Paths: path must be absolute");
  return RootPrefix() + std::string(system_path);
}

std::string LocaleFolder(const std::string& program_folder) {
  if (!kLocaleBesideProgram || program_folder.empty()) return std::string(kSystemLocaleFolder);
  return program_folder + "/../share/locale";
}

void ResetRootPrefixForTesting() { CachedRoot().reset(); }

}  // namespace corvane
