// An IStream over bytes in memory, with a name (what Stat reports): the shell's view of a file, for the fuzz
// targets and the tests. It reads at offsets as the provider and the property handler do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win32.h"

namespace mirelth::testing {

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

}  // namespace mirelth::testing
