// PVR pixel formats: the 64-bit value of version-3 headers (a predefined encoding in the low 32 bits, or
// channel names in bytes 0-3 with their bit widths in bytes 4-7) and the one-byte legacy pixel types, and
// their translation into our PixelFormat and ChannelOrder codes.
#pragma once

#include <cstdint>

namespace mirelth {

using PvrPixelFormat = uint64_t;

inline constexpr uint64_t kLastPredefinedPvrFormat = 26;

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

uint32_t PvrBitsPerPixel(PvrPixelFormat format);
// Block width and height of a predefined value of at most 26; false for 14 and 15 (BC6, BC7), which have none.
bool PvrBlockSize(PvrPixelFormat format, uint32_t* width, uint32_t* height);
// ChannelOrder code, or -1 when the format has none.
int32_t PvrToChannelOrder(PvrPixelFormat format);
// PixelFormat code, 0 for none.
int32_t PvrToPixelFormat(PvrPixelFormat format);

// A readable name: "PVRTC 4 bpp RGBA" or "\"rgba\" 10.10.10.2".
void DescribePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size);

}  // namespace mirelth
