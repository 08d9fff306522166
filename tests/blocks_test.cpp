// Block decoders: the worked palettes and blocks, the exhaustive blend checks against a per-channel
// reference, and the walk over partial blocks and flips.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixels/blocks.h"
#include "pixels/convert.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using enum ChannelOrder;

std::vector<uint32_t> DecodeBlock(BlockDecoder decode, const std::vector<uint8_t>& block) {
  std::vector<uint32_t> pixels(16, 0xDEADBEEF);
  decode(reinterpret_cast<uint8_t*>(pixels.data()), 16, block.data());
  return pixels;
}

// The palette a DXT1 block yields, read back through indices 0, 1, 2, 3 in row 0.
std::vector<uint32_t> Dxt1Palette(uint16_t c0, uint16_t c1) {
  const std::vector<uint8_t> block = {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
                                      0xE4,        0,               0,          0};  // row 0: 0, 1, 2, 3
  const auto pixels = DecodeBlock(DecodeDXT1Block, block);
  return {pixels[0], pixels[1], pixels[2], pixels[3]};
}

TEST(Dxt, Dxt1PalettesInBothModes) {
  EXPECT_EQ(Dxt1Palette(0xFFFF, 0x0000), (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFFAAAAAA, 0xFF545454}));
  EXPECT_EQ(Dxt1Palette(0x0000, 0xFFFF), (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF, 0xFF7F7F7F, 0x00000000}));
  EXPECT_EQ(Dxt1Palette(0x1234, 0x1234)[3], 0x00000000u);  // equal words: three-colour mode
}

TEST(Dxt, Dxt3UsesFourColoursAndNibbleAlpha) {
  // colour0 < colour1 would be three-colour mode in DXT1; DXT3 still blends, and index 3 is a colour.
  std::vector<uint8_t> block = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,  // alpha 0, 1, ..., 15
                                0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // all index 3
  const auto pixels = DecodeBlock(DecodeDXT3Block, block);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], (uint32_t(i * 17) << 24) | 0xAAAAAAu) << i;
}

TEST(Dxt, Dxt5AlphaPalettes) {
  const struct {
    uint8_t a0, a1;
    uint8_t expected[8];
  } cases[] = {{255, 0, {255, 0, 218, 182, 145, 109, 72, 36}},
               {0, 255, {0, 255, 51, 102, 153, 204, 0, 255}},
               {100, 100, {100, 100, 100, 100, 100, 100, 0, 255}}};
  for (const auto& c : cases) {
    for (uint32_t index = 0; index < 8; ++index) {
      // Every pixel uses `index`: 16 copies of 3 bits.
      uint64_t bits = 0;
      for (int p = 0; p < 16; ++p) bits |= uint64_t{index} << (3 * p);
      std::vector<uint8_t> block = {c.a0, c.a1};
      for (int k = 0; k < 6; ++k) block.push_back(static_cast<uint8_t>(bits >> (8 * k)));
      block.insert(block.end(), {0, 0, 0, 0, 0, 0, 0, 0});
      const auto pixels = DecodeBlock(DecodeDXT5Block, block);
      for (uint32_t pixel : pixels) ASSERT_EQ(pixel >> 24, c.expected[index]) << int(c.a0) << "," << int(c.a1);
    }
  }
}

TEST(Dxt, PackedBlendsEqualThePerChannelFormulaForEveryPair) {
  // Two channels per 32-bit operation must give exactly (171 c0 + 85 c1) >> 8 and the average, per channel.
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t c0 = a * 0x01010101u, c1 = b * 0x01010101u;
      uint32_t first, second;
      InterpolateColors(&first, &second, c0, c1);
      ASSERT_EQ(first, ((171 * a + 85 * b) >> 8) * 0x01010101u) << a << "," << b;
      ASSERT_EQ(second, ((85 * a + 171 * b) >> 8) * 0x01010101u) << a << "," << b;
      uint8_t alphas[8] = {uint8_t(a), uint8_t(b)};
      BuildAlphaPalette8(alphas);
      for (uint32_t i = 1; i <= 6; ++i) ASSERT_EQ(alphas[1 + i], ((7 - i) * a + i * b) / 7);
    }
  }
  // Every pair of 5-6-5 words through the DXT1 three-colour average (c0 <= c1).
  for (uint32_t c0 = 0; c0 < 65536; c0 += 97) {
    for (uint32_t c1 = c0; c1 < 65536; c1 += 89) {
      const uint32_t e0 = Expand565(uint16_t(c0)), e1 = Expand565(uint16_t(c1));
      uint32_t average = 0xFF000000u;
      for (int shift = 0; shift < 24; shift += 8) average |= ((((e0 >> shift) & 0xFF) + ((e1 >> shift) & 0xFF)) >> 1) << shift;
      ASSERT_EQ(Dxt1Palette(uint16_t(c0), uint16_t(c1))[2], average) << c0 << "," << c1;
    }
  }
}

TEST(Atc, PalettesOfBothModes) {
  const struct {
    uint16_t c0, c1;
    uint32_t expected[4];
  } cases[] = {
      {0x7FFF, 0x0000, {0xFFFFFFFF, 0xFFAAAAAA, 0xFF545454, 0xFF000000}},
      {0x8000, 0xFFFF, {0xFF000000, 0xFFC0C1C1, 0xFF000000, 0xFFFFFFFF}},
      {0xFC00, 0x001F, {0xFF000000, 0xFFFE00C1, 0xFFFF0000, 0xFF0000FF}},
      {0x0020, 0x0020, {0xFF000800, 0xFF000600, 0xFF000500, 0xFF000400}},
  };
  for (const auto& c : cases) {
    uint32_t palette[4];
    BuildATCPalette(c.c0, c.c1, palette);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(palette[i], c.expected[i]) << std::hex << c.c0 << " entry " << i;
  }
}

TEST(Atc, AlphaBlocks) {
  // ATCA: explicit 4-bit alpha 0, 17, ..., 255 over pixels 0..15.
  std::vector<uint8_t> explicitAlpha = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0};
  auto pixels = DecodeBlock(DecodeATCABlock, explicitAlpha);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], (uint32_t(i * 17) << 24) | 0xFFFFFFu) << i;
  // ATCI: eight-value mode for a0 >= a1, so a0 = a1 = 100 with indices 7 gives 100.
  std::vector<uint8_t> equal = {100, 100, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t pixel : DecodeBlock(DecodeATCIBlock, equal)) EXPECT_EQ(pixel >> 24, 100u);
  // a0 < a1: six-value mode, index 7 is 255 and index 6 is 0.
  std::vector<uint8_t> six = {0, 10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  for (uint32_t pixel : DecodeBlock(DecodeATCIBlock, six)) EXPECT_EQ(pixel >> 24, 255u);
  std::vector<uint8_t> sixZero = {0, 10, 0xB6, 0x6D, 0xDB, 0xB6, 0x6D, 0xDB, 0, 0, 0, 0, 0, 0, 0, 0};  // all 6
  for (uint32_t pixel : DecodeBlock(DecodeATCIBlock, sixZero)) EXPECT_EQ(pixel >> 24, 0u);
  // Plain ATC is opaque whatever its indices, the mode-1 black included.
  const auto random = test::RandomBytes(8 * 500, 4);
  for (size_t i = 0; i < random.size(); i += 8) {
    for (uint32_t pixel : DecodeBlock(DecodeATCBlock, {random.begin() + i, random.begin() + i + 8})) {
      ASSERT_EQ(pixel >> 24, 255u);
    }
  }
}

struct Etc1Case {
  const char* name;
  std::vector<uint8_t> block;
  uint32_t columns01, columns23;  // or rows 0-1 / rows 2-3 when `byRows`
  bool byRows;
};

TEST(Etc1, WorkedBlocks) {
  const Etc1Case cases[] = {
      {"individual", {0x80, 0x80, 0x80, 0x00, 0, 0, 0, 0}, 0xFF8A8A8A, 0xFF020202, false},
      {"flipped", {0x80, 0x80, 0x80, 0x01, 0, 0, 0, 0}, 0xFF8A8A8A, 0xFF020202, true},
      {"codeword 2", {0x66, 0x66, 0x66, 0x48, 0, 0, 0, 0xFF}, 0xFF838383, 0xFF6F6F6F, false},
      {"differential beyond 31", {0xFB, 0x07, 0x80, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFF480000, 0xFF610000, false},
  };
  for (const Etc1Case& c : cases) {
    const auto pixels = DecodeBlock(DecodeETC1Block, c.block);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        const bool first = c.byRows ? y < 2 : x < 2;
        EXPECT_EQ(pixels[4 * y + x], first ? c.columns01 : c.columns23) << c.name << " " << x << "," << y;
      }
    }
  }
  // Only bit 16 + 4 of the index word: column 1, row 0 has index 2.
  const auto pixels = DecodeBlock(DecodeETC1Block, {0x88, 0x88, 0x88, 0x00, 0x00, 0x10, 0x00, 0x00});
  for (int i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], i == 1 ? 0xFF868686u : 0xFF8A8A8Au) << i;
}

// Block i of the image is DXT1 with a single colour: colour0 = colour1 = i + 1 (three-colour mode, index 0).
std::vector<uint8_t> NumberedDxt1(int count) {
  std::vector<uint8_t> blocks;
  for (int i = 0; i < count; ++i) {
    const uint16_t c = static_cast<uint16_t>(i + 1);
    blocks.insert(blocks.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 8), 0, 0, 0, 0});
  }
  return blocks;
}

TEST(BlockWalk, PartialBlocksAndFlipLandInTheirPlaces) {
  const int sizes[][2] = {{5, 5}, {2, 2}, {6, 7}, {9, 10}, {4, 6}, {1, 1}, {8, 3}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    const int columns = (width + 3) / 4, rows = (height + 3) / 4;
    const auto blocks = NumberedDxt1(columns * rows);
    for (bool flip : {false, true}) {
      // One spare row either side catches writes outside the image.
      const int pitch = width * 4;
      std::vector<uint32_t> buffer(static_cast<size_t>(width) * (height + 2), 0xCDCDCDCD);
      uint32_t* image = buffer.data() + width;
      ConvertPixels(reinterpret_cast<uint8_t*>(image), pitch, blocks.data(), 0, DXT1, BGRA, width, height, flip);
      for (int y = 0; y < height; ++y) {
        const int row = flip ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
          const uint32_t expected = Expand565(uint16_t((y / 4) * columns + x / 4 + 1)) | 0xFF000000u;
          ASSERT_EQ(image[row * width + x], expected) << width << "x" << height << " flip " << flip << " " << x << "," << y;
        }
      }
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(buffer[x], 0xCDCDCDCDu);
        ASSERT_EQ(buffer[static_cast<size_t>(width) * (height + 1) + x], 0xCDCDCDCDu);
      }
    }
  }
}

TEST(BlockWalk, ReorderChannelsTouchesExactlyTheImage) {
  // 6 x 3 declared as RGBA: R and B exchanged in all 3 rows of 6 pixels and nothing beyond (pitch has 2 spare).
  const int width = 6, height = 3, pitchPixels = 8;
  std::vector<uint32_t> image(pitchPixels * height, 0x11223344);
  ReorderChannels(reinterpret_cast<uint8_t*>(image.data()), pitchPixels * 4, width, height, RGBA, BGRA);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < pitchPixels; ++x) {
      EXPECT_EQ(image[y * pitchPixels + x], x < width ? 0x11443322u : 0x11223344u);
    }
  }
}

}  // namespace
}  // namespace mirelth
