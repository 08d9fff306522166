#include "io/failure.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace mirelth {

bool Fail(DecodeFailure* failure, FailureKind kind, const char* format, ...) {
  if (!failure) return false;
  *failure = DecodeFailure{};
  failure->kind = kind;
  va_list args;
  va_start(args, format);
  std::vsnprintf(failure->detail, sizeof failure->detail, format, args);
  va_end(args);
  return false;
}

bool FailTruncated(DecodeFailure* failure, uint64_t have, uint64_t want, const char* what) {
  if (!failure) return false;
  Fail(failure, FailureKind::Truncated, "%s", what);
  failure->have = have;
  failure->want = want;
  return false;
}

std::string DescribeFailure(const DecodeFailure& failure) {
  const std::string detail = failure.detail;
  switch (failure.kind) {
    case FailureKind::None: return "no failure";
    case FailureKind::NotThisFormat: return detail.empty() ? "not a file of its type" : detail;
    case FailureKind::Truncated: {
      // A stream inside the file that ends early knows no byte counts: its detail says what ran short.
      if (failure.have == 0 && failure.want == 0 && !detail.empty()) return "truncated: " + detail;
      char text[200];
      std::snprintf(text, sizeof text, "truncated: the file has %" PRIu64 " bytes, %s needs %" PRIu64, failure.have,
                    detail.empty() ? "the image" : detail.c_str(), failure.want);
      return text;
    }
    case FailureKind::Unsupported: return "unsupported: " + detail;
    case FailureKind::InvalidHeader: return "invalid header: " + detail;
    case FailureKind::TooLarge: return "too large: " + detail;
    case FailureKind::OutOfMemory: return detail.empty() ? "out of memory" : "out of memory: " + detail;
    case FailureKind::NoDecoder: return detail.empty() ? "no decoder for this file type" : detail;
    case FailureKind::ReadFailed: return "read error: " + detail;
    case FailureKind::InvalidArgument: return "invalid argument: " + detail;
  }
  return "unknown failure";
}

}  // namespace mirelth
