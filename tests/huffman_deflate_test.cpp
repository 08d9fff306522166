// The PNG writer's byte-by-byte Huffman coder against zlib's inflate: every stream must inflate to exactly its input,
// over inputs shaped to reach each corner of the coder: empty, one byte value, two values, every value equally,
// counts so skewed that a plain Huffman tree would pass 15 bits, thumbnail-like rows, and random lengths of random
// bytes from random alphabets.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "tools/huffman_deflate.h"

namespace mirelth {
namespace {

std::vector<uint8_t> Inflated(const std::vector<uint8_t>& stream, size_t expected) {
  std::vector<uint8_t> out(expected + 1);
  uLongf made = static_cast<uLongf>(out.size());
  if (uncompress(out.data(), &made, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return {0xEE};
  out.resize(made);
  return out;
}

TEST(HuffmanDeflate, ZlibInflatesEveryStreamToItsInput) {
  std::vector<std::vector<uint8_t>> inputs = {{}, {7}, std::vector<uint8_t>(100000, 42), {1, 2, 1, 2, 2, 2}};
  std::vector<uint8_t> every(256 * 64), skewed;
  for (size_t i = 0; i < every.size(); ++i) every[i] = static_cast<uint8_t>(i);
  inputs.push_back(every);
  // Fibonacci counts: the Huffman tree of 25 of them is 24 deep.
  for (uint32_t symbol = 0, a = 1, b = 1; symbol < 25; ++symbol, b += a, a = b - a)
    skewed.insert(skewed.end(), a, static_cast<uint8_t>(symbol));
  inputs.push_back(skewed);
  std::vector<uint8_t> rows;
  for (int y = 0; y < 256; ++y) {
    rows.push_back(1);
    for (int x = 0; x < 1024; ++x) rows.push_back(static_cast<uint8_t>(x < 4 ? y : (x * 7 + y) % 5));
  }
  inputs.push_back(rows);
  std::mt19937 random(11);
  for (int i = 0; i < 200; ++i) {
    const uint32_t alphabet = 1 + random() % 256, length = random() % 70000;
    std::vector<uint8_t> bytes(length);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % alphabet);
    inputs.push_back(bytes);
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::vector<uint8_t> stream;
    HuffmanOnlyZlib(inputs[i].data(), inputs[i].size(), &stream);
    ASSERT_EQ(Inflated(stream, inputs[i].size()), inputs[i]) << "input " << i << " of " << inputs[i].size() << " bytes";
  }
}

}  // namespace
}  // namespace mirelth
