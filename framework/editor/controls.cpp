#include "vst/editor/controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vst {

namespace {

constexpr float kPi = 3.14159265358979f;
// A knob's arc: from the bottom left (135 degrees) round to the bottom right,
// three quarters of a turn.
constexpr float kArcStart = 0.75f * kPi, kArcSweep = 1.5f * kPi;
// Fine drags and wheel notches: ten times finer.
constexpr float kFine = 0.1f;
constexpr float kWheelStep = 0.01f;  // of the range per notch, continuous parameters
constexpr std::size_t kMaxTyped = 31;

// The parameter an out-of-table control points at: never read for a value.
constexpr ParameterSpec kNoParameter = {"", "", 0.0, 1.0, 0.0, Mapping::kLinear, 0, nullptr};

float clamp01(float value) { return std::min(std::max(value, 0.0f), 1.0f); }

bool fine(unsigned modifiers) { return (modifiers & (kModShift | kModControl)) != 0; }

// The baseline that centres text of `size` vertically in `box`.
float centredBaseline(const Canvas& canvas, const Rect& box, float size) {
  return box.centerY() + canvas.ascent(size) * 0.5f - size * 0.06f;
}

// Where a bipolar range (-48 to +12 dB) has its zero, so its arc starts
// there; 0 for ranges that do not cross zero.
float arcOrigin(const ParameterSpec& parameter) {
  const bool continuous =
      parameter.mapping == Mapping::kLinear || parameter.mapping == Mapping::kDecibel;
  return continuous && parameter.min < 0.0 && parameter.max > 0.0 ? toNormalised(parameter, 0.0)
                                                                  : 0.0f;
}

}  // namespace

std::string valueWithUnit(const ParameterSpec& parameter, double plain) {
  char text[kVstMaxParamStrLen + 1] = {};
  formatValue(parameter, plain, text, kVstMaxParamStrLen);
  std::string shown = text;
  if (parameter.unit != nullptr && parameter.unit[0] != '\0')
    shown.append(" ").append(parameter.unit);
  return shown;
}

void Control::setBounds(const Rect& bounds) {
  invalidate();
  bounds_ = bounds;
  invalidate();
}

// --- Label -------------------------------------------------------------------

Label::Label(Editor& editor, const Rect& bounds, std::string text, float size, Color color,
             Align align)
    : Control(editor, bounds), text_(std::move(text)), size_(size), color_(color), align_(align) {}

void Label::setText(std::string text) {
  text_ = std::move(text);
  invalidate();
}

void Label::draw(Canvas& canvas) {
  const Rect& box = bounds();
  const float x = align_ == Align::kLeft    ? box.x
                  : align_ == Align::kRight ? box.right()
                                            : box.centerX();
  canvas.text(text_.c_str(), x, centredBaseline(canvas, box, size_), size_, color_, align_);
}

// --- ParameterControl --------------------------------------------------------

ParameterControl::ParameterControl(Editor& editor, int index, const Rect& bounds)
    : Control(editor, bounds),
      index_(index),
      valid_(editor.parameter(index) != nullptr),
      entry_(valid_ ? editor.parameter(index) : &kNoParameter) {}

float ParameterControl::value() const {
  if (!valid_) return 0.0f;
  const float value = editor().effect().getParameter(index_);
  return value == value ? clamp01(value) : 0.0f;
}

float ParameterControl::shownValue() { return shown_ = value(); }

bool ParameterControl::changed() { return valid_ && value() != shown_; }

float ParameterControl::itemStep() const {
  const bool items = entry_->mapping == Mapping::kChoice || entry_->mapping == Mapping::kStep;
  const double span = entry_->max - entry_->min;
  return items && span >= 1.0 ? static_cast<float>(1.0 / span) : 0.0f;
}

void ParameterControl::sendValue(float normalised) {
  if (!valid_ || !(normalised == normalised)) return;
  const float value = snapNormalised(*entry_, normalised);
  if (inGesture_ && value == lastSent_) return;
  AudioEffectX& effect = editor().effect();
  if (!inGesture_) {
    if (value == this->value()) return;  // nothing changes: no gesture at all
    effect.beginEdit(index_);
    inGesture_ = true;
  }
  lastSent_ = value;
  effect.setParameterAutomated(index_, value);
  invalidate();
}

void ParameterControl::finishGesture() {
  if (!inGesture_) return;
  inGesture_ = false;
  lastSent_ = -1.0f;
  editor().effect().endEdit(index_);
}

void ParameterControl::setValue(float normalised) {
  finishGesture();
  sendValue(normalised);
  finishGesture();
}

void ParameterControl::resetToDefault() {
  if (valid_) setValue(toNormalised(*entry_, entry_->initial));
}

void ParameterControl::wheel(float notches, unsigned modifiers) {
  if (!valid_ || !(notches == notches)) return;
  const float item = itemStep();
  float change;
  if (item > 0.0f) {
    // A choice or step moves one item a notch, however fine the wheel.
    const float items = std::max(1.0f, std::round(std::fabs(notches)));
    change = std::copysign(items * item, notches);
  } else {
    change = notches * kWheelStep * (fine(modifiers) ? kFine : 1.0f);
  }
  setValue(clamp01(value() + change));
}

// --- Knob and Slider ---------------------------------------------------------

void DragControl::mouseDown(float x, float y, unsigned modifiers) {
  (void)modifiers;
  dragging_ = valid();
  lastX_ = x, lastY_ = y;
  dragValue_ = value();
}

void DragControl::mouseDrag(float x, float y, unsigned modifiers) {
  if (!dragging_) return;
  const float moved = along(x - lastX_, y - lastY_);
  lastX_ = x, lastY_ = y;
  if (!(moved == moved)) return;
  dragValue_ = clamp01(dragValue_ + moved * sensitivity() * (fine(modifiers) ? kFine : 1.0f));
  sendValue(dragValue_);
}

void DragControl::mouseUp(float x, float y, unsigned modifiers) {
  if (dragging_) mouseDrag(x, y, modifiers);
  dragging_ = false;
  finishGesture();
}

void DragControl::doubleClick(float x, float y, unsigned modifiers) {
  (void)x, (void)y, (void)modifiers;
  dragging_ = false;
  resetToDefault();
}

void Knob::draw(Canvas& canvas) {
  const Rect& box = bounds();
  const float value = shownValue();
  const float cx = box.centerX(), cy = box.centerY();
  const float radius = std::min(box.width, box.height) * 0.5f - 3.0f;
  if (radius <= 4.0f) return;
  const float track = std::max(3.0f, radius * 0.12f);
  canvas.strokeArc(cx, cy, radius, kArcStart, kArcStart + kArcSweep, track, theme::kTrack);
  const float origin = arcOrigin(parameter());
  const float from = kArcStart + kArcSweep * std::min(origin, value);
  const float to = kArcStart + kArcSweep * std::max(origin, value);
  if (to - from > 0.001f) canvas.strokeArc(cx, cy, radius, from, to, track, theme::kAccent);
  if (origin > 0.0f) {  // a bipolar range's zero, marked on the track
    const float zero = kArcStart + kArcSweep * origin;
    const float inner = radius - track, outer = radius + track;
    canvas.line(cx + std::cos(zero) * inner, cy + std::sin(zero) * inner,
                cx + std::cos(zero) * outer, cy + std::sin(zero) * outer, 1.5f, theme::kAccent);
  }
  const float body = radius - track - 3.0f;
  canvas.fillCircle(cx, cy, body, theme::kKnob);
  canvas.strokeCircle(cx, cy, body, 1.0f, theme::kKnobEdge);
  const float angle = kArcStart + kArcSweep * value;
  canvas.line(cx + std::cos(angle) * body * 0.3f, cy + std::sin(angle) * body * 0.3f,
              cx + std::cos(angle) * body * 0.82f, cy + std::sin(angle) * body * 0.82f, 2.5f,
              theme::kText);
}

float Slider::sensitivity() const {
  return 1.0f / std::max(bounds().width - bounds().height, 20.0f);
}

void Slider::draw(Canvas& canvas) {
  const Rect& box = bounds();
  const float value = shownValue();
  const float thumb = std::min(box.height * 0.5f, 8.0f);
  const float left = box.x + thumb, right = box.right() - thumb, cy = box.centerY();
  const Rect track{left, cy - 2.0f, right - left, 4.0f};
  canvas.fillRoundRect(track, 2.0f, theme::kTrack);
  const float at = left + (right - left) * value;
  canvas.fillRoundRect({left, cy - 2.0f, at - left, 4.0f}, 2.0f, theme::kAccent);
  // Steps show as ticks when there are few enough to tell apart.
  const float item = itemStep();
  if (item > 0.0f && (right - left) * item >= 8.0f)
    for (float tick = 0.0f; tick <= 1.0001f; tick += item)
      canvas.fillCircle(left + (right - left) * tick, cy + thumb + 3.0f, 1.2f, theme::kTextDim);
  canvas.fillCircle(at, cy, thumb, theme::kText);
  canvas.strokeCircle(at, cy, thumb, 1.0f, theme::kKnobEdge);
}

// --- Toggle and Choice -------------------------------------------------------

void Toggle::draw(Canvas& canvas) {
  const Rect& box = bounds();
  const bool on = shownValue() >= 0.5f;
  const float height = std::min(box.height, 22.0f), width = std::min(box.width, height * 2.0f);
  const Rect pill{box.centerX() - width / 2, box.centerY() - height / 2, width, height};
  canvas.fillRoundRect(pill, height / 2, on ? theme::kAccent : theme::kTrack);
  const float knob = height / 2 - 3.0f;
  const float x = on ? pill.right() - height / 2 : pill.x + height / 2;
  canvas.fillCircle(x, pill.centerY(), knob, on ? theme::kText : theme::kTextDim);
}

void Toggle::mouseDown(float x, float y, unsigned modifiers) {
  (void)x, (void)y, (void)modifiers;
  if (valid()) setValue(value() >= 0.5f ? 0.0f : 1.0f);
}

// The second click of a double click flips it back, as two clicks would.
void Toggle::doubleClick(float x, float y, unsigned modifiers) { mouseDown(x, y, modifiers); }

void Choice::draw(Canvas& canvas) {
  const Rect& box = bounds();
  const float value = shownValue();
  const float height = std::min(box.height, 26.0f);
  const Rect field{box.x, box.centerY() - height / 2, box.width, height};
  canvas.fillRoundRect(field, 5.0f, theme::kPanel);
  canvas.strokeRoundRect(field.inset(0.5f), 5.0f, 1.0f, theme::kKnobEdge);
  const float cy = field.centerY(), arrow = 4.0f;
  const float leftArrow[] = {field.x + 8 + arrow, cy - arrow, field.x + 8, cy,
                             field.x + 8 + arrow, cy + arrow};
  const float rightArrow[] = {field.right() - 8 - arrow, cy - arrow, field.right() - 8, cy,
                              field.right() - 8 - arrow, cy + arrow};
  canvas.fillPolygon(leftArrow, 3, theme::kTextDim);
  canvas.fillPolygon(rightArrow, 3, theme::kTextDim);
  const std::string shown = valueWithUnit(parameter(), toPlain(parameter(), value));
  canvas.text(shown.c_str(), field.centerX(), centredBaseline(canvas, field, theme::kValueSize),
              theme::kValueSize, theme::kText, Align::kCenter);
}

void Choice::step(float x) {
  const float item = itemStep();
  if (!valid() || item <= 0.0f) return;
  const bool back = x < bounds().x + bounds().width / 3;
  float next = value() + (back ? -item : item);
  if (next > 1.0f + item / 2) next = 0.0f;  // past the last: the first
  if (next < -item / 2) next = 1.0f;        // before the first: the last
  setValue(clamp01(next));
}

void Choice::mouseDown(float x, float y, unsigned modifiers) {
  (void)y, (void)modifiers;
  step(x);
}

void Choice::doubleClick(float x, float y, unsigned modifiers) {
  (void)y, (void)modifiers;
  step(x);
}

// --- ValueText ---------------------------------------------------------------

ValueText::ValueText(Editor& editor, int index, const Rect& bounds, float size)
    : ParameterControl(editor, index, bounds), size_(size) {}

std::string ValueText::shownText() const {
  if (editing_) return typed_;
  return valid() ? valueWithUnit(parameter(), toPlain(parameter(), value())) : std::string();
}

bool ValueText::changed() { return !editing_ && ParameterControl::changed(); }

void ValueText::draw(Canvas& canvas) {
  const Rect& box = bounds();
  if (!editing_) {
    const float value = shownValue();
    const std::string shown =
        valid() ? valueWithUnit(parameter(), toPlain(parameter(), value)) : "";
    canvas.text(shown.c_str(), box.centerX(), centredBaseline(canvas, box, size_), size_,
                theme::kText, Align::kCenter);
    return;
  }
  canvas.fillRoundRect(box, 4.0f, theme::kEditField);
  canvas.strokeRoundRect(box.inset(0.5f), 4.0f, 1.0f, theme::kAccent);
  const float width = canvas.textWidth(typed_.c_str(), size_);
  const float x = box.centerX() - width / 2, baseline = centredBaseline(canvas, box, size_);
  if (replaceAll_ && !typed_.empty())
    canvas.fillRect({x - 2, baseline - canvas.ascent(size_) - 1, width + 4, size_ + 3},
                    theme::kAccentDim);
  canvas.text(typed_.c_str(), x, baseline, size_, theme::kText, Align::kLeft);
  if (!replaceAll_)
    canvas.line(x + width + 1.5f, baseline - canvas.ascent(size_), x + width + 1.5f,
                baseline + 2.0f, 1.0f, theme::kText);
}

void ValueText::mouseDown(float x, float y, unsigned modifiers) {
  (void)x, (void)y, (void)modifiers;
  if (!valid() || editing_) return;
  typed_ = valueWithUnit(parameter(), toPlain(parameter(), value()));
  editing_ = true;
  replaceAll_ = true;
  editor().setFocus(this);
  invalidate();
}

void ValueText::doubleClick(float x, float y, unsigned modifiers) {
  (void)x, (void)y, (void)modifiers;
  stopEditing();
  resetToDefault();
}

bool ValueText::key(Key key, unsigned modifiers) {
  (void)modifiers;
  if (!editing_) return false;
  switch (key) {
    case Key::kEnter: commit(); break;
    case Key::kEscape: stopEditing(); break;
    case Key::kBackspace:
    case Key::kDelete:
      if (replaceAll_)
        typed_.clear();
      else if (!typed_.empty())
        typed_.pop_back();
      replaceAll_ = false;
      break;
    default: replaceAll_ = false; break;  // the caret goes to the end
  }
  invalidate();
  return true;
}

bool ValueText::text(const char* utf8) {
  if (!editing_) return false;
  if (replaceAll_) typed_.clear();
  replaceAll_ = false;
  // Printable characters only; the parser reads nothing else anyway.
  for (const char* c = utf8; *c != '\0' && typed_.size() < kMaxTyped; ++c)
    if (static_cast<unsigned char>(*c) >= 32 && *c != 127) typed_.push_back(*c);
  invalidate();
  return true;
}

void ValueText::commit() {
  double plain = 0.0;
  const bool read = parseValue(parameter(), typed_.c_str(), plain);
  stopEditing();
  if (read) setValue(toNormalised(parameter(), plain));
}

void ValueText::stopEditing() {
  if (!editing_) return;
  editing_ = false;
  typed_.clear();
  invalidate();
  if (editor().focus() == this) editor().setFocus(nullptr);
}

void ValueText::focusLost() { stopEditing(); }

}  // namespace vst
