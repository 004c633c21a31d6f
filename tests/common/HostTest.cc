// The small modules between the programs and the host: system paths, the
// preference store, shell commands, and the texts shown to people.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "Paths.h"
#include "PlistFile.h"
#include "Preferences.h"
#include "ShellRunner.h"
#include "TestSupport.h"
#include "TextFormat.h"

namespace corvane {
namespace {

std::string CommandOutput(const std::string& command) {
  CommandPipe pipe = OpenCommandPipe(command);
  char buf[512] = {};
  size_t n = pipe ? fread(buf, 1, sizeof buf - 1, pipe.get()) : 0;
  return std::string(buf, n);
}

TEST(PathsTest, RootPrefixAppliesUnlessSetUserId) {
  test::TempRoot root;
  EXPECT_EQ(SystemPath(kSettingsFile),
            root.path() + "/Library/Application Support/Corvane 5/settings.plist");
  EXPECT_EQ(CommandOutput("'" PATHS_PROBE "'"), SystemPath(kSettingsFile) + "\n");

  // The same program installed set-user-id for another user ignores the
  // environment's root.
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a set-user-id copy";
  struct passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  std::string copy = root.path() + "/paths_probe_setuid";
  std::filesystem::copy_file(PATHS_PROBE, copy);
  ASSERT_EQ(chown(copy.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(chmod(copy.c_str(), 04755), 0);
  chmod(root.path().c_str(), 0755);
  std::string out = CommandOutput("'" + copy + "'");
  if (out.empty()) GTEST_SKIP() << "temporary folder does not allow running programs";
  EXPECT_EQ(out, "/Library/Application Support/Corvane 5/settings.plist\n");
}

TEST(PreferencesTest, SetSynchronizeAndReadBack) {
  test::TempRoot root;
  EXPECT_FALSE(CopyPreference("Use custom port"));
  EXPECT_TRUE(PreferenceFlag("Last Minute Credit", true));
  SetPreference("Use custom port", Plist::String("1"));
  SetPreference("Custom port", Plist::String(" 5123xyz"));
  ASSERT_TRUE(SynchronizePreferences());
  // The file is read afresh: a change made by another program is seen.
  auto file = ReadPlistFile(SystemPath(kHostPreferenceFile));
  ASSERT_TRUE(file && file->IsDictionary());
  EXPECT_EQ(file->AsDictionary()->size(), 2u);
  EXPECT_TRUE(PreferenceFlag("Use custom port", false));
  EXPECT_EQ(PreferenceInteger("Custom port"), 5123);
  ASSERT_TRUE(SetPlistFileKey(SystemPath(kHostPreferenceFile), "Use custom port",
                              Plist::String("0")).ok());
  EXPECT_FALSE(PreferenceFlag("Use custom port", true));
  EXPECT_FALSE(PreferenceFlag("Play Alerts Sound", false));

  SetPreference("Custom port", std::nullopt);
  ASSERT_TRUE(SynchronizePreferences());
  EXPECT_FALSE(PreferenceInteger("Custom port"));
  for (auto [text, value] : {std::pair{"  -12abc", -12}, {"abc", 0}, {"99999999999", INT32_MAX},
                             {"-99999999999", INT32_MIN}}) {
    EXPECT_EQ(StringIntValue(text), value) << text;
  }
}

TEST(ShellRunnerTest, RunsCommands) {
  EXPECT_FALSE(OpenCommandPipe(""));
  EXPECT_EQ(RunShellCommand(""), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3 << 8);
  EXPECT_EQ(CommandOutput("printf 'a b'"), "a b");
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

TEST(TextFormatTest, Durations) {
  const std::pair<int, const char*> minutes[] = {
      {0, "0 minute"},           {1, "1 minute"},          {59, "59 minutes"},
      {60, "1 hour 0 minute"},   {61, "1 hour 1 minute"},  {119, "1 hour 59 minutes"},
      {120, "2 hours 0 minute"}, {125, "2 hours 5 minutes"}, {1439, "23 hours 59 minutes"},
      {-5, "-5 minute"},         {-65, "-5 minute"},       {INT32_MIN, "-8 minute"},
  };
  for (auto [n, text] : minutes) EXPECT_EQ(FormatDuration(n, 1), text) << n;
  EXPECT_EQ(FormatDuration(45, 2), "45 seconds");
  EXPECT_EQ(FormatDuration(61, 2), "1 second");
  EXPECT_EQ(FormatDuration(60, 2), "0 second");
  EXPECT_FALSE(FormatDuration(5, 3));
  EXPECT_FALSE(FormatDuration(5, 0));
}

TEST(TextFormatTest, ByteSizes) {
  const std::pair<uint64_t, const char*> sizes[] = {
      {0, "0 B"},           {512, "512 B"},         {1023, "1023 B"},
      {1024, "1 KB"},       {65534, "63 KB"},       {65535, "--"},
      {65536, "64 KB"},     {1048575, "1023 KB"},   {1048576, "1.00 MB"},
      {1572864, "1.50 MB"}, {1073741823, "1024.00 MB"}, {1073741824, "1.00 GB"},
      {4294967295ull, "--"}, {4294967296ull, "4.00 GB"}, {UINT64_MAX, "17179869184.00 GB"},
  };
  for (auto [b, text] : sizes) EXPECT_EQ(FormatByteSize(b), text) << b;
}

}  // namespace
}  // namespace corvane
