// GetThumbnail: sizes that keep the aspect ratio, enlargement with alpha, limits, failures, and no GDI object
// left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "server/hresult.h"
#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using test::DdsSpec;
using test::Image;

struct Loaded {
  IThumbnailProvider* thumbnail = nullptr;
  explicit Loaded(const std::vector<uint8_t>& file, const std::string& name = "picture.dds") {
    const std::string path = test::WriteTempFile(name, file);
    IInitializeWithFile* init = nullptr;
    EXPECT_EQ(CreateThumbnailProvider(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&init)), S_OK);
    EXPECT_EQ(init->Initialize(Utf8ToWide(path).c_str(), STGM_READ), S_OK);
    init->QueryInterface(kIidIThumbnailProvider, reinterpret_cast<void**>(&thumbnail));
    init->Release();
  }
  ~Loaded() { thumbnail->Release(); }
  HRESULT Get(UINT cx, Image* image, WTS_ALPHATYPE* alpha = nullptr) {
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE type = WTSAT_UNKNOWN;
    const HRESULT result = thumbnail->GetThumbnail(cx, &bitmap, &type);
    if (SUCCEEDED(result)) {
      *image = test::ImageFromBitmap(bitmap);
      DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    }
    if (alpha) *alpha = type;
    return result;
  }
};

// A w x h BGRA DDS whose pixel (x, y) is 0xAARRGGBB with R = x, G = y and a varying alpha.
std::vector<uint8_t> GridDds(int32_t width, int32_t height) {
  DdsSpec spec;
  spec.width = width;
  spec.height = height;
  std::vector<uint8_t> payload;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t pixel = (uint32_t((x + y) & 0xFF) << 24) | (uint32_t(x & 0xFF) << 16) | (uint32_t(y & 0xFF) << 8);
      payload.insert(payload.end(), {uint8_t(pixel), uint8_t(pixel >> 8), uint8_t(pixel >> 16), uint8_t(pixel >> 24)});
    }
  }
  return test::MakeDds(spec, payload);
}

TEST(Render, ThumbnailSizeKeepsTheAspectRatio) {
  const struct {
    int32_t width, height;
    uint32_t cx;
    int32_t thumbWidth, thumbHeight;
  } cases[] = {{256, 64, 96, 96, 24},   {64, 256, 96, 24, 96}, {16, 16, 256, 256, 256},
               {1000, 1, 100, 100, 1},  {3, 2, 5, 5, 3},       {2, 3, 4, 3, 4},
               {33, 17, 256, 256, 132}, {1, 1, 1, 1, 1},       {16384, 1, 16384, 16384, 1}};
  for (const auto& c : cases) {
    int32_t w = 0, h = 0;
    ThumbnailSize(c.width, c.height, c.cx, &w, &h);
    EXPECT_EQ(w, c.thumbWidth) << c.width << "x" << c.height << " at " << c.cx;
    EXPECT_EQ(h, c.thumbHeight) << c.width << "x" << c.height << " at " << c.cx;
  }
}

TEST(Render, IntegerUpscaleRepeatsEachPixelWithItsAlpha) {
  Loaded loaded(GridDds(16, 16));
  Image image;
  WTS_ALPHATYPE alpha;
  ASSERT_EQ(loaded.Get(256, &image, &alpha), S_OK);
  EXPECT_EQ(alpha, WTSAT_ARGB);
  ASSERT_EQ(image.width, 256);
  ASSERT_EQ(image.height, 256);
  for (int32_t y = 0; y < 256; ++y) {
    for (int32_t x = 0; x < 256; ++x) {
      const uint32_t sx = x / 16, sy = y / 16;
      ASSERT_EQ(image.at(x, y), (((sx + sy) & 0xFF) << 24) | (sx << 16) | (sy << 8)) << x << "," << y;
    }
  }
}

TEST(Render, LimitsAndFailuresLeaveOutputsUntouched) {
  Loaded good(GridDds(4, 4));
  Loaded tga(GridDds(4, 4), "picture.tga");
  Loaded nameless(GridDds(4, 4), "picture.png");
  Loaded broken(std::vector<uint8_t>(100, 0x44), "broken.dds");
  const struct {
    const char* name;
    Loaded* loaded;
    UINT cx;
    HRESULT expected;
  } cases[] = {
      {"cx 0", &good, 0, E_INVALIDARG},        {"cx 16385", &good, 16385, E_INVALIDARG}, {"tga", &tga, 32, E_FAIL},
      {"no extension", &nameless, 32, E_FAIL}, {"broken dds", &broken, 32, E_FAIL},
  };
  for (const auto& c : cases) {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(0x1234);
    WTS_ALPHATYPE alpha = WTSAT_RGB;  // a value GetThumbnail never sets
    EXPECT_EQ(c.loaded->thumbnail->GetThumbnail(c.cx, &bitmap, &alpha), c.expected) << c.name;
    EXPECT_EQ(bitmap, reinterpret_cast<HBITMAP>(0x1234)) << c.name;
    EXPECT_EQ(alpha, WTSAT_RGB) << c.name;
  }
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha;
  EXPECT_EQ(good.thumbnail->GetThumbnail(32, nullptr, &alpha), E_POINTER);
  EXPECT_EQ(good.thumbnail->GetThumbnail(32, &bitmap, nullptr), E_POINTER);
}

TEST(Render, RepeatedCallsGiveIndependentEqualBitmapsAndLeakNothing) {
  Loaded good(GridDds(33, 17));
  Loaded broken(std::vector<uint8_t>(200, 0x44), "broken.dds");
  const long before = CountLiveGdiObjects();
  Image first, second;
  ASSERT_EQ(good.Get(40, &first), S_OK);
  ASSERT_EQ(good.Get(40, &second), S_OK);
  EXPECT_EQ(first.pixels, second.pixels);
  for (int i = 0; i < 200; ++i) {
    Image image;
    EXPECT_EQ(good.Get(1 + (i * 37) % 300, &image), S_OK);
    EXPECT_EQ(broken.Get(64, &image), E_FAIL);
  }
  EXPECT_EQ(CountLiveGdiObjects(), before);
}

#if !defined(_WIN32)
TEST(Render, BitmapCreationFailureIsOutOfMemoryAndLeaksNothing) {
  Loaded good(GridDds(8, 8));
  const long before = CountLiveGdiObjects();
  standin::FailCreateDibSectionAfter(1);  // the thumbnail
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha;
  EXPECT_EQ(good.thumbnail->GetThumbnail(16, &bitmap, &alpha), E_OUTOFMEMORY);
  EXPECT_EQ(bitmap, nullptr);
  standin::FailCreateDibSectionAfter(0);
  EXPECT_EQ(CountLiveGdiObjects(), before);
  IMirelthThumbnailDetails* details = nullptr;
  good.thumbnail->QueryInterface(kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
  for (int which = 1; which <= 2; ++which) {  // the decoded image, then the reference thumbnail
    standin::FailCreateDibSectionAfter(which);
    EXPECT_EQ(details->GetReferenceThumbnail(16, &bitmap), E_OUTOFMEMORY) << which;
    standin::FailCreateDibSectionAfter(0);
    EXPECT_EQ(CountLiveGdiObjects(), before);
  }
  details->Release();
}
#endif

}  // namespace
}  // namespace mirelth
