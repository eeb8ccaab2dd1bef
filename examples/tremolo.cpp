// Tremolo: the level of both channels rises and falls with a slow sine, at a
// rate of its own or in time with the host's tempo. It shows state that
// processing carries from one block to the next (the oscillator's phase), a
// sample rate the host may change while suspended, and the host's time; and
// an editor of its own, which draws the wave processing makes.
// Order: parameter table, editor, state, construction, processing, texts, entry.
#include <cmath>
#include <vector>

#include "vst/editor/controls.h"
#include "vst/framework.h"

namespace {

enum Parameter : VstInt32 { kParamRate, kParamDepth, kParamSync, kNumParams };

// Sync: free at Rate, or one cycle per note value of the host's tempo.
constexpr const char* kSyncNames[] = {"Off", "1/1", "1/2", "1/4", "1/8", "1/16"};
constexpr double kSyncBeats[] = {0.0, 4.0, 2.0, 1.0, 0.5, 0.25};  // quarter notes per cycle

constexpr vst::ParameterSpec kParameters[kNumParams] = {
    vst::logParameter("Rate", "Hz", 0.1, 20.0, 5.0),          // 0.1 to 20 Hz, from 5 Hz
    vst::linearParameter("Depth", "%", 0.0, 100.0, 50.0, 0),  // how far the level dips
    vst::choiceParameter("Sync", kSyncNames, 0),              // Off
};

constexpr vst::Identity kIdentity = {"Tremolo", "Velmbrook", "Tremolo example", 0};

constexpr double kTwoPi = 6.283185307179586;

// The level the tremolo gives at `phase` (cycles): full at 0, lowest half-way.
float levelAt(double phase, double depth) {
  return 1.0f - static_cast<float>(depth * (0.5 - 0.5 * std::cos(kTwoPi * phase)));
}

// The editor: knobs for Rate and Depth, a choice for Sync, and the wave the
// level follows drawn at the current rate and depth over one second, with a
// marker where the oscillator is now. Processing publishes its phase through
// a relaxed atomic; the editor reads it at every idle, so neither waits.
class TremoloEditor : public vst::Editor {
  const Relaxed<float>& lfoPhase;
  const vst::Rect wave{16, 52, 408, 108};
  double shownRate = 0.0, shownDepth = -1.0, shownSync = -1.0;
  float shownPhase = -1.0f;

 public:
  TremoloEditor(vst::ParameterEffect<kNumParams>* effect, const Relaxed<float>& phase)
      : Editor(effect, 440, 296), lfoPhase(phase) {
    const float columns[kNumParams] = {88, 220, 352};  // the three controls' centres
    for (VstInt32 index = 0; index < kNumParams; ++index) {
      const float x = columns[index] - 60;
      add<vst::Label>(vst::Rect{x, 172, 120, 18}, kParameters[index].name);
      if (index == kParamSync) {
        add<vst::Choice>(index, vst::Rect{x + 14, 208, 92, 26});  // shows its value itself
      } else {
        add<vst::Knob>(index, vst::Rect{x + 30, 192, 60, 60});
        add<vst::ValueText>(index, vst::Rect{x, 256, 120, 22});
      }
    }
  }

 protected:
  // The wave redraws when a value it is drawn from or the phase moved.
  void update() override {
    const double rate = plainValue(kParamRate), depth = plainValue(kParamDepth);
    const double sync = plainValue(kParamSync);
    const float phase = lfoPhase;
    if (rate != shownRate || depth != shownDepth || sync != shownSync || phase != shownPhase)
      invalidate(wave);
  }

  void draw(vst::Canvas& canvas) override {
    canvas.clear(vst::theme::kBackground);
    canvas.fillRect({0, 0, 440, 40}, vst::theme::kTitleBar);
    canvas.fillRect({0, 38, 440, 2}, vst::theme::kAccentDim);
    canvas.text("Tremolo", 16, 25, vst::theme::kTitleSize, vst::theme::kText);
    canvas.fillRoundRect({8, 168, 424, 116}, 8, vst::theme::kPanel);
    drawWave(canvas);
  }

 private:
  // One second of the level (or one cycle, when a cycle is longer); synced,
  // the tempo is the host's, so two cycles of whatever length it gives.
  void drawWave(vst::Canvas& canvas) {
    shownRate = plainValue(kParamRate), shownDepth = plainValue(kParamDepth);
    shownSync = plainValue(kParamSync), shownPhase = lfoPhase;
    const double cycles = shownSync > 0.0 ? 2.0 : std::max(shownRate, 1.0);
    const double depth = shownDepth / 100.0;
    canvas.fillRoundRect(wave, 8, vst::theme::kEditField);
    const vst::Rect plot = wave.inset(10);
    for (float level : {0.0f, 0.5f, 1.0f})
      canvas.line(plot.x, plot.bottom() - level * plot.height, plot.right(),
                  plot.bottom() - level * plot.height, 1, vst::theme::kTrack);
    std::vector<float> points;
    const int steps = static_cast<int>(plot.width);
    for (int step = 0; step <= steps; ++step) {
      const double at = cycles * step / steps;
      points.push_back(plot.x + static_cast<float>(step));
      points.push_back(plot.bottom() - levelAt(at, depth) * plot.height);
    }
    std::vector<float> area = points;
    area.insert(area.end(), {plot.right(), plot.bottom(), plot.x, plot.bottom()});
    canvas.fillPolygon(area.data(), area.size() / 2, vst::theme::kAccent.withAlpha(40));
    canvas.polyline(points.data(), points.size() / 2, 2, vst::theme::kAccent);
    // The oscillator's place in every cycle shown.
    for (double cycle = 0.0; cycle + shownPhase <= cycles; cycle += 1.0) {
      const double at = cycle + shownPhase;
      const float x = plot.x + static_cast<float>(at / cycles) * plot.width;
      const float y = plot.bottom() - levelAt(at, depth) * plot.height;
      canvas.fillCircle(x, y, 4, vst::theme::kText);
    }
  }
};

class Tremolo : public vst::ParameterEffect<kNumParams> {
  // The oscillator's position in cycles, 0 to 1. Processing alone touches it;
  // it is kept across blocks so the level never jumps at a block's start.
  double phase = 0.0;
  // The phase as the editor shows it: written once a block, read by the editor.
  Relaxed<float> shownPhase;

 public:
  explicit Tremolo(audioMasterCallback master)
      : ParameterEffect(master, 1, kParameters, kIdentity) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(VST_FOUR_CHARS('V', 'b', 'T', 'r'));
    canProcessReplacing();
    setEditor(new TremoloEditor(this, shownPhase));
  }

  // [host thread, suspended] The phase starts over when processing resumes.
  void resume() override {
    phase = 0.0;
    ParameterEffect::resume();
  }

  // [audio thread] Synced, the rate follows the host's tempo and the phase
  // its position, so the dips fall on the beat. The host may answer null or
  // a record without a usable tempo: then the tremolo runs at Rate.
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override {
    double hz = plain(kParamRate);
    const double beats = kSyncBeats[choice(kParamSync)];
    if (beats > 0.0) {
      const vst::HostTime time = vst::readHostTime(getTimeInfo(kVstTempoValid | kVstPpqPosValid));
      if (time.hasTempo) hz = vst::beatRate(time.tempo, beats);
      if (time.playing && time.hasPosition) phase = vst::beatPhase(time.ppq, beats);
    }
    // The step per frame comes from the sample rate the host set last, so a
    // new rate keeps the tremolo's speed in hertz.
    const double step = hz / static_cast<double>(getSampleRate());
    const float depth = static_cast<float>(plain(kParamDepth) / 100.0);
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
      const float level = 1.0f - depth * static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * phase));
      outputs[0][i] = inputs[0][i] * level;
      outputs[1][i] = inputs[1][i] * level;
      phase += step;
      if (phase >= 1.0) phase -= std::floor(phase);
    }
    shownPhase = static_cast<float>(phase);
  }

  // [host thread, suspended] A rate of 0 or less, or none at all, would stop or reverse
  // the oscillator: such a rate is refused and the last good one kept.
  void setSampleRate(float newSampleRate) override {
    if (newSampleRate > 0.0f && std::isfinite(newSampleRate))
      ParameterEffect::setSampleRate(newSampleRate);
  }

  // [host thread] The identity texts come from kIdentity; the category is the effect's.
  VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new (std::nothrow) Tremolo(audioMaster);
}
