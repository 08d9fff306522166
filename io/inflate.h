// zlib streams inflated whole into a buffer of the exact size their record announces (a KTX 2 level, an OpenEXR
// chunk): a stream that gives fewer bytes, more bytes, or damaged data is refused with the record's name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/failure.h"

namespace mirelth {

// Inflates `in` into exactly `outSize` bytes at `out`; `what` names the record in the reasons ("level", "chunk").
[[nodiscard]] bool InflateExactly(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, const char* what,
                                  DecodeFailure* failure);

}  // namespace mirelth
