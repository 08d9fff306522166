// KTX 2: a 12-byte identifier, nine 32-bit fields (vkFormat, type size, width, height, depth, layers, faces,
// levels, supercompression), the index of the data format descriptor, key/value and supercompression global
// data, then one (offset, length, inflated length) entry a level, level 0 first, the levels anywhere after it.
// A level holds every layer, face and depth slice; the first layer's face 0 at depth 0 is drawn. Levels are stored
// plain or supercompressed whole with Zstandard or zlib; the data format descriptor says the transfer function,
// primaries and whether colour is premultiplied.
#pragma once

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenKtx2(ByteSource& source, const OpenOptions& options, PicturePtr* picture,
                            DecodeFailure* failure);

}  // namespace mirelth
