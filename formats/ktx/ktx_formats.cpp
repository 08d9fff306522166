#include "formats/ktx/ktx_formats.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using CT = ChannelType;
constexpr ChannelOrder kRgba = ChannelOrder::RGBA, kBgra = ChannelOrder::BGRA;

// Described layouts: a field is (type, lowest bit, width).
constexpr ChannelField U(uint8_t shift, uint8_t bits) { return {CT::kUnorm, shift, bits}; }
constexpr ChannelField S(uint8_t shift, uint8_t bits) { return {CT::kSnorm, shift, bits}; }
constexpr ChannelField F(uint8_t shift, uint8_t bits) { return {CT::kFloat, shift, bits}; }
constexpr ChannelField UF(uint8_t shift, uint8_t bits) { return {CT::kUFloat, shift, bits}; }
constexpr ChannelField kNo{};
constexpr PixelLayout L(uint8_t bytes, ChannelField r, ChannelField g, ChannelField b, ChannelField a,
                        bool gray = false) {
  return {bytes, {r, g, b, a}, gray, false};
}
// `channels` fields of one type and width in memory order R, G, B, A (`bgr`: B, G, R, A); one channel is gray.
constexpr PixelLayout Uniform(CT type, uint8_t bits, int channels, bool bgr = false) {
  PixelLayout layout{static_cast<uint8_t>(bits / 8 * channels), {}, channels == 1, false};
  for (int c = 0; c < channels; ++c) {
    const int at = bgr && c < 3 ? 2 - c : c;
    layout.channel[c] = {type, static_cast<uint8_t>(at * bits), bits};
  }
  return layout;
}
constexpr KtxFormat Plain(uint32_t code, PixelLayout layout, bool srgb = false, const char* name = nullptr) {
  return {code, kDescribed, kBgra, layout, false, srgb, false, name};
}
constexpr KtxFormat Fixed(uint32_t code, PixelFormat format, ChannelOrder order = kBgra, bool srgb = false,
                          const char* name = nullptr) {
  return {code, format, order, {}, false, srgb, false, name};
}
constexpr KtxFormat Block(uint32_t code, PixelFormat format, bool srgb = false, bool opaque = false,
                          const char* name = nullptr) {
  return {code, format, kBgra, {}, opaque, srgb, false, name};
}
constexpr KtxFormat HdrAstc(uint32_t code, PixelFormat format) { return {code, format, kBgra, {}, false, false, true}; }
constexpr KtxFormat Refused(uint32_t code, const char* name) {
  return {code, kNone, kBgra, {}, false, false, false, name};
}

constexpr KtxFormatName kVkNames[] = {
#include "formats/ktx/vk_format_names.inc"
};

// The VkFormats we draw. Integer (UINT, SINT, USCALED, SSCALED), 64-bit, depth and stencil, multi-planar and
// 4:2:2 formats, and PVRTC 2 are not drawn.
// clang-format off
constexpr KtxFormat kVkDrawn[] = {
    Plain(1, L(1, U(4, 4), U(0, 4), kNo, kNo)),                      // R4G4_UNORM_PACK8
    Plain(2, L(2, U(12, 4), U(8, 4), U(4, 4), U(0, 4))),             // R4G4B4A4_UNORM_PACK16
    Plain(3, L(2, U(4, 4), U(8, 4), U(12, 4), U(0, 4))),             // B4G4R4A4_UNORM_PACK16
    Fixed(4, R5G6B5),                                                // R5G6B5_UNORM_PACK16
    Plain(5, L(2, U(0, 5), U(5, 6), U(11, 5), kNo)),                 // B5G6R5_UNORM_PACK16
    Plain(6, L(2, U(11, 5), U(6, 5), U(1, 5), U(0, 1))),             // R5G5B5A1_UNORM_PACK16
    Plain(7, L(2, U(1, 5), U(6, 5), U(11, 5), U(0, 1))),             // B5G5R5A1_UNORM_PACK16
    Fixed(8, A1R5G5B5),                                              // A1R5G5B5_UNORM_PACK16
    Plain(9, Uniform(CT::kUnorm, 8, 1)), Plain(10, Uniform(CT::kSnorm, 8, 1)), Plain(15, Uniform(CT::kUnorm, 8, 1), true),
    Plain(16, Uniform(CT::kUnorm, 8, 2)), Plain(17, Uniform(CT::kSnorm, 8, 2)), Plain(22, Uniform(CT::kUnorm, 8, 2), true),
    Fixed(23, R8G8B8, kRgba), Plain(24, Uniform(CT::kSnorm, 8, 3)), Fixed(29, R8G8B8, kRgba, true),
    Fixed(30, R8G8B8, kBgra), Plain(31, Uniform(CT::kSnorm, 8, 3, true)), Fixed(36, R8G8B8, kBgra, true),
    Fixed(37, A8R8G8B8, kRgba), Plain(38, Uniform(CT::kSnorm, 8, 4)), Fixed(43, A8R8G8B8, kRgba, true),
    Fixed(44, A8R8G8B8, kBgra), Plain(45, Uniform(CT::kSnorm, 8, 4, true)), Fixed(50, A8R8G8B8, kBgra, true),
    Fixed(51, A8R8G8B8, kRgba), Plain(52, Uniform(CT::kSnorm, 8, 4)), Fixed(57, A8R8G8B8, kRgba, true),  // A8B8G8R8_*_PACK32
    Plain(58, L(4, U(20, 10), U(10, 10), U(0, 10), U(30, 2))),       // A2R10G10B10_UNORM_PACK32
    Plain(59, L(4, S(20, 10), S(10, 10), S(0, 10), S(30, 2))),       // A2R10G10B10_SNORM_PACK32
    Plain(64, L(4, U(0, 10), U(10, 10), U(20, 10), U(30, 2))),       // A2B10G10R10_UNORM_PACK32
    Plain(65, L(4, S(0, 10), S(10, 10), S(20, 10), S(30, 2))),       // A2B10G10R10_SNORM_PACK32
    Plain(70, Uniform(CT::kUnorm, 16, 1)), Plain(71, Uniform(CT::kSnorm, 16, 1)), Plain(76, Uniform(CT::kFloat, 16, 1)),
    Plain(77, Uniform(CT::kUnorm, 16, 2)), Plain(78, Uniform(CT::kSnorm, 16, 2)), Plain(83, Uniform(CT::kFloat, 16, 2)),
    Plain(84, Uniform(CT::kUnorm, 16, 3)), Plain(85, Uniform(CT::kSnorm, 16, 3)), Plain(90, Uniform(CT::kFloat, 16, 3)),
    Plain(91, Uniform(CT::kUnorm, 16, 4)), Plain(92, Uniform(CT::kSnorm, 16, 4)), Plain(97, Uniform(CT::kFloat, 16, 4)),
    Plain(100, Uniform(CT::kFloat, 32, 1)), Plain(103, Uniform(CT::kFloat, 32, 2)),
    Plain(106, Uniform(CT::kFloat, 32, 3)), Plain(109, Uniform(CT::kFloat, 32, 4)),
    Plain(122, L(4, UF(0, 11), UF(11, 11), UF(22, 10), kNo)),        // B10G11R11_UFLOAT_PACK32
    Fixed(123, RGB9E5),                                              // E5B9G9R9_UFLOAT_PACK32
    Block(131, DXT1, false, true), Block(132, DXT1, true, true),     // BC1_RGB: no alpha
    Block(133, DXT1), Block(134, DXT1, true), Block(135, DXT3), Block(136, DXT3, true),
    Block(137, DXT5), Block(138, DXT5, true), Block(139, BC4U), Block(140, BC4S), Block(141, BC5U), Block(142, BC5S),
    Block(143, BC6HU), Block(144, BC6HS), Block(145, BC7), Block(146, BC7, true),
    Block(147, ETC2RGB), Block(148, ETC2RGB, true), Block(149, ETC2RGBA1), Block(150, ETC2RGBA1, true),
    Block(151, ETC2RGBA), Block(152, ETC2RGBA, true),
    Block(153, EACR11U), Block(154, EACR11S), Block(155, EACRG11U), Block(156, EACRG11S),
    Block(157, ASTC4x4), Block(158, ASTC4x4, true), Block(159, ASTC5x4), Block(160, ASTC5x4, true),
    Block(161, ASTC5x5), Block(162, ASTC5x5, true), Block(163, ASTC6x5), Block(164, ASTC6x5, true),
    Block(165, ASTC6x6), Block(166, ASTC6x6, true), Block(167, ASTC8x5), Block(168, ASTC8x5, true),
    Block(169, ASTC8x6), Block(170, ASTC8x6, true), Block(171, ASTC8x8), Block(172, ASTC8x8, true),
    Block(173, ASTC10x5), Block(174, ASTC10x5, true), Block(175, ASTC10x6), Block(176, ASTC10x6, true),
    Block(177, ASTC10x8), Block(178, ASTC10x8, true), Block(179, ASTC10x10), Block(180, ASTC10x10, true),
    Block(181, ASTC12x10), Block(182, ASTC12x10, true), Block(183, ASTC12x12), Block(184, ASTC12x12, true),
    Block(1000054000, PVRTC2BPP), Block(1000054001, PVRTC4BPP),
    Block(1000054004, PVRTC2BPP, true), Block(1000054005, PVRTC4BPP, true),
    HdrAstc(1000066000, ASTC4x4), HdrAstc(1000066001, ASTC5x4), HdrAstc(1000066002, ASTC5x5),
    HdrAstc(1000066003, ASTC6x5), HdrAstc(1000066004, ASTC6x6), HdrAstc(1000066005, ASTC8x5),
    HdrAstc(1000066006, ASTC8x6), HdrAstc(1000066007, ASTC8x8), HdrAstc(1000066008, ASTC10x5),
    HdrAstc(1000066009, ASTC10x6), HdrAstc(1000066010, ASTC10x8), HdrAstc(1000066011, ASTC10x10),
    HdrAstc(1000066012, ASTC12x10), HdrAstc(1000066013, ASTC12x12),
    Fixed(1000340000, A4R4G4B4),                                      // A4R4G4B4_UNORM_PACK16
    Plain(1000340001, L(2, U(0, 4), U(4, 4), U(8, 4), U(12, 4))),    // A4B4G4R4_UNORM_PACK16
};

// OpenGL internal formats: sized, compressed, and the unsized base formats old files name (KTX 1 then reads
// glType; see the KTX 1 reader).
constexpr KtxFormat kGl[] = {
    // Unsized: resolved by glType.
    Refused(0x1906, "GL_ALPHA"), Refused(0x1907, "GL_RGB"), Refused(0x1908, "GL_RGBA"), Refused(0x1909, "GL_LUMINANCE"),
    Refused(0x190A, "GL_LUMINANCE_ALPHA"), Refused(0x1903, "GL_RED"), Refused(0x8227, "GL_RG"),
    // 8 bits a channel.
    Plain(0x8229, Uniform(CT::kUnorm, 8, 1), false, "GL_R8"), Plain(0x8F94, Uniform(CT::kSnorm, 8, 1), false, "GL_R8_SNORM"),
    Plain(0x822B, Uniform(CT::kUnorm, 8, 2), false, "GL_RG8"), Plain(0x8F95, Uniform(CT::kSnorm, 8, 2), false, "GL_RG8_SNORM"),
    Fixed(0x8051, R8G8B8, kRgba, false, "GL_RGB8"), Plain(0x8F96, Uniform(CT::kSnorm, 8, 3), false, "GL_RGB8_SNORM"),
    Fixed(0x8058, A8R8G8B8, kRgba, false, "GL_RGBA8"), Plain(0x8F97, Uniform(CT::kSnorm, 8, 4), false, "GL_RGBA8_SNORM"),
    Fixed(0x8C41, R8G8B8, kRgba, true, "GL_SRGB8"), Fixed(0x8C43, A8R8G8B8, kRgba, true, "GL_SRGB8_ALPHA8"),
    Plain(0x8FBD, Uniform(CT::kUnorm, 8, 1), true, "GL_SR8_EXT"), Plain(0x8FBE, Uniform(CT::kUnorm, 8, 2), true, "GL_SRG8_EXT"),
    Plain(0x803C, L(1, kNo, kNo, kNo, U(0, 8)), false, "GL_ALPHA8"),
    Plain(0x8040, L(1, U(0, 8), kNo, kNo, kNo, true), false, "GL_LUMINANCE8"),
    Plain(0x8045, L(2, U(0, 8), kNo, kNo, U(8, 8), true), false, "GL_LUMINANCE8_ALPHA8"),
    Plain(0x804B, L(1, U(0, 8), kNo, kNo, U(0, 8), true), false, "GL_INTENSITY8"),
    Plain(0x8C47, L(1, U(0, 8), kNo, kNo, kNo, true), true, "GL_SLUMINANCE8"),
    Plain(0x8C45, L(2, U(0, 8), kNo, kNo, U(8, 8), true), true, "GL_SLUMINANCE8_ALPHA8"),
    // 16 bits a channel.
    Plain(0x822A, Uniform(CT::kUnorm, 16, 1), false, "GL_R16"), Plain(0x8F98, Uniform(CT::kSnorm, 16, 1), false, "GL_R16_SNORM"),
    Plain(0x822C, Uniform(CT::kUnorm, 16, 2), false, "GL_RG16"), Plain(0x8F99, Uniform(CT::kSnorm, 16, 2), false, "GL_RG16_SNORM"),
    Plain(0x8054, Uniform(CT::kUnorm, 16, 3), false, "GL_RGB16"), Plain(0x8F9A, Uniform(CT::kSnorm, 16, 3), false, "GL_RGB16_SNORM"),
    Plain(0x805B, Uniform(CT::kUnorm, 16, 4), false, "GL_RGBA16"), Plain(0x8F9B, Uniform(CT::kSnorm, 16, 4), false, "GL_RGBA16_SNORM"),
    Plain(0x803E, L(2, kNo, kNo, kNo, U(0, 16)), false, "GL_ALPHA16"),
    Plain(0x8042, L(2, U(0, 16), kNo, kNo, kNo, true), false, "GL_LUMINANCE16"),
    Plain(0x8048, L(4, U(0, 16), kNo, kNo, U(16, 16), true), false, "GL_LUMINANCE16_ALPHA16"),
    Plain(0x804D, L(2, U(0, 16), kNo, kNo, U(0, 16), true), false, "GL_INTENSITY16"),
    Plain(0x822D, Uniform(CT::kFloat, 16, 1), false, "GL_R16F"), Plain(0x822F, Uniform(CT::kFloat, 16, 2), false, "GL_RG16F"),
    Plain(0x881B, Uniform(CT::kFloat, 16, 3), false, "GL_RGB16F"), Plain(0x881A, Uniform(CT::kFloat, 16, 4), false, "GL_RGBA16F"),
    Plain(0x881C, L(2, kNo, kNo, kNo, F(0, 16)), false, "GL_ALPHA16F_ARB"),
    Plain(0x881E, L(2, F(0, 16), kNo, kNo, kNo, true), false, "GL_LUMINANCE16F_ARB"),
    Plain(0x881F, L(4, F(0, 16), kNo, kNo, F(16, 16), true), false, "GL_LUMINANCE_ALPHA16F_ARB"),
    Plain(0x881D, L(2, F(0, 16), kNo, kNo, F(0, 16), true), false, "GL_INTENSITY16F_ARB"),
    // 32-bit floats.
    Plain(0x822E, Uniform(CT::kFloat, 32, 1), false, "GL_R32F"), Plain(0x8230, Uniform(CT::kFloat, 32, 2), false, "GL_RG32F"),
    Plain(0x8815, Uniform(CT::kFloat, 32, 3), false, "GL_RGB32F"), Plain(0x8814, Uniform(CT::kFloat, 32, 4), false, "GL_RGBA32F"),
    Plain(0x8816, L(4, kNo, kNo, kNo, F(0, 32)), false, "GL_ALPHA32F_ARB"),
    Plain(0x8818, L(4, F(0, 32), kNo, kNo, kNo, true), false, "GL_LUMINANCE32F_ARB"),
    Plain(0x8819, L(8, F(0, 32), kNo, kNo, F(32, 32), true), false, "GL_LUMINANCE_ALPHA32F_ARB"),
    Plain(0x8817, L(4, F(0, 32), kNo, kNo, F(0, 32), true), false, "GL_INTENSITY32F_ARB"),
    // Packed.
    Fixed(0x8D62, R5G6B5, kBgra, false, "GL_RGB565"),
    Plain(0x8056, L(2, U(12, 4), U(8, 4), U(4, 4), U(0, 4)), false, "GL_RGBA4"),
    Plain(0x8057, L(2, U(11, 5), U(6, 5), U(1, 5), U(0, 1)), false, "GL_RGB5_A1"),
    Plain(0x8059, L(4, U(0, 10), U(10, 10), U(20, 10), U(30, 2)), false, "GL_RGB10_A2"),
    Plain(0x8C3A, L(4, UF(0, 11), UF(11, 11), UF(22, 10), kNo), false, "GL_R11F_G11F_B10F"),
    Fixed(0x8C3D, RGB9E5, kBgra, false, "GL_RGB9_E5"),
    // S3TC, RGTC, BPTC.
    Block(0x83F0, DXT1, false, true, "GL_COMPRESSED_RGB_S3TC_DXT1_EXT"),
    Block(0x83F1, DXT1, false, false, "GL_COMPRESSED_RGBA_S3TC_DXT1_EXT"),
    Block(0x83F2, DXT3, false, false, "GL_COMPRESSED_RGBA_S3TC_DXT3_EXT"),
    Block(0x83F3, DXT5, false, false, "GL_COMPRESSED_RGBA_S3TC_DXT5_EXT"),
    Block(0x8C4C, DXT1, true, true, "GL_COMPRESSED_SRGB_S3TC_DXT1_EXT"),
    Block(0x8C4D, DXT1, true, false, "GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT"),
    Block(0x8C4E, DXT3, true, false, "GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT"),
    Block(0x8C4F, DXT5, true, false, "GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT"),
    Block(0x8DBB, BC4U, false, false, "GL_COMPRESSED_RED_RGTC1"), Block(0x8DBC, BC4S, false, false, "GL_COMPRESSED_SIGNED_RED_RGTC1"),
    Block(0x8DBD, BC5U, false, false, "GL_COMPRESSED_RG_RGTC2"), Block(0x8DBE, BC5S, false, false, "GL_COMPRESSED_SIGNED_RG_RGTC2"),
    Block(0x8E8C, BC7, false, false, "GL_COMPRESSED_RGBA_BPTC_UNORM"),
    Block(0x8E8D, BC7, true, false, "GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM"),
    Block(0x8E8E, BC6HS, false, false, "GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT"),
    Block(0x8E8F, BC6HU, false, false, "GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT"),
    // ETC and EAC.
    Block(0x8D64, ETC1, false, false, "GL_ETC1_RGB8_OES"),
    Block(0x9274, ETC2RGB, false, false, "GL_COMPRESSED_RGB8_ETC2"), Block(0x9275, ETC2RGB, true, false, "GL_COMPRESSED_SRGB8_ETC2"),
    Block(0x9276, ETC2RGBA1, false, false, "GL_COMPRESSED_RGB8_PUNCHTHROUGH_ALPHA1_ETC2"),
    Block(0x9277, ETC2RGBA1, true, false, "GL_COMPRESSED_SRGB8_PUNCHTHROUGH_ALPHA1_ETC2"),
    Block(0x9278, ETC2RGBA, false, false, "GL_COMPRESSED_RGBA8_ETC2_EAC"),
    Block(0x9279, ETC2RGBA, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ETC2_EAC"),
    Block(0x9270, EACR11U, false, false, "GL_COMPRESSED_R11_EAC"), Block(0x9271, EACR11S, false, false, "GL_COMPRESSED_SIGNED_R11_EAC"),
    Block(0x9272, EACRG11U, false, false, "GL_COMPRESSED_RG11_EAC"), Block(0x9273, EACRG11S, false, false, "GL_COMPRESSED_SIGNED_RG11_EAC"),
    // ASTC (2D; the 3D footprints are refused).
    Block(0x93B0, ASTC4x4, false, false, "GL_COMPRESSED_RGBA_ASTC_4x4_KHR"), Block(0x93B1, ASTC5x4, false, false, "GL_COMPRESSED_RGBA_ASTC_5x4_KHR"),
    Block(0x93B2, ASTC5x5, false, false, "GL_COMPRESSED_RGBA_ASTC_5x5_KHR"), Block(0x93B3, ASTC6x5, false, false, "GL_COMPRESSED_RGBA_ASTC_6x5_KHR"),
    Block(0x93B4, ASTC6x6, false, false, "GL_COMPRESSED_RGBA_ASTC_6x6_KHR"), Block(0x93B5, ASTC8x5, false, false, "GL_COMPRESSED_RGBA_ASTC_8x5_KHR"),
    Block(0x93B6, ASTC8x6, false, false, "GL_COMPRESSED_RGBA_ASTC_8x6_KHR"), Block(0x93B7, ASTC8x8, false, false, "GL_COMPRESSED_RGBA_ASTC_8x8_KHR"),
    Block(0x93B8, ASTC10x5, false, false, "GL_COMPRESSED_RGBA_ASTC_10x5_KHR"), Block(0x93B9, ASTC10x6, false, false, "GL_COMPRESSED_RGBA_ASTC_10x6_KHR"),
    Block(0x93BA, ASTC10x8, false, false, "GL_COMPRESSED_RGBA_ASTC_10x8_KHR"), Block(0x93BB, ASTC10x10, false, false, "GL_COMPRESSED_RGBA_ASTC_10x10_KHR"),
    Block(0x93BC, ASTC12x10, false, false, "GL_COMPRESSED_RGBA_ASTC_12x10_KHR"), Block(0x93BD, ASTC12x12, false, false, "GL_COMPRESSED_RGBA_ASTC_12x12_KHR"),
    Block(0x93D0, ASTC4x4, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_4x4_KHR"), Block(0x93D1, ASTC5x4, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_5x4_KHR"),
    Block(0x93D2, ASTC5x5, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_5x5_KHR"), Block(0x93D3, ASTC6x5, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_6x5_KHR"),
    Block(0x93D4, ASTC6x6, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_6x6_KHR"), Block(0x93D5, ASTC8x5, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_8x5_KHR"),
    Block(0x93D6, ASTC8x6, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_8x6_KHR"), Block(0x93D7, ASTC8x8, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_8x8_KHR"),
    Block(0x93D8, ASTC10x5, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_10x5_KHR"), Block(0x93D9, ASTC10x6, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_10x6_KHR"),
    Block(0x93DA, ASTC10x8, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_10x8_KHR"), Block(0x93DB, ASTC10x10, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_10x10_KHR"),
    Block(0x93DC, ASTC12x10, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_12x10_KHR"), Block(0x93DD, ASTC12x12, true, false, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_12x12_KHR"),
    Refused(0x93C0, "GL_COMPRESSED_RGBA_ASTC_3x3x3_OES"), Refused(0x93C1, "GL_COMPRESSED_RGBA_ASTC_4x3x3_OES"),
    Refused(0x93C2, "GL_COMPRESSED_RGBA_ASTC_4x4x3_OES"), Refused(0x93C3, "GL_COMPRESSED_RGBA_ASTC_4x4x4_OES"),
    Refused(0x93C4, "GL_COMPRESSED_RGBA_ASTC_5x4x4_OES"), Refused(0x93C5, "GL_COMPRESSED_RGBA_ASTC_5x5x4_OES"),
    Refused(0x93C6, "GL_COMPRESSED_RGBA_ASTC_5x5x5_OES"), Refused(0x93C7, "GL_COMPRESSED_RGBA_ASTC_6x5x5_OES"),
    Refused(0x93C8, "GL_COMPRESSED_RGBA_ASTC_6x6x5_OES"), Refused(0x93C9, "GL_COMPRESSED_RGBA_ASTC_6x6x6_OES"),
    Refused(0x93E0, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_3x3x3_OES"), Refused(0x93E1, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_4x3x3_OES"),
    Refused(0x93E2, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_4x4x3_OES"), Refused(0x93E3, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_4x4x4_OES"),
    Refused(0x93E4, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_5x4x4_OES"), Refused(0x93E5, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_5x5x4_OES"),
    Refused(0x93E6, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_5x5x5_OES"), Refused(0x93E7, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_6x5x5_OES"),
    Refused(0x93E8, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_6x6x5_OES"), Refused(0x93E9, "GL_COMPRESSED_SRGB8_ALPHA8_ASTC_6x6x6_OES"),
    // PVRTC and ATC.
    Block(0x8C00, PVRTC4BPP, false, true, "GL_COMPRESSED_RGB_PVRTC_4BPPV1_IMG"),
    Block(0x8C01, PVRTC2BPP, false, true, "GL_COMPRESSED_RGB_PVRTC_2BPPV1_IMG"),
    Block(0x8C02, PVRTC4BPP, false, false, "GL_COMPRESSED_RGBA_PVRTC_4BPPV1_IMG"),
    Block(0x8C03, PVRTC2BPP, false, false, "GL_COMPRESSED_RGBA_PVRTC_2BPPV1_IMG"),
    Block(0x8A54, PVRTC2BPP, true, true, "GL_COMPRESSED_SRGB_PVRTC_2BPPV1_EXT"),
    Block(0x8A55, PVRTC4BPP, true, true, "GL_COMPRESSED_SRGB_PVRTC_4BPPV1_EXT"),
    Block(0x8A56, PVRTC2BPP, true, false, "GL_COMPRESSED_SRGB_ALPHA_PVRTC_2BPPV1_EXT"),
    Block(0x8A57, PVRTC4BPP, true, false, "GL_COMPRESSED_SRGB_ALPHA_PVRTC_4BPPV1_EXT"),
    Refused(0x9137, "GL_COMPRESSED_RGBA_PVRTC_2BPPV2_IMG"), Refused(0x9138, "GL_COMPRESSED_RGBA_PVRTC_4BPPV2_IMG"),
    Refused(0x93F0, "GL_COMPRESSED_SRGB_ALPHA_PVRTC_2BPPV2_IMG"), Refused(0x93F1, "GL_COMPRESSED_SRGB_ALPHA_PVRTC_4BPPV2_IMG"),
    Block(0x8C92, ATC, false, false, "GL_ATC_RGB_AMD"), Block(0x8C93, ATCA, false, false, "GL_ATC_RGBA_EXPLICIT_ALPHA_AMD"),
    Block(0x87EE, ATCI, false, false, "GL_ATC_RGBA_INTERPOLATED_ALPHA_AMD"),
    // Not drawn: integer formats, formats of fewer bits than their tools write, other compressions.
    Refused(0x8231, "GL_R8I"), Refused(0x8232, "GL_R8UI"), Refused(0x8233, "GL_R16I"), Refused(0x8234, "GL_R16UI"),
    Refused(0x8235, "GL_R32I"), Refused(0x8236, "GL_R32UI"), Refused(0x8237, "GL_RG8I"), Refused(0x8238, "GL_RG8UI"),
    Refused(0x8239, "GL_RG16I"), Refused(0x823A, "GL_RG16UI"), Refused(0x823B, "GL_RG32I"), Refused(0x823C, "GL_RG32UI"),
    Refused(0x8D8F, "GL_RGB8I"), Refused(0x8D7D, "GL_RGB8UI"), Refused(0x8D89, "GL_RGB16I"), Refused(0x8D77, "GL_RGB16UI"),
    Refused(0x8D83, "GL_RGB32I"), Refused(0x8D71, "GL_RGB32UI"), Refused(0x8D8E, "GL_RGBA8I"), Refused(0x8D7C, "GL_RGBA8UI"),
    Refused(0x8D88, "GL_RGBA16I"), Refused(0x8D76, "GL_RGBA16UI"), Refused(0x8D82, "GL_RGBA32I"), Refused(0x8D70, "GL_RGBA32UI"),
    Refused(0x906F, "GL_RGB10_A2UI"),
    Refused(0x8D90, "GL_ALPHA8I_EXT"), Refused(0x8D7E, "GL_ALPHA8UI_EXT"), Refused(0x8D8A, "GL_ALPHA16I_EXT"),
    Refused(0x8D78, "GL_ALPHA16UI_EXT"), Refused(0x8D84, "GL_ALPHA32I_EXT"), Refused(0x8D72, "GL_ALPHA32UI_EXT"),
    Refused(0x8D91, "GL_INTENSITY8I_EXT"), Refused(0x8D7F, "GL_INTENSITY8UI_EXT"), Refused(0x8D8B, "GL_INTENSITY16I_EXT"),
    Refused(0x8D79, "GL_INTENSITY16UI_EXT"), Refused(0x8D85, "GL_INTENSITY32I_EXT"), Refused(0x8D73, "GL_INTENSITY32UI_EXT"),
    Refused(0x8D92, "GL_LUMINANCE8I_EXT"), Refused(0x8D80, "GL_LUMINANCE8UI_EXT"), Refused(0x8D8C, "GL_LUMINANCE16I_EXT"),
    Refused(0x8D7A, "GL_LUMINANCE16UI_EXT"), Refused(0x8D86, "GL_LUMINANCE32I_EXT"), Refused(0x8D74, "GL_LUMINANCE32UI_EXT"),
    Refused(0x8D93, "GL_LUMINANCE_ALPHA8I_EXT"), Refused(0x8D81, "GL_LUMINANCE_ALPHA8UI_EXT"),
    Refused(0x8D8D, "GL_LUMINANCE_ALPHA16I_EXT"), Refused(0x8D7B, "GL_LUMINANCE_ALPHA16UI_EXT"),
    Refused(0x8D87, "GL_LUMINANCE_ALPHA32I_EXT"), Refused(0x8D75, "GL_LUMINANCE_ALPHA32UI_EXT"),
    Refused(0x2A10, "GL_R3_G3_B2"), Refused(0x804E, "GL_RGB2_EXT"), Refused(0x804F, "GL_RGB4"), Refused(0x8050, "GL_RGB5"),
    Refused(0x8052, "GL_RGB10"), Refused(0x8053, "GL_RGB12"), Refused(0x8055, "GL_RGBA2"), Refused(0x805A, "GL_RGBA12"),
    Refused(0x803B, "GL_ALPHA4"), Refused(0x803D, "GL_ALPHA12"), Refused(0x803F, "GL_LUMINANCE4"),
    Refused(0x8041, "GL_LUMINANCE12"), Refused(0x8043, "GL_LUMINANCE4_ALPHA4"), Refused(0x8044, "GL_LUMINANCE6_ALPHA2"),
    Refused(0x8046, "GL_LUMINANCE12_ALPHA4"), Refused(0x8047, "GL_LUMINANCE12_ALPHA12"), Refused(0x804A, "GL_INTENSITY4"),
    Refused(0x804C, "GL_INTENSITY12"), Refused(0x9014, "GL_ALPHA8_SNORM"), Refused(0x9015, "GL_LUMINANCE8_SNORM"),
    Refused(0x9016, "GL_LUMINANCE8_ALPHA8_SNORM"), Refused(0x9017, "GL_INTENSITY8_SNORM"), Refused(0x9018, "GL_ALPHA16_SNORM"),
    Refused(0x9019, "GL_LUMINANCE16_SNORM"), Refused(0x901A, "GL_LUMINANCE16_ALPHA16_SNORM"),
    Refused(0x901B, "GL_INTENSITY16_SNORM"),
    Refused(0x84E9, "GL_COMPRESSED_ALPHA"), Refused(0x84EA, "GL_COMPRESSED_LUMINANCE"),
    Refused(0x84EB, "GL_COMPRESSED_LUMINANCE_ALPHA"), Refused(0x84EC, "GL_COMPRESSED_INTENSITY"),
    Refused(0x84ED, "GL_COMPRESSED_RGB"), Refused(0x84EE, "GL_COMPRESSED_RGBA"), Refused(0x8C48, "GL_COMPRESSED_SRGB"),
    Refused(0x8C49, "GL_COMPRESSED_SRGB_ALPHA"), Refused(0x8C4A, "GL_COMPRESSED_SLUMINANCE"),
    Refused(0x8C4B, "GL_COMPRESSED_SLUMINANCE_ALPHA"), Refused(0x8225, "GL_COMPRESSED_RED"), Refused(0x8226, "GL_COMPRESSED_RG"),
    Refused(0x86B0, "GL_COMPRESSED_RGB_FXT1_3DFX"), Refused(0x86B1, "GL_COMPRESSED_RGBA_FXT1_3DFX"),
    Refused(0x8C70, "GL_COMPRESSED_LUMINANCE_LATC1_EXT"), Refused(0x8C71, "GL_COMPRESSED_SIGNED_LUMINANCE_LATC1_EXT"),
    Refused(0x8C72, "GL_COMPRESSED_LUMINANCE_ALPHA_LATC2_EXT"),
    Refused(0x8C73, "GL_COMPRESSED_SIGNED_LUMINANCE_ALPHA_LATC2_EXT"),
    Refused(0x83A1, "GL_RGB4_S3TC"), Refused(0x83A3, "GL_RGBA4_S3TC"), Refused(0x83A5, "GL_RGBA4_DXT5_S3TC"),
    Refused(0x8B90, "GL_PALETTE4_RGB8_OES"), Refused(0x8B91, "GL_PALETTE4_RGBA8_OES"),
    Refused(0x8B92, "GL_PALETTE4_R5_G6_B5_OES"), Refused(0x8B93, "GL_PALETTE4_RGBA4_OES"),
    Refused(0x8B94, "GL_PALETTE4_RGB5_A1_OES"), Refused(0x8B95, "GL_PALETTE8_RGB8_OES"),
    Refused(0x8B96, "GL_PALETTE8_RGBA8_OES"), Refused(0x8B97, "GL_PALETTE8_R5_G6_B5_OES"),
    Refused(0x8B98, "GL_PALETTE8_RGBA4_OES"), Refused(0x8B99, "GL_PALETTE8_RGB5_A1_OES"),
};
// clang-format on

template <size_t N>
const KtxFormat* Find(const KtxFormat (&table)[N], uint32_t code) {
  for (const KtxFormat& row : table) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

const char* VkFormatName(uint32_t code) {
  for (const KtxFormatName& row : kVkNames) {
    if (row.code == code) return row.name;
  }
  return nullptr;
}

const KtxFormat* VkDrawnFormat(uint32_t code) { return Find(kVkDrawn, code); }

const KtxFormatName* VkFormatNames(size_t* count) {
  *count = sizeof kVkNames / sizeof kVkNames[0];
  return kVkNames;
}

const KtxFormat* GlFormat(uint32_t internalFormat) { return Find(kGl, internalFormat); }

const KtxFormat* GlFormats(size_t* count) {
  *count = sizeof kGl / sizeof kGl[0];
  return kGl;
}

}  // namespace mirelth
