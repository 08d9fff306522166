// Layered documents without a real composite, flattened: a pixel for every blend mode (computed by hand from
// the W3C and Photoshop formulas), masks, clipping, groups, hidden and off-canvas layers, ZIP channels with and
// without prediction at 8, 16 and 32 bits, corrupt and short ZIP streams, the sampled path against the full
// decode, and PSB channel data past 4 GiB through a sparse source.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "formats/psd/psd.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) { test::AppendBE16(out, v); }
void Put32(Bytes& out, uint32_t v) { test::AppendBE32(out, v); }
void Put64(Bytes& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v >> 32));
  Put32(out, static_cast<uint32_t>(v));
}
void PutText(Bytes& out, const char* text) { out.insert(out.end(), text, text + 4); }

struct Channel {
  int16_t id;
  Bytes samples;      // rows of big-endian samples
  Bytes stored = {};  // when set: the channel's data after its compression word, as is
};
struct TestLayer {
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  const char* blend = "norm";
  uint8_t opacity = 255, clipping = 0, flags = 0, fill = 255;
  uint32_t section = 0;  // "lsct" type, 0: none
  const char* sectionBlend = nullptr;
  bool mask = false;
  int32_t maskTop = 0, maskLeft = 0, maskBottom = 0, maskRight = 0;
  uint8_t maskDefault = 0, maskFlags = 0;
  std::vector<Channel> channels;
  uint16_t compression = 0;   // for every channel of the layer
  uint64_t paddingAfter = 0;  // PSB tests: zeros after the last channel's data (in its length)
};
struct Document {
  uint16_t version = 1, depth = 8, mode = kPsdRgb;
  uint32_t width = 4, height = 2;
  std::vector<TestLayer> layers;
  bool versionInfo = true;  // image resource 0x0421 saying there is no real composite
};

// Deflates with zlib; with `predict` the rows are first turned into deltas (8-bit bytes, 16-bit big-endian
// words, 32-bit rows as four byte planes with byte deltas).
Bytes Deflate(const Bytes& samples, uint32_t rowBytes, uint32_t depth, bool predict) {
  Bytes data = samples;
  if (predict) {
    for (size_t row = 0; row + rowBytes <= data.size(); row += rowBytes) {
      uint8_t* r = data.data() + row;
      if (depth == 16) {
        for (size_t i = rowBytes - 2; i >= 2; i -= 2) {
          const uint32_t v = ((r[i] << 8) | r[i + 1]) - ((r[i - 2] << 8) | r[i - 1]);
          r[i] = uint8_t(v >> 8), r[i + 1] = uint8_t(v);
        }
      } else {
        if (depth == 32) {
          Bytes planar(rowBytes);
          const size_t n = rowBytes / 4;
          for (size_t i = 0; i < n; ++i) {
            for (size_t k = 0; k < 4; ++k) planar[k * n + i] = r[4 * i + k];
          }
          std::memcpy(r, planar.data(), rowBytes);
        }
        for (size_t i = rowBytes - 1; i >= 1; --i) r[i] = uint8_t(r[i] - r[i - 1]);
      }
    }
  }
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

Bytes ChannelData(const TestLayer& layer, const Channel& channel, const Document& doc) {
  Bytes out;
  Put16(out, layer.compression);
  const bool isMask = channel.id == -2;
  const uint32_t width = static_cast<uint32_t>(isMask ? layer.maskRight - layer.maskLeft : layer.right - layer.left);
  const uint32_t rowBytes = width * doc.depth / 8;
  if (!channel.stored.empty()) {
    out.insert(out.end(), channel.stored.begin(), channel.stored.end());
  } else if (layer.compression >= 2) {
    const Bytes z = Deflate(channel.samples, rowBytes, doc.depth, layer.compression == 3);
    out.insert(out.end(), z.begin(), z.end());
  } else {
    out.insert(out.end(), channel.samples.begin(), channel.samples.end());
  }
  return out;
}

Bytes LayerRecord(const TestLayer& layer, const std::vector<uint64_t>& lengths, bool psb) {
  Bytes out;
  for (int32_t v : {layer.top, layer.left, layer.bottom, layer.right}) Put32(out, static_cast<uint32_t>(v));
  Put16(out, static_cast<uint32_t>(layer.channels.size()));
  for (size_t c = 0; c < layer.channels.size(); ++c) {
    Put16(out, static_cast<uint16_t>(layer.channels[c].id));
    if (psb) {
      Put64(out, lengths[c]);
    } else {
      Put32(out, static_cast<uint32_t>(lengths[c]));
    }
  }
  PutText(out, "8BIM");
  PutText(out, layer.blend);
  out.insert(out.end(), {layer.opacity, layer.clipping, layer.flags, 0});
  Bytes extra;
  if (layer.mask) {
    Put32(extra, 20);
    for (int32_t v : {layer.maskTop, layer.maskLeft, layer.maskBottom, layer.maskRight}) Put32(extra, uint32_t(v));
    extra.insert(extra.end(), {layer.maskDefault, layer.maskFlags, 0, 0});
  } else {
    Put32(extra, 0);
  }
  Put32(extra, 0);                          // blending ranges
  extra.insert(extra.end(), {0, 0, 0, 0});  // empty name, padded to 4
  if (layer.fill != 255) {
    PutText(extra, "8BIM");
    PutText(extra, "iOpa");
    Put32(extra, 4);
    extra.insert(extra.end(), {layer.fill, 0, 0, 0});
  }
  if (layer.section) {
    PutText(extra, "8BIM");
    PutText(extra, "lsct");
    Put32(extra, layer.sectionBlend ? 12 : 4);
    Put32(extra, layer.section);
    if (layer.sectionBlend) {
      PutText(extra, "8BIM");
      PutText(extra, layer.sectionBlend);
    }
  }
  Put32(out, static_cast<uint32_t>(extra.size()));
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

// The document: no composite (version info says so, and there is no image data).
Bytes MakeLayered(const Document& doc) {
  const bool psb = doc.version == 2;
  Bytes out = {'8', 'B', 'P', 'S'};
  Put16(out, doc.version);
  out.insert(out.end(), 6, 0);
  Put16(out, doc.mode == kPsdRgb ? 4 : 2);
  Put32(out, doc.height);
  Put32(out, doc.width);
  Put16(out, doc.depth);
  Put16(out, doc.mode);
  Put32(out, 0);  // colour mode data
  Bytes resources;
  if (doc.versionInfo) {
    PutText(resources, "8BIM");
    Put16(resources, 0x0421);
    Put16(resources, 0);  // empty name
    Put32(resources, 5);
    resources.insert(resources.end(), {0, 0, 0, 1, 0, 0});  // version 1, hasRealMergedData 0, padding
  }
  Put32(out, static_cast<uint32_t>(resources.size()));
  out.insert(out.end(), resources.begin(), resources.end());
  Bytes info;
  Put16(info, static_cast<uint32_t>(doc.layers.size()));
  Bytes data;
  for (const TestLayer& layer : doc.layers) {
    std::vector<uint64_t> lengths;
    for (size_t c = 0; c < layer.channels.size(); ++c) {
      const Bytes channel = ChannelData(layer, layer.channels[c], doc);
      lengths.push_back(channel.size() + (c + 1 == layer.channels.size() ? layer.paddingAfter : 0));
      data.insert(data.end(), channel.begin(), channel.end());
    }
    const Bytes record = LayerRecord(layer, lengths, psb);
    info.insert(info.end(), record.begin(), record.end());
  }
  info.insert(info.end(), data.begin(), data.end());
  Bytes section;
  if (psb) {
    Put64(section, info.size());
  } else {
    Put32(section, static_cast<uint32_t>(info.size()));
  }
  section.insert(section.end(), info.begin(), info.end());
  Put32(section, 0);  // global layer mask info
  if (psb) {
    Put64(out, section.size());
  } else {
    Put32(out, static_cast<uint32_t>(section.size()));
  }
  out.insert(out.end(), section.begin(), section.end());
  return out;  // no image data section
}

// An 8-bit layer of one colour (R, G, B) and alpha over its rectangle.
TestLayer Solid(int32_t top, int32_t left, int32_t bottom, int32_t right, uint8_t r, uint8_t g, uint8_t b,
                int alpha = -1) {
  TestLayer layer;
  layer.top = top, layer.left = left, layer.bottom = bottom, layer.right = right;
  const size_t n = static_cast<size_t>((bottom - top) * (right - left));
  if (alpha >= 0) layer.channels.push_back({-1, Bytes(n, static_cast<uint8_t>(alpha))});
  layer.channels.push_back({0, Bytes(n, r)});
  layer.channels.push_back({1, Bytes(n, g)});
  layer.channels.push_back({2, Bytes(n, b)});
  return layer;
}

test::Drawn Draw(const Document& doc) { return test::DrawBytes(FileType::kPsd, MakeLayered(doc)); }
uint32_t Bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) { return (a << 24) | (r << 16) | (g << 8) | b; }
bool Near(uint32_t got, uint32_t want, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(int((got >> shift) & 255) - int((want >> shift) & 255)) > tolerance) return false;
  }
  return true;
}

TEST(PsdFlatten, EveryBlendMode) {
  const struct {
    const char* key;
    uint8_t expected[3];
  } modes[] = {
      {"norm", {30, 160, 220}},  {"diss", {30, 160, 220}}, {"mul ", {24, 63, 43}},    {"scrn", {206, 197, 227}},
      {"over", {158, 125, 86}},  {"dark", {30, 100, 50}},  {"lite", {200, 160, 220}}, {"div ", {227, 255, 255}},
      {"idiv", {0, 8, 17}},      {"hLit", {47, 140, 199}}, {"sLit", {167, 115, 96}},  {"diff", {170, 60, 170}},
      {"smud", {183, 135, 184}}, {"lbrn", {0, 5, 15}},     {"lddg", {230, 255, 255}}, {"vLit", {21, 134, 182}},
      {"lLit", {5, 165, 235}},   {"pLit", {60, 100, 185}}, {"hMix", {0, 255, 255}},   {"fsub", {170, 0, 0}},
      {"fdiv", {255, 159, 58}},  {"hue ", {47, 150, 197}}, {"sat ", {220, 93, 30}},   {"colr", {27, 157, 217}},
      {"lum ", {203, 103, 53}},  {"dkCl", {200, 100, 50}}, {"lgCl", {30, 160, 220}},
  };
  for (const auto& mode : modes) {
    Document doc;
    doc.layers = {Solid(0, 0, 2, 4, 200, 100, 50), Solid(0, 0, 2, 4, 30, 160, 220)};
    doc.layers[1].blend = mode.key;
    const test::Drawn drawn = Draw(doc);
    ASSERT_TRUE(drawn.ok) << mode.key << ": " << DescribeFailure(drawn.failure);
    const uint32_t want = Bgra(mode.expected[0], mode.expected[1], mode.expected[2]);
    EXPECT_TRUE(Near(drawn.image.at(1, 1), want, 1)) << mode.key << std::hex << ": 0x" << drawn.image.at(1, 1);
  }
}

// Layers over a white background, one row of 4 pixels unless said.
TEST(PsdFlatten, VisibilityMasksClippingAndGroups) {
  const auto white = [] { return Solid(0, 0, 2, 4, 255, 255, 255); };
  struct Case {
    const char* name;
    std::vector<TestLayer> layers;
    uint32_t expected[4];  // row 0
  };
  std::vector<Case> cases;
  {  // a hidden layer draws nothing
    TestLayer red = Solid(0, 0, 2, 4, 255, 0, 0);
    red.flags = 0x02;
    cases.push_back({"hidden",
                     {white(), red},
                     {Bgra(255, 255, 255), Bgra(255, 255, 255), Bgra(255, 255, 255), Bgra(255, 255, 255)}});
  }
  {  // opacity 50% x fill 50%: a quarter of red
    TestLayer red = Solid(0, 0, 2, 4, 255, 0, 0);
    red.opacity = 128, red.fill = 128;
    const uint32_t quarter = Bgra(255, 191, 191);
    cases.push_back({"opacity and fill", {white(), red}, {quarter, quarter, quarter, quarter}});
  }
  {  // a layer partly off the canvas: only its part inside draws
    cases.push_back({"off the canvas",
                     {white(), Solid(-1, -2, 1, 2, 0, 0, 255)},
                     {Bgra(0, 0, 255), Bgra(0, 0, 255), Bgra(255, 255, 255), Bgra(255, 255, 255)}});
  }
  {  // a mask over columns 1..2: 255 inside, default 0 outside; then default 255 with 0 inside; then disabled
    TestLayer red = Solid(0, 0, 2, 4, 255, 0, 0);
    red.mask = true, red.maskTop = 0, red.maskLeft = 1, red.maskBottom = 2, red.maskRight = 3, red.maskDefault = 0;
    red.channels.push_back({-2, Bytes(4, 255)});
    cases.push_back({"mask, default 0",
                     {white(), red},
                     {Bgra(255, 255, 255), Bgra(255, 0, 0), Bgra(255, 0, 0), Bgra(255, 255, 255)}});
    red.maskDefault = 255;
    red.channels.back().samples = Bytes(4, 0);
    cases.push_back({"mask, default 255",
                     {white(), red},
                     {Bgra(255, 0, 0), Bgra(255, 255, 255), Bgra(255, 255, 255), Bgra(255, 0, 0)}});
    red.maskFlags = 0x02;
    cases.push_back(
        {"mask disabled", {white(), red}, {Bgra(255, 0, 0), Bgra(255, 0, 0), Bgra(255, 0, 0), Bgra(255, 0, 0)}});
  }
  {  // clipping: green clipped to a base that covers columns 0..1 only
    TestLayer green = Solid(0, 0, 2, 4, 0, 255, 0);
    green.clipping = 1;
    cases.push_back({"clipped",
                     {white(), Solid(0, 0, 2, 2, 0, 0, 255), green},
                     {Bgra(0, 255, 0), Bgra(0, 255, 0), Bgra(255, 255, 255), Bgra(255, 255, 255)}});
    TestLayer hiddenBase = Solid(0, 0, 2, 2, 0, 0, 255);
    hiddenBase.flags = 0x02;
    cases.push_back({"clipped to a hidden base",
                     {white(), hiddenBase, green},
                     {Bgra(255, 255, 255), Bgra(255, 255, 255), Bgra(255, 255, 255), Bgra(255, 255, 255)}});
  }
  {  // groups: marker (3), layers, folder (1). A multiply group over red, holding a normal layer of gray 128:
     // alone it is gray; multiplied onto red: (128, 0, 0). Pass-through: the gray lands on red normally.
    TestLayer marker, folder;
    marker.section = 3, marker.blend = "norm";
    folder.section = 1, folder.blend = "norm", folder.sectionBlend = "mul ";
    const TestLayer red = Solid(0, 0, 2, 4, 255, 0, 0), gray = Solid(0, 0, 2, 4, 128, 128, 128);
    const uint32_t dark = Bgra(128, 0, 0), grayPixel = Bgra(128, 128, 128);
    cases.push_back({"multiply group", {red, marker, gray, folder}, {dark, dark, dark, dark}});
    folder.sectionBlend = "pass";
    cases.push_back({"pass-through group", {red, marker, gray, folder}, {grayPixel, grayPixel, grayPixel, grayPixel}});
    folder.sectionBlend = "mul ";
    folder.flags = 0x02;
    const uint32_t redPixel = Bgra(255, 0, 0);
    cases.push_back({"hidden group", {red, marker, gray, folder}, {redPixel, redPixel, redPixel, redPixel}});
    // Nested: a pass-through group inside a multiply group, with a screen layer inside both.
    TestLayer innerMarker = marker, innerFolder = folder;
    innerFolder.sectionBlend = "pass", innerFolder.flags = 0;
    folder.flags = 0;
    TestLayer screen = Solid(0, 0, 2, 4, 0, 0, 255);
    screen.blend = "scrn";
    // Inside the multiply group: gray, then blue screened over it: (128, 128, 255); multiplied onto red.
    cases.push_back(
        {"nested groups", {red, marker, gray, innerMarker, screen, innerFolder, folder}, {dark, dark, dark, dark}});
  }
  for (const Case& c : cases) {
    Document doc;
    doc.layers = c.layers;
    const test::Drawn drawn = Draw(doc);
    ASSERT_TRUE(drawn.ok) << c.name << ": " << DescribeFailure(drawn.failure);
    for (int x = 0; x < 4; ++x) {
      EXPECT_TRUE(Near(drawn.image.at(x, 0), c.expected[x], 1))
          << c.name << " pixel " << x << std::hex << ": 0x" << drawn.image.at(x, 0) << " instead of 0x"
          << c.expected[x];
    }
  }
  // Composited groups nest up to 63 deep (each keeps a canvas row); deeper documents are refused.
  for (const int depth : {63, 64}) {
    TestLayer marker, folder;
    marker.section = 3, marker.blend = "norm";
    folder.section = 1, folder.blend = "norm", folder.sectionBlend = "norm";
    Document doc;
    doc.layers.assign(static_cast<size_t>(depth), marker);
    doc.layers.push_back(Solid(0, 0, 2, 4, 255, 0, 0));
    doc.layers.insert(doc.layers.end(), static_cast<size_t>(depth), folder);
    const test::Drawn drawn = Draw(doc);
    if (depth == 63) {
      ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
      EXPECT_TRUE(Near(drawn.image.at(0, 0), Bgra(255, 0, 0), 1));
    } else {
      EXPECT_FALSE(drawn.ok);
      EXPECT_EQ(drawn.failure.kind, FailureKind::TooLarge);
    }
  }
}

// The same picture through raw, ZIP and ZIP with prediction at every depth; corrupt and short streams refused.
TEST(PsdFlatten, ZipChannelsAtEveryDepth) {
  const uint32_t width = 7, height = 3;
  for (const uint16_t depth : {8, 16, 32}) {
    std::vector<Channel> channels;
    for (int16_t id : {-1, 0, 1, 2}) {
      Bytes samples;
      for (uint32_t i = 0; i < width * height; ++i) {
        const float value = id == -1 ? 1.0f : float((i * 37 + static_cast<uint32_t>(id) * 91) % 256) / 255.0f;
        if (depth == 8) samples.push_back(uint8_t(std::lround(value * 255)));
        if (depth == 16) Put16(samples, static_cast<uint32_t>(std::lround(value * 65535)));
        if (depth == 32) {
          uint32_t bits;
          std::memcpy(&bits, &value, 4);
          Put32(samples, bits);
        }
      }
      channels.push_back({id, samples});
    }
    test::Drawn reference;
    for (const uint16_t compression : {0, 2, 3}) {
      Document doc;
      doc.depth = depth, doc.width = width, doc.height = height;
      TestLayer layer;
      layer.bottom = int32_t(height), layer.right = int32_t(width);
      layer.channels = channels;
      layer.compression = compression;
      doc.layers = {layer};
      const test::Drawn drawn = Draw(doc);
      ASSERT_TRUE(drawn.ok) << depth << "/" << compression << ": " << DescribeFailure(drawn.failure);
      if (compression == 0) {
        reference = drawn;
        continue;
      }
      EXPECT_EQ(drawn.image.pixels, reference.image.pixels) << depth << "/" << compression;
    }
  }
  // A stream that inflates to fewer rows than the layer has, and one with a damaged body.
  for (const bool damaged : {false, true}) {
    Document doc;
    TestLayer layer = Solid(0, 0, 2, 4, 1, 2, 3);
    layer.compression = 2;
    Bytes stream = Deflate(Bytes(damaged ? 8 : 4, 1), 4, 8, false);
    if (damaged) stream[2] ^= 0xFF;  // the first byte after the zlib header
    layer.channels[0].stored = stream;
    doc.layers = {layer};
    const test::Drawn drawn = Draw(doc);
    EXPECT_FALSE(drawn.ok) << damaged;
    if (!damaged) {
      EXPECT_EQ(drawn.failure.kind, FailureKind::Truncated) << DescribeFailure(drawn.failure);
    }
  }
}

// The thumbnail's sampled path equals the reference (full flatten, then the filter) on a layered document.
TEST(PsdFlatten, SampledEqualsReference) {
  Document doc;
  doc.width = 203, doc.height = 117;
  TestLayer background = Solid(0, 0, 117, 203, 10, 200, 30);
  TestLayer patterned;
  patterned.top = -5, patterned.left = 13, patterned.bottom = 90, patterned.right = 250;
  const size_t n = size_t(95) * 237;
  const Bytes noise = test::RandomBytes(n * 4, 5);
  for (int16_t id : {-1, 0, 1, 2}) {
    patterned.channels.push_back(
        {id, Bytes(noise.begin() + (id + 1) * std::ptrdiff_t(n), noise.begin() + (id + 2) * std::ptrdiff_t(n))});
  }
  patterned.blend = "sLit";
  patterned.mask = true, patterned.maskTop = 20, patterned.maskLeft = 0, patterned.maskBottom = 100,
  patterned.maskRight = 120, patterned.maskDefault = 255;
  patterned.channels.push_back({-2, Bytes(test::RandomBytes(80 * 120, 6))});
  patterned.compression = 3;
  doc.layers = {background, patterned};
  const Bytes file = MakeLayered(doc);
  for (uint32_t cx : {16u, 50u, 96u, 256u}) {
    const test::Drawn sampled = test::DrawBytes(FileType::kPsd, file, test::Mode::kThumbnail, cx);
    const test::Drawn reference = test::DrawBytes(FileType::kPsd, file, test::Mode::kReference, cx);
    ASSERT_TRUE(sampled.ok && reference.ok) << DescribeFailure(sampled.failure) << DescribeFailure(reference.failure);
    EXPECT_EQ(sampled.image.pixels, reference.image.pixels) << cx;
  }
}

// Writers that save layers and an image data section of its compression field alone (no rows, no version
// info): the document is flattened, as one without image data is.
TEST(PsdFlatten, ImageDataOfTheCompressionFieldAloneIsFlattened) {
  Document doc;
  doc.versionInfo = false;
  doc.layers = {Solid(0, 0, 2, 4, 200, 100, 50)};
  for (const Bytes& tail : {Bytes{}, Bytes{0, 0}, Bytes{0, 1}}) {
    Bytes file = MakeLayered(doc);
    file.insert(file.end(), tail.begin(), tail.end());
    const test::Drawn drawn = test::DrawBytes(FileType::kPsd, file);
    ASSERT_TRUE(drawn.ok) << tail.size() << ": " << DescribeFailure(drawn.failure);
    EXPECT_EQ(drawn.image.at(3, 1), Bgra(200, 100, 50)) << tail.size();
  }
}

// A PSB document whose second layer's channel data lies past 4 GiB: the first layer's last channel carries 5 GiB
// of (virtual) zeros. The source holds the real bytes at both ends and zeros between.
class SparseSource final : public ByteSource {
 public:
  SparseSource(uint64_t size, std::map<uint64_t, Bytes> pieces) : ByteSource(size), pieces_(std::move(pieces)) {}

 protected:
  bool ReadAt(uint64_t offset, void* out, size_t length) override {
    auto* bytes = static_cast<uint8_t*>(out);
    std::memset(bytes, 0, length);
    for (const auto& [start, piece] : pieces_) {
      const uint64_t end = start + piece.size();
      const uint64_t from = std::max(offset, start), to = std::min(offset + length, end);
      if (from < to) std::memcpy(bytes + (from - offset), piece.data() + (from - start), to - from);
    }
    return true;
  }

 private:
  std::map<uint64_t, Bytes> pieces_;
};

TEST(PsdFlatten, PsbChannelDataPast4GiB) {
  constexpr uint64_t kGap = uint64_t{5} << 30;
  Document doc;
  doc.version = 2;
  TestLayer first = Solid(0, 0, 2, 4, 255, 255, 255);
  first.paddingAfter = kGap;
  TestLayer second = Solid(0, 1, 2, 3, 0, 0, 255);
  doc.layers = {first, second};
  // Built with the padding in the lengths only; the source inserts it where the first layer's data ends.
  const Bytes lengths = MakeLayered(doc);
  // The first layer's channel data: 4 channels of 2 + 8 bytes, then the second layer's.
  const Bytes secondData = [&] {
    Bytes out;
    for (const Channel& c : second.channels) {
      Put16(out, 0);
      out.insert(out.end(), c.samples.begin(), c.samples.end());
    }
    return out;
  }();
  // The second layer's data is the last of the layer info, before the 4-byte global layer mask info.
  const uint64_t split = lengths.size() - 4 - secondData.size();
  const auto at = lengths.begin() + static_cast<std::ptrdiff_t>(split);
  // Everything after the second layer's data (the section's end) moves up with it.
  std::map<uint64_t, Bytes> pieces;
  pieces[0] = Bytes(lengths.begin(), at);
  pieces[split + kGap] = Bytes(at, lengths.end());
  // The section and layer-info lengths grow by the gap.
  Bytes& head = pieces[0];
  const auto grow64 = [&](size_t offset) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | head[offset + i];
    v += kGap;
    for (int i = 7; i >= 0; --i, v >>= 8) head[offset + i] = uint8_t(v);
  };
  const size_t sectionLength = 26 + 4 + 4 + 18;  // header, colour mode data, the 18 bytes of resources
  grow64(sectionLength);
  grow64(sectionLength + 8);
  SparseSource source(lengths.size() + kGap, pieces);
  OpenOptions options;
  PicturePtr picture;
  DecodeFailure failure;
  ASSERT_TRUE(ContainerFor(FileType::kPsd)->openPicture(source, options, &picture, &failure))
      << DescribeFailure(failure);
  HBITMAP bitmap = nullptr;
  ASSERT_TRUE(picture->DrawThumbnail(4, 2, false, &bitmap, &failure)) << DescribeFailure(failure);
  const test::Image image = test::ImageFromBitmap(bitmap);
  DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  EXPECT_EQ(image.at(0, 0), Bgra(255, 255, 255));
  EXPECT_EQ(image.at(1, 0), Bgra(0, 0, 255));
  EXPECT_EQ(image.at(2, 1), Bgra(0, 0, 255));
  EXPECT_EQ(image.at(3, 1), Bgra(255, 255, 255));
  EXPECT_LT(source.bytesRead(), uint64_t{1} << 20);
}

}  // namespace
}  // namespace mirelth
