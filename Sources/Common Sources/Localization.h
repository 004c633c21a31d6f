// User-visible texts are looked up by key in the "corvane5" message
// catalogue; a key without a translation shows as itself.
#pragma once

#include <string>

namespace corvane {

inline constexpr const char* kTextDomain = "corvane5";

// Binds the catalogue folder (share/locale beside the program's bin folder)
// and takes the message language from the environment. Only the message and
// character categories follow the user's locale: numbers are always written
// with a decimal point. Idempotent; LocalizedString calls it when needed.
void InitLocalization();

// The translation of `key`, or `key` itself.
std::string LocalizedString(const char* key);

}  // namespace corvane
