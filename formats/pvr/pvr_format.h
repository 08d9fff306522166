// PVR pixel formats: the 64-bit value of version-3 headers (a predefined encoding in the low 32 bits, or
// channel names in bytes 0-3 with their bit widths in bytes 4-7), read with the header's channel type, and the
// one-byte legacy pixel types; their translation into our encodings.
#pragma once

#include <cstdint>

#include "encodings/described.h"
#include "encodings/pixel_format.h"
#include "io/failure.h"

namespace mirelth {

using PvrPixelFormat = uint64_t;

inline constexpr uint64_t kLastPredefinedPvrFormat = 40;

// Channel types (header offset 20).
enum PvrChannelType : uint32_t {
  kPvrUnsignedByteNorm = 0,
  kPvrSignedByteNorm = 1,
  kPvrUnsignedByte = 2,
  kPvrSignedByte = 3,
  kPvrUnsignedShortNorm = 4,
  kPvrSignedShortNorm = 5,
  kPvrUnsignedShort = 6,
  kPvrSignedShort = 7,
  kPvrUnsignedIntNorm = 8,
  kPvrSignedIntNorm = 9,
  kPvrUnsignedInt = 10,
  kPvrSignedInt = 11,
  kPvrSignedFloat = 12,
  kPvrUnsignedFloat = 13,
};

// Channel names (at most 4 lower-case letters, first in byte 0) and their widths in bytes 4-7.
constexpr PvrPixelFormat MakePvrPixelFormat(const char* name, uint8_t w1, uint8_t w2, uint8_t w3, uint8_t w4) {
  if (!name) return 0;
  uint64_t value = 0;
  for (int i = 0; i < 4 && name[i] != '\0'; ++i) value |= uint64_t{static_cast<uint8_t>(name[i])} << (8 * i);
  return value | uint64_t{w1} << 32 | uint64_t{w2} << 40 | uint64_t{w3} << 48 | uint64_t{w4} << 56;
}
constexpr bool IsPredefinedPvrFormat(PvrPixelFormat format) { return (format >> 32) == 0; }

// The pixel format a legacy pixel type stands for; false for the 102 unmapped values.
bool MapLegacyPixelType(uint8_t pixelType, PvrPixelFormat* format);
// The channel type and premultiplication the legacy table gives a mapped type.
uint32_t LegacyChannelType(uint8_t pixelType);
bool LegacyIsPremultiplied(uint8_t pixelType);

// Bits per pixel (rounded down for block sizes whose bits do not divide evenly); 0 for unknown values.
uint32_t PvrBitsPerPixel(PvrPixelFormat format);

// How a format is drawn.
struct PvrDrawing {
  PixelFormat format = PixelFormat::kNone;
  ChannelOrder order = ChannelOrder::BGRA;
  PixelLayout layout;  // PixelFormat::kDescribed
  AlphaRule alpha = AlphaRule::kStraight;
  bool powerOfTwo = false;  // the encoding needs power-of-two sizes (PVRTC)
};
// False, with the reason, for formats we do not draw.
[[nodiscard]] bool TranslatePvrFormat(PvrPixelFormat format, uint32_t channelType, PvrDrawing* drawing,
                                      DecodeFailure* failure);

// A readable name: "PVRTC 4 bpp RGBA" or "\"rgba\" 10.10.10.2".
void DescribePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size);
// The name describe shows: a predefined format's name alone ("PVRTC 4 bpp RGBA"), else as above.
void NamePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size);

}  // namespace mirelth
