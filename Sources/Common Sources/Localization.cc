#include "Localization.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Platform/ProgramLocation.h"

namespace corvane {

void InitLocalization() {
  static bool done = false;
  if (done) return;
  done = true;
  std::setlocale(LC_CTYPE, "");
  const char* messages = std::setlocale(LC_MESSAGES, "");
  // gettext translates nothing in the plain C locale, so keys such as
  // "Credit low format" would reach the user. Fall back to the English
  // catalogue then, through the UTF-8 variant of C that gettext does honour.
  // LANG=C.UTF-8 (containers, many service managers) is the same case.
  if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
      std::strcmp(messages, "POSIX") == 0 || std::strncmp(messages, "C.", 2) == 0) {
    if (std::setlocale(LC_MESSAGES, "C.UTF-8") != nullptr) setenv("LANGUAGE", "en", 0);
  }
  std::string folder = ProgramFolder();
  std::string locale_dir = folder.empty() ? "/usr/share/locale" : folder + "/../share/locale";
  bindtextdomain(kTextDomain, locale_dir.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
}

std::string LocalizedString(const char* key) {
  InitLocalization();
  return dgettext(kTextDomain, key);
}

}  // namespace corvane
