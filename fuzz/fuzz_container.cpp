// One container on raw bytes (the environment's MIRELTH_FUZZ_CONTAINER names its row of the table of containers
// by extension, without the dot: "dds"; mirelth-tables fuzz-targets lists them): the full-size decode, and a sampled
// thumbnail at a small edge taken from the input size (large edges only cost time), with the facts (and a layer
// listing) filled.
#include "formats/containers.h"
#include "fuzz/chosen_container.h"
#include "fuzz/fuzz_target.h"
#include "io/limits.h"

namespace {

void Draw(const mirelth::Container& container, const uint8_t* data, size_t size, bool full) {
  mirelth::MemorySource source(data, size);
  mirelth::OpenOptions options;
  mirelth::Facts facts;
  options.facts = &facts;
  // The full-size decode on a canvas a fuzzer can afford (64 K pixels: a 256 KiB bitmap; a tiny file may claim the
  // largest canvas, and allocating, clearing, flattening or tone mapping it would be most of each run); thumbnails
  // uncapped.
  if (full) options.maxPixels = uint64_t{1} << 16;
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
  const mirelth::Container* container = ChosenContainer("fuzz_container");
  Draw(*container, data, size, true);
  Draw(*container, data, size, false);
  return 0;
}
