// The analyser's whole run (every measurement, each in a process of its own)
// on Orsolane, against the same run on the Gain example: the baseline is what
// the analyser itself costs, since a gain does next to nothing. Prints the
// median time of each, their ratio and whether Orsolane's stays within its
// budget of 10 s on a two-core machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "median_reporter.h"

namespace {

constexpr double kBudgetSeconds = 10.0;

void analyse(benchmark::State& state, const char* module) {
  vsthost::AnalyzeOptions options;
  options.module = module;
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    if (vsthost::analyze(options, sink) != 0) state.SkipWithError("the analysis failed");
  }
  std::fclose(sink);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("analyze/Gain", analyse, GAIN_MODULE)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("analyze/Orsolane", analyse, ORSOLANE_MODULE)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double gain = reporter.seconds["analyze/Gain"];
  const double orsolane = reporter.seconds["analyze/Orsolane"];
  if (gain > 0.0 && orsolane > 0.0) {
    std::printf("\nWhole analysis, median: Orsolane %.3f s, Gain %.3f s, Orsolane/Gain %.2f\n",
                orsolane, gain, orsolane / gain);
    std::printf("  Orsolane within %.0f s  %s\n", kBudgetSeconds,
                orsolane <= kBudgetSeconds ? "met" : "MISSED");
  }
  benchmark::Shutdown();
  return 0;
}
