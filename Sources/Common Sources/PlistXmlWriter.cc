// Writes Apple's XML plist format (tab indentation, <dict/> for an empty
// container) without recursion: a stack of open containers replaces the call
// stack, so the depth of a value costs heap, not stack.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "AbsoluteTime.h"
#include "PlistXml.h"
#include "Utf8.h"

namespace corvane {
namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::string_view kFooter = "</plist>\n";
constexpr size_t kBase64LineLength = 76;

class Writer {
 public:
  explicit Writer(std::string* out) : out_(*out) {}

  bool Write(const Plist& root) {
    out_.append(kHeader);
    if (!WriteValue(root, 0)) return false;
    out_.append(kFooter);
    return true;
  }

  bool WriteEntry(std::string_view key, const Plist& value, int indent) {
    return Text("key", key, indent) && WriteValue(value, indent);
  }

 private:
  struct Frame {
    const Plist* value;
    size_t next;
    int indent;
  };

  bool WriteValue(const Plist& root, int root_indent) {
    if (!Value(root, root_indent)) return false;
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      const int indent = top.indent;
      if (const PlistDictionary* dict = top.value->AsDictionary()) {
        if (top.next < dict->size()) {
          const auto& [key, child] = dict->entries()[top.next++];
          if (!Text("key", key, indent + 1)) return false;
          if (!Value(child, indent + 1)) return false;
          continue;
        }
      } else if (const PlistArray* array = top.value->AsArray()) {
        if (top.next < array->size()) {
          if (!Value((*array)[top.next++], indent + 1)) return false;
          continue;
        }
      }
      Indent(indent);
      out_.append(top.value->IsDictionary() ? "</dict>\n" : "</array>\n");
      stack_.pop_back();
    }
    return true;
  }

  void Indent(int n) { out_.append(static_cast<size_t>(n), '\t'); }

  void Escaped(std::string_view s) {
    for (char c : s) {
      switch (c) {
        case '&': out_.append("&amp;"); break;
        case '<': out_.append("&lt;"); break;
        case '>': out_.append("&gt;"); break;
        // A raw carriage return would be folded into a line feed by any
        // XML reader; the reference keeps it.
        case '\r': out_.append("&#13;"); break;
        default: out_.push_back(c);
      }
    }
  }

  bool Text(std::string_view tag, std::string_view text, int indent) {
    if (!IsPlistText(text)) return false;
    Indent(indent);
    out_.push_back('<');
    out_.append(tag);
    out_.push_back('>');
    Escaped(text);
    out_.append("</");
    out_.append(tag);
    out_.append(">\n");
    return true;
  }

  void Raw(std::string_view tag, std::string_view text, int indent) {
    Indent(indent);
    out_.push_back('<');
    out_.append(tag);
    out_.push_back('>');
    out_.append(text);
    out_.append("</");
    out_.append(tag);
    out_.append(">\n");
  }

  bool Value(const Plist& v, int indent) {
    char buf[64];
    switch (v.type()) {
      case Plist::Type::kBoolean:
        Indent(indent);
        out_.append(*v.AsBoolean() ? "<true/>\n" : "<false/>\n");
        return true;
      case Plist::Type::kInteger: {
        const PlistInteger i = *v.AsInteger();
        auto r = i.is_unsigned
                     ? std::to_chars(buf, buf + sizeof buf, static_cast<uint64_t>(i.value))
                     : std::to_chars(buf, buf + sizeof buf, i.value);
        Raw("integer", std::string_view(buf, r.ptr - buf), indent);
        return true;
      }
      case Plist::Type::kReal: {
        double d = *v.AsReal();
        if (std::isnan(d)) {
          Raw("real", "nan", indent);
        } else if (std::isinf(d)) {
          Raw("real", d > 0 ? "+infinity" : "-infinity", indent);
        } else {
          auto r = std::to_chars(buf, buf + sizeof buf, d);
          Raw("real", std::string_view(buf, r.ptr - buf), indent);
        }
        return true;
      }
      case Plist::Type::kString: return Text("string", *v.AsString(), indent);
      case Plist::Type::kDate: Date(v.AsDate()->absolute_time, indent); return true;
      case Plist::Type::kData: Data(*v.AsData(), indent); return true;
      case Plist::Type::kArray:
      case Plist::Type::kDictionary: {
        bool is_dict = v.IsDictionary();
        size_t size = is_dict ? v.AsDictionary()->size() : v.AsArray()->size();
        Indent(indent);
        if (size == 0) {
          out_.append(is_dict ? "<dict/>\n" : "<array/>\n");
        } else {
          out_.append(is_dict ? "<dict>\n" : "<array>\n");
          stack_.push_back(Frame{&v, 0, indent});
        }
        return true;
      }
    }
    return false;
  }

  void Date(double absolute_time, int indent) {
    double unix_seconds = std::floor(UnixFromAbsoluteTime(absolute_time));
    if (!std::isfinite(unix_seconds) || std::fabs(unix_seconds) > 1e15) unix_seconds = 0;
    auto total = static_cast<int64_t>(unix_seconds);
    int64_t days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    int64_t rest = total - days * 86400;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(year),
                  month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    Raw("date", buf, indent);
  }

  void Data(const PlistData& data, int indent) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
      uint32_t n = static_cast<uint32_t>(data[i]) << 16;
      if (i + 1 < data.size()) n |= static_cast<uint32_t>(data[i + 1]) << 8;
      if (i + 2 < data.size()) n |= data[i + 2];
      encoded.push_back(kAlphabet[(n >> 18) & 63]);
      encoded.push_back(kAlphabet[(n >> 12) & 63]);
      encoded.push_back(i + 1 < data.size() ? kAlphabet[(n >> 6) & 63] : '=');
      encoded.push_back(i + 2 < data.size() ? kAlphabet[n & 63] : '=');
    }
    Indent(indent);
    out_.append("<data>\n");
    for (size_t at = 0; at < encoded.size(); at += kBase64LineLength) {
      Indent(indent);
      out_.append(encoded, at, kBase64LineLength);
      out_.push_back('\n');
    }
    Indent(indent);
    out_.append("</data>\n");
  }

  std::string& out_;
  std::vector<Frame> stack_;
};

}  // namespace

bool SerializePlistXml(const Plist& value, std::string* out) {
  const size_t original = out->size();
  Writer writer(out);
  if (writer.Write(value)) return true;
  out->resize(original);
  return false;
}

std::string_view PlistXmlHeader() { return kHeader; }
std::string_view PlistXmlFooter() { return kFooter; }

bool SerializePlistXmlEntry(std::string_view key, const Plist& value, int depth,
                            std::string* out) {
  const size_t original = out->size();
  Writer writer(out);
  if (writer.WriteEntry(key, value, depth)) return true;
  out->resize(original);
  return false;
}

}  // namespace corvane
