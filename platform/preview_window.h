// The preview pane's window: a child of the preview host's window that shows a canvas (top row first,
// 0xAARRGGBB pixels) and one line of text under it, and hands the keys it receives to its listener. On Windows a
// real child window (painted from the canvas, the text drawn in the host's font and colour); elsewhere a stand-in
// that keeps what it was given, so that tests can look at it and send it keys.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32.h"

namespace mirelth {

class PreviewWindow {
 public:
  class Listener {
   public:
    // A key pressed while the pane has focus: true when the pane used it. Keys it does not use go back to the
    // host (the listener forwards them).
    virtual bool OnKey(const MSG& message) = 0;

   protected:
    ~Listener() = default;
  };

  PreviewWindow() = default;
  ~PreviewWindow() { Destroy(); }
  PreviewWindow(const PreviewWindow&) = delete;
  PreviewWindow& operator=(const PreviewWindow&) = delete;

  // Creates the child window over `rect` of `parent`; false when it cannot be made.
  [[nodiscard]] bool Create(HWND parent, const RECT& rect, Listener* listener);
  void Move(const RECT& rect);
  // Shows `pixels` (taken over) and the line of text at `lineY`, in `textColour` on the canvas.
  void Show(std::unique_ptr<uint32_t[]> pixels, int32_t width, int32_t height, int32_t lineY, const WCHAR* line,
            COLORREF textColour);
  // The font of the text (null: the system's); the height of a line in it.
  void SetFont(const LOGFONTW* font);
  int32_t LineHeight() const;
  void Focus();
  HWND handle() const { return window_; }
  // A key down as the window would receive it (tests): what the listener answers.
  bool SendKey(uint32_t key) {
    MSG message{window_, WM_KEYDOWN, key, 0, 0, {}};
    return listener_ && listener_->OnKey(message);
  }
  void Destroy();

  // What is shown (the stand-in's record; on Windows the same copy the window paints from).
  const uint32_t* pixels() const { return pixels_.get(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  const WideString& line() const { return line_; }

 private:
  HWND window_ = nullptr;
  Listener* listener_ = nullptr;
  std::unique_ptr<uint32_t[]> pixels_;
  int32_t width_ = 0, height_ = 0, lineY_ = 0;
  WideString line_;
  COLORREF textColour_ = 0;
  HFONT font_ = nullptr;

#if defined(_WIN32)
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
#endif
};

}  // namespace mirelth

#if !defined(_WIN32)
namespace standin {
// The preview window created last (null when none lives).
mirelth::PreviewWindow* LastPreviewWindow();
}  // namespace standin
#endif
