// MirelthThumbnailProvider: the COM object the shell creates for one thumbnail request. It takes the file
// through one of three Initialize paths, keeps the whole file in one heap buffer, and draws it in
// GetThumbnail. One identity and one reference count serve all its interfaces.
#pragma once

#include <atomic>
#include <cstdint>

#include "pixels/failure.h"
#include "platform/win32.h"

namespace mirelth {

// File type codes, from the file's own name.
enum FileType : int32_t { kFileNone = -1, kFileDds = 0, kFileTga = 1, kFilePsd = 2, kFilePvr = 3 };

// The file's own name (after the last '\' or '/'), ASCII-lowercased; of ".dds", ".tga", ".psd" and ".pvr"
// the occurrence that starts furthest right decides. -1 when none occurs.
int32_t FileTypeFromName(const WCHAR* name);

// Our own interface for the command-line tool, tests and benchmarks: why the last call failed, the decoded
// image at its own size, and the reference thumbnail.
// {A6F1D2C4-3B5E-4F7A-9C8D-1E2F3A4B5C6D}
inline constexpr GUID kIidIMirelthThumbnailDetails = {0xA6F1D2C4, 0x3B5E, 0x4F7A,
                                                      {0x9C, 0x8D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D}};
struct IMirelthThumbnailDetails : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastFailure(DecodeFailure* failure) = 0;
  // The decoded image at its own size (a 32-bit bottom-up DIB section the caller deletes).
  virtual HRESULT STDMETHODCALLTYPE GetFullImage(HBITMAP* bitmap) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFileType(int32_t* fileType) = 0;
  // The reference thumbnail: the full decode stretched with the same mapping GetThumbnail samples with.
  virtual HRESULT STDMETHODCALLTYPE GetReferenceThumbnail(UINT cx, HBITMAP* bitmap) = 0;

 protected:
  ~IMirelthThumbnailDetails() = default;
};

class MirelthThumbnailProvider final : public IThumbnailProvider,
                                       public IInitializeWithStream,
                                       public IInitializeWithFile,
                                       public IInitializeWithItem,
                                       public IMirelthThumbnailDetails {
 public:
  // Takes a server lock through `factory` (when given) for the object's whole life.
  explicit MirelthThumbnailProvider(IClassFactory* factory);
  MirelthThumbnailProvider(const MirelthThumbnailProvider&) = delete;
  MirelthThumbnailProvider& operator=(const MirelthThumbnailProvider&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IThumbnailProvider
  HRESULT STDMETHODCALLTYPE GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alphaType) override;

  // IInitializeWithStream, IInitializeWithFile, IInitializeWithItem
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;
  HRESULT STDMETHODCALLTYPE Initialize(LPCWSTR path, DWORD mode) override;
  HRESULT STDMETHODCALLTYPE Initialize(IShellItem* item, DWORD mode) override;

  // IMirelthThumbnailDetails
  HRESULT STDMETHODCALLTYPE GetLastFailure(DecodeFailure* failure) override;
  HRESULT STDMETHODCALLTYPE GetFullImage(HBITMAP* bitmap) override;
  HRESULT STDMETHODCALLTYPE GetFileType(int32_t* fileType) override;
  HRESULT STDMETHODCALLTYPE GetReferenceThumbnail(UINT cx, HBITMAP* bitmap) override;

  const uint8_t* fileDataForTests() const { return fileData; }
  uint32_t fileSizeForTests() const { return fileSize; }

 private:
  ~MirelthThumbnailProvider();
  HRESULT ReadWholeFile(LPCWSTR path);
  HRESULT Decode(HBITMAP* bitmap, BITMAPINFO* info);
  HRESULT DrawThumbnail(UINT cx, HBITMAP* bitmap);

  IClassFactory* factory;
  std::atomic<ULONG> refCount{1};
  uint8_t* fileData = nullptr;  // process heap, zero-filled, owned
  int32_t fileType = kFileNone;
  uint32_t fileSize = 0;
  LPWSTR itemPath = nullptr;  // task allocator, owned
  DecodeFailure lastFailure;
};

// Creates a provider and asks it for `riid`: the caller holds the only reference on success.
HRESULT CreateThumbnailProvider(IClassFactory* factory, REFIID riid, void** object);

}  // namespace mirelth
