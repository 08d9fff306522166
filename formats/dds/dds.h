// DDS (DirectDraw Surface) textures: a 128-byte header ("DDS " and 124 bytes), then the first level of the
// first surface. Plain layouts are recognised by their bit masks, block encodings by their FourCC. Only
// level 0 is drawn; a cube map draws its first face, whose level 0 also starts at byte 128.
#pragma once

#include <cstdint>

#include "pixels/failure.h"
#include "pixels/limits.h"
#include "pixels/source_image.h"
#include "platform/win32.h"

namespace mirelth {

inline constexpr uint32_t kDdsHeaderBytes = 128;

struct DdsTextureInfo {
  int32_t format = kNoPixelFormat;
  int32_t order = RGBA;
  uint8_t header[124] = {};     // file bytes 4..127
  const uint8_t* fileData = nullptr;
  const uint8_t* data = nullptr;  // fileData + 128
  int32_t levelCount = 0;
  bool isCubeMap = false;
  bool hasMipmaps = false;
  bool isCompressed = false;
  int32_t width = 0;
  int32_t height = 0;
  uint64_t levelBytes = 0;  // level 0, proved to lie inside the file
  uint64_t pitch = 0;       // plain formats: bytes per row of level 0
};

// Validates the header against the file and finds level 0. 0 when the file can be drawn, -1 otherwise
// (with the reason in `failure`).
// `maxPixels` caps width x height (the full-size path allocates a bitmap of that size; the sampled path does not).
int32_t ParseDdsHeader(DdsTextureInfo* info, const uint8_t* fileData, uint32_t fileSize, DecodeFailure* failure,
                       uint64_t maxPixels = kMaxImagePixels);

// The decoder GetThumbnail calls for ".dds": true with a new bitmap of the image's size in `bitmap` (the
// caller owns it), false with no bitmap.
bool DecodeDds(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
               DecodeFailure* failure);

// The thumbnail that fits cx by cx, decoding only the sampled pixels of level 0.
bool DrawDdsThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure);

// Level 0 as a SourceImage, after ParseDdsHeader accepted the file.
SourceImage DdsSourceImage(const DdsTextureInfo& info);

}  // namespace mirelth
