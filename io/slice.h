// A bounded slice of a byte source: one record of a file (a PSD section, KTX2's key/value data, a VTF resource,
// an EXR attribute). Every read is checked against the slice's end as well as the file's, so a reader walking a
// record cannot leave it however its lengths lie; running out answers false and is never silent zeros.
#pragma once

#include <cstdint>

#include "io/byte_source.h"

namespace mirelth {

class ByteSlice {
 public:
  // [start, start + length), cut to the source's end.
  ByteSlice(ByteSource& source, uint64_t start, uint64_t length)
      : source_(&source), start_(start), end_(Clip(source, start, length)) {}

  uint64_t start() const { return start_; }
  uint64_t end() const { return end_; }
  uint64_t size() const { return end_ - start_; }
  ByteSource& source() const { return *source_; }
  // Whether [at, at + count) lies inside the slice (offsets are the file's).
  bool Has(uint64_t at, uint64_t count) const { return at >= start_ && at <= end_ && count <= end_ - at; }
  // The part [at, at + length) of this slice, cut to its end.
  ByteSlice Sub(uint64_t at, uint64_t length) const {
    if (at < start_ || at > end_) return ByteSlice(*source_, end_, 0);
    return ByteSlice(*source_, at, length < end_ - at ? length : end_ - at);
  }

  // Reads: false, `out` left as it was, when the bytes are not all inside the slice (or the source fails).
  bool Bytes(uint64_t at, void* out, uint64_t count) const {
    return Has(at, count) && source_->Read(at, out, static_cast<size_t>(count), nullptr);
  }
  bool U8(uint64_t at, uint8_t* out) const { return Has(at, 1) && source_->U8(at, out, nullptr); }
  bool U16BE(uint64_t at, uint16_t* out) const { return Has(at, 2) && source_->U16BE(at, out, nullptr); }
  bool U32BE(uint64_t at, uint32_t* out) const { return Has(at, 4) && source_->U32BE(at, out, nullptr); }
  bool U64BE(uint64_t at, uint64_t* out) const { return Has(at, 8) && source_->U64BE(at, out, nullptr); }
  bool U16LE(uint64_t at, uint16_t* out) const { return Has(at, 2) && source_->U16LE(at, out, nullptr); }
  bool U32LE(uint64_t at, uint32_t* out) const { return Has(at, 4) && source_->U32LE(at, out, nullptr); }

 private:
  static uint64_t Clip(ByteSource& source, uint64_t start, uint64_t length) {
    const uint64_t size = source.size();
    if (start >= size) return start;
    return length < size - start ? start + length : size;
  }

  ByteSource* source_;
  uint64_t start_, end_;
};

}  // namespace mirelth
