#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "io/byte_source.h"
#include "io/limits.h"
#include "picture/bitmap.h"
#include "picture/filter.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#define CurrentProcessId _getpid
#define dup _dup
#define dup2 _dup2
#define close _close
#define open _open
constexpr const char* kNullDevice = "NUL";
#else
#include <unistd.h>
#define CurrentProcessId getpid
constexpr const char* kNullDevice = "/dev/null";
#endif

namespace mirelth::test {

Image ImageFromBitmap(HBITMAP bitmap) {
  Image image;
  BitmapPixels pixels{};
  if (!GetBitmapPixels(bitmap, &pixels)) return image;
  GdiFlush();
  image.width = pixels.width;
  image.height = pixels.height;
  image.pixels.resize(static_cast<size_t>(pixels.width) * pixels.height);
  for (int32_t y = 0; y < pixels.height; ++y) {
    // Bottom-up memory: picture row y is memory row height - 1 - y.
    std::memcpy(&image.pixels[static_cast<size_t>(y) * pixels.width],
                pixels.bits + static_cast<size_t>(pixels.height - 1 - y) * pixels.width * 4,
                static_cast<size_t>(pixels.width) * 4);
  }
  return image;
}

uint32_t FourCC(const char* text) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
         uint32_t(uint8_t(text[3])) << 24;
}

std::vector<uint8_t> MakeDds(const DdsSpec& spec, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> file(128 + payload.size(), 0);
  auto put = [&](size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  std::memcpy(file.data(), "DDS ", 4);
  put(4, 124);
  put(8, spec.flags);
  put(12, static_cast<uint32_t>(spec.height));
  put(16, static_cast<uint32_t>(spec.width));
  put(28, spec.mipMapCount);
  put(76, 32);
  put(80, spec.pixelFlags);
  put(84, spec.fourCC);
  put(88, spec.bitCount);
  for (int i = 0; i < 4; ++i) put(92 + 4 * i, spec.masks[i]);
  put(108, spec.caps);
  put(112, spec.caps2);
  std::copy(payload.begin(), payload.end(), file.begin() + 128);
  return file;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = OpenFileUtf8(path, "rb");
  if (!file) return bytes;
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(file);
  return bytes;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  // One folder per process and a fresh name per call: tests run in parallel, and so may whole test runs.
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("mirelth-tests-" + std::to_string(CurrentProcessId()));
  std::filesystem::create_directories(directory);
  const std::string path = (directory / (std::to_string(counter++) + "-" + name)).string();
  FILE* file = OpenFileUtf8(path, "wb");
  if (file) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

void WriteBytesAt(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = OpenFileUtf8(path, "r+b");
  if (!file) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

long OpenFileHandles() {
#if defined(_WIN32)
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<long>(count);
#else
  return standin::LiveFileHandles();
#endif
}

std::string SamplePath(const std::string& name) {
  const char* overridden = std::getenv("MIRELTH_SAMPLES_DIR");
  return std::string(overridden ? overridden : MIRELTH_SAMPLES_DIR) + "/" + name;
}

std::string TestDataPath(const std::string& name) {
  const char* overridden = std::getenv("MIRELTH_TEST_DATA_DIR");
  return std::string(overridden ? overridden : MIRELTH_TEST_DATA_DIR) + "/" + name;
}

QuietStdout::QuietStdout() {
  std::fflush(stdout);
  saved_ = dup(1);
  const int null = open(kNullDevice, O_WRONLY);
  if (null >= 0) {
    dup2(null, 1);
    close(null);
  }
}

QuietStdout::~QuietStdout() {
  std::fflush(stdout);
  if (saved_ >= 0) {
    dup2(saved_, 1);
    close(saved_);
  }
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

Drawn DrawBytes(FileType type, const std::vector<uint8_t>& bytes, Mode mode, uint32_t cx) {
  Drawn drawn;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  MemorySource source(copy.get(), bytes.size());
  OpenOptions options;
  options.facts = &drawn.facts;
  struct KeepListing {
    Drawn& drawn;
    ~KeepListing() { drawn.listing = drawn.facts.listing.c_str(); }
  } keepListing{drawn};
  if (mode == Mode::kFull) options.maxPixels = kMaxImagePixels;
  const Container* container = ContainerFor(type);
  if (container) drawn.facts.container = container->name;
  PicturePtr picture;
  if (!container || !container->openPicture(source, options, &picture, &drawn.failure)) return drawn;
  HBITMAP bitmap = nullptr;
  if (mode == Mode::kFull) {
    drawn.ok = picture->DrawFull(&bitmap, &drawn.info, &drawn.failure);
  } else {
    int32_t tw = 0, th = 0;
    ThumbnailSize(picture->width(), picture->height(), cx, &tw, &th);
    drawn.ok = picture->DrawThumbnail(tw, th, mode == Mode::kReference, &bitmap, &drawn.failure);
  }
  if (drawn.ok) {
    drawn.image = ImageFromBitmap(bitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  return drawn;
}

void PutLE(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void AppendLE16(std::vector<uint8_t>& out, uint32_t value) {
  out.insert(out.end(), {uint8_t(value), uint8_t(value >> 8)});
}
void AppendLE32(std::vector<uint8_t>& out, uint32_t value) {
  AppendLE16(out, value & 0xFFFF);
  AppendLE16(out, value >> 16);
}
void AppendBE16(std::vector<uint8_t>& out, uint32_t value) {
  out.insert(out.end(), {uint8_t(value >> 8), uint8_t(value)});
}
void AppendBE32(std::vector<uint8_t>& out, uint32_t value) {
  AppendBE16(out, value >> 16);
  AppendBE16(out, value & 0xFFFF);
}

}  // namespace mirelth::test
