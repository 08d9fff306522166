// Plain (uncompressed) converters: 16-bit packed words, 3-byte and 4-byte pixels. Each channel widens to
// 8 bits by bit replication; every pixel is written as one 32-bit value at the destination order's positions.
// The loops are written over whole 32-bit pixels with loop-invariant shifts so that they vectorise.
#include <cstring>

#include "pixels/convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelth {
namespace {

// Bit replication as one multiply and shift: v * mul >> down repeats the n-bit v down to 8 bits
// (n = 5: v * 33 >> 2 = (v << 3) | (v >> 2); n = 6: v * 65 >> 4 = (v << 2) | (v >> 4); n = 4: v * 17).
constexpr uint32_t kReplicateMultiplier[9] = {0, 255, 85, 73, 17, 33, 65, 129, 1};
constexpr uint32_t kReplicateShift[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};

// One channel's extraction, prepared once per call.
struct ChannelRule {
  uint32_t shift;
  uint32_t mask;
  uint32_t multiplier;
  uint32_t down;
  uint32_t place;  // left shift into the destination pixel
};

// The four destination shifts of an order (8 x byte position).
struct DestinationShifts {
  uint32_t r, g, b, a;
};
inline DestinationShifts ShiftsOf(int32_t order) {
  const ChannelPositions& p = kChannelPositions[IsChannelOrder(order) ? order : BGRA];
  return {8u * p.r, 8u * p.g, 8u * p.b, 8u * p.a};
}

inline uint32_t Load16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  return value;  // little-endian hosts only (x86-64 and arm64 Windows/Linux)
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}
inline void Store32(uint8_t* p, uint32_t value) { std::memcpy(p, &value, 4); }

inline uint32_t Extract(uint32_t word, const ChannelRule& c) {
  return ((((word >> c.shift) & c.mask) * c.multiplier) >> c.down) << c.place;
}

// The shared 16-bit row loop. `fill` holds the bits of absent channels (0xFF at the alpha place).
inline void Packed16Rows(uint8_t* destination, int32_t destinationPitch, const uint8_t* source,
                         int32_t sourcePitch, const ChannelRule (&rules)[4], uint32_t fill, int32_t width,
                         int32_t height, bool flip) {
  const RowWalk walk = StartRowWalk(destination, destinationPitch, height, flip);
  uint8_t* row = walk.first;
  const ChannelRule r = rules[0], g = rules[1], b = rules[2], a = rules[3];
  for (int32_t y = 0; y < height; ++y, row += walk.step, source += sourcePitch) {
    const uint8_t* in = source;
    uint8_t* out = row;
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t word = Load16(in + 2 * x);
      Store32(out + 4 * x, Extract(word, r) | Extract(word, g) | Extract(word, b) | Extract(word, a) | fill);
    }
  }
}

// Prepares the rules for a layout and a destination order.
inline void PrepareRules(const Packed16Layout& layout, int32_t destinationOrder, ChannelRule (&rules)[4],
                         uint32_t* fill) {
  const DestinationShifts d = ShiftsOf(destinationOrder);
  const uint32_t places[4] = {d.r, d.g, d.b, d.a};
  *fill = 0;
  for (int c = 0; c < 4; ++c) {
    const uint32_t bits = layout.bits[c];
    if (bits == 0) {
      rules[c] = {0, 0, 0, 0, 0};
      if (c == 3) *fill = 0xFFu << places[3];
      continue;
    }
    rules[c] = {layout.shift[c], (1u << bits) - 1u, kReplicateMultiplier[bits], kReplicateShift[bits], places[c]};
  }
}

// The fixed 16-bit layouts. Compile-time rules let the compiler fold the constants for the BGRA destination.
template <uint8_t RS, uint8_t RB, uint8_t GS, uint8_t GB, uint8_t BS, uint8_t BB, uint8_t AS, uint8_t AB>
void ConvertFixed16(uint8_t* destination, int32_t destinationPitch, int32_t destinationOrder, const uint8_t* source,
                    int32_t sourcePitch, int32_t, int32_t width, int32_t height, bool flip) {
  static constexpr Packed16Layout kLayout = {{RS, GS, BS, AS}, {RB, GB, BB, AB}};
  ChannelRule rules[4];
  uint32_t fill;
  if (destinationOrder == BGRA) {
    // The usual case, with every rule a constant.
    static constexpr auto kRules = [] {
      struct Rules {
        ChannelRule c[4];
        uint32_t fill;
      } out{};
      constexpr uint32_t places[4] = {16, 8, 0, 24};
      for (int c = 0; c < 4; ++c) {
        const uint32_t bits = kLayout.bits[c];
        if (bits == 0) {
          out.c[c] = {0, 0, 0, 0, 0};
          if (c == 3) out.fill = 0xFF000000u;
        } else {
          out.c[c] = {kLayout.shift[c], (1u << bits) - 1u, kReplicateMultiplier[bits], kReplicateShift[bits],
                      places[c]};
        }
      }
      return out;
    }();
    Packed16Rows(destination, destinationPitch, source, sourcePitch, kRules.c, kRules.fill, width, height, flip);
    return;
  }
  PrepareRules(kLayout, destinationOrder, rules, &fill);
  Packed16Rows(destination, destinationPitch, source, sourcePitch, rules, fill, width, height, flip);
}

// Images at least this large are written with non-temporal stores on the R/B exchange path: they do not fit
// in cache anyway, and skipping the read-for-ownership of each destination line saves a third of the traffic.
constexpr uint64_t kStreamingBytes = uint64_t{8} << 20;

// Exchanges bytes 0 and 2 of every pixel of a row (RGBA <-> BGRA), OR-ing in `alphaFill`.
void SwapRedBlueRow(uint8_t* out, const uint8_t* in, int32_t width, uint32_t keep, uint32_t alphaFill, bool stream) {
  int32_t x = 0;
#if defined(__SSE2__)
  if (stream) {
    for (; x < width && (reinterpret_cast<uintptr_t>(out + 4 * x) & 15) != 0; ++x) {
      const uint32_t p = Load32(in + 4 * x);
      Store32(out + 4 * x, (p & keep) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16) | alphaFill);
    }
    const __m128i keepMask = _mm_set1_epi32(static_cast<int>(keep));
    const __m128i lowMask = _mm_set1_epi32(0xFF);
    const __m128i fill = _mm_set1_epi32(static_cast<int>(alphaFill));
    for (; x + 4 <= width; x += 4) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
      const __m128i red = _mm_and_si128(_mm_srli_epi32(p, 16), lowMask);
      const __m128i blue = _mm_slli_epi32(_mm_and_si128(p, lowMask), 16);
      const __m128i result = _mm_or_si128(_mm_or_si128(_mm_and_si128(p, keepMask), fill), _mm_or_si128(red, blue));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * x), result);
    }
  }
#else
  (void)stream;
#endif
  for (; x < width; ++x) {
    const uint32_t p = Load32(in + 4 * x);
    Store32(out + 4 * x, (p & keep) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16) | alphaFill);
  }
}

// 4-byte pixels: each destination channel is taken from its source byte; `opaque` forces alpha to 255.
void Convert32(uint8_t* destination, int32_t destinationPitch, int32_t destinationOrder, const uint8_t* source,
               int32_t sourcePitch, int32_t sourceOrder, int32_t width, int32_t height, bool flip, bool opaque) {
  const RowWalk walk = StartRowWalk(destination, destinationPitch, height, flip);
  if (!IsChannelOrder(sourceOrder)) sourceOrder = BGRA;
  if (!IsChannelOrder(destinationOrder)) destinationOrder = BGRA;
  const DestinationShifts from = ShiftsOf(sourceOrder);
  const DestinationShifts to = ShiftsOf(destinationOrder);
  const uint32_t alphaFill = opaque ? 0xFFu << to.a : 0u;
  const bool stream = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 >= kStreamingBytes;
  uint8_t* row = walk.first;
  for (int32_t y = 0; y < height; ++y, row += walk.step, source += sourcePitch) {
    const uint8_t* in = source;
    uint8_t* out = row;
    if (sourceOrder == destinationOrder) {
      if (!opaque) {
        std::memcpy(out, in, static_cast<size_t>(width) * 4);
      } else {
        for (int32_t x = 0; x < width; ++x) Store32(out + 4 * x, Load32(in + 4 * x) | alphaFill);
      }
    } else if ((sourceOrder == RGBA && destinationOrder == BGRA) || (sourceOrder == BGRA && destinationOrder == RGBA)) {
      // Exchange bytes 0 and 2, keep 1 and 3.
      SwapRedBlueRow(out, in, width, opaque ? 0x0000FF00u : 0xFF00FF00u, alphaFill, stream);
    } else {
      const uint32_t alphaMask = opaque ? 0u : 0xFFu;
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = Load32(in + 4 * x);
        Store32(out + 4 * x, (((p >> from.r) & 0xFFu) << to.r) | (((p >> from.g) & 0xFFu) << to.g) |
                                 (((p >> from.b) & 0xFFu) << to.b) | (((p >> from.a) & alphaMask) << to.a) |
                                 alphaFill);
      }
    }
  }
#if defined(__SSE2__)
  if (stream) _mm_sfence();  // make the streamed stores visible before the bitmap is used
#endif
}

}  // namespace

void ConvertFromX4R4G4B4(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  ConvertFixed16<8, 4, 4, 4, 0, 4, 0, 0>(d, dp, dor, s, sp, so, w, h, flip);
}
void ConvertFromR5G6B5(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                       int32_t h, bool flip) {
  ConvertFixed16<11, 5, 5, 6, 0, 5, 0, 0>(d, dp, dor, s, sp, so, w, h, flip);
}
void ConvertFromA1R5G5B5(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  ConvertFixed16<10, 5, 5, 5, 0, 5, 15, 1>(d, dp, dor, s, sp, so, w, h, flip);
}
void ConvertFromX1R5G5B5(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  ConvertFixed16<10, 5, 5, 5, 0, 5, 0, 0>(d, dp, dor, s, sp, so, w, h, flip);
}
void ConvertFromA4R4G4B4(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  ConvertFixed16<8, 4, 4, 4, 0, 4, 12, 4>(d, dp, dor, s, sp, so, w, h, flip);
}

void ConvertFromR8G8B8(uint8_t* destination, int32_t destinationPitch, int32_t destinationOrder,
                       const uint8_t* source, int32_t sourcePitch, int32_t sourceOrder, int32_t width, int32_t height,
                       bool flip) {
  // Only RGBA and BGRA keep all three channels inside the 3-byte pixel; ARGB is read as RGBA and ABGR as
  // BGRA, never reaching into the next pixel.
  const ChannelPositions& p = kChannelPositions[(sourceOrder == BGRA || sourceOrder == ABGR) ? BGRA : RGBA];
  const DestinationShifts to = ShiftsOf(destinationOrder);
  const uint32_t alpha = 0xFFu << to.a;
  const RowWalk walk = StartRowWalk(destination, destinationPitch, height, flip);
  uint8_t* row = walk.first;
  for (int32_t y = 0; y < height; ++y, row += walk.step, source += sourcePitch) {
    const uint8_t* in = source;
    uint8_t* out = row;
    for (int32_t x = 0; x < width; ++x, in += 3) {
      Store32(out + 4 * x, (uint32_t{in[p.r]} << to.r) | (uint32_t{in[p.g]} << to.g) | (uint32_t{in[p.b]} << to.b) |
                               alpha);
    }
  }
}

void ConvertFromA8R8G8B8(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  Convert32(d, dp, dor, s, sp, so, w, h, flip, false);
}
void ConvertFromX8R8G8B8(uint8_t* d, int32_t dp, int32_t dor, const uint8_t* s, int32_t sp, int32_t so, int32_t w,
                         int32_t h, bool flip) {
  Convert32(d, dp, dor, s, sp, so, w, h, flip, true);
}

bool IsValidPacked16Layout(const Packed16Layout& layout) {
  uint32_t used = 0;
  for (int c = 0; c < 4; ++c) {
    const uint32_t bits = layout.bits[c];
    if (bits == 0) continue;
    if (bits > 8 || layout.shift[c] + bits > 16) return false;
    const uint32_t mask = ((1u << bits) - 1u) << layout.shift[c];
    if (used & mask) return false;
    used |= mask;
  }
  return true;
}

void ConvertPacked16Pixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source,
                           int32_t sourcePitch, const Packed16Layout& layout, int32_t width, int32_t height,
                           bool flip) {
  if (!IsValidPacked16Layout(layout)) return;
  ChannelRule rules[4];
  uint32_t fill;
  PrepareRules(layout, BGRA, rules, &fill);
  Packed16Rows(destination, destinationPitch, source, sourcePitch, rules, fill, width, height, flip);
}

}  // namespace mirelth
