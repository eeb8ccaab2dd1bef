/* A small editor for the host's editor window: an Xlib child window of the
 * host's that paints three rectangles of known colours at known places on a
 * dark background (the green one 20 pixels further right when its parameter
 * Shift is 1), asks the host for another size when told to, and counts the
 * pointer and key events it receives. The test reads what it saw through two
 * exported functions. An Xlib window on Linux, a Win32 one (of a class the
module registers while its editor is open) on Windows. One instance at a
time. Built also with one fault:
 *   PROBE_CRASH  crashes in effEditOpen
 *   PROBE_HANG   never returns from its first effEditIdle
 *   PROBE_HUGE   asks for a window of 100000 by 100000 pixels in its first idle */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

typedef struct {
  int presses, releases, drags, keys;
  int pressX, pressY, releaseX, releaseY;
  char typed[64];
} ProbeEvents;

static ProbeEvents events;
static int requestedWidth, requestedHeight;

EXPORT const ProbeEvents* editorProbeEvents(void) { return &events; }
EXPORT void editorProbeRequestSize(int width, int height) {
  requestedWidth = width;
  requestedHeight = height;
}

typedef struct {
  AEffect record;
  audioMasterCallback host;
  float shift;
  ERect rect;
  int open;
#if defined(_WIN32)
  HWND window;
#else
  Display* display;
  Window window;
  GC gc;
#endif
} Probe;

/* What the probe paints, as rectangles of 0xRRGGBB. */
typedef struct {
  unsigned long rgb;
  int x, y, width, height;
} Fill;

static int fills(const Probe* probe, Fill out[4]) {
  const Fill all[4] = {{0x202020, 0, 0, probe->rect.right, probe->rect.bottom},
                       {0xFF0000, 10, 10, 50, 30},
                       {0x00FF00, probe->shift >= 0.5f ? 120 : 100, 50, 50, 50},
                       {0x0000FF, 160, 10, 30, 100}};
  memcpy(out, all, sizeof all);
  return 4;
}

static void pressed(int x, int y) {
  ++events.presses;
  events.pressX = x;
  events.pressY = y;
}
static void released(int x, int y) {
  ++events.releases;
  events.releaseX = x;
  events.releaseY = y;
}
static void typed(const char* text, size_t length) {
  const size_t used = strlen(events.typed);
  ++events.keys;
  if (length > 0 && used + length < sizeof events.typed) memcpy(events.typed + used, text, length);
}

#if defined(_WIN32)

static char className[64];

static LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Probe* probe = (Probe*)GetWindowLongPtrA(window, GWLP_USERDATA);
  const int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Fill list[4];
      const int count = probe != NULL ? fills(probe, list) : 0;
      for (int i = 0; i < count; ++i) {
        const unsigned long c = list[i].rgb;
        HBRUSH brush = CreateSolidBrush(RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
        RECT rect = {list[i].x, list[i].y, list[i].x + list[i].width, list[i].y + list[i].height};
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
      }
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      pressed(x, y);
      SetCapture(window);
      return 0;
    case WM_LBUTTONUP:
      released(x, y);
      ReleaseCapture();
      return 0;
    case WM_MOUSEMOVE:
      if (wParam & MK_LBUTTON) ++events.drags;
      return 0;
    case WM_CHAR: {
      const char c = (char)wParam;
      typed(&c, 1);
      return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

static int openEditor(Probe* probe, void* parent) {
  HINSTANCE instance = NULL;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      (LPCSTR)className, &instance);
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  wsprintfA(className, "editorProbe%p", (void*)instance);
  windowClass.lpfnWndProc = probeProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = className;
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  RegisterClassA(&windowClass);
  probe->window = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, probe->rect.right,
                                  probe->rect.bottom, (HWND)parent, NULL, instance, NULL);
  if (probe->window == NULL) return 0;
  SetWindowLongPtrA(probe->window, GWLP_USERDATA, (LONG_PTR)probe);
  InvalidateRect(probe->window, NULL, FALSE);
  return 1;
}

static void resizeEditor(Probe* probe, int width, int height) {
  SetWindowPos(probe->window, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

static void idleEditor(Probe* probe) { InvalidateRect(probe->window, NULL, FALSE); }

static void closeEditor(Probe* probe) {
  HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(probe->window, GWLP_HINSTANCE);
  DestroyWindow(probe->window);
  UnregisterClassA(className, instance);
}

#else

static void paint(Probe* probe) {
  Fill list[4];
  const int count = fills(probe, list);
  for (int i = 0; i < count; ++i) {
    XSetForeground(probe->display, probe->gc, list[i].rgb);
    XFillRectangle(probe->display, probe->window, probe->gc, list[i].x, list[i].y,
                   (unsigned)list[i].width, (unsigned)list[i].height);
  }
  XSync(probe->display, False);
}

static int openEditor(Probe* probe, void* parent) {
  probe->display = XOpenDisplay(NULL);
  if (probe->display == NULL) return 0;
  probe->window = XCreateSimpleWindow(probe->display, (Window)(uintptr_t)parent, 0, 0,
                                      (unsigned)probe->rect.right, (unsigned)probe->rect.bottom, 0,
                                      0, 0x202020);
  XSelectInput(
      probe->display, probe->window,
      ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | ExposureMask);
  probe->gc = XCreateGC(probe->display, probe->window, 0, NULL);
  XMapWindow(probe->display, probe->window);
  paint(probe);
  return 1;
}

static void resizeEditor(Probe* probe, int width, int height) {
  XResizeWindow(probe->display, probe->window, (unsigned)width, (unsigned)height);
}

static void idleEditor(Probe* probe) {
  while (XPending(probe->display) > 0) {
    XEvent event;
    XNextEvent(probe->display, &event);
    switch (event.type) {
      case ButtonPress:
        if (event.xbutton.button == Button1) pressed(event.xbutton.x, event.xbutton.y);
        break;
      case ButtonRelease:
        if (event.xbutton.button == Button1) released(event.xbutton.x, event.xbutton.y);
        break;
      case MotionNotify:
        if (event.xmotion.state & Button1Mask) ++events.drags;
        break;
      case KeyPress: {
        char text[8];
        KeySym symbol;
        const int length = XLookupString(&event.xkey, text, sizeof text, &symbol, NULL);
        typed(text, length > 0 ? (size_t)length : 0);
        break;
      }
      default: break;
    }
  }
  paint(probe);
}

static void closeEditor(Probe* probe) {
  XFreeGC(probe->display, probe->gc);
  XDestroyWindow(probe->display, probe->window);
  XCloseDisplay(probe->display);
}

#endif

static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) {
  Probe* probe = (Probe*)effect->object;
  (void)value, (void)opt;
  switch (opcode) {
    case effClose: free(probe); return 1;
    case effGetParamName:
    case effGetParamLabel:
    case effGetParamDisplay:
      if (ptr == NULL || index != 0) return 0;
      strcpy((char*)ptr, opcode == effGetParamName    ? "Shift"
                         : opcode == effGetParamLabel ? ""
                         : probe->shift >= 0.5f       ? "on"
                                                      : "off");
      return 1;
    case effEditGetRect:
      if (ptr == NULL) return 0;
      *(ERect**)ptr = &probe->rect;
      return 1;
    case effEditOpen:
#if defined(PROBE_CRASH)
      *(volatile int*)(uintptr_t)probe->record.resvd1 = 1;
#endif
      if (probe->open) return 0;
      memset(&events, 0, sizeof events);
      probe->open = openEditor(probe, ptr);
      return probe->open;
    case effEditIdle:
      if (!probe->open) return 0;
#if defined(PROBE_HANG)
      for (;;) (void)*(volatile float*)&probe->shift;
#elif defined(PROBE_HUGE)
      {
        static int asked = 0;
        if (!asked) editorProbeRequestSize(100000, 100000);
        asked = 1;
      }
#endif
      if (requestedWidth > 0) {
        const int width = requestedWidth, height = requestedHeight;
        requestedWidth = requestedHeight = 0;
        if (probe->host(effect, audioMasterSizeWindow, width, height, NULL, 0.0f) != 0 &&
            width <= 8192 && height <= 8192) {
          probe->rect.right = (int16_t)width;
          probe->rect.bottom = (int16_t)height;
          resizeEditor(probe, width, height);
        }
      }
      idleEditor(probe);
      return 1;
    case effEditClose:
      if (!probe->open) return 0;
      closeEditor(probe);
      probe->open = 0;
      return 1;
    default: return 0;
  }
}

static void setShift(AEffect* effect, VstInt32 index, float value) {
  if (index == 0) ((Probe*)effect->object)->shift = value;
}
static float getShift(AEffect* effect, VstInt32 index) {
  return index == 0 ? ((Probe*)effect->object)->shift : 0.0f;
}

static void process(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  (void)effect;
  for (int channel = 0; channel < 2; ++channel)
    memmove(outputs[channel], inputs[channel], sizeof(float) * (size_t)frames);
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
  Probe* probe = (Probe*)calloc(1, sizeof(Probe));
  if (probe == NULL) return NULL;
  fillTestRecord(&probe->record, dispatch, setShift, getShift, process,
                 VST_FOUR_CHARS('e', 'd', 'P', 'r'));
  probe->record.flags |= effFlagsHasEditor;
  probe->record.numParams = 1;
  probe->record.object = probe;
  probe->host = host;
  probe->rect.right = 200;
  probe->rect.bottom = 120;
  return &probe->record;
}
