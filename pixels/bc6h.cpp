// BC6H blocks: half-float RGB in 14 modes of one or two regions. Endpoints are read from the bit layout of the
// mode (fields scattered, some with bits reversed), sign-extended, transformed (deltas from the first
// endpoint), unquantised to 16 bits, interpolated with the BPTC weights and scaled by 31/64 (unsigned) or 31/32
// (signed) into half floats, then drawn through F. Reserved modes decode to black.
#include <cstring>

#include "pixels/bc_tables.h"
#include "pixels/blocks.h"
#include "pixels/conversion_rules.h"

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

struct ModeFacts {
  uint8_t mode;
  bool transformed;
  uint8_t regions;
  uint8_t endpointBits;
  uint8_t deltaBits[3];  // R, G, B of the other endpoints
};
constexpr ModeFacts kFacts[14] = {
    {0, true, 2, 10, {5, 5, 5}},  {1, true, 2, 7, {6, 6, 6}},    {2, true, 2, 11, {5, 4, 4}},
    {6, true, 2, 11, {4, 5, 4}},  {10, true, 2, 11, {4, 4, 5}},  {14, true, 2, 9, {5, 5, 5}},
    {18, true, 2, 8, {6, 5, 5}},  {22, true, 2, 8, {5, 6, 5}},   {26, true, 2, 8, {5, 5, 6}},
    {30, false, 2, 6, {6, 6, 6}}, {3, false, 1, 10, {10, 10, 10}}, {7, true, 1, 11, {9, 9, 9}},
    {11, true, 1, 12, {8, 8, 8}}, {15, true, 1, 16, {4, 4, 4}},
};

inline uint32_t Bit(const uint8_t* block, uint32_t at) { return (block[at >> 3] >> (at & 7)) & 1; }

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

// The 16 pixels' half floats (R, G, B); false for reserved modes.
template <bool kSigned>
bool DecodeHalves(const uint8_t* block, uint16_t (&halves)[16][3]) {
  uint32_t mode = block[0] & 3;
  if (mode >= 2) mode = block[0] & 31;
  int which = -1;
  for (int i = 0; i < 14; ++i) {
    if (kFacts[i].mode == mode) which = i;
  }
  if (which < 0) return false;
  const ModeFacts& facts = kFacts[which];
  const ModeLayout& layout = kLayouts[which];
  int32_t fields[12] = {};
  uint32_t at = mode < 2 ? 2 : 5;
  for (uint32_t r = 0; r < layout.runCount; ++r) {
    const Run& run = layout.runs[r];
    int32_t bit = run.firstBit;
    for (uint32_t k = 0; k < run.count; ++k, ++at, bit += run.step) {
      fields[run.field] |= static_cast<int32_t>(Bit(block, at) << bit);
    }
  }
  const uint32_t regions = facts.regions, epb = facts.endpointBits;
  uint32_t partition = 0;
  if (regions == 2) {
    for (uint32_t k = 0; k < 5; ++k, ++at) partition |= Bit(block, at) << k;
  }
  // Sign extension and the transform, channel by channel: endpoint 0 at the endpoint bits, the others at their
  // delta bits (transformed modes) or the endpoint bits.
  const uint32_t ends = 2 * regions;
  for (uint32_t c = 0; c < 3; ++c) {
    int32_t* e = fields + 4 * c;
    if (kSigned) e[0] = SignExtend(e[0], epb);
    for (uint32_t k = 1; k < ends; ++k) {
      if (facts.transformed) {
        e[k] = SignExtend(e[k], facts.deltaBits[c]);
        e[k] = (e[0] + e[k]) & ((1 << epb) - 1);
        if (kSigned) e[k] = SignExtend(e[k], epb);
      } else if (kSigned) {
        e[k] = SignExtend(e[k], epb);
      }
    }
    for (uint32_t k = 0; k < ends; ++k) e[k] = Unquantize(e[k], epb, kSigned);
  }
  // Indices: 3 bits (two regions) or 4 (one), the anchors one bit fewer.
  const uint32_t indexBits = regions == 2 ? 3 : 4;
  const uint32_t mask = regions == 2 ? kBptcPartitions2[partition] : 0;
  const uint32_t anchor = regions == 2 ? kBptcAnchor2[partition] : 0;
  const uint8_t* weights = BptcWeights(indexBits);
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t subset = (mask >> i) & 1;
    const uint32_t count = indexBits - ((i == 0 || (subset && i == anchor)) ? 1 : 0);
    uint32_t index = 0;
    for (uint32_t k = 0; k < count; ++k, ++at) index |= Bit(block, at) << k;
    const int32_t w = weights[index];
    for (uint32_t c = 0; c < 3; ++c) {
      const int32_t e0 = fields[4 * c + 2 * subset], e1 = fields[4 * c + 2 * subset + 1];
      halves[i][c] = FinishHalf(((64 - w) * e0 + w * e1 + 32) >> 6, kSigned);
    }
  }
  return true;
}

template <bool kSigned>
void DecodeBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint16_t halves[16][3];
  const bool decoded = DecodeHalves<kSigned>(block, halves);
  const HalfTables& tables = HalfToByteTables();
  for (uint32_t i = 0; i < 16; ++i) {
    uint32_t pixel = 0xFF000000u;  // reserved modes: black
    if (decoded) {
      pixel |= uint32_t{tables.colour[halves[i][0]]} << 16 | uint32_t{tables.colour[halves[i][1]]} << 8 |
               tables.colour[halves[i][2]];
    }
    std::memcpy(out + (i / 4) * outPitch + 4 * (i % 4), &pixel, 4);
  }
}

}  // namespace

void DecodeBC6HUBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block) { DecodeBlock<false>(out, outPitch, block); }
void DecodeBC6HSBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block) { DecodeBlock<true>(out, outPitch, block); }

bool DecodeBC6HHalves(const uint8_t* block, bool isSigned, uint16_t (&halves)[16][3]) {
  return isSigned ? DecodeHalves<true>(block, halves) : DecodeHalves<false>(block, halves);
}

}  // namespace mirelth
