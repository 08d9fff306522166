// Thumbnail rendering helpers: the reference thumbnail (full decode, then the nearest-pixel stretch) and the
// mapping from decoder outcomes to HRESULT.
#pragma once

#include <cstdint>

#include "pixels/failure.h"
#include "pixels/sampling.h"
#include "platform/win32.h"

namespace mirelth {

// A new thumbnail that fits cx by cx, stretched from `decoded` (width x height) with StretchNearest.
HRESULT StretchToThumbnail(HBITMAP decoded, int32_t width, int32_t height, uint32_t cx, HBITMAP* result);

// The one place where a decoder's outcome becomes an HRESULT.
HRESULT HResultFromFailure(const DecodeFailure& failure);

}  // namespace mirelth
