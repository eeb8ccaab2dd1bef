// Declared parameters: the mapping of each kind against values worked out by
// hand, the texts typed by a user (good and bad) through the dispatcher, the
// identity record's answers, the smoother, and the host's time read safely.
#include "vst/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "vst/host_time.h"

namespace {

constexpr const char* kModes[] = {"Stereo", "L", "R", "Mono"};
constexpr vst::ParameterSpec kTable[] = {
    vst::decibelParameter("Gain", -48.0, 12.0, 0.0),
    vst::logParameter("Cutoff", "Hz", 20.0, 20000.0, 1000.0, 1),
    vst::linearParameter("Depth", "ms", 0.0, 50.0, 10.0, 2),
    vst::choiceParameter("Input", kModes, 0),
    vst::stepParameter("Voices", "", 1, 16, 4),
    vst::linearParameter("Wide", "Hz", 0.0, 1e7, 0.0, 3),
};
enum { kGain, kCutoff, kDepth, kInput, kVoices, kWide, kCount };

class Effect : public vst::ParameterEffect<kCount> {
 public:
  Effect() : ParameterEffect(nullptr, 1, kTable) {}
  explicit Effect(const vst::Identity& identity) : ParameterEffect(nullptr, 1, kTable, identity) {}
  void processReplacing(float**, float**, VstInt32) override {}
  using ParameterEffect::choice;
  using ParameterEffect::factor;
  using ParameterEffect::plain;
  std::string display(VstInt32 index) {
    char text[kVstMaxParamStrLen + 1];
    dispatcher(effGetParamDisplay, index, 0, text, 0.0f);
    return text;
  }
  bool type(VstInt32 index, const char* text) {
    char copy[256] = {};
    if (text != nullptr) std::snprintf(copy, sizeof copy, "%s", text);
    return dispatcher(effString2Parameter, index, 0, text != nullptr ? copy : nullptr, 0.0f) == 1;
  }
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Normalised value, plain value and display, each row worked out by hand.
TEST(DeclaredParameters, EachMappingMeetsValuesWorkedOutByHand) {
  const struct {
    int index;
    float normalised;
    double plain;
    const char* display;
  } rows[] = {
      {kGain, 0.7f, -6.0, "-6.00"},  // -48 + 0.7 * 60
      {kGain, 0.0f, -48.0, "-48.00"},
      {kCutoff, 0.5f, 632.455532, "632.5"},  // 20 * 1000^0.5, the geometric middle
      {kCutoff, 1.0f, 20000.0, "20000.0"},
      {kDepth, 0.25f, 12.5, "12.50"},
      {kInput, 2.0f / 3.0f, 2.0, "R"},   // four choices at 0, 1/3, 2/3, 1
      {kVoices, 1.0f / 3.0f, 6.0, "6"},  // 1 + 5 of 15 steps
      {kWide, 1.0f, 1e7, "10000000"},    // too long with 3 decimals: as many as fit
      {kWide, 0.0999999f, 999999.0, "999999.0"},
  };
  for (const auto& row : rows) {
    const vst::ParameterSpec& parameter = kTable[row.index];
    const std::string which = std::string(parameter.name) + " at " + std::to_string(row.normalised);
    EXPECT_NEAR(vst::toPlain(parameter, row.normalised), row.plain,
                1e-4 * std::fabs(row.plain) + 1e-9)
        << which;
    EXPECT_NEAR(vst::toNormalised(parameter, row.plain), row.normalised, 1e-6) << which;
    Effect effect;
    effect.setParameter(row.index, row.normalised);
    EXPECT_EQ(effect.display(row.index), row.display) << which;
  }
  // Choices and steps snap to their own values; what was read back stays put.
  Effect effect;
  effect.setParameter(kInput, 0.4f);
  EXPECT_EQ(effect.getParameter(kInput), 1.0f / 3.0f);
  EXPECT_EQ(effect.choice(kInput), 1);
  effect.setParameter(kInput, effect.getParameter(kInput));
  EXPECT_EQ(effect.choice(kInput), 1);
  // Outside 0 to 1 clamps, NaN and foreign indices change nothing, NaN plain
  // values are the default, and the gain comes as a factor.
  effect.setParameter(kDepth, 7.0f);
  EXPECT_EQ(effect.plain(kDepth), 50.0);
  effect.setParameter(kDepth, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(effect.plain(kDepth), 50.0);
  effect.setParameter(kCount, 0.5f);
  effect.setParameter(-1, 0.5f);
  EXPECT_EQ(effect.getParameter(kCount), 0.0f);
  EXPECT_EQ(vst::toNormalised(kTable[kDepth], kNaN), 0.2f);
  EXPECT_FLOAT_EQ(effect.factor(kGain), 1.0f);
  effect.setParameter(kGain, 0.7f);
  EXPECT_NEAR(effect.factor(kGain), 0.501187, 1e-6);
  EXPECT_NEAR(vst::dbToFactor(-6.0206), 0.5, 1e-5);
  EXPECT_EQ(vst::factorToDb(0.0), -200.0);
  EXPECT_EQ(vst::dbToFactor(kNaN), 0.0);
  // A negative value that rounds to zero shows no sign.
  EXPECT_EQ(effect.display(kVoices), "4");
  char text[16];
  vst::formatValue(kTable[kDepth], -0.001, text, kVstMaxParamStrLen);
  EXPECT_STREQ(text, "0.00");
}

// What a user types, through effString2Parameter: with or without the unit,
// clamped when beyond the range, refused when it is not a value.
TEST(DeclaredParameters, TypedTextIsReadOrRefused) {
  const struct {
    int index;
    const char* text;
    bool read;
    double plain;  // after reading; unchanged from the default when refused
  } rows[] = {
      {kGain, "-6 dB", true, -6.0},
      {kGain, "-6dB", true, -6.0},
      {kGain, "  -6  ", true, -6.0},
      {kGain, "+3DB", true, 3.0},
      {kGain, "-100 dB", true, -48.0},  // clamped
      {kGain, "1e1", true, 10.0},
      {kGain, ".5", true, 0.5},
      {kGain, "-6,5", false, 0.0},  // a comma is no decimal point
      {kGain, "-6 Hz", false, 0.0},
      {kGain, "", false, 0.0},
      {kGain, "   ", false, 0.0},
      {kGain, "nan", false, 0.0},
      {kGain, "inf dB", false, 0.0},
      {kGain, "-inf", false, 0.0},
      {kGain, "1e999", false, 0.0},
      {kGain, "-", false, 0.0},
      {kGain, "6 dB extra", false, 0.0},
      {kGain, "0000000000000000000000000000000000000000000000000000000000000001", false, 0.0},
      {kGain, nullptr, false, 0.0},
      {kCutoff, "1.5kHz", true, 1500.0},
      {kCutoff, "440 hz", true, 440.0},
      {kCutoff, "1.5k", false, 1000.0},
      {kInput, "mono", true, 3.0},
      {kInput, "L", true, 1.0},
      {kInput, "2", true, 2.0},
      {kInput, "9", true, 3.0},  // clamped
      {kInput, "Left", false, 0.0},
      {kInput, "1 Hz", false, 0.0},
      {kVoices, "7.6", true, 8.0},
      {kCount, "1", false, 0.0},
  };
  for (const auto& row : rows) {
    Effect effect;
    const double before = effect.plain(row.index);
    const std::string which = std::string(row.text != nullptr ? row.text : "(null)");
    EXPECT_EQ(effect.type(row.index, row.text), row.read) << which;
    const double expected = row.read ? row.plain : before;
    EXPECT_NEAR(effect.plain(row.index), expected, 1e-6 * std::fabs(expected) + 1e-9) << which;
  }
}

// The identity record answers the four identity calls: each text exactly 25
// bytes into the host's buffer (a name of the full 24 characters whole), the
// vendor version as given. Without a record the framework's defaults stand:
// nothing written, 0.
TEST(DeclaredIdentity, AnswersTheIdentityCallsWithinTheirLimits) {
  static constexpr vst::Identity kIdentity = {"Twenty-four characters!!", "Vendor", "", 1234};
  Effect identified(kIdentity), anonymous;
  const struct {
    VstInt32 opcode;
    const char* text;
  } rows[] = {{effGetEffectName, "Twenty-four characters!!"},
              {effGetVendorString, "Vendor"},
              {effGetProductString, ""}};
  for (const auto& row : rows) {
    std::string buffer(64, 'x'), expected(64, 'x');
    expected.replace(0, 25, 25, '\0');
    expected.replace(0, std::strlen(row.text), row.text);
    EXPECT_EQ(identified.dispatcher(row.opcode, 0, 0, &buffer[0], 0.0f), 1) << row.text;
    EXPECT_EQ(buffer, expected) << row.text;
    buffer.assign(64, 'x');
    EXPECT_EQ(anonymous.dispatcher(row.opcode, 0, 0, &buffer[0], 0.0f), 0) << row.text;
    EXPECT_EQ(buffer, std::string(64, 'x')) << row.text;
  }
  EXPECT_EQ(identified.dispatcher(effGetVendorVersion, 0, 0, nullptr, 0.0f), 1234);
  EXPECT_EQ(anonymous.dispatcher(effGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
}

TEST(Smoother, EasesTowardsTheTargetAndLandsOnIt) {
  vst::Smoother smoother;
  smoother.setTime(0.001, 48000.0);  // 48 samples to about 63 %
  smoother.reset(0.0f);
  float value = 0.0f;
  for (int i = 0; i < 48; ++i) value = smoother.next(1.0f);
  EXPECT_NEAR(value, 1.0 - std::exp(-1.0), 0.01);
  for (int i = 0; i < 2000; ++i) value = smoother.next(1.0f);
  EXPECT_EQ(value, 1.0f) << "settles exactly, no denormal tail";
  EXPECT_EQ(smoother.next(std::numeric_limits<float>::quiet_NaN()), 1.0f);
  // Without a usable time or rate it jumps.
  for (double rate : {0.0, -1.0, kNaN}) {
    smoother.setTime(0.01, rate);
    smoother.reset(0.0f);
    EXPECT_EQ(smoother.next(0.25f), 0.25f) << rate;
  }
}

TEST(HostTime, OnlyWhatCanBeUsedIsKept) {
  EXPECT_FALSE(vst::readHostTime(nullptr).hasTempo);
  VstTimeInfo info{};
  info.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstTransportPlaying;
  info.ppqPos = 5.5;
  for (double tempo : {0.0, -120.0, kNaN, 1e300}) {
    info.tempo = tempo;
    EXPECT_FALSE(vst::readHostTime(&info).hasTempo) << tempo;
  }
  info.tempo = 140.0;
  const vst::HostTime time = vst::readHostTime(&info);
  EXPECT_TRUE(time.hasTempo && time.hasPosition && time.playing);
  EXPECT_FALSE(time.hasSignature) << "0/0";
  info.flags &= ~kVstTempoValid;
  EXPECT_FALSE(vst::readHostTime(&info).hasTempo) << "a tempo the host did not mark valid";

  EXPECT_DOUBLE_EQ(vst::beatPhase(5.5, 1.0), 0.5);
  EXPECT_DOUBLE_EQ(vst::beatPhase(-0.25, 1.0), 0.75);  // before the song's start
  EXPECT_DOUBLE_EQ(vst::beatPhase(6.0, 4.0), 0.5);
  EXPECT_EQ(vst::beatPhase(kNaN, 1.0), 0.0);
  EXPECT_EQ(vst::beatPhase(1.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(vst::beatRate(120.0, 1.0), 2.0);
  EXPECT_DOUBLE_EQ(vst::beatRate(120.0, 0.25), 8.0);
  EXPECT_EQ(vst::beatRate(kNaN, 1.0), 0.0);
}

}  // namespace
