// The PVR pixel-format tables: predefined encodings, the legacy pixel types, and the derivations of
// PixelFormat, ChannelOrder, bits per pixel and block size.
#include "formats/pvr/pvr_format.h"

#include <cstdio>

#include "pixels/pixel_format.h"

namespace mirelth {
namespace {

constexpr PvrPixelFormat Predefined(uint64_t value) { return value; }

struct PredefinedRow {
  const char* name;
  uint8_t bitsPerPixel;
  uint8_t blockWidth, blockHeight;  // 0: none
  int32_t order;
  int32_t format;
};
constexpr PredefinedRow kPredefined[kLastPredefinedPvrFormat + 1] = {
    {"PVRTC 2 bpp RGB", 2, 16, 8, RGBA, kNoPixelFormat},
    {"PVRTC 2 bpp RGBA", 2, 16, 8, RGBA, kNoPixelFormat},
    {"PVRTC 4 bpp RGB", 4, 8, 8, RGBA, kNoPixelFormat},
    {"PVRTC 4 bpp RGBA", 4, 8, 8, RGBA, kNoPixelFormat},
    {"PVRTC-II 2 bpp", 2, 8, 4, RGBA, kNoPixelFormat},
    {"PVRTC-II 4 bpp", 4, 4, 4, RGBA, kNoPixelFormat},
    {"ETC1", 4, 4, 4, RGBA, ETC1},
    {"DXT1", 4, 4, 4, BGRA, DXT1},
    {"DXT2", 8, 4, 4, BGRA, DXT3},
    {"DXT3", 8, 4, 4, BGRA, DXT3},
    {"DXT4", 8, 4, 4, BGRA, DXT5},
    {"DXT5", 8, 4, 4, BGRA, DXT5},
    {"BC4", 4, 4, 4, BGRA, kNoPixelFormat},
    {"BC5", 8, 4, 4, BGRA, kNoPixelFormat},
    {"BC6", 0, 0, 0, BGRA, kNoPixelFormat},
    {"BC7", 0, 0, 0, BGRA, kNoPixelFormat},
    {"UYVY", 16, 2, 1, RGBA, kNoPixelFormat},
    {"YUY2", 16, 2, 1, RGBA, kNoPixelFormat},
    {"black and white 1 bpp", 1, 8, 1, RGBA, kNoPixelFormat},
    {"R9G9B9E5 shared exponent", 32, 1, 1, RGBA, kNoPixelFormat},
    {"RGBG8888", 16, 2, 1, RGBA, kNoPixelFormat},
    {"GRGB8888", 16, 2, 1, RGBA, kNoPixelFormat},
    {"ETC2 RGB", 4, 4, 4, RGBA, kNoPixelFormat},
    {"ETC2 RGBA", 8, 4, 4, RGBA, kNoPixelFormat},
    {"ETC2 RGB A1", 4, 4, 4, RGBA, kNoPixelFormat},
    {"EAC R11", 4, 4, 4, RGBA, kNoPixelFormat},
    {"EAC RG11", 8, 4, 4, RGBA, kNoPixelFormat},
};

// Every mapped legacy pixel type; the rest are unmapped.
struct LegacyRow {
  uint8_t pixelType;
  PvrPixelFormat format;
};
constexpr LegacyRow kLegacyRows[] = {
    {0x00, MakePvrPixelFormat("argb", 4, 4, 4, 4)},
    {0x01, MakePvrPixelFormat("argb", 1, 5, 5, 5)},
    {0x02, MakePvrPixelFormat("rgb", 5, 6, 5, 0)},
    {0x03, MakePvrPixelFormat("xrgb", 1, 5, 5, 5)},
    {0x04, MakePvrPixelFormat("rgb", 8, 8, 8, 0)},
    {0x05, MakePvrPixelFormat("argb", 8, 8, 8, 8)},
    {0x06, MakePvrPixelFormat("argb", 8, 3, 3, 2)},
    {0x07, MakePvrPixelFormat("i", 8, 0, 0, 0)},
    {0x08, MakePvrPixelFormat("ai", 8, 8, 0, 0)},
    {0x09, Predefined(18) /* black and white, 1 bit per pixel */},
    {0x0A, Predefined(17) /* YUY2 */},
    {0x0B, Predefined(16) /* UYVY */},
    {0x0C, Predefined(1) /* PVRTC 2 bpp RGBA */},
    {0x0D, Predefined(3) /* PVRTC 4 bpp RGBA */},
    {0x10, MakePvrPixelFormat("rgba", 4, 4, 4, 4)},
    {0x11, MakePvrPixelFormat("rgba", 5, 5, 5, 1)},
    {0x12, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x13, MakePvrPixelFormat("rgb", 5, 6, 5, 0)},
    {0x14, MakePvrPixelFormat("rgbx", 5, 5, 5, 1)},
    {0x15, MakePvrPixelFormat("rgb", 8, 8, 8, 0)},
    {0x16, MakePvrPixelFormat("l", 8, 0, 0, 0)},
    {0x17, MakePvrPixelFormat("la", 8, 8, 0, 0)},
    {0x18, Predefined(1) /* PVRTC 2 bpp RGBA */},
    {0x19, Predefined(3) /* PVRTC 4 bpp RGBA */},
    {0x1A, MakePvrPixelFormat("bgra", 8, 8, 8, 8)},
    {0x1B, MakePvrPixelFormat("a", 8, 0, 0, 0)},
    {0x1C, Predefined(5) /* PVRTC-II 4 bpp */},
    {0x1D, Predefined(4) /* PVRTC-II 2 bpp */},
    {0x20, Predefined(7) /* DXT1 */},
    {0x21, Predefined(8) /* DXT2 */},
    {0x22, Predefined(9) /* DXT3 */},
    {0x23, Predefined(10) /* DXT4 */},
    {0x24, Predefined(11) /* DXT5 */},
    {0x25, MakePvrPixelFormat("rgb", 3, 3, 2, 0)},
    {0x26, MakePvrPixelFormat("al", 4, 4, 0, 0)},
    {0x27, MakePvrPixelFormat("lgr", 6, 5, 5, 0)},
    {0x28, MakePvrPixelFormat("xlgr", 8, 8, 8, 8)},
    {0x29, MakePvrPixelFormat("abgr", 8, 8, 8, 8)},
    {0x2A, MakePvrPixelFormat("abgr", 2, 10, 10, 10)},
    {0x2B, MakePvrPixelFormat("argb", 2, 10, 10, 10)},
    {0x2C, MakePvrPixelFormat("argb", 2, 10, 10, 10)},
    {0x2D, MakePvrPixelFormat("gr", 16, 16, 0, 0)},
    {0x2E, MakePvrPixelFormat("gr", 16, 16, 0, 0)},
    {0x2F, MakePvrPixelFormat("abgr", 16, 16, 16, 16)},
    {0x30, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x31, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x32, MakePvrPixelFormat("rbgr", 16, 16, 16, 16)},
    {0x33, MakePvrPixelFormat("r", 32, 0, 0, 0)},
    {0x34, MakePvrPixelFormat("gr", 32, 32, 0, 0)},
    {0x35, MakePvrPixelFormat("abgr", 32, 32, 32, 32)},
    {0x36, Predefined(6) /* ETC1 */},
    {0x40, MakePvrPixelFormat("a", 8, 0, 0, 0)},
    {0x41, MakePvrPixelFormat("gr", 8, 8, 0, 0)},
    {0x42, MakePvrPixelFormat("l", 16, 0, 0, 0)},
    {0x43, MakePvrPixelFormat("l", 8, 0, 0, 0)},
    {0x44, MakePvrPixelFormat("al", 8, 8, 0, 0)},
    {0x45, Predefined(16) /* UYVY */},
    {0x46, Predefined(17) /* YUY2 */},
    {0x50, MakePvrPixelFormat("rgba", 32, 32, 32, 32)},
    {0x51, MakePvrPixelFormat("rgba", 32, 32, 32, 32)},
    {0x52, MakePvrPixelFormat("rgba", 32, 32, 32, 32)},
    {0x53, MakePvrPixelFormat("rgb", 32, 32, 32, 0)},
    {0x54, MakePvrPixelFormat("rgb", 32, 32, 32, 0)},
    {0x55, MakePvrPixelFormat("rgb", 32, 32, 32, 0)},
    {0x56, MakePvrPixelFormat("rgba", 16, 16, 16, 16)},
    {0x57, MakePvrPixelFormat("rgba", 16, 16, 16, 16)},
    {0x58, MakePvrPixelFormat("rgba", 16, 16, 16, 16)},
    {0x59, MakePvrPixelFormat("rgba", 16, 16, 16, 16)},
    {0x5A, MakePvrPixelFormat("rgba", 16, 16, 16, 16)},
    {0x5B, MakePvrPixelFormat("rg", 32, 32, 0, 0)},
    {0x5C, MakePvrPixelFormat("rg", 32, 32, 0, 0)},
    {0x5D, MakePvrPixelFormat("rg", 32, 32, 0, 0)},
    {0x5E, MakePvrPixelFormat("rgba", 10, 10, 10, 2)},
    {0x5F, MakePvrPixelFormat("rgba", 10, 10, 10, 2)},
    {0x60, MakePvrPixelFormat("rgb", 11, 11, 10, 0)},
    {0x61, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x62, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x63, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x64, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x65, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x66, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x67, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x68, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x69, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x6A, MakePvrPixelFormat("rg", 16, 16, 0, 0)},
    {0x6B, MakePvrPixelFormat("r", 32, 0, 0, 0)},
    {0x6C, MakePvrPixelFormat("r", 32, 0, 0, 0)},
    {0x6D, MakePvrPixelFormat("r", 32, 0, 0, 0)},
    {0x6E, MakePvrPixelFormat("rg", 8, 8, 0, 0)},
    {0x6F, MakePvrPixelFormat("rg", 8, 8, 0, 0)},
    {0x70, MakePvrPixelFormat("rg", 8, 8, 0, 0)},
    {0x71, MakePvrPixelFormat("rg", 8, 8, 0, 0)},
    {0x72, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x73, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x74, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x75, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x76, MakePvrPixelFormat("r", 16, 0, 0, 0)},
    {0x77, MakePvrPixelFormat("r", 8, 0, 0, 0)},
    {0x78, MakePvrPixelFormat("r", 8, 0, 0, 0)},
    {0x79, MakePvrPixelFormat("r", 8, 0, 0, 0)},
    {0x7A, MakePvrPixelFormat("r", 8, 0, 0, 0)},
    {0x7B, MakePvrPixelFormat("a", 8, 0, 0, 0)},
    {0x7C, Predefined(18) /* black and white, 1 bit per pixel */},
    {0x7D, Predefined(19) /* R9G9B9E5 shared exponent */},
    {0x7E, Predefined(20) /* RGBG8888 */},
    {0x7F, Predefined(21) /* GRGB8888 */},
    {0x80, Predefined(7) /* DXT1 */},
    {0x81, Predefined(7) /* DXT1 */},
    {0x82, Predefined(9) /* DXT3 */},
    {0x83, Predefined(9) /* DXT3 */},
    {0x84, Predefined(11) /* DXT5 */},
    {0x85, Predefined(11) /* DXT5 */},
    {0x86, Predefined(12) /* BC4 */},
    {0x87, Predefined(12) /* BC4 */},
    {0x88, Predefined(13) /* BC5 */},
    {0x89, Predefined(13) /* BC5 */},
    {0x90, MakePvrPixelFormat("rgbx", 8, 8, 8, 8)},
    {0x91, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x92, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x93, MakePvrPixelFormat("rgb", 5, 6, 5, 0)},
    {0x94, MakePvrPixelFormat("rgba", 5, 5, 5, 1)},
    {0x95, MakePvrPixelFormat("rgba", 4, 4, 4, 4)},
    {0x96, MakePvrPixelFormat("l", 8, 0, 0, 0)},
    {0x97, MakePvrPixelFormat("rgbx", 8, 8, 8, 8)},
    {0x98, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x99, MakePvrPixelFormat("rgba", 8, 8, 8, 8)},
    {0x9A, MakePvrPixelFormat("l", 8, 0, 0, 0)},
    {0x9B, MakePvrPixelFormat("a", 8, 0, 0, 0)},
    {0x9C, Predefined(18) /* black and white, 1 bit per pixel */},
    {0x9D, MakePvrPixelFormat("xrgb", 8, 8, 8, 8)},
    {0x9E, MakePvrPixelFormat("argb", 8, 8, 8, 8)},
    {0x9F, MakePvrPixelFormat("argb", 8, 8, 8, 8)},
    {0xA0, MakePvrPixelFormat("argb", 1, 5, 5, 5)},
    {0xA1, MakePvrPixelFormat("argb", 4, 4, 4, 4)},
    {0xA2, MakePvrPixelFormat("xrgb", 8, 8, 8, 8)},
    {0xA3, MakePvrPixelFormat("argb", 8, 8, 8, 8)},
    {0xA4, MakePvrPixelFormat("argb", 8, 8, 8, 8)},
    {0xA5, MakePvrPixelFormat("bgrx", 8, 8, 8, 8)},
    {0xA6, MakePvrPixelFormat("bgra", 8, 8, 8, 8)},
    {0xA7, MakePvrPixelFormat("bgra", 8, 8, 8, 8)},
    {0xA8, MakePvrPixelFormat("bgr", 5, 6, 5, 0)},
    {0xA9, MakePvrPixelFormat("bgra", 5, 5, 5, 1)},
    {0xAA, MakePvrPixelFormat("bgra", 4, 4, 4, 4)},
    {0xAB, MakePvrPixelFormat("bgrx", 8, 8, 8, 8)},
    {0xAC, MakePvrPixelFormat("bgra", 8, 8, 8, 8)},
    {0xAD, MakePvrPixelFormat("bgra", 8, 8, 8, 8)},
    {0xAE, MakePvrPixelFormat("xbgr", 8, 8, 8, 8)},
    {0xAF, MakePvrPixelFormat("abgr", 8, 8, 8, 8)},
    {0xB0, MakePvrPixelFormat("abgr", 8, 8, 8, 8)},
    {0xB1, MakePvrPixelFormat("abgr", 1, 5, 5, 5)},
    {0xB2, MakePvrPixelFormat("abgr", 4, 4, 4, 4)},
    {0xB3, MakePvrPixelFormat("xbgr", 8, 8, 8, 8)},
    {0xB4, MakePvrPixelFormat("abgr", 8, 8, 8, 8)},
    {0xB5, MakePvrPixelFormat("abgr", 8, 8, 8, 8)},
};

struct LegacyTable {
  bool mapped[256];
  PvrPixelFormat format[256];
};
constexpr LegacyTable kLegacy = [] {
  LegacyTable table{};
  for (const LegacyRow& row : kLegacyRows) {
    table.mapped[row.pixelType] = true;
    table.format[row.pixelType] = row.format;
  }
  return table;
}();

// The channel-name field as one 32-bit value, for whole-field comparisons.
constexpr uint32_t Name(const char* text) { return static_cast<uint32_t>(MakePvrPixelFormat(text, 0, 0, 0, 0)); }

struct OrderRow {
  uint32_t name;
  int32_t order;
};
constexpr OrderRow kOrders[] = {
    {Name("rgb"), RGBA},  {Name("rgba"), RGBA}, {Name("rgbx"), RGBA}, {Name("bgr"), BGRA},
    {Name("bgra"), BGRA}, {Name("bgrx"), BGRA}, {Name("argb"), ARGB}, {Name("xrgb"), ARGB},
    {Name("abgr"), ABGR}, {Name("xbgr"), ABGR},
};

inline uint32_t Width(PvrPixelFormat format, int channel) {
  return static_cast<uint32_t>((format >> (32 + 8 * channel)) & 0xFF);
}

}  // namespace

bool MapLegacyPixelType(uint8_t pixelType, PvrPixelFormat* format) {
  if (!kLegacy.mapped[pixelType]) return false;
  *format = kLegacy.format[pixelType];
  return true;
}

uint32_t PvrBitsPerPixel(PvrPixelFormat format) {
  if (!IsPredefinedPvrFormat(format)) return Width(format, 0) + Width(format, 1) + Width(format, 2) + Width(format, 3);
  return format <= kLastPredefinedPvrFormat ? kPredefined[format].bitsPerPixel : 0;
}

bool PvrBlockSize(PvrPixelFormat format, uint32_t* width, uint32_t* height) {
  if (format > kLastPredefinedPvrFormat || kPredefined[format].blockWidth == 0) return false;
  *width = kPredefined[format].blockWidth;
  *height = kPredefined[format].blockHeight;
  return true;
}

int32_t PvrToChannelOrder(PvrPixelFormat format) {
  if (IsPredefinedPvrFormat(format)) return format <= kLastPredefinedPvrFormat ? kPredefined[format].order : -1;
  const auto name = static_cast<uint32_t>(format);
  for (const OrderRow& row : kOrders) {
    if (row.name == name) return row.order;
  }
  return -1;
}

int32_t PvrToPixelFormat(PvrPixelFormat format) {
  if (IsPredefinedPvrFormat(format)) {
    return format <= kLastPredefinedPvrFormat ? kPredefined[format].format : kNoPixelFormat;
  }
  const uint32_t w[4] = {Width(format, 0), Width(format, 1), Width(format, 2), Width(format, 3)};
  switch (w[0] + w[1] + w[2] + w[3]) {
    case 32: return A8R8G8B8;
    case 24: return R8G8B8;
    case 16:
      if (w[0] == 5 && w[1] == 6 && w[2] == 5 && w[3] == 0) return R5G6B5;
      if ((w[0] == 5 && w[1] == 5 && w[2] == 5 && w[3] == 1) || (w[0] == 1 && w[1] == 5 && w[2] == 5 && w[3] == 5)) {
        return A1R5G5B5;
      }
      if (w[0] == 4 && w[1] == 4 && w[2] == 4 && w[3] == 4) return A4R4G4B4;
      return kNoPixelFormat;
    default: return kNoPixelFormat;
  }
}

void DescribePvrPixelFormat(PvrPixelFormat format, char* text, uint32_t size) {
  if (IsPredefinedPvrFormat(format)) {
    if (format <= kLastPredefinedPvrFormat) {
      std::snprintf(text, size, "%s", kPredefined[format].name);
    } else {
      std::snprintf(text, size, "predefined value %llu", static_cast<unsigned long long>(format));
    }
    return;
  }
  char name[5] = {};
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>((format >> (8 * i)) & 0xFF);
    name[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    if (c == 0) name[i] = 0;
  }
  std::snprintf(text, size, "\"%s\" %u.%u.%u.%u", name, Width(format, 0), Width(format, 1), Width(format, 2),
                Width(format, 3));
}

}  // namespace mirelth
