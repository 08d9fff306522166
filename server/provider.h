// MirelthThumbnailProvider: the COM object the shell creates for one thumbnail request. Initialize keeps the
// stream (one reference) or opens the file, reading nothing; GetThumbnail reads the headers, tables and the bytes
// of the samples it takes through a byte source. One identity and one reference count serve all its interfaces.
#pragma once

#include <atomic>
#include <cstdint>

#include "formats/container.h"
#include "formats/containers.h"
#include "io/failure.h"
#include "picture/facts.h"
#include "platform/win32.h"

namespace mirelth {

// Our own interface for the command-line tool, tests and benchmarks: why the last call failed, the decoded
// image at its own size, the reference thumbnail, the file's facts (with a document's layer listing), and what was
// read.
// {A6F1D2C4-3B5E-4F7A-9C8D-1E2F3A4B5C6D}
inline constexpr GUID kIidIMirelthThumbnailDetails = {
    0xA6F1D2C4, 0x3B5E, 0x4F7A, {0x9C, 0x8D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D}};
struct IMirelthThumbnailDetails : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLastFailure(DecodeFailure* failure) = 0;
  // The decoded image at its own size (a 32-bit bottom-up DIB section the caller deletes).
  virtual HRESULT STDMETHODCALLTYPE GetFullImage(HBITMAP* bitmap) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFileType(int32_t* fileType) = 0;
  // The reference thumbnail: a full decode of the level the thumbnail draws from, through the same filter.
  virtual HRESULT STDMETHODCALLTYPE GetReferenceThumbnail(UINT cx, HBITMAP* bitmap) = 0;
  // Reads the file's headers and tables only and keeps its facts (GetFacts); fails as a draw would when the file
  // cannot be drawn.
  virtual HRESULT STDMETHODCALLTYPE Describe() = 0;
  // The facts the last call learnt (valid until the next call; `known` false when it read no header).
  virtual HRESULT STDMETHODCALLTYPE GetFacts(const Facts** facts) = 0;
  // Bytes the last call read from the file or stream.
  virtual HRESULT STDMETHODCALLTYPE GetBytesRead(uint64_t* bytes) = 0;

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
  HRESULT STDMETHODCALLTYPE Describe() override;
  HRESULT STDMETHODCALLTYPE GetFacts(const Facts** facts) override;
  HRESULT STDMETHODCALLTYPE GetBytesRead(uint64_t* bytes) override;

  bool HoldsFileForTests() const { return file != INVALID_HANDLE_VALUE; }

 private:
  enum class Draw { kThumbnail, kReference, kFull, kNothing };
  ~MirelthThumbnailProvider();
  bool Initialized() const { return stream != nullptr || file != INVALID_HANDLE_VALUE; }
  HRESULT OpenFile(LPCWSTR path);
  // Opens the container on a fresh source and draws; the one path of GetThumbnail and the details.
  HRESULT Render(Draw draw, UINT cx, HBITMAP* bitmap, BITMAPINFO* info);

  IClassFactory* factory;
  std::atomic<ULONG> refCount{1};
  IStream* stream = nullptr;           // one reference, released with the provider
  HANDLE file = INVALID_HANDLE_VALUE;  // read access, sharing read, write and delete; closed with the provider
  FileType fileType = FileType::kNone;
  DecodeFailure lastFailure;
  Facts facts;
  uint64_t bytesRead = 0;
};

// Creates a provider and asks it for `riid`: the caller holds the only reference on success.
HRESULT CreateThumbnailProvider(IClassFactory* factory, REFIID riid, void** object);

}  // namespace mirelth
