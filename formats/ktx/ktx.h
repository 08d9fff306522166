// KTX 1: a 12-byte identifier, an endianness word (0x04030201 as the writer's machine stored it: every header
// field, key/value length and image size then reads in that order), the OpenGL type, format and internal format,
// sizes and counts, key/value data, then each mip level as an image size word and its images (array elements,
// faces, depth slices), rows padded to 4 bytes, each face of a non-array cube map and each level padded to 4.
// The first element's face 0 at depth 0 is drawn.
#pragma once

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenKtx(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
