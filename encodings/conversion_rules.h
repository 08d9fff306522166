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

// U(n) for 9 <= n <= 16 without a division: (v 255 + max/2) / max as one multiply by ceil(2^48 / max), exact
// because the dividend stays below 2^24.
struct UnormDivider {
  uint32_t half;
  uint64_t magic;
  explicit UnormDivider(uint32_t bits)
      : half(((1u << bits) - 1) / 2), magic(((uint64_t{1} << 48) + (1u << bits) - 2) / ((1u << bits) - 1)) {}
  uint32_t Byte(uint32_t v) const { return static_cast<uint32_t>(((uint64_t{v} * 255 + half) * magic) >> 48); }
};

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

// The tables behind LinearToSrgbByte, for loops that hoist them: for each output byte k the bits of the smallest
// float in [0, 1] that rounds to k or more, and for each bucket of floats (bits >> 15) the byte at its start.
struct SrgbTables {
  uint32_t threshold[257];
  uint8_t bucket[(0x3F800000u >> 15) + 1];
};
const SrgbTables& SrgbEncodeTables();
// Branch-free: negatives and NaN read as 0, values of 1 and above as 1 (whose bucket is 255); no bucket holds more
// than one threshold (checked when the tables are made), so one comparison finishes the lookup.
inline uint8_t SrgbByteFromBits(const SrgbTables& t, uint32_t bits) {
  uint32_t b = bits >= 0x7F800001u ? 0 : bits;  // negative (sign bit set) and NaN
  b = b > 0x3F800000u ? 0x3F800000u : b;
  const uint32_t k = t.bucket[b >> 15];
  return static_cast<uint8_t>(k + (b >= t.threshold[k + 1] ? 1u : 0u));
}
inline uint8_t AlphaByteFromFloat(float value) {
  if (!(value > 0.0f)) return 0;  // NaN too
  if (value >= 1.0f) return 255;
  return static_cast<uint8_t>(static_cast<double>(value) * 255.0 + 0.5);
}

// Half floats to display bytes (F) through 64K-entry tables.
struct HalfTables {
  uint8_t colour[65536];
  uint8_t alpha[65536];
};
const HalfTables& HalfToByteTables();

// The unsigned 11- and 10-bit floats of R11G11B10 (5-bit exponent, 6- or 5-bit mantissa, no sign), as the bits
// of the same single-precision value.
inline uint32_t SmallFloatBits(uint32_t bits, uint32_t mantissaBits) {
  const uint32_t exponent = (bits >> mantissaBits) & 0x1Fu;
  const uint32_t mantissa = bits & ((1u << mantissaBits) - 1);
  const uint32_t placed = mantissa << (23 - mantissaBits);
  // Subnormal: mantissa x 2^(-14 - mantissaBits), exact in single precision.
  const float subnormal = static_cast<float>(mantissa) * (mantissaBits == 6 ? 0x1p-20f : 0x1p-19f);
  uint32_t small;
  std::memcpy(&small, &subnormal, 4);
  const uint32_t normal = exponent == 0x1F ? 0x7F800000u | placed : ((exponent + 112) << 23) | placed;
  return exponent == 0 ? small : normal;
}
inline float SmallFloatToFloat(uint32_t bits, uint32_t mantissaBits) {
  const uint32_t out = SmallFloatBits(bits, mantissaBits);
  float value;
  std::memcpy(&value, &out, 4);
  return value;
}

inline float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// Half floats to single precision (inline: the float decoders call it for every value).
inline float HalfToFloat(uint16_t half) {
  const uint32_t sign = uint32_t{half & 0x8000u} << 16;
  const uint32_t exponent = (half >> 10) & 0x1Fu;
  uint32_t mantissa = half & 0x3FFu;
  uint32_t bits;
  if (exponent == 0x1F) {
    bits = sign | 0x7F800000u | (mantissa << 13);  // infinity or NaN
  } else if (exponent != 0) {
    bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
  } else if (mantissa == 0) {
    bits = sign;
  } else {
    // Subnormal: normalise.
    uint32_t e = 113;
    while ((mantissa & 0x400u) == 0) {
      mantissa <<= 1;
      --e;
    }
    bits = sign | (e << 23) | ((mantissa & 0x3FFu) << 13);
  }
  return FloatFromBits(bits);
}

// A single-precision value as the nearest half float (ties to even; too large: infinity; NaN stays NaN).
inline uint16_t FloatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
  const uint32_t exponent = (bits >> 23) & 0xFFu;
  const uint32_t mantissa = bits & 0x7FFFFFu;
  if (exponent == 0xFF) {  // infinity, or NaN kept a NaN
    return static_cast<uint16_t>(sign | 0x7C00u | (mantissa ? 0x200u | (mantissa >> 13) : 0u));
  }
  const int e = static_cast<int>(exponent) - 127 + 15;
  if (e >= 31) return static_cast<uint16_t>(sign | 0x7C00u);  // too large: infinity
  if (e <= 0) {
    // Subnormal or zero: the mantissa with its implicit bit, shifted into place, rounded to nearest even.
    if (e < -10) return sign;
    const uint32_t m = mantissa | 0x800000u;
    const int shift = 14 - e;
    const uint32_t half = m >> shift;
    const uint32_t rest = m & ((1u << shift) - 1), middle = 1u << (shift - 1);
    const uint32_t rounded = half + ((rest > middle || (rest == middle && (half & 1))) ? 1u : 0u);
    return static_cast<uint16_t>(sign | rounded);
  }
  const uint32_t half = (static_cast<uint32_t>(e) << 10) | (mantissa >> 13);
  const uint32_t rest = mantissa & 0x1FFFu;
  // Rounding may carry into the exponent (and up to infinity), as it should.
  const uint32_t rounded = half + ((rest > 0x1000u || (rest == 0x1000u && (half & 1))) ? 1u : 0u);
  return static_cast<uint16_t>(sign | rounded);
}

// premul on BGRA pixels (0xAARRGGBB), in place.
void Unpremultiply(uint32_t* pixels, size_t count);
// Alpha 255 on every pixel, in place.
void MakeOpaque(uint32_t* pixels, size_t count);

}  // namespace mirelth
