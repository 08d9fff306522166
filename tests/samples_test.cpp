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

// The table of samples (samples/samples.tsv): file, decode or refuse, the colour tolerance (where the expected
// alpha is at least 16) and the alpha tolerance.
struct Sample {
  std::string file;
  bool decode = true;
  int colourTolerance = 0;
  int alphaTolerance = 0;
};

std::vector<Sample> ReadSamples() {
  std::vector<Sample> samples;
  const std::vector<uint8_t> bytes = test::ReadFileBytes(test::SamplePath("samples.tsv"));
  std::string text(bytes.begin(), bytes.end());
  size_t at = text.find('\n') + 1;  // the heading
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    std::vector<std::string> fields;
    for (size_t from = 0;;) {
      const size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    if (fields.size() < 4) continue;
    samples.push_back({fields[0], fields[1] == "decode", std::atoi(fields[2].c_str()), std::atoi(fields[3].c_str())});
  }
  return samples;
}

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.file; }

class SampleTest : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleTest, MatchesTheThirdPartyDecodeOrIsRefused) {
  const Sample sample = GetParam();
  const std::string path = test::SamplePath(sample.file);
  const Outcome outcome = DecodeFull(path);
  if (!sample.decode) {
    EXPECT_EQ(outcome.result, E_FAIL);
    EXPECT_TRUE(outcome.failure.kind == FailureKind::Unsupported ||
                outcome.failure.kind == FailureKind::InvalidHeader || outcome.failure.kind == FailureKind::Truncated)
        << DescribeFailure(outcome.failure);
    return;
  }
  Rgba expected;
  ASSERT_TRUE(ReadPng(path + ".expected.png", &expected)) << path;
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
        if (c < 3 && want[3] < 16) continue;  // colour under (nearly) no alpha is not compared
        const int difference = std::abs(got[c] - want[c]);
        if (difference > worst) worst = difference;
        ASSERT_LE(difference, c < 3 ? sample.colourTolerance : sample.alphaTolerance)
            << "pixel " << x << "," << y << " channel " << c;
      }
    }
  }
  RecordProperty("worst_difference", worst);
}

INSTANTIATE_TEST_SUITE_P(RealTools, SampleTest, ::testing::ValuesIn(ReadSamples()),
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
      {"pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr", FailureKind::Unsupported},
      {"pvr-pvrtextool-refuse-rgba8-ub-tiles-20x12.pvr", FailureKind::Unsupported},
      {"dds-pvrtextool-r8g8b8a8uint-bars-13x11.dds", FailureKind::Unsupported},
  };
  for (const auto& r : refused) {
    const Outcome outcome = DecodeFull(test::SamplePath(r.file));
    EXPECT_EQ(outcome.result, E_FAIL) << r.file;
    EXPECT_EQ(outcome.failure.kind, r.kind) << r.file << ": " << DescribeFailure(outcome.failure);
  }
}

}  // namespace
}  // namespace mirelth
