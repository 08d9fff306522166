// VTF (Valve Texture Format 7.0-7.5): a little-endian header ("VTF\0", version, header size, size, flags, frames,
// the high-resolution image's format and mip count, a low-resolution thumbnail's format and size, depth from 7.2),
// from 7.3 a resource dictionary after the 80-byte header (the high-resolution image located by its 0x30 entry),
// then the images: mips stored smallest first, each mip's frames, faces and slices in turn. Frame 0, face 0,
// slice 0 is drawn; the low-resolution thumbnail is not.
#pragma once

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenVtf(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
