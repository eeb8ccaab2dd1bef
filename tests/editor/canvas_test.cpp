// The editors' canvas against answers known without it: the pixels and the
// coverage a shape must have, the font's own metrics, what bad numbers must
// leave alone, and one scene's exact pixels, the same on every system.
#include "vst/editor/canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using vst::Align;
using vst::Canvas;
using vst::Rect;

constexpr vst::Color kWhite{255, 255, 255};
constexpr double kPi = 3.14159265358979323846;

uint32_t at(const Canvas& c, int x, int y) {
  return c.pixels()[size_t(y) * size_t(c.pixelWidth()) + size_t(x)];
}
// A pixel's coverage by white drawn over the black canvas, 0 to 1 (its green byte).
double coverage(const Canvas& c, int x, int y) { return double((at(c, x, y) >> 8) & 0xFF) / 255.0; }

double totalCoverage(const Canvas& c) {
  double sum = 0;
  for (int y = 0; y < c.pixelHeight(); ++y)
    for (int x = 0; x < c.pixelWidth(); ++x) sum += coverage(c, x, y);
  return sum;
}

// The rows and columns that anything was drawn in (device pixels); empty if none.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool any() const { return right >= 0; }
};
Ink ink(const Canvas& c) {
  Ink box;
  for (int y = 0; y < c.pixelHeight(); ++y)
    for (int x = 0; x < c.pixelWidth(); ++x)
      if (at(c, x, y) != 0xFF000000u) {
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
  return box;
}

std::vector<uint32_t> copy(const Canvas& c) {
  return {c.pixels(), c.pixels() + size_t(c.pixelWidth()) * size_t(c.pixelHeight())};
}

TEST(Canvas, SizeScaleAndPixelFormat) {
  Canvas c;
  c.resize(40, 30, 1.5f);
  EXPECT_EQ(c.width(), 40);
  EXPECT_EQ(c.pixelWidth(), 60);
  EXPECT_EQ(c.pixelHeight(), 45);
  EXPECT_EQ(at(c, 59, 44), 0xFF000000u);  // cleared to opaque black
  c.fillRect({0, 0, 40, 30}, vst::rgb(0x123456));
  EXPECT_EQ(at(c, 0, 0), 0xFF123456u);
  // Straight alpha over the opaque canvas: half of white over black, and
  // the canvas stays opaque.
  c.clear(vst::rgb(0x000000));
  c.fillRect({0, 0, 40, 30}, kWhite.withAlpha(128));
  EXPECT_EQ(at(c, 10, 10), 0xFF808080u);
  c.clear(vst::rgb(0x00FF00, 10));  // clear ignores alpha
  EXPECT_EQ(at(c, 10, 10), 0xFF00FF00u);

  // Out-of-range sizes and scales are clamped.
  c.resize(0, -5, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(c.scale(), 1.0f);
  EXPECT_EQ(c.pixelWidth(), 1);
  EXPECT_EQ(c.pixelHeight(), 1);
  c.resize(100000, 20, 100.0f);
  EXPECT_EQ(c.scale(), 4.0f);
  EXPECT_EQ(c.pixelWidth(), 8192);
  EXPECT_EQ(c.pixelHeight(), 80);
  c.resize(3, 3, 0.01f);
  EXPECT_EQ(c.scale(), 0.5f);
}

TEST(Canvas, RectanglesCoverTheirAreaExactly) {
  Canvas c;
  c.resize(20, 20);
  // Integer edges: exactly the 6 x 4 pixels, fully.
  c.fillRect({3, 5, 6, 4}, kWhite);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      EXPECT_EQ(at(c, x, y), x >= 3 && x < 9 && y >= 5 && y < 9 ? 0xFFFFFFFFu : 0xFF000000u)
          << x << "," << y;
  // Half-pixel edges: the edge pixels half covered, corners a quarter.
  c.clear({});
  c.fillRect({2.5f, 2.5f, 4, 4}, kWhite);
  EXPECT_EQ(coverage(c, 4, 4), 1.0);
  EXPECT_NEAR(coverage(c, 2, 4), 0.5, 0.01);
  EXPECT_NEAR(coverage(c, 6, 4), 0.5, 0.01);
  EXPECT_NEAR(coverage(c, 4, 2), 0.5, 0.01);
  EXPECT_NEAR(coverage(c, 2, 2), 0.25, 0.01);
  EXPECT_NEAR(totalCoverage(c), 16.0, 0.1);
  // Scale 2: each logical pixel is 2 x 2 device pixels.
  c.resize(20, 20, 2.0f);
  c.fillRect({3, 5, 6, 4}, kWhite);
  const Ink box = ink(c);
  EXPECT_EQ(box.left, 6);
  EXPECT_EQ(box.right, 17);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.bottom, 17);
  EXPECT_NEAR(totalCoverage(c), 4 * 24.0, 1e-9);
}

TEST(Canvas, CurvesAndStrokesCoverTheirArea) {
  Canvas c;
  c.resize(100, 100);
  for (float r : {3.0f, 12.5f, 40.0f}) {
    c.clear({});
    c.fillCircle(50.3f, 49.6f, r, kWhite);
    EXPECT_NEAR(totalCoverage(c), kPi * r * r, 0.01 * kPi * r * r) << r;
  }
  // A ring: a stroke of width w along a circle of radius r covers 2 pi r w.
  c.clear({});
  c.strokeCircle(50, 50, 30, 4, kWhite);
  EXPECT_NEAR(totalCoverage(c), 2 * kPi * 30 * 4, 0.01 * 2 * kPi * 30 * 4);
  EXPECT_EQ(coverage(c, 50, 50), 0.0);
  // A quarter of it, clockwise from 3 o'clock: the lower right quadrant.
  c.clear({});
  c.strokeArc(50, 50, 30, 0, float(kPi / 2), 4, kWhite);
  EXPECT_NEAR(totalCoverage(c), kPi * 30 * 4 / 2, 0.02 * kPi * 30 * 4 / 2);
  Ink box = ink(c);
  EXPECT_GE(box.left, 49);
  EXPECT_GE(box.top, 49);
  // A rounded rectangle's area: the rectangle less the corners' squares
  // plus their quarter circles.
  c.clear({});
  c.fillRoundRect({10, 20, 60, 40}, 8, kWhite);
  EXPECT_NEAR(totalCoverage(c), 60 * 40 - (4 - kPi) * 64, 1.5);
  c.clear({});
  c.strokeRoundRect({10, 20, 60, 40}, 0, 2, kWhite);  // square corners
  EXPECT_NEAR(totalCoverage(c), 2 * (62 * 2 + 38 * 2), 0.5);

  // A 1-pixel horizontal line on a pixel row's centre fills that row
  // exactly, its ends butt; on a row boundary it half covers two rows.
  c.clear({});
  c.line(2, 10.5f, 12, 10.5f, 1, kWhite);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(coverage(c, x, 10), x >= 2 && x < 12 ? 1.0 : 0.0) << x;
  EXPECT_NEAR(totalCoverage(c), 10.0, 1e-9);
  c.clear({});
  c.line(2, 10, 12, 10, 1, kWhite);
  EXPECT_NEAR(coverage(c, 5, 9), 0.5, 0.01);
  EXPECT_NEAR(coverage(c, 5, 10), 0.5, 0.01);
  EXPECT_NEAR(totalCoverage(c), 10.0, 0.1);
  // A polyline's round join adds no more than the corner's quarter disc.
  c.clear({});
  const float corner[] = {10.5f, 10.5f, 50.5f, 10.5f, 50.5f, 50.5f};
  c.polyline(corner, 3, 1, kWhite);
  EXPECT_NEAR(totalCoverage(c), 80.0, 0.5);
  // A triangle (non-zero fill): half its bounding square.
  c.clear({});
  const float triangle[] = {10, 10, 90, 10, 10, 90};
  c.fillPolygon(triangle, 3, kWhite);
  EXPECT_NEAR(totalCoverage(c), 80.0 * 80 / 2, 1.0);
}

TEST(Canvas, ClipKeepsOutsidePixels) {
  Canvas c;
  c.resize(40, 40, 1.5f);
  c.setClip({10, 10, 10, 10});  // device 15..30
  c.fillRect({0, 0, 40, 40}, kWhite);
  c.fillCircle(20, 20, 30, kWhite);
  c.text("Clip", 0, 30, 30, kWhite);
  const Ink box = ink(c);
  EXPECT_EQ(box.left, 15);
  EXPECT_EQ(box.top, 15);
  EXPECT_EQ(box.right, 29);
  EXPECT_EQ(box.bottom, 29);
  EXPECT_NEAR(totalCoverage(c), 15.0 * 15, 1e-9);
  // clear keeps to the clip too; after resetClip everything is drawable.
  c.clear(vst::rgb(0xFF0000));
  EXPECT_EQ(at(c, 0, 0), 0xFF000000u);
  EXPECT_EQ(at(c, 20, 20), 0xFFFF0000u);
  c.setClip({0, 0, std::numeric_limits<float>::quiet_NaN(), 10});  // no area: nothing drawn
  c.fillRect({0, 0, 40, 40}, kWhite);
  EXPECT_EQ(at(c, 0, 0), 0xFF000000u);
  c.resetClip();
  c.fillRect({0, 0, 40, 40}, kWhite);
  EXPECT_EQ(ink(c).right, 59);
  EXPECT_NEAR(totalCoverage(c), 60.0 * 60, 1e-9);
}

TEST(Canvas, TextMeasuresAndDrawsWithinTheFontsLines) {
  Canvas c;
  c.resize(200, 60);
  const float size = 20;
  EXPECT_LT(c.textWidth("ii", size), c.textWidth("WW", size));
  EXPECT_EQ(c.textWidth("", size), 0.0f);
  EXPECT_FLOAT_EQ(c.textWidth("iiii", size), 4 * c.textWidth("i", size));
  // Widths grow with the size, and kerning brings A and V closer than
  // their advances alone.
  EXPECT_NEAR(c.textWidth("Gain 12 dB", 2 * size), 2 * c.textWidth("Gain 12 dB", size), 1e-3);
  EXPECT_LT(c.textWidth("AV", size), c.textWidth("A", size) + c.textWidth("V", size) - 0.5f);
  // DejaVu Sans: ascent 1901 and descent 483 font units, so a size (ascent
  // to descent) of 20 pixels has an ascent of 20 * 1901 / 2384.
  EXPECT_NEAR(c.ascent(size), 20.0 * 1901 / 2384, 1e-3);

  // Drawn text lies between its lines and within its measured width.
  const float baseline = 40, x = 30;
  c.text("Hgjpq|", x, baseline, size, kWhite);
  Ink box = ink(c);
  ASSERT_TRUE(box.any());
  EXPECT_GE(box.top, baseline - c.ascent(size) - 1);
  EXPECT_LE(box.bottom, baseline + (size - c.ascent(size)) + 1);
  EXPECT_GT(box.bottom, baseline);  // descenders
  EXPECT_GE(box.left, x - 1);
  EXPECT_LE(box.right, x + c.textWidth("Hgjpq|", size) + 1);
  // Centred and right-aligned text: the ink around and left of x.
  c.clear({});
  c.text("Level", 100, baseline, size, kWhite, Align::kCenter);
  box = ink(c);
  EXPECT_NEAR((box.left + box.right + 1) / 2.0, 100, 2);
  c.clear({});
  c.text("Level", 100, baseline, size, kWhite, Align::kRight);
  EXPECT_LE(ink(c).right, 100);
  EXPECT_GE(ink(c).right, 97);

  // Nothing for an empty string or a null one; a character the font lacks
  // (private use) and malformed UTF-8 draw a box or the replacement mark.
  c.clear({});
  c.text("", x, baseline, size, kWhite);
  c.text(nullptr, x, baseline, size, kWhite);
  EXPECT_FALSE(ink(c).any());
  EXPECT_EQ(c.textWidth(nullptr, size), 0.0f);
  for (const char* odd : {"\xEE\x80\x80", "\xC3", "\xFF\xFE", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    c.clear({});
    c.text(odd, x, baseline, size, kWhite);
    EXPECT_TRUE(ink(c).any()) << odd;
    EXPECT_GT(c.textWidth(odd, size), 0.0f) << odd;
  }
}

TEST(Canvas, BadNumbersDoNoHarm) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float huge = 1e30f;
  Canvas c;
  c.resize(50, 40, 2.0f);
  const std::vector<uint32_t> black = copy(c);
  const float points[] = {0, 0, nan, 5, 20, 20};
  for (float bad : {nan, inf, -inf}) {
    c.fillRect({bad, 0, 10, 10}, kWhite);
    c.fillRect({0, 0, bad, 10}, kWhite);
    c.fillRoundRect({0, 0, 10, 10}, bad, kWhite);
    c.strokeRoundRect({0, 0, 10, 10}, 2, bad, kWhite);
    c.fillCircle(bad, 10, 5, kWhite);
    c.fillCircle(10, 10, bad, kWhite);
    c.strokeCircle(10, 10, 5, bad, kWhite);
    c.strokeArc(10, 10, 5, 0, bad, 1, kWhite);
    c.line(0, 0, bad, 10, 1, kWhite);
    c.text("x", bad, 10, 10, kWhite);
    c.text("x", 10, 10, bad, kWhite);
    EXPECT_EQ(c.textWidth("x", bad), 0.0f);
    EXPECT_EQ(c.ascent(bad), 0.0f);
  }
  c.polyline(points, 3, 1, kWhite);
  c.fillPolygon(points, 3, kWhite);
  c.polyline(nullptr, 5, 1, kWhite);
  c.fillPolygon(points, 2, kWhite);
  c.fillRect({10, 10, -5, 5}, kWhite);
  c.fillCircle(10, 10, -5, kWhite);
  c.line(0, 0, 10, 10, -1, kWhite);
  c.text("x", 10, 10, 0.1f, kWhite);
  EXPECT_EQ(copy(c), black) << "something was drawn from a NaN, infinite or negative number";

  // Huge but finite numbers are clamped: a huge rectangle or circle covers
  // the canvas, huge strokes and text end without harm.
  c.fillRect({-huge, -huge, 2 * huge, 2 * huge}, kWhite);
  EXPECT_NEAR(totalCoverage(c), 100.0 * 80, 1e-9);
  c.clear({});
  c.fillCircle(25, 20, huge, kWhite);
  EXPECT_NEAR(totalCoverage(c), 100.0 * 80, 1e-9);
  c.clear({});
  c.strokeCircle(huge, -huge, huge, huge, kWhite);
  c.strokeArc(25, 20, 10, -huge, huge, 3, kWhite);
  c.line(-huge, 20, huge, 20, 2, kWhite);
  const float far[] = {-huge, 0, huge, 40, 25, huge};
  c.polyline(far, 3, huge, kWhite);
  c.fillPolygon(far, 3, kWhite);
  c.fillRoundRect({-huge, 5, 2 * huge, 10}, huge, kWhite);
  c.text("Wide", -huge, 20, 12, kWhite);
  c.text("Wide", 10, huge, 12, kWhite);
  c.text("Wide", 10, 30, huge, kWhite);
  EXPECT_GT(c.textWidth("Wide", huge), 0.0f);
  std::string longText(100000, 'W');
  c.text(longText.c_str(), 0, 30, 12, kWhite, Align::kRight);
  c.text(longText.c_str(), 0, 30, 12, kWhite);
  for (int y = 0; y < c.pixelHeight(); ++y)
    for (int x = 0; x < c.pixelWidth(); ++x) ASSERT_EQ(at(c, x, y) >> 24, 0xFFu);
}

// One small scene of every kind of drawing, checked to the bit: the Windows
// build (under Wine) must give the same pixels as the Linux one, which is
// what lets an editor's golden picture hold on both. A change to the
// drawing, or to Debian's AGG, stb_truetype or DejaVu Sans, changes the sum;
// look at the scene, then update it.
TEST(Canvas, SceneIsTheSameOnEverySystem) {
  const float wave[] = {80, 40, 90, 28, 100, 52, 110, 28, 120, 52, 130, 40};
  // `shade` > 0 gives other colours, wider lines and a clip: the same
  // paths, drawn otherwise.
  const auto scene = [&](Canvas& c, int shade) {
    const uint32_t tint = 0x0F0703u * uint32_t(shade);
    c.resetClip();
    c.clear(vst::rgb(0x20242A));
    if (shade > 0) c.setClip({20, 10, 100, 60});
    c.fillRoundRect({6, 6, 148, 78}, 6, vst::rgb(0x30353D + tint));
    c.strokeRoundRect({6, 6, 148, 78}, 6, 1.0f + float(shade), vst::rgb(0x596170));
    c.fillCircle(40, 45, 22, vst::rgb(0x3A404A, uint8_t(255 - 60 * shade)));
    c.strokeArc(40, 45, 18, 0.75f * float(kPi), 2.1f * float(kPi), 3, vst::rgb(0x4FC3F7 - tint));
    c.line(40, 45, 52, 33, 2, vst::rgb(0xFFFFFF, 200));
    c.polyline(wave, 6, 1.5f + float(shade), vst::rgb(0xFFB74D));
    c.text("Gain -6.0 dB", 80, 72, 11, vst::rgb(0xE0E0E0), Align::kCenter);
    c.text("Rate", 40, 80, 9, vst::rgb(0xB0B0B0, 180), Align::kCenter);
  };
  Canvas c;
  c.resize(160, 90, 1.5f);
  scene(c, 0);
  uint64_t hash = 1469598103934665603u;  // FNV-1a over the pixels' bytes
  for (uint32_t pixel : copy(c)) {
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (pixel >> shift) & 0xFF;
      hash *= 1099511628211u;
    }
  }
  EXPECT_EQ(hash, 0x8b24fd373d614763u) << std::hex << "scene hash 0x" << hash;
  // Drawn again, shapes are replayed from what the canvas kept of them:
  // the same pixels as a fresh canvas's, however the drawing changed.
  const std::vector<uint32_t> first = copy(c);
  Canvas again;
  again.resize(160, 90, 1.5f);
  for (int shade : {1, 0, 2, 0}) {
    Canvas fresh;
    fresh.resize(160, 90, 1.5f);
    scene(fresh, shade);
    scene(again, shade);
    EXPECT_EQ(copy(again), copy(fresh)) << "drawn again with shade " << shade;
    EXPECT_EQ(copy(fresh) == first, shade == 0);
  }
}

}  // namespace
