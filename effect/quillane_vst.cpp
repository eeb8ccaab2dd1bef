#include "effect/quillane_vst.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

// The output must be bit-identical to the plain per-frame arithmetic.
#if defined(__FAST_MATH__)
#error "Orsolane must not be built with -ffast-math: it changes the samples"
#endif

#include "framework/text_copy.h"

namespace {

constexpr VstInt32 kRing = QuillaneVST::kDelayBufferLength;
// Input and Channel are read at least once per this many frames.
constexpr VstInt32 kParameterRun = 64;

// Truncates toward zero when the result is a 32-bit value; false for NaN,
// infinities and everything outside the range.
bool truncateToInt32(float value, VstInt32& result) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) return false;
  result = static_cast<VstInt32>(value);
  return true;
}

// Copies samples; nothing to do when both are the same buffer. Buffers that
// overlap otherwise never reach here with more than one sample.
void copySamples(float* to, const float* from, VstInt32 count) {
  if (to != from && count > 0) std::memcpy(to, from, sizeof(float) * static_cast<size_t>(count));
}

// to[i] = (a[i] + b[i]) * 0.5, each sample read before the same index is
// written, so `to` may be `a` or `b`. Four samples at a time with SSE2, which
// every x86-64 processor has; the same IEEE single-precision operations either way.
void meanOfSamples(float* to, const float* a, const float* b, VstInt32 count) {
  VstInt32 i = 0;
#if defined(__SSE2__) || defined(_M_X64)
  const __m128 half = _mm_set1_ps(0.5f);
  for (; i + 4 <= count; i += 4) {
    _mm_storeu_ps(to + i, _mm_mul_ps(_mm_add_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)), half));
  }
#endif
  for (; i < count; ++i) to[i] = (a[i] + b[i]) * 0.5f;
}

// Reads `count` samples of a ring row starting at `from`, wrapping at its end.
void copyFromRing(float* to, const float* row, VstInt32 from, VstInt32 count) {
  const VstInt32 first = std::min(count, kRing - from);
  copySamples(to, row + from, first);
  copySamples(to + first, row, count - first);
}

void meanFromRing(float* to, const float* left, const float* right, VstInt32 from,
                  VstInt32 count) {
  const VstInt32 first = std::min(count, kRing - from);
  meanOfSamples(to, left + from, right + from, first);
  meanOfSamples(to + first, left, right, count - first);
}

// True when two buffers of `count` samples share memory without being the same.
bool overlapsPartly(const float* a, const float* b, VstInt32 count) {
  const auto x = reinterpret_cast<std::uintptr_t>(a);
  const auto y = reinterpret_cast<std::uintptr_t>(b);
  const auto bytes = sizeof(float) * static_cast<std::uintptr_t>(count);
  return x != y && x < y + bytes && y < x + bytes;
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

// Processing moves whole stretches of frames at a time instead of one frame at
// a time, and gives exactly the output of the frame-by-frame order (store both
// inputs in the ring, advance the position, read Input and Channel, write the
// undelayed output, then the delayed one):
// - The ring store of a stretch comes first, so every input sample is read
//   before any output is written; in-place and swapped buffers then see the
//   values the frame-by-frame order sees. Each copy that reads an input sample
//   reads it before writing the same index, and the outputs are written in the
//   same order (undelayed, then delayed; left, then right in Stereo pass-through).
// - Storing a stretch before reading its delayed samples is right as long as no
//   store of a later frame of the stretch lands on a position an earlier frame
//   reads: with the delayed output `lag` frames behind, stretches hold at most
//   kRing - lag frames. For lags within kParameterRun of the ring's length (a
//   Depth of exactly a ring or a small negative one), the delayed samples of at
//   most kParameterRun frames are read into a scratch row before the store.
// - Buffers that overlap without being the same (no host hands those over) are
//   processed frame by frame through the same steps.
void QuillaneVST::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  delaySamples = delayFramesFor(depthMs, sampleRate);
  if (sampleFrames <= 0) return;
  const VstInt32 delay = delaySamples;
  Piece piece{};
  piece.delayed = delay != 0;
  // The delayed output lags its source by (delay - 1) frames, taken into the
  // ring: 0 to kRing - 1 (a negative delay reads older history).
  piece.lag = piece.delayed ? static_cast<VstInt32>(
                                  ((static_cast<std::int64_t>(delay) - 1) % kRing + kRing) % kRing)
                            : 0;
  const bool readFirst = piece.delayed && kRing - piece.lag < kParameterRun;
  const VstInt32 longestPiece = !piece.delayed || piece.lag == 0 ? kRing
                                : readFirst                      ? kParameterRun
                                                                 : kRing - piece.lag;
  const bool frameByFrame = overlapsPartly(outputs[0], outputs[1], sampleFrames) ||
                            overlapsPartly(outputs[0], inputs[0], sampleFrames) ||
                            overlapsPartly(outputs[0], inputs[1], sampleFrames) ||
                            overlapsPartly(outputs[1], inputs[0], sampleFrames) ||
                            overlapsPartly(outputs[1], inputs[1], sampleFrames);
  const VstInt32 runLength = frameByFrame ? 1 : kParameterRun;

  VstInt32 position = writePos;
  VstInt32 done = 0;
  while (done < sampleFrames) {
    // Input and Channel are relaxed atomics. They are read once per run of at
    // most kParameterRun frames: a relaxed load may go on returning the value
    // it last saw until a new store becomes visible, so this is one of the
    // executions "read for every frame" allows, and a change from another thread
    // takes effect within kParameterRun frames. The loads of following runs may
    // be made before the copies of earlier ones (relaxed loads are not ordered
    // with the writes to the buffers); runs that read the same values are
    // processed together.
    const VstInt32 mode = inputMode;
    const VstInt32 channel = delayedChannel;
    VstInt32 end = done + std::min(runLength, sampleFrames - done);
    while (end < sampleFrames && runLength > 1 && inputMode == mode && delayedChannel == channel) {
      end += std::min(runLength, sampleFrames - end);
    }
    piece.mode = mode;
    piece.channel = channel;
    while (done < end) {
      if (position >= kRing) position = 0;
      piece.count = std::min({end - done, kRing - position, longestPiece});
      piece.position = position;
      piece.inLeft = inputs[0] + done;
      piece.inRight = inputs[1] + done;
      piece.outLeft = outputs[0] + done;
      piece.outRight = outputs[1] + done;
      processPiece(piece);
      position += piece.count;
      done += piece.count;
    }
  }
  writePos = position;
}

void QuillaneVST::processPiece(const Piece& piece) {
  const VstInt32 count = piece.count;
  float* ringLeft = delayBuffer[0];
  float* ringRight = delayBuffer[1];
  const bool mono = piece.mode == kInputMono;
  const VstInt32 c = piece.channel == 0 ? 0 : 1;  // the delayed output channel
  // The ring rows the delayed output comes from (both rows, averaged, in Mono).
  const float* delayedRow = piece.mode == kInputLeft    ? ringLeft
                            : piece.mode == kInputRight ? ringRight
                            : mono                      ? ringLeft
                                                        : delayBuffer[c];
  // Position of the first delayed sample: `lag` frames behind the first store.
  const VstInt32 readFrom = piece.position >= piece.lag ? piece.position - piece.lag
                                                        : piece.position - piece.lag + kRing;
  const bool readFirst = piece.delayed && kRing - piece.lag < kParameterRun;
  float early[kParameterRun];
  if (readFirst) {
    if (mono) {
      meanFromRing(early, ringLeft, ringRight, readFrom, count);
    } else {
      copyFromRing(early, delayedRow, readFrom, count);
    }
  }

  copySamples(ringLeft + piece.position, piece.inLeft, count);
  copySamples(ringRight + piece.position, piece.inRight, count);

  if (!piece.delayed) {
    switch (piece.mode) {
      case kInputLeft:
      case kInputRight: {
        const float* source = piece.mode == kInputLeft ? piece.inLeft : piece.inRight;
        copySamples(piece.outRight, source, count);  // the source is unchanged unless it
        copySamples(piece.outLeft, source, count);   // is outRight itself
        break;
      }
      case kInputMono:
        meanOfSamples(piece.outRight, piece.inLeft, piece.inRight, count);
        copySamples(piece.outLeft, piece.outRight, count);
        break;
      default:
        copySamples(piece.outLeft, piece.inLeft, count);
        copySamples(piece.outRight, piece.inRight, count);
        break;
    }
    return;
  }

  float* undelayed = c == 0 ? piece.outRight : piece.outLeft;
  float* delayed = c == 0 ? piece.outLeft : piece.outRight;
  switch (piece.mode) {
    case kInputLeft: copySamples(undelayed, piece.inLeft, count); break;
    case kInputRight: copySamples(undelayed, piece.inRight, count); break;
    case kInputMono: meanOfSamples(undelayed, piece.inLeft, piece.inRight, count); break;
    default: copySamples(undelayed, c == 0 ? piece.inRight : piece.inLeft, count); break;
  }
  if (readFirst) {
    copySamples(delayed, early, count);
  } else if (mono) {
    meanFromRing(delayed, ringLeft, ringRight, readFrom, count);
  } else {
    copyFromRing(delayed, delayedRow, readFrom, count);
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
