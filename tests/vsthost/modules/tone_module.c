/* An instrument whose notes are known by hand, for the analyser's tests:
 * BROKEN_HARMONIC_SYNTH plays each note (up to 64 at once) at its key's
 * equal-tempered frequency f, from the frame its event names, as
 *
 *   (velocity / 127) (0.5 cos 2pi f t + 0.25 cos 4pi f t + 0.125 cos 6pi f t
 *                     + 0.005 cos 2pi a t)
 *
 * where a is where a naive oscillator's 120th harmonic folds to (120 f
 * reflected about multiples of the sample rate): harmonics 2 and 3 at -6.02 and
 * -12.04 dB, and what is not harmonic 10 log10(0.005^2 / (0.5^2 + 0.25^2 +
 * 0.125^2)) = -41.18 dB below them. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#define VOICES 64
#define PENDING 256
#define TWO_PI 6.283185307179586

typedef struct Voice {
  int key, velocity;
  long age;
} Voice;

typedef struct Pending {
  int frame, status, key, velocity;
} Pending;

typedef struct Instance {
  PlainEffect plain;
  Voice voices[VOICES];
  Pending pending[PENDING];
  int pendingCount;
} Instance;

static void reset(PlainEffect* effect) {
  Instance* instance = (Instance*)effect;
  memset(instance->voices, 0, sizeof instance->voices);
  instance->pendingCount = 0;
}

/* An instrument's opcodes on top of the plain effect's. */
static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  Instance* instance = (Instance*)effect;
  switch (opcode) {
    case effProcessEvents: {
      const VstEvents* events = (const VstEvents*)ptr;
      for (VstInt32 i = 0; events != NULL && i < events->numEvents; ++i) {
        const VstMidiEvent* midi = (const VstMidiEvent*)events->events[i];
        if (midi == NULL || midi->type != kVstMidiType || instance->pendingCount >= PENDING)
          continue;
        Pending* p = &instance->pending[instance->pendingCount++];
        p->frame = midi->deltaFrames, p->status = midi->midiData[0] & 0xF0;
        p->key = midi->midiData[1] & 0x7F, p->velocity = midi->midiData[2] & 0x7F;
      }
      return 1;
    }
    case effCanDo: return ptr != NULL && strcmp((const char*)ptr, "receiveVstMidiEvent") == 0;
    default: return plainDispatcher(effect, opcode, index, value, ptr, opt);
  }
}

static void apply(Instance* instance, const Pending* p) {
  const int on = p->status == 0x90 && p->velocity > 0;
  for (int v = 0; v < VOICES; ++v)
    if (instance->voices[v].velocity > 0 && instance->voices[v].key == p->key)
      instance->voices[v].velocity = 0;
  if (!on) return;
  for (int v = 0; v < VOICES; ++v)
    if (instance->voices[v].velocity == 0) {
      instance->voices[v].key = p->key, instance->voices[v].velocity = p->velocity;
      instance->voices[v].age = 0;
      return;
    }
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  (void)inputs;
  for (VstInt32 i = 0; i < frames; ++i) {
    for (int e = 0; e < instance->pendingCount; ++e)
      if (instance->pending[e].frame == i) apply(instance, &instance->pending[e]);
    double sum = 0.0;
    for (int v = 0; v < VOICES; ++v) {
      Voice* voice = &instance->voices[v];
      if (voice->velocity == 0) continue;
      const double f = 440.0 * pow(2.0, (voice->key - 69) / 12.0);
      const double t = (double)voice->age++ / instance->plain.rate;
      double folded = fmod(120.0 * f, instance->plain.rate);
      if (folded > instance->plain.rate / 2.0) folded = instance->plain.rate - folded;
      sum += voice->velocity / 127.0 *
             (0.5 * cos(TWO_PI * f * t) + 0.25 * cos(2.0 * TWO_PI * f * t) +
              0.125 * cos(3.0 * TWO_PI * f * t) + 0.005 * cos(TWO_PI * folded * t));
    }
    outputs[0][i] = outputs[1][i] = (float)sum;
  }
  instance->pendingCount = 0;
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
  AEffect* effect = newPlainEffect(sizeof(Instance), "Tone", reset, processReplacing,
                                   VST_FOUR_CHARS('T', 'o', 'n', 'e'));
  if (effect == NULL) return NULL;
  effect->dispatcher = dispatcher;
  effect->numInputs = 0;
  effect->flags |= effFlagsIsSynth;
  return effect;
}
