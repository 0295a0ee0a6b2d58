#pragma once
// Owning pointers for cairo objects.
#include <cairo.h>

#include <memory>

namespace lumora {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t *surface) const { cairo_surface_destroy(surface); }
};
struct CairoContextDeleter {
    void operator()(cairo_t *context) const { cairo_destroy(context); }
};
struct CairoRegionDeleter {
    void operator()(cairo_region_t *region) const { cairo_region_destroy(region); }
};
struct CairoPatternDeleter {
    void operator()(cairo_pattern_t *pattern) const { cairo_pattern_destroy(pattern); }
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoContextPtr = std::unique_ptr<cairo_t, CairoContextDeleter>;
using RegionPtr = std::unique_ptr<cairo_region_t, CairoRegionDeleter>;
using CairoPatternPtr = std::unique_ptr<cairo_pattern_t, CairoPatternDeleter>;

} // namespace lumora
