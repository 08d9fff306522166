// PNG output. libpng where the build has it; otherwise (the Windows cross build) a small writer of our own
// over zlib, which produces the same kind of file: 8-bit RGBA, no interlace, fast compression.
#include "tools/png_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32.h"

#if MIRELTH_HAVE_LIBPNG
#include <png.h>
#else
#include <zlib.h>
#endif

namespace mirelth {
namespace {

struct FileCloser {
  void operator()(FILE* file) const {
    if (file) std::fclose(file);
  }
};

// One top-down RGBA row from a bottom-up BGRA bitmap.
void RgbaRow(const uint8_t* bits, int32_t width, int32_t height, int32_t y, uint8_t* out) {
  const uint8_t* in = bits + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
  for (int32_t x = 0; x < width; ++x, in += 4, out += 4) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    out[3] = in[3];
  }
}

#if !MIRELTH_HAVE_LIBPNG
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  Put32(out, static_cast<uint32_t>(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  Put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}
#endif

}  // namespace

bool WritePngFromBitmap(const std::string& path, const uint8_t* bits, int32_t width, int32_t height,
                        std::string* error) {
  std::unique_ptr<FILE, FileCloser> file(OpenFileUtf8(path, "wb"));
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
#if MIRELTH_HAVE_LIBPNG
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    *error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "write failed";
    return false;
  }
  png_init_io(png, file.get());
  png_set_compression_level(png, 1);  // thumbnails are small; speed matters more than bytes
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    RgbaRow(bits, width, height, y, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
#else
  // Filter type 0 before each row, the whole image deflated at level 1.
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (row.size() + 1));
  for (int32_t y = 0; y < height; ++y) {
    RgbaRow(bits, width, height, y, row.data());
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK) {
    *error = "compression failed";
    return false;
  }
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  uint8_t header[13] = {};
  for (int i = 0; i < 4; ++i) {
    header[i] = static_cast<uint8_t>(static_cast<uint32_t>(width) >> (24 - 8 * i));
    header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (24 - 8 * i));
  }
  header[8] = 8;  // bit depth
  header[9] = 6;  // RGBA
  PutChunk(out, "IHDR", header, sizeof header);
  PutChunk(out, "IDAT", packed.data(), packedSize);
  PutChunk(out, "IEND", nullptr, 0);
  if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
    *error = std::strerror(errno);
    return false;
  }
#endif
  if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
    *error = std::strerror(errno);
    return false;
  }
  if (std::fclose(file.release()) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace mirelth
