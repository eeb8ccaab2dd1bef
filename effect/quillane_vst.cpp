#include "effect/quillane_vst.h"

#include <cstring>

#include "framework/text_copy.h"

namespace {

constexpr VstInt32 kRing = QuillaneVST::kDelayBufferLength;

// Truncates toward zero when the result is a 32-bit value; false for NaN,
// infinities and everything outside the range.
bool truncateToInt32(float value, VstInt32& result) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) return false;
  result = static_cast<VstInt32>(value);
  return true;
}

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) QuillaneVST(audioMaster);
}

QuillaneVST::QuillaneVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, 1, kNumParams),
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

VstInt32 QuillaneVST::delayFramesFor(float depthMs, float sampleRate) {
  VstInt32 frames = 0;
  if (!truncateToInt32(depthMs * sampleRate / 1000.0f, frames)) return 0;
  if (frames > kRing) return 0;
  // (writePos - frames + kRing) must stay within 32 bits for writePos up to kRing.
  if (frames < -(0x7FFFFFFF - 2 * kRing)) return 0;
  return frames;
}

void QuillaneVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  delaySamples = delayFramesFor(depthMs, sampleRate);
  const VstInt32 delay = delaySamples;
  const float* inLeft = inputs[0];
  const float* inRight = inputs[1];
  for (VstInt32 i = 0; i < sampleFrames; ++i) {
    if (writePos >= kRing) writePos = 0;
    delayBuffer[0][writePos] = inLeft[i];
    delayBuffer[1][writePos] = inRight[i];
    ++writePos;
    const VstInt32 mode = inputMode;
    const VstInt32 channel = delayedChannel;
    if (delay == 0) {
      switch (mode) {
        case kInputLeft:
        case kInputRight:
        case kInputMono: {
          const float value = mode == kInputLeft    ? inLeft[i]
                              : mode == kInputRight ? inRight[i]
                                                    : (inLeft[i] + inRight[i]) * 0.5f;
          outputs[1][i] = value;
          outputs[0][i] = value;
          break;
        }
        default:
          outputs[0][i] = inLeft[i];
          outputs[1][i] = inRight[i];
          break;
      }
      continue;
    }
    const VstInt32 c = channel;
    const VstInt32 u = 1 - c;
    const VstInt32 r = (writePos - delay + kRing) % kRing;
    switch (mode) {
      case kInputLeft:
        outputs[u][i] = inLeft[i];
        outputs[c][i] = delayBuffer[0][r];
        break;
      case kInputRight:
        outputs[u][i] = inRight[i];
        outputs[c][i] = delayBuffer[1][r];
        break;
      case kInputMono:
        outputs[u][i] = (inLeft[i] + inRight[i]) * 0.5f;
        outputs[c][i] = (delayBuffer[0][r] + delayBuffer[1][r]) * 0.5f;
        break;
      default:
        outputs[u][i] = inputs[u][i];
        outputs[c][i] = delayBuffer[c][r];
        break;
    }
  }
}

void QuillaneVST::setParameter(VstInt32 index, float value) {
  switch (index) {
    case kParamInput: {
      // NaN and values whose product has no 32-bit value saturate to a value
      // outside 0 to 3, which behaves like Stereo.
      VstInt32 mode = 0;
      if (!truncateToInt32(value * 4.0f, mode)) mode = value > 0.0f ? 0x7FFFFFFF : -0x7FFFFFFF - 1;
      inputMode = mode == 4 ? kInputMono : mode;
      break;
    }
    case kParamChannel: delayedChannel = value >= 0.5f ? 1 : 0; break;
    case kParamDepth: depthMs = value * 50.0f; break;
    default: break;
  }
}

float QuillaneVST::getParameter(VstInt32 index) {
  switch (index) {
    case kParamInput: return static_cast<float>(inputMode.load()) * 0.25f;
    case kParamChannel: return static_cast<float>(delayedChannel.load()) * 0.5f;
    case kParamDepth: return depthMs / 50.0f;
    default: return 0.0f;
  }
}

void QuillaneVST::getParameterName(VstInt32 index, char* text) {
  static const char* const kNames[kNumParams] = {"Input", "Channel", "Depth"};
  if (index >= 0 && index < kNumParams) vst::copyText(text, kNames[index], kVstMaxParamStrLen);
}

void QuillaneVST::getParameterLabel(VstInt32 index, char* label) {
  static const char* const kLabels[kNumParams] = {"", "", "ms"};
  if (index >= 0 && index < kNumParams) vst::copyText(label, kLabels[index], kVstMaxParamStrLen);
}

void QuillaneVST::getParameterDisplay(VstInt32 index, char* text) {
  switch (index) {
    case kParamInput: {
      const VstInt32 mode = inputMode;
      const char* name = mode == kInputLeft    ? "L"
                         : mode == kInputRight ? "R"
                         : mode == kInputMono  ? "Mono"
                                               : "Stereo";
      vst::copyText(text, name, kVstMaxParamStrLen);
      break;
    }
    case kParamChannel:
      vst::copyText(text, delayedChannel == 0 ? "L" : "R", kVstMaxParamStrLen);
      break;
    case kParamDepth: float2string(depthMs, text, kVstMaxParamStrLen); break;
    default: break;
  }
}

// The effect name and the product name are the same text.
bool QuillaneVST::getEffectName(char* name) {
  vst::copyText(name, "Orsolane", kIdentityTextLength);
  return true;
}

bool QuillaneVST::getProductString(char* text) { return QuillaneVST::getEffectName(text); }

bool QuillaneVST::getVendorString(char* text) {
  vst::copyText(text, "Velmbrook", kIdentityTextLength);
  return true;
}
