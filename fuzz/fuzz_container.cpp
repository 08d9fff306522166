// One container on raw bytes (MIRELTH_FUZZ_TYPE names it): the full-size decode, and a sampled thumbnail at a
// small edge taken from the input size (large edges only cost time), with the facts (and a layer listing) filled.
#include "formats/containers.h"
#include "fuzz/fuzz_target.h"
#include "io/limits.h"

namespace {

void Draw(const mirelth::Container& container, const uint8_t* data, size_t size, bool full) {
  mirelth::MemorySource source(data, size);
  mirelth::OpenOptions options;
  mirelth::Facts facts;
  options.facts = &facts;
  if (full) options.maxPixels = mirelth::kMaxImagePixels;
  mirelth::PicturePtr picture;
  mirelth::DecodeFailure failure;
  if (!container.openPicture(source, options, &picture, &failure)) return;
  HBITMAP bitmap = nullptr;
  bool drawn;
  if (full) {
    BITMAPINFO info{};
    drawn = picture->DrawFull(&bitmap, &info, &failure);
  } else {
    int32_t tw = 0, th = 0;
    mirelth::ThumbnailSize(picture->width(), picture->height(), 1 + static_cast<uint32_t>(size % 48), &tw, &th);
    drawn = picture->DrawThumbnail(tw, th, false, &bitmap, &failure);
  }
  if (drawn) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput) return 0;
  const mirelth::Container* container = mirelth::ContainerFor(static_cast<mirelth::FileType>(MIRELTH_FUZZ_TYPE));
  if (!container) return 0;
  Draw(*container, data, size, true);
  Draw(*container, data, size, false);
  return 0;
}
