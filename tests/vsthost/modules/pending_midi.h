/* The MIDI events a test instrument keeps for its next block: in the order of
 * their frames, events of one frame in the order they came. */
#ifndef VST_TESTS_PENDING_MIDI_H
#define VST_TESTS_PENDING_MIDI_H

#include "vst/vst.h"

typedef struct Pending {
  VstInt32 frame;
  unsigned char status, data1, data2;
} Pending;

/* Adds the MIDI events of `events` to the `*count` held in `pending`, which
 * has room for `capacity`; what finds no room, and what is no MIDI event, is
 * left out. */
static inline void queueMidiEvents(Pending* pending, int* count, int capacity,
                                   const VstEvents* events) {
  for (VstInt32 i = 0; events != NULL && i < events->numEvents; ++i) {
    const VstEvent* event = events->events[i];
    if (event == NULL || event->type != kVstMidiType || *count == capacity) continue;
    const VstMidiEvent* midi = (const VstMidiEvent*)event;
    Pending added = {midi->deltaFrames, (unsigned char)midi->midiData[0],
                     (unsigned char)midi->midiData[1], (unsigned char)midi->midiData[2]};
    int at = (*count)++;
    while (at > 0 && pending[at - 1].frame > added.frame) {
      pending[at] = pending[at - 1];
      --at;
    }
    pending[at] = added;
  }
}

#endif
