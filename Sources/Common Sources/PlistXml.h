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

// The pieces of that document, for writers that keep parts of it: the
// header before the root value, the footer after it, and one dictionary
// entry (its key and value) written as the entry of a dictionary at depth
// `depth` - 1 is (the root's entries are at depth 1). A value's bytes depend
// only on its depth, so the document of a dictionary root is the header,
// "<dict>\n", its entries at depth 1, "</dict>\n" and the footer ("<dict/>\n"
// instead of the three middle pieces when it is empty). Fails as above.
std::string_view PlistXmlHeader();
std::string_view PlistXmlFooter();
bool SerializePlistXmlEntry(std::string_view key, const Plist& value, int depth,
                            std::string* out);

}  // namespace corvane
