#include "formats/exr/exr_codecs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "io/byte_reader.h"
#include "io/inflate.h"

namespace mirelth {
namespace {

uint16_t U16(const uint8_t* p) { return ByteReader::U16LENoBoundsCheck(p); }
uint32_t U32(const uint8_t* p) { return ByteReader::U32LENoBoundsCheck(p); }

// Words (16-bit values) of one sample of a channel.
size_t WordsOf(const ExrChannel& c) { return ExrPixelBytes(c.type) / 2; }

// ---- PIZ's Huffman code ----
// The code table is a list of code lengths, 6 bits each, most significant bit first, for the symbols im..iM:
// 59..62 stand for runs of 2..5 zero lengths, 63 and 8 more bits for runs of 6..261. Codes are canonical, the
// longest first: for each length from 58 down, its codes start where the longer ones' prefixes end. The symbol
// iM is the run-length symbol: 8 more bits say how many more times the previous value repeats.
constexpr uint32_t kHufSymbols = 65537;  // 16-bit values and the run-length symbol
constexpr int kHufMaxLength = 58;
constexpr int kHufShortRun = 59, kHufLongRun = 63, kHufShortestLongRun = 6;
constexpr int kHufFastBits = 14;

// Bits read most significant first from a byte array of known size.
class MsbBits {
 public:
  MsbBits(const uint8_t* data, size_t bytes) : data_(data), bytes_(bytes) {}
  // The 64 bits from bit `at` (zeros past the end).
  uint64_t Peek64(uint64_t at) const {
    const size_t byte = static_cast<size_t>(at >> 3);
    uint64_t v = 0;
    if (byte + 9 <= bytes_) {
      for (int i = 0; i < 8; ++i) v = (v << 8) | data_[byte + i];
      const int shift = static_cast<int>(at & 7);
      if (shift) v = (v << shift) | (data_[byte + 8] >> (8 - shift));
      return v;
    }
    for (int i = 0; i < 64; ++i) {
      const uint64_t bit = at + static_cast<uint64_t>(i);
      const size_t b = static_cast<size_t>(bit >> 3);
      const uint64_t set = b < bytes_ ? (data_[b] >> (7 - (bit & 7))) & 1 : 0;
      v = (v << 1) | set;
    }
    return v;
  }
  uint32_t Get(uint64_t at, int count) const { return static_cast<uint32_t>(Peek64(at) >> (64 - count)); }

 private:
  const uint8_t* data_;
  size_t bytes_;
};

}  // namespace

int64_t ExrSampleCount(int32_t s, int32_t a, int32_t b) {
  if (b < a) return 0;
  return ExrFloorDiv(b, s) - ExrFloorDiv(int64_t{a} - 1, s);
}

uint64_t ExrUnpackedBytes(const ExrChunkShape& shape) {
  uint64_t bytes = 0;
  for (size_t c = 0; c < shape.channelCount; ++c) {
    const ExrChannel& channel = shape.channels[c];
    const uint64_t lines = static_cast<uint64_t>(ExrSampleCount(channel.ySampling, shape.yMin, shape.yMax));
    const uint64_t samples = static_cast<uint64_t>(ExrSampleCount(channel.xSampling, shape.xMin, shape.xMax));
    bytes += lines * samples * ExrPixelBytes(channel.type);
  }
  return bytes;
}

void ExrPlanesToChunk(const ExrChunkShape& shape, const uint16_t* planes, uint8_t* out) {
  // Where each channel's next line of words is.
  constexpr size_t kMaxKept = 64;
  size_t nextKept[kMaxKept];
  size_t plane = 0;
  for (size_t c = 0; c < shape.channelCount; ++c) {
    const ExrChannel& ch = shape.channels[c];
    if (c < kMaxKept) nextKept[c] = plane;
    plane += static_cast<size_t>(ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax) *
                                 ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax)) *
             WordsOf(ch);
  }
  // More channels than kMaxKept are walked again from their start (rare: a part of dozens of layers).
  for (int32_t y = shape.yMin; y <= shape.yMax; ++y) {
    size_t start = 0;
    for (size_t c = 0; c < shape.channelCount; ++c) {
      const ExrChannel& ch = shape.channels[c];
      const size_t words = static_cast<size_t>(ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax)) * WordsOf(ch);
      const size_t planeWords = static_cast<size_t>(ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax)) * words;
      if (ExrSampledAt(y, ch.ySampling)) {
        size_t at;
        if (c < kMaxKept) {
          at = nextKept[c];
          nextKept[c] += words;
        } else {
          at = start + static_cast<size_t>(ExrSampleCount(ch.ySampling, shape.yMin, y - 1)) * words;
        }
        for (size_t i = 0; i < words; ++i) {
          out[2 * i] = static_cast<uint8_t>(planes[at + i]);
          out[2 * i + 1] = static_cast<uint8_t>(planes[at + i] >> 8);
        }
        out += 2 * words;
      }
      start += planeWords;
    }
  }
}

void ExrUnpredict(uint8_t* data, size_t size, uint8_t* scratch) {
  if (size == 0) return;
  // Each byte was stored as its difference from the one before, plus 128: a running sum (mod 256) of the bytes less
  // 128, into scratch. Sixteen at a time: the sums inside a vector in four shifted adds, then the carry of the last.
  size_t i = 0;
  uint8_t sum = 0;
#if defined(__SSE2__)
  __m128i carry = _mm_setzero_si128();
  for (; i + 16 <= size; i += 16) {
    __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), _mm_set1_epi8(-128));
    if (i == 0) x = _mm_insert_epi16(x, (_mm_extract_epi16(x, 0) & 0xFF00) | data[0], 0);  // the first as it is
    x = _mm_add_epi8(x, _mm_slli_si128(x, 1));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 2));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 4));
    x = _mm_add_epi8(x, _mm_slli_si128(x, 8));
    x = _mm_add_epi8(x, carry);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(scratch + i), x);
    carry = _mm_set1_epi8(static_cast<char>(_mm_extract_epi16(x, 7) >> 8));
  }
  if (i > 0) sum = scratch[i - 1];
#endif
  for (; i < size; ++i) scratch[i] = sum = static_cast<uint8_t>(i == 0 ? data[0] : sum + data[i] - 128);
  // The first half holds the even bytes, the second the odd ones.
  const size_t half = (size + 1) / 2, odd = size - half;
  size_t k = 0;
#if defined(__SSE2__)
  for (; k + 16 <= odd; k += 16) {
    const __m128i even = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scratch + k));
    const __m128i odds = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scratch + half + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 2 * k), _mm_unpacklo_epi8(even, odds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 2 * k + 16), _mm_unpackhi_epi8(even, odds));
  }
#endif
  for (; k < half; ++k) {
    data[2 * k] = scratch[k];
    if (k < odd) data[2 * k + 1] = scratch[half + k];
  }
}

bool ExrHuffmanDecode(const uint8_t* in, size_t inSize, uint16_t* out, size_t count, DecodeFailure* failure) {
  if (inSize == 0) {
    if (count == 0) return true;
    return Fail(failure, FailureKind::Truncated, "an empty Huffman stream for %zu values", count);
  }
  if (inSize < 20) return Fail(failure, FailureKind::Truncated, "a Huffman stream of %zu bytes", inSize);
  const uint32_t im = U32(in), iM = U32(in + 4), nBits = U32(in + 12);
  if (im >= kHufSymbols || iM >= kHufSymbols || im > iM) {
    return Fail(failure, FailureKind::InvalidHeader, "a Huffman table of symbols %u to %u", im, iM);
  }
  const uint8_t* table = in + 20;
  const size_t tableBytes = inSize - 20;
  const MsbBits tableBits(table, tableBytes);
  // Each symbol with a code, in increasing order, and its code length: zero runs skip the rest, so these lists are
  // as long as the table's entries, not as its range of symbols.
  Scratch<uint32_t> coded(kHufSymbols);
  Scratch<uint8_t> lengths(kHufSymbols);
  if (!coded || !lengths) return Fail(failure, FailureKind::OutOfMemory, "no Huffman table");
  size_t codedCount = 0;
  uint64_t at = 0;
  auto take = [&](int bits, uint32_t* value) {
    if (at + static_cast<uint64_t>(bits) > uint64_t{tableBytes} * 8) return false;
    *value = tableBits.Get(at, bits);
    at += static_cast<uint64_t>(bits);
    return true;
  };
  for (uint32_t i = im; i <= iM; ++i) {
    uint32_t length = 0;
    if (!take(6, &length)) return Fail(failure, FailureKind::Truncated, "the Huffman table ends at symbol %u", i);
    if (length == kHufLongRun || length >= kHufShortRun) {
      uint32_t run = length - kHufShortRun + 2;
      if (length == kHufLongRun) {
        if (!take(8, &run)) return Fail(failure, FailureKind::Truncated, "the Huffman table ends at symbol %u", i);
        run += kHufShortestLongRun;
      }
      if (uint64_t{i} + run > uint64_t{iM} + 1) {
        return Fail(failure, FailureKind::InvalidHeader, "a Huffman table whose zero run passes symbol %u", iM);
      }
      i += run - 1;  // lengths are already 0
      continue;
    }
    if (length == 0) continue;
    coded[codedCount] = i;
    lengths[codedCount++] = static_cast<uint8_t>(length);
  }
  // Canonical codes: for each length its first code and how many.
  uint64_t counts[kHufMaxLength + 1] = {}, base[kHufMaxLength + 1] = {};
  for (size_t j = 0; j < codedCount; ++j) ++counts[lengths[j]];
  uint64_t next = 0;
  for (int l = kHufMaxLength; l > 0; --l) {
    base[l] = next;
    next = (next + counts[l]) >> 1;
  }
  for (int l = 1; l <= kHufMaxLength; ++l) {
    if (counts[l] && base[l] + counts[l] - 1 >= (uint64_t{1} << l)) {
      return Fail(failure, FailureKind::InvalidHeader, "a Huffman table whose %d-bit codes do not fit", l);
    }
  }
  // Symbols sorted by length, then value; the fast table maps the next 14 bits to a short code's symbol.
  uint32_t first[kHufMaxLength + 2] = {};
  for (int l = 1; l <= kHufMaxLength; ++l) first[l + 1] = first[l] + static_cast<uint32_t>(counts[l]);
  Scratch<uint32_t> sorted(first[kHufMaxLength + 1]);
  Scratch<uint32_t> fast(size_t{1} << kHufFastBits);
  if (!sorted || !fast) return Fail(failure, FailureKind::OutOfMemory, "no Huffman table");
  {
    uint32_t fill[kHufMaxLength + 1] = {};
    for (size_t j = 0; j < codedCount; ++j) {
      const uint32_t i = coded[j];
      const int l = lengths[j];
      const uint64_t code = base[l] + fill[l];
      sorted[first[l] + fill[l]++] = i;
      if (l <= kHufFastBits) {
        const uint32_t from = static_cast<uint32_t>(code << (kHufFastBits - l));
        const uint32_t to = static_cast<uint32_t>((code + 1) << (kHufFastBits - l));
        for (uint32_t k = from; k < to; ++k) fast[k] = (i << 8) | static_cast<uint32_t>(l);
      }
    }
  }
  // The codes start at the byte after the table.
  const size_t codeStart = static_cast<size_t>((at + 7) / 8);
  if (uint64_t{nBits} > uint64_t{tableBytes - codeStart} * 8) {
    return Fail(failure, FailureKind::Truncated, "a Huffman stream of %u bits in %zu bytes", nBits,
                tableBytes - codeStart);
  }
  // Codes are read through a 64-bit buffer of the next bits, most significant first, refilled a byte at a time;
  // past the end of the bytes it fills with zeros (the bit count bounds what is taken).
  const uint8_t* data = table + codeStart;
  const size_t dataBytes = tableBytes - codeStart;
  const MsbBits bits(data, dataBytes);
  uint64_t buffer = 0;
  int held = 0;  // bits in the buffer, from its top
  size_t nextByte = 0;
  auto refill = [&]() {
    while (held <= 56) {
      if (nextByte < dataBytes) buffer |= uint64_t{data[nextByte]} << (56 - held);
      ++nextByte;
      held += 8;
    }
  };
  const uint32_t runSymbol = iM;
  uint64_t pos = 0;
  size_t produced = 0;
  while (produced < count) {
    if (pos >= nBits) {
      return Fail(failure, FailureKind::Truncated, "the Huffman stream ends after %zu of %zu values", produced, count);
    }
    refill();
    uint32_t symbol = 0;
    int length = 0;
    const uint32_t entry = fast[static_cast<size_t>(buffer >> (64 - kHufFastBits))];
    if (entry) {
      symbol = entry >> 8, length = static_cast<int>(entry & 0xFF);
    } else {
      uint64_t code = buffer >> (64 - kHufFastBits);
      for (int l = kHufFastBits + 1; l <= kHufMaxLength; ++l) {
        const uint64_t bit = l <= held ? (buffer >> (64 - l)) & 1 : bits.Get(pos + static_cast<uint64_t>(l) - 1, 1);
        code = (code << 1) | bit;
        if (counts[l] && code >= base[l] && code - base[l] < counts[l]) {
          symbol = sorted[first[l] + static_cast<uint32_t>(code - base[l])];
          length = l;
          break;
        }
      }
      if (length == 0) {
        return Fail(failure, FailureKind::InvalidHeader, "an invalid Huffman code at bit %llu",
                    static_cast<unsigned long long>(pos));
      }
    }
    if (pos + static_cast<uint64_t>(length) > nBits) {
      return Fail(failure, FailureKind::Truncated, "the Huffman stream ends inside a code");
    }
    pos += static_cast<uint64_t>(length);
    if (length < held) {
      buffer <<= length;
      held -= length;
    } else {  // a code longer than the buffer held (58 bits): start the buffer again at the bit after it
      nextByte = static_cast<size_t>(pos >> 3);
      buffer = 0, held = 0;
      refill();
      buffer <<= (pos & 7);
      held -= static_cast<int>(pos & 7);
    }
    if (symbol == runSymbol) {
      if (pos + 8 > nBits) return Fail(failure, FailureKind::Truncated, "the Huffman stream ends inside a run");
      refill();
      const uint32_t run = static_cast<uint32_t>(buffer >> 56);
      buffer <<= 8;
      held -= 8;
      pos += 8;
      if (produced == 0 || run > count - produced) {
        return Fail(failure, FailureKind::InvalidHeader, "a Huffman run of %u values after %zu of %zu", run, produced,
                    count);
      }
      const uint16_t value = out[produced - 1];
      for (uint32_t k = 0; k < run; ++k) out[produced++] = value;
    } else {
      out[produced++] = static_cast<uint16_t>(symbol);
    }
  }
  return true;
}

namespace {

// PIZ's wavelet: pairs of values (a, b) stored as their mean-like l and difference h, in 14 bits when every value
// fits in 14 bits (exact integer arithmetic), else in 16 bits modulo 2^16.
inline void Decode14(uint16_t l, uint16_t h, uint16_t* a, uint16_t* b) {
  const int16_t ls = static_cast<int16_t>(l), hs = static_cast<int16_t>(h);
  const int hi = hs;
  const int ai = ls + (hi & 1) + (hi >> 1);
  *a = static_cast<uint16_t>(static_cast<int16_t>(ai));
  *b = static_cast<uint16_t>(static_cast<int16_t>(ai - hi));
}
inline void Decode16(uint16_t l, uint16_t h, uint16_t* a, uint16_t* b) {
  const int m = l, d = h;
  const int bb = (m - (d >> 1)) & 0xFFFF;
  const int aa = (d + bb - 0x8000) & 0xFFFF;
  *b = static_cast<uint16_t>(bb);
  *a = static_cast<uint16_t>(aa);
}

// Undoes the wavelet of one nx x ny plane whose values are `ox` apart along x and `oy` apart along y, from the
// coarsest level down: each 2 x 2 group of a level (and the odd last column and line) is decoded in place.
template <bool kW14>
void WaveletDecode(uint16_t* in, size_t nx, size_t ox, size_t ny, size_t oy) {
  auto decode = [](uint16_t l, uint16_t h, uint16_t* a, uint16_t* b) {
    if constexpr (kW14) {
      Decode14(l, h, a, b);
    } else {
      Decode16(l, h, a, b);
    }
  };
  const size_t n = nx > ny ? ny : nx;
  size_t p = 1;
  while (p <= n) p <<= 1;
  p >>= 1;
  size_t p2 = p;
  p >>= 1;
  while (p >= 1) {
    size_t py = 0;
    const size_t ey = oy * (ny - p2);
    const size_t oy1 = oy * p, oy2 = oy * p2, ox1 = ox * p, ox2 = ox * p2;
    uint16_t i00, i01, i10, i11;
    for (; py <= ey; py += oy2) {
      size_t px = py;
      const size_t ex = py + ox * (nx - p2);
      for (; px <= ex; px += ox2) {
        const size_t p01 = px + ox1, p10 = px + oy1, p11 = p10 + ox1;
        decode(in[px], in[p10], &i00, &i10);
        decode(in[p01], in[p11], &i01, &i11);
        decode(i00, i01, &in[px], &in[p01]);
        decode(i10, i11, &in[p10], &in[p11]);
      }
      if (nx & p) {  // the odd column
        const size_t p10 = px + oy1;
        decode(in[px], in[p10], &i00, &in[p10]);
        in[px] = i00;
      }
    }
    if (ny & p) {  // the odd line
      size_t px = py;
      const size_t ex = py + ox * (nx - p2);
      for (; px <= ex; px += ox2) {
        const size_t p01 = px + ox1;
        decode(in[px], in[p01], &i00, &in[p01]);
        in[px] = i00;
      }
    }
    p2 = p;
    p >>= 1;
  }
}

// B44: a 4 x 4 block of halves from 14 bytes (the first value, a shift and 15 six-bit differences down the
// columns and along the first row) or, for a flat block, 3 bytes. Values were stored with their order flipped so
// that they compare as unsigned: the sign bit set means positive.
void Unpack14(const uint8_t* b, uint16_t* s) {
  s[0] = static_cast<uint16_t>((b[0] << 8) | b[1]);
  const int shift = b[2] >> 2;
  const int bias = 0x20 << shift;
  auto at = [&](int base, int bits) { return static_cast<uint16_t>(base + (bits << shift) - bias); };
  s[4] = at(s[0], ((b[2] << 4) | (b[3] >> 4)) & 0x3f);
  s[8] = at(s[4], ((b[3] << 2) | (b[4] >> 6)) & 0x3f);
  s[12] = at(s[8], b[4] & 0x3f);
  s[1] = at(s[0], b[5] >> 2);
  s[5] = at(s[4], ((b[5] << 4) | (b[6] >> 4)) & 0x3f);
  s[9] = at(s[8], ((b[6] << 2) | (b[7] >> 6)) & 0x3f);
  s[13] = at(s[12], b[7] & 0x3f);
  s[2] = at(s[1], b[8] >> 2);
  s[6] = at(s[5], ((b[8] << 4) | (b[9] >> 4)) & 0x3f);
  s[10] = at(s[9], ((b[9] << 2) | (b[10] >> 6)) & 0x3f);
  s[14] = at(s[13], b[10] & 0x3f);
  s[3] = at(s[2], b[11] >> 2);
  s[7] = at(s[6], ((b[11] << 4) | (b[12] >> 4)) & 0x3f);
  s[11] = at(s[10], ((b[12] << 2) | (b[13] >> 6)) & 0x3f);
  s[15] = at(s[14], b[13] & 0x3f);
  for (int i = 0; i < 16; ++i) s[i] = (s[i] & 0x8000) ? (s[i] & 0x7fff) : static_cast<uint16_t>(~s[i]);
}
void Unpack3(const uint8_t* b, uint16_t* s) {
  uint16_t v = static_cast<uint16_t>((b[0] << 8) | b[1]);
  v = (v & 0x8000) ? (v & 0x7fff) : static_cast<uint16_t>(~v);
  for (int i = 0; i < 16; ++i) s[i] = v;
}

}  // namespace

uint16_t* ExrDecompressor::Words(size_t count) {
  if (count > wordCapacity_ || !words_) {
    words_.reset(new (std::nothrow) uint16_t[count ? count : 1]);
    wordCapacity_ = words_ ? count : 0;
  }
  return words_.get();
}

bool ExrDecompressor::Decompress(ExrCompression compression, const ExrChunkShape& shape, const uint8_t* packed,
                                 size_t packedSize, uint8_t* out, size_t outSize, DecodeFailure* failure) {
  // Writers store a chunk as it is when packing would not make it smaller.
  if (packedSize == outSize) {
    std::memcpy(out, packed, outSize);
    return true;
  }
  if (compression == ExrCompression::kNone || packedSize > outSize) {
    return Fail(failure, FailureKind::InvalidHeader, "an OpenEXR chunk of %zu bytes for %zu bytes of pixels",
                packedSize, outSize);
  }
  switch (compression) {
    case ExrCompression::kRle: return Rle(packed, packedSize, out, outSize, failure);
    case ExrCompression::kZips:
    case ExrCompression::kZip: return Zip(packed, packedSize, out, outSize, failure);
    case ExrCompression::kPiz: return Piz(shape, packed, packedSize, out, outSize, failure);
    case ExrCompression::kPxr24: return Pxr24(shape, packed, packedSize, out, outSize, failure);
    case ExrCompression::kB44:
    case ExrCompression::kB44a: return B44(shape, packed, packedSize, out, outSize, failure);
    case ExrCompression::kDwaa:
    case ExrCompression::kDwab: return Dwa(shape, packed, packedSize, out, outSize, failure);
    default: break;
  }
  return Fail(failure, FailureKind::Unsupported, "OpenEXR compression %s", ExrCompressionName(compression));
}

bool ExrDecompressor::Rle(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure) {
  uint8_t* scratch = scratch_.Reserve(outSize);
  if (!scratch) return Fail(failure, FailureKind::OutOfMemory, "no chunk buffer");
  size_t at = 0, made = 0;
  while (at < inSize) {
    const int8_t count = static_cast<int8_t>(in[at++]);
    if (count < 0) {
      const size_t n = static_cast<size_t>(-count);
      if (n > inSize - at || n > outSize - made) {
        return Fail(failure, FailureKind::InvalidHeader, "an RLE run past its chunk");
      }
      std::memcpy(out + made, in + at, n);
      at += n, made += n;
    } else {
      const size_t n = static_cast<size_t>(count) + 1;
      if (at >= inSize || n > outSize - made)
        return Fail(failure, FailureKind::InvalidHeader, "an RLE run past its chunk");
      std::memset(out + made, in[at++], n);
      made += n;
    }
  }
  if (made != outSize) {
    return Fail(failure, FailureKind::Truncated, "the RLE data gives %zu of its chunk's %zu bytes", made, outSize);
  }
  ExrUnpredict(out, outSize, scratch);
  return true;
}

bool ExrDecompressor::Zip(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, DecodeFailure* failure) {
  uint8_t* scratch = scratch_.Reserve(outSize);
  if (!scratch) return Fail(failure, FailureKind::OutOfMemory, "no chunk buffer");
  if (!InflateExactly(in, inSize, out, outSize, "chunk", failure)) return false;
  ExrUnpredict(out, outSize, scratch);
  return true;
}

bool ExrDecompressor::Piz(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                          DecodeFailure* failure) {
  constexpr size_t kBitmapBytes = 8192;  // a bit for each 16-bit value
  if (inSize < 4) return Fail(failure, FailureKind::Truncated, "a PIZ chunk of %zu bytes", inSize);
  const uint16_t minNonZero = U16(in), maxNonZero = U16(in + 2);
  size_t at = 4;
  if (maxNonZero >= kBitmapBytes)
    return Fail(failure, FailureKind::InvalidHeader, "a PIZ bitmap to byte %u", maxNonZero);
  uint8_t bitmap[kBitmapBytes] = {};
  if (minNonZero <= maxNonZero) {
    const size_t n = size_t{maxNonZero} - minNonZero + 1u;
    if (n > inSize - at) return Fail(failure, FailureKind::Truncated, "a PIZ chunk that ends in its bitmap");
    std::memcpy(bitmap + minNonZero, in + at, n);
    at += n;
  }
  // The values used, in order (0 always): the Huffman code stores their indices.
  const size_t words = outSize / 2;
  uint16_t* lut = Words(65536 + words);
  if (!lut) return Fail(failure, FailureKind::OutOfMemory, "no PIZ buffer");
  uint16_t* planes = lut + 65536;
  // Only the bitmap's bytes from minNonZero to maxNonZero can have bits set: walk their set bits.
  size_t k = 0;
  lut[k++] = 0;
  for (size_t byte = minNonZero; byte <= maxNonZero; ++byte) {
    for (uint32_t set = bitmap[byte]; set != 0; set &= set - 1) {
      const size_t value = byte * 8 + static_cast<size_t>(std::countr_zero(set));
      if (value != 0) lut[k++] = static_cast<uint16_t>(value);
    }
  }
  const uint16_t maxValue = static_cast<uint16_t>(k - 1);
  std::fill(lut + k, lut + 65536, uint16_t{0});
  if (inSize - at < 4) return Fail(failure, FailureKind::Truncated, "a PIZ chunk that ends before its code");
  const int32_t length = static_cast<int32_t>(U32(in + at));
  at += 4;
  if (length < 0 || static_cast<size_t>(length) > inSize - at) {
    return Fail(failure, FailureKind::Truncated, "a PIZ code of %d bytes in %zu", length, inSize - at);
  }
  if (!ExrHuffmanDecode(in + at, static_cast<size_t>(length), planes, words, failure)) return false;
  size_t offset = 0;
  for (size_t c = 0; c < shape.channelCount; ++c) {
    const ExrChannel& ch = shape.channels[c];
    const size_t nx = static_cast<size_t>(ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax));
    const size_t ny = static_cast<size_t>(ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax));
    const size_t size = WordsOf(ch);
    for (size_t j = 0; j < size; ++j) {
      if (maxValue < (1 << 14)) {
        WaveletDecode<true>(planes + offset + j, nx, size, ny, nx * size);
      } else {
        WaveletDecode<false>(planes + offset + j, nx, size, ny, nx * size);
      }
    }
    offset += nx * ny * size;
  }
  for (size_t i = 0; i < words; ++i) planes[i] = lut[planes[i]];
  ExrPlanesToChunk(shape, planes, out);
  return true;
}

bool ExrDecompressor::Pxr24(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                            DecodeFailure* failure) {
  // Byte planes: half 2, float 3 (the low byte dropped), uint 4.
  uint64_t planeBytes = 0;
  for (size_t c = 0; c < shape.channelCount; ++c) {
    const ExrChannel& ch = shape.channels[c];
    const uint64_t samples = static_cast<uint64_t>(ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax) *
                                                   ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax));
    planeBytes += samples * (ch.type == ExrPixelType::kHalf ? 2 : ch.type == ExrPixelType::kFloat ? 3 : 4);
  }
  uint8_t* planes = scratch_.Reserve(static_cast<size_t>(planeBytes));
  if (!planes) return Fail(failure, FailureKind::OutOfMemory, "no PXR24 buffer");
  if (!InflateExactly(in, inSize, planes, static_cast<size_t>(planeBytes), "chunk", failure)) return false;
  const uint8_t* p = planes;
  uint8_t* o = out;
  for (int32_t y = shape.yMin; y <= shape.yMax; ++y) {
    for (size_t c = 0; c < shape.channelCount; ++c) {
      const ExrChannel& ch = shape.channels[c];
      if (!ExrSampledAt(y, ch.ySampling)) continue;
      const size_t n = static_cast<size_t>(ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax));
      uint32_t pixel = 0;
      if (ch.type == ExrPixelType::kHalf) {
        for (size_t j = 0; j < n; ++j) {
          pixel += (uint32_t{p[j]} << 8) | p[n + j];
          o[0] = static_cast<uint8_t>(pixel), o[1] = static_cast<uint8_t>(pixel >> 8);
          o += 2;
        }
        p += 2 * n;
      } else {
        const bool isFloat = ch.type == ExrPixelType::kFloat;
        for (size_t j = 0; j < n; ++j) {
          const uint32_t diff =
              isFloat
                  ? (uint32_t{p[j]} << 24) | (uint32_t{p[n + j]} << 16) | (uint32_t{p[2 * n + j]} << 8)
                  : (uint32_t{p[j]} << 24) | (uint32_t{p[n + j]} << 16) | (uint32_t{p[2 * n + j]} << 8) | p[3 * n + j];
          pixel += diff;
          for (int b = 0; b < 4; ++b) o[b] = static_cast<uint8_t>(pixel >> (8 * b));
          o += 4;
        }
        p += (isFloat ? 3 : 4) * n;
      }
    }
  }
  (void)outSize;
  return true;
}

bool ExrDecompressor::B44(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                          DecodeFailure* failure) {
  const size_t words = outSize / 2;
  uint16_t* planes = Words(words);
  if (!planes) return Fail(failure, FailureKind::OutOfMemory, "no B44 buffer");
  size_t at = 0, offset = 0;
  for (size_t c = 0; c < shape.channelCount; ++c) {
    const ExrChannel& ch = shape.channels[c];
    const size_t nx = static_cast<size_t>(ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax));
    const size_t ny = static_cast<size_t>(ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax));
    uint16_t* plane = planes + offset;
    if (ch.type != ExrPixelType::kHalf) {
      // Floats and uints are stored as they are.
      const size_t n = nx * ny * 2;
      if (n * 2 > inSize - at)
        return Fail(failure, FailureKind::Truncated, "a B44 chunk that ends in channel %.40s", ch.name);
      for (size_t i = 0; i < n; ++i) plane[i] = U16(in + at + 2 * i);
      at += n * 2;
      offset += n;
      continue;
    }
    if (ch.perceptuallyLinear) {
      return Fail(failure, FailureKind::Unsupported, "B44 of the perceptually linear channel %.40s", ch.name);
    }
    for (size_t y = 0; y < ny; y += 4) {
      for (size_t x = 0; x < nx; x += 4) {
        uint16_t s[16];
        if (inSize - at < 3)
          return Fail(failure, FailureKind::Truncated, "a B44 chunk that ends in channel %.40s", ch.name);
        if (in[at + 2] >= (13 << 2)) {
          Unpack3(in + at, s);
          at += 3;
        } else {
          if (inSize - at < 14) {
            return Fail(failure, FailureKind::Truncated, "a B44 chunk that ends in channel %.40s", ch.name);
          }
          Unpack14(in + at, s);
          at += 14;
        }
        for (size_t dy = 0; dy < 4 && y + dy < ny; ++dy) {
          for (size_t dx = 0; dx < 4 && x + dx < nx; ++dx) plane[(y + dy) * nx + x + dx] = s[4 * dy + dx];
        }
      }
    }
    offset += nx * ny;
  }
  ExrPlanesToChunk(shape, planes, out);
  return true;
}

}  // namespace mirelth
