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
