// UASTC against Debian's libastcenc: UASTC is a lossless subset of 4x4 LDR ASTC, so every UASTC block, repacked as
// the ASTC block it stands for, must decode through the reference ASTC decoder to the very texels ours gives. The
// repacking here reads each mode's fields at the bit offsets the UASTC format description lists for it (a table of its
// own, not the decoder's), writes ASTC's block mode, partition seed, endpoint mode, integer-sequence-coded endpoints
// (trits and quints included) and bit-reversed weights, swapping endpoints where ASTC would blue-contract; random
// blocks of every mode, and every partition pattern. Our own ASTC decoder must give the repacked block's texels
// exactly, and the library (which rounds to bytes where ASTC's 8-bit decode truncates) within one.
#include <gtest/gtest.h>

#include <astcenc.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "encodings/blocks/blocks.h"

namespace mirelth {
namespace {

// Each mode's layout, as the UASTC format description lists it: code length and code, pattern field, component
// selector, trit/quint groups, endpoint bits, weights; its ASTC endpoint mode, ranges, subsets, planes and pattern
// seeds.
struct Layout {
  int codeBits;
  uint32_t code;
  int patternAt, patternBits;  // -1: one subset
  int compselAt;               // -1: none
  int etqAt;                   // first trit/quint group; -1: none
  int ebitsAt, ebitsBits;
  int weightsAt;
  int cem, endpointRange, weightBits, subsets, planes, comps;
  int patternTable;  // 0: two subsets, 1: three, 2: mode 7's
};
constexpr Layout kLayouts[19] = {
    {4, 0x1, -1, 0, -1, 19, 29, 6, 65, 8, 19, 4, 1, 1, 3, 0},
    {6, 0x35, -1, 0, -1, -1, 21, 8, 69, 8, 20, 2, 1, 1, 3, 0},
    {5, 0x1D, 20, 5, -1, -1, 25, 4, 73, 8, 8, 3, 2, 1, 3, 0},
    {5, 0x3, 20, 4, -1, 24, 53, 2, 89, 8, 7, 2, 3, 1, 3, 1},
    {5, 0x13, 20, 5, -1, 25, 53, 3, 89, 8, 12, 2, 2, 1, 3, 0},
    {5, 0xB, -1, 0, -1, -1, 20, 8, 68, 8, 20, 3, 1, 1, 3, 0},
    {5, 0x1B, -1, 0, 20, 22, 36, 5, 66, 8, 18, 2, 1, 2, 3, 0},
    {5, 0x7, 20, 5, -1, 25, 53, 3, 89, 8, 12, 2, 2, 1, 3, 2},
    {5, 0x17, -1, 0, -1, -1, 5, 8, 0, 0, 0, 0, 0, 0, 4, 0},
    {5, 0xF, 28, 5, -1, -1, 33, 4, 97, 12, 8, 2, 2, 1, 4, 0},
    {3, 0x2, -1, 0, -1, 20, 33, 4, 65, 12, 13, 4, 1, 1, 4, 0},
    {2, 0x0, -1, 0, 19, 21, 34, 4, 66, 12, 13, 2, 1, 2, 4, 0},
    {3, 0x6, -1, 0, -1, 20, 33, 6, 81, 12, 19, 3, 1, 1, 4, 0},
    {5, 0x1F, -1, 0, 28, -1, 30, 8, 94, 12, 20, 1, 1, 2, 4, 0},
    {5, 0xD, -1, 0, -1, -1, 28, 8, 92, 12, 20, 2, 1, 1, 4, 0},
    {7, 0x5, -1, 0, -1, -1, 30, 8, 62, 4, 20, 4, 1, 1, 2, 0},
    {6, 0x15, 29, 5, -1, -1, 34, 8, 98, 4, 20, 2, 2, 1, 2, 0},
    {6, 0x25, -1, 0, -1, -1, 29, 8, 61, 4, 20, 2, 1, 2, 2, 0},
    {4, 0x9, -1, 0, -1, -1, 19, 5, 49, 8, 11, 5, 1, 1, 3, 0},
};
// ASTC partition seeds of the common patterns, and each pattern's anchor texels.
constexpr uint16_t kSeeds2[30] = {28, 20,  16,  29, 91,  9,   107, 72,  149, 204, 50,  114, 496, 17,  78,
                                  39, 252, 828, 43, 156, 116, 210, 476, 273, 684, 359, 246, 195, 694, 524};
constexpr uint16_t kSeeds3[11] = {260, 74, 32, 156, 183, 15, 745, 0, 335, 902, 254};
constexpr uint16_t kSeeds2Of3[19] = {36,  48,  61,  137, 161, 183, 226, 281, 302, 307,
                                     479, 495, 593, 594, 605, 799, 812, 988, 993};

struct Range {
  int trits, quints, bits;
};
constexpr Range kRanges[21] = {{0, 0, 1}, {1, 0, 0}, {0, 0, 2}, {0, 1, 0}, {1, 0, 1}, {0, 0, 3}, {0, 1, 1},
                               {1, 0, 2}, {0, 0, 4}, {0, 1, 2}, {1, 0, 3}, {0, 0, 5}, {0, 1, 3}, {1, 0, 4},
                               {0, 0, 6}, {0, 1, 4}, {1, 0, 5}, {0, 0, 7}, {0, 1, 5}, {1, 0, 6}, {0, 0, 8}};

// 128 bits, bit 0 the least significant of byte 0.
struct Bits {
  uint8_t bytes[16] = {};
  uint32_t Get(int at, int count) const {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i) v |= uint32_t((bytes[(at + i) / 8] >> ((at + i) % 8)) & 1) << i;
    return v;
  }
  void Put(int at, int count, uint32_t v) {
    for (int i = 0; i < count; ++i) {
      const int b = at + i;
      bytes[b / 8] = uint8_t((bytes[b / 8] & ~(1 << (b % 8))) | (((v >> i) & 1) << (b % 8)));
    }
  }
};

// ASTC's integer sequence decoding of a trit block (8 bits -> 5 trits) and a quint block (7 bits -> 3 quints), as the
// ASTC format description states them; inverted by search for encoding.
void DecodeTrits(uint32_t T, int (&t)[5]) {
  auto bit = [&](int i) { return int((T >> i) & 1); };
  int C;
  if (((T >> 2) & 7) == 7) {
    C = int(((T >> 5) & 7) << 2 | (T & 3));
    t[4] = t[3] = 2;
  } else {
    C = int(T & 0x1F);
    if (((T >> 5) & 3) == 3) {
      t[4] = 2, t[3] = bit(7);
    } else {
      t[4] = bit(7), t[3] = int((T >> 5) & 3);
    }
  }
  auto c = [&](int i) { return (C >> i) & 1; };
  if ((C & 3) == 3) {
    t[2] = 2, t[1] = c(4), t[0] = (c(3) << 1) | (c(2) & ~c(3) & 1);
  } else if (((C >> 2) & 3) == 3) {
    t[2] = 2, t[1] = 2, t[0] = C & 3;
  } else {
    t[2] = c(4), t[1] = (C >> 2) & 3, t[0] = (c(1) << 1) | (c(0) & ~c(1) & 1);
  }
}
void DecodeQuints(uint32_t Q, int (&q)[3]) {
  auto bit = [&](int i) { return int((Q >> i) & 1); };
  if (((Q >> 1) & 3) == 3 && ((Q >> 5) & 3) == 0) {
    q[2] = (bit(0) << 2) | ((bit(4) & ~bit(0) & 1) << 1) | (bit(3) & ~bit(0) & 1);
    q[1] = q[0] = 4;
    return;
  }
  int C;
  if (((Q >> 1) & 3) == 3) {
    q[2] = 4;
    C = (int((Q >> 3) & 3) << 3) | ((~int(Q >> 5) & 3) << 1) | bit(0);
  } else {
    q[2] = int((Q >> 5) & 3);
    C = int(Q & 0x1F);
  }
  if ((C & 7) == 5) {
    q[1] = 4, q[0] = (C >> 3) & 3;
  } else {
    q[1] = (C >> 3) & 3, q[0] = C & 7;
  }
}

// Writes `values` of range `range` at `*at` as ASTC's integer sequence.
void PutSequence(Bits* out, int* at, const std::vector<int>& values, int range) {
  static const std::map<int, uint32_t> tritCode = [] {
    std::map<int, uint32_t> m;
    for (uint32_t T = 0; T < 256; ++T) {
      int t[5];
      DecodeTrits(T, t);
      m.emplace(t[0] + 3 * t[1] + 9 * t[2] + 27 * t[3] + 81 * t[4], T);
    }
    return m;
  }();
  static const std::map<int, uint32_t> quintCode = [] {
    std::map<int, uint32_t> m;
    for (uint32_t Q = 0; Q < 128; ++Q) {
      int q[3];
      DecodeQuints(Q, q);
      m.emplace(q[0] + 5 * q[1] + 25 * q[2], Q);
    }
    return m;
  }();
  const Range r = kRanges[range];
  const size_t group = r.trits ? 5 : r.quints ? 3 : 1;
  for (size_t i = 0; i < values.size(); i += group) {
    const size_t n = std::min(group, values.size() - i);
    if (group == 1) {
      out->Put(*at, r.bits, uint32_t(values[i])), *at += r.bits;
      continue;
    }
    int key = 0, scale = 1;
    for (size_t k = 0; k < group; ++k, scale *= r.trits ? 3 : 5) {
      key += (k < n ? values[i + k] >> r.bits : 0) * scale;
    }
    const uint32_t code = r.trits ? tritCode.at(key) : quintCode.at(key);
    // Trits: m0 T[1:0] m1 T[3:2] m2 T[4] m3 T[6:5] m4 T[7]; quints: m0 Q[2:0] m1 Q[4:3] m2 Q[6:5].
    static const int kTritSplit[5][2] = {{0, 2}, {2, 2}, {4, 1}, {5, 2}, {7, 1}};
    static const int kQuintSplit[3][2] = {{0, 3}, {3, 2}, {5, 2}};
    for (size_t k = 0; k < n; ++k) {
      out->Put(*at, r.bits, uint32_t(values[i + k]) & ((1u << r.bits) - 1)), *at += r.bits;
      const int* split = r.trits ? kTritSplit[k] : kQuintSplit[k];
      out->Put(*at, split[1], (code >> split[0]) & ((1u << split[1]) - 1)), *at += split[1];
    }
  }
}

constexpr uint8_t kWeightLevels[6][32] = {
    {},
    {0, 64},
    {0, 21, 43, 64},
    {0, 9, 18, 27, 37, 46, 55, 64},
    {0, 4, 8, 12, 17, 21, 25, 29, 35, 39, 43, 47, 52, 56, 60, 64},
    {0,  2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30,
     34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62, 64},
};

// The ASTC block a UASTC block stands for, from the fields at the offsets the format description lists.
Bits ToAstc(const Bits& u, int mode) {
  const Layout& l = kLayouts[mode];
  Bits a;
  if (mode == 8) {  // void extent: LDR, no extent, 16-bit colours replicated from the bytes
    a.Put(0, 9, 0x1FC), a.Put(9, 1, 0), a.Put(10, 2, 3);
    for (int i = 0; i < 4; ++i) a.Put(12 + 13 * i, 13, 0x1FFF);
    for (int c = 0; c < 4; ++c) a.Put(64 + 16 * c, 16, u.Get(5 + 8 * c, 8) * 257);
    return a;
  }
  const int pattern = l.patternAt >= 0 ? int(u.Get(l.patternAt, l.patternBits)) : 0;
  const uint16_t seed = l.subsets == 1        ? 0
                        : l.patternTable == 0 ? kSeeds2[pattern]
                        : l.patternTable == 1 ? kSeeds3[pattern]
                                              : kSeeds2Of3[pattern];
  // Endpoint values (trits/quints first, then low bits).
  const int count = l.comps * 2 * l.subsets;
  const Range r = kRanges[l.endpointRange];
  std::vector<int> values(static_cast<size_t>(count), 0);
  int at = l.etqAt;
  if (r.trits || r.quints) {
    const int group = r.trits ? 5 : 3;
    static const int kTritBits[6] = {0, 2, 4, 5, 7, 8}, kQuintBits[4] = {0, 3, 5, 7};
    for (int i = 0; i < count; i += group) {
      const int n = std::min(group, count - i);
      uint32_t packed = u.Get(at, r.trits ? kTritBits[n] : kQuintBits[n]);
      at += r.trits ? kTritBits[n] : kQuintBits[n];
      for (int k = 0; k < n; ++k)
        values[size_t(i + k)] = int(packed % uint32_t(group == 5 ? 3 : 5)) << r.bits, packed /= group == 5 ? 3 : 5;
    }
  }
  for (int i = 0; i < count; ++i) values[size_t(i)] |= int(u.Get(l.ebitsAt + i * l.ebitsBits, l.ebitsBits));
  // Weights, anchors one bit shorter: the first texel of each subset (both planes' first weights for dual planes).
  const int weightCount = 16 * l.planes;
  std::vector<int> weights(static_cast<size_t>(weightCount));
  std::vector<int> subsetOf(16, 0);
  for (int t = 0; t < 16; ++t) {
    subsetOf[size_t(t)] = l.subsets == 1 ? 0 : AstcPartitionOf(seed, l.subsets, t % 4, t / 4, 16);
  }
  bool seen[3] = {};
  at = l.weightsAt;
  for (int i = 0; i < weightCount; ++i) {
    const int t = l.planes == 2 ? i / 2 : i;
    const int s = subsetOf[size_t(t)];
    const bool anchor = l.planes == 2 ? i < 2 : !seen[s];
    if (l.planes == 1) seen[s] = true;
    const int bits = l.weightBits - (anchor ? 1 : 0);
    weights[size_t(i)] = int(u.Get(at, bits));
    at += bits;
  }
  EXPECT_LE(at, 128) << "mode " << mode;  // the weights end inside the block
  // ASTC blue-contracts RGB(A) endpoints whose second RGB sum is below the first: swap those and invert weights.
  if (l.cem != 4) {
    for (int s = 0; s < l.subsets; ++s) {
      int* v = &values[size_t(s * l.comps * 2)];
      int s0 = 0, s1 = 0;
      for (int c = 0; c < 3; ++c)
        s0 += AstcUnquantizeColour(l.endpointRange, uint32_t(v[2 * c])),
            s1 += AstcUnquantizeColour(l.endpointRange, uint32_t(v[2 * c + 1]));
      if (s1 >= s0) continue;
      for (int c = 0; c < l.comps; ++c) std::swap(v[2 * c], v[2 * c + 1]);
      const int top = (1 << l.weightBits) - 1;
      for (int i = 0; i < weightCount; ++i) {
        if (subsetOf[size_t(l.planes == 2 ? i / 2 : i)] == s) weights[size_t(i)] = top - weights[size_t(i)];
      }
    }
  }
  // Block mode: a 4 x 4 weight grid (A = 2, B = 0), the weight range (R, H) and dual plane.
  static const int kRangeOfBits[6] = {0, 0, 2, 5, 8, 11};
  const int wr = kRangeOfBits[l.weightBits];
  const int R = (wr % 6) + 2, H = wr / 6;
  const uint32_t blockMode = uint32_t(((R >> 1) & 3) | ((R & 1) << 4) | (2 << 5) | (H << 9) | ((l.planes == 2) << 10));
  a.Put(0, 11, blockMode);
  a.Put(11, 2, uint32_t(l.subsets - 1));
  int colourAt;
  if (l.subsets == 1) {
    a.Put(13, 4, uint32_t(l.cem)), colourAt = 17;
  } else {
    a.Put(13, 10, seed), a.Put(23, 6, uint32_t(l.cem) << 2), colourAt = 29;
  }
  PutSequence(&a, &colourAt, values, l.endpointRange);
  // Weights: the sequence written from bit 0 of a scratch block, then bit-reversed into the top of the block.
  Bits w;
  int weightEnd = 0;
  PutSequence(&w, &weightEnd, weights, kRangeOfBits[l.weightBits]);
  for (int i = 0; i < weightEnd; ++i) a.Put(127 - i, 1, w.Get(i, 1));
  if (l.planes == 2) {
    const uint32_t ccs = l.compselAt >= 0 ? u.Get(l.compselAt, 2) : 3;
    a.Put(128 - weightEnd - 2, 2, ccs);
  }
  return a;
}

TEST(Uastc, EveryModeAgainstLibAstcencThroughAstc) {
  astcenc_config config;
  ASSERT_EQ(astcenc_config_init(ASTCENC_PRF_LDR, 4, 4, 1, ASTCENC_PRE_FASTEST, ASTCENC_FLG_DECOMPRESS_ONLY, &config),
            ASTCENC_SUCCESS);
  astcenc_context* context = nullptr;
  ASSERT_EQ(astcenc_context_alloc(&config, 1, &context), ASTCENC_SUCCESS);
  const astcenc_swizzle rgba{ASTCENC_SWZ_R, ASTCENC_SWZ_G, ASTCENC_SWZ_B, ASTCENC_SWZ_A};
  std::mt19937 random(1234);
  int blocks = 0;
  for (int mode = 0; mode < 19; ++mode) {
    const Layout& l = kLayouts[mode];
    const int patterns = l.patternAt < 0 ? 1 : l.patternTable == 0 ? 30 : l.patternTable == 1 ? 11 : 19;
    for (int k = 0; k < 400; ++k) {
      Bits u;
      for (uint8_t& b : u.bytes) b = uint8_t(random());
      u.Put(0, l.codeBits, l.code);
      if (l.patternAt >= 0) u.Put(l.patternAt, l.patternBits, uint32_t(k % patterns));
      uint32_t ours[16];
      DecodeUASTCBlock(reinterpret_cast<uint8_t*>(ours), 16, u.bytes, BlockContext{});
      const Bits a = ToAstc(u, mode);
      float theirs[16 * 4];
      void* slice = theirs;
      astcenc_image image{4, 4, 1, ASTCENC_TYPE_F32, &slice};
      ASSERT_EQ(astcenc_decompress_image(context, a.bytes, 16, &image, &rgba, 0), ASTCENC_SUCCESS);
      astcenc_decompress_reset(context);
      // Our ASTC decoder of the repacked block must agree to the bit (it draws ASTC's 16-bit values' top byte);
      // the library, which rounds where the top byte truncates, within one.
      uint32_t astc[16];
      DecodeASTCBlock(reinterpret_cast<uint8_t*>(astc), 16, a.bytes, BlockContext{4, 4});
      for (int t = 0; t < 16; ++t) {
        ASSERT_EQ(ours[t], astc[t]) << "mode " << mode << " block " << k << " texel " << t;
        static const int kShift[4] = {16, 8, 0, 24};
        for (int c = 0; c < 4; ++c) {
          const long want = std::lround(theirs[4 * t + c] * 255.0f);
          const long got = long((ours[t] >> kShift[c]) & 0xFF);
          ASSERT_LE(std::abs(got - want), 1) << "mode " << mode << " block " << k << " texel " << t << " channel " << c;
        }
      }
      ++blocks;
    }
  }
  astcenc_context_free(context);
  EXPECT_EQ(blocks, 19 * 400);
}

TEST(Uastc, ReservedModeDrawsTheErrorColour) {
  uint8_t block[16] = {};
  block[0] = 0x45;  // mode 19's code
  uint32_t texels[16];
  DecodeUASTCBlock(reinterpret_cast<uint8_t*>(texels), 16, block, BlockContext{});
  for (uint32_t t : texels) EXPECT_EQ(t, 0xFFFF00FFu);
}

}  // namespace
}  // namespace mirelth
