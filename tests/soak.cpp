// The soak: what Explorer and its preview host do for hours, in one process. Threads take files in turn from the
// samples and the fuzz corpora and drive the thumbnail provider, the property handler and the preview pane over
// each (a stream named like the file), until the time is up. It reports resident memory at the start (after two
// passes over every file), at a quarter of the time, its peak and at the end, the slowest call and its file, and the
// heap blocks and GDI objects left; it fails when memory grows from a quarter of the time to the end by more than a
// margin, when anything is left, or when a call takes longer than the bound. Built natively only; scripts/test runs it
// briefly under AddressSanitizer (leaks included).
//   mirelth_soak SECONDS THREADS DIRECTORY...
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/containers.h"
#include "fuzz/memory_stream.h"
#include "server/module.h"
#include "server/preview_handler.h"
#include "server/property_handler.h"
#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

struct Input {
  std::string path;
  WideString name;  // what the stream says it is called
  std::vector<uint8_t> bytes;
};

// Every file under the directories. A corpus directory named after a container (dds, exr, ...) names its files
// with that extension; files of other corpora take the table's extensions in turn.
std::vector<Input> Inputs(int count, char** directories) {
  size_t rows = 0;
  const Container* table = Containers(&rows);
  std::vector<Input> inputs;
  for (int d = 0; d < count; ++d) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directories[d])) {
      if (!entry.is_regular_file()) continue;
      Input input;
      input.path = entry.path().string();
      std::string name = entry.path().filename().string();
      std::string parent = entry.path().parent_path().filename().string();
      parent.insert(parent.begin(), '.');
      const Container* byDirectory = nullptr;
      for (size_t r = 0; r < rows; ++r) {
        if (parent == table[r].extension) byDirectory = &table[r];
      }
      if (byDirectory) {
        name += byDirectory->extension;
      } else if (FileTypeFromName(Utf8ToWide(name).c_str()) == FileType::kNone) {
        name += table[inputs.size() % rows].extension;
      }
      input.name = Utf8ToWide(name);
      input.bytes = test::ReadFileBytes(input.path);
      inputs.push_back(std::move(input));
    }
  }
  return inputs;
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4;
}

struct Slowest {
  std::mutex lock;
  double ms = 0;
  std::string file, call;
  void Note(double took, const Input& input, const char* what) {
    const std::lock_guard<std::mutex> hold(lock);
    if (took > ms) ms = took, file = input.path, call = what;
  }
};

template <typename Call>
void Timed(Slowest& slowest, const Input& input, const char* what, Call call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  slowest.Note(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(), input,
               what);
}

void Drive(const Input& input, uint32_t size, Slowest& slowest) {
  testing::MemoryStream stream(input.bytes.data(), input.bytes.size(), input.name.c_str());
  Timed(slowest, input, "GetThumbnail", [&] {
    IInitializeWithStream* init = nullptr;
    if (FAILED(CreateThumbnailProvider(nullptr, kIidIInitializeWithStream, reinterpret_cast<void**>(&init)))) return;
    if (SUCCEEDED(init->Initialize(&stream, 0))) {
      IThumbnailProvider* provider = nullptr;
      init->QueryInterface(kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
      HBITMAP bitmap = nullptr;
      WTS_ALPHATYPE alpha;
      if (SUCCEEDED(provider->GetThumbnail(size, &bitmap, &alpha))) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
      provider->Release();
    }
    init->Release();
  });
  stream.position = 0;
  Timed(slowest, input, "property store", [&] {
    IClassFactory* factory = nullptr;
    if (DllGetClassObject(kClsidMirelthProperties, kIidIClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
      return;
    IInitializeWithStream* init = nullptr;
    factory->CreateInstance(nullptr, kIidIInitializeWithStream, reinterpret_cast<void**>(&init));
    factory->Release();
    if (!init) return;
    if (SUCCEEDED(init->Initialize(&stream, 0))) {
      IPropertyStore* store = nullptr;
      init->QueryInterface(kIidIPropertyStore, reinterpret_cast<void**>(&store));
      DWORD count = 0;
      store->GetCount(&count);
      for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key{};
        PROPVARIANT value;
        if (store->GetAt(i, &key) == S_OK && store->GetValue(key, &value) == S_OK) PropVariantClear(&value);
      }
      store->Release();
    }
    init->Release();
  });
  stream.position = 0;
  Timed(slowest, input, "preview pane", [&] {
    IPreviewHandler* handler = nullptr;
    if (FAILED(CreatePreviewHandler(nullptr, kIidIPreviewHandler, reinterpret_cast<void**>(&handler)))) return;
    IInitializeWithStream* init = nullptr;
    handler->QueryInterface(kIidIInitializeWithStream, reinterpret_cast<void**>(&init));
    if (SUCCEEDED(init->Initialize(&stream, 0))) {
      RECT rect{0, 0, static_cast<LONG>(size * 2), static_cast<LONG>(size + 40)};
      handler->SetWindow(reinterpret_cast<HWND>(&rect), &rect);
      handler->DoPreview();
      rect.right = static_cast<LONG>(size);
      handler->SetRect(&rect);
      handler->Unload();
    }
    init->Release();
    handler->Release();
  });
}

}  // namespace
}  // namespace mirelth

int main(int argc, char** argv) {
  using namespace mirelth;
  if (argc < 4) {
    std::fprintf(stderr, "usage: mirelth_soak SECONDS THREADS DIRECTORY...\n");
    return 2;
  }
  const double seconds = std::atof(argv[1]);
  const int threads = std::max(1, std::atoi(argv[2]));
  const std::vector<Input> inputs = Inputs(argc - 3, argv + 3);
  if (inputs.empty()) return 2;
  const test::QuietStdout quiet;  // PSD layer listings
  Slowest slowest;
  const long gdiBefore = standin::LiveGdiObjects(), heapBefore = standin::LiveHeapBlocks();
  std::atomic<long> start{0}, settled{0}, peak{ResidentKiB()};
  std::atomic<size_t> next{0}, calls{0};
  const auto begun = std::chrono::steady_clock::now();
  const auto deadline = begun + std::chrono::duration<double>(seconds);
  const auto settle = begun + std::chrono::duration<double>(seconds / 4);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      while (std::chrono::steady_clock::now() < deadline) {
        const size_t i = next.fetch_add(1);
        if (i == 2 * inputs.size()) start = ResidentKiB();
        if (settled == 0 && std::chrono::steady_clock::now() > settle) {
          long none = 0;
          settled.compare_exchange_strong(none, ResidentKiB());
        }
        Drive(inputs[i % inputs.size()], 32 + static_cast<uint32_t>(i * 37 % 224), slowest);
        calls += 3;
        if (i % 64 == 0) {
          const long now = ResidentKiB();
          long seen = peak.load();
          while (now > seen && !peak.compare_exchange_weak(seen, now)) {
          }
        }
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  const long end = ResidentKiB();
  if (start == 0 || settled == 0) {
    std::fprintf(stderr, "soak: too short for two passes over %zu files\n", inputs.size());
    return 2;
  }
  const long gdiLeft = standin::LiveGdiObjects() - gdiBefore, heapLeft = standin::LiveHeapBlocks() - heapBefore;
  std::fprintf(
      stderr,
      "soak: %zu files, %d threads, %.0f s, %zu calls (%zu passes); resident memory start %ld KiB, at a quarter "
      "of the time %ld KiB, peak %ld KiB, end %ld KiB; slowest call %.1f ms (%s of %s); GDI objects left %ld, heap "
      "blocks left %ld\n",
      inputs.size(), threads, seconds, calls.load(), next.load() / inputs.size(), start.load(), settled.load(),
      peak.load(), end, slowest.ms, slowest.call.c_str(), slowest.file.c_str(), gdiLeft, heapLeft);
  // Flat: from a quarter of the time on (the allocator's arenas have grown to what the files need by then, and
  // keep freed pages) the end stays within 64 MiB of it; nothing left; every call bounded.
  const bool flat = end - settled <= 64 * 1024;
  const bool bounded = slowest.ms <= 30000;
  if (!flat || gdiLeft != 0 || heapLeft != 0 || !bounded) {
    std::fprintf(stderr, "soak: FAILED (%s%s%s)\n", flat ? "" : "memory grew; ",
                 gdiLeft || heapLeft ? "objects left; " : "", bounded ? "" : "a call took too long");
    return 1;
  }
  return 0;
}
