#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "PlistFile.h"
#include "PlistXml.h"
#include "TestSupport.h"

namespace corvane {
namespace {

using test::TempRoot;
using test::WriteFileOrDie;

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
  TempRoot root;
  std::string path = root.path() + "/a.plist";
  EXPECT_TRUE(ReadPlistFile(path).status().IsNotFound());

  ASSERT_TRUE(WritePlistFile(Generation(1), path).ok());
  auto back = ReadPlistFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, Generation(1));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  // A replaced file keeps its mode, and no temporary is left behind.
  chmod(path.c_str(), 0600);
  ASSERT_TRUE(WritePlistFile(Generation(2), path).ok());
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(root.path())) files += e.exists();
  EXPECT_EQ(files, 1);

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

  WriteFileOrDie(path, "<plist><dict><key>a</key>");
  EXPECT_TRUE(ReadPlistFile(path).status().IsCorruption());
}

// A writer killed at random moments never leaves a torn or mixed file: the
// file always parses, as the last generation completed or the one after.
TEST(PlistFileTest, KillDuringWriteLeavesOldOrNewFile) {
  TempRoot root;
  std::string path = root.path() + "/stats.plist";
  ASSERT_TRUE(WritePlistFile(Generation(0), path).ok());
  constexpr unsigned kSeed = 12345;
  std::printf("kill moments: seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  int last_seen = 0;
  for (int round = 0; round < 25; ++round) {
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(progress[0]);
      for (int n = last_seen + 1;; ++n) {
        if (!WritePlistFile(Generation(n), path).ok()) _exit(2);
        if (write(progress[1], "w", 1) != 1) _exit(3);
      }
    }
    close(progress[1]);
    // One whole write first, however slow the machine, then a kill at a
    // random moment of the writes that follow.
    pollfd pfd{progress[0], POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 60000), 1);
    usleep(std::uniform_int_distribution<int>(0, 30000)(rng));
    kill(child, SIGKILL);
    int status;
    waitpid(child, &status, 0);
    close(progress[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
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
