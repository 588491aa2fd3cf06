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
// what a frame drew, or what a host must show of it. Tiles are small so a thin
// curve marks little more than its own pixels; a host that sends each box as a
// request of its own asks for coarser boxes, several tiles to a side.
// Each row of tiles is a bitset; marking, clearing and listing cost the rows
// touched, not the size of the surface.
class DamageGrid {
 public:
  static constexpr int kTile = 4;
  // Tiles to a side of the boxes for hosts that send a request a box: 16 pixels.
  static constexpr int kTilesPerRequestBox = 4;
  // Tiles of one row, 64 columns to a word: the columns 64 * word + i for
  // every bit i set in `bits`.
  struct Mark {
    std::uint32_t row, word;
    std::uint64_t bits;
  };

  void resize(int width, int height);
  int columns() const { return columns_; }
  // Marks every tile the box touches (clipped to the surface).
  void add(const PixelBox& box);
  void add(const std::vector<Mark>& marks);
  void add(const DamageGrid& other);  // of the same size
  void clear();
  bool empty() const { return dirtyRows_.empty(); }
  // The marked tiles as boxes clipped to the surface, in blocks of `scale` x
  // `scale` tiles (a block with any tile marked counts whole). A run of blocks
  // in a row is one box; a row whose runs are the same as the row above's
  // joins its band. The boxes come in bands, top to bottom, left to right in a
  // band, every box of a band as tall as the band: X11's YXBanded order.
  std::vector<PixelBox> boxes(int scale = 1) const;
  // The marks of the tiles a box touches, appended, for callers that mark the
  // same pixels often.
  void marksOf(const PixelBox& box, std::vector<Mark>& out) const;
  // Sorts marks by row and word and joins those of the same word.
  static void compact(std::vector<Mark>& marks);

 private:
  void markRow(std::uint32_t row);

  int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0, wordsPerRow_ = 0;
  std::vector<std::uint64_t> words_;     // rows_ x wordsPerRow_
  std::vector<std::uint8_t> rowDirty_;   // a row with any tile marked
  std::vector<std::uint32_t> dirtyRows_;  // those rows, in the order first marked
};

}  // namespace orbelune
