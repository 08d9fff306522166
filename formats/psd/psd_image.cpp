// The composite image: one plane per channel, raw or PackBits rows. Each plane is decoded into its byte lane
// of an interleaved RGBA strip (8-bit samples straight from the packed rows, deeper samples through a one-row
// scratch), one per-pixel step turns the mode's values into RGB, and the strip goes to its sink (the bitmap):
// no full-size intermediate image. Every row is proved to lie in the file before anything is decoded.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "formats/psd/psd.h"
#include "pixels/byte_reader.h"
#include "pixels/limits.h"
#include "pixels/sampling.h"

namespace mirelth {
namespace {

constexpr uint16_t kRaw = 0, kPackBits = 1;
enum Lane : uint32_t { kRed = 0, kGreen = 1, kBlue = 2, kAlpha = 3 };

struct HeapFreer {
  void operator()(void* memory) const {
    if (memory) HeapFree(GetProcessHeap(), 0, memory);
  }
};

// What each mode decodes: its colour channels (into lanes 0..colourChannels-1) and its alpha channel.
struct ModePlan {
  uint32_t colourChannels;
  int32_t alphaChannel;  // -1: none, always opaque
  bool srgbCurve;        // 32-bit colour samples are linear light
};
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

uint8_t From16(uint32_t v) { return static_cast<uint8_t>((v * 255 + 32767) / 65535); }

uint8_t FromFloat(uint32_t bits, bool curve) {
  float value;
  std::memcpy(&value, &bits, 4);
  if (std::isnan(value)) value = 0.0f;
  double v = std::clamp(static_cast<double>(value), 0.0, 1.0);
  if (curve) v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(v * 255.0));
}

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

// Where each channel's rows are: the proved layout of the image data section.
struct Planes {
  uint16_t compression = kRaw;
  const uint8_t* table = nullptr;  // PackBits: big-endian row byte counts, channel after channel
  const uint8_t* data = nullptr;   // first packed row, or first raw row
  uint64_t rowBytes = 0;           // unpacked bytes of one row
  uint32_t height = 0;
  uint64_t channelStart[8] = {};  // PackBits: offset of each read channel's first row from `data`
};

// The mode's per-pixel step on one row: the decoded values become RGB and every pixel opaque (an alpha plane,
// if any, is decoded afterwards).
void ConvertModeRow(const PsdDocument* document, uint8_t* p, uint64_t width, bool hasAlpha) {
  switch (document->mode) {
    case kPsdRgb:
      if (!hasAlpha) {
        for (uint64_t i = 0; i < width; ++i) p[4 * i + kAlpha] = 255;
      }
      break;
    case kPsdCmyk:
      // Stored inverted (255 = no ink): R = C x K / 255 on the stored values, rounded.
      for (uint64_t i = 0; i < width; ++i, p += 4) {
        const uint32_t k = p[3];
        p[0] = static_cast<uint8_t>((p[0] * k + 127) / 255);
        p[1] = static_cast<uint8_t>((p[1] * k + 127) / 255);
        p[2] = static_cast<uint8_t>((p[2] * k + 127) / 255);
        p[3] = 255;
      }
      break;
    case kPsdLab:
      for (uint64_t i = 0; i < width; ++i, p += 4) {
        LabToRgb(p);
        p[3] = 255;
      }
      break;
    case kPsdIndexed: {
      const uint8_t* palette = document->colorModeData;  // 256 red, then 256 green, then 256 blue
      for (uint64_t i = 0; i < width; ++i, p += 4) {
        const uint8_t index = p[0];
        p[0] = palette[index];
        p[1] = palette[256 + index];
        p[2] = palette[512 + index];
        p[3] = 255;
      }
      break;
    }
    default:  // one gray channel: bitmap, grayscale, duotone, multichannel
      for (uint64_t i = 0; i < width; ++i, p += 4) {
        p[1] = p[2] = p[0];
        p[3] = 255;
      }
      break;
  }
}

}  // namespace

size_t UnpackBitsRow(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount, size_t outStride) {
  size_t i = 0, o = 0;
  while (i < inCount) {
    const auto n = static_cast<int8_t>(in[i++]);
    if (n == -128) continue;
    if (n >= 0) {
      // Literal run of n + 1 bytes: only those inside the row's bytes are used, only up to the row's length.
      size_t run = static_cast<size_t>(n) + 1;
      if (run > inCount - i) run = inCount - i;
      const size_t kept = run < outCount - o ? run : outCount - o;
      const uint8_t* from = in + i;
      uint8_t* to = out + o * outStride;
      for (size_t k = 0; k < kept; ++k) to[k * outStride] = from[k];
      o += kept;
      i += run;
    } else {
      if (i >= inCount) break;  // the repeated byte lies past the row
      const uint8_t value = in[i++];
      const size_t run = static_cast<size_t>(1 - n);
      const size_t kept = run < outCount - o ? run : outCount - o;
      uint8_t* to = out + o * outStride;
      for (size_t k = 0; k < kept; ++k) to[k * outStride] = value;
      o += kept;
    }
  }
  return i;
}

void UnpackBitsPick(const uint8_t* in, size_t inCount, const uint64_t* positions, size_t count, uint8_t* out) {
  if (count == 0) return;
  std::memset(out, 0, count);
  size_t i = 0, j = 0;
  uint64_t o = 0;  // unpacked position of the next packet
  while (i < inCount && j < count) {
    const auto n = static_cast<int8_t>(in[i++]);
    if (n == -128) continue;
    if (n >= 0) {
      size_t run = static_cast<size_t>(n) + 1;
      if (run > inCount - i) run = inCount - i;
      for (; j < count && positions[j] < o + run; ++j) {
        if (positions[j] >= o) out[j] = in[i + (positions[j] - o)];
      }
      o += run;
      i += run;
    } else {
      if (i >= inCount) break;
      const uint8_t value = in[i++];
      const size_t run = static_cast<size_t>(1 - n);
      for (; j < count && positions[j] < o + run; ++j) out[j] = value;
      o += run;
    }
  }
}

size_t DecodePackBitsRow(uint8_t* rowPixels, const uint8_t* packed, size_t count, uint32_t laneShift, int32_t width) {
  return UnpackBitsRow(packed, count, rowPixels + laneShift / 8, width > 0 ? static_cast<size_t>(width) : 0, 4);
}

namespace {

// Where everything is, once proved: the planes, the mode's plan and the channels read.
struct Composite {
  Planes planes;
  ModePlan plan;
  uint32_t used = 0;    // channels read: the colour channels present and the alpha channel, if any
  uint32_t colour = 0;  // colour channels present
  bool hasAlpha = false;
  uint64_t width = 0, height = 0;
  uint32_t depth = 0;
};

bool LayOutComposite(const PsdDocument* document, uint32_t channelCount, const uint8_t* fileData, uint32_t fileSize,
                     const uint8_t* imageData, Composite* composite, DecodeFailure* failure) {
  const auto start = static_cast<uint64_t>(imageData - fileData);  // the section's offset in the file
  const ByteReader section(imageData, fileSize - start);
  const uint64_t width = static_cast<uint64_t>(document->width), height = static_cast<uint64_t>(document->height);
  const uint32_t depth = document->depth;
  Planes& planes = composite->planes;
  composite->width = width;
  composite->height = height;
  composite->depth = depth;
  planes.height = static_cast<uint32_t>(height);
  planes.rowBytes = depth == 1 ? (width + 7) / 8 : width * (depth / 8);
  if (!section.U16BEAt(0, &planes.compression)) {
    return FailTruncated(failure, fileSize, start + 2, "the image data section");
  }
  const ModePlan plan = PlanFor(document->mode);
  composite->plan = plan;
  const uint32_t used = std::min<uint32_t>(
      channelCount, plan.alphaChannel >= 0 ? static_cast<uint32_t>(plan.alphaChannel) + 1 : plan.colourChannels);
  composite->used = used;
  composite->colour = std::min(plan.colourChannels, channelCount);
  composite->hasAlpha = plan.alphaChannel >= 0 && channelCount > static_cast<uint32_t>(plan.alphaChannel);

  if (planes.compression == kPackBits) {
    const uint64_t tableBytes = 2 * uint64_t{channelCount} * height;
    if (!section.Has(2, tableBytes)) {
      return FailTruncated(failure, fileSize, start + 2 + tableBytes, "the row byte counts");
    }
    planes.table = imageData + 2;
    planes.data = imageData + 2 + tableBytes;
    // Sum every row's byte count (the offsets of the channels we read come out on the way) and prove the
    // packed data lies in the file.
    uint64_t total = 0, usedTotal = 0;
    for (uint32_t c = 0; c < channelCount; ++c) {
      if (c < used) planes.channelStart[c] = total;
      for (uint64_t r = 0; r < height; ++r) total += ByteReader::U16BENoBoundsCheck(planes.table + 2 * (c * height + r));
      if (c < used) usedTotal = total;
    }
    if (!section.Has(2 + tableBytes, total)) {
      return FailTruncated(failure, fileSize, start + 2 + tableBytes + total, "the packed rows");
    }
    // PackBits turns 2 bytes into at most 128: packed rows smaller than that cannot hold the image. (A few
    // short rows are tolerated and leave zeros; an image made of them is a tiny file claiming a huge picture.)
    const uint64_t smallest = uint64_t{used} * height * 2 * ((planes.rowBytes + 127) / 128);
    if (usedTotal < smallest) {
      return FailTruncated(failure, fileSize, start + 2 + tableBytes + (smallest - usedTotal) + total,
                           "the packed rows of the image");
    }
  } else if (planes.compression == kRaw) {
    planes.data = imageData + 2;
    uint64_t total = 0;
    if (!CheckedMultiply(planes.rowBytes * height, channelCount, &total) || !section.Has(2, total)) {
      return FailTruncated(failure, fileSize, start + 2 + planes.rowBytes * height * channelCount,
                           "the raw planes");
    }
  } else {
    return Fail(failure, FailureKind::Unsupported, "PSD compression %u%s", planes.compression,
                planes.compression == 2 || planes.compression == 3 ? " (ZIP)" : "");
  }
  return true;
}

}  // namespace

bool DecodeCompositeImage(PsdDocument* document, uint32_t channelCount, const uint8_t* fileData, uint32_t fileSize,
                          const uint8_t* imageData, const PsdStripSink& sink, DecodeFailure* failure) {
  Composite composite;
  if (!LayOutComposite(document, channelCount, fileData, fileSize, imageData, &composite, failure)) return false;
  const Planes& planes = composite.planes;
  const ModePlan plan = composite.plan;
  const uint64_t width = composite.width, height = composite.height;
  const uint32_t depth = composite.depth, used = composite.used;

  // A strip of rows small enough to stay in cache while its planes, the mode step and the sink go over it.
  document->stripRows = static_cast<int32_t>(std::clamp<uint64_t>((uint64_t{256} << 10) / (width * 4), 1, height));
  const uint64_t stripBytes = width * 4 * static_cast<uint64_t>(document->stripRows);
  document->pixels = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(stripBytes)));
  if (!document->pixels) return Fail(failure, FailureKind::OutOfMemory, "no buffer for the composite image");
  std::unique_ptr<uint8_t, HeapFreer> scratch;
  if (depth != 8) {
    scratch.reset(static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                  static_cast<SIZE_T>(planes.rowBytes))));
    if (!scratch) return Fail(failure, FailureKind::OutOfMemory, "no row buffer");
  }

  // Row by row, all planes of a row at once: the row's pixels stay in cache while each plane fills its lane,
  // the mode's per-pixel step runs on it, and the alpha plane (if any) lands last.
  const uint32_t colour = composite.colour;
  const bool hasAlpha = composite.hasAlpha;
  uint64_t offsets[8] = {};  // PackBits: each read channel's next row, from `data`
  for (uint32_t c = 0; c < used; ++c) offsets[c] = planes.channelStart[c];

  auto decodeRow = [&](uint32_t c, uint64_t r, uint8_t* row, uint32_t lane, bool curve) {
    const uint8_t* source;
    uint64_t count;
    if (planes.compression == kPackBits) {
      count = ByteReader::U16BENoBoundsCheck(planes.table + 2 * (c * height + r));
      source = planes.data + offsets[c];
      offsets[c] += count;
    } else {
      count = planes.rowBytes;
      source = planes.data + (c * height + r) * planes.rowBytes;
    }
    if (depth == 8) {
      if (planes.compression == kPackBits) {
        UnpackBitsRow(source, count, row + lane, width, 4);
      } else {
        for (uint64_t x = 0; x < width; ++x) row[4 * x + lane] = source[x];
      }
      return;
    }
    const uint8_t* samples = source;
    if (planes.compression == kPackBits) {
      std::memset(scratch.get(), 0, planes.rowBytes);  // a short row leaves the rest zero
      UnpackBitsRow(source, count, scratch.get(), planes.rowBytes, 1);
      samples = scratch.get();
    }
    if (depth == 1) {
      // Most significant bit first; 1 is black.
      for (uint64_t x = 0; x < width; ++x) row[4 * x + lane] = ((samples[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 255;
    } else if (depth == 16) {
      for (uint64_t x = 0; x < width; ++x) row[4 * x + lane] = From16(ByteReader::U16BENoBoundsCheck(samples + 2 * x));
    } else {
      for (uint64_t x = 0; x < width; ++x) {
        row[4 * x + lane] = FromFloat(ByteReader::U32BENoBoundsCheck(samples + 4 * x), curve);
      }
    }
  };

  const uint64_t strip = static_cast<uint64_t>(document->stripRows);
  for (uint64_t first = 0; first < height; first += strip) {
    const uint64_t rows = std::min(strip, height - first);
    std::memset(document->pixels, 0, rows * width * 4);  // lanes no plane fills read 0
    for (uint64_t k = 0; k < rows; ++k) {
      uint8_t* row = document->pixels + k * width * 4;
      for (uint32_t c = 0; c < colour; ++c) decodeRow(c, first + k, row, c, plan.srgbCurve);
      ConvertModeRow(document, row, width, hasAlpha);
      if (hasAlpha) decodeRow(static_cast<uint32_t>(plan.alphaChannel), first + k, row, kAlpha, false);
    }
    if (!sink.take(sink.context, document->pixels, static_cast<int32_t>(first), static_cast<int32_t>(rows), failure)) {
      return false;
    }
  }
  return true;
}

bool DrawPsdThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap,
                      const PsdListing& listing, DecodeFailure* failure) {
  if (!bitmap) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  if (!fileData) return Fail(failure, FailureKind::NotThisFormat, "no file");
  PsdDocument document;
  const PsdDocumentReleaser releaser{&document};
  uint32_t channelCount = 0;
  const uint8_t* imageData = nullptr;
  // No full-size buffer is made here, so only the file and the 32-bit fields bound the size.
  if (ReadPsdDocument(&document, fileData, fileSize, &channelCount, &imageData, listing, failure, UINT64_MAX) < 0) {
    return false;
  }
  Composite composite;
  if (!LayOutComposite(&document, channelCount, fileData, fileSize, imageData, &composite, failure)) return false;
  const Planes& planes = composite.planes;
  const uint32_t depth = composite.depth;

  SampleGrid grid;
  if (!MakeSampleGrid(document.width, document.height, cx, &grid)) {
    return Fail(failure, FailureKind::OutOfMemory, "no sample maps");
  }
  uint8_t* bits = nullptr;
  UniqueBitmap result = CreateThumbnailBitmap(grid, &bits, failure);
  if (!result) return false;

  // The bytes each distinct sampled column needs from an unpacked row, in increasing order (a column that
  // several thumbnail columns show is picked once; 1-bit columns sharing a byte pick it once).
  const uint32_t sampleBytes = depth == 1 ? 1 : depth / 8;
  Scratch<uint64_t> positions(static_cast<size_t>(grid.width) * sampleBytes);
  Scratch<uint32_t> pickOf(static_cast<size_t>(grid.width));  // thumbnail column -> its first picked byte
  Scratch<uint8_t> picked(static_cast<size_t>(grid.width) * sampleBytes);
  Scratch<uint8_t> gathered(static_cast<size_t>(grid.width) * 4);  // RGBA lanes of the sampled pixels
  if (!positions || !pickOf || !picked || !gathered) return Fail(failure, FailureKind::OutOfMemory, "no row buffers");
  size_t pickCount = 0;
  for (int32_t tx = 0; tx < grid.width; ++tx) {
    const auto x = static_cast<uint64_t>(grid.columns[tx]);
    const uint64_t first = depth == 1 ? x >> 3 : x * sampleBytes;
    if (pickCount == 0 || positions[pickCount - sampleBytes] != first) {
      for (uint32_t k = 0; k < sampleBytes; ++k) positions[pickCount + k] = first + k;
      pickCount += sampleBytes;
    }
    pickOf[tx] = static_cast<uint32_t>(pickCount - sampleBytes);
  }

  // PackBits: each channel's current row and its offset, walked forward as the sampled rows go down.
  uint64_t rowOf[8] = {}, offsetOf[8] = {};
  for (uint32_t c = 0; c < composite.used; ++c) offsetOf[c] = planes.channelStart[c];
  auto pickRow = [&](uint32_t c, uint64_t r, uint32_t lane, bool curve) {
    if (planes.compression == kPackBits) {
      for (; rowOf[c] < r; ++rowOf[c]) offsetOf[c] += ByteReader::U16BENoBoundsCheck(planes.table + 2 * (c * composite.height + rowOf[c]));
      const uint64_t count = ByteReader::U16BENoBoundsCheck(planes.table + 2 * (c * composite.height + r));
      UnpackBitsPick(planes.data + offsetOf[c], count, positions.get(), pickCount, picked.get());
    } else {
      const uint8_t* row = planes.data + (c * composite.height + r) * planes.rowBytes;
      for (size_t j = 0; j < pickCount; ++j) picked[j] = row[positions[j]];
    }
    uint8_t* out = gathered.get() + lane;
    for (int32_t tx = 0; tx < grid.width; ++tx) {
      const uint8_t* sample = picked.get() + pickOf[tx];
      uint8_t value;
      if (depth == 8) {
        value = sample[0];
      } else if (depth == 1) {
        value = ((sample[0] >> (7 - (grid.columns[tx] & 7))) & 1) ? 0 : 255;  // 1 is black
      } else if (depth == 16) {
        value = From16(ByteReader::U16BENoBoundsCheck(sample));
      } else {
        value = FromFloat(ByteReader::U32BENoBoundsCheck(sample), curve);
      }
      out[4 * static_cast<size_t>(tx)] = value;
    }
  };

  const int32_t pitch = grid.width * 4;
  for (int32_t ty = 0; ty < grid.height; ++ty) {
    uint8_t* outRow = bits + static_cast<size_t>(grid.height - 1 - ty) * pitch;
    if (ty > 0 && grid.rows[ty] == grid.rows[ty - 1]) {
      std::memcpy(outRow, outRow + pitch, static_cast<size_t>(pitch));  // the same image row again
      continue;
    }
    const auto r = static_cast<uint64_t>(grid.rows[ty]);
    std::memset(gathered.get(), 0, static_cast<size_t>(pitch));  // lanes no plane fills read 0
    for (uint32_t c = 0; c < composite.colour; ++c) pickRow(c, r, c, composite.plan.srgbCurve);
    ConvertModeRow(&document, gathered.get(), static_cast<uint64_t>(grid.width), composite.hasAlpha);
    if (composite.hasAlpha) pickRow(static_cast<uint32_t>(composite.plan.alphaChannel), r, kAlpha, false);
    ConvertPixels(outRow, pitch, gathered.get(), pitch, document.format, document.order, grid.width, 1, false);
  }
  *bitmap = result.release();
  return true;
}

bool DrawPsdThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure) {
  return DrawPsdThumbnail(fileData, fileSize, cx, bitmap, PsdListing{}, failure);
}

}  // namespace mirelth
