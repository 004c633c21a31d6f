// Reading the client list with 20 windows: every request of every window
// sent before the first reply is awaited (ClientWindows), against the same
// requests awaited one by one (four round trips per window). Needs DISPLAY
// with a window manager; xeyes windows are started and killed here.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Platform/X11/ApplicationWindows.h"

extern char** environ;

namespace corvane {
namespace {

constexpr int kWindows = 20;

void ClientWindowsBatched(benchmark::State& state) {
  auto windows = ApplicationWindows::Open();
  if (windows == nullptr) return state.SkipWithError("no display");
  for (auto _ : state) benchmark::DoNotOptimize(windows->ClientWindows());
}
BENCHMARK(ClientWindowsBatched)->Unit(benchmark::kMicrosecond);

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  xcb_atom_t atom = r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return atom;
}

void ClientWindowsOneByOne(benchmark::State& state) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return state.SkipWithError("no display");
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_atom_t list = Atom(c, "_NET_CLIENT_LIST"), pid = Atom(c, "_NET_WM_PID"),
             gtk = Atom(c, "_GTK_APPLICATION_ID"), utf8 = Atom(c, "UTF8_STRING");
  for (auto _ : state) {
    xcb_get_property_reply_t* l = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, list, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    auto* ids = static_cast<xcb_window_t*>(xcb_get_property_value(l));
    for (int i = 0; i < xcb_get_property_value_length(l) / 4; ++i) {
      xcb_res_client_id_spec_t spec{ids[i], XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
      std::free(xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr));
      using Request = std::pair<xcb_atom_t, xcb_atom_t>;
      for (auto [atom, type] : {Request{pid, XCB_ATOM_CARDINAL},
                                Request{XCB_ATOM_WM_CLASS, XCB_ATOM_STRING}, Request{gtk, utf8}}) {
        std::free(xcb_get_property_reply(
            c, xcb_get_property(c, 0, ids[i], atom, type, 0, 256), nullptr));
      }
    }
    std::free(l);
  }
  xcb_disconnect(c);
}
BENCHMARK(ClientWindowsOneByOne)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  std::vector<pid_t> children;
  if (std::getenv("DISPLAY") != nullptr) {
    char* args[] = {const_cast<char*>("xeyes"), nullptr};
    for (int i = 0; i < corvane::kWindows; ++i) {
      pid_t pid;
      if (posix_spawnp(&pid, "xeyes", nullptr, nullptr, args, environ) == 0) children.push_back(pid);
    }
    auto windows = corvane::ApplicationWindows::Open();
    for (int i = 0; i < 100 && windows != nullptr &&
                    windows->ClientWindows().size() < static_cast<size_t>(corvane::kWindows);
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  for (pid_t pid : children) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return 0;
}
