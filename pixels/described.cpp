// Described layouts, the shared-exponent and the pixel-pair encodings. Three row loops serve the layouts: small
// unsigned fields in a 1-, 2- or 4-byte pixel take the vectorisable packed loop; byte-aligned halves, floats and
// 16-bit values of one type take a loop specialised on that type; anything else (odd masks, mixed types, fields
// wider than 8 bits in packed words) the general loop, which reads the pixel as a 128-bit number.
#include "pixels/described.h"

#include "pixels/blocks.h"

#include <cstring>

#include "pixels/conversion_rules.h"
#include "pixels/plain_rows.h"

namespace mirelth {
namespace {

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
inline Wide LoadWide(const uint8_t* p, uint32_t bytes) {
  uint8_t buffer[16] = {};
  std::memcpy(buffer, p, bytes);
  Wide w;
  std::memcpy(&w.lo, buffer, 8);
  std::memcpy(&w.hi, buffer + 8, 8);
  return w;
}
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

// One channel of the general loop: its display byte.
inline uint32_t ChannelByte(const ChannelField& f, uint32_t raw, bool alpha) {
  switch (f.type) {
    case ChannelType::kUnorm: return UnormToByte(raw, f.bits);
    case ChannelType::kSnorm: return SnormToByte(SignExtend(raw, f.bits), f.bits);
    case ChannelType::kFloat: {
      if (f.bits == 16) {
        const HalfTables& t = HalfToByteTables();
        return alpha ? t.alpha[raw] : t.colour[raw];
      }
      const float value = FloatFromBits(raw);
      return alpha ? LinearToAlphaByte(value) : LinearToSrgbByte(value);
    }
    case ChannelType::kUFloat: {
      const float value = SmallFloatToFloat(raw, f.bits - 5);
      return alpha ? LinearToAlphaByte(value) : LinearToSrgbByte(value);
    }
    case ChannelType::kAbsent: break;
  }
  return alpha ? 255 : 0;
}

// Writes the rows through `pixelAt(in) -> 0xAARRGGBB`.
template <typename PixelAt>
void Rows(const ConvertJob& job, uint32_t bytesPerPixel, PixelAt pixelAt) {
  const RowWalk walk = StartRowWalk(job.destination, job.destinationPitch, job.height, job.flip);
  uint8_t* row = walk.first;
  const uint8_t* source = job.source;
  for (int32_t y = 0; y < job.height; ++y, row += walk.step, source += job.sourcePitch) {
    const uint8_t* in = source;
    for (int32_t x = 0; x < job.width; ++x, in += bytesPerPixel) Store32(row + 4 * x, pixelAt(in));
  }
}

inline uint32_t Gray(const PixelLayout& layout, uint32_t pixel) {
  if (!layout.gray) return pixel;
  const uint32_t c = (pixel >> 16) & 0xFF;
  return (pixel & 0xFF000000u) | (c * 0x010101u);
}

void GeneralRows(const ConvertJob& job, const PixelLayout& layout) {
  Rows(job, layout.bytesPerPixel, [&](const uint8_t* in) {
    const Wide w = LoadWide(in, layout.bytesPerPixel);
    uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
      const ChannelField& f = layout.channel[c];
      const uint32_t raw = f.type == ChannelType::kAbsent ? 0 : Field(w, f.shift, f.bits);
      pixel |= ChannelByte(f, raw, c == 3) << kPlace[c];
    }
    return Gray(layout, pixel);
  });
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
        const float value = FloatFromBits(detail::Load32(p));
        byte = c == 3 ? LinearToAlphaByte(value) : LinearToSrgbByte(value);
      } else {
        byte = (detail::Load16(p) * 255 + 32767) / 65535;
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
    if (c == 3 && layout.gray && f.type == red.type && f.shift == red.shift && f.bits == red.bits) continue;  // intensity
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
  if (PackedRows(job, layout)) return;
  switch (UniformKind(layout)) {
    case Uniform::kHalf: return UniformRows<Uniform::kHalf>(job, layout);
    case Uniform::kFloat: return UniformRows<Uniform::kFloat>(job, layout);
    case Uniform::kUnorm16: return UniformRows<Uniform::kUnorm16>(job, layout);
    case Uniform::kNone: return GeneralRows(job, layout);
  }
}

void ConvertFromRGB9E5(const ConvertJob& job) {
  // R w[8:0], G w[17:9], B w[26:18], exponent w[31:27]: value = mantissa x 2^(exponent - 15 - 9).
  Rows(job, 4, [](const uint8_t* in) {
    const uint32_t w = detail::Load32(in);
    const float scale = FloatFromBits(((w >> 27) + 103u) << 23);  // 2^(e - 24)
    const uint32_t r = LinearToSrgbByte(static_cast<float>(w & 0x1FF) * scale);
    const uint32_t g = LinearToSrgbByte(static_cast<float>((w >> 9) & 0x1FF) * scale);
    const uint32_t b = LinearToSrgbByte(static_cast<float>((w >> 18) & 0x1FF) * scale);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
  });
}

// Pixel pairs sharing R and B, as 2x1 blocks of 4 bytes: `r`, `g0`, `b`, `g1` are byte positions.
template <int R, int G0, int B, int G1>
void DecodePairBlock(uint8_t* out, intptr_t, const uint8_t* pair) {
  const uint32_t rb = 0xFF000000u | (uint32_t{pair[R]} << 16) | pair[B];
  Store32(out, rb | (uint32_t{pair[G0]} << 8));
  Store32(out + 4, rb | (uint32_t{pair[G1]} << 8));
}

void DecodeRGBGBlock(uint8_t* out, intptr_t outPitch, const uint8_t* pair) {
  DecodePairBlock<0, 1, 2, 3>(out, outPitch, pair);
}
void DecodeGRGBBlock(uint8_t* out, intptr_t outPitch, const uint8_t* pair) {
  DecodePairBlock<1, 0, 3, 2>(out, outPitch, pair);
}

}  // namespace mirelth
