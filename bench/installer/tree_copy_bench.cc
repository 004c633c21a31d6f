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

void BM_CopyObject(benchmark::State& state) {
  Tree& t = SharedTree();
  for (auto _ : state) {
    if (corvane::CopyObject(t.top + "/src", t.top + "/dest") != 0) state.SkipWithError("copy failed");
    state.PauseTiming();
    corvane::DeleteObject(t.top + "/dest/src");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CopyObject)->Unit(benchmark::kMillisecond);

void BM_CpArchive(benchmark::State& state) {
  Tree& t = SharedTree();
  std::string command = "cp -a '" + t.top + "/src' '" + t.top + "/dest/'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    state.PauseTiming();
    corvane::DeleteObject(t.top + "/dest/src");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CpArchive)->Unit(benchmark::kMillisecond);

void BM_DeleteObject(benchmark::State& state) {
  Tree& t = SharedTree();
  for (auto _ : state) {
    state.PauseTiming();
    corvane::CopyObject(t.top + "/src", t.top + "/dest");
    state.ResumeTiming();
    if (corvane::DeleteObject(t.top + "/dest/src") != 0) state.SkipWithError("delete failed");
  }
}
BENCHMARK(BM_DeleteObject)->Unit(benchmark::kMillisecond);

void BM_RmRecursive(benchmark::State& state) {
  Tree& t = SharedTree();
  std::string command = "rm -rf '" + t.top + "/dest/src'";
  for (auto _ : state) {
    state.PauseTiming();
    corvane::CopyObject(t.top + "/src", t.top + "/dest");
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("rm failed");
  }
}
BENCHMARK(BM_RmRecursive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
