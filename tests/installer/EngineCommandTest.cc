// The engine's command line through the real program: result characters,
// exit status, log lines and the preference keys.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "EngineRig.h"
#include "Paths.h"
#include "PlistFile.h"
#include "Preferences.h"

namespace corvane::test {
namespace {

const std::string kSupport = "/Library/Application Support/Corvane 5";
const std::string kPrefs = "/Library/Preferences/com.quarlant.corvane5.plist";

class EngineCommandTest : public ::testing::Test {
 protected:
  // The log lives in the support folder, which an installed system has.
  void SetUp() override { MakeFolders(rig_.Path(kSupport)); }
  StatusOr<Plist> PrefFile() { return ReadPlistFile(rig_.Path(kPrefs)); }
  std::optional<Plist> HostPreference(const char* key) {
    ResetRootPrefixForTesting();
    return CopyPreference(key);
  }
  std::string Pref(const char* key) { return *PrefFile()->AsDictionary()->Find(key)->AsString(); }

  EngineRig rig_;
};

TEST_F(EngineCommandTest, NoUnknownOrIncompleteCommandChangesNothing) {
  EngineResult r = rig_.Run({});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_FALSE(rig_.Has(kSupport + "/InstallationEngine.log"));
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"Bogus"}, {"uninstall"}, {"InstallAndRun "}, {"Corvane_config"},
           {"Non-watched_User"}, {"", "x"}}) {
    r = rig_.Run(args);
    EXPECT_EQ(r.exit_status, 0) << args[0];
    EXPECT_EQ(r.output, "0") << args[0];
  }
  EXPECT_EQ(rig_.EngineLog(), "Installation engine running with last arg:  with argc 3 \n");
  rig_.Run({"Bogus", "a", "b"});
  EXPECT_EQ(rig_.EngineLog(), "Installation engine running with last arg: Bogus with argc 4 \n");
  EXPECT_FALSE(PrefFile());
  EXPECT_FALSE(HostPreference("Configuration"));
}

TEST_F(EngineCommandTest, SetPrefKeyWritesStringsIntoThePreferenceFile) {
  EXPECT_EQ(rig_.Run({"SetPrefKey", "Alerts"}).output, "0");
  EXPECT_EQ(rig_.EngineLog(),
            "Installation engine running with last arg: SetPrefKey with argc 3 \n"
            "Hello! set pref key for 'Alerts' and '(missing)'\n\n");
  EXPECT_FALSE(PrefFile());

  EXPECT_EQ(rig_.Run({"SetPrefKey", "Non-watched account", "1"}).output, "1");
  EXPECT_EQ(rig_.EngineLog(),
            "Installation engine running with last arg: SetPrefKey with argc 4 \n"
            "Hello! set pref key for 'Non-watched account' and '1'\n\n"
            "Set Pref key Non-watched account with val 1 !\n"
            "Set Pref key Non-watched account with val 1 gave result 1  !\n");
  ASSERT_TRUE(PrefFile() && PrefFile()->IsDictionary());
  EXPECT_EQ(PrefFile()->AsDictionary()->size(), 1u);
  EXPECT_EQ(Pref("Non-watched account"), "1");

  // A file that is not a dictionary is replaced; bytes that are no text cannot be a key.
  WriteFileOrDie(rig_.Path(kPrefs), "garbage <plist>");
  EXPECT_EQ(rig_.Run({"SetPrefKey", "Sound", "1"}).output, "1");
  EXPECT_EQ(rig_.Run({"SetPrefKey", "bad\xff", "1"}).output, "0");
  EXPECT_EQ(PrefFile()->AsDictionary()->size(), 1u);
}

TEST_F(EngineCommandTest, ConfigurationAndNonWatchedUserGoThroughThePreferenceStore) {
  for (auto [text, expected] : std::vector<std::pair<const char*, int64_t>>{
           {"70000", 4464}, {"abc", 0}, {"  -5x", -5}, {"32768", -32768}, {"2", 2}}) {
    EXPECT_EQ(rig_.Run({"Corvane_config", text}).output, "1") << text;
    auto value = HostPreference("Configuration");
    ASSERT_TRUE(value && value->AsInteger()) << text;
    EXPECT_EQ(value->AsInteger()->value, expected) << text;
  }
  EXPECT_FALSE(PrefFile());  // the agent's own file is another one

  EXPECT_EQ(rig_.Run({"Non-watched_User", "bob"}).output, "1");
  EXPECT_EQ(rig_.Run({"Non-watched_User", "\xc3"}).output, "0");
  auto value = HostPreference("Non-watched account");
  ASSERT_TRUE(value && value->AsString());
  EXPECT_EQ(*value->AsString(), "bob");
  // An unwritable store reports failure.
  std::filesystem::remove_all(rig_.Path("/Library/Preferences"));
  WriteFileOrDie(rig_.Path("/Library/Preferences"), "a file in the folder's place");
  EXPECT_EQ(rig_.Run({"Non-watched_User", "eve"}).output, "0");
}

}  // namespace
}  // namespace corvane::test
