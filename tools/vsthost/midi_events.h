/* The event records a host hands to effProcessEvents: a list of event
 * pointers and the MIDI event. Valid C and C++, so the test modules written in
 * C use the same layout as the host. */
#ifndef VSTHOST_MIDI_EVENTS_H
#define VSTHOST_MIDI_EVENTS_H

#include "vst/types.h"

enum { kVstMidiType = 1 };

/* One MIDI message, 32 bytes. */
typedef struct VstMidiEvent {
  VstInt32 type;        /* kVstMidiType */
  VstInt32 byteSize;    /* sizeof(VstMidiEvent) */
  VstInt32 deltaFrames; /* frames into the next processed block */
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4]; /* status, two data bytes, zero */
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
} VstMidiEvent;

/* The list passed as effProcessEvents' ptr: the count, then that many event
 * pointers (declared with two; hosts allocate more as needed). */
typedef struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstMidiEvent* events[2];
} VstEvents;

#endif
