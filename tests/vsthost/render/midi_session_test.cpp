// render with a MIDI file and with a session, as a user runs vsthost: events
// at the frames the tempo map gives (worked out by hand below), a time record
// that follows the map, a chain whose output is known exactly, automation,
// and every malformed file or session refused in one line with no output.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A Standard MIDI File built byte by byte.
Bytes header(int format, int tracks, int division) {
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          0,
          static_cast<unsigned char>(format),
          0,
          static_cast<unsigned char>(tracks),
          static_cast<unsigned char>(division >> 8),
          static_cast<unsigned char>(division & 0xFF)};
}

Bytes track(const Bytes& events) {
  Bytes chunk = {'M', 'T', 'r', 'k'};
  const size_t size = events.size();
  for (int shift = 24; shift >= 0; shift -= 8)
    chunk.push_back(static_cast<unsigned char>(size >> shift & 0xFF));
  chunk.insert(chunk.end(), events.begin(), events.end());
  return chunk;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

// Division 96; 120 BPM (500000 us a quarter) until tick 192, where the
// conductor track (track 1) sets 150 BPM (400000 us): tick 192 is 1 s in, and
// each later tick 400000 / 96 us. 3/4 until tick 288 (quarter note 3, the
// second bar line), then 2/4.
const Bytes kConductor =
    track(Bytes{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,          // 500000
                0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,    // 3/4
                0x81, 0x40, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80,    // +192: 400000
                0x60, 0xFF, 0x58, 0x04, 0x02, 0x02, 0x18, 0x08} +  // +96: 2/4
          kEndOfTrack);
const Bytes kNotes = track(Bytes{
    0x00, 0x90, 0x3C, 0x64,                    // tick 0: note on
    0x60, 0x80, 0x3C, 0x00,                    // 96: note off
    0x04, 0xB0, 0x07, 0x64,                    // 100: control change
    0x65, 0x90, 0x3E, 0x64,                    // 201: note on
    0x31, 0xE0, 0x00, 0x50,                    // 250: pitch bend
    0x26, 0xC0, 0x05, 0x00, 0xD0, 0x40,        // 288: program change and channel pressure
    0x02, 0xA0, 0x3E, 0x30,                    // 290: poly pressure
    0x0A, 0xF0, 0x03, 0x7E, 0x01, 0xF7,        // 300: sysex, F0 form
    0x0A, 0xF7, 0x02, 0xF3, 0x01,              // 310: sysex, F7 form (escaped bytes)
    0x46, 0x90, 0x40, 0x64, 0x04, 0x40, 0x00,  // 380: note on; 384: off by running status
});

using Result = CommandResult;

class RenderMidi : public ScratchFolder {
 protected:
  void write(const std::string& name, const Bytes& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name) << text;
  }
  const std::string modules = BROKEN_MODULES;
};

// Every kind of event at the frame the tempo map gives it, round(seconds *
// 44100): tick 100 is 100/96 * 0.5 s = 22968.75 frames, tick 250 is 1 s + 58
// ticks * 400000/96 us = 54757.5 frames exactly, which rounds up (a float
// sum drifts either way of it). The block size (100) puts events mid-block.
TEST_F(RenderMidi, EventsLandOnTheFramesOfTheTempoMap) {
  const Bytes song = header(1, 2, 96) + kConductor + kNotes;
  write("song.mid", song);
  // vsthost.exe plays the same file under Wine (windows_render.cmake).
  std::ifstream fixture(TEMPO_CHANGE_MID, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(fixture), std::istreambuf_iterator<char>()), song)
      << TEMPO_CHANGE_MID << " is this file";
  const Result r = run("render '" + modules + "/event_marker.so' '" + dir + "/out.wav' --midi '" +
                       dir + "/song.mid' --block 100 --tail 0.5");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = read("out.wav");
  ASSERT_EQ(out.size(), 4u);
  // The last event, tick 384 (1 s + 192 ticks = 1.8 s), then half a second.
  EXPECT_EQ(out[0].size(), 79380u + 22050u);
  std::vector<std::pair<size_t, float>> marks;
  for (size_t i = 0; i < out[0].size(); ++i)
    if (out[0][i] != 0.0f) marks.push_back({i, out[0][i]});
  const std::vector<std::pair<size_t, float>> expected = {
      {0, 1.0f},        // note on
      {22050, -1.0f},   // tick 96: 0.5 s
      {22969, 0.5f},    // tick 100: 22968.75
      {45754, 1.0f},    // tick 201: 1.0375 s = 45753.75
      {54758, 0.5f},    // tick 250: 54757.5, half up
      {61740, 1.0f},    // tick 288: 1.4 s, program change and channel pressure
      {62108, 0.5f},    // tick 290: 62107.5
      {63945, 0.25f},   // tick 300: 1.45 s
      {65783, 0.125f},  // tick 310: 65782.5; escaped bytes, no F0 put before them
      {78645, 1.0f},    // tick 380: 1.783333 s = 78645
      {79380, -1.0f},   // tick 384: 1.8 s, note on of velocity 0 by running status
  };
  EXPECT_EQ(marks, expected);

  // The bar start and signature the marker read: 3/4 from bar 0; the block
  // from 61700 (quarter note 2.998) is still in it. The 2/4 starts a block of
  // its own at tick 288, frame 61740, a bar line at quarter note 3; quarter
  // note 5 is tick 480, 2.2 s, frame 97020, and the block from 97040 reads it.
  const struct {
    size_t frame;
    float bar, signature;
  } bars[] = {{0, 0.0f, 3.04f},     {44100, 0.0f, 3.04f}, {61739, 0.0f, 3.04f},
              {61740, 3.0f, 2.04f}, {97039, 3.0f, 2.04f}, {97040, 5.0f, 2.04f}};
  for (const auto& b : bars) {
    EXPECT_EQ(out[2][b.frame], b.bar) << b.frame;
    EXPECT_FLOAT_EQ(out[3][b.frame], b.signature) << b.frame;
  }
}

// The time record follows the map: tempo_probe writes tempo / 1000 left and
// the block's quarter-note position / 1000 right. A block starts where the
// tempo changes (frame 44100, quarter note 2), whatever the block size; the
// probe is an effect, fed silence as no input is given.
TEST_F(RenderMidi, TheTimeRecordFollowsTheTempoMap) {
  write("song.mid", header(1, 2, 96) + kConductor + kNotes);
  const Result r = run("render '" + modules + "/tempo_probe.so' '" + dir + "/out.wav' --midi '" +
                       dir + "/song.mid' --block 1000 --tail 0");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = read("out.wav");
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out[0].size(), 79380u);  // the MIDI file's end, with no tail
  EXPECT_FLOAT_EQ(out[0][44099], 0.120f);
  EXPECT_FLOAT_EQ(out[0][44100], 0.150f);
  // The block from 44000 at 120 BPM: 44000 / 22050 quarter notes.
  EXPECT_FLOAT_EQ(out[1][44099], static_cast<float>(44000.0 / 22050 / 1000));
  EXPECT_FLOAT_EQ(out[1][44100], 2.0f / 1000);
  // 1000 frames later at 150 BPM: 2 + 1000/44100 * 2.5 quarter notes.
  EXPECT_FLOAT_EQ(out[1][45100], static_cast<float>((2.0 + 1000.0 / 44100 * 2.5) / 1000));
}

// Files that are not what they claim: one line naming the file, the track
// and the byte, exit 1 and no output.
TEST_F(RenderMidi, MalformedFilesAreRefusedWhereTheyGoWrong) {
  const Bytes good = header(1, 2, 96) + kConductor + kNotes;
  const Bytes cut(good.begin(), good.end() - 10);
  const struct {
    Bytes bytes;
    std::string message;
  } cases[] = {
      {cut, "bad.mid: byte 61: chunk length 48 past the end of the file"},
      {header(0, 1, 96) + track({0x00, 0x3C, 0x64}),
       "bad.mid: track 1, byte 23: running status without a status"},
      {header(0, 1, 96) + track({0x00, 0x90, 0x3C}),
       "track 1, byte 25: truncated: a message without its data"},
      {header(0, 1, 96) + track({0x00, 0xF0, 0x64, 0x01}),
       "track 1, byte 24: sysex length 100 past the end of the track"},
      {header(0, 1, 96) + track(Bytes{0x00, 0xFF, 0x51, 0x03, 0, 0, 0} + kEndOfTrack),
       "track 1, byte 23: tempo of 0"},
      {header(0, 1, 96) + track({0x00, 0xFF, 0x51, 0x10, 0x07}),
       "meta event length 16 past the end of the track"},
      {header(0, 1, 96) + track({0x8F, 0xFF, 0xFF, 0xFF, 0x7F}),
       "a delta time longer than four bytes"},
      {header(2, 1, 96) + track(kEndOfTrack), "bad.mid: byte 8: a type 2 file"},
      {header(1, 1, 0xE728) + track(kEndOfTrack), "byte 12: time in SMPTE frames is not read"},
      {header(1, 1, 0) + track(kEndOfTrack), "a division of 0"},
      {header(1, 3, 96) + track(kEndOfTrack), "truncated: 3 tracks announced, 1 found"},
      {Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "bad.mid: byte 0: not a MIDI file"},
  };
  for (const auto& c : cases) {
    write("bad.mid", c.bytes);
    expectRefused("render '" + modules + "/event_marker.so' '" + dir + "/out.wav' --midi '" + dir +
                      "/bad.mid'",
                  c.message);
    std::remove((dir + "/bad.mid").c_str());
  }
}

// A session chains Gain, loaded from a program file at -6 dB, into
// Orsolane, whose default 10 ms delays the right channel by 440 frames: the
// output is the input times the factor of -6 dB, right delayed, exactly.
TEST_F(RenderMidi, SessionChainsAPresetGainIntoADelayExactly) {
  std::vector<float> interleaved(2 * 5000);
  for (size_t i = 0; i < interleaved.size(); ++i)
    interleaved[i] = static_cast<float>((i * 7919 % 2001)) / 1000.0f - 1.0f;
  writeInterleaved(dir + "/in.wav", interleaved, 2, 44100);
  Result r = run(std::string("render '") + GAIN_MODULE + "' '" + dir + "/in.wav' '" + dir +
                 "/x.wav' --param Gain=-6dB --save-preset '" + dir + "/quiet.fxp'");
  ASSERT_EQ(r.status, 0) << r.err;
  write("chain.json", std::string(R"({"input": "in.wav", "output": "out.wav", "block": 300,
    "chain": [{"module": ")") +
                          GAIN_MODULE + R"(", "preset": "quiet.fxp"},
              {"module": "$MODULE"}]})");
  r = run("render --session '" + dir + "/chain.json' --module '" + ORSOLANE_MODULE + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto out = read("out.wav");
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out[0].size(), 5000u);
  const float gain = 0.50118720531f;  // 10^(-6/20) as a float
  for (size_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(out[0][i], interleaved[2 * i] * gain) << i;
    ASSERT_EQ(out[1][i], i < 440 ? 0.0f : interleaved[2 * (i - 440) + 1] * gain) << i;
  }
}

// Automation of the marker's Level (written as it is on its second output):
// the value of each point exactly at its frame, linear between, updated
// every 64 frames; two points at one time are a step. The marker feeds Gain
// at 0 dB, which takes two of its four outputs: the others are dropped with
// a warning.
TEST_F(RenderMidi, AutomationFollowsItsPoints) {
  write("song.mid", header(0, 1, 96) + track(Bytes{0x00, 0x90, 0x3C, 0x64} + kEndOfTrack));
  write("ramp.json",
        "{\"rate\": 1000, \"block\": 512, \"midi\": \"song.mid\", \"tail\": 1, "
        "\"output\": \"out.wav\", \"chain\": [{\"module\": \"" +
            modules +
            "/event_marker.so\", \"automation\": {\"Level\": "
            "[[0.1, 0.2], [0.5, 1], [0.5, 0], [0.9, \"0.5\"]]}}, {\"module\": \"" +
            GAIN_MODULE + "\"}]}");
  const Result r = run("render --session '" + dir + "/ramp.json'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("ramp.json: chain[1]: " + std::string(GAIN_MODULE) +
                       " takes 2 inputs, so 2 of the 4 outputs of " + modules +
                       "/event_marker.so are dropped\n"),
            std::string::npos)
      << r.err;
  const auto out = read("out.wav");
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out[1].size(), 1000u);
  const auto level = [&](size_t frame) { return out[1][frame]; };
  EXPECT_FLOAT_EQ(level(0), 0.2f);  // held before the first point
  EXPECT_FLOAT_EQ(level(100), 0.2f);
  EXPECT_FLOAT_EQ(level(128), 0.2f + 0.8f * 28 / 400);  // at the 64-frame step
  EXPECT_FLOAT_EQ(level(191), 0.2f + 0.8f * 28 / 400);  // held until the next
  EXPECT_FLOAT_EQ(level(448), 0.2f + 0.8f * 348 / 400);
  EXPECT_FLOAT_EQ(level(499), 0.2f + 0.8f * 348 / 400);
  EXPECT_EQ(level(500), 0.0f);  // the later of the two points at 0.5 s
  EXPECT_FLOAT_EQ(level(512), 0.5f * 12 / 400);
  EXPECT_FLOAT_EQ(level(900), 0.5f);
  EXPECT_FLOAT_EQ(level(999), 0.5f);
}

// A session that cannot be rendered: one line naming the file and the
// place, exit 1, no output.
TEST_F(RenderMidi, SessionMistakesAreOneLineNamingThePlace) {
  const std::string orsolane = ORSOLANE_MODULE, gain = GAIN_MODULE;
  writeInterleaved(dir + "/in.wav", std::vector<float>(200, 0.0f), 2, 44100,
                   SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  ASSERT_EQ(run("render '" + gain + "' '" + dir + "/in.wav' '" + dir + "/x.wav' --save-preset '" +
                dir + "/gain.fxp'")
                .status,
            0);
  // Gain's program with Orsolane's ID: one parameter where Orsolane has three.
  std::ifstream stream(dir + "/gain.fxp", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  bytes.replace(16, 4, "vqzx");
  write("fewer.fxp", bytes);
  std::remove((dir + "/x.wav").c_str());

  const std::string start = R"({"input": "in.wav", "output": "out.wav", )";
  const struct {
    std::string session, message;
  } cases[] = {
      {start + R"("chain": [{"module": ")" + orsolane + R"("}], "speed": 2})",
       "s.json: speed: unknown key"},
      {start + R"("chain": [{"module": ")" + orsolane + R"(", "param": {}}]})",
       "s.json: chain[0].param: unknown key"},
      {start + R"("chain": [{"module": "missing.so"}]})", "/missing.so: No such file"},
      {start + R"("chain": [{"params": {}}]})", "s.json: chain[0]: no \"module\""},
      {start + R"("chain": [{"module": ")" + orsolane + R"(", "params": {"Width": 1}}]})",
       "s.json: chain[0]: unknown parameter 'Width'"},
      {start + R"("chain": [{"module": ")" + orsolane +
           R"(", "automation": {"Depth": [[1, 0.5], [0.5, 0.2]]}}]})",
       "s.json: chain[0].automation.Depth[1]: at 0.5 s comes before the point ahead of it"},
      {start + R"("chain": [{"module": ")" + orsolane +
           R"(", "automation": {"Depth": [[0, "5ms"], [1, "80Hz"]]}}]})",
       "s.json: chain[0].automation.Depth[1]: parameter Depth: 'Hz' is not its unit (ms)"},
      {start + R"("chain": [{"module": ")" + orsolane + R"(", "preset": "gain.fxp"}]})",
       "s.json: chain[0]: " + dir + "/gain.fxp: made for the plug-in 'VbGn'"},
      {start + R"("chain": [{"module": ")" + orsolane + R"(", "preset": "fewer.fxp"}]})",
       "s.json: chain[0]: " + dir + "/fewer.fxp: the file holds 1 parameter, the effect has 3"},
      {start + R"("chain": [{"module": "$MODULE"}]})", "$MODULE stands for the module given"},
      {start + R"("chain": []})", "s.json: chain: wants an array of one or more modules"},
      {start + R"("block": 0, "chain": [{"module": "x"}]})", "s.json: block: wants a number"},
      {R"({"output": "out.wav", "chain": [{"module": "x"}]})", "neither \"input\" nor \"midi\""},
      {"{\"input\": \"in.wav\",", "s.json: not JSON"},
  };
  for (const auto& c : cases) {
    write("s.json", c.session);
    expectRefused("render --session '" + dir + "/s.json'", c.message);
  }
}

}  // namespace
