// DDS container: which headers are accepted and how they are drawn, and every refusal with its reason.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "formats/dds/dds.h"
#include "pixels/bitmap.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using test::DdsSpec;
using test::FourCC;
using test::Image;
using test::MakeDds;

// Decodes from an exact-size heap copy, so that a read past the end trips the address sanitizer.
struct Decoded {
  bool ok = false;
  DecodeFailure failure;
  Image image;
  BITMAPINFO info{};
};
Decoded Decode(const std::vector<uint8_t>& file) {
  Decoded result;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[file.size() ? file.size() : 1]);
  if (!file.empty()) std::memcpy(copy.get(), file.data(), file.size());
  HBITMAP bitmap = nullptr;
  result.ok = DecodeDds(copy.get(), static_cast<uint32_t>(file.size()), &bitmap, &result.info, &result.failure);
  if (result.ok) {
    result.image = test::ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  } else {
    EXPECT_EQ(bitmap, nullptr);
  }
  return result;
}

std::vector<uint8_t> Pattern(size_t bytes) { return test::RandomBytes(bytes, 7); }

struct LayoutCase {
  const char* name;
  uint32_t bitCount;
  uint32_t masks[4];
  int32_t format;  // kNoPixelFormat: refused as unsupported
  int32_t order;
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
      {"10:10:10:2", 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, kNoPixelFormat, 0},
      {"G16R16", 32, {0xFFFF, 0xFFFF0000, 0, 0}, kNoPixelFormat, 0},
      {"24-bit odd masks", 24, {0xFF00, 0xFF, 0xFF0000, 0}, kNoPixelFormat, 0},
      {"16-bit luminance", 16, {0xFFFF, 0, 0, 0}, kNoPixelFormat, 0},
      {"8-bit", 8, {0xFF, 0, 0, 0}, kNoPixelFormat, 0},
  };
  for (const LayoutCase& c : cases) {
    DdsSpec spec;
    spec.bitCount = c.bitCount;
    std::memcpy(spec.masks, c.masks, sizeof spec.masks);
    const auto file = MakeDds(spec, Pattern(4 * 4 * c.bitCount / 8));
    DdsTextureInfo info;
    DecodeFailure failure;
    const int32_t result = ParseDdsHeader(&info, file.data(), static_cast<uint32_t>(file.size()), &failure);
    if (c.format == kNoPixelFormat) {
      EXPECT_EQ(result, -1) << c.name;
      EXPECT_EQ(failure.kind, FailureKind::Unsupported) << c.name;
      EXPECT_NE(DescribeFailure(failure).find("masks"), std::string::npos) << DescribeFailure(failure);
    } else {
      EXPECT_EQ(result, 0) << c.name << ": " << DescribeFailure(failure);
      EXPECT_EQ(info.format, c.format) << c.name;
      EXPECT_EQ(info.order, c.order) << c.name;
      EXPECT_FALSE(info.isCompressed);
    }
  }
}

TEST(Dds, FourCCTableAndPathChoice) {
  const struct {
    const char* fourCC;
    int32_t format;
  } cases[] = {{"DXT1", DXT1}, {"DXT3", DXT3}, {"DXT5", DXT5}, {"ATC ", ATC},
               {"ATCA", ATCA}, {"ATCI", ATCI}, {"ETC ", ETC1}, {"DX10", kNoPixelFormat},
               {"DXT2", kNoPixelFormat}, {"BC7 ", kNoPixelFormat}};
  for (const auto& c : cases) {
    DdsSpec spec;
    spec.pixelFlags = 0x4;
    spec.bitCount = 0;
    spec.fourCC = FourCC(c.fourCC);
    const auto file = MakeDds(spec, Pattern(16));
    DdsTextureInfo info;
    DecodeFailure failure;
    const int32_t result = ParseDdsHeader(&info, file.data(), static_cast<uint32_t>(file.size()), &failure);
    if (c.format == kNoPixelFormat) {
      EXPECT_EQ(result, -1) << c.fourCC;
      EXPECT_EQ(failure.kind, FailureKind::Unsupported);
      EXPECT_NE(DescribeFailure(failure).find(std::string("\"") + c.fourCC + "\""), std::string::npos)
          << DescribeFailure(failure);
    } else {
      EXPECT_EQ(result, 0) << c.fourCC << ": " << DescribeFailure(failure);
      EXPECT_EQ(info.format, c.format);
      EXPECT_EQ(info.order, BGRA);
      EXPECT_TRUE(info.isCompressed);
    }
  }
  // The masks win over a FourCC when the RGB bit count is set.
  DdsSpec both;
  both.pixelFlags = 0x4;
  both.fourCC = FourCC("DXT1");
  both.bitCount = 32;
  const auto file = MakeDds(both, Pattern(64));
  DdsTextureInfo info;
  ASSERT_EQ(ParseDdsHeader(&info, file.data(), static_cast<uint32_t>(file.size()), nullptr), 0);
  EXPECT_EQ(info.format, A8R8G8B8);
  // Neither path: refused.
  DdsSpec neither;
  neither.pixelFlags = 0;
  neither.bitCount = 0;
  const auto none = MakeDds(neither, Pattern(64));
  DecodeFailure failure;
  EXPECT_EQ(ParseDdsHeader(&info, none.data(), static_cast<uint32_t>(none.size()), &failure), -1);
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
      {"2^28 + 1 pixels", [](DdsSpec& s) { s.width = 16385; s.height = 16384; }, FailureKind::TooLarge},
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
  ASSERT_EQ(ParseDdsHeader(&info, file.data(), static_cast<uint32_t>(file.size()), nullptr), 0);
  EXPECT_EQ(info.levelCount, 9);
  EXPECT_TRUE(info.isCubeMap);
  EXPECT_TRUE(info.hasMipmaps);
  const Decoded decoded = Decode(file);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(0, std::memcmp(decoded.image.pixels.data(), payload.data(), 16));
  // Without the texture caps bit the mip-map count is not taken.
  spec.caps = 0x400000;
  const auto plain = MakeDds(spec, payload);
  DdsTextureInfo other;
  ASSERT_EQ(ParseDdsHeader(&other, plain.data(), static_cast<uint32_t>(plain.size()), nullptr), 0);
  EXPECT_EQ(other.levelCount, 1);
  EXPECT_FALSE(other.isCubeMap);
}

}  // namespace
}  // namespace mirelth
