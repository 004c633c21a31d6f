// Window watching, identification and the login session against real
// windows: xterm and xeyes under Xvfb with a window manager, with
// desktop entries in a temporary data folder.
#include <poll.h>
#include <systemd/sd-login.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include "ApplicationIdentity.h"
#include "ClientTestSupport.h"
#include "Platform/X11/ApplicationWindows.h"
#include "Platform/Sessions/LoginSession.h"
#include "Platform/System/ProcessIdentity.h"

namespace corvane {
namespace {

using test::WaitFor;

class ApplicationWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == 0) GTEST_SKIP() << "no X display";
    if (!test::WaitForCommand("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'",
                              true, 1)) {
      GTEST_SKIP() << "no window manager runs on " << display;
    }
    windows_ = ApplicationWindows::Open();
    ASSERT_NE(windows_, nullptr);
    windows_->DrainEvents();
    test::MakeFolders(root_.path() + "/share/applications");
    for (const char* p : {"xterm", "xeyes"}) {
      test::WriteFileOrDie(root_.path() + "/share/applications/" + p + ".desktop",
                           std::string("[Desktop Entry]\nType=Application\nName=Test ") + p +
                               "\nExec=" + p + "\n");
    }
    setenv("XDG_DATA_HOME", (root_.path() + "/none").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root_.path() + "/share").c_str(), 1);
    catalogue_.Load(LoadDesktopEntries(), ProgramSearchPath());
  }
  void TearDown() override {
    for (pid_t pid : children_) test::KillAndReap(pid);
  }
  pid_t Start(const std::vector<std::string>& argv) {
    children_.push_back(test::SpawnProcess(argv));
    return children_.back();
  }
  // The descriptor becomes readable and DrainEvents reports a change.
  bool ChangeSignalled() {
    return WaitFor([&] {
      pollfd p{windows_->EventDescriptor(), POLLIN, 0};
      return poll(&p, 1, 0) == 1 && windows_->DrainEvents();
    });
  }
  std::optional<ClientWindow> WindowOf(pid_t pid) {
    for (const ClientWindow& w : windows_->ClientWindows()) {
      if (w.pid == pid) return w;
    }
    return std::nullopt;
  }
  std::optional<ClientWindow> WaitForWindowOf(pid_t pid) {
    std::optional<ClientWindow> found;
    WaitFor([&] { return (found = WindowOf(pid)).has_value(); });
    return found;
  }
  std::string Identify(pid_t pid, const ClientWindow& w) {
    ApplicationIdentity id;
    if (!catalogue_.Identify(pid, {w.wm_instance, w.wm_class, w.gtk_application_id, w.desktop_part},
                             &id)) {
      return "(none)";
    }
    std::string keys;
    for (const std::string& key : id.keys) keys += key + " / ";
    return keys + id.names.front();
  }

  test::TempRoot root_;
  std::unique_ptr<ApplicationWindows> windows_;
  ApplicationCatalogue catalogue_;
  std::vector<pid_t> children_;
};

// Each window with the pid the X server knows and its entry's key (the key
// following a renamed copy's bytes is the identity test's); a program no
// entry names is one of the other applications, the desktop's own panel
// none.
TEST_F(ApplicationWindowsTest, ListsWindowsWithTheServersPidIdentifiesAndSignalsChanges) {
  pid_t term = Start({"xterm", "-e", "sleep", "60"});
  EXPECT_TRUE(ChangeSignalled());
  pid_t eyes = Start({"xeyes"});
  std::optional<ClientWindow> t = WaitForWindowOf(term), e = WaitForWindowOf(eyes);
  ASSERT_TRUE(t && e) << "a test window did not appear with its pid";
  EXPECT_EQ(t->wm_instance + "/" + t->wm_class, "xterm/XTerm");
  EXPECT_EQ(e->wm_class, "XEyes");
  EXPECT_EQ(Identify(term, *t), "xterm / Test xterm");
  EXPECT_EQ(Identify(eyes, *e), "xeyes / Test xeyes");
  EXPECT_EQ(Identify(getpid(), ClientWindow{}),
            "com.quarlant.otherApps / client_platform_tests");
  for (const ClientWindow& w : windows_->ClientWindows()) {
    if (w.desktop_part) {
      EXPECT_EQ(Identify(w.pid, w), "(none)") << w.wm_class;
    }
  }

  // The pid a client writes on a window is not believed; hostile property
  // values are cut or ignored.
  std::string id = std::to_string(t->window);
  ASSERT_EQ(system(("xprop -id " + id + " -f _NET_WM_PID 32c -set _NET_WM_PID " +
                    std::to_string(getpid()) + " && xprop -id " + id +
                    " -f WM_CLASS 32c -set WM_CLASS 1,2,3 && xprop -id " + id +
                    " -f _GTK_APPLICATION_ID 8u -set _GTK_APPLICATION_ID " +
                    std::string(5000, 'g')).c_str()), 0);
  t = WindowOf(term);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->wm_class, "");
  EXPECT_EQ(t->gtk_application_id, std::string(1024, 'g'));

  windows_->DrainEvents();
  test::KillAndReap(eyes);
  EXPECT_TRUE(ChangeSignalled());
  EXPECT_TRUE(WaitFor([&] { return !WindowOf(eyes); }));
  EXPECT_EQ(Identify(eyes, *e), "(none)");
}

TEST_F(ApplicationWindowsTest, FullScreenOrAnotherClientsKeyboardGrabCaptures) {
  pid_t term = Start({"xterm", "-e", "sleep", "60"});
  ASSERT_TRUE(WaitForWindowOf(term));
  bool captured = true;
  ASSERT_TRUE(WaitFor([&] { return windows_->ActiveWindowPid(&captured) == term; }));
  EXPECT_FALSE(captured);

  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  free(xcb_grab_keyboard_reply(c, xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                               nullptr));
  EXPECT_EQ(windows_->ActiveWindowPid(&captured), term);
  EXPECT_TRUE(captured);
  xcb_disconnect(c);

  pid_t full = Start({"xterm", "-fullscreen", "-e", "sleep", "60"});
  EXPECT_TRUE(WaitFor([&] { return windows_->ActiveWindowPid(&captured) == full && captured; }));
}

TEST(LoginSessionTest, PosixSessionLeaderAndRealUserIDs) {
  EXPECT_EQ(ProcessUserID(getpid()), static_cast<int64_t>(getuid()));
  EXPECT_EQ(CurrentUserID(), static_cast<int64_t>(getuid()));
  EXPECT_EQ(ProcessUserID(0), -1);
  EXPECT_EQ(ProcessUserID(std::numeric_limits<int32_t>::max()), -1);
  if (getuid() == 0) {
    pid_t other = test::SpawnProcess({"setpriv", "--reuid=65534", "--regid=65534",
                                      "--clear-groups", "sleep", "10"});
    EXPECT_TRUE(WaitFor([&] { return ProcessUserID(other) == 65534; }, 5));
    test::KillAndReap(other);
  }
  char* session = nullptr;
  if (sd_pid_get_session(0, &session) >= 0) {
    free(session);
    GTEST_SKIP() << "this test runs in a logind session";
  }
  EXPECT_TRUE(IsSessionActive());
  // A child that leads a session of its own is that session's leader.
  pid_t leader =
      test::ForkChild({.own_session = true}, [] { return SessionLeaderPid() == getpid() ? 0 : 1; });
  EXPECT_EQ(test::WaitExit(leader), 0);
  EXPECT_EQ(SessionLeaderPid(), getsid(0));
}

}  // namespace
}  // namespace corvane
