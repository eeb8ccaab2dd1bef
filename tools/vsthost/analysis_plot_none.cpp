// A build without a plotting library: analyze and plot say that it draws no
// pictures. Weak, so a build that has the drawing code links that instead.
#include "analysis_plot.h"

namespace vsthost {

__attribute__((weak)) bool analysisPlotsAvailable() { return false; }

__attribute__((weak)) bool writeAnalysisPlots(const nlohmann::json&, const std::string&,
                                              std::string& error) {
  error = "this build draws no pictures; `vsthost plot FILE.json DIR` on Linux draws them";
  return false;
}

}  // namespace vsthost
