#include "formats/ktx/ktx_common.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "io/inflate.h"
#include "io/limits.h"
#include "io/zstd.h"

namespace mirelth {

bool ReadKtxOrientation(const ByteSlice& data, bool bigEndian, KtxOrientation* orientation, DecodeFailure* failure) {
  static constexpr char kKey[] = "KTXorientation";
  for (uint64_t at = data.start(); at < data.end();) {
    uint32_t length = 0;
    const bool read = bigEndian ? data.U32BE(at, &length) : data.U32LE(at, &length);
    if (!read || !data.Has(at + 4, length)) {
      return Fail(failure, FailureKind::InvalidHeader, "a key/value entry at byte %llu runs past the key/value data",
                  static_cast<unsigned long long>(at));
    }
    char entry[sizeof kKey + sizeof orientation->text] = {};
    const uint64_t take = length < sizeof entry - 1 ? length : sizeof entry - 1;
    if (!data.Bytes(at + 4, entry, take)) return Fail(failure, FailureKind::ReadFailed, "the key/value data");
    if (length > sizeof kKey && std::memcmp(entry, kKey, sizeof kKey) == 0) {
      const char* value = entry + sizeof kKey;
      std::snprintf(orientation->text, sizeof orientation->text, "%s", value);
      // KTX 1: "S=r,T=d[,R=i]"; KTX 2: "rd[i]".
      const char* s = std::strstr(value, "S=");
      const char* t = std::strstr(value, "T=");
      const char sAxis = s ? s[2] : value[0], tAxis = t ? t[2] : (value[0] ? value[1] : 0);
      orientation->rightToLeft = sAxis == 'l';
      orientation->bottomUp = tAxis == 'u';
    }
    at += 4 + ((uint64_t{length} + 3) & ~uint64_t{3});
  }
  return true;
}

bool CheckKtxShape(const char* what, uint32_t width, uint32_t height, uint32_t depth, uint32_t faces, uint32_t levels,
                   DecodeFailure* failure) {
  if (width == 0) return Fail(failure, FailureKind::InvalidHeader, "%s width 0", what);
  if (faces != 1 && faces != 6) return Fail(failure, FailureKind::InvalidHeader, "%s face count %u", what, faces);
  height = std::max<uint32_t>(1, height), depth = std::max<uint32_t>(1, depth);
  uint32_t longest = std::max({width, height, depth}), fullChain = 0;
  for (; longest; longest >>= 1) ++fullChain;
  if (std::max<uint32_t>(1, levels) > fullChain) {
    return Fail(failure, FailureKind::InvalidHeader, "%s level count %u for a %u x %u x %u texture", what, levels,
                width, height, depth);
  }
  return true;
}

bool CheckKtxDrawing(const char* what, const KtxFormat& format, uint32_t width, uint32_t height,
                     const OpenOptions& options, DecodeFailure* failure) {
  if (width > INT32_MAX || height > INT32_MAX) return Fail(failure, FailureKind::TooLarge, "%s size", what);
  if (!CheckPictureSize(width, height, options, failure)) return false;
  if ((format.format == PixelFormat::PVRTC2BPP || format.format == PixelFormat::PVRTC4BPP) &&
      ((width & (width - 1)) || (height & (height - 1)))) {
    return Fail(failure, FailureKind::Unsupported, "PVRTC needs power-of-two sizes, not %u x %u", width, height);
  }
  return true;
}

SourceImage KtxDrawing(ByteSource& source, const KtxFormat& format, const KtxOrientation& orientation) {
  SourceImage drawing;
  drawing.source = &source;
  drawing.format = format.format;
  drawing.order = format.order;
  drawing.layout = format.layout;
  drawing.hdrBlocks = format.hdrBlocks;
  drawing.topDown = !orientation.bottomUp;
  drawing.rightToLeft = orientation.rightToLeft;
  if (format.opaque) drawing.alpha = AlphaRule::kOpaque;
  return drawing;
}

namespace {

class KtxDerivedLevels final : public DerivedLevels {
 public:
  KtxDerivedLevels(ByteSource& source, LevelTransform transform, const StoredLevel* levels, int32_t count)
      : source_(source), transform_(transform), count_(count < kMaxLevels ? count : kMaxLevels) {
    for (int32_t i = 0; i < count_; ++i) levels_[i] = levels[i];
  }

  bool Derive(int32_t index, ByteSource** bytes, DecodeFailure* failure) override {
    if (index < 0 || index >= count_) return Fail(failure, FailureKind::InvalidArgument, "no level %d", index);
    if (index != derived_ || !memory_) {
      derived_ = -1;
      memory_.reset();
      if (!Make(levels_[index], failure)) return false;
      derived_ = index;
    }
    *bytes = memory_.get();
    return true;
  }

 private:
  bool Make(const StoredLevel& level, DecodeFailure* failure) {
    const bool swap = transform_ == LevelTransform::kSwap16 || transform_ == LevelTransform::kSwap32;
    const uint64_t size = swap ? level.rowBytes * level.rows : level.inflated;
    if (size > kMaxInflatedBytes) {
      return Fail(failure, FailureKind::TooLarge, "a level of %llu bytes to inflate (at most %llu)",
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(kMaxInflatedBytes));
    }
    // A compressed stream is at most a little larger than what it holds.
    if (!swap && level.length > size + size / 64 + 4096) {
      return Fail(failure, FailureKind::InvalidHeader, "a level of %llu stored bytes that inflate to %llu",
                  static_cast<unsigned long long>(level.length), static_cast<unsigned long long>(size));
    }
    uint8_t* out = buffer_.Reserve(static_cast<size_t>(size));
    if (!out) {
      return Fail(failure, FailureKind::OutOfMemory, "no memory for a level of %llu bytes",
                  static_cast<unsigned long long>(size));
    }
    if (swap) {
      const size_t unit = transform_ == LevelTransform::kSwap16 ? 2 : 4;
      for (uint32_t row = 0; row < level.rows; ++row) {
        const uint8_t* in =
            source_.View(level.offset + level.pitch * row, static_cast<size_t>(level.rowBytes), &stored_, failure);
        if (!in) return false;
        uint8_t* o = out + level.rowBytes * row;
        for (size_t i = 0; i + unit <= level.rowBytes; i += unit) {
          for (size_t k = 0; k < unit; ++k) o[i + k] = in[i + unit - 1 - k];
        }
      }
    } else {
      const uint8_t* in = source_.View(level.offset, static_cast<size_t>(level.length), &stored_, failure);
      if (!in) return false;
      const bool ok =
          transform_ == LevelTransform::kZstd
              ? ZstdDecode(in, static_cast<size_t>(level.length), out, static_cast<size_t>(size), failure)
              : InflateExactly(in, static_cast<size_t>(level.length), out, static_cast<size_t>(size), "level", failure);
      if (!ok) return false;
    }
    const uint64_t skip = swap || level.skip > size ? 0 : level.skip;
    memory_ = std::unique_ptr<MemorySource>(new (std::nothrow) MemorySource(out + skip, size - skip));
    if (!memory_) return Fail(failure, FailureKind::OutOfMemory, "no memory source");
    return true;
  }

  ByteSource& source_;
  LevelTransform transform_;
  StoredLevel levels_[kMaxLevels];
  int32_t count_;
  int32_t derived_ = -1;
  ByteBuffer buffer_, stored_;
  std::unique_ptr<MemorySource> memory_;
};

}  // namespace

std::unique_ptr<DerivedLevels> MakeKtxDerivedLevels(ByteSource& source, LevelTransform transform,
                                                    const StoredLevel* levels, int32_t count) {
  return std::unique_ptr<DerivedLevels>(new (std::nothrow) KtxDerivedLevels(source, transform, levels, count));
}

}  // namespace mirelth
