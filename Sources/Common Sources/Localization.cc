#include "Localization.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Paths.h"
#include "Platform/System/ProgramLocation.h"

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
  // The same holds for C.UTF-8, the default of many containers and
  // services: it names no language either.
  if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
      std::strcmp(messages, "POSIX") == 0 || std::strncmp(messages, "C.", 2) == 0) {
    if (std::setlocale(LC_MESSAGES, "C.UTF-8") != nullptr) setenv("LANGUAGE", "en", 0);
  }
  std::string locale_dir = LocaleFolder(ProgramFolder());
  bindtextdomain(kTextDomain, locale_dir.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
}

std::string LocalizedString(const char* key) {
  InitLocalization();
  return dgettext(kTextDomain, key);
}

namespace {

bool IsObjectConversion(char c) { return c == 's' || c == '@'; }

// Reads "N$s" / "N$@" after a '%' at `at`; the argument index (from 0) and
// the length read, or a length of 0 when it is not a positional placeholder.
size_t ReadPositional(std::string_view format, size_t at, size_t* index) {
  size_t i = at;
  size_t number = 0;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9' && i - at < 4) {
    number = number * 10 + static_cast<size_t>(format[i] - '0');
    ++i;
  }
  if (i == at || number == 0 || i + 1 >= format.size() || format[i] != '$' ||
      !IsObjectConversion(format[i + 1])) {
    return 0;
  }
  *index = number - 1;
  return i + 2 - at;
}

}  // namespace

std::string SubstituteArguments(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(format.size());
  size_t next_arg = 0;
  auto append_arg = [&](size_t index) {
    if (index < args.size()) out += args[index];
  };
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    char n = format[i + 1];
    size_t index = 0;
    if (n == '%') {
      out += '%';
      ++i;
    } else if (IsObjectConversion(n)) {
      append_arg(next_arg++);
      ++i;
    } else if (size_t length = ReadPositional(format, i + 1, &index); length != 0) {
      append_arg(index);
      i += length;
    } else {
      out += c;
    }
  }
  return out;
}

std::string FormatLocalized(const char* key, const std::vector<std::string>& args) {
  return SubstituteArguments(LocalizedString(key), args);
}

}  // namespace corvane
