// The canvas: a buffer of 0xAARRGGBB pixels that AGG's scanline anti-aliasing
// rasteriser fills. Every shape is made into a path in device pixels here
// (circles and arcs from a sine of our own, below), clipped by the rasteriser
// in double precision, and blended with integer arithmetic: the same calls
// give the same pixels on every system.
#include "vst/editor/canvas.h"

#include <agg_conv_stroke.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_scanline_p.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "coverage_cache.h"
#include "font.h"

namespace vst {
namespace {

constexpr int kMaxPixels = 8192;  // device pixels a side
static_assert(kMaxPixels <= INT16_MAX, "a kept run's coordinates are 16-bit");
constexpr float kMinScale = 0.5f, kMaxScale = 4.0f;
// Device coordinates are held within this distance of the canvas: far
// beyond any canvas, near enough that the clipper's products stay finite.
constexpr double kCoordinateLimit = 1.0e6;
constexpr double kMaxLineWidth = 4096.0;  // device pixels
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;

// sin and cos from + and * alone, so that every system computes the same
// bits (C libraries differ in the last place, which could move an edge's
// coverage by one step). |angle| stays below 1e6 here; the reduction to
// [-pi/4, pi/4] is exact for such angles (pi/2 in two parts, the first of 33
// bits) and the series is within 1e-16 there.
void sinCos(double angle, double* s, double* c) {
  constexpr double kTwoOverPi = 0.636619772367581343076;
  constexpr double kHalfPiHigh = 1.57079632673412561417e+00;
  constexpr double kHalfPiLow = 6.07710050650619224932e-11;
  const double q = std::floor(angle * kTwoOverPi + 0.5);
  const double r = (angle - q * kHalfPiHigh) - q * kHalfPiLow;
  const double r2 = r * r;
  const double sinR =
      r + r * r2 *
              (-1.0 / 6 +
               r2 * (1.0 / 120 +
                     r2 * (-1.0 / 5040 +
                           r2 * (1.0 / 362880 +
                                 r2 * (-1.0 / 39916800 +
                                       r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000)))))));
  const double cosR =
      1.0 +
      r2 * (-1.0 / 2 +
            r2 * (1.0 / 24 + r2 * (-1.0 / 720 +
                                   r2 * (1.0 / 40320 + r2 * (-1.0 / 3628800 +
                                                             r2 * (1.0 / 479001600 +
                                                                   r2 * (-1.0 / 87178291200)))))));
  switch (int(q - 4 * std::floor(q / 4))) {
    case 0: *s = sinR, *c = cosR; break;
    case 1: *s = cosR, *c = -sinR; break;
    case 2: *s = -sinR, *c = -cosR; break;
    default: *s = -cosR, *c = sinR; break;
  }
}

// Segments for a whole circle of radius r device pixels: few enough to be
// fast, enough that no chord strays more than 1/20 pixel from the circle.
// (Only sqrt and ceil: exact everywhere.)
int circleSegments(double r) {
  const double n = std::ceil(kPi * std::sqrt(10.0 * std::max(r, 0.0)));
  return int(std::clamp(n, 8.0, 2048.0));
}

bool finite(std::initializer_list<float> values) {
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

double clampCoordinate(double v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); }

using PixelFormat =
    agg::pixfmt_bgra32;  // bytes B, G, R, A: 0xAARRGGBB read as a little-endian word
using Renderer = agg::renderer_base<PixelFormat>;
static_assert(sizeof(uint32_t) == 4 * sizeof(PixelFormat::value_type));

agg::rgba8 aggColor(Color c) { return agg::rgba8(c.r, c.g, c.b, c.a); }

// A colour as an opaque pixel of the buffer.
uint32_t packed(Color c) {
  return 0xFF000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
}

}  // namespace

struct Canvas::Impl {
  int width = 1, height = 1;
  int pixelWidth = 1, pixelHeight = 1;
  float scale = 1;
  std::vector<uint32_t> pixels = std::vector<uint32_t>(1, 0xFF000000u);
  agg::rendering_buffer buffer;
  PixelFormat format{buffer};
  Renderer renderer{format};
  agg::rasterizer_scanline_aa<agg::rasterizer_sl_clip_dbl> rasterizer;
  agg::scanline_p8 scanline;  // solid spans for the inside of shapes
  agg::path_storage path;
  editor_detail::CoverageCache shapes;
  // The drawable area in device pixels, x2 and y2 exclusive (empty when
  // x1 >= x2 or y1 >= y2).
  int clipX1 = 0, clipY1 = 0, clipX2 = 1, clipY2 = 1;
  bool clipSet = false;
  Rect clip;
  editor_detail::Typeface typeface;

  void attach() {
    buffer.attach(reinterpret_cast<uint8_t*>(pixels.data()), unsigned(pixelWidth),
                  unsigned(pixelHeight), pixelWidth * 4);
    format.attach(buffer);
    renderer.attach(format);
    applyClip();
  }

  void applyClip() {
    double x1 = 0, y1 = 0, x2 = pixelWidth, y2 = pixelHeight;
    if (clipSet) {
      // Edges round to whole device pixels, so a clip on a fractional edge
      // (a scale of 1.5) still leaves no half-covered seam.
      if (finite({clip.x, clip.y, clip.width, clip.height})) {
        x1 = std::max(x1, std::round(double(clip.x) * scale));
        y1 = std::max(y1, std::round(double(clip.y) * scale));
        x2 = std::min(x2, std::round((double(clip.x) + double(clip.width)) * scale));
        y2 = std::min(y2, std::round((double(clip.y) + double(clip.height)) * scale));
      } else {
        x2 = x1, y2 = y1;  // a clip of no size: nothing is drawn
      }
    }
    clipX1 = int(std::clamp(x1, 0.0, double(pixelWidth)));
    clipY1 = int(std::clamp(y1, 0.0, double(pixelHeight)));
    clipX2 = int(std::clamp(x2, 0.0, double(pixelWidth)));
    clipY2 = int(std::clamp(y2, 0.0, double(pixelHeight)));
    if (empty()) {
      renderer.reset_clipping(false);  // nothing visible
    } else {
      renderer.clip_box(clipX1, clipY1, clipX2 - 1, clipY2 - 1);
      rasterizer.clip_box(clipX1, clipY1, clipX2, clipY2);
    }
  }

  bool empty() const { return clipX1 >= clipX2 || clipY1 >= clipY2; }

  double device(float logical) const { return clampCoordinate(double(logical) * scale); }

  // Fills the path (non-zero winding) or, with a positive width, strokes it.
  // A shape drawn before with the same path, stroke and clip replays the
  // runs the rasteriser made of it then (see coverage_cache.h).
  void render(Color color, double lineWidth = 0, bool roundJoins = false) {
    if (!empty() && color.a != 0) {
      const Paint paint{aggColor(color), packed(color), color.a == 255};
      editor_detail::RasterisedShape* recording = nullptr;
      if (shapes.setKey(path, lineWidth, roundJoins, {clipX1, clipY1, clipX2, clipY2})) {
        if (const editor_detail::RasterisedShape* shape = shapes.find()) {
          for (const editor_detail::CoverageRun& run : shape->runs)
            blendRun(run.x, run.y, run.len, shape->covers.data() + run.cover, paint);
          path.remove_all();
          return;
        }
        recording = shapes.start();
      }
      rasterizer.reset();
      if (lineWidth > 0) {
        agg::conv_stroke<agg::path_storage> stroke(path);
        stroke.width(std::min(lineWidth, kMaxLineWidth));
        stroke.line_cap(agg::butt_cap);
        stroke.line_join(roundJoins ? agg::round_join : agg::miter_join);
        rasterizer.add_path(stroke);
      } else {
        rasterizer.add_path(path);
      }
      fillScanlines(paint, recording);
    }
    path.remove_all();
  }

  // A colour as AGG's blender takes it and as a packed opaque pixel.
  struct Paint {
    agg::rgba8 tint;
    uint32_t pixel;
    bool opaque;
  };

  // The rasteriser's scanlines blended, and recorded into `recording` while
  // it has room.
  void fillScanlines(const Paint& paint, editor_detail::RasterisedShape* recording) {
    if (!rasterizer.rewind_scanlines()) return;
    scanline.reset(rasterizer.min_x(), rasterizer.max_x());
    while (rasterizer.sweep_scanline(scanline)) {
      const int y = scanline.y();
      auto span = scanline.begin();
      for (unsigned n = scanline.num_spans(); n > 0; --n, ++span) {
        blendRun(span->x, y, span->len, span->covers, paint);
        if (recording &&
            !editor_detail::CoverageCache::record(*recording, span->x, y, span->len, span->covers))
          recording = nullptr;
      }
    }
  }

  // One run blended as AGG's solid renderer does, but a run of whole pixels
  // in an opaque colour (the inside of a shape) takes the packed pixel a
  // word at a time: the same pixels, in a fraction of the time.
  void blendRun(int x, int y, int len, const uint8_t* covers, const Paint& paint) {
    if (len > 0)
      renderer.blend_solid_hspan(x, y, unsigned(len), paint.tint, covers);
    else if (paint.opaque && *covers == agg::cover_full)
      fillRow(x, x - len, y, paint.pixel);
    else
      renderer.blend_hline(x, y, x - len - 1, paint.tint, *covers);
  }

  // Pixels x1 to x2 (exclusive) of row y take `pixel`, within the clip.
  void fillRow(int x1, int x2, int y, uint32_t pixel) {
    if (y < clipY1 || y >= clipY2) return;
    x1 = std::max(x1, clipX1), x2 = std::min(x2, clipX2);
    if (x1 < x2) {
      uint32_t* row = pixels.data() + size_t(y) * size_t(pixelWidth);
      std::fill(row + x1, row + x2, pixel);
    }
  }

  // A stroke's width in device pixels, or 0 for none (not finite, not positive).
  double strokeWidth(float lineWidth) const {
    const double w = double(lineWidth) * scale;
    return std::isfinite(w) && w > 0 ? std::min(w, kMaxLineWidth) : 0;
  }

  void addRect(double x1, double y1, double x2, double y2) {
    path.move_to(x1, y1);
    path.line_to(x2, y1);
    path.line_to(x2, y2);
    path.line_to(x1, y2);
    path.close_polygon();
  }

  // An arc in device pixels from `start` through `sweep` radians, its points
  // appended to the path (a new contour when `moveFirst`). With `trueArea`
  // (a whole circle) the chords lie a little outside the circle, as much as
  // inside, so that the polygon covers the circle's area.
  void addArc(double cx, double cy, double r, double start, double sweep, bool moveFirst,
              bool trueArea = false) {
    const double turns = std::abs(sweep) / kTwoPi;
    const int segments = std::max(1, int(std::ceil(turns * circleSegments(r))));
    const double step = sweep / segments;
    double rr = r;
    if (trueArea) {
      double sinStep = 0, cosStep = 0;
      sinCos(std::abs(step), &sinStep, &cosStep);
      rr = r * std::sqrt(std::abs(step) / sinStep);
    }
    for (int i = 0; i <= segments; ++i) {
      double s = 0, c = 0;
      sinCos(start + step * i, &s, &c);
      const double x = clampCoordinate(cx + rr * c), y = clampCoordinate(cy + rr * s);
      if (i == 0 && moveFirst)
        path.move_to(x, y);
      else
        path.line_to(x, y);
    }
  }

  // A whole circle as a closed polygon.
  void addCircle(double cx, double cy, double r) {
    addArc(cx, cy, r, 0, kTwoPi, true, true);
    path.close_polygon();
  }

  // A rectangle with round corners (radius clamped to half the shorter side).
  void addRoundRect(const Rect& rect, float radius) {
    const double x1 = device(rect.x), y1 = device(rect.y);
    const double x2 = device(rect.x + rect.width), y2 = device(rect.y + rect.height);
    const double r = std::clamp(double(radius) * scale, 0.0, std::min(x2 - x1, y2 - y1) / 2);
    if (!(r > 0.01)) {
      addRect(x1, y1, x2, y2);
      return;
    }
    addArc(x1 + r, y1 + r, r, kPi, kPi / 2, true);
    addArc(x2 - r, y1 + r, r, 1.5 * kPi, kPi / 2, false);
    addArc(x2 - r, y2 - r, r, 0, kPi / 2, false);
    addArc(x1 + r, y2 - r, r, kPi / 2, kPi / 2, false);
    path.close_polygon();
  }

  void addPoints(const float* points, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const double x = device(points[2 * i]), y = device(points[2 * i + 1]);
      if (i == 0)
        path.move_to(x, y);
      else
        path.line_to(x, y);
    }
  }
};

Canvas::Canvas() : impl_(std::make_unique<Impl>()) { impl_->attach(); }
Canvas::~Canvas() = default;

void Canvas::resize(int width, int height, float scale) {
  Impl& c = *impl_;
  c.scale = std::isfinite(scale) ? std::clamp(scale, kMinScale, kMaxScale) : 1.0f;
  const int most = int(double(kMaxPixels) / c.scale);
  c.width = std::clamp(width, 1, most);
  c.height = std::clamp(height, 1, most);
  c.pixelWidth = int(std::clamp(std::round(double(c.width) * c.scale), 1.0, double(kMaxPixels)));
  c.pixelHeight = int(std::clamp(std::round(double(c.height) * c.scale), 1.0, double(kMaxPixels)));
  c.pixels.assign(size_t(c.pixelWidth) * size_t(c.pixelHeight), 0xFF000000u);
  c.attach();
}

float Canvas::scale() const { return impl_->scale; }
int Canvas::width() const { return impl_->width; }
int Canvas::height() const { return impl_->height; }
int Canvas::pixelWidth() const { return impl_->pixelWidth; }
int Canvas::pixelHeight() const { return impl_->pixelHeight; }
const uint32_t* Canvas::pixels() const { return impl_->pixels.data(); }

void Canvas::setClip(const Rect& clip) {
  impl_->clipSet = true;
  impl_->clip = clip;
  impl_->applyClip();
}

void Canvas::resetClip() {
  impl_->clipSet = false;
  impl_->applyClip();
}

// The clip's pixels take the colour, made opaque (the canvas has no
// transparency to keep).
void Canvas::clear(Color color) {
  Impl& c = *impl_;
  if (c.empty()) return;
  const uint32_t pixel = packed(color);
  for (int y = c.clipY1; y < c.clipY2; ++y) {
    uint32_t* row = c.pixels.data() + size_t(y) * size_t(c.pixelWidth);
    std::fill(row + c.clipX1, row + c.clipX2, pixel);
  }
}

void Canvas::fillRect(const Rect& rect, Color color) {
  if (!finite({rect.x, rect.y, rect.width, rect.height}) || !(rect.width > 0) || !(rect.height > 0))
    return;
  Impl& c = *impl_;
  const double x1 = c.device(rect.x), y1 = c.device(rect.y);
  const double x2 = c.device(rect.x + rect.width), y2 = c.device(rect.y + rect.height);
  if (x1 == std::floor(x1) && y1 == std::floor(y1) && x2 == std::floor(x2) &&
      y2 == std::floor(y2)) {
    // On whole device pixels every pixel is covered fully or not at all:
    // the same pixels as the rasteriser's, without it.
    if (c.empty() || color.a == 0 || !(x2 > x1 && y2 > y1)) return;
    if (color.a == 255) {
      for (int y = std::max(int(y1), c.clipY1); y < std::min(int(y2), c.clipY2); ++y)
        c.fillRow(int(x1), int(x2), y, packed(color));
    } else {
      c.renderer.blend_bar(int(x1), int(y1), int(x2) - 1, int(y2) - 1, aggColor(color),
                           agg::cover_full);
    }
    return;
  }
  c.addRect(x1, y1, x2, y2);
  c.render(color);
}

void Canvas::fillRoundRect(const Rect& rect, float radius, Color color) {
  if (!finite({rect.x, rect.y, rect.width, rect.height, radius}) || !(rect.width > 0) ||
      !(rect.height > 0))
    return;
  impl_->addRoundRect(rect, radius);
  impl_->render(color);
}

void Canvas::strokeRoundRect(const Rect& rect, float radius, float lineWidth, Color color) {
  const double width = impl_->strokeWidth(lineWidth);
  if (!finite({rect.x, rect.y, rect.width, rect.height, radius}) || !(rect.width >= 0) ||
      !(rect.height >= 0) || width == 0)
    return;
  impl_->addRoundRect(rect, radius);
  impl_->render(color, width);
}

void Canvas::fillCircle(float cx, float cy, float radius, Color color) {
  if (!finite({cx, cy, radius}) || !(radius > 0)) return;
  Impl& c = *impl_;
  c.addCircle(c.device(cx), c.device(cy), std::min(double(radius) * c.scale, kCoordinateLimit));
  c.render(color);
}

void Canvas::strokeCircle(float cx, float cy, float radius, float lineWidth, Color color) {
  Impl& c = *impl_;
  const double width = c.strokeWidth(lineWidth);
  if (!finite({cx, cy, radius}) || !(radius > 0) || width == 0) return;
  c.addCircle(c.device(cx), c.device(cy), std::min(double(radius) * c.scale, kCoordinateLimit));
  c.render(color, width);
}

void Canvas::strokeArc(float cx, float cy, float radius, float startAngle, float endAngle,
                       float lineWidth, Color color) {
  Impl& c = *impl_;
  const double width = c.strokeWidth(lineWidth);
  if (!finite({cx, cy, radius, startAngle, endAngle}) || !(radius > 0) || width == 0) return;
  // The sweep is the difference as given (negative: anticlockwise), at most
  // one turn; the start is reduced to one turn exactly (fmod is exact).
  const double sweep = std::clamp(double(endAngle) - double(startAngle), -kTwoPi, kTwoPi);
  if (sweep == 0) return;
  const double start = std::fmod(double(startAngle), kTwoPi);
  c.addArc(c.device(cx), c.device(cy), std::min(double(radius) * c.scale, kCoordinateLimit), start,
           sweep, true);
  c.render(color, width);
}

void Canvas::line(float x0, float y0, float x1, float y1, float lineWidth, Color color) {
  Impl& c = *impl_;
  const double width = c.strokeWidth(lineWidth);
  if (!finite({x0, y0, x1, y1}) || width == 0) return;
  c.path.move_to(c.device(x0), c.device(y0));
  c.path.line_to(c.device(x1), c.device(y1));
  c.render(color, width);
}

void Canvas::polyline(const float* points, size_t count, float lineWidth, Color color) {
  Impl& c = *impl_;
  const double width = c.strokeWidth(lineWidth);
  if (!points || count < 2 || width == 0) return;
  for (size_t i = 0; i < 2 * count; ++i)
    if (!std::isfinite(points[i])) return;
  c.addPoints(points, count);
  c.render(color, width, true);
}

void Canvas::fillPolygon(const float* points, size_t count, Color color) {
  Impl& c = *impl_;
  if (!points || count < 3) return;
  for (size_t i = 0; i < 2 * count; ++i)
    if (!std::isfinite(points[i])) return;
  c.addPoints(points, count);
  c.path.close_polygon();
  c.render(color);
}

void Canvas::text(const char* text, float x, float baseline, float size, Color color, Align align) {
  Impl& c = *impl_;
  if (!text || !*text || c.empty() || color.a == 0 || !finite({x, baseline, size})) return;
  const double height = double(size) * c.scale;
  if (!(height >= editor_detail::Typeface::kMinPixelHeight)) return;
  double penX = double(x) * c.scale;
  if (align != Align::kLeft) {
    const double width = c.typeface.width(text, height);
    penX -= align == Align::kCenter ? width / 2 : width;
  }
  const double y = std::round(double(baseline) * c.scale);
  // Text wholly outside the clip (or absurdly far from it) draws nothing.
  const double reach = editor_detail::Typeface::kMaxPixelHeight * 2;
  if (std::abs(penX) > kCoordinateLimit || y < c.clipY1 - reach || y > c.clipY2 + reach) return;
  const int baselineY = int(y);
  const agg::rgba8 tint = aggColor(color);
  c.typeface.layout(text, penX, height, c.clipX1, c.clipX2,
                    [&](const editor_detail::GlyphImage& glyph, int glyphX) {
                      for (int row = 0; row < glyph.height; ++row) {
                        c.renderer.blend_solid_hspan(
                            glyphX + glyph.left, baselineY + glyph.top + row, glyph.width, tint,
                            glyph.coverage + size_t(row) * size_t(glyph.width));
                      }
                    });
}

float Canvas::textWidth(const char* text, float size) const {
  Impl& c = *impl_;
  if (!text || !std::isfinite(size)) return 0;
  const double height = double(size) * c.scale;
  return float(c.typeface.width(text, height) / c.scale);
}

float Canvas::ascent(float size) const {
  Impl& c = *impl_;
  if (!std::isfinite(size) || !(size > 0)) return 0;
  const double height = std::min(double(size) * c.scale, editor_detail::Typeface::kMaxPixelHeight);
  return float(c.typeface.ascent(height) / c.scale);
}

}  // namespace vst
