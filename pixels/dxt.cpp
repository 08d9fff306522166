// DXT1, DXT3 and DXT5 blocks. The colour block is two 5-6-5 endpoints and 2-bit indices, one byte a row,
// pixel 0 in the low bits. Blends are (171 c0 + 85 c1) >> 8 computed two channels per 32-bit operation
// (R with B, G with A): each 16-bit lane stays below 65536, so lanes never carry into each other.
#include <cstring>

#include "pixels/block_rows.h"
#include "pixels/blocks.h"
#include "pixels/byte_reader.h"

namespace mirelth {
namespace {

// Colour palette of a colour block (bytes 0..7). `dxt1` selects the three-colour mode for c0 <= c1.
inline void BuildColorPalette(const uint8_t* colorBlock, bool dxt1, uint32_t* palette) {
  const uint16_t c0 = ByteReader::U16LENoBoundsCheck(colorBlock);
  const uint16_t c1 = ByteReader::U16LENoBoundsCheck(colorBlock + 2);
  const uint32_t alpha = dxt1 ? 0xFF000000u : 0u;
  palette[0] = Expand565(c0) | alpha;
  palette[1] = Expand565(c1) | alpha;
  if (!dxt1 || c0 > c1) {
    InterpolateColors(&palette[2], &palette[3], palette[0], palette[1]);
  } else {
    // Three-colour mode: the average, then transparent black.
    const uint32_t e0 = palette[0], e1 = palette[1];
    const uint32_t rb = (((e0 & 0x00FF00FFu) + (e1 & 0x00FF00FFu)) >> 1) & 0x00FF00FFu;
    const uint32_t ga = ((((e0 >> 8) & 0x00FF00FFu) + ((e1 >> 8) & 0x00FF00FFu)) >> 1) & 0x00FF00FFu;
    palette[2] = rb | (ga << 8);
    palette[3] = 0;
  }
}

}  // namespace

uint32_t Expand565(uint16_t word) {
  const uint32_t r5 = word >> 11, g6 = (word >> 5) & 0x3Fu, b5 = word & 0x1Fu;
  const uint32_t r = (r5 << 3) | (r5 >> 2), g = (g6 << 2) | (g6 >> 4), b = (b5 << 3) | (b5 >> 2);
  return (r << 16) | (g << 8) | b;
}

void InterpolateColors(uint32_t* first, uint32_t* second, uint32_t c0, uint32_t c1) {
  const uint32_t rb0 = c0 & 0x00FF00FFu, rb1 = c1 & 0x00FF00FFu;
  const uint32_t ga0 = (c0 >> 8) & 0x00FF00FFu, ga1 = (c1 >> 8) & 0x00FF00FFu;
  *first = (((171 * rb0 + 85 * rb1) >> 8) & 0x00FF00FFu) | ((171 * ga0 + 85 * ga1) & 0xFF00FF00u);
  *second = (((85 * rb0 + 171 * rb1) >> 8) & 0x00FF00FFu) | ((85 * ga0 + 171 * ga1) & 0xFF00FF00u);
}

void BuildAlphaPalette8(uint8_t* palette) {
  const uint32_t a0 = palette[0], a1 = palette[1];
  for (uint32_t i = 1; i <= 6; ++i) palette[1 + i] = static_cast<uint8_t>(((7 - i) * a0 + i * a1) / 7);
}

void BuildAlphaPalette6(uint8_t* palette) {
  const uint32_t a0 = palette[0], a1 = palette[1];
  for (uint32_t i = 1; i <= 4; ++i) palette[1 + i] = static_cast<uint8_t>(((5 - i) * a0 + i * a1) / 5);
  palette[6] = 0;
  palette[7] = 255;
}

void DecodeDXT1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t palette[4];
  BuildColorPalette(block, true, palette);
  detail::WriteColorRows(out, outPitch, block + 4, palette);
}

void DecodeDXT3Block(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t palette[4];
  BuildColorPalette(block + 8, false, palette);
  detail::WriteExplicitAlphaRows(out, outPitch, block, palette);
}

void DecodeDXT5Block(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t palette[4];
  BuildColorPalette(block + 8, false, palette);
  uint8_t alphas[8] = {block[0], block[1]};
  if (alphas[0] > alphas[1]) {
    BuildAlphaPalette8(alphas);
  } else {
    BuildAlphaPalette6(alphas);
  }
  detail::WriteInterpolatedAlphaRows(out, outPitch, block, alphas, palette);
}

// One pixel: k = 4y + x indexes the 2-bit colour and 3-bit alpha fields.
uint32_t DecodeDXT1Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint32_t palette[4];
  BuildColorPalette(block, true, palette);
  return palette[(block[4 + y] >> (2 * x)) & 3];
}

uint32_t DecodeDXT5Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint32_t palette[4];
  BuildColorPalette(block + 8, false, palette);
  const int k = 4 * y + x;
  uint64_t alphaBits = 0;
  for (int i = 0; i < 6; ++i) alphaBits |= uint64_t{block[2 + i]} << (8 * i);
  const uint32_t index = static_cast<uint32_t>(alphaBits >> (3 * k)) & 7;
  const uint32_t a0 = block[0], a1 = block[1];
  uint32_t alpha;
  if (index < 2) {
    alpha = index == 0 ? a0 : a1;
  } else if (a0 > a1) {
    alpha = ((8 - index) * a0 + (index - 1) * a1) / 7;
  } else if (index < 6) {
    alpha = ((6 - index) * a0 + (index - 1) * a1) / 5;
  } else {
    alpha = index == 6 ? 0 : 255;
  }
  return palette[(block[12 + y] >> (2 * x)) & 3] | (alpha << 24);
}

}  // namespace mirelth
