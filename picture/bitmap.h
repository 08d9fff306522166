// Bitmap services: 32-bit bottom-up DIB sections, created zero-filled, owned by RAII holders.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "platform/win32.h"

namespace mirelth {

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const {
    if (bitmap) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

// Clears the whole BITMAPINFO and describes a width x height 32-bit bottom-up BI_RGB bitmap.
void FillBitmapInfo(BITMAPINFO* info, int32_t width, int32_t height);

// Creates the bitmap that `info` describes; its pixel memory (height rows of 4 x width bytes, bottom row
// first) is zero. Returns null when the platform cannot make it.
UniqueBitmap CreateImageBitmap(const BITMAPINFO& info, uint8_t** bits);

// The pixel memory and size of a 32-bit DIB section, or false.
struct BitmapPixels {
  uint8_t* bits;
  int32_t width;
  int32_t height;
};
bool GetBitmapPixels(HBITMAP bitmap, BitmapPixels* pixels);

}  // namespace mirelth
