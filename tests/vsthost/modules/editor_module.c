/* A gain effect with an editor, written against the binary interface alone:
 * Xlib on Linux, Win32 on Windows. Its editor is 400 by 300 pixels, the left
 * half pure red (0xFF0000) and the right half pure blue (0x0000FF), so a
 * capture can be held to known pixels; a drag with the left button changes
 * the gain, each drag a gesture to the host (begin edit, automate, end edit).
 * The editor idles from effEditIdle on a display connection of its own.
 *
 * Without a fault (BROKEN_EDITOR_CLEAN) it passes every check at both levels;
 * each kind below adds exactly one fault:
 *
 *   EDITOR_NO_RECT        answers effEditGetRect with 0 and a null rectangle,
 *                         open or not
 *   EDITOR_HUGE_RECT      asks for 30000 by 30000 pixels, open or not
 *   EDITOR_HUGE_WINDOW    a sensible rectangle, but once open asks the host
 *                         for a window of 100000 by 100000 pixels
 *                         (audioMasterSizeWindow)
 *   EDITOR_SECOND_OPEN    crashes when its editor is opened a second time
 *   EDITOR_NO_DISPLAY     uses the display connection without testing it:
 *                         crashes where no X server is reachable (Linux)
 *   EDITOR_NO_GESTURE     automates its parameter without begin and end edit
 *   EDITOR_BUSY_IDLE      spins for 20 ms in every effEditIdle
 *   EDITOR_METER_RACE     frees and remakes the meter buffer that processing
 *                         writes while the editor opens and idles: processing
 *                         on another thread writes through a null pointer */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#endif

enum { kWidth = 400, kHeight = 300, kMeterSize = 64 };

/* A write through a null pointer the compiler cannot see is null: a real
 * segmentation fault (an access violation on Windows). */
static int* volatile nowhere = NULL;
static void crash(void) { *nowhere = 0; }

#if defined(BROKEN_EDITOR_BUSY_IDLE)
#if defined(_WIN32)
static void spin(int milliseconds) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do QueryPerformanceCounter(&now);
  while ((now.QuadPart - start.QuadPart) * 1000 < frequency.QuadPart * milliseconds);
}
#else
static void spin(int milliseconds) {
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  do clock_gettime(CLOCK_MONOTONIC, &now);
  while ((now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L <
         milliseconds);
}
#endif
#endif

#if defined(BROKEN_EDITOR_METER_RACE)
static void sleepFor(int milliseconds) {
#if defined(_WIN32)
  Sleep((DWORD)milliseconds);
#else
  struct timespec time = {0, milliseconds * 1000L * 1000L};
  nanosleep(&time, NULL);
#endif
}
#endif

/* The record first, so a record pointer is an instance pointer. */
typedef struct Instance {
  AEffect record;
  audioMasterCallback master;
  float parameter;
  /* Written by processing (the block's peak), read by nobody: a meter the
   * editor would draw. The faulty kind remakes it while the editor opens. */
  float* volatile meter;
  ERect rect;
  int opened; /* times the editor was opened */
  int open;
  /* A drag in progress: where it started and the value then. */
  int dragging, startX, startY;
  float startValue;
#if defined(_WIN32)
  HWND window;
#else
  Display* display;
  Window window;
  GC gc;
  unsigned long red, blue;
#endif
} Instance;

static void copyText(void* ptr, const char* text, size_t size) {
  if (ptr != NULL) snprintf((char*)ptr, size, "%s", text);
}

static void tellHost(Instance* instance, VstInt32 opcode, float value) {
  if (instance->master != NULL) instance->master(&instance->record, opcode, 0, 0, NULL, value);
}

/* The gestures of a drag: right and up raise the gain by one over 200 pixels. */
static void pressed(Instance* instance, int x, int y) {
  instance->dragging = 1;
  instance->startX = x;
  instance->startY = y;
  instance->startValue = instance->parameter;
#if !defined(BROKEN_EDITOR_NO_GESTURE)
  tellHost(instance, audioMasterBeginEdit, 0.0f);
#endif
}

static void dragged(Instance* instance, int x, int y) {
  if (!instance->dragging) return;
  float value =
      instance->startValue + (float)((x - instance->startX) - (y - instance->startY)) / 200.0f;
  value = value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value;
  if (value == instance->parameter) return;
  instance->parameter = value;
  tellHost(instance, audioMasterAutomate, value);
}

static void released(Instance* instance) {
  if (!instance->dragging) return;
  instance->dragging = 0;
#if !defined(BROKEN_EDITOR_NO_GESTURE)
  tellHost(instance, audioMasterEndEdit, 0.0f);
#endif
}

#if defined(BROKEN_EDITOR_METER_RACE)
/* Meant as a fresh meter for the editor; processing meanwhile writes through
 * the pointer, null for `milliseconds`. */
static void remakeMeter(Instance* instance, int milliseconds) {
  float* old = instance->meter;
  instance->meter = NULL;
  free(old);
  sleepFor(milliseconds);
  instance->meter = (float*)calloc(kMeterSize, sizeof(float));
}
#endif

#if defined(_WIN32)
/* The window class, registered while any editor of this module is open and
 * unregistered with the last, so the module can be unloaded cleanly. */
static const char kClassName[] = "OrsolaneTestEditor";
static int classUsers;

/* This module's own handle (not the program's), which owns the class. */
static HINSTANCE moduleHandle(void) {
  HMODULE module = NULL;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      (LPCSTR)(void*)&classUsers, &module);
  return module;
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Instance* instance = (Instance*)GetWindowLongPtrA(window, GWLP_USERDATA);
  const int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT left = {0, 0, kWidth / 2, kHeight}, right = {kWidth / 2, 0, kWidth, kHeight};
      HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
      FillRect(dc, &left, red);
      FillRect(dc, &right, blue);
      DeleteObject(red);
      DeleteObject(blue);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (instance != NULL) {
        SetCapture(window);
        pressed(instance, x, y);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (instance != NULL && (wParam & MK_LBUTTON)) dragged(instance, x, y);
      return 0;
    case WM_LBUTTONUP:
      if (instance != NULL) {
        released(instance);
        ReleaseCapture();
      }
      return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

static int openEditor(Instance* instance, void* parent) {
  if (classUsers++ == 0) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = moduleHandle();
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
  }
  instance->window = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, kWidth,
                                     kHeight, (HWND)parent, NULL, moduleHandle(), NULL);
  if (instance->window == NULL) {
    if (--classUsers == 0) UnregisterClassA(kClassName, moduleHandle());
    return 0;
  }
  SetWindowLongPtrA(instance->window, GWLP_USERDATA, (LONG_PTR)instance);
  return 1;
}

static void idleEditor(Instance* instance) { (void)instance; /* the host's loop delivers */ }

static void closeEditor(Instance* instance) {
  DestroyWindow(instance->window);
  instance->window = NULL;
  if (--classUsers == 0) UnregisterClassA(kClassName, moduleHandle());
}
#else
static unsigned long colour(Display* display, unsigned short r, unsigned short g,
                            unsigned short b) {
  XColor wanted;
  memset(&wanted, 0, sizeof wanted);
  wanted.red = r, wanted.green = g, wanted.blue = b;
  wanted.flags = DoRed | DoGreen | DoBlue;
  if (!XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &wanted)) return 0;
  return wanted.pixel;
}

static void draw(Instance* instance) {
  XSetForeground(instance->display, instance->gc, instance->red);
  XFillRectangle(instance->display, instance->window, instance->gc, 0, 0, kWidth / 2, kHeight);
  XSetForeground(instance->display, instance->gc, instance->blue);
  XFillRectangle(instance->display, instance->window, instance->gc, kWidth / 2, 0,
                 kWidth - kWidth / 2, kHeight);
  XFlush(instance->display);
}

static int openEditor(Instance* instance, void* parent) {
  Display* display = XOpenDisplay(NULL);
#if !defined(BROKEN_EDITOR_NO_DISPLAY)
  if (display == NULL) return 0;
#endif
  instance->display = display;
  instance->red = colour(display, 0xFFFF, 0, 0);
  instance->blue = colour(display, 0, 0, 0xFFFF);
  instance->window = XCreateSimpleWindow(display, (Window)(uintptr_t)parent, 0, 0, kWidth, kHeight,
                                         0, 0, instance->red);
  XSelectInput(display, instance->window,
               ExposureMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask);
  instance->gc = XCreateGC(display, instance->window, 0, NULL);
  XMapWindow(display, instance->window);
  draw(instance);
  return 1;
}

/* Handles what is pending on the editor's connection; never waits. */
static void idleEditor(Instance* instance) {
  Display* display = instance->display;
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) draw(instance);
        break;
      case ButtonPress:
        if (event.xbutton.button == Button1) pressed(instance, event.xbutton.x, event.xbutton.y);
        break;
      case MotionNotify: dragged(instance, event.xmotion.x, event.xmotion.y); break;
      case ButtonRelease:
        if (event.xbutton.button == Button1) released(instance);
        break;
      default: break;
    }
  }
}

static void closeEditor(Instance* instance) {
  XFreeGC(instance->display, instance->gc);
  XDestroyWindow(instance->display, instance->window);
  XCloseDisplay(instance->display);
  instance->display = NULL;
  instance->window = 0;
}
#endif

static VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  Instance* instance = (Instance*)effect;
  (void)value, (void)opt;
  switch (opcode) {
    case effClose:
      if (instance->open) closeEditor(instance);
      free(instance->meter);
      free(instance);
      return 1;
    case effGetProgramName: copyText(ptr, "Default", kVstMaxProgNameLen + 1); return 0;
    case effGetProgramNameIndexed:
      copyText(ptr, "Default", kVstMaxProgNameLen + 1);
      return index == 0;
    case effGetParamName: copyText(ptr, "Gain", kVstMaxParamStrLen + 1); return 0;
    case effGetParamLabel: copyText(ptr, "", kVstMaxParamStrLen + 1); return 0;
    case effGetParamDisplay:
      if (ptr != NULL) snprintf((char*)ptr, kVstMaxParamStrLen + 1, "%.2f", instance->parameter);
      return 0;
    case effGetEffectName: copyText(ptr, "Editor", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: copyText(ptr, "Test", kVstMaxVendorStrLen); return 1;
    case effGetProductString: copyText(ptr, "Editor", kVstMaxProductStrLen); return 1;
    case effEditGetRect:
      if (ptr == NULL) return 0;
#if defined(BROKEN_EDITOR_NO_RECT)
      *(ERect**)ptr = NULL;
      return 0;
#else
      *(ERect**)ptr = &instance->rect;
      return 1;
#endif
    case effEditOpen:
      if (instance->open) return 0;
#if defined(BROKEN_EDITOR_SECOND_OPEN)
      if (instance->opened > 0) crash();
#endif
      if (!openEditor(instance, ptr)) return 0;
      instance->open = 1;
      ++instance->opened;
#if defined(BROKEN_EDITOR_HUGE_WINDOW)
      if (instance->master != NULL)
        instance->master(effect, audioMasterSizeWindow, 100000, 100000, NULL, 0.0f);
#endif
#if defined(BROKEN_EDITOR_METER_RACE)
      remakeMeter(instance, 20);
#endif
      return 1;
    case effEditIdle:
      if (!instance->open) return 0;
#if defined(BROKEN_EDITOR_BUSY_IDLE)
      spin(20);
#endif
#if defined(BROKEN_EDITOR_METER_RACE)
      remakeMeter(instance, 2);
#endif
      idleEditor(instance);
      return 1;
    case effEditClose:
      if (!instance->open) return 0;
      released(instance);
      closeEditor(instance);
      instance->open = 0;
      return 1;
    default: return 0;
  }
}

static void setParameter(AEffect* effect, VstInt32 index, float value) {
  (void)index;
  ((Instance*)effect)->parameter = value;
}

static float getParameter(AEffect* effect, VstInt32 index) {
  (void)index;
  return ((Instance*)effect)->parameter;
}

static void processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  Instance* instance = (Instance*)effect;
  const float gain = instance->parameter;
  float peak = 0.0f;
  for (VstInt32 i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c) {
      const float sample = inputs[c][i] * gain;
      outputs[c][i] = sample;
      if (sample > peak) peak = sample;
    }
  instance->meter[0] = peak;
}

EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
  Instance* instance = (Instance*)calloc(1, sizeof(Instance));
  if (instance == NULL) return NULL;
  instance->meter = (float*)calloc(kMeterSize, sizeof(float));
  if (instance->meter == NULL) {
    free(instance);
    return NULL;
  }
  instance->master = master;
  instance->parameter = 0.5f;
#if defined(BROKEN_EDITOR_HUGE_RECT)
  instance->rect.bottom = 30000;
  instance->rect.right = 30000;
#else
  instance->rect.bottom = kHeight;
  instance->rect.right = kWidth;
#endif
  AEffect* effect = &instance->record;
  fillTestRecord(effect, dispatcher, setParameter, getParameter, processReplacing,
                 VST_FOUR_CHARS('e', 'd', 't', 'r'));
  effect->numParams = 1;
  effect->flags |= effFlagsHasEditor;
  return effect;
}
