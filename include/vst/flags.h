/*
 * Bits of the effect record's `flags` field. Plain constants: the field itself
 * is a VstInt32. Valid C and C++.
 */
#ifndef VST_FLAGS_H
#define VST_FLAGS_H

enum {
  effFlagsHasEditor = 1 << 0,          /* the effect has an editor window */
  effFlagsHasClip = 1 << 1,            /* deprecated */
  effFlagsHasVu = 1 << 2,              /* deprecated */
  effFlagsCanMono = 1 << 3,            /* deprecated */
  effFlagsCanReplacing = 1 << 4,       /* supports processReplacing */
  effFlagsProgramChunks = 1 << 5,      /* programs and banks travel as chunks */
  effFlagsIsSynth = 1 << 8,            /* an instrument, not an effect */
  effFlagsNoSoundInStop = 1 << 9,      /* silence in gives silence out: no tail */
  effFlagsExtIsAsync = 1 << 10,        /* deprecated */
  effFlagsExtHasBuffer = 1 << 11,      /* deprecated */
  effFlagsCanDoubleReplacing = 1 << 12 /* supports processDoubleReplacing */
};

#endif
