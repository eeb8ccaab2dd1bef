// The command line of `vsthost editor`.
#include <memory>

#include "common/command_line.h"
#include "common/common.h"
#include "editor/editor.h"

namespace vsthost {

Command addEditorCommand(CLI::App& app) {
  struct Options {
    EditorOptions showing;
    std::vector<std::string> params;
  };
  auto options = std::make_shared<Options>();
  EditorOptions& showing = options->showing;
  CLI::App* command = app.add_subcommand(
      "editor",
      "editor MODULE: the module's editor in a window to try it in, its parameters printed when "
      "the window closes; with --screenshot, its picture written (on a private Xvfb where there "
      "is no display) and compared with a golden one");
  command->add_option("MODULE", showing.module, "the module file")->required();
  addParameterOption(*command, options->params);
  command->add_option("--screenshot", showing.screenshot,
                      "FILE.png: write the editor's picture there and exit, without a display of "
                      "your own");
  command
      ->add_option("--idle-ms", showing.idleMs,
                   "idle the editor this long before the picture, 0 to 600000 ms (default 500)")
      ->check(wholeNumber(0, 600000));
  command->add_option("--compare-screenshot", showing.golden,
                      "GOLDEN.png: compare the picture with this one; exit 1 when they differ");
  command
      ->add_option("--tolerance", showing.tolerance,
                   "the largest difference in any channel (0 to 255) at which a pixel still "
                   "matches the golden one (default 8)")
      ->check(wholeNumber(0, 255));
  command
      ->add_option("--differing-pixels", showing.differing,
                   "how many pixels may be beyond the tolerance and the pictures still match "
                   "(default 0)")
      ->check(wholeNumber(0, 100000000));
  command
      ->add_option("--timeout", showing.timeoutSeconds,
                   "time limit of a screenshot's whole run in seconds, 1 to 3600 (default 30)")
      ->check(wholeNumber(1, 3600));
  return {command, [options](std::FILE* out) -> int {
            EditorOptions& editing = options->showing;
            editing.params = assignments(options->params);
            if (!editing.golden.empty() && editing.screenshot.empty())
              throw UsageError(
                  "--compare-screenshot wants --screenshot FILE.png too, where the new picture "
                  "goes");
            return editor(editing, out);
          }};
}

}  // namespace vsthost
