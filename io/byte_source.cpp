#include "io/byte_source.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "io/byte_reader.h"

namespace mirelth {
namespace {

constexpr size_t kWindowBytes = size_t{64} << 10;
constexpr size_t kSmallRead = size_t{4} << 10;  // reads up to this size go through the window

}  // namespace

bool ByteSource::Fetch(uint64_t offset, void* out, size_t length, DecodeFailure* failure) {
  if (length == 0) return true;
  if (ReadAt(offset, out, length)) {
    bytesRead_ += length;
    return true;
  }
  return Fail(failure, FailureKind::ReadFailed,
              "reading %zu bytes at offset %" PRIu64 " failed or came back short (the file may have changed)", length,
              offset);
}

bool ByteSource::Read(uint64_t offset, void* out, size_t length, DecodeFailure* failure) {
  if (!Has(offset, length)) {
    return FailTruncated(failure, size_, offset + length, "a read");
  }
  if (length == 0) return true;
  if (const uint8_t* memory = Memory()) {
    std::memcpy(out, memory + offset, length);
    return true;
  }
  if (length > kSmallRead) return Fetch(offset, out, length, failure);
  // Small reads: from the window, refilled around the read when it misses.
  if (!(offset >= windowStart_ && offset + length <= windowStart_ + windowLength_)) {
    if (!window_) window_.reset(new (std::nothrow) uint8_t[kWindowBytes]);
    if (!window_) return Fetch(offset, out, length, failure);
    const uint64_t start = offset;
    const size_t fill = static_cast<size_t>(size_ - start < kWindowBytes ? size_ - start : kWindowBytes);
    windowLength_ = 0;
    if (!ReadAt(start, window_.get(), fill)) {
      // The window could not be filled whole (a stream that holds less than it says): read just what was asked.
      return Fetch(offset, out, length, failure);
    }
    bytesRead_ += fill;
    windowStart_ = start;
    windowLength_ = fill;
  }
  std::memcpy(out, window_.get() + (offset - windowStart_), length);
  return true;
}

bool ByteSource::ReadUnwindowed(uint64_t offset, void* out, size_t length, DecodeFailure* failure) {
  if (!Has(offset, length)) return FailTruncated(failure, size_, offset + length, "a read");
  if (const uint8_t* memory = Memory()) {
    std::memcpy(out, memory + offset, length);
    return true;
  }
  return Fetch(offset, out, length, failure);
}

const uint8_t* ByteSource::View(uint64_t offset, size_t length, ByteBuffer* buffer, DecodeFailure* failure) {
  if (!Has(offset, length)) {
    FailTruncated(failure, size_, offset + length, "a read");
    return nullptr;
  }
  if (const uint8_t* memory = Memory()) return memory + offset;
  uint8_t* out = buffer->Reserve(length);
  if (!out) {
    Fail(failure, FailureKind::OutOfMemory, "no %zu-byte read buffer", length);
    return nullptr;
  }
  return Read(offset, out, length, failure) ? out : nullptr;
}

bool ByteSource::U8(uint64_t offset, uint8_t* out, DecodeFailure* failure) { return Read(offset, out, 1, failure); }

bool ByteSource::U16LE(uint64_t offset, uint16_t* out, DecodeFailure* failure) {
  uint8_t b[2];
  if (!Read(offset, b, 2, failure)) return false;
  *out = ByteReader::U16LENoBoundsCheck(b);
  return true;
}

bool ByteSource::U32LE(uint64_t offset, uint32_t* out, DecodeFailure* failure) {
  uint8_t b[4];
  if (!Read(offset, b, 4, failure)) return false;
  *out = ByteReader::U32LENoBoundsCheck(b);
  return true;
}

bool ByteSource::U16BE(uint64_t offset, uint16_t* out, DecodeFailure* failure) {
  uint8_t b[2];
  if (!Read(offset, b, 2, failure)) return false;
  *out = ByteReader::U16BENoBoundsCheck(b);
  return true;
}

bool ByteSource::U32BE(uint64_t offset, uint32_t* out, DecodeFailure* failure) {
  uint8_t b[4];
  if (!Read(offset, b, 4, failure)) return false;
  *out = ByteReader::U32BENoBoundsCheck(b);
  return true;
}

bool ByteSource::U64BE(uint64_t offset, uint64_t* out, DecodeFailure* failure) {
  uint8_t b[8];
  if (!Read(offset, b, 8, failure)) return false;
  *out = (uint64_t{ByteReader::U32BENoBoundsCheck(b)} << 32) | ByteReader::U32BENoBoundsCheck(b + 4);
  return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t length) {
  std::memcpy(out, data_ + offset, length);
  return true;
}

}  // namespace mirelth
