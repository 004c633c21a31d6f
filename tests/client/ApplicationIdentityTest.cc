// Desktop entries and which key a process is charged to, from files in a
// temporary folder: the entries, the programs they run and the process's
// facts as /proc gives them.
#include "ApplicationIdentity.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "AppSettings.h"
#include "Sha256.h"
#include "TestSupport.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using Keys = std::vector<std::string>;
const std::string kOther(kOtherAppsKey);

std::string NameIn(const std::string& text, const std::string& locale) {
  DesktopEntry e;
  EXPECT_TRUE(ParseDesktopEntry(text, locale, &e)) << text;
  return e.name;
}

TEST(DesktopEntriesTest, ParsesTheApplicationGroupOnly) {
  DesktopEntry e;
  EXPECT_TRUE(ParseDesktopEntry("# comment\n[Desktop Entry]\r\nType=Application\r\n"
                                "Name=Calculator\nName[de]=Rechner\nName[de_CH]=Rächner\n"
                                "StartupWMClass=gnome-calculator\n"
                                "Exec=env LANG=C \"/opt/my calc/calc\" --new %U\n"
                                "[Desktop Action new]\nName=Other\nExec=other\n",
                                "de_CH.UTF-8", &e));
  EXPECT_EQ(e.name, "Rächner");
  EXPECT_EQ(e.startup_wm_class, "gnome-calculator");
  EXPECT_EQ(e.exec_program, "/opt/my calc/calc");
  EXPECT_EQ(NameIn("[Desktop Entry]\nType=Application\nName=Calc\nName[de]=Rechner\n", "de_AT"),
            "Rechner");
  EXPECT_EQ(NameIn("[Desktop Entry]\nName[fr]=Calculette\nName=Calc\nType=Application\n", "C"),
            "Calc");

  EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nType=Link\nName=Web\n", "", &e));
  EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nType=Application\nHidden=true\n", "", &e));
  EXPECT_FALSE(ParseDesktopEntry("Type=Application\n", "", &e));
  EXPECT_FALSE(ParseDesktopEntry(std::string("\0\n[\n=\n[Desktop Entry]\n=x", 22), "", &e));
}

TEST(Sha256Test, StandardVectorsInAnyPieces) {
  EXPECT_EQ(DigestHex(Sha256Of("")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestHex(Sha256Of("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(DigestHex(Sha256Of(two_blocks)),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  std::string million(1000000, 'a');
  Sha256 pieces;
  for (size_t at = 0, n = 1; at < million.size(); at += n, n = n % 131 + 7) {
    pieces.Update(million.data() + at, std::min(n, million.size() - at));
  }
  EXPECT_EQ(DigestHex(pieces.Finish()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

class ApplicationIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"/bin", "/tmp", "/share/applications/kde", "/later/applications",
                          "/home/applications"})
      test::MakeFolders(root_.path() + f);
    Program("/bin/game", "game bytes");
    Program("/bin/calc", "calc bytes");
    Program("/bin/shared", "shared bytes");
    Program("/bin/wrapper", "#!/bin/sh\nexec /opt/real \"$@\"\n");
    Program("/home/mine", "mine bytes");
    test::WriteFileOrDie(root_.path() + "/share/tool.sh", "echo tool\n");
    Entry("share", "game", "Exec=game %U");
    Entry("share", "calc", "Exec=calc\nStartupWMClass=Calc");
    Entry("share", "twin1", "Exec=shared\nStartupWMClass=T1");
    Entry("share", "twin2", "Exec=shared\nStartupWMClass=T2");
    Entry("share", "tool", "Exec=sh " + root_.path() + "/share/tool.sh");
    Entry("share", "wrap", "Exec=wrapper\nStartupWMClass=Wrapped");
    Entry("share", "kde/konsole", "Exec=konsole");
    Entry("later", "game", "Exec=calc");  // a later data folder's entry of one ID loses
    test::WriteFileOrDie(root_.path() + "/later/applications/readme.txt", "not an entry");
    // The user's own: a program of theirs, and claims on installed ones.
    Entry("home", "mine", "Exec=" + root_.path() + "/home/mine");
    Entry("home", "zgame", "Exec=game\nStartupWMClass=Calc");
    Entry("home", "calc", "Exec=" + root_.path() + "/home/mine");
    Entry("home", "homework", "StartupWMClass=Wrapped");  // claims an installed entry's class
    setenv("XDG_DATA_HOME", (root_.path() + "/home").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root_.path() + "/share:" + root_.path() + "/later").c_str(), 1);
    entries_ = LoadDesktopEntries();
    catalogue_.Load(entries_, root_.path() + "/bin:" + ProgramSearchPath());
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
  }
  void Program(const std::string& path, const std::string& bytes) {
    test::WriteFileOrDie(root_.path() + path, bytes);
    chmod((root_.path() + path).c_str(), 0755);
  }
  void Entry(const std::string& folder, const std::string& id, const std::string& lines) {
    test::WriteFileOrDie(root_.path() + "/" + folder + "/applications/" + id + ".desktop",
                         "[Desktop Entry]\nType=Application\nName=" + id + "\n" + lines + "\n");
  }
  // Keys for a process running `executable` (below the root when relative)
  // with `arguments` after argv[0] and window class `wm_class`; {} when not
  // watched at all.
  Keys KeysOf(std::string executable, const std::string& wm_class, Keys arguments = {}) {
    if (executable[0] != '/') executable = root_.path() + "/" + executable;
    ProcessFacts facts{executable, executable, {executable}, ""};
    facts.arguments.insert(facts.arguments.end(), arguments.begin(), arguments.end());
    ApplicationIdentity identity;
    if (!catalogue_.Identify(facts, WindowHints{"", wm_class, ""}, &identity)) return {};
    return identity.keys;
  }

  test::TempRoot root_;
  std::vector<DesktopEntry> entries_;
  ApplicationCatalogue catalogue_;
};

TEST_F(ApplicationIdentityTest, EveryDataFolderIsLoadedEarlierOneWinning) {
  std::map<std::string, std::string> programs;
  for (const DesktopEntry& e : entries_) EXPECT_TRUE(programs.emplace(e.id, e.exec_program).second);
  EXPECT_EQ(programs.size(), 10u);
  EXPECT_EQ(programs["game"], "game");
  EXPECT_EQ(programs["calc"], "calc") << "the user's own folder never takes over an installed ID";
  EXPECT_EQ(programs["kde-konsole"], "konsole");
}

TEST_F(ApplicationIdentityTest, KeyFollowsTheProgramNotItsNameOrWindow) {
  Program("/tmp/homework", "game bytes");
  fs::create_hard_link(root_.path() + "/bin/game", root_.path() + "/tmp/linked");
  Program("/tmp/unknown", "game bytez");
  std::string sh = ResolveProgram("sh", ProgramSearchPath());
  ASSERT_FALSE(sh.empty());
  struct Case {
    std::string executable, wm_class;
    Keys arguments, keys;
  } cases[] = {
      {"bin/game", "Calc", {}, {"game"}},          // a class never moves a known program
      {"tmp/homework", "Calc", {}, {"game"}},      // a renamed copy, by content
      {"tmp/linked", "", {}, {"game"}},            // a hard link
      {"tmp/unknown", "", {}, {kOther}},           // same size, other bytes
      {"bin/shared", "T2", {}, {"twin2"}},         // the class chooses among one program's entries
      {"bin/shared", "Other", {}, {"twin1", "twin2"}},
      {sh, "", {root_.path() + "/share/tool.sh"}, {"tool"}},  // a script by its path
      {sh, "", {"-e", root_.path() + "/share/../share/tool.sh"}, {"tool"}},
      {sh, "tool", {root_.path() + "/tmp/homework"}, {kOther}},  // the interpreter alone is no entry
      {"tmp/unknown", "Wrapped", {}, {"wrap"}},    // a wrapper's program, by its class, not the user's
      {"tmp/unknown", "Homework", {}, {"homework", kOther}},  // the user's entry, by its own class
      {"tmp/unknown", "Calc", {}, {kOther}},       // never an entry whose program is another
      {"home/mine", "", {}, {"mine", kOther}},     // the user's own entry, where a parent watches it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeysOf(c.executable, c.wm_class, c.arguments), c.keys)
        << c.executable << " class " << c.wm_class;
  }
  // One hash per file for the life of the catalogue, however often asked.
  size_t hashed = catalogue_.digests().files_hashed();
  catalogue_.Load(entries_, root_.path() + "/bin");
  EXPECT_EQ(KeysOf("tmp/homework", ""), Keys{"game"});
  EXPECT_EQ(catalogue_.digests().files_hashed(), hashed);
  // Rewritten in place with its old times put back, a file is hashed anew.
  struct stat before;
  ASSERT_EQ(stat((root_.path() + "/tmp/homework").c_str(), &before), 0);
  test::WriteFileOrDie(root_.path() + "/tmp/homework", "calc bytes");
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, (root_.path() + "/tmp/homework").c_str(), times, 0), 0);
  EXPECT_EQ(KeysOf("tmp/homework", ""), Keys{"calc"});
  EXPECT_EQ(KeysOf("tmp/gone", ""), Keys{}) << "gone: not watched";
}

}  // namespace
}  // namespace corvane
