#include "formats/container.h"

namespace mirelth {

bool CheckPictureSize(int64_t width, int64_t height, const OpenOptions& options, DecodeFailure* failure) {
  if (width < 1 || height < 1) {
    return Fail(failure, FailureKind::InvalidHeader, "image size %lld x %lld", static_cast<long long>(width),
                static_cast<long long>(height));
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > options.maxPixels) {
    return Fail(failure, FailureKind::TooLarge, "%lld x %lld pixels", static_cast<long long>(width),
                static_cast<long long>(height));
  }
  return true;
}

}  // namespace mirelth
