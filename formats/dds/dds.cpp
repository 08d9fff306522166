// DDS container: header validation, recognition of the pixel layout (bit masks, FourCCs, the DX10 header's DXGI
// format) and the proof that level 0 lies in the file. All header fields are little-endian; width and height are
// read as signed values. DDS stores rows top-down; the bitmap is bottom-up.
#include "formats/dds/dds.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "encodings/encoding.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using CT = ChannelType;

// Header flags (file offset 8).
constexpr uint32_t kFlagCaps = 0x1, kFlagHeight = 0x2, kFlagWidth = 0x4, kFlagPixelFormat = 0x1000;
constexpr uint32_t kFlagMipMapCount = 0x20000, kFlagDepth = 0x800000;
constexpr uint32_t kRequiredFlags = kFlagCaps | kFlagHeight | kFlagWidth | kFlagPixelFormat;
// Pixel-format flags (file offset 80).
constexpr uint32_t kPixelAlphaPixels = 0x1, kPixelAlpha = 0x2, kPixelFourCC = 0x4, kPixelRgb = 0x40;
constexpr uint32_t kPixelPaletteIndexed8 = 0x20, kPixelLuminance = 0x20000;
// A palette texture: 256 entries of R, G, B, A after the header, then one index byte a pixel.
constexpr uint32_t kPaletteBytes = 256 * 4;
// Caps (offset 108) and caps2 (offset 112).
constexpr uint32_t kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;
constexpr uint32_t kCaps2CubeMap = 0x200, kCaps2Volume = 0x200000;
constexpr uint32_t kCaps2AllFaces = 0xFC00;  // +X, -X, +Y, -Y, +Z, -Z

// File offsets of the fields read.
constexpr uint32_t kOffsetFlags = 8, kOffsetHeight = 12, kOffsetWidth = 16, kOffsetDepth = 24, kOffsetMipMapCount = 28;
constexpr uint32_t kOffsetPixelFlags = 80, kOffsetFourCC = 84, kOffsetBitCount = 88, kOffsetMasks = 92;
constexpr uint32_t kOffsetCaps = 108, kOffsetCaps2 = 112;
// The DX10 header after the 128 bytes: DXGI format, resource dimension, misc flag, array size, misc flags 2.
constexpr uint32_t kDx10HeaderBytes = 20;
constexpr uint32_t kDimension1D = 2, kDimension2D = 3, kDimension3D = 4;
constexpr uint32_t kMiscCube = 0x4;

constexpr uint32_t FourCC(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
         uint32_t(uint8_t(text[3])) << 24;
}

// The plain layouts drawn by their exact converters. An alpha mask of 0 means the layout has no alpha: it is
// drawn opaque.
struct MaskRow {
  uint32_t bitCount, red, green, blue, alpha;
  PixelFormat format;
  ChannelOrder order;
  const char* name;  // as Direct3D 9 names the layout
};
constexpr MaskRow kMaskTable[] = {
    {16, 0xF800, 0x07E0, 0x001F, 0, R5G6B5, ChannelOrder::BGRA, "R5G6B5"},
    {16, 0x0F00, 0x00F0, 0x000F, 0, X4R4G4B4, ChannelOrder::BGRA, "X4R4G4B4"},
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000, A4R4G4B4, ChannelOrder::BGRA, "A4R4G4B4"},
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000, A1R5G5B5, ChannelOrder::BGRA, "A1R5G5B5"},
    {16, 0x7C00, 0x03E0, 0x001F, 0, X1R5G5B5, ChannelOrder::BGRA, "X1R5G5B5"},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, R8G8B8, ChannelOrder::BGRA, "R8G8B8"},  // B, G, R in memory
    {24, 0xFF, 0xFF00, 0xFF0000, 0, R8G8B8, ChannelOrder::RGBA, "B8G8R8"},  // R, G, B in memory
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, A8R8G8B8, ChannelOrder::BGRA, "A8R8G8B8"},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, A8R8G8B8, ChannelOrder::RGBA, "A8B8G8R8"},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, X8R8G8B8, ChannelOrder::BGRA, "X8R8G8B8"},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, X8R8G8B8, ChannelOrder::RGBA, "X8B8G8R8"},
};

// A described layout in a table row: bytes per pixel, then type, lowest bit and width of R, G, B, A.
struct LayoutSpec {
  uint8_t bytes;
  ChannelField r, g, b, a;
  bool gray;
};
constexpr LayoutSpec Uniform(uint8_t bytes, CT type, uint8_t bits, int channels, bool gray = false) {
  LayoutSpec s{bytes, {}, {}, {}, {}, gray};
  ChannelField* fields[4] = {&s.r, &s.g, &s.b, &s.a};
  for (int c = 0; c < channels; ++c) *fields[c] = {type, static_cast<uint8_t>(c * bits), bits};
  return s;
}
constexpr LayoutSpec AlphaOnly8() { return {1, {}, {}, {}, {CT::kUnorm, 0, 8}, false}; }
constexpr LayoutSpec kNoLayout = {};

// What a FourCC or DXGI value names.
struct FormatRow {
  uint32_t key;  // the FourCC, or the DXGI value
  PixelFormat format;
  ChannelOrder order;
  AlphaRule alpha;
  LayoutSpec layout;           // PixelFormat::kDescribed
  const char* name = nullptr;  // Direct3D format numbers in the FourCC field: the D3DFORMAT name
};
constexpr ChannelOrder kBgra = ChannelOrder::BGRA, kRgba = ChannelOrder::RGBA;
constexpr AlphaRule kAsStored = AlphaRule::kStraight, kPremul = AlphaRule::kPremultiplied, kOpaque = AlphaRule::kOpaque;

constexpr FormatRow kFourCCTable[] = {
    {FourCC("DXT1"), DXT1, kBgra, kAsStored, kNoLayout},
    {FourCC("DXT2"), DXT3, kBgra, kPremul, kNoLayout},
    {FourCC("DXT3"), DXT3, kBgra, kAsStored, kNoLayout},
    {FourCC("DXT4"), DXT5, kBgra, kPremul, kNoLayout},
    {FourCC("DXT5"), DXT5, kBgra, kAsStored, kNoLayout},
    {FourCC("ATC "), ATC, kBgra, kAsStored, kNoLayout},
    {FourCC("ATCA"), ATCA, kBgra, kAsStored, kNoLayout},
    {FourCC("ATCI"), ATCI, kBgra, kAsStored, kNoLayout},
    {FourCC("ETC "), ETC1, kBgra, kAsStored, kNoLayout},
    {FourCC("ATI1"), BC4U, kBgra, kAsStored, kNoLayout},
    {FourCC("BC4U"), BC4U, kBgra, kAsStored, kNoLayout},
    {FourCC("BC4S"), BC4S, kBgra, kAsStored, kNoLayout},
    {FourCC("ATI2"), BC5U, kBgra, kAsStored, kNoLayout},
    {FourCC("BC5U"), BC5U, kBgra, kAsStored, kNoLayout},
    {FourCC("BC5S"), BC5S, kBgra, kAsStored, kNoLayout},
    // Direct3D format numbers in the FourCC field.
    {36, kDescribed, kBgra, kAsStored, Uniform(8, CT::kUnorm, 16, 4), "A16B16G16R16"},
    {111, kDescribed, kBgra, kAsStored, Uniform(2, CT::kFloat, 16, 1, true), "R16F"},
    {112, kDescribed, kBgra, kAsStored, Uniform(4, CT::kFloat, 16, 2), "G16R16F"},
    {113, kDescribed, kBgra, kAsStored, Uniform(8, CT::kFloat, 16, 4), "A16B16G16R16F"},
    {114, kDescribed, kBgra, kAsStored, Uniform(4, CT::kFloat, 32, 1, true), "R32F"},
    {115, kDescribed, kBgra, kAsStored, Uniform(8, CT::kFloat, 32, 2), "G32R32F"},
    {116, kDescribed, kBgra, kAsStored, Uniform(16, CT::kFloat, 32, 4), "A32B32G32R32F"},
};

// R10G10B10A2: R w[9:0], G w[19:10], B w[29:20], A w[31:30]
constexpr LayoutSpec kR10G10B10A2 = {
    4, {CT::kUnorm, 0, 10}, {CT::kUnorm, 10, 10}, {CT::kUnorm, 20, 10}, {CT::kUnorm, 30, 2}, false};

// R11G11B10_FLOAT: R w[10:0], G w[21:11], B w[31:22]
constexpr LayoutSpec kR11G11B10 = {4, {CT::kUFloat, 0, 11}, {CT::kUFloat, 11, 11}, {CT::kUFloat, 22, 10}, {}, false};
// A4B4G4R4_UNORM: A w[3:0], B w[7:4], G w[11:8], R w[15:12]
constexpr LayoutSpec kA4B4G4R4 = {2,    {CT::kUnorm, 12, 4}, {CT::kUnorm, 8, 4}, {CT::kUnorm, 4, 4}, {CT::kUnorm, 0, 4},
                                  false};

// TYPELESS formats are drawn as their UNORM member (32-bit ones as FLOAT), as every tool shows them; depth-stencil
// TYPELESS and BC6H_TYPELESS name no member to draw and stay refused.
constexpr FormatRow kDxgiTable[] = {
    {1, kDescribed, kBgra, kAsStored, Uniform(16, CT::kFloat, 32, 4)},  // R32G32B32A32_TYPELESS
    {2, kDescribed, kBgra, kAsStored, Uniform(16, CT::kFloat, 32, 4)},  // R32G32B32A32_FLOAT
    {5, kDescribed, kBgra, kAsStored, Uniform(12, CT::kFloat, 32, 3)},  // R32G32B32_TYPELESS
    {6, kDescribed, kBgra, kAsStored, Uniform(12, CT::kFloat, 32, 3)},  // R32G32B32_FLOAT
    {9, kDescribed, kBgra, kAsStored, Uniform(8, CT::kUnorm, 16, 4)},   // R16G16B16A16_TYPELESS
    {10, kDescribed, kBgra, kAsStored, Uniform(8, CT::kFloat, 16, 4)},  // R16G16B16A16_FLOAT
    {11, kDescribed, kBgra, kAsStored, Uniform(8, CT::kUnorm, 16, 4)},  // R16G16B16A16_UNORM
    {15, kDescribed, kBgra, kAsStored, Uniform(8, CT::kFloat, 32, 2)},  // R32G32_TYPELESS
    {16, kDescribed, kBgra, kAsStored, Uniform(8, CT::kFloat, 32, 2)},  // R32G32_FLOAT (as D3D 115)
    {23, kDescribed, kBgra, kAsStored, kR10G10B10A2},                   // R10G10B10A2_TYPELESS
    {24, kDescribed, kBgra, kAsStored, kR10G10B10A2},                   // R10G10B10A2_UNORM
    {26, kDescribed, kBgra, kAsStored, kR11G11B10},
    {27, A8R8G8B8, kRgba, kAsStored, kNoLayout},                              // R8G8B8A8_TYPELESS
    {28, A8R8G8B8, kRgba, kAsStored, kNoLayout},                              // R8G8B8A8_UNORM
    {29, A8R8G8B8, kRgba, kAsStored, kNoLayout},                              // R8G8B8A8_UNORM_SRGB
    {31, kDescribed, kBgra, kAsStored, Uniform(4, CT::kSnorm, 8, 4)},         // R8G8B8A8_SNORM
    {33, kDescribed, kBgra, kAsStored, Uniform(4, CT::kUnorm, 16, 2)},        // R16G16_TYPELESS
    {34, kDescribed, kBgra, kAsStored, Uniform(4, CT::kFloat, 16, 2)},        // R16G16_FLOAT
    {35, kDescribed, kBgra, kAsStored, Uniform(4, CT::kUnorm, 16, 2)},        // R16G16_UNORM
    {39, kDescribed, kBgra, kAsStored, Uniform(4, CT::kFloat, 32, 1, true)},  // R32_TYPELESS
    {41, kDescribed, kBgra, kAsStored, Uniform(4, CT::kFloat, 32, 1, true)},  // R32_FLOAT
    {48, kDescribed, kBgra, kAsStored, Uniform(2, CT::kUnorm, 8, 2)},         // R8G8_TYPELESS
    {49, kDescribed, kBgra, kAsStored, Uniform(2, CT::kUnorm, 8, 2)},         // R8G8_UNORM
    {51, kDescribed, kBgra, kAsStored, Uniform(2, CT::kSnorm, 8, 2)},         // R8G8_SNORM
    {53, kDescribed, kBgra, kAsStored, Uniform(2, CT::kUnorm, 16, 1, true)},  // R16_TYPELESS
    {54, kDescribed, kBgra, kAsStored, Uniform(2, CT::kFloat, 16, 1, true)},  // R16_FLOAT
    {56, kDescribed, kBgra, kAsStored, Uniform(2, CT::kUnorm, 16, 1, true)},  // R16_UNORM
    {60, kDescribed, kBgra, kAsStored, Uniform(1, CT::kUnorm, 8, 1, true)},   // R8_TYPELESS
    {61, kDescribed, kBgra, kAsStored, Uniform(1, CT::kUnorm, 8, 1, true)},   // R8_UNORM
    {65, kDescribed, kBgra, kAsStored, AlphaOnly8()},                         // A8_UNORM
    {67, RGB9E5, kBgra, kAsStored, kNoLayout},                                // R9G9B9E5_SHAREDEXP
    {68, RGBG8888, kBgra, kAsStored, kNoLayout},                              // R8G8_B8G8_UNORM: R, G0, B, G1
    {69, GRGB8888, kBgra, kAsStored, kNoLayout},                              // G8R8_G8B8_UNORM: G0, R, G1, B
    {70, DXT1, kBgra, kAsStored, kNoLayout},                                  // BC1_TYPELESS
    {71, DXT1, kBgra, kAsStored, kNoLayout},                                  // BC1_UNORM
    {72, DXT1, kBgra, kAsStored, kNoLayout},                                  // BC1_UNORM_SRGB
    {73, DXT3, kBgra, kAsStored, kNoLayout},                                  // BC2_TYPELESS
    {74, DXT3, kBgra, kAsStored, kNoLayout},                                  // BC2_UNORM
    {75, DXT3, kBgra, kAsStored, kNoLayout},                                  // BC2_UNORM_SRGB
    {76, DXT5, kBgra, kAsStored, kNoLayout},                                  // BC3_TYPELESS
    {77, DXT5, kBgra, kAsStored, kNoLayout},                                  // BC3_UNORM
    {78, DXT5, kBgra, kAsStored, kNoLayout},                                  // BC3_UNORM_SRGB
    {79, BC4U, kBgra, kAsStored, kNoLayout},                                  // BC4_TYPELESS
    {80, BC4U, kBgra, kAsStored, kNoLayout},                                  // BC4_UNORM
    {81, BC4S, kBgra, kAsStored, kNoLayout},                                  // BC4_SNORM
    {82, BC5U, kBgra, kAsStored, kNoLayout},                                  // BC5_TYPELESS
    {83, BC5U, kBgra, kAsStored, kNoLayout},                                  // BC5_UNORM
    {84, BC5S, kBgra, kAsStored, kNoLayout},                                  // BC5_SNORM
    {85, R5G6B5, kBgra, kAsStored, kNoLayout},                                // B5G6R5_UNORM
    {86, A1R5G5B5, kBgra, kAsStored, kNoLayout},                              // B5G5R5A1_UNORM
    {87, A8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8A8_UNORM
    {88, X8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8X8_UNORM
    {90, A8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8A8_TYPELESS
    {91, A8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8A8_UNORM_SRGB
    {92, X8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8X8_TYPELESS
    {93, X8R8G8B8, kBgra, kAsStored, kNoLayout},                              // B8G8R8X8_UNORM_SRGB
    {95, BC6HU, kBgra, kAsStored, kNoLayout},                                 // BC6H_UF16
    {96, BC6HS, kBgra, kAsStored, kNoLayout},                                 // BC6H_SF16
    {97, BC7, kBgra, kAsStored, kNoLayout},                                   // BC7_TYPELESS
    {98, BC7, kBgra, kAsStored, kNoLayout},                                   // BC7_UNORM
    {99, BC7, kBgra, kAsStored, kNoLayout},                                   // BC7_UNORM_SRGB
    {115, A4R4G4B4, kBgra, kAsStored, kNoLayout},                             // B4G4R4A4_UNORM
    {191, kDescribed, kBgra, kAsStored, kA4B4G4R4},
};

// Every DXGI_FORMAT value by name, from the Direct3D headers (dxgiformat.h), as describe and refusals name them.
struct DxgiNameRow {
  uint32_t value;
  const char* name;
};
constexpr DxgiNameRow kDxgiNames[] = {
    {0, "UNKNOWN"},
    {1, "R32G32B32A32_TYPELESS"},
    {2, "R32G32B32A32_FLOAT"},
    {3, "R32G32B32A32_UINT"},
    {4, "R32G32B32A32_SINT"},
    {5, "R32G32B32_TYPELESS"},
    {6, "R32G32B32_FLOAT"},
    {7, "R32G32B32_UINT"},
    {8, "R32G32B32_SINT"},
    {9, "R16G16B16A16_TYPELESS"},
    {10, "R16G16B16A16_FLOAT"},
    {11, "R16G16B16A16_UNORM"},
    {12, "R16G16B16A16_UINT"},
    {13, "R16G16B16A16_SNORM"},
    {14, "R16G16B16A16_SINT"},
    {15, "R32G32_TYPELESS"},
    {16, "R32G32_FLOAT"},
    {17, "R32G32_UINT"},
    {18, "R32G32_SINT"},
    {19, "R32G8X24_TYPELESS"},
    {20, "D32_FLOAT_S8X24_UINT"},
    {21, "R32_FLOAT_X8X24_TYPELESS"},
    {22, "X32_TYPELESS_G8X24_UINT"},
    {23, "R10G10B10A2_TYPELESS"},
    {24, "R10G10B10A2_UNORM"},
    {25, "R10G10B10A2_UINT"},
    {26, "R11G11B10_FLOAT"},
    {27, "R8G8B8A8_TYPELESS"},
    {28, "R8G8B8A8_UNORM"},
    {29, "R8G8B8A8_UNORM_SRGB"},
    {30, "R8G8B8A8_UINT"},
    {31, "R8G8B8A8_SNORM"},
    {32, "R8G8B8A8_SINT"},
    {33, "R16G16_TYPELESS"},
    {34, "R16G16_FLOAT"},
    {35, "R16G16_UNORM"},
    {36, "R16G16_UINT"},
    {37, "R16G16_SNORM"},
    {38, "R16G16_SINT"},
    {39, "R32_TYPELESS"},
    {40, "D32_FLOAT"},
    {41, "R32_FLOAT"},
    {42, "R32_UINT"},
    {43, "R32_SINT"},
    {44, "R24G8_TYPELESS"},
    {45, "D24_UNORM_S8_UINT"},
    {46, "R24_UNORM_X8_TYPELESS"},
    {47, "X24_TYPELESS_G8_UINT"},
    {48, "R8G8_TYPELESS"},
    {49, "R8G8_UNORM"},
    {50, "R8G8_UINT"},
    {51, "R8G8_SNORM"},
    {52, "R8G8_SINT"},
    {53, "R16_TYPELESS"},
    {54, "R16_FLOAT"},
    {55, "D16_UNORM"},
    {56, "R16_UNORM"},
    {57, "R16_UINT"},
    {58, "R16_SNORM"},
    {59, "R16_SINT"},
    {60, "R8_TYPELESS"},
    {61, "R8_UNORM"},
    {62, "R8_UINT"},
    {63, "R8_SNORM"},
    {64, "R8_SINT"},
    {65, "A8_UNORM"},
    {66, "R1_UNORM"},
    {67, "R9G9B9E5_SHAREDEXP"},
    {68, "R8G8_B8G8_UNORM"},
    {69, "G8R8_G8B8_UNORM"},
    {70, "BC1_TYPELESS"},
    {71, "BC1_UNORM"},
    {72, "BC1_UNORM_SRGB"},
    {73, "BC2_TYPELESS"},
    {74, "BC2_UNORM"},
    {75, "BC2_UNORM_SRGB"},
    {76, "BC3_TYPELESS"},
    {77, "BC3_UNORM"},
    {78, "BC3_UNORM_SRGB"},
    {79, "BC4_TYPELESS"},
    {80, "BC4_UNORM"},
    {81, "BC4_SNORM"},
    {82, "BC5_TYPELESS"},
    {83, "BC5_UNORM"},
    {84, "BC5_SNORM"},
    {85, "B5G6R5_UNORM"},
    {86, "B5G5R5A1_UNORM"},
    {87, "B8G8R8A8_UNORM"},
    {88, "B8G8R8X8_UNORM"},
    {89, "R10G10B10_XR_BIAS_A2_UNORM"},
    {90, "B8G8R8A8_TYPELESS"},
    {91, "B8G8R8A8_UNORM_SRGB"},
    {92, "B8G8R8X8_TYPELESS"},
    {93, "B8G8R8X8_UNORM_SRGB"},
    {94, "BC6H_TYPELESS"},
    {95, "BC6H_UF16"},
    {96, "BC6H_SF16"},
    {97, "BC7_TYPELESS"},
    {98, "BC7_UNORM"},
    {99, "BC7_UNORM_SRGB"},
    {100, "AYUV"},
    {101, "Y410"},
    {102, "Y416"},
    {103, "NV12"},
    {104, "P010"},
    {105, "P016"},
    {106, "420_OPAQUE"},
    {107, "YUY2"},
    {108, "Y210"},
    {109, "Y216"},
    {110, "NV11"},
    {111, "AI44"},
    {112, "IA44"},
    {113, "P8"},
    {114, "A8P8"},
    {115, "B4G4R4A4_UNORM"},
    {130, "P208"},
    {131, "V208"},
    {132, "V408"},
    {189, "SAMPLER_FEEDBACK_MIN_MIP_OPAQUE"},
    {190, "SAMPLER_FEEDBACK_MIP_REGION_USED_OPAQUE"},
    {191, "A4B4G4R4_UNORM"},
};

const char* DxgiName(uint32_t value) {
  for (const DxgiNameRow& row : kDxgiNames) {
    if (row.value == value) return row.name;
  }
  return nullptr;
}

void Name(DdsTextureInfo* info, const char* format, ...) MIRELTH_PRINTF_FORMAT(2, 3);
void Name(DdsTextureInfo* info, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(info->encodingName, sizeof info->encodingName, format, args);
  va_end(args);
}

const FormatRow* Find(const FormatRow* table, size_t count, uint32_t key) {
  for (size_t i = 0; i < count; ++i) {
    if (table[i].key == key) return &table[i];
  }
  return nullptr;
}

void Take(const FormatRow& row, DdsTextureInfo* info) {
  info->format = row.format;
  info->order = row.order;
  info->alpha = row.alpha;
  if (row.format == kDescribed) {
    info->layout.bytesPerPixel = row.layout.bytes;
    info->layout.channel[0] = row.layout.r;
    info->layout.channel[1] = row.layout.g;
    info->layout.channel[2] = row.layout.b;
    info->layout.channel[3] = row.layout.a;
    info->layout.gray = row.layout.gray;
  }
  const Encoding* encoding = EncodingOf(row.format);
  info->isCompressed = encoding && encoding->walk != Walk::kPixels;
}

void DescribeFourCC(uint32_t fourCC, char (&text)[24]) {
  char chars[5] = {};
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    chars[i] = static_cast<char>((fourCC >> (8 * i)) & 0xFF);
    if (!std::isprint(static_cast<unsigned char>(chars[i]))) printable = false;
  }
  if (printable) {
    std::snprintf(text, sizeof text, "\"%s\"", chars);
  } else if (fourCC < 1000) {
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(fourCC));
  } else {
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(fourCC));
  }
}

// A legacy bit-mask layout: the exact converters where they apply, else the layout the masks describe.
bool RecogniseMasks(uint32_t pixelFlags, uint32_t bitCount, const uint32_t (&masks)[4], DdsTextureInfo* info,
                    DecodeFailure* failure) {
  const bool luminance = (pixelFlags & kPixelLuminance) != 0;
  const bool alphaOnly = (pixelFlags & kPixelAlpha) != 0 && !(pixelFlags & (kPixelRgb | kPixelLuminance));
  if (!luminance && !alphaOnly) {
    for (const MaskRow& row : kMaskTable) {
      // 24-bit pixels have no room for alpha: only the colour masks decide.
      if (row.bitCount == bitCount && row.red == masks[0] && row.green == masks[1] && row.blue == masks[2] &&
          (row.alpha == masks[3] || bitCount == 24)) {
        info->format = row.format;
        info->order = row.order;
        Name(info, "%s", row.name);
        return true;
      }
    }
  }
  auto refuse = [&](const char* why) {
    return Fail(failure, FailureKind::Unsupported, "%u-bit pixel masks R 0x%08X G 0x%08X B 0x%08X A 0x%08X (%s)",
                static_cast<unsigned>(bitCount), static_cast<unsigned>(masks[0]), static_cast<unsigned>(masks[1]),
                static_cast<unsigned>(masks[2]), static_cast<unsigned>(masks[3]), why);
  };
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return refuse("bit count");
  uint32_t used[4] = {masks[0], masks[1], masks[2], masks[3]};
  if (alphaOnly) {
    // The alpha mask, or (as some writers do) the one mask given.
    uint32_t alpha = masks[3];
    for (int c = 0; c < 3 && alpha == 0; ++c) alpha = masks[c];
    used[0] = used[1] = used[2] = 0;
    used[3] = alpha;
  } else if (luminance) {
    used[1] = used[2] = 0;  // the luminance is the red mask
  }
  uint64_t limit = (uint64_t{1} << bitCount) - 1;
  if (luminance && (used[0] > limit || used[3] > limit)) {
    // Some writers (Pillow 10.2 and later) put the luminance or alpha mask outside the pixel: such a file is read
    // as the canonical layout of its bit count (8: L8; 16: L8 and A8 when it says it has alpha, else L16).
    PixelLayout canonical;
    canonical.bytesPerPixel = static_cast<uint8_t>(bitCount / 8);
    canonical.gray = true;
    if (bitCount == 8) {
      canonical.channel[0] = {CT::kUnorm, 0, 8};
    } else if (bitCount == 16 && (pixelFlags & kPixelAlphaPixels)) {
      canonical.channel[0] = {CT::kUnorm, 0, 8};
      canonical.channel[3] = {CT::kUnorm, 8, 8};
    } else if (bitCount == 16) {
      canonical.channel[0] = {CT::kUnorm, 0, 16};
    } else {
      return refuse("mask outside the pixel");
    }
    info->format = kDescribed;
    info->order = ChannelOrder::BGRA;
    info->layout = canonical;
    Name(info, "%s", bitCount == 8 ? "L8" : canonical.channel[3].bits ? "A8L8" : "L16");
    return true;
  }
  uint32_t seen = 0;
  for (uint32_t mask : used) {
    if (mask > limit) return refuse("mask outside the pixel");
    if (seen & mask) return refuse("overlapping masks");
    seen |= mask;
  }
  if (seen == 0) return refuse("no channel");
  PixelLayout layout;
  if (!LayoutFromMasks(bitCount / 8, used, &layout)) return refuse("a mask is not one run of bits");
  // Only red (no green or blue) is a luminance too.
  layout.gray = luminance || (used[0] != 0 && used[1] == 0 && used[2] == 0);
  info->format = kDescribed;
  info->order = ChannelOrder::BGRA;
  info->layout = layout;
  const ChannelField &l = layout.channel[0], &a = layout.channel[3];
  if (alphaOnly) {
    Name(info, "A%u", static_cast<unsigned>(a.bits));
  } else if (layout.gray && a.bits) {
    Name(info, "A%uL%u", static_cast<unsigned>(a.bits), static_cast<unsigned>(l.bits));
  } else if (layout.gray) {
    Name(info, "L%u", static_cast<unsigned>(l.bits));
  } else {
    Name(info, "%u-bit R 0x%X G 0x%X B 0x%X A 0x%X", static_cast<unsigned>(bitCount), static_cast<unsigned>(used[0]),
         static_cast<unsigned>(used[1]), static_cast<unsigned>(used[2]), static_cast<unsigned>(used[3]));
  }
  return true;
}

bool RecogniseDx10(ByteSource& source, DdsTextureInfo* info, DecodeFailure* failure) {
  uint8_t header[kDx10HeaderBytes];
  if (!source.Has(kDdsHeaderBytes, kDx10HeaderBytes)) {
    return FailTruncated(failure, source.size(), kDdsHeaderBytes + kDx10HeaderBytes, "the DX10 header");
  }
  if (!source.Read(kDdsHeaderBytes, header, sizeof header, failure)) return false;
  const uint32_t dxgi = ByteReader::U32LENoBoundsCheck(header);
  const uint32_t dimension = ByteReader::U32LENoBoundsCheck(header + 4);
  const uint32_t misc = ByteReader::U32LENoBoundsCheck(header + 8);
  const uint32_t arraySize = ByteReader::U32LENoBoundsCheck(header + 12);
  const uint32_t alphaMode = ByteReader::U32LENoBoundsCheck(header + 16) & 7;
  if (arraySize == 0) return Fail(failure, FailureKind::InvalidHeader, "DX10 array size 0");
  if (dimension != kDimension1D && dimension != kDimension2D && dimension != kDimension3D) {
    return Fail(failure, FailureKind::InvalidHeader, "DX10 resource dimension %u", static_cast<unsigned>(dimension));
  }
  const char* name = DxgiName(dxgi);
  if (name) {
    Name(info, "%s", name);
  } else {
    Name(info, "DXGI format %u", static_cast<unsigned>(dxgi));
  }
  info->srgb = name && std::strstr(name, "_SRGB") != nullptr;
  info->layers = arraySize;
  if (misc & kMiscCube) info->faces = 6;
  const FormatRow* row = Find(kDxgiTable, sizeof kDxgiTable / sizeof kDxgiTable[0], dxgi);
  if (!row) return Fail(failure, FailureKind::Unsupported, "DXGI format %u", static_cast<unsigned>(dxgi));
  Take(*row, info);
  // Premultiplied float colour is divided by alpha in linear light (by the converter); integers by the rule.
  if (alphaMode == 2 && !(info->format == kDescribed && PremultiplyInLinearLight(&info->layout))) info->alpha = kPremul;
  if (alphaMode == 3) info->alpha = kOpaque;
  if (dimension == kDimension1D) info->height = 1;  // one row, whatever the height field says
  if (dimension != kDimension3D) info->depth = 1;
  info->isCubeMap = (misc & kMiscCube) != 0;
  info->dataOffset = kDdsHeaderBytes + kDx10HeaderBytes;
  return true;
}

// What the header says, for describe: the chain's facts, then the layout by name, faces, layers and depth.
void Describe(const DdsTextureInfo& info, const LevelChain& chain, Facts* facts) {
  if (!facts) return;
  DescribeTexture(chain, facts);
  facts->SetEncoding("%s", info.encodingName);
  facts->faces = info.faces ? info.faces : 1;
  facts->layers = info.layers;
  facts->surfaces = facts->faces * std::max<uint32_t>(1, info.layers);
  facts->depth = info.depth;
  if (info.srgb) facts->colourSpace = ColourSpace::kSrgb;
}

// Level 0: at the data offset, rows top-down.
SourceImage Level0(ByteSource& source, const DdsTextureInfo& info) {
  SourceImage level;
  level.source = &source;
  level.offset = info.dataOffset;
  level.format = info.format;
  level.order = info.order;
  level.layout = info.layout;
  level.width = info.width;
  level.height = info.height;
  level.alpha = info.alpha;
  level.topDown = true;
  if (info.format == PAL8) level.palette = info.palette;
  return level;
}

}  // namespace

bool ParseDdsHeader(ByteSource& source, DdsTextureInfo* info, const OpenOptions& options, DecodeFailure* failure) {
  *info = DdsTextureInfo{};
  uint8_t header[kDdsHeaderBytes] = {};
  const uint64_t size = source.size();
  static constexpr uint8_t kMagic[4] = {'D', 'D', 'S', ' '};
  const size_t magicBytes = static_cast<size_t>(size < 4 ? size : 4);
  if (!source.Read(0, header, magicBytes, failure)) return false;
  if (std::memcmp(header, kMagic, magicBytes) != 0) {
    return Fail(failure, FailureKind::NotThisFormat, "not a DDS file (no \"DDS \" magic)");
  }
  if (size < kDdsHeaderBytes) return FailTruncated(failure, size, kDdsHeaderBytes, "the DDS header");
  if (!source.Read(0, header, kDdsHeaderBytes, failure)) return false;
  auto field = [&](uint32_t offset) { return ByteReader::U32LENoBoundsCheck(header + offset); };
  const uint32_t flags = field(kOffsetFlags), pixelFlags = field(kOffsetPixelFlags), fourCC = field(kOffsetFourCC);
  const uint32_t bitCount = field(kOffsetBitCount), caps = field(kOffsetCaps), caps2 = field(kOffsetCaps2);
  uint32_t masks[4];
  for (uint32_t i = 0; i < 4; ++i) masks[i] = field(kOffsetMasks + 4 * i);

  if ((flags & kRequiredFlags) != kRequiredFlags) {
    return Fail(failure, FailureKind::InvalidHeader, "header flags 0x%08X lack caps, height, width or pixel format",
                static_cast<unsigned>(flags));
  }
  if (caps & kCapsTexture) {
    info->hasMipmaps = (caps & kCapsMipMap) != 0;
    info->isCubeMap = (caps & kCapsComplex) && (caps2 & kCaps2CubeMap);
    if (info->isCubeMap) info->faces = static_cast<uint32_t>(__builtin_popcount(caps2 & kCaps2AllFaces));
  }
  info->levelCount = 1;
  if (info->hasMipmaps && (flags & kFlagMipMapCount)) info->levelCount = field(kOffsetMipMapCount);
  if ((caps2 & kCaps2Volume) && (flags & kFlagDepth)) info->depth = field(kOffsetDepth) ? field(kOffsetDepth) : 1;
  info->width = static_cast<int32_t>(field(kOffsetWidth));
  info->height = static_cast<int32_t>(field(kOffsetHeight));

  // Bit masks when the flags name them; else the FourCC when its flag is set (NVIDIA's tools keep a swizzle code
  // in the bit count of FourCC files, so a bit count alone does not make masks); else masks by the bit count.
  const bool masksNamed = (pixelFlags & (kPixelRgb | kPixelLuminance | kPixelAlpha)) != 0;
  if ((pixelFlags & kPixelPaletteIndexed8) && bitCount == 8) {
    if (!source.Has(kDdsHeaderBytes, kPaletteBytes)) {
      return FailTruncated(failure, size, kDdsHeaderBytes + kPaletteBytes, "the palette");
    }
    uint8_t entries[kPaletteBytes];
    if (!source.Read(kDdsHeaderBytes, entries, sizeof entries, failure)) return false;
    for (uint32_t i = 0; i < 256; ++i) {
      const uint8_t* e = entries + 4 * i;  // R, G, B, A
      info->palette[i] = uint32_t{e[3]} << 24 | uint32_t{e[0]} << 16 | uint32_t{e[1]} << 8 | e[2];
    }
    info->format = PAL8;
    info->order = ChannelOrder::BGRA;
    info->dataOffset = kDdsHeaderBytes + kPaletteBytes;
    Name(info, "P8");
  } else if (!masksNamed && (pixelFlags & kPixelFourCC)) {
    if (fourCC == FourCC("DX10")) {
      if (!RecogniseDx10(source, info, failure)) return false;
    } else if (const FormatRow* row = Find(kFourCCTable, sizeof kFourCCTable / sizeof kFourCCTable[0], fourCC)) {
      Take(*row, info);
      if (row->name) {
        Name(info, "%s", row->name);
      } else {
        const char text[5] = {static_cast<char>(fourCC), static_cast<char>(fourCC >> 8),
                              static_cast<char>(fourCC >> 16), static_cast<char>(fourCC >> 24), 0};
        Name(info, "%s", text);
      }
    } else {
      char text[24];
      DescribeFourCC(fourCC, text);
      return Fail(failure, FailureKind::Unsupported, "pixel format FourCC %s", text);
    }
  } else if (masksNamed || bitCount != 0) {
    if (!RecogniseMasks(pixelFlags, bitCount, masks, info, failure)) return false;
  } else {
    return Fail(failure, FailureKind::Unsupported, "pixel format flags 0x%08X name neither bit masks nor a FourCC",
                static_cast<unsigned>(pixelFlags));
  }

  if (!CheckPictureSize(info->width, info->height, options, failure)) return false;
  LevelChain described;
  described.levels[0] = Level0(source, *info);
  described.count = 1;
  Describe(*info, described, options.facts);
  SourceImage level0 = Level0(source, *info);
  return SizeLevel(&level0, failure) && CheckLevelFits(level0, "level 0", failure);
}

bool OpenDds(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  DdsTextureInfo info;
  if (!ParseDdsHeader(source, &info, options, failure)) return false;
  LevelChain chain;
  std::memcpy(chain.palette, info.palette, sizeof chain.palette);
  // Each face's (or array element's) whole chain comes before the next one: the levels of the first follow level 0.
  SourceImage level0 = Level0(source, info);
  const uint64_t surfaces = uint64_t{info.faces ? info.faces : 1} * (info.layers ? info.layers : 1);
  if (options.surface > 0 && options.surface < surfaces) {
    // A closer look at another face or element: it starts after that many whole chains.
    uint64_t chainBytes = 0;
    for (uint32_t k = 0; k < std::max<uint32_t>(1, info.levelCount) && k < 32; ++k) {
      SourceImage level = level0;
      level.width = std::max(1, info.width >> k), level.height = std::max(1, info.height >> k);
      uint64_t bytes = 0;
      if (!SizeLevel(&level, failure) ||
          !CheckedMultiply(level.bytes, std::max<uint64_t>(1, uint64_t{info.depth} >> k), &bytes) ||
          !CheckedAdd(chainBytes, bytes, &chainBytes)) {
        return false;
      }
    }
    uint64_t skip = 0;
    if (!CheckedMultiply(chainBytes, options.surface, &skip) || !CheckedAdd(level0.offset, skip, &level0.offset)) {
      return Fail(failure, FailureKind::TooLarge, "DDS surface %u", static_cast<unsigned>(options.surface));
    }
  }
  if (!ContiguousChain(level0, info.levelCount, 1, info.depth, &chain, failure)) return false;
  Describe(info, chain, options.facts);
  return TexturePictureOf(chain, picture, failure);
}

}  // namespace mirelth
