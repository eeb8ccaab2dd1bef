// The speaker-arrangement tools on their byte layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "vst/audio_effect_x.h"

namespace {

class SpeakerEffect : public AudioEffectX {
 public:
  SpeakerEffect() : AudioEffectX(nullptr, 1, 1) {}
  void processReplacing(float**, float**, VstInt32) override {}
  // Lets a test make copySpeaker fail from the given channel on.
  bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) override {
    return copies++ < failAfter && AudioEffectX::copySpeaker(to, from);
  }
  int copies = 0;
  int failAfter = 1 << 30;
};

bool allZeroFrom(const void* block, std::size_t from, std::size_t to) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = from; i < to; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST(SpeakerArrangements, AllocateMakesAZeroBlockOfTheRightSize) {
  SpeakerEffect effect;
  VstSpeakerArrangement* arrangement = nullptr;
  for (VstInt32 channels : {0, 2, 9}) {
    ASSERT_TRUE(effect.allocateArrangement(&arrangement, channels));  // frees the previous block
    EXPECT_EQ(arrangement->numChannels, channels);
    EXPECT_EQ(arrangement->type, 0);
    EXPECT_TRUE(allZeroFrom(arrangement, 8, 8 + 112 * std::size_t(channels)));
    if (channels > 0) vstSpeakerAt(arrangement, channels - 1)->future[27] = 1;  // the last byte
  }
  // Counts whose size has no signed 32-bit byte count are refused; the old block is gone.
  for (VstInt32 channels : {-1, 19173962, 2147483647, -2147483647 - 1}) {
    ASSERT_TRUE(effect.allocateArrangement(&arrangement, 1));
    EXPECT_FALSE(effect.allocateArrangement(&arrangement, channels)) << channels;
    EXPECT_EQ(arrangement, nullptr);
  }
  EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
  EXPECT_TRUE(effect.deallocateArrangement(&arrangement));
  EXPECT_TRUE(effect.deallocateArrangement(nullptr));
  ASSERT_TRUE(effect.allocateArrangement(&arrangement, 3));
  EXPECT_TRUE(effect.deallocateArrangement(&arrangement));
  EXPECT_EQ(arrangement, nullptr);
}

TEST(SpeakerArrangements, CopySpeakerBoundsTheNameAndCopiesEveryOtherByte) {
  SpeakerEffect effect;
  VstSpeakerProperties from, to;
  std::memset(&from, 0x5A, sizeof from);  // a 64-byte name without a terminator
  std::memset(&to, 0x11, sizeof to);
  from.azimuth = std::nanf("7");
  ASSERT_TRUE(effect.copySpeaker(&to, &from));
  EXPECT_EQ(std::string(to.name), std::string(63, 'Z'));
  EXPECT_EQ(0, std::memcmp(&to, &from, offsetof(VstSpeakerProperties, name))) << "bit for bit";
  EXPECT_EQ(0, std::memcmp(&to.type, &from.type, 4 + 28));
  std::strcpy(from.name, "Ls");
  ASSERT_TRUE(effect.copySpeaker(&to, &from));
  EXPECT_EQ(std::string(to.name), "Ls");
  EXPECT_TRUE(allZeroFrom(to.name, 2, 64));
  ASSERT_TRUE(effect.copySpeaker(&to, &to)) << "onto itself";
  EXPECT_EQ(std::string(to.name), "Ls");
  const VstSpeakerProperties before = to;
  EXPECT_FALSE(effect.copySpeaker(nullptr, &from));
  EXPECT_FALSE(effect.copySpeaker(&to, nullptr));
  EXPECT_EQ(0, std::memcmp(&to, &before, sizeof to));
}

TEST(SpeakerArrangements, MatchMakesACompleteCopyThroughTheOtherTools) {
  SpeakerEffect effect;
  VstSpeakerArrangement from{};
  from.type = 7;
  from.numChannels = 3;
  for (int i = 0; i < 3; ++i) {
    from.speakers[i].type = 100 + i;
    from.speakers[i].name[0] = static_cast<char>('A' + i);
  }
  VstSpeakerArrangement* copy = nullptr;
  ASSERT_TRUE(effect.allocateArrangement(&copy, 5));
  ASSERT_TRUE(effect.matchArrangement(&copy, &from));
  EXPECT_EQ(0, std::memcmp(copy, &from, 8 + 3 * 112));
  EXPECT_TRUE(effect.matchArrangement(&copy, copy)) << "already matches itself";
  EXPECT_EQ(0, std::memcmp(copy, &from, 8 + 3 * 112));

  VstSpeakerArrangement* const held = copy;
  EXPECT_FALSE(effect.matchArrangement(&copy, nullptr));
  EXPECT_EQ(copy, held);

  effect.copies = 0;
  effect.failAfter = 1;  // the second copySpeaker fails: the first record stays copied
  EXPECT_FALSE(effect.matchArrangement(&copy, &from));
  EXPECT_EQ(copy->type, 7);
  EXPECT_EQ(copy->speakers[0].type, 100);
  EXPECT_TRUE(allZeroFrom(copy, 8 + 112, 8 + 3 * 112));

  from.numChannels = 0;
  ASSERT_TRUE(effect.matchArrangement(&copy, &from));
  EXPECT_EQ(copy->type, 7);
  EXPECT_EQ(copy->numChannels, 0);
  from.numChannels = -4;
  EXPECT_FALSE(effect.matchArrangement(&copy, &from));
  EXPECT_EQ(copy, nullptr);
  EXPECT_FALSE(effect.matchArrangement(nullptr, &from));
}

}  // namespace
