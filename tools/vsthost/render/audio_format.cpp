#include "render/audio_format.h"

#include <cctype>
#include <string>

#include "common/common.h"

namespace vsthost {

namespace {

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

}  // namespace

int outputFormat(const RenderPlan& options, const SF_INFO& input) {
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

}  // namespace vsthost
