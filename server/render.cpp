// Rendering helpers: the reference stretch and HRESULTs from decoder outcomes.
#include "server/render.h"

#include "pixels/bitmap.h"

namespace mirelth {

HRESULT StretchToThumbnail(HBITMAP decoded, int32_t width, int32_t height, uint32_t cx, HBITMAP* result) {
  BitmapPixels source{};
  if (!GetBitmapPixels(decoded, &source)) return E_FAIL;
  GdiFlush();
  int32_t thumbWidth = 0, thumbHeight = 0;
  ThumbnailSize(width, height, cx, &thumbWidth, &thumbHeight);
  BITMAPINFO info;
  FillBitmapInfo(&info, thumbWidth, thumbHeight);
  uint8_t* bits = nullptr;
  UniqueBitmap thumbnail = CreateImageBitmap(info, &bits);
  if (!thumbnail) return E_OUTOFMEMORY;
  StretchNearest(source.bits, width, height, bits, thumbWidth, thumbHeight);
  *result = thumbnail.release();
  return S_OK;
}

HRESULT HResultFromFailure(const DecodeFailure& failure) {
  switch (failure.kind) {
    case FailureKind::None:
      return S_OK;
    case FailureKind::OutOfMemory:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

}  // namespace mirelth
