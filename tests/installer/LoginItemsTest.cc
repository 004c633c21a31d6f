// Login items as XDG autostart entries, and the desktop entry texts.
#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "LoginItems.h"
#include "Paths.h"
#include "Platform/System/HomeFolder.h"
#include "TestSupport.h"

namespace corvane::test {
namespace {

namespace fs = std::filesystem;
constexpr auto kAll = LoginItemScope::kAllUsers;

TEST(LoginItemsTest, RemovesEveryEntryOfThePathInAnyCaseKeepingTheOthersInOrder) {
  TempRoot root;
  const std::string folder = root.Path("/etc/xdg/autostart");
  // No folder: nothing counted, nothing removed, and no folder made.
  EXPECT_EQ(CountLoginItems(kAll), 0);
  RemoveLoginItemsWithPath(kAll, "/opt/agent");
  EXPECT_FALSE(RemoveLoginItemAt(kAll, 0));
  EXPECT_FALSE(fs::exists(folder));

  // The current user's entries live in the home below the root.
  std::string home = root.Path(UserHomeFolder() + "/.config/autostart");
  MakeFolders(home);
  WriteFileOrDie(home + "/mine.desktop", "[Desktop Entry]\nExec=/opt/agent\n");
  EXPECT_EQ(CountLoginItems(LoginItemScope::kCurrentUser), 1);
  EXPECT_EQ(CountLoginItems(kAll), 0);
  RemoveLoginItemsWithPath(LoginItemScope::kCurrentUser, "/OPT/agent");
  EXPECT_TRUE(fs::is_empty(home));

  MakeFolders(folder);
  for (auto [file, exec] : {std::pair{"10-first", "Exec=/Opt/Agent"},
                            {"20-other", "Exec=/usr/bin/other --flag"},
                            {"30-again", "Exec=\"/opt/agent\" %U"}, {"40-nopath", "Name=None"},
                            {"50-nonascii", "Exec=/opt/agënt"}, {"60-last", "Exec=/OPT/AGENT"}}) {
    WriteFileOrDie(folder + "/" + file + ".desktop",
                   std::string("[Desktop Entry]\nType=Application\n") + exec + "\n");
  }
  WriteFileOrDie(folder + "/readme.txt", "Exec=/opt/agent\n");
  ASSERT_EQ(CountLoginItems(kAll), 6);
  EXPECT_EQ(CopyLoginItemPath(kAll, 1), "/usr/bin/other");
  for (int at : {3, 4, -1, 6}) EXPECT_EQ(CopyLoginItemPath(kAll, at), std::nullopt) << at;

  RemoveLoginItemsWithPath(kAll, "/opt/agent");
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"20-other.desktop", "40-nopath.desktop",
                                             "50-nonascii.desktop", "readme.txt"}));
  EXPECT_FALSE(RemoveLoginItemAt(kAll, -1));
  EXPECT_FALSE(RemoveLoginItemAt(kAll, 3));
  EXPECT_TRUE(RemoveLoginItemAt(kAll, 1));
  EXPECT_EQ(CountLoginItems(kAll), 2);
  EXPECT_EQ(CopyLoginItemPath(kAll, 1), std::nullopt);  // the non-ASCII one moved up
}

TEST(DesktopEntryTest, ExecProgramFollowsQuotingAndGroups) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"[Desktop Entry]\nExec = /bin/prog arg\n", "/bin/prog"},
      {"[Desktop Entry]\r\nExec=\"/a b/c\\\\\"d\" x\r\n", "/a b/c\"d"},
      // \s is a blank once the string is read, and a blank ends an unquoted word.
      {"[Desktop Entry]\nExec=/a\\sb\n", "/a"},
      {"[Desktop Entry]\nExec=\"/unterminated\n", std::nullopt},
      {"[Other]\nExec=/x\n[Desktop Entry]\nName=y\n", std::nullopt},
      {"# Exec=/x\n[Desktop Entry]\nExec[de]=/de\nExec=/en\n", "/en"},
      {"", std::nullopt}};
  for (const auto& [text, program] : cases) EXPECT_EQ(DesktopEntryProgram(text), program) << text;
}

}  // namespace
}  // namespace corvane::test
