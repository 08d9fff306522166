// PVR textures: the version-3 header (52 bytes, metadata, then the data) and the legacy header (44 or 52
// bytes, then the data). Rows are stored top-down unless the legacy flip flag or the version-3 orientation
// metadata says bottom-up; orientation metadata can also say columns run right to left. Version 3 stores each
// level for every surface, face and slice before the next level; legacy files store each face's whole chain
// before the next face.
#pragma once

#include <cstdint>

#include "formats/container.h"
#include "formats/pvr/pvr_format.h"
#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/texture.h"

namespace mirelth {

inline constexpr uint32_t kPvrMinimumBytes = 52;
inline constexpr uint32_t kPvrV3Version = 0x03525650;  // "PVR" 3

struct PvrTextureInfo {
  PvrPixelFormat pixelFormat = 0;
  uint32_t channelType = 0;
  uint32_t flags = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t depth = 1;
  uint64_t copies = 1;  // surfaces x faces stored before the next level (version 3)
  uint32_t levelCount = 0;
  bool isCubeMap = false;
  bool isFlipped = false;   // rows stored bottom-up
  bool isMirrored = false;  // columns stored right to left (version-3 orientation metadata)
  bool premultiplied = false;
  bool legacy = false;
  bool legacyUnmapped = false;
  uint8_t legacyPixelType = 0;
  uint64_t dataOffset = 0;
  PvrDrawing drawing;
  // What describe says besides the drawing.
  uint32_t faces = 1, surfaces = 1;
  uint32_t colourSpace = 0;  // version 3: 0 linear, 1 sRGB
};

// Reads either header, the format and its drawing, and proves that level 0 lies in the source. False with the
// reason when the file cannot be drawn.
[[nodiscard]] bool ParsePvr(ByteSource& source, PvrTextureInfo* info, const OpenOptions& options,
                            DecodeFailure* failure);

// The container entry: the texture's level chain as a picture.
[[nodiscard]] bool OpenPvr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
