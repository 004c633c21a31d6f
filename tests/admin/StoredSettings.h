// What the server saved, read back from the settings file of a private root.
#pragma once

#include <string>

#include "AppSettings.h"
#include "Paths.h"
#include "PlistFile.h"
#include "TestSupport.h"

namespace corvane::test {

// The app settings dictionary of `user` and `app`; empty when there is none.
inline PlistDictionary StoredAppSettings(const TempRoot& root, const std::string& user,
                                         const std::string& app) {
  auto settings = ReadPlistFile(root.Path(std::string(kSettingsFile)));
  if (!settings || !settings->IsDictionary()) return {};
  const Plist* d = FindAppSettings(*settings->AsDictionary(), user, app);
  return d && d->IsDictionary() ? *d->AsDictionary() : PlistDictionary();
}

}  // namespace corvane::test
