// Worst case of the name matcher: a pattern of six star runs that can never
// match, against names of 255 letters 'a'. A backtracking matcher explodes
// here; the bound is the product of the two lengths. One iteration matches
// all 10,000 names, so the reported time is the time for the whole set.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "slf/archive.h"

namespace {

constexpr const char* kPattern = "*a*a*a*a*a*a*b";
constexpr std::size_t kNameCount = 10000;
constexpr std::size_t kNameLength = 255;

const std::vector<std::string>& worstCaseNames() {
  static const std::vector<std::string> names(kNameCount, std::string(kNameLength, 'a'));
  return names;
}

void matchAllNamesAsViews(benchmark::State& state) {
  const std::vector<std::string>& names = worstCaseNames();
  const std::string_view pattern = kPattern;
  for (auto _ : state) {
    std::size_t matched = 0;
    for (const std::string& name : names) matched += slf::wildcardMatch(pattern, name) ? 1u : 0u;
    benchmark::DoNotOptimize(matched);
  }
  state.counters["names"] = static_cast<double>(names.size());
}

void matchAllNamesAsCStrings(benchmark::State& state) {
  const std::vector<std::string>& names = worstCaseNames();
  for (auto _ : state) {
    std::size_t matched = 0;
    for (const std::string& name : names) matched += slf::wildcardMatch(kPattern, name.c_str()) ? 1u : 0u;
    benchmark::DoNotOptimize(matched);
  }
  state.counters["names"] = static_cast<double>(names.size());
}

}  // namespace

BENCHMARK(matchAllNamesAsViews)->Name("wildcard_10000_names_view")->Unit(benchmark::kMillisecond);
BENCHMARK(matchAllNamesAsCStrings)->Name("wildcard_10000_names_cstring")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
