#include "vst/audio_effect.h"

#include <cstdlib>
#include <cstring>

#include "vst/text_copy.h"

namespace {

// The record's six functions. Each takes the instance from `object` and makes
// one virtual call; nothing else lies on the path into processing.
AudioEffect* instanceOf(AEffect* effect) { return static_cast<AudioEffect*>(effect->object); }

VstIntPtr VSTCALLBACK dispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt) {
  AudioEffect* instance = instanceOf(effect);
  const VstIntPtr answer = instance->dispatcher(opcode, index, value, ptr, opt);
  if (opcode == effClose) {
    delete instance;  // the record lives inside the instance and goes with it
    return 1;
  }
  return answer;
}

void VSTCALLBACK processEntry(AEffect* effect, float** inputs, float** outputs,
                              VstInt32 sampleFrames) {
  instanceOf(effect)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterEntry(AEffect* effect, VstInt32 index, float value) {
  instanceOf(effect)->setParameter(index, value);
}

float VSTCALLBACK getParameterEntry(AEffect* effect, VstInt32 index) {
  return instanceOf(effect)->getParameter(index);
}

void VSTCALLBACK processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       VstInt32 sampleFrames) {
  instanceOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                             VstInt32 sampleFrames) {
  instanceOf(effect)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.flags = effFlagsCanReplacing;
  cEffect.dispatcher = dispatcherEntry;
  cEffect.process = processEntry;
  cEffect.setParameter = setParameterEntry;
  cEffect.getParameter = getParameterEntry;
  cEffect.processReplacing = processReplacingEntry;
  cEffect.processDoubleReplacing = processDoubleReplacingEntry;
  cEffect.magic = kEffectMagic;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = VST_FOUR_CHARS('N', 'o', 'E', 'f');
  cEffect.version = 1;
}

AudioEffect::~AudioEffect() { delete editor; }

void* AudioEffect::operator new(std::size_t size) {
  if (void* block = std::calloc(1, size)) return block;
  throw std::bad_alloc();
}

void* AudioEffect::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::calloc(1, size);
}

void AudioEffect::operator delete(void* block) noexcept { std::free(block); }

void AudioEffect::operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  // Compared unsigned: negative opcodes land above 24 and answer 0 too.
  switch (static_cast<uint32_t>(opcode)) {
    case effOpen: open(); break;
    case effClose: close(); break;
    case effSetProgram:
      if (value < static_cast<VstIntPtr>(numPrograms)) setProgram(static_cast<VstInt32>(value));
      break;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(static_cast<char*>(ptr)); break;
    case effGetProgramName: getProgramName(static_cast<char*>(ptr)); break;
    case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); break;
    case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); break;
    case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); break;
    case effSetSampleRate: setSampleRate(opt); break;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); break;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      break;
    case effEditGetRect:
      return editor != nullptr && editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen: return editor != nullptr && editor->open(ptr) ? 1 : 0;
    case effEditClose:
      if (editor != nullptr) editor->close();
      break;
    case effEditIdle:
      if (editor != nullptr) editor->idle();
      break;
    case effIdentify: return VST_FOUR_CHARS('N', 'v', 'E', 'f');
    case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: break;  // effGetVu, the deprecated editor opcodes and everything above 24
  }
  return 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name) {
  if (name != nullptr) *name = '\0';
}

void AudioEffect::getParameterLabel(VstInt32 index, char* label) {
  (void)index;
  if (label != nullptr) *label = '\0';
}

void AudioEffect::getParameterDisplay(VstInt32 index, char* text) {
  (void)index;
  if (text != nullptr) *text = '\0';
}

void AudioEffect::getParameterName(VstInt32 index, char* text) {
  (void)index;
  if (text != nullptr) *text = '\0';
}

// The host services of AudioEffect; those of AudioEffectX are in
// host_services.cpp. Each makes its one call through callHost.

VstInt32 AudioEffect::getMasterVersion() {
  const auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
  return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
  return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

// An answer of 0 means connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
  return static_cast<VstInt32>(callHost(audioMasterPinConnected, input, 0)) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return static_cast<VstInt32>(callHost(audioMasterPinConnected, output, 1)) == 0;
}
