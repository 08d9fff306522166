// The table of encodings and the conversion entry. A new encoding is one row here and its decoder.
#include "encodings/encoding.h"

#include <cstddef>

#include "encodings/blocks/blocks.h"
#include "encodings/described.h"
#include "io/limits.h"

namespace mirelth {
namespace {

using enum PixelFormat;
constexpr Walk kP = Walk::kPixels, kB = Walk::kBlocks;
constexpr EncodingAlpha kNoAlpha = EncodingAlpha::kNone, kOneBit = EncodingAlpha::kOneBit,
                        kAlpha = EncodingAlpha::kAlpha, kLayout = EncodingAlpha::kLayout;

// Indexed by code. Plain rows: 1 x 1 "blocks" of their bytes per pixel.
constexpr Encoding kEncodings[] = {
    {kNone, "none", Walk::kNone, 0, 0, 0, false, kNoAlpha, false, nullptr, nullptr, nullptr},
    {X4R4G4B4, "X4R4G4B4", kP, 1, 1, 2, true, kNoAlpha, false, ConvertFromX4R4G4B4, nullptr, nullptr},
    {R5G6B5, "R5G6B5", kP, 1, 1, 2, true, kNoAlpha, false, ConvertFromR5G6B5, nullptr, nullptr},
    {kReserved3, "X4R4G4B4", kP, 1, 1, 2, true, kNoAlpha, false, ConvertFromX4R4G4B4, nullptr, nullptr},
    {A1R5G5B5, "A1R5G5B5", kP, 1, 1, 2, true, kOneBit, false, ConvertFromA1R5G5B5, nullptr, nullptr},
    {A4R4G4B4, "A4R4G4B4", kP, 1, 1, 2, true, kAlpha, false, ConvertFromA4R4G4B4, nullptr, nullptr},
    {R8G8B8, "R8G8B8", kP, 1, 1, 3, true, kNoAlpha, false, ConvertFromR8G8B8, nullptr, nullptr},
    {A8R8G8B8, "A8R8G8B8", kP, 1, 1, 4, true, kAlpha, false, ConvertFromA8R8G8B8, nullptr, nullptr},
    {DXT1, "DXT1", kB, 4, 4, 8, true, kOneBit, false, ConvertFromBlocks, DecodeDXT1Block, DecodeDXT1Texel,
     DecodeDXT1Texels, nullptr, nullptr, nullptr, nullptr, DecodeDXT1Run},
    {DXT3, "DXT3", kB, 4, 4, 16, true, kAlpha, false, ConvertFromBlocks, DecodeDXT3Block, nullptr, nullptr, nullptr,
     nullptr, nullptr, nullptr, DecodeDXT3Run},
    {DXT5, "DXT5", kB, 4, 4, 16, true, kAlpha, false, ConvertFromBlocks, DecodeDXT5Block, DecodeDXT5Texel,
     DecodeDXT5Texels, nullptr, nullptr, nullptr, nullptr, DecodeDXT5Run},
    {ATC, "ATC", kB, 4, 4, 8, true, kNoAlpha, false, ConvertFromBlocks, DecodeATCBlock, nullptr},
    {ATCA, "ATCA", kB, 4, 4, 16, true, kAlpha, false, ConvertFromBlocks, DecodeATCABlock, nullptr},
    {ATCI, "ATCI", kB, 4, 4, 16, true, kAlpha, false, ConvertFromBlocks, DecodeATCIBlock, nullptr},
    {ETC1, "ETC1", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeETC1Block, DecodeETC1Texel},
    {X1R5G5B5, "X1R5G5B5", kP, 1, 1, 2, true, kNoAlpha, false, ConvertFromX1R5G5B5, nullptr, nullptr},
    {X8R8G8B8, "X8R8G8B8", kP, 1, 1, 4, true, kNoAlpha, false, ConvertFromX8R8G8B8, nullptr, nullptr},
    {kDescribed, "described", kP, 1, 1, 0, false, kLayout, false, ConvertFromDescribed, nullptr, nullptr, nullptr,
     ConvertFromDescribedToFloat},
    {RGB9E5, "RGB9E5", kP, 1, 1, 4, false, kNoAlpha, true, ConvertFromRGB9E5, nullptr, nullptr, nullptr,
     ConvertFromRGB9E5ToFloat},
    {RGBG8888, "RGBG8888", kB, 2, 1, 4, false, kNoAlpha, false, ConvertFromBlocks, DecodeRGBGBlock, nullptr},
    {GRGB8888, "GRGB8888", kB, 2, 1, 4, false, kNoAlpha, false, ConvertFromBlocks, DecodeGRGBBlock, nullptr},
    {BC4U, "BC4 unsigned", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeBC4UBlock, DecodeBC4UTexel},
    {BC4S, "BC4 signed", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeBC4SBlock, DecodeBC4STexel},
    {BC5U, "BC5 unsigned", kB, 4, 4, 16, false, kNoAlpha, false, ConvertFromBlocks, DecodeBC5UBlock, DecodeBC5UTexel},
    {BC5S, "BC5 signed", kB, 4, 4, 16, false, kNoAlpha, false, ConvertFromBlocks, DecodeBC5SBlock, DecodeBC5STexel},
    {BC6HU, "BC6H unsigned", kB, 4, 4, 16, false, kNoAlpha, true, ConvertFromBlocks, DecodeBC6HUBlock, nullptr, nullptr,
     nullptr, DecodeBC6HUFloatBlock, DecodeBC6HUFloatTexel},
    {BC6HS, "BC6H signed", kB, 4, 4, 16, false, kNoAlpha, true, ConvertFromBlocks, DecodeBC6HSBlock, nullptr, nullptr,
     nullptr, DecodeBC6HSFloatBlock, DecodeBC6HSFloatTexel},
    {BC7, "BC7", kB, 4, 4, 16, false, kAlpha, false, ConvertFromBlocks, DecodeBC7Block, DecodeBC7Texel},
    {ETC2RGB, "ETC2 RGB", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeETC2RGBBlock,
     DecodeETC2RGBTexel},
    {ETC2RGBA, "ETC2 RGBA", kB, 4, 4, 16, false, kAlpha, false, ConvertFromBlocks, DecodeETC2RGBABlock,
     DecodeETC2RGBATexel},
    {ETC2RGBA1, "ETC2 RGB A1", kB, 4, 4, 8, false, kOneBit, false, ConvertFromBlocks, DecodeETC2RGBA1Block,
     DecodeETC2RGBA1Texel},
    {EACR11U, "EAC R11 unsigned", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeEACR11UBlock,
     DecodeEACR11UTexel, nullptr, nullptr, nullptr, nullptr, nullptr, DecodeEACR11URun},
    {EACR11S, "EAC R11 signed", kB, 4, 4, 8, false, kNoAlpha, false, ConvertFromBlocks, DecodeEACR11SBlock,
     DecodeEACR11STexel, nullptr, nullptr, nullptr, nullptr, nullptr, DecodeEACR11SRun},
    {EACRG11U, "EAC RG11 unsigned", kB, 4, 4, 16, false, kNoAlpha, false, ConvertFromBlocks, DecodeEACRG11UBlock,
     DecodeEACRG11UTexel},
    {EACRG11S, "EAC RG11 signed", kB, 4, 4, 16, false, kNoAlpha, false, ConvertFromBlocks, DecodeEACRG11SBlock,
     DecodeEACRG11STexel},
    {PVRTC2BPP, "PVRTC 2 bpp", Walk::kPvrtc, 8, 4, 8, false, kAlpha, false, ConvertFromPvrtc, nullptr, nullptr},
    {PVRTC4BPP, "PVRTC 4 bpp", Walk::kPvrtc, 4, 4, 8, false, kAlpha, false, ConvertFromPvrtc, nullptr, nullptr},
    {ASTC4x4, "ASTC 4x4", kB, 4, 4, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC5x4, "ASTC 5x4", kB, 5, 4, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC5x5, "ASTC 5x5", kB, 5, 5, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC6x5, "ASTC 6x5", kB, 6, 5, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC6x6, "ASTC 6x6", kB, 6, 6, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC8x5, "ASTC 8x5", kB, 8, 5, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC8x6, "ASTC 8x6", kB, 8, 6, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC8x8, "ASTC 8x8", kB, 8, 8, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC10x5, "ASTC 10x5", kB, 10, 5, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC10x6, "ASTC 10x6", kB, 10, 6, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC10x8, "ASTC 10x8", kB, 10, 8, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr, nullptr,
     nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC10x10, "ASTC 10x10", kB, 10, 10, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr,
     nullptr, nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC12x10, "ASTC 12x10", kB, 12, 10, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr,
     nullptr, nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {ASTC12x12, "ASTC 12x12", kB, 12, 12, 16, false, kAlpha, false, ConvertFromBlocks, DecodeASTCBlock, nullptr,
     nullptr, nullptr, DecodeASTCFloatBlock, nullptr, DecodeASTCTexelSet},
    {PAL8, "8-bit palette", kP, 1, 1, 1, false, kAlpha, false, ConvertFromPalette8, nullptr, nullptr},
    {UASTC, "UASTC", kB, 4, 4, 16, false, kAlpha, false, ConvertFromBlocks, DecodeUASTCBlock, DecodeUASTCTexel},
};

// Every code has exactly one row, at its own index, of a sound shape. (That every row has its functions is
// checked by a test: compilers cannot always compare function addresses at compile time, under sanitizers.)
constexpr bool TableIsComplete() {
  if (sizeof kEncodings / sizeof kEncodings[0] != static_cast<size_t>(kPixelFormatCount)) return false;
  for (int32_t i = 0; i < kPixelFormatCount; ++i) {
    const Encoding& e = kEncodings[i];
    if (static_cast<int32_t>(e.code) != i || !e.name) return false;
    if (i == 0) continue;
    if (e.blockWidth < 1 || e.blockHeight < 1) return false;
    if (e.blockWidth > kMaxBlockWidth || e.blockHeight > kMaxBlockHeight) return false;
    if (e.walk == Walk::kBlocks && e.blockBytes == 0) return false;
    if (e.walk == Walk::kPixels && (e.blockWidth != 1 || e.blockHeight != 1)) return false;
    if ((e.alpha == EncodingAlpha::kLayout) != (e.code == PixelFormat::kDescribed)) return false;
  }
  return true;
}
static_assert(TableIsComplete(), "every PixelFormat code needs exactly one complete row in kEncodings");

}  // namespace

bool IsHdrLevel(PixelFormat format, const PixelLayout* layout, bool hdrBlocks) {
  const Encoding* e = EncodingOf(format);
  if (!e) return false;
  if (e->hdr || (hdrBlocks && e->decodeFloatBlock)) return true;
  if (format != PixelFormat::kDescribed || !layout) return false;
  for (const ChannelField& f : layout->channel) {
    if (f.type == ChannelType::kFloat || f.type == ChannelType::kUFloat) return true;
  }
  return false;
}

const Encoding* EncodingOf(PixelFormat format) {
  const auto index = static_cast<uint32_t>(format);
  return index < static_cast<uint32_t>(kPixelFormatCount) && index != 0 ? &kEncodings[index] : nullptr;
}

int32_t BlockBytes(PixelFormat format) {
  const Encoding* e = EncodingOf(format);
  return e && e->walk != Walk::kPixels ? e->blockBytes : 0;
}

int32_t BitsPerPixel(PixelFormat format) {
  const Encoding* e = EncodingOf(format);
  return e && e->walk == Walk::kPixels ? 8 * e->blockBytes : 0;
}

const char* PixelFormatName(PixelFormat format) {
  if (format == kNone) return "none";
  const Encoding* e = EncodingOf(format);
  return e ? e->name : "unknown";
}

bool LevelBytes(PixelFormat format, uint32_t bytesPerPixel, uint64_t width, uint64_t height, uint64_t* bytes,
                uint64_t* pitch) {
  const Encoding* e = EncodingOf(format);
  if (!e) return false;
  const uint64_t unitBytes = e->walk == Walk::kPixels && e->blockBytes == 0 ? bytesPerPixel : e->blockBytes;
  if (unitBytes == 0 || width > UINT32_MAX || height > UINT32_MAX) return false;
  uint64_t across = (width + e->blockWidth - 1) / e->blockWidth;
  uint64_t down = (height + e->blockHeight - 1) / e->blockHeight;
  if (e->walk == Walk::kPvrtc) {
    // Every PVRTC level holds at least 2 x 2 words.
    across = across < 2 ? 2 : across;
    down = down < 2 ? 2 : down;
  }
  return CheckedMultiply(across, unitBytes, pitch) && CheckedMultiply(*pitch, down, bytes);
}

Converter ConverterFor(PixelFormat format) {
  const Encoding* e = EncodingOf(format);
  return e ? e->convert : nullptr;
}

void ConvertPixels(const ConvertJob& job) {
  const Encoding* e = EncodingOf(job.format);
  if (!e || job.width <= 0 || job.height <= 0 || !job.destination || !job.source) return;
  e->convert(job);
  // The fixed plain converters write any destination order themselves; the others write BGRA.
  const bool writesAnyOrder = e->walk == Walk::kPixels && e->usesOrder;
  if (!writesAnyOrder && job.destinationOrder != ChannelOrder::BGRA) {
    ReorderChannels(job.destination, job.destinationPitch, job.width, job.height, ChannelOrder::BGRA,
                    job.destinationOrder);
  }
}

void ConvertPixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t sourcePitch,
                   PixelFormat format, ChannelOrder order, int32_t width, int32_t height, bool flip) {
  ConvertJob job;
  job.destination = destination;
  job.destinationPitch = destinationPitch;
  job.source = source;
  job.sourcePitch = sourcePitch;
  job.sourceOrder = order;
  job.width = width;
  job.height = height;
  job.flip = flip;
  job.format = format;
  ConvertPixels(job);
}

}  // namespace mirelth
