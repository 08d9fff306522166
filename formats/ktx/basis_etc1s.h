// BasisLZ / ETC1S, KTX 2 supercompression scheme 1: the global data (endpoint and selector codebooks, the slices'
// Huffman tables, one description per image), and the slices, decoded in sequence into ETC1 blocks that share one
// base colour and intensity table (ETC1S), then drawn by the ETC1 decoder. An RGBA file has a second slice per
// image whose green is the alpha channel.
#pragma once

#include <cstdint>
#include <memory>

#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/texture.h"

namespace mirelth {

struct Etc1sGlobal;
struct Etc1sGlobalDeleter {
  void operator()(Etc1sGlobal* global) const;
};
using Etc1sGlobalPtr = std::unique_ptr<Etc1sGlobal, Etc1sGlobalDeleter>;

// Reads and decodes the global data at [offset, offset + length) for `imageCount` images: the codebooks are
// built once per file, bounded by the header's counts.
[[nodiscard]] bool ReadEtc1sGlobal(ByteSource& source, uint64_t offset, uint64_t length, uint32_t imageCount,
                                   Etc1sGlobalPtr* global, DecodeFailure* failure);

// What describe says of it: "ETC1S (BasisLZ)", codebook sizes, RGB or RGBA.
uint32_t Etc1sEndpointCount(const Etc1sGlobal& global);
uint32_t Etc1sSelectorCount(const Etc1sGlobal& global);
bool Etc1sHasAlpha(const Etc1sGlobal& global);

// One image's slices: where in its level they lie.
struct Etc1sImage {
  uint64_t levelOffset = 0;  // the level's first byte in the file
  uint64_t levelLength = 0;
  uint32_t index = 0;  // the image's description in the global data
  int32_t width = 0, height = 0;
};

// The picture's derived levels: chain level i is `images[i]` decoded to 32-bit BGRA pixels (colour from the RGB
// slice, alpha from the alpha slice's green). Takes the global data over.
std::unique_ptr<DerivedLevels> MakeEtc1sLevels(ByteSource& source, Etc1sGlobalPtr global, const Etc1sImage* images,
                                               int32_t count);

// Decodes one slice of blocksX x blocksY blocks into ETC1 blocks (8 bytes each, row by row): for the tests.
[[nodiscard]] bool DecodeEtc1sSlice(const Etc1sGlobal& global, const uint8_t* data, size_t size, uint32_t blocksX,
                                    uint32_t blocksY, uint8_t* blocks, DecodeFailure* failure);

}  // namespace mirelth
