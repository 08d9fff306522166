// TGA images: an 18-byte little-endian header, the image ID, an optional colour map, then the pixels, raw or in
// run-length packets that may cross row ends. TGA has no signature: names route files here. A TGA 2.0 footer
// ("TRUEVISION-XFILE." and a zero byte at the end) points to an extension area whose attributes type can say
// the alpha is straight or premultiplied.
#pragma once

#include <cstdint>

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

inline constexpr uint32_t kTgaHeaderBytes = 18;

// The container entry for ".tga".
[[nodiscard]] bool OpenTga(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
