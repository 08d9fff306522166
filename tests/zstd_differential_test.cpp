// The Zstandard decoder against libzstd's encoder and decoder: every level, with and without checksums and
// content sizes, over data that exercises each block and literal type (incompressible, runs, text-like,
// structured texels), frames of many blocks, several frames in one stream, and corrupt or cut streams.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>
#include <random>
#include <vector>

#include "io/zstd.h"

namespace mirelth {
namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, int level, bool checksum, bool contentSize,
                              int windowLog = 0) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, checksum ? 1 : 0);
  ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, contentSize ? 1 : 0);
  if (windowLog) ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, windowLog);
  std::vector<uint8_t> out(ZSTD_compressBound(data.size()));
  size_t n;
  if (contentSize) {
    n = ZSTD_compress2(c, out.data(), out.size(), data.data(), data.size());
  } else {  // streamed: the frame does not state its size
    ZSTD_inBuffer in{data.data(), data.size(), 0};
    ZSTD_outBuffer o{out.data(), out.size(), 0};
    ZSTD_compressStream2(c, &o, &in, ZSTD_e_end);
    n = o.pos;
  }
  ZSTD_freeCCtx(c);
  EXPECT_FALSE(ZSTD_isError(n));
  out.resize(n);
  return out;
}

// Data of a kind: 0 random, 1 runs, 2 words from a small vocabulary, 3 texel-like rows with noise, 4 mixed.
std::vector<uint8_t> Data(int kind, size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> d(size);
  static const char* words[] = {"texture ", "mip ", "level ", "block ", "alpha ", "BC7 ", "\n", "zstd ", "of "};
  for (size_t i = 0; i < size;) {
    switch (kind == 4 ? static_cast<int>((i / 5000) % 4) : kind) {
      case 0: d[i++] = static_cast<uint8_t>(rng()); break;
      case 1: {
        const uint8_t v = static_cast<uint8_t>(rng() % 4);
        for (size_t n = 1 + rng() % 300; n-- && i < size;) d[i++] = v;
        break;
      }
      case 2: {
        const char* w = words[rng() % 9];
        for (size_t k = 0; w[k] && i < size; ++k) d[i++] = static_cast<uint8_t>(w[k]);
        break;
      }
      default:
        d[i] = static_cast<uint8_t>((i % 256) + (i / 1024) * 3 + (rng() % 5 == 0 ? rng() % 7 : 0));
        ++i;
        break;
    }
  }
  return d;
}

TEST(Zstd, DecodesWhatLibzstdWritesAtEveryLevel) {
  const size_t sizes[] = {0, 1, 7, 300, 5000, 131072, 131073, 700000};
  int cases = 0;
  for (int kind = 0; kind <= 4; ++kind) {
    for (const size_t size : sizes) {
      const std::vector<uint8_t> data = Data(kind, size, static_cast<uint32_t>(kind * 131 + size));
      for (const int level : {-5, 1, 3, 9, 19}) {
        if (size > 200000 && level == 19) continue;  // time: level 9 covers the long matches
        const bool checksum = (level + kind) % 2 == 0, stated = (size + level) % 3 != 0;
        const std::vector<uint8_t> packed = Compress(data, level, checksum, stated);
        std::vector<uint8_t> out(data.size());
        DecodeFailure failure;
        ASSERT_TRUE(ZstdDecode(packed.data(), packed.size(), out.data(), out.size(), &failure))
            << "kind " << kind << " size " << size << " level " << level << ": " << failure.detail;
        ASSERT_EQ(out, data) << "kind " << kind << " size " << size << " level " << level;
        ++cases;
      }
    }
  }
  EXPECT_GT(cases, 150);
}

// Several frames (with a skippable frame between), small windows, and what must be refused.
TEST(Zstd, FramesWindowsAndRefusals) {
  const std::vector<uint8_t> a = Data(4, 300000, 7), b = Data(2, 20000, 8);
  std::vector<uint8_t> stream = Compress(a, 5, true, true, 10);  // a 1 KiB window
  const uint8_t skippable[] = {0x53, 0x2A, 0x4D, 0x18, 3, 0, 0, 0, 9, 9, 9};
  stream.insert(stream.end(), skippable, skippable + sizeof skippable);
  const std::vector<uint8_t> second = Compress(b, 12, false, false);
  stream.insert(stream.end(), second.begin(), second.end());
  std::vector<uint8_t> joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  std::vector<uint8_t> out(joined.size());
  DecodeFailure failure;
  ASSERT_TRUE(ZstdDecode(stream.data(), stream.size(), out.data(), out.size(), &failure)) << failure.detail;
  EXPECT_EQ(out, joined);

  // Fewer or more bytes than the container says, a flipped byte (the checksum or the structure catches it),
  // every cut, a dictionary id.
  const std::vector<uint8_t> one = Compress(a, 5, true, true);
  EXPECT_FALSE(ZstdDecode(one.data(), one.size(), out.data(), a.size() - 1, &failure));
  std::vector<uint8_t> big(a.size() + 1);
  EXPECT_FALSE(ZstdDecode(one.data(), one.size(), big.data(), big.size(), &failure));
  int refused = 0;
  for (size_t at = 5; at < one.size(); at += one.size() / 97 + 1) {
    std::vector<uint8_t> bad = one;
    bad[at] ^= 0x5A;
    if (!ZstdDecode(bad.data(), bad.size(), out.data(), a.size(), &failure)) ++refused;
    EXPECT_FALSE(ZstdDecode(one.data(), at, out.data(), a.size(), &failure)) << "cut at " << at;
  }
  EXPECT_GE(refused, 90);
  std::vector<uint8_t> withId = {0x28, 0xB5, 0x2F, 0xFD, 0x21, 0x07, 0x01, 0x01, 0x00, 0x00};
  EXPECT_FALSE(ZstdDecode(withId.data(), withId.size(), out.data(), 0, &failure));
  EXPECT_EQ(failure.kind, FailureKind::Unsupported);
}

}  // namespace
}  // namespace mirelth
