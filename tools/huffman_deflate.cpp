// Deflate's dynamic block (RFC 1951, 3.2.7) with literals only: the literal/length code over bytes 0-255 and the end
// of block, no distance codes (one of length 0), the code lengths sent with their own code and no repeat codes.
// Codes are canonical, at most 15 bits (7 for the code-length code), and written least significant bit first.
#include "tools/huffman_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <queue>
#include <utility>

namespace mirelth {
namespace {

// Bits into a buffer sized ahead for the longest codes: at most 47 are held, and whole 32-bit words are stored.
class BitWriter {
 public:
  BitWriter(std::vector<uint8_t>* out, size_t capacity) : out_(out), at_(out->size()) { out->resize(at_ + capacity); }
  void Put(uint32_t bits, int count) {
    held_ |= uint64_t{bits} << count_;
    count_ += count;
    if (count_ >= 32) {
      const auto word = static_cast<uint32_t>(held_);
      uint8_t* to = out_->data() + at_;
      to[0] = static_cast<uint8_t>(word), to[1] = static_cast<uint8_t>(word >> 8);
      to[2] = static_cast<uint8_t>(word >> 16), to[3] = static_cast<uint8_t>(word >> 24);
      at_ += 4;
      held_ >>= 32;
      count_ -= 32;
    }
  }
  void Finish() {
    for (; count_ > 0; count_ -= 8, held_ >>= 8) (*out_)[at_++] = static_cast<uint8_t>(held_);
    out_->resize(at_);
  }

 private:
  std::vector<uint8_t>* out_;
  size_t at_;
  uint64_t held_ = 0;
  int count_ = 0;
};

// Code lengths of at most `limit` bits for `n` symbols from their counts (a symbol of count 0 gets no code). At
// least two symbols get codes. Counts are halved until the Huffman tree is shallow enough.
void CodeLengths(const uint32_t* counts, int n, int limit, uint8_t* lengths) {
  std::vector<uint64_t> weights(counts, counts + n);
  int used = 0;
  for (int i = 0; i < n; ++i) used += weights[static_cast<size_t>(i)] > 0;
  for (int i = 0; used < 2 && i < n; ++i) {
    if (weights[static_cast<size_t>(i)] == 0) weights[static_cast<size_t>(i)] = 1, ++used;
  }
  for (;;) {
    // Leaves 0..n-1, inner nodes after; parent links give each leaf's depth.
    std::vector<int> parent(2 * static_cast<size_t>(n), -1);
    using Node = std::pair<uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
    for (int i = 0; i < n; ++i) {
      if (weights[static_cast<size_t>(i)] > 0) queue.emplace(weights[static_cast<size_t>(i)], i);
    }
    int next = n;
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      parent[static_cast<size_t>(a.second)] = parent[static_cast<size_t>(b.second)] = next;
      queue.emplace(a.first + b.first, next++);
    }
    int deepest = 0;
    for (int i = 0; i < n; ++i) {
      int depth = 0;
      if (weights[static_cast<size_t>(i)] > 0) {
        for (int at = i; parent[static_cast<size_t>(at)] >= 0; at = parent[static_cast<size_t>(at)]) ++depth;
      }
      lengths[i] = static_cast<uint8_t>(depth);
      deepest = std::max(deepest, depth);
    }
    if (deepest <= limit) return;
    for (uint64_t& w : weights) w = w == 0 ? 0 : (w + 1) / 2;
  }
}

// Canonical codes for the lengths, bit-reversed for writing least significant bit first.
void CanonicalCodes(const uint8_t* lengths, int n, uint32_t* codes) {
  uint32_t perLength[16] = {}, next[16] = {};
  for (int i = 0; i < n; ++i) ++perLength[lengths[i]];
  perLength[0] = 0;
  for (int length = 1, code = 0; length < 16; ++length) {
    code = (code + static_cast<int>(perLength[length - 1])) << 1;
    next[length] = static_cast<uint32_t>(code);
  }
  for (int i = 0; i < n; ++i) {
    const int length = lengths[i];
    if (length == 0) continue;
    const uint32_t code = next[length]++;
    uint32_t reversed = 0;
    for (int b = 0; b < length; ++b) reversed |= ((code >> b) & 1u) << (length - 1 - b);
    codes[i] = reversed;
  }
}

}  // namespace

void HuffmanOnlyZlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  constexpr int kLiterals = 257;  // bytes, and the end of block
  // Four tallies, so that runs of one byte do not wait on one counter.
  uint32_t tallies[4][256] = {};
  size_t tallied = 0;
  for (; tallied + 4 <= size; tallied += 4) {
    const uint8_t* p = data + tallied;
    ++tallies[0][p[0]], ++tallies[1][p[1]], ++tallies[2][p[2]], ++tallies[3][p[3]];
  }
  for (; tallied < size; ++tallied) ++tallies[0][data[tallied]];
  uint32_t counts[kLiterals] = {};
  for (int b = 0; b < 256; ++b) counts[b] = tallies[0][b] + tallies[1][b] + tallies[2][b] + tallies[3][b];
  counts[256] = 1;
  uint8_t lengths[kLiterals + 1] = {};  // the literal/length code's lengths, then the one distance code's (0)
  CodeLengths(counts, kLiterals, 15, lengths);
  uint32_t codes[kLiterals] = {};
  CanonicalCodes(lengths, kLiterals, codes);
  // The code-length code, over the 258 lengths sent.
  constexpr int kLengthSymbols = 19;
  uint32_t lengthCounts[kLengthSymbols] = {};
  for (const uint8_t length : lengths) ++lengthCounts[length];
  uint8_t lengthLengths[kLengthSymbols] = {};
  uint32_t lengthCodes[kLengthSymbols] = {};
  CodeLengths(lengthCounts, kLengthSymbols, 7, lengthLengths);
  CanonicalCodes(lengthLengths, kLengthSymbols, lengthCodes);
  static constexpr uint8_t kOrder[kLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  int sent = kLengthSymbols;
  while (sent > 4 && lengthLengths[kOrder[sent - 1]] == 0) --sent;

  out->clear();
  out->push_back(0x78);  // deflate, 32 KiB window
  out->push_back(0x01);  // fastest; the check bits make 0x7801 a multiple of 31
  // The header's 17 bits, 19 code-length lengths, 258 lengths of up to 7 bits, then up to 15 bits a byte.
  BitWriter bits(out, (17 + 19 * 3 + 258 * 7 + 15 * (size + 1)) / 8 + 8);
  bits.Put(1, 1);  // the final block
  bits.Put(2, 2);  // dynamic codes
  bits.Put(kLiterals - 257, 5);
  bits.Put(1 - 1, 5);
  bits.Put(static_cast<uint32_t>(sent - 4), 4);
  for (int i = 0; i < sent; ++i) bits.Put(lengthLengths[kOrder[i]], 3);
  for (const uint8_t length : lengths) bits.Put(lengthCodes[length], lengthLengths[length]);
  for (size_t i = 0; i < size; ++i) bits.Put(codes[data[i]], lengths[data[i]]);
  bits.Put(codes[256], lengths[256]);
  bits.Finish();
  const auto check = static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), data, static_cast<uInt>(size)));
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(check >> shift));
}

}  // namespace mirelth
