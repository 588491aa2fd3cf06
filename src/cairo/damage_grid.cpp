#include "cairo/damage_grid.h"

#include <algorithm>

namespace orbelune {

void DamageGrid::resize(int width, int height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  columns_ = (width_ + kTile - 1) / kTile;
  rows_ = (height_ + kTile - 1) / kTile;
  wordsPerRow_ = (columns_ + 63) / 64;
  words_.assign(static_cast<std::size_t>(rows_) * wordsPerRow_, 0);
  rowDirty_.assign(static_cast<std::size_t>(rows_), 0);
  dirtyRows_.clear();
}

void DamageGrid::marksOf(const PixelBox& b, std::vector<Mark>& out) const {
  const int x0 = std::max(b.x0, 0), y0 = std::max(b.y0, 0);
  const int x1 = std::min(b.x1, width_), y1 = std::min(b.y1, height_);
  if (x1 <= x0 || y1 <= y0) return;
  const int c0 = x0 / kTile, c1 = (x1 - 1) / kTile;  // inclusive
  for (int r = y0 / kTile; r <= (y1 - 1) / kTile; ++r) {
    for (int w = c0 / 64; w <= c1 / 64; ++w) {
      const int from = std::max(c0 - 64 * w, 0), to = std::min(c1 - 64 * w, 63);  // inclusive bit range
      const std::uint64_t upTo = to == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to + 1)) - 1;
      out.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(w), upTo & (~std::uint64_t{0} << from)});
    }
  }
}

void DamageGrid::compact(std::vector<Mark>& marks) {
  auto joinNeighboursOfOneWord = [&marks] {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
      if (kept > 0 && marks[kept - 1].row == marks[i].row && marks[kept - 1].word == marks[i].word) {
        marks[kept - 1].bits |= marks[i].bits;
      } else {
        marks[kept++] = marks[i];
      }
    }
    marks.resize(kept);
  };
  auto byRowAndWord = [](const Mark& a, const Mark& b) { return a.row != b.row ? a.row < b.row : a.word < b.word; };
  // Neighbouring pixels mostly mark the same word: join those before sorting.
  joinNeighboursOfOneWord();
  // Marks made scanning pixels row by row come in order of rows already, so
  // only each row's few marks need sorting.
  if (std::is_sorted(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.row < b.row; })) {
    for (auto from = marks.begin(); from != marks.end();) {
      auto to = std::find_if(from, marks.end(), [&](const Mark& m) { return m.row != from->row; });
      std::sort(from, to, byRowAndWord);
      from = to;
    }
  } else {
    std::sort(marks.begin(), marks.end(), byRowAndWord);
  }
  joinNeighboursOfOneWord();
}

void DamageGrid::markRow(std::uint32_t row) {
  if (!rowDirty_[row]) {
    rowDirty_[row] = 1;
    dirtyRows_.push_back(row);
  }
}

void DamageGrid::add(const PixelBox& box) {
  std::vector<Mark> marks;
  marksOf(box, marks);
  add(marks);
}

void DamageGrid::add(const std::vector<Mark>& marks) {
  for (const Mark& m : marks) {
    if (m.row >= static_cast<std::uint32_t>(rows_) || m.word >= static_cast<std::uint32_t>(wordsPerRow_)) continue;
    words_[static_cast<std::size_t>(m.row) * wordsPerRow_ + m.word] |= m.bits;
    markRow(m.row);
  }
}

void DamageGrid::add(const DamageGrid& other) {
  if (other.rows_ != rows_ || other.wordsPerRow_ != wordsPerRow_) return;
  for (std::uint32_t row : other.dirtyRows_) {
    const std::size_t at = static_cast<std::size_t>(row) * wordsPerRow_;
    for (int w = 0; w < wordsPerRow_; ++w) words_[at + w] |= other.words_[at + w];
    markRow(row);
  }
}

void DamageGrid::clear() {
  for (std::uint32_t row : dirtyRows_) {
    std::fill_n(words_.begin() + static_cast<std::ptrdiff_t>(row) * wordsPerRow_, wordsPerRow_, 0);
    rowDirty_[row] = 0;
  }
  dirtyRows_.clear();
}

std::vector<PixelBox> DamageGrid::boxes(int scale) const {
  std::vector<PixelBox> out;
  if (dirtyRows_.empty()) return out;
  scale = std::max(scale, 1);
  const int block = kTile * scale;
  std::vector<std::uint32_t> rows = dirtyRows_;
  std::sort(rows.begin(), rows.end());

  std::vector<std::uint64_t> merged(static_cast<std::size_t>(wordsPerRow_));
  std::size_t bandStart = 0;  // the boxes of the last band are out[bandStart..]
  long long lastBlockRow = -2;
  for (std::size_t i = 0; i < rows.size();) {
    // The tile rows of one block row, their bits together.
    const std::uint32_t blockRow = rows[i] / static_cast<std::uint32_t>(scale);
    std::fill(merged.begin(), merged.end(), 0);
    for (; i < rows.size() && rows[i] / static_cast<std::uint32_t>(scale) == blockRow; ++i) {
      const std::size_t at = static_cast<std::size_t>(rows[i]) * wordsPerRow_;
      for (int w = 0; w < wordsPerRow_; ++w) merged[w] |= words_[at + w];
    }
    const int top = static_cast<int>(blockRow) * block, bottom = std::min(top + block, height_);
    const std::size_t start = out.size();
    // Runs of marked tiles, as runs of whole blocks; runs that meet in one block join.
    int runFrom = -1, runTo = -1;  // blocks, half open
    auto emit = [&]() {
      if (runFrom >= 0) out.push_back({runFrom * block, top, std::min(runTo * block, width_), bottom});
    };
    for (int w = 0; w < wordsPerRow_; ++w) {
      std::uint64_t bits = merged[w];
      while (bits) {
        const int first = __builtin_ctzll(bits);
        const std::uint64_t rest = ~(bits >> first);
        const int length = rest ? __builtin_ctzll(rest) : 64 - first;
        const int c0 = 64 * w + first, c1 = c0 + length;  // tiles, half open
        const int b0 = c0 / scale, b1 = (c1 + scale - 1) / scale;
        if (runFrom >= 0 && b0 <= runTo) {
          runTo = std::max(runTo, b1);
        } else {
          emit();
          runFrom = b0;
          runTo = b1;
        }
        bits = first + length >= 64 ? 0 : bits & (~std::uint64_t{0} << (first + length));
      }
    }
    emit();
    // The same runs as the band just above: that band grows down instead.
    const std::size_t count = out.size() - start;
    bool same = blockRow == lastBlockRow + 1 && start - bandStart == count;
    for (std::size_t k = 0; same && k < count; ++k) {
      same = out[bandStart + k].x0 == out[start + k].x0 && out[bandStart + k].x1 == out[start + k].x1;
    }
    if (same) {
      for (std::size_t k = 0; k < count; ++k) out[bandStart + k].y1 = bottom;
      out.resize(start);
    } else {
      bandStart = start;
    }
    lastBlockRow = blockRow;
  }
  return out;
}

}  // namespace orbelune
