// MirelthPreviewHandler: the preview pane Explorer's preview host runs out of process. Initialize keeps the
// stream; DoPreview opens the picture once and draws it fitted to the pane (the filtered rule at the pane's size,
// so it reads only what it shows), over a light checkerboard where it is transparent, with a line of facts under
// it. SetRect redraws from the same open source. A file that cannot be drawn shows its refusal reason. Keys
// (A, R, G, B, M, N, F) choose what is shown; the others go back to the host's frame.
#pragma once

#include <atomic>
#include <memory>

#include "formats/container.h"
#include "formats/containers.h"
#include "io/byte_source.h"
#include "picture/facts.h"
#include "platform/preview_window.h"
#include "platform/win32.h"
#include "server/preview_view.h"

namespace mirelth {

// {3F6C2A91-7B4D-4E8A-B5C3-9D1E2F4A6B78}
inline constexpr GUID kClsidMirelthPreview = {
    0x3F6C2A91, 0x7B4D, 0x4E8A, {0xB5, 0xC3, 0x9D, 0x1E, 0x2F, 0x4A, 0x6B, 0x78}};
inline constexpr const WCHAR* kClsidMirelthPreviewText = MIRELTH_W("{3F6C2A91-7B4D-4E8A-B5C3-9D1E2F4A6B78}");

class MirelthPreviewHandler final : public IPreviewHandler,
                                    public IInitializeWithStream,
                                    public IObjectWithSite,
                                    public IOleWindow,
                                    public IPreviewHandlerVisuals,
                                    private PreviewWindow::Listener {
 public:
  explicit MirelthPreviewHandler(IClassFactory* factory);
  MirelthPreviewHandler(const MirelthPreviewHandler&) = delete;
  MirelthPreviewHandler& operator=(const MirelthPreviewHandler&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IInitializeWithStream
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override;

  // IPreviewHandler
  HRESULT STDMETHODCALLTYPE SetWindow(HWND parent, const RECT* rect) override;
  HRESULT STDMETHODCALLTYPE SetRect(const RECT* rect) override;
  HRESULT STDMETHODCALLTYPE DoPreview() override;
  HRESULT STDMETHODCALLTYPE Unload() override;
  HRESULT STDMETHODCALLTYPE SetFocus() override;
  HRESULT STDMETHODCALLTYPE QueryFocus(HWND* window) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) override;

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;

  // IPreviewHandlerVisuals
  HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF colour) override;
  HRESULT STDMETHODCALLTYPE SetFont(const LOGFONTW* font) override;
  HRESULT STDMETHODCALLTYPE SetTextColor(COLORREF colour) override;

 private:
  ~MirelthPreviewHandler();
  bool OnKey(const MSG& message) override;
  // Opens the picture of the current surface (kept while the handler lives or until Unload).
  bool Open();
  // Renders the pane at its size and shows it.
  void Render();

  IClassFactory* factory_;
  std::atomic<ULONG> refCount_{1};
  IStream* stream_ = nullptr;  // one reference
  IUnknown* site_ = nullptr;   // one reference
  FileType fileType_ = FileType::kNone;
  HWND parent_ = nullptr;
  RECT rect_{};
  COLORREF background_ = RGB(255, 255, 255), text_ = RGB(0, 0, 0);
  std::unique_ptr<ByteSource> source_;
  PicturePtr picture_;
  Facts facts_;
  DecodeFailure failure_;
  bool opened_ = false;
  uint32_t openedSurface_ = 0;
  PreviewState state_;
  PreviewWindow window_;
};

// Creates a preview handler and asks it for `riid`: the caller holds the only reference on success.
HRESULT CreatePreviewHandler(IClassFactory* factory, REFIID riid, void** object);

}  // namespace mirelth
