// The credit strip on a real display: text, four-pass life, click-through.
#include "CreditStrip.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTimer>

#include "AgentUiTestRecords.h"
#include "AgentUiWindowTestSupport.h"

namespace corvane {
namespace {

// A window under the strip that counts the clicks it gets.
class ClickCounter : public QLineEdit {
 public:
  int clicks = 0;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    ++clicks;
    QLineEdit::mousePressEvent(event);
  }
};

TEST(CreditStripTest, FrontApplicationOrComputerForFourPassesClicksGoThrough) {
  SKIP_WITHOUT_DISPLAY();
  AgentState state;
  state.watchedApps = {test::MakeSession(30), test::MakeRecord(20, "org.example.Game", "Game", 75)};
  int32_t front = 20;
  CreditStrip strip(state, [&] { return front; });

  ClickCounter below;
  below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  below.setGeometry(0, 0, 600, 120);
  below.show();
  below.activateWindow();
  ASSERT_TRUE(test::WaitUntil([&] { return below.hasFocus(); }));

  // One pass per second, as the tick drives it.
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { strip.TickCreditStrip(); });
  const auto start = std::chrono::steady_clock::now();
  strip.ShowCreditStrip();
  tick.start(1000);
  ASSERT_TRUE(test::WaitUntil([&] { return strip.isVisible(); }));
  EXPECT_EQ(strip.Text(), "Game: 1 hour 15 minutes left");
  EXPECT_EQ(strip.geometry().topLeft(), QGuiApplication::primaryScreen()->geometry().topLeft());
  EXPECT_EQ(strip.width(), QGuiApplication::primaryScreen()->geometry().width());
  test::Pump(300);
  test::SaveScreenshot("credit-strip");
  EXPECT_TRUE(below.hasFocus()) << "the strip took the focus";
  test::Xdotool("mousemove 300 10 click 1");
  EXPECT_TRUE(test::WaitUntil([&] { return below.clicks == 1; }, 2000)) << "the click stopped at the strip";

  front = 99;  // an unwatched application came to the front
  strip.RefreshCreditStrip();
  EXPECT_EQ(strip.Text(), "computer: 30 minutes left");

  // The hot key again two seconds in does not extend the life.
  ASSERT_TRUE(test::WaitUntil([&] { return strip.stripCountdown() == 2; }));
  strip.ShowCreditStrip();
  ASSERT_TRUE(test::WaitUntil([&] { return !strip.isVisible(); }, 6000));
  EXPECT_NEAR(test::SecondsSince(start), 4.3, 0.6);

  state.watchedApps.clear();
  strip.ShowCreditStrip();
  EXPECT_EQ(strip.Text(), "Not watching");
  EXPECT_EQ(strip.stripCountdown(), 4);
}

}  // namespace
}  // namespace corvane
