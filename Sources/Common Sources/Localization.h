// User-visible texts are looked up by key in the "corvane5" message
// catalogue; a key without a translation shows as itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr const char* kTextDomain = "corvane5";

// Binds the catalogue folder (share/locale beside the program's bin folder)
// and takes the message language from the environment. Only the message and
// character categories follow the user's locale: numbers are always written
// with a decimal point. Idempotent; LocalizedString calls it when needed.
void InitLocalization();

// The translation of `key`, or `key` itself.
std::string LocalizedString(const char* key);

// The translation of `key` with its placeholders filled from `args`: "%s"
// and "%@" take the next argument, "%1$s" and "%1$@" the numbered one, "%%"
// is a percent sign. The arguments are copied as they are (never read as a
// format: names of applications come from files the user controls); a
// placeholder without an argument reads as empty, any other "%" stays.
std::string FormatLocalized(const char* key, const std::vector<std::string>& args);
// The substitution alone, on a format already looked up.
std::string SubstituteArguments(std::string_view format, const std::vector<std::string>& args);

}  // namespace corvane
