// Resource discipline under load: many GetThumbnail calls over good and hostile inputs leave no bitmap, DC or
// heap block behind, and providers used on several threads at once (one object per thread) agree with a
// single-threaded run while the module count stays exact. The thread tests also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "server/module.h"
#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

struct Input {
  std::string path;
  std::vector<uint8_t> bytes;
};

// Samples of every container, hostile files, and corrupted copies of the samples.
std::vector<Input> Inputs() {
  std::vector<Input> inputs;
  const char* files[] = {"dds-im-dxt1-mips-photo-256x64.dds",       "dds-gimp-rgba32-shapes-5x3.dds",
                         "pvr3-pvrtextool-rgba4444-ramp-33x17.pvr", "psd-im-rgba-rle-shapes-6x7.psd",
                         "psd-im-cmyk-rle-photo-33x17.psd",         "pvr2-wrap-dxt5-im-shapes-6x7.pvr"};
  const char* bombs[] = {"dds-65535x65535-dxt1.dds", "psd-16384x16384-empty-rows.psd", "psd-32768-layers.psd",
                         "pvr-metadata-4gib.pvr"};
  for (const char* file : files)
    inputs.push_back({test::SamplePath(file), test::ReadFileBytes(test::SamplePath(file))});
  for (const char* bomb : bombs) {
    const std::string path = test::TestDataPath(std::string("bombs/") + bomb);
    inputs.push_back({path, test::ReadFileBytes(path)});
  }
  const size_t originals = inputs.size();
  for (size_t i = 0; i < originals; ++i) {
    Input corrupted = inputs[i];
    const auto noise = test::RandomBytes(corrupted.bytes.size(), static_cast<uint32_t>(i) + 1);
    for (size_t k = 0; k < corrupted.bytes.size(); k += 7) corrupted.bytes[k] ^= noise[k];
    const std::string name = corrupted.path.substr(corrupted.path.find_last_of("/\\") + 1);
    corrupted.path = test::WriteTempFile("corrupted-" + name, corrupted.bytes);
    inputs.push_back(corrupted);
  }
  return inputs;
}

// One thumbnail through the file path; the pixels (or nothing) it gave.
std::vector<uint32_t> Thumbnail(const std::string& path, UINT cx, HRESULT* result) {
  IInitializeWithFile* init = nullptr;
  std::vector<uint32_t> pixels;
  *result = CreateThumbnailProvider(nullptr, kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
  if (FAILED(*result)) return pixels;
  *result = init->Initialize(Utf8ToWide(path).c_str(), STGM_READ);
  if (SUCCEEDED(*result)) {
    IThumbnailProvider* provider = nullptr;
    init->QueryInterface(kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    *result = provider->GetThumbnail(cx, &bitmap, &alpha);
    if (SUCCEEDED(*result)) {
      pixels = test::ImageFromBitmap(bitmap).pixels;
      DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    }
    provider->Release();
  }
  init->Release();
  return pixels;
}

TEST(Hardening, TenThousandThumbnailsLeaveNothingBehind) {
  const std::vector<Input> inputs = Inputs();
  const long gdiBefore = CountLiveGdiObjects();
#if !defined(_WIN32)
  const long heapBefore = standin::LiveHeapBlocks();
#endif
  int drawn = 0;
  {
    const test::QuietStdout quiet;  // PSD layer listings
    for (int i = 0; i < 10000; ++i) {
      HRESULT result;
      Thumbnail(inputs[i % inputs.size()].path, 1 + (i * 37) % 200, &result);
      if (SUCCEEDED(result)) ++drawn;
    }
  }
  EXPECT_GT(drawn, 1000);
  EXPECT_EQ(CountLiveGdiObjects(), gdiBefore);
#if !defined(_WIN32)
  EXPECT_EQ(standin::LiveHeapBlocks(), heapBefore);
#endif
}

TEST(Threads, ProvidersOnSeveralThreadsAgreeWithOneThread) {
  const std::vector<Input> inputs = Inputs();
  std::vector<std::vector<uint32_t>> expected(inputs.size());
  std::vector<HRESULT> results(inputs.size());
  std::atomic<int> mismatches{0};
  {
    const test::QuietStdout quiet;  // PSD layer listings
    for (size_t i = 0; i < inputs.size(); ++i) expected[i] = Thumbnail(inputs[i].path, 48, &results[i]);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int round = 0; round < 25; ++round) {
          const size_t i = static_cast<size_t>(t * 7 + round) % inputs.size();
          HRESULT result;
          if (Thumbnail(inputs[i].path, 48, &result) != expected[i] || result != results[i]) ++mismatches;
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(Threads, ModuleCountUnderConcurrentReferencesAndLocks) {
  ASSERT_EQ(ModuleCount(), 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) {
        IClassFactory* factory = nullptr;
        DllGetClassObject(kClsidMirelthThumbnail, kIidIClassFactory, reinterpret_cast<void**>(&factory));
        factory->AddRef();
        factory->LockServer(TRUE);
        IThumbnailProvider* provider = nullptr;
        factory->CreateInstance(nullptr, kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
        provider->AddRef();
        provider->Release();
        factory->LockServer(FALSE);
        factory->Release();
        factory->Release();
        provider->Release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ModuleCount(), 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace mirelth
