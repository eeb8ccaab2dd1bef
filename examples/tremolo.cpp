// Tremolo: the level of both channels rises and falls with a slow sine, at a
// rate of its own or in time with the host's tempo. It shows state that
// processing carries from one block to the next (the oscillator's phase), a
// sample rate the host may change while suspended, and the host's time.
// Order: parameter table, state, construction, processing, texts, entry.
#include <cmath>

#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamRate, kParamDepth, kParamSync, kNumParams };

// Sync: free at Rate, or one cycle per note value of the host's tempo.
constexpr const char* kSyncNames[] = {"Off", "1/1", "1/2", "1/4", "1/8", "1/16"};
constexpr double kSyncBeats[] = {0.0, 4.0, 2.0, 1.0, 0.5, 0.25};  // quarter notes per cycle

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::logParameter("Rate", "Hz", 0.1, 20.0, 5.0),          // 0.1 to 20 Hz, from 5 Hz
    vst::linearParameter("Depth", "%", 0.0, 100.0, 50.0, 0),  // how far the level dips
    vst::choiceParameter("Sync", kSyncNames, 0),              // Off
};

constexpr vst::Identity kIdentity = {"Tremolo", "Velmbrook", "Tremolo example", 0};

constexpr double kTwoPi = 6.283185307179586;

class Tremolo : public vst::ParameterEffect<kNumParams> {
  // The oscillator's position in cycles, 0 to 1. Processing alone touches it;
  // it is kept across blocks so the level never jumps at a block's start.
  double phase = 0.0;

 public:
  explicit Tremolo(audioMasterCallback master)
      : ParameterEffect(master, 1, kParameters, kIdentity) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'T', 'r'));
    canProcessReplacing();
  }

  // [host thread, suspended] The phase starts over when processing resumes.
  void resume() override {
    phase = 0.0;
    ParameterEffect::resume();
  }

  // [audio thread] Synced, the rate follows the host's tempo and the phase
  // its position, so the dips fall on the beat. The host may answer null or
  // a record without a usable tempo: then the tremolo runs at Rate.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    double hz = plain(kParamRate);
    const double beats = kSyncBeats[choice(kParamSync)];
    if (beats > 0.0) {
      const vst::HostTime time = vst::readHostTime(getTimeInfo(kVstTempoValid | kVstPpqPosValid));
      if (time.hasTempo) hz = vst::beatRate(time.tempo, beats);
      if (time.playing && time.hasPosition) phase = vst::beatPhase(time.ppq, beats);
    }
    // The step per frame comes from the sample rate the host set last, so a
    // new rate keeps the tremolo's speed in hertz.
    const double step = hz / static_cast<double>(getSampleRate());
    const float depth = static_cast<float>(plain(kParamDepth) / 100.0);
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      const float level = 1.0f - depth * static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * phase));
      outputs[0][i] = inputs[0][i] * level;
      outputs[1][i] = inputs[1][i] * level;
      phase += step;
      if (phase >= 1.0) phase -= std::floor(phase);
    }
  }

  // [host thread, suspended] A rate of 0 or less, or none at all, would stop or reverse
  // the oscillator: such a rate is refused and the last good one kept.
  void setSampleRate(float newSampleRate) override {
    if (newSampleRate > 0.0f && std::isfinite(newSampleRate))
      ParameterEffect::setSampleRate(newSampleRate);
  }

  // [host thread] The identity texts come from kIdentity; the category is the effect's.
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Tremolo(audioMaster);
}
