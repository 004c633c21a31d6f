// Login items as XDG autostart entries, and the desktop entry texts.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "LoginItems.h"
#include "Paths.h"
#include "Platform/HomeFolder.h"
#include "TestSupport.h"

namespace corvane::test {
namespace {

namespace fs = std::filesystem;
constexpr auto kAll = LoginItemScope::kAllUsers;

class LoginItemsTest : public ::testing::Test {
 protected:
  std::string Folder() { return root_.Path("/etc/xdg/autostart"); }
  void Entry(const std::string& file, const std::string& exec_line) {
    MakeFolders(Folder());
    WriteFileOrDie(Folder() + "/" + file, "[Desktop Entry]\nType=Application\n" + exec_line + "\n");
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempRoot root_;
};

TEST_F(LoginItemsTest, RemovesEveryEntryOfThePathInAnyCaseKeepingTheOthersInOrder) {
  Entry("10-first.desktop", "Exec=/Opt/Agent");
  Entry("20-other.desktop", "Exec=/usr/bin/other --flag");
  Entry("30-again.desktop", "Exec=\"/opt/agent\" %U");
  Entry("40-nopath.desktop", "Name=No program");
  Entry("50-nonascii.desktop", "Exec=/opt/agënt");
  Entry("60-last.desktop", "Exec=/OPT/AGENT");
  WriteFileOrDie(Folder() + "/readme.txt", "Exec=/opt/agent\n");

  ASSERT_EQ(CountLoginItems(kAll), 6);
  EXPECT_EQ(CopyLoginItemPath(kAll, 1), "/usr/bin/other");
  EXPECT_EQ(CopyLoginItemPath(kAll, 3), std::nullopt);
  EXPECT_EQ(CopyLoginItemPath(kAll, 4), std::nullopt);
  EXPECT_EQ(CopyLoginItemPath(kAll, -1), std::nullopt);
  EXPECT_EQ(CopyLoginItemPath(kAll, 6), std::nullopt);

  RemoveLoginItemsWithPath(kAll, "/opt/agent");
  EXPECT_EQ(Files(), (std::vector<std::string>{"20-other.desktop", "40-nopath.desktop",
                                               "50-nonascii.desktop", "readme.txt"}));
  EXPECT_FALSE(RemoveLoginItemAt(kAll, -1));
  EXPECT_FALSE(RemoveLoginItemAt(kAll, 3));
  EXPECT_TRUE(RemoveLoginItemAt(kAll, 1));
  EXPECT_EQ(CountLoginItems(kAll), 2);
  EXPECT_EQ(CopyLoginItemPath(kAll, 1), std::nullopt);  // the non-ASCII one moved up
}

TEST_F(LoginItemsTest, MissingFolderCountsNothingAndStaysMissing) {
  EXPECT_EQ(CountLoginItems(kAll), 0);
  RemoveLoginItemsWithPath(kAll, "/opt/agent");
  EXPECT_FALSE(RemoveLoginItemAt(kAll, 0));
  EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(LoginItemsTest, CurrentUserEntriesLiveInTheHomeBelowTheRoot) {
  std::string folder = root_.Path(UserHomeFolder() + "/.config/autostart");
  MakeFolders(folder);
  WriteFileOrDie(folder + "/mine.desktop", "[Desktop Entry]\nExec=/opt/agent\n");
  EXPECT_EQ(CountLoginItems(LoginItemScope::kCurrentUser), 1);
  EXPECT_EQ(CountLoginItems(kAll), 0);
  RemoveLoginItemsWithPath(LoginItemScope::kCurrentUser, "/OPT/agent");
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST(DesktopEntryTest, ExecProgramFollowsQuotingAndGroups) {
  EXPECT_EQ(DesktopEntryProgram("[Desktop Entry]\nExec = /bin/prog arg\n"), "/bin/prog");
  EXPECT_EQ(DesktopEntryProgram("[Desktop Entry]\r\nExec=\"/a b/c\\\\\"d\" x\r\n"), "/a b/c\"d");
  // \s is a blank once the string is read, and a blank ends an unquoted word.
  EXPECT_EQ(DesktopEntryProgram("[Desktop Entry]\nExec=/a\\sb\n"), "/a");
  EXPECT_EQ(DesktopEntryProgram("[Desktop Entry]\nExec=\"/unterminated\n"), std::nullopt);
  EXPECT_EQ(DesktopEntryProgram("[Desktop Entry]\nExec=\n"), std::nullopt);
  EXPECT_EQ(DesktopEntryProgram("[Other]\nExec=/x\n[Desktop Entry]\nName=y\n"), std::nullopt);
  EXPECT_EQ(DesktopEntryProgram("# Exec=/x\n[Desktop Entry]\nExec[de]=/de\nExec=/en\n"), "/en");
  EXPECT_EQ(DesktopEntryProgram(""), std::nullopt);

  // Whatever the program's name, the written entry gives it back.
  for (std::string program : {"/plain", "/with space/and \"quotes\"", "/$HOME/`x`/100%/a\\b",
                              "/line\nbreak", "/tab\there"}) {
    EXPECT_EQ(DesktopEntryProgram(AutostartEntryText("Name", program)), program);
  }
}

}  // namespace
}  // namespace corvane::test
