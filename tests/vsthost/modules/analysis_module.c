/* Stereo effects whose sound is known by hand, for the analyser's tests; one
 * definition chooses the kind:
 *
 *   BROKEN_BIQUAD_LOWPASS    a second-order low-pass, 1 kHz, Q 1/sqrt(2), from the
 *                            usual cookbook formulas at the host's sample rate
 *   BROKEN_PURE_DELAY        delays both channels by 100 frames and reports it
 *   BROKEN_DELAY_MISREPORTED the same delay, reported as 60 frames
 *   BROKEN_CLIPPER           y = x - x^3/3
 *   BROKEN_TREMOLO           gain 0.75 + 0.25 sin(2 pi 3 Hz t) */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#define DELAY 100
#define PI 3.14159265358979323846

typedef struct Instance {
  PlainEffect plain;
  double b0, b1, b2, a1, a2;
  double x1[2], x2[2], y1[2], y2[2];
  float line[2][DELAY];
  int at;
  double time;
} Instance;

static void reset(PlainEffect* effect) {
  Instance* instance = (Instance*)effect;
  const double w = 2.0 * PI * 1000.0 / instance->plain.rate, alpha = sin(w) / (2.0 * sqrt(0.5));
  const double a0 = 1.0 + alpha;
  instance->b0 = instance->b2 = (1.0 - cos(w)) / 2.0 / a0;
  instance->b1 = (1.0 - cos(w)) / a0;
  instance->a1 = -2.0 * cos(w) / a0;
  instance->a2 = (1.0 - alpha) / a0;
  memset(instance->x1, 0, sizeof instance->x1);
  memset(instance->x2, 0, sizeof instance->x2);
  memset(instance->y1, 0, sizeof instance->y1);
  memset(instance->y2, 0, sizeof instance->y2);
  memset(instance->line, 0, sizeof instance->line);
  instance->at = 0;
  instance->time = 0.0;
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  for (VstInt32 i = 0; i < frames; ++i) {
    const float in[2] = {inputs[0][i], inputs[1][i]};
    for (int c = 0; c < 2; ++c) {
      const double x = in[c];
      double y = x;
#if defined(BROKEN_BIQUAD_LOWPASS)
      y = instance->b0 * x + instance->b1 * instance->x1[c] + instance->b2 * instance->x2[c] -
          instance->a1 * instance->y1[c] - instance->a2 * instance->y2[c];
      instance->x2[c] = instance->x1[c], instance->x1[c] = x;
      instance->y2[c] = instance->y1[c], instance->y1[c] = y;
#elif defined(BROKEN_PURE_DELAY) || defined(BROKEN_DELAY_MISREPORTED)
      y = instance->line[c][instance->at];
      instance->line[c][instance->at] = (float)x;
#elif defined(BROKEN_CLIPPER)
      y = x - x * x * x / 3.0;
#elif defined(BROKEN_TREMOLO)
      y = x * (0.75 + 0.25 * sin(2.0 * PI * 3.0 * instance->time));
#endif
      outputs[c][i] = (float)y;
    }
    instance->at = (instance->at + 1) % DELAY;
    instance->time += 1.0 / instance->plain.rate;
  }
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  (void)master;
  AEffect* effect = newPlainEffect(sizeof(Instance), "Known", reset, processReplacing,
                                   VST_FOUR_CHARS('K', 'n', 'o', 'w'));
#if defined(BROKEN_PURE_DELAY)
  if (effect != NULL) effect->initialDelay = DELAY;
#elif defined(BROKEN_DELAY_MISREPORTED)
  if (effect != NULL) effect->initialDelay = 60;
#endif
  return effect;
}
