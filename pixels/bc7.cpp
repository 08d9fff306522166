// BC7 blocks: eight modes of one to three subsets (partitions of the 4 x 4 tile), endpoints with p-bits,
// indices of 2 to 4 bits whose anchors drop their top bit, rotation and index selection in modes 4 and 5.
// The partition and anchor tables are those of the format's definition, in compact form: a 2-subset
// partition as a 16-bit mask (bit i: pixel i is in subset 1), a 3-subset partition as 2 bits a pixel.
#include <cstring>
#include <utility>

#include "pixels/bc_tables.h"
#include "pixels/blocks.h"

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

// Reads the 128-bit block from its lowest bit up.
class Bits {
 public:
  explicit Bits(const uint8_t* block) {
    std::memcpy(&lo_, block, 8);
    std::memcpy(&hi_, block + 8, 8);
  }
  uint32_t Take(uint32_t count) {
    uint64_t v;
    if (at_ >= 64) {
      v = hi_ >> (at_ - 64);
    } else if (at_ == 0) {
      v = lo_;
    } else {
      v = (lo_ >> at_) | (hi_ << (64 - at_));
    }
    at_ += count;
    return static_cast<uint32_t>(v & ((uint64_t{1} << count) - 1));
  }
  uint32_t position() const { return at_; }
  void Seek(uint32_t at) { at_ = at; }

 private:
  uint64_t lo_, hi_;
  uint32_t at_ = 0;
};

inline uint32_t Widen(uint32_t v, uint32_t bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); }

// The subset of each pixel.
inline void SubsetsOf(uint32_t subsets, uint32_t partition, uint8_t (&subset)[16], uint8_t (&anchor)[3]) {
  anchor[0] = 0;
  if (subsets == 1) {
    std::memset(subset, 0, 16);
    return;
  }
  if (subsets == 2) {
    const uint32_t mask = kBptcPartitions2[partition];
    for (int i = 0; i < 16; ++i) subset[i] = static_cast<uint8_t>((mask >> i) & 1);
    anchor[1] = kBptcAnchor2[partition];
    return;
  }
  const uint32_t map = kBptcPartitions3[partition];
  for (int i = 0; i < 16; ++i) subset[i] = static_cast<uint8_t>((map >> (2 * i)) & 3);
  anchor[1] = kBptcAnchor3a[partition];
  anchor[2] = kBptcAnchor3b[partition];
}

inline uint32_t Interpolate(uint32_t e0, uint32_t e1, uint32_t weight) { return ((64 - weight) * e0 + weight * e1 + 32) >> 6; }

}  // namespace

void DecodeBC7Block(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t mode = 0;
  while (mode < 8 && !(block[0] & (1u << mode))) ++mode;
  if (mode == 8) {
    // Reserved: transparent black.
    for (int y = 0; y < 4; ++y) std::memset(out + y * outPitch, 0, 16);
    return;
  }
  const ModeInfo& m = kModes[mode];
  Bits bits(block);
  bits.Take(mode + 1);
  const uint32_t partition = bits.Take(m.partitionBits);
  const uint32_t rotation = bits.Take(m.rotationBits);
  const uint32_t selection = bits.Take(m.selectionBits);
  // Endpoints: [subset][end][channel], channels R, G, B, A.
  uint32_t endpoints[3][2][4];
  const uint32_t ends = 2 * m.subsets;
  for (uint32_t c = 0; c < 3; ++c) {
    for (uint32_t e = 0; e < ends; ++e) endpoints[e / 2][e % 2][c] = bits.Take(m.colorBits);
  }
  for (uint32_t e = 0; e < ends; ++e) endpoints[e / 2][e % 2][3] = m.alphaBits ? bits.Take(m.alphaBits) : 255;
  uint32_t colorBits = m.colorBits, alphaBits = m.alphaBits;
  if (m.endpointPBits || m.sharedPBits) {
    uint32_t pbits[6];
    if (m.endpointPBits) {
      for (uint32_t e = 0; e < ends; ++e) pbits[e] = bits.Take(1);
    } else {
      for (uint32_t s = 0; s < m.subsets; ++s) pbits[2 * s] = pbits[2 * s + 1] = bits.Take(1);
    }
    for (uint32_t e = 0; e < ends; ++e) {
      for (uint32_t c = 0; c < 4; ++c) {
        if (c == 3 && !m.alphaBits) continue;
        endpoints[e / 2][e % 2][c] = (endpoints[e / 2][e % 2][c] << 1) | pbits[e];
      }
    }
    ++colorBits;
    if (alphaBits) ++alphaBits;
  }
  for (uint32_t e = 0; e < ends; ++e) {
    for (uint32_t c = 0; c < 3; ++c) endpoints[e / 2][e % 2][c] = Widen(endpoints[e / 2][e % 2][c], colorBits);
    if (alphaBits) endpoints[e / 2][e % 2][3] = Widen(endpoints[e / 2][e % 2][3], alphaBits);
  }

  uint8_t subset[16], anchor[3];
  SubsetsOf(m.subsets, partition, subset, anchor);
  // Primary indices, then secondary ones; an anchor's index has one bit fewer.
  uint8_t primary[16], secondary[16] = {};
  for (uint32_t i = 0; i < 16; ++i) {
    const bool isAnchor = i == anchor[subset[i]];
    primary[i] = static_cast<uint8_t>(bits.Take(m.indexBits - (isAnchor ? 1 : 0)));
  }
  if (m.secondaryBits) {
    for (uint32_t i = 0; i < 16; ++i) secondary[i] = static_cast<uint8_t>(bits.Take(m.secondaryBits - (i == 0 ? 1 : 0)));
  }
  const uint8_t* colorWeights = BptcWeights(m.indexBits);
  const uint8_t* alphaWeights = BptcWeights(m.secondaryBits ? m.secondaryBits : m.indexBits);
  const uint8_t* colorIndex = primary;
  const uint8_t* alphaIndex = m.secondaryBits ? secondary : primary;
  if (selection) {
    colorIndex = secondary;
    alphaIndex = primary;
    colorWeights = BptcWeights(m.secondaryBits);
    alphaWeights = BptcWeights(m.indexBits);
  }
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t (&e)[2][4] = endpoints[subset[i]];
    const uint32_t cw = colorWeights[colorIndex[i]], aw = alphaWeights[alphaIndex[i]];
    uint32_t r = Interpolate(e[0][0], e[1][0], cw), g = Interpolate(e[0][1], e[1][1], cw);
    uint32_t b = Interpolate(e[0][2], e[1][2], cw), a = Interpolate(e[0][3], e[1][3], aw);
    switch (rotation) {
      case 1: std::swap(a, r); break;
      case 2: std::swap(a, g); break;
      case 3: std::swap(a, b); break;
      default: break;
    }
    const uint32_t pixel = (a << 24) | (r << 16) | (g << 8) | b;
    std::memcpy(out + (i / 4) * outPitch + 4 * (i % 4), &pixel, 4);
  }
}

}  // namespace mirelth
