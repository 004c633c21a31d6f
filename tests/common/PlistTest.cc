// Plist values, their XML text, and plist files on disk.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "PlistFile.h"
#include "PlistXml.h"
#include "TestSupport.h"

namespace corvane {
namespace {

Plist EveryType() {
  PlistDictionary inner;
  inner.Set("bool", Plist::Boolean(true));
  inner.Set("false", Plist::Boolean(false));
  inner.Set("int", Plist::Integer(-42));
  inner.Set("i8", Plist::Integer(200, 8));  // stored as -56
  inner.Set("u64", Plist::UnsignedInteger(18446744073709551615ull));
  inner.Set("min", Plist::Integer(INT64_MIN));
  inner.Set("real", Plist::Real(0.1));
  inner.Set("big", Plist::Real(1e300));
  inner.Set("inf", Plist::Real(-INFINITY));
  inner.Set("string", Plist::String("a<b>&c\r\n\t\"' zoë ✓"));
  inner.Set("spaces", Plist::String("   "));
  inner.Set("empty", Plist::String(""));
  inner.Set("date", Plist::Date(-978307200.0 + 86400 * 365.0 * 30));
  inner.Set("data", Plist::Data(PlistData(200, 0xAB)));
  inner.Set("nodata", Plist::Data({}));
  inner.Set("array", Plist::Array({Plist::Integer(1), Plist::Array(), Plist::Dictionary()}));
  PlistDictionary root;
  root.Set("z first", Plist::Dictionary(inner));
  root.Set("a second", Plist::String("x"));
  return Plist::Dictionary(root);
}

std::string Xml(const Plist& p) {
  std::string out;
  EXPECT_TRUE(SerializePlistXml(p, &out));
  return out;
}

TEST(PlistTest, RoundTripKeepsEveryTypeAndKeyOrder) {
  Plist p = EveryType();
  std::string xml = Xml(p);
  Status why;
  auto back = ParsePlistXml(xml, &why);
  ASSERT_TRUE(back) << why.ToString();
  EXPECT_EQ(*back, p);
  EXPECT_EQ(back->AsDictionary()->entries()[0].first, "z first");
  EXPECT_EQ(NumberValue(back->AsDictionary()->Find("z first")->AsDictionary()->Find("i8"), 8),
            -56);
  EXPECT_EQ(Xml(*back), xml);
  // Reading a number at a narrower width truncates as a stored number would.
  auto wide = ParsePlistXml("<integer>70000</integer>");
  ASSERT_TRUE(wide);
  EXPECT_EQ(NumberValue(&*wide, 16), 4464);
}

TEST(PlistTest, WritesApplesLayoutAndOnlyPlistText) {
  PlistDictionary d;
  d.Set("Credit", Plist::Integer(45, 32));
  d.Set("Enabled", Plist::Boolean(true));
  d.Set("Stats", Plist::Dictionary());
  d.Set("NextAutoUpdate", Plist::Real(786585601));
  EXPECT_EQ(Xml(Plist::Dictionary(d)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<dict>\n\t<key>Credit</key>\n\t<integer>45</integer>\n"
            "\t<key>Enabled</key>\n\t<true/>\n\t<key>Stats</key>\n\t<dict/>\n"
            "\t<key>NextAutoUpdate</key>\n\t<real>786585601</real>\n</dict>\n</plist>\n");
  EXPECT_NE(Xml(Plist::Array()).find("<array/>"), std::string::npos);

  // Text no plist can hold fails the write and leaves the output as it was.
  std::string out = "keep";
  EXPECT_FALSE(SerializePlistXml(Plist::String(std::string("a\0b", 3)), &out));
  PlistDictionary bad_key;
  bad_key.Set("\xFF", Plist::Boolean(true));
  EXPECT_FALSE(SerializePlistXml(Plist::Dictionary(bad_key), &out));
  EXPECT_EQ(out, "keep");
}

TEST(PlistTest, ReadsWhatOtherWritersProduce) {
  auto p = ParsePlistXml(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist SYSTEM \"x\">"
      "<plist version=\"1.0\"><!-- c --><dict><key>k</key><integer> 0x10 </integer>"
      "<key>r</key><real>+2.5e1</real><key>s</key><string><![CDATA[<raw>]]>&amp;&#65;</string>"
      "<key>e</key><string/><key>d</key><date>2001-01-01T00:00:00Z</date>"
      "<key>b</key><data>  AAEC\n  Aw== </data></dict></plist>");
  ASSERT_TRUE(p);
  const PlistDictionary& d = *p->AsDictionary();
  EXPECT_EQ(d.Find("k")->AsInteger()->value, 16);
  EXPECT_EQ(*d.Find("r")->AsReal(), 25.0);
  EXPECT_EQ(*d.Find("s")->AsString(), "<raw>&A");
  EXPECT_EQ(*d.Find("e")->AsString(), "");
  EXPECT_EQ(d.Find("d")->AsDate()->absolute_time, 0.0);
  EXPECT_EQ(*d.Find("b")->AsData(), (PlistData{0, 1, 2, 3}));
  // A duplicate key keeps its first place and its last value.
  auto dup = ParsePlistXml("<dict><key>a</key><true/><key>b</key><true/><key>a</key><false/></dict>");
  ASSERT_TRUE(dup);
  EXPECT_EQ(dup->AsDictionary()->size(), 2u);
  EXPECT_FALSE(BooleanValue(dup->AsDictionary()->Find("a")));
}

TEST(PlistTest, RefusesWhatIsNotAPlistAndEveryTruncation) {
  const char* bad[] = {
      "", "<plist>", "<plist><dict><key>a</key></dict></plist>",  // keys without a value
      "<dict><key>a</key><key>b</key><true/></dict>", "<dict><true/></dict>",  // value, no key
      "<integer>abc</integer>", "<integer>12x</integer>", "<integer></integer>",
      "<integer>18446744073709551616</integer>", "<integer>-9223372036854775809</integer>",
      "<real>1.5.5</real>", "<real></real>", "<true>yes</true>",
      "<date>2001-13-01T00:00:00Z</date>", "<date>yesterday</date>", "<data>@@@@</data>",
      "<data>AA=A</data>", "<string><b/></string>", "<dict>text<key>a</key><true/></dict>",
      "<array><foo/></array>", "<plist><true/><true/></plist>", "<string>\xC3\x28</string>",
      "<string>a\x01</string>", "<dict><key>\xFF</key><true/></dict>",
      "<plist><dict><key>a</key><string>x</string>"};
  for (const char* xml : bad) {
    Status why;
    EXPECT_FALSE(ParsePlistXml(xml, &why)) << xml;
    EXPECT_TRUE(why.IsCorruption()) << xml;
  }

  std::string whole = Xml(EveryType());
  // Every strict prefix is refused: a torn file reads as unparsable, never
  // as a smaller tree.
  for (size_t n = 0; n < whole.size() - 1; ++n) {
    EXPECT_FALSE(ParsePlistXml(std::string_view(whole).substr(0, n))) << n;
  }
}

TEST(PlistTest, NestingIsBounded) {
  auto nested = [](int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<array>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    return xml;
  };
  EXPECT_TRUE(ParsePlistXml(nested(kMaxPlistDepth)));
  EXPECT_FALSE(ParsePlistXml(nested(kMaxPlistDepth + 1)));
  // A million levels do not crash the reader: the bound holds before the
  // descent, not only on the way back.
  EXPECT_FALSE(ParsePlistXml(nested(1000000)));
}

TEST(PlistTest, LargeDictionariesStayConsistent) {
  PlistDictionary d;
  for (int i = 0; i < 1000; ++i) d.Set(std::to_string(i), Plist::Integer(i));
  d.Set("500", Plist::Integer(-1));
  EXPECT_EQ(d.size(), 1000u);
  EXPECT_TRUE(d.Remove("3"));
  EXPECT_FALSE(d.Remove("3"));
  EXPECT_EQ(d.Find("3"), nullptr);
  EXPECT_EQ(d.Find("500")->AsInteger()->value, -1);
  EXPECT_EQ(d.Find("999")->AsInteger()->value, 999);
  EXPECT_EQ(d.entries()[3].first, "4");
  PlistDictionary copy = d;
  copy.Set("new", Plist::Boolean(true));
  EXPECT_EQ(d.Find("new"), nullptr);
  EXPECT_NE(copy.Find("new"), nullptr);
}

Plist Generation(int n) {
  // Large enough that a write takes several system calls.
  PlistDictionary d;
  for (int i = 0; i < 3000; ++i) d.Set("key " + std::to_string(i), Plist::Integer(n));
  return Plist::Dictionary(std::move(d));
}

int GenerationOf(const Plist& p) {
  const PlistDictionary* d = p.AsDictionary();
  int n = static_cast<int>(d->Find("key 0")->AsInteger()->value);
  for (const auto& [k, v] : d->entries()) {
    EXPECT_EQ(v.AsInteger()->value, n) << "mixed generations in one file";
  }
  EXPECT_EQ(d->size(), 3000u);
  return n;
}

TEST(PlistFileTest, ReadWriteSetKeyAndFailures) {
  test::TempRoot root;
  std::string path = root.path() + "/a.plist";
  EXPECT_TRUE(ReadPlistFile(path).status().IsNotFound());

  ASSERT_TRUE(WritePlistFile(Generation(1), path).ok());
  auto back = ReadPlistFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, Generation(1));
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));

  // A replaced file keeps its mode, and no temporary is left behind.
  chmod(path.c_str(), 0600);
  ASSERT_TRUE(WritePlistFile(Generation(2), path).ok());
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()), {}), 1);

  // Failures report an error and leave the old file as it was.
  Status missing_folder = WritePlistFile(Generation(3), root.path() + "/missing/dir/a.plist");
  EXPECT_FALSE(missing_folder.ok());
  EXPECT_NE(missing_folder.Errno(), 0);
  EXPECT_EQ(WritePlistFile(Plist::String(std::string("\0", 1)), path).code(),
            Status::Code::kInvalidArgument);
  EXPECT_EQ(GenerationOf(*ReadPlistFile(path)), 2);
  EXPECT_FALSE(SetPlistFileKey(root.path() + "/no/such/folder.plist", "K", Plist::Boolean(true)).ok());

  // Setting a key keeps the others and the key order; a root that is not a
  // dictionary is replaced by one holding the key.
  std::string prefs = root.path() + "/prefs.plist";
  ASSERT_TRUE(SetPlistFileKey(prefs, "Configuration", Plist::Integer(3, 16)).ok());
  ASSERT_TRUE(SetPlistFileKey(prefs, "Other", Plist::String("x")).ok());
  ASSERT_TRUE(SetPlistFileKey(prefs, "Configuration", Plist::Integer(4, 16)).ok());
  auto p = ReadPlistFile(prefs);
  ASSERT_TRUE(p && p->IsDictionary());
  EXPECT_EQ(p->AsDictionary()->size(), 2u);
  EXPECT_EQ(p->AsDictionary()->FindIndex("Configuration"), 0);
  EXPECT_EQ(NumberValue(p->AsDictionary()->Find("Configuration"), 8), 4);
  ASSERT_TRUE(WritePlistFile(Plist::Array(), prefs).ok());
  ASSERT_TRUE(SetPlistFileKey(prefs, "K", Plist::Boolean(true)).ok());
  EXPECT_EQ(ReadPlistFile(prefs)->AsDictionary()->size(), 1u);

  test::WriteFileOrDie(path, "<plist><dict><key>a</key>");
  EXPECT_TRUE(ReadPlistFile(path).status().IsCorruption());
}

// A writer killed at random moments never leaves a torn or mixed file: the
// file always parses, as the last generation completed or the one after.
TEST(PlistFileTest, KillDuringWriteLeavesOldOrNewFile) {
  test::TempRoot root;
  std::string path = root.path() + "/stats.plist";
  ASSERT_TRUE(WritePlistFile(Generation(0), path).ok());
  constexpr unsigned kSeed = 12345;
  std::mt19937 rng(kSeed);
  int last_seen = 0;
  for (int round = 0; round < 25; ++round) {
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = test::ForkChild({}, [&] {
      for (int n = last_seen + 1;; ++n) {
        if (!WritePlistFile(Generation(n), path).ok()) return 2;
        if (write(progress[1], "w", 1) != 1) return 3;
      }
    });
    ASSERT_GE(child, 0);
    close(progress[1]);
    // One whole write first, however slow the machine, then a kill at a
    // random moment of the writes that follow.
    pollfd pfd{progress[0], POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 60000), 1);
    usleep(std::uniform_int_distribution<int>(0, 30000)(rng));
    kill(child, SIGKILL);
    int signal = 0;
    test::WaitExit(child, &signal);
    close(progress[0]);
    ASSERT_EQ(signal, SIGKILL);
    auto p = ReadPlistFile(path);
    ASSERT_TRUE(p) << "round " << round << " (seed " << kSeed << "): " << p.status().ToString();
    int n = GenerationOf(*p);
    EXPECT_GT(n, last_seen);
    last_seen = n;
  }
  EXPECT_GT(last_seen, 0);
}

}  // namespace
}  // namespace corvane
