#pragma once
// Rotation of 32-bit pixel pictures for images that are turned on the page.
// The drawing surface only stretches a bitmap into an upright rectangle, so a
// turned image is rotated here first. Right angles are exact pixel moves; the
// rest (at most 45 degrees either way) is done by three shears, each moving
// whole rows or columns by a fractional offset and blending each pixel with
// its neighbour by that fraction, which keeps the result smooth without a
// resampling filter.
//
// Pixel (x, y) of a w x h picture is element x + w * y; rows may be stored
// top-down or bottom-up, the rotation does not care. Channels are bits 0-7,
// 8-15 and 16-23; bits 24-31 are ignored on input and 0 in blended output.
#include <cstdint>
#include <optional>
#include <vector>

namespace lumora {

struct RotatedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width * height, row after row

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A rotation (with its intermediates) never works on pictures larger than
// this, so that absurd sizes fail cleanly instead of exhausting memory.
inline constexpr int64_t kMaxRotationPixels = int64_t{1} << 27;
inline constexpr int kMaxRotationSide = 1 << 20;

// The picture rotated by angleDegrees, uncovered areas filled with background.
// None for a null input, a non-positive or absurd size, a NaN or infinite
// angle, or when memory cannot be had. The input is never changed.
std::optional<RotatedPicture> RotatePicture(const uint32_t *pixels, int width, int height,
                                            double angleDegrees, uint32_t background);

// The sizes of the three shears that rotate a width x height picture by
// angleDegrees, which lies within 45 degrees of upright (in [-45, 45] or
// (315, 360)): the first shear's width, the second's height (also the
// result's height) and the result's width. None when a size would be absurd.
struct ShearSizes {
    int firstWidth = 0;
    int secondHeight = 0;
    int resultWidth = 0;
};
std::optional<ShearSizes> ShearSizesFor(int width, int height, double angleDegrees);

// One shear step: row `row` of source moved right by offset + weight
// (0 <= weight < 1) into the same row of destination, each pixel blended with
// its left neighbour by weight; the picture's ends blend with background and
// the rest of the row becomes background. Rows outside either picture are
// left alone.
void SkewRow(const RotatedPicture &source, RotatedPicture &destination, int row, int offset,
             double weight, uint32_t background);

// The same along column `column`, moving it down by offset + weight.
void SkewColumn(const RotatedPicture &source, RotatedPicture &destination, int column, int offset,
                double weight, uint32_t background);

} // namespace lumora
