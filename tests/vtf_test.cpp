// VTF files made here from the format's layout: one pixel of every drawn format from known values, each version's
// header (7.0-7.2 fixed, 7.3+ a resource dictionary in any order with unknown, CRC and LOD entries skipped), mips
// stored smallest first with the thumbnail's level choice, frames and environment-map faces, the refusals, and
// truncation at every header field.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

struct VtfSpec {
  uint32_t minor = 2;
  uint16_t width = 1, height = 1, frames = 1, startFrame = 0, depth = 1;
  uint32_t flags = 0;
  int32_t format = 0;
  uint8_t mips = 1;
  bool lowRes = false;                        // a 1 x 1 DXT1 thumbnail before the image (7.0-7.2)
  std::vector<std::array<uint8_t, 8>> extra;  // 7.3+: more resource entries (tag, flags, value)
  bool highResFirst = false;                  // 7.3+: the image's entry before the thumbnail's
};

void Put32(Bytes& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes& out, size_t at, uint32_t v) { out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8); }

// A file: the header (and dictionary), an 8-byte DXT1 thumbnail, then `images`.
Bytes MakeVtf(const VtfSpec& s, const Bytes& images) {
  const bool dictionary = s.minor >= 3;
  const size_t resources = dictionary ? 2 + s.extra.size() : 0;
  const size_t header = s.minor < 2 ? 64 : 80 + 8 * resources;
  Bytes out(header, 0);
  std::memcpy(out.data(), "VTF", 4);
  Put32(out, 4, 7);
  Put32(out, 8, s.minor);
  Put32(out, 12, static_cast<uint32_t>(header));
  Put16(out, 16, s.width);
  Put16(out, 18, s.height);
  Put32(out, 20, s.flags);
  Put16(out, 24, s.frames);
  Put16(out, 26, s.startFrame);
  Put32(out, 52, static_cast<uint32_t>(s.format));
  out[56] = s.mips;
  const bool low = s.lowRes || dictionary;
  Put32(out, 57, low ? 13u : 0xFFFFFFFFu);
  out[61] = out[62] = low ? 1 : 0;
  if (s.minor >= 2) Put16(out, 63, s.depth);
  if (dictionary) {
    Put32(out, 68, static_cast<uint32_t>(resources));
    std::vector<std::array<uint8_t, 8>> entries;
    std::array<uint8_t, 8> lowEntry{0x01, 0, 0, 0}, highEntry{0x30, 0, 0, 0};
    for (int i = 0; i < 4; ++i) lowEntry[4 + i] = uint8_t(header >> (8 * i));
    for (int i = 0; i < 4; ++i) highEntry[4 + i] = uint8_t((header + 8) >> (8 * i));
    if (s.highResFirst) {
      entries = {highEntry, lowEntry};
    } else {
      entries = {lowEntry, highEntry};
    }
    entries.insert(entries.begin() + 1, s.extra.begin(), s.extra.end());
    for (size_t i = 0; i < entries.size(); ++i) std::memcpy(out.data() + 80 + 8 * i, entries[i].data(), 8);
  }
  if (low) out.insert(out.end(), 8, 0);
  out.insert(out.end(), images.begin(), images.end());
  return out;
}

TEST(Vtf, EveryDrawnFormatFromKnownValues) {
  const struct {
    int32_t format;
    const char* name;
    Bytes pixel;
    uint32_t expected;  // BGRA
  } cases[] = {
      {0, "RGBA8888", {10, 20, 30, 40}, 0x280A141E},
      {1, "ABGR8888", {40, 30, 20, 10}, 0x280A141E},
      {2, "RGB888", {10, 20, 30}, 0xFF0A141E},
      {3, "BGR888", {30, 20, 10}, 0xFF0A141E},
      {4, "RGB565: red low", {0x1F, 0x00}, 0xFFFF0000},
      {5, "I8", {0x80}, 0xFF808080},
      {6, "IA88", {0x80, 0x40}, 0x40808080},
      {8, "A8", {0x40}, 0x40000000},
      {11, "ARGB8888", {40, 10, 20, 30}, 0x280A141E},
      {12, "BGRA8888", {30, 20, 10, 40}, 0x280A141E},
      {13, "DXT1", {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, 0xFFFF0000},
      {14, "DXT3", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, 0xFFFF0000},
      {15, "DXT5", {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, 0xFFFF0000},
      {16, "BGRX8888", {30, 20, 10, 0}, 0xFF0A141E},
      {17, "BGR565", {0x00, 0xF8}, 0xFFFF0000},
      {18, "BGRX5551", {0x00, 0x7C}, 0xFFFF0000},
      {19, "BGRA4444", {0x00, 0xFF}, 0xFFFF0000},
      {20, "DXT1_ONEBITALPHA", {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0}, 0xFFFF0000},
      {21, "BGRA5551", {0x00, 0xFC}, 0xFFFF0000},
      {22, "UV88: signed, blue 0", {0x7F, 0x81}, 0xFFFF0000},
      {23, "UVWQ8888", {0x7F, 0x81, 0x00, 0x7F}, 0xFFFF0080},
      {24, "RGBA16161616F", {0x00, 0x3C, 0x00, 0x38, 0x00, 0x00, 0x00, 0x3C}, 0xFFFFBC00},
      {25, "RGBA16161616", {0xFF, 0xFF, 0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF}, 0xFFFF8000},
      {37, "ATI2N: a normal map", {255, 255, 0, 0, 0, 0, 0, 0, 128, 128, 0, 0, 0, 0, 0, 0}, 0xFFFF8080},
      {38, "ATI1N", {0x80, 0x80, 0, 0, 0, 0, 0, 0}, 0xFF808080},
  };
  for (const auto& c : cases) {
    for (const uint32_t minor : {1u, 2u, 3u, 5u}) {
      VtfSpec spec;
      spec.minor = minor;
      spec.format = c.format;
      const test::Drawn drawn = test::DrawBytes(FileType::kVtf, MakeVtf(spec, c.pixel));
      ASSERT_TRUE(drawn.ok) << c.name << " 7." << minor << ": " << DescribeFailure(drawn.failure);
      EXPECT_EQ(drawn.image.at(0, 0), c.expected) << c.name << std::hex << " 0x" << drawn.image.at(0, 0);
      EXPECT_STREQ(drawn.facts.encoding, std::string(c.name).substr(0, std::string(c.name).find(':')).c_str());
    }
  }
  // Every other format is refused by its name.
  for (const auto& [format, name] :
       {std::pair{7, "P8"}, std::pair{27, "R32F"}, std::pair{29, "RGBA32323232F"}, std::pair{36, "NV_NULL"}}) {
    VtfSpec spec;
    spec.format = format;
    const test::Drawn drawn = test::DrawBytes(FileType::kVtf, MakeVtf(spec, Bytes(64, 0)));
    EXPECT_EQ(DescribeFailure(drawn.failure), std::string("unsupported: VTF image format ") + name);
  }
}

// Mips smallest first: 8 x 8 red, 4 x 4 green, 2 x 2 blue, 1 x 1 white stored 1, 2, 4 then 8; each thumbnail draws
// the smallest level that covers it; frames and the faces of an environment map come within each mip.
TEST(Vtf, LevelsSmallestFirstFramesAndFaces) {
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};  // display values, stored as BGRA8888
  for (const bool environment : {false, true}) {
    for (const uint16_t frames : {uint16_t{1}, uint16_t{2}}) {
      VtfSpec spec;
      spec.minor = 5;
      spec.width = spec.height = 8;
      spec.mips = 4;
      spec.format = 12;  // BGRA8888
      spec.frames = frames;
      if (environment) spec.flags = 0x4000;
      const uint32_t copies = frames * (environment ? 6u : 1u);
      Bytes images;
      for (int k = 3; k >= 0; --k) {
        const int side = 8 >> k;
        for (uint32_t copy = 0; copy < copies; ++copy) {
          for (int p = 0; p < side * side; ++p) {
            const uint32_t c = copy == 0 ? colours[k] : 0xFF808080u;  // only frame 0, face 0 is drawn
            images.insert(images.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)});
          }
        }
      }
      const Bytes file = MakeVtf(spec, images);
      const struct {
        uint32_t cx, expected;
      } draws[] = {{8, 0xFFFF0000}, {5, 0xFFFF0000}, {4, 0xFF00FF00}, {2, 0xFF0000FF}, {1, 0xFFFFFFFF}};
      for (const auto& d : draws) {
        const test::Drawn drawn = test::DrawBytes(FileType::kVtf, file, test::Mode::kThumbnail, d.cx);
        ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
        EXPECT_EQ(drawn.image.at(0, 0), d.expected) << d.cx << " frames " << frames << " env " << environment;
        const test::Drawn reference = test::DrawBytes(FileType::kVtf, file, test::Mode::kReference, d.cx);
        EXPECT_EQ(reference.image.pixels, drawn.image.pixels);
      }
      const test::Drawn full = test::DrawBytes(FileType::kVtf, file);
      EXPECT_EQ(full.image.at(7, 7), 0xFFFF0000u);
      EXPECT_EQ(full.facts.levels, 4u);
      EXPECT_EQ(full.facts.faces, environment ? 6u : 1u);
      EXPECT_EQ(full.facts.layers, frames);
    }
  }
}

// The flags that mean something are described; the sRGB flag only from 7.4, where it has that meaning.
TEST(Vtf, DescribedFlags) {
  const struct {
    uint32_t minor, flags;
    const char* details;
    ColourSpace colourSpace;
  } cases[] = {
      {2, 0, "VTF 7.2, 1 frame", ColourSpace::kUnspecified},
      {5, 0x80 | 0x1000, "VTF 7.5, 1 frame, normal map, one-bit alpha", ColourSpace::kUnspecified},
      {4, 0x40, "VTF 7.4, 1 frame, sRGB", ColourSpace::kSrgb},
      {3, 0x40, "VTF 7.3, 1 frame", ColourSpace::kUnspecified},  // 0x40 meant something else before 7.4
  };
  for (const auto& c : cases) {
    VtfSpec spec;
    spec.minor = c.minor;
    spec.flags = c.flags;
    const test::Drawn drawn = test::DrawBytes(FileType::kVtf, MakeVtf(spec, Bytes{10, 20, 30, 40}));
    ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
    EXPECT_STREQ(drawn.facts.details, c.details);
    EXPECT_EQ(drawn.facts.colourSpace, c.colourSpace) << c.details;
  }
}

TEST(Vtf, ResourceDictionaryAndHeaderChecks) {
  const Bytes pixel = {10, 20, 30, 40};
  VtfSpec spec;
  spec.minor = 4;
  // Unknown entries, a CRC and a LOD value (no data), in any order: skipped.
  spec.extra = {
      {'C', 'R', 'C', 0x02, 1, 2, 3, 4}, {'L', 'O', 'D', 0x02, 8, 8, 0, 0}, {'K', 'V', 'D', 0x00, 0, 0, 0, 0}};
  for (const bool highFirst : {false, true}) {
    spec.highResFirst = highFirst;
    const test::Drawn drawn = test::DrawBytes(FileType::kVtf, MakeVtf(spec, pixel));
    ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
    EXPECT_EQ(drawn.image.at(0, 0), 0x280A141Eu);
  }
  // No high-resolution entry; a header size that is not the version's; a dictionary past the end; versions.
  VtfSpec noImage;
  noImage.minor = 3;
  Bytes file = MakeVtf(noImage, pixel);
  file[80 + 8] = 0x31;  // the image entry's tag changed
  EXPECT_EQ(DescribeFailure(test::DrawBytes(FileType::kVtf, file).failure),
            "invalid header: VTF without a high-resolution image resource");
  VtfSpec v72;
  file = MakeVtf(v72, pixel);
  Put32(file, 12, 64);
  EXPECT_EQ(test::DrawBytes(FileType::kVtf, file).failure.kind, FailureKind::InvalidHeader);
  file = MakeVtf(noImage, pixel);
  Put32(file, 68, 200);  // 200 resources
  EXPECT_EQ(test::DrawBytes(FileType::kVtf, file).failure.kind, FailureKind::InvalidHeader);
  file = MakeVtf(v72, pixel);
  Put32(file, 8, 6);
  EXPECT_EQ(DescribeFailure(test::DrawBytes(FileType::kVtf, file).failure), "unsupported: VTF version 7.6");
  // Truncation at every byte of the header and the image: refused with a reason, never drawn.
  for (const uint32_t minor : {1u, 2u, 5u}) {
    VtfSpec s;
    s.minor = minor;
    s.width = s.height = 4;
    s.format = 13;
    const Bytes whole = MakeVtf(s, Bytes(8, 0x55));
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      const test::Drawn drawn = test::DrawBytes(FileType::kVtf, Bytes(whole.begin(), whole.begin() + cut));
      EXPECT_FALSE(drawn.ok) << "7." << minor << " cut at " << cut;
      EXPECT_NE(drawn.failure.kind, FailureKind::None) << cut;
    }
    EXPECT_TRUE(test::DrawBytes(FileType::kVtf, whole).ok);
  }
}

}  // namespace
}  // namespace mirelth
