#include "StatsTree.h"

#include "AppSettings.h"

namespace corvane::bench {

Plist MakeStatsTree(int users, int apps, int days) {
  PlistDictionary root;
  for (int u = 0; u < users; ++u) {
    PlistDictionary user_apps;
    for (int a = 0; a < apps; ++a) {
      PlistDictionary per_day;
      for (int d = 0; d < days; ++d) {
        std::string key = std::to_string(d % 28 + 1) + "-" + std::to_string(d / 28 % 12 + 1) +
                          "-" + std::to_string(2026 + d / 336);
        per_day.Set(std::move(key), Plist::Integer((u * 7 + a * 13 + d) % 240, 32));
      }
      PlistDictionary app;
      app.Set(std::string(kStatsKey), Plist::Dictionary(std::move(per_day)));
      user_apps.Set(a == 0 ? std::string(kComputerAppKey) : "org.example.app" + std::to_string(a),
                    Plist::Dictionary(std::move(app)));
    }
    root.Set("user" + std::to_string(u), Plist::Dictionary(std::move(user_apps)));
  }
  return Plist::Dictionary(std::move(root));
}

}  // namespace corvane::bench
