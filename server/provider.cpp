// The provider object: identity, reference counting, the three Initialize paths and GetThumbnail. Initialize
// keeps the stream or the open file and reads nothing; each draw takes the source's size afresh, opens the
// container through a byte source and reads only what the drawing needs. Nothing here throws; every failure
// is an HRESULT.
#include "server/provider.h"

#include <memory>
#include <new>

#include "io/limits.h"
#include "picture/bitmap.h"
#include "picture/filter.h"
#include "server/hresult.h"
#include "server/sources.h"

namespace mirelth {

MirelthThumbnailProvider::MirelthThumbnailProvider(IClassFactory* creator) : factory(creator) {
  if (factory) factory->LockServer(TRUE);
}

MirelthThumbnailProvider::~MirelthThumbnailProvider() {
  if (stream) stream->Release();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (factory) factory->LockServer(FALSE);
}

HRESULT MirelthThumbnailProvider::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (SameGuid(riid, kIidIUnknown) || SameGuid(riid, kIidIThumbnailProvider)) {
    *object = static_cast<IThumbnailProvider*>(this);
  } else if (SameGuid(riid, kIidIInitializeWithStream)) {
    *object = static_cast<IInitializeWithStream*>(this);
  } else if (SameGuid(riid, kIidIInitializeWithFile)) {
    *object = static_cast<IInitializeWithFile*>(this);
  } else if (SameGuid(riid, kIidIInitializeWithItem)) {
    *object = static_cast<IInitializeWithItem*>(this);
  } else if (SameGuid(riid, kIidIMirelthThumbnailDetails)) {
    *object = static_cast<IMirelthThumbnailDetails*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG MirelthThumbnailProvider::AddRef() { return ++refCount; }

ULONG MirelthThumbnailProvider::Release() {
  const ULONG count = --refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT MirelthThumbnailProvider::OpenFile(LPCWSTR path) {
  if (!path) return E_FAIL;
  // Others may go on reading, writing, renaming or deleting the file while we hold it.
  const HANDLE opened = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!opened || opened == INVALID_HANDLE_VALUE) return E_FAIL;
  file = opened;
  fileType = FileTypeFromName(path);
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Initialize(IStream* source, DWORD) {
  if (Initialized()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!source) return E_FAIL;
  STATSTG stat{};
  if (FAILED(source->Stat(&stat, STATFLAG_DEFAULT))) return E_FAIL;
  fileType = FileTypeFromName(stat.pwcsName);
  if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
  source->AddRef();
  stream = source;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Initialize(LPCWSTR path, DWORD) {
  if (Initialized()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  return OpenFile(path);
}

HRESULT MirelthThumbnailProvider::Initialize(IShellItem* item, DWORD) {
  if (Initialized()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!item) return E_FAIL;
  LPWSTR path = nullptr;
  const HRESULT named = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
  const HRESULT opened = SUCCEEDED(named) && path ? OpenFile(path) : E_FAIL;
  if (path) CoTaskMemFree(path);
  return opened;
}

HRESULT MirelthThumbnailProvider::Render(Draw draw, UINT cx, HBITMAP* bitmap, BITMAPINFO* info) {
  lastFailure = DecodeFailure{};
  bytesRead = 0;
  facts = Facts{};
  if ((draw == Draw::kThumbnail || draw == Draw::kReference) && (cx == 0 || cx > kMaxThumbnailEdge)) {
    Fail(&lastFailure, FailureKind::InvalidArgument, "thumbnail edge %u is outside 1..%u", cx, kMaxThumbnailEdge);
    return HResultFromFailure(lastFailure);
  }
  if (!Initialized()) {
    Fail(&lastFailure, FailureKind::NoDecoder, "the provider holds no file");
    return E_FAIL;
  }
  const Container* container = ContainerFor(fileType);
  if (!container) {
    Fail(&lastFailure, FailureKind::NoDecoder, "the file name has none of the extensions %s", KnownExtensions());
    return E_FAIL;
  }
  // The source's size now: the file may have changed since Initialize.
  uint64_t size = 0;
  std::unique_ptr<ByteSource> source;
  if (stream) {
    if (!StreamSize(stream, &size)) {
      Fail(&lastFailure, FailureKind::ReadFailed, "the stream cannot say its size");
      return E_FAIL;
    }
    source.reset(new (std::nothrow) StreamSource(stream, size));
  } else {
    if (!FileSize(file, &size)) {
      Fail(&lastFailure, FailureKind::ReadFailed, "the file cannot say its size");
      return E_FAIL;
    }
    source.reset(new (std::nothrow) FileSource(file, size));
  }
  if (!source) {
    Fail(&lastFailure, FailureKind::OutOfMemory, "no source");
    return E_OUTOFMEMORY;
  }
  OpenOptions options;
  facts.container = container->name;
  options.facts = &facts;
  if (draw == Draw::kFull) options.maxPixels = kMaxImagePixels;
  PicturePtr picture;
  bool drawn = container->openPicture(*source, options, &picture, &lastFailure);
  if (!drawn) NameTheBytes(*source, *container, &lastFailure);
  if (drawn && draw != Draw::kNothing) {
    if (draw == Draw::kFull) {
      drawn = picture->DrawFull(bitmap, info, &lastFailure);
    } else {
      int32_t tw = 0, th = 0;
      ThumbnailSize(picture->width(), picture->height(), cx, &tw, &th);
      drawn = picture->DrawThumbnail(tw, th, draw == Draw::kReference, bitmap, &lastFailure);
    }
    facts.whitePoint = picture->whitePoint();
  }
  bytesRead = source->bytesRead();
  return drawn ? S_OK : HResultFromFailure(lastFailure);
}

HRESULT MirelthThumbnailProvider::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) {
  if (!bitmap || !alphaType) return E_POINTER;
  // Only the pixels the thumbnail shows are decoded, straight into the result bitmap.
  HBITMAP result = nullptr;
  const HRESULT drawn = Render(Draw::kThumbnail, cx, &result, nullptr);
  if (FAILED(drawn)) return drawn;
  *bitmap = result;
  *alphaType = WTSAT_ARGB;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetReferenceThumbnail(UINT cx, HBITMAP* bitmap) {
  if (!bitmap) return E_POINTER;
  HBITMAP result = nullptr;
  const HRESULT drawn = Render(Draw::kReference, cx, &result, nullptr);
  if (SUCCEEDED(drawn)) *bitmap = result;
  return drawn;
}

HRESULT MirelthThumbnailProvider::GetFullImage(HBITMAP* bitmap) {
  if (!bitmap) return E_POINTER;
  BITMAPINFO info{};
  HBITMAP result = nullptr;
  const HRESULT drawn = Render(Draw::kFull, 0, &result, &info);
  if (SUCCEEDED(drawn)) *bitmap = result;
  return drawn;
}

HRESULT MirelthThumbnailProvider::GetLastFailure(DecodeFailure* failure) {
  if (!failure) return E_POINTER;
  *failure = lastFailure;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetFileType(int32_t* type) {
  if (!type) return E_POINTER;
  *type = static_cast<int32_t>(fileType);
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Describe() { return Render(Draw::kNothing, 0, nullptr, nullptr); }

HRESULT MirelthThumbnailProvider::GetFacts(const Facts** out) {
  if (!out) return E_POINTER;
  *out = &facts;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetBytesRead(uint64_t* bytes) {
  if (!bytes) return E_POINTER;
  *bytes = bytesRead;
  return S_OK;
}

HRESULT CreateThumbnailProvider(IClassFactory* factory, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* provider = new (std::nothrow) MirelthThumbnailProvider(factory);
  if (!provider) return E_OUTOFMEMORY;
  const HRESULT result = provider->QueryInterface(riid, object);
  provider->Release();
  return result;
}

}  // namespace mirelth
