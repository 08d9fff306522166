// PVR container: the two header layouts, the format's drawing, level 0's place and the chain of levels.
#include "formats/pvr/pvr.h"

#include <algorithm>

#include <cstring>

#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

// Offsets of the version-3 header.
constexpr uint32_t kV3Flags = 4, kV3PixelFormat = 8, kV3ColourSpace = 16, kV3ChannelType = 20, kV3Height = 24,
                   kV3Width = 28;
constexpr uint32_t kV3Depth = 32, kV3Surfaces = 36, kV3Faces = 40, kV3MipMapCount = 44, kV3MetadataSize = 48;
constexpr uint32_t kV3Premultiplied = 0x2;
// Offsets and flags of the legacy header.
constexpr uint32_t kLegacyHeight = 4, kLegacyWidth = 8, kLegacyMipMapCount = 12, kLegacyFlags = 16;
constexpr uint32_t kLegacyCubeMap = 0x1000, kLegacyVerticalFlip = 0x10000;
// Orientation metadata: FourCC "PVR" 3, key 3, three bytes x, y, z.
constexpr uint32_t kMetadataFourCC = 0x03525650, kMetadataOrientation = 3;

// Reads the orientation block out of the version-3 metadata. A block that runs past the metadata ends the scan.
bool ReadOrientation(ByteSource& source, uint64_t start, uint64_t size, PvrTextureInfo* info, DecodeFailure* failure) {
  uint64_t offset = start;
  const uint64_t end = start + size;
  while (end - offset >= 12) {
    uint8_t block[15] = {};
    if (!source.Read(offset, block, 12, failure)) return false;
    const uint32_t fourCC = ByteReader::U32LENoBoundsCheck(block);
    const uint32_t key = ByteReader::U32LENoBoundsCheck(block + 4);
    const uint32_t length = ByteReader::U32LENoBoundsCheck(block + 8);
    const uint64_t body = offset + 12;
    if (length > end - body) return true;
    if (fourCC == kMetadataFourCC && key == kMetadataOrientation && length >= 3) {
      if (!source.Read(body, block + 12, 3, failure)) return false;
      info->isMirrored = block[12] != 0;
      info->isFlipped = block[13] != 0;
    }
    offset = body + length;
  }
  return true;
}

// The legacy header: a 44- or 52-byte header size at offset 0. False when the file has another header.
bool ReadLegacyHeader(const uint8_t* header, PvrTextureInfo* info) {
  const uint32_t headerSize = ByteReader::U32LENoBoundsCheck(header);
  if (headerSize != 44 && headerSize != 52) return false;
  info->height = static_cast<int32_t>(ByteReader::U32LENoBoundsCheck(header + kLegacyHeight));
  info->width = static_cast<int32_t>(ByteReader::U32LENoBoundsCheck(header + kLegacyWidth));
  info->levelCount = ByteReader::U32LENoBoundsCheck(header + kLegacyMipMapCount) + 1;
  const uint32_t flags = ByteReader::U32LENoBoundsCheck(header + kLegacyFlags);
  info->dataOffset = headerSize;
  info->isCubeMap = (flags & kLegacyCubeMap) != 0;
  if (info->isCubeMap) info->faces = 6;
  info->isFlipped = (flags & kLegacyVerticalFlip) != 0;
  info->legacy = true;
  info->legacyPixelType = static_cast<uint8_t>(flags & 0xFF);
  PvrPixelFormat format = 0;
  info->legacyUnmapped = !MapLegacyPixelType(info->legacyPixelType, &format);
  info->pixelFormat = format;
  if (!info->legacyUnmapped) {
    info->channelType = LegacyChannelType(info->legacyPixelType);
    info->premultiplied = LegacyIsPremultiplied(info->legacyPixelType);
  }
  return true;
}

bool IsPowerOfTwo(int32_t value) { return value > 0 && (value & (value - 1)) == 0; }

// Level 0: at the data offset, in the orientation the header gives.
SourceImage Level0(ByteSource& source, const PvrTextureInfo& info) {
  SourceImage level;
  level.source = &source;
  level.offset = info.dataOffset;
  level.format = info.drawing.format;
  level.order = info.drawing.order;
  level.layout = info.drawing.layout;
  level.alpha = info.drawing.alpha;
  level.width = info.width;
  level.height = info.height;
  level.topDown = !info.isFlipped;
  level.rightToLeft = info.isMirrored;
  // ASTC blocks may hold LDR or HDR values: a float channel type says they are HDR (drawn through the tone mapping).
  const bool astc = level.format >= PixelFormat::ASTC4x4 && level.format <= PixelFormat::ASTC12x12;
  level.hdrBlocks = astc && (info.channelType == kPvrSignedFloat || info.channelType == kPvrUnsignedFloat);
  return level;
}

}  // namespace

bool ParsePvr(ByteSource& source, PvrTextureInfo* info, const OpenOptions& options, DecodeFailure* failure) {
  *info = PvrTextureInfo{};
  const uint64_t size = source.size();
  uint8_t header[kPvrMinimumBytes] = {};
  if (size < kPvrMinimumBytes) {
    if (size >= 4 && source.Read(0, header, 4, failure)) {
      const uint32_t first = ByteReader::U32LENoBoundsCheck(header);
      if (first == 44 || first == 52 || first == kPvrV3Version) {
        return FailTruncated(failure, size, kPvrMinimumBytes, "a PVR header");
      }
    }
    return Fail(failure, FailureKind::NotThisFormat, "not a PVR file (too short for a PVR header)");
  }
  if (!source.Read(0, header, kPvrMinimumBytes, failure)) return false;
  if (!ReadLegacyHeader(header, info)) {
    if (ByteReader::U32LENoBoundsCheck(header) != kPvrV3Version) {
      return Fail(failure, FailureKind::NotThisFormat, "not a PVR file (no version-3 or legacy header)");
    }
    auto field = [&](uint32_t offset) { return ByteReader::U32LENoBoundsCheck(header + offset); };
    info->flags = field(kV3Flags);
    info->pixelFormat = field(kV3PixelFormat) | (uint64_t{field(kV3PixelFormat + 4)} << 32);
    info->channelType = field(kV3ChannelType);
    info->height = static_cast<int32_t>(field(kV3Height));
    info->width = static_cast<int32_t>(field(kV3Width));
    info->depth = field(kV3Depth) ? field(kV3Depth) : 1;
    info->copies = uint64_t{field(kV3Surfaces) ? field(kV3Surfaces) : 1} * (field(kV3Faces) ? field(kV3Faces) : 1);
    info->levelCount = field(kV3MipMapCount);
    info->isCubeMap = field(kV3Faces) > 1;
    info->faces = field(kV3Faces) ? field(kV3Faces) : 1;
    info->surfaces = field(kV3Surfaces) ? field(kV3Surfaces) : 1;
    info->colourSpace = field(kV3ColourSpace);
    info->premultiplied = (info->flags & kV3Premultiplied) != 0;
    const uint32_t metadataSize = field(kV3MetadataSize);
    if (!RangeFits(kPvrMinimumBytes, metadataSize, size)) {
      return FailTruncated(failure, size, uint64_t{kPvrMinimumBytes} + metadataSize, "the PVR metadata");
    }
    info->dataOffset = uint64_t{kPvrMinimumBytes} + metadataSize;
    if (!ReadOrientation(source, kPvrMinimumBytes, metadataSize, info, failure)) return false;
  }
  if (!CheckPictureSize(info->width, info->height, options, failure)) return false;
  if (info->legacyUnmapped) {
    return Fail(failure, FailureKind::Unsupported, "legacy PVR pixel type 0x%02X", info->legacyPixelType);
  }
  if (!TranslatePvrFormat(info->pixelFormat, info->channelType, &info->drawing, failure)) {
    if (info->legacy && failure) {
      char detail[sizeof failure->detail];
      std::memcpy(detail, failure->detail, sizeof detail);
      Fail(failure, FailureKind::Unsupported, "%.90s (legacy pixel type 0x%02X)", detail, info->legacyPixelType);
    }
    return false;
  }
  if (info->drawing.powerOfTwo && !(IsPowerOfTwo(info->width) && IsPowerOfTwo(info->height))) {
    return Fail(failure, FailureKind::Unsupported, "PVRTC needs power-of-two sizes, not %d x %d", info->width,
                info->height);
  }
  // Premultiplied float colour is divided by alpha in linear light (by the converter); integers by the rule.
  if (info->premultiplied &&
      !(info->drawing.format == PixelFormat::kDescribed && PremultiplyInLinearLight(&info->drawing.layout))) {
    info->drawing.alpha = AlphaRule::kPremultiplied;
  }

  // Level 0 must lie in the file (a cube map or a level count below 1 still draws level 0 at the data).
  SourceImage level0 = Level0(source, *info);
  return SizeLevel(&level0, failure) && CheckLevelFits(level0, "level 0", failure);
}

namespace {

void Describe(const PvrTextureInfo& info, const LevelChain& chain, Facts* facts) {
  if (!facts) return;
  DescribeTexture(chain, facts);
  NamePvrPixelFormat(info.pixelFormat, facts->encoding, sizeof facts->encoding);
  facts->faces = info.faces;
  facts->layers = info.surfaces;
  facts->depth = info.depth;
  if (!info.legacy) facts->colourSpace = info.colourSpace == 1 ? ColourSpace::kSrgb : ColourSpace::kLinear;
}

}  // namespace

bool OpenPvr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  PvrTextureInfo info;
  if (!ParsePvr(source, &info, options, failure)) return false;
  LevelChain chain;
  // Legacy files store each face's chain before the next face; version 3 each level for every surface, face
  // and slice before the next level.
  const bool ok =
      info.legacy ? ContiguousChain(Level0(source, info), info.levelCount, 1, 1, &chain, failure)
                  : ContiguousChain(Level0(source, info), info.levelCount, info.copies, info.depth, &chain, failure);
  if (!ok) return false;
  // A closer look at another surface or face (version 3): it lies that many images into each level.
  const uint64_t surfaces = info.legacy ? 1 : info.copies;
  if (options.surface > 0 && options.surface < surfaces) {
    for (int32_t k = 0; k < chain.count; ++k) {
      SourceImage& level = chain.levels[k];
      const uint64_t skip = options.surface * level.bytes * std::max<uint64_t>(1, uint64_t{info.depth} >> k);
      if (!level.source->Has(level.offset + skip, level.bytes)) {
        if (k == 0) return FailTruncated(failure, source.size(), level.offset + skip + level.bytes, "a PVR surface");
        chain.count = k;
        break;
      }
      level.offset += skip;
    }
  }
  Describe(info, chain, options.facts);
  if (options.facts) options.facts->surfaces = static_cast<uint32_t>(surfaces);
  return TexturePictureOf(chain, picture, failure);
}

}  // namespace mirelth
