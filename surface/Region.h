#pragma once
// Regions are sets of device pixels held as rectangle lists (cairo regions).
// The device keeps its clip as one; the surface applies it while painting
// and records it as region data while capturing.
#include "surface/CairoPtr.h"
#include "surface/PageBlocks.h"

#include <span>

namespace lumora {

// The rectangle [left, right) x [top, bottom); empty when inverted.
RegionPtr MakeRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom);
RegionPtr CopyRegion(const cairo_region_t *region);

// The pixels whose centres the polygon covers by the fill rule
// (FILL_MODE_EVEN_ODD or FILL_MODE_WINDING), limited to the given bounds so
// that a polygon far off the page costs nothing.
RegionPtr MakePolygonRegion(std::span<const PagePoint> points, int32_t fillMode,
                            const cairo_rectangle_int_t &bounds);

// The region as region data: a 32-byte header and its rectangles, bands
// from top to bottom. Null when memory runs out.
RecordPtr<ClipBlock> RegionToClipBlock(const cairo_region_t &region);
// The region that recorded region data describes.
RegionPtr RegionFromClipBlock(const ClipBlock &clip);

// Restricts drawing on the context to the region.
void ClipContextToRegion(cairo_t *context, const cairo_region_t &region);

} // namespace lumora
