// The block-image walk shared by every block encoding, for any block size the table gives, and the channel
// pass that may follow it.
#include <cstring>

#include "encodings/blocks/blocks.h"
#include "encodings/convert.h"
#include "encodings/encoding.h"

namespace mirelth {

BlockContext ContextOf(const Encoding& encoding, const void* codebook) {
  return {encoding.blockWidth, encoding.blockHeight, codebook};
}

void DecodeBlockImage(uint8_t* destination, intptr_t destinationPitch, const uint8_t* source, intptr_t sourcePitch,
                      int32_t width, int32_t height, bool flip, const Encoding& encoding, const void* codebook) {
  if (width <= 0 || height <= 0) return;
  const int32_t bw = encoding.blockWidth, bh = encoding.blockHeight, blockBytes = encoding.blockBytes;
  const BlockDecoder decodeBlock = encoding.decodeBlock;
  const BlockContext context = ContextOf(encoding, codebook);
  alignas(16) uint32_t scratch[kMaxBlockWidth * kMaxBlockHeight];
  const intptr_t scratchPitch = 4 * bw;
  const int32_t fullCols = width / bw, partCols = width - bw * fullCols;
  const int32_t blockRows = (height + bh - 1) / bh;
  const int32_t blocksPerRow = fullCols + (partCols > 0 ? 1 : 0);
  if (sourcePitch == 0) sourcePitch = static_cast<intptr_t>(blocksPerRow) * blockBytes;
  const RowWalk walk = StartRowWalk(destination, destinationPitch, height, flip);
  const intptr_t step = walk.step;

  for (int32_t by = 0; by < blockRows; ++by) {
    uint8_t* row = walk.first + static_cast<intptr_t>(by) * bh * step;
    const uint8_t* block = source + static_cast<intptr_t>(by) * sourcePitch;
    const int32_t rows = by * bh + bh <= height ? bh : height - by * bh;
    const bool fullRow = rows == bh;
    int32_t bx = 0;
    if (encoding.decodeBlockRun && fullRow && fullCols > 0) {
      encoding.decodeBlockRun(row, step, block, fullCols, context);
      bx = fullCols;
      block += static_cast<intptr_t>(fullCols) * blockBytes;
    }
    for (; bx < blocksPerRow; ++bx, block += blockBytes) {
      uint8_t* out = row + 4 * static_cast<intptr_t>(bx) * bw;
      const int32_t cols = bx < fullCols ? bw : partCols;
      if (fullRow && cols == bw) {
        decodeBlock(out, step, block, context);
        continue;
      }
      auto* tile = reinterpret_cast<uint8_t*>(scratch);
      decodeBlock(tile, scratchPitch, block, context);
      for (int32_t r = 0; r < rows; ++r)
        std::memcpy(out + r * step, tile + r * scratchPitch, 4 * static_cast<size_t>(cols));
    }
  }
}

void ConvertFromBlocks(const ConvertJob& job) {
  const Encoding* e = EncodingOf(job.format);
  if (!e || e->walk != Walk::kBlocks) return;
  DecodeBlockImage(job.destination, job.destinationPitch, job.source, job.sourcePitch, job.width, job.height, job.flip,
                   *e, job.codebook);
  if (e->usesOrder) {
    ReorderChannels(job.destination, job.destinationPitch, job.width, job.height, job.sourceOrder, ChannelOrder::BGRA);
  }
}

void ReorderChannels(uint8_t* destination, intptr_t destinationPitch, int32_t width, int32_t height,
                     ChannelOrder sourceOrder, ChannelOrder destinationOrder) {
  if (sourceOrder == destinationOrder || !IsChannelOrder(sourceOrder) || !IsChannelOrder(destinationOrder)) return;
  const ChannelPositions from = PositionsOf(sourceOrder);
  const ChannelPositions to = PositionsOf(destinationOrder);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = destination + static_cast<intptr_t>(y) * destinationPitch;
    for (int32_t x = 0; x < width; ++x, pixel += 4) {
      const uint8_t r = pixel[from.r], g = pixel[from.g], b = pixel[from.b], a = pixel[from.a];
      pixel[to.r] = r;
      pixel[to.g] = g;
      pixel[to.b] = b;
      pixel[to.a] = a;
    }
  }
}

}  // namespace mirelth
