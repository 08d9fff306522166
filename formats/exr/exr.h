// OpenEXR (".exr"): single-part scanline and tiled images and the first part of a multi-part file. Drawn: R, G, B
// (and A), Y (and A), luminance-chroma Y, RY, BY, or else the first layer with R, G and B ("diffuse.R", ...);
// half, float and uint (U(32)) samples; every compression of the format. The picture is the display window; the
// data window is drawn at its offset inside it and the rest is transparent. Colour is premultiplied by alpha, as
// OpenEXR defines it, and divided by it in linear light before the tone mapping (alpha 0: transparent black).
// Thumbnails read only the chunks under their samples, from the mip level the thumbnail rule chooses (ripmaps:
// level (0, 0)).
#pragma once

#include "formats/container.h"
#include "io/buffers.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenExr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

// The display window's linear R, G, B, A floats, top row first, as the picture hands them to the tone mapping
// (colour divided by alpha): for comparing with other decoders before tone mapping.
[[nodiscard]] bool DecodeExrLinear(ByteSource& source, int32_t* width, int32_t* height, Scratch<float>* pixels,
                                   DecodeFailure* failure);

}  // namespace mirelth
