/*
 * Events a host hands an effect through effProcessEvents before the audio
 * block they belong to: a counted list of pointers to event records, each of
 * which starts with its type, its size in bytes and its offset in frames into
 * the next block. MIDI messages and system-exclusive dumps are declared in
 * full. Valid C and C++.
 */
#ifndef VST_EVENTS_H
#define VST_EVENTS_H

#include <stddef.h>

#include "vst/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Event types (VstEvent.type). */
enum { kVstMidiType = 1, kVstSysExType = 6 };

/* The common head of every event: 32 bytes, whatever the type. */
typedef struct VstEvent {
  VstInt32 type;        /* kVstMidiType, ... */
  VstInt32 byteSize;    /* size of the record less the first two fields */
  VstInt32 deltaFrames; /* frame of the next block the event takes effect at */
  VstInt32 flags;
  char data[16]; /* the type's own fields */
} VstEvent;

/* Flags of a MIDI event. */
enum { kVstMidiEventIsRealtime = 1 << 0 };

/* One MIDI message of up to three bytes. */
typedef struct VstMidiEvent {
  VstInt32 type; /* kVstMidiType */
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;       /* kVstMidiEventIsRealtime */
  VstInt32 noteLength;  /* in frames, 0 when unknown */
  VstInt32 noteOffset;  /* in frames into the note, 0 when it starts here */
  char midiData[4];     /* status, two data bytes, a zero byte */
  char detune;          /* -64 to 63 cents */
  char noteOffVelocity; /* 0 to 127 */
  char reserved1;
  char reserved2;
} VstMidiEvent;

/* A system-exclusive message of any length: the bytes stay the sender's and
 * are valid only during the effProcessEvents call. 48 bytes on 64-bit
 * systems, 32 on 32-bit ones: larger than the common head there. */
typedef struct VstMidiSysexEvent {
  VstInt32 type; /* kVstSysExType */
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;     /* none defined, zero */
  VstInt32 dumpBytes; /* bytes at sysexDump */
  VstIntPtr resvd1;   /* zero */
  char* sysexDump;    /* the message, F0 ... F7 as it travels on the wire */
  VstIntPtr resvd2;   /* zero */
} VstMidiSysexEvent;

/* The list itself. `events` declares two places; a host allocates room for
 * `numEvents` pointers, so reach every pointer through `events`. */
typedef struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved; /* zero */
  VstEvent* events[2];
} VstEvents;

VST_STATIC_ASSERT(sizeof(VstEvent) == 32, "VstEvent is 32 bytes");
VST_STATIC_ASSERT(offsetof(VstEvent, data) == 16, "VstEvent.data");
VST_STATIC_ASSERT(sizeof(VstMidiEvent) == 32, "VstMidiEvent is 32 bytes");
VST_STATIC_ASSERT(offsetof(VstMidiEvent, noteLength) == 16, "VstMidiEvent.noteLength");
VST_STATIC_ASSERT(offsetof(VstMidiEvent, midiData) == 24, "VstMidiEvent.midiData");
VST_STATIC_ASSERT(offsetof(VstMidiEvent, detune) == 28, "VstMidiEvent.detune");
VST_STATIC_ASSERT(offsetof(VstMidiEvent, noteOffVelocity) == 29, "VstMidiEvent.noteOffVelocity");
VST_STATIC_ASSERT(offsetof(VstMidiSysexEvent, dumpBytes) == 16, "VstMidiSysexEvent.dumpBytes");
#if VST_64BIT
VST_STATIC_ASSERT(offsetof(VstMidiSysexEvent, resvd1) == 24, "VstMidiSysexEvent.resvd1");
VST_STATIC_ASSERT(offsetof(VstMidiSysexEvent, sysexDump) == 32, "VstMidiSysexEvent.sysexDump");
VST_STATIC_ASSERT(sizeof(VstMidiSysexEvent) == 48, "VstMidiSysexEvent is 48 bytes");
#else
VST_STATIC_ASSERT(offsetof(VstMidiSysexEvent, sysexDump) == 24, "VstMidiSysexEvent.sysexDump");
VST_STATIC_ASSERT(sizeof(VstMidiSysexEvent) == 32, "VstMidiSysexEvent is 32 bytes");
#endif
#if VST_64BIT
VST_STATIC_ASSERT(offsetof(VstEvents, reserved) == 8, "VstEvents.reserved");
VST_STATIC_ASSERT(offsetof(VstEvents, events) == 16, "VstEvents.events");
VST_STATIC_ASSERT(sizeof(VstEvents) == 32, "VstEvents is 32 bytes with two places");
#endif

#ifdef __cplusplus
}
#endif

#endif
