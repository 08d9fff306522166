// What KTX 1 and KTX 2 share: the key/value data's "KTXorientation", and levels whose drawn bytes are not the
// stored ones (supercompressed KTX 2 levels inflated with Zstandard or zlib; big-endian KTX 1 levels of 16- and
// 32-bit values put in little-endian order).
#pragma once

#include <cstdint>
#include <memory>

#include "formats/container.h"
#include "formats/ktx/ktx_formats.h"
#include "io/failure.h"
#include "io/slice.h"
#include "picture/texture.h"

namespace mirelth {

// How rows and columns are stored, from "KTXorientation" ("S=r,T=d" in KTX 1, "rd" in KTX 2): T=u stores rows
// bottom-up, S=l columns right to left. `text` is the value as found (empty without the key).
struct KtxOrientation {
  bool bottomUp = false;
  bool rightToLeft = false;
  char text[16] = {};
};
// Walks the key/value data (entries of a 4-byte length in the file's byte order, key NUL value, padded to 4
// bytes); false with a reason when an entry runs past the data.
[[nodiscard]] bool ReadKtxOrientation(const ByteSlice& data, bool bigEndian, KtxOrientation* orientation,
                                      DecodeFailure* failure);

// The sizes both versions check: a width, faces 1 or 6, a level count the size allows; `what` is "KTX 1" or "KTX 2".
// Heights and depths of 0 (1D and 2D textures) count as 1.
[[nodiscard]] bool CheckKtxShape(const char* what, uint32_t width, uint32_t height, uint32_t depth, uint32_t faces,
                                 uint32_t levels, DecodeFailure* failure);
// What the drawing of a format asks besides: a size the picture allows, power-of-two sides for PVRTC.
[[nodiscard]] bool CheckKtxDrawing(const char* what, const KtxFormat& format, uint32_t width, uint32_t height,
                                   const OpenOptions& options, DecodeFailure* failure);
// The levels' drawing: the format's encoding, order and layout, the orientation, BC1 RGB's missing alpha.
SourceImage KtxDrawing(ByteSource& source, const KtxFormat& format, const KtxOrientation& orientation);

// A level's bytes as stored in the file.
struct StoredLevel {
  uint64_t offset = 0;
  uint64_t length = 0;    // stored bytes
  uint64_t inflated = 0;  // bytes once inflated (supercompressed levels)
  uint64_t skip = 0;      // bytes of the inflated level before the drawn surface
  uint64_t pitch = 0;     // byte-swapped levels: the stored row pitch
  uint32_t rows = 0;      // byte-swapped levels: rows of the first image
  uint64_t rowBytes = 0;  // byte-swapped levels: bytes of a row's pixels
};
enum class LevelTransform : uint8_t { kZstd, kZlib, kSwap16, kSwap32 };
// The picture's source of derived levels: chain level i is `levels[i]` transformed. Inflated levels are capped at
// kMaxInflatedBytes; the last level derived is kept while the picture lives.
std::unique_ptr<DerivedLevels> MakeKtxDerivedLevels(ByteSource& source, LevelTransform transform,
                                                    const StoredLevel* levels, int32_t count);

}  // namespace mirelth
