// Plain pixels described channel by channel: how DDS bit masks, DXGI formats and PVR channel descriptions that
// have no fixed converter are drawn. A pixel is 1 to 16 bytes read as one little-endian number; each of R, G, B
// and A is a field of it (lowest bit, width) with a type, widened by the conversion rules (U, S, F).
#pragma once

#include <cstdint>

#include "encodings/convert.h"

namespace mirelth {

enum class ChannelType : uint8_t {
  kAbsent,  // colour reads 0, alpha 255
  kUnorm,   // U(n), 1..32 bits
  kSnorm,   // S(n), 2..32 bits
  kFloat,   // IEEE half (16 bits) or single (32 bits): F
  kUFloat,  // unsigned 11- or 10-bit float (5-bit exponent): F
};

struct ChannelField {
  ChannelType type = ChannelType::kAbsent;
  uint8_t shift = 0;  // lowest bit within the pixel
  uint8_t bits = 0;
};

struct PixelLayout {
  uint8_t bytesPerPixel = 0;  // 1..16
  ChannelField channel[4];    // R, G, B, A
  bool gray = false;          // R is a luminance: drawn (R, R, R, A)
  // Colour is premultiplied by alpha in linear light: divided by it before the sRGB curve (float layouts).
  bool premultiplied = false;
};

// The fields lie inside the pixel, do not overlap (but a gray layout's alpha may be its luminance: intensity),
// have widths their types allow, and at least one is present.
bool IsValidPixelLayout(const PixelLayout& layout);

// Premultiplied float colour is divided by alpha in linear light, not after the curve: marks a layout whose colour
// is float and which has alpha, and says so (the caller then draws its alpha straight). Integer layouts are left
// alone: they keep the premultiplied rule on their display bytes.
bool PremultiplyInLinearLight(PixelLayout* layout);

// A layout of unsigned normalised fields from bit masks (0: absent). False when a mask is not one run of bits.
bool LayoutFromMasks(uint32_t bytesPerPixel, const uint32_t (&masks)[4], PixelLayout* layout);

}  // namespace mirelth
