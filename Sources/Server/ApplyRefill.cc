#include "ApplyRefill.h"

#include "AppSettings.h"
#include "CreditRules.h"
#include "ServerLog.h"

namespace corvane {

void ApplyRefill(ServerData& data, const std::string* user, const std::string* app) {
  PlistDictionary* settings = data.settings.AsDictionary();
  Plist* user_dict = (user && settings) ? settings->Find(*user) : nullptr;
  if (user_dict == nullptr || !user_dict->IsDictionary()) {
    LogMessage("Did not get user dict\n");
    LogMessage("Did not get app settings dict\n");
    return;
  }
  Plist* app_dict = app ? user_dict->AsDictionary()->Find(*app) : nullptr;
  if (app_dict == nullptr || !app_dict->IsDictionary()) {
    LogMessage("Did not get app settings dict\n");
    return;
  }
  AppSettings record;
  ReadAppSettings(app_dict, &record);
  RefillCredit(&record, data.env->Now(), [](int32_t amount, int32_t credit) {
    LogMessage("Added %i to credit. Credit is now %i\n", amount, credit);
  });
  StoreAppSettings(settings, *user, *app, record);
  data.SettingsChanged(*user);
}

}  // namespace corvane
