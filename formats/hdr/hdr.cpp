#include "formats/hdr/hdr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "io/buffers.h"
#include "io/limits.h"
#include "picture/tonemap.h"

namespace mirelth {
namespace {

// Header lines are short; a header that runs past this is not a Radiance file we can read.
constexpr uint64_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 4096;
// The largest side we read, and the most pixels a byte of the file may stand for: a run-length scanline can claim
// far more pixels than its bytes hold (the old form's repeat counts grow 8 bits a pixel), and the decode walks them
// all; no real file comes near either bound (a flat 4096 x 2048 sky packs to about 350 pixels a byte).
constexpr int64_t kMaxEdge = 65536;
constexpr uint64_t kMaxPixelsPerByte = 4096;
// The new run-length form is used only for scanlines of this many pixels.
constexpr int32_t kMinRunLengthWidth = 8, kMaxRunLengthWidth = 32767;

struct HdrHeader {
  bool xyze = false;
  int32_t width = 0, height = 0;
  // Stored order: scanlines run along the slow axis; `transposed` when the slow axis is X (scanlines are columns).
  bool transposed = false;
  bool slowPositive = false;  // the slow axis counts up (+Y: bottom first; +X: left first)
  bool fastPositive = true;   // the fast axis counts up (+X: left to right; +Y: bottom to top)
  int32_t scanlines = 0, scanlineLength = 0;
  uint64_t data = 0;          // the first scanline
  char orientation[16] = {};  // "-Y +X"
};

// One line of the header at `*at` (without its newline); false at the end of the file or of the header limit.
bool ReadLine(ByteSource& source, uint64_t* at, char (&line)[kMaxLineBytes], DecodeFailure* failure) {
  size_t length = 0;
  while (true) {
    if (*at >= source.size() || *at >= kMaxHeaderBytes) return false;
    uint8_t c = 0;
    if (!source.U8(*at, &c, failure)) return false;
    ++*at;
    if (c == '\n') break;
    if (length + 1 < kMaxLineBytes) line[length++] = static_cast<char>(c);
  }
  line[length] = 0;
  if (length > 0 && line[length - 1] == '\r') line[length - 1] = 0;
  return true;
}

bool ParseHeader(ByteSource& source, HdrHeader* header, DecodeFailure* failure) {
  char line[kMaxLineBytes];
  uint64_t at = 0;
  static constexpr char kRadiance[] = "#?RADIANCE", kRgbe[] = "#?RGBE";
  // A file that ends inside either signature line (an empty one too) is a truncated Radiance file.
  uint8_t start[sizeof kRadiance - 1] = {};
  const size_t startBytes = static_cast<size_t>(source.size() < sizeof start ? source.size() : sizeof start);
  if (!source.Read(0, start, startBytes, failure)) return false;
  for (const char* signature : {kRgbe, kRadiance}) {
    const size_t length = std::strlen(signature);  // the line wants one byte more, its newline
    if (source.size() <= length && std::memcmp(start, signature, startBytes) == 0) {
      return FailTruncated(failure, source.size(), length + 1, "the HDR signature line");
    }
  }
  const bool first = ReadLine(source, &at, line, failure);
  if (failure && failure->kind == FailureKind::ReadFailed) return false;
  if (!first || (std::strcmp(line, kRadiance) != 0 && std::strcmp(line, kRgbe) != 0)) {
    return Fail(failure, FailureKind::NotThisFormat, "not a Radiance HDR file (no \"#?RADIANCE\" or \"#?RGBE\" line)");
  }
  // A header without FORMAT is RGBE, as readers take it.
  while (true) {
    if (!ReadLine(source, &at, line, failure)) {
      return FailTruncated(failure, source.size(), at + 1, "the HDR header");
    }
    if (line[0] == 0) break;
    if (std::strncmp(line, "FORMAT=", 7) == 0) {
      const char* value = line + 7;
      if (std::strcmp(value, "32-bit_rle_rgbe") == 0) {
        header->xyze = false;
      } else if (std::strcmp(value, "32-bit_rle_xyze") == 0) {
        header->xyze = true;
      } else {
        return Fail(failure, FailureKind::Unsupported, "HDR format %.60s", value);
      }
    }
  }
  if (!ReadLine(source, &at, line, failure)) return FailTruncated(failure, source.size(), at + 1, "the HDR resolution");
  char slowSign = 0, slowAxis = 0, fastSign = 0, fastAxis = 0;
  long slowCount = 0, fastCount = 0;
  char rest = 0;
  if (std::sscanf(line, "%c%c %ld %c%c %ld %c", &slowSign, &slowAxis, &slowCount, &fastSign, &fastAxis, &fastCount,
                  &rest) != 6 ||
      (slowSign != '+' && slowSign != '-') || (fastSign != '+' && fastSign != '-') ||
      !((slowAxis == 'Y' && fastAxis == 'X') || (slowAxis == 'X' && fastAxis == 'Y'))) {
    return Fail(failure, FailureKind::InvalidHeader, "HDR resolution \"%.40s\"", line);
  }
  if (slowCount < 1 || fastCount < 1 || slowCount > INT32_MAX || fastCount > INT32_MAX) {
    return Fail(failure, FailureKind::InvalidHeader, "HDR size %ld x %ld", fastCount, slowCount);
  }
  header->transposed = slowAxis == 'X';
  header->slowPositive = slowSign == '+';
  header->fastPositive = fastSign == '+';
  header->scanlines = static_cast<int32_t>(slowCount);
  header->scanlineLength = static_cast<int32_t>(fastCount);
  header->width = static_cast<int32_t>(header->transposed ? slowCount : fastCount);
  header->height = static_cast<int32_t>(header->transposed ? fastCount : slowCount);
  std::snprintf(header->orientation, sizeof header->orientation, "%c%c %c%c", slowSign, slowAxis, fastSign, fastAxis);
  header->data = at;
  return true;
}

// Reads the scanlines in order, each into 4 bytes a pixel. Every count and length is checked; a scanline that
// runs past the end of the file, or whose runs overrun it, refuses the file with the row it reached.
class ScanlineReader {
 public:
  ScanlineReader(ByteSource& source, const HdrHeader& header) : source_(source), header_(header) {}

  void Restart() {
    at_ = header_.data;
    next_ = 0;
    windowStart_ = 0;
    windowLength_ = 0;
    fillFailed_ = false;
  }
  int32_t next() const { return next_; }

  // Scanline `next()` into `out` (scanlineLength x 4 bytes).
  [[nodiscard]] bool Read(uint8_t* out, DecodeFailure* failure) {
    failure_ = failure;
    const int32_t length = header_.scanlineLength;
    uint8_t head[4];
    if (!Peek(head, 4)) return Short(failure);
    if (length >= kMinRunLengthWidth && length <= kMaxRunLengthWidth && head[0] == 2 && head[1] == 2 &&
        (head[2] & 0x80) == 0) {
      if ((head[2] << 8 | head[3]) != length) {
        return Fail(failure, FailureKind::InvalidHeader, "HDR scanline %d says %d pixels, not %d", next_,
                    head[2] << 8 | head[3], length);
      }
      at_ += 4;
      for (int c = 0; c < 4; ++c) {
        for (int32_t x = 0; x < length;) {
          uint8_t count = 0;
          if (!Byte(&count)) return Short(failure);
          if (count > 128) {
            const int32_t run = count - 128;
            uint8_t value = 0;
            if (run > length - x) return Overrun(failure);
            if (!Byte(&value)) return Short(failure);
            for (int32_t k = 0; k < run; ++k) out[4 * (x + k) + c] = value;
            x += run;
          } else {
            if (count == 0 || count > length - x) return Overrun(failure);
            for (int32_t k = 0; k < count; ++k) {
              if (!Byte(&out[4 * (x + k) + c])) return Short(failure);
            }
            x += count;
          }
        }
      }
    } else {
      // Flat pixels, with the old run-length form: 1, 1, 1, n repeats the pixel before it n times, shifted 8 bits
      // further left for every repeat pixel in a row.
      int shift = 0;
      for (int32_t x = 0; x < length;) {
        uint8_t pixel[4];
        if (!Peek(pixel, 4)) return Short(failure);
        at_ += 4;
        if (pixel[0] == 1 && pixel[1] == 1 && pixel[2] == 1) {
          if (x == 0 || shift > 24) return Overrun(failure);
          const uint64_t run = uint64_t{pixel[3]} << shift;
          if (run > static_cast<uint64_t>(length - x)) return Overrun(failure);
          for (uint64_t k = 0; k < run; ++k, ++x) std::memcpy(out + 4 * x, out + 4 * (x - 1), 4);
          shift += 8;
        } else {
          std::memcpy(out + 4 * x, pixel, 4);
          ++x;
          shift = 0;
        }
      }
    }
    ++next_;
    return true;
  }

 private:
  // The bytes ran out; unless the window could not be filled for another reason, already reported.
  bool Short(DecodeFailure* failure) {
    if (fillFailed_) return false;
    return Fail(failure, FailureKind::Truncated, "the HDR scanlines end at row %d of %d", next_, header_.scanlines);
  }
  bool Overrun(DecodeFailure* failure) {
    return Fail(failure, FailureKind::InvalidHeader, "HDR scanline %d: a run past its %d pixels", next_,
                header_.scanlineLength);
  }
  // The window holds the bytes at [windowStart_, windowStart_ + windowLength_).
  bool Fill(uint64_t at, size_t count) {
    if (at >= windowStart_ && at + count <= windowStart_ + windowLength_) return true;
    if (!source_.Has(at, count)) return false;
    uint8_t* window = window_.Reserve(kWindowBytes);
    if (!window) {
      fillFailed_ = true;
      return Fail(failure_, FailureKind::OutOfMemory, "no scanline window");
    }
    const uint64_t left = source_.size() - at;
    size_t length = static_cast<size_t>(left < kWindowBytes ? left : kWindowBytes);
    // The window reads ahead; when that fails (a stream whose bytes end before the size it claims), only the bytes
    // wanted now are read, so a failure is always one of bytes the picture needs.
    if (!source_.ReadUnwindowed(at, window, length, nullptr)) {
      length = count;
      if (!source_.ReadUnwindowed(at, window, length, failure_)) {
        fillFailed_ = true;
        return false;
      }
    }
    windowStart_ = at;
    windowLength_ = length;
    return true;
  }
  bool Peek(uint8_t* out, size_t count) {
    if (!Fill(at_, count)) return false;
    std::memcpy(out, window_.data() + (at_ - windowStart_), count);
    return true;
  }
  bool Byte(uint8_t* out) {
    if (!Peek(out, 1)) return false;
    ++at_;
    return true;
  }

  static constexpr size_t kWindowBytes = 64 * 1024;
  ByteSource& source_;
  const HdrHeader& header_;
  uint64_t at_ = 0;
  int32_t next_ = 0;
  DecodeFailure* failure_ = nullptr;  // the current Read's
  bool fillFailed_ = false;           // the window failed for a reason Fill reported (not the end of the file)
  ByteBuffer window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

// A pixel's linear floats: each mantissa's middle, (m + 0.5) 2^(e - 136), as Radiance defines it (e = 0: black);
// XYZE through the XYZ to linear sRGB matrix.
void PixelToFloat(const uint8_t* p, bool xyze, float* out) {
  if (p[3] == 0) {
    out[0] = out[1] = out[2] = 0.0f;
  } else {
    const float scale = std::ldexp(1.0f, static_cast<int>(p[3]) - 136);
    const float a = (p[0] + 0.5f) * scale, b = (p[1] + 0.5f) * scale, c = (p[2] + 0.5f) * scale;
    if (xyze) {
      out[0] = 3.2404542f * a - 1.5371385f * b - 0.4985314f * c;
      out[1] = -0.9692660f * a + 1.8760108f * b + 0.0415560f * c;
      out[2] = 0.0556434f * a - 0.2040259f * b + 1.0572252f * c;
    } else {
      out[0] = a, out[1] = b, out[2] = c;
    }
  }
  out[3] = 1.0f;
}

// Rows of the picture as linear floats. Scanlines are read in sequence up to the last one a draw needs and no
// further. When scanlines are rows, the wanted ones give the wanted rows; when they are columns (the slow axis is
// X), the wanted columns' scanlines are read and the wanted rows' pixels of each kept (bounded by the draw) before
// the first row is given.
class HdrRows final : public FloatRowSource {
 public:
  HdrRows(ByteSource& source, const HdrHeader& header) : header_(header), reader_(source, header) {}

  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override {
    columns_ = columns;
    columnCount_ = columnCount;
    rows_ = rows;
    rowCount_ = rowCount;
    reader_.Restart();
    scanline_ = Scratch<uint8_t>(static_cast<size_t>(header_.scanlineLength) * 4);
    if (!scanline_) return Fail(failure, FailureKind::OutOfMemory, "no scanline buffer");
    if (!header_.transposed) return true;
    // Scanlines are columns: gather the wanted rows of each wanted column, as stored bytes.
    grid_ = Scratch<uint8_t>(static_cast<size_t>(columnCount) * static_cast<size_t>(rowCount) * 4);
    if (!grid_) return Fail(failure, FailureKind::OutOfMemory, "no sample grid");
    // Picture column x is scanline x (+X) or width - 1 - x; picture row y is position height - 1 - y (+Y) or y.
    // Wanted scanlines in increasing order: columns ascending for +X, descending for -X.
    for (int32_t k = 0; k < columnCount; ++k) {
      const int32_t i = header_.slowPositive ? k : columnCount - 1 - k;
      const int32_t scanline = header_.slowPositive ? columns[i] : header_.width - 1 - columns[i];
      while (reader_.next() <= scanline) {
        if (!reader_.Read(scanline_.get(), failure)) return false;
      }
      for (int32_t j = 0; j < rowCount; ++j) {
        const int32_t position = header_.fastPositive ? header_.height - 1 - rows[j] : rows[j];
        std::memcpy(grid_.get() + (static_cast<size_t>(j) * columnCount + i) * 4, scanline_.get() + 4 * position, 4);
      }
    }
    return true;
  }

  bool FloatRow(int32_t index, float* out, DecodeFailure* failure) override {
    if (header_.transposed) {
      const uint8_t* row = grid_.get() + static_cast<size_t>(index) * columnCount_ * 4;
      for (int32_t i = 0; i < columnCount_; ++i) PixelToFloat(row + 4 * i, header_.xyze, out + 4 * i);
      return true;
    }
    while (reader_.next() <= rows_[index]) {
      if (!reader_.Read(scanline_.get(), failure)) return false;
    }
    for (int32_t i = 0; i < columnCount_; ++i)
      PixelToFloat(scanline_.get() + 4 * columns_[i], header_.xyze, out + 4 * i);
    return true;
  }

 private:
  const HdrHeader& header_;
  ScanlineReader reader_;
  const int32_t* columns_ = nullptr;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0, rowCount_ = 0;
  Scratch<uint8_t> scanline_{0};
  Scratch<uint8_t> grid_{0};
};

class HdrPicture final : public Picture {
 public:
  HdrPicture(ByteSource& source, const HdrHeader& header) : source_(source), header_(header) {}
  int32_t width() const override { return header_.width; }
  int32_t height() const override { return header_.height; }

  bool DrawFull(HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) override {
    HdrRows floats(source_, header_);
    ToneMappedRows rows(floats, &whitePoint_);
    return DrawRowsFull(rows, Geometry(), bitmap, info, failure);
  }

  bool DrawThumbnail(int32_t tw, int32_t th, bool reference, HBITMAP* bitmap, DecodeFailure* failure) override {
    if (!reference) {
      HdrRows floats(source_, header_);
      ToneMappedRows rows(floats, &whitePoint_);
      return DrawFiltered(rows, Geometry(), tw, th, bitmap, failure);
    }
    // The reference: every pixel decoded (picture order), then the same filter and tone mapping.
    const int32_t w = header_.width, h = header_.height;
    if (!CheckFullSize(w, h, failure)) return false;
    Scratch<float> pixels(static_cast<size_t>(w) * h * 4);
    Scratch<uint8_t> scanline(static_cast<size_t>(header_.scanlineLength) * 4);
    if (!pixels || !scanline) return Fail(failure, FailureKind::OutOfMemory, "no float picture");
    ScanlineReader reader(source_, header_);
    reader.Restart();
    for (int32_t s = 0; s < header_.scanlines; ++s) {
      if (!reader.Read(scanline.get(), failure)) return false;
      for (int32_t p = 0; p < header_.scanlineLength; ++p) {
        int32_t x, y;
        if (header_.transposed) {
          x = header_.slowPositive ? s : w - 1 - s;
          y = header_.fastPositive ? h - 1 - p : p;
        } else {
          y = header_.slowPositive ? h - 1 - s : s;
          x = header_.fastPositive ? p : w - 1 - p;
        }
        PixelToFloat(scanline.get() + 4 * p, header_.xyze, pixels.get() + (static_cast<size_t>(y) * w + x) * 4);
      }
    }
    FloatPixelRows floats(pixels.get(), w);
    ToneMappedRows rows(floats, &whitePoint_);
    return DrawFiltered(rows, {w, h, true, false}, tw, th, bitmap, failure);
  }

 private:
  // Stored rows and columns as the filter sees them: scanlines are rows (top first for -Y) with pixels left to
  // right for +X; column scanlines are put into picture order by the row source itself.
  RowGeometry Geometry() const {
    if (header_.transposed) return {header_.width, header_.height, true, false};
    return {header_.width, header_.height, !header_.slowPositive, !header_.fastPositive};
  }

  ByteSource& source_;
  HdrHeader header_;
};

}  // namespace

bool OpenHdr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  HdrHeader header;
  if (!ParseHeader(source, &header, failure)) return false;
  if (!CheckPictureSize(header.width, header.height, options, failure)) return false;
  if (header.width > kMaxEdge || header.height > kMaxEdge) {
    return Fail(failure, FailureKind::InvalidHeader, "HDR size %d x %d (at most 65536 a side)", header.width,
                header.height);
  }
  if (!source.Has(header.data, 1)) return FailTruncated(failure, source.size(), header.data + 1, "the HDR scanlines");
  const uint64_t pixels = uint64_t(header.width) * uint64_t(header.height);
  if (pixels / kMaxPixelsPerByte > source.size() - header.data) {
    return Fail(failure, FailureKind::InvalidHeader, "HDR size %d x %d in %llu bytes of scanlines", header.width,
                header.height, static_cast<unsigned long long>(source.size() - header.data));
  }
  if (Facts* facts = options.facts) {
    facts->known = true;
    facts->width = header.width;
    facts->height = header.height;
    facts->SetEncoding("%s", header.xyze ? "XYZE" : "RGBE");
    std::snprintf(facts->orientation, sizeof facts->orientation, "%s", header.orientation);
    facts->alpha = AlphaKind::kNone;
    facts->colourSpace = ColourSpace::kLinear;
    facts->hdr = true;
    facts->bitsPerPixel = 32;
  }
  *picture = PicturePtr(new (std::nothrow) HdrPicture(source, header));
  return *picture ? true : Fail(failure, FailureKind::OutOfMemory, "no picture");
}

}  // namespace mirelth
