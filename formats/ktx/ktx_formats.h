// The texture formats KTX files name: Vulkan's VkFormat (KTX 2) and OpenGL's internal formats (KTX 1), each by
// its name, and for those we draw, the encoding and layout. Every other code is refused by its name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encodings/described.h"
#include "encodings/pixel_format.h"

namespace mirelth {

struct KtxFormat {
  uint32_t code;
  PixelFormat format;  // kNone: refused
  ChannelOrder order = ChannelOrder::BGRA;
  PixelLayout layout = {};     // PixelFormat::kDescribed
  bool opaque = false;         // the format stores no alpha though its encoding may (BC1 RGB)
  bool srgb = false;           // sRGB-encoded colour (drawn as stored)
  bool hdrBlocks = false;      // ASTC blocks of HDR values (the SFLOAT formats)
  const char* name = nullptr;  // GL rows carry their name; VK names come from the full list
};

// Vulkan: the name of a VkFormat ("VK_FORMAT_BC7_UNORM_BLOCK"), or null for a code Vulkan does not list; the
// drawn row of a code, or null when it is not drawn.
const char* VkFormatName(uint32_t code);
const KtxFormat* VkDrawnFormat(uint32_t code);
// Every VkFormat by code and name, for the test against Vulkan's header.
struct KtxFormatName {
  uint32_t code;
  const char* name;
};
const KtxFormatName* VkFormatNames(size_t* count);

// OpenGL: every internal format KTX 1 files name (sized, compressed and the unsized base formats), drawn or not.
const KtxFormat* GlFormat(uint32_t internalFormat);
const KtxFormat* GlFormats(size_t* count);

}  // namespace mirelth
