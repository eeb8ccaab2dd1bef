// Where one stretch of frames of a processing block comes from and goes to;
// shared by the effect, which keeps one planned, and its processing kernels.
#pragma once

#include "vst/types.h"

namespace orsolane {

// The stretch's ring positions do not wrap, nor do the positions its delayed
// samples come from.
struct Stretch {
  const float* inLeft;
  const float* inRight;
  float* ringLeft;  // where this stretch's inputs are stored
  float* ringRight;
  float* outLeft;
  float* outRight;
  float* outUndelayed;  // outLeft or outRight
  float* outDelayed;    // the other one
  // Ring rows (or their early copies) at the delayed position: the row the
  // delayed output copies, and both rows for Mono.
  const float* delayedRow;
  const float* delayedLeft;
  const float* delayedRight;
};

// Processes `count` frames of a stretch, its ring pointers advanced by
// `position` and its delayed ones by `readFrom`.
using StretchKernel = void (*)(const Stretch& stretch, VstInt32 position, VstInt32 readFrom,
                               VstInt32 count);

// The lane widths the kernels are built for. When the module loads, processing
// takes the widest the processor runs well.
enum class KernelSet { kSse2, kAvx, kAvx512 };

// The set processing takes when the module loads.
KernelSet widestKernels();

// Makes instances created from now on process with `set`, so tests can hold
// every set against the reference. False, and nothing changed, where the
// processor or the build lacks it. Not to be called while any instance exists.
bool useKernels(KernelSet set);

}  // namespace orsolane
