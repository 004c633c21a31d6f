// XML property lists in Apple's format: parsing (pugixml underneath, with our
// own checks so that nothing that is not a valid plist is accepted) and an
// iterative writer, so no hostile nesting can overflow the stack.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Plist.h"
#include "Status.h"

namespace corvane {

// Deeper nesting is refused: no settings or statistics tree comes near it,
// and it bounds the recursion of copying and destroying a value.
inline constexpr int kMaxPlistDepth = 128;

// Parses an XML plist document. Rejects (returns none, with the reason in
// *why when given) malformed XML, unknown elements, an integer or real that
// does not read as one, a key without a value, text that is not plist text (Utf8.h), bad
// base64 or dates, and nesting deeper than kMaxPlistDepth.
std::optional<Plist> ParsePlistXml(std::string_view xml, Status* why = nullptr);

// Appends the XML document of `value` to *out. Fails (false, *out unchanged)
// only for a string or key that is not plist text.
bool SerializePlistXml(const Plist& value, std::string* out);

}  // namespace corvane
