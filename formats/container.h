// What every container offers: one entry that reads its headers and tables through a source and hands back the
// located picture, ready to be drawn at full size or as a thumbnail. The table of containers
// (formats/containers.h) lists them.
#pragma once

#include <cstdint>

#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/facts.h"
#include "picture/picture.h"
#include "picture/texture.h"

namespace mirelth {

struct OpenOptions {
  // Where the file's facts go as the container learns them (picture/facts.h); nowhere when null.
  Facts* facts = nullptr;
  // Width x height above this is refused as too large: the full-size path passes the cap of its bitmap
  // (kMaxImagePixels); thumbnails allocate nothing the size of the image and pass no cap.
  uint64_t maxPixels = UINT64_MAX;
  // Which face or array layer a closer look draws (layer-major: layer * faces + face), where the container keeps
  // several; thumbnails draw surface 0. A container that has one surface, or does not reach them, draws surface 0.
  uint32_t surface = 0;
};

// The size check every container makes once it knows the picture's size.
[[nodiscard]] bool CheckPictureSize(int64_t width, int64_t height, const OpenOptions& options, DecodeFailure* failure);

using OpenFunction = bool (*)(ByteSource& source, const OpenOptions& options, PicturePtr* picture,
                              DecodeFailure* failure);

}  // namespace mirelth
