// check: a battery of behaviour checks for any module. Each check runs in a
// process of its own with a time limit, so a crash, a hang or a buffer overrun
// in the effect fails that check and leaves the others and the user's session
// alone. The parent never loads the module itself.
//
// Two levels. The default level drives the effect as real hosts do (valid
// buffers of the customary size, realistic arguments) and fails what breaks a
// host or a user's audio; what is legal in practice but against the
// interface's letter or the real-time rules is a warning. --strict fails every
// warning and holds the effect to the letter: exactly-sized text buffers, null
// and zero arguments on every opcode, bit-exact block-size invariance.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <type_traits>

#include "allocation_counter.h"
#include "isolation.h"
#include "vst/events.h"
#include "vsthost.h"

namespace vsthost {

namespace {

enum Verdict : int32_t { kPass = 0, kWarn = 1, kFail = 2, kSkip = 3 };

const char* verdictName(int32_t verdict) {
  switch (verdict) {
    case kPass: return "PASS";
    case kWarn: return "WARN";
    case kSkip: return "SKIP";
    default: return "FAIL";
  }
}

// "pass", "warn", "fail", "skip" in JSON.
std::string verdictWord(int32_t verdict) {
  std::string word = verdictName(verdict);
  for (char& c : word) c = static_cast<char>(c - 'A' + 'a');
  return word;
}

// What the running check writes to; set in the check's process.
CheckReport* report = nullptr;
// The level of the running check, and the warnings it has raised.
bool strictLevel = false;
std::vector<std::string> warnings;

void step(const std::string& text) {
  if (report != nullptr) std::snprintf(report->step, sizeof report->step, "%s", text.c_str());
}

struct Failed {
  std::string why;
};
struct Skipped {
  std::string why;
};
void require(bool condition, const std::string& why) {
  if (!condition) throw Failed{why};
}
// Legal in practice, against the letter or the real-time rules: a warning at
// the default level, a failure with --strict.
void warn(const std::string& why) { warnings.push_back(why); }

// Integers and values in one place, so every message prints numbers alike.
template <typename T>
std::string number(T value) {
  if (std::is_integral<T>::value) return std::to_string(static_cast<long long>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

// A module loaded in the check's process, with helpers to make active
// instances.
struct Session {
  explicit Session(const std::string& path) {
    std::string error;
    step("loading the module");
    loaded.host.setRecording(false);
    require(loaded.loadModule(path, error), error);
  }
  std::unique_ptr<host::Plugin> instance() {
    std::string error;
    step("calling the entry (" + loaded.module->entryName() + ")");
    auto plugin = loaded.instantiate(error);
    require(plugin != nullptr, error);
    return plugin;
  }
  std::unique_ptr<host::Plugin> active(float rate, VstInt32 block) {
    auto plugin = instance();
    step("opening an instance at " + number(static_cast<long long>(rate)) + " Hz");
    plugin->activate(rate, block);
    return plugin;
  }
  host::LoadedPlugin loaded;
};

void finish(host::Plugin& plugin) {
  step("suspending and closing");
  plugin.suspend();
  plugin.close();
}

using Channels = std::vector<std::vector<float>>;

// Decorrelated noise at half scale on each of `channels` channels.
Channels noise(int channels, size_t frames, uint32_t seed = 1) {
  Channels signal(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(frames));
  for (auto& channel : signal)
    for (float& sample : channel) {
      seed = seed * 1664525u + 1013904223u;
      sample = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * 0.5f;
    }
  return signal;
}

Channels silence(int channels, size_t frames) {
  return Channels(static_cast<size_t>(std::max(channels, 1)), std::vector<float>(frames));
}

// Runs `in` through the effect in blocks of `block` frames.
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

void requireFinite(const Channels& out, const std::string& where) {
  for (size_t c = 0; c < out.size(); ++c)
    for (size_t i = 0; i < out[c].size(); ++i)
      require(std::isfinite(out[c][i]),
              "non-finite output on channel " + number(c) + " at frame " + number(i) + " " + where);
}

double peak(const Channels& signal, size_t from = 0) {
  double result = 0.0;
  for (const auto& channel : signal)
    for (size_t i = from; i < channel.size(); ++i)
      result = std::max(result, std::fabs(static_cast<double>(channel[i])));
  return result;
}

// The first place where `a` and `b` differ by more than `tolerance`; false when
// nowhere. NaN differs from everything.
struct Difference {
  size_t channel = 0, frame = 0;
  double amount = 0.0;
};
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

// ---- The checks. Each throws Failed or Skipped, or returns its detail. ----

std::string checkLoad(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  const AEffect* r = plugin->record();
  require(r->numInputs >= 0 && r->numOutputs >= 0 && r->numParams >= 0 && r->numPrograms >= 0,
          "negative channel, parameter or program count in the record");
  require(r->processReplacing != nullptr, "the record has no processReplacing function");
  const std::string summary = "entry " + session.loaded.module->entryName() + "; " +
                              number(r->numInputs) + " in, " + number(r->numOutputs) + " out, " +
                              number(r->numParams) + " parameters";
  step("closing");
  plugin->close();  // the record is gone from here on
  return summary;
}

std::string checkReload(const std::string& path) {
  const int cycles = 5;
  for (int i = 0; i < cycles; ++i) {
    {
      Session session(path);
      session.instance()->close();
      step("unloading the module");
    }
    // A host goes on running after it unloads a module: give anything the
    // module left behind (a thread, a timer) the time to run into its
    // unmapped code.
    step("running on after unloading the module");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return number(cycles) + " load, instantiate, close, unload cycles";
}

std::string checkOpenClose(const std::string& path) {
  Session session(path);
  const int cycles = 10;
  for (int i = 0; i < cycles; ++i) {
    auto plugin = session.active(44100.0f, 512);
    step("processing in instance " + number(i + 1));
    requireFinite(process(*plugin, noise(plugin->record()->numInputs, 1024), 512), "");
    finish(*plugin);
  }
  return number(cycles) + " instances opened, processed, closed";
}

std::string checkTwoInstances(const std::string& path) {
  Session session(path);
  auto first = session.active(44100.0f, 256);
  auto second = session.active(44100.0f, 256);
  const VstInt32 count = first->record()->numParams;
  require(first->record() != second->record(), "both instances share one record");
  std::vector<float> before;
  for (VstInt32 i = 0; i < count; ++i) before.push_back(second->getParameter(i));
  step("changing every parameter of the first instance");
  for (VstInt32 i = 0; i < count; ++i)
    first->setParameter(i, before[static_cast<size_t>(i)] < 0.5f ? 1.0f : 0.0f);
  step("processing both instances in turn");
  const Channels in = noise(first->record()->numInputs, 2048);
  for (int round = 0; round < 4; ++round) {
    requireFinite(process(*first, in, 256), "of the first instance");
    requireFinite(process(*second, in, 256), "of the second instance");
  }
  for (VstInt32 i = 0; i < count; ++i)
    require(second->getParameter(i) == before[static_cast<size_t>(i)],
            "changing parameter " + number(i) + " of one instance changed the other");
  finish(*first);
  finish(*second);
  return "independent parameters, interleaved processing";
}

const size_t kBlockSizes[] = {1, 2, 3, 16, 64, 100, 256, 512, 1000, 1024, 2048, 4096};

std::string checkRatesAndBlocks(const std::string& path) {
  Session session(path);
  for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
    auto plugin = session.active(rate, 4096);
    const Channels in = noise(plugin->record()->numInputs, 8192);
    for (size_t block : kBlockSizes) {
      const std::string where =
          "at " + number(static_cast<long long>(rate)) + " Hz in blocks of " + number(block);
      step("processing " + where);
      plugin->suspend();
      plugin->setBlockSize(static_cast<VstInt32>(block));
      plugin->resume();
      requireFinite(process(*plugin, in, block), where);
    }
    finish(*plugin);
  }
  return "44100, 48000, 96000 Hz; blocks of 1 to 4096 frames; finite output";
}

std::string checkBlockInvariance(const std::string& path) {
  Session session(path);
  const size_t frames = 16384;
  Channels reference;
  double scale = 1.0;
  for (size_t block : {size_t(4096), size_t(1), size_t(37), size_t(512)}) {
    auto plugin = session.active(44100.0f, static_cast<VstInt32>(block));
    step("processing in blocks of " + number(block));
    const Channels out = process(*plugin, noise(plugin->record()->numInputs, frames), block);
    finish(*plugin);
    requireFinite(out, "");
    if (reference.empty()) {
      reference = out;
      scale = std::max(1.0, peak(out));
      continue;
    }
    // Beyond rounding: a block-size dependence a listener may hear. Any
    // difference at all: against the letter, which asks for none.
    Difference where;
    if (differs(out, reference, 1e-5 * scale, where))
      warn("blocks of " + number(block) + " differ from blocks of 4096 " + at(where));
    else if (strictLevel && differs(out, reference, 0.0, where))
      require(false, "blocks of " + number(block) + " differ from blocks of 4096 " + at(where) +
                         " (not bit-exact)");
  }
  return strictLevel ? "blocks of 1, 37 and 512 match blocks of 4096 bit for bit"
                     : "blocks of 1, 37 and 512 match blocks of 4096";
}

std::string checkSilence(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 512);
  const int inputs = plugin->record()->numInputs;
  step("processing silence");
  requireFinite(process(*plugin, silence(inputs, 44100), 512), "for silent input");
  step("processing noise, then silence");
  requireFinite(process(*plugin, noise(inputs, 22050), 512), "for noise");
  const Channels tail = process(*plugin, silence(inputs, 3 * 44100), 512);
  requireFinite(tail, "in the silence after noise");
  size_t denormals = 0, total = 0;
  for (const auto& channel : tail)
    for (float sample : channel) {
      total += 1;
      denormals += std::fpclassify(sample) == FP_SUBNORMAL ? 1 : 0;
    }
  // Denormal numbers sound like silence but can cost a hundred times the CPU.
  if (denormals * 100 > total)
    warn(number(denormals) + " of " + number(total) + " samples after the signal are denormal");
  finish(*plugin);
  return "finite; " + number(denormals) + " denormal samples in 3 s of silence";
}

std::string checkParameters(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 512);
  const VstInt32 count = plugin->record()->numParams;
  for (VstInt32 i = 0; i < count; ++i) {
    const float original = plugin->getParameter(i);
    for (float value : {0.0f, 0.3f, 0.7f, 1.0f}) {
      const std::string which = "parameter " + number(i);
      step("setting " + which + " to " + number(static_cast<double>(value)));
      plugin->setParameter(i, value);
      const float read = plugin->getParameter(i);
      require(std::isfinite(read) && read >= -1e-6f && read <= 1.0f + 1e-6f,
              which + " set to " + number(static_cast<double>(value)) + " reads back " +
                  number(static_cast<double>(read)) + ", outside 0 to 1");
      // Stepped parameters may snap, but setting what was read must keep it.
      plugin->setParameter(i, read);
      const float again = plugin->getParameter(i);
      require(std::fabs(again - read) <= 1e-6f, which + ": setting the value read back (" +
                                                    number(static_cast<double>(read)) + ") reads " +
                                                    number(static_cast<double>(again)));
    }
    plugin->setParameter(i, original);
  }
  finish(*plugin);
  return number(count) + " parameters at 0, 0.3, 0.7, 1: stable round trips";
}

// Asks the effect for one text. At the default level the buffer is of the size
// hosts customarily give (at least 64 bytes); with --strict it is exactly the
// interface's size. It ends at a guard page either way and starts filled with
// a marker, so "wrote nothing" and "wrote without a terminator" can be told
// apart. `limit` is the longest text the interface allows.
void checkText(host::Plugin& plugin, VstInt32 opcode, VstInt32 index, size_t limit,
               size_t exactSize, const std::string& what) {
  const size_t size = strictLevel ? exactSize : std::max<size_t>(64, 2 * exactSize);
  GuardedBuffer buffer(size);
  std::memset(buffer.data(), 0x7F, size);
  step(what + " into a " + number(size) + "-byte buffer");
  plugin.dispatch(opcode, index, 0, buffer.data());
  const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', size));
  bool untouched = true;
  for (size_t i = 0; i < size; ++i) untouched = untouched && buffer.data()[i] == 0x7F;
  require(untouched || end != nullptr,
          what + " fills its " + number(size) + "-byte buffer without a terminator");
  const size_t length = end != nullptr ? static_cast<size_t>(end - buffer.data()) : 0;
  if (length > limit)
    warn(what + " has " + number(length) + " characters, over the limit of " + number(limit) +
         " (\"" + printable(std::string(buffer.data(), length)) + "\")");
}

std::string checkTexts(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  plugin->open();
  const VstInt32 params = plugin->record()->numParams;
  const VstInt32 programs = std::min(plugin->record()->numPrograms, 128);
  const size_t paramText = kVstMaxParamStrLen, programText = kVstMaxProgNameLen;
  for (VstInt32 i = 0; i < params; ++i) {
    const std::string which = " of parameter " + number(i);
    checkText(*plugin, effGetParamName, i, paramText, paramText + 1, "the name" + which);
    checkText(*plugin, effGetParamLabel, i, paramText, paramText + 1, "the label" + which);
    checkText(*plugin, effGetParamDisplay, i, paramText, paramText + 1, "the display" + which);
  }
  checkText(*plugin, effGetEffectName, 0, kVstMaxEffectNameLen - 1, kVstMaxEffectNameLen,
            "the effect name");
  checkText(*plugin, effGetVendorString, 0, kVstMaxVendorStrLen - 1, kVstMaxVendorStrLen,
            "the vendor");
  checkText(*plugin, effGetProductString, 0, kVstMaxProductStrLen - 1, kVstMaxProductStrLen,
            "the product");
  checkText(*plugin, effGetProgramName, 0, programText, programText + 1, "the program name");
  for (VstInt32 i = 0; i < programs; ++i)
    checkText(*plugin, effGetProgramNameIndexed, i, programText, programText + 1,
              "the name of program " + number(i));
  step("closing");
  plugin->close();
  return "every text ends within its buffer (" + number(3 * params + 4 + programs) + " texts)";
}

// Opcodes whose ptr a host always points at memory: texts, records to fill
// and records it hands in.
bool takesBuffer(VstInt32 opcode) {
  switch (opcode) {
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effEditGetRect:
    case effGetChunk:
    case effSetChunk:
    case effProcessEvents:
    case effString2Parameter:
    case effGetProgramNameIndexed:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
    case effSetSpeakerArrangement:
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
    case effCanDo:
    case effGetParameterProperties:
    case effGetMidiProgramName:
    case effGetCurrentMidiProgram:
    case effGetMidiProgramCategory:
    case effGetMidiKeyName:
    case effGetSpeakerArrangement:
    case effShellGetNextPlugin:
    case effBeginLoadBank:
    case effBeginLoadProgram: return true;
    default: return false;
  }
}

std::string checkOpcodes(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  if (strictLevel) {
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
      if (opcode == effClose) continue;
      step("opcode " + number(opcode) + " with zero arguments");
      plugin->dispatch(opcode, 0, 0, nullptr, 0.0f);
    }
    step("opcode 1 (close) with zero arguments");
    plugin->close();
    return "opcodes 0 to 79 with index, value, ptr and opt zero";
  }
  // As a host calls them: zeroed memory behind every pointer (an empty text,
  // an empty event list, a record of zeros), a real rate and block size. The
  // editor's opcodes are left out: a host sends them only with a window
  // system to show the editor on, which a check has not. Soft bypass is asked
  // for only when the effect says it can.
  GuardedBuffer buffer(4096), arrangement(4096);
  step("opcode 0 (open)");
  plugin->open();
  char bypass[] = "bypass";
  step("effCanDo bypass");
  const bool bypasses = plugin->dispatch(effCanDo, 0, 0, bypass) > 0;
  for (VstInt32 opcode = 1; opcode <= 79; ++opcode) {
    if (opcode == effClose || opcode == effEditGetRect || opcode == effEditOpen ||
        opcode == effEditClose || opcode == effEditIdle || (opcode == effSetBypass && !bypasses))
      continue;
    std::memset(buffer.data(), 0, buffer.size());
    std::memset(arrangement.data(), 0, arrangement.size());
    VstIntPtr value = 0;
    float opt = 0.0f;
    if (opcode == effSetSampleRate) opt = 44100.0f;
    if (opcode == effSetBlockSize) value = 512;
    if (opcode == effSetBlockSizeAndSampleRate) value = 512, opt = 44100.0f;
    if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
      value = reinterpret_cast<VstIntPtr>(arrangement.data());
    step("opcode " + number(opcode) + " with realistic arguments");
    plugin->dispatch(opcode, 0, value, takesBuffer(opcode) ? buffer.data() : nullptr, opt);
  }
  step("opcode 1 (close)");
  plugin->close();
  return "opcodes 0 to 79 (not the editor's) with valid buffers and realistic arguments";
}

std::string checkThreads(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 256);
  const VstInt32 count = plugin->record()->numParams;
  const Channels in = noise(plugin->record()->numInputs, 256);
  std::atomic<bool> done{false};
  std::atomic<long> changes{0};
  bool finite = true;
  long blocks = 0;
  step("processing while another thread changes parameters");
  // Both sides run until each has done its share, so the calls overlap
  // however fast either side is.
  std::thread audio([&] {
    const auto start = std::chrono::steady_clock::now();
    while (blocks < 400 || (count > 0 && changes.load() < 2000 &&
                            std::chrono::steady_clock::now() - start < std::chrono::seconds(3))) {
      for (const auto& channel : process(*plugin, in, 256))
        for (float sample : channel) finite = finite && std::isfinite(sample);
      ++blocks;
    }
    done = true;
  });
  uint32_t seed = 7;
  while (!done && count > 0) {
    seed = seed * 1664525u + 1013904223u;
    const auto index = static_cast<VstInt32>((seed >> 8) % static_cast<uint32_t>(count));
    plugin->setParameter(index, static_cast<float>(seed >> 8) / 16777216.0f);
    plugin->getParameter(index);
    ++changes;
  }
  audio.join();
  require(finite, "non-finite output while parameters changed");
  finish(*plugin);
  return number(changes.load()) + " parameter changes during " + number(blocks) + " blocks";
}

// A NaN whose payload names the block: a value no effect produces, different
// for each block so a sample left from the block before is seen too.
uint32_t marker(size_t block) { return 0x7FC00000u | static_cast<uint32_t>(1 + block % 0x3FFFFF); }

std::string checkOutputsWritten(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 1024);
  const AEffect* record = plugin->record();
  const size_t inputs = static_cast<size_t>(std::max(record->numInputs, 1));
  const size_t outputs = static_cast<size_t>(std::max(record->numOutputs, 1));
  const Channels in = noise(record->numInputs, 1024);
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
      step("processing block " + number(block) + " of " + number(frames) + " frames");
      plugin->processReplacing(inPointers.data(), outPointers.data(),
                               static_cast<VstInt32>(frames));
      for (size_t c = 0; c < outputs; ++c)
        for (size_t i = 0; i < frames; ++i)
          require(std::memcmp(&out[c][i], &bits, sizeof bits) != 0,
                  "output channel " + number(c) + " left unwritten at frame " + number(i) +
                      " of a block of " + number(frames));
      for (size_t c = 0; c < outputs; ++c)
        for (size_t i = frames; i < 1024; ++i)
          require(std::memcmp(&out[c][i], &bits, sizeof bits) == 0,
                  "output channel " + number(c) + " written at frame " + number(i) +
                      ", past the end of a block of " + number(frames));
      ++block;
    }
  finish(*plugin);
  return "every sample of " + number(outputs) + " outputs written in " + number(block) +
         " blocks, nothing past their end";
}

std::string checkDeterminism(const std::string& path) {
  Session session(path);
  const size_t frames = 44100, block = 512;
  auto first = session.active(44100.0f, static_cast<VstInt32>(block));
  const int inputs = first->record()->numInputs;
  const Channels in = noise(inputs, frames), other = noise(inputs, frames, 99);
  step("processing in a first fresh instance");
  const Channels expected = process(*first, in, block);
  // A second fresh instance, with a third one processing something else in
  // between its blocks: state shared through globals shows as a difference.
  auto second = session.active(44100.0f, static_cast<VstInt32>(block));
  auto third = session.active(44100.0f, static_cast<VstInt32>(block));
  for (VstInt32 i = 0; i < third->record()->numParams; ++i) {
    const float value = third->getParameter(i);
    third->setParameter(i, value > 0.5f ? value - 0.4f : value + 0.4f);
  }
  step("processing in a second instance, interleaved with a third");
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
    warn("two fresh instances fed the same input differ " + at(where) +
         " (uninitialised or shared state, or randomness by design)");
  finish(*first);
  finish(*second);
  finish(*third);
  return "two fresh instances give bit-identical output, also with a third in between";
}

// Parameter values, and the bank chunk where the effect keeps one.
struct State {
  std::vector<float> parameters;
  std::vector<char> chunk;
};

State saveState(host::Plugin& plugin) {
  State state;
  step("reading the parameters back");
  for (VstInt32 i = 0; i < plugin.record()->numParams; ++i)
    state.parameters.push_back(plugin.getParameter(i));
  if ((plugin.record()->flags & effFlagsProgramChunks) != 0) {
    step("effGetChunk");
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &data);
    require(size >= 0 && (size == 0 || data != nullptr),
            "effGetChunk answers " + number(static_cast<long long>(size)) + " bytes at " +
                (data != nullptr ? "an address" : "no address"));
    if (size > 0) state.chunk.assign(static_cast<char*>(data), static_cast<char*>(data) + size);
  }
  return state;
}

void restoreState(host::Plugin& plugin, State state) {
  if (!state.chunk.empty()) {
    step("effSetChunk with " + number(state.chunk.size()) + " bytes");
    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(state.chunk.size()), state.chunk.data());
  }
  step("setting the parameters read back");
  for (size_t i = 0; i < state.parameters.size(); ++i)
    plugin.setParameter(static_cast<VstInt32>(i), state.parameters[i]);
}

// Settles a freshly set instance on silence, then answers its output for noise.
Channels listen(host::Plugin& plugin) {
  const int inputs = plugin.record()->numInputs;
  step("processing");
  process(plugin, silence(inputs, 44100), 512);
  return process(plugin, noise(inputs, 22050, 5), 512);
}

std::string checkStateRestore(const std::string& path) {
  Session session(path);
  auto original = session.active(44100.0f, 512);
  const VstInt32 params = original->record()->numParams;
  std::mt19937 random(12345);
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  step("setting random parameter values");
  for (VstInt32 i = 0; i < params; ++i) original->setParameter(i, uniform(random));
  const State state = saveState(*original);
  const Channels expected = listen(*original);
  finish(*original);

  auto restored = session.active(44100.0f, 512);
  restoreState(*restored, state);
  const Channels got = listen(*restored);
  finish(*restored);
  requireFinite(got, "after restoring");
  Difference where;
  const double tolerance = 1e-5 * std::max(1.0, peak(expected));
  std::string compared = "restored output matches";
  if (differs(got, expected, tolerance, where)) {
    // An effect random by design differs from itself: restore twice more and
    // compare those before blaming the state.
    auto again = session.active(44100.0f, 512);
    auto twice = session.active(44100.0f, 512);
    restoreState(*again, state);
    restoreState(*twice, state);
    const Channels a = listen(*again), b = listen(*twice);
    finish(*again);
    finish(*twice);
    Difference self;
    require(differs(a, b, tolerance, self),
            "an instance given the saved " +
                std::string(state.chunk.empty() ? "parameters" : "chunk and parameters") +
                " sounds different " + at(where));
    compared = "output not compared (two equally restored instances differ)";
  }

  // Programs: selecting one must be what effGetProgram answers, and the
  // current program's name what the indexed query answers for it.
  auto plugin = session.active(44100.0f, 512);
  const VstInt32 programs = std::min(plugin->record()->numPrograms, 128);
  for (VstInt32 i = 0; i < programs; ++i) {
    step("effSetProgram " + number(i));
    plugin->dispatch(effSetProgram, 0, i);
    const VstIntPtr current = plugin->dispatch(effGetProgram);
    require(current == i, "after effSetProgram " + number(i) + ", effGetProgram answers " +
                              number(static_cast<long long>(current)));
    char name[256] = {}, indexed[256] = {};
    step("the names of program " + number(i));
    plugin->dispatch(effGetProgramName, 0, 0, name);
    const bool answered = plugin->dispatch(effGetProgramNameIndexed, i, 0, indexed) != 0;
    name[255] = indexed[255] = '\0';
    if (answered && std::strcmp(name, indexed) != 0)
      warn("program " + number(i) + " is \"" + printable(name) + "\" but indexed \"" +
           printable(indexed) + "\"");
  }
  finish(*plugin);
  return number(params) + " parameters" + (state.chunk.empty() ? "" : " and a chunk") +
         " restored: " + compared + "; " + number(programs) + " programs consistent";
}

std::string checkSuspendResume(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 512);
  const int inputs = plugin->record()->numInputs;
  struct Stage {
    const char* what;
    float rate;  // 0: unchanged
    VstInt32 block;
  };
  const Stage stages[] = {{"at 44100 Hz", 0.0f, 512},
                          {"after suspend and resume", 0.0f, 512},
                          {"after a change to 96000 Hz while suspended", 96000.0f, 512},
                          {"after a change to 48000 Hz and blocks of 64", 48000.0f, 64},
                          {"after a change back to 44100 Hz", 44100.0f, 1024}};
  bool first = true;
  for (const Stage& stage : stages) {
    if (!first) {
      step(std::string("suspending, then resuming ") + stage.what);
      plugin->suspend();
      if (stage.rate > 0.0f) plugin->setSampleRate(stage.rate);
      plugin->setBlockSize(stage.block);
      plugin->resume();
    }
    first = false;
    step(std::string("processing ") + stage.what);
    const Channels out = process(*plugin, noise(inputs, 22050), static_cast<size_t>(stage.block));
    requireFinite(out, stage.what);
  }
  finish(*plugin);
  return "finite output through suspend and resume, with and without rate changes";
}

// Answers the effect's callbacks with the host's defaults, without counting
// what answering costs: host calls are allowed on the audio thread.
void answerUncounted(host::Host& host) {
  host::Host* self = &host;
  host.setResponder([self](const host::HostCall& call) {
    allocations::Paused paused;
    return self->defaultAnswer(call);
  });
}

std::string checkRealtime(const std::string& path) {
  if (!allocations::available()) throw Skipped{"heap calls are not counted on this platform"};
  Session session(path);
  answerUncounted(session.loaded.host);
  auto plugin = session.active(44100.0f, 512);
  const AEffect* record = plugin->record();
  const VstInt32 params = record->numParams;
  const Channels in = noise(record->numInputs, 512);
  Channels out(static_cast<size_t>(std::max(record->numOutputs, 1)), std::vector<float>(512));
  std::vector<float*> inPointers, outPointers;
  for (const auto& channel : in) inPointers.push_back(const_cast<float*>(channel.data()));
  for (auto& channel : out) outPointers.push_back(channel.data());
  long inProcess = 0, inSet = 0, inGet = 0;
  long firstBlock = -1;
  uint32_t seed = 3;
  step("processing and changing parameters while heap calls are counted");
  for (long block = 0; block < 200; ++block) {
    long before = allocations::counted();
    allocations::countOnThisThread(true);
    plugin->processReplacing(inPointers.data(), outPointers.data(), 512);
    allocations::countOnThisThread(false);
    const long made = allocations::counted() - before;
    if (made > 0 && firstBlock < 0) firstBlock = block;
    inProcess += made;
    if (params > 0) {
      seed = seed * 1664525u + 1013904223u;
      const auto index = static_cast<VstInt32>((seed >> 8) % static_cast<uint32_t>(params));
      const float value = static_cast<float>(seed >> 8) / 16777216.0f;
      before = allocations::counted();
      allocations::countOnThisThread(true);
      plugin->setParameter(index, value);
      allocations::countOnThisThread(false);
      inSet += allocations::counted() - before;
      before = allocations::counted();
      allocations::countOnThisThread(true);
      plugin->getParameter(index);
      allocations::countOnThisThread(false);
      inGet += allocations::counted() - before;
    }
  }
  if (inProcess > 0)
    warn(number(inProcess) + " heap calls in processReplacing (the first in block " +
         number(firstBlock) + ")");
  if (inSet > 0) warn(number(inSet) + " heap calls in setParameter");
  if (inGet > 0) warn(number(inGet) + " heap calls in getParameter");
  finish(*plugin);
  return "no heap call in 200 blocks and 400 parameter calls";
}

// One MIDI message for the next block, kept alive until the block after it.
struct MidiMessage {
  VstMidiEvent event{};
  VstEvents list{};
  MidiMessage(unsigned char status, unsigned char note, unsigned char velocity) {
    event.type = kVstMidiType;
    event.byteSize = sizeof event;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(note);
    event.midiData[2] = static_cast<char>(velocity);
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
  }
};

std::string checkInstrument(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  if ((plugin->record()->flags & effFlagsIsSynth) == 0) {
    plugin->close();
    throw Skipped{"not an instrument"};
  }
  plugin->activate(44100.0f, 512);
  plugin->dispatch(effStartProcess);
  const int inputs = plugin->record()->numInputs;
  const size_t block = 512, second = 44100 / block;
  step("a note on (middle C, velocity 100)");
  MidiMessage on(0x90, 60, 100);
  plugin->dispatch(effProcessEvents, 0, 0, &on.list);
  const Channels held = process(*plugin, silence(inputs, second * block / 2), block);
  requireFinite(held, "after a note on");
  const double level = peak(held);
  if (level < 1e-4) {
    warn("silent for half a second after a note on (peak " + number(level) + ")");
  } else {
    step("a note off, then waiting for silence");
    MidiMessage off(0x80, 60, 0);
    plugin->dispatch(effProcessEvents, 0, 0, &off.list);
    double tail = 1.0;
    size_t waited = 0;
    for (; waited < 5 * second && tail >= 1e-3; waited += second / 10) {
      const Channels out = process(*plugin, silence(inputs, second / 10 * block), block);
      requireFinite(out, "after a note off");
      tail = peak(out);
    }
    require(tail < 1e-3, "still sounding 5 s after the note off (peak " + number(tail) + ")");
  }
  plugin->dispatch(effStopProcess);
  finish(*plugin);
  return "a note on sounds (peak " + number(level) + ") and dies away after its note off";
}

std::string checkIdentity(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  plugin->open();
  const VstInt32 id = plugin->record()->uniqueID;
  if (id == 0) warn("the unique ID is 0");
  if (id == VST_FOUR_CHARS('N', 'o', 'E', 'f'))
    warn("the unique ID is the framework's default 'NoEf'");
  step("effGetEffectName");
  const std::string name = plugin->effectName();
  if (name.empty()) warn("the effect name is empty");
  for (VstInt32 i = 0; i < plugin->record()->numParams; ++i) {
    step("the name of parameter " + number(i));
    const std::string parameter = plugin->parameterName(i);
    if (parameter.size() > kVstMaxParamStrLen)
      warn("parameter " + number(i) + " is named \"" + printable(parameter) + "\", over " +
           number(kVstMaxParamStrLen) + " characters");
  }
  step("closing");
  plugin->close();
  return "\"" + printable(name) + "\", unique ID " + fourChars(id);
}

struct Check {
  const char* name;
  std::string (*run)(const std::string& path);
};

const Check kChecks[] = {
    {"load", checkLoad},
    {"reload", checkReload},
    {"open-close", checkOpenClose},
    {"two-instances", checkTwoInstances},
    {"rates-blocks", checkRatesAndBlocks},
    {"block-invariance", checkBlockInvariance},
    {"silence", checkSilence},
    {"parameters", checkParameters},
    {"texts", checkTexts},
    {"opcodes", checkOpcodes},
    {"threads", checkThreads},
    {"outputs-written", checkOutputsWritten},
    {"determinism", checkDeterminism},
    {"state-restore", checkStateRestore},
    {"suspend-resume", checkSuspendResume},
    {"realtime", checkRealtime},
    {"instrument", checkInstrument},
    {"identity", checkIdentity},
};

const Check* findCheck(const std::string& name) {
  for (const Check& check : kChecks)
    if (name == check.name) return &check;
  return nullptr;
}

// Runs one check in this process and leaves its verdict in `report`; answers
// the exit status for the parent (0: the verdict is in the report).
int runHere(const Check& check, const std::string& module, bool strict) {
  strictLevel = strict;
  warnings.clear();
  int32_t verdict = kFail;
  std::string detail;
  try {
    detail = check.run(module);
    if (warnings.empty()) {
      verdict = kPass;
    } else {
      verdict = strict ? kFail : kWarn;
      detail = warnings[0];
      if (warnings.size() > 1) detail += " (and " + number(warnings.size() - 1) + " more)";
    }
  } catch (const Failed& failed) {
    detail = failed.why;
  } catch (const Skipped& skipped) {
    verdict = kSkip;
    detail = skipped.why;
  } catch (const std::exception& error) {
    detail = std::string("error: ") + error.what();
  }
  std::snprintf(report->detail, sizeof report->detail, "%s", detail.c_str());
  report->verdict = verdict;
  return 0;
}

struct Outcome {
  int32_t verdict;
  std::string detail;
  std::string output;  // what the effect printed
  double seconds;
};

Outcome runIsolated(Isolation& isolation, const Check& check, const CheckOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  ChildRequest request{options.module, check.name, options.strict, options.timeoutSeconds};
  const ChildOutcome child = isolation.run(request, [&] {
    report = &isolation.report();
    return runHere(check, options.module, options.strict);
  });
  Outcome outcome{kFail, "", child.output, 0.0};
  const CheckReport& shared = isolation.report();
  const std::string during =
      shared.step[0] != '\0' ? std::string(" while ") + std::string(shared.step) : "";
  switch (child.kind) {
    case ChildOutcome::kNotStarted: outcome.detail = child.reason; break;
    case ChildOutcome::kTimedOut:
      outcome.detail = "no answer within " + number(options.timeoutSeconds) + " s" + during;
      break;
    case ChildOutcome::kCrashed: outcome.detail = "crashed (" + child.reason + ")" + during; break;
    case ChildOutcome::kExited:
      if (child.exitStatus == 0 && shared.detail[0] != '\0') {
        outcome.verdict = shared.verdict;
        outcome.detail = shared.detail;
      } else {
        outcome.detail = "exited with status " + number(child.exitStatus) + during;
      }
      break;
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

// Drops terminal escape sequences (colours) from what an effect printed.
std::string withoutEscapes(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\x1b') {
      result += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '[') {
      i += 2;
      while (i < text.size() && !(text[i] >= '@' && text[i] <= '~')) ++i;
    }
  }
  return result;
}

}  // namespace

std::vector<std::string> checkNames() {
  std::vector<std::string> names;
  for (const Check& check : kChecks) names.push_back(check.name);
  return names;
}

int checkChild(const std::string& mappingName, const std::string& name, bool strict,
               const std::string& module) {
  report = openChildReport(mappingName);
  const Check* check = findCheck(name);
  if (report == nullptr || check == nullptr) return 3;
  return runHere(*check, module, strict);
}

int check(const CheckOptions& options, std::FILE* out) {
  for (const auto& name : options.only)
    if (findCheck(name) == nullptr) throw UsageError("no check named '" + name + "'");
  for (const auto& name : options.skip)
    if (findCheck(name) == nullptr) throw UsageError("no check named '" + name + "'");
  std::FILE* probe = std::fopen(options.module.c_str(), "rb");
  if (probe == nullptr) throw Error(options.module + ": " + std::strerror(errno));
  std::fclose(probe);
  std::unique_ptr<Isolation> isolation;
  try {
    isolation.reset(new Isolation());
  } catch (const std::runtime_error& error) {
    throw Error(error.what());
  }
  const char* level = options.strict ? "strict" : "default";
  if (options.json)
    std::fprintf(out, "{\n  \"module\": %s,\n  \"level\": \"%s\",\n  \"checks\": [",
                 json(options.module).c_str(), level);
  else
    std::fprintf(out, "Checking %s (%s level)\n\n", options.module.c_str(), level);
  int counts[4] = {0, 0, 0, 0};
  bool first = true;
  for (const Check& check : kChecks) {
    const auto listed = [&](const std::vector<std::string>& names) {
      return std::find(names.begin(), names.end(), check.name) != names.end();
    };
    if ((!options.only.empty() && !listed(options.only)) || listed(options.skip)) continue;
    const Outcome outcome = runIsolated(*isolation, check, options);
    counts[outcome.verdict] += 1;
    const std::string detail = printable(outcome.detail);
    if (options.json) {
      std::fprintf(out,
                   "%s\n    {\"name\": \"%s\", \"result\": \"%s\", \"detail\": %s, "
                   "\"duration\": %.3f}",
                   first ? "" : ",", check.name, verdictWord(outcome.verdict).c_str(),
                   json(detail).c_str(), outcome.seconds);
    } else {
      std::fprintf(out, "  %s  %-17s %s\n", verdictName(outcome.verdict), check.name,
                   detail.c_str());
      if (!outcome.output.empty()) {
        if (options.verbose) {
          std::fprintf(out, "%s", outcome.output.c_str());
        } else {
          const std::string line =
              printable(withoutEscapes(outcome.output.substr(0, outcome.output.find('\n'))));
          std::fprintf(out, "        %-17s the effect printed: %.70s%s\n", "", line.c_str(),
                       outcome.output.find('\n') + 1 < outcome.output.size() ? " ..." : "");
        }
      }
    }
    first = false;
    std::fflush(out);
    if (std::strcmp(check.name, "load") == 0 && outcome.verdict == kFail) {
      if (!options.json) std::fprintf(out, "\nthe module does not load; no further checks\n");
      break;
    }
  }
  if (options.json) {
    std::fprintf(out,
                 "\n  ],\n  \"passed\": %d,\n  \"warned\": %d,\n  \"failed\": %d,\n"
                 "  \"skipped\": %d\n}\n",
                 counts[kPass], counts[kWarn], counts[kFail], counts[kSkip]);
  } else {
    std::fprintf(out, "\n%d passed, %d warned, %d failed, %d skipped\n", counts[kPass],
                 counts[kWarn], counts[kFail], counts[kSkip]);
  }
  return counts[kFail];
}

}  // namespace vsthost
