// AudioEffect: the base of every effect. It keeps the host callback, the
// editor, the sample rate and block size, the program and parameter counts and
// the effect record it hands to the host, and turns the host's control opcodes
// 0 to 24 into calls of its virtual operations.
//
// Thread tags on each operation say who may call it and, where it matters, in
// which state. The effect is suspended from its creation until the host
// switches it on (effMainsChanged 1, resume) and again after the host switches
// it off (effMainsChanged 0, suspend); in between it is resumed, and only then
// does the host process.
//   [audio thread]                       the host's processing thread, while resumed;
//                                        never allocates, locks or blocks
//   [any thread]                         any host thread, in any state, also while processing
//   [host thread]                        a control thread of the host, in any state
//   [host thread, suspended]             a control thread, only while suspended
//   [host thread, not while processing]  a control thread, never during a processing call
//   [construction]                       the effect's own constructor, before the record
//                                        reaches the host
//
// Slot order of the virtual operations is part of the binary contract with
// effects compiled against the framework: never reorder, insert or remove.
#pragma once

#include <cstddef>
#include <new>

#include "vst/relaxed.h"
#include "vst/vst.h"

class AudioEffect;

// The optional editor window. The base class owns the object it is given and
// destroys it with itself.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* owner = nullptr) : effect(owner) {}
  virtual ~AEffEditor() = default;
  virtual AudioEffect* getEffect() { return effect; }
  virtual bool getRect(ERect** rect) {
    if (rect != nullptr) *rect = nullptr;
    return false;
  }
  virtual bool open(void* parentWindow) {
    systemWindow = parentWindow;
    return true;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& keyCode) { return (void)keyCode, false; }
  virtual bool onKeyUp(VstKeyCode& keyCode) { return (void)keyCode, false; }
  virtual bool onWheel(float distance) { return (void)distance, false; }
  virtual bool setKnobMode(VstInt32 mode) { return (void)mode, false; }

 protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};

class AudioEffect {
 public:
  // [construction] Sets the fields and fills the record; calls nothing in the host.
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  // Destroys the attached editor, if any.
  virtual ~AudioEffect();

  // [host thread] The base dispatcher for opcodes 0 to 24; every other opcode answers 0.
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  // [host thread, suspended] open after creation, close before the record
  // goes. They do nothing here.
  virtual void open() {}
  virtual void close() {}
  // [host thread, not while processing] suspend switches a resumed effect off,
  // resume a suspended one on. They do nothing here.
  virtual void suspend() {}
  virtual void resume() {}

  // [host thread, suspended] Store the value; processing picks it up at its
  // next call. Hosts send them only while the effect is suspended, but one
  // that sends them while it is resumed, even during a processing call, is
  // not refused: the value is stored at any time, whole (a relaxed atomic), and
  // processing reads the old or the new one.
  virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
  virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

  // [audio thread] Replace the outputs with the processed inputs.
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
    (void)inputs, (void)outputs, (void)sampleFrames;
  }

  // [any thread] Normalised parameter values, nominally 0.0 to 1.0.
  virtual void setParameter(VstInt32 index, float value) { (void)index, (void)value; }
  virtual float getParameter(VstInt32 index) { return (void)index, 0.0f; }
  // [host thread] setParameter, then tells the host with audioMasterAutomate.
  virtual void setParameterAutomated(VstInt32 index, float value);

  // [host thread] Programs. setProgram applies no range check.
  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char* name) { (void)name; }
  // [host thread] Texts into the host's buffer; the defaults write the empty text.
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(VstInt32 index, char* label);
  virtual void getParameterDisplay(VstInt32 index, char* text);
  virtual void getParameterName(VstInt32 index, char* text);

  // [host thread] Opaque state; no chunks by default.
  virtual VstInt32 getChunk(void** data, bool isPreset = false) {
    return (void)data, (void)isPreset, 0;
  }
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) {
    return (void)data, (void)byteSize, (void)isPreset, 0;
  }

  // [construction] Record settings.
  virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state = true) { setFlag(effFlagsCanDoubleReplacing, state); }
  virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
  // Stores the latency in the record; tells the host nothing.
  virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
  // The effect's own version in the record (1 unless set); hosts show it and
  // compare it when they restore a project. Not virtual: the slot order above
  // is fixed.
  void setVersion(VstInt32 version) { cEffect.version = version; }
  // [construction] Gives the effect an editor, which it owns and destroys
  // with itself (a previous one is destroyed), and sets effFlagsHasEditor;
  // null takes the editor away and clears the flag. Not virtual: the slot
  // order above is fixed.
  void setEditor(AEffEditor* newEditor) {
    if (newEditor != editor) delete editor;
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
  }

  // [any thread] Accessors.
  virtual AEffEditor* getEditor() { return editor; }
  virtual AEffect* getAeffect() { return &cEffect; }
  virtual float getSampleRate() { return sampleRate; }
  virtual VstInt32 getBlockSize() { return blockSize; }

  // [host thread] Host queries; each calls the host at most once and answers a
  // fixed default when there is no callback.
  virtual VstInt32 getMasterVersion();
  virtual VstInt32 getCurrentUniqueId();
  virtual void masterIdle();

  // [any thread] Value-to-text conversions into a caller's buffer of at least
  // maxLen + 1 bytes: the text is zero-filled through index maxLen and nothing
  // past it is written. They allocate nothing.
  virtual void dB2string(float value, char* text, VstInt32 maxLen);
  virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
  virtual void ms2string(float samples, char* text, VstInt32 maxLen);
  virtual void float2string(float value, char* text, VstInt32 maxLen);
  virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

  // [audio thread] Deprecated accumulating process; does nothing.
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    (void)inputs, (void)outputs, (void)sampleFrames;
  }
  // Deprecated record settings.
  virtual float getVu() { return 0.0f; }
  virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
  virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
  virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
  // [host thread] Host queries: true when the pin is connected or there is no host.
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  // Every instance is one zero-filled heap block. The nothrow form answers null
  // when the block cannot be had, which the plug-in entry passes on to the host.
  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, const std::nothrow_t&) noexcept;

 protected:
  void setFlag(VstInt32 flag, bool state) {
    cEffect.flags = state ? (cEffect.flags | flag) : (cEffect.flags & ~flag);
  }

  // The one path into the host: calls the host callback once with this
  // instance's record and the given opcode and arguments, and returns its
  // answer. Without a callback it calls nothing and answers 0, which every host
  // service reads as its fixed default (1 for getMasterVersion, true for
  // isInputConnected and isOutputConnected, the stored value for
  // updateSampleRate and updateBlockSize, else 0, false or null). Not virtual:
  // the slot order above is fixed.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return audioMaster != nullptr ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
  }

  audioMasterCallback audioMaster;  // the host callback; may be null
  AEffEditor* editor;               // owned; null when the effect has no editor
  Relaxed<float> sampleRate;        // Hz; written by control calls, read by processing
  Relaxed<VstInt32> blockSize;      // largest frame count per process call
  VstInt32 numPrograms;             // the base dispatcher checks program numbers against this
  VstInt32 numParams;
  VstInt32 curProgram;
  AEffect cEffect;  // the record the host holds; `object` points back here
};

// Defined by the effect that the module carries: makes one instance for the
// plug-in entry, normally `return new (std::nothrow) MyEffect(audioMaster);`.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
