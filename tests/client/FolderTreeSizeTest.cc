#include "Platform/System/FolderTreeSize.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace corvane {
namespace {

using test::WriteFileOrDie;

// The root walk's options count each hard-linked file once and nothing of a
// file system mounted inside (only where this test may mount: the private
// mount namespace of the isolated rig).
TEST(FolderTreeSizeTest, AddsFilesAndLinksNotFoldersNorLinkTargets) {
  test::TempRoot root;
  std::string top = root.path() + "/home", target = root.path() + "/elsewhere";
  test::MakeFolders(top + "/a/b/c");
  test::MakeFolders(top + "/mnt");
  test::MakeFolders(target);
  WriteFileOrDie(top + "/one", std::string(1000, 'x'));
  WriteFileOrDie(top + "/a/two", std::string(24, 'y'));
  WriteFileOrDie(top + "/a/b/c/empty", "");
  WriteFileOrDie(target + "/big", std::string(100000, 'z'));
  // Links count as the small files they are: the length of their target.
  ASSERT_EQ(symlink(target.c_str(), (top + "/a/link-to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (top + "/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((top + "/a/fifo").c_str(), 0600), 0);
  const uint64_t size = 1000u + 24u + target.size() + 7u;
  EXPECT_EQ(FolderTreeSize(top), size);

  // A home folder reached through a link is measured; a missing one is 0.
  ASSERT_EQ(symlink(top.c_str(), (root.path() + "/home-link").c_str()), 0);
  EXPECT_EQ(FolderTreeSize(root.path() + "/home-link"), size);
  EXPECT_EQ(FolderTreeSize(root.path() + "/missing"), 0u);
  EXPECT_EQ(FolderTreeSize(top + "/one"), 0u);

  ASSERT_EQ(link((top + "/one").c_str(), (top + "/a/again").c_str()), 0);
  ASSERT_EQ(link((top + "/one").c_str(), (top + "/a/b/thrice").c_str()), 0);
  const FolderTreeOptions kRootWalk{.one_file_system = true, .hard_links_once = true};
  EXPECT_EQ(FolderTreeSize(top), size + 2000u);
  EXPECT_EQ(FolderTreeSize(top, kRootWalk), size);
  const char* rig = std::getenv("CORVANE_ISOLATED_RIG");
  if (rig != nullptr && std::string(rig) == "inside") {
    ASSERT_EQ(std::system(("mount -t tmpfs tmpfs '" + top + "/mnt'").c_str()), 0);
    WriteFileOrDie(top + "/mnt/elsewhere", std::string(500, 'e'));
    EXPECT_EQ(FolderTreeSize(top), size + 2500u);
    EXPECT_EQ(FolderTreeSize(top, kRootWalk), size);
    ASSERT_EQ(std::system(("umount '" + top + "/mnt'").c_str()), 0);
  }

  // An unreadable folder counts nothing; the rest still counts.
  if (geteuid() == 0) return;  // root reads every folder
  WriteFileOrDie(top + "/a/b/secret", "abc");
  chmod((top + "/a/b").c_str(), 0);
  EXPECT_EQ(FolderTreeSize(top), size + 1000u);  // /a/b/thrice is out of reach too
  chmod((top + "/a/b").c_str(), 0755);
}

// Deeper than PATH_MAX allows as one path: the walk never builds one.
TEST(FolderTreeSizeTest, DeeperThanAnyPath) {
  test::TempRoot root;
  std::string top = root.path() + "/home", name(200, 'd');
  test::MakeFolders(top);
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 40; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  int file = openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(write(file, "12345", 5), 5);
  close(file);
  close(fd);
  EXPECT_EQ(FolderTreeSize(top), 5u);
  // GNU rm walks by descriptors too; a path-based removal would fail here.
  ASSERT_EQ(std::system(("rm -rf '" + top + "/" + name + "'").c_str()), 0);
}

}  // namespace
}  // namespace corvane
