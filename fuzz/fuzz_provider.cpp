// The whole provider: a memory stream whose name comes from the first byte (an extension of the table of
// containers, or none), Initialize, GetThumbnail with a cx taken from the input, Describe, and everything released.
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "server/provider.h"

namespace {

struct MemoryStream final : IStream {
  const uint8_t* data;
  size_t size;
  size_t position = 0;
  const WCHAR* name;
  MemoryStream(const uint8_t* bytes, size_t count, const WCHAR* streamName)
      : data(bytes), size(count), name(streamName) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    const size_t give = count < size - position ? count : size - position;
    std::memcpy(buffer, data + position, give);
    position += give;
    if (read) *read = static_cast<ULONG>(give);
    return give < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  // The provider reads at offsets: seeks from the start, the current position or the end, never before 0.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    const int64_t base = origin == STREAM_SEEK_SET   ? 0
                         : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(position)
                         : origin == STREAM_SEEK_END ? static_cast<int64_t>(size)
                                                     : -1;
    if (base < 0 || (move.QuadPart < 0 && -move.QuadPart > base)) return E_INVALIDARG;
    const uint64_t target = static_cast<uint64_t>(base) + static_cast<uint64_t>(move.QuadPart);
    position = target < size ? static_cast<size_t>(target) : size;  // reads past the end give nothing
    if (newPosition) newPosition->QuadPart = target;
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
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    std::memset(stat, 0, sizeof *stat);
    stat->cbSize.QuadPart = size;
    size_t length = 0;
    while (name[length]) ++length;
    stat->pwcsName = static_cast<LPWSTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (stat->pwcsName) std::memcpy(stat->pwcsName, name, (length + 1) * sizeof(WCHAR));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > kMaxFuzzInput) return 0;
  // The name: one of the table's extensions (upper case on odd bytes, after a path on some), or none.
  size_t count = 0;
  const mirelth::Container* rows = mirelth::Containers(&count);
  WCHAR name[64] = {};
  const size_t pick = data[0] % (count + 1);
  if (pick < count) {
    const char* prefix = (data[0] & 0x40) ? "C:\\a\\texture" : "texture";
    size_t at = 0;
    for (const char* p = prefix; *p; ++p) name[at++] = static_cast<WCHAR>(*p);
    for (const char* p = rows[pick].extension; *p; ++p) {
      const char c = (data[0] & 0x80) && *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 32) : *p;
      name[at++] = static_cast<WCHAR>(c);
    }
  } else {
    const char* none = "noext";
    for (size_t at = 0; none[at]; ++at) name[at] = static_cast<WCHAR>(none[at]);
  }
  const UINT cx = (static_cast<UINT>(data[1]) << 8 | data[2]) % 600;  // 0 and values above the image included
  MemoryStream stream(data + 3, size - 3, name);
  IInitializeWithStream* init = nullptr;
  if (FAILED(mirelth::CreateThumbnailProvider(nullptr, mirelth::kIidIInitializeWithStream,
                                              reinterpret_cast<void**>(&init)))) {
    return 0;
  }
  if (SUCCEEDED(init->Initialize(&stream, 0))) {
    IThumbnailProvider* provider = nullptr;
    init->QueryInterface(mirelth::kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    if (SUCCEEDED(provider->GetThumbnail(cx, &bitmap, &alpha))) DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    // Describe too: the property handler's path (headers and tables only).
    mirelth::IMirelthThumbnailDetails* details = nullptr;
    if (SUCCEEDED(init->QueryInterface(mirelth::kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details)))) {
      details->Describe();
      details->Release();
    }
    provider->Release();
  }
  init->Release();
  return 0;
}
