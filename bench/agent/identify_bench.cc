// What identifying one new process costs against a hundred installed
// entries: the first sight of a renamed copy of a program (its bytes and the
// entry's program hashed) against the same process seen again (digests
// remembered), and the reload of the entries the agent does on each launch.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ApplicationIdentity.h"

namespace {

namespace fs = std::filesystem;

struct Machine {
  Machine() {
    std::string pattern = (fs::temp_directory_path() / "identify-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    std::string xterm = corvane::ResolveProgram("xterm", corvane::ProgramSearchPath());
    fs::create_directories(root + "/bin");
    fs::create_directories(root + "/share/applications");
    for (int i = 0; i < 100; ++i) {
      std::string name = "program" + std::to_string(i);
      std::ofstream(root + "/bin/" + name) << "program number " << i << "\n";
      chmod((root + "/bin/" + name).c_str(), 0755);
      std::ofstream(root + "/share/applications/" + name + ".desktop")
          << "[Desktop Entry]\nType=Application\nName=Program " << i << "\nExec=" << name
          << " %U\nStartupWMClass=Program" << i << "\n";
    }
    fs::copy_file(xterm, root + "/bin/game");
    std::ofstream(root + "/share/applications/game.desktop")
        << "[Desktop Entry]\nType=Application\nName=Game\nExec=game\n";
    fs::copy_file(xterm, root + "/homework");
    setenv("XDG_DATA_HOME", (root + "/none").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root + "/share").c_str(), 1);
    entries = corvane::LoadDesktopEntries();
    search_path = root + "/bin:" + corvane::ProgramSearchPath();
    facts = {root + "/homework", root + "/homework", {root + "/homework", "-class", "Other"}, ""};
  }
  ~Machine() { fs::remove_all(root); }
  std::string root, search_path;
  std::vector<corvane::DesktopEntry> entries;
  corvane::ProcessFacts facts;
};

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

void Identify(benchmark::State& state, corvane::ApplicationCatalogue& catalogue) {
  corvane::ApplicationIdentity identity;
  if (!catalogue.Identify(TheMachine().facts, {"", "Other", ""}, &identity) ||
      identity.keys.front() != "game") {
    state.SkipWithError("the copy was not known as the game");
  }
}

void BM_IdentifyFirstSight(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    corvane::ApplicationCatalogue catalogue;
    catalogue.Load(TheMachine().entries, TheMachine().search_path);
    state.ResumeTiming();
    Identify(state, catalogue);
  }
}
BENCHMARK(BM_IdentifyFirstSight)->Unit(benchmark::kMicrosecond);

void BM_IdentifyDigestsRemembered(benchmark::State& state) {
  corvane::ApplicationCatalogue catalogue;
  catalogue.Load(TheMachine().entries, TheMachine().search_path);
  Identify(state, catalogue);
  for (auto _ : state) Identify(state, catalogue);
  if (catalogue.digests().files_hashed() != 2) state.SkipWithError("hashed more than twice");
}
BENCHMARK(BM_IdentifyDigestsRemembered)->Unit(benchmark::kMicrosecond);

void BM_LoadHundredEntries(benchmark::State& state) {
  corvane::ApplicationCatalogue catalogue;
  for (auto _ : state) catalogue.Load(TheMachine().entries, TheMachine().search_path);
}
BENCHMARK(BM_LoadHundredEntries)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
