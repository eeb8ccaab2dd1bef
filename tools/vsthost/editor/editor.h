// vsthost editor: a plug-in's editor in a window of vsthost's own, to try the
// plug-in in or to photograph it (on a private Xvfb where there is no
// display), and the photograph compared with a golden picture.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/command.h"

namespace vsthost {

struct EditorOptions {
  std::string module;
  std::vector<std::pair<std::string, std::string>> params;  // NAME, VALUE
  std::string screenshot;                                   // empty: a window to try the plug-in in
  int idleMs = 500;                                         // idle before the picture is taken
  std::string golden;                                       // compared with the screenshot when set
  int tolerance = 8;             // the channel difference a pixel may have and still match
  long differing = 0;            // how many pixels may be beyond it
  double timeoutSeconds = 30.0;  // for a screenshot: the editor's whole run
};

// editor: opens the module's editor in a process of its own. With a
// screenshot path: idles it, writes its picture and, with a golden picture,
// compares the two (1 when they differ); without: shows it until the window
// is closed or the user interrupts, then prints the parameters' values.
// Answers the exit status; throws Error for a module that crashes, hangs or
// has no editor, and for a picture that cannot be written.
int editor(const EditorOptions& options, std::FILE* out);

// The editor process on Windows, started again as `--check-child MAPPING
// --editor RESULT MODULE [options]`.
int editorChild(int argc, char** argv);

// The `editor` subcommand of `app`.
Command addEditorCommand(CLI::App& app);

}  // namespace vsthost
