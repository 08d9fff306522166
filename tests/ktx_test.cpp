// KTX 1, KTX 2 and .astc: the format tables against Vulkan's and OpenGL's headers; every drawn format against
// the same bytes in another container (DDS with a DX10 header, PVR 3) or a worked pixel; KTX 1 of both byte
// orders; supercompressed levels; the level index; orientation, cube maps and arrays, premultiplied colour.
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "encodings/encoding.h"
#include "formats/containers.h"
#include "formats/ktx/basis_etc1s.h"
#include "formats/ktx/ktx_formats.h"
#include "test_support.h"
#include "tests/ktx2_writer.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- Builders ----

using test::BitWriter;
using test::Canonical;
using test::Etc1sBook;
using test::Etc1sTexel;
using test::GlobalData;
using test::Ktx2Spec;
using test::MakeKtx2;
using test::Put64;
using test::WriteCodebooks;
using test::WriteLengths;
using test::WriteSlice;
using test::WriteTable;

struct Ktx1Spec {
  uint32_t internalFormat = 0x8058, glFormat = 0x1908, glType = 0x1401, typeSize = 1;
  uint32_t width = 16, height = 16, elements = 0, faces = 1;
  bool bigEndian = false;
  std::string orientation;
  std::vector<Bytes> levels;  // each level's bytes as the file stores them (every element and face)
};

Bytes MakeKtx1(const Ktx1Spec& s) {
  Bytes file = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
  const auto put = [&](uint32_t v) { s.bigEndian ? test::AppendBE32(file, v) : test::AppendLE32(file, v); };
  std::string kv;
  if (!s.orientation.empty()) kv = std::string("KTXorientation") + '\0' + s.orientation + '\0';
  const uint32_t kvBytes = kv.empty() ? 0 : static_cast<uint32_t>(4 + (kv.size() + 3) / 4 * 4);
  for (uint32_t v : {0x04030201u, s.glType, s.typeSize, s.glFormat, s.internalFormat, 0x1908u, s.width, s.height, 0u,
                     s.elements, s.faces, static_cast<uint32_t>(s.levels.size()), kvBytes}) {
    put(v);
  }
  if (!kv.empty()) {
    put(static_cast<uint32_t>(kv.size()));
    file.insert(file.end(), kv.begin(), kv.end());
    while (file.size() % 4) file.push_back(0);
  }
  for (const Bytes& level : s.levels) {
    const bool cube = s.faces == 6 && s.elements == 0;
    put(static_cast<uint32_t>(cube ? level.size() / 6 : level.size()));
    file.insert(file.end(), level.begin(), level.end());
    while (file.size() % 4) file.push_back(0);
  }
  return file;
}

Bytes MakeDx10(uint32_t dxgi, uint32_t width, uint32_t height, const Bytes& pixels) {
  test::DdsSpec spec;
  spec.width = static_cast<int32_t>(width), spec.height = static_cast<int32_t>(height);
  spec.pixelFlags = 0x4;
  spec.fourCC = test::FourCC("DX10");
  spec.bitCount = 0;
  std::memset(spec.masks, 0, sizeof spec.masks);
  Bytes header;
  for (uint32_t v : {dxgi, 3u, 0u, 1u, 0u}) test::AppendLE32(header, v);
  header.insert(header.end(), pixels.begin(), pixels.end());
  return test::MakeDds(spec, header);
}

Bytes MakeDdsFourCC(const char* fourCC, uint32_t width, uint32_t height, const Bytes& pixels) {
  test::DdsSpec spec;
  spec.width = static_cast<int32_t>(width), spec.height = static_cast<int32_t>(height);
  spec.pixelFlags = 0x4;
  spec.fourCC = test::FourCC(fourCC);
  spec.bitCount = 0;
  std::memset(spec.masks, 0, sizeof spec.masks);
  return test::MakeDds(spec, pixels);
}

Bytes MakePvr3(uint32_t predefined, uint32_t channelType, uint32_t width, uint32_t height, const Bytes& pixels) {
  Bytes file(52, 0);
  test::PutLE(file, 0, 0x03525650);
  test::PutLE(file, 8, predefined);
  test::PutLE(file, 20, channelType);
  test::PutLE(file, 24, height);
  test::PutLE(file, 28, width);
  test::PutLE(file, 44, 1);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

test::Drawn Draw(FileType type, const Bytes& file, test::Mode mode = test::Mode::kFull, uint32_t cx = 0) {
  return test::DrawBytes(type, file, mode, cx);
}

// ---- Every drawn VkFormat ----

// The VkFormats other containers name: DXGI formats (DDS) and PVR predefined formats (with a channel type).
const std::map<uint32_t, uint32_t> kVkToDxgi = {
    {2, 191},  {4, 85},   {8, 86},   {9, 61},   {15, 61},  {16, 49},         {17, 51},  {22, 49},  {37, 28},  {38, 31},
    {43, 29},  {44, 87},  {50, 91},  {51, 28},  {52, 31},  {57, 29},         {64, 24},  {70, 56},  {76, 54},  {77, 35},
    {83, 34},  {91, 11},  {97, 10},  {100, 41}, {103, 16}, {106, 6},         {109, 2},  {122, 26}, {123, 67}, {131, 71},
    {132, 72}, {133, 71}, {134, 72}, {135, 74}, {136, 75}, {137, 77},        {138, 78}, {139, 80}, {140, 81}, {141, 83},
    {142, 84}, {143, 95}, {144, 96}, {145, 98}, {146, 99}, {1000340000, 115}};
struct PvrRef {
  uint32_t predefined, channelType;
};
std::map<uint32_t, PvrRef> VkToPvr() {
  std::map<uint32_t, PvrRef> m = {{147, {22, 0}},       {148, {22, 0}},      {149, {24, 0}},       {150, {24, 0}},
                                  {151, {23, 0}},       {152, {23, 0}},      {153, {25, 0}},       {154, {25, 1}},
                                  {155, {26, 0}},       {156, {26, 1}},      {1000054000, {1, 0}}, {1000054001, {3, 0}},
                                  {1000054004, {1, 0}}, {1000054005, {3, 0}}};
  for (uint32_t i = 0; i < 14; ++i) {
    m[157 + 2 * i] = {27 + i, 0};
    m[158 + 2 * i] = {27 + i, 0};
    m[1000066000 + i] = {27 + i, 12};
  }
  return m;
}
// The rest: one worked pixel each.
struct WorkedPixel {
  uint32_t vk;
  Bytes pixel;
  uint32_t expected;  // 0xAARRGGBB
};
const WorkedPixel kWorked[] = {
    {1, {0xA5}, 0xFFAA5500},                           // R4G4: R high nibble
    {3, {0x34, 0x12}, 0x44332211},                     // B4G4R4A4: B in the top nibble
    {5, {0xFF, 0x07}, 0xFFFFFF00},                     // B5G6R5: R in the low bits
    {6, {0x01, 0xF8}, 0xFFFF0000},                     // R5G5B5A1: R on top, A bit 0
    {7, {0x01, 0xF8}, 0xFF0000FF},                     // B5G5R5A1
    {10, {0x7F}, 0xFFFFFFFF},                          // R8_SNORM: +1, gray
    {23, {0x11, 0x22, 0x33}, 0xFF112233},              // R8G8B8
    {24, {0x7F, 0x81, 0x7F}, 0xFFFF00FF},              // R8G8B8_SNORM: +1, -1, +1
    {29, {0x11, 0x22, 0x33}, 0xFF112233},              // R8G8B8_SRGB: as stored
    {30, {0x11, 0x22, 0x33}, 0xFF332211},              // B8G8R8
    {31, {0x7F, 0x81, 0x81}, 0xFF0000FF},              // B8G8R8_SNORM
    {36, {0x11, 0x22, 0x33}, 0xFF332211},              // B8G8R8_SRGB
    {45, {0x81, 0x81, 0x7F, 0x7F}, 0xFFFF0000},        // B8G8R8A8_SNORM
    {58, {0x00, 0x00, 0xF0, 0xFF}, 0xFFFF0000},        // A2R10G10B10: R bits 20-29, A 30-31
    {59, {0x01, 0x06, 0xF8, 0x5F}, 0xFFFF0000},        // A2R10G10B10_SNORM: R +1, G and B -1, A +1
    {65, {0xFF, 0x05, 0x18, 0x60}, 0xFFFF0000},        // A2B10G10R10_SNORM: R +1 in the low bits
    {71, {0xFF, 0x7F}, 0xFFFFFFFF},                    // R16_SNORM, gray
    {78, {0xFF, 0x7F, 0x01, 0x80}, 0xFFFF0000},        // R16G16_SNORM: +1, -1, blue 0
    {84, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF}, 0xFFFF00FF},  // R16G16B16_UNORM
    {85, {0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x7F}, 0xFFFF00FF},
    {90, {0x00, 0x3C, 0, 0, 0x00, 0x3C}, 0xFFFF00FF},  // R16G16B16_SFLOAT: 1, 0, 1
    {92, {0xFF, 0x7F, 0x01, 0x80, 0x01, 0x80, 0xFF, 0x7F}, 0xFFFF0000},
    {1000340001, {0x21, 0x43}, 0x44112233},  // A4B4G4R4: R in the low nibble
};

uint32_t Opaque(uint32_t pixel) { return pixel | 0xFF000000u; }

TEST(Ktx2, EveryDrawnVkFormatDrawsAsAnotherContainerOrItsWorkedPixel) {
  const auto pvr = VkToPvr();
  std::map<uint32_t, const WorkedPixel*> worked;
  for (const WorkedPixel& w : kWorked) worked[w.vk] = &w;
  size_t count = 0;
  const KtxFormatName* names = VkFormatNames(&count);
  int drawnRows = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t vk = names[i].code;
    const KtxFormat* row = VkDrawnFormat(vk);
    if (!row) {
      // Refused by its name.
      Ktx2Spec s;
      s.vkFormat = vk;
      s.levels = {Bytes(16 * 16 * 16, 0)};
      const test::Drawn drawn = Draw(FileType::kKtx2, MakeKtx2(s));
      EXPECT_FALSE(drawn.ok) << names[i].name;
      if (vk != 0) {
        EXPECT_STREQ(drawn.failure.detail, names[i].name);
      }
      continue;
    }
    ++drawnRows;
    if (row->format == PixelFormat::kDescribed) {
      EXPECT_TRUE(IsValidPixelLayout(row->layout)) << names[i].name;
    }
    Ktx2Spec s;
    s.vkFormat = vk;
    if (worked.count(vk)) {
      s.width = s.height = 1;
      s.levels = {worked[vk]->pixel};
      const test::Drawn drawn = Draw(FileType::kKtx2, MakeKtx2(s));
      ASSERT_TRUE(drawn.ok) << names[i].name << ": " << DescribeFailure(drawn.failure);
      EXPECT_EQ(drawn.image.at(0, 0), worked[vk]->expected)
          << names[i].name << std::hex << " 0x" << drawn.image.at(0, 0);
      continue;
    }
    const Bytes payload = test::RandomBytes(16 * 16 * 16, vk);
    s.levels = {payload};
    Bytes reference;
    FileType type = FileType::kDds;
    if (kVkToDxgi.count(vk)) {
      reference = MakeDx10(kVkToDxgi.at(vk), 16, 16, payload);
    } else if (pvr.count(vk)) {
      reference = MakePvr3(pvr.at(vk).predefined, pvr.at(vk).channelType, 16, 16, payload);
      type = FileType::kPvr;
    } else {
      ADD_FAILURE() << names[i].name << " is drawn but has no reference";
      continue;
    }
    const test::Drawn ours = Draw(FileType::kKtx2, MakeKtx2(s)), theirs = Draw(type, reference);
    ASSERT_TRUE(ours.ok) << names[i].name << ": " << DescribeFailure(ours.failure);
    ASSERT_TRUE(theirs.ok) << names[i].name << " reference: " << DescribeFailure(theirs.failure);
    ASSERT_EQ(ours.image.pixels.size(), theirs.image.pixels.size()) << names[i].name;
    for (size_t p = 0; p < ours.image.pixels.size(); ++p) {
      const uint32_t expected = row->opaque ? Opaque(theirs.image.pixels[p]) : theirs.image.pixels[p];
      ASSERT_EQ(ours.image.pixels[p], expected) << names[i].name << " pixel " << p;
    }
    EXPECT_EQ(ours.facts.hdr, theirs.facts.hdr) << names[i].name;
  }
  EXPECT_EQ(drawnRows, 125);
}

// ---- The tables against the headers ----

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(KtxTables, VkFormatNamesAreVulkansList) {
  const std::string header = ReadText("/usr/include/vulkan/vulkan_core.h");
  ASSERT_FALSE(header.empty()) << "libvulkan-dev's vulkan_core.h";
  const size_t begin = header.find("typedef enum VkFormat {"), end = header.find("} VkFormat;", begin);
  ASSERT_NE(begin, std::string::npos);
  // Lines "    VK_FORMAT_NAME = 123,": the numbered values, not the aliases.
  std::map<uint32_t, std::string> vulkan;
  std::istringstream lines(header.substr(begin, end - begin));
  for (std::string line; std::getline(lines, line);) {
    const size_t name = line.find("VK_FORMAT_"), equals = line.find(" = ");
    if (name == std::string::npos || equals == std::string::npos || !std::isdigit(line[equals + 3] & 0xFF) ||
        line.find(" = 0x") != std::string::npos) {
      continue;  // aliases name another value; VK_FORMAT_MAX_ENUM is written in hexadecimal
    }
    vulkan[static_cast<uint32_t>(std::stoul(line.substr(equals + 3)))] = line.substr(name, equals - name);
  }
  size_t count = 0;
  const KtxFormatName* names = VkFormatNames(&count);
  std::map<uint32_t, std::string> ours;
  for (size_t i = 0; i < count; ++i) ours[names[i].code] = names[i].name;
  EXPECT_GT(vulkan.size(), 240u);
  EXPECT_EQ(ours, vulkan);
}

// Whether a GL token names an internal format: a sized colour format or a compressed one.
bool IsInternalFormatName(const std::string& token) {
  if (token.rfind("GL_", 0) != 0 || token.find("_SUN") != std::string::npos) return false;
  const std::string rest = token.substr(3);
  if (rest.rfind("COMPRESSED_", 0) == 0) return rest.rfind("COMPRESSED_TEXTURE_FORMATS", 0) != 0;
  for (const char* exact : {"R11F_G11F_B10F", "RGB9_E5", "R3_G3_B2"}) {
    if (rest.rfind(exact, 0) == 0) return true;
  }
  for (const char* prefix : {"RGBA", "RGB", "RG", "R", "ALPHA", "LUMINANCE_ALPHA", "LUMINANCE", "INTENSITY",
                             "SRGB8_ALPHA", "SRGB", "SLUMINANCE8_ALPHA", "SLUMINANCE", "SRG", "SR"}) {
    const size_t n = std::strlen(prefix);
    if (rest.compare(0, n, prefix) == 0 && rest.size() > n && std::isdigit(rest[n] & 0xFF)) return true;
  }
  return false;
}

TEST(KtxTables, GlFormatsAreOpenGlsValuesAndCoverItsInternalFormats) {
  const std::string header = ReadText("/usr/include/GL/gl.h") + ReadText("/usr/include/GL/glext.h");
  ASSERT_FALSE(header.empty()) << "the OpenGL headers";
  std::map<std::string, uint32_t> gl;
  std::istringstream lines(header);
  for (std::string line; std::getline(lines, line);) {
    // "#define GL_NAME 0x1234"
    std::istringstream words(line);
    std::string define, name, value;
    if (!(words >> define >> name >> value) || define != "#define" || value.rfind("0x", 0) != 0) continue;
    gl[name] = static_cast<uint32_t>(std::stoul(value, nullptr, 16));
  }
  size_t count = 0;
  const KtxFormat* rows = GlFormats(&count);
  std::set<uint32_t> codes;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(codes.insert(rows[i].code).second) << rows[i].name << " twice";
    if (gl.count(rows[i].name)) {
      EXPECT_EQ(gl[rows[i].name], rows[i].code) << rows[i].name;
    }
    if (rows[i].format == PixelFormat::kDescribed) {
      EXPECT_TRUE(IsValidPixelLayout(rows[i].layout)) << rows[i].name;
    }
  }
  // Every sized colour format and every compressed format the headers define is named (whatever its suffix).
  int covered = 0;
  for (const auto& [name, value] : gl) {
    if (!IsInternalFormatName(name)) continue;
    EXPECT_TRUE(codes.count(value)) << name << " (0x" << std::hex << value << ") is not in the GL table";
    ++covered;
  }
  EXPECT_GT(covered, 200);
}

// ---- KTX 1 ----

// The VkFormat each drawn GL format means (KTX 1 and KTX 2 of the same bytes draw the same), or a worked pixel.
std::map<uint32_t, uint32_t> GlToVk();
const std::map<uint32_t, uint32_t> kGlToVk = GlToVk();
std::map<uint32_t, uint32_t> GlToVk() {
  std::map<uint32_t, uint32_t> m = {
      {0x8229, 9},          {0x8F94, 10},         {0x822B, 16},         {0x8F95, 17},        {0x8051, 23},
      {0x8F96, 24},         {0x8058, 37},         {0x8F97, 38},         {0x8C41, 29},        {0x8C43, 43},
      {0x8FBD, 15},         {0x8FBE, 22},         {0x822A, 70},         {0x8F98, 71},        {0x822C, 77},
      {0x8F99, 78},         {0x8054, 84},         {0x8F9A, 85},         {0x805B, 91},        {0x8F9B, 92},
      {0x822D, 76},         {0x822F, 83},         {0x881B, 90},         {0x881A, 97},        {0x822E, 100},
      {0x8230, 103},        {0x8815, 106},        {0x8814, 109},        {0x8D62, 4},         {0x8056, 2},
      {0x8057, 6},          {0x8059, 64},         {0x8C3A, 122},        {0x8C3D, 123},       {0x83F0, 131},
      {0x83F1, 133},        {0x83F2, 135},        {0x83F3, 137},        {0x8C4C, 132},       {0x8C4D, 134},
      {0x8C4E, 136},        {0x8C4F, 138},        {0x8DBB, 139},        {0x8DBC, 140},       {0x8DBD, 141},
      {0x8DBE, 142},        {0x8E8C, 145},        {0x8E8D, 146},        {0x8E8E, 144},       {0x8E8F, 143},
      {0x9274, 147},        {0x9275, 148},        {0x9276, 149},        {0x9277, 150},       {0x9278, 151},
      {0x9279, 152},        {0x9270, 153},        {0x9271, 154},        {0x9272, 155},       {0x9273, 156},
      {0x8C02, 1000054001}, {0x8C03, 1000054000}, {0x8A56, 1000054004}, {0x8A57, 1000054005}};
  for (uint32_t i = 0; i < 14; ++i) {
    m[0x93B0 + i] = 157 + 2 * i;
    m[0x93D0 + i] = 158 + 2 * i;
  }
  return m;
}
struct GlOther {
  uint32_t gl;
  Bytes file;  // the reference drawing of the same 16 x 16 random payload
  FileType type;
};

// Bytes a unit of the layout's values (what glTypeSize says): 1, 2 or 4.
uint32_t TypeSize(const KtxFormat& row) {
  if (IsBlockFormat(row.format)) return 1;
  if (row.format == PixelFormat::R5G6B5 || row.format == PixelFormat::A4R4G4B4) return 2;
  if (row.format == PixelFormat::RGB9E5) return 4;
  if (row.format != PixelFormat::kDescribed) return 1;
  uint32_t bits = 0;
  for (const ChannelField& f : row.layout.channel) {
    if (f.bits) bits = bits && bits != f.bits ? 0 : f.bits;
  }
  return bits == 8 ? 1 : bits == 16 ? 2 : bits == 32 ? 4 : row.layout.bytesPerPixel;
}

Bytes Swapped(const Bytes& in, uint32_t unit) {
  Bytes out = in;
  for (size_t i = 0; i + unit <= out.size(); i += unit) std::reverse(out.begin() + i, out.begin() + i + unit);
  return out;
}

TEST(Ktx1, EveryDrawnGlFormatDrawsAsItsVkFormatInBothByteOrders) {
  size_t count = 0;
  const KtxFormat* rows = GlFormats(&count);
  const Bytes payload = test::RandomBytes(16 * 16 * 16, 99);
  const std::vector<GlOther> others = {
      {0x8D64, MakeDdsFourCC("ETC ", 16, 16, payload), FileType::kDds},
      {0x8C92, MakeDdsFourCC("ATC ", 16, 16, payload), FileType::kDds},
      {0x8C93, MakeDdsFourCC("ATCA", 16, 16, payload), FileType::kDds},
      {0x87EE, MakeDdsFourCC("ATCI", 16, 16, payload), FileType::kDds},
      {0x8C00, MakePvr3(2, 0, 16, 16, payload), FileType::kPvr},
      {0x8C01, MakePvr3(0, 0, 16, 16, payload), FileType::kPvr},
      {0x8A54, MakePvr3(0, 0, 16, 16, payload), FileType::kPvr},
      {0x8A55, MakePvr3(2, 0, 16, 16, payload), FileType::kPvr},
  };
  // Luminance, alpha and intensity formats: a worked pixel.
  const std::map<uint32_t, std::pair<Bytes, uint32_t>> worked = {
      {0x803C, {{0x80}, 0x80000000}},
      {0x8040, {{0x80}, 0xFF808080}},
      {0x8045, {{0x80, 0x40}, 0x40808080}},
      {0x804B, {{0x80}, 0x80808080}},
      {0x8C47, {{0x80}, 0xFF808080}},
      {0x8C45, {{0x80, 0x40}, 0x40808080}},
      {0x803E, {{0xFF, 0xFF}, 0xFF000000}},
      {0x8042, {{0xFF, 0xFF}, 0xFFFFFFFF}},
      {0x8048, {{0xFF, 0xFF, 0x80, 0x80}, 0x80FFFFFF}},
      {0x804D, {{0xFF, 0xFF}, 0xFFFFFFFF}},
      {0x881C, {{0x00, 0x3C}, 0xFF000000}},
      {0x881E, {{0x00, 0x3C}, 0xFFFFFFFF}},
      {0x881F, {{0x00, 0x3C, 0x00, 0x3C}, 0xFFFFFFFF}},
      {0x881D, {{0x00, 0x3C}, 0xFFFFFFFF}},
      {0x8816, {{0x00, 0x00, 0x80, 0x3F}, 0xFF000000}},
      {0x8818, {{0x00, 0x00, 0x80, 0x3F}, 0xFFFFFFFF}},
      {0x8819, {{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F}, 0xFFFFFFFF}},
      {0x8817, {{0x00, 0x00, 0x80, 0x3F}, 0xFFFFFFFF}},
  };
  int drawnRows = 0;
  for (size_t i = 0; i < count; ++i) {
    const KtxFormat& row = rows[i];
    Ktx1Spec s;
    s.internalFormat = row.code;
    s.glType = IsBlockFormat(row.format) ? 0 : 0x1401;
    s.glFormat = IsBlockFormat(row.format) ? 0 : 0x1908;
    s.typeSize = TypeSize(row);
    if (row.format == PixelFormat::kNone) {
      s.glType = 0x1405;  // GL_UNSIGNED_INT: the unsized formats name no sized one with it
      s.levels = {payload};
      const test::Drawn drawn = Draw(FileType::kKtx, MakeKtx1(s));
      EXPECT_FALSE(drawn.ok) << row.name;
      EXPECT_EQ(drawn.failure.kind, FailureKind::Unsupported) << row.name;
      EXPECT_NE(std::strstr(drawn.failure.detail, row.name), nullptr) << drawn.failure.detail;
      continue;
    }
    ++drawnRows;
    test::Drawn reference;
    if (worked.count(row.code)) {
      s.width = s.height = 1;
      Bytes pixel = worked.at(row.code).first;
      pixel.resize((pixel.size() + 3) / 4 * 4, 0);  // rows are padded to 4 bytes
      s.levels = {pixel};
      reference.ok = true;
      reference.image.width = reference.image.height = 1;
      reference.image.pixels = {worked.at(row.code).second};
    } else {
      s.levels = {payload};
      const GlOther* other = nullptr;
      for (const GlOther& o : others) other = o.gl == row.code ? &o : other;
      if (other) {
        reference = Draw(other->type, other->file);
      } else if (kGlToVk.count(row.code)) {
        Ktx2Spec k2;
        k2.vkFormat = kGlToVk.at(row.code);
        k2.levels = {payload};
        reference = Draw(FileType::kKtx2, MakeKtx2(k2));
      } else {
        ADD_FAILURE() << row.name << " is drawn but has no reference";
        continue;
      }
    }
    ASSERT_TRUE(reference.ok) << row.name << " reference: " << DescribeFailure(reference.failure);
    for (const bool big : {false, true}) {
      Ktx1Spec e = s;
      e.bigEndian = big;
      if (big) e.levels = {Swapped(s.levels[0], s.typeSize)};
      const test::Drawn ours = Draw(FileType::kKtx, MakeKtx1(e));
      ASSERT_TRUE(ours.ok) << row.name << (big ? " big-endian: " : ": ") << DescribeFailure(ours.failure);
      ASSERT_EQ(ours.image.pixels, reference.image.pixels) << row.name << (big ? " big-endian" : "");
    }
  }
  EXPECT_EQ(drawnRows, 118);
  // Unsized internal formats read their layout from glType.
  Ktx1Spec sized, unsized;
  sized.levels = unsized.levels = {payload};
  unsized.internalFormat = 0x1908;
  const test::Drawn a = Draw(FileType::kKtx, MakeKtx1(sized)), b = Draw(FileType::kKtx, MakeKtx1(unsized));
  ASSERT_TRUE(a.ok && b.ok) << DescribeFailure(b.failure);
  EXPECT_EQ(a.image.pixels, b.image.pixels);
  EXPECT_STREQ(b.facts.encoding, "GL_RGBA");
  unsized.glType = 0x1405;  // GL_UNSIGNED_INT: no sized format
  EXPECT_STREQ(Draw(FileType::kKtx, MakeKtx1(unsized)).failure.detail, "GL_RGBA of glType 0x1405");
}

// Rows of 3-byte pixels are padded to 4 bytes; mips, cube faces (face 0 drawn), orientation.
TEST(Ktx1, RowPaddingLevelsCubesAndOrientation) {
  Ktx1Spec s;
  s.internalFormat = 0x8051, s.glFormat = 0x1907;
  s.width = 5, s.height = 2;
  Bytes level0;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) level0.insert(level0.end(), {uint8_t(10 * x), uint8_t(100 + y), 7});
    level0.push_back(0xEE);  // padding: 15 bytes a row become 16
  }
  const Bytes level1 = {1, 2, 3, 9, 9, 9, 0xEE, 0xEE};  // 2 x 1
  const Bytes level2 = {4, 5, 6, 0xEE};                 // 1 x 1
  s.levels = {level0, level1, level2};
  test::Drawn drawn = Draw(FileType::kKtx, MakeKtx1(s));
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(4, 1), 0xFF286507u);
  EXPECT_EQ(drawn.facts.levels, 3u);
  drawn = Draw(FileType::kKtx, MakeKtx1(s), test::Mode::kThumbnail, 1);
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(0, 0), 0xFF040506u);  // the 1 x 1 level
  s.orientation = "S=l,T=u";
  drawn = Draw(FileType::kKtx, MakeKtx1(s));
  EXPECT_EQ(drawn.image.at(0, 0), 0xFF286507u);  // the last stored pixel, top left
  EXPECT_STREQ(drawn.facts.orientation, "S=l,T=u");
  // A cube map: six faces, each padded to 4 bytes; face 0 is drawn.
  Ktx1Spec cube;
  cube.width = cube.height = 1, cube.faces = 6;
  Bytes faces;
  for (uint8_t f = 0; f < 6; ++f) faces.insert(faces.end(), {uint8_t(f + 1), 0, 0, 0xFF});
  cube.levels = {faces};
  drawn = Draw(FileType::kKtx, MakeKtx1(cube));
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(0, 0), 0xFF010000u);
  EXPECT_EQ(drawn.facts.faces, 6u);
  // Cut inside level 0, a bad endianness word.
  s.orientation.clear();
  Bytes cut = MakeKtx1(s);
  cut.resize(64 + 4 + 20);  // inside level 0's second row
  EXPECT_EQ(Draw(FileType::kKtx, cut).failure.kind, FailureKind::Truncated);
  Bytes bad = MakeKtx1(s);
  bad[12] = 9;
  EXPECT_EQ(Draw(FileType::kKtx, bad).failure.kind, FailureKind::InvalidHeader);
}

// ---- KTX 2 ----

Bytes Solid(uint32_t w, uint32_t h, uint32_t rgba) {
  Bytes out;
  for (uint32_t i = 0; i < w * h; ++i) {
    out.insert(out.end(), {uint8_t(rgba >> 24), uint8_t(rgba >> 16), uint8_t(rgba >> 8), uint8_t(rgba)});
  }
  return out;
}

// Levels of every supercompression, stored in any order; the thumbnail draws the level the rule chooses.
TEST(Ktx2, SupercompressedLevelsInAnyOrder) {
  Ktx2Spec s;
  s.width = 64, s.height = 32;
  const uint32_t colours[] = {0xFF0000FF, 0x00FF00FF, 0x0000FFFF, 0x808080FF, 0x102030FF, 0x405060FF, 0x708090FF};
  for (uint32_t k = 0; k < 7; ++k)
    s.levels.push_back(Solid(std::max(1u, 64u >> k), std::max(1u, 32u >> k), colours[k]));
  for (const uint32_t scheme : {0u, 2u, 3u}) {
    for (const std::vector<int>& order :
         {std::vector<int>{}, std::vector<int>{0, 1, 2, 3, 4, 5, 6}, std::vector<int>{3, 0, 6, 1, 5, 2, 4}}) {
      Ktx2Spec t = s;
      t.scheme = scheme, t.order = order;
      const Bytes file = MakeKtx2(t);
      test::Drawn full = Draw(FileType::kKtx2, file);
      ASSERT_TRUE(full.ok) << scheme << ": " << DescribeFailure(full.failure);
      EXPECT_EQ(full.image.at(10, 10), 0xFFFF0000u);
      EXPECT_EQ(full.facts.levels, 7u);
      for (const auto mode : {test::Mode::kThumbnail, test::Mode::kReference}) {
        const test::Drawn thumb = Draw(FileType::kKtx2, file, mode, 8);
        ASSERT_TRUE(thumb.ok) << DescribeFailure(thumb.failure);
        EXPECT_EQ(thumb.image.at(1, 1), 0xFF808080u) << "scheme " << scheme;  // level 3, 8 x 4
      }
    }
  }
  // A level whose stream is corrupt or cut is refused with its reason; the others still draw.
  Ktx2Spec z = s;
  z.scheme = 2;
  Bytes file = MakeKtx2(z);
  uint64_t offset0 = 0;
  std::memcpy(&offset0, file.data() + 80, 8);
  file[offset0 + 6] ^= 0xFF;
  EXPECT_FALSE(Draw(FileType::kKtx2, file).ok);
  EXPECT_TRUE(Draw(FileType::kKtx2, file, test::Mode::kThumbnail, 8).ok);
}

TEST(Ktx2, LevelIndexPastTheEndOverlappingOrInTheHeaderIsRefused) {
  Ktx2Spec s;
  s.levels = {Solid(16, 16, 0xFF0000FF), Solid(8, 8, 0x00FF00FF)};
  const Bytes good = MakeKtx2(s);
  ASSERT_TRUE(Draw(FileType::kKtx2, good).ok);
  struct Case {
    const char* name;
    size_t at;
    uint64_t value;
    FailureKind kind;
  };
  uint64_t level1 = 0;
  std::memcpy(&level1, good.data() + 104, 8);
  const Case cases[] = {
      {"level 1 past the end", 104, good.size() - 10, FailureKind::Truncated},
      {"level 0 overlapping level 1", 80, level1 + 4, FailureKind::InvalidHeader},
      {"level 0 inside the header", 80, 8, FailureKind::InvalidHeader},
      {"level 0 length too short", 88, 100, FailureKind::InvalidHeader},
      {"level count past the chain", 40, 9, FailureKind::InvalidHeader},
      {"face count 2", 36, 2, FailureKind::InvalidHeader},
      {"supercompression scheme 9", 44, 9, FailureKind::Unsupported},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    if (c.at >= 80) {
      Put64(bad, c.at, c.value);
    } else {
      test::PutLE(bad, c.at, static_cast<uint32_t>(c.value));
    }
    const test::Drawn drawn = Draw(FileType::kKtx2, bad);
    EXPECT_FALSE(drawn.ok) << c.name;
    EXPECT_EQ(drawn.failure.kind, c.kind) << c.name << ": " << DescribeFailure(drawn.failure);
  }
}

TEST(Ktx2, OrientationCubesArraysAndPremultipliedColour) {
  Ktx2Spec s;
  s.width = 2, s.height = 2;
  s.levels = {{1, 0, 0, 255, 2, 0, 0, 255, 3, 0, 0, 255, 4, 0, 0, 255}};
  s.orientation = "ru";  // rows bottom-up
  test::Drawn drawn = Draw(FileType::kKtx2, MakeKtx2(s));
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(0, 0), 0xFF030000u);
  EXPECT_STREQ(drawn.facts.orientation, "ru");
  s.orientation = "ld";  // columns right to left
  EXPECT_EQ(Draw(FileType::kKtx2, MakeKtx2(s)).image.at(0, 0), 0xFF020000u);

  // Six faces of two layers: layer 0, face 0 is drawn.
  Ktx2Spec cube;
  cube.width = cube.height = 1, cube.faces = 6, cube.layers = 2;
  Bytes images;
  for (uint8_t i = 0; i < 12; ++i) images.insert(images.end(), {uint8_t(i + 1), 0, 0, 255});
  cube.levels = {images};
  drawn = Draw(FileType::kKtx2, MakeKtx2(cube));
  ASSERT_TRUE(drawn.ok) << DescribeFailure(drawn.failure);
  EXPECT_EQ(drawn.image.at(0, 0), 0xFF010000u);
  EXPECT_EQ(drawn.facts.faces, 6u);
  EXPECT_EQ(drawn.facts.layers, 2u);

  // Premultiplied: colour divided by alpha when drawn (integers by the rule, floats in linear light).
  Ktx2Spec premul;
  premul.width = premul.height = 1, premul.flags = 1;
  premul.levels = {{0x40, 0x20, 0x00, 0x80}};
  drawn = Draw(FileType::kKtx2, MakeKtx2(premul));
  ASSERT_TRUE(drawn.ok);
  EXPECT_EQ(drawn.image.at(0, 0), 0x80804000u);
  EXPECT_EQ(drawn.facts.alpha, AlphaKind::kPremultiplied);
  premul.vkFormat = 97;  // R16G16B16A16_SFLOAT: 0.25 / 0.5 = 0.5 linear
  premul.levels = {{0x00, 0x34, 0x00, 0x34, 0x00, 0x34, 0x00, 0x38}};
  drawn = Draw(FileType::kKtx2, MakeKtx2(premul));
  ASSERT_TRUE(drawn.ok);
  EXPECT_EQ(drawn.image.at(0, 0) >> 24, 0x80u);
  EXPECT_EQ(drawn.image.at(0, 0) & 0xFF, 188u);  // sRGB of linear 0.5
  EXPECT_EQ(drawn.facts.colourSpace, ColourSpace::kLinear);
}

// BasisLZ / ETC1S: the real encoder's file draws (the samples test compares it exactly); every cut and byte flip
// of its global data and slice is refused with a reason or drawn, never read past.
TEST(Ktx2, Etc1sCutsAndFlipsAreRefusedOrDrawn) {
  const Bytes file = test::ReadFileBytes(test::SamplePath("ktx2-basislz-etc1s-sky-60x36.ktx2"));
  const test::Drawn good = Draw(FileType::kKtx2, file);
  ASSERT_TRUE(good.ok) << DescribeFailure(good.failure);
  EXPECT_STREQ(good.facts.encoding, "ETC1S (BasisLZ)");
  uint64_t sgd = 0;
  std::memcpy(&sgd, file.data() + 64, 8);
  int refused = 0, drawn = 0;
  for (size_t at = static_cast<size_t>(sgd); at < file.size(); ++at) {
    for (const uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      Bytes bad = file;
      bad[at] ^= flip;
      const test::Drawn d = Draw(FileType::kKtx2, bad);
      if (d.ok) {
        ++drawn;
      } else {
        ++refused;
        EXPECT_NE(d.failure.detail[0], 0) << at;
      }
    }
    Bytes cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(at));
    EXPECT_FALSE(Draw(FileType::kKtx2, cut).ok) << "cut at " << at;
  }
  EXPECT_GT(refused, 100);
  EXPECT_GT(drawn, 0);
}

TEST(Ktx2, Etc1sStreamsOfEveryPredictionDrawTheirColours) {
  std::mt19937 rng(29);
  Etc1sBook book;
  const auto random = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  for (int i = 0; i < 37; ++i) book.endpoints.push_back({random(32), random(32), random(32), random(8)});
  for (int i = 0; i < 23; ++i) book.selectors.push_back(static_cast<uint32_t>(rng()));
  const Bytes e = test::WriteEndpoints(book), sel = test::WriteSelectors(book);
  Canonical tables[4];
  const Bytes t = test::WriteSliceTables(book, tables);

  // Two levels, 130 x 98 and 65 x 49 (runs of both kinds end inside them), each with a colour and an alpha slice.
  const uint32_t sizes[2][2] = {{130, 98}, {65, 49}};
  Ktx2Spec s;
  s.vkFormat = 0, s.scheme = 1, s.model = 163, s.width = sizes[0][0], s.height = sizes[0][1];
  std::vector<std::pair<uint32_t, uint32_t>> chosen[2][2];
  Bytes descriptions;
  for (int level = 0; level < 2; ++level) {
    const uint32_t bx = (sizes[level][0] + 3) / 4, by = (sizes[level][1] + 3) / 4;
    const Bytes rgb = WriteSlice(book, tables, bx, by, 100 + level, &chosen[level][0]);
    const Bytes alpha = WriteSlice(book, tables, bx, by, 200 + level, &chosen[level][1]);
    Bytes data = rgb;
    data.insert(data.end(), alpha.begin(), alpha.end());
    s.levels.push_back(data);
    for (uint32_t v : {0u, 0u, static_cast<uint32_t>(rgb.size()), static_cast<uint32_t>(rgb.size()),
                       static_cast<uint32_t>(alpha.size())}) {
      test::AppendLE32(descriptions, v);
    }
  }
  s.globalData = test::Etc1sGlobalData(book, descriptions, e, sel, t);
  const Bytes file = MakeKtx2(s);

  for (int level = 0; level < 2; ++level) {
    const test::Drawn drawn =
        level == 0 ? Draw(FileType::kKtx2, file) : Draw(FileType::kKtx2, file, test::Mode::kThumbnail, sizes[1][0]);
    ASSERT_TRUE(drawn.ok) << "level " << level << ": " << DescribeFailure(drawn.failure);
    ASSERT_EQ(drawn.image.width, static_cast<int32_t>(sizes[level][0]));
    const uint32_t bx = (sizes[level][0] + 3) / 4;
    for (uint32_t y = 0; y < sizes[level][1]; ++y) {
      for (uint32_t x = 0; x < sizes[level][0]; ++x) {
        const auto [ce, cs] = chosen[level][0][size_t{y / 4} * bx + x / 4];
        const auto [ae, as] = chosen[level][1][size_t{y / 4} * bx + x / 4];
        const uint32_t rgb = Etc1sTexel(book, ce, cs, x % 4, y % 4);
        const uint32_t a = (Etc1sTexel(book, ae, as, x % 4, y % 4) >> 8) & 0xFF;
        // (The thumbnail filter averages premultiplied colour: a transparent pixel has no colour left.)
        const uint32_t got = drawn.image.at(static_cast<int32_t>(x), static_cast<int32_t>(y));
        const uint32_t want = level > 0 && a == 0 ? 0 : (rgb & 0xFFFFFF) | a << 24;
        ASSERT_EQ(got, want) << "level " << level << " pixel " << x << "," << y << std::hex << ": 0x" << got
                             << " where 0x" << want;
      }
    }
    if (level == 0) {
      EXPECT_STREQ(drawn.facts.encoding, "ETC1S (BasisLZ)");
      EXPECT_NE(std::strstr(drawn.facts.details, "RGBA, 37 endpoints, 23 selectors"), nullptr) << drawn.facts.details;
    }
  }
}

// The edges: a Huffman table that does not sum, an empty codebook, a slice that ends before its blocks, and the
// largest codebooks the counts allow.
TEST(Ktx2, Etc1sEdgesOfTablesCodebooksAndSlices) {
  const auto read = [](const Bytes& g, Etc1sGlobalPtr* out) {
    MemorySource source(g.data(), g.size());
    DecodeFailure failure;
    const bool ok = ReadEtc1sGlobal(source, 0, g.size(), 1, out, &failure);
    return std::make_pair(ok, std::string(failure.detail));
  };
  BitWriter t;
  for (const uint32_t n : {257u, 4u, 5u, 64u}) WriteTable(t, n);
  t.Put(0, 13);
  // 32 codes of one bit cannot be: the endpoints' first table is refused.
  BitWriter bad;
  WriteLengths(bad, std::vector<uint8_t>(32, 1));
  Bytes endpoints, selectors;
  WriteCodebooks(4, &endpoints, &selectors);
  Etc1sGlobalPtr global;
  auto result = read(GlobalData(4, 4, bad.bytes, selectors, t.bytes, 0), &global);
  EXPECT_FALSE(result.first);
  EXPECT_NE(result.second.find("Huffman table"), std::string::npos) << result.second;
  result = read(GlobalData(0, 4, endpoints, selectors, t.bytes, 0), &global);
  EXPECT_FALSE(result.first);
  EXPECT_NE(result.second.find("empty codebook"), std::string::npos) << result.second;
  // Sections longer than the global data.
  Bytes cut = GlobalData(4, 4, endpoints, selectors, t.bytes, 0);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(read(cut, &global).first);
  // A good codebook, then a slice of no bytes for one block: it ends before its block.
  result = read(GlobalData(4, 4, endpoints, selectors, t.bytes, 0), &global);
  ASSERT_TRUE(result.first) << result.second;
  uint8_t block[8];
  DecodeFailure failure;
  EXPECT_FALSE(DecodeEtc1sSlice(*global, nullptr, 0, 1, 1, block, &failure));
  EXPECT_NE(std::strstr(failure.detail, "ends before its blocks"), nullptr) << failure.detail;
  // The largest codebooks the slice tables can index: a Huffman table holds at most 16383 symbols, so 16383
  // endpoints, and 16382 selectors beside the history's run symbol.
  WriteCodebooks(16383, &endpoints, &selectors);
  BitWriter big;
  for (const uint32_t n : {257u, 16383u, 16383u, 64u}) WriteTable(big, n);
  big.Put(0, 13);
  result = read(GlobalData(16383, 16382, endpoints, selectors, big.bytes, 0), &global);
  ASSERT_TRUE(result.first) << result.second;
  EXPECT_EQ(Etc1sEndpointCount(*global), 16383u);
  EXPECT_EQ(Etc1sSelectorCount(*global), 16382u);
  // A table of no symbols is refused.
  BitWriter over;
  over.Put(0, 14);
  over.Put(5, 5);
  EXPECT_FALSE(read(GlobalData(4, 4, over.bytes, selectors, t.bytes, 0), &global).first);
}

// ---- .astc ----

Bytes MakeAstc(uint8_t bw, uint8_t bh, uint8_t bd, uint32_t w, uint32_t h, const Bytes& blocks) {
  Bytes file = {0x13, 0xAB, 0xA1, 0x5C, bw, bh, bd};
  for (uint32_t v : {w, h, 1u}) file.insert(file.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
  file.insert(file.end(), blocks.begin(), blocks.end());
  return file;
}

TEST(Astc, EveryFootprintDrawsAsPvrAndThreeDimensionalOnesAreRefused) {
  const uint8_t footprints[][2] = {{4, 4}, {5, 4},  {5, 5},  {6, 5},  {6, 6},   {8, 5},   {8, 6},
                                   {8, 8}, {10, 5}, {10, 6}, {10, 8}, {10, 10}, {12, 10}, {12, 12}};
  for (uint32_t i = 0; i < 14; ++i) {
    const uint8_t bw = footprints[i][0], bh = footprints[i][1];
    const uint32_t w = 30, h = 21;
    const size_t blocks = ((w + bw - 1) / bw) * ((h + bh - 1) / bh);
    Bytes payload = test::RandomBytes(blocks * 16, i);
    // Every other block an LDR void extent of one colour, so that legal blocks are drawn too.
    for (size_t b = 0; b < blocks; b += 2) {
      const uint8_t extent[16] = {0xFC,       0xFD,           0xFF, 0xFF, 0xFF,           0xFF, 0xFF, 0xFF,
                                  uint8_t(b), uint8_t(b * 7), 0x00, 0x80, uint8_t(b * 3), 0x40, 0xFF, 0xFF};
      std::memcpy(payload.data() + 16 * b, extent, 16);
    }
    // Random blocks hold HDR endpoint modes too: the file is then HDR, as a PVR of a float channel type says.
    const test::Drawn ours = Draw(FileType::kAstc, MakeAstc(bw, bh, 1, w, h, payload));
    const test::Drawn pvr = Draw(FileType::kPvr, MakePvr3(27 + i, ours.facts.hdr ? 12 : 0, w, h, payload));
    ASSERT_TRUE(ours.ok) << int(bw) << "x" << int(bh) << ": " << DescribeFailure(ours.failure);
    ASSERT_TRUE(pvr.ok);
    EXPECT_EQ(ours.image.pixels, pvr.image.pixels) << int(bw) << "x" << int(bh);
    EXPECT_EQ(ours.facts.hdr, pvr.facts.hdr);
  }
  EXPECT_EQ(Draw(FileType::kAstc, MakeAstc(4, 4, 4, 8, 8, Bytes(64, 0))).failure.kind, FailureKind::Unsupported);
  EXPECT_EQ(Draw(FileType::kAstc, MakeAstc(7, 7, 1, 8, 8, Bytes(64, 0))).failure.kind, FailureKind::InvalidHeader);
  EXPECT_EQ(Draw(FileType::kAstc, MakeAstc(4, 4, 1, 8, 8, Bytes(63, 0))).failure.kind, FailureKind::Truncated);
  // An HDR void extent anywhere in the probed blocks makes the file HDR.
  Bytes blocks(4 * 16, 0);
  const uint8_t hdrExtent[16] = {0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0x00, 0x4C, 0x00, 0x3C, 0x00, 0x3C, 0x00, 0x3C};
  for (int b = 0; b < 4; ++b) std::memcpy(blocks.data() + 16 * b, hdrExtent, 16);
  const test::Drawn hdr = Draw(FileType::kAstc, MakeAstc(4, 4, 1, 8, 8, blocks));
  ASSERT_TRUE(hdr.ok) << DescribeFailure(hdr.failure);
  EXPECT_TRUE(hdr.facts.hdr);
  EXPECT_STREQ(hdr.facts.encoding, "ASTC 4x4 HDR");
}

}  // namespace
}  // namespace mirelth
