// ConvertPixels with format, order, size and flip taken from the input, over buffers sized exactly to what the
// arguments require, so that any read or write outside them is caught.
#include <cstring>
#include <memory>

#include "encodings/convert.h"
#include "encodings/described.h"
#include "encodings/encoding.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > kMaxFuzzInput) return 0;
  const auto format = static_cast<mirelth::PixelFormat>(static_cast<int8_t>(data[0]));  // unknown codes included
  const auto order = static_cast<mirelth::ChannelOrder>(static_cast<int8_t>(data[1]) % 6 - 1);  // invalid ones too
  const int32_t width = 1 + data[2] % 67;
  const int32_t height = 1 + (data[3] & 0x7F) % 67;
  const bool flip = (data[3] & 0x80) != 0;
  const int32_t padding = data[4] % 9;  // extra bytes at the end of each source row
  data += 5;
  size -= 5;

  // Described layouts take their layout from the next bytes: bytes per pixel, then type, shift and width of
  // R, G, B and A.
  mirelth::PixelLayout layout;
  if (format == mirelth::PixelFormat::kDescribed && size >= 13) {
    layout.bytesPerPixel = static_cast<uint8_t>(data[0] % 17);
    for (int c = 0; c < 4; ++c) {
      layout.channel[c] = {static_cast<mirelth::ChannelType>(data[1 + 3 * c] % 5), data[2 + 3 * c], data[3 + 3 * c]};
    }
    layout.gray = (data[12] & 1) != 0;
    data += 13;
    size -= 13;
  }
  uint64_t sourceBytes = 0, pitch = 0;
  if (!mirelth::LevelBytes(format, layout.bytesPerPixel, static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                           &sourceBytes, &pitch)) {
    sourceBytes = 0;
    pitch = 0;
  }
  const bool plain = mirelth::BitsPerPixel(format) != 0 || format == mirelth::PixelFormat::kDescribed;
  if (plain && sourceBytes) {
    pitch += static_cast<uint64_t>(padding);
    sourceBytes = pitch * static_cast<uint64_t>(height);
  }
  std::unique_ptr<uint8_t[]> source(new uint8_t[sourceBytes ? sourceBytes : 1]());
  std::memcpy(source.get(), data, size < sourceBytes ? size : sourceBytes);
  const size_t destinationBytes = static_cast<size_t>(width) * height * 4;
  std::unique_ptr<uint8_t[]> destination(new uint8_t[destinationBytes]);
  mirelth::ConvertJob job;
  job.destination = destination.get();
  job.destinationPitch = width * 4;
  job.source = source.get();
  job.sourcePitch = static_cast<intptr_t>(pitch);
  job.sourceOrder = order;
  job.width = width;
  job.height = height;
  job.flip = flip;
  job.format = format;
  job.layout = &layout;
  if (sourceBytes) mirelth::ConvertPixels(job);
  return 0;
}
