#include "pixels/source_image.h"

#include "pixels/limits.h"

namespace mirelth {

bool LevelBytes(int32_t format, uint64_t width, uint64_t height, uint64_t* bytes, uint64_t* pitch) {
  if (IsBlockFormat(format)) {
    *pitch = 0;
    uint64_t blocks;
    return CheckedMultiply((width + 3) / 4, (height + 3) / 4, &blocks) &&
           CheckedMultiply(blocks, static_cast<uint64_t>(BlockBytes(format)), bytes);
  }
  const int32_t bits = BitsPerPixel(format);
  if (bits == 0) return false;
  uint64_t rowBits;
  if (!CheckedMultiply(width, static_cast<uint64_t>(bits), &rowBits) || rowBits > UINT64_MAX - 7) return false;
  *pitch = (rowBits + 7) / 8;
  return CheckedMultiply(*pitch, height, bytes);
}

bool DecodeSourceImage(const SourceImage& image, HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure) {
  if (image.width <= 0 || image.height <= 0) {
    return Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", image.width, image.height);
  }
  // The full-size bitmap: within the cap (which also keeps every pitch inside 32 bits).
  if (static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) > kMaxImagePixels) {
    return Fail(failure, FailureKind::TooLarge, "%d x %d pixels", image.width, image.height);
  }
  FillBitmapInfo(info, image.width, image.height);
  uint8_t* bits = nullptr;
  UniqueBitmap created = CreateImageBitmap(*info, &bits);
  if (!created) {
    return Fail(failure, FailureKind::OutOfMemory, "no %d x %d bitmap", image.width, image.height);
  }
  const int32_t pitch = image.width * 4;
  if (image.usePacked16) {
    ConvertPacked16Pixels(bits, pitch, image.pixels, static_cast<int32_t>(image.pitch), image.packed16, image.width, image.height,
                          image.flip);
  } else {
    ConvertPixels(bits, pitch, image.pixels, static_cast<int32_t>(image.pitch), image.format, image.order, image.width, image.height,
                  image.flip);
  }
  *bitmap = created.release();
  return true;
}

}  // namespace mirelth
