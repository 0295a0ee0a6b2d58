// Text runs: one run of characters painted or recorded in a mapped face.
#include "surface/TextRun.h"

#include "surface/DrawSurface.h"
#include "surface/FontNameMapping.h"
#include "surface/PageBlocks.h"
#include "surface/PlatformFont.h"
#include "surface/SurfaceState.h"
#include "surface/TextEncoding.h"
#include "surface/Trace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace lumora {

namespace {

constexpr uint16_t kLigatureFi = 0xFB01;
constexpr uint32_t kWhiteColour = 0x00FFFFFF;
// The approximation of pi the vertical placement has always used.
constexpr double kPi = 3.1415926535;

int32_t TruncateToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return int32_t(std::clamp(std::trunc(value), double(INT32_MIN), double(INT32_MAX)));
}

int32_t ClampToInt32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

bool IsSidewaysFace(std::string_view face) { return face.size() >= 2 && face.front() == '@'; }

// The run's UTF-16 units; a lone "fi" ligature becomes the two letters,
// which every face has.
std::vector<uint16_t> RunUnits(const uint16_t *text, int32_t count)
{
    if (count == 1 && text[0] == kLigatureFi)
        return {u'f', u'i'};
    return std::vector<uint16_t>(text, text + count);
}

// count units as UTF-16 little-endian followed by one zero byte, the form a
// text block holds.
std::vector<uint8_t> LittleEndianText(const std::vector<uint16_t> &units)
{
    std::vector<uint8_t> bytes(units.size() * 2 + 1, 0);
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = uint8_t(units[i]);
        bytes[2 * i + 1] = uint8_t(units[i] >> 8);
    }
    return bytes;
}

// The face the run is drawn in: the mapped face, or for vertical writing
// the sideways variant when the first unit needs it (moving the origin).
std::string RunFace(const char *fontName, const std::vector<uint16_t> &units, int32_t vertical, int32_t advance,
                    int32_t height, int32_t angle, int32_t &x, int32_t &y)
{
    std::string face = CutText(TheFontNameMapping().Lookup(CutText(fontName, kFontNameBufferSize - 1)),
                               kFontNameBufferSize - 1);
    if (!vertical)
        return face;
    if (!face.empty() && face.front() == '@')
        face.erase(0, 1);
    if (NeedsVerticalGlyph(units.front())) {
        AdjustVerticalOrigin(advance, height, angle, x, y);
        face = CutText("@" + face, kFontNameBufferSize - 1);
    }
    return face;
}

// The mapped face, else the default face; none when neither can be made.
std::optional<PlatformFont> MakeRunFont(FontDescription description)
{
    FontNameMapping &mapping = TheFontNameMapping();
    if (auto font = PlatformFont::Create(description, mapping.Faces()))
        return font;
    description.faceName = CutText(mapping.DefaultFace(), kFaceNameLength);
    return PlatformFont::Create(description, mapping.Faces());
}

// True when a captured run's origin lies off the surface, which drops it.
bool DeleteText(const DrawSurface &surface, int32_t x, int32_t y)
{
    return x < 0 || y < 0 || x >= surface.GetWidth() || y >= surface.GetHeight();
}

struct RunRecord {
    int32_t x, y;
    const std::vector<uint16_t> &units;
    const std::string &face;
    int32_t advance, height, bold, italic, escapement;
    uint32_t colour;
};

void RecordRun(PageObject &page, const RunRecord &run)
{
    if (BlockLimitReached(page))
        return;
    auto block = NewRecord<TextBlock>();
    if (!block)
        return;
    const std::vector<uint8_t> text = LittleEndianText(run.units);
    block->text = static_cast<uint8_t *>(std::malloc(text.size()));
    block->face = strdup(run.face.c_str());
    if (!block->text || !block->face)
        return;
    std::memcpy(block->text, text.data(), text.size());
    block->x = run.x;
    block->y = run.y;
    block->count = int32_t(run.units.size());
    block->advance = run.advance;
    block->size = run.height;
    block->bold = run.bold;
    block->italic = run.italic;
    block->orientation = run.escapement;
    block->colour = run.colour;
    block->reserved = 0;
    AppendBlock(page, std::move(block));
}

// Brush and pen of each PDF text rendering mode; none for the modes that
// paint nothing (invisible, clip only, unknown).
std::optional<TextPaint> PaintForRenderMode(int32_t renderMode, uint32_t fill, uint32_t stroke)
{
    using Brush = TextPaint::Brush;
    switch (renderMode) {
    case 0: return TextPaint::Filled(fill);
    case 1: return TextPaint{true, Brush::Solid, kWhiteColour, 1, stroke};
    case 2: return TextPaint{true, Brush::Solid, fill, 2, stroke};
    case 4: return TextPaint{true, Brush::HorizontalHatch, fill, 1, fill};
    case 5: return TextPaint{true, Brush::HorizontalHatch, kWhiteColour, 1, stroke};
    case 6: return TextPaint{true, Brush::HorizontalHatch, fill, 1, stroke};
    default: return std::nullopt;
    }
}

} // namespace

bool NeedsVerticalGlyph(uint16_t unit)
{
    return (unit >= 0x3001 && unit <= 0x300F) || unit == 0x30FC || unit >= 0xFF00;
}

void AdjustVerticalOrigin(int32_t advance, int32_t height, int32_t angle, int32_t &x, int32_t &y)
{
    const double r = angle * kPi / 180;
    x = TruncateToInt32(x - advance * std::sin(r));
    y = TruncateToInt32(y - height * std::cos(r));
    int32_t a = angle % 360;
    if (a < 0)
        a += 360;
    const int32_t h8 = height / 8;
    const int32_t w8 = advance / 8;
    int32_t dx = h8;
    int32_t dy = w8;
    if (a > 45 && a <= 135) {
        dy = -w8;
    } else if (a > 135 && a <= 315) {
        dx = -h8;
    }
    x = ClampToInt32(int64_t(x) + dx);
    y = ClampToInt32(int64_t(y) + dy);
}

int32_t FontWidthFor(int32_t advance, int32_t height)
{
    return std::abs(int64_t(height) - advance) >= 4 ? advance / 2 : 0;
}

int32_t RunAngle(double angle) { return TruncateToInt32(angle + 0.5); }

int32_t RunEscapement(int32_t angle, std::string_view face)
{
    const int64_t base = IsSidewaysFace(face) ? 2700 : 0;
    // The integer part toward zero, so a negative angle comes out one tenth
    // short of its exact value (-89 degrees gives 2711).
    auto escapement = int64_t(std::trunc(double(int64_t(angle) * 10 + base) + 0.5));
    // Reduced fully, so that even an absurd angle yields 0 to 3599.
    escapement %= 3600;
    if (escapement < 0)
        escapement += 3600;
    return int32_t(escapement);
}

void DrawSurface::TextOut(int32_t x, int32_t y, const uint16_t *text, int32_t count, const char *fontName,
                          int32_t advance, int32_t height, int32_t bold, int32_t italic, uint32_t fillColour,
                          uint32_t strokeColour, int32_t renderMode, double angle, int32_t vertical)
{
    Trace("TextOut(x=%d,y=%d,count=%d,font=%s,size=%d,mode=%d)\n", x, y, count, fontName ? fontName : "(null)",
          height, renderMode);
    if (!fontName || !text || count <= 0)
        return;
    const std::vector<uint16_t> units = RunUnits(text, count);
    const int32_t wholeAngle = RunAngle(angle);
    const std::string face = RunFace(fontName, units, vertical, advance, height, wholeAngle, x, y);

    FontDescription description;
    description.height = height;
    description.width = FontWidthFor(advance, height);
    description.escapement = RunEscapement(wholeAngle, face);
    description.bold = bold != 0;
    description.italic = (italic & 0xFF) != 0;
    description.charSet = uint8_t(charSet_ & 0xFF);
    description.faceName = CutText(face, kFaceNameLength);
    const std::optional<PlatformFont> font = MakeRunFont(description);
    if (!font)
        return;

    if (PageObject *page = CurrentPageObject()) {
        if (DeleteText(*this, x, y))
            return;
        RecordRun(*page, RunRecord{x, y, units, font->Description().faceName, advance, height, bold, italic,
                                   description.escapement, fillColour});
        return;
    }
    if (const auto paint = PaintForRenderMode(renderMode, fillColour, strokeColour)) {
        const std::vector<uint8_t> utf16 = LittleEndianText(units);
        font->Paint(*this, x, y, Utf16ToSystemCodePage(utf16.data(), int32_t(units.size())), *paint);
    }
}

} // namespace lumora
