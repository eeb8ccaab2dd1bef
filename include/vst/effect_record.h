/*
 * The effect record a module hands to its host, the host callback, and the
 * module's exported entry. Valid C and C++.
 *
 * Threads: the host may call the record's functions from several threads; the
 * audio functions (`processReplacing`, `processDoubleReplacing`, `process`) from
 * its audio thread, the dispatcher and parameter functions from any other.
 */
#ifndef VST_EFFECT_RECORD_H
#define VST_EFFECT_RECORD_H

#include <stddef.h>

#include "vst/types.h"

#ifdef __cplusplus
extern "C" {
#endif

struct AEffect;

/* The host's callback: effect record (null before one exists), host opcode,
 * index, value, ptr, opt. */
typedef VstIntPtr(VSTCALLBACK* audioMasterCallback)(struct AEffect* effect, VstInt32 opcode,
                                                    VstInt32 index, VstIntPtr value, void* ptr,
                                                    float opt);

/* The record's six functions. Each takes the record as its first argument. */
typedef VstIntPtr(VSTCALLBACK* AEffectDispatcherProc)(struct AEffect* effect, VstInt32 opcode,
                                                      VstInt32 index, VstIntPtr value, void* ptr,
                                                      float opt);
typedef void(VSTCALLBACK* AEffectProcessProc)(struct AEffect* effect, float** inputs,
                                              float** outputs, VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectProcessDoubleProc)(struct AEffect* effect, double** inputs,
                                                    double** outputs, VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectSetParameterProc)(struct AEffect* effect, VstInt32 index,
                                                   float parameter);
typedef float(VSTCALLBACK* AEffectGetParameterProc)(struct AEffect* effect, VstInt32 index);

/* 'VstP': the record's `magic`. */
enum { kEffectMagic = 0x56737450 };

/* The effect record: 192 bytes on 64-bit platforms, fixed to the byte. */
typedef struct AEffect {
  VstInt32 magic;                   /* kEffectMagic */
  AEffectDispatcherProc dispatcher; /* control opcodes */
  AEffectProcessProc process;       /* deprecated accumulating process */
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;         /* effFlags* bits, see vst/flags.h */
  VstIntPtr resvd1;       /* reserved, zero */
  VstIntPtr resvd2;       /* reserved, zero */
  VstInt32 initialDelay;  /* latency in samples */
  VstInt32 realQualities; /* deprecated */
  VstInt32 offQualities;  /* deprecated */
  float ioRatio;          /* deprecated */
  void* object;           /* the effect instance that owns the record */
  void* user;             /* for the host's own use */
  VstInt32 uniqueID;      /* four-character code */
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56]; /* reserved, zero */
} AEffect;

/* The exported entry, under the names `VSTPluginMain` and `main`. */
typedef AEffect*(VSTCALLBACK* VstPluginMainProc)(audioMasterCallback audioMaster);

#if VST_64BIT
VST_STATIC_ASSERT(sizeof(AEffect) == 192, "AEffect is 192 bytes");
VST_STATIC_ASSERT(offsetof(AEffect, magic) == 0, "AEffect.magic");
VST_STATIC_ASSERT(offsetof(AEffect, dispatcher) == 8, "AEffect.dispatcher");
VST_STATIC_ASSERT(offsetof(AEffect, process) == 16, "AEffect.process");
VST_STATIC_ASSERT(offsetof(AEffect, setParameter) == 24, "AEffect.setParameter");
VST_STATIC_ASSERT(offsetof(AEffect, getParameter) == 32, "AEffect.getParameter");
VST_STATIC_ASSERT(offsetof(AEffect, numPrograms) == 40, "AEffect.numPrograms");
VST_STATIC_ASSERT(offsetof(AEffect, numParams) == 44, "AEffect.numParams");
VST_STATIC_ASSERT(offsetof(AEffect, numInputs) == 48, "AEffect.numInputs");
VST_STATIC_ASSERT(offsetof(AEffect, numOutputs) == 52, "AEffect.numOutputs");
VST_STATIC_ASSERT(offsetof(AEffect, flags) == 56, "AEffect.flags");
VST_STATIC_ASSERT(offsetof(AEffect, resvd1) == 64, "AEffect.resvd1");
VST_STATIC_ASSERT(offsetof(AEffect, resvd2) == 72, "AEffect.resvd2");
VST_STATIC_ASSERT(offsetof(AEffect, initialDelay) == 80, "AEffect.initialDelay");
VST_STATIC_ASSERT(offsetof(AEffect, realQualities) == 84, "AEffect.realQualities");
VST_STATIC_ASSERT(offsetof(AEffect, offQualities) == 88, "AEffect.offQualities");
VST_STATIC_ASSERT(offsetof(AEffect, ioRatio) == 92, "AEffect.ioRatio");
VST_STATIC_ASSERT(offsetof(AEffect, object) == 96, "AEffect.object");
VST_STATIC_ASSERT(offsetof(AEffect, user) == 104, "AEffect.user");
VST_STATIC_ASSERT(offsetof(AEffect, uniqueID) == 112, "AEffect.uniqueID");
VST_STATIC_ASSERT(offsetof(AEffect, version) == 116, "AEffect.version");
VST_STATIC_ASSERT(offsetof(AEffect, processReplacing) == 120, "AEffect.processReplacing");
VST_STATIC_ASSERT(offsetof(AEffect, processDoubleReplacing) == 128,
                  "AEffect.processDoubleReplacing");
VST_STATIC_ASSERT(offsetof(AEffect, future) == 136, "AEffect.future");
#endif

#ifdef __cplusplus
}
#endif

#endif
