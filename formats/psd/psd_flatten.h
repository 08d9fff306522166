// Flattening: the picture of a layered document whose image data is not a real composite. The visible layers
// are composited bottom first onto a transparent canvas, a row at a time and only at the sampled columns: each
// layer's channel rows are read where the row crosses the layer (its own rectangle, its mask's rectangle), so a
// thumbnail reads only the layer rows under its samples.
#pragma once

#include <cstdint>

#include "formats/psd/psd.h"
#include "formats/psd/psd_planes.h"
#include "picture/filter.h"

namespace mirelth {

class FlattenRows final : public RowSource {
 public:
  FlattenRows(ByteSource& source, const PsdDocument& document);
  ~FlattenRows() override;
  FlattenRows(const FlattenRows&) = delete;
  FlattenRows& operator=(const FlattenRows&) = delete;

  // Plans the compositing (visibility, groups, clipping) and proves every drawn channel's data lies in its record.
  [[nodiscard]] bool Layout(DecodeFailure* failure);
  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override;
  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override;

  struct Plan;

 private:
  ByteSource* source_;
  const PsdDocument* document_;
  Plan* plan_ = nullptr;
};

// The blend of one colour channel (values 0..1) for the separable modes, by blend key; exposed for tests.
float BlendChannel(uint32_t blendKey, float backdrop, float source);

}  // namespace mirelth
