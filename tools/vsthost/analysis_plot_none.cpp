// A build without a plotting library (the Windows one): analyze and plot say
// that it draws no pictures. Weak where the object format allows, so a build
// that has the drawing code links that instead.
#include "analysis_plot.h"

#if defined(__ELF__)
#define VSTHOST_WEAK __attribute__((weak))
#else
#define VSTHOST_WEAK
#endif

namespace vsthost {

VSTHOST_WEAK bool analysisPlotsAvailable() { return false; }

VSTHOST_WEAK bool writeAnalysisPlots(const nlohmann::json&, const std::string&,
                                     std::string& error) {
  error = "this build draws no pictures; `vsthost plot FILE.json DIR` on Linux draws them";
  return false;
}

}  // namespace vsthost
