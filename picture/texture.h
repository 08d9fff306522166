// A located level: where its bytes are, how they are encoded, its size and orientation. Containers fill one per
// level after proving it fits in the source; the full path converts it whole, the sampled path reads only the
// block rows, pixel rows and words that hold samples.
#pragma once

#include <cstdint>
#include <memory>

#include "encodings/described.h"
#include "encodings/pixel_format.h"
#include "io/byte_source.h"
#include "io/failure.h"
#include "picture/bitmap.h"
#include "picture/facts.h"
#include "picture/filter.h"
#include "picture/picture.h"

namespace mirelth {

struct SourceImage {
  ByteSource* source = nullptr;
  uint64_t offset = 0;  // first byte of the level (first block for block formats)
  uint64_t pitch = 0;   // bytes from one row of pixels (or of blocks) to the next
  uint64_t bytes = 0;   // bytes of the level
  PixelFormat format = PixelFormat::kNone;
  ChannelOrder order = ChannelOrder::BGRA;  // of the source, where the encoding has one
  PixelLayout layout;                       // PixelFormat::kDescribed
  const uint32_t* palette = nullptr;        // PixelFormat::PAL8: the chain's palette
  const void* codebook = nullptr;           // block encodings driven by codebooks: the file's (BlockContext)
  int32_t width = 0;
  int32_t height = 0;
  bool topDown = true;       // rows stored top first (the bitmap is bottom-up)
  bool rightToLeft = false;  // columns stored right to left
  AlphaRule alpha = AlphaRule::kStraight;
  // The level's drawn bytes come from the picture's DerivedLevels (offset and bytes then describe the stored,
  // say supercompressed, bytes in the file).
  bool derived = false;
  // The container says the blocks hold HDR values (ASTC HDR): drawn through the float path and the tone mapping.
  bool hdrBlocks = false;

  RowGeometry geometry() const { return {width, height, topDown, rightToLeft}; }
};

// Fills `bytes` and `pitch` of a level of `image`'s encoding at `width` x `height`; false when the encoding is
// unknown or the size does not fit in 64 bits.
bool SizeLevel(SourceImage* image);
// The same, failing with the level's size as the reason.
bool SizeLevel(SourceImage* image, DecodeFailure* failure);
// True when the image's bytes lie inside its source; else false with a truncation naming `what`.
bool CheckLevelFits(const SourceImage& image, const char* what, DecodeFailure* failure);
// The 2^28-pixel cap of full-size bitmaps.
bool CheckFullSize(int32_t width, int32_t height, DecodeFailure* failure);

// Decodes the whole level into a new bitmap of its size, upright. On failure no bitmap exists.
bool DecodeSourceImage(const SourceImage& image, HBITMAP* bitmap, BITMAPINFO* info, DecodeFailure* failure);

// Levels whose bytes are not in the file as they are drawn (a supercompressed level inflated, a transcoded one):
// a texture picture asks for a level's bytes when it draws that level, and keeps them while it lives. Only the
// level drawn is derived, so a thumbnail pays for its small level alone.
class DerivedLevels {
 public:
  virtual ~DerivedLevels() = default;
  // A source holding exactly the drawn bytes of chain level `index` (owned by this object, valid while it lives).
  [[nodiscard]] virtual bool Derive(int32_t index, ByteSource** bytes, DecodeFailure* failure) = 0;
};

// A texture: level 0 and the smaller levels that lie in the source.
inline constexpr int32_t kMaxLevels = 32;
struct LevelChain {
  SourceImage levels[kMaxLevels];
  int32_t count = 0;
  // The display colours of a PAL8 texture; its levels point here (a picture made of the chain points them at
  // its own copy).
  uint32_t palette[256] = {};
};

// A chain from its level 0 (sized and proved to lie in the source first) and the contiguous levels after it (see
// ExtendLevelChain); false with the reason when level 0 does not fit.
[[nodiscard]] bool ContiguousChain(const SourceImage& level0, uint32_t levelCount, uint64_t copies, uint32_t depth,
                                   LevelChain* chain, DecodeFailure* failure);
// Adds a level at an explicit offset (a level index, levels stored smallest first, ...): `width` x `height` of the
// chain's drawing, `stored` bytes at `offset` when the picture derives its drawn bytes (`derived`), else the
// level's own size, which must lie in the source. False (and the chain unchanged) when it does not fit or the
// chain is full.
[[nodiscard]] bool AddLevel(LevelChain* chain, const SourceImage& drawing, int32_t width, int32_t height,
                            uint64_t offset, bool derived, uint64_t stored);

// Adds the levels after level 0 (chain->levels[0], count 1) up to `levelCount` in all: level k is
// max(1, W >> k) x max(1, H >> k) and starts where level k - 1 ends, times `copies` x its depth max(1, D >> k)
// (surfaces, faces and slices stored before the next level). The chain stops at the first level that does not
// fit in the source and after the 1 x 1 level.
void ExtendLevelChain(LevelChain* chain, uint32_t levelCount, uint64_t copies, uint32_t depth);

// The smallest level whose width and height are both at least tw and th (level 0 otherwise).
const SourceImage& ChooseLevel(const LevelChain& chain, int32_t tw, int32_t th);

// The facts a texture's level 0 and chain say of it: size, levels, bits per pixel (stored for plain encodings,
// 32 decoded for block encodings), alpha (by the encoding, its layout and the alpha rule) and HDR. The container
// adds the encoding's name, faces, layers, depth and colour space.
void DescribeTexture(const LevelChain& chain, Facts* facts);

// A new picture of a texture chain (null when there is no memory); `derived` gives the bytes of levels marked
// derived.
PicturePtr MakeTexturePicture(const LevelChain& chain, std::unique_ptr<DerivedLevels> derived = nullptr);
// The same as a container's last step: the picture, or false with OutOfMemory.
[[nodiscard]] bool TexturePictureOf(const LevelChain& chain, PicturePtr* picture, DecodeFailure* failure,
                                    std::unique_ptr<DerivedLevels> derived = nullptr);

}  // namespace mirelth
