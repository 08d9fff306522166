// Thumbnails as filtered footprints: the one rule that maps thumbnail pixels to image samples and averages them,
// shared by the sampled path (which decodes only the sampled pixels) and the reference path (full decode, then
// the same filter), so that the two agree pixel for pixel.
//   Footprint of thumbnail column d in an image W wide, thumbnail t wide: [x0, x1), x0 = floor(d W / t),
//   x1 = max(x0 + 1, floor((d + 1) W / t)); rows alike. Samples: every column of the footprint when it is at most
//   4 wide, else the 4 columns x0 + floor((2i + 1)(x1 - x0) / 8). Value: the alpha-weighted mean of the samples.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "io/buffers.h"
#include "io/failure.h"
#include "picture/bitmap.h"

namespace mirelth {

// The thumbnail of a width x height image that fits cx by cx: the longer side is cx, the shorter
// max(1, round(cx x short / long)).
void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight);

// The samples of one axis: the distinct sampled positions (increasing) and, for each thumbnail position, the
// range of them its footprint averages (contiguous, at most 4).
struct AxisSamples {
  int32_t thumbSize = 0, imageSize = 0;
  int32_t count = 0;              // distinct sampled positions
  Scratch<int32_t> positions{0};  // count of them, increasing
  Scratch<int32_t> first{0};      // per thumbnail position: index of its first sample
  Scratch<uint8_t> span{0};       // per thumbnail position: how many samples (1..4)
};
bool PlanAxis(int32_t thumbSize, int32_t imageSize, AxisSamples* axis);

// A picture read a row at a time, at chosen columns: stored rows in increasing order, each once.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // The stored columns (increasing) every Row gives values for, and the stored rows (increasing) that Row will
  // be asked for, in that order, each once.
  [[nodiscard]] virtual bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
                                   DecodeFailure* failure) = 0;
  // The display values (0xAARRGGBB, after every conversion) of the wanted columns of rows[index].
  [[nodiscard]] virtual bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) = 0;
};

// How a picture's stored rows and columns map to the picture.
struct RowGeometry {
  int32_t width = 0, height = 0;
  bool topDown = true;       // the first stored row is the top of the picture
  bool rightToLeft = false;  // stored columns run right to left
  // When every pixel's alpha is 0 the picture is drawn opaque (writers that fill an unused alpha byte with 0);
  // a thumbnail decides this on the pixels it samples.
  bool zeroAlphaOpaque = false;
};

// The tw x th thumbnail of the picture through the filter, reading only the sampled rows and columns.
bool DrawFiltered(RowSource& source, const RowGeometry& geometry, int32_t tw, int32_t th, HBITMAP* bitmap,
                  DecodeFailure* failure);

// The whole picture at its own size, a row at a time (the full path of row pictures). At most 2^28 pixels.
bool DrawRowsFull(RowSource& source, const RowGeometry& geometry, HBITMAP* bitmap, BITMAPINFO* info,
                  DecodeFailure* failure);

// Rows of a decoded bitmap (picture rows, top first): the reference path's source.
class BitmapRows final : public RowSource {
 public:
  explicit BitmapRows(const BitmapPixels& pixels) : pixels_(pixels) {}
  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override;
  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override;

 private:
  BitmapPixels pixels_;
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
};

// A new bitmap for a picture or thumbnail of this size, or null with the reason.
UniqueBitmap CreateSizedBitmap(int32_t width, int32_t height, uint8_t** bits, BITMAPINFO* info, DecodeFailure* failure);

}  // namespace mirelth
