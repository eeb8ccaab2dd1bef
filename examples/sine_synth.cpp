// SineSynth: a small polyphonic MIDI instrument with no inputs: eight voices of
// sines at their keys' pitch, bent by the pitch wheel. It shows what makes an
// effect an instrument: the synth flag, the "receiveVstMidiEvent" capability,
// events that arrive before their block, and the framework's MIDI helpers.
// Order: parameter table, state, construction, processing, texts, entry.
#include <cmath>
#include <cstring>

#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamVolume, kNumParams };

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::decibelParameter("Volume", -60.0, 0.0, -12.0),
};

constexpr vst::Identity kIdentity = {"Sine Synth", "Velmbrook", "Sine Synth example", 0};

constexpr int kVoices = 8;
constexpr double kTwoPi = 6.283185307179586;
constexpr float kAttackSeconds = 0.005f;  // short ramps, so notes start and end without a click
constexpr float kReleaseSeconds = 0.05f;
constexpr float kVoiceLevel = 0.25f;  // four voices at full velocity reach full scale

class SineSynth : public vst::ParameterEffect<kNumParams> {
  // Everything here belongs to the audio thread and has a fixed size (processing
  // allocates nothing): the next block's messages, the voices, the wheel.
  vst::MidiQueue midi;
  vst::VoiceAllocator voices{kVoices};
  double phases[kVoices] = {};    // cycles, 0 to 1
  float envelopes[kVoices] = {};  // 0 to 1
  float bend = 0.0f;              // semitones

 public:
  explicit SineSynth(audioMasterCallback audioMaster)
      : ParameterEffect(audioMaster, 1, kParameters, kIdentity) {
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
  // calling processReplacing; the queue keeps what it can decode, in frame order.
  VstInt32 processEvents(VstEvents* events) override { return midi.add(events); }

  // [audio thread] The block in segments between events, so each event takes
  // effect at its own frame.
  void processReplacing(float**, float** outputs, VstInt32 sampleFrames) override {
    const float gain = factor(kParamVolume);  // decibels as a factor, read once per block
    for (vst::MidiSegments segment(midi, sampleFrames); segment.next();) {
      for (const vst::MidiMessage& message : segment) apply(message);
      render(outputs, segment.from(), segment.to(), gain);
    }
  }

  // [host thread, suspended] A rate of 0 or less, or none at all, is refused.
  void setSampleRate(float newSampleRate) override {
    if (newSampleRate > 0.0f && std::isfinite(newSampleRate))
      ParameterEffect::setSampleRate(newSampleRate);
  }

  // [host thread] The identity texts come from kIdentity; the category is the instrument's.
  VstPlugCategory getPlugCategory() override { return kPlugCategSynth; }

 private:
  // The voices take notes, the pedal and all notes or sound off; the wheel
  // (two semitones either way) is the synth's own.
  void apply(const vst::MidiMessage& message) {
    voices.apply(message);
    if (message.type == vst::MidiType::kPitchBend) bend = 2.0f * message.bendFraction();
    if (message.isController(vst::kMidiResetControllers)) bend = 0.0f;
  }

  // Each sounding voice adds its sine to the left output, which the right
  // copies; a released voice is free again once its envelope reaches 0.
  void render(float** outputs, VstInt32 from, VstInt32 to, float gain) {
    const float rate = getSampleRate();
    const float attack = 1.0f / (kAttackSeconds * rate), release = 1.0f / (kReleaseSeconds * rate);
    for (VstInt32 i = from; i < to; ++i) outputs[0][i] = 0.0f;
    for (int v = 0; v < kVoices; ++v) {
      const vst::Voice& voice = voices[v];
      double& phase = phases[v];
      float& envelope = envelopes[v];
      if (!voice.active()) {
        envelope = 0.0f;  // all sound off, or no note yet
        continue;
      }
      const double step = 440.0 * std::pow(2.0, (voice.key - 69.0 + bend) / 12.0) / rate;
      const float level = kVoiceLevel * gain * static_cast<float>(voice.velocity) / 127.0f;
      for (VstInt32 i = from; i < to; ++i) {
        envelope =
            voice.gate() ? std::fmin(envelope + attack, 1.0f) : std::fmax(envelope - release, 0.0f);
        outputs[0][i] += level * envelope * static_cast<float>(std::sin(kTwoPi * phase));
        phase += step;
        if (phase >= 1.0) phase -= std::floor(phase);
      }
      if (!voice.gate() && envelope == 0.0f) voices.finish(v);
    }
    for (VstInt32 i = from; i < to; ++i) outputs[1][i] = outputs[0][i];
  }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) SineSynth(audioMaster);
}
