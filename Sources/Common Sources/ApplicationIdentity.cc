// A process is matched to a desktop entry by what its program declares
// first (a sandbox's application ID, the GTK application ID), then by its
// window class, and last by its executable. The declarations come first
// because they survive a renamed or copied executable.
#include "ApplicationIdentity.h"

#include <strings.h>

#include <filesystem>
#include <string_view>

#include "AppSettings.h"
#include "Platform/ProcessDetails.h"

namespace corvane {
namespace {

// What the kernel appends to the link of an executable replaced or removed
// while it runs (an upgrade); the program is still the same one.
constexpr std::string_view kDeletedSuffix = " (deleted)";

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return !a.empty() && a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

const DesktopEntry* FindById(const std::vector<DesktopEntry>& entries, const std::string& id) {
  for (const auto& e : entries) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

const DesktopEntry* MatchWindowClass(const std::vector<DesktopEntry>& entries,
                                     const WindowHints& hints) {
  for (const std::string* wm : {&hints.wm_class, &hints.wm_instance}) {
    if (wm->empty()) continue;
    for (const auto& e : entries) {
      if (e.startup_wm_class == *wm) return &e;
    }
    for (const auto& e : entries) {
      if (SameIgnoringCase(e.id, *wm)) return &e;
    }
  }
  return nullptr;
}

const DesktopEntry* MatchExecutable(const std::vector<DesktopEntry>& entries,
                                    const std::string& executable) {
  std::string file = FileName(executable);
  for (const auto& e : entries) {
    for (const std::string* program : {&e.try_exec, &e.exec_program}) {
      if (program->empty()) continue;
      if (*program == executable || (program->find('/') == std::string::npos && *program == file)) {
        return &e;
      }
    }
  }
  return nullptr;
}

std::string FakeIdentifier(const std::string& file) {
  std::string id = kFakeIDFormat;
  id.replace(id.find("%s"), 2, file);
  return id;
}

}  // namespace

bool IdentifyProcess(int32_t pid, const WindowHints& hints,
                     const std::vector<DesktopEntry>& entries, ApplicationIdentity* out) {
  std::string executable = ExecutablePath(pid);
  if (executable.empty()) return false;
  if (executable.size() > kDeletedSuffix.size() && executable.ends_with(kDeletedSuffix)) {
    executable.resize(executable.size() - kDeletedSuffix.size());
  }
  ApplicationIdentity identity;
  const DesktopEntry* entry = nullptr;
  // A declared application ID is the entry's ID by convention, even when the
  // entry itself is out of reach (inside the sandbox).
  for (const std::string& declared : {SandboxApplicationID(pid), hints.gtk_application_id}) {
    if (declared.empty()) continue;
    identity.identifier = declared;
    entry = FindById(entries, declared);
    break;
  }
  if (identity.identifier.empty()) {
    entry = MatchWindowClass(entries, hints);
    if (entry == nullptr) entry = MatchExecutable(entries, executable);
    identity.identifier = entry != nullptr ? entry->id : FakeIdentifier(FileName(executable));
  }
  if (entry != nullptr && !entry->name.empty()) {
    identity.name = entry->name;
  } else if (!hints.wm_class.empty()) {
    identity.name = hints.wm_class;
  } else {
    identity.name = FileName(executable);
  }
  *out = std::move(identity);
  return true;
}

}  // namespace corvane
