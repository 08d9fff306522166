#include "io/inflate.h"

#include <zlib.h>

#include <climits>

namespace mirelth {

bool InflateExactly(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, const char* what,
                    DecodeFailure* failure) {
  if (inSize > UINT_MAX || outSize > UINT_MAX) {
    return Fail(failure, FailureKind::TooLarge, "a zlib %s of %zu bytes", what, inSize > outSize ? inSize : outSize);
  }
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return Fail(failure, FailureKind::OutOfMemory, "no inflate state");
  stream.next_in = const_cast<Bytef*>(in);
  stream.avail_in = static_cast<uInt>(inSize);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(outSize);
  const int result = inflate(&stream, Z_FINISH);
  const size_t produced = outSize - stream.avail_out;
  inflateEnd(&stream);
  if (result == Z_STREAM_END && produced == outSize) return true;
  if (result == Z_BUF_ERROR && stream.avail_out == 0) {
    return Fail(failure, FailureKind::InvalidHeader, "the zlib data holds more than its %s's %zu bytes", what, outSize);
  }
  if (result == Z_OK || result == Z_BUF_ERROR || result == Z_STREAM_END) {
    return Fail(failure, FailureKind::Truncated, "the zlib data inflates to %zu of its %s's %zu bytes", produced, what,
                outSize);
  }
  return Fail(failure, FailureKind::InvalidHeader, "corrupt zlib data (zlib error %d)", result);
}

}  // namespace mirelth
