#include "check/time_info_check.h"

#include <cmath>
#include <limits>
#include <vector>

#include "check/check.h"
#include "common/common.h"

namespace vsthost {

namespace {

constexpr VstInt32 kTimeInfoBlock = 512;
constexpr float kRate = 44100.0f;

class Driver {
 public:
  Driver(host::LoadedPlugin& loaded, const std::function<void(const std::string&)>& step)
      : loaded_(loaded), step_(step) {
    std::string error;
    plugin_ = loaded.instantiate(error);
    if (!plugin_) throw Error(loaded.module->path() + ": " + error);
    const AEffect* record = plugin_->record();
    in_.assign(static_cast<size_t>(std::max(record->numInputs, 1)),
               std::vector<float>(kTimeInfoBlock));
    out_.assign(static_cast<size_t>(std::max(record->numOutputs, 1)),
                std::vector<float>(kTimeInfoBlock));
    for (auto& channel : in_) inPointers_.push_back(channel.data());
    for (auto& channel : out_) outPointers_.push_back(channel.data());
    step_("opening an instance at 44100 Hz");
    plugin_->activate(kRate, kTimeInfoBlock);
    plugin_->dispatch(effStartProcess);
  }
  ~Driver() {
    step_("stopping, suspending and closing");
    plugin_->dispatch(effStopProcess);
    plugin_->suspend();
    plugin_->close();
  }

  void setEveryParameter(float value) {
    for (VstInt32 i = 0; i < plugin_->record()->numParams; ++i) plugin_->setParameter(i, value);
  }

  // Processes `blocks` blocks of noise, moving the transport on after each.
  void run(const std::string& stage, int blocks) {
    step_("processing " + stage);
    for (int block = 0; block < blocks; ++block) {
      for (auto& channel : in_)
        for (float& sample : channel) {
          seed_ = seed_ * 1664525u + 1013904223u;
          sample = (static_cast<float>(seed_ >> 8) / 8388608.0f - 1.0f) * 0.5f;
        }
      plugin_->processReplacing(inPointers_.data(), outPointers_.data(), kTimeInfoBlock);
      for (size_t c = 0; c < out_.size(); ++c)
        for (VstInt32 i = 0; i < kTimeInfoBlock; ++i)
          if (!std::isfinite(out_[c][static_cast<size_t>(i)]))
            throw TimeInfoFailure("non-finite output on channel " + std::to_string(c) +
                                  " at frame " + std::to_string(block * kTimeInfoBlock + i) + " " +
                                  stage);
      loaded_.host.transport().advance(kTimeInfoBlock);
    }
  }

 private:
  host::LoadedPlugin& loaded_;
  const std::function<void(const std::string&)>& step_;
  std::unique_ptr<host::Plugin> plugin_;
  std::vector<std::vector<float>> in_, out_;
  std::vector<float*> inPointers_, outPointers_;
  uint32_t seed_ = 1;
};

// A record no transport has, answered in place of the transport's.
struct Hostile {
  const char* what;
  void (*spoil)(VstTimeInfo& info, int block);
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

// What a host that fills nothing sends: zeros, no flag set. Real hosts do.
const Hostile kEmpty = {"with a record of zeros and no flag set",
                        [](VstTimeInfo& t, int) { t = VstTimeInfo{}; }};

// Records whose flags claim values no transport has: only --strict.
const Hostile kHostile[] = {
    {"with a tempo of 0", [](VstTimeInfo& t, int) { t.tempo = 0.0; }},
    {"with a tempo of NaN", [](VstTimeInfo& t, int) { t.tempo = kNaN; }},
    {"with a tempo of -120", [](VstTimeInfo& t, int) { t.tempo = -120.0; }},
    {"with an infinite tempo", [](VstTimeInfo& t, int) { t.tempo = kInfinity; }},
    {"with a time signature of 0/0",
     [](VstTimeInfo& t, int) { t.timeSigNumerator = t.timeSigDenominator = 0; }},
    {"with a position jumping far backwards and forwards",
     [](VstTimeInfo& t, int block) {
       t.ppqPos = block % 2 == 0 ? 1e6 : -1e6;
       t.samplePos = block % 2 == 0 ? 1e9 : 0.0;
       t.barStartPos = t.ppqPos;
     }},
    {"with positions of NaN",
     [](VstTimeInfo& t, int) { t.ppqPos = t.samplePos = t.barStartPos = kNaN; }},
    {"with a sample rate of 0 in the record", [](VstTimeInfo& t, int) { t.sampleRate = 0.0; }},
    {"with every field NaN or 0 and every flag set",
     [](VstTimeInfo& t, int) {
       t = VstTimeInfo{};
       t.samplePos = t.sampleRate = t.nanoSeconds = t.ppqPos = t.tempo = t.barStartPos = kNaN;
       t.cycleStartPos = t.cycleEndPos = kNaN;
       t.flags = 0xFFFF;
     }},
};

}  // namespace

std::string checkTimeInfo(const std::string& path,
                          const std::function<void(const std::string&)>& step, bool strict) {
  host::LoadedPlugin loaded;
  step("loading the module");
  loaded.host.setRecording(false);
  std::string error;
  if (!loaded.loadModule(path, error)) throw Error(error);
  host::Host& host = loaded.host;
  host::Transport& transport = host.transport();
  host.setSampleRate(kRate);
  host.setBlockSize(kTimeInfoBlock);

  // Counts the effect's questions; answers a spoiled copy of the record while
  // a hostile stage runs.
  long asked = 0;
  const Hostile* hostile = nullptr;
  int block = 0;
  VstTimeInfo spoiled{};
  host.setResponder([&](const host::HostCall& call) -> VstIntPtr {
    if (call.opcode != audioMasterGetTime) return host.defaultAnswer(call);
    ++asked;
    if (hostile == nullptr || transport.info() == nullptr) return host.defaultAnswer(call);
    spoiled = *transport.info();
    hostile->spoil(spoiled, block);
    return reinterpret_cast<VstIntPtr>(&spoiled);
  });

  // Tempo-synced modes are usually a parameter away: each pass runs with
  // the parameters at their defaults, then all at 0.5, then all at 1.
  const struct {
    const char* what;
    float value;  // < 0: the defaults
  } passes[] = {
      {"", -1.0f}, {" (every parameter at 0.5)", 0.5f}, {" (every parameter at 1)", 1.0f}};
  for (const auto& pass : passes) {
    transport.setTempo(120.0);
    transport.setTimeSignature(4, 4);
    transport.setPlaying(true);
    transport.setCycle(false, 0.0, 0.0);
    transport.rewind();
    Driver driver(loaded, step);
    if (pass.value >= 0.0f) driver.setEveryParameter(pass.value);
    const std::string suffix = pass.what;
    driver.run("with the transport playing at 120 BPM in 4/4" + suffix, 40);
    transport.setTempo(90.0);
    driver.run("after a tempo change to 90 BPM" + suffix, 20);
    transport.setTempo(200.0);
    transport.setTimeSignature(7, 8);
    driver.run("after a change to 200 BPM in 7/8" + suffix, 20);
    transport.setPlaying(false);
    driver.run("with the transport stopped" + suffix, 20);
    transport.setPlaying(true);
    driver.run("after the transport started again" + suffix, 20);
    const double start = std::floor(transport.ppq());
    transport.setCycle(true, start, start + 1.0);
    driver.run("in a cycle of one quarter note, jumping back" + suffix, 60);
    transport.setCycle(false, 0.0, 0.0);
    std::vector<const Hostile*> spoilt{&kEmpty};
    if (strict)
      for (const Hostile& stage : kHostile) spoilt.push_back(&stage);
    for (const Hostile* stage : spoilt) {
      hostile = stage;
      for (block = 0; block < 8; ++block) driver.run(stage->what + suffix, 1);
    }
    hostile = nullptr;
  }
  const long askedMoving = asked;

  transport.rewind();
  transport.setAnswersNull(true);
  for (const auto& pass : passes) {
    Driver driver(loaded, step);
    if (pass.value >= 0.0f) driver.setEveryParameter(pass.value);
    driver.run(std::string("in a host that answers null for the time") + pass.what, 20);
  }
  host.setResponder(nullptr);
  if (asked == 0) return "never asks for the time; finite with a moving transport and without one";
  return "asked for the time " + std::to_string(askedMoving) + " times; finite through tempo " +
         "changes, a stop, a cycle, an empty record, " +
         (strict ? std::to_string(std::size(kHostile)) + " impossible records, " : "") +
         "and a host answering null, with three parameter settings";
}

CheckDefinition timeInfoCheck() {
  return {"time-info", "audio",
          "a moving transport (tempo changes, a stop, a cycle, an empty record) and a host "
          "answering null for the time, with parameters at their defaults, 0.5 and 1; "
          "--strict: records no transport has",
          "a time record read without testing it for null; a crash or non-finite output "
          "when the tempo, the position or the play state changes",
          [](CheckContext& context) {
            try {
              return checkTimeInfo(
                  context.module(), [&](const std::string& what) { context.step(what); },
                  context.strict());
            } catch (const TimeInfoFailure& failure) {
              throw CheckFailed{failure.what()};
            }
          }};
}

}  // namespace vsthost
