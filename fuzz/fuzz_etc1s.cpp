// The BasisLZ / ETC1S decoder on its own: the input's first two bytes give a slice's size in blocks (1..32 each
// way), the next four the length of the global data that follows (one image), and the rest is the slice. The
// global data is read and, when it reads, the slice decoded into ETC1 blocks.
#include <cstdint>
#include <vector>

#include "formats/ktx/basis_etc1s.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > kMaxFuzzInput) return 0;
  const uint32_t blocksX = 1 + data[0] % 32, blocksY = 1 + data[1] % 32;
  const uint32_t global =
      uint32_t{data[2]} | uint32_t{data[3]} << 8 | uint32_t{data[4]} << 16 | uint32_t{data[5]} << 24;
  const uint8_t* rest = data + 6;
  const size_t left = size - 6;
  const size_t globalBytes = global < left ? global : left;
  mirelth::MemorySource source(rest, globalBytes);
  mirelth::Etc1sGlobalPtr codebooks;
  mirelth::DecodeFailure failure;
  if (!mirelth::ReadEtc1sGlobal(source, 0, globalBytes, 1, &codebooks, &failure)) return 0;
  std::vector<uint8_t> blocks(size_t{blocksX} * blocksY * 8);
  (void)mirelth::DecodeEtc1sSlice(*codebooks, rest + globalBytes, left - globalBytes, blocksX, blocksY, blocks.data(),
                                  &failure);
  return 0;
}
