// Copying a folder tree the size of a release (a few large programs, many
// small files, links, attributes) with CopyObject, against "cp -a" on the
// same tree as the reference. Delete is measured on the copies.
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "TreeCopy.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
  std::string top;
  Tree() {
    std::string pattern = (fs::temp_directory_path() / "corvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    top = pattern;
    std::string src = top + "/src";
    for (int d = 0; d < 20; ++d) {
      std::string folder = src + "/folder" + std::to_string(d) + "/inner";
      fs::create_directories(folder);
      for (int f = 0; f < 25; ++f) {
        std::ofstream(folder + "/file" + std::to_string(f)) << std::string(3000 + f * 97, 'x');
      }
      fs::create_symlink("file0", folder + "/link");
      setxattr((folder + "/file1").c_str(), "user.tag", "v", 1, 0);
    }
    for (int p = 0; p < 3; ++p) {
      std::ofstream(src + "/program" + std::to_string(p)) << std::string(4 << 20, 'p');
    }
    fs::create_directories(top + "/dest");
  }
  ~Tree() { fs::remove_all(top); }
};

Tree& SharedTree() {
  static Tree tree;
  return tree;
}

// Times `copy` of the source tree into dest; the copy is removed untimed.
template <typename Copy>
void TimeCopies(benchmark::State& state, Copy copy, const char* failure) {
  Tree& t = SharedTree();
  for (auto _ : state) {
    if (!copy(t)) state.SkipWithError(failure);
    state.PauseTiming();
    corvane::DeleteObject(t.top + "/dest/src");
    state.ResumeTiming();
  }
}

// Times `remove` of a copy of the source tree, made untimed.
template <typename Remove>
void TimeDeletes(benchmark::State& state, Remove remove, const char* failure) {
  Tree& t = SharedTree();
  for (auto _ : state) {
    state.PauseTiming();
    corvane::CopyObject(t.top + "/src", t.top + "/dest");
    state.ResumeTiming();
    if (!remove(t)) state.SkipWithError(failure);
  }
}

void BM_CopyObject(benchmark::State& state) {
  TimeCopies(
      state,
      [](Tree& t) { return corvane::CopyObject(t.top + "/src", t.top + "/dest") == 0; },
      "copy failed");
}
BENCHMARK(BM_CopyObject)->Unit(benchmark::kMillisecond);

void BM_CpArchive(benchmark::State& state) {
  std::string command = "cp -a '" + SharedTree().top + "/src' '" + SharedTree().top + "/dest/'";
  TimeCopies(state, [&](Tree&) { return std::system(command.c_str()) == 0; }, "cp failed");
}
BENCHMARK(BM_CpArchive)->Unit(benchmark::kMillisecond);

void BM_DeleteObject(benchmark::State& state) {
  TimeDeletes(
      state, [](Tree& t) { return corvane::DeleteObject(t.top + "/dest/src") == 0; },
      "delete failed");
}
BENCHMARK(BM_DeleteObject)->Unit(benchmark::kMillisecond);

void BM_RmRecursive(benchmark::State& state) {
  std::string command = "rm -rf '" + SharedTree().top + "/dest/src'";
  TimeDeletes(state, [&](Tree&) { return std::system(command.c_str()) == 0; }, "rm failed");
}
BENCHMARK(BM_RmRecursive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
