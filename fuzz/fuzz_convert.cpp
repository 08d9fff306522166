// ConvertPixels with format, order, size and flip taken from the input, over buffers sized exactly to what the
// arguments require, so that any read or write outside them is caught.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_target.h"
#include "pixels/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > kMaxFuzzInput) return 0;
  const int32_t format = static_cast<int8_t>(data[0]);  // negative and unknown codes included
  const int32_t order = static_cast<int8_t>(data[1]) % 6 - 1;  // -1..4: invalid orders included
  const int32_t width = 1 + data[2] % 67;
  const int32_t height = 1 + (data[3] & 0x7F) % 67;
  const bool flip = (data[3] & 0x80) != 0;
  const int32_t padding = data[4] % 9;  // extra bytes at the end of each source row
  data += 5;
  size -= 5;

  size_t sourceBytes = 0;
  int32_t sourcePitch = 0;
  if (mirelth::IsBlockFormat(format)) {
    sourceBytes = static_cast<size_t>((width + 3) / 4) * ((height + 3) / 4) * mirelth::BlockBytes(format);
  } else if (mirelth::BitsPerPixel(format) != 0) {
    sourcePitch = width * mirelth::BitsPerPixel(format) / 8 + padding;
    sourceBytes = static_cast<size_t>(sourcePitch) * height;
  }
  std::unique_ptr<uint8_t[]> source(new uint8_t[sourceBytes ? sourceBytes : 1]());
  std::memcpy(source.get(), data, size < sourceBytes ? size : sourceBytes);
  const size_t destinationBytes = static_cast<size_t>(width) * height * 4;
  std::unique_ptr<uint8_t[]> destination(new uint8_t[destinationBytes]);
  mirelth::ConvertPixels(destination.get(), width * 4, source.get(), sourcePitch, format, order, width, height, flip);
  return 0;
}
