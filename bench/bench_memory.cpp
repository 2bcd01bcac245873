// Resident memory (as the kernel counts it, freed-but-held memory included)
// of loading a map against parsing it alone. Each measurement runs in a fresh
// child process, so one cannot inherit another's heap.
//
//   bench_memory SIZE...   prints one JSON object per line

#include <jansson.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_maps.h"
#include "map/layer.h"
#include "map/map_loader.h"

namespace {

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::char_traits<char>::length(field));
  }
  return -1;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Usage {
  long before, peak, after;
};

Usage ParseAlone(const std::string& path) {
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  json_error_t error;
  json_t* root = json_load_file(path.c_str(), 0, &error);
  const long peak = StatusKb("VmHWM:");
  json_decref(root);
  return {before, peak, StatusKb("VmRSS:")};
}

Usage Load(const std::string& path) {
  std::ofstream nowhere;
  std::cout.rdbuf(nowhere.rdbuf());
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  LoadMap(path, layers, kMaxLayers);
  return {before, StatusKb("VmHWM:"), StatusKb("VmRSS:")};
}

template <typename Measure>
Usage InChild(Measure measure) {
  int channel[2];
  if (pipe(channel) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    const Usage usage = measure();
    if (write(channel[1], &usage, sizeof usage) != sizeof usage) _exit(1);
    _exit(0);
  }
  Usage usage{};
  if (read(channel[0], &usage, sizeof usage) != sizeof usage) std::abort();
  waitpid(child, nullptr, 0);
  close(channel[0]);
  close(channel[1]);
  return usage;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const std::string path = BenchMapPath(size);
    const Usage parse = InChild([&] { return ParseAlone(path); });
    const Usage load = InChild([&] { return Load(path); });
    std::printf(
        "{\"size\": %d, \"cells\": %lld, \"parse_before_kb\": %ld, \"parse_peak_kb\": %ld, "
        "\"parse_after_kb\": %ld, \"load_before_kb\": %ld, \"load_peak_kb\": %ld, \"load_after_kb\": %ld}\n",
        size, 3LL * size * size, parse.before, parse.peak, parse.after, load.before, load.peak, load.after);
  }
  return 0;
}
