#pragma once
// Sizes and layouts of device-independent bitmaps, packed DIBs and BMP files.
#include "lumora_engine.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumora {

static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(offsetof(BitmapInfoHeader, biBitCount) == 14);
static_assert(offsetof(BitmapInfoHeader, biSizeImage) == 20);
static_assert(offsetof(BitmapInfoHeader, biClrImportant) == 36);
static_assert(sizeof(RgbQuad) == 4);

// The 14-byte header in front of a BMP file.
#pragma pack(push, 1)
struct BitmapFileHeader {
    uint16_t bfType; // "BM"
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BitmapFileHeader) == 14);
static_assert(offsetof(BitmapFileHeader, bfOffBits) == 10);

inline constexpr uint16_t kBmpSignature = 0x4D42; // "BM" read little-endian
inline constexpr uint32_t kCompressionNone = 0;
inline constexpr uint32_t kCompressionBitFields = 3;
inline constexpr uint32_t kWhite = 0x00FFFFFF;

// The bit counts a DIB may describe.
constexpr bool IsDibBitCount(int bitCount)
{
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}

// Bytes per pixel row, padded to a multiple of 4; none when it does not fit
// a 32-bit size.
constexpr std::optional<uint32_t> DibStride(int64_t width, int bitCount)
{
    if (width < 0)
        return std::nullopt;
    const int64_t stride = (width * bitCount + 31) / 32 * 4;
    if (stride > INT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(stride);
}

// stride x height, none when it does not fit a 32-bit size.
constexpr std::optional<uint32_t> DibImageSize(int64_t width, int64_t height, int bitCount)
{
    const auto stride = DibStride(width, bitCount);
    if (!stride || height < 0)
        return std::nullopt;
    const int64_t size = int64_t(*stride) * height;
    if (size > INT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(size);
}

// Bytes of colour table behind the header: masks for 16 and 32 bits, a
// palette for 1, 4 and 8 bits (the used-colour count when given), none for 24.
constexpr uint32_t DibColourTableSize(int bitCount, uint32_t coloursUsed)
{
    switch (bitCount) {
    case 16:
    case 32:
        return 12;
    case 1:
    case 4:
    case 8:
        return 4 * (coloursUsed ? coloursUsed : (1u << bitCount));
    default:
        return 0;
    }
}

// Colours 0x00BBGGRR, as the whole engine passes them.
constexpr uint8_t RedOf(uint32_t colour) { return colour & 0xFF; }
constexpr uint8_t GreenOf(uint32_t colour) { return (colour >> 8) & 0xFF; }
constexpr uint8_t BlueOf(uint32_t colour) { return (colour >> 16) & 0xFF; }
constexpr uint32_t ColourFromBytes(uint8_t red, uint8_t green, uint8_t blue)
{
    return red | (green << 8) | (uint32_t(blue) << 16);
}

} // namespace lumora
