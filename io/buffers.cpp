#include "io/buffers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace mirelth {

void TextBuffer::Append(const char* text, size_t length) {
  if (length == 0) return;
  if (size_ + length + 1 > capacity_) {
    size_t capacity = capacity_ ? capacity_ : 256;
    while (capacity < size_ + length + 1) capacity *= 2;
    std::unique_ptr<char[]> bigger(new (std::nothrow) char[capacity]);
    if (!bigger) return;
    if (size_) std::memcpy(bigger.get(), text_.get(), size_);
    text_ = std::move(bigger);
    capacity_ = capacity;
  }
  std::memcpy(text_.get() + size_, text, length);
  size_ += length;
  text_[size_] = 0;
}

void TextBuffer::Append(const char* text) { Append(text, std::strlen(text)); }

void TextBuffer::VPrintf(const char* format, va_list args) {
  char line[512];
  const int wrote = std::vsnprintf(line, sizeof line, format, args);
  if (wrote > 0) Append(line, static_cast<size_t>(wrote) < sizeof line ? static_cast<size_t>(wrote) : sizeof line - 1);
}

void TextBuffer::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  VPrintf(format, args);
  va_end(args);
}

}  // namespace mirelth
