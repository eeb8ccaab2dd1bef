// compare: a null test of two audio files. Both are read as doubles, B is
// subtracted from A sample by sample, and the residual's peak and RMS are
// reported in dBFS with the first frame where it passes the tolerance.
#include "compare/compare.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/common.h"

#ifdef _WIN32
#include <io.h>
#define access _access
#define R_OK 4
#else
#include <unistd.h>
#endif

namespace vsthost {

namespace {

struct OpenFile {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  explicit OpenFile(const std::string& path) {
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file != nullptr) return;
    if (access(path.c_str(), R_OK) != 0) throw Error(path + ": " + std::strerror(errno));
    throw Error(path + ": not a readable audio file (" + sf_strerror(nullptr) + ")");
  }
  ~OpenFile() { sf_close(file); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
};

std::string decibels(double level) {
  if (std::isinf(level) && level > 0) return "inf dBFS (a non-finite sample)";
  if (level <= 0.0) return "-inf dBFS";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f dBFS", 20.0 * std::log10(level));
  return text;
}

// A - B, with equal non-finite samples (the same infinity, or NaN in both)
// counting as equal and any other non-finite difference as infinitely loud.
double residual(double a, double b) {
  if (a == b || (std::isnan(a) && std::isnan(b))) return 0.0;
  const double difference = std::fabs(a - b);
  return std::isfinite(difference) ? difference : std::numeric_limits<double>::infinity();
}

}  // namespace

int compare(const CompareOptions& options, std::FILE* out) {
  if (std::isnan(options.toleranceDb))
    throw UsageError("--tolerance wants a level in dB, e.g. -96 (or -inf for bit-identical)");
  OpenFile a(options.a), b(options.b);
  const std::string both = options.a + " and " + options.b;
  if (a.info.samplerate != b.info.samplerate)
    throw Error(both + " differ in sample rate: " + std::to_string(a.info.samplerate) +
                " Hz against " + std::to_string(b.info.samplerate) + " Hz");
  if (a.info.channels != b.info.channels)
    throw Error(both + " differ in channels: " + std::to_string(a.info.channels) + " against " +
                std::to_string(b.info.channels));
  if (a.info.frames != b.info.frames)
    throw Error(both + " differ in length: " + std::to_string(a.info.frames) + " frames against " +
                std::to_string(b.info.frames));

  // A level above the tolerance fails; -inf dB lets nothing but silence through.
  const double limit = std::pow(10.0, options.toleranceDb / 20.0);
  const auto channels = static_cast<size_t>(a.info.channels);
  constexpr sf_count_t kBlock = 4096;
  std::vector<double> bufferA(static_cast<size_t>(kBlock) * channels);
  std::vector<double> bufferB(bufferA.size());
  double peak = 0.0, energy = 0.0;
  sf_count_t frame = 0, firstPast = -1;
  while (frame < a.info.frames) {
    const sf_count_t wanted = std::min(kBlock, a.info.frames - frame);
    const sf_count_t gotA = sf_readf_double(a.file, bufferA.data(), wanted);
    const sf_count_t gotB = sf_readf_double(b.file, bufferB.data(), wanted);
    if (gotA != wanted) throw Error(options.a + ": read failed at frame " + std::to_string(frame));
    if (gotB != wanted) throw Error(options.b + ": read failed at frame " + std::to_string(frame));
    for (sf_count_t i = 0; i < wanted; ++i)
      for (size_t c = 0; c < channels; ++c) {
        const size_t at = static_cast<size_t>(i) * channels + c;
        const double r = residual(bufferA[at], bufferB[at]);
        peak = std::max(peak, r);
        energy += r * r;
        if (r > limit && firstPast < 0) firstPast = frame + i;
      }
    frame += wanted;
  }
  const double samples = static_cast<double>(a.info.frames) * static_cast<double>(channels);
  const double rms = samples > 0 ? std::sqrt(energy / samples) : 0.0;

  char tolerance[32];
  std::snprintf(tolerance, sizeof tolerance, "%g dB", options.toleranceDb);
  std::fprintf(out, "residual peak  %s\n", decibels(peak).c_str());
  std::fprintf(out, "residual RMS   %s\n", decibels(rms).c_str());
  if (firstPast < 0) {
    std::fprintf(out, "within %s: no frame past it\n", tolerance);
    return 0;
  }
  std::fprintf(out, "beyond %s: first at frame %lld (%.6f s)\n", tolerance,
               static_cast<long long>(firstPast),
               static_cast<double>(firstPast) / a.info.samplerate);
  return 1;
}

}  // namespace vsthost
