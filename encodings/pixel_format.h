// Source encodings and channel orders: the shared vocabulary of every container decoder and ConvertPixels.
// Every conversion produces the decoded pixel 0xAARRGGBB, stored little-endian: bytes B, G, R, A in memory.
// What each code means (block size, bytes, decoder) lives in one table, pixels/encoding.cpp.
#pragma once

#include <cstdint>

namespace mirelth {

// Codes 1-14 are the file-facing encodings of the first containers; 15 and 16 are the opaque variants of 4
// and 7, for layouts whose top bit or byte is padding (an "X" channel): copying padding as alpha would make an
// opaque texture invisible. The codes from 17 on are the encodings tools write today.
enum class PixelFormat : int32_t {
  kNone = 0,
  X4R4G4B4 = 1,
  R5G6B5 = 2,
  kReserved3 = 3,  // converted as X4R4G4B4; no container produces it
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
  X1R5G5B5 = 15,    // A1R5G5B5 layout, bit 15 is padding: alpha 255
  X8R8G8B8 = 16,    // A8R8G8B8 layout, the A byte is padding: alpha 255
  kDescribed = 17,  // plain pixels described channel by channel (a PixelLayout)
  RGB9E5 = 18,      // shared exponent: R bits 0-8, G 9-17, B 18-26, exponent 27-31
  RGBG8888 = 19,    // a pixel pair in 4 bytes: R, G0, B, G1
  GRGB8888 = 20,    // a pixel pair in 4 bytes: G0, R, G1, B
  BC4U = 21,
  BC4S = 22,
  BC5U = 23,
  BC5S = 24,
  BC6HU = 25,
  BC6HS = 26,
  BC7 = 27,
  ETC2RGB = 28,
  ETC2RGBA = 29,   // EAC alpha block, then an ETC2 colour block
  ETC2RGBA1 = 30,  // ETC2 with punch-through alpha
  EACR11U = 31,
  EACR11S = 32,
  EACRG11U = 33,
  EACRG11S = 34,
  PVRTC2BPP = 35,  // PVRTC I, 8 x 4 pixels a word
  PVRTC4BPP = 36,  // PVRTC I, 4 x 4 pixels a word
  ASTC4x4 = 37,    // ASTC 2D footprints, 16 bytes a block
  ASTC5x4 = 38,
  ASTC5x5 = 39,
  ASTC6x5 = 40,
  ASTC6x6 = 41,
  ASTC8x5 = 42,
  ASTC8x6 = 43,
  ASTC8x8 = 44,
  ASTC10x5 = 45,
  ASTC10x6 = 46,
  ASTC10x8 = 47,
  ASTC10x10 = 48,
  ASTC12x10 = 49,
  ASTC12x12 = 50,
  PAL8 = 51,   // one byte a pixel, an index into 256 display colours the container supplies (ConvertJob::palette)
  UASTC = 52,  // Basis Universal UASTC: 4x4 blocks of 16 bytes, LDR RGBA
  kLast = UASTC,
};
inline constexpr int32_t kPixelFormatCount = static_cast<int32_t>(PixelFormat::kLast) + 1;

// Where R, G, B and A sit in a 4-byte pixel, in memory order.
enum class ChannelOrder : int32_t {
  RGBA = 0,
  ARGB = 1,
  BGRA = 2,
  ABGR = 3,
};

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
inline constexpr bool IsChannelOrder(ChannelOrder order) {
  return static_cast<uint32_t>(order) <= static_cast<uint32_t>(ChannelOrder::ABGR);
}
inline constexpr const ChannelPositions& PositionsOf(ChannelOrder order) {
  return kChannelPositions[IsChannelOrder(order) ? static_cast<int32_t>(order) : 2];
}

// What happens to the alpha of decoded pixels: kept, un-premultiplied, or replaced by 255.
enum class AlphaRule : uint8_t { kStraight, kPremultiplied, kOpaque };

}  // namespace mirelth
