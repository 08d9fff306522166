// Plain (uncompressed) converters: 16-bit packed words, 3-byte and 4-byte pixels. Each channel widens to
// 8 bits by bit replication; every pixel is written as one 32-bit value at the destination order's positions.
// The loops are written over whole 32-bit pixels with loop-invariant shifts so that they vectorise.
#include <cstring>

#include "encodings/conversion_rules.h"
#include "encodings/convert.h"
#include "encodings/plain_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelth {
namespace {

using detail::Load32;
using detail::Store32;

// The fixed 16-bit layouts. Compile-time rules let the compiler fold the constants for the BGRA destination.
template <uint8_t RS, uint8_t RB, uint8_t GS, uint8_t GB, uint8_t BS, uint8_t BB, uint8_t AS, uint8_t AB>
void ConvertFixed16(const ConvertJob& job) {
  static constexpr detail::PackedLayout kLayout = {{RS, GS, BS, AS}, {RB, GB, BB, AB}};
  detail::ChannelRule rules[4];
  uint32_t fill;
  if (job.destinationOrder == ChannelOrder::BGRA) {
    // The usual case, with every rule a constant.
    static constexpr auto kRules = [] {
      struct Rules {
        detail::ChannelRule c[4];
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
    detail::PackedRows<uint16_t>(job, kRules.c, kRules.fill);
    return;
  }
  detail::PrepareRules(kLayout, job.destinationOrder, rules, &fill);
  detail::PackedRows<uint16_t>(job, rules, fill);
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
void Convert32(const ConvertJob& job, bool opaque) {
  const RowWalk walk = StartRowWalk(job.destination, job.destinationPitch, job.height, job.flip);
  const ChannelOrder sourceOrder = IsChannelOrder(job.sourceOrder) ? job.sourceOrder : ChannelOrder::BGRA;
  const ChannelOrder destinationOrder =
      IsChannelOrder(job.destinationOrder) ? job.destinationOrder : ChannelOrder::BGRA;
  const detail::DestinationShifts from = detail::ShiftsOf(sourceOrder);
  const detail::DestinationShifts to = detail::ShiftsOf(destinationOrder);
  const uint32_t alphaFill = opaque ? 0xFFu << to.a : 0u;
  const int32_t width = job.width, height = job.height;
  const intptr_t sourcePitch = job.sourcePitch;
  const bool stream = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 >= kStreamingBytes;
  const bool swapRedBlue = (sourceOrder == ChannelOrder::RGBA && destinationOrder == ChannelOrder::BGRA) ||
                           (sourceOrder == ChannelOrder::BGRA && destinationOrder == ChannelOrder::RGBA);
  uint8_t* row = walk.first;
  const uint8_t* source = job.source;
  for (int32_t y = 0; y < height; ++y, row += walk.step, source += sourcePitch) {
    const uint8_t* in = source;
    uint8_t* out = row;
    if (sourceOrder == destinationOrder) {
      if (!opaque) {
        std::memcpy(out, in, static_cast<size_t>(width) * 4);
      } else {
        for (int32_t x = 0; x < width; ++x) Store32(out + 4 * x, Load32(in + 4 * x) | alphaFill);
      }
    } else if (swapRedBlue) {
      // Exchange bytes 0 and 2, keep 1 and 3.
      SwapRedBlueRow(out, in, width, opaque ? 0x0000FF00u : 0xFF00FF00u, alphaFill, stream);
    } else {
      const uint32_t alphaMask = opaque ? 0u : 0xFFu;
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = Load32(in + 4 * x);
        Store32(out + 4 * x, (((p >> from.r) & 0xFFu) << to.r) | (((p >> from.g) & 0xFFu) << to.g) |
                                 (((p >> from.b) & 0xFFu) << to.b) | (((p >> from.a) & alphaMask) << to.a) | alphaFill);
      }
    }
  }
#if defined(__SSE2__)
  if (stream) _mm_sfence();  // make the streamed stores visible before the bitmap is used
#endif
}

}  // namespace

void ConvertFromX4R4G4B4(const ConvertJob& job) { ConvertFixed16<8, 4, 4, 4, 0, 4, 0, 0>(job); }
void ConvertFromR5G6B5(const ConvertJob& job) { ConvertFixed16<11, 5, 5, 6, 0, 5, 0, 0>(job); }
void ConvertFromA1R5G5B5(const ConvertJob& job) { ConvertFixed16<10, 5, 5, 5, 0, 5, 15, 1>(job); }
void ConvertFromX1R5G5B5(const ConvertJob& job) { ConvertFixed16<10, 5, 5, 5, 0, 5, 0, 0>(job); }
void ConvertFromA4R4G4B4(const ConvertJob& job) { ConvertFixed16<8, 4, 4, 4, 0, 4, 12, 4>(job); }

void ConvertFromR8G8B8(const ConvertJob& job) {
  // Only RGBA and BGRA keep all three channels inside the 3-byte pixel; ARGB is read as RGBA and ABGR as
  // BGRA, never reaching into the next pixel.
  const bool bgr = job.sourceOrder == ChannelOrder::BGRA || job.sourceOrder == ChannelOrder::ABGR;
  const ChannelPositions& p = PositionsOf(bgr ? ChannelOrder::BGRA : ChannelOrder::RGBA);
  const detail::DestinationShifts to = detail::ShiftsOf(job.destinationOrder);
  const uint32_t alpha = 0xFFu << to.a;
  detail::Rows(job, 3, [=](const uint8_t* in) {
    return (uint32_t{in[p.r]} << to.r) | (uint32_t{in[p.g]} << to.g) | (uint32_t{in[p.b]} << to.b) | alpha;
  });
}

void ConvertFromA8R8G8B8(const ConvertJob& job) { Convert32(job, false); }
void ConvertFromX8R8G8B8(const ConvertJob& job) { Convert32(job, true); }

void ConvertFromPalette8(const ConvertJob& job) {
  const uint32_t* palette = job.palette;
  detail::Rows(job, 1,
               [palette](const uint8_t* in) { return palette ? palette[in[0]] : 0xFF000000u | in[0] * 0x010101u; });
}

}  // namespace mirelth
