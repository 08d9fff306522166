#include "server/properties.h"

#include <cstdio>

namespace mirelth {
namespace {

void Number(PropertyValue* value, uint32_t number) {
  value->present = true;
  value->number = number;
}
void Text(PropertyValue* value, const char* text) {
  value->present = true;
  value->text = true;
  std::snprintf(value->string, sizeof value->string, "%s", text);
}
uint32_t Clip(int64_t v) { return v < 0 ? 0 : v > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

constexpr PROPERTYKEY Ours(DWORD pid) { return {kMirelthPropertiesFormat, pid}; }
constexpr PROPERTYKEY Image(DWORD pid) { return {kImagePropertiesFormat, pid}; }

// Image properties: HorizontalSize 3, VerticalSize 4, BitDepth 7, Dimensions 13 (as Windows defines them).
const Property kProperties[] = {
    {Image(3), "System.Image.HorizontalSize", nullptr, false, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, Clip(f.width)); }},
    {Image(4), "System.Image.VerticalSize", nullptr, false, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, Clip(f.height)); }},
    {Image(13), "System.Image.Dimensions", nullptr, false, true, true,
     [](const Facts& f, PropertyValue* v) {
       char text[48];
       std::snprintf(text, sizeof text, "%lld x %lld", static_cast<long long>(f.width),
                     static_cast<long long>(f.height));
       Text(v, text);
     }},
    {Image(7), "System.Image.BitDepth", nullptr, false, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, f.bitsPerPixel); }},
    {Ours(2), "Mirelth.Texture.Encoding", "Encoding", true, true, true,
     [](const Facts& f, PropertyValue* v) { Text(v, f.encoding); }},
    {Ours(3), "Mirelth.Texture.Levels", "Mip levels", true, false, true,
     [](const Facts& f, PropertyValue* v) { Number(v, f.levels); }},
    {Ours(4), "Mirelth.Texture.Faces", "Faces", true, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, f.faces); }},
    {Ours(5), "Mirelth.Texture.ArrayLayers", "Array layers", true, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, f.layers); }},
    {Ours(6), "Mirelth.Texture.Depth", "Depth", true, false, false,
     [](const Facts& f, PropertyValue* v) { Number(v, f.depth); }},
    {Ours(7), "Mirelth.Texture.Alpha", "Alpha", true, true, true,
     [](const Facts& f, PropertyValue* v) { Text(v, AlphaKindName(f.alpha)); }},
    {Ours(8), "Mirelth.Texture.ColourSpace", "Colour space", true, true, false,
     [](const Facts& f, PropertyValue* v) { Text(v, ColourSpaceName(f.colourSpace)); }},
    {Ours(9), "Mirelth.Texture.HDR", "HDR", true, true, true,
     [](const Facts& f, PropertyValue* v) { Text(v, f.hdr ? "yes" : "no"); }},
    {Ours(10), "Mirelth.Texture.Container", "Container", true, true, false,
     [](const Facts& f, PropertyValue* v) { Text(v, f.container); }},
    {Ours(11), "Mirelth.Document.ColourMode", "Colour mode", true, true, true,
     [](const Facts& f, PropertyValue* v) {
       if (f.document) Text(v, f.colourMode);
     }},
    {Ours(12), "Mirelth.Document.BitDepth", "Bits per channel", true, false, false,
     [](const Facts& f, PropertyValue* v) {
       if (f.document) Number(v, f.bitDepth);
     }},
    {Ours(13), "Mirelth.Document.Channels", "Channels", true, false, false,
     [](const Facts& f, PropertyValue* v) {
       if (f.document) Number(v, f.channels);
     }},
    {Ours(14), "Mirelth.Document.Layers", "Layers", true, false, true,
     [](const Facts& f, PropertyValue* v) {
       if (f.document) Number(v, f.layerCount);
     }},
    {Ours(15), "Mirelth.Document.Composite", "Composite", true, true, false,
     [](const Facts& f, PropertyValue* v) {
       if (f.document) Text(v, f.compositeStored ? "stored" : "flattened");
     }},
};

WideString List(bool preview) {
  WideString list = MIRELTH_W("prop:");
  bool first = true;
  for (const Property& p : kProperties) {
    if (preview && !p.preview) continue;
    if (!first) list += MIRELTH_W(";");
    list += Utf8ToWide(p.name);
    first = false;
  }
  return list;
}

}  // namespace

const Property* Properties(size_t* count) {
  *count = sizeof kProperties / sizeof kProperties[0];
  return kProperties;
}

const WCHAR* DetailsList(bool preview) {
  // Made once; a list that cannot be had (no memory) is empty.
  static const WideString all = [] {
    try {
      return List(false);
    } catch (...) {
      return WideString();
    }
  }();
  static const WideString shown = [] {
    try {
      return List(true);
    } catch (...) {
      return WideString();
    }
  }();
  return preview ? shown.c_str() : all.c_str();
}

}  // namespace mirelth
