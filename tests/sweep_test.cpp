// Truncation and bit-flip sweeps, generic over the table of containers: one sample of every row is cut at every
// length through its first bytes and at lengths spread over the rest, and has single bits flipped at spread
// places; every copy is drawn whole and as a thumbnail. Each must be drawn or refused with a reason (the ASan build
// runs this too, so a read past a bound is a failure here).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "test_support.h"

namespace mirelth {
namespace {

// The largest drawable sample of a container row under 32 KiB, for the most structure a quick sweep can afford
// (none: an empty path).
std::string SampleOf(const Container& row) {
  std::string best;
  uintmax_t bestSize = 0;
  for (const auto& entry : std::filesystem::directory_iterator(MIRELTH_SAMPLES_DIR)) {
    const std::string name = entry.path().filename().string();
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string extension = row.extension;
    if (lower.size() <= extension.size() ||
        lower.compare(lower.size() - extension.size(), extension.size(), extension) != 0 ||
        lower.find("refuse") != std::string::npos) {
      continue;
    }
    const uintmax_t size = entry.file_size();
    if (size <= 32768 && size > bestSize) bestSize = size, best = entry.path().string();
  }
  return best;
}

void ExpectDrawnOrRefused(const Container& row, const std::vector<uint8_t>& bytes, const std::string& what) {
  for (const test::Mode mode : {test::Mode::kFull, test::Mode::kThumbnail}) {
    const test::Drawn drawn = test::DrawBytes(row.type, bytes, mode, 48);
    if (drawn.ok) {
      ASSERT_GT(drawn.image.width, 0) << row.name << " " << what;
      continue;
    }
    ASSERT_NE(drawn.failure.kind, FailureKind::None) << row.name << " " << what << ": refused without a reason";
    ASSERT_FALSE(DescribeFailure(drawn.failure).empty()) << row.name << " " << what;
  }
}

TEST(Sweeps, EveryContainerRowCutAndFlippedIsDrawnOrRefused) {
  size_t count = 0;
  const Container* rows = Containers(&count);
  int swept = 0;
  for (size_t r = 0; r < count; ++r) {
    const Container& row = rows[r];
    const std::string path = SampleOf(row);
    if (path.empty()) continue;  // rows sharing another row's extension and samples (.psb's PSD reader has its own)
    ++swept;
    const std::vector<uint8_t> file = test::ReadFileBytes(path);
    SCOPED_TRACE(path);
    // Cuts: every length through the first 256 bytes (headers and tables), then 96 lengths spread over the rest.
    std::vector<size_t> lengths;
    for (size_t n = 0; n < std::min<size_t>(file.size(), 256); ++n) lengths.push_back(n);
    for (size_t k = 1; k <= 96 && file.size() > 256; ++k) lengths.push_back(256 + (file.size() - 256) * k / 97);
    for (const size_t n : lengths) {
      ExpectDrawnOrRefused(row, std::vector<uint8_t>(file.begin(), file.begin() + static_cast<ptrdiff_t>(n)),
                           "cut to " + std::to_string(n));
    }
    // Flips: one bit at a time, at 160 places (every byte of a small header first, then spread).
    std::mt19937 random(static_cast<uint32_t>(r) + 1);
    for (size_t k = 0; k < 160; ++k) {
      std::vector<uint8_t> flipped = file;
      const size_t at = k < 64 ? k % file.size() : random() % file.size();
      flipped[at] ^= static_cast<uint8_t>(1u << (random() % 8));
      ExpectDrawnOrRefused(row, flipped, "flipped at " + std::to_string(at));
    }
  }
  RecordProperty("rows_swept", swept);
  EXPECT_GE(swept, static_cast<int>(count) - 2);
}

}  // namespace
}  // namespace mirelth
