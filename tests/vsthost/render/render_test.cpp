// vsthost render and compare as a user runs them: the rendered audio is
// exactly what the effect makes when driven directly, the output keeps the
// input's rate and format, and every error is one line, a non-zero exit and no
// file left behind; compare gives the null tests known answers.
#include "render/render.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/common.h"
#include "plugin_test.h"
#include "scratch_folder.h"
#include "vst/host.h"
#include "vst/noise.h"

namespace {

using Result = CommandResult;

class VsthostTest : public ScratchFolder {
 protected:
  // Writes `frames` of reproducible noise; answers it channel by channel.
  std::vector<std::vector<float>> writeNoise(const std::string& name, int channels, int rate,
                                             int format, int frames) {
    std::vector<std::vector<float>> signal(static_cast<size_t>(channels));
    std::vector<float> interleaved;
    host::Noise noise(99);
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) {
        const float sample = noise.next();
        signal[static_cast<size_t>(c)].push_back(sample);
        interleaved.push_back(sample);
      }
    writeInterleaved(dir + "/" + name, interleaved, channels, rate, format);
    return signal;
  }
};

TEST_F(VsthostTest, RenderMatchesTheEffectDrivenDirectly) {
  for (int channels : {2, 1}) {
    const auto in = writeNoise("in.wav", channels, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 30000);
    const Result r =
        run(std::string("render '") + ORSOLANE_MODULE + "' '" + dir + "/in.wav' '" + dir +
            "/out.wav' --param Depth=25ms --param 1=0 --param input=0.2 --block 333");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when not on a terminal";
    SF_INFO info;
    const auto out = read("out.wav", info);
    ASSERT_EQ(out.size(), 2u);

    LoadedPlugin loaded;
    ASSERT_TRUE(loaded.load(ORSOLANE_MODULE));
    host::Plugin* plugin = loaded.plugin.get();
    plugin->open();
    plugin->setSampleRate(48000.0f);
    plugin->setBlockSize(333);
    plugin->setParameter(2, 0.5f);
    plugin->setParameter(1, 0.0f);
    plugin->setParameter(0, 0.2f);
    plugin->resume();
    std::vector<float> left = in[0], right = in[channels - 1];  // mono feeds both inputs
    std::vector<float> expectLeft(left.size()), expectRight(left.size());
    for (size_t start = 0; start < left.size(); start += 333) {
      const auto count = static_cast<VstInt32>(std::min<size_t>(333, left.size() - start));
      float* inputs[2] = {left.data() + start, right.data() + start};
      float* outputs[2] = {expectLeft.data() + start, expectRight.data() + start};
      plugin->processReplacing(inputs, outputs, count);
    }
    EXPECT_EQ(out[0], expectLeft) << channels << " channels";
    EXPECT_EQ(out[1], expectRight) << channels << " channels";
    EXPECT_NE(out[0], left) << "the delay must show: left is delayed by 25 ms";
  }
}

// render installs handlers that remove its partial output when the process
// dies; a program calling it (the demo) must get its own handlers back.
TEST_F(VsthostTest, RenderGivesTheCallerItsSignalHandlersBack) {
  writeNoise("in.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000);
  void (*const mine)(int) = [](int) {};
  void (*const before)(int) = std::signal(SIGTERM, mine);
  vsthost::RenderOptions options;
  options.module = ORSOLANE_MODULE;
  options.input = dir + "/in.wav";
  options.output = dir + "/out.wav";
  vsthost::render(options);
  EXPECT_EQ(std::signal(SIGTERM, before), mine);
}

// The null test against answers known without it: a full-scale sine against
// itself is silence; against itself 0.1 % quieter the residual is 0.001 of
// the sine, a peak of 20 log10(0.001) = -60 dBFS and an RMS 3.01 dB lower,
// past -90 dB from the first frame whose sine is not zero; one changed sample
// past the first read block is found at its frame even at -inf dB.
TEST_F(VsthostTest, CompareGivesTheNullTestsKnownAnswers) {
  const auto write = [&](const std::string& name, double gain, long changed) {
    std::vector<float> samples;
    for (long i = 0; i < 9600; ++i) {  // 200 periods of 1 kHz at 48 kHz, both channels
      const float sine =
          static_cast<float>(gain * std::sin(2 * M_PI * static_cast<double>(i) / 48));
      samples.push_back(sine);
      samples.push_back(i == changed ? sine + 0.5f : sine);
    }
    writeInterleaved(dir + "/" + name, samples, 2, 48000);
  };
  write("sine.wav", 1.0, -1);
  write("quieter.wav", 0.999, -1);
  write("changed.wav", 1.0, 5000);
  const std::string sine = dir + "/sine.wav";
  struct Case {
    std::string arguments;
    int status;
    std::string report;
  };
  const Case cases[] = {
      {sine + " " + sine, 0,
       "residual peak  -inf dBFS\nresidual RMS   -inf dBFS\nwithin -96 dB: no frame past it\n"},
      {sine + " " + dir + "/quieter.wav --tolerance -90", 1,
       "residual peak  -60.00 dBFS\nresidual RMS   -63.01 dBFS\n"
       "beyond -90 dB: first at frame 1 (0.000021 s)\n"},
      {sine + " " + dir + "/quieter.wav --tolerance=-59.9", 0,
       "residual peak  -60.00 dBFS\nresidual RMS   -63.01 dBFS\nwithin -59.9 dB: no frame past "
       "it\n"},
      {sine + " " + dir + "/changed.wav --tolerance -inf", 1,
       "residual peak  -6.02 dBFS\nresidual RMS   -48.85 dBFS\n"
       "beyond -inf dB: first at frame 5000 (0.104167 s)\n"},
  };
  for (const Case& c : cases) {
    const Result r = run("compare " + c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
    EXPECT_EQ(r.out, c.report) << c.arguments;
  }
}

TEST_F(VsthostTest, OutputKeepsTheInputsRateAndFormatUnlessTold) {
  struct Case {
    int inputFormat, rate;
    const char* output;
    const char* options;
    int expectedFormat;
  };
  const Case cases[] = {
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 96000, "out", "", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 22050, "out.wav", "", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, "out.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, "out.bin", "--format aiff --encoding float",
       SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
  };
  for (const Case& c : cases) {
    writeNoise("in.snd", 2, c.rate, c.inputFormat, 1000);
    const Result r = run(std::string("render '") + ORSOLANE_MODULE + "' '" + dir + "/in.snd' '" +
                         dir + "/" + c.output + "' " + c.options);
    ASSERT_EQ(r.status, 0) << c.output << ": " << r.err;
    SF_INFO info;
    EXPECT_EQ(read(c.output, info).size(), 2u);
    EXPECT_EQ(info.format, c.expectedFormat) << c.output;
    EXPECT_EQ(info.samplerate, c.rate) << c.output;
    EXPECT_EQ(info.frames, 1000) << c.output;
    std::remove((dir + "/" + c.output).c_str());
  }
}

// An effect's render goes on for the tail it reports (the echo's 449820
// frames at 44100 Hz), so its echoes are not cut at the input's end; --tail
// wins, 0 included; one reporting no tail ends with its input.
TEST_F(VsthostTest, RenderPlaysTheReportedTailUnlessTold) {
  const std::string fixtures = BROKEN_MODULES;
  writeNoise("in.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000);
  const struct {
    const char* module;
    const char* options;
    sf_count_t frames;
  } cases[] = {{"echo_tail", "", 1000 + 449820},
               {"echo_tail", "--tail 0", 1000},
               {"echo_tail", "--tail 0.5", 1000 + 22050},
               {"echo_no_tail", "", 1000}};
  for (const auto& c : cases) {
    const Result r = run("render '" + fixtures + "/" + c.module + ".so' '" + dir + "/in.wav' '" +
                         dir + "/out.wav' " + c.options);
    ASSERT_EQ(r.status, 0) << c.module << " " << c.options << ": " << r.err;
    SF_INFO info;
    const auto out = read("out.wav", info);
    EXPECT_EQ(info.frames, c.frames) << c.module << " " << c.options;
    // The echo 300 ms after the input: in the tail, not cut.
    if (c.frames > 20000) {
      EXPECT_GT(std::fabs(out[0][13230 + 10]), 1e-3f);
    }
  }
}

// Values in another unit of the same kind convert (seconds for a parameter
// in ms), one beyond the range is clamped with a warning naming the range
// (through the display search and through the effect's own parser), and a
// choice given wrongly lists the choices.
TEST_F(VsthostTest, ParameterValuesConvertUnitsAndSayWhatTheyClamp) {
  writeNoise("in.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2000);
  const auto render = [&](const std::string& module, const std::string& param,
                          const std::string& out) {
    return run("render '" + module + "' '" + dir + "/in.wav' '" + dir + "/" + out + "' --param " +
               param);
  };
  const std::string orsolane = ORSOLANE_MODULE;
  ASSERT_EQ(render(orsolane, "Depth=11ms", "ms.wav").status, 0);
  ASSERT_EQ(render(orsolane, "Depth=0.011s", "s.wav").status, 0);
  SF_INFO info;
  EXPECT_EQ(read("ms.wav", info), read("s.wav", info));
  ASSERT_EQ(render(orsolane, "Depth=50ms", "top.wav").status, 0);
  const Result beyond = render(orsolane, "Depth=100ms", "beyond.wav");
  ASSERT_EQ(beyond.status, 0) << beyond.err;
  EXPECT_NE(beyond.err.find("100ms is outside its range 0.000000 to 50.00000 ms; clamped to 50"),
            std::string::npos)
      << beyond.err;
  EXPECT_EQ(read("top.wav", info), read("beyond.wav", info));
  const Result parsed = render(GAIN_MODULE, "Gain=30dB", "gain.wav");
  EXPECT_NE(parsed.err.find("30dB is outside its range -48.00 to 12.00 dB; clamped to 12.00"),
            std::string::npos)
      << parsed.err;
  const Result choice = render(orsolane, "Input=1/2", "choice.wav");
  EXPECT_EQ(choice.status, 1);
  EXPECT_NE(choice.err.find("'1/2' is none of its choices: Stereo, L, R, Mono"), std::string::npos)
      << choice.err;
}

TEST_F(VsthostTest, ErrorsAreOneLineWithNothingLeftBehind) {
  writeNoise("stereo.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4000);
  writeNoise("three.wav", 3, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100);
  writeNoise("rate.wav", 2, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4000);
  writeNoise("short.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3999);
  std::ofstream(dir + "/text.wav") << "not audio\n";
  const std::string orsolane = ORSOLANE_MODULE, fixtures = BROKEN_MODULES;
  const std::string in = dir + "/stereo.wav", out = dir + "/out.wav";
  const std::string render = "render " + orsolane + " " + in + " " + out;  // then the options
  struct Case {
    std::string arguments;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"info " + dir + "/missing.so", 1, "missing.so: No such file or directory"},
      {"info " + in, 1, "stereo.wav: invalid ELF header"},
      {"info " + fixtures + "/no_entry.so", 1, "exports neither VSTPluginMain nor main"},
      {"info " + fixtures + "/null_entry.so", 1, "the entry returned no effect"},
      {"info " + fixtures + "/bad_magic.so", 1, "record without the VST magic"},
      {"render " + fixtures + "/bad_magic.so " + in + " " + out, 1, "without the VST magic"},
      {"render " + orsolane + " " + dir + "/none.wav " + out, 1, "none.wav: No such file"},
      {"render " + orsolane + " " + dir + "/text.wav " + out, 1,
       "text.wav: not a readable audio file"},
      {"render " + orsolane + " " + dir + "/three.wav " + out, 1,
       "3 channels, but the effect takes 2 inputs"},
      {render + " --param Width=0.5", 1, "unknown parameter 'Width'"},
      {render + " --param Depth=half", 1,
       "parameter Depth: nothing it shows reads 'half' (it shows 0.0"},
      {render + " --param Depth=nan", 1, "nothing it shows reads 'nan'"},
      {render + " --param Depth=25Hz", 1, "'Hz' is not its unit (ms)"},
      {render + " --param Depth=1.5", 1, "outside the normalised range"},
      {render + " --param 3=0.5", 1, "index 3 out of range"},
      {render + " --block 0", 2, "--block: wants a whole number from 1 to 65536, not '0'"},
      {render + " --block 99999999999999999999", 2, "--block: wants"},
      {render + " --format mp9", 1, "unknown format 'mp9'"},
      {render + " --encoding vorbis", 1, "cannot hold vorbis"},
      {"render " + orsolane + " " + in, 2, "OUT is required"},
      {"check --seed twelve " + orsolane, 2, "--seed"},
      {"check --sample-rates 44100,fast " + orsolane, 2, "wants rates in Hz"},
      {"check --only in-place,nothing " + orsolane, 2, "no check named 'nothing'"},
      // The effect crashes while processing: the partial output is removed.
      {"render " + fixtures + "/text_overrun.so " + in + " " + out + " --param 0=1", 128 + SIGSEGV,
       ""},
      {"frobnicate", 2, "unknown command 'frobnicate'"},
      {"check " + dir + "/missing.so", 1, "missing.so: No such file or directory"},
      {"compare " + in + " " + dir + "/rate.wav", 1,
       "stereo.wav and " + dir + "/rate.wav differ in sample rate: 44100 Hz against 48000 Hz"},
      {"compare " + in + " " + dir + "/three.wav", 1, "differ in channels: 2 against 3"},
      {"compare " + in + " " + dir + "/short.wav", 1, "differ in length: 4000 frames against 3999"},
      {"compare " + in + " " + dir + "/text.wav", 1, "text.wav: not a readable audio file"},
      {"compare " + dir + "/none.wav " + in, 1, "none.wav: No such file"},
      {"compare " + in + " " + in + " --tolerance loud", 2, "--tolerance wants a level in dB"},
      {"compare " + in + " " + in + " --tolerance 6", 2, "from -inf to 0"},
      {"compare " + in, 2, "B is required"},
  };
  for (const Case& c : cases) {
    const Result r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << "\n" << r.err;
    if (!c.message.empty()) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.arguments << "\n" << r.err;
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"rate.wav", "short.wav", "stereo.wav", "text.wav",
                                                 "three.wav"}))
        << c.arguments;
  }
}

// --preset loads before the render (a later --param still wins), --save-preset
// writes the state after it, in both forms; a preset of another plug-in is
// refused unless forced, and a preset that cannot be saved leaves no output.
TEST_F(VsthostTest, PresetsLoadBeforeTheRenderAndSaveAfterIt) {
  writeNoise("in.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2000);
  const std::string in = " '" + dir + "/in.wav' '" + dir + "/";
  const std::string chunky = std::string(BROKEN_MODULES) + "/chunk_trusting.so";
  SF_INFO info;
  for (const std::string& module : {std::string(GAIN_MODULE), chunky}) {
    for (const char* preset : {"p.fxp", "p.fxb"}) {
      SCOPED_TRACE(module + " " + preset);
      Result r = run("render '" + module + "'" + in + "set.wav' --param 0=0.3 --save-preset '" +
                     dir + "/" + preset + "'");
      ASSERT_EQ(r.status, 0) << r.err;
      r = run("render '" + module + "'" + in + "loaded.wav' --preset '" + dir + "/" + preset + "'");
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(read("loaded.wav", info), read("set.wav", info));
      r = run("render '" + module + "'" + in + "over.wav' --param 0=0.7 --preset '" + dir + "/" +
              preset + "'");
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_NE(read("over.wav", info), read("set.wav", info)) << "--param comes after --preset";
    }
  }
  EXPECT_EQ(files(), (std::vector<std::string>{"in.wav", "loaded.wav", "over.wav", "p.fxb", "p.fxp",
                                               "set.wav"}));

  const std::string orsolane = "render '" + std::string(ORSOLANE_MODULE) + "'" + in + "out.wav' ";
  const struct {
    std::string arguments;
    int status;
    std::string message;
  } cases[] = {
      {orsolane + "--preset " + dir + "/p.fxb", 1,
       "p.fxb: made for the plug-in 'brkn' (0x62726B6E), not this one, 'vqzx' (0x76717A78); "
       "--force loads it anyway"},
      {orsolane + "--preset " + dir + "/p.fxb --force", 1,
       "p.fxb: the file holds an opaque chunk, but the effect keeps no chunks"},
      {orsolane + "--preset " + dir + "/in.wav", 1, "in.wav: not a program or bank file"},
      {orsolane + "--save-preset " + dir + "/no/such/dir/p.fxp", 1,
       "p.fxp: cannot create the preset (No such file or directory)"},
      {orsolane + "--save-preset " + dir + "/p.wav", 2, "ending in .fxp (the program) or .fxb"},
      {orsolane + "--force", 2, "--force requires --preset"},
  };
  for (const auto& c : cases) {
    const Result r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(files().size(), 6u) << c.arguments << ": something was left behind";
  }
}

}  // namespace
