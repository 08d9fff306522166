// ASTC against Debian's reference library (libastcenc, the code of the astcenc tool), linked into this test only:
// real encoder output of every footprint (LDR pictures with alpha, gray and normal-map content, which brings dual
// planes and the luminance modes; HDR pictures through the HDR profile) and random blocks, which are mostly
// illegal (both must draw the error colour) and otherwise exercise every endpoint mode and weight range.
#include <gtest/gtest.h>

#include <astcenc.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "encodings/blocks/blocks.h"
#include "encodings/conversion_rules.h"
#include "encodings/convert.h"
#include "encodings/pixel_format.h"

namespace mirelth {
namespace {

struct Footprint {
  PixelFormat format;
  unsigned width, height;
};
constexpr Footprint kFootprints[] = {
    {PixelFormat::ASTC4x4, 4, 4},     {PixelFormat::ASTC5x4, 5, 4},     {PixelFormat::ASTC5x5, 5, 5},
    {PixelFormat::ASTC6x5, 6, 5},     {PixelFormat::ASTC6x6, 6, 6},     {PixelFormat::ASTC8x5, 8, 5},
    {PixelFormat::ASTC8x6, 8, 6},     {PixelFormat::ASTC8x8, 8, 8},     {PixelFormat::ASTC10x5, 10, 5},
    {PixelFormat::ASTC10x6, 10, 6},   {PixelFormat::ASTC10x8, 10, 8},   {PixelFormat::ASTC10x10, 10, 10},
    {PixelFormat::ASTC12x10, 12, 10}, {PixelFormat::ASTC12x12, 12, 12},
};
constexpr astcenc_swizzle kRgba{ASTCENC_SWZ_R, ASTCENC_SWZ_G, ASTCENC_SWZ_B, ASTCENC_SWZ_A};

class Codec {
 public:
  Codec(astcenc_profile profile, const Footprint& f, float quality, unsigned flags) {
    astcenc_config config;
    EXPECT_EQ(astcenc_config_init(profile, f.width, f.height, 1, quality, flags, &config), ASTCENC_SUCCESS);
    EXPECT_EQ(astcenc_context_alloc(&config, 1, &context_), ASTCENC_SUCCESS);
  }
  ~Codec() { astcenc_context_free(context_); }
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  template <typename T>
  std::vector<uint8_t> Compress(std::vector<T>& pixels, unsigned width, unsigned height, const Footprint& f) {
    void* slice = pixels.data();
    astcenc_image image{width, height, 1, sizeof(T) == 1 ? ASTCENC_TYPE_U8 : ASTCENC_TYPE_F32, &slice};
    std::vector<uint8_t> blocks(BlockBytes(width, height, f));
    EXPECT_EQ(astcenc_compress_image(context_, &image, &kRgba, blocks.data(), blocks.size(), 0), ASTCENC_SUCCESS);
    astcenc_compress_reset(context_);
    return blocks;
  }
  template <typename T>
  std::vector<T> Decompress(const std::vector<uint8_t>& blocks, unsigned width, unsigned height) {
    std::vector<T> pixels(size_t{width} * height * 4);
    void* slice = pixels.data();
    astcenc_image image{width, height, 1, sizeof(T) == 1 ? ASTCENC_TYPE_U8 : ASTCENC_TYPE_F32, &slice};
    EXPECT_EQ(astcenc_decompress_image(context_, blocks.data(), blocks.size(), &image, &kRgba, 0), ASTCENC_SUCCESS);
    astcenc_decompress_reset(context_);
    return pixels;
  }
  static size_t BlockBytes(unsigned width, unsigned height, const Footprint& f) {
    return size_t{(width + f.width - 1) / f.width} * ((height + f.height - 1) / f.height) * 16;
  }

 private:
  astcenc_context* context_ = nullptr;
};

// Ours, as RGBA bytes.
std::vector<uint8_t> Ours(const std::vector<uint8_t>& blocks, unsigned width, unsigned height, const Footprint& f) {
  std::vector<uint8_t> rgba(size_t{width} * height * 4);
  ConvertJob job;
  job.destination = rgba.data();
  job.destinationPitch = static_cast<intptr_t>(width) * 4;
  job.destinationOrder = ChannelOrder::RGBA;
  job.source = blocks.data();
  job.width = static_cast<int32_t>(width);
  job.height = static_cast<int32_t>(height);
  job.format = f.format;
  ConvertPixels(job);
  return rgba;
}

// LDR test pictures: a colour picture with soft and hard alpha, a gray one, a normal map.
std::vector<uint8_t> LdrPicture(int kind, unsigned width, unsigned height, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> p(size_t{width} * height * 4);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      uint8_t* px = &p[(size_t{y} * width + x) * 4];
      const double u = double(x) / width, v = double(y) / height;
      const int noise = int(random() % 24) - 12;
      const auto clamp = [](double c) { return uint8_t(std::lround(std::fmin(255, std::fmax(0, c)))); };
      if (kind == 0) {
        px[0] = clamp(255 * u + noise);
        px[1] = clamp(128 + 120 * std::sin(9 * v + 3 * u));
        px[2] = ((x / 7 + y / 5) & 1) ? 230 : clamp(40 + noise);
        px[3] = clamp(std::hypot(u - 0.5, v - 0.5) < 0.3 ? 255 : 300 * (1 - v));
      } else if (kind == 1) {
        px[0] = px[1] = px[2] = clamp(128 + 127 * std::cos(11 * u * v) + noise);
        px[3] = 255;
      } else {
        const double nx = std::sin(6 * u), ny = std::cos(5 * v),
                     nz = std::sqrt(std::fmax(0, 1 - nx * nx / 2 - ny * ny / 2));
        px[0] = clamp(127.5 + 127.5 * nx / 1.5);
        px[1] = clamp(127.5 + 127.5 * ny / 1.5);
        px[2] = clamp(127.5 + 127.5 * nz);
        px[3] = 255;
      }
    }
  }
  return p;
}

struct Difference {
  int largest = 0;
  size_t differing = 0;
};
Difference Compare(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs) {
  Difference d;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int diff = std::abs(int(ours[i]) - int(theirs[i]));
    d.largest = std::max(d.largest, diff);
    d.differing += diff != 0;
  }
  return d;
}

TEST(AstcDifferential, RealEncoderOutputOfEveryFootprint) {
  const unsigned width = 61, height = 47;  // not a multiple of any footprint
  size_t exact = 0, total = 0;
  for (const Footprint& f : kFootprints) {
    for (int kind = 0; kind < 3; ++kind) {
      Codec codec(ASTCENC_PRF_LDR, f, ASTCENC_PRE_FAST, kind == 2 ? ASTCENC_FLG_MAP_NORMAL : 0);
      std::vector<uint8_t> picture = LdrPicture(kind, width, height, 7u + unsigned(kind));
      const std::vector<uint8_t> blocks = codec.Compress(picture, width, height, f);
      const Difference d = Compare(Ours(blocks, width, height, f), codec.Decompress<uint8_t>(blocks, width, height));
      EXPECT_LE(d.largest, 1) << f.width << "x" << f.height << " picture " << kind;
      // The sampled path's texel sets (every pixel of a block in a shuffled order, and single pixels) give the
      // tile decoder's pixels exactly.
      const BlockContext context{static_cast<int32_t>(f.width), static_cast<int32_t>(f.height)};
      const int32_t texels = static_cast<int32_t>(f.width * f.height);
      std::vector<uint8_t> order(static_cast<size_t>(texels));
      for (int32_t i = 0; i < texels; ++i) order[i] = static_cast<uint8_t>((i * 7 + 3) % texels);
      for (size_t b = 0; b < blocks.size(); b += 16) {
        uint32_t tile[144], set[144];
        DecodeASTCBlock(reinterpret_cast<uint8_t*>(tile), 4 * static_cast<intptr_t>(f.width), &blocks[b], context);
        DecodeASTCTexelSet(&blocks[b], order.data(), texels, set, context);
        for (int32_t i = 0; i < texels; ++i) ASSERT_EQ(set[i], tile[order[i]]) << f.width << "x" << f.height;
        DecodeASTCTexelSet(&blocks[b], order.data() + b / 16 % texels, 1, set, context);
        ASSERT_EQ(set[0], tile[order[b / 16 % texels]]);
      }
      exact += picture.size() - d.differing;
      total += picture.size();
    }
  }
  RecordProperty("exact_share_permille", std::to_string(exact * 1000 / total));
}

TEST(AstcDifferential, HdrEncoderOutputThroughF) {
  const unsigned width = 40, height = 36;
  const SrgbTables& srgb = SrgbEncodeTables();
  for (const Footprint& f : {kFootprints[0], kFootprints[4], kFootprints[7], kFootprints[13]}) {
    for (const astcenc_profile profile : {ASTCENC_PRF_HDR, ASTCENC_PRF_HDR_RGB_LDR_A}) {
      std::vector<float> picture(size_t{width} * height * 4);
      for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
          float* px = &picture[(size_t{y} * width + x) * 4];
          px[0] = 4.0f * x / width;
          px[1] = 0.05f + 0.9f * std::sin(0.3f * float(y)) * std::sin(0.3f * float(y));
          px[2] = 16.0f * float((x / 6 + y / 6) & 1);
          px[3] = float(y) / float(height);
        }
      }
      Codec codec(profile, f, ASTCENC_PRE_FAST, 0);
      const std::vector<uint8_t> blocks = codec.Compress(picture, width, height, f);
      const std::vector<float> theirs = codec.Decompress<float>(blocks, width, height);
      const std::vector<uint8_t> ours = Ours(blocks, width, height, f);
      int largest = 0;
      for (size_t i = 0; i < ours.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &theirs[i], 4);
        const int expected = (i % 4 == 3) ? AlphaByteFromFloat(theirs[i]) : SrgbByteFromBits(srgb, bits);
        largest = std::max(largest, std::abs(int(ours[i]) - expected));
      }
      EXPECT_LE(largest, 1) << f.width << "x" << f.height << " profile " << profile;
      // The float decode the tone mapping reads: HDR channels are the library's half floats exactly; LDR ones
      // (this profile's alpha) the float F draws as their byte, within a byte of the library's UNORM16.
      const unsigned across = (width + f.width - 1) / f.width, down = (height + f.height - 1) / f.height;
      const BlockContext context{static_cast<int32_t>(f.width), static_cast<int32_t>(f.height)};
      double worstColour = 0, worstAlpha = 0;
      for (unsigned by = 0; by < down; ++by) {
        for (unsigned bx = 0; bx < across; ++bx) {
          float tile[12 * 12 * 4];
          DecodeASTCFloatBlock(tile, 4 * f.width, &blocks[16 * (size_t{by} * across + bx)], context);
          for (unsigned y = 0; y < f.height && by * f.height + y < height; ++y) {
            for (unsigned x = 0; x < f.width && bx * f.width + x < width; ++x) {
              const float* ours4 = &tile[4 * (y * f.width + x)];
              const float* theirs4 = &theirs[4 * ((size_t{by} * f.height + y) * width + bx * f.width + x)];
              for (int c = 0; c < 3; ++c) {
                worstColour = std::max(worstColour,
                                       std::fabs(double(ours4[c]) - theirs4[c]) / std::max(1e-3, double(theirs4[c])));
              }
              worstAlpha = std::max(worstAlpha, std::fabs(double(ours4[3]) - theirs4[3]));
            }
          }
        }
      }
      EXPECT_LE(worstColour, 1e-6) << f.width << "x" << f.height << " profile " << profile;
      EXPECT_LE(worstAlpha, profile == ASTCENC_PRF_HDR ? 1e-6 : 1.0 / 255) << f.width << "x" << f.height;
    }
  }
}

// Random blocks: where the library draws the error colour in the LDR profile, ours must too, unless the texel is
// an HDR endpoint (the HDR profile draws it), which we draw through F; everywhere else within 1.
TEST(AstcDifferential, RandomBlocks) {
  std::mt19937_64 random(20261208);
  size_t legal = 0, blocksTotal = 0;
  for (const Footprint& f : kFootprints) {
    const unsigned width = f.width * 16, height = f.height * 16;
    std::vector<uint8_t> blocks(Codec::BlockBytes(width, height, f));
    for (size_t i = 0; i < blocks.size(); i += 8) {
      const uint64_t v = random();
      std::memcpy(&blocks[i], &v, 8);
    }
    // A quarter of the blocks get a single partition, for more legal blocks.
    for (size_t b = 0; b < blocks.size(); b += 64) blocks[b + 1] &= 0xE7;
    Codec ldr(ASTCENC_PRF_LDR, f, ASTCENC_PRE_FAST, ASTCENC_FLG_DECOMPRESS_ONLY);
    Codec hdr(ASTCENC_PRF_HDR, f, ASTCENC_PRE_FAST, ASTCENC_FLG_DECOMPRESS_ONLY);
    const std::vector<uint8_t> theirs = ldr.Decompress<uint8_t>(blocks, width, height);
    const std::vector<float> theirsHdr = hdr.Decompress<float>(blocks, width, height);
    const std::vector<uint8_t> ours = Ours(blocks, width, height, f);
    for (size_t p = 0; p < size_t{width} * height; ++p) {
      const uint8_t* t = &theirs[4 * p];
      const uint8_t* o = &ours[4 * p];
      // The library's error colour comes out as (254, 0, 254, 254) in 8 bits.
      const bool magenta = t[0] >= 254 && t[1] == 0 && t[2] >= 254 && t[3] >= 254;
      const float* h = &theirsHdr[4 * p];
      const bool hdrError = std::isnan(h[0]) || (h[0] == 1.0f && h[1] == 0.0f && h[2] == 1.0f && h[3] == 1.0f);
      if (magenta && !hdrError) continue;  // an HDR endpoint
      int largest = 0;
      for (int c = 0; c < 4; ++c) largest = std::max(largest, std::abs(int(o[c]) - int(t[c])));
      const size_t block = (p / width / f.height) * (width / f.width) + p % width / f.width;
      std::string hex;
      for (int k = 15; k >= 0; --k)
        hex += "0123456789abcdef"[blocks[16 * block + k] >> 4], hex += "0123456789abcdef"[blocks[16 * block + k] & 15];
      ASSERT_LE(largest, 1) << f.width << "x" << f.height << " block " << hex << " pixel " << p % width << ","
                            << p / width << ": ours " << int(o[0]) << "," << int(o[1]) << "," << int(o[2]) << ","
                            << int(o[3]) << " theirs " << int(t[0]) << "," << int(t[1]) << "," << int(t[2]) << ","
                            << int(t[3]);
      if (p % width % f.width == 0 && p / width % f.height == 0) legal += !magenta;
    }
    blocksTotal += blocks.size() / 16;
  }
  RecordProperty("legal_blocks", std::to_string(legal) + " of " + std::to_string(blocksTotal));
  EXPECT_GT(legal, blocksTotal / 20);
}

}  // namespace
}  // namespace mirelth
