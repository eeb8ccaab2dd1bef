// vsthost: inspect, render, analyse and check any VST 2.4 module from the
// shell. This file only builds the command line from each command's part and
// runs the one given; the commands live in their own folders.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "analyze/analyze.h"
#include "check/check.h"
#include "common/command_line.h"
#include "common/common.h"
#include "compare/compare.h"
#include "editor/editor.h"
#include "info/info.h"
#include "render/render.h"

#if VSTHOST_COUNTS_HEAP
#include "common/allocation_counter.h"
#endif

namespace {

using vsthost::UsageError;

#if VSTHOST_COUNTS_HEAP
// The heap counter this program links, for the real-time check.
class ProcessHeap : public vsthost::HeapCounter {
 public:
  bool countOnThisThread(bool on) override { return vsthost::allocations::countOnThisThread(on); }
  long counted() override { return vsthost::allocations::counted(); }
  void forgetFirstStack() override { vsthost::allocations::forgetFirstStack(); }
  std::vector<void*> firstStack() override { return vsthost::allocations::firstStack(); }
};
#endif

vsthost::HeapCounter* processHeap() {
#if VSTHOST_COUNTS_HEAP
  static ProcessHeap heap;
  return &heap;
#else
  return nullptr;
#endif
}

int run(int argc, char** argv, std::FILE* out) {
  // The hidden commands of Windows' measurement and check processes.
#if VSTHOST_ANALYZE
  if (argc >= 4 && std::strcmp(argv[1], "--check-child") == 0 &&
      std::strcmp(argv[3], "--analyze") == 0)
    return vsthost::analyzeChild(argc, argv);
#endif
  if (argc >= 4 && std::strcmp(argv[1], "--check-child") == 0 &&
      std::strcmp(argv[3], "--editor") == 0)
    return vsthost::editorChild(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--check-child") == 0)
    return vsthost::runCheckChild(argc, argv, processHeap());

  CLI::App app("Inspect, render and check a VST 2.4 module (.so on Linux, .dll on Windows).",
               "vsthost");
  app.require_subcommand(1);
  app.set_version_flag("--version", VSTHOST_VERSION, "Print vsthost's version and exit");
  // Options are --long and -s on every system: a path such as /tmp/in.wav is
  // a path on Windows too, not a Windows-style option.
  app.allow_windows_style_options(false);
  app.footer("exit status: 0 success, 1 error or failed check, 2 wrong usage");
  const vsthost::Command commands[] = {
      vsthost::addInfoCommand(app),
      vsthost::addRenderCommand(app),
      vsthost::addCompareCommand(app),
      vsthost::addPlotCommand(app),
      vsthost::addCheckCommand(app, processHeap()),
      vsthost::addAnalyzeCommand(app),
      vsthost::addEditorCommand(app),
  };

  if (argc >= 2 && argv[1][0] != '-') {
    bool known = false;
    for (const vsthost::Command& command : commands)
      known = known || command.command->get_name() == argv[1];
    if (!known) throw UsageError(std::string("unknown command '") + argv[1] + "'");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    const CLI::App* asked = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
    std::fprintf(out, "%s", asked->help().c_str());
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::fprintf(out, "vsthost %s\n", VSTHOST_VERSION);
    return 0;
  } catch (const CLI::ParseError& error) {
    throw UsageError(error.what());
  }
  for (const vsthost::Command& command : commands)
    if (command.command->parsed()) return command.run(out);
  return 2;  // CLI11 requires one command, so this is not reached
}

}  // namespace

int main(int argc, char** argv) {
  // Effects may print on standard output; keep it for our own output only and
  // send theirs to standard error, so `info --json` stays valid JSON.
  const int ours = dup(STDOUT_FILENO);
  std::FILE* out = ours >= 0 ? fdopen(ours, "w") : nullptr;
  if (out == nullptr)
    out = stdout;
  else
    dup2(STDERR_FILENO, STDOUT_FILENO);
  int status = 1;
  try {
    status = run(argc, argv, out);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "vsthost: %s (see vsthost --help)\n", error.what());
    status = 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vsthost: %s\n", error.what());
    status = 1;
  }
  if (std::fflush(out) != 0 && status == 0) {
    std::fprintf(stderr, "vsthost: cannot write the output (%s)\n", std::strerror(errno));
    status = 1;
  }
  std::fflush(stderr);
  // Leave without running the effects' static destructors a second time over
  // unloaded code; everything of ours is already flushed.
  std::_Exit(status);
}
