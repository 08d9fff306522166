#include "formats/exr/exr_header.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "formats/exr/exr_codecs.h"
#include "io/byte_reader.h"
#include "io/limits.h"
#include "io/slice.h"

namespace mirelth {
namespace {

constexpr uint32_t kMagic = 20000630;  // 76 2f 31 01
// Version field: bits 0-7 the version (2), then the flags.
constexpr uint32_t kFlagTiled = 0x200, kFlagLongNames = 0x400, kFlagDeep = 0x800, kFlagMultiPart = 0x1000;
constexpr uint32_t kKnownFlags = kFlagTiled | kFlagLongNames | kFlagDeep | kFlagMultiPart;
// A header is a few hundred bytes; more attributes than this is not a picture we read.
constexpr int kMaxAttributes = 4096;
constexpr uint32_t kMaxParts = 65536;
constexpr size_t kMaxChannels = 4096;

struct CompressionRow {
  const char* name;
  int32_t linesPerChunk;
};
// Indexed by the file's compression code.
constexpr CompressionRow kCompressions[] = {
    {"none", 1},   {"RLE", 1},  {"ZIPS", 1},  {"ZIP", 16},  {"PIZ", 32},
    {"PXR24", 16}, {"B44", 32}, {"B44A", 32}, {"DWAA", 32}, {"DWAB", 256},
};
static_assert(sizeof kCompressions / sizeof kCompressions[0] == static_cast<size_t>(ExrCompression::kCount));

// A null-terminated name of at most `most` bytes at `*at` inside `slice`; an empty name is allowed.
bool ReadName(const ByteSlice& slice, uint64_t* at, char* out, size_t most) {
  for (size_t i = 0; i <= most; ++i) {
    uint8_t c = 0;
    if (!slice.U8(*at + i, &c)) return false;
    out[i] = static_cast<char>(c);
    if (c == 0) {
      *at += i + 1;
      return true;
    }
  }
  return false;
}

uint32_t U32(const uint8_t* p) { return ByteReader::U32LENoBoundsCheck(p); }
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

bool ReadBox(const ByteSlice& value, ExrBox* box) {
  uint8_t b[16];
  if (value.size() != 16 || !value.Bytes(value.start(), b, 16)) return false;
  box->xMin = I32(b), box->yMin = I32(b + 4), box->xMax = I32(b + 8), box->yMax = I32(b + 12);
  return true;
}

bool ReadChannels(const ByteSlice& value, ExrPart* part, DecodeFailure* failure) {
  uint64_t at = value.start();
  part->channels.Clear();
  while (true) {
    ExrChannel channel;
    if (!ReadName(value, &at, channel.name, 255)) {
      return Fail(failure, FailureKind::InvalidHeader, "the OpenEXR channel list is damaged");
    }
    if (channel.name[0] == 0) break;
    uint8_t b[16];
    if (!value.Bytes(at, b, 16))
      return Fail(failure, FailureKind::InvalidHeader, "the OpenEXR channel list is damaged");
    at += 16;
    const int32_t type = I32(b);
    if (type < 0 || type > 2) {
      return Fail(failure, FailureKind::InvalidHeader, "OpenEXR channel %.60s has pixel type %d", channel.name, type);
    }
    channel.type = static_cast<ExrPixelType>(type);
    channel.perceptuallyLinear = b[4] != 0;
    channel.xSampling = I32(b + 8), channel.ySampling = I32(b + 12);
    if (channel.xSampling < 1 || channel.ySampling < 1) {
      return Fail(failure, FailureKind::InvalidHeader, "OpenEXR channel %.60s has sampling %d x %d", channel.name,
                  channel.xSampling, channel.ySampling);
    }
    if (part->channels.size() >= kMaxChannels) {
      return Fail(failure, FailureKind::TooLarge, "more than %zu OpenEXR channels", kMaxChannels);
    }
    if (!part->channels.Push(channel)) return Fail(failure, FailureKind::OutOfMemory, "no channel list");
  }
  return true;
}

// One header: attributes up to an empty name. `keep` says whether this is the part we draw (the others are only
// walked past). `*at` moves past the header's terminating null byte.
bool ReadOneHeader(ByteSource& source, uint64_t* at, bool keep, ExrPart* part, bool* empty, DecodeFailure* failure) {
  const ByteSlice file(source, 0, source.size());
  bool sawChannels = false, sawCompression = false, sawData = false, sawDisplay = false, sawTiles = false;
  *empty = true;
  for (int count = 0;; ++count) {
    if (count > kMaxAttributes)
      return Fail(failure, FailureKind::InvalidHeader, "an OpenEXR header of too many attributes");
    char name[256], type[256];
    // Names are at most 31 bytes unless the version field says long names; writers that forget the flag are read
    // all the same, up to the long limit, so the flag decides nothing here.
    if (!ReadName(file, at, name, 255)) return FailTruncated(failure, source.size(), *at + 1, "the OpenEXR header");
    if (name[0] == 0) break;
    *empty = false;
    if (!ReadName(file, at, type, 255)) return FailTruncated(failure, source.size(), *at + 1, "the OpenEXR header");
    uint8_t sizeBytes[4];
    if (!file.Bytes(*at, sizeBytes, 4)) return FailTruncated(failure, source.size(), *at + 4, "the OpenEXR header");
    const int32_t size = I32(sizeBytes);
    *at += 4;
    if (size < 0) return Fail(failure, FailureKind::InvalidHeader, "OpenEXR attribute %.60s has size %d", name, size);
    if (!file.Has(*at, static_cast<uint64_t>(size))) {
      return FailTruncated(failure, source.size(), *at + static_cast<uint64_t>(size), "an OpenEXR attribute");
    }
    const ByteSlice value(source, *at, static_cast<uint64_t>(size));
    *at += static_cast<uint64_t>(size);
    if (!keep) continue;
    auto bad = [&]() {
      return Fail(failure, FailureKind::InvalidHeader, "OpenEXR attribute %.60s of type %.40s and size %d", name, type,
                  size);
    };
    if (std::strcmp(name, "channels") == 0 && std::strcmp(type, "chlist") == 0) {
      if (!ReadChannels(value, part, failure)) return false;
      sawChannels = true;
    } else if (std::strcmp(name, "compression") == 0 && std::strcmp(type, "compression") == 0) {
      uint8_t code = 0;
      if (size != 1 || !value.U8(value.start(), &code)) return bad();
      if (code >= static_cast<uint8_t>(ExrCompression::kCount)) {
        return Fail(failure, FailureKind::Unsupported, "OpenEXR compression %u", code);
      }
      part->compression = static_cast<ExrCompression>(code);
      sawCompression = true;
    } else if (std::strcmp(name, "dataWindow") == 0 && std::strcmp(type, "box2i") == 0) {
      if (!ReadBox(value, &part->dataWindow)) return bad();
      sawData = true;
    } else if (std::strcmp(name, "displayWindow") == 0 && std::strcmp(type, "box2i") == 0) {
      if (!ReadBox(value, &part->displayWindow)) return bad();
      sawDisplay = true;
    } else if (std::strcmp(name, "lineOrder") == 0 && std::strcmp(type, "lineOrder") == 0) {
      if (size != 1 || !value.U8(value.start(), &part->lineOrder) || part->lineOrder > 2) return bad();
    } else if (std::strcmp(name, "tiles") == 0 && std::strcmp(type, "tiledesc") == 0) {
      uint8_t b[9];
      if (size != 9 || !value.Bytes(value.start(), b, 9)) return bad();
      part->tileWidth = U32(b), part->tileHeight = U32(b + 4);
      const uint8_t mode = b[8] & 0x0F, rounding = b[8] >> 4;
      if (mode > 2 || rounding > 1) return bad();
      part->levelMode = static_cast<ExrLevelMode>(mode);
      part->roundUp = rounding == 1;
      sawTiles = true;
    } else if (std::strcmp(name, "chromaticities") == 0 && std::strcmp(type, "chromaticities") == 0) {
      uint8_t b[32];
      if (size != 32 || !value.Bytes(value.start(), b, 32)) return bad();
      float c[8];
      for (int i = 0; i < 8; ++i) {
        const uint32_t bits = U32(b + 4 * i);
        std::memcpy(&c[i], &bits, 4);
      }
      // The luminance weights: Y of each primary once the primaries (x/y, 1, z/y as XYZ columns) are scaled so that
      // full R, G and B together give the white point at Y = 1 (Cramer's rule on that 3 x 3 system).
      double m[3][3], white[3];
      for (int i = 0; i < 3; ++i) {
        const double x = c[2 * i], y = c[2 * i + 1];
        m[0][i] = x / y, m[1][i] = 1.0, m[2][i] = (1.0 - x - y) / y;
      }
      white[0] = c[6] / c[7], white[1] = 1.0, white[2] = (1.0 - c[6] - c[7]) / c[7];
      auto det = [](const double(&a)[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
      };
      const double d = det(m);
      double w[3];
      for (int i = 0; i < 3; ++i) {
        double column[3][3];
        std::memcpy(column, m, sizeof m);
        for (int r = 0; r < 3; ++r) column[r][i] = white[r];
        w[i] = det(column) / d;
      }
      if (std::isfinite(w[0]) && std::isfinite(w[1]) && std::isfinite(w[2]) && w[1] != 0) {
        part->luminance[0] = w[0], part->luminance[1] = w[1], part->luminance[2] = w[2];
        part->hasChromaticities = true;
      }
    } else if (std::strcmp(name, "type") == 0 && std::strcmp(type, "string") == 0) {
      char text[32] = {};
      const uint64_t length = value.size() < sizeof text - 1 ? value.size() : sizeof text - 1;
      if (!value.Bytes(value.start(), text, length)) return bad();
      std::memcpy(part->type, text, sizeof text);
    }
  }
  if (!keep || *empty) return true;
  if (!sawChannels || !sawCompression || !sawData || !sawDisplay) {
    return Fail(failure, FailureKind::InvalidHeader, "the OpenEXR header lacks %s",
                !sawChannels      ? "its channel list"
                : !sawCompression ? "its compression"
                : !sawData        ? "its data window"
                                  : "its display window");
  }
  if (std::strncmp(part->type, "deep", 4) == 0) {
    return Fail(failure, FailureKind::Unsupported, "OpenEXR deep data (%s)", part->type);
  }
  if (part->type[0] != 0 && std::strcmp(part->type, "scanlineimage") != 0 &&
      std::strcmp(part->type, "tiledimage") != 0) {
    return Fail(failure, FailureKind::Unsupported, "OpenEXR part type %s", part->type);
  }
  if (std::strcmp(part->type, "tiledimage") == 0) part->tiled = true;
  if (part->tiled && !sawTiles) return Fail(failure, FailureKind::InvalidHeader, "a tiled OpenEXR part without tiles");
  return true;
}

uint32_t FloorLog2(uint64_t x) {
  uint32_t y = 0;
  while (x > 1) x >>= 1, ++y;
  return y;
}
uint32_t CeilLog2(uint64_t x) {
  uint32_t y = 0, r = 0;
  while (x > 1) {
    if (x & 1) r = 1;
    x >>= 1, ++y;
  }
  return y + r;
}

}  // namespace

const char* ExrCompressionName(ExrCompression compression) {
  const size_t i = static_cast<size_t>(compression);
  return i < static_cast<size_t>(ExrCompression::kCount) ? kCompressions[i].name : "?";
}
const char* ExrPixelTypeName(ExrPixelType type) {
  static constexpr const char* kNames[] = {"uint", "half", "float"};
  return kNames[static_cast<size_t>(type)];
}
int32_t ExrLinesPerChunk(ExrCompression compression) {
  const size_t i = static_cast<size_t>(compression);
  return i < static_cast<size_t>(ExrCompression::kCount) ? kCompressions[i].linesPerChunk : 1;
}

int64_t ExrLevelSize(int64_t size, uint32_t level, bool roundUp) {
  if (level >= 63) return 1;
  const int64_t scaled = roundUp ? (size + (int64_t{1} << level) - 1) >> level : size >> level;
  return scaled < 1 ? 1 : scaled;
}
uint32_t ExrLevelCount(int64_t size, bool roundUp) {
  return (roundUp ? CeilLog2(static_cast<uint64_t>(size)) : FloorLog2(static_cast<uint64_t>(size))) + 1;
}

bool ReadExrHeader(ByteSource& source, ExrPart* part, bool* partKnown, DecodeFailure* failure) {
  *partKnown = false;
  uint8_t head[8];
  if (source.size() < 8) {
    uint8_t some[8] = {};
    const size_t n = static_cast<size_t>(source.size());
    if (!source.Read(0, some, n, failure)) return false;
    static constexpr uint8_t kMagicBytes[4] = {0x76, 0x2f, 0x31, 0x01};
    if (n > 0 && std::memcmp(some, kMagicBytes, n < 4 ? n : 4) == 0) {
      return FailTruncated(failure, source.size(), 8, "the OpenEXR version field");
    }
    return Fail(failure, FailureKind::NotThisFormat, "not an OpenEXR file (no magic number 76 2f 31 01)");
  }
  if (!source.Read(0, head, 8, failure)) return false;
  if (U32(head) != kMagic) {
    return Fail(failure, FailureKind::NotThisFormat, "not an OpenEXR file (no magic number 76 2f 31 01)");
  }
  const uint32_t version = U32(head + 4);
  if ((version & 0xFF) != 2) return Fail(failure, FailureKind::Unsupported, "OpenEXR version %u", version & 0xFF);
  if (version & ~(0xFFu | kKnownFlags)) {
    return Fail(failure, FailureKind::Unsupported, "OpenEXR version flags 0x%x", version & ~0xFFu);
  }
  part->multiPart = (version & kFlagMultiPart) != 0;
  if (!part->multiPart && (version & kFlagDeep)) return Fail(failure, FailureKind::Unsupported, "OpenEXR deep data");
  part->tiled = !part->multiPart && (version & kFlagTiled);
  uint64_t at = 8;
  bool empty = false;
  if (!ReadOneHeader(source, &at, true, part, &empty, failure)) return false;
  if (empty) return Fail(failure, FailureKind::InvalidHeader, "an OpenEXR file without a header");
  *partKnown = true;
  part->parts = 1;
  if (part->multiPart) {
    // The other parts' headers, up to the empty one that ends the list.
    ExrPart other;
    while (true) {
      if (!ReadOneHeader(source, &at, false, &other, &empty, failure)) return false;
      if (empty) break;
      if (++part->parts > kMaxParts)
        return Fail(failure, FailureKind::InvalidHeader, "more than %u OpenEXR parts", kMaxParts);
    }
  }
  const ExrBox& d = part->dataWindow;
  if (d.width() < 1 || d.height() < 1 || part->displayWindow.width() < 1 || part->displayWindow.height() < 1) {
    return Fail(failure, FailureKind::InvalidHeader, "OpenEXR data window %lld x %lld, display window %lld x %lld",
                static_cast<long long>(d.width()), static_cast<long long>(d.height()),
                static_cast<long long>(part->displayWindow.width()),
                static_cast<long long>(part->displayWindow.height()));
  }
  if (part->tiled) {
    if (part->tileWidth < 1 || part->tileHeight < 1 || part->tileWidth > (1u << 30) || part->tileHeight > (1u << 30)) {
      return Fail(failure, FailureKind::InvalidHeader, "OpenEXR tiles of %u x %u", part->tileWidth, part->tileHeight);
    }
    uint64_t chunks = 0;
    const uint32_t xLevels = part->levelMode == ExrLevelMode::kOne ? 1
                             : part->levelMode == ExrLevelMode::kMipmap
                                 ? ExrLevelCount(d.width() > d.height() ? d.width() : d.height(), part->roundUp)
                                 : ExrLevelCount(d.width(), part->roundUp);
    const uint32_t yLevels = part->levelMode == ExrLevelMode::kOne      ? 1
                             : part->levelMode == ExrLevelMode::kMipmap ? xLevels
                                                                        : ExrLevelCount(d.height(), part->roundUp);
    for (uint32_t ly = 0; ly < yLevels; ++ly) {
      for (uint32_t lx = 0; lx < xLevels; ++lx) {
        if (part->levelMode != ExrLevelMode::kRipmap && lx != ly) continue;
        const uint64_t w = static_cast<uint64_t>(ExrLevelSize(d.width(), lx, part->roundUp));
        const uint64_t h = static_cast<uint64_t>(ExrLevelSize(d.height(), ly, part->roundUp));
        // Sizes come from the file: a level's tile count and the running total are checked in 64 bits.
        uint64_t tiles = 0;
        if (!CheckedMultiply((w + part->tileWidth - 1) / part->tileWidth, (h + part->tileHeight - 1) / part->tileHeight,
                             &tiles) ||
            !CheckedAdd(chunks, tiles, &chunks)) {
          return Fail(failure, FailureKind::InvalidHeader, "an OpenEXR tiled part of more tiles than 64 bits count");
        }
      }
    }
    part->chunkCount = chunks;
  } else {
    for (size_t c = 0; c < part->channels.size(); ++c) {
      const ExrChannel& channel = part->channels[c];
      // Subsampled channels keep the data window's edges on their grid, as the format asks.
      if (!ExrSampledAt(d.xMin, channel.xSampling) || !ExrSampledAt(d.yMin, channel.ySampling) ||
          !ExrSampledAt(int64_t{d.xMax} + 1, channel.xSampling) ||
          !ExrSampledAt(int64_t{d.yMax} + 1, channel.ySampling)) {
        return Fail(failure, FailureKind::InvalidHeader,
                    "OpenEXR channel %.60s sampled %d x %d off the data window's grid", channel.name, channel.xSampling,
                    channel.ySampling);
      }
    }
    const int64_t lines = ExrLinesPerChunk(part->compression);
    part->chunkCount = static_cast<uint64_t>((d.height() + lines - 1) / lines);
  }
  if (part->tiled) {
    for (size_t c = 0; c < part->channels.size(); ++c) {
      if (part->channels[c].xSampling != 1 || part->channels[c].ySampling != 1) {
        return Fail(failure, FailureKind::InvalidHeader, "a tiled OpenEXR part with subsampled channel %.60s",
                    part->channels[c].name);
      }
    }
  }
  // The offset tables follow the headers, the first part's first.
  part->offsetTable = at;
  uint64_t tableBytes = 0;
  if (!CheckedMultiply(part->chunkCount, 8, &tableBytes) || !source.Has(at, tableBytes)) {
    return FailTruncated(failure, source.size(), at + tableBytes, "the OpenEXR chunk offset table");
  }
  return true;
}

}  // namespace mirelth
