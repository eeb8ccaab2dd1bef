// Controls an editor places: a static label, and controls tied to one
// parameter of the effect's table (knob, slider, toggle, choice, value text).
//
// Every edit a parameter control makes is one gesture to the host: beginEdit,
// the values through setParameterAutomated, endEdit. A drag is one gesture
// (begun at its first change of value); a wheel notch, a double click, a
// click on a toggle or a choice and a typed value are one gesture each.
// Double click resets a knob, slider or value to the parameter's default;
// Shift (or Control) makes drags and the wheel ten times finer; the wheel
// steps a choice or step parameter by one item. A value the host changed
// shows at the editor's next idle.
#pragma once

#include <string>

#include "vst/editor/editor.h"

namespace vst {

class Control {
 public:
  Control(Editor& editor, const Rect& bounds) : editor_(editor), bounds_(bounds) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const Rect& bounds() const { return bounds_; }
  void setBounds(const Rect& bounds);
  Editor& editor() const { return editor_; }
  // Marks the control for redrawing at the next idle.
  void invalidate() { editor_.invalidate(bounds_); }

  // Draws the control into its bounds.
  virtual void draw(Canvas& canvas) = 0;
  // Polled at every idle: true when what it shows changed since it was drawn.
  virtual bool changed() { return false; }

  // Events, in the editor's logical pixels. A drag's moves and its release
  // go to the control the button went down on, wherever the pointer is.
  virtual void mouseDown(float x, float y, unsigned modifiers) {
    (void)x, (void)y, (void)modifiers;
  }
  virtual void mouseDrag(float x, float y, unsigned modifiers) {
    (void)x, (void)y, (void)modifiers;
  }
  virtual void mouseUp(float x, float y, unsigned modifiers) { (void)x, (void)y, (void)modifiers; }
  virtual void doubleClick(float x, float y, unsigned modifiers) {
    (void)x, (void)y, (void)modifiers;
  }
  virtual void wheel(float notches, unsigned modifiers) { (void)notches, (void)modifiers; }
  // Keys and text while the control has the keyboard focus.
  virtual bool key(Key key, unsigned modifiers) { return (void)key, (void)modifiers, false; }
  virtual bool text(const char* utf8) { return (void)utf8, false; }
  virtual void focusLost() {}
  // Ends whatever is in progress (the window closes mid-drag).
  virtual void cancel() {}

 private:
  Editor& editor_;
  Rect bounds_;
};

// Text that does not change: a parameter's name, a heading.
class Label : public Control {
 public:
  Label(Editor& editor, const Rect& bounds, std::string text, float size = theme::kLabelSize,
        Color color = theme::kTextDim, Align align = Align::kCenter);
  void draw(Canvas& canvas) override;
  void setText(std::string text);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  float size_;
  Color color_;
  Align align_;
};

// A control tied to parameter `index` of the editor's table. An index outside
// the table makes an inert control.
class ParameterControl : public Control {
 public:
  ParameterControl(Editor& editor, int index, const Rect& bounds);
  int index() const { return index_; }
  const ParameterSpec& parameter() const { return *entry_; }
  bool valid() const { return valid_; }
  // The normalised value now, as the effect answers it.
  float value() const;
  bool changed() override;
  void wheel(float notches, unsigned modifiers) override;
  void cancel() override { finishGesture(); }

 protected:
  // The value the control draws; remembered, so changed() sees the host's edits.
  float shownValue();
  // Within a gesture: begins it on the first value, sends the value (snapped
  // to what the parameter can take) when it differs from the last sent.
  void sendValue(float normalised);
  void finishGesture();
  // One whole gesture: begin, the value, end.
  void setValue(float normalised);
  void resetToDefault();
  // The normalised distance between two items of a choice or step
  // parameter; 0 for a continuous one.
  float itemStep() const;

 private:
  int index_;
  bool valid_;
  const ParameterSpec* entry_;
  float shown_ = -1.0f;
  bool inGesture_ = false;
  float lastSent_ = -1.0f;
};

// A drag changes the value relative to where it started: a knob by
// `kKnobPixels` pixels up for the whole range, a slider by its track's width.
class DragControl : public ParameterControl {
 public:
  using ParameterControl::ParameterControl;
  void mouseDown(float x, float y, unsigned modifiers) override;
  void mouseDrag(float x, float y, unsigned modifiers) override;
  void mouseUp(float x, float y, unsigned modifiers) override;
  void doubleClick(float x, float y, unsigned modifiers) override;

 protected:
  // Normalised change per pixel moved along the drag's axis.
  virtual float sensitivity() const = 0;
  // Pixels moved along the axis that raise the value (up for a knob, right for a slider).
  virtual float along(float dx, float dy) const = 0;

 private:
  bool dragging_ = false;
  float lastX_ = 0, lastY_ = 0;
  float dragValue_ = 0;
};

class Knob : public DragControl {
 public:
  static constexpr float kKnobPixels = 200.0f;
  using DragControl::DragControl;
  void draw(Canvas& canvas) override;

 protected:
  float sensitivity() const override { return 1.0f / kKnobPixels; }
  float along(float dx, float dy) const override { return (void)dx, -dy; }
};

class Slider : public DragControl {
 public:
  using DragControl::DragControl;
  void draw(Canvas& canvas) override;

 protected:
  float sensitivity() const override;
  float along(float dx, float dy) const override { return (void)dy, dx; }
};

// A switch for a parameter of two items (Off/On): a click flips it.
class Toggle : public ParameterControl {
 public:
  using ParameterControl::ParameterControl;
  void draw(Canvas& canvas) override;
  void mouseDown(float x, float y, unsigned modifiers) override;
  void doubleClick(float x, float y, unsigned modifiers) override;
};

// A choice's current name between two arrows: a click on the left third
// steps back, elsewhere forward, wrapping round.
class Choice : public ParameterControl {
 public:
  using ParameterControl::ParameterControl;
  void draw(Canvas& canvas) override;
  void mouseDown(float x, float y, unsigned modifiers) override;
  void doubleClick(float x, float y, unsigned modifiers) override;

 private:
  void step(float x);
};

// The value as the effect shows it, with its unit ("-6.00 dB"). A click
// makes it a text field: typing replaces the value, Enter sets what the
// parameter's own parser reads (nothing when it reads nothing), Escape or a
// click elsewhere leaves the value as it was. Double click resets it.
class ValueText : public ParameterControl {
 public:
  ValueText(Editor& editor, int index, const Rect& bounds, float size = theme::kValueSize);
  void draw(Canvas& canvas) override;
  bool changed() override;
  void mouseDown(float x, float y, unsigned modifiers) override;
  void doubleClick(float x, float y, unsigned modifiers) override;
  bool key(Key key, unsigned modifiers) override;
  bool text(const char* utf8) override;
  void focusLost() override;
  bool editing() const { return editing_; }
  // The text as drawn now: the value with its unit, or what is being typed.
  std::string shownText() const;

 private:
  void commit();
  void stopEditing();
  float size_;
  bool editing_ = false;
  bool replaceAll_ = false;  // the first key typed replaces the whole text
  std::string typed_;
};

// Formats parameter `parameter`'s plain value with its unit: "-6.00 dB", "Sine".
std::string valueWithUnit(const ParameterSpec& parameter, double plain);

}  // namespace vst
