// Input to the X11 editor window: pointer and keys through XTest where the
// server has it, else as events sent to the deepest window under the point.
#include <X11/keysym.h>

#include <string>
#include <vector>

#include "editor_window_x11.h"

namespace host {

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

// Whether `symbol` is not the first level of its key's code, so Shift types it.
bool needsShift(Display* display, KeyCode code, KeySym symbol) {
  int perCode = 0;
  KeySym* symbols = XGetKeyboardMapping(display, code, 1, &perCode);
  const bool shifted = symbols != nullptr && perCode > 1 && symbols[0] != symbol;
  if (symbols != nullptr) XFree(symbols);
  return shifted;
}

// A key press and release through XTest, with Shift where the key's first
// level is not the symbol.
void tapKey(Display* display, KeySym symbol) {
  const KeyCode code = XKeysymToKeycode(display, symbol);
  if (code == 0) return;
  const bool shifted = needsShift(display, code, symbol);
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
  const bool shifted = needsShift(display, code, symbol);
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

}  // namespace host
