// The drawing primitives of the surface other than text: each one paints into
// the bitmap, or records one page block while a page object is captured.
#include "surface/Dib.h"
#include "surface/DrawSurface.h"
#include "surface/PixelStretch.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"
#include "surface/Trace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lumora {

namespace {

void SetSourceColour(cairo_t *context, uint32_t colour)
{
    cairo_set_source_rgb(context, RedOf(colour) / 255.0, GreenOf(colour) / 255.0, BlueOf(colour) / 255.0);
}

// The block limit check every primitive makes before it records; traces the
// refusal the way a developer expects to see it.
bool MayRecord(const PageObject &page, const char *primitive)
{
    if (!BlockLimitReached(page))
        return true;
    Trace("%s will return, Page Block Count = %d\n", primitive, page.blockCount);
    return false;
}

// The 40-byte header and 256-entry colour table that describe an image.
void DescribeImage(ImageBlock &image, int bitCount, uint32_t colour, int32_t width, int32_t height)
{
    image.imageHeader = BitmapInfoHeader{};
    image.imageHeader.biSize = sizeof(BitmapInfoHeader);
    image.imageHeader.biWidth = width;
    image.imageHeader.biHeight = height;
    image.imageHeader.biPlanes = 1;
    image.imageHeader.biBitCount = uint16_t(bitCount);
    std::memset(image.colourTable, 0, sizeof image.colourTable);
    image.colourTable[0] = RgbQuad{255, 255, 255, 0};
    image.colourTable[1] = RgbQuad{BlueOf(colour), GreenOf(colour), RedOf(colour), 0};
}

// Colour of source pixel (x, y), rows counted top-down, of a bottom-up DIB
// of 1 or 32 bits per pixel.
struct DibSampler {
    const uint8_t *pixels;
    uint32_t stride;
    int32_t height;
    int bitCount;
    uint32_t colour;

    uint32_t operator()(int32_t x, int32_t y) const
    {
        const uint8_t *row = pixels + size_t(height - 1 - y) * stride;
        if (bitCount == 1)
            return (row[x / 8] & (0x80 >> (x % 8))) ? colour : kWhite;
        return ColourFromBytes(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
};

} // namespace

void DrawSurface::DrawLines(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t width, uint32_t colour,
                            uint32_t style)
{
    Trace("DrawLines(x0=%d,y0=%d,x1=%d,y1=%d,width=%d,color=%d)\n", x0, y0, x1, y1, width, int(colour));
    if (PageObject *page = CurrentPageObject()) {
        if (!MayRecord(*page, "DrawLines"))
            return;
        auto line = NewRecord<LineBlock>();
        if (line) {
            *line = LineBlock{x0, y0, x1, y1, width, colour, style};
            AppendBlock(*page, std::move(line));
        }
        return;
    }
    CairoContextPtr context = PaintContext();
    if (!context)
        return;
    // A geometric pen: flat ends, mitred joins, never thinner than a pixel;
    // the standard dash is three widths on and one off.
    const double penWidth = std::max(width, 1);
    cairo_set_antialias(context.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(context.get(), penWidth);
    cairo_set_line_cap(context.get(), CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(context.get(), CAIRO_LINE_JOIN_MITER);
    if (style == LINE_STYLE_DASHED) {
        const double dashes[] = {3 * penWidth, penWidth};
        cairo_set_dash(context.get(), dashes, 2, 0);
    }
    SetSourceColour(context.get(), colour);
    // Pixel centres, so that a one-pixel line covers exactly its row.
    cairo_move_to(context.get(), x0 + 0.5, y0 + 0.5);
    cairo_line_to(context.get(), x1 + 0.5, y1 + 0.5);
    cairo_stroke(context.get());
}

void DrawSurface::FillPolygon(const PagePoint *points, int32_t count, int32_t shape, int32_t fillMode,
                              int32_t width, uint32_t colour)
{
    Trace("FillPolygon(npoints=%d,shape=%d,mode=%d,width=%d,color=%d)\n", count, shape, fillMode, width,
          int(colour));
    if (!points || count <= 0)
        return;
    if (PageObject *page = CurrentPageObject()) {
        // This exact colour marks helper polygons that belong in the picture
        // only, never in the captured page.
        constexpr uint32_t kPaintOnlyColour = 0x00FF0101;
        if (!MayRecord(*page, "FillPolygon") || colour == kPaintOnlyColour)
            return;
        auto polygon = NewRecord<PolygonBlock>();
        if (!polygon)
            return;
        polygon->points = static_cast<PagePoint *>(std::malloc(size_t(count) * sizeof(PagePoint)));
        if (!polygon->points)
            return;
        std::memcpy(polygon->points, points, size_t(count) * sizeof(PagePoint));
        polygon->pointCount = count;
        polygon->shape = shape;
        polygon->fillMode = fillMode;
        polygon->colour = colour;
        polygon->width = width;
        AppendBlock(*page, std::move(polygon));
        return;
    }
    CairoContextPtr context = PaintContext();
    if (!context)
        return;
    // No antialiasing: the abutting polygons of a shading must not show seams.
    cairo_set_antialias(context.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(context.get(), fillMode == FILL_MODE_EVEN_ODD ? CAIRO_FILL_RULE_EVEN_ODD
                                                                       : CAIRO_FILL_RULE_WINDING);
    cairo_move_to(context.get(), points[0].x, points[0].y);
    for (int32_t i = 1; i < count; ++i)
        cairo_line_to(context.get(), points[i].x, points[i].y);
    cairo_close_path(context.get());
    SetSourceColour(context.get(), colour);
    cairo_fill(context.get());
}

void DrawSurface::DrawImage(int bitCount, uint32_t colour, int32_t sourceWidth, int32_t sourceHeight,
                            const uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height,
                            const TextBlock *attachedText)
{
    Trace("DrawImage(bitcount=%d,width=%d,height=%d,x0=%d,y0=%d,w1=%d,h1=%d)\n", bitCount, sourceWidth,
          sourceHeight, x, y, width, height);
    if ((width <= 1 && height <= 1) || !pixels)
        return;
    const auto stride = DibStride(sourceWidth, bitCount);
    const auto pixelBytes = DibImageSize(sourceWidth, sourceHeight, bitCount);
    if ((bitCount != 1 && bitCount != 32) || sourceWidth <= 0 || sourceHeight <= 0 || !pixelBytes)
        return;
    if (PageObject *page = CurrentPageObject()) {
        if (width < 1 || height < 1 || !MayRecord(*page, "DrawImage"))
            return;
        auto image = NewRecord<ImageBlock>();
        if (!image)
            return;
        DescribeImage(*image, bitCount, colour, sourceWidth, sourceHeight);
        image->x = x;
        image->y = y;
        image->destWidth = width;
        image->destHeight = height;
        image->pixels = static_cast<uint8_t *>(std::malloc(*pixelBytes));
        if (!image->pixels)
            return;
        std::memcpy(image->pixels, pixels, *pixelBytes);
        if (attachedText) {
            if (!CopyTextBlock(*attachedText, image->attachedText))
                return;
            image->hasAttachedText = 1;
        }
        AppendBlock(*page, std::move(image));
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    const RegionRect destination{x, y, int32_t(std::min<int64_t>(int64_t(x) + width, INT32_MAX)),
                                 int32_t(std::min<int64_t>(int64_t(y) + height, INT32_MAX))};
    StretchOnto(*this, destination, sourceWidth, sourceHeight,
                DibSampler{pixels, *stride, sourceHeight, bitCount, colour}, kWhite);
}

void DrawSurface::ChangeClipRegion(const cairo_region_t *region)
{
    Trace("ChangeClipRegion(0x%lx)\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(region)));
    PageObject *page = CurrentPageObject();
    if (!page || !MayRecord(*page, "ChangeClipRegion"))
        return; // painting primitives are clipped through the clip region instead
    if (!region) {
        AppendBlock(*page, RecordPtr<ClipBlock>());
        return;
    }
    if (auto clip = RegionToClipBlock(*region))
        AppendBlock(*page, std::move(clip));
}

} // namespace lumora
