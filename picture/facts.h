// What a file is, read from its headers and tables at open without decoding a pixel: the facts the command line
// prints (--info, --info --json) and the property handler shows. Every container fills them as soon as it knows
// them, so that a file refused later (its data does not fit, say) still says what it claims to be.
#pragma once

#include <cstdint>

#include "io/buffers.h"
#include "io/failure.h"

namespace mirelth {

enum class AlphaKind : uint8_t { kNone, kStraight, kPremultiplied, kOneBit };
enum class ColourSpace : uint8_t { kUnspecified, kSrgb, kLinear };

const char* AlphaKindName(AlphaKind alpha);            // "none", "straight", "premultiplied", "one-bit"
const char* ColourSpaceName(ColourSpace colourSpace);  // "unspecified", "sRGB", "linear"

struct Facts {
  bool known = false;  // the header was read: what follows holds
  const char* container = "";
  int64_t width = 0, height = 0;
  char encoding[64] = {};  // as the format names it: "BC7_UNORM_SRGB", "DXT5", "PVRTC 4bpp RGBA", "RGB 16-bit"
  uint32_t levels = 1, faces = 1, layers = 1, depth = 1;
  // Faces x layers that OpenOptions::surface reaches (1 where the container draws its first surface only).
  uint32_t surfaces = 1;
  AlphaKind alpha = AlphaKind::kNone;
  ColourSpace colourSpace = ColourSpace::kUnspecified;
  bool hdr = false;
  // Bits of a stored pixel for plain encodings; of a decoded pixel (32) for block encodings.
  uint32_t bitsPerPixel = 0;
  double whitePoint = 0;      // found by a draw, not by reading the headers: the last draw's (0: none)
  char orientation[16] = {};  // how the file stores its rows, where the format says ("-Y +X" for Radiance)
  char details[256] = {};     // what else the container says ("VTF 7.5, 1 frame, normal map")
  // Documents (PSD, PSB).
  bool document = false;
  char colourMode[16] = {};  // "RGB", "Grayscale", ...
  uint32_t bitDepth = 0, channels = 0, layerCount = 0;
  bool compositeStored = false;  // drawn from the stored composite, not flattened from the layers
  // The document's layer records, as the command line lists them (LayerCount=...).
  TextBuffer listing;

  void SetEncoding(const char* format, ...) MIRELTH_PRINTF_FORMAT(2, 3);
};

// The facts for people: a summary line ("BC7_UNORM_SRGB 2048 x 2048, 12 levels, premultiplied"), as the
// preview pane shows it.
void WriteFactsSummary(const Facts& facts, TextBuffer* out);
// The facts for people, one "key: value" line each, after a line naming the file.
void WriteFactsText(const Facts& facts, const char* file, TextBuffer* out);
// The facts as one JSON object on one line (no newline), keys as the README lists them.
void WriteFactsJson(const Facts& facts, const char* file, TextBuffer* out);

}  // namespace mirelth
