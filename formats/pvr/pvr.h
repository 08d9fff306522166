// PVR textures: the version-3 header (52 bytes, metadata, then the data) and the legacy header (44 or 52
// bytes, then the data). Only level 0 is drawn. Rows are stored top-down unless the legacy flip flag or the
// version-3 orientation metadata says bottom-up; orientation metadata can also say columns run right to left.
#pragma once

#include <cstdint>

#include "formats/pvr/pvr_format.h"
#include "pixels/failure.h"
#include "pixels/limits.h"
#include "pixels/source_image.h"
#include "platform/win32.h"

namespace mirelth {

inline constexpr uint32_t kPvrMinimumBytes = 52;
inline constexpr uint32_t kPvrV3Version = 0x03525650;  // "PVR" 3

struct PvrTextureInfo {
  int32_t format = kNoPixelFormat;
  int32_t order = -1;
  const uint8_t* data = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t levelCount = 0;
  bool isCubeMap = false;
  bool isCompressed = false;
  bool isFlipped = false;   // rows stored bottom-up
  bool isMirrored = false;  // columns stored right to left (version-3 orientation metadata)
  uint64_t pitch = 0;       // bytes from one row (of pixels, or of blocks) of level 0 to the next
  bool hasLevel0 = false;
  // Our additions: what the header said, and where the data starts, for validation and messages.
  PvrPixelFormat pixelFormat = 0;
  bool legacy = false;
  bool legacyUnmapped = false;
  uint8_t legacyPixelType = 0;
  uint64_t dataOffset = 0;
  uint64_t blockWidth = 1, blockHeight = 1;
};

bool ReadPvrLegacyHeader(PvrTextureInfo* info, const uint8_t* fileData, uint32_t fileSize);
bool ReadPvrV3Header(PvrTextureInfo* info, const uint8_t* fileData, uint32_t fileSize, DecodeFailure* failure);
void LayOutPvrLevels(PvrTextureInfo* info, PvrPixelFormat pixelFormat);

// Everything DecodePvr checks before it allocates: the header, the format we can draw, level 0 in the file.
// `maxPixels` caps width x height (the full-size path allocates a bitmap of that size; the sampled path does not).
bool ParsePvr(const uint8_t* fileData, uint32_t fileSize, PvrTextureInfo* info, SourceImage* image,
              DecodeFailure* failure, uint64_t maxPixels = kMaxImagePixels);

// The thumbnail that fits cx by cx, decoding only the sampled pixels of level 0.
bool DrawPvrThumbnail(const uint8_t* fileData, uint32_t fileSize, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure);

// The decoder GetThumbnail calls for ".pvr".
bool DecodePvr(const uint8_t* fileData, uint32_t fileSize, HBITMAP* bitmap, BITMAPINFO* info,
               DecodeFailure* failure);

}  // namespace mirelth
