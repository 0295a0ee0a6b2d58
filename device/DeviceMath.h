#pragma once
// The conversions from the library's doubles to device integers and colour
// values that the whole device shares.
#include <GfxState.h>

#include <cmath>
#include <cstdint>

namespace lumora {

// Device coordinates are kept within this bound, so that a hostile page with
// huge, infinite or NaN values never overflows an integer conversion or the
// arithmetic on the results (differences and sums stay within 32 bits).
inline constexpr double kCoordinateLimit = 1 << 28;

inline double ClampCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    return std::fmax(-kCoordinateLimit, std::fmin(kCoordinateLimit, value));
}

// Drops the fraction toward zero.
inline int32_t Truncate(double value) { return static_cast<int32_t>(ClampCoordinate(value)); }

// Adds 0.5, then drops the fraction toward zero: 2.5 -> 3, -0.2 -> 0, -0.7 -> 0.
inline int32_t Round(double value) { return Truncate(ClampCoordinate(value) + 0.5); }

// One colour component 0..1 (the library's fixed point) as a byte:
// 1.0 -> 255, 0.5 -> 127.
inline uint32_t ComponentByte(GfxColorComp component)
{
    double value = colToDbl(component);
    if (!(value > 0))
        value = 0;
    if (value > 1)
        value = 1;
    return (static_cast<uint32_t>(value * 65535.0) >> 8) & 0xFF;
}

// The colour value 0x00BBGGRR of an RGB colour.
inline uint32_t ColourFromRgb(const GfxRGB &rgb)
{
    return ComponentByte(rgb.r) | ComponentByte(rgb.g) << 8 | ComponentByte(rgb.b) << 16;
}

// The state's current fill and stroke colours as colour values.
inline uint32_t FillColour(GfxState &state)
{
    GfxRGB rgb;
    state.getFillRGB(&rgb);
    return ColourFromRgb(rgb);
}

inline uint32_t StrokeColour(GfxState &state)
{
    GfxRGB rgb;
    state.getStrokeRGB(&rgb);
    return ColourFromRgb(rgb);
}

} // namespace lumora
