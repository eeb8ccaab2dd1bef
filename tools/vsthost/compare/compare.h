// vsthost compare: the null test of two audio files.
#pragma once

#include <cstdio>
#include <string>

#include "common/command.h"

namespace vsthost {

struct CompareOptions {
  std::string a, b;
  double toleranceDb = -96.0;  // -inf: bit-identical
};

// compare: the null test of two audio files of the same rate, channels and
// length; prints the residual's peak and RMS and the first frame past the
// tolerance, and answers 0 within it, 1 beyond. Throws Error for files that
// cannot be compared.
int compare(const CompareOptions& options, std::FILE* out);

// The `compare` subcommand of `app`.
Command addCompareCommand(CLI::App& app);

}  // namespace vsthost
