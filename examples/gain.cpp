// Gain: the smallest useful effect. One parameter scales both channels, set
// and shown in decibels. The file reads in the order every example keeps:
// parameter table, state, construction, processing, texts, entry.
#include "vst/editor/generic_editor.h"
#include "vst/framework.h"

namespace {

// One line per parameter: name, range and default in its own unit. The
// framework answers every parameter call from this table.
enum Parameter : VstInt32 { kParamGain, kNumParams };

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::decibelParameter("Gain", -48.0, 12.0, 0.0),  // -48 to +12 dB, starting at 0 dB
};

// What a host shows of the effect: its name, vendor and product (each at most
// 24 characters; a longer literal does not compile) and a vendor version of
// your own (0 here). The framework answers the identity calls from this record.
constexpr vst::Identity kIdentity = {"Gain", "Velmbrook", "Gain example", 0};

class Gain : public vst::ParameterEffect<kNumParams> {
  // Eases the gain to a new value over a few milliseconds: a jump would click.
  vst::Smoother gain;

 public:
  explicit Gain(audioMasterCallback master) : ParameterEffect(master, 1, kParameters, kIdentity) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'G', 'n'));  // your own four characters
    canProcessReplacing();
    setVersion(1000);
    setEditor(new vst::GenericEditor(this));  // a knob for the gain, laid out from the table
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

  // [host thread] The category hosts sort the effect under.
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
};

}  // namespace

// The plug-in entry calls this once for every instance the host asks for.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Gain(audioMaster);
}
