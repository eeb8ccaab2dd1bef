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
#include <cstdlib>
#include <cstring>

#include "parameter_values.h"
#include "vst/program_file.h"
#include "vsthost.h"

namespace vsthost {

namespace {

// The temporary output, removed by the signal handler if the process dies.
char temporaryPath[4096];
// The signals after which the temporary output is removed.
#ifdef _WIN32
const int kFatalSignals[] = {SIGINT, SIGTERM, SIGSEGV, SIGFPE, SIGILL, SIGABRT};
#define access _access
#define R_OK 4
#else
const int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
#endif

void removeTemporaryAndDie(int signal) {
  if (temporaryPath[0] != '\0') unlink(temporaryPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A file written beside `target` and put in its place by commit(); removed
// if never committed. `what` names it in errors ("output", "the preset").
class TemporaryFile {
 public:
  TemporaryFile(const std::string& target, const char* what) : target_(target) {
    std::string pattern = target + ".vsthost-XXXXXX";
    fd_ = mkstemp(&pattern[0]);
    if (fd_ < 0)
      throw Error(target + ": cannot create " + what + " (" + std::strerror(errno) + ")");
    path_ = pattern;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  void write(const std::vector<unsigned char>& bytes, const char* what) {
    size_t done = 0;
    while (done < bytes.size()) {
      const auto wrote =
          ::write(fd_, bytes.data() + done,
                  static_cast<unsigned>(std::min<size_t>(bytes.size() - done, 1 << 30)));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0)
        throw Error(target_ + ": cannot write " + what + " (" + std::strerror(errno) + ")");
      done += static_cast<size_t>(wrote);
    }
  }

  // Writes the file through to the disk, then puts it in the target's place.
  void commit() {
#ifdef _WIN32
    // Windows renames only a closed file, and rename() never replaces one.
    const bool synced = _commit(fd_) == 0;
    const int closed = close(fd_);
    fd_ = -1;
    if (!synced || closed != 0)
      throw Error(target_ + ": write failed (" + std::strerror(errno) + ")");
    if (!MoveFileExA(path_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      throw Error(target_ + ": cannot write (Windows error " + std::to_string(GetLastError()) +
                  ")");
#else
    if (fsync(fd_) != 0 && errno != EINVAL)
      throw Error(target_ + ": write failed (" + std::strerror(errno) + ")");
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    if (std::rename(path_.c_str(), target_.c_str()) != 0)
      throw Error(target_ + ": cannot write (" + std::strerror(errno) + ")");
#endif
    committed_ = true;
  }

 private:
  std::string target_, path_;
  int fd_ = -1;
  bool committed_ = false;
};

// The render's output: a temporary file that a fatal signal removes too.
class TemporaryOutput : public TemporaryFile {
 public:
  explicit TemporaryOutput(const std::string& target) : TemporaryFile(target, "output") {
    if (path().size() >= sizeof temporaryPath) throw Error(target + ": path too long");
    std::memcpy(temporaryPath, path().c_str(), path().size() + 1);
    for (size_t i = 0; i < kSignals; ++i)
      previous_[i] = std::signal(kFatalSignals[i], removeTemporaryAndDie);
  }
  // Puts back the handlers that were there before, so a caller of render()
  // (the demo, the tests) keeps its own.
  ~TemporaryOutput() {
    for (size_t i = 0; i < kSignals; ++i)
      if (previous_[i] != SIG_ERR) std::signal(kFatalSignals[i], previous_[i]);
    temporaryPath[0] = '\0';
  }

 private:
  static constexpr size_t kSignals = sizeof kFatalSignals / sizeof kFatalSignals[0];
  void (*previous_[kSignals])(int) = {};
};

struct SoundFile {
  SNDFILE* file = nullptr;
  ~SoundFile() {
    if (file != nullptr) sf_close(file);
  }
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int containerNamed(const std::string& name) {
  const std::string n = lower(name);
  if (n == "wav") return SF_FORMAT_WAV;
  if (n == "aiff" || n == "aif") return SF_FORMAT_AIFF;
  if (n == "flac") return SF_FORMAT_FLAC;
  if (n == "ogg") return SF_FORMAT_OGG;
  if (n == "au") return SF_FORMAT_AU;
  if (n == "caf") return SF_FORMAT_CAF;
  return 0;
}

int encodingNamed(const std::string& name) {
  const std::string n = lower(name);
  if (n == "pcm16") return SF_FORMAT_PCM_16;
  if (n == "pcm24") return SF_FORMAT_PCM_24;
  if (n == "pcm32") return SF_FORMAT_PCM_32;
  if (n == "float") return SF_FORMAT_FLOAT;
  if (n == "double") return SF_FORMAT_DOUBLE;
  if (n == "vorbis") return SF_FORMAT_VORBIS;
  return 0;
}

// Whether this libsndfile writes `container`: a build without the external
// codec libraries (the Windows one) accepts FLAC and Ogg formats but cannot
// open them.
bool containerBuiltIn(int container) {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 &&
        info.format == container)
      return true;
  }
  return false;
}

// The output's libsndfile format: the container from --format, else from the
// output's extension, else the input's; the encoding from --encoding, else the
// input's where the container takes it, else the best the container takes.
int outputFormat(const RenderOptions& options, const SF_INFO& input) {
  int container = input.format & SF_FORMAT_TYPEMASK;
  if (!options.format.empty()) {
    container = containerNamed(options.format);
    if (container == 0)
      throw Error("unknown format '" + options.format + "' (wav, aiff, flac, ogg, au, caf)");
  } else {
    const size_t slash = options.output.find_last_of('/');
    const size_t dot = options.output.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
      if (int named = containerNamed(options.output.substr(dot + 1))) container = named;
  }
  if (!containerBuiltIn(container))
    throw Error(options.output + ": this build of vsthost cannot write " +
                (container == SF_FORMAT_FLAC  ? std::string("FLAC")
                 : container == SF_FORMAT_OGG ? std::string("Ogg")
                                              : "this format") +
                " files (its audio-file library has only WAV, AIFF, W64, AU, CAF and the like)");
  SF_INFO probe{};
  probe.samplerate = input.samplerate;
  probe.channels = 2;
  if (!options.encoding.empty()) {
    const int encoding = encodingNamed(options.encoding);
    if (encoding == 0)
      throw Error("unknown encoding '" + options.encoding +
                  "' (pcm16, pcm24, pcm32, float, double, vorbis)");
    probe.format = container | encoding;
    if (!sf_format_check(&probe))
      throw Error("the " + lower(options.format.empty() ? "output" : options.format) +
                  " format cannot hold " + options.encoding + " samples");
    return probe.format;
  }
  for (int encoding : {input.format & SF_FORMAT_SUBMASK, int(SF_FORMAT_FLOAT),
                       int(SF_FORMAT_PCM_24), int(SF_FORMAT_PCM_16), int(SF_FORMAT_VORBIS)}) {
    probe.format = container | encoding;
    if (sf_format_check(&probe)) return probe.format;
  }
  throw Error(options.output + ": no sample encoding fits this format");
}

// "N/D": both whole numbers, the denominator a power of two up to 64.
std::pair<int, int> timeSignature(const std::string& text) {
  const std::string error = "time signature '" + text +
                            "' is not N/D (beats per bar 1 to 64, a note value 1, 2, 4, 8, 16, "
                            "32 or 64; e.g. 6/8)";
  const size_t slash = text.find('/');
  const auto whole = [&](const std::string& part) {
    if (part.empty() || part.size() > 2 ||
        part.find_first_not_of("0123456789") != std::string::npos)
      throw Error(error);
    return std::atoi(part.c_str());
  };
  if (slash == std::string::npos) throw Error(error);
  const int numerator = whole(text.substr(0, slash)), denominator = whole(text.substr(slash + 1));
  if (numerator < 1 || numerator > 64 || denominator < 1 || denominator > 64 ||
      (denominator & (denominator - 1)) != 0)
    throw Error(error);
  return {numerator, denominator};
}

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

}  // namespace

void render(const RenderOptions& options) {
  if (options.block < 1 || options.block > 65536)
    throw Error("block size must be between 1 and 65536 frames");
  // The input is opened before the module is loaded, so a missing or
  // unreadable file is reported without running any of the effect's code.
  SF_INFO inputInfo{};
  SoundFile input;
  input.file = sf_open(options.input.c_str(), SFM_READ, &inputInfo);
  if (input.file == nullptr) {
    if (access(options.input.c_str(), R_OK) != 0)
      throw Error(options.input + ": " + std::strerror(errno));
    throw Error(options.input + ": not a readable audio file (" + sf_strerror(nullptr) + ")");
  }
  const int format = outputFormat(options, inputInfo);

  if (!(options.tempo >= 1.0 && options.tempo <= 999.0))
    throw Error("tempo must be between 1 and 999 BPM");
  const std::pair<int, int> signature = timeSignature(options.timeSignature);
  host::ProgramFileKind saveKind = host::ProgramFileKind::kProgram;
  if (!options.savePreset.empty() && !host::programFileKindForPath(options.savePreset, saveKind))
    throw UsageError(
        "--save-preset wants a file name ending in .fxp (the program) or .fxb "
        "(every program), not '" +
        options.savePreset + "'");

  auto loaded = load(options.module);
  host::Plugin& plugin = *loaded->plugin;
  const AEffect* record = plugin.record();
  std::vector<VstInt32> indices;
  for (const auto& param : options.params) indices.push_back(parameterIndex(plugin, param.first));

  host::Transport& transport = loaded->host.transport();
  transport.setTempo(options.tempo);
  transport.setTimeSignature(signature.first, signature.second);
  transport.setPlaying(true);
  loaded->host.setSampleRate(static_cast<float>(inputInfo.samplerate));
  loaded->host.setBlockSize(options.block);
  plugin.open();
  plugin.setSampleRate(static_cast<float>(inputInfo.samplerate));
  plugin.setBlockSize(options.block);
  if (!options.preset.empty()) {
    std::string error;
    host::ProgramFileProblem problem = host::ProgramFileProblem::kNone;
    host::ProgramFileLoadOptions loadOptions;
    loadOptions.force = options.force;
    if (!host::loadProgramFile(plugin, options.preset, loadOptions, error, &problem))
      throw Error(error + (problem == host::ProgramFileProblem::kOtherPlugin
                               ? "; --force loads it anyway"
                               : ""));
  }
  // Values with units are read once the effect knows its sample rate, which
  // a display may depend on.
  std::vector<float> values;
  for (size_t i = 0; i < indices.size(); ++i)
    values.push_back(resolveParameterValue(plugin, indices[i], options.params[i].first,
                                           options.params[i].second));
  for (size_t i = 0; i < indices.size(); ++i) plugin.setParameter(indices[i], values[i]);
  plugin.resume();
  plugin.dispatch(effStartProcess);

  const int inputs = std::max(0, record->numInputs);
  const int outputs = std::max(0, record->numOutputs);
  const int channels = inputInfo.channels;
  if (outputs == 0) throw Error(options.module + ": the effect has no audio outputs");
  if (channels > inputs && !(channels == 1 && inputs == 0))
    throw Error(options.input + ": " + std::to_string(channels) +
                " channels, but the effect takes " + std::to_string(inputs) +
                (inputs == 1 ? " input" : " inputs"));

  TemporaryOutput temporary(options.output);
  SF_INFO outputInfo{};
  outputInfo.samplerate = inputInfo.samplerate;
  outputInfo.channels = outputs;
  outputInfo.format = format;
  if (!sf_format_check(&outputInfo))
    throw Error(options.output + ": this format cannot hold " + std::to_string(outputs) +
                " channels at " + std::to_string(inputInfo.samplerate) + " Hz");
  SoundFile output;
  output.file = sf_open_fd(temporary.fd(), SFM_WRITE, &outputInfo, SF_FALSE);
  if (output.file == nullptr)
    throw Error(options.output + ": cannot write (" + sf_strerror(nullptr) + ")");
  sf_command(output.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  const auto block = static_cast<size_t>(options.block);
  std::vector<float> interleavedIn(block * static_cast<size_t>(channels));
  std::vector<float> interleavedOut(block * static_cast<size_t>(outputs));
  // At least one input buffer, so a silent input is there to point at.
  std::vector<std::vector<float>> in(static_cast<size_t>(std::max(inputs, 1)),
                                     std::vector<float>(block));
  std::vector<std::vector<float>> out(static_cast<size_t>(outputs), std::vector<float>(block));
  std::vector<float*> inPointers, outPointers;
  for (auto& channel : in) inPointers.push_back(channel.data());
  for (auto& channel : out) outPointers.push_back(channel.data());
  const bool replacing = (record->flags & effFlagsCanReplacing) != 0 || record->process == nullptr;

  sf_count_t done = 0;
  int shown = -1;
  for (;;) {
    const sf_count_t frames =
        sf_readf_float(input.file, interleavedIn.data(), static_cast<sf_count_t>(block));
    if (frames <= 0) break;
    const auto n = static_cast<size_t>(frames);
    for (size_t c = 0; c < in.size(); ++c) {
      // A mono file feeds every input; missing channels are silent.
      const size_t source = channels == 1 ? 0 : c;
      for (size_t i = 0; i < n; ++i)
        in[c][i] = source < static_cast<size_t>(channels)
                       ? interleavedIn[i * static_cast<size_t>(channels) + source]
                       : 0.0f;
    }
    for (auto& channel : out) std::fill(channel.begin(), channel.end(), 0.0f);
    if (replacing)
      plugin.processReplacing(inPointers.data(), outPointers.data(), static_cast<VstInt32>(n));
    else  // an old effect that only accumulates into the outputs
      record->process(plugin.record(), inPointers.data(), outPointers.data(),
                      static_cast<VstInt32>(n));
    transport.advance(static_cast<VstInt32>(n));
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < out.size(); ++c) interleavedOut[i * out.size() + c] = out[c][i];
    if (sf_writef_float(output.file, interleavedOut.data(), frames) != frames)
      throw Error(options.output + ": write failed (" + sf_strerror(output.file) + ")");
    done += frames;
    if (options.progress) showProgress(done, inputInfo.frames, shown);
  }
  if (options.progress && shown >= 0) std::fprintf(stderr, "\n");
  if (sf_error(input.file) != SF_ERR_NO_ERROR)
    throw Error(options.input + ": read failed (" + sf_strerror(input.file) + ")");
  plugin.dispatch(effStopProcess);
  plugin.suspend();
  // The state is taken before anything is renamed into place, so a preset
  // that cannot be saved leaves neither file behind.
  std::unique_ptr<TemporaryFile> preset;
  if (!options.savePreset.empty()) {
    std::vector<unsigned char> bytes;
    std::string error;
    if (!host::saveProgramState(plugin, saveKind, bytes, error))
      throw Error(options.savePreset + ": " + error);
    preset = std::make_unique<TemporaryFile>(options.savePreset, "the preset");
    preset->write(bytes, "the preset");
  }
  plugin.close();
  sf_write_sync(output.file);
  if (sf_close(output.file) != 0) {
    output.file = nullptr;
    throw Error(options.output + ": write failed");
  }
  output.file = nullptr;
  temporary.commit();
  if (preset) preset->commit();
}

}  // namespace vsthost
