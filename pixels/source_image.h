// A located level 0: where its pixels are, how they are encoded and how big it is. Containers fill one after
// proving it fits in the file; DecodeSourceImage then makes the bitmap and converts into it.
#pragma once

#include <cstdint>

#include "pixels/bitmap.h"
#include "pixels/convert.h"
#include "pixels/failure.h"

namespace mirelth {

struct SourceImage {
  const uint8_t* pixels = nullptr;  // first byte of level 0 (first block for block formats)
  int64_t pitch = 0;                // bytes from one source row to the next (plain formats)
  int32_t format = kNoPixelFormat;  // PixelFormat code
  int32_t order = BGRA;             // ChannelOrder code of the source
  int32_t width = 0;
  int32_t height = 0;
  bool flip = true;  // rows stored top first (the bitmap is bottom-up)
  bool usePacked16 = false;         // 16-bit pixels described by `packed16` instead of `format`
  Packed16Layout packed16 = {};
};

// Bytes a level of this format and size occupies: pitch x height for plain formats, whole 4x4 blocks for
// block formats. False when the format is unknown or the size does not fit in 64 bits.
bool LevelBytes(int32_t format, uint64_t width, uint64_t height, uint64_t* bytes, uint64_t* pitch);

// Creates a bitmap of the image's size and converts level 0 into it. On failure no bitmap exists.
bool DecodeSourceImage(const SourceImage& image, HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure);

}  // namespace mirelth
