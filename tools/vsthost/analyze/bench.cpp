// The module under measurement and its fresh instances.
#include "analyze/bench.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "common/parameter_values.h"

namespace vsthost {

Bench::Bench(const AnalyzeOptions& options, const std::function<void(const char*)>& stage)
    : options_(options), stage_(stage) {
  stage_("loading the module");
  loaded_ = load(options.module);
  host::Plugin& first = *loaded_->plugin;
  const AEffect* record = first.record();
  inputs_ = record->numInputs;
  outputs_ = record->numOutputs;
  if (outputs_ <= 0) throw Error(options.module + ": the effect has no audio outputs to measure");
  instrument_ = inputs_ <= 0 || (record->flags & effFlagsIsSynth) != 0;
  if (inputs_ < 0 || inputs_ > 256 || outputs_ > 256)
    throw Error(options.module + ": claims " + std::to_string(std::max(inputs_, outputs_)) +
                " channels");
  effect_ = printable(first.effectName());
  uniqueId_ = fourChars(record->uniqueID);
  stage_("setting the parameters");
  start(first, false);
  for (const auto& param : options.params) indices_.push_back(parameterIndex(first, param.first));
  for (size_t i = 0; i < indices_.size(); ++i)
    values_.push_back(resolveParameterValue(first, indices_[i], options.params[i].first,
                                            options.params[i].second));
  for (size_t i = 0; i < indices_.size(); ++i) first.setParameter(indices_[i], values_[i]);
  for (VstInt32 i = 0; i < record->numParams; ++i) {
    std::string shown = first.parameterDisplay(i);
    const std::string label = first.parameterLabel(i);
    if (!label.empty()) shown += " " + label;
    params_[printable(first.parameterName(i))] = printable(shown);
  }
  first.resume();
  reportedLatency_ = record->initialDelay;
  // The tail the effect reports: a hint of how long its response rings (1
  // means none, 0 not known).
  const VstIntPtr tail = first.dispatch(effGetTailSize);
  tailHint_ = tail > 1 ? static_cast<int>(std::min<VstIntPtr>(tail, 1 << 30)) : 0;
  first.suspend();
  first.close();
}

void Bench::start(host::Plugin& plugin, bool resume) {
  host::Transport& transport = loaded_->host.transport();
  transport.setTempo(options_.tempo);
  transport.setTimeSignature(options_.signature.first, options_.signature.second);
  transport.setPlaying(true);
  loaded_->host.setSampleRate(static_cast<float>(options_.rate));
  loaded_->host.setBlockSize(options_.block);
  plugin.open();
  plugin.setSampleRate(static_cast<float>(options_.rate));
  plugin.setBlockSize(options_.block);
  if (!resume) return;
  for (size_t i = 0; i < indices_.size(); ++i) plugin.setParameter(indices_[i], values_[i]);
  plugin.resume();
  plugin.dispatch(effStartProcess);
}

std::unique_ptr<Instance> Bench::fresh(const char* what) {
  return std::unique_ptr<Instance>(new Instance(*this, what));
}

Instance::Instance(Bench& bench, const char* what) : bench_(bench), what_(what) {
  bench.stage_(what);
  std::string error;
  plugin_ = bench.loaded_->instantiate(error);
  if (!plugin_) throw Error(bench.options_.module + ": " + error);
  bench.start(*plugin_, true);
  const AEffect* record = plugin_->record();
  const auto block = static_cast<size_t>(bench.options_.block);
  in_.assign(static_cast<size_t>(bench.inputs_), std::vector<float>(block));
  out_.assign(static_cast<size_t>(bench.outputs_), std::vector<float>(block));
  for (auto& channel : in_) inPointers_.push_back(channel.data());
  for (auto& channel : out_) outPointers_.push_back(channel.data());
  replacing_ = (record->flags & effFlagsCanReplacing) != 0 || record->process == nullptr;
}

Instance::~Instance() {
  plugin_->dispatch(effStopProcess);
  plugin_->suspend();
  plugin_->close();
}

void Instance::process(const float* inLeft, const float* inRight, size_t frames, float* left,
                       float* right, size_t frame, double* micros) {
  for (size_t c = 0; c < in_.size(); ++c) {
    const float* from = c == 0 ? inLeft : c == 1 ? inRight : nullptr;
    for (size_t i = 0; i < frames; ++i) in_[c][i] = from != nullptr ? from[i] : 0.0f;
  }
  for (auto& channel : out_) std::fill(channel.begin(), channel.end(), 0.0f);
  const auto before = std::chrono::steady_clock::now();
  if (replacing_)
    plugin_->processReplacing(inPointers_.data(), outPointers_.data(),
                              static_cast<VstInt32>(frames));
  else
    plugin_->record()->process(plugin_->record(), inPointers_.data(), outPointers_.data(),
                               static_cast<VstInt32>(frames));
  const auto after = std::chrono::steady_clock::now();
  if (micros != nullptr)
    *micros = std::chrono::duration<double, std::micro>(after - before).count();
  const size_t second = out_.size() > 1 ? 1 : 0;
  for (size_t i = 0; i < frames; ++i) {
    left[i] = out_[0][i];
    right[i] = out_[second][i];
    if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
      throw Error(bench_.options_.module +
                  ": the output is not finite (NaN or infinity) at frame " +
                  std::to_string(frame + i) + " while " + what_);
  }
}

void Instance::events(const host::EventList& list) { plugin_->processEvents(list); }

void Bench::run(const char* what, const std::vector<float>& input, std::vector<float>& left,
                std::vector<float>& right, std::vector<double>* micros) {
  std::unique_ptr<Instance> instance = fresh(what);
  const auto block = static_cast<size_t>(options_.block);
  left.assign(input.size(), 0.0f);
  right.assign(input.size(), 0.0f);
  for (size_t done = 0, blocks = 0; done < input.size(); done += block, ++blocks) {
    const size_t n = std::min(block, input.size() - done);
    double took = 0.0;
    instance->process(&input[done], &input[done], n, &left[done], &right[done], done, &took);
    if (micros != nullptr && blocks >= 8) micros->push_back(took);
  }
}

}  // namespace vsthost
