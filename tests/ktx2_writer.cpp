// KTX 2 files and BasisLZ / ETC1S streams built in memory.
#include "tests/ktx2_writer.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <random>

namespace mirelth::test {
namespace {

void PutLE(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void AppendLE16(Bytes& out, uint32_t value) { out.insert(out.end(), {uint8_t(value), uint8_t(value >> 8)}); }
void AppendLE32(Bytes& out, uint32_t value) {
  AppendLE16(out, value & 0xFFFF);
  AppendLE16(out, value >> 16);
}

Bytes Compress(const Bytes& in, uint32_t scheme, int level) {
  if (scheme == 2) {
    Bytes out(ZSTD_compressBound(in.size()));
    out.resize(ZSTD_compress(out.data(), out.size(), in.data(), in.size(), level));
    return out;
  }
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  Bytes out(size);
  compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 6);
  out.resize(size);
  return out;
}

}  // namespace

void Put64(Bytes& out, size_t at, uint64_t v) {
  PutLE(out, at, static_cast<uint32_t>(v));
  PutLE(out, at + 4, static_cast<uint32_t>(v >> 32));
}

Bytes MakeKtx2(const Ktx2Spec& s) {
  const uint32_t levels = static_cast<uint32_t>(s.levels.size());
  Bytes file = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
  for (uint32_t v : {s.vkFormat, 1u, s.width, s.height, s.depth, s.layers, s.faces, levels, s.scheme}) {
    AppendLE32(file, v);
  }
  file.resize(80 + 24 * levels, 0);
  // Data format descriptor: total size, then a basic block of 24 bytes with no samples.
  const uint32_t dfdOffset = static_cast<uint32_t>(file.size());
  for (uint32_t v : {28u, 0u, 2u | (24u << 16)}) AppendLE32(file, v);
  file.insert(file.end(), {s.model, 1, s.transfer, s.flags, 0, 0, 0, 0});
  file.resize(file.size() + 8, 0);
  const uint32_t kvdOffset = static_cast<uint32_t>(file.size());
  if (!s.orientation.empty()) {
    const std::string entry = std::string("KTXorientation") + '\0' + s.orientation + '\0';
    AppendLE32(file, static_cast<uint32_t>(entry.size()));
    file.insert(file.end(), entry.begin(), entry.end());
    while (file.size() % 4) file.push_back(0);
  }
  const uint32_t kvdLength = static_cast<uint32_t>(file.size()) - kvdOffset;
  PutLE(file, 48, dfdOffset);
  PutLE(file, 52, 28);
  PutLE(file, 56, kvdLength ? kvdOffset : 0);
  PutLE(file, 60, kvdLength);
  std::vector<int> order = s.order;
  if (order.empty()) {
    for (int k = static_cast<int>(levels) - 1; k >= 0; --k) order.push_back(k);
  }
  for (const int k : order) {
    while (file.size() % 8) file.push_back(0);
    const Bytes stored = s.scheme >= 2 ? Compress(s.levels[k], s.scheme, s.zstdLevel) : s.levels[k];
    Put64(file, 80 + 24 * k, file.size());
    Put64(file, 88 + 24 * k, stored.size());
    Put64(file, 96 + 24 * k, s.levels[k].size());
    file.insert(file.end(), stored.begin(), stored.end());
  }
  if (!s.globalData.empty()) {
    while (file.size() % 8) file.push_back(0);
    Put64(file, 64, file.size());
    Put64(file, 72, s.globalData.size());
    file.insert(file.end(), s.globalData.begin(), s.globalData.end());
  }
  return file;
}

void BitWriter::Put(uint32_t value, uint32_t bits) {
  for (uint32_t i = 0; i < bits; ++i, ++bit_) {
    if (bit_ % 8 == 0) bytes.push_back(0);
    bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bit_ % 8));
  }
}

Canonical::Canonical(std::vector<uint8_t> l) : lengths(std::move(l)), codes(lengths.size()) {
  uint32_t count[17] = {}, next[18] = {};
  for (const uint8_t len : lengths) ++count[len];
  count[0] = 0;
  for (uint32_t len = 1, code = 0; len <= 16; ++len) next[len] = code = (code + count[len - 1]) << 1;
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  }
}

// A table of the given code lengths, written as the format sends tables (the code lengths themselves with a
// code of 5 bits each).
Canonical WriteLengths(BitWriter& w, const std::vector<uint8_t>& lengths) {
  static constexpr uint8_t kOrder[21] = {17, 18, 19, 20, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15, 16};
  std::vector<uint8_t> lengthOfLength(21, 0);
  for (int s = 0; s <= 16; ++s) lengthOfLength[s] = 5;
  const Canonical lengthCode(lengthOfLength);
  w.Put(static_cast<uint32_t>(lengths.size()), 14);
  w.Put(21, 5);
  for (const uint8_t s : kOrder) w.Put(lengthOfLength[s], 3);
  for (const uint8_t length : lengths) lengthCode.Emit(w, length);
  return Canonical(lengths);
}
// Every symbol the same length (the shortest that holds them).
Canonical WriteTable(BitWriter& w, uint32_t symbols) {
  uint8_t length = 1;
  while ((1u << length) < symbols) ++length;
  return WriteLengths(w, std::vector<uint8_t>(symbols, length));
}

// Global data of one image from its three sections.
Bytes GlobalData(uint32_t endpoints, uint32_t selectors, const Bytes& e, const Bytes& sel, const Bytes& t,
                 uint32_t sliceLength) {
  Bytes g;
  AppendLE16(g, endpoints);
  AppendLE16(g, selectors);
  for (const size_t n : {e.size(), sel.size(), t.size(), size_t{0}}) AppendLE32(g, static_cast<uint32_t>(n));
  for (const uint32_t v : {0u, 0u, sliceLength, 0u, 0u}) AppendLE32(g, v);
  for (const Bytes* part : {&e, &sel, &t}) g.insert(g.end(), part->begin(), part->end());
  return g;
}

// Endpoint and selector sections of `count` entries each (every endpoint gray-free, every selector raw).
void WriteCodebooks(uint32_t count, Bytes* endpoints, Bytes* selectors) {
  BitWriter e;
  Canonical models[4] = {WriteTable(e, 32), WriteTable(e, 32), WriteTable(e, 32), WriteTable(e, 8)};
  e.Put(0, 1);
  // Intensity and colour deltas (any model will do here: they read back as some codebook).
  for (uint32_t i = 0; i < count; ++i) {
    models[3].Emit(e, i % 8);
    for (int c = 0; c < 3; ++c) models[c == 0 ? 0 : 1].Emit(e, (i + c) % 32);
  }
  *endpoints = e.bytes;
  BitWriter sel;
  sel.Put(0, 2);
  sel.Put(1, 1);  // raw
  for (uint32_t i = 0; i < count; ++i) sel.Put(i * 2654435761u, 32);
  *selectors = sel.bytes;
}

// The colour of texel (x, y) of a block of endpoint e and selector s, worked from the definition.
uint32_t Etc1sTexel(const Etc1sBook& book, uint32_t e, uint32_t s, uint32_t x, uint32_t y) {
  static constexpr int32_t kTables[8][2] = {{2, 8},   {5, 17},  {9, 29},   {13, 42},
                                            {18, 60}, {24, 80}, {33, 106}, {47, 183}};
  const Etc1sBook::Endpoint& p = book.endpoints[e];
  const uint32_t selector = (book.selectors[s] >> (8 * y + 2 * x)) & 3;
  const int32_t a = kTables[p.inten][0], b = kTables[p.inten][1];
  const int32_t modifier[4] = {-b, -a, a, b};
  uint32_t out = 0xFF000000u;
  const uint32_t channels[3] = {p.r, p.g, p.b};
  for (int c = 0; c < 3; ++c) {
    const int32_t base = static_cast<int32_t>(channels[c] << 3 | channels[c] >> 2);
    out |= static_cast<uint32_t>(std::clamp(base + modifier[selector], 0, 255)) << (16 - 8 * c);
  }
  return out;
}

// One slice: every block's endpoint and selector chosen at random, sent with every prediction, delta, history
// reference and run the format has; `chosen` gets each block's (endpoint, selector).
Bytes WriteSlice(const Etc1sBook& book, const Canonical (&tables)[4], uint32_t bx, uint32_t by, uint32_t seed,
                 std::vector<std::pair<uint32_t, uint32_t>>* chosen) {
  std::mt19937 rng(seed);
  BitWriter w;
  const uint32_t endpoints = static_cast<uint32_t>(book.endpoints.size()),
                 selectors = static_cast<uint32_t>(book.selectors.size());
  std::vector<uint32_t> rows[2] = {std::vector<uint32_t>(bx, 0), std::vector<uint32_t>(bx, 0)};
  std::vector<uint32_t> history(book.historySize, 0), predBits((bx + 1) / 2, 0);
  uint32_t rover = book.historySize / 2, previousEndpoint = 0, previousSymbol = 0, repeat = 0, runLeft = 0, bits = 0;
  const auto use = [&](uint32_t i) {
    if (i) std::swap(history[i / 2], history[i]);
  };
  const auto add = [&](uint32_t v) {
    history[rover++] = v;
    if (rover == history.size()) rover = static_cast<uint32_t>(history.size() / 2);
  };
  chosen->assign(size_t{bx} * by, {0, 0});
  for (uint32_t y = 0; y < by; ++y) {
    for (uint32_t x = 0; x < bx; ++x) {
      if ((x & 1) == 0) {
        if ((y & 1) == 0) {
          if (repeat) {
            --repeat;
            bits = previousSymbol;
          } else if (x + y > 0 && rng() % 6 == 0) {  // a run of the last prediction symbol
            tables[0].Emit(w, 256);
            const uint32_t k = rng() % 20;  // vlc4 of k: k + 2 more groups after this one
            for (uint32_t v = k;;) {
              w.Put((v & 15) | (v > 15 ? 16 : 0), 5);
              if (v <= 15) break;
              v >>= 4;
            }
            repeat = k + 2;
            bits = previousSymbol;
          } else {
            bits = previousSymbol = rng() % 256;
            tables[0].Emit(w, bits);
          }
          predBits[x / 2] = bits >> 4;
        } else {
          bits = predBits[x / 2];
        }
      }
      const uint32_t pred = bits & 3;
      bits >>= 2;
      uint32_t endpoint;
      if (pred == 0) {
        endpoint = previousEndpoint;
      } else if (pred == 1) {
        endpoint = rows[(y & 1) ^ 1][x];
      } else if (pred == 2) {
        endpoint = x > 0 ? rows[(y & 1) ^ 1][x - 1] : 0;
      } else {
        endpoint = rng() % endpoints;
        tables[1].Emit(w, (endpoint + endpoints - previousEndpoint) % endpoints);
      }
      rows[y & 1][x] = endpoint;
      previousEndpoint = endpoint;
      uint32_t selector;
      if (runLeft) {
        --runLeft;
        selector = history[0];
      } else {
        const uint32_t kind = rng() % 5;
        if (kind == 0) {  // a run of the history's first entry
          tables[2].Emit(w, selectors + book.historySize);
          if (rng() % 3 == 0) {  // a long run: its length in 7-bit chunks
            const uint32_t k = rng() % 300;
            tables[3].Emit(w, 63);
            for (uint32_t v = k;;) {
              w.Put((v & 127) | (v > 127 ? 128 : 0), 8);
              if (v <= 127) break;
              v >>= 7;
            }
            runLeft = k + 2;
          } else {
            const uint32_t run = rng() % 10;
            tables[3].Emit(w, run);
            runLeft = run + 2;
          }
          selector = history[0];
        } else if (kind == 1) {  // a history entry
          const uint32_t i = rng() % book.historySize;
          tables[2].Emit(w, selectors + i);
          selector = history[i];
          use(i);
        } else {
          selector = rng() % selectors;
          tables[2].Emit(w, selector);
          add(selector);
        }
      }
      (*chosen)[size_t{y} * bx + x] = {endpoint, selector};
    }
  }
  w.Put(0, 32);  // slack, as encoders pad
  return w.bytes;
}
Bytes WriteEndpoints(const Etc1sBook& book) {
  BitWriter e;
  const Canonical colour0 = WriteTable(e, 32), colour1 = WriteTable(e, 32), colour2 = WriteTable(e, 32),
                  inten = WriteTable(e, 8);
  e.Put(0, 1);
  uint32_t previous[3] = {16, 16, 16}, previousInten = 0;
  for (const auto& p : book.endpoints) {
    inten.Emit(e, (p.inten + 8 - previousInten) & 7);
    previousInten = p.inten;
    const uint32_t values[3] = {p.r, p.g, p.b};
    for (int c = 0; c < 3; ++c) {
      const Canonical& model = previous[c] <= 9 ? colour0 : previous[c] <= 21 ? colour1 : colour2;
      model.Emit(e, (values[c] + 32 - previous[c]) & 31);
      previous[c] = values[c];
    }
  }
  return e.bytes;
}

Bytes WriteSelectors(const Etc1sBook& book) {
  BitWriter sel;
  sel.Put(0, 3);
  const Canonical xorTable = WriteTable(sel, 256);
  for (size_t i = 0; i < book.selectors.size(); ++i) {
    for (int j = 0; j < 4; ++j) {
      const uint32_t byte = (book.selectors[i] >> (8 * j)) & 0xFF;
      if (i == 0) {
        sel.Put(byte, 8);
      } else {
        xorTable.Emit(sel, byte ^ ((book.selectors[i - 1] >> (8 * j)) & 0xFF));
      }
    }
  }
  return sel.bytes;
}

Bytes WriteSliceTables(const Etc1sBook& book, Canonical (&tables)[4]) {
  BitWriter t;
  const uint32_t endpoints = static_cast<uint32_t>(book.endpoints.size()),
                 selectors = static_cast<uint32_t>(book.selectors.size());
  tables[0] = WriteTable(t, 257);
  tables[1] = WriteTable(t, endpoints);
  tables[2] = WriteTable(t, selectors + book.historySize + 1);
  tables[3] = WriteTable(t, 64);
  t.Put(book.historySize, 13);
  return t.bytes;
}

Bytes Etc1sGlobalData(const Etc1sBook& book, const Bytes& descriptions, const Bytes& endpoints, const Bytes& selectors,
                      const Bytes& tables) {
  Bytes g;
  AppendLE16(g, static_cast<uint32_t>(book.endpoints.size()));
  AppendLE16(g, static_cast<uint32_t>(book.selectors.size()));
  for (const size_t n : {endpoints.size(), selectors.size(), tables.size(), size_t{0}}) {
    AppendLE32(g, static_cast<uint32_t>(n));
  }
  g.insert(g.end(), descriptions.begin(), descriptions.end());
  for (const Bytes* part : {&endpoints, &selectors, &tables}) g.insert(g.end(), part->begin(), part->end());
  return g;
}

}  // namespace mirelth::test
