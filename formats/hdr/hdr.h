// Radiance HDR (".hdr"): a text header ("#?RADIANCE" or "#?RGBE", then NAME=value lines up to an empty line),
// a resolution line, then scanlines of 4-byte pixels: RGBE (or XYZE) with a shared exponent. Scanlines are flat,
// in the old run-length form (a pixel 1, 1, 1, n repeats the one before it) or in the new one (2, 2, and the
// length, then each of the four components run-length coded on its own). The resolution line names the slowest
// axis first: "-Y H +X W" is rows top to bottom, pixels left to right; "+X W -Y H" stores columns. EXPOSURE and
// COLORCORR are not applied: values are drawn as stored, through the tone mapping.
#pragma once

#include "formats/container.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

[[nodiscard]] bool OpenHdr(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure);

}  // namespace mirelth
