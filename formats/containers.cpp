#include "formats/containers.h"

#include <cstdio>
#include <cstring>

#include "formats/astc/astc.h"
#include "formats/dds/dds.h"
#include "formats/exr/exr.h"
#include "formats/hdr/hdr.h"
#include "formats/ktx/ktx.h"
#include "formats/ktx/ktx2.h"
#include "formats/psd/psd.h"
#include "formats/pvr/pvr.h"
#include "formats/tga/tga.h"
#include "formats/vtf/vtf.h"

namespace mirelth {
namespace {

// clang-format off
constexpr Container kContainers[] = {
    {FileType::kDds, ".dds", "DDS", "plain 8-128 bit layouts, DXT1-5, BC4-BC7, ATC, ETC1, DX10 headers",
     "image/x-dds", MimeEntry::kKnown, nullptr, {{0, 4, "DDS "}}, OpenDds},
    {FileType::kTga, ".tga", "TGA", "true colour, gray and colour-mapped, raw or run-length",
     "image/x-tga", MimeEntry::kKnown, nullptr, {}, OpenTga},
    {FileType::kPsd, ".psd", "PSD", "composite or flattened layers, raw, PackBits or ZIP",
     "image/vnd.adobe.photoshop", MimeEntry::kKnown, nullptr, {{0, 6, "8BPS\x00\x01"}}, OpenPsd},
    {FileType::kPvr, ".pvr", "PVR", "version 3 and legacy: PVRTC, ETC1/2, EAC, ASTC, BC, plain channel layouts",
     "image/x-pvr", MimeEntry::kDefine, "PowerVR texture", {{0, 4, "PVR\x03"}, {44, 4, "PVR!"}}, OpenPvr},
    {FileType::kPsb, ".psb", "PSB", "large documents, as PSD",
     "image/vnd.adobe.photoshop", MimeEntry::kGlob, nullptr, {{0, 6, "8BPS\x00\x02"}}, OpenPsd},
    {FileType::kHdr, ".hdr", "HDR", "Radiance RGBE and XYZE, flat or run-length, every orientation, tone mapped",
     "image/vnd.radiance", MimeEntry::kDefine, "Radiance HDR image", {{0, 10, "#?RADIANCE"}, {0, 6, "#?RGBE"}},
     OpenHdr},
    {FileType::kVtf, ".vtf", "VTF", "Valve Texture Format 7.0-7.5: DXT, ATI1N/2N, plain, signed and half-float layouts",
     "image/x-vtf", MimeEntry::kDefine, "Valve Texture Format", {{0, 4, "VTF\x00"}}, OpenVtf},
    // .ktx2 before .ktx: at the same position the longer extension decides.
    {FileType::kKtx2, ".ktx2", "KTX2", "vkFormat textures, plain or supercompressed with Zstandard or zlib",
     "image/ktx2", MimeEntry::kKnown, nullptr, {{0, 12, "\xABKTX 20\xBB\r\n\x1A\n"}}, OpenKtx2},
    {FileType::kKtx, ".ktx", "KTX", "OpenGL internal formats, either byte order",
     "image/ktx", MimeEntry::kKnown, nullptr, {{0, 12, "\xABKTX 11\xBB\r\n\x1A\n"}}, OpenKtx},
    {FileType::kAstc, ".astc", "ASTC", "ARM .astc files: 2D footprints, LDR and HDR blocks",
     "image/astc", MimeEntry::kKnown, nullptr, {{0, 4, "\x13\xAB\xA1\x5C"}}, OpenAstc},
    {FileType::kExr, ".exr", "EXR", "OpenEXR scanline and tiled, every compression, luminance-chroma, tone mapped",
     "image/x-exr", MimeEntry::kKnown, nullptr, {{0, 4, "\x76\x2f\x31\x01"}}, OpenExr},
};
// clang-format on

constexpr bool SignaturesFit() {
  for (const Container& c : kContainers) {
    for (const Signature& signature : c.signatures) {
      if (signature.offset + size_t{signature.length} > kSignatureBytes) return false;
    }
  }
  return true;
}
static_assert(SignaturesFit(), "every signature lies in the first kSignatureBytes bytes");

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

bool HasSignature(const Container& container, const uint8_t* head, size_t length) {
  for (const Signature& signature : container.signatures) {
    if (signature.length == 0) break;
    if (signature.offset + size_t{signature.length} <= length &&
        std::memcmp(head + signature.offset, signature.bytes, signature.length) == 0) {
      return true;
    }
  }
  return false;
}

void NameTheBytes(ByteSource& source, const Container& tried, DecodeFailure* failure) {
  if (!failure || failure->kind != FailureKind::NotThisFormat) return;
  uint8_t head[kSignatureBytes] = {};
  const size_t length = static_cast<size_t>(source.size() < kSignatureBytes ? source.size() : kSignatureBytes);
  if (!source.Read(0, head, length, nullptr)) return;
  for (const Container& c : kContainers) {
    if (c.openPicture == tried.openPicture || !HasSignature(c, head, length)) continue;
    const size_t used = std::strlen(failure->detail);
    std::snprintf(failure->detail + used, sizeof failure->detail - used, "; the bytes are a %s file's", c.name);
    return;
  }
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
