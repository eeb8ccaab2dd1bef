// The editor's window on X11: a child of the host's window, on a display
// connection of the editor's own, so the editor never reads or blocks the
// host's connection. Its events are handled from the editor's idle with
// XPending and XNextEvent only (never waiting); its pixels are put from the
// canvas with XPutImage.
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform_window.h"
#include "vst/editor/editor.h"

namespace vst {

namespace {

// Two presses this close in time (milliseconds) and place (pixels) are a double click.
constexpr Time kDoubleClickTime = 400;
constexpr int kDoubleClickDistance = 4;

// Errors on the editor's connection are its own: a window the host destroyed
// first (taking the editor's child along) makes the next drawing request
// fail, and Xlib's default handler would end the host's process for it.
// While the editor uses its connection, a handler of its own counts them
// instead; the handler is the process's, so it is set only for that while,
// on this thread, and the one before is put back. Errors reach a handler
// when the connection reads, so every call that may read is inside.
thread_local int errorsCounted = 0;
int countError(Display*, XErrorEvent*) {
  ++errorsCounted;
  return 0;
}
class ErrorTrap {
 public:
  ErrorTrap() : previous_(XSetErrorHandler(countError)), before_(errorsCounted) {}
  ~ErrorTrap() { XSetErrorHandler(previous_); }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  bool failed() const { return errorsCounted != before_; }

 private:
  XErrorHandler previous_;
  int before_;
};

unsigned modifiersOf(unsigned state) {
  unsigned modifiers = 0;
  if (state & ShiftMask) modifiers |= kModShift;
  if (state & ControlMask) modifiers |= kModControl;
  if (state & Mod1Mask) modifiers |= kModAlt;
  return modifiers;
}

// The lowest set bit's position and the number of bits of a colour mask.
void maskShape(unsigned long mask, int& shift, int& bits) {
  shift = bits = 0;
  if (mask == 0) return;
  while (((mask >> shift) & 1) == 0) ++shift;
  while (((mask >> (shift + bits)) & 1) != 0) ++bits;
}

unsigned long channelTo(unsigned value, unsigned long mask) {
  int shift = 0, bits = 0;
  maskShape(mask, shift, bits);
  if (bits == 0) return 0;
  const unsigned long scaled = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
  return (scaled << shift) & mask;
}

class X11Window : public PlatformWindow {
 public:
  X11Window(Editor& editor, Display* display, Window window, Visual* visual, int depth)
      : editor_(editor), display_(display), window_(window), visual_(visual), depth_(depth) {
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    // Pixels can go in as the canvas holds them (0xAARRGGBB words) when the
    // visual is true colour with red, green and blue in those bytes.
    direct_ = (depth_ == 24 || depth_ == 32) && visual_->red_mask == 0xff0000 &&
              visual_->green_mask == 0x00ff00 && visual_->blue_mask == 0x0000ff &&
              ImageByteOrder(display_) ==
                  (*reinterpret_cast<const uint8_t*>(&kOne) == 1 ? LSBFirst : MSBFirst);
  }

  ~X11Window() override {
    {
      const ErrorTrap trap;
      XFreeGC(display_, gc_);
      if (!gone_) XDestroyWindow(display_, window_);
      XSync(display_, False);
    }
    XCloseDisplay(display_);
  }

  void handleEvents() override {
    const ErrorTrap trap;
    int expose[4] = {0, 0, 0, 0};
    bool exposed = false;
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.xany.window != window_) continue;
      switch (event.type) {
        case Expose: {
          const XExposeEvent& e = event.xexpose;
          if (!exposed) {
            expose[0] = e.x, expose[1] = e.y, expose[2] = e.x + e.width, expose[3] = e.y + e.height;
          } else {
            expose[0] = std::min(expose[0], e.x), expose[1] = std::min(expose[1], e.y);
            expose[2] = std::max(expose[2], e.x + e.width);
            expose[3] = std::max(expose[3], e.y + e.height);
          }
          exposed = true;
          break;
        }
        case ButtonPress: buttonPress(event.xbutton); break;
        case ButtonRelease:
          if (event.xbutton.button == Button1)
            editor_.mouseUp(logical(event.xbutton.x), logical(event.xbutton.y),
                            modifiersOf(event.xbutton.state));
          break;
        case MotionNotify: {
          // Only the latest position of a run of moves matters.
          XEvent next;
          while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &next)) event = next;
          // A press that became a drag is no first click of a double click.
          if (std::abs(event.xmotion.x - lastX_) > kDoubleClickDistance ||
              std::abs(event.xmotion.y - lastY_) > kDoubleClickDistance)
            lastPress_ = 0;
          editor_.mouseMove(logical(event.xmotion.x), logical(event.xmotion.y),
                            modifiersOf(event.xmotion.state));
          break;
        }
        case KeyPress: keyPress(event.xkey); break;
        case DestroyNotify: gone_ = true; break;  // its parent went, and it with it
        default: break;
      }
    }
    if (trap.failed()) gone_ = true;
    if (exposed) present(expose[0], expose[1], expose[2] - expose[0], expose[3] - expose[1]);
  }

  void present(int x, int y, int width, int height) override {
    const Canvas& canvas = editor_.canvas();
    const int canvasWidth = canvas.pixelWidth(), canvasHeight = canvas.pixelHeight();
    x = std::max(x, 0), y = std::max(y, 0);
    width = std::min(width, canvasWidth - x), height = std::min(height, canvasHeight - y);
    if (gone_ || width <= 0 || height <= 0) return;
    const ErrorTrap trap;
    const uint32_t* pixels = canvas.pixels();
    if (direct_) {
      // An image over the canvas's own pixels: nothing copied.
      XImage* image =
          XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0,
                       reinterpret_cast<char*>(const_cast<uint32_t*>(pixels)),
                       unsigned(canvasWidth), unsigned(canvasHeight), 32, canvasWidth * 4);
      if (image == nullptr) return;
      XPutImage(display_, window_, gc_, image, x, y, x, y, unsigned(width), unsigned(height));
      image->data = nullptr;  // the canvas's, not Xlib's to free
      XDestroyImage(image);
    } else {
      // Another visual: each pixel converted through the visual's masks.
      XImage* image = XCreateImage(display_, visual_, unsigned(depth_), ZPixmap, 0, nullptr,
                                   unsigned(width), unsigned(height), 32, 0);
      if (image == nullptr) return;
      converted_.assign(std::size_t(image->bytes_per_line) * std::size_t(height), 0);
      image->data = converted_.data();
      for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
          const uint32_t p =
              pixels[std::size_t(y + row) * std::size_t(canvasWidth) + std::size_t(x + column)];
          XPutPixel(image, column, row,
                    channelTo((p >> 16) & 0xff, visual_->red_mask) |
                        channelTo((p >> 8) & 0xff, visual_->green_mask) |
                        channelTo(p & 0xff, visual_->blue_mask));
        }
      XPutImage(display_, window_, gc_, image, 0, 0, x, y, unsigned(width), unsigned(height));
      image->data = nullptr;
      XDestroyImage(image);
    }
    XFlush(display_);
  }

  void resize(int width, int height) override {
    if (gone_) return;
    const ErrorTrap trap;
    XResizeWindow(display_, window_, unsigned(width), unsigned(height));
    XFlush(display_);
  }

 private:
  static constexpr uint32_t kOne = 1;

  float logical(int pixels) const { return float(pixels) / editor_.scale(); }

  void buttonPress(const XButtonEvent& e) {
    const float x = logical(e.x), y = logical(e.y);
    const unsigned modifiers = modifiersOf(e.state);
    switch (e.button) {
      case Button1: {
        // Keys typed into a value go to this window from now on.
        XSetInputFocus(display_, window_, RevertToParent, e.time);
        const bool twice = e.time - lastPress_ <= kDoubleClickTime &&
                           std::abs(e.x - lastX_) <= kDoubleClickDistance &&
                           std::abs(e.y - lastY_) <= kDoubleClickDistance;
        // A third press starts over rather than making a second double click.
        lastPress_ = twice ? 0 : e.time;
        lastX_ = e.x, lastY_ = e.y;
        if (twice)
          editor_.doubleClick(x, y, modifiers);
        else
          editor_.mouseDown(x, y, modifiers);
        break;
      }
      case Button4: editor_.wheel(x, y, 1.0f, modifiers); break;
      case Button5: editor_.wheel(x, y, -1.0f, modifiers); break;
      default: break;
    }
  }

  void keyPress(XKeyEvent& e) {
    char text[16] = {};
    KeySym symbol = NoSymbol;
    const int length = XLookupString(&e, text, sizeof text - 1, &symbol, nullptr);
    const unsigned modifiers = modifiersOf(e.state);
    switch (symbol) {
      case XK_Return:
      case XK_KP_Enter: editor_.key(Key::kEnter, modifiers); return;
      case XK_Escape: editor_.key(Key::kEscape, modifiers); return;
      case XK_BackSpace: editor_.key(Key::kBackspace, modifiers); return;
      case XK_Delete: editor_.key(Key::kDelete, modifiers); return;
      case XK_Left: editor_.key(Key::kLeft, modifiers); return;
      case XK_Right: editor_.key(Key::kRight, modifiers); return;
      case XK_Home: editor_.key(Key::kHome, modifiers); return;
      case XK_End: editor_.key(Key::kEnd, modifiers); return;
      case XK_Tab: editor_.key(Key::kTab, modifiers); return;
      default: break;
    }
    if (length > 0 && static_cast<unsigned char>(text[0]) >= 32) {
      text[length] = '\0';
      editor_.text(text);
    }
  }

  Editor& editor_;
  Display* display_;
  Window window_;
  Visual* visual_;
  int depth_;
  GC gc_;
  bool direct_ = false;
  bool gone_ = false;  // destroyed by the server with its parent: nothing more is drawn
  std::vector<char> converted_;
  Time lastPress_ = 0;
  int lastX_ = 0, lastY_ = 0;
};

}  // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::open(Editor& editor, void* parent, int width,
                                                     int height) {
  if (parent == nullptr) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  const Window parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  // The child takes its parent's visual and depth (CopyFromParent); both are
  // read back to know how pixels go in. A parent that is no window fails here.
  XWindowAttributes attributes;
  bool refused = false;
  {
    const ErrorTrap trap;
    refused = XGetWindowAttributes(display, parentWindow, &attributes) == 0 || trap.failed();
  }
  if (refused || attributes.visual->c_class != TrueColor) {
    XCloseDisplay(display);
    return nullptr;
  }
  XSetWindowAttributes set;
  std::memset(&set, 0, sizeof set);
  set.background_pixmap = None;  // the editor paints every pixel: no flash of a background
  set.border_pixel = 0;
  set.colormap = attributes.colormap;
  set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                   KeyPressMask | StructureNotifyMask;
  const Window window =
      XCreateWindow(display, parentWindow, 0, 0, unsigned(width), unsigned(height), 0,
                    attributes.depth, InputOutput, attributes.visual,
                    CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &set);
  XMapWindow(display, window);
  XFlush(display);
  return std::make_unique<X11Window>(editor, display, window, attributes.visual, attributes.depth);
}

// Xft.dpi from the server's resources (what desktops set for high-DPI
// screens) over the 96 of a normal one.
float PlatformWindow::systemScale(void* parent) {
  (void)parent;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 1.0f;
  float scale = 1.0f;
  if (const char* resources = XResourceManagerString(display)) {
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value;
    if (database != nullptr && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) &&
        value.addr != nullptr) {
      const double dpi = std::strtod(value.addr, nullptr);
      if (dpi >= 48.0 && dpi <= 384.0) scale = static_cast<float>(dpi / 96.0);
    }
    if (database != nullptr) XrmDestroyDatabase(database);
  }
  XCloseDisplay(display);
  return scale;
}

}  // namespace vst
