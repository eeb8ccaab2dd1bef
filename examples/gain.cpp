// Gain: the smallest useful effect. One parameter scales both channels, set
// and shown in decibels. The file reads in the order every example keeps:
// parameter table, state, construction, processing, texts, entry.
#include "vst/framework.h"

namespace {

// One line per parameter: name, range and default in its own unit. The
// framework answers every parameter call from this table.
enum Parameter : VstInt32 { kParamGain, kNumParams };

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::decibelParameter("Gain", -48.0, 12.0, 0.0),  // -48 to +12 dB, starting at 0 dB
};

class Gain : public vst::ParameterEffect<kNumParams> {
  // Eases the gain to a new value over a few milliseconds: a jump would click.
  vst::Smoother gain;

 public:
  explicit Gain(audioMasterCallback audioMaster) : ParameterEffect(audioMaster, 1, kParameters) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'G', 'n'));  // your own four characters
    canProcessReplacing();
    setVersion(1000);
  }

  // [host thread, suspended] Processing starts at the current gain, unsmoothed.
  void resume() override {
    gain.setTime(0.005, getSampleRate());
    gain.reset(factor(kParamGain));
    ParameterEffect::resume();
  }

  // [audio thread] Input and output may be the same buffer (in place): each
  // sample is read before its output is written.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    const float target = factor(kParamGain);  // decibels as a factor, read once per block
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      const float level = gain.next(target);
      outputs[0][i] = inputs[0][i] * level;
      outputs[1][i] = inputs[1][i] * level;
    }
  }

  // [host thread] Identity texts through the bounded copy, each within its kind's limit.
  bool getEffectName(char* name) override { return identity(name, "Gain", vst::kEffectNameText); }
  bool getVendorString(char* text) override {
    return identity(text, "Velmbrook", vst::kVendorText);
  }
  bool getProductString(char* text) override {
    return identity(text, "Gain example", vst::kProductText);
  }
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

 private:
  static bool identity(char* text, const char* value, vst::TextKind kind) {
    vst::copyText(text, value, kind);
    return true;
  }
};

}  // namespace

// The plug-in entry calls this once for every instance the host asks for.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Gain(audioMaster);
}
