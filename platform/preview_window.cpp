#include "platform/preview_window.h"

#include <algorithm>
#include <atomic>

namespace mirelth {

#if defined(_WIN32)

namespace {

constexpr const WCHAR* kClassName = L"MirelthPreviewPane";

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

bool PreviewWindow::Create(HWND parent, const RECT& rect, Listener* listener) {
  Destroy();
  listener_ = listener;
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = Procedure;
  type.hInstance = ThisModule();
  type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.lpszClassName = kClassName;
  RegisterClassExW(&type);  // fails harmlessly when the class is already registered
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, type.hInstance, this);
  return window_ != nullptr;
}

void PreviewWindow::Move(const RECT& rect) {
  if (window_) {
    SetWindowPos(window_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void PreviewWindow::Show(std::unique_ptr<uint32_t[]> pixels, int32_t width, int32_t height, int32_t lineY,
                         const WCHAR* line, COLORREF textColour) {
  pixels_ = std::move(pixels);
  width_ = width, height_ = height, lineY_ = lineY;
  line_ = line ? line : L"";
  textColour_ = textColour;
  if (window_) {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
  }
}

void PreviewWindow::SetFont(const LOGFONTW* font) {
  if (font_) DeleteObject(font_);
  font_ = font ? CreateFontIndirectW(font) : nullptr;
}

int32_t PreviewWindow::LineHeight() const {
  HDC dc = GetDC(window_);
  if (!dc) return 16;
  const HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  const int32_t height = GetTextMetricsW(dc, &metrics) ? metrics.tmHeight : 16;
  SelectObject(dc, old);
  ReleaseDC(window_, dc);
  return height;
}

void PreviewWindow::Focus() {
  if (window_) ::SetFocus(window_);
}

void PreviewWindow::Destroy() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (font_) {
    DeleteObject(font_);
    font_ = nullptr;
  }
}

void PreviewWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (!dc) return;
  if (pixels_ && width_ > 0 && height_ > 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // the canvas is top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width_), static_cast<DWORD>(height_), 0, 0, 0,
                      static_cast<UINT>(height_), pixels_.get(), &info, DIB_RGB_COLORS);
    const HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColour_);
    RECT line = {8, lineY_, width_ - 8, height_};
    DrawTextW(dc, line_.c_str(), static_cast<int>(line_.size()), &line,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, old);
  }
  EndPaint(window_, &paint);
}

LRESULT CALLBACK PreviewWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      if (self) {
        self->Paint();
        return 0;
      }
      break;
    case WM_ERASEBKGND: return 1;  // the canvas covers the window
    case WM_LBUTTONDOWN: ::SetFocus(window); return 0;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (self && self->listener_) {
        MSG msg{window, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
        if (self->listener_->OnKey(msg)) return 0;
      }
      break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

#else

// The stand-in's record of the window created last (panes on several threads each create their own).
std::atomic<PreviewWindow*> last{nullptr};

bool PreviewWindow::Create(HWND parent, const RECT& rect, Listener* listener) {
  Destroy();
  (void)rect;
  listener_ = listener;
  window_ = parent ? parent : reinterpret_cast<HWND>(this);  // a stand-in handle: never dereferenced
  last = this;
  return true;
}
void PreviewWindow::Move(const RECT& rect) { (void)rect; }
void PreviewWindow::Show(std::unique_ptr<uint32_t[]> pixels, int32_t width, int32_t height, int32_t lineY,
                         const WCHAR* line, COLORREF textColour) {
  pixels_ = std::move(pixels);
  width_ = width, height_ = height, lineY_ = lineY;
  line_ = line ? line : MIRELTH_W("");
  textColour_ = textColour;
}
void PreviewWindow::SetFont(const LOGFONTW* font) { font_ = font ? reinterpret_cast<HFONT>(1) : nullptr; }
int32_t PreviewWindow::LineHeight() const { return 16; }
void PreviewWindow::Focus() {}
void PreviewWindow::Destroy() {
  PreviewWindow* self = this;
  last.compare_exchange_strong(self, nullptr);
  window_ = nullptr;
  font_ = nullptr;
}

#endif

}  // namespace mirelth

#if !defined(_WIN32)
namespace standin {
mirelth::PreviewWindow* LastPreviewWindow() { return mirelth::last.load(); }
}  // namespace standin
#endif
