// Processing speed, side by side in one run: the Orsolane module through its
// record, the memory floor (the copies any implementation must make), the
// frame-by-frame reference, and, on Linux, third-party delay modules where
// installed. Every case runs its repetitions randomly interleaved with all
// others; the summary at the end compares medians of time per frame and checks
// the targets:
//   module / floor        <= 1.5
//   reference / module    >= 6 on Linux, >= 4 on Windows (SSE2 kernels only)
//   peer / module         >  1 for every peer
// The same source builds for Linux and, cross-built with mingw-w64, for
// Windows, where it runs under Wine on the DLL the Windows build ships.
//
// Options: Google Benchmark's (--benchmark_filter=REGEX and the like), and
// --module=PATH to time another build's module.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "literal_processing.h"
#include "vst/host.h"

namespace {

constexpr VstInt32 kBlockSizes[] = {64, 512, 4096};
constexpr float kRate = 44100.0f;
const char* const kModeNames[] = {"Stereo", "L", "R", "Mono"};
const char* const kChannelNames[] = {"L", "R"};
constexpr float kDepthsMs[] = {10.0f, 0.0f};

// Linux compares thread CPU time. Wine's thread times tick only every 10 ms,
// so under Wine every case is timed (and its iterations sized) on real time.
#if defined(_WIN32)
const char* const kPlatform = "Windows, under Wine";
const char* const kClockName = "real time";
constexpr bool kRealTime = true;
constexpr double kReferenceTarget = 4.0;
#else
const char* const kPlatform = "Linux";
const char* const kClockName = "CPU time";
constexpr bool kRealTime = false;
constexpr double kReferenceTarget = 6.0;
#endif

struct Peer {
  const char* name;
  const char* path;
};
#if defined(_WIN32)
const std::vector<Peer> kPeers;
#else
const std::vector<Peer> kPeers = {
    {"lsp comp-delay-stereo", "/usr/lib/vst/lsp-plugins/comp-delay-stereo.so"},
    {"zam ZamDelay", "/usr/lib/vst/ZamDelay-vst.so"},
};
#endif

// One setting of the effect's parameters.
struct Setting {
  int mode, channel;
  float depthMs;
  std::string name() const {
    char text[64];
    std::snprintf(text, sizeof text, "%s/%s/%gms", kModeNames[mode], kChannelNames[channel],
                  static_cast<double>(depthMs));
    return text;
  }
};

// The same noise-filled buffers for every implementation at one block size.
struct Buffers {
  std::vector<float> samples[4];
  float* inputs[2];
  float* outputs[2];
  explicit Buffers(VstInt32 frames) {
    std::mt19937 random(static_cast<unsigned>(frames));
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (auto& channel : samples) {
      channel.resize(static_cast<size_t>(frames));
      for (float& value : channel) value = sample(random);
    }
    inputs[0] = samples[0].data();
    inputs[1] = samples[1].data();
    outputs[0] = samples[2].data();
    outputs[1] = samples[3].data();
  }
};

Buffers& buffersFor(VstInt32 frames) {
  static std::map<VstInt32, std::unique_ptr<Buffers>> all;
  auto& buffers = all[frames];
  if (!buffers) buffers = std::make_unique<Buffers>(frames);
  return *buffers;
}

// The floor: inputs to outputs, and inputs into a 44100-frame ring at an
// advancing, wrapping position; four copies per block (six when it wraps).
struct Floor {
  float ring[2][QuillaneVST::kDelayBufferLength] = {};
  VstInt32 position = 0;
  void process(float** inputs, float** outputs, VstInt32 frames) {
    std::memcpy(outputs[0], inputs[0], sizeof(float) * static_cast<size_t>(frames));
    std::memcpy(outputs[1], inputs[1], sizeof(float) * static_cast<size_t>(frames));
    for (VstInt32 done = 0; done < frames;) {
      if (position == QuillaneVST::kDelayBufferLength) position = 0;
      const VstInt32 count = std::min(frames - done, QuillaneVST::kDelayBufferLength - position);
      for (int c = 0; c < 2; ++c) {
        std::memcpy(ring[c] + position, inputs[c] + done,
                    sizeof(float) * static_cast<size_t>(count));
      }
      position += count;
      done += count;
    }
  }
};

// A module driven through its record, the way a host drives it.
struct LoadedPlugin : host::LoadedPlugin {
  bool load(const std::string& path, VstInt32 blockSize, std::string& error) {
    host.setSampleRate(kRate);
    host.setBlockSize(blockSize);
    if (!host::LoadedPlugin::load(path, error)) return false;
    plugin->activate(kRate, blockSize);
    return true;
  }
  ~LoadedPlugin() override {
    if (plugin) plugin->suspend();
  }
};

template <typename Effect>
void applySetting(Effect& effect, const Setting& setting) {
  effect.setParameter(QuillaneVST::kParamInput, static_cast<float>(setting.mode) * 0.25f);
  effect.setParameter(QuillaneVST::kParamChannel, static_cast<float>(setting.channel) * 0.5f);
  effect.setParameter(QuillaneVST::kParamDepth, setting.depthMs / 50.0f);
}

void reportPerFrame(benchmark::State& state, VstInt32 frames) {
  state.SetItemsProcessed(state.iterations() * frames);
  state.counters["frames"] = frames;
}

// Every case starts afresh for each repetition, as a host would make a new instance.
void benchFloor(benchmark::State& state, VstInt32 frames) {
  Buffers& buffers = buffersFor(frames);
  auto floor = std::make_unique<Floor>();
  for (auto _ : state) {
    floor->process(buffers.inputs, buffers.outputs, frames);
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}

void benchReference(benchmark::State& state, VstInt32 frames, Setting setting) {
  Buffers& buffers = buffersFor(frames);
  auto reference = std::make_unique<LiteralQuillane>();
  applySetting(*reference, setting);
  // Called through its record, as the module is, so only the processing differs.
  AEffect* record = reference->getAeffect();
  for (auto _ : state) {
    record->processReplacing(record, buffers.inputs, buffers.outputs, frames);
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}

// `setting` applies to Orsolane only; peers run with their own defaults.
void benchPlugin(benchmark::State& state, const std::string& path, VstInt32 frames, bool isOrsolane,
                 Setting setting) {
  Buffers& buffers = buffersFor(frames);
  LoadedPlugin loaded;
  std::string error;
  if (!loaded.load(path, frames, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  if (isOrsolane) applySetting(*loaded.plugin, setting);
  for (auto _ : state) {
    loaded.plugin->processReplacing(buffers.inputs, buffers.outputs, frames);
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}

template <typename... Arguments>
void add(const std::string& name, Arguments&&... arguments) {
  benchmark::internal::Benchmark* benchmark =
      benchmark::RegisterBenchmark(name.c_str(), std::forward<Arguments>(arguments)...);
  if (kRealTime) benchmark->UseRealTime();
}

// Keeps the median of every case's repetitions, in ns per frame on the
// platform's clock.
class MedianCollector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
      const auto frames = run.counters.find("frames");
      if (run.error_occurred || frames == run.counters.end()) continue;
      const double time = kRealTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
      medians[run.run_name.function_name] = time / frames->second.value;
    }
  }
  std::map<std::string, double> medians;
};

std::string moduleName(VstInt32 frames, const Setting& setting) {
  return "module/" + std::to_string(frames) + "/" + setting.name();
}
std::string referenceName(VstInt32 frames, const Setting& setting) {
  return "reference/" + std::to_string(frames) + "/" + setting.name();
}
std::string floorName(VstInt32 frames) { return "floor/" + std::to_string(frames); }
std::string peerName(const Peer& peer, VstInt32 frames) {
  return std::string("peer ") + peer.name + "/" + std::to_string(frames);
}

std::vector<Setting> allSettings() {
  std::vector<Setting> settings;
  for (int mode = 0; mode < 4; ++mode) {
    for (int channel = 0; channel < 2; ++channel) {
      for (float depth : kDepthsMs) settings.push_back({mode, channel, depth});
    }
  }
  return settings;
}

// Prints one row per block size and setting, then whether every target holds.
void printSummary(const std::map<std::string, double>& medians, const std::vector<Peer>& peers,
                  const std::string& module) {
  auto find = [&](const std::string& name) {
    const auto it = medians.find(name);
    return it == medians.end() ? std::nan("") : it->second;
  };
  std::printf("\n%s: %s\n", kPlatform, module.c_str());
  std::printf(
      "Median %s per frame (ns) and ratios; targets: module/floor <= 1.5, "
      "reference/module >= %g%s\n\n",
      kClockName, kReferenceTarget, peers.empty() ? "" : ", peer/module > 1");
  std::printf("| block | setting | module | floor | reference | module/floor | reference/module |");
  for (const Peer& peer : peers) std::printf(" %s/module |", peer.name);
  std::printf("\n|---|---|---|---|---|---|---|");
  for (size_t i = 0; i < peers.size(); ++i) std::printf("---|");
  std::printf("\n");
  double worstFloor = 0.0, worstReference = 1e30;
  std::vector<double> worstPeer(peers.size(), 1e30);
  for (VstInt32 frames : kBlockSizes) {
    const double floor = find(floorName(frames));
    for (const Setting& setting : allSettings()) {
      const double module = find(moduleName(frames, setting));
      const double reference = find(referenceName(frames, setting));
      if (std::isnan(module) && std::isnan(reference)) continue;  // filtered out
      std::printf("| %d | %s | %.3f | %.3f | %.3f | %.2f | %.1f |", frames, setting.name().c_str(),
                  module, floor, reference, module / floor, reference / module);
      if (!std::isnan(module / floor)) worstFloor = std::max(worstFloor, module / floor);
      if (!std::isnan(reference / module)) {
        worstReference = std::min(worstReference, reference / module);
      }
      for (size_t p = 0; p < peers.size(); ++p) {
        const double peer = find(peerName(peers[p], frames));
        std::printf(" %.1f |", peer / module);
        if (!std::isnan(peer / module)) worstPeer[p] = std::min(worstPeer[p], peer / module);
      }
      std::printf("\n");
    }
  }
  std::printf("\nWorst case over all rows (%s):\n", kPlatform);
  if (worstFloor > 0.0) {
    std::printf("  module/floor      %.2f  (target <= 1.5)  %s\n", worstFloor,
                worstFloor <= 1.5 ? "met" : "MISSED");
  }
  if (worstReference < 1e30) {
    std::printf("  reference/module  %.1f  (target >= %g)   %s\n", worstReference, kReferenceTarget,
                worstReference >= kReferenceTarget ? "met" : "MISSED");
  }
  for (size_t p = 0; p < peers.size(); ++p) {
    if (worstPeer[p] == 1e30) continue;  // not run (filtered out)
    std::printf("  %s/module  %.1f  (target > 1)  %s\n", peers[p].name, worstPeer[p],
                worstPeer[p] > 1.0 ? "met" : "MISSED");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Defaults for a shared, noisy machine: every case's repetitions interleaved
  // at random with all others, medians compared. Arguments given override them.
  std::vector<char*> arguments(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char repetitions[] = "--benchmark_repetitions=9";
  char minTime[] = "--benchmark_min_time=0.02";
  char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
  arguments.insert(arguments.begin() + 1, {interleave, repetitions, minTime, aggregatesOnly});
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  std::string module = ORSOLANE_MODULE;
  int left = 1;
  for (int i = 1; i < count; ++i) {
    if (std::strncmp(arguments[i], "--module=", 9) == 0) {
      module = arguments[i] + 9;
    } else {
      arguments[left++] = arguments[i];
    }
  }
  if (benchmark::ReportUnrecognizedArguments(left, arguments.data())) return 1;

  std::vector<Peer> peers;
  for (const Peer& peer : kPeers) {
    std::string error;
    LoadedPlugin probe;
    if (probe.load(peer.path, 512, error)) {
      peers.push_back(peer);
    } else {
      std::fprintf(stderr, "peer %s left out: %s\n", peer.name, error.c_str());
    }
  }

  for (VstInt32 frames : kBlockSizes) {
    add(floorName(frames), benchFloor, frames);
    for (const Setting& setting : allSettings()) {
      add(moduleName(frames, setting), benchPlugin, module, frames, true, setting);
      add(referenceName(frames, setting), benchReference, frames, setting);
    }
    for (const Peer& peer : peers) {
      add(peerName(peer, frames), benchPlugin, std::string(peer.path), frames, false, Setting{});
    }
  }
  MedianCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  printSummary(collector.medians, peers, module);
  benchmark::Shutdown();
  return 0;
}
