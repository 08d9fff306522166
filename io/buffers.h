// The no-throw buffers every layer uses: memory comes from the non-throwing allocator and a buffer that could not
// be had is empty (a decoder then fails with OutOfMemory), so nothing throws across the COM boundary.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "io/failure.h"

namespace mirelth {

// A growable byte buffer.
class ByteBuffer {
 public:
  // The buffer with room for `count` bytes (contents not kept), or null when there is no memory.
  uint8_t* Reserve(size_t count) {
    if (count > capacity_ || !data_) {
      data_.reset(new (std::nothrow) uint8_t[count ? count : 1]);
      capacity_ = data_ ? count : 0;
    }
    return data_.get();
  }
  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
};

// A small array of `count` value-initialised elements; empty when there is no memory.
template <typename T>
struct Scratch {
  std::unique_ptr<T[]> data;
  explicit Scratch(size_t count) : data(new (std::nothrow) T[count ? count : 1]()) {}
  explicit operator bool() const { return data != nullptr; }
  T& operator[](size_t i) { return data[i]; }
  const T& operator[](size_t i) const { return data[i]; }
  T* get() { return data.get(); }
  const T* get() const { return data.get(); }
};

// A growable array.
template <typename T>
class Growable {
 public:
  [[nodiscard]] bool Push(const T& value) {
    if (count_ == capacity_) {
      const size_t capacity = capacity_ ? 2 * capacity_ : 16;
      std::unique_ptr<T[]> bigger(new (std::nothrow) T[capacity]);
      if (!bigger) return false;
      for (size_t i = 0; i < count_; ++i) bigger[i] = std::move(items_[i]);
      items_ = std::move(bigger);
      capacity_ = capacity;
    }
    items_[count_++] = value;
    return true;
  }
  size_t size() const { return count_; }
  T& operator[](size_t i) { return items_[i]; }
  const T& operator[](size_t i) const { return items_[i]; }
  void Clear() { count_ = 0; }

 private:
  std::unique_ptr<T[]> items_;
  size_t count_ = 0, capacity_ = 0;
};

// Growable text, appended printf-style; what does not fit in memory is dropped (the text stays valid).
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer& other) { Append(other.c_str(), other.size()); }
  TextBuffer& operator=(const TextBuffer& other) {
    if (this != &other) {
      Clear();
      Append(other.c_str(), other.size());
    }
    return *this;
  }
  void Append(const char* text, size_t length);
  void Append(const char* text);
  void Printf(const char* format, ...) MIRELTH_PRINTF_FORMAT(2, 3);
  void VPrintf(const char* format, va_list args);
  const char* c_str() const { return text_ ? text_.get() : ""; }
  size_t size() const { return size_; }
  void Clear() {
    size_ = 0;
    if (text_) text_[0] = 0;
  }

 private:
  std::unique_ptr<char[]> text_;
  size_t size_ = 0, capacity_ = 0;
};

}  // namespace mirelth
