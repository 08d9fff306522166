// PSD documents: a 26-byte big-endian header, three length-prefixed sections (colour mode data, image
// resources, layer and mask information) and the image data section holding the composite image as one plane
// per channel, raw or PackBits-compressed row by row. Only the composite is drawn; the layer records are walked
// for a diagnostic listing on standard output.
#pragma once

#include <cstdint>

#include "pixels/failure.h"
#include "pixels/limits.h"
#include "pixels/pixel_format.h"
#include "platform/win32.h"

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

struct PsdLayerRecord {
  int32_t top, left, bottom, right;
  uint32_t blendKey;  // first character in the most significant byte
  uint8_t opacity;
  uint8_t clipping;
  uint8_t flags;
  uint8_t maskFlags;
  int32_t channelCount;
  char* name;  // owned, zero-terminated; null without extra data
  int16_t channelId[4];
  uint32_t channelLength[4];
};

struct PsdDocument {
  int32_t format = A8R8G8B8;
  int32_t order = RGBA;
  uint8_t* pixels = nullptr;  // owned: one strip of the composite, `stripRows` rows of RGBA pixels
  int32_t stripRows = 0;
  uint16_t layerCount = 0;     // records in `layers` (up to 32768)
  int32_t width = 0;
  int32_t height = 0;
  PsdLayerRecord* layers = nullptr;  // owned
  // From the header and the colour mode data.
  uint16_t depth = 0;
  uint16_t mode = 0;
  const uint8_t* colorModeData = nullptr;  // into the file
  uint32_t colorModeDataLength = 0;
};

// Where the layer listing goes: standard output unless a test collects it.
struct PsdListing {
  void (*write)(void* context, const char* text) = nullptr;  // null: standard output
  void* context = nullptr;
};

// Reads the header and steps over the sections to the image data. Negative on failure (reason in `failure`).
// `maxPixels` caps width x height (the full-size path allocates a bitmap of that size; the sampled path does not).
int32_t ReadPsdDocument(PsdDocument* document, const uint8_t* fileData, uint32_t fileSize, uint32_t* channelCount,
                        const uint8_t** imageData, const PsdListing& listing, DecodeFailure* failure,
                        uint64_t maxPixels = kMaxImagePixels);
// Walks the layer records of the layer and mask information contents (`length` bytes), writing the listing.
// A record that would run past the contents ends the walk.
void ReadPsdLayers(PsdDocument* document, const uint8_t* contents, uint64_t length, const PsdListing& listing);
const char* BlendModeName(uint32_t blendKey);
// Frees everything the document owns; safe on a document never read or only partly read.
void ReleasePsdDocument(PsdDocument* document);
// Releases a document on every path out of a scope.
struct PsdDocumentReleaser {
  PsdDocument* document;
  ~PsdDocumentReleaser() { ReleasePsdDocument(document); }
};

// Unpacks one PackBits row into `outCount` bytes `outStride` apart. Output beyond `outCount` is dropped; a
// packet that runs past `inCount` uses only the bytes inside it. Returns the packed bytes consumed.
size_t UnpackBitsRow(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount, size_t outStride);
// One packed row into byte lane laneShift / 8 of `width` RGBA pixels.
size_t DecodePackBitsRow(uint8_t* rowPixels, const uint8_t* packed, size_t count, uint32_t laneShift, int32_t width);

// Receives the composite strip by strip: `rowCount` rows of RGBA pixels (width x 4 bytes apart, top row first)
// holding image rows firstRow .. firstRow + rowCount - 1. Returns false to stop (its reason in `failure`).
struct PsdStripSink {
  bool (*take)(void* context, const uint8_t* rows, int32_t firstRow, int32_t rowCount, DecodeFailure* failure);
  void* context;
};
// Proves the image data section (at `imageData`, inside the file) lies in the file, then decodes the composite
// into `document->pixels` a strip at a time, handing each strip to `sink`.
bool DecodeCompositeImage(PsdDocument* document, uint32_t channelCount, const uint8_t* fileData, uint32_t fileSize,
                          const uint8_t* imageData, const PsdStripSink& sink, DecodeFailure* failure);

// Unpacks one PackBits row and keeps only the bytes at `positions` (increasing): out[j] is unpacked byte
// positions[j], or 0 when the row does not reach it. Packets are read exactly as UnpackBitsRow reads them.
void UnpackBitsPick(const uint8_t* in, size_t inCount, const uint64_t* positions, size_t count, uint8_t* out);

// The thumbnail that fits cx by cx, decoding only the sampled rows of each plane and keeping only the
// sampled columns: the same pixels as the full decode followed by StretchNearest.
bool DrawPsdThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap,
                      const PsdListing& listing, DecodeFailure* failure);
// The same, with the layer listing on standard output.
bool DrawPsdThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure);

// The full-size decoder for ".psd".
bool DecodePsd(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
               DecodeFailure* failure);
bool DecodePsdWithListing(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
                          const PsdListing& listing, DecodeFailure* failure);

}  // namespace mirelth
