// DecodePsd and the sampled thumbnail on raw bytes (the edge taken from the input size), with the layer
// listing formatted but discarded.
#include "formats/psd/psd.h"
#include "fuzz/fuzz_target.h"

namespace {
void Discard(void*, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput) return 0;
  HBITMAP bitmap = nullptr;
  BITMAPINFO info{};
  mirelth::DecodeFailure failure;
  if (mirelth::DecodePsdWithListing(data, static_cast<uint32_t>(size), &bitmap, &info, {Discard, nullptr},
                                    &failure)) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  bitmap = nullptr;
  if (mirelth::DrawPsdThumbnail(data, static_cast<uint32_t>(size), 1 + static_cast<uint32_t>(size % 48), &bitmap,
                                {Discard, nullptr}, &failure)) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  return 0;
}
