// PVR container and pixel-format table: every legacy pixel type, the derivations, pitches, both header
// layouts, orientation, the packed 16-bit layouts drawn by their channel names, and every refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "formats/pvr/pvr.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

struct LegacyExpectation {
  uint8_t pixelType;
  bool mapped;
  uint32_t bitsPerPixel;
  int32_t format;  // the first release's PixelFormat column (kept for the record; drawing is tested below)
  int32_t order;
};
// The legacy table as published: which types are mapped, and their bits per pixel.
constexpr LegacyExpectation kLegacy[256] = {
    {0x00, true, 16, 5, 1},  {0x01, true, 16, 4, 1},  {0x02, true, 16, 2, 0},  {0x03, true, 16, 4, 1},
    {0x04, true, 24, 6, 0},  {0x05, true, 32, 7, 1},  {0x06, true, 16, 0, 1},  {0x07, true, 8, 0, -1},
    {0x08, true, 16, 0, -1}, {0x09, true, 1, 0, 0},   {0x0A, true, 16, 0, 0},  {0x0B, true, 16, 0, 0},
    {0x0C, true, 2, 0, 0},   {0x0D, true, 4, 0, 0},   {0x0E, false, 0, 0, 0},  {0x0F, false, 0, 0, 0},
    {0x10, true, 16, 5, 0},  {0x11, true, 16, 4, 0},  {0x12, true, 32, 7, 0},  {0x13, true, 16, 2, 0},
    {0x14, true, 16, 4, 0},  {0x15, true, 24, 6, 0},  {0x16, true, 8, 0, -1},  {0x17, true, 16, 0, -1},
    {0x18, true, 2, 0, 0},   {0x19, true, 4, 0, 0},   {0x1A, true, 32, 7, 2},  {0x1B, true, 8, 0, -1},
    {0x1C, true, 4, 0, 0},   {0x1D, true, 2, 0, 0},   {0x1E, false, 0, 0, 0},  {0x1F, false, 0, 0, 0},
    {0x20, true, 4, 8, 2},   {0x21, true, 8, 9, 2},   {0x22, true, 8, 9, 2},   {0x23, true, 8, 10, 2},
    {0x24, true, 8, 10, 2},  {0x25, true, 8, 0, 0},   {0x26, true, 8, 0, -1},  {0x27, true, 16, 0, -1},
    {0x28, true, 32, 7, -1}, {0x29, true, 32, 7, 3},  {0x2A, true, 32, 7, 3},  {0x2B, true, 32, 7, 1},
    {0x2C, true, 32, 7, 1},  {0x2D, true, 32, 7, -1}, {0x2E, true, 32, 7, -1}, {0x2F, true, 64, 0, 3},
    {0x30, true, 16, 0, -1}, {0x31, true, 32, 7, -1}, {0x32, true, 64, 0, -1}, {0x33, true, 32, 7, -1},
    {0x34, true, 64, 0, -1}, {0x35, true, 128, 0, 3}, {0x36, true, 4, 14, 0},  {0x37, false, 0, 0, 0},
    {0x38, false, 0, 0, 0},  {0x39, false, 0, 0, 0},  {0x3A, false, 0, 0, 0},  {0x3B, false, 0, 0, 0},
    {0x3C, false, 0, 0, 0},  {0x3D, false, 0, 0, 0},  {0x3E, false, 0, 0, 0},  {0x3F, false, 0, 0, 0},
    {0x40, true, 8, 0, -1},  {0x41, true, 16, 0, -1}, {0x42, true, 16, 0, -1}, {0x43, true, 8, 0, -1},
    {0x44, true, 16, 0, -1}, {0x45, true, 16, 0, 0},  {0x46, true, 16, 0, 0},  {0x47, false, 0, 0, 0},
    {0x48, false, 0, 0, 0},  {0x49, false, 0, 0, 0},  {0x4A, false, 0, 0, 0},  {0x4B, false, 0, 0, 0},
    {0x4C, false, 0, 0, 0},  {0x4D, false, 0, 0, 0},  {0x4E, false, 0, 0, 0},  {0x4F, false, 0, 0, 0},
    {0x50, true, 128, 0, 0}, {0x51, true, 128, 0, 0}, {0x52, true, 128, 0, 0}, {0x53, true, 96, 0, 0},
    {0x54, true, 96, 0, 0},  {0x55, true, 96, 0, 0},  {0x56, true, 64, 0, 0},  {0x57, true, 64, 0, 0},
    {0x58, true, 64, 0, 0},  {0x59, true, 64, 0, 0},  {0x5A, true, 64, 0, 0},  {0x5B, true, 64, 0, -1},
    {0x5C, true, 64, 0, -1}, {0x5D, true, 64, 0, -1}, {0x5E, true, 32, 7, 0},  {0x5F, true, 32, 7, 0},
    {0x60, true, 32, 7, 0},  {0x61, true, 32, 7, 0},  {0x62, true, 32, 7, 0},  {0x63, true, 32, 7, 0},
    {0x64, true, 32, 7, 0},  {0x65, true, 32, 7, 0},  {0x66, true, 32, 7, -1}, {0x67, true, 32, 7, -1},
    {0x68, true, 32, 7, -1}, {0x69, true, 32, 7, -1}, {0x6A, true, 32, 7, -1}, {0x6B, true, 32, 7, -1},
    {0x6C, true, 32, 7, -1}, {0x6D, true, 32, 7, -1}, {0x6E, true, 16, 0, -1}, {0x6F, true, 16, 0, -1},
    {0x70, true, 16, 0, -1}, {0x71, true, 16, 0, -1}, {0x72, true, 16, 0, -1}, {0x73, true, 16, 0, -1},
    {0x74, true, 16, 0, -1}, {0x75, true, 16, 0, -1}, {0x76, true, 16, 0, -1}, {0x77, true, 8, 0, -1},
    {0x78, true, 8, 0, -1},  {0x79, true, 8, 0, -1},  {0x7A, true, 8, 0, -1},  {0x7B, true, 8, 0, -1},
    {0x7C, true, 1, 0, 0},   {0x7D, true, 32, 0, 0},  {0x7E, true, 16, 0, 0},  {0x7F, true, 16, 0, 0},
    {0x80, true, 4, 8, 2},   {0x81, true, 4, 8, 2},   {0x82, true, 8, 9, 2},   {0x83, true, 8, 9, 2},
    {0x84, true, 8, 10, 2},  {0x85, true, 8, 10, 2},  {0x86, true, 4, 0, 2},   {0x87, true, 4, 0, 2},
    {0x88, true, 8, 0, 2},   {0x89, true, 8, 0, 2},   {0x8A, false, 0, 0, 0},  {0x8B, false, 0, 0, 0},
    {0x8C, false, 0, 0, 0},  {0x8D, false, 0, 0, 0},  {0x8E, false, 0, 0, 0},  {0x8F, false, 0, 0, 0},
    {0x90, true, 32, 7, 0},  {0x91, true, 32, 7, 0},  {0x92, true, 32, 7, 0},  {0x93, true, 16, 2, 0},
    {0x94, true, 16, 4, 0},  {0x95, true, 16, 5, 0},  {0x96, true, 8, 0, -1},  {0x97, true, 32, 7, 0},
    {0x98, true, 32, 7, 0},  {0x99, true, 32, 7, 0},  {0x9A, true, 8, 0, -1},  {0x9B, true, 8, 0, -1},
    {0x9C, true, 1, 0, 0},   {0x9D, true, 32, 7, 1},  {0x9E, true, 32, 7, 1},  {0x9F, true, 32, 7, 1},
    {0xA0, true, 16, 4, 1},  {0xA1, true, 16, 5, 1},  {0xA2, true, 32, 7, 1},  {0xA3, true, 32, 7, 1},
    {0xA4, true, 32, 7, 1},  {0xA5, true, 32, 7, 2},  {0xA6, true, 32, 7, 2},  {0xA7, true, 32, 7, 2},
    {0xA8, true, 16, 2, 2},  {0xA9, true, 16, 4, 2},  {0xAA, true, 16, 5, 2},  {0xAB, true, 32, 7, 2},
    {0xAC, true, 32, 7, 2},  {0xAD, true, 32, 7, 2},  {0xAE, true, 32, 7, 3},  {0xAF, true, 32, 7, 3},
    {0xB0, true, 32, 7, 3},  {0xB1, true, 16, 4, 3},  {0xB2, true, 16, 5, 3},  {0xB3, true, 32, 7, 3},
    {0xB4, true, 32, 7, 3},  {0xB5, true, 32, 7, 3},  {0xB6, false, 0, 0, 0},  {0xB7, false, 0, 0, 0},
    {0xB8, false, 0, 0, 0},  {0xB9, false, 0, 0, 0},  {0xBA, false, 0, 0, 0},  {0xBB, false, 0, 0, 0},
    {0xBC, false, 0, 0, 0},  {0xBD, false, 0, 0, 0},  {0xBE, false, 0, 0, 0},  {0xBF, false, 0, 0, 0},
    {0xC0, false, 0, 0, 0},  {0xC1, false, 0, 0, 0},  {0xC2, false, 0, 0, 0},  {0xC3, false, 0, 0, 0},
    {0xC4, false, 0, 0, 0},  {0xC5, false, 0, 0, 0},  {0xC6, false, 0, 0, 0},  {0xC7, false, 0, 0, 0},
    {0xC8, false, 0, 0, 0},  {0xC9, false, 0, 0, 0},  {0xCA, false, 0, 0, 0},  {0xCB, false, 0, 0, 0},
    {0xCC, false, 0, 0, 0},  {0xCD, false, 0, 0, 0},  {0xCE, false, 0, 0, 0},  {0xCF, false, 0, 0, 0},
    {0xD0, false, 0, 0, 0},  {0xD1, false, 0, 0, 0},  {0xD2, false, 0, 0, 0},  {0xD3, false, 0, 0, 0},
    {0xD4, false, 0, 0, 0},  {0xD5, false, 0, 0, 0},  {0xD6, false, 0, 0, 0},  {0xD7, false, 0, 0, 0},
    {0xD8, false, 0, 0, 0},  {0xD9, false, 0, 0, 0},  {0xDA, false, 0, 0, 0},  {0xDB, false, 0, 0, 0},
    {0xDC, false, 0, 0, 0},  {0xDD, false, 0, 0, 0},  {0xDE, false, 0, 0, 0},  {0xDF, false, 0, 0, 0},
    {0xE0, false, 0, 0, 0},  {0xE1, false, 0, 0, 0},  {0xE2, false, 0, 0, 0},  {0xE3, false, 0, 0, 0},
    {0xE4, false, 0, 0, 0},  {0xE5, false, 0, 0, 0},  {0xE6, false, 0, 0, 0},  {0xE7, false, 0, 0, 0},
    {0xE8, false, 0, 0, 0},  {0xE9, false, 0, 0, 0},  {0xEA, false, 0, 0, 0},  {0xEB, false, 0, 0, 0},
    {0xEC, false, 0, 0, 0},  {0xED, false, 0, 0, 0},  {0xEE, false, 0, 0, 0},  {0xEF, false, 0, 0, 0},
    {0xF0, false, 0, 0, 0},  {0xF1, false, 0, 0, 0},  {0xF2, false, 0, 0, 0},  {0xF3, false, 0, 0, 0},
    {0xF4, false, 0, 0, 0},  {0xF5, false, 0, 0, 0},  {0xF6, false, 0, 0, 0},  {0xF7, false, 0, 0, 0},
    {0xF8, false, 0, 0, 0},  {0xF9, false, 0, 0, 0},  {0xFA, false, 0, 0, 0},  {0xFB, false, 0, 0, 0},
    {0xFC, false, 0, 0, 0},  {0xFD, false, 0, 0, 0},  {0xFE, false, 0, 0, 0},  {0xFF, false, 0, 0, 0},
};

TEST(PvrFormat, EveryLegacyPixelType) {
  int mapped = 0;
  for (const LegacyExpectation& e : kLegacy) {
    PvrPixelFormat format = 0;
    ASSERT_EQ(MapLegacyPixelType(e.pixelType, &format), e.mapped) << int(e.pixelType);
    if (!e.mapped) continue;
    ++mapped;
    EXPECT_EQ(PvrBitsPerPixel(format), e.bitsPerPixel) << std::hex << int(e.pixelType);
  }
  EXPECT_EQ(mapped, 154);
}

TEST(PvrFormat, HowFormatsAreDrawn) {
  using enum PixelFormat;
  const struct {
    const char* name;
    PvrPixelFormat format;
    uint32_t channelType;
    PixelFormat drawn;  // kNone: refused
    ChannelOrder order;
  } cases[] = {
      {"bgr 888", MakePvrPixelFormat("bgr", 8, 8, 8, 0), kPvrUnsignedByteNorm, R8G8B8, ChannelOrder::BGRA},
      {"rgb 888", MakePvrPixelFormat("rgb", 8, 8, 8, 0), kPvrUnsignedByteNorm, R8G8B8, ChannelOrder::RGBA},
      {"argb 8888", MakePvrPixelFormat("argb", 8, 8, 8, 8), kPvrUnsignedByteNorm, A8R8G8B8, ChannelOrder::ARGB},
      {"xbgr 8888", MakePvrPixelFormat("xbgr", 8, 8, 8, 8), kPvrUnsignedByteNorm, X8R8G8B8, ChannelOrder::ABGR},
      {"rgba 4444", MakePvrPixelFormat("rgba", 4, 4, 4, 4), kPvrUnsignedByteNorm, kDescribed, ChannelOrder::BGRA},
      {"rgba 4443: 15 bits", MakePvrPixelFormat("rgba", 4, 4, 4, 3), kPvrUnsignedByteNorm, kNone, ChannelOrder::BGRA},
      {"xlgr: luminance with colour", MakePvrPixelFormat("xlgr", 8, 8, 8, 8), kPvrUnsignedByteNorm, kNone,
       ChannelOrder::BGRA},
      {"rgba 8888 unnormalised", MakePvrPixelFormat("rgba", 8, 8, 8, 8), kPvrUnsignedByte, kNone, ChannelOrder::BGRA},
      {"DXT2", 8, kPvrUnsignedByteNorm, DXT3, ChannelOrder::BGRA},
      {"DXT4", 10, kPvrUnsignedByteNorm, DXT5, ChannelOrder::BGRA},
      {"predefined 41", 41, kPvrUnsignedByteNorm, kNone, ChannelOrder::BGRA},
  };
  for (const auto& c : cases) {
    PvrDrawing drawing;
    DecodeFailure failure;
    const bool drawn = TranslatePvrFormat(c.format, c.channelType, &drawing, &failure);
    EXPECT_EQ(drawn, c.drawn != kNone) << c.name << ": " << DescribeFailure(failure);
    if (!drawn) {
      EXPECT_EQ(failure.kind, FailureKind::Unsupported) << c.name;
      continue;
    }
    EXPECT_EQ(drawing.format, c.drawn) << c.name;
    EXPECT_EQ(drawing.order, c.order) << c.name;
  }
  EXPECT_EQ(PvrBitsPerPixel(3), 4u);
  EXPECT_EQ(PvrBitsPerPixel(41), 0u);
}

// Builders for version-3 and legacy files.
void Put32(std::vector<uint8_t>& file, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
std::vector<uint8_t> MakeV3(PvrPixelFormat format, uint32_t width, uint32_t height,
                            const std::vector<uint8_t>& metadata, const std::vector<uint8_t>& payload,
                            uint32_t levels = 1) {
  std::vector<uint8_t> file(52 + metadata.size() + payload.size(), 0);
  Put32(file, 0, kPvrV3Version);
  Put32(file, 8, static_cast<uint32_t>(format));
  Put32(file, 12, static_cast<uint32_t>(format >> 32));
  Put32(file, 24, height);
  Put32(file, 28, width);
  Put32(file, 44, levels);
  Put32(file, 48, static_cast<uint32_t>(metadata.size()));
  std::copy(metadata.begin(), metadata.end(), file.begin() + 52);
  std::copy(payload.begin(), payload.end(), file.begin() + 52 + static_cast<ptrdiff_t>(metadata.size()));
  return file;
}
std::vector<uint8_t> MakeLegacy(uint32_t headerSize, uint32_t flags, uint32_t width, uint32_t height,
                                const std::vector<uint8_t>& payload, uint32_t mipMaps = 0) {
  std::vector<uint8_t> file(headerSize + payload.size(), 0);
  Put32(file, 0, headerSize);
  Put32(file, 4, height);
  Put32(file, 8, width);
  Put32(file, 12, mipMaps);
  Put32(file, 16, flags);
  std::copy(payload.begin(), payload.end(), file.begin() + headerSize);
  return file;
}
std::vector<uint8_t> Orientation(uint8_t x, uint8_t y) {
  std::vector<uint8_t> block(15, 0);
  Put32(block, 0, 0x03525650);
  Put32(block, 4, 3);
  Put32(block, 8, 3);
  block[12] = x;
  block[13] = y;
  return block;
}

using Decoded = test::Drawn;
Decoded Decode(const std::vector<uint8_t>& file) { return test::DrawBytes(FileType::kPvr, file); }

const PvrPixelFormat kRgba8888 = MakePvrPixelFormat("rgba", 8, 8, 8, 8);

// 2 x 2 "rgba" pixels: (x, y) has R = 10x + y + 1, G = 2, B = 3, A = 4.
std::vector<uint8_t> Pixels2x2() {
  std::vector<uint8_t> bytes;
  for (uint8_t y = 0; y < 2; ++y) {
    for (uint8_t x = 0; x < 2; ++x) bytes.insert(bytes.end(), {uint8_t(10 * x + y + 1), 2, 3, 4});
  }
  return bytes;
}
uint32_t Expected(int x, int y) { return 0x04000003u | (uint32_t(10 * x + y + 1) << 16) | 0x0200u; }

TEST(Pvr, HeadersMetadataAndOrientation) {
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    bool flippedRows, mirrored;
  } cases[] = {
      {"v3, no metadata", MakeV3(kRgba8888, 2, 2, {}, Pixels2x2()), false, false},
      {"v3, 16 bytes of other metadata", MakeV3(kRgba8888, 2, 2, std::vector<uint8_t>(16, 0), Pixels2x2()), false,
       false},
      {"v3, rows bottom-up", MakeV3(kRgba8888, 2, 2, Orientation(0, 2), Pixels2x2()), true, false},
      {"v3, columns right to left", MakeV3(kRgba8888, 2, 2, Orientation(1, 0), Pixels2x2()), false, true},
      {"v3, level count 0 still draws level 0", MakeV3(kRgba8888, 2, 2, {}, Pixels2x2(), 0), false, false},
      {"legacy 52", MakeLegacy(52, 0x12, 2, 2, Pixels2x2()), false, false},
      {"legacy 44", MakeLegacy(44, 0x12, 2, 2, Pixels2x2(), 3), false, false},
      {"legacy flipped", MakeLegacy(52, 0x12 | 0x10000, 2, 2, Pixels2x2()), true, false},
      {"legacy cube map draws its first face", MakeLegacy(52, 0x12 | 0x1000, 2, 2, Pixels2x2()), false, false},
  };
  for (const auto& c : cases) {
    const Decoded decoded = Decode(c.file);
    ASSERT_TRUE(decoded.ok) << c.name << ": " << DescribeFailure(decoded.failure);
    ASSERT_EQ(decoded.image.width, 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 2; ++x) {
        const int sx = c.mirrored ? 1 - x : x, sy = c.flippedRows ? 1 - y : y;
        EXPECT_EQ(decoded.image.at(x, y), Expected(sx, sy)) << c.name << " " << x << "," << y;
      }
    }
  }
  // A metadata block that runs past the metadata ends the scan; the file still draws.
  std::vector<uint8_t> broken = Orientation(0, 2);
  Put32(broken, 8, 1000);
  EXPECT_TRUE(Decode(MakeV3(kRgba8888, 2, 2, broken, Pixels2x2())).ok);
}

TEST(Pvr, Packed16LayoutsFollowTheirChannelNames) {
  const struct {
    const char* name;
    PvrPixelFormat format;
    uint16_t word;
    uint32_t expected;
  } cases[] = {
      {"rgba 4444", MakePvrPixelFormat("rgba", 4, 4, 4, 4), 0xF00A, 0xAAFF0000},
      {"rgba 5551", MakePvrPixelFormat("rgba", 5, 5, 5, 1), 0xF801, 0xFFFF0000},
      {"rgba 5551 clear", MakePvrPixelFormat("rgba", 5, 5, 5, 1), 0x003E, 0x000000FF},
      {"bgr 565", MakePvrPixelFormat("bgr", 5, 6, 5, 0), 0xF800, 0xFF0000FF},
      {"rgb 565", MakePvrPixelFormat("rgb", 5, 6, 5, 0), 0xF800, 0xFFFF0000},
      {"argb 4444", MakePvrPixelFormat("argb", 4, 4, 4, 4), 0x8F00, 0x88FF0000},
      {"argb 1555", MakePvrPixelFormat("argb", 1, 5, 5, 5), 0x801F, 0xFF0000FF},
      {"xrgb 1555 is opaque", MakePvrPixelFormat("xrgb", 1, 5, 5, 5), 0x001F, 0xFF0000FF},
      {"rgbx 5551 is opaque", MakePvrPixelFormat("rgbx", 5, 5, 5, 1), 0x0000, 0xFF000000},
  };
  for (const auto& c : cases) {
    const Decoded decoded = Decode(MakeV3(c.format, 1, 1, {}, {uint8_t(c.word), uint8_t(c.word >> 8)}));
    ASSERT_TRUE(decoded.ok) << c.name << ": " << DescribeFailure(decoded.failure);
    EXPECT_EQ(decoded.image.at(0, 0), c.expected) << c.name;
  }
  // 8-bit padding channels are opaque too.
  const Decoded padded = Decode(MakeV3(MakePvrPixelFormat("xrgb", 8, 8, 8, 8), 1, 1, {}, {0x00, 0x11, 0x22, 0x33}));
  ASSERT_TRUE(padded.ok);
  EXPECT_EQ(padded.image.at(0, 0), 0xFF112233u);
}

// One pixel of each channel type and channel name combination: U(n), S(n), F, gray, two-channel, alpha-only,
// intensity, a zero-width channel, and the premultiplied flag.
TEST(Pvr, ChannelTypesAndNames) {
  const struct {
    const char* name;
    PvrPixelFormat format;
    uint32_t channelType, flags;
    std::vector<uint8_t> pixel;
    uint32_t expected;  // BGRA; 0 with `refused`
    bool refused;
  } cases[] = {
      {"rgba 8888 unsigned", kRgba8888, kPvrUnsignedByteNorm, 0, {0x10, 0x20, 0x30, 0x40}, 0x40102030u, false},
      {"rgba 8888 signed", kRgba8888, kPvrSignedByteNorm, 0, {0x7F, 0x00, 0x81, 0x80}, 0x00FF8000u, false},
      {"r 16 unsigned: gray",
       MakePvrPixelFormat("r", 16, 0, 0, 0),
       kPvrUnsignedShortNorm,
       0,
       {0x00, 0x80},
       0xFF808080u,
       false},
      {"rg 16 16 signed: blue 0",
       MakePvrPixelFormat("rg", 16, 16, 0, 0),
       kPvrSignedShortNorm,
       0,
       {0xFF, 0x7F, 0x01, 0x80},
       0xFFFF0000u,
       false},
      {"l 32 unsigned",
       MakePvrPixelFormat("l", 32, 0, 0, 0),
       kPvrUnsignedIntNorm,
       0,
       {0xFF, 0xFF, 0xFF, 0xFF},
       0xFFFFFFFFu,
       false},
      {"r 32 signed: 0 is the middle",
       MakePvrPixelFormat("r", 32, 0, 0, 0),
       kPvrSignedIntNorm,
       0,
       {0, 0, 0, 0},
       0xFF808080u,
       false},
      {"rgba 32 float",
       MakePvrPixelFormat("rgba", 32, 32, 32, 32),
       kPvrSignedFloat,
       0,
       {0, 0, 0x80, 0x3F, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 0, 0x80, 0x3E},
       0x40FFBC00u,
       false},
      // 1, 2, -1: green passes 1, so the picture is tone mapped under Lw = Y = 1.643 (T / Y = 0.8075).
      {"rgb 16 float, tone mapped",
       MakePvrPixelFormat("rgb", 16, 16, 16, 0),
       kPvrSignedFloat,
       0,
       {0x00, 0x3C, 0x00, 0x40, 0x00, 0xBC},
       0xFFCDFF00u,
       false},
      {"la 8 8", MakePvrPixelFormat("la", 8, 8, 0, 0), kPvrUnsignedByteNorm, 0, {0x80, 0x40}, 0x40808080u, false},
      {"a 8: alpha only", MakePvrPixelFormat("a", 8, 0, 0, 0), kPvrUnsignedByteNorm, 0, {0x40}, 0x40000000u, false},
      {"i 8: intensity is alpha too",
       MakePvrPixelFormat("i", 8, 0, 0, 0),
       kPvrUnsignedByteNorm,
       0,
       {0x80},
       0x80808080u,
       false},
      {"rgba 8.8.8.0 is 24-bit RGB",
       MakePvrPixelFormat("rgba", 8, 8, 8, 0),
       kPvrUnsignedByteNorm,
       0,
       {1, 2, 3},
       0xFF010203u,
       false},
      {"premultiplied flag", kRgba8888, kPvrUnsignedByteNorm, 2, {0x40, 0x20, 0x00, 0x80}, 0x80804000u, false},
      // Float colour premultiplied: divided by alpha in linear light, then the curve (0.25 / 0.5 = 0.5 -> 188).
      {"premultiplied half floats",
       MakePvrPixelFormat("rgba", 16, 16, 16, 16),
       kPvrSignedFloat,
       2,
       {0x00, 0x34, 0x00, 0x00, 0x00, 0x38, 0x00, 0x38},
       0x80BC00FFu,
       false},
      {"unsigned bytes, not normalised", kRgba8888, kPvrUnsignedByte, 0, {1, 2, 3, 4}, 0, true},
      {"signed shorts, not normalised",
       MakePvrPixelFormat("rg", 16, 16, 0, 0),
       kPvrSignedShort,
       0,
       {1, 2, 3, 4},
       0,
       true},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> file = MakeV3(c.format, 1, 1, {}, c.pixel);
    Put32(file, 4, c.flags);
    Put32(file, 20, c.channelType);
    const Decoded decoded = Decode(file);
    ASSERT_EQ(decoded.ok, !c.refused) << c.name << ": " << DescribeFailure(decoded.failure);
    if (c.refused) {
      EXPECT_EQ(decoded.failure.kind, FailureKind::Unsupported) << c.name;
    } else {
      EXPECT_EQ(decoded.image.at(0, 0), c.expected) << c.name << std::hex << ": 0x" << decoded.image.at(0, 0);
    }
  }
}

// PVRTC: powers of two only; the RGB variants draw opaque whatever the words' alpha says.
TEST(Pvr, PvrtcSizesAndOpacity) {
  const std::vector<uint8_t> translucentWords(8 * 4, 0x00);  // colours A and B translucent, alpha 0
  const Decoded rgba = Decode(MakeV3(3, 8, 8, {}, translucentWords));
  ASSERT_TRUE(rgba.ok) << DescribeFailure(rgba.failure);
  EXPECT_EQ(rgba.image.at(3, 3) >> 24, 0u);
  const Decoded rgb = Decode(MakeV3(2, 8, 8, {}, translucentWords));
  ASSERT_TRUE(rgb.ok);
  EXPECT_EQ(rgb.image.at(3, 3) >> 24, 0xFFu);
  const Decoded odd = Decode(MakeV3(3, 12, 8, {}, std::vector<uint8_t>(8 * 6, 0)));
  EXPECT_EQ(odd.failure.kind, FailureKind::Unsupported) << DescribeFailure(odd.failure);
}

TEST(Pvr, Refusals) {
  const auto payload = std::vector<uint8_t>(4096, 0x5A);
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    FailureKind kind;
  } cases[] = {
      {"PVRTC-II", MakeV3(4, 8, 8, {}, payload), FailureKind::Unsupported},
      {"YUY2", MakeV3(17, 8, 8, {}, payload), FailureKind::Unsupported},
      {"3D ASTC", MakeV3(41, 8, 8, {}, payload), FailureKind::Unsupported},
      {"xlgr 8888", MakeV3(MakePvrPixelFormat("xlgr", 8, 8, 8, 8), 8, 8, {}, payload), FailureKind::Unsupported},
      {"legacy unmapped 0x0E", MakeLegacy(52, 0x0E, 8, 8, payload), FailureKind::Unsupported},
      {"legacy 0x2C: signed bump-map channels", MakeLegacy(52, 0x2C, 8, 8, payload), FailureKind::Unsupported},
      {"legacy 0x5F: unnormalised integers", MakeLegacy(52, 0x5F, 8, 8, payload), FailureKind::Unsupported},
      {"width 0", MakeV3(kRgba8888, 0, 8, {}, payload), FailureKind::InvalidHeader},
      {"negative height", MakeV3(kRgba8888, 8, 0x80000000u, {}, payload), FailureKind::InvalidHeader},
      {"65535 x 65535", MakeV3(kRgba8888, 65535, 65535, {}, payload), FailureKind::TooLarge},
      {"level 0 past the end", MakeV3(kRgba8888, 64, 64, {}, payload), FailureKind::Truncated},
      {"metadata of 4 GiB", MakeV3(kRgba8888, 2, 2, {}, payload), FailureKind::Truncated},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> file = c.file;
    if (std::string(c.name) == "metadata of 4 GiB") Put32(file, 48, 0xFFFFFFF0u);
    const Decoded decoded = Decode(file);
    EXPECT_FALSE(decoded.ok) << c.name;
    EXPECT_EQ(decoded.failure.kind, c.kind) << c.name << ": " << DescribeFailure(decoded.failure);
  }
  // A byte-swapped version word, and a 48-byte legacy file, are not PVR files.
  std::vector<uint8_t> swapped = MakeV3(kRgba8888, 2, 2, {}, Pixels2x2());
  std::reverse(swapped.begin(), swapped.begin() + 4);
  EXPECT_EQ(Decode(swapped).failure.kind, FailureKind::NotThisFormat);
  std::vector<uint8_t> shortLegacy = MakeLegacy(44, 0x12, 1, 1, {1, 2, 3, 4});
  EXPECT_EQ(Decode(shortLegacy).failure.kind, FailureKind::Truncated);
}

TEST(Pvr, EveryTruncationOfAVersion3FileIsRefused) {
  const auto file = MakeV3(7 /* DXT1 */, 5, 3, Orientation(0, 0), test::RandomBytes(16, 2));
  ASSERT_TRUE(Decode(file).ok);
  for (size_t size = 0; size < file.size(); ++size) {
    const Decoded decoded = Decode(std::vector<uint8_t>(file.begin(), file.begin() + size));
    ASSERT_FALSE(decoded.ok) << size;
    ASSERT_EQ(decoded.failure.kind, size < 4 ? FailureKind::NotThisFormat : FailureKind::Truncated) << size;
  }
}

}  // namespace
}  // namespace mirelth
