#include "formats/astc/astc.h"

#include <algorithm>
#include <cstdio>

#include "encodings/encoding.h"
#include "io/byte_reader.h"
#include "io/limits.h"

namespace mirelth {
namespace {

constexpr uint32_t kMagic = 0x5CA1AB13, kHeaderBytes = 16, kBlockBytes = 16;
// The HDR probe reads at most this many evenly spaced runs of blocks of this many bytes.
constexpr uint64_t kProbeRuns = 16, kProbeRunBytes = 64 * 1024;

constexpr struct Footprint {
  uint8_t width, height;
  PixelFormat format;
} kFootprints[] = {
    {4, 4, PixelFormat::ASTC4x4},     {5, 4, PixelFormat::ASTC5x4},     {5, 5, PixelFormat::ASTC5x5},
    {6, 5, PixelFormat::ASTC6x5},     {6, 6, PixelFormat::ASTC6x6},     {8, 5, PixelFormat::ASTC8x5},
    {8, 6, PixelFormat::ASTC8x6},     {8, 8, PixelFormat::ASTC8x8},     {10, 5, PixelFormat::ASTC10x5},
    {10, 6, PixelFormat::ASTC10x6},   {10, 8, PixelFormat::ASTC10x8},   {10, 10, PixelFormat::ASTC10x10},
    {12, 10, PixelFormat::ASTC12x10}, {12, 12, PixelFormat::ASTC12x12},
};

// Whether any block of the probed runs holds HDR values.
bool ProbeHdr(ByteSource& source, uint64_t start, uint64_t bytes, const BlockContext& context, bool* hdr,
              DecodeFailure* failure) {
  *hdr = false;
  const uint64_t runs = bytes <= kProbeRuns * kProbeRunBytes ? 1 : kProbeRuns;
  const uint64_t run = runs == 1 ? bytes : kProbeRunBytes;
  const uint64_t stride = runs == 1 ? 0 : (bytes - run) / (runs - 1) / kBlockBytes * kBlockBytes;
  ByteBuffer buffer;
  for (uint64_t r = 0; r < runs && !*hdr; ++r) {
    const uint8_t* blocks = source.View(start + r * stride, static_cast<size_t>(run), &buffer, failure);
    if (!blocks) return false;
    for (uint64_t at = 0; at + kBlockBytes <= run && !*hdr; at += kBlockBytes) {
      *hdr = AstcBlockHoldsHdr(blocks + at, context);
    }
  }
  return true;
}

}  // namespace

bool OpenAstc(ByteSource& source, const OpenOptions& options, PicturePtr* picture, DecodeFailure* failure) {
  const uint64_t size = source.size();
  uint8_t header[kHeaderBytes] = {};
  if (!source.Read(0, header, static_cast<size_t>(std::min<uint64_t>(size, kHeaderBytes)), failure)) return false;
  const uint32_t magic = ByteReader::U32LENoBoundsCheck(header);
  if (size < 4 || magic != kMagic) return Fail(failure, FailureKind::NotThisFormat, "not an .astc file (no magic)");
  if (size < kHeaderBytes) return FailTruncated(failure, size, kHeaderBytes, "the .astc header");
  const uint32_t bw = header[4], bh = header[5], bd = header[6];
  const auto u24 = [&](int at) {
    return uint32_t{header[at]} | uint32_t{header[at + 1]} << 8 | uint32_t{header[at + 2]} << 16;
  };
  const uint32_t width = u24(7), height = u24(10), depth = u24(13);
  if (bd > 1) return Fail(failure, FailureKind::Unsupported, "3D ASTC footprint %ux%ux%u", bw, bh, bd);
  const Footprint* footprint = nullptr;
  for (const Footprint& f : kFootprints) {
    if (f.width == bw && f.height == bh) footprint = &f;
  }
  if (!footprint) return Fail(failure, FailureKind::InvalidHeader, "ASTC footprint %ux%u", bw, bh);
  if (width == 0 || height == 0 || depth == 0) {
    return Fail(failure, FailureKind::InvalidHeader, ".astc size %u x %u x %u", width, height, depth);
  }
  if (!CheckPictureSize(width, height, options, failure)) return false;

  SourceImage level;
  level.source = &source;
  level.format = footprint->format;
  level.offset = kHeaderBytes;
  level.width = static_cast<int32_t>(width);
  level.height = static_cast<int32_t>(height);
  if (!SizeLevel(&level, failure) || !CheckLevelFits(level, "the ASTC blocks", failure)) return false;
  const BlockContext context{static_cast<int32_t>(bw), static_cast<int32_t>(bh)};
  if (!ProbeHdr(source, level.offset, level.bytes, context, &level.hdrBlocks, failure)) return false;
  LevelChain chain;
  chain.levels[0] = level;
  chain.count = 1;
  if (Facts* facts = options.facts) {
    DescribeTexture(chain, facts);
    facts->SetEncoding("ASTC %ux%u %s", bw, bh, level.hdrBlocks ? "HDR" : "LDR");
    facts->depth = depth;
    if (level.hdrBlocks) facts->colourSpace = ColourSpace::kLinear;
  }
  return TexturePictureOf(chain, picture, failure);
}

}  // namespace mirelth
