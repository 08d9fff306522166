// DDS (DirectDraw Surface) textures: a 128-byte header ("DDS " and 124 bytes), then the levels of the first
// surface one after another (a cube map's first face, an array's first slice). Plain layouts are recognised by
// their bit masks, block encodings by their FourCC. Level 0 is drawn at full size; thumbnails draw from the
// smallest level that still covers them.
#pragma once

#include <cstdint>

#include "encodings/described.h"
#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/texture.h"

namespace mirelth {

inline constexpr uint32_t kDdsHeaderBytes = 128;

struct DdsTextureInfo {
  PixelFormat format = PixelFormat::kNone;
  ChannelOrder order = ChannelOrder::RGBA;
  PixelLayout layout;  // PixelFormat::kDescribed
  AlphaRule alpha = AlphaRule::kStraight;
  uint32_t levelCount = 0;
  uint32_t depth = 1;  // slices of a volume texture's level 0
  bool isCubeMap = false;
  bool hasMipmaps = false;
  bool isCompressed = false;
  int32_t width = 0;
  int32_t height = 0;
  uint64_t dataOffset = kDdsHeaderBytes;  // level 0
  uint32_t palette[256] = {};             // PixelFormat::PAL8: display values (0xAARRGGBB)
  // What describe says: the layout as the file names it, faces, array layers, and whether it says sRGB.
  char encodingName[64] = {};
  uint32_t faces = 1;
  uint32_t layers = 1;
  bool srgb = false;
};

// Validates the header, recognises the pixel layout and proves that level 0 lies in the source. False with the
// reason in `failure` when the file cannot be drawn.
[[nodiscard]] bool ParseDdsHeader(ByteSource& source, DdsTextureInfo* info, const OpenOptions& options,
                                  DecodeFailure* failure);

// The container entry: the texture's level chain as a picture.
[[nodiscard]] bool OpenDds(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
