// Plane rows. ZIP data is inflated with zlib from a 16 KiB input window; prediction (compression 3) is undone
// per row: 8-bit samples store byte deltas, 16-bit samples big-endian 16-bit deltas, and 32-bit rows are stored
// as the row's four byte planes (all first bytes, then all second bytes ...) with byte deltas across the row.
#include "formats/psd/psd_planes.h"

#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>

#include "io/byte_reader.h"

namespace mirelth {

struct PlaneReader::Zip {
  z_stream stream{};
  bool open = false;
  uint64_t next = 0;  // file offset of the next input bytes
  uint8_t input[16384];
  std::unique_ptr<uint8_t[]> row;     // the current unpacked row
  std::unique_ptr<uint8_t[]> planar;  // 32-bit prediction: the row before it is reassembled
  ~Zip() {
    if (open) inflateEnd(&stream);
  }
};

PlaneReader::PlaneReader() = default;
PlaneReader::~PlaneReader() = default;

namespace {
constexpr uint64_t kReadAhead = 8192;  // bytes a PackBits buffer reads beyond what is asked
}  // namespace

const uint8_t* PlaneReader::Bytes(uint64_t offset, uint64_t length, uint64_t limit, ByteBuffer* buffer, uint64_t* start,
                                  uint64_t* end, DecodeFailure* failure) {
  if (source_->InMemory()) return source_->View(offset, static_cast<size_t>(length), buffer, failure);
  if (offset >= *start && length <= *end - offset && offset <= *end) return buffer->data() + (offset - *start);
  if (!source_->Has(offset, length)) {
    FailTruncated(failure, source_->size(), offset + length, "a packed row");
    return nullptr;
  }
  // Read ahead, but not past the region the plane's bytes lie in (`limit`, 0: the file's end).
  const uint64_t regionEnd = limit > offset + length && limit <= source_->size() ? limit : source_->size();
  const uint64_t fill = std::max(length, std::min(regionEnd - offset, kReadAhead));
  uint8_t* out = buffer->Reserve(static_cast<size_t>(std::max(fill, kReadAhead)));
  if (!out) {
    Fail(failure, FailureKind::OutOfMemory, "no row buffer");
    return nullptr;
  }
  *start = *end = 0;
  if (!source_->ReadUnwindowed(offset, out, static_cast<size_t>(fill), failure)) return nullptr;
  *start = offset;
  *end = offset + fill;
  return out;
}

bool PlaneReader::RowCount(uint64_t row, uint64_t* count, DecodeFailure* failure) {
  const uint8_t* bytes =
      Bytes(spec_.table + row * spec_.countBytes, spec_.countBytes, spec_.table + spec_.rows * spec_.countBytes,
            &counts_, &countsStart_, &countsEnd_, failure);
  if (!bytes) return false;
  *count = spec_.countBytes == 4 ? ByteReader::U32BENoBoundsCheck(bytes) : ByteReader::U16BENoBoundsCheck(bytes);
  return true;
}

bool PlaneReader::Open(ByteSource* source, const PlaneSpec& spec, DecodeFailure* failure) {
  source_ = source;
  spec_ = spec;
  nextRow_ = 0;
  packedOffset_ = 0;
  countsStart_ = countsEnd_ = bufferStart_ = bufferEnd_ = 0;
  if (spec.compression != kPsdZip && spec.compression != kPsdZipPredicted) return true;
  zip_.reset(new (std::nothrow) Zip);
  if (!zip_) return Fail(failure, FailureKind::OutOfMemory, "no inflate state");
  const size_t rowBytes = static_cast<size_t>(spec.rowBytes ? spec.rowBytes : 1);
  zip_->row.reset(new (std::nothrow) uint8_t[rowBytes]);
  if (spec.compression == kPsdZipPredicted && spec.depth == 32)
    zip_->planar.reset(new (std::nothrow) uint8_t[rowBytes]);
  if (!zip_->row || (spec.compression == kPsdZipPredicted && spec.depth == 32 && !zip_->planar)) {
    return Fail(failure, FailureKind::OutOfMemory, "no row buffer");
  }
  if (inflateInit(&zip_->stream) != Z_OK) return Fail(failure, FailureKind::OutOfMemory, "no inflate state");
  zip_->open = true;
  zip_->next = spec.data;
  // Earlier planes of the same stream are inflated and dropped.
  for (uint64_t skipped = 0; skipped < spec.skip;) {
    const uint64_t chunk = spec.skip - skipped < rowBytes ? spec.skip - skipped : rowBytes;
    zip_->stream.next_out = zip_->row.get();
    zip_->stream.avail_out = static_cast<uInt>(chunk);
    while (zip_->stream.avail_out > 0) {
      if (zip_->stream.avail_in == 0) {
        const uint64_t left = spec.dataEnd - zip_->next;
        const size_t take = left < sizeof zip_->input ? static_cast<size_t>(left) : sizeof zip_->input;
        if (take == 0) return Fail(failure, FailureKind::Truncated, "the ZIP data ends before the plane it holds");
        if (!source_->Read(zip_->next, zip_->input, take, failure)) return false;
        zip_->next += take;
        zip_->stream.next_in = zip_->input;
        zip_->stream.avail_in = static_cast<uInt>(take);
      }
      const int result = inflate(&zip_->stream, Z_NO_FLUSH);
      if (result == Z_STREAM_END && zip_->stream.avail_out > 0) {
        return Fail(failure, FailureKind::Truncated, "the ZIP data ends before the plane it holds");
      }
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        return Fail(failure, FailureKind::InvalidHeader, "corrupt ZIP data (zlib error %d)", result);
      }
    }
    skipped += chunk;
  }
  return true;
}

bool PlaneReader::ZipRow(uint64_t row, DecodeFailure* failure) {
  Zip& zip = *zip_;
  const size_t rowBytes = static_cast<size_t>(spec_.rowBytes);
  for (; nextRow_ <= row; ++nextRow_) {
    zip.stream.next_out = zip.row.get();
    zip.stream.avail_out = static_cast<uInt>(rowBytes);
    while (zip.stream.avail_out > 0) {
      if (zip.stream.avail_in == 0) {
        const uint64_t left = spec_.dataEnd - zip.next;
        const size_t take = left < sizeof zip.input ? static_cast<size_t>(left) : sizeof zip.input;
        if (take == 0) {
          return Fail(failure, FailureKind::Truncated, "the ZIP data ends at row %" PRIu64 " of %" PRIu64, nextRow_,
                      spec_.rows);
        }
        if (!source_->Read(zip.next, zip.input, take, failure)) return false;
        zip.next += take;
        zip.stream.next_in = zip.input;
        zip.stream.avail_in = static_cast<uInt>(take);
      }
      const int result = inflate(&zip.stream, Z_NO_FLUSH);
      if (result == Z_STREAM_END && zip.stream.avail_out > 0) {
        return Fail(failure, FailureKind::Truncated,
                    "the ZIP data inflates to less than its rows (row %" PRIu64 " of %" PRIu64 ")", nextRow_,
                    spec_.rows);
      }
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        return Fail(failure, FailureKind::InvalidHeader, "corrupt ZIP data (zlib error %d)", result);
      }
    }
    if (spec_.compression != kPsdZipPredicted || nextRow_ != row) continue;
    uint8_t* b = zip.row.get();
    if (spec_.depth == 16) {
      for (size_t i = 2; i + 1 < rowBytes; i += 2) {
        const uint32_t value =
            (ByteReader::U16BENoBoundsCheck(b + i) + ByteReader::U16BENoBoundsCheck(b + i - 2)) & 0xFFFF;
        b[i] = static_cast<uint8_t>(value >> 8);
        b[i + 1] = static_cast<uint8_t>(value);
      }
    } else {
      for (size_t i = 1; i < rowBytes; ++i) b[i] = static_cast<uint8_t>(b[i] + b[i - 1]);
      if (spec_.depth == 32) {
        // Byte plane k holds byte k (most significant first) of every sample.
        const size_t samples = rowBytes / 4;
        uint8_t* out = zip.planar.get();
        for (size_t i = 0; i < samples; ++i) {
          for (size_t k = 0; k < 4; ++k) out[4 * i + k] = b[k * samples + i];
        }
        std::memcpy(b, out, samples * 4);
      }
    }
  }
  return true;
}

bool PlaneReader::Pick(uint64_t row, const uint64_t* positions, size_t count, uint8_t* out, DecodeFailure* failure) {
  switch (spec_.compression) {
    case kPsdRaw: {
      const uint64_t first = positions ? positions[0] : 0;
      const uint64_t last = positions ? positions[count - 1] : count - 1;
      const uint8_t* bytes = source_->View(spec_.data + row * spec_.rowBytes + first,
                                           static_cast<size_t>(last - first + 1), &buffer_, failure);
      if (!bytes) return false;
      if (!positions) {
        std::memcpy(out, bytes, count);
      } else {
        for (size_t j = 0; j < count; ++j) out[j] = bytes[positions[j] - first];
      }
      return true;
    }
    case kPsdPackBits: {
      // Walk the byte counts forward to this row.
      for (; nextRow_ < row; ++nextRow_) {
        uint64_t skipped = 0;
        if (!RowCount(nextRow_, &skipped, failure)) return false;
        packedOffset_ += skipped;
      }
      uint64_t packed = 0;
      if (!RowCount(row, &packed, failure)) return false;
      const uint8_t* bytes =
          Bytes(spec_.data + packedOffset_, packed, spec_.dataEnd, &buffer_, &bufferStart_, &bufferEnd_, failure);
      if (!bytes) return false;
      if (!positions) {
        std::memset(out, 0, count);  // a short row leaves zeros
        UnpackBitsRow(bytes, static_cast<size_t>(packed), out, count, 1);
      } else {
        UnpackBitsPick(bytes, static_cast<size_t>(packed), positions, count, out);
      }
      return true;
    }
    default: {
      if (!ZipRow(row, failure)) return false;
      const uint8_t* bytes = zip_->row.get();
      if (!positions) {
        std::memcpy(out, bytes, count);
      } else {
        for (size_t j = 0; j < count; ++j) out[j] = bytes[positions[j]];
      }
      return true;
    }
  }
}

}  // namespace mirelth
