// The host services of AudioEffectX. Each calls the host callback at most
// once, with the instance's own record, a fixed opcode and arguments taken
// from its parameters (0, 0, null and 0.0 where it has none), and reads the
// answer in one of these forms:
//   int        the low 32 bits, signed
//   non-zero   true when any of the 64 bits is set
//   pointer    the whole answer taken as a pointer, handed on unread
// Without a callback each answers a fixed default and calls nothing; askHost
// (audio_effect_x.h) makes the one call.
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
  return audioMaster != nullptr && nonZero(askHost(audioMasterBeginEdit, index));
}

bool AudioEffectX::endEdit(VstInt32 index) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterEndEdit, index));
}

bool AudioEffectX::ioChanged() {
  return audioMaster != nullptr && nonZero(askHost(audioMasterIOChanged));
}

double AudioEffectX::updateSampleRate() {
  if (audioMaster != nullptr) {
    const VstIntPtr rate = askHost(audioMasterGetSampleRate);
    if (rate > 0) sampleRate = static_cast<float>(rate);
  }
  return static_cast<double>(sampleRate.load());
}

VstInt32 AudioEffectX::updateBlockSize() {
  if (audioMaster != nullptr) {
    const VstInt32 size = intOf(askHost(audioMasterGetBlockSize));
    if (size > 0) blockSize = size;
  }
  return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetInputLatency)) : 0;
}

VstInt32 AudioEffectX::getOutputLatency() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetOutputLatency)) : 0;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return audioMaster != nullptr ? pointerOf<VstTimeInfo>(askHost(audioMasterGetTime, 0, filter))
                                : nullptr;
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetCurrentProcessLevel)) : 0;
}

VstInt32 AudioEffectX::getAutomationState() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetAutomationState)) : 0;
}

bool AudioEffectX::getHostVendorString(char* text) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterGetVendorString, 0, 0, text));
}

bool AudioEffectX::getHostProductString(char* text) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterGetProductString, 0, 0, text));
}

VstInt32 AudioEffectX::getHostVendorVersion() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetVendorVersion)) : 0;
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                           float floatArg) {
  return audioMaster != nullptr ? askHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg)
                                : 0;
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterCanDo, 0, 0, text)) ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetLanguage)) : 0;
}

void* AudioEffectX::getDirectory() {
  return audioMaster != nullptr ? pointerOf<void>(askHost(audioMasterGetDirectory)) : nullptr;
}

bool AudioEffectX::updateDisplay() {
  return audioMaster != nullptr && nonZero(askHost(audioMasterUpdateDisplay));
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterSizeWindow, width, height));
}

bool AudioEffectX::openFileSelector(VstFileSelect* select) {
  return audioMaster != nullptr && select != nullptr &&
         nonZero(askHost(audioMasterOpenFileSelector, 0, 0, select));
}

bool AudioEffectX::closeFileSelector(VstFileSelect* select) {
  return audioMaster != nullptr && select != nullptr &&
         nonZero(askHost(audioMasterCloseFileSelector, 0, 0, select));
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstOfflineOption option, bool readSource) {
  return audioMaster != nullptr &&
         nonZero(askHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline));
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstOfflineOption option) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterOfflineWrite, 0, option, offline));
}

bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                                VstInt32 numNewAudioFiles) {
  return audioMaster != nullptr &&
         nonZero(askHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles));
}

VstInt32 AudioEffectX::offlineGetCurrentPass() {
  return audioMaster != nullptr && nonZero(askHost(audioMasterOfflineGetCurrentPass)) ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
  return audioMaster != nullptr && nonZero(askHost(audioMasterOfflineGetCurrentMetaPass)) ? 1 : 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) {
  if (audioMaster != nullptr) askHost(audioMasterWantMidi, 0, filter);
}

VstInt32 AudioEffectX::tempoAt(VstInt32 pos) {
  return audioMaster != nullptr ? intOf(askHost(audioMasterTempoAt, 0, pos)) : 0;
}

VstInt32 AudioEffectX::getNumAutomatableParameters() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetNumAutomatableParameters)) : 0;
}

VstInt32 AudioEffectX::getParameterQuantization() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterGetParameterQuantization)) : 0;
}

bool AudioEffectX::needIdle() {
  return audioMaster != nullptr && nonZero(askHost(audioMasterNeedIdle));
}

AEffect* AudioEffectX::getPreviousPlug(VstInt32 input) {
  (void)input;  // the host is never told which pin
  return audioMaster != nullptr ? pointerOf<AEffect>(askHost(audioMasterGetPreviousPlug)) : nullptr;
}

AEffect* AudioEffectX::getNextPlug(VstInt32 output) {
  (void)output;  // the host is never told which pin
  return audioMaster != nullptr ? pointerOf<AEffect>(askHost(audioMasterGetNextPlug)) : nullptr;
}

VstInt32 AudioEffectX::willProcessReplacing() {
  return audioMaster != nullptr ? intOf(askHost(audioMasterWillReplaceOrAccumulate)) : 0;
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
  if (audioMaster != nullptr) askHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
  return audioMaster != nullptr
             ? pointerOf<VstSpeakerArrangement>(askHost(audioMasterGetInputSpeakerArrangement))
             : nullptr;
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
  return audioMaster != nullptr
             ? pointerOf<VstSpeakerArrangement>(askHost(audioMasterGetOutputSpeakerArrangement))
             : nullptr;
}

void* AudioEffectX::openWindow(VstWindow* window) {
  return audioMaster != nullptr ? pointerOf<void>(askHost(audioMasterOpenWindow, 0, 0, window))
                                : nullptr;
}

bool AudioEffectX::closeWindow(VstWindow* window) {
  return audioMaster != nullptr && nonZero(askHost(audioMasterCloseWindow, 0, 0, window));
}

bool AudioEffectX::getChunkFile(void* nativePath) {
  return audioMaster != nullptr && nativePath != nullptr &&
         nonZero(askHost(audioMasterGetChunkFile, 0, 0, nativePath));
}
