// The audio files of a render: an open libsndfile file that closes itself,
// and the output's format from --format, --encoding, the output's extension
// and the input.
#pragma once

#include <sndfile.h>

#include "render/plan.h"

namespace vsthost {

// An open sound file, closed when it goes.
struct SoundFile {
  SNDFILE* file = nullptr;
  ~SoundFile() {
    if (file != nullptr) sf_close(file);
  }
};

// The output's libsndfile format: the container from --format, else from the
// output's extension, else the input's; the encoding from --encoding, else the
// input's where the container takes it, else the best the container takes.
// Throws Error for a format or encoding this build cannot write.
int outputFormat(const RenderPlan& options, const SF_INFO& input);

}  // namespace vsthost
