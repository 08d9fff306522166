// Nearest-pixel sampling: the one mapping from thumbnail pixels to image pixels, shared by the sampled
// thumbnail path (which decodes only the pixels it keeps) and the reference path (full decode, then stretch).
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "pixels/failure.h"
#include "pixels/source_image.h"

namespace mirelth {

// The image pixel under the centre of thumbnail pixel d: floor((2d + 1) x imageSize / (2 x thumbSize)).
inline int32_t NearestSource(int32_t d, int32_t thumbSize, int32_t imageSize) {
  return static_cast<int32_t>((2 * int64_t{d} + 1) * imageSize / (2 * int64_t{thumbSize}));
}

// The thumbnail of a width x height image that fits cx by cx: the longer side is cx, the shorter
// max(1, round(cx x short / long)).
void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight);

// A small buffer from the non-throwing allocator; empty when there is no memory.
template <typename T>
struct Scratch {
  std::unique_ptr<T[]> data;
  explicit Scratch(size_t count) : data(new (std::nothrow) T[count ? count : 1]()) {}
  explicit operator bool() const { return data != nullptr; }
  T& operator[](size_t i) { return data[i]; }
  const T& operator[](size_t i) const { return data[i]; }
  T* get() { return data.get(); }
};

// The thumbnail's size and, for each of its columns and rows, the image column and row it shows.
struct SampleGrid {
  int32_t width = 0, height = 0;            // thumbnail
  int32_t imageWidth = 0, imageHeight = 0;  // image
  Scratch<int32_t> columns{0};
  Scratch<int32_t> rows{0};
};
// False when the maps cannot be allocated.
bool MakeSampleGrid(int32_t imageWidth, int32_t imageHeight, uint32_t cx, SampleGrid* grid);

// Stretches a 32-bit bottom-up image onto a bottom-up thumbnail with the mapping above.
void StretchNearest(const uint8_t* imageBits, int32_t imageWidth, int32_t imageHeight, uint8_t* thumbBits,
                    int32_t thumbWidth, int32_t thumbHeight);

// Draws the thumbnail of a located level 0 by decoding only the sampled pixels (whole blocks for block
// formats, each block once per group of thumbnail rows that share its block row) into a new bitmap.
// `mirrored`: the image's columns are stored right to left.
bool SampleSourceImage(const SourceImage& image, bool mirrored, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure);

// The result bitmap of a sampled thumbnail: grid.width x grid.height, its pixels at `bits`.
UniqueBitmap CreateThumbnailBitmap(const SampleGrid& grid, uint8_t** bits, DecodeFailure* failure);

}  // namespace mirelth
