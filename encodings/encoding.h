// The table of encodings: one row per PixelFormat code, the only place that says what a code is. Everything
// else (ConvertPixels, level sizes, the block walks, the sampled thumbnail path) looks its facts up here, and a
// compile-time check in encoding.cpp proves that every code has exactly one complete row.
#pragma once

#include <cstdint>

#include "encodings/blocks/blocks.h"
#include "encodings/convert.h"
#include "encodings/pixel_format.h"

namespace mirelth {

// How pixels of an encoding are reached.
enum class Walk : uint8_t {
  kNone,    // no pixels (code 0)
  kPixels,  // plain pixels: rows of whole bytes per pixel
  kBlocks,  // independent blocks of blockWidth x blockHeight pixels
  kPvrtc,   // PVRTC words: a pixel depends on its neighbouring words, stored in Morton order
};

// Whether decoded pixels can carry alpha: never, one bit (punch-through), any value, or as the described layout says.
enum class EncodingAlpha : uint8_t { kNone, kOneBit, kAlpha, kLayout };

struct Encoding {
  PixelFormat code;
  const char* name;
  Walk walk;
  uint8_t blockWidth;        // pixels across a block (1 for plain pixels)
  uint8_t blockHeight;       // pixels down a block (1 for plain pixels)
  uint8_t blockBytes;        // bytes a block (plain pixels: bytes a pixel; 0 for described layouts, whose layout says)
  bool usesOrder;            // the source's channel order applies to the decoded pixels
  EncodingAlpha alpha;       // what alpha the decoded pixels can have
  bool hdr;                  // values are linear light that may pass 1.0 (F sources); described layouts: their floats
  Converter convert;         // what ConvertPixels calls
  BlockDecoder decodeBlock;  // blocks: one tile
  TexelDecoder decodeTexel;  // blocks, optional: one pixel of a block
  TexelRowDecoder decodeTexels = nullptr;  // blocks with texels, optional: one pixel row of many blocks at once
  // HDR encodings (and described layouts, and ASTC when its blocks are HDR): linear floats, before tone mapping.
  FloatConverter convertFloat = nullptr;         // plain pixels
  FloatBlockDecoder decodeFloatBlock = nullptr;  // blocks
  FloatTexelDecoder decodeFloatTexel = nullptr;  // blocks, optional: one pixel of a block as floats
  TexelSetDecoder decodeTexelSet = nullptr;      // blocks, optional: the sampled pixels of one block at once
  BlockRunDecoder decodeBlockRun = nullptr;      // blocks, optional: whole blocks of one block row at once
};

// Whether a level of this encoding (and layout, for described ones) is drawn through the linear float path and
// the tone mapping: the encoding is HDR, a described layout has a float channel, or the container says the blocks
// of an encoding that may hold either (ASTC) are HDR (`hdrBlocks`).
bool IsHdrLevel(PixelFormat format, const PixelLayout* layout, bool hdrBlocks = false);

// The row of a code, or null for codes outside the table.
const Encoding* EncodingOf(PixelFormat format);

inline bool IsBlockFormat(PixelFormat format) {
  const Encoding* e = EncodingOf(format);
  return e && (e->walk == Walk::kBlocks || e->walk == Walk::kPvrtc);
}
// Bytes per block (block formats), 0 otherwise.
int32_t BlockBytes(PixelFormat format);
// Bits per pixel of plain formats with a fixed size, 0 otherwise.
int32_t BitsPerPixel(PixelFormat format);
const char* PixelFormatName(PixelFormat format);

// Bytes a level of this format and size occupies: pitch x height for plain formats (`bytesPerPixel` for
// described layouts), whole blocks for block formats (PVRTC: at least 2 x 2 words). `pitch` is the bytes of one
// row of pixels or of blocks. False when the format is unknown or the size does not fit in 64 bits.
bool LevelBytes(PixelFormat format, uint32_t bytesPerPixel, uint64_t width, uint64_t height, uint64_t* bytes,
                uint64_t* pitch);

}  // namespace mirelth
