// OpenEXR chunk decompression. A chunk unpacks to the layout every compression shares: for each line of the chunk,
// top first, each channel (in the channel list's order) that has samples on that line, its samples left to right,
// little-endian (half 2 bytes, float and uint 4). The compressions, from the OpenEXR file layout's descriptions:
//   RLE        runs of bytes (a signed count: negative, that many literal bytes; else count + 1 copies), then the
//              byte predictor and the split into even and odd bytes undone;
//   ZIPS, ZIP  zlib, then the same predictor and split (1 line or 16 a chunk);
//   PIZ        a bitmap of the 16-bit values used, a Huffman code of their compacted indices (run-length symbol
//              included), a 2D Haar-like wavelet per channel plane (14- or 16-bit), then the values looked up;
//   PXR24      zlib of per-line, per-channel byte planes of differences (float rounded to 24 bits);
//   B44, B44A  4 x 4 blocks of halves in 14 bytes (B44A: 3 bytes for a flat block); other types stored as they are;
//   DWAA, DWAB lossy DCT of colour channels, run-length and zlib parts (exr_dwa.h).
// A chunk whose packed size equals its unpacked size is stored as it is, whatever the compression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/exr/exr_header.h"
#include "io/buffers.h"
#include "io/failure.h"

namespace mirelth {

// One chunk's rectangle (absolute pixel coordinates, inclusive) and the part's channels.
struct ExrChunkShape {
  int32_t xMin = 0, yMin = 0, xMax = -1, yMax = -1;
  const ExrChannel* channels = nullptr;
  size_t channelCount = 0;
};

// a / b rounded down (b > 0; a may be negative).
inline int64_t ExrFloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
// Samples of a channel sampled every `s` pixels in [a, b] (the positions that are multiples of s).
int64_t ExrSampleCount(int32_t s, int32_t a, int32_t b);
// Whether a position (negative too) is a multiple of a sampling s >= 1: its remainder is 0 however it is rounded.
inline bool ExrSampledAt(int64_t position, int64_t s) { return position % s == 0; }
// Bytes of a chunk in the unpacked layout.
uint64_t ExrUnpackedBytes(const ExrChunkShape& shape);

// Decompresses chunks, keeping its working buffers from one chunk to the next.
class ExrDecompressor {
 public:
  // `packed` (`packedSize` bytes, as stored) into `out`, exactly `outSize` (= ExrUnpackedBytes) bytes.
  [[nodiscard]] bool Decompress(ExrCompression compression, const ExrChunkShape& shape, const uint8_t* packed,
                                size_t packedSize, uint8_t* out, size_t outSize, DecodeFailure* failure);

 private:
  bool Rle(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure);
  bool Zip(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure);
  bool Piz(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
           DecodeFailure* failure);
  bool Pxr24(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
             DecodeFailure* failure);
  bool B44(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
           DecodeFailure* failure);
  bool Dwa(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
           DecodeFailure* failure);

  // Bytes, and 16-bit words (PIZ's and B44's planes, PIZ's table of values), each grown as chunks need.
  uint16_t* Words(size_t count);
  ByteBuffer scratch_;
  std::unique_ptr<uint16_t[]> words_;
  size_t wordCapacity_ = 0;
};

// The planes of 16-bit words PIZ and B44 work on: each channel's lines of samples, one after another, in the
// channel list's order (a float or uint sample is two words, low first). Unpacks them into the chunk layout.
void ExrPlanesToChunk(const ExrChunkShape& shape, const uint16_t* planes, uint8_t* out);

// PIZ's Huffman code (also DWA's AC coefficients): `in` holds the code table and `nBits` bits of codes; decodes
// exactly `count` 16-bit values.
[[nodiscard]] bool ExrHuffmanDecode(const uint8_t* in, size_t inSize, uint16_t* out, size_t count,
                                    DecodeFailure* failure);

// Undoes ZIP's byte predictor and even/odd split in place (`scratch` holds `size` bytes).
void ExrUnpredict(uint8_t* data, size_t size, uint8_t* scratch);

}  // namespace mirelth
