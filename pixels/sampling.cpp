// The sampled thumbnail path for containers whose level 0 is a plain or block image: only the sampled rows
// are visited; a plain row's sampled pixels are gathered and converted by the same converter the full path
// uses; a block row's needed blocks are decoded once for all the thumbnail rows that fall in it.
#include "pixels/sampling.h"

#include <cstring>

#include "pixels/blocks.h"
#include "pixels/convert.h"

namespace mirelth {

void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight) {
  const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 1;
  const uint64_t h = height > 0 ? static_cast<uint64_t>(height) : 1;
  const uint64_t longer = w >= h ? w : h, shorter = w >= h ? h : w;
  uint64_t scaled = (2 * uint64_t{cx} * shorter + longer) / (2 * longer);  // rounded to nearest
  if (scaled < 1) scaled = 1;
  *thumbWidth = static_cast<int32_t>(w >= h ? cx : scaled);
  *thumbHeight = static_cast<int32_t>(w >= h ? scaled : cx);
}

bool MakeSampleGrid(int32_t imageWidth, int32_t imageHeight, uint32_t cx, SampleGrid* grid) {
  grid->imageWidth = imageWidth;
  grid->imageHeight = imageHeight;
  ThumbnailSize(imageWidth, imageHeight, cx, &grid->width, &grid->height);
  grid->columns = Scratch<int32_t>(static_cast<size_t>(grid->width));
  grid->rows = Scratch<int32_t>(static_cast<size_t>(grid->height));
  if (!grid->columns || !grid->rows) return false;
  for (int32_t x = 0; x < grid->width; ++x) grid->columns[x] = NearestSource(x, grid->width, imageWidth);
  for (int32_t y = 0; y < grid->height; ++y) grid->rows[y] = NearestSource(y, grid->height, imageHeight);
  return true;
}

void StretchNearest(const uint8_t* imageBits, int32_t imageWidth, int32_t imageHeight, uint8_t* thumbBits,
                    int32_t thumbWidth, int32_t thumbHeight) {
  for (int32_t ty = 0; ty < thumbHeight; ++ty) {
    // Rows are bottom-up in both bitmaps; the mapping is on picture rows (top-down).
    const int32_t sy = NearestSource(ty, thumbHeight, imageHeight);
    const auto* in = reinterpret_cast<const uint32_t*>(imageBits) + static_cast<size_t>(imageHeight - 1 - sy) * imageWidth;
    auto* out = reinterpret_cast<uint32_t*>(thumbBits) + static_cast<size_t>(thumbHeight - 1 - ty) * thumbWidth;
    for (int32_t tx = 0; tx < thumbWidth; ++tx) out[tx] = in[NearestSource(tx, thumbWidth, imageWidth)];
  }
}

UniqueBitmap CreateThumbnailBitmap(const SampleGrid& grid, uint8_t** bits, DecodeFailure* failure) {
  BITMAPINFO info;
  FillBitmapInfo(&info, grid.width, grid.height);
  UniqueBitmap bitmap = CreateImageBitmap(info, bits);
  if (!bitmap) Fail(failure, FailureKind::OutOfMemory, "no %d x %d thumbnail bitmap", grid.width, grid.height);
  return bitmap;
}

bool SampleSourceImage(const SourceImage& image, bool mirrored, uint32_t cx, HBITMAP* bitmap, DecodeFailure* failure) {
  SampleGrid grid;
  if (!MakeSampleGrid(image.width, image.height, cx, &grid)) return Fail(failure, FailureKind::OutOfMemory, "no sample maps");
  uint8_t* bits = nullptr;
  UniqueBitmap result = CreateThumbnailBitmap(grid, &bits, failure);
  if (!result) return false;
  const int32_t thumbPitch = grid.width * 4;
  // Stored column of image column x, and stored row of image row y.
  auto storedColumn = [&](int32_t x) { return mirrored ? image.width - 1 - x : x; };
  auto storedRow = [&](int32_t y) { return image.flip ? y : image.height - 1 - y; };
  // Thumbnail row ty is bitmap memory row height - 1 - ty.
  auto outRow = [&](int32_t ty) { return bits + static_cast<size_t>(grid.height - 1 - ty) * thumbPitch; };

  if (IsBlockFormat(image.format)) {
    const BlockDecoder decode = BlockDecoderFor(image.format);
    const int32_t blockBytes = BlockBytes(image.format);
    const uint64_t blocksPerRow = (static_cast<uint64_t>(image.width) + 3) / 4;
    // The decoded blocks of one block row, one 4x4 slot per thumbnail column that needs it.
    Scratch<uint32_t> cache(static_cast<size_t>(grid.width) * 16);
    Scratch<int32_t> slotOf(static_cast<size_t>(grid.width));
    if (!cache || !slotOf) return Fail(failure, FailureKind::OutOfMemory, "no block cache");
    int32_t ty = 0;
    while (ty < grid.height) {
      const int32_t blockRow = storedRow(grid.rows[ty]) / 4;
      // Decode each needed block of this block row once (stored columns are monotonic, so repeats are adjacent).
      int32_t slots = 0, lastBlock = -1;
      for (int32_t tx = 0; tx < grid.width; ++tx) {
        const int32_t block = storedColumn(grid.columns[tx]) / 4;
        if (block != lastBlock) {
          const uint8_t* source = image.pixels + (static_cast<uint64_t>(blockRow) * blocksPerRow + block) * blockBytes;
          decode(reinterpret_cast<uint8_t*>(cache.get() + 16 * static_cast<size_t>(slots)), 16, source);
          lastBlock = block;
          ++slots;
        }
        slotOf[tx] = slots - 1;
      }
      // Every thumbnail row that falls in this block row.
      for (; ty < grid.height && storedRow(grid.rows[ty]) / 4 == blockRow; ++ty) {
        const int32_t within = storedRow(grid.rows[ty]) % 4;
        auto* out = reinterpret_cast<uint32_t*>(outRow(ty));
        for (int32_t tx = 0; tx < grid.width; ++tx) {
          out[tx] = cache[16 * static_cast<size_t>(slotOf[tx]) + 4 * within + storedColumn(grid.columns[tx]) % 4];
        }
        if (image.format != ETC1) ReorderChannels(outRow(ty), thumbPitch, grid.width, 1, image.order, BGRA);
      }
    }
  } else {
    // Gather the sampled pixels of each sampled row into one short row, then convert it like the full path.
    const int32_t bytesPerPixel = image.usePacked16 ? 2 : BitsPerPixel(image.format) / 8;
    if (bytesPerPixel == 0) return Fail(failure, FailureKind::Unsupported, "pixel format %d", image.format);
    Scratch<uint8_t> gathered(static_cast<size_t>(grid.width) * bytesPerPixel);
    if (!gathered) return Fail(failure, FailureKind::OutOfMemory, "no row buffer");
    const Converter convert = ConverterFor(image.format);
    for (int32_t ty = 0; ty < grid.height; ++ty) {
      const uint8_t* row = image.pixels + static_cast<uint64_t>(storedRow(grid.rows[ty])) * static_cast<uint64_t>(image.pitch);
      for (int32_t tx = 0; tx < grid.width; ++tx) {
        std::memcpy(gathered.get() + static_cast<size_t>(tx) * bytesPerPixel,
                    row + static_cast<uint64_t>(storedColumn(grid.columns[tx])) * bytesPerPixel, bytesPerPixel);
      }
      if (image.usePacked16) {
        ConvertPacked16Pixels(outRow(ty), thumbPitch, gathered.get(), thumbPitch, image.packed16, grid.width, 1, false);
      } else if (convert) {
        convert(outRow(ty), thumbPitch, BGRA, gathered.get(), thumbPitch, image.order, grid.width, 1, false);
      }
    }
  }
  *bitmap = result.release();
  return true;
}

}  // namespace mirelth
