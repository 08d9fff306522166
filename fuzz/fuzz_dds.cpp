// DecodeDds and the sampled thumbnail on raw bytes (a small edge taken from the input size: large
// edges only cost time).
#include "formats/dds/dds.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput) return 0;
  HBITMAP bitmap = nullptr;
  BITMAPINFO info{};
  mirelth::DecodeFailure failure;
  if (mirelth::DecodeDds(data, static_cast<uint32_t>(size), &bitmap, &info, &failure)) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  bitmap = nullptr;
  const uint32_t cx = 1 + static_cast<uint32_t>(size % 48);
  if (mirelth::DrawDdsThumbnail(data, static_cast<uint32_t>(size), cx, &bitmap, &failure)) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  return 0;
}
