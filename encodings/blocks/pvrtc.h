// PVRTC I (2 and 4 bits a pixel): 64-bit little-endian words, each with two colours (A and B) and the
// modulation of 8 x 4 (2 bpp) or 4 x 4 (4 bpp) pixels, stored in Morton (twiddled) order. The A and B images are
// the words' colours upscaled bilinearly between word centres, wrapping around the image edges; each pixel
// blends them by its modulation weight. A pixel depends on neighbouring words, so PVRTC has its own walk: the full
// decode, and a sampler that reads only the words around the sampled pixels.
#pragma once

#include <cstdint>

#include "encodings/convert.h"
#include "io/buffers.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

// The word grid of a PVRTC level: at least 2 x 2 words, powers of two across and down.
struct PvrtcGrid {
  int32_t across = 0, down = 0;
  bool twoBpp = false;
  int32_t wordWidth() const { return twoBpp ? 8 : 4; }
};
// The grid of a width x height level; false when the sizes are not powers of two.
bool PvrtcGridOf(PixelFormat format, int32_t width, int32_t height, PvrtcGrid* grid);
// The byte offset of word (x, y) in a level: x and y bits interleaved (y in the lower bit of each pair) for as
// many bits as the smaller side has, then the rest of the longer side's bits.
uint64_t PvrtcWordOffset(const PvrtcGrid& grid, uint32_t x, uint32_t y);

// Where a PVRTC level's words are.
struct PvrtcLevel {
  ByteSource* source = nullptr;
  uint64_t offset = 0;
  PixelFormat format = PixelFormat::PVRTC4BPP;
  int32_t width = 0, height = 0;
};

// The sampled path's rows of a PVRTC level. Words are read in square Morton tiles (contiguous in the file) of
// the tile rows and columns that samples touch; a few tile rows are kept.
class PvrtcSampler {
 public:
  [[nodiscard]] bool Begin(const PvrtcLevel& image, const int32_t* columns, int32_t columnCount,
                           DecodeFailure* failure);
  // The pixels of stored row `row` at the columns given to Begin.
  [[nodiscard]] bool Row(const PvrtcLevel& image, int32_t row, uint32_t* out, DecodeFailure* failure);

  // Word (x, y) of the tiles loaded; x and y inside the grid.
  uint64_t Word(int32_t x, int32_t y) const;

 private:
  struct TileRow {
    int32_t index = -1;
    uint64_t lastUse = 0;
    ByteBuffer bytes;
    const uint8_t* data = nullptr;
  };
  bool LoadTileRow(const PvrtcLevel& image, int32_t tileRow, const bool* keep, DecodeFailure* failure);

  const int32_t* columns_ = nullptr;
  int32_t columnCount_ = 0;
  PvrtcGrid grid_;
  int32_t tileSide_ = 0, tileShift_ = 0;
  Scratch<int32_t> tileSlot_{0};     // per tile column: its place in a loaded tile row, or -1 when not sampled
  Scratch<int32_t> tileColumns_{0};  // the sampled tile columns, increasing
  int32_t tileColumnCount_ = 0;
  TileRow rows_[3];
  uint64_t uses_ = 0;
};

}  // namespace mirelth
