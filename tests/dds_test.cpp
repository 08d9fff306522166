// DDS container: which headers are accepted and how they are drawn, and every refusal with its reason.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "formats/dds/dds.h"
#include "picture/bitmap.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using test::DdsSpec;
using test::FourCC;
using test::Image;
using test::MakeDds;

using enum PixelFormat;
using enum ChannelOrder;
using Decoded = test::Drawn;
Decoded Decode(const std::vector<uint8_t>& file) { return test::DrawBytes(FileType::kDds, file); }

bool Parse(const std::vector<uint8_t>& file, DdsTextureInfo* info, DecodeFailure* failure) {
  MemorySource source(file.data(), file.size());
  return ParseDdsHeader(source, info, OpenOptions{}, failure);
}

std::vector<uint8_t> Pattern(size_t bytes) { return test::RandomBytes(bytes, 7); }

struct LayoutCase {
  const char* name;
  uint32_t bitCount;
  uint32_t masks[4];
  PixelFormat format;  // kNone: refused as unsupported
  ChannelOrder order;
};

TEST(Dds, MaskTableAcceptsTheLayoutsItCanDraw) {
  const LayoutCase cases[] = {
      {"R5G6B5", 16, {0xF800, 0x07E0, 0x001F, 0}, R5G6B5, BGRA},
      {"X4R4G4B4", 16, {0x0F00, 0x00F0, 0x000F, 0}, X4R4G4B4, BGRA},
      {"A4R4G4B4", 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, A4R4G4B4, BGRA},
      {"A1R5G5B5", 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, A1R5G5B5, BGRA},
      {"X1R5G5B5 draws opaque", 16, {0x7C00, 0x03E0, 0x001F, 0}, X1R5G5B5, BGRA},
      {"B,G,R 24-bit", 24, {0xFF0000, 0xFF00, 0xFF, 0}, R8G8B8, BGRA},
      {"R,G,B 24-bit", 24, {0xFF, 0xFF00, 0xFF0000, 0}, R8G8B8, RGBA},
      {"A8R8G8B8", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, A8R8G8B8, BGRA},
      {"A8B8G8R8", 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, A8R8G8B8, RGBA},
      {"X8R8G8B8 draws opaque", 32, {0xFF0000, 0xFF00, 0xFF, 0}, X8R8G8B8, BGRA},
      {"X8B8G8R8 draws opaque", 32, {0xFF, 0xFF00, 0xFF0000, 0}, X8R8G8B8, RGBA},
      {"10:10:10:2 by its masks", 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, kDescribed, BGRA},
      {"G16R16 by its masks", 32, {0xFFFF, 0xFFFF0000, 0, 0}, kDescribed, BGRA},
      {"24-bit odd masks", 24, {0xFF00, 0xFF, 0xFF0000, 0}, kDescribed, BGRA},
      {"16-bit red only", 16, {0xFFFF, 0, 0, 0}, kDescribed, BGRA},
      {"8-bit", 8, {0xFF, 0, 0, 0}, kDescribed, BGRA},
      {"overlapping masks", 16, {0xFF00, 0x0FF0, 0x000F, 0}, kNone, BGRA},
      {"a mask of two runs", 16, {0xF00F, 0x00F0, 0x0F00, 0}, kNone, BGRA},
      {"a mask past the pixel", 16, {0x1F0000, 0x07E0, 0x001F, 0}, kNone, BGRA},
      {"12 bits a pixel", 12, {0xF00, 0xF0, 0xF, 0}, kNone, BGRA},
  };
  for (const LayoutCase& c : cases) {
    DdsSpec spec;
    spec.bitCount = c.bitCount;
    std::memcpy(spec.masks, c.masks, sizeof spec.masks);
    const auto file = MakeDds(spec, Pattern(4 * 4 * c.bitCount / 8));
    DdsTextureInfo info;
    DecodeFailure failure;
    const bool parsed = Parse(file, &info, &failure);
    if (c.format == kNone) {
      EXPECT_FALSE(parsed) << c.name;
      EXPECT_EQ(failure.kind, FailureKind::Unsupported) << c.name;
      EXPECT_NE(DescribeFailure(failure).find("masks"), std::string::npos) << DescribeFailure(failure);
    } else {
      EXPECT_TRUE(parsed) << c.name << ": " << DescribeFailure(failure);
      EXPECT_EQ(info.format, c.format) << c.name;
      EXPECT_EQ(info.order, c.order) << c.name;
      EXPECT_FALSE(info.isCompressed);
    }
  }
}

TEST(Dds, FourCCTableAndPathChoice) {
  const struct {
    const char* fourCC;
    PixelFormat format;
  } cases[] = {{"DXT1", DXT1}, {"DXT3", DXT3}, {"DXT5", DXT5}, {"ATC ", ATC},   {"ATCA", ATCA}, {"ATCI", ATCI},
               {"ETC ", ETC1}, {"DXT2", DXT3}, {"DXT4", DXT5}, {"BC7 ", kNone}, {"YUY2", kNone}};
  for (const auto& c : cases) {
    DdsSpec spec;
    spec.pixelFlags = 0x4;
    spec.bitCount = 0;
    spec.fourCC = FourCC(c.fourCC);
    const auto file = MakeDds(spec, Pattern(16));
    DdsTextureInfo info;
    DecodeFailure failure;
    const bool parsed = Parse(file, &info, &failure);
    if (c.format == kNone) {
      EXPECT_FALSE(parsed) << c.fourCC;
      EXPECT_EQ(failure.kind, FailureKind::Unsupported);
      EXPECT_NE(DescribeFailure(failure).find(std::string("\"") + c.fourCC + "\""), std::string::npos)
          << DescribeFailure(failure);
    } else {
      EXPECT_TRUE(parsed) << c.fourCC << ": " << DescribeFailure(failure);
      EXPECT_EQ(info.format, c.format);
      EXPECT_EQ(info.order, BGRA);
      EXPECT_TRUE(info.isCompressed);
    }
  }
  // The FourCC wins over a bit count (NVIDIA's tools keep a swizzle code there, "AGXY" in an ATI2 file); the
  // masks win when the RGB flag is set.
  DdsSpec both;
  both.pixelFlags = 0x4;
  both.fourCC = FourCC("DXT1");
  both.bitCount = FourCC("AGXY");
  DdsTextureInfo info;
  ASSERT_TRUE(Parse(MakeDds(both, Pattern(64)), &info, nullptr));
  EXPECT_EQ(info.format, DXT1);
  both.pixelFlags = 0x4 | 0x40;
  both.bitCount = 32;
  ASSERT_TRUE(Parse(MakeDds(both, Pattern(64)), &info, nullptr));
  EXPECT_EQ(info.format, A8R8G8B8);
  // Neither path: refused.
  DdsSpec neither;
  neither.pixelFlags = 0;
  neither.bitCount = 0;
  const auto none = MakeDds(neither, Pattern(64));
  DecodeFailure failure;
  EXPECT_FALSE(Parse(none, &info, &failure));
  EXPECT_EQ(failure.kind, FailureKind::Unsupported);
}

TEST(Dds, BgraFileIsItsRowsInReverseOrder) {
  DdsSpec spec;
  spec.width = 64;
  spec.height = 32;
  const auto payload = Pattern(64 * 32 * 4);
  const Decoded decoded = Decode(MakeDds(spec, payload));
  ASSERT_TRUE(decoded.ok) << DescribeFailure(decoded.failure);
  EXPECT_EQ(decoded.info.bmiHeader.biWidth, 64);
  EXPECT_EQ(decoded.info.bmiHeader.biHeight, 32);
  EXPECT_EQ(decoded.info.bmiHeader.biBitCount, 32);
  // Image rows are top-down, as in the file.
  EXPECT_EQ(0, std::memcmp(decoded.image.pixels.data(), payload.data(), payload.size()));
}

TEST(Dds, RgbaFileHasRedAndBlueExchangedAndX8IsOpaque) {
  DdsSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.masks[0] = 0xFF;
  spec.masks[2] = 0xFF0000;
  std::vector<uint8_t> payload;
  for (int i = 0; i < 6; ++i) payload.insert(payload.end(), {0x10, 0x20, 0x30, 0x00});
  Decoded decoded = Decode(MakeDds(spec, payload));
  ASSERT_TRUE(decoded.ok);
  for (uint32_t pixel : decoded.image.pixels) EXPECT_EQ(pixel, 0x00102030u);
  spec.masks[3] = 0;  // X8B8G8R8: the fourth byte is padding
  decoded = Decode(MakeDds(spec, payload));
  ASSERT_TRUE(decoded.ok);
  for (uint32_t pixel : decoded.image.pixels) EXPECT_EQ(pixel, 0xFF102030u);
}

TEST(Dds, HeaderRefusals) {
  struct Case {
    const char* name;
    void (*edit)(DdsSpec&);
    FailureKind kind;
  } cases[] = {
      {"no pixel-format flag", [](DdsSpec& s) { s.flags &= ~0x1000u; }, FailureKind::InvalidHeader},
      {"no caps flag", [](DdsSpec& s) { s.flags &= ~0x1u; }, FailureKind::InvalidHeader},
      {"no width flag", [](DdsSpec& s) { s.flags &= ~0x4u; }, FailureKind::InvalidHeader},
      {"width 0", [](DdsSpec& s) { s.width = 0; }, FailureKind::InvalidHeader},
      {"negative height", [](DdsSpec& s) { s.height = -4; }, FailureKind::InvalidHeader},
      {"65535 x 65535", [](DdsSpec& s) { s.width = s.height = 65535; }, FailureKind::TooLarge},
      {"2^28 + 1 pixels",
       [](DdsSpec& s) {
         s.width = 16385;
         s.height = 16384;
       },
       FailureKind::TooLarge},
  };
  for (const Case& c : cases) {
    DdsSpec spec;
    c.edit(spec);
    const Decoded decoded = Decode(MakeDds(spec, Pattern(64)));
    EXPECT_FALSE(decoded.ok) << c.name;
    EXPECT_EQ(decoded.failure.kind, c.kind) << c.name << ": " << DescribeFailure(decoded.failure);
  }
  std::vector<uint8_t> notDds = MakeDds(DdsSpec{}, Pattern(64));
  notDds[3] = 'X';
  EXPECT_EQ(Decode(notDds).failure.kind, FailureKind::NotThisFormat);
}

TEST(Dds, EveryTruncationIsRefusedWithByteCounts) {
  // 5 x 3 at 32 bits: the header ends at 128, level 0 at 188. Cut at every length before that.
  DdsSpec spec;
  spec.width = 5;
  spec.height = 3;
  const auto file = MakeDds(spec, Pattern(5 * 3 * 4));
  ASSERT_TRUE(Decode(file).ok);
  for (size_t size = 0; size < file.size(); ++size) {
    const Decoded decoded = Decode(std::vector<uint8_t>(file.begin(), file.begin() + size));
    ASSERT_FALSE(decoded.ok) << size;
    ASSERT_EQ(decoded.failure.kind, FailureKind::Truncated) << size;
    EXPECT_EQ(decoded.failure.have, size);
    EXPECT_EQ(decoded.failure.want, size < 128 ? 128u : 188u);
  }
  // Block formats: ceil(w/4) x ceil(h/4) blocks must fit (9 x 10 DXT5: 3 x 3 blocks of 16 bytes).
  DdsSpec blocks;
  blocks.width = 9;
  blocks.height = 10;
  blocks.pixelFlags = 0x4;
  blocks.bitCount = 0;
  blocks.fourCC = FourCC("DXT5");
  const Decoded shortBlocks = Decode(MakeDds(blocks, Pattern(9 * 16 - 1)));
  EXPECT_EQ(shortBlocks.failure.kind, FailureKind::Truncated);
  EXPECT_EQ(shortBlocks.failure.want, 128u + 9 * 16);
  EXPECT_TRUE(Decode(MakeDds(blocks, Pattern(9 * 16))).ok);
}

TEST(Dds, MipMapsAndCubeMapsDrawLevelZeroOfTheFirstSurface) {
  DdsSpec spec;
  spec.width = 2;
  spec.height = 2;
  spec.flags |= 0x20000;
  spec.caps = 0x1000 | 0x400000 | 0x8;
  spec.caps2 = 0xFE00;
  spec.mipMapCount = 9;
  auto payload = Pattern(2 * 2 * 4 * 6 + 64);
  const auto file = MakeDds(spec, payload);
  DdsTextureInfo info;
  ASSERT_TRUE(Parse(file, &info, nullptr));
  EXPECT_EQ(info.levelCount, 9u);
  EXPECT_TRUE(info.isCubeMap);
  EXPECT_TRUE(info.hasMipmaps);
  const Decoded decoded = Decode(file);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(0, std::memcmp(decoded.image.pixels.data(), payload.data(), 16));
  // Without the texture caps bit the mip-map count is not taken.
  spec.caps = 0x400000;
  const auto plain = MakeDds(spec, payload);
  DdsTextureInfo other;
  ASSERT_TRUE(Parse(plain, &other, nullptr));
  EXPECT_EQ(other.levelCount, 1u);
  EXPECT_FALSE(other.isCubeMap);
}

// GIMP's 10:10:10:2 texture drawn by its masks: every pixel against U(n) of each masked field, computed here
// from the header's masks.
TEST(Dds, AnyMaskLayoutIsDrawnByItsMasks) {
  const auto file = test::ReadFileBytes(test::TestDataPath("drawn/dds-gimp-rgb10a2-ramp-33x17.dds"));
  ASSERT_GT(file.size(), 128u);
  const Decoded decoded = Decode(file);
  ASSERT_TRUE(decoded.ok) << DescribeFailure(decoded.failure);
  uint32_t masks[4];
  std::memcpy(masks, file.data() + 92, 16);
  auto channel = [](uint32_t word, uint32_t mask) {
    const uint32_t shift = static_cast<uint32_t>(__builtin_ctz(mask)),
                   bits = static_cast<uint32_t>(__builtin_popcount(mask));
    const uint64_t v = (word & mask) >> shift, maximum = (uint64_t{1} << bits) - 1;
    return static_cast<uint32_t>((v * 255 + maximum / 2) / maximum);
  };
  for (int32_t y = 0; y < decoded.image.height; ++y) {
    for (int32_t x = 0; x < decoded.image.width; ++x) {
      uint32_t word;
      std::memcpy(&word, file.data() + 128 + 4 * (static_cast<size_t>(y) * decoded.image.width + x), 4);
      const uint32_t expected = channel(word, masks[3]) << 24 | channel(word, masks[0]) << 16 |
                                channel(word, masks[1]) << 8 | channel(word, masks[2]);
      ASSERT_EQ(decoded.image.at(x, y), expected) << x << "," << y;
    }
  }
}

// Layouts other tools write: Pillow 10.2 and later put the luminance (and alpha) mask outside the pixel, so the
// bit count decides; palette textures carry 256 R, G, B, A entries after the header, then one index a pixel.
TEST(Dds, LayoutsFoundInTheWild) {
  std::vector<uint8_t> palette;
  for (uint32_t i = 0; i < 256; ++i)
    palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), uint8_t(i ^ 0x80)});
  const auto withPalette = [&](std::vector<uint8_t> indices) {
    std::vector<uint8_t> out = palette;
    out.insert(out.end(), indices.begin(), indices.end());
    return out;
  };
  const struct {
    const char* name;
    uint32_t pixelFlags, bitCount, masks[4];
    std::vector<uint8_t> payload;  // a 2 x 1 picture
    uint32_t expected[2];
  } cases[] = {
      {"Pillow L: L8", 0x20000, 8, {0xFF000000, 0xFF000000, 0xFF000000, 0}, {0x10, 0xF0}, {0xFF101010, 0xFFF0F0F0}},
      {"Pillow LA: L8 A8",
       0x20001,
       16,
       {0xFF, 0xFF, 0xFF, 0xFF000000},
       {0x10, 0x80, 0xF0, 0x40},
       {0x80101010, 0x40F0F0F0}},
      {"luminance 16 outside: L16",
       0x20000,
       16,
       {0xFFFF0000, 0, 0, 0},
       {0x00, 0x80, 0xFF, 0xFF},
       {0xFF808080, 0xFFFFFFFF}},
      {"palette", 0x20, 8, {0, 0, 0, 0}, withPalette({1, 200}), {0x8101FE00, 0x48C83764}},
  };
  for (const auto& c : cases) {
    DdsSpec spec;
    spec.width = 2, spec.height = 1;
    spec.pixelFlags = c.pixelFlags;
    spec.bitCount = c.bitCount;
    std::memcpy(spec.masks, c.masks, sizeof spec.masks);
    const Decoded decoded = Decode(MakeDds(spec, c.payload));
    ASSERT_TRUE(decoded.ok) << c.name << ": " << DescribeFailure(decoded.failure);
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(decoded.image.at(x, 0), c.expected[x]) << c.name << std::hex << " 0x" << decoded.image.at(x, 0);
  }
  // A palette file whose indices do not fit names the bytes it needs: 128 + 1024 + 300 x 300.
  DdsSpec spec;
  spec.width = spec.height = 300;
  spec.pixelFlags = 0x20;
  spec.bitCount = 8;
  const Decoded truncated = Decode(MakeDds(spec, withPalette(std::vector<uint8_t>(1000, 0))));
  EXPECT_EQ(DescribeFailure(truncated.failure), "truncated: the file has 2152 bytes, level 0 needs 91152");
  const Decoded noPalette = Decode(MakeDds(spec, std::vector<uint8_t>(100, 0)));
  EXPECT_NE(DescribeFailure(noPalette.failure).find("the palette"), std::string::npos)
      << DescribeFailure(noPalette.failure);
}

}  // namespace
}  // namespace mirelth
