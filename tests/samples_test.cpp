// Files made by real tools, decoded at their own size through the provider, against a third-party decode
// of each (tolerance per sample: 16-bit references may round instead of replicating bits, DXT references
// blend with (2 c0 + c1) / 3). Files we must refuse are refused.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

struct Rgba {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;  // R, G, B, A, top row first
};

bool ReadPng(const std::string& path, Rgba* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  out->width = static_cast<int32_t>(image.width);
  out->height = static_cast<int32_t>(image.height);
  out->bytes.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out->bytes.data(), 0, nullptr)) return false;
  return true;
}

struct Outcome {
  HRESULT result = E_FAIL;
  DecodeFailure failure;
  test::Image image;
};

Outcome DecodeFull(const std::string& path) {
  Outcome outcome;
  IInitializeWithFile* init = nullptr;
  CreateThumbnailProvider(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
  if (FAILED(init->Initialize(Utf8ToWide(path).c_str(), STGM_READ))) {
    init->Release();
    return outcome;
  }
  IMirelthThumbnailDetails* details = nullptr;
  init->QueryInterface(kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
  HBITMAP bitmap = nullptr;
  outcome.result = details->GetFullImage(&bitmap);
  details->GetLastFailure(&outcome.failure);
  if (SUCCEEDED(outcome.result)) {
    outcome.image = test::ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  details->Release();
  init->Release();
  return outcome;
}

struct Sample {
  const char* file;
  int tolerance;
};

// Every decodable sample in samples/ with its tolerance.
constexpr Sample kSamples[] = {
    {"dds-im-bgra32-shapes-33x17.dds", 0},
    {"dds-im-bgr24-photo-9x10.dds", 0},
    {"dds-gimp-rgb24-photo-33x17.dds", 0},
    {"dds-gimp-rgba32-shapes-5x3.dds", 0},
    {"dds-nvtt-bgrx32-grad-2x2.dds", 0},
    {"dds-gimp-r5g6b5-grad-33x17.dds", 1},
    {"dds-pvrtextool-x1r5g5b5-photo-9x10.dds", 1},
    {"dds-gimp-a4r4g4b4-shapes-6x7.dds", 1},
    {"dds-gimp-a1r5g5b5-shapes-9x10.dds", 1},
    {"dds-pvrtextool-cubemap-r5g6b5-faces-64x64.dds", 1},
    {"dds-im-dxt1-photo-9x10.dds", 3},
    {"dds-nvtt-dxt1a-shapes-33x17.dds", 3},
    {"dds-nvtt-dxt3-ramp-5x3.dds", 3},
    {"dds-im-dxt5-shapes-6x7.dds", 3},
    {"dds-im-dxt1-mips-photo-256x64.dds", 3},
    {"dds-wrap-etc1tool-etc1-photo-33x17.dds", 0},
    {"pvr3-pvrtextool-rgba8888-shapes-33x17.pvr", 0},
    {"pvr3-pvrtextool-bgr888-grad-5x3.pvr", 0},
    {"pvr3-pvrtextool-rgb565-grad-33x17.pvr", 1},
    {"pvr3-pvrtextool-argb4444-ramp-33x17.pvr", 1},
    {"pvr3-pvrtextool-rgba4444-ramp-33x17.pvr", 1},
    {"pvr3-pvrtextool-etc1-grad-6x7.pvr", 0},
    {"pvr3-wrap-dxt1-im-photo-5x3.pvr", 3},
    {"pvr3-pvrtextool-flipmeta-rgba8888-grad-33x17.pvr", 0},
    {"pvr2-pvrtextool-rgba8888-shapes-5x3.pvr", 0},
    {"pvr2-pvrtextool-flipped-rgba8888-grad-33x17.pvr", 0},
    {"pvr2-wrap-dxt5-im-shapes-6x7.pvr", 3},
    {"pvr2-pvrtextool-rgba4444-ramp-33x17.pvr", 1},
    {"pvr2-wrap-hdr44-rgba8888-shapes-33x17.pvr", 0},
    {"psd-im-rgb-rle-grad-33x17.psd", 0},
    {"psd-im-rgba-rle-shapes-6x7.psd", 0},
    {"psd-im-rgb-raw-grad-9x10.psd", 0},
    {"psd-im-gray-rle-photo-9x10.psd", 0},
    {"psd-im-graya-rle-shapes-33x17.psd", 0},
    {"psd-im-cmyk-rle-photo-33x17.psd", 1},
    {"psd-im-rgb16-rle-grad-33x17.psd", 1},
    {"psd-im-indexed-rle-photo-33x17.psd", 0},
    {"psd-im-bitmap-rle-photo-33x17.psd", 0},
    {"psd-agpsd-layers-opaque-9x10.psd", 0},
    {"psd-gimp-layers-33x17.psd", 0},
};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.file; }

class SampleTest : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleTest, MatchesTheThirdPartyDecode) {
  const Sample sample = GetParam();
  const std::string path = test::SamplePath(sample.file);
  Rgba expected;
  ASSERT_TRUE(ReadPng(path + ".expected.png", &expected)) << path;
  const Outcome outcome = DecodeFull(path);
  ASSERT_EQ(outcome.result, S_OK) << DescribeFailure(outcome.failure);
  ASSERT_EQ(outcome.image.width, expected.width);
  ASSERT_EQ(outcome.image.height, expected.height);
  int worst = 0;
  for (int32_t y = 0; y < expected.height; ++y) {
    for (int32_t x = 0; x < expected.width; ++x) {
      const uint32_t pixel = outcome.image.at(x, y);
      const uint8_t* want = &expected.bytes[(static_cast<size_t>(y) * expected.width + x) * 4];
      const int got[4] = {int((pixel >> 16) & 0xFF), int((pixel >> 8) & 0xFF), int(pixel & 0xFF), int(pixel >> 24)};
      for (int c = 0; c < 4; ++c) {
        const int difference = std::abs(got[c] - want[c]);
        if (difference > worst) worst = difference;
        ASSERT_LE(difference, sample.tolerance) << "pixel " << x << "," << y << " channel " << c;
      }
    }
  }
  RecordProperty("worst_difference", worst);
}

INSTANTIATE_TEST_SUITE_P(RealTools, SampleTest, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<Sample>& param) {
                           std::string name = param.param.file;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(Samples, FilesWeDoNotDrawAreRefusedWithAReason) {
  const struct {
    const char* file;
    FailureKind kind;
  } refused[] = {
      {"dds-bc7enc-bc7-shapes-33x17.dds", FailureKind::Unsupported},
      {"pvr3-pvrtextool-pvrtc4-grad-256x64.pvr", FailureKind::Unsupported},
      {"pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr", FailureKind::Unsupported},
  };
  for (const auto& r : refused) {
    const Outcome outcome = DecodeFull(test::TestDataPath(std::string("refused/") + r.file));
    EXPECT_EQ(outcome.result, E_FAIL) << r.file;
    EXPECT_EQ(outcome.failure.kind, r.kind) << r.file << ": " << DescribeFailure(outcome.failure);
  }
}

}  // namespace
}  // namespace mirelth
