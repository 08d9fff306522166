// ATC, ATCA and ATCI blocks. The colour block differs from DXT's: colour 0 is 5-5-5 with a mode bit on top,
// colour 1 is 5-6-5; mode 1 puts black first and "C0 minus a quarter of C1" second, computed on the packed
// 0x00RR00BB word so that a negative blue borrows one from red. ATCI takes its eight-value alpha mode for
// a0 >= a1 (DXT5 for a0 > a1).
#include <cstring>

#include "encodings/blocks/block_rows.h"
#include "encodings/blocks/blocks.h"
#include "io/byte_reader.h"

namespace mirelth {
namespace {

inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }

}  // namespace

void BuildATCPalette(uint16_t color0, uint16_t color1, uint32_t* palette) {
  // c0: mode = w[15], r5 = w[14:10], g5 = w[9:5], b5 = w[4:0]
  const uint32_t c0 = 0xFF000000u | (Expand5((color0 >> 10) & 0x1Fu) << 16) | (Expand5((color0 >> 5) & 0x1Fu) << 8) |
                      Expand5(color0 & 0x1Fu);
  // c1: r5 = w[15:11], g6 = w[10:5], b5 = w[4:0]
  const uint32_t c1 = Expand565(color1) | 0xFF000000u;
  if ((color0 & 0x8000u) == 0) {
    palette[0] = c0;
    InterpolateColors(&palette[1], &palette[2], c0, c1);
    palette[3] = c1;
    return;
  }
  const uint32_t quarter = (c1 >> 2) & 0x003F3F3Fu;  // each colour channel of C1 shifted right by 2
  const uint32_t rb = ((c0 & 0x00FF00FFu) - (quarter & 0x00FF00FFu)) & 0x00FF00FFu;
  const uint32_t g = ((c0 & 0x0000FF00u) - (quarter & 0x0000FF00u)) & 0x0000FF00u;
  palette[0] = 0xFF000000u;
  palette[1] = 0xFF000000u | rb | g;
  palette[2] = c0;
  palette[3] = c1;
}

void DecodeATCBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildATCPalette(ByteReader::U16LENoBoundsCheck(block), ByteReader::U16LENoBoundsCheck(block + 2), palette);
  detail::WriteColorRows(out, outPitch, block + 4, palette);
}

void DecodeATCABlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildATCPalette(ByteReader::U16LENoBoundsCheck(block + 8), ByteReader::U16LENoBoundsCheck(block + 10), palette);
  for (uint32_t& entry : palette) entry &= 0x00FFFFFFu;
  detail::WriteExplicitAlphaRows(out, outPitch, block, palette);
}

void DecodeATCIBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildATCPalette(ByteReader::U16LENoBoundsCheck(block + 8), ByteReader::U16LENoBoundsCheck(block + 10), palette);
  for (uint32_t& entry : palette) entry &= 0x00FFFFFFu;
  uint8_t alphas[8] = {block[0], block[1]};
  if (alphas[0] < alphas[1]) {
    BuildAlphaPalette6(alphas);
  } else {
    BuildAlphaPalette8(alphas);
  }
  detail::WriteInterpolatedAlphaRows(out, outPitch, block, alphas, palette);
}

}  // namespace mirelth
