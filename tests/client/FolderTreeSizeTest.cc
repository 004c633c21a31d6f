#include "Platform/FolderTreeSize.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace corvane {
namespace {

using test::WriteFileOrDie;

TEST(FolderTreeSizeTest, AddsFilesAndLinksNotFoldersNorLinkTargets) {
  test::TempRoot root;
  std::string top = root.path() + "/home";
  test::MakeFolders(top + "/a/b/c");
  test::MakeFolders(root.path() + "/elsewhere");
  WriteFileOrDie(top + "/one", std::string(1000, 'x'));
  WriteFileOrDie(top + "/a/two", std::string(24, 'y'));
  WriteFileOrDie(top + "/a/b/c/empty", "");
  WriteFileOrDie(root.path() + "/elsewhere/big", std::string(100000, 'z'));
  // Links count as the small files they are: the length of their target.
  std::string target = root.path() + "/elsewhere";
  ASSERT_EQ(symlink(target.c_str(), (top + "/a/link-to-folder").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (top + "/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((top + "/a/fifo").c_str(), 0600), 0);
  EXPECT_EQ(FolderTreeSize(top), 1000u + 24u + target.size() + 7u);

  // A home folder reached through a link is measured; a missing one is 0.
  ASSERT_EQ(symlink(top.c_str(), (root.path() + "/home-link").c_str()), 0);
  EXPECT_EQ(FolderTreeSize(root.path() + "/home-link"), FolderTreeSize(top));
  EXPECT_EQ(FolderTreeSize(root.path() + "/missing"), 0u);
  EXPECT_EQ(FolderTreeSize(top + "/one"), 0u);
}

TEST(FolderTreeSizeTest, DeeperThanAnyPath) {
  test::TempRoot root;
  std::string top = root.path() + "/home";
  // Deeper than PATH_MAX allows as one path: the walk never builds one.
  std::string deep = top;
  test::MakeFolders(top);
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  std::string name(200, 'd');
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

TEST(FolderTreeSizeTest, UnreadableFolderCountsNothing) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  test::TempRoot root;
  std::string top = root.path() + "/home";
  test::MakeFolders(top + "/locked");
  WriteFileOrDie(top + "/locked/secret", "abc");
  chmod((top + "/locked").c_str(), 0);
  EXPECT_EQ(FolderTreeSize(top), 0u);
  chmod((top + "/locked").c_str(), 0755);
}

}  // namespace
}  // namespace corvane
