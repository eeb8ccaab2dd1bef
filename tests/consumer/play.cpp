// A behaviour test through vst::host, the smallest host there is: loads a
// module, runs one block of ones through its first instance, prints the first
// output sample and, given EXPECTED, fails unless every output sample is it.
// Usage: play MODULE [EXPECTED]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vst/host.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: play MODULE [EXPECTED]\n");
    return 2;
  }
  std::string error;
  auto module = host::Module::load(argv[1], error);
  host::Host host;
  auto plugin = module ? host.instantiate(module->entry(), error) : nullptr;
  if (!plugin) {
    std::fprintf(stderr, "play: %s\n", error.c_str());
    return 1;
  }
  plugin->activate(44100.0f, 64);
  std::vector<float> in(64, 1.0f), left(64), right(64);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {left.data(), right.data()};
  plugin->processReplacing(inputs, outputs, 64);
  std::printf("%s: %g %g\n", plugin->effectName().c_str(), left[0], right[63]);
  if (argc == 3) {
    const float expected = std::strtof(argv[2], nullptr);
    for (const auto* channel : {&left, &right})
      for (float sample : *channel)
        if (std::fabs(sample - expected) > 1e-6f) {
          std::fprintf(stderr, "play: an output sample is %g, not %g\n", sample, expected);
          return 1;
        }
  }
  return 0;
}
