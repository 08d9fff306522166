// PSD documents: the layer listing line for line, PackBits edge cases, every colour mode and depth on small
// crafted files with known pixels, truncation at every section boundary, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/psd/psd.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) { out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void Put32(Bytes& out, uint32_t v) {
  out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}
void PutBytes(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// PackBits as literal runs only (a valid packing of any row).
Bytes Pack(const uint8_t* row, size_t size) {
  Bytes out;
  for (size_t at = 0; at < size; at += 128) {
    const size_t run = std::min<size_t>(128, size - at);
    out.push_back(static_cast<uint8_t>(run - 1));
    out.insert(out.end(), row + at, row + at + run);
  }
  return out;
}

struct PsdSpec {
  uint16_t version = 1;
  uint16_t depth = 8;
  uint16_t mode = kPsdRgb;
  uint32_t width = 2;
  uint32_t height = 2;
  uint16_t compression = 1;
  Bytes colorModeData;
  Bytes imageResources;       // contents of the image resources section
  Bytes layerSection;         // contents of the layer and mask information
  std::vector<Bytes> planes;  // one per channel: height rows of the unpacked row bytes
};

Bytes MakePsd(const PsdSpec& spec) {
  Bytes out = {'8', 'B', 'P', 'S'};
  Put16(out, spec.version);
  out.insert(out.end(), 6, 0);
  Put16(out, static_cast<uint32_t>(spec.planes.size()));
  Put32(out, spec.height);
  Put32(out, spec.width);
  Put16(out, spec.depth);
  Put16(out, spec.mode);
  Put32(out, static_cast<uint32_t>(spec.colorModeData.size()));
  PutBytes(out, spec.colorModeData);
  Put32(out, static_cast<uint32_t>(spec.imageResources.size()));
  PutBytes(out, spec.imageResources);
  Put32(out, static_cast<uint32_t>(spec.layerSection.size()));
  PutBytes(out, spec.layerSection);
  Put16(out, spec.compression);
  if (spec.compression == 1) {
    std::vector<Bytes> rows;
    for (const Bytes& plane : spec.planes) {
      const size_t rowBytes = plane.size() / spec.height;
      for (uint32_t r = 0; r < spec.height; ++r) rows.push_back(Pack(plane.data() + r * rowBytes, rowBytes));
    }
    for (const Bytes& row : rows) Put16(out, static_cast<uint32_t>(row.size()));
    for (const Bytes& row : rows) PutBytes(out, row);
  } else {
    for (const Bytes& plane : spec.planes) PutBytes(out, plane);
  }
  return out;
}

using Decoded = test::Drawn;
Decoded Decode(const Bytes& file) { return test::DrawBytes(FileType::kPsd, file); }

TEST(PackBits, RowsAsDocumentedAndBoundedBothWays) {
  const struct {
    const char* name;
    Bytes packed;
    size_t width;
    Bytes lane;  // expected lane values
    size_t consumed;
  } cases[] = {
      {"literal", {0x02, 0x10, 0x20, 0x30}, 3, {0x10, 0x20, 0x30}, 4},
      {"repeat", {0xFE, 0x80}, 3, {0x80, 0x80, 0x80}, 2},
      {"no-op then literal", {0x80, 0x00, 0x05}, 1, {0x05}, 3},
      {"too long: excess dropped", {0xFD, 0x44, 0x01, 0x55, 0x66}, 3, {0x44, 0x44, 0x44}, 5},
      {"literal past its row's bytes", {0x05, 0x11, 0x22}, 4, {0x11, 0x22, 0, 0}, 3},
      {"repeat without its byte", {0x01, 0x11, 0x22, 0xFE}, 4, {0x11, 0x22, 0, 0}, 4},
      {"short row leaves zeros", {0x00, 0x09}, 3, {0x09, 0, 0}, 2},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> pixels(c.width * 4 + 8, 0xEE);
    std::fill(pixels.begin(), pixels.begin() + c.width * 4, 0);
    const size_t consumed = UnpackBitsRow(c.packed.data(), c.packed.size(), pixels.data() + 1, c.width, 4);
    EXPECT_EQ(consumed, c.consumed) << c.name;
    for (size_t x = 0; x < c.width; ++x) {
      EXPECT_EQ(pixels[4 * x + 1], c.lane[x]) << c.name << " pixel " << x;
      EXPECT_EQ(pixels[4 * x], 0) << c.name;  // other lanes untouched
    }
    for (size_t k = c.width * 4; k < pixels.size(); ++k) EXPECT_EQ(pixels[k], 0xEE) << c.name << ": past the row";
  }
}

TEST(PackBits, PickingBytesAgreesWithUnpackingTheRow) {
  // Random packed rows (valid and broken), random increasing positions: every picked byte equals the byte the
  // whole-row decoder puts there, 0 where the row stops short.
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    const Bytes packed = test::RandomBytes(1 + seed % 97, seed);
    const size_t rowBytes = 1 + (seed * 7) % 300;
    Bytes row(rowBytes, 0);
    UnpackBitsRow(packed.data(), packed.size(), row.data(), rowBytes, 1);
    const Bytes chooser = test::RandomBytes(rowBytes, seed + 5000);
    std::vector<uint64_t> positions;
    for (uint64_t k = 0; k < rowBytes; ++k) {
      if (chooser[k] < 80) positions.push_back(k);
    }
    Bytes picked(positions.size(), 0xEE);
    UnpackBitsPick(packed.data(), packed.size(), positions.data(), positions.size(), picked.data());
    for (size_t j = 0; j < positions.size(); ++j) ASSERT_EQ(picked[j], row[positions[j]]) << seed << " " << j;
  }
}

// 2 x 2 planes of one byte per sample.
Bytes Plane8(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {a, b, c, d}; }
Bytes Plane16(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  Bytes out;
  for (uint16_t v : {a, b, c, d}) Put16(out, v);
  return out;
}
Bytes Plane32(float a, float b, float c, float d) {
  Bytes out;
  for (float v : {a, b, c, d}) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Put32(out, bits);
  }
  return out;
}
Bytes Palette() {
  Bytes palette(768, 0);
  for (int i = 0; i < 256; ++i) {
    palette[i] = uint8_t(i);
    palette[256 + i] = uint8_t(255 - i);
    palette[512 + i] = uint8_t(i / 2);
  }
  return palette;
}

struct ModeCase {
  const char* name;
  PsdSpec spec;
  uint32_t expected[4];  // 0xAARRGGBB, pixels (0,0), (1,0), (0,1), (1,1)
};

TEST(Psd, EveryModeAndDepth) {
  const float nan = std::nanf("");
  std::vector<ModeCase> cases = {
      {"RGB 8",
       {.mode = kPsdRgb, .planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8), Plane8(9, 10, 11, 12)}},
       {0xFF010509, 0xFF02060A, 0xFF03070B, 0xFF04080C}},
      {"RGB 8 raw with alpha",
       {.mode = kPsdRgb,
        .compression = 0,
        .planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8), Plane8(9, 10, 11, 12), Plane8(0, 85, 170, 255)}},
       {0x00010509, 0x5502060A, 0xAA03070B, 0xFF04080C}},
      {"RGB 8 with an extra fifth channel",
       {.mode = kPsdRgb,
        .planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8), Plane8(9, 10, 11, 12), Plane8(255, 255, 0, 0),
                   Plane8(77, 77, 77, 77)}},
       {0xFF010509, 0xFF02060A, 0x0003070B, 0x0004080C}},
      {"RGB 8 with two channels: blue reads 0",
       {.mode = kPsdRgb, .planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8)}},
       {0xFF010500, 0xFF020600, 0xFF030700, 0xFF040800}},
      {"RGB 16",
       {.depth = 16,
        .mode = kPsdRgb,
        .planes = {Plane16(0, 65535, 32768, 257), Plane16(0, 0, 0, 0), Plane16(128, 129, 65407, 65408)}},
       {0xFF000000, 0xFFFF0001, 0xFF8000FF, 0xFF0100FF}},
      {"RGB 32 float",
       {.depth = 32,
        .mode = kPsdRgb,
        .planes = {Plane32(0.0f, 1.0f, 0.5f, nan), Plane32(2.0f, -1.0f, 0.0031308f, 0.2140f),
                   Plane32(0.0f, 0.0f, 0.0f, 0.0f), Plane32(1.0f, 0.5f, 0.25f, 0.0f)}},
       {0xFF00FF00, 0x80FF0000, 0x40BC0A00, 0x00007F00}},
      {"Gray 8",
       {.mode = kPsdGrayscale, .planes = {Plane8(0, 50, 100, 255)}},
       {0xFF000000, 0xFF323232, 0xFF646464, 0xFFFFFFFF}},
      {"Gray 8 with alpha",
       {.mode = kPsdGrayscale, .planes = {Plane8(0, 50, 100, 255), Plane8(1, 2, 3, 4)}},
       {0x01000000, 0x02323232, 0x03646464, 0x04FFFFFF}},
      {"Gray 16",
       {.depth = 16, .mode = kPsdGrayscale, .planes = {Plane16(0, 65535, 257, 12850)}},
       {0xFF000000, 0xFFFFFFFF, 0xFF010101, 0xFF323232}},
      {"Duotone 8",
       {.mode = kPsdDuotone, .planes = {Plane8(9, 8, 7, 6)}},
       {0xFF090909, 0xFF080808, 0xFF070707, 0xFF060606}},
      {"Multichannel 8 (first channel, opaque)",
       {.mode = kPsdMultichannel, .planes = {Plane8(9, 8, 7, 6), Plane8(1, 1, 1, 1), Plane8(0, 0, 0, 0)}},
       {0xFF090909, 0xFF080808, 0xFF070707, 0xFF060606}},
      {"Indexed",
       {.mode = kPsdIndexed, .colorModeData = Palette(), .planes = {Plane8(0, 1, 200, 255)}},
       {0xFF00FF00, 0xFF01FE00, 0xFFC83764, 0xFFFF007F}},
      {"Indexed with alpha",
       {.mode = kPsdIndexed, .colorModeData = Palette(), .planes = {Plane8(0, 1, 200, 255), Plane8(10, 20, 30, 40)}},
       {0x0A00FF00, 0x1401FE00, 0x1EC83764, 0x28FF007F}},
      {"CMYK 8 (stored inverted)",
       {.mode = kPsdCmyk,
        .planes = {Plane8(255, 0, 255, 128), Plane8(255, 255, 0, 128), Plane8(255, 255, 255, 128),
                   Plane8(255, 255, 255, 128)}},
       {0xFFFFFFFF, 0xFF00FFFF, 0xFFFF00FF, 0xFF404040}},
      {"CMYK 8 with alpha",
       {.mode = kPsdCmyk,
        .planes = {Plane8(255, 255, 255, 255), Plane8(255, 255, 255, 255), Plane8(255, 255, 255, 255),
                   Plane8(0, 255, 255, 255), Plane8(9, 8, 7, 6)}},
       {0x09000000, 0x08FFFFFF, 0x07FFFFFF, 0x06FFFFFF}},
      {"Lab 8",
       {.mode = kPsdLab, .planes = {Plane8(255, 0, 128, 138), Plane8(128, 128, 128, 208), Plane8(128, 128, 128, 195)}},
       {0xFFFFFFFF, 0xFF000000, 0xFF777777, 0xFFFD070A}},
  };
  // 1-bit bitmap: rows padded to whole bytes, most significant bit first, 1 = black.
  PsdSpec bitmap;
  bitmap.depth = 1;
  bitmap.mode = kPsdBitmap;
  bitmap.planes = {{0x80, 0x40}};
  cases.push_back({"Bitmap 1", bitmap, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}});

  for (const ModeCase& c : cases) {
    const Decoded decoded = Decode(MakePsd(c.spec));
    ASSERT_TRUE(decoded.ok) << c.name << ": " << DescribeFailure(decoded.failure);
    ASSERT_EQ(decoded.image.width, 2);
    ASSERT_EQ(decoded.image.height, 2);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(decoded.image.at(i % 2, i / 2), c.expected[i])
          << c.name << " pixel " << i << std::hex << " got 0x" << decoded.image.at(i % 2, i / 2);
    }
  }
}

TEST(Psd, Refusals) {
  const Bytes rgb = Plane8(1, 2, 3, 4);
  struct Case {
    const char* name;
    PsdSpec spec;
    FailureKind kind;
  };
  std::vector<Case> cases = {
      {"version 3", {.version = 3, .planes = {rgb, rgb, rgb}}, FailureKind::Unsupported},
      {"compression 4", {.compression = 4, .planes = {rgb, rgb, rgb}}, FailureKind::Unsupported},
      {"ZIP data that is not zlib", {.compression = 2, .planes = {rgb, rgb, rgb}}, FailureKind::InvalidHeader},
      {"RGB at 1 bit", {.depth = 1, .planes = {{0}, {0}, {0}}}, FailureKind::Unsupported},
      {"Indexed at 16 bits",
       {.depth = 16, .mode = kPsdIndexed, .colorModeData = Palette(), .planes = {rgb}},
       FailureKind::Unsupported},
      {"mode 5", {.mode = 5, .planes = {rgb}}, FailureKind::Unsupported},
      {"RGB at 24 bits", {.depth = 24, .planes = {rgb, rgb, rgb}}, FailureKind::Unsupported},
      {"Indexed with a short palette",
       {.mode = kPsdIndexed, .colorModeData = Bytes(767, 0), .planes = {rgb}},
       FailureKind::InvalidHeader},
      {"width 0", {.width = 0, .planes = {rgb}}, FailureKind::InvalidHeader},
      {"65535 x 65535", {.width = 65535, .height = 65535, .compression = 0, .planes = {rgb}}, FailureKind::TooLarge},
      {"no channels", {.planes = {}}, FailureKind::InvalidHeader},
  };
  for (const Case& c : cases) {
    const Decoded decoded = Decode(MakePsd(c.spec));
    EXPECT_FALSE(decoded.ok) << c.name;
    EXPECT_EQ(decoded.failure.kind, c.kind) << c.name << ": " << DescribeFailure(decoded.failure);
  }
  Bytes notPsd = MakePsd({.planes = {rgb, rgb, rgb}});
  notPsd[0] = 'X';
  EXPECT_EQ(Decode(notPsd).failure.kind, FailureKind::NotThisFormat);
}

TEST(Psd, EveryTruncationIsRefused) {
  PsdSpec spec;
  spec.planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8), Plane8(9, 10, 11, 12)};
  spec.colorModeData = {1, 2, 3};
  for (uint16_t compression : {uint16_t{0}, uint16_t{1}}) {
    spec.compression = compression;
    const Bytes file = MakePsd(spec);
    ASSERT_TRUE(Decode(file).ok);
    for (size_t size = 0; size < file.size(); ++size) {
      const Decoded decoded = Decode(Bytes(file.begin(), file.begin() + size));
      ASSERT_FALSE(decoded.ok) << "compression " << compression << " size " << size;
      ASSERT_EQ(decoded.failure.kind, size == 0 ? FailureKind::NotThisFormat : FailureKind::Truncated) << size;
    }
  }
  // A section length of 4 GiB is refused, not followed.
  Bytes file = MakePsd(spec);
  file[26] = file[27] = file[28] = 0xFF;
  EXPECT_EQ(Decode(file).failure.kind, FailureKind::Truncated);
}

// One layer record. Extra data: mask data of `maskLength` bytes (flags at byte 17), empty blending ranges,
// and a name; no extra data at all when `extra` is false.
Bytes Layer(int32_t top, int32_t left, int32_t bottom, int32_t right, const std::vector<int16_t>& channels,
            const char* signature, const char* key, uint8_t opacity, uint8_t clipping, uint8_t flags, bool extra,
            uint32_t maskLength = 0, uint8_t maskFlags = 0, const std::string& name = "") {
  Bytes out;
  for (int32_t v : {top, left, bottom, right}) Put32(out, static_cast<uint32_t>(v));
  Put16(out, static_cast<uint32_t>(channels.size()));
  for (size_t i = 0; i < channels.size(); ++i) {
    Put16(out, static_cast<uint16_t>(channels[i]));
    Put32(out, 100 + static_cast<uint32_t>(i));
  }
  out.insert(out.end(), signature, signature + 4);
  out.insert(out.end(), key, key + 4);
  out.insert(out.end(), {opacity, clipping, flags, 0});
  if (!extra) {
    Put32(out, 0);
    return out;
  }
  Bytes data;
  Put32(data, maskLength);
  Bytes mask(maskLength, 0);
  if (maskLength > 17) mask[17] = maskFlags;
  PutBytes(data, mask);
  Put32(data, 0);  // blending ranges
  data.push_back(static_cast<uint8_t>(name.size()));
  data.insert(data.end(), name.begin(), name.end());
  data.insert(data.end(), {0, 0, 0});  // padding and further data, not read
  Put32(out, static_cast<uint32_t>(data.size()));
  PutBytes(out, data);
  return out;
}

Bytes LayerSection(int16_t count, const std::vector<Bytes>& records) {
  Bytes out;
  Put32(out, 0);
  Put16(out, static_cast<uint16_t>(count));
  for (const Bytes& record : records) PutBytes(out, record);
  return out;
}

std::string Decodes(const Bytes& layerSection) {
  PsdSpec spec;
  spec.planes = {Plane8(1, 2, 3, 4), Plane8(5, 6, 7, 8), Plane8(9, 10, 11, 12)};
  spec.layerSection = layerSection;
  const Decoded decoded = Decode(MakePsd(spec));
  EXPECT_TRUE(decoded.ok) << DescribeFailure(decoded.failure);  // the picture decodes whatever the records hold
  return decoded.listing;
}

TEST(PsdListing, RecordsAreListedLineForLine) {
  const std::string listing = Decodes(LayerSection(
      -3, {Layer(10, 20, 110, 220, {0, 1, 2, -1, 5}, "8BIM", "norm", 255, 0, 0x0A, true, 20, 0x03, "Background"),
           Layer(0, 0, 5, 6, {0}, "8BIM", "mul ", 128, 1, 0x11, false),
           Layer(-1, -2, 3, 4, {0, 1}, "8BIM", "zzzz", 7, 0, 0x00, true, 36, 0x04, "Top")}));
  EXPECT_EQ(listing,
            "LayerCount=3\n"
            "  ( 0) LayerPos=(20,10)-(220,110)\n"
            "     > channelID:0  DataSize:100\n"
            "     > channelID:1  DataSize:101\n"
            "     > channelID:2  DataSize:102\n"
            "     > channelID:-1  DataSize:103\n"
            "     > channelID:5  DataSize:104\n"
            "    BlendKey: Normal\n"
            "    Opacity: 255\n"
            "    Clipping: base\n"
            "    LayerFlag: 0A\n"
            "     > LockAlpha\n"
            "     > Hide\n"
            "     > Photoshop5later\n"
            "     > NoLayerSet\n"
            "    Flags: 03\n"
            "    > PositionRelative to layer\n"
            "    > DisableLayerMask\n"
            "    > \n"
            "    Name: Background\n"
            "  ( 1) LayerPos=(0,0)-(6,5)\n"
            "     > channelID:0  DataSize:100\n"
            "    BlendKey: Multiply\n"
            "    Opacity: 128\n"
            "    Clipping: non-base\n"
            "    LayerFlag: 11\n"
            "     > NolockAlpha\n"
            "     > Visible\n"
            "     > Photoshop5before\n"
            "     > LayerSet\n"
            "  ( 2) LayerPos=(-2,-1)-(4,3)\n"
            "     > channelID:0  DataSize:100\n"
            "     > channelID:1  DataSize:101\n"
            "    BlendKey: Unknown\n"
            "    Opacity: 7\n"
            "    Clipping: base\n"
            "    LayerFlag: 00\n"
            "     > LockAlpha\n"
            "     > Visible\n"
            "     > Photoshop5before\n"
            "     > NoLayerSet\n"
            "    Flags: 04\n"
            "    > \n"
            "    > EnableLayerMask\n"
            "    > invert layer mask when blending\n"
            "    Name: Top\n");
}

TEST(PsdListing, WalkEndsAtABadSignatureOrTheSectionEnd) {
  // A bad "8BIM" ends the listing after that record's channel lines.
  EXPECT_EQ(Decodes(LayerSection(2, {Layer(1, 2, 3, 4, {0}, "8BIX", "norm", 1, 0, 0, false),
                                     Layer(1, 2, 3, 4, {0}, "8BIM", "norm", 1, 0, 0, false)})),
            "LayerCount=2\n"
            "  ( 0) LayerPos=(2,1)-(4,3)\n"
            "     > channelID:0  DataSize:100\n");
  // A record that runs past the section ends the walk; the picture still decodes.
  Bytes cut = LayerSection(1, {Layer(1, 2, 3, 4, {0, 1}, "8BIM", "norm", 1, 0, 0, true, 0, 0, "Name")});
  cut.resize(cut.size() - 6);
  EXPECT_EQ(Decodes(cut).rfind("LayerCount=1\n  ( 0) LayerPos=(2,1)-(4,3)\n", 0), 0u);
  // A count far beyond what the section holds lists the count and reads what is there.
  EXPECT_EQ(Decodes(LayerSection(-32768, {})), "LayerCount=32768\n");
  // An empty layer section lists nothing.
  EXPECT_EQ(Decodes({}), "");
}

TEST(PsdListing, BlendModeNames) {
  const struct {
    const char* key;
    const char* name;
  } names[] = {{"norm", "Normal"},     {"dark", "Darken"},     {"lite", "Lighten"},    {"hue ", "Hue"},
               {"sat ", "Saturation"}, {"colr", "Color"},      {"lum ", "Luminosity"}, {"mul ", "Multiply"},
               {"scrn", "Screen"},     {"diss", "Dissolve"},   {"over", "Overlay"},    {"hLit", "Hardlight"},
               {"sLit", "Softlight"},  {"diff", "Difference"}, {"NORM", "Unknown"},    {"hue", "Unknown"}};
  for (const auto& n : names) {
    const uint32_t key = uint32_t(uint8_t(n.key[0])) << 24 | uint32_t(uint8_t(n.key[1])) << 16 |
                         uint32_t(uint8_t(n.key[2])) << 8 | uint32_t(uint8_t(n.key[3]));
    EXPECT_STREQ(BlendModeName(key), n.name) << n.key;
  }
}

// One image resource block: "8BIM", the id, an empty name, the data padded to an even length.
Bytes Resource(uint16_t id, const Bytes& data) {
  Bytes out = {'8', 'B', 'I', 'M'};
  Put16(out, id);
  Put16(out, 0);
  Put32(out, static_cast<uint32_t>(data.size()));
  PutBytes(out, data);
  if (data.size() % 2) out.push_back(0);
  return out;
}
Bytes AlphaIdentifiers(std::initializer_list<uint32_t> ids) {
  Bytes data;
  for (uint32_t id : ids) Put32(data, id);
  return Resource(0x041D, data);
}
// A layer and mask section whose layer info is sized as writers size it: the count, one record (no channel data
// follows: the composite is drawn), the global mask info, then `blocks` of additional information.
Bytes SizedLayerSection(int16_t count, const Bytes& blocks = {}) {
  Bytes info;
  Put16(info, static_cast<uint16_t>(count));
  PutBytes(info, Layer(0, 0, 2, 2, {0, 1, 2}, "8BIM", "norm", 255, 0, 0, false));
  Bytes out;
  Put32(out, static_cast<uint32_t>(info.size()));
  PutBytes(out, info);
  Put32(out, 0);
  PutBytes(out, blocks);
  return out;
}

// Which channel is the composite's transparency, and the white matte Photoshop stores under it. Stored values
// and expected pixels worked by hand: v = clamp((c - (1 - a) n) / a) of c, a in 0..1 (n = 1, Lab's a and b 128/255).
TEST(PsdTransparency, AsPhotoshopAndOtherWritersSaveIt) {
  const Bytes red = Plane8(10, 255, 153, 255), green = Plane8(20, 255, 255, 191), blue = Plane8(30, 255, 128, 200);
  const Bytes alpha = Plane8(255, 0, 128, 64);
  const Bytes selection = Plane8(0, 255, 0, 255);
  const Bytes mtrn = {'8', 'B', 'I', 'M', 'M', 't', 'r', 'n', 0, 0, 0, 0};
  const uint32_t straight[4] = {0xFF0A141E, 0x00FFFFFF, 0x8099FF80, 0x40FFBFC8};
  const uint32_t opaque[4] = {0xFF0A141E, 0xFFFFFFFF, 0xFF99FF80, 0xFFFFBFC8};
  std::vector<ModeCase> cases = {
      // Photoshop: identifier 0 names the transparency; colour matted with white. (0.6 - 0.498) / 0.502 = 0.203.
      {"alpha identifiers 0: matted",
       {.imageResources = AlphaIdentifiers({0}),
        .layerSection = SizedLayerSection(-1),
        .planes = {red, green, blue, alpha}},
       {0xFF0A141E, 0x00000000, 0x8034FF02, 0x40FF0024}},
      {"a Background and two saved selections",
       {.imageResources = AlphaIdentifiers({1, 2}),
        .layerSection = SizedLayerSection(1),
        .planes = {red, green, blue, selection, alpha}},
       {opaque[0], opaque[1], opaque[2], opaque[3]}},
      {"negative layer count, no identifiers: straight",
       {.layerSection = SizedLayerSection(-1), .planes = {red, green, blue, alpha}},
       {straight[0], straight[1], straight[2], straight[3]}},
      {"an \"Mtrn\" block: straight",
       {.layerSection = SizedLayerSection(1, mtrn), .planes = {red, green, blue, alpha}},
       {straight[0], straight[1], straight[2], straight[3]}},
      {"layers and no evidence: a saved selection",
       {.layerSection = SizedLayerSection(1), .planes = {red, green, blue, alpha}},
       {opaque[0], opaque[1], opaque[2], opaque[3]}},
      {"no layers, no identifiers: transparency",
       {.planes = {red, green, blue, alpha}},
       {straight[0], straight[1], straight[2], straight[3]}},
  };
  for (const ModeCase& c : cases) {
    const Decoded decoded = Decode(MakePsd(c.spec));
    ASSERT_TRUE(decoded.ok) << c.name << ": " << DescribeFailure(decoded.failure);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(decoded.image.at(i % 2, i / 2), c.expected[i])
          << c.name << " pixel " << i << std::hex << " got 0x" << decoded.image.at(i % 2, i / 2);
    }
  }
}

// The sampled path of a matted composite equals the reference, raw and packed, 8 and 16 bits.
TEST(PsdTransparency, MattedThumbnailsEqualTheReference) {
  for (const uint16_t depth : {uint16_t{8}, uint16_t{16}}) {
    for (const uint16_t compression : {uint16_t{0}, uint16_t{1}}) {
      PsdSpec spec{.depth = depth,
                   .width = 37,
                   .height = 23,
                   .compression = compression,
                   .imageResources = AlphaIdentifiers({0})};
      for (uint32_t c = 0; c < 4; ++c) spec.planes.push_back(test::RandomBytes(size_t{37} * 23 * depth / 8, 40 + c));
      const Bytes file = MakePsd(spec);
      for (const uint32_t cx : {8u, 16u, 30u}) {
        const Decoded sampled = test::DrawBytes(FileType::kPsd, file, test::Mode::kThumbnail, cx);
        const Decoded reference = test::DrawBytes(FileType::kPsd, file, test::Mode::kReference, cx);
        ASSERT_TRUE(sampled.ok && reference.ok) << DescribeFailure(sampled.failure);
        EXPECT_EQ(sampled.image.pixels, reference.image.pixels) << depth << " " << compression << " " << cx;
      }
    }
  }
}

// Lab's a and b move toward their neutral value, CMYK's inverted channels toward no ink (white), gray toward
// white, at 8 and 16 bits: each matted document draws as the straight one of the values unmatted by hand.
TEST(PsdTransparency, EveryModeUnmattedTowardItsWhite) {
  const Bytes alpha = Plane8(255, 128, 200, 0);
  const struct {
    const char* name;
    uint16_t mode;
    std::vector<Bytes> matted, straight;
  } cases[] = {
      {"Lab",
       kPsdLab,
       {Plane8(40, 153, 230, 255), Plane8(60, 164, 100, 255), Plane8(70, 90, 128, 255), alpha},
       {Plane8(40, 52, 223, 0), Plane8(60, 200, 92, 0), Plane8(70, 52, 128, 0), alpha}},
      {"CMYK",
       kPsdCmyk,
       {Plane8(9, 200, 255, 255), Plane8(9, 255, 255, 255), Plane8(9, 140, 255, 255), Plane8(9, 180, 255, 255), alpha},
       {Plane8(9, 145, 255, 0), Plane8(9, 255, 255, 0), Plane8(9, 26, 255, 0), Plane8(9, 106, 255, 0), alpha}},
      {"Gray", kPsdGrayscale, {Plane8(7, 153, 255, 255), alpha}, {Plane8(7, 52, 255, 0), alpha}},
  };
  for (const auto& c : cases) {
    const Decoded matted =
        Decode(MakePsd({.mode = c.mode, .imageResources = AlphaIdentifiers({0}), .planes = c.matted}));
    const Decoded straight = Decode(MakePsd({.mode = c.mode, .planes = c.straight}));
    ASSERT_TRUE(matted.ok && straight.ok)
        << c.name << DescribeFailure(matted.failure) << DescribeFailure(straight.failure);
    for (int i = 0; i < 4; ++i) {
      const uint32_t got = matted.image.at(i % 2, i / 2), want = i == 3 ? 0 : straight.image.at(i % 2, i / 2);
      for (int shift = 0; shift < 32; shift += 8) {
        EXPECT_LE(std::abs(int((got >> shift) & 255) - int((want >> shift) & 255)), 1)
            << c.name << " pixel " << i << std::hex << " got 0x" << got << " want 0x" << want;
      }
    }
  }
  // 16 bits: 0.6 at alpha 0.5 -> 0.2 (51).
  const Decoded deep = Decode(MakePsd({.depth = 16,
                                       .mode = kPsdGrayscale,
                                       .imageResources = AlphaIdentifiers({0}),
                                       .planes = {Plane16(39321, 0, 0, 0), Plane16(32768, 0, 0, 0)}}));
  ASSERT_TRUE(deep.ok) << DescribeFailure(deep.failure);
  EXPECT_EQ(deep.image.at(0, 0), 0x80333333u);
}

// Image resource 0x0417 makes one palette entry of an indexed document transparent.
TEST(PsdTransparency, TransparencyIndex) {
  const Decoded decoded = Decode(MakePsd({.mode = kPsdIndexed,
                                          .colorModeData = Palette(),
                                          .imageResources = Resource(0x0417, {0, 200}),
                                          .planes = {Plane8(0, 1, 200, 255)}}));
  ASSERT_TRUE(decoded.ok) << DescribeFailure(decoded.failure);
  EXPECT_EQ(decoded.image.at(0, 0), 0xFF00FF00u);
  EXPECT_EQ(decoded.image.at(0, 1), 0x00000000u);
  EXPECT_EQ(decoded.image.at(1, 1), 0xFFFF007Fu);
}

// The format's own edge limits hold on the thumbnail path too (it allocates by the picture's size).
TEST(PsdTransparency, EdgeLimitsOnEveryPath) {
  for (const test::Mode mode : {test::Mode::kFull, test::Mode::kThumbnail}) {
    const Decoded huge =
        test::DrawBytes(FileType::kPsd, MakePsd({.width = 0x7FFFFFFF, .planes = {Plane8(1, 2, 3, 4)}}), mode, 256);
    EXPECT_FALSE(huge.ok);
    const Decoded wide = test::DrawBytes(
        FileType::kPsd, MakePsd({.width = 30001, .compression = 0, .planes = {Plane8(1, 2, 3, 4)}}), mode, 256);
    EXPECT_FALSE(wide.ok);
    EXPECT_EQ(wide.failure.kind, FailureKind::InvalidHeader) << DescribeFailure(wide.failure);
  }
}

}  // namespace
}  // namespace mirelth
