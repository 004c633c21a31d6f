// The installer's file steps in temporary folders: copy and delete of real
// folder trees, and login items as XDG autostart entries with their desktop
// entry texts.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "LoginItems.h"
#include "Paths.h"
#include "Platform/System/HomeFolder.h"
#include "TestSupport.h"
#include "TreeCopy.h"

namespace corvane::test {
namespace {

namespace fs = std::filesystem;

class TreeCopyTest : public ::testing::Test {
 protected:
  std::string At(const std::string& rel) { return root_.path() + "/" + rel; }
  // A file with its data and mode, its folder made first.
  void File(const std::string& rel, const std::string& data, mode_t mode) {
    MakeFolders(fs::path(At(rel)).parent_path());
    WriteFileOrDie(At(rel), data);
    ASSERT_EQ(chmod(At(rel).c_str(), mode), 0);
  }
  void Times(const std::string& rel, time_t atime, time_t mtime) {
    struct timespec t[2] = {{atime, 123456789}, {mtime, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, At(rel).c_str(), t, AT_SYMLINK_NOFOLLOW), 0);
  }
  // What the copy must keep of every object below `top`, data and link
  // targets aside (reading them moves the access times).
  std::map<std::string, std::string> Describe(const std::string& top) {
    std::map<std::string, std::string> out;
    auto describe = [&](const fs::path& path) {
      struct stat st;
      lstat(path.c_str(), &st);
      std::ostringstream d;
      d << st.st_mode << " " << st.st_uid << ":" << st.st_gid << " m" << st.st_mtim.tv_sec << "."
        << st.st_mtim.tv_nsec;
      if (!S_ISDIR(st.st_mode)) d << " a" << st.st_atim.tv_sec << "." << st.st_atim.tv_nsec;
      std::string rel = path.lexically_relative(top).string();
      out[rel] = d.str();
      char names[4096], value[4096];
      ssize_t n = llistxattr(path.c_str(), names, sizeof names);
      for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(strlen(names + at)) + 1) {
        ssize_t len = lgetxattr(path.c_str(), names + at, value, sizeof value);
        out[rel + " " + (names + at)] = std::string(value, static_cast<size_t>(std::max(len, 0L)));
      }
    };
    describe(top);
    if (!fs::is_directory(fs::symlink_status(top))) return out;
    for (const auto& e : fs::recursive_directory_iterator(top)) describe(e.path());
    return out;
  }

  TempRoot root_;
};

TEST_F(TreeCopyTest, CopiesDataModesOwnersTimesAttributesAndLinks) {
  MakeFolders(At("dest"));
  // Larger than the copy buffer and not a multiple of 512.
  std::string big(300 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  const std::map<std::string, std::pair<std::string, mode_t>> files = {
      {"big", {big, 0640}}, {"a/tool", {"#!/bin/sh\n", 04755}},
      {"a/b/readonly", {"locked words", 0444}}, {"a/b/c/empty", {"", 0600}},
      {"ro/inside", {"in a read-only folder", 0644}}};
  for (auto& [rel, f] : files) File("src/" + rel, f.first, f.second);
  ASSERT_EQ(chown(At("src/a/tool").c_str(), 1234, 5678), 0);
  ASSERT_EQ(chmod(At("src/a/tool").c_str(), 04755), 0);  // chown cleared it
  ASSERT_EQ(mkfifo(At("src/a/pipe").c_str(), 0620), 0);
  fs::create_symlink("b/readonly", At("src/a/rel-link"));
  fs::create_symlink("/nowhere/at/all", At("src/dangling"));
  ASSERT_EQ(lchown(At("src/dangling").c_str(), 42, 43), 0);
  for (auto [rel, name, value] : {std::tuple{"src/big", "user.origin", "test \x01 value"},
                                  std::tuple{"src/a/b", "user.folder", "yes"}}) {
    ASSERT_EQ(setxattr(At(rel).c_str(), name, value, strlen(value), 0), 0);
  }
  for (const char* rel : {"src/big", "src/a/tool", "src/a/b/readonly", "src/a/b/c/empty",
                          "src/a/pipe", "src/a/rel-link", "src/dangling", "src/ro/inside"}) {
    Times(rel, 1000000000, 1200000000);
  }
  ASSERT_EQ(chmod(At("src/ro").c_str(), 0555), 0);
  for (const char* rel : {"src/a/b/c", "src/a/b", "src/a", "src/ro", "src"}) {
    Times(rel, 1100000000, 1300000000);
  }
  ASSERT_EQ(chmod(At("src/a").c_str(), 0750), 0);
  auto before = Describe(At("src"));

  std::string made;
  ASSERT_EQ(CopyObject(At("src"), At("dest"), &made), 0);
  EXPECT_EQ(made, At("dest/src"));
  EXPECT_EQ(Describe(At("dest/src")), before);
  for (auto& [rel, f] : files) EXPECT_EQ(ReadFileOrEmpty(At("dest/src/" + rel)), f.first) << rel;
  EXPECT_EQ(fs::read_symlink(At("dest/src/a/rel-link")), "b/readonly");
  EXPECT_EQ(fs::read_symlink(At("dest/src/dangling")), "/nowhere/at/all");

  // A single file and a single link copy the same way.
  for (const char* rel : {"big", "dangling"}) {
    before = Describe(At("src/") + rel);
    ASSERT_EQ(CopyObject(At("src/") + rel, At("dest"), &made), 0);
    EXPECT_EQ(Describe(made), before);
  }
  EXPECT_EQ(fs::read_symlink(At("dest/dangling")), "/nowhere/at/all");
}

TEST_F(TreeCopyTest, RefusesBadDestinationsAndKeepsWhatExists) {
  MakeFolders(At("src/sub/deeper"));
  File("src/file", "new", 0644);
  File("dest/src/marker", "old", 0600);
  File("dest/file", "old file", 0600);

  EXPECT_EQ(CopyObject(At("src"), At("src/sub/deeper")), kCopyIntoItselfError);
  EXPECT_EQ(CopyObject(At("src"), At("src")), kCopyIntoItselfError);
  EXPECT_TRUE(fs::is_empty(At("src/sub/deeper")));
  EXPECT_EQ(CopyObject(At("src"), At("dest")), kNameExistsError);
  EXPECT_EQ(CopyObject(At("src/file"), At("dest")), kNameExistsError);
  EXPECT_EQ(ReadFileOrEmpty(At("dest/file")), "old file");
  EXPECT_EQ(fs::status(At("dest/file")).permissions(), fs::perms(0600));
  EXPECT_EQ(ReadFileOrEmpty(At("dest/src/marker")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(At("dest/src")), fs::directory_iterator()), 1);

  EXPECT_EQ(CopyObject(At("src"), At("src/file")), kNotAFolderError);
  EXPECT_EQ(CopyObject(At("missing"), At("dest")), -ENOENT);
  EXPECT_EQ(CopyObject(At("src"), At("missing")), -ENOENT);
  EXPECT_EQ(CopyObject("", At("dest")), kBadArgumentError);
  EXPECT_EQ(CopyObject(At("src"), ""), kBadArgumentError);
  MakeFolders(At("src2"));  // a sibling whose name starts the same is no part of src
  EXPECT_EQ(CopyObject(At("src"), At("src2")), 0);
}

TEST_F(TreeCopyTest, DeleteRemovesTheTreeButNothingALinkPointsTo) {
  File("outside/folder/precious", "keep me", 0644);
  File("outside/file", "keep me too", 0644);
  File("tree/sub/locked/a", "a", 0444);
  File("tree/sub/b", "b", 0000);
  ASSERT_EQ(chmod(At("tree/sub/locked").c_str(), 0555), 0);
  ASSERT_EQ(chmod(At("tree/sub").c_str(), 0500), 0);
  fs::create_directory_symlink(At("outside/folder"), At("tree/folder-link"));
  fs::create_symlink(At("outside/file"), At("tree/file-link"));
  fs::create_directory_symlink(At("outside/folder"), At("link-to-folder"));

  // A link named with a trailing slash is still the link, not its folder.
  EXPECT_EQ(DeleteObject(At("link-to-folder/")), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(At("link-to-folder"))));
  EXPECT_EQ(DeleteObject(At("tree")), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(At("tree"))));
  EXPECT_EQ(ReadFileOrEmpty(At("outside/folder/precious")), "keep me");
  EXPECT_EQ(ReadFileOrEmpty(At("outside/file")), "keep me too");
  EXPECT_EQ(DeleteObject(At("tree")), -ENOENT);
  EXPECT_EQ(DeleteObject(""), kBadArgumentError);
}

TEST_F(TreeCopyTest, ImmutableFilesAreCopiedLockedAndDeleted) {
  MakeFolders(At("dest"));
  File("src/locked", "cannot change", 0444);
  auto flags_of = [](const std::string& path, int add) {
    int fd = open(path.c_str(), O_RDONLY), flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
              (add == 0 || (flags |= add, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0));
    close(fd);
    return ok ? flags : 0;
  };
  if (!(flags_of(At("src/locked"), FS_IMMUTABLE_FL) & FS_IMMUTABLE_FL)) {
    GTEST_SKIP() << "this file system or process cannot set the immutable flag";
  }
  ASSERT_EQ(CopyObject(At("src"), At("dest")), 0);
  EXPECT_EQ(ReadFileOrEmpty(At("dest/src/locked")), "cannot change");
  EXPECT_TRUE(flags_of(At("dest/src/locked"), 0) & FS_IMMUTABLE_FL);
  EXPECT_EQ(DeleteObject(At("dest/src")), 0);
  EXPECT_EQ(DeleteObject(At("src")), 0);
}

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
  for (int at : {-1, 3}) EXPECT_FALSE(RemoveLoginItemAt(kAll, at)) << at;
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
