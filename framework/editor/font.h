// The canvas's text: DejaVu Sans, carried in the library, laid out and
// rasterised by stb_truetype at device size, each glyph rasterised once per
// size and quarter-pixel offset and kept. Internal to the editor library.
#pragma once

#include <cstdint>
#include <memory>

namespace vst::editor_detail {

// A glyph's coverage, one byte a pixel, placed at (left, top) in device
// pixels relative to the pen (top is negative above the baseline).
struct GlyphImage {
  int left = 0, top = 0, width = 0, height = 0;
  const uint8_t* coverage = nullptr;
};

class Typeface {
 public:
  // Pixel heights (ascent to descent) outside this range draw nothing, or
  // are drawn at the largest.
  static constexpr double kMinPixelHeight = 1.0;
  static constexpr double kMaxPixelHeight = 400.0;

  Typeface();
  ~Typeface();
  Typeface(const Typeface&) = delete;
  Typeface& operator=(const Typeface&) = delete;

  // The advance width of UTF-8 `text` at `pixelHeight`, kerning included.
  double width(const char* text, double pixelHeight);
  // The ascent (baseline to top) at `pixelHeight`.
  double ascent(double pixelHeight) const;

  // Lays `text` out from pen position `x` and calls draw(image, penX) for
  // each glyph with ink, penX the device x its image is relative to (a whole
  // pixel). Glyphs wholly left of `minX` are skipped; layout stops right of
  // `maxX`.
  template <class Draw>
  void layout(const char* text, double x, double pixelHeight, double minX, double maxX,
              Draw&& draw);

 private:
  struct Impl;
  struct Cursor {
    const char* text;
    double pen;
    int previous = -1;  // the glyph before, for kerning
  };
  // One step of layout: decodes the next character, advances the pen and
  // gives the glyph's image (none for a space) and the whole pixel it is
  // placed from; false at the end of the text.
  bool next(Cursor& cursor, double pixelHeight, GlyphImage* image, int* penX);
  std::unique_ptr<Impl> impl_;
};

template <class Draw>
void Typeface::layout(const char* text, double x, double pixelHeight, double minX, double maxX,
                      Draw&& draw) {
  if (!text || !(pixelHeight >= kMinPixelHeight)) return;
  if (pixelHeight > kMaxPixelHeight) pixelHeight = kMaxPixelHeight;
  Cursor cursor{text, x};
  GlyphImage image;
  int penX = 0;
  while (cursor.pen <= maxX && next(cursor, pixelHeight, &image, &penX)) {
    if (image.coverage && penX + image.left + image.width >= minX) draw(image, penX);
  }
}

}  // namespace vst::editor_detail
