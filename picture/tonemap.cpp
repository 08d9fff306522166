#include "picture/tonemap.h"

#include <cstring>

#include "encodings/conversion_rules.h"

namespace mirelth {

uint32_t ToneMapPixel(const float* rgba, double whitePoint) {
  const SrgbTables& srgb = SrgbEncodeTables();
  float colour[3] = {FiniteLinear(rgba[0]), FiniteLinear(rgba[1]), FiniteLinear(rgba[2])};
  if (whitePoint > 1.0) {
    const double y = 0.2126 * colour[0] + 0.7152 * colour[1] + 0.0722 * colour[2];
    const double scale = y > 0.0 ? (1.0 + y / (whitePoint * whitePoint)) / (1.0 + y) : 0.0;  // T / Y
    for (float& c : colour) c = static_cast<float>(c * scale);
  }
  uint32_t pixel = uint32_t{AlphaByteFromFloat(rgba[3])} << 24;
  static constexpr uint32_t kPlace[3] = {16, 8, 0};
  for (int c = 0; c < 3; ++c) {
    uint32_t bits;
    std::memcpy(&bits, &colour[c], 4);
    pixel |= uint32_t{SrgbByteFromBits(srgb, bits)} << kPlace[c];
  }
  return pixel;
}

bool ToneMappedRows::Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
                           DecodeFailure* failure) {
  columnCount_ = columnCount;
  row_ = Scratch<float>(static_cast<size_t>(columnCount) * 4);
  if (!row_) return Fail(failure, FailureKind::OutOfMemory, "no float row");
  const uint64_t keptBytes = uint64_t(columnCount) * uint64_t(rowCount) * 16;
  keeping_ = keptBytes <= kKeptBytes;
  if (keeping_) {
    kept_ = Scratch<float>(static_cast<size_t>(keptBytes / 4));
    keeping_ = static_cast<bool>(kept_);
  }
  // The first pass: the white point over every value the draw takes.
  if (!floats_.Begin(columns, columnCount, rows, rowCount, failure)) return false;
  double largest = 1.0;
  const size_t rowFloats = static_cast<size_t>(columnCount) * 4;
  for (int32_t i = 0; i < rowCount; ++i) {
    float* row = keeping_ ? kept_.get() + static_cast<size_t>(i) * rowFloats : row_.get();
    if (!floats_.FloatRow(i, row, failure)) return false;
    for (int32_t x = 0; x < columnCount; ++x) {
      const float* p = row + 4 * static_cast<size_t>(x);
      const double y = Luminance(p[0], p[1], p[2]);
      if (y > largest) largest = y;
    }
  }
  whitePoint_ = largest;
  if (found_) *found_ = largest;
  return keeping_ || floats_.Begin(columns, columnCount, rows, rowCount, failure);
}

bool ToneMappedRows::Row(int32_t index, uint32_t* out, DecodeFailure* failure) {
  const float* row = row_.get();
  if (keeping_) {
    row = kept_.get() + static_cast<size_t>(index) * static_cast<size_t>(columnCount_) * 4;
  } else if (!floats_.FloatRow(index, row_.get(), failure)) {
    return false;
  }
  for (int32_t x = 0; x < columnCount_; ++x) out[x] = ToneMapPixel(row + 4 * static_cast<size_t>(x), whitePoint_);
  return true;
}

bool FloatPixelRows::Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t, DecodeFailure*) {
  columns_ = columns;
  columnCount_ = columnCount;
  rows_ = rows;
  return true;
}

bool FloatPixelRows::FloatRow(int32_t index, float* out, DecodeFailure*) {
  const float* row = pixels_ + static_cast<size_t>(rows_[index]) * static_cast<size_t>(width_) * 4;
  for (int32_t i = 0; i < columnCount_; ++i) std::memcpy(out + 4 * i, row + 4 * static_cast<size_t>(columns_[i]), 16);
  return true;
}

}  // namespace mirelth
