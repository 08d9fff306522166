// The block-image walk shared by every block converter, and the channel pass that may follow it.
#include <cstring>

#include "pixels/blocks.h"
#include "pixels/convert.h"

namespace mirelth {

void DecodeBlockImage(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t width,
                      int32_t height, bool flip, int32_t blockBytes, BlockDecoder decodeBlock) {
  if (width <= 0 || height <= 0) return;
  alignas(16) uint8_t scratch[64] = {};
  const int32_t fullCols = width / 4, partCols = width - 4 * fullCols;
  const int32_t fullRows = height / 4, partRows = height - 4 * fullRows;
  const RowWalk walk = StartRowWalk(destination, destinationPitch, height, flip);
  const intptr_t step = walk.step;
  uint8_t* row = walk.first;
  const uint8_t* block = source;

  for (int32_t by = 0; by < fullRows; ++by, row += 4 * step) {
    for (int32_t bx = 0; bx < fullCols; ++bx, block += blockBytes) decodeBlock(row + 16 * bx, step, block);
    if (partCols > 0) {
      decodeBlock(scratch, 16, block);
      block += blockBytes;
      uint8_t* out = row + 16 * fullCols;
      for (int r = 0; r < 4; ++r) std::memcpy(out + r * step, scratch + 16 * r, 4 * static_cast<size_t>(partCols));
    }
  }
  if (partRows > 0) {
    for (int32_t bx = 0; bx < fullCols; ++bx, block += blockBytes) {
      decodeBlock(scratch, 16, block);
      uint8_t* out = row + 16 * bx;
      for (int r = 0; r < partRows; ++r) std::memcpy(out + r * step, scratch + 16 * r, 16);
    }
    if (partCols > 0) {
      decodeBlock(scratch, 16, block);
      uint8_t* out = row + 16 * fullCols;
      for (int r = 0; r < partRows; ++r) std::memcpy(out + r * step, scratch + 16 * r, 4 * static_cast<size_t>(partCols));
    }
  }
}

BlockDecoder BlockDecoderFor(int32_t format) {
  switch (format) {
    case DXT1: return DecodeDXT1Block;
    case DXT3: return DecodeDXT3Block;
    case DXT5: return DecodeDXT5Block;
    case ATC: return DecodeATCBlock;
    case ATCA: return DecodeATCABlock;
    case ATCI: return DecodeATCIBlock;
    case ETC1: return DecodeETC1Block;
    default: return nullptr;
  }
}

void ReorderChannels(uint8_t* destination, int32_t destinationPitch, int32_t width, int32_t height,
                     int32_t sourceOrder, int32_t destinationOrder) {
  if (sourceOrder == destinationOrder || !IsChannelOrder(sourceOrder) || !IsChannelOrder(destinationOrder)) return;
  const ChannelPositions from = kChannelPositions[sourceOrder];
  const ChannelPositions to = kChannelPositions[destinationOrder];
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
