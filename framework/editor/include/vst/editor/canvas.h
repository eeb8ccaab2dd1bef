// A pixel canvas for editors: anti-aliased shapes and text drawn in software
// into a buffer of 32-bit pixels, so that the same editor gives the same
// pixels on every system (a picture taken on Linux holds on Windows). Shapes
// are rasterised by AGG; text by stb_truetype from a font carried inside the
// module (DejaVu Sans), so no system font is looked up.
//
// Coordinates are logical pixels; a scale factor (high-DPI screens) maps them
// onto device pixels, so an editor lays itself out once and draws sharp at 1,
// 1.5 or 2. Only the editor's thread draws: a canvas is not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vst {

// A colour with straight (not premultiplied) alpha.
struct Color {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  constexpr Color withAlpha(uint8_t alpha) const { return {r, g, b, alpha}; }
};
constexpr Color rgb(uint32_t hex, uint8_t alpha = 255) {
  return {uint8_t(hex >> 16), uint8_t(hex >> 8), uint8_t(hex), alpha};
}

// A rectangle in logical pixels: x and y its top left corner.
struct Rect {
  float x = 0, y = 0, width = 0, height = 0;
  constexpr float right() const { return x + width; }
  constexpr float bottom() const { return y + height; }
  constexpr float centerX() const { return x + width / 2; }
  constexpr float centerY() const { return y + height / 2; }
  constexpr bool contains(float px, float py) const {
    return px >= x && px < right() && py >= y && py < bottom();
  }
  // The rectangle shrunk by `by` on every side (grown for a negative `by`).
  constexpr Rect inset(float by) const { return {x + by, y + by, width - 2 * by, height - 2 * by}; }
};

enum class Align { kLeft, kCenter, kRight };

class Canvas {
 public:
  Canvas();
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Sets the logical size and the scale; the buffer is round(width * scale)
  // by round(height * scale) device pixels, cleared to opaque black. Sizes
  // are clamped to 1 to 8192 device pixels, the scale to 0.5 to 4.
  void resize(int width, int height, float scale = 1.0f);
  float scale() const;
  // Logical size.
  int width() const;
  int height() const;
  // Device pixels, rows from the top, `pixelWidth()` pixels a row, each
  // 0xAARRGGBB (alpha 255 everywhere: the canvas is opaque).
  int pixelWidth() const;
  int pixelHeight() const;
  const uint32_t* pixels() const;

  // Drawing clips to the canvas and, while set, to the clip rectangle.
  void setClip(const Rect& clip);
  void resetClip();

  void clear(Color color);
  void fillRect(const Rect& rect, Color color);
  void fillRoundRect(const Rect& rect, float radius, Color color);
  void strokeRoundRect(const Rect& rect, float radius, float lineWidth, Color color);
  void fillCircle(float cx, float cy, float radius, Color color);
  void strokeCircle(float cx, float cy, float radius, float lineWidth, Color color);
  // An arc of the circle around (cx, cy), from `startAngle` to `endAngle` in
  // radians, clockwise on screen from 3 o'clock (y grows downwards).
  void strokeArc(float cx, float cy, float radius, float startAngle, float endAngle,
                 float lineWidth, Color color);
  void line(float x0, float y0, float x1, float y1, float lineWidth, Color color);
  // A line through `count` points, xy pairs in `points` (round joins).
  void polyline(const float* points, size_t count, float lineWidth, Color color);
  // A closed polygon filled (non-zero winding).
  void fillPolygon(const float* points, size_t count, Color color);

  // UTF-8 text in the carried font, `size` its pixel height (logical),
  // `baseline` the y of its baseline; aligned on x. Characters the font lacks
  // are drawn as its missing-glyph box.
  void text(const char* text, float x, float baseline, float size, Color color,
            Align align = Align::kLeft);
  // The width `text` takes at `size`, in logical pixels.
  float textWidth(const char* text, float size) const;
  // The font's ascent at `size` (from the baseline up), logical pixels.
  float ascent(float size) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vst
