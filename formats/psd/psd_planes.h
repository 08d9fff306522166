// One plane of samples (a composite channel or a layer channel) read a row at a time, in increasing row order,
// keeping only the bytes at chosen positions: raw rows are read where they lie, PackBits rows found by walking
// their byte counts forward, zlib data inflated in sequence up to the row asked for and no further.
#pragma once

#include <cstdint>
#include <memory>

#include "formats/psd/psd.h"
#include "io/byte_source.h"
#include "io/failure.h"

namespace mirelth {

struct PlaneSpec {
  uint16_t compression = kPsdRaw;
  uint32_t depth = 8;     // bits per sample (ZIP prediction works on whole samples)
  uint64_t rowBytes = 0;  // unpacked bytes of one row
  uint64_t rows = 0;
  uint64_t data = 0;        // raw: the plane's first row; PackBits: its first packed row; ZIP: the stream
  uint64_t dataEnd = 0;     // ZIP: where the stream's bytes end; PackBits: where the plane's rows end (0: unknown)
  uint64_t table = 0;       // PackBits: the plane's first row byte count
  uint32_t countBytes = 2;  // PackBits: 2, or 4 in PSB documents
  uint64_t skip = 0;        // ZIP: unpacked bytes of earlier planes in the same stream
};

class PlaneReader {
 public:
  PlaneReader();
  ~PlaneReader();
  PlaneReader(const PlaneReader&) = delete;
  PlaneReader& operator=(const PlaneReader&) = delete;

  [[nodiscard]] bool Open(ByteSource* source, const PlaneSpec& spec, DecodeFailure* failure);
  // The bytes at `positions` (increasing, inside the row) of row `row` (increasing between calls; each row at most
  // once), 0 where a packed row stops short. With `positions` null, the first `count` bytes.
  [[nodiscard]] bool Pick(uint64_t row, const uint64_t* positions, size_t count, uint8_t* out, DecodeFailure* failure);

 private:
  struct Zip;
  bool ZipRow(uint64_t row, DecodeFailure* failure);

  // PackBits from a file: the byte counts and packed rows are read through the reader's own buffers, a chunk
  // ahead at a time, so that many planes read in turn do not refill the source's one small-read window.
  const uint8_t* Bytes(uint64_t offset, uint64_t length, uint64_t limit, ByteBuffer* buffer, uint64_t* start,
                       uint64_t* end, DecodeFailure* failure);
  bool RowCount(uint64_t row, uint64_t* count, DecodeFailure* failure);

  ByteSource* source_ = nullptr;
  PlaneSpec spec_;
  uint64_t nextRow_ = 0;       // PackBits and ZIP: the next row in sequence
  uint64_t packedOffset_ = 0;  // PackBits: offset of row nextRow_ from spec_.data
  ByteBuffer buffer_;
  ByteBuffer counts_;  // PackBits: a chunk of the byte-count table, file offsets [countsStart_, countsEnd_)
  uint64_t countsStart_ = 0, countsEnd_ = 0;
  uint64_t bufferStart_ = 0, bufferEnd_ = 0;  // PackBits: the packed bytes buffer_ holds
  std::unique_ptr<Zip> zip_;
};

}  // namespace mirelth
