// The body of the check "time-info": how an effect copes with the host's
// time. It drives one instance with a moving transport (tempo changes, a stop
// and a start, a cycle that jumps back, a record of zeros without flags, as
// a host that fills nothing sends) and a fresh instance in a host that
// answers null for the time, as some hosts do; each with the parameters at
// their defaults, at 0.5 and at 1, since tempo sync is usually a parameter
// away. --strict adds records whose flags claim values no transport has: a
// tempo of 0, NaN, below 0 or infinite, a time signature of 0/0, positions
// that jump by millions of beats or are NaN.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "check/registry.h"

namespace vsthost {

// The effect produced non-finite output; what() names the stage and the frame.
struct TimeInfoFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs the check on the module at `path` in this process, at the default or
// the strict level: a crash in the effect is a crash here, so run it isolated. `step` is told what
// is about to happen before each stage, so a crash or hang can be named. Answers a one-line detail
// when the output stayed finite throughout; throws TimeInfoFailure when it did not, and
// std::runtime_error (vsthost::Error) when the module cannot be loaded.
std::string checkTimeInfo(const std::string& path,
                          const std::function<void(const std::string&)>& step, bool strict);

// The check's record for the registry: it joins a group with one line, e.g.
// `all.push_back(timeInfoCheck());` in audioChecks().
CheckDefinition timeInfoCheck();

}  // namespace vsthost
