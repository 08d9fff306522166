// DWAA and DWAB chunks (the OpenEXR DWA compressor's layout; DWAB differs only in 256 lines a chunk).
// A chunk starts with eleven little-endian 64-bit counts (version, unknown data uncompressed and compressed sizes,
// AC, DC and RLE compressed sizes, RLE uncompressed and raw sizes, AC and DC value counts, AC compression), then
// (version 2) the channel rules, then four sections: "unknown" channels deflated as they are, the AC coefficients
// (PIZ's Huffman code or deflate), the DC coefficients (ZIP: deflate, predictor, even/odd split) and RLE channels
// (deflate, then OpenEXR run lengths of each channel's byte planes). Each rule matches a channel's suffix (after
// its last '.') and pixel type and gives its scheme (lossy DCT, RLE or as it is) and, for R, G and B of one layer,
// a place in a colour set that was coded as Y'CbCr.
// Lossy DCT: 8 x 8 blocks of halves in zig-zag order (a DC value, then AC values with 0xffNN runs of NN zeros and
// 0xff00 ending the block), the inverse DCT in single precision with the format's constants, the 709 inverse
// colour transform for a set, rounding to half, and the perceptual curve undone (x^2.2 up to 1, e^(2.2 (x - 1))
// above; with no curve for a lone channel flagged perceptually linear).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "encodings/conversion_rules.h"
#include "formats/exr/exr_codecs.h"
#include "io/byte_reader.h"
#include "io/inflate.h"

namespace mirelth {
namespace {

enum Scheme : uint8_t { kAsItIs = 0, kLossyDct = 1, kRunLength = 2 };
enum Section : int {
  kVersion,
  kUnknownRaw,
  kUnknownPacked,
  kAcPacked,
  kDcPacked,
  kRlePacked,
  kRleUnpacked,
  kRleRaw,
  kAcCount,
  kDcCount,
  kAcCompression,
  kCounts
};
constexpr size_t kHeaderBytes = kCounts * 8;
constexpr int kStaticHuffman = 0, kDeflate = 1;

struct Rule {
  char suffix[256];
  Scheme scheme;
  int8_t colourIndex;  // 0, 1, 2 for R, G, B of a colour set; -1 otherwise
  bool caseInsensitive;
  ExrPixelType type;
};

// The rules files written before rules were stored in chunks use (version 0 and 1).
struct LegacyRule {
  const char* suffix;
  Scheme scheme;
  int8_t colourIndex;
};
constexpr LegacyRule kLegacyRules[] = {
    {"r", kLossyDct, 0},     {"red", kLossyDct, 0}, {"g", kLossyDct, 1},   {"grn", kLossyDct, 1},
    {"green", kLossyDct, 1}, {"b", kLossyDct, 2},   {"blu", kLossyDct, 2}, {"blue", kLossyDct, 2},
    {"y", kLossyDct, -1},    {"by", kLossyDct, -1}, {"ry", kLossyDct, -1}, {"a", kRunLength, -1},
};

// Natural order position -> zig-zag index.
constexpr uint8_t kZigZag[64] = {
    0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42, 3,  8,  12, 17, 25, 30,
    41, 43, 9,  11, 18, 24, 31, 40, 44, 53, 10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38,
    46, 51, 55, 60, 21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63,
};

// The natural (row-major) place of each zig-zag position: kZigZag inverted.
constexpr auto kNaturalOf = [] {
  std::array<uint8_t, 64> natural{};
  for (uint8_t i = 0; i < 64; ++i) natural[kZigZag[i]] = i;
  return natural;
}();

// Half -> half: the perceptual curve undone, NaN and infinity to 0.
const uint16_t* ToLinearTable() {
  static uint16_t table[65536];
  static const bool made = [] {
    const float logBase = static_cast<float>(std::pow(2.7182818, 2.2));
    table[0] = 0;
    for (uint32_t i = 1; i < 65536; ++i) {
      if ((i & 0x7c00) == 0x7c00) {
        table[i] = 0;
        continue;
      }
      const float h = HalfToFloat(static_cast<uint16_t>(i));
      const float sign = h < 0 ? -1.0f : 1.0f;
      const float magnitude = std::fabs(h);
      const float linear =
          magnitude <= 1.0f ? sign * std::pow(magnitude, 2.2f) : sign * std::pow(logBase, magnitude - 1.0f);
      table[i] = FloatToHalf(linear);
    }
    return true;
  }();
  (void)made;
  return table;
}

// The inverse DCT of an 8 x 8 block in place: rows, then columns, each through the same even/odd butterfly.
void InverseDct(float* data) {
  const float a = .5f * std::cos(3.14159f / 4.0f), b = .5f * std::cos(3.14159f / 16.0f),
              c = .5f * std::cos(3.14159f / 8.0f), d = .5f * std::cos(3.f * 3.14159f / 16.0f),
              e = .5f * std::cos(5.f * 3.14159f / 16.0f), f = .5f * std::cos(3.f * 3.14159f / 8.0f),
              g = .5f * std::cos(7.f * 3.14159f / 16.0f);
  auto pass = [&](float* p, size_t step) {
    const float alpha0 = c * p[2 * step], alpha1 = f * p[2 * step], alpha2 = c * p[6 * step], alpha3 = f * p[6 * step];
    const float beta0 = b * p[step] + d * p[3 * step] + e * p[5 * step] + g * p[7 * step];
    const float beta1 = d * p[step] - g * p[3 * step] - b * p[5 * step] - e * p[7 * step];
    const float beta2 = e * p[step] - b * p[3 * step] + g * p[5 * step] + d * p[7 * step];
    const float beta3 = g * p[step] - e * p[3 * step] + d * p[5 * step] - b * p[7 * step];
    const float theta0 = a * (p[0] + p[4 * step]), theta3 = a * (p[0] - p[4 * step]);
    const float theta1 = alpha0 + alpha3, theta2 = alpha1 - alpha2;
    const float gamma0 = theta0 + theta1, gamma1 = theta3 + theta2, gamma2 = theta3 - theta2, gamma3 = theta0 - theta1;
    p[0] = gamma0 + beta0, p[step] = gamma1 + beta1, p[2 * step] = gamma2 + beta2, p[3 * step] = gamma3 + beta3;
    p[4 * step] = gamma3 - beta3, p[5 * step] = gamma2 - beta2, p[6 * step] = gamma1 - beta1;
    p[7 * step] = gamma0 - beta0;
  };
  for (int row = 0; row < 8; ++row) pass(data + 8 * row, 1);
  for (int column = 0; column < 8; ++column) pass(data + column, 8);
}

bool Matches(const Rule& rule, const char* suffix, ExrPixelType type) {
  if (rule.type != type) return false;
  if (!rule.caseInsensitive) return std::strcmp(rule.suffix, suffix) == 0;
  size_t i = 0;
  for (; rule.suffix[i] && suffix[i]; ++i) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; };
    if (lower(rule.suffix[i]) != lower(suffix[i])) return false;
  }
  return rule.suffix[i] == suffix[i];
}

struct ColourSet {
  char prefix[256];
  int32_t index[3];
};

// One lossy DCT group (a colour set of three channels, or one channel): decodes its blocks into the chunk's rows.
struct DctGroup {
  int comps = 1;
  size_t channels[3] = {};
  bool toLinear = true;
};

}  // namespace

bool ExrDecompressor::Dwa(const ExrChunkShape& shape, const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                          DecodeFailure* failure) {
  if (inSize < kHeaderBytes) return Fail(failure, FailureKind::Truncated, "a DWA chunk of %zu bytes", inSize);
  uint64_t counts[kCounts];
  for (int i = 0; i < kCounts; ++i) counts[i] = ByteReader::U64LENoBoundsCheck(in + 8 * i);
  if (counts[kVersion] > 2)
    return Fail(failure, FailureKind::Unsupported, "DWA data version %llu",
                static_cast<unsigned long long>(counts[kVersion]));
  for (int i = kUnknownRaw; i < kAcCompression; ++i) {
    if (counts[i] > (uint64_t{1} << 40))
      return Fail(failure, FailureKind::InvalidHeader, "a DWA chunk's count %d of %llu", i,
                  static_cast<unsigned long long>(counts[i]));
  }
  size_t at = kHeaderBytes;
  // The rules.
  Growable<Rule> rules;
  if (counts[kVersion] < 2) {
    for (const LegacyRule& legacy : kLegacyRules) {
      for (ExrPixelType type : {ExrPixelType::kHalf, ExrPixelType::kFloat, ExrPixelType::kUint}) {
        if (legacy.scheme == kLossyDct && type == ExrPixelType::kUint) continue;
        Rule rule{};
        std::snprintf(rule.suffix, sizeof rule.suffix, "%s", legacy.suffix);
        rule.scheme = legacy.scheme, rule.colourIndex = legacy.colourIndex, rule.caseInsensitive = true;
        rule.type = type;
        if (!rules.Push(rule)) return Fail(failure, FailureKind::OutOfMemory, "no DWA rules");
      }
    }
  } else {
    if (inSize - at < 2) return Fail(failure, FailureKind::Truncated, "a DWA chunk that ends before its rules");
    const size_t ruleBytes = ByteReader::U16LENoBoundsCheck(in + at);
    if (ruleBytes < 2 || ruleBytes > inSize - at) {
      return Fail(failure, FailureKind::InvalidHeader, "DWA rules of %zu bytes", ruleBytes);
    }
    size_t r = at + 2;
    const size_t end = at + ruleBytes;
    while (r < end) {
      Rule rule{};
      size_t length = 0;
      while (r + length < end && in[r + length] != 0) ++length;
      if (r + length + 3 > end || length >= sizeof rule.suffix) {
        return Fail(failure, FailureKind::InvalidHeader, "a DWA rule that runs past its rules");
      }
      std::memcpy(rule.suffix, in + r, length);
      r += length + 1;
      const uint8_t value = in[r], type = in[r + 1];
      r += 2;
      rule.colourIndex = static_cast<int8_t>((value >> 4) - 1);
      const uint8_t scheme = (value >> 2) & 3;
      if (rule.colourIndex > 2 || scheme > kRunLength || type > 2) {
        return Fail(failure, FailureKind::InvalidHeader, "a DWA rule for \"%.40s\" of code 0x%02x, type %u",
                    rule.suffix, value, type);
      }
      rule.scheme = static_cast<Scheme>(scheme);
      rule.caseInsensitive = (value & 1) != 0;
      rule.type = static_cast<ExrPixelType>(type);
      if (!rules.Push(rule)) return Fail(failure, FailureKind::OutOfMemory, "no DWA rules");
    }
    at = end;
  }
  uint64_t packed = 0;
  for (int i : {kUnknownPacked, kAcPacked, kDcPacked, kRlePacked}) packed += counts[i];
  if (packed > inSize - at) {
    return Fail(failure, FailureKind::Truncated, "DWA sections of %llu bytes in %zu",
                static_cast<unsigned long long>(packed), inSize - at);
  }
  const uint8_t* unknownPacked = in + at;
  const uint8_t* acPacked = unknownPacked + counts[kUnknownPacked];
  const uint8_t* dcPacked = acPacked + counts[kAcPacked];
  const uint8_t* rlePacked = dcPacked + counts[kDcPacked];

  // Classify the channels: the last matching rule decides; colour sets gather by layer (the name before the last
  // dot) and are decoded in the order of their layer names.
  const size_t n = shape.channelCount;
  Scratch<Scheme> schemes(n);
  Growable<ColourSet> sets;
  if (!schemes) return Fail(failure, FailureKind::OutOfMemory, "no DWA channel table");
  for (size_t c = 0; c < n; ++c) {
    const char* name = shape.channels[c].name;
    const char* dot = std::strrchr(name, '.');
    const char* suffix = dot ? dot + 1 : name;
    char prefix[256] = {};
    if (dot) std::memcpy(prefix, name, static_cast<size_t>(dot - name));
    schemes[c] = kAsItIs;
    size_t set = sets.size();
    for (size_t s = 0; s < sets.size(); ++s) {
      if (std::strcmp(sets[s].prefix, prefix) == 0) set = s;
    }
    if (set == sets.size()) {
      ColourSet fresh{};
      std::memcpy(fresh.prefix, prefix, sizeof prefix);
      fresh.index[0] = fresh.index[1] = fresh.index[2] = -1;
      if (!sets.Push(fresh)) return Fail(failure, FailureKind::OutOfMemory, "no DWA colour sets");
    }
    for (size_t r = 0; r < rules.size(); ++r) {
      if (!Matches(rules[r], suffix, shape.channels[c].type)) continue;
      schemes[c] = rules[r].scheme;
      if (rules[r].colourIndex >= 0) sets[set].index[rules[r].colourIndex] = static_cast<int32_t>(c);
    }
  }
  // Layer names in byte order (a handful of sets: insertion sort).
  for (size_t i = 1; i < sets.size(); ++i) {
    for (size_t j = i; j > 0 && std::strcmp(sets[j - 1].prefix, sets[j].prefix) > 0; --j) {
      const ColourSet t = sets[j];
      sets[j] = sets[j - 1];
      sets[j - 1] = t;
    }
  }
  // Each channel's samples, and where its rows start in the chunk.
  Scratch<int64_t> widths(n), heights(n);
  if (!widths || !heights) return Fail(failure, FailureKind::OutOfMemory, "no DWA channel table");
  uint64_t lossyBlocks = 0, unknownBytes = 0, rleBytes = 0;
  for (size_t c = 0; c < n; ++c) {
    const ExrChannel& ch = shape.channels[c];
    widths[c] = ExrSampleCount(ch.xSampling, shape.xMin, shape.xMax);
    heights[c] = ExrSampleCount(ch.ySampling, shape.yMin, shape.yMax);
    const uint64_t bytes = static_cast<uint64_t>(widths[c] * heights[c]) * ExrPixelBytes(ch.type);
    if (schemes[c] == kLossyDct) {
      if (ch.type == ExrPixelType::kUint) {
        return Fail(failure, FailureKind::InvalidHeader, "DWA lossy coding of the uint channel %.40s", ch.name);
      }
      lossyBlocks += static_cast<uint64_t>((widths[c] + 7) / 8) * static_cast<uint64_t>((heights[c] + 7) / 8);
    } else if (schemes[c] == kRunLength) {
      rleBytes += bytes;
    } else {
      unknownBytes += bytes;
    }
  }
  // Where each channel's rows start in the chunk (the layout: each line, channel after channel).
  Scratch<size_t> firstRow(n + 1);
  if (!firstRow) return Fail(failure, FailureKind::OutOfMemory, "no DWA row table");
  for (size_t c = 0; c < n; ++c) firstRow[c + 1] = firstRow[c] + static_cast<size_t>(heights[c]);
  Scratch<size_t> rowOffsets(firstRow[n]);
  if (!rowOffsets) return Fail(failure, FailureKind::OutOfMemory, "no DWA row table");
  {
    Scratch<size_t> next(n);
    if (!next) return Fail(failure, FailureKind::OutOfMemory, "no DWA row table");
    size_t offset = 0;
    for (int32_t y = shape.yMin; y <= shape.yMax; ++y) {
      for (size_t c = 0; c < n; ++c) {
        if (!ExrSampledAt(y, shape.channels[c].ySampling)) continue;
        rowOffsets[firstRow[c] + next[c]++] = offset;
        offset += static_cast<size_t>(widths[c]) * ExrPixelBytes(shape.channels[c].type);
      }
    }
  }
  // Row `row` (of the channel's sampled lines) of channel c in the chunk.
  auto rowOf = [&](size_t c, int64_t row) { return out + rowOffsets[firstRow[c] + static_cast<size_t>(row)]; };

  // The unknown section.
  ByteBuffer unknown;
  if (counts[kUnknownPacked] > 0) {
    if (counts[kUnknownRaw] != unknownBytes) {
      return Fail(failure, FailureKind::InvalidHeader, "DWA unknown data of %llu bytes for %llu",
                  static_cast<unsigned long long>(counts[kUnknownRaw]), static_cast<unsigned long long>(unknownBytes));
    }
    if (!unknown.Reserve(static_cast<size_t>(unknownBytes)))
      return Fail(failure, FailureKind::OutOfMemory, "no DWA buffer");
    if (!InflateExactly(unknownPacked, static_cast<size_t>(counts[kUnknownPacked]), unknown.data(),
                        static_cast<size_t>(unknownBytes), "DWA section", failure)) {
      return false;
    }
  } else if (unknownBytes > 0) {
    return Fail(failure, FailureKind::Truncated, "a DWA chunk without its unknown data");
  }
  // AC and DC coefficients.
  if (counts[kAcCount] > lossyBlocks * 63 || counts[kDcCount] != lossyBlocks) {
    return Fail(failure, FailureKind::InvalidHeader, "DWA coefficients %llu AC and %llu DC for %llu blocks",
                static_cast<unsigned long long>(counts[kAcCount]), static_cast<unsigned long long>(counts[kDcCount]),
                static_cast<unsigned long long>(lossyBlocks));
  }
  const size_t acCount = static_cast<size_t>(counts[kAcCount]), dcCount = static_cast<size_t>(counts[kDcCount]);
  Scratch<uint16_t> ac(acCount), dc(dcCount);
  if (!ac || !dc) return Fail(failure, FailureKind::OutOfMemory, "no DWA coefficients");
  if (acCount > 0) {
    if (counts[kAcCompression] == kStaticHuffman) {
      if (!ExrHuffmanDecode(acPacked, static_cast<size_t>(counts[kAcPacked]), ac.get(), acCount, failure)) return false;
    } else if (counts[kAcCompression] == kDeflate) {
      ByteBuffer bytes;
      if (!bytes.Reserve(acCount * 2)) return Fail(failure, FailureKind::OutOfMemory, "no DWA buffer");
      if (!InflateExactly(acPacked, static_cast<size_t>(counts[kAcPacked]), bytes.data(), acCount * 2, "DWA section",
                          failure)) {
        return false;
      }
      for (size_t i = 0; i < acCount; ++i) ac[i] = ByteReader::U16LENoBoundsCheck(bytes.data() + 2 * i);
    } else {
      return Fail(failure, FailureKind::Unsupported, "DWA AC compression %llu",
                  static_cast<unsigned long long>(counts[kAcCompression]));
    }
  }
  if (dcCount > 0) {
    ByteBuffer bytes, scratch;
    if (!bytes.Reserve(dcCount * 2) || !scratch.Reserve(dcCount * 2)) {
      return Fail(failure, FailureKind::OutOfMemory, "no DWA buffer");
    }
    if (!InflateExactly(dcPacked, static_cast<size_t>(counts[kDcPacked]), bytes.data(), dcCount * 2, "DWA section",
                        failure)) {
      return false;
    }
    ExrUnpredict(bytes.data(), dcCount * 2, scratch.data());
    for (size_t i = 0; i < dcCount; ++i) dc[i] = ByteReader::U16LENoBoundsCheck(bytes.data() + 2 * i);
  }
  // Run-length channels.
  ByteBuffer rle;
  if (counts[kRleRaw] > 0 || rleBytes > 0) {
    if (counts[kRleRaw] != rleBytes) {
      return Fail(failure, FailureKind::InvalidHeader, "DWA run-length data of %llu bytes for %llu",
                  static_cast<unsigned long long>(counts[kRleRaw]), static_cast<unsigned long long>(rleBytes));
    }
    if (counts[kRleUnpacked] > rleBytes * 2 + 64) {
      return Fail(failure, FailureKind::InvalidHeader, "DWA run lengths of %llu bytes",
                  static_cast<unsigned long long>(counts[kRleUnpacked]));
    }
    ByteBuffer runs;
    const size_t runBytes = static_cast<size_t>(counts[kRleUnpacked]);
    if (!runs.Reserve(runBytes) || !rle.Reserve(static_cast<size_t>(rleBytes))) {
      return Fail(failure, FailureKind::OutOfMemory, "no DWA buffer");
    }
    if (!InflateExactly(rlePacked, static_cast<size_t>(counts[kRlePacked]), runs.data(), runBytes, "DWA section",
                        failure)) {
      return false;
    }
    size_t r = 0, made = 0;
    uint8_t* raw = rle.data();
    while (r < runBytes) {
      const int8_t count = static_cast<int8_t>(runs.data()[r++]);
      const size_t length = count < 0 ? static_cast<size_t>(-count) : static_cast<size_t>(count) + 1;
      if (length > rleBytes - made || (count < 0 ? length > runBytes - r : r >= runBytes)) {
        return Fail(failure, FailureKind::InvalidHeader, "a DWA run past its channel data");
      }
      if (count < 0) {
        std::memcpy(raw + made, runs.data() + r, length);
        r += length;
      } else {
        std::memset(raw + made, runs.data()[r++], length);
      }
      made += length;
    }
    if (made != rleBytes)
      return Fail(failure, FailureKind::Truncated, "DWA run lengths give %zu of %llu bytes", made,
                  static_cast<unsigned long long>(rleBytes));
  }

  // Lossy DCT groups: colour sets first (in layer order), then lone lossy channels in the list's order.
  Scratch<bool> done(n);
  if (!done) return Fail(failure, FailureKind::OutOfMemory, "no DWA channel table");
  Growable<DctGroup> groups;
  for (size_t s = 0; s < sets.size(); ++s) {
    const int32_t* idx = sets[s].index;
    if (idx[0] < 0 || idx[1] < 0 || idx[2] < 0) continue;
    const ExrChannel &r = shape.channels[idx[0]], &g = shape.channels[idx[1]], &b = shape.channels[idx[2]];
    if (r.xSampling != g.xSampling || r.xSampling != b.xSampling || r.ySampling != g.ySampling ||
        r.ySampling != b.ySampling) {
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      if (schemes[static_cast<size_t>(idx[k])] != kLossyDct) {
        return Fail(failure, FailureKind::InvalidHeader, "a DWA colour set that is not lossy coded");
      }
    }
    DctGroup group;
    group.comps = 3;
    for (int k = 0; k < 3; ++k) {
      group.channels[k] = static_cast<size_t>(idx[k]);
      done[static_cast<size_t>(idx[k])] = true;
    }
    if (!groups.Push(group)) return Fail(failure, FailureKind::OutOfMemory, "no DWA groups");
  }
  for (size_t c = 0; c < n; ++c) {
    if (done[c] || schemes[c] != kLossyDct) continue;
    DctGroup group;
    group.channels[0] = c;
    group.toLinear = !shape.channels[c].perceptuallyLinear;
    if (!groups.Push(group)) return Fail(failure, FailureKind::OutOfMemory, "no DWA groups");
  }
  const uint16_t* toLinear = ToLinearTable();
  size_t acAt = 0, dcAt = 0;
  for (size_t gi = 0; gi < groups.size(); ++gi) {
    const DctGroup& group = groups[gi];
    const int64_t w = widths[group.channels[0]], h = heights[group.channels[0]];
    const int64_t blocksX = (w + 7) / 8, blocksY = (h + 7) / 8;
    const size_t planeBlocks = static_cast<size_t>(blocksX * blocksY);
    if (dcAt + planeBlocks * static_cast<size_t>(group.comps) > dcCount) {
      return Fail(failure, FailureKind::InvalidHeader, "DWA DC values run out");
    }
    for (int64_t by = 0; by < blocksY; ++by) {
      for (int64_t bx = 0; bx < blocksX; ++bx) {
        float block[3][64];
        for (int k = 0; k < group.comps; ++k) {
          // Coefficients go to their natural places as they come (most are zero runs, left 0).
          float* coefficients = block[k];
          std::fill(coefficients, coefficients + 64, 0.0f);
          const uint16_t dcValue =
              dc[dcAt + static_cast<size_t>(k) * planeBlocks + static_cast<size_t>(by * blocksX + bx)];
          coefficients[0] = HalfToFloat(dcValue);
          int lastNonZero = 0;
          for (int comp = 1; comp < 64;) {
            if (acAt >= acCount) return Fail(failure, FailureKind::Truncated, "DWA AC values run out");
            const uint16_t v = ac[acAt++];
            if (v == 0xff00) {
              comp = 64;
            } else if ((v >> 8) == 0xff) {
              comp += v & 0xff;
            } else {
              coefficients[kNaturalOf[static_cast<size_t>(comp)]] = HalfToFloat(v);
              lastNonZero = comp++;
            }
          }
          if (lastNonZero == 0) {
            const float value = coefficients[0] * 3.535536e-01f * 3.535536e-01f;
            for (int i = 0; i < 64; ++i) coefficients[i] = value;
          } else {
            InverseDct(coefficients);
          }
        }
        if (group.comps == 3) {
          for (int i = 0; i < 64; ++i) {
            const float y = block[0][i], cb = block[1][i], cr = block[2][i];
            block[0][i] = y + 1.5747f * cr;
            block[1][i] = y - 0.1873f * cb - 0.4682f * cr;
            block[2][i] = y + 1.8556f * cb;
          }
        }
        for (int k = 0; k < group.comps; ++k) {
          const size_t c = group.channels[k];
          for (int64_t dy = 0; dy < 8 && by * 8 + dy < h; ++dy) {
            uint8_t* row = rowOf(c, by * 8 + dy);
            for (int64_t dx = 0; dx < 8 && bx * 8 + dx < w; ++dx) {
              uint16_t half = FloatToHalf(block[k][dy * 8 + dx]);
              if (group.toLinear) half = toLinear[half];
              row[2 * (bx * 8 + dx)] = static_cast<uint8_t>(half);
              row[2 * (bx * 8 + dx) + 1] = static_cast<uint8_t>(half >> 8);
            }
          }
        }
      }
    }
    dcAt += planeBlocks * static_cast<size_t>(group.comps);
    // Float channels get their halves widened, last first so that nothing is overwritten before it is read.
    for (int k = 0; k < group.comps; ++k) {
      const size_t c = group.channels[k];
      if (shape.channels[c].type != ExrPixelType::kFloat) continue;
      for (int64_t y = 0; y < h; ++y) {
        uint8_t* row = rowOf(c, y);
        for (int64_t x = w - 1; x >= 0; --x) {
          const float value = HalfToFloat(ByteReader::U16LENoBoundsCheck(row + 2 * x));
          uint32_t bits;
          std::memcpy(&bits, &value, 4);
          for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<uint8_t>(bits >> (8 * i));
        }
      }
    }
  }
  // Run-length and as-it-is channels: each in its section, channel after channel in the list's order.
  size_t rleAt = 0, unknownAt = 0;
  for (size_t c = 0; c < n; ++c) {
    if (schemes[c] == kLossyDct) continue;
    const size_t size = ExrPixelBytes(shape.channels[c].type);
    const size_t w = static_cast<size_t>(widths[c]), h = static_cast<size_t>(heights[c]);
    for (size_t y = 0; y < h; ++y) {
      uint8_t* row = rowOf(c, static_cast<int64_t>(y));
      if (schemes[c] == kRunLength) {
        // Byte planes: every sample's first byte, then every second byte, ...
        const uint8_t* planes = rle.data() + rleAt;
        for (size_t x = 0; x < w; ++x) {
          for (size_t b = 0; b < size; ++b) row[x * size + b] = planes[b * w * h + y * w + x];
        }
      } else {
        std::memcpy(row, unknown.data() + unknownAt + y * w * size, w * size);
      }
    }
    (schemes[c] == kRunLength ? rleAt : unknownAt) += w * h * size;
  }
  (void)outSize;
  return true;
}

}  // namespace mirelth
