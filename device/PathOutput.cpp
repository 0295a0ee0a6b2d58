// Paths: strokes, fills and clips of the page. Each path is converted into
// integer device points (PathFlattening.h) and handed to the surface as
// line segments, polygons or a clip region.
#include "device/DeviceMath.h"
#include "device/PathFlattening.h"
#include "device/WinOutputDev.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <GfxState.h>

namespace lumora {

namespace {

// Converts the state's current path in device space, clamped to the area
// around the page; in fill form the subpaths are grouped into compound
// polygons.
void ConvertPath(GfxState &state, PathForm form, int32_t flatness, int32_t pageWidth, int32_t pageHeight,
                 PathPoints &points)
{
    const GfxPath *path = state.getPath();
    if (!path)
        return;
    const double threshold = FlatnessThreshold(flatness);
    for (int i = 0; i < path->getNumSubpaths(); ++i) {
        const GfxSubpath *subpath = path->getSubpath(i);
        auto pointAt = [&](int index) {
            DevicePoint point;
            state.transform(subpath->getX(index), subpath->getY(index), &point.x, &point.y);
            return point;
        };
        auto startsCurve = [&](int index) { return subpath->getCurve(index); };
        ConvertSubpath(points, subpath->getNumPoints(), pointAt, startsCurve, threshold);
    }
    points.Clamp(pageWidth, pageHeight);
    if (form == PathForm::Fill)
        points.JoinOverlappingSubpaths();
}

// One line segment per pair of consecutive points.
void DrawPolyline(std::span<const PagePoint> points, int32_t width, uint32_t colour, uint32_t style)
{
    DrawSurface &surface = PageSurface();
    for (size_t m = 1; m < points.size(); ++m)
        surface.DrawLines(points[m - 1].x, points[m - 1].y, points[m].x, points[m].y, width, colour, style);
}

int32_t PenWidth(GfxState &state)
{
    const int32_t width = Round(state.getTransformedLineWidth());
    return width > 0 ? width : 1;
}

uint32_t DashStyle(GfxState &state)
{
    double phase = 0;
    return state.getLineDash(&phase).empty() ? LINE_STYLE_SOLID : LINE_STYLE_DASHED;
}

} // namespace

void WinOutputDev::stroke(GfxState *state)
{
    if (!state)
        return;
    PathPoints points(PathForm::Stroke);
    ConvertPath(*state, PathForm::Stroke, flatness_, pageWidth_, pageHeight_, points);
    const int32_t width = PenWidth(*state);
    const uint32_t colour = StrokeColour(*state);
    const uint32_t style = DashStyle(*state);
    SurfaceClipScope scope(currentClip_.get());
    points.ForEachList(
        [&](std::span<const PagePoint> subpath) { DrawPolyline(subpath, width, colour, style); });
}

void WinOutputDev::fill(GfxState *state) { FillPath(state, FILL_MODE_WINDING); }

void WinOutputDev::eoFill(GfxState *state) { FillPath(state, FILL_MODE_EVEN_ODD); }

void WinOutputDev::clip(GfxState *state) { ClipToPath(state, FILL_MODE_WINDING); }

void WinOutputDev::eoClip(GfxState *state) { ClipToPath(state, FILL_MODE_EVEN_ODD); }

void WinOutputDev::FillPath(GfxState *state, int32_t fillMode)
{
    if (!state)
        return;
    PathPoints points(PathForm::Fill);
    ConvertPath(*state, PathForm::Fill, flatness_, pageWidth_, pageHeight_, points);
    const uint32_t colour = FillColour(*state);
    // A filled shape thinner than a pixel would vanish; its outline in the
    // fill colour keeps it visible. Only a lone subpath gets one, so the
    // bridges of compound polygons are never drawn.
    const bool outline = points.SubpathCount() == 1;
    DrawSurface &surface = PageSurface();
    SurfaceClipScope scope(currentClip_.get());
    points.ForEachList([&](std::span<const PagePoint> polygon) {
        surface.FillPolygon(polygon.data(), int32_t(polygon.size()), 0, fillMode, 1, colour);
        if (outline)
            DrawPolyline(polygon, 1, colour, LINE_STYLE_SOLID);
    });
}

void WinOutputDev::ClipToPath(GfxState *state, int32_t fillMode)
{
    if (!state)
        return;
    PathPoints points(PathForm::Fill);
    ConvertPath(*state, PathForm::Fill, flatness_, pageWidth_, pageHeight_, points);
    // The page bounds the polygon regions: nothing outside it can be drawn,
    // and it keeps the regions' cost bounded for paths far off the page.
    const cairo_rectangle_int_t page{0, 0, pageWidth_, pageHeight_};
    RegionPtr area(cairo_region_create());
    points.ForEachList([&](std::span<const PagePoint> polygon) {
        RegionPtr part = MakePolygonRegion(polygon, fillMode, page);
        cairo_region_union(area.get(), part.get());
    });
    // A clip only ever narrows the current one; an empty path leaves nothing.
    RegionPtr clipped = CopyRegion(currentClip_.get());
    cairo_region_intersect(clipped.get(), area.get());
    ReplaceClip(std::move(clipped));
}

} // namespace lumora
