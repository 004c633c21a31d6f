#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "Paths.h"
#include "ShellRunner.h"
#include "TestSupport.h"

namespace corvane {
namespace {

std::string ProbeOutput(const std::string& probe) {
  CommandPipe pipe = OpenCommandPipe("'" + probe + "'");
  char buf[512] = {};
  size_t n = pipe ? fread(buf, 1, sizeof buf - 1, pipe.get()) : 0;
  return std::string(buf, n);
}

TEST(PathsTest, RootPrefixAppliesUnlessSetUserId) {
  test::TempRoot root;
  EXPECT_EQ(SystemPath(kSettingsFile),
            root.path() + "/Library/Application Support/Corvane 5/settings.plist");
  EXPECT_EQ(ProbeOutput(PATHS_PROBE), SystemPath(kSettingsFile) + "\n");

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
  std::string out = ProbeOutput(copy);
  if (out.empty()) GTEST_SKIP() << "temporary folder does not allow running programs";
  EXPECT_EQ(out, "/Library/Application Support/Corvane 5/settings.plist\n");
}

}  // namespace
}  // namespace corvane
