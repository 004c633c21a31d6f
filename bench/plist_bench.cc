// Parse and write speed of the statistics file (100 users x 10 apps x 365
// days). bench/plist_vs_plistlib.py runs this and Python's plistlib on the
// same file and reports the ratio.
//
//   plist_bench --write-stats FILE   writes the data set and exits
#include <benchmark/benchmark.h>

#include <cstring>

#include "PlistFile.h"
#include "PlistXml.h"
#include "StatsTree.h"

using namespace corvane;

namespace {

const std::string& StatsXml() {
  static const std::string xml = [] {
    std::string out;
    SerializePlistXml(bench::MakeStatsTree(), &out);
    return out;
  }();
  return xml;
}

void BM_ParseStats(benchmark::State& state) {
  const std::string& xml = StatsXml();
  for (auto _ : state) {
    auto p = ParsePlistXml(xml);
    benchmark::DoNotOptimize(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * xml.size()));
}
BENCHMARK(BM_ParseStats)->Unit(benchmark::kMillisecond);

void BM_WriteStats(benchmark::State& state) {
  auto tree = ParsePlistXml(StatsXml());
  for (auto _ : state) {
    std::string out;
    SerializePlistXml(*tree, &out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * StatsXml().size()));
}
BENCHMARK(BM_WriteStats)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-stats") == 0) {
    return WritePlistFile(bench::MakeStatsTree(), argv[2]).ok() ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
