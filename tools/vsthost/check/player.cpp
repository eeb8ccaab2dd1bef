// The player of the instrument checks and where a note begins.
#include "check/player.h"

#include <algorithm>
#include <cmath>

namespace vsthost {

Message note(size_t frame, int key, int velocity, bool on, int channel) {
  return {frame,
          {static_cast<unsigned char>((on ? 0x90 : 0x80) | channel),
           static_cast<unsigned char>(key), static_cast<unsigned char>(velocity)}};
}
Message controller(size_t frame, int number, int value, int channel) {
  return {frame,
          {static_cast<unsigned char>(0xB0 | channel), static_cast<unsigned char>(number),
           static_cast<unsigned char>(value)}};
}
Message bend(size_t frame, int value14, int channel) {
  return {frame,
          {static_cast<unsigned char>(0xE0 | channel), static_cast<unsigned char>(value14 & 0x7F),
           static_cast<unsigned char>((value14 >> 7) & 0x7F)}};
}

Player::Player(CheckContext& context, Session& session, size_t block)
    : context_(context), plugin_(session.instance()), block_(block) {
  if ((plugin_->record()->flags & effFlagsIsSynth) == 0) {
    plugin_->close();
    context.skip("not an instrument");
  }
  plugin_->activate(kPlayerRate, static_cast<VstInt32>(block));
  plugin_->dispatch(effStartProcess);
}

Player::~Player() {
  if (plugin_->isOpen()) {
    plugin_->dispatch(effStopProcess);
    finish(context_, *plugin_);
  }
}

Channels Player::play(size_t frames, std::vector<Message> messages,
                      const std::function<void(host::EventList&, size_t)>& extra) {
  std::stable_sort(messages.begin(), messages.end(),
                   [](const Message& a, const Message& b) { return a.frame < b.frame; });
  const int inputs = plugin_->record()->numInputs;
  Channels out(static_cast<size_t>(std::max(plugin_->record()->numOutputs, 1)),
               std::vector<float>(frames));
  size_t next = 0;
  host::EventList events;
  for (size_t start = 0; start < frames; start += block_) {
    const size_t count = std::min(block_, frames - start);
    events.clear();
    for (; next < messages.size() && messages[next].frame < position_ + start + count; ++next)
      events.midi(static_cast<VstInt32>(messages[next].frame -
                                        std::min(messages[next].frame, position_ + start)),
                  messages[next].bytes[0], messages[next].bytes[1], messages[next].bytes[2]);
    if (extra) extra(events, count);
    if (!events.empty()) plugin_->processEvents(events);
    const Channels part = process(*plugin_, silence(inputs, count), count);
    for (size_t c = 0; c < out.size() && c < part.size(); ++c)
      std::copy(part[c].begin(), part[c].end(), out[c].begin() + static_cast<long>(start));
  }
  position_ += frames;
  return out;
}

double Player::waitForSilence(const std::string& after) {
  double level = 1.0;
  for (size_t waited = 0; waited < 5 * kSecond && level >= kSilent; waited += kSecond / 10) {
    const Channels out = play(kSecond / 10);
    requireFinite(context_, out, after);
    level = peak(out);
  }
  return level;
}

size_t firstNonZero(const Channels& out, size_t from) {
  size_t first = out.empty() ? 0 : out[0].size();
  for (const auto& channel : out)
    for (size_t i = from; i < channel.size() && i < first; ++i)
      if (channel[i] != 0.0f) first = i;
  return first;
}

size_t onset(const Channels& out, size_t from) {
  const double threshold = peak(out, from) * std::pow(10.0, -50.0 / 20.0);
  size_t first = out.empty() ? 0 : out[0].size();
  if (threshold <= 0.0) return first;
  for (const auto& channel : out)
    for (size_t i = from; i < channel.size() && i < first; ++i)
      if (std::fabs(channel[i]) >= threshold) first = i;
  return first;
}

}  // namespace vsthost
