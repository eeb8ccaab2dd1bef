// The extended dispatcher's rows, its fall-through, the extended defaults,
// resume's event test, the flag setters and the slot order of both classes' operations.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>

#include "vst/audio_effect_x.h"
#include "vst/host.h"

namespace {

char buffer[64];
void* const kPtr = buffer;
constexpr VstInt32 kIndex = -3;
constexpr VstIntPtr kValue = (VstIntPtr(5) << 32) + 7;  // low 32 bits: 7
constexpr float kOpt = 2.5f;

// Prints an argument as the tables below spell it.
std::string show(bool b) { return b ? "true" : "false"; }
template <typename T>
std::string show(T* p) {
  const void* v = p;
  return v == kPtr ? "P" : v == reinterpret_cast<void*>(kValue) ? "V" : v ? "?" : "null";
}
template <typename T>
std::string show(T n) {
  std::ostringstream out;
  out << n;
  return out.str();
}

// Whatever the operation returns, converted the way its own result type wants.
struct Answer {
  VstIntPtr v;
  operator bool() const { return v != 0; }
  operator VstInt32() const { return static_cast<VstInt32>(v); }
  operator VstIntPtr() const { return v; }
};

// Records every operation the dispatcher reaches, with its arguments.
class RecordingEffect : public AudioEffectX {
 public:
  RecordingEffect() : AudioEffectX(nullptr, 4, 2) {}
  void processReplacing(float**, float**, VstInt32) override {}
  std::string log;
  VstIntPtr answer = 0;
  template <typename... A>
  Answer note(const char* name, A... args) {
    std::string text = std::string(name) + "(";
    ((text += show(args) + ","), ...);
    if (text.back() == ',') text.pop_back();
    log += text + ")";
    return Answer{answer};
  }
  // clang-format off
  VstInt32 processEvents(VstEvents* e) override { return note("processEvents", e); }
  bool canParameterBeAutomated(VstInt32 i) override { return note("canParameterBeAutomated", i); }
  bool string2parameter(VstInt32 i, char* t) override { return note("string2parameter", i, t); }
  bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override { return note("getProgramNameIndexed", c, i, t); }
  bool getInputProperties(VstInt32 i, VstPinProperties* p) override { return note("getInputProperties", i, p); }
  bool getOutputProperties(VstInt32 i, VstPinProperties* p) override { return note("getOutputProperties", i, p); }
  VstPlugCategory getPlugCategory() override { return note("getPlugCategory"); }
  bool offlineNotify(VstAudioFile* f, VstInt32 n, bool s) override { return note("offlineNotify", f, n, s); }
  bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override { return note("offlinePrepare", t, n); }
  bool offlineRun(VstOfflineTask* t, VstInt32 n) override { return note("offlineRun", t, n); }
  bool processVariableIo(VstVariableIo* io) override { return note("processVariableIo", io); }
  bool setSpeakerArrangement(VstSpeakerArrangement* i, VstSpeakerArrangement* o) override { return note("setSpeakerArrangement", i, o); }
  bool setBypass(bool on) override { return note("setBypass", on); }
  bool getEffectName(char* t) override { return note("getEffectName", t); }
  bool getVendorString(char* t) override { return note("getVendorString", t); }
  bool getProductString(char* t) override { return note("getProductString", t); }
  VstInt32 getVendorVersion() override { return note("getVendorVersion"); }
  VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float f) override { return note("vendorSpecific", a, b, p, f); }
  VstInt32 canDo(char* t) override { return note("canDo", t); }
  VstInt32 getGetTailSize() override { return note("getGetTailSize"); }
  bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override { return note("getParameterProperties", i, p); }
  VstInt32 getVstVersion() override { return note("getVstVersion"); }
  VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* n) override { return note("getMidiProgramName", c, n); }
  VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* n) override { return note("getCurrentMidiProgram", c, n); }
  VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* n) override { return note("getMidiProgramCategory", c, n); }
  bool hasMidiProgramsChanged(VstInt32 c) override { return note("hasMidiProgramsChanged", c); }
  bool getMidiKeyName(VstInt32 c, MidiKeyName* n) override { return note("getMidiKeyName", c, n); }
  bool beginSetProgram() override { return note("beginSetProgram"); }
  bool endSetProgram() override { return note("endSetProgram"); }
  bool getSpeakerArrangement(VstSpeakerArrangement** i, VstSpeakerArrangement** o) override { return note("getSpeakerArrangement", i, o); }
  VstInt32 getNextShellPlugin(char* t) override { return note("getNextShellPlugin", t); }
  VstInt32 startProcess() override { return note("startProcess"); }
  VstInt32 stopProcess() override { return note("stopProcess"); }
  VstInt32 setTotalSampleToProcess(VstInt32 v) override { return note("setTotalSampleToProcess", v); }
  bool setPanLaw(VstInt32 t, float v) override { return note("setPanLaw", t, v); }
  VstInt32 beginLoadBank(VstPatchChunkInfo* i) override { return note("beginLoadBank", i); }
  VstInt32 beginLoadProgram(VstPatchChunkInfo* i) override { return note("beginLoadProgram", i); }
  bool setProcessPrecision(VstInt32 p) override { return note("setProcessPrecision", p); }
  VstInt32 getNumMidiInputChannels() override { return note("getNumMidiInputChannels"); }
  VstInt32 getNumMidiOutputChannels() override { return note("getNumMidiOutputChannels"); }
  // Base operations, to see the fall-through's arguments.
  void open() override { note("open"); }
  void resume() override { note("resume"); }
  void setSampleRate(float r) override { note("setSampleRate", r); }
  void setBlockSize(VstInt32 s) override { note("setBlockSize", s); }
  void getParameterLabel(VstInt32 i, char* t) override { note("getParameterLabel", i, t); }
  VstInt32 getChunk(void** d, bool p) override { return note("getChunk", d, p); }
  VstInt32 setChunk(void* d, VstInt32 s, bool p) override { return note("setChunk", d, s, p); }
  // clang-format on
};

enum Form { kBool, kInt, kWhole, kZero };

TEST(ExtendedDispatcher, EveryRowConvertsItsArgumentsAndAnswer) {
  struct Row {
    VstInt32 opcode;
    const char* call;
    Form form;
  };
  // clang-format off
  const Row rows[] = {
    {25, "processEvents(P)", kInt}, {26, "canParameterBeAutomated(-3)", kBool},
    {27, "string2parameter(-3,P)", kBool}, {29, "getProgramNameIndexed(7,-3,P)", kBool},
    {33, "getInputProperties(-3,P)", kBool}, {34, "getOutputProperties(-3,P)", kBool},
    {35, "getPlugCategory()", kInt}, {38, "offlineNotify(P,7,true)", kBool},
    {39, "offlinePrepare(P,7)", kBool}, {40, "offlineRun(P,7)", kBool},
    {41, "processVariableIo(P)", kBool}, {42, "setSpeakerArrangement(V,P)", kBool},
    {44, "setBypass(true)", kBool}, {45, "getEffectName(P)", kBool},
    {47, "getVendorString(P)", kBool}, {48, "getProductString(P)", kBool},
    {49, "getVendorVersion()", kInt}, {50, "vendorSpecific(-3,21474836487,P,2.5)", kWhole},
    {51, "canDo(P)", kInt}, {52, "getGetTailSize()", kInt},
    {56, "getParameterProperties(-3,P)", kBool}, {58, "getVstVersion()", kInt},
    {62, "getMidiProgramName(-3,P)", kInt}, {63, "getCurrentMidiProgram(-3,P)", kInt},
    {64, "getMidiProgramCategory(-3,P)", kInt}, {65, "hasMidiProgramsChanged(-3)", kBool},
    {66, "getMidiKeyName(-3,P)", kBool}, {67, "beginSetProgram()", kBool},
    {68, "endSetProgram()", kBool}, {69, "getSpeakerArrangement(V,P)", kBool},
    {70, "getNextShellPlugin(P)", kInt}, {71, "startProcess()", kInt},
    {72, "stopProcess()", kInt}, {73, "setTotalSampleToProcess(7)", kInt},
    {74, "setPanLaw(7,2.5)", kBool}, {75, "beginLoadBank(P)", kInt},
    {76, "beginLoadProgram(P)", kInt}, {77, "setProcessPrecision(7)", kBool},
    {78, "getNumMidiInputChannels()", kInt}, {79, "getNumMidiOutputChannels()", kInt},
    // Base opcodes reach the base dispatcher with every argument unchanged.
    {0, "open()", kZero}, {6, "getParameterLabel(-3,P)", kZero}, {10, "setSampleRate(2.5)", kZero},
    {11, "setBlockSize(7)", kZero}, {12, "resume()", kZero}, {23, "getChunk(P,true)", kInt},
    {24, "setChunk(P,7,true)", kInt}};
  // clang-format on
  RecordingEffect effect;
  for (const Row& row : rows) {
    for (VstIntPtr answer : {VstIntPtr(0), (VstIntPtr(1) << 40) - 1, VstIntPtr(1) << 32}) {
      effect.log.clear();
      effect.answer = answer;
      const VstIntPtr expected = row.form == kZero   ? 0
                                 : row.form == kBool ? (answer != 0 ? 1 : 0)
                                 : row.form == kInt  ? static_cast<VstInt32>(answer)
                                                     : answer;
      EXPECT_EQ(effect.dispatcher(row.opcode, kIndex, kValue, kPtr, kOpt), expected)
          << row.call << " answering " << answer;
      EXPECT_EQ(effect.log, row.call);
    }
  }
  effect.log.clear();
  effect.dispatcher(effSetBypass, 0, VstIntPtr(1) << 32, nullptr, 0.0f);
  effect.dispatcher(effOfflineNotify, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(effect.log, "setBypass(true)offlineNotify(null,0,false)");
}

TEST(ExtendedDispatcher, RowlessAndOutOfRangeOpcodesAnswerZeroAndCallNothing) {
  RecordingEffect effect;
  effect.answer = -1;
  for (VstInt32 opcode : {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 59, 60, 61, 80, 1000, -1,
                          -2147483647 - 1}) {
    EXPECT_EQ(effect.dispatcher(opcode, kIndex, kValue, kPtr, kOpt), 0) << opcode;
  }
  EXPECT_EQ(effect.log, "");
  EXPECT_EQ(effect.getNumCategories(), 1) << "yet opcode 28 answered 0";
  EXPECT_EQ(effect.getSampleRate(), 44100.0f) << "opcode 43 changes nothing";
  EXPECT_EQ(effect.getBlockSize(), 1024);
}

class PlainEffect : public AudioEffectX {
 public:
  explicit PlainEffect(audioMasterCallback master = nullptr) : AudioEffectX(master, 1, 1) {}
  void processReplacing(float**, float**, VstInt32) override {}
  VstInt32 flags() const { return cEffect.flags; }
};

// Answers `can` to "receiveVstMidiEvent".
class MidiEffect : public PlainEffect {
 public:
  using PlainEffect::PlainEffect;
  VstInt32 canDo(char* text) override {
    return std::strcmp(text, "receiveVstMidiEvent") == 0 ? can : 0;
  }
  VstInt32 can = 0;
};

TEST(ExtendedDefaults, AnswerLikeAnEffectWithoutOptionalFeatures) {
  PlainEffect effect;
  VstSpeakerArrangement dummy{};
  VstSpeakerArrangement* place = &dummy;
  for (VstInt32 opcode = 25; opcode <= 79; ++opcode) {
    const VstIntPtr expected = opcode == 26 ? 1 : opcode == 58 ? 2400 : opcode == 63 ? -1 : 0;
    EXPECT_EQ(effect.dispatcher(opcode, 1000, 0, &place, 0.0f), expected) << opcode;
  }
  EXPECT_EQ(place, nullptr) << "opcode 69 stores null into the place it is given";
  VstSpeakerArrangement* input = &dummy;
  EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                              nullptr, 0.0f),
            0)
      << "a null place is skipped";
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(effect.dispatcher(effSetTotalSampleToProcess, 0, (VstIntPtr(1) << 32) + 5, nullptr, 0),
            5);
  effect.isSynth(true);
  EXPECT_EQ(effect.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
  effect.setBlockSizeAndSampleRate(64, 96000.0f);
  EXPECT_EQ(effect.getBlockSize(), 64);
  EXPECT_EQ(effect.getSampleRate(), 96000.0f);
}

// Every flag setter of both classes, one row each: a setter that touches
// another bit, or does not set or clear its own (also when called twice).
TEST(FlagSetters, ASetterChangingAnotherBit) {
  PlainEffect effect;
  using Setter = void (AudioEffectX::*)(bool);
  struct Row {
    Setter setter;
    VstInt32 bit;
  };
  const Row rows[] = {{&AudioEffectX::hasClip, 0x2},
                      {&AudioEffectX::hasVu, 0x4},
                      {&AudioEffectX::canMono, 0x8},
                      {&AudioEffectX::canProcessReplacing, 0x10},
                      {&AudioEffectX::programsAreChunks, 0x20},
                      {&AudioEffectX::isSynth, 0x100},
                      {&AudioEffectX::noTail, 0x200},
                      {&AudioEffectX::wantAsyncOperation, 0x400},
                      {&AudioEffectX::hasExternalBuffer, 0x800},
                      {&AudioEffectX::canDoubleReplacing, 0x1000}};
  for (const Row& row : rows) {
    const VstInt32 before = effect.flags();
    for (int twice = 0; twice < 2; ++twice) {
      (effect.*row.setter)(true);
      EXPECT_EQ(effect.flags(), before | row.bit) << row.bit;
    }
    for (int twice = 0; twice < 2; ++twice) {
      (effect.*row.setter)(false);
      EXPECT_EQ(effect.flags(), before & ~row.bit) << row.bit;
    }
    (effect.*row.setter)(true);  // the next rows run with this bit set
  }
  EXPECT_EQ(effect.flags(), 0x1F3E);
}

TEST(ExtendedResume, AsksForEventsOnlyForSynthsAndMidiReceivers) {
  struct Case {
    bool synth;
    VstInt32 can;
    bool asks;
  };
  for (const Case c : {Case{false, 0, false}, Case{false, 1, true}, Case{false, -1, false},
                       Case{false, 2, false}, Case{true, 0, true}}) {
    host::Host host;
    MidiEffect effect(&host::Host::callback);
    effect.getAeffect()->user = &host;
    effect.isSynth(c.synth);
    effect.can = c.can;
    for (int times = 1; times <= 2; ++times) {
      effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
      const auto calls = host.calls();
      ASSERT_EQ(calls.size(), c.asks ? size_t(times) : 0u) << c.synth << " " << c.can;
      if (!c.asks) continue;
      EXPECT_EQ(calls.back().opcode, audioMasterWantMidi);
      EXPECT_EQ(calls.back().value, 1);
      EXPECT_EQ(calls.back().effect, effect.getAeffect());
    }
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
// Under the Itanium C++ ABI a pointer to a virtual member holds 1 + the byte
// offset of its slot in the table of virtual operations.
template <typename F>
std::ptrdiff_t slotOf(F member) {
  std::ptrdiff_t raw[2];
  static_assert(sizeof member == sizeof raw, "Itanium member pointer");
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Every virtual operation of both classes in the order of its slot, the
// binary contract with effects built against the framework: the destructor's
// two entries, then AudioEffect's 49 operations, then AudioEffectX's 102. An
// operation inserted, removed or moved in either class shifts a slot here.
TEST(VirtualSlots, AnOperationOutOfItsSlot) {
  // clang-format off
#define BASE(name) slotOf(&AudioEffect::name)
#define SLOT(name) slotOf(&AudioEffectX::name)
  const std::ptrdiff_t base[] = {
    BASE(dispatcher), BASE(open), BASE(close), BASE(suspend), BASE(resume), BASE(setSampleRate),
    BASE(setBlockSize), BASE(processReplacing), BASE(processDoubleReplacing), BASE(setParameter),
    BASE(getParameter), BASE(setParameterAutomated), BASE(getProgram), BASE(setProgram),
    BASE(setProgramName), BASE(getProgramName), BASE(getParameterLabel),
    BASE(getParameterDisplay), BASE(getParameterName), BASE(getChunk), BASE(setChunk),
    BASE(setUniqueID), BASE(setNumInputs), BASE(setNumOutputs), BASE(canProcessReplacing),
    BASE(canDoubleReplacing), BASE(programsAreChunks), BASE(setInitialDelay), BASE(getEditor),
    BASE(getAeffect), BASE(getSampleRate), BASE(getBlockSize), BASE(getMasterVersion),
    BASE(getCurrentUniqueId), BASE(masterIdle), BASE(dB2string), BASE(Hz2string),
    BASE(ms2string), BASE(float2string), BASE(int2string), BASE(process), BASE(getVu),
    BASE(hasVu), BASE(hasClip), BASE(canMono), BASE(setRealtimeQualities),
    BASE(setOfflineQualities), BASE(isInputConnected), BASE(isOutputConnected)};
  const std::ptrdiff_t extended[] = {
    SLOT(canParameterBeAutomated), SLOT(string2parameter), SLOT(getParameterProperties),
    SLOT(beginEdit), SLOT(endEdit), SLOT(getProgramNameIndexed), SLOT(beginSetProgram),
    SLOT(endSetProgram), SLOT(beginLoadBank), SLOT(beginLoadProgram), SLOT(ioChanged),
    SLOT(updateSampleRate), SLOT(updateBlockSize), SLOT(getInputLatency), SLOT(getOutputLatency),
    SLOT(getInputProperties), SLOT(getOutputProperties), SLOT(setSpeakerArrangement),
    SLOT(getSpeakerArrangement), SLOT(setBypass), SLOT(setPanLaw), SLOT(setProcessPrecision),
    SLOT(getNumMidiInputChannels), SLOT(getNumMidiOutputChannels), SLOT(getTimeInfo),
    SLOT(getCurrentProcessLevel), SLOT(getAutomationState), SLOT(processEvents), SLOT(startProcess),
    SLOT(stopProcess), SLOT(processVariableIo), SLOT(setTotalSampleToProcess),
    SLOT(getHostVendorString), SLOT(getHostProductString), SLOT(getHostVendorVersion),
    SLOT(hostVendorSpecific), SLOT(canHostDo), SLOT(getHostLanguage), SLOT(isSynth), SLOT(noTail),
    SLOT(getGetTailSize), SLOT(getDirectory), SLOT(getEffectName), SLOT(getVendorString),
    SLOT(getProductString), SLOT(getVendorVersion), SLOT(vendorSpecific), SLOT(canDo),
    SLOT(getVstVersion), SLOT(getPlugCategory), SLOT(getMidiProgramName),
    SLOT(getCurrentMidiProgram), SLOT(getMidiProgramCategory), SLOT(hasMidiProgramsChanged),
    SLOT(getMidiKeyName), SLOT(updateDisplay), SLOT(sizeWindow), SLOT(openFileSelector),
    SLOT(closeFileSelector), SLOT(getNextShellPlugin), SLOT(allocateArrangement),
    SLOT(deallocateArrangement), SLOT(copySpeaker), SLOT(matchArrangement), SLOT(offlineRead),
    SLOT(offlineWrite), SLOT(offlineStart), SLOT(offlineGetCurrentPass),
    SLOT(offlineGetCurrentMetaPass), SLOT(offlineNotify), SLOT(offlinePrepare), SLOT(offlineRun),
    SLOT(offlineGetNumPasses), SLOT(offlineGetNumMetaPasses), SLOT(wantEvents), SLOT(tempoAt),
    SLOT(getNumAutomatableParameters), SLOT(getParameterQuantization), SLOT(getNumCategories),
    SLOT(copyProgram), SLOT(needIdle), SLOT(getPreviousPlug), SLOT(getNextPlug),
    SLOT(inputConnected), SLOT(outputConnected), SLOT(willProcessReplacing),
    SLOT(wantAsyncOperation), SLOT(hasExternalBuffer), SLOT(reportCurrentPosition),
    SLOT(reportDestinationBuffer), SLOT(setOutputSamplerate), SLOT(getInputSpeakerArrangement),
    SLOT(getOutputSpeakerArrangement), SLOT(openWindow), SLOT(closeWindow),
    SLOT(setBlockSizeAndSampleRate), SLOT(getErrorText), SLOT(getIcon), SLOT(setViewPosition),
    SLOT(fxIdle), SLOT(keysRequired), SLOT(getChunkFile)};
#undef SLOT
#undef BASE
  // clang-format on
  ASSERT_EQ(std::size(base), 49u);
  ASSERT_EQ(std::size(extended), 102u);
  for (std::size_t i = 0; i < std::size(base); ++i)
    EXPECT_EQ(base[i], 2 + std::ptrdiff_t(i)) << "AudioEffect operation " << i;
  for (std::size_t i = 0; i < std::size(extended); ++i)
    EXPECT_EQ(extended[i], 2 + 49 + std::ptrdiff_t(i)) << "AudioEffectX operation " << i;
  EXPECT_EQ(slotOf(&AudioEffectX::dispatcher), slotOf(&AudioEffect::dispatcher))
      << "overrides add no slot";
  EXPECT_EQ(slotOf(&AudioEffectX::resume), slotOf(&AudioEffect::resume));
}
#endif

}  // namespace
