// F without a per-pixel pow: for each output byte k the smallest float that rounds to k or more is found once
// (bisection on the float's bit pattern with the exact double-precision formula), and a 32K-entry table indexed
// by the top bits of a float in [0, 1] gives the output at the start of its bucket; at most a step or two of
// comparisons against the thresholds then gives the exact byte.
#include "encodings/conversion_rules.h"

#include <cmath>
#include <cstring>

namespace mirelth {
namespace {

constexpr uint32_t kOneBits = 0x3F800000u;  // 1.0f
constexpr uint32_t kBucketShift = 15;
constexpr uint32_t kBuckets = (kOneBits >> kBucketShift) + 1;
static_assert(sizeof(SrgbTables::bucket) == kBuckets);

uint32_t SrgbByteExact(float value) {
  const double v = value;
  const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  return static_cast<uint32_t>(std::floor(255.0 * encoded + 0.5));
}

void Fill(SrgbTables* t) {
  t->threshold[0] = 0;
  for (uint32_t k = 1; k <= 255; ++k) {
    uint32_t low = 0, high = kOneBits;  // the byte of `high` is 255 >= k
    while (low < high) {
      const uint32_t middle = low + (high - low) / 2;
      if (SrgbByteExact(FloatFromBits(middle)) >= k) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    t->threshold[k] = low;
  }
  t->threshold[256] = UINT32_MAX;
  uint32_t k = 0;
  for (uint32_t b = 0; b < kBuckets; ++b) {
    const uint32_t start = b << kBucketShift;
    while (k < 255 && start >= t->threshold[k + 1]) ++k;
    t->bucket[b] = static_cast<uint8_t>(k);
  }
  // The last bucket holds only 1.0 itself: 255. (threshold[256] stops every lookup at 255.)
}

}  // namespace

// Static storage, filled once at first use (thread-safe: the guard is a function-local static).
const SrgbTables& SrgbEncodeTables() {
  static SrgbTables tables;
  static const bool filled = (Fill(&tables), true);
  (void)filled;
  return tables;
}

uint8_t LinearToSrgbByte(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return SrgbByteFromBits(SrgbEncodeTables(), bits);
}

uint8_t LinearToAlphaByte(float value) { return AlphaByteFromFloat(value); }

const HalfTables& HalfToByteTables() {
  static HalfTables tables;
  static const bool filled = [] {
    for (uint32_t h = 0; h < 65536; ++h) {
      const float f = HalfToFloat(static_cast<uint16_t>(h));
      tables.colour[h] = LinearToSrgbByte(f);
      tables.alpha[h] = LinearToAlphaByte(f);
    }
    return true;
  }();
  (void)filled;
  return tables;
}

namespace {

struct PremulTable {
  uint8_t value[256][256];  // [a][c]
};
const PremulTable& Premul() {
  static PremulTable table;
  static const bool filled = [] {
    for (uint32_t a = 0; a < 256; ++a) {
      for (uint32_t c = 0; c < 256; ++c) {
        const uint32_t v = a == 0 ? 0 : (c * 255 + a / 2) / a;
        table.value[a][c] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
    }
    return true;
  }();
  (void)filled;
  return table;
}

}  // namespace

void Unpremultiply(uint32_t* pixels, size_t count) {
  const PremulTable& t = Premul();
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = pixels[i];
    const uint32_t a = p >> 24;
    if (a == 255) continue;
    const uint8_t* row = t.value[a];
    pixels[i] =
        (a << 24) | (uint32_t{row[(p >> 16) & 0xFF]} << 16) | (uint32_t{row[(p >> 8) & 0xFF]} << 8) | row[p & 0xFF];
  }
}

void MakeOpaque(uint32_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) pixels[i] |= 0xFF000000u;
}

}  // namespace mirelth
