// The editor window on Windows: a top-level window of a class of the host's
// own, its HWND effEditOpen's parent; captured from the screen where the
// window shows (under Wine, the X display), and driven by mouse and keyboard
// messages posted to the deepest child window under the point, as the system
// would deliver them.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "editor_window_shared.h"

#ifndef PW_RENDERFULLCONTENT
#define PW_RENDERFULLCONTENT 0x00000002
#endif

namespace host {

namespace {

constexpr int kUnknownWidth = 400, kUnknownHeight = 300;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
const char* const kClassName = "vsthost editor window";

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    // The user's close asks; the host closes the editor, then the window.
    if (auto* asked = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
      *asked = true;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool registerClass() {
  static const bool registered = [] {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

LPARAM packPoint(int x, int y) {
  return static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(static_cast<short>(x))) |
                             static_cast<DWORD>(static_cast<WORD>(static_cast<short>(y))) << 16);
}

// Shift and Control as GetKeyState reports them, for the scope: posted
// messages carry MK_ flags, but editors often ask the keyboard's state.
class HeldModifiers {
 public:
  explicit HeldModifiers(int modifiers) {
    if (modifiers == 0) return;
    active_ = GetKeyboardState(saved_) != 0;
    if (!active_) return;
    BYTE state[256];
    std::copy(saved_, saved_ + 256, state);
    if (modifiers & EditorWindow::kShift) state[VK_SHIFT] = state[VK_LSHIFT] = 0x80;
    if (modifiers & EditorWindow::kControl) state[VK_CONTROL] = state[VK_LCONTROL] = 0x80;
    SetKeyboardState(state);
  }
  ~HeldModifiers() {
    if (active_) SetKeyboardState(saved_);
  }

 private:
  bool active_ = false;
  BYTE saved_[256] = {};
};

}  // namespace

struct EditorWindow::Impl {
  explicit Impl(Plugin& p) : plugin(p) {}
  Plugin& plugin;
  HWND window = nullptr;
  bool editorOpen = false;
  bool closeRequested = false;
  WPARAM heldButtons = 0;
  int pointerX = 0, pointerY = 0;  // where the last pointer event went
  int width = kUnknownWidth, height = kUnknownHeight;
  std::vector<std::string> warnings;
  std::unique_ptr<detail::SizeResponder> sizes;

  void resize(long w, long h) {
    width = detail::clampSize(w, "width", warnings);
    height = detail::clampSize(h, "height", warnings);
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void handleEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  bool childSize(int& w, int& h) {
    HWND child = GetWindow(window, GW_CHILD);
    RECT rect;
    if (child == nullptr || !GetClientRect(child, &rect)) return false;
    w = rect.right - rect.left;
    h = rect.bottom - rect.top;
    return true;
  }

  // The window a pointer event at client point (x, y) goes to (the one
  // holding the capture, else the deepest child under the point), and the
  // point in its client coordinates.
  HWND target(int x, int y, POINT& local) {
    POINT point{x, y};
    HWND captured = GetCapture();
    if (captured != nullptr && (captured == window || IsChild(window, captured))) {
      MapWindowPoints(window, captured, &point, 1);
      local = point;
      return captured;
    }
    HWND current = window;
    for (int depth = 0; depth < 64; ++depth) {
      HWND child = ChildWindowFromPointEx(current, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (child == nullptr || child == current) break;
      MapWindowPoints(current, child, &point, 1);
      current = child;
    }
    local = point;
    return current;
  }

  WPARAM flags(int modifiers) const {
    WPARAM result = heldButtons;
    if (modifiers & kShift) result |= MK_SHIFT;
    if (modifiers & kControl) result |= MK_CONTROL;
    return result;
  }

  void post(UINT message, int x, int y, WPARAM extra, int modifiers) {
    pointerX = x;
    pointerY = y;
    POINT local;
    HWND to = target(x, y, local);
    HeldModifiers held(modifiers);
    PostMessageA(to, message, flags(modifiers) | extra, packPoint(local.x, local.y));
    settle();
  }

  void settle() {
    handleEvents();
    plugin.dispatch(effEditIdle);
    handleEvents();
  }
};

std::unique_ptr<EditorWindow> EditorWindow::open(Plugin& plugin, std::string& error,
                                                 const Options& options) {
  if (!detail::editorCanOpen(plugin, error)) return nullptr;
  if (!registerClass()) {
    error = "cannot register the editor's window class (Windows error " +
            std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(plugin);
  const EditorRect before = editorRect(plugin);
  if (before.known) detail::sizeFromRect(before, impl->width, impl->height, impl->warnings);
  RECT frame{0, 0, impl->width, impl->height};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  impl->window = CreateWindowExA(0, kClassName, options.title.c_str(), kStyle, 0, 0,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
  if (impl->window == nullptr) {
    error = "cannot make the editor's window (Windows error " + std::to_string(GetLastError()) +
            "): is there a display?";
    return nullptr;
  }
  SetWindowLongPtrA(impl->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&impl->closeRequested));
  if (options.visible) {
    ShowWindow(impl->window, SW_SHOWNORMAL);
    UpdateWindow(impl->window);
  }
  impl->handleEvents();

  Impl* raw = impl.get();
  impl->sizes =
      std::make_unique<detail::SizeResponder>(plugin, [raw](long w, long h) { raw->resize(w, h); });
  const VstIntPtr opened = plugin.dispatch(effEditOpen, 0, 0, impl->window);
  if (!detail::settleOpenedEditor(*impl, plugin, opened, error)) {
    impl->sizes.reset();
    DestroyWindow(impl->window);
    return nullptr;
  }
  impl->handleEvents();
  return std::unique_ptr<EditorWindow>(new EditorWindow(std::move(impl)));
}

EditorWindow::EditorWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

EditorWindow::~EditorWindow() {
  close();
  impl_->sizes.reset();
  if (impl_->window != nullptr) {
    SetWindowLongPtrA(impl_->window, GWLP_USERDATA, 0);
    DestroyWindow(impl_->window);
    impl_->handleEvents();
  }
}

void EditorWindow::close() {
  if (!impl_->editorOpen) return;
  impl_->editorOpen = false;
  impl_->plugin.dispatch(effEditClose);
  impl_->handleEvents();
}

bool EditorWindow::isOpen() const { return impl_->editorOpen; }
bool EditorWindow::closeRequested() const { return impl_->closeRequested; }
int EditorWindow::width() const { return impl_->width; }
int EditorWindow::height() const { return impl_->height; }
const std::vector<std::string>& EditorWindow::warnings() const { return impl_->warnings; }

void EditorWindow::idle() {
  long w = 0, h = 0;
  if (impl_->sizes->take(w, h)) impl_->resize(w, h);
  impl_->handleEvents();
  if (impl_->editorOpen) impl_->plugin.dispatch(effEditIdle);
  impl_->handleEvents();
}

void EditorWindow::idleFor(int durationMs, int periodMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
  do {
    idle();
    if (std::chrono::steady_clock::now() >= end) break;
    sleepMs(periodMs > 0 ? periodMs : 1);
  } while (std::chrono::steady_clock::now() < end);
}

bool EditorWindow::capture(Image& image, std::string& error) {
  HWND window = impl_->window;
  if (!IsWindowVisible(window)) {
    error = "the editor's window is not shown, so its pixels cannot be read";
    return false;
  }
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  impl_->handleEvents();
  GdiFlush();
  // Only the part on the screen can be read.
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const int x0 = std::max(0L, -origin.x), y0 = std::max(0L, -origin.y);
  const int x1 = std::min<int>(impl_->width, screenWidth - origin.x);
  const int y1 = std::min<int>(impl_->height, screenHeight - origin.y);
  if (x1 <= x0 || y1 <= y0) {
    error = "the editor's window is off the screen";
    return false;
  }
  const int w = x1 - x0, h = y1 - y0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool read = false;
  if (bitmap != nullptr && memory != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    read =
        BitBlt(memory, 0, 0, w, h, screen, origin.x + x0, origin.y + y0, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    if (read) {
      image.width = w;
      image.height = h;
      image.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
      const auto* source = static_cast<const uint32_t*>(bits);
      for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = 0xFF000000u | (source[i] & 0xFFFFFFu);
    }
    SelectObject(memory, previous);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!read) {
    error = "cannot read the editor's pixels from the screen (Windows error " +
            std::to_string(GetLastError()) + ")";
    return false;
  }
  if (w < impl_->width || h < impl_->height) {
    const std::string warning = "only the " + std::to_string(w) + "x" + std::to_string(h) +
                                " pixels of the editor's " + std::to_string(impl_->width) + "x" +
                                std::to_string(impl_->height) +
                                " that are on the screen were captured";
    if (impl_->warnings.empty() || impl_->warnings.back() != warning)
      impl_->warnings.push_back(warning);
  }
  return true;
}

void EditorWindow::mouseMove(int x, int y, int modifiers) {
  impl_->post(WM_MOUSEMOVE, x, y, 0, modifiers);
}

void EditorWindow::mouseDown(int x, int y, Button button, int modifiers) {
  SetWindowPos(impl_->window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  const UINT message = button == kLeft    ? WM_LBUTTONDOWN
                       : button == kRight ? WM_RBUTTONDOWN
                                          : WM_MBUTTONDOWN;
  const WPARAM held = button == kLeft ? MK_LBUTTON : button == kRight ? MK_RBUTTON : MK_MBUTTON;
  impl_->heldButtons |= held;
  impl_->post(message, x, y, 0, modifiers);
}

void EditorWindow::mouseUp(int x, int y, Button button, int modifiers) {
  const UINT message = button == kLeft    ? WM_LBUTTONUP
                       : button == kRight ? WM_RBUTTONUP
                                          : WM_MBUTTONUP;
  const WPARAM held = button == kLeft ? MK_LBUTTON : button == kRight ? MK_RBUTTON : MK_MBUTTON;
  impl_->heldButtons &= ~held;
  impl_->post(message, x, y, 0, modifiers);
}

void EditorWindow::doubleClick(int x, int y) {
  mouseDown(x, y);
  mouseUp(x, y);
  // The second press of a double click arrives as its own message.
  impl_->heldButtons |= MK_LBUTTON;
  impl_->post(WM_LBUTTONDBLCLK, x, y, 0, 0);
  mouseUp(x, y);
}

void EditorWindow::wheel(int x, int y, int notches) {
  POINT local;
  HWND to = impl_->target(x, y, local);
  POINT screen{x, y};
  ClientToScreen(impl_->window, &screen);
  const auto delta = static_cast<WORD>(static_cast<short>(notches * WHEEL_DELTA));
  PostMessageA(to, WM_MOUSEWHEEL, static_cast<WPARAM>(delta) << 16, packPoint(screen.x, screen.y));
  impl_->settle();
}

void EditorWindow::type(const std::string& text, bool enter) {
  // Keys go to the window under the last pointer event, as a control
  // focused by a click there would receive them.
  POINT local;
  HWND to = impl_->target(impl_->pointerX, impl_->pointerY, local);
  SetFocus(to);
  // The characters come from the key messages through TranslateMessage, as
  // a message loop makes them.
  auto key = [&](UINT virtualKey, bool shifted) {
    HeldModifiers held(shifted ? kShift : 0);
    const UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageA(to, WM_KEYDOWN, virtualKey, 1 | static_cast<LPARAM>(scan) << 16);
    PostMessageA(to, WM_KEYUP, virtualKey, 1 | static_cast<LPARAM>(scan) << 16 | 3LL << 30);
    impl_->settle();
  };
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) continue;
    const SHORT scan = VkKeyScanA(c);
    if (scan == -1) continue;
    key(LOBYTE(scan), (HIBYTE(scan) & 1) != 0);
  }
  if (enter) key(VK_RETURN, false);
}

bool displayReachable() { return true; }

}  // namespace host
