/* A small editor for the host's editor window: an Xlib child window of the
 * host's that paints three rectangles of known colours at known places on a
 * dark background (the green one 20 pixels further right when its parameter
 * Shift is 1), asks the host for another size when told to, and counts the
 * pointer and key events it receives. The test reads what it saw through two
 * exported functions. One instance at a time. Built also with one fault:
 *   PROBE_CRASH  crashes in effEditOpen
 *   PROBE_HANG   never returns from its first effEditIdle
 *   PROBE_HUGE   asks for a window of 100000 by 100000 pixels in its first idle */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "test_record.h"

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
  Display* display;
  Window window;
  GC gc;
} Probe;

static void fill(Probe* probe, unsigned long rgb, int x, int y, int width, int height) {
  XSetForeground(probe->display, probe->gc, rgb);
  XFillRectangle(probe->display, probe->window, probe->gc, x, y, (unsigned)width, (unsigned)height);
}

static void paint(Probe* probe) {
  fill(probe, 0x202020, 0, 0, probe->rect.right, probe->rect.bottom);
  fill(probe, 0xFF0000, 10, 10, 50, 30);
  fill(probe, 0x00FF00, probe->shift >= 0.5f ? 120 : 100, 50, 50, 50);
  fill(probe, 0x0000FF, 160, 10, 30, 100);
  XSync(probe->display, False);
}

static void handleEvents(Probe* probe) {
  while (XPending(probe->display) > 0) {
    XEvent event;
    XNextEvent(probe->display, &event);
    switch (event.type) {
      case ButtonPress:
        if (event.xbutton.button != Button1) break;
        ++events.presses;
        events.pressX = event.xbutton.x;
        events.pressY = event.xbutton.y;
        break;
      case ButtonRelease:
        if (event.xbutton.button != Button1) break;
        ++events.releases;
        events.releaseX = event.xbutton.x;
        events.releaseY = event.xbutton.y;
        break;
      case MotionNotify:
        if (event.xmotion.state & Button1Mask) ++events.drags;
        break;
      case KeyPress: {
        char text[8];
        KeySym symbol;
        const int length = XLookupString(&event.xkey, text, sizeof text, &symbol, NULL);
        const size_t used = strlen(events.typed);
        ++events.keys;
        if (length > 0 && used + (size_t)length < sizeof events.typed)
          memcpy(events.typed + used, text, (size_t)length);
        break;
      }
      default: break;
    }
  }
}

static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) {
  Probe* probe = (Probe*)effect->object;
  (void)index, (void)value, (void)opt;
  switch (opcode) {
    case effClose: free(probe); return 1;
    case effEditGetRect:
      if (ptr == NULL) return 0;
      *(ERect**)ptr = &probe->rect;
      return 1;
    case effGetParamName:
    case effGetParamLabel:
    case effGetParamDisplay:
      if (ptr == NULL || index != 0) return 0;
      strcpy((char*)ptr, opcode == effGetParamName    ? "Shift"
                         : opcode == effGetParamLabel ? ""
                         : probe->shift >= 0.5f       ? "on"
                                                      : "off");
      return 1;
    case effEditOpen:
#if defined(PROBE_CRASH)
      *(volatile int*)(uintptr_t)probe->record.resvd1 = 1;
#endif
      if (probe->display != NULL) return 0;
      probe->display = XOpenDisplay(NULL);
      if (probe->display == NULL) return 0;
      probe->window = XCreateSimpleWindow(probe->display, (Window)(uintptr_t)ptr, 0, 0,
                                          (unsigned)probe->rect.right, (unsigned)probe->rect.bottom,
                                          0, 0, 0x202020);
      XSelectInput(
          probe->display, probe->window,
          ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | ExposureMask);
      probe->gc = XCreateGC(probe->display, probe->window, 0, NULL);
      XMapWindow(probe->display, probe->window);
      memset(&events, 0, sizeof events);
      paint(probe);
      return 1;
    case effEditIdle:
      if (probe->display == NULL) return 0;
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
          XResizeWindow(probe->display, probe->window, (unsigned)width, (unsigned)height);
        }
      }
      handleEvents(probe);
      paint(probe);
      return 1;
    case effEditClose:
      if (probe->display == NULL) return 0;
      XFreeGC(probe->display, probe->gc);
      XDestroyWindow(probe->display, probe->window);
      XCloseDisplay(probe->display);
      probe->display = NULL;
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
