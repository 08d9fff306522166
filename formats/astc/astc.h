// .astc files (as ARM's encoder writes them): a 16-byte header (magic 0x5CA1AB13, block width, height and depth,
// then the image's width, height and depth as 24-bit little-endian numbers), then the blocks, 16 bytes each, row
// by row and slice by slice. 2D footprints only; slice 0 of a 3D image is drawn. The header does not say whether
// the blocks are LDR or HDR: the blocks say it (probed from a bounded sample of them).
#pragma once

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenAstc(ByteSource& source, const OpenOptions& options, PicturePtr* picture,
                            DecodeFailure* failure);

}  // namespace mirelth
