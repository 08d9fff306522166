// Resource limits and checked size arithmetic, in one place. Every size taken from a file is computed in
// 64-bit arithmetic and compared with these limits and with what is left of the file before it is used.
#pragma once

#include <cstdint>

namespace mirelth {

// Largest image a decoder will allocate a full-size bitmap for: 2^28 pixels (1 GiB of 32-bit pixels).
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;
// Largest buffer a level or chunk that must be inflated whole (a supercompressed KTX2 level) may take.
inline constexpr uint64_t kMaxInflatedBytes = uint64_t{256} << 20;
// Largest thumbnail edge GetThumbnail accepts (the largest texture edge common GPUs allow).
inline constexpr uint32_t kMaxThumbnailEdge = 16384;

// a * b, or false when the product does not fit in 64 bits.
inline bool CheckedMultiply(uint64_t a, uint64_t b, uint64_t* product) {
  return !__builtin_mul_overflow(a, b, product);
}

// a + b, or false when the sum does not fit in 64 bits.
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t* sum) { return !__builtin_add_overflow(a, b, sum); }

// True when [offset, offset + count) lies inside a buffer of `size` bytes.
inline bool RangeFits(uint64_t offset, uint64_t count, uint64_t size) {
  return offset <= size && count <= size - offset;
}

}  // namespace mirelth
