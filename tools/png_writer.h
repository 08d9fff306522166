// Writes 8-bit RGBA PNG files (straight alpha, top row first) from a 32-bit bottom-up BGRA bitmap.
#pragma once

#include <cstdint>
#include <string>

namespace mirelth {

// `bits` holds height rows of 4 x width bytes, bottom row first, pixels B, G, R, A. On failure `error` says why.
bool WritePngFromBitmap(const std::string& path, const uint8_t* bits, int32_t width, int32_t height,
                        std::string* error);

}  // namespace mirelth
