// ETC1 blocks: a big-endian control word (base colours, two 3-bit table codewords, diff and flip bits) and a
// big-endian index word whose bits number the pixels down the columns (k = 4x + y). The differential second
// base colour is expanded without clamping s2 to 0..31, as the format's reference decoder does: blocks the
// format does not allow give -1, 264 or 280 before the modifier is added and the sum clamped.
#include <algorithm>
#include <cstring>

#include "encodings/blocks/blocks.h"
#include "io/byte_reader.h"

namespace mirelth {
namespace {

// Intensity modifiers (a, b) per codeword; index 0 adds a, 1 adds b, 2 subtracts a, 3 subtracts b.
constexpr int32_t kModifiers[8][2] = {{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};

inline int32_t Clamp255(int32_t v) { return std::clamp(v, 0, 255); }

// (s << 3) | (s >>> 2) on the 32-bit two's-complement s, read back as signed.
inline int32_t ExpandDifferential(int32_t s) {
  const uint32_t u = static_cast<uint32_t>(s);
  return static_cast<int32_t>((u << 3) | (u >> 2));
}

struct Rgb {
  int32_t r, g, b;
};

inline void BuildSubPalette(const Rgb& base, uint32_t codeword, uint32_t* palette) {
  const int32_t a = kModifiers[codeword][0], b = kModifiers[codeword][1];
  const int32_t modifier[4] = {a, b, -a, -b};
  for (int i = 0; i < 4; ++i) {
    const int32_t m = modifier[i];
    palette[i] = 0xFF000000u | (static_cast<uint32_t>(Clamp255(base.r + m)) << 16) |
                 (static_cast<uint32_t>(Clamp255(base.g + m)) << 8) | static_cast<uint32_t>(Clamp255(base.b + m));
  }
}

// Base colour of sub-block `sub` (0 first, 1 second) of a block's control bytes.
inline Rgb BaseOf(const uint8_t* block, bool differential, int sub) {
  int32_t v[3];
  for (int c = 0; c < 3; ++c) {
    const uint8_t channel = block[c];
    if (differential) {
      const int32_t s1 = channel >> 3;
      const int32_t d = static_cast<int32_t>(channel & 7u) - ((channel & 4u) ? 8 : 0);
      v[c] = ExpandDifferential(sub ? s1 + d : s1);
    } else {
      v[c] = (sub ? channel & 0xF : channel >> 4) * 17;
    }
  }
  return {v[0], v[1], v[2]};
}

}  // namespace

uint32_t DecodeETC1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  const uint32_t control = ByteReader::U32BENoBoundsCheck(block);
  const uint32_t indices = ByteReader::U32BENoBoundsCheck(block + 4);
  const bool flipped = (control & 1u) != 0;
  const int sub = flipped ? (y >= 2) : (x >= 2);
  const Rgb base = BaseOf(block, (control & 2u) != 0, sub);
  const uint32_t codeword = sub ? (control >> 2) & 7u : (control >> 5) & 7u;
  const int k = 4 * x + y;
  const uint32_t index = (((indices >> (16 + k)) & 1u) << 1) | ((indices >> k) & 1u);
  const int32_t a = kModifiers[codeword][0], b = kModifiers[codeword][1];
  const int32_t modifier[4] = {a, b, -a, -b};
  const int32_t m = modifier[index];
  return 0xFF000000u | (static_cast<uint32_t>(Clamp255(base.r + m)) << 16) |
         (static_cast<uint32_t>(Clamp255(base.g + m)) << 8) | static_cast<uint32_t>(Clamp255(base.b + m));
}

void DecodeETC1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  const uint32_t control = ByteReader::U32BENoBoundsCheck(block);
  const uint32_t indices = ByteReader::U32BENoBoundsCheck(block + 4);
  const uint32_t codeword1 = (control >> 5) & 7u;  // byte 3 bits 7-5
  const uint32_t codeword2 = (control >> 2) & 7u;  // byte 3 bits 4-2
  const bool differential = (control & 2u) != 0;
  const bool flipped = (control & 1u) != 0;
  const uint8_t channel[3] = {block[0], block[1], block[2]};

  Rgb base1, base2;
  int32_t* b1[3] = {&base1.r, &base1.g, &base1.b};
  int32_t* b2[3] = {&base2.r, &base2.g, &base2.b};
  for (int c = 0; c < 3; ++c) {
    if (differential) {
      const int32_t s1 = channel[c] >> 3;
      const int32_t d = static_cast<int32_t>(channel[c] & 7u) - ((channel[c] & 4u) ? 8 : 0);
      *b1[c] = ExpandDifferential(s1);
      *b2[c] = ExpandDifferential(s1 + d);
    } else {
      *b1[c] = (channel[c] >> 4) * 17;
      *b2[c] = (channel[c] & 0xF) * 17;
    }
  }
  uint32_t palettes[2][4];
  BuildSubPalette(base1, codeword1, palettes[0]);
  BuildSubPalette(base2, codeword2, palettes[1]);

  for (int y = 0; y < 4; ++y) {
    uint32_t row[4];
    for (int x = 0; x < 4; ++x) {
      const int k = 4 * x + y;
      const uint32_t index = (((indices >> (16 + k)) & 1u) << 1) | ((indices >> k) & 1u);
      const int sub = flipped ? (y >= 2) : (x >= 2);
      row[x] = palettes[sub][index];
    }
    std::memcpy(out + y * outPitch, row, 16);
  }
}

}  // namespace mirelth
