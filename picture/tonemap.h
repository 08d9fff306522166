// HDR values are tone mapped, not clipped. The linear colour of every float and HDR source (half and single
// floats, BC6H, R11G11B10, RGB9E5) is first made finite (NaN and negatives 0, +Inf the largest half, 65504); its
// luminance is Y = 0.2126 R + 0.7152 G + 0.0722 B; the white point Lw is the largest Y among the pixels drawn
// (every sample of a thumbnail, every pixel of a full-size picture), at least 1. Each pixel's colour is scaled by
// T / Y with T = Y (1 + Y / Lw^2) / (1 + Y), then clamped to 0..1 and put through the sRGB curve; alpha is drawn as
// F draws it. With no value above 1 (Lw = 1) T = Y: the picture is exactly what F drew before.
#pragma once

#include <cstdint>

#include "io/buffers.h"
#include "io/failure.h"
#include "picture/filter.h"

namespace mirelth {

// The largest finite half float: what +Inf becomes.
inline constexpr float kLargestHalf = 65504.0f;

// A linear colour value made finite and non-negative.
inline float FiniteLinear(float v) {
  if (!(v > 0.0f)) return 0.0f;  // NaN and negatives
  return v > kLargestHalf ? kLargestHalf : v;
}
inline double Luminance(float r, float g, float b) {
  return 0.2126 * FiniteLinear(r) + 0.7152 * FiniteLinear(g) + 0.0722 * FiniteLinear(b);
}

// One linear R, G, B, A pixel as the display value 0xAARRGGBB under the white point `whitePoint` (>= 1).
uint32_t ToneMapPixel(const float* rgba, double whitePoint);

// A picture read a row at a time as linear floats (R, G, B, A a column), at chosen columns: the same contract as
// RowSource (stored rows in increasing order, each once a Begin).
class FloatRowSource {
 public:
  virtual ~FloatRowSource() = default;
  [[nodiscard]] virtual bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
                                   DecodeFailure* failure) = 0;
  [[nodiscard]] virtual bool FloatRow(int32_t index, float* out, DecodeFailure* failure) = 0;
};

// Display rows of a float source through the tone mapping: Begin reads every wanted row once to find the white
// point (the rows the draw will take: a thumbnail's samples, or every pixel), and each Row is tone mapped under
// that white point. The rows read are kept when they fit in kKeptBytes (a thumbnail's samples do), else the source
// is begun anew and read a second time (a full-size picture).
class ToneMappedRows final : public RowSource {
 public:
  // `found`, when given, receives the white point once Begin has found it.
  explicit ToneMappedRows(FloatRowSource& floats, double* found = nullptr) : floats_(floats), found_(found) {}
  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override;
  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override;
  double whitePoint() const { return whitePoint_; }

  static constexpr uint64_t kKeptBytes = uint64_t{64} << 20;

 private:
  FloatRowSource& floats_;
  double* found_;
  int32_t columnCount_ = 0;
  double whitePoint_ = 1.0;
  Scratch<float> row_{0};
  Scratch<float> kept_{0};  // every wanted row, when they fit
  bool keeping_ = false;
};

// Linear floats held in memory, top row first (the reference path's source): `pixels` width x height x 4.
class FloatPixelRows final : public FloatRowSource {
 public:
  FloatPixelRows(const float* pixels, int32_t width) : pixels_(pixels), width_(width) {}
  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override;
  bool FloatRow(int32_t index, float* out, DecodeFailure* failure) override;

 private:
  const float* pixels_;
  int32_t width_;
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
};

}  // namespace mirelth
