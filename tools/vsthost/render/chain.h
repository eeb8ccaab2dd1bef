// One module of a render's chain: loaded, set up to the point of processing,
// with its buffers and its parameters' automation.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/plan.h"
#include "vst/host.h"

namespace vsthost {

// `what`, preceded by the place in a session file it comes from (if any).
inline std::string within(const std::string& where, const std::string& what) {
  return where.empty() ? what : where + ": " + what;
}

// One module of the chain, set up for the render.
struct Member {
  // A parameter's automation: normalised values at frames, in time order.
  struct Ramp {
    VstInt32 index;
    std::vector<std::pair<std::int64_t, float>> points;

    // Linear between the points, held before the first and after the last;
    // at a point (or the later of two at one frame) exactly its value.
    float at(std::int64_t frame) const {
      const auto after =
          std::upper_bound(points.begin(), points.end(), frame,
                           [](std::int64_t f, const std::pair<std::int64_t, float>& point) {
                             return f < point.first;
                           });
      if (after == points.begin()) return points.front().second;
      if (after == points.end()) return points.back().second;
      const auto& a = *(after - 1);
      const auto& b = *after;
      return static_cast<float>(a.second + (static_cast<double>(b.second) - a.second) *
                                               static_cast<double>(frame - a.first) /
                                               static_cast<double>(b.first - a.first));
    }
  };

  const PlannedModule* plan = nullptr;
  std::unique_ptr<host::LoadedPlugin> loaded;
  host::Plugin* plugin = nullptr;
  int inputs = 0, outputs = 0;
  bool replacing = true;
  std::vector<std::vector<float>> in, out;
  std::vector<float*> inPointers, outPointers;
  std::vector<Ramp> ramps;

  std::string name() const { return within(plan->where, plan->module); }

  void allocate(size_t block) {
    // At least one input buffer, so a silent input is there to point at.
    in.assign(static_cast<size_t>(std::max(inputs, 1)), std::vector<float>(block));
    out.assign(static_cast<size_t>(outputs), std::vector<float>(block));
    for (auto& channel : in) inPointers.push_back(channel.data());
    for (auto& channel : out) outPointers.push_back(channel.data());
  }

  // The inputs from `source`: a single channel feeds every input; inputs
  // beyond the source's channels are silent.
  void feed(const std::vector<std::vector<float>>& source, size_t channels, size_t n) {
    for (size_t c = 0; c < in.size(); ++c) {
      const size_t from = channels == 1 ? 0 : c;
      if (from < channels)
        std::copy(source[from].begin(), source[from].begin() + static_cast<long>(n), in[c].begin());
      else
        std::fill(in[c].begin(), in[c].begin() + static_cast<long>(n), 0.0f);
    }
  }

  void process(size_t n) {
    for (auto& channel : out) std::fill(channel.begin(), channel.end(), 0.0f);
    if (replacing)
      plugin->processReplacing(inPointers.data(), outPointers.data(), static_cast<VstInt32>(n));
    else  // an old effect that only accumulates into the outputs
      plugin->record()->process(plugin->record(), inPointers.data(), outPointers.data(),
                                static_cast<VstInt32>(n));
  }
};

// Loads a module of the chain and sets it up to the point of processing: its
// rate, block size, transport, preset, parameters and automation resolved.
// Throws Error naming the module (and the place in the session).
void setUp(Member& member, const RenderPlan& plan, int rate, double tempo,
           std::pair<int, int> signature);

}  // namespace vsthost
