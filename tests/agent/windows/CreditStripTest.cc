// The credit strip on a real display: what the window adds to the strip's
// text and life is its place, a fade after four passes of a running tick, a
// redraw when the front changes, and clicks and focus left to what is under.
#include "CreditStrip.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTimer>

#include "AgentFakeWorld.h"
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
  state.watched_apps = {test::MakeSession(30), test::MakeRecord(20, "org.example.Game", "Game", 75)};
  test::FakeWorld world;  // the machine: which application is in front
  world.front_pid = 20;
  state.system = &world;
  CreditStrip strip(state);
  ClickCounter below;
  below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  below.setGeometry(0, 0, 600, 120);
  below.show();
  below.activateWindow();
  ASSERT_TRUE(test::WaitUntil([&] { return below.hasFocus(); }));

  QTimer tick;  // one pass per second, as the tick drives it
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
  world.front_pid = 99;  // an unwatched application came to the front
  strip.RefreshCreditStrip();
  EXPECT_EQ(strip.Text(), "computer: 30 minutes left");
  ASSERT_TRUE(test::WaitUntil([&] { return !strip.isVisible(); }, 6000));
  EXPECT_NEAR(test::SecondsSince(start), 4.3, 0.6);
}

}  // namespace
}  // namespace corvane
