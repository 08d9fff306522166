#include "formats/ktx/basis_etc1s.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "encodings/blocks/blocks.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

constexpr uint32_t kGlobalHeaderBytes = 20, kImageDescBytes = 20;
constexpr uint32_t kMaxHuffmanSymbols = 16383, kMaxCodeLength = 16;
constexpr uint32_t kFlagPFrame = 2;

bool Corrupt(DecodeFailure* failure, const char* what) {
  return Fail(failure, FailureKind::InvalidHeader, "corrupt BasisLZ data (%s)", what);
}

// Bits least significant first, as the streams are written; past the end reads zeros and marks the reader.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Bits(uint32_t n) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i) v |= Bit() << i;
    return v;
  }
  uint32_t Bit() {
    if ((position_ >> 3) >= size_) {
      overrun_ = true;
      return 0;
    }
    const uint32_t bit = (data_[position_ >> 3] >> (position_ & 7)) & 1;
    ++position_;
    return bit;
  }
  bool overrun() const { return overrun_; }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
  bool overrun_ = false;
};

// A canonical Huffman code (as Deflate builds it from code lengths), decoded a bit at a time, codes most
// significant bit first.
class Huffman {
 public:
  bool Build(const uint8_t* lengths, uint32_t count) {
    std::fill(std::begin(counts_), std::end(counts_), 0);
    for (uint32_t s = 0; s < count; ++s) ++counts_[lengths[s]];
    counts_[0] = 0;
    int32_t left = 1;  // codes not yet used, over-subscription refused
    for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
      left = (left << 1) - counts_[len];
      if (left < 0) return false;
    }
    uint32_t offsets[kMaxCodeLength + 2] = {};
    for (uint32_t len = 1; len <= kMaxCodeLength; ++len) offsets[len + 1] = offsets[len] + counts_[len];
    symbols_.reset(new (std::nothrow) uint16_t[count ? count : 1]);
    if (!symbols_) return false;
    used_ = 0;
    for (uint32_t s = 0; s < count; ++s) {
      if (lengths[s]) symbols_[offsets[lengths[s]]++] = static_cast<uint16_t>(s), ++used_;
    }
    symbolCount_ = count;
    return used_ > 0;
  }
  // The next symbol, or -1 when no code matches.
  int32_t Decode(BitReader& in) const {
    int32_t code = 0, first = 0, index = 0;
    for (uint32_t len = 1; len <= kMaxCodeLength; ++len) {
      code |= static_cast<int32_t>(in.Bit());
      const int32_t count = counts_[len];
      if (code - count < first) return symbols_[index + (code - first)];
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }
  uint32_t symbolCount() const { return symbolCount_; }

 private:
  uint16_t counts_[kMaxCodeLength + 1] = {};
  std::unique_ptr<uint16_t[]> symbols_;
  uint32_t symbolCount_ = 0, used_ = 0;
};

// A compressed Huffman table: its used symbol count, the code lengths of the code-length code (in a fixed order),
// then the code lengths, run-length coded as Deflate does.
bool ReadHuffman(BitReader& in, Huffman* table, DecodeFailure* failure) {
  static constexpr uint8_t kOrder[21] = {17, 18, 19, 20, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15, 16};
  const uint32_t total = in.Bits(14), codes = in.Bits(5);
  if (total < 1 || total > kMaxHuffmanSymbols || codes < 1 || codes > 21) {
    return Corrupt(failure, "a Huffman table header");
  }
  uint8_t lengthOfLength[21] = {};
  for (uint32_t i = 0; i < codes; ++i) lengthOfLength[kOrder[i]] = static_cast<uint8_t>(in.Bits(3));
  Huffman lengthCode;
  if (!lengthCode.Build(lengthOfLength, 21)) return Corrupt(failure, "a Huffman code-length code");
  std::unique_ptr<uint8_t[]> lengths(new (std::nothrow) uint8_t[total]());
  if (!lengths) return Fail(failure, FailureKind::OutOfMemory, "no memory for a Huffman table");
  for (uint32_t at = 0; at < total;) {
    const int32_t symbol = lengthCode.Decode(in);
    if (symbol < 0 || in.overrun()) return Corrupt(failure, "Huffman code lengths");
    uint32_t run = 1, value = 0;
    if (symbol <= 16) {
      value = static_cast<uint32_t>(symbol);
    } else if (symbol == 17) {
      run = 3 + in.Bits(3);
    } else if (symbol == 18) {
      run = 11 + in.Bits(7);
    } else {
      if (at == 0 || lengths[at - 1] == 0) return Corrupt(failure, "a repeat of no code length");
      value = lengths[at - 1];
      run = symbol == 19 ? 3 + in.Bits(2) : 7 + in.Bits(7);
    }
    if (run > total - at) return Corrupt(failure, "Huffman code lengths past the table");
    std::memset(lengths.get() + at, static_cast<int>(value), run);
    at += run;
  }
  if (in.overrun() || !table->Build(lengths.get(), total)) return Corrupt(failure, "a Huffman table");
  return true;
}

struct Endpoint {
  uint8_t r, g, b, inten;
};

// The approximate move-to-front list of recently used selectors.
class SelectorHistory {
 public:
  bool Init(uint32_t size) {
    values_.reset(new (std::nothrow) uint32_t[size ? size : 1]());
    size_ = size;
    rover_ = size / 2;
    return values_ != nullptr;
  }
  uint32_t size() const { return size_; }
  uint32_t operator[](uint32_t i) const { return values_[i]; }
  void Add(uint32_t value) {
    if (!size_) return;
    values_[rover_++] = value;
    if (rover_ == size_) rover_ = size_ / 2;
  }
  void Use(uint32_t i) {
    if (i) std::swap(values_[i / 2], values_[i]);
  }

 private:
  std::unique_ptr<uint32_t[]> values_;
  uint32_t size_ = 0, rover_ = 0;
};

uint32_t Vlc(BitReader& in, uint32_t chunk) {
  const uint32_t more = 1u << (chunk - 1), mask = more - 1;
  uint32_t v = 0;
  for (uint32_t shift = 0; shift < 32; shift += chunk - 1) {
    const uint32_t s = in.Bits(chunk);
    v |= (s & mask) << shift;
    if (!(s & more)) break;
  }
  return v;
}

}  // namespace

struct Etc1sGlobal {
  uint32_t endpointCount = 0, selectorCount = 0, imageCount = 0;
  std::unique_ptr<Endpoint[]> endpoints;
  std::unique_ptr<uint32_t[]> selectors;  // four rows of four 2-bit selectors, row 0 in the low byte
  struct Image {
    uint32_t flags, rgbOffset, rgbLength, alphaOffset, alphaLength;
  };
  std::unique_ptr<Image[]> images;
  Huffman endpointPred, endpointDelta, selector, selectorRunLength;
  uint32_t historySize = 0;
  bool alpha = false;
};

void Etc1sGlobalDeleter::operator()(Etc1sGlobal* global) const { delete global; }

uint32_t Etc1sEndpointCount(const Etc1sGlobal& global) { return global.endpointCount; }
uint32_t Etc1sSelectorCount(const Etc1sGlobal& global) { return global.selectorCount; }
bool Etc1sHasAlpha(const Etc1sGlobal& global) { return global.alpha; }

bool ReadEtc1sGlobal(ByteSource& source, uint64_t offset, uint64_t length, uint32_t imageCount, Etc1sGlobalPtr* out,
                     DecodeFailure* failure) {
  if (!source.Has(offset, length) || length < kGlobalHeaderBytes) {
    return FailTruncated(failure, source.size(), offset + std::max<uint64_t>(length, kGlobalHeaderBytes),
                         "the BasisLZ global data");
  }
  if (length > kMaxInflatedBytes)
    return Fail(failure, FailureKind::TooLarge, "BasisLZ global data of %llu bytes",
                static_cast<unsigned long long>(length));
  ByteBuffer buffer;
  const uint8_t* data = source.View(offset, static_cast<size_t>(length), &buffer, failure);
  if (!data) return false;
  Etc1sGlobalPtr g(new (std::nothrow) Etc1sGlobal);
  if (!g) return Fail(failure, FailureKind::OutOfMemory, "no BasisLZ state");
  g->endpointCount = ByteReader::U16LENoBoundsCheck(data);
  g->selectorCount = ByteReader::U16LENoBoundsCheck(data + 2);
  const uint64_t endpointBytes = ByteReader::U32LENoBoundsCheck(data + 4),
                 selectorBytes = ByteReader::U32LENoBoundsCheck(data + 8),
                 tableBytes = ByteReader::U32LENoBoundsCheck(data + 12),
                 extendedBytes = ByteReader::U32LENoBoundsCheck(data + 16);
  g->imageCount = imageCount;
  const uint64_t descriptions = uint64_t{kImageDescBytes} * imageCount;
  const uint64_t need = kGlobalHeaderBytes + descriptions + endpointBytes + selectorBytes + tableBytes + extendedBytes;
  if (need > length) {
    return Fail(failure, FailureKind::InvalidHeader, "BasisLZ global data of %llu bytes where its sections need %llu",
                static_cast<unsigned long long>(length), static_cast<unsigned long long>(need));
  }
  if (g->endpointCount == 0 || g->selectorCount == 0) return Corrupt(failure, "an empty codebook");
  g->images.reset(new (std::nothrow) Etc1sGlobal::Image[imageCount ? imageCount : 1]);
  g->endpoints.reset(new (std::nothrow) Endpoint[g->endpointCount]);
  g->selectors.reset(new (std::nothrow) uint32_t[g->selectorCount]);
  if (!g->images || !g->endpoints || !g->selectors) return Fail(failure, FailureKind::OutOfMemory, "no codebooks");
  const uint8_t* at = data + kGlobalHeaderBytes;
  for (uint32_t i = 0; i < imageCount; ++i, at += kImageDescBytes) {
    Etc1sGlobal::Image& image = g->images[i];
    image.flags = ByteReader::U32LENoBoundsCheck(at);
    image.rgbOffset = ByteReader::U32LENoBoundsCheck(at + 4);
    image.rgbLength = ByteReader::U32LENoBoundsCheck(at + 8);
    image.alphaOffset = ByteReader::U32LENoBoundsCheck(at + 12);
    image.alphaLength = ByteReader::U32LENoBoundsCheck(at + 16);
    if (image.alphaLength) g->alpha = true;
  }

  // Endpoints: intensity and colour deltas from the previous entry, Huffman coded by the previous value's range.
  {
    BitReader in(at, static_cast<size_t>(endpointBytes));
    Huffman colour[3], inten;
    for (Huffman& model : colour) {
      if (!ReadHuffman(in, &model, failure)) return false;
    }
    if (!ReadHuffman(in, &inten, failure)) return false;
    const bool gray = in.Bit();
    uint32_t previous[3] = {16, 16, 16}, previousInten = 0;
    for (uint32_t i = 0; i < g->endpointCount; ++i) {
      const int32_t dInten = inten.Decode(in);
      if (dInten < 0) return Corrupt(failure, "an endpoint intensity");
      previousInten = (previousInten + static_cast<uint32_t>(dInten)) & 7;
      for (int c = 0; c < (gray ? 1 : 3); ++c) {
        const Huffman& model = colour[previous[c] <= 9 ? 0 : previous[c] <= 21 ? 1 : 2];
        const int32_t delta = model.Decode(in);
        if (delta < 0) return Corrupt(failure, "an endpoint colour");
        previous[c] = (previous[c] + static_cast<uint32_t>(delta)) & 31;
      }
      if (gray) previous[1] = previous[2] = previous[0];
      g->endpoints[i] = {static_cast<uint8_t>(previous[0]), static_cast<uint8_t>(previous[1]),
                         static_cast<uint8_t>(previous[2]), static_cast<uint8_t>(previousInten)};
      if (in.overrun()) return Corrupt(failure, "endpoints past their section");
    }
    at += endpointBytes;
  }
  // Selectors: raw, or the first raw and every other one XOR-coded against the one before.
  {
    BitReader in(at, static_cast<size_t>(selectorBytes));
    if (in.Bits(2) != 0) return Corrupt(failure, "reserved selector bits");
    const bool raw = in.Bit();
    Huffman delta;
    if (!raw && !ReadHuffman(in, &delta, failure)) return false;
    for (uint32_t i = 0; i < g->selectorCount; ++i) {
      uint32_t rows = 0;
      for (int j = 0; j < 4; ++j) {
        uint32_t byte;
        if (raw || i == 0) {
          byte = in.Bits(8);
        } else {
          const int32_t d = delta.Decode(in);
          if (d < 0 || d > 255) return Corrupt(failure, "a selector");
          byte = static_cast<uint32_t>(d) ^ ((g->selectors[i - 1] >> (8 * j)) & 0xFF);
        }
        rows |= byte << (8 * j);
      }
      g->selectors[i] = rows;
      if (in.overrun()) return Corrupt(failure, "selectors past their section");
    }
    at += selectorBytes;
  }
  // The slices' Huffman tables and the selector history size.
  {
    BitReader in(at, static_cast<size_t>(tableBytes));
    if (!ReadHuffman(in, &g->endpointPred, failure) || !ReadHuffman(in, &g->endpointDelta, failure) ||
        !ReadHuffman(in, &g->selector, failure) || !ReadHuffman(in, &g->selectorRunLength, failure)) {
      return false;
    }
    g->historySize = in.Bits(13);
    if (in.overrun()) return Corrupt(failure, "slice tables past their section");
  }
  *out = std::move(g);
  return true;
}

bool DecodeEtc1sSlice(const Etc1sGlobal& g, const uint8_t* data, size_t size, uint32_t blocksX, uint32_t blocksY,
                      uint8_t* blocks, DecodeFailure* failure) {
  constexpr uint32_t kPredSymbols = 4 * 4 * 4 * 4 + 1, kPredRepeat = kPredSymbols - 1, kPredMinRepeat = 3;
  constexpr uint32_t kRunThreshold = 3, kRunTotal = 64;
  const uint32_t historyFirst = g.selectorCount, historyRun = g.historySize + g.selectorCount;
  BitReader in(data, size);
  SelectorHistory history;
  std::unique_ptr<uint16_t[]> preds(new (std::nothrow) uint16_t[2 * size_t{blocksX} + 2]());
  std::unique_ptr<uint8_t[]> predBits(new (std::nothrow) uint8_t[(blocksX + 1) / 2 + 1]());
  if (!history.Init(g.historySize) || !preds || !predBits) {
    return Fail(failure, FailureKind::OutOfMemory, "no memory for a BasisLZ slice");
  }
  uint32_t runLeft = 0, bits = 0, previousSymbol = 0, repeat = 0, previousEndpoint = 0;
  for (uint32_t by = 0; by < blocksY; ++by) {
    uint16_t* row = preds.get() + (by & 1) * size_t{blocksX};
    const uint16_t* above = preds.get() + ((by & 1) ^ 1) * size_t{blocksX};
    for (uint32_t bx = 0; bx < blocksX; ++bx) {
      if ((bx & 1) == 0) {
        if ((by & 1) == 0) {
          if (repeat) {
            --repeat;
            bits = previousSymbol;
          } else {
            const int32_t symbol = g.endpointPred.Decode(in);
            if (symbol < 0 || static_cast<uint32_t>(symbol) >= kPredSymbols) {
              return Corrupt(failure, "an endpoint prediction");
            }
            if (static_cast<uint32_t>(symbol) == kPredRepeat) {
              repeat = Vlc(in, 5) + kPredMinRepeat - 1;
              bits = previousSymbol;
            } else {
              bits = previousSymbol = static_cast<uint32_t>(symbol);
            }
          }
          predBits[bx >> 1] = static_cast<uint8_t>(bits >> 4);
        } else {
          bits = predBits[bx >> 1];
        }
      }
      const uint32_t pred = bits & 3;
      bits >>= 2;
      uint32_t endpoint;
      if (pred == 0) {
        endpoint = previousEndpoint;
      } else if (pred == 1) {
        endpoint = above[bx];
      } else if (pred == 2) {
        endpoint = bx > 0 ? above[bx - 1] : 0;  // I-frames only: P-frames (video) are refused by the caller
      } else {
        const int32_t delta = g.endpointDelta.Decode(in);
        if (delta < 0) return Corrupt(failure, "an endpoint delta");
        endpoint = static_cast<uint32_t>(delta) + previousEndpoint;
        if (endpoint >= g.endpointCount) endpoint -= g.endpointCount;
      }
      if (endpoint >= g.endpointCount) return Corrupt(failure, "an endpoint index past the codebook");
      row[bx] = static_cast<uint16_t>(endpoint);
      previousEndpoint = endpoint;
      // The selector: a run of the history's first entry, a history entry, or a codebook index.
      uint32_t symbol;
      if (runLeft > 0) {
        --runLeft;
        symbol = historyFirst;
      } else {
        const int32_t s = g.selector.Decode(in);
        if (s < 0) return Corrupt(failure, "a selector symbol");
        symbol = static_cast<uint32_t>(s);
        if (symbol == historyRun) {
          const int32_t run = g.selectorRunLength.Decode(in);
          if (run < 0) return Corrupt(failure, "a selector run");
          runLeft = (static_cast<uint32_t>(run) == kRunTotal - 1 ? Vlc(in, 8) : static_cast<uint32_t>(run)) +
                    kRunThreshold - 1;
          symbol = historyFirst;
        }
      }
      uint32_t selector;
      if (symbol >= historyFirst) {
        const uint32_t index = symbol - historyFirst;
        if (index >= history.size()) return Corrupt(failure, "a selector history index past the history");
        selector = history[index];
        history.Use(index);
      } else {
        selector = symbol;
        history.Add(selector);
      }
      if (selector >= g.selectorCount) return Corrupt(failure, "a selector index past the codebook");
      if (in.overrun()) return Corrupt(failure, "a slice that ends before its blocks");

      // The ETC1 block: differential mode with a zero delta (one base colour), one table for both halves.
      const Endpoint& e = g.endpoints[endpoint];
      uint8_t* block = blocks + (size_t{by} * blocksX + bx) * 8;
      block[0] = static_cast<uint8_t>(e.r << 3), block[1] = static_cast<uint8_t>(e.g << 3);
      block[2] = static_cast<uint8_t>(e.b << 3);
      block[3] = static_cast<uint8_t>(e.inten << 5 | e.inten << 2 | 2);
      // Selectors 0..3 are ETC1 indices 3, 2, 0, 1 (modifiers -b, -a, +a, +b); pixels number down the columns.
      static constexpr uint8_t kIndex[4] = {3, 2, 0, 1};
      uint32_t msb = 0, lsb = 0;
      const uint32_t rows = g.selectors[selector];
      for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
          const uint32_t index = kIndex[(rows >> (8 * y + 2 * x)) & 3], k = 4 * x + y;
          msb |= (index >> 1) << k;
          lsb |= (index & 1) << k;
        }
      }
      block[4] = static_cast<uint8_t>(msb >> 8), block[5] = static_cast<uint8_t>(msb);
      block[6] = static_cast<uint8_t>(lsb >> 8), block[7] = static_cast<uint8_t>(lsb);
    }
  }
  return true;
}

namespace {

class Etc1sLevels final : public DerivedLevels {
 public:
  Etc1sLevels(ByteSource& source, Etc1sGlobalPtr global, const Etc1sImage* images, int32_t count)
      : source_(source), global_(std::move(global)), count_(std::min(count, kMaxLevels)) {
    for (int32_t i = 0; i < count_; ++i) images_[i] = images[i];
  }

  bool Derive(int32_t index, ByteSource** bytes, DecodeFailure* failure) override {
    if (index < 0 || index >= count_) return Fail(failure, FailureKind::InvalidArgument, "no level %d", index);
    if (index != derived_ || !memory_) {
      derived_ = -1;
      memory_.reset();
      if (!Make(images_[index], failure)) return false;
      derived_ = index;
    }
    *bytes = memory_.get();
    return true;
  }

 private:
  // One slice's blocks, decoded in sequence.
  bool Slice(const Etc1sImage& image, uint32_t offset, uint32_t length, uint32_t bx, uint32_t by, uint8_t* blocks,
             DecodeFailure* failure) {
    if (uint64_t{offset} + length > image.levelLength) {
      return Fail(failure, FailureKind::InvalidHeader, "a BasisLZ slice past its level");
    }
    const uint8_t* data = source_.View(image.levelOffset + offset, length, &stored_, failure);
    return data && DecodeEtc1sSlice(*global_, data, length, bx, by, blocks, failure);
  }

  bool Make(const Etc1sImage& image, DecodeFailure* failure) {
    const Etc1sGlobal::Image& d = global_->images[image.index];
    if (d.flags & kFlagPFrame) return Fail(failure, FailureKind::Unsupported, "BasisLZ video (P-frames)");
    const uint32_t bx = (static_cast<uint32_t>(image.width) + 3) / 4,
                   by = (static_cast<uint32_t>(image.height) + 3) / 4;
    const uint64_t bytes = static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) * 4;
    if (bytes > kMaxInflatedBytes) {
      return Fail(failure, FailureKind::TooLarge, "a BasisLZ level of %llu bytes",
                  static_cast<unsigned long long>(bytes));
    }
    if (!Etc1sHasAlpha(*global_)) {
      // Colour alone: the level is drawn as the ETC1 blocks themselves, so a thumbnail decodes only the texels
      // under its samples.
      const size_t blockBytes = size_t{bx} * by * 8;
      uint8_t* blocks = pixels_.Reserve(blockBytes);
      if (!blocks) return Fail(failure, FailureKind::OutOfMemory, "no memory for a BasisLZ level");
      if (!Slice(image, d.rgbOffset, d.rgbLength, bx, by, blocks, failure)) return false;
      memory_.reset(new (std::nothrow) MemorySource(blocks, blockBytes));
      if (!memory_) return Fail(failure, FailureKind::OutOfMemory, "no memory source");
      return true;
    }
    std::unique_ptr<uint8_t[]> colour(new (std::nothrow) uint8_t[size_t{bx} * by * 8]),
        alpha(new (std::nothrow) uint8_t[d.alphaLength ? size_t{bx} * by * 8 : 1]);
    uint8_t* out = pixels_.Reserve(static_cast<size_t>(bytes ? bytes : 4));
    if (!colour || !alpha || !out) return Fail(failure, FailureKind::OutOfMemory, "no memory for a BasisLZ level");
    if (!Slice(image, d.rgbOffset, d.rgbLength, bx, by, colour.get(), failure)) return false;
    if (d.alphaLength && !Slice(image, d.alphaOffset, d.alphaLength, bx, by, alpha.get(), failure)) return false;
    // Each block's 4 x 4 pixels, cut to the level's size; alpha from the alpha slice's green.
    const BlockContext context{};
    uint32_t tile[16], alphaTile[16];
    for (uint32_t y = 0; y < by; ++y) {
      for (uint32_t x = 0; x < bx; ++x) {
        DecodeETC1Block(reinterpret_cast<uint8_t*>(tile), 16, colour.get() + (size_t{y} * bx + x) * 8, context);
        if (d.alphaLength) {
          DecodeETC1Block(reinterpret_cast<uint8_t*>(alphaTile), 16, alpha.get() + (size_t{y} * bx + x) * 8, context);
        }
        for (uint32_t ty = 0; ty < 4 && y * 4 + ty < static_cast<uint32_t>(image.height); ++ty) {
          for (uint32_t tx = 0; tx < 4 && x * 4 + tx < static_cast<uint32_t>(image.width); ++tx) {
            uint32_t p = tile[ty * 4 + tx];
            if (d.alphaLength) p = (p & 0x00FFFFFFu) | ((alphaTile[ty * 4 + tx] >> 8) & 0xFF) << 24;
            std::memcpy(out + ((size_t{y} * 4 + ty) * image.width + x * 4 + tx) * 4, &p, 4);
          }
        }
      }
    }
    memory_.reset(new (std::nothrow) MemorySource(out, bytes));
    if (!memory_) return Fail(failure, FailureKind::OutOfMemory, "no memory source");
    return true;
  }

  ByteSource& source_;
  Etc1sGlobalPtr global_;
  Etc1sImage images_[kMaxLevels];
  int32_t count_;
  int32_t derived_ = -1;
  ByteBuffer pixels_, stored_;
  std::unique_ptr<MemorySource> memory_;
};

}  // namespace

std::unique_ptr<DerivedLevels> MakeEtc1sLevels(ByteSource& source, Etc1sGlobalPtr global, const Etc1sImage* images,
                                               int32_t count) {
  return std::unique_ptr<DerivedLevels>(new (std::nothrow) Etc1sLevels(source, std::move(global), images, count));
}

}  // namespace mirelth
