// DDS container: header validation, recognition of the pixel layout and the proof that level 0 lies in the
// file. All header fields are little-endian; width and height are read as signed values. DDS stores rows
// top-down; the bitmap is bottom-up, so level 0 is converted with flip set.
#include "formats/dds/dds.h"

#include <cctype>
#include <cstring>

#include "pixels/byte_reader.h"
#include "pixels/limits.h"
#include "pixels/sampling.h"

namespace mirelth {
namespace {

// Header flags (file offset 8).
constexpr uint32_t kFlagCaps = 0x1, kFlagHeight = 0x2, kFlagWidth = 0x4, kFlagPixelFormat = 0x1000;
constexpr uint32_t kFlagMipMapCount = 0x20000;
constexpr uint32_t kRequiredFlags = kFlagCaps | kFlagHeight | kFlagWidth | kFlagPixelFormat;
// Pixel-format flags (file offset 80).
constexpr uint32_t kPixelFourCC = 0x4, kPixelRgb = 0x40;
// Caps (offset 108) and caps2 (offset 112).
constexpr uint32_t kCapsComplex = 0x8, kCapsTexture = 0x1000, kCapsMipMap = 0x400000;
constexpr uint32_t kCaps2CubeMap = 0x200;

// File offsets of the fields read.
constexpr uint32_t kOffsetFlags = 8, kOffsetHeight = 12, kOffsetWidth = 16, kOffsetMipMapCount = 28;
constexpr uint32_t kOffsetPixelFlags = 80, kOffsetFourCC = 84, kOffsetBitCount = 88, kOffsetMasks = 92;
constexpr uint32_t kOffsetCaps = 108, kOffsetCaps2 = 112;

constexpr uint32_t FourCC(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
         uint32_t(uint8_t(text[3])) << 24;
}

// The plain layouts we draw. An alpha mask of 0 means the layout has no alpha: it is drawn opaque.
struct MaskRow {
  uint32_t bitCount, red, green, blue, alpha;
  int32_t format, order;
};
constexpr MaskRow kMaskTable[] = {
    {16, 0xF800, 0x07E0, 0x001F, 0, R5G6B5, BGRA},
    {16, 0x0F00, 0x00F0, 0x000F, 0, X4R4G4B4, BGRA},
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000, A4R4G4B4, BGRA},
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000, A1R5G5B5, BGRA},
    {16, 0x7C00, 0x03E0, 0x001F, 0, X1R5G5B5, BGRA},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, A8R8G8B8, BGRA},
    {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, A8R8G8B8, RGBA},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, X8R8G8B8, BGRA},
    {32, 0xFF, 0xFF00, 0xFF0000, 0, X8R8G8B8, RGBA},
};
// 24-bit pixels have no room for alpha; only the colour masks decide.
struct Mask24Row {
  uint32_t red, green, blue;
  int32_t order;
};
constexpr Mask24Row kMask24Table[] = {
    {0xFF0000, 0xFF00, 0xFF, BGRA},  // B, G, R in memory
    {0xFF, 0xFF00, 0xFF0000, RGBA},  // R, G, B in memory
};

struct FourCCRow {
  uint32_t fourCC;
  int32_t format;
};
constexpr FourCCRow kFourCCTable[] = {
    {FourCC("DXT1"), DXT1}, {FourCC("DXT3"), DXT3}, {FourCC("DXT5"), DXT5}, {FourCC("ATC "), ATC},
    {FourCC("ATCA"), ATCA}, {FourCC("ATCI"), ATCI}, {FourCC("ETC "), ETC1},
};

void DescribeFourCC(uint32_t fourCC, char (&text)[24]) {
  char chars[5] = {};
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    chars[i] = static_cast<char>((fourCC >> (8 * i)) & 0xFF);
    if (!std::isprint(static_cast<unsigned char>(chars[i]))) printable = false;
  }
  if (printable) {
    std::snprintf(text, sizeof text, "\"%s\"", chars);
  } else {
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(fourCC));
  }
}

}  // namespace

int32_t ParseDdsHeader(DdsTextureInfo* info, const uint8_t* fileData, uint32_t fileSize, DecodeFailure* failure,
                       uint64_t maxPixels) {
  const ByteReader file(fileData, fileSize);
  static constexpr uint8_t kMagic[4] = {'D', 'D', 'S', ' '};
  const uint64_t magicBytes = fileSize < 4 ? fileSize : 4;
  if (!fileData || std::memcmp(fileData, kMagic, magicBytes) != 0) {
    Fail(failure, FailureKind::NotThisFormat, "not a DDS file (no \"DDS \" magic)");
    return -1;
  }
  if (fileSize < kDdsHeaderBytes) {
    FailTruncated(failure, fileSize, kDdsHeaderBytes, "the DDS header");
    return -1;
  }
  info->fileData = fileData;
  std::memcpy(info->header, fileData + 4, sizeof info->header);

  uint32_t flags = 0, caps = 0, caps2 = 0, mipMapCount = 0, pixelFlags = 0, fourCC = 0, bitCount = 0;
  uint32_t masks[4] = {};
  uint32_t rawHeight = 0, rawWidth = 0;
  file.U32LEAt(kOffsetFlags, &flags);
  file.U32LEAt(kOffsetHeight, &rawHeight);
  file.U32LEAt(kOffsetWidth, &rawWidth);
  file.U32LEAt(kOffsetMipMapCount, &mipMapCount);
  file.U32LEAt(kOffsetPixelFlags, &pixelFlags);
  file.U32LEAt(kOffsetFourCC, &fourCC);
  file.U32LEAt(kOffsetBitCount, &bitCount);
  for (uint32_t i = 0; i < 4; ++i) file.U32LEAt(kOffsetMasks + 4 * i, &masks[i]);
  file.U32LEAt(kOffsetCaps, &caps);
  file.U32LEAt(kOffsetCaps2, &caps2);

  if ((flags & kRequiredFlags) != kRequiredFlags) {
    Fail(failure, FailureKind::InvalidHeader, "header flags 0x%08X lack caps, height, width or pixel format",
         static_cast<unsigned>(flags));
    return -1;
  }
  if (caps & kCapsTexture) {
    info->hasMipmaps = (caps & kCapsMipMap) != 0;
    info->isCubeMap = (caps & kCapsComplex) && (caps2 & kCaps2CubeMap);
  }
  info->levelCount = 1;
  if (info->hasMipmaps && (flags & kFlagMipMapCount)) info->levelCount = static_cast<int32_t>(mipMapCount);

  const auto width = static_cast<int32_t>(rawWidth), height = static_cast<int32_t>(rawHeight);
  if (width < 1 || height < 1) {
    Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", width, height);
    return -1;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > maxPixels) {
    Fail(failure, FailureKind::TooLarge, "%d x %d pixels", width, height);
    return -1;
  }
  info->width = width;
  info->height = height;

  if ((pixelFlags & kPixelRgb) || bitCount != 0) {
    for (const MaskRow& row : kMaskTable) {
      if (row.bitCount == bitCount && row.red == masks[0] && row.green == masks[1] && row.blue == masks[2] &&
          row.alpha == masks[3]) {
        info->format = row.format;
        info->order = row.order;
      }
    }
    if (bitCount == 24) {
      for (const Mask24Row& row : kMask24Table) {
        if (row.red == masks[0] && row.green == masks[1] && row.blue == masks[2]) {
          info->format = R8G8B8;
          info->order = row.order;
        }
      }
    }
    if (info->format == kNoPixelFormat) {
      Fail(failure, FailureKind::Unsupported, "%u-bit pixel masks R 0x%08X G 0x%08X B 0x%08X A 0x%08X",
           static_cast<unsigned>(bitCount), static_cast<unsigned>(masks[0]), static_cast<unsigned>(masks[1]),
           static_cast<unsigned>(masks[2]), static_cast<unsigned>(masks[3]));
      return -1;
    }
  } else if (pixelFlags & kPixelFourCC) {
    for (const FourCCRow& row : kFourCCTable) {
      if (row.fourCC == fourCC) {
        info->format = row.format;
        info->order = BGRA;
        info->isCompressed = true;
      }
    }
    if (info->format == kNoPixelFormat) {
      char text[24];
      DescribeFourCC(fourCC, text);
      Fail(failure, FailureKind::Unsupported, "pixel format FourCC %s", text);
      return -1;
    }
  } else {
    Fail(failure, FailureKind::Unsupported, "pixel format flags 0x%08X name neither bit masks nor a FourCC",
         static_cast<unsigned>(pixelFlags));
    return -1;
  }

  if (!LevelBytes(info->format, static_cast<uint64_t>(width), static_cast<uint64_t>(height), &info->levelBytes,
                  &info->pitch) ||
      !RangeFits(kDdsHeaderBytes, info->levelBytes, fileSize)) {
    FailTruncated(failure, fileSize, kDdsHeaderBytes + info->levelBytes, "level 0");
    return -1;
  }
  info->data = fileData + kDdsHeaderBytes;
  return 0;
}

SourceImage DdsSourceImage(const DdsTextureInfo& info) {
  SourceImage image;
  image.pixels = info.data;
  image.pitch = static_cast<int64_t>(info.pitch);
  image.format = info.format;
  image.order = info.order;
  image.width = info.width;
  image.height = info.height;
  image.flip = true;
  return image;
}

bool DecodeDds(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
               DecodeFailure* failure) {
  if (!bitmap || !info) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  DdsTextureInfo texture;
  if (ParseDdsHeader(&texture, fileData, fileSize, failure) < 0) return false;
  return DecodeSourceImage(DdsSourceImage(texture), bitmap, info, failure);
}

bool DrawDdsThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure) {
  if (!bitmap) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  DdsTextureInfo texture;
  // No full-size bitmap is made, so only the file and the 32-bit fields bound the size.
  if (ParseDdsHeader(&texture, fileData, fileSize, failure, UINT64_MAX) < 0) return false;
  return SampleSourceImage(DdsSourceImage(texture), false, cx, bitmap, failure);
}

}  // namespace mirelth
