#include "SerializedTree.h"

#include <cassert>

#include "PlistXml.h"

namespace corvane {

void SerializedTree::Touch(const Plist& root, std::string_view key) {
  const PlistDictionary* dict = root.AsDictionary();
  long at = dict ? dict->FindIndex(key) : -1;
  // An entry not yet made, or beyond the pieces, is built at the next save.
  if (at >= 0 && static_cast<size_t>(at) < pieces_.size()) pieces_[at].stale = true;
}

void SerializedTree::Reset() { pieces_.clear(); }

bool SerializedTree::Document(const Plist& root, std::vector<std::string_view>* document) {
  assert(root.IsDictionary() && "SerializedTree: the root is a dictionary");
  const auto& entries = root.AsDictionary()->entries();
  // Entries are only ever added at the end; anything else (a key in another
  // place) rebuilds the pieces that no longer match.
  pieces_.resize(entries.size());
  bool ok = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    Piece& piece = pieces_[i];
    const auto& [key, value] = entries[i];
    if (!piece.stale && piece.key == key) continue;
    piece.key = key;
    // Written where the room is already there, then copied at its size: a
    // piece grows by a day at a time, so it keeps little spare room.
    scratch_.clear();
    piece.stale = !SerializePlistXmlEntry(key, value, 1, &scratch_);
    if (piece.stale) {
      ok = false;
    } else if (scratch_.size() <= piece.xml.capacity()) {
      piece.xml.assign(scratch_);
    } else {
      piece.xml = std::string(scratch_);  // exactly its size, not doubled
    }
  }
  document->clear();
  // The scratch room is kept only for as large a piece as one user's.
  if (scratch_.capacity() > 4 * scratch_.size() + 4096) std::string().swap(scratch_);
  if (!ok) return false;
  document->push_back(PlistXmlHeader());
  if (entries.empty()) {
    document->push_back("<dict/>\n");
  } else {
    document->push_back("<dict>\n");
    for (const Piece& piece : pieces_) document->push_back(piece.xml);
    document->push_back("</dict>\n");
  }
  document->push_back(PlistXmlFooter());
  return true;
}

}  // namespace corvane
