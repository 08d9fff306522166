// DDS with the DX10 header: one small file per drawn DXGI format from known values (U, S and F results worked by
// hand), the refusals with the format's number in the reason, alpha modes, 1D textures, and the legacy numeric
// FourCCs of float layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

struct Dx10 {
  uint32_t format = 28, dimension = 3, miscFlag = 0, arraySize = 1, alphaMode = 0;
  int32_t width = 1, height = 1;
};

Bytes MakeDx10(const Dx10& d, const Bytes& pixels) {
  test::DdsSpec spec;
  spec.width = d.width, spec.height = d.height;
  spec.pixelFlags = 0x4;
  spec.fourCC = test::FourCC("DX10");
  spec.bitCount = 0;
  std::memset(spec.masks, 0, sizeof spec.masks);
  Bytes header;
  for (uint32_t v : {d.format, d.dimension, d.miscFlag, d.arraySize, d.alphaMode}) test::AppendLE32(header, v);
  header.insert(header.end(), pixels.begin(), pixels.end());
  return test::MakeDds(spec, header);
}

Bytes LE16(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) test::AppendLE16(out, w);
  return out;
}
Bytes LE32(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) test::AppendLE32(out, w);
  return out;
}
Bytes Floats(std::initializer_list<float> values) {
  Bytes out;
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    test::AppendLE32(out, bits);
  }
  return out;
}

TEST(DdsDxgi, EveryDrawnFormatFromKnownValues) {
  const struct {
    uint32_t format;
    const char* name;
    Bytes pixel;        // one pixel, or one 4 x 4 block (its first pixel is checked)
    uint32_t expected;  // BGRA
  } cases[] = {
      {27, "R8G8B8A8_TYPELESS", {10, 20, 30, 40}, 0x280A141E},
      {28, "R8G8B8A8_UNORM", {10, 20, 30, 40}, 0x280A141E},
      {29, "R8G8B8A8_UNORM_SRGB: drawn as stored", {10, 20, 30, 40}, 0x280A141E},
      {31, "R8G8B8A8_SNORM", {0x7F, 0x00, 0x81, 0x7F}, 0xFFFF8000},
      {87, "B8G8R8A8_UNORM", {10, 20, 30, 40}, 0x281E140A},
      {90, "B8G8R8A8_TYPELESS", {10, 20, 30, 40}, 0x281E140A},
      {91, "B8G8R8A8_UNORM_SRGB", {10, 20, 30, 40}, 0x281E140A},
      {88, "B8G8R8X8_UNORM: opaque", {10, 20, 30, 40}, 0xFF1E140A},
      {93, "B8G8R8X8_UNORM_SRGB", {10, 20, 30, 0}, 0xFF1E140A},
      {24, "R10G10B10A2_UNORM: U(10), alpha U(2)", LE32({1023u | (512u << 20) | (1u << 30)}), 0x55FF0080},
      {11, "R16G16B16A16_UNORM: U(16)", LE16({0xFFFF, 0x8000, 0, 0xFFFF}), 0xFFFF8000},
      {10, "R16G16B16A16_FLOAT: F", LE16({0x3C00, 0x3800, 0, 0x3800}), 0x80FFBC00},
      {2, "R32G32B32A32_FLOAT", Floats({1.0f, 0.5f, 0.0f, 1.0f}), 0xFFFFBC00},
      {6, "R32G32B32_FLOAT", Floats({0.5f, 0.5f, 2.0f}), 0xFFBCBCFF},
      {26, "R11G11B10_FLOAT", LE32({960u | (480u << 22)}), 0xFFFF00FF},
      {67, "R9G9B9E5_SHAREDEXP", LE32({256u | (128u << 18) | (16u << 27)}), 0xFFFF00BC},
      {35, "R16G16_UNORM: two-channel", LE16({0xFFFF, 0}), 0xFFFF0000},
      {34, "R16G16_FLOAT", LE16({0x3800, 0x3C00}), 0xFFBCFF00},
      {49, "R8G8_UNORM", {10, 20}, 0xFF0A1400},
      {51, "R8G8_SNORM", {0x7F, 0x81}, 0xFFFF0000},
      {61, "R8_UNORM: gray", {0x80}, 0xFF808080},
      {56, "R16_UNORM", LE16({0xFFFF}), 0xFFFFFFFF},
      {54, "R16_FLOAT", LE16({0x3800}), 0xFFBCBCBC},
      {41, "R32_FLOAT", Floats({1.0f}), 0xFFFFFFFF},
      {65, "A8_UNORM: alpha only", {0x40}, 0x40000000},
      {85, "B5G6R5_UNORM", LE16({0xF800}), 0xFFFF0000},
      {86, "B5G5R5A1_UNORM", LE16({0x801F}), 0xFF0000FF},
      {115, "B4G4R4A4_UNORM", LE16({0xF00F}), 0xFF0000FF},
      {70, "BC1_TYPELESS", {0x00, 0xF8, 0, 0, 0, 0, 0, 0}, 0xFFFF0000},
      {71, "BC1_UNORM", {0x00, 0xF8, 0, 0, 0, 0, 0, 0}, 0xFFFF0000},
      {72, "BC1_UNORM_SRGB", {0x00, 0xF8, 0, 0, 0, 0, 0, 0}, 0xFFFF0000},
      {80, "BC4_UNORM", {255, 0, 0, 0, 0, 0, 0, 0}, 0xFFFFFFFF},
      {81, "BC4_SNORM", {127, 0x81, 0, 0, 0, 0, 0, 0}, 0xFFFFFFFF},
      {83, "BC5_UNORM: a normal map, z = 0", {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0xFFFF0080},
      {16, "R32G32_FLOAT: two-channel, F", Floats({1.0f, 0.5f}), 0xFFFFBC00},
      // TYPELESS formats draw as their UNORM member (32-bit ones as FLOAT).
      {79, "BC4_TYPELESS", {255, 0, 0, 0, 0, 0, 0, 0}, 0xFFFFFFFF},
      {82, "BC5_TYPELESS", {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0xFFFF0080},
      {92, "B8G8R8X8_TYPELESS", {10, 20, 30, 40}, 0xFF1E140A},
      {23, "R10G10B10A2_TYPELESS", LE32({1023u | (512u << 20) | (1u << 30)}), 0x55FF0080},
      {9, "R16G16B16A16_TYPELESS", LE16({0xFFFF, 0x8000, 0, 0xFFFF}), 0xFFFF8000},
      {33, "R16G16_TYPELESS", LE16({0xFFFF, 0}), 0xFFFF0000},
      {48, "R8G8_TYPELESS", {10, 20}, 0xFF0A1400},
      {53, "R16_TYPELESS", LE16({0xFFFF}), 0xFFFFFFFF},
      {60, "R8_TYPELESS", {0x80}, 0xFF808080},
      {1, "R32G32B32A32_TYPELESS", Floats({1.0f, 0.5f, 0.0f, 1.0f}), 0xFFFFBC00},
      {5, "R32G32B32_TYPELESS", Floats({0.5f, 0.5f, 2.0f}), 0xFFBCBCFF},
      {15, "R32G32_TYPELESS", Floats({1.0f, 0.5f}), 0xFFFFBC00},
      {39, "R32_TYPELESS", Floats({1.0f}), 0xFFFFFFFF},
      {68, "R8G8_B8G8_UNORM: a pixel pair R, G0, B, G1", {10, 20, 30, 40}, 0xFF0A141E},
      {69, "G8R8_G8B8_UNORM: a pixel pair G0, R, G1, B", {20, 10, 40, 30}, 0xFF0A141E},
      {191, "A4B4G4R4_UNORM: A w[3:0], R w[15:12]", LE16({0xF00F}), 0xFFFF0000},
      {97, "BC7_TYPELESS (mode 6, all zero)", {0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x00000000},
  };
  for (const auto& c : cases) {
    Dx10 d;
    d.format = c.format;
    const bool block = (c.format >= 70 && c.format <= 84) || (c.format >= 94 && c.format <= 99);
    if (block) d.width = d.height = 4;
    const test::Drawn drawn = test::DrawBytes(FileType::kDds, MakeDx10(d, c.pixel));
    ASSERT_TRUE(drawn.ok) << c.name << ": " << DescribeFailure(drawn.failure);
    EXPECT_EQ(drawn.image.at(0, 0), c.expected) << c.name << std::hex << ": 0x" << drawn.image.at(0, 0);
  }
}

TEST(DdsDxgi, RefusalsNameTheFormat) {
  const struct {
    uint32_t format;
    const char* name;
  } refused[] = {
      {30, "R8G8B8A8_UINT"},     {32, "R8G8B8A8_SINT"},    {40, "D32_FLOAT"},     {45, "D24_UNORM_S8_UINT"},
      {19, "R32G8X24_TYPELESS"}, {44, "R24G8_TYPELESS"},   {94, "BC6H_TYPELESS"}, {89, "R10G10B10_XR_BIAS_A2_UNORM"},
      {134, "ASTC_4X4_UNORM"},   {1000, "no such format"}, {0, "UNKNOWN"},
  };
  for (const auto& r : refused) {
    Dx10 d;
    d.format = r.format;
    const test::Drawn drawn = test::DrawBytes(FileType::kDds, MakeDx10(d, Bytes(64, 0)));
    EXPECT_FALSE(drawn.ok) << r.name;
    EXPECT_EQ(drawn.failure.kind, FailureKind::Unsupported) << r.name << ": " << DescribeFailure(drawn.failure);
    EXPECT_NE(DescribeFailure(drawn.failure).find(std::to_string(r.format)), std::string::npos)
        << r.name << ": " << DescribeFailure(drawn.failure);
  }
  Dx10 noArray;
  noArray.arraySize = 0;
  EXPECT_FALSE(test::DrawBytes(FileType::kDds, MakeDx10(noArray, Bytes(4, 0))).ok);
}

TEST(DdsDxgi, AlphaModesOneDimensionAndLegacyNumbers) {
  const Bytes premultiplied = {64, 32, 0, 128};  // R, G, B, A
  Dx10 d;
  d.alphaMode = 2;
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(d, premultiplied)).image.at(0, 0), 0x80804000u);
  d.alphaMode = 3;
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(d, premultiplied)).image.at(0, 0), 0xFF402000u);
  d.alphaMode = 1;
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(d, premultiplied)).image.at(0, 0), 0x80402000u);
  // Premultiplied float colour is divided by alpha in linear light, then the curve: 0.2 / 0.5 = 0.4 -> 170
  // (dividing after the curve would give 255); alpha 0 -> transparent black; an integer format keeps the rule
  // on its bytes (above).
  Dx10 premulFloat;
  premulFloat.format = 2;
  premulFloat.alphaMode = 2;
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(premulFloat, Floats({0.2f, 0.5f, 0.0f, 0.5f}))).image.at(0, 0),
            0x80AAFF00u);
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(premulFloat, Floats({0.2f, 0.5f, 0.0f, 0.0f}))).image.at(0, 0),
            0x00000000u);
  premulFloat.format = 10;  // R16G16B16A16_FLOAT: 0.25 / 0.5 = 0.5 -> 188
  EXPECT_EQ(test::DrawBytes(FileType::kDds, MakeDx10(premulFloat, LE16({0x3400, 0, 0x3800, 0x3800}))).image.at(0, 0),
            0x80BC00FFu);
  // A 1D texture is one row, whatever the header's height says.
  Dx10 line;
  line.dimension = 2, line.width = 3, line.height = 7;
  const test::Drawn row = test::DrawBytes(FileType::kDds, MakeDx10(line, Bytes(12, 0x7F)));
  ASSERT_TRUE(row.ok) << DescribeFailure(row.failure);
  EXPECT_EQ(row.image.height, 1);
  // The FourCC field holding D3D format 113 (A16B16G16R16F); 110 (Q16W16V16U16) is refused.
  test::DdsSpec spec;
  spec.width = spec.height = 1;
  spec.pixelFlags = 0x4;
  spec.fourCC = 113;
  spec.bitCount = 0;
  std::memset(spec.masks, 0, sizeof spec.masks);
  EXPECT_EQ(test::DrawBytes(FileType::kDds, test::MakeDds(spec, LE16({0x3800, 0x3C00, 0, 0x3C00}))).image.at(0, 0),
            0xFFBCFF00u);
  spec.fourCC = 110;
  EXPECT_EQ(test::DrawBytes(FileType::kDds, test::MakeDds(spec, Bytes(8, 0))).failure.kind, FailureKind::Unsupported);
}

}  // namespace
}  // namespace mirelth
