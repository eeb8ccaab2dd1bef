// Editor: the checks that open a module's editor in a window of the host's
// own (host::EditorWindow), as a user opening it in a host does. Every one is
// skipped for a module without an editor; all but editor-no-display need a
// display, and ask the runner for one (it starts a private virtual X server
// where none is set).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <thread>

#include "check/support.h"
#include "vst/editor_window.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace vsthost {

namespace {

// An instance opened at 44100 Hz in blocks of 512, resumed; the check is
// skipped when the module has no editor.
std::unique_ptr<host::Plugin> editorInstance(CheckContext& context, Session& session) {
  auto plugin = session.active(44100.0f, 512);
  if ((plugin->record()->flags & effFlagsHasEditor) == 0)
    context.skip("no editor (effFlagsHasEditor is not set)");
  return plugin;
}

// Asks the runner for a display when none can be reached: it runs the check
// again on a private virtual X server (or skips it where it cannot).
void requireDisplay() {
#if defined(_WIN32)
  // Windows always has a desktop; Wine without a display makes no window.
  HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  if (probe == nullptr) throw CheckNeedsDisplay{};
  DestroyWindow(probe);
#else
  if (!host::displayReachable()) throw CheckNeedsDisplay{};
#endif
}

std::unique_ptr<host::EditorWindow> openEditor(CheckContext& context, host::Plugin& plugin,
                                               const std::string& what) {
  context.step(what);
  std::string error;
  auto window = host::EditorWindow::open(plugin, error);
  context.require(window != nullptr, "the editor did not open (" + error + ")");
  return window;
}

void closeEditor(CheckContext& context, std::unique_ptr<host::EditorWindow>& window,
                 const std::string& what) {
  context.step(what);
  window->close();
  window.reset();
}

std::string size(const host::EditorRect& rect) {
  return number(rect.width()) + " x " + number(rect.height());
}

// A FAIL unless `rect` is a size a window can take: positive, at most
// host::kMaxEditorSize pixels each way.
void requireSensible(CheckContext& context, const host::EditorRect& rect, const std::string& when) {
  context.require(
      rect.width() > 0 && rect.height() > 0,
      "effEditGetRect answers " + size(rect) + " pixels " + when + " (zero or negative)");
  context.require(rect.width() <= host::kMaxEditorSize && rect.height() <= host::kMaxEditorSize,
                  "effEditGetRect answers " + size(rect) + " pixels " + when + ", over " +
                      number(host::kMaxEditorSize));
}

std::string checkRect(CheckContext& context) {
  Session session(context);
  auto plugin = editorInstance(context, session);
  requireDisplay();
  // Many editors know their size only once open; a wrong size before is
  // still wrong (a host sizes its window from it).
  context.step("asking the editor's rectangle before it opens (effEditGetRect)");
  const host::EditorRect before = host::editorRect(*plugin);
  if (before.known) requireSensible(context, before, "before the editor opens");
  // The sizes the editor asks for (audioMasterSizeWindow) are in the calls.
  session.loaded.host.setRecording(true);
  auto window = openEditor(context, *plugin, "opening the editor");
  window->idleFor(50);
  for (const host::HostCall& call : session.loaded.host.calls())
    if (call.opcode == audioMasterSizeWindow)
      context.require(call.index > 0 && call.value > 0 && call.index <= host::kMaxEditorSize &&
                          call.value <= host::kMaxEditorSize,
                      "the editor asks for a window of " + number(call.index) + " x " +
                          number(call.value) +
                          " pixels (audioMasterSizeWindow): zero, negative or over " +
                          number(host::kMaxEditorSize));
  context.step("asking the editor's rectangle once it is open (effEditGetRect)");
  const host::EditorRect open = host::editorRect(*plugin);
  context.require(open.known,
                  "no rectangle once the editor is open (effEditGetRect answers 0 or a null one)");
  requireSensible(context, open, "once the editor is open");
  closeEditor(context, window, "closing the editor");
  finish(context, *plugin);
  return size(open) + " pixels once open" +
         (before.known ? ", " + size(before) + " before" : ", none before (allowed)");
}

std::string ordinal(int n) {
  const char* const suffixes[] = {"th", "st", "nd", "rd"};
  return number(n) + (n % 100 / 10 != 1 && n % 10 <= 3 ? suffixes[n % 10] : "th");
}

std::string checkEditorOpenClose(CheckContext& context) {
  Session session(context);
  auto first = editorInstance(context, session);
  requireDisplay();
  const int cycles = 10;
  for (int i = 1; i <= cycles; ++i) {
    auto window = openEditor(context, *first, "opening the editor the " + ordinal(i) + " time");
    context.step("idling the editor opened the " + ordinal(i) + " time");
    window->idleFor(30);
    closeEditor(context, window, "closing the editor opened the " + ordinal(i) + " time");
  }
  // Two instances' editors open at once, closed in the order they opened.
  auto second = session.active(44100.0f, 512);
  auto one = openEditor(context, *first, "opening the first instance's editor");
  auto other =
      openEditor(context, *second, "opening a second instance's editor while the first is open");
  context.step("idling two instances' editors at once");
  for (int i = 0; i < 5; ++i) {
    one->idleFor(0);
    other->idleFor(10);
  }
  closeEditor(context, one, "closing the first instance's editor while the second's is open");
  context.step("idling the second instance's editor after the first closed");
  other->idleFor(30);
  closeEditor(context, other, "closing the second instance's editor");
  // An instance closed right after its editor, as a host removing a plug-in
  // with its window open does.
  auto window = openEditor(context, *second, "opening the second instance's editor again");
  window->idle();
  context.step("closing the editor and, right after it, its instance");
  window->close();
  second->suspend();
  second->close();
  window.reset();
  finish(context, *first);
  return number(cycles) +
         " open, idle, close cycles; two editors at once; an instance closed right after its "
         "editor";
}

// Puts DISPLAY back as it was when the check ends (with --in-process the
// checks after this one run in the same process).
class NoDisplay {
 public:
  NoDisplay() {
    const char* display = std::getenv("DISPLAY");
    had_ = display != nullptr;
    if (had_) previous_ = display;
#if !defined(_WIN32)
    unsetenv("DISPLAY");
#endif
  }
  ~NoDisplay() {
#if !defined(_WIN32)
    if (had_) setenv("DISPLAY", previous_.c_str(), 1);
#endif
  }
  NoDisplay(const NoDisplay&) = delete;
  NoDisplay& operator=(const NoDisplay&) = delete;

 private:
  bool had_ = false;
  std::string previous_;
};

std::string checkNoDisplay(CheckContext& context) {
#if defined(_WIN32)
  context.skip("Linux only: Windows always has a desktop to open windows on");
#else
  // No X server for the module from its loading on: DISPLAY unset for this
  // check's process.
  NoDisplay none;
  Session session(context);
  auto plugin = editorInstance(context, session);
  context.step("the queries of a host's scan with no display");
  plugin->effectName();
  plugin->vendorString();
  for (VstInt32 i = 0; i < plugin->record()->numParams; ++i) {
    plugin->parameterName(i);
    plugin->parameterDisplay(i);
  }
  context.step("processing with no display");
  const Channels in = noise(plugin->record()->numInputs, 2048, context.seed(40));
  requireFinite(context, process(*plugin, in, 512), "with no display");
  context.step("asking the editor's rectangle with no display (effEditGetRect)");
  host::editorRect(*plugin);
  context.step("opening the editor with no display (effEditOpen)");
  const VstIntPtr opened = plugin->dispatch(effEditOpen, 0, 0, nullptr);
  if (opened != 0) {
    context.step("idling and closing the editor that opened with no display");
    plugin->dispatch(effEditIdle);
    plugin->dispatch(effEditClose);
  }
  context.step("processing after the editor was asked to open with no display");
  requireFinite(context, process(*plugin, in, 512), "after effEditOpen with no display");
  finish(context, *plugin);
  return opened == 0 ? "loaded, scanned and processed; effEditOpen refused (0)"
                     : "loaded, scanned and processed; effEditOpen answered " + number(opened) +
                           " with no display";
#endif
}

// Runs `body` on a thread of its own until stopped; stops and joins it when
// it goes, also when a check fails on the way.
class Running {
 public:
  template <typename Body>
  explicit Running(Body body)
      : thread_([this, body] {
          while (!stop_) body();
        }) {}
  ~Running() { stop(); }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string checkEditorThreads(CheckContext& context) {
  Session session(context);
  auto plugin = editorInstance(context, session);
  requireDisplay();
  const Channels in = noise(plugin->record()->numInputs, 256, context.seed(41));
  std::atomic<long> blocks{0};
  std::atomic<bool> finite{true};
  context.step("processing on another thread before the editor opens");
  Running audio([&] {
    for (const auto& channel : process(*plugin, in, 256))
      for (float sample : channel)
        if (!std::isfinite(sample)) finite = false;
    ++blocks;
  });
  // The editor opens only once processing runs, so the two overlap.
  const auto start = std::chrono::steady_clock::now();
  while (blocks < 10 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int rounds = 4;
  for (int i = 1; i <= rounds && finite; ++i) {
    auto window = openEditor(
        context, *plugin,
        "opening the editor (the " + ordinal(i) + " time) while another thread processes");
    context.step("idling the editor while another thread processes");
    window->idleFor(100);
    closeEditor(context, window, "closing the editor while another thread processes");
  }
  audio.stop();
  context.require(finite, "non-finite output while the editor opened, idled and closed");
  finish(context, *plugin);
  return number(rounds) + " times opened, idled and closed during " + number(blocks.load()) +
         " blocks on another thread";
}

// The parameter changes the editor reported and how they were bracketed.
class GestureLog {
 public:
  // Reads the calls made since the last look; `drag` names the drag they
  // came from.
  void read(const std::vector<host::HostCall>& calls, size_t& seen, const std::string& drag) {
    for (; seen < calls.size(); ++seen) {
      const host::HostCall& call = calls[seen];
      int& open = open_[call.index];
      if (call.opcode == audioMasterBeginEdit) {
        ++open;
      } else if (call.opcode == audioMasterEndEdit) {
        if (open > 0)
          --open;
        else
          note(endsWithoutBegin_, "an end edit without its begin (parameter " + number(call.index) +
                                      ", " + drag + ")");
      } else if (call.opcode == audioMasterAutomate) {
        ++changes_;
        if (open == 0) note(unbracketed_, "parameter " + number(call.index) + " changed " + drag);
      }
    }
  }
  // After a drag has ended: every gesture begun has ended too.
  void requireEnded(const std::string& drag) {
    for (auto& [index, open] : open_)
      if (open > 0) {
        note(beginsWithoutEnd_,
             "a begin edit without its end (parameter " + number(index) + ", " + drag + ")");
        open = 0;
      }
  }
  void warnings(CheckContext& context) const {
    if (unbracketed_.count > 0)
      context.warn(number(unbracketed_.count) + " of " + number(changes_) +
                   " parameter changes from the editor without begin and end edit (the first: " +
                   unbracketed_.first + "): a host's automation write breaks");
    if (beginsWithoutEnd_.count > 0)
      context.warn(number(beginsWithoutEnd_.count) + " drags left " + beginsWithoutEnd_.first +
                   ": a host's automation write never ends");
    if (endsWithoutBegin_.count > 0)
      context.warn(number(endsWithoutBegin_.count) + " times " + endsWithoutBegin_.first);
  }
  long changes() const { return changes_; }

 private:
  struct Fault {
    long count = 0;
    std::string first;
  };
  static void note(Fault& fault, const std::string& what) {
    if (fault.count++ == 0) fault.first = what;
  }
  std::map<VstInt32, int> open_;  // gestures begun and not ended, by parameter
  long changes_ = 0;
  Fault unbracketed_, beginsWithoutEnd_, endsWithoutBegin_;
};

std::string checkGestures(CheckContext& context) {
  Session session(context);
  auto plugin = editorInstance(context, session);
  requireDisplay();
  host::Host& host = session.loaded.host;
  host.setRecording(true);
  auto window = openEditor(context, *plugin, "opening the editor");
  window->idleFor(50);
  const int width = window->width(), height = window->height();
  // A grid of points, each dragged right, left, down and up by an eighth of
  // the editor's size: across whatever controls lie there.
  const int dx = std::max(width / 8, 4), dy = std::max(height / 8, 4);
  const int moves[4][2] = {{dx, 0}, {-dx, 0}, {0, dy}, {0, -dy}};
  GestureLog log;
  size_t seen = 0;
  int drags = 0;
  host.clearCalls();
  for (int row = 1; row <= 2; ++row)
    for (int column = 1; column <= 3; ++column) {
      const int x0 = width * column / 4, y0 = height * row / 3;
      for (const auto& move : moves) {
        const int x1 = std::clamp(x0 + move[0], 0, width - 1);
        const int y1 = std::clamp(y0 + move[1], 0, height - 1);
        const std::string path = "from (" + number(x0) + ", " + number(y0) + ") to (" + number(x1) +
                                 ", " + number(y1) + ")";
        context.step("dragging " + path);
        window->drag(x0, y0, x1, y1, 6);
        window->idleFor(20);
        log.read(host.calls(), seen, "in the drag " + path);
        log.requireEnded("in the drag " + path);
        ++drags;
      }
    }
  closeEditor(context, window, "closing the editor");
  finish(context, *plugin);
  log.warnings(context);
  return number(drags) + " drags, " + number(log.changes()) +
         " parameter changes, each inside begin and end edit";
}

// The CPU time this process has used, all its threads, in seconds.
double processCpuSeconds() {
#if defined(_WIN32)
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0.0;
  const auto seconds = [](const FILETIME& time) {
    return (static_cast<double>(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

std::string checkIdle(CheckContext& context) {
  Session session(context);
  auto plugin = editorInstance(context, session);
  requireDisplay();
  auto window = openEditor(context, *plugin, "opening the editor");
  context.step("idling the editor until it has settled");
  window->idleFor(300);
  // The process's CPU time counts the host's idle calls and every thread the
  // module started; this process runs nothing else meanwhile.
  context.step("idling the editor for 2 s with nothing changing");
  const double cpu = processCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  window->idleFor(2000);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double share = (processCpuSeconds() - cpu) / std::max(wall, 1e-3);
  closeEditor(context, window, "closing the editor");
  finish(context, *plugin);
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f %%", share * 100.0);
  const double limit = 0.05;
  if (share > limit)
    context.warn("an idle editor with nothing changing costs " + std::string(percent) +
                 " of a core, over " + number(limit * 100.0) + " %");
  return "an idle editor costs " + std::string(percent) + " of a core";
}

}  // namespace

std::vector<CheckDefinition> editorChecks() {
  return {
      {"editor-rect", "editor",
       "the editor's rectangle before it opens (none allowed) and once open, and the window sizes "
       "it asks for",
       "no rectangle once open; a zero, negative or over 8192-pixel one, open or not, or such a "
       "window asked for (audioMasterSizeWindow)",
       checkRect},
      {"editor-open-close", "editor",
       "opens, idles and closes the editor ten times; two instances' editors at once; an instance "
       "closed right after its editor",
       "a crash or a hang when an editor is opened again, twice at once or closed with its "
       "instance",
       checkEditorOpenClose},
      {"editor-no-display", "editor",
       "loads, scans, processes, asks the rectangle and opens the editor with DISPLAY unset "
       "(Linux)",
       "a crash where no display is reachable (a null display connection used)", checkNoDisplay},
      {"editor-threads", "editor",
       "processing on one thread while the editor opens, idles and closes on another",
       "a crash or non-finite output when the editor's thread and the audio thread meet",
       checkEditorThreads},
      {"editor-gestures", "editor", "drags across the editor's area in a grid",
       "WARN: parameter changes from the editor without begin and end edit (a host's automation "
       "write breaks)",
       checkGestures},
      {"editor-idle", "editor",
       "the CPU an open editor costs over 2 s of idle with nothing changing",
       "WARN: an idle editor that costs over 5 % of a core", checkIdle},
  };
}

}  // namespace vsthost
