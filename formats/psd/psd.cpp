// PSD document reader: header, the section walk and the layer records with their listing. Every section
// length and record field is proved to lie inside the file (or the layer section) before it is read.
#include "formats/psd/psd.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pixels/byte_reader.h"
#include "pixels/limits.h"
#include "pixels/bitmap.h"
#include "pixels/convert.h"

namespace mirelth {
namespace {

// Header offsets.
constexpr uint32_t kOffsetVersion = 4, kOffsetChannels = 12, kOffsetHeight = 14, kOffsetWidth = 18;
constexpr uint32_t kOffsetDepth = 22, kOffsetMode = 24;
// The smallest layer record: rectangle, channel count, signature, key, four bytes, extra-data length.
constexpr uint64_t kMinimumLayerRecord = 34;

void Print(const PsdListing& listing, const char* format, ...) MIRELTH_PRINTF_FORMAT(2, 3);
void Print(const PsdListing& listing, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (listing.write) {
    listing.write(listing.context, line);
  } else {
    std::fputs(line, stdout);
  }
}

void* HeapZeroed(uint64_t bytes) {
  if (bytes > SIZE_MAX) return nullptr;
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(bytes));
}

constexpr uint32_t Key(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
         uint32_t(uint8_t(text[3]));
}
struct BlendRow {
  uint32_t key;
  const char* name;
};
constexpr BlendRow kBlendModes[] = {
    {Key("norm"), "Normal"},   {Key("dark"), "Darken"},   {Key("lite"), "Lighten"},   {Key("hue "), "Hue"},
    {Key("sat "), "Saturation"}, {Key("colr"), "Color"},  {Key("lum "), "Luminosity"}, {Key("mul "), "Multiply"},
    {Key("scrn"), "Screen"},   {Key("diss"), "Dissolve"}, {Key("over"), "Overlay"},   {Key("hLit"), "Hardlight"},
    {Key("sLit"), "Softlight"}, {Key("diff"), "Difference"},
};

// The mode and depth pairs we draw.
bool DrawableModeAndDepth(uint16_t mode, uint16_t depth) {
  switch (mode) {
    case kPsdBitmap: return depth == 1;
    case kPsdIndexed: return depth == 8;
    case kPsdGrayscale:
    case kPsdRgb:
    case kPsdCmyk:
    case kPsdMultichannel:
    case kPsdDuotone:
    case kPsdLab: return depth == 8 || depth == 16 || depth == 32;
    default: return false;
  }
}

}  // namespace

const char* BlendModeName(uint32_t blendKey) {
  for (const BlendRow& row : kBlendModes) {
    if (row.key == blendKey) return row.name;
  }
  return "Unknown";
}

void ReleasePsdDocument(PsdDocument* document) {
  if (document->pixels) {
    HeapFree(GetProcessHeap(), 0, document->pixels);
    document->pixels = nullptr;
  }
  if (document->layers) {
    for (uint32_t i = 0; i < document->layerCount; ++i) {
      if (document->layers[i].name) HeapFree(GetProcessHeap(), 0, document->layers[i].name);
    }
    HeapFree(GetProcessHeap(), 0, document->layers);
    document->layers = nullptr;
  }
}

void ReadPsdLayers(PsdDocument* document, const uint8_t* contents, uint64_t length, const PsdListing& listing) {
  const ByteReader section(contents, length);
  uint16_t storedCount = 0;
  if (!section.U16BEAt(4, &storedCount)) return;
  const int32_t signedCount = static_cast<int16_t>(storedCount);
  const uint32_t count = static_cast<uint32_t>(signedCount < 0 ? -signedCount : signedCount);
  Print(listing, "LayerCount=%d\n", static_cast<int>(count));
  // No more records than the section can hold: a tiny file cannot make us allocate 32768 of them.
  const uint64_t fit = length > 6 ? (length - 6) / kMinimumLayerRecord : 0;
  const uint32_t records = static_cast<uint32_t>(count < fit ? count : fit);
  if (records == 0) return;
  document->layers = static_cast<PsdLayerRecord*>(HeapZeroed(uint64_t{records} * sizeof(PsdLayerRecord)));
  if (!document->layers) return;
  document->layerCount = static_cast<uint16_t>(records);

  uint64_t at = 6;
  for (uint32_t i = 0; i < records; ++i) {
    PsdLayerRecord& layer = document->layers[i];
    uint32_t rect[4];
    for (int k = 0; k < 4; ++k) {
      if (!section.U32BEAt(at + 4 * k, &rect[k])) return;
    }
    layer.top = static_cast<int32_t>(rect[0]);
    layer.left = static_cast<int32_t>(rect[1]);
    layer.bottom = static_cast<int32_t>(rect[2]);
    layer.right = static_cast<int32_t>(rect[3]);
    Print(listing, "  (%2d) LayerPos=(%d,%d)-(%d,%d)\n", static_cast<int>(i), layer.left, layer.top, layer.right,
          layer.bottom);
    uint16_t channels = 0;
    if (!section.U16BEAt(at + 16, &channels)) return;
    const uint64_t entries = at + 18;
    if (!section.Has(entries, uint64_t{channels} * 6 + 4)) return;  // the entries and the signature
    for (uint32_t c = 0; c < channels; ++c) {
      uint16_t id = 0;
      uint32_t size = 0;
      section.U16BEAt(entries + 6 * c, &id);
      section.U32BEAt(entries + 6 * c + 2, &size);
      if (c < 4) {
        layer.channelId[c] = static_cast<int16_t>(id);
        layer.channelLength[c] = size;
      }
      Print(listing, "     > channelID:%d  DataSize:%u\n", static_cast<int>(static_cast<int16_t>(id)), size);
    }
    const uint64_t blend = entries + uint64_t{channels} * 6;
    uint32_t signature = 0, key = 0, extraLength = 0;
    section.U32BEAt(blend, &signature);
    if (signature != Key("8BIM")) return;
    uint8_t opacity = 0, clipping = 0, flags = 0;
    if (!section.U32BEAt(blend + 4, &key) || !section.U8At(blend + 8, &opacity) ||
        !section.U8At(blend + 9, &clipping) || !section.U8At(blend + 10, &flags) ||
        !section.U32BEAt(blend + 12, &extraLength)) {
      return;
    }
    layer.channelCount = channels;
    layer.blendKey = key;
    layer.opacity = opacity;
    layer.clipping = clipping;
    layer.flags = flags;
    Print(listing, "    BlendKey: %s\n", BlendModeName(key));
    Print(listing, "    Opacity: %u\n", static_cast<unsigned>(opacity));
    Print(listing, "    Clipping: %s\n", clipping == 0 ? "base" : "non-base");
    Print(listing, "    LayerFlag: %02X\n", static_cast<unsigned>(flags));
    Print(listing, "     > %s\n", (flags & 0x01) ? "NolockAlpha" : "LockAlpha");
    Print(listing, "     > %s\n", (flags & 0x02) ? "Hide" : "Visible");
    Print(listing, "     > %s\n", (flags & 0x08) ? "Photoshop5later" : "Photoshop5before");
    Print(listing, "     > %s\n", (flags & 0x10) ? "LayerSet" : "NoLayerSet");

    const uint64_t extra = blend + 16;
    if (!section.Has(extra, extraLength)) return;  // the record would run past the section
    if (extraLength != 0) {
      const ByteReader data(contents + extra, extraLength);
      uint32_t maskLength = 0;
      if (!data.U32BEAt(0, &maskLength) || !data.Has(4, maskLength)) return;
      if (maskLength != 0) {
        uint8_t maskFlags = 0;
        data.U8At(4 + 17, &maskFlags);  // a mask shorter than 18 bytes has no flags byte: 0
        if (maskLength < 18) maskFlags = 0;
        layer.maskFlags = maskFlags;
        Print(listing, "    Flags: %02X\n", static_cast<unsigned>(maskFlags));
        Print(listing, "    > %s\n", (maskFlags & 0x01) ? "PositionRelative to layer" : "");
        Print(listing, "    > %s\n", (maskFlags & 0x02) ? "DisableLayerMask" : "EnableLayerMask");
        Print(listing, "    > %s\n", (maskFlags & 0x04) ? "invert layer mask when blending" : "");
      }
      const uint64_t ranges = 4 + uint64_t{maskLength};
      uint32_t rangesLength = 0;
      uint8_t nameLength = 0;
      if (!data.U32BEAt(ranges, &rangesLength) || !data.U8At(ranges + 4 + uint64_t{rangesLength}, &nameLength) ||
          !data.Has(ranges + 5 + uint64_t{rangesLength}, nameLength)) {
        return;
      }
      layer.name = static_cast<char*>(HeapZeroed(uint64_t{nameLength} + 1));
      if (layer.name) {
        data.BytesAt(ranges + 5 + uint64_t{rangesLength}, layer.name, nameLength);
        Print(listing, "    Name: %s\n", layer.name);
      }
    }
    at = extra + extraLength;
  }
}

int32_t ReadPsdDocument(PsdDocument* document, const uint8_t* fileData, uint32_t fileSize, uint32_t* channelCount,
                        const uint8_t** imageData, const PsdListing& listing, DecodeFailure* failure,
                        uint64_t maxPixels) {
  const ByteReader file(fileData, fileSize);
  static constexpr uint8_t kSignature[4] = {'8', 'B', 'P', 'S'};
  if (fileSize == 0 || std::memcmp(fileData, kSignature, fileSize < 4 ? fileSize : 4) != 0) {
    Fail(failure, FailureKind::NotThisFormat, "not a PSD file (no \"8BPS\" signature)");
    return -1;
  }
  if (fileSize < kPsdHeaderBytes) {
    FailTruncated(failure, fileSize, kPsdHeaderBytes, "the PSD header");
    return -1;
  }
  uint16_t version = 0, channels = 0, depth = 0, mode = 0;
  uint32_t height = 0, width = 0;
  file.U16BEAt(kOffsetVersion, &version);
  file.U16BEAt(kOffsetChannels, &channels);
  file.U32BEAt(kOffsetHeight, &height);
  file.U32BEAt(kOffsetWidth, &width);
  file.U16BEAt(kOffsetDepth, &depth);
  file.U16BEAt(kOffsetMode, &mode);
  if (version != 1) {
    Fail(failure, FailureKind::Unsupported, "PSD version %u (%s)", version,
         version == 2 ? "the large-document format" : "unknown");
    return -1;
  }
  if (channels == 0) {
    Fail(failure, FailureKind::InvalidHeader, "no channels");
    return -1;
  }
  const auto signedWidth = static_cast<int32_t>(width), signedHeight = static_cast<int32_t>(height);
  if (signedWidth < 1 || signedHeight < 1) {
    Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", signedWidth, signedHeight);
    return -1;
  }
  if (uint64_t{width} * height > maxPixels) {
    Fail(failure, FailureKind::TooLarge, "%u x %u pixels", width, height);
    return -1;
  }
  if (!DrawableModeAndDepth(mode, depth)) {
    Fail(failure, FailureKind::Unsupported, "PSD colour mode %u at %u bits per channel", mode, depth);
    return -1;
  }
  document->width = signedWidth;
  document->height = signedHeight;
  document->depth = depth;
  document->mode = mode;

  // Colour mode data, image resources, layer and mask information: each a 4-byte length and its bytes.
  uint64_t at = kPsdHeaderBytes;
  static constexpr const char* kSections[3] = {"the colour mode data", "the image resources",
                                               "the layer and mask information"};
  for (int section = 0; section < 3; ++section) {
    uint32_t length = 0;
    if (!file.U32BEAt(at, &length)) {
      FailTruncated(failure, fileSize, at + 4, kSections[section]);
      return -1;
    }
    at += 4;
    if (!file.Has(at, length)) {
      FailTruncated(failure, fileSize, at + length, kSections[section]);
      return -1;
    }
    if (section == 0) {
      document->colorModeData = fileData + at;
      document->colorModeDataLength = length;
    }
    if (section == 2 && length != 0) ReadPsdLayers(document, fileData + at, length, listing);
    at += length;
  }
  if (mode == kPsdIndexed && document->colorModeDataLength < 768) {
    Fail(failure, FailureKind::InvalidHeader, "indexed colour with a palette of %u bytes (768 needed)",
         document->colorModeDataLength);
    return -1;
  }
  *channelCount = channels;
  *imageData = fileData + at;
  return 0;
}

namespace {

// Converts each composite strip into the bitmap, made at the first strip. The composite's rows are stored
// top-down and the bitmap is bottom-up: a strip of image rows y0.. lands, flipped, ending at bitmap row H-1-y0.
struct BitmapSink {
  const PsdDocument* document;
  BITMAPINFO* info;
  UniqueBitmap bitmap;
  uint8_t* bits = nullptr;

  static bool Take(void* context, const uint8_t* rows, int32_t firstRow, int32_t rowCount, DecodeFailure* failure) {
    auto* self = static_cast<BitmapSink*>(context);
    const PsdDocument& doc = *self->document;
    if (!self->bitmap) {
      FillBitmapInfo(self->info, doc.width, doc.height);
      self->bitmap = CreateImageBitmap(*self->info, &self->bits);
      if (!self->bitmap) return Fail(failure, FailureKind::OutOfMemory, "no %d x %d bitmap", doc.width, doc.height);
    }
    const int32_t pitch = doc.width * 4;
    uint8_t* destination = self->bits + static_cast<size_t>(doc.height - firstRow - rowCount) * static_cast<size_t>(pitch);
    ConvertPixels(destination, pitch, rows, pitch, doc.format, doc.order, doc.width, rowCount, true);
    return true;
  }
};

}  // namespace

bool DecodePsdWithListing(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
                          const PsdListing& listing, DecodeFailure* failure) {
  if (!bitmap || !info) return Fail(failure, FailureKind::InvalidHeader, "no bitmap to fill");
  if (!fileData) return Fail(failure, FailureKind::NotThisFormat, "no file");
  PsdDocument document;
  const PsdDocumentReleaser releaser{&document};
  uint32_t channels = 0;
  const uint8_t* imageData = nullptr;
  if (ReadPsdDocument(&document, fileData, fileSize, &channels, &imageData, listing, failure) < 0) return false;
  BitmapSink target{&document, info, nullptr};
  if (!DecodeCompositeImage(&document, channels, fileData, fileSize, imageData, {BitmapSink::Take, &target},
                            failure)) {
    return false;  // the bitmap, if made, is deleted with `target`
  }
  *bitmap = target.bitmap.release();
  return true;
}

bool DecodePsd(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
               DecodeFailure* failure) {
  return DecodePsdWithListing(fileData, fileSize, bitmap, info, PsdListing{}, failure);
}

}  // namespace mirelth
