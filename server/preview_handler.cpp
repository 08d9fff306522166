#include "server/preview_handler.h"

#include <new>

#include "io/limits.h"
#include "server/hresult.h"
#include "server/sources.h"

namespace mirelth {

MirelthPreviewHandler::MirelthPreviewHandler(IClassFactory* factory) : factory_(factory) {
  if (factory_) factory_->LockServer(TRUE);
}

MirelthPreviewHandler::~MirelthPreviewHandler() {
  window_.Destroy();
  picture_.reset();
  source_.reset();
  if (stream_) stream_->Release();
  if (site_) site_->Release();
  if (factory_) factory_->LockServer(FALSE);
}

HRESULT MirelthPreviewHandler::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (SameGuid(riid, kIidIUnknown) || SameGuid(riid, kIidIPreviewHandler)) {
    *object = static_cast<IPreviewHandler*>(this);
  } else if (SameGuid(riid, kIidIInitializeWithStream)) {
    *object = static_cast<IInitializeWithStream*>(this);
  } else if (SameGuid(riid, kIidIObjectWithSite)) {
    *object = static_cast<IObjectWithSite*>(this);
  } else if (SameGuid(riid, kIidIOleWindow)) {
    *object = static_cast<IOleWindow*>(this);
  } else if (SameGuid(riid, kIidIPreviewHandlerVisuals)) {
    *object = static_cast<IPreviewHandlerVisuals*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG MirelthPreviewHandler::AddRef() { return ++refCount_; }

ULONG MirelthPreviewHandler::Release() {
  const ULONG count = --refCount_;
  if (count == 0) delete this;
  return count;
}

HRESULT MirelthPreviewHandler::Initialize(IStream* stream, DWORD) {
  if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  if (!stream) return E_INVALIDARG;
  STATSTG stat{};
  if (SUCCEEDED(stream->Stat(&stat, STATFLAG_DEFAULT))) {
    fileType_ = FileTypeFromName(stat.pwcsName);
    if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
  }
  stream->AddRef();
  stream_ = stream;
  return S_OK;
}

bool MirelthPreviewHandler::Open() {
  if (opened_ && openedSurface_ == state_.surface) return picture_ != nullptr;
  opened_ = true;
  openedSurface_ = state_.surface;
  picture_.reset();
  facts_ = Facts{};
  failure_ = DecodeFailure{};
  const Container* container = ContainerFor(fileType_);
  if (!stream_) return Fail(&failure_, FailureKind::NoDecoder, "the preview holds no file");
  if (!container) {
    return Fail(&failure_, FailureKind::NoDecoder, "the file name has none of the extensions %s", KnownExtensions());
  }
  if (!source_) {
    uint64_t size = 0;
    if (!StreamSize(stream_, &size)) return Fail(&failure_, FailureKind::ReadFailed, "the stream cannot say its size");
    source_.reset(new (std::nothrow) StreamSource(stream_, size));
    if (!source_) return Fail(&failure_, FailureKind::OutOfMemory, "no source");
  }
  OpenOptions options;
  facts_.container = container->name;
  options.facts = &facts_;
  options.surface = state_.surface;
  if (!container->openPicture(*source_, options, &picture_, &failure_)) {
    NameTheBytes(*source_, *container, &failure_);
    picture_.reset();
    return false;
  }
  return true;
}

void MirelthPreviewHandler::Render() {
  if (!window_.handle()) return;
  const int32_t width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
  const int32_t lineHeight = window_.LineHeight();
  const uint32_t background =
      0xFF000000u | (background_ & 0xFF) << 16 | (background_ & 0xFF00) | ((background_ >> 16) & 0xFF);
  PreviewCanvas canvas;
  TextBuffer line;
  bool drawn = Open();
  if (drawn) {
    DecodeFailure failure;
    drawn = RenderPreview(*picture_, state_, width, height, lineHeight, background, &canvas, &failure);
    if (drawn) {
      int32_t lw = 0, lh = 0;
      picture_->levelSize(state_.level, &lw, &lh);
      PreviewFactsLine(facts_, state_, picture_->levelCount(), facts_.surfaces, lw, lh, &line);
    } else {
      failure_ = failure;
    }
  }
  if (!drawn && !RenderBlank(width, height, lineHeight, background, &canvas)) return;
  try {
    // A refusal shows its reason where the facts would be.
    if (!drawn) {
      line.Clear();
      line.Append(DescribeFailure(failure_).c_str());
    }
    const WideString text = Utf8ToWide(line.c_str());
    window_.Show(std::move(canvas.pixels), canvas.width, canvas.height, canvas.lineY, text.c_str(), text_);
  } catch (...) {
    window_.Show(std::move(canvas.pixels), canvas.width, canvas.height, canvas.lineY, nullptr, text_);
  }
}

HRESULT MirelthPreviewHandler::SetWindow(HWND parent, const RECT* rect) {
  if (!parent || !rect) return E_INVALIDARG;
  parent_ = parent;
  rect_ = *rect;
  if (window_.handle()) {
    // A new parent: the pane moves there.
    window_.Destroy();
    if (!window_.Create(parent_, rect_, this)) return E_FAIL;
    Render();
  }
  return S_OK;
}

HRESULT MirelthPreviewHandler::SetRect(const RECT* rect) {
  if (!rect) return E_INVALIDARG;
  rect_ = *rect;
  window_.Move(rect_);
  Render();
  return S_OK;
}

HRESULT MirelthPreviewHandler::DoPreview() {
  if (!parent_) return E_FAIL;
  if (!window_.handle() && !window_.Create(parent_, rect_, this)) return E_FAIL;
  Render();
  return S_OK;
}

HRESULT MirelthPreviewHandler::Unload() {
  window_.Destroy();
  picture_.reset();
  source_.reset();
  opened_ = false;
  state_ = PreviewState{};
  if (stream_) {
    stream_->Release();
    stream_ = nullptr;
  }
  return S_OK;
}

HRESULT MirelthPreviewHandler::SetFocus() {
  window_.Focus();
  return S_OK;
}

HRESULT MirelthPreviewHandler::QueryFocus(HWND* window) {
  if (!window) return E_INVALIDARG;
#if defined(_WIN32)
  *window = GetFocus();
  return *window ? S_OK : HRESULT_FROM_WIN32(GetLastError());
#else
  *window = window_.handle();
  return S_OK;
#endif
}

HRESULT MirelthPreviewHandler::TranslateAccelerator(MSG* message) {
  // The host's frame decides what its accelerators do.
  if (!message || !site_) return S_FALSE;
  IPreviewHandlerFrame* frame = nullptr;
  if (FAILED(site_->QueryInterface(kIidIPreviewHandlerFrame, reinterpret_cast<void**>(&frame))) || !frame) {
    return S_FALSE;
  }
  const HRESULT result = frame->TranslateAccelerator(message);
  frame->Release();
  return result;
}

bool MirelthPreviewHandler::OnKey(const MSG& message) {
  const uint32_t levels = picture_ ? static_cast<uint32_t>(picture_->levelCount()) : 1;
  const uint32_t surfaces = picture_ ? facts_.surfaces : 1;
  PreviewState next = state_;
  if (message.message != WM_KEYDOWN || !picture_ ||
      !ApplyPreviewKey(static_cast<uint32_t>(message.wParam), static_cast<int32_t>(levels), surfaces, &next)) {
    MSG copy = message;
    return TranslateAccelerator(&copy) == S_OK;
  }
  // Another surface is another picture: its facts stay the file's.
  if (next.surface != state_.surface) next.level = 0;
  state_ = next;
  Render();
  return true;
}

HRESULT MirelthPreviewHandler::SetSite(IUnknown* site) {
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  return S_OK;
}

HRESULT MirelthPreviewHandler::GetSite(REFIID riid, void** site) {
  if (!site) return E_POINTER;
  *site = nullptr;
  if (!site_) return E_FAIL;
  return site_->QueryInterface(riid, site);
}

HRESULT MirelthPreviewHandler::GetWindow(HWND* window) {
  if (!window) return E_INVALIDARG;
  *window = parent_;
  return parent_ ? S_OK : E_FAIL;
}

HRESULT MirelthPreviewHandler::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT MirelthPreviewHandler::SetBackgroundColor(COLORREF colour) {
  background_ = colour;
  Render();
  return S_OK;
}

HRESULT MirelthPreviewHandler::SetFont(const LOGFONTW* font) {
  window_.SetFont(font);
  Render();
  return S_OK;
}

HRESULT MirelthPreviewHandler::SetTextColor(COLORREF colour) {
  text_ = colour;
  Render();
  return S_OK;
}

HRESULT CreatePreviewHandler(IClassFactory* factory, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* handler = new (std::nothrow) MirelthPreviewHandler(factory);
  if (!handler) return E_OUTOFMEMORY;
  const HRESULT result = handler->QueryInterface(riid, object);
  handler->Release();
  return result;
}

}  // namespace mirelth
