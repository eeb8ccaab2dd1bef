// AudioEffectX: the extended effect class every concrete effect derives from.
// It adds no fields to AudioEffect. Its dispatcher answers the opcodes 25 to 79
// and hands every other opcode to the base dispatcher unchanged; its 102
// further operations follow the base class's in the slot order below, which is
// part of the binary contract with effects built on the framework: never
// reorder, insert or remove an operation.
//
// The operations are answers to extended opcodes (defaults: false, 0, null or
// a fixed value, like an effect that supports no optional feature), host
// services (each asks or tells the host through the callback once, and answers
// a fixed default when there is no callback), flag setters, and the four
// speaker-arrangement tools. Thread tags as in audio_effect.h.
#pragma once

#include "vst/audio_effect.h"

class AudioEffectX : public AudioEffect {
 public:
  // [construction] Constructs the AudioEffect part with the same arguments.
  AudioEffectX(audioMasterCallback host, VstInt32 programs, VstInt32 parameters)
      : AudioEffect(host, programs, parameters) {}

  // [host thread] Answers opcodes 25 to 79; every other opcode goes to the base
  // dispatcher with its arguments unchanged.
  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;
  // [host thread, not while processing] Switches a suspended effect on; asks
  // the host for events when the effect is a synth or its own canDo answers 1
  // to "receiveVstMidiEvent".
  void resume() override;

  // [host thread] Parameters and programs.
  virtual bool canParameterBeAutomated(VstInt32 index) { return (void)index, true; }
  virtual bool string2parameter(VstInt32 index, char* text) {
    return (void)index, (void)text, false;
  }
  virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) {
    return (void)index, (void)properties, false;
  }
  virtual bool beginEdit(VstInt32 index);  // host service
  virtual bool endEdit(VstInt32 index);    // host service
  virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    return (void)category, (void)index, (void)text, false;
  }
  virtual bool beginSetProgram() { return false; }
  virtual bool endSetProgram() { return false; }
  virtual VstInt32 beginLoadBank(VstPatchChunkInfo* info) { return (void)info, 0; }
  virtual VstInt32 beginLoadProgram(VstPatchChunkInfo* info) { return (void)info, 0; }

  // [host thread] Host services about the audio setup. updateSampleRate and
  // updateBlockSize store a positive answer in the field and return the field;
  // like setSampleRate, they are meant for the suspended state, and processing
  // reads the old or the new value whole when they run while it is resumed.
  virtual bool ioChanged();
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual VstInt32 getInputLatency();
  virtual VstInt32 getOutputLatency();

  // [host thread] Pins and speaker arrangements. getSpeakerArrangement stores
  // null into each place it is given (a null place is skipped).
  virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties) {
    return (void)index, (void)properties, false;
  }
  virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    return (void)index, (void)properties, false;
  }
  virtual bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                     VstSpeakerArrangement* pluginOutput) {
    return (void)pluginInput, (void)pluginOutput, false;
  }
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                     VstSpeakerArrangement** pluginOutput);
  virtual bool setBypass(bool onOff) { return (void)onOff, false; }
  virtual bool setPanLaw(VstInt32 type, float val) { return (void)type, (void)val, false; }
  virtual bool setProcessPrecision(VstInt32 precision) { return (void)precision, false; }
  virtual VstInt32 getNumMidiInputChannels() { return 0; }
  virtual VstInt32 getNumMidiOutputChannels() { return 0; }

  // [audio thread] Host services about the transport; the host answers at once.
  virtual VstTimeInfo* getTimeInfo(VstInt32 filter);
  virtual VstInt32 getCurrentProcessLevel();
  virtual VstInt32 getAutomationState();

  // [audio thread] Events and processing extras.
  virtual VstInt32 processEvents(VstEvents* events) { return (void)events, 0; }
  // [host thread, not while processing]
  virtual VstInt32 startProcess() { return 0; }
  virtual VstInt32 stopProcess() { return 0; }
  virtual bool processVariableIo(VstVariableIo* varIo) { return (void)varIo, false; }
  virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

  // [host thread] Host services: the host's identity and capabilities.
  virtual bool getHostVendorString(char* text);
  virtual bool getHostProductString(char* text);
  virtual VstInt32 getHostVendorVersion();
  virtual VstIntPtr hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                       float floatArg);
  // 1 when the host answers anything but 0.
  virtual VstInt32 canHostDo(char* text);
  virtual VstInt32 getHostLanguage();

  // [construction] Record flags; nothing is reported to the host.
  virtual void isSynth(bool state = true) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state = true) { setFlag(effFlagsNoSoundInStop, state); }

  // [host thread]
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual void* getDirectory();  // host service

  // [any thread] The effect's identity. The defaults write nothing and answer false.
  virtual bool getEffectName(char* name) { return (void)name, false; }
  virtual bool getVendorString(char* text) { return (void)text, false; }
  virtual bool getProductString(char* text) { return (void)text, false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  // The one opcode whose 64-bit answer reaches the host unchanged.
  virtual VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) {
    return (void)lArg, (void)lArg2, (void)ptrArg, (void)floatArg, 0;
  }
  virtual VstInt32 canDo(char* text) { return (void)text, 0; }
  virtual VstInt32 getVstVersion() { return kVstVersion; }
  // kPlugCategSynth when effFlagsIsSynth is set, else kPlugCategUnknown.
  virtual VstPlugCategory getPlugCategory();

  // [host thread] MIDI programs and key names.
  virtual VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* name) {
    return (void)channel, (void)name, 0;
  }
  virtual VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current) {
    return (void)channel, (void)current, -1;
  }
  virtual VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) {
    return (void)channel, (void)category, 0;
  }
  virtual bool hasMidiProgramsChanged(VstInt32 channel) { return (void)channel, false; }
  virtual bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName) {
    return (void)channel, (void)keyName, false;
  }

  // [host thread] Host services for the editor. The file-selector calls answer
  // false without asking the host when the record pointer is null.
  virtual bool updateDisplay();
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
  virtual bool openFileSelector(VstFileSelect* select);
  virtual bool closeFileSelector(VstFileSelect* select);

  // [host thread]
  virtual VstInt32 getNextShellPlugin(char* name) { return (void)name, 0; }

  // [host thread, not while processing] Speaker arrangements of the effect's
  // own: one block of 8 + 112 * n bytes per arrangement, owned by whoever holds
  // the pointer. allocateArrangement frees the block the pointer holds first;
  // a channel count outside 0 to kMaxArrangementChannels, a null pointer place
  // or a failed allocation answers false and leaves the pointer null.
  // matchArrangement replaces *to with a copy of `from` using the other three.
  virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels);
  virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
  virtual bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from);
  virtual bool matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from);

  // [host thread] Offline processing: host services, then the effect's answers.
  virtual bool offlineRead(VstOfflineTask* offline, VstOfflineOption option,
                           bool readSource = true);
  virtual bool offlineWrite(VstOfflineTask* offline, VstOfflineOption option);
  virtual bool offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                            VstInt32 numNewAudioFiles);
  virtual VstInt32 offlineGetCurrentPass();
  virtual VstInt32 offlineGetCurrentMetaPass();
  virtual bool offlineNotify(VstAudioFile* ptr, VstInt32 numAudioFiles, bool start) {
    return (void)ptr, (void)numAudioFiles, (void)start, false;
  }
  virtual bool offlinePrepare(VstOfflineTask* offline, VstInt32 count) {
    return (void)offline, (void)count, false;
  }
  virtual bool offlineRun(VstOfflineTask* offline, VstInt32 count) {
    return (void)offline, (void)count, false;
  }
  virtual VstInt32 offlineGetNumPasses() { return 0; }
  virtual VstInt32 offlineGetNumMetaPasses() { return 0; }

  // [host thread] Host services; wantEvents is the one the framework itself
  // calls (from resume).
  virtual void wantEvents(VstInt32 filter = 1);
  virtual VstInt32 tempoAt(VstInt32 pos);
  virtual VstInt32 getNumAutomatableParameters();
  virtual VstInt32 getParameterQuantization();

  // [host thread] Operations no opcode reaches, most of them deprecated; kept in
  // their slots for effects that still override or call them.
  virtual VstInt32 getNumCategories() { return 1; }
  virtual bool copyProgram(VstInt32 destination) { return (void)destination, false; }
  virtual bool needIdle();                           // host service
  virtual AEffect* getPreviousPlug(VstInt32 input);  // host service; pin not passed on
  virtual AEffect* getNextPlug(VstInt32 output);     // host service; pin not passed on
  virtual void inputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
  virtual void outputConnected(VstInt32 index, bool state) { (void)index, (void)state; }
  virtual VstInt32 willProcessReplacing();  // host service
  virtual void wantAsyncOperation(bool state = true) { setFlag(effFlagsExtIsAsync, state); }
  virtual void hasExternalBuffer(bool state = true) { setFlag(effFlagsExtHasBuffer, state); }
  virtual VstInt32 reportCurrentPosition() { return 0; }
  virtual float* reportDestinationBuffer() { return nullptr; }
  virtual void setOutputSamplerate(float samplerate);            // host service
  virtual VstSpeakerArrangement* getInputSpeakerArrangement();   // host service
  virtual VstSpeakerArrangement* getOutputSpeakerArrangement();  // host service
  virtual void* openWindow(VstWindow* window);                   // host service
  virtual bool closeWindow(VstWindow* window);                   // host service
  // [host thread, suspended] Stores both fields directly: neither setter runs,
  // nobody is told. Accepted in any state, like setSampleRate and setBlockSize.
  virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    blockSize = newBlockSize;
    sampleRate = newSampleRate;
  }
  virtual bool getErrorText(char* text) { return (void)text, false; }
  virtual void* getIcon() { return nullptr; }
  virtual bool setViewPosition(VstInt32 x, VstInt32 y) { return (void)x, (void)y, false; }
  virtual VstInt32 fxIdle() { return 0; }
  virtual bool keysRequired() { return false; }
  virtual bool getChunkFile(void* nativePath);  // host service

  // The largest channel count whose arrangement size fits a signed 32-bit byte count.
  static constexpr VstInt32 kMaxArrangementChannels =
      (0x7FFFFFFF - kVstSpeakerArrangementHeaderSize) / kVstSpeakerPropertiesSize;
};
