#include "formats/exr/exr.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "encodings/conversion_rules.h"
#include "formats/exr/exr_codecs.h"
#include "formats/exr/exr_header.h"
#include "io/buffers.h"
#include "io/byte_reader.h"
#include "io/limits.h"
#include "picture/tonemap.h"

namespace mirelth {
namespace {

// Chunks above this many unpacked bytes must hold at least 1/kMaxPackingRatio of them.
constexpr uint64_t kSmallChunk = 1 << 16, kMaxPackingRatio = 8192;
// The largest edge we draw (the format allows 2^31); a thumbnail of it reads only the chunks under its samples.
constexpr int64_t kMaxEdge = int64_t{1} << 24;

// Which channels give the picture's colour.
enum class ColourMode : uint8_t { kRgb, kLuminance, kLuminanceChroma };
struct Drawn {
  ColourMode mode = ColourMode::kRgb;
  int32_t r = -1, g = -1, b = -1, a = -1;  // kRgb (indices into the channel list; -1: absent, drawn 0)
  int32_t y = -1, ry = -1, by = -1;        // the luminance modes (a as above)
  char layer[128] = {};                    // "diffuse" when drawn from a layer
};

int32_t FindChannel(const ExrPart& part, const char* layer, const char* name) {
  char full[300];
  if (layer[0]) {
    std::snprintf(full, sizeof full, "%s.%s", layer, name);
  } else {
    std::snprintf(full, sizeof full, "%s", name);
  }
  for (size_t i = 0; i < part.channels.size(); ++i) {
    if (std::strcmp(part.channels[i].name, full) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

bool ChooseChannels(const ExrPart& part, Drawn* drawn, DecodeFailure* failure) {
  drawn->r = FindChannel(part, "", "R"), drawn->g = FindChannel(part, "", "G"), drawn->b = FindChannel(part, "", "B");
  drawn->a = FindChannel(part, "", "A");
  if (drawn->r >= 0 || drawn->g >= 0 || drawn->b >= 0) return true;
  drawn->y = FindChannel(part, "", "Y");
  if (drawn->y >= 0) {
    drawn->ry = FindChannel(part, "", "RY"), drawn->by = FindChannel(part, "", "BY");
    drawn->mode = drawn->ry >= 0 && drawn->by >= 0 ? ColourMode::kLuminanceChroma : ColourMode::kLuminance;
    return true;
  }
  // The first layer (in the list's order) with R, G and B of its own.
  for (size_t i = 0; i < part.channels.size(); ++i) {
    const char* name = part.channels[i].name;
    const size_t length = std::strlen(name);
    if (length < 3 || std::strcmp(name + length - 2, ".R") != 0 || length - 2 >= sizeof drawn->layer) continue;
    char layer[sizeof drawn->layer] = {};
    std::memcpy(layer, name, length - 2);
    const int32_t g = FindChannel(part, layer, "G"), b = FindChannel(part, layer, "B");
    if (g < 0 || b < 0) continue;
    drawn->r = static_cast<int32_t>(i), drawn->g = g, drawn->b = b, drawn->a = FindChannel(part, layer, "A");
    std::memcpy(drawn->layer, layer, sizeof layer);
    return true;
  }
  char list[96] = {};
  size_t used = 0;
  for (size_t i = 0; i < part.channels.size() && used + 1 < sizeof list; ++i) {
    const int wrote = std::snprintf(list + used, sizeof list - used, "%s%s", i ? "," : "", part.channels[i].name);
    if (wrote > 0) used += static_cast<size_t>(wrote);
  }
  if (used >= sizeof list) used = sizeof list - 1;
  return Fail(failure, FailureKind::Unsupported, "OpenEXR channels without R, G, B or Y: %s",
              part.channels.size() ? list : "none");
}

// A level of the part: its size and where its chunks start in the offset table.
struct Level {
  int64_t width = 0, height = 0;
  uint32_t lx = 0, ly = 0;
  uint64_t firstChunk = 0;
  uint64_t tilesX = 1, tilesY = 1;
};

// One decoded chunk (scanline block or tile): its rectangle and, for each of its lines and channels, where that
// channel's samples start in the unpacked bytes (-1: none on that line).
struct DecodedChunk {
  bool valid = false;
  ExrChunkShape shape;
  ByteBuffer bytes;
  Scratch<int64_t> lines{0};  // (y - yMin) * channels + c
  size_t linesCapacity = 0;
};

// Reads and decodes the part's chunks.
class ExrChunks {
 public:
  ExrChunks(ByteSource& source, const ExrPart& part) : source_(source), part_(part) {}

  // Chunk `index` of the offset table, holding the rectangle `shape` (scanline block at tile (-1, -1), or tile
  // (tx, ty) of level (lx, ly)).
  bool Load(uint64_t index, const ExrChunkShape& shape, int64_t tx, int64_t ty, const Level& level, DecodedChunk* out,
            DecodeFailure* failure) {
    out->valid = false;
    uint8_t entry[8];
    if (!source_.Read(part_.offsetTable + 8 * index, entry, 8, failure)) return false;
    const uint64_t offset = ByteReader::U64LENoBoundsCheck(entry);
    const uint64_t tablesEnd = part_.offsetTable + 8 * part_.chunkCount;
    if (offset < tablesEnd || offset >= source_.size()) {
      if (offset >= source_.size() && offset < (uint64_t{1} << 62)) {
        return FailTruncated(failure, source_.size(), offset + 1, "an OpenEXR chunk");
      }
      return Fail(failure, FailureKind::InvalidHeader,
                  "OpenEXR chunk %" PRIu64 " at offset %" PRIu64 " (the tables end at %" PRIu64 ")", index, offset,
                  tablesEnd);
    }
    // Chunk header: [part number] y, size (scanlines) or tile x, tile y, level x, level y, size (tiles).
    const int fields = (part_.multiPart ? 1 : 0) + (part_.tiled ? 5 : 2);
    uint8_t head[24];
    if (!source_.Has(offset, 4u * fields)) {
      return FailTruncated(failure, source_.size(), offset + 4u * fields, "an OpenEXR chunk header");
    }
    // Chunk headers and data are read as they are (not through the small-read window, which would read the 64 KiB
    // around each chunk): a thumbnail reads the offset table, then exactly the chunks it draws.
    if (!source_.ReadUnwindowed(offset, head, 4u * fields, failure)) return false;
    const uint8_t* h = head;
    if (part_.multiPart) {
      if (ByteReader::U32LENoBoundsCheck(h) != 0) {
        return Fail(failure, FailureKind::InvalidHeader, "OpenEXR chunk %" PRIu64 " names part %u, not the first",
                    index, ByteReader::U32LENoBoundsCheck(h));
      }
      h += 4;
    }
    auto i32 = [](const uint8_t* p) { return static_cast<int32_t>(ByteReader::U32LENoBoundsCheck(p)); };
    if (part_.tiled) {
      if (i32(h) != tx || i32(h + 4) != ty || i32(h + 8) != static_cast<int32_t>(level.lx) ||
          i32(h + 12) != static_cast<int32_t>(level.ly)) {
        return Fail(failure, FailureKind::InvalidHeader,
                    "OpenEXR chunk %" PRIu64 " holds tile (%d, %d) of level (%d, %d), not (%lld, %lld) of (%u, %u)",
                    index, i32(h), i32(h + 4), i32(h + 8), i32(h + 12), static_cast<long long>(tx),
                    static_cast<long long>(ty), level.lx, level.ly);
      }
      h += 16;
    } else {
      if (i32(h) != shape.yMin) {
        return Fail(failure, FailureKind::InvalidHeader, "OpenEXR chunk %" PRIu64 " holds line %d, not %d", index,
                    i32(h), shape.yMin);
      }
      h += 4;
    }
    const int32_t packed = i32(h);
    const uint64_t dataAt = offset + 4u * fields;
    const uint64_t unpacked = ExrUnpackedBytes(shape);
    if (unpacked > kMaxInflatedBytes) {
      return Fail(failure, FailureKind::TooLarge, "an OpenEXR chunk of %" PRIu64 " bytes (at most %" PRIu64 ")",
                  unpacked, kMaxInflatedBytes);
    }
    // No compression of the format packs pixels tighter than about 1:1000 (zlib's limit; PIZ's runs and DWA's
    // flat blocks stay below it): a chunk that claims more is refused before its buffer is allocated.
    if (unpacked > kSmallChunk && static_cast<uint64_t>(packed < 0 ? 0 : packed) < unpacked / kMaxPackingRatio) {
      return Fail(failure, FailureKind::InvalidHeader,
                  "OpenEXR chunk %" PRIu64 " of %d bytes claims %" PRIu64 " bytes of pixels", index, packed, unpacked);
    }
    if (packed < 0 || static_cast<uint64_t>(packed) > unpacked) {
      return Fail(failure, FailureKind::InvalidHeader,
                  "OpenEXR chunk %" PRIu64 " of %d bytes for %" PRIu64 " bytes of pixels", index, packed, unpacked);
    }
    if (!source_.Has(dataAt, static_cast<uint64_t>(packed))) {
      return FailTruncated(failure, source_.size(), dataAt + static_cast<uint64_t>(packed), "an OpenEXR chunk");
    }
    const uint8_t* in = nullptr;
    if (source_.InMemory()) {
      in = source_.View(dataAt, static_cast<size_t>(packed), &packedBuffer_, failure);
    } else if (uint8_t* buffer = packedBuffer_.Reserve(static_cast<size_t>(packed))) {
      in = source_.ReadUnwindowed(dataAt, buffer, static_cast<size_t>(packed), failure) ? buffer : nullptr;
    } else {
      return Fail(failure, FailureKind::OutOfMemory, "no chunk buffer");
    }
    if (!in) return false;
    uint8_t* bytes = out->bytes.Reserve(static_cast<size_t>(unpacked));
    if (!bytes) return Fail(failure, FailureKind::OutOfMemory, "no chunk buffer");
    if (!decompressor_.Decompress(part_.compression, shape, in, static_cast<size_t>(packed), bytes,
                                  static_cast<size_t>(unpacked), failure)) {
      return false;
    }
    // Where each line's channels start.
    const size_t channels = shape.channelCount;
    const size_t lineCount = static_cast<size_t>(int64_t{shape.yMax} - shape.yMin + 1);
    if (out->linesCapacity < lineCount * channels) {
      out->lines = Scratch<int64_t>(lineCount * channels);
      if (!out->lines) return Fail(failure, FailureKind::OutOfMemory, "no chunk line table");
      out->linesCapacity = lineCount * channels;
    }
    int64_t at = 0;
    for (size_t line = 0; line < lineCount; ++line) {
      const int32_t y = shape.yMin + static_cast<int32_t>(line);
      for (size_t c = 0; c < channels; ++c) {
        const ExrChannel& ch = shape.channels[c];
        if (!ExrSampledAt(y, ch.ySampling)) {
          out->lines[line * channels + c] = -1;
          continue;
        }
        out->lines[line * channels + c] = at;
        at += ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax) * ExrPixelBytes(ch.type);
      }
    }
    out->shape = shape;
    out->valid = true;
    return true;
  }

 private:
  ByteSource& source_;
  const ExrPart& part_;
  ExrDecompressor decompressor_;
  ByteBuffer packedBuffer_;
};

// A channel's value at absolute (x, y) inside a decoded chunk: the nearest sample at or before it (a subsampled
// channel's sample of its 2 x 2 or larger cell), within the chunk.
float ValueAt(const uint8_t* p, ExrPixelType type) {
  switch (type) {
    case ExrPixelType::kHalf: return HalfToFloat(ByteReader::U16LENoBoundsCheck(p));
    case ExrPixelType::kFloat: {
      const uint32_t bits = ByteReader::U32LENoBoundsCheck(p);
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    case ExrPixelType::kUint: return static_cast<float>(ByteReader::U32LENoBoundsCheck(p) / 4294967295.0);
  }
  return 0.0f;
}

// One channel's values on one line of a decoded chunk, any of them by its pixel column: a subsampled channel gives
// the value of the sampled line at or above the line (else the first below it) and of the sample at or left of the
// column (clamped to the first and last). The line is found once; each column costs a division at most.
struct LineSampler {
  const uint8_t* values = nullptr;  // null: the channel has no line in the chunk, every value is 0
  ExrPixelType type = ExrPixelType::kHalf;
  uint32_t bytes = 2;
  int32_t sampling = 1, xMin = 0;
  int64_t count = 0, first = 0;  // samples on the line; floor((xMin - 1) / sampling) + 1

  LineSampler(const DecodedChunk& chunk, size_t c, int32_t y) {
    const ExrChunkShape& s = chunk.shape;
    const ExrChannel& ch = s.channels[c];
    const size_t channels = s.channelCount;
    type = ch.type, bytes = ExrPixelBytes(ch.type), sampling = ch.xSampling, xMin = s.xMin;
    const int32_t line = y - s.yMin;
    int32_t found = line;
    if (ch.xSampling != 1 || ch.ySampling != 1) {
      while (found >= 0 && chunk.lines[static_cast<size_t>(found) * channels + c] < 0) --found;
      if (found < 0) {
        found = line;
        const int32_t last = s.yMax - s.yMin;
        while (found <= last && chunk.lines[static_cast<size_t>(found) * channels + c] < 0) ++found;
        if (found > last) return;
      }
    }
    count = ExrSampleCount(sampling, s.xMin, s.xMax);
    if (count <= 0) return;
    first = ExrFloorDiv(int64_t{s.xMin} - 1, sampling) + 1;
    values = chunk.bytes.data() + chunk.lines[static_cast<size_t>(found) * channels + c];
  }
  // The sample of column x: its own, or (subsampled) the one at or left of it, clamped to the line.
  int64_t IndexOf(int32_t x) const {
    return sampling == 1 ? int64_t{x} - xMin : std::clamp<int64_t>(ExrFloorDiv(x, sampling) - first, 0, count - 1);
  }
  float Sample(int64_t index) const { return ValueAt(values + index * bytes, type); }
  float At(int32_t x) const { return values ? Sample(IndexOf(x)) : 0.0f; }
};

float SampleOf(const DecodedChunk& chunk, size_t c, int32_t x, int32_t y) { return LineSampler(chunk, c, y).At(x); }

// The drawn colour of a pixel from its channels' values: luminance-chroma to RGB, then colour divided by alpha.
void FinishPixel(const Drawn& drawn, const double* luminance, float* p) {
  if (drawn.mode == ColourMode::kLuminanceChroma) {
    const float y = p[0], ry = p[1], by = p[2];
    if (ry == 0.0f && by == 0.0f) {
      p[0] = p[1] = p[2] = y;
    } else {
      const double r = (ry + 1.0) * y, b = (by + 1.0) * y;
      const double g = (y - r * luminance[0] - b * luminance[2]) / luminance[1];
      p[0] = static_cast<float>(r), p[1] = static_cast<float>(g), p[2] = static_cast<float>(b);
    }
  } else if (drawn.mode == ColourMode::kLuminance) {
    p[1] = p[2] = p[0];
  }
  if (drawn.a >= 0) {
    const float a = p[3];
    if (a > 0.0f) {
      for (int c = 0; c < 3; ++c) p[c] /= a;
    } else {
      p[0] = p[1] = p[2] = p[3] = 0.0f;
    }
  }
}

// The picture's geometry for one draw: a level of `width` x `height` (the display window at level 0) with the
// level's data at (dx, dy) inside it.
struct View {
  int32_t width = 0, height = 0;
  int64_t dx = 0, dy = 0;
  Level level;
};

class ExrRows final : public FloatRowSource {
 public:
  ExrRows(ByteSource& source, const ExrPart& part, const Drawn& drawn, const View& view)
      : part_(part), drawn_(drawn), view_(view), chunks_(source, part) {
    const int32_t picked[4] = {drawn.mode == ColourMode::kRgb ? drawn.r : drawn.y,
                               drawn.mode == ColourMode::kRgb ? drawn.g : drawn.ry,
                               drawn.mode == ColourMode::kRgb ? drawn.b : drawn.by, drawn.a};
    std::memcpy(picked_, picked, sizeof picked);
  }

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t,
             DecodeFailure* failure) override {
    columns_ = columns;
    columnCount_ = columnCount;
    rows_ = rows;
    scanlineChunk_ = UINT64_MAX;
    tileRow_ = INT64_MIN;
    if (part_.tiled) {
      tileSlots_ = Scratch<int32_t>(static_cast<size_t>(view_.level.tilesX));
      tileCapacity_ = static_cast<size_t>(view_.level.tilesX < static_cast<uint64_t>(columnCount)
                                              ? view_.level.tilesX
                                              : static_cast<uint64_t>(columnCount));
      tiles_ = Scratch<DecodedChunk>(tileCapacity_);
      if (!tileSlots_ || !tiles_) return Fail(failure, FailureKind::OutOfMemory, "no tile table");
    }
    return true;
  }

  bool FloatRow(int32_t index, float* out, DecodeFailure* failure) override {
    const int64_t v = rows_[index] - view_.dy;  // the level's line
    if (v < 0 || v >= view_.level.height) {
      std::memset(out, 0, static_cast<size_t>(columnCount_) * 16);
      return true;
    }
    const int32_t y = static_cast<int32_t>(part_.dataWindow.yMin + v);
    if (part_.tiled) {
      if (!LoadTileRow(v / part_.tileHeight, failure)) return false;
    } else {
      const uint64_t chunk = static_cast<uint64_t>(v / ExrLinesPerChunk(part_.compression));
      if (chunk != scanlineChunk_ && !LoadScanlineChunk(chunk, failure)) return false;
    }
    for (int32_t i = 0; i < columnCount_; ++i) {
      float* p = out + 4 * static_cast<size_t>(i);
      const int64_t u = columns_[i] - view_.dx;
      if (u < 0 || u >= view_.level.width) {
        p[0] = p[1] = p[2] = p[3] = 0.0f;
        continue;
      }
      const int32_t x = static_cast<int32_t>(part_.dataWindow.xMin + u);
      const DecodedChunk* chunk = &scanline_;
      if (part_.tiled) {
        const int32_t slot = tileSlots_[static_cast<size_t>(u / part_.tileWidth)];
        chunk = &tiles_[static_cast<size_t>(slot)];
      }
      for (int c = 0; c < 4; ++c)
        p[c] = picked_[c] >= 0 ? SampleOf(*chunk, static_cast<size_t>(picked_[c]), x, y) : 0.0f;
      if (picked_[3] < 0) p[3] = 1.0f;
      FinishPixel(drawn_, part_.luminance, p);
    }
    return true;
  }

 private:
  bool LoadScanlineChunk(uint64_t chunk, DecodeFailure* failure) {
    const int64_t lines = ExrLinesPerChunk(part_.compression);
    ExrChunkShape shape;
    shape.xMin = part_.dataWindow.xMin, shape.xMax = part_.dataWindow.xMax;
    shape.yMin = static_cast<int32_t>(part_.dataWindow.yMin + static_cast<int64_t>(chunk) * lines);
    const int64_t yMax = int64_t{shape.yMin} + lines - 1;
    shape.yMax = static_cast<int32_t>(yMax < part_.dataWindow.yMax ? yMax : part_.dataWindow.yMax);
    shape.channels = &part_.channels[0];
    shape.channelCount = part_.channels.size();
    if (!chunks_.Load(chunk, shape, -1, -1, view_.level, &scanline_, failure)) return false;
    scanlineChunk_ = chunk;
    return true;
  }

  // The tiles of tile row `ty` under the wanted columns.
  bool LoadTileRow(int64_t ty, DecodeFailure* failure) {
    if (ty == tileRow_) return true;
    tileRow_ = INT64_MIN;
    const Level& level = view_.level;
    for (uint64_t t = 0; t < level.tilesX; ++t) tileSlots_[static_cast<size_t>(t)] = -1;
    size_t used = 0;
    for (int32_t i = 0; i < columnCount_; ++i) {
      const int64_t u = columns_[i] - view_.dx;
      if (u < 0 || u >= level.width) continue;
      const int64_t tx = u / part_.tileWidth;
      if (tileSlots_[static_cast<size_t>(tx)] >= 0) continue;
      if (used >= tileCapacity_) return Fail(failure, FailureKind::InvalidArgument, "more tiles than columns");
      ExrChunkShape shape;
      shape.xMin = static_cast<int32_t>(part_.dataWindow.xMin + tx * part_.tileWidth);
      shape.yMin = static_cast<int32_t>(part_.dataWindow.yMin + ty * part_.tileHeight);
      const int64_t xEnd = (tx + 1) * part_.tileWidth < level.width ? (tx + 1) * part_.tileWidth : level.width;
      const int64_t yEnd = (ty + 1) * part_.tileHeight < level.height ? (ty + 1) * part_.tileHeight : level.height;
      shape.xMax = static_cast<int32_t>(part_.dataWindow.xMin + xEnd - 1);
      shape.yMax = static_cast<int32_t>(part_.dataWindow.yMin + yEnd - 1);
      shape.channels = &part_.channels[0];
      shape.channelCount = part_.channels.size();
      const uint64_t index = level.firstChunk + static_cast<uint64_t>(ty) * level.tilesX + static_cast<uint64_t>(tx);
      if (!chunks_.Load(index, shape, tx, ty, level, &tiles_[used], failure)) return false;
      tileSlots_[static_cast<size_t>(tx)] = static_cast<int32_t>(used++);
    }
    tileRow_ = ty;
    return true;
  }

  const ExrPart& part_;
  const Drawn& drawn_;
  View view_;
  ExrChunks chunks_;
  int32_t picked_[4] = {-1, -1, -1, -1};
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
  DecodedChunk scanline_;
  uint64_t scanlineChunk_ = UINT64_MAX;
  Scratch<DecodedChunk> tiles_{0};  // the decoded tiles of the current tile row, at most one a wanted column
  size_t tileCapacity_ = 0;
  Scratch<int32_t> tileSlots_{0};
  int64_t tileRow_ = INT64_MIN;
};

// Luminance-chroma with RY and BY every second pixel and line, reconstructed as OpenEXR's RGBA interface does, so
// that a file looks as every OpenEXR viewer shows it: chroma lines are filled in along x by a 14-tap half-band
// filter, the odd lines by the same filter down the even lines (edges repeat the outermost chroma sample), every
// step rounded to half as the interface's pixels are; then Y, RY, BY to RGB with the chromaticities' luminance
// weights, and colours more saturated than their diagonal neighbours allow pulled back towards grey.
constexpr float kChromaTaps[14] = {0.002128f, -0.007540f, 0.019597f, -0.043159f, 0.087929f, -0.186077f, 0.627123f,
                                   0.627123f, -0.186077f, 0.087929f, -0.043159f, 0.019597f, -0.007540f, 0.002128f};

inline float ToHalf(float v) { return HalfToFloat(FloatToHalf(v)); }

struct Yca {
  float y, ry, by, a;
};
struct Rgb {
  float r, g, b, a;
};

float Saturation(const Rgb& p) {
  const float high = std::max(p.r, std::max(p.g, p.b)), low = std::min(p.r, std::min(p.g, p.b));
  return high > 0 ? 1 - low / high : 0;
}

class LumaChromaRows final : public FloatRowSource {
 public:
  LumaChromaRows(ByteSource& source, const ExrPart& part, const Drawn& drawn, const View& view)
      : part_(part), drawn_(drawn), view_(view), chunks_(source, part) {
    weights_[0] = static_cast<float>(part.luminance[0]), weights_[1] = static_cast<float>(part.luminance[1]);
    weights_[2] = static_cast<float>(part.luminance[2]);
  }

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t,
             DecodeFailure* failure) override {
    columns_ = columns, columnCount_ = columnCount, rows_ = rows;
    width_ = view_.level.width;
    // The data columns the wanted ones need: each and its two neighbours (for the saturation fix), increasing.
    Scratch<int64_t> wanted(static_cast<size_t>(columnCount) * 3);
    if (!wanted) return Fail(failure, FailureKind::OutOfMemory, "no column table");
    size_t count = 0;
    for (int32_t i = 0; i < columnCount; ++i) {
      const int64_t u = columns[i] - view_.dx;
      if (u < 0 || u >= width_) continue;
      for (int64_t d = -1; d <= 1; ++d) {
        const int64_t v = std::min(width_ - 1, std::max<int64_t>(0, u + d));
        if (count == 0 || wanted[count - 1] < v) wanted[count++] = v;
      }
    }
    if (uint64_t{count} * kLineSlots * sizeof(Yca) > kMaxInflatedBytes) {
      return Fail(failure, FailureKind::TooLarge, "luminance-chroma lines of %zu pixels", count);
    }
    needed_ = Scratch<int64_t>(count);
    slot_ = Scratch<int32_t>(static_cast<size_t>(columnCount));
    left_ = Scratch<int32_t>(static_cast<size_t>(columnCount)),
    right_ = Scratch<int32_t>(static_cast<size_t>(columnCount));
    lines_ = Scratch<Yca>(count * kLineSlots);
    rgb_ = Scratch<Rgb>(count * kRgbSlots);
    chunkSlots_ = Scratch<DecodedChunk>(kChunkSlots);
    ryScratch_ = Scratch<float>(count), byScratch_ = Scratch<float>(count);
    if (!needed_ || !slot_ || !left_ || !right_ || !lines_ || !rgb_ || !chunkSlots_ || !ryScratch_ || !byScratch_) {
      return Fail(failure, FailureKind::OutOfMemory, "no chroma lines");
    }
    neededCount_ = count;
    for (size_t k = 0; k < count; ++k) needed_[k] = wanted[k];
    for (int32_t i = 0; i < columnCount; ++i) {
      const int64_t u = columns[i] - view_.dx;
      slot_[static_cast<size_t>(i)] = -1;
      if (u < 0 || u >= width_) continue;
      slot_[static_cast<size_t>(i)] = static_cast<int32_t>(Find(u));
      // The neighbours whose saturation bounds this column's.
      left_[static_cast<size_t>(i)] = static_cast<int32_t>(Find(std::max<int64_t>(0, u - 1)));
      right_[static_cast<size_t>(i)] = static_cast<int32_t>(Find(std::min(width_ - 1, u + 1)));
    }
    for (int64_t& line : lineOf_) line = INT64_MIN;
    for (int64_t& line : rgbOf_) line = INT64_MIN;
    for (uint64_t& chunk : chunkOf_) chunk = UINT64_MAX;
    ry_ = FindChannel(part_, drawn_.layer, "RY"), by_ = FindChannel(part_, drawn_.layer, "BY");
    return true;
  }

  bool FloatRow(int32_t index, float* out, DecodeFailure* failure) override {
    const int64_t v = rows_[index] - view_.dy;
    if (v < 0 || v >= view_.level.height || neededCount_ == 0) {
      std::memset(out, 0, static_cast<size_t>(columnCount_) * 16);
      return true;
    }
    const int64_t y = part_.dataWindow.yMin + v;
    const Rgb *above = nullptr, *centre = nullptr, *below = nullptr;
    if (!CachedRgbLine(y - 1, &above, failure) || !CachedRgbLine(y, &centre, failure) ||
        !CachedRgbLine(y + 1, &below, failure)) {
      return false;
    }
    for (int32_t i = 0; i < columnCount_; ++i) {
      float* p = out + 4 * static_cast<size_t>(i);
      const int32_t s = slot_[static_cast<size_t>(i)];
      if (s < 0) {
        p[0] = p[1] = p[2] = p[3] = 0.0f;
        continue;
      }
      const auto left = static_cast<size_t>(left_[static_cast<size_t>(i)]);
      const auto right = static_cast<size_t>(right_[static_cast<size_t>(i)]);
      const float sMean = std::min(1.0f, 0.25f * (Saturation(above[left]) + Saturation(above[right]) +
                                                  Saturation(below[left]) + Saturation(below[right])));
      Rgb pixel = centre[s];
      const float sat = Saturation(pixel);
      if (sat > sMean) {
        const float sMax = std::min(1.0f, 1 - (1 - sMean) * 0.25f);
        if (sat > sMax) pixel = Desaturate(pixel, sMax / sat);
      }
      p[0] = pixel.r, p[1] = pixel.g, p[2] = pixel.b, p[3] = drawn_.a >= 0 ? pixel.a : 1.0f;
      if (drawn_.a >= 0) {
        if (p[3] > 0.0f) {
          for (int c = 0; c < 3; ++c) p[c] /= p[3];
        } else {
          p[0] = p[1] = p[2] = p[3] = 0.0f;
        }
      }
    }
    return true;
  }

 private:
  static constexpr size_t kLineSlots = 32;   // lines y - 14 .. y + 14 are in use at once
  static constexpr size_t kRgbSlots = 4;     // RGB lines y - 1 .. y + 1, kept for the next row
  static constexpr size_t kChunkSlots = 32;  // and the chunks holding them

  size_t Find(int64_t u) const {
    size_t lo = 0, hi = neededCount_;
    while (lo + 1 < hi) {
      const size_t mid = (lo + hi) / 2;
      if (needed_[mid] <= u) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    return lo;
  }

  Rgb Desaturate(const Rgb& in, float f) const {
    const float high = std::max(in.r, std::max(in.g, in.b));
    Rgb out{ToHalf(std::max(high - (high - in.r) * f, 0.0f)), ToHalf(std::max(high - (high - in.g) * f, 0.0f)),
            ToHalf(std::max(high - (high - in.b) * f, 0.0f)), in.a};
    const float yIn = in.r * weights_[0] + in.g * weights_[1] + in.b * weights_[2];
    const float yOut = out.r * weights_[0] + out.g * weights_[1] + out.b * weights_[2];
    if (yOut > 0) {
      out.r = ToHalf(out.r * (yIn / yOut)), out.g = ToHalf(out.g * (yIn / yOut)), out.b = ToHalf(out.b * (yIn / yOut));
    }
    return out;
  }

  // Line `y` clamped as the reconstruction reads past the edges: above the first line the first, below the last the
  // one before it (the last chroma line of an even count).
  int64_t Clamp(int64_t y) const {
    if (y < part_.dataWindow.yMin) return part_.dataWindow.yMin;
    if (y > part_.dataWindow.yMax)
      return part_.dataWindow.yMax - 1 >= part_.dataWindow.yMin ? part_.dataWindow.yMax - 1 : part_.dataWindow.yMin;
    return y;
  }

  // Y, A and (on chroma lines) RY, BY filled in along x, of data line `y` at the needed columns.
  bool Line(int64_t y, const Yca** line, DecodeFailure* failure) {
    const size_t slot = static_cast<size_t>(((y % static_cast<int64_t>(kLineSlots)) + kLineSlots) % kLineSlots);
    Yca* cells = lines_.get() + slot * neededCount_;
    *line = cells;
    if (lineOf_[slot] == y) return true;
    const int64_t lines = ExrLinesPerChunk(part_.compression);
    const uint64_t chunk = static_cast<uint64_t>((y - part_.dataWindow.yMin) / lines);
    DecodedChunk& decoded = chunkSlots_[chunk % kChunkSlots];
    if (chunkOf_[chunk % kChunkSlots] != chunk) {
      chunkOf_[chunk % kChunkSlots] = UINT64_MAX;
      ExrChunkShape shape;
      shape.xMin = part_.dataWindow.xMin, shape.xMax = part_.dataWindow.xMax;
      shape.yMin = static_cast<int32_t>(part_.dataWindow.yMin + static_cast<int64_t>(chunk) * lines);
      shape.yMax = static_cast<int32_t>(std::min<int64_t>(shape.yMin + lines - 1, part_.dataWindow.yMax));
      shape.channels = &part_.channels[0];
      shape.channelCount = part_.channels.size();
      if (!chunks_.Load(chunk, shape, -1, -1, view_.level, &decoded, failure)) return false;
      chunkOf_[chunk % kChunkSlots] = chunk;
    }
    const int32_t absolute = static_cast<int32_t>(y);
    const bool chroma = ExrSampledAt(absolute, 2);
    // Values as halves: those stored as halves already are.
    const auto half = [](const LineSampler& sampler, int32_t x) {
      return sampler.type == ExrPixelType::kHalf ? sampler.At(x) : ToHalf(sampler.At(x));
    };
    const LineSampler luma(decoded, static_cast<size_t>(drawn_.y), absolute);
    const LineSampler alpha(decoded, static_cast<size_t>(drawn_.a >= 0 ? drawn_.a : drawn_.y), absolute);
    const LineSampler red(decoded, static_cast<size_t>(ry_), absolute),
        blue(decoded, static_cast<size_t>(by_), absolute);
    const float *redRow = nullptr, *blueRow = nullptr;
    for (size_t k = 0; k < neededCount_; ++k) {
      const int32_t x = static_cast<int32_t>(part_.dataWindow.xMin + needed_[k]);
      Yca& cell = cells[k];
      cell.y = half(luma, x);
      cell.a = drawn_.a >= 0 ? half(alpha, x) : 1.0f;
      cell.ry = cell.by = 0.0f;
      if (!chroma) continue;
      const int64_t j = needed_[k];
      if ((j & 1) == 0) {
        cell.ry = half(red, x);
        cell.by = half(blue, x);
        continue;
      }
      if (!redRow) {
        // Odd columns filter 14 chroma samples each along the line: every sample is made a half once.
        if (!ChromaRow(red, &redRow_, &redCapacity_, failure) || !ChromaRow(blue, &blueRow_, &blueCapacity_, failure)) {
          return false;
        }
        redRow = redRow_.get(), blueRow = blueRow_.get();
      }
      float ry = 0.0f, by = 0.0f;
      if (j >= 13 && j + 13 <= width_ - 1 && red.values && blue.values && red.sampling == 2 && blue.sampling == 2) {
        // Inside the line, with chroma every other column, the 14 taps are 14 samples in a row.
        const float* r = redRow + red.IndexOf(static_cast<int32_t>(part_.dataWindow.xMin + j - 13));
        const float* b = blueRow + blue.IndexOf(static_cast<int32_t>(part_.dataWindow.xMin + j - 13));
        for (int t = 0; t < 14; ++t) ry += r[t] * kChromaTaps[t], by += b[t] * kChromaTaps[t];
        cell.ry = ToHalf(ry), cell.by = ToHalf(by);
        continue;
      }
      for (int t = 0; t < 14; ++t) {
        int64_t jj = j - 13 + 2 * t;
        if (jj < 0) jj = 0;
        if (jj > width_ - 1) jj = width_ - 2 >= 0 ? width_ - 2 : 0;
        const int32_t xx = static_cast<int32_t>(part_.dataWindow.xMin + jj);
        ry += red.values ? redRow[red.IndexOf(xx)] * kChromaTaps[t] : 0.0f;
        by += blue.values ? blueRow[blue.IndexOf(xx)] * kChromaTaps[t] : 0.0f;
      }
      cell.ry = ToHalf(ry), cell.by = ToHalf(by);
    }
    lineOf_[slot] = y;
    return true;
  }

  // Every sample of a chroma line as a half, into `row` (grown to the line's samples as needed).
  static bool ChromaRow(const LineSampler& line, Scratch<float>* row, size_t* capacity, DecodeFailure* failure) {
    if (!line.values) return true;
    const auto count = static_cast<size_t>(line.count);
    if (uint64_t{count} * sizeof(float) > kMaxInflatedBytes) {
      return Fail(failure, FailureKind::TooLarge, "a chroma line of %zu samples", count);
    }
    if (*capacity < count) {
      *row = Scratch<float>(count);
      *capacity = *row ? count : 0;
      if (!*row) return Fail(failure, FailureKind::OutOfMemory, "no chroma line");
    }
    float* out = row->get();
    for (size_t i = 0; i < count; ++i) {
      const float v = line.Sample(static_cast<int64_t>(i));
      out[i] = line.type == ExrPixelType::kHalf ? v : ToHalf(v);
    }
    return true;
  }

  // RgbLine through a ring of the last lines made: rows in sequence share two of their three lines.
  bool CachedRgbLine(int64_t y, const Rgb** line, DecodeFailure* failure) {
    const auto slot = static_cast<size_t>(((y % static_cast<int64_t>(kRgbSlots)) + kRgbSlots) % kRgbSlots);
    Rgb* cells = rgb_.get() + slot * neededCount_;
    *line = cells;
    if (rgbOf_[slot] == y) return true;
    rgbOf_[slot] = INT64_MIN;
    if (!RgbLine(y, cells, failure)) return false;
    rgbOf_[slot] = y;
    return true;
  }

  // Line `y` (which may lie a line outside the data window) as RGB at the needed columns.
  bool RgbLine(int64_t y, Rgb* out, DecodeFailure* failure) {
    const Yca* own = nullptr;
    if (!Line(Clamp(y), &own, failure)) return false;
    // Odd lines take their chroma down the even lines around them; even lines their own.
    Scratch<float>& ry = ryScratch_;
    Scratch<float>& by = byScratch_;
    if (ExrSampledAt(static_cast<int32_t>(y), 2)) {
      for (size_t k = 0; k < neededCount_; ++k) ry[k] = own[k].ry, by[k] = own[k].by;
    } else {
      for (size_t k = 0; k < neededCount_; ++k) ry[k] = by[k] = 0.0f;
      for (int t = 0; t < 14; ++t) {
        const Yca* tap = nullptr;
        if (!Line(Clamp(y - 13 + 2 * t), &tap, failure)) return false;
        for (size_t k = 0; k < neededCount_; ++k) {
          ry[k] += tap[k].ry * kChromaTaps[t];
          by[k] += tap[k].by * kChromaTaps[t];
        }
      }
      for (size_t k = 0; k < neededCount_; ++k) ry[k] = ToHalf(ry[k]), by[k] = ToHalf(by[k]);
      if (!Line(Clamp(y), &own, failure)) return false;  // the taps may have reused its slot
    }
    for (size_t k = 0; k < neededCount_; ++k) {
      const float luma = own[k].y;
      Rgb& p = out[k];
      p.a = own[k].a;
      if (ry[k] == 0.0f && by[k] == 0.0f) {
        p.r = p.g = p.b = luma;
        continue;
      }
      const float r = (ry[k] + 1) * luma, b = (by[k] + 1) * luma;
      const float g = (luma - r * weights_[0] - b * weights_[2]) / weights_[1];
      p.r = ToHalf(r), p.g = ToHalf(g), p.b = ToHalf(b);
    }
    return true;
  }

  const ExrPart& part_;
  const Drawn& drawn_;
  View view_;
  ExrChunks chunks_;
  float weights_[3] = {};
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
  int64_t width_ = 0;
  int32_t ry_ = -1, by_ = -1;
  Scratch<int64_t> needed_{0};
  size_t neededCount_ = 0;
  Scratch<int32_t> slot_{0};
  Scratch<int32_t> left_{0}, right_{0};  // per wanted column: its neighbours' places in needed_
  Scratch<Yca> lines_{0};
  int64_t lineOf_[kLineSlots] = {};
  int64_t rgbOf_[kRgbSlots] = {};
  Scratch<DecodedChunk> chunkSlots_{0};
  uint64_t chunkOf_[kChunkSlots] = {};
  Scratch<Rgb> rgb_{0};
  Scratch<float> ryScratch_{0}, byScratch_{0};
  Scratch<float> redRow_{0}, blueRow_{0};  // the chroma samples of the line being made
  size_t redCapacity_ = 0, blueCapacity_ = 0;
};

// The row source of a view: luminance-chroma with chroma every second pixel and line is reconstructed, everything
// else reads its samples.
std::unique_ptr<FloatRowSource> RowsOf(ByteSource& source, const ExrPart& part, const Drawn& drawn, const View& view) {
  if (drawn.mode == ColourMode::kLuminanceChroma && !part.tiled &&
      part.channels[static_cast<size_t>(drawn.ry)].xSampling == 2 &&
      part.channels[static_cast<size_t>(drawn.ry)].ySampling == 2 &&
      part.channels[static_cast<size_t>(drawn.by)].xSampling == 2 &&
      part.channels[static_cast<size_t>(drawn.by)].ySampling == 2) {
    return std::unique_ptr<FloatRowSource>(new (std::nothrow) LumaChromaRows(source, part, drawn, view));
  }
  return std::unique_ptr<FloatRowSource>(new (std::nothrow) ExrRows(source, part, drawn, view));
}

class ExrPicture final : public Picture {
 public:
  explicit ExrPicture(ByteSource& source) : source_(source) {}
  // The part is read into the picture (its channel list is not copyable), then the channels drawn are chosen.
  ExrPart& part() { return part_; }
  void SetDrawn(const Drawn& drawn) { drawn_ = drawn; }
  void Prepare() {
    // Levels: a mipmap's levels are drawn when the data window is the display window; a ripmap draws (0, 0).
    const ExrBox& d = part_.dataWindow;
    levelCount_ = 1;
    Level zero;
    zero.width = d.width(), zero.height = d.height();
    levels_[0] = zero;
    if (!part_.tiled) return;
    levels_[0].tilesX = (static_cast<uint64_t>(zero.width) + part_.tileWidth - 1) / part_.tileWidth;
    levels_[0].tilesY = (static_cast<uint64_t>(zero.height) + part_.tileHeight - 1) / part_.tileHeight;
    if (part_.levelMode != ExrLevelMode::kMipmap) return;
    const uint32_t count = ExrLevelCount(d.width() > d.height() ? d.width() : d.height(), part_.roundUp);
    uint64_t first = 0;
    for (uint32_t l = 0; l < count && l < static_cast<uint32_t>(kMaxLevels); ++l) {
      Level level;
      level.lx = level.ly = l;
      level.width = ExrLevelSize(d.width(), l, part_.roundUp);
      level.height = ExrLevelSize(d.height(), l, part_.roundUp);
      level.tilesX = (static_cast<uint64_t>(level.width) + part_.tileWidth - 1) / part_.tileWidth;
      level.tilesY = (static_cast<uint64_t>(level.height) + part_.tileHeight - 1) / part_.tileHeight;
      level.firstChunk = first;
      first += level.tilesX * level.tilesY;
      levels_[l] = level;
    }
    const bool windowsAgree = d.xMin == part_.displayWindow.xMin && d.yMin == part_.displayWindow.yMin &&
                              d.xMax == part_.displayWindow.xMax && d.yMax == part_.displayWindow.yMax;
    levelCount_ =
        windowsAgree ? static_cast<int32_t>(count < static_cast<uint32_t>(kMaxLevels) ? count : kMaxLevels) : 1;
  }

  int32_t width() const override { return static_cast<int32_t>(part_.displayWindow.width()); }
  int32_t height() const override { return static_cast<int32_t>(part_.displayWindow.height()); }
  int32_t levelCount() const override { return levelCount_; }
  void levelSize(int32_t level, int32_t* w, int32_t* h) const override {
    const View view = ViewOf(level);
    *w = view.width, *h = view.height;
  }

  bool DrawFull(HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) override {
    const View view = ViewOf(0);
    std::unique_ptr<FloatRowSource> floats = RowsOf(source_, part_, drawn_, view);
    if (!floats) return Fail(failure, FailureKind::OutOfMemory, "no rows");
    ToneMappedRows rows(*floats, &whitePoint_);
    return DrawRowsFull(rows, {view.width, view.height, true, false}, bitmap, info, failure);
  }

  bool DrawThumbnail(int32_t tw, int32_t th, bool reference, HBITMAP* bitmap, DecodeFailure* failure) override {
    return DrawAt(LevelFor(tw, th), tw, th, reference, bitmap, failure);
  }
  bool DrawLevel(int32_t level, int32_t tw, int32_t th, HBITMAP* bitmap, DecodeFailure* failure) override {
    if (level < 0 || level >= levelCount_) level = 0;
    return DrawAt(level, tw, th, false, bitmap, failure);
  }

 private:
  View ViewOf(int32_t level) const {
    View view;
    view.level = levels_[level];
    if (level == 0) {
      view.width = width(), view.height = height();
      view.dx = int64_t{part_.dataWindow.xMin} - part_.displayWindow.xMin;
      view.dy = int64_t{part_.dataWindow.yMin} - part_.displayWindow.yMin;
    } else {
      view.width = static_cast<int32_t>(view.level.width), view.height = static_cast<int32_t>(view.level.height);
    }
    return view;
  }
  // The smallest level that still covers the thumbnail.
  int32_t LevelFor(int32_t tw, int32_t th) const {
    int32_t chosen = 0;
    for (int32_t l = 1; l < levelCount_; ++l) {
      if (levels_[l].width >= tw && levels_[l].height >= th) chosen = l;
    }
    return chosen;
  }

  bool DrawAt(int32_t level, int32_t tw, int32_t th, bool reference, HBITMAP* bitmap, DecodeFailure* failure) {
    const View view = ViewOf(level);
    const RowGeometry geometry{view.width, view.height, true, false};
    if (!reference) {
      std::unique_ptr<FloatRowSource> floats = RowsOf(source_, part_, drawn_, view);
      if (!floats) return Fail(failure, FailureKind::OutOfMemory, "no rows");
      ToneMappedRows rows(*floats, &whitePoint_);
      return DrawFiltered(rows, geometry, tw, th, bitmap, failure);
    }
    // The reference: every pixel of the level decoded, then the same filter and tone mapping.
    Scratch<float> pixels(0);
    if (!DecodeLinear(level, &pixels, failure)) return false;
    FloatPixelRows all(pixels.get(), view.width);
    ToneMappedRows toned(all, &whitePoint_);
    return DrawFiltered(toned, geometry, tw, th, bitmap, failure);
  }

 public:
  // Every pixel of level `level` as linear R, G, B, A floats, top row first.
  bool DecodeLinear(int32_t level, Scratch<float>* pixels, DecodeFailure* failure) {
    const View view = ViewOf(level);
    if (!CheckFullSize(view.width, view.height, failure)) return false;
    const size_t w = static_cast<size_t>(view.width), h = static_cast<size_t>(view.height);
    *pixels = Scratch<float>(w * h * 4);
    Scratch<int32_t> columns(w), rows(h);
    if (!*pixels || !columns || !rows) return Fail(failure, FailureKind::OutOfMemory, "no float picture");
    for (size_t x = 0; x < w; ++x) columns[x] = static_cast<int32_t>(x);
    for (size_t y = 0; y < h; ++y) rows[y] = static_cast<int32_t>(y);
    std::unique_ptr<FloatRowSource> floats = RowsOf(source_, part_, drawn_, view);
    if (!floats) return Fail(failure, FailureKind::OutOfMemory, "no rows");
    if (!floats->Begin(columns.get(), view.width, rows.get(), view.height, failure)) return false;
    for (size_t y = 0; y < h; ++y) {
      if (!floats->FloatRow(static_cast<int32_t>(y), pixels->get() + y * w * 4, failure)) return false;
    }
    return true;
  }

 private:
  ByteSource& source_;
  ExrPart part_;
  Drawn drawn_;
  Level levels_[kMaxLevels];
  int32_t levelCount_ = 1;
};

void Describe(const ExrPart& part, const Drawn& drawn, Facts* facts) {
  facts->known = true;
  facts->width = part.displayWindow.width();
  facts->height = part.displayWindow.height();
  // The pixel type of the drawn channels ("mixed" when they differ).
  const char* type = nullptr;
  bool mixed = false;
  for (int32_t index : {drawn.r, drawn.g, drawn.b, drawn.a, drawn.y, drawn.ry, drawn.by}) {
    if (index < 0) continue;
    const char* name = ExrPixelTypeName(part.channels[static_cast<size_t>(index)].type);
    if (type && std::strcmp(type, name) != 0) mixed = true;
    type = name;
  }
  const char* colour = drawn.mode == ColourMode::kLuminanceChroma ? "luminance-chroma"
                       : drawn.mode == ColourMode::kLuminance     ? "luminance"
                                                                  : "RGB";
  facts->SetEncoding("%s %s%s, %s",
                     mixed  ? "mixed"
                     : type ? type
                            : "?",
                     colour, drawn.a >= 0 ? " + alpha" : "", ExrCompressionName(part.compression));
  facts->alpha = drawn.a >= 0 ? AlphaKind::kPremultiplied : AlphaKind::kNone;
  facts->colourSpace = ColourSpace::kLinear;
  facts->hdr = true;
  uint32_t bits = 0;
  for (int32_t index : {drawn.r, drawn.g, drawn.b, drawn.a, drawn.y, drawn.ry, drawn.by}) {
    if (index >= 0) bits += 8 * ExrPixelBytes(part.channels[static_cast<size_t>(index)].type);
  }
  facts->bitsPerPixel = bits;
  if (part.tiled && part.levelMode != ExrLevelMode::kOne) {
    const ExrBox& d = part.dataWindow;
    facts->levels = part.levelMode == ExrLevelMode::kMipmap
                        ? ExrLevelCount(d.width() > d.height() ? d.width() : d.height(), part.roundUp)
                        : ExrLevelCount(d.width(), part.roundUp) * ExrLevelCount(d.height(), part.roundUp);
  }
  const ExrBox& d = part.dataWindow;
  const ExrBox& w = part.displayWindow;
  TextBuffer text;
  if (part.tiled) {
    text.Printf("tiled %ux%u%s", part.tileWidth, part.tileHeight,
                part.levelMode == ExrLevelMode::kMipmap   ? " mipmap"
                : part.levelMode == ExrLevelMode::kRipmap ? " ripmap"
                                                          : "");
  } else {
    text.Printf("scanline");
  }
  if (part.multiPart) text.Printf(", part 1 of %u", part.parts);
  text.Printf(", data window (%d,%d)-(%d,%d), display window (%d,%d)-(%d,%d)", d.xMin, d.yMin, d.xMax, d.yMax, w.xMin,
              w.yMin, w.xMax, w.yMax);
  if (drawn.layer[0]) text.Printf(", layer %s", drawn.layer);
  text.Printf(", channels ");
  for (size_t i = 0; i < part.channels.size(); ++i) {
    text.Printf("%s%s %s", i ? "," : "", part.channels[i].name, ExrPixelTypeName(part.channels[i].type));
  }
  std::snprintf(facts->details, sizeof facts->details, "%s", text.c_str());
  if (text.size() >= sizeof facts->details) std::memcpy(facts->details + sizeof facts->details - 4, "...", 4);
}

}  // namespace

namespace {

bool OpenExrPicture(ByteSource& source, const OpenOptions& options, std::unique_ptr<ExrPicture>* picture,
                    DecodeFailure* failure) {
  Drawn drawn;
  std::unique_ptr<ExrPicture> made(new (std::nothrow) ExrPicture(source));
  if (!made) return Fail(failure, FailureKind::OutOfMemory, "no picture");
  ExrPart& part = made->part();
  bool known = false;
  if (!ReadExrHeader(source, &part, &known, failure)) {
    if (known && options.facts) {
      options.facts->known = true;
      options.facts->width = part.displayWindow.width(), options.facts->height = part.displayWindow.height();
      options.facts->hdr = true;
      options.facts->SetEncoding("%s", ExrCompressionName(part.compression));
    }
    return false;
  }
  if (!ChooseChannels(part, &drawn, failure)) {
    if (options.facts) {
      Describe(part, drawn, options.facts);
    }
    return false;
  }
  if (options.facts) Describe(part, drawn, options.facts);
  if (!CheckPictureSize(part.displayWindow.width(), part.displayWindow.height(), options, failure)) return false;
  if (part.displayWindow.width() > kMaxEdge || part.displayWindow.height() > kMaxEdge ||
      part.dataWindow.width() > kMaxEdge || part.dataWindow.height() > kMaxEdge) {
    return Fail(failure, FailureKind::TooLarge, "OpenEXR windows of %lld x %lld and %lld x %lld (at most %lld a side)",
                static_cast<long long>(part.displayWindow.width()), static_cast<long long>(part.displayWindow.height()),
                static_cast<long long>(part.dataWindow.width()), static_cast<long long>(part.dataWindow.height()),
                static_cast<long long>(kMaxEdge));
  }
  made->SetDrawn(drawn);
  made->Prepare();
  *picture = std::move(made);
  return true;
}

}  // namespace

bool OpenExr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  std::unique_ptr<ExrPicture> exr;
  if (!OpenExrPicture(source, options, &exr, failure)) return false;
  *picture = PicturePtr(exr.release());
  return true;
}

bool DecodeExrLinear(ByteSource& source, int32_t* width, int32_t* height, Scratch<float>* pixels,
                     DecodeFailure* failure) {
  std::unique_ptr<ExrPicture> exr;
  OpenOptions options;
  options.maxPixels = kMaxImagePixels;
  if (!OpenExrPicture(source, options, &exr, failure)) return false;
  *width = exr->width(), *height = exr->height();
  return exr->DecodeLinear(0, pixels, failure);
}

}  // namespace mirelth
