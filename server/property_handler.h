// MirelthPropertyHandler: the read-only property store Explorer creates for the details pane, the Properties >
// Details tab and tooltips. Initialize reads the file's headers and tables through the same bounded input as the
// thumbnail (never a pixel) and keeps the properties its facts give; a file that cannot be described has none
// (no error that Explorer would show). SetValue and Commit refuse; no property is writable.
#pragma once

#include <atomic>

#include "platform/win32.h"
#include "server/properties.h"

namespace mirelth {

// {8A71C3D2-4E5F-4B60-9D12-6E3F4A5B7C81}
inline constexpr GUID kClsidMirelthProperties = {
    0x8A71C3D2, 0x4E5F, 0x4B60, {0x9D, 0x12, 0x6E, 0x3F, 0x4A, 0x5B, 0x7C, 0x81}};
inline constexpr const WCHAR* kClsidMirelthPropertiesText = MIRELTH_W("{8A71C3D2-4E5F-4B60-9D12-6E3F4A5B7C81}");
inline constexpr GUID kIidIPropertyStore = {
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
inline constexpr GUID kIidIPropertyStoreCapabilities = {
    0xC8E2D566, 0x186E, 0x4D49, {0xBF, 0x41, 0x69, 0x09, 0xEA, 0xD5, 0x6A, 0xCC}};

class MirelthPropertyHandler final : public IPropertyStore,
                                     public IPropertyStoreCapabilities,
                                     public IInitializeWithStream {
 public:
  explicit MirelthPropertyHandler(IClassFactory* factory);
  MirelthPropertyHandler(const MirelthPropertyHandler&) = delete;
  MirelthPropertyHandler& operator=(const MirelthPropertyHandler&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IInitializeWithStream
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;

  // IPropertyStore
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
  HRESULT STDMETHODCALLTYPE Commit() override;

  // IPropertyStoreCapabilities
  HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) override;

 private:
  ~MirelthPropertyHandler();
  static constexpr size_t kMaxProperties = 32;

  IClassFactory* factory_;
  std::atomic<ULONG> refCount_{1};
  bool initialized_ = false;
  // The properties the file has, in the table's order.
  const Property* properties_[kMaxProperties] = {};
  PropertyValue values_[kMaxProperties];
  DWORD count_ = 0;
};

// Creates a property handler and asks it for `riid`: the caller holds the only reference on success.
HRESULT CreatePropertyHandler(IClassFactory* factory, REFIID riid, void** object);

}  // namespace mirelth
