// PVRTC I (2 and 4 bits a pixel): 64-bit words of two colours and modulation bits, stored in Morton (twiddled)
// order. A pixel blends the colours of the four words around it, so PVRTC has its own walk: the full decode
// and a sampler that reads only the words around the sampled pixels.
#pragma once

#include <cstdint>

#include "pixels/byte_source.h"
#include "pixels/convert.h"
#include "pixels/failure.h"
#include "pixels/sampling.h"

namespace mirelth {

struct SourceImage;

// The sampled path's rows of a PVRTC level.
class PvrtcSampler {
 public:
  [[nodiscard]] bool Begin(const SourceImage& image, const int32_t* columns, int32_t columnCount,
                           DecodeFailure* failure);
  // The pixels of stored row `row` at the columns given to Begin.
  [[nodiscard]] bool Row(const SourceImage& image, int32_t row, uint32_t* out, DecodeFailure* failure);

 private:
  const int32_t* columns_ = nullptr;
  int32_t columnCount_ = 0;
  ByteBuffer buffer_;
};

}  // namespace mirelth
