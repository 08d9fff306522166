// The provider object: identity and counts through every interface, the name rule, and the three
// Initialize paths with fake streams and items.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
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

// A stream with knobs for the awkward cases. Its bytes are `data`, or, beyond it up to `claimedSize`, a pattern
// from `pattern` (so that a stream can claim gigabytes without holding them).
struct FakeStream final : IStream {
  std::vector<uint8_t> data;
  std::string name = "texture.dds";
  bool hasName = true;
  bool statFails = false;
  bool seekFails = false;
  HRESULT readFailsWith = S_OK;  // returned by a Read once `failAfter` bytes were read
  uint64_t failAfter = 0;
  ULONG chunk = 0;                    // at most this many bytes a Read (0: all asked)
  uint64_t claimedSize = UINT64_MAX;  // Stat size when set; otherwise data.size()
  uint8_t (*pattern)(uint64_t offset) = nullptr;
  uint64_t position = 0;
  uint64_t served = 0;
  std::atomic<ULONG> refs{1};

  uint64_t Size() const { return claimedSize != UINT64_MAX ? claimedSize : data.size(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (readFailsWith != S_OK && served >= failAfter) return readFailsWith;
    const uint64_t end = pattern ? Size() : data.size();
    const uint64_t available = position < end ? end - position : 0;
    ULONG give = static_cast<ULONG>(count < available ? count : available);
    if (chunk && give > chunk) give = chunk;
    auto* out = static_cast<uint8_t*>(buffer);
    for (ULONG i = 0; i < give; ++i) {
      const uint64_t at = position + i;
      out[i] = at < data.size() ? data[at] : pattern(at);
    }
    position += give;
    served += give;
    if (read) *read = give;
    return give < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* reached) override {
    if (seekFails || origin != STREAM_SEEK_SET || move.QuadPart < 0) return STG_E_READFAULT;
    position = static_cast<uint64_t>(move.QuadPart);
    if (reached) reached->QuadPart = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
    if (statFails) return STG_E_READFAULT;
    std::memset(stat, 0, sizeof *stat);
    stat->cbSize.QuadPart = Size();
    if (hasName && flags != STATFLAG_NONAME) {
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
  using enum FileType;
  const struct {
    const char* name;
    FileType type;
  } cases[] = {
      {"C:\\Art\\HERO.DDS", kDds},
      {"C:\\Art\\hero.Psd", kPsd},
      {"x.tga.dds", kDds},
      {"C:\\work.psd\\sky.dds", kDds},
      {"/home/a.pvr/sky", kNone},
      {"tex.pvrz", kPvr},
      {"notes.ddsx", kDds},
      {"C:\\Art\\hero.png", kNone},
      {"", kNone},
      {".dds", kDds},
      {"a.TGA", kTga},
      {"dds", kNone},
      {"a.psd.pvr.tga", kTga},
      {"big.PSB", kPsb},
  };
  for (const auto& c : cases) EXPECT_EQ(FileTypeFromName(W(c.name).c_str()), c.type) << c.name;
  EXPECT_EQ(FileTypeFromName(nullptr), kNone);
}

// A 6 x 4 BGRA DDS whose pixel (x, y) is 0xFF00yyxx.
std::vector<uint8_t> SmallDds() {
  test::DdsSpec spec;
  spec.width = 6;
  spec.height = 4;
  std::vector<uint8_t> payload;
  for (uint8_t y = 0; y < 4; ++y) {
    for (uint8_t x = 0; x < 6; ++x) payload.insert(payload.end(), {x, y, 0, 0xFF});
  }
  return test::MakeDds(spec, payload);
}

// The full-size image through a provider's details interface, or the failure.
HRESULT FullImage(Provider& p, test::Image* image, DecodeFailure* failure) {
  IMirelthThumbnailDetails* details = p.As<IMirelthThumbnailDetails>(kIidIMirelthThumbnailDetails);
  HBITMAP bitmap = nullptr;
  const HRESULT result = details->GetFullImage(&bitmap);
  details->GetLastFailure(failure);
  if (SUCCEEDED(result)) {
    *image = test::ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  details->Release();
  return result;
}

TEST(Provider, StreamIsKeptAndReadThroughShortReads) {
  FakeStream stream;
  stream.data = SmallDds();
  stream.chunk = 7;
  stream.name = "C:\\textures\\rock.DDS";
  {
    Provider p;
    IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
    EXPECT_EQ(init->Initialize(&stream, STGM_READ), S_OK);
    EXPECT_EQ(stream.refs, 2u);  // one reference held, nothing read yet
    EXPECT_EQ(stream.served, 0u);
    test::Image image;
    DecodeFailure failure;
    ASSERT_EQ(FullImage(p, &image, &failure), S_OK) << DescribeFailure(failure);
    EXPECT_EQ(image.at(5, 3), 0xFF000305u);
    // A second Initialize is refused; the first stream stays.
    FakeStream other;
    other.data = {1, 2, 3};
    EXPECT_EQ(init->Initialize(&other, STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    EXPECT_EQ(other.refs, 1u);
    ASSERT_EQ(FullImage(p, &image, &failure), S_OK);
    init->Release();
  }
  EXPECT_EQ(stream.refs, 1u);  // released with the provider
}

TEST(Provider, StreamFailuresRefuseTheDrawingWithAReason) {
  struct Case {
    const char* name;
    void (*setup)(FakeStream&);
    HRESULT initialize;
    FailureKind kind;  // of the drawing afterwards (None: it draws)
  } cases[] = {
      {"Stat fails", [](FakeStream& s) { s.statFails = true; }, E_FAIL, FailureKind::NoDecoder},
      {"Read fails at once", [](FakeStream& s) { s.readFailsWith = STG_E_READFAULT; }, S_OK, FailureKind::ReadFailed},
      {"Read fails midway",
       [](FakeStream& s) {
         s.readFailsWith = STG_E_READFAULT;
         s.failAfter = 150;
         s.chunk = 16;
       },
       S_OK, FailureKind::ReadFailed},
      {"Seek fails", [](FakeStream& s) { s.seekFails = true; }, S_OK, FailureKind::ReadFailed},
      {"no name", [](FakeStream& s) { s.hasName = false; }, S_OK, FailureKind::NoDecoder},
      {"claims more than it has", [](FakeStream& s) { s.claimedSize = s.data.size() + 50; }, S_OK, FailureKind::None},
      {"shorter than its header says", [](FakeStream& s) { s.data.resize(150); }, S_OK, FailureKind::Truncated},
      {"empty", [](FakeStream& s) { s.data.clear(); }, S_OK, FailureKind::Truncated},
      {"read in 1-byte pieces", [](FakeStream& s) { s.chunk = 1; }, S_OK, FailureKind::None},
  };
  // A DDS, and a Radiance file, whose scanlines come through a reader with its own window.
  const struct {
    const char* name;
    std::vector<uint8_t> data;
  } files[] = {{"texture.dds", SmallDds()},
               {"lamp.hdr", test::ReadFileBytes(test::SamplePath("hdr-oiio-rle-lamp-48x40.hdr"))}};
  for (const auto& file : files) {
    for (const Case& c : cases) {
      SCOPED_TRACE(file.name);
      FakeStream stream;
      stream.data = file.data;
      stream.name = file.name;
      c.setup(stream);
      {
        Provider p;
        IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
        EXPECT_EQ(init->Initialize(&stream, STGM_READ), c.initialize) << c.name;
        test::Image image;
        DecodeFailure failure;
        const HRESULT drawn = FullImage(p, &image, &failure);
        EXPECT_EQ(failure.kind, c.kind) << c.name << ": " << DescribeFailure(failure);
        EXPECT_EQ(drawn, c.kind == FailureKind::None ? S_OK : E_FAIL) << c.name;
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        EXPECT_EQ(p.thumbnail->GetThumbnail(32, &bitmap, &alpha), drawn) << c.name;
        if (bitmap) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
        init->Release();
      }
      EXPECT_EQ(stream.refs, 1u) << c.name;
    }
  }
  Provider p;
  IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
  EXPECT_EQ(init->Initialize(static_cast<IStream*>(nullptr), STGM_READ), E_FAIL);
  init->Release();
}

// A DDS of 65536 x 32768 BGRA pixels (8 GiB) served by a stream that holds only its header: every pixel below
// 4 GiB reads black, every pixel above white. Only the sampled rows are read.
uint8_t HalfWhite(uint64_t offset) { return offset >= 128 + (uint64_t{4} << 30) ? 0xFF : (offset % 4 == 3 ? 0xFF : 0); }

TEST(Provider, StreamsLargerThan4GiBAreReadAtTheirOffsets) {
  test::DdsSpec spec;
  spec.width = 65536;
  spec.height = 32768;
  FakeStream stream;
  stream.data = test::MakeDds(spec, {});
  stream.claimedSize = 128 + uint64_t{65536} * 32768 * 4;
  stream.pattern = HalfWhite;
  Provider p;
  IInitializeWithStream* init = p.As<IInitializeWithStream>(kIidIInitializeWithStream);
  ASSERT_EQ(init->Initialize(&stream, STGM_READ), S_OK);
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  ASSERT_EQ(p.thumbnail->GetThumbnail(64, &bitmap, &alpha), S_OK);
  const test::Image image = test::ImageFromBitmap(bitmap);
  DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  ASSERT_EQ(image.width, 64);
  ASSERT_EQ(image.height, 32);
  EXPECT_EQ(image.at(10, 0), 0xFF000000u);   // rows of the first half: black
  EXPECT_EQ(image.at(10, 31), 0xFFFFFFFFu);  // rows past 4 GiB: white
  // 4 sampled rows of each of 32 thumbnail rows, a quarter of a megabyte each at most.
  EXPECT_LT(stream.served, uint64_t{40} << 20);
  init->Release();
}

TEST(Provider, FilePathAndItemPath) {
  const auto bytes = SmallDds();
  const std::string path = test::WriteTempFile("provider-file.dds", bytes);
  {
    Provider p;
    IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    EXPECT_EQ(init->Initialize(W(path).c_str(), STGM_READ), S_OK);
    EXPECT_TRUE(p.object->HoldsFileForTests());
    test::Image image;
    DecodeFailure failure;
    ASSERT_EQ(FullImage(p, &image, &failure), S_OK);
    EXPECT_EQ(image.at(2, 1), 0xFF000102u);
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
    test::Image image;
    DecodeFailure failure;
    ASSERT_EQ(FullImage(p, &image, &failure), S_OK);
    EXPECT_EQ(init->Initialize(static_cast<IShellItem*>(nullptr), STGM_READ),
              HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    init->Release();
  }
}

TEST(Provider, FileChangedAfterInitializeIsReadAsItIsNow) {
  // Truncated after Initialize: the drawing says so. The file stays open for others to write and delete.
  const std::string path = test::WriteTempFile("provider-shrinks.dds", SmallDds());
  Provider p;
  IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
  ASSERT_EQ(init->Initialize(W(path).c_str(), STGM_READ), S_OK);
  std::filesystem::resize_file(path, 140);
  test::Image image;
  DecodeFailure failure;
  EXPECT_EQ(FullImage(p, &image, &failure), E_FAIL);
  EXPECT_EQ(failure.kind, FailureKind::Truncated) << DescribeFailure(failure);
  EXPECT_EQ(failure.have, 140u);
  // Rewritten in place: the new bytes are drawn.
  test::WriteBytesAt(path, SmallDds());
  EXPECT_EQ(FullImage(p, &image, &failure), S_OK) << DescribeFailure(failure);
  init->Release();
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove(path, error)) << error.message();
}

TEST(Provider, NoHandleOrStreamOutlivesTheProvider) {
  const std::string path = test::WriteTempFile("provider-handles.dds", SmallDds());
  const long before = test::OpenFileHandles();
  for (int i = 0; i < 50; ++i) {
    Provider p;
    IInitializeWithFile* init = p.As<IInitializeWithFile>(kIidIInitializeWithFile);
    ASSERT_EQ(init->Initialize(W(path).c_str(), STGM_READ), S_OK);
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    ASSERT_EQ(p.thumbnail->GetThumbnail(16, &bitmap, &alpha), S_OK);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    init->Release();
  }
  EXPECT_EQ(test::OpenFileHandles(), before);
}

}  // namespace
}  // namespace mirelth
