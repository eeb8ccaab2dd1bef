// The canvas's rasterised shapes kept for the next redraw. An editor draws
// the same panels, tracks and knob bodies frame after frame; what AGG's
// rasteriser made of a shape (its scanlines' runs and coverages) depends on
// the path, the stroke and the clip alone, so a shape drawn again with the
// same ones replays its runs instead of being rasterised anew: the same
// pixels, without the cost. Internal to the editor library.
#pragma once

#include <agg_path_storage.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vst::editor_detail {

// A run of one scanline in device pixels: `len` > 0 pixels with their own
// coverages from covers[cover] on, or -len pixels sharing covers[cover].
struct CoverageRun {
  int16_t x, y, len;
  uint16_t cover;
};

// What a shape's key is made of: the path's commands and points, the
// stroke and the clip, as doubles compared bit for bit.
using ShapeKey = std::vector<double>;

struct RasterisedShape {
  uint64_t hash = 0;
  ShapeKey key;  // empty: the slot holds nothing
  std::vector<CoverageRun> runs;
  std::vector<uint8_t> covers;
  uint64_t lastUse = 0;
};

// A fixed number of slots, set-associative by the key's hash; a slot keeps
// its buffers when reused, so that drawing allocates nothing once the
// editor's shapes are in. Shapes too large to be worth holding are drawn
// without being kept, which bounds the whole to some 20 MB (a generic
// editor of ten parameters keeps well under 1 MB).
class CoverageCache {
 public:
  static constexpr size_t kMaxKeyValues = 6 + 3 * 512;  // 512 path points
  static constexpr size_t kMaxRuns = 4096;
  static constexpr size_t kMaxCovers = 32768;

  CoverageCache();

  // Makes the key of the shape about to be drawn: the path filled (no
  // `lineWidth`) or stroked, and the clip box in device pixels. False for a
  // path too long to keep.
  bool setKey(const agg::path_storage& path, double lineWidth, bool roundJoins,
              const int (&clip)[4]);
  // The shape kept under the key, or null.
  const RasterisedShape* find();
  // An emptied slot (the least recently used of the key's set), holding the
  // key, for the shape's runs to be recorded into.
  RasterisedShape* start();
  // Appends a run to a shape being recorded; false (and the slot emptied)
  // when the shape outgrows what is kept.
  static bool record(RasterisedShape& shape, int x, int y, int len, const uint8_t* covers);

 private:
  static constexpr size_t kSets = 32, kWays = 8;
  std::vector<RasterisedShape> slots_;
  ShapeKey key_;  // the shape being drawn's, its storage kept
  uint64_t hash_ = 0;
  uint64_t useCounter_ = 0;
};

}  // namespace vst::editor_detail
