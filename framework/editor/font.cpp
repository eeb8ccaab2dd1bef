// DejaVu Sans through stb_truetype. stb's rasteriser works in float
// arithmetic with no platform calls on the paths used here (TrueType outlines,
// coverage anti-aliasing), so a glyph gets the same pixels on every system.
#include "font.h"

#include <cmath>
#include <cstddef>
#include <unordered_map>
#include <vector>

// stb_truetype's implementation lives in this file alone, its functions
// static, so no symbol of it can meet another copy in a host or plug-in.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include "stb_truetype.h"

namespace vst::editor_font {
extern const unsigned char kData[];
extern const size_t kSize;
}  // namespace vst::editor_font

namespace vst::editor_detail {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// The next code point of UTF-8 text, advancing `*text`; a malformed sequence
// (a stray continuation byte, a truncated or overlong one, a surrogate, a
// value beyond U+10FFFF) gives U+FFFD and consumes one byte. 0 at the end.
uint32_t decodeUtf8(const char** text) {
  const auto* s = reinterpret_cast<const unsigned char*>(*text);
  const unsigned char lead = s[0];
  if (lead == 0) return 0;
  int length = 0;
  uint32_t cp = 0, min = 0;
  if (lead < 0x80) {
    *text += 1;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1Fu, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0Fu, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07u, min = 0x10000;
  } else {
    *text += 1;
    return kReplacement;
  }
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) {  // also stops at the terminating zero
      *text += 1;
      return kReplacement;
    }
    cp = (cp << 6) | (s[i] & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *text += 1;
    return kReplacement;
  }
  *text += length;
  return cp;
}

struct Glyph {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> coverage;
};

// The glyphs rasterised at one pixel height, keyed by glyph index and
// quarter-pixel offset.
struct SizeCache {
  float pixelHeight = 0;
  float scale = 0;  // font units to device pixels
  uint64_t lastUse = 0;
  std::unordered_map<uint32_t, Glyph> glyphs;
};

// Bounds on what the caches hold, so that text at ever new sizes or in every
// script of the font cannot grow them without end.
constexpr size_t kMaxSizes = 8;
constexpr size_t kMaxCoverageBytes = size_t(32) << 20;
constexpr size_t kMaxKerningPairs = 65536;
constexpr size_t kMaxCodePoints = 65536;

}  // namespace

struct Typeface::Impl {
  stbtt_fontinfo info{};
  bool ok = false;
  int ascent = 0, descent = 0;  // font units; descent negative
  std::vector<int> advances;    // font units per glyph, -1 until looked up
  int glyphOfByte[256];         // the glyph of each code point below 256, -1 until looked up
  std::unordered_map<uint32_t, int> glyphOf;  // the rest
  std::unordered_map<uint64_t, int> kerning;  // font units per glyph pair
  std::vector<SizeCache> sizes;
  uint64_t useCounter = 0;
  size_t coverageBytes = 0;

  Impl() {
    for (int& g : glyphOfByte) g = -1;
    ok = stbtt_InitFont(&info, editor_font::kData, 0) != 0 && info.numGlyphs > 0;
    if (!ok) return;
    int lineGap = 0;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &lineGap);
    advances.assign(size_t(info.numGlyphs), -1);
  }

  float scaleFor(double pixelHeight) const {
    return stbtt_ScaleForPixelHeight(&info, float(pixelHeight));
  }

  // A glyph index the font has, or 0 (its missing glyph).
  int valid(int g) const { return g > 0 && g < info.numGlyphs ? g : 0; }

  int glyph(uint32_t cp) {
    if (cp < 256) {
      int& g = glyphOfByte[cp];
      if (g < 0) g = valid(stbtt_FindGlyphIndex(&info, int(cp)));
      return g;
    }
    auto found = glyphOf.find(cp);
    if (found != glyphOf.end()) return found->second;
    const int g = valid(stbtt_FindGlyphIndex(&info, int(cp)));
    if (glyphOf.size() < kMaxCodePoints) glyphOf.emplace(cp, g);
    return g;
  }

  int advance(int g) {
    int& a = advances[size_t(g)];
    if (a < 0) {
      int lsb = 0;
      stbtt_GetGlyphHMetrics(&info, g, &a, &lsb);
      if (a < 0) a = 0;
    }
    return a;
  }

  int kern(int first, int second) {
    const uint64_t key = (uint64_t(uint32_t(first)) << 32) | uint32_t(second);
    auto found = kerning.find(key);
    if (found != kerning.end()) return found->second;
    const int k = stbtt_GetGlyphKernAdvance(&info, first, second);
    if (kerning.size() >= kMaxKerningPairs) kerning.clear();
    kerning.emplace(key, k);
    return k;
  }

  SizeCache& size(double pixelHeight) {
    const float height = float(pixelHeight);
    ++useCounter;
    for (SizeCache& s : sizes) {
      if (s.pixelHeight == height) {
        s.lastUse = useCounter;
        return s;
      }
    }
    if (sizes.size() >= kMaxSizes) {
      auto oldest = sizes.begin();
      for (auto it = sizes.begin(); it != sizes.end(); ++it)
        if (it->lastUse < oldest->lastUse) oldest = it;
      for (const auto& [key, glyph] : oldest->glyphs) coverageBytes -= glyph.coverage.size();
      sizes.erase(oldest);
    }
    SizeCache s;
    s.pixelHeight = height;
    s.scale = scaleFor(pixelHeight);
    s.lastUse = useCounter;
    sizes.push_back(std::move(s));
    return sizes.back();
  }

  const Glyph& image(SizeCache& s, int g, int quarter) {
    const uint32_t key = (uint32_t(g) << 2) | uint32_t(quarter);
    auto found = s.glyphs.find(key);
    if (found != s.glyphs.end()) return found->second;
    if (coverageBytes > kMaxCoverageBytes) {
      for (SizeCache& other : sizes) other.glyphs.clear();
      coverageBytes = 0;
    }
    Glyph glyph;
    const float shift = float(quarter) * 0.25f;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBoxSubpixel(&info, g, s.scale, s.scale, shift, 0.0f, &x0, &y0, &x1, &y1);
    if (x1 > x0 && y1 > y0) {
      glyph.left = x0, glyph.top = y0, glyph.width = x1 - x0, glyph.height = y1 - y0;
      glyph.coverage.assign(size_t(glyph.width) * size_t(glyph.height), 0);
      stbtt_MakeGlyphBitmapSubpixel(&info, glyph.coverage.data(), glyph.width, glyph.height,
                                    glyph.width, s.scale, s.scale, shift, 0.0f, g);
      coverageBytes += glyph.coverage.size();
    }
    return s.glyphs.emplace(key, std::move(glyph)).first->second;
  }
};

Typeface::Typeface() : impl_(std::make_unique<Impl>()) {}
Typeface::~Typeface() = default;

double Typeface::ascent(double pixelHeight) const {
  if (!impl_->ok || !(pixelHeight > 0)) return 0;
  return double(impl_->ascent) * double(impl_->scaleFor(pixelHeight));
}

bool Typeface::next(Cursor& cursor, double pixelHeight, GlyphImage* image, int* penX) {
  Impl& font = *impl_;
  *image = GlyphImage{};
  if (!font.ok) return false;
  const uint32_t cp = decodeUtf8(&cursor.text);
  if (cp == 0) return false;
  if (cp < 0x20 || cp == 0x7F) return true;  // control characters take no room
  const int g = font.glyph(cp);              // 0, the missing glyph, when the font lacks it
  SizeCache& size = font.size(pixelHeight);
  if (cursor.previous >= 0)
    cursor.pen += double(font.kern(cursor.previous, g)) * double(size.scale);
  cursor.previous = g;
  const double whole = std::floor(cursor.pen);
  const int quarter = int((cursor.pen - whole) * 4.0) & 3;
  const Glyph& glyph = font.image(size, g, quarter);
  if (!glyph.coverage.empty()) {
    *image = GlyphImage{glyph.left, glyph.top, glyph.width, glyph.height, glyph.coverage.data()};
    *penX = int(whole);
  }
  cursor.pen += double(font.advance(g)) * double(size.scale);
  return true;
}

double Typeface::width(const char* text, double pixelHeight) {
  if (!text || !(pixelHeight >= kMinPixelHeight) || !impl_->ok) return 0;
  if (pixelHeight > kMaxPixelHeight) pixelHeight = kMaxPixelHeight;
  Impl& font = *impl_;
  const double scale = double(font.scaleFor(pixelHeight));
  double width = 0;
  int previous = -1;
  while (const uint32_t cp = decodeUtf8(&text)) {
    if (cp < 0x20 || cp == 0x7F) continue;
    const int g = font.glyph(cp);
    if (previous >= 0) width += double(font.kern(previous, g)) * scale;
    previous = g;
    width += double(font.advance(g)) * scale;
  }
  return width;
}

}  // namespace vst::editor_detail
