// The XML document of a tree whose root is a dictionary (settings.plist,
// stats.plist), kept as one piece per root entry, that is per user. A
// request changes one or two users, so a save serialises those again and
// writes the other pieces as they are. The pieces together are exactly the
// bytes SerializePlistXml gives for the whole tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Plist.h"

namespace corvane {

class SerializedTree {
 public:
  // Says that the root entry `key` of `root` changed (or is new). Every
  // change to a tree must be told here before its next Document().
  void Touch(const Plist& root, std::string_view key);
  // Forgets every piece, for a tree replaced as a whole.
  void Reset();

  // Brings the pieces up to date with `root` and sets *document to the
  // pieces of the whole document, which stay valid until the next call.
  // False, with the pieces kept for the next try, when a key or string of
  // `root` is not plist text (nothing of such a tree can be written).
  bool Document(const Plist& root, std::vector<std::string_view>* document);

 private:
  struct Piece {
    PlistKey key;  // which root entry the text is of
    std::string xml;
    bool stale = true;
  };
  std::vector<Piece> pieces_;  // in the order of the root's entries
  std::string scratch_;
};

}  // namespace corvane
