// Source encodings and channel orders: the shared vocabulary of every container decoder and ConvertPixels.
// Every conversion produces the decoded pixel 0xAARRGGBB, stored little-endian: bytes B, G, R, A in memory.
#pragma once

#include <cstdint>

namespace mirelth {

// Codes 1-14 are the file-facing encodings; 15 and 16 are the opaque variants of 4 and 7, for layouts whose
// top bit or byte is padding (an "X" channel): copying padding as alpha would make an opaque texture invisible.
enum PixelFormat : int32_t {
  kNoPixelFormat = 0,
  X4R4G4B4 = 1,
  R5G6B5 = 2,
  kReservedFormat3 = 3,  // converted as X4R4G4B4; no container produces it
  A1R5G5B5 = 4,
  A4R4G4B4 = 5,
  R8G8B8 = 6,
  A8R8G8B8 = 7,
  DXT1 = 8,
  DXT3 = 9,
  DXT5 = 10,
  ATC = 11,
  ATCA = 12,
  ATCI = 13,
  ETC1 = 14,
  X1R5G5B5 = 15,  // A1R5G5B5 layout, bit 15 is padding: alpha 255
  X8R8G8B8 = 16,  // A8R8G8B8 layout, the A byte is padding: alpha 255
  kLastPixelFormat = X8R8G8B8,
};

// Where R, G, B and A sit in a 4-byte pixel, in memory order.
enum ChannelOrder : int32_t {
  RGBA = 0,
  ARGB = 1,
  BGRA = 2,
  ABGR = 3,
};

inline constexpr bool IsBlockFormat(int32_t format) { return format >= DXT1 && format <= ETC1; }

// Bytes per 4x4 block (block formats) or bits per pixel (plain formats); 0 for codes outside the table.
int32_t BlockBytes(int32_t format);
int32_t BitsPerPixel(int32_t format);

// Byte position of each channel for an order code 0..3.
struct ChannelPositions {
  uint8_t r, g, b, a;
};
inline constexpr ChannelPositions kChannelPositions[4] = {
    {0, 1, 2, 3},  // RGBA
    {1, 2, 3, 0},  // ARGB
    {2, 1, 0, 3},  // BGRA
    {3, 2, 1, 0},  // ABGR
};
inline constexpr bool IsChannelOrder(int32_t order) { return order >= RGBA && order <= ABGR; }

const char* PixelFormatName(int32_t format);

}  // namespace mirelth
