#include "pixels/pvrtc.h"

#include "pixels/source_image.h"

namespace mirelth {

bool PvrtcSampler::Begin(const SourceImage&, const int32_t* columns, int32_t columnCount, DecodeFailure*) {
  columns_ = columns;
  columnCount_ = columnCount;
  return true;
}

bool PvrtcSampler::Row(const SourceImage&, int32_t, uint32_t*, DecodeFailure* failure) {
  return Fail(failure, FailureKind::Unsupported, "PVRTC");
}

void ConvertFromPvrtc(const ConvertJob&) {}

}  // namespace mirelth
