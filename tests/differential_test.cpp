// Our block decoders against independent decoders from Debian: libsquish for DXT1/3/5 (within 3 a channel:
// it blends with (2 c0 + c1) / 3 where we use (171 c0 + 85 c1) >> 8) and Android's libETC1 for ETC1
// (exact on every block the format allows).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "encodings/blocks/blocks.h"
#include "encodings/convert.h"
#include "etc1.h"
#include "squish.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

constexpr int kBlocks = 200000;

struct DxtCase {
  const char* name;
  BlockDecoder decode;
  int blockBytes;
  int squishFlags;
};

TEST(Differential, DxtBlocksAgreeWithLibsquish) {
  const DxtCase cases[] = {{"DXT1", DecodeDXT1Block, 8, squish::kDxt1},
                           {"DXT3", DecodeDXT3Block, 16, squish::kDxt3},
                           {"DXT5", DecodeDXT5Block, 16, squish::kDxt5}};
  for (const DxtCase& c : cases) {
    const std::vector<uint8_t> blocks = test::RandomBytes(static_cast<size_t>(kBlocks) * c.blockBytes, 11);
    int worst = 0;
    for (int i = 0; i < kBlocks; ++i) {
      const uint8_t* block = &blocks[static_cast<size_t>(i) * c.blockBytes];
      uint32_t ours[16];
      c.decode(reinterpret_cast<uint8_t*>(ours), 16, block, BlockContext{});
      uint8_t theirs[64];
      squish::Decompress(theirs, block, c.squishFlags);
      for (int p = 0; p < 16; ++p) {
        const int got[4] = {int((ours[p] >> 16) & 0xFF), int((ours[p] >> 8) & 0xFF), int(ours[p] & 0xFF),
                            int(ours[p] >> 24)};
        for (int ch = 0; ch < 4; ++ch) {
          const int difference = std::abs(got[ch] - theirs[4 * p + ch]);
          if (difference > worst) worst = difference;
          ASSERT_LE(difference, ch == 3 ? 0 : 3) << c.name << " block " << i << " pixel " << p << " channel " << ch;
        }
      }
    }
    RecordProperty(std::string(c.name) + "_worst", worst);
  }
}

// True when a differential block's second base colour stays inside 0..31 in every channel.
bool FormatAllows(const uint8_t* block) {
  if ((block[3] & 2) == 0) return true;
  for (int c = 0; c < 3; ++c) {
    const int s1 = block[c] >> 3;
    const int d = (block[c] & 7) - ((block[c] & 4) ? 8 : 0);
    if (s1 + d < 0 || s1 + d > 31) return false;
  }
  return true;
}

TEST(Differential, Etc1BlocksAgreeWithLibEtc1) {
  const std::vector<uint8_t> blocks = test::RandomBytes(static_cast<size_t>(kBlocks) * 8, 12);
  int compared = 0;
  for (int i = 0; i < kBlocks; ++i) {
    const uint8_t* block = &blocks[static_cast<size_t>(i) * 8];
    if (!FormatAllows(block)) continue;
    ++compared;
    uint32_t ours[16];
    DecodeETC1Block(reinterpret_cast<uint8_t*>(ours), 16, block, BlockContext{});
    uint8_t theirs[48];
    etc1_decode_block(block, theirs);
    for (int p = 0; p < 16; ++p) {
      const uint32_t expected =
          0xFF000000u | (uint32_t{theirs[3 * p]} << 16) | (uint32_t{theirs[3 * p + 1]} << 8) | theirs[3 * p + 2];
      ASSERT_EQ(ours[p], expected) << "block " << i << " pixel " << p;
    }
  }
  EXPECT_GT(compared, kBlocks / 2);
}

TEST(Differential, WholeImagesWithPartialBlocksAgree) {
  // The walk places partial edge blocks where the reference decoders put them.
  const int sizes[][2] = {{5, 5}, {2, 2}, {6, 7}, {9, 10}, {33, 17}, {1, 9}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    const int blockCount = ((width + 3) / 4) * ((height + 3) / 4);
    const std::vector<uint8_t> blocks = test::RandomBytes(static_cast<size_t>(blockCount) * 8, 21);
    std::vector<uint32_t> ours(static_cast<size_t>(width) * height, 0);
    ConvertPixels(reinterpret_cast<uint8_t*>(ours.data()), width * 4, blocks.data(), 0, PixelFormat::DXT1,
                  ChannelOrder::BGRA, width, height, false);
    std::vector<uint8_t> theirs(static_cast<size_t>(width) * height * 4);
    squish::DecompressImage(theirs.data(), width, height, blocks.data(), squish::kDxt1);
    for (int p = 0; p < width * height; ++p) {
      ASSERT_LE(std::abs(int((ours[p] >> 16) & 0xFF) - theirs[4 * p]), 3) << width << "x" << height << " " << p;
      ASSERT_EQ(int(ours[p] >> 24), theirs[4 * p + 3]) << width << "x" << height << " " << p;
    }
  }
}

}  // namespace
}  // namespace mirelth
