// render: streams an audio file through the effect in blocks and writes the
// result with libsndfile. The output goes to a temporary file beside the target
// and is renamed into place only when everything succeeded, so a failure (or an
// interrupt, or a crashing effect) never leaves a half-written file behind.
#include <sndfile.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/common.h"
#include "common/parameter_values.h"
#include "common/temporary_file.h"
#include "render/audio_format.h"
#include "render/chain.h"
#include "render/plan.h"
#include "vst/midi_file.h"
#include "vst/program_file.h"

#ifdef _WIN32
#define access _access
#define R_OK 4
#endif

namespace vsthost {

namespace {

void showProgress(sf_count_t done, sf_count_t total, int& shown) {
  if (total <= 0) return;
  const int percent = static_cast<int>(100 * done / total);
  if (percent == shown) return;
  shown = percent;
  const int width = 40, filled = width * percent / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(width - filled), ' ').c_str(), percent);
  std::fflush(stderr);
}

// The longest render from a MIDI file.
constexpr double kLongestSeconds = 24 * 3600.0;
constexpr double kLongestTail = 30.0;  // seconds of a reported tail rendered by default

}  // namespace

void renderPlan(const RenderPlan& plan) {
  if (plan.block < 1 || plan.block > 65536)
    throw Error("block size must be between 1 and 65536 frames");
  if (plan.chain.empty()) throw Error("nothing to render through: no module");
  // The input and the MIDI file are read before any module is loaded, so a
  // missing or unreadable file is reported without running any effect's code.
  SF_INFO inputInfo{};
  SoundFile input;
  if (!plan.input.empty()) {
    input.file = sf_open(plan.input.c_str(), SFM_READ, &inputInfo);
    if (input.file == nullptr) {
      if (access(plan.input.c_str(), R_OK) != 0)
        throw Error(plan.input + ": " + std::strerror(errno));
      throw Error(plan.input + ": not a readable audio file (" + sf_strerror(nullptr) + ")");
    }
    if (plan.rate > 0.0 && plan.rate != inputInfo.samplerate)
      throw Error(plan.input + ": " + std::to_string(inputInfo.samplerate) +
                  " Hz, but the render was asked for " + std::to_string(std::lround(plan.rate)) +
                  " Hz (leave the rate out to render at the input's)");
  } else {
    const double rate = plan.rate > 0.0 ? plan.rate : 44100.0;
    if (!(rate >= 1.0 && rate <= 1e7) || rate != std::floor(rate))
      throw Error("the rate must be a whole number of Hz from 1 to 10000000");
    inputInfo.samplerate = static_cast<int>(rate);
    inputInfo.channels = 0;
    inputInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  }
  const int rate = inputInfo.samplerate;

  if (!(plan.tempo >= 1.0 && plan.tempo <= 999.0))
    throw Error("tempo must be between 1 and 999 BPM");
  const std::pair<int, int> signature = timeSignature(plan.timeSignature);
  if (!(plan.tail < 0.0 || plan.tail <= 3600.0)) throw Error("tail must be 0 to 3600 seconds");

  host::MidiFile midi;
  std::unique_ptr<host::TempoMap> tempoMap;
  std::vector<std::int64_t> eventFrames;
  std::int64_t midiEnd = 0;
  if (!plan.midi.empty()) {
    std::string error;
    if (!host::readMidiFile(plan.midi, midi, error)) throw Error(error);
    tempoMap = std::make_unique<host::TempoMap>(
        midi, static_cast<std::uint32_t>(std::lround(60e6 / plan.tempo)), signature.first,
        signature.second, static_cast<std::uint32_t>(rate));
    midiEnd = tempoMap->frameAt(midi.endTick);
    if (static_cast<double>(midiEnd) > kLongestSeconds * rate)
      throw Error(plan.midi + ": lasts longer than 24 hours, the longest render");
    for (const host::MidiFileEvent& event : midi.events)
      eventFrames.push_back(tempoMap->frameAt(event.tick));
  }
  const int format = outputFormat(plan, inputInfo);
  host::ProgramFileKind saveKind = host::ProgramFileKind::kProgram;
  if (!plan.savePreset.empty() && !host::programFileKindForPath(plan.savePreset, saveKind))
    throw UsageError(
        "--save-preset wants a file name ending in .fxp (the program) or .fxb "
        "(every program), not '" +
        plan.savePreset + "'");

  std::vector<Member> chain(plan.chain.size());
  for (size_t m = 0; m < chain.size(); ++m) {
    chain[m].plan = &plan.chain[m];
    setUp(chain[m], plan, rate, plan.tempo, signature);
  }

  const int channels = inputInfo.channels;
  const Member& first = chain.front();
  if (!plan.input.empty() && channels > first.inputs && !(channels == 1 && first.inputs == 0))
    throw Error(plan.input + ": " + std::to_string(channels) + " channels, but the effect takes " +
                std::to_string(first.inputs) + (first.inputs == 1 ? " input" : " inputs"));
  // Between members the channels adapt: a mono output feeds every input of
  // the next, missing inputs are silent and extra outputs are dropped.
  for (size_t m = 1; m < chain.size(); ++m) {
    const int outs = chain[m - 1].outputs, ins = chain[m].inputs;
    if (outs > 1 && outs > ins)
      std::fprintf(stderr,
                   "vsthost: warning: %s takes %d input%s, so %d of the %d outputs of %s are "
                   "dropped\n",
                   chain[m].name().c_str(), ins, ins == 1 ? "" : "s", outs - ins, outs,
                   chain[m - 1].plan->module.c_str());
  }
  const Member& last = chain.back();

  TemporaryOutput temporary(plan.output);
  SF_INFO outputInfo{};
  outputInfo.samplerate = rate;
  outputInfo.channels = last.outputs;
  outputInfo.format = format;
  if (!sf_format_check(&outputInfo))
    throw Error(plan.output + ": this format cannot hold " + std::to_string(last.outputs) +
                " channels at " + std::to_string(rate) + " Hz");
  SoundFile output;
  output.file = sf_open_fd(temporary.fd(), SFM_WRITE, &outputInfo, SF_FALSE);
  if (output.file == nullptr)
    throw Error(plan.output + ": cannot write (" + sf_strerror(nullptr) + ")");
  sf_command(output.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  // The length, one rule: the input's or the MIDI file's end, whichever is
  // later, and the tail. The tail is --tail's; without it, what the chain's
  // effects report they ring for (effGetTailSize, summed, at most 30 s), and
  // with a MIDI file at least 1 s.
  double tail = plan.tail;
  if (tail < 0.0) {
    double reported = 0.0;
    for (const Member& member : chain) {
      const VstIntPtr frames = member.plugin->dispatch(effGetTailSize);
      if (frames > 1) reported += static_cast<double>(frames) / rate;  // 0 unknown, 1 none
    }
    tail = std::min(std::max(reported, plan.midi.empty() ? 0.0 : 1.0), kLongestTail);
  }
  const std::int64_t end =
      std::max<std::int64_t>(plan.input.empty() ? 0 : inputInfo.frames, midiEnd) +
      std::llround(tail * rate);

  // Blocks end early where the tempo map changes (the time record is right
  // for every block) and, for automation, at its points and every 64 frames.
  std::vector<std::int64_t> splits;
  if (tempoMap) splits = tempoMap->changes();
  bool automated = false;
  for (const Member& member : chain)
    for (const Member::Ramp& ramp : member.ramps) {
      automated = true;
      for (const auto& point : ramp.points) splits.push_back(point.first);
    }
  std::sort(splits.begin(), splits.end());
  constexpr std::int64_t kAutomationStep = 64;

  const auto block = static_cast<size_t>(plan.block);
  for (Member& member : chain) member.allocate(block);
  std::vector<float> interleavedIn(block * static_cast<size_t>(std::max(channels, 1)));
  std::vector<std::vector<float>> fileChannels(static_cast<size_t>(std::max(channels, 1)),
                                               std::vector<float>(block));
  std::vector<float> interleavedOut(block * static_cast<size_t>(last.outputs));
  host::EventList events;

  std::int64_t done = 0;
  size_t nextEvent = 0, nextSplit = 0;
  int shown = -1;
  bool inputLeft = !plan.input.empty();
  while (done < end) {
    std::int64_t stop = std::min<std::int64_t>(done + plan.block, end);
    while (nextSplit < splits.size() && splits[nextSplit] <= done) ++nextSplit;
    if (nextSplit < splits.size()) stop = std::min(stop, splits[nextSplit]);
    if (automated) stop = std::min(stop, (done / kAutomationStep + 1) * kAutomationStep);
    const auto n = static_cast<size_t>(stop - done);

    if (!plan.input.empty()) {
      sf_count_t got = 0;
      if (inputLeft) {
        got = sf_readf_float(input.file, interleavedIn.data(), static_cast<sf_count_t>(n));
        if (got <= 0) {
          got = 0;
          inputLeft = false;
        }
      }
      const auto c = static_cast<size_t>(channels);
      for (size_t k = 0; k < c; ++k)
        for (size_t i = 0; i < n; ++i)
          fileChannels[k][i] = i < static_cast<size_t>(got) ? interleavedIn[i * c + k] : 0.0f;
      chain.front().feed(fileChannels, c, n);
    } else {
      chain.front().feed(fileChannels, 0, n);
    }

    if (tempoMap) {
      const host::TempoMap::Place place = tempoMap->placeAt(done);
      for (Member& member : chain) {
        host::Transport& transport = member.loaded->host.transport();
        transport.setTempo(place.tempo);
        transport.setTimeSignature(place.numerator, place.denominator);
        transport.locate(static_cast<double>(done), place.ppq, place.barStart);
      }
    }
    // The MIDI file's events go to the chain's first module, before the
    // block they fall in, at their frame within it.
    events.clear();
    for (; nextEvent < eventFrames.size() && eventFrames[nextEvent] < stop; ++nextEvent) {
      const host::MidiFileEvent& event = midi.events[nextEvent];
      const auto frame = static_cast<VstInt32>(eventFrames[nextEvent] - done);
      if (event.sysex)
        events.sysex(frame, event.bytes.data(), static_cast<VstInt32>(event.bytes.size()));
      else
        events.midi(frame, event.bytes[0], event.bytes.size() > 1 ? event.bytes[1] : 0,
                    event.bytes.size() > 2 ? event.bytes[2] : 0);
    }
    if (!events.empty()) chain.front().plugin->processEvents(events);
    for (Member& member : chain)
      for (const Member::Ramp& ramp : member.ramps)
        member.plugin->setParameter(ramp.index, ramp.at(done));

    for (size_t m = 0; m < chain.size(); ++m) {
      if (m > 0) chain[m].feed(chain[m - 1].out, chain[m - 1].out.size(), n);
      chain[m].process(n);
    }
    for (Member& member : chain) member.loaded->host.transport().advance(static_cast<VstInt32>(n));
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < last.out.size(); ++c)
        interleavedOut[i * last.out.size() + c] = last.out[c][i];
    if (sf_writef_float(output.file, interleavedOut.data(), static_cast<sf_count_t>(n)) !=
        static_cast<sf_count_t>(n))
      throw Error(plan.output + ": write failed (" + sf_strerror(output.file) + ")");
    done = stop;
    if (plan.progress) showProgress(done, end, shown);
  }
  if (plan.progress && shown >= 0) std::fprintf(stderr, "\n");
  if (input.file != nullptr && sf_error(input.file) != SF_ERR_NO_ERROR)
    throw Error(plan.input + ": read failed (" + sf_strerror(input.file) + ")");
  for (Member& member : chain) {
    member.plugin->dispatch(effStopProcess);
    member.plugin->suspend();
  }
  // The state is taken before anything is renamed into place, so a preset
  // that cannot be saved leaves neither file behind.
  std::unique_ptr<TemporaryFile> preset;
  if (!plan.savePreset.empty()) {
    std::vector<unsigned char> bytes;
    std::string error;
    if (!host::saveProgramState(*chain.front().plugin, saveKind, bytes, error))
      throw Error(plan.savePreset + ": " + error);
    preset = std::make_unique<TemporaryFile>(plan.savePreset, "the preset");
    preset->write(bytes.data(), bytes.size());
  }
  for (Member& member : chain) member.plugin->close();
  sf_write_sync(output.file);
  if (sf_close(output.file) != 0) {
    output.file = nullptr;
    throw Error(plan.output + ": write failed");
  }
  output.file = nullptr;
  temporary.commit();
  if (preset) preset->commit();
}

namespace {

// The plan of a render given on the command line: one module.
RenderPlan commandLinePlan(const RenderOptions& options) {
  RenderPlan plan;
  plan.input = options.input;
  plan.output = options.output;
  plan.midi = options.midi;
  plan.rate = options.rate;
  plan.tail = options.tail;
  plan.block = options.block;
  plan.tempo = options.tempo;
  plan.timeSignature = options.timeSignature;
  plan.savePreset = options.savePreset;
  PlannedModule module;
  module.module = options.module;
  for (const auto& param : options.params) module.params.push_back({param.first, param.second});
  module.preset = options.preset;
  module.force = options.force;
  plan.chain.push_back(std::move(module));
  return plan;
}

}  // namespace

void render(const RenderOptions& options) {
  RenderPlan plan = options.session.empty()
                        ? commandLinePlan(options)
                        : readSession(options.session, options.output, options.module);
  plan.format = options.format;
  plan.encoding = options.encoding;
  plan.progress = options.progress;
  renderPlan(plan);
}

}  // namespace vsthost
