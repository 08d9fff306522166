// The PVR pixel-format tables: predefined encodings, the legacy pixel types with their channel types, and the
// translation of channel-described formats. Channels whose widths are multiples of 8 sit one after another,
// first channel first; packed layouts (16 bits, 10.10.10.2, 11.11.10 ...) put the first channel in the most
// significant bits, as PVR tools write them. An "x" channel is padding, drawn opaque.
#include "formats/pvr/pvr_format.h"

#include <cstdio>
#include <cstring>

#include "encodings/encoding.h"

namespace mirelth {
namespace {

using enum PixelFormat;
constexpr uint32_t kUBN = kPvrUnsignedByteNorm;

constexpr PvrPixelFormat Predefined(uint64_t value) { return value; }

// Predefined encodings. `unsignedFormat` draws the value; `signedFormat` (when set) is drawn instead when the
// header's channel type is a signed one.
struct PredefinedRow {
  const char* name;
  uint8_t bitsPerPixel;
  PixelFormat unsignedFormat;
  PixelFormat signedFormat;
  AlphaRule alpha;
  bool powerOfTwo;
};
constexpr AlphaRule kStraight = AlphaRule::kStraight, kPremul = AlphaRule::kPremultiplied, kOpaque = AlphaRule::kOpaque;
constexpr PredefinedRow kPredefined[kLastPredefinedPvrFormat + 1] = {
    {"PVRTC 2 bpp RGB", 2, PVRTC2BPP, kNone, kOpaque, true},
    {"PVRTC 2 bpp RGBA", 2, PVRTC2BPP, kNone, kStraight, true},
    {"PVRTC 4 bpp RGB", 4, PVRTC4BPP, kNone, kOpaque, true},
    {"PVRTC 4 bpp RGBA", 4, PVRTC4BPP, kNone, kStraight, true},
    {"PVRTC-II 2 bpp", 2, kNone, kNone, kStraight, false},
    {"PVRTC-II 4 bpp", 4, kNone, kNone, kStraight, false},
    {"ETC1", 4, ETC1, kNone, kStraight, false},
    {"DXT1", 4, DXT1, kNone, kStraight, false},
    {"DXT2", 8, DXT3, kNone, kPremul, false},
    {"DXT3", 8, DXT3, kNone, kStraight, false},
    {"DXT4", 8, DXT5, kNone, kPremul, false},
    {"DXT5", 8, DXT5, kNone, kStraight, false},
    {"BC4", 4, BC4U, BC4S, kStraight, false},
    {"BC5", 8, BC5U, BC5S, kStraight, false},
    {"BC6", 8, BC6HU, BC6HS, kStraight, false},
    {"BC7", 8, BC7, kNone, kStraight, false},
    {"UYVY", 16, kNone, kNone, kStraight, false},
    {"YUY2", 16, kNone, kNone, kStraight, false},
    {"black and white 1 bpp", 1, kNone, kNone, kStraight, false},
    {"R9G9B9E5 shared exponent", 32, RGB9E5, kNone, kStraight, false},
    {"RGBG8888", 16, RGBG8888, kNone, kStraight, false},
    {"GRGB8888", 16, GRGB8888, kNone, kStraight, false},
    {"ETC2 RGB", 4, ETC2RGB, kNone, kStraight, false},
    {"ETC2 RGBA", 8, ETC2RGBA, kNone, kStraight, false},
    {"ETC2 RGB A1", 4, ETC2RGBA1, kNone, kStraight, false},
    {"EAC R11", 4, EACR11U, EACR11S, kStraight, false},
    {"EAC RG11", 8, EACRG11U, EACRG11S, kStraight, false},
    {"ASTC 4x4", 8, ASTC4x4, kNone, kStraight, false},
    {"ASTC 5x4", 6, ASTC5x4, kNone, kStraight, false},
    {"ASTC 5x5", 5, ASTC5x5, kNone, kStraight, false},
    {"ASTC 6x5", 4, ASTC6x5, kNone, kStraight, false},
    {"ASTC 6x6", 3, ASTC6x6, kNone, kStraight, false},
    {"ASTC 8x5", 3, ASTC8x5, kNone, kStraight, false},
    {"ASTC 8x6", 2, ASTC8x6, kNone, kStraight, false},
    {"ASTC 8x8", 2, ASTC8x8, kNone, kStraight, false},
    {"ASTC 10x5", 2, ASTC10x5, kNone, kStraight, false},
    {"ASTC 10x6", 2, ASTC10x6, kNone, kStraight, false},
    {"ASTC 10x8", 1, ASTC10x8, kNone, kStraight, false},
    {"ASTC 10x10", 1, ASTC10x10, kNone, kStraight, false},
    {"ASTC 12x10", 1, ASTC12x10, kNone, kStraight, false},
    {"ASTC 12x12", 0, ASTC12x12, kNone, kStraight, false},
};

// Every mapped legacy pixel type, with the channel type and premultiplication the published table gives; the
// rest are unmapped.
struct LegacyRow {
  uint8_t pixelType;
  PvrPixelFormat format;
  uint32_t channelType;
  bool premultiplied;
};
constexpr LegacyRow kLegacyRows[] = {
    {0x00, MakePvrPixelFormat("argb", 4, 4, 4, 4), kUBN, false},
    {0x01, MakePvrPixelFormat("argb", 1, 5, 5, 5), kUBN, false},
    {0x02, MakePvrPixelFormat("rgb", 5, 6, 5, 0), kUBN, false},
    {0x03, MakePvrPixelFormat("xrgb", 1, 5, 5, 5), kUBN, false},
    {0x04, MakePvrPixelFormat("rgb", 8, 8, 8, 0), kUBN, false},
    {0x05, MakePvrPixelFormat("argb", 8, 8, 8, 8), kUBN, false},
    {0x06, MakePvrPixelFormat("argb", 8, 3, 3, 2), kUBN, false},
    {0x07, MakePvrPixelFormat("i", 8, 0, 0, 0), kUBN, false},
    {0x08, MakePvrPixelFormat("ai", 8, 8, 0, 0), kUBN, false},
    {0x09, Predefined(18) /* black and white, 1 bit per pixel */, kUBN, false},
    {0x0A, Predefined(17) /* YUY2 */, kUBN, false},
    {0x0B, Predefined(16) /* UYVY */, kUBN, false},
    {0x0C, Predefined(1) /* PVRTC 2 bpp RGBA */, kUBN, false},
    {0x0D, Predefined(3) /* PVRTC 4 bpp RGBA */, kUBN, false},
    {0x10, MakePvrPixelFormat("rgba", 4, 4, 4, 4), kUBN, false},
    {0x11, MakePvrPixelFormat("rgba", 5, 5, 5, 1), kUBN, false},
    {0x12, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, false},
    {0x13, MakePvrPixelFormat("rgb", 5, 6, 5, 0), kUBN, false},
    {0x14, MakePvrPixelFormat("rgbx", 5, 5, 5, 1), kUBN, false},
    {0x15, MakePvrPixelFormat("rgb", 8, 8, 8, 0), kUBN, false},
    {0x16, MakePvrPixelFormat("l", 8, 0, 0, 0), kUBN, false},
    {0x17, MakePvrPixelFormat("la", 8, 8, 0, 0), kUBN, false},
    {0x18, Predefined(1) /* PVRTC 2 bpp RGBA */, kUBN, false},
    {0x19, Predefined(3) /* PVRTC 4 bpp RGBA */, kUBN, false},
    {0x1A, MakePvrPixelFormat("bgra", 8, 8, 8, 8), kUBN, false},
    {0x1B, MakePvrPixelFormat("a", 8, 0, 0, 0), kUBN, false},
    {0x1C, Predefined(5) /* PVRTC-II 4 bpp */, kUBN, false},
    {0x1D, Predefined(4) /* PVRTC-II 2 bpp */, kUBN, false},
    {0x20, Predefined(7) /* DXT1 */, kUBN, false},
    {0x21, Predefined(8) /* DXT2 */, kUBN, false},
    {0x22, Predefined(9) /* DXT3 */, kUBN, false},
    {0x23, Predefined(10) /* DXT4 */, kUBN, false},
    {0x24, Predefined(11) /* DXT5 */, kUBN, false},
    {0x25, MakePvrPixelFormat("rgb", 3, 3, 2, 0), kUBN, false},
    {0x26, MakePvrPixelFormat("al", 4, 4, 0, 0), kUBN, false},
    {0x27, MakePvrPixelFormat("lgr", 6, 5, 5, 0), kPvrSignedByte, false},
    {0x28, MakePvrPixelFormat("xlgr", 8, 8, 8, 8), kPvrSignedByte, false},
    {0x29, MakePvrPixelFormat("abgr", 8, 8, 8, 8), kPvrSignedByteNorm, false},
    {0x2A, MakePvrPixelFormat("abgr", 2, 10, 10, 10), kUBN, false},
    {0x2B, MakePvrPixelFormat("argb", 2, 10, 10, 10), kUBN, false},
    {0x2C, MakePvrPixelFormat("argb", 2, 10, 10, 10), kPvrSignedByte, false},
    {0x2D, MakePvrPixelFormat("gr", 16, 16, 0, 0), kPvrUnsignedShortNorm, false},
    {0x2E, MakePvrPixelFormat("gr", 16, 16, 0, 0), kPvrSignedShortNorm, false},
    {0x2F, MakePvrPixelFormat("abgr", 16, 16, 16, 16), kPvrUnsignedShortNorm, false},
    {0x30, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrSignedFloat, false},
    {0x31, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrSignedFloat, false},
    {0x32, MakePvrPixelFormat("abgr", 16, 16, 16, 16), kPvrSignedFloat, false},
    {0x33, MakePvrPixelFormat("r", 32, 0, 0, 0), kPvrSignedFloat, false},
    {0x34, MakePvrPixelFormat("gr", 32, 32, 0, 0), kPvrSignedFloat, false},
    {0x35, MakePvrPixelFormat("abgr", 32, 32, 32, 32), kPvrSignedFloat, false},
    {0x36, Predefined(6) /* ETC1 */, kUBN, false},
    {0x40, MakePvrPixelFormat("a", 8, 0, 0, 0), kUBN, false},
    {0x41, MakePvrPixelFormat("gr", 8, 8, 0, 0), kUBN, false},
    {0x42, MakePvrPixelFormat("l", 16, 0, 0, 0), kPvrUnsignedShortNorm, false},
    {0x43, MakePvrPixelFormat("l", 8, 0, 0, 0), kUBN, false},
    {0x44, MakePvrPixelFormat("al", 8, 8, 0, 0), kUBN, false},
    {0x45, Predefined(16) /* UYVY */, kUBN, false},
    {0x46, Predefined(17) /* YUY2 */, kUBN, false},
    {0x50, MakePvrPixelFormat("rgba", 32, 32, 32, 32), kPvrSignedFloat, false},
    {0x51, MakePvrPixelFormat("rgba", 32, 32, 32, 32), kPvrUnsignedInt, false},
    {0x52, MakePvrPixelFormat("rgba", 32, 32, 32, 32), kPvrSignedInt, false},
    {0x53, MakePvrPixelFormat("rgb", 32, 32, 32, 0), kPvrSignedFloat, false},
    {0x54, MakePvrPixelFormat("rgb", 32, 32, 32, 0), kPvrUnsignedInt, false},
    {0x55, MakePvrPixelFormat("rgb", 32, 32, 32, 0), kPvrSignedInt, false},
    {0x56, MakePvrPixelFormat("rgba", 16, 16, 16, 16), kPvrSignedFloat, false},
    {0x57, MakePvrPixelFormat("rgba", 16, 16, 16, 16), kPvrUnsignedShortNorm, false},
    {0x58, MakePvrPixelFormat("rgba", 16, 16, 16, 16), kPvrUnsignedShort, false},
    {0x59, MakePvrPixelFormat("rgba", 16, 16, 16, 16), kPvrSignedShortNorm, false},
    {0x5A, MakePvrPixelFormat("rgba", 16, 16, 16, 16), kPvrSignedShort, false},
    {0x5B, MakePvrPixelFormat("rg", 32, 32, 0, 0), kPvrSignedFloat, false},
    {0x5C, MakePvrPixelFormat("rg", 32, 32, 0, 0), kPvrUnsignedInt, false},
    {0x5D, MakePvrPixelFormat("rg", 32, 32, 0, 0), kPvrSignedInt, false},
    {0x5E, MakePvrPixelFormat("rgba", 10, 10, 10, 2), kUBN, false},
    {0x5F, MakePvrPixelFormat("rgba", 10, 10, 10, 2), kPvrUnsignedInt, false},
    {0x60, MakePvrPixelFormat("rgb", 11, 11, 10, 0), kPvrUnsignedFloat, false},
    {0x61, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, false},
    {0x62, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, false},
    {0x63, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kPvrUnsignedByte, false},
    {0x64, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kPvrSignedByteNorm, false},
    {0x65, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kPvrSignedByte, false},
    {0x66, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrSignedFloat, false},
    {0x67, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrUnsignedShortNorm, false},
    {0x68, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrUnsignedShort, false},
    {0x69, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrSignedShortNorm, false},
    {0x6A, MakePvrPixelFormat("rg", 16, 16, 0, 0), kPvrSignedShort, false},
    {0x6B, MakePvrPixelFormat("r", 32, 0, 0, 0), kPvrSignedFloat, false},
    {0x6C, MakePvrPixelFormat("r", 32, 0, 0, 0), kPvrUnsignedInt, false},
    {0x6D, MakePvrPixelFormat("r", 32, 0, 0, 0), kPvrSignedInt, false},
    {0x6E, MakePvrPixelFormat("rg", 8, 8, 0, 0), kUBN, false},
    {0x6F, MakePvrPixelFormat("rg", 8, 8, 0, 0), kPvrUnsignedByte, false},
    {0x70, MakePvrPixelFormat("rg", 8, 8, 0, 0), kPvrSignedByteNorm, false},
    {0x71, MakePvrPixelFormat("rg", 8, 8, 0, 0), kPvrSignedByte, false},
    {0x72, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrSignedFloat, false},
    {0x73, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrUnsignedShortNorm, false},
    {0x74, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrUnsignedShort, false},
    {0x75, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrSignedShortNorm, false},
    {0x76, MakePvrPixelFormat("r", 16, 0, 0, 0), kPvrSignedShort, false},
    {0x77, MakePvrPixelFormat("r", 8, 0, 0, 0), kUBN, false},
    {0x78, MakePvrPixelFormat("r", 8, 0, 0, 0), kPvrUnsignedByte, false},
    {0x79, MakePvrPixelFormat("r", 8, 0, 0, 0), kPvrSignedByteNorm, false},
    {0x7A, MakePvrPixelFormat("r", 8, 0, 0, 0), kPvrSignedByte, false},
    {0x7B, MakePvrPixelFormat("a", 8, 0, 0, 0), kUBN, false},
    {0x7C, Predefined(18) /* black and white, 1 bit per pixel */, kUBN, false},
    {0x7D, Predefined(19) /* R9G9B9E5 shared exponent */, kUBN, false},
    {0x7E, Predefined(20) /* RGBG8888 */, kUBN, false},
    {0x7F, Predefined(21) /* GRGB8888 */, kUBN, false},
    {0x80, Predefined(7) /* DXT1 */, kUBN, false},
    {0x81, Predefined(7) /* DXT1 */, kUBN, false},
    {0x82, Predefined(9) /* DXT3 */, kUBN, false},
    {0x83, Predefined(9) /* DXT3 */, kUBN, false},
    {0x84, Predefined(11) /* DXT5 */, kUBN, false},
    {0x85, Predefined(11) /* DXT5 */, kUBN, false},
    {0x86, Predefined(12) /* BC4 */, kUBN, false},
    {0x87, Predefined(12) /* BC4 */, kPvrSignedByteNorm, false},
    {0x88, Predefined(13) /* BC5 */, kUBN, false},
    {0x89, Predefined(13) /* BC5 */, kPvrSignedByteNorm, false},
    {0x90, MakePvrPixelFormat("rgbx", 8, 8, 8, 8), kUBN, false},
    {0x91, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, false},
    {0x92, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, true},
    {0x93, MakePvrPixelFormat("rgb", 5, 6, 5, 0), kUBN, false},
    {0x94, MakePvrPixelFormat("rgba", 5, 5, 5, 1), kUBN, false},
    {0x95, MakePvrPixelFormat("rgba", 4, 4, 4, 4), kUBN, false},
    {0x96, MakePvrPixelFormat("l", 8, 0, 0, 0), kUBN, false},
    {0x97, MakePvrPixelFormat("rgbx", 8, 8, 8, 8), kUBN, false},
    {0x98, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, false},
    {0x99, MakePvrPixelFormat("rgba", 8, 8, 8, 8), kUBN, true},
    {0x9A, MakePvrPixelFormat("l", 8, 0, 0, 0), kUBN, false},
    {0x9B, MakePvrPixelFormat("a", 8, 0, 0, 0), kUBN, false},
    {0x9C, Predefined(18) /* black and white, 1 bit per pixel */, kUBN, false},
    {0x9D, MakePvrPixelFormat("xrgb", 8, 8, 8, 8), kUBN, false},
    {0x9E, MakePvrPixelFormat("argb", 8, 8, 8, 8), kUBN, false},
    {0x9F, MakePvrPixelFormat("argb", 8, 8, 8, 8), kUBN, true},
    {0xA0, MakePvrPixelFormat("argb", 1, 5, 5, 5), kUBN, false},
    {0xA1, MakePvrPixelFormat("argb", 4, 4, 4, 4), kUBN, false},
    {0xA2, MakePvrPixelFormat("xrgb", 8, 8, 8, 8), kUBN, false},
    {0xA3, MakePvrPixelFormat("argb", 8, 8, 8, 8), kUBN, false},
    {0xA4, MakePvrPixelFormat("argb", 8, 8, 8, 8), kUBN, true},
    {0xA5, MakePvrPixelFormat("bgrx", 8, 8, 8, 8), kUBN, false},
    {0xA6, MakePvrPixelFormat("bgra", 8, 8, 8, 8), kUBN, false},
    {0xA7, MakePvrPixelFormat("bgra", 8, 8, 8, 8), kUBN, true},
    {0xA8, MakePvrPixelFormat("bgr", 5, 6, 5, 0), kUBN, false},
    {0xA9, MakePvrPixelFormat("bgra", 5, 5, 5, 1), kUBN, false},
    {0xAA, MakePvrPixelFormat("bgra", 4, 4, 4, 4), kUBN, false},
    {0xAB, MakePvrPixelFormat("bgrx", 8, 8, 8, 8), kUBN, false},
    {0xAC, MakePvrPixelFormat("bgra", 8, 8, 8, 8), kUBN, false},
    {0xAD, MakePvrPixelFormat("bgra", 8, 8, 8, 8), kUBN, true},
    {0xAE, MakePvrPixelFormat("xbgr", 8, 8, 8, 8), kUBN, false},
    {0xAF, MakePvrPixelFormat("abgr", 8, 8, 8, 8), kUBN, false},
    {0xB0, MakePvrPixelFormat("abgr", 8, 8, 8, 8), kUBN, true},
    {0xB1, MakePvrPixelFormat("abgr", 1, 5, 5, 5), kUBN, false},
    {0xB2, MakePvrPixelFormat("abgr", 4, 4, 4, 4), kUBN, false},
    {0xB3, MakePvrPixelFormat("xbgr", 8, 8, 8, 8), kUBN, false},
    {0xB4, MakePvrPixelFormat("abgr", 8, 8, 8, 8), kUBN, false},
    {0xB5, MakePvrPixelFormat("abgr", 8, 8, 8, 8), kUBN, true},
};

struct LegacyTable {
  bool mapped[256];
  LegacyRow row[256];
};
constexpr LegacyTable kLegacy = [] {
  LegacyTable table{};
  for (const LegacyRow& row : kLegacyRows) {
    table.mapped[row.pixelType] = true;
    table.row[row.pixelType] = row;
  }
  return table;
}();

inline uint32_t Width(PvrPixelFormat format, int channel) {
  return static_cast<uint32_t>((format >> (32 + 8 * channel)) & 0xFF);
}
inline char Name(PvrPixelFormat format, int channel) { return static_cast<char>((format >> (8 * channel)) & 0xFF); }

bool IsSigned(uint32_t channelType) {
  return channelType == kPvrSignedByteNorm || channelType == kPvrSignedShortNorm || channelType == kPvrSignedIntNorm ||
         channelType == kPvrSignedFloat;
}

bool RefuseFormat(PvrPixelFormat format, const char* why, DecodeFailure* failure) {
  char text[64];
  DescribePvrPixelFormat(format, text, sizeof text);
  return Fail(failure, FailureKind::Unsupported, "PVR pixel format %s%s%s", text, why ? ": " : "", why ? why : "");
}

// The four 8-bit channel orders our 32- and 24-bit converters take; "x" in the alpha place is padding.
struct OrderRow {
  const char* name;
  ChannelOrder order;
};
constexpr OrderRow kOrders[] = {
    {"rgba", ChannelOrder::RGBA}, {"rgbx", ChannelOrder::RGBA}, {"bgra", ChannelOrder::BGRA},
    {"bgrx", ChannelOrder::BGRA}, {"argb", ChannelOrder::ARGB}, {"xrgb", ChannelOrder::ARGB},
    {"abgr", ChannelOrder::ABGR}, {"xbgr", ChannelOrder::ABGR}, {"rgb", ChannelOrder::RGBA},
    {"bgr", ChannelOrder::BGRA},
};

bool TranslateChannels(PvrPixelFormat format, uint32_t channelType, PvrDrawing* drawing, DecodeFailure* failure) {
  ChannelType type;
  switch (channelType) {
    case kPvrUnsignedByteNorm:
    case kPvrUnsignedShortNorm:
    case kPvrUnsignedIntNorm: type = ChannelType::kUnorm; break;
    case kPvrSignedByteNorm:
    case kPvrSignedShortNorm:
    case kPvrSignedIntNorm: type = ChannelType::kSnorm; break;
    case kPvrSignedFloat:
    case kPvrUnsignedFloat: type = ChannelType::kFloat; break;
    default: {
      char why[64];
      std::snprintf(why, sizeof why, "channel type %u is not normalised", static_cast<unsigned>(channelType));
      return RefuseFormat(format, why, failure);
    }
  }
  uint32_t total = 0;
  bool aligned = true;
  int count = 0;
  for (; count < 4 && Name(format, count) != 0; ++count) {
    total += Width(format, count);
    if (Width(format, count) % 8 != 0) aligned = false;
  }
  if (count == 0 || total == 0 || total % 8 != 0 || total > 128) return RefuseFormat(format, nullptr, failure);

  // 8-bit normalised channels in one of the four orders: the whole-pixel converters.
  if (type == ChannelType::kUnorm) {
    char name[5] = {};
    bool eights = true;
    int present = 0;
    for (int c = 0; c < count; ++c) {
      if (Width(format, c) == 0) continue;
      name[present++] = Name(format, c);
      if (Width(format, c) != 8) eights = false;
    }
    if (eights && (total == 32 || total == 24)) {
      for (const OrderRow& row : kOrders) {
        if (std::strcmp(row.name, name) != 0) continue;
        drawing->order = row.order;
        drawing->format = total == 24 ? R8G8B8 : (std::strchr(name, 'x') ? X8R8G8B8 : A8R8G8B8);
        return true;
      }
    }
  }

  PixelLayout& layout = drawing->layout;
  layout = PixelLayout{};
  layout.bytesPerPixel = static_cast<uint8_t>(total / 8);
  uint32_t low = 0;       // aligned: channels from the lowest bit up, first channel first
  uint32_t high = total;  // packed: from the top bit down
  bool seen[4] = {};
  bool intensity = false;
  for (int c = 0; c < count; ++c) {
    const uint32_t width = Width(format, c);
    uint32_t shift;
    if (aligned) {
      shift = low;
      low += width;
    } else {
      high -= width;
      shift = high;
    }
    if (width == 0) continue;  // a zero-width channel is absent
    ChannelField field{type, static_cast<uint8_t>(shift), static_cast<uint8_t>(width)};
    if (type == ChannelType::kFloat && width != 16 && width != 32) {
      if (width != 11 && width != 10) return RefuseFormat(format, "float channels of this width", failure);
      field.type = ChannelType::kUFloat;
    }
    int slot;
    switch (Name(format, c)) {
      case 'r': slot = 0; break;
      case 'g': slot = 1; break;
      case 'b': slot = 2; break;
      case 'a': slot = 3; break;
      case 'l':
        slot = 0;
        layout.gray = true;
        break;
      case 'i':
        slot = 0;
        layout.gray = true;
        intensity = true;
        break;
      case 'x': continue;  // padding
      default: return RefuseFormat(format, "channel names", failure);
    }
    if (seen[slot]) return RefuseFormat(format, "channels named twice", failure);
    seen[slot] = true;
    layout.channel[slot] = field;
  }
  if (seen[0] && layout.gray && (seen[1] || seen[2])) return RefuseFormat(format, "channel names", failure);
  if (seen[0] && !seen[1] && !seen[2]) layout.gray = true;           // "r" alone is a luminance
  if (intensity && !seen[3]) layout.channel[3] = layout.channel[0];  // intensity is its own alpha
  if (!IsValidPixelLayout(layout)) return RefuseFormat(format, nullptr, failure);
  drawing->format = kDescribed;
  drawing->order = ChannelOrder::BGRA;
  return true;
}

}  // namespace

bool MapLegacyPixelType(uint8_t pixelType, PvrPixelFormat* format) {
  if (!kLegacy.mapped[pixelType]) return false;
  *format = kLegacy.row[pixelType].format;
  return true;
}

uint32_t LegacyChannelType(uint8_t pixelType) { return kLegacy.row[pixelType].channelType; }
bool LegacyIsPremultiplied(uint8_t pixelType) { return kLegacy.row[pixelType].premultiplied; }

uint32_t PvrBitsPerPixel(PvrPixelFormat format) {
  if (!IsPredefinedPvrFormat(format)) return Width(format, 0) + Width(format, 1) + Width(format, 2) + Width(format, 3);
  return format <= kLastPredefinedPvrFormat ? kPredefined[format].bitsPerPixel : 0;
}

bool TranslatePvrFormat(PvrPixelFormat format, uint32_t channelType, PvrDrawing* drawing, DecodeFailure* failure) {
  *drawing = PvrDrawing{};
  if (!IsPredefinedPvrFormat(format)) return TranslateChannels(format, channelType, drawing, failure);
  if (format > kLastPredefinedPvrFormat) return RefuseFormat(format, nullptr, failure);
  const PredefinedRow& row = kPredefined[format];
  const PixelFormat chosen = IsSigned(channelType) && row.signedFormat != kNone ? row.signedFormat : row.unsignedFormat;
  if (chosen == kNone) return RefuseFormat(format, nullptr, failure);
  drawing->format = chosen;
  drawing->alpha = row.alpha;
  drawing->powerOfTwo = row.powerOfTwo;
  return true;
}

void NamePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size) {
  if (IsPredefinedPvrFormat(format) && format <= kLastPredefinedPvrFormat) {
    std::snprintf(text, size, "%s", kPredefined[format].name);
    return;
  }
  DescribePvrPixelFormat(format, text, size);
}

void DescribePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size) {
  if (IsPredefinedPvrFormat(format)) {
    if (format <= kLastPredefinedPvrFormat) {
      std::snprintf(text, size, "%llu (%s)", static_cast<unsigned long long>(format), kPredefined[format].name);
    } else {
      std::snprintf(text, size, "%llu (no such predefined format)", static_cast<unsigned long long>(format));
    }
    return;
  }
  char name[5] = {};
  for (int i = 0; i < 4; ++i) {
    const char c = Name(format, i);
    name[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    if (c == 0) name[i] = 0;
  }
  std::snprintf(text, size, "\"%s\" %u.%u.%u.%u", name, Width(format, 0), Width(format, 1), Width(format, 2),
                Width(format, 3));
}

}  // namespace mirelth
