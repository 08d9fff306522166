// The composite image: one plane per channel. A row is made from the sampled bytes of each plane: each sample
// becomes an 8-bit value in its lane of an RGBA row (one depth converter for every path), one per-pixel step turns
// the mode's values into RGB, the alpha plane (if any) lands last, and the row leaves as BGRA display values.
// The full decode is the same with every column. Every row is proved to lie in the file before anything is drawn.
#include "formats/psd/psd_composite.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "encodings/conversion_rules.h"
#include "formats/psd/psd_flatten.h"
#include "formats/psd/psd_planes.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

enum Lane : uint32_t { kRed = 0, kGreen = 1, kBlue = 2, kAlpha = 3 };

uint8_t From16(uint32_t v) { return static_cast<uint8_t>((v * 255 + 32767) / 65535); }

double SrgbFromLinear(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// CIE L*a*b* (D50) to sRGB: XYZ under D50, Bradford-adapted to D65, then the sRGB matrix and curve.
void LabToRgb(uint8_t* pixel) {
  const double L = pixel[0] * 100.0 / 255.0, a = pixel[1] - 128.0, b = pixel[2] - 128.0;
  constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;
  const double fy = (L + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
  const double xr = fx * fx * fx > kEpsilon ? fx * fx * fx : (116.0 * fx - 16.0) / kKappa;
  const double yr = L > kKappa * kEpsilon ? fy * fy * fy : L / kKappa;
  const double zr = fz * fz * fz > kEpsilon ? fz * fz * fz : (116.0 * fz - 16.0) / kKappa;
  const double x50 = xr * 0.96422, y50 = yr, z50 = zr * 0.82521;
  const double x = 0.9555766 * x50 - 0.0230393 * y50 + 0.0631636 * z50;
  const double y = -0.0282895 * x50 + 1.0099416 * y50 + 0.0210077 * z50;
  const double z = 0.0122982 * x50 - 0.0204830 * y50 + 1.3299098 * z50;
  const double r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
  const double g = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
  const double bl = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
  pixel[0] = static_cast<uint8_t>(std::lround(SrgbFromLinear(r) * 255.0));
  pixel[1] = static_cast<uint8_t>(std::lround(SrgbFromLinear(g) * 255.0));
  pixel[2] = static_cast<uint8_t>(std::lround(SrgbFromLinear(bl) * 255.0));
}

// The mode's per-pixel step on one row of RGBA lanes: the decoded values become RGB and every pixel opaque (an
// alpha plane, if any, is decoded afterwards).
void ConvertModeRow(const PsdDocument& document, uint8_t* p, size_t width, bool hasAlpha) {
  switch (document.mode) {
    case kPsdRgb:
      if (!hasAlpha) {
        for (size_t i = 0; i < width; ++i) p[4 * i + kAlpha] = 255;
      }
      break;
    case kPsdCmyk:
      // Stored inverted (255 = no ink): R = C x K / 255 on the stored values, rounded.
      for (size_t i = 0; i < width; ++i, p += 4) {
        const uint32_t k = p[3];
        p[0] = static_cast<uint8_t>((p[0] * k + 127) / 255);
        p[1] = static_cast<uint8_t>((p[1] * k + 127) / 255);
        p[2] = static_cast<uint8_t>((p[2] * k + 127) / 255);
        p[3] = 255;
      }
      break;
    case kPsdLab:
      for (size_t i = 0; i < width; ++i, p += 4) {
        LabToRgb(p);
        p[3] = 255;
      }
      break;
    case kPsdIndexed: {
      const uint8_t* palette = document.palette;              // 256 red, then 256 green, then 256 blue
      const int32_t transparent = document.transparentIndex;  // image resource 0x0417
      for (size_t i = 0; i < width; ++i, p += 4) {
        const uint8_t index = p[0];
        p[0] = palette[index];
        p[1] = palette[256 + index];
        p[2] = palette[512 + index];
        p[3] = 255;
        if (index == transparent) p[0] = p[1] = p[2] = p[3] = 0;
      }
      break;
    }
    default:  // one gray channel: bitmap, grayscale, duotone, multichannel
      for (size_t i = 0; i < width; ++i, p += 4) {
        p[1] = p[2] = p[0];
        p[3] = 255;
      }
      break;
  }
}

}  // namespace

ModePlan PlanFor(uint16_t mode) {
  switch (mode) {
    case kPsdRgb: return {3, 3, true};
    case kPsdLab: return {3, 3, false};
    case kPsdCmyk: return {4, 4, false};
    case kPsdGrayscale:
    case kPsdDuotone: return {1, 1, true};
    case kPsdIndexed: return {1, 1, false};
    case kPsdMultichannel: return {1, -1, true};
    default: return {1, -1, false};  // bitmap
  }
}

uint8_t SampleToByte(const uint8_t* sample, uint32_t depth, uint32_t bit, bool curve) {
  switch (depth) {
    case 1: return ((sample[0] >> (7 - bit)) & 1) ? 0 : 255;  // 1 is black
    case 8: return sample[0];
    case 16: return From16(ByteReader::U16BENoBoundsCheck(sample));
    default: {
      const float value = FloatFromBits(ByteReader::U32BENoBoundsCheck(sample));
      return curve ? LinearToSrgbByte(value) : LinearToAlphaByte(value);
    }
  }
}

bool SamplePicker::Begin(const int32_t* columns, int32_t count, int32_t width, uint32_t depth, DecodeFailure* failure) {
  columns_ = columns;
  count_ = count;
  depth_ = depth;
  sampleBytes_ = depth == 1 ? 1 : depth / 8;
  identity_ = count == width && (count == 0 || (columns[0] == 0 && columns[count - 1] == width - 1));
  const size_t rowBytes = depth == 1 ? (static_cast<size_t>(width) + 7) / 8 : static_cast<size_t>(width) * sampleBytes_;
  // The bytes each distinct column needs, increasing (1-bit columns sharing a byte pick it once).
  positions_ = Scratch<uint64_t>(identity_ ? 1 : static_cast<size_t>(count) * sampleBytes_);
  pickOf_ = Scratch<uint32_t>(identity_ ? 1 : static_cast<size_t>(count));
  picked_ = Scratch<uint8_t>(identity_ ? rowBytes : static_cast<size_t>(count) * sampleBytes_);
  if (!positions_ || !pickOf_ || !picked_) return Fail(failure, FailureKind::OutOfMemory, "no row buffers");
  pickCount_ = identity_ ? rowBytes : 0;
  if (identity_) return true;
  for (int32_t i = 0; i < count; ++i) {
    const auto x = static_cast<uint64_t>(columns[i]);
    const uint64_t first = depth == 1 ? x >> 3 : x * sampleBytes_;
    if (pickCount_ == 0 || positions_[pickCount_ - sampleBytes_] != first) {
      for (uint32_t k = 0; k < sampleBytes_; ++k) positions_[pickCount_ + k] = first + k;
      pickCount_ += sampleBytes_;
    }
    pickOf_[i] = static_cast<uint32_t>(pickCount_ - sampleBytes_);
  }
  return true;
}

bool SamplePicker::PickLane(PlaneReader& plane, uint64_t row, uint8_t* lanes, uint32_t lane, bool curve,
                            DecodeFailure* failure) {
  if (!PickBytes(plane, row, picked_.get(), failure)) return false;
  BytesToLane(picked_.get(), lanes, lane, curve);
  return true;
}

bool SamplePicker::PickBytes(PlaneReader& plane, uint64_t row, uint8_t* out, DecodeFailure* failure) {
  return plane.Pick(row, identity_ ? nullptr : positions_.get(), pickCount_, out, failure);
}

void SamplePicker::BytesToLane(const uint8_t* picked, uint8_t* lanes, uint32_t lane, bool curve) const {
  uint8_t* out = lanes + lane;
  for (int32_t i = 0; i < count_; ++i) {
    const uint8_t* sample =
        identity_ ? picked + (depth_ == 1 ? static_cast<size_t>(i) >> 3 : static_cast<size_t>(i) * sampleBytes_)
                  : picked + pickOf_[i];
    out[4 * static_cast<size_t>(i)] = SampleToByte(sample, depth_, static_cast<uint32_t>(columns_[i]) & 7, curve);
  }
}

void SamplePicker::BytesToValues(const uint8_t* picked, float* values) const {
  for (int32_t i = 0; i < count_; ++i) {
    const uint8_t* sample = identity_ ? picked + static_cast<size_t>(i) * sampleBytes_ : picked + pickOf_[i];
    switch (depth_) {
      case 8: values[i] = sample[0] / 255.0f; break;
      case 16: values[i] = ByteReader::U16BENoBoundsCheck(sample) / 65535.0f; break;
      case 32: values[i] = FloatFromBits(ByteReader::U32BENoBoundsCheck(sample)); break;
      default: values[i] = ((sample[0] >> (7 - (static_cast<uint32_t>(columns_[i]) & 7))) & 1) ? 0.0f : 1.0f; break;
    }
  }
}

void LanesToBgra(const uint8_t* lanes, size_t count, uint32_t* out) {
  for (size_t i = 0; i < count; ++i, lanes += 4) {
    out[i] = (uint32_t{lanes[3]} << 24) | (uint32_t{lanes[0]} << 16) | (uint32_t{lanes[1]} << 8) | lanes[2];
  }
}

bool CompositeRows::Layout(DecodeFailure* failure) {
  const PsdDocument& doc = *document_;
  ByteSource& source = *source_;
  const uint64_t size = source.size();
  const uint64_t start = doc.imageDataOffset;
  const uint64_t width = static_cast<uint64_t>(doc.width), height = static_cast<uint64_t>(doc.height);
  const uint32_t depth = doc.depth;
  rowBytes_ = depth == 1 ? (width + 7) / 8 : width * (depth / 8);
  uint16_t compression = 0;
  if (!source.Has(start, 2)) return FailTruncated(failure, size, start + 2, "the image data section");
  if (!source.U16BE(start, &compression, failure)) return false;
  plan_ = PlanFor(doc.mode);
  const uint32_t channels = doc.channelCount;
  used_ = std::min<uint32_t>(
      channels, plan_.alphaChannel >= 0 ? static_cast<uint32_t>(plan_.alphaChannel) + 1 : plan_.colourChannels);
  colour_ = std::min(plan_.colourChannels, channels);
  const PsdCompositeAlpha alpha = CompositeAlphaOf(doc);
  hasAlpha_ = alpha.transparency && plan_.alphaChannel >= 0 && channels > static_cast<uint32_t>(plan_.alphaChannel) &&
              !(doc.mode == kPsdIndexed && doc.transparentIndex >= 0);
  matted_ = hasAlpha_ && alpha.matted && doc.mode != kPsdIndexed;
  if (!hasAlpha_) used_ = colour_;

  for (uint32_t c = 0; c < used_; ++c) {
    PlaneSpec& spec = specs_[c];
    spec = PlaneSpec{};
    spec.compression = compression;
    spec.depth = depth;
    spec.rowBytes = rowBytes_;
    spec.rows = height;
  }
  uint64_t planeBytes = 0;
  if (!CheckedMultiply(rowBytes_, height, &planeBytes)) return Fail(failure, FailureKind::TooLarge, "image size");
  switch (compression) {
    case kPsdRaw: {
      uint64_t total = 0;
      if (!CheckedMultiply(planeBytes, channels, &total) || !source.Has(start + 2, total)) {
        return FailTruncated(failure, size, start + 2 + planeBytes * channels, "the raw planes");
      }
      for (uint32_t c = 0; c < used_; ++c) specs_[c].data = start + 2 + c * planeBytes;
      return true;
    }
    case kPsdPackBits: {
      const uint32_t countBytes = doc.version == 2 ? 4 : 2;
      const uint64_t tableBytes = uint64_t{countBytes} * channels * height;
      if (!source.Has(start + 2, tableBytes)) {
        return FailTruncated(failure, size, start + 2 + tableBytes, "the row byte counts");
      }
      const uint64_t table = start + 2, data = table + tableBytes;
      // Sum every row's byte count (the offsets of the channels we read come out on the way) and prove the
      // packed data lies in the file.
      uint64_t total = 0, usedTotal = 0;
      for (uint32_t c = 0; c < channels; ++c) {
        if (c < used_) {
          specs_[c].table = table + uint64_t{countBytes} * c * height;
          specs_[c].countBytes = countBytes;
          specs_[c].data = data + total;
        }
        for (uint64_t r = 0; r < height; ++r) {
          uint8_t counted[4];
          if (!source.Read(table + (c * height + r) * countBytes, counted, countBytes, failure)) return false;
          total += countBytes == 4 ? ByteReader::U32BENoBoundsCheck(counted) : ByteReader::U16BENoBoundsCheck(counted);
        }
        if (c < used_) usedTotal = total;
      }
      if (!source.Has(data, total)) return FailTruncated(failure, size, data + total, "the packed rows");
      for (uint32_t c = 0; c < used_; ++c) specs_[c].dataEnd = data + total;
      // PackBits turns 2 bytes into at most 128: packed rows smaller than that cannot hold the image. (A few
      // short rows are tolerated and leave zeros; an image made of them is a tiny file claiming a huge picture.)
      const uint64_t smallest = uint64_t{used_} * height * 2 * ((rowBytes_ + 127) / 128);
      if (usedTotal < smallest) {
        return FailTruncated(failure, size, data + total + (smallest - usedTotal), "the packed rows of the image");
      }
      return true;
    }
    case kPsdZip:
    case kPsdZipPredicted:
      // One zlib stream holds every plane, one after another.
      for (uint32_t c = 0; c < used_; ++c) {
        specs_[c].data = start + 2;
        specs_[c].dataEnd = size;
        specs_[c].skip = c * planeBytes;
      }
      return true;
    default: return Fail(failure, FailureKind::Unsupported, "PSD compression %u", compression);
  }
}

bool CompositeRows::Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
                          DecodeFailure* failure) {
  rows_ = rows;
  columnCount_ = columnCount;
  rowCount_ = rowCount;
  lanes_ = Scratch<uint8_t>(static_cast<size_t>(columnCount) * 4);
  if (!lanes_) return Fail(failure, FailureKind::OutOfMemory, "no row buffer");
  if (!picker_.Begin(columns, columnCount, document_->width, document_->depth, failure)) return false;
  if (matted_) {
    matteBytes_ = Scratch<uint8_t>(picker_.PickedBytes());
    alphaValues_ = Scratch<float>(static_cast<size_t>(columnCount));
    colourValues_ = Scratch<float>(static_cast<size_t>(columnCount));
    if (!matteBytes_ || !alphaValues_ || !colourValues_)
      return Fail(failure, FailureKind::OutOfMemory, "no row buffers");
  }
  const bool zip = used_ > 1 && (specs_[0].compression == kPsdZip || specs_[0].compression == kPsdZipPredicted);
  const uint64_t bufferBytes = uint64_t{used_} * static_cast<uint64_t>(rowCount) * picker_.PickedBytes();
  buffered_ = zip && bufferBytes <= kMaxBufferedBytes;
  if (!buffered_) {
    for (uint32_t c = 0; c < used_; ++c) {
      if (!planes_[c].Open(source_, specs_[c], failure)) return false;
    }
    return true;
  }
  // The planes follow one another in the stream: read as one plane of `used_` x height rows, in one pass.
  buffer_ = Scratch<uint8_t>(static_cast<size_t>(bufferBytes));
  if (!buffer_) return Fail(failure, FailureKind::OutOfMemory, "no plane buffer");
  PlaneSpec whole = specs_[0];
  whole.rows = specs_[0].rows * used_;
  PlaneReader& reader = planes_[0];
  if (!reader.Open(source_, whole, failure)) return false;
  const size_t picked = picker_.PickedBytes();
  for (uint32_t c = 0; c < used_; ++c) {
    for (int32_t i = 0; i < rowCount; ++i) {
      uint8_t* out =
          buffer_.get() + (static_cast<size_t>(c) * static_cast<size_t>(rowCount) + static_cast<size_t>(i)) * picked;
      if (!picker_.PickBytes(reader, c * specs_[0].rows + static_cast<uint64_t>(rows[i]), out, failure)) return false;
    }
  }
  return true;
}

bool CompositeRows::PlaneBytes(uint32_t plane, int32_t index, const uint8_t** bytes, DecodeFailure* failure) {
  const size_t picked = picker_.PickedBytes();
  if (buffered_) {
    *bytes = buffer_.get() +
             (static_cast<size_t>(plane) * static_cast<size_t>(rowCount_) + static_cast<size_t>(index)) * picked;
    return true;
  }
  *bytes = matteBytes_.get();
  return picker_.PickBytes(planes_[plane], static_cast<uint64_t>(rows_[index]), matteBytes_.get(), failure);
}

// Photoshop stores the colour of a transparent composite matted with white: c = a x colour + (1 - a) x white.
// Each colour value (stored value / max, or the float) comes back as clamp((c - (1 - a) n) / a, 0, 1), with n the
// channel's white (1; Lab's a and b: their neutral value), before the mode's conversion; alpha 0 is transparent
// black. Display bytes are then made as for unmatted rows.
bool CompositeRows::MattedRow(int32_t index, DecodeFailure* failure) {
  const PsdDocument& doc = *document_;
  const size_t count = static_cast<size_t>(columnCount_);
  uint8_t* lanes = lanes_.get();
  const uint8_t* bytes = nullptr;
  if (!PlaneBytes(static_cast<uint32_t>(plan_.alphaChannel), index, &bytes, failure)) return false;
  picker_.BytesToValues(bytes, alphaValues_.get());
  const float neutral = doc.depth == 8 ? 128.0f / 255.0f : doc.depth == 16 ? 32768.0f / 65535.0f : 0.5f;
  for (uint32_t c = 0; c < colour_; ++c) {
    if (!PlaneBytes(c, index, &bytes, failure)) return false;
    picker_.BytesToValues(bytes, colourValues_.get());
    const float white = doc.mode == kPsdLab && c > 0 ? neutral : 1.0f;
    const bool curve = plan_.srgbCurve && doc.depth == 32;
    for (size_t i = 0; i < count; ++i) {
      const float a = std::clamp(alphaValues_[i], 0.0f, 1.0f);
      float v = a > 0.0f ? (colourValues_[i] - (1.0f - a) * white) / a : 0.0f;
      v = std::clamp(v, 0.0f, 1.0f);
      lanes[4 * i + c] = curve ? LinearToSrgbByte(v) : static_cast<uint8_t>(std::lround(v * 255.0f));
    }
  }
  ConvertModeRow(doc, lanes, count, true);
  for (size_t i = 0; i < count; ++i) {
    const float a = std::clamp(alphaValues_[i], 0.0f, 1.0f);
    lanes[4 * i + kAlpha] = doc.depth == 32 ? LinearToAlphaByte(a) : static_cast<uint8_t>(std::lround(a * 255.0f));
    if (lanes[4 * i + kAlpha] == 0) lanes[4 * i] = lanes[4 * i + 1] = lanes[4 * i + 2] = 0;
  }
  return true;
}

bool CompositeRows::Row(int32_t index, uint32_t* out, DecodeFailure* failure) {
  if (matted_) {
    std::memset(lanes_.get(), 0, static_cast<size_t>(columnCount_) * 4);
    if (!MattedRow(index, failure)) return false;
    LanesToBgra(lanes_.get(), static_cast<size_t>(columnCount_), out);
    return true;
  }
  const auto row = static_cast<uint64_t>(rows_[index]);
  uint8_t* lanes = lanes_.get();
  std::memset(lanes, 0, static_cast<size_t>(columnCount_) * 4);  // lanes no plane fills read 0
  const size_t picked = picker_.PickedBytes();
  const auto lane = [&](uint32_t plane, uint32_t to, bool curve) {
    if (buffered_) {
      picker_.BytesToLane(
          buffer_.get() +
              (static_cast<size_t>(plane) * static_cast<size_t>(rowCount_) + static_cast<size_t>(index)) * picked,
          lanes, to, curve);
      return true;
    }
    return picker_.PickLane(planes_[plane], row, lanes, to, curve, failure);
  };
  for (uint32_t c = 0; c < colour_; ++c) {
    if (!lane(c, c, plan_.srgbCurve)) return false;
  }
  ConvertModeRow(*document_, lanes, static_cast<size_t>(columnCount_), hasAlpha_);
  if (hasAlpha_ && !lane(static_cast<uint32_t>(plan_.alphaChannel), kAlpha, false)) return false;
  LanesToBgra(lanes, static_cast<size_t>(columnCount_), out);
  return true;
}

namespace {

class PsdPicture final : public RowPicture {
 public:
  PsdPicture(ByteSource& source, std::unique_ptr<PsdDocument> document, bool flatten)
      : RowPicture({document->width, document->height, true, false}),
        document_(std::move(document)),
        composite_(source, *document_),
        flattened_(source, *document_),
        flatten_(flatten) {}
  bool Layout(DecodeFailure* failure) { return flatten_ ? flattened_.Layout(failure) : composite_.Layout(failure); }

 protected:
  RowSource& Rows() override {
    if (flatten_) return flattened_;
    return composite_;
  }

 private:
  std::unique_ptr<PsdDocument> document_;
  CompositeRows composite_;
  FlattenRows flattened_;
  bool flatten_;
};

}  // namespace

namespace {

const char* ColourModeName(uint16_t mode) {
  switch (mode) {
    case kPsdBitmap: return "Bitmap";
    case kPsdGrayscale: return "Grayscale";
    case kPsdIndexed: return "Indexed";
    case kPsdRgb: return "RGB";
    case kPsdCmyk: return "CMYK";
    case kPsdMultichannel: return "Multichannel";
    case kPsdDuotone: return "Duotone";
    case kPsdLab: return "Lab";
    default: return "unknown";
  }
}

// The document's facts: its mode and depth as Photoshop names them ("RGB 16-bit"), its channels and layers, and
// what is drawn: the stored composite (with the transparency the rules decide) or the flattened layers.
void DescribeDocument(const PsdDocument& doc, bool flatten, Facts* facts) {
  facts->known = true;
  facts->container = doc.version == 2 ? "PSB" : "PSD";  // the large-document format, whatever the name says
  facts->width = doc.width;
  facts->height = doc.height;
  facts->document = true;
  std::snprintf(facts->colourMode, sizeof facts->colourMode, "%s", ColourModeName(doc.mode));
  facts->SetEncoding("%s %u-bit", facts->colourMode, static_cast<unsigned>(doc.depth));
  facts->bitDepth = doc.depth;
  facts->channels = doc.channelCount;
  facts->bitsPerPixel = uint32_t{doc.depth} * doc.channelCount;
  facts->layerCount = static_cast<uint32_t>(doc.layers.size());
  facts->compositeStored = !flatten;
  facts->hdr = doc.depth == 32;
  if (doc.depth == 32) facts->colourSpace = ColourSpace::kLinear;
  const ModePlan plan = PlanFor(doc.mode);
  const bool extraChannel = plan.alphaChannel >= 0 && doc.channelCount > static_cast<uint32_t>(plan.alphaChannel);
  if (flatten) {
    facts->alpha = AlphaKind::kStraight;
  } else if (doc.mode == kPsdIndexed && doc.transparentIndex >= 0) {
    facts->alpha = AlphaKind::kOneBit;
  } else {
    facts->alpha = extraChannel && CompositeAlphaOf(doc).transparency ? AlphaKind::kStraight : AlphaKind::kNone;
  }
}

}  // namespace

bool OpenPsd(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  std::unique_ptr<PsdDocument> document(new (std::nothrow) PsdDocument);
  if (!document) return Fail(failure, FailureKind::OutOfMemory, "no document");
  if (!ReadPsdDocument(source, document.get(), options, failure)) return false;
  // The image data is not the picture when the document says so (saved without "maximize compatibility") or
  // when there is none: then the layers are flattened. With no layers either, a composite is all there is.
  // An image data section of its compression field alone (two bytes, no rows) holds no composite either.
  const bool composite = document->imageDataLength > 2;
  const bool flatten = (!document->hasRealComposite || !composite) && document->layers.size() > 0;
  if (document->imageDataLength == 0 && !flatten) {
    return FailTruncated(failure, source.size(), source.size() + 2, "the image data section");
  }
  if (Facts* facts = options.facts) DescribeDocument(*document, flatten, facts);
  std::unique_ptr<PsdPicture> made(new (std::nothrow) PsdPicture(source, std::move(document), flatten));
  if (!made) return Fail(failure, FailureKind::OutOfMemory, "no picture");
  if (!made->Layout(failure)) return false;
  *picture = std::move(made);
  return true;
}

}  // namespace mirelth
