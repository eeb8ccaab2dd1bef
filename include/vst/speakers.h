/*
 * Speaker-arrangement records exchanged between host and effect. They hold no
 * pointers, so the layout is the same for 32-bit and 64-bit processes. Valid C
 * and C++.
 */
#ifndef VST_SPEAKERS_H
#define VST_SPEAKERS_H

#include <stddef.h>

#include "vst/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One channel's speaker: 112 bytes. */
typedef struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[64];   /* zero-terminated, at most 63 characters */
  VstInt32 type;   /* speaker type code */
  char future[28]; /* reserved */
} VstSpeakerProperties;

/* An 8-byte header followed by `numChannels` speaker records without gaps.
 * `speakers` declares room for eight, the capacity of a record a host keeps on
 * its stack; a block made for n channels is 8 + 112 * n bytes, so reach record
 * i of such a block through vstSpeakerAt rather than by indexing `speakers`. */
typedef struct VstSpeakerArrangement {
  VstInt32 type;        /* arrangement type code, copied, never interpreted */
  VstInt32 numChannels; /* number of speaker records that follow */
  VstSpeakerProperties speakers[8];
} VstSpeakerArrangement;

enum { kVstSpeakerArrangementHeaderSize = 8, kVstSpeakerPropertiesSize = 112 };

/* Record `index` of an arrangement of any channel count. */
static inline VstSpeakerProperties* vstSpeakerAt(VstSpeakerArrangement* arrangement,
                                                 VstInt32 index) {
  return (VstSpeakerProperties*)((char*)arrangement + kVstSpeakerArrangementHeaderSize) + index;
}

VST_STATIC_ASSERT(sizeof(VstSpeakerProperties) == 112, "VstSpeakerProperties is 112 bytes");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, azimuth) == 0, "azimuth");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, elevation) == 4, "elevation");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, radius) == 8, "radius");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, reserved) == 12, "reserved");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, name) == 16, "name");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, type) == 80, "type");
VST_STATIC_ASSERT(offsetof(VstSpeakerProperties, future) == 84, "future");
VST_STATIC_ASSERT(offsetof(VstSpeakerArrangement, type) == 0, "arrangement type");
VST_STATIC_ASSERT(offsetof(VstSpeakerArrangement, numChannels) == 4, "numChannels");
VST_STATIC_ASSERT(offsetof(VstSpeakerArrangement, speakers) == 8, "speakers");
VST_STATIC_ASSERT(sizeof(VstSpeakerArrangement) == 8 + 8 * 112, "arrangement with eight speakers");

#ifdef __cplusplus
}
#endif

#endif
