// The real install tool against a private root, with systemd played by a
// recording stub: installs, and the engine's other commands (result
// characters, exit status, log lines and the preference keys).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "EngineRig.h"
#include "Paths.h"
#include "PlistFile.h"
#include "Preferences.h"

namespace corvane::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const std::string kSupport = "/Library/Application Support/Corvane 5";
const std::string kPrefs = "/Library/Preferences/com.quarlant.corvane5.plist";
const std::string kServer = kSupport + "/Corvane 5 Server";
const std::string kBuild = kSupport + "/BuildNumber";
const std::string kUnit = "/etc/systemd/system/com.quarlant.corvane5server.service";
const std::string kAutostart = "/etc/xdg/autostart/com.quarlant.corvane5login.desktop";
const std::string kAgentTree = kSupport + "/Corvane 5 Login Item.app";
const std::string kKept = "/Library/Application Support/Corvane 5 Kept Data";

// Data files as the server keeps them; the engine must not interpret them.
const std::string kSettingsBytes =
    std::string("<?xml version=\"1.0\"?>\r\n<plist>\0odd", 33) + "\xff\n";
const std::string kStatsBytes = "stats \t\r\n" + std::string(70000, 'x');

// Writes a file below the root, making its folder.
void Put(EngineRig& rig, const std::string& path, const std::string& text) {
  MakeFolders(fs::path(rig.Path(path)).parent_path());
  WriteFileOrDie(rig.Path(path), text);
}

void WriteServerData(EngineRig& rig) {
  WriteFileOrDie(rig.Path(kSupport + "/settings.plist"), kSettingsBytes);
  WriteFileOrDie(rig.Path(kSupport + "/stats.plist"), kStatsBytes);
}

void ExpectServerData(EngineRig& rig) {
  EXPECT_EQ(rig.Read(kSupport + "/settings.plist"), kSettingsBytes);
  EXPECT_EQ(rig.Read(kSupport + "/stats.plist"), kStatsBytes);
  EXPECT_FALSE(rig.Has(kKept));
}

TEST(InstallTest, FreshInstallSameBuildAgainThenUninstall) {
  EngineRig rig;
  EngineResult r = rig.Run({"InstallAndRun"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.output, "1");
  // No server came up, so the engine waited for it; earlier lines went with
  // the log handle that the removal of version 4 closed.
  EXPECT_EQ(rig.EngineLog(),
            "Created the login item successfullly\nCreated the command line tool successfullly\n"
            "Corvane 5 server not running. Trying to launch it...\nInstallation done !\n");
  // How faithfully a tree copies is TreeCopyTest's; here, that the agent
  // landed where its login item points.
  const std::string agent_program = "/Contents/MacOS/Corvane 5 Login Item";
  std::string released =
      ReadFileOrEmpty(rig.release() + "/Corvane 5 Login Item.app" + agent_program);
  ASSERT_FALSE(released.empty());
  EXPECT_EQ(rig.Read(kAgentTree + agent_program), released);
  EXPECT_EQ(rig.Read(kSupport + "/c5engine"), ReadFileOrEmpty(rig.release() + "/bin/c5engine"));
  struct stat st;
  ASSERT_EQ(stat(rig.Path(kServer).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_FALSE(st.st_mode & S_ISUID);
  EXPECT_EQ(rig.Read(kBuild), "570\r");
  EXPECT_EQ(rig.Read(kUnit),
            "[Unit]\nDescription=Corvane 5 Server\nAfter=network.target avahi-daemon.service\n\n"
            "[Service]\nUser=root\nExecStart=\"" + rig.Path(kServer) + "\" \"Corvane 5 Server\"\n"
            "Restart=always\nEnvironment=\"CORVANE_ROOT=" + rig.Path("") + "\"\n\n"
            "[Install]\nWantedBy=multi-user.target\n");
  EXPECT_EQ(rig.Read(kAutostart),
            "[Desktop Entry]\nType=Application\nName=Corvane 5 Login Item\nExec=\"" +
                rig.Path(kAgentTree) + "/Contents/MacOS/Corvane 5 Login Item\"\n"
                "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_EQ(rig.SystemctlLog(), "daemon-reload\nenable --now " + rig.Path(kUnit) + "\n");

  // Same build: programs and data stay as they are, the jobs are written and loaded again.
  WriteServerData(rig);
  WriteFileOrDie(rig.Path(kSupport + "/c5engine"), "installed copy");
  fs::remove(rig.Path(kUnit));
  rig.StartServerOnEnable();
  EXPECT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  EXPECT_EQ(rig.Read(kSupport + "/c5engine"), "installed copy");
  EXPECT_TRUE(rig.Has(kUnit));
  ExpectServerData(rig);
  EXPECT_THAT(rig.EngineLog(), ::testing::Not(HasSubstr("not running")));
  ASSERT_EQ(rig.LiveStartedServers().size(), 1u);

  // Uninstall stops the server and leaves nothing of version 5.
  EXPECT_EQ(rig.Run({"Uninstall"}).output, "1");
  EXPECT_TRUE(rig.LiveStartedServers().empty());
  for (const std::string& p :
       {kSupport, kUnit, kAutostart, kKept, std::string("/Library/StartupItems/Corvane 5 Server")}) {
    EXPECT_FALSE(rig.Has(p)) << p;
  }
  EXPECT_THAT(rig.SystemctlLog(),
              HasSubstr("disable --now com.quarlant.corvane5server.service\ndaemon-reload\n"));
  // Nothing installed: nothing changes, systemd is not bothered.
  std::string calls = rig.SystemctlLog();
  EXPECT_EQ(rig.Run({"Uninstall"}).output, "1");
  EXPECT_EQ(rig.SystemctlLog(), calls);
  EXPECT_FALSE(rig.Has(kSupport));
}

// Every file below `folder` with its bytes and modification time.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    struct stat st;
    stat(entry.path().c_str(), &st);
    std::string& seen = files[entry.path()];
    seen = ReadFileOrEmpty(entry.path());
    seen += "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return files;
}

// The installed server is no set-user-id program, and an earlier install
// loses the bit. Started by any account but root where it is installed, it
// quits at once with a message, changing no file, its log included.
TEST(InstallTest, InstalledServerIsNotSetUserIdAndOtherAccountsCannotStartIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start the server as another account";
  EngineRig rig;
  rig.StartServerOnEnable();  // a stand-in, so the engine does not wait
  ASSERT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  ASSERT_EQ(chmod(rig.Path(kServer).c_str(), 04755), 0);  // as an earlier install left it
  WriteServerData(rig);
  WriteFileOrDie(rig.Path(kSupport + "/ServerLog.log"), "the last run\n");
  // nobody must reach the program, as on a real install.
  for (fs::path p = rig.Path(kSupport); p.string().size() >= rig.Path("").size(); p = p.parent_path()) {
    chmod(p.c_str(), 0755);
  }
  auto start_as_nobody = [&] {
    std::string err = rig.release() + "/../nobody.err";
    std::string command = "runuser -u nobody -- env CORVANE_ROOT='" + rig.Path("") + "' '" +
                          rig.Path(kServer) + "' >/dev/null 2>'" + err + "'";
    int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_THAT(ReadFileOrEmpty(err), HasSubstr("only root may run the installed server"));
  };
  auto before = FilesBelow(rig.Path(""));
  start_as_nobody();
  EXPECT_EQ(FilesBelow(rig.Path("")), before);

  // The same build again: the installed copy stays, its bit goes.
  ASSERT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  struct stat st;
  ASSERT_EQ(stat(rig.Path(kServer).c_str(), &st), 0);
  EXPECT_FALSE(st.st_mode & S_ISUID);
  before = FilesBelow(rig.Path(""));
  start_as_nobody();
  EXPECT_EQ(FilesBelow(rig.Path("")), before);
}

TEST(InstallTest, ReinstallOfOtherBuildKeepsServerDataByteForByteEvenWhenKilled) {
  EngineRig rig;
  rig.StartServerOnEnable();
  ASSERT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  WriteServerData(rig);
  // Only the build number decides: "570" without its carriage return is this build.
  WriteFileOrDie(rig.Path(kBuild), "570");
  WriteFileOrDie(rig.Path(kSupport + "/left by 570"), "");
  ASSERT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  EXPECT_TRUE(rig.Has(kSupport + "/left by 570"));

  WriteFileOrDie(rig.Path(kBuild), "569\r");
  // A login item of the agent that a user added, in other letter case.
  WriteFileOrDie(rig.Path("/etc/xdg/autostart/zz-mine.desktop"),
                 "[Desktop Entry]\nExec=\"" + rig.Path(kAgentTree) +
                     "/contents/macos/CORVANE 5 LOGIN ITEM\"\n");
  auto servers = rig.LiveStartedServers();
  ASSERT_EQ(servers.size(), 2u);  // one per enable so far
  EXPECT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  ExpectServerData(rig);
  EXPECT_FALSE(rig.Has(kSupport + "/left by 570"));
  EXPECT_FALSE(rig.Has("/etc/xdg/autostart/zz-mine.desktop"));
  EXPECT_EQ(rig.Read(kBuild), "570\r");
  // The old servers were killed; the new unit started one.
  auto now = rig.LiveStartedServers();
  ASSERT_EQ(now.size(), 1u);
  EXPECT_NE(now[0], servers[0]);
  EXPECT_NE(now[0], servers[1]);

  // A missing build number reinstalls too (the same build would keep the
  // data in place). Killed between the removal of the old installation and
  // the restore of the data: the next run gives them back.
  fs::remove(rig.Path(kBuild));
  rig.CrashEngineOn("daemon-reload");
  ASSERT_EQ(rig.Run({"InstallAndRun"}).signal, SIGKILL);
  EXPECT_FALSE(rig.Has(kSupport + "/settings.plist"));
  EXPECT_TRUE(rig.Has(kKept));
  EXPECT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  ExpectServerData(rig);
  // A reinstall that fails halfway still gives the data back.
  WriteFileOrDie(rig.Path(kBuild), "568\r");
  fs::remove_all(rig.release() + "/Corvane 5 Login Item.app");
  EXPECT_EQ(rig.Run({"InstallAndRun"}).output, "0");
  ExpectServerData(rig);
}

TEST(InstallTest, MissingAgentStopsBeforeTheServerAndRemoteInstallServesLocalOnly) {
  EngineRig rig;
  std::string agent = rig.release() + "/Corvane 5 Login Item.app";
  fs::rename(agent, agent + ".away");
  EngineResult r = rig.Run({"InstallAndRun"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.output, "0");
  EXPECT_EQ(rig.EngineLog(), "Failed to copy the login item because of error .\n");
  EXPECT_FALSE(rig.Has(kServer));
  EXPECT_FALSE(rig.Has(kUnit));
  EXPECT_EQ(rig.SystemctlLog(), "");

  fs::rename(agent + ".away", agent);
  fs::remove(rig.Path(kSupport + "/InstallationEngine.log"));
  EXPECT_EQ(rig.Run({"InstallAndRunRemote"}).output, "1");
  EXPECT_THAT(rig.Read(kUnit), HasSubstr("ExecStart=\"" + rig.Path(kServer) +
                                          "\" \"Corvane 5 Server\" \"local\"\n"));
  EXPECT_FALSE(rig.Has(kSupport + "/c5engine"));
  EXPECT_TRUE(rig.Has(kAgentTree));
  EXPECT_EQ(rig.Read(kBuild), "570\r");
  // It does not wait for the server.
  EXPECT_EQ(rig.EngineLog(), "Created the login item successfullly\nInstallation done !\n");
}

TEST(InstallTest, EarlierVersionsAreStoppedAndRemoved) {
  EngineRig rig;
  rig.StartServerOnEnable();
  const std::string as = "/Library/Application Support", si = "/Library/StartupItems";
  const std::string xdg = "/etc/xdg/autostart/", v4 = as + "/Corvane 4";
  const std::string v4_agent = v4 + "/Corvane 4 Login Item.app/Contents/MacOS/Corvane 4 Login Item";
  const std::string v4_unit = "/etc/systemd/system/Corvane4ServerDaemon.service";
  const std::vector<std::string> programs = {
      si + "/Corvane_Server/Corvane_Server", si + "/Corvane_3_Server/Corvane_3_Server",
      as + "/Corvane/Corvane Login Item", si + "/Corvane 4 Server/Corvane 4 Server", v4_agent};
  for (const auto& p : programs) Put(rig, p, "");
  MakeFolders(rig.Path(as + "/Corvane2"));
  Put(rig, v4 + "/InstallationEngine.log", "old log\n");
  Put(rig, v4_unit, "[Service]\n");
  Put(rig, xdg + "Corvane4LoginItem.desktop", "[Desktop Entry]\n");
  Put(rig, xdg + "a-v4.desktop", "[Desktop Entry]\nExec=\"" + rig.Path(v4_agent) + "\" --x\n");
  Put(rig, xdg + "b-other.desktop", "[Desktop Entry]\nExec=xterm\n");
  // The old folders go with DeleteObject, which TreeCopyTest shows leaves
  // what a link inside points to.
  std::vector<pid_t> old;
  for (const auto& p : programs) old.push_back(rig.SpawnNamed(p));
  pid_t bystander = rig.SpawnNamed("/opt/Corvane 6 Server");

  EXPECT_EQ(rig.Run({"InstallAndRun"}).output, "1");
  for (pid_t pid : old) EXPECT_TRUE(rig.WasKilled(pid)) << pid;
  EXPECT_EQ(kill(bystander, 0), 0);
  for (const std::string& p : {as + "/Corvane2", as + "/Corvane", si + "/Corvane_Server", v4,
                               si + "/Corvane_3_Server", si + "/Corvane 4 Server", v4_unit,
                               xdg + "Corvane4LoginItem.desktop", xdg + "a-v4.desktop"}) {
    EXPECT_FALSE(rig.Has(p)) << p;
  }
  EXPECT_TRUE(rig.Has(xdg + "b-other.desktop"));
  EXPECT_THAT(rig.SystemctlLog(), HasSubstr("disable --now Corvane4ServerDaemon.service\n"));
}

class EngineCommandTest : public ::testing::Test {
 protected:
  // The log lives in the support folder, which an installed system has.
  void SetUp() override { MakeFolders(rig_.Path(kSupport)); }
  StatusOr<Plist> PrefFile() { return ReadPlistFile(rig_.Path(kPrefs)); }
  std::optional<Plist> HostPreference(const char* key) {
    ResetRootPrefixForTesting();
    return CopyPreference(key);
  }

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
  EXPECT_EQ(*PrefFile()->AsDictionary()->Find("Non-watched account")->AsString(), "1");

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
  fs::remove_all(rig_.Path("/Library/Preferences"));
  WriteFileOrDie(rig_.Path("/Library/Preferences"), "a file in the folder's place");
  EXPECT_EQ(rig_.Run({"Non-watched_User", "eve"}).output, "0");
}

}  // namespace
}  // namespace corvane::test
