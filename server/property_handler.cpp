#include "server/property_handler.h"

#include <cstring>
#include <memory>
#include <new>

#include "formats/containers.h"
#include "server/sources.h"

namespace mirelth {
namespace {

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) { return a.pid == b.pid && SameGuid(a.fmtid, b.fmtid); }

}  // namespace

MirelthPropertyHandler::MirelthPropertyHandler(IClassFactory* factory) : factory_(factory) {
  if (factory_) factory_->LockServer(TRUE);
}

MirelthPropertyHandler::~MirelthPropertyHandler() {
  if (factory_) factory_->LockServer(FALSE);
}

HRESULT MirelthPropertyHandler::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (SameGuid(riid, kIidIUnknown) || SameGuid(riid, kIidIPropertyStore)) {
    *object = static_cast<IPropertyStore*>(this);
  } else if (SameGuid(riid, kIidIPropertyStoreCapabilities)) {
    *object = static_cast<IPropertyStoreCapabilities*>(this);
  } else if (SameGuid(riid, kIidIInitializeWithStream)) {
    *object = static_cast<IInitializeWithStream*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG MirelthPropertyHandler::AddRef() { return ++refCount_; }

ULONG MirelthPropertyHandler::Release() {
  const ULONG count = --refCount_;
  if (count == 0) delete this;
  return count;
}

HRESULT MirelthPropertyHandler::Initialize(IStream* stream, DWORD) {
  if (initialized_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!stream) return E_INVALIDARG;
  initialized_ = true;
  // Whatever goes wrong from here, the store answers with no properties rather than an error.
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_DEFAULT))) return S_OK;
  const FileType type = FileTypeFromName(stat.pwcsName);
  if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
  const Container* container = ContainerFor(type);
  uint64_t size = 0;
  if (!container || !StreamSize(stream, &size)) return S_OK;
  StreamSource source(stream, size);
  Facts facts;
  facts.container = container->name;
  OpenOptions options;
  options.facts = &facts;
  PicturePtr picture;
  DecodeFailure failure;
  if (!container->openPicture(source, options, &picture, &failure) || !facts.known) return S_OK;
  size_t total = 0;
  const Property* table = Properties(&total);
  for (size_t i = 0; i < total && count_ < kMaxProperties; ++i) {
    PropertyValue value;
    table[i].fill(facts, &value);
    if (!value.present) continue;
    properties_[count_] = &table[i];
    values_[count_++] = value;
  }
  return S_OK;
}

HRESULT MirelthPropertyHandler::GetCount(DWORD* count) {
  if (!count) return E_POINTER;
  *count = count_;
  return S_OK;
}

HRESULT MirelthPropertyHandler::GetAt(DWORD index, PROPERTYKEY* key) {
  if (!key) return E_POINTER;
  if (index >= count_) return E_INVALIDARG;
  *key = properties_[index]->key;
  return S_OK;
}

HRESULT MirelthPropertyHandler::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  if (!value) return E_POINTER;
  std::memset(value, 0, sizeof *value);  // VT_EMPTY: a property the file does not have
  for (DWORD i = 0; i < count_; ++i) {
    if (!SameKey(properties_[i]->key, key)) continue;
    const PropertyValue& v = values_[i];
    if (!v.text) {
      value->vt = VT_UI4;
      value->ulVal = v.number;
      return S_OK;
    }
    // The values are ASCII (names, numbers, the file's own encoding names made printable).
    const size_t length = std::strlen(v.string);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (!copy) return E_OUTOFMEMORY;
    for (size_t k = 0; k <= length; ++k) {
      const auto c = static_cast<unsigned char>(v.string[k]);
      copy[k] = static_cast<WCHAR>(c < 0x80 ? c : '?');
    }
    value->vt = VT_LPWSTR;
    value->pwszVal = copy;
    return S_OK;
  }
  return S_OK;
}

HRESULT MirelthPropertyHandler::SetValue(REFPROPERTYKEY, REFPROPVARIANT) { return STG_E_ACCESSDENIED; }
HRESULT MirelthPropertyHandler::Commit() { return STG_E_ACCESSDENIED; }
HRESULT MirelthPropertyHandler::IsPropertyWritable(REFPROPERTYKEY) { return S_FALSE; }

HRESULT CreatePropertyHandler(IClassFactory* factory, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* handler = new (std::nothrow) MirelthPropertyHandler(factory);
  if (!handler) return E_OUTOFMEMORY;
  const HRESULT result = handler->QueryInterface(riid, object);
  handler->Release();
  return result;
}

}  // namespace mirelth
