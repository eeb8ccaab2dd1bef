// Width: a mid/side widener with the fault plug-in developers meet first. It
// writes the whole left output before it reads the left input again for the
// right side, which is wrong when the host processes in place (the inputs and
// outputs are the same buffers, as in most hosts). vsthost check fails it.
#include "vst/framework.h"

// No parameter table, so the identity goes to vst::IdentityEffect directly.
constexpr vst::Identity kIdentity = {"My Width", "Me", "My Width", 1};

class Width : public vst::IdentityEffect {
 public:
  explicit Width(audioMasterCallback audioMaster) : IdentityEffect(audioMaster, 1, 0, kIdentity) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('M', 'y', 'W', 'd'));
    canProcessReplacing();
  }

  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    for (VstInt32 i = 0; i < sampleFrames; ++i)
      outputs[0][i] = 1.5f * inputs[0][i] - 0.5f * inputs[1][i];
    for (VstInt32 i = 0; i < sampleFrames; ++i)
      outputs[1][i] = 1.5f * inputs[1][i] - 0.5f * inputs[0][i];  // reads the left output
  }
};

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Width(audioMaster);
}
