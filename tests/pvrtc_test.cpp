// PVRTC I: word order, a solid word field drawing its colour everywhere (both rates, every modulation mode), the
// 4 bpp punch-through pixel, and the 2 bpp interpolated modulation worked by hand. The real-tool samples check
// the arithmetic of the bilinear upscale against a third-party decode.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "encodings/blocks/pvrtc.h"
#include "encodings/convert.h"

namespace mirelth {
namespace {

std::vector<uint32_t> Decode(PixelFormat format, const std::vector<uint64_t>& words, int32_t width, int32_t height) {
  std::vector<uint8_t> bytes(words.size() * 8);
  for (size_t i = 0; i < words.size(); ++i) {
    for (int b = 0; b < 8; ++b) bytes[8 * i + b] = static_cast<uint8_t>(words[i] >> (8 * b));
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  ConvertPixels(reinterpret_cast<uint8_t*>(pixels.data()), width * 4, bytes.data(), 0, format, ChannelOrder::BGRA,
                width, height, false);
  return pixels;
}

TEST(Pvrtc, WordsInReflectedMortonOrder) {
  PvrtcGrid grid;
  ASSERT_TRUE(PvrtcGridOf(PixelFormat::PVRTC4BPP, 64, 16, &grid));  // 16 x 4 words
  EXPECT_EQ(PvrtcWordOffset(grid, 13, 2), 54u * 8);
  EXPECT_EQ(PvrtcWordOffset(grid, 15, 3), 63u * 8);
  ASSERT_TRUE(PvrtcGridOf(PixelFormat::PVRTC2BPP, 16, 64, &grid));  // 2 x 16 words: y keeps its upper bits
  EXPECT_EQ(PvrtcWordOffset(grid, 1, 5), (uint64_t{(5 >> 1) << 2} | 2u | 1u) * 8);
  EXPECT_FALSE(PvrtcGridOf(PixelFormat::PVRTC4BPP, 48, 16, &grid));
  ASSERT_TRUE(PvrtcGridOf(PixelFormat::PVRTC4BPP, 4, 2, &grid));  // smaller than a word: still 2 x 2 words
  EXPECT_EQ(grid.across, 2);
  EXPECT_EQ(grid.down, 2);
}

TEST(Pvrtc, SolidWordFieldIsItsColourEverywhere) {
  std::mt19937_64 random(7);
  for (const PixelFormat format : {PixelFormat::PVRTC4BPP, PixelFormat::PVRTC2BPP}) {
    for (const auto& size : {std::pair{32, 32}, std::pair{8, 64}, std::pair{128, 8}, std::pair{2, 2}}) {
      const uint32_t r = random() & 31, g = random() & 31, b4 = random() & 15;
      // Colour A (opaque, 4-bit blue) and colour B (opaque, its blue widened the same way) are one colour.
      const uint64_t colourA = 0x8000u | (r << 10) | (g << 5) | (b4 << 1);
      const uint64_t colourB = 0x8000u | (r << 10) | (g << 5) | ((b4 << 1) | (b4 >> 3));
      PvrtcGrid grid;
      ASSERT_TRUE(PvrtcGridOf(format, size.first, size.second, &grid));
      std::vector<uint64_t> words(static_cast<size_t>(grid.across) * grid.down);
      for (uint64_t& word : words) {
        // Any modulation; 4 bpp words keep mode 0 (mode 1 has the transparent punch-through value).
        const uint64_t mode = format == PixelFormat::PVRTC2BPP ? random() & 1 : 0;
        word = (colourB << 48) | (colourA << 32) | (mode << 32) | (random() & 0xFFFFFFFFu);
      }
      const auto widen = [](uint32_t v) { return (v << 3) | (v >> 2); };
      const uint32_t expected = 0xFF000000u | (widen(r) << 16) | (widen(g) << 8) | widen((b4 << 1) | (b4 >> 3));
      const std::vector<uint32_t> pixels = Decode(format, words, size.first, size.second);
      for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], expected) << i;
    }
  }
}

// Every word the same: colour A opaque black, colour B opaque white, so a pixel is 255 w / 8 of its weight.
std::vector<uint32_t> BlackWhite(PixelFormat format, uint32_t modulation, bool mode, int32_t width, int32_t height) {
  const uint64_t word = (uint64_t{0xFFFF} << 48) | (uint64_t{0x8000} << 32) | (uint64_t{mode} << 32) | modulation;
  PvrtcGrid grid;
  PvrtcGridOf(format, width, height, &grid);
  return Decode(format, std::vector<uint64_t>(static_cast<size_t>(grid.across) * grid.down, word), width, height);
}
uint32_t Gray(uint32_t weight) { return 0xFF000000u | ((255 * weight / 8) * 0x010101u); }

TEST(Pvrtc, FourBppWeightsAndPunchThrough) {
  // Pixels 0..3 of each row: values 0, 1, 2, 3.
  const uint32_t modulation = 0xE4E4E4E4u;
  const std::vector<uint32_t> standard = BlackWhite(PixelFormat::PVRTC4BPP, modulation, false, 8, 8);
  EXPECT_EQ(standard[0], Gray(0));
  EXPECT_EQ(standard[1], Gray(3));
  EXPECT_EQ(standard[2], Gray(5));
  EXPECT_EQ(standard[3], Gray(8));
  const std::vector<uint32_t> punch = BlackWhite(PixelFormat::PVRTC4BPP, modulation, true, 8, 8);
  EXPECT_EQ(punch[1], Gray(4));
  EXPECT_EQ(punch[2], Gray(4) & 0x00FFFFFFu);  // a 50:50 blend with alpha 0
  EXPECT_EQ(punch[3], Gray(8));
}

TEST(Pvrtc, TwoBppInterpolatedModulation) {
  // Stored values (x + y even) all 3 except pixel (2, 0), which is 0; pixel (0, 0) stores one bit (bit 1).
  uint32_t stored = 0xFFFFFFFFu & ~(3u << 2);
  const auto row0 = [](const std::vector<uint32_t>& p, int x) { return p[x]; };
  // Bit 0 clear: the mean of four neighbours; (1, 0) sees 8, 0, and 8 above (wrapped) and below: 26 / 4 = 6.
  std::vector<uint32_t> p = BlackWhite(PixelFormat::PVRTC2BPP, stored & ~1u, true, 16, 8);
  EXPECT_EQ(row0(p, 0), Gray(8));
  EXPECT_EQ(row0(p, 1), Gray(6));
  EXPECT_EQ(row0(p, 2), Gray(0));
  EXPECT_EQ(row0(p, 3), Gray(6));
  EXPECT_EQ(row0(p, 5), Gray(8));
  // Bit 0 set, bit 20 clear: the horizontal pair, (8 + 0 + 1) / 2 = 4.
  p = BlackWhite(PixelFormat::PVRTC2BPP, stored & ~(1u << 20), true, 16, 8);
  EXPECT_EQ(row0(p, 1), Gray(4));
  // Bit 0 and bit 20 set: the vertical pair, both 8.
  p = BlackWhite(PixelFormat::PVRTC2BPP, stored, true, 16, 8);
  EXPECT_EQ(row0(p, 1), Gray(8));
  // With bit 0 set, pixel (4, 2) stores one bit (21): clear, it is A.
  p = BlackWhite(PixelFormat::PVRTC2BPP, stored & ~(1u << 21), true, 16, 8);
  EXPECT_EQ(p[2 * 16 + 4], Gray(0));
  // Direct mode: one bit a pixel, A or B.
  p = BlackWhite(PixelFormat::PVRTC2BPP, 0x0000000Au, false, 16, 8);
  EXPECT_EQ(row0(p, 0), Gray(0));
  EXPECT_EQ(row0(p, 1), Gray(8));
  EXPECT_EQ(row0(p, 3), Gray(8));
}

}  // namespace
}  // namespace mirelth
