// The properties the property handler shows Explorer: the system's image properties and our own (one name space,
// "Mirelth.Texture.*", in the schema installer/MirelthThumbnail.propdesc), each filled from the file's facts. The
// handler, the details lists registration writes (PreviewDetails, FullDetails, InfoTip) and the schema's test read
// this one table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/facts.h"
#include "platform/win32.h"

namespace mirelth {

// Our properties' format identifier: {D1E4B7A2-5C3F-4E88-9A61-3F0B2C7D5E14}.
inline constexpr GUID kMirelthPropertiesFormat = {
    0xD1E4B7A2, 0x5C3F, 0x4E88, {0x9A, 0x61, 0x3F, 0x0B, 0x2C, 0x7D, 0x5E, 0x14}};
// The system's image properties: {6444048F-4C8B-11D1-8B70-080036B11A03}.
inline constexpr GUID kImagePropertiesFormat = {
    0x6444048F, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}};

// A property's value: a whole number (VT_UI4) or text (VT_LPWSTR); `present` false when the file has none.
struct PropertyValue {
  bool present = false;
  bool text = false;
  uint32_t number = 0;
  char string[64] = {};
};

struct Property {
  PROPERTYKEY key;
  const char* name;         // canonical name: "System.Image.Dimensions", "Mirelth.Texture.Encoding"
  const char* displayName;  // ours: the label the schema gives Explorer
  bool ours;                // in our schema (else a system property)
  bool text;                // VT_LPWSTR, else VT_UI4
  bool preview;             // in the details pane and the tooltip (every property is in Properties > Details)
  void (*fill)(const Facts& facts, PropertyValue* value);
};

const Property* Properties(size_t* count);
// "prop:System.Image.Dimensions;Mirelth.Texture.Encoding;...": every property (`preview` false) or the preview ones.
const WCHAR* DetailsList(bool preview);

}  // namespace mirelth
