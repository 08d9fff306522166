// Filtered thumbnails: the samples of a footprint, the alpha-weighted mean worked by hand, and the choice of the
// mip level (a DDS and a PVR whose levels are distinct solid colours, a chain cut short by the end of the file).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "formats/containers.h"
#include "picture/filter.h"
#include "picture/texture.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

std::vector<int32_t> Positions(int32_t thumb, int32_t image) {
  AxisSamples axis;
  EXPECT_TRUE(PlanAxis(thumb, image, &axis));
  return std::vector<int32_t>(axis.positions.get(), axis.positions.get() + axis.count);
}

TEST(Filter, SamplesOfAFootprint) {
  const struct {
    int32_t thumb, image;
    std::vector<int32_t> positions;
  } cases[] = {
      {1, 4, {0, 1, 2, 3}},           // up to 4 wide: every column
      {1, 5, {0, 1, 3, 4}},           // 5 wide: x0 + floor((2i + 1) 5 / 8)
      {1, 16, {2, 6, 10, 14}},        // 16 wide
      {2, 7, {0, 1, 2, 3, 4, 5, 6}},  // [0, 3) and [3, 7)
      {3, 2, {0, 1}},                 // enlarged: 0, 0, 1 (a position is not repeated)
      {2, 40, {2, 7, 12, 17, 22, 27, 32, 37}},
  };
  for (const auto& c : cases) EXPECT_EQ(Positions(c.thumb, c.image), c.positions) << c.thumb << " of " << c.image;
}

// A 2 x 2 32-bit TGA (top-left origin, 8 alpha bits) of four pixels, drawn as a 1-pixel thumbnail.
uint32_t MeanOf(const uint8_t (&bgra)[16]) {
  std::vector<uint8_t> file(18, 0);
  file[2] = 2, file[12] = 2, file[14] = 2, file[16] = 32, file[17] = 0x28;
  file.insert(file.end(), bgra, bgra + 16);
  const test::Drawn drawn = test::DrawBytes(FileType::kTga, file, test::Mode::kThumbnail, 1);
  EXPECT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  return drawn.ok ? drawn.image.at(0, 0) : 0;
}

TEST(Filter, AlphaWeightedMean) {
  // (R, G, B, A) = (255, 0, 0, 255), (0, 0, 255, 0), (0, 255, 0, 128), (10, 20, 30, 64): S = 447, alpha
  // (447 + 2) / 4 = 112, R = (255 x 255 + 10 x 64 + 223) / 447 = 147, G = (255 x 128 + 20 x 64 + 223) / 447 = 76,
  // B = (30 x 64 + 223) / 447 = 4: the transparent blue does not tint the mean.
  const uint8_t mixed[16] = {0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 128, 30, 20, 10, 64};
  EXPECT_EQ(MeanOf(mixed), 0x70934C04u);
  // Three transparent pixels and one nearly so: the visible one's colour, a faint alpha.
  const uint8_t clear[16] = {0, 0, 255, 0, 255, 0, 0, 0, 9, 9, 9, 0, 1, 2, 3, 7};
  EXPECT_EQ(MeanOf(clear) >> 24, 2u);  // (7 + 2) / 4
  EXPECT_EQ(MeanOf(clear) & 0xFFFFFF, 0x030201u);
}

// Random 32-bit TGAs (alpha mostly 0, 255 or anything) in all four origins, thumbnails of many sizes, against the
// rule written out plainly: footprints, their samples, the mean with ordinary divisions.
TEST(Filter, RandomPicturesFollowTheRuleInEveryOrigin) {
  auto samples = [](int64_t d, int64_t thumb, int64_t image) {
    const int64_t x0 = d * image / thumb, x1 = std::max(x0 + 1, (d + 1) * image / thumb), width = x1 - x0;
    std::vector<int32_t> out;
    for (int64_t i = 0; i < std::min<int64_t>(width, 4); ++i) {
      out.push_back(static_cast<int32_t>(width <= 4 ? x0 + i : x0 + (2 * i + 1) * width / 8));
    }
    return out;
  };
  const struct { int32_t width, height; } sizes[] = {{37, 53}, {300, 17}, {613, 411}};
  uint32_t seed = 1;
  for (const auto& size : sizes) {
    for (const uint8_t origin : {0x00, 0x10, 0x20, 0x30}) {  // bottom-left, bottom-right, top-left, top-right
      std::vector<uint8_t> file(18, 0);
      file[2] = 2, file[16] = 32, file[17] = static_cast<uint8_t>(8 | origin);
      test::PutLE(file, 12, static_cast<uint32_t>(size.width | size.height << 16));
      std::vector<uint8_t> stored = test::RandomBytes(static_cast<size_t>(size.width) * size.height * 4, ++seed);
      for (size_t i = 3; i < stored.size(); i += 4) stored[i] = stored[i] < 80 ? 0 : stored[i] < 160 ? 255 : stored[i];
      file.insert(file.end(), stored.begin(), stored.end());
      auto picture = [&](int32_t x, int32_t y) {
        const int32_t row = origin & 0x20 ? y : size.height - 1 - y, column = origin & 0x10 ? size.width - 1 - x : x;
        const uint8_t* p = &stored[(static_cast<size_t>(row) * size.width + column) * 4];
        return std::array<uint32_t, 4>{p[0], p[1], p[2], p[3]};  // B G R A
      };
      for (const uint32_t cx : {1u, 7u, 32u, 96u, 255u, 700u}) {
        const test::Drawn drawn = test::DrawBytes(FileType::kTga, file, test::Mode::kThumbnail, cx);
        ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
        const int32_t tw = drawn.image.width, th = drawn.image.height;
        for (int32_t ty = 0; ty < th; ++ty) {
          const std::vector<int32_t> ys = samples(ty, th, size.height);
          for (int32_t tx = 0; tx < tw; ++tx) {
            const std::vector<int32_t> xs = samples(tx, tw, size.width);
            uint32_t n = 0, alpha = 0, sums[3] = {};
            for (const int32_t y : ys) {
              for (const int32_t x : xs) {
                const auto p = picture(x, y);
                ++n;
                alpha += p[3];
                for (int c = 0; c < 3; ++c) sums[c] += p[c] * p[3];
              }
            }
            uint32_t expected = (alpha + n / 2) / n << 24;
            for (int c = 0; c < 3 && alpha > 0; ++c) expected |= (sums[c] + alpha / 2) / alpha << (8 * c);
            ASSERT_EQ(drawn.image.at(tx, ty), expected) << size.width << "x" << size.height << " origin " << int(origin)
                                                        << " cx " << cx << " at " << tx << "," << ty;
          }
        }
      }
    }
  }
}

// A DDS whose levels are solid colours (A8R8G8B8), level k coloured colours[k], `stored` levels in the file.
std::vector<uint8_t> SolidLevels(int32_t width, int32_t height, uint32_t levels, uint32_t stored,
                                 const std::vector<uint32_t>& colours) {
  test::DdsSpec spec;
  spec.width = width, spec.height = height;
  spec.flags |= 0x20000;
  spec.caps |= 0x400008;
  spec.mipMapCount = levels;
  std::vector<uint8_t> payload;
  for (uint32_t k = 0; k < stored; ++k) {
    const int32_t w = std::max(1, width >> k), h = std::max(1, height >> k);
    for (int32_t i = 0; i < w * h; ++i) test::AppendLE32(payload, colours[k]);
  }
  return test::MakeDds(spec, payload);
}

TEST(Filter, TheSmallestLevelThatCoversTheThumbnail) {
  const std::vector<uint32_t> colours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF,
                                         0xFFFF00FF, 0xFF808080, 0xFF404040, 0xFF202020};
  const std::vector<uint8_t> whole = SolidLevels(256, 64, 9, 9, colours);
  const struct {
    uint32_t cx;
    uint32_t colour;  // of the level drawn
  } cases[] = {
      {256, colours[0]},  // 256 x 64: level 0
      {255, colours[0]},  // 255 x 64 needs 64 rows: level 0
      {100, colours[1]},  // 100 x 25: 128 x 32
      {64, colours[2]},   // 64 x 16: 64 x 16
      {20, colours[3]},   // 20 x 5: 32 x 8
      {4, colours[6]},    // 4 x 1: 4 x 1
      {1, colours[8]},    // 1 x 1: 1 x 1
  };
  for (const auto& c : cases) {
    const test::Drawn drawn = test::DrawBytes(FileType::kDds, whole, test::Mode::kThumbnail, c.cx);
    ASSERT_TRUE(drawn.ok) << c.cx << ": " << DescribeFailure(drawn.failure);
    EXPECT_EQ(drawn.image.at(0, 0), c.colour) << c.cx;
    const test::Drawn reference = test::DrawBytes(FileType::kDds, whole, test::Mode::kReference, c.cx);
    EXPECT_EQ(reference.image.pixels, drawn.image.pixels) << c.cx;
  }
  // The file ends after level 2: a 20-pixel thumbnail draws from level 2, the last that fits.
  const std::vector<uint8_t> cut = SolidLevels(256, 64, 9, 3, colours);
  const test::Drawn drawn = test::DrawBytes(FileType::kDds, cut, test::Mode::kThumbnail, 20);
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(0, 0), colours[2]);
  // --full always draws level 0.
  EXPECT_EQ(test::DrawBytes(FileType::kDds, whole).image.at(5, 5), colours[0]);
}

// Levels by explicit offset, stored smallest first, and a level whose drawn bytes the picture derives (stored
// XOR-ed here, as a supercompressed level is stored otherwise): each thumbnail draws the level the rule chooses,
// and only that level is derived.
TEST(Filter, LevelsByOffsetAndDerivedLevels) {
  // 8 x 8 A8R8G8B8 level 0 (red) after a 4 x 4 level 1 (green, stored XOR 0xFF) in the file.
  std::vector<uint8_t> file;
  for (int i = 0; i < 16; ++i) file.insert(file.end(), {0x00 ^ 0xFF, 0xFF ^ 0xFF, 0x00 ^ 0xFF, 0xFF ^ 0xFF});
  for (int i = 0; i < 64; ++i) file.insert(file.end(), {0x00, 0x00, 0xFF, 0xFF});
  MemorySource source(file.data(), file.size());
  struct Unmasked final : DerivedLevels {
    const std::vector<uint8_t>& file;
    std::vector<uint8_t> bytes;
    std::unique_ptr<MemorySource> source;
    int derived = 0;
    explicit Unmasked(const std::vector<uint8_t>& f) : file(f) {}
    bool Derive(int32_t index, ByteSource** out, DecodeFailure*) override {
      EXPECT_EQ(index, 1);
      ++derived;
      bytes.assign(file.begin(), file.begin() + 64);
      for (uint8_t& b : bytes) b ^= 0xFF;
      source = std::make_unique<MemorySource>(bytes.data(), bytes.size());
      *out = source.get();
      return true;
    }
  };
  SourceImage drawing;
  drawing.source = &source;
  drawing.format = PixelFormat::A8R8G8B8;
  LevelChain chain;
  ASSERT_TRUE(AddLevel(&chain, drawing, 8, 8, 64, false, 0));
  ASSERT_TRUE(AddLevel(&chain, drawing, 4, 4, 0, true, 64));
  EXPECT_FALSE(AddLevel(&chain, drawing, 8, 8, 65, false, 0));  // past the end
  EXPECT_EQ(chain.count, 2);
  auto derived = std::make_unique<Unmasked>(file);
  Unmasked* watch = derived.get();
  const PicturePtr picture = MakeTexturePicture(chain, std::move(derived));
  HBITMAP bitmap = nullptr;
  DecodeFailure failure;
  ASSERT_TRUE(picture->DrawThumbnail(8, 8, false, &bitmap, &failure)) << DescribeFailure(failure);
  EXPECT_EQ(test::ImageFromBitmap(bitmap).at(3, 3), 0xFFFF0000u);  // level 0 from the file
  DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  EXPECT_EQ(watch->derived, 0);
  for (const bool reference : {false, true}) {
    ASSERT_TRUE(picture->DrawThumbnail(4, 4, reference, &bitmap, &failure)) << DescribeFailure(failure);
    EXPECT_EQ(test::ImageFromBitmap(bitmap).at(1, 1), 0xFF00FF00u);  // level 1, derived
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  EXPECT_EQ(watch->derived, 2);
}

// A version-3 PVR stores each level for every surface before the next level: two surfaces, level k of the first
// coloured colours[k], of the second black.
TEST(Filter, PvrLevelsFollowEverySurface) {
  const uint32_t colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  std::vector<uint8_t> file(52, 0);
  test::PutLE(file, 0, 0x03525650);
  test::PutLE(file, 8, 0x61626772);  // "rgba" 8.8.8.8
  test::PutLE(file, 12, 0x08080808);
  test::PutLE(file, 24, 4);   // height
  test::PutLE(file, 28, 16);  // width
  test::PutLE(file, 32, 1);
  test::PutLE(file, 36, 2);  // surfaces
  test::PutLE(file, 40, 1);
  test::PutLE(file, 44, 3);  // levels: 16 x 4, 8 x 2, 4 x 1
  for (uint32_t k = 0; k < 3; ++k) {
    const uint32_t pixels = (16u >> k) * (4u >> k);
    for (int surface = 0; surface < 2; ++surface) {
      for (uint32_t i = 0; i < pixels; ++i) {
        const uint32_t c = surface == 0 ? colours[k] : 0xFF000000;
        file.insert(file.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
      }
    }
  }
  const struct { uint32_t cx, colour; } cases[] = {{16, colours[0]}, {8, colours[1]}, {4, colours[2]}};
  for (const auto& c : cases) {
    const test::Drawn drawn = test::DrawBytes(FileType::kPvr, file, test::Mode::kThumbnail, c.cx);
    ASSERT_TRUE(drawn.ok) << c.cx << ": " << DescribeFailure(drawn.failure);
    EXPECT_EQ(drawn.image.at(0, 0), c.colour) << c.cx;
  }
}

}  // namespace
}  // namespace mirelth
