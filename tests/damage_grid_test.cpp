#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

#include "cairo/damage_grid.h"

namespace orbelune {
namespace {

constexpr int T = DamageGrid::kTile;

// The tiles each box covers, as (column, row).
std::set<std::pair<int, int>> tilesCovered(const std::vector<PixelBox>& boxes) {
  std::set<std::pair<int, int>> tiles;
  for (const auto& b : boxes) {
    for (int y = b.y0; y < b.y1; y += T) {
      for (int x = b.x0; x < b.x1; x += T) tiles.insert({x / T, y / T});
    }
  }
  return tiles;
}

// X11 takes YXBanded clip lists as they are: bands top to bottom, each box of
// a band as tall as the band, left to right without overlap.
void expectBanded(const std::vector<PixelBox>& boxes) {
  for (std::size_t i = 1; i < boxes.size(); ++i) {
    const PixelBox &a = boxes[i - 1], &b = boxes[i];
    if (a.y0 == b.y0) {
      EXPECT_EQ(a.y1, b.y1);
      EXPECT_LE(a.x1, b.x0);
    } else {
      EXPECT_LE(a.y1, b.y0);
    }
  }
}

TEST(DamageGridTest, BoxesCoverExactlyTheMarkedTilesInBandsAndClearForgetsThem) {
  const int width = 301, height = 157;  // neither a whole number of tiles nor of words
  DamageGrid grid;
  grid.resize(width, height);
  std::mt19937 random(7);
  std::set<std::pair<int, int>> marked;
  for (int i = 0; i < 200; ++i) {
    const int x = static_cast<int>(random() % (width + 20)) - 10, y = static_cast<int>(random() % (height + 20)) - 10;
    const PixelBox box{x, y, x + static_cast<int>(random() % 40) + 1, y + static_cast<int>(random() % 9) + 1};
    grid.add(box);
    if (box.x1 <= 0 || box.y1 <= 0 || box.x0 >= width || box.y0 >= height) continue;
    for (int ty = std::max(box.y0, 0) / T; ty <= (std::min(box.y1, height) - 1) / T; ++ty) {
      for (int tx = std::max(box.x0, 0) / T; tx <= (std::min(box.x1, width) - 1) / T; ++tx) marked.insert({tx, ty});
    }
  }
  const auto boxes = grid.boxes();
  expectBanded(boxes);
  EXPECT_EQ(tilesCovered(boxes), marked);
  for (const auto& b : boxes) {
    EXPECT_GE(b.x0, 0);
    EXPECT_GE(b.y0, 0);
    EXPECT_LE(b.x1, width);
    EXPECT_LE(b.y1, height);
  }

  // Coarse boxes: blocks of 4 x 4 tiles, every marked tile inside one, still banded.
  const auto coarse = grid.boxes(4);
  expectBanded(coarse);
  EXPECT_LT(coarse.size(), boxes.size());
  const auto coarseTiles = tilesCovered(coarse);
  for (const auto& t : marked) EXPECT_TRUE(coarseTiles.count(t)) << t.first << "," << t.second;
  for (const auto& b : coarse) {
    EXPECT_EQ(b.x0 % (4 * T), 0);
    EXPECT_EQ(b.y0 % (4 * T), 0);
  }

  // Marks kept for a path and added later mark the same tiles; another grid adds its own.
  DamageGrid copy;
  copy.resize(width, height);
  std::vector<DamageGrid::Mark> marks;
  for (const auto& b : boxes) grid.marksOf(b, marks);
  DamageGrid::compact(marks);
  copy.add(marks);
  EXPECT_EQ(tilesCovered(copy.boxes()), marked);
  DamageGrid sum;
  sum.resize(width, height);
  sum.add(copy);
  EXPECT_EQ(tilesCovered(sum.boxes()), marked);

  grid.clear();
  EXPECT_TRUE(grid.empty());
  EXPECT_TRUE(grid.boxes().empty());
  grid.add(PixelBox{0, 0, 1, 1});
  EXPECT_EQ(grid.boxes().size(), 1u);
}

TEST(DamageGridTest, RowsWithTheSameRunsJoinOneBand) {
  DamageGrid grid;
  grid.resize(200, 100);
  grid.add(PixelBox{10, 10, 30, 60});  // two boxes side by side, same rows
  grid.add(PixelBox{100, 10, 130, 60});
  const auto boxes = grid.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].y0, 8);
  EXPECT_EQ(boxes[0].y1, 60);
  EXPECT_EQ(boxes[1].y1, 60);
  EXPECT_EQ(boxes[0].x1, 32);
  EXPECT_EQ(boxes[1].x0, 100);
}

}  // namespace
}  // namespace orbelune
