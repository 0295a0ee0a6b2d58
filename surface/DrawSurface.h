#pragma once
// The raster target of the rendering path: one bitmap together with its
// description in DIB form. The page surface is its one process-wide instance
// (SurfaceState.h); short-lived instances serve the page picture.
//
// The pixels live in a cairo RGB24 image surface whatever the DIB form says:
// the bit count only decides how the bitmap is described, exported and saved.
#include "lumora_engine.h"
#include "surface/CairoPtr.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// What the engine assumes of the display, which a server does not have.
struct DisplayFormat {
    int bitsPerPixel = 32;
    int planes = 1;
    int32_t pelsPerMeterX = 3780; // 96 dpi
    int32_t pelsPerMeterY = 3780;
};

class DrawSurface {
public:
    DrawSurface() = default;
    ~DrawSurface() { Release(); }
    DrawSurface(const DrawSurface &) = delete;
    DrawSurface &operator=(const DrawSurface &) = delete;

    // A blank bitmap described with the bit count (1, 4, 8, 16, 24 or 32);
    // on failure the surface stays as it was.
    bool Create(int32_t width, int32_t height, int bitCount);
    // As Create, with the bit count of the given device.
    bool CreateCompatible(int32_t width, int32_t height, const DisplayFormat &device = DisplayFormat());
    void Release();
    bool IsValid() const { return valid_; }

    int32_t GetWidth() const;
    int32_t GetHeight() const;
    RegionRect GetRect() const;
    // Fills the rectangle (the whole bitmap when null) with a colour.
    bool FillRect(uint32_t colour, const RegionRect *rect = nullptr);

    // The packed DIB (header, colour table, rows bottom-up) in a new
    // malloc'ed block that the caller frees; null without a bitmap.
    void *CopyToGlobalMemory() const;
    // Writes a BMP file in the bit count; true when all of it was written.
    // From then on the surface is described in that bit count.
    bool Save(const std::string &fileName, int bitCount);

    // Copies the bitmap onto target, stretched to the destination rectangle,
    // leaving the target's pixels wherever the source pixel is exactly the
    // transparent colour. Respects the target's clip region.
    void DrawTransparent(DrawSurface &target, uint32_t transparentColour, const RegionRect &destination) const;

    // Sets the region the next primitive respects (not owned); returns the
    // previous one.
    const cairo_region_t *SetClipRegion(const cairo_region_t *region);
    const cairo_region_t *ClipRegion() const { return clipRegion_; }
    void SetCharSet(int32_t charSet) { charSet_ = charSet; }
    int32_t CharSet() const { return charSet_; }

    const BitmapInfoHeader *Header() const;
    // Colour 0x00BBGGRR of a pixel; 0 outside the bitmap.
    uint32_t PixelAt(int32_t x, int32_t y) const;
    // The cairo surface holding the pixels (null without a bitmap).
    cairo_surface_t *CairoSurface() const { return bitmap_.get(); }

    // ---- Primitives: each paints, or records a page block while a page
    // object is captured (SurfaceState.h).
    void DrawLines(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t width, uint32_t colour,
                   uint32_t style);
    void FillPolygon(const PagePoint *points, int32_t count, int32_t shape, int32_t fillMode,
                     int32_t width, uint32_t colour);
    void DrawImage(int bitCount, uint32_t colour, int32_t sourceWidth, int32_t sourceHeight,
                   const uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height,
                   const TextBlock *attachedText);
    void ChangeClipRegion(const cairo_region_t *region);
    // One text run (TextRun.cpp): text is count UTF-16 units; the font name
    // goes through the font name mapping; angle in degrees counter-clockwise.
    void TextOut(int32_t x, int32_t y, const uint16_t *text, int32_t count, const char *fontName,
                 int32_t advance, int32_t height, int32_t bold, int32_t italic, uint32_t fillColour,
                 uint32_t strokeColour, int32_t renderMode, double angle, int32_t vertical);

    // A drawing context on the bitmap, clipped to the clip region; null
    // without a bitmap.
    CairoContextPtr PaintContext() const;

private:
    std::vector<uint8_t> DescribeAs(int bitCount) const;
    bool ConvertPixels(const std::vector<uint8_t> &description, uint8_t *target) const;

    CairoSurfacePtr bitmap_;
    int32_t charSet_ = 0;
    bool valid_ = false;
    std::vector<uint8_t> header_; // BitmapInfoHeader and colour table
    const cairo_region_t *clipRegion_ = nullptr;
};

} // namespace lumora
