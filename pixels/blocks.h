// Block-compressed encodings: one block-image walk and small pure block decoders of one signature.
// Every block covers 4x4 pixels; blocks are stored block row after block row from the top of the image,
// ceil(width/4) to a row, edge blocks stored whole. Decoders write BGRA pixels (0xAARRGGBB).
#pragma once

#include <cstdint>

namespace mirelth {

// Writes a block's 16 pixels as 4 rows of 4: row y at out + y * outPitch (outPitch may be negative).
using BlockDecoder = void (*)(uint8_t* out, intptr_t outPitch, const uint8_t* block);

// Walks ceil(width/4) x ceil(height/4) blocks from `source`: whole blocks decode straight into the
// destination, blocks cut by the right or bottom edge through a 64-byte scratch block. With `flip` the
// image's first row lands in the destination's last row.
void DecodeBlockImage(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t width,
                      int32_t height, bool flip, int32_t blockBytes, BlockDecoder decodeBlock);

// Moves every pixel's bytes from the source order's positions to the destination order's.
void ReorderChannels(uint8_t* destination, int32_t destinationPitch, int32_t width, int32_t height,
                     int32_t sourceOrder, int32_t destinationOrder);

// The 5-6-5 colour word widened to 8 bits a channel, alpha byte 0.
uint32_t Expand565(uint16_t word);
// Per channel (alpha included): first = (171 c0 + 85 c1) >> 8, second = (85 c0 + 171 c1) >> 8.
void InterpolateColors(uint32_t* first, uint32_t* second, uint32_t c0, uint32_t c1);
// Entries 2..7 of an eight-value alpha palette from entries 0 (a0) and 1 (a1): (6 a0 + a1) / 7 ... (a0 + 6 a1) / 7.
void BuildAlphaPalette8(uint8_t* palette);
// Entries 2..7 of a six-value alpha palette: (4 a0 + a1) / 5 ... (a0 + 4 a1) / 5, then 0 and 255.
void BuildAlphaPalette6(uint8_t* palette);
// The four colours of an ATC colour block.
void BuildATCPalette(uint16_t color0, uint16_t color1, uint32_t* palette);

void DecodeDXT1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeDXT3Block(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeDXT5Block(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeATCBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeATCABlock(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeATCIBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block);
void DecodeETC1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block);

// The block decoder of a block format code (8 to 14), or null.
BlockDecoder BlockDecoderFor(int32_t format);

// The block converters ConvertPixels selects for codes 8 to 14 (common converter signature).
void ConvertFromDXT1(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromDXT3(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromDXT5(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromATC(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromATCA(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromATCI(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);
void ConvertFromETC1(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t, bool);

}  // namespace mirelth
