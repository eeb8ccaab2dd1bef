// Loads the built module through the host library, prints what a host sees of
// it, runs a generated stereo signal through the effect at its defaults and
// measures how far the delayed channel lags its input.
#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

std::string fourChars(VstInt32 code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

// The lag (in frames, 0 to maxLag) at which `delayed` best matches `source`.
int measureLag(const std::vector<float>& source, const std::vector<float>& delayed, int maxLag) {
  int best = 0;
  double bestScore = -1.0;
  for (int lag = 0; lag <= maxLag; ++lag) {
    double score = 0.0;
    for (size_t i = static_cast<size_t>(lag); i < source.size(); ++i)
      score += static_cast<double>(source[i - static_cast<size_t>(lag)]) * delayed[i];
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
    return 2;
  }
  std::string error;
  auto module = host::Module::load(argv[1], error);
  if (!module) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  host::Host host;
  auto plugin = host.instantiate(module->entry(), error);
  if (!plugin) {
    std::fprintf(stderr, "error: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const AEffect* record = plugin->record();
  std::printf("module        %s (entry %s)\n", argv[1], module->entryName().c_str());
  std::printf("magic         0x%08X\n", static_cast<unsigned>(record->magic));
  std::printf("unique id     %s (0x%08X)\n", fourChars(record->uniqueID).c_str(),
              static_cast<unsigned>(record->uniqueID));
  std::printf("version       %d\n", record->version);
  std::printf("programs      %d\n", record->numPrograms);
  std::printf("parameters    %d\n", record->numParams);
  std::printf("inputs        %d\n", record->numInputs);
  std::printf("outputs       %d\n", record->numOutputs);
  std::printf("flags         0x%X\n", static_cast<unsigned>(record->flags));
  std::printf("latency       %d\n", record->initialDelay);

  plugin->open();
  const float rate = 44100.0f;
  plugin->setSampleRate(rate);
  plugin->setBlockSize(512);
  std::printf("\n%-6s %-10s %-10s %s\n", "index", "name", "display", "label");
  for (VstInt32 i = 0; i < record->numParams; ++i)
    std::printf("%-6d %-10s %-10s %s\n", i, plugin->parameterName(i).c_str(),
                plugin->parameterDisplay(i).c_str(), plugin->parameterLabel(i).c_str());
  plugin->resume();

  // Half a second of decorrelated noise on each channel, processed in blocks.
  const size_t frames = 22050;
  std::vector<float> in[2], out[2];
  uint32_t seed = 12345;
  for (auto& channel : in) {
    channel.resize(frames);
    for (float& sample : channel) {
      seed = seed * 1664525u + 1013904223u;
      sample = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
  }
  out[0].assign(frames, 0.0f);
  out[1].assign(frames, 0.0f);
  for (size_t start = 0; start < frames; start += 512) {
    const auto count = static_cast<VstInt32>(std::min<size_t>(512, frames - start));
    float* inputs[2] = {in[0].data() + start, in[1].data() + start};
    float* outputs[2] = {out[0].data() + start, out[1].data() + start};
    plugin->processReplacing(inputs, outputs, count);
  }
  plugin->suspend();

  const int maxLag = static_cast<int>(rate * 0.05f);
  const int leftLag = measureLag(in[0], out[0], maxLag);
  const int rightLag = measureLag(in[1], out[1], maxLag);
  std::printf("\nprocessed %zu frames at %.0f Hz\n", frames, static_cast<double>(rate));
  std::printf("left  output lags its input by %d frames\n", leftLag);
  std::printf("right output lags its input by %d frames (%.2f ms)\n", rightLag,
              1000.0 * rightLag / static_cast<double>(rate));
  plugin->close();
  return 0;
}
