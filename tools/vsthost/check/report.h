// The report of `vsthost check`: a table on a terminal, or one JSON object.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "check/registry.h"

namespace vsthost {

struct CheckOptions;

// One run of one check.
struct CheckResult {
  const CheckDefinition* check;
  int repetition;  // 0 for the first run
  int32_t verdict;
  std::string detail;
  std::string output;  // what the effect printed
  double seconds;
};

class Report {
 public:
  virtual ~Report() = default;
  virtual void begin() = 0;
  virtual void add(const CheckResult& result) = 0;
  // A line about the run as a whole (text only).
  virtual void note(const std::string& text) = 0;
  // Ends the report; answers the number of failed runs.
  virtual int end() = 0;
};

std::unique_ptr<Report> makeReport(const CheckOptions& options, std::FILE* out);

}  // namespace vsthost
