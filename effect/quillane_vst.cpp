// The effect: its identity, its parameters, its construction, and one
// processing call handed to the delay processing.
#include "quillane_vst.h"

#include <cstring>
#include <new>

#include "vst/text_copy.h"

// Identity: the effect name and the product name are the same text. The
// framework writes each as exactly 25 bytes into the host's buffer (at most 24
// characters, zero-filled, then a zero byte) and answers true.
constexpr vst::Identity kIdentity = {"Orsolane", "Velmbrook", "Orsolane", 0};

// Parameters. The texts go into the host's buffer as at most the parameter
// text kinds' 8 characters, zero-filled.
const QuillaneVST::ParameterInfo QuillaneVST::kParameters[kNumParams] = {
    {"Input", "",
     [](QuillaneVST& effect, float value) {
       // NaN and values whose product has no 32-bit value saturate to a value
       // outside 0 to 3, which behaves like Stereo.
       VstInt32 mode = 0;
       if (!orsolane::truncateToInt32(value * 4.0f, mode)) {
         mode = value > 0.0f ? 0x7FFFFFFF : -0x7FFFFFFF - 1;
       }
       effect.inputMode = mode == 4 ? kInputMono : mode;
     },
     [](const QuillaneVST& effect) { return static_cast<float>(effect.inputMode.load()) * 0.25f; },
     [](QuillaneVST& effect, char* text) {
       const VstInt32 mode = effect.inputMode;
       const char* name = mode == kInputLeft    ? "L"
                          : mode == kInputRight ? "R"
                          : mode == kInputMono  ? "Mono"
                                                : "Stereo";
       vst::copyText(text, name, vst::kParameterDisplayText);
     }},
    {"Channel", "",
     [](QuillaneVST& effect, float value) { effect.delayedChannel = value >= 0.5f ? 1 : 0; },
     [](const QuillaneVST& effect) {
       return static_cast<float>(effect.delayedChannel.load()) * 0.5f;
     },
     [](QuillaneVST& effect, char* text) {
       vst::copyText(text, effect.delayedChannel == 0 ? "L" : "R", vst::kParameterDisplayText);
     }},
    {"Depth", "ms", [](QuillaneVST& effect, float value) { effect.depthMs = value * 50.0f; },
     [](const QuillaneVST& effect) { return effect.depthMs / 50.0f; },
     [](QuillaneVST& effect, char* text) {
       effect.float2string(effect.depthMs, text, vst::kParameterDisplayText.maxCharacters());
     }},
};

// Construction.
QuillaneVST::QuillaneVST(audioMasterCallback audioMaster)
    : IdentityEffect(audioMaster, 1, kNumParams, kIdentity),
      inputMode(kInputStereo),
      delayedChannel(1),
      depthMs(10.0f),
      writePos(0) {
  // delaySamples keeps the zero of the freshly filled block.
  setNumInputs(2);
  setNumOutputs(2);
  canProcessReplacing(true);
  programsAreChunks(false);
  setFlag(effFlagsIsSynth, false);
  setUniqueID(kUniqueId);
  std::memset(delayBuffer, 0, sizeof delayBuffer);
}

// Processing: Depth and the sample rate once for the call, Input and Channel
// for its first run of frames; the delay processing reads those two again for
// every later run.
void QuillaneVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  const orsolane::Block block{inputs,     outputs,   sampleFrames,  depthMs,
                              sampleRate, inputMode, delayedChannel};
  processing.process({delayBuffer, writePos, delaySamples}, {inputMode, delayedChannel}, block);
}

// Parameters: indices outside the table are ignored.
void QuillaneVST::setParameter(VstInt32 index, float value) {
  if (index >= 0 && index < kNumParams) kParameters[index].set(*this, value);
}

float QuillaneVST::getParameter(VstInt32 index) {
  return index >= 0 && index < kNumParams ? kParameters[index].get(*this) : 0.0f;
}

void QuillaneVST::getParameterName(VstInt32 index, char* text) {
  if (index >= 0 && index < kNumParams) {
    vst::copyText(text, kParameters[index].name, vst::kParameterNameText);
  }
}

void QuillaneVST::getParameterLabel(VstInt32 index, char* label) {
  if (index >= 0 && index < kNumParams) {
    vst::copyText(label, kParameters[index].label, vst::kParameterLabelText);
  }
}

void QuillaneVST::getParameterDisplay(VstInt32 index, char* text) {
  if (index >= 0 && index < kNumParams) kParameters[index].display(*this, text);
}

// The entry's instance.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) QuillaneVST(audioMaster);
}
