// The whole provider: a memory stream whose name comes from the first byte (an extension of the table of
// containers, or none), Initialize, GetThumbnail with a cx taken from the input, Describe, and everything released.
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "fuzz/memory_stream.h"
#include "server/property_handler.h"
#include "server/provider.h"

using mirelth::testing::MemoryStream;

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
  // The property handler on the same bytes: what Explorer's details pane asks.
  MemoryStream again(data + 3, size - 3, name);
  IInitializeWithStream* handlerInit = nullptr;
  if (SUCCEEDED(mirelth::CreatePropertyHandler(nullptr, mirelth::kIidIInitializeWithStream,
                                               reinterpret_cast<void**>(&handlerInit)))) {
    IPropertyStore* store = nullptr;
    handlerInit->Initialize(&again, 0);
    handlerInit->QueryInterface(mirelth::kIidIPropertyStore, reinterpret_cast<void**>(&store));
    DWORD properties = 0;
    store->GetCount(&properties);
    for (DWORD i = 0; i < properties; ++i) {
      PROPERTYKEY key;
      PROPVARIANT value;
      if (SUCCEEDED(store->GetAt(i, &key)) && SUCCEEDED(store->GetValue(key, &value))) PropVariantClear(&value);
    }
    store->Release();
    handlerInit->Release();
  }
  return 0;
}
