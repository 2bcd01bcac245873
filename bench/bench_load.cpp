// Loading a map against its floor: parsing the same file with jansson and
// releasing the document, which LoadMap can't avoid doing.

#include <benchmark/benchmark.h>
#include <jansson.h>

#include <fstream>
#include <iostream>

#include "bench_maps.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "table_helpers.h"

namespace {

void ParseAndReleaseFloor(benchmark::State& state) {
  const std::string path = BenchMapPath(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    json_error_t error;
    json_t* root = json_load_file(path.c_str(), 0, &error);
    benchmark::DoNotOptimize(root);
    json_decref(root);
  }
  state.counters["cells"] = static_cast<double>(state.range(0) * state.range(0) * 3);
}

void LoadMapIntoTable(benchmark::State& state) {
  const std::string path = BenchMapPath(static_cast<int>(state.range(0)));
  std::ofstream nowhere;
  std::streambuf* out = std::cout.rdbuf(nowhere.rdbuf());
  for (auto _ : state) {
    LoadMap(path, layers, kMaxLayers);
    state.PauseTiming();
    ResetLayerTable();
    state.ResumeTiming();
  }
  std::cout.rdbuf(out);
  state.counters["cells"] = static_cast<double>(state.range(0) * state.range(0) * 3);
}

BENCHMARK(ParseAndReleaseFloor)->Arg(100)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadMapIntoTable)->Arg(100)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
