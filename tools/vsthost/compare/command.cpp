// The command line of `vsthost compare`.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "common/command_line.h"
#include "common/common.h"
#include "compare/compare.h"

namespace vsthost {

Command addCompareCommand(CLI::App& app) {
  struct Options {
    CompareOptions comparing;
    std::string tolerance;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "compare",
      "compare A B: the null test of two audio files of the same rate, channels and length; "
      "prints the residual's peak and RMS in dBFS and the first frame past the tolerance, and "
      "exits 1 when a frame is past it");
  command->add_option("A", options->comparing.a, "the first audio file")->required();
  command->add_option("B", options->comparing.b, "the second audio file")->required();
  command->add_option("--tolerance", options->tolerance,
                      "the loudest residual that passes, in dB below full scale (default "
                      "-96; -inf passes only bit-identical files)");
  return {command, [options](std::FILE* out) -> int {
#if !VSTHOST_RENDER
            (void)out;
            throw Error(
                "compare is not available in this build: it needs libsndfile, which Debian "
                "packages only for Linux (scripts/mingw-sndfile builds it for Windows)");
#else
            CompareOptions& comparing = options->comparing;
            const std::string& tolerance = options->tolerance;
            if (!tolerance.empty()) {
              char* end = nullptr;
              comparing.toleranceDb = std::strtod(tolerance.c_str(), &end);
              if (*end != '\0' || std::isnan(comparing.toleranceDb) ||
                  comparing.toleranceDb > 0 ||
                  (std::isinf(comparing.toleranceDb) && comparing.toleranceDb > 0))
                throw UsageError("--tolerance wants a level in dB from -inf to 0, e.g. -96, not '" +
                                 tolerance + "'");
            }
            return compare(comparing, out);
#endif
          }};
}

}  // namespace vsthost
