// The host services of AudioEffectX. Each calls the host callback at most
// once, with the instance's own record, a fixed opcode and arguments taken
// from its parameters (0, 0, null and 0.0 where it has none), and reads the
// answer in one of these forms:
//   int        the low 32 bits, signed
//   non-zero   true when any of the 64 bits is set
//   pointer    the whole answer taken as a pointer, handed on unread
// callHost (audio_effect.h) makes the one call; without a callback it calls
// nothing and answers 0, which each reading below turns into the service's
// fixed default.
#include "vst/audio_effect_x.h"

namespace {

VstInt32 intOf(VstIntPtr answer) { return static_cast<VstInt32>(answer); }
bool nonZero(VstIntPtr answer) { return answer != 0; }
template <typename T>
T* pointerOf(VstIntPtr answer) {
  return reinterpret_cast<T*>(answer);
}

}  // namespace

bool AudioEffectX::beginEdit(VstInt32 index) {
  return nonZero(callHost(audioMasterBeginEdit, index));
}

bool AudioEffectX::endEdit(VstInt32 index) { return nonZero(callHost(audioMasterEndEdit, index)); }

bool AudioEffectX::ioChanged() { return nonZero(callHost(audioMasterIOChanged)); }

double AudioEffectX::updateSampleRate() {
  const VstIntPtr rate = callHost(audioMasterGetSampleRate);  // 0 without a host: no change
  if (rate > 0) sampleRate = static_cast<float>(rate);
  return static_cast<double>(sampleRate.load());
}

VstInt32 AudioEffectX::updateBlockSize() {
  const VstInt32 size = intOf(callHost(audioMasterGetBlockSize));  // 0 without a host: no change
  if (size > 0) blockSize = size;
  return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() { return intOf(callHost(audioMasterGetInputLatency)); }

VstInt32 AudioEffectX::getOutputLatency() { return intOf(callHost(audioMasterGetOutputLatency)); }

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return pointerOf<VstTimeInfo>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return intOf(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState() {
  return intOf(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::getHostVendorString(char* text) {
  return nonZero(callHost(audioMasterGetVendorString, 0, 0, text));
}

bool AudioEffectX::getHostProductString(char* text) {
  return nonZero(callHost(audioMasterGetProductString, 0, 0, text));
}

VstInt32 AudioEffectX::getHostVendorVersion() {
  return intOf(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                           float floatArg) {
  return callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  return nonZero(callHost(audioMasterCanDo, 0, 0, text)) ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage() { return intOf(callHost(audioMasterGetLanguage)); }

void* AudioEffectX::getDirectory() { return pointerOf<void>(callHost(audioMasterGetDirectory)); }

bool AudioEffectX::updateDisplay() { return nonZero(callHost(audioMasterUpdateDisplay)); }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return nonZero(callHost(audioMasterSizeWindow, width, height));
}

bool AudioEffectX::openFileSelector(VstFileSelect* select) {
  return select != nullptr && nonZero(callHost(audioMasterOpenFileSelector, 0, 0, select));
}

bool AudioEffectX::closeFileSelector(VstFileSelect* select) {
  return select != nullptr && nonZero(callHost(audioMasterCloseFileSelector, 0, 0, select));
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstOfflineOption option, bool readSource) {
  return nonZero(callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline));
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstOfflineOption option) {
  return nonZero(callHost(audioMasterOfflineWrite, 0, option, offline));
}

bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                                VstInt32 numNewAudioFiles) {
  return nonZero(callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles));
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
  return nonZero(callHost(audioMasterOfflineGetCurrentPass)) ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return nonZero(callHost(audioMasterOfflineGetCurrentMetaPass)) ? 1 : 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) { callHost(audioMasterWantMidi, 0, filter); }

VstInt32 AudioEffectX::tempoAt(VstInt32 pos) { return intOf(callHost(audioMasterTempoAt, 0, pos)); }

VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return intOf(callHost(audioMasterGetNumAutomatableParameters));
}

VstInt32 AudioEffectX::getParameterQuantization() {
  return intOf(callHost(audioMasterGetParameterQuantization));
}

bool AudioEffectX::needIdle() { return nonZero(callHost(audioMasterNeedIdle)); }

AEffect* AudioEffectX::getPreviousPlug(VstInt32 input) {
  (void)input;  // the host is never told which pin
  return pointerOf<AEffect>(callHost(audioMasterGetPreviousPlug));
}

AEffect* AudioEffectX::getNextPlug(VstInt32 output) {
  (void)output;  // the host is never told which pin
  return pointerOf<AEffect>(callHost(audioMasterGetNextPlug));
}

VstInt32 AudioEffectX::willProcessReplacing() {
  return intOf(callHost(audioMasterWillReplaceOrAccumulate));
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
  return pointerOf<VstSpeakerArrangement>(callHost(audioMasterGetInputSpeakerArrangement));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
  return pointerOf<VstSpeakerArrangement>(callHost(audioMasterGetOutputSpeakerArrangement));
}

void* AudioEffectX::openWindow(VstWindow* window) {
  return pointerOf<void>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(VstWindow* window) {
  return nonZero(callHost(audioMasterCloseWindow, 0, 0, window));
}

bool AudioEffectX::getChunkFile(void* nativePath) {
  return nativePath != nullptr && nonZero(callHost(audioMasterGetChunkFile, 0, 0, nativePath));
}
