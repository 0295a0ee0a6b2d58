#pragma once
// Decoding of image and stencil-mask data into the bitmaps the drawing
// surface takes, and the pixel moves that bring them into the page's
// orientation.
//
// Both kinds of bitmap store their rows bottom-up, as the surface expects:
// element row 0 is the bottom row of the picture. Pixel (x, y) below is in
// these element coordinates, the same ones BitmapRotation.h works in.
//
// Images of kMaxDecodedSide pixels or more along a direction are reduced while
// they are decoded (blocks of source pixels are averaged), so no decoded
// bitmap, and no buffer of its decoding, grows with the source size: a
// dictionary that claims a huge size costs no more than a reduced picture.
#include "device/BitmapRotation.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <Object.h> // before Stream.h, which needs it first
#include <Stream.h>
class GfxImageColorMap;

namespace lumora {

// A 32-bit picture: element value blue | green << 8 | red << 16, which is the
// byte order blue, green, red, 0 in memory.
using Picture = RotatedPicture;

inline constexpr uint32_t kWhitePixel = 0x00FFFFFF;

// Decoded bitmaps stay below 5000 pixels along each side.
inline constexpr int kMaxDecodedSide = 4999;

// A source row of an image is read whole by the library's image stream; rows
// larger than this belong to no real image and are refused rather than
// allocated.
inline constexpr int64_t kMaxSourceRowBytes = int64_t{16} << 20;

// 1 bit per pixel, bit 7 of a byte leftmost, a set bit painted; rows padded
// to a multiple of 4 bytes.
struct MaskPicture {
    int width = 0;
    int height = 0;
    uint32_t stride = 0;
    std::vector<uint8_t> bits;

    bool at(int x, int y) const
    {
        return bits[static_cast<size_t>(y) * stride + x / 8] & (0x80 >> (x % 8));
    }
    void set(int x, int y) { bits[static_cast<size_t>(y) * stride + x / 8] |= uint8_t(0x80 >> (x % 8)); }
};

// How many source pixels along one direction make one decoded pixel, and how
// many decoded pixels there are.
struct Reduction {
    int factor = 1;
    int size = 0;
};
Reduction ReductionFor(int sourceSize);

// The pixel value of a colour 0x00BBGGRR.
constexpr uint32_t PixelFromColour(uint32_t colour)
{
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// One colour component (0 to 1) as a byte, rounded: 0.5 gives 128.
uint8_t RoundedComponentByte(double component);

// Pure white moved to blue 250, so that a white image pixel stays opaque on a
// surface that treats pure white as transparent.
constexpr uint32_t OffWhite(uint32_t pixel) { return pixel == kWhitePixel ? 0x00FFFFFA : pixel; }

// Reads width x height pixels through the colour map into a picture of the
// reduced size. Source row i goes to element row i when firstRowAtBottom,
// else to the mirrored row. Rows the data does not reach stay pure white.
// None when the image cannot be decoded at all (bad size or colour map,
// absurd rows, no memory); then nothing of the stream has been read.
std::optional<Picture> DecodeImage(Stream &str, int width, int height, GfxImageColorMap &colorMap,
                                   bool firstRowAtBottom);

// Reads a stencil mask of width x height bits. With invert false a 0 bit of
// the data paints, with invert true a 1 bit. A reduced pixel is painted when
// at least half of its block is. Pixels the data does not reach stay unset.
// None, with nothing read, for a bad size or when memory runs out.
std::optional<MaskPicture> ReadMask(Stream &str, int width, int height, bool invert, bool firstRowAtBottom);

// The mask as 32-bit pixels: painted ones in the colour (0x00BBGGRR), the
// others pure white.
std::optional<Picture> ExpandMask(const MaskPicture &mask, uint32_t colour);

// Reverses the pixels within every row.
void MirrorRows(Picture &picture);
void MirrorRows(MaskPicture &mask);

// A quarter turn with the conventions of RotatePicture: by 90 degrees
// result(y, w - 1 - x) = source(x, y); by -90 result(h - 1 - y, x) = source(x, y).
std::optional<MaskPicture> TurnMask(const MaskPicture &mask, bool byPlus90);

// The part of width x height pixels from element (left, bottom).
std::optional<Picture> CropPicture(const Picture &picture, int left, int bottom, int width, int height);
std::optional<MaskPicture> CropMask(const MaskPicture &mask, int left, int bottom, int width, int height);

// Reads and drops up to byteCount bytes of the stream from its start (fewer
// when it ends first), as the interpreter needs for inline data it has to
// step over.
void SkipImageData(Stream &str, int64_t byteCount);

} // namespace lumora
