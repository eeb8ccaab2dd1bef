/*
 * Records that pass between host and effect by pointer but that no default of
 * the framework reads: declared opaque so their pointers have types. An effect
 * that supports one of these features supplies the full declaration. Also the
 * editor's rectangle and key code. Valid C and C++.
 */
#ifndef VST_RECORDS_H
#define VST_RECORDS_H

#include <stddef.h>

#include "vst/events.h"
#include "vst/types.h"

#ifdef __cplusplus
extern "C" {
#endif

struct VstParameterProperties;
struct VstPinProperties;
struct VstPatchChunkInfo;
struct VstVariableIo;
struct VstAudioFile;
struct VstOfflineTask;
struct VstFileSelect;
struct VstWindow;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;

/* Offline option: a VstInt32 on the wire. */
typedef VstInt32 VstOfflineOption;

/* An editor's rectangle in pixels. */
typedef struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
} ERect;

/* A key event for the editor: built by the dispatcher, lives for one call. */
typedef struct VstKeyCode {
  VstInt32 character;
  uint8_t virt;     /* virtual key code */
  uint8_t modifier; /* modifier keys */
} VstKeyCode;

VST_STATIC_ASSERT(sizeof(ERect) == 8, "ERect is four 16-bit values");
VST_STATIC_ASSERT(offsetof(VstKeyCode, virt) == 4, "VstKeyCode.virt");
VST_STATIC_ASSERT(offsetof(VstKeyCode, modifier) == 5, "VstKeyCode.modifier");
VST_STATIC_ASSERT(sizeof(VstKeyCode) == 8, "VstKeyCode is 8 bytes");

#ifdef __cplusplus
}
#endif

#endif
