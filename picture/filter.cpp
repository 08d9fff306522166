// The filter: plans of sampled rows and columns, a ring of the last four sample rows (the rows of one thumbnail
// row are contiguous in the plan and never go back), and the alpha-weighted mean in integers:
//   n samples, S = sum of alpha: alpha = (S + n/2) / n; colour = (sum(c a) + S/2) / S, or 0 when S = 0.
#include "picture/filter.h"

#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encodings/conversion_rules.h"
#include "io/limits.h"

namespace mirelth {

void ThumbnailSize(int32_t width, int32_t height, uint32_t cx, int32_t* thumbWidth, int32_t* thumbHeight) {
  const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 1;
  const uint64_t h = height > 0 ? static_cast<uint64_t>(height) : 1;
  const uint64_t longer = w >= h ? w : h, shorter = w >= h ? h : w;
  uint64_t scaled = (2 * uint64_t{cx} * shorter + longer) / (2 * longer);  // rounded to nearest
  if (scaled < 1) scaled = 1;
  *thumbWidth = static_cast<int32_t>(w >= h ? cx : scaled);
  *thumbHeight = static_cast<int32_t>(w >= h ? scaled : cx);
}

namespace {

// Exact division of x < 2^20 by d in 1..4080 (at most 16 samples of alpha 255): x x ceil'(2^40 / d) >> 40, where
// the multiplier overshoots 2^40 / d by at most 1, which moves x / d by at most 2^-20, less than the 1/d its
// fraction stays below 1 by. Every divisor's multiplier is made once.
constexpr uint32_t kMaxDivisor = 16 * 255;
const uint64_t* Reciprocals() {
  static const auto* const table = [] {
    static uint64_t multipliers[kMaxDivisor + 1];
    for (uint64_t d = 1; d <= kMaxDivisor; ++d) multipliers[d] = (uint64_t{1} << 40) / d + 1;
    return multipliers;
  }();
  return table;
}
inline uint32_t Divide(uint32_t x, uint64_t multiplier) { return static_cast<uint32_t>((x * multiplier) >> 40); }

// The alpha-weighted mean of `count` samples: alpha = (S + n/2) / n; colour = (sum(c a) + S/2) / S, or 0 when S = 0.
inline uint32_t Mean(uint32_t count, uint32_t alphaSum, uint32_t redSum, uint32_t greenSum, uint32_t blueSum) {
  const uint64_t* reciprocal = Reciprocals();
  const uint32_t alpha = Divide(alphaSum + count / 2, reciprocal[count]);
  uint32_t pixel = alpha << 24;
  if (alphaSum > 0) {
    const uint32_t half = alphaSum / 2;
    const uint64_t r = reciprocal[alphaSum];
    pixel |= Divide(redSum + half, r) << 16 | Divide(greenSum + half, r) << 8 | Divide(blueSum + half, r);
  }
  return pixel;
}

// The sums of `count` (at most 4) adjacent samples: alpha, and each channel times its alpha.
struct Sums {
  uint32_t alpha = 0, red = 0, green = 0, blue = 0;
};
#if defined(__SSE2__)
// Two samples a register: bytes widened to 16-bit lanes (B G R A), multiplied by (A A A 1), widened again and
// added in 32-bit lanes.
inline __m128i WeightedPair(__m128i two) {
  const __m128i wide = _mm_unpacklo_epi8(two, _mm_setzero_si128());
  __m128i alphas = _mm_shufflehi_epi16(_mm_shufflelo_epi16(wide, 0xFF), 0xFF);
  alphas = _mm_or_si128(_mm_and_si128(alphas, _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0)),
                        _mm_setr_epi16(0, 0, 0, 1, 0, 0, 0, 1));
  const __m128i products = _mm_mullo_epi16(wide, alphas);  // at most 255 x 255: unsigned 16 bits
  return _mm_add_epi32(_mm_unpacklo_epi16(products, _mm_setzero_si128()),
                       _mm_unpackhi_epi16(products, _mm_setzero_si128()));
}
inline __m128i AddRun(__m128i sums, const uint32_t* samples, int32_t count) {
  int32_t c = 0;
  for (; c + 2 <= count; c += 2) {
    sums = _mm_add_epi32(sums, WeightedPair(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + c))));
  }
  if (c < count) sums = _mm_add_epi32(sums, WeightedPair(_mm_cvtsi32_si128(static_cast<int>(samples[c]))));
  return sums;
}
#endif

}  // namespace

bool PlanAxis(int32_t thumbSize, int32_t imageSize, AxisSamples* axis) {
  axis->thumbSize = thumbSize;
  axis->imageSize = imageSize;
  axis->count = 0;
  const size_t t = static_cast<size_t>(thumbSize > 0 ? thumbSize : 1);
  axis->positions = Scratch<int32_t>(4 * t);
  axis->first = Scratch<int32_t>(t);
  axis->span = Scratch<uint8_t>(t);
  if (!axis->positions || !axis->first || !axis->span) return false;
  const int64_t n = imageSize, size = thumbSize;
  for (int64_t d = 0; d < size; ++d) {
    const int64_t x0 = d * n / size;
    int64_t x1 = (d + 1) * n / size;
    if (x1 < x0 + 1) x1 = x0 + 1;
    const int64_t width = x1 - x0;
    const int32_t samples = width <= 4 ? static_cast<int32_t>(width) : 4;
    for (int32_t i = 0; i < samples; ++i) {
      const auto position = static_cast<int32_t>(width <= 4 ? x0 + i : x0 + (2 * i + 1) * width / 8);
      if (i == 0) {
        // Only an enlarged axis repeats a position, and then as the next thumbnail position's only sample.
        const bool repeat = axis->count > 0 && axis->positions[axis->count - 1] == position;
        axis->first[d] = repeat ? axis->count - 1 : axis->count;
        if (repeat) continue;
      }
      axis->positions[axis->count++] = position;
    }
    axis->span[d] = static_cast<uint8_t>(samples);
  }
  return true;
}

UniqueBitmap CreateSizedBitmap(int32_t width, int32_t height, uint8_t** bits, BITMAPINFO* info,
                               DecodeFailure* failure) {
  BITMAPINFO local;
  BITMAPINFO* target = info ? info : &local;
  FillBitmapInfo(target, width, height);
  UniqueBitmap bitmap = CreateImageBitmap(*target, bits);
  if (!bitmap) Fail(failure, FailureKind::OutOfMemory, "no %d x %d bitmap", width, height);
  return bitmap;
}

bool DrawFiltered(RowSource& source, const RowGeometry& geometry, int32_t tw, int32_t th, HBITMAP* bitmap,
                  DecodeFailure* failure) {
  const int32_t width = geometry.width, height = geometry.height;
  if (width <= 0 || height <= 0 || tw <= 0 || th <= 0) {
    return Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", width, height);
  }
  AxisSamples xs, ys;
  if (!PlanAxis(tw, width, &xs) || !PlanAxis(th, height, &ys)) {
    return Fail(failure, FailureKind::OutOfMemory, "no sample plans");
  }
  const int32_t columns = xs.count, rows = ys.count;
  Scratch<int32_t> storedColumns(static_cast<size_t>(columns));
  Scratch<int32_t> storedRows(static_cast<size_t>(rows));
  constexpr int32_t kRing = 4;
  Scratch<uint32_t> ring(static_cast<size_t>(columns) * kRing);
  if (!storedColumns || !storedRows || !ring) return Fail(failure, FailureKind::OutOfMemory, "no sample rows");
  for (int32_t i = 0; i < columns; ++i) {
    storedColumns[i] = geometry.rightToLeft ? width - 1 - xs.positions[columns - 1 - i] : xs.positions[i];
  }
  for (int32_t j = 0; j < rows; ++j) {
    storedRows[j] = geometry.topDown ? ys.positions[j] : height - 1 - ys.positions[rows - 1 - j];
  }
  uint8_t* bits = nullptr;
  UniqueBitmap result = CreateSizedBitmap(tw, th, &bits, nullptr, failure);
  if (!result) return false;
  if (!source.Begin(storedColumns.get(), columns, storedRows.get(), rows, failure)) return false;

  // Picture sample index -> stored index.
  auto columnIndex = [&](int32_t i) { return geometry.rightToLeft ? columns - 1 - i : i; };
  auto rowIndex = [&](int32_t j) { return geometry.topDown ? j : rows - 1 - j; };
  // Zero-alpha pictures: the opaque thumbnail alongside, kept if no sample had any alpha.
  Scratch<uint32_t> opaque(geometry.zeroAlphaOpaque ? static_cast<size_t>(tw) * th : 0);
  if (geometry.zeroAlphaOpaque && !opaque) return Fail(failure, FailureKind::OutOfMemory, "no thumbnail buffer");
  if (!geometry.zeroAlphaOpaque) opaque.data.reset();
  bool anyAlpha = false;
  int32_t loaded = 0;  // stored rows read so far
  // Thumbnail rows in the order the stored rows come.
  for (int32_t step = 0; step < th; ++step) {
    const int32_t ty = geometry.topDown ? step : th - 1 - step;
    const int32_t j0 = ys.first[ty], n = ys.span[ty];
    const uint32_t* sampleRows[4];
    for (int32_t k = 0; k < n; ++k) {
      const int32_t stored = rowIndex(j0 + k);
      while (loaded <= stored) {
        if (!source.Row(loaded, ring.get() + static_cast<size_t>(loaded % kRing) * columns, failure)) return false;
        ++loaded;
      }
      sampleRows[k] = ring.get() + static_cast<size_t>(stored % kRing) * columns;
    }
    auto* out = reinterpret_cast<uint32_t*>(bits + static_cast<size_t>(th - 1 - ty) * tw * 4);
    uint32_t* opaqueOut = opaque ? opaque.get() + static_cast<size_t>(th - 1 - ty) * tw : nullptr;
    for (int32_t tx = 0; tx < tw; ++tx) {
      const int32_t i0 = xs.first[tx], m = xs.span[tx];
      if (n == 1 && m == 1) {
        // One sample: its own value, but transparent black where its alpha is 0, as the mean gives.
        const uint32_t p = sampleRows[0][columnIndex(i0)];
        const bool visible = p >= 0x01000000u;
        out[tx] = visible ? p : 0;
        anyAlpha |= visible;
        if (opaqueOut) opaqueOut[tx] = p | 0xFF000000u;
        continue;
      }
      const auto count = static_cast<uint32_t>(n * m);
#if defined(__SSE2__)
      if (!opaqueOut) {
        // The samples of a thumbnail pixel are adjacent in each sample row (descending when right to left).
        const int32_t start = geometry.rightToLeft ? columns - i0 - m : i0;
        __m128i sums = _mm_setzero_si128();
        for (int32_t k = 0; k < n; ++k) sums = AddRun(sums, sampleRows[k] + start, m);
        alignas(16) uint32_t lanes[4];  // B, G, R, A
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
        out[tx] = Mean(count, lanes[3], lanes[2], lanes[1], lanes[0]);
        anyAlpha |= lanes[3] > 0;
        continue;
      }
#endif
      uint32_t alphaSum = 0, redSum = 0, greenSum = 0, blueSum = 0, red = 0, green = 0, blue = 0;
      for (int32_t k = 0; k < n; ++k) {
        for (int32_t c = 0; c < m; ++c) {
          const uint32_t p = sampleRows[k][columnIndex(i0 + c)];
          const uint32_t a = p >> 24;
          alphaSum += a;
          redSum += ((p >> 16) & 0xFF) * a;
          greenSum += ((p >> 8) & 0xFF) * a;
          blueSum += (p & 0xFF) * a;
          red += (p >> 16) & 0xFF;
          green += (p >> 8) & 0xFF;
          blue += p & 0xFF;
        }
      }
      out[tx] = Mean(count, alphaSum, redSum, greenSum, blueSum);
      anyAlpha |= alphaSum > 0;
      // The same mean with every alpha 255.
      if (opaqueOut) opaqueOut[tx] = Mean(count, 255 * count, 255 * red, 255 * green, 255 * blue);
    }
  }
  if (opaque && !anyAlpha) std::memcpy(bits, opaque.get(), static_cast<size_t>(tw) * th * 4);
  *bitmap = result.release();
  return true;
}

bool DrawRowsFull(RowSource& source, const RowGeometry& geometry, HBITMAP* bitmap, BITMAPINFO* info,
                  DecodeFailure* failure) {
  const int32_t width = geometry.width, height = geometry.height;
  if (width <= 0 || height <= 0) return Fail(failure, FailureKind::InvalidHeader, "image size %d x %d", width, height);
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxImagePixels) {
    return Fail(failure, FailureKind::TooLarge, "%d x %d pixels", width, height);
  }
  Scratch<int32_t> columns(static_cast<size_t>(width));
  Scratch<int32_t> rows(static_cast<size_t>(height));
  if (!columns || !rows) return Fail(failure, FailureKind::OutOfMemory, "no row plans");
  for (int32_t x = 0; x < width; ++x) columns[x] = x;
  for (int32_t y = 0; y < height; ++y) rows[y] = y;
  uint8_t* bits = nullptr;
  UniqueBitmap result = CreateSizedBitmap(width, height, &bits, info, failure);
  if (!result) return false;
  if (!source.Begin(columns.get(), width, rows.get(), height, failure)) return false;
  for (int32_t r = 0; r < height; ++r) {
    const int32_t y = geometry.topDown ? r : height - 1 - r;
    auto* out = reinterpret_cast<uint32_t*>(bits + static_cast<size_t>(height - 1 - y) * width * 4);
    if (!source.Row(r, out, failure)) return false;
    if (geometry.rightToLeft) {
      for (int32_t a = 0, b = width - 1; a < b; ++a, --b) std::swap(out[a], out[b]);
    }
  }
  if (geometry.zeroAlphaOpaque) {
    auto* pixels = reinterpret_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(width) * height;
    bool anyAlpha = false;
    for (size_t i = 0; i < count && !anyAlpha; ++i) anyAlpha = pixels[i] >= 0x01000000u;
    if (!anyAlpha) MakeOpaque(pixels, count);
  }
  *bitmap = result.release();
  return true;
}

bool BitmapRows::Begin(const int32_t* columns, int32_t columnCount, const int32_t* rows, int32_t, DecodeFailure*) {
  columns_ = columns;
  columnCount_ = columnCount;
  rows_ = rows;
  return true;
}

bool BitmapRows::Row(int32_t index, uint32_t* out, DecodeFailure*) {
  const int32_t y = rows_[index];
  const auto* in =
      reinterpret_cast<const uint32_t*>(pixels_.bits + static_cast<size_t>(pixels_.height - 1 - y) * pixels_.width * 4);
  for (int32_t i = 0; i < columnCount_; ++i) out[i] = in[columns_[i]];
  return true;
}

}  // namespace mirelth
