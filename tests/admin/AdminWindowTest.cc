// The Corvane 5 Admin window on the display in DISPLAY against the real
// server in a private root: editors round-trip, grants, refusals, the chart,
// and screenshots of each page under build/screenshots/.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTabWidget>
#include <QValueAxis>
#include <gtest/gtest.h>

#include "AbsoluteTime.h"
#include "AddApplicationDialog.h"
#include "AdminMainWindow.h"
#include "AppNames.h"
#include "ClientTestSupport.h"
#include "DisplayApp.h"
#include "LimitsPage.h"
#include "Paths.h"
#include "PlistFile.h"
#include "PlistXml.h"
#include "ServerBar.h"
#include "ServerBrowsing.h"
#include "ServerHarness.h"
#include "Text.h"
#include "UsagePage.h"

// A case names only the fields it sets; GCC would warn about every other one.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace corvane::admin {
namespace {

constexpr const char* kRefusalPortVariable = "CORVANE_TEST_REFUSAL_PORT";
const std::string kComputer(kComputerAppKey);
const std::string kAccount(kGlobalSettingsAppKey);

QApplication* App() { return test::DisplayApp("admin_window_tests"); }

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

std::unique_ptr<AdminMainWindow> OpenWindow(int port) {
  auto w = std::make_unique<AdminMainWindow>();
  w->resize(1280, 800);
  w->show();
  Settle();
  EXPECT_TRUE(w->server_bar()->ConnectTo(QString("127.0.0.1:%1").arg(port)))
      << w->server_bar()->state_text().toStdString();
  w->AddChild("alice");
  Settle();
  return w;
}

void Click(QWidget* w, const char* name) {
  auto* b = w->findChild<QPushButton*>(name);
  ASSERT_NE(b, nullptr) << name;
  b->click();
  Settle();
}

void Screenshot(QWidget* w, const std::string& name) {
  Settle();
  std::string folder = CORVANE_BINARY_DIR "/screenshots";
  test::MakeFolders(folder);
  EXPECT_TRUE(w->grab().save(QString::fromStdString(folder + "/" + name + ".png")));
}

class AdminWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (App() == nullptr) GTEST_SKIP() << "no X display answers: run scripts/test-env start";
    if (!test::DnsSdReachable()) GTEST_SKIP() << test::kNoDnsSd;
  }
  void StartServer() {
    server_ = std::make_unique<test::ServerProcess>(root_);
    ASSERT_TRUE(server_->Start());
  }
  PlistDictionary Stored(const std::string& app) { return server_->StoredSettings("alice", app); }
  int64_t Credit() { return NumberValue(Stored(kComputer).Find(kKeyCredit), 64); }
  // c5admin against the test's server.
  test::RunResult Admin(std::vector<std::string> args) {
    args.insert(args.begin(), {CORVANE_BINARY_DIR "/bin/c5admin", "--server",
                               "127.0.0.1:" + std::to_string(server_->port())});
    return test::RunProgram(args);
  }

  test::TempRoot root_;
  std::unique_ptr<test::ServerProcess> server_;
};

TEST_F(AdminWindowTest, EditorsRoundTripAndGrantsAddExactly) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  auto w = OpenWindow(server_->port());
  LimitsPage* page = w->limits();
  ChildLimits l{.watched = true, .credit = 45, .weekday_minutes = 120, .weekend_minutes = 95,
                .carry_over = true, .weekday_curfew = {true, 7 * 60 + 30, 20 * 60},
                .weekend_curfew = {false, 0, kDefaultWindowStop}};
  page->SelectApp(kComputer);
  page->SetLimits(l);
  Click(page, "save");
  EXPECT_EQ(page->message(), T("Admin.Limits.Stored"));
  test::RunResult shown = Admin({"show", "alice", "computer"});
  EXPECT_NE(shown.out.find("computer  yes      45m     2h       1h 35m   on          07:30-20:00     off"),
            std::string::npos)
      << shown.out;

  ChildLimits quota{.quota_on = true, .quota = 3, .quota_unit = SizeUnit::kGB};
  page->SelectApp(kAccount);
  page->SetLimits(quota);
  Click(page, "save");
  EXPECT_EQ(NumberValue(Stored(kAccount).Find(kKeyDqValue), 64), 3072);

  page->AddApp("org.example.Game");
  ChildLimits game = l;
  game.weekend_curfew = {true, 9 * 60, 24 * 60};  // until midnight
  page->SetLimits(game);
  Click(page, "save");
  EXPECT_NE(Admin({"show", "alice", "org.example.Game"}).out.find("09:00-24:00"), std::string::npos);

  // Reopened: the editors hold what was saved.
  w = OpenWindow(server_->port());
  page = w->limits();
  ASSERT_EQ(page->apps().size(), 3u) << "computer, account, and the enabled game";
  page->SelectApp(kComputer);
  ChildLimits back = page->Limits();
  EXPECT_EQ(back.credit, 45);
  EXPECT_EQ(back.weekday_minutes, 120);
  EXPECT_EQ(back.weekend_minutes, 95);
  EXPECT_TRUE(back.carry_over);
  EXPECT_EQ(back.weekday_curfew.start, 450);
  EXPECT_EQ(back.weekday_curfew.stop, 1200);
  page->SelectApp("org.example.Game");
  EXPECT_EQ(page->Limits().weekend_curfew.stop, 1440);
  page->SelectApp(kAccount);
  EXPECT_EQ(page->Limits().quota, 3);
  EXPECT_EQ(page->Limits().quota_unit, SizeUnit::kGB);
  Screenshot(w.get(), "limits-account");

  page->SelectApp(kComputer);
  int64_t credit = Credit();
  for (auto [button, minutes] : {std::pair{"grant15", 15}, {"grant30", 30}, {"grant60", 60},
                                 {"grantCustom", 10}}) {
    Click(page, button);
    EXPECT_EQ(Credit(), credit + minutes) << button;
    EXPECT_EQ(page->Limits().credit, credit + minutes) << "shown at once: " << button;
    credit = Credit();
  }
  Screenshot(w.get(), "limits");

  // A curfew that ends before it starts is not sent.
  std::string before = server_->DataFile("settings.plist");
  ChildLimits bad = page->Limits();
  bad.weekday_curfew = {true, 20 * 60, 8 * 60};
  page->SetLimits(bad);
  Click(page, "save");
  EXPECT_EQ(page->message(), T("Admin.Check.WeekdayCurfew")) << page->message().toStdString();
  EXPECT_EQ(server_->DataFile("settings.plist"), before);

  // Without a mouse: Alt+G reaches the first grant button, Space presses it.
  QApplication::setActiveWindow(w.get());
  QTest::keyClick(w.get(), Qt::Key_G, Qt::AltModifier);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "grant15");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  Settle();
  EXPECT_EQ(Credit(), credit + 15) << "granted from the keyboard";

  std::vector<DesktopEntry> installed = {{.id = "org.example.AppA", .name = "Chess"},
                                         {.id = "org.example.AppB", .name = "Paint"},
                                         {.id = "org.example.AppC", .name = "Sketchbook"}};
  AddApplicationDialog dialog(installed, w.get());
  dialog.resize(520, 560);
  dialog.show();
  dialog.filter()->setText("ch");
  Screenshot(&dialog, "add-application");
}

TEST_F(AdminWindowTest, ChartBarsFollowTheSeededMonth) {
  // Thirty days of use, 10 more minutes each day back, as the server's
  // GetStats gives them.
  PlistDictionary days;
  std::vector<std::string> keys;
  auto today = LocalDateOf(AbsoluteTimeFromUnix(static_cast<double>(time(nullptr))));
  for (int back = 0; back < 30; ++back) {
    auto t = AbsoluteTimeOfLocal(today->year, today->month, today->day - back, 12, 0, 0);
    keys.insert(keys.begin(), DayKey(*t));
    if (back % 7 != 3) days.Set(DayKey(*t), Plist::Integer(10 * back + 5));
  }
  PlistDictionary app, user, stats;
  app.Set(kStatsKey, Plist::Dictionary(days));
  user.Set(kComputer, Plist::Dictionary(app));
  stats.Set("alice", Plist::Dictionary(user));
  test::MakeFolders(root_.Path(std::string(kSupportFolder)));
  test::WriteFileOrDie(root_.Path(std::string(kStatsFile)), test::PlistXml(Plist::Dictionary(stats)));
  ASSERT_NO_FATAL_FAILURE(StartServer());

  // The server is listed by DNS-SD with the name of its host.
  std::vector<FoundServer> found = BrowseAllServers(2.0);
  EXPECT_TRUE(std::any_of(found.begin(), found.end(), [&](const FoundServer& s) {
    return s.port == server_->port() && !s.host_name.empty() && s.address == "127.0.0.1";
  })) << found.size() << " servers found";

  auto w = OpenWindow(server_->port());
  w->pages()->setCurrentIndex(1);
  UsagePage* usage = w->usage();
  for (UsageSpan span : {UsageSpan::kWeek, UsageSpan::kMonth}) {
    usage->ShowApp(kComputer, span);
    QBarSet* bars = usage->bars();
    size_t n = static_cast<size_t>(span);
    ASSERT_EQ(static_cast<size_t>(bars->count()), n);
    qreal most = 0;
    for (size_t i = 0; i < n; ++i) {
      int64_t expected = NumberValue(days.Find(keys[30 - n + i]), 32);  // 0 for a day not seeded
      EXPECT_EQ(bars->at(static_cast<int>(i)), expected) << "day " << i;
      most = std::max(most, bars->at(static_cast<int>(i)));
    }
    auto axes = usage->chart()->axes(Qt::Vertical);
    ASSERT_EQ(axes.size(), 1);
    EXPECT_GE(static_cast<QValueAxis*>(axes[0])->max(), most) << "no bar above the chart";
    // Pointing at the newest bar shows its date and value.
    emit bars->hovered(true, static_cast<int>(n) - 1);
    EXPECT_EQ(usage->findChild<QLabel*>("usageHover")->text(),
              TF("Admin.Usage.Hover", {QString::fromStdString(usage->days().back().date),
                                       Duration(bars->at(static_cast<int>(n) - 1))}));
    Screenshot(w.get(), span == UsageSpan::kWeek ? "usage-week" : "usage-month");
  }
  // A dark desktop: the chart and the texts follow its palette.
  QPalette light = QApplication::palette(), dark = light;
  for (auto [role, color] : {std::pair{QPalette::Window, QColor(45, 45, 48)},
                             {QPalette::WindowText, QColor(230, 230, 230)},
                             {QPalette::Base, QColor(30, 30, 32)},
                             {QPalette::Text, QColor(230, 230, 230)},
                             {QPalette::Button, QColor(60, 60, 64)},
                             {QPalette::ButtonText, QColor(230, 230, 230)},
                             {QPalette::PlaceholderText, QColor(150, 150, 150)}}) {
    dark.setColor(role, color);
  }
  usage->ShowApp(kComputer, UsageSpan::kWeek);
  QApplication::setPalette(dark);
  Screenshot(w.get(), "usage-week-dark");
  QApplication::setPalette(light);
  usage->ShowApp(kComputer, UsageSpan::kMonth);

  std::string png = root_.path() + "/usage.png", svg = root_.path() + "/usage.svg";
  EXPECT_TRUE(usage->ExportPng(QString::fromStdString(png)));
  EXPECT_TRUE(usage->ExportSvg(QString::fromStdString(svg)));
  EXPECT_EQ(test::ReadFileOrEmpty(png).substr(1, 3), "PNG");
  EXPECT_NE(test::ReadFileOrEmpty(svg).find("data-minutes=\"295\""), std::string::npos);
}

// As nobody, who may not change settings: the refusal is shown, the server
// stays connected, nothing is stored. The test runs again as nobody to drive
// the window, told the server's port.
TEST_F(AdminWindowTest, RefusedChangeShowsTheWayInAndStoresNothing) {
  if (const char* port = std::getenv(kRefusalPortVariable)) {
    auto w = OpenWindow(std::atoi(port));
    LimitsPage* page = w->limits();
    page->SelectApp(kComputer);
    ChildLimits l = page->Limits();
    EXPECT_EQ(l.credit, 60) << "shows the stored credit";
    l.credit = 600;
    page->SetLimits(l);
    Click(page, "save");
    EXPECT_EQ(page->message(), T("Admin.Refused")) << "save refused in plain words";
    EXPECT_TRUE(w->server_bar()->connected()) << "a refusal is not a lost connection";
    Click(page, "grant30");
    EXPECT_EQ(page->message(), T("Admin.Refused")) << "grant refused";
    Screenshot(w.get(), "refused");
    return;
  }
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the server runs as root, the window as nobody";
  ASSERT_NO_FATAL_FAILURE(StartServer());
  ASSERT_EQ(Admin({"set", "alice", "computer", "--enable", "--credit", "1h"}).status, 0);
  std::string before = server_->DataFile("settings.plist");
  // The window run as nobody leaves its screenshot beside the others.
  test::MakeFolders(CORVANE_BINARY_DIR "/screenshots");
  chmod(CORVANE_BINARY_DIR "/screenshots", 0777);
  unlink(CORVANE_BINARY_DIR "/screenshots/refused.png");
  test::RunResult r = test::RunProgram(
      {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
       CORVANE_BINARY_DIR "/tests/admin_window_tests",
       "--gtest_filter=AdminWindowTest.RefusedChangeShowsTheWayInAndStoresNothing"},
      {std::string(kRefusalPortVariable) + "=" + std::to_string(server_->port())});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("[  PASSED  ] 1 test."), std::string::npos) << "not skipped: " << r.out;
  EXPECT_EQ(server_->DataFile("settings.plist"), before);
}

}  // namespace
}  // namespace corvane::admin
