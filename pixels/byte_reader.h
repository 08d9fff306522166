// One bounds-checked reader for untrusted bytes. Every read proves it lies inside the span first; running out
// of input is reported (false), never read as zeros. Values are assembled with shifts, never pointer casts.
#pragma once

#include <cstdint>
#include <cstring>

#include "pixels/limits.h"

namespace mirelth {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, uint64_t size) : data_(data), size_(data ? size : 0) {}

  uint64_t size() const { return size_; }
  const uint8_t* data() const { return data_; }
  bool Has(uint64_t offset, uint64_t count) const { return RangeFits(offset, count, size_); }

  bool U8At(uint64_t offset, uint8_t* out) const {
    if (!Has(offset, 1)) return false;
    *out = data_[offset];
    return true;
  }
  bool U16LEAt(uint64_t offset, uint16_t* out) const {
    if (!Has(offset, 2)) return false;
    *out = U16LENoBoundsCheck(data_ + offset);
    return true;
  }
  bool U32LEAt(uint64_t offset, uint32_t* out) const {
    if (!Has(offset, 4)) return false;
    *out = U32LENoBoundsCheck(data_ + offset);
    return true;
  }
  bool U64LEAt(uint64_t offset, uint64_t* out) const {
    if (!Has(offset, 8)) return false;
    *out = U32LENoBoundsCheck(data_ + offset) | (uint64_t{U32LENoBoundsCheck(data_ + offset + 4)} << 32);
    return true;
  }
  bool U16BEAt(uint64_t offset, uint16_t* out) const {
    if (!Has(offset, 2)) return false;
    *out = U16BENoBoundsCheck(data_ + offset);
    return true;
  }
  bool U32BEAt(uint64_t offset, uint32_t* out) const {
    if (!Has(offset, 4)) return false;
    *out = U32BENoBoundsCheck(data_ + offset);
    return true;
  }
  bool BytesAt(uint64_t offset, void* out, uint64_t count) const {
    if (!Has(offset, count)) return false;
    if (count) std::memcpy(out, data_ + offset, count);
    return true;
  }

  // For callers that proved the range beforehand.
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

 private:
  const uint8_t* data_;
  uint64_t size_;
};

}  // namespace mirelth
