// Why a decoder said no. Decoders keep their boolean result and can also fill one of these; the CLI prints it
// and server/ maps it to an HRESULT. The set of kinds is small and closed.
#pragma once

#include <cstdint>
#include <string>

#if defined(__MINGW32__)
#define MIRELTH_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define MIRELTH_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

namespace mirelth {

enum class FailureKind : uint8_t {
  None,
  NotThisFormat,  // the signature or magic is not the container's
  Truncated,      // the file ends before what its header announces (have/want byte counts)
  Unsupported,    // a valid file in an encoding or variant we do not draw (names the FourCC, masks, mode...)
  InvalidHeader,  // a field no valid file holds (zero width, ...)
  TooLarge,       // over the limits of pixels/limits.h
  OutOfMemory,
  NoDecoder,        // the file type has no decoder (a name that matches no type, no file)
  ReadFailed,       // the file or stream could not be read, or came back short (it changed since it was opened)
  InvalidArgument,  // the caller asked for something outside the contract (a thumbnail edge of 0, ...)
};

struct DecodeFailure {
  FailureKind kind = FailureKind::None;
  uint64_t have = 0;  // Truncated: bytes in the file
  uint64_t want = 0;  // Truncated: bytes the header needs
  char detail[120] = {};
};

// Records a failure with a printf-style detail; does nothing when `failure` is null. Returns false, so that a
// decoder can write `return Fail(...)`.
bool Fail(DecodeFailure* failure, FailureKind kind, const char* format, ...) MIRELTH_PRINTF_FORMAT(3, 4);
bool FailTruncated(DecodeFailure* failure, uint64_t have, uint64_t want, const char* what);

// One line for people: "truncated: the file has 100 bytes, level 0 needs 160".
std::string DescribeFailure(const DecodeFailure& failure);

}  // namespace mirelth
