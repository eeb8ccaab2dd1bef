// Loads a module through vst::host, runs one block of ones through its first
// instance and prints the first output sample: the smallest host there is.
#include <cstdio>
#include <string>
#include <vector>

#include "vst/host.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: play MODULE\n");
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
  return 0;
}
