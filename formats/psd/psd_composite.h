// Internal to formats/psd: the pieces the composite and the flattened layers share.
#pragma once

#include <cstdint>

#include "formats/psd/psd.h"
#include "formats/psd/psd_planes.h"
#include "picture/filter.h"

namespace mirelth {

// What a colour mode decodes: its colour channels (lanes 0..colourChannels-1) and its alpha channel.
struct ModePlan {
  uint32_t colourChannels;
  int32_t alphaChannel;  // -1: none, always opaque
  bool srgbCurve;        // 32-bit colour samples are linear light
};
ModePlan PlanFor(uint16_t mode);

// One sample (1-bit: bit `bit` of the byte, 1 is black; 8; 16; 32-bit float, through the sRGB curve when
// `curve`) as a display byte.
uint8_t SampleToByte(const uint8_t* sample, uint32_t depth, uint32_t bit, bool curve);

// Picks the samples of chosen columns out of plane rows.
class SamplePicker {
 public:
  [[nodiscard]] bool Begin(const int32_t* columns, int32_t count, int32_t width, uint32_t depth,
                           DecodeFailure* failure);
  // Row `row` of the plane, each chosen column's sample as a byte in lane `lane` of `lanes` (4 bytes a column).
  [[nodiscard]] bool PickLane(PlaneReader& plane, uint64_t row, uint8_t* lanes, uint32_t lane, bool curve,
                              DecodeFailure* failure);
  // The same in two steps: the row's picked bytes (PickedBytes() of them), then their lane values.
  [[nodiscard]] bool PickBytes(PlaneReader& plane, uint64_t row, uint8_t* out, DecodeFailure* failure);
  void BytesToLane(const uint8_t* picked, uint8_t* lanes, uint32_t lane, bool curve) const;
  // The picked samples as stored values: 0..1 for integers (value / max), floats as they are.
  void BytesToValues(const uint8_t* picked, float* values) const;
  size_t PickedBytes() const { return pickCount_; }

 private:
  const int32_t* columns_ = nullptr;
  int32_t count_ = 0;
  uint32_t depth_ = 8, sampleBytes_ = 1;
  bool identity_ = false;  // every column, in order: whole rows
  size_t pickCount_ = 0;
  Scratch<uint64_t> positions_{0};
  Scratch<uint32_t> pickOf_{0};  // column -> its first picked byte
  Scratch<uint8_t> picked_{0};
};

// RGBA lanes to BGRA display values.
void LanesToBgra(const uint8_t* lanes, size_t count, uint32_t* out);

// The composite image's rows.
class CompositeRows final : public RowSource {
 public:
  CompositeRows(ByteSource& source, const PsdDocument& document) : source_(&source), document_(&document) {}
  // Proves the image data section's planes lie in the file.
  [[nodiscard]] bool Layout(DecodeFailure* failure);
  bool Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t rowCount,
             DecodeFailure* failure) override;
  bool Row(int32_t index, uint32_t* out, DecodeFailure* failure) override;

 private:
  static constexpr uint32_t kMaxPlanes = 5;
  ByteSource* source_;
  const PsdDocument* document_;
  ModePlan plan_{};
  uint32_t used_ = 0, colour_ = 0;
  bool hasAlpha_ = false;
  bool matted_ = false;  // colour stored matted with white: divided back out against alpha
  uint64_t rowBytes_ = 0;
  PlaneSpec specs_[kMaxPlanes];
  PlaneReader planes_[kMaxPlanes];
  // ZIP with several planes in one stream: one pass over the stream at Begin keeps the picked bytes of every
  // sampled row of every plane (when that fits in kMaxBufferedBytes), so nothing is inflated twice.
  static constexpr uint64_t kMaxBufferedBytes = uint64_t{256} << 20;
  bool buffered_ = false;
  Scratch<uint8_t> buffer_{0};
  int32_t rowCount_ = 0;
  SamplePicker picker_;
  const int32_t* rows_ = nullptr;
  int32_t columnCount_ = 0;
  Scratch<uint8_t> lanes_{0};
  Scratch<uint8_t> matteBytes_{0};  // one plane's picked bytes
  Scratch<float> alphaValues_{0}, colourValues_{0};
  [[nodiscard]] bool PlaneBytes(uint32_t plane, int32_t index, const uint8_t** bytes, DecodeFailure* failure);
  [[nodiscard]] bool MattedRow(int32_t index, DecodeFailure* failure);
};

}  // namespace mirelth
