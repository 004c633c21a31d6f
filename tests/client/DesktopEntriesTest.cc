#include "DesktopEntries.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"

namespace corvane {
namespace {

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

  DesktopEntry german;
  ParseDesktopEntry("[Desktop Entry]\nType=Application\nName=Calc\nName[de]=Rechner\n", "de_AT",
                    &german);
  EXPECT_EQ(german.name, "Rechner");
  DesktopEntry plain;
  ParseDesktopEntry("[Desktop Entry]\nName[fr]=Calculette\nName=Calc\nType=Application\n", "C",
                    &plain);
  EXPECT_EQ(plain.name, "Calc");

  DesktopEntry other;
  EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nType=Link\nName=Web\n", "", &other));
  EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nType=Application\nHidden=true\n", "", &other));
  EXPECT_FALSE(ParseDesktopEntry("Type=Application\n", "", &other));
  EXPECT_FALSE(ParseDesktopEntry(std::string("\0\n[\n=\n[Desktop Entry]\n=x", 22), "", &other));
}

TEST(DesktopEntriesTest, LoadsEveryDataFolderEarlierOneWinning) {
  test::TempRoot root;
  test::MakeFolders(root.path() + "/first/applications/kde");
  test::MakeFolders(root.path() + "/second/applications");
  test::WriteFileOrDie(root.path() + "/first/applications/kde/konsole.desktop",
                       "[Desktop Entry]\nType=Application\nName=Konsole\nExec=konsole\n");
  test::WriteFileOrDie(root.path() + "/first/applications/xterm.desktop",
                       "[Desktop Entry]\nType=Application\nName=First XTerm\n");
  test::WriteFileOrDie(root.path() + "/second/applications/xterm.desktop",
                       "[Desktop Entry]\nType=Application\nName=Second XTerm\n");
  test::WriteFileOrDie(root.path() + "/second/applications/readme.txt", "not an entry");
  setenv("XDG_DATA_HOME", (root.path() + "/none").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root.path() + "/first:" + root.path() + "/second").c_str(), 1);
  std::vector<DesktopEntry> entries = LoadDesktopEntries();
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_DATA_DIRS");
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    if (e.id == "xterm") {
      EXPECT_EQ(e.name, "First XTerm");
    } else {
      EXPECT_EQ(e.id, "kde-konsole");
    }
  }
}

}  // namespace
}  // namespace corvane
