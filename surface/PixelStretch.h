#pragma once
// Nearest-neighbour stretching of a picture onto a surface, leaving the
// target untouched wherever the source has the transparent colour. Only the
// visible part of the destination is visited, so a destination far larger
// than the page costs no more than the page.
#include "surface/DrawSurface.h"
#include "surface/Region.h"

#include <algorithm>

namespace lumora {

// sample(x, y) gives the source colour 0x00BBGGRR at source pixel (x, y),
// rows top-down.
template <class Sample>
void StretchOnto(DrawSurface &target, const RegionRect &destination, int32_t sourceWidth,
                 int32_t sourceHeight, Sample sample, uint32_t transparentColour)
{
    cairo_surface_t *surface = target.CairoSurface();
    const int64_t destWidth = int64_t(destination.right) - destination.left;
    const int64_t destHeight = int64_t(destination.bottom) - destination.top;
    if (!surface || destWidth <= 0 || destHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return;

    RegionPtr visible = MakeRectRegion(std::max(destination.left, 0), std::max(destination.top, 0),
                                       std::min(destination.right, target.GetWidth()),
                                       std::min(destination.bottom, target.GetHeight()));
    if (target.ClipRegion())
        cairo_region_intersect(visible.get(), target.ClipRegion());
    if (cairo_region_is_empty(visible.get()))
        return;

    cairo_surface_flush(surface);
    uint8_t *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int rectangles = cairo_region_num_rectangles(visible.get());
    for (int i = 0; i < rectangles; ++i) {
        cairo_rectangle_int_t rect;
        cairo_region_get_rectangle(visible.get(), i, &rect);
        for (int y = rect.y; y < rect.y + rect.height; ++y) {
            // Sample at the centre of each destination pixel.
            const int32_t sourceY = int32_t(((2 * (y - int64_t(destination.top)) + 1) * sourceHeight) / (2 * destHeight));
            auto *row = reinterpret_cast<uint32_t *>(data + size_t(y) * stride);
            for (int x = rect.x; x < rect.x + rect.width; ++x) {
                const int32_t sourceX =
                    int32_t(((2 * (x - int64_t(destination.left)) + 1) * sourceWidth) / (2 * destWidth));
                const uint32_t colour = sample(sourceX, sourceY);
                if (colour == transparentColour)
                    continue;
                row[x] = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
            }
        }
    }
    cairo_surface_mark_dirty(surface);
}

} // namespace lumora
