#pragma once
#include <cstdint>
#include <vector>

namespace orbelune {

// A box of device pixels: x0 <= x < x1, y0 <= y < y1.
struct PixelBox {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  long long area() const { return empty() ? 0 : static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// The parts of a surface something touched, in tiles of kTile x kTile pixels:
// what a frame drew, or what a host must show of it. Coarse on purpose: a thin
// curve marks a band of tiles that a few hundred boxes cover, where its exact
// pixels would take thousands.
class DamageGrid {
 public:
  static constexpr int kTile = 16;

  void resize(int width, int height);
  int columns() const { return columns_; }
  // Marks every tile the box touches (clipped to the surface).
  void add(const PixelBox& box);
  // Marks tiles by index (row * columns() + column).
  void addTiles(const std::vector<std::uint32_t>& tiles);
  void add(const DamageGrid& other);  // of the same size
  void clear();
  bool empty() const { return count_ == 0; }
  // The marked tiles as boxes clipped to the surface: a run of tiles in a row
  // is one box, and a run repeated in the rows below grows downwards.
  std::vector<PixelBox> boxes() const;
  // The tile indices a box touches, for callers that mark the same pixels often.
  std::vector<std::uint32_t> tilesOf(const PixelBox& box) const;

 private:
  int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
  std::vector<std::uint8_t> marked_;
  std::size_t count_ = 0;
};

}  // namespace orbelune
