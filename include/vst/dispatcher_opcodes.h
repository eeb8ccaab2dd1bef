/*
 * Opcodes the host sends through the record's dispatcher, and the text
 * limits that go with them. Valid C and C++.
 */
#ifndef VST_DISPATCHER_OPCODES_H
#define VST_DISPATCHER_OPCODES_H

#include "vst/types.h"

/* Answered by the base dispatcher. */
enum {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2, /* value: program number */
  effGetProgram = 3,
  effSetProgramName = 4, /* ptr: name text */
  effGetProgramName = 5, /* ptr: buffer of kVstMaxProgNameLen + 1 bytes */
  effGetParamLabel = 6,  /* index; ptr: buffer of kVstMaxParamStrLen + 1 bytes */
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effGetVu = 9,          /* deprecated */
  effSetSampleRate = 10, /* opt: sample rate in Hz */
  effSetBlockSize = 11,  /* value: largest frame count per process call */
  effMainsChanged = 12,  /* value: 0 switches off (suspend), anything else on (resume) */
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditDraw = 16,  /* deprecated */
  effEditMouse = 17, /* deprecated */
  effEditKey = 18,   /* deprecated */
  effEditIdle = 19,
  effEditTop = 20,   /* deprecated */
  effEditSleep = 21, /* deprecated */
  effIdentify = 22,  /* deprecated; answered 'NvEf' */
  effGetChunk = 23,  /* index: non-zero for a program, zero for a bank */
  effSetChunk = 24
};

/* Answered by the extended dispatcher (or, where it has no handler, with 0). */
enum {
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetNumProgramCategories = 28,
  effGetProgramNameIndexed = 29,
  effCopyProgram = 30,
  effConnectInput = 31,
  effConnectOutput = 32,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effGetCurrentPosition = 36,
  effGetDestinationBuffer = 37,
  effOfflineNotify = 38,
  effOfflinePrepare = 39,
  effOfflineRun = 40,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,
  effSetBlockSizeAndSampleRate = 43,
  effSetBypass = 44,
  effGetEffectName = 45, /* ptr: buffer of kVstMaxEffectNameLen bytes */
  effGetErrorText = 46,
  effGetVendorString = 47,  /* ptr: buffer of kVstMaxVendorStrLen bytes */
  effGetProductString = 48, /* ptr: buffer of kVstMaxProductStrLen bytes */
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetIcon = 54,
  effSetViewPosition = 55,
  effGetParameterProperties = 56,
  effKeysRequired = 57,
  effGetVstVersion = 58,
  effEditKeyDown = 59,
  effEditKeyUp = 60,
  effSetEditKnobMode = 61,
  effGetMidiProgramName = 62,
  effGetCurrentMidiProgram = 63,
  effGetMidiProgramCategory = 64,
  effHasMidiProgramsChanged = 65,
  effGetMidiKeyName = 66,
  effBeginSetProgram = 67,
  effEndSetProgram = 68,
  effGetSpeakerArrangement = 69,
  effShellGetNextPlugin = 70,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetTotalSampleToProcess = 73,
  effSetPanLaw = 74,
  effBeginLoadBank = 75,
  effBeginLoadProgram = 76,
  effSetProcessPrecision = 77,
  effGetNumMidiInputChannels = 78,
  effGetNumMidiOutputChannels = 79
};

/* Text limits in characters; a buffer holds one byte more for the terminator. */
enum { kVstMaxProgNameLen = 24, kVstMaxParamStrLen = 8 };

/* Text buffer sizes in bytes, terminator included: one character fewer fits.
 * A type of their own, so C++ code can tell them from character limits. */
typedef enum VstTextBufferSize {
  kVstMaxVendorStrLen = 64,
  kVstMaxProductStrLen = 64,
  kVstMaxEffectNameLen = 32,
  kVstMaxNameLen = 64
} VstTextBufferSize;

/* The interface version an effect reports for effGetVstVersion. */
enum { kVstVersion = 2400 };

/* Plug-in categories (effGetPlugCategory). A VstInt32 on the wire. */
typedef VstInt32 VstPlugCategory;
enum {
  kPlugCategUnknown = 0,
  kPlugCategEffect = 1,
  kPlugCategSynth = 2,
  kPlugCategAnalysis = 3,
  kPlugCategMastering = 4,
  kPlugCategSpacializer = 5,
  kPlugCategRoomFx = 6,
  kPlugSurroundFx = 7,
  kPlugCategRestoration = 8,
  kPlugCategOfflineProcess = 9,
  kPlugCategShell = 10,
  kPlugCategGenerator = 11,
  kPlugCategMaxCount = 12 /* one past the last category */
};

#endif
