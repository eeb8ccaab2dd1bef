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
// Options: --filter=REGEX (cases whose name matches), --repetitions=N,
// --min-time=SECONDS (per repetition), --module=PATH (another build's module).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <time.h>
#endif

#include "literal_processing.h"
#include "vst/host.h"

namespace {

constexpr VstInt32 kBlockSizes[] = {64, 512, 4096};
constexpr float kRate = 44100.0f;
const char* const kModeNames[] = {"Stereo", "L", "R", "Mono"};
const char* const kChannelNames[] = {"L", "R"};
constexpr float kDepthsMs[] = {10.0f, 0.0f};

#if defined(_WIN32)
const char* const kPlatform = "Windows, under Wine";
const char* const kClockName = "wall time";  // Wine's thread times tick every 10 ms
constexpr double kReferenceTarget = 4.0;
#else
const char* const kPlatform = "Linux";
const char* const kClockName = "CPU time";
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

// Seconds on the clock the comparison uses: the thread's CPU time where it is
// precise, else a monotonic wall clock.
double now() {
#if defined(_WIN32)
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#else
  timespec time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
#endif
}

// Keeps the compiler from dropping or merging the writes of the timed blocks.
inline void clobberMemory() { asm volatile("" : : : "memory"); }

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

// Processes a given number of blocks; made afresh for every repetition, as a
// host would make a new instance. An empty function (with `error` set) when it
// cannot be made. The loop is compiled with each case's processing, so a block
// costs no call through a function object.
using Block = std::function<void(long blocks)>;

template <typename Process>
Block repeated(Process process) {
  return [process](long blocks) {
    Process local = process;  // kept in registers, not reloaded after every block
    for (long i = 0; i < blocks; ++i) {
      local();
      clobberMemory();
    }
  };
}

template <typename Effect>
void applySetting(Effect& effect, const Setting& setting) {
  effect.setParameter(QuillaneVST::kParamInput, static_cast<float>(setting.mode) * 0.25f);
  effect.setParameter(QuillaneVST::kParamChannel, static_cast<float>(setting.channel) * 0.5f);
  effect.setParameter(QuillaneVST::kParamDepth, setting.depthMs / 50.0f);
}

Block floorBlock(VstInt32 frames) {
  Buffers& buffers = buffersFor(frames);
  auto floor = std::make_shared<Floor>();
  return repeated(
      [floor, &buffers, frames] { floor->process(buffers.inputs, buffers.outputs, frames); });
}

Block referenceBlock(VstInt32 frames, const Setting& setting) {
  Buffers& buffers = buffersFor(frames);
  auto reference = std::make_shared<LiteralQuillane>();
  applySetting(*reference, setting);
  // Called through its record, as the module is, so only the processing differs.
  AEffect* record = reference->getAeffect();
  return repeated([reference, record, &buffers, frames] {
    record->processReplacing(record, buffers.inputs, buffers.outputs, frames);
  });
}

// `setting` applies to Orsolane only; peers run with their own defaults.
Block pluginBlock(const std::string& path, VstInt32 frames, const Setting* setting,
                  std::string& error) {
  Buffers& buffers = buffersFor(frames);
  auto loaded = std::make_shared<LoadedPlugin>();
  if (!loaded->load(path, frames, error)) return {};
  if (setting) applySetting(*loaded->plugin, *setting);
  return repeated([loaded, &buffers, frames] {
    loaded->plugin->processReplacing(buffers.inputs, buffers.outputs, frames);
  });
}

struct Case {
  Case(std::string name, VstInt32 frames, std::function<Block(std::string& error)> make)
      : name(std::move(name)), frames(frames), make(std::move(make)) {}
  std::string name;
  VstInt32 frames;
  std::function<Block(std::string& error)> make;
  long iterations = 0;           // blocks per repetition, set by calibration
  std::vector<double> perFrame;  // seconds per frame, one per repetition
  std::string error;
};

// Times `iterations` blocks after a short warm-up; seconds per block.
double timeBlocks(const Block& block, long iterations) {
  block(std::max(1L, iterations / 10));
  const double start = now();
  block(iterations);
  return (now() - start) / static_cast<double>(iterations);
}

// Finds how many blocks fill `minTime` seconds; false when the case cannot run.
bool calibrate(Case& c, double minTime) {
  Block block = c.make(c.error);
  if (!block) return false;
  long iterations = 1;
  for (;;) {
    const double perBlock = timeBlocks(block, iterations);
    const double elapsed = perBlock * static_cast<double>(iterations);
    if (elapsed >= minTime / 8 || iterations >= (1L << 30)) {
      c.iterations = std::max(1L, static_cast<long>(minTime / std::max(perBlock, 1e-12)));
      return true;
    }
    iterations *= 4;
  }
}

double median(std::vector<double> values) {
  if (values.empty()) return std::nan("");
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

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
    return it == medians.end() ? std::nan("") : it->second * 1e9;
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

bool parseOption(const char* argument, const char* name, std::string& value) {
  const size_t length = std::strlen(name);
  if (std::strncmp(argument, name, length) != 0 || argument[length] != '=') return false;
  value = argument + length + 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Defaults for a shared, noisy machine: nine repetitions of every case,
  // interleaved at random with all others, medians compared.
  std::string filter = ".*", text;
  int repetitions = 9;
  double minTime = 0.02;
  std::string module = ORSOLANE_MODULE;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    bool understood = false;
    if (parseOption(argv[i], "--filter", text)) {
      filter = text;
      understood = true;
    } else if (parseOption(argv[i], "--module", text)) {
      module = text;
      understood = true;
    } else if (parseOption(argv[i], "--repetitions", text)) {
      const long value = std::strtol(text.c_str(), &end, 10);
      understood = !text.empty() && *end == '\0' && value >= 1 && value <= 1000;
      repetitions = static_cast<int>(value);
    } else if (parseOption(argv[i], "--min-time", text)) {
      minTime = std::strtod(text.c_str(), &end);
      understood = !text.empty() && *end == '\0' && minTime > 0.0 && minTime <= 10.0;
    }
    if (!understood) {
      std::fprintf(stderr,
                   "processing_benchmark: bad argument '%s'\n"
                   "usage: processing_benchmark [--filter=REGEX] [--repetitions=1..1000] "
                   "[--min-time=0..10] [--module=PATH]\n",
                   argv[i]);
      return 2;
    }
  }
  std::regex selected;
  try {
    selected = std::regex(filter);
  } catch (const std::regex_error&) {
    std::fprintf(stderr, "processing_benchmark: --filter='%s' is not a regular expression\n",
                 filter.c_str());
    return 2;
  }

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

  std::vector<Case> cases;
  for (VstInt32 frames : kBlockSizes) {
    cases.emplace_back(floorName(frames), frames,
                       [frames](std::string&) { return floorBlock(frames); });
    for (const Setting& setting : allSettings()) {
      cases.emplace_back(moduleName(frames, setting), frames,
                         [module, frames, setting](std::string& error) {
                           return pluginBlock(module, frames, &setting, error);
                         });
      cases.emplace_back(referenceName(frames, setting), frames, [frames, setting](std::string&) {
        return referenceBlock(frames, setting);
      });
    }
    for (const Peer& peer : peers) {
      cases.emplace_back(peerName(peer, frames), frames, [peer, frames](std::string& error) {
        return pluginBlock(peer.path, frames, nullptr, error);
      });
    }
  }
  cases.erase(std::remove_if(cases.begin(), cases.end(),
                             [&](const Case& c) { return !std::regex_search(c.name, selected); }),
              cases.end());
  std::fprintf(stderr, "%s: %zu cases, %d repetitions each, interleaved at random\n", kPlatform,
               cases.size(), repetitions);

  std::vector<size_t> order;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (calibrate(cases[i], minTime)) {
      order.insert(order.end(), static_cast<size_t>(repetitions), i);
    } else {
      std::fprintf(stderr, "%s left out: %s\n", cases[i].name.c_str(), cases[i].error.c_str());
    }
  }
  std::shuffle(order.begin(), order.end(), std::mt19937(20));
  for (size_t i : order) {
    Case& c = cases[i];
    Block block = c.make(c.error);
    if (!block) continue;
    c.perFrame.push_back(timeBlocks(block, c.iterations) / static_cast<double>(c.frames));
  }

  std::map<std::string, double> medians;
  for (const Case& c : cases) {
    if (!c.perFrame.empty()) medians[c.name] = median(c.perFrame);
  }
  printSummary(medians, peers, module);
  return 0;
}
