// Checks of when things sound: events at their frame, renders that do not
// depend on the block size, and the tail a module reports against the one it
// rings for.
#pragma once

#include <cstddef>
#include <string>

#include "check/support.h"

namespace vsthost {

// Compares a render in blocks of `block` with the one in blocks of 4096:
// beyond rounding (relative to `scale`) a WARN; any difference a FAIL with
// --strict.
void compareBlockSizes(CheckContext& context, const Channels& out, const Channels& reference,
                       double scale, size_t block);
// block-invariance for an instrument: the same MIDI performance in blocks of
// 4096, 1, 37 and 512 frames.
std::string instrumentBlockInvariance(CheckContext& context, Session& session);
std::string checkDeltaFrames(CheckContext& context);
std::string checkTail(CheckContext& context);

}  // namespace vsthost
