// The credit and curfew warnings on a real display: texts, full screen vs
// standard alert by preference, the standard alert's forced close, beeps.
#include <gtest/gtest.h>

#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <vector>

#include "AgentFakeWorld.h"
#include "AgentUiWindowTestSupport.h"
#include "AlertWindows.h"
#include "FullScreenCover.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
using test::SecondsSince;

QMessageBox* ShownMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

class AlertWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DISPLAY();
    // Seconds instead of a minute, beeps 4 times as often; the counting
    // is the windows' own.
    setup_ = {1800, 400, [this] { beeps_.push_back(SecondsSince(start_)); }, nullptr};
    start_ = Clock::now();
  }
  // Runs `check` once a standard alert shows, then leaves it to close by itself.
  void WhenAlertShown(std::function<void(QMessageBox*)> check) {
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [poll, check] {
      if (QMessageBox* box = ShownMessageBox()) {
        poll->deleteLater();
        check(box);
      }
    });
    poll->start(50);
  }

  AgentState state_;
  AlertSetup setup_;
  std::vector<double> beeps_;
  Clock::time_point start_;
};

TEST_F(AlertWindowsTest, FullScreenCreditWarningRedrawsFromRecordAndClosesOnClickOnly) {
  auto game = test::MakeRecord(20, "org.example.Game", "Game", 12345);
  state_.play_alerts_sound = true;
  QString first, second;
  QRect geometry;
  bool stillUpAfterAutoHideTime = false;
  setup_.on_cover_shown = [&](FullScreenCover* w) {
    if (!first.isEmpty()) return;  // the auto-hidden one below
    first = w->Text();
    geometry = w->geometry();
    test::SaveScreenshot("credit-warning-no-credit");
    game->settings.credit = 1;  // the tick changed the record meanwhile
    test::Pump(2100);  // past the (shortened) auto-hide time: it is off
    stillUpAfterAutoHideTime = w->isVisible();
    second = w->Text();
    test::SaveScreenshot("credit-warning-last-minute");
    test::Xdotool("mousemove 300 300 click 1");
  };
  AlertWindows alerts(state_, nullptr, setup_);
  alerts.ShowCreditWarning(*game, CreditWarningKind::kNoCredit);
  EXPECT_EQ(first, "Game: no time left, so Game will be closed now.");
  EXPECT_EQ(second, "Game: one minute left. Please save your work, Game will be closed in one minute.");
  EXPECT_EQ(geometry, QGuiApplication::primaryScreen()->geometry());
  EXPECT_TRUE(stillUpAfterAutoHideTime);
  ASSERT_GE(beeps_.size(), 4u);
  // The first after one interval, then one every interval.
  EXPECT_GE(beeps_[0], 0.35);
  EXPECT_LT(beeps_[0], 0.8);
  EXPECT_NEAR(beeps_[3] - beeps_[0], 1.2, 0.4);
  EXPECT_TRUE(FullScreenCover::OpenCovers().empty());

  // With "Auto Hide Alerts" it goes by itself.
  state_.auto_hide_alerts = true;
  state_.play_alerts_sound = false;
  beeps_.clear();
  start_ = Clock::now();
  alerts.ShowCreditWarning(*game, CreditWarningKind::kLastMinute);
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_TRUE(beeps_.empty());
}

// Curfews go to the blocking message unless "Don't fade screen" asks for
// the standard alert, which closes itself whatever "Auto Hide Alerts" says.
TEST_F(AlertWindowsTest, CurfewGoesToBlockingMessageOrStandardAlertWhichClosesItself) {
  auto game = test::MakeRecord(20, "org.example.Game", "Game", 30);
  std::vector<std::pair<std::string, bool>> blocking;
  AlertWindows alerts(
      state_, [&](const std::string& text, bool with_timers) { blocking.emplace_back(text, with_timers); },
      setup_);
  const std::string eight = CurfewTimeText(480);
  EXPECT_NE(eight.find('8'), std::string::npos);
  EXPECT_EQ(CurfewTimeText(-1), "");
  if (QLocale::system().language() == QLocale::C) {
    EXPECT_EQ(CurfewTimeText(1439), "23:59");
  }
  alerts.ShowCurfewWarning(true, *game, 480);
  ASSERT_EQ(blocking.size(), 1u);
  EXPECT_EQ(blocking[0].first, "Game: not allowed before " + eight + ".");
  EXPECT_TRUE(blocking[0].second);

  state_.dont_fade_screen = true;
  state_.play_alerts_sound = true;
  QStringList texts;
  QString informative;
  bool critical = false;
  WhenAlertShown([&](QMessageBox* box) {
    texts << box->text();
    informative = box->informativeText();
    critical = box->icon() == QMessageBox::Critical;
    test::SaveScreenshot("credit-warning-standard-alert");
  });
  alerts.ShowCreditWarning(*test::MakeSession(5), CreditWarningKind::kFiveMinutes);
  // Returned: what follows the warning goes ahead.
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_EQ(informative, "Click to continue");
  EXPECT_TRUE(critical);
  EXPECT_GE(beeps_.size(), 3u);  // 0.4, 0.8, 1.2, 1.6 s; a busy machine may drop one
  EXPECT_LE(beeps_.size(), 4u);
  EXPECT_EQ(ShownMessageBox(), nullptr);

  start_ = Clock::now();
  WhenAlertShown([&](QMessageBox* box) {
    texts << box->text();
    test::SaveScreenshot("curfew-warning-standard-alert");
  });
  alerts.ShowCurfewWarning(false, *game, 1439);
  EXPECT_NEAR(SecondsSince(start_), 1.8, 0.5);
  EXPECT_EQ(texts, (QStringList{"computer: five minutes left. Please save your work, your session "
                                "will be closed in five minutes.",
                                QString::fromStdString("Game: the allowed time ended at " +
                                                       CurfewTimeText(1439) + ".")}));
  EXPECT_EQ(blocking.size(), 1u);
}

}  // namespace
}  // namespace corvane
