// The processing kernels: where one stretch of frames of a block comes from
// and goes to, how its outputs are formed, and the processor-specific code
// that moves it. The delay processing (delay_processing.h) cuts blocks into
// stretches and hands each to the kernel of its shape.
#pragma once

#include "vst/types.h"

namespace orsolane {

// Where one stretch of frames comes from and goes to. Its ring positions do
// not wrap, nor do the positions its delayed samples come from.
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

// How the outputs are formed; one kernel each.
enum class Shape {
  kPassStereo,      // no delay: left to left, right to right
  kPassLeft,        // no delay: left input to both
  kPassRight,       // no delay: right input to both
  kPassMono,        // no delay: (left + right) * 0.5 to both
  kDelayFromLeft,   // undelayed output from the left input, delayed one from delayedRow
  kDelayFromRight,  // undelayed output from the right input, delayed one from delayedRow
  kDelayMono,       // both outputs the mono mean, the delayed one of both delayed rows
};
constexpr int kShapeCount = 7;

// Processes `count` frames of a stretch, its ring pointers advanced by
// `position` and its delayed ones by `readFrom`.
using StretchKernel = void (*)(const Stretch& stretch, VstInt32 position, VstInt32 readFrom,
                               VstInt32 count);

// The kernel of `shape` in the set processing uses.
StretchKernel kernelFor(Shape shape);

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
