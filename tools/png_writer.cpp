// PNG output: 8-bit RGBA, no interlace, each row Sub-filtered (each byte less the one four before it) and the image
// deflated fast: with libdeflate where the build has it (natively), else with zlib at level 1 (the Windows cross
// build, for which no libdeflate build exists); stored, or coded byte by byte, when its start shows that deflate
// would gain nothing or little.
#include "tools/png_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/win32.h"
#include "tools/huffman_deflate.h"

#if MIRELTH_HAVE_LIBDEFLATE
#include <libdeflate.h>
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

// The zlib stream of `data` at a level (0: stored); false when it cannot be made.
bool DeflateAt(const uint8_t* data, size_t size, int level, std::vector<uint8_t>* packed) {
#if MIRELTH_HAVE_LIBDEFLATE
  struct Freer {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
  };
  const std::unique_ptr<libdeflate_compressor, Freer> compressor(libdeflate_alloc_compressor(level));
  if (!compressor) return false;
  packed->resize(libdeflate_zlib_compress_bound(compressor.get(), size));
  const size_t made = libdeflate_zlib_compress(compressor.get(), data, size, packed->data(), packed->size());
  packed->resize(made);
  return made != 0;
#else
  uLongf made = compressBound(static_cast<uLong>(size));
  packed->resize(made);
  if (compress2(packed->data(), &made, data, static_cast<uLong>(size), level) != Z_OK) return false;
  packed->resize(made);
  return true;
#endif
}

// The zlib stream of `raw`, made fast, as its first 32 KiB show it should be: stored when deflate shrinks them by
// less than 2% (noise: trying costs 2.5 ms for a 256 x 256 thumbnail, storing 0.1 ms); coded byte by byte when that
// comes within 5% of deflate (grain, where matches are few and the search for them is most of the cost); else
// deflated.
bool Deflate(const std::vector<uint8_t>& raw, std::vector<uint8_t>* packed) {
  constexpr size_t kProbe = 32768;
  if (raw.size() > 2 * kProbe) {
    if (!DeflateAt(raw.data(), kProbe, 1, packed)) return false;
    const size_t deflated = packed->size();
    if (deflated * 50 >= kProbe * 49) return DeflateAt(raw.data(), raw.size(), 0, packed);
    HuffmanOnlyZlib(raw.data(), kProbe, packed);
    if (packed->size() * 20 <= deflated * 21) {
      HuffmanOnlyZlib(raw.data(), raw.size(), packed);
      return true;
    }
  }
  return DeflateAt(raw.data(), raw.size(), 1, packed);
}

}  // namespace

bool WritePngFromBitmap(const std::string& path, const uint8_t* bits, int32_t width, int32_t height,
                        std::string* error) {
  std::unique_ptr<FILE, FileCloser> file(OpenFileUtf8(path, "wb"));
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
  // Filter type 1 (Sub) before each row: the first pixel as it is, every other byte less the byte a pixel back.
  std::vector<uint8_t> raw(static_cast<size_t>(height) * (row.size() + 1));
  for (int32_t y = 0; y < height; ++y) {
    RgbaRow(bits, width, height, y, row.data());
    uint8_t* out = raw.data() + static_cast<size_t>(y) * (row.size() + 1);
    out[0] = 1;
    for (size_t i = 0; i < row.size(); ++i) out[1 + i] = static_cast<uint8_t>(row[i] - (i >= 4 ? row[i - 4] : 0));
  }
  std::vector<uint8_t> packed;
  if (!Deflate(raw, &packed)) {
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
  PutChunk(out, "IDAT", packed.data(), packed.size());
  PutChunk(out, "IEND", nullptr, 0);
  if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
    *error = std::strerror(errno);
    return false;
  }
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
