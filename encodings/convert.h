// ConvertPixels: the one entry through which every container decoder fills its bitmap. It chooses the
// converter for the source's PixelFormat from the table of encodings; converters share one signature, a
// ConvertJob. Destination pixels are always 32-bit; with `flip` the source's first row becomes the
// destination's last.
#pragma once

#include <cstdint>

#include "encodings/pixel_format.h"

namespace mirelth {

struct PixelLayout;

// One conversion of width x height source pixels (or the blocks that cover them).
struct ConvertJob {
  uint8_t* destination = nullptr;
  intptr_t destinationPitch = 0;
  ChannelOrder destinationOrder = ChannelOrder::BGRA;
  const uint8_t* source = nullptr;
  intptr_t sourcePitch = 0;  // bytes from one row of pixels (or of blocks) to the next
  ChannelOrder sourceOrder = ChannelOrder::BGRA;
  int32_t width = 0;
  int32_t height = 0;
  bool flip = false;
  PixelFormat format = PixelFormat::kNone;
  const PixelLayout* layout = nullptr;  // PixelFormat::kDescribed only
  const uint32_t* palette = nullptr;    // PixelFormat::PAL8 only: 256 display values (0xAARRGGBB)
  const void* codebook = nullptr;       // block encodings driven by a file's codebooks (BlockContext)
};
using Converter = void (*)(const ConvertJob& job);
// The linear float converter of an HDR encoding: job.destination receives R, G, B, A floats a pixel (16 bytes,
// destinationPitch bytes a row, flip honoured), before any tone mapping; colour premultiplied in linear light
// (PixelLayout::premultiplied) already divided by alpha (alpha 0: all 0), NaN and negative colour kept as stored.
using FloatConverter = void (*)(const ConvertJob& job);

// Converts width x height source pixels into BGRA destination pixels. Codes outside the table write nothing.
// The caller guarantees the source holds what the format needs (height rows of sourcePitch bytes, or whole
// blocks: see LevelBytes) and the destination height rows of destinationPitch bytes.
void ConvertPixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t sourcePitch,
                   PixelFormat format, ChannelOrder order, int32_t width, int32_t height, bool flip);
// The same with every parameter named, and the layout of described formats.
void ConvertPixels(const ConvertJob& job);

// The converter ConvertPixels uses for a code, or null.
Converter ConverterFor(PixelFormat format);

// Plain converters.
void ConvertFromX4R4G4B4(const ConvertJob& job);
void ConvertFromR5G6B5(const ConvertJob& job);
void ConvertFromA1R5G5B5(const ConvertJob& job);
void ConvertFromX1R5G5B5(const ConvertJob& job);
void ConvertFromA4R4G4B4(const ConvertJob& job);
void ConvertFromR8G8B8(const ConvertJob& job);
void ConvertFromA8R8G8B8(const ConvertJob& job);
void ConvertFromX8R8G8B8(const ConvertJob& job);
void ConvertFromRGB9E5(const ConvertJob& job);
void ConvertFromRGB9E5ToFloat(const ConvertJob& job);
void ConvertFromDescribedToFloat(const ConvertJob& job);
// One index byte a pixel into job.palette (without a palette, index i reads as opaque gray i).
void ConvertFromPalette8(const ConvertJob& job);
// Plain pixels described by job.layout (pixels/described.h).
void ConvertFromDescribed(const ConvertJob& job);
// Every block encoding: the block walk with the table's decoder for job.format, then the channel order.
void ConvertFromBlocks(const ConvertJob& job);
// PVRTC: its own walk (a pixel depends on neighbouring words).
void ConvertFromPvrtc(const ConvertJob& job);

// Where each destination row goes: the first row written and the step between rows (negative when flipped).
struct RowWalk {
  uint8_t* first;
  intptr_t step;
};
inline RowWalk StartRowWalk(uint8_t* destination, intptr_t destinationPitch, int32_t height, bool flip) {
  if (flip && height > 0)
    return {destination + static_cast<intptr_t>(height - 1) * destinationPitch, -destinationPitch};
  return {destination, destinationPitch};
}

}  // namespace mirelth
