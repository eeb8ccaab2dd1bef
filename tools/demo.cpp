// The demo: synthesizes a short stereo test signal, renders it through a module
// at the effect's defaults with the command-line host's render, prints what
// `vsthost info` prints, and measures on the output how far the right channel
// lags the left one; then prints the analyser's summary of the effect and
// draws its pictures; last, photographs the editors of the example modules
// given after the output folder (Gain's generic one, Tremolo's drawn one).
#include <sndfile.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analyze/analysis.h"
#include "analyze/analyze.h"
#include "common/common.h"
#include "editor/editor.h"
#include "info/info.h"
#include "render/render.h"
#include "vst/noise.h"

namespace {

const int kRate = 44100;

// One second of noise common to both channels (a source in the centre) plus a
// little independent noise per channel, as 32-bit float WAV.
void writeTestSignal(const std::string& path) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw vsthost::Error(path + ": " + sf_strerror(nullptr));
  std::vector<float> frames(2 * kRate);
  host::Noise noise(12345);
  for (size_t i = 0; i < frames.size(); i += 2) {
    const float common = 0.8f * noise.next();
    frames[i] = common + 0.2f * noise.next();
    frames[i + 1] = common + 0.2f * noise.next();
  }
  sf_writef_float(file, frames.data(), kRate);
  sf_close(file);
}

std::vector<float> readChannel(const std::string& path, int channel, int& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) throw vsthost::Error(path + ": " + sf_strerror(nullptr));
  std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  rate = info.samplerate;
  std::vector<float> result;
  for (size_t i = static_cast<size_t>(channel); i < frames.size();
       i += static_cast<size_t>(info.channels))
    result.push_back(frames[i]);
  return result;
}

// The lag of `later` behind `earlier`, from -maxLag to maxLag frames, at which
// the two correlate best.
int measureLag(const std::vector<float>& earlier, const std::vector<float>& later, int maxLag) {
  int best = 0;
  double bestScore = -1e300;
  const auto n = static_cast<int>(earlier.size());
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    double score = 0.0;
    for (int i = std::max(0, lag); i < n && i - lag < n; ++i)
      score += static_cast<double>(earlier[static_cast<size_t>(i - lag)]) *
               later[static_cast<size_t>(i)];
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best;
}

// The settings each example's editor is shown at: those of the golden
// pictures its tests pin.
std::vector<std::pair<std::string, std::string>> editorSettings(const std::string& stem) {
  if (stem == "Gain") return {{"Gain", "-6dB"}};
  if (stem == "Tremolo") return {{"Depth", "80%"}, {"Rate", "3Hz"}, {"Sync", "0.4"}};
  return {};
}

// The editor of `module` photographed into `directory` as <name>-editor.png;
// a module without an editor, or a machine without a display or Xvfb, is
// passed over with a line saying why.
void photographEditor(const std::string& module, const std::string& directory) {
  std::string stem = module.substr(module.find_last_of("/\\") + 1);
  stem = stem.substr(0, stem.find('.'));
  std::string name;
  for (char c : stem) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  vsthost::EditorOptions options;
  options.module = module;
  options.params = editorSettings(stem);
  options.screenshot = directory + "/" + name + "-editor.png";
  std::fflush(stdout);
  try {
    if (vsthost::editor(options, stdout) != 0)
      std::printf("%s's editor: no picture (see above)\n", stem.c_str());
  } catch (const vsthost::Error& error) {
    std::printf("%s's editor: no picture (%s)\n", stem.c_str(), error.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s MODULE OUTPUT-DIRECTORY [EDITOR-MODULE...]\n", argv[0]);
    return 2;
  }
  const std::string module = argv[1], directory = argv[2];
  try {
    vsthost::RenderOptions options;
    options.module = module;
    options.input = directory + "/demo-in.wav";
    options.output = directory + "/demo-out.wav";
    writeTestSignal(options.input);
    vsthost::render(options);
    vsthost::info(module, false, stdout);
    int rate = 0;
    const std::vector<float> left = readChannel(options.output, 0, rate);
    const std::vector<float> right = readChannel(options.output, 1, rate);
    const int lag = measureLag(left, right, rate / 20);
    std::printf("\nRendered %s (%zu frames at %d Hz) to %s\n", options.input.c_str(), left.size(),
                rate, options.output.c_str());
    std::printf("Inter-channel delay on the output: right lags left by %d frames (%.2f ms)\n", lag,
                1000.0 * lag / rate);
    std::printf("\nWhat it does to sound (vsthost analyze %s --rate %d):\n", module.c_str(), kRate);
    std::fflush(stdout);
    vsthost::AnalyzeOptions analysis;
    analysis.module = module;
    analysis.rate = kRate;
    analysis.plotFolder = directory + "/demo-plots";
    if (vsthost::analyze(analysis, stdout) != 0) return 1;
    std::printf(
        "Pictures of the analysis (magnitude, phase, group delay, impulse, THD, level) "
        "in %s\n",
        analysis.plotFolder.c_str());
    if (argc > 3) std::printf("\nThe examples' editors (vsthost editor --screenshot):\n");
    for (int i = 3; i < argc; ++i) photographEditor(argv[i], directory);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
