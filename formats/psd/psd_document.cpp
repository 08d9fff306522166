// PSD document reader: header, the section walk, the image resources and the layer records with their listing.
// Every section length and record field is proved to lie inside the file (or its section) before it is read.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "formats/psd/psd.h"
#include "io/byte_reader.h"
#include "io/limits.h"
#include "io/slice.h"

namespace mirelth {
namespace {

// Header offsets.
constexpr uint32_t kOffsetVersion = 4, kOffsetChannels = 12, kOffsetHeight = 14, kOffsetWidth = 18;
constexpr uint32_t kOffsetDepth = 22, kOffsetMode = 24;
// PSD documents are at most 30,000 pixels a side, PSB documents 300,000.
constexpr int64_t kMaxPsdEdge = 30000, kMaxPsbEdge = 300000;
// Image resource 0x0421, version info: a 4-byte version, then hasRealMergedData.
constexpr uint16_t kResourceVersionInfo = 0x0421;
// Image resource 0x041D, alpha identifiers: 4 bytes an extra channel.
constexpr uint16_t kResourceAlphaIdentifiers = 0x041D;
// Image resource 0x0417, transparency index: 2 bytes.
constexpr uint16_t kResourceTransparencyIndex = 0x0417;

constexpr uint32_t Key(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
         uint32_t(uint8_t(text[3]));
}
struct BlendRow {
  uint32_t key;
  const char* name;
};
constexpr BlendRow kBlendModes[] = {
    {Key("norm"), "Normal"},     {Key("dark"), "Darken"},     {Key("lite"), "Lighten"},    {Key("hue "), "Hue"},
    {Key("sat "), "Saturation"}, {Key("colr"), "Color"},      {Key("lum "), "Luminosity"}, {Key("mul "), "Multiply"},
    {Key("scrn"), "Screen"},     {Key("diss"), "Dissolve"},   {Key("over"), "Overlay"},    {Key("hLit"), "Hardlight"},
    {Key("sLit"), "Softlight"},  {Key("diff"), "Difference"},
};

// Keys whose additional-info length is 8 bytes in PSB documents.
constexpr uint32_t kWideKeys[] = {Key("LMsk"), Key("Lr16"), Key("Lr32"), Key("Layr"), Key("Mt16"),
                                  Key("Mt32"), Key("Mtrn"), Key("Alph"), Key("FMsk"), Key("lnk2"),
                                  Key("FEid"), Key("FXid"), Key("PxSD")};

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

// A section of the document: a bounded slice (running out ends the walk, false, without a failure of the
// document) whose lengths are 8 bytes wide in PSB documents for some keys; PSD reads big-endian.
class Region : public ByteSlice {
 public:
  Region(ByteSource& source, uint64_t start, uint64_t length, bool psb) : ByteSlice(source, start, length), psb_(psb) {}
  bool psb() const { return psb_; }
  bool U16(uint64_t at, uint16_t* out) const { return U16BE(at, out); }
  bool U32(uint64_t at, uint32_t* out) const { return U32BE(at, out); }
  bool U64(uint64_t at, uint64_t* out) const { return U64BE(at, out); }
  // A length of 4 bytes, or 8 in PSB documents when `wide`.
  bool Length(uint64_t at, bool wide, uint64_t* out, uint64_t* size) const {
    *size = wide && psb_ ? 8 : 4;
    if (*size == 8) return U64(at, out);
    uint32_t v = 0;
    if (!U32(at, &v)) return false;
    *out = v;
    return true;
  }

 private:
  bool psb_;
};

// The layer listing, when someone asks for it.
struct Listing {
  TextBuffer* to;
  void Printf(const char* format, ...) const MIRELTH_PRINTF_FORMAT(2, 3) {
    if (!to) return;
    va_list args;
    va_start(args, format);
    to->VPrintf(format, args);
    va_end(args);
  }
};

bool IsWideKey(uint32_t key) {
  for (uint32_t wide : kWideKeys) {
    if (wide == key) return true;
  }
  return false;
}

// The layer's additional information blocks between `at` and `end`: fill opacity and section divider.
void ReadLayerAdditions(Region& region, uint64_t at, uint64_t end, PsdLayer* layer) {
  while (end >= at && end - at >= 12) {
    uint32_t signature = 0, key = 0;
    uint64_t length = 0, lengthSize = 0;
    if (!region.U32(at, &signature) || !region.U32(at + 4, &key)) return;
    if (signature != Key("8BIM") && signature != Key("8B64")) return;
    if (!region.Length(at + 8, IsWideKey(key), &length, &lengthSize)) return;
    const uint64_t data = at + 8 + lengthSize;
    if (data > end || length > end - data) return;
    if (key == Key("iOpa") && length >= 1) {
      region.U8(data, &layer->fillOpacity);
    } else if (key == Key("lsct") && length >= 4) {
      region.U32(data, &layer->sectionType);
      uint32_t blendSignature = 0;
      if (length >= 12 && region.U32(data + 4, &blendSignature) && blendSignature == Key("8BIM")) {
        region.U32(data + 8, &layer->sectionBlendKey);
      }
    }
    at = data + length;
  }
}

// Walks the layer info at `at` (count, then records, then channel data) inside `region`, listing the records
// when `listing` is given. Fills the document's layers and channels; `complete` says every record and its
// channel data were read.
void ReadLayerInfo(Region& region, uint64_t at, PsdDocument* document, TextBuffer* listing) {
  document->layers.Clear();
  document->channels.Clear();
  document->layersComplete = false;
  const Listing out{listing};
  uint16_t storedCount = 0;
  if (!region.U16(at, &storedCount)) return;
  const int32_t signedCount = static_cast<int16_t>(storedCount);
  const uint32_t count = static_cast<uint32_t>(signedCount < 0 ? -signedCount : signedCount);
  if (signedCount < 0) document->negativeLayerCount = true;
  if (count > 0) document->hasLayerRecords = true;
  out.Printf("LayerCount=%d\n", static_cast<int>(count));
  const bool psb = region.psb();
  const uint64_t channelEntry = psb ? 10 : 6;
  at += 2;
  for (uint32_t i = 0; i < count; ++i) {
    PsdLayer layer;
    uint32_t rect[4];
    for (int k = 0; k < 4; ++k) {
      if (!region.U32(at + 4 * k, &rect[k])) return;
    }
    layer.top = static_cast<int32_t>(rect[0]);
    layer.left = static_cast<int32_t>(rect[1]);
    layer.bottom = static_cast<int32_t>(rect[2]);
    layer.right = static_cast<int32_t>(rect[3]);
    out.Printf("  (%2d) LayerPos=(%d,%d)-(%d,%d)\n", static_cast<int>(i), layer.left, layer.top, layer.right,
               layer.bottom);
    uint16_t channels = 0;
    if (!region.U16(at + 16, &channels)) return;
    const uint64_t entries = at + 18;
    if (!region.Has(entries, uint64_t{channels} * channelEntry + 4)) return;  // the entries and the signature
    layer.firstChannel = static_cast<uint32_t>(document->channels.size());
    layer.channelCount = channels;
    for (uint32_t c = 0; c < channels; ++c) {
      PsdChannel channel;
      uint16_t id = 0;
      region.U16(entries + channelEntry * c, &id);
      if (psb) {
        region.U64(entries + channelEntry * c + 2, &channel.length);
      } else {
        uint32_t length = 0;
        region.U32(entries + channelEntry * c + 2, &length);
        channel.length = length;
      }
      channel.id = static_cast<int16_t>(id);
      if (!document->channels.Push(channel)) return;
      out.Printf("     > channelID:%d  DataSize:%llu\n", static_cast<int>(channel.id),
                 static_cast<unsigned long long>(channel.length));
    }
    const uint64_t blend = entries + uint64_t{channels} * channelEntry;
    uint32_t signature = 0, extraLength = 0;
    region.U32(blend, &signature);
    if (signature != Key("8BIM")) return;
    if (!region.U32(blend + 4, &layer.blendKey) || !region.U8(blend + 8, &layer.opacity) ||
        !region.U8(blend + 9, &layer.clipping) || !region.U8(blend + 10, &layer.flags) ||
        !region.U32(blend + 12, &extraLength)) {
      return;
    }
    const uint8_t flags = layer.flags;
    out.Printf("    BlendKey: %s\n", BlendModeName(layer.blendKey));
    out.Printf("    Opacity: %u\n", static_cast<unsigned>(layer.opacity));
    out.Printf("    Clipping: %s\n", layer.clipping == 0 ? "base" : "non-base");
    out.Printf("    LayerFlag: %02X\n", static_cast<unsigned>(flags));
    out.Printf("     > %s\n", (flags & 0x01) ? "NolockAlpha" : "LockAlpha");
    out.Printf("     > %s\n", (flags & 0x02) ? "Hide" : "Visible");
    out.Printf("     > %s\n", (flags & 0x08) ? "Photoshop5later" : "Photoshop5before");
    out.Printf("     > %s\n", (flags & 0x10) ? "LayerSet" : "NoLayerSet");

    const uint64_t extra = blend + 16;
    if (!region.Has(extra, extraLength)) return;  // the record would run past the section
    const uint64_t extraEnd = extra + extraLength;
    if (extraLength != 0) {
      uint32_t maskLength = 0;
      if (!region.U32(extra, &maskLength) || extraLength - 4 < maskLength) return;
      if (maskLength != 0) {
        uint8_t maskFlags = 0;
        if (maskLength >= 18) region.U8(extra + 4 + 17, &maskFlags);  // a mask shorter than 18 bytes has no flags
        layer.maskFlags = maskFlags;
        out.Printf("    Flags: %02X\n", static_cast<unsigned>(maskFlags));
        out.Printf("    > %s\n", (maskFlags & 0x01) ? "PositionRelative to layer" : "");
        out.Printf("    > %s\n", (maskFlags & 0x02) ? "DisableLayerMask" : "EnableLayerMask");
        out.Printf("    > %s\n", (maskFlags & 0x04) ? "invert layer mask when blending" : "");
        if (maskLength >= 18) {
          uint32_t maskRect[4];
          for (int k = 0; k < 4; ++k) region.U32(extra + 4 + 4 * k, &maskRect[k]);
          layer.hasMask = true;
          layer.maskTop = static_cast<int32_t>(maskRect[0]);
          layer.maskLeft = static_cast<int32_t>(maskRect[1]);
          layer.maskBottom = static_cast<int32_t>(maskRect[2]);
          layer.maskRight = static_cast<int32_t>(maskRect[3]);
          region.U8(extra + 4 + 16, &layer.maskDefault);
        }
      }
      const uint64_t ranges = extra + 4 + uint64_t{maskLength};
      uint32_t rangesLength = 0;
      uint8_t nameLength = 0;
      if (!region.U32(ranges, &rangesLength) || !region.U8(ranges + 4 + uint64_t{rangesLength}, &nameLength) ||
          !region.Has(ranges + 5 + uint64_t{rangesLength}, nameLength) ||
          ranges + 5 + uint64_t{rangesLength} + nameLength > extraEnd) {
        return;
      }
      char name[256] = {};
      region.Bytes(ranges + 5 + uint64_t{rangesLength}, name, nameLength);
      out.Printf("    Name: %s\n", name);
      // The name is padded to a multiple of 4 bytes, its length byte included; additional information follows.
      const uint64_t additions = ranges + 4 + uint64_t{rangesLength} + ((uint64_t{nameLength} + 1 + 3) & ~uint64_t{3});
      ReadLayerAdditions(region, additions, extraEnd, &layer);
    }
    if (!document->layers.Push(layer)) return;
    at = extraEnd;
  }
  // The channel data follows the records, layer after layer, channel after channel.
  for (size_t c = 0; c < document->channels.size(); ++c) {
    PsdChannel& channel = document->channels[c];
    if (!region.Has(at, channel.length)) return;
    channel.offset = at;
    at += channel.length;
  }
  document->layersComplete = true;
}

// The layer-and-mask section: the layer info, the global layer mask info, and the additional information
// (where 16- and 32-bit documents may keep their layers in "Lr16" / "Lr32").
void ReadLayerSection(ByteSource& source, uint64_t start, uint64_t length, bool psb, PsdDocument* document,
                      TextBuffer* listing) {
  Region section(source, start, length, psb);
  uint64_t infoLength = 0, lengthSize = 0;
  if (!section.Length(start, true, &infoLength, &lengthSize)) return;
  const uint64_t info = start + lengthSize;
  const bool sized = infoLength != 0 && section.Has(info, infoLength);
  // The listing walks the records whatever the layer info's length says (within the section); only a layer
  // info of a sound, non-zero length gives layers to draw.
  Region records(source, info, sized ? infoLength : section.end() - info, psb);
  ReadLayerInfo(records, info, document, listing);
  if (!sized) {
    document->layers.Clear();
    document->channels.Clear();
    document->layersComplete = false;
    document->negativeLayerCount = false;  // what the walk read there was no layer count
    document->hasLayerRecords = false;
    if (infoLength != 0) return;
  }
  // Global layer mask info, then the additional information blocks.
  uint64_t at = info + infoLength;
  uint32_t globalLength = 0;
  if (!section.U32(at, &globalLength) || !section.Has(at + 4, globalLength)) return;
  at += 4 + uint64_t{globalLength};
  while (section.end() >= at && section.end() - at >= 12) {
    uint32_t signature = 0, key = 0;
    uint64_t blockLength = 0;
    if (!section.U32(at, &signature) || !section.U32(at + 4, &key)) return;
    if (signature != Key("8BIM") && signature != Key("8B64")) return;
    if (!section.Length(at + 8, IsWideKey(key), &blockLength, &lengthSize)) return;
    const uint64_t data = at + 8 + lengthSize;
    if (!section.Has(data, blockLength)) return;
    if (key == Key("Mt16") || key == Key("Mt32") || key == Key("Mtrn")) document->mergedTransparencyBlock = true;
    const bool deep = (key == Key("Lr16") && document->depth == 16) || (key == Key("Lr32") && document->depth == 32);
    if (deep && document->layers.size() == 0) {
      Region deepRecords(source, data, blockLength, psb);
      ReadLayerInfo(deepRecords, data, document, nullptr);
    }
    at = data + blockLength;
  }
}

// Image resources: finds 0x0421 (version info) and reads hasRealMergedData.
void ReadImageResources(ByteSource& source, uint64_t start, uint64_t length, PsdDocument* document) {
  Region section(source, start, length, false);
  uint64_t at = start;
  while (section.end() - at >= 12) {
    uint32_t signature = 0;
    uint16_t id = 0;
    uint8_t nameLength = 0;
    if (!section.U32(at, &signature) || signature != Key("8BIM") || !section.U16(at + 4, &id) ||
        !section.U8(at + 6, &nameLength)) {
      return;
    }
    const uint64_t sizeAt = at + 6 + ((uint64_t{nameLength} + 2) & ~uint64_t{1});  // name padded to even
    uint32_t size = 0;
    if (!section.U32(sizeAt, &size) || !section.Has(sizeAt + 4, size)) return;
    if (id == kResourceVersionInfo && size >= 5) {
      uint8_t merged = 1;
      section.U8(sizeAt + 4 + 4, &merged);
      document->hasRealComposite = merged != 0;
    }
    if (id == kResourceAlphaIdentifiers && size >= 4 && section.U32(sizeAt + 4, &document->firstAlphaIdentifier)) {
      document->hasAlphaIdentifiers = true;
    }
    uint16_t index = 0;
    if (id == kResourceTransparencyIndex && size >= 2 && section.U16(sizeAt + 4, &index) && index < 256) {
      document->transparentIndex = index;
    }
    at = sizeAt + 4 + ((uint64_t{size} + 1) & ~uint64_t{1});
    if (at > section.end()) return;
  }
}

}  // namespace

PsdCompositeAlpha CompositeAlphaOf(const PsdDocument& document) {
  // Photoshop and Affinity name the transparency through the alpha identifiers (0) and matte its colour with
  // white; other writers leave evidence in the layer section and store straight colour; a document with no
  // evidence of either kind and no layers keeps its first extra channel as transparency.
  if (document.hasAlphaIdentifiers) {
    const bool named = document.firstAlphaIdentifier == 0;
    return {named, named};
  }
  if (document.negativeLayerCount || document.mergedTransparencyBlock) return {true, false};
  return {!document.hasLayerRecords, false};
}

const char* BlendModeName(uint32_t blendKey) {
  for (const BlendRow& row : kBlendModes) {
    if (row.key == blendKey) return row.name;
  }
  return "Unknown";
}

bool ReadPsdDocument(ByteSource& source, PsdDocument* document, const OpenOptions& options, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kPsdHeaderBytes] = {};
  static constexpr uint8_t kSignature[4] = {'8', 'B', 'P', 'S'};
  const size_t signatureBytes = static_cast<size_t>(size < 4 ? size : 4);
  if (!source.Read(0, header, signatureBytes, failure)) return false;
  if (size == 0 || std::memcmp(header, kSignature, signatureBytes) != 0) {
    return Fail(failure, FailureKind::NotThisFormat, "not a PSD file (no \"8BPS\" signature)");
  }
  if (size < kPsdHeaderBytes) return FailTruncated(failure, size, kPsdHeaderBytes, "the PSD header");
  if (!source.Read(0, header, kPsdHeaderBytes, failure)) return false;
  const uint16_t version = ByteReader::U16BENoBoundsCheck(header + kOffsetVersion);
  const uint16_t channels = ByteReader::U16BENoBoundsCheck(header + kOffsetChannels);
  const uint32_t height = ByteReader::U32BENoBoundsCheck(header + kOffsetHeight);
  const uint32_t width = ByteReader::U32BENoBoundsCheck(header + kOffsetWidth);
  const uint16_t depth = ByteReader::U16BENoBoundsCheck(header + kOffsetDepth);
  const uint16_t mode = ByteReader::U16BENoBoundsCheck(header + kOffsetMode);
  if (version != 1 && version != 2) return Fail(failure, FailureKind::Unsupported, "PSD version %u", version);
  const bool psb = version == 2;
  if (channels == 0) return Fail(failure, FailureKind::InvalidHeader, "no channels");
  const auto signedWidth = static_cast<int32_t>(width), signedHeight = static_cast<int32_t>(height);
  if (!CheckPictureSize(signedWidth, signedHeight, options, failure)) return false;
  // The format's own limits hold on every path (a thumbnail allocates by the picture's size too).
  if (psb && (signedWidth > kMaxPsbEdge || signedHeight > kMaxPsbEdge)) {
    return Fail(failure, FailureKind::InvalidHeader, "PSB size %u x %u (at most 300000 a side)", width, height);
  }
  if (!psb && (signedWidth > kMaxPsdEdge || signedHeight > kMaxPsdEdge)) {
    return Fail(failure, FailureKind::InvalidHeader, "PSD size %u x %u (at most 30000 a side)", width, height);
  }
  if (!DrawableModeAndDepth(mode, depth)) {
    return Fail(failure, FailureKind::Unsupported, "PSD colour mode %u at %u bits per channel", mode, depth);
  }
  document->version = version;
  document->channelCount = channels;
  document->width = signedWidth;
  document->height = signedHeight;
  document->depth = depth;
  document->mode = mode;

  // Colour mode data, image resources, layer and mask information: each a length and its bytes (the layer
  // and mask information's length is 8 bytes in PSB documents).
  uint64_t at = kPsdHeaderBytes;
  static constexpr const char* kSections[3] = {"the colour mode data", "the image resources",
                                               "the layer and mask information"};
  for (int section = 0; section < 3; ++section) {
    uint64_t length = 0;
    const uint64_t lengthSize = section == 2 && psb ? 8 : 4;
    if (!source.Has(at, lengthSize)) return FailTruncated(failure, size, at + lengthSize, kSections[section]);
    if (lengthSize == 8) {
      if (!source.U64BE(at, &length, failure)) return false;
    } else {
      uint32_t length32 = 0;
      if (!source.U32BE(at, &length32, failure)) return false;
      length = length32;
    }
    at += lengthSize;
    if (!source.Has(at, length)) {
      uint64_t want = 0;
      if (!CheckedAdd(at, length, &want)) want = UINT64_MAX;
      return FailTruncated(failure, size, want, kSections[section]);
    }
    if (section == 0 && mode == kPsdIndexed) {
      if (length < 768) {
        return Fail(failure, FailureKind::InvalidHeader, "indexed colour with a palette of %llu bytes (768 needed)",
                    static_cast<unsigned long long>(length));
      }
      if (!source.Read(at, document->palette, 768, failure)) return false;
    }
    if (section == 1) ReadImageResources(source, at, length, document);
    if (section == 2 && length != 0) {
      ReadLayerSection(source, at, length, psb, document, options.facts ? &options.facts->listing : nullptr);
    }
    at += length;
  }
  document->imageDataOffset = at;
  document->imageDataLength = size - at;
  return true;
}

}  // namespace mirelth
