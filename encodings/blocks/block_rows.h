// The pixel loops shared by the DXT and ATC blocks, which lay out their alpha and colour indices alike:
// explicit 4-bit alpha (DXT3, ATCA) and 3-bit indices into an eight-entry alpha palette (DXT5, ATCI), each
// followed by a colour block whose indices are one byte a row. Internal to pixels/.
#pragma once

#include <cstdint>
#include <cstring>

#include "io/byte_reader.h"

namespace mirelth::detail {

inline void StoreRow(uint8_t* out, const uint32_t (&pixels)[4]) { std::memcpy(out, pixels, 16); }

// Alpha in bytes 0-7 (4 bits a pixel, pixel 0 in the low nibble), colour indices in bytes 12-15; the palette's
// alpha bytes are 0.
inline void WriteExplicitAlphaRows(uint8_t* out, intptr_t outPitch, const uint8_t* block, const uint32_t* palette) {
  for (int y = 0; y < 4; ++y) {
    const uint32_t bits = block[12 + y];
    const uint32_t alpha = ByteReader::U16LENoBoundsCheck(block + 2 * y);
    uint32_t row[4];
    for (int x = 0; x < 4; ++x) {
      row[x] = palette[(bits >> (2 * x)) & 3] | ((((alpha >> (4 * x)) & 0xFu) * 17u) << 24);
    }
    StoreRow(out + y * outPitch, row);
  }
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
