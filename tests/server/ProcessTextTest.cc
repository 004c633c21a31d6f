// The session guard's readers of kernel texts, against what a child can put
// in them: a process name may hold ")" and blanks, and an environment may be
// padded to hide an entry.
#include <gtest/gtest.h>

#include "ProcessText.h"
#include "SessionGuard.h"

namespace corvane {
namespace {

TEST(ProcessTextTest, ProcessNamesCannotForgeStateOrSession) {
  struct Case {
    const char* stat;
    char state;
    int32_t session;
  };
  const Case cases[] = {
      {"1234 (Corvane 5 Login) S 1 1200 1200 0 -1", 'S', 1200},
      {"77 (x) R 1 1 1) T 1 77 77 0 -1", 'T', 77},  // the name is "x) R 1 1 1"
      {"77 ()) t 5 6 7 0", 't', 7},
  };
  for (const Case& c : cases) {
    auto fields = ParseProcStat(c.stat);
    ASSERT_TRUE(fields) << c.stat;
    EXPECT_EQ(fields->state, c.state) << c.stat;
    EXPECT_EQ(fields->posix_session, c.session) << c.stat;
  }
  for (const char* bad : {"", "12 (x", "12 (x) S", "12 (x) SS 1 2 3", "12 (x) S 1 2 nine"}) {
    EXPECT_FALSE(ParseProcStat(bad)) << bad;
  }
}

TEST(ProcessTextTest, EnvironmentRules) {
  std::string environ("PATH=/bin\0\0LD_PRELOAD=/x.so\0TZ=UTC", 34);
  EXPECT_EQ(SplitEnvironment(environ),
            (std::vector<std::string>{"PATH=/bin", "LD_PRELOAD=/x.so", "TZ=UTC"}));
  const std::vector<std::string> allowed = {"CORVANE_ROOT=/rig", "LD_PRELOAD=/usr/lib/vendor.so",
                                            "CORVANE_SERVICE_TYPE"};
  struct Case {
    const char* entry;
    bool allowed;
  };
  const Case cases[] = {
      {"PATH=/bin", true},
      {"CORVANE_ROOT=/rig", true},
      {"CORVANE_ROOT=/home/child/fake", false},
      {"CORVANE_ROOT", false},
      {"CORVANE_SERVICE_TYPE=_anything._tcp", true},
      {"LD_PRELOAD=/usr/lib/vendor.so", true},
      {"LD_PRELOAD=/usr/lib/vendor.so:/tmp/x.so", false},
      {"LD_LIBRARY_PATH=/tmp", false},
      {"LD_AUDIT=/tmp/a.so", false},
      {"FAKETIME=+2d", false},
      {"FAKETIME_DONT_RESET=1", false},
      {"TZ=Pacific/Kiritimati", false},
      {"QT_PLUGIN_PATH=/tmp", false},
      {"CORVANE_LOCAL_SERVER_PORT=1", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EnvironmentEntryAllowed(c.entry, allowed), c.allowed) << c.entry;
  }
}

TEST(ProcessTextTest, KernelAndLogindTexts) {
  EXPECT_EQ(ParseProcStatus("Name:\tx\nTracerPid:\t42\nUid:\t1001\t0\t0\t0\n")->tracer, 42);
  EXPECT_FALSE(ParseProcStatus("Name:\tx\nUid:\t1001\t0\t0\t0\n"));
  EXPECT_EQ(UnifiedCgroupPath("1:name=systemd:/a\n0::/user.slice/session-3.scope\n"),
            "/user.slice/session-3.scope");
  EXPECT_EQ(SocketInodeOfLink("socket:[4242]"), 4242u);
  EXPECT_FALSE(SocketInodeOfLink("pipe:[4242]"));
  EXPECT_FALSE(SocketInodeOfLink("socket:[]"));
  EXPECT_EQ(StateFileValue("UID=1\nLEADERX=9\nLEADER=77\n", "LEADER"), "77");
  EXPECT_EQ(ParsePidList("12\n-3\nx\n0\n45"), (std::vector<int32_t>{12, 45}));
}

}  // namespace
}  // namespace corvane
