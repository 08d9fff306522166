// ConvertPixels: the one entry through which every container decoder fills its bitmap. It chooses the
// converter for the source's PixelFormat from one table; converters share one signature.
// Destination pixels are always 32-bit; with `flip` the source's first row becomes the destination's last.
#pragma once

#include <cstdint>

#include "pixels/pixel_format.h"

namespace mirelth {

// (destination, destinationPitch, destination order, source, sourcePitch, source order, width, height, flip)
using Converter = void (*)(uint8_t* destination, int32_t destinationPitch, int32_t destinationOrder,
                           const uint8_t* source, int32_t sourcePitch, int32_t sourceOrder, int32_t width,
                           int32_t height, bool flip);

// Converts width x height source pixels into BGRA destination pixels. Codes outside the table write nothing.
// The caller guarantees the source holds what the format needs (height rows of sourcePitch bytes, or
// ceil(width/4) x ceil(height/4) blocks) and the destination height rows of destinationPitch bytes.
void ConvertPixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t sourcePitch,
                   int32_t format, int32_t order, int32_t width, int32_t height, bool flip);

// The converter ConvertPixels uses for a code, or null.
Converter ConverterFor(int32_t format);

// Plain converters.
void ConvertFromX4R4G4B4(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromR5G6B5(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromA1R5G5B5(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromX1R5G5B5(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromA4R4G4B4(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromR8G8B8(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromA8R8G8B8(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromX8R8G8B8(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);

// A 16-bit little-endian pixel described by where each channel sits: for R, G, B, A in that order, the
// shift of its lowest bit and its width in bits (0: absent; an absent alpha reads 255, an absent colour 0).
// Channels widen to 8 bits by bit replication.
struct Packed16Layout {
  uint8_t shift[4];
  uint8_t bits[4];
};
bool IsValidPacked16Layout(const Packed16Layout& layout);
// Converts 16-bit pixels of any valid layout into BGRA. Invalid layouts write nothing.
void ConvertPacked16Pixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source,
                           int32_t sourcePitch, const Packed16Layout& layout, int32_t width, int32_t height,
                           bool flip);

// Where each destination row goes: the first row written and the step between rows (negative when flipped).
struct RowWalk {
  uint8_t* first;
  intptr_t step;
};
inline RowWalk StartRowWalk(uint8_t* destination, int32_t destinationPitch, int32_t height, bool flip) {
  if (flip && height > 0) {
    return {destination + static_cast<intptr_t>(height - 1) * destinationPitch, -static_cast<intptr_t>(destinationPitch)};
  }
  return {destination, destinationPitch};
}

}  // namespace mirelth
