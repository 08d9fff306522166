// DXT1, DXT3 and DXT5 blocks. The colour block is two 5-6-5 endpoints and 2-bit indices, one byte a row,
// pixel 0 in the low bits. Blends are (171 c0 + 85 c1) >> 8 computed two channels per 32-bit operation
// (R with B, G with A): each 16-bit lane stays below 65536, so lanes never carry into each other.
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encodings/blocks/block_rows.h"
#include "encodings/blocks/blocks.h"
#include "io/byte_reader.h"

namespace mirelth {
namespace {

// Colour palette of a colour block (bytes 0..7). `dxt1` selects the three-colour mode for c0 <= c1.
inline void BuildColorPalette(const uint8_t* colorBlock, bool dxt1, uint32_t* palette) {
  const uint16_t c0 = ByteReader::U16LENoBoundsCheck(colorBlock);
  const uint16_t c1 = ByteReader::U16LENoBoundsCheck(colorBlock + 2);
#if defined(__SSE2__)
  // The four entries at once, each channel as weights of the two endpoints in 256ths (w0, w1 in one 32-bit lane,
  // one lane an entry): 256/0, 0/256, 171/85, 85/171, or in the three-colour mode 128/128 and 0/0. These equal the
  // packed blends below exactly, and no branch depends on the mode.
  alignas(16) static constexpr int16_t kWeights[2][8] = {{256, 0, 0, 256, 171, 85, 85, 171},
                                                         {256, 0, 0, 256, 128, 128, 0, 0}};
  const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(kWeights[dxt1 && c0 <= c1]));
  const __m128i v = _mm_shuffle_epi32(_mm_cvtsi32_si128(static_cast<int>(c0 | uint32_t{c1} << 16)), 0);
  const __m128i r = _mm_srli_epi16(_mm_mullo_epi16(_mm_srli_epi16(v, 11), _mm_set1_epi16(33)), 2);
  const __m128i g =
      _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(v, 5), _mm_set1_epi16(63)), _mm_set1_epi16(65)), 4);
  const __m128i b = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(v, _mm_set1_epi16(31)), _mm_set1_epi16(33)), 2);
  __m128i entries =
      _mm_or_si128(_mm_srli_epi32(_mm_madd_epi16(b, w), 8), _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(g, w), 8), 8));
  entries = _mm_or_si128(entries, _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(r, w), 8), 16));
  if (dxt1) {
    // Alpha 255 blended like the channels: 255, or 0 for the three-colour mode's transparent entry.
    entries = _mm_or_si128(entries, _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(_mm_set1_epi16(255), w), 8), 24));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(palette), entries);
#else
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
#endif
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

void BuildAlphaPalette(uint8_t* palette) {
  const uint32_t a0 = palette[0], a1 = palette[1];
#if defined(__SSE2__)
  // All eight entries in 16-bit lanes: (w0 a0 + w1 a1) / 7 or / 5 as a multiply-high by the reciprocal (exact for
  // numerators up to 1785), plus 255 for the six-value palette's last entry; the mode picks a row, not a branch.
  alignas(16) static constexpr uint16_t kRows[2][4][8] = {
      {{7, 0, 6, 5, 4, 3, 2, 1}, {0, 7, 1, 2, 3, 4, 5, 6}, {9363, 9363, 9363, 9363, 9363, 9363, 9363, 9363}, {}},
      {{5, 0, 4, 3, 2, 1, 0, 0},
       {0, 5, 1, 2, 3, 4, 0, 0},
       {13108, 13108, 13108, 13108, 13108, 13108, 0, 0},
       {0, 0, 0, 0, 0, 0, 0, 255}}};
  const auto& row = kRows[a0 <= a1];
  const auto lane = [&row](int i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(row[i])); };
  const __m128i sums = _mm_add_epi16(_mm_mullo_epi16(lane(0), _mm_set1_epi16(static_cast<int16_t>(a0))),
                                     _mm_mullo_epi16(lane(1), _mm_set1_epi16(static_cast<int16_t>(a1))));
  const __m128i entries = _mm_add_epi16(_mm_mulhi_epu16(sums, lane(2)), lane(3));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(palette), _mm_packus_epi16(entries, entries));
#else
  if (a0 > a1) {
    BuildAlphaPalette8(palette);
  } else {
    BuildAlphaPalette6(palette);
  }
#endif
}

void DecodeDXT1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildColorPalette(block, true, palette);
  detail::WriteColorRows(out, outPitch, block + 4, palette);
}

void DecodeDXT3Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildColorPalette(block + 8, false, palette);
  detail::WriteExplicitAlphaRows(out, outPitch, block, palette);
}

void DecodeDXT5Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t palette[4];
  BuildColorPalette(block + 8, false, palette);
  alignas(8) uint8_t alphas[8] = {block[0], block[1]};
  BuildAlphaPalette(alphas);
  detail::WriteInterpolatedAlphaRows(out, outPitch, block, alphas, palette);
}

void DecodeDXT1Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext& c) {
  detail::DecodeRun<8>(out, outPitch, blocks, count,
                       [&c](uint8_t* o, intptr_t pitch, const uint8_t* b) { DecodeDXT1Block(o, pitch, b, c); });
}
void DecodeDXT3Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext& c) {
  detail::DecodeRun<16>(out, outPitch, blocks, count,
                        [&c](uint8_t* o, intptr_t pitch, const uint8_t* b) { DecodeDXT3Block(o, pitch, b, c); });
}
void DecodeDXT5Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext& c) {
  detail::DecodeRun<16>(out, outPitch, blocks, count,
                        [&c](uint8_t* o, intptr_t pitch, const uint8_t* b) { DecodeDXT5Block(o, pitch, b, c); });
}

// One pixel: k = 4y + x indexes the 2-bit colour and 3-bit alpha fields. The thumbnail samples one pixel of most
// blocks, so a pixel is computed alone and without a branch: its palette entry as weights of the two endpoints
// in 256ths (the same packed blends as the palettes, which equal these weights exactly).
namespace {

// An endpoint in four 16-bit lanes of a 64-bit word (B, G, R, A from the bottom), each channel widened by bit
// replication: x 33 / 4 for 5 bits and x 65 / 16 for 6, both as x k / 16 so that one shift serves every lane.
inline uint64_t SpreadEndpoint(uint32_t c, uint64_t alphaLane) {
  const uint64_t redBlue = (uint64_t{c & 0xF800u} << 21) | (c & 0x1Fu);
  const uint64_t green = uint64_t{c & 0x7E0u} << 11;
  return (((redBlue * 132 + green * 65) >> 4) & 0x000000FF00FF00FFull) | alphaLane;
}

// A colour texel's endpoint weights in 256ths, w0 | w1 << 16: [three-colour mode][index].
inline uint32_t ColourWeights(const uint8_t* colorBlock, uint32_t c0, uint32_t c1, int32_t x, int32_t y, bool dxt1) {
  static constexpr uint32_t kWeights[2][4] = {{256, 256u << 16, 171 | 85u << 16, 85 | 171u << 16},
                                              {256, 256u << 16, 128 | 128u << 16, 0}};
  return kWeights[dxt1 && c0 <= c1][(colorBlock[4 + y] >> (2 * x)) & 3];
}

inline uint32_t ColourTexel(const uint8_t* colorBlock, int32_t x, int32_t y, bool dxt1) {
  const uint32_t c0 = ByteReader::U16LENoBoundsCheck(colorBlock);
  const uint32_t c1 = ByteReader::U16LENoBoundsCheck(colorBlock + 2);
  const uint64_t alphaLane = dxt1 ? uint64_t{0xFF} << 48 : 0;
  const uint32_t weights = ColourWeights(colorBlock, c0, c1, x, y, dxt1);
  // Every lane stays below 65536 (w0 + w1 <= 256), so the lanes never carry into each other.
  const uint64_t blend =
      ((SpreadEndpoint(c0, alphaLane) * (weights & 0xFFFF) + SpreadEndpoint(c1, alphaLane) * (weights >> 16)) >> 8) &
      0x00FF00FF00FF00FFull;
  const uint64_t pairs = blend | (blend >> 8);  // B G at the bottom, R A from bit 32
  return static_cast<uint32_t>((pairs & 0xFFFF) | ((pairs >> 16) & 0xFFFF0000u));
}

// An interpolated alpha: (w0 a0 + w1 a1) / 7 or / 5 as a multiply-high (exact for numerators up to 1785), plus
// 255 for the six-value palette's last entry.
inline uint32_t AlphaTexel(const uint8_t* block, int32_t k) {
  struct Entry {
    uint8_t w0, w1, add;
    uint16_t reciprocal;
  };
  // clang-format off
  static constexpr Entry kEntries[2][8] = {
      {{7, 0, 0, 9363}, {0, 7, 0, 9363}, {6, 1, 0, 9363}, {5, 2, 0, 9363}, {4, 3, 0, 9363}, {3, 4, 0, 9363},
       {2, 5, 0, 9363}, {1, 6, 0, 9363}},
      {{5, 0, 0, 13108}, {0, 5, 0, 13108}, {4, 1, 0, 13108}, {3, 2, 0, 13108}, {2, 3, 0, 13108}, {1, 4, 0, 13108},
       {0, 0, 0, 0}, {0, 0, 255, 0}}};
  // clang-format on
  const uint32_t a0 = block[0], a1 = block[1];
  const uint8_t* bits = block + 2 + 3 * (k >> 3);  // 8 pixels a 3-byte half
  const uint32_t half = uint32_t{bits[0]} | uint32_t{bits[1]} << 8 | uint32_t{bits[2]} << 16;
  const Entry& e = kEntries[a0 <= a1][(half >> (3 * (k & 7))) & 7];
  return (((e.w0 * a0 + e.w1 * a1) * e.reciprocal) >> 16) + e.add;
}

// Texels of one pixel row, four at a time: the endpoints and weights gathered, then each channel of both
// endpoints widened in 16-bit lanes and blended by one multiply-add with the weights.
template <bool kDxt1>
void ColourTexels(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out) {
  constexpr size_t kColour = kDxt1 ? 0 : 8;
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
  for (; i + 4 <= count; i += 4) {
    alignas(16) uint32_t ends[4], weights[4], alphas[4] = {};
    for (int j = 0; j < 4; ++j) {
      const uint8_t* block = blocks + spots[i + j].offset;
      const uint8_t* colour = block + kColour;
      const uint32_t c0 = ByteReader::U16LENoBoundsCheck(colour), c1 = ByteReader::U16LENoBoundsCheck(colour + 2);
      ends[j] = c0 | c1 << 16;
      weights[j] = ColourWeights(colour, c0, c1, spots[i + j].x, y, kDxt1);
      if (!kDxt1) alphas[j] = AlphaTexel(block, 4 * y + spots[i + j].x) << 24;
    }
    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(ends));
    const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(weights));
    const __m128i r = _mm_srli_epi16(_mm_mullo_epi16(_mm_srli_epi16(v, 11), _mm_set1_epi16(33)), 2);
    const __m128i g = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi16(v, 5), six), _mm_set1_epi16(65)), 4);
    const __m128i b = _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(v, five), _mm_set1_epi16(33)), 2);
    __m128i pixels = _mm_or_si128(_mm_srli_epi32(_mm_madd_epi16(b, w), 8),
                                  _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(g, w), 8), 8));
    pixels = _mm_or_si128(pixels, _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(r, w), 8), 16));
    if constexpr (kDxt1) {
      // Alpha 255 blended like the channels: 255, or 0 for the three-colour mode's transparent entry.
      pixels = _mm_or_si128(pixels, _mm_slli_epi32(_mm_srli_epi32(_mm_madd_epi16(_mm_set1_epi16(255), w), 8), 24));
    } else {
      pixels = _mm_or_si128(pixels, _mm_load_si128(reinterpret_cast<const __m128i*>(alphas)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
  }
#endif
  for (; i < count; ++i) {
    const uint8_t* block = blocks + spots[i].offset;
    out[i] = kDxt1 ? ColourTexel(block, spots[i].x, y, true)
                   : ColourTexel(block + 8, spots[i].x, y, false) | AlphaTexel(block, 4 * y + spots[i].x) << 24;
  }
}

}  // namespace

void DecodeDXT1Texels(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out,
                      const BlockContext&) {
  ColourTexels<true>(blocks, spots, count, y, out);
}
void DecodeDXT5Texels(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out,
                      const BlockContext&) {
  ColourTexels<false>(blocks, spots, count, y, out);
}

uint32_t DecodeDXT1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return ColourTexel(block, x, y, true);
}

uint32_t DecodeDXT5Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return ColourTexel(block + 8, x, y, false) | AlphaTexel(block, 4 * y + x) << 24;
}

}  // namespace mirelth
