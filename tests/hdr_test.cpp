// Radiance HDR files made here from known pixels: flat, old and new run-length scanlines, each of the eight
// resolution-string orientations, XYZE, refusals of truncated and overrunning scanlines; thumbnails against the
// reference. Values stay below 1, so the tone mapping leaves F's bytes and each pixel can be checked exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/containers.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kWidth = 11, kHeight = 9;

// The picture's pixel (x, y) as RGBE with exponent 128: value (m + 0.5) / 256.
void PixelAt(int32_t x, int32_t y, uint8_t* out) {
  out[0] = static_cast<uint8_t>(20 * (x / 2));  // pairs of equal pixels give the run-length forms runs
  out[1] = static_cast<uint8_t>(12 * y);        // small enough that XYZE stays below a luminance of 1
  out[2] = 77;
  out[3] = 128;
}
uint32_t Expected(int32_t x, int32_t y, bool xyze) {
  uint8_t p[4];
  PixelAt(x, y, p);
  double c[3] = {(p[0] + 0.5) / 256, (p[1] + 0.5) / 256, (p[2] + 0.5) / 256};
  if (xyze) {
    const double X = c[0], Y = c[1], Z = c[2];
    c[0] = 3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z;
    c[1] = -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z;
    c[2] = 0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z;
  }
  uint32_t pixel = 0xFF000000u;
  for (int k = 0; k < 3; ++k) {
    const double v = std::clamp(c[k], 0.0, 1.0);
    const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    pixel |= static_cast<uint32_t>(std::lround(s * 255)) << (16 - 8 * k);
  }
  return pixel;
}

enum class Coding { kFlat, kOld, kNew };

// One scanline of 4-byte pixels in a coding.
void AppendScanline(const Bytes& pixels, Coding coding, Bytes* out) {
  const size_t n = pixels.size() / 4;
  if (coding == Coding::kFlat) {
    out->insert(out->end(), pixels.begin(), pixels.end());
  } else if (coding == Coding::kOld) {
    for (size_t x = 0; x < n; ++x) {
      if (x > 0 && std::memcmp(&pixels[4 * x], &pixels[4 * x - 4], 4) == 0) {
        out->insert(out->end(), {1, 1, 1, 1});  // repeat the pixel before once
      } else {
        out->insert(out->end(), pixels.begin() + 4 * x, pixels.begin() + 4 * x + 4);
      }
    }
  } else {
    out->insert(out->end(), {2, 2, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    for (int c = 0; c < 4; ++c) {
      // Runs of two or more as runs, the rest as literals of one.
      for (size_t x = 0; x < n;) {
        size_t run = 1;
        while (x + run < n && run < 127 && pixels[4 * (x + run) + c] == pixels[4 * x + c]) ++run;
        if (run >= 2) {
          out->insert(out->end(), {static_cast<uint8_t>(128 + run), pixels[4 * x + c]});
        } else {
          out->insert(out->end(), {1, pixels[4 * x + c]});
        }
        x += run;
      }
    }
  }
}

// A file of the picture in orientation `resolution` ("-Y 9 +X 11", ...).
Bytes MakeHdr(const std::string& slow, const std::string& fast, Coding coding, bool xyze) {
  const bool transposed = slow[1] == 'X';
  const int32_t scanlines = transposed ? kWidth : kHeight, length = transposed ? kHeight : kWidth;
  const std::string text = std::string("#?RADIANCE\n# made by the test\nFORMAT=32-bit_rle_") +
                           (xyze ? "xyze" : "rgbe") + "\nEXPOSURE=2\n\n" + slow + " " + std::to_string(scanlines) +
                           " " + fast + " " + std::to_string(length) + "\n";
  Bytes out(text.begin(), text.end());
  for (int32_t s = 0; s < scanlines; ++s) {
    Bytes line;
    for (int32_t p = 0; p < length; ++p) {
      int32_t x, y;
      if (transposed) {
        x = slow[0] == '+' ? s : kWidth - 1 - s;
        y = fast[0] == '+' ? kHeight - 1 - p : p;
      } else {
        y = slow[0] == '+' ? kHeight - 1 - s : s;
        x = fast[0] == '+' ? p : kWidth - 1 - p;
      }
      uint8_t pixel[4];
      PixelAt(x, y, pixel);
      line.insert(line.end(), pixel, pixel + 4);
    }
    AppendScanline(line, coding, &out);
  }
  return out;
}

TEST(Hdr, EveryOrientationAndCoding) {
  const char* slows[] = {"-Y", "+Y", "-X", "+X"};
  for (const char* slow : slows) {
    for (const char sign : {'+', '-'}) {
      const std::string fast = std::string(1, sign) + (slow[1] == 'Y' ? "X" : "Y");
      for (const Coding coding : {Coding::kFlat, Coding::kOld, Coding::kNew}) {
        for (const bool xyze : {false, true}) {
          const Bytes file = MakeHdr(slow, fast, coding, xyze);
          const std::string what =
              std::string(slow) + " " + fast + " coding " + std::to_string(int(coding)) + (xyze ? " XYZE" : "");
          const test::Drawn drawn = test::DrawBytes(FileType::kHdr, file);
          ASSERT_TRUE(drawn.ok) << what << ": " << DescribeFailure(drawn.failure);
          ASSERT_EQ(drawn.image.width, kWidth) << what;
          ASSERT_EQ(drawn.image.height, kHeight) << what;
          for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
              const uint32_t want = Expected(x, y, xyze), got = drawn.image.at(x, y);
              for (int shift = 0; shift < 24; shift += 8) {
                ASSERT_LE(std::abs(int((got >> shift) & 255) - int((want >> shift) & 255)), 1)
                    << what << " at " << x << "," << y << std::hex << ": 0x" << got << " not 0x" << want;
              }
            }
          }
          for (const uint32_t cx : {3u, 6u, 11u}) {
            const test::Drawn sampled = test::DrawBytes(FileType::kHdr, file, test::Mode::kThumbnail, cx);
            const test::Drawn reference = test::DrawBytes(FileType::kHdr, file, test::Mode::kReference, cx);
            ASSERT_TRUE(sampled.ok && reference.ok) << what << DescribeFailure(sampled.failure);
            EXPECT_EQ(sampled.image.pixels, reference.image.pixels) << what << " at " << cx;
          }
          EXPECT_STREQ(drawn.facts.encoding, xyze ? "XYZE" : "RGBE");
          EXPECT_EQ(std::string(drawn.facts.orientation), std::string(slow) + " " + fast);
        }
      }
    }
  }
}

TEST(Hdr, Refusals) {
  const Bytes good = MakeHdr("-Y", "+X", Coding::kNew, false);
  const size_t header = std::string(good.begin(), good.end()).find("+X 11\n") + 6;
  const struct {
    const char* what;
    Bytes file;
    FailureKind kind;
  } cases[] = {
      {"no signature", Bytes(good.begin() + 2, good.end()), FailureKind::NotThisFormat},
      {"empty", Bytes{}, FailureKind::Truncated},
      {"ends inside its signature", Bytes(good.begin(), good.begin() + 5), FailureKind::Truncated},
      {"header without its end", Bytes(good.begin(), good.begin() + 30), FailureKind::Truncated},
      {"no scanlines", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(header)), FailureKind::Truncated},
      {"scanlines cut short", Bytes(good.begin(), good.end() - 20), FailureKind::Truncated},
  };
  for (const auto& c : cases) {
    const test::Drawn drawn = test::DrawBytes(FileType::kHdr, c.file);
    EXPECT_FALSE(drawn.ok) << c.what;
    EXPECT_EQ(drawn.failure.kind, c.kind) << c.what << ": " << DescribeFailure(drawn.failure);
  }
  auto patched = [&](const std::string& from, const std::string& to) {
    std::string text(good.begin(), good.end());
    text.replace(text.find(from), from.size(), to);
    return Bytes(text.begin(), text.end());
  };
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, patched("rgbe", "rgbx")).failure.kind, FailureKind::Unsupported);
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, patched("-Y 9 +X 11", "-Y 9 +Y 11")).failure.kind,
            FailureKind::InvalidHeader);
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, patched("-Y 9 +X 11", "-Y 0 +X 11")).failure.kind,
            FailureKind::InvalidHeader);
  // More than 65536 a side, or more pixels than the bytes could hold (a tiny file claiming a huge picture).
  EXPECT_EQ(DescribeFailure(test::DrawBytes(FileType::kHdr, patched("-Y 9 +X 11", "-Y 9 +X 70000")).failure),
            "invalid header: HDR size 70000 x 9 (at most 65536 a side)");
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, patched("-Y 9 +X 11", "-Y 60000 +X 60000"), test::Mode::kThumbnail, 64)
                .failure.kind,
            FailureKind::InvalidHeader);
  // A new run-length scanline whose run passes its end, and one that names another length.
  Bytes overrun = good;
  overrun[header + 4] = 128 + 127;
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, overrun).failure.kind, FailureKind::InvalidHeader);
  Bytes length = good;
  length[header + 3] = 12;
  EXPECT_EQ(test::DrawBytes(FileType::kHdr, length).failure.kind, FailureKind::InvalidHeader);
  // A thumbnail reads only up to its last sampled row: rows cut after that still draw at 1 pixel.
  const test::Drawn small =
      test::DrawBytes(FileType::kHdr, Bytes(good.begin(), good.end() - 20), test::Mode::kThumbnail, 1);
  EXPECT_TRUE(small.ok) << DescribeFailure(small.failure);
}

}  // namespace
}  // namespace mirelth
