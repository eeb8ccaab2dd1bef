/* Stereo effects that ring, whose responses are known by hand, for the
 * analyser's tests of echoes and decays; one definition chooses the kind:
 *
 *   BROKEN_PING_PONG      each input also comes out of the other output,
 *                         ECHO frames later at half the level
 *   BROKEN_FEEDBACK_ECHO  dry plus an echo every SPACING frames, each 3 dB below
 *                         the last: 20 log10 g = -3 dB per 0.1 s at 48 kHz,
 *                         RT60 = -60 x 0.1 / -3 = 2 s
 *   BROKEN_WET_ECHO       no dry sound: echoes every ECHO frames from ECHO on,
 *                         each half the last, reporting no latency
 *   BROKEN_NOISE_TAIL     each impulse starts a fixed noise whose level falls
 *                         60 dB a second (RT60 1 s), the same noise every time
 *   BROKEN_LOOKAHEAD      delays both channels by 64 frames and reports none
 *   BROKEN_ENDLESS_ECHO   the feedback echo with a gain of 1: never dies away */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#define ECHO 6000
#define SPACING 4800
#define LOOKAHEAD 64
#define TRIGGERS 8

typedef struct Instance {
  PlainEffect plain;
  float line[2][ECHO]; /* the last ECHO (or SPACING) frames of what is delayed */
  long at;
  long age[TRIGGERS]; /* the noise tail's impulses: their age and level */
  double level[TRIGGERS];
  int next;
} Instance;

static void reset(PlainEffect* effect) {
  Instance* instance = (Instance*)effect;
  memset(instance->line, 0, sizeof instance->line);
  instance->at = 0;
  memset(instance->level, 0, sizeof instance->level);
  memset(instance->age, 0, sizeof instance->age);
  instance->next = 0;
}

/* A fixed noise, -1 to 1, by the frame's number alone. */
static double noiseAt(long frame) {
  unsigned long x = (unsigned long)frame * 2654435761ul + 12345ul;
  x ^= x >> 13, x *= 0x5bd1e995ul, x ^= x >> 15;
  return (double)(x & 0xFFFFFFul) / (double)0x800000 - 1.0;
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  for (VstInt32 i = 0; i < frames; ++i) {
    const float in[2] = {inputs[0][i], inputs[1][i]};
    float out[2];
#if defined(BROKEN_PING_PONG)
    out[0] = in[0] + 0.5f * instance->line[1][instance->at];
    out[1] = in[1] + 0.5f * instance->line[0][instance->at];
    instance->line[0][instance->at] = in[0], instance->line[1][instance->at] = in[1];
    instance->at = (instance->at + 1) % ECHO;
#elif defined(BROKEN_FEEDBACK_ECHO) || defined(BROKEN_ENDLESS_ECHO)
#if defined(BROKEN_FEEDBACK_ECHO)
    const double gain = pow(10.0, -3.0 / 20.0);
#else
    const double gain = 1.0;
#endif
    for (int c = 0; c < 2; ++c) {
      const float echo = instance->line[c][instance->at];
      out[c] = in[c] + echo;
      instance->line[c][instance->at] = (float)(in[c] + gain * echo);
    }
    instance->at = (instance->at + 1) % SPACING;
#elif defined(BROKEN_WET_ECHO)
    for (int c = 0; c < 2; ++c) {
      out[c] = instance->line[c][instance->at];
      instance->line[c][instance->at] = in[c] + 0.5f * out[c];
    }
    instance->at = (instance->at + 1) % ECHO;
#elif defined(BROKEN_LOOKAHEAD)
    for (int c = 0; c < 2; ++c) {
      out[c] = instance->line[c][instance->at];
      instance->line[c][instance->at] = in[c];
    }
    instance->at = (instance->at + 1) % LOOKAHEAD;
#elif defined(BROKEN_NOISE_TAIL)
    const double mono = 0.5 * (in[0] + in[1]);
    if (mono != 0.0) {
      instance->level[instance->next] = mono, instance->age[instance->next] = 0;
      instance->next = (instance->next + 1) % TRIGGERS;
    }
    double sum = 0.0;
    for (int t = 0; t < TRIGGERS; ++t) {
      if (instance->level[t] == 0.0) continue;
      const long age = instance->age[t]++;
      const double fall = pow(10.0, -3.0 * (double)age / instance->plain.rate);
      sum += instance->level[t] * noiseAt(age) * fall;
      if (fall < 1e-9) instance->level[t] = 0.0;
    }
    out[0] = out[1] = (float)sum;
#endif
    outputs[0][i] = out[0], outputs[1][i] = out[1];
  }
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
  AEffect* effect = newPlainEffect(sizeof(Instance), "Echo", reset, processReplacing,
                                   VST_FOUR_CHARS('E', 'c', 'h', 'o'));
  return effect;
}
