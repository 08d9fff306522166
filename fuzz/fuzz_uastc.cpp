// The UASTC block decoder on its own: every 16 bytes of the input a block, decoded whole and texel by texel; the
// texel decoder must give exactly the tile decoder's texels (a difference stops the run).
#include <cstdint>
#include <cstdlib>

#include "encodings/blocks/blocks.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxFuzzInput) return 0;
  const mirelth::BlockContext context{};
  for (size_t at = 0; at + 16 <= size; at += 16) {
    uint32_t tile[16];
    mirelth::DecodeUASTCBlock(reinterpret_cast<uint8_t*>(tile), 16, data + at, context);
    for (int32_t t = 0; t < 16; ++t) {
      if (mirelth::DecodeUASTCTexel(data + at, t % 4, t / 4, context) != tile[t]) std::abort();
    }
  }
  return 0;
}
