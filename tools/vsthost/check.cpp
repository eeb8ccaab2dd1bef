// check: a battery of behaviour checks for any module. Each check runs in a
// child process of its own with a time limit, so a crash, a hang or a buffer
// overrun in the effect fails that check and leaves the others and the user's
// session alone. The parent never loads the module itself.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "vsthost.h"

namespace vsthost {

namespace {

// What a check child leaves for its parent: the step it was in (to name the
// call that crashed or hung) and its verdict.
struct Report {
  char step[256];
  char detail[512];
};
Report* report = nullptr;

void step(const std::string& text) {
  std::snprintf(report->step, sizeof report->step, "%s", text.c_str());
}

struct Failed {
  std::string why;
};
void require(bool condition, const std::string& why) {
  if (!condition) throw Failed{why};
}

// A text buffer of `size` bytes that ends exactly where an inaccessible page
// begins: writing one byte past its end faults.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : size_(size) {
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    usable_ = (size + page - 1) / page * page;
    void* memory =
        mmap(nullptr, usable_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    require(memory != MAP_FAILED, "cannot map a guarded buffer");
    base_ = static_cast<char*>(memory);
    mprotect(base_ + usable_, page, PROT_NONE);
    mapped_ = usable_ + page;
  }
  ~GuardedBuffer() { munmap(base_, mapped_); }
  char* data() { return base_ + usable_ - size_; }
  size_t size() const { return size_; }

 private:
  size_t size_, usable_ = 0, mapped_ = 0;
  char* base_ = nullptr;
};

// Asks the effect for one text through a buffer of exactly `size` bytes. The
// buffer starts filled with a marker so "wrote nothing" and "wrote without a
// terminator" can be told apart.
void checkText(host::Plugin& plugin, VstInt32 opcode, VstInt32 index, size_t size,
               const std::string& what) {
  GuardedBuffer buffer(size);
  std::memset(buffer.data(), 0x7F, size);
  step(what + " into a " + std::to_string(size) + "-byte buffer");
  plugin.dispatch(opcode, index, 0, buffer.data());
  bool untouched = true, terminated = false;
  for (size_t i = 0; i < size; ++i) {
    untouched = untouched && buffer.data()[i] == 0x7F;
    terminated = terminated || buffer.data()[i] == '\0';
  }
  require(untouched || terminated,
          what + " fills its " + std::to_string(size) + "-byte buffer without a terminator");
}

// A module loaded in the check child, with helpers to make active instances.
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
    step("opening an instance at " + std::to_string(static_cast<int>(rate)) + " Hz");
    plugin->activate(rate, block);
    return plugin;
  }
  host::LoadedPlugin loaded;
};

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
      require(std::isfinite(out[c][i]), "non-finite output on channel " + std::to_string(c) +
                                            " at frame " + std::to_string(i) + " " + where);
}

std::string describe(const char* format, double a, double b = 0, double c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// ---- The checks. Each throws Failed or returns the detail of its pass. ----

std::string checkLoad(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  const AEffect* r = plugin->record();
  require(r->numInputs >= 0 && r->numOutputs >= 0 && r->numParams >= 0 && r->numPrograms >= 0,
          "negative channel, parameter or program count in the record");
  require(r->processReplacing != nullptr || r->process != nullptr,
          "the record has no process function");
  const std::string summary = "entry " + session.loaded.module->entryName() + "; " +
                              std::to_string(r->numInputs) + " in, " +
                              std::to_string(r->numOutputs) + " out, " +
                              std::to_string(r->numParams) + " parameters";
  step("closing");
  plugin->close();  // the record is gone from here on
  return summary;
}

std::string checkReload(const std::string& path) {
  const int cycles = 5;
  for (int i = 0; i < cycles; ++i) {
    Session session(path);
    session.instance()->close();
    step("unloading the module");
  }
  return std::to_string(cycles) + " load, instantiate, close, unload cycles";
}

std::string checkOpenClose(const std::string& path) {
  Session session(path);
  const int cycles = 10;
  for (int i = 0; i < cycles; ++i) {
    auto plugin = session.active(44100.0f, 512);
    step("processing in instance " + std::to_string(i + 1));
    requireFinite(process(*plugin, noise(plugin->record()->numInputs, 1024), 512), "");
    step("suspending and closing instance " + std::to_string(i + 1));
    plugin->suspend();
    plugin->close();
  }
  return std::to_string(cycles) + " instances opened, processed, closed";
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
            "changing parameter " + std::to_string(i) + " of one instance changed the other");
  step("closing both instances");
  first->close();
  second->close();
  return "independent parameters, interleaved processing";
}

const size_t kBlockSizes[] = {1, 2, 3, 16, 64, 100, 256, 512, 1000, 1024, 2048, 4096};

std::string checkRatesAndBlocks(const std::string& path) {
  Session session(path);
  for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
    auto plugin = session.active(rate, 4096);
    const Channels in = noise(plugin->record()->numInputs, 8192);
    for (size_t block : kBlockSizes) {
      step(describe("processing at %.0f Hz in blocks of %.0f", rate, static_cast<double>(block)));
      plugin->suspend();
      plugin->setBlockSize(static_cast<VstInt32>(block));
      plugin->resume();
      requireFinite(process(*plugin, in, block),
                    describe("at %.0f Hz in blocks of %.0f", rate, static_cast<double>(block)));
    }
    plugin->suspend();
    plugin->close();
  }
  return "44100, 48000, 96000 Hz; blocks of 1 to 4096 frames; finite output";
}

std::string checkBlockInvariance(const std::string& path) {
  Session session(path);
  const size_t frames = 16384;
  Channels reference;
  double peak = 0.0;
  for (size_t block : {size_t(4096), size_t(1), size_t(37), size_t(512)}) {
    auto plugin = session.active(44100.0f, static_cast<VstInt32>(block));
    step(describe("processing in blocks of %.0f", static_cast<double>(block)));
    const Channels out = process(*plugin, noise(plugin->record()->numInputs, frames), block);
    plugin->suspend();
    plugin->close();
    requireFinite(out, "");
    if (reference.empty()) {
      reference = out;
      for (const auto& channel : out)
        for (float sample : channel) peak = std::max(peak, std::fabs(static_cast<double>(sample)));
      continue;
    }
    const double tolerance = 1e-5 * std::max(1.0, peak);
    for (size_t c = 0; c < out.size(); ++c)
      for (size_t i = 0; i < frames; ++i) {
        const double difference = std::fabs(static_cast<double>(out[c][i]) - reference[c][i]);
        require(difference <= tolerance,
                describe("blocks of %.0f differ from blocks of 4096 by %g at frame %.0f",
                         static_cast<double>(block), difference, static_cast<double>(i)));
      }
  }
  return "blocks of 1, 37 and 512 match blocks of 4096";
}

std::string checkSilence(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 512);
  const int inputs = plugin->record()->numInputs;
  const Channels silence(static_cast<size_t>(std::max(inputs, 1)), std::vector<float>(44100));
  step("processing silence");
  requireFinite(process(*plugin, silence, 512), "for silent input");
  step("processing noise, then silence");
  requireFinite(process(*plugin, noise(inputs, 22050), 512), "for noise");
  const Channels tail =
      process(*plugin, Channels(silence.size(), std::vector<float>(3 * 44100)), 512);
  requireFinite(tail, "in the silence after noise");
  size_t denormals = 0, total = 0;
  for (const auto& channel : tail)
    for (float sample : channel) {
      total += 1;
      denormals += std::fpclassify(sample) == FP_SUBNORMAL ? 1 : 0;
    }
  require(denormals * 100 <= total,
          describe("%.0f of %.0f samples after the signal are denormal",
                   static_cast<double>(denormals), static_cast<double>(total)));
  plugin->suspend();
  plugin->close();
  return describe("finite; %.0f denormal samples in 3 s of silence",
                  static_cast<double>(denormals));
}

std::string checkParameters(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 512);
  const VstInt32 count = plugin->record()->numParams;
  for (VstInt32 i = 0; i < count; ++i) {
    const float original = plugin->getParameter(i);
    for (float value : {0.0f, 0.3f, 0.7f, 1.0f}) {
      step(describe("setting parameter %.0f to %g", i, static_cast<double>(value)));
      plugin->setParameter(i, value);
      const float read = plugin->getParameter(i);
      require(std::isfinite(read) && read >= -1e-6f && read <= 1.0f + 1e-6f,
              describe("parameter %.0f set to %g reads back %g, outside 0 to 1", i,
                       static_cast<double>(value), static_cast<double>(read)));
      // Stepped parameters may snap, but setting what was read must keep it.
      plugin->setParameter(i, read);
      const float again = plugin->getParameter(i);
      require(std::fabs(again - read) <= 1e-6f,
              describe("parameter %.0f: setting the value read back (%g) reads %g", i,
                       static_cast<double>(read), static_cast<double>(again)));
    }
    plugin->setParameter(i, original);
  }
  plugin->suspend();
  plugin->close();
  return std::to_string(count) + " parameters at 0, 0.3, 0.7, 1: stable round trips";
}

std::string checkTexts(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  plugin->open();
  const VstInt32 params = plugin->record()->numParams;
  const VstInt32 programs = std::min(plugin->record()->numPrograms, 128);
  const size_t paramText = kVstMaxParamStrLen + 1, programText = kVstMaxProgNameLen + 1;
  for (VstInt32 i = 0; i < params; ++i) {
    const std::string which = " of parameter " + std::to_string(i);
    checkText(*plugin, effGetParamName, i, paramText, "the name" + which);
    checkText(*plugin, effGetParamLabel, i, paramText, "the label" + which);
    checkText(*plugin, effGetParamDisplay, i, paramText, "the display" + which);
  }
  checkText(*plugin, effGetEffectName, 0, kVstMaxEffectNameLen, "the effect name");
  checkText(*plugin, effGetVendorString, 0, kVstMaxVendorStrLen, "the vendor");
  checkText(*plugin, effGetProductString, 0, kVstMaxProductStrLen, "the product");
  checkText(*plugin, effGetProgramName, 0, programText, "the program name");
  for (VstInt32 i = 0; i < programs; ++i)
    checkText(*plugin, effGetProgramNameIndexed, i, programText,
              "the name of program " + std::to_string(i));
  step("closing");
  plugin->close();
  return "every text ends within its buffer (" + std::to_string(3 * params + 4 + programs) +
         " texts)";
}

std::string checkOpcodes(const std::string& path) {
  Session session(path);
  auto plugin = session.instance();
  for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
    if (opcode == effClose) continue;
    step("opcode " + std::to_string(opcode) + " with zero arguments");
    plugin->dispatch(opcode, 0, 0, nullptr, 0.0f);
  }
  step("opcode 1 (close) with zero arguments");
  plugin->close();
  return "opcodes 0 to 79 with index, value, ptr and opt zero";
}

std::string checkThreads(const std::string& path) {
  Session session(path);
  auto plugin = session.active(44100.0f, 256);
  const VstInt32 count = plugin->record()->numParams;
  const Channels in = noise(plugin->record()->numInputs, 256);
  std::atomic<bool> done{false};
  Channels lastOut;
  bool finite = true;
  step("processing while another thread changes parameters");
  std::thread audio([&] {
    for (int i = 0; i < 400; ++i) {  // about 2.3 s of audio at 44100 Hz
      lastOut = process(*plugin, in, 256);
      for (const auto& channel : lastOut)
        for (float sample : channel) finite = finite && std::isfinite(sample);
    }
    done = true;
  });
  uint32_t seed = 7;
  size_t changes = 0;
  while (!done && count > 0) {
    seed = seed * 1664525u + 1013904223u;
    const auto index = static_cast<VstInt32>((seed >> 8) % static_cast<uint32_t>(count));
    plugin->setParameter(index, static_cast<float>(seed >> 8) / 16777216.0f);
    plugin->getParameter(index);
    ++changes;
  }
  audio.join();
  require(finite, "non-finite output while parameters changed");
  step("closing");
  plugin->suspend();
  plugin->close();
  return std::to_string(changes) + " parameter changes during 400 blocks";
}

struct Check {
  const char* name;
  std::string (*run)(const std::string& path);
};

const Check kChecks[] = {
    {"load", checkLoad},
    {"load/unload cycles", checkReload},
    {"open/close cycles", checkOpenClose},
    {"two instances", checkTwoInstances},
    {"rates and block sizes", checkRatesAndBlocks},
    {"block-size invariance", checkBlockInvariance},
    {"silence", checkSilence},
    {"parameter round trips", checkParameters},
    {"text buffers", checkTexts},
    {"opcodes 0-79", checkOpcodes},
    {"threaded parameters", checkThreads},
};

struct Outcome {
  bool passed;
  std::string detail;
  std::string output;  // what the effect printed
};

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

std::string signalName(int signal) {
  const char* name = strsignal(signal);
  return name != nullptr ? name : "signal " + std::to_string(signal);
}

Outcome runIsolated(const Check& check, const CheckOptions& options) {
  std::memset(report, 0, sizeof *report);
  std::FILE* capture = std::tmpfile();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0)
    return {false, std::string("cannot start a check process: ") + std::strerror(errno), ""};
  if (child == 0) {
    // A fault must end this process by its signal, also where a sanitizer has
    // installed handlers of its own, so the parent can name it.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, SIG_DFL);
    // The effect's own printing goes to the capture, not into the table.
    if (capture != nullptr) {
      dup2(fileno(capture), STDOUT_FILENO);
      dup2(fileno(capture), STDERR_FILENO);
    }
    int status = 1;
    try {
      const std::string detail = check.run(options.module);
      std::snprintf(report->detail, sizeof report->detail, "%s", detail.c_str());
      status = 0;
    } catch (const Failed& failed) {
      std::snprintf(report->detail, sizeof report->detail, "%s", failed.why.c_str());
    } catch (const std::exception& error) {
      std::snprintf(report->detail, sizeof report->detail, "exception: %s", error.what());
    }
    std::fflush(nullptr);
    _exit(status);  // skip the effect's static destructors: they are not under test here
  }
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
  int status = 0;
  bool timedOut = false;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Outcome outcome{false, "", ""};
  if (capture != nullptr) {
    std::rewind(capture);
    char line[4096];
    while (std::fgets(line, sizeof line, capture) != nullptr) outcome.output += line;
    std::fclose(capture);
  }
  const std::string during = report->step[0] != '\0' ? std::string(" while ") + report->step : "";
  if (timedOut) {
    outcome.detail = describe("no answer within %g s", options.timeoutSeconds) + during;
  } else if (WIFSIGNALED(status)) {
    outcome.detail = "crashed (" + signalName(WTERMSIG(status)) + ")" + during;
  } else {
    outcome.passed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    outcome.detail = report->detail;
    if (!outcome.passed && outcome.detail.empty())
      outcome.detail = "exited with status " + std::to_string(WEXITSTATUS(status)) + during;
  }
  return outcome;
}

}  // namespace

int check(const CheckOptions& options, std::FILE* out) {
  if (access(options.module.c_str(), R_OK) != 0)
    throw Error(options.module + ": " + std::strerror(errno));
  void* shared =
      mmap(nullptr, sizeof(Report), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) throw Error("cannot map memory for the check processes");
  report = static_cast<Report*>(shared);
  std::fprintf(out, "Checking %s\n\n", options.module.c_str());
  int failed = 0, total = 0;
  for (const Check& check : kChecks) {
    const Outcome outcome = runIsolated(check, options);
    ++total;
    failed += outcome.passed ? 0 : 1;
    std::fprintf(out, "  %s  %-22s %s\n", outcome.passed ? "PASS" : "FAIL", check.name,
                 printable(outcome.detail).c_str());
    if (!outcome.output.empty()) {
      if (options.verbose) {
        std::fprintf(out, "%s", outcome.output.c_str());
      } else {
        const std::string first =
            printable(withoutEscapes(outcome.output.substr(0, outcome.output.find('\n'))));
        std::fprintf(out, "        %-22s the effect printed: %.70s%s\n", "", first.c_str(),
                     outcome.output.find('\n') + 1 < outcome.output.size() ? " ..." : "");
      }
    }
    std::fflush(out);
    if (std::strcmp(check.name, "load") == 0 && !outcome.passed) {
      total = static_cast<int>(sizeof kChecks / sizeof kChecks[0]);
      failed = total;
      std::fprintf(out, "\nthe module does not load; no further checks\n");
      break;
    }
  }
  std::fprintf(out, "\n%d of %d checks passed\n", total - failed, total);
  munmap(shared, sizeof(Report));
  report = nullptr;
  return failed;
}

}  // namespace vsthost
