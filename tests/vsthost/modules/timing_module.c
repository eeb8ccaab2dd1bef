/* Modules whose faults only show in time or against what hosts give: a synth
 * and a feedback echo, chosen by one definition BROKEN_<KIND>:
 *
 *   TICKING_SYNTH     a one-voice synth whose envelope moves every 32 frames
 *                     counted from each block's start (a control rate tied to
 *                     the block): its render depends on the block size
 *   PEDAL_IGNORED     the same synth, its envelope per frame, ignoring the
 *                     sustain pedal, with a release of 300 ms
 *   ECHO_NO_TAIL      a feedback echo (300 ms, feedback 0.7) ringing for
 *                     about ten seconds that reports no tail (0, unknown)
 *   ECHO_TAIL         the same echo reporting the tail it rings for: no fault
 *   LONG_EFFECT_NAME  the echo with an effect name of 64 characters (65 bytes
 *                     into the interface's 32): fits hosts' buffers only
 *   DOUBLE_OFF        the echo with a double-precision path 25 dB off the
 *                     single one, which is exact from run to run
 *   DOUBLE_CHAOTIC    the echo with a gain flutter whose phase differs from
 *                     instance to instance (as a random one would: -48 dB
 *                     from run to run), its double path as near to the
 *                     single one: no fault */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pending_midi.h"
#include "test_record.h"

#if defined(BROKEN_TICKING_SYNTH) || defined(BROKEN_PEDAL_IGNORED)
#define SYNTH 1
#endif

enum { kMaxDelay = 192000, kQueue = 256 };

/* The record first, so a record pointer is an instance pointer. */
typedef struct Instance {
  AEffect record;
  float sampleRate;
  /* the synth's */
  Pending pending[kQueue];
  int pendingCount, key, held, pedal, sustained;
  float level, velocity;
  double phase;
  /* the echo's */
  float line[2][kMaxDelay];
  int write;
  double flutter; /* phase, in cycles */
} Instance;

static const float kFeedback = 0.7f;

static void copyText(void* ptr, const char* text, size_t size) {
  if (ptr != NULL) snprintf((char*)ptr, size, "%s", text);
}

static int delayFrames(const Instance* instance) {
  int frames = (int)(0.3f * instance->sampleRate);
  return frames < 1 ? 1 : (frames > kMaxDelay ? kMaxDelay : frames);
}

/* Echoes until they are 100 dB below the first: the delay times the repeats
 * that takes, and one delay more. */
static VstIntPtr tailFrames(const Instance* instance) {
  const double repeats = ceil(log(1e-5) / log((double)kFeedback));
  return (VstIntPtr)((repeats + 1.0) * delayFrames(instance));
}

static void apply(Instance* instance, const Pending* event) {
  const int kind = event->status & 0xF0;
  if (kind == 0x90 && event->data2 > 0) {
    instance->key = event->data1;
    instance->velocity = (float)event->data2 / 127.0f;
    instance->held = 1;
    instance->sustained = 0;
  } else if ((kind == 0x80 || kind == 0x90) && event->data1 == instance->key) {
    instance->held = 0;
#if !defined(BROKEN_PEDAL_IGNORED)
    instance->sustained = instance->pedal;
#endif
  } else if (kind == 0xB0 && event->data1 == 64) {
    instance->pedal = event->data2 >= 64;
    if (!instance->pedal) instance->sustained = 0;
  } else if (kind == 0xB0 && event->data1 >= 120) {
    instance->held = instance->sustained = 0;
    if (event->data1 == 120) instance->level = 0.0f;
  }
}

/* 1, or a slow flutter of 0.2 % at a phase each instance picks. */
static float gain(Instance* instance) {
#if defined(BROKEN_DOUBLE_CHAOTIC)
  instance->flutter += 3.0 / instance->sampleRate;
  return 1.0f + 0.002f * (float)sin(6.283185307179586 * instance->flutter);
#else
  (void)instance;
  return 1.0f;
#endif
}

static void renderSynth(Instance* instance, float** outputs, VstInt32 from, VstInt32 to) {
  const float rate = instance->sampleRate;
#if defined(BROKEN_PEDAL_IGNORED)
  const float fall = 1.0f / (0.3f * rate);
#else
  const float fall = 1.0f / (0.05f * rate);
#endif
  const float rise = 1.0f / (0.005f * rate);
  const double step = 440.0 * pow(2.0, (instance->key - 69) / 12.0) / rate;
  for (VstInt32 i = from; i < to; ++i) {
    const int on = instance->held || instance->sustained;
#if defined(BROKEN_TICKING_SYNTH)
    if (i % 32 == 0)
      instance->level =
          on ? fminf(instance->level + 32 * rise, 1.0f) : fmaxf(instance->level - 32 * fall, 0.0f);
#else
    instance->level =
        on ? fminf(instance->level + rise, 1.0f) : fmaxf(instance->level - fall, 0.0f);
#endif
    const float x = 0.3f * instance->velocity * instance->level *
                    (float)sin(6.283185307179586 * instance->phase);
    instance->phase += step;
    instance->phase -= floor(instance->phase);
    outputs[0][i] = outputs[1][i] = x;
  }
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
#if defined(SYNTH)
  (void)inputs;
  VstInt32 at = 0;
  for (int i = 0; i < instance->pendingCount; ++i) {
    VstInt32 frame = instance->pending[i].frame;
    frame = frame < at ? at : (frame > frames ? frames : frame);
    renderSynth(instance, outputs, at, frame);
    at = frame;
    apply(instance, &instance->pending[i]);
  }
  instance->pendingCount = 0;
  renderSynth(instance, outputs, at, frames);
#else
  (void)apply;
  (void)renderSynth;
  const int delay = delayFrames(instance);
  for (VstInt32 i = 0; i < frames; ++i) {
    const int read = (instance->write + kMaxDelay - delay) % kMaxDelay;
    for (int c = 0; c < 2; ++c) {
      const float x = inputs[c][i], echo = instance->line[c][read];
      float kept = x + kFeedback * echo;
      if (fabsf(kept) < 1e-20f) kept = 0.0f; /* no denormals in the loop */
      instance->line[c][instance->write] = kept;
      outputs[c][i] = gain(instance) * 0.5f * (x + echo);
    }
    instance->write = (instance->write + 1) % kMaxDelay;
  }
#endif
}

#if defined(BROKEN_DOUBLE_OFF) || defined(BROKEN_DOUBLE_CHAOTIC)
/* The same echo through float buffers, in and out in double precision. */
static void processDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                   VstInt32 frames) {
  float in[2][64], out[2][64];
  float* ins[2] = {in[0], in[1]};
  float* outs[2] = {out[0], out[1]};
  for (VstInt32 start = 0; start < frames; start += 64) {
    const VstInt32 count = frames - start < 64 ? frames - start : 64;
    for (int c = 0; c < 2; ++c)
      for (VstInt32 i = 0; i < count; ++i) in[c][i] = (float)inputs[c][start + i];
    processReplacing(effect, ins, outs, count);
    for (int c = 0; c < 2; ++c)
      for (VstInt32 i = 0; i < count; ++i)
#if defined(BROKEN_DOUBLE_OFF)
        outputs[c][start + i] = 1.056 * out[c][i]; /* "a make-up gain", only here */
#else
        outputs[c][start + i] = out[c][i];
#endif
  }
}
#endif

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  Instance* instance = (Instance*)effect;
  (void)index;
  switch (opcode) {
    case effClose: free(effect); return 1;
    case effGetProgramName:
    case effGetProgramNameIndexed: copyText(ptr, "Default", kVstMaxProgNameLen + 1); return 1;
    case effGetEffectName:
#if defined(BROKEN_LONG_EFFECT_NAME)
      copyText(ptr, "An echo whose name was copied with the product text's own limit.", 65);
#else
      copyText(ptr, "Timing", kVstMaxEffectNameLen);
#endif
      return 1;
    case effGetVendorString: copyText(ptr, "Test", kVstMaxVendorStrLen); return 1;
    case effGetProductString: copyText(ptr, "Timing", kVstMaxProductStrLen); return 1;
    case effSetSampleRate:
      if (opt > 0.0f && isfinite(opt)) instance->sampleRate = opt;
      return 0;
    case effMainsChanged:
      if (value == 0) {
        memset(instance->line, 0, sizeof instance->line);
        instance->pendingCount = instance->held = instance->sustained = instance->pedal = 0;
        instance->level = 0.0f;
      }
      return 0;
#if defined(SYNTH)
    case effGetPlugCategory: return kPlugCategSynth;
    case effProcessEvents: {
      queueMidiEvents(instance->pending, &instance->pendingCount, kQueue, (const VstEvents*)ptr);
      return 1;
    }
    case effCanDo: return ptr != NULL && strcmp((const char*)ptr, "receiveVstMidiEvent") == 0;
#else
    case effGetTailSize:
#if defined(BROKEN_ECHO_NO_TAIL)
      (void)tailFrames;
      return 0;
#else
      return tailFrames(instance);
#endif
#endif
    default: return 0;
  }
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
  Instance* instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  instance->sampleRate = 44100.0f;
  AEffect* effect = &instance->record;
  fillTestRecord(effect, dispatcher, setNoParameter, getNoParameter, processReplacing,
                 VST_FOUR_CHARS('t', 'i', 'm', 'g'));
#if defined(BROKEN_DOUBLE_OFF) || defined(BROKEN_DOUBLE_CHAOTIC)
  effect->flags |= effFlagsCanDoubleReplacing;
  effect->processDoubleReplacing = processDoubleReplacing;
#endif
#if defined(BROKEN_DOUBLE_CHAOTIC)
  /* A third of a cycle from the instance made before: as random phases
   * would, instances differ, and any two by as much (-48 dB). */
  static int made = 0;
  instance->flutter = (double)(made++ % 3) / 3.0;
#endif
#if defined(SYNTH)
  effect->numInputs = 0;
  effect->flags |= effFlagsIsSynth;
#endif
  return effect;
}
