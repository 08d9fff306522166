#include "picture/bitmap.h"

#include <cstring>

namespace mirelth {

void FillBitmapInfo(BITMAPINFO* info, int32_t width, int32_t height) {
  std::memset(info, 0, sizeof *info);
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;  // positive: bottom-up
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = 32;
  info->bmiHeader.biCompression = BI_RGB;
}

UniqueBitmap CreateImageBitmap(const BITMAPINFO& info, uint8_t** bits) {
  void* memory = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0));
  if (!bitmap || !memory) return nullptr;
  if (bits) *bits = static_cast<uint8_t*>(memory);
  return bitmap;
}

bool GetBitmapPixels(HBITMAP bitmap, BitmapPixels* pixels) {
  DIBSECTION section{};
  if (!bitmap || GetObjectW(reinterpret_cast<HGDIOBJ>(bitmap), sizeof section, &section) != sizeof section) {
    return false;
  }
  if (section.dsBm.bmBitsPixel != 32 || !section.dsBm.bmBits || section.dsBm.bmHeight <= 0) return false;
  pixels->bits = static_cast<uint8_t*>(section.dsBm.bmBits);
  pixels->width = section.dsBm.bmWidth;
  pixels->height = section.dsBm.bmHeight;
  return true;
}

}  // namespace mirelth
