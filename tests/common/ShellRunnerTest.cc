#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "ShellRunner.h"
#include "TestSupport.h"

namespace corvane {
namespace {

TEST(ShellRunnerTest, RunsCommands) {
  EXPECT_FALSE(OpenCommandPipe(""));
  EXPECT_EQ(RunShellCommand(""), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3 << 8);
  CommandPipe pipe = OpenCommandPipe("printf 'a b'");
  ASSERT_TRUE(pipe);
  char buf[16] = {};
  EXPECT_EQ(fread(buf, 1, sizeof buf, pipe.get()), 3u);
  EXPECT_STREQ(buf, "a b");
}

TEST(ShellRunnerTest, FindProcessIDFindsTheFirstRealProcess) {
  // A marker no other process carries; two sleepers carry it.
  std::string marker = "4242." + std::to_string(getpid());
  pid_t first = test::SpawnProcess({"sleep", marker});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  pid_t second = test::SpawnProcess({"sleep", marker});
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int found = FindProcessID(marker);
  // ps lists in process-id order; the lower id is the first line.
  EXPECT_EQ(found, std::min(first, second));
  test::KillAndReap(first);
  test::KillAndReap(second);
  EXPECT_EQ(FindProcessID(marker), -1);
  EXPECT_EQ(FindProcessID(marker, 0), 0);
  // Names that would break out of the quotes start nothing.
  EXPECT_EQ(FindProcessID("x\"; touch /tmp/corvane-injected; echo \""), -1);
  EXPECT_NE(access("/tmp/corvane-injected", F_OK), 0);
  // A line that contains "grep" never counts.
  pid_t grepish = test::SpawnProcess({"sleep", "7777." + std::to_string(getpid())});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(FindProcessID("grep"), -1);
  test::KillAndReap(grepish);
}

}  // namespace
}  // namespace corvane
