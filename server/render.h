// Thumbnail rendering: the size that keeps the aspect ratio, the nearest-pixel stretch onto the result
// bitmap, and the mapping from decoder outcomes to HRESULT.
#pragma once

#include <cstdint>

#include "pixels/failure.h"
#include "platform/win32.h"

namespace mirelth {

// The thumbnail of a width x height image that fits cx by cx: the longer side is cx, the shorter
// max(1, round(cx * short / long)).
void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight);

// Stretches `decoded` (width x height) onto a new thumbWidth x thumbHeight bitmap with nearest-pixel
// sampling that copies all four bytes. Every DC it makes is deleted; `decoded` is not.
HRESULT StretchToBitmap(HBITMAP decoded, int32_t width, int32_t height, int32_t thumbWidth, int32_t thumbHeight,
                        HBITMAP* result);

// The one place where a decoder's outcome becomes an HRESULT.
HRESULT HResultFromFailure(const DecodeFailure& failure);

}  // namespace mirelth
