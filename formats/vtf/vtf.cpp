#include "formats/vtf/vtf.h"

#include <cstdio>
#include <cstring>

#include "encodings/encoding.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using CT = ChannelType;

// Header offsets (the 7.x layout is packed: the low-resolution format and the depth sit unaligned).
constexpr uint32_t kOffsetVersion = 4, kOffsetHeaderSize = 12, kOffsetWidth = 16, kOffsetHeight = 18;
constexpr uint32_t kOffsetFlags = 20, kOffsetFrames = 24, kOffsetStartFrame = 26, kOffsetFormat = 52;
constexpr uint32_t kOffsetMipCount = 56, kOffsetLowFormat = 57, kOffsetLowWidth = 61, kOffsetLowHeight = 62;
constexpr uint32_t kOffsetDepth = 63, kOffsetResourceCount = 68, kResources = 80;
constexpr uint32_t kBaseHeaderBytes = 64, kDepthHeaderBytes = 80;
// Flags.
// The one-bit alpha flag is described; what alpha is drawn is the encoding's (the eight-bit flag, 0x2000, adds
// nothing to it).
constexpr uint32_t kFlagSrgb = 0x40, kFlagNormal = 0x80, kFlagOneBitAlpha = 0x1000;
constexpr uint32_t kFlagEnvironmentMap = 0x4000;
// Resource tags (three bytes) and the flag of entries that carry their value inline.
// Only the high-resolution image's entry is read: the low-resolution thumbnail (tag 1), CRC, LOD and any other
// entries are skipped.
constexpr uint32_t kTagHighRes = 0x000030;
constexpr uint8_t kResourceNoData = 0x02;
constexpr uint32_t kMaxResources = 32;

// Every image format of the VTF definition, by number: what is drawn and how.
struct FormatRow {
  const char* name;
  PixelFormat format;  // kNone: refused
  ChannelOrder order;
  PixelLayout layout;  // kDescribed
};
constexpr ChannelField Field(CT type, uint8_t shift, uint8_t bits) { return {type, shift, bits}; }
constexpr PixelLayout Layout(uint8_t bytes, ChannelField r, ChannelField g, ChannelField b, ChannelField a,
                             bool gray = false) {
  return {bytes, {r, g, b, a}, gray, false};
}
constexpr ChannelField kNo{};
constexpr ChannelOrder kRgba = ChannelOrder::RGBA, kBgra = ChannelOrder::BGRA, kArgb = ChannelOrder::ARGB,
                       kAbgr = ChannelOrder::ABGR;

// clang-format off
constexpr FormatRow kFormats[] = {
    {"RGBA8888", A8R8G8B8, kRgba, {}},
    {"ABGR8888", A8R8G8B8, kAbgr, {}},
    {"RGB888", R8G8B8, kRgba, {}},
    {"BGR888", R8G8B8, kBgra, {}},
    // RGB565: red in the low bits (BGR565 is the Direct3D R5G6B5).
    {"RGB565", kDescribed, kBgra, Layout(2, Field(CT::kUnorm, 0, 5), Field(CT::kUnorm, 5, 6), Field(CT::kUnorm, 11, 5), kNo)},
    {"I8", kDescribed, kBgra, Layout(1, Field(CT::kUnorm, 0, 8), kNo, kNo, kNo, true)},
    {"IA88", kDescribed, kBgra, Layout(2, Field(CT::kUnorm, 0, 8), kNo, kNo, Field(CT::kUnorm, 8, 8), true)},
    {"P8", kNone, kBgra, {}},
    {"A8", kDescribed, kBgra, Layout(1, kNo, kNo, kNo, Field(CT::kUnorm, 0, 8))},
    {"RGB888_BLUESCREEN", kNone, kBgra, {}},
    {"BGR888_BLUESCREEN", kNone, kBgra, {}},
    {"ARGB8888", A8R8G8B8, kArgb, {}},
    {"BGRA8888", A8R8G8B8, kBgra, {}},
    {"DXT1", DXT1, kBgra, {}},
    {"DXT3", DXT3, kBgra, {}},
    {"DXT5", DXT5, kBgra, {}},
    {"BGRX8888", X8R8G8B8, kBgra, {}},
    {"BGR565", R5G6B5, kBgra, {}},
    {"BGRX5551", X1R5G5B5, kBgra, {}},
    {"BGRA4444", A4R4G4B4, kBgra, {}},
    {"DXT1_ONEBITALPHA", DXT1, kBgra, {}},
    {"BGRA5551", A1R5G5B5, kBgra, {}},
    // UV88 and UVWQ8888: signed normalised channels.
    {"UV88", kDescribed, kBgra, Layout(2, Field(CT::kSnorm, 0, 8), Field(CT::kSnorm, 8, 8), kNo, kNo)},
    {"UVWQ8888", kDescribed, kBgra,
     Layout(4, Field(CT::kSnorm, 0, 8), Field(CT::kSnorm, 8, 8), Field(CT::kSnorm, 16, 8), Field(CT::kSnorm, 24, 8))},
    {"RGBA16161616F", kDescribed, kBgra,
     Layout(8, Field(CT::kFloat, 0, 16), Field(CT::kFloat, 16, 16), Field(CT::kFloat, 32, 16), Field(CT::kFloat, 48, 16))},
    {"RGBA16161616", kDescribed, kBgra,
     Layout(8, Field(CT::kUnorm, 0, 16), Field(CT::kUnorm, 16, 16), Field(CT::kUnorm, 32, 16), Field(CT::kUnorm, 48, 16))},
    {"UVLX8888", kNone, kBgra, {}},
    {"R32F", kNone, kBgra, {}},
    {"RGB323232F", kNone, kBgra, {}},
    {"RGBA32323232F", kNone, kBgra, {}},
    {"NV_DST16", kNone, kBgra, {}},
    {"NV_DST24", kNone, kBgra, {}},
    {"NV_INTZ", kNone, kBgra, {}},
    {"NV_RAWZ", kNone, kBgra, {}},
    {"ATI_DST16", kNone, kBgra, {}},
    {"ATI_DST24", kNone, kBgra, {}},
    {"NV_NULL", kNone, kBgra, {}},
    {"ATI2N", BC5U, kBgra, {}},
    {"ATI1N", BC4U, kBgra, {}},
};
// clang-format on
constexpr uint32_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

struct VtfHeader {
  uint32_t minor = 0, headerSize = 0, flags = 0;
  int32_t width = 0, height = 0;
  uint32_t frames = 1, startFrame = 0, depth = 1, mipCount = 1, faces = 1;
  int32_t format = -1, lowFormat = -1;
  uint32_t lowWidth = 0, lowHeight = 0;
  uint64_t data = 0;  // the high-resolution image's first byte
};

// Bytes of one image (frame, face or slice) of `format` at a size.
bool ImageBytes(const FormatRow& row, uint64_t width, uint64_t height, uint64_t* bytes) {
  uint64_t pitch = 0;
  return LevelBytes(row.format, row.layout.bytesPerPixel, width, height, bytes, &pitch);
}

bool ReadHeader(ByteSource& source, VtfHeader* h, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kDepthHeaderBytes] = {};
  const size_t magicBytes = static_cast<size_t>(size < 4 ? size : 4);
  if (!source.Read(0, header, magicBytes, failure)) return false;
  if (size == 0 || std::memcmp(header, "VTF\0", magicBytes) != 0) {
    return Fail(failure, FailureKind::NotThisFormat, "not a VTF file (no \"VTF\" signature)");
  }
  if (size < kBaseHeaderBytes) return FailTruncated(failure, size, kBaseHeaderBytes, "the VTF header");
  if (!source.Read(0, header, static_cast<size_t>(size < kDepthHeaderBytes ? size : kDepthHeaderBytes), failure)) {
    return false;
  }
  const auto u32 = [&](uint32_t at) { return ByteReader::U32LENoBoundsCheck(header + at); };
  const auto u16 = [&](uint32_t at) { return ByteReader::U16LENoBoundsCheck(header + at); };
  const uint32_t major = u32(kOffsetVersion);
  h->minor = u32(kOffsetVersion + 4);
  if (major != 7 || h->minor > 5) {
    return Fail(failure, FailureKind::Unsupported, "VTF version %u.%u", static_cast<unsigned>(major),
                static_cast<unsigned>(h->minor));
  }
  h->headerSize = u32(kOffsetHeaderSize);
  const uint32_t needed = h->minor >= 2 ? kDepthHeaderBytes : kBaseHeaderBytes;
  if (size < needed) return FailTruncated(failure, size, needed, "the VTF header");
  h->width = u16(kOffsetWidth);
  h->height = u16(kOffsetHeight);
  h->flags = u32(kOffsetFlags);
  h->frames = u16(kOffsetFrames) ? u16(kOffsetFrames) : 1;
  h->startFrame = u16(kOffsetStartFrame);
  h->format = static_cast<int32_t>(u32(kOffsetFormat));
  h->mipCount = header[kOffsetMipCount] ? header[kOffsetMipCount] : 1;
  h->lowFormat = static_cast<int32_t>(u32(kOffsetLowFormat));
  h->lowWidth = header[kOffsetLowWidth];
  h->lowHeight = header[kOffsetLowHeight];
  if (h->minor >= 2) h->depth = u16(kOffsetDepth) ? u16(kOffsetDepth) : 1;
  // Environment maps: six faces, and before 7.5 a seventh (a sphere map) unless the start frame says otherwise.
  if (h->flags & kFlagEnvironmentMap) h->faces = h->minor < 5 && h->startFrame != 0xFFFF ? 7 : 6;
  // The header's size is the version's: 64 up to 7.1, 80 in 7.2, 80 and the resource entries from 7.3.
  uint32_t resources = 0;
  if (h->minor >= 3) resources = u32(kOffsetResourceCount);
  const uint64_t expected = h->minor < 2 ? kBaseHeaderBytes : kDepthHeaderBytes + uint64_t{8} * resources;
  if (h->headerSize != expected || resources > kMaxResources) {
    return Fail(failure, FailureKind::InvalidHeader, "VTF %u.%u header size %u (%llu expected, %u resources)",
                static_cast<unsigned>(major), static_cast<unsigned>(h->minor), static_cast<unsigned>(h->headerSize),
                static_cast<unsigned long long>(expected), static_cast<unsigned>(resources));
  }
  if (h->minor < 3) {
    // The low-resolution thumbnail, then the high-resolution image.
    uint64_t low = 0;
    const bool hasLow = h->lowFormat >= 0 && h->lowWidth && h->lowHeight;
    if (hasLow) {
      if (static_cast<uint32_t>(h->lowFormat) >= kFormatCount || kFormats[h->lowFormat].format == kNone ||
          !ImageBytes(kFormats[h->lowFormat], h->lowWidth, h->lowHeight, &low)) {
        return Fail(failure, FailureKind::InvalidHeader, "VTF low-resolution format %d",
                    static_cast<int>(h->lowFormat));
      }
    }
    h->data = h->headerSize + low;
    return true;
  }
  // 7.3 and later: the resource dictionary.
  if (!source.Has(kResources, uint64_t{8} * resources)) {
    return FailTruncated(failure, size, kResources + uint64_t{8} * resources, "the VTF resource dictionary");
  }
  bool found = false;
  for (uint32_t i = 0; i < resources; ++i) {
    uint8_t entry[8];
    if (!source.Read(kResources + 8 * i, entry, 8, failure)) return false;
    const uint32_t tag = uint32_t{entry[0]} | uint32_t{entry[1]} << 8 | uint32_t{entry[2]} << 16;
    const uint8_t flags = entry[3];
    const uint32_t value = ByteReader::U32LENoBoundsCheck(entry + 4);
    if (tag == kTagHighRes && !(flags & kResourceNoData)) {
      h->data = value;
      found = true;
    }
  }
  if (!found) return Fail(failure, FailureKind::InvalidHeader, "VTF without a high-resolution image resource");
  return true;
}

void Describe(const VtfHeader& h, const FormatRow& row, const LevelChain& chain, Facts* facts) {
  if (!facts) return;
  DescribeTexture(chain, facts);
  facts->SetEncoding("%s", row.name);
  facts->faces = h.faces;
  facts->layers = h.frames;
  facts->surfaces = h.frames * h.faces;
  facts->depth = h.depth;
  if (h.minor >= 4 && (h.flags & kFlagSrgb)) facts->colourSpace = ColourSpace::kSrgb;
  std::snprintf(facts->details, sizeof facts->details, "VTF 7.%u, %u frame%s%s%s%s%s", static_cast<unsigned>(h.minor),
                static_cast<unsigned>(h.frames), h.frames == 1 ? "" : "s",
                (h.flags & kFlagNormal) ? ", normal map" : "", (h.flags & kFlagOneBitAlpha) ? ", one-bit alpha" : "",
                (h.flags & kFlagEnvironmentMap) ? ", environment map" : "",
                (h.minor >= 4 && (h.flags & kFlagSrgb)) ? ", sRGB" : "");
}

}  // namespace

bool OpenVtf(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  VtfHeader h;
  if (!ReadHeader(source, &h, failure)) return false;
  if (h.format < 0 || static_cast<uint32_t>(h.format) >= kFormatCount) {
    return Fail(failure, FailureKind::Unsupported, "VTF image format %d", static_cast<int>(h.format));
  }
  const FormatRow& row = kFormats[h.format];
  if (row.format == kNone) return Fail(failure, FailureKind::Unsupported, "VTF image format %s", row.name);
  if (!CheckPictureSize(h.width, h.height, options, failure)) return false;
  SourceImage drawing;
  drawing.source = &source;
  drawing.format = row.format;
  drawing.order = row.order;
  drawing.layout = row.layout;
  // Mips smallest first: mip k's images (frames x faces x its slices) start after every smaller mip's.
  const uint32_t mips = h.mipCount > kMaxLevels ? kMaxLevels : h.mipCount;
  uint64_t offsets[kMaxLevels] = {}, at = h.data;
  for (uint32_t k = mips; k-- > 0;) {
    const uint64_t w = std::max<uint64_t>(1, uint64_t(h.width) >> k),
                   hh = std::max<uint64_t>(1, uint64_t(h.height) >> k);
    const uint64_t slices = std::max<uint64_t>(1, uint64_t{h.depth} >> k);
    uint64_t image = 0, images = 0, bytes = 0;
    if (!ImageBytes(row, w, hh, &image) || !CheckedMultiply(uint64_t{h.frames} * h.faces, slices, &images) ||
        !CheckedMultiply(image, images, &bytes)) {
      return Fail(failure, FailureKind::TooLarge, "VTF mip %u", static_cast<unsigned>(k));
    }
    // A closer look at another frame or face: that many images (of every slice) into the mip.
    const uint64_t surface = options.surface < uint64_t{h.frames} * h.faces ? options.surface : 0;
    offsets[k] = at + surface * image * slices;
    if (!CheckedAdd(at, bytes, &at)) return Fail(failure, FailureKind::TooLarge, "VTF images");
  }
  LevelChain chain;
  for (uint32_t k = 0; k < mips; ++k) {
    const int32_t w = std::max(1, h.width >> k), hh = std::max(1, h.height >> k);
    if (!AddLevel(&chain, drawing, w, hh, offsets[k], false, 0)) {
      if (k == 0) {
        SourceImage level0 = drawing;
        level0.width = h.width, level0.height = h.height, level0.offset = offsets[0];
        if (!SizeLevel(&level0, failure)) return false;
        return CheckLevelFits(level0, "the VTF image", failure);
      }
      break;  // a smaller mip that does not fit: the chain stops there (they are stored first, so rare)
    }
  }
  Describe(h, row, chain, options.facts);
  return TexturePictureOf(chain, picture, failure);
}

}  // namespace mirelth
