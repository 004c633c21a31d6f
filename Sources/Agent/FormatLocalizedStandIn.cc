// Stand-in for the shared message formatter of the common library. Weak, so
// that the common library's definition wins as soon as both are linked; this
// file and its header can then be deleted.
#include <cstddef>

#include "FormatLocalizedStandIn.h"
#include "Localization.h"

namespace corvane {

// Placeholders are substituted by hand, never through printf: display names
// come from desktop entries and window properties the user controls.
__attribute__((weak)) std::string FormatLocalized(const char* key,
                                                  const std::vector<std::string>& args) {
  const std::string format = LocalizedString(key);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    char c = format[i + 1];
    if (c == '%') {
      out += '%';
      ++i;
    } else if (c == 's' || c == '@') {
      if (next < args.size()) out += args[next];
      ++next;
      ++i;
    } else if (c >= '1' && c <= '9') {
      size_t j = i + 1;
      size_t index = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9' && index < 1000) {
        index = index * 10 + (format[j] - '0');
        ++j;
      }
      if (j + 1 < format.size() && format[j] == '$' && (format[j + 1] == 's' || format[j + 1] == '@')) {
        if (index >= 1 && index <= args.size()) out += args[index - 1];
        i = j + 1;
      } else {
        out += '%';
      }
    } else {
      out += '%';
    }
  }
  return out;
}

}  // namespace corvane
