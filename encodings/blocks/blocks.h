// Block-compressed encodings: one block-image walk for any block size and small pure block decoders of one
// signature. Blocks are stored block row after block row from the top of the image, ceil(width / block width)
// to a row, edge blocks stored whole. Decoders write BGRA pixels (0xAARRGGBB).
#pragma once

#include <cstddef>
#include <cstdint>

#include "encodings/pixel_format.h"

namespace mirelth {

struct Encoding;

// The largest block any encoding has (ASTC 12x12).
inline constexpr int32_t kMaxBlockWidth = 12, kMaxBlockHeight = 12;

// What a block decoder needs besides the block's bytes: its footprint (one decoder serves every ASTC footprint)
// and, for encodings driven by codebooks, the tables a file carries, built once per file by its container.
struct BlockContext {
  int32_t blockWidth = 4, blockHeight = 4;
  const void* codebook = nullptr;
};

// Writes one block's tile: block-height rows of block-width pixels, row y at out + y * outPitch (outPitch may
// be negative).
using BlockDecoder = void (*)(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
// One pixel (x, y) of a block: the same value the tile decoder writes there. For encodings where a thumbnail
// samples fewer pixels of a block than decoding the tile would cost.
using TexelDecoder = uint32_t (*)(const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
// The linear float tile of a block of an HDR encoding (R, G, B, A floats a pixel, row y at out + y * outPitch
// floats), before any tone mapping: what the display decoder draws through F.
using FloatBlockDecoder = void (*)(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
// One pixel (x, y) of a block as four linear floats.
using FloatTexelDecoder = void (*)(float* out, const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
// Where a sampled pixel lies: its block's byte offset and its column in the block.
struct TexelSpot {
  size_t offset;
  int32_t x;
};
// Pixel row y of the blocks at `spots` (from `blocks`), `count` of them into out: what the texel decoder gives
// each, several at a time.
// Several pixels of one block at once, given as y x blockWidth + x each: the block's fields are read once, then only
// those pixels are decoded (out[i] is pixel texels[i]).
using TexelSetDecoder = void (*)(const uint8_t* block, const uint8_t* texels, int32_t count, uint32_t* out,
                                 const BlockContext& context);
using TexelRowDecoder = void (*)(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out,
                                 const BlockContext& context);
// `count` whole blocks of one block row, left to right: block i (at blocks + i x block bytes) as its tile at
// out + i x 4 x block width. The tile decoder's pixels, without a call through the table for every block.
using BlockRunDecoder = void (*)(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count,
                                 const BlockContext& context);

// Walks the blocks covering width x height pixels from `source` (block rows `sourcePitch` bytes apart, 0: tightly
// packed): whole blocks decode straight into the destination, blocks cut by the right or bottom edge through a
// scratch tile. With `flip` the image's first row lands in the destination's last row.
void DecodeBlockImage(uint8_t* destination, intptr_t destinationPitch, const uint8_t* source, intptr_t sourcePitch,
                      int32_t width, int32_t height, bool flip, const Encoding& encoding, const void* codebook);
// The context the table's row gives its decoders (its footprint), with a file's codebook.
BlockContext ContextOf(const Encoding& encoding, const void* codebook);

// Moves every pixel's bytes from the source order's positions to the destination order's.
void ReorderChannels(uint8_t* destination, intptr_t destinationPitch, int32_t width, int32_t height,
                     ChannelOrder sourceOrder, ChannelOrder destinationOrder);

// The 5-6-5 colour word widened to 8 bits a channel, alpha byte 0.
uint32_t Expand565(uint16_t word);
// Per channel (alpha included): first = (171 c0 + 85 c1) >> 8, second = (85 c0 + 171 c1) >> 8.
void InterpolateColors(uint32_t* first, uint32_t* second, uint32_t c0, uint32_t c1);
// Entries 2..7 of an eight-value alpha palette from entries 0 (a0) and 1 (a1): (6 a0 + a1) / 7 ... (a0 + 6 a1) / 7.
void BuildAlphaPalette8(uint8_t* palette);
// Entries 2..7 of a six-value alpha palette: (4 a0 + a1) / 5 ... (a0 + 4 a1) / 5, then 0 and 255.
void BuildAlphaPalette6(uint8_t* palette);
// Entries 2..7 of DXT5's and BC4's alpha palette from entries 0 and 1: eight values when a0 > a1, else six and 0, 255.
void BuildAlphaPalette(uint8_t* palette);
// The four colours of an ATC colour block.
void BuildATCPalette(uint16_t color0, uint16_t color1, uint32_t* palette);

void DecodeDXT1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeDXT3Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeDXT5Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeDXT1Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&);
void DecodeDXT3Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&);
void DecodeDXT5Run(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&);
void DecodeATCBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeATCABlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeATCIBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeETC1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
uint32_t DecodeETC1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
void DecodeRGBGBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeGRGBBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);

void DecodeBC4UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC4SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC5UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC5SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC6HUBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC6HSBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeBC7Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
uint32_t DecodeBC7Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
void DecodeETC2RGBBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeETC2RGBABlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeETC2RGBA1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeEACR11UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeEACR11SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeEACR11URun(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&);
void DecodeEACR11SRun(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&);
void DecodeEACRG11UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
void DecodeEACRG11SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&);
// ASTC 2D: LDR endpoints as UNORM8, HDR endpoints through F, illegal blocks opaque magenta.
void DecodeASTCBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
void DecodeASTCTexelSet(const uint8_t* block, const uint8_t* texels, int32_t count, uint32_t* out,
                        const BlockContext& context);
// ASTC's linear floats for HDR textures: HDR channels as their half floats, LDR channels as the floats F draws
// as their bytes.
void DecodeASTCFloatBlock(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
// ASTC's colour endpoint unquantization: `value` (trit or quint above its bits) of range 4-20 to 0..255.
uint8_t AstcUnquantizeColour(int32_t range, uint32_t value);
// ASTC's partition function: the partition of texel (x, y) for a partition index (seed) and count, in a block of
// `texels` texels (below 31 the coordinates are doubled).
int32_t AstcPartitionOf(uint32_t seed, int32_t partitions, int32_t x, int32_t y, int32_t texels);
// UASTC (Basis Universal's 4x4 LDR subset of ASTC in its own 128-bit layout), straight to RGBA8; a block of the
// reserved mode draws ASTC's error colour, magenta.
void DecodeUASTCBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
uint32_t DecodeUASTCTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
// Whether an ASTC block holds HDR values (an HDR endpoint mode or void extent): for containers that do not say.
bool AstcBlockHoldsHdr(const uint8_t* block, const BlockContext& context);
void DecodeBC6HUFloatBlock(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
void DecodeBC6HSFloatBlock(float* out, intptr_t outPitch, const uint8_t* block, const BlockContext& context);
void DecodeBC6HUFloatTexel(float* out, const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
void DecodeBC6HSFloatTexel(float* out, const uint8_t* block, int32_t x, int32_t y, const BlockContext& context);
// A BC6H block's 16 pixels as half floats (R, G, B), before F; false for a reserved mode.
bool DecodeBC6HHalves(const uint8_t* block, bool isSigned, uint16_t (&halves)[16][3]);

uint32_t DecodeDXT1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
void DecodeDXT1Texels(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out,
                      const BlockContext&);
uint32_t DecodeBC4UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeBC4STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeBC5UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeBC5STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeDXT5Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
void DecodeDXT5Texels(const uint8_t* blocks, const TexelSpot* spots, int32_t count, int32_t y, uint32_t* out,
                      const BlockContext&);
uint32_t DecodeETC2RGBTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeETC2RGBA1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeETC2RGBATexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeEACR11UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeEACR11STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeEACRG11UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);
uint32_t DecodeEACRG11STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&);

}  // namespace mirelth
