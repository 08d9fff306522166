// TGA decoder. Types 1, 2, 3 (colour-mapped, true colour, gray) and 9, 10, 11 (the same, run-length encoded).
// Raw rows are read where they lie; run-length data is decoded in sequence (a packet may cross a row end), rows
// before the last one asked for are stepped over packet by packet, and only the sampled pixels are converted.
#include "formats/tga/tga.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "encodings/conversion_rules.h"
#include "io/byte_reader.h"
#include "io/limits.h"
#include "picture/filter.h"
#include "picture/texture.h"

namespace mirelth {
namespace {

// Header offsets.
constexpr uint32_t kIdLength = 0, kMapType = 1, kImageType = 2, kMapFirst = 3, kMapLength = 5, kMapEntryBits = 7;
constexpr uint32_t kWidth = 12, kHeight = 14, kDepth = 16, kDescriptor = 17;
// Descriptor: bits 0-3 alpha bits, bit 4 columns right to left, bit 5 first stored row is the top.
constexpr uint8_t kRightToLeft = 0x10, kTopDown = 0x20;
// Footer: extension offset, developer offset, "TRUEVISION-XFILE." and a zero byte; the extension area's
// attributes type at its offset 494.
constexpr uint32_t kFooterBytes = 26, kExtensionBytes = 495, kAttributesType = 494;
constexpr char kFooterSignature[18] = {'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O',
                                       'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

enum class Kind { kMapped, kTrueColour, kGray };

inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }

// 5-5-5 in a little-endian word: B w[4:0], G w[9:5], R w[14:10], A w[15].
inline uint32_t From555(uint32_t word, bool alphaBit) {
  const uint32_t alpha = alphaBit ? ((word & 0x8000u) ? 0xFF000000u : 0) : 0xFF000000u;
  return alpha | (Expand5((word >> 10) & 31) << 16) | (Expand5((word >> 5) & 31) << 8) | Expand5(word & 31);
}

struct TgaImage {
  Kind kind = Kind::kTrueColour;
  bool runLength = false;
  uint32_t depth = 0;  // bits a stored pixel
  uint32_t bytesPerPixel = 0;
  bool useAlpha = false;  // true-colour and gray pixels carry alpha
  bool alphaBit = false;  // 15/16-bit pixels: the top bit is alpha
  AlphaRule alpha = AlphaRule::kStraight;
  int32_t width = 0, height = 0;
  bool topDown = false, rightToLeft = false;
  uint64_t data = 0;  // the first pixel byte
  uint64_t mapFirst = 0;
  Scratch<uint32_t> map{0};  // colour-mapped: BGRA entries
  uint32_t mapLength = 0;
};

// One stored pixel as a display value (before the alpha rules).
inline uint32_t Pixel(const TgaImage& image, const uint8_t* p) {
  switch (image.kind) {
    case Kind::kMapped: {
      const uint64_t index = image.depth == 16 ? ByteReader::U16LENoBoundsCheck(p) : p[0];
      // An index outside the map draws transparent black.
      if (index < image.mapFirst || index - image.mapFirst >= image.mapLength) return 0;
      return image.map[index - image.mapFirst];
    }
    case Kind::kGray: {
      const uint32_t g = p[0] * 0x010101u;
      const uint32_t a = image.depth == 16 && image.useAlpha ? p[1] : 255;
      return (a << 24) | g;
    }
    case Kind::kTrueColour: break;
  }
  switch (image.depth) {
    case 15:
    case 16: return From555(ByteReader::U16LENoBoundsCheck(p), image.alphaBit);
    case 24: return 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    default: {
      const uint32_t a = image.useAlpha ? p[3] : 255;
      return (a << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
  }
}

// The rows of a TGA image, raw or run-length.
class TgaRows final : public RowSource {
 public:
  TgaRows(ByteSource& source, TgaImage& image) : source_(source), image_(image) {}

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t,
             DecodeFailure* failure) override {
    columns_ = columns;
    columnCount_ = columnCount;
    rows_ = rows;
    at_ = image_.data;
    left_ = 0;
    decodedRows_ = 0;
    if (image_.runLength) {
      row_ = Scratch<uint8_t>(static_cast<size_t>(image_.width) * image_.bytesPerPixel);
      if (!row_) return Fail(failure, FailureKind::OutOfMemory, "no row buffer");
    }
    return true;
  }

  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override {
    const int32_t row = rows_[index];
    const uint32_t bpp = image_.bytesPerPixel;
    const uint8_t* bytes;
    uint64_t first = 0;
    if (!image_.runLength) {
      first = static_cast<uint64_t>(columns_[0]);
      const uint64_t last = static_cast<uint64_t>(columns_[columnCount_ - 1]);
      bytes = source_.View(image_.data + (static_cast<uint64_t>(row) * image_.width + first) * bpp,
                           static_cast<size_t>((last - first + 1) * bpp), &buffer_, failure);
      if (!bytes) return false;
    } else {
      for (; decodedRows_ < row; ++decodedRows_) {
        if (!Unpack(nullptr, failure)) return false;  // rows before this one: stepped over
      }
      if (!Unpack(row_.get(), failure)) return false;
      ++decodedRows_;
      bytes = row_.get();
    }
    for (int32_t i = 0; i < columnCount_; ++i) {
      out[i] = Pixel(image_, bytes + (static_cast<uint64_t>(columns_[i]) - first) * bpp);
    }
    if (image_.alpha == AlphaRule::kPremultiplied) Unpremultiply(out, static_cast<size_t>(columnCount_));
    return true;
  }

 private:
  // The next row's pixels from the packets, into `out` (null: only stepped over).
  bool Unpack(uint8_t* out, DecodeFailure* failure) {
    const uint32_t bpp = image_.bytesPerPixel;
    const uint64_t size = source_.size();
    for (uint32_t x = 0; x < static_cast<uint32_t>(image_.width);) {
      if (left_ == 0) {
        uint8_t header = 0;
        if (at_ >= size) return FailTruncated(failure, size, at_ + 1, "the run-length pixels");
        if (!source_.U8(at_, &header, failure)) return false;
        ++at_;
        run_ = (header & 0x80) != 0;
        left_ = (header & 0x7Fu) + 1;
        if (run_) {
          if (!source_.Has(at_, bpp)) return FailTruncated(failure, size, at_ + bpp, "the run-length pixels");
          if (!source_.Read(at_, value_, bpp, failure)) return false;
          at_ += bpp;
        }
      }
      const uint32_t take = left_ < image_.width - x ? left_ : image_.width - x;
      if (run_) {
        if (out) {
          for (uint32_t k = 0; k < take; ++k) std::memcpy(out + (x + k) * bpp, value_, bpp);
        }
      } else {
        if (!source_.Has(at_, uint64_t{take} * bpp)) {
          return FailTruncated(failure, size, at_ + uint64_t{take} * bpp, "the run-length pixels");
        }
        if (out && !source_.Read(at_, out + static_cast<size_t>(x) * bpp, static_cast<size_t>(take) * bpp, failure)) {
          return false;
        }
        at_ += uint64_t{take} * bpp;
      }
      left_ -= take;  // a packet that crosses the row end goes on in the next row
      x += take;
    }
    return true;
  }

  ByteSource& source_;
  TgaImage& image_;
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
  ByteBuffer buffer_;
  Scratch<uint8_t> row_{0};
  // Run-length state.
  uint64_t at_ = 0;
  uint32_t left_ = 0;
  bool run_ = false;
  uint8_t value_[4] = {};
  int32_t decodedRows_ = 0;
};

class TgaPicture final : public RowPicture {
 public:
  TgaPicture(ByteSource& source, const RowGeometry& geometry) : RowPicture(geometry), rows_(source, image_) {}
  TgaImage image_;

 protected:
  RowSource& Rows() override { return rows_; }

 private:
  TgaRows rows_;
};

// The attributes type of a TGA 2.0 extension area, or -1.
int32_t AttributesType(ByteSource& source, DecodeFailure* failure, bool* ok) {
  *ok = true;
  const uint64_t size = source.size();
  if (size < kTgaHeaderBytes + kFooterBytes) return -1;
  uint8_t footer[kFooterBytes];
  if (!source.Read(size - kFooterBytes, footer, kFooterBytes, failure)) {
    *ok = false;
    return -1;
  }
  if (std::memcmp(footer + 8, kFooterSignature, sizeof kFooterSignature) != 0) return -1;
  const uint32_t extension = ByteReader::U32LENoBoundsCheck(footer);
  uint8_t type = 0;
  if (extension == 0 || !source.Has(extension, kExtensionBytes)) return -1;
  if (!source.U8(extension + kAttributesType, &type, failure)) {
    *ok = false;
    return -1;
  }
  return type;
}

}  // namespace

bool OpenTga(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kTgaHeaderBytes];
  if (size < kTgaHeaderBytes) return FailTruncated(failure, size, kTgaHeaderBytes, "the TGA header");
  if (!source.Read(0, header, kTgaHeaderBytes, failure)) return false;
  const uint32_t imageType = header[kImageType], depth = header[kDepth], descriptor = header[kDescriptor];
  const uint32_t mapType = header[kMapType], mapEntryBits = header[kMapEntryBits];
  const uint32_t mapLength = ByteReader::U16LENoBoundsCheck(header + kMapLength);
  const int32_t width = ByteReader::U16LENoBoundsCheck(header + kWidth);
  const int32_t height = ByteReader::U16LENoBoundsCheck(header + kHeight);

  TgaImage image;
  const uint32_t base = imageType & ~8u;
  image.runLength = (imageType & 8u) != 0;
  if (imageType != 1 && imageType != 2 && imageType != 3 && imageType != 9 && imageType != 10 && imageType != 11) {
    return Fail(failure, FailureKind::Unsupported, "TGA image type %u", imageType);
  }
  image.kind = base == 1 ? Kind::kMapped : base == 2 ? Kind::kTrueColour : Kind::kGray;
  const bool depthOk = image.kind == Kind::kMapped ? depth == 8 || depth == 16
                       : image.kind == Kind::kGray ? depth == 8 || depth == 16
                                                   : depth == 15 || depth == 16 || depth == 24 || depth == 32;
  if (!depthOk)
    return Fail(failure, FailureKind::Unsupported, "TGA image type %u at %u bits a pixel", imageType, depth);
  if (!CheckPictureSize(width, height, options, failure)) return false;
  image.depth = depth;
  image.bytesPerPixel = (depth + 7) / 8;
  image.width = width;
  image.height = height;
  image.topDown = (descriptor & kTopDown) != 0;
  image.rightToLeft = (descriptor & kRightToLeft) != 0;
  const uint32_t alphaBits = descriptor & 0x0F;
  image.useAlpha = alphaBits != 0;
  image.alphaBit = alphaBits == 1;

  bool ok = true;
  const int32_t attributes = AttributesType(source, failure, &ok);
  if (!ok) return false;
  if (attributes == 3 || attributes == 4) {
    image.useAlpha = true;
    image.alphaBit = depth == 16 || depth == 15;
    if (attributes == 4) image.alpha = AlphaRule::kPremultiplied;
  }

  // The image ID, then the colour map (present whenever the map type says so, for any image type).
  uint64_t at = kTgaHeaderBytes + uint64_t{header[kIdLength]};
  if (image.kind == Kind::kMapped && (mapType != 1 || mapLength == 0)) {
    return Fail(failure, FailureKind::InvalidHeader, "a colour-mapped TGA image without a colour map");
  }
  if (mapType == 1) {
    const uint32_t entryBytes = (mapEntryBits + 7) / 8;
    const uint64_t mapBytes = uint64_t{entryBytes} * mapLength;
    if (!source.Has(at, mapBytes)) return FailTruncated(failure, size, at + mapBytes, "the TGA colour map");
    if (image.kind == Kind::kMapped) {
      if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32) {
        return Fail(failure, FailureKind::Unsupported, "TGA colour map entries of %u bits", mapEntryBits);
      }
      image.map = Scratch<uint32_t>(mapLength);
      ByteBuffer buffer;
      const uint8_t* entries = source.View(at, static_cast<size_t>(mapBytes), &buffer, failure);
      if (!image.map || !entries) return image.map ? false : Fail(failure, FailureKind::OutOfMemory, "no colour map");
      for (uint32_t i = 0; i < mapLength; ++i) {
        const uint8_t* e = entries + static_cast<size_t>(i) * entryBytes;
        if (entryBytes == 2) {
          image.map[i] = From555(ByteReader::U16LENoBoundsCheck(e), false);  // 15/16-bit entries are opaque
        } else {
          // A 32-bit entry's fourth byte is alpha, whatever the descriptor says.
          const uint32_t a = entryBytes == 4 ? e[3] : 255;
          image.map[i] = (a << 24) | (uint32_t{e[2]} << 16) | (uint32_t{e[1]} << 8) | e[0];
        }
      }
      image.mapLength = mapLength;
      image.mapFirst = ByteReader::U16LENoBoundsCheck(header + kMapFirst);
      if (mapEntryBits == 32) image.useAlpha = true;
    }
    at += mapBytes;
  }
  image.data = at;
  if (!image.runLength) {
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * image.bytesPerPixel;
    if (!source.Has(at, bytes)) return FailTruncated(failure, size, at + bytes, "the TGA pixels");
  }

  if (Facts* facts = options.facts) {
    facts->known = true;
    facts->width = width;
    facts->height = height;
    const char* kind = image.kind == Kind::kMapped ? "colour-mapped"
                       : image.kind == Kind::kGray ? "gray"
                                                   : "true colour";
    if (image.kind == Kind::kMapped) {
      facts->SetEncoding("%s %u-bit (%u-bit map)%s", kind, depth, mapEntryBits, image.runLength ? ", run-length" : "");
    } else {
      facts->SetEncoding("%s %u-bit%s", kind, depth, image.runLength ? ", run-length" : "");
    }
    facts->bitsPerPixel = depth;
    facts->alpha = !image.useAlpha                            ? AlphaKind::kNone
                   : image.alpha == AlphaRule::kPremultiplied ? AlphaKind::kPremultiplied
                   : image.alphaBit                           ? AlphaKind::kOneBit
                                                              : AlphaKind::kStraight;
  }
  RowGeometry geometry{width, height, image.topDown, image.rightToLeft};
  // Many writers fill an unused alpha byte with 0: an image whose alpha values are all 0 is drawn opaque.
  geometry.zeroAlphaOpaque = image.useAlpha || image.kind == Kind::kMapped;
  std::unique_ptr<TgaPicture> made(new (std::nothrow) TgaPicture(source, geometry));
  if (!made) return Fail(failure, FailureKind::OutOfMemory, "no picture");
  made->image_ = std::move(image);
  *picture = std::move(made);
  return true;
}

}  // namespace mirelth
