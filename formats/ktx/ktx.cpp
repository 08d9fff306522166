#include "formats/ktx/ktx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "encodings/encoding.h"
#include "formats/ktx/ktx_common.h"
#include "formats/ktx/ktx_formats.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kHeaderBytes = 64, kEndianness = 0x04030201, kSwapped = 0x01020304;
constexpr uint32_t kGlBgr = 0x80E0, kGlBgra = 0x80E1;

// Unsized internal formats (GL_RGBA, ...) name their layout by glType: the sized format they mean.
struct Unsized {
  uint32_t base, type, sized;
};
constexpr uint32_t kUnsignedByte = 0x1401, kUnsignedShort = 0x1403, kHalf = 0x140B, kHalfOes = 0x8D61, kFloat = 0x1406,
                   k565 = 0x8363, k4444 = 0x8033, k5551 = 0x8034;
constexpr Unsized kUnsized[] = {
    {0x1908, kUnsignedByte, 0x8058},  {0x1908, kUnsignedShort, 0x805B}, {0x1908, kHalf, 0x881A},
    {0x1908, kFloat, 0x8814},         {0x1908, k4444, 0x8056},          {0x1908, k5551, 0x8057},
    {0x1907, kUnsignedByte, 0x8051},  {0x1907, kUnsignedShort, 0x8054}, {0x1907, kHalf, 0x881B},
    {0x1907, kFloat, 0x8815},         {0x1907, k565, 0x8D62},           {0x1909, kUnsignedByte, 0x8040},
    {0x1909, kUnsignedShort, 0x8042}, {0x1909, kHalf, 0x881E},          {0x1909, kFloat, 0x8818},
    {0x190A, kUnsignedByte, 0x8045},  {0x190A, kUnsignedShort, 0x8048}, {0x190A, kHalf, 0x881F},
    {0x190A, kFloat, 0x8819},         {0x1906, kUnsignedByte, 0x803C},  {0x1906, kUnsignedShort, 0x803E},
    {0x1906, kHalf, 0x881C},          {0x1906, kFloat, 0x8816},         {0x1903, kUnsignedByte, 0x8229},
    {0x1903, kUnsignedShort, 0x822A}, {0x1903, kHalf, 0x822D},          {0x1903, kFloat, 0x822E},
    {0x8227, kUnsignedByte, 0x822B},  {0x8227, kUnsignedShort, 0x822C}, {0x8227, kHalf, 0x822F},
    {0x8227, kFloat, 0x8230},
};

struct KtxHeader {
  bool bigEndian = false;
  uint32_t glType = 0, glTypeSize = 0, glFormat = 0, glInternalFormat = 0, glBaseInternalFormat = 0;
  uint32_t width = 0, height = 0, depth = 0, elements = 0, faces = 0, levels = 0, keyValueBytes = 0;
};

uint64_t Align4(uint64_t v) { return (v + 3) & ~uint64_t{3}; }

bool ReadHeader(ByteSource& source, KtxHeader* h, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kHeaderBytes] = {};
  const size_t head = static_cast<size_t>(std::min<uint64_t>(size, sizeof kIdentifier));
  if (!source.Read(0, header, head, failure)) return false;
  if (size == 0 || std::memcmp(header, kIdentifier, head) != 0) {
    return Fail(failure, FailureKind::NotThisFormat, "not a KTX 1 file (no KTX 11 identifier)");
  }
  if (size < kHeaderBytes) return FailTruncated(failure, size, kHeaderBytes, "the KTX 1 header");
  if (!source.Read(0, header, kHeaderBytes, failure)) return false;
  const uint32_t endianness = ByteReader::U32LENoBoundsCheck(header + 12);
  if (endianness != kEndianness && endianness != kSwapped) {
    return Fail(failure, FailureKind::InvalidHeader, "KTX 1 endianness word %08X", endianness);
  }
  h->bigEndian = endianness == kSwapped;
  const auto u32 = [&](uint32_t at) {
    return h->bigEndian ? ByteReader::U32BENoBoundsCheck(header + at) : ByteReader::U32LENoBoundsCheck(header + at);
  };
  h->glType = u32(16), h->glTypeSize = u32(20), h->glFormat = u32(24), h->glInternalFormat = u32(28);
  h->glBaseInternalFormat = u32(32), h->width = u32(36), h->height = u32(40), h->depth = u32(44);
  h->elements = u32(48), h->faces = u32(52), h->levels = u32(56), h->keyValueBytes = u32(60);
  return true;
}

// The internal format's row, an unsized one resolved by glType.
const KtxFormat* FormatOf(const KtxHeader& h, uint32_t* code) {
  *code = h.glInternalFormat;
  for (const Unsized& u : kUnsized) {
    if (u.base == h.glInternalFormat && (u.type == h.glType || (u.type == kHalf && h.glType == kHalfOes))) {
      *code = u.sized;
    }
  }
  return GlFormat(*code);
}

void Describe(const KtxHeader& h, const char* name, const KtxFormat& format, const KtxOrientation& orientation,
              const LevelChain& chain, Facts* facts) {
  if (!facts) return;
  DescribeTexture(chain, facts);
  facts->SetEncoding("%s", name);
  facts->faces = h.faces;
  facts->layers = std::max<uint32_t>(1, h.elements);
  facts->surfaces = facts->faces * facts->layers;
  facts->depth = std::max<uint32_t>(1, h.depth);
  if (format.srgb) facts->colourSpace = ColourSpace::kSrgb;
  std::snprintf(facts->orientation, sizeof facts->orientation, "%s", orientation.text);
  if (h.glType == 0) {
    std::snprintf(facts->details, sizeof facts->details, "KTX 1, %s-endian, compressed",
                  h.bigEndian ? "big" : "little");
  } else {
    std::snprintf(facts->details, sizeof facts->details, "KTX 1, %s-endian, glType 0x%04X, glFormat 0x%04X",
                  h.bigEndian ? "big" : "little", h.glType, h.glFormat);
  }
}

}  // namespace

bool OpenKtx(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  KtxHeader h;
  if (!ReadHeader(source, &h, failure)) return false;
  const uint64_t size = source.size();
  uint32_t code = 0;
  const KtxFormat* format = FormatOf(h, &code);
  if (!format) return Fail(failure, FailureKind::Unsupported, "glInternalFormat 0x%04X", h.glInternalFormat);
  if (format->format == PixelFormat::kNone) {
    bool unsized = false;
    for (const Unsized& u : kUnsized) unsized = unsized || u.base == code;
    if (unsized) {
      return Fail(failure, FailureKind::Unsupported, "%s of glType 0x%04X", format->name, h.glType);
    }
    return Fail(failure, FailureKind::Unsupported, "%s", format->name);
  }
  if (!CheckKtxShape("KTX 1", h.width, h.height, h.depth, h.faces, h.levels, failure) ||
      !CheckKtxDrawing("KTX 1", *format, h.width, std::max<uint32_t>(1, h.height), options, failure)) {
    return false;
  }
  const uint32_t height = std::max<uint32_t>(1, h.height), depth = std::max<uint32_t>(1, h.depth);
  const uint32_t elements = std::max<uint32_t>(1, h.elements), levels = std::max<uint32_t>(1, h.levels);
  const uint64_t dataStart = uint64_t{kHeaderBytes} + h.keyValueBytes;
  if (dataStart > size) return FailTruncated(failure, size, dataStart, "the KTX 1 key/value data");
  KtxOrientation orientation;
  if (!ReadKtxOrientation(ByteSlice(source, kHeaderBytes, h.keyValueBytes), h.bigEndian, &orientation, failure)) {
    return false;
  }

  SourceImage drawing = KtxDrawing(source, *format, orientation);
  // GL_BGR and GL_BGRA name the memory order of 8-bit colour.
  if ((h.glFormat == kGlBgra || h.glFormat == kGlBgr) &&
      (drawing.format == PixelFormat::A8R8G8B8 || drawing.format == PixelFormat::R8G8B8)) {
    drawing.order = ChannelOrder::BGRA;
  }
  // Big-endian 16- and 32-bit values are put in little-endian order when drawn.
  const bool block = IsBlockFormat(drawing.format);
  const bool swap = h.bigEndian && !block && (h.glTypeSize == 2 || h.glTypeSize == 4);

  // Levels: an image size word, the images (rows padded to 4 bytes), padding to 4.
  const bool cube = h.faces == 6 && h.elements == 0;
  const uint64_t images = uint64_t{elements} * h.faces;
  LevelChain chain;
  StoredLevel stored[kMaxLevels];
  uint64_t at = dataStart;
  for (uint32_t k = 0; k < levels && k < static_cast<uint32_t>(kMaxLevels); ++k) {
    uint32_t imageSize = 0;
    const bool read = h.bigEndian ? source.U32BE(at, &imageSize, nullptr) : source.U32LE(at, &imageSize, nullptr);
    SourceImage level = drawing;
    level.width = static_cast<int32_t>(std::max<uint32_t>(1, h.width >> k));
    level.height = static_cast<int32_t>(std::max<uint32_t>(1, height >> k));
    level.offset = at + 4;
    if (!SizeLevel(&level, failure)) return false;
    const uint64_t tight = level.pitch;
    if (!block) {
      level.pitch = Align4(level.pitch);
      if (!CheckedMultiply(level.pitch, static_cast<uint64_t>(level.height), &level.bytes)) {
        return Fail(failure, FailureKind::TooLarge, "KTX 1 level %u", k);
      }
    }
    uint64_t need = 0, levelBytes = 0;
    const uint64_t slices = std::max<uint64_t>(1, depth >> k);
    const bool sized = CheckedMultiply(level.bytes, (cube ? 1 : images) * slices, &need);
    // The surface a closer look asks for (element-major, then face).
    const uint64_t surface = options.surface < images ? options.surface : 0;
    const uint64_t skip = surface * (cube ? Align4(imageSize) : level.bytes * slices);
    if (!read || !sized || imageSize < need || !source.Has(level.offset, need)) {
      if (k == 0) {
        if (!read) return FailTruncated(failure, size, at + 4, "the KTX 1 image size");
        if (!sized || imageSize < need) {
          return Fail(failure, FailureKind::InvalidHeader, "KTX 1 image size %u where level 0 needs %llu", imageSize,
                      static_cast<unsigned long long>(need));
        }
        return FailTruncated(failure, size, level.offset + need, "KTX 1 level 0");
      }
      break;  // a smaller level that does not fit ends the chain
    }
    if (surface && (!CheckedAdd(level.offset, skip, &level.offset) || !source.Has(level.offset, level.bytes))) {
      return Fail(failure, FailureKind::Truncated, "KTX 1 surface %llu of level %u",
                  static_cast<unsigned long long>(surface), k);
    }
    if (swap) {
      level.derived = true;
      StoredLevel& swapped = stored[chain.count];
      swapped.offset = level.offset, swapped.length = level.bytes, swapped.pitch = level.pitch;
      swapped.rows = static_cast<uint32_t>(level.height), swapped.rowBytes = tight;
    }
    chain.levels[chain.count++] = level;
    levelBytes = cube ? 6 * Align4(imageSize) : uint64_t{imageSize};
    at = level.offset - skip + Align4(levelBytes);
  }
  const char* name = format->name;
  if (code != h.glInternalFormat) name = GlFormat(h.glInternalFormat)->name;  // as the file names it
  Describe(h, name, *format, orientation, chain, options.facts);
  if (!swap) return TexturePictureOf(chain, picture, failure);
  auto swapped = MakeKtxDerivedLevels(source, h.glTypeSize == 2 ? LevelTransform::kSwap16 : LevelTransform::kSwap32,
                                      stored, chain.count);
  if (!swapped) return Fail(failure, FailureKind::OutOfMemory, "no memory for the KTX 1 levels");
  return TexturePictureOf(chain, picture, failure, std::move(swapped));
}

}  // namespace mirelth
