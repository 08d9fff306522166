// Block decoders: the worked palettes and blocks, the exhaustive blend checks against a per-channel
// reference, and the walk over partial blocks and flips.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "encodings/blocks/blocks.h"
#include "encodings/convert.h"
#include "encodings/encoding.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using enum ChannelOrder;

std::vector<uint32_t> DecodeBlock(BlockDecoder decode, const std::vector<uint8_t>& block) {
  std::vector<uint32_t> pixels(16, 0xDEADBEEF);
  decode(reinterpret_cast<uint8_t*>(pixels.data()), 16, block.data(), BlockContext{});
  return pixels;
}

// The palette a DXT1 block yields, read back through indices 0, 1, 2, 3 in row 0.
std::vector<uint32_t> Dxt1Palette(uint16_t c0, uint16_t c1) {
  const std::vector<uint8_t> block = {
      uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xE4, 0, 0, 0};  // row 0: 0, 1, 2, 3
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
  std::vector<uint8_t> block = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,   // alpha 0, 1, ..., 15
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
      for (int shift = 0; shift < 24; shift += 8)
        average |= ((((e0 >> shift) & 0xFF) + ((e1 >> shift) & 0xFF)) >> 1) << shift;
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
          ASSERT_EQ(image[row * width + x], expected)
              << width << "x" << height << " flip " << flip << " " << x << "," << y;
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

// Blocks assembled field by field, lowest bit first.
class BlockWriter {
 public:
  BlockWriter& Put(uint32_t value, uint32_t bits) {
    for (uint32_t k = 0; k < bits; ++k, ++at_) bytes_[at_ / 8] |= static_cast<uint8_t>(((value >> k) & 1) << (at_ % 8));
    return *this;
  }
  std::vector<uint8_t> Block() const { return std::vector<uint8_t>(bytes_, bytes_ + 16); }

 private:
  uint8_t bytes_[16] = {};
  uint32_t at_ = 0;
};

TEST(Bc7, WorkedBlocks) {
  // Mode 6: RGBA 7.7.7.7 with a p-bit per endpoint, 4-bit indices. Endpoints with p-bits: R 255/0, G 1/254,
  // B 129/128, A 255/254. Pixel 0 index 0, pixel 8 index 8 (weight 34), pixel 15 index 15 (weight 64).
  BlockWriter mode6;
  mode6.Put(1u << 6, 7).Put(127, 7).Put(0, 7).Put(0, 7).Put(127, 7).Put(64, 7).Put(64, 7).Put(127, 7).Put(127, 7);
  mode6.Put(1, 1).Put(0, 1);
  for (int i = 0; i < 16; ++i) mode6.Put(i == 8 ? 8 : i == 15 ? 15 : 0, i == 0 ? 3 : 4);
  auto pixels = DecodeBlock(DecodeBC7Block, mode6.Block());
  EXPECT_EQ(pixels[0], 0xFFFF0181u);
  EXPECT_EQ(pixels[8], 0xFE788780u);  // ((30 e0 + 34 e1 + 32) >> 6) per channel
  EXPECT_EQ(pixels[15], 0xFE00FE80u);
  // Mode 4 with rotation 1 (alpha and red exchanged) and index selection 1 (colour from the 3-bit indices):
  // colour 5-bit endpoints 31/0 widen to 255/0; alpha 6-bit 63/0 to 255/0.
  BlockWriter mode4;
  mode4.Put(1u << 4, 5).Put(1, 2).Put(1, 1);
  mode4.Put(31, 5).Put(0, 5).Put(0, 5).Put(0, 5).Put(0, 5).Put(0, 5).Put(63, 6).Put(0, 6);
  for (int i = 0; i < 16; ++i) mode4.Put(i == 1 ? 3 : 0, i == 0 ? 1 : 2);  // primary (2-bit): the alpha's
  for (int i = 0; i < 16; ++i) mode4.Put(i == 1 ? 7 : 0, i == 0 ? 2 : 3);  // secondary (3-bit): the colour's
  pixels = DecodeBlock(DecodeBC7Block, mode4.Block());
  EXPECT_EQ(pixels[0], 0xFFFF0000u);  // colour (255, 0, 0), alpha 255, then red and alpha exchanged: the same
  EXPECT_EQ(pixels[1], 0x00000000u);  // colour 0 and alpha 0
  // A first byte of 0 is reserved: transparent black.
  std::vector<uint8_t> reserved(16, 0xFF);
  reserved[0] = 0;
  for (uint32_t p : DecodeBlock(DecodeBC7Block, reserved)) EXPECT_EQ(p, 0u);
}

TEST(Bc6h, WorkedBlocks) {
  // Mode 11 (12-bit endpoints, 8-bit deltas, transformed): r0 = 1664 (bit 10 in the reversed r0[10:11]), r1 delta
  // -16, green and blue 0. Unquantised: 26632 and 26376; scaled by 31/64: halves 0x3263 and 0x31E7.
  BlockWriter mode11;
  mode11.Put(11, 5).Put(1664 & 0x3FF, 10).Put(0, 10).Put(0, 10).Put(0xF0, 8).Put(0, 1).Put(1, 1);
  mode11.Put(0, 8).Put(0, 2).Put(0, 8).Put(0, 2);
  for (int i = 0; i < 16; ++i) mode11.Put(i == 15 ? 15 : 0, i == 0 ? 3 : 4);
  uint16_t halves[16][3];
  ASSERT_TRUE(DecodeBC6HHalves(mode11.Block().data(), false, halves));
  EXPECT_EQ(halves[0][0], 0x3263);
  EXPECT_EQ(halves[15][0], 0x31E7);
  EXPECT_EQ(halves[0][1], 0);
  // Signed mode 3 (10-bit, not transformed): red -100 is negative and draws 0 through F; green 511 unquantises
  // to 0x7FFF (the largest finite half after 31/32) and draws 255.
  BlockWriter negative;
  negative.Put(3, 5).Put(static_cast<uint32_t>(-100), 10).Put(511, 10).Put(0, 10);
  negative.Put(static_cast<uint32_t>(-100), 10).Put(511, 10).Put(0, 10);
  ASSERT_TRUE(DecodeBC6HHalves(negative.Block().data(), true, halves));
  EXPECT_EQ(halves[5][0], 0x8000 | ((6432 * 31) >> 5));
  EXPECT_EQ(halves[5][1], 0x7BFF);
  for (uint32_t p : DecodeBlock(DecodeBC6HSBlock, negative.Block())) EXPECT_EQ(p, 0xFF00FF00u);
  // Reserved mode 19: black.
  BlockWriter reserved;
  reserved.Put(19, 5).Put(0xFFFFFFFF, 32);
  EXPECT_FALSE(DecodeBC6HHalves(reserved.Block().data(), false, halves));
  for (uint32_t p : DecodeBlock(DecodeBC6HUBlock, reserved.Block())) EXPECT_EQ(p, 0xFF000000u);
}

TEST(Bc45, SignedPalettesMapThroughS8) {
  // e0 = 127, e1 = -128 (read as -127): eight entries; index 2 is (6 x 127 - 127) / 7 = 90.71 -> 219.
  std::vector<uint8_t> block = {0x7F, 0x80, 0, 0, 0, 0, 0, 0};
  auto setIndex = [&](int pixel, uint32_t index) {
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t{block[2 + i]} << (8 * i);
    bits |= uint64_t{index} << (3 * pixel);
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
  };
  setIndex(1, 1);
  setIndex(2, 2);
  auto pixels = DecodeBlock(DecodeBC4SBlock, block);
  EXPECT_EQ(pixels[0], 0xFFFFFFFFu);
  EXPECT_EQ(pixels[1], 0xFF000000u);
  EXPECT_EQ(pixels[2], 0xFFDBDBDBu);
  // e0 <= e1: six entries, then -1 and +1.
  block = {0x00, 0x10, 0, 0, 0, 0, 0, 0};
  setIndex(0, 6);
  setIndex(1, 7);
  pixels = DecodeBlock(DecodeBC4SBlock, block);
  EXPECT_EQ(pixels[0], 0xFF000000u);
  EXPECT_EQ(pixels[1], 0xFFFFFFFFu);
  // BC5 is a normal map: blue is z = sqrt(1 - x^2 - y^2) of the two channels as [-1, 1], drawn 255 (z + 1) / 2.
  // Worked by hand: signed x = 1, y = 0 -> z = 0 (128); signed 0, 0 -> z = 1 (255); signed x = 64/127,
  // y = -64/127 -> z = 0.7015 (217); unsigned 255, 128 -> x = 1, y = 1/255 -> z = 0 (128); unsigned 128, 128 ->
  // x = y = 1/255: z = 0.99998 (255); unsigned 200, 60 -> x = 0.5686, y = -0.5294 -> z = 0.6295 (208).
  const struct {
    BlockDecoder decode;
    uint8_t red, green;
    uint32_t expected;
  } normals[] = {
      {DecodeBC5SBlock, 0x7F, 0x00, 0xFFFF8080u}, {DecodeBC5SBlock, 0x00, 0x00, 0xFF8080FFu},
      {DecodeBC5SBlock, 64, 0xC0, 0xFFC03FD9u},   {DecodeBC5UBlock, 255, 128, 0xFFFF8080u},
      {DecodeBC5UBlock, 128, 128, 0xFF8080FFu},   {DecodeBC5UBlock, 200, 60, 0xFFC83CD0u},
  };
  for (const auto& n : normals) {
    const std::vector<uint8_t> bc5 = {n.red, n.red, 0, 0, 0, 0, 0, 0, n.green, n.green, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeBlock(n.decode, bc5)[3], n.expected) << std::hex << int(n.red) << " " << int(n.green);
  }
  // Every texel decoder of the table gives its tile decoder's pixels (random blocks: every mode and layout).
  const auto random = test::RandomBytes(16 * 20000, 77);
  int texelDecoders = 0;
  for (int32_t code = 0; code < kPixelFormatCount; ++code) {
    const Encoding* encoding = EncodingOf(static_cast<PixelFormat>(code));
    if (!encoding || !encoding->decodeTexel || encoding->blockWidth != 4 || encoding->blockHeight != 4) continue;
    ++texelDecoders;
    for (size_t b = 0; b < 20000; ++b) {
      const std::vector<uint8_t> one(random.begin() + 16 * b, random.begin() + 16 * (b + 1));
      const auto tile = DecodeBlock(encoding->decodeBlock, one);
      for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(encoding->decodeTexel(one.data(), i % 4, i / 4, BlockContext{}), tile[i])
            << encoding->name << " block " << b << " pixel " << i;
      }
    }
  }
  EXPECT_GE(texelDecoders, 7);
  // Float texel decoders give their float tile decoder's values, to the bit.
  int floatTexelDecoders = 0;
  for (int32_t code = 0; code < kPixelFormatCount; ++code) {
    const Encoding* encoding = EncodingOf(static_cast<PixelFormat>(code));
    if (!encoding || !encoding->decodeFloatTexel) continue;
    ++floatTexelDecoders;
    const int32_t bw = encoding->blockWidth, bh = encoding->blockHeight;
    std::vector<float> tile(static_cast<size_t>(bw) * bh * 4);
    for (size_t b = 0; b < 20000; ++b) {
      const uint8_t* one = random.data() + 16 * b;
      encoding->decodeFloatBlock(tile.data(), 4 * bw, one, BlockContext{});
      for (int32_t i = 0; i < bw * bh; ++i) {
        float texel[4];
        encoding->decodeFloatTexel(texel, one, i % bw, i / bw, BlockContext{});
        ASSERT_EQ(std::memcmp(texel, &tile[4 * static_cast<size_t>(i)], sizeof texel), 0)
            << encoding->name << " block " << b << " pixel " << i;
      }
    }
  }
  EXPECT_GE(floatTexelDecoders, 2);
  // Texel set decoders give their tile decoder's pixels for any list of a block's pixels (random lists here; the
  // ASTC differential test runs them over real encoder output too).
  std::mt19937 pick(5);
  int setDecoders = 0;
  for (int32_t code = 0; code < kPixelFormatCount; ++code) {
    const Encoding* encoding = EncodingOf(static_cast<PixelFormat>(code));
    if (!encoding || !encoding->decodeTexelSet) continue;
    ++setDecoders;
    const BlockContext context{encoding->blockWidth, encoding->blockHeight};
    const int32_t texels = encoding->blockWidth * encoding->blockHeight;
    std::vector<uint32_t> tile(static_cast<size_t>(texels)), got(static_cast<size_t>(texels));
    std::vector<uint8_t> list(static_cast<size_t>(texels));
    for (size_t b = 0; b < 5000; ++b) {
      const uint8_t* one = random.data() + 16 * b;
      encoding->decodeBlock(reinterpret_cast<uint8_t*>(tile.data()), 4 * encoding->blockWidth, one, context);
      const int32_t count = 1 + static_cast<int32_t>(pick() % static_cast<uint32_t>(texels));
      for (int32_t i = 0; i < count; ++i) list[i] = static_cast<uint8_t>(pick() % static_cast<uint32_t>(texels));
      encoding->decodeTexelSet(one, list.data(), count, got.data(), context);
      for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(got[i], tile[list[i]]) << encoding->name << " block " << b << " pixel " << int(list[i]);
      }
    }
  }
  EXPECT_GE(setDecoders, 14);
  // Texel rows (several blocks at a time, the rest one by one) give what the texel decoder gives.
  const struct {
    TexelDecoder texel;
    TexelRowDecoder row;
    size_t blockBytes;
  } rowDecoders[] = {{DecodeDXT1Texel, DecodeDXT1Texels, 8}, {DecodeDXT5Texel, DecodeDXT5Texels, 16}};
  for (const auto& decoder : rowDecoders) {
    const int32_t count = static_cast<int32_t>(random.size() / decoder.blockBytes) - 3;  // not a multiple of 4
    std::vector<TexelSpot> spots(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) spots[i] = {decoder.blockBytes * static_cast<size_t>(i), random[i] & 3};
    std::vector<uint32_t> row(static_cast<size_t>(count));
    for (int32_t y = 0; y < 4; ++y) {
      decoder.row(random.data(), spots.data(), count, y, row.data(), BlockContext{});
      for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(row[i], decoder.texel(random.data() + spots[i].offset, spots[i].x, y, BlockContext{}))
            << i << " " << y;
      }
    }
  }
  // Run decoders (whole blocks of a row in one call) give their tile decoder's pixels.
  int runDecoders = 0;
  for (int32_t code = 0; code < kPixelFormatCount; ++code) {
    const Encoding* encoding = EncodingOf(static_cast<PixelFormat>(code));
    if (!encoding || !encoding->decodeBlockRun) continue;
    ++runDecoders;
    const int32_t count = static_cast<int32_t>(random.size() / encoding->blockBytes) - 1;
    const intptr_t pitch = 16 * static_cast<intptr_t>(count);
    std::vector<uint8_t> image(static_cast<size_t>(pitch) * 4);
    encoding->decodeBlockRun(image.data(), pitch, random.data(), count, BlockContext{});
    for (int32_t b = 0; b < count; ++b) {
      const uint8_t* one = random.data() + static_cast<size_t>(b) * encoding->blockBytes;
      const auto tile = DecodeBlock(encoding->decodeBlock, std::vector<uint8_t>(one, one + encoding->blockBytes));
      for (int i = 0; i < 16; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, &image[static_cast<size_t>((i / 4) * pitch + 16 * b + 4 * (i % 4))], 4);
        ASSERT_EQ(pixel, tile[i]) << encoding->name << " block " << b << " pixel " << i;
      }
    }
  }
  EXPECT_GE(runDecoders, 5);
  // Every unsigned endpoint pair with every index: the tile's palettes (both computed, one chosen, divisions by
  // multiplication) against the texel's integer divisions.
  std::vector<uint8_t> every(8);
  uint64_t indices = 0;
  for (int i = 0; i < 16; ++i) indices |= uint64_t(i < 8 ? i : 15 - i) << (3 * i);
  for (int i = 0; i < 6; ++i) every[2 + i] = static_cast<uint8_t>(indices >> (8 * i));
  // DXT5's alpha block is the same: its texel computes one entry alone. So is an unsigned R11 block's header
  // (base, then multiplier and table; every value each way: the tile's in single precision, the texel's from a
  // table), its indices big-endian.
  std::vector<uint8_t> dxt5(every), r11(every);
  for (uint8_t b : {0x34, 0x12, 0x10, 0x85, 0xE4, 0x1B, 0x4E, 0xB1}) dxt5.push_back(b);
  for (int i = 0; i < 6; ++i) r11[2 + i] = static_cast<uint8_t>(indices >> (8 * (5 - i)));
  for (uint32_t pair = 0; pair < 65536; ++pair) {
    every[0] = dxt5[0] = r11[0] = static_cast<uint8_t>(pair);
    every[1] = dxt5[1] = r11[1] = static_cast<uint8_t>(pair >> 8);
    const auto tile = DecodeBlock(DecodeBC4UBlock, every), tile5 = DecodeBlock(DecodeDXT5Block, dxt5);
    const auto tile11 = DecodeBlock(DecodeEACR11UBlock, r11);
    for (int i = 0; i < 16; ++i) {
      ASSERT_EQ(DecodeBC4UTexel(every.data(), i % 4, i / 4, BlockContext{}), tile[i]) << pair << " " << i;
      ASSERT_EQ(DecodeDXT5Texel(dxt5.data(), i % 4, i / 4, BlockContext{}), tile5[i]) << pair << " " << i;
      ASSERT_EQ(DecodeEACR11UTexel(r11.data(), i % 4, i / 4, BlockContext{}), tile11[i]) << pair << " " << i;
    }
  }
}

// ASTC blocks whose result the definition fixes outright: void-extent blocks (LDR UNORM16 drawn as its top 8
// bits, HDR half floats through F), and the error colour for reserved bits, bad extents and reserved modes.
TEST(Astc, VoidExtentAndErrorBlocks) {
  struct Row {
    const char* what;
    uint64_t low;         // bits 0..63
    uint16_t r, g, b, a;  // bits 64..127
    uint32_t expected;    // BGRA
  };
  constexpr uint64_t kVoid = 0x1FC | (3u << 10) | (0xFFFFFFFFFFFFFull << 12);  // all-ones extent: constant colour
  constexpr uint64_t kExtent =
      0x1FC | (3u << 10) | (uint64_t{10} << 12) | (uint64_t{20} << 25) | (uint64_t{30} << 38) | (uint64_t{40} << 51);
  const Row rows[] = {
      {"LDR constant", kVoid, 0x1234, 0x80FF, 0xFFFF, 0x00FF, 0x001280FFu},
      {"LDR with an extent", kExtent, 0xFFFF, 0, 0, 0xFFFF, 0xFFFF0000u},
      {"HDR 1.0 and 0.5 alpha", kVoid | (1u << 9), 0x3C00, 0, 0x7C00, 0x3800, 0x80FF00FFu},
      {"reserved bit 10 clear", kVoid & ~uint64_t{1u << 10}, 0, 0, 0, 0, 0xFFFF00FFu},
      {"extent min >= max", (kExtent & ~(uint64_t{0x1FFF} << 25)) | (uint64_t{5} << 25), 0, 0, 0, 0, 0xFFFF00FFu},
      {"reserved block mode", 0, 0, 0, 0, 0, 0xFFFF00FFu},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> block(16);
    for (int i = 0; i < 8; ++i) block[i] = uint8_t(row.low >> (8 * i));
    const uint16_t colour[4] = {row.r, row.g, row.b, row.a};
    for (int c = 0; c < 4; ++c) block[8 + 2 * c] = uint8_t(colour[c]), block[9 + 2 * c] = uint8_t(colour[c] >> 8);
    for (const int32_t side : {4, 12}) {
      std::vector<uint32_t> pixels(144, 0xDEADBEEF);
      DecodeASTCBlock(reinterpret_cast<uint8_t*>(pixels.data()), 4 * side, block.data(), BlockContext{side, side});
      const size_t count = static_cast<size_t>(side * side);
      for (size_t i = 0; i < count; ++i) ASSERT_EQ(pixels[i], row.expected) << row.what << " texel " << i;
    }
  }
}

}  // namespace
}  // namespace mirelth
