// BC4 and BC5 blocks: one (BC4) or two (BC5: red, then green) 8-byte channel blocks of two endpoints and 3-bit
// indices, pixel k in bits 3k of bytes 2..7. Unsigned palettes are the integer ones of DXT5's alpha (e0 > e1:
// eight values, else six, 0 and 255); signed endpoints are -127..127 (-128 reads as -127), their palette
// (e0 > e1: eight values, else six, -127 and 127) mapped through S(8) exactly from the rational value, so that
// interpolated values round as the float definition does. BC4 draws gray. BC5 holds tangent-space normal maps:
// it draws (R, G, B) with B the third axis z = sqrt(max(0, 1 - x^2 - y^2)) of the two channels as [-1, 1]
// (unsigned: 2v - 1; signed: the exact stored value), B = round(255 (z + 1) / 2).
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encodings/blocks/blocks.h"

namespace mirelth {
namespace {

// The eight display bytes of an unsigned channel block.
inline void UnsignedPalette(const uint8_t* block, uint8_t (&palette)[8]) {
  palette[0] = block[0];
  palette[1] = block[1];
  BuildAlphaPalette(palette);
}

// S(8) of (w0 e0 + w1 e1) / d for e in -127..127: round(((w0 e0 + w1 e1) / d + 127) x 255 / 254).
inline uint8_t SignedByte(int32_t w0, int32_t e0, int32_t w1, int32_t e1, int32_t d) {
  const int64_t numerator = int64_t{255} * (w0 * e0 + w1 * e1 + 127 * d);
  return static_cast<uint8_t>((2 * numerator + 254 * d) / (2 * 254 * d));
}

inline void SignedPalette(const uint8_t* block, uint8_t (&palette)[8]) {
  int32_t e0 = static_cast<int8_t>(block[0]), e1 = static_cast<int8_t>(block[1]);
  if (e0 < -127) e0 = -127;
  if (e1 < -127) e1 = -127;
  palette[0] = SignedByte(1, e0, 0, e1, 1);
  palette[1] = SignedByte(0, e0, 1, e1, 1);
  if (e0 > e1) {
    for (int32_t i = 1; i <= 6; ++i) palette[1 + i] = SignedByte(7 - i, e0, i, e1, 7);
  } else {
    for (int32_t i = 1; i <= 4; ++i) palette[1 + i] = SignedByte(5 - i, e0, i, e1, 5);
    palette[6] = 0;    // -1
    palette[7] = 255;  // +1
  }
}

// The exact values of a signed channel block in -1..1, in the order of SignedPalette.
inline void SignedValues(const uint8_t* block, double (&values)[8]) {
  int32_t e0 = static_cast<int8_t>(block[0]), e1 = static_cast<int8_t>(block[1]);
  if (e0 < -127) e0 = -127;
  if (e1 < -127) e1 = -127;
  values[0] = e0 / 127.0;
  values[1] = e1 / 127.0;
  if (e0 > e1) {
    for (int32_t i = 1; i <= 6; ++i) values[1 + i] = ((7 - i) * e0 + i * e1) / (7 * 127.0);
  } else {
    for (int32_t i = 1; i <= 4; ++i) values[1 + i] = ((5 - i) * e0 + i * e1) / (5 * 127.0);
    values[6] = -1.0;
    values[7] = 1.0;
  }
}

inline uint32_t NormalBlue(double x, double y) {
  const double zz = 1.0 - x * x - y * y;
  const double z = zz > 0.0 ? std::sqrt(zz) : 0.0;
  return static_cast<uint32_t>(std::lround(255.0 * (z + 1.0) / 2.0));
}

// The blue of every unsigned (R, G) byte pair, indexed R << 8 | G.
const uint8_t* UnsignedNormalBlue() {
  static const auto* const table = [] {
    static uint8_t blue[65536];
    for (uint32_t r = 0; r < 256; ++r) {
      for (uint32_t g = 0; g < 256; ++g) {
        blue[r << 8 | g] = static_cast<uint8_t>(NormalBlue(2.0 * r / 255.0 - 1.0, 2.0 * g / 255.0 - 1.0));
      }
    }
    return blue;
  }();
  return table;
}

template <bool kSigned>
inline void Palette(const uint8_t* block, uint8_t (&palette)[8]) {
  if constexpr (kSigned) {
    SignedPalette(block, palette);
  } else {
    UnsignedPalette(block, palette);
  }
}

inline uint64_t Indices(const uint8_t* block) {
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
  return bits;
}

#if defined(__SSE2__)
// The eight values of an unsigned channel block in 16-bit lanes, both palettes computed and one chosen without a
// branch (which endpoint is larger is a coin toss the processor cannot predict): w0 e0 + w1 e1 over 7 or 5 by a
// multiply-high, exact for numerators up to 1785.
inline __m128i UnsignedPaletteLanes(const uint8_t* block) {
  const __m128i e0 = _mm_set1_epi16(block[0]), e1 = _mm_set1_epi16(block[1]);
  const __m128i eight = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(e0, _mm_setr_epi16(7, 0, 6, 5, 4, 3, 2, 1)),
                                                      _mm_mullo_epi16(e1, _mm_setr_epi16(0, 7, 1, 2, 3, 4, 5, 6))),
                                        _mm_set1_epi16(9363));  // ceil(65536 / 7)
  const __m128i six =
      _mm_or_si128(_mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(e0, _mm_setr_epi16(5, 0, 4, 3, 2, 1, 0, 0)),
                                                 _mm_mullo_epi16(e1, _mm_setr_epi16(0, 5, 1, 2, 3, 4, 0, 0))),
                                   _mm_set1_epi16(13108)),  // ceil(65536 / 5)
                   _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, 255));
  const __m128i useEight = _mm_cmpgt_epi16(e0, e1);
  return _mm_or_si128(_mm_and_si128(useEight, eight), _mm_andnot_si128(useEight, six));
}

// The palette as pixels: each value shifted to `shift`, `base` added (the opaque alpha, the gray copies).
inline void PlacedPalette(__m128i lanes, uint32_t multiplier, uint32_t base, uint32_t (&palette)[8]) {
  alignas(16) uint16_t values[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(values), lanes);
  for (int k = 0; k < 8; ++k) palette[k] = base | values[k] * multiplier;
}
#endif

template <bool kSigned>
inline void PlacedPalette(const uint8_t* block, uint32_t multiplier, uint32_t base, uint32_t (&palette)[8]) {
#if defined(__SSE2__)
  if constexpr (!kSigned) {
    PlacedPalette(UnsignedPaletteLanes(block), multiplier, base, palette);
    return;
  }
#endif
  uint8_t values[8];
  Palette<kSigned>(block, values);
  for (int k = 0; k < 8; ++k) palette[k] = base | values[k] * multiplier;
}

// Pixel k's index is bits 3k of bytes 2..7: 24 bits a half block (two rows).
inline uint32_t HalfIndices(const uint8_t* block, int half) {
  const uint8_t* a = block + 2 + 3 * half;
  return uint32_t{a[0]} | uint32_t{a[1]} << 8 | uint32_t{a[2]} << 16;
}

template <bool kSigned>
void DecodeBC4(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t palette[8];
  PlacedPalette<kSigned>(block, 0x010101u, 0xFF000000u, palette);
  for (int half = 0; half < 2; ++half) {
    const uint32_t bits = HalfIndices(block, half);
    for (int r = 0; r < 2; ++r) {
      uint32_t row[4];
      for (int x = 0; x < 4; ++x) row[x] = palette[(bits >> (3 * (4 * r + x))) & 7];
      std::memcpy(out + (2 * half + r) * outPitch, row, 16);
    }
  }
}

template <bool kSigned>
void DecodeBC5(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t red[8], green[8];
  PlacedPalette<kSigned>(block, 0x10000u, 0xFF000000u, red);
  PlacedPalette<kSigned>(block + 8, 0x100u, 0, green);
  const uint8_t* blue = kSigned ? nullptr : UnsignedNormalBlue();
  double redValues[8], greenValues[8];
  if constexpr (kSigned) {
    SignedValues(block, redValues);
    SignedValues(block + 8, greenValues);
  }
  for (int half = 0; half < 2; ++half) {
    const uint32_t redBits = HalfIndices(block, half), greenBits = HalfIndices(block + 8, half);
    for (int r = 0; r < 2; ++r) {
      uint32_t row[4];
      for (int x = 0; x < 4; ++x) {
        const int k = 3 * (4 * r + x);
        const uint32_t ri = (redBits >> k) & 7, gi = (greenBits >> k) & 7;
        const uint32_t rg = red[ri] | green[gi];
        if constexpr (kSigned) {
          row[x] = rg | NormalBlue(redValues[ri], greenValues[gi]);
        } else {
          row[x] = rg | blue[(rg >> 8) & 0xFFFF];
        }
      }
      std::memcpy(out + (2 * half + r) * outPitch, row, 16);
    }
  }
}

template <bool kSigned>
uint32_t BC4Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint8_t palette[8];
  Palette<kSigned>(block, palette);
  return 0xFF000000u | (palette[(Indices(block) >> (3 * (4 * y + x))) & 7] * 0x010101u);
}

template <bool kSigned>
uint32_t BC5Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint8_t red[8], green[8];
  Palette<kSigned>(block, red);
  Palette<kSigned>(block + 8, green);
  const int k = 3 * (4 * y + x);
  const uint32_t ri = (Indices(block) >> k) & 7, gi = (Indices(block + 8) >> k) & 7;
  const uint32_t rg = 0xFF000000u | (uint32_t{red[ri]} << 16) | (uint32_t{green[gi]} << 8);
  if constexpr (kSigned) {
    double redValues[8], greenValues[8];
    SignedValues(block, redValues);
    SignedValues(block + 8, greenValues);
    return rg | NormalBlue(redValues[ri], greenValues[gi]);
  } else {
    return rg | UnsignedNormalBlue()[(rg >> 8) & 0xFFFF];
  }
}

}  // namespace

void DecodeBC4UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBC4<false>(out, outPitch, block);
}
void DecodeBC4SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBC4<true>(out, outPitch, block);
}
void DecodeBC5UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBC5<false>(out, outPitch, block);
}
void DecodeBC5SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBC5<true>(out, outPitch, block);
}
uint32_t DecodeBC4UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return BC4Texel<false>(block, x, y);
}
uint32_t DecodeBC4STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return BC4Texel<true>(block, x, y);
}
uint32_t DecodeBC5UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return BC5Texel<false>(block, x, y);
}
uint32_t DecodeBC5STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return BC5Texel<true>(block, x, y);
}

}  // namespace mirelth
