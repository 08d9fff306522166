// BC6H blocks: half-float RGB in 14 modes of one or two regions. Endpoints are read from the bit layout of the
// mode (fields scattered, some with bits reversed), sign-extended, transformed (deltas from the first
// endpoint), unquantised to 16 bits, interpolated with the BPTC weights and scaled by 31/64 (unsigned) or 31/32
// (signed) into half floats, then drawn through F. Reserved modes decode to black.
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encodings/blocks/bc_tables.h"
#include "encodings/blocks/blocks.h"
#include "encodings/conversion_rules.h"

namespace mirelth {
namespace {

// One run of block bits into an endpoint field: the field (channel x 4 + endpoint: r0..r3, g0..g3, b0..b3),
// the field bit the first block bit lands in, the direction (+1 up, -1 down: reversed bits) and the count.
struct Run {
  uint8_t field;
  uint8_t firstBit;
  int8_t step;
  uint8_t count;
};
struct ModeLayout {
  uint8_t mode;  // the mode number as stored (2 or 5 low bits)
  uint8_t runCount;
  Run runs[23];
};
// After the mode bits (2 for modes 0 and 1, else 5), in block order.
// clang-format off
constexpr ModeLayout kLayouts[14] = {
    {0, 19, {{6, 4, 1, 1}, {10, 4, 1, 1}, {11, 4, 1, 1}, {0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 5}, {7, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 5}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 5}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 5}, {11, 2, 1, 1}, {3, 0, 1, 5}, {11, 3, 1, 1}}},
    {1, 23, {{6, 5, 1, 1}, {7, 4, 1, 1}, {7, 5, 1, 1}, {0, 0, 1, 7}, {11, 0, 1, 1}, {11, 1, 1, 1}, {10, 4, 1, 1}, {4, 0, 1, 7}, {10, 5, 1, 1}, {11, 2, 1, 1}, {6, 4, 1, 1}, {8, 0, 1, 7}, {11, 3, 1, 1}, {11, 5, 1, 1}, {11, 4, 1, 1}, {1, 0, 1, 6}, {6, 0, 1, 4}, {5, 0, 1, 6}, {7, 0, 1, 4}, {9, 0, 1, 6}, {10, 0, 1, 4}, {2, 0, 1, 6}, {3, 0, 1, 6}}},
    {2, 18, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 5}, {0, 10, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 4}, {4, 10, 1, 1}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 4}, {8, 10, 1, 1}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 5}, {11, 2, 1, 1}, {3, 0, 1, 5}, {11, 3, 1, 1}}},
    {6, 20, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 4}, {0, 10, 1, 1}, {7, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 5}, {4, 10, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 4}, {8, 10, 1, 1}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 4}, {11, 0, 1, 1}, {11, 2, 1, 1}, {3, 0, 1, 4}, {6, 4, 1, 1}, {11, 3, 1, 1}}},
    {10, 20, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 4}, {0, 10, 1, 1}, {10, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 4}, {4, 10, 1, 1}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 5}, {8, 10, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 4}, {11, 1, 1, 1}, {11, 2, 1, 1}, {3, 0, 1, 4}, {11, 4, 1, 1}, {11, 3, 1, 1}}},
    {14, 19, {{0, 0, 1, 9}, {10, 4, 1, 1}, {4, 0, 1, 9}, {6, 4, 1, 1}, {8, 0, 1, 9}, {11, 4, 1, 1}, {1, 0, 1, 5}, {7, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 5}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 5}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 5}, {11, 2, 1, 1}, {3, 0, 1, 5}, {11, 3, 1, 1}}},
    {18, 19, {{0, 0, 1, 8}, {7, 4, 1, 1}, {10, 4, 1, 1}, {4, 0, 1, 8}, {11, 2, 1, 1}, {6, 4, 1, 1}, {8, 0, 1, 8}, {11, 3, 1, 1}, {11, 4, 1, 1}, {1, 0, 1, 6}, {6, 0, 1, 4}, {5, 0, 1, 5}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 5}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 6}, {3, 0, 1, 6}}},
    {22, 21, {{0, 0, 1, 8}, {11, 0, 1, 1}, {10, 4, 1, 1}, {4, 0, 1, 8}, {6, 5, 1, 1}, {6, 4, 1, 1}, {8, 0, 1, 8}, {7, 5, 1, 1}, {11, 4, 1, 1}, {1, 0, 1, 5}, {7, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 6}, {7, 0, 1, 4}, {9, 0, 1, 5}, {11, 1, 1, 1}, {10, 0, 1, 4}, {2, 0, 1, 5}, {11, 2, 1, 1}, {3, 0, 1, 5}, {11, 3, 1, 1}}},
    {26, 21, {{0, 0, 1, 8}, {11, 1, 1, 1}, {10, 4, 1, 1}, {4, 0, 1, 8}, {10, 5, 1, 1}, {6, 4, 1, 1}, {8, 0, 1, 8}, {11, 5, 1, 1}, {11, 4, 1, 1}, {1, 0, 1, 5}, {7, 4, 1, 1}, {6, 0, 1, 4}, {5, 0, 1, 5}, {11, 0, 1, 1}, {7, 0, 1, 4}, {9, 0, 1, 6}, {10, 0, 1, 4}, {2, 0, 1, 5}, {11, 2, 1, 1}, {3, 0, 1, 5}, {11, 3, 1, 1}}},
    {30, 23, {{0, 0, 1, 6}, {7, 4, 1, 1}, {11, 0, 1, 1}, {11, 1, 1, 1}, {10, 4, 1, 1}, {4, 0, 1, 6}, {6, 5, 1, 1}, {10, 5, 1, 1}, {11, 2, 1, 1}, {6, 4, 1, 1}, {8, 0, 1, 6}, {7, 5, 1, 1}, {11, 3, 1, 1}, {11, 5, 1, 1}, {11, 4, 1, 1}, {1, 0, 1, 6}, {6, 0, 1, 4}, {5, 0, 1, 6}, {7, 0, 1, 4}, {9, 0, 1, 6}, {10, 0, 1, 4}, {2, 0, 1, 6}, {3, 0, 1, 6}}},
    {3, 6, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 10}, {5, 0, 1, 10}, {9, 0, 1, 10}}},
    {7, 9, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 9}, {0, 10, 1, 1}, {5, 0, 1, 9}, {4, 10, 1, 1}, {9, 0, 1, 9}, {8, 10, 1, 1}}},
    {11, 9, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 8}, {0, 11, -1, 2}, {5, 0, 1, 8}, {4, 11, -1, 2}, {9, 0, 1, 8}, {8, 11, -1, 2}}},
    {15, 9, {{0, 0, 1, 10}, {4, 0, 1, 10}, {8, 0, 1, 10}, {1, 0, 1, 4}, {0, 15, -1, 6}, {5, 0, 1, 4}, {4, 15, -1, 6}, {9, 0, 1, 4}, {8, 15, -1, 6}}},
};
// clang-format on

struct ModeFacts {
  uint8_t mode;
  bool transformed;
  uint8_t regions;
  uint8_t endpointBits;
  uint8_t deltaBits[3];  // R, G, B of the other endpoints
};
constexpr ModeFacts kFacts[14] = {
    {0, true, 2, 10, {5, 5, 5}},  {1, true, 2, 7, {6, 6, 6}},      {2, true, 2, 11, {5, 4, 4}},
    {6, true, 2, 11, {4, 5, 4}},  {10, true, 2, 11, {4, 4, 5}},    {14, true, 2, 9, {5, 5, 5}},
    {18, true, 2, 8, {6, 5, 5}},  {22, true, 2, 8, {5, 6, 5}},     {26, true, 2, 8, {5, 5, 6}},
    {30, false, 2, 6, {6, 6, 6}}, {3, false, 1, 10, {10, 10, 10}}, {7, true, 1, 11, {9, 9, 9}},
    {11, true, 1, 12, {8, 8, 8}}, {15, true, 1, 16, {4, 4, 4}},
};

// `v`'s low `count` bits in reverse order.
inline uint32_t Reverse(uint32_t v, uint32_t count) {
  uint32_t r = 0;
  for (uint32_t k = 0; k < count; ++k) r |= ((v >> k) & 1u) << (count - 1 - k);
  return r;
}

// One run of block bits into its field.
template <Run kRun>
inline void ApplyRun(BptcBits& bits, int32_t* fields) {
  const uint32_t v = bits.Take(kRun.count);
  if constexpr (kRun.step > 0) {
    fields[kRun.field] |= static_cast<int32_t>(v << kRun.firstBit);
  } else {
    fields[kRun.field] |= static_cast<int32_t>(Reverse(v, kRun.count) << (kRun.firstBit + 1 - kRun.count));
  }
}

inline int32_t SignExtend(int32_t v, uint32_t bits) {
  const uint32_t shift = 32 - bits;
  return static_cast<int32_t>(static_cast<uint32_t>(v) << shift) >> shift;
}

int32_t Unquantize(int32_t x, uint32_t bits, bool isSigned) {
  if (!isSigned) {
    if (bits >= 15 || x == 0) return x;
    if (x == (1 << bits) - 1) return 0xFFFF;
    return ((x << 15) + 0x4000) >> (bits - 1);
  }
  if (bits >= 16) return x;
  const bool negative = x < 0;
  if (negative) x = -x;
  int32_t unq;
  if (x == 0) {
    unq = 0;
  } else if (x >= (1 << (bits - 1)) - 1) {
    unq = 0x7FFF;
  } else {
    unq = ((x << 15) + 0x4000) >> (bits - 1);
  }
  return negative ? -unq : unq;
}

inline uint16_t FinishHalf(int32_t v, bool isSigned) {
  if (!isSigned) return static_cast<uint16_t>((v * 31) >> 6);
  return static_cast<uint16_t>(v < 0 ? (((-v) * 31) >> 5) | 0x8000 : (v * 31) >> 5);
}

// A decoded block: the unquantised endpoints (channel x 4 + endpoint), the subset mask of the pixels and the
// indices at fixed width (index i at bit i x indexBits).
struct Decoded {
  int32_t fields[12];
  uint32_t mask;
  uint32_t indexBits;
  uint64_t indices;
};

// Fields come a run of bits at a time (runs stored reversed are turned round), indices all at once with a 0 put
// back on top of each anchor's.
template <bool kSigned, int kWhich>
void DecodeLayout(BptcBits& bits, Decoded& d) {
  constexpr ModeFacts facts = kFacts[kWhich];
  constexpr ModeLayout layout = kLayouts[kWhich];
  int32_t* fields = d.fields;
  for (int32_t& f : d.fields) f = 0;
  // Every run with its position, width and direction known when compiled.
  [&]<size_t... kRun>(std::index_sequence<kRun...>) { (ApplyRun<layout.runs[kRun]>(bits, fields), ...); }
  (std::make_index_sequence<layout.runCount>());
  constexpr uint32_t kRegions = facts.regions, kEndpointBits = facts.endpointBits;
  const uint32_t partition = kRegions == 2 ? bits.Take(5) : 0;
  // Sign extension and the transform, channel by channel: endpoint 0 at the endpoint bits, the others at their
  // delta bits (transformed modes) or the endpoint bits.
  constexpr uint32_t kEnds = 2 * kRegions;
  for (uint32_t c = 0; c < 3; ++c) {
    int32_t* e = fields + 4 * c;
    if (kSigned) e[0] = SignExtend(e[0], kEndpointBits);
    for (uint32_t k = 1; k < kEnds; ++k) {
      if (facts.transformed) {
        e[k] = SignExtend(e[k], facts.deltaBits[c]);
        e[k] = (e[0] + e[k]) & ((1 << kEndpointBits) - 1);
        if (kSigned) e[k] = SignExtend(e[k], kEndpointBits);
      } else if (kSigned) {
        e[k] = SignExtend(e[k], kEndpointBits);
      }
    }
    for (uint32_t k = 0; k < kEnds; ++k) e[k] = Unquantize(e[k], kEndpointBits, kSigned);
  }
  // Indices: 3 bits (two regions) or 4 (one), the anchors one bit fewer.
  constexpr uint32_t kIndexBits = kRegions == 2 ? 3 : 4;
  d.indexBits = kIndexBits;
  d.indices = WidenAnchor(bits.Take64(16 * kIndexBits - kRegions), kIndexBits - 1);
  d.mask = 0;
  if constexpr (kRegions == 2) {
    d.mask = kBptcPartitions2[partition];
    d.indices = WidenAnchor(d.indices, kBptcAnchor2[partition] * kIndexBits + kIndexBits - 1);
  }
}

// Decodes a block; false for reserved modes.
template <bool kSigned>
bool DecodeBlockFields(const uint8_t* block, Decoded& d) {
  BptcBits bits(block);
  uint32_t mode = block[0] & 3;
  if (mode >= 2) mode = block[0] & 31;
  bits.Take(mode < 2 ? 2 : 5);
  switch (mode) {
    case 0: DecodeLayout<kSigned, 0>(bits, d); return true;
    case 1: DecodeLayout<kSigned, 1>(bits, d); return true;
    case 2: DecodeLayout<kSigned, 2>(bits, d); return true;
    case 6: DecodeLayout<kSigned, 3>(bits, d); return true;
    case 10: DecodeLayout<kSigned, 4>(bits, d); return true;
    case 14: DecodeLayout<kSigned, 5>(bits, d); return true;
    case 18: DecodeLayout<kSigned, 6>(bits, d); return true;
    case 22: DecodeLayout<kSigned, 7>(bits, d); return true;
    case 26: DecodeLayout<kSigned, 8>(bits, d); return true;
    case 30: DecodeLayout<kSigned, 9>(bits, d); return true;
    case 3: DecodeLayout<kSigned, 10>(bits, d); return true;
    case 7: DecodeLayout<kSigned, 11>(bits, d); return true;
    case 11: DecodeLayout<kSigned, 12>(bits, d); return true;
    case 15: DecodeLayout<kSigned, 13>(bits, d); return true;
    default: return false;  // reserved
  }
}

// The half float of one channel of subset `subset` at weight w.
template <bool kSigned>
inline uint16_t Channel(const Decoded& d, uint32_t c, uint32_t subset, int32_t w) {
  const int32_t e0 = d.fields[4 * c + 2 * subset], e1 = d.fields[4 * c + 2 * subset + 1];
  return FinishHalf(((64 - w) * e0 + w * e1 + 32) >> 6, kSigned);
}

// The 16 pixels' half floats (R, G, B); false for reserved modes.
template <bool kSigned>
bool DecodeHalves(const uint8_t* block, uint16_t (&halves)[16][3]) {
  Decoded d;
  if (!DecodeBlockFields<kSigned>(block, d)) return false;
  const uint8_t* weights = d.indexBits == 3 ? kBptcWeights3 : kBptcWeights4;
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t subset = (d.mask >> i) & 1;
    const int32_t w = weights[(d.indices >> (i * d.indexBits)) & ((1u << d.indexBits) - 1)];
    for (uint32_t c = 0; c < 3; ++c) halves[i][c] = Channel<kSigned>(d, c, subset, w);
  }
  return true;
}

// The half floats of the 16 palette entries of each channel: entries 0-15 of the one subset, or 0-7 of subset 0
// and 8-15 of subset 1.
template <bool kSigned>
void PaletteHalves(const Decoded& d, uint16_t (&halves)[3][16]) {
  const bool two = d.indexBits == 3;
#if defined(__SSE2__)
  // e0 + ((w x (e1 - e0) + 32) >> 6), which equals the weighted sum: the difference (17 bits) splits into a low
  // byte and a signed high part so that one multiply-add of 16-bit pairs (w, w x 256) makes w x difference.
  alignas(16) static constexpr uint32_t kPairs4[16] = {
#define MIRELTH_PAIR(w) (uint32_t{w} | uint32_t{w} << 24)
      MIRELTH_PAIR(0),  MIRELTH_PAIR(4),  MIRELTH_PAIR(9),  MIRELTH_PAIR(13), MIRELTH_PAIR(17), MIRELTH_PAIR(21),
      MIRELTH_PAIR(26), MIRELTH_PAIR(30), MIRELTH_PAIR(34), MIRELTH_PAIR(38), MIRELTH_PAIR(43), MIRELTH_PAIR(47),
      MIRELTH_PAIR(51), MIRELTH_PAIR(55), MIRELTH_PAIR(60), MIRELTH_PAIR(64)};
  alignas(16) static constexpr uint32_t kPairs3[16] = {
      MIRELTH_PAIR(0),  MIRELTH_PAIR(9),  MIRELTH_PAIR(18), MIRELTH_PAIR(27), MIRELTH_PAIR(37), MIRELTH_PAIR(46),
      MIRELTH_PAIR(55), MIRELTH_PAIR(64), MIRELTH_PAIR(0),  MIRELTH_PAIR(9),  MIRELTH_PAIR(18), MIRELTH_PAIR(27),
      MIRELTH_PAIR(37), MIRELTH_PAIR(46), MIRELTH_PAIR(55), MIRELTH_PAIR(64)};
#undef MIRELTH_PAIR
  const uint32_t* pairs = two ? kPairs3 : kPairs4;
  const __m128i lowByte = _mm_set1_epi32(0xFF), lowHalf = _mm_set1_epi32(0xFFFF), round = _mm_set1_epi32(32);
  for (uint32_t c = 0; c < 3; ++c) {
    const int32_t* e = d.fields + 4 * c;
    __m128i h[4], signs[4];
    for (uint32_t q = 0; q < 4; ++q) {
      const uint32_t subset = two && q >= 2 ? 1 : 0;
      const __m128i e0 = _mm_set1_epi32(e[2 * subset]);
      const __m128i diff = _mm_set1_epi32(e[2 * subset + 1] - e[2 * subset]);
      const __m128i split = _mm_or_si128(_mm_and_si128(diff, lowByte),
                                         _mm_slli_epi32(_mm_and_si128(_mm_srai_epi32(diff, 8), lowHalf), 16));
      const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(pairs + 4 * q));
      const __m128i v = _mm_add_epi32(e0, _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(split, w), round), 6));
      if constexpr (kSigned) {
        // Magnitude x 31 / 32 with the sign bit on top.
        const __m128i sign = _mm_srai_epi32(v, 31);
        const __m128i a = _mm_sub_epi32(_mm_xor_si128(v, sign), sign);
        h[q] = _mm_srli_epi32(_mm_sub_epi32(_mm_slli_epi32(a, 5), a), 5);
        signs[q] = sign;
      } else {
        h[q] = _mm_srli_epi32(_mm_sub_epi32(_mm_slli_epi32(v, 5), v), 6);  // x 31 / 64
      }
    }
    __m128i lo = _mm_packs_epi32(h[0], h[1]), hi = _mm_packs_epi32(h[2], h[3]);
    if constexpr (kSigned) {
      const __m128i top = _mm_set1_epi16(static_cast<int16_t>(0x8000));
      lo = _mm_or_si128(lo, _mm_and_si128(_mm_packs_epi32(signs[0], signs[1]), top));
      hi = _mm_or_si128(hi, _mm_and_si128(_mm_packs_epi32(signs[2], signs[3]), top));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves[c]), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves[c] + 8), hi);
  }
#else
  const uint8_t* weights = two ? kBptcWeights3 : kBptcWeights4;
  for (uint32_t k = 0; k < 16; ++k) {
    const uint32_t subset = two && k >= 8 ? 1 : 0;
    const int32_t w = weights[two ? k & 7 : k];
    for (uint32_t c = 0; c < 3; ++c) halves[c][k] = Channel<kSigned>(d, c, subset, w);
  }
#endif
}

// Display pixels: a palette of packed pixels per subset (8 or 16 entries, through F), then a lookup a pixel.
template <bool kSigned>
void DecodeBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  Decoded d;
  uint32_t tile[16];
  if (!DecodeBlockFields<kSigned>(block, d)) {
    for (uint32_t& pixel : tile) pixel = 0xFF000000u;  // reserved modes: black
  } else {
    const uint8_t* colour = HalfToByteTables().colour;
    uint16_t halves[3][16];
    PaletteHalves<kSigned>(d, halves);
    uint32_t palette[16];
    for (uint32_t k = 0; k < 16; ++k) {
      palette[k] = 0xFF000000u | uint32_t{colour[halves[0][k]]} << 16 | uint32_t{colour[halves[1][k]]} << 8 |
                   colour[halves[2][k]];
    }
    // Two subsets: 3-bit indices, subset 1's entries from 8.
    const uint32_t indexMask = (1u << d.indexBits) - 1;
    for (uint32_t i = 0; i < 16; ++i) {
      const uint32_t entry = static_cast<uint32_t>(d.indices >> (i * d.indexBits)) & indexMask;
      tile[i] = palette[entry | ((d.mask >> i) & 1) << 3];
    }
  }
  for (int y = 0; y < 4; ++y) std::memcpy(out + y * outPitch, tile + 4 * y, 16);
}

}  // namespace

void DecodeBC6HUBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBlock<false>(out, outPitch, block);
}
void DecodeBC6HSBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeBlock<true>(out, outPitch, block);
}

bool DecodeBC6HHalves(const uint8_t* block, bool isSigned, uint16_t (&halves)[16][3]) {
  return isSigned ? DecodeHalves<true>(block, halves) : DecodeHalves<false>(block, halves);
}

namespace {

// The linear floats of the same halves (reserved modes: black, as drawn).
template <bool kSigned>
void DecodeFloatTile(float* out, intptr_t outPitch, const uint8_t* block) {
  uint16_t halves[16][3] = {};
  const bool decoded = DecodeHalves<kSigned>(block, halves);
  for (int i = 0; i < 16; ++i) {
    float* pixel = out + (i / 4) * outPitch + 4 * (i % 4);
    for (int c = 0; c < 3; ++c) pixel[c] = decoded ? HalfToFloat(halves[i][c]) : 0.0f;
    pixel[3] = 1.0f;
  }
}

// One pixel's floats: the block's fields, then that pixel's index and blend alone.
template <bool kSigned>
void DecodeFloatTexel(float* out, const uint8_t* block, int32_t x, int32_t y) {
  Decoded d;
  out[3] = 1.0f;
  if (!DecodeBlockFields<kSigned>(block, d)) {
    out[0] = out[1] = out[2] = 0.0f;
    return;
  }
  const auto i = static_cast<uint32_t>(4 * y + x);
  const uint8_t* weights = d.indexBits == 3 ? kBptcWeights3 : kBptcWeights4;
  const uint32_t subset = (d.mask >> i) & 1;
  const int32_t w = weights[(d.indices >> (i * d.indexBits)) & ((1u << d.indexBits) - 1)];
  for (uint32_t c = 0; c < 3; ++c) out[c] = HalfToFloat(Channel<kSigned>(d, c, subset, w));
}

}  // namespace

void DecodeBC6HUFloatTexel(float* out, const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  DecodeFloatTexel<false>(out, block, x, y);
}
void DecodeBC6HSFloatTexel(float* out, const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  DecodeFloatTexel<true>(out, block, x, y);
}

void DecodeBC6HUFloatBlock(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeFloatTile<false>(out, outPitch, block);
}
void DecodeBC6HSFloatBlock(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeFloatTile<true>(out, outPitch, block);
}

}  // namespace mirelth
