// The command line of `vsthost render`: one module over an input, a MIDI file
// or silence, or a session's chain.
#include <unistd.h>

#include <memory>

#include "common/command_line.h"
#include "common/common.h"
#include "render/render.h"

namespace vsthost {

namespace {

struct Options {
  RenderOptions render;
  std::vector<std::string> files;  // MODULE [IN] OUT, or OUT with a session
  std::vector<std::string> params;
  bool quiet = false;
};

// Completes the options from what was given: the files in their places, and
// nothing a session file sets given on the command line too. Unused in a
// build without render (no libsndfile).
[[maybe_unused]] void settle(Options& options, const CLI::App& command) {
  RenderOptions& render = options.render;
  const std::vector<std::string>& files = options.files;
  render.params = assignments(options.params);
  if (!render.session.empty()) {
    // The session holds the chain and the settings; the command line adds
    // the output, the module of "$MODULE" and how the output is written.
    for (const char* option : {"--midi", "--rate", "--tail", "--param", "--block", "--tempo",
                               "--time-signature", "--preset", "--save-preset"})
      if (command.count(option) > 0)
        throw UsageError(std::string(option) + " is set in the session file, not with --session");
    if (files.size() > 1)
      throw UsageError("render --session FILE.json takes one file, OUT, not " +
                       std::to_string(files.size()));
    if (!files.empty()) render.output = files[0];
  } else {
    if (files.size() > 3)
      throw UsageError("render takes MODULE, IN and OUT, not " + std::to_string(files.size()) +
                       " files");
    if (command.count("--module") > 0)
      throw UsageError("--module names the module of \"$MODULE\" in a --session");
    if (files.empty()) throw UsageError("render: MODULE is required");
    if (files.size() == 1 || (files.size() == 2 && render.midi.empty()))
      throw UsageError(
          "render: OUT is required (render MODULE IN OUT, or MODULE [IN] OUT --midi FILE)");
    render.module = files[0];
    render.input = files.size() == 3 ? files[1] : "";
    render.output = files.back();
    if (command.count("--tail") > 0 && !(render.tail >= 0.0 && render.tail <= 3600.0))
      throw UsageError("--tail wants seconds from 0 to 3600");
  }
  render.progress = !options.quiet && isatty(STDERR_FILENO) != 0;
}

}  // namespace

Command addRenderCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  RenderOptions& render = options->render;
  CLI::App* command = app.add_subcommand(
      "render",
      "render MODULE IN OUT: run the audio file IN through the effect and write OUT (WAV, AIFF, "
      "FLAC, Ogg, AU, CAF), at IN's rate; a mono file feeds every input. "
      "render MODULE [IN] OUT --midi FILE.mid: play a MIDI file into it (IN may be left out). "
      "render --session FILE.json [OUT]: a chain of modules as the session file says");
  command->add_option("MODULE [IN] OUT", options->files,
                      "the module file, the input (none for an instrument or with --midi), "
                      "the output; with --session only OUT, if any");
  command->add_option("--midi", render.midi,
                      "a Standard MIDI File (type 0 or 1) played into the module; the "
                      "render lasts until its end and the tail");
  command
      ->add_option("--rate", render.rate,
                   "the sample rate without an input, in Hz (default 44100); with one, its rate")
      ->check(sampleRate());
  command->add_option("--tail", render.tail,
                      "seconds rendered after the end, 0 to 3600 (default: the tail the "
                      "effects report, up to 30 s; with --midi at least 1)");
  command->add_option("--session", render.session,
                      "a session file (JSON): the settings and a chain of modules");
  command->add_option("--module", render.module,
                      "with --session: the module that \"$MODULE\" in it stands for");
  addParameterOption(*command, options->params);
  command->add_option("--block", render.block, "frames per process call, 1 to 65536 (default 512)")
      ->check(wholeNumber(1, 65536));
  command->add_option("--format", render.format, "wav, aiff, flac, ogg, au or caf");
  command->add_option("--encoding", render.encoding,
                      "pcm16, pcm24, pcm32, float, double or vorbis");
  command->add_flag("--quiet", options->quiet, "no progress bar (it only shows on a terminal)");
  command->add_option("--tempo", render.tempo,
                      "the host's tempo in quarter notes per minute, 1 to 999 (default 120)");
  command->add_option("--time-signature", render.timeSignature,
                      "the host's time signature N/D (default 4/4)");
  CLI::Option* preset = command->add_option(
      "--preset", render.preset,
      "a program (.fxp) or bank (.fxb) file to load before rendering (before any --param)");
  command->add_flag("--force", render.force, "load a --preset made for another plug-in ID")
      ->needs(preset);
  command->add_option("--save-preset", render.savePreset,
                      "write the effect's state after the render: the current program "
                      "(FILE.fxp) or every program (FILE.fxb)");
  return {command, [options, command](std::FILE*) -> int {
#if !VSTHOST_RENDER
            throw Error(
                "render is not available in this build: it needs libsndfile, which Debian "
                "packages only for Linux (scripts/mingw-sndfile builds it for Windows)");
#else
            settle(*options, *command);
            vsthost::render(options->render);
            return 0;
#endif
          }};
}

}  // namespace vsthost
