// Audio: rates and block sizes, block-size invariance, silence, written
// outputs, determinism, in-place buffers and the double-precision path.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "check/support.h"
#include "check/time_info_check.h"
#include "check/timing.h"

namespace vsthost {

namespace {

std::string checkRatesAndBlocks(CheckContext& context) {
  Session session(context);
  const auto& rates = context.settings().sampleRates;
  const auto& blocks = context.settings().blockSizes;
  const size_t largest = *std::max_element(blocks.begin(), blocks.end());
  for (float rate : rates) {
    auto plugin = session.active(rate, static_cast<VstInt32>(largest));
    const Channels in =
        noise(plugin->record()->numInputs, std::max<size_t>(8192, 2 * largest), context.seed(4));
    for (size_t block : blocks) {
      const std::string where =
          "at " + number(static_cast<long long>(rate)) + " Hz in blocks of " + number(block);
      context.step("processing " + where);
      plugin->suspend();
      plugin->setBlockSize(static_cast<VstInt32>(block));
      plugin->resume();
      requireFinite(context, process(*plugin, in, block), where);
    }
    finish(context, *plugin);
  }
  return number(rates.size()) + " rates, " + number(blocks.size()) + " block sizes from " +
         number(*std::min_element(blocks.begin(), blocks.end())) + " to " + number(largest) +
         " frames; finite output";
}

std::string checkBlockInvariance(CheckContext& context) {
  Session session(context);
  {
    auto probe = session.instance();
    const bool instrument = (probe->record()->flags & effFlagsIsSynth) != 0;
    probe->close();
    // An instrument's input is silence: its performance is the MIDI.
    if (instrument) return instrumentBlockInvariance(context, session);
  }
  const size_t frames = 16384;
  Channels reference;
  double scale = 1.0;
  for (size_t block : {size_t(4096), size_t(1), size_t(37), size_t(512)}) {
    auto plugin = session.active(44100.0f, static_cast<VstInt32>(block));
    context.step("processing in blocks of " + number(block));
    const Channels in = noise(plugin->record()->numInputs, frames, context.seed(5));
    const Channels out = process(*plugin, in, block);
    finish(context, *plugin);
    requireFinite(context, out, "");
    if (reference.empty()) {
      reference = out;
      scale = std::max(1.0, peak(out));
      continue;
    }
    compareBlockSizes(context, out, reference, scale, block);
  }
  return context.strict() ? "blocks of 1, 37 and 512 match blocks of 4096 bit for bit"
                          : "blocks of 1, 37 and 512 match blocks of 4096";
}

std::string checkSilence(CheckContext& context) {
  Session session(context);
  auto plugin = session.active(44100.0f, 512);
  const int inputs = plugin->record()->numInputs;
  context.step("processing silence");
  requireFinite(context, process(*plugin, silence(inputs, 44100), 512), "for silent input");
  context.step("processing noise, then silence");
  requireFinite(context, process(*plugin, noise(inputs, 22050, context.seed(6)), 512), "for noise");
  const Channels tail = process(*plugin, silence(inputs, 3 * 44100), 512);
  requireFinite(context, tail, "in the silence after noise");
  size_t denormals = 0, total = 0;
  for (const auto& channel : tail)
    for (float sample : channel) {
      total += 1;
      denormals += std::fpclassify(sample) == FP_SUBNORMAL ? 1 : 0;
    }
  // Denormal numbers sound like silence but can cost a hundred times the CPU.
  if (denormals * 100 > total)
    context.warn(number(denormals) + " of " + number(total) +
                 " samples after the signal are denormal");
  finish(context, *plugin);
  return "finite; " + number(denormals) + " denormal samples in 3 s of silence";
}

std::string checkOutputsWritten(CheckContext& context) {
  Session session(context);
  auto plugin = session.active(44100.0f, 1024);
  const AEffect* record = plugin->record();
  const size_t inputs = static_cast<size_t>(std::max(record->numInputs, 1));
  const size_t outputs = static_cast<size_t>(std::max(record->numOutputs, 1));
  const Channels in = noise(record->numInputs, 1024, context.seed(7));
  Channels out(outputs, std::vector<float>(1024));
  std::vector<float*> inPointers(inputs), outPointers(outputs);
  const size_t sizes[] = {512, 1, 64, 1024, 37, 512, 256, 1000};
  size_t block = 0;
  for (int round = 0; round < 4; ++round)
    for (size_t frames : sizes) {
      const uint32_t bits = marker(block);
      for (auto& channel : out)
        for (float& sample : channel) std::memcpy(&sample, &bits, sizeof sample);
      for (size_t c = 0; c < inputs; ++c) inPointers[c] = const_cast<float*>(in[c].data());
      for (size_t c = 0; c < outputs; ++c) outPointers[c] = out[c].data();
      context.step("processing block " + number(block) + " of " + number(frames) + " frames");
      plugin->processReplacing(inPointers.data(), outPointers.data(),
                               static_cast<VstInt32>(frames));
      for (size_t c = 0; c < outputs; ++c)
        for (size_t i = 0; i < 1024; ++i) {
          const bool written = std::memcmp(&out[c][i], &bits, sizeof bits) != 0;
          context.require(written || i >= frames, "output channel " + number(c) +
                                                      " left unwritten at frame " + number(i) +
                                                      " of a block of " + number(frames));
          context.require(!written || i < frames,
                          "output channel " + number(c) + " written at frame " + number(i) +
                              ", past the end of a block of " + number(frames));
        }
      ++block;
    }
  finish(context, *plugin);
  return "every sample of " + number(outputs) + " outputs written in " + number(block) +
         " blocks, nothing past their end";
}

std::string checkDeterminism(CheckContext& context) {
  Session session(context);
  const size_t frames = 44100, block = 512;
  auto first = session.active(44100.0f, static_cast<VstInt32>(block));
  const int inputs = first->record()->numInputs;
  const Channels in = noise(inputs, frames, context.seed(8));
  const Channels other = noise(inputs, frames, context.seed(9));
  context.step("processing in a first fresh instance");
  const Channels expected = process(*first, in, block);
  // A second fresh instance, with a third one processing something else in
  // between its blocks: state shared through globals shows as a difference.
  auto second = session.active(44100.0f, static_cast<VstInt32>(block));
  auto third = session.active(44100.0f, static_cast<VstInt32>(block));
  for (VstInt32 i = 0; i < third->record()->numParams; ++i) {
    const float value = third->getParameter(i);
    third->setParameter(i, value > 0.5f ? value - 0.4f : value + 0.4f);
  }
  context.step("processing in a second instance, interleaved with a third");
  Channels got(expected.size(), std::vector<float>(frames));
  for (size_t start = 0; start < frames; start += block) {
    const size_t count = std::min(block, frames - start);
    Channels slice(in.size()), slice3(other.size());
    for (size_t c = 0; c < in.size(); ++c)
      slice[c].assign(in[c].begin() + static_cast<long>(start),
                      in[c].begin() + static_cast<long>(start + count));
    for (size_t c = 0; c < other.size(); ++c)
      slice3[c].assign(other[c].begin() + static_cast<long>(start),
                       other[c].begin() + static_cast<long>(start + count));
    const Channels part = process(*second, slice, block);
    process(*third, slice3, block);
    for (size_t c = 0; c < part.size(); ++c)
      std::copy(part[c].begin(), part[c].end(), got[c].begin() + static_cast<long>(start));
  }
  Difference where;
  if (differs(got, expected, 0.0, where))
    context.warn("two fresh instances fed the same input differ " + at(where) +
                 " (uninitialised or shared state, or randomness by design)");
  finish(context, *first);
  finish(context, *second);
  finish(context, *third);
  return "two fresh instances give bit-identical output, also with a third in between";
}

// Every parameter moved away from its default, so code paths that only run
// at other settings are in play too.
void moveParameters(host::Plugin& plugin) {
  for (VstInt32 i = 0; i < plugin.record()->numParams; ++i) {
    const float value = plugin.getParameter(i);
    plugin.setParameter(i, value > 0.5f ? value - 0.3f : value + 0.3f);
  }
}

// Processes `in` with the input buffers doubling as the output buffers, as
// most hosts do: output channel c is input channel c where both exist.
Channels processInPlace(host::Plugin& plugin, const Channels& in, size_t block) {
  const AEffect* record = plugin.record();
  const size_t frames = in[0].size();
  const size_t inputs = static_cast<size_t>(std::max(record->numInputs, 1));
  const size_t outputs = static_cast<size_t>(std::max(record->numOutputs, 1));
  Channels buffers(std::max(inputs, outputs), std::vector<float>(frames));
  for (size_t c = 0; c < in.size() && c < buffers.size(); ++c) buffers[c] = in[c];
  std::vector<float*> inPointers(inputs), outPointers(outputs);
  for (size_t start = 0; start < frames; start += block) {
    const size_t count = std::min(block, frames - start);
    for (size_t c = 0; c < inputs; ++c) inPointers[c] = buffers[c].data() + start;
    for (size_t c = 0; c < outputs; ++c) outPointers[c] = buffers[c].data() + start;
    plugin.processReplacing(inPointers.data(), outPointers.data(), static_cast<VstInt32>(count));
  }
  buffers.resize(outputs);
  return buffers;
}

std::string checkInPlace(CheckContext& context) {
  Session session(context);
  const size_t frames = 16384, block = 512;
  auto reference = session.active(44100.0f, static_cast<VstInt32>(block));
  auto again = session.active(44100.0f, static_cast<VstInt32>(block));
  auto inPlace = session.active(44100.0f, static_cast<VstInt32>(block));
  if (reference->record()->numInputs == 0) {
    for (auto* plugin : {&reference, &again, &inPlace}) finish(context, **plugin);
    context.skip("no audio inputs to share with the outputs");
  }
  for (auto* plugin : {&reference, &again, &inPlace}) moveParameters(**plugin);
  const Channels in = noise(reference->record()->numInputs, frames, context.seed(10));
  context.step("processing out of place");
  const Channels expected = process(*reference, in, block);
  const Channels second = process(*again, in, block);
  context.step("processing in place (the inputs are the outputs)");
  const Channels got = processInPlace(*inPlace, in, block);
  for (auto* plugin : {&reference, &again, &inPlace}) finish(context, **plugin);
  requireFinite(context, got, "in place");
  const double tolerance = 1e-5 * std::max(1.0, peak(expected));
  Difference where;
  if (differs(second, expected, tolerance, where))
    return "not compared: two instances processing out of place already differ " + at(where) +
           " (random by design)";
  if (differs(got, expected, tolerance, where))
    context.require(false, "in place, the output differs from out of place " + at(where) +
                               " (an input read after its output was written)");
  const bool exact = !differs(second, expected, 0.0, where);
  if (exact && differs(got, expected, 0.0, where)) {
    if (context.strict())
      context.require(false, "in place differs from out of place " + at(where) +
                                 " (within rounding, but the effect is otherwise bit-exact)");
    return "in place matches out of place within rounding";
  }
  return exact ? "in place matches out of place bit for bit"
               : "in place matches out of place within rounding (the effect is not bit-exact "
                 "from run to run)";
}

std::string checkDoublePrecision(CheckContext& context) {
  Session session(context);
  auto single = session.active(44100.0f, 512);
  if ((single->record()->flags & effFlagsCanDoubleReplacing) == 0 ||
      single->record()->processDoubleReplacing == nullptr) {
    finish(context, *single);
    context.skip("no double-precision processing");
  }
  auto again = session.active(44100.0f, 512);
  auto twice = session.active(44100.0f, 512);
  const AEffect* record = twice->record();
  const size_t frames = 8192, block = 512;
  const size_t inputs = static_cast<size_t>(std::max(record->numInputs, 1));
  const size_t outputs = static_cast<size_t>(std::max(record->numOutputs, 1));
  const Channels in = noise(record->numInputs, frames, context.seed(11));
  // Two fresh single-precision runs first: how much the effect differs from
  // itself (noise, modulation, chaos) is what the double path may differ by.
  context.step("processing in single precision");
  const Channels expected = process(*single, in, block);
  context.step("processing in single precision again, in a fresh instance");
  const Channels second = process(*again, in, block);

  std::vector<std::vector<double>> din(inputs, std::vector<double>(frames)),
      dout(outputs, std::vector<double>(frames));
  for (size_t c = 0; c < in.size() && c < inputs; ++c)
    std::copy(in[c].begin(), in[c].end(), din[c].begin());
  std::vector<double*> inPointers(inputs), outPointers(outputs);
  Channels got(outputs, std::vector<float>(frames));
  for (size_t start = 0, index = 0; start < frames; start += block, ++index) {
    // Outputs start as a NaN no effect makes: one left over is unwritten.
    const uint64_t unwritten = 0x7FF8000000000000ull | (index + 1);
    for (auto& channel : dout)
      for (size_t i = start; i < start + block; ++i) std::memcpy(&channel[i], &unwritten, 8);
    for (size_t c = 0; c < inputs; ++c) inPointers[c] = din[c].data() + start;
    for (size_t c = 0; c < outputs; ++c) outPointers[c] = dout[c].data() + start;
    context.step("processing block " + number(index) + " in double precision");
    twice->processDoubleReplacing(inPointers.data(), outPointers.data(),
                                  static_cast<VstInt32>(block));
    for (size_t c = 0; c < outputs; ++c)
      for (size_t i = start; i < start + block; ++i) {
        context.require(std::memcmp(&dout[c][i], &unwritten, 8) != 0,
                        "double-precision output channel " + number(c) +
                            " left unwritten at frame " + number(i));
        context.require(std::isfinite(dout[c][i]),
                        "non-finite double-precision output on channel " + number(c) +
                            " at frame " + number(i));
        got[c][i] = static_cast<float>(dout[c][i]);
      }
  }
  finish(context, *single);
  finish(context, *again);
  finish(context, *twice);
  // Differences relative to the signal's peak, in dB: a limit a listener's
  // ear sets, so a chaotic effect's drift far below the signal passes while
  // a double path that sounds different fails.
  const double level = std::max(peak(expected), 1e-9);
  const auto relative = [&](const Channels& a) {
    Difference where;
    double largest = 0.0;
    for (size_t c = 0; c < a.size() && c < expected.size(); ++c)
      for (size_t i = 0; i < a[c].size(); ++i) {
        const double amount = std::fabs(static_cast<double>(a[c][i]) - expected[c][i]);
        if (amount > largest) largest = amount, where = {c, i, amount};
      }
    return std::make_pair(largest > 0.0 ? 20.0 * std::log10(largest / level) : -400.0, where);
  };
  const auto spread = relative(second), drift = relative(got);
  const auto dB = [](double value) { return value <= -400.0 ? "-inf dB" : number(value) + " dB"; };
  if (spread.first > -40.0)
    return "not compared: two fresh single-precision runs already differ by " + dB(spread.first) +
           " of the peak (random by design)";
  // Within the effect's own spread, or 60 dB below its peak.
  const double limit = std::max(-60.0, spread.first + 6.0);
  if (drift.first > limit)
    context.require(false, "the double-precision output differs from the single-precision one " +
                               at(drift.second) + " (" + dB(drift.first) +
                               " of the peak; two single-precision runs differ by " +
                               dB(spread.first) + ")");
  return "finite, fully written and within " + dB(drift.first) +
         " of single precision (two single-precision runs: " + dB(spread.first) + ")";
}

}  // namespace

std::vector<CheckDefinition> audioChecks() {
  std::vector<CheckDefinition> checks = {
      {"rates-blocks", "audio",
       "processes at every rate and block size (--sample-rates, "
       "--block-sizes)",
       "crashes or non-finite output at a rate or block size", checkRatesAndBlocks},
      {"block-invariance", "audio",
       "the same input (an instrument: notes, bend, controllers) in blocks of 4096, 1, 37 and 512",
       "WARN: output that depends on the block size beyond rounding; --strict: any difference",
       checkBlockInvariance},
      {"silence", "audio", "silence, then noise, then silence",
       "non-finite output for silence; WARN: denormal numbers after the signal (CPU spikes)",
       checkSilence},
      {"outputs-written", "audio", "outputs pre-filled with a marker, blocks of varied sizes",
       "output samples left unwritten, writes past the block's end", checkOutputsWritten},
      {"determinism", "audio", "two fresh instances, a third interleaved, fed the same input",
       "WARN: two fresh instances differ (uninitialised or shared state, or randomness by design)",
       checkDeterminism},
      {"in-place", "audio",
       "inputs and outputs in the same buffers, against out of place, parameters off default",
       "an input read after its output was written (most hosts process in place)", checkInPlace},
      {"double-precision", "audio",
       "processDoubleReplacing against processReplacing (effects that offer it)",
       "a double path that is unwritten, non-finite or sounds different (SKIP without one)",
       checkDoublePrecision},
      {"tail", "audio",
       "an impulse (an instrument: a short note) until it dies away, against effGetTailSize",
       "WARN: a tail reported shorter than it rings, or an effect ringing past a block reporting "
       "none",
       checkTail},
  };
  checks.push_back(timeInfoCheck());
  return checks;
}

}  // namespace vsthost
