#include "DesktopEntries.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "ApplicationIdentity.h"
#include "TestSupport.h"

namespace corvane {
namespace {

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

TEST(DesktopEntriesTest, LoadsEveryDataFolderEarlierOneWinning) {
  test::TempRoot root;
  auto entry = [&](const std::string& path, const std::string& name) {
    test::MakeFolders(root.path() + path.substr(0, path.rfind('/')));
    test::WriteFileOrDie(root.path() + path,
                         "[Desktop Entry]\nType=Application\nName=" + name + "\n");
  };
  entry("/first/applications/kde/konsole.desktop", "Konsole");
  entry("/first/applications/xterm.desktop", "First XTerm");
  entry("/second/applications/xterm.desktop", "Second XTerm");
  test::WriteFileOrDie(root.path() + "/second/applications/readme.txt", "not an entry");
  setenv("XDG_DATA_HOME", (root.path() + "/none").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root.path() + "/first:" + root.path() + "/second").c_str(), 1);
  std::vector<DesktopEntry> entries = LoadDesktopEntries();
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_DATA_DIRS");
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& e : entries) {
    EXPECT_TRUE(e.id == "xterm" ? e.name == "First XTerm" : e.id == "kde-konsole") << e.id;
  }
}

}  // namespace
}  // namespace corvane
