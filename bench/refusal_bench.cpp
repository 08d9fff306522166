// How long hostile files (tests/data/bombs: tiny files claiming huge images, 32768 layers, PackBits
// expansion, 4 GiB metadata, cube flags on short files) take to be refused or drawn through the provider:
// Initialize from the file, then GetThumbnail(256). Single thread.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "server/provider.h"

namespace {

void BM_Bomb(benchmark::State& state, std::string path) {
  std::fflush(stdout);
  for (auto _ : state) {
    IInitializeWithFile* init = nullptr;
    mirelth::CreateThumbnailProvider(nullptr, mirelth::kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
    init->Initialize(mirelth::Utf8ToWide(path).c_str(), 0);
    IThumbnailProvider* provider = nullptr;
    init->QueryInterface(mirelth::kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    if (SUCCEEDED(provider->GetThumbnail(256, &bitmap, &alpha))) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    provider->Release();
    init->Release();
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const auto& entry : std::filesystem::directory_iterator(MIRELTH_BOMBS_DIR)) {
    benchmark::RegisterBenchmark(("BM_Bomb/" + entry.path().filename().string()).c_str(), BM_Bomb,
                                 entry.path().string())
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
