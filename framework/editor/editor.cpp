#include "vst/editor/editor.h"

#include <algorithm>
#include <cmath>

#include "platform_window.h"
#include "vst/editor/controls.h"

namespace vst {

namespace {

constexpr float kMinScale = 0.5f, kMaxScale = 4.0f;

float clampScale(float scale) {
  return scale == scale ? std::min(std::max(scale, kMinScale), kMaxScale) : 1.0f;
}

// Device pixels for `logical` at `scale`, within what a record's 16 bits and
// the canvas take.
int devicePixels(int logical, float scale) {
  const long pixels = std::lround(static_cast<double>(logical) * scale);
  return static_cast<int>(std::min(std::max(pixels, 1L), 8192L));
}

Rect united(const Rect& a, const Rect& b) {
  const float x = std::min(a.x, b.x), y = std::min(a.y, b.y);
  return {x, y, std::max(a.right(), b.right()) - x, std::max(a.bottom(), b.bottom()) - y};
}

bool overlaps(const Rect& a, const Rect& b) {
  return a.x < b.right() && b.x < a.right() && a.y < b.bottom() && b.y < a.bottom();
}

}  // namespace

Editor::Editor(AudioEffectX* effect, const ParameterSpec* table, int count, int width, int height)
    : AEffEditor(effect),
      effect_(effect),
      table_(table),
      count_(table != nullptr ? std::max(count, 0) : 0),
      width_(std::min(std::max(width, 1), 8192)),
      height_(std::min(std::max(height, 1), 8192)),
      canvas_(std::make_unique<Canvas>()) {}

// No gesture is ended here: the effect's own part is gone by now (the effect
// destroys its editor last), so only the window goes.
Editor::~Editor() { window_.reset(); }

float Editor::scale() const {
  if (scale_ > 0.0f) return scale_;
  return systemScale_ > 0.0f ? systemScale_ : 1.0f;
}

float Editor::systemScale() {
  if (scale_ > 0.0f) return scale_;
  if (systemScale_ <= 0.0f) systemScale_ = clampScale(PlatformWindow::systemScale(systemWindow));
  return systemScale_;
}

void Editor::setScale(float scale) {
  const float before = this->scale();
  scale_ = clampScale(scale);
  if (scale_ == before) return;
  invalidate();
  if (window_ != nullptr) {
    const int width = devicePixels(width_, scale_), height = devicePixels(height_, scale_);
    canvas_->resize(width_, height_, scale_);
    window_->resize(width, height);
    effect_->sizeWindow(width, height);
  }
}

bool Editor::getRect(ERect** rect) {
  if (rect == nullptr) return false;
  const float scale = systemScale();
  rect_.top = 0;
  rect_.left = 0;
  rect_.bottom = static_cast<int16_t>(devicePixels(height_, scale));
  rect_.right = static_cast<int16_t>(devicePixels(width_, scale));
  *rect = &rect_;
  return true;
}

bool Editor::open(void* parentWindow) {
  if (window_ != nullptr) close();  // opened twice: the old window goes first
  if (parentWindow == nullptr) return false;
  const float scale = systemScale();
  canvas_->resize(width_, height_, scale);
  dirtyAll_ = true;
  window_ = PlatformWindow::open(*this, parentWindow, devicePixels(width_, scale),
                                 devicePixels(height_, scale));
  if (window_ == nullptr) return false;
  systemWindow = parentWindow;
  redraw();
  return true;
}

void Editor::close() {
  endGesture();
  window_.reset();
  systemWindow = nullptr;
}

bool Editor::isOpen() { return window_ != nullptr; }

void Editor::idle() {
  if (window_ != nullptr) window_->handleEvents();
  pollParameters();
  update();
  redraw();
}

void Editor::pollParameters() {
  for (const auto& control : controls_)
    if (control->changed()) invalidate(control->bounds());
}

void Editor::invalidate() { dirtyAll_ = true; }

void Editor::invalidate(const Rect& area) {
  dirty_ = hasDirty_ ? united(dirty_, area) : area;
  hasDirty_ = true;
}

bool Editor::redraw() {
  if (!dirtyAll_ && !hasDirty_) return false;
  const float scale = this->scale();
  if (canvas_->width() != width_ || canvas_->height() != height_ || canvas_->scale() != scale) {
    canvas_->resize(width_, height_, scale);
    dirtyAll_ = true;
  }
  // The area in whole device pixels, so no edge pixel is left half drawn.
  Rect area = dirtyAll_ ? Rect{0, 0, float(width_), float(height_)} : dirty_;
  const float left = std::max(0.0f, std::floor(area.x * scale));
  const float top = std::max(0.0f, std::floor(area.y * scale));
  const float right = std::min(float(canvas_->pixelWidth()), std::ceil(area.right() * scale));
  const float bottom = std::min(float(canvas_->pixelHeight()), std::ceil(area.bottom() * scale));
  dirtyAll_ = hasDirty_ = false;
  if (right <= left || bottom <= top) return false;
  area = {left / scale, top / scale, (right - left) / scale, (bottom - top) / scale};
  canvas_->setClip(area);
  draw(*canvas_);
  for (const auto& control : controls_)
    if (overlaps(control->bounds(), area)) control->draw(*canvas_);
  canvas_->resetClip();
  if (window_ != nullptr)
    window_->present(int(left), int(top), int(right - left), int(bottom - top));
  return true;
}

void Editor::draw(Canvas& canvas) { canvas.clear(theme::kBackground); }

void Editor::addControl(std::unique_ptr<Control> control) {
  invalidate(control->bounds());
  controls_.push_back(std::move(control));
}

const ParameterSpec* Editor::parameter(int index) const {
  return index >= 0 && index < count_ ? &table_[index] : nullptr;
}

double Editor::plainValue(int index) const {
  const ParameterSpec* entry = parameter(index);
  return entry != nullptr ? toPlain(*entry, effect_->getParameter(index)) : 0.0;
}

Control* Editor::controlAt(float x, float y) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    if ((*it)->bounds().contains(x, y)) return it->get();
  return nullptr;
}

void Editor::setFocus(Control* control) {
  if (focus_ == control) return;
  Control* previous = focus_;
  focus_ = control;
  if (previous != nullptr) previous->focusLost();
}

void Editor::endGesture() {
  cancelMouse();
  setFocus(nullptr);
}

void Editor::mouseDown(float x, float y, unsigned modifiers) {
  if (pressed_ != nullptr) {  // a press without the release of the last one
    pressed_->mouseUp(x, y, modifiers);
    pressed_ = nullptr;
  }
  pointerX_ = x, pointerY_ = y;
  Control* control = controlAt(x, y);
  if (focus_ != nullptr && focus_ != control) setFocus(nullptr);
  pressed_ = control;
  if (control != nullptr) control->mouseDown(x, y, modifiers);
}

void Editor::mouseMove(float x, float y, unsigned modifiers) {
  pointerX_ = x, pointerY_ = y;
  if (pressed_ != nullptr) pressed_->mouseDrag(x, y, modifiers);
}

void Editor::mouseUp(float x, float y, unsigned modifiers) {
  Control* control = pressed_;
  pressed_ = nullptr;
  if (control != nullptr) control->mouseUp(x, y, modifiers);
}

void Editor::cancelMouse() {
  if (pressed_ != nullptr) pressed_->cancel();
  pressed_ = nullptr;
}

void Editor::doubleClick(float x, float y, unsigned modifiers) {
  if (pressed_ != nullptr) mouseUp(x, y, modifiers);
  Control* control = controlAt(x, y);
  if (focus_ != nullptr && focus_ != control) setFocus(nullptr);
  if (control != nullptr) control->doubleClick(x, y, modifiers);
}

void Editor::wheel(float x, float y, float notches, unsigned modifiers) {
  pointerX_ = x, pointerY_ = y;
  if (!(notches == notches) || notches == 0.0f) return;
  if (Control* control = controlAt(x, y)) control->wheel(notches, modifiers);
}

bool Editor::key(Key key, unsigned modifiers) {
  return focus_ != nullptr && focus_->key(key, modifiers);
}

bool Editor::text(const char* utf8) {
  return focus_ != nullptr && utf8 != nullptr && focus_->text(utf8);
}

// The interface's virtual key numbers for the keys a value text uses.
bool Editor::onKeyDown(VstKeyCode& keyCode) {
  switch (keyCode.virt) {
    case 1: return key(Key::kBackspace);
    case 2: return key(Key::kTab);
    case 4:
    case 19: return key(Key::kEnter);
    case 6: return key(Key::kEscape);
    case 9: return key(Key::kEnd);
    case 10: return key(Key::kHome);
    case 11: return key(Key::kLeft);
    case 13: return key(Key::kRight);
    case 22: return key(Key::kDelete);
    default: break;
  }
  if (keyCode.character >= 32 && keyCode.character < 127) {
    const char typed[2] = {static_cast<char>(keyCode.character), '\0'};
    return text(typed);
  }
  return false;
}

bool Editor::onKeyUp(VstKeyCode& keyCode) { return (void)keyCode, focus_ != nullptr; }

bool Editor::onWheel(float distance) {
  if (!(distance == distance)) return false;
  wheel(pointerX_, pointerY_, distance);
  return true;
}

}  // namespace vst
