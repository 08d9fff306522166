#include "picture/facts.h"

#include <cstdarg>
#include <cstdio>

namespace mirelth {
namespace {

// A JSON string: quotes, backslashes and control characters escaped; bytes of 0x80 and above pass as they are
// (file names are UTF-8).
void JsonString(const char* text, TextBuffer* out) {
  out->Append("\"", 1);
  for (const char* p = text; *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      const char escaped[2] = {'\\', static_cast<char>(c)};
      out->Append(escaped, 2);
    } else if (c < 0x20) {
      out->Printf("\\u%04x", c);
    } else {
      out->Append(p, 1);
    }
  }
  out->Append("\"", 1);
}

const char* Plural(uint32_t n) { return n == 1 ? "" : "s"; }

}  // namespace

const char* AlphaKindName(AlphaKind alpha) {
  switch (alpha) {
    case AlphaKind::kNone: return "none";
    case AlphaKind::kStraight: return "straight";
    case AlphaKind::kPremultiplied: return "premultiplied";
    case AlphaKind::kOneBit: return "one-bit";
  }
  return "none";
}

const char* ColourSpaceName(ColourSpace colourSpace) {
  switch (colourSpace) {
    case ColourSpace::kUnspecified: return "unspecified";
    case ColourSpace::kSrgb: return "sRGB";
    case ColourSpace::kLinear: return "linear";
  }
  return "unspecified";
}

void Facts::SetEncoding(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(encoding, sizeof encoding, format, args);
  va_end(args);
}

void WriteFactsSummary(const Facts& facts, TextBuffer* out) {
  out->Printf("%s %lld x %lld", facts.encoding, static_cast<long long>(facts.width),
              static_cast<long long>(facts.height));
  if (facts.levels != 1) out->Printf(", %u levels", facts.levels);
  if (facts.faces != 1) out->Printf(", %u faces", facts.faces);
  if (facts.layers != 1) out->Printf(", %u layers", facts.layers);
  if (facts.depth != 1) out->Printf(", depth %u", facts.depth);
  if (facts.alpha == AlphaKind::kPremultiplied) out->Append(", premultiplied");
  if (facts.alpha == AlphaKind::kOneBit) out->Append(", one-bit alpha");
  if (facts.hdr) out->Append(", HDR");
  if (facts.document) {
    out->Printf(", %u layer%s, %s", facts.layerCount, Plural(facts.layerCount),
                facts.compositeStored ? "composite stored" : "flattened");
  }
}

void WriteFactsText(const Facts& facts, const char* file, TextBuffer* out) {
  out->Printf("%s: ", file);
  WriteFactsSummary(facts, out);
  out->Append("\n");
  out->Printf("  container: %s\n", facts.container);
  out->Printf("  size: %lld x %lld\n", static_cast<long long>(facts.width), static_cast<long long>(facts.height));
  out->Printf("  encoding: %s\n", facts.encoding);
  out->Printf("  levels: %u\n  faces: %u\n  layers: %u\n  depth: %u\n", facts.levels, facts.faces, facts.layers,
              facts.depth);
  out->Printf("  alpha: %s\n  colour space: %s\n  HDR: %s\n", AlphaKindName(facts.alpha),
              ColourSpaceName(facts.colourSpace), facts.hdr ? "yes" : "no");
  out->Printf("  bits per pixel: %u\n", facts.bitsPerPixel);
  if (facts.whitePoint > 0) out->Printf("  white point: %.6g\n", facts.whitePoint);
  if (facts.orientation[0]) out->Printf("  orientation: %s\n", facts.orientation);
  if (facts.details[0]) out->Printf("  details: %s\n", facts.details);
  if (facts.document) {
    out->Printf("  colour mode: %s\n  bit depth: %u\n  channels: %u\n  layer count: %u\n  composite: %s\n",
                facts.colourMode, facts.bitDepth, facts.channels, facts.layerCount,
                facts.compositeStored ? "stored" : "flattened");
  }
}

void WriteFactsJson(const Facts& facts, const char* file, TextBuffer* out) {
  out->Append("{\"file\":");
  JsonString(file, out);
  out->Append(",\"container\":");
  JsonString(facts.container, out);
  out->Printf(",\"width\":%lld,\"height\":%lld,\"encoding\":", static_cast<long long>(facts.width),
              static_cast<long long>(facts.height));
  JsonString(facts.encoding, out);
  out->Printf(
      ",\"levels\":%u,\"faces\":%u,\"layers\":%u,\"depth\":%u,\"alpha\":\"%s\",\"colour_space\":\"%s\","
      "\"hdr\":%s,\"bits_per_pixel\":%u",
      facts.levels, facts.faces, facts.layers, facts.depth, AlphaKindName(facts.alpha),
      ColourSpaceName(facts.colourSpace), facts.hdr ? "true" : "false", facts.bitsPerPixel);
  if (facts.whitePoint > 0) out->Printf(",\"white_point\":%.6g", facts.whitePoint);
  if (facts.orientation[0]) {
    out->Append(",\"orientation\":");
    JsonString(facts.orientation, out);
  }
  if (facts.details[0]) {
    out->Append(",\"details\":");
    JsonString(facts.details, out);
  }
  if (facts.document) {
    out->Append(",\"colour_mode\":");
    JsonString(facts.colourMode, out);
    out->Printf(",\"bit_depth\":%u,\"channels\":%u,\"layer_count\":%u,\"composite\":\"%s\"", facts.bitDepth,
                facts.channels, facts.layerCount, facts.compositeStored ? "stored" : "flattened");
  }
  out->Append("}");
}

}  // namespace mirelth
