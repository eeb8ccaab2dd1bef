// Reading an audio file back, channel by channel, for the render tests.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

// The file's samples, one vector per channel; `info` gets its rate, format
// and length. Empty (with a test failure) when it cannot be opened.
inline std::vector<std::vector<float>> readChannels(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (file == nullptr) return {};
  std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  std::vector<std::vector<float>> channels(static_cast<size_t>(info.channels));
  for (size_t i = 0; i < interleaved.size(); ++i)
    channels[i % channels.size()].push_back(interleaved[i]);
  return channels;
}

// Writes interleaved samples of `channels` channels to `path` (a test failure
// when it cannot be created). `format` is libsndfile's, e.g. WAV | FLOAT.
inline void writeInterleaved(const std::string& path, const std::vector<float>& interleaved,
                             int channels, int rate, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (file == nullptr) return;
  sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size()) / channels);
  sf_close(file);
}
