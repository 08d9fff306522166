// The provider object: identity and counts through every interface, the name rule, and the three
// Initialize paths with fake streams and items.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "server/provider.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

WideString W(const std::string& text) { return Utf8ToWide(text); }

// Counts the server locks a provider takes.
struct CountingFactory final : IClassFactory {
  std::atomic<int> locks{0};
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    locks += lock ? 1 : -1;
    return S_OK;
  }
};

// A memory stream with knobs for the awkward cases.
struct FakeStream final : IStream {
  std::vector<uint8_t> data;
  std::string name = "texture.dds";
  bool hasName = true;
  bool statFails = false;
  HRESULT readFailsWith = S_OK;  // returned by the first Read when not S_OK
  ULONG chunk = 0;               // at most this many bytes a Read (0: all asked)
  uint64_t claimedSize = UINT64_MAX;  // Stat size when set; otherwise data.size()
  size_t position = 0;
  std::atomic<ULONG> refs{1};

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (readFailsWith != S_OK) return readFailsWith;
    size_t available = data.size() - position;
    ULONG give = static_cast<ULONG>(count < available ? count : available);
    if (chunk && give > chunk) give = chunk;
    std::memcpy(buffer, data.data() + position, give);
    position += give;
    if (read) *read = give;
    return give < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (statFails) return STG_E_READFAULT;
    std::memset(stat, 0, sizeof *stat);
    stat->cbSize.QuadPart = claimedSize != UINT64_MAX ? claimedSize : data.size();
    if (hasName) {
      const WideString wide = W(name);
      stat->pwcsName = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
      std::memcpy(stat->pwcsName, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

struct FakeItem final : IShellItem {
  std::string path;
  bool fails = false;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) override {
    *name = nullptr;
    if (fails || form != SIGDN_FILESYSPATH) return E_INVALIDARG;
    const WideString wide = W(path);
    *name = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
    std::memcpy(*name, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
};

// A provider whose concrete object the test can look into.
struct Provider {
  MirelthThumbnailProvider* object = nullptr;
  IThumbnailProvider* thumbnail = nullptr;
  explicit Provider(IClassFactory* factory = nullptr) {
    EXPECT_EQ(CreateThumbnailProvider(factory, kIidIThumbnailProvider, reinterpret_cast<void**>(&thumbnail)), S_OK);
    object = static_cast<MirelthThumbnailProvider*>(thumbnail);
  }
  ~Provider() {
    if (thumbnail) thumbnail->Release();
  }
  template <typename T>
  T* As(const GUID& iid) {
    T* out = nullptr;
    EXPECT_EQ(thumbnail->QueryInterface(iid, reinterpret_cast<void**>(&out)), S_OK);
    return out;
  }
};

TEST(Provider, OneIdentityAndOneCountForEveryInterface) {
  CountingFactory factory;
  {
    Provider p(&factory);
    EXPECT_EQ(factory.locks, 1);
    IUnknown* unknown = p.As<IUnknown>(kIidIUnknown);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(p.thumbnail));
    const GUID secondary[] = {kIidIInitializeWithStream, kIidIInitializeWithFile, kIidIInitializeWithItem};
    for (const GUID& iid : secondary) {
      IUnknown* other = p.As<IUnknown>(iid);
      EXPECT_NE(static_cast<void*>(other), static_cast<void*>(p.thumbnail));
      IUnknown* back = nullptr;
      ASSERT_EQ(other->QueryInterface(kIidIUnknown, reinterpret_cast<void**>(&back)), S_OK);
      EXPECT_EQ(static_cast<void*>(back), static_cast<void*>(p.thumbnail));
      back->Release();
      other->Release();
    }
    unknown->Release();
    // AddRef through one interface, Release through another: one count.
    IInitializeWithFile* file = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    EXPECT_EQ(p.thumbnail->AddRef(), 3u);
    EXPECT_EQ(file->Release(), 2u);
    EXPECT_EQ(p.thumbnail->Release(), 1u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(p.thumbnail->QueryInterface(kIidIClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(p.thumbnail->QueryInterface(kIidIUnknown, nullptr), E_POINTER);
  }
  EXPECT_EQ(factory.locks, 0);
}

TEST(Provider, FileTypeFromTheFilesOwnName) {
  const struct {
    const char* name;
    int32_t type;
  } cases[] = {
      {"C:\\Art\\HERO.DDS", kFileDds}, {"C:\\Art\\hero.Psd", kFilePsd}, {"x.tga.dds", kFileDds},
      {"C:\\work.psd\\sky.dds", kFileDds}, {"/home/a.pvr/sky", kFileNone}, {"tex.pvrz", kFilePvr},
      {"notes.ddsx", kFileDds}, {"C:\\Art\\hero.png", kFileNone}, {"", kFileNone},
      {".dds", kFileDds}, {"a.TGA", kFileTga}, {"dds", kFileNone}, {"a.psd.pvr.tga", kFileTga},
  };
  for (const auto& c : cases) EXPECT_EQ(FileTypeFromName(W(c.name).c_str()), c.type) << c.name;
  EXPECT_EQ(FileTypeFromName(nullptr), kFileNone);
}

TEST(Provider, StreamIsReadWholeThroughShortReads) {
  FakeStream stream;
  stream.data = test::RandomBytes(1000, 3);
  stream.chunk = 7;
  stream.name = "C:\\textures\\rock.PVR";
  Provider p;
  IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
  EXPECT_EQ(init->Initialize(&stream, STGM_READ), S_OK);
  EXPECT_EQ(stream.refs, 1u);
  ASSERT_EQ(p.object->fileSizeForTests(), 1000u);
  EXPECT_EQ(0, std::memcmp(p.object->fileDataForTests(), stream.data.data(), 1000));
  int32_t type = 0;
  IMirelthThumbnailDetails* details = p.As<IMirelthThumbnailDetails>(kIidIMirelthThumbnailDetails);
  details->GetFileType(&type);
  EXPECT_EQ(type, kFilePvr);
  // A second Initialize is refused and the first data stays.
  FakeStream other;
  other.data = {1, 2, 3};
  EXPECT_EQ(init->Initialize(&other, STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
  EXPECT_EQ(p.object->fileSizeForTests(), 1000u);
  details->Release();
  init->Release();
}

TEST(Provider, StreamFailuresAndEdges) {
  struct Case {
    const char* name;
    void (*setup)(FakeStream&);
    HRESULT expected;
    uint32_t size;  // kept size on success
  } cases[] = {
      {"Stat fails", [](FakeStream& s) { s.statFails = true; }, E_FAIL, 0},
      {"Read fails", [](FakeStream& s) { s.readFailsWith = STG_E_READFAULT; }, E_FAIL, 0},
      {"no name", [](FakeStream& s) { s.hasName = false; }, S_OK, 100},
      {"positioned past its start", [](FakeStream& s) { s.position = 40; }, S_OK, 60},
      {"claims more than it has", [](FakeStream& s) { s.claimedSize = 150; }, S_OK, 100},
      {"4 GiB or more", [](FakeStream& s) { s.claimedSize = uint64_t{1} << 32; }, E_FAIL, 0},
      {"empty", [](FakeStream& s) { s.data.clear(); }, S_OK, 0},
  };
  for (const Case& c : cases) {
    FakeStream stream;
    stream.data = test::RandomBytes(100, 5);
    c.setup(stream);
    Provider p;
    IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
    EXPECT_EQ(init->Initialize(&stream, STGM_READ), c.expected) << c.name;
    EXPECT_EQ(stream.refs, 1u) << c.name;
    if (c.expected == S_OK) {
      EXPECT_NE(p.object->fileDataForTests(), nullptr) << c.name;
      EXPECT_EQ(p.object->fileSizeForTests(), c.size) << c.name;
    } else {
      EXPECT_EQ(p.object->fileDataForTests(), nullptr) << c.name;
    }
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    EXPECT_EQ(p.thumbnail->GetThumbnail(32, &bitmap, &alpha), E_FAIL) << c.name;
    init->Release();
  }
  Provider p;
  IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
  EXPECT_EQ(init->Initialize(static_cast<IStream*>(nullptr), STGM_READ), E_FAIL);
  init->Release();
}

TEST(Provider, FilePathAndItemPath) {
  const auto bytes = test::RandomBytes(300, 9);
  const std::string path = test::WriteTempFile("provider-file.dds", bytes);
  {
    Provider p;
    IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    EXPECT_EQ(init->Initialize(W(path).c_str(), STGM_READ), S_OK);
    ASSERT_EQ(p.object->fileSizeForTests(), 300u);
    EXPECT_EQ(0, std::memcmp(p.object->fileDataForTests(), bytes.data(), 300));
    EXPECT_EQ(init->Initialize(W(path).c_str(), STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    init->Release();
  }
  {
    Provider p;
    IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    EXPECT_EQ(init->Initialize(W(path + ".missing").c_str(), STGM_READ), E_FAIL);
    EXPECT_EQ(init->Initialize(static_cast<LPCWSTR>(nullptr), STGM_READ), E_FAIL);
    // After a failed open the object can still be initialised.
    EXPECT_EQ(init->Initialize(W(path).c_str(), STGM_READ), S_OK);
    init->Release();
  }
  {
    const std::string empty = test::WriteTempFile("provider-empty.dds", {});
    Provider p;
    IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    EXPECT_EQ(init->Initialize(W(empty).c_str(), STGM_READ), S_OK);
    EXPECT_NE(p.object->fileDataForTests(), nullptr);
    EXPECT_EQ(p.object->fileSizeForTests(), 0u);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    EXPECT_EQ(p.thumbnail->GetThumbnail(64, &bitmap, &alpha), E_FAIL);
    init->Release();
  }
  {
    Provider p;
    IInitializeWithItem* init = p.As<IInitializeWithItem>(kIidIInitializeWithItem);
    FakeItem failing;
    failing.fails = true;
    EXPECT_EQ(init->Initialize(&failing, STGM_READ), E_FAIL);
    FakeItem missing;
    missing.path = path + ".missing";
    EXPECT_EQ(init->Initialize(&missing, STGM_READ), E_FAIL);
    FakeItem item;
    item.path = path;
    EXPECT_EQ(init->Initialize(&item, STGM_READ), S_OK);
    EXPECT_EQ(p.object->fileSizeForTests(), 300u);
    EXPECT_EQ(init->Initialize(static_cast<IShellItem*>(nullptr), STGM_READ),
              HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    init->Release();
  }
}

#if !defined(_WIN32)
TEST(Provider, AllocationFailureIsOutOfMemory) {
  FakeStream stream;
  stream.data = test::RandomBytes(64, 1);
  Provider p;
  IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
  standin::FailHeapAllocAfter(1);
  EXPECT_EQ(init->Initialize(&stream, STGM_READ), E_OUTOFMEMORY);
  standin::FailHeapAllocAfter(0);
  EXPECT_EQ(p.object->fileDataForTests(), nullptr);
  EXPECT_EQ(stream.refs, 1u);
  init->Release();
}
#endif

}  // namespace
}  // namespace mirelth
