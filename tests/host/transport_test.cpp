// The time the host library answers: a transport that moves with the blocks
// rendered, against positions worked out by hand; and null when asked to.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vst/host.h"

namespace {

const VstTimeInfo& answered(host::Host& host) {
  const VstIntPtr answer = host.defaultAnswer({nullptr, audioMasterGetTime, 0, 0, nullptr, 0.0f});
  EXPECT_NE(answer, 0);
  return *reinterpret_cast<const VstTimeInfo*>(answer);
}

TEST(Transport, MovesWithTheBlocksAtTheTempoSet) {
  host::Host host;
  host.setSampleRate(44100.0f);
  host::Transport& transport = host.transport();
  const VstInt32 always =
      kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  EXPECT_EQ(answered(host).flags, always | kVstTransportPlaying | kVstTransportChanged);

  // 120 BPM: 441 frames are 0.01 s, 0.02 quarter notes.
  for (int i = 0; i < 3; ++i) transport.advance(441);
  EXPECT_DOUBLE_EQ(answered(host).samplePos, 1323.0);
  EXPECT_NEAR(answered(host).ppqPos, 0.06, 1e-12);
  EXPECT_EQ(answered(host).flags, always | kVstTransportPlaying) << "changed only at the start";
  EXPECT_NEAR(answered(host).nanoSeconds, 0.03e9, 1.0);
  // 90 BPM from here on: 882 frames add 0.03.
  ASSERT_TRUE(transport.setTempo(90.0));
  transport.advance(882);
  EXPECT_NEAR(answered(host).ppqPos, 0.09, 1e-12);
  EXPECT_EQ(answered(host).tempo, 90.0);
  // 4/4 bars are 4 quarter notes, 6/8 bars 3: at 4.59 the bar began at 4 and at 3.
  transport.advance(44100 * 3);  // + 4.5
  EXPECT_NEAR(answered(host).ppqPos, 4.59, 1e-9);
  EXPECT_EQ(answered(host).barStartPos, 4.0);
  ASSERT_TRUE(transport.setTimeSignature(6, 8));
  EXPECT_EQ(answered(host).barStartPos, 3.0);
  EXPECT_EQ(answered(host).timeSigNumerator, 6);
  EXPECT_EQ(answered(host).timeSigDenominator, 8);

  // Stopped, it keeps its place; the first block after a change says so.
  transport.setPlaying(false);
  EXPECT_EQ(answered(host).flags, always | kVstTransportChanged);
  transport.advance(44100);
  EXPECT_NEAR(answered(host).ppqPos, 4.59, 1e-9);
  EXPECT_EQ(answered(host).flags, always);
  transport.setPlaying(true);

  // A cycle from 5 to 6: 1.5 quarter notes on from 4.59 is 6.09, which jumps
  // back to 5.09, and the sample position by one quarter note, 29400 frames.
  ASSERT_TRUE(transport.setCycle(true, 5.0, 6.0));
  const double samplesBefore = answered(host).samplePos;
  transport.advance(44100);
  EXPECT_NEAR(answered(host).ppqPos, 5.09, 1e-9);
  EXPECT_NEAR(answered(host).samplePos, samplesBefore + 44100 - 29400, 1e-6);
  EXPECT_EQ(
      answered(host).flags & (kVstTransportChanged | kVstTransportCycleActive | kVstCyclePosValid),
      kVstTransportChanged | kVstTransportCycleActive | kVstCyclePosValid);
  EXPECT_EQ(answered(host).cycleEndPos, 6.0);

  // What no transport has is refused and changes nothing.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double bpm : {0.0, -120.0, nan, 1e9}) EXPECT_FALSE(transport.setTempo(bpm)) << bpm;
  EXPECT_FALSE(transport.setTimeSignature(0, 0));
  EXPECT_FALSE(transport.setCycle(true, 6.0, 5.0));
  EXPECT_FALSE(transport.setCycle(true, nan, 5.0));
  EXPECT_EQ(answered(host).tempo, 90.0);

  // Some hosts answer null.
  transport.setAnswersNull(true);
  EXPECT_EQ(host.defaultAnswer({nullptr, audioMasterGetTime, 0, 0, nullptr, 0.0f}), 0);
}

}  // namespace
