// PSD and PSB documents: a 26-byte big-endian header, three length-prefixed sections (colour mode data, image
// resources, layer and mask information) and the image data section holding the composite image as one plane
// per channel, raw, PackBits-compressed row by row, or zlib-compressed. Version 2 (PSB, the large-document
// format) widens the section, layer-info and channel-data lengths to 8 bytes and the packed-row byte counts
// to 4. The composite is drawn; when the document says it has no real composite (image resource 0x0421) or
// has no image data, the layers are flattened instead. The layer records are walked for a listing.
#pragma once

#include <cstdint>
#include <memory>

#include "formats/container.h"
#include "io/buffers.h"
#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/filter.h"

namespace mirelth {

inline constexpr uint32_t kPsdHeaderBytes = 26;

// Colour modes of the header.
enum PsdColorMode : uint16_t {
  kPsdBitmap = 0,
  kPsdGrayscale = 1,
  kPsdIndexed = 2,
  kPsdRgb = 3,
  kPsdCmyk = 4,
  kPsdMultichannel = 7,
  kPsdDuotone = 8,
  kPsdLab = 9,
};

// Compression of a plane or a layer channel.
enum PsdCompression : uint16_t { kPsdRaw = 0, kPsdPackBits = 1, kPsdZip = 2, kPsdZipPredicted = 3 };

struct PsdChannel {
  int16_t id = 0;       // 0.. colour channels, -1 transparency, -2 user mask, -3 real user mask
  uint64_t length = 0;  // the record's data length (compression word included)
  uint64_t offset = 0;  // where its data starts in the file
};

struct PsdLayer {
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  uint32_t blendKey = 0;  // first character in the most significant byte
  uint8_t opacity = 255;
  uint8_t clipping = 0;
  uint8_t flags = 0;
  uint32_t firstChannel = 0;  // index into PsdDocument::channels
  uint16_t channelCount = 0;
  // The user mask: its rectangle, the colour outside it and its flags (bit 1: disabled).
  bool hasMask = false;
  int32_t maskTop = 0, maskLeft = 0, maskBottom = 0, maskRight = 0;
  uint8_t maskDefault = 0;
  uint8_t maskFlags = 0;
  uint8_t fillOpacity = 255;     // "iOpa"
  uint32_t sectionType = 0;      // "lsct": 1/2 open/closed folder, 3 the marker that starts a group
  uint32_t sectionBlendKey = 0;  // "lsct" blend key, 0 when absent
};

struct PsdDocument {
  uint16_t version = 1;
  uint16_t channelCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t depth = 0;
  uint16_t mode = 0;
  uint8_t palette[768] = {};     // indexed colour: 256 red, 256 green, 256 blue
  bool hasRealComposite = true;  // image resource 0x0421
  // Image resource 0x041D (alpha identifiers): whether present, and its first identifier (0 names the
  // composite's transparency, which Photoshop then stores matted with white).
  bool hasAlphaIdentifiers = false;
  uint32_t firstAlphaIdentifier = 0;
  // Image resource 0x0417: the palette index drawn transparent (indexed colour), -1 when none.
  int32_t transparentIndex = -1;
  // Evidence of the composite's transparency in the layer section: a negative layer count (the first alpha
  // channel is the merged transparency) or a "Mt16" / "Mt32" / "Mtrn" block.
  bool negativeLayerCount = false;
  bool mergedTransparencyBlock = false;
  bool hasLayerRecords = false;  // the layer info (or "Lr16" / "Lr32") counts at least one layer
  uint64_t imageDataOffset = 0;  // the image data section
  uint64_t imageDataLength = 0;  // 0: absent or empty
  // Layers, bottom first, from the layer info or, for 16- and 32-bit documents, "Lr16" / "Lr32".
  Growable<PsdLayer> layers;
  Growable<PsdChannel> channels;
  bool layersComplete = false;  // every record and its channel data lie in the file
};

// How the composite's first channel after the mode's colour channels is read: as its transparency or not (then
// the extra channels are saved selections or spot channels and the composite is opaque), and whether its colour
// is matted with white.
struct PsdCompositeAlpha {
  bool transparency = false;
  bool matted = false;
};
PsdCompositeAlpha CompositeAlphaOf(const PsdDocument& document);

// Reads the header and the sections, the image resources and the layer records (listing them). False with the
// reason when the document cannot be drawn.
[[nodiscard]] bool ReadPsdDocument(ByteSource& source, PsdDocument* document, const OpenOptions& options,
                                   DecodeFailure* failure);
const char* BlendModeName(uint32_t blendKey);

// PackBits. Unpacks one row into `outCount` bytes `outStride` apart. Output beyond `outCount` is dropped; a
// packet that runs past `inCount` uses only the bytes inside it. Returns the packed bytes consumed.
size_t UnpackBitsRow(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount, size_t outStride);
// Unpacks one row and keeps only the bytes at `positions` (increasing): out[j] is unpacked byte positions[j],
// or 0 when the row does not reach it. Packets are read exactly as UnpackBitsRow reads them.
void UnpackBitsPick(const uint8_t* in, size_t inCount, const uint64_t* positions, size_t count, uint8_t* out);

// The container entry for ".psd" and ".psb".
[[nodiscard]] bool OpenPsd(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
