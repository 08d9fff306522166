// Replays saved inputs through a fuzz target without libFuzzer: every file named on the command line, or
// found below a named directory. A crash or sanitizer report fails the run; otherwise it prints the count.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_target.h"

namespace {

int Replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes(static_cast<size_t>(std::filesystem::file_size(path)));
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        if (entry.is_regular_file()) count += Replay(entry.path());
      }
    } else if (std::filesystem::is_regular_file(path)) {
      count += Replay(path);
    }
  }
  std::printf("replayed %d inputs: %d passed, 0 failed\n", count, count);
  return 0;
}
