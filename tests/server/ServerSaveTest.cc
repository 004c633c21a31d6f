// The saved files against a full serialisation of the trees, after random
// requests: keeping each user's XML between saves must never change a byte.
#include <random>

#include <gtest/gtest.h>

#include "DispatchCommand.h"
#include "Paths.h"
#include "PlistXml.h"
#include "ServerHarness.h"
#include "ServerLog.h"
#include "SettingsAndStats.h"

namespace corvane::test {
namespace {

class ServerSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DisableLogFileForTesting();
    SetConsoleStream(nullptr);
    MakeFolders(root_.Path(std::string(kSupportFolder)));
  }
  std::string File(std::string_view path) { return ReadFileOrEmpty(root_.Path(std::string(path))); }
  // A fresh server state loaded from the files, on a clock the test moves.
  void Load() {
    data_ = MakeServerData();
    data_.now = [this] { return now_; };
    LoadSettingsAndStats(&data_);
  }
  void ExpectFilesMatchTrees(int step) {
    // Not ASSERT_EQ: the files are too long to print.
    ASSERT_TRUE(File(kSettingsFile) == PlistXml(data_.settings)) << "settings, request " << step;
    ASSERT_TRUE(File(kStatsFile) == PlistXml(data_.stats)) << "stats, request " << step;
  }
  TempRoot root_;
  ServerData data_;
  AbsoluteTime now_ = 800000000;  // 2026
};

TEST_F(ServerSaveTest, FilesEqualAFullSerialisationAfterRandomRequests) {
  // Levels that are not dictionaries, to be replaced by the first writer.
  PlistDictionary stats, settings, odd_user;
  stats.Set("u1", Plist::String("not a dictionary"));
  odd_user.Set("a0", Plist::Integer(7));
  settings.Set("u2", Plist::Dictionary(odd_user));
  WriteFileOrDie(root_.Path(std::string(kStatsFile)), PlistXml(Plist::Dictionary(stats)));
  WriteFileOrDie(root_.Path(std::string(kSettingsFile)), PlistXml(Plist::Dictionary(settings)));
  Load();

  const std::string users[] = {"u0", "u1", "u2", "a user name longer than fifteen bytes", "u4"};
  const std::string apps[] = {"a0", "com.apple.loginwindow", "org.example.app"};
  std::mt19937 random(20260101);
  for (int step = 0; step < 400; ++step) {
    const std::string& user = users[random() % std::size(users)];
    const std::string& app = apps[random() % std::size(apps)];
    Bytes request;
    bool saves = true;  // a refill alone reaches the files with the next save
    switch (random() % 5) {
      case 0: {
        AppSettings s = SampleRecord(static_cast<int32_t>(random() % 100), random() % 2 != 0);
        s.NextAutoUpdate = now_ + static_cast<double>(random() % 7200) - 3600;
        request = SettingsRequest(kSaveCredit, user, app, s);
        break;
      }
      case 1:
        request = UserAppRequest(kAutoUpdateCredit, user, app);
        saves = false;
        break;
      case 2:
        request = UserAppRequest(kGetCredit, user, app);
        saves = false;
        break;
      default: request = UserAppRequest(kMinuteUsed, user, app);
    }
    DispatchCommand(data_, request, {true, {}, {}, nullptr});
    SaveIfPending(data_);
    now_ += static_cast<double>(random() % 20000);  // a new day now and then
    if (saves) ExpectFilesMatchTrees(step);
    if (saves && step > 100 && random() % 50 == 0) Load();  // as a restart reads them
  }
}

}  // namespace
}  // namespace corvane::test
