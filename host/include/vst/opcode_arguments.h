// What each dispatcher opcode does with its `ptr` and `value`: the one
// description that the checker, the fuzz target and the hostile-host tests
// build their calls from, so a host never hands an opcode the wrong kind of
// memory by accident.
#pragma once

#include <cstddef>

#include "vst/vst.h"

namespace host {

struct OpcodeArgument {
  enum Kind {
    kNoPointer,       // ptr and value carry no address
    kTextOut,         // ptr: a text buffer of `bytes` bytes the effect fills
    kTextIn,          // ptr: a zero-terminated text the effect reads
    kPointerSlot,     // ptr: a slot where the effect leaves a pointer (void**)
    kChunkIn,         // ptr: `value` bytes of chunk data the effect reads
    kRecord,          // ptr: a record the effect reads or fills
    kSpeakerRecords,  // value and ptr: the input and output speaker arrangements
    kSpeakerSlots,    // value and ptr: slots for the input and output arrangements
  };
  Kind kind = kNoPointer;
  size_t bytes = 0;  // for kTextOut: the buffer's size by the interface's letter

  // Whether a host points `ptr` at memory for this opcode.
  bool takesPointer() const { return kind != kNoPointer; }
};

// The argument description of `opcode`; kNoPointer for opcodes outside 0 to 79.
constexpr OpcodeArgument opcodeArgument(VstInt32 opcode) {
  using A = OpcodeArgument;
  switch (opcode) {
    case effGetProgramName:
    case effGetProgramNameIndexed: return {A::kTextOut, kVstMaxProgNameLen + 1};
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: return {A::kTextOut, kVstMaxParamStrLen + 1};
    case effGetEffectName: return {A::kTextOut, kVstMaxEffectNameLen};
    case effGetVendorString: return {A::kTextOut, kVstMaxVendorStrLen};
    case effGetProductString:
    case effShellGetNextPlugin: return {A::kTextOut, kVstMaxProductStrLen};
    case effGetErrorText: return {A::kTextOut, 256};
    case effSetProgramName:
    case effString2Parameter:
    case effCanDo: return {A::kTextIn, 0};
    case effEditGetRect:
    case effGetChunk: return {A::kPointerSlot, sizeof(void*)};
    case effSetChunk: return {A::kChunkIn, 0};
    case effSetSpeakerArrangement: return {A::kSpeakerRecords, 0};
    case effGetSpeakerArrangement: return {A::kSpeakerSlots, sizeof(void*)};
    case effEditOpen:
    case effProcessEvents:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
    case effVendorSpecific:
    case effGetParameterProperties:
    case effGetMidiProgramName:
    case effGetCurrentMidiProgram:
    case effGetMidiProgramCategory:
    case effGetMidiKeyName:
    case effBeginLoadBank:
    case effBeginLoadProgram: return {A::kRecord, 0};
    default: return {};
  }
}

// The editor's opcodes: a host sends them only with a window system to show
// the editor on.
constexpr bool isEditorOpcode(VstInt32 opcode) {
  return opcode == effEditGetRect || opcode == effEditOpen || opcode == effEditClose ||
         opcode == effEditIdle;
}

}  // namespace host
