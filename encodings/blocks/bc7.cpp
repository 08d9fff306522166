// BC7 blocks: eight modes of one to three subsets (partitions of the 4 x 4 tile), endpoints with p-bits,
// indices of 2 to 4 bits whose anchors drop their top bit, rotation and index selection in modes 4 and 5.
// The partition and anchor tables are those of the format's definition, in compact form: a 2-subset
// partition as a 16-bit mask (bit i: pixel i is in subset 1), a 3-subset partition as 2 bits a pixel.
// Each mode is decoded by its own instance of one template, its field widths known when compiled: the block's
// bits are taken from the low end of one 128-bit value, each subset's palette of packed pixels is built once, and
// every pixel is a palette entry (modes 4 and 5 combine a colour and an alpha palette, then rotate).
#include <cstring>

#include "encodings/blocks/bc_tables.h"
#include "encodings/blocks/blocks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelth {
namespace {

struct ModeInfo {
  uint8_t subsets, partitionBits, rotationBits, selectionBits, colorBits, alphaBits, endpointPBits, sharedPBits,
      indexBits, secondaryBits;
};
constexpr ModeInfo kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0}, {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0}, {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr uint32_t Widen(uint32_t v, uint32_t bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); }

// 2-subset partitions as 2 bits a pixel, like the 3-subset ones.
struct PartitionMaps2 {
  uint32_t map[64];
  constexpr PartitionMaps2() : map() {
    for (uint32_t p = 0; p < 64; ++p) {
      for (uint32_t i = 0; i < 16; ++i) map[p] |= ((kBptcPartitions2[p] >> i) & 1u) << (2 * i);
    }
  }
};
constexpr PartitionMaps2 kPartitionMaps2;

template <uint32_t kIndexBits>
constexpr const uint8_t* Weights() {
  return kIndexBits == 2 ? kBptcWeights2 : kIndexBits == 3 ? kBptcWeights3 : kBptcWeights4;
}

// Endpoints as four 16-bit lanes (A, R, G, B from the top) blended with a weight in 64ths, rounded, packed as BGRA.
inline uint32_t Blend(uint64_t e0, uint64_t e1, uint32_t w) {
  const uint64_t lanes = ((e0 * (64 - w) + e1 * w + 0x0020002000200020ull) >> 6) & 0x00FF00FF00FF00FFull;
  const uint64_t pairs = (lanes | (lanes >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<uint32_t>(pairs | (pairs >> 16));
}

// The whole tile.

template <uint32_t kMode>
void DecodeMode(BptcBits& bits, uint32_t (&tile)[16]) {
  constexpr ModeInfo m = kModes[kMode];
  constexpr uint32_t kEnds = 2 * m.subsets;
  const uint32_t partition = bits.Take(m.partitionBits);
  const uint32_t rotation = bits.Take(m.rotationBits);
  const uint32_t selection = bits.Take(m.selectionBits);
  // Endpoints [end][channel], ends subset-major, channels R, G, B, A.
  uint32_t e[kEnds][4];
  for (uint32_t c = 0; c < 3; ++c) {
    for (uint32_t k = 0; k < kEnds; ++k) e[k][c] = bits.Take(m.colorBits);
  }
  for (uint32_t k = 0; k < kEnds; ++k) e[k][3] = m.alphaBits ? bits.Take(m.alphaBits) : 255;
  constexpr uint32_t kPBit = m.endpointPBits || m.sharedPBits ? 1 : 0;
  constexpr uint32_t kColorBits = m.colorBits + kPBit, kAlphaBits = m.alphaBits ? m.alphaBits + kPBit : 0;
  if constexpr (kPBit) {
    uint32_t p[kEnds];
    if constexpr (m.endpointPBits) {
      for (uint32_t k = 0; k < kEnds; ++k) p[k] = bits.Take(1);
    } else {
      for (uint32_t s = 0; s < m.subsets; ++s) p[2 * s] = p[2 * s + 1] = bits.Take(1);
    }
    for (uint32_t k = 0; k < kEnds; ++k) {
      for (uint32_t c = 0; c < (m.alphaBits ? 4u : 3u); ++c) e[k][c] = (e[k][c] << 1) | p[k];
    }
  }
  for (uint32_t k = 0; k < kEnds; ++k) {
    for (uint32_t c = 0; c < 3; ++c) e[k][c] = Widen(e[k][c], kColorBits);
    if constexpr (kAlphaBits != 0) e[k][3] = Widen(e[k][3], kAlphaBits);
  }

  // Subsets (2 bits a pixel) and anchors.
  uint32_t subsetMap = 0;
  uint32_t anchor1 = 0, anchor2 = 0;
  if constexpr (m.subsets == 2) {
    subsetMap = kPartitionMaps2.map[partition];
    anchor1 = kBptcAnchor2[partition];
  } else if constexpr (m.subsets == 3) {
    subsetMap = kBptcPartitions3[partition];
    anchor1 = kBptcAnchor3a[partition];
    anchor2 = kBptcAnchor3b[partition];
  }

  // Endpoints as four 16-bit lanes (A, R, G, B from the top): (64 - w) e0 + w e1 + 32 stays below 2^16 in every
  // lane, so one 64-bit multiply-add interpolates all four channels.
  uint64_t low[m.subsets], high[m.subsets];
  for (uint32_t s = 0; s < m.subsets; ++s) {
    const uint32_t(&a)[4] = e[2 * s];
    const uint32_t(&b)[4] = e[2 * s + 1];
    low[s] = (uint64_t{a[3]} << 48) | (uint64_t{a[0]} << 32) | (uint64_t{a[1]} << 16) | a[2];
    high[s] = (uint64_t{b[3]} << 48) | (uint64_t{b[0]} << 32) | (uint64_t{b[1]} << 16) | b[2];
  }

  constexpr uint32_t kIndexBits = m.indexBits;
  if constexpr (m.secondaryBits == 0) {
    // One index set; with a 0 put back on top of every anchor's index, index i sits at bit i x kIndexBits.
    constexpr uint32_t kStored = 16 * kIndexBits - m.subsets;
    uint64_t indices = WidenAnchor(bits.Take64(kStored), kIndexBits - 1);
    // Lower anchor first: each insertion is placed in the already widened bits below it.
    if constexpr (m.subsets == 2) indices = WidenAnchor(indices, anchor1 * kIndexBits + kIndexBits - 1);
    if constexpr (m.subsets == 3) {
      const uint32_t first = anchor1 < anchor2 ? anchor1 : anchor2, second = anchor1 < anchor2 ? anchor2 : anchor1;
      indices = WidenAnchor(indices, first * kIndexBits + kIndexBits - 1);
      indices = WidenAnchor(indices, second * kIndexBits + kIndexBits - 1);
    }
    const uint8_t* weights = Weights<kIndexBits>();
    constexpr uint32_t kEntries = 1u << kIndexBits;
    if constexpr (m.subsets * kEntries <= 8) {
      // Few colours (modes 3 and 7): each subset's palette once, then a lookup a pixel.
      uint32_t palette[m.subsets][kEntries];
      for (uint32_t s = 0; s < m.subsets; ++s) {
        for (uint32_t k = 0; k < kEntries; ++k) palette[s][k] = Blend(low[s], high[s], weights[k]);
      }
      for (uint32_t i = 0; i < 16; ++i) {
        const auto index = static_cast<uint32_t>(indices >> (i * kIndexBits)) & ((1u << kIndexBits) - 1);
        tile[i] = palette[(subsetMap >> (2 * i)) & 3][index];
      }
      return;
    }
#if defined(__SSE2__)
    // Two pixels at a time: their endpoint lanes side by side, (64 - w) e0 + w e1 + 32 in 16-bit lanes.
    const __m128i rounding = _mm_set1_epi16(32), full = _mm_set1_epi16(64);
    for (uint32_t i = 0; i < 16; i += 2) {
      const auto i0 = static_cast<uint32_t>(indices >> (i * kIndexBits)) & ((1u << kIndexBits) - 1);
      const auto i1 = static_cast<uint32_t>(indices >> ((i + 1) * kIndexBits)) & ((1u << kIndexBits) - 1);
      const uint32_t s0 = m.subsets == 1 ? 0 : (subsetMap >> (2 * i)) & 3;
      const uint32_t s1 = m.subsets == 1 ? 0 : (subsetMap >> (2 * i + 2)) & 3;
      const __m128i e0 = _mm_set_epi64x(static_cast<int64_t>(low[s1]), static_cast<int64_t>(low[s0]));
      const __m128i e1 = _mm_set_epi64x(static_cast<int64_t>(high[s1]), static_cast<int64_t>(high[s0]));
      const __m128i w = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<int16_t>(weights[i0])),
                                           _mm_set1_epi16(static_cast<int16_t>(weights[i1])));
      const __m128i sum =
          _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(e0, _mm_sub_epi16(full, w)), _mm_mullo_epi16(e1, w)), rounding);
      const __m128i bytes = _mm_packus_epi16(_mm_srli_epi16(sum, 6), _mm_setzero_si128());
      _mm_storel_epi64(reinterpret_cast<__m128i*>(tile + i), bytes);
    }
#else
    for (uint32_t i = 0; i < 16; ++i) {
      const auto index = static_cast<uint32_t>(indices >> (i * kIndexBits)) & ((1u << kIndexBits) - 1);
      const uint32_t s = m.subsets == 1 ? 0 : (subsetMap >> (2 * i)) & 3;
      tile[i] = Blend(low[s], high[s], weights[index]);
    }
#endif
  } else {
    // Modes 4 and 5: colour and alpha from two index sets (swapped by the selection bit), then the rotation
    // exchanges alpha with one colour channel.
    constexpr uint32_t kSecondaryBits = m.secondaryBits;
    const uint64_t primary = WidenAnchor(bits.Take64(16 * kIndexBits - 1), kIndexBits - 1);
    const uint64_t secondary = WidenAnchor(bits.Take64(16 * kSecondaryBits - 1), kSecondaryBits - 1);
    // A colour palette (R, G, B) and an alpha palette, each already rotated: the rotation moves the rotated
    // channel's byte (interpolated with the colour weights) to alpha, and alpha's to that channel.
    const uint32_t colourBits = selection ? kSecondaryBits : kIndexBits;
    const uint32_t alphaBits = selection ? kIndexBits : kSecondaryBits;
    const uint8_t* colourWeights = colourBits == 2 ? kBptcWeights2 : kBptcWeights3;
    const uint8_t* alphaWeights = alphaBits == 2 ? kBptcWeights2 : kBptcWeights3;
    const uint32_t swapShift = rotation == 1 ? 16 : rotation == 2 ? 8 : 0;
    const uint32_t channelMask = rotation ? 0xFFu << swapShift : 0;
    const uint64_t colourIndices = selection ? secondary : primary, alphaIndices = selection ? primary : secondary;
    const uint32_t alphaShift = rotation ? swapShift : 24;
    const auto colourOf = [&](uint32_t k) {
      const uint32_t pixel = Blend(low[0], high[0], colourWeights[k]) & 0x00FFFFFFu;
      return rotation ? (pixel & ~channelMask) | (((pixel & channelMask) >> swapShift) << 24) : pixel;
    };
    const auto alphaOf = [&](uint32_t k) {
      const uint32_t w = alphaWeights[k];
      return (((64 - w) * e[0][3] + w * e[1][3] + 32) >> 6) << alphaShift;
    };
    uint32_t colours[8], alphas[8];
    for (uint32_t k = 0; k < (1u << colourBits); ++k) colours[k] = colourOf(k);
    for (uint32_t k = 0; k < (1u << alphaBits); ++k) alphas[k] = alphaOf(k);
    for (uint32_t i = 0; i < 16; ++i) {
      const auto ci = static_cast<uint32_t>(colourIndices >> (i * colourBits)) & ((1u << colourBits) - 1);
      const auto ai = static_cast<uint32_t>(alphaIndices >> (i * alphaBits)) & ((1u << alphaBits) - 1);
      tile[i] = colours[ci] | alphas[ai];
    }
  }
}

// `count` bits of the block from bit `at` (count at most 32).
inline uint32_t Field(uint64_t lo, uint64_t hi, uint32_t at, uint32_t count) {
  const uint64_t v = at >= 64 ? hi >> (at - 64) : at == 0 ? lo : (lo >> at) | (hi << (64 - at));
  return static_cast<uint32_t>(v) & ((1u << count) - 1);
}

// Pixel `one` alone, its fields read at the places the mode puts them: the partition, the two endpoints (and p-bits)
// of the pixel's subset, and the pixel's own index or indices, nothing else.
template <uint32_t kMode>
uint32_t ModeTexel(uint64_t lo, uint64_t hi, uint32_t one) {
  constexpr ModeInfo m = kModes[kMode];
  constexpr uint32_t kEnds = 2 * m.subsets;
  constexpr uint32_t kPartitionAt = kMode + 1, kRotationAt = kPartitionAt + m.partitionBits;
  constexpr uint32_t kSelectionAt = kRotationAt + m.rotationBits, kColourAt = kSelectionAt + m.selectionBits;
  constexpr uint32_t kAlphaAt = kColourAt + 3 * kEnds * m.colorBits, kPBitAt = kAlphaAt + kEnds * m.alphaBits;
  constexpr uint32_t kPBits = m.endpointPBits ? kEnds : m.sharedPBits ? m.subsets : 0;
  constexpr uint32_t kIndexAt = kPBitAt + kPBits;
  constexpr uint32_t kPBit = kPBits ? 1 : 0;
  constexpr uint32_t kColorBits = m.colorBits + kPBit, kAlphaBits = m.alphaBits ? m.alphaBits + kPBit : 0;
  const uint32_t partition = m.partitionBits ? Field(lo, hi, kPartitionAt, m.partitionBits) : 0;
  uint32_t subset = 0;
  if constexpr (m.subsets == 2) subset = (kPartitionMaps2.map[partition] >> (2 * one)) & 3;
  if constexpr (m.subsets == 3) subset = (kBptcPartitions3[partition] >> (2 * one)) & 3;
  // The subset's two endpoints, widened to bytes, as four 16-bit lanes (A, R, G, B from the top).
  uint64_t ends[2];
  for (uint32_t j = 0; j < 2; ++j) {
    const uint32_t k = 2 * subset + j;
    uint32_t p = 0;
    if constexpr (m.endpointPBits != 0) p = Field(lo, hi, kPBitAt + k, 1);
    if constexpr (m.sharedPBits != 0) p = Field(lo, hi, kPBitAt + subset, 1);
    uint32_t c[4];
    for (uint32_t ch = 0; ch < 3; ++ch) {
      c[ch] = Widen((Field(lo, hi, kColourAt + (ch * kEnds + k) * m.colorBits, m.colorBits) << kPBit) | p, kColorBits);
    }
    c[3] = 255;
    if constexpr (m.alphaBits != 0) {
      c[3] = Widen((Field(lo, hi, kAlphaAt + k * m.alphaBits, m.alphaBits) << kPBit) | p, kAlphaBits);
    }
    ends[j] = (uint64_t{c[3]} << 48) | (uint64_t{c[0]} << 32) | (uint64_t{c[1]} << 16) | c[2];
  }
  constexpr uint32_t kIndexBits = m.indexBits;
  if constexpr (m.secondaryBits == 0) {
    // Anchors (pixel 0, and the partition's others) store one bit fewer: the pixel's index sits after the full
    // indices of the pixels before it, less one bit for each anchor among them.
    uint32_t anchors[3] = {0, 16, 16};
    if constexpr (m.subsets == 2) anchors[1] = kBptcAnchor2[partition];
    if constexpr (m.subsets == 3) anchors[1] = kBptcAnchor3a[partition], anchors[2] = kBptcAnchor3b[partition];
    uint32_t before = 0;
    bool anchor = false;
    for (const uint32_t a : anchors) before += a < one, anchor |= a == one;
    const uint32_t index = Field(lo, hi, kIndexAt + one * kIndexBits - before, kIndexBits - (anchor ? 1 : 0));
    return Blend(ends[0], ends[1], Weights<kIndexBits>()[index]);
  } else {
    // Modes 4 and 5: colour and alpha indices from two sets (swapped by the selection bit), then the rotation.
    constexpr uint32_t kSecondaryBits = m.secondaryBits;
    constexpr uint32_t kSecondaryAt = kIndexAt + 16 * kIndexBits - 1;
    const uint32_t rotation = Field(lo, hi, kRotationAt, m.rotationBits);
    const uint32_t selection = m.selectionBits ? Field(lo, hi, kSelectionAt, 1) : 0;
    const uint32_t primary = Field(lo, hi, kIndexAt + (one ? one * kIndexBits - 1 : 0), kIndexBits - (one ? 0 : 1));
    const uint32_t secondary =
        Field(lo, hi, kSecondaryAt + (one ? one * kSecondaryBits - 1 : 0), kSecondaryBits - (one ? 0 : 1));
    const uint32_t colourBits = selection ? kSecondaryBits : kIndexBits;
    const uint32_t alphaBits = selection ? kIndexBits : kSecondaryBits;
    const uint8_t* colourWeights = colourBits == 2 ? kBptcWeights2 : kBptcWeights3;
    const uint8_t* alphaWeights = alphaBits == 2 ? kBptcWeights2 : kBptcWeights3;
    const uint32_t ci = selection ? secondary : primary, ai = selection ? primary : secondary;
    const uint32_t swapShift = rotation == 1 ? 16 : rotation == 2 ? 8 : 0;
    const uint32_t channelMask = rotation ? 0xFFu << swapShift : 0;
    const uint32_t alphaShift = rotation ? swapShift : 24;
    uint32_t pixel = Blend(ends[0], ends[1], colourWeights[ci]) & 0x00FFFFFFu;
    if (rotation) pixel = (pixel & ~channelMask) | (((pixel & channelMask) >> swapShift) << 24);
    const uint32_t w = alphaWeights[ai];
    const uint32_t a0 = static_cast<uint32_t>(ends[0] >> 48), a1 = static_cast<uint32_t>(ends[1] >> 48);
    return pixel | ((((64 - w) * a0 + w * a1 + 32) >> 6) << alphaShift);
  }
}

}  // namespace

void DecodeBC7Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t tile[16];
  BptcBits bits(block);
  const uint32_t first = block[0];
  if (first == 0) {
    // Reserved (no mode bit): transparent black.
    for (int y = 0; y < 4; ++y) std::memset(out + y * outPitch, 0, 16);
    return;
  }
  const auto mode = static_cast<uint32_t>(__builtin_ctz(first));
  bits.Take(mode + 1);
  switch (mode) {
    case 0: DecodeMode<0>(bits, tile); break;
    case 1: DecodeMode<1>(bits, tile); break;
    case 2: DecodeMode<2>(bits, tile); break;
    case 3: DecodeMode<3>(bits, tile); break;
    case 4: DecodeMode<4>(bits, tile); break;
    case 5: DecodeMode<5>(bits, tile); break;
    case 6: DecodeMode<6>(bits, tile); break;
    default: DecodeMode<7>(bits, tile); break;
  }
  for (int y = 0; y < 4; ++y) std::memcpy(out + y * outPitch, tile + 4 * y, 16);
}

uint32_t DecodeBC7Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  const uint32_t first = block[0];
  if (first == 0) return 0;  // reserved: transparent black
  uint64_t lo, hi;
  std::memcpy(&lo, block, 8);
  std::memcpy(&hi, block + 8, 8);
  const auto one = static_cast<uint32_t>(y * 4 + x);
  switch (__builtin_ctz(first)) {
    case 0: return ModeTexel<0>(lo, hi, one);
    case 1: return ModeTexel<1>(lo, hi, one);
    case 2: return ModeTexel<2>(lo, hi, one);
    case 3: return ModeTexel<3>(lo, hi, one);
    case 4: return ModeTexel<4>(lo, hi, one);
    case 5: return ModeTexel<5>(lo, hi, one);
    case 6: return ModeTexel<6>(lo, hi, one);
    default: return ModeTexel<7>(lo, hi, one);
  }
}

}  // namespace mirelth
