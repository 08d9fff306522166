// Plain converters through ConvertPixels: every code, every order, flip, pitches, and the exhaustive
// 16-bit check against a per-channel reference written from the layout tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "encodings/conversion_rules.h"
#include "encodings/convert.h"
#include "encodings/described.h"
#include "encodings/encoding.h"
#include "tests/test_support.h"

namespace mirelth {
namespace {

using enum PixelFormat;
using enum ChannelOrder;
constexpr ChannelOrder kOrders[] = {RGBA, ARGB, BGRA, ABGR};

uint32_t Expand(uint32_t v, int bits) {
  switch (bits) {
    case 1: return v ? 255 : 0;
    case 4: return v * 17;
    case 5: return (v << 3) | (v >> 2);
    case 6: return (v << 2) | (v >> 4);
  }
  return v;
}

// Converts one row of `count` source pixels and returns the destination pixels.
std::vector<uint32_t> ConvertRow(const std::vector<uint8_t>& source, PixelFormat format, ChannelOrder order,
                                 int32_t count) {
  std::vector<uint32_t> out(static_cast<size_t>(count), 0xDEADBEEF);
  ConvertPixels(reinterpret_cast<uint8_t*>(out.data()), count * 4, source.data(), static_cast<int32_t>(source.size()),
                format, order, count, 1, false);
  return out;
}

struct WordCase {
  PixelFormat format;
  uint16_t word;
  uint32_t expected;
};

// Every code of the table of encodings can be drawn: a converter, and for block encodings a block decoder.
TEST(ConvertPixels, EveryEncodingHasItsFunctions) {
  for (int32_t code = 1; code < kPixelFormatCount; ++code) {
    const Encoding* e = EncodingOf(static_cast<PixelFormat>(code));
    ASSERT_NE(e, nullptr) << code;
    EXPECT_NE(e->convert, nullptr) << e->name;
    if (e->walk == Walk::kBlocks) {
      EXPECT_NE(e->decodeBlock, nullptr) << e->name;
    }
    // An HDR encoding has its linear floats for the tone mapping: a float converter or a float block decoder.
    if (e->hdr) {
      EXPECT_EQ(e->walk == Walk::kPixels, e->convertFloat != nullptr) << e->name;
      EXPECT_EQ(e->walk == Walk::kBlocks, e->decodeFloatBlock != nullptr) << e->name;
    }
  }
  EXPECT_EQ(EncodingOf(PixelFormat::kNone), nullptr);
  EXPECT_EQ(EncodingOf(static_cast<PixelFormat>(kPixelFormatCount)), nullptr);
}

TEST(ConvertPixels, SixteenBitWordsGiveTheDocumentedPixels) {
  const WordCase cases[] = {
      {R5G6B5, 0xF800, 0xFFFF0000},   {R5G6B5, 0x07E0, 0xFF00FF00},     {R5G6B5, 0x001F, 0xFF0000FF},
      {R5G6B5, 0x0000, 0xFF000000},   {A1R5G5B5, 0x7FFF, 0x00FFFFFF},   {A1R5G5B5, 0x8000, 0xFF000000},
      {X1R5G5B5, 0x7FFF, 0xFFFFFFFF}, {X1R5G5B5, 0x0000, 0xFF000000},   {A4R4G4B4, 0x8F00, 0x88FF0000},
      {X4R4G4B4, 0xF123, 0xFF112233}, {kReserved3, 0xF123, 0xFF112233},
  };
  for (const WordCase& c : cases) {
    for (ChannelOrder order : kOrders) {
      const std::vector<uint8_t> source = {static_cast<uint8_t>(c.word), static_cast<uint8_t>(c.word >> 8)};
      EXPECT_EQ(ConvertRow(source, c.format, order, 1)[0], c.expected)
          << "format " << int(c.format) << " word " << std::hex << c.word << " order " << int(order);
    }
  }
}

struct Layout16 {
  PixelFormat format;
  int rShift, rBits, gShift, gBits, bShift, bBits, aShift, aBits;  // aBits 0: opaque
};

TEST(ConvertPixels, EverySixteenBitWordMatchesThePerChannelReference) {
  const Layout16 layouts[] = {
      {X4R4G4B4, 8, 4, 4, 4, 0, 4, 0, 0},   {R5G6B5, 11, 5, 5, 6, 0, 5, 0, 0},   {kReserved3, 8, 4, 4, 4, 0, 4, 0, 0},
      {A1R5G5B5, 10, 5, 5, 5, 0, 5, 15, 1}, {A4R4G4B4, 8, 4, 4, 4, 0, 4, 12, 4}, {X1R5G5B5, 10, 5, 5, 5, 0, 5, 0, 0},
  };
  std::vector<uint8_t> source(65536 * 2);
  for (uint32_t w = 0; w < 65536; ++w) {
    source[2 * w] = static_cast<uint8_t>(w);
    source[2 * w + 1] = static_cast<uint8_t>(w >> 8);
  }
  for (const Layout16& l : layouts) {
    const std::vector<uint32_t> out = ConvertRow(source, l.format, BGRA, 65536);
    for (uint32_t w = 0; w < 65536; ++w) {
      const uint32_t r = Expand((w >> l.rShift) & ((1u << l.rBits) - 1), l.rBits);
      const uint32_t g = Expand((w >> l.gShift) & ((1u << l.gBits) - 1), l.gBits);
      const uint32_t b = Expand((w >> l.bShift) & ((1u << l.bBits) - 1), l.bBits);
      const uint32_t a = l.aBits ? Expand((w >> l.aShift) & ((1u << l.aBits) - 1), l.aBits) : 255;
      ASSERT_EQ(out[w], (a << 24) | (r << 16) | (g << 8) | b) << "format " << int(l.format) << " word " << w;
    }
  }
}

TEST(ConvertPixels, DescribedLayoutsMatchTheFixedConverters) {
  // A4R4G4B4 and R5G6B5 described field by field: the described converter agrees on every word.
  std::vector<uint8_t> source(65536 * 2);
  for (uint32_t w = 0; w < 65536; ++w) {
    source[2 * w] = static_cast<uint8_t>(w);
    source[2 * w + 1] = static_cast<uint8_t>(w >> 8);
  }
  const ChannelType u = ChannelType::kUnorm;
  const struct {
    PixelFormat fixed;
    PixelLayout layout;
  } cases[] = {{A4R4G4B4, {2, {{u, 8, 4}, {u, 4, 4}, {u, 0, 4}, {u, 12, 4}}, false}},
               {R5G6B5, {2, {{u, 11, 5}, {u, 5, 6}, {u, 0, 5}, {}}, false}}};
  for (const auto& c : cases) {
    std::vector<uint32_t> described(65536), fixed = ConvertRow(source, c.fixed, BGRA, 65536);
    ConvertJob job;
    job.destination = reinterpret_cast<uint8_t*>(described.data());
    job.destinationPitch = 65536 * 4;
    job.source = source.data();
    job.sourcePitch = 65536 * 2;
    job.width = 65536;
    job.height = 1;
    job.format = kDescribed;
    job.layout = &c.layout;
    ConvertPixels(job);
    EXPECT_EQ(described, fixed) << int(c.fixed);
  }
  // Overlapping layouts write nothing.
  std::vector<uint32_t> untouched(1, 0x12345678);
  const PixelLayout overlapping = {2, {{u, 0, 4}, {u, 2, 4}, {u, 8, 4}, {u, 12, 4}}, false};
  ConvertJob job;
  job.destination = reinterpret_cast<uint8_t*>(untouched.data());
  job.destinationPitch = 4;
  job.source = source.data();
  job.sourcePitch = 2;
  job.width = job.height = 1;
  job.format = kDescribed;
  job.layout = &overlapping;
  ConvertPixels(job);
  EXPECT_EQ(untouched[0], 0x12345678u);
}

// Every unsigned 11- and 10-bit float (R11G11B10, and the same fields as alpha) and every shared-exponent
// (exponent, mantissa) pair of RGB9E5, against values made from the formats' definitions and taken through F.
TEST(ConvertPixels, SmallAndSharedExponentFloatsFromTheirDefinitions) {
  auto small = [](uint32_t v, int mantissaBits) -> float {
    const int e = static_cast<int>(v >> mantissaBits), m = static_cast<int>(v & ((1u << mantissaBits) - 1));
    if (e == 31) return m ? NAN : INFINITY;
    const float fraction = static_cast<float>(m) / static_cast<float>(1 << mantissaBits);
    return e == 0 ? std::ldexp(fraction, -14) : std::ldexp(1.0f + fraction, e - 15);
  };
  const ChannelType f = ChannelType::kUFloat;
  const PixelLayout rgb = {4, {{f, 0, 11}, {f, 11, 11}, {f, 22, 10}, {}}, false};
  const PixelLayout withAlpha = {4, {{f, 0, 11}, {}, {f, 11, 10}, {f, 21, 11}}, false};
  std::vector<uint8_t> source;
  for (uint32_t v = 0; v < 2048; ++v) test::AppendLE32(source, v | (2047 - v) << 11 | (v & 1023) << 22);
  for (uint32_t v = 0; v < 2048; ++v) test::AppendLE32(source, v | (v & 1023) << 11 | (2047 - v) << 21);
  std::vector<uint32_t> out(2 * 2048);
  for (int half = 0; half < 2; ++half) {
    ConvertJob job;
    job.destination = reinterpret_cast<uint8_t*>(out.data() + 2048 * half);
    job.destinationPitch = 2048 * 4;
    job.source = source.data() + 2048 * 4 * half;
    job.sourcePitch = 2048 * 4;
    job.width = 2048;
    job.height = 1;
    job.format = kDescribed;
    job.layout = half ? &withAlpha : &rgb;
    ConvertPixels(job);
  }
  for (uint32_t v = 0; v < 2048; ++v) {
    const uint32_t ten = v & 1023;
    EXPECT_EQ(out[v], 0xFF000000u | uint32_t{LinearToSrgbByte(small(v, 6))} << 16 |
                          uint32_t{LinearToSrgbByte(small(2047 - v, 6))} << 8 | LinearToSrgbByte(small(ten, 5)))
        << v;
    EXPECT_EQ(out[2048 + v], uint32_t{LinearToAlphaByte(small(2047 - v, 6))} << 24 |
                                 uint32_t{LinearToSrgbByte(small(v, 6))} << 16 | LinearToSrgbByte(small(ten, 5)))
        << v;
  }
  // RGB9E5: mantissa x 2^(exponent - 24), each pair once in R and, turned round, in G and B.
  source.clear();
  for (uint32_t e = 0; e < 32; ++e) {
    for (uint32_t m = 0; m < 512; ++m) test::AppendLE32(source, m | (511 - m) << 9 | (m ^ 0x155) << 18 | e << 27);
  }
  std::vector<uint32_t> shared(32 * 512);
  ConvertPixels(reinterpret_cast<uint8_t*>(shared.data()), 512 * 4, source.data(), 512 * 4, RGB9E5, BGRA, 512, 32,
                false);
  for (uint32_t e = 0; e < 32; ++e) {
    for (uint32_t m = 0; m < 512; ++m) {
      auto byte = [&](uint32_t mantissa) {
        return uint32_t{LinearToSrgbByte(std::ldexp(static_cast<float>(mantissa), static_cast<int>(e) - 24))};
      };
      ASSERT_EQ(shared[e * 512 + m], 0xFF000000u | byte(m) << 16 | byte(511 - m) << 8 | byte(m ^ 0x155))
          << e << " " << m;
    }
  }
}

struct Order24Case {
  ChannelOrder order;
  uint32_t expected;  // for source bytes 0x11 0x22 0x33
};

TEST(ConvertPixels, TwentyFourBitPixelsAreReadInsideThePixel) {
  // ARGB reads as RGBA and ABGR as BGRA: never a byte of the next pixel.
  const Order24Case cases[] = {{RGBA, 0xFF112233}, {BGRA, 0xFF332211}, {ARGB, 0xFF112233}, {ABGR, 0xFF332211}};
  for (const Order24Case& c : cases) {
    // Exactly two pixels: the second's bytes must not leak into the first, nor anything be read past the end.
    std::vector<uint8_t> source = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    const std::vector<uint32_t> out = ConvertRow(source, R8G8B8, c.order, 2);
    EXPECT_EQ(out[0], c.expected) << "order " << int(c.order);
    EXPECT_EQ(out[1] >> 24, 0xFFu);
  }
}

// The per-byte rule of the 4-byte converters.
uint32_t Reference32(uint32_t pixel, ChannelOrder from, ChannelOrder to, bool opaque) {
  const ChannelPositions f = PositionsOf(from), t = PositionsOf(to);
  uint8_t in[4], out[4] = {};
  std::memcpy(in, &pixel, 4);
  out[t.r] = in[f.r];
  out[t.g] = in[f.g];
  out[t.b] = in[f.b];
  out[t.a] = opaque ? 0xFF : in[f.a];
  uint32_t result;
  std::memcpy(&result, out, 4);
  return result;
}

TEST(ConvertPixels, ThirtyTwoBitPixelsMoveEveryByteForEveryOrderPair) {
  const int32_t width = 5;  // an odd count: the tail after any multi-pixel step must be converted too
  std::vector<uint8_t> source(width * 4);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(0x10 + 7 * i);
  const Converter converters[2] = {ConvertFromA8R8G8B8, ConvertFromX8R8G8B8};
  for (int opaque = 0; opaque < 2; ++opaque) {
    for (ChannelOrder from : kOrders) {
      for (ChannelOrder to : kOrders) {
        std::vector<uint32_t> out(width, 0);
        ConvertJob job;
        job.destination = reinterpret_cast<uint8_t*>(out.data());
        job.destinationPitch = width * 4;
        job.destinationOrder = to;
        job.source = source.data();
        job.sourcePitch = width * 4;
        job.sourceOrder = from;
        job.width = width;
        job.height = 1;
        converters[opaque](job);
        for (int32_t x = 0; x < width; ++x) {
          uint32_t pixel;
          std::memcpy(&pixel, &source[4 * x], 4);
          EXPECT_EQ(out[x], Reference32(pixel, from, to, opaque)) << int(from) << "->" << int(to) << " x " << x;
        }
      }
    }
  }
}

TEST(ConvertPixels, LargeRgbaImagesTakeTheStreamingPathWithTheSameResult) {
  // Over 8 MiB, rows of an odd width and a destination that starts off a 16-byte boundary.
  const int32_t width = 2051, height = 1030;
  const std::vector<uint8_t> source = test::RandomBytes(static_cast<size_t>(width) * height * 4, 31);
  std::vector<uint32_t> buffer(static_cast<size_t>(width) * height + 1, 0);
  uint8_t* destination = reinterpret_cast<uint8_t*>(buffer.data() + 1);
  for (PixelFormat format : {A8R8G8B8, X8R8G8B8}) {
    ConvertPixels(destination, width * 4, source.data(), width * 4, format, RGBA, width, height, true);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint32_t in, out;
        std::memcpy(&in, &source[(static_cast<size_t>(y) * width + x) * 4], 4);
        std::memcpy(&out, destination + (static_cast<size_t>(height - 1 - y) * width + x) * 4, 4);
        ASSERT_EQ(out, Reference32(in, RGBA, BGRA, format == X8R8G8B8)) << x << "," << y;
      }
    }
  }
}

TEST(ConvertPixels, FlipReversesRowsAndPitchesAreHonoured) {
  // 3 rows of 2 pixels, source rows 12 bytes apart (4 bytes of padding), destination rows 16 bytes apart.
  const int32_t width = 2, height = 3, sourcePitch = 12, destinationPitch = 16;
  std::vector<uint8_t> source(sourcePitch * height, 0xEE);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t pixel = 0xFF000000u | (y << 8) | x;
      std::memcpy(&source[y * sourcePitch + 4 * x], &pixel, 4);
    }
  }
  for (bool flip : {false, true}) {
    std::vector<uint8_t> destination(destinationPitch * height, 0xCD);
    ConvertPixels(destination.data(), destinationPitch, source.data(), sourcePitch, A8R8G8B8, BGRA, width, height,
                  flip);
    for (int32_t y = 0; y < height; ++y) {
      const int32_t row = flip ? height - 1 - y : y;
      for (int32_t x = 0; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, &destination[row * destinationPitch + 4 * x], 4);
        EXPECT_EQ(pixel, 0xFF000000u | (y << 8) | x) << "flip " << flip;
      }
      // Bytes beyond 4 x width keep their values.
      for (int32_t k = width * 4; k < destinationPitch; ++k) EXPECT_EQ(destination[row * destinationPitch + k], 0xCD);
    }
  }
}

TEST(ConvertPixels, HeightOneIsTheSameWithAndWithoutFlip) {
  const std::vector<uint8_t> source = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint32_t> a(2), b(2);
  ConvertPixels(reinterpret_cast<uint8_t*>(a.data()), 8, source.data(), 8, A8R8G8B8, RGBA, 2, 1, false);
  ConvertPixels(reinterpret_cast<uint8_t*>(b.data()), 8, source.data(), 8, A8R8G8B8, RGBA, 2, 1, true);
  EXPECT_EQ(a, b);
}

TEST(ConvertPixels, CodesOutsideTheTableAndEmptySizesWriteNothing) {
  const std::vector<uint8_t> source(64, 0x5A);
  struct Case {
    int32_t format, width, height;
  } cases[] = {{0, 2, 2},
               {kPixelFormatCount, 2, 2},
               {-1, 2, 2},
               {INT32_MIN, 2, 2},
               {int32_t(kDescribed), 2, 2},
               {int32_t(A8R8G8B8), 0, 2},
               {int32_t(A8R8G8B8), 2, 0}};
  for (const Case& c : cases) {
    std::vector<uint8_t> destination(16, 0xCD);
    ConvertPixels(destination.data(), 8, source.data(), 8, static_cast<PixelFormat>(c.format), BGRA, c.width, c.height,
                  true);
    EXPECT_EQ(destination, std::vector<uint8_t>(16, 0xCD)) << "format " << c.format;
  }
}

TEST(ConvertPixels, FormatFacts) {
  EXPECT_EQ(BitsPerPixel(R5G6B5), 16);
  EXPECT_EQ(BitsPerPixel(R8G8B8), 24);
  EXPECT_EQ(BitsPerPixel(X8R8G8B8), 32);
  EXPECT_EQ(BlockBytes(DXT1), 8);
  EXPECT_EQ(BlockBytes(DXT5), 16);
  EXPECT_EQ(BlockBytes(ETC1), 8);
  EXPECT_EQ(BlockBytes(ATCI), 16);
  EXPECT_EQ(BitsPerPixel(static_cast<PixelFormat>(99)), 0);
}

}  // namespace
}  // namespace mirelth
