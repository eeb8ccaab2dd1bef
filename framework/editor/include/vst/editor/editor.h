// vst::Editor: an effect's editor window. It keeps a logical size, a canvas
// the editor draws into, a child window of the host's window (X11 on Linux,
// Win32 on Windows) and the controls placed on it. The host drives it through
// the record (effEditGetRect, effEditOpen, effEditIdle, effEditClose); the
// window layer turns the system's events into the platform-independent entry
// points below, which tests can call directly too.
//
// Attach one in the effect's constructor, where the effect owns it:
//   setEditor(new vst::GenericEditor(this));   // every parameter, laid out from the table
//
// Threads: every call here is on the editor's thread (the host's user
// interface thread). The editor reads and writes parameter values only
// through the effect's getParameter and setParameter (whole, relaxed values),
// so the audio thread never waits for it; it reads what processing publishes
// through relaxed atomics of the effect's own.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "vst/audio_effect_x.h"
#include "vst/editor/canvas.h"
#include "vst/parameters.h"

namespace vst {

class Control;
class PlatformWindow;

// Modifier keys held during a mouse or key event.
enum Modifier : unsigned {
  kModShift = 1u << 0,    // fine drag: ten times finer
  kModControl = 1u << 1,  // also a fine drag (hosts that take Shift for themselves)
  kModAlt = 1u << 2,
};

// Keys the editor acts on besides text.
enum class Key { kEnter, kEscape, kBackspace, kDelete, kLeft, kRight, kHome, kEnd, kTab };

class Editor : public AEffEditor {
 public:
  // An editor of `width` by `height` logical pixels for `effect`, whose
  // parameters are `table` (`count` of them; null for an editor without
  // parameter controls).
  Editor(AudioEffectX* effect, const ParameterSpec* table, int count, int width, int height);
  // The same for an effect that declares its parameters in a table.
  template <VstInt32 N>
  Editor(ParameterEffect<N>* effect, int width, int height)
      : Editor(effect, effect->parameterTable(), N, width, height) {}
  ~Editor() override;
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // [editor thread] The host's calls (effEditGetRect, effEditOpen,
  // effEditClose, effEditIdle, effEditKeyDown, effEditKeyUp).
  // The size in device pixels (logical size times the scale), before open too.
  bool getRect(ERect** rect) override;
  // Makes the child window of `parentWindow` (an X11 Window id or an HWND);
  // false, with nothing made, when there is no parent or no display.
  bool open(void* parentWindow) override;
  // Destroys the child window; a gesture in progress is ended first.
  void close() override;
  bool isOpen() override;
  // Handles the window's pending events without blocking, picks up values
  // the host changed, and redraws what changed.
  void idle() override;
  // Keys the host forwards while the window has no keyboard focus.
  bool onKeyDown(VstKeyCode& keyCode) override;
  bool onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(float distance) override;

  // Layout and scale.
  int width() const { return width_; }
  int height() const { return height_; }
  // Device pixels per logical pixel: the system's (Xft.dpi / 96 on X11, the
  // window's DPI / 96 on Windows) until set here; clamped to 0.5 to 4. An
  // open editor resizes its window and asks the host to resize its own.
  void setScale(float scale);
  float scale() const;

  // Controls: made, owned and drawn in the order added, e.g.
  //   add<vst::Knob>(kParamRate, vst::Rect{20, 40, 64, 64});
  template <class C, class... Args>
  C& add(Args&&... args) {
    auto control = std::make_unique<C>(*this, std::forward<Args>(args)...);
    C& added = *control;
    addControl(std::move(control));
    return added;
  }
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

  // The effect and its parameters.
  AudioEffectX& effect() const { return *effect_; }
  int parameterCount() const { return count_; }
  // Null for an index outside the table.
  const ParameterSpec* parameter(int index) const;
  // The parameter's value now in its own terms (hertz, decibels, an index).
  double plainValue(int index) const;

  // Drawing. The canvas holds the picture the window shows; `draw` paints
  // what is not a control (background, curves), then the controls draw.
  Canvas& canvas() { return *canvas_; }
  void invalidate();                  // everything redraws at the next idle
  void invalidate(const Rect& area);  // that area redraws at the next idle
  // Draws what is invalid now into the canvas and shows it; answers whether
  // anything was drawn. idle() calls it; tests may too.
  bool redraw();

  // Events, in logical pixels from the editor's top left; the window layers
  // call them and so may tests. A drag is down, moves, up; the second press
  // of a double click arrives as doubleClick instead of mouseDown.
  void mouseDown(float x, float y, unsigned modifiers = 0);
  void mouseMove(float x, float y, unsigned modifiers = 0);
  void mouseUp(float x, float y, unsigned modifiers = 0);
  void doubleClick(float x, float y, unsigned modifiers = 0);
  // The button's release will not come (the system took the mouse away):
  // a drag in progress ends where it is.
  void cancelMouse();
  // `notches` wheel steps, positive away from the user (up).
  void wheel(float x, float y, float notches, unsigned modifiers = 0);
  // A key, or typed UTF-8 text; true when the editor used it (a value being typed).
  bool key(Key key, unsigned modifiers = 0);
  bool text(const char* utf8);

  // The control that takes keys (a value text being edited), or null.
  Control* focus() const { return focus_; }
  void setFocus(Control* control);

 protected:
  // Paints everything that is not a control; the default fills the theme's
  // background.
  virtual void draw(Canvas& canvas);
  // Called at every idle before drawing: a custom editor compares the state it
  // shows (a phase, a level) with what processing published and calls
  // invalidate for what changed. The default does nothing.
  virtual void update() {}

 private:
  void addControl(std::unique_ptr<Control> control);
  void pollParameters();
  float systemScale();
  void endGesture();
  Control* controlAt(float x, float y) const;

  AudioEffectX* effect_;
  const ParameterSpec* table_;
  int count_;
  int width_, height_;
  float scale_ = 0.0f;        // set by setScale; 0 until then
  float systemScale_ = 0.0f;  // asked of the system once; 0 until then
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<PlatformWindow> window_;
  std::vector<std::unique_ptr<Control>> controls_;
  Control* pressed_ = nullptr;  // the control a mouse button went down on
  Control* focus_ = nullptr;
  float pointerX_ = -1.0f, pointerY_ = -1.0f;  // where the pointer was last, for the host's wheel
  bool dirtyAll_ = true;
  Rect dirty_{};
  bool hasDirty_ = false;
  ERect rect_{};
};

// The editor's theme: one dark palette every control and the generic editor
// draw with, so custom editors match the generic one.
namespace theme {
constexpr Color kBackground = rgb(0x1d2026);
constexpr Color kPanel = rgb(0x262a31);
constexpr Color kTitleBar = rgb(0x15171b);
constexpr Color kTrack = rgb(0x3a404a);
constexpr Color kKnob = rgb(0x2f343c);
constexpr Color kKnobEdge = rgb(0x4a515c);
constexpr Color kText = rgb(0xe8eaed);
constexpr Color kTextDim = rgb(0x9aa3ae);
constexpr Color kAccent = rgb(0x4cc2ff);
constexpr Color kAccentDim = rgb(0x2d6f93);
constexpr Color kEditField = rgb(0x0f1114);
constexpr float kLabelSize = 12.0f;
constexpr float kValueSize = 12.0f;
constexpr float kTitleSize = 15.0f;
}  // namespace theme

}  // namespace vst
