// vsthost as a user runs it: the rendered audio is exactly what the effect
// makes when driven directly, the output keeps the input's rate and format,
// and every error is one line, a non-zero exit and no file left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_test.h"
#include "vst/host.h"

namespace {

struct Result {
  int status;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class VsthostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vsthost-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  Result run(const std::string& arguments) {
    const std::string command = std::string("'") + VSTHOST + "' " + arguments + " >'" + dir +
                                "/stdout' 2>'" + dir + "/stderr' </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            slurp(dir + "/stdout"), slurp(dir + "/stderr")};
  }

  // Writes `frames` of reproducible noise; answers it channel by channel.
  std::vector<std::vector<float>> writeNoise(const std::string& name, int channels, int rate,
                                             int format, int frames) {
    std::vector<std::vector<float>> signal(static_cast<size_t>(channels));
    std::vector<float> interleaved;
    uint32_t seed = 99;
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) {
        seed = seed * 1664525u + 1013904223u;
        const float sample =
            static_cast<float>(static_cast<int>(seed >> 9) - (1 << 22)) / 8388608.0f;
        signal[static_cast<size_t>(c)].push_back(sample);
        interleaved.push_back(sample);
      }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open((dir + "/" + name).c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, interleaved.data(), frames);
    sf_close(file);
    return signal;
  }

  std::vector<std::vector<float>> read(const std::string& name, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* file = sf_open((dir + "/" + name).c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
    if (file == nullptr) return {};
    std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    std::vector<std::vector<float>> channels(static_cast<size_t>(info.channels));
    for (size_t i = 0; i < interleaved.size(); ++i)
      channels[i % channels.size()].push_back(interleaved[i]);
    return channels;
  }

  std::vector<std::string> files() {
    std::vector<std::string> names;
    DIR* listing = opendir(dir.c_str());
    while (dirent* entry = readdir(listing))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir;
};

TEST_F(VsthostTest, RenderMatchesTheEffectDrivenDirectly) {
  for (int channels : {2, 1}) {
    const auto in = writeNoise("in.wav", channels, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 30000);
    const Result r =
        run(std::string("render '") + ORSOLANE_MODULE + "' '" + dir + "/in.wav' '" + dir +
            "/out.wav' --param Depth=0.5 --param 1=0 --param input=0.2 --block 333");
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

TEST_F(VsthostTest, ErrorsAreOneLineWithNothingLeftBehind) {
  writeNoise("stereo.wav", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4000);
  writeNoise("three.wav", 3, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100);
  std::ofstream(dir + "/text.wav") << "not audio\n";
  const std::string orsolane = ORSOLANE_MODULE, fixtures = BROKEN_MODULES;
  const std::string in = dir + "/stereo.wav", out = dir + "/out.wav";
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
      {"render " + orsolane + " " + in + " " + out + " --param Width=0.5", 1,
       "unknown parameter 'Width'"},
      {"render " + orsolane + " " + in + " " + out + " --param Depth=half", 1,
       "'half' is not a number"},
      {"render " + orsolane + " " + in + " " + out + " --param Depth=nan", 1,
       "'nan' is not a number"},
      {"render " + orsolane + " " + in + " " + out + " --param Depth=1.5", 1,
       "outside the normalised range"},
      {"render " + orsolane + " " + in + " " + out + " --param 3=0.5", 1, "index 3 out of range"},
      {"render " + orsolane + " " + in + " " + out + " --block 0", 2,
       "--block wants a whole number"},
      {"render " + orsolane + " " + in + " " + out + " --block 99999999999999999999", 2,
       "--block wants"},
      {"render " + orsolane + " " + in + " " + out + " --format mp9", 1, "unknown format 'mp9'"},
      {"render " + orsolane + " " + in + " " + out + " --encoding vorbis", 1, "cannot hold vorbis"},
      {"render " + orsolane + " " + in, 2, "expected render MODULE IN OUT"},
      // The effect crashes while processing: the partial output is removed.
      {"render " + fixtures + "/text_overrun.so " + in + " " + out + " --param 0=1", 128 + SIGSEGV,
       ""},
      {"frobnicate", 2, "unknown command 'frobnicate'"},
      {"check " + dir + "/missing.so", 1, "missing.so: No such file or directory"},
  };
  for (const Case& c : cases) {
    const Result r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << "\n" << r.err;
    if (!c.message.empty()) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.arguments << "\n" << r.err;
    }
    EXPECT_EQ(files(),
              (std::vector<std::string>{"stderr", "stdout", "stereo.wav", "text.wav", "three.wav"}))
        << c.arguments;
  }
}

TEST_F(VsthostTest, CheckReportsAnOverrunAsAFailureAndSurvives) {
  const Result r = run(std::string("check ") + BROKEN_MODULES + "/text_overrun.so --timeout 20");
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("PASS  load "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("FAIL  text buffers           crashed (Segmentation fault) while the name "
                       "of parameter 0 into a 9-byte buffer"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("10 of 11 checks passed"), std::string::npos) << r.out;
}

}  // namespace
