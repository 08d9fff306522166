// One OpenEXR chunk decompressor on its own (built once per compression: MIRELTH_FUZZ_EXR_COMPRESSION is kRle,
// kPiz or kDwaa; the DWA target takes DWAA or DWAB from the input). The first bytes give the chunk's shape: 1-4
// channels, each with a name OpenEXR's lossy schemes look at (R, G, B, A, Y, RY, BY, Z), a pixel type, a sampling
// and a perceptually-linear flag, then its rectangle (a corner from -4 to 3, up to 256 columns and up to the
// compression's lines a chunk); the rest is the packed chunk, unpacked into a buffer of exactly the size the
// shape needs. Every input is decompressed twice by one decompressor, which must give the same bytes (its working
// buffers carry nothing over). fuzz/exr_chunk_seeds.py makes seeds of real files' chunks.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "formats/exr/exr_codecs.h"
#include "fuzz/fuzz_target.h"

namespace {

using mirelth::ExrCompression;

constexpr size_t kShapeBytes = 1 + 4 * 2 + 4;
constexpr const char* kNames[8] = {"R", "G", "B", "A", "Y", "RY", "BY", "Z"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput || size < kShapeBytes) return 0;
  ExrCompression compression = ExrCompression::MIRELTH_FUZZ_EXR_COMPRESSION;
  if (compression == ExrCompression::kDwaa && (data[0] & 0x80) != 0) compression = ExrCompression::kDwab;
  mirelth::ExrChannel channels[4];
  const size_t channelCount = 1 + (data[0] & 3);
  for (size_t c = 0; c < channelCount; ++c) {
    const uint8_t a = data[1 + 2 * c], b = data[2 + 2 * c];
    std::strcpy(channels[c].name, kNames[a & 7]);
    channels[c].type = static_cast<mirelth::ExrPixelType>((a >> 3) % 3);
    channels[c].perceptuallyLinear = (a & 0x20) != 0;
    channels[c].xSampling = 1 + (b & 1);
    channels[c].ySampling = 1 + ((b >> 1) & 1);
  }
  const uint8_t* shapeBytes = data + 9;
  mirelth::ExrChunkShape shape;
  shape.channels = channels;
  shape.channelCount = channelCount;
  shape.xMin = (shapeBytes[0] & 7) - 4;
  shape.yMin = (shapeBytes[1] & 7) - 4;
  shape.xMax = shape.xMin + shapeBytes[2];
  shape.yMax = shape.yMin + shapeBytes[3] % mirelth::ExrLinesPerChunk(compression);
  const uint64_t outSize = mirelth::ExrUnpackedBytes(shape);
  if (outSize == 0) return 0;
  const uint8_t* packed = data + kShapeBytes;
  const size_t packedSize = size - kShapeBytes;
  // Exactly the chunk's size, so that a write past it is caught.
  const std::unique_ptr<uint8_t[]> first(new uint8_t[outSize]), second(new uint8_t[outSize]);
  mirelth::ExrDecompressor decompressor;
  mirelth::DecodeFailure failure;
  const bool once = decompressor.Decompress(compression, shape, packed, packedSize, first.get(), outSize, &failure);
  const bool twice = decompressor.Decompress(compression, shape, packed, packedSize, second.get(), outSize, &failure);
  if (once != twice || (once && std::memcmp(first.get(), second.get(), outSize) != 0)) std::abort();
  return 0;
}
