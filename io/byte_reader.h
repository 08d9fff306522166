// Little- and big-endian values from bytes whose range the caller proved beforehand (every read from a file goes
// through ByteSource, which checks it). Values are assembled with shifts, never pointer casts.
#pragma once

#include <cstdint>

namespace mirelth {

class ByteReader {
 public:
  static uint16_t U16LENoBoundsCheck(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
  static uint32_t U32LENoBoundsCheck(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
  }
  static uint64_t U64LENoBoundsCheck(const uint8_t* p) {
    return uint64_t{U32LENoBoundsCheck(p)} | (uint64_t{U32LENoBoundsCheck(p + 4)} << 32);
  }
  static uint16_t U16BENoBoundsCheck(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
  static uint32_t U32BENoBoundsCheck(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
  }
};

}  // namespace mirelth
