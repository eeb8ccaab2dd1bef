// SineSynth: a small MIDI instrument with no inputs: eight voices of sines at
// their keys' pitch, bent by their channel's wheel, played poly, mono or
// legato, and by MPE controllers. It shows what makes an effect an instrument:
// the synth flag, the "receiveVstMidiEvent" capability, events that arrive
// before their block, and the framework's MIDI helpers.
// Order: parameter table, state, construction, processing, texts, entry.
#include <cmath>
#include <cstring>

#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamVolume, kParamMode, kNumParams };

// In the order of vst::VoiceMode.
constexpr const char* kModeNames[] = {"Poly", "Mono", "Legato"};

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::decibelParameter("Volume", -60.0, 0.0, -12.0),
    vst::choiceParameter("Mode", kModeNames, 0),
};

constexpr vst::Identity kIdentity = {"Sine Synth", "Velmbrook", "Sine Synth example", 0};

constexpr int kVoices = 8;
constexpr double kTwoPi = 6.283185307179586;
constexpr float kAttackSeconds = 0.005f;  // short ramps, so notes start and end without a click
constexpr float kReleaseSeconds = 0.05f;
constexpr float kStealSeconds = 0.004f;             // a stolen note fades out within 5 ms
constexpr double kGlideSemitonesPerSecond = 100.0;  // legato: an octave in 0.12 s
constexpr float kVoiceLevel = 0.25f;                // four voices at full velocity reach full scale

// A sine as it sounds: its phase, its step per frame (both in cycles) and its level.
struct Sine {
  double phase = 0.0, step = 0.0;
  float level = 0.0f;
  float next() {
    const float sample = level * static_cast<float>(std::sin(kTwoPi * phase));
    phase += step;
    if (phase >= 1.0) phase -= std::floor(phase);
    return sample;
  }
};

class SineSynth : public vst::ParameterEffect<kNumParams> {
  // Everything here belongs to the audio thread and has a fixed size (processing
  // allocates nothing): the next block's messages, the voices with the
  // channels' controllers, each voice's sine, envelope and gliding key, and
  // the tails of stolen notes.
  vst::MidiQueue midi;
  vst::VoiceAllocator voices{kVoices};
  Sine sines[kVoices];
  float envelopes[kVoices] = {};  // 0 to 1
  double keys[kVoices] = {};      // the key sounding, on its way to the voice's in legato
  struct Tail : Sine {
    float fall = 0.0f;  // level lost per frame
  } tails[kVoices];

 public:
  explicit SineSynth(audioMasterCallback master)
      : ParameterEffect(master, 1, kParameters, kIdentity) {
    setNumInputs(0);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'S', 'n'));
    canProcessReplacing();
    isSynth();  // resume() then asks the host for MIDI events
    voices.onSteal(&SineSynth::stolen, this);
  }

  VstInt32 canDo(char* text) override {
    return text != nullptr && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
  }

  // [audio thread] The host hands the events of the next block just before
  // calling processReplacing; the queue keeps what it can decode, in frame order.
  VstInt32 processEvents(VstEvents* events) override { return midi.add(events); }

  // [host thread, suspended] Processing starts afresh: no note, no stale event.
  void resume() override {
    midi.clear();
    voices.reset();
    for (int v = 0; v < kVoices; ++v) envelopes[v] = sines[v].level = tails[v].level = 0.0f;
    ParameterEffect::resume();
  }

  // [audio thread] The block in segments between events, so each event takes
  // effect at its own frame.
  void processReplacing(float**, float** outputs, VstInt32 sampleFrames) override {
    const float gain = factor(kParamVolume);  // decibels as a factor, read once per block
    voices.setMode(static_cast<vst::VoiceMode>(choice(kParamMode)));
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
  // The voices take every message: notes, the pedal, all notes or sound off,
  // and the controllers of each channel, MPE's zone and bend ranges included.
  void apply(const vst::MidiMessage& message) { voices.apply(message); }

  // [audio thread] A stolen voice's note goes on as a tail fading out, while
  // the voice starts its new note from silence: the steal makes no click.
  static void stolen(void* self, const vst::VoiceSteal& steal) {
    SineSynth& synth = *static_cast<SineSynth*>(self);
    Tail* tail = synth.tails;  // the quietest
    for (Tail& other : synth.tails) tail = other.level < tail->level ? &other : tail;
    static_cast<Sine&>(*tail) = synth.sines[steal.voice];
    tail->fall = tail->level / (kStealSeconds * synth.getSampleRate());
    synth.envelopes[steal.voice] = 0.0f;
  }

  // Each sounding voice and tail adds its sine to the left output, which the
  // right copies; a released voice is free again once its envelope reaches 0.
  void render(float** outputs, VstInt32 from, VstInt32 to, float gain) {
    const float rate = getSampleRate();
    const float attack = 1.0f / (kAttackSeconds * rate), release = 1.0f / (kReleaseSeconds * rate);
    const double glide = kGlideSemitonesPerSecond / rate;
    for (VstInt32 i = from; i < to; ++i) outputs[0][i] = 0.0f;
    for (Tail& tail : tails)
      for (VstInt32 i = from; i < to && tail.level > 0.0f; ++i) {
        outputs[0][i] += tail.next();
        tail.level = std::fmax(tail.level - tail.fall, 0.0f);
      }
    for (int v = 0; v < kVoices; ++v) {
      const vst::Voice& voice = voices[v];
      Sine& sine = sines[v];
      float& envelope = envelopes[v];
      double& key = keys[v];
      if (!voice.active()) {
        sine.level = envelope = 0.0f;  // all sound off, or no note yet
        continue;
      }
      if (envelope == 0.0f) {  // a new note starts on its key, at the sine's start, whichever
        key = voice.key;       // voice it took and whenever that voice was freed
        sine.phase = 0.0;
      }
      const double bend = voices.controllers().bend(voice.channel);
      const float level = kVoiceLevel * gain * static_cast<float>(voice.velocity) / 127.0f;
      sine.step = 440.0 * std::pow(2.0, (key - 69.0 + bend) / 12.0) / rate;
      for (VstInt32 i = from; i < to; ++i) {
        if (key != voice.key) {  // legato: glide
          key = key < voice.key ? std::fmin(key + glide, voice.key)
                                : std::fmax(key - glide, voice.key);
          sine.step = 440.0 * std::pow(2.0, (key - 69.0 + bend) / 12.0) / rate;
        }
        envelope =
            voice.gate() ? std::fmin(envelope + attack, 1.0f) : std::fmax(envelope - release, 0.0f);
        sine.level = level * envelope;
        outputs[0][i] += sine.next();
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
