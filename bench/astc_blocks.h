// Real ASTC encoder output for the benchmarks: a 512 x 512 picture (colour, soft alpha, hard edges, noise) encoded by
// libastcenc at its medium preset for a footprint, its blocks repeated to cover 4096 x 4096.
#pragma once

#include <astcenc.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "bench/bench_data.h"

namespace mirelth::bench {

inline constexpr astcenc_swizzle kRgba{ASTCENC_SWZ_R, ASTCENC_SWZ_G, ASTCENC_SWZ_B, ASTCENC_SWZ_A};
inline constexpr unsigned kTile = 512;

inline std::vector<uint8_t> AstcPicture() {
  std::vector<uint8_t> p(size_t{kTile} * kTile * 4);
  std::mt19937 random(3);
  for (unsigned y = 0; y < kTile; ++y) {
    for (unsigned x = 0; x < kTile; ++x) {
      uint8_t* px = &p[(size_t{y} * kTile + x) * 4];
      const double u = double(x) / kTile, v = double(y) / kTile;
      const auto clamp = [](double c) { return uint8_t(std::lround(std::fmin(255, std::fmax(0, c)))); };
      const int noise = int(random() % 16) - 8;
      px[0] = clamp(127 + 120 * std::sin(13 * u + 4 * v) + noise);
      px[1] = clamp(255 * v * (1 - u) + noise);
      px[2] = ((x / 37 + y / 23) & 1) ? clamp(200 + noise) : clamp(30 + 60 * u);
      px[3] = clamp(std::hypot(u - 0.5, v - 0.5) < 0.35 ? 255 : 255 * (1 - 2 * std::fabs(v - 0.5)));
    }
  }
  return p;
}

// The blocks of the picture for a footprint, repeated over a 4096 x 4096 image.
inline const std::vector<uint8_t>& AstcBlocks(unsigned bw, unsigned bh) {
  static std::map<std::pair<unsigned, unsigned>, std::vector<uint8_t>> cache;
  auto& blocks = cache[{bw, bh}];
  if (!blocks.empty()) return blocks;
  astcenc_config config;
  astcenc_config_init(ASTCENC_PRF_LDR, bw, bh, 1, ASTCENC_PRE_MEDIUM, 0, &config);
  astcenc_context* context = nullptr;
  astcenc_context_alloc(&config, 1, &context);
  std::vector<uint8_t> picture = AstcPicture();
  void* slice = picture.data();
  astcenc_image image{kTile, kTile, 1, ASTCENC_TYPE_U8, &slice};
  const unsigned tileAcross = (kTile + bw - 1) / bw, tileDown = (kTile + bh - 1) / bh;
  std::vector<uint8_t> tile(size_t{tileAcross} * tileDown * 16);
  astcenc_compress_image(context, &image, &kRgba, tile.data(), tile.size(), 0);
  astcenc_context_free(context);
  const unsigned across = (kEdge + bw - 1) / bw, down = (kEdge + bh - 1) / bh;
  blocks.resize(size_t{across} * down * 16);
  for (unsigned by = 0; by < down; ++by) {
    for (unsigned bx = 0; bx < across; ++bx) {
      std::memcpy(&blocks[(size_t{by} * across + bx) * 16],
                  &tile[(size_t{by % tileDown} * tileAcross + bx % tileAcross) * 16], 16);
    }
  }
  return blocks;
}

}  // namespace mirelth::bench
