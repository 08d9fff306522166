// BC4, BC5, BC6H and BC7 against Pillow's decoders (python3-pil) on random blocks: 200,000 per format and per
// mode (every BC7 mode and every BC6H mode), written as DDS files that Pillow decodes in one run. Exact for BC7;
// BC6H compared on our half floats taken to 8 bits as Pillow does (linear, truncated) within 1; BC4 and BC5
// within 1. Left out, as Pillow 9.4 gets them wrong: signed BC6H, reserved BC7 blocks (it draws them opaque)
// and BC5 SNORM (a different mapping); the hand-checked blocks of blocks_test.cpp cover those.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encodings/blocks/blocks.h"
#include "encodings/conversion_rules.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

constexpr int kBlocksPerMode = 200000;
constexpr int kBlocksAcross = 1000;  // the test images are 4000 pixels wide

// A DDS of `blocks` (16 or 8 bytes each) `kBlocksAcross` blocks wide, with a FourCC or a DX10 header.
std::vector<uint8_t> BlockDds(const std::vector<uint8_t>& blocks, int blockBytes, const char* fourCC, uint32_t dxgi) {
  const int count = static_cast<int>(blocks.size()) / blockBytes;
  test::DdsSpec spec;
  spec.width = 4 * kBlocksAcross;
  spec.height = 4 * (count / kBlocksAcross);
  spec.pixelFlags = 0x4;
  spec.bitCount = 0;
  spec.fourCC = test::FourCC(fourCC);
  std::vector<uint8_t> payload;
  if (dxgi) {
    for (uint32_t v : {dxgi, 3u, 0u, 1u, 0u}) test::AppendLE32(payload, v);
  }
  payload.insert(payload.end(), blocks.begin(), blocks.end());
  return test::MakeDds(spec, payload);
}

struct Format {
  const char* name;
  int blockBytes;
  const char* fourCC;
  uint32_t dxgi;
  int modes;                                // mode classes, kBlocksPerMode blocks each
  void (*force)(uint8_t* block, int mode);  // makes a random block one of a mode class
  int tolerance;
};

void NoForce(uint8_t*, int) {}
// BC7 mode m: m zero bits, then a one.
void ForceBc7(uint8_t* block, int mode) {
  block[0] = static_cast<uint8_t>((block[0] & (0xFEu << mode)) | (1u << mode));
}
// BC6H: the 14 mode numbers.
void ForceBc6h(uint8_t* block, int mode) {
  static constexpr uint8_t kModes[14] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15};
  const uint8_t m = kModes[mode];
  block[0] = static_cast<uint8_t>(m < 2 ? (block[0] & ~3u) | m : (block[0] & ~31u) | m);
}

// Our pixel in Pillow's terms: RGBA bytes.
void Ours(const Format& f, const uint8_t* block, uint8_t (&rgba)[16][4]) {
  if (std::strcmp(f.name, "BC6H") == 0) {
    uint16_t halves[16][3];
    const bool decoded = DecodeBC6HHalves(block, false, halves);
    for (int i = 0; i < 16; ++i) {
      for (int c = 0; c < 3; ++c) {
        const float v = decoded ? HalfToFloat(halves[i][c]) : 0.0f;
        rgba[i][c] = static_cast<uint8_t>(v >= 1.0f ? 255 : v > 0.0f ? static_cast<int>(v * 255.0f) : 0);
      }
      rgba[i][3] = 255;
    }
    return;
  }
  uint32_t pixels[16];
  const BlockDecoder decode = std::strcmp(f.name, "BC7") == 0   ? DecodeBC7Block
                              : std::strcmp(f.name, "BC4") == 0 ? DecodeBC4UBlock
                                                                : DecodeBC5UBlock;
  decode(reinterpret_cast<uint8_t*>(pixels), 16, block, BlockContext{});
  for (int i = 0; i < 16; ++i) {
    rgba[i][0] = static_cast<uint8_t>(pixels[i] >> 16);
    rgba[i][1] = static_cast<uint8_t>(pixels[i] >> 8);
    rgba[i][2] = static_cast<uint8_t>(pixels[i]);
    rgba[i][3] = static_cast<uint8_t>(pixels[i] >> 24);
  }
  if (std::strcmp(f.name, "BC4") == 0) {
    for (auto& p : rgba) p[1] = p[2] = p[0];  // Pillow draws BC4 as L
  }
}

TEST(BcDifferential, RandomBlocksAgreeWithPillow) {
  const Format formats[] = {
      {"BC7", 16, "DX10", 98, 8, ForceBc7, 0},
      {"BC6H", 16, "DX10", 95, 14, ForceBc6h, 1},
      {"BC4", 8, "ATI1", 0, 1, NoForce, 1},
      {"BC5", 16, "ATI2", 0, 1, NoForce, 1},
  };
  std::string command = "/usr/bin/python3 " + std::string(MIRELTH_TESTS_DIR) + "/pillow_decode.py";
  std::vector<std::vector<uint8_t>> blockSets;
  std::vector<std::string> raws;
  for (const Format& f : formats) {
    const size_t count = static_cast<size_t>(f.modes) * kBlocksPerMode;
    std::vector<uint8_t> blocks = test::RandomBytes(count * f.blockBytes, 0xB100 + f.blockBytes + f.modes);
    for (size_t i = 0; i < count; ++i) f.force(&blocks[i * f.blockBytes], static_cast<int>(i / kBlocksPerMode));
    const std::string dds =
        test::WriteTempFile(std::string("pillow-") + f.name + ".dds", BlockDds(blocks, f.blockBytes, f.fourCC, f.dxgi));
    raws.push_back(dds + ".raw");
    command += " " + dds + " " + raws.back();
    blockSets.push_back(std::move(blocks));
  }
  const int status = std::system(command.c_str());
  if (status != 0) GTEST_SKIP() << "Pillow (python3-pil) could not decode the blocks: " << command;
  for (size_t k = 0; k < sizeof formats / sizeof formats[0]; ++k) {
    const Format& f = formats[k];
    const std::vector<uint8_t> theirs = test::ReadFileBytes(raws[k]);
    const size_t count = blockSets[k].size() / f.blockBytes;
    ASSERT_EQ(theirs.size(), count * 16 * 4) << f.name;
    int worst = 0;
    for (size_t b = 0; b < count; ++b) {
      uint8_t ours[16][4];
      Ours(f, &blockSets[k][b * f.blockBytes], ours);
      const size_t bx = b % kBlocksAcross, by = b / kBlocksAcross;
      for (int i = 0; i < 16; ++i) {
        const size_t x = 4 * bx + i % 4, y = 4 * by + i / 4;
        const uint8_t* pixel = &theirs[(y * 4 * kBlocksAcross + x) * 4];
        if (std::strcmp(f.name, "BC5") == 0) {
          // Pillow draws BC5 blue 0; ours is the normal map's third axis of our red and green.
          const double nx = 2.0 * ours[i][0] / 255.0 - 1.0, ny = 2.0 * ours[i][1] / 255.0 - 1.0;
          const double z = std::sqrt(std::max(0.0, 1.0 - nx * nx - ny * ny));
          ASSERT_LE(std::abs(int(ours[i][2]) - int(std::lround(127.5 * (z + 1.0)))), 1) << "BC5 block " << b;
        }
        for (int c = 0; c < 4; ++c) {
          if (c == 2 && std::strcmp(f.name, "BC5") == 0) continue;
          const int difference = std::abs(int(ours[i][c]) - int(pixel[c]));
          worst = std::max(worst, difference);
          ASSERT_LE(difference, f.tolerance) << f.name << " block " << b << " (mode class " << b / kBlocksPerMode
                                             << ") pixel " << i << " channel " << c;
        }
      }
    }
    RecordProperty(std::string(f.name) + "_worst", worst);
  }
}

// The drawn BC6H pixels (a palette built several values at a time) against the half floats decoded one pixel at a
// time and taken through the same half-float table, both signs, every mode.
TEST(BcDifferential, Bc6hPixelsAreTheirHalvesThroughF) {
  const HalfTables& tables = HalfToByteTables();
  for (const bool isSigned : {false, true}) {
    for (int mode = 0; mode < 14; ++mode) {
      std::vector<uint8_t> blocks = test::RandomBytes(16 * 20000, 0xB6 + mode + (isSigned ? 100 : 0));
      for (size_t b = 0; b < blocks.size(); b += 16) {
        ForceBc6h(&blocks[b], mode);
        uint32_t pixels[16];
        (isSigned ? DecodeBC6HSBlock : DecodeBC6HUBlock)(reinterpret_cast<uint8_t*>(pixels), 16, &blocks[b],
                                                         BlockContext{});
        uint16_t halves[16][3];
        ASSERT_TRUE(DecodeBC6HHalves(&blocks[b], isSigned, halves));
        for (int i = 0; i < 16; ++i) {
          const uint32_t expected = 0xFF000000u | uint32_t{tables.colour[halves[i][0]]} << 16 |
                                    uint32_t{tables.colour[halves[i][1]]} << 8 | tables.colour[halves[i][2]];
          ASSERT_EQ(pixels[i], expected) << (isSigned ? "signed" : "unsigned") << " mode class " << mode << " block "
                                         << b / 16 << " pixel " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace mirelth
