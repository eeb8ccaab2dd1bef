// The editors' costs against their budgets, in one run: Gain's generic editor
// opened and closed through its record in a host window (on a private Xvfb
// where no display is set), a full redraw of a generic editor at 800 x 500
// pixels with every value changed, and one idle with nothing changing. Prints each median against
// its budget: open under 100 ms, a full redraw under 2 ms, idle under 1 % of a core at a host's 30
// idles a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "median_reporter.h"
#include "vst/editor/generic_editor.h"
#include "vst/editor_window.h"
#include "vst/host.h"

namespace {

constexpr double kOpenBudgetMs = 100.0, kRedrawBudgetMs = 2.0, kIdleBudgetPercent = 1.0;
constexpr double kHostIdlesPerSecond = 30.0;

// Gain's table, and one of ten parameters of every kind, for an in-process
// generic editor that covers 800 x 500 pixels once scaled.
constexpr const char* kModes[] = {"Off", "On"};
constexpr const char* kShapes[] = {"Sine", "Tri", "Saw"};
constexpr vst::ParameterSpec kTable[] = {
    vst::decibelParameter("Gain", -48.0, 12.0, 0.0),
    vst::logParameter("Cutoff", "Hz", 20.0, 20000.0, 1000.0),
    vst::choiceParameter("Bypass", kModes, 0),
    vst::choiceParameter("Shape", kShapes, 0),
    vst::stepParameter("Voices", "", 1, 5, 2),
    vst::linearParameter("Mix", "%", 0.0, 100.0, 100.0, 0),
    vst::logParameter("Rate", "Hz", 0.1, 20.0, 5.0),
    vst::linearParameter("Depth", "%", 0.0, 100.0, 50.0, 0),
    vst::decibelParameter("Out", -24.0, 6.0, 0.0),
    vst::linearParameter("Pan", "", -1.0, 1.0, 0.0),
};

class Ten : public vst::ParameterEffect<10> {
 public:
  Ten() : ParameterEffect(nullptr, 1, kTable) {}
  void processReplacing(float**, float**, VstInt32) override {}
};

void fullRedraw(benchmark::State& state) {
  Ten effect;
  vst::GenericEditor editor(&effect);
  // 552 x 320 logical pixels scaled to cover 800 x 500: 863 x 500.
  editor.setScale(std::max(800.0f / float(editor.width()), 500.0f / float(editor.height())));
  // Every parameter takes a new value each frame, as under automation of them
  // all: every knob, switch and value is drawn anew, and only what never
  // changes (panels, names) may come from the canvas's cache of shapes.
  float value = 0.0f;
  for (auto _ : state) {
    value += 0.37f;
    if (value >= 1.0f) value -= 1.0f;
    for (VstInt32 index = 0; index < 10; ++index) effect.setParameter(index, value);
    editor.invalidate();
    editor.redraw();
  }
  state.counters["pixels"] = editor.canvas().pixelWidth() * editor.canvas().pixelHeight();
}

// Gain's module and one instance, for the window benchmarks.
struct LoadedGain {
  host::LoadedPlugin loaded;
  std::string error;
  bool load() {
    if (!loaded.load(GAIN_MODULE, error)) return false;
    loaded.plugin->open();
    return true;
  }
};

void openAndClose(benchmark::State& state) {
  LoadedGain gain;
  if (!gain.load()) return state.SkipWithError(gain.error.c_str());
  for (auto _ : state) {
    auto window = host::EditorWindow::open(*gain.loaded.plugin, gain.error);
    if (!window) return state.SkipWithError(gain.error.c_str());
    window->idle();  // the first picture shown
  }
}

void idleNothingChanging(benchmark::State& state) {
  LoadedGain gain;
  if (!gain.load()) return state.SkipWithError(gain.error.c_str());
  auto window = host::EditorWindow::open(*gain.loaded.plugin, gain.error);
  if (!window) return state.SkipWithError(gain.error.c_str());
  window->idleFor(50);
  for (auto _ : state) gain.loaded.plugin->dispatch(effEditIdle);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::unique_ptr<host::VirtualDisplay> display;
  if (!host::displayReachable()) display = host::VirtualDisplay::start(error);
  benchmark::RegisterBenchmark("editor/open-close", openAndClose)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("editor/full-redraw", fullRedraw)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark("editor/idle", idleNothingChanging)
      ->Unit(benchmark::kMicrosecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto verdict = [](double value, double budget) {
    return value > 0.0 && value < budget ? "yes" : "NO";
  };
  const double open = reporter.seconds["editor/open-close"] * 1e3;
  const double redraw = reporter.seconds["editor/full-redraw"] * 1e3;
  const double idlePercent = reporter.seconds["editor/idle"] * kHostIdlesPerSecond * 100.0;
  std::printf("\nEditors, median: open %.2f ms (budget %.0f ms, %.2f of it) within: %s\n", open,
              kOpenBudgetMs, open / kOpenBudgetMs, verdict(open, kOpenBudgetMs));
  std::printf("  full redraw at 863 x 500 pixels %.3f ms (budget %.0f ms, %.2f of it) within: %s\n",
              redraw, kRedrawBudgetMs, redraw / kRedrawBudgetMs, verdict(redraw, kRedrawBudgetMs));
  std::printf(
      "  idle with nothing changing %.3f %% of a core at %.0f idles a second "
      "(budget %.0f %%) within: %s\n",
      idlePercent, kHostIdlesPerSecond, kIdleBudgetPercent,
      verdict(idlePercent, kIdleBudgetPercent));
  benchmark::Shutdown();
  return 0;
}
