// ASTC 2D blocks of every footprint: 128 bits read little-endian. Bits 0-10 give the block mode (weight grid
// size, weight range, dual plane) or mark a void-extent block; bits 11-12 the partition count. Colour endpoint
// values are an integer sequence (bits, trits or quints) upwards from bit 17 (one partition) or 29; weights an
// integer sequence downwards from bit 127. Weights are infilled bilinearly from the grid to the texels, texels
// take their partition from the hash of the partition index, and endpoints interpolate as 16-bit values:
// LDR ones widened by 257 and drawn as the top 8 bits (decode_unorm8), HDR ones (12-bit pseudo-logarithmic)
// turned into half floats and drawn by F. Illegal blocks draw the error colour, opaque magenta.
#include <algorithm>
#include <bit>
#include <cstring>

#include "encodings/blocks/blocks.h"
#include "encodings/conversion_rules.h"
#include "io/byte_reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelth {
namespace {

constexpr uint32_t kErrorColour = 0xFFFF00FFu;

// The value ranges of integer sequences: trits, quints and bits per value, and the number of levels.
struct Range {
  uint8_t trits, quints, bits;
  uint16_t levels;
};
constexpr Range kRanges[21] = {
    {0, 0, 1, 2},  {1, 0, 0, 3},  {0, 0, 2, 4},  {0, 1, 0, 5},   {1, 0, 1, 6},   {0, 0, 3, 8},   {0, 1, 1, 10},
    {1, 0, 2, 12}, {0, 0, 4, 16}, {0, 1, 2, 20}, {1, 0, 3, 24},  {0, 0, 5, 32},  {0, 1, 3, 40},  {1, 0, 4, 48},
    {0, 0, 6, 64}, {0, 1, 4, 80}, {1, 0, 5, 96}, {0, 0, 7, 128}, {0, 1, 5, 160}, {1, 0, 6, 192}, {0, 0, 8, 256}};

constexpr int32_t SequenceBits(int32_t range, int32_t count) {
  const Range& r = kRanges[range];
  return count * r.bits + (count * 8 * r.trits + 4) / 5 + (count * 7 * r.quints + 2) / 3;
}

// The bit-pattern parameters of unquantization: B as a pattern over the value's low bits (a = bit 0, b = bit 1,
// ... '0' = zero), most significant first, and C.
struct Unquantization {
  const char* pattern;
  int32_t c;
};

struct Tables {
  uint8_t trits[256][5];
  uint8_t quints[128][3];
  uint8_t colour[21][256];       // unquantized colour values 0..255, ranges 4 (0..5) to 20
  uint8_t weight[12][32];        // unquantized weights 0..64, ranges 0 to 11
  uint8_t colourRange[19][129];  // largest colour range for (values, remaining bits), 0 when none fits

  Tables() {
    BuildTrits();
    BuildQuints();
    BuildColour();
    BuildWeight();
    for (int32_t values = 0; values <= 18; ++values) {
      for (int32_t bits = 0; bits <= 128; ++bits) {
        colourRange[values][bits] = 0;
        for (int32_t range = 20; range >= 4; --range) {
          if (SequenceBits(range, values) <= bits) {
            colourRange[values][bits] = static_cast<uint8_t>(range);
            break;
          }
        }
      }
    }
  }

  void BuildTrits() {
    for (uint32_t t = 0; t < 256; ++t) {
      uint32_t c, t4, t3;
      if (((t >> 2) & 7) == 7) {
        c = ((t >> 5) << 2) | (t & 3);
        t4 = t3 = 2;
      } else {
        c = t & 31;
        if (((t >> 5) & 3) == 3) {
          t4 = 2;
          t3 = (t >> 7) & 1;
        } else {
          t4 = (t >> 7) & 1;
          t3 = (t >> 5) & 3;
        }
      }
      uint32_t t2, t1, t0;
      if ((c & 3) == 3) {
        t2 = 2;
        t1 = (c >> 4) & 1;
        t0 = (((c >> 3) & 1) << 1) | (((c >> 2) & 1) & ~((c >> 3) & 1));
      } else if (((c >> 2) & 3) == 3) {
        t2 = 2;
        t1 = 2;
        t0 = c & 3;
      } else {
        t2 = (c >> 4) & 1;
        t1 = (c >> 2) & 3;
        t0 = (((c >> 1) & 1) << 1) | ((c & 1) & ~((c >> 1) & 1));
      }
      const uint32_t decoded[5] = {t0, t1, t2, t3, t4};
      for (int32_t i = 0; i < 5; ++i) trits[t][i] = static_cast<uint8_t>(decoded[i]);
    }
  }

  void BuildQuints() {
    for (uint32_t q = 0; q < 128; ++q) {
      uint32_t q0, q1, q2;
      const auto bit = [q](int32_t i) { return (q >> i) & 1u; };
      if (((q >> 1) & 3) == 3 && ((q >> 5) & 3) == 0) {
        q2 = (bit(0) << 2) | ((bit(4) & ~bit(0) & 1) << 1) | (bit(3) & ~bit(0) & 1);
        q1 = q0 = 4;
      } else {
        uint32_t c;
        if (((q >> 1) & 3) == 3) {
          q2 = 4;
          c = (((q >> 3) & 3) << 3) | ((~(q >> 5) & 3) << 1) | bit(0);
        } else {
          q2 = (q >> 5) & 3;
          c = q & 31;
        }
        if ((c & 7) == 5) {
          q1 = 4;
          q0 = (c >> 3) & 3;
        } else {
          q1 = (c >> 3) & 3;
          q0 = c & 7;
        }
      }
      quints[q][0] = static_cast<uint8_t>(q0);
      quints[q][1] = static_cast<uint8_t>(q1);
      quints[q][2] = static_cast<uint8_t>(q2);
    }
  }

  // B from a pattern over the low bits m of a value.
  static uint32_t PatternBits(const char* pattern, uint32_t m) {
    uint32_t b = 0;
    for (const char* p = pattern; *p; ++p) b = (b << 1) | (*p == '0' ? 0u : (m >> (*p - 'a')) & 1u);
    return b;
  }

  void BuildColour() {
    // Ranges 4 (0..5) to 20 (0..255), by trits or quints and bits, as the unquantization table lists them.
    static const Unquantization kTrit[7] = {{nullptr, 0},      {"000000000", 204}, {"b000b0bb0", 93}, {"cb000cbcb", 44},
                                            {"dcb000dcb", 22}, {"edcb000ed", 11},  {"fedcb000f", 5}};
    static const Unquantization kQuint[6] = {{nullptr, 0},      {"000000000", 113}, {"b0000bb00", 54},
                                             {"cb0000cbc", 26}, {"dcb0000dc", 13},  {"edcb0000e", 6}};
    for (int32_t range = 4; range <= 20; ++range) {
      const Range& r = kRanges[range];
      for (uint32_t v = 0; v < r.levels; ++v) {
        const uint32_t m = v & ((1u << r.bits) - 1), d = v >> r.bits;
        uint32_t value;
        if (!r.trits && !r.quints) {
          value = 0;  // bit replication from the top
          for (int32_t shift = 8 - r.bits; shift > -static_cast<int32_t>(r.bits); shift -= r.bits) {
            value |= shift >= 0 ? v << shift : v >> -shift;
          }
          value &= 255;
        } else {
          const Unquantization& u = r.trits ? kTrit[r.bits] : kQuint[r.bits];
          const uint32_t a = (m & 1) ? 0x1FF : 0;
          uint32_t unq = d * static_cast<uint32_t>(u.c) + PatternBits(u.pattern, m);
          unq ^= a;
          value = (a & 0x80) | (unq >> 2);
        }
        colour[range][v] = static_cast<uint8_t>(value);
      }
    }
  }

  void BuildWeight() {
    static const Unquantization kTrit[4] = {{nullptr, 0}, {"0000000", 50}, {"b000b0b", 23}, {"cb000cb", 11}};
    static const Unquantization kQuint[3] = {{nullptr, 0}, {"0000000", 28}, {"b0000b0", 13}};
    for (int32_t range = 0; range <= 11; ++range) {
      const Range& r = kRanges[range];
      for (uint32_t v = 0; v < r.levels; ++v) {
        const uint32_t m = v & ((1u << r.bits) - 1), d = v >> r.bits;
        uint32_t value;
        if (!r.trits && !r.quints) {
          value = 0;
          for (int32_t shift = 6 - r.bits; shift > -static_cast<int32_t>(r.bits); shift -= r.bits) {
            value |= shift >= 0 ? v << shift : v >> -shift;
          }
          value &= 63;
        } else if (r.bits == 0) {
          static const uint8_t kThree[3] = {0, 32, 63}, kFive[5] = {0, 16, 32, 47, 63};
          value = r.trits ? kThree[v] : kFive[v];
        } else {
          const Unquantization& u = r.trits ? kTrit[r.bits] : kQuint[r.bits];
          const uint32_t a = (m & 1) ? 0x7F : 0;
          uint32_t unq = d * static_cast<uint32_t>(u.c) + PatternBits(u.pattern, m);
          unq ^= a;
          value = (a & 0x20) | (unq >> 2);
        }
        weight[range][v] = static_cast<uint8_t>(value > 32 ? value + 1 : value);
      }
    }
  }
};

const Tables& AstcTables() {
  static const Tables tables;
  return tables;
}

// A 128-bit string, bit 0 the least significant bit of byte 0.
struct Bits128 {
  uint64_t lo, hi;
  // `count` (< 32) bits from `position`; positions past 127 read as 0.
  uint32_t Get(int32_t position, int32_t count) const {
    uint64_t v;
    if (position >= 64) {
      v = position >= 128 ? 0 : hi >> (position - 64);
    } else {
      v = (lo >> position) | (position ? hi << (64 - position) : 0);
    }
    return static_cast<uint32_t>(v & ((uint64_t{1} << count) - 1));
  }
  // The 64 bits from `position`, zeros past bit 127.
  uint64_t Get64(int32_t position) const {
    if (position == 0) return lo;
    if (position < 64) return (lo >> position) | (hi << (64 - position));
    return position < 128 ? hi >> (position - 64) : 0;
  }
  // The same string with every bit from `end` on cleared.
  Bits128 Below(int32_t end) const {
    if (end >= 128) return *this;
    if (end >= 64) return {lo, end == 64 ? 0 : hi & ((uint64_t{1} << (end - 64)) - 1)};
    return {end == 0 ? 0 : lo & ((uint64_t{1} << end) - 1), 0};
  }
};

uint64_t Reverse64(uint64_t v) {
  v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
  v = ((v >> 8) & 0x00FF00FF00FF00FFull) | ((v & 0x00FF00FF00FF00FFull) << 8);
  v = ((v >> 16) & 0x0000FFFF0000FFFFull) | ((v & 0x0000FFFF0000FFFFull) << 16);
  return (v >> 32) | (v << 32);
}

// `count` values of `range` from the sequence that starts at bit `start` and holds exactly SequenceBits bits;
// the bits past it read as 0. With `unquantize`, each value goes through that table. A trit block (8 + 5n bits,
// at most 38) or quint block (7 + 3n, at most 22) is taken as one 64-bit chunk and its fields cut from fixed places.
// With `wanted` (bit i: value i), only the values it names are certain to be decoded and unquantized: a trit or
// quint group is skipped when it holds none of them, a plain value when it is not named.
void DecodeSequence(const Tables& tables, const Bits128& block, int32_t start, int32_t count, int32_t range,
                    uint8_t* out, const uint8_t* unquantize = nullptr, uint64_t wanted = ~uint64_t{0}) {
  const Range& r = kRanges[range];
  const int32_t n = r.bits;
  const uint64_t mask = (uint64_t{1} << n) - 1;
  const Bits128 bits = block.Below(start + SequenceBits(range, count));
  const auto skip = [wanted](int32_t first, uint64_t group) { return first < 64 && ((wanted >> first) & group) == 0; };
  if (r.trits) {
    for (int32_t first = 0, p = start; first < count; first += 5, p += 8 + 5 * n) {
      if (skip(first, 0x1F)) continue;
      const uint64_t c = bits.Get64(p);
      const auto t =
          static_cast<uint32_t>(((c >> n) & 3) | (((c >> (2 * n + 2)) & 3) << 2) | (((c >> (3 * n + 4)) & 1) << 4) |
                                (((c >> (4 * n + 5)) & 3) << 5) | (((c >> (5 * n + 7)) & 1) << 7));
      const uint8_t* trits = tables.trits[t];
      const uint64_t m[5] = {c & mask, (c >> (n + 2)) & mask, (c >> (2 * n + 4)) & mask, (c >> (3 * n + 5)) & mask,
                             (c >> (4 * n + 7)) & mask};
      const int32_t take = std::min(5, count - first);
      for (int32_t i = 0; i < take; ++i) out[first + i] = static_cast<uint8_t>((trits[i] << n) | m[i]);
    }
  } else if (r.quints) {
    for (int32_t first = 0, p = start; first < count; first += 3, p += 7 + 3 * n) {
      if (skip(first, 0x7)) continue;
      const uint64_t c = bits.Get64(p);
      const auto q =
          static_cast<uint32_t>(((c >> n) & 7) | (((c >> (2 * n + 3)) & 3) << 3) | (((c >> (3 * n + 5)) & 3) << 5));
      const uint8_t* quints = tables.quints[q];
      const uint64_t m[3] = {c & mask, (c >> (n + 3)) & mask, (c >> (2 * n + 5)) & mask};
      const int32_t take = std::min(3, count - first);
      for (int32_t i = 0; i < take; ++i) out[first + i] = static_cast<uint8_t>((quints[i] << n) | m[i]);
    }
  } else if (wanted != ~uint64_t{0}) {
    for (uint64_t left = wanted; left != 0; left &= left - 1) {
      const int32_t i = std::countr_zero(left);
      if (i < count) out[i] = static_cast<uint8_t>(bits.Get64(start + i * n) & mask);
    }
  } else {
    uint64_t chunk = bits.Get64(start);
    for (int32_t i = 0, used = 0; i < count; ++i, used += n) {
      if (used + n > 64) chunk = bits.Get64(start + i * n), used = 0;
      out[i] = static_cast<uint8_t>((chunk >> used) & mask);
    }
  }
  if (unquantize && wanted != ~uint64_t{0}) {
    for (uint64_t left = wanted; left != 0; left &= left - 1) {
      const int32_t i = std::countr_zero(left);
      if (i < count) out[i] = unquantize[out[i]];
    }
  } else if (unquantize) {
    for (int32_t i = 0; i < count; ++i) out[i] = unquantize[out[i]];
  }
}

// What a block mode says, for one footprint.
struct BlockMode {
  bool valid = false;
  bool dual = false;
  uint8_t gridWidth = 0, gridHeight = 0;
  uint8_t range = 0;       // weight range 0..11
  uint8_t weightBits = 0;  // bits of the weight sequence
  int16_t infill = -1;     // index of the infill table, or -1 when the grid is the footprint
};

bool ReadBlockMode(uint32_t mode, int32_t* width, int32_t* height, bool* dual, int32_t* range) {
  const uint32_t a = (mode >> 5) & 3, b = (mode >> 7) & 3;
  uint32_t rho, high = (mode >> 9) & 1;
  *dual = (mode >> 10) & 1;
  if (mode & 3) {
    rho = ((mode >> 4) & 1) | ((mode & 3) << 1);
    switch ((mode >> 2) & 3) {
      case 0: *width = static_cast<int32_t>(b + 4), *height = static_cast<int32_t>(a + 2); break;
      case 1: *width = static_cast<int32_t>(b + 8), *height = static_cast<int32_t>(a + 2); break;
      case 2: *width = static_cast<int32_t>(a + 2), *height = static_cast<int32_t>(b + 8); break;
      default:
        if (mode & 0x100) {
          *width = static_cast<int32_t>(((mode >> 7) & 1) + 2), *height = static_cast<int32_t>(a + 2);
        } else {
          *width = static_cast<int32_t>(a + 2), *height = static_cast<int32_t>(((mode >> 7) & 1) + 6);
        }
    }
  } else {
    if ((mode & 0xF) == 0) return false;  // reserved
    rho = ((mode >> 4) & 1) | (((mode >> 2) & 3) << 1);
    switch (b) {
      case 0: *width = 12, *height = static_cast<int32_t>(a + 2); break;
      case 1: *width = static_cast<int32_t>(a + 2), *height = 12; break;
      case 2:
        *width = static_cast<int32_t>(a + 6), *height = static_cast<int32_t>(((mode >> 9) & 3) + 6);
        *dual = false;
        high = 0;
        break;
      default:
        if (a == 0) {
          *width = 6, *height = 10;
        } else if (a == 1) {
          *width = 10, *height = 6;
        } else {
          return false;  // reserved (or void extent, found before)
        }
    }
  }
  if (rho < 2) return false;
  *range = static_cast<int32_t>(rho - 2 + 6 * high);
  return true;
}

// The texel-to-grid weights of one grid size: per texel the grid index of its top-left stored weight and the
// four bilinear factors (sum 16).
template <int32_t kTexels>
struct Infill {
  uint8_t index[kTexels];
  uint8_t factor[kTexels][4];
};

template <int32_t kW, int32_t kH>
struct Footprint {
  static constexpr int32_t kTexels = kW * kH;
  BlockMode modes[2048];
  Infill<kTexels> infills[11 * 11];
  int32_t infillCount = 0;

  Footprint() {
    int16_t infillOf[13][13];
    for (auto& row : infillOf) {
      for (int16_t& v : row) v = -1;
    }
    for (uint32_t m = 0; m < 2048; ++m) {
      BlockMode& mode = modes[m];
      int32_t width, height, range;
      bool dual;
      if ((m & 0x1FF) == 0x1FC || !ReadBlockMode(m, &width, &height, &dual, &range)) continue;
      const int32_t count = width * height * (dual ? 2 : 1);
      if (width > kW || height > kH || count > 64) continue;
      const int32_t weightBits = SequenceBits(range, count);
      if (weightBits < 24 || weightBits > 96) continue;
      mode.valid = true;
      mode.dual = dual;
      mode.gridWidth = static_cast<uint8_t>(width);
      mode.gridHeight = static_cast<uint8_t>(height);
      mode.range = static_cast<uint8_t>(range);
      mode.weightBits = static_cast<uint8_t>(weightBits);
      if (width == kW && height == kH) continue;
      if (infillOf[width][height] < 0) {
        infillOf[width][height] = static_cast<int16_t>(infillCount);
        BuildInfill(width, height, infills[infillCount++]);
      }
      mode.infill = infillOf[width][height];
    }
  }

  static void BuildInfill(int32_t width, int32_t height, Infill<kTexels>& infill) {
    const int32_t ds = (1024 + kW / 2) / (kW - 1), dt = (1024 + kH / 2) / (kH - 1);
    for (int32_t t = 0; t < kH; ++t) {
      for (int32_t s = 0; s < kW; ++s) {
        const int32_t gs = (ds * s * (width - 1) + 32) >> 6, gt = (dt * t * (height - 1) + 32) >> 6;
        const int32_t js = gs >> 4, fs = gs & 15, jt = gt >> 4, ft = gt & 15;
        const int32_t w11 = (fs * ft + 8) >> 4;
        const int32_t texel = t * kW + s;
        infill.index[texel] = static_cast<uint8_t>(js + jt * width);
        infill.factor[texel][0] = static_cast<uint8_t>(16 - fs - ft + w11);
        infill.factor[texel][1] = static_cast<uint8_t>(fs - w11);
        infill.factor[texel][2] = static_cast<uint8_t>(ft - w11);
        infill.factor[texel][3] = static_cast<uint8_t>(w11);
      }
    }
  }
};

template <int32_t kW, int32_t kH>
const Footprint<kW, kH>& FootprintOf() {
  static const Footprint<kW, kH> footprint;
  return footprint;
}

// Endpoints of one partition: 16-bit interpolation inputs per channel (R, G, B, A) and, per channel, whether it is
// HDR (12-bit pseudo-logarithmic, shifted up 4) or LDR (8-bit, widened by 257).
struct Endpoints {
  int32_t e0[4], e1[4];
  bool hdr[4];
  bool anyHdr;
  int32_t base[4], delta[4];  // LDR: 64 c0 and c1 - c0 of the 8-bit endpoints
  int16_t packed[8];          // LDR: base then delta, in output order (B, G, R, A)
};

inline int32_t Clamp(int32_t v, int32_t low, int32_t high) { return std::clamp(v, low, high); }

// Moves the top bit of b into a, leaving b a 6-bit signed offset.
inline void TransferBit(int32_t& b, int32_t& a) {
  a = (a >> 1) | (b & 0x80);
  b = (b >> 1) & 0x3F;
  if (b & 0x20) b -= 0x40;
}

void SetLdr(Endpoints& e, const int32_t (&c0)[4], const int32_t (&c1)[4]) {
  for (int32_t c = 0; c < 4; ++c) {
    const int32_t low = Clamp(c0[c], 0, 255), high = Clamp(c1[c], 0, 255);
    e.e0[c] = low * 257;
    e.e1[c] = high * 257;
    e.hdr[c] = false;
    e.base[c] = 64 * low;
    e.delta[c] = high - low;
  }
  static constexpr int32_t kOutputOrder[4] = {2, 1, 0, 3};
  for (int32_t lane = 0; lane < 4; ++lane) {
    e.packed[lane] = static_cast<int16_t>(e.base[kOutputOrder[lane]]);
    e.packed[4 + lane] = static_cast<int16_t>(e.delta[kOutputOrder[lane]]);
  }
  e.anyHdr = false;
}

// (r + b) / 2, (g + b) / 2, b: more precision near gray.
inline void BlueContract(int32_t (&c)[4]) {
  c[0] = (c[0] + c[2]) >> 1;
  c[1] = (c[1] + c[2]) >> 1;
}

void HdrRgbDirect(const uint8_t* v, int32_t (&e0)[4], int32_t (&e1)[4]) {
  const int32_t v0 = v[0], v1 = v[1], v2 = v[2], v3 = v[3], v4 = v[4], v5 = v[5];
  const int32_t major = ((v4 & 0x80) >> 7) | ((v5 & 0x80) >> 6);
  if (major == 3) {
    e0[0] = v0 << 4, e0[1] = v2 << 4, e0[2] = (v4 & 0x7F) << 5;
    e1[0] = v1 << 4, e1[1] = v3 << 4, e1[2] = (v5 & 0x7F) << 5;
    return;
  }
  const int32_t mode = ((v1 & 0x80) >> 7) | ((v2 & 0x80) >> 6) | ((v3 & 0x80) >> 5);
  int32_t va = v0 | ((v1 & 0x40) << 2), vb0 = v2 & 0x3F, vb1 = v3 & 0x3F, vc = v1 & 0x3F;
  static constexpr int32_t kDBits[8] = {7, 6, 7, 6, 5, 6, 5, 6};
  int32_t vd0 = SignExtend(static_cast<uint32_t>(v4 & 0x7F), static_cast<uint32_t>(kDBits[mode]));
  int32_t vd1 = SignExtend(static_cast<uint32_t>(v5 & 0x7F), static_cast<uint32_t>(kDBits[mode]));
  const int32_t x0 = (v2 >> 6) & 1, x1 = (v3 >> 6) & 1, x2 = (v4 >> 6) & 1, x3 = (v5 >> 6) & 1, x4 = (v4 >> 5) & 1,
                x5 = (v5 >> 5) & 1;
  const int32_t ohm = 1 << mode;
  if (ohm & 0xA4) va |= x0 << 9;
  if (ohm & 0x08) va |= x2 << 9;
  if (ohm & 0x50) va |= x4 << 9;
  if (ohm & 0x50) va |= x5 << 10;
  if (ohm & 0xA0) va |= x1 << 10;
  if (ohm & 0xC0) va |= x2 << 11;
  if (ohm & 0x04) vc |= x1 << 6;
  if (ohm & 0xE8) vc |= x3 << 6;
  if (ohm & 0x20) vc |= x2 << 7;
  if (ohm & 0x5B) vb0 |= x0 << 6;
  if (ohm & 0x5B) vb1 |= x1 << 6;
  if (ohm & 0x12) vb0 |= x2 << 7;
  if (ohm & 0x12) vb1 |= x3 << 7;
  const int32_t shift = (mode >> 1) ^ 3;
  va <<= shift, vb0 <<= shift, vb1 <<= shift, vc <<= shift;
  vd0 = static_cast<int32_t>(static_cast<uint32_t>(vd0) << shift);
  vd1 = static_cast<int32_t>(static_cast<uint32_t>(vd1) << shift);
  e1[0] = Clamp(va, 0, 0xFFF);
  e1[1] = Clamp(va - vb0, 0, 0xFFF);
  e1[2] = Clamp(va - vb1, 0, 0xFFF);
  e0[0] = Clamp(va - vc, 0, 0xFFF);
  e0[1] = Clamp(va - vb0 - vc - vd0, 0, 0xFFF);
  e0[2] = Clamp(va - vb1 - vc - vd1, 0, 0xFFF);
  if (major == 1) {
    std::swap(e0[0], e0[1]);
    std::swap(e1[0], e1[1]);
  } else if (major == 2) {
    std::swap(e0[0], e0[2]);
    std::swap(e1[0], e1[2]);
  }
}

void HdrRgbScale(const uint8_t* v, int32_t (&e0)[4], int32_t (&e1)[4]) {
  const int32_t v0 = v[0], v1 = v[1], v2 = v[2], v3 = v[3];
  const int32_t modeValue = ((v0 & 0xC0) >> 6) | ((v1 & 0x80) >> 5) | ((v2 & 0x80) >> 4);
  int32_t major, mode;
  if ((modeValue & 0xC) != 0xC) {
    major = modeValue >> 2, mode = modeValue & 3;
  } else if (modeValue != 0xF) {
    major = modeValue & 3, mode = 4;
  } else {
    major = 0, mode = 5;
  }
  int32_t red = v0 & 0x3F, green = v1 & 0x1F, blue = v2 & 0x1F, scale = v3 & 0x1F;
  const int32_t x0 = (v1 >> 6) & 1, x1 = (v1 >> 5) & 1, x2 = (v2 >> 6) & 1, x3 = (v2 >> 5) & 1, x4 = (v3 >> 7) & 1,
                x5 = (v3 >> 6) & 1, x6 = (v3 >> 5) & 1;
  const int32_t ohm = 1 << mode;
  if (ohm & 0x30) green |= x0 << 6;
  if (ohm & 0x3A) green |= x1 << 5;
  if (ohm & 0x30) blue |= x2 << 6;
  if (ohm & 0x3A) blue |= x3 << 5;
  if (ohm & 0x3D) scale |= x6 << 5;
  if (ohm & 0x2D) scale |= x5 << 6;
  if (ohm & 0x04) scale |= x4 << 7;
  if (ohm & 0x3B) red |= x4 << 6;
  if (ohm & 0x04) red |= x3 << 6;
  if (ohm & 0x10) red |= x5 << 7;
  if (ohm & 0x0F) red |= x2 << 7;
  if (ohm & 0x05) red |= x1 << 8;
  if (ohm & 0x0A) red |= x0 << 8;
  if (ohm & 0x05) red |= x0 << 9;
  if (ohm & 0x02) red |= x6 << 9;
  if (ohm & 0x01) red |= x3 << 10;
  if (ohm & 0x02) red |= x5 << 10;
  static constexpr int32_t kShift[6] = {1, 1, 2, 3, 4, 5};
  const int32_t shift = kShift[mode];
  red <<= shift, green <<= shift, blue <<= shift, scale <<= shift;
  if (mode != 5) green = red - green, blue = red - blue;
  if (major == 1) std::swap(red, green);
  if (major == 2) std::swap(red, blue);
  e1[0] = Clamp(red, 0, 0xFFF), e1[1] = Clamp(green, 0, 0xFFF), e1[2] = Clamp(blue, 0, 0xFFF);
  e0[0] = Clamp(red - scale, 0, 0xFFF), e0[1] = Clamp(green - scale, 0, 0xFFF), e0[2] = Clamp(blue - scale, 0, 0xFFF);
}

// The endpoints of a colour endpoint mode from its unquantized values.
Endpoints DecodeEndpoints(uint32_t cem, const uint8_t* values) {
  Endpoints e;  // every path sets what it uses
  int32_t v[8];
  for (int32_t i = 0; i < 8; ++i) v[i] = i < static_cast<int32_t>(2 * ((cem >> 2) + 1)) ? values[i] : 0;
  int32_t c0[4], c1[4];
  switch (cem) {
    case 0:
      c0[0] = c0[1] = c0[2] = v[0], c0[3] = 255;
      c1[0] = c1[1] = c1[2] = v[1], c1[3] = 255;
      SetLdr(e, c0, c1);
      return e;
    case 1: {
      const int32_t l0 = (v[0] >> 2) | (v[1] & 0xC0), l1 = std::min(l0 + (v[1] & 0x3F), 255);
      c0[0] = c0[1] = c0[2] = l0, c0[3] = 255;
      c1[0] = c1[1] = c1[2] = l1, c1[3] = 255;
      SetLdr(e, c0, c1);
      return e;
    }
    case 4:
      c0[0] = c0[1] = c0[2] = v[0], c0[3] = v[2];
      c1[0] = c1[1] = c1[2] = v[1], c1[3] = v[3];
      SetLdr(e, c0, c1);
      return e;
    case 5:
      TransferBit(v[1], v[0]);
      TransferBit(v[3], v[2]);
      c0[0] = c0[1] = c0[2] = v[0], c0[3] = v[2];
      c1[0] = c1[1] = c1[2] = v[0] + v[1], c1[3] = v[2] + v[3];
      SetLdr(e, c0, c1);
      return e;
    case 6:
    case 10:
      c0[0] = (v[0] * v[3]) >> 8, c0[1] = (v[1] * v[3]) >> 8, c0[2] = (v[2] * v[3]) >> 8;
      c1[0] = v[0], c1[1] = v[1], c1[2] = v[2];
      c0[3] = cem == 10 ? v[4] : 255;
      c1[3] = cem == 10 ? v[5] : 255;
      SetLdr(e, c0, c1);
      return e;
    case 8:
    case 12: {
      const int32_t a0 = cem == 12 ? v[6] : 255, a1 = cem == 12 ? v[7] : 255;
      if (v[1] + v[3] + v[5] >= v[0] + v[2] + v[4]) {
        c0[0] = v[0], c0[1] = v[2], c0[2] = v[4], c0[3] = a0;
        c1[0] = v[1], c1[1] = v[3], c1[2] = v[5], c1[3] = a1;
      } else {
        c0[0] = v[1], c0[1] = v[3], c0[2] = v[5], c0[3] = a1;
        c1[0] = v[0], c1[1] = v[2], c1[2] = v[4], c1[3] = a0;
        BlueContract(c0);
        BlueContract(c1);
      }
      SetLdr(e, c0, c1);
      return e;
    }
    case 9:
    case 13: {
      TransferBit(v[1], v[0]);
      TransferBit(v[3], v[2]);
      TransferBit(v[5], v[4]);
      if (cem == 13) TransferBit(v[7], v[6]);
      const int32_t a0 = cem == 13 ? v[6] : 255, a1 = cem == 13 ? v[6] + v[7] : 255;
      if (v[1] + v[3] + v[5] >= 0) {
        c0[0] = v[0], c0[1] = v[2], c0[2] = v[4], c0[3] = a0;
        c1[0] = v[0] + v[1], c1[1] = v[2] + v[3], c1[2] = v[4] + v[5], c1[3] = a1;
      } else {
        c0[0] = v[0] + v[1], c0[1] = v[2] + v[3], c0[2] = v[4] + v[5], c0[3] = a1;
        c1[0] = v[0], c1[1] = v[2], c1[2] = v[4], c1[3] = a0;
        BlueContract(c0);
        BlueContract(c1);
      }
      SetLdr(e, c0, c1);
      return e;
    }
    default: break;
  }
  // HDR modes: 12-bit values, alpha 0x780 (1.0) unless the mode says otherwise.
  int32_t h0[4] = {0, 0, 0, 0x780}, h1[4] = {0, 0, 0, 0x780};
  bool ldrAlpha = false;
  switch (cem) {
    case 2:
      if (v[1] >= v[0]) {
        h0[0] = h0[1] = h0[2] = v[0] << 4;
        h1[0] = h1[1] = h1[2] = v[1] << 4;
      } else {
        h0[0] = h0[1] = h0[2] = (v[1] << 4) + 8;
        h1[0] = h1[1] = h1[2] = (v[0] << 4) - 8;
      }
      break;
    case 3: {
      int32_t y0, d;
      if (v[0] & 0x80) {
        y0 = ((v[1] & 0xE0) << 4) | ((v[0] & 0x7F) << 2);
        d = (v[1] & 0x1F) << 2;
      } else {
        y0 = ((v[1] & 0xF0) << 4) | ((v[0] & 0x7F) << 1);
        d = (v[1] & 0x0F) << 1;
      }
      const int32_t y1 = std::min(y0 + d, 0xFFF);
      h0[0] = h0[1] = h0[2] = y0;
      h1[0] = h1[1] = h1[2] = y1;
      break;
    }
    case 7: {
      uint8_t bytes[4];
      for (int32_t i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(v[i]);
      HdrRgbScale(bytes, h0, h1);
      break;
    }
    default: {  // 11, 14, 15
      uint8_t bytes[6];
      for (int32_t i = 0; i < 6; ++i) bytes[i] = static_cast<uint8_t>(v[i]);
      HdrRgbDirect(bytes, h0, h1);
      if (cem == 14) {
        ldrAlpha = true;
      } else if (cem == 15) {
        const int32_t mode = ((v[6] >> 7) & 1) | ((v[7] >> 6) & 2);
        int32_t a = v[6] & 0x7F, b = v[7] & 0x7F;
        if (mode == 3) {
          h0[3] = a << 5;
          h1[3] = b << 5;
        } else {
          a |= (b << (mode + 1)) & 0x780;
          b &= 0x3F >> mode;
          b ^= 0x20 >> mode;
          b -= 0x20 >> mode;
          a <<= 4 - mode;
          b = static_cast<int32_t>(static_cast<uint32_t>(b) << (4 - mode));
          h0[3] = a;
          h1[3] = Clamp(a + b, 0, 0xFFF);
        }
      }
    }
  }
  for (int32_t c = 0; c < 4; ++c) {
    e.e0[c] = h0[c] << 4;
    e.e1[c] = h1[c] << 4;
    e.hdr[c] = true;
    e.base[c] = e.delta[c] = 0;
  }
  std::memset(e.packed, 0, sizeof e.packed);
  e.anyHdr = true;
  if (ldrAlpha) {
    e.e0[3] = v[6] * 257;
    e.e1[3] = v[7] * 257;
    e.hdr[3] = false;
  }
  return e;
}

// The partition of texel (x, y) for a seed and partition count.
struct PartitionHash {
  int32_t seed[8];  // multipliers of x and y for a, b, c, d
  uint32_t offset[4];
  int32_t count;
  PartitionHash(uint32_t index, int32_t count_) : count(count_) {
    uint32_t s = index + static_cast<uint32_t>(count - 1) * 1024;
    uint32_t p = s;
    p ^= p >> 15;
    p -= p << 17;
    p += p << 7;
    p += p << 4;
    p ^= p >> 5;
    p += p << 16;
    p ^= p >> 7;
    p ^= p >> 3;
    p ^= p << 6;
    p ^= p >> 17;
    const uint32_t rnum = p;
    int32_t seeds[8];
    for (int32_t i = 0; i < 8; ++i) {
      const int32_t v = static_cast<int32_t>((rnum >> (4 * i)) & 0xF);
      seeds[i] = v * v;
    }
    int32_t sh1, sh2;
    if (s & 1) {
      sh1 = (s & 2) ? 4 : 5;
      sh2 = count == 3 ? 6 : 5;
    } else {
      sh1 = count == 3 ? 6 : 5;
      sh2 = (s & 2) ? 4 : 5;
    }
    for (int32_t i = 0; i < 8; ++i) seed[i] = seeds[i] >> ((i & 1) ? sh2 : sh1);
    offset[0] = rnum >> 14;
    offset[1] = rnum >> 10;
    offset[2] = rnum >> 6;
    offset[3] = rnum >> 2;
  }
  int32_t Of(int32_t x, int32_t y, bool small) const {
    if (small) x <<= 1, y <<= 1;
    const int32_t a = static_cast<int32_t>((static_cast<uint32_t>(seed[0] * x + seed[1] * y) + offset[0]) & 0x3F);
    const int32_t b = static_cast<int32_t>((static_cast<uint32_t>(seed[2] * x + seed[3] * y) + offset[1]) & 0x3F);
    int32_t c = static_cast<int32_t>((static_cast<uint32_t>(seed[4] * x + seed[5] * y) + offset[2]) & 0x3F);
    int32_t d = static_cast<int32_t>((static_cast<uint32_t>(seed[6] * x + seed[7] * y) + offset[3]) & 0x3F);
    if (count < 4) d = 0;
    if (count < 3) c = 0;
    if (a >= b && a >= c && a >= d) return 0;
    if (b >= c && b >= d) return 1;
    if (c >= d) return 2;
    return 3;
  }
};

// An HDR channel's interpolated 16-bit value as a half float: the pseudo-logarithmic mantissa made linear.
inline uint32_t HdrHalf(int32_t v) {
  const int32_t exponent = (v & 0xF800) >> 11, mantissa = v & 0x7FF;
  const int32_t mt = mantissa < 512 ? 3 * mantissa : mantissa >= 1536 ? 5 * mantissa - 2048 : 4 * mantissa - 512;
  uint32_t half = static_cast<uint32_t>((exponent << 10) + (mt >> 3));
  if ((half & 0x7C00) == 0x7C00) half = 0x7BFF;
  return half;
}

// One channel of an interpolated texel as a display byte.
inline uint32_t ChannelByte(const Endpoints& e, int32_t c, int32_t weight, const HalfTables& halves) {
  const int32_t v = (e.e0[c] * (64 - weight) + e.e1[c] * weight + 32) >> 6;
  if (!e.hdr[c]) return static_cast<uint32_t>(v) >> 8;
  const uint32_t half = HdrHalf(v);
  return c == 3 ? halves.alpha[half] : halves.colour[half];
}

// A display byte as the linear float that F draws as that byte (colour: the smallest float the sRGB curve takes to
// it; alpha: byte / 255), so that LDR texels of an HDR texture keep their bytes when no value passes 1.
inline float LinearOfByte(uint32_t byte, int32_t c) {
  if (c == 3) return static_cast<float>(byte) / 255.0f;
  return byte == 0 ? 0.0f : FloatFromBits(SrgbEncodeTables().threshold[byte]);
}
inline void LinearOfPixel(uint32_t pixel, float* out) {
  out[0] = LinearOfByte((pixel >> 16) & 0xFF, 0);
  out[1] = LinearOfByte((pixel >> 8) & 0xFF, 1);
  out[2] = LinearOfByte(pixel & 0xFF, 2);
  out[3] = LinearOfByte(pixel >> 24, 3);
}

inline uint32_t Bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return (a << 24) | (r << 16) | (g << 8) | b; }

// A void-extent block: one colour, UNORM16 (LDR) or half floats (HDR), from bits 64-127.
uint32_t VoidExtentColour(const Bits128& bits) {
  if (bits.Get(10, 2) != 3) return kErrorColour;
  const uint32_t minS = bits.Get(12, 13), maxS = bits.Get(25, 13), minT = bits.Get(38, 13), maxT = bits.Get(51, 13);
  const bool allOnes = minS == 0x1FFF && maxS == 0x1FFF && minT == 0x1FFF && maxT == 0x1FFF;
  if (!allOnes && (minS >= maxS || minT >= maxT)) return kErrorColour;
  const uint32_t r = bits.Get(64, 16), g = bits.Get(80, 16), b = bits.Get(96, 16), a = bits.Get(112, 16);
  if (!bits.Get(9, 1)) return Bgra(r >> 8, g >> 8, b >> 8, a >> 8);
  const HalfTables& halves = HalfToByteTables();
  return Bgra(halves.colour[r], halves.colour[g], halves.colour[b], halves.alpha[a]);
}

// LDR texels: the top 8 bits of (257 c0 (64 - w) + 257 c1 w + 32) / 64, which are
// (257 (64 c0 + (c1 - c0) w) + 32) >> 14; channel `selector` takes the second plane's weight.
void LdrTexels(const Endpoints* endpoints, const uint8_t* partitionOf, const uint8_t* plane0, const uint8_t* plane1,
               int32_t selector, int32_t count, uint32_t* texels) {
  int32_t t = 0;
#if defined(__SSE2__)
  static constexpr int32_t kLane[4] = {2, 1, 0, 3};  // lane of R, G, B, A
  __m128i second = _mm_setzero_si128();
  if (selector >= 0) {
    alignas(16) int16_t mask[8] = {};
    mask[kLane[selector]] = mask[4 + kLane[selector]] = -1;
    second = _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
  }
  const __m128i rounding = _mm_setr_epi16(257, 32, 257, 32, 257, 32, 257, 32);
  const __m128i one = _mm_set1_epi16(1);
  for (; t + 1 < count; t += 2) {
    const int16_t* a = endpoints[partitionOf[t]].packed;
    const int16_t* b = endpoints[partitionOf[t + 1]].packed;
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i base = _mm_unpacklo_epi64(first, next), delta = _mm_unpackhi_epi64(first, next);
    const __m128i w0 = _mm_unpacklo_epi64(_mm_set1_epi16(plane0[t]), _mm_set1_epi16(plane0[t + 1]));
    const __m128i w1 = _mm_unpacklo_epi64(_mm_set1_epi16(plane1[t]), _mm_set1_epi16(plane1[t + 1]));
    const __m128i w = _mm_or_si128(_mm_andnot_si128(second, w0), _mm_and_si128(second, w1));
    const __m128i sum = _mm_add_epi16(base, _mm_mullo_epi16(delta, w));
    const __m128i low = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(sum, one), rounding), 14);
    const __m128i high = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(sum, one), rounding), 14);
    const __m128i words = _mm_packs_epi32(low, high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(texels + t), _mm_packus_epi16(words, words));
  }
#endif
  for (; t < count; ++t) {
    const Endpoints& e = endpoints[partitionOf[t]];
    uint32_t channel[4];
    for (int32_t c = 0; c < 4; ++c) {
      const int32_t sum = e.base[c] + e.delta[c] * (c == selector ? plane1[t] : plane0[t]);
      channel[c] = static_cast<uint32_t>((sum * 257 + 32) >> 14);
    }
    texels[t] = Bgra(channel[0], channel[1], channel[2], channel[3]);
  }
}

// Where a block's texels go: display bytes (what the picture draws through F) or, for HDR textures, linear floats
// (HDR channels as their half floats, LDR ones as the floats F draws as their bytes) for the tone mapping.
struct ByteTexels {
  uint32_t* texels;
  void Fill(int32_t count, uint32_t colour) {
    for (int32_t i = 0; i < count; ++i) texels[i] = colour;
  }
  void VoidExtent(int32_t count, const Bits128& bits) { Fill(count, VoidExtentColour(bits)); }
  void Ldr(const Endpoints* endpoints, const uint8_t* partitionOf, const uint8_t* plane0, const uint8_t* plane1,
           int32_t selector, int32_t count) {
    LdrTexels(endpoints, partitionOf, plane0, plane1, selector, count, texels);
  }
  void Texel(int32_t t, const Endpoints& e, int32_t w0, int32_t w1, int32_t selector) {
    const HalfTables& halves = HalfToByteTables();
    uint32_t channel[4];
    for (int32_t c = 0; c < 4; ++c) channel[c] = ChannelByte(e, c, c == selector ? w1 : w0, halves);
    texels[t] = Bgra(channel[0], channel[1], channel[2], channel[3]);
  }
};

struct FloatTexels {
  float* texels;  // four floats a texel
  void Fill(int32_t count, uint32_t colour) {
    float pixel[4];
    LinearOfPixel(colour, pixel);
    for (int32_t i = 0; i < count; ++i) std::memcpy(texels + 4 * i, pixel, 16);
  }
  void VoidExtent(int32_t count, const Bits128& bits) {
    const uint32_t colour = VoidExtentColour(bits);
    if (colour == kErrorColour || !bits.Get(9, 1)) return Fill(count, colour);
    const float pixel[4] = {
        HalfToFloat(static_cast<uint16_t>(bits.Get(64, 16))), HalfToFloat(static_cast<uint16_t>(bits.Get(80, 16))),
        HalfToFloat(static_cast<uint16_t>(bits.Get(96, 16))), HalfToFloat(static_cast<uint16_t>(bits.Get(112, 16)))};
    for (int32_t i = 0; i < count; ++i) std::memcpy(texels + 4 * i, pixel, 16);
  }
  void Ldr(const Endpoints* endpoints, const uint8_t* partitionOf, const uint8_t* plane0, const uint8_t* plane1,
           int32_t selector, int32_t count) {
    uint32_t bytes[kMaxBlockWidth * kMaxBlockHeight];
    LdrTexels(endpoints, partitionOf, plane0, plane1, selector, count, bytes);
    for (int32_t t = 0; t < count; ++t) LinearOfPixel(bytes[t], texels + 4 * t);
  }
  void Texel(int32_t t, const Endpoints& e, int32_t w0, int32_t w1, int32_t selector) {
    for (int32_t c = 0; c < 4; ++c) {
      const int32_t weight = c == selector ? w1 : w0;
      const int32_t v = (e.e0[c] * (64 - weight) + e.e1[c] * weight + 32) >> 6;
      texels[4 * t + c] =
          e.hdr[c] ? HalfToFloat(static_cast<uint16_t>(HdrHalf(v))) : LinearOfByte(static_cast<uint32_t>(v) >> 8, c);
    }
  }
};

// The colour endpoint mode of each partition; where the colour values start and how many mode bits sit below
// the weights.
void ReadEndpointModes(const Bits128& bits, const BlockMode& mode, int32_t partitions, uint32_t (&cem)[4],
                       int32_t* colourStart, int32_t* extraBits) {
  if (partitions == 1) {
    cem[0] = static_cast<uint32_t>((bits.lo >> 13) & 15);
    return;
  }
  *colourStart = 29;
  const uint32_t field = static_cast<uint32_t>((bits.lo >> 23) & 0x3F);
  if ((field & 3) == 0) {
    for (int32_t i = 0; i < partitions; ++i) cem[i] = field >> 2;
    return;
  }
  *extraBits = 3 * partitions - 4;
  const uint32_t combined = field | (bits.Get(128 - mode.weightBits - *extraBits, *extraBits) << 6);
  const uint32_t base = (field & 3) - 1;
  for (int32_t i = 0; i < partitions; ++i) {
    const uint32_t cls = base + ((combined >> (2 + i)) & 1);
    cem[i] = (cls << 2) | ((combined >> (2 + partitions + 2 * i)) & 3);
  }
}

// Whether a block holds HDR values: an HDR void extent, or an HDR endpoint mode (2, 3, 7, 11, 14, 15) in a
// partition.
template <int32_t kW, int32_t kH>
bool HoldsHdr(const uint8_t* block) {
  const Bits128 bits{ByteReader::U64LENoBoundsCheck(block), ByteReader::U64LENoBoundsCheck(block + 8)};
  if ((bits.lo & 0x1FF) == 0x1FC) return (bits.lo >> 9) & 1;
  const BlockMode& mode = FootprintOf<kW, kH>().modes[bits.lo & 0x7FF];
  const int32_t partitions = static_cast<int32_t>((bits.lo >> 11) & 3) + 1;
  if (!mode.valid) return false;
  uint32_t cem[4] = {0, 0, 0, 0};
  int32_t colourStart = 17, extraBits = 0;
  ReadEndpointModes(bits, mode, partitions, cem, &colourStart, &extraBits);
  constexpr uint32_t kHdrModes = 1u << 2 | 1u << 3 | 1u << 7 | 1u << 11 | 1u << 14 | 1u << 15;
  for (int32_t i = 0; i < partitions; ++i) {
    if (kHdrModes >> cem[i] & 1) return true;
  }
  return false;
}

// Every texel of the block in order, or (`list`) only the `count` texels listed (y x kW + x each), in list order:
// the block's fields are read once either way, and a list pays for its texels' weights, partitions and blends alone.
template <int32_t kW, int32_t kH, typename Out>
void DecodeTexels(const uint8_t* block, Out out, const uint8_t* list = nullptr, int32_t count = kW * kH) {
  constexpr int32_t kTexels = kW * kH;
  const Bits128 bits{ByteReader::U64LENoBoundsCheck(block), ByteReader::U64LENoBoundsCheck(block + 8)};
  const auto fill = [&](uint32_t colour) { out.Fill(count, colour); };
  const auto texelAt = [list](int32_t i) { return list ? static_cast<int32_t>(list[i]) : i; };
  if ((bits.lo & 0x1FF) == 0x1FC) return out.VoidExtent(count, bits);
  const Footprint<kW, kH>& footprint = FootprintOf<kW, kH>();
  const BlockMode& mode = footprint.modes[bits.lo & 0x7FF];
  const int32_t partitions = static_cast<int32_t>((bits.lo >> 11) & 3) + 1;
  if (!mode.valid || (mode.dual && partitions == 4)) return fill(kErrorColour);

  // Colour endpoint modes.
  uint32_t cem[4] = {0, 0, 0, 0};
  int32_t colourStart = 17, extraBits = 0;
  ReadEndpointModes(bits, mode, partitions, cem, &colourStart, &extraBits);
  const int32_t configBits = colourStart + extraBits + (mode.dual ? 2 : 0);
  int32_t valueCount = 0;
  for (int32_t i = 0; i < partitions; ++i) valueCount += 2 * static_cast<int32_t>((cem[i] >> 2) + 1);
  const int32_t remaining = 128 - configBits - mode.weightBits;
  if (valueCount > 18 || remaining < (13 * valueCount + 4) / 5) return fill(kErrorColour);
  const Tables& tables = AstcTables();
  const int32_t colourRange = tables.colourRange[valueCount][remaining];
  if (colourRange == 0) return fill(kErrorColour);

  uint8_t values[18];
  DecodeSequence(tables, bits, colourStart, valueCount, colourRange, values, tables.colour[colourRange]);
  Endpoints endpoints[4];
  for (int32_t i = 0, at = 0; i < partitions; ++i) {
    endpoints[i] = DecodeEndpoints(cem[i], values + at);
    at += 2 * static_cast<int32_t>((cem[i] >> 2) + 1);
  }

  // Weights, read from the bit-reversed block.
  const Bits128 reversed{Reverse64(bits.hi), Reverse64(bits.lo)};
  const int32_t gridCount = mode.gridWidth * mode.gridHeight * (mode.dual ? 2 : 1);
  const int32_t planeStep = mode.dual ? 2 : 1;
  // A short list needs only the grid weights its texels infill from (both planes); the rest stay 0 unread.
  uint64_t wanted = ~uint64_t{0};
  uint8_t stored[64] = {};
  if (list && count * 4 < gridCount) {
    wanted = 0;
    const int32_t w = mode.gridWidth, gridSize = mode.gridWidth * mode.gridHeight;
    const uint64_t planes = mode.dual ? 3 : 1;
    for (int32_t i = 0; i < count; ++i) {
      if (mode.infill < 0) {
        wanted |= planes << (list[i] * planeStep);
        continue;
      }
      const int32_t g = footprint.infills[mode.infill].index[list[i]];
      for (const int32_t at : {g, g + 1, g + w, g + w + 1}) {
        if (at < gridSize) wanted |= planes << (at * planeStep);
      }
    }
  }
  DecodeSequence(tables, reversed, 0, gridCount, mode.range, stored, tables.weight[mode.range], wanted);
  const int32_t selector = mode.dual ? static_cast<int32_t>(bits.Get(128 - mode.weightBits - extraBits - 2, 2)) : -1;

  // The weights of every texel (both planes), infilled from the grid when it is smaller than the footprint.
  uint8_t weights[2][kTexels];
  for (int32_t plane = 0; plane < planeStep; ++plane) {
    if (mode.infill < 0) {
      for (int32_t i = 0; i < count; ++i) weights[plane][i] = stored[texelAt(i) * planeStep + plane];
      continue;
    }
    const Infill<kTexels>& infill = footprint.infills[mode.infill];
    const int32_t w = mode.gridWidth, gridSize = mode.gridWidth * mode.gridHeight;
    // A plane's stored weights with a zero past the last, so that the factor-0 neighbours of edge texels read it.
    uint8_t grid[64 + 16];
    for (int32_t i = 0; i < gridSize; ++i) grid[i] = stored[i * planeStep + plane];
    std::memset(grid + gridSize, 0, 16);
    for (int32_t i = 0; i < count; ++i) {
      const int32_t t = texelAt(i);
      const uint8_t* g = grid + infill.index[t];
      const uint8_t* f = infill.factor[t];
      weights[plane][i] = static_cast<uint8_t>((g[0] * f[0] + g[1] * f[1] + g[w] * f[2] + g[w + 1] * f[3] + 8) >> 4);
    }
  }
  const uint8_t* plane1 = weights[mode.dual ? 1 : 0];

  uint8_t partitionOf[kTexels];
  bool anyHdr = false;
  for (int32_t i = 0; i < partitions; ++i) anyHdr |= endpoints[i].anyHdr;
  if (partitions > 1 && list) {
    const PartitionHash hash(static_cast<uint32_t>((bits.lo >> 13) & 0x3FF), partitions);
    for (int32_t i = 0; i < count; ++i) {
      partitionOf[i] = static_cast<uint8_t>(hash.Of(list[i] % kW, list[i] / kW, kTexels < 31));
    }
  } else if (partitions > 1) {
    const PartitionHash hash(static_cast<uint32_t>((bits.lo >> 13) & 0x3FF), partitions);
    for (int32_t y = 0, t = 0; y < kH; ++y) {
      for (int32_t x = 0; x < kW; ++x, ++t) partitionOf[t] = static_cast<uint8_t>(hash.Of(x, y, kTexels < 31));
    }
  } else {
    std::memset(partitionOf, 0, sizeof partitionOf);
  }

  if (!anyHdr) return out.Ldr(endpoints, partitionOf, weights[0], plane1, selector, count);
  for (int32_t i = 0; i < count; ++i) out.Texel(i, endpoints[partitionOf[i]], weights[0][i], plane1[i], selector);
}

template <int32_t kW, int32_t kH>
void DecodeAstc(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t texels[kW * kH];
  DecodeTexels<kW, kH>(block, ByteTexels{texels});
  for (int32_t y = 0; y < kH; ++y) std::memcpy(out + y * outPitch, texels + y * kW, sizeof(uint32_t) * kW);
}

template <int32_t kW, int32_t kH>
void DecodeAstcFloat(float* out, intptr_t outPitch, const uint8_t* block) {
  float texels[kW * kH * 4];
  DecodeTexels<kW, kH>(block, FloatTexels{texels});
  for (int32_t y = 0; y < kH; ++y) std::memcpy(out + y * outPitch, texels + y * kW * 4, 16 * kW);
}

// One template instance a footprint: the partition and weight grids are constants inside each.
template <typename Decode>
void ForFootprint(const BlockContext& context, Decode decode) {
  switch (context.blockWidth * 16 + context.blockHeight) {
    case 4 * 16 + 4: return decode.template operator()<4, 4>();
    case 5 * 16 + 4: return decode.template operator()<5, 4>();
    case 5 * 16 + 5: return decode.template operator()<5, 5>();
    case 6 * 16 + 5: return decode.template operator()<6, 5>();
    case 6 * 16 + 6: return decode.template operator()<6, 6>();
    case 8 * 16 + 5: return decode.template operator()<8, 5>();
    case 8 * 16 + 6: return decode.template operator()<8, 6>();
    case 8 * 16 + 8: return decode.template operator()<8, 8>();
    case 10 * 16 + 5: return decode.template operator()<10, 5>();
    case 10 * 16 + 6: return decode.template operator()<10, 6>();
    case 10 * 16 + 8: return decode.template operator()<10, 8>();
    case 10 * 16 + 10: return decode.template operator()<10, 10>();
    case 12 * 16 + 10: return decode.template operator()<12, 10>();
    case 12 * 16 + 12: return decode.template operator()<12, 12>();
    default: return;  // no such 2D footprint: the table gives none
  }
}

}  // namespace

void DecodeASTCTexelSet(const uint8_t* block, const uint8_t* texels, int32_t count, uint32_t* out,
                        const BlockContext& context) {
  ForFootprint(context, [&]<int32_t kW, int32_t kH>() { DecodeTexels<kW, kH>(block, ByteTexels{out}, texels, count); });
}

void DecodeASTCBlock(uint8_t* out, intptr_t pitch, const uint8_t* block, const BlockContext& context) {
  ForFootprint(context, [&]<int32_t kW, int32_t kH>() { DecodeAstc<kW, kH>(out, pitch, block); });
}

void DecodeASTCFloatBlock(float* out, intptr_t pitch, const uint8_t* block, const BlockContext& context) {
  ForFootprint(context, [&]<int32_t kW, int32_t kH>() { DecodeAstcFloat<kW, kH>(out, pitch, block); });
}

uint8_t AstcUnquantizeColour(int32_t range, uint32_t value) {
  if (range < 4 || range > 20 || value >= kRanges[range].levels) return 0;
  return AstcTables().colour[range][value];
}

int32_t AstcPartitionOf(uint32_t seed, int32_t partitions, int32_t x, int32_t y, int32_t texels) {
  return PartitionHash(seed, partitions).Of(x, y, texels < 31);
}

bool AstcBlockHoldsHdr(const uint8_t* block, const BlockContext& context) {
  bool hdr = false;
  ForFootprint(context, [&]<int32_t kW, int32_t kH>() { hdr = HoldsHdr<kW, kH>(block); });
  return hdr;
}

}  // namespace mirelth
