// The byte sources the provider reads through: an open file (positioned reads, so that nothing is mapped and a
// file truncated meanwhile fails a read instead of faulting) and an IStream (Seek, then Read until the bytes
// arrived). Small reads are served from the source's window (pixels/byte_source.h).
#pragma once

#include "io/byte_source.h"
#include "platform/win32.h"

namespace mirelth {

class FileSource final : public ByteSource {
 public:
  // `file` stays owned by the caller and must outlive the source.
  FileSource(HANDLE file, uint64_t size) : ByteSource(size), file_(file) {}

 protected:
  bool ReadAt(uint64_t offset, void* out, size_t length) override;

 private:
  HANDLE file_;
};

class StreamSource final : public ByteSource {
 public:
  // `stream` stays referenced by the caller and must outlive the source. Reads seek first, unless they continue
  // where the last one ended; a stream is taken to start at position 0.
  StreamSource(IStream* stream, uint64_t size) : ByteSource(size), stream_(stream) {}

 protected:
  bool ReadAt(uint64_t offset, void* out, size_t length) override;

 private:
  IStream* stream_;
  uint64_t position_ = UINT64_MAX;  // where the stream stands, when known
};

// The size of an open file or a stream; false when it cannot be had.
bool FileSize(HANDLE file, uint64_t* size);
bool StreamSize(IStream* stream, uint64_t* size);

}  // namespace mirelth
