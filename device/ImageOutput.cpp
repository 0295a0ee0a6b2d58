// Images and stencil masks. Each is decoded into a bitmap of its own size
// (reduced when it is huge), brought into the page's orientation by row
// order, mirroring or rotation, cut to the visible part of the page and
// handed to the surface, which stretches it into its rectangle.
#include "device/BitmapRotation.h"
#include "device/DeviceMath.h"
#include "device/ImageDecoding.h"
#include "device/JpegPassThrough.h"
#include "device/WinOutputDev.h"
#include "surface/Dib.h"
#include "surface/SurfaceState.h"

#include <Error.h>
#include <GfxState.h>
#include <Stream.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumora {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSingularLimit = 0.000001;
constexpr uint32_t kWhiteMaskColour = 0x00F0FFFF;

// Masks this large in both directions go to the surface at 1 bit per pixel.
constexpr int kOneBitMaskSide = 5000;

// The extreme pixels of an image on the page, inclusive.
struct Box {
    int64_t xMin = 0;
    int64_t xMax = 0;
    int64_t yMin = 0;
    int64_t yMax = 0;

    void Include(int64_t x, int64_t y)
    {
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
    }
    static Box At(int64_t x, int64_t y) { return {x, x, y, y}; }
};

// A destination rectangle on the page.
struct PageRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

// The part of a box that lies on the page. Along one direction: the size is
// what is left before the page's end, less what lies before its start.
PageRect CutToPage(const Box &box, int32_t pageWidth, int32_t pageHeight)
{
    auto cut = [](int64_t min, int64_t max, int64_t limit, int32_t &start, int32_t &size) {
        int64_t length = max >= limit ? limit - min : max - min + 1;
        if (min < 0) {
            start = 0;
            length += min;
        } else {
            start = int32_t(min);
        }
        size = int32_t(std::clamp<int64_t>(length, INT32_MIN, INT32_MAX));
    };
    PageRect rect;
    cut(box.xMin, box.xMax, pageWidth, rect.x, rect.width);
    cut(box.yMin, box.yMax, pageHeight, rect.y, rect.height);
    return rect;
}

bool IsFiniteMatrix(const double *ctm)
{
    return std::all_of(ctm, ctm + 6, [](double value) { return std::isfinite(value); });
}

// How the image's data rows and columns lie on the page.
struct Orientation {
    // The image's x axis runs more vertically than horizontally: the bitmap
    // is rotated before it is drawn.
    bool turned = false;
    // Its x axis points down the page (a turned image rotates the other way).
    bool xAxisDown = false;
    // Source row i goes to element row i of the bottom-up bitmap, else to the
    // mirrored row.
    bool firstRowAtBottom = false;
    // Columns run right to left (applied only when not turned; a turned
    // image gets its handedness from the row order).
    bool mirrored = false;
};

// Decided by where the CTM takes the vector (1, 1). A turned bitmap is then
// rotated so that its x axis follows the image's: upward rows end on the
// page's left when that axis points up and on its right when it points down,
// so the row order depends on the axis as well.
Orientation OrientationOf(const double *ctm)
{
    const double dx11 = ctm[0] + ctm[2];
    const double dy11 = ctm[1] + ctm[3];
    Orientation orientation;
    orientation.turned = std::fabs(ctm[1]) > std::fabs(ctm[0]);
    orientation.xAxisDown = ctm[1] > 0;
    if (orientation.turned) {
        orientation.firstRowAtBottom = (dx11 > 0) != orientation.xAxisDown;
        orientation.mirrored = dy11 < 0;
    } else {
        orientation.firstRowAtBottom = dy11 > 0;
        orientation.mirrored = dx11 < 0;
    }
    return orientation;
}

// The angle of the image's x axis in whole degrees, counter-clockwise on the
// page. Rounded half away from zero, so that an axis pointing straight down
// gives -90 like one pointing up gives 90.
double ImageAngle(const double *ctm)
{
    if (std::fabs(ctm[0]) < kSingularLimit && std::fabs(ctm[1]) < kSingularLimit)
        return 0;
    return double(std::lround(std::atan2(-ctm[1], ctm[0]) * 180 / kPi));
}

// The rounded corners of the unit square.
Box ImageBox(const double *ctm)
{
    auto corner = [ctm](double u, double v) {
        return std::pair<int64_t, int64_t>{Round(ctm[0] * u + ctm[2] * v + ctm[4]),
                                           Round(ctm[1] * u + ctm[3] * v + ctm[5])};
    };
    const auto [x, y] = corner(0, 0);
    Box box = Box::At(x, y);
    for (const auto &[u, v] : {std::pair{0.0, 1.0}, std::pair{1.0, 0.0}, std::pair{1.0, 1.0}}) {
        const auto [cx, cy] = corner(u, v);
        box.Include(cx, cy);
    }
    return box;
}

// A mask's box from its scales and shears: the corners are laid out from the
// image's upper-left corner in whole pixels. None when it covers no pixel.
std::optional<Box> MaskBox(const double *ctm, bool turned)
{
    double xScale, yScale, xShear, yShear;
    if (turned) {
        xScale = -ctm[1];
        yScale = -ctm[2] + ctm[0] * ctm[3] / ctm[1];
        xShear = ctm[3] / yScale;
        yShear = -ctm[0] / ctm[1];
    } else {
        xScale = ctm[0];
        yScale = -ctm[3] + ctm[1] * ctm[2] / ctm[0];
        xShear = -ctm[2] / yScale;
        yShear = ctm[1] / ctm[0];
    }
    const double scaledWidth = std::ceil(std::fabs(xScale));
    const double scaledHeight = std::ceil(std::fabs(yScale));
    if (!(scaledWidth >= 1) || !(scaledHeight >= 1))
        return std::nullopt;
    const int64_t tx = Round(ctm[2] + ctm[4]);
    const int64_t ty = Round(ctm[3] + ctm[5]);
    const int64_t across = (xScale < 0 ? -1 : 1) * int64_t(Truncate(scaledWidth) - 1);
    const int64_t down = (yScale < 0 ? -1 : 1) * int64_t(Truncate(scaledHeight) - 1);
    const int64_t shift = Round(xShear * double(down));

    Box box = Box::At(tx, ty);
    auto include = [&](int64_t a, int64_t b) {
        if (turned)
            box.Include(tx + b, ty - a);
        else
            box.Include(tx + a, ty + b);
    };
    include(across, Round(yShear * double(across)));
    include(shift, down + Round(yShear * double(shift)));
    include(across + shift, down + Round(yShear * double(across + shift)));
    return box;
}

// Which of `pictureSize` pixels show when the picture fills the box along
// one direction and only the cut part of the box is on the page: the first
// one and the count, from the box's start. A pixel cut by the page's edge
// belongs to the part where most of it lies, so the picture is off by at most
// half a pixel there.
std::pair<int, int> VisibleSpan(int64_t boxStart, int64_t boxEnd, int64_t cutStart, int64_t cutSize,
                                int pictureSize)
{
    const int64_t boxSize = boxEnd - boxStart + 1;
    const int64_t from = std::clamp<int64_t>(cutStart - boxStart, 0, boxSize);
    const int64_t to = std::clamp<int64_t>(from + cutSize, from, boxSize);
    int64_t first = (2 * from * pictureSize + boxSize) / (2 * boxSize);
    int64_t end = (2 * to * pictureSize + boxSize) / (2 * boxSize);
    first = std::clamp<int64_t>(first, 0, pictureSize - 1);
    end = std::clamp<int64_t>(end, first + 1, pictureSize);
    return {int(first), int(end - first)};
}

// The part of the bitmap that shows on the page, so that the surface
// stretches only that part into the cut rectangle instead of squeezing the
// whole picture into it. None when all of it shows or the part cannot be had.
template <class Bitmap, class Crop>
std::optional<Bitmap> VisiblePart(const Bitmap &bitmap, const Box &box, const PageRect &cut, Crop crop)
{
    const auto [left, width] = VisibleSpan(box.xMin, box.xMax, cut.x, cut.width, bitmap.width);
    const auto [top, height] = VisibleSpan(box.yMin, box.yMax, cut.y, cut.height, bitmap.height);
    if (width == bitmap.width && height == bitmap.height)
        return std::nullopt;
    // Element rows count from the bottom of the picture.
    return crop(bitmap, left, bitmap.height - top - height, width, height);
}

void DrawPicture(const Picture &picture, uint32_t colour, const PageRect &rect, const cairo_region_t *clip)
{
    SurfaceClipScope scope(clip);
    PageSurface().DrawImage(32, colour, picture.width, picture.height,
                            reinterpret_cast<const uint8_t *>(picture.pixels.data()), rect.x, rect.y, rect.width,
                            rect.height, nullptr);
}

void DrawMask(const MaskPicture &mask, uint32_t colour, const PageRect &rect, const cairo_region_t *clip)
{
    SurfaceClipScope scope(clip);
    PageSurface().DrawImage(1, colour, mask.width, mask.height, mask.bits.data(), rect.x, rect.y, rect.width,
                            rect.height, nullptr);
}

int64_t SaturatedProduct(int64_t a, int64_t b)
{
    if (a <= 0 || b <= 0)
        return 0;
    return a > std::numeric_limits<int64_t>::max() / b ? std::numeric_limits<int64_t>::max() : a * b;
}

int64_t DataBytes(int width, int height, int64_t bitsPerPixel)
{
    return SaturatedProduct(height, (SaturatedProduct(width, bitsPerPixel) + 7) / 8);
}

// The interpreter looks for the operators behind an inline image where its
// data ends, so data the device does not read is stepped over on the way out.
class InlineDataSkip {
public:
    InlineDataSkip(Stream &str, bool inlineImg, int64_t byteCount)
        : str_(str), armed_(inlineImg), byteCount_(byteCount)
    {
    }
    ~InlineDataSkip()
    {
        if (armed_)
            SkipImageData(str_, byteCount_);
    }
    InlineDataSkip(const InlineDataSkip &) = delete;
    InlineDataSkip &operator=(const InlineDataSkip &) = delete;
    // The data has been read.
    void Consumed() { armed_ = false; }

private:
    Stream &str_;
    bool armed_;
    int64_t byteCount_;
};

// The fill colour; white moves off pure white so that the mask stays opaque
// on the surface, which treats pure white as transparent.
uint32_t MaskColour(GfxState &state)
{
    GfxRGB rgb;
    state.getFillRGB(&rgb);
    const uint32_t colour = ColourFromRgb(rgb);
    return colour == kWhite ? kWhiteMaskColour : colour;
}

} // namespace

void WinOutputDev::drawImage(GfxState *state, Object * /*ref*/, Stream *str, int width, int height,
                             GfxImageColorMap *colorMap, bool /*interpolate*/, const int * /*maskColors*/,
                             bool inlineImg)
{
    if (!str)
        return;
    const int64_t bitsPerPixel = colorMap ? int64_t{colorMap->getNumPixelComps()} * colorMap->getBits() : 0;
    InlineDataSkip skip(*str, inlineImg, DataBytes(width, height, bitsPerPixel));
    if (!state || !colorMap || width <= 0 || height <= 0)
        return;
    const double *ctm = state->getCTM();
    if (!IsFiniteMatrix(ctm))
        return;
    const Box box = ImageBox(ctm);
    const PageRect cut = CutToPage(box, pageWidth_, pageHeight_);
    if (cut.IsEmpty() || (cut.width <= 1 && cut.height <= 1)) // the surface draws nothing that small
        return;

    const Orientation orientation = OrientationOf(ctm);
    auto picture = DecodeImage(*str, width, height, *colorMap, orientation.firstRowAtBottom);
    if (!picture)
        return;
    skip.Consumed();

    if (orientation.turned) {
        if (auto rotated = RotatePicture(picture->pixels.data(), picture->width, picture->height,
                                         -ImageAngle(ctm), kWhitePixel))
            picture = std::move(rotated);
    } else if (orientation.mirrored) {
        MirrorRows(*picture);
    }
    if (auto visible = VisiblePart(*picture, box, cut, CropPicture))
        picture = std::move(visible);
    DrawPicture(*picture, 0, cut, currentClip_.get());
}

void WinOutputDev::drawImageMask(GfxState *state, Object * /*ref*/, Stream *str, int width, int height, bool invert,
                                 bool /*interpolate*/, bool inlineImg)
{
    if (!str)
        return;
    InlineDataSkip skip(*str, inlineImg, DataBytes(width, height, 1));
    if (!state || width <= 0 || height <= 0)
        return;
    const double *ctm = state->getCTM();
    if (!IsFiniteMatrix(ctm) || !(std::fabs(ctm[0] * ctm[3] - ctm[1] * ctm[2]) >= kSingularLimit)) {
        error(errSyntaxError, -1, "Singular CTM in drawImage");
        return;
    }
    const Orientation orientation = OrientationOf(ctm);
    const auto box = MaskBox(ctm, orientation.turned);
    if (!box)
        return;
    const PageRect cut = CutToPage(*box, pageWidth_, pageHeight_);
    if (cut.IsEmpty())
        return;
    const uint32_t colour = MaskColour(*state);

    if (str->getKind() == strDCT) {
        const std::string name = JpegFileName(fileRoot_, imageFileCounter_++);
        if (!WriteJpegFile(name, *str, inlineImg)) {
            error(errIO, -1, "Couldn't open image file '{0:s}'", name.c_str());
            return;
        }
        skip.Consumed();
        return;
    }

    auto mask = ReadMask(*str, width, height, invert, orientation.firstRowAtBottom);
    if (!mask)
        return;
    skip.Consumed();
    if (!orientation.turned && orientation.mirrored)
        MirrorRows(*mask);

    if (width >= kOneBitMaskSide && height >= kOneBitMaskSide) {
        if (orientation.turned)
            if (auto turned = TurnMask(*mask, orientation.xAxisDown))
                mask = std::move(turned);
        if (auto visible = VisiblePart(*mask, *box, cut, CropMask))
            mask = std::move(visible);
        DrawMask(*mask, colour, cut, currentClip_.get());
        return;
    }

    auto picture = ExpandMask(*mask, colour);
    mask.reset();
    if (!picture)
        return;
    if (orientation.turned)
        if (auto rotated = RotatePicture(picture->pixels.data(), picture->width, picture->height,
                                         orientation.xAxisDown ? 90 : -90, kWhitePixel))
            picture = std::move(rotated);
    if (auto visible = VisiblePart(*picture, *box, cut, CropPicture))
        picture = std::move(visible);
    DrawPicture(*picture, colour, cut, currentClip_.get());
}

// Images with masks are drawn without their mask, so that they appear at all.
void WinOutputDev::drawMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                                   GfxImageColorMap *colorMap, bool interpolate, Stream * /*maskStr*/,
                                   int /*maskWidth*/, int /*maskHeight*/, bool /*maskInvert*/,
                                   bool /*maskInterpolate*/)
{
    drawImage(state, ref, str, width, height, colorMap, interpolate, nullptr, false);
}

void WinOutputDev::drawSoftMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                                       GfxImageColorMap *colorMap, bool interpolate, Stream * /*maskStr*/,
                                       int /*maskWidth*/, int /*maskHeight*/,
                                       GfxImageColorMap * /*maskColorMap*/, bool /*maskInterpolate*/)
{
    drawImage(state, ref, str, width, height, colorMap, interpolate, nullptr, false);
}

} // namespace lumora
