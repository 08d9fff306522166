// The provider object: identity, reference counting, the three Initialize paths and GetThumbnail.
// The file is read whole: reads loop until everything arrived or the source reports its end, and the size
// kept is the count actually read. Nothing here throws; every failure is an HRESULT.
#include "server/provider.h"

#include <cstring>
#include <memory>
#include <new>

#include "formats/dds/dds.h"
#include "formats/psd/psd.h"
#include "formats/pvr/pvr.h"
#include "pixels/sampling.h"
#include "pixels/bitmap.h"
#include "pixels/limits.h"
#include "server/render.h"

namespace mirelth {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct HeapFreer {
  void operator()(uint8_t* memory) const {
    if (memory) HeapFree(GetProcessHeap(), 0, memory);
  }
};
using HeapBuffer = std::unique_ptr<uint8_t, HeapFreer>;

struct TaskMemFreer {
  void operator()(WCHAR* text) const { CoTaskMemFree(text); }
};
using TaskMemString = std::unique_ptr<WCHAR, TaskMemFreer>;

HeapBuffer AllocateFileBuffer(uint64_t bytes) {
  return HeapBuffer(static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(bytes))));
}

// The decoders, by file type: the full-size decode and the sampled thumbnail. Types without them fail with a
// reason.
using Decoder = bool (*)(const uint8_t*, uint32_t, HBITMAP*, BITMAPINFO*, DecodeFailure*);
using ThumbnailDrawer = bool (*)(const uint8_t*, uint32_t, uint32_t, HBITMAP*, DecodeFailure*);
struct DecoderRow {
  int32_t fileType;
  Decoder decode;
  ThumbnailDrawer draw;
  const char* refusal;  // when there is no decoder
};
constexpr DecoderRow kDecoders[] = {
    {kFileDds, DecodeDds, DrawDdsThumbnail, nullptr},
    {kFileTga, nullptr, nullptr, "TGA files are registered but not drawn"},
    {kFilePsd, DecodePsd, DrawPsdThumbnail, nullptr},
    {kFilePvr, DecodePvr, DrawPvrThumbnail, nullptr},
};

// The row for a file type, or null with the reason recorded.
const DecoderRow* FindDecoder(int32_t fileType, DecodeFailure* failure) {
  for (const DecoderRow& row : kDecoders) {
    if (row.fileType != fileType) continue;
    if (!row.decode) {
      Fail(failure, FailureKind::NoDecoder, "%s", row.refusal);
      return nullptr;
    }
    return &row;
  }
  Fail(failure, FailureKind::NoDecoder, "the file name has none of the extensions .dds, .psd, .pvr");
  return nullptr;
}

}  // namespace

int32_t FileTypeFromName(const WCHAR* name) {
  if (!name) return kFileNone;
  size_t start = 0, length = 0;
  for (; name[length] != 0; ++length) {
    if (name[length] == u'\\' || name[length] == u'/') start = length + 1;
  }
  static constexpr struct {
    char text[5];
    int32_t type;
  } kPatterns[] = {{".dds", kFileDds}, {".tga", kFileTga}, {".psd", kFilePsd}, {".pvr", kFilePvr}};
  int32_t type = kFileNone;
  // Walk back from the end: the first position where a pattern starts is the rightmost occurrence.
  for (size_t i = length >= 4 ? length - 4 + 1 : 0; i-- > start;) {
    for (const auto& pattern : kPatterns) {
      bool match = true;
      for (size_t k = 0; k < 4 && match; ++k) {
        WCHAR c = name[i + k];
        if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c + 0x20);
        match = c == static_cast<WCHAR>(pattern.text[k]);
      }
      if (match) return pattern.type;
    }
  }
  return type;
}

MirelthThumbnailProvider::MirelthThumbnailProvider(IClassFactory* creator) : factory(creator) {
  if (factory) factory->LockServer(TRUE);
}

MirelthThumbnailProvider::~MirelthThumbnailProvider() {
  if (factory) factory->LockServer(FALSE);
  if (fileData) HeapFree(GetProcessHeap(), 0, fileData);
  fileData = nullptr;
  if (itemPath) CoTaskMemFree(itemPath);
  itemPath = nullptr;
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

HRESULT MirelthThumbnailProvider::ReadWholeFile(LPCWSTR path) {
  if (!path) return E_FAIL;
  UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return E_FAIL;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxFileBytes) {
    return E_FAIL;
  }
  const auto wanted = static_cast<uint32_t>(size.QuadPart);
  HeapBuffer buffer = AllocateFileBuffer(wanted);
  if (!buffer) return E_OUTOFMEMORY;
  uint32_t total = 0;
  while (total < wanted) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get() + total, wanted - total, &got, nullptr)) return E_FAIL;
    if (got == 0) break;  // the file ended early (it shrank since we asked its size)
    total += got;
  }
  fileData = buffer.release();
  fileSize = total;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Initialize(IStream* stream, DWORD) {
  if (fileData) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!stream) return E_FAIL;
  stream->AddRef();
  struct Releaser {
    IStream* stream;
    ~Releaser() { stream->Release(); }
  } releaser{stream};

  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_DEFAULT))) return E_FAIL;
  TaskMemString name(stat.pwcsName);
  if (stat.cbSize.QuadPart > kMaxFileBytes) return E_FAIL;
  const auto wanted = static_cast<uint32_t>(stat.cbSize.QuadPart);
  HeapBuffer buffer = AllocateFileBuffer(wanted);
  if (!buffer) return E_OUTOFMEMORY;
  uint32_t total = 0;
  while (total < wanted) {
    ULONG got = 0;
    const HRESULT result = stream->Read(buffer.get() + total, wanted - total, &got);
    if (FAILED(result)) return E_FAIL;
    if (got > wanted - total) return E_FAIL;  // a stream that claims more than it was asked for
    if (got == 0) break;  // end of stream; S_FALSE with bytes may be a short read, so read on
    total += got;
  }
  fileData = buffer.release();
  fileSize = total;
  fileType = FileTypeFromName(name.get());
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Initialize(LPCWSTR path, DWORD) {
  if (fileData) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  const HRESULT result = ReadWholeFile(path);
  if (FAILED(result)) return result;
  fileType = FileTypeFromName(path);
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Initialize(IShellItem* item, DWORD) {
  if (fileData) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!item) return E_FAIL;
  if (itemPath) {
    // An earlier Initialize that failed kept its path; the object owns one path at a time.
    CoTaskMemFree(itemPath);
    itemPath = nullptr;
  }
  LPWSTR path = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) {
    if (path) CoTaskMemFree(path);
    return E_FAIL;
  }
  itemPath = path;
  const HRESULT result = ReadWholeFile(itemPath);
  if (FAILED(result)) return result;
  fileType = FileTypeFromName(itemPath);
  return S_OK;
}

HRESULT MirelthThumbnailProvider::Decode(HBITMAP* bitmap, BITMAPINFO* info) {
  lastFailure = DecodeFailure{};
  if (!fileData) {
    Fail(&lastFailure, FailureKind::NoDecoder, "the provider holds no file");
    return E_FAIL;
  }
  const DecoderRow* row = FindDecoder(fileType, &lastFailure);
  if (!row) return E_FAIL;
  return row->decode(fileData, fileSize, bitmap, info, &lastFailure) ? S_OK : HResultFromFailure(lastFailure);
}

HRESULT MirelthThumbnailProvider::DrawThumbnail(UINT cx, HBITMAP* bitmap) {
  lastFailure = DecodeFailure{};
  if (cx == 0 || cx > kMaxThumbnailEdge) {
    Fail(&lastFailure, FailureKind::InvalidHeader, "thumbnail edge %u is outside 1..%u", cx, kMaxThumbnailEdge);
    return E_INVALIDARG;
  }
  if (!fileData) {
    Fail(&lastFailure, FailureKind::NoDecoder, "the provider holds no file");
    return E_FAIL;
  }
  const DecoderRow* row = FindDecoder(fileType, &lastFailure);
  if (!row) return E_FAIL;
  return row->draw(fileData, fileSize, cx, bitmap, &lastFailure) ? S_OK : HResultFromFailure(lastFailure);
}

HRESULT MirelthThumbnailProvider::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) {
  if (!bitmap || !alphaType) return E_POINTER;
  // Only the pixels the thumbnail shows are decoded, straight into the result bitmap.
  HBITMAP result = nullptr;
  const HRESULT drawn = DrawThumbnail(cx, &result);
  if (FAILED(drawn)) return drawn;
  *bitmap = result;
  *alphaType = WTSAT_ARGB;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetReferenceThumbnail(UINT cx, HBITMAP* bitmap) {
  if (!bitmap) return E_POINTER;
  if (cx == 0 || cx > kMaxThumbnailEdge) return E_INVALIDARG;
  BITMAPINFO info{};
  HBITMAP decoded = nullptr;
  const HRESULT result = Decode(&decoded, &info);
  if (FAILED(result)) return result;
  UniqueBitmap image(decoded);
  HBITMAP stretched = nullptr;
  const HRESULT made = StretchToThumbnail(image.get(), info.bmiHeader.biWidth, info.bmiHeader.biHeight, cx, &stretched);
  if (FAILED(made)) return made;
  *bitmap = stretched;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetLastFailure(DecodeFailure* failure) {
  if (!failure) return E_POINTER;
  *failure = lastFailure;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetFullImage(HBITMAP* bitmap) {
  if (!bitmap) return E_POINTER;
  BITMAPINFO info{};
  HBITMAP decoded = nullptr;
  const HRESULT result = Decode(&decoded, &info);
  if (FAILED(result)) return result;
  *bitmap = decoded;
  return S_OK;
}

HRESULT MirelthThumbnailProvider::GetFileType(int32_t* type) {
  if (!type) return E_POINTER;
  *type = fileType;
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
