// The editor window on X11: a top-level window of its own connection that
// the editor opens into (its Window id is effEditOpen's parent), captured with
// XGetImage and driven through XTest where the server has it (real pointer
// and key events that reach any toolkit), else through events sent to the
// deepest window under the point.
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

namespace {

// The size of an editor that tells none, until its own window shows one.
constexpr int kUnknownWidth = 400, kUnknownHeight = 300;

std::atomic<int> trappedError{0};
int recordError(Display*, XErrorEvent* event) {
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

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The position of `mask`'s lowest bit and its width, to read one channel.
void maskShape(unsigned long mask, int& shift, int& bits) {
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

uint32_t channel(unsigned long pixel, int shift, int bits) {
  if (bits == 0) return 0;
  const unsigned long value = (pixel >> shift) & ((1UL << bits) - 1);
  return static_cast<uint32_t>(value * 255 / ((1UL << bits) - 1));
}

}  // namespace

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
    XEvent event{};
    long mask = 0;
    if (type == MotionNotify) {
      XMotionEvent& m = event.xmotion;
      m.type = MotionNotify;
      m.window = target;
      m.root = DefaultRootWindow(display);
      m.x = wx;
      m.y = wy;
      m.x_root = rx;
      m.y_root = ry;
      m.state = stateOf(modifiers);
      m.same_screen = True;
      m.time = CurrentTime;
      mask = PointerMotionMask | (heldButtons != 0 ? ButtonMotionMask : 0);
    } else {
      XButtonEvent& b = event.xbutton;
      b.type = type;
      b.window = target;
      b.root = DefaultRootWindow(display);
      b.x = wx;
      b.y = wy;
      b.x_root = rx;
      b.y_root = ry;
      b.state = stateOf(modifiers);
      b.button = button;
      b.same_screen = True;
      b.time = CurrentTime;
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

std::unique_ptr<EditorWindow> EditorWindow::open(Plugin& plugin, std::string& error,
                                                 const Options& options) {
  if (!plugin.isOpen()) {
    error = "the instance is closed";
    return nullptr;
  }
  if ((plugin.record()->flags & effFlagsHasEditor) == 0) {
    error = "the module has no editor (effFlagsHasEditor is not set)";
    return nullptr;
  }
  static const bool threads = XInitThreads() != 0;
  (void)threads;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    error = "no display: DISPLAY is not set";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(plugin);
  impl->display = XOpenDisplay(nullptr);
  if (impl->display == nullptr) {
    error = std::string("cannot open the display ") + name;
    return nullptr;
  }
  Display* display = impl->display;
  int opcode = 0, event = 0, errorBase = 0, major = 0, minor = 0;
  impl->xtest = options.systemInput &&
                XQueryExtension(display, "XTEST", &opcode, &event, &errorBase) &&
                XTestQueryExtension(display, &event, &errorBase, &major, &minor);

  const EditorRect before = editorRect(plugin);
  if (before.known) detail::sizeFromRect(before, impl->width, impl->height, impl->warnings);
  const int screen = DefaultScreen(display);
  impl->window =
      XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                          static_cast<unsigned>(impl->width), static_cast<unsigned>(impl->height),
                          0, BlackPixel(display, screen), BlackPixel(display, screen));
  XSelectInput(display, impl->window, StructureNotifyMask);
  impl->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, impl->window, &impl->deleteWindow, 1);
  XStoreName(display, impl->window, options.title.c_str());
  XSizeHints hints{};
  hints.flags = PPosition | USPosition;
  XSetWMNormalHints(display, impl->window, &hints);
  if (options.visible) {
    XMapRaised(display, impl->window);
    // Shown before the editor opens into it, as a host's window is.
    for (int waited = 0; waited < 2000; ++waited) {
      XEvent mapped;
      if (XCheckTypedWindowEvent(display, impl->window, MapNotify, &mapped)) break;
      sleepMs(1);
    }
  }
  XSync(display, False);

  Impl* raw = impl.get();
  impl->sizes =
      std::make_unique<detail::SizeResponder>(plugin, [raw](long w, long h) { raw->resize(w, h); });
  const VstIntPtr opened = plugin.dispatch(
      effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(impl->window)));
  XSync(display, False);
  int childWidth = 0, childHeight = 0;
  const bool child = impl->childSize(childWidth, childHeight);
  if (opened == 0 && !child) {
    error = "the editor did not open (effEditOpen answered 0)";
    impl->sizes.reset();
    XDestroyWindow(display, impl->window);
    XCloseDisplay(display);
    impl->display = nullptr;
    return nullptr;
  }
  if (opened == 0)
    impl->warnings.push_back("effEditOpen answered 0, yet the editor made its window");
  impl->editorOpen = true;
  const EditorRect after = editorRect(plugin);
  if (after.known) {
    int w = 0, h = 0;
    detail::sizeFromRect(after, w, h, impl->warnings);
    impl->resize(w, h);
  } else if (child) {
    impl->warnings.push_back(
        "the editor tells no size once open (effEditGetRect); sized to "
        "its window");
    impl->resize(childWidth, childHeight);
  } else {
    impl->warnings.push_back("the editor tells no size once open (effEditGetRect)");
  }
  impl->handleEvents();
  return std::unique_ptr<EditorWindow>(new EditorWindow(std::move(impl)));
}

EditorWindow::EditorWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EditorWindow::~EditorWindow() {
  close();
  impl_->sizes.reset();
  if (impl_->display != nullptr) {
    XDestroyWindow(impl_->display, impl_->window);
    XCloseDisplay(impl_->display);
  }
}

void EditorWindow::close() {
  if (!impl_->editorOpen) return;
  impl_->editorOpen = false;
  impl_->plugin.dispatch(effEditClose);
  XSync(impl_->display, False);
}

bool EditorWindow::isOpen() const { return impl_->editorOpen; }
bool EditorWindow::closeRequested() const { return impl_->closeRequested; }
int EditorWindow::width() const { return impl_->width; }
int EditorWindow::height() const { return impl_->height; }
const std::vector<std::string>& EditorWindow::warnings() const { return impl_->warnings; }

void EditorWindow::idle() {
  long w = 0, h = 0;
  if (impl_->sizes->take(w, h)) impl_->resize(w, h);
  if (impl_->editorOpen) impl_->plugin.dispatch(effEditIdle);
  impl_->handleEvents();
}

void EditorWindow::idleFor(int durationMs, int periodMs) {
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::milliseconds(durationMs);
  do {
    idle();
    if (std::chrono::steady_clock::now() >= end) break;
    sleepMs(periodMs > 0 ? periodMs : 1);
  } while (std::chrono::steady_clock::now() < end);
}

bool EditorWindow::capture(Image& image, std::string& error) {
  Display* display = impl_->display;
  // The editor draws on a connection of its own: what it has sent is read by
  // the server in its own turn, so the server gets a moment for it.
  XSync(display, False);
  sleepMs(5);
  ErrorTrap trap(display);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, impl_->window, &attributes) == 0 ||
      attributes.map_state != IsViewable) {
    error = "the editor's window is not shown, so its pixels cannot be read";
    return false;
  }
  // Only the part on the screen can be read.
  int rx = 0, ry = 0;
  impl_->toRoot(0, 0, rx, ry);
  const int screenWidth = DisplayWidth(display, DefaultScreen(display));
  const int screenHeight = DisplayHeight(display, DefaultScreen(display));
  const int x0 = std::max(0, -rx), y0 = std::max(0, -ry);
  const int x1 = std::min(impl_->width, screenWidth - rx);
  const int y1 = std::min(impl_->height, screenHeight - ry);
  if (x1 <= x0 || y1 <= y0) {
    error = "the editor's window is off the screen";
    return false;
  }
  XImage* shot = XGetImage(display, impl_->window, x0, y0, static_cast<unsigned>(x1 - x0),
                           static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
  if (shot == nullptr || trap.error() != 0) {
    if (shot != nullptr) XDestroyImage(shot);
    error = "the X server refused to read the editor's window (XGetImage)";
    return false;
  }
  int rs = 0, rb = 0, gs = 0, gb = 0, bs = 0, bb = 0;
  maskShape(shot->red_mask, rs, rb);
  maskShape(shot->green_mask, gs, gb);
  maskShape(shot->blue_mask, bs, bb);
  // The part on the screen only: the rest has no pixels to read.
  image.width = x1 - x0;
  image.height = y1 - y0;
  image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const unsigned long pixel = XGetPixel(shot, x, y);
      image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                   static_cast<size_t>(x)] = 0xFF000000u | channel(pixel, rs, rb) << 16 |
                                             channel(pixel, gs, gb) << 8 | channel(pixel, bs, bb);
    }
  XDestroyImage(shot);
  if (image.width < impl_->width || image.height < impl_->height) {
    const std::string warning = "only the " + std::to_string(image.width) + "x" +
                                std::to_string(image.height) + " pixels of the editor's " +
                                std::to_string(impl_->width) + "x" + std::to_string(impl_->height) +
                                " that are on the screen were captured";
    if (impl_->warnings.empty() || impl_->warnings.back() != warning)
      impl_->warnings.push_back(warning);
  }
  return true;
}

void EditorWindow::mouseMove(int x, int y, int modifiers) {
  if (impl_->xtest) {
    int rx = 0, ry = 0;
    impl_->toRoot(x, y, rx, ry);
    XTestFakeMotionEvent(impl_->display, -1, rx, ry, CurrentTime);
  } else {
    impl_->sendPointer(MotionNotify, x, y, 0, modifiers);
  }
  impl_->settle();
}

void EditorWindow::mouseDown(int x, int y, Button button, int modifiers) {
  XRaiseWindow(impl_->display, impl_->window);
  if (impl_->xtest) {
    mouseMove(x, y, modifiers);
    impl_->modifierKeys(modifiers, true);
    XTestFakeButtonEvent(impl_->display, static_cast<unsigned>(button), True, CurrentTime);
  } else {
    impl_->sendPointer(ButtonPress, x, y, static_cast<unsigned>(button), modifiers);
  }
  impl_->heldButtons |= Button1Mask << (button - 1);
  impl_->settle();
}

void EditorWindow::mouseUp(int x, int y, Button button, int modifiers) {
  impl_->heldButtons &= ~(Button1Mask << (button - 1));
  if (impl_->xtest) {
    mouseMove(x, y, modifiers);
    XTestFakeButtonEvent(impl_->display, static_cast<unsigned>(button), False, CurrentTime);
    impl_->modifierKeys(modifiers, false);
  } else {
    impl_->sendPointer(ButtonRelease, x, y, static_cast<unsigned>(button), modifiers);
  }
  impl_->settle();
}

void EditorWindow::drag(int x0, int y0, int x1, int y1, int steps, int modifiers) {
  if (steps < 1) steps = 1;
  mouseDown(x0, y0, kLeft, modifiers);
  for (int i = 1; i <= steps; ++i) {
    mouseMove(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, modifiers);
    idle();
  }
  mouseUp(x1, y1, kLeft, modifiers);
}

void EditorWindow::doubleClick(int x, int y) {
  for (int i = 0; i < 2; ++i) {
    mouseDown(x, y);
    mouseUp(x, y);
  }
}

void EditorWindow::wheel(int x, int y, int notches) {
  const unsigned button = notches > 0 ? 4 : 5;
  for (int i = 0; i < std::abs(notches); ++i) {
    if (impl_->xtest) {
      if (i == 0) mouseMove(x, y);
      XTestFakeButtonEvent(impl_->display, button, True, CurrentTime);
      XTestFakeButtonEvent(impl_->display, button, False, CurrentTime);
    } else {
      impl_->sendPointer(ButtonPress, x, y, button, 0);
      impl_->sendPointer(ButtonRelease, x, y, button, 0);
    }
    impl_->settle();
  }
}

namespace {

// A key press and release through XTest, with Shift where the key's first
// level is not the symbol.
void tapKey(Display* display, KeySym symbol) {
  const KeyCode code = XKeysymToKeycode(display, symbol);
  if (code == 0) return;
  int perCode = 0;
  KeySym* symbols = XGetKeyboardMapping(display, code, 1, &perCode);
  const bool shifted = symbols != nullptr && perCode > 1 && symbols[0] != symbol;
  if (symbols != nullptr) XFree(symbols);
  const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
  if (shifted) XTestFakeKeyEvent(display, shift, True, CurrentTime);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (shifted) XTestFakeKeyEvent(display, shift, False, CurrentTime);
}

// The same as events sent to the window under the pointer.
void sendKey(Display* display, Window target, KeySym symbol) {
  const KeyCode code = XKeysymToKeycode(display, symbol);
  if (code == 0) return;
  int perCode = 0;
  KeySym* symbols = XGetKeyboardMapping(display, code, 1, &perCode);
  const bool shifted = symbols != nullptr && perCode > 1 && symbols[0] != symbol;
  if (symbols != nullptr) XFree(symbols);
  XEvent event{};
  XKeyEvent& key = event.xkey;
  key.window = target;
  key.root = DefaultRootWindow(display);
  key.keycode = code;
  key.state = shifted ? ShiftMask : 0;
  key.same_screen = True;
  key.time = CurrentTime;
  key.type = KeyPress;
  XSendEvent(display, target, True, KeyPressMask, &event);
  key.type = KeyRelease;
  XSendEvent(display, target, True, KeyReleaseMask, &event);
}

}  // namespace

void EditorWindow::type(const std::string& text, bool enter) {
  Display* display = impl_->display;
  XRaiseWindow(display, impl_->window);
  XSetInputFocus(display, impl_->window, RevertToParent, CurrentTime);
  // Without XTest the keys go to the window under the last pointer event,
  // as a control focused by a click there would receive them.
  Window target = impl_->window;
  if (!impl_->xtest) {
    int x = 0, y = 0;
    target = impl_->deepest(impl_->pointerX, impl_->pointerY, x, y);
  }
  std::vector<KeySym> keys;
  for (unsigned char c : text)
    if (c >= 0x20 && c < 0x7F) keys.push_back(static_cast<KeySym>(c));
  if (enter) keys.push_back(XK_Return);
  for (KeySym key : keys) {
    if (impl_->xtest)
      tapKey(display, key);
    else
      sendKey(display, target, key);
    impl_->settle();
  }
}

bool displayReachable() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace host
