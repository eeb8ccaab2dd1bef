// SineSynth: a small MIDI instrument. It has no inputs; a note on starts a sine
// at the note's pitch, a note off lets it fade out. It shows what makes an
// effect an instrument: the synth flag, the "receiveVstMidiEvent" capability,
// and events that arrive before the block they belong to.
// Order: parameter table, state, construction, processing, parameters, texts, entry.
#include <cmath>
#include <cstring>

#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamVolume, kNumParams };

struct ParameterInfo {
  const char* name;   // at most 8 characters
  const char* label;  // at most 8 characters
  float initial;      // normalised, 0 to 1
};

constexpr ParameterInfo kParameters[kNumParams] = {
    {"Volume", "dB", 0.5f},
};

constexpr VstInt32 kMaxPendingEvents = 256;  // more in one block are dropped
constexpr double kTwoPi = 6.283185307179586;
constexpr float kAttackSeconds = 0.005f;  // short ramps, so notes start and end without a click
constexpr float kReleaseSeconds = 0.05f;

class SineSynth : public AudioEffectX {
  Relaxed<float> volume{kParameters[kParamVolume].initial};  // [any thread]

  // The rest belongs to the audio thread: the events for the next block, kept
  // in a fixed array (processing allocates nothing), and the one voice.
  VstMidiEvent pending[kMaxPendingEvents];
  VstInt32 pendingCount = 0;
  VstInt32 note = 69;     // the key sounding or last sounded
  bool held = false;      // whether that key is still down
  double phase = 0.0;     // cycles, 0 to 1
  float envelope = 0.0f;  // 0 to 1

 public:
  explicit SineSynth(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, kNumParams) {
    setNumInputs(0);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'S', 'n'));
    canProcessReplacing();
    isSynth();  // resume() then asks the host for MIDI events
  }

  VstInt32 canDo(char* text) override {
    return text != nullptr && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
  }

  // [audio thread] The host hands the events of the next block just before
  // calling processReplacing; they are copied, since the list is the host's.
  VstInt32 processEvents(VstEvents* events) override {
    for (VstInt32 i = 0; events != nullptr && i < events->numEvents; ++i) {
      const VstEvent* event = events->events[i];
      if (event == nullptr || event->type != kVstMidiType || pendingCount == kMaxPendingEvents)
        continue;
      std::memcpy(&pending[pendingCount++], event, sizeof(VstMidiEvent));
    }
    return 1;
  }

  // [audio thread] Each event takes effect at its frame; events come in order.
  void processReplacing(float**, float** outputs, VstInt32 sampleFrames) override {
    const float gain = volume * volume;  // a gentle curve: 0.5 is -12 dB
    VstInt32 frame = 0;
    for (VstInt32 i = 0; i < pendingCount; ++i) {
      VstInt32 at = pending[i].deltaFrames;
      at = at < frame ? frame : (at > sampleFrames ? sampleFrames : at);
      render(outputs, frame, at, gain);
      frame = at;
      apply(pending[i]);
    }
    pendingCount = 0;
    render(outputs, frame, sampleFrames, gain);
  }

  // [host thread, suspended] A rate of 0 or less, or none at all, would stop
  // the oscillator and the envelope: it is refused and the last good one kept.
  void setSampleRate(float newSampleRate) override {
    if (newSampleRate > 0.0f && std::isfinite(newSampleRate))
      AudioEffectX::setSampleRate(newSampleRate);
  }

  // [any thread] Clamped to 0 to 1; a NaN becomes 0.
  void setParameter(VstInt32 index, float value) override {
    if (index == kParamVolume) volume = value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f;
  }
  float getParameter(VstInt32 index) override {
    return index == kParamVolume ? volume.load() : 0.0f;
  }

  void getParameterName(VstInt32 index, char* text) override {
    vst::copyText(text, index == kParamVolume ? kParameters[index].name : "", kVstMaxParamStrLen);
  }
  void getParameterLabel(VstInt32 index, char* text) override {
    vst::copyText(text, index == kParamVolume ? kParameters[index].label : "", kVstMaxParamStrLen);
  }
  void getParameterDisplay(VstInt32 index, char* text) override {
    if (index == kParamVolume)
      dB2string(volume * volume, text, kVstMaxParamStrLen);
    else
      vst::copyText(text, "", kVstMaxParamStrLen);
  }
  bool getEffectName(char* name) override { return identity(name, "Sine Synth"); }
  bool getVendorString(char* text) override { return identity(text, "Velmbrook"); }
  bool getProductString(char* text) override { return identity(text, "Sine Synth example"); }
  VstPlugCategory getPlugCategory() override { return kPlugCategSynth; }

 private:
  static bool identity(char* text, const char* value) {
    vst::copyText(text, value, 24);
    return true;
  }

  // Note on starts (or takes over) the voice; note off, or note on with
  // velocity 0, releases it if it is the key held; "all notes off" releases it.
  void apply(const VstMidiEvent& event) {
    const int status = event.midiData[0] & 0xF0;
    const int key = event.midiData[1] & 0x7F;
    const int velocity = event.midiData[2] & 0x7F;
    if (status == 0x90 && velocity > 0) {
      note = key;
      held = true;
    } else if ((status == 0x80 || status == 0x90) && key == note) {
      held = false;
    } else if (status == 0xB0 && key == 123) {
      held = false;
    }
  }

  // The pitch follows the sample rate the host set last.
  void render(float** outputs, VstInt32 from, VstInt32 to, float gain) {
    const float rate = getSampleRate();
    const double step = 440.0 * std::pow(2.0, (note - 69) / 12.0) / rate;
    const float attack = 1.0f / (kAttackSeconds * rate);
    const float release = 1.0f / (kReleaseSeconds * rate);
    for (VstInt32 i = from; i < to; ++i) {
      envelope = held ? std::fmin(envelope + attack, 1.0f) : std::fmax(envelope - release, 0.0f);
      const float sample =
          envelope == 0.0f ? 0.0f : gain * envelope * static_cast<float>(std::sin(kTwoPi * phase));
      outputs[0][i] = sample;
      outputs[1][i] = sample;
      phase += step;
      if (phase >= 1.0) phase -= std::floor(phase);
    }
  }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) SineSynth(audioMaster);
}
