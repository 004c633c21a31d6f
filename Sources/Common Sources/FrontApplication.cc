// The owner of the active window, identified as the agent identifies the
// applications it watches, so both name the same settings key.
#include "FrontApplication.h"

#include "ApplicationIdentity.h"
#include "DesktopEntries.h"
#include "Platform/X11/ActiveWindow.h"

namespace corvane {

std::optional<FrontApplication> FindFrontApplication() {
  std::optional<ActiveWindowOwner> owner = FindActiveWindowOwner();
  if (!owner) return std::nullopt;
  WindowHints hints{owner->wm_instance, owner->wm_class, owner->gtk_application_id};
  ApplicationIdentity identity;
  FrontApplication app;
  ApplicationCatalogue catalogue;
  catalogue.Load(LoadDesktopEntries(), ProgramSearchPath());
  if (catalogue.Identify(owner->pid, hints, &identity)) {
    app.bundle_id = std::move(identity.keys.front());
    app.name = std::move(identity.names.front());
  } else {
    // A program we cannot look into has no key; its window may still name it.
    app.name = owner->wm_class;
  }
  return app;
}

}  // namespace corvane
