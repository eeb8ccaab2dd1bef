// The editor window on X11: a top-level window of its own connection that
// the editor opens into (its Window id is effEditOpen's parent), captured with
// XGetImage and driven through XTest where the server has it (real pointer
// and key events that reach any toolkit), else through events sent to the
// deepest window under the point. Input is in editor_window_x11_input.cpp.
#include "editor_window_x11.h"

#include <cstdlib>

namespace host {

std::unique_ptr<EditorWindow> EditorWindow::open(Plugin& plugin, std::string& error,
                                                 const Options& options) {
  if (!detail::editorCanOpen(plugin, error)) return nullptr;
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
  if (!detail::settleOpenedEditor(*impl, plugin, opened, error)) {
    impl->sizes.reset();
    XDestroyWindow(display, impl->window);
    XCloseDisplay(display);
    impl->display = nullptr;
    return nullptr;
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

bool displayReachable() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace host
