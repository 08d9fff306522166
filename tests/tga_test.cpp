// TGA: every image type and depth on 2 x 2 pictures with known pixels, the four origins, the alpha rules
// (descriptor bits, the 2.0 extension's attributes type, all-zero alpha, map entries), run-length packets that
// cross rows, bad indices, truncation and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/containers.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

struct Tga {
  uint8_t type = 2, depth = 24, descriptor = 0x20, idLength = 0;
  uint16_t width = 2, height = 2;
  uint8_t mapEntryBits = 0;
  uint16_t mapFirst = 0;
  Bytes map;            // entries, when mapEntryBits is set
  Bytes pixels;         // the stored pixel stream (raw or packets)
  int attributes = -1;  // a 2.0 footer with an extension area of this attributes type
};

Bytes Make(const Tga& t) {
  Bytes out(18, 0);
  out[0] = t.idLength;
  out[1] = t.mapEntryBits ? 1 : 0;
  out[2] = t.type;
  const uint16_t entries = t.mapEntryBits ? static_cast<uint16_t>(t.map.size() / ((t.mapEntryBits + 7) / 8)) : 0;
  out[3] = uint8_t(t.mapFirst), out[4] = uint8_t(t.mapFirst >> 8);
  out[5] = uint8_t(entries), out[6] = uint8_t(entries >> 8);
  out[7] = t.mapEntryBits;
  out[12] = uint8_t(t.width), out[13] = uint8_t(t.width >> 8);
  out[14] = uint8_t(t.height), out[15] = uint8_t(t.height >> 8);
  out[16] = t.depth;
  out[17] = t.descriptor;
  out.insert(out.end(), t.idLength, 'i');
  out.insert(out.end(), t.map.begin(), t.map.end());
  out.insert(out.end(), t.pixels.begin(), t.pixels.end());
  if (t.attributes >= 0) {
    const auto extension = static_cast<uint32_t>(out.size());
    Bytes area(495, 0);
    area[0] = 0xEF, area[1] = 0x01;  // the area's size, 495
    area[494] = static_cast<uint8_t>(t.attributes);
    out.insert(out.end(), area.begin(), area.end());
    test::AppendLE32(out, extension);
    test::AppendLE32(out, 0);
    const std::string signature = "TRUEVISION-XFILE.";
    out.insert(out.end(), signature.begin(), signature.end());
    out.push_back(0);
  }
  return out;
}

test::Drawn Draw(const Tga& t) { return test::DrawBytes(FileType::kTga, Make(t)); }
constexpr uint32_t Bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// Stored pixels A, B, C, D in stream order; where they land depends on the origin.
const Bytes kBgr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
constexpr uint32_t A = Bgra(3, 2, 1), B = Bgra(6, 5, 4), C = Bgra(9, 8, 7), D = Bgra(12, 11, 10);

TEST(Tga, TypesDepthsAndOrigins) {
  struct Case {
    const char* name;
    Tga tga;
    uint32_t expected[4];  // (0,0), (1,0), (0,1), (1,1)
  };
  const auto with = [](uint8_t type, uint8_t depth, uint8_t descriptor, Bytes pixels) {
    Tga t;
    t.type = type, t.depth = depth, t.descriptor = descriptor, t.pixels = std::move(pixels);
    return t;
  };
  std::vector<Case> cases = {
      {"24-bit, top-left", with(2, 24, 0x20, kBgr), {A, B, C, D}},
      {"24-bit, bottom-left", with(2, 24, 0x00, kBgr), {C, D, A, B}},
      {"24-bit, top-right", with(2, 24, 0x30, kBgr), {B, A, D, C}},
      {"24-bit, bottom-right", with(2, 24, 0x10, kBgr), {D, C, B, A}},
      {"32-bit, 8 alpha bits",
       with(2, 32, 0x28, {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 10, 11, 12, 40}),
       {Bgra(3, 2, 1, 10), Bgra(6, 5, 4, 20), Bgra(9, 8, 7, 30), Bgra(12, 11, 10, 40)}},
      {"32-bit, 0 alpha bits: opaque",
       with(2, 32, 0x20, {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 10, 11, 12, 40}),
       {A, B, C, D}},
      {"32-bit, every alpha 0: opaque",
       with(2, 32, 0x28, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}),
       {A, B, C, D}},
      {"16-bit, 1 alpha bit",
       with(2, 16, 0x21, {0x1F, 0x80, 0xE0, 0x03, 0x00, 0xFC, 0x00, 0x00}),
       {Bgra(0, 0, 255), Bgra(0, 255, 0, 0), Bgra(255, 0, 0), Bgra(0, 0, 0, 0)}},
      {"16-bit, no alpha bits",
       with(2, 16, 0x20, {0x1F, 0x80, 0xE0, 0x03, 0x00, 0xFC, 0x00, 0x00}),
       {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(0, 0, 0)}},
      {"15-bit",
       with(2, 15, 0x20, {0x1F, 0x80, 0xE0, 0x03, 0x00, 0xFC, 0x00, 0x00}),
       {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(0, 0, 0)}},
      {"gray 8",
       with(3, 8, 0x20, {0, 85, 170, 255}),
       {Bgra(0, 0, 0), Bgra(85, 85, 85), Bgra(170, 170, 170), Bgra(255, 255, 255)}},
      {"gray 16 with alpha",
       with(3, 16, 0x28, {10, 255, 20, 128, 30, 0, 40, 1}),
       {Bgra(10, 10, 10), Bgra(20, 20, 20, 128), Bgra(30, 30, 30, 0), Bgra(40, 40, 40, 1)}},
  };
  {  // colour-mapped: 8-bit indices into a 24-bit map whose first index is 2; index 9 is outside the map
    Tga t = with(1, 8, 0x20, {2, 3, 4, 9});
    t.mapEntryBits = 24, t.mapFirst = 2, t.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    cases.push_back({"mapped 8/24, an index outside", t, {A, B, C, 0}});
    t.mapEntryBits = 32, t.map = {1, 2, 3, 50, 4, 5, 6, 60, 7, 8, 9, 70};
    cases.push_back({"mapped 8/32: entry alpha", t, {Bgra(3, 2, 1, 50), Bgra(6, 5, 4, 60), Bgra(9, 8, 7, 70), 0}});
    t.mapEntryBits = 16, t.map = {0x1F, 0x00, 0xE0, 0x03, 0x00, 0xFC};
    cases.push_back({"mapped 8/16: entries opaque", t, {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), 0}});
    Tga wide = with(1, 16, 0x20, {0, 1, 1, 1, 2, 1, 0, 0});
    wide.mapEntryBits = 24, wide.mapFirst = 256, wide.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    cases.push_back({"mapped, 16-bit indices", wide, {A, B, C, 0}});
  }
  {  // run-length: a run of 3 crossing the row end, then a literal; types 9 and 11 too
    cases.push_back(
        {"RLE true colour across rows", with(10, 24, 0x20, {0x82, 1, 2, 3, 0x00, 10, 11, 12}), {A, A, A, D}});
    Tga mapped = with(9, 8, 0x20, {0x81, 2, 0x01, 4, 9});
    mapped.mapEntryBits = 24, mapped.mapFirst = 2, mapped.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    cases.push_back({"RLE mapped", mapped, {A, A, C, 0}});
    cases.push_back({"RLE gray, last packet clipped",
                     with(11, 8, 0x20, {0x00, 7, 0x84, 9}),
                     {Bgra(7, 7, 7), Bgra(9, 9, 9), Bgra(9, 9, 9), Bgra(9, 9, 9)}});
  }
  {  // an image ID is skipped; the 2.0 extension's attributes type 3 gives alpha, 4 premultiplied, 2 nothing
    Tga id = with(2, 24, 0x20, kBgr);
    id.idLength = 5;
    cases.push_back({"image ID", id, {A, B, C, D}});
    const Bytes straight = {1, 2, 3, 128, 4, 5, 6, 255, 7, 8, 9, 0, 10, 11, 12, 64};
    Tga attributes = with(2, 32, 0x20, straight);
    attributes.attributes = 3;
    cases.push_back(
        {"attributes 3", attributes, {Bgra(3, 2, 1, 128), Bgra(6, 5, 4), Bgra(9, 8, 7, 0), Bgra(12, 11, 10, 64)}});
    attributes.attributes = 4;
    cases.push_back(
        {"attributes 4: premultiplied", attributes, {Bgra(6, 4, 2, 128), Bgra(6, 5, 4), 0, Bgra(48, 44, 40, 64)}});
    attributes.attributes = 2;
    cases.push_back({"attributes 2: the descriptor decides", attributes, {A, B, C, D}});
  }
  for (const Case& c : cases) {
    const test::Drawn drawn = Draw(c.tga);
    ASSERT_TRUE(drawn.ok) << c.name << ": " << DescribeFailure(drawn.failure);
    const uint32_t got[4] = {drawn.image.at(0, 0), drawn.image.at(1, 0), drawn.image.at(0, 1), drawn.image.at(1, 1)};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(got[i], c.expected[i]) << c.name << " pixel " << i << std::hex << ": 0x" << got[i];
    }
    // The thumbnail path agrees, with transparent pixels as transparent black (the mean of one sample of alpha 0).
    const test::Drawn thumbnail = test::DrawBytes(FileType::kTga, Make(c.tga), test::Mode::kThumbnail, 2);
    ASSERT_TRUE(thumbnail.ok) << c.name;
    std::vector<uint32_t> expected = drawn.image.pixels;
    for (uint32_t& p : expected) p = p >= 0x01000000u ? p : 0;
    EXPECT_EQ(thumbnail.image.pixels, expected) << c.name;
  }
}

TEST(Tga, Refusals) {
  const auto with = [](uint8_t type, uint8_t depth, Bytes pixels) {
    Tga t;
    t.type = type, t.depth = depth, t.pixels = std::move(pixels);
    return t;
  };
  Tga noMap = with(1, 8, Bytes(4, 0));
  Tga wideIndices = with(1, 32, Bytes(16, 0));
  wideIndices.mapEntryBits = 24, wideIndices.map = {1, 2, 3};
  Tga zeroWidth = with(2, 24, Bytes(12, 0));
  zeroWidth.width = 0;
  const struct {
    const char* name;
    Tga tga;
    FailureKind kind;
  } cases[] = {
      {"type 0 (no image)", with(0, 24, kBgr), FailureKind::Unsupported},
      {"type 32", with(32, 24, kBgr), FailureKind::Unsupported},
      {"24-bit gray", with(3, 24, kBgr), FailureKind::Unsupported},
      {"1-bit gray", with(3, 1, kBgr), FailureKind::Unsupported},
      {"32-bit indices", wideIndices, FailureKind::Unsupported},
      {"mapped without a map", noMap, FailureKind::InvalidHeader},
      {"width 0", zeroWidth, FailureKind::InvalidHeader},
      {"raw pixels cut short", with(2, 24, Bytes(kBgr.begin(), kBgr.end() - 1)), FailureKind::Truncated},
      {"packets end early", with(10, 24, {0x81, 1, 2, 3}), FailureKind::Truncated},
      {"a literal packet cut short", with(10, 24, {0x03, 1, 2, 3, 4, 5}), FailureKind::Truncated},
  };
  for (const auto& c : cases) {
    const test::Drawn drawn = Draw(c.tga);
    EXPECT_FALSE(drawn.ok) << c.name;
    EXPECT_EQ(drawn.failure.kind, c.kind) << c.name << ": " << DescribeFailure(drawn.failure);
  }
  // Every truncation of a run-length file is refused, never drawn from bytes past the end.
  const Bytes file = Make(with(10, 24, {0x82, 1, 2, 3, 0x00, 10, 11, 12}));
  for (size_t size = 0; size < file.size(); ++size) {
    EXPECT_FALSE(
        test::DrawBytes(FileType::kTga, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size))).ok)
        << size;
  }
}

}  // namespace
}  // namespace mirelth
