#include "check/support.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/isolation.h"
#include "vst/noise.h"

namespace vsthost {

void CheckContext::step(const std::string& text) {
  if (report_ != nullptr) std::snprintf(report_->step, sizeof report_->step, "%s", text.c_str());
}

uint32_t CheckContext::seed(uint32_t salt) const {
  // A multiplicative mix, so neighbouring seeds and salts give unrelated noise.
  return (settings_.seed ^ (salt * 0x9E3779B9u)) * 2654435761u + salt;
}

Session::Session(CheckContext& context) : context_(context) {
  std::string error;
  context.step("loading the module");
  loaded.host.setRecording(false);
  context.require(loaded.loadModule(context.module(), error), error);
}

std::unique_ptr<host::Plugin> Session::instance() {
  std::string error;
  context_.step("calling the entry (" + loaded.module->entryName() + ")");
  auto plugin = loaded.instantiate(error);
  context_.require(plugin != nullptr, error);
  return plugin;
}

std::unique_ptr<host::Plugin> Session::active(float rate, VstInt32 block) {
  auto plugin = instance();
  context_.step("opening an instance at " + number(static_cast<long long>(rate)) + " Hz");
  plugin->activate(rate, block);
  return plugin;
}

void finish(CheckContext& context, host::Plugin& plugin) {
  context.step("suspending and closing");
  plugin.suspend();
  plugin.close();
}

Channels noise(int channels, size_t frames, uint32_t seed) {
  Channels signal(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(frames));
  host::Noise source(seed);
  for (auto& channel : signal)
    for (float& sample : channel) sample = source.next();
  return signal;
}

Channels silence(int channels, size_t frames) {
  return Channels(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(frames));
}

Channels process(host::Plugin& plugin, Channels in, size_t block) {
  const AEffect* record = plugin.record();
  const size_t frames = in[0].size();
  in.resize(static_cast<size_t>(std::max(record->numInputs, 1)), std::vector<float>(frames));
  Channels out(static_cast<size_t>(std::max(record->numOutputs, 1)), std::vector<float>(frames));
  std::vector<float*> inputs(in.size()), outputs(out.size());
  for (size_t start = 0; start < frames; start += block) {
    const size_t count = std::min(block, frames - start);
    for (size_t c = 0; c < in.size(); ++c) inputs[c] = in[c].data() + start;
    for (size_t c = 0; c < out.size(); ++c) outputs[c] = out[c].data() + start;
    plugin.processReplacing(inputs.data(), outputs.data(), static_cast<VstInt32>(count));
  }
  return out;
}

void requireFinite(CheckContext& context, const Channels& out, const std::string& where) {
  for (size_t c = 0; c < out.size(); ++c)
    for (size_t i = 0; i < out[c].size(); ++i)
      if (!std::isfinite(out[c][i]))
        context.require(false, "non-finite output on channel " + number(c) + " at frame " +
                                   number(i) + (where.empty() ? "" : " ") + where);
}

double peak(const Channels& signal, size_t from) {
  double result = 0.0;
  for (const auto& channel : signal)
    for (size_t i = from; i < channel.size(); ++i)
      result = std::max(result, std::fabs(static_cast<double>(channel[i])));
  return result;
}

bool differs(const Channels& a, const Channels& b, double tolerance, Difference& where) {
  for (size_t c = 0; c < a.size() && c < b.size(); ++c)
    for (size_t i = 0; i < a[c].size() && i < b[c].size(); ++i) {
      const double amount = std::fabs(static_cast<double>(a[c][i]) - b[c][i]);
      if (!(amount <= tolerance) || (tolerance == 0.0 && std::memcmp(&a[c][i], &b[c][i], 4) != 0)) {
        where = {c, i, amount};
        return true;
      }
    }
  return false;
}

std::string at(const Difference& where) {
  return "by " + number(where.amount) + " on channel " + number(where.channel) + " at frame " +
         number(where.frame);
}

uint32_t marker(size_t block) { return 0x7FC00000u | static_cast<uint32_t>(1 + block % 0x3FFFFF); }

}  // namespace vsthost
