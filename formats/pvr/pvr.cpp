// PVR container: the two header layouts, level 0's layout, and the choice of converter. Packed 16-bit
// channel-described layouts are drawn by their channel names (first named channel in the most significant
// bits, as PVR tools write them); an "x" channel is padding, drawn opaque.
#include "formats/pvr/pvr.h"

#include <algorithm>
#include <cstring>

#include "pixels/byte_reader.h"
#include "pixels/limits.h"
#include "pixels/sampling.h"

namespace mirelth {
namespace {

// Offsets of the version-3 header.
constexpr uint32_t kV3PixelFormat = 8, kV3Height = 24, kV3Width = 28, kV3MipMapCount = 44, kV3MetadataSize = 48;
// Offsets and flags of the legacy header.
constexpr uint32_t kLegacyHeight = 4, kLegacyWidth = 8, kLegacyMipMapCount = 12, kLegacyFlags = 16;
constexpr uint32_t kLegacyCubeMap = 0x1000, kLegacyVerticalFlip = 0x10000;
// Orientation metadata: FourCC "PVR" 3, key 3, three bytes x, y, z.
constexpr uint32_t kMetadataFourCC = 0x03525650, kMetadataOrientation = 3;

// Reads the orientation block out of the version-3 metadata. A block that runs past the metadata ends the scan.
void ReadOrientation(const ByteReader& file, uint64_t start, uint64_t size, PvrTextureInfo* info) {
  uint64_t offset = start;
  const uint64_t end = start + size;
  while (end - offset >= 12) {
    uint32_t fourCC = 0, key = 0, length = 0;
    file.U32LEAt(offset, &fourCC);
    file.U32LEAt(offset + 4, &key);
    file.U32LEAt(offset + 8, &length);
    const uint64_t body = offset + 12;
    if (length > end - body) return;
    if (fourCC == kMetadataFourCC && key == kMetadataOrientation && length >= 3) {
      uint8_t x = 0, y = 0;
      file.U8At(body, &x);
      file.U8At(body + 1, &y);
      info->isMirrored = x != 0;
      info->isFlipped = y != 0;
    }
    offset = body + length;
  }
}

// The 16-bit layout of a channel-described format: channels from the top bit down, in name order.
bool Packed16LayoutOf(PvrPixelFormat format, Packed16Layout* layout) {
  *layout = {};
  uint32_t top = 16;
  bool seen[4] = {};
  for (int i = 0; i < 4; ++i) {
    const auto name = static_cast<char>((format >> (8 * i)) & 0xFF);
    const auto width = static_cast<uint32_t>((format >> (32 + 8 * i)) & 0xFF);
    if (name == 0) break;
    if (width > top) return false;
    top -= width;
    int slot;
    switch (name) {
      case 'r': slot = 0; break;
      case 'g': slot = 1; break;
      case 'b': slot = 2; break;
      case 'a': slot = 3; break;
      case 'x': continue;  // padding
      default: return false;
    }
    if (seen[slot] || width == 0 || width > 8) return false;
    seen[slot] = true;
    layout->shift[slot] = static_cast<uint8_t>(top);
    layout->bits[slot] = static_cast<uint8_t>(width);
  }
  return seen[0] && seen[1] && seen[2] && IsValidPacked16Layout(*layout);
}

bool HasPaddingChannel(PvrPixelFormat format) {
  for (int i = 0; i < 4; ++i) {
    if (((format >> (8 * i)) & 0xFF) == 'x') return true;
  }
  return false;
}

bool RefuseFormat(const PvrTextureInfo& info, DecodeFailure* failure) {
  char text[64];
  DescribePvrPixelFormat(info.pixelFormat, text, sizeof text);
  if (info.legacyUnmapped) {
    return Fail(failure, FailureKind::Unsupported, "legacy PVR pixel type 0x%02X", info.legacyPixelType);
  }
  if (info.legacy) {
    return Fail(failure, FailureKind::Unsupported, "PVR pixel format %s (legacy pixel type 0x%02X)", text,
                info.legacyPixelType);
  }
  return Fail(failure, FailureKind::Unsupported, "PVR pixel format %s", text);
}

// Reverses the pixels of every row: for data stored right to left.
void MirrorRows(uint8_t* bits, int32_t width, int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(bits + static_cast<size_t>(y) * width * 4);
    std::reverse(row, row + width);
  }
}

}  // namespace

bool ReadPvrLegacyHeader(PvrTextureInfo* info, const uint8_t* fileData, uint32_t fileSize) {
  const ByteReader file(fileData, fileSize);
  uint32_t headerSize = 0, flags = 0, mipMapCount = 0;
  if (fileSize < kPvrMinimumBytes || !file.U32LEAt(0, &headerSize) || (headerSize != 44 && headerSize != 52)) {
    return false;
  }
  file.U32LEAt(kLegacyHeight, &info->height);
  file.U32LEAt(kLegacyWidth, &info->width);
  file.U32LEAt(kLegacyMipMapCount, &mipMapCount);
  file.U32LEAt(kLegacyFlags, &flags);
  info->levelCount = static_cast<int32_t>(mipMapCount + 1);
  info->dataOffset = headerSize;
  info->data = fileData + headerSize;
  info->isCubeMap = (flags & kLegacyCubeMap) != 0;
  info->isFlipped = (flags & kLegacyVerticalFlip) != 0;
  info->legacy = true;
  info->legacyPixelType = static_cast<uint8_t>(flags & 0xFF);
  PvrPixelFormat format = kLastPredefinedPvrFormat + 1;  // unmapped: like a predefined value above 26
  info->legacyUnmapped = !MapLegacyPixelType(info->legacyPixelType, &format);
  LayOutPvrLevels(info, format);
  return true;
}

bool ReadPvrV3Header(PvrTextureInfo* info, const uint8_t* fileData, uint32_t fileSize, DecodeFailure* failure) {
  const ByteReader file(fileData, fileSize);
  uint32_t version = 0, metadataSize = 0, levels = 0;
  if (fileSize < kPvrMinimumBytes || !file.U32LEAt(0, &version) || version != kPvrV3Version) return false;
  PvrPixelFormat format = 0;
  file.U64LEAt(kV3PixelFormat, &format);
  file.U32LEAt(kV3Height, &info->height);
  file.U32LEAt(kV3Width, &info->width);
  file.U32LEAt(kV3MipMapCount, &levels);
  file.U32LEAt(kV3MetadataSize, &metadataSize);
  info->levelCount = static_cast<int32_t>(levels);
  if (!RangeFits(kPvrMinimumBytes, metadataSize, fileSize)) {
    FailTruncated(failure, fileSize, uint64_t{kPvrMinimumBytes} + metadataSize, "the PVR metadata");
    return false;
  }
  info->dataOffset = uint64_t{kPvrMinimumBytes} + metadataSize;
  info->data = fileData + info->dataOffset;
  ReadOrientation(file, kPvrMinimumBytes, metadataSize, info);
  LayOutPvrLevels(info, format);
  return true;
}

void LayOutPvrLevels(PvrTextureInfo* info, PvrPixelFormat pixelFormat) {
  info->pixelFormat = pixelFormat;
  const uint64_t bits = PvrBitsPerPixel(pixelFormat);
  info->order = PvrToChannelOrder(pixelFormat);
  info->format = PvrToPixelFormat(pixelFormat);
  info->isCompressed = IsPredefinedPvrFormat(pixelFormat);
  uint32_t bw = 1, bh = 1;
  if (pixelFormat > kLastPredefinedPvrFormat || !PvrBlockSize(pixelFormat, &bw, &bh)) bw = bh = 1;
  info->blockWidth = bw;
  info->blockHeight = bh;
  const auto signedWidth = static_cast<int32_t>(info->width);
  const uint64_t w = signedWidth > 0 ? static_cast<uint64_t>(signedWidth) : 1;
  uint64_t s = (w / bw) * bw * bh * bits;
  if (w % bw != 0 && info->isCompressed) s += uint64_t{bw} * bh * bits;
  info->pitch = s / 8;
  info->hasLevel0 = !info->isCubeMap && info->levelCount >= 1;
}

bool ParsePvr(const uint8_t* fileData, uint32_t fileSize, PvrTextureInfo* info, SourceImage* image,
              DecodeFailure* failure, uint64_t maxPixels) {
  if (!fileData || fileSize < kPvrMinimumBytes) {
    uint32_t first = 0;
    const ByteReader file(fileData, fileSize);
    if (file.U32LEAt(0, &first) && (first == 44 || first == 52 || first == kPvrV3Version)) {
      return FailTruncated(failure, fileSize, kPvrMinimumBytes, "a PVR header");
    }
    return Fail(failure, FailureKind::NotThisFormat, "not a PVR file (too short for a PVR header)");
  }
  if (!ReadPvrLegacyHeader(info, fileData, fileSize)) {
    *info = PvrTextureInfo{};
    DecodeFailure v3Failure;
    if (!ReadPvrV3Header(info, fileData, fileSize, &v3Failure)) {
      if (v3Failure.kind != FailureKind::None) {
        if (failure) *failure = v3Failure;
        return false;
      }
      return Fail(failure, FailureKind::NotThisFormat, "not a PVR file (no version-3 or legacy header)");
    }
  }
  const auto width = static_cast<int32_t>(info->width), height = static_cast<int32_t>(info->height);
  if (width < 1 || height < 1) return Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", width, height);
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > maxPixels) {
    return Fail(failure, FailureKind::TooLarge, "%d x %d pixels", width, height);
  }

  // What we draw: the block encodings, 8-bit channels, and the packed 16-bit layouts by their names.
  *image = SourceImage{};
  image->format = info->format;
  image->order = info->order;
  const PvrPixelFormat pf = info->pixelFormat;
  if (info->format == kNoPixelFormat || info->order < 0) return RefuseFormat(*info, failure);
  if (!info->isCompressed) {
    const uint32_t total = PvrBitsPerPixel(pf);
    if (total == 16) {
      if (!Packed16LayoutOf(pf, &image->packed16)) return RefuseFormat(*info, failure);
      image->usePacked16 = true;
    } else {
      // 24 and 32 bits are drawn only as 8-bit channels: 10.10.10.2 or 11.11.10 would show noise.
      for (int i = 0; i < 4; ++i) {
        const auto channelBits = static_cast<uint32_t>((pf >> (32 + 8 * i)) & 0xFF);
        const auto name = static_cast<char>((pf >> (8 * i)) & 0xFF);
        if ((name != 0 && channelBits != 8) || (name == 0 && channelBits != 0)) return RefuseFormat(*info, failure);
      }
      if (total == 32 && HasPaddingChannel(pf)) image->format = X8R8G8B8;
      if (total == 24 && image->order != RGBA && image->order != BGRA) return RefuseFormat(*info, failure);
    }
  }

  // Level 0 must lie in the file (a cube map or a level count below 1 still draws level 0 at the data).
  uint64_t levelBytes = 0;
  const uint64_t rows = info->isCompressed ? (uint64_t{info->height} + info->blockHeight - 1) / info->blockHeight
                                           : info->height;
  if (!CheckedMultiply(info->pitch, rows, &levelBytes) || !RangeFits(info->dataOffset, levelBytes, fileSize)) {
    return FailTruncated(failure, fileSize, info->dataOffset + levelBytes, "level 0");
  }
  image->pixels = info->data;
  image->pitch = static_cast<int64_t>(info->pitch);
  image->width = width;
  image->height = height;
  image->flip = !info->isFlipped;
  return true;
}

bool DecodePvr(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* bitmapInfo,
               DecodeFailure* failure) {
  if (!bitmap || !bitmapInfo) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  PvrTextureInfo info;
  SourceImage image;
  if (!ParsePvr(fileData, fileSize, &info, &image, failure)) return false;
  HBITMAP created = nullptr;
  if (!DecodeSourceImage(image, &created, bitmapInfo, failure)) return false;
  if (info.isMirrored) {
    BitmapPixels pixels{};
    if (GetBitmapPixels(created, &pixels)) MirrorRows(pixels.bits, pixels.width, pixels.height);
  }
  *bitmap = created;
  return true;
}

bool DrawPvrThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure) {
  if (!bitmap) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  PvrTextureInfo info;
  SourceImage image;
  // No full-size bitmap is made, so only the file and the 32-bit fields bound the size.
  if (!ParsePvr(fileData, fileSize, &info, &image, failure, UINT64_MAX)) return false;
  return SampleSourceImage(image, info.isMirrored, cx, bitmap, failure);
}

}  // namespace mirelth
