// A tempo-synced delay from Debian's packages, a binary built without this
// project, reads the host library's time record: synced to a quarter note it
// echoes an impulse exactly one beat later at 120, 90 and 60 BPM, so the
// tempo sits where that module looks for it and the valid flags mean what it
// takes them to mean. Exit 77 (skipped) when the module is not installed.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "vst/host.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/usr/lib/vst/ZamDelay-vst.so";
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    std::printf("%s is not installed (zam-plugins): skipped\n", path.c_str());
    return 77;
  }
  int failures = 0;
  for (const double tempo : {120.0, 90.0, 60.0}) {
    host::LoadedPlugin loaded;
    std::string error;
    if (!loaded.load(path, error)) {
      std::printf("%s\n", error.c_str());
      return 1;
    }
    loaded.host.setRecording(false);
    loaded.host.setSampleRate(44100.0f);
    loaded.host.transport().setTempo(tempo);
    host::Plugin& delay = *loaded.plugin;
    delay.activate(44100.0f, 512);
    delay.setParameter(2, 1.0f);  // Sync BPM on; Divisor stays at a quarter note
    delay.setParameter(7, 0.0f);  // one echo, no feedback
    const int frames = 2 * 44100;
    std::vector<float> in(frames), out(frames);
    in[0] = 1.0f;
    for (int at = 0; at < frames; at += 512) {
      const int count = std::min(512, frames - at);
      float* inputs[2] = {in.data() + at, in.data() + at};
      float* outputs[2] = {out.data() + at, out.data() + at};
      delay.processReplacing(inputs, outputs, count);
      loaded.host.transport().advance(count);
    }
    int echo = -1;
    for (int i = 100; i < frames && echo < 0; ++i)
      if (std::fabs(out[static_cast<size_t>(i)]) > 0.05f) echo = i;
    const int beat = static_cast<int>(std::lround(44100.0 * 60.0 / tempo));
    std::printf("%.0f BPM: echo at frame %d, one beat is %d frames\n", tempo, echo, beat);
    failures += echo != beat;
  }
  return failures == 0 ? 0 : 1;
}
