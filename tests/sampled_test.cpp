// The sampled thumbnail path against the reference (full decode of the same level, then the same filter): pixel for
// pixel on every sample and on synthetic files of every format, orientation and odd size, for a spread of
// thumbnail sizes; the same refusals; and sizes only the sampled path can draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "encodings/encoding.h"
#include "picture/texture.h"
#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

struct Both {
  HRESULT sampled = E_FAIL, reference = E_FAIL;
  DecodeFailure sampledFailure, referenceFailure;
  test::Image sampledImage, referenceImage;
};

Both Render(const std::string& path, UINT cx) {
  Both both;
  const test::QuietStdout quiet;  // PSD layer listings (failures reported meanwhile would vanish too: none are)
  IInitializeWithFile* init = nullptr;
  CreateThumbnailProvider(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
  init->Initialize(Utf8ToWide(path).c_str(), STGM_READ);
  IThumbnailProvider* provider = nullptr;
  IMirelthThumbnailDetails* details = nullptr;
  init->QueryInterface(kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
  init->QueryInterface(kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha;
  both.sampled = provider->GetThumbnail(cx, &bitmap, &alpha);
  details->GetLastFailure(&both.sampledFailure);
  if (SUCCEEDED(both.sampled)) {
    both.sampledImage = test::ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  both.reference = details->GetReferenceThumbnail(cx, &bitmap);
  details->GetLastFailure(&both.referenceFailure);
  if (SUCCEEDED(both.reference)) {
    both.referenceImage = test::ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  details->Release();
  provider->Release();
  init->Release();
  return both;
}

void ExpectSame(const std::string& path) {
  for (UINT cx : {1u, 7u, 32u, 96u, 255u, 256u, 1024u, 2111u}) {
    const Both both = Render(path, cx);
    // A ZIP stream that ends in its last rows: a thumbnail inflates only up to its last sampled row, so small ones
    // draw where the full decode (the reference) finds the short stream.
    if (path.ends_with("psd-own-refuse-zip-short-tiles-20x12.psd") && SUCCEEDED(both.sampled) &&
        both.referenceFailure.kind == FailureKind::Truncated) {
      continue;
    }
    ASSERT_EQ(both.sampled, both.reference) << path << " at " << cx << ": " << DescribeFailure(both.sampledFailure)
                                            << " / " << DescribeFailure(both.referenceFailure);
    if (FAILED(both.sampled)) {
      EXPECT_EQ(both.sampledFailure.kind, both.referenceFailure.kind) << path;
      continue;
    }
    ASSERT_EQ(both.sampledImage.width, both.referenceImage.width) << path << " at " << cx;
    ASSERT_EQ(both.sampledImage.height, both.referenceImage.height) << path << " at " << cx;
    const auto mismatch = std::mismatch(both.sampledImage.pixels.begin(), both.sampledImage.pixels.end(),
                                        both.referenceImage.pixels.begin());
    ASSERT_TRUE(mismatch.first == both.sampledImage.pixels.end())
        << path << " at " << cx << ": first difference at pixel " << (mismatch.first - both.sampledImage.pixels.begin())
        << std::hex << ": 0x" << *mismatch.first << " instead of 0x" << *mismatch.second;
  }
}

TEST(Sampled, EverySampleMatchesTheReference) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::SamplePath(""))) {
    const std::string path = entry.path().string();
    if (path.ends_with(".png") || path.ends_with(".md") || path.ends_with(".f32")) continue;
    ExpectSame(path);
    ++files;
  }
  for (const char* folder : {"drawn"}) {
    for (const auto& entry : std::filesystem::directory_iterator(test::TestDataPath(folder))) {
      ExpectSame(entry.path().string());
      ++files;
    }
  }
  EXPECT_GT(files, 40);
}

// Synthetic DDS and PVR files of every drawable format, odd sizes, random data.
TEST(Sampled, SyntheticTexturesOfEveryFormatMatchTheReference) {
  struct Layout {
    const char* name;
    uint32_t pixelFlags, fourCC, bitCount, masks[4];
  };
  const Layout layouts[] = {
      {"565", 0x40, 0, 16, {0xF800, 0x07E0, 0x001F, 0}},
      {"4444", 0x40, 0, 16, {0x0F00, 0xF0, 0xF, 0xF000}},
      {"x444", 0x40, 0, 16, {0x0F00, 0xF0, 0xF, 0}},
      {"1555", 0x40, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}},
      {"x555", 0x40, 0, 16, {0x7C00, 0x3E0, 0x1F, 0}},
      {"bgr", 0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}},
      {"rgb", 0x40, 0, 24, {0xFF, 0xFF00, 0xFF0000, 0}},
      {"bgra", 0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
      {"rgba", 0x40, 0, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
      {"bgrx", 0x40, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}},
      {"dxt1", 4, test::FourCC("DXT1"), 0, {}},
      {"dxt3", 4, test::FourCC("DXT3"), 0, {}},
      {"dxt5", 4, test::FourCC("DXT5"), 0, {}},
      {"atc", 4, test::FourCC("ATC "), 0, {}},
      {"atca", 4, test::FourCC("ATCA"), 0, {}},
      {"atci", 4, test::FourCC("ATCI"), 0, {}},
      {"etc1", 4, test::FourCC("ETC "), 0, {}},
  };
  const int sizes[][2] = {{1, 1}, {5, 3}, {9, 10}, {33, 17}, {300, 7}, {6, 301}};
  uint32_t seed = 1;
  for (const Layout& layout : layouts) {
    for (const auto& size : sizes) {
      test::DdsSpec spec;
      spec.width = size[0];
      spec.height = size[1];
      spec.pixelFlags = layout.pixelFlags;
      spec.fourCC = layout.fourCC;
      spec.bitCount = layout.bitCount;
      std::memcpy(spec.masks, layout.masks, sizeof spec.masks);
      const size_t bytes = layout.bitCount ? size_t(size[0]) * size[1] * layout.bitCount / 8
                                           : size_t((size[0] + 3) / 4) * ((size[1] + 3) / 4) * 16;
      const std::string name = std::string("sampled-") + layout.name + "-" + std::to_string(size[0]) + "x" +
                               std::to_string(size[1]) + ".dds";
      ExpectSame(test::WriteTempFile(name, test::MakeDds(spec, test::RandomBytes(bytes, seed++))));
    }
  }
  // PVR: a version-3 "rgba" 4.4.4.4 file mirrored and bottom-up through orientation metadata, a legacy DXT5
  // file with the flip flag.
  auto put32 = [](std::vector<uint8_t>& file, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  std::vector<uint8_t> v3(52 + 15, 0);
  put32(v3, 0, 0x03525650);
  put32(v3, 8, 0x61626772);  // "rgba"
  put32(v3, 12, 0x04040404);
  put32(v3, 24, 23);  // height
  put32(v3, 28, 37);  // width
  put32(v3, 44, 1);
  put32(v3, 48, 15);
  put32(v3, 52, 0x03525650);
  put32(v3, 56, 3);
  put32(v3, 60, 3);
  v3[64] = 1;  // x: right to left
  v3[65] = 2;  // y: bottom-up
  const auto pixels = test::RandomBytes(37 * 23 * 2, 99);
  v3.insert(v3.end(), pixels.begin(), pixels.end());
  ExpectSame(test::WriteTempFile("sampled-mirrored.pvr", v3));
  std::vector<uint8_t> legacy(52, 0);
  put32(legacy, 0, 52);
  put32(legacy, 4, 30);  // height
  put32(legacy, 8, 21);  // width
  put32(legacy, 16, 0x24 | 0x10000);
  const auto blocks = test::RandomBytes(6 * 8 * 16, 98);
  legacy.insert(legacy.end(), blocks.begin(), blocks.end());
  ExpectSame(test::WriteTempFile("sampled-flipped-dxt5.pvr", legacy));

  // Version-3 PVR files of the predefined mobile encodings: PVRTC (powers of two, down to less than a word),
  // ETC2 and EAC (odd sizes; EAC signed through the channel type).
  struct Predefined {
    uint32_t format, channelType, width, height, bitsPerPixel;
  };
  const Predefined predefined[] = {
      {0, 0, 8, 8, 2},    {1, 0, 256, 32, 2}, {1, 0, 16, 128, 2}, {2, 0, 4, 4, 4},    {3, 0, 64, 512, 4},
      {3, 0, 128, 16, 4}, {22, 0, 37, 23, 4}, {23, 0, 9, 10, 8},  {24, 0, 33, 17, 4}, {25, 0, 5, 3, 4},
      {25, 5, 300, 7, 4}, {26, 0, 6, 301, 8}, {26, 5, 33, 17, 8},
  };
  for (const Predefined& p : predefined) {
    std::vector<uint8_t> file(52, 0);
    put32(file, 0, 0x03525650);
    put32(file, 8, p.format);
    put32(file, 20, p.channelType);
    put32(file, 24, p.height);
    put32(file, 28, p.width);
    put32(file, 32, 1);
    put32(file, 36, 1);
    put32(file, 40, 1);
    put32(file, 44, 1);
    const bool pvrtc = p.format <= 3;
    const uint32_t blockWidth = pvrtc && p.bitsPerPixel == 2 ? 8 : 4;
    const uint32_t across = (p.width + blockWidth - 1) / blockWidth, down = (p.height + 3) / 4;
    const size_t bytes = size_t(pvrtc ? std::max(across, 2u) : across) * (pvrtc ? std::max(down, 2u) : down) *
                         (blockWidth * 4 * p.bitsPerPixel / 8);
    const auto data = test::RandomBytes(bytes, seed++);
    file.insert(file.end(), data.begin(), data.end());
    ExpectSame(test::WriteTempFile("sampled-predefined-" + std::to_string(p.format) + "-" + std::to_string(p.width) +
                                       "x" + std::to_string(p.height) + ".pvr",
                                   file));
  }
}

// Every row of the table of encodings, with no list of its own: random bytes of each code at odd and even sizes
// (PVRTC: powers of two), as a texture of one level in memory, sampled == reference at several thumbnail sizes. A
// new row is covered here with no new test line.
TEST(Sampled, EveryEncodingOfTheTableMatchesTheReference) {
  const int sizes[][2] = {{1, 1}, {5, 3}, {37, 23}, {64, 16}, {130, 66}};
  PixelLayout described;  // a mixed layout through the general loop: 16-bit unorm, 8-bit snorm, half, 1-bit alpha
  described.bytesPerPixel = 6;
  described.channel[0] = {ChannelType::kUnorm, 0, 16};
  described.channel[1] = {ChannelType::kSnorm, 16, 8};
  described.channel[2] = {ChannelType::kFloat, 24, 16};
  described.channel[3] = {ChannelType::kUnorm, 40, 1};
  uint32_t seed = 500;
  for (int32_t code = 1; code < kPixelFormatCount; ++code) {
    const auto format = static_cast<PixelFormat>(code);
    const Encoding* encoding = EncodingOf(format);
    ASSERT_NE(encoding, nullptr) << code;
    for (const auto& size : sizes) {
      int32_t width = size[0], height = size[1];
      if (encoding->walk == Walk::kPvrtc) {
        width = std::max(8, 1 << (31 - __builtin_clz(static_cast<uint32_t>(width))));
        height = std::max(8, 1 << (31 - __builtin_clz(static_cast<uint32_t>(height))));
      }
      LevelChain chain;
      SourceImage& level = chain.levels[0];
      level.format = format;
      level.layout = described;
      level.width = width;
      level.height = height;
      level.order = static_cast<ChannelOrder>(seed % 4);
      level.topDown = (seed & 4) != 0;
      level.rightToLeft = (seed & 8) != 0;
      // Encodings that may hold HDR blocks (ASTC) take the float path and the tone mapping every other size.
      level.hdrBlocks = encoding->decodeFloatBlock && (seed & 16) != 0;
      if (format == PixelFormat::PAL8) {
        const auto colours = test::RandomBytes(sizeof chain.palette, seed);
        std::memcpy(chain.palette, colours.data(), sizeof chain.palette);
        level.palette = chain.palette;
      }
      ASSERT_TRUE(SizeLevel(&level)) << encoding->name;
      const auto bytes = test::RandomBytes(static_cast<size_t>(level.bytes), seed++);
      MemorySource source(bytes.data(), bytes.size());
      level.source = &source;
      chain.count = 1;
      const PicturePtr picture = MakeTexturePicture(chain);
      ASSERT_TRUE(picture);
      for (const uint32_t cx : {1u, 9u, 40u, 128u}) {
        int32_t tw = 0, th = 0;
        ThumbnailSize(width, height, cx, &tw, &th);
        HBITMAP sampled = nullptr, reference = nullptr;
        DecodeFailure failure;
        ASSERT_TRUE(picture->DrawThumbnail(tw, th, false, &sampled, &failure))
            << encoding->name << DescribeFailure(failure);
        ASSERT_TRUE(picture->DrawThumbnail(tw, th, true, &reference, &failure))
            << encoding->name << DescribeFailure(failure);
        const test::Image a = test::ImageFromBitmap(sampled), b = test::ImageFromBitmap(reference);
        DeleteObject(reinterpret_cast<HGDIOBJ>(sampled));
        DeleteObject(reinterpret_cast<HGDIOBJ>(reference));
        ASSERT_EQ(a.pixels, b.pixels) << encoding->name << " " << width << "x" << height << " at " << cx;
      }
    }
  }
}

// A PSD document of 16385 x 16385 gray pixels (over the 2^28 cap of the full-size path) in 4 MiB of flat
// PackBits rows: the thumbnail draws, the full-size decode is refused as too large.
TEST(Sampled, OnlyTheSampledPathDrawsImagesOverTheFullSizeCap) {
  const uint32_t edge = 16385;
  std::vector<uint8_t> file = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
  auto put16 = [&](uint32_t v) { file.insert(file.end(), {uint8_t(v >> 8), uint8_t(v)}); };
  auto put32 = [&](uint32_t v) {
    put16(v >> 16);
    put16(v & 0xFFFF);
  };
  put32(edge);
  put32(edge);
  put16(8);
  put16(1);  // grayscale
  put32(0);
  put32(0);
  put32(0);
  put16(1);                                     // PackBits
  const uint32_t packets = (edge + 127) / 128;  // the last one is short
  for (uint32_t r = 0; r < edge; ++r) put16(packets * 2);
  for (uint32_t r = 0; r < edge; ++r) {
    for (uint32_t p = 0; p < packets; ++p) {
      const uint32_t run = p + 1 < packets ? 128 : edge - 128 * (packets - 1);
      file.push_back(static_cast<uint8_t>(1 - static_cast<int>(run)));
      file.push_back(static_cast<uint8_t>((r / 64 + p) & 0xFF));
    }
  }
  const std::string path = test::WriteTempFile("huge-gray.psd", file);
  const Both both = Render(path, 64);
  ASSERT_EQ(both.sampled, S_OK) << DescribeFailure(both.sampledFailure);
  EXPECT_EQ(both.sampledImage.width, 64);
  // Thumbnail pixel (10, 20) averages columns 2592, 2656, 2720, 2784 (packets 20, 20, 21, 21) of rows 5152,
  // 5216, 5280, 5344 (values row / 64 + packet: 80..83 plus 20 or 21): a mean of 102.
  EXPECT_EQ(both.sampledImage.at(10, 20), 0xFF000000u | (102u * 0x010101u));
  EXPECT_EQ(both.reference, E_FAIL);
  EXPECT_EQ(both.referenceFailure.kind, FailureKind::TooLarge);
}

}  // namespace
}  // namespace mirelth
