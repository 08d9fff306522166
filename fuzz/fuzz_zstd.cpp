// Our Zstandard decoder against libzstd's. The first byte chooses: even, the rest is a stream both decode (into
// at most 1 MiB): whatever libzstd decodes, ours decodes to the same bytes; odd, the rest is data libzstd
// compresses (at a level from the byte, with or without a checksum), which ours must give back exactly.
#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "io/zstd.h"

namespace {

constexpr size_t kMaxOutput = size_t{1} << 20;

[[noreturn]] void Mismatch(const char* what, const char* detail) {
  std::fprintf(stderr, "fuzz_zstd: %s (%s)\n", what, detail);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxFuzzInput) return 0;
  const uint8_t mode = data[0];
  ++data, --size;
  mirelth::DecodeFailure failure;
  if ((mode & 1) == 0) {
    // libzstd streams into a bounded buffer: it decodes what it can within 1 MiB.
    static std::vector<uint8_t> theirs(kMaxOutput);
    static ZSTD_DCtx* const context = ZSTD_createDCtx();
    ZSTD_DCtx_reset(context, ZSTD_reset_session_only);
    ZSTD_inBuffer in{data, size, 0};
    ZSTD_outBuffer out{theirs.data(), theirs.size(), 0};
    size_t result = 1;
    while (in.pos < in.size && out.pos < out.size) {
      result = ZSTD_decompressStream(context, &out, &in);
      if (ZSTD_isError(result) || (result != 0 && in.pos == in.size)) break;
    }
    const bool complete = !ZSTD_isError(result) && result == 0 && in.pos == in.size && out.pos < out.size;
    std::vector<uint8_t> ours(out.pos + 1);
    const bool decoded = mirelth::ZstdDecode(data, size, ours.data(), out.pos, &failure);
    if (complete && size > 0) {
      // libzstd also reads the legacy formats of before 1.0 (magic numbers 0xFD2FB51E-0xFD2FB527), which no
      // container writes and ours refuses. And its final check lets a sequence bit stream be read past its start
      // (it reads zeros, then bits wrapped around its register), which no encoder writes: ours refuses that as
      // corrupt.
      const bool legacy = std::strncmp(failure.detail, "not Zstandard data (magic FD2FB5", 32) == 0;
      const bool overRead = std::strstr(failure.detail, "a sequence bit stream that ends early") != nullptr;
      if (!decoded && !legacy && !overRead) Mismatch("libzstd decodes a stream ours refuses", failure.detail);
      if (!decoded) return 0;
      if (std::memcmp(ours.data(), theirs.data(), out.pos) != 0) Mismatch("different bytes", "");
    }
    return 0;
  }
  const int level = static_cast<int>(mode >> 1) % 24 - 4;
  if (level > 9 && size > 16384) size = 16384;  // the slow levels on short inputs
  static ZSTD_CCtx* const context = ZSTD_createCCtx();
  ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters);
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, (mode >> 6) & 1);
  std::vector<uint8_t> packed(ZSTD_compressBound(size));
  const size_t n = ZSTD_compress2(context, packed.data(), packed.size(), data, size);
  if (ZSTD_isError(n)) return 0;
  std::vector<uint8_t> back(size + 1);
  if (!mirelth::ZstdDecode(packed.data(), n, back.data(), size, &failure))
    Mismatch("a libzstd frame refused", failure.detail);
  if (std::memcmp(back.data(), data, size) != 0) Mismatch("round trip differs", "");
  return 0;
}
