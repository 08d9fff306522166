// Located levels: their full decode (read and converted in strips of a few MiB, so that a file source never
// holds more than a strip besides the bitmap) and the sampled row source of the thumbnail path, which reads
// only the pixel rows, block rows and words that hold samples and decodes only the sampled pixels or blocks.
#include "picture/texture.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "encodings/blocks/pvrtc.h"
#include "encodings/conversion_rules.h"
#include "encodings/encoding.h"
#include "io/limits.h"
#include "picture/tonemap.h"

namespace mirelth {
namespace {

constexpr uint64_t kStripBytes = uint64_t{4} << 20;

void ApplyAlphaRule(AlphaRule rule, uint32_t* pixels, size_t count) {
  if (rule == AlphaRule::kPremultiplied) Unpremultiply(pixels, count);
  if (rule == AlphaRule::kOpaque) MakeOpaque(pixels, count);
}

PvrtcLevel PvrtcOf(const SourceImage& image) {
  return {image.source, image.offset, image.format, image.width, image.height};
}

ConvertJob JobFor(const SourceImage& image, const uint8_t* source, int32_t width, int32_t height) {
  ConvertJob job;
  job.source = source;
  job.sourcePitch = static_cast<intptr_t>(image.pitch);
  job.sourceOrder = image.order;
  job.width = width;
  job.height = height;
  job.format = image.format;
  job.layout = &image.layout;
  job.palette = image.palette;
  job.codebook = image.codebook;
  return job;
}

// What both sampled row sources of a level share: the sampled columns and rows, the bytes of a pixel row's sampled
// pixels gathered side by side, and the bytes of a block row's sampled blocks (each sampled column's block, as an
// offset from the first, and its column in it).
class SampledLevel {
 protected:
  SampledLevel(const SourceImage& image, const Encoding& encoding) : image_(image), encoding_(encoding) {}

  bool BeginSamples(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
                    DecodeFailure* failure) {
    columns_ = columns;
    columnCount_ = columnCount;
    rows_ = rows;
    rowCount_ = rowCount;
    cachedBlockRow_ = -1;
    if (encoding_.walk == Walk::kPixels) {
      unitBytes_ = encoding_.blockBytes ? encoding_.blockBytes : image_.layout.bytesPerPixel;
      gathered_ = Scratch<uint8_t>(static_cast<size_t>(columnCount) * unitBytes_);
      return gathered_ ? true : Fail(failure, FailureKind::OutOfMemory, "no row buffer");
    }
    if (encoding_.walk != Walk::kBlocks) return true;
    // The most sampled columns any one block holds decides between texels and whole tiles.
    const int32_t bw = encoding_.blockWidth;
    spots_ = Scratch<TexelSpot>(static_cast<size_t>(columnCount));
    if (!spots_) return Fail(failure, FailureKind::OutOfMemory, "no block plan");
    const int32_t firstBlock = columns[0] / bw;
    columnsPerBlock_ = 1;
    for (int32_t i = 0, run = 0; i < columnCount; ++i) {
      const int32_t block = columns[i] / bw;
      spots_[i] = {static_cast<size_t>(block - firstBlock) * encoding_.blockBytes, columns[i] - block * bw};
      run = (i > 0 && block == columns[i - 1] / bw) ? run + 1 : 1;
      columnsPerBlock_ = std::max(columnsPerBlock_, run);
    }
    return true;
  }

  // The sampled pixels of stored row `row`, side by side (unitBytes_ each); null with the reason.
  const uint8_t* GatherPixelRow(int32_t row, DecodeFailure* failure) {
    const uint64_t first = static_cast<uint64_t>(columns_[0]);
    const uint64_t last = static_cast<uint64_t>(columns_[columnCount_ - 1]);
    const uint8_t* bytes =
        Bytes(static_cast<uint64_t>(row) * image_.pitch + first * unitBytes_, (last - first + 1) * unitBytes_, failure);
    if (!bytes) return nullptr;
    for (int32_t i = 0; i < columnCount_; ++i) {
      std::memcpy(gathered_.get() + static_cast<size_t>(i) * unitBytes_,
                  bytes + (static_cast<uint64_t>(columns_[i]) - first) * unitBytes_, unitBytes_);
    }
    return gathered_.get();
  }

  // The sampled blocks of block row `blockRow` (spots_ index them), and in `end` the index after the last sampled
  // row in it (rows_[index] .. rows_[end - 1]); null with the reason.
  const uint8_t* BlockRowBytes(int32_t index, int32_t blockRow, int32_t* end, DecodeFailure* failure) {
    const int32_t bw = encoding_.blockWidth, bh = encoding_.blockHeight, blockBytes = encoding_.blockBytes;
    const int32_t firstBlock = columns_[0] / bw, lastBlock = columns_[columnCount_ - 1] / bw;
    *end = index;
    while (*end < rowCount_ && rows_[*end] / bh == blockRow) ++*end;
    const uint8_t* blocks = Bytes(static_cast<uint64_t>(blockRow) * image_.pitch + uint64_t(firstBlock) * blockBytes,
                                  uint64_t(lastBlock - firstBlock + 1) * blockBytes, failure);
    if (blocks) cachedBlockRow_ = blockRow;
    return blocks;
  }

  const SourceImage& image_;
  const Encoding& encoding_;
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0, rowCount_ = 0;
  uint32_t unitBytes_ = 0;
  int32_t columnsPerBlock_ = 1;
  int32_t cachedBlockRow_ = -1;
  Scratch<TexelSpot> spots_{0};

 private:
  const uint8_t* Bytes(uint64_t offset, uint64_t length, DecodeFailure* failure) {
    return image_.source->View(image_.offset + offset, static_cast<size_t>(length), &buffer_, failure);
  }

  ByteBuffer buffer_;
  Scratch<uint8_t> gathered_{0};
};

// The sampled path's rows of a plain or block level: only the sampled rows' bytes are read, only the sampled
// pixels (or the blocks holding them) decoded.
class TextureRows final : public RowSource, private SampledLevel {
 public:
  TextureRows(const SourceImage& image, const Encoding& encoding) : SampledLevel(image, encoding) {}

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override {
    if (!BeginSamples(columns, columnCount, rows, rowCount, failure)) return false;
    if (encoding_.walk == Walk::kPvrtc) return pvrtc_.Begin(PvrtcOf(image_), columns, columnCount, failure);
    if (encoding_.walk != Walk::kBlocks) return true;
    cache_ = Scratch<uint32_t>(static_cast<size_t>(columnCount) * encoding_.blockHeight);
    return cache_ ? true : Fail(failure, FailureKind::OutOfMemory, "no block cache");
  }

  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override {
    const int32_t row = rows_[index];
    bool ok;
    if (encoding_.walk == Walk::kPixels) {
      ok = PixelRow(row, out, failure);
    } else if (encoding_.walk == Walk::kPvrtc) {
      ok = pvrtc_.Row(PvrtcOf(image_), row, out, failure);
    } else {
      ok = BlockRow(index, row, out, failure);
    }
    if (ok) ApplyAlphaRule(image_.alpha, out, static_cast<size_t>(columnCount_));
    return ok;
  }

 private:
  bool PixelRow(int32_t row, uint32_t* out, DecodeFailure* failure) {
    const uint8_t* gathered = GatherPixelRow(row, failure);
    if (!gathered) return false;
    ConvertJob job = JobFor(image_, gathered, columnCount_, 1);
    job.destination = reinterpret_cast<uint8_t*>(out);
    job.destinationPitch = static_cast<intptr_t>(columnCount_) * 4;
    ConvertPixels(job);
    return true;
  }

  bool BlockRow(int32_t index, int32_t row, uint32_t* out, DecodeFailure* failure) {
    const int32_t bh = encoding_.blockHeight;
    const int32_t blockRow = row / bh;
    if (blockRow != cachedBlockRow_ && !LoadBlockRow(index, blockRow, failure)) return false;
    std::memcpy(out, cache_.get() + static_cast<size_t>(row - blockRow * bh) * columnCount_,
                static_cast<size_t>(columnCount_) * 4);
    return true;
  }

  // Decodes the sampled pixels of every sampled row in this block row into the cache (one row per pixel row of
  // the block row, the unsampled ones left alone).
  bool LoadBlockRow(int32_t index, int32_t blockRow, DecodeFailure* failure) {
    const int32_t bw = encoding_.blockWidth, bh = encoding_.blockHeight;
    int32_t end = index;
    const uint8_t* blocks = BlockRowBytes(index, blockRow, &end, failure);
    if (!blocks) return false;
    const bool texels = encoding_.decodeTexel && (end - index) * columnsPerBlock_ <= 2;
    const BlockContext context = ContextOf(encoding_, image_.codebook);
    if (texels) {
      for (int32_t k = index; k < end; ++k) {
        const int32_t y = rows_[k] - blockRow * bh;
        uint32_t* row = cache_.get() + static_cast<size_t>(y) * columnCount_;
        if (encoding_.decodeTexels) {
          encoding_.decodeTexels(blocks, spots_.get(), columnCount_, y, row, context);
        } else {
          for (int32_t i = 0; i < columnCount_; ++i) {
            row[i] = encoding_.decodeTexel(blocks + spots_[i].offset, spots_[i].x, y, context);
          }
        }
      }
    } else if (encoding_.decodeTexelSet) {
      // Each sampled block once, with the list of its sampled pixels (its columns x the rows of this block row).
      uint8_t list[kMaxBlockWidth * kMaxBlockHeight];
      uint32_t decoded[kMaxBlockWidth * kMaxBlockHeight];
      for (int32_t i = 0; i < columnCount_;) {
        int32_t next = i + 1;
        while (next < columnCount_ && spots_[next].offset == spots_[i].offset) ++next;
        int32_t count = 0;
        for (int32_t k = index; k < end; ++k) {
          const int32_t y = rows_[k] - blockRow * bh;
          for (int32_t j = i; j < next; ++j) list[count++] = static_cast<uint8_t>(y * bw + spots_[j].x);
        }
        encoding_.decodeTexelSet(blocks + spots_[i].offset, list, count, decoded, context);
        for (int32_t k = index, n = 0; k < end; ++k) {
          uint32_t* row = cache_.get() + static_cast<size_t>(rows_[k] - blockRow * bh) * columnCount_;
          for (int32_t j = i; j < next; ++j) row[j] = decoded[n++];
        }
        i = next;
      }
    } else {
      alignas(16) uint32_t tile[kMaxBlockWidth * kMaxBlockHeight];
      size_t decodedOffset = SIZE_MAX;
      for (int32_t i = 0; i < columnCount_; ++i) {
        const TexelSpot spot = spots_[i];
        if (spot.offset != decodedOffset) {
          encoding_.decodeBlock(reinterpret_cast<uint8_t*>(tile), 4 * bw, blocks + spot.offset, context);
          decodedOffset = spot.offset;
        }
        for (int32_t k = index; k < end; ++k) {
          const int32_t y = rows_[k] - blockRow * bh;
          cache_[static_cast<size_t>(y) * columnCount_ + i] = tile[y * bw + spot.x];
        }
      }
    }
    if (encoding_.usesOrder && image_.order != ChannelOrder::BGRA) {
      for (int32_t k = index; k < end; ++k) {
        const int32_t y = rows_[k] - blockRow * bh;
        ReorderChannels(reinterpret_cast<uint8_t*>(cache_.get() + static_cast<size_t>(y) * columnCount_), 0,
                        columnCount_, 1, image_.order, ChannelOrder::BGRA);
      }
    }
    return true;
  }

  Scratch<uint32_t> cache_{0};
  PvrtcSampler pvrtc_;
};

// The linear float alpha rules: opaque levels draw alpha 1; premultiplied colour is divided by alpha in linear
// light (alpha 0: transparent black).
void ApplyFloatAlphaRule(AlphaRule rule, float* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i, pixels += 4) {
    if (rule == AlphaRule::kOpaque) pixels[3] = 1.0f;
    if (rule != AlphaRule::kPremultiplied) continue;
    const float a = pixels[3] > 1.0f ? 1.0f : pixels[3];
    if (!(a > 0.0f)) {
      pixels[0] = pixels[1] = pixels[2] = pixels[3] = 0.0f;
      continue;
    }
    for (int c = 0; c < 3; ++c) pixels[c] /= a;
  }
}

// The sampled path of an HDR level as linear floats: the pixel rows or block rows under samples, and only the
// sampled pixels (or the blocks holding them) decoded, through the table's float converter or float block decoder.
class TextureFloatRows final : public FloatRowSource, private SampledLevel {
 public:
  TextureFloatRows(const SourceImage& image, const Encoding& encoding) : SampledLevel(image, encoding) {}

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override {
    if (!BeginSamples(columns, columnCount, rows, rowCount, failure)) return false;
    if (encoding_.walk != Walk::kBlocks) return true;
    cache_ = Scratch<float>(static_cast<size_t>(columnCount) * encoding_.blockHeight * 4);
    return cache_ ? true : Fail(failure, FailureKind::OutOfMemory, "no block cache");
  }

  bool FloatRow(int32_t index, float* out, DecodeFailure* failure) override {
    const int32_t row = rows_[index];
    const bool ok = encoding_.walk == Walk::kPixels ? PixelRow(row, out, failure) : BlockRow(index, row, out, failure);
    if (ok) ApplyFloatAlphaRule(image_.alpha, out, static_cast<size_t>(columnCount_));
    return ok;
  }

 private:
  bool PixelRow(int32_t row, float* out, DecodeFailure* failure) {
    const uint8_t* gathered = GatherPixelRow(row, failure);
    if (!gathered) return false;
    ConvertJob job = JobFor(image_, gathered, columnCount_, 1);
    job.destination = reinterpret_cast<uint8_t*>(out);
    job.destinationPitch = static_cast<intptr_t>(columnCount_) * 16;
    encoding_.convertFloat(job);
    return true;
  }

  bool BlockRow(int32_t index, int32_t row, float* out, DecodeFailure* failure) {
    const int32_t bw = encoding_.blockWidth, bh = encoding_.blockHeight;
    const int32_t blockRow = row / bh;
    if (blockRow != cachedBlockRow_) {
      int32_t end = index;
      const uint8_t* blocks = BlockRowBytes(index, blockRow, &end, failure);
      if (!blocks) return false;
      const BlockContext context = ContextOf(encoding_, image_.codebook);
      // One or two samples a block: only those texels (the block's fields, then their blends).
      const bool texels = encoding_.decodeFloatTexel && (end - index) * columnsPerBlock_ <= 2;
      if (texels) {
        for (int32_t k = index; k < end; ++k) {
          const int32_t y = rows_[k] - blockRow * bh;
          float* cached = cache_.get() + static_cast<size_t>(y) * columnCount_ * 4;
          for (int32_t i = 0; i < columnCount_; ++i) {
            encoding_.decodeFloatTexel(cached + 4 * i, blocks + spots_[i].offset, spots_[i].x, y, context);
          }
        }
      }
      alignas(16) float tile[kMaxBlockWidth * kMaxBlockHeight * 4];
      size_t decodedOffset = SIZE_MAX;
      for (int32_t i = 0; i < columnCount_ && !texels; ++i) {
        const TexelSpot spot = spots_[i];
        if (spot.offset != decodedOffset) {
          encoding_.decodeFloatBlock(tile, 4 * bw, blocks + spot.offset, context);
          decodedOffset = spot.offset;
        }
        for (int32_t k = index; k < end; ++k) {
          const int32_t y = rows_[k] - blockRow * bh;
          std::memcpy(cache_.get() + (static_cast<size_t>(y) * columnCount_ + i) * 4, tile + (y * bw + spot.x) * 4, 16);
        }
      }
    }
    std::memcpy(out, cache_.get() + static_cast<size_t>(row - blockRow * bh) * columnCount_ * 4,
                static_cast<size_t>(columnCount_) * 16);
    return true;
  }

  Scratch<float> cache_{0};
};

// The whole level as linear floats, picture order (top row first, left to right): the reference path of HDR
// levels, through the walks of the full decode rather than the sampled path's. False with the reason.
bool DecodeFloatLevel(const SourceImage& image, const Encoding& encoding, Scratch<float>* pixels,
                      DecodeFailure* failure) {
  if (!CheckFullSize(image.width, image.height, failure)) return false;
  const int32_t width = image.width, height = image.height;
  *pixels = Scratch<float>(static_cast<size_t>(width) * height * 4);
  if (!*pixels) return Fail(failure, FailureKind::OutOfMemory, "no float picture");
  ByteBuffer buffer;
  const uint8_t* data = image.source->View(image.offset, static_cast<size_t>(image.bytes), &buffer, failure);
  if (!data) return false;
  float* out = pixels->get();
  const intptr_t pitch = static_cast<intptr_t>(width) * 16;
  if (encoding.walk == Walk::kPixels) {
    ConvertJob job = JobFor(image, data, width, height);
    job.destination = reinterpret_cast<uint8_t*>(out);
    job.destinationPitch = pitch;
    job.flip = !image.topDown;
    encoding.convertFloat(job);
  } else {
    const int32_t bw = encoding.blockWidth, bh = encoding.blockHeight;
    const BlockContext context = ContextOf(encoding, image.codebook);
    alignas(16) float tile[kMaxBlockWidth * kMaxBlockHeight * 4];
    for (int32_t by = 0; by * bh < height; ++by) {
      for (int32_t bx = 0; bx * bw < width; ++bx) {
        encoding.decodeFloatBlock(tile, 4 * bw,
                                  data + by * image.pitch + static_cast<uint64_t>(bx) * encoding.blockBytes, context);
        for (int32_t y = 0; y < bh && by * bh + y < height; ++y) {
          const int32_t stored = by * bh + y, row = image.topDown ? stored : height - 1 - stored;
          for (int32_t x = 0; x < bw && bx * bw + x < width; ++x) {
            std::memcpy(out + (static_cast<size_t>(row) * width + bx * bw + x) * 4, tile + (y * bw + x) * 4, 16);
          }
        }
      }
    }
  }
  if (image.rightToLeft) {
    for (int32_t y = 0; y < height; ++y) {
      float* row = out + static_cast<size_t>(y) * width * 4;
      for (int32_t a = 0, b = width - 1; a < b; ++a, --b) {
        float t[4];
        std::memcpy(t, row + 4 * a, 16);
        std::memcpy(row + 4 * a, row + 4 * b, 16);
        std::memcpy(row + 4 * b, t, 16);
      }
    }
  }
  ApplyFloatAlphaRule(image.alpha, out, static_cast<size_t>(width) * height);
  return true;
}

class TexturePicture final : public Picture {
 public:
  TexturePicture(const LevelChain& chain, std::unique_ptr<DerivedLevels> derived)
      : chain_(chain), derived_(std::move(derived)) {
    for (SourceImage& level : chain_.levels) {
      if (level.palette) level.palette = chain_.palette;
    }
  }
  int32_t width() const override { return chain_.levels[0].width; }
  int32_t height() const override { return chain_.levels[0].height; }

  bool DrawFull(HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) override {
    SourceImage level;
    if (!Drawn(0, &level, failure)) return false;
    if (IsHdrLevel(level.format, &level.layout, level.hdrBlocks)) {
      // Every pixel of level 0, read twice (the white point, then the picture), a row at a time.
      const Encoding* encoding = EncodingOf(level.format);
      TextureFloatRows floats(level, *encoding);
      ToneMappedRows rows(floats, &whitePoint_);
      return DrawRowsFull(rows, level.geometry(), bitmap, info, failure);
    }
    return DecodeSourceImage(level, bitmap, info, failure);
  }

  int32_t levelCount() const override { return chain_.count; }
  void levelSize(int32_t index, int32_t* w, int32_t* h) const override {
    const SourceImage& level = chain_.levels[index >= 0 && index < chain_.count ? index : 0];
    *w = level.width, *h = level.height;
  }
  bool DrawLevel(int32_t index, int32_t tw, int32_t th, HBITMAP* bitmap, DecodeFailure* failure) override {
    if (index < 0 || index >= chain_.count) return Fail(failure, FailureKind::InvalidArgument, "no level %d", index);
    return DrawLevelThumbnail(index, tw, th, false, bitmap, failure);
  }

  bool DrawThumbnail(int32_t tw, int32_t th, bool reference, HBITMAP* bitmap, DecodeFailure* failure) override {
    const int32_t index = static_cast<int32_t>(&ChooseLevel(chain_, tw, th) - chain_.levels);
    return DrawLevelThumbnail(index, tw, th, reference, bitmap, failure);
  }

 private:
  bool DrawLevelThumbnail(int32_t index, int32_t tw, int32_t th, bool reference, HBITMAP* bitmap,
                          DecodeFailure* failure) {
    SourceImage level;
    if (!Drawn(index, &level, failure)) return false;
    const Encoding* encoding = EncodingOf(level.format);
    if (encoding && IsHdrLevel(level.format, &level.layout, level.hdrBlocks)) {
      if (reference) {
        Scratch<float> pixels{0};
        if (!DecodeFloatLevel(level, *encoding, &pixels, failure)) return false;
        FloatPixelRows floats(pixels.get(), level.width);
        ToneMappedRows rows(floats, &whitePoint_);
        return DrawFiltered(rows, {level.width, level.height, true, false}, tw, th, bitmap, failure);
      }
      TextureFloatRows floats(level, *encoding);
      ToneMappedRows rows(floats, &whitePoint_);
      return DrawFiltered(rows, level.geometry(), tw, th, bitmap, failure);
    }
    if (reference) {
      BITMAPINFO info;
      HBITMAP decoded = nullptr;
      if (!DecodeSourceImage(level, &decoded, &info, failure)) return false;
      const UniqueBitmap full(decoded);
      BitmapPixels pixels{};
      if (!GetBitmapPixels(full.get(), &pixels)) return Fail(failure, FailureKind::OutOfMemory, "no decoded bitmap");
      BitmapRows rows(pixels);
      return DrawFiltered(rows, {level.width, level.height, true, false}, tw, th, bitmap, failure);
    }
    if (!encoding) return Fail(failure, FailureKind::Unsupported, "pixel format %d", static_cast<int>(level.format));
    TextureRows rows(level, *encoding);
    return DrawFiltered(rows, level.geometry(), tw, th, bitmap, failure);
  }

  // Level `index` as it is drawn: from the file, or over the bytes the picture derives for it.
  bool Drawn(int32_t index, SourceImage* level, DecodeFailure* failure) {
    *level = chain_.levels[index];
    if (!level->derived) return true;
    ByteSource* bytes = nullptr;
    if (!derived_) return Fail(failure, FailureKind::InvalidArgument, "level %d has no derived bytes", index);
    if (!derived_->Derive(index, &bytes, failure)) return false;
    level->source = bytes;
    level->offset = 0;
    if (!SizeLevel(level, failure)) return false;
    return CheckLevelFits(*level, "the derived level", failure);
  }

  LevelChain chain_;
  std::unique_ptr<DerivedLevels> derived_;
};

}  // namespace

bool SizeLevel(SourceImage* image) {
  return LevelBytes(image->format, image->layout.bytesPerPixel, static_cast<uint64_t>(image->width),
                    static_cast<uint64_t>(image->height), &image->bytes, &image->pitch);
}

bool SizeLevel(SourceImage* image, DecodeFailure* failure) {
  return SizeLevel(image) || Fail(failure, FailureKind::TooLarge, "%d x %d pixels", image->width, image->height);
}

bool CheckLevelFits(const SourceImage& image, const char* what, DecodeFailure* failure) {
  const uint64_t size = image.source ? image.source->size() : 0;
  if (RangeFits(image.offset, image.bytes, size)) return true;
  uint64_t want = 0;
  if (!CheckedAdd(image.offset, image.bytes, &want)) want = UINT64_MAX;
  return FailTruncated(failure, size, want, what);
}

bool CheckFullSize(int32_t width, int32_t height, DecodeFailure* failure) {
  if (width <= 0 || height <= 0) return Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", width, height);
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxImagePixels) {
    return Fail(failure, FailureKind::TooLarge, "%d x %d pixels", width, height);
  }
  return true;
}

bool DecodeSourceImage(const SourceImage& image, HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) {
  if (!CheckFullSize(image.width, image.height, failure)) return false;
  const Encoding* encoding = EncodingOf(image.format);
  if (!encoding || !image.source) {
    return Fail(failure, FailureKind::Unsupported, "pixel format %d", static_cast<int>(image.format));
  }
  uint8_t* bits = nullptr;
  UniqueBitmap created = CreateSizedBitmap(image.width, image.height, &bits, info, failure);
  if (!created) return false;
  const int32_t width = image.width, height = image.height;
  const intptr_t pitch = static_cast<intptr_t>(width) * 4;
  ByteBuffer buffer;
  if (encoding->walk == Walk::kPvrtc) {
    // A PVRTC pixel needs its neighbouring words, anywhere in the level: the level is read whole.
    const uint8_t* data = image.source->View(image.offset, static_cast<size_t>(image.bytes), &buffer, failure);
    if (!data) return false;
    ConvertJob job = JobFor(image, data, width, height);
    job.destination = bits;
    job.destinationPitch = pitch;
    job.flip = image.topDown;
    ConvertPixels(job);
  } else {
    const int32_t unitRows = encoding->blockHeight;  // pixel rows per stored row of `pitch` bytes
    const uint64_t units = (static_cast<uint64_t>(height) + unitRows - 1) / unitRows;
    const uint64_t stripUnits = std::clamp<uint64_t>(kStripBytes / std::max<uint64_t>(image.pitch, 1), 1, units);
    for (uint64_t u0 = 0; u0 < units; u0 += stripUnits) {
      const uint64_t u1 = std::min(units, u0 + stripUnits);
      const uint8_t* data = image.source->View(image.offset + u0 * image.pitch,
                                               static_cast<size_t>((u1 - u0) * image.pitch), &buffer, failure);
      if (!data) return false;
      const auto r0 = static_cast<int32_t>(u0 * unitRows);
      const auto r1 = static_cast<int32_t>(std::min<uint64_t>(height, u1 * unitRows));
      ConvertJob job = JobFor(image, data, width, r1 - r0);
      // Stored row r is picture row r (top-down) or height - 1 - r; picture row y is bitmap row height - 1 - y.
      job.destination = bits + (image.topDown ? static_cast<intptr_t>(height - r1) : r0) * pitch;
      job.destinationPitch = pitch;
      job.flip = image.topDown;
      ConvertPixels(job);
    }
  }
  auto* pixels = reinterpret_cast<uint32_t*>(bits);
  if (image.rightToLeft) {
    for (int32_t y = 0; y < height; ++y)
      std::reverse(pixels + static_cast<size_t>(y) * width, pixels + static_cast<size_t>(y + 1) * width);
  }
  ApplyAlphaRule(image.alpha, pixels, static_cast<size_t>(width) * height);
  *bitmap = created.release();
  return true;
}

bool DrawRowThumbnail(RowSource& rows, const RowGeometry& geometry, int32_t tw, int32_t th, bool reference,
                      HBITMAP* bitmap, DecodeFailure* failure) {
  if (!reference) return DrawFiltered(rows, geometry, tw, th, bitmap, failure);
  BITMAPINFO info;
  HBITMAP decoded = nullptr;
  if (!DrawRowsFull(rows, geometry, &decoded, &info, failure)) return false;
  const UniqueBitmap full(decoded);
  BitmapPixels pixels{};
  if (!GetBitmapPixels(full.get(), &pixels)) return Fail(failure, FailureKind::OutOfMemory, "no decoded bitmap");
  BitmapRows upright(pixels);
  return DrawFiltered(upright, {geometry.width, geometry.height, true, false}, tw, th, bitmap, failure);
}

bool ContiguousChain(const SourceImage& level0, uint32_t levelCount, uint64_t copies, uint32_t depth, LevelChain* chain,
                     DecodeFailure* failure) {
  chain->levels[0] = level0;
  chain->count = 0;
  if (!SizeLevel(&chain->levels[0], failure) || !CheckLevelFits(chain->levels[0], "level 0", failure)) return false;
  chain->count = 1;
  ExtendLevelChain(chain, levelCount, copies, depth);
  return true;
}

bool AddLevel(LevelChain* chain, const SourceImage& drawing, int32_t width, int32_t height, uint64_t offset,
              bool derived, uint64_t stored) {
  if (chain->count >= kMaxLevels) return false;
  SourceImage level = drawing;
  level.width = width;
  level.height = height;
  level.offset = offset;
  level.derived = derived;
  if (!SizeLevel(&level)) return false;
  if (derived) level.bytes = stored;
  if (!level.source || !level.source->Has(offset, level.bytes)) return false;
  chain->levels[chain->count++] = level;
  return true;
}

void ExtendLevelChain(LevelChain* chain, uint32_t levelCount, uint64_t copies, uint32_t depth) {
  if (chain->count < 1) return;
  const SourceImage& base = chain->levels[0];
  auto extent = [&](const SourceImage& level, uint32_t k, uint64_t* bytes) {
    const uint64_t slices = std::max<uint64_t>(1, uint64_t{depth} >> std::min<uint32_t>(k, 63));
    uint64_t perCopy;
    return CheckedMultiply(level.bytes, slices, &perCopy) &&
           CheckedMultiply(perCopy, std::max<uint64_t>(copies, 1), bytes);
  };
  uint64_t offset, extent0;
  if (!extent(base, 0, &extent0) || !CheckedAdd(base.offset, extent0, &offset)) return;
  chain->count = 1;
  for (uint32_t k = 1; k < levelCount && chain->count < kMaxLevels; ++k) {
    const SourceImage& previous = chain->levels[chain->count - 1];
    if (previous.width == 1 && previous.height == 1) break;
    SourceImage level = base;
    level.width = std::max(1, base.width >> k);
    level.height = std::max(1, base.height >> k);
    level.offset = offset;
    uint64_t bytes;
    if (!SizeLevel(&level) || !base.source->Has(offset, level.bytes) || !extent(level, k, &bytes)) break;
    chain->levels[chain->count++] = level;
    if (!CheckedAdd(offset, bytes, &offset)) break;
  }
}

const SourceImage& ChooseLevel(const LevelChain& chain, int32_t tw, int32_t th) {
  for (int32_t k = chain.count - 1; k > 0; --k) {
    if (chain.levels[k].width >= tw && chain.levels[k].height >= th) return chain.levels[k];
  }
  return chain.levels[0];
}

void DescribeTexture(const LevelChain& chain, Facts* facts) {
  if (!facts || chain.count < 1) return;
  const SourceImage& level = chain.levels[0];
  facts->known = true;
  facts->width = level.width;
  facts->height = level.height;
  facts->levels = static_cast<uint32_t>(chain.count);
  const Encoding* encoding = EncodingOf(level.format);
  if (!encoding) return;
  const PixelLayout& layout = level.layout;
  const bool described = level.format == PixelFormat::kDescribed;
  if (encoding->walk == Walk::kPixels) {
    facts->bitsPerPixel = 8u * (described ? layout.bytesPerPixel : encoding->blockBytes);
  } else {
    facts->bitsPerPixel = 32;  // a decoded pixel
  }
  EncodingAlpha alpha = encoding->alpha;
  bool hdr = encoding->hdr || (level.hdrBlocks && encoding->decodeFloatBlock);
  if (described) {
    const ChannelField& a = layout.channel[3];
    alpha = a.type == ChannelType::kAbsent ? EncodingAlpha::kNone
            : a.bits == 1                  ? EncodingAlpha::kOneBit
                                           : EncodingAlpha::kAlpha;
    for (const ChannelField& f : layout.channel) {
      hdr = hdr || f.type == ChannelType::kFloat || f.type == ChannelType::kUFloat;
    }
  }
  facts->hdr = hdr;
  facts->alpha = alpha == EncodingAlpha::kNone     ? AlphaKind::kNone
                 : alpha == EncodingAlpha::kOneBit ? AlphaKind::kOneBit
                                                   : AlphaKind::kStraight;
  if (level.alpha == AlphaRule::kOpaque) facts->alpha = AlphaKind::kNone;
  if (facts->alpha != AlphaKind::kNone && (level.alpha == AlphaRule::kPremultiplied || layout.premultiplied)) {
    facts->alpha = AlphaKind::kPremultiplied;
  }
  if (hdr) facts->colourSpace = ColourSpace::kLinear;
}

PicturePtr MakeTexturePicture(const LevelChain& chain, std::unique_ptr<DerivedLevels> derived) {
  return PicturePtr(new (std::nothrow) TexturePicture(chain, std::move(derived)));
}

bool TexturePictureOf(const LevelChain& chain, PicturePtr* picture, DecodeFailure* failure,
                      std::unique_ptr<DerivedLevels> derived) {
  *picture = MakeTexturePicture(chain, std::move(derived));
  return *picture ? true : Fail(failure, FailureKind::OutOfMemory, "no picture");
}

}  // namespace mirelth
