#include "formats/ktx/ktx2.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "encodings/encoding.h"
#include "formats/ktx/basis_etc1s.h"
#include "formats/ktx/ktx_common.h"
#include "formats/ktx/ktx_formats.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kHeaderBytes = 80, kLevelEntryBytes = 24;
// Supercompression schemes.
constexpr uint32_t kSchemeNone = 0, kSchemeBasisLz = 1, kSchemeZstd = 2, kSchemeZlib = 3;
constexpr const char* kSchemeNames[] = {"none", "BasisLZ", "Zstandard", "zlib"};
// Data format descriptor: the basic block's colour models, transfer functions and flags.
constexpr uint8_t kModelEtc1s = 163, kModelUastc = 166;
constexpr uint8_t kTransferLinear = 1, kTransferSrgb = 2;
constexpr uint8_t kFlagPremultiplied = 1;
constexpr const char* kPrimaries[] = {"unspecified", "BT709",  "BT601 EBU", "BT601 SMPTE", "BT2020",     "CIE XYZ",
                                      "ACES",        "ACEScc", "NTSC 1953", "PAL 525",     "Display P3", "Adobe RGB"};

struct Ktx2Header {
  uint32_t vkFormat = 0, typeSize = 0, width = 0, height = 0, depth = 0, layers = 0, faces = 0, levels = 0;
  uint32_t scheme = 0;
  uint32_t dfdOffset = 0, dfdLength = 0, kvdOffset = 0, kvdLength = 0;
  uint64_t sgdOffset = 0, sgdLength = 0;
};

struct Dfd {
  bool found = false;
  uint8_t model = 0, primaries = 0, transfer = 0, flags = 0;
  int channel = -1;  // the first sample's channel (UASTC: 0 RGB, 3 RGBA, 4 RRR, 5 RRRG, 6 RG), -1 when absent
};

bool ReadHeader(ByteSource& source, Ktx2Header* h, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kHeaderBytes] = {};
  const size_t head = static_cast<size_t>(std::min<uint64_t>(size, sizeof kIdentifier));
  if (!source.Read(0, header, head, failure)) return false;
  if (size == 0 || std::memcmp(header, kIdentifier, head) != 0) {
    return Fail(failure, FailureKind::NotThisFormat, "not a KTX 2 file (no KTX 2 identifier)");
  }
  if (size < kHeaderBytes) return FailTruncated(failure, size, kHeaderBytes, "the KTX 2 header");
  if (!source.Read(0, header, kHeaderBytes, failure)) return false;
  const auto u32 = [&](uint32_t at) { return ByteReader::U32LENoBoundsCheck(header + at); };
  const auto u64 = [&](uint32_t at) { return uint64_t{u32(at)} | uint64_t{u32(at + 4)} << 32; };
  h->vkFormat = u32(12), h->typeSize = u32(16), h->width = u32(20), h->height = u32(24), h->depth = u32(28);
  h->layers = u32(32), h->faces = u32(36), h->levels = u32(40), h->scheme = u32(44);
  h->dfdOffset = u32(48), h->dfdLength = u32(52), h->kvdOffset = u32(56), h->kvdLength = u32(60);
  h->sgdOffset = u64(64), h->sgdLength = u64(72);
  return true;
}

// The descriptor's basic block: colour model, primaries, transfer function, flags.
Dfd ReadDfd(ByteSource& source, const Ktx2Header& h) {
  Dfd dfd;
  const ByteSlice slice(source, h.dfdOffset, h.dfdLength);
  uint32_t total = 0, word0 = 0, word1 = 0;
  uint8_t basic[4] = {};
  if (!slice.U32LE(h.dfdOffset, &total) || total > h.dfdLength || !slice.U32LE(h.dfdOffset + 4, &word0) ||
      !slice.U32LE(h.dfdOffset + 8, &word1) || !slice.Bytes(h.dfdOffset + 12, basic, 4)) {
    return dfd;
  }
  // Khronos vendor (0), basic descriptor type (0).
  if ((word0 & 0x1FFFF) != 0 || (word0 >> 17) != 0) return dfd;
  dfd.found = true;
  dfd.model = basic[0], dfd.primaries = basic[1], dfd.transfer = basic[2], dfd.flags = basic[3];
  // The samples follow the block's 24 bytes of header: bit offset (2), bit length (1), channel and qualifiers (1).
  uint8_t channel = 0;
  if ((word1 >> 16) >= 24 + 16 && slice.U8(h.dfdOffset + 4 + 24 + 3, &channel)) dfd.channel = channel & 0x0F;
  return dfd;
}

void Describe(const Ktx2Header& h, const Dfd& dfd, const KtxOrientation& orientation, const char* name,
              const KtxFormat& format, const LevelChain& chain, Facts* facts) {
  if (!facts) return;
  DescribeTexture(chain, facts);
  facts->SetEncoding("%s", name);
  facts->faces = h.faces;
  facts->layers = std::max<uint32_t>(1, h.layers);
  facts->surfaces = facts->faces * facts->layers;
  facts->depth = std::max<uint32_t>(1, h.depth);
  if (dfd.found && dfd.transfer == kTransferSrgb) {
    facts->colourSpace = ColourSpace::kSrgb;
  } else if (dfd.found && dfd.transfer == kTransferLinear) {
    facts->colourSpace = ColourSpace::kLinear;
  } else if (format.srgb) {
    facts->colourSpace = ColourSpace::kSrgb;
  }
  const char* primaries =
      dfd.primaries < sizeof kPrimaries / sizeof kPrimaries[0] ? kPrimaries[dfd.primaries] : "other";
  std::snprintf(facts->orientation, sizeof facts->orientation, "%s", orientation.text);
  std::snprintf(facts->details, sizeof facts->details, "KTX 2, %s%s, primaries %s%s",
                h.scheme == kSchemeNone ? "not supercompressed" : "supercompressed with ",
                h.scheme == kSchemeNone ? "" : kSchemeNames[h.scheme], dfd.found ? primaries : "not given",
                (dfd.flags & kFlagPremultiplied) ? ", premultiplied" : "");
}

}  // namespace

bool OpenKtx2(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  Ktx2Header h;
  if (!ReadHeader(source, &h, failure)) return false;
  const uint64_t size = source.size();
  if (!CheckKtxShape("KTX 2", h.width, h.height, h.depth, h.faces, h.levels, failure)) return false;
  const uint32_t height = std::max<uint32_t>(1, h.height), depth = std::max<uint32_t>(1, h.depth);
  const uint32_t layers = std::max<uint32_t>(1, h.layers), levels = std::max<uint32_t>(1, h.levels);
  if (h.scheme > kSchemeZlib) {
    return Fail(failure, FailureKind::Unsupported, "KTX 2 supercompression scheme %u", h.scheme);
  }
  const Dfd dfd = ReadDfd(source, h);

  // What the levels hold: a VkFormat, or Basis Universal data (vkFormat 0) that we transcode to pixels.
  const char* name = VkFormatName(h.vkFormat);
  const bool etc1s = h.vkFormat == 0 && h.scheme == kSchemeBasisLz && dfd.model == kModelEtc1s;
  static constexpr KtxFormat kEtc1sPixels{0, PixelFormat::A8R8G8B8, ChannelOrder::BGRA};
  if (etc1s) name = "ETC1S (BasisLZ)";
  // UASTC blocks, plain or supercompressed with Zstandard or zlib, are drawn as an encoding of their own.
  const bool uastc = h.vkFormat == 0 && h.scheme != kSchemeBasisLz && dfd.model == kModelUastc;
  static constexpr KtxFormat kUastcBlocks{0, PixelFormat::UASTC, ChannelOrder::BGRA};
  if (uastc) name = "UASTC";
  if (h.vkFormat == 0 && !etc1s && !uastc) {
    if (dfd.model == kModelUastc || dfd.model == kModelEtc1s || h.scheme == kSchemeBasisLz) {
      return Fail(failure, FailureKind::Unsupported, "Basis Universal %s data",
                  dfd.model == kModelUastc ? "UASTC" : "ETC1S (BasisLZ)");
    }
    return Fail(failure, FailureKind::Unsupported, "VK_FORMAT_UNDEFINED (colour model %u)", dfd.model);
  }
  if (h.scheme == kSchemeBasisLz && !etc1s) {
    return Fail(failure, FailureKind::InvalidHeader, "BasisLZ supercompression of %s", name ? name : "a vkFormat");
  }
  const KtxFormat* format = etc1s ? &kEtc1sPixels : uastc ? &kUastcBlocks : VkDrawnFormat(h.vkFormat);
  if (!format) {
    if (name) return Fail(failure, FailureKind::Unsupported, "%s", name);
    return Fail(failure, FailureKind::Unsupported, "vkFormat %u", h.vkFormat);
  }
  if (!CheckKtxDrawing("KTX 2", *format, h.width, height, options, failure)) return false;

  KtxOrientation orientation;
  if (h.kvdLength && !ReadKtxOrientation(ByteSlice(source, h.kvdOffset, h.kvdLength), false, &orientation, failure)) {
    return false;
  }

  SourceImage drawing = KtxDrawing(source, *format, orientation);
  // Premultiplied float colour is divided by alpha in linear light (by the converter); integers by the rule.
  if ((dfd.flags & kFlagPremultiplied) && !format->opaque &&
      !(drawing.format == PixelFormat::kDescribed && PremultiplyInLinearLight(&drawing.layout))) {
    drawing.alpha = AlphaRule::kPremultiplied;
  }

  // The level index: each level inside the file, after the index, overlapping no other level.
  const uint64_t indexEnd = kHeaderBytes + uint64_t{kLevelEntryBytes} * levels;
  if (size < indexEnd) return FailTruncated(failure, size, indexEnd, "the KTX 2 level index");
  StoredLevel stored[kMaxLevels];
  const uint64_t images = uint64_t{layers} * h.faces;
  for (uint32_t k = 0; k < levels; ++k) {
    uint8_t entry[kLevelEntryBytes];
    if (!source.Read(kHeaderBytes + uint64_t{kLevelEntryBytes} * k, entry, sizeof entry, failure)) return false;
    const auto u64 = [&](int at) {
      return uint64_t{ByteReader::U32LENoBoundsCheck(entry + at)} |
             uint64_t{ByteReader::U32LENoBoundsCheck(entry + at + 4)} << 32;
    };
    StoredLevel& level = stored[k];
    level.offset = u64(0), level.length = u64(8), level.inflated = u64(16);
    if (level.offset < indexEnd || !source.Has(level.offset, level.length)) {
      if (level.offset >= indexEnd && level.offset <= size) {
        return FailTruncated(failure, size, level.offset + level.length, "a KTX 2 level");
      }
      return Fail(failure, FailureKind::InvalidHeader, "KTX 2 level %u at byte %llu of a %llu-byte file", k,
                  static_cast<unsigned long long>(level.offset), static_cast<unsigned long long>(size));
    }
    for (uint32_t j = 0; j < k; ++j) {
      const StoredLevel& other = stored[j];
      if (level.length && other.length && level.offset < other.offset + other.length &&
          other.offset < level.offset + level.length) {
        return Fail(failure, FailureKind::InvalidHeader, "KTX 2 levels %u and %u overlap", j, k);
      }
    }
    // The level's images must all be there (stored, or once inflated).
    SourceImage image = drawing;
    image.width = static_cast<int32_t>(std::max<uint32_t>(1, h.width >> k));
    image.height = static_cast<int32_t>(std::max<uint32_t>(1, height >> k));
    uint64_t need = 0;
    if (!SizeLevel(&image, failure)) return false;
    uint64_t count = 0;
    if (!CheckedMultiply(images, std::max<uint64_t>(1, depth >> k), &count) ||
        !CheckedMultiply(image.bytes, count, &need)) {
      return Fail(failure, FailureKind::TooLarge, "KTX 2 level %u of %u layers x %u faces x %u slices", k, layers,
                  h.faces, depth);
    }
    const uint64_t holds = h.scheme == kSchemeNone ? level.length : level.inflated;
    if (!etc1s && holds < need) {
      return Fail(failure, FailureKind::InvalidHeader, "KTX 2 level %u holds %llu bytes where its images need %llu", k,
                  static_cast<unsigned long long>(holds), static_cast<unsigned long long>(need));
    }
  }

  LevelChain chain;
  const bool derived = h.scheme != kSchemeNone;
  // The surface a closer look asks for: layer-major, then face; each holds its level's depth slices.
  const uint64_t surface = options.surface < images ? options.surface : 0;
  for (uint32_t k = 0; k < levels && k < static_cast<uint32_t>(kMaxLevels); ++k) {
    const int32_t w = static_cast<int32_t>(std::max<uint32_t>(1, h.width >> k));
    const int32_t hh = static_cast<int32_t>(std::max<uint32_t>(1, height >> k));
    SourceImage image = drawing;
    image.width = w, image.height = hh;
    if (!SizeLevel(&image, failure)) return false;
    // surface < images: every level's images were proved to fit in 64 bits above.
    const uint64_t skip = surface * image.bytes * std::max<uint64_t>(1, depth >> k);
    if (derived) stored[k].skip = skip;  // inside the inflated level
    if (!AddLevel(&chain, drawing, w, hh, stored[k].offset + (derived ? 0 : skip), derived, stored[k].length)) {
      return Fail(failure, FailureKind::InvalidHeader, "KTX 2 level %u does not fit", k);
    }
  }
  if (etc1s) {
    // One image description a level, layer, face and slice; the images of level k follow those of the levels
    // before it.
    uint64_t imageCount = 0;
    Etc1sImage drawn[kMaxLevels];
    for (uint32_t k = 0; k < levels; ++k) {
      const uint64_t slices = std::max<uint64_t>(1, depth >> k);
      if (k < static_cast<uint32_t>(chain.count)) {
        drawn[k].levelOffset = stored[k].offset, drawn[k].levelLength = stored[k].length;
        drawn[k].index = static_cast<uint32_t>(imageCount + surface * slices);
        drawn[k].width = chain.levels[k].width, drawn[k].height = chain.levels[k].height;
      }
      imageCount += images * slices;
    }
    if (imageCount > (uint64_t{1} << 24))
      return Fail(failure, FailureKind::TooLarge, "%llu BasisLZ images", static_cast<unsigned long long>(imageCount));
    Etc1sGlobalPtr global;
    if (!ReadEtc1sGlobal(source, h.sgdOffset, h.sgdLength, static_cast<uint32_t>(imageCount), &global, failure)) {
      return false;
    }
    if (!Etc1sHasAlpha(*global)) {
      // Colour alone: the levels are derived as ETC1 blocks (one base colour and table each), drawn as such.
      for (int32_t k = 0; k < chain.count; ++k) {
        chain.levels[k].alpha = AlphaRule::kOpaque;
        chain.levels[k].format = PixelFormat::ETC1;
      }
    }
    Describe(h, dfd, orientation, name, *format, chain, options.facts);
    if (options.facts) {
      const size_t used = std::strlen(options.facts->details);
      std::snprintf(options.facts->details + used, sizeof options.facts->details - used,
                    ", %s, %u endpoints, %u selectors", Etc1sHasAlpha(*global) ? "RGBA" : "RGB",
                    Etc1sEndpointCount(*global), Etc1sSelectorCount(*global));
    }
    auto levelsOf = MakeEtc1sLevels(source, std::move(global), drawn, chain.count);
    if (!levelsOf) return Fail(failure, FailureKind::OutOfMemory, "no memory for the BasisLZ levels");
    return TexturePictureOf(chain, picture, failure, std::move(levelsOf));
  }
  if (uastc) {
    // The descriptor's channel says what the blocks hold: RGB and RRR blocks are opaque.
    static constexpr const char* kUastcChannels[7] = {"RGB", "?", "?", "RGBA", "RRR", "RRRG", "RG"};
    const bool opaque = dfd.channel == 0 || dfd.channel == 4;
    if (opaque) {
      for (int32_t k = 0; k < chain.count; ++k) chain.levels[k].alpha = AlphaRule::kOpaque;
    }
    Describe(h, dfd, orientation, name, *format, chain, options.facts);
    if (options.facts && dfd.channel >= 0 && dfd.channel <= 6 && dfd.channel != 1 && dfd.channel != 2) {
      const size_t used = std::strlen(options.facts->details);
      std::snprintf(options.facts->details + used, sizeof options.facts->details - used, ", %s",
                    kUastcChannels[dfd.channel]);
    }
  } else {
    Describe(h, dfd, orientation, name, *format, chain, options.facts);
  }
  if (!derived) return TexturePictureOf(chain, picture, failure);
  auto levelsOf = MakeKtxDerivedLevels(source, h.scheme == kSchemeZstd ? LevelTransform::kZstd : LevelTransform::kZlib,
                                       stored, chain.count);
  if (!levelsOf) return Fail(failure, FailureKind::OutOfMemory, "no memory for the KTX 2 levels");
  return TexturePictureOf(chain, picture, failure, std::move(levelsOf));
}

}  // namespace mirelth
