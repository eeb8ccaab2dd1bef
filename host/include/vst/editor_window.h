// Shows a plug-in's editor: a top-level window of the host's own (X11 on
// Linux, Win32 on Windows) that the editor opens into, sized from
// effEditGetRect and audioMasterSizeWindow, idled, photographed, and driven
// with mouse and keyboard input as a user would. Used by `vsthost editor`,
// the editor checks and the tests. Lives in the library vst::host_editor, so
// hosts that never show an editor link no windowing library.
//
// Everything here runs on the thread that opened the window (the editor's
// thread): plug-ins expect their editor calls from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vst/host.h"

namespace host {

// A picture: `width` by `height` pixels, rows from the top, each 0xAARRGGBB.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Writes `image` as a PNG at `path`, whole or not at all (written beside it and
// renamed). False with `error`, one line naming the path, when it cannot.
bool writePng(const std::string& path, const Image& image, std::string& error);
// Reads a PNG (any colour type) into 0xAARRGGBB pixels.
bool readPng(const std::string& path, Image& image, std::string& error);
// How far two pictures are apart: the number of pixels whose largest channel
// difference exceeds `tolerance` (0 to 255); every pixel when the sizes differ.
long differentPixels(const Image& a, const Image& b, int tolerance);

// The largest editor size accepted on either side; larger asks are clamped
// with a warning.
constexpr int kMaxEditorSize = 8192;

// The editor's rectangle as the plug-in answers effEditGetRect; `known` false
// when it answers 0 or a null rectangle.
struct EditorRect {
  bool known = false;
  int16_t top = 0, left = 0, bottom = 0, right = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};
EditorRect editorRect(Plugin& plugin);

class EditorWindow {
 public:
  struct Options {
    std::string title = "vsthost";
    // Mapped (shown) on the screen; a hidden window can still be captured
    // on X11 only where the server keeps its contents, so tests map it too.
    bool visible = true;
    // X11: input through the XTest extension where the server has it (real
    // pointer and key events); false sends it as events to the deepest
    // window under the point instead. Windows always posts messages.
    bool systemInput = true;
  };

  // Makes the window, asks the rectangle, opens the editor into it
  // (effEditOpen with the native parent: an X11 Window id or an HWND) and
  // sizes the window to the rectangle known then (the rect asked again once
  // open). Null with `error` (one line) when there is no display, the module
  // has no editor (no effFlagsHasEditor) or effEditOpen answers 0. Installs a
  // responder on the plug-in's host for audioMasterSizeWindow (answering 1)
  // that chains to the one set before.
  static std::unique_ptr<EditorWindow> open(Plugin& plugin, std::string& error,
                                            const Options& options);
  static std::unique_ptr<EditorWindow> open(Plugin& plugin, std::string& error) {
    return open(plugin, error, Options());
  }
  // Closes the editor (effEditClose) if still open, then the window.
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  // Sends effEditClose once; the window stays until destruction.
  void close();
  bool isOpen() const;
  // Whether the user asked to close the window (the window manager's close
  // button, WM_DELETE_WINDOW or WM_CLOSE), as seen by the idles so far.
  bool closeRequested() const;

  // The window's client size now, from the rectangle or the last
  // audioMasterSizeWindow, clamped to 1 to kMaxEditorSize.
  int width() const;
  int height() const;
  // Warnings gathered so far (a clamped size, a size asked before open).
  const std::vector<std::string>& warnings() const;

  // One effEditIdle, and the window's own pending events handled.
  void idle();
  // Idles every `periodMs` milliseconds for `durationMs` (a host's editor
  // timer); 0 still idles once.
  void idleFor(int durationMs, int periodMs = 15);

  // The window's pixels as the screen shows them, the editor's child windows
  // included: the part on the screen only (a warning says so when that is
  // not all of it). False with `error` when the system cannot read them.
  bool capture(Image& image, std::string& error);

  // Input at client coordinates, delivered to the deepest window under the
  // point (as the system would), each followed by handling pending events.
  enum Button { kLeft = 1, kMiddle = 2, kRight = 3 };
  enum Modifier { kShift = 1, kControl = 2 };
  void mouseMove(int x, int y, int modifiers = 0);
  void mouseDown(int x, int y, Button button = kLeft, int modifiers = 0);
  void mouseUp(int x, int y, Button button = kLeft, int modifiers = 0);
  // Down at (x0, y0), `steps` moves to (x1, y1), up; idled between steps.
  void drag(int x0, int y0, int x1, int y1, int steps = 8, int modifiers = 0);
  void doubleClick(int x, int y);
  // Wheel notches at (x, y): positive up.
  void wheel(int x, int y, int notches);
  // Types UTF-8 text (ASCII letters, digits, punctuation), then Return when
  // `enter`.
  void type(const std::string& text, bool enter = true);

  struct Impl;

 private:
  explicit EditorWindow(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// A private virtual X server (Xvfb) for machines without a display: started
// on a free display number, DISPLAY set to it for this process and its
// children, stopped (and DISPLAY restored) on destruction. On Windows there
// is nothing to start: start() answers an object that does nothing.
class VirtualDisplay {
 public:
  // Null with `error` when Xvfb is not installed ("install the xvfb package")
  // or does not start within a few seconds.
  static std::unique_ptr<VirtualDisplay> start(std::string& error);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& name() const { return name_; }

 private:
  VirtualDisplay() = default;
  std::string name_;
  std::string previous_;
  bool hadPrevious_ = false;
  long pid_ = 0;
};

// Whether a display can be reached now: DISPLAY set and a connection opens
// (Linux); always true on Windows.
bool displayReachable();

}  // namespace host
