// Shared by the fuzz targets: the libFuzzer entry point and the input size cap.
#pragma once

#include <cstddef>
#include <cstdint>

// Inputs above this are skipped: every decoder's cost is bounded by its input, and larger inputs only slow
// the search down.
inline constexpr size_t kMaxFuzzInput = size_t{1} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
