// The editor's window on Windows: a child of the host's HWND, of a window
// class registered by this module (its name holds the module's handle, so
// two modules never share one) on first use and unregistered when the last
// editor window of the module goes, or at the latest when the module
// unloads. Paints the canvas with SetDIBitsToDevice; a timer (about 30 a
// second) picks up the host's parameter changes, as hosts idle irregularly.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform_window.h"
#include "vst/editor/editor.h"

namespace vst {

namespace {

constexpr UINT_PTR kTimer = 1;
constexpr UINT kTimerMs = 33;

HINSTANCE thisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&thisModule), &module);
  return module;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The module's window class: registered while editor windows exist. The one
// state the module's editors share, guarded by its own lock.
class WindowClass {
 public:
  ~WindowClass() {
    // The module unloads: a class left registered would point at code that
    // is gone.
    if (users_ > 0) UnregisterClassW(name_, thisModule());
  }
  const wchar_t* acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) {
      HINSTANCE module = thisModule();
      swprintf(name_, sizeof name_ / sizeof name_[0], L"VstEditor%p", static_cast<void*>(module));
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof wc;
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = windowProc;
      wc.hInstance = module;
      wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
      wc.lpszClassName = name_;
      if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    }
    ++users_;
    return name_;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ > 0 && --users_ == 0) UnregisterClassW(name_, thisModule());
  }

 private:
  std::mutex mutex_;
  int users_ = 0;
  wchar_t name_[64] = {};
};
WindowClass windowClass;

unsigned modifiersOf(WPARAM keys) {
  unsigned modifiers = 0;
  if (keys & MK_SHIFT) modifiers |= kModShift;
  if (keys & MK_CONTROL) modifiers |= kModControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kModAlt;
  return modifiers;
}

unsigned heldModifiers() {
  unsigned modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kModShift;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kModControl;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kModAlt;
  return modifiers;
}

float dpiScale(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = 0;
  if (dpiForWindow != nullptr && window != nullptr) dpi = dpiForWindow(window);
  if (dpi == 0) {
    HDC screen = GetDC(window);
    dpi = UINT(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(window, screen);
  }
  return dpi >= 48 && dpi <= 384 ? float(dpi) / 96.0f : 1.0f;
}

class Win32Window : public PlatformWindow {
 public:
  Win32Window(Editor& editor, const wchar_t* className, HWND parent, int width, int height)
      : editor_(editor) {
    window_ = CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                              width, height, parent, nullptr, thisModule(), this);
    if (window_ != nullptr) SetTimer(window_, kTimer, kTimerMs, nullptr);
  }
  ~Win32Window() override {
    if (window_ != nullptr) {
      KillTimer(window_, kTimer);
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
    }
    windowClass.release();
  }
  bool made() const { return window_ != nullptr; }

  // Messages arrive through the host's own loop: nothing waits here.
  void handleEvents() override {}

  void present(int x, int y, int width, int height) override {
    RECT area = {x, y, x + width, y + height};
    InvalidateRect(window_, &area, FALSE);
    UpdateWindow(window_);
  }

  void resize(int width, int height) override {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const float x = logical(short(LOWORD(lParam))), y = logical(short(HIWORD(lParam)));
    switch (message) {
      case WM_PAINT: paint(); return 0;
      case WM_ERASEBKGND: return 1;  // every pixel is painted: no flash of a background
      case WM_TIMER:
        if (wParam == kTimer) editor_.idle();
        return 0;
      case WM_LBUTTONDOWN:
        SetFocus(window_);  // keys typed into a value come here
        SetCapture(window_);
        editor_.mouseDown(x, y, modifiersOf(wParam));
        return 0;
      case WM_LBUTTONDBLCLK:
        SetCapture(window_);
        editor_.doubleClick(x, y, modifiersOf(wParam));
        return 0;
      case WM_MOUSEMOVE: editor_.mouseMove(x, y, modifiersOf(wParam)); return 0;
      case WM_LBUTTONUP:
        editor_.mouseUp(x, y, modifiersOf(wParam));
        if (GetCapture() == window_) ReleaseCapture();
        return 0;
      case WM_CAPTURECHANGED:
        // Capture taken away mid-drag (another window, a dialog): the drag ends.
        if (reinterpret_cast<HWND>(lParam) != window_) editor_.cancelMouse();
        return 0;
      case WM_MOUSEWHEEL: {
        POINT at = {short(LOWORD(lParam)), short(HIWORD(lParam))};  // screen coordinates
        ScreenToClient(window_, &at);
        const float notches = float(GET_WHEEL_DELTA_WPARAM(wParam)) / float(WHEEL_DELTA);
        editor_.wheel(logical(at.x), logical(at.y), notches,
                      modifiersOf(GET_KEYSTATE_WPARAM(wParam)));
        return 0;
      }
      case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
      case WM_KEYDOWN:
        switch (wParam) {
          case VK_DELETE: editor_.key(Key::kDelete, heldModifiers()); return 0;
          case VK_LEFT: editor_.key(Key::kLeft, heldModifiers()); return 0;
          case VK_RIGHT: editor_.key(Key::kRight, heldModifiers()); return 0;
          case VK_HOME: editor_.key(Key::kHome, heldModifiers()); return 0;
          case VK_END: editor_.key(Key::kEnd, heldModifiers()); return 0;
          default: break;
        }
        break;
      case WM_CHAR: {
        const unsigned modifiers = heldModifiers();
        switch (wParam) {
          case '\r': editor_.key(Key::kEnter, modifiers); return 0;
          case 27: editor_.key(Key::kEscape, modifiers); return 0;
          case '\b': editor_.key(Key::kBackspace, modifiers); return 0;
          case '\t': editor_.key(Key::kTab, modifiers); return 0;
          default: break;
        }
        if (wParam >= 32 && wParam < 127) {
          const char typed[2] = {char(wParam), '\0'};
          editor_.text(typed);
        }
        return 0;
      }
      default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
  }

  HWND window_ = nullptr;

 private:
  float logical(int pixels) const { return float(pixels) / editor_.scale(); }

  void paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    const Canvas& canvas = editor_.canvas();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = canvas.pixelWidth();
    info.bmiHeader.biHeight = -canvas.pixelHeight();  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, DWORD(canvas.pixelWidth()), DWORD(canvas.pixelHeight()), 0, 0, 0,
                      UINT(canvas.pixelHeight()), canvas.pixels(), &info, DIB_RGB_COLORS);
    EndPaint(window_, &paint);
  }

  Editor& editor_;
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self != nullptr ? self->handle(message, wParam, lParam)
                         : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<PlatformWindow> PlatformWindow::open(Editor& editor, void* parent, int width,
                                                     int height) {
  if (parent == nullptr || !IsWindow(static_cast<HWND>(parent))) return nullptr;
  const wchar_t* className = windowClass.acquire();
  if (className == nullptr) return nullptr;
  auto window =
      std::make_unique<Win32Window>(editor, className, static_cast<HWND>(parent), width, height);
  if (!window->made()) return nullptr;  // its destructor gives the class back
  return window;
}

float PlatformWindow::systemScale(void* parent) { return dpiScale(static_cast<HWND>(parent)); }

}  // namespace vst
