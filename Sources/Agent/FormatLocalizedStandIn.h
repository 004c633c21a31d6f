// Temporary declaration of the shared message formatter until the common
// version in Localization.h lands; the same signature, so it can simply go.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// The translation of `key` with its %s, %@ and %N$s / %N$@ placeholders
// replaced by `args`; "%%" is a literal percent sign.
std::string FormatLocalized(const char* key, const std::vector<std::string>& args);

}  // namespace corvane
