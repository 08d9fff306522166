// PackBits rows: a signed count byte n, then n + 1 literal bytes (n >= 0) or one byte repeated 1 - n times
// (n < 0; -128 is a no-op). A row that would unpack to more than its length drops the excess; a packet that runs
// past the row's packed bytes uses only the bytes inside them.
#include <cstring>

#include "formats/psd/psd.h"

namespace mirelth {

size_t UnpackBitsRow(const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount, size_t outStride) {
  size_t i = 0, o = 0;
  while (i < inCount) {
    const auto n = static_cast<int8_t>(in[i++]);
    if (n == -128) continue;
    if (n >= 0) {
      // Literal run of n + 1 bytes: only those inside the row's bytes are used, only up to the row's length.
      size_t run = static_cast<size_t>(n) + 1;
      if (run > inCount - i) run = inCount - i;
      const size_t kept = run < outCount - o ? run : outCount - o;
      const uint8_t* from = in + i;
      uint8_t* to = out + o * outStride;
      for (size_t k = 0; k < kept; ++k) to[k * outStride] = from[k];
      o += kept;
      i += run;
    } else {
      if (i >= inCount) break;  // the repeated byte lies past the row
      const uint8_t value = in[i++];
      const size_t run = static_cast<size_t>(1 - n);
      const size_t kept = run < outCount - o ? run : outCount - o;
      uint8_t* to = out + o * outStride;
      for (size_t k = 0; k < kept; ++k) to[k * outStride] = value;
      o += kept;
    }
  }
  return i;
}

void UnpackBitsPick(const uint8_t* in, size_t inCount, const uint64_t* positions, size_t count, uint8_t* out) {
  if (count == 0) return;
  std::memset(out, 0, count);
  size_t i = 0, j = 0;
  uint64_t o = 0;  // unpacked position of the next packet
  while (i < inCount && j < count) {
    const auto n = static_cast<int8_t>(in[i++]);
    if (n == -128) continue;
    if (n >= 0) {
      size_t run = static_cast<size_t>(n) + 1;
      if (run > inCount - i) run = inCount - i;
      for (; j < count && positions[j] < o + run; ++j) {
        if (positions[j] >= o) out[j] = in[i + (positions[j] - o)];
      }
      o += run;
      i += run;
    } else {
      if (i >= inCount) break;
      const uint8_t value = in[i++];
      const size_t run = static_cast<size_t>(1 - n);
      for (; j < count && positions[j] < o + run; ++j) out[j] = value;
      o += run;
    }
  }
}

}  // namespace mirelth
