// The module under measurement: loaded once, its parameters resolved once,
// and fresh instances driven block by block with signals on their first two
// inputs, their first two outputs kept (the first twice for a mono effect).
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analyze/analyze.h"
#include "common/common.h"
#include "vst/event_list.h"

namespace vsthost {

class Bench;

// One running instance: whatever goes in, block by block, at the bench's
// settings; stopped and closed when it goes.
class Instance {
 public:
  ~Instance();
  // Runs `frames` of left and right input (frames <= the block size) and
  // answers the outputs in `left` and `right`; `micros` gets the time the
  // call took. Throws Error on output that is not finite, naming `frame`.
  void process(const float* inLeft, const float* inRight, size_t frames, float* left, float* right,
               size_t frame, double* micros = nullptr);
  // Hands `events` to the instance for the block that comes next.
  void events(const host::EventList& list);

 private:
  friend class Bench;
  Instance(Bench& bench, const char* what);
  Bench& bench_;
  const char* what_;
  std::unique_ptr<host::Plugin> plugin_;
  std::vector<std::vector<float>> in_, out_;
  std::vector<float*> inPointers_, outPointers_;
  bool replacing_ = true;
};

class Bench {
 public:
  Bench(const AnalyzeOptions& options, const std::function<void(const char*)>& stage);

  const AnalyzeOptions& options() const { return options_; }
  const std::string& effect() const { return effect_; }
  const std::string& uniqueId() const { return uniqueId_; }
  const nlohmann::json& params() const { return params_; }
  int reportedLatency() const { return reportedLatency_; }
  int tailHint() const { return tailHint_; }
  bool stereo() const { return outputs_ > 1; }
  // An instrument: it says so, or it has no audio inputs.
  bool instrument() const { return instrument_; }

  // A fresh instance, resumed and started, `what` told to the stage.
  std::unique_ptr<Instance> fresh(const char* what);

  // Runs `input` through a fresh instance into both of its inputs and answers
  // its two outputs. With `micros`, the time of every block after the first
  // few is kept there.
  void run(const char* what, const std::vector<float>& input, std::vector<float>& left,
           std::vector<float>& right, std::vector<double>* micros = nullptr);

 private:
  friend class Instance;
  void start(host::Plugin& plugin, bool resume);

  const AnalyzeOptions& options_;
  const std::function<void(const char*)>& stage_;
  std::unique_ptr<host::LoadedPlugin> loaded_;
  int inputs_ = 0, outputs_ = 0, reportedLatency_ = 0, tailHint_ = 0;
  bool instrument_ = false;
  std::string effect_, uniqueId_;
  nlohmann::json params_ = nlohmann::json::object();
  std::vector<VstInt32> indices_;
  std::vector<float> values_;
};

}  // namespace vsthost
