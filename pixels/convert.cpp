// The conversion entry: one table from PixelFormat code to converter. The destination is always BGRA.
#include "pixels/convert.h"

#include "pixels/blocks.h"

namespace mirelth {
namespace {

// Indexed by code - 1.
constexpr Converter kConverters[kLastPixelFormat] = {
    ConvertFromX4R4G4B4,  // 1 X4R4G4B4
    ConvertFromR5G6B5,    // 2 R5G6B5
    ConvertFromX4R4G4B4,  // 3 reserved, as 1
    ConvertFromA1R5G5B5,  // 4 A1R5G5B5
    ConvertFromA4R4G4B4,  // 5 A4R4G4B4
    ConvertFromR8G8B8,    // 6 R8G8B8
    ConvertFromA8R8G8B8,  // 7 A8R8G8B8
    ConvertFromDXT1,      // 8
    ConvertFromDXT3,      // 9
    ConvertFromDXT5,      // 10
    ConvertFromATC,       // 11
    ConvertFromATCA,      // 12
    ConvertFromATCI,      // 13
    ConvertFromETC1,      // 14
    ConvertFromX1R5G5B5,  // 15 X1R5G5B5
    ConvertFromX8R8G8B8,  // 16 X8R8G8B8
};

struct FormatFacts {
  int32_t bitsPerPixel;
  int32_t blockBytes;
  const char* name;
};
constexpr FormatFacts kFacts[kLastPixelFormat + 1] = {
    {0, 0, "none"},      {16, 0, "X4R4G4B4"}, {16, 0, "R5G6B5"},   {16, 0, "X4R4G4B4"}, {16, 0, "A1R5G5B5"},
    {16, 0, "A4R4G4B4"}, {24, 0, "R8G8B8"},   {32, 0, "A8R8G8B8"}, {4, 8, "DXT1"},      {8, 16, "DXT3"},
    {8, 16, "DXT5"},     {4, 8, "ATC"},       {8, 16, "ATCA"},     {8, 16, "ATCI"},     {4, 8, "ETC1"},
    {16, 0, "X1R5G5B5"}, {32, 0, "X8R8G8B8"},
};

}  // namespace

Converter ConverterFor(int32_t format) {
  const uint32_t index = static_cast<uint32_t>(format) - 1u;
  return index < kLastPixelFormat ? kConverters[index] : nullptr;
}

void ConvertPixels(uint8_t* destination, int32_t destinationPitch, const uint8_t* source, int32_t sourcePitch,
                   int32_t format, int32_t order, int32_t width, int32_t height, bool flip) {
  const Converter converter = ConverterFor(format);
  if (!converter || width <= 0 || height <= 0) return;
  converter(destination, destinationPitch, BGRA, source, sourcePitch, order, width, height, flip);
}

int32_t BitsPerPixel(int32_t format) {
  return format >= 0 && format <= kLastPixelFormat ? kFacts[format].bitsPerPixel : 0;
}
int32_t BlockBytes(int32_t format) {
  return format >= 0 && format <= kLastPixelFormat ? kFacts[format].blockBytes : 0;
}
const char* PixelFormatName(int32_t format) {
  return format >= 0 && format <= kLastPixelFormat ? kFacts[format].name : "unknown";
}

}  // namespace mirelth
