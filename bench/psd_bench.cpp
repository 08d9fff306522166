// DecodePsd on a 4096 x 4096 RGB PackBits document, noisy (literal runs) and flat (repeat runs), single
// thread, in pixels per second; and the 256-pixel thumbnail of a 4096 x 4096 layered document without a
// composite (10 normal layers with transparency and masks, PackBits), which is flattened from the sampled rows.
// `psd_bench --write-psd PATH noisy|flat|layered` writes the same document to a file so that other decoders
// and the whole program can be timed on it (scripts/bench); `psb` writes a 16384 x 16384 RGB PackBits large
// document (about 0.5 GB) for the thumbnail's reads, memory and time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "formats/psd/psd.h"

namespace {

using mirelth::bench::kEdge;
using mirelth::bench::kPixels;

void Put16(std::vector<uint8_t>& out, uint32_t v) { out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// Noisy rows are random bytes in literal runs; flat rows are runs of 128 equal bytes changing every run.
std::vector<uint8_t> MakeDocument(bool noisy) {
  std::vector<uint8_t> out;
  out.reserve(size_t{64} << 20);
  for (char c : {'8', 'B', 'P', 'S'}) out.push_back(static_cast<uint8_t>(c));
  Put16(out, 1);
  out.insert(out.end(), 6, 0);
  Put16(out, 3);
  Put32(out, kEdge);
  Put32(out, kEdge);
  Put16(out, 8);
  Put16(out, 3);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put16(out, 1);
  const std::vector<uint8_t>& random = mirelth::bench::RandomSource();
  std::vector<std::vector<uint8_t>> rows;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < kEdge; ++r) {
      std::vector<uint8_t> row;
      for (int x = 0; x < kEdge; x += 128) {
        if (noisy) {
          row.push_back(127);
          const uint8_t* bytes = random.data() + (static_cast<size_t>(c) * kEdge + r) * kEdge + x;
          row.insert(row.end(), bytes, bytes + 128);
        } else {
          row.push_back(static_cast<uint8_t>(-127));
          row.push_back(static_cast<uint8_t>(c * 80 + r / 16 + x / 128));
        }
      }
      rows.push_back(std::move(row));
    }
  }
  for (const auto& row : rows) Put16(out, static_cast<uint32_t>(row.size()));
  for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// PackBits rows of 128-byte runs: run k of row r holds value(r, k).
template <typename Value>
std::vector<uint8_t> RunRows(Value value, std::vector<uint32_t>* counts) {
  std::vector<uint8_t> data;
  for (int r = 0; r < kEdge; ++r) {
    const size_t before = data.size();
    for (int k = 0; k < kEdge / 128; ++k) {
      data.push_back(static_cast<uint8_t>(-127));
      data.push_back(value(r, k));
    }
    counts->push_back(static_cast<uint32_t>(data.size() - before));
  }
  return data;
}

// 10 full-canvas layers: colour in runs, an alpha of bands, a user mask of a centred square; the version info
// resource says there is no real composite and the image data section is empty.
std::vector<uint8_t> MakeLayeredDocument() {
  std::vector<uint8_t> out;
  for (char c : {'8', 'B', 'P', 'S'}) out.push_back(static_cast<uint8_t>(c));
  Put16(out, 1);
  out.insert(out.end(), 6, 0);
  Put16(out, 4);
  Put32(out, kEdge);
  Put32(out, kEdge);
  Put16(out, 8);
  Put16(out, 3);
  Put32(out, 0);
  std::vector<uint8_t> resources = {'8', 'B', 'I', 'M', 0x04, 0x21, 0, 0, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0};
  Put32(out, static_cast<uint32_t>(resources.size()));
  out.insert(out.end(), resources.begin(), resources.end());
  std::vector<uint8_t> records, data;
  Put16(records, 10);
  for (int layer = 0; layer < 10; ++layer) {
    std::vector<std::vector<uint8_t>> channels;
    const int16_t ids[5] = {-1, 0, 1, 2, -2};
    for (int16_t id : ids) {
      std::vector<uint32_t> counts;
      std::vector<uint8_t> rows = RunRows(
          [&](int r, int k) -> uint8_t {
            if (id == -1) return static_cast<uint8_t>(((r / 64 + k + layer) % 4) * 85);
            if (id == -2) return (r > 1024 && r < 3072 && k > 8 && k < 24) ? 255 : 64;
            return static_cast<uint8_t>(layer * 25 + id * 70 + r / 32 + k);
          },
          &counts);
      std::vector<uint8_t> channel;
      Put16(channel, 1);
      for (uint32_t c : counts) Put16(channel, c);
      channel.insert(channel.end(), rows.begin(), rows.end());
      channels.push_back(std::move(channel));
    }
    for (int32_t v : {0, 0, kEdge, kEdge}) Put32(records, static_cast<uint32_t>(v));
    Put16(records, 5);
    for (int c = 0; c < 5; ++c) {
      Put16(records, static_cast<uint16_t>(ids[c]));
      Put32(records, static_cast<uint32_t>(channels[c].size()));
    }
    for (char c : {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm'}) records.push_back(static_cast<uint8_t>(c));
    records.insert(records.end(), {255, 0, 0, 0});
    std::vector<uint8_t> extra;
    Put32(extra, 20);
    for (int32_t v : {0, 0, kEdge, kEdge}) Put32(extra, static_cast<uint32_t>(v));
    extra.insert(extra.end(), {0, 0, 0, 0});
    Put32(extra, 0);
    extra.insert(extra.end(), {0, 0, 0, 0});
    Put32(records, static_cast<uint32_t>(extra.size()));
    records.insert(records.end(), extra.begin(), extra.end());
    for (const auto& channel : channels) data.insert(data.end(), channel.begin(), channel.end());
  }
  Put32(out, static_cast<uint32_t>(4 + records.size() + data.size() + 4));
  Put32(out, static_cast<uint32_t>(records.size() + data.size()));
  out.insert(out.end(), records.begin(), records.end());
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, 0);
  return out;  // no image data
}

void BM_ThumbnailLayered(benchmark::State& state) {
  const std::vector<uint8_t> file = MakeLayeredDocument();
  for (auto _ : state) {
    mirelth::MemorySource source(file.data(), file.size());
    mirelth::PicturePtr picture;
    HBITMAP bitmap = nullptr;
    if (!mirelth::OpenPsd(source, mirelth::OpenOptions{}, &picture, nullptr) ||
        !picture->DrawThumbnail(256, 256, false, &bitmap, nullptr)) {
      state.SkipWithError("thumbnail failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
}

void BM_DecodePsd(benchmark::State& state, bool noisy) {
  const std::vector<uint8_t> file = MakeDocument(noisy);
  for (auto _ : state) {
    mirelth::MemorySource source(file.data(), file.size());
    mirelth::PicturePtr picture;
    HBITMAP bitmap = nullptr;
    BITMAPINFO info{};
    if (!mirelth::OpenPsd(source, mirelth::OpenOptions{}, &picture, nullptr) ||
        !picture->DrawFull(&bitmap, &info, nullptr)) {
      state.SkipWithError("decode failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

}  // namespace

BENCHMARK_CAPTURE(BM_DecodePsd, noisy, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodePsd, flat, false)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailLayered)->Unit(benchmark::kMillisecond);

// A 16384 x 16384 RGB PackBits PSB, written row by row: gradients with some noise in literal stretches of 16
// and runs of 32, as photos pack. Large documents count their rows' bytes in 4 bytes and their layer section
// in 8.
bool WriteLargeDocument(const char* path) {
  constexpr uint32_t kLarge = 16384;
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  std::vector<uint8_t> head;
  for (char c : {'8', 'B', 'P', 'S'}) head.push_back(static_cast<uint8_t>(c));
  Put16(head, 2);
  for (int i = 0; i < 3; ++i) Put16(head, 0);  // reserved
  Put16(head, 3);
  Put32(head, kLarge);
  Put32(head, kLarge);
  Put16(head, 8);
  Put16(head, 3);
  Put32(head, 0);  // colour mode data
  Put32(head, 0);  // image resources
  Put32(head, 0);  // layer and mask information: 8 bytes
  Put32(head, 0);
  Put16(head, 1);
  const std::vector<uint8_t>& random = mirelth::bench::RandomSource();
  auto row = [&](uint32_t c, uint32_t r, std::vector<uint8_t>& out) {
    out.clear();
    for (uint32_t x = 0; x < kLarge;) {
      const size_t k = ((size_t{c} * kLarge + r) * kLarge + x) % (random.size() - 16);
      if (random[k] < 96) {
        out.push_back(15);
        for (uint32_t i = 0; i < 16; ++i) out.push_back(uint8_t((x + i + r + 40 * c) / 64 + (random[k + i] & 7)));
        x += 16;
      } else {
        out.push_back(uint8_t(-31));
        out.push_back(uint8_t((x + r + 40 * c) / 64));
        x += 32;
      }
    }
  };
  // The counts first (every row made twice: once to count, once to write), then the rows.
  std::vector<uint8_t> bytes, counts;
  bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
  for (uint32_t c = 0; c < 3 && ok; ++c) {
    counts.clear();
    for (uint32_t r = 0; r < kLarge; ++r) {
      row(c, r, bytes);
      Put32(counts, static_cast<uint32_t>(bytes.size()));
    }
    ok = std::fwrite(counts.data(), 1, counts.size(), file) == counts.size();
  }
  for (uint32_t c = 0; c < 3 && ok; ++c) {
    for (uint32_t r = 0; r < kLarge && ok; ++r) {
      row(c, r, bytes);
      ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
  }
  return std::fclose(file) == 0 && ok;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-psd") == 0) {
    const std::string kind = argv[3];
    if (kind == "psb") return WriteLargeDocument(argv[2]) ? 0 : 1;
    const std::vector<uint8_t> file = kind == "layered" ? MakeLayeredDocument() : MakeDocument(kind == "noisy");
    FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size()) return 1;
    return std::fclose(out) == 0 ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
