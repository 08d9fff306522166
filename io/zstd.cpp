#include "io/zstd.h"

#include <cstring>
#include <memory>
#include <new>

namespace mirelth {
namespace {

constexpr uint32_t kFrameMagic = 0xFD2FB528, kSkippableMagic = 0x184D2A50, kSkippableMask = 0xFFFFFFF0;
constexpr size_t kMaxBlockBytes = 128 * 1024;
constexpr uint32_t kMaxHuffmanBits = 11, kMaxLiteralSymbols = 256;
constexpr uint32_t kLiteralLengthCodes = 36, kMatchLengthCodes = 53, kOffsetCodes = 32;
constexpr uint32_t kMaxTableLog = 9;  // literal and match lengths; offsets 8; Huffman weights 6

bool Corrupt(DecodeFailure* failure, const char* what) {
  return Fail(failure, FailureKind::InvalidHeader, "corrupt Zstandard data (%s)", what);
}

uint32_t HighBit(uint32_t v) { return 31 - static_cast<uint32_t>(__builtin_clz(v)); }

uint64_t LoadLE(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}
// memcpy and memset of possibly zero bytes (an empty output may be a null pointer).
void Copy(uint8_t* to, const uint8_t* from, size_t n) {
  if (n) std::memcpy(to, from, n);
}
void Fill(uint8_t* to, uint8_t value, size_t n) {
  if (n) std::memset(to, value, n);
}

// Eight bytes as a little-endian number (both targets are little-endian).
uint64_t Load8(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// A forward bit stream, least significant bit first (FSE table descriptions).
struct ForwardBits {
  const uint8_t* data;
  size_t size;
  uint64_t bit = 0;                  // bits consumed
  uint32_t Peek(uint32_t n) const {  // n <= 32; past the end reads zeros
    const size_t byte = static_cast<size_t>(bit >> 3);
    if (byte >= size) return 0;
    const size_t avail = size - byte;
    const uint64_t v = LoadLE(data + byte, avail < 8 ? avail : 8) >> (bit & 7);
    return static_cast<uint32_t>(v & ((uint64_t{1} << n) - 1));
  }
  void Skip(uint32_t n) { bit += n; }
};

// A backward bit stream: written forward, read from its last bit down; the last byte's highest set bit marks the
// start. Reads past the beginning give zeros and leave `position` negative (an overflow the callers check).
struct BackwardBits {
  const uint8_t* data = nullptr;
  size_t size = 0;
  int64_t position = 0;  // bits still to read, from bit 0 of data[0]

  bool Init(const uint8_t* d, size_t n) {
    data = d, size = n;
    if (n == 0 || d[n - 1] == 0) return false;
    position = static_cast<int64_t>(n) * 8 - 8 + HighBit(d[n - 1]);
    return true;
  }
  // The `n` (<= 56) bits below position, without consuming them.
  uint64_t Peek(uint32_t n) const {
    if (n == 0) return 0;
    const int64_t low = position - n;
    if (low >= 0) {
      const size_t byte = static_cast<size_t>(low >> 3);
      const size_t avail = size - byte;
      const uint64_t v = (avail >= 8 ? Load8(data + byte) : LoadLE(data + byte, avail)) >> (low & 7);
      return v & ((uint64_t{1} << n) - 1);
    }
    if (position <= 0) return 0;
    // Fewer than n bits remain: they are the top of the value, zeros below.
    const uint64_t v = LoadLE(data, static_cast<size_t>((position + 7) >> 3)) & ((uint64_t{1} << position) - 1);
    return v << (-low);
  }
  uint64_t Read(uint32_t n) {
    const uint64_t v = Peek(n);
    position -= n;
    return v;
  }
  bool Overflowed() const { return position < 0; }
};

// FSE: normalised counts read from a table description, the decoding table built from them.
struct FseEntry {
  uint16_t base;  // next state before the read bits are added
  uint8_t symbol;
  uint8_t bits;
};
struct FseTable {
  FseEntry entries[1u << kMaxTableLog];
  uint32_t log = 0;
  bool valid = false;
};

bool BuildFse(const int16_t* norm, uint32_t symbols, uint32_t log, FseTable* table, DecodeFailure* failure) {
  const uint32_t size = 1u << log;
  uint32_t high = size - 1;
  uint16_t next[256];
  for (uint32_t s = 0; s < symbols; ++s) {
    if (norm[s] == -1) {
      table->entries[high--].symbol = static_cast<uint8_t>(s);
      next[s] = 1;
    } else {
      next[s] = static_cast<uint16_t>(norm[s]);
    }
  }
  const uint32_t step = (size >> 1) + (size >> 3) + 3, mask = size - 1;
  uint32_t position = 0;
  for (uint32_t s = 0; s < symbols; ++s) {
    for (int32_t i = 0; i < norm[s]; ++i) {
      table->entries[position].symbol = static_cast<uint8_t>(s);
      do {
        position = (position + step) & mask;
      } while (position > high);
    }
  }
  if (position != 0) return Corrupt(failure, "an FSE table that does not spread");
  for (uint32_t u = 0; u < size; ++u) {
    FseEntry& e = table->entries[u];
    const uint32_t state = next[e.symbol]++;
    e.bits = static_cast<uint8_t>(log - HighBit(state));
    e.base = static_cast<uint16_t>((state << e.bits) - size);
  }
  table->log = log;
  table->valid = true;
  return true;
}

// Reads a table description at `data`; `used` its bytes.
bool ReadFse(const uint8_t* data, size_t size, uint32_t maxSymbols, uint32_t maxLog, FseTable* table, size_t* used,
             DecodeFailure* failure) {
  if (size == 0) return Corrupt(failure, "an FSE table past the end");
  ForwardBits in{data, size};
  const uint32_t log = in.Peek(4) + 5;
  in.Skip(4);
  if (log > maxLog) return Corrupt(failure, "an FSE accuracy past the maximum");
  int16_t norm[256] = {};
  int32_t remaining = (1 << log) + 1, threshold = 1 << log;
  uint32_t bits = log + 1, symbol = 0;
  bool previousZero = false;
  while (remaining > 1 && symbol < maxSymbols) {
    if (previousZero) {
      uint32_t repeat = in.Peek(2);
      in.Skip(2);
      uint32_t zeros = repeat;
      while (repeat == 3) {
        if ((in.bit >> 3) > size) return Corrupt(failure, "an FSE table past the end");
        repeat = in.Peek(2);
        in.Skip(2);
        zeros += repeat;
      }
      if (symbol + zeros > maxSymbols) return Corrupt(failure, "FSE zero counts past the last symbol");
      symbol += zeros;
      previousZero = false;
      if (symbol >= maxSymbols) break;
    }
    const int32_t max = (2 * threshold - 1) - remaining;
    int32_t count;
    const uint32_t low = in.Peek(bits - 1);
    if (static_cast<int32_t>(low) < max) {
      count = static_cast<int32_t>(low);
      in.Skip(bits - 1);
    } else {
      count = static_cast<int32_t>(in.Peek(bits));
      if (count >= threshold) count -= max;
      in.Skip(bits);
    }
    --count;  // -1: a probability below one
    remaining -= count < 0 ? -count : count;
    norm[symbol++] = static_cast<int16_t>(count);
    previousZero = count == 0;
    while (remaining < threshold && threshold > 1) {
      --bits;
      threshold >>= 1;
    }
  }
  if (remaining != 1) return Corrupt(failure, "FSE counts that do not sum");
  *used = static_cast<size_t>((in.bit + 7) >> 3);
  if (*used > size) return Corrupt(failure, "an FSE table past the end");
  return BuildFse(norm, symbol, log, table, failure);
}

// A table of one symbol (RLE mode).
void RleFse(uint8_t symbol, FseTable* table) {
  table->entries[0] = {0, symbol, 0};
  table->log = 0;
  table->valid = true;
}

// Huffman: a decoding table of 2^bits entries, each a symbol and its code length.
struct HuffmanTable {
  uint8_t symbol[1u << kMaxHuffmanBits];
  uint8_t length[1u << kMaxHuffmanBits];
  uint32_t bits = 0;
  bool valid = false;
};

// The Huffman tree description: weights (direct or FSE-coded), the last one implied.
bool ReadHuffman(const uint8_t* data, size_t size, HuffmanTable* table, FseTable* scratch, size_t* used,
                 DecodeFailure* failure) {
  if (size == 0) return Corrupt(failure, "no Huffman tree description");
  uint8_t weights[kMaxLiteralSymbols] = {};
  uint32_t count = 0;
  const uint32_t header = data[0];
  if (header >= 128) {
    count = header - 127;
    const size_t bytes = (count + 1) / 2;
    if (1 + bytes > size) return Corrupt(failure, "Huffman weights past the end");
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t b = data[1 + i / 2];
      weights[i] = (i & 1) ? (b & 15) : (b >> 4);
    }
    *used = 1 + bytes;
  } else {
    if (1 + size_t{header} > size) return Corrupt(failure, "Huffman weights past the end");
    FseTable& fse = *scratch;
    size_t tableBytes = 0;
    if (!ReadFse(data + 1, header, kMaxLiteralSymbols, 6, &fse, &tableBytes, failure)) return false;
    BackwardBits in;
    if (!in.Init(data + 1 + tableBytes, header - tableBytes)) return Corrupt(failure, "a Huffman weight stream");
    uint32_t s1 = static_cast<uint32_t>(in.Read(fse.log)), s2 = static_cast<uint32_t>(in.Read(fse.log));
    // Two interleaved states; when the stream runs out, the other state gives the last weight.
    for (;;) {
      if (count > kMaxLiteralSymbols - 2) return Corrupt(failure, "too many Huffman weights");
      weights[count++] = fse.entries[s1].symbol;
      s1 = fse.entries[s1].base + static_cast<uint32_t>(in.Read(fse.entries[s1].bits));
      if (in.Overflowed()) {
        weights[count++] = fse.entries[s2].symbol;
        break;
      }
      if (count > kMaxLiteralSymbols - 2) return Corrupt(failure, "too many Huffman weights");
      weights[count++] = fse.entries[s2].symbol;
      s2 = fse.entries[s2].base + static_cast<uint32_t>(in.Read(fse.entries[s2].bits));
      if (in.Overflowed()) {
        weights[count++] = fse.entries[s1].symbol;
        break;
      }
    }
    *used = 1 + size_t{header};
  }
  // The implied last weight makes the sum of 2^(w-1) the next power of two.
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (weights[i] > kMaxHuffmanBits) return Corrupt(failure, "a Huffman weight past the maximum");
    if (weights[i]) total += 1u << (weights[i] - 1);
  }
  if (total == 0 || count >= kMaxLiteralSymbols) return Corrupt(failure, "Huffman weights");
  const uint32_t bits = HighBit(total) + 1;
  if (bits > kMaxHuffmanBits) return Corrupt(failure, "Huffman codes past 11 bits");
  const uint32_t rest = (1u << bits) - total;
  if (rest & (rest - 1)) return Corrupt(failure, "Huffman weights that do not sum");
  weights[count++] = static_cast<uint8_t>(HighBit(rest) + 1);
  // Codes by weight, lowest first, symbols in order within a weight.
  uint32_t start[kMaxHuffmanBits + 2] = {}, position = 0;
  for (uint32_t w = 1; w <= kMaxHuffmanBits; ++w) {
    start[w] = position;
    for (uint32_t i = 0; i < count; ++i) {
      if (weights[i] == w) position += 1u << (w - 1);
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t w = weights[i];
    if (!w) continue;
    const uint32_t span = 1u << (w - 1);
    std::memset(table->symbol + start[w], static_cast<int>(i), span);
    std::memset(table->length + start[w], static_cast<int>(bits + 1 - w), span);
    start[w] += span;
  }
  table->bits = bits;
  table->valid = true;
  return true;
}

bool DecodeHuffmanStream(const HuffmanTable& table, const uint8_t* data, size_t size, uint8_t* out, size_t count,
                         DecodeFailure* failure) {
  BackwardBits in;
  if (!in.Init(data, size)) return Corrupt(failure, "a Huffman stream");
  const uint32_t bits = table.bits;
  size_t i = 0;
  // Four symbols (at most 44 bits) from one load while at least 57 bits lie below the position.
  while (i + 4 <= count && in.position >= 64) {
    const int64_t byte = ((in.position - 1) >> 3) - 7;
    uint64_t word = Load8(data + byte) << (byte * 8 + 64 - in.position);
    for (int k = 0; k < 4; ++k) {
      const uint32_t code = static_cast<uint32_t>(word >> (64 - bits));
      out[i++] = table.symbol[code];
      word <<= table.length[code];
      in.position -= table.length[code];
    }
  }
  for (; i < count; ++i) {
    const uint32_t code = static_cast<uint32_t>(in.Peek(bits));
    out[i] = table.symbol[code];
    in.position -= table.length[code];
  }
  if (in.position != 0) return Corrupt(failure, "a Huffman stream that does not end with its literals");
  return true;
}

// Baselines and extra bits of the literal and match length codes.
constexpr uint32_t kLiteralBase[kLiteralLengthCodes] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,   9,   10,  11,   12,   13,   14,   15,    16,    18,
    20, 22, 24, 28, 32, 40, 48, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
constexpr uint8_t kLiteralBits[kLiteralLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  1,  1,
                                                       1, 1, 2, 2, 3, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr uint32_t kMatchBase[kMatchLengthCodes] = {
    3,  4,  5,  6,  7,  8,  9,  10,  11,  12,  13,   14,   15,   16,   17,    18,    19,   20,
    21, 22, 23, 24, 25, 26, 27, 28,  29,  30,  31,   32,   33,   34,   35,    37,    39,   41,
    43, 47, 51, 59, 67, 83, 99, 131, 259, 515, 1027, 2051, 4099, 8195, 16387, 32771, 65539};
constexpr uint8_t kMatchBits[kMatchLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0, 0,
                                                   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  1,  1,  1, 1,
                                                   2, 2, 3, 3, 4, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
// The predefined distributions.
constexpr int16_t kLiteralDefault[kLiteralLengthCodes] = {4, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1,  1,  2,  2,
                                                          2, 2, 2, 2, 2, 2, 2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
constexpr int16_t kMatchDefault[kMatchLengthCodes] = {1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1,  1,  1,  1,  1,  1,  1, 1,
                                                      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  1,  1,  1,  1,  1,  1, 1,
                                                      1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};
constexpr int16_t kOffsetDefault[29] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1,  1,  1,  1,  1, 1,
                                        1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};

// What lives for a frame: the tables a block may repeat, the repeat offsets.
struct FrameState {
  HuffmanTable huffman;
  FseTable literalLengths, offsets, matchLengths;
  FseTable weights;  // scratch for a Huffman description's FSE-coded weights
  uint32_t repeat[3] = {1, 4, 8};
  uint8_t literals[kMaxBlockBytes + 8];
};

struct SequenceTableKind {
  uint32_t symbols, maxLog, defaultLog;
  const int16_t* defaults;
  uint32_t defaultSymbols;
};
constexpr SequenceTableKind kLiteralKind{kLiteralLengthCodes, 9, 6, kLiteralDefault, kLiteralLengthCodes};
constexpr SequenceTableKind kOffsetKind{kOffsetCodes, 8, 5, kOffsetDefault, 29};
constexpr SequenceTableKind kMatchKind{kMatchLengthCodes, 9, 6, kMatchDefault, kMatchLengthCodes};

bool ReadSequenceTable(uint32_t mode, const SequenceTableKind& kind, const uint8_t* data, size_t size, FseTable* table,
                       size_t* used, DecodeFailure* failure) {
  *used = 0;
  switch (mode) {
    case 0: return BuildFse(kind.defaults, kind.defaultSymbols, kind.defaultLog, table, failure);
    case 1:
      if (size < 1) return Corrupt(failure, "an RLE sequence code past the end");
      if (data[0] >= kind.symbols) return Corrupt(failure, "an RLE sequence code past the last symbol");
      RleFse(data[0], table);
      *used = 1;
      return true;
    case 2: return ReadFse(data, size, kind.symbols, kind.maxLog, table, used, failure);
    default:
      if (!table->valid) return Corrupt(failure, "a repeated sequence table before any table");
      return true;
  }
}

// Literals section: fills state->literals, returns the section's size in `used`.
bool ReadLiterals(const uint8_t* data, size_t size, FrameState* state, size_t* literalCount, size_t* used,
                  DecodeFailure* failure) {
  if (size < 1) return Corrupt(failure, "no literals section");
  const uint32_t type = data[0] & 3, format = (data[0] >> 2) & 3;
  if (type <= 1) {  // raw or run-length
    size_t header = 1, regenerated = data[0] >> 3;
    if (format == 1) header = 2;
    if (format == 3) header = 3;
    if (header > size) return Corrupt(failure, "a literals header past the end");
    if (header > 1) regenerated = static_cast<size_t>(LoadLE(data, header) >> 4);
    if (regenerated > kMaxBlockBytes) return Corrupt(failure, "literals past the block maximum");
    const size_t stored = type == 0 ? regenerated : 1;
    if (header + stored > size) return Corrupt(failure, "literals past the end");
    if (type == 0) {
      Copy(state->literals, data + header, regenerated);
    } else {
      Fill(state->literals, data[header], regenerated);
    }
    *literalCount = regenerated;
    *used = header + stored;
    return true;
  }
  // Compressed (2) or treeless (3): sizes of 10, 10, 14 or 18 bits.
  static constexpr uint8_t kHeaderBytes[4] = {3, 3, 4, 5}, kSizeBits[4] = {10, 10, 14, 18};
  const size_t header = kHeaderBytes[format];
  if (header > size) return Corrupt(failure, "a literals header past the end");
  const uint64_t h = LoadLE(data, header) >> 4;
  const size_t mask = (size_t{1} << kSizeBits[format]) - 1;
  const size_t regenerated = static_cast<size_t>(h & mask),
               compressed = static_cast<size_t>((h >> kSizeBits[format]) & mask);
  const bool four = format != 0;
  if (regenerated > kMaxBlockBytes) return Corrupt(failure, "literals past the block maximum");
  if (header + compressed > size) return Corrupt(failure, "literals past the end");
  const uint8_t* p = data + header;
  size_t left = compressed;
  if (type == 2) {
    size_t tree = 0;
    if (!ReadHuffman(p, left, &state->huffman, &state->weights, &tree, failure)) return false;
    p += tree, left -= tree;
  } else if (!state->huffman.valid) {
    return Corrupt(failure, "treeless literals before any Huffman table");
  }
  if (!four) {
    if (!DecodeHuffmanStream(state->huffman, p, left, state->literals, regenerated, failure)) return false;
  } else {
    if (left < 6) return Corrupt(failure, "a literals jump table past the end");
    const size_t s1 = p[0] | size_t{p[1]} << 8, s2 = p[2] | size_t{p[3]} << 8, s3 = p[4] | size_t{p[5]} << 8;
    p += 6, left -= 6;
    if (s1 + s2 + s3 > left) return Corrupt(failure, "literal streams past the end");
    const size_t sizes[4] = {s1, s2, s3, left - s1 - s2 - s3};
    const size_t part = (regenerated + 3) / 4;
    if (part * 3 > regenerated) return Corrupt(failure, "four literal streams of too few literals");
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
      const size_t n = i < 3 ? part : regenerated - 3 * part;
      if (!DecodeHuffmanStream(state->huffman, p, sizes[i], state->literals + at, n, failure)) return false;
      p += sizes[i], at += n;
    }
  }
  *literalCount = regenerated;
  *used = header + compressed;
  return true;
}

// Copies a match of `length` bytes from `offset` back; they may overlap.
void CopyMatch(uint8_t* out, size_t offset, size_t length) {
  const uint8_t* from = out - offset;
  if (offset >= length) {
    std::memcpy(out, from, length);
    return;
  }
  size_t i = 0;
  if (offset >= 8) {  // eight bytes at a time never read what this copy writes
    for (; i + 8 <= length; i += 8) std::memcpy(out + i, from + i, 8);
  }
  for (; i < length; ++i) out[i] = from[i];
}

bool DecodeCompressedBlock(const uint8_t* data, size_t size, FrameState* state, uint8_t* frameStart, uint8_t* out,
                           size_t room, size_t* produced, DecodeFailure* failure) {
  size_t literalCount = 0, used = 0;
  if (!ReadLiterals(data, size, state, &literalCount, &used, failure)) return false;
  data += used, size -= used;
  if (size < 1) return Corrupt(failure, "no sequences section");
  size_t sequences = data[0], header = 1;
  if (sequences >= 128) {
    if (sequences < 255) {
      if (size < 2) return Corrupt(failure, "a sequence count past the end");
      sequences = ((sequences - 128) << 8) + data[1];
      header = 2;
    } else {
      if (size < 3) return Corrupt(failure, "a sequence count past the end");
      sequences = data[1] + (size_t{data[2]} << 8) + 0x7F00;
      header = 3;
    }
  }
  data += header, size -= header;
  size_t written = 0;
  if (sequences > 0) {
    if (size < 1) return Corrupt(failure, "no sequence modes");
    // The two reserved low bits are not checked: libzstd does not either, and encoders leave them zero.
    const uint8_t modes = data[0];
    data += 1, size -= 1;
    const struct {
      uint32_t mode;
      const SequenceTableKind& kind;
      FseTable* table;
    } tables[3] = {{static_cast<uint32_t>(modes >> 6), kLiteralKind, &state->literalLengths},
                   {static_cast<uint32_t>((modes >> 4) & 3), kOffsetKind, &state->offsets},
                   {static_cast<uint32_t>((modes >> 2) & 3), kMatchKind, &state->matchLengths}};
    for (const auto& t : tables) {
      size_t n = 0;
      if (!ReadSequenceTable(t.mode, t.kind, data, size, t.table, &n, failure)) return false;
      data += n, size -= n;
    }
    BackwardBits in;
    if (!in.Init(data, size)) return Corrupt(failure, "a sequence bit stream");
    const FseTable &ll = state->literalLengths, &of = state->offsets, &ml = state->matchLengths;
    uint32_t llState = static_cast<uint32_t>(in.Read(ll.log));
    uint32_t ofState = static_cast<uint32_t>(in.Read(of.log));
    uint32_t mlState = static_cast<uint32_t>(in.Read(ml.log));
    size_t literalAt = 0;
    for (size_t s = 0; s < sequences; ++s) {
      const uint32_t ofCode = of.entries[ofState].symbol, llCode = ll.entries[llState].symbol,
                     mlCode = ml.entries[mlState].symbol;
      if (ofCode > 31 || llCode >= kLiteralLengthCodes || mlCode >= kMatchLengthCodes) {
        return Corrupt(failure, "a sequence code past the last symbol");
      }
      const uint64_t offsetValue = (uint64_t{1} << ofCode) + in.Read(ofCode);
      const size_t matchLength = kMatchBase[mlCode] + static_cast<size_t>(in.Read(kMatchBits[mlCode]));
      const size_t literalLength = kLiteralBase[llCode] + static_cast<size_t>(in.Read(kLiteralBits[llCode]));
      uint64_t offset;
      if (offsetValue > 3) {
        offset = offsetValue - 3;
        state->repeat[2] = state->repeat[1], state->repeat[1] = state->repeat[0];
        state->repeat[0] = static_cast<uint32_t>(offset);
      } else {
        const uint32_t index = static_cast<uint32_t>(offsetValue) - 1 + (literalLength == 0 ? 1 : 0);
        if (index == 0) {
          offset = state->repeat[0];
        } else {
          offset = index == 3 ? uint64_t{state->repeat[0]} - 1 : state->repeat[index];
          if (index != 1) state->repeat[2] = state->repeat[1];
          state->repeat[1] = state->repeat[0];
          state->repeat[0] = static_cast<uint32_t>(offset);
        }
      }
      if (s + 1 < sequences) {
        llState = ll.entries[llState].base + static_cast<uint32_t>(in.Read(ll.entries[llState].bits));
        mlState = ml.entries[mlState].base + static_cast<uint32_t>(in.Read(ml.entries[mlState].bits));
        ofState = of.entries[ofState].base + static_cast<uint32_t>(in.Read(of.entries[ofState].bits));
      }
      if (in.Overflowed()) return Corrupt(failure, "a sequence bit stream that ends early");
      if (literalLength > literalCount - literalAt) return Corrupt(failure, "a sequence past its literals");
      if (literalLength > room - written || matchLength > room - written - literalLength) {
        return Corrupt(failure, "more bytes than the stream holds");
      }
      Copy(out + written, state->literals + literalAt, literalLength);
      literalAt += literalLength, written += literalLength;
      if (offset == 0 || offset > static_cast<uint64_t>(out + written - frameStart)) {
        return Corrupt(failure, "a match before the start of its frame");
      }
      CopyMatch(out + written, static_cast<size_t>(offset), matchLength);
      written += matchLength;
    }
    // Bits left over below the last sequence's are tolerated as libzstd tolerates them (fewer than its 64-bit
    // window); whole bytes more are not.
    if (in.position >= 64) return Corrupt(failure, "a sequence bit stream that does not end with its sequences");
    literalCount -= literalAt;
    if (literalCount > room - written) return Corrupt(failure, "more bytes than the stream holds");
    Copy(out + written, state->literals + literalAt, literalCount);
    written += literalCount;
  } else {
    if (size != 0) return Corrupt(failure, "bytes after a block's literals");
    if (literalCount > room) return Corrupt(failure, "more bytes than the stream holds");
    Copy(out, state->literals, literalCount);
    written = literalCount;
  }
  if (written > kMaxBlockBytes) return Corrupt(failure, "a block past the block maximum");
  *produced = written;
  return true;
}

// XXH64 of the frame's content: its low 32 bits are the content checksum.
constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull, kP2 = 0xC2B2AE3D27D4EB4Full, kP3 = 0x165667B19E3779F9ull,
                   kP4 = 0x85EBCA77C2B2AE63ull, kP5 = 0x27D4EB2F165667C5ull;
uint64_t Rotl(uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }
uint64_t Round(uint64_t acc, uint64_t input) { return Rotl(acc + input * kP2, 31) * kP1; }
uint64_t Xxh64(const uint8_t* p, size_t n) {
  const uint8_t* end = p + n;
  uint64_t h;
  if (n >= 32) {
    uint64_t v1 = kP1 + kP2, v2 = kP2, v3 = 0, v4 = 0 - kP1;
    for (; end - p >= 32; p += 32) {
      v1 = Round(v1, LoadLE(p, 8)), v2 = Round(v2, LoadLE(p + 8, 8));
      v3 = Round(v3, LoadLE(p + 16, 8)), v4 = Round(v4, LoadLE(p + 24, 8));
    }
    h = Rotl(v1, 1) + Rotl(v2, 7) + Rotl(v3, 12) + Rotl(v4, 18);
    for (const uint64_t v : {v1, v2, v3, v4}) h = (h ^ Round(0, v)) * kP1 + kP4;
  } else {
    h = kP5;
  }
  h += n;
  for (; end - p >= 8; p += 8) h = Rotl(h ^ Round(0, LoadLE(p, 8)), 27) * kP1 + kP4;
  if (end - p >= 4) {
    h = Rotl(h ^ (LoadLE(p, 4) * kP1), 23) * kP2 + kP3;
    p += 4;
  }
  for (; p < end; ++p) h = Rotl(h ^ (*p * kP5), 11) * kP1;
  h ^= h >> 33, h *= kP2, h ^= h >> 29, h *= kP3, h ^= h >> 32;
  return h;
}

}  // namespace

bool ZstdDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure) {
  const std::unique_ptr<FrameState> owned(new (std::nothrow) FrameState);
  FrameState* state = owned.get();
  if (!state) return Fail(failure, FailureKind::OutOfMemory, "no Zstandard state");
  size_t at = 0, written = 0;
  while (at < inSize) {
    if (inSize - at < 4) return Corrupt(failure, "bytes after the last frame");
    const uint32_t magic = static_cast<uint32_t>(LoadLE(in + at, 4));
    if ((magic & kSkippableMask) == kSkippableMagic) {
      if (inSize - at < 8) return Corrupt(failure, "a skippable frame past the end");
      const uint64_t skip = LoadLE(in + at + 4, 4);
      if (skip > inSize - at - 8) return Corrupt(failure, "a skippable frame past the end");
      at += 8 + static_cast<size_t>(skip);
      continue;
    }
    if (magic != kFrameMagic)
      return Fail(failure, FailureKind::InvalidHeader, "not Zstandard data (magic %08X)", magic);
    at += 4;
    if (at >= inSize) return Corrupt(failure, "a frame header past the end");
    const uint8_t descriptor = in[at++];
    const uint32_t sizeFlag = descriptor >> 6, idFlag = descriptor & 3;
    const bool single = descriptor & 0x20, checksum = descriptor & 4;
    if (descriptor & 8) return Corrupt(failure, "a reserved frame header bit");
    static constexpr uint8_t kIdBytes[4] = {0, 1, 2, 4}, kSizeBytes[4] = {0, 2, 4, 8};
    const size_t sizeBytes = sizeFlag == 0 && single ? 1 : kSizeBytes[sizeFlag];
    const size_t headerRest = (single ? 0 : 1) + kIdBytes[idFlag] + sizeBytes;
    if (headerRest > inSize - at) return Corrupt(failure, "a frame header past the end");
    if (!single) ++at;  // the window descriptor: the output is the whole window
    const uint64_t dictionary = LoadLE(in + at, kIdBytes[idFlag]);
    at += kIdBytes[idFlag];
    if (dictionary != 0) return Fail(failure, FailureKind::Unsupported, "Zstandard data with a dictionary");
    uint64_t contentSize = LoadLE(in + at, sizeBytes);
    if (sizeBytes == 2) contentSize += 256;
    at += sizeBytes;
    const bool sized = sizeBytes != 0;
    if (sized && contentSize > outSize - written) return Corrupt(failure, "a frame larger than the stream holds");
    // A new frame: no tables to repeat, the first repeat offsets.
    state->huffman.valid = false;
    state->literalLengths.valid = state->offsets.valid = state->matchLengths.valid = false;
    state->repeat[0] = 1, state->repeat[1] = 4, state->repeat[2] = 8;
    uint8_t* frameStart = out + written;
    for (bool last = false; !last;) {
      if (inSize - at < 3) return Corrupt(failure, "a block header past the end");
      const uint32_t block = static_cast<uint32_t>(LoadLE(in + at, 3));
      at += 3;
      last = block & 1;
      const uint32_t type = (block >> 1) & 3;
      const size_t blockSize = block >> 3;
      if (type == 3) return Corrupt(failure, "a reserved block type");
      const size_t stored = type == 1 ? 1 : blockSize;
      if (stored > inSize - at) return Corrupt(failure, "a block past the end");
      if (blockSize > kMaxBlockBytes) return Corrupt(failure, "a block past the block maximum");
      size_t produced = 0;
      if (type == 0 || type == 1) {
        if (blockSize > outSize - written) return Corrupt(failure, "more bytes than the stream holds");
        if (type == 0) {
          Copy(out + written, in + at, blockSize);
        } else {
          Fill(out + written, in[at], blockSize);
        }
        produced = blockSize;
      } else if (blockSize == 0) {
        // An empty compressed block holds nothing (libzstd reads it so, and encoders may end a frame with one).
      } else if (!DecodeCompressedBlock(in + at, blockSize, state, frameStart, out + written, outSize - written,
                                        &produced, failure)) {
        return false;
      }
      at += stored;
      written += produced;
    }
    const size_t frameBytes = static_cast<size_t>(out + written - frameStart);
    if (sized && frameBytes != contentSize) return Corrupt(failure, "a frame whose content is not its stated size");
    if (checksum) {
      if (inSize - at < 4) return Corrupt(failure, "a checksum past the end");
      const uint32_t expected = static_cast<uint32_t>(LoadLE(in + at, 4));
      at += 4;
      if (static_cast<uint32_t>(Xxh64(frameStart, frameBytes)) != expected) {
        return Corrupt(failure, "the content checksum does not match");
      }
    }
  }
  if (written != outSize) {
    return Fail(failure, FailureKind::Truncated, "Zstandard data of %zu bytes where %zu are expected", written,
                outSize);
  }
  return true;
}

}  // namespace mirelth
