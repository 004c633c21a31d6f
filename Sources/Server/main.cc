// Placeholder until the daemon exists: shows the settings model on the files
// below the root.
#include <cstdio>

#include "AppSettings.h"
#include "Paths.h"
#include "PlistFile.h"
#include "TextFormat.h"

using namespace corvane;

int main() {
  std::string path = SystemPath(kSettingsFile);
  Status why;
  auto settings = ReadPlistFile(path, &why);
  if (!settings || !settings->IsDictionary()) {
    std::printf("No settings at %s (%s)\n", path.c_str(), why.ToString().c_str());
    return 0;
  }
  for (const auto& [user, apps] : settings->AsDictionary()->entries()) {
    if (!apps.IsDictionary()) continue;
    for (const auto& [app, dict] : apps.AsDictionary()->entries()) {
      AppSettings s;
      ReadAppSettings(&dict, &s);
      std::printf("%s / %s: %s, credit %s, weekday refill %d x %d\n", user.c_str(), app.c_str(),
                  s.Enabled ? "watched" : "not watched",
                  FormatDuration(s.Credit, kDurationMinutes).value_or("").c_str(),
                  s.AutoUpdateValue, s.AutoUpdateCoeff);
    }
  }
  return 0;
}
