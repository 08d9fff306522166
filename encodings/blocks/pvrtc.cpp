// PVRTC I decoding. Colours are taken in ARGB 4555: a 4-bit channel widens to 5 by repeating its top bit, a
// 3-bit one by repeating its top two; translucent alpha is its 3 bits then 0, opaque alpha 15. The A and B images
// are the four nearest word colours weighted (4 - xr)(4 - yr) ... (2 bpp: (8 - xr)(4 - yr) ...) around the
// word centres (4X + 2, 4Y + 2) or (8X + 4, 4Y + 2), wrapping around the word grid; the fixed-point results
// widen to bytes by bit replication. A pixel is (A (8 - w) + B w) / 8 for its modulation weight w:
//   4 bpp, mode 0: 2-bit values 0, 1, 2, 3 weigh 0, 3, 5, 8; mode 1: 0, 4, 4, 8, value 2 with alpha 0.
//   2 bpp, mode 0: one bit a pixel, A or B; mode 1: 2-bit values (0, 3, 5, 8) stored for the pixels whose x + y is
//   even, the others the rounded mean of their stored neighbours (all four, or with bit 0 set only the
//   vertical pair when bit 20 is set, else the horizontal pair); pixel (0, 0) and, with bit 0 set, (4, 2) store
//   one bit (0 or 3).
#include "encodings/blocks/pvrtc.h"

#include <algorithm>
#include <cstring>

#include "encodings/encoding.h"
#include "io/byte_reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirelth {
namespace {

constexpr uint8_t kPunchThrough = 0x10;  // flag on a weight: the pixel's alpha is 0
constexpr uint8_t kStandardWeights[4] = {0, 3, 5, 8};
constexpr uint8_t kPunchWeights[4] = {0, 4, 4 | kPunchThrough, 8};

bool IsPowerOfTwo(int32_t v) { return v > 0 && (v & (v - 1)) == 0; }
int32_t Log2(int32_t v) {
  int32_t bits = 0;
  while ((1 << bits) < v) ++bits;
  return bits;
}

// Where each bit of x and of y lands in a word's index.
struct MortonTables {
  Scratch<uint32_t> x{0}, y{0};
  bool Build(const PvrtcGrid& grid) {
    x = Scratch<uint32_t>(static_cast<size_t>(grid.across));
    y = Scratch<uint32_t>(static_cast<size_t>(grid.down));
    if (!x || !y) return false;
    for (int32_t i = 0; i < grid.across; ++i) x[i] = static_cast<uint32_t>(PvrtcWordOffset(grid, i, 0) / 8);
    for (int32_t i = 0; i < grid.down; ++i) y[i] = static_cast<uint32_t>(PvrtcWordOffset(grid, 0, i) / 8);
    return true;
  }
};

// A whole level in memory.
struct MemoryWords {
  const uint8_t* data;
  const MortonTables& morton;
  uint64_t Word(int32_t x, int32_t y) const {
    const uint8_t* p = data + 8 * static_cast<size_t>(morton.x[x] | morton.y[y]);
    return (uint64_t{ByteReader::U32LENoBoundsCheck(p + 4)} << 32) | ByteReader::U32LENoBoundsCheck(p);
  }
};

// A word's colours A and B as lanes (A blue, green, red, alpha, then B's): 5-bit colour, alpha doubled (0..30) so
// that every lane widens with the same shifts.
void WordColours(uint64_t word, int16_t* lanes) {
  const auto colour = [](uint32_t c, bool isB, int16_t* out) {
    // Both forms, then the one the top bit picks.
    const uint32_t opaque = 0u - (c >> 15);
    const uint32_t r4 = (c >> 8) & 15, g4 = (c >> 4) & 15;
    const uint32_t b4 = isB ? c & 15 : (c >> 1) & 15;
    const uint32_t b3 = (c >> 1) & 7;
    const uint32_t tr = (r4 << 1) | (r4 >> 3), tg = (g4 << 1) | (g4 >> 3);
    const uint32_t tb = isB ? (b4 << 1) | (b4 >> 3) : (b3 << 2) | (b3 >> 1);
    const uint32_t ta = ((c >> 12) & 7) << 1;
    const uint32_t or_ = (c >> 10) & 31, og = (c >> 5) & 31;
    const uint32_t ob = isB ? c & 31 : (b4 << 1) | (b4 >> 3);
    out[0] = static_cast<int16_t>((ob & opaque) | (tb & ~opaque));
    out[1] = static_cast<int16_t>((og & opaque) | (tg & ~opaque));
    out[2] = static_cast<int16_t>((or_ & opaque) | (tr & ~opaque));
    out[3] = static_cast<int16_t>(2 * ((15 & opaque) | (ta & ~opaque)));
  };
  const auto colours = static_cast<uint32_t>(word >> 32);
  colour(colours & 0xFFFF, false, lanes);
  colour(colours >> 16, true, lanes + 4);
}

// The 2-bit modulation value of pixel (x, y) of a 2 bpp word, for a pixel that stores one (direct mode: every
// pixel, its bit as 0 or 3).
uint32_t StoredValue2(uint64_t word, int32_t x, int32_t y) {
  const auto bits = static_cast<uint32_t>(word);
  if (!((word >> 32) & 1)) return ((bits >> (8 * y + x)) & 1) ? 3 : 0;
  if (x == 0 && y == 0) return (bits & 2) ? 3 : 0;
  if ((bits & 1) && x == 4 && y == 2) return ((bits >> 21) & 1) ? 3 : 0;
  return (bits >> (2 * (4 * y + (x >> 1)))) & 3;
}

// The weight (with kPunchThrough) of pixel (x, y) of the level.
template <typename Words>
uint8_t WeightAt(const Words& words, const PvrtcGrid& grid, int32_t x, int32_t y) {
  const int32_t shift = grid.twoBpp ? 3 : 2;
  const uint64_t word = words.Word(x >> shift, y >> 2);
  const auto bits = static_cast<uint32_t>(word);
  const int32_t lx = x & (grid.wordWidth() - 1), ly = y & 3;
  const bool mode = (word >> 32) & 1;
  if (!grid.twoBpp) return (mode ? kPunchWeights : kStandardWeights)[(bits >> (2 * (4 * ly + lx))) & 3];
  if (!mode || ((lx + ly) & 1) == 0) return kStandardWeights[StoredValue2(word, lx, ly)];
  const int32_t pixelsAcross = grid.across * 8, pixelsDown = grid.down * 4;
  const auto neighbour = [&](int32_t dx, int32_t dy) -> int32_t {
    const int32_t nx = (x + dx) & (pixelsAcross - 1), ny = (y + dy) & (pixelsDown - 1);
    return kStandardWeights[StoredValue2(words.Word(nx >> 3, ny >> 2), nx & 7, ny & 3)];
  };
  if (!(bits & 1))
    return static_cast<uint8_t>((neighbour(-1, 0) + neighbour(1, 0) + neighbour(0, -1) + neighbour(0, 1) + 2) / 4);
  if ((bits >> 20) & 1) return static_cast<uint8_t>((neighbour(0, -1) + neighbour(0, 1) + 1) / 2);
  return static_cast<uint8_t>((neighbour(-1, 0) + neighbour(1, 0) + 1) / 2);
}

// The weights of four (4 bpp, by mode) or eight (2 bpp direct) pixels from a byte of modulation bits.
struct WeightTables {
  uint32_t fourBpp[2][256];
  uint64_t direct[256];
  WeightTables() {
    for (uint32_t b = 0; b < 256; ++b) {
      fourBpp[0][b] = fourBpp[1][b] = 0;
      direct[b] = 0;
      for (uint32_t p = 0; p < 4; ++p) {
        fourBpp[0][b] |= uint32_t{kStandardWeights[(b >> (2 * p)) & 3]} << (8 * p);
        fourBpp[1][b] |= uint32_t{kPunchWeights[(b >> (2 * p)) & 3]} << (8 * p);
      }
      for (uint32_t p = 0; p < 8; ++p) direct[b] |= uint64_t{((b >> p) & 1) ? 8u : 0u} << (8 * p);
    }
  }
};
const WeightTables& Weights() {
  static const WeightTables tables;
  return tables;
}

// The weights of the four pixel rows of word row wy: row r of the pixels at rows + r * pitch.
template <typename Words>
void WeightRows(const Words& words, const PvrtcGrid& grid, int32_t wy, uint8_t* rows, size_t pitch) {
  const WeightTables& tables = Weights();
  for (int32_t wx = 0; wx < grid.across; ++wx) {
    const uint64_t word = words.Word(wx, wy);
    const auto bits = static_cast<uint32_t>(word);
    const bool mode = (word >> 32) & 1;
    if (!grid.twoBpp) {
      for (int32_t r = 0; r < 4; ++r) {
        std::memcpy(rows + r * pitch + 4 * static_cast<size_t>(wx), &tables.fourBpp[mode][(bits >> (8 * r)) & 255], 4);
      }
    } else if (!mode) {
      for (int32_t r = 0; r < 4; ++r) {
        std::memcpy(rows + r * pitch + 8 * static_cast<size_t>(wx), &tables.direct[(bits >> (8 * r)) & 255], 8);
      }
    } else {
      for (int32_t p = 0; p < 32; ++p) {
        rows[(p >> 3) * pitch + 8 * static_cast<size_t>(wx) + (p & 7)] =
            WeightAt(words, grid, wx * 8 + (p & 7), wy * 4 + (p >> 3));
      }
    }
  }
}

// The pixel from the vertically interpolated lanes of the words left and right of it, its horizontal position xr
// between their centres, and its weight.
inline uint32_t Pixel(const int16_t* left, const int16_t* right, int32_t xr, uint32_t weight, bool twoBpp) {
  const int32_t span = twoBpp ? 8 : 4;
  const int32_t s1 = twoBpp ? 2 : 1, s2 = twoBpp ? 7 : 6;
  int32_t image[8];
  for (int32_t c = 0; c < 8; ++c) {
    const int32_t v = left[c] * (span - xr) + right[c] * xr;
    image[c] = (v >> s1) + (v >> (s2 - ((c & 3) == 3 ? 1 : 0)));
  }
  const int32_t w = static_cast<int32_t>(weight & 15);
  uint32_t out = 0;
  for (int32_t c = 0; c < 4; ++c) {
    out |= static_cast<uint32_t>((image[c] * (8 - w) + image[4 + c] * w) >> 3) << (8 * c);
  }
  return (weight & kPunchThrough) ? out & 0x00FFFFFFu : out;
}

// Vertical interpolation of a row of word colours: lanes of word row `top` (4 - yr) plus `bottom` yr.
inline void Vertical(const int16_t* top, const int16_t* bottom, int32_t yr, int32_t count, int16_t* out) {
  for (int32_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(top[i] * (4 - yr) + bottom[i] * yr);
}

// One row of pixels from the vertically interpolated lanes of every word column and the row's weights. Between
// two word centres the lanes move by a constant step a pixel.
void PixelRow(const int16_t* vertical, const uint8_t* weights, int32_t across, bool twoBpp, int32_t width,
              uint32_t* out) {
  const int32_t span = twoBpp ? 8 : 4, shift = twoBpp ? 3 : 2;
#if defined(__SSE2__)
  // Lanes: A blue, green, red, alpha, B blue, green, red, alpha. Colour widens as (v >> s1) + (v >> s2), alpha
  // (doubled in the lanes) as (v >> s1) + (2v >> s2), s1 and s2 = 1 and 6 (4 bpp) or 2 and 7 (2 bpp).
  // (2v >> s2) for alpha and (v >> s2) for colour as one high multiply by 2^(16 - s2), doubled for alpha.
  const int16_t colourScale = static_cast<int16_t>(1 << (twoBpp ? 9 : 10));
  const int16_t alphaScale = static_cast<int16_t>(colourScale * 2);
  const __m128i scale = _mm_setr_epi16(colourScale, colourScale, colourScale, alphaScale, colourScale, colourScale,
                                       colourScale, alphaScale);
  const int s1 = twoBpp ? 2 : 1;
  alignas(16) static const int16_t kBlend[9][8] = {
      {8, 8, 8, 8, 0, 0, 0, 0}, {7, 7, 7, 7, 1, 1, 1, 1}, {6, 6, 6, 6, 2, 2, 2, 2},
      {5, 5, 5, 5, 3, 3, 3, 3}, {4, 4, 4, 4, 4, 4, 4, 4}, {3, 3, 3, 3, 5, 5, 5, 5},
      {2, 2, 2, 2, 6, 6, 6, 6}, {1, 1, 1, 1, 7, 7, 7, 7}, {0, 0, 0, 0, 8, 8, 8, 8}};
  for (int32_t x = 0; x < width;) {
    const int32_t left = (x - span / 2) >> shift, xr = (x - span / 2) - (left << shift);
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vertical + 8 * (left & (across - 1))));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vertical + 8 * ((left + 1) & (across - 1))));
    const __m128i step = _mm_sub_epi16(r, l);
    __m128i v =
        _mm_add_epi16(_mm_slli_epi16(l, shift), _mm_mullo_epi16(step, _mm_set1_epi16(static_cast<int16_t>(xr))));
    const int32_t end = std::min(width, x + span - xr);
    const auto image = [&](__m128i lanes) {
      return _mm_add_epi16(_mm_srli_epi16(lanes, s1), _mm_mulhi_epu16(lanes, scale));
    };
    const auto blend = [&](__m128i pixel, uint32_t weight) {
      return _mm_mullo_epi16(pixel, _mm_load_si128(reinterpret_cast<const __m128i*>(kBlend[weight & 15])));
    };
    const auto mask = [](uint32_t weight) { return 0xFFFFFFFFu >> ((weight & kPunchThrough) >> 1); };
    // Two pixels at a time: A and B halves summed side by side, packed to 8 bytes.
    for (; x + 1 < end; x += 2) {
      const __m128i first = blend(image(v), weights[x]);
      v = _mm_add_epi16(v, step);
      const __m128i second = blend(image(v), weights[x + 1]);
      v = _mm_add_epi16(v, step);
      const __m128i sum =
          _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(first, second), _mm_unpackhi_epi64(first, second)), 3);
      const uint32_t pair[2] = {
          static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) & mask(weights[x]),
          static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_packus_epi16(sum, sum), 4))) &
              mask(weights[x + 1])};
      std::memcpy(out + x, pair, 8);
    }
    if (x < end) {
      const __m128i single = blend(image(v), weights[x]);
      const __m128i sum = _mm_srli_epi16(_mm_add_epi16(single, _mm_srli_si128(single, 8)), 3);
      out[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum))) & mask(weights[x]);
      ++x;
    }
  }
#else
  for (int32_t x = 0; x < width; ++x) {
    const int32_t left = (x - span / 2) >> shift, xr = (x - span / 2) - (left << shift);
    out[x] =
        Pixel(vertical + 8 * (left & (across - 1)), vertical + 8 * ((left + 1) & (across - 1)), xr, weights[x], twoBpp);
  }
#endif
}

}  // namespace

bool PvrtcGridOf(PixelFormat format, int32_t width, int32_t height, PvrtcGrid* grid) {
  if (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)) return false;
  grid->twoBpp = format == PixelFormat::PVRTC2BPP;
  grid->across = std::max(2, width / grid->wordWidth());
  grid->down = std::max(2, height / 4);
  return true;
}

uint64_t PvrtcWordOffset(const PvrtcGrid& grid, uint32_t x, uint32_t y) {
  const int32_t shared = Log2(std::min(grid.across, grid.down));
  uint64_t offset = 0;
  for (int32_t i = 0; i < shared; ++i) {
    offset |= uint64_t{(y >> i) & 1u} << (2 * i);
    offset |= uint64_t{(x >> i) & 1u} << (2 * i + 1);
  }
  offset |= uint64_t{(x | y) >> shared} << (2 * shared);
  return offset * 8;
}

void ConvertFromPvrtc(const ConvertJob& job) {
  PvrtcGrid grid;
  MortonTables morton;
  if (!PvrtcGridOf(job.format, job.width, job.height, &grid) || !morton.Build(grid)) return;
  const MemoryWords words{job.source, morton};
  const int32_t across = grid.across, wordWidth = grid.wordWidth();
  Scratch<int16_t> colours(static_cast<size_t>(across) * 16);  // two word rows of lanes, by row parity
  Scratch<int16_t> vertical(static_cast<size_t>(across) * 8);
  Scratch<uint8_t> weights(static_cast<size_t>(across) * wordWidth * 4);
  if (!colours || !vertical || !weights) return;
  int32_t colourRow[2] = {-1, -1}, weightRow = -1;
  const RowWalk walk = StartRowWalk(job.destination, job.destinationPitch, job.height, job.flip);
  for (int32_t y = 0; y < job.height; ++y) {
    const int32_t low = (y - 2) >> 2, yr = (y - 2) - 4 * low;
    const int32_t top = low & (grid.down - 1), bottom = (low + 1) & (grid.down - 1);
    for (const int32_t wy : {top, bottom}) {
      if (colourRow[wy & 1] == wy) continue;
      int16_t* lanes = colours.get() + static_cast<size_t>(wy & 1) * across * 8;
      for (int32_t wx = 0; wx < across; ++wx) WordColours(words.Word(wx, wy), lanes + 8 * wx);
      colourRow[wy & 1] = wy;
    }
    Vertical(colours.get() + static_cast<size_t>(top & 1) * across * 8,
             colours.get() + static_cast<size_t>(bottom & 1) * across * 8, yr, across * 8, vertical.get());
    if (weightRow != (y >> 2)) {
      weightRow = y >> 2;
      WeightRows(words, grid, weightRow, weights.get(), static_cast<size_t>(across) * wordWidth);
    }
    PixelRow(vertical.get(), weights.get() + static_cast<size_t>(y & 3) * across * wordWidth, across, grid.twoBpp,
             job.width, reinterpret_cast<uint32_t*>(walk.first + y * walk.step));
  }
}

// The sampled path.

bool PvrtcSampler::Begin(const PvrtcLevel& image, const int32_t* columns, int32_t columnCount, DecodeFailure* failure) {
  columns_ = columns;
  columnCount_ = columnCount;
  if (!PvrtcGridOf(image.format, image.width, image.height, &grid_)) {
    return Fail(failure, FailureKind::Unsupported, "PVRTC needs power-of-two sizes, not %d x %d", image.width,
                image.height);
  }
  tileSide_ = std::min({32, grid_.across, grid_.down});
  tileShift_ = Log2(tileSide_);
  const int32_t tilesAcross = grid_.across / tileSide_;
  tileSlot_ = Scratch<int32_t>(static_cast<size_t>(tilesAcross));
  tileColumns_ = Scratch<int32_t>(static_cast<size_t>(tilesAcross));
  if (!tileSlot_ || !tileColumns_) return Fail(failure, FailureKind::OutOfMemory, "no PVRTC tile table");
  // A sampled pixel reads the words left and right of it, its own word and, at 2 bpp, the words of its left and
  // right neighbours.
  const int32_t wordWidth = grid_.wordWidth(), shift = grid_.twoBpp ? 3 : 2, pixelsAcross = grid_.across * wordWidth;
  for (int32_t i = 0; i < tilesAcross; ++i) tileSlot_[i] = 0;
  for (int32_t i = 0; i < columnCount; ++i) {
    const int32_t x = columns[i], left = (x - wordWidth / 2) >> shift;
    const int32_t wordColumns[5] = {left & (grid_.across - 1), (left + 1) & (grid_.across - 1), x >> shift,
                                    ((x + pixelsAcross - 1) & (pixelsAcross - 1)) >> shift,
                                    ((x + 1) & (pixelsAcross - 1)) >> shift};
    for (const int32_t wx : wordColumns) tileSlot_[wx >> tileShift_] = 1;
  }
  tileColumnCount_ = 0;
  for (int32_t i = 0; i < tilesAcross; ++i) {
    if (tileSlot_[i]) {
      tileColumns_[tileColumnCount_] = i;
      tileSlot_[i] = tileColumnCount_++;
    } else {
      tileSlot_[i] = -1;
    }
  }
  for (TileRow& row : rows_) row.index = -1;
  return true;
}

bool PvrtcSampler::LoadTileRow(const PvrtcLevel& image, int32_t tileRow, const bool* keep, DecodeFailure* failure) {
  for (const TileRow& row : rows_) {
    if (row.index == tileRow) return true;
  }
  TileRow* slot = nullptr;
  for (int32_t i = 0; i < 3; ++i) {
    if (!keep[i] && (!slot || rows_[i].lastUse < slot->lastUse)) slot = &rows_[i];
  }
  if (!slot) return Fail(failure, FailureKind::InvalidArgument, "PVRTC tile rows");
  const size_t tileBytes = static_cast<size_t>(tileSide_) * tileSide_ * 8;
  uint8_t* bytes = slot->bytes.Reserve(tileBytes * static_cast<size_t>(tileColumnCount_));
  if (!bytes) return Fail(failure, FailureKind::OutOfMemory, "no PVRTC tile row");
  slot->index = -1;
  slot->data = bytes;
  for (int32_t i = 0; i < tileColumnCount_; ++i) {
    const uint64_t offset = PvrtcWordOffset(grid_, static_cast<uint32_t>(tileColumns_[i] << tileShift_),
                                            static_cast<uint32_t>(tileRow << tileShift_));
    if (!image.source->Read(image.offset + offset, bytes + tileBytes * i, tileBytes, failure)) return false;
  }
  slot->index = tileRow;
  return true;
}

uint64_t PvrtcSampler::Word(int32_t x, int32_t y) const {
  const int32_t tileRow = y >> tileShift_;
  const TileRow* row = &rows_[0];
  while (row->index != tileRow && row != &rows_[2]) ++row;  // Row loaded every tile row it reads
  uint32_t local = 0;
  for (int32_t i = 0; i < tileShift_; ++i) {
    local |= static_cast<uint32_t>(((y >> i) & 1) << (2 * i)) | static_cast<uint32_t>(((x >> i) & 1) << (2 * i + 1));
  }
  const size_t tileWords = static_cast<size_t>(tileSide_) * tileSide_;
  const uint8_t* p = row->data + 8 * (static_cast<size_t>(tileSlot_[x >> tileShift_]) * tileWords + local);
  return (uint64_t{ByteReader::U32LENoBoundsCheck(p + 4)} << 32) | ByteReader::U32LENoBoundsCheck(p);
}

bool PvrtcSampler::Row(const PvrtcLevel& image, int32_t row, uint32_t* out, DecodeFailure* failure) {
  const int32_t wordWidth = grid_.wordWidth(), shift = grid_.twoBpp ? 3 : 2;
  if (row < 0 || row >= grid_.down * 4) return Fail(failure, FailureKind::InvalidArgument, "row %d", row);
  const int32_t low = (row - 2) >> 2, yr = (row - 2) - 4 * low;
  const int32_t top = low & (grid_.down - 1), bottom = (low + 1) & (grid_.down - 1);
  const int32_t pixelsDown = grid_.down * 4;
  // Word rows: the two around the row, its own and, at 2 bpp, those of the rows above and below.
  const int32_t wordRows[5] = {top, bottom, row >> 2, ((row + pixelsDown - 1) & (pixelsDown - 1)) >> 2,
                               ((row + 1) & (pixelsDown - 1)) >> 2};
  bool keep[3] = {false, false, false};
  for (const int32_t wy : wordRows) {
    if (!LoadTileRow(image, wy >> tileShift_, keep, failure)) return false;
    for (int32_t i = 0; i < 3; ++i) {
      if (rows_[i].index == (wy >> tileShift_)) {
        keep[i] = true;
        rows_[i].lastUse = ++uses_;
      }
    }
  }
  int16_t topLanes[2][8], bottomLanes[2][8], lanes[2][8];
  for (int32_t i = 0; i < columnCount_; ++i) {
    const int32_t x = columns_[i];
    const int32_t left = (x - wordWidth / 2) >> shift, xr = (x - wordWidth / 2) - (left << shift);
    for (int32_t side = 0; side < 2; ++side) {
      const int32_t wx = (left + side) & (grid_.across - 1);
      WordColours(Word(wx, top), topLanes[side]);
      WordColours(Word(wx, bottom), bottomLanes[side]);
      Vertical(topLanes[side], bottomLanes[side], yr, 8, lanes[side]);
    }
    out[i] = Pixel(lanes[0], lanes[1], xr, WeightAt(*this, grid_, x, row), grid_.twoBpp);
  }
  return true;
}

}  // namespace mirelth
