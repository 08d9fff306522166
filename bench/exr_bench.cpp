// OpenEXR thumbnails of 4096 x 4096 half RGBA pictures: a PIZ scanline file (every chunk under the samples is
// unpacked, so the 256 thumbnail decodes nearly all of them) and a tiled mipmap (ZIP, 64 x 64 tiles: the thumbnail
// reads the 256 level's tiles only), in process through the provider. The inputs are written with libopenexr;
// `exr_bench --write piz|tiled PATH` writes one for the whole-process comparison in scripts/bench.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfTiledOutputFile.h>
#include <benchmark/benchmark.h>
#include <half.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server/provider.h"

namespace {

constexpr int kEdge = 4096;

// A smooth sky with a sun (values up to about 50) and fine grain, so that PIZ and ZIP pack it as they would a render.
void Fill(int w, int h, int level, std::vector<half>* pixels) {
  pixels->resize(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const float fx = (static_cast<float>(x) * (1 << level)) / kEdge,
                  fy = (static_cast<float>(y) * (1 << level)) / kEdge;
      const float d = (fx - 0.7f) * (fx - 0.7f) + (fy - 0.3f) * (fy - 0.3f);
      const float sun = 50.0f * std::exp(-d * 400.0f),
                  grain = static_cast<float>((x * 7919 + y * 104729) % 97) / 9700.0f;
      half* p = pixels->data() + (static_cast<size_t>(y) * w + x) * 4;
      p[0] = 0.2f + 0.5f * fy + sun + grain, p[1] = 0.3f + 0.4f * fy + sun, p[2] = 0.8f - 0.2f * fy + sun + grain;
      p[3] = 1.0f;
    }
  }
}

Imf::FrameBuffer Frame(std::vector<half>& pixels, int originX, int originY, int w) {
  Imf::FrameBuffer fb;
  const char* names[4] = {"R", "G", "B", "A"};
  for (int c = 0; c < 4; ++c) {
    char* base = reinterpret_cast<char*>(pixels.data() + c) - (static_cast<ptrdiff_t>(originY) * w + originX) * 8;
    fb.insert(names[c], Imf::Slice(Imf::HALF, base, 8, 8 * static_cast<size_t>(w)));
  }
  return fb;
}

bool Write(const std::string& kind, const std::string& path) {
  Imf::Header header(kEdge, kEdge);
  for (const char* name : {"R", "G", "B", "A"}) header.channels().insert(name, Imf::Channel(Imf::HALF));
  std::vector<half> pixels;
  if (kind == "piz") {
    header.compression() = Imf::PIZ_COMPRESSION;
    Imf::OutputFile file(path.c_str(), header);
    Fill(kEdge, kEdge, 0, &pixels);
    file.setFrameBuffer(Frame(pixels, 0, 0, kEdge));
    file.writePixels(kEdge);
    return true;
  }
  header.compression() = Imf::ZIP_COMPRESSION;
  header.setTileDescription(Imf::TileDescription(64, 64, Imf::MIPMAP_LEVELS));
  Imf::TiledOutputFile file(path.c_str(), header);
  for (int level = 0; level < file.numLevels(); ++level) {
    const int w = file.levelWidth(level), h = file.levelHeight(level);
    Fill(w, h, level, &pixels);
    file.setFrameBuffer(Frame(pixels, 0, 0, w));
    file.writeTiles(0, file.numXTiles(level) - 1, 0, file.numYTiles(level) - 1, level);
  }
  return true;
}

struct Loaded {
  IThumbnailProvider* provider = nullptr;
  explicit Loaded(const std::string& kind) {
    const std::string path = std::string(P_tmpdir) + "/mirelth-bench-" + kind + ".exr";
    Write(kind, path);
    IInitializeWithFile* init = nullptr;
    mirelth::CreateThumbnailProvider(nullptr, mirelth::kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
    init->Initialize(mirelth::Utf8ToWide(path).c_str(), 0);
    init->QueryInterface(mirelth::kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    init->Release();
    std::remove(path.c_str());
  }
  ~Loaded() { provider->Release(); }
};

void BM_ExrThumbnail(benchmark::State& state, const char* kind) {
  static Loaded piz("piz"), tiled("tiled");
  Loaded& loaded = std::string(kind) == "piz" ? piz : tiled;
  for (auto _ : state) {
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    if (FAILED(loaded.provider->GetThumbnail(256, &bitmap, &alpha))) {
      state.SkipWithError("thumbnail failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
}
BENCHMARK_CAPTURE(BM_ExrThumbnail, piz_scanline_4096, "piz")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExrThumbnail, zip_tiled_mipmap_4096, "tiled")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write") == 0) return Write(argv[2], argv[3]) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
