// The editor's child window on one system (window_x11.cpp, window_win32.cpp):
// it shows the editor's canvas and turns the system's events into the
// editor's entry points. Each editor has its own; nothing is shared between
// instances but, on Windows, the module's window class.
#pragma once

#include <memory>

namespace vst {

class Editor;

class PlatformWindow {
 public:
  // A child window of `parent` (an X11 Window id or an HWND) of the given
  // device pixels, shown; null when it cannot be made (no parent, no display).
  static std::unique_ptr<PlatformWindow> open(Editor& editor, void* parent, int width, int height);
  // Device pixels per logical pixel the system asks for; 1 when it says nothing.
  static float systemScale(void* parent);

  virtual ~PlatformWindow() = default;
  // Handles the events waiting for the window, never waiting for more.
  virtual void handleEvents() = 0;
  // Shows the canvas's pixels in the device rectangle given.
  virtual void present(int x, int y, int width, int height) = 0;
  virtual void resize(int width, int height) = 0;
};

}  // namespace vst
