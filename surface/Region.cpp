#include "surface/Region.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace lumora {

RegionPtr MakeRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (right <= left || bottom <= top)
        return RegionPtr(cairo_region_create());
    const cairo_rectangle_int_t rect{left, top, right - left, bottom - top};
    return RegionPtr(cairo_region_create_rectangle(&rect));
}

RegionPtr CopyRegion(const cairo_region_t *region)
{
    return RegionPtr(region ? cairo_region_copy(region) : cairo_region_create());
}

namespace {

cairo_rectangle_int_t PolygonBox(std::span<const PagePoint> points, const cairo_rectangle_int_t &bounds)
{
    int64_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    for (const PagePoint &point : points) {
        left = std::min<int64_t>(left, point.x);
        top = std::min<int64_t>(top, point.y);
        right = std::max<int64_t>(right, point.x + 1);
        bottom = std::max<int64_t>(bottom, point.y + 1);
    }
    left = std::max<int64_t>(left, bounds.x);
    top = std::max<int64_t>(top, bounds.y);
    right = std::min<int64_t>(right, int64_t(bounds.x) + bounds.width);
    bottom = std::min<int64_t>(bottom, int64_t(bounds.y) + bounds.height);
    if (right <= left || bottom <= top)
        return {0, 0, 0, 0};
    return {int(left), int(top), int(right - left), int(bottom - top)};
}

// Scans a rasterised mask row by row into one rectangle per run of set pixels.
std::vector<cairo_rectangle_int_t> MaskRuns(cairo_surface_t *mask, const cairo_rectangle_int_t &box)
{
    cairo_surface_flush(mask);
    const unsigned char *data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    std::vector<cairo_rectangle_int_t> runs;
    for (int row = 0; row < box.height; ++row) {
        const unsigned char *pixels = data + size_t(row) * stride;
        for (int column = 0; column < box.width;) {
            if (!pixels[column]) {
                ++column;
                continue;
            }
            const int start = column;
            while (column < box.width && pixels[column])
                ++column;
            runs.push_back({box.x + start, box.y + row, column - start, 1});
        }
    }
    return runs;
}

} // namespace

RegionPtr MakePolygonRegion(std::span<const PagePoint> points, int32_t fillMode,
                            const cairo_rectangle_int_t &bounds)
{
    const cairo_rectangle_int_t box = PolygonBox(points, bounds);
    if (points.size() < 3 || box.width == 0)
        return RegionPtr(cairo_region_create());
    CairoSurfacePtr mask(cairo_image_surface_create(CAIRO_FORMAT_A8, box.width, box.height));
    CairoContextPtr context(cairo_create(mask.get()));
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
        return RegionPtr(cairo_region_create());
    cairo_set_antialias(context.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(context.get(), fillMode == FILL_MODE_EVEN_ODD ? CAIRO_FILL_RULE_EVEN_ODD
                                                                       : CAIRO_FILL_RULE_WINDING);
    // Points are pixel corners: shift by the box so coordinates stay small.
    cairo_move_to(context.get(), double(points[0].x) - box.x, double(points[0].y) - box.y);
    for (size_t i = 1; i < points.size(); ++i)
        cairo_line_to(context.get(), double(points[i].x) - box.x, double(points[i].y) - box.y);
    cairo_close_path(context.get());
    cairo_fill(context.get());
    const auto runs = MaskRuns(mask.get(), box);
    return RegionPtr(cairo_region_create_rectangles(runs.data(), int(runs.size())));
}

RecordPtr<ClipBlock> RegionToClipBlock(const cairo_region_t &region)
{
    const int count = cairo_region_num_rectangles(&region);
    RecordPtr<ClipBlock> clip(
        static_cast<ClipBlock *>(std::calloc(1, sizeof(ClipBlock) + size_t(count) * sizeof(RegionRect))));
    if (!clip)
        return clip;
    clip->headerSize = sizeof(ClipBlock);
    clip->kind = 1;
    clip->rectCount = uint32_t(count);
    clip->rectBytes = uint32_t(count) * sizeof(RegionRect);
    if (count > 0) {
        cairo_rectangle_int_t extents;
        cairo_region_get_extents(&region, &extents);
        clip->bounds = {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
    }
    for (int i = 0; i < count; ++i) {
        cairo_rectangle_int_t rect;
        cairo_region_get_rectangle(&region, i, &rect);
        clip->rects[i] = {rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
    }
    return clip;
}

RegionPtr RegionFromClipBlock(const ClipBlock &clip)
{
    std::vector<cairo_rectangle_int_t> rects;
    rects.reserve(clip.rectCount);
    for (uint32_t i = 0; i < clip.rectCount; ++i) {
        const RegionRect &rect = clip.rects[i];
        if (rect.right > rect.left && rect.bottom > rect.top)
            rects.push_back({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top});
    }
    return RegionPtr(cairo_region_create_rectangles(rects.data(), int(rects.size())));
}

void ClipContextToRegion(cairo_t *context, const cairo_region_t &region)
{
    cairo_new_path(context);
    const int count = cairo_region_num_rectangles(&region);
    for (int i = 0; i < count; ++i) {
        cairo_rectangle_int_t rect;
        cairo_region_get_rectangle(&region, i, &rect);
        cairo_rectangle(context, rect.x, rect.y, rect.width, rect.height);
    }
    cairo_clip(context); // an empty path clips everything away
}

} // namespace lumora
