// Pictures of an analysis: drawn from the JSON object `vsthost analyze --json`
// writes, so a measurement made on one machine (or on Windows, where no
// plotting library is built) is drawn on another by `vsthost plot`.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace vsthost {

// Whether this build can draw (the Windows build cannot).
bool analysisPlotsAvailable();

// Writes the analysis's pictures as PNG files into `folder` (created when
// missing). Returns false with `error` set to one line when the analysis
// lacks what a picture needs or a file cannot be written; no half-written
// picture is left behind.
bool writeAnalysisPlots(const nlohmann::json& analysis, const std::string& folder,
                        std::string& error);

}  // namespace vsthost
