// A window is matched to a desktop entry by what its program declares first
// (a sandbox's application ID, the GTK application ID), then by its window
// class, and last by its executable.
#include "FrontApplication.h"

#include <filesystem>
#include <strings.h>

#include "DesktopEntries.h"
#include "Platform/ActiveWindow.h"
#include "Platform/ProcessDetails.h"

namespace corvane {
namespace {

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
                                     const ActiveWindowOwner& owner) {
  for (const std::string* wm : {&owner.wm_class, &owner.wm_instance}) {
    for (const auto& e : entries) {
      if (!e.startup_wm_class.empty() && e.startup_wm_class == *wm) return &e;
    }
    for (const auto& e : entries) {
      if (SameIgnoringCase(e.id, *wm)) return &e;
    }
  }
  return nullptr;
}

const DesktopEntry* MatchExecutable(const std::vector<DesktopEntry>& entries,
                                    const std::string& executable) {
  if (executable.empty()) return nullptr;
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

}  // namespace

std::optional<FrontApplication> FindFrontApplication() {
  std::optional<ActiveWindowOwner> owner = FindActiveWindowOwner();
  if (!owner) return std::nullopt;
  std::vector<DesktopEntry> entries = LoadDesktopEntries();
  std::string executable = ExecutablePath(owner->pid);

  FrontApplication app;
  const DesktopEntry* entry = nullptr;
  // A declared application ID is the entry's ID by convention, even when the
  // entry itself is out of reach (inside the sandbox).
  for (const std::string& declared :
       {SandboxApplicationID(owner->pid), owner->gtk_application_id}) {
    if (declared.empty()) continue;
    app.bundle_id = declared;
    entry = FindById(entries, declared);
    break;
  }
  if (app.bundle_id.empty()) {
    entry = MatchWindowClass(entries, *owner);
    if (entry == nullptr) entry = MatchExecutable(entries, executable);
    if (entry != nullptr) app.bundle_id = entry->id;
  }
  if (entry != nullptr && !entry->name.empty()) {
    app.name = entry->name;
  } else if (!owner->wm_class.empty()) {
    app.name = owner->wm_class;
  } else {
    app.name = FileName(executable);
  }
  return app;
}

}  // namespace corvane
