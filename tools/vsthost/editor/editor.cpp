// editor: the module's editor in a process of its own (a crash or a hang is
// named, not suffered), shown in vst::host_editor's window.
#include "editor/editor.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/common.h"
#include "common/isolation.h"
#include "common/parameter_values.h"
#include "common/temporary_file.h"
#include "vst/editor_window.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vsthost {

namespace {

std::atomic<bool> interrupted{false};
// The report shared with the editor's process: an interrupt the parent
// receives is passed on through its verdict field, which the editor's
// process watches (a terminal's Ctrl-C reaches both; `kill -INT` only one).
CheckReport* volatile sharedReport = nullptr;

// How the picture is left to settle: idles of kSettleMs between captures
// until two are the same, at most kSettleRounds times.
constexpr int kSettleMs = 200, kSettleRounds = 15;

void passOnInterrupt() {
  if (CheckReport* report = sharedReport) *static_cast<volatile int32_t*>(&report->verdict) = 1;
}

#ifdef _WIN32
BOOL WINAPI onInterrupt(DWORD) {
  interrupted.store(true);
  return TRUE;
}
BOOL WINAPI onParentInterrupt(DWORD) {
  passOnInterrupt();
  return TRUE;
}
#else
void onInterrupt(int) { interrupted.store(true); }
void onParentInterrupt(int) { passOnInterrupt(); }
#endif

bool interruptedNow(CheckReport& report) {
  return interrupted.load() || *static_cast<volatile int32_t*>(&report.verdict) != 0;
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void copyInto(char* field, size_t size, const std::string& text) {
  std::strncpy(field, text.c_str(), size - 1);
  field[size - 1] = '\0';
}

// The editor process's work. What it has to say goes into `resultPath`, one
// line each ("warning: ..." lines are for standard error); an error into the
// report's detail, with status 1.
int showEditor(const EditorOptions& options, const std::string& resultPath, CheckReport& report) {
  const auto step = [&](const std::string& text) {
    copyInto(report.step, sizeof report.step, text);
  };
  std::string result;
  try {
    step("loading the module");
    auto loaded = load(options.module);
    host::Plugin& plugin = *loaded->plugin;
    step("starting the instance (effOpen, effMainsChanged)");
    plugin.activate(44100.0f, 512);
    if ((plugin.record()->flags & effFlagsHasEditor) == 0)
      throw Error(options.module + ": has no editor (effFlagsHasEditor is not set)");
    for (const auto& param : options.params) {
      step("setting the parameter " + param.first);
      const VstInt32 index = parameterIndex(plugin, param.first);
      plugin.setParameter(index, resolveParameterValue(plugin, index, param.first, param.second));
    }
    step("opening the editor (effEditOpen)");
    host::EditorWindow::Options shown;
    shown.title = "vsthost: " + printable(plugin.effectName());
    std::string error;
    auto window = host::EditorWindow::open(plugin, error, shown);
    if (!window) throw Error(options.module + ": " + error);
    size_t warned = 0;
    const auto warnings = [&] {
      for (; warned < window->warnings().size(); ++warned)
        result += "warning: " + options.module + ": " + window->warnings()[warned] + "\n";
    };
    if (!options.screenshot.empty()) {
      step("idling the editor (effEditIdle)");
      window->idleFor(options.idleMs);
      step("capturing the editor's window");
      host::Image image;
      if (!window->capture(image, error)) throw Error(options.module + ": " + error);
      // Some editors draw in parts over many idles: the picture is taken
      // once it stops changing (an animated one never does: then after 3 s).
      for (int round = 0; round < kSettleRounds; ++round) {
        step("idling the editor (effEditIdle)");
        window->idleFor(kSettleMs);
        step("capturing the editor's window");
        host::Image again;
        if (!window->capture(again, error)) throw Error(options.module + ": " + error);
        const bool same = host::differentPixels(image, again, 0) == 0;
        image = std::move(again);
        if (same) break;
      }
      warnings();
      step("writing the picture");
      if (!host::writePng(options.screenshot, image, error)) throw Error(error);
      result += "screenshot " + options.screenshot + " (" + std::to_string(image.width) + "x" +
                std::to_string(image.height) + ")\n";
    } else {
#ifdef _WIN32
      SetConsoleCtrlHandler(onInterrupt, TRUE);
#else
      std::signal(SIGINT, onInterrupt);
      std::signal(SIGTERM, onInterrupt);
#endif
      step("idling the editor (effEditIdle)");
      while (!interruptedNow(report) && !window->closeRequested()) {
        window->idle();
        warnings();
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
      }
#ifndef _WIN32
      // A second interrupt ends an editor that does not let go.
      std::signal(SIGINT, SIG_DFL);
#endif
    }
    warnings();
    step("closing the editor (effEditClose)");
    window.reset();
    if (options.screenshot.empty()) {
      step("reading the parameters");
      for (VstInt32 i = 0; i < plugin.record()->numParams; ++i) {
        std::string display = trimmed(printable(plugin.parameterDisplay(i)));
        const std::string label = trimmed(printable(plugin.parameterLabel(i)));
        if (!label.empty()) display += " " + label;
        result += trimmed(printable(plugin.parameterName(i))) + " = " + display + "\n";
      }
    }
    step("closing the instance (effClose)");
    plugin.suspend();
    plugin.close();
  } catch (const std::exception& error) {
    copyInto(report.detail, sizeof report.detail, error.what());
    return 1;
  }
  std::ofstream file(resultPath, std::ios::binary);
  file << result;
  return file.good() ? 0 : 1;
}

std::vector<std::string> childArguments(const EditorOptions& options, const std::string& result) {
  std::vector<std::string> arguments{"--editor", result, options.module, "--idle-ms",
                                     std::to_string(options.idleMs)};
  if (!options.screenshot.empty())
    arguments.insert(arguments.end(), {"--screenshot", options.screenshot});
  for (const auto& param : options.params)
    arguments.insert(arguments.end(), {"--param", param.first + "=" + param.second});
  return arguments;
}

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The folder of `path` can take a new file; an Error naming the path if not.
void checkWritable(const std::string& path) {
#ifndef _WIN32
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  if (access(folder.c_str(), W_OK) != 0)
    throw Error(path + ": cannot write the picture there (" + std::strerror(errno) + ")");
#else
  (void)path;
#endif
}

// Compares the picture just written with the golden one: 0 within the
// tolerance, 1 beyond it.
int compareWithGolden(const EditorOptions& options, std::FILE* out) {
  host::Image golden, taken;
  std::string error;
  if (!host::readPng(options.golden, golden, error)) throw Error("golden picture " + error);
  if (!host::readPng(options.screenshot, taken, error)) throw Error(error);
  if (golden.width != taken.width || golden.height != taken.height) {
    std::fprintf(
        out,
        "screenshot differs from %s: it is %dx%d, the golden picture %dx%d; the new picture: %s\n",
        options.golden.c_str(), taken.width, taken.height, golden.width, golden.height,
        options.screenshot.c_str());
    return 1;
  }
  const long count = host::differentPixels(golden, taken, options.tolerance);
  if (count > options.differing) {
    std::fprintf(out,
                 "screenshot differs from %s: %ld of %ld pixels beyond a difference of %d "
                 "(%ld allowed); the new picture: %s\n",
                 options.golden.c_str(), count, static_cast<long>(golden.pixels.size()),
                 options.tolerance, options.differing, options.screenshot.c_str());
    return 1;
  }
  std::fprintf(out, "screenshot matches %s: %ld pixels beyond a difference of %d (%ld allowed)\n",
               options.golden.c_str(), count, options.tolerance, options.differing);
  return 0;
}

}  // namespace

int editor(const EditorOptions& options, std::FILE* out) {
  std::FILE* probe = std::fopen(options.module.c_str(), "rb");
  if (probe == nullptr) throw Error(options.module + ": " + std::strerror(errno));
  std::fclose(probe);
  const bool screenshot = !options.screenshot.empty();
  if (screenshot) checkWritable(options.screenshot);

  // A screenshot needs no display of the user's: a private one is started
  // where there is none.
  std::unique_ptr<host::VirtualDisplay> virtualDisplay;
  if (!host::displayReachable()) {
    const char* name = std::getenv("DISPLAY");
    const std::string named = name != nullptr && *name ? std::string(name) : "";
    if (!screenshot) {
      std::fprintf(stderr,
                   "vsthost: no display to show the editor on (%s); --screenshot FILE.png takes "
                   "its picture without one\n",
                   named.empty() ? "DISPLAY is not set" : ("cannot open " + named).c_str());
      return 2;
    }
    std::string error;
    virtualDisplay = host::VirtualDisplay::start(error);
    if (!virtualDisplay) {
      std::fprintf(stderr, "vsthost: %s\n", error.c_str());
      return 2;
    }
  }

  std::unique_ptr<Isolation> isolation;
  try {
    isolation.reset(new Isolation());
  } catch (const std::runtime_error& error) {
    throw Error(error.what());
  }
  const std::string resultPath = newTemporaryFile("vsthost-editor");
  struct Removed {
    std::string path;
    ~Removed() { std::remove(path.c_str()); }
  } removed{resultPath};
  CheckReport& report = isolation->report();
  // Shown to a user, the editor has all the time there is; the user's
  // interrupt goes to the editor's process, which closes it and reports.
  const double timeout = screenshot ? options.timeoutSeconds : 1e9;
  const ChildRequest request{"editor", timeout, childArguments(options, resultPath)};
  sharedReport = &report;
#ifdef _WIN32
  if (!screenshot) SetConsoleCtrlHandler(onParentInterrupt, TRUE);
#else
  void (*previousInterrupt)(int) = SIG_DFL;
  void (*previousTerminate)(int) = SIG_DFL;
  if (!screenshot) {
    previousInterrupt = std::signal(SIGINT, onParentInterrupt);
    previousTerminate = std::signal(SIGTERM, onParentInterrupt);
  }
#endif
  const ChildOutcome child =
      isolation->run(request, [&] { return showEditor(options, resultPath, report); });
#ifdef _WIN32
  if (!screenshot) SetConsoleCtrlHandler(onParentInterrupt, FALSE);
#else
  if (!screenshot) {
    std::signal(SIGINT, previousInterrupt);
    std::signal(SIGTERM, previousTerminate);
  }
#endif
  sharedReport = nullptr;
  const std::string during = report.step[0] != '\0' ? std::string(" while ") + report.step : "";
  switch (child.kind) {
    case ChildOutcome::kNotStarted: throw Error(child.reason);
    case ChildOutcome::kTimedOut: {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", options.timeoutSeconds);
      throw Error(options.module + ": no answer within " + seconds + " s" + during);
    }
    case ChildOutcome::kCrashed:
      throw Error(options.module + ": crashed (" + child.reason + ")" + during);
    case ChildOutcome::kExited: break;
  }
  if (child.exitStatus != 0)
    throw Error(report.detail[0] != '\0'
                    ? std::string(report.detail)
                    : options.module + ": the editor's process ended with status " +
                          std::to_string(child.exitStatus) + during);
  std::istringstream lines(readText(resultPath));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("warning: ", 0) == 0)
      std::fprintf(stderr, "vsthost: %s\n", line.c_str());
    else
      std::fprintf(out, "%s\n", line.c_str());
  }
  if (screenshot && !options.golden.empty()) return compareWithGolden(options, out);
  return 0;
}

int editorChild(int argc, char** argv) {
  // --check-child MAPPING --editor RESULT MODULE [--idle-ms N] [--screenshot F] [--param N=V]...
  if (argc < 6) return 3;
  CheckReport* report = openChildReport(argv[2]);
  if (report == nullptr) return 3;
  EditorOptions options;
  const std::string resultPath = argv[4];
  options.module = argv[5];
  for (int i = 6; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--idle-ms") options.idleMs = std::atoi(value.c_str());
    if (key == "--screenshot") options.screenshot = value;
    const size_t equals = value.find('=');
    if (key == "--param" && equals != std::string::npos)
      options.params.emplace_back(value.substr(0, equals), value.substr(equals + 1));
  }
  return showEditor(options, resultPath, *report);
}

}  // namespace vsthost
