// What the preview pane shows, apart from any window: the picture fitted to the pane (aspect kept, never more
// than twice its size), drawn by the same filtered rule as thumbnails at that size, over a light checkerboard
// where it is transparent, and one line of facts under it. Keys choose what is shown: A the alpha channel or the
// checkerboard, R, G and B one colour channel, M and N the next smaller or larger mip level, F the next face or
// array layer.
#pragma once

#include <cstdint>
#include <memory>

#include "io/buffers.h"

#include "io/failure.h"
#include "picture/facts.h"
#include "picture/picture.h"

namespace mirelth {

enum class PreviewChannel : uint8_t { kColour, kAlpha, kRed, kGreen, kBlue };

struct PreviewState {
  PreviewChannel channel = PreviewChannel::kColour;
  int32_t level = 0;
  uint32_t surface = 0;  // face or layer (layer-major), as OpenOptions::surface
};

// The pane's pixels: top row first, 0xAARRGGBB.
struct PreviewCanvas {
  int32_t width = 0, height = 0;
  std::unique_ptr<uint32_t[]> pixels;
  // Where the picture lies in the canvas (its drawn size) and where the facts line goes.
  int32_t pictureX = 0, pictureY = 0, pictureWidth = 0, pictureHeight = 0;
  int32_t lineY = 0;
};

inline constexpr int32_t kPreviewMargin = 8;
inline constexpr int32_t kCheckerSquare = 8;
inline constexpr uint32_t kCheckerLight = 0xFFFFFFFF, kCheckerDark = 0xFFCCCCCC;

// A straight-alpha pixel (x, y) of the picture over the checkerboard square it lies on (opaque pixels as they are).
uint32_t OverCheckerboard(uint32_t pixel, int32_t x, int32_t y);

// The drawn size of a w x h level in an area: the largest ThumbnailSize edge that fits it, at most twice the
// level's longer side; at least 1 x 1.
void FitToArea(int32_t w, int32_t h, int32_t areaWidth, int32_t areaHeight, int32_t* tw, int32_t* th);

// What a key does: true when the pane uses it (the state changed or stays as asked), false for keys it leaves to
// the host. `levels` and `surfaces` are what the picture has.
bool ApplyPreviewKey(uint32_t key, int32_t levels, uint32_t surfaces, PreviewState* state);

// Renders the pane: background, the picture of `state` fitted above a facts line `lineHeight` high (level 0 by the
// thumbnail rule, so that it reads only what it shows).
[[nodiscard]] bool RenderPreview(Picture& picture, const PreviewState& state, int32_t paneWidth, int32_t paneHeight,
                                 int32_t lineHeight, uint32_t background, PreviewCanvas* canvas,
                                 DecodeFailure* failure);
// A pane that shows no picture (a refused file): the background alone, the line where it would be; false when
// there is no memory for it.
bool RenderBlank(int32_t paneWidth, int32_t paneHeight, int32_t lineHeight, uint32_t background, PreviewCanvas* canvas);

// The facts line: "BC7_UNORM_SRGB 2048 x 2048, 12 levels, premultiplied", then what is shown when it is not
// the default ("level 3 of 12: 256 x 256", "face 2 of 6", "red channel", "alpha").
void PreviewFactsLine(const Facts& facts, const PreviewState& state, int32_t levels, uint32_t surfaces,
                      int32_t levelWidth, int32_t levelHeight, TextBuffer* line);

}  // namespace mirelth
