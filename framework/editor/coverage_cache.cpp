#include "coverage_cache.h"

#include <cstring>
#include <initializer_list>

namespace vst::editor_detail {

CoverageCache::CoverageCache() : slots_(kSets * kWays) {}

bool CoverageCache::setKey(const agg::path_storage& path, double lineWidth, bool roundJoins,
                           const int (&clip)[4]) {
  key_.clear();
  const unsigned vertices = path.total_vertices();
  if (size_t(vertices) * 3 + 6 > kMaxKeyValues) return false;
  key_.insert(key_.end(), {lineWidth, roundJoins ? 1.0 : 0.0, double(clip[0]), double(clip[1]),
                           double(clip[2]), double(clip[3])});
  for (unsigned i = 0; i < vertices; ++i) {
    double x = 0, y = 0;
    const unsigned command = path.vertex(i, &x, &y);
    key_.insert(key_.end(), {double(command), x, y});
  }
  hash_ = 1469598103934665603u;  // FNV-1a, a 64-bit word at a time
  for (double value : key_) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    hash_ = (hash_ ^ bits) * 1099511628211u;
    hash_ ^= hash_ >> 29;
  }
  return true;
}

const RasterisedShape* CoverageCache::find() {
  RasterisedShape* set = slots_.data() + (hash_ % kSets) * kWays;
  for (size_t way = 0; way < kWays; ++way) {
    RasterisedShape& shape = set[way];
    if (shape.hash == hash_ && shape.key.size() == key_.size() && !key_.empty() &&
        std::memcmp(shape.key.data(), key_.data(), key_.size() * sizeof(double)) == 0) {
      shape.lastUse = ++useCounter_;
      return &shape;
    }
  }
  return nullptr;
}

RasterisedShape* CoverageCache::start() {
  RasterisedShape* set = slots_.data() + (hash_ % kSets) * kWays;
  RasterisedShape* oldest = set;
  for (size_t way = 1; way < kWays; ++way)
    if (set[way].lastUse < oldest->lastUse) oldest = set + way;
  oldest->hash = hash_;
  oldest->key.assign(key_.begin(), key_.end());
  oldest->runs.clear();
  oldest->covers.clear();
  oldest->lastUse = ++useCounter_;
  return oldest;
}

bool CoverageCache::record(RasterisedShape& shape, int x, int y, int len, const uint8_t* covers) {
  const size_t count = len > 0 ? size_t(len) : 1;
  if (shape.runs.size() >= kMaxRuns || shape.covers.size() + count > kMaxCovers) {
    shape.key.clear();
    shape.hash = 0;
    shape.runs.clear();
    shape.covers.clear();
    return false;
  }
  shape.runs.push_back(
      CoverageRun{int16_t(x), int16_t(y), int16_t(len), uint16_t(shape.covers.size())});
  shape.covers.insert(shape.covers.end(), covers, covers + count);
  return true;
}

}  // namespace vst::editor_detail
