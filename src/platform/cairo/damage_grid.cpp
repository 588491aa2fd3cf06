#include "platform/cairo/damage_grid.h"

#include <algorithm>

namespace orbelune {

void DamageGrid::resize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  columns_ = (width_ + kTile - 1) / kTile;
  rows_ = (height_ + kTile - 1) / kTile;
  marked_.assign(static_cast<std::size_t>(columns_) * rows_, 0);
  count_ = 0;
}

std::vector<std::uint32_t> DamageGrid::tilesOf(const PixelBox& b) const {
  std::vector<std::uint32_t> tiles;
  const int x0 = std::max(b.x0, 0), y0 = std::max(b.y0, 0);
  const int x1 = std::min(b.x1, width_), y1 = std::min(b.y1, height_);
  if (x1 <= x0 || y1 <= y0) return tiles;
  for (int r = y0 / kTile; r <= (y1 - 1) / kTile; ++r) {
    for (int c = x0 / kTile; c <= (x1 - 1) / kTile; ++c) tiles.push_back(static_cast<std::uint32_t>(r * columns_ + c));
  }
  return tiles;
}

void DamageGrid::add(const PixelBox& box) { addTiles(tilesOf(box)); }

void DamageGrid::addTiles(const std::vector<std::uint32_t>& tiles) {
  for (std::uint32_t t : tiles) {
    if (t < marked_.size() && !marked_[t]) {
      marked_[t] = 1;
      ++count_;
    }
  }
}

void DamageGrid::add(const DamageGrid& other) {
  if (other.marked_.size() != marked_.size()) return;
  for (std::size_t i = 0; i < marked_.size(); ++i) {
    if (other.marked_[i] && !marked_[i]) {
      marked_[i] = 1;
      ++count_;
    }
  }
}

void DamageGrid::clear() {
  if (count_ == 0) return;
  std::fill(marked_.begin(), marked_.end(), 0);
  count_ = 0;
}

std::vector<PixelBox> DamageGrid::boxes() const {
  std::vector<PixelBox> out;
  if (count_ == 0) return out;
  std::vector<std::size_t> open;  // boxes that ended at the row above, by index into `out`
  for (int r = 0; r < rows_; ++r) {
    std::vector<std::size_t> next;
    const int top = r * kTile, bottom = std::min(top + kTile, height_);
    for (int c = 0; c < columns_;) {
      if (!marked_[static_cast<std::size_t>(r) * columns_ + c]) {
        ++c;
        continue;
      }
      int end = c;
      while (end < columns_ && marked_[static_cast<std::size_t>(r) * columns_ + end]) ++end;
      const int x0 = c * kTile, x1 = std::min(end * kTile, width_);
      // The same run in the row above: that box grows down instead.
      auto same = std::find_if(open.begin(), open.end(),
                               [&](std::size_t i) { return out[i].x0 == x0 && out[i].x1 == x1; });
      if (same != open.end()) {
        out[*same].y1 = bottom;
        next.push_back(*same);
      } else {
        out.push_back({x0, top, x1, bottom});
        next.push_back(out.size() - 1);
      }
      c = end;
    }
    open = std::move(next);
  }
  return out;
}

}  // namespace orbelune
