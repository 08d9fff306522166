// Helpers shared by the tests: DDS files built in memory, bitmaps read back as top-down pixel arrays,
// temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "io/failure.h"
#include "platform/win32.h"

namespace mirelth::test {

// A decoded picture, top row first, pixels as 0xAARRGGBB.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Reads a 32-bit bottom-up DIB section back as an Image (empty on failure).
Image ImageFromBitmap(HBITMAP bitmap);

struct DdsSpec {
  int32_t width = 4;
  int32_t height = 4;
  uint32_t flags = 0x1 | 0x2 | 0x4 | 0x1000;
  uint32_t pixelFlags = 0x40;
  uint32_t fourCC = 0;
  uint32_t bitCount = 32;
  uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  uint32_t caps = 0x1000;
  uint32_t caps2 = 0;
  uint32_t mipMapCount = 0;
};
// A 128-byte header followed by `payload`.
std::vector<uint8_t> MakeDds(const DdsSpec& spec, const std::vector<uint8_t>& payload);
uint32_t FourCC(const char* text);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Writes bytes to a new file in the temporary directory and returns its UTF-8 path.
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Writes bytes over the start of an existing file, in place (the file keeps its identity and open handles).
void WriteBytesAt(const std::string& path, const std::vector<uint8_t>& bytes);
// File handles open in this process (the stand-in's count, or the process's handle count on Windows).
long OpenFileHandles();

// Samples bundled with the repository (samples/) and test data (tests/data/).
std::string SamplePath(const std::string& name);
std::string TestDataPath(const std::string& name);

// Sends standard output to the null device while it lives (the PSD reader lists layers there).
class QuietStdout {
 public:
  QuietStdout();
  ~QuietStdout();
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_ = -1;
};

// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

// A container drawn from bytes in memory (an exact-size heap copy, so that a read past the end trips the
// address sanitizer): at full size, or as a thumbnail at cx (sampled, or the reference).
enum class Mode { kFull, kThumbnail, kReference };
struct Drawn {
  bool ok = false;
  DecodeFailure failure;
  Image image;
  std::string listing;  // the layer listing, when the container writes one
  Facts facts;          // what the container said of the file
  BITMAPINFO info{};
};
Drawn DrawBytes(FileType type, const std::vector<uint8_t>& bytes, Mode mode = Mode::kFull, uint32_t cx = 0);

// Little- and big-endian writers for building files.
void PutLE(std::vector<uint8_t>& out, size_t at, uint32_t value);
void AppendLE16(std::vector<uint8_t>& out, uint32_t value);
void AppendLE32(std::vector<uint8_t>& out, uint32_t value);
void AppendBE16(std::vector<uint8_t>& out, uint32_t value);
void AppendBE32(std::vector<uint8_t>& out, uint32_t value);

}  // namespace mirelth::test
