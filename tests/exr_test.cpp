// OpenEXR against Debian's libopenexr: files it writes in every compression, pixel type and layout (scanline,
// tiled, mipmap, ripmap, data windows off the origin, odd sizes, multi-part, luminance-chroma), decoded by both;
// our linear floats (before tone mapping) must equal the library's exactly where the compression's decode is
// exact (everything but DWA), and within a half-float step where it is not. Thumbnails of the files must equal the
// reference drawing, and every cut and flipped byte of them is refused with a reason or drawn.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfRgbaFile.h>
#include <ImfTiledOutputFile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encodings/conversion_rules.h"
#include "formats/exr/exr.h"
#include "formats/exr/exr_codecs.h"
#include "io/byte_source.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

enum class Layout { kScanline, kTiled, kMipmap, kRipmap };

struct Recipe {
  Imf::Compression compression = Imf::ZIP_COMPRESSION;
  Imf::PixelType type = Imf::HALF;
  Layout layout = Layout::kScanline;
  int width = 37, height = 29;
  int x0 = 0, y0 = 0;  // the data window's origin; the display window is (0, 0) to the far corner plus 3
  bool alpha = true;
  int tile = 16;
  Imf::LineOrder order = Imf::INCREASING_Y;
  const char* layer = "";  // channels named "<layer>.R"
};

// A deterministic picture: a smooth gradient, a few hot spots up to about 40, fine noise, alpha with zeros.
float Value(int channel, int x, int y, int level) {
  const float fx = static_cast<float>(x) / 7.0f, fy = static_cast<float>(y) / 5.0f;
  float v = 0.5f + 0.45f * std::sin(fx + 1.7f * static_cast<float>(channel) + static_cast<float>(level)) *
                       std::cos(fy - static_cast<float>(channel));
  if (((x * 7 + y * 13 + channel) % 23) == 0) v *= 40.0f;
  v += static_cast<float>((x * 31 + y * 17 + channel * 5) % 11) / 400.0f;
  if (channel == 3) v = ((x + y) % 9 == 0) ? 0.0f : std::fmin(1.0f, std::fabs(v) / 2.0f);
  return v;
}

std::string TempName(const char* what) {
  static int counter = 0;
  return test::WriteTempFile(std::string("exr-") + what + std::to_string(++counter) + ".exr", {});
}

std::vector<uint8_t> WriteFile(const Recipe& recipe) {
  const std::string path = TempName("diff");
  Imath::Box2i data(Imath::V2i(recipe.x0, recipe.y0),
                    Imath::V2i(recipe.x0 + recipe.width - 1, recipe.y0 + recipe.height - 1));
  Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(recipe.x0 + recipe.width + 2, recipe.y0 + recipe.height + 2));
  Imf::Header header(display, data);
  header.compression() = recipe.compression;
  header.lineOrder() = recipe.order;
  const std::string prefix = recipe.layer[0] ? std::string(recipe.layer) + "." : "";
  const char* names[4] = {"R", "G", "B", "A"};
  const int channels = recipe.alpha ? 4 : 3;
  for (int c = 0; c < channels; ++c) header.channels().insert(prefix + names[c], Imf::Channel(recipe.type));
  const size_t bytes = recipe.type == Imf::HALF ? 2 : 4;
  auto fill = [&](int w, int h, int level, std::vector<std::vector<char>>* planes) {
    planes->assign(static_cast<size_t>(channels), std::vector<char>(static_cast<size_t>(w) * h * bytes));
    for (int c = 0; c < channels; ++c) {
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const float v = Value(c, x, y, level);
          char* at = (*planes)[static_cast<size_t>(c)].data() + (static_cast<size_t>(y) * w + x) * bytes;
          if (recipe.type == Imf::HALF) {
            const uint16_t h16 = FloatToHalf(v);
            std::memcpy(at, &h16, 2);
          } else if (recipe.type == Imf::FLOAT) {
            std::memcpy(at, &v, 4);
          } else {
            const uint32_t u = static_cast<uint32_t>(std::fmin(1.0f, std::fabs(v) / 40.0f) * 4294967295.0);
            std::memcpy(at, &u, 4);
          }
        }
      }
    }
  };
  auto frame = [&](std::vector<std::vector<char>>& planes, int originX, int originY, int w) {
    Imf::FrameBuffer fb;
    for (int c = 0; c < channels; ++c) {
      char* base = planes[static_cast<size_t>(c)].data() -
                   (static_cast<ptrdiff_t>(originY) * w + originX) * static_cast<ptrdiff_t>(bytes);
      fb.insert(prefix + names[c], Imf::Slice(recipe.type, base, bytes, bytes * static_cast<size_t>(w)));
    }
    return fb;
  };
  std::vector<std::vector<char>> planes;
  if (recipe.layout == Layout::kScanline) {
    Imf::OutputFile file(path.c_str(), header);
    fill(recipe.width, recipe.height, 0, &planes);
    file.setFrameBuffer(frame(planes, recipe.x0, recipe.y0, recipe.width));
    file.writePixels(recipe.height);
  } else {
    const Imf::LevelMode mode = recipe.layout == Layout::kTiled    ? Imf::ONE_LEVEL
                                : recipe.layout == Layout::kMipmap ? Imf::MIPMAP_LEVELS
                                                                   : Imf::RIPMAP_LEVELS;
    header.setTileDescription(Imf::TileDescription(recipe.tile, recipe.tile, mode, Imf::ROUND_DOWN));
    Imf::TiledOutputFile file(path.c_str(), header);
    for (int ly = 0; ly < file.numYLevels(); ++ly) {
      for (int lx = 0; lx < file.numXLevels(); ++lx) {
        if (!file.isValidLevel(lx, ly)) continue;
        const Imath::Box2i window = file.dataWindowForLevel(lx, ly);
        const int w = window.max.x - window.min.x + 1, h = window.max.y - window.min.y + 1;
        fill(w, h, lx + 3 * ly, &planes);
        file.setFrameBuffer(frame(planes, window.min.x, window.min.y, w));
        file.writeTiles(0, file.numXTiles(lx) - 1, 0, file.numYTiles(ly) - 1, lx, ly);
      }
    }
  }
  std::vector<uint8_t> out = test::ReadFileBytes(path);
  std::remove(path.c_str());
  return out;
}

// libopenexr's decode of level 0 as our floats: the display window, colour divided by alpha.
std::vector<float> OracleFloats(const std::vector<uint8_t>& bytes, const char* layer, int* width, int* height) {
  const std::string path = test::WriteTempFile("exr-oracle.exr", bytes);
  Imf::InputFile file(path.c_str());
  const Imath::Box2i display = file.header().displayWindow(), data = file.header().dataWindow();
  const int w = display.max.x - display.min.x + 1, h = display.max.y - display.min.y + 1;
  const int dw = data.max.x - data.min.x + 1, dh = data.max.y - data.min.y + 1;
  std::vector<float> planes(static_cast<size_t>(dw) * dh * 4);
  const std::string prefix = layer[0] ? std::string(layer) + "." : "";
  const char* names[4] = {"R", "G", "B", "A"};
  const bool hasAlpha = file.header().channels().findChannel(prefix + "A") != nullptr;
  const bool uints = file.header().channels().findChannel(prefix + "R")->type == Imf::UINT;
  std::vector<uint32_t> words(uints ? planes.size() : 0);
  Imf::FrameBuffer fb;
  for (int c = 0; c < 4; ++c) {
    if (uints && c < 3) {
      char* base =
          reinterpret_cast<char*>(words.data() + c) - (static_cast<ptrdiff_t>(data.min.y) * dw + data.min.x) * 16;
      fb.insert(prefix + names[c], Imf::Slice(Imf::UINT, base, 16, 16 * static_cast<size_t>(dw)));
      continue;
    }
    char* base =
        reinterpret_cast<char*>(planes.data() + c) - (static_cast<ptrdiff_t>(data.min.y) * dw + data.min.x) * 16;
    fb.insert(prefix + names[c],
              Imf::Slice(Imf::FLOAT, base, 16, 16 * static_cast<size_t>(dw), 1, 1, c == 3 ? 1.0 : 0.0));
  }
  file.setFrameBuffer(fb);
  file.readPixels(data.min.y, data.max.y);
  std::remove(path.c_str());
  std::vector<float> out(static_cast<size_t>(w) * h * 4, 0.0f);
  for (int y = 0; y < dh; ++y) {
    for (int x = 0; x < dw; ++x) {
      const size_t from = (static_cast<size_t>(y) * dw + x) * 4;
      // The data window may reach outside the display window: only the display window is drawn.
      const int px = x + data.min.x - display.min.x, py = y + data.min.y - display.min.y;
      if (px < 0 || py < 0 || px >= w || py >= h) continue;
      float* p = out.data() +
                 ((static_cast<size_t>(y + data.min.y - display.min.y)) * w + (x + data.min.x - display.min.x)) * 4;
      for (int c = 0; c < 4; ++c) p[c] = planes[from + c];
      if (uints) {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<float>(words[from + c] / 4294967295.0);
      }
      if (hasAlpha) {
        if (p[3] > 0.0f) {
          for (int c = 0; c < 3; ++c) p[c] /= p[3];
        } else {
          p[0] = p[1] = p[2] = p[3] = 0.0f;
        }
      }
    }
  }
  *width = w, *height = h;
  return out;
}

std::vector<float> OurFloats(const std::vector<uint8_t>& bytes, int* width, int* height, DecodeFailure* failure) {
  MemorySource source(bytes.data(), bytes.size());
  Scratch<float> pixels(0);
  int32_t w = 0, h = 0;
  if (!DecodeExrLinear(source, &w, &h, &pixels, failure)) return {};
  *width = w, *height = h;
  return std::vector<float>(pixels.get(), pixels.get() + static_cast<size_t>(w) * h * 4);
}

// Half-float steps between two values (both rounded to halves first): how far a lossy decode may drift.
int HalfSteps(float a, float b) {
  auto order = [](float v) {
    const int h = FloatToHalf(v);
    return (h & 0x8000) ? -(h & 0x7fff) : h;
  };
  return std::abs(order(a) - order(b));
}

std::string Name(const Recipe& s) {
  static const char* kLayouts[] = {"scanline", "tiled", "mipmap", "ripmap"};
  char text[160];
  std::snprintf(text, sizeof text, "compression %d type %d %s %dx%d at (%d,%d) alpha %d order %d layer '%s'",
                static_cast<int>(s.compression), static_cast<int>(s.type), kLayouts[static_cast<int>(s.layout)],
                s.width, s.height, s.x0, s.y0, s.alpha ? 1 : 0, static_cast<int>(s.order), s.layer);
  return text;
}

void ExpectSame(const Recipe& recipe, const std::vector<uint8_t>& bytes) {
  int ow = 0, oh = 0, w = 0, h = 0;
  const std::vector<float> oracle = OracleFloats(bytes, recipe.layer, &ow, &oh);
  DecodeFailure failure;
  const std::vector<float> ours = OurFloats(bytes, &w, &h, &failure);
  ASSERT_FALSE(ours.empty()) << Name(recipe) << ": " << DescribeFailure(failure);
  ASSERT_EQ(w, ow) << Name(recipe);
  ASSERT_EQ(h, oh) << Name(recipe);
  // DWA's inverse DCT sums in single precision in an order of its own (the library's vector paths differ from its
  // plain one), which can move a value a half step before the perceptual curve; the curve (x^2.2, and e^(2.2 (x-1))
  // above 1) stretches that to at most 1% of the value.
  const bool lossy = recipe.compression == Imf::DWAA_COMPRESSION || recipe.compression == Imf::DWAB_COMPRESSION;
  int mismatches = 0, worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    if (ours[i] == oracle[i] || (std::isnan(ours[i]) && std::isnan(oracle[i]))) continue;
    const int steps = HalfSteps(ours[i], oracle[i]);
    worst = std::max(worst, steps);
    if (!lossy || std::fabs(ours[i] - oracle[i]) > 0.01f * std::fabs(oracle[i]) + 0x1p-14f) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0) << Name(recipe) << ": worst " << worst << " half steps";
}

const Imf::Compression kCompressions[] = {
    Imf::NO_COMPRESSION,    Imf::RLE_COMPRESSION, Imf::ZIPS_COMPRESSION, Imf::ZIP_COMPRESSION,  Imf::PIZ_COMPRESSION,
    Imf::PXR24_COMPRESSION, Imf::B44_COMPRESSION, Imf::B44A_COMPRESSION, Imf::DWAA_COMPRESSION, Imf::DWAB_COMPRESSION,
};

TEST(Exr, EveryCompressionTypeAndLayoutAgainstLibOpenExr) {
  for (Imf::Compression compression : kCompressions) {
    for (Imf::PixelType type : {Imf::HALF, Imf::FLOAT, Imf::UINT}) {
      for (Layout layout : {Layout::kScanline, Layout::kTiled, Layout::kMipmap, Layout::kRipmap}) {
        Recipe recipe;
        recipe.compression = compression, recipe.type = type, recipe.layout = layout;
        // DWA's lossy channels are colour: the uint case keeps to the lossless schemes' colour.
        recipe.alpha = type != Imf::UINT;
        ExpectSame(recipe, WriteFile(recipe));
      }
    }
  }
}

TEST(Exr, SizesWindowsOrdersAndLayers) {
  const struct {
    int width, height, x0, y0, tile;
    Imf::LineOrder order;
    const char* layer;
  } kCases[] = {
      {1, 1, 0, 0, 16, Imf::INCREASING_Y, ""},          {3, 70, 5, 9, 16, Imf::DECREASING_Y, ""},
      {300, 5, -4, -7, 32, Imf::INCREASING_Y, ""},      {64, 64, 0, 0, 64, Imf::RANDOM_Y, ""},
      {33, 257, 1, 2, 7, Imf::INCREASING_Y, "diffuse"},
  };
  for (const auto& c : kCases) {
    for (Imf::Compression compression : kCompressions) {
      for (Layout layout : {Layout::kScanline, Layout::kTiled}) {
        if (layout == Layout::kScanline && c.order == Imf::RANDOM_Y) continue;
        Recipe recipe;
        recipe.compression = compression, recipe.layout = layout;
        recipe.width = c.width, recipe.height = c.height, recipe.x0 = c.x0, recipe.y0 = c.y0, recipe.tile = c.tile;
        recipe.order = c.order, recipe.layer = c.layer;
        ExpectSame(recipe, WriteFile(recipe));
      }
    }
  }
}

// Thumbnails read only what they show and still equal the reference, at every level a mipmap chooses; and no cut or
// flipped byte of a file of each compression crashes or reads past its bounds (the sanitizer build runs this too).
TEST(Exr, ThumbnailsAndDamage) {
  for (Imf::Compression compression : kCompressions) {
    for (Layout layout : {Layout::kScanline, Layout::kMipmap}) {
      Recipe recipe;
      recipe.compression = compression, recipe.layout = layout, recipe.width = 90, recipe.height = 70;
      const std::vector<uint8_t> bytes = WriteFile(recipe);
      for (uint32_t cx : {1u, 7u, 24u, 45u, 93u}) {
        const test::Drawn sampled = test::DrawBytes(FileType::kExr, bytes, test::Mode::kThumbnail, cx);
        const test::Drawn reference = test::DrawBytes(FileType::kExr, bytes, test::Mode::kReference, cx);
        ASSERT_TRUE(sampled.ok) << Name(recipe) << " at " << cx << ": " << DescribeFailure(sampled.failure);
        ASSERT_TRUE(reference.ok);
        EXPECT_EQ(sampled.image.pixels, reference.image.pixels) << Name(recipe) << " at " << cx;
      }
      // Cuts of scanline files (a mipmap's full drawing needs only level 0, which comes first).
      for (size_t cut = 0; layout == Layout::kScanline && cut < bytes.size(); cut += 1 + bytes.size() / 97) {
        const test::Drawn drawn =
            test::DrawBytes(FileType::kExr, std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        EXPECT_FALSE(drawn.ok) << Name(recipe) << " cut at " << cut;
        EXPECT_NE(drawn.failure.kind, FailureKind::None);
      }
      for (size_t at = 0; at < bytes.size(); at += 1 + bytes.size() / 151) {
        std::vector<uint8_t> flipped = bytes;
        flipped[at] ^= static_cast<uint8_t>(0x5A + at);
        const test::Drawn drawn = test::DrawBytes(FileType::kExr, flipped, test::Mode::kThumbnail, 32);
        if (!drawn.ok) {
          EXPECT_NE(drawn.failure.kind, FailureKind::None) << Name(recipe) << " flipped at " << at;
        }
      }
    }
  }
}

TEST(Exr, MultiPartDrawsItsFirstPart) {
  const std::string path = TempName("multi");
  std::vector<Imf::Header> headers;
  for (int part = 0; part < 2; ++part) {
    Imf::Header header(8, 6);  // parts share their display window
    header.setName(part == 0 ? "beauty" : "depth");
    header.setType("scanlineimage");
    header.compression() = part == 0 ? Imf::PIZ_COMPRESSION : Imf::ZIP_COMPRESSION;
    header.channels().insert(part == 0 ? "R" : "Z", Imf::Channel(Imf::FLOAT));
    headers.push_back(header);
  }
  std::vector<float> values(8 * 6);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) / 10.0f;
  {
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), 2);
    for (int part = 0; part < 2; ++part) {
      Imf::OutputPart out(file, part);
      Imf::FrameBuffer fb;
      std::vector<float> plane(8 * 6, 3.0f);
      if (part == 0) plane = values;
      fb.insert(part == 0 ? "R" : "Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(plane.data()), 4, 4 * 8));
      out.setFrameBuffer(fb);
      out.writePixels(6);
    }
  }
  const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  std::remove(path.c_str());
  int w = 0, h = 0;
  DecodeFailure failure;
  const std::vector<float> ours = OurFloats(bytes, &w, &h, &failure);
  ASSERT_EQ(w, 8) << DescribeFailure(failure);
  ASSERT_EQ(h, 6);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(ours[4 * i], values[i]);
    EXPECT_EQ(ours[4 * i + 1], 0.0f);
    EXPECT_EQ(ours[4 * i + 3], 1.0f);
  }
  const test::Drawn drawn = test::DrawBytes(FileType::kExr, bytes);
  EXPECT_TRUE(drawn.ok);
  EXPECT_NE(std::string(drawn.facts.details).find("part 1 of 2"), std::string::npos) << drawn.facts.details;
}

// Luminance-chroma files as RgbaOutputFile writes them (Y full size, RY and BY every second pixel and line) come
// back as RgbaInputFile reconstructs them, within what the half-float arithmetic of its filters allows.
TEST(Exr, LuminanceChromaAsRgbaInputFileReconstructs) {
  for (const auto& [w, h, order] : {std::tuple{40, 30, Imf::INCREASING_Y}, std::tuple{18, 10, Imf::DECREASING_Y},
                                    std::tuple{2, 2, Imf::INCREASING_Y}}) {
    const std::string path = TempName("yc");
    std::vector<Imf::Rgba> pixels(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        Imf::Rgba& p = pixels[static_cast<size_t>(y) * w + x];
        p.r = std::fabs(Value(0, x, y, 0)), p.g = std::fabs(Value(1, x, y, 0)), p.b = std::fabs(Value(2, x, y, 0));
        p.a = 1.0f;
      }
    }
    {
      Imf::RgbaOutputFile file(path.c_str(), Imf::Header(w, h, 1.0f, Imath::V2f(0, 0), 1.0f, order), Imf::WRITE_YC);
      file.setFrameBuffer(pixels.data(), 1, static_cast<size_t>(w));
      file.writePixels(h);
    }
    std::vector<Imf::Rgba> back(pixels.size());
    {
      Imf::RgbaInputFile file(path.c_str());
      file.setFrameBuffer(back.data(), 1, static_cast<size_t>(w));
      file.readPixels(0, h - 1);
    }
    const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    std::remove(path.c_str());
    int ow = 0, oh = 0;
    DecodeFailure failure;
    const std::vector<float> ours = OurFloats(bytes, &ow, &oh, &failure);
    ASSERT_EQ(ow, w) << DescribeFailure(failure);
    int worst = 0;
    for (size_t i = 0; i < back.size(); ++i) {
      const float theirs[3] = {back[i].r, back[i].g, back[i].b};
      for (int c = 0; c < 3; ++c) worst = std::max(worst, HalfSteps(ours[4 * i + static_cast<size_t>(c)], theirs[c]));
    }
    EXPECT_LE(worst, 4) << w << " x " << h;
  }
}

// The samples made by real tools against the linear floats their tools decoded (NAME.expected.f32), before tone
// mapping: exact to a half step, luminance-chroma within the half-float steps of its reconstruction.
TEST(Exr, SamplesAgainstTheirToolsFloats) {
  const struct {
    const char* file;
    int steps;
  } kSamples[] = {
      {"exr-exrmaketiled-mipmap-zip-lamp-48x40.exr", 0},
      {"exr-oiio-float-rgb-zip-dimpub-40x20.exr", 0},
      {"exr-oiio-half-rgb-dwaa-lamp-48x40.exr", 1},
      {"exr-oiio-half-rgb-tiled-rle-lamp-48x40.exr", 0},
      {"exr-oiio-half-rgba-datawindow-b44-lamp-48x40.exr", 0},
      {"exr-oiio-half-rgba-piz-lamp-48x40.exr", 0},
      {"exr-openexr-yc-zip-lamp-48x40.exr", 2},
  };
  for (const auto& sample : kSamples) {
    const std::vector<uint8_t> bytes = test::ReadFileBytes(test::SamplePath(sample.file));
    const std::vector<uint8_t> expected =
        test::ReadFileBytes(test::SamplePath(std::string(sample.file) + ".expected.f32"));
    int w = 0, h = 0;
    DecodeFailure failure;
    const std::vector<float> ours = OurFloats(bytes, &w, &h, &failure);
    ASSERT_EQ(ours.size() * 4, expected.size()) << sample.file << ": " << DescribeFailure(failure);
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      float theirs;
      std::memcpy(&theirs, expected.data() + 4 * i, 4);
      if (ours[i] != theirs) worst = std::max(worst, HalfSteps(ours[i], theirs));
    }
    EXPECT_LE(worst, sample.steps) << sample.file;
  }
}

}  // namespace
}  // namespace mirelth

namespace mirelth {
namespace {

// The byte predictor and even/odd split that ZIP, RLE and DWA chunks share, undone sixteen bytes at a time, against
// the plain definition: every size up to 100 bytes (every tail of the vector loops) and a few long ones.
TEST(Exr, UnpredictMatchesThePlainDefinitionAtEverySize) {
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 100; ++n) sizes.push_back(n);
  for (size_t n : {1023u, 4096u, 65537u}) sizes.push_back(n);
  for (const size_t n : sizes) {
    const std::vector<uint8_t> input = test::RandomBytes(n, static_cast<uint32_t>(n) + 1);
    std::vector<uint8_t> expected(input);
    for (size_t i = 1; i < n; ++i) expected[i] = static_cast<uint8_t>(expected[i - 1] + expected[i] - 128);
    const std::vector<uint8_t> summed(expected);
    for (size_t i = 0; i < n; ++i) expected[i] = (i & 1) ? summed[(n + 1) / 2 + i / 2] : summed[i / 2];
    std::vector<uint8_t> got(input), scratch(n + 1);
    ExrUnpredict(got.data(), n, scratch.data());
    ASSERT_EQ(got, expected) << n << " bytes";
  }
}

}  // namespace
}  // namespace mirelth
