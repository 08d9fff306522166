// The bounded input every container reads through: a source of a known size (memory, a file, a stream) read
// at 64-bit offsets. Every read is checked against the size before anything is used; a read that fails or
// comes back short (the file changed since it was opened) refuses the file with a reason. Small reads go
// through a 64 KiB window, so that walking headers and records costs few calls to the file or stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/buffers.h"
#include "io/failure.h"

namespace mirelth {

class ByteSource {
 public:
  explicit ByteSource(uint64_t size) : size_(size) {}
  virtual ~ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  uint64_t size() const { return size_; }
  bool Has(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
  // Bytes fetched from the file or stream so far (memory sources: 0).
  uint64_t bytesRead() const { return bytesRead_; }

  // Copies [offset, offset + length) into `out`.
  [[nodiscard]] bool Read(uint64_t offset, void* out, size_t length, DecodeFailure* failure);
  // The same without the small-read window: for readers that keep their own buffer of a region they walk, so
  // that several of them interleaved do not take turns refilling the one window.
  [[nodiscard]] bool ReadUnwindowed(uint64_t offset, void* out, size_t length, DecodeFailure* failure);
  // Whether the bytes are in memory (View costs nothing).
  bool InMemory() const { return Memory() != nullptr; }
  // The bytes [offset, offset + length): straight from memory when the source is memory, else read into
  // `buffer`. Valid until `buffer` is used again.
  [[nodiscard]] const uint8_t* View(uint64_t offset, size_t length, ByteBuffer* buffer, DecodeFailure* failure);

  // Little- and big-endian values.
  [[nodiscard]] bool U8(uint64_t offset, uint8_t* out, DecodeFailure* failure);
  [[nodiscard]] bool U16LE(uint64_t offset, uint16_t* out, DecodeFailure* failure);
  [[nodiscard]] bool U32LE(uint64_t offset, uint32_t* out, DecodeFailure* failure);
  [[nodiscard]] bool U16BE(uint64_t offset, uint16_t* out, DecodeFailure* failure);
  [[nodiscard]] bool U32BE(uint64_t offset, uint32_t* out, DecodeFailure* failure);
  [[nodiscard]] bool U64BE(uint64_t offset, uint64_t* out, DecodeFailure* failure);

 protected:
  // Reads exactly `length` bytes at `offset` (inside the size). False when the read fails or comes back short.
  virtual bool ReadAt(uint64_t offset, void* out, size_t length) = 0;
  // The source's bytes when it is memory, else null.
  virtual const uint8_t* Memory() const { return nullptr; }

 private:
  bool Fetch(uint64_t offset, void* out, size_t length, DecodeFailure* failure);

  uint64_t size_;
  uint64_t bytesRead_ = 0;
  std::unique_ptr<uint8_t[]> window_;  // the small-read window
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

// Bytes in memory; zero copy.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, uint64_t size) : ByteSource(data ? size : 0), data_(data) {}

 protected:
  bool ReadAt(uint64_t offset, void* out, size_t length) override;
  const uint8_t* Memory() const override { return data_; }

 private:
  const uint8_t* data_;
};

}  // namespace mirelth
