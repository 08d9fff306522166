// What every container offers: one entry that reads its headers and tables through a source and hands back the
// located picture, ready to be drawn at full size or as a thumbnail. The table of containers
// (formats/containers.h) lists them.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "pixels/byte_source.h"
#include "pixels/failure.h"
#include "pixels/source_image.h"

namespace mirelth {

// Where a document's layer listing goes: nowhere unless the caller asks (the command-line tool prints it).
struct LayerListing {
  void (*write)(void* context, const char* text) = nullptr;
  void* context = nullptr;
};

struct OpenOptions {
  LayerListing listing;
  // Width x height above this is refused as too large: the full-size path passes the cap of its bitmap
  // (kMaxImagePixels); thumbnails allocate nothing the size of the image and pass no cap.
  uint64_t maxPixels = UINT64_MAX;
};

// The size check every container makes once it knows the picture's size.
[[nodiscard]] bool CheckPictureSize(int64_t width, int64_t height, const OpenOptions& options, DecodeFailure* failure);

using OpenFunction = bool (*)(ByteSource& source, const OpenOptions& options, PicturePtr* picture,
                              DecodeFailure* failure);

// Formats one line into the listing (nothing when it goes nowhere).
void WriteListing(const LayerListing& listing, const char* format, ...) MIRELTH_PRINTF_FORMAT(2, 3);

}  // namespace mirelth
