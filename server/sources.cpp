#include "server/sources.h"

#include <cstring>

namespace mirelth {

bool FileSource::ReadAt(uint64_t offset, void* out, size_t length) {
  auto* bytes = static_cast<uint8_t*>(out);
  while (length > 0) {
    const DWORD chunk = length > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(length);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file_, bytes, chunk, &got, &at) || got == 0 || got > chunk) return false;
    bytes += got;
    offset += got;
    length -= got;
  }
  return true;
}

bool StreamSource::ReadAt(uint64_t offset, void* out, size_t length) {
  if (offset != position_) {
    LARGE_INTEGER move{};
    move.QuadPart = static_cast<LONGLONG>(offset);
    ULARGE_INTEGER reached{};
    if (FAILED(stream_->Seek(move, STREAM_SEEK_SET, &reached)) || reached.QuadPart != offset) return false;
    position_ = offset;
  }
  auto* bytes = static_cast<uint8_t*>(out);
  while (length > 0) {
    const ULONG chunk = length > (ULONG{1} << 30) ? (ULONG{1} << 30) : static_cast<ULONG>(length);
    ULONG got = 0;
    const HRESULT result = stream_->Read(bytes, chunk, &got);
    // S_FALSE with bytes may be a short read: read on; no bytes is the end of the stream.
    if (FAILED(result) || got == 0 || got > chunk) {
      position_ = UINT64_MAX;  // unknown: seek next time
      return false;
    }
    bytes += got;
    length -= got;
    position_ += got;
  }
  return true;
}

bool FileSize(HANDLE file, uint64_t* size) {
  LARGE_INTEGER value{};
  if (!GetFileSizeEx(file, &value) || value.QuadPart < 0) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool StreamSize(IStream* stream, uint64_t* size) {
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
  if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
  *size = stat.cbSize.QuadPart;
  return true;
}

}  // namespace mirelth
