// Zstandard (RFC 8878) decoding of whole buffers: frames (skippable frames skipped), raw, run-length and compressed
// blocks, Huffman-coded literals and FSE-coded sequences, repeat offsets and tables, the content checksum. Frames
// with a dictionary are refused. Every read is checked against the input and every write against the output;
// the window is the output itself, so a match may reach back to the start of its frame and no further.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/failure.h"

namespace mirelth {

// Decodes the frames in `in` into `out`, which must be filled exactly: `outSize` bytes are what the container
// says the stream holds. False with a reason when the stream is corrupt, uses a dictionary, holds more or fewer
// bytes, or fails its checksum.
[[nodiscard]] bool ZstdDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure);

}  // namespace mirelth
