#include "server/preview_view.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "picture/bitmap.h"
#include "picture/filter.h"

namespace mirelth {
namespace {

// The pane's layout: the picture's area above the facts line, inside the margins.
struct Area {
  int32_t x, y, width, height, lineY;
};
Area AreaOf(int32_t paneWidth, int32_t paneHeight, int32_t lineHeight) {
  Area a;
  a.x = kPreviewMargin, a.y = kPreviewMargin;
  a.width = std::max(1, paneWidth - 2 * kPreviewMargin);
  a.height = std::max(1, paneHeight - 3 * kPreviewMargin - lineHeight);
  a.lineY = std::max(0, paneHeight - kPreviewMargin - lineHeight);
  return a;
}

bool Clear(int32_t paneWidth, int32_t paneHeight, uint32_t background, PreviewCanvas* canvas) {
  canvas->width = canvas->height = 0;
  canvas->pictureX = canvas->pictureY = canvas->pictureWidth = canvas->pictureHeight = 0;
  const size_t count = static_cast<size_t>(std::max(0, paneWidth)) * static_cast<size_t>(std::max(0, paneHeight));
  canvas->pixels.reset(new (std::nothrow) uint32_t[count ? count : 1]);
  if (!canvas->pixels) return false;
  canvas->width = std::max(0, paneWidth), canvas->height = std::max(0, paneHeight);
  std::fill(canvas->pixels.get(), canvas->pixels.get() + count, background | 0xFF000000u);
  return true;
}

uint32_t Gray(uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

}  // namespace

uint32_t OverCheckerboard(uint32_t pixel, int32_t x, int32_t y) {
  const uint32_t checker = ((x / kCheckerSquare + y / kCheckerSquare) & 1) ? kCheckerDark : kCheckerLight;
  const uint32_t a = pixel >> 24;
  if (a == 255) return pixel;
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t s = (pixel >> shift) & 0xFF, c = (checker >> shift) & 0xFF;
    out |= ((s * a + c * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

void FitToArea(int32_t w, int32_t h, int32_t areaWidth, int32_t areaHeight, int32_t* tw, int32_t* th) {
  w = std::max(1, w), h = std::max(1, h);
  areaWidth = std::max(1, areaWidth), areaHeight = std::max(1, areaHeight);
  const int64_t longer = std::max(w, h);
  // The longer side's edge: as large as the area allows across both sides, at most twice the level.
  int64_t edge = std::min<int64_t>(2 * longer, w >= h ? areaWidth : areaHeight);
  const int64_t across = w >= h ? int64_t{areaHeight} * w / h : int64_t{areaWidth} * h / w;
  edge = std::max<int64_t>(1, std::min(edge, across));
  for (;; --edge) {
    ThumbnailSize(w, h, static_cast<uint32_t>(edge), tw, th);
    if ((*tw <= areaWidth && *th <= areaHeight) || edge == 1) break;
  }
}

bool ApplyPreviewKey(uint32_t key, int32_t levels, uint32_t surfaces, PreviewState* state) {
  const auto channel = [&](PreviewChannel c) {
    state->channel = state->channel == c ? PreviewChannel::kColour : c;
    return true;
  };
  switch (key >= 'a' && key <= 'z' ? key - 32 : key) {
    case 'A': return channel(PreviewChannel::kAlpha);
    case 'R': return channel(PreviewChannel::kRed);
    case 'G': return channel(PreviewChannel::kGreen);
    case 'B': return channel(PreviewChannel::kBlue);
    case 'M': state->level = std::min(state->level + 1, std::max(1, levels) - 1); return true;
    case 'N': state->level = std::max(state->level - 1, 0); return true;
    case 'F': state->surface = surfaces > 1 ? (state->surface + 1) % surfaces : 0; return true;
    default: return false;
  }
}

bool RenderBlank(int32_t paneWidth, int32_t paneHeight, int32_t lineHeight, uint32_t background,
                 PreviewCanvas* canvas) {
  canvas->lineY = AreaOf(paneWidth, paneHeight, lineHeight).lineY;
  return Clear(paneWidth, paneHeight, background, canvas);
}

bool RenderPreview(Picture& picture, const PreviewState& state, int32_t paneWidth, int32_t paneHeight,
                   int32_t lineHeight, uint32_t background, PreviewCanvas* canvas, DecodeFailure* failure) {
  if (!RenderBlank(paneWidth, paneHeight, lineHeight, background, canvas)) {
    return Fail(failure, FailureKind::OutOfMemory, "no memory for a %d x %d pane", paneWidth, paneHeight);
  }
  if (paneWidth <= 0 || paneHeight <= 0) return true;
  const Area area = AreaOf(paneWidth, paneHeight, lineHeight);
  const int32_t level = std::clamp(state.level, 0, std::max(1, picture.levelCount()) - 1);
  int32_t lw = 0, lh = 0, tw = 0, th = 0;
  picture.levelSize(level, &lw, &lh);
  FitToArea(lw, lh, area.width, area.height, &tw, &th);
  // Level 0 by the thumbnail rule (the smallest level that still covers the fitted size: what is read is what is
  // shown); a level asked for by name is drawn from that level.
  HBITMAP drawn = nullptr;
  if (!(level == 0 ? picture.DrawThumbnail(tw, th, false, &drawn, failure)
                   : picture.DrawLevel(level, tw, th, &drawn, failure))) {
    return false;
  }
  const UniqueBitmap bitmap(drawn);
  BitmapPixels pixels{};
  if (!GetBitmapPixels(bitmap.get(), &pixels)) return Fail(failure, FailureKind::OutOfMemory, "no drawn bitmap");
  canvas->pictureWidth = std::min(pixels.width, paneWidth);
  canvas->pictureHeight = std::min(pixels.height, paneHeight);
  canvas->pictureX = area.x + std::max(0, (area.width - pixels.width) / 2);
  canvas->pictureY = area.y + std::max(0, (area.height - pixels.height) / 2);
  for (int32_t y = 0; y < pixels.height; ++y) {
    const int32_t cy = canvas->pictureY + y;
    if (cy >= canvas->height) break;
    // The bitmap is bottom-up.
    const auto* row =
        reinterpret_cast<const uint32_t*>(pixels.bits) + static_cast<size_t>(pixels.height - 1 - y) * pixels.width;
    uint32_t* out = canvas->pixels.get() + static_cast<size_t>(cy) * canvas->width;
    for (int32_t x = 0; x < pixels.width; ++x) {
      const int32_t cx = canvas->pictureX + x;
      if (cx >= canvas->width) break;
      const uint32_t p = row[x];
      switch (state.channel) {
        case PreviewChannel::kColour: out[cx] = OverCheckerboard(p, x, y); break;
        case PreviewChannel::kAlpha: out[cx] = Gray(p >> 24); break;
        case PreviewChannel::kRed: out[cx] = Gray((p >> 16) & 0xFF); break;
        case PreviewChannel::kGreen: out[cx] = Gray((p >> 8) & 0xFF); break;
        case PreviewChannel::kBlue: out[cx] = Gray(p & 0xFF); break;
      }
    }
  }
  return true;
}

void PreviewFactsLine(const Facts& facts, const PreviewState& state, int32_t levels, uint32_t surfaces,
                      int32_t levelWidth, int32_t levelHeight, TextBuffer* out) {
  TextBuffer& line = *out;
  line.Clear();
  WriteFactsSummary(facts, &line);
  // What is shown, when it is not level 0 of the first surface in colour.
  const char* separator = " | ";
  if (state.level > 0) {
    line.Printf("%slevel %d of %d: %d x %d", separator, state.level, levels, levelWidth, levelHeight);
    separator = ", ";
  }
  if (surfaces > 1) {
    if (facts.faces > 1 && facts.layers > 1) {
      line.Printf("%slayer %u of %u, face %u of %u", separator, state.surface / facts.faces + 1, facts.layers,
                  state.surface % facts.faces + 1, facts.faces);
    } else {
      line.Printf("%s%s %u of %u", separator, facts.faces > 1 ? "face" : "layer", state.surface + 1, surfaces);
    }
    separator = ", ";
  }
  static constexpr const char* kChannels[] = {nullptr, "alpha", "red channel", "green channel", "blue channel"};
  if (state.channel != PreviewChannel::kColour)
    line.Printf("%s%s", separator, kChannels[static_cast<int>(state.channel)]);
  return;
}

}  // namespace mirelth
