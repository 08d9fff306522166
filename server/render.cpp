// Rendering: the aspect-keeping size, the stretch onto the result bitmap, HRESULTs from decoder outcomes.
#include "server/render.h"

#include "pixels/bitmap.h"

namespace mirelth {

void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight) {
  const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 1;
  const uint64_t h = height > 0 ? static_cast<uint64_t>(height) : 1;
  const uint64_t longer = w >= h ? w : h, shorter = w >= h ? h : w;
  uint64_t scaled = (2 * uint64_t{cx} * shorter + longer) / (2 * longer);  // rounded to nearest
  if (scaled < 1) scaled = 1;
  *thumbWidth = static_cast<int32_t>(w >= h ? cx : scaled);
  *thumbHeight = static_cast<int32_t>(w >= h ? scaled : cx);
}

HRESULT StretchToBitmap(HBITMAP decoded, int32_t width, int32_t height, int32_t thumbWidth, int32_t thumbHeight,
                        HBITMAP* result) {
  BITMAPINFO info;
  FillBitmapInfo(&info, thumbWidth, thumbHeight);
  UniqueBitmap thumbnail = CreateImageBitmap(info, nullptr);
  if (!thumbnail) return E_OUTOFMEMORY;
  UniqueDc destination(CreateCompatibleDC(nullptr));
  UniqueDc source(CreateCompatibleDC(nullptr));
  if (!destination || !source) return E_OUTOFMEMORY;
  HGDIOBJ oldDestination = SelectObject(destination.get(), reinterpret_cast<HGDIOBJ>(thumbnail.get()));
  HGDIOBJ oldSource = SelectObject(source.get(), reinterpret_cast<HGDIOBJ>(decoded));
  HRESULT outcome = S_OK;
  if (!oldDestination || !oldSource) {
    outcome = E_FAIL;
  } else {
    // COLORONCOLOR takes each destination pixel from one source pixel; SRCCOPY copies all 32 bits.
    SetStretchBltMode(destination.get(), COLORONCOLOR);
    if (!StretchBlt(destination.get(), 0, 0, thumbWidth, thumbHeight, source.get(), 0, 0, width, height, SRCCOPY)) {
      outcome = E_FAIL;
    }
  }
  // Give each DC its original bitmap back so that ours can be deleted.
  if (oldDestination) SelectObject(destination.get(), oldDestination);
  if (oldSource) SelectObject(source.get(), oldSource);
  if (FAILED(outcome)) return outcome;
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
