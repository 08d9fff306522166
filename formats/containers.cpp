#include "formats/containers.h"

#include <cstdio>

#include "formats/dds/dds.h"
#include "formats/psd/psd.h"
#include "formats/pvr/pvr.h"
#include "formats/tga/tga.h"

namespace mirelth {
namespace {

constexpr Container kContainers[] = {
    {FileType::kDds, ".dds", "DDS", "plain 8-128 bit layouts, DXT1-5, BC4-BC7, ATC, ETC1, DX10 headers",
     "image/x-dds", OpenDds},
    {FileType::kTga, ".tga", "TGA", "true colour, gray and colour-mapped, raw or run-length", "image/x-tga", OpenTga},
    {FileType::kPsd, ".psd", "PSD", "composite or flattened layers, raw, PackBits or ZIP",
     "image/vnd.adobe.photoshop", OpenPsd},
    {FileType::kPvr, ".pvr", "PVR", "version 3 and legacy: PVRTC, ETC1/2, EAC, ASTC, BC, plain channel layouts",
     "image/x-pvr", OpenPvr},
    {FileType::kPsb, ".psb", "PSB", "large documents, as PSD", "image/vnd.adobe.photoshop", OpenPsd},
};

}  // namespace

const Container* Containers(size_t* count) {
  *count = sizeof kContainers / sizeof kContainers[0];
  return kContainers;
}

const Container* ContainerFor(FileType type) {
  for (const Container& c : kContainers) {
    if (c.type == type) return &c;
  }
  return nullptr;
}

FileType FileTypeFromName(const WCHAR* name) {
  if (!name) return FileType::kNone;
  size_t start = 0, length = 0;
  for (; name[length] != 0; ++length) {
    if (name[length] == u'\\' || name[length] == u'/') start = length + 1;
  }
  // Walk back from the end: the first position where an extension starts is the rightmost occurrence.
  for (size_t i = length; i-- > start;) {
    for (const Container& c : kContainers) {
      bool match = true;
      for (size_t k = 0; match && c.extension[k] != 0; ++k) {
        if (i + k >= length) {
          match = false;
          break;
        }
        WCHAR ch = name[i + k];
        if (ch >= u'A' && ch <= u'Z') ch = static_cast<WCHAR>(ch + 0x20);
        match = ch == static_cast<WCHAR>(c.extension[k]);
      }
      if (match) return c.type;
    }
  }
  return FileType::kNone;
}

const char* KnownExtensions() {
  static const struct Text {
    char text[128] = {};
    Text() {
      size_t used = 0;
      for (const Container& c : kContainers) {
        const int wrote = std::snprintf(text + used, sizeof text - used, "%s%s", used ? ", " : "", c.extension);
        if (wrote > 0) used += static_cast<size_t>(wrote);
      }
    }
  } known;
  return known.text;
}

}  // namespace mirelth
