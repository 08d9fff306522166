// A zlib stream of one deflate block coded with Huffman codes of its bytes alone (no matches): one pass to count,
// one to write. Rows that are mostly grain compress about as well this way as with matches, in a tenth of the time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirelth {

// Appends the zlib stream of `size` bytes at `data` to `out` (cleared first).
void HuffmanOnlyZlib(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

}  // namespace mirelth
