// The rules that turn stored channel values into display bytes, shared by every encoding:
//   U(n)    unsigned normalised: n <= 8 widens by bit replication, n > 8 rounds v * 255 / (2^n - 1);
//   S(n)    signed normalised: max(v, -(2^(n-1) - 1)) / (2^(n-1) - 1) mapped from -1..1 onto 0..255, rounded;
//   F       floats are linear light: colour = round(255 * sRGB(clamp(f, 0, 1))), alpha = round(255 * clamp(f, 0, 1)),
//           NaN -> 0 (exact, through thresholds: no per-pixel pow);
//   premul  premultiplied colour is divided by its alpha: a = 0 -> (0, 0, 0, 0), else min(255, (c 255 + a/2) / a).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mirelth {

// Bit replication as one multiply and shift: v * mul >> down repeats the n-bit v down to 8 bits
// (n = 5: v * 33 >> 2 = (v << 3) | (v >> 2); n = 6: v * 65 >> 4 = (v << 2) | (v >> 4); n = 4: v * 17).
inline constexpr uint32_t kReplicateMultiplier[9] = {0, 255, 85, 73, 17, 33, 65, 129, 1};
inline constexpr uint32_t kReplicateShift[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};

// U(n) for 1 <= n <= 32.
inline uint32_t UnormToByte(uint32_t v, uint32_t bits) {
  if (bits <= 8) return (v * kReplicateMultiplier[bits]) >> kReplicateShift[bits];
  const uint64_t maximum = (uint64_t{1} << bits) - 1;
  return static_cast<uint32_t>((uint64_t{v} * 255 + maximum / 2) / maximum);
}

// S(n) for 2 <= n <= 32; `v` is the sign-extended value.
inline uint32_t SnormToByte(int32_t v, uint32_t bits) {
  const int64_t m = (int64_t{1} << (bits - 1)) - 1;
  const int64_t clamped = v < -m ? -m : v;
  return static_cast<uint32_t>((255 * (clamped + m) + m) / (2 * m));
}

// Sign-extends the low `bits` bits of `v`.
inline int32_t SignExtend(uint32_t v, uint32_t bits) {
  const uint32_t shift = 32 - bits;
  return static_cast<int32_t>(v << shift) >> shift;
}

// F for a single-precision value, as colour (sRGB curve) and as alpha (linear).
uint8_t LinearToSrgbByte(float value);
uint8_t LinearToAlphaByte(float value);

// Half floats: to single precision, and F through 64K-entry tables.
float HalfToFloat(uint16_t half);
struct HalfTables {
  uint8_t colour[65536];
  uint8_t alpha[65536];
};
const HalfTables& HalfToByteTables();

// The unsigned 11- and 10-bit floats of R11G11B10 (5-bit exponent, 6- or 5-bit mantissa, no sign).
float SmallFloatToFloat(uint32_t bits, uint32_t mantissaBits);

inline float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// premul on BGRA pixels (0xAARRGGBB), in place.
void Unpremultiply(uint32_t* pixels, size_t count);
// Alpha 255 on every pixel, in place.
void MakeOpaque(uint32_t* pixels, size_t count);

}  // namespace mirelth
