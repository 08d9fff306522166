// The pixel loops shared by the DXT and ATC blocks, which lay out their alpha and colour indices alike:
// explicit 4-bit alpha (DXT3, ATCA) and 3-bit indices into an eight-entry alpha palette (DXT5, ATCI), each
// followed by a colour block whose indices are one byte a row. Internal to pixels/.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "io/byte_reader.h"

namespace mirelth::detail {

inline void StoreRow(uint8_t* out, const uint32_t (&pixels)[4]) { std::memcpy(out, pixels, 16); }

// A run of whole 4 x 4 blocks through a tile decoder the compiler can inline (see BlockRunDecoder).
template <int kBlockBytes, typename Decode>
inline void DecodeRun(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, Decode decode) {
  for (int32_t i = 0; i < count; ++i, out += 16, blocks += kBlockBytes) decode(out, outPitch, blocks);
}

// Alpha in bytes 0-7 (4 bits a pixel, pixel 0 in the low nibble), colour indices in bytes 12-15; the palette's
// alpha bytes are 0.
inline void WriteExplicitAlphaRows(uint8_t* out, intptr_t outPitch, const uint8_t* block, const uint32_t* palette) {
#if defined(__SSE2__)
  // The 16 nibbles as bytes in pixel order (low nibble first), times 17, each moved to the top byte of its pixel.
  const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_and_si128(packed, nibble), high = _mm_and_si128(_mm_srli_epi16(packed, 4), nibble);
  const __m128i alphas = _mm_or_si128(_mm_unpacklo_epi8(low, high), _mm_slli_epi16(_mm_unpacklo_epi8(low, high), 4));
  const __m128i zero = _mm_setzero_si128();
  const __m128i halves[2] = {_mm_unpacklo_epi8(zero, alphas), _mm_unpackhi_epi8(zero, alphas)};
  for (int y = 0; y < 4; ++y) {
    const uint32_t bits = block[12 + y];
    const __m128i colours =
        _mm_setr_epi32(static_cast<int>(palette[bits & 3]), static_cast<int>(palette[(bits >> 2) & 3]),
                       static_cast<int>(palette[(bits >> 4) & 3]), static_cast<int>(palette[bits >> 6]));
    const __m128i rowAlpha =
        (y & 1) ? _mm_unpackhi_epi16(zero, halves[y >> 1]) : _mm_unpacklo_epi16(zero, halves[y >> 1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * outPitch), _mm_or_si128(colours, rowAlpha));
  }
#else
  for (int y = 0; y < 4; ++y) {
    const uint32_t bits = block[12 + y];
    const uint32_t alpha = ByteReader::U16LENoBoundsCheck(block + 2 * y);
    uint32_t row[4];
    for (int x = 0; x < 4; ++x) {
      row[x] = palette[(bits >> (2 * x)) & 3] | ((((alpha >> (4 * x)) & 0xFu) * 17u) << 24);
    }
    StoreRow(out + y * outPitch, row);
  }
#endif
}

// Alpha indices in bytes 2-7 (3 bits a pixel), colour indices in bytes 12-15, two rows at a time: 24 bits of
// alpha indices (bytes 2-4, then 5-7) and 16 bits of colour indices (bytes 12-13, then 14-15).
inline void WriteInterpolatedAlphaRows(uint8_t* out, intptr_t outPitch, const uint8_t* block, const uint8_t* alphas,
                                       const uint32_t* palette) {
  for (int half = 0; half < 2; ++half) {
    const uint8_t* a = block + 2 + 3 * half;
    const uint32_t alphaBits = uint32_t{a[0]} | (uint32_t{a[1]} << 8) | (uint32_t{a[2]} << 16);
    const uint32_t colorBits = ByteReader::U16LENoBoundsCheck(block + 12 + 2 * half);
    for (int r = 0; r < 2; ++r) {
      uint32_t row[4];
      for (int x = 0; x < 4; ++x) {
        const int i = 4 * r + x;
        row[x] = palette[(colorBits >> (2 * i)) & 3] | (uint32_t{alphas[(alphaBits >> (3 * i)) & 7]} << 24);
      }
      StoreRow(out + (2 * half + r) * outPitch, row);
    }
  }
}

// One byte of 2-bit colour indices per row (bytes `indices`..+3), opaque palette.
inline void WriteColorRows(uint8_t* out, intptr_t outPitch, const uint8_t* indices, const uint32_t* palette) {
  for (int y = 0; y < 4; ++y) {
    const uint32_t bits = indices[y];
    const uint32_t row[4] = {palette[bits & 3], palette[(bits >> 2) & 3], palette[(bits >> 4) & 3], palette[bits >> 6]};
    StoreRow(out + y * outPitch, row);
  }
}

}  // namespace mirelth::detail
