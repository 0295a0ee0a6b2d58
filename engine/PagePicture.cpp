// The page picture: everything of a captured page that the HTML text cannot
// show, painted back with the surface's own primitives.
#include "engine/HtmlPageWriter.h"

#include "surface/Dib.h"
#include "surface/FontNameMapping.h"
#include "surface/PlatformFont.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"
#include "surface/TextEncoding.h"

#include <optional>

namespace lumora {

namespace {

constexpr const char *kFallbackFace = "Arial";

// The primitives paint only while no page object is captured; the page being
// written usually still is the captured one.
class PaintingModeScope {
public:
    PaintingModeScope() : captured_(CurrentPageObject()) { SetCurrentPageObject(nullptr); }
    ~PaintingModeScope() { SetCurrentPageObject(captured_); }
    PaintingModeScope(const PaintingModeScope &) = delete;
    PaintingModeScope &operator=(const PaintingModeScope &) = delete;

private:
    PageObject *captured_;
};

// The picture's clip as the clip blocks set it; the region is owned here and
// lent to the picture, which lets go of it before the region goes.
class ReplayedClip {
public:
    explicit ReplayedClip(DrawSurface &picture) : picture_(picture) { picture_.SetClipRegion(nullptr); }
    ~ReplayedClip() { picture_.SetClipRegion(nullptr); }
    ReplayedClip(const ReplayedClip &) = delete;
    ReplayedClip &operator=(const ReplayedClip &) = delete;

    void Apply(const ClipBlock *clip)
    {
        RegionPtr region = clip ? RegionFromClipBlock(*clip) : nullptr;
        picture_.SetClipRegion(region.get());
        region_ = std::move(region);
    }

private:
    DrawSurface &picture_;
    RegionPtr region_;
};

// A turned text run is drawn with the face it was recorded in; the face is
// already mapped, and a leading "@" still asks for the sideways variant.
std::optional<PlatformFont> TurnedRunFont(const TextBlock &text)
{
    FontDescription description;
    description.height = text.size;
    description.width = text.advance == text.size ? 0 : text.advance / 2;
    description.escapement = text.orientation;
    description.bold = text.bold != 0;
    description.italic = text.italic != 0;
    description.charSet = kDefaultCharSet;
    description.faceName = CutText(text.face ? text.face : "", kFaceNameLength);
    FontFaceCache &faces = TheFontNameMapping().Faces();
    if (auto font = PlatformFont::Create(description, faces))
        return font;
    description.faceName = kFallbackFace;
    return PlatformFont::Create(description, faces);
}

void PaintTurnedText(DrawSurface &picture, const TextBlock &text)
{
    if (text.orientation == 0 || !text.text || text.count <= 0)
        return; // upright text is written as HTML
    if (const auto font = TurnedRunFont(text))
        font->Paint(picture, text.x, text.y, Utf16ToSystemCodePage(text.text, text.count),
                    TextPaint::Filled(text.colour));
}

void PaintImage(DrawSurface &picture, const ImageBlock &image)
{
    const RgbQuad &colour = image.colourTable[1];
    picture.DrawImage(image.imageHeader.biBitCount, ColourFromBytes(colour.red, colour.green, colour.blue),
                      image.imageHeader.biWidth, image.imageHeader.biHeight, image.pixels, image.x, image.y,
                      image.destWidth, image.destHeight, nullptr);
}

} // namespace

void PaintPageBlocks(DrawSurface &picture, const PageObject &page)
{
    const PaintingModeScope painting;
    ReplayedClip clip(picture);
    for (int32_t i = 0; i < page.blockCount; ++i) {
        const PageBlock *block = page.blocks[i];
        if (!block)
            continue;
        switch (block->blockType) {
        case PAGE_BLOCK_TEXT:
            if (block->text)
                PaintTurnedText(picture, *block->text);
            break;
        case PAGE_BLOCK_IMAGE:
            if (block->image)
                PaintImage(picture, *block->image);
            break;
        case PAGE_BLOCK_LINE:
            if (const LineBlock *line = block->line)
                picture.DrawLines(line->x1, line->y1, line->x2, line->y2, line->width, line->colour, line->style);
            break;
        case PAGE_BLOCK_POLYGON:
            if (const PolygonBlock *polygon = block->polygon)
                picture.FillPolygon(polygon->points, polygon->pointCount, polygon->shape, polygon->fillMode,
                                    polygon->width, polygon->colour);
            break;
        case PAGE_BLOCK_CLIP:
            clip.Apply(block->clip);
            break;
        default:
            break; // emptied blocks
        }
    }
}

} // namespace lumora
