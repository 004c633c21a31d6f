// Turns a pugixml tree into a Plist. pugixml parses without recursion and
// expands no entities beyond the five predefined ones and character
// references; everything it accepts that a plist may not contain is refused
// here rather than guessed at.
#include <pugixml.hpp>

#include <charconv>
#include <cstring>

#include "AbsoluteTime.h"
#include "PlistXml.h"
#include "Utf8.h"

namespace corvane {
namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool IsBlank(const char* s) {
  for (; *s; ++s) {
    if (!IsXmlSpace(*s)) return false;
  }
  return true;
}

class Reader {
 public:
  std::optional<Plist> Read(const pugi::xml_node& node, int depth) {
    if (depth > kMaxPlistDepth) return Fail("nesting deeper than the limit");
    std::string_view name = node.name();
    if (name == "dict") return ReadDict(node, depth);
    if (name == "array") return ReadArray(node, depth);
    std::string text;
    if (!TextOf(node, &text)) return Fail("element inside <" + std::string(name) + ">");
    if (name == "string") {
      if (!IsPlistText(text)) return Fail("string is not plist text");
      return Plist::String(std::move(text));
    }
    if (name == "integer") return ReadInteger(Trim(text));
    if (name == "real") return ReadReal(Trim(text));
    if (name == "true" || name == "false") {
      if (!Trim(text).empty()) return Fail("text inside a boolean");
      return Plist::Boolean(name == "true");
    }
    if (name == "date") return ReadDate(Trim(text));
    if (name == "data") return ReadData(text);
    return Fail("unknown element <" + std::string(name) + ">");
  }

  std::string error;

 private:
  std::optional<Plist> Fail(std::string why) {
    if (error.empty()) error = std::move(why);
    return std::nullopt;
  }

  // Collects the character data of a leaf element; false when it holds an
  // element.
  static bool TextOf(const pugi::xml_node& node, std::string* out) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
      switch (c.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata: out->append(c.value()); break;
        case pugi::node_comment:
        case pugi::node_pi: break;
        default: return false;
      }
    }
    return true;
  }

  // Children of a container: elements, plus comments and blank text.
  bool NextElement(pugi::xml_node* c) {
    for (; *c; *c = c->next_sibling()) {
      switch (c->type()) {
        case pugi::node_element: return true;
        case pugi::node_pcdata:
          if (!IsBlank(c->value())) {
            Fail("text inside a container");
            return false;
          }
          break;
        case pugi::node_comment:
        case pugi::node_pi: break;
        default: Fail("unexpected node inside a container"); return false;
      }
    }
    return false;
  }

  std::optional<Plist> ReadDict(const pugi::xml_node& node, int depth) {
    PlistDictionary dict;
    pugi::xml_node c = node.first_child();
    while (NextElement(&c)) {
      if (std::strcmp(c.name(), "key") != 0) return Fail("dictionary entry without a key");
      std::string key;
      if (!TextOf(c, &key)) return Fail("element inside <key>");
      if (!IsPlistText(key)) return Fail("key is not plist text");
      c = c.next_sibling();
      if (!NextElement(&c)) return error.empty() ? Fail("key without a value") : std::nullopt;
      if (std::strcmp(c.name(), "key") == 0) return Fail("key without a value");
      auto value = Read(c, depth + 1);
      if (!value) return std::nullopt;
      dict.Set(std::move(key), std::move(*value));
      c = c.next_sibling();
    }
    if (!error.empty()) return std::nullopt;
    dict.ShrinkToFit();
    return Plist::Dictionary(std::move(dict));
  }

  std::optional<Plist> ReadArray(const pugi::xml_node& node, int depth) {
    PlistArray array;
    pugi::xml_node c = node.first_child();
    while (NextElement(&c)) {
      auto value = Read(c, depth + 1);
      if (!value) return std::nullopt;
      array.push_back(std::move(*value));
      c = c.next_sibling();
    }
    if (!error.empty()) return std::nullopt;
    return Plist::Array(std::move(array));
  }

  std::optional<Plist> ReadInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
      negative = s.front() == '-';
      s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      base = 16;
      s.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
      return Fail("integer does not read as one");
    }
    if (negative) {
      if (magnitude > uint64_t(INT64_MAX) + 1) return Fail("integer out of range");
      return Plist::Integer(static_cast<int64_t>(0 - magnitude));
    }
    return Plist::UnsignedInteger(magnitude);
  }

  std::optional<Plist> ReadReal(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (s.empty() || end != s.data() + s.size() ||
        (ec != std::errc() && ec != std::errc::result_out_of_range)) {
      return Fail("real does not read as one");
    }
    return Plist::Real(d);
  }

  std::optional<Plist> ReadDate(std::string_view s) {
    // Exactly "YYYY-MM-DDTHH:MM:SSZ", in UTC.
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (s.size() != kShape.size()) return Fail("date does not read as one");
    for (size_t i = 0; i < s.size(); ++i) {
      bool ok = kShape[i] == 'd' ? (s[i] >= '0' && s[i] <= '9') : s[i] == kShape[i];
      if (!ok) return Fail("date does not read as one");
    }
    auto num = [&](size_t at, size_t len) {
      int v = 0;
      for (size_t i = at; i < at + len; ++i) v = v * 10 + (s[i] - '0');
      return v;
    };
    int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
        sec = num(17, 2);
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60) {
      return Fail("date does not read as one");
    }
    double unix_seconds = static_cast<double>(DaysFromCivil(y, mo, d)) * 86400.0 + h * 3600.0 +
                          mi * 60.0 + sec;
    return Plist::Date(AbsoluteTimeFromUnix(unix_seconds));
  }

  std::optional<Plist> ReadData(std::string_view s) {
    PlistData out;
    out.reserve(s.size() * 3 / 4);
    uint32_t acc = 0;
    int bits = 0;
    int padding = 0;
    for (char ch : s) {
      if (IsXmlSpace(ch)) continue;
      int v;
      if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
      else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
      else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
      else if (ch == '+') v = 62;
      else if (ch == '/') v = 63;
      else if (ch == '=') {
        ++padding;
        continue;
      } else {
        return Fail("data is not base64");
      }
      if (padding > 0) return Fail("data is not base64");
      acc = (acc << 6) | static_cast<uint32_t>(v);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        out.push_back(static_cast<uint8_t>(acc >> bits));
      }
    }
    if (padding > 2 || bits >= 6) return Fail("data is not base64");
    return Plist::Data(std::move(out));
  }
};

}  // namespace

std::optional<Plist> ParsePlistXml(std::string_view xml, Status* why) {
  auto fail = [why](const std::string& msg) -> std::optional<Plist> {
    if (why) *why = Status::Corruption(msg);
    return std::nullopt;
  };
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(),
                      pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_comments,
                      pugi::encoding_auto);
  if (!parsed) return fail(std::string("malformed XML: ") + parsed.description());

  pugi::xml_node root = doc.document_element();
  if (!root) return fail("no root element");
  if (std::strcmp(root.name(), "plist") == 0) {
    pugi::xml_node value;
    for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_element) {
        if (value) return fail("more than one value in <plist>");
        value = c;
      } else if (c.type() == pugi::node_pcdata && !IsBlank(c.value())) {
        return fail("text inside <plist>");
      }
    }
    if (!value) return fail("empty <plist>");
    root = value;
  }
  Reader reader;
  auto result = reader.Read(root, 1);
  if (!result) return fail(reader.error);
  if (why) *why = Status::OK();
  return result;
}

}  // namespace corvane
