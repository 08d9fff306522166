// KTX 2 files built in memory, and a BasisLZ / ETC1S writer following the published KTX 2.0 BasisLZ bitstream:
// streams of every kind of endpoint prediction and selector reference, whose pictures are known from their
// codebooks. Shared by the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mirelth::test {

using Bytes = std::vector<uint8_t>;

struct Ktx2Spec {
  uint32_t vkFormat = 37;
  uint32_t width = 16, height = 16, depth = 0, layers = 0, faces = 1;
  uint32_t scheme = 0;
  uint8_t transfer = 1, flags = 0, model = 1;  // the descriptor's colour model (1 RGBSDA, 163 ETC1S)
  Bytes globalData;                            // supercompression global data (BasisLZ)
  std::string orientation;                     // "KTXorientation" value, none when empty
  std::vector<Bytes> levels;                   // as drawn (compressed here when scheme says so)
  std::vector<int> order;                      // the order levels are stored in the file (default: smallest last)
  int zstdLevel = 3;
};
Bytes MakeKtx2(const Ktx2Spec& s);
void Put64(Bytes& out, size_t at, uint64_t v);  // little-endian

class BitWriter {
 public:
  void Put(uint32_t value, uint32_t bits);
  // A Huffman code, most significant bit first.
  void Code(uint32_t code, uint32_t length) {
    for (uint32_t i = length; i-- > 0;) Put((code >> i) & 1, 1);
  }
  Bytes bytes;

 private:
  uint64_t bit_ = 0;
};

// A canonical code from code lengths, as Deflate assigns it.
struct Canonical {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;
  Canonical() = default;
  explicit Canonical(std::vector<uint8_t> l);
  void Emit(BitWriter& w, uint32_t symbol) const { w.Code(codes.at(symbol), lengths.at(symbol)); }
};

// A table of the given code lengths, written as the format sends tables (the code lengths themselves with a
// code of 5 bits each).
Canonical WriteLengths(BitWriter& w, const std::vector<uint8_t>& lengths);
// Every symbol the same length (the shortest that holds them).
Canonical WriteTable(BitWriter& w, uint32_t symbols);

// Global data of one image of one slice from its three sections.
Bytes GlobalData(uint32_t endpoints, uint32_t selectors, const Bytes& e, const Bytes& sel, const Bytes& t,
                 uint32_t sliceLength);
// Endpoint and selector sections of `count` entries each (every endpoint gray-free, every selector raw).
void WriteCodebooks(uint32_t count, Bytes* endpoints, Bytes* selectors);

struct Etc1sBook {
  struct Endpoint {
    uint32_t r, g, b, inten;
  };
  std::vector<Endpoint> endpoints;
  std::vector<uint32_t> selectors;  // four rows, row 0 in the low byte, x = 0 in each row's low bits
  uint32_t historySize = 6;
};

// The colour of texel (x, y) of a block of endpoint e and selector s, worked from the definition.
uint32_t Etc1sTexel(const Etc1sBook& book, uint32_t e, uint32_t s, uint32_t x, uint32_t y);

// The book's endpoints as intensity and colour deltas (the three range-selected models), its selectors XOR-coded
// after the first, and the four slice tables with the history size.
Bytes WriteEndpoints(const Etc1sBook& book);
Bytes WriteSelectors(const Etc1sBook& book);
Bytes WriteSliceTables(const Etc1sBook& book, Canonical (&tables)[4]);

// One slice: every block's endpoint and selector chosen at random, sent with every prediction, delta, history
// reference and run the format has; `chosen` gets each block's (endpoint, selector).
Bytes WriteSlice(const Etc1sBook& book, const Canonical (&tables)[4], uint32_t bx, uint32_t by, uint32_t seed,
                 std::vector<std::pair<uint32_t, uint32_t>>* chosen);

// Global data of a book and per-level image descriptions (five words each), sections after the descriptions.
Bytes Etc1sGlobalData(const Etc1sBook& book, const Bytes& descriptions, const Bytes& endpoints, const Bytes& selectors,
                      const Bytes& tables);

}  // namespace mirelth::test
