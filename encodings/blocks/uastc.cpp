// UASTC: Basis Universal's 19-mode subset of 4x4 LDR ASTC in a layout of its own, decoded straight to RGBA8 as the
// published UASTC format description (public domain, 2020) defines it; every table below is transcribed from it.
// A block is read from bit 0 of byte 0 upwards. Its mode is a prefix code of 2-7 bits; then transcoding hints we
// skip (BC1, ETC1, ETC2 alpha), the partition pattern (an index into the patterns BC7 and ASTC share), the dual
// plane's component, the endpoints (trits or quints packed first, 5 trits in 8 bits or 3 quints in 7, a short last
// group in as few bits as its values need; then each value's low bits) and the weights, plain bits with one bit
// fewer for each subset's anchor texel. Endpoints unquantize and interpolate exactly as ASTC's (no blue
// contraction: UASTC stores endpoints in either order); mode 8 is a solid colour.
#include <cstring>

#include "encodings/blocks/blocks.h"

namespace mirelth {
namespace {

struct ModeRow {
  uint8_t codeBits;                // the mode's prefix code length
  uint8_t weightBits;              // bits of a weight (its range is the plain 2^bits levels)
  uint8_t endpointRange;           // ASTC range of the endpoint values
  uint8_t subsets, planes, comps;  // comps: 2 luminance-alpha, 3 RGB, 4 RGBA
  uint8_t hintBits;                // transcoding hints between the mode and the pattern (BC1, ETC1, ETC2 alpha)
  uint8_t patternBits;             // 0: one subset
  uint8_t patternTable;            // 0: two subsets, 1: three subsets, 2: two subsets of BC7's three-subset patterns
};
// Hint bits: BC1H0 1, BC1H1 1, ETC1F 1, ETC1D 1, ETC1I0 3, ETC1I1 3, ETC1BIAS 5, ETC2TM 8, as each mode has them.
constexpr ModeRow kModes[19] = {
    {4, 4, 19, 1, 1, 3, 19 - 4, 0, 0}, {6, 2, 20, 1, 1, 3, 21 - 6, 0, 0}, {5, 3, 8, 2, 1, 3, 20 - 5, 5, 0},
    {5, 2, 7, 3, 1, 3, 20 - 5, 4, 1},  {5, 2, 12, 2, 1, 3, 20 - 5, 5, 0}, {5, 3, 20, 1, 1, 3, 20 - 5, 0, 0},
    {5, 2, 18, 1, 2, 3, 20 - 5, 0, 0}, {5, 2, 12, 2, 1, 3, 20 - 5, 5, 2}, {5, 0, 0, 0, 0, 4, 0, 0, 0},
    {5, 2, 8, 2, 1, 4, 28 - 5, 5, 0},  {3, 4, 13, 1, 1, 4, 20 - 3, 0, 0}, {2, 2, 13, 1, 2, 4, 19 - 2, 0, 0},
    {3, 3, 19, 1, 1, 4, 20 - 3, 0, 0}, {5, 1, 20, 1, 2, 4, 28 - 5, 0, 0}, {5, 2, 20, 1, 1, 4, 28 - 5, 0, 0},
    {7, 4, 20, 1, 1, 2, 30 - 7, 0, 0}, {6, 2, 20, 2, 1, 2, 29 - 6, 5, 0}, {6, 2, 20, 1, 2, 2, 29 - 6, 0, 0},
    {4, 5, 11, 1, 1, 3, 19 - 4, 0, 0},
};
constexpr int kSolidMode = 8, kLaDualMode = 17, kReservedMode = 19;

// The mode of a block's low seven bits (the prefix code's decoding table).
constexpr uint8_t kModeOfBits[128] = {
    11, 0,  10, 3, 11, 15, 12, 7,  11, 18, 10, 5,  11, 14, 12, 9,  11, 0,  10, 4,  11, 16, 12, 8,  11, 18,
    10, 6,  11, 2, 12, 13, 11, 0,  10, 3,  11, 17, 12, 7,  11, 18, 10, 5,  11, 14, 12, 9,  11, 0,  10, 4,
    11, 1,  12, 8, 11, 18, 10, 6,  11, 2,  12, 13, 11, 0,  10, 3,  11, 19, 12, 7,  11, 18, 10, 5,  11, 14,
    12, 9,  11, 0, 10, 4,  11, 16, 12, 8,  11, 18, 10, 6,  11, 2,  12, 13, 11, 0,  10, 3,  11, 17, 12, 7,
    11, 18, 10, 5, 11, 14, 12, 9,  11, 0,  10, 4,  11, 1,  12, 8,  11, 18, 10, 6,  11, 2,  12, 13,
};

// The subset of each texel (raster order) for the three pattern tables, and each pattern's anchor texels.
constexpr uint8_t kPatterns2[30][16] = {
    {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1},
    {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 0, 0}, {0, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1}, {1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0},
    {1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0},
    {1, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 1},
    {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 1, 1},
    {1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 1, 0}, {0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0},
    {1, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 1, 1}, {0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0},
    {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0},
    {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 0},
};
constexpr uint8_t kAnchors2[30][2] = {
    {0, 2}, {0, 3},  {1, 0}, {0, 3}, {7, 0}, {0, 2},  {3, 0}, {7, 0}, {0, 11}, {2, 0},
    {0, 7}, {11, 0}, {3, 0}, {8, 0}, {0, 4}, {12, 0}, {1, 0}, {8, 0}, {0, 1},  {0, 2},
    {0, 4}, {8, 0},  {1, 0}, {0, 2}, {4, 0}, {0, 1},  {4, 0}, {1, 0}, {4, 0},  {1, 0},
};
constexpr uint8_t kPatterns3[11][16] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 2, 2, 2, 2},
    {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2}, {1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2, 0}, {0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2},
    {0, 2, 1, 1, 0, 2, 1, 1, 0, 2, 1, 1, 0, 2, 1, 1}, {2, 0, 0, 0, 2, 0, 0, 0, 2, 1, 1, 1, 2, 1, 1, 1},
    {2, 0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2}, {1, 1, 1, 1, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1},
    {0, 0, 2, 2, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 2, 2},
};
constexpr uint8_t kAnchors3[11][3] = {
    {0, 8, 10}, {8, 0, 12}, {4, 0, 12}, {8, 0, 4}, {3, 0, 2}, {0, 1, 3},
    {0, 2, 1},  {1, 9, 0},  {1, 2, 0},  {4, 0, 8}, {0, 6, 2},
};
constexpr uint8_t kPatterns2Of3[19][16] = {
    {0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0},
    {1, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1}, {0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0},
    {0, 0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1},
    {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0}, {0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1, 0}, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0},
    {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0}, {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0},
    {1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
};
constexpr uint8_t kAnchors2Of3[19][2] = {
    {0, 4}, {0, 2}, {2, 0}, {0, 7}, {8, 0},  {0, 1}, {0, 3}, {0, 1}, {2, 0}, {0, 1},
    {0, 8}, {2, 0}, {0, 1}, {0, 7}, {12, 0}, {2, 0}, {9, 0}, {0, 2}, {4, 0},
};
constexpr uint8_t kPatternCounts[3] = {30, 11, 19};

// Weights of 1-5 bits as ASTC's 0..64 interpolation factors.
constexpr uint8_t kWeights1[2] = {0, 64};
constexpr uint8_t kWeights2[4] = {0, 21, 43, 64};
constexpr uint8_t kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr uint8_t kWeights4[16] = {0, 4, 8, 12, 17, 21, 25, 29, 35, 39, 43, 47, 52, 56, 60, 64};
constexpr uint8_t kWeights5[32] = {0,  2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30,
                                   34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62, 64};
constexpr const uint8_t* kWeightTables[6] = {nullptr, kWeights1, kWeights2, kWeights3, kWeights4, kWeights5};

// Trits or quints and low bits of the endpoint ranges UASTC uses (ASTC's ranges).
struct EndpointRange {
  uint8_t trits, quints, bits;
};
constexpr EndpointRange EndpointRangeOf(int range) {
  constexpr EndpointRange kRanges[21] = {{0, 0, 1}, {1, 0, 0}, {0, 0, 2}, {0, 1, 0}, {1, 0, 1}, {0, 0, 3}, {0, 1, 1},
                                         {1, 0, 2}, {0, 0, 4}, {0, 1, 2}, {1, 0, 3}, {0, 0, 5}, {0, 1, 3}, {1, 0, 4},
                                         {0, 0, 6}, {0, 1, 4}, {1, 0, 5}, {0, 0, 7}, {0, 1, 5}, {1, 0, 6}, {0, 0, 8}};
  return kRanges[range];
}
// Bits of a short last group: 1-4 trits (largest codes 2, 8, 26, 80), 1-2 quints (4, 24).
constexpr uint8_t kTritGroupBits[6] = {0, 2, 4, 5, 7, 8};
constexpr uint8_t kQuintGroupBits[4] = {0, 3, 5, 7};

// Bits read from bit 0 of byte 0 upwards.
class BlockBits {
 public:
  explicit BlockBits(const uint8_t* block) {
    for (int i = 7; i >= 0; --i) lo_ = (lo_ << 8) | block[i], hi_ = (hi_ << 8) | block[8 + i];
  }
  uint32_t Take(int count) {
    if (count == 0) return 0;
    uint64_t v;
    if (at_ >= 128) {
      v = 0;
    } else if (at_ >= 64) {
      v = hi_ >> (at_ - 64);
    } else {
      v = (lo_ >> at_) | (at_ ? hi_ << (64 - at_) : 0);
    }
    at_ += count;
    return static_cast<uint32_t>(v & ((uint64_t{1} << count) - 1));
  }
  void Skip(int count) { at_ += count; }
  int at() const { return at_; }
  void Seek(int at) { at_ = at; }

 private:
  uint64_t lo_ = 0, hi_ = 0;
  int at_ = 0;
};

inline uint32_t Interpolate(uint32_t low, uint32_t high, uint32_t weight) {
  low = (low << 8) | low, high = (high << 8) | high;
  return ((low * (64 - weight) + high * weight + 32) >> 6) >> 8;
}

inline uint32_t Bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return (a << 24) | (r << 16) | (g << 8) | b; }

void Fill(uint8_t* out, intptr_t pitch, uint32_t colour) {
  for (int y = 0; y < 4; ++y) {
    uint32_t row[4] = {colour, colour, colour, colour};
    std::memcpy(out + y * pitch, row, sizeof row);
  }
}

// A block read up to its weights: the endpoints of each subset as RGBA, the texels' subsets, the anchors, and where
// the weights start. A reserved mode or a pattern past its table is an error block; mode 8 a solid colour.
struct Parsed {
  enum Kind : uint8_t { kError, kSolid, kWeighted } kind = kError;
  uint32_t colour = 0;
  const ModeRow* m = nullptr;
  const uint8_t* subsetOf = nullptr;  // null: one subset
  int component = -1;                 // the second plane's component
  uint8_t low[3][4] = {}, top[3][4] = {};
  bool anchor[32] = {};
  int weightsAt = 0;
};

constexpr uint32_t kErrorColour = 0xFFFF00FF;  // ASTC's error colour, magenta

void Parse(const uint8_t* block, Parsed* p) {
  const int mode = kModeOfBits[block[0] & 0x7F];
  if (mode == kReservedMode) return;
  BlockBits bits(block);
  const ModeRow& m = kModes[mode];
  p->m = &m;
  bits.Skip(m.codeBits);
  if (mode == kSolidMode) {
    const uint32_t r = bits.Take(8), g = bits.Take(8), b = bits.Take(8), a = bits.Take(8);
    p->kind = Parsed::kSolid;
    p->colour = Bgra(r, g, b, a);
    return;
  }
  bits.Skip(m.hintBits);
  uint32_t pattern = 0;
  if (m.patternBits) {
    pattern = bits.Take(m.patternBits);
    if (pattern >= kPatternCounts[m.patternTable]) return;
  }
  if (m.planes == 2) p->component = mode == kLaDualMode ? 3 : static_cast<int>(bits.Take(2));

  // Endpoint values: trits or quints first, then each value's low bits.
  const int count = m.comps * 2 * m.subsets;
  const EndpointRange range = EndpointRangeOf(m.endpointRange);
  uint32_t high[18] = {};
  if (range.trits) {
    for (int i = 0; i < count; i += 5) {
      const int values = count - i < 5 ? count - i : 5;
      uint32_t packed = bits.Take(kTritGroupBits[values]);
      for (int k = 0; k < values; ++k) high[i + k] = packed % 3, packed /= 3;
    }
  } else if (range.quints) {
    for (int i = 0; i < count; i += 3) {
      const int values = count - i < 3 ? count - i : 3;
      uint32_t packed = bits.Take(kQuintGroupBits[values]);
      for (int k = 0; k < values; ++k) high[i + k] = packed % 5, packed /= 5;
    }
  }
  uint8_t values[18];
  for (int i = 0; i < count; ++i) {
    values[i] = AstcUnquantizeColour(m.endpointRange, (high[i] << range.bits) | bits.Take(range.bits));
  }
  // Endpoints of each subset as RGBA: RGB (RL RH GL GH BL BH), RGBA (then AL AH), LA (LL LH AL AH).
  for (int s = 0; s < m.subsets; ++s) {
    const uint8_t* v = values + s * m.comps * 2;
    if (m.comps == 2) {
      p->low[s][0] = p->low[s][1] = p->low[s][2] = v[0], p->low[s][3] = v[2];
      p->top[s][0] = p->top[s][1] = p->top[s][2] = v[1], p->top[s][3] = v[3];
    } else {
      for (int c = 0; c < 4; ++c) {
        p->low[s][c] = c < m.comps ? v[2 * c] : 255;
        p->top[s][c] = c < m.comps ? v[2 * c + 1] : 255;
      }
    }
  }
  // Subsets and anchors: each subset's anchor weight (both planes' first weights in dual-plane modes) has one bit
  // fewer, its top bit being 0.
  if (m.subsets == 1) {
    p->anchor[0] = true;
    if (m.planes == 2) p->anchor[1] = true;
  } else if (m.patternTable == 0) {
    p->subsetOf = kPatterns2[pattern];
    p->anchor[kAnchors2[pattern][0]] = p->anchor[kAnchors2[pattern][1]] = true;
  } else if (m.patternTable == 1) {
    p->subsetOf = kPatterns3[pattern];
    for (uint8_t t : kAnchors3[pattern]) p->anchor[t] = true;
  } else {
    p->subsetOf = kPatterns2Of3[pattern];
    p->anchor[kAnchors2Of3[pattern][0]] = p->anchor[kAnchors2Of3[pattern][1]] = true;
  }
  p->weightsAt = bits.at();
  p->kind = Parsed::kWeighted;
}

// Texel t from its weights (w1: the second plane's).
uint32_t TexelOf(const Parsed& p, int t, uint32_t w0, uint32_t w1) {
  const int s = p.subsetOf ? p.subsetOf[t] : 0;
  uint32_t channel[4];
  for (int c = 0; c < 4; ++c) channel[c] = Interpolate(p.low[s][c], p.top[s][c], c == p.component ? w1 : w0);
  return Bgra(channel[0], channel[1], channel[2], channel[3]);
}

}  // namespace

void DecodeUASTCBlock(uint8_t* out, intptr_t pitch, const uint8_t* block, const BlockContext& context) {
  (void)context;
  Parsed p;
  Parse(block, &p);
  if (p.kind != Parsed::kWeighted) return Fill(out, pitch, p.kind == Parsed::kSolid ? p.colour : kErrorColour);
  const ModeRow& m = *p.m;
  BlockBits bits(block);
  bits.Seek(p.weightsAt);
  const uint8_t* table = kWeightTables[m.weightBits];
  uint8_t weights[32];
  for (int i = 0; i < 16 * m.planes; ++i) weights[i] = table[bits.Take(m.weightBits - (p.anchor[i] ? 1 : 0))];
  for (int y = 0; y < 4; ++y) {
    uint32_t row[4];
    for (int x = 0; x < 4; ++x) {
      const int t = 4 * y + x;
      row[x] = m.planes == 2 ? TexelOf(p, t, weights[2 * t], weights[2 * t + 1]) : TexelOf(p, t, weights[t], 0);
    }
    std::memcpy(out + y * pitch, row, sizeof row);
  }
}

uint32_t DecodeUASTCTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext& context) {
  (void)context;
  Parsed p;
  Parse(block, &p);
  if (p.kind != Parsed::kWeighted) return p.kind == Parsed::kSolid ? p.colour : kErrorColour;
  const ModeRow& m = *p.m;
  const int t = 4 * y + x;
  // The texel's weights start after every weight before them, anchors one bit shorter.
  const int first = m.planes * t;
  int at = p.weightsAt + first * m.weightBits;
  for (int i = 0; i < first; ++i) at -= p.anchor[i] ? 1 : 0;
  BlockBits bits(block);
  bits.Seek(at);
  const uint8_t* table = kWeightTables[m.weightBits];
  const uint32_t w0 = table[bits.Take(m.weightBits - (p.anchor[first] ? 1 : 0))];
  const uint32_t w1 = m.planes == 2 ? table[bits.Take(m.weightBits - (p.anchor[first + 1] ? 1 : 0))] : 0;
  return TexelOf(p, t, w0, w1);
}

}  // namespace mirelth
