// Inputs shared by the benchmark programs: a 4096 x 4096 image's worth of deterministic random bytes and a
// destination touched once up front, so that no page faults are timed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirelth::bench {

inline constexpr int32_t kEdge = 4096;
inline constexpr size_t kPixels = size_t{kEdge} * kEdge;

inline const std::vector<uint8_t>& RandomSource() {
  static const std::vector<uint8_t> source = [] {
    std::vector<uint8_t> bytes(kPixels * 4);
    uint32_t state = 12345;
    for (auto& b : bytes) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
  }();
  return source;
}

inline std::vector<uint8_t>& Destination() {
  static std::vector<uint8_t> destination(kPixels * 4, 1);
  return destination;
}

}  // namespace mirelth::bench
