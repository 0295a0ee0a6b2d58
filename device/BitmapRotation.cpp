#include "device/BitmapRotation.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

namespace lumora {
namespace {

constexpr double kPi = 3.141592653589793;

// A picture that is only read: the caller's input or an intermediate.
struct PictureView {
    const uint32_t *pixels;
    int width;
    int height;
};

PictureView ViewOf(const RotatedPicture &picture)
{
    return {picture.pixels.data(), picture.width, picture.height};
}

bool SizeIsSane(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxRotationSide && height <= kMaxRotationSide &&
           width * height <= kMaxRotationPixels;
}

// Allocation failure is an expected outcome here (the caller then draws the
// image unrotated), so it becomes none instead of an exception.
std::optional<RotatedPicture> NewPicture(int64_t width, int64_t height)
{
    if (!SizeIsSane(width, height))
        return std::nullopt;
    try {
        RotatedPicture picture;
        picture.width = static_cast<int>(width);
        picture.height = static_cast<int>(height);
        picture.pixels.resize(static_cast<size_t>(width * height));
        return picture;
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    } catch (const std::length_error &) {
        return std::nullopt;
    }
}

// The size a shear needs, computed in double so that a bad value is refused
// before it is converted to an integer.
std::optional<int> TruncatedSize(double size)
{
    if (!(size >= 1) || size > kMaxRotationSide)
        return std::nullopt;
    return static_cast<int>(size);
}

// ---- Channel arithmetic ---------------------------------------------------

constexpr int kChannelShifts[] = {0, 8, 16};

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// The part of each channel that moves on to the next pixel of the line.
uint32_t LeftPart(uint32_t pixel, double weight)
{
    uint32_t left = 0;
    for (int shift : kChannelShifts)
        left |= static_cast<uint32_t>(Channel(pixel, shift) * weight) << shift;
    return left;
}

// What stays of `pixel` after its left part moved on, plus the part that came
// from the previous pixel. Never exceeds 255 per channel: a channel minus its
// truncated share grows at most as fast as the channel itself.
uint32_t Blend(uint32_t pixel, uint32_t pixelLeft, uint32_t carry)
{
    uint32_t out = 0;
    for (int shift : kChannelShifts) {
        uint32_t value = Channel(pixel, shift) - Channel(pixelLeft, shift) + Channel(carry, shift);
        out |= (value & 0xFF) << shift;
    }
    return out;
}

// ---- Shear of one line ----------------------------------------------------

// A row or column of a picture: `length` elements `stride` apart.
struct Line {
    const uint32_t *first;
    int stride;
    int length;
    uint32_t operator[](int i) const { return first[static_cast<ptrdiff_t>(i) * stride]; }
};

struct MutableLine {
    uint32_t *first;
    int stride;
    int length;
    void set(int64_t i, uint32_t value)
    {
        if (i >= 0 && i < length)
            first[static_cast<ptrdiff_t>(i) * stride] = value;
    }
};

// Moves the line by offset + weight. The picture's first pixel blends with
// the background before it and one extra pixel after its last one carries the
// last pixel's share, blended with the background after it; so a picture of
// the background's colour stays that colour, and no share of a pixel is lost
// where the moved line fits into the destination.
void SkewLine(const Line &source, MutableLine destination, int offset, double weight,
              uint32_t background)
{
    for (int i = 0; i < offset && i < destination.length; ++i)
        destination.set(i, background);

    const uint32_t backgroundLeft = LeftPart(background, weight);
    uint32_t carry = backgroundLeft;
    for (int i = 0; i < source.length; ++i) {
        uint32_t pixel = source[i];
        uint32_t pixelLeft = LeftPart(pixel, weight);
        destination.set(int64_t{i} + offset, Blend(pixel, pixelLeft, carry));
        carry = pixelLeft;
    }

    const int64_t trailing = int64_t{source.length} + offset;
    if (trailing >= 0 && trailing < destination.length)
        destination.set(trailing, Blend(background, backgroundLeft, carry));
    for (int64_t i = std::max<int64_t>(trailing + 1, 0); i < destination.length; ++i)
        destination.set(i, background);
}

Line RowOf(const PictureView &picture, int row)
{
    return {picture.pixels + static_cast<ptrdiff_t>(row) * picture.width, 1, picture.width};
}

MutableLine RowOf(RotatedPicture &picture, int row)
{
    return {picture.pixels.data() + static_cast<ptrdiff_t>(row) * picture.width, 1, picture.width};
}

Line ColumnOf(const PictureView &picture, int column)
{
    return {picture.pixels + column, picture.width, picture.height};
}

MutableLine ColumnOf(RotatedPicture &picture, int column)
{
    return {picture.pixels.data() + column, picture.width, picture.height};
}

// Offsets come as a real number; the whole part moves, the fraction blends.
void SkewRowBy(const PictureView &source, RotatedPicture &destination, int row, double shift,
               uint32_t background)
{
    double whole = std::floor(shift);
    SkewLine(RowOf(source, row), RowOf(destination, row), static_cast<int>(whole), shift - whole,
             background);
}

void SkewColumnBy(const PictureView &source, RotatedPicture &destination, int column, double shift,
                  uint32_t background)
{
    double whole = std::floor(shift);
    SkewLine(ColumnOf(source, column), ColumnOf(destination, column), static_cast<int>(whole),
             shift - whole, background);
}

// ---- Quarter turns --------------------------------------------------------

std::optional<RotatedPicture> CopyOf(const PictureView &source)
{
    auto copy = NewPicture(source.width, source.height);
    if (copy)
        std::copy(source.pixels, source.pixels + copy->pixels.size(), copy->pixels.begin());
    return copy;
}

// Turns by quarters * 90 degrees (1 to 3) with plain pixel moves.
std::optional<RotatedPicture> TurnQuarters(const PictureView &source, int quarters)
{
    const int w = source.width;
    const int h = source.height;
    auto turned = quarters == 2 ? NewPicture(w, h) : NewPicture(h, w);
    if (!turned)
        return std::nullopt;
    const size_t wide = static_cast<size_t>(w);
    const size_t high = static_cast<size_t>(h);
    for (size_t y = 0; y < high; ++y) {
        for (size_t x = 0; x < wide; ++x) {
            uint32_t pixel = source.pixels[x + wide * y];
            size_t target = 0;
            if (quarters == 1)
                target = y + high * (wide - 1 - x);
            else if (quarters == 2)
                target = (wide - 1 - x) + wide * (high - 1 - y);
            else
                target = (high - 1 - y) + high * x;
            turned->pixels[target] = pixel;
        }
    }
    return turned;
}

// ---- Three shears ---------------------------------------------------------

struct ShearAngle {
    double sine;
    double cosine;
    double halfTangent;
};

ShearAngle ShearAngleOf(double degrees)
{
    const double r = degrees * kPi / 180;
    return {std::sin(r), std::cos(r), std::tan(r / 2)};
}

std::optional<ShearSizes> SizesFor(int w, int h, const ShearAngle &angle)
{
    auto firstWidth = TruncatedSize(w + std::trunc(std::fabs(angle.halfTangent) * h));
    auto secondHeight = TruncatedSize(std::trunc(w * std::fabs(angle.sine) + h * angle.cosine) + 1);
    auto resultWidth = TruncatedSize(std::trunc(h * std::fabs(angle.sine) + w * angle.cosine) + 1);
    if (!firstWidth || !secondHeight || !resultWidth)
        return std::nullopt;
    return ShearSizes{*firstWidth, *secondHeight, *resultWidth};
}

// Rotates by a, which lies in [-45, 45] or (315, 360) (the same as
// (-45, 0)); the sine, cosine and half-angle tangent make them equivalent.
// Each shear advances its offset by a constant per line, so no pixel needs
// any trigonometry of its own.
std::optional<RotatedPicture> ShearRotate(const PictureView &source, double a, uint32_t background)
{
    if (a == 0)
        return CopyOf(source);

    const int w = source.width;
    const int h = source.height;
    const ShearAngle angle = ShearAngleOf(a);
    const double s = angle.sine;
    const double t = angle.halfTangent;
    const auto sizes = SizesFor(w, h, angle);
    if (!sizes)
        return std::nullopt;

    // Horizontal shear by the half-angle tangent.
    const int h1 = h;
    auto first = NewPicture(sizes->firstWidth, h1);
    if (!first)
        return std::nullopt;
    for (int u = 0; u < h1; ++u) {
        double d = t >= 0 ? (u + 0.5) * t : (u - h1 + 0.5) * t;
        SkewRowBy(source, *first, u, d, background);
    }

    // Vertical shear by the sine.
    const int w2 = first->width;
    auto second = NewPicture(w2, sizes->secondHeight);
    if (!second)
        return std::nullopt;
    double d = s > 0 ? (w - 1) * s : -s * (w - w2);
    for (int u = 0; u < w2; ++u, d -= s)
        SkewColumnBy(ViewOf(*first), *second, u, d, background);
    first.reset();

    // Horizontal shear by the half-angle tangent again.
    const int h3 = second->height;
    auto result = NewPicture(sizes->resultWidth, h3);
    if (!result)
        return std::nullopt;
    d = s >= 0 ? (w - 1) * s * -t : ((w - 1) * -s + (1 - h3)) * t;
    for (int u = 0; u < h3; ++u, d += t)
        SkewRowBy(ViewOf(*second), *result, u, d, background);
    return result;
}

// The angle in [0, 360). Huge angles are reduced in one step rather than by
// repeated subtraction, which would never end once 360 is below their
// precision.
std::optional<double> NormalisedAngle(double degrees)
{
    if (!std::isfinite(degrees))
        return std::nullopt;
    double a = std::fmod(degrees, 360.0);
    if (a < 0)
        a += 360;
    if (a >= 360) // a tiny negative angle rounds up to 360
        a -= 360;
    return a;
}

// How many quarter turns take `a` (in [0, 360)) within 45 degrees of upright.
int QuarterTurnsFor(double a)
{
    if (a > 45 && a <= 135)
        return 1;
    if (a > 135 && a <= 225)
        return 2;
    if (a > 225 && a <= 315)
        return 3;
    return 0;
}

bool IsWhole(const RotatedPicture &picture)
{
    return picture.width >= 0 && picture.height >= 0 &&
           picture.pixels.size() == static_cast<size_t>(picture.width) * picture.height;
}

// A weight outside [0, 1) would move more than a whole pixel's share.
double UsableWeight(double weight)
{
    if (!(weight > 0))
        return 0;
    return std::min(weight, std::nextafter(1.0, 0.0));
}

} // namespace

std::optional<RotatedPicture> RotatePicture(const uint32_t *pixels, int width, int height,
                                            double angleDegrees, uint32_t background)
{
    auto a = NormalisedAngle(angleDegrees);
    if (!pixels || !a || !SizeIsSane(width, height))
        return std::nullopt;

    const PictureView source{pixels, width, height};
    const int quarters = QuarterTurnsFor(*a);
    if (quarters == 0)
        return ShearRotate(source, *a, background);

    auto turned = TurnQuarters(source, quarters);
    if (!turned)
        return std::nullopt;
    const double remaining = *a - 90.0 * quarters;
    if (remaining == 0)
        return turned;
    return ShearRotate(ViewOf(*turned), remaining, background);
}

std::optional<ShearSizes> ShearSizesFor(int width, int height, double angleDegrees)
{
    if (!SizeIsSane(width, height) || !std::isfinite(angleDegrees))
        return std::nullopt;
    return SizesFor(width, height, ShearAngleOf(angleDegrees));
}

void SkewRow(const RotatedPicture &source, RotatedPicture &destination, int row, int offset,
             double weight, uint32_t background)
{
    if (!IsWhole(source) || !IsWhole(destination) || row < 0 || row >= source.height ||
        row >= destination.height)
        return;
    SkewLine(RowOf(ViewOf(source), row), RowOf(destination, row), offset, UsableWeight(weight),
             background);
}

void SkewColumn(const RotatedPicture &source, RotatedPicture &destination, int column, int offset,
                double weight, uint32_t background)
{
    if (!IsWhole(source) || !IsWhole(destination) || column < 0 || column >= source.width ||
        column >= destination.width)
        return;
    SkewLine(ColumnOf(ViewOf(source), column), ColumnOf(destination, column), offset,
             UsableWeight(weight), background);
}

} // namespace lumora
