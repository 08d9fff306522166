// OpenEXR headers: the magic number and version field, then attributes (name, type name, size, value) up to an
// empty name; a multi-part file has one such header a part and an empty header after the last. The chunk offset
// tables follow the headers, one a part, each entry the 64-bit file offset of a chunk (a block of scanlines or a
// tile). Every value is little-endian. Names may be 255 bytes long (the version field's long-names flag); values
// are read through a slice of their own size, so no attribute can reach into the next.
#pragma once

#include <cstdint>

#include "io/buffers.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

enum class ExrCompression : uint8_t { kNone, kRle, kZips, kZip, kPiz, kPxr24, kB44, kB44a, kDwaa, kDwab, kCount };
enum class ExrPixelType : uint8_t { kUint = 0, kHalf = 1, kFloat = 2 };
enum class ExrLevelMode : uint8_t { kOne = 0, kMipmap = 1, kRipmap = 2 };

const char* ExrCompressionName(ExrCompression compression);  // "PIZ"
const char* ExrPixelTypeName(ExrPixelType type);             // "half"
inline uint32_t ExrPixelBytes(ExrPixelType type) { return type == ExrPixelType::kHalf ? 2 : 4; }
// Scanlines in one chunk of a scanline part.
int32_t ExrLinesPerChunk(ExrCompression compression);

struct ExrChannel {
  char name[256] = {};
  ExrPixelType type = ExrPixelType::kHalf;
  bool perceptuallyLinear = false;  // pLinear
  int32_t xSampling = 1, ySampling = 1;
};

struct ExrBox {
  int32_t xMin = 0, yMin = 0, xMax = -1, yMax = -1;
  int64_t width() const { return int64_t{xMax} - xMin + 1; }
  int64_t height() const { return int64_t{yMax} - yMin + 1; }
};

// The first part of a file: what drawing and describing it need.
struct ExrPart {
  Growable<ExrChannel> channels;  // sorted by name, as the file keeps them
  ExrCompression compression = ExrCompression::kNone;
  ExrBox dataWindow, displayWindow;
  uint8_t lineOrder = 0;  // 0 increasing y, 1 decreasing y, 2 random: chunks say their own position either way
  bool tiled = false;
  uint32_t tileWidth = 0, tileHeight = 0;
  ExrLevelMode levelMode = ExrLevelMode::kOne;
  bool roundUp = false;  // level sizes rounded up, not down
  bool multiPart = false;
  uint32_t parts = 1;
  // The chromaticities' luminance weights of R, G and B (Rec. ITU-R BT.709 unless the file says otherwise).
  double luminance[3] = {0.2126, 0.7152, 0.0722};
  bool hasChromaticities = false;
  uint64_t offsetTable = 0;  // file offset of the part's chunk offset table
  uint64_t chunkCount = 0;   // entries in it
  char type[32] = {};        // "scanlineimage", "tiledimage" (multi-part and deep files name it)
};

// Reads the header of the first part and places its offset table; false with the reason when the file is not
// OpenEXR, is deep, or its header is damaged. `*partKnown` says whether `part` holds the header's facts (a header
// read whole but refused later still describes the file).
[[nodiscard]] bool ReadExrHeader(ByteSource& source, ExrPart* part, bool* partKnown, DecodeFailure* failure);

// Level sizes of a tiled part: level `l` of an edge of `size` pixels.
int64_t ExrLevelSize(int64_t size, uint32_t level, bool roundUp);
// How many levels an edge (or the longer edge, for mipmaps) gives.
uint32_t ExrLevelCount(int64_t size, bool roundUp);

}  // namespace mirelth
