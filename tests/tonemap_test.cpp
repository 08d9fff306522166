// HDR tone mapping: the rule on pixels worked by hand (checked with an independent script): LDR values drawn as
// F drew them, a value above 1 setting the white point, a pure colour, zero, negative, NaN and infinite values;
// the white point found over exactly the samples a draw takes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "picture/tonemap.h"

namespace mirelth {
namespace {

TEST(ToneMap, PixelsWorkedByHand) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* what;
    float rgba[4];
    double whitePoint;
    uint32_t expected;
  } cases[] = {
      {"LDR under Lw 1: F unchanged", {0.5f, 0.25f, 0.1f, 1.0f}, 1.0, 0xFFBC8959},
      {"the white point maps to white", {2.0f, 2.0f, 2.0f, 1.0f}, 2.0, 0xFFFFFFFF},
      {"mid gray under Lw 2: T = 0.5 (1 + 0.125) / 1.5", {0.5f, 0.5f, 0.5f, 1.0f}, 2.0, 0xFFA5A5A5},
      {"white under Lw 4", {1.0f, 1.0f, 1.0f, 1.0f}, 4.0, 0xFFC1C1C1},
      {"a pure colour above 1 stays saturated", {4.0f, 0.0f, 0.0f, 1.0f}, 3.0, 0xFFFF0000},
      {"negative is 0, alpha as F", {-1.0f, 0.0f, 0.5f, 0.5f}, 3.0, 0x800000B9},
      {"NaN is 0", {nan, 1.0f, 0.0f, 1.0f}, 1.0, 0xFF00FF00},
      {"+Inf is 65504", {inf, 0.0f, 0.0f, 1.0f}, 65504.0 * 0.2126, 0xFFFF0000},
      {"zero with alpha 0", {0.0f, 0.0f, 0.0f, 0.0f}, 5.0, 0x00000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToneMapPixel(c.rgba, c.whitePoint), c.expected)
        << c.what << std::hex << " 0x" << ToneMapPixel(c.rgba, c.whitePoint);
  }
  // With no value above 1 the result is exactly F's for every half float.
  for (uint32_t bits = 0; bits < 0x3C00; bits += 7) {
    float v;
    const uint32_t single = bits == 0 ? 0 : ((((bits >> 10) + 112) << 23) | ((bits & 0x3FF) << 13));
    std::memcpy(&v, &single, 4);
    const float rgba[4] = {v, v, v, 1.0f};
    const double srgb = v <= 0.0031308f ? 12.92 * v : 1.055 * std::pow(static_cast<double>(v), 1.0 / 2.4) - 0.055;
    const auto byte = static_cast<uint32_t>(std::lround(srgb * 255.0));
    EXPECT_EQ(ToneMapPixel(rgba, 1.0) & 0xFF, byte) << v;
  }
}

// The white point is the largest luminance among the rows and columns a draw asks for, not the whole picture's.
TEST(ToneMap, WhitePointOverTheSamplesTaken) {
  // 3 x 2 pixels: the brightest (Y = 8) in a column the draw does not take.
  const std::vector<float> pixels = {2,    2,    2,    1, 8, 8, 8, 1, 0.5f, 0.5f, 0.5f, 1,
                                     0.5f, 0.5f, 0.5f, 1, 8, 8, 8, 1, 1,    1,    1,    1};
  FloatPixelRows floats(pixels.data(), 3);
  ToneMappedRows rows(floats);
  const int32_t columns[] = {0, 2}, wanted[] = {0, 1};
  DecodeFailure failure;
  ASSERT_TRUE(rows.Begin(columns, 2, wanted, 2, &failure));
  EXPECT_DOUBLE_EQ(rows.whitePoint(), 2.0);
  uint32_t out[2];
  ASSERT_TRUE(rows.Row(0, out, &failure));
  EXPECT_EQ(out[0], 0xFFFFFFFFu);
  EXPECT_EQ(out[1], 0xFFA5A5A5u);
  // Nothing above 1 among the samples: Lw = 1.
  const int32_t low[] = {2};
  ASSERT_TRUE(rows.Begin(low, 1, wanted, 2, &failure));
  EXPECT_DOUBLE_EQ(rows.whitePoint(), 1.0);
}

}  // namespace
}  // namespace mirelth
