// ETC2 and EAC: the worked blocks of the format definition for every mode, the punch-through cases, EAC values per
// multiplier (11-bit unsigned and signed, with the signed clamp), and ETC2 against ETC1 on ETC1 blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "encodings/blocks/blocks.h"

namespace mirelth {
namespace {

struct Word64 {
  uint64_t bits = 0;
  void Set(int low, int count, uint64_t value) {
    const uint64_t mask = ((uint64_t{1} << count) - 1) << low;
    bits = (bits & ~mask) | ((value << low) & mask);
  }
  uint64_t Get(int low, int count) const { return (bits >> low) & ((uint64_t{1} << count) - 1); }
  void Store(uint8_t* out) const {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  }
};

int SignedField(const Word64& w, int low) {
  const int v = static_cast<int>(w.Get(low, 3));
  return v >= 4 ? v - 8 : v;
}
bool OutOfRange(const Word64& w, int baseLow, int deltaLow) {
  const int sum = static_cast<int>(w.Get(baseLow, 5)) + SignedField(w, deltaLow);
  return sum < 0 || sum > 31;
}
enum class Mode { kT, kH, kPlanar };
bool Selects(const Word64& w, Mode mode) {
  const bool r = OutOfRange(w, 59, 56), g = OutOfRange(w, 51, 48), b = OutOfRange(w, 43, 40);
  switch (mode) {
    case Mode::kT: return r;
    case Mode::kH: return !r && g;
    case Mode::kPlanar: return !r && !g && b;
  }
  return false;
}
// Fills the bits a mode leaves unused so that the block selects it.
void ForceMode(Word64& w, Mode mode, const std::vector<int>& freeBits) {
  for (uint32_t combo = 0; combo < (1u << freeBits.size()); ++combo) {
    for (size_t i = 0; i < freeBits.size(); ++i) w.Set(freeBits[i], 1, (combo >> i) & 1);
    if (Selects(w, mode)) return;
  }
  FAIL() << "no filling of the free bits selects the mode";
}

// Pixel k = 4x + y gets index k % 4.
void SetCountingIndices(Word64& w) {
  for (int k = 0; k < 16; ++k) {
    w.Set(16 + k, 1, (k % 4) >> 1);
    w.Set(k, 1, (k % 4) & 1);
  }
}

std::vector<uint32_t> Decode(BlockDecoder decode, const uint8_t* block) {
  std::vector<uint32_t> tile(16);
  decode(reinterpret_cast<uint8_t*>(tile.data()), 16, block, BlockContext{});
  return tile;
}
std::vector<uint32_t> Decode(BlockDecoder decode, const Word64& w) {
  uint8_t block[8];
  w.Store(block);
  return Decode(decode, block);
}

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// The colour of pixel (x, y) for counting indices, from a palette of four per sub-block (flip bit 0: left, right).
void ExpectCounting(const std::vector<uint32_t>& tile, const uint32_t (&palettes)[2][4], bool sideBySide = true) {
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int sub = sideBySide ? x >= 2 : y >= 2;
      EXPECT_EQ(tile[4 * y + x], palettes[sub][(4 * x + y) % 4]) << x << "," << y;
    }
  }
}

TEST(Etc2, WorkedBlocksOfEveryMode) {
  {  // individual: (4, 11, 9) table 4 and (14, 3, 8) table 0 (68 - 18 is 50, not the 58 a printed table shows)
    Word64 w;
    w.Set(60, 4, 4), w.Set(56, 4, 14), w.Set(52, 4, 11), w.Set(48, 4, 3), w.Set(44, 4, 9), w.Set(40, 4, 8);
    w.Set(37, 3, 4), w.Set(34, 3, 0);
    SetCountingIndices(w);
    const uint32_t palettes[2][4] = {{Rgb(86, 205, 171), Rgb(128, 247, 213), Rgb(50, 169, 135), Rgb(8, 127, 93)},
                                     {Rgb(240, 53, 138), Rgb(246, 59, 144), Rgb(236, 49, 134), Rgb(230, 43, 128)}};
    ExpectCounting(Decode(DecodeETC2RGBBlock, w), palettes);
    w.Set(32, 1, 1);  // flip: top and bottom halves
    ExpectCounting(Decode(DecodeETC2RGBBlock, w), palettes, false);
  }
  {  // differential: (29, 26, 8) table 2, plus (-4, -3, +3) table 3; the first paint colour clamps
    Word64 w;
    w.Set(59, 5, 29), w.Set(56, 3, 4), w.Set(51, 5, 26), w.Set(48, 3, 5), w.Set(43, 5, 8), w.Set(40, 3, 3);
    w.Set(37, 3, 2), w.Set(34, 3, 3), w.Set(33, 1, 1);
    SetCountingIndices(w);
    const uint32_t palettes[2][4] = {{Rgb(248, 223, 75), Rgb(255, 243, 95), Rgb(230, 205, 57), Rgb(210, 185, 37)},
                                     {Rgb(219, 202, 103), Rgb(248, 231, 132), Rgb(193, 176, 77), Rgb(164, 147, 48)}};
    ExpectCounting(Decode(DecodeETC2RGBBlock, w), palettes);
  }
  {  // T: (13, 1, 8) and (4, 12, 13), distance index 5 (32)
    Word64 w;
    w.Set(59, 2, 13 >> 2), w.Set(56, 2, 13 & 3), w.Set(52, 4, 1), w.Set(48, 4, 8);
    w.Set(44, 4, 4), w.Set(40, 4, 12), w.Set(36, 4, 13), w.Set(34, 2, 2), w.Set(33, 1, 1), w.Set(32, 1, 1);
    ForceMode(w, Mode::kT, {63, 62, 61, 58});
    SetCountingIndices(w);
    const uint32_t paint[4] = {Rgb(221, 17, 136), Rgb(100, 236, 253), Rgb(68, 204, 221), Rgb(36, 172, 189)};
    const uint32_t palettes[2][4] = {{paint[0], paint[1], paint[2], paint[3]},
                                     {paint[0], paint[1], paint[2], paint[3]}};
    ExpectCounting(Decode(DecodeETC2RGBBlock, w), palettes);
  }
  {  // H: the same bases; index bits 1, 0 and base 1 >= base 2 make distance index 5; green of colour 1 clamps
    Word64 w;
    w.Set(59, 4, 13), w.Set(56, 3, 1 >> 1), w.Set(52, 1, 1 & 1), w.Set(51, 1, 8 >> 3), w.Set(47, 3, 8 & 7);
    w.Set(43, 4, 4), w.Set(39, 4, 12), w.Set(35, 4, 13), w.Set(34, 1, 1), w.Set(33, 1, 1), w.Set(32, 1, 0);
    ForceMode(w, Mode::kH, {63, 55, 54, 53, 50});
    SetCountingIndices(w);
    const uint32_t paint[4] = {Rgb(253, 49, 168), Rgb(189, 0, 104), Rgb(100, 236, 253), Rgb(36, 172, 189)};
    const uint32_t palettes[2][4] = {{paint[0], paint[1], paint[2], paint[3]},
                                     {paint[0], paint[1], paint[2], paint[3]}};
    ExpectCounting(Decode(DecodeETC2RGBBlock, w), palettes);
  }
  {  // planar: (12, 64, 62), horizontal (50, 5, 37), vertical (40, 112, 45)
    Word64 w;
    w.Set(57, 6, 12), w.Set(56, 1, 64 >> 6), w.Set(49, 6, 64 & 63), w.Set(48, 1, 62 >> 5), w.Set(43, 2, (62 >> 3) & 3);
    w.Set(39, 3, 62 & 7), w.Set(34, 5, 50 >> 1), w.Set(33, 1, 1), w.Set(32, 1, 50 & 1);
    w.Set(25, 7, 5), w.Set(19, 6, 37), w.Set(13, 6, 40), w.Set(6, 7, 112), w.Set(0, 6, 45);
    ForceMode(w, Mode::kPlanar, {63, 55, 47, 46, 45, 42});
    const uint32_t expected[16] = {Rgb(48, 129, 251),  Rgb(87, 99, 226),   Rgb(126, 70, 201),  Rgb(164, 40, 175),
                                   Rgb(77, 153, 234),  Rgb(115, 123, 209), Rgb(154, 94, 183),  Rgb(193, 64, 158),
                                   Rgb(105, 177, 217), Rgb(144, 147, 191), Rgb(183, 118, 166), Rgb(221, 88, 141),
                                   Rgb(134, 201, 199), Rgb(172, 171, 174), Rgb(211, 142, 149), Rgb(250, 112, 124)};
    const std::vector<uint32_t> tile = Decode(DecodeETC2RGBBlock, w);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(tile[i], expected[i]) << i;
    // With punch-through alpha a planar block is opaque whatever bit 33 (the opaque flag) says.
    EXPECT_EQ(Decode(DecodeETC2RGBA1Block, w), tile);
    w.Set(33, 1, 0);
    EXPECT_EQ(Decode(DecodeETC2RGBA1Block, w), tile);
  }
}

TEST(Etc2, PunchThroughAlpha) {
  // Differential (29, 26, 8) / (25, 23, 11) as above, tables 2 and 3.
  Word64 w;
  w.Set(59, 5, 29), w.Set(56, 3, 4), w.Set(51, 5, 26), w.Set(48, 3, 5), w.Set(43, 5, 8), w.Set(40, 3, 3);
  w.Set(37, 3, 2), w.Set(34, 3, 3);
  SetCountingIndices(w);
  // Opaque bit set: the ETC2 RGB colours.
  w.Set(33, 1, 1);
  EXPECT_EQ(Decode(DecodeETC2RGBA1Block, w), Decode(DecodeETC2RGBBlock, w));
  // Opaque bit clear: index 2 is transparent black, index 0 the base colour, 1 and 3 add and subtract b.
  w.Set(33, 1, 0);
  const uint32_t palettes[2][4] = {{Rgb(239, 214, 66), Rgb(255, 243, 95), 0, Rgb(210, 185, 37)},
                                   {Rgb(206, 189, 90), Rgb(248, 231, 132), 0, Rgb(164, 147, 48)}};
  ExpectCounting(Decode(DecodeETC2RGBA1Block, w), palettes);

  // T mode, opaque bit clear: paint colour 2 becomes transparent black, the others stay.
  Word64 t;
  t.Set(59, 2, 13 >> 2), t.Set(56, 2, 13 & 3), t.Set(52, 4, 1), t.Set(48, 4, 8);
  t.Set(44, 4, 4), t.Set(40, 4, 12), t.Set(36, 4, 13), t.Set(34, 2, 2), t.Set(32, 1, 1);
  ForceMode(t, Mode::kT, {63, 62, 61, 58});
  SetCountingIndices(t);
  const uint32_t paint[2][4] = {{Rgb(221, 17, 136), Rgb(100, 236, 253), 0, Rgb(36, 172, 189)},
                                {Rgb(221, 17, 136), Rgb(100, 236, 253), 0, Rgb(36, 172, 189)}};
  ExpectCounting(Decode(DecodeETC2RGBA1Block, t), paint);
}

TEST(Eac, ValuesPerMultiplierAndSign) {
  struct Row {
    uint8_t base;
    int multiplier, table, index;
    uint8_t alpha8, unsigned11, signed11;  // ETC2 alpha, R11 unsigned and signed display bytes
  };
  // Table 13 is {-1, -2, -3, -10, 0, 1, 2, 9}; table 0 is {-3, -6, -9, -15, 2, 5, 8, 14}.
  const Row rows[] = {
      {103, 2, 13, 3, 83, 83, 210},    // 8-bit 103 - 20; 11-bit 828 - 160 = 668; signed 824 - 160 = 664
      {103, 0, 13, 3, 103, 102, 229},  // multiplier 0: 8-bit adds nothing, 11-bit the modifier: 818, 814
      {60, 2, 13, 3, 40, 40, 167},     // signed 480 - 160 = 320
      {60, 0, 13, 3, 60, 59, 186},     // signed 480 - 10 = 470
      {0x80, 15, 0, 3, 0, 0, 0},       // signed base -128 reads -127: -1016 - 1800 clamps to -1023
      {0x81, 0, 0, 4, 129, 129, 1},    // signed -1016 + 2 = -1014
      {255, 15, 0, 7, 255, 255, 255},  // unsigned clamps to 2047, signed -8 + 1680 to 1023
  };
  for (const Row& row : rows) {
    uint8_t block[16] = {};
    Word64 w;
    w.Set(56, 8, row.base), w.Set(52, 4, static_cast<uint64_t>(row.multiplier));
    w.Set(48, 4, static_cast<uint64_t>(row.table));
    for (int k = 0; k < 16; ++k) w.Set(45 - 3 * k, 3, static_cast<uint64_t>(row.index));
    w.Store(block);
    // ETC2 RGBA: the alpha block first, a colour block of zeros after it.
    EXPECT_EQ(Decode(DecodeETC2RGBABlock, block)[5] >> 24, row.alpha8) << int{row.base};
    const uint32_t r11 = Decode(DecodeEACR11UBlock, block)[5];
    EXPECT_EQ(r11, Rgb(row.unsigned11, row.unsigned11, row.unsigned11)) << int{row.base};
    EXPECT_EQ(Decode(DecodeEACR11SBlock, block)[5], Rgb(row.signed11, row.signed11, row.signed11)) << int{row.base};
    EXPECT_EQ(DecodeEACR11UTexel(block, 2, 1, BlockContext{}), r11);
    EXPECT_EQ(DecodeEACR11STexel(block, 2, 1, BlockContext{}), Rgb(row.signed11, row.signed11, row.signed11));
    // RG11: red from the first block, green from the second, blue 0.
    std::memcpy(block + 8, block, 8);
    block[8] = static_cast<uint8_t>(row.base ^ 0x40);
    const uint32_t rg = Decode(DecodeEACRG11UBlock, block)[5];
    EXPECT_EQ(rg >> 16, 0xFF00u | (r11 & 0xFF));
    EXPECT_EQ(rg & 0xFF, 0u);
    EXPECT_EQ(DecodeEACRG11UTexel(block, 2, 1, BlockContext{}), rg);
  }
}

// On blocks ETC1 can hold (individual, or differential with every sum in 0..31), ETC2 RGB is ETC1.
TEST(Etc2, EqualsEtc1OnEtc1Blocks) {
  std::mt19937_64 random(20261208);
  int checked = 0;
  while (checked < 20000) {
    Word64 w;
    w.bits = random();
    if (w.Get(33, 1) && (OutOfRange(w, 59, 56) || OutOfRange(w, 51, 48) || OutOfRange(w, 43, 40))) continue;
    uint8_t block[8];
    w.Store(block);
    ASSERT_EQ(Decode(DecodeETC2RGBBlock, block), Decode(DecodeETC1Block, block)) << std::hex << w.bits;
    ++checked;
  }
}

}  // namespace
}  // namespace mirelth
