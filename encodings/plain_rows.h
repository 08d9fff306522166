// The row loop shared by the fixed 16-bit converters and the described layouts whose channels are at most 8
// bits in a 1-, 2- or 4-byte pixel: each channel is extracted with a loop-invariant shift and mask and widened
// by one multiply and shift (bit replication), so that the loop vectorises. Internal to pixels/.
#pragma once

#include <cstdint>
#include <cstring>

#include "encodings/conversion_rules.h"
#include "encodings/convert.h"

namespace mirelth::detail {

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

template <typename Word>
inline uint32_t LoadWord(const uint8_t* p) {
  Word value;
  std::memcpy(&value, p, sizeof(Word));
  return value;
}

// One channel's extraction, prepared once per call.
struct ChannelRule {
  uint32_t shift;
  uint32_t mask;
  uint32_t multiplier;
  uint32_t down;
  uint32_t place;  // left shift into the destination pixel
};

// For R, G, B, A: the lowest bit and the width (0: absent) of each channel.
struct PackedLayout {
  uint8_t shift[4];
  uint8_t bits[4];
};

// The four destination shifts of an order (8 x byte position).
struct DestinationShifts {
  uint32_t r, g, b, a;
};
inline DestinationShifts ShiftsOf(ChannelOrder order) {
  const ChannelPositions& p = PositionsOf(order);
  return {8u * p.r, 8u * p.g, 8u * p.b, 8u * p.a};
}

inline uint32_t Extract(uint32_t word, const ChannelRule& c) {
  return ((((word >> c.shift) & c.mask) * c.multiplier) >> c.down) << c.place;
}

// Prepares the rules for a layout and a destination order; `fill` holds the bits of absent channels (0xFF at
// the alpha place).
inline void PrepareRules(const PackedLayout& layout, ChannelOrder destinationOrder, ChannelRule (&rules)[4],
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

// Writes the job's rows through `pixelAt(in)`, the destination pixel of the source pixel at `in`, pixels
// `bytesPerPixel` apart.
template <typename PixelAt>
inline void Rows(const ConvertJob& job, uint32_t bytesPerPixel, PixelAt pixelAt) {
  // The job's fields as locals: stores through the byte pointers could otherwise alias them in every iteration.
  const int32_t width = job.width, height = job.height;
  const intptr_t sourcePitch = job.sourcePitch;
  const RowWalk walk = StartRowWalk(job.destination, job.destinationPitch, height, job.flip);
  uint8_t* row = walk.first;
  const uint8_t* source = job.source;
  for (int32_t y = 0; y < height; ++y, row += walk.step, source += sourcePitch) {
    const uint8_t* in = source;
    for (int32_t x = 0; x < width; ++x, in += bytesPerPixel) Store32(row + 4 * x, pixelAt(in));
  }
}

// Rows of pixels of one `Word` each.
template <typename Word>
inline void PackedRows(const ConvertJob& job, const ChannelRule (&rules)[4], uint32_t fill) {
  const ChannelRule r = rules[0], g = rules[1], b = rules[2], a = rules[3];
  Rows(job, sizeof(Word), [=](const uint8_t* in) {
    const uint32_t word = LoadWord<Word>(in);
    return Extract(word, r) | Extract(word, g) | Extract(word, b) | Extract(word, a) | fill;
  });
}

}  // namespace mirelth::detail
