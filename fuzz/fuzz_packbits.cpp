// PackBits, the run-length form of PSD and PSB rows, on its own: the first bytes give a row length (1-4096), an
// output stride (1-4) and which positions to pick (a first position and a step); the rest is one packed row. It is
// unpacked whole into a buffer of exactly length x stride bytes, and the chosen positions are picked from it
// without unpacking; the two must agree byte for byte (a position the row does not reach is 0 in both).
#include <cstdlib>
#include <memory>
#include <vector>

#include "formats/psd/psd.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput || size < 5) return 0;
  const size_t length = 1 + ((size_t{data[0]} << 8 | data[1]) & 4095);
  const size_t stride = 1 + (data[2] & 3);
  const size_t first = data[3] % length, step = 1 + data[4] % 64;
  const uint8_t* in = data + 5;
  const size_t inCount = size - 5;
  const std::unique_ptr<uint8_t[]> row(new uint8_t[length * stride]());
  if (mirelth::UnpackBitsRow(in, inCount, row.get(), length, stride) > inCount) std::abort();
  std::vector<uint64_t> positions;
  for (size_t p = first; p < length; p += step) positions.push_back(p);
  const std::unique_ptr<uint8_t[]> picked(new uint8_t[positions.size()]);
  mirelth::UnpackBitsPick(in, inCount, positions.data(), positions.size(), picked.get());
  for (size_t j = 0; j < positions.size(); ++j) {
    if (picked[j] != row[positions[j] * stride]) std::abort();
  }
  return 0;
}
