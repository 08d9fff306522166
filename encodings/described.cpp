// Described layouts, the shared-exponent and the pixel-pair encodings. Three row loops serve the layouts: small
// unsigned fields in a 1-, 2- or 4-byte pixel take the vectorisable packed loop; byte-aligned halves, floats and
// 16-bit values of one type take a loop specialised on that type; anything else (odd masks, mixed types, fields
// wider than 8 bits in packed words) the general loop, which reads the pixel as a 128-bit number.
#include "encodings/described.h"

#include "encodings/blocks/blocks.h"

#include <cstring>

#include "encodings/conversion_rules.h"
#include "encodings/plain_rows.h"

namespace mirelth {
namespace {

using detail::Rows;
using detail::Store32;

constexpr uint32_t kPlace[4] = {16, 8, 0, 24};  // R, G, B, A in a BGRA pixel

bool FieldAllowed(const ChannelField& f) {
  switch (f.type) {
    case ChannelType::kAbsent: return true;
    case ChannelType::kUnorm: return f.bits >= 1 && f.bits <= 32;
    case ChannelType::kSnorm: return f.bits >= 2 && f.bits <= 32;
    case ChannelType::kFloat: return f.bits == 16 || f.bits == 32;
    case ChannelType::kUFloat: return f.bits == 10 || f.bits == 11;
  }
  return false;
}

// The 128-bit little-endian pixel.
struct Wide {
  uint64_t lo, hi;
};
inline uint32_t Field(const Wide& w, uint32_t shift, uint32_t bits) {
  uint64_t v;
  if (shift >= 64) {
    v = w.hi >> (shift - 64);
  } else if (shift == 0) {
    v = w.lo;
  } else {
    v = (w.lo >> shift) | (w.hi << (64 - shift));
  }
  return static_cast<uint32_t>(bits >= 32 ? v : v & ((uint64_t{1} << bits) - 1));
}

// One channel of the general loop, prepared once per conversion.
struct ChannelReader {
  enum class Kind : uint8_t { kAbsent, kNarrow, kWide, kHuge, kSnorm, kHalf, kFloat, kUFloat } kind = Kind::kAbsent;
  uint8_t shift = 0, bits = 0;
  bool alpha = false;
  UnormDivider divider{9};
};

ChannelReader PrepareChannel(const ChannelField& f, bool alpha) {
  ChannelReader c;
  c.shift = f.shift;
  c.bits = f.bits;
  c.alpha = alpha;
  switch (f.type) {
    case ChannelType::kAbsent: c.kind = ChannelReader::Kind::kAbsent; break;
    case ChannelType::kUnorm:
      c.kind = f.bits <= 8    ? ChannelReader::Kind::kNarrow
               : f.bits <= 16 ? ChannelReader::Kind::kWide
                              : ChannelReader::Kind::kHuge;
      if (c.kind == ChannelReader::Kind::kWide) c.divider = UnormDivider(f.bits);
      break;
    case ChannelType::kSnorm: c.kind = ChannelReader::Kind::kSnorm; break;
    case ChannelType::kFloat: c.kind = f.bits == 16 ? ChannelReader::Kind::kHalf : ChannelReader::Kind::kFloat; break;
    case ChannelType::kUFloat: c.kind = ChannelReader::Kind::kUFloat; break;
  }
  return c;
}

// The channel's display byte.
[[gnu::always_inline]] inline uint32_t ReadChannel(const ChannelReader& c, const Wide& w, const SrgbTables& srgb,
                                                   const HalfTables& half) {
  using Kind = ChannelReader::Kind;
  if (c.kind == Kind::kAbsent) return c.alpha ? 255 : 0;
  const uint32_t raw = Field(w, c.shift, c.bits);
  switch (c.kind) {
    case Kind::kNarrow: return (raw * kReplicateMultiplier[c.bits]) >> kReplicateShift[c.bits];
    case Kind::kWide: return c.divider.Byte(raw);
    case Kind::kHuge: return UnormToByte(raw, c.bits);
    case Kind::kSnorm: return SnormToByte(SignExtend(raw, c.bits), c.bits);
    case Kind::kHalf: return c.alpha ? half.alpha[raw] : half.colour[raw];
    case Kind::kFloat: return c.alpha ? AlphaByteFromFloat(FloatFromBits(raw)) : SrgbByteFromBits(srgb, raw);
    case Kind::kUFloat: {
      const uint32_t bits = SmallFloatBits(raw, c.bits - 5u);
      return c.alpha ? AlphaByteFromFloat(FloatFromBits(bits)) : SrgbByteFromBits(srgb, bits);
    }
    case Kind::kAbsent: break;
  }
  return 0;
}

inline uint32_t Gray(const PixelLayout& layout, uint32_t pixel) {
  if (!layout.gray) return pixel;
  const uint32_t c = (pixel >> 16) & 0xFF;
  return (pixel & 0xFF000000u) | (c * 0x010101u);
}

// A pixel of kBytes bytes (a constant: one fixed-size load) as a 128-bit number.
template <uint32_t kBytes>
inline Wide LoadWide(const uint8_t* in) {
  Wide w{0, 0};
  if constexpr (kBytes <= 8) {
    std::memcpy(&w.lo, in, kBytes);
  } else {
    std::memcpy(&w.lo, in, 8);
    std::memcpy(&w.hi, in + 8, kBytes - 8);
  }
  return w;
}

// A channel as a number: floats as stored (linear light), normalised integers as their value in 0..1 or -1..1;
// an absent channel is 0 (colour) or 1 (alpha).
inline float ChannelValue(const ChannelReader& c, const Wide& w) {
  using Kind = ChannelReader::Kind;
  if (c.kind == Kind::kAbsent) return c.alpha ? 1.0f : 0.0f;
  const uint32_t raw = Field(w, c.shift, c.bits);
  switch (c.kind) {
    case Kind::kNarrow:
    case Kind::kWide:
    case Kind::kHuge:
      return static_cast<float>(static_cast<double>(raw) / static_cast<double>((uint64_t{1} << c.bits) - 1));
    case Kind::kSnorm: {
      const double m = static_cast<double>((int64_t{1} << (c.bits - 1)) - 1);
      const double v = SignExtend(raw, c.bits) / m;
      return static_cast<float>(v < -1.0 ? -1.0 : v);
    }
    case Kind::kHalf: return HalfToFloat(static_cast<uint16_t>(raw));
    case Kind::kFloat: return FloatFromBits(raw);
    case Kind::kUFloat: return SmallFloatToFloat(raw, c.bits - 5u);
    case Kind::kAbsent: break;
  }
  return 0.0f;
}

// Premultiplied colour in linear light: divided by alpha before the sRGB curve (c' = min(c / a, 1)); a pixel of
// alpha 0 (or NaN) is transparent black.
inline uint32_t PremultipliedPixel(const ChannelReader (&channels)[4], const Wide& w, const SrgbTables& srgb) {
  const float a = ChannelValue(channels[3], w);
  if (!(a > 0.0f)) return 0;
  const float alpha = a > 1.0f ? 1.0f : a;
  uint32_t pixel = uint32_t{AlphaByteFromFloat(alpha)} << 24;
  for (int c = 0; c < 3; ++c) {
    float v = ChannelValue(channels[c], w) / alpha;
    v = v > 1.0f ? 1.0f : v;
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    pixel |= uint32_t{SrgbByteFromBits(srgb, bits)} << kPlace[c];
  }
  return pixel;
}

// The general loop for pixels of kBytes bytes (a constant, so that each pixel is one fixed-size load).
template <uint32_t kBytes>
void GeneralRowsOf(const ConvertJob& job, const PixelLayout& layout) {
  const ChannelReader channels[4] = {PrepareChannel(layout.channel[0], false), PrepareChannel(layout.channel[1], false),
                                     PrepareChannel(layout.channel[2], false), PrepareChannel(layout.channel[3], true)};
  const SrgbTables& srgb = SrgbEncodeTables();
  const HalfTables& half = HalfToByteTables();
  const auto load = [](const uint8_t* in) { return LoadWide<kBytes>(in); };
  if (layout.premultiplied) {
    ChannelReader colour[4] = {channels[0], channels[1], channels[2], channels[3]};
    if (layout.gray) colour[1] = colour[2] = colour[0];
    Rows(job, kBytes, [&](const uint8_t* in) { return PremultipliedPixel(colour, load(in), srgb); });
    return;
  }
  Rows(job, kBytes, [&](const uint8_t* in) {
    const Wide w = load(in);
    const uint32_t pixel = ReadChannel(channels[3], w, srgb, half) << 24 |
                           ReadChannel(channels[0], w, srgb, half) << 16 |
                           ReadChannel(channels[1], w, srgb, half) << 8 | ReadChannel(channels[2], w, srgb, half);
    return Gray(layout, pixel);
  });
}

// Unsigned normalised fields of up to 16 bits in pixels of up to 8 bytes: every channel as (v A + B) >> 48, which
// is bit replication for up to 8 bits (A = multiplier << (48 - shift)) and the rounded U(n) of wider fields
// (A = 255 ceil(2^48 / max), B = (max / 2) ceil(2^48 / max)), without a branch.
template <uint32_t kBytes>
void UnormRowsOf(const ConvertJob& job, const PixelLayout& layout) {
  struct Rule {
    uint32_t shift;
    uint64_t mask, a, b;
  } rules[4];
  uint32_t fill = 0;
  for (int c = 0; c < 4; ++c) {
    const ChannelField& f = layout.channel[c];
    if (f.type == ChannelType::kAbsent) {
      rules[c] = {0, 0, 0, 0};
      if (c == 3) fill = 0xFF000000u;
      continue;
    }
    const uint64_t maximum = (uint64_t{1} << f.bits) - 1;
    if (f.bits <= 8) {
      rules[c] = {f.shift, maximum, uint64_t{kReplicateMultiplier[f.bits]} << (48 - kReplicateShift[f.bits]), 0};
    } else {
      const uint64_t magic = ((uint64_t{1} << 48) + maximum - 1) / maximum;
      rules[c] = {f.shift, maximum, 255 * magic, (maximum / 2) * magic};
    }
  }
  Rows(job, kBytes, [&](const uint8_t* in) {
    uint64_t w = 0;
    std::memcpy(&w, in, kBytes);
    uint32_t pixel = fill;
    for (int c = 0; c < 4; ++c) {
      const Rule& r = rules[c];
      pixel |= static_cast<uint32_t>(((((w >> r.shift) & r.mask) * r.a + r.b) >> 48)) << kPlace[c];
    }
    return Gray(layout, pixel);
  });
}

bool UnormRows(const ConvertJob& job, const PixelLayout& layout) {
  for (const ChannelField& f : layout.channel) {
    if (f.type != ChannelType::kAbsent && (f.type != ChannelType::kUnorm || f.bits > 16)) return false;
  }
  switch (layout.bytesPerPixel) {
    case 1: UnormRowsOf<1>(job, layout); return true;
    case 2: UnormRowsOf<2>(job, layout); return true;
    case 3: UnormRowsOf<3>(job, layout); return true;
    case 4: UnormRowsOf<4>(job, layout); return true;
    case 6: UnormRowsOf<6>(job, layout); return true;
    case 8: UnormRowsOf<8>(job, layout); return true;
    default: return false;
  }
}

// The display bytes of every unsigned 11-bit (6-bit mantissa) and 10-bit (5-bit mantissa) float, as colour and
// as alpha: small enough to make once and look up.
struct SmallFloatTables {
  uint8_t colour11[2048], alpha11[2048], colour10[1024], alpha10[1024];
};
const SmallFloatTables& SmallFloatBytes() {
  static const SmallFloatTables tables = [] {
    SmallFloatTables t;
    const SrgbTables& srgb = SrgbEncodeTables();
    for (uint32_t v = 0; v < 2048; ++v) {
      t.colour11[v] = SrgbByteFromBits(srgb, SmallFloatBits(v, 6));
      t.alpha11[v] = AlphaByteFromFloat(SmallFloatToFloat(v, 6));
      if (v < 1024) {
        t.colour10[v] = SrgbByteFromBits(srgb, SmallFloatBits(v, 5));
        t.alpha10[v] = AlphaByteFromFloat(SmallFloatToFloat(v, 5));
      }
    }
    return t;
  }();
  return tables;
}

// Unsigned 11- and 10-bit floats in a 4-byte pixel (R11G11B10): each through its table.
bool UFloatRows(const ConvertJob& job, const PixelLayout& layout) {
  if (layout.bytesPerPixel != 4) return false;
  for (const ChannelField& f : layout.channel) {
    if (f.type != ChannelType::kAbsent && f.type != ChannelType::kUFloat) return false;
  }
  const SmallFloatTables& tables = SmallFloatBytes();
  struct Lookup {
    const uint8_t* table;  // null: absent
    uint32_t shift, mask;
  } lookups[4];
  for (int c = 0; c < 4; ++c) {
    // Absent fields' widths and shifts mean nothing: they are never read.
    const ChannelField& f = layout.channel[c];
    const bool eleven = f.bits == 11;
    lookups[c] = f.type == ChannelType::kAbsent ? Lookup{nullptr, 0, 0}
                                                : Lookup{c == 3 ? (eleven ? tables.alpha11 : tables.alpha10)
                                                                : (eleven ? tables.colour11 : tables.colour10),
                                                         f.shift, eleven ? 0x7FFu : 0x3FFu};
  }
  const uint32_t opaque = lookups[3].table ? 0 : 0xFF000000u;
  const bool allColours = lookups[0].table && lookups[1].table && lookups[2].table && !lookups[3].table;
  if (allColours && !layout.gray) {
    // The usual R11G11B10: three lookups, no test a channel.
    const Lookup r = lookups[0], g = lookups[1], b = lookups[2];
    Rows(job, 4, [&](const uint8_t* in) {
      const uint32_t w = detail::Load32(in);
      return 0xFF000000u | uint32_t{r.table[(w >> r.shift) & r.mask]} << 16 |
             uint32_t{g.table[(w >> g.shift) & g.mask]} << 8 | b.table[(w >> b.shift) & b.mask];
    });
    return true;
  }
  Rows(job, 4, [&](const uint8_t* in) {
    const uint32_t w = detail::Load32(in);
    uint32_t pixel = opaque;
    for (int c = 0; c < 4; ++c) {
      if (lookups[c].table) pixel |= uint32_t{lookups[c].table[(w >> lookups[c].shift) & lookups[c].mask]} << kPlace[c];
    }
    return Gray(layout, pixel);
  });
  return true;
}

// Calls `f.template operator()<kBytes>()` with the pixel size (1 to 16 bytes) as a constant, so that each pixel is
// one fixed-size load.
template <typename F>
void ForPixelBytes(uint32_t bytes, F f) {
  switch (bytes) {
    case 1: return f.template operator()<1>();
    case 2: return f.template operator()<2>();
    case 3: return f.template operator()<3>();
    case 4: return f.template operator()<4>();
    case 5: return f.template operator()<5>();
    case 6: return f.template operator()<6>();
    case 7: return f.template operator()<7>();
    case 8: return f.template operator()<8>();
    case 9: return f.template operator()<9>();
    case 10: return f.template operator()<10>();
    case 11: return f.template operator()<11>();
    case 12: return f.template operator()<12>();
    case 13: return f.template operator()<13>();
    case 14: return f.template operator()<14>();
    case 15: return f.template operator()<15>();
    default: return f.template operator()<16>();
  }
}

void GeneralRows(const ConvertJob& job, const PixelLayout& layout) {
  if (!layout.premultiplied && (UnormRows(job, layout) || UFloatRows(job, layout))) return;
  ForPixelBytes(layout.bytesPerPixel, [&]<uint32_t kBytes>() { GeneralRowsOf<kBytes>(job, layout); });
}

// Byte-aligned fields of one type and width: halves, floats or 16-bit unsigned values.
enum class Uniform { kNone, kHalf, kFloat, kUnorm16 };
Uniform UniformKind(const PixelLayout& layout) {
  Uniform kind = Uniform::kNone;
  for (const ChannelField& f : layout.channel) {
    if (f.type == ChannelType::kAbsent) continue;
    Uniform k;
    if (f.type == ChannelType::kFloat && f.bits == 16) {
      k = Uniform::kHalf;
    } else if (f.type == ChannelType::kFloat && f.bits == 32) {
      k = Uniform::kFloat;
    } else if (f.type == ChannelType::kUnorm && f.bits == 16) {
      k = Uniform::kUnorm16;
    } else {
      return Uniform::kNone;
    }
    if (f.shift % 8 != 0 || (kind != Uniform::kNone && kind != k)) return Uniform::kNone;
    kind = k;
  }
  return kind;
}

template <Uniform kKind>
void UniformRows(const ConvertJob& job, const PixelLayout& layout) {
  int32_t offset[4];
  bool present[4];
  for (int c = 0; c < 4; ++c) {
    present[c] = layout.channel[c].type != ChannelType::kAbsent;
    offset[c] = layout.channel[c].shift / 8;
  }
  const uint32_t fill = present[3] ? 0 : 0xFF000000u;
  const HalfTables& half = HalfToByteTables();
  const SrgbTables& srgb = SrgbEncodeTables();
  const UnormDivider divider(16);
  Rows(job, layout.bytesPerPixel, [&](const uint8_t* in) {
    uint32_t pixel = fill;
    for (int c = 0; c < 4; ++c) {
      if (!present[c]) continue;
      const uint8_t* p = in + offset[c];
      uint32_t byte;
      if constexpr (kKind == Uniform::kHalf) {
        const uint32_t raw = detail::Load16(p);
        byte = c == 3 ? half.alpha[raw] : half.colour[raw];
      } else if constexpr (kKind == Uniform::kFloat) {
        const uint32_t raw = detail::Load32(p);
        byte = c == 3 ? AlphaByteFromFloat(FloatFromBits(raw)) : SrgbByteFromBits(srgb, raw);
      } else {
        byte = divider.Byte(detail::Load16(p));
      }
      pixel |= byte << kPlace[c];
    }
    return Gray(layout, pixel);
  });
}

// Fields of at most 8 unsigned bits in a 1-, 2- or 4-byte pixel: the packed loop.
bool PackedRows(const ConvertJob& job, const PixelLayout& layout) {
  const uint32_t bytes = layout.bytesPerPixel;
  if (bytes != 1 && bytes != 2 && bytes != 4) return false;
  detail::PackedLayout packed{};
  for (int c = 0; c < 4; ++c) {
    const ChannelField& f = layout.channel[c];
    if (f.type == ChannelType::kAbsent) continue;
    if (f.type != ChannelType::kUnorm || f.bits > 8) return false;
    packed.shift[c] = f.shift;
    packed.bits[c] = f.bits;
  }
  if (layout.gray) {
    packed.shift[1] = packed.shift[2] = packed.shift[0];
    packed.bits[1] = packed.bits[2] = packed.bits[0];
  }
  detail::ChannelRule rules[4];
  uint32_t fill;
  detail::PrepareRules(packed, ChannelOrder::BGRA, rules, &fill);
  if (bytes == 1) {
    detail::PackedRows<uint8_t>(job, rules, fill);
  } else if (bytes == 2) {
    detail::PackedRows<uint16_t>(job, rules, fill);
  } else {
    detail::PackedRows<uint32_t>(job, rules, fill);
  }
  return true;
}

}  // namespace

bool IsValidPixelLayout(const PixelLayout& layout) {
  if (layout.bytesPerPixel < 1 || layout.bytesPerPixel > 16) return false;
  const uint32_t totalBits = 8u * layout.bytesPerPixel;
  uint64_t used[2] = {};
  bool any = false;
  for (int c = 0; c < 4; ++c) {
    const ChannelField& f = layout.channel[c];
    if (!FieldAllowed(f)) return false;
    if (f.type == ChannelType::kAbsent) continue;
    const ChannelField& red = layout.channel[0];
    if (c == 3 && layout.gray && f.type == red.type && f.shift == red.shift && f.bits == red.bits)
      continue;  // intensity
    if (uint32_t{f.shift} + f.bits > totalBits) return false;
    for (uint32_t bit = f.shift; bit < uint32_t{f.shift} + f.bits; ++bit) {
      const uint64_t mask = uint64_t{1} << (bit % 64);
      if (used[bit / 64] & mask) return false;
      used[bit / 64] |= mask;
    }
    any = true;
  }
  return any;
}

bool PremultiplyInLinearLight(PixelLayout* layout) {
  const ChannelType colour = layout->channel[0].type;
  const bool floats = colour == ChannelType::kFloat || colour == ChannelType::kUFloat;
  if (!floats || layout->channel[3].type == ChannelType::kAbsent) return false;
  layout->premultiplied = true;
  return true;
}

bool LayoutFromMasks(uint32_t bytesPerPixel, const uint32_t (&masks)[4], PixelLayout* layout) {
  *layout = PixelLayout{};
  layout->bytesPerPixel = static_cast<uint8_t>(bytesPerPixel);
  for (int c = 0; c < 4; ++c) {
    const uint32_t mask = masks[c];
    if (mask == 0) continue;
    const uint32_t shift = static_cast<uint32_t>(__builtin_ctz(mask));
    const uint64_t run = uint64_t{mask} >> shift;
    if ((run & (run + 1)) != 0) return false;  // not one run of ones
    layout->channel[c] = {ChannelType::kUnorm, static_cast<uint8_t>(shift),
                          static_cast<uint8_t>(__builtin_popcount(mask))};
  }
  return true;
}

void ConvertFromDescribed(const ConvertJob& job) {
  if (!job.layout || !IsValidPixelLayout(*job.layout) || job.width <= 0 || job.height <= 0) return;
  const PixelLayout& layout = *job.layout;
  if (layout.premultiplied) return GeneralRows(job, layout);
  if (PackedRows(job, layout)) return;
  switch (UniformKind(layout)) {
    case Uniform::kHalf: return UniformRows<Uniform::kHalf>(job, layout);
    case Uniform::kFloat: return UniformRows<Uniform::kFloat>(job, layout);
    case Uniform::kUnorm16: return UniformRows<Uniform::kUnorm16>(job, layout);
    case Uniform::kNone: return GeneralRows(job, layout);
  }
}

namespace {

// Rows of float pixels: `pixelAt(in, out)` writes one pixel's four floats.
template <typename PixelAt>
void FloatRows(const ConvertJob& job, uint32_t bytesPerPixel, PixelAt pixelAt) {
  const RowWalk walk = StartRowWalk(job.destination, job.destinationPitch, job.height, job.flip);
  uint8_t* row = walk.first;
  const uint8_t* source = job.source;
  for (int32_t y = 0; y < job.height; ++y, row += walk.step, source += job.sourcePitch) {
    const uint8_t* in = source;
    float pixel[4];
    for (int32_t x = 0; x < job.width; ++x, in += bytesPerPixel) {
      pixelAt(in, pixel);
      std::memcpy(row + 16 * static_cast<size_t>(x), pixel, 16);
    }
  }
}

template <uint32_t kBytes>
void DescribedFloatRowsOf(const ConvertJob& job, const PixelLayout& layout) {
  ChannelReader channels[4] = {PrepareChannel(layout.channel[0], false), PrepareChannel(layout.channel[1], false),
                               PrepareChannel(layout.channel[2], false), PrepareChannel(layout.channel[3], true)};
  if (layout.gray) channels[1] = channels[2] = channels[0];
  const bool premultiplied = layout.premultiplied;
  FloatRows(job, kBytes, [&](const uint8_t* in, float* out) {
    const Wide w = LoadWide<kBytes>(in);
    for (int c = 0; c < 4; ++c) out[c] = ChannelValue(channels[c], w);
    if (premultiplied) {
      const float a = out[3] > 1.0f ? 1.0f : out[3];
      if (!(a > 0.0f)) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
      } else {
        for (int c = 0; c < 3; ++c) out[c] /= a;
      }
    }
  });
}

}  // namespace

void ConvertFromDescribedToFloat(const ConvertJob& job) {
  if (!job.layout || !IsValidPixelLayout(*job.layout) || job.width <= 0 || job.height <= 0) return;
  const PixelLayout& layout = *job.layout;
  ForPixelBytes(layout.bytesPerPixel, [&]<uint32_t kBytes>() { DescribedFloatRowsOf<kBytes>(job, layout); });
}

void ConvertFromRGB9E5ToFloat(const ConvertJob& job) {
  FloatRows(job, 4, [](const uint8_t* in, float* out) {
    const uint32_t w = detail::Load32(in);
    const float scale = FloatFromBits(((w >> 27) + 103u) << 23);  // 2^(e - 24)
    out[0] = static_cast<float>(w & 0x1FF) * scale;
    out[1] = static_cast<float>((w >> 9) & 0x1FF) * scale;
    out[2] = static_cast<float>((w >> 18) & 0x1FF) * scale;
    out[3] = 1.0f;
  });
}

void ConvertFromRGB9E5(const ConvertJob& job) {
  // R w[8:0], G w[17:9], B w[26:18], exponent w[31:27]: value = mantissa x 2^(exponent - 15 - 9). Every
  // (exponent, mantissa) pair's display byte is in one 16 KB table.
  static const auto* const bytes = [] {
    static uint8_t table[32][512];
    const SrgbTables& srgb = SrgbEncodeTables();
    for (uint32_t e = 0; e < 32; ++e) {
      const float scale = FloatFromBits((e + 103u) << 23);  // 2^(e - 24)
      for (uint32_t m = 0; m < 512; ++m) {
        const float value = static_cast<float>(m) * scale;
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        table[e][m] = SrgbByteFromBits(srgb, bits);
      }
    }
    return &table;
  }();
  Rows(job, 4, [&](const uint8_t* in) {
    const uint32_t w = detail::Load32(in);
    const uint8_t* row = (*bytes)[w >> 27];
    return 0xFF000000u | uint32_t{row[w & 0x1FF]} << 16 | uint32_t{row[(w >> 9) & 0x1FF]} << 8 | row[(w >> 18) & 0x1FF];
  });
}

// Pixel pairs sharing R and B, as 2x1 blocks of 4 bytes: `r`, `g0`, `b`, `g1` are byte positions.
template <int R, int G0, int B, int G1>
void DecodePairBlock(uint8_t* out, intptr_t, const uint8_t* pair, const BlockContext&) {
  const uint32_t rb = 0xFF000000u | (uint32_t{pair[R]} << 16) | pair[B];
  Store32(out, rb | (uint32_t{pair[G0]} << 8));
  Store32(out + 4, rb | (uint32_t{pair[G1]} << 8));
}

void DecodeRGBGBlock(uint8_t* out, intptr_t outPitch, const uint8_t* pair, const BlockContext& context) {
  DecodePairBlock<0, 1, 2, 3>(out, outPitch, pair, context);
}
void DecodeGRGBBlock(uint8_t* out, intptr_t outPitch, const uint8_t* pair, const BlockContext& context) {
  DecodePairBlock<1, 0, 3, 2>(out, outPitch, pair, context);
}

}  // namespace mirelth
