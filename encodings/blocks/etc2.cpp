// ETC2 and EAC blocks. A colour block is a big-endian 64-bit word; its mode follows from the differential bit and from
// which 5-bit base plus 3-bit delta sum leaves 0..31 (red: T, green: H, blue: planar). Pixel k = 4x + y takes its 2-bit
// index from bits 16 + k (high) and k (low), as in ETC1. With punch-through alpha there is no individual mode, bit 33
// is the opaque flag instead, and a non-opaque block draws index 2 as transparent black (the differential modifiers of
// indices 0 and 2 become 0). EAC channel blocks are a big-endian 64-bit word too: base byte, multiplier and table in
// the top 16 bits, then 3-bit indices, pixel k in bits 45 - 3k.
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encodings/blocks/block_rows.h"
#include "encodings/blocks/blocks.h"
#include "encodings/conversion_rules.h"
#include "io/byte_reader.h"

namespace mirelth {
namespace {

// Individual and differential modifier pairs (a, b) per table codeword; index 0 adds a, 1 adds b, 2 subtracts a, 3
// subtracts b.
constexpr int32_t kModifiers[8][2] = {{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};
// T and H mode distances.
constexpr int32_t kDistances[8] = {3, 6, 11, 16, 23, 32, 41, 64};
// EAC modifier tables, index 0..7 (16-bit: the R11 tile decoder loads a row as one vector).
alignas(16) constexpr int16_t kEacModifiers[16][8] = {
    {-3, -6, -9, -15, 2, 5, 8, 14}, {-3, -7, -10, -13, 2, 6, 9, 12}, {-2, -5, -8, -13, 1, 4, 7, 12},
    {-2, -4, -6, -13, 1, 3, 5, 12}, {-3, -6, -8, -12, 2, 5, 7, 11},  {-3, -7, -9, -11, 2, 6, 8, 10},
    {-4, -7, -8, -11, 3, 6, 7, 10}, {-3, -5, -8, -11, 2, 4, 7, 10},  {-2, -6, -8, -10, 1, 5, 7, 9},
    {-2, -5, -8, -10, 1, 4, 7, 9},  {-2, -4, -8, -10, 1, 3, 7, 9},   {-2, -5, -7, -10, 1, 4, 6, 9},
    {-3, -4, -7, -10, 2, 3, 6, 9},  {-1, -2, -3, -10, 0, 1, 2, 9},   {-4, -6, -8, -9, 3, 5, 7, 8},
    {-3, -5, -7, -9, 2, 4, 6, 8}};

inline uint64_t Word(const uint8_t* p) {
  return (uint64_t{ByteReader::U32BENoBoundsCheck(p)} << 32) | ByteReader::U32BENoBoundsCheck(p + 4);
}
inline uint32_t Bits(uint64_t word, int32_t low, int32_t count) {
  return static_cast<uint32_t>(word >> low) & ((1u << count) - 1);
}
inline int32_t Clamp255(int32_t v) { return std::clamp(v, 0, 255); }
inline uint32_t Opaque(int32_t r, int32_t g, int32_t b) {
  return 0xFF000000u | (static_cast<uint32_t>(Clamp255(r)) << 16) | (static_cast<uint32_t>(Clamp255(g)) << 8) |
         static_cast<uint32_t>(Clamp255(b));
}
inline int32_t Extend4(uint32_t v) { return static_cast<int32_t>(v * 17); }
inline int32_t Extend5(uint32_t v) { return static_cast<int32_t>((v << 3) | (v >> 2)); }
inline int32_t Extend6(uint32_t v) { return static_cast<int32_t>((v << 2) | (v >> 4)); }
inline int32_t Extend7(uint32_t v) { return static_cast<int32_t>((v << 1) | (v >> 6)); }

struct Rgb {
  int32_t r, g, b;
};

// A sub-block's four colours, indexed by the pixel index.
inline void ModifierPalette(const Rgb& base, uint32_t codeword, bool zeroSmall, uint32_t* palette) {
  const int32_t a = zeroSmall ? 0 : kModifiers[codeword][0], b = kModifiers[codeword][1];
  palette[0] = Opaque(base.r + a, base.g + a, base.b + a);
  palette[1] = Opaque(base.r + b, base.g + b, base.b + b);
  palette[2] = Opaque(base.r - a, base.g - a, base.b - a);
  palette[3] = Opaque(base.r - b, base.g - b, base.b - b);
}

// An H-mode block's two base colours and its distance, whose low bit is whether base 1 >= base 2.
struct HMode {
  Rgb c1, c2;
  int32_t distance;
  explicit HMode(uint64_t w)
      : c1{Extend4(Bits(w, 59, 4)), Extend4((Bits(w, 56, 3) << 1) | Bits(w, 52, 1)),
           Extend4((Bits(w, 51, 1) << 3) | Bits(w, 47, 3))},
        c2{Extend4(Bits(w, 43, 4)), Extend4(Bits(w, 39, 4)), Extend4(Bits(w, 35, 4))} {
    const auto v1 = static_cast<uint32_t>((c1.r << 16) | (c1.g << 8) | c1.b);
    const auto v2 = static_cast<uint32_t>((c2.r << 16) | (c2.g << 8) | c2.b);
    distance = kDistances[(Bits(w, 34, 1) << 2) | (Bits(w, 32, 1) << 1) | (v1 >= v2 ? 1u : 0u)];
  }
};

// A planar block's three colours (origin, horizontal and vertical), widened to 8 bits, and any pixel's blend of
// them.
struct Planar {
  int32_t r, g, b, rh, gh, bh, rv, gv, bv;
  explicit Planar(uint64_t w)
      : r(Extend6(Bits(w, 57, 6))),
        g(Extend7((Bits(w, 56, 1) << 6) | Bits(w, 49, 6))),
        b(Extend6((Bits(w, 48, 1) << 5) | (Bits(w, 43, 2) << 3) | Bits(w, 39, 3))),
        rh(Extend6((Bits(w, 34, 5) << 1) | Bits(w, 32, 1))),
        gh(Extend7(Bits(w, 25, 7))),
        bh(Extend6(Bits(w, 19, 6))),
        rv(Extend6(Bits(w, 13, 6))),
        gv(Extend7(Bits(w, 6, 7))),
        bv(Extend6(Bits(w, 0, 6))) {}
  uint32_t At(int32_t x, int32_t y) const {
    return Opaque((x * (rh - r) + y * (rv - r) + 4 * r + 2) >> 2, (x * (gh - g) + y * (gv - g) + 4 * g + 2) >> 2,
                  (x * (bh - b) + y * (bv - b) + 4 * b + 2) >> 2);
  }
};

inline void WritePlanar(uint64_t w, uint32_t (&tile)[16]) {
  const Planar planar(w);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) tile[4 * y + x] = planar.At(x, y);
  }
}

// Decodes a colour word into tile[4 y + x].
template <bool kPunchThrough>
void DecodeColor(uint64_t w, uint32_t (&tile)[16]) {
  const bool flag = (w >> 33) & 1;  // differential bit, or the opaque bit with punch-through alpha
  const bool transparentIndex2 = kPunchThrough && !flag;
  uint32_t palettes[2][4];
  bool twoPalettes = true;
  bool flipped = (w & (uint64_t{1} << 32)) != 0;
  if (!kPunchThrough && !flag) {
    // Individual: two 4-bit base colours.
    const Rgb base1{Extend4(Bits(w, 60, 4)), Extend4(Bits(w, 52, 4)), Extend4(Bits(w, 44, 4))};
    const Rgb base2{Extend4(Bits(w, 56, 4)), Extend4(Bits(w, 48, 4)), Extend4(Bits(w, 40, 4))};
    ModifierPalette(base1, Bits(w, 37, 3), false, palettes[0]);
    ModifierPalette(base2, Bits(w, 34, 3), false, palettes[1]);
  } else {
    const int32_t r = static_cast<int32_t>(Bits(w, 59, 5)), g = static_cast<int32_t>(Bits(w, 51, 5)),
                  b = static_cast<int32_t>(Bits(w, 43, 5));
    const int32_t r2 = r + SignExtend(Bits(w, 56, 3), 3), g2 = g + SignExtend(Bits(w, 48, 3), 3),
                  b2 = b + SignExtend(Bits(w, 40, 3), 3);
    if (r2 < 0 || r2 > 31) {
      // T: paint colours base 1, base 2 + d, base 2, base 2 - d.
      const Rgb c1{Extend4((Bits(w, 59, 2) << 2) | Bits(w, 56, 2)), Extend4(Bits(w, 52, 4)), Extend4(Bits(w, 48, 4))};
      const Rgb c2{Extend4(Bits(w, 44, 4)), Extend4(Bits(w, 40, 4)), Extend4(Bits(w, 36, 4))};
      const int32_t d = kDistances[(Bits(w, 34, 2) << 1) | Bits(w, 32, 1)];
      palettes[0][0] = Opaque(c1.r, c1.g, c1.b);
      palettes[0][1] = Opaque(c2.r + d, c2.g + d, c2.b + d);
      palettes[0][2] = Opaque(c2.r, c2.g, c2.b);
      palettes[0][3] = Opaque(c2.r - d, c2.g - d, c2.b - d);
      twoPalettes = false;
    } else if (g2 < 0 || g2 > 31) {
      // H: paint colours base 1 +- d, base 2 +- d; the distance's low bit is whether base 1 >= base 2.
      const HMode h(w);
      const Rgb &c1 = h.c1, &c2 = h.c2;
      const int32_t d = h.distance;
      palettes[0][0] = Opaque(c1.r + d, c1.g + d, c1.b + d);
      palettes[0][1] = Opaque(c1.r - d, c1.g - d, c1.b - d);
      palettes[0][2] = Opaque(c2.r + d, c2.g + d, c2.b + d);
      palettes[0][3] = Opaque(c2.r - d, c2.g - d, c2.b - d);
      twoPalettes = false;
    } else if (b2 < 0 || b2 > 31) {
      WritePlanar(w, tile);  // planar blocks are opaque whatever the opaque bit says
      return;
    } else {
      ModifierPalette(
          {Extend5(static_cast<uint32_t>(r)), Extend5(static_cast<uint32_t>(g)), Extend5(static_cast<uint32_t>(b))},
          Bits(w, 37, 3), transparentIndex2, palettes[0]);
      ModifierPalette(
          {Extend5(static_cast<uint32_t>(r2)), Extend5(static_cast<uint32_t>(g2)), Extend5(static_cast<uint32_t>(b2))},
          Bits(w, 34, 3), transparentIndex2, palettes[1]);
    }
  }
  if (transparentIndex2) {
    palettes[0][2] = 0;
    palettes[1][2] = 0;
  }
  if (!twoPalettes) {
    std::memcpy(palettes[1], palettes[0], sizeof palettes[0]);
    flipped = false;
  }
  const uint32_t indices = static_cast<uint32_t>(w);
  for (int32_t x = 0; x < 4; ++x) {
    for (int32_t y = 0; y < 4; ++y) {
      const int32_t k = 4 * x + y;
      const uint32_t index = (((indices >> (16 + k)) & 1u) << 1) | ((indices >> k) & 1u);
      const int32_t sub = flipped ? (y >= 2) : (x >= 2);
      tile[4 * y + x] = palettes[sub][index];
    }
  }
}

// Pixel (x, y) of a colour word alone: its mode's fields and that pixel's colour, without the palettes of the
// other pixels (the sampled path takes one or two texels of a block).
template <bool kPunchThrough>
uint32_t ColorTexel(uint64_t w, int32_t x, int32_t y) {
  const bool flag = (w >> 33) & 1;
  const int32_t k = 4 * x + y;
  const uint32_t index = (static_cast<uint32_t>(w >> (16 + k)) & 1u) << 1 | (static_cast<uint32_t>(w >> k) & 1u);
  const bool flipped = (w & (uint64_t{1} << 32)) != 0;
  const int32_t sub = flipped ? (y >= 2) : (x >= 2);
  const auto modified = [index](const Rgb& base, uint32_t codeword, bool zeroSmall) {
    const int32_t a = zeroSmall ? 0 : kModifiers[codeword][0], b = kModifiers[codeword][1];
    const int32_t m = index == 0 ? a : index == 1 ? b : index == 2 ? -a : -b;
    return Opaque(base.r + m, base.g + m, base.b + m);
  };
  if (!kPunchThrough && !flag) {
    const int32_t shift = sub ? 0 : 4;
    return modified({Extend4(Bits(w, 56 + shift, 4)), Extend4(Bits(w, 48 + shift, 4)), Extend4(Bits(w, 40 + shift, 4))},
                    Bits(w, sub ? 34 : 37, 3), false);
  }
  const bool transparentIndex2 = kPunchThrough && !flag;
  const int32_t r = static_cast<int32_t>(Bits(w, 59, 5)), g = static_cast<int32_t>(Bits(w, 51, 5)),
                b = static_cast<int32_t>(Bits(w, 43, 5));
  const int32_t r2 = r + SignExtend(Bits(w, 56, 3), 3), g2 = g + SignExtend(Bits(w, 48, 3), 3),
                b2 = b + SignExtend(Bits(w, 40, 3), 3);
  if (r2 < 0 || r2 > 31 || g2 < 0 || g2 > 31) {
    if (transparentIndex2 && index == 2) return 0;
    Rgb c;
    int32_t d;
    if (r2 < 0 || r2 > 31) {  // T
      if (index == 0) {
        return Opaque(Extend4((Bits(w, 59, 2) << 2) | Bits(w, 56, 2)), Extend4(Bits(w, 52, 4)),
                      Extend4(Bits(w, 48, 4)));
      }
      c = {Extend4(Bits(w, 44, 4)), Extend4(Bits(w, 40, 4)), Extend4(Bits(w, 36, 4))};
      const int32_t distance = kDistances[(Bits(w, 34, 2) << 1) | Bits(w, 32, 1)];
      d = index == 1 ? distance : index == 2 ? 0 : -distance;
    } else {  // H
      const HMode h(w);
      c = index < 2 ? h.c1 : h.c2;
      d = index & 1 ? -h.distance : h.distance;
    }
    return Opaque(c.r + d, c.g + d, c.b + d);
  }
  if (b2 < 0 || b2 > 31) return Planar(w).At(x, y);  // planar: opaque whatever the opaque bit says
  if (transparentIndex2 && index == 2) return 0;
  const Rgb base = sub ? Rgb{Extend5(static_cast<uint32_t>(r2)), Extend5(static_cast<uint32_t>(g2)),
                             Extend5(static_cast<uint32_t>(b2))}
                       : Rgb{Extend5(static_cast<uint32_t>(r)), Extend5(static_cast<uint32_t>(g)),
                             Extend5(static_cast<uint32_t>(b))};
  return modified(base, Bits(w, sub ? 34 : 37, 3), transparentIndex2);
}

inline void WriteTile(uint8_t* out, intptr_t outPitch, const uint32_t (&tile)[16]) {
  for (int32_t y = 0; y < 4; ++y) std::memcpy(out + y * outPitch, tile + 4 * y, 16);
}

// EAC channel values of pixel k: 8-bit alpha, or 11-bit unsigned or signed.
struct EacHeader {
  int32_t base, multiplier;
  const int16_t* modifiers;
  uint64_t indices;
};
inline EacHeader ReadEac(const uint8_t* block) {
  const uint64_t w = Word(block);
  return {static_cast<int32_t>(block[0]), static_cast<int32_t>(block[1] >> 4), kEacModifiers[block[1] & 15],
          w & 0xFFFFFFFFFFFFull};
}
inline uint32_t EacIndex(const EacHeader& h, int32_t k) { return static_cast<uint32_t>(h.indices >> (45 - 3 * k)) & 7; }

inline int32_t Eac8(const EacHeader& h, int32_t k) {
  return Clamp255(h.base + h.modifiers[EacIndex(h, k)] * h.multiplier);
}

// U(11) of 0..2047 and S(11) of -1023..1023 (at index v + 1023).
struct Eac11Bytes {
  uint8_t unsignedByte[2048];
  uint8_t signedByte[2047];
  Eac11Bytes() {
    for (uint32_t v = 0; v < 2048; ++v) unsignedByte[v] = static_cast<uint8_t>(UnormToByte(v, 11));
    for (int32_t v = -1023; v <= 1023; ++v) signedByte[v + 1023] = static_cast<uint8_t>(SnormToByte(v, 11));
  }
};
const Eac11Bytes& Eac11Table() {
  static const Eac11Bytes table;
  return table;
}

// Display bytes of the eight values of an 11-bit EAC block, one a 32-bit word (read back as words: byte stores
// read as one wider load would stall).
template <bool kSigned>
void Eac11Palette(const uint8_t* block, uint32_t (&palette)[8]) {
  const Eac11Bytes& bytes = Eac11Table();
  const int32_t multiplier = block[1] >> 4;
  const int16_t* modifiers = kEacModifiers[block[1] & 15];
  // A multiplier of 0 scales the modifiers by 1, any other by 8 times itself.
  const int32_t scale = multiplier * 8 + static_cast<int32_t>(multiplier == 0);
  for (int32_t i = 0; i < 8; ++i) {
    const int32_t step = modifiers[i] * scale;
    if constexpr (kSigned) {
      const int32_t base = std::max<int32_t>(static_cast<int8_t>(block[0]), -127);
      palette[i] = bytes.signedByte[std::clamp(base * 8 + step, -1023, 1023) + 1023];
    } else {
      palette[i] = bytes.unsignedByte[std::clamp(block[0] * 8 + 4 + step, 0, 2047)];
    }
  }
}

inline uint64_t EacIndices(const uint8_t* block) { return Word(block) & 0xFFFFFFFFFFFFull; }
inline uint32_t IndexOf(uint64_t indices, int32_t x, int32_t y) {
  return static_cast<uint32_t>(indices >> (45 - 3 * (4 * x + y))) & 7;
}

#if defined(__SSE2__)
// The opaque gray pixels of an unsigned R11 block's eight values at once: each 11-bit value clamped in 16-bit
// lanes, then widened to bytes as round(v 255 / 2047) in single precision. That is exact: v 255 / 2047 is never
// within 1 / 4094 of a half, far more than the float's error on values up to 255.
inline void R11UnsignedPixels(const uint8_t* block, uint32_t (&palette)[8]) {
  const int32_t multiplier = block[1] >> 4;
  const auto scale = static_cast<int16_t>(multiplier * 8 + static_cast<int32_t>(multiplier == 0));
  const __m128i modifiers = _mm_load_si128(reinterpret_cast<const __m128i*>(kEacModifiers[block[1] & 15]));
  __m128i values = _mm_add_epi16(_mm_mullo_epi16(modifiers, _mm_set1_epi16(scale)),
                                 _mm_set1_epi16(static_cast<int16_t>(block[0] * 8 + 4)));
  values = _mm_min_epi16(_mm_max_epi16(values, _mm_setzero_si128()), _mm_set1_epi16(2047));
  const __m128 toByte = _mm_set1_ps(255.0f / 2047.0f), half = _mm_set1_ps(0.5f);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (int32_t i = 0; i < 2; ++i) {
    const __m128i wide =
        i == 0 ? _mm_unpacklo_epi16(values, _mm_setzero_si128()) : _mm_unpackhi_epi16(values, _mm_setzero_si128());
    const __m128i bytes = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(wide), toByte), half));
    const __m128i gray = _mm_or_si128(_mm_or_si128(bytes, _mm_slli_epi32(bytes, 8)), _mm_slli_epi32(bytes, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(palette + 4 * i), _mm_or_si128(gray, opaque));
  }
}
#endif

template <bool kSigned>
void DecodeR11(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t palette[8];
#if defined(__SSE2__)
  if constexpr (!kSigned) {
    R11UnsignedPixels(block, palette);
  } else {
    Eac11Palette<kSigned>(block, palette);
    for (uint32_t& entry : palette) entry = 0xFF000000u | (entry * 0x010101u);
  }
#else
  Eac11Palette<kSigned>(block, palette);
  for (uint32_t& entry : palette) entry = 0xFF000000u | (entry * 0x010101u);
#endif
  const uint64_t indices = EacIndices(block);
  for (int32_t y = 0; y < 4; ++y) {
    uint32_t row[4];
    for (int32_t x = 0; x < 4; ++x) row[x] = palette[IndexOf(indices, x, y)];
    std::memcpy(out + y * outPitch, row, 16);
  }
}

template <bool kSigned>
void DecodeRG11(uint8_t* out, intptr_t outPitch, const uint8_t* block) {
  uint32_t red[8], green[8];
  Eac11Palette<kSigned>(block, red);
  Eac11Palette<kSigned>(block + 8, green);
  const uint64_t redIndices = EacIndices(block), greenIndices = EacIndices(block + 8);
  for (int32_t y = 0; y < 4; ++y) {
    uint32_t row[4];
    for (int32_t x = 0; x < 4; ++x) {
      row[x] = 0xFF000000u | (red[IndexOf(redIndices, x, y)] << 16) | (green[IndexOf(greenIndices, x, y)] << 8);
    }
    std::memcpy(out + y * outPitch, row, 16);
  }
}

template <bool kSigned>
uint32_t R11Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint32_t palette[8];
  Eac11Palette<kSigned>(block, palette);
  return 0xFF000000u | (palette[IndexOf(EacIndices(block), x, y)] * 0x010101u);
}

template <bool kSigned>
uint32_t RG11Texel(const uint8_t* block, int32_t x, int32_t y) {
  uint32_t red[8], green[8];
  Eac11Palette<kSigned>(block, red);
  Eac11Palette<kSigned>(block + 8, green);
  return 0xFF000000u | (red[IndexOf(EacIndices(block), x, y)] << 16) |
         (green[IndexOf(EacIndices(block + 8), x, y)] << 8);
}

}  // namespace

void DecodeETC2RGBBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t tile[16];
  DecodeColor<false>(Word(block), tile);
  WriteTile(out, outPitch, tile);
}

void DecodeETC2RGBA1Block(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t tile[16];
  DecodeColor<true>(Word(block), tile);
  WriteTile(out, outPitch, tile);
}

void DecodeETC2RGBABlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  uint32_t tile[16];
  DecodeColor<false>(Word(block + 8), tile);
  const EacHeader alpha = ReadEac(block);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      tile[4 * y + x] = (tile[4 * y + x] & 0x00FFFFFFu) | (static_cast<uint32_t>(Eac8(alpha, 4 * x + y)) << 24);
    }
  }
  WriteTile(out, outPitch, tile);
}

uint32_t DecodeETC2RGBTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return ColorTexel<false>(Word(block), x, y);
}
uint32_t DecodeETC2RGBA1Texel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return ColorTexel<true>(Word(block), x, y);
}
uint32_t DecodeETC2RGBATexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return (ColorTexel<false>(Word(block + 8), x, y) & 0x00FFFFFFu) |
         static_cast<uint32_t>(Eac8(ReadEac(block), 4 * x + y)) << 24;
}

void DecodeEACR11UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeR11<false>(out, outPitch, block);
}
void DecodeEACR11SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeR11<true>(out, outPitch, block);
}
void DecodeEACR11URun(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&) {
  detail::DecodeRun<8>(out, outPitch, blocks, count, DecodeR11<false>);
}
void DecodeEACR11SRun(uint8_t* out, intptr_t outPitch, const uint8_t* blocks, int32_t count, const BlockContext&) {
  detail::DecodeRun<8>(out, outPitch, blocks, count, DecodeR11<true>);
}
void DecodeEACRG11UBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeRG11<false>(out, outPitch, block);
}
void DecodeEACRG11SBlock(uint8_t* out, intptr_t outPitch, const uint8_t* block, const BlockContext&) {
  DecodeRG11<true>(out, outPitch, block);
}
uint32_t DecodeEACR11UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return R11Texel<false>(block, x, y);
}
uint32_t DecodeEACR11STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return R11Texel<true>(block, x, y);
}
uint32_t DecodeEACRG11UTexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return RG11Texel<false>(block, x, y);
}
uint32_t DecodeEACRG11STexel(const uint8_t* block, int32_t x, int32_t y, const BlockContext&) {
  return RG11Texel<true>(block, x, y);
}

}  // namespace mirelth
