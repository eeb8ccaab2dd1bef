// What the X11 editor window's files share: its state (EditorWindow::Impl),
// the trap for X errors of its own requests, and the pixel helpers.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "editor_window_shared.h"

namespace host {

namespace x11 {

// The size of an editor that tells none, until its own window shows one.
constexpr int kUnknownWidth = 400, kUnknownHeight = 300;

inline std::atomic<int> trappedError{0};
inline int recordError(Display*, XErrorEvent* event) {
  trappedError.store(event->error_code);
  return 0;
}

// X errors of our own requests recorded instead of ending the process (Xlib's
// default), for the scope; the requests are flushed at both ends.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    trappedError.store(0);
    previous_ = XSetErrorHandler(recordError);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  int error() {
    XSync(display_, False);
    return trappedError.load();
  }

 private:
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

inline void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The position of `mask`'s lowest bit and its width, to read one channel.
inline void maskShape(unsigned long mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (mask == 0) return;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  while ((mask & 1) != 0) {
    mask >>= 1;
    ++bits;
  }
}

inline uint32_t channel(unsigned long pixel, int shift, int bits) {
  if (bits == 0) return 0;
  const unsigned long value = (pixel >> shift) & ((1UL << bits) - 1);
  return static_cast<uint32_t>(value * 255 / ((1UL << bits) - 1));
}

}  // namespace x11

using namespace x11;

struct EditorWindow::Impl {
  explicit Impl(Plugin& p) : plugin(p) {}
  Plugin& plugin;
  Display* display = nullptr;
  Window window = 0;
  Atom deleteWindow = 0;
  bool editorOpen = false;
  bool closeRequested = false;
  bool xtest = false;
  unsigned heldButtons = 0;        // for the state of sent motion events
  int pointerX = 0, pointerY = 0;  // where the last pointer event went
  int width = kUnknownWidth, height = kUnknownHeight;
  std::vector<std::string> warnings;
  std::unique_ptr<detail::SizeResponder> sizes;

  void resize(long w, long h) {
    width = detail::clampSize(w, "width", warnings);
    height = detail::clampSize(h, "height", warnings);
    XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(display);
  }

  void handleEvents() {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == ClientMessage && event.xclient.window == window &&
          static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow)
        closeRequested = true;
    }
  }

  // The window's first child: the editor's own window, where it made one.
  bool childSize(int& w, int& h) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return false;
    bool found = false;
    if (count > 0) {
      int x = 0, y = 0;
      unsigned cw = 0, ch = 0, border = 0, depth = 0;
      if (XGetGeometry(display, children[0], &root, &x, &y, &cw, &ch, &border, &depth) != 0) {
        w = static_cast<int>(cw);
        h = static_cast<int>(ch);
        found = true;
      }
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  void toRoot(int x, int y, int& rx, int& ry) {
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rx, &ry, &child);
  }

  // The deepest window under client point (x, y) and the point in it.
  Window deepest(int x, int y, int& wx, int& wy) {
    Window current = window;
    wx = x;
    wy = y;
    for (int depth = 0; depth < 64; ++depth) {
      Window child = 0, ignored = 0;
      int cx = 0, cy = 0;
      if (!XTranslateCoordinates(display, current, current, wx, wy, &cx, &cy, &child) || child == 0)
        break;
      XTranslateCoordinates(display, current, child, wx, wy, &cx, &cy, &ignored);
      current = child;
      wx = cx;
      wy = cy;
    }
    return current;
  }

  unsigned stateOf(int modifiers) const {
    unsigned state = heldButtons;
    if (modifiers & kShift) state |= ShiftMask;
    if (modifiers & kControl) state |= ControlMask;
    return state;
  }

  void modifierKeys(int modifiers, bool down) {
    if (!xtest) return;
    if (modifiers & kShift)
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), down, CurrentTime);
    if (modifiers & kControl)
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Control_L), down, CurrentTime);
  }

  // A pointer event of `type` sent to the deepest window under (x, y).
  void sendPointer(int type, int x, int y, unsigned button, int modifiers) {
    pointerX = x;
    pointerY = y;
    int wx = 0, wy = 0, rx = 0, ry = 0;
    const Window target = deepest(x, y, wx, wy);
    toRoot(x, y, rx, ry);
    // Motion and button events share their fields but not their type.
    const auto place = [&](auto& e) {
      e.type = type;
      e.window = target;
      e.root = DefaultRootWindow(display);
      e.x = wx;
      e.y = wy;
      e.x_root = rx;
      e.y_root = ry;
      e.state = stateOf(modifiers);
      e.same_screen = True;
      e.time = CurrentTime;
    };
    XEvent event{};
    long mask = 0;
    if (type == MotionNotify) {
      place(event.xmotion);
      mask = PointerMotionMask | (heldButtons != 0 ? ButtonMotionMask : 0);
    } else {
      place(event.xbutton);
      event.xbutton.button = button;
      mask = type == ButtonPress ? ButtonPressMask : ButtonReleaseMask;
    }
    XSendEvent(display, target, True, mask, &event);
  }

  // After an input event: the server has it, and the editor has had an idle
  // to read it.
  void settle() {
    XSync(display, False);
    sleepMs(2);
    plugin.dispatch(effEditIdle);
    handleEvents();
  }
};

}  // namespace host
