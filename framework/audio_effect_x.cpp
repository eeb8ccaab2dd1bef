// The extended dispatcher, the extended resume and the defaults with bodies.
#include "vst/audio_effect_x.h"

namespace {

// Answer forms: a bool answers 1 or 0, a VstInt32 is widened with its sign.
VstIntPtr answerOf(bool result) { return result ? 1 : 0; }
VstIntPtr answerOf(VstInt32 result) { return static_cast<VstIntPtr>(result); }

// Where the dispatcher's `value` feeds a VstInt32, its low 32 bits are used.
VstInt32 low32(VstIntPtr value) { return static_cast<VstInt32>(value); }

// The editor's key modifier: the low 8 bits of `opt` truncated toward zero.
// NaN, infinities and values beyond 32 bits have no such integer and give 0.
uint8_t modifierOf(float opt) {
  if (!(opt >= -2147483648.0f && opt < 2147483648.0f)) return 0;
  return static_cast<uint8_t>(static_cast<uint32_t>(static_cast<int32_t>(opt)) & 0xFFu);
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  char* const text = static_cast<char*>(ptr);
  switch (opcode) {
    case effProcessEvents: return answerOf(processEvents(static_cast<VstEvents*>(ptr)));
    case effCanBeAutomated: return answerOf(canParameterBeAutomated(index));
    case effString2Parameter: return answerOf(string2parameter(index, text));
    case effGetProgramNameIndexed:
      return answerOf(getProgramNameIndexed(low32(value), index, text));
    case effGetInputProperties:
      return answerOf(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
      return answerOf(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory: return answerOf(getPlugCategory());
    case effOfflineNotify:
      return answerOf(offlineNotify(static_cast<VstAudioFile*>(ptr), low32(value), index != 0));
    case effOfflinePrepare:
      return answerOf(offlinePrepare(static_cast<VstOfflineTask*>(ptr), low32(value)));
    case effOfflineRun:
      return answerOf(offlineRun(static_cast<VstOfflineTask*>(ptr), low32(value)));
    case effProcessVarIo: return answerOf(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
      return answerOf(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                            static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBypass: return answerOf(setBypass(value != 0));
    case effGetEffectName: return answerOf(getEffectName(text));
    case effGetVendorString: return answerOf(getVendorString(text));
    case effGetProductString: return answerOf(getProductString(text));
    case effGetVendorVersion: return answerOf(getVendorVersion());
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return answerOf(canDo(text));
    case effGetTailSize: return answerOf(getGetTailSize());
    case effGetParameterProperties:
      return answerOf(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
    case effGetVstVersion: return answerOf(getVstVersion());
    case effEditKeyDown:
    case effEditKeyUp: {
      if (editor == nullptr) return 0;
      VstKeyCode key{index, static_cast<uint8_t>(value & 0xFF), modifierOf(opt)};
      return answerOf(opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key));
    }
    case effSetEditKnobMode:
      return editor != nullptr ? answerOf(editor->setKnobMode(low32(value))) : 0;
    case effGetMidiProgramName:
      return answerOf(getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)));
    case effGetCurrentMidiProgram:
      return answerOf(getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)));
    case effGetMidiProgramCategory:
      return answerOf(getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)));
    case effHasMidiProgramsChanged: return answerOf(hasMidiProgramsChanged(index));
    case effGetMidiKeyName: return answerOf(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram: return answerOf(beginSetProgram());
    case effEndSetProgram: return answerOf(endSetProgram());
    case effGetSpeakerArrangement:
      return answerOf(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                            static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin: return answerOf(getNextShellPlugin(text));
    case effStartProcess: return answerOf(startProcess());
    case effStopProcess: return answerOf(stopProcess());
    case effSetTotalSampleToProcess: return answerOf(setTotalSampleToProcess(low32(value)));
    case effSetPanLaw: return answerOf(setPanLaw(low32(value), opt));
    case effBeginLoadBank: return answerOf(beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)));
    case effBeginLoadProgram:
      return answerOf(beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)));
    case effSetProcessPrecision: return answerOf(setProcessPrecision(low32(value)));
    case effGetNumMidiInputChannels: return answerOf(getNumMidiInputChannels());
    case effGetNumMidiOutputChannels: return answerOf(getNumMidiOutputChannels());
    default:
      // Opcodes below 25 and above 79, and the deprecated ones in between
      // (28, 30 to 32, 36, 37, 43, 46, 53 to 55, 57), which it answers 0.
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

void AudioEffectX::resume() {
  if ((cEffect.flags & effFlagsIsSynth) == 0) {
    // A copy, since canDo takes a writable text.
    char capability[] = "receiveVstMidiEvent";
    if (canDo(capability) != 1) return;
  }
  wantEvents(1);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
  if (pluginInput != nullptr) *pluginInput = nullptr;
  if (pluginOutput != nullptr) *pluginOutput = nullptr;
  return false;
}

VstPlugCategory AudioEffectX::getPlugCategory() {
  return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}
