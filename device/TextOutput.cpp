// Text: font selection and one text run per character.
#include "device/TextOutput.h"

#include "device/DeviceMath.h"
#include "device/WinOutputDev.h"
#include "surface/SurfaceState.h"

#include <Error.h>
#include <GfxFont.h>
#include <GfxState.h>
#include <XRef.h>

#include <cmath>

namespace lumora {

// ---- Marked content

void MarkedContentStack::Begin(const char *tag, Dict *properties)
{
    MarkedContentEntry entry;
    entry.tag = tag ? tag : "";
    entry.hasProperties = properties != nullptr;
    if (properties) {
        const Object vertical = properties->lookup("Vertical");
        entry.verticalIsOne = vertical.isInt() && vertical.getInt() == 1;
    }
    entries_.push_back(std::move(entry));
}

void MarkedContentStack::End()
{
    if (!entries_.empty())
        entries_.pop_back();
}

bool MarkedContentStack::InVerticalPointText() const
{
    for (const MarkedContentEntry &entry : entries_)
        if (entry.hasProperties && entry.tag == "PointText" && entry.verticalIsOne)
            return true;
    return false;
}

MarkedContentStack &ProcessMarkedContent()
{
    static MarkedContentStack stack;
    return stack;
}

// ---- Fonts

bool IsMatchedFont(const GfxFont *font) { return font && !font->isCIDFont(); }

namespace {

// Cuts the name at the first of the markers found (tried in order).
bool CutAtFirstOf(std::string &name, std::initializer_list<std::string_view> markers)
{
    for (std::string_view marker : markers) {
        const std::size_t at = name.find(marker);
        if (at != std::string::npos) {
            name.erase(at);
            return true;
        }
    }
    return false;
}

void DropSubsetPrefix(std::string &name)
{
    const std::size_t plus = name.find('+');
    if (plus != std::string::npos)
        name.erase(0, plus + 1);
}

// Mac Chinese families that Windows has under other names.
void SubstituteChineseFamily(std::string &name)
{
    if (name.find("STHeiti") != std::string::npos)
        name = "SimHei";
    if (name.find("STSong") != std::string::npos)
        name = "SimSun";
}

} // namespace

FaceStyle FaceFromFontName(std::string_view name, FaceStyle style)
{
    std::string face(name.substr(0, kFaceNameLimit));
    if (CutAtFirstOf(face, {",Italic", "-Italic", "Italic"}))
        style.italic = true;
    if (CutAtFirstOf(face, {",Bold", "-Bold", "Bold", "-Black"}))
        style.bold = true;
    DropSubsetPrefix(face);
    SubstituteChineseFamily(face);
    style.face = std::move(face);
    return style;
}

FaceStyle FaceOfFont(const GfxFont *font)
{
    FaceStyle style;
    if (!font)
        return style;
    style.italic = (font->getFlags() & fontItalic) != 0;
    style.bold = (font->getFlags() & fontBold) != 0;
    if (!font->getName())
        return style;
    return FaceFromFontName(*font->getName(), style);
}

namespace {

inline constexpr int32_t kDefaultCharSet = 1;
// Generations above this are the library's made-up references for fonts
// written directly in a resource dictionary; they name no object.
inline constexpr int kLargestGeneration = 65535;

Object FetchFontDictionary(const GfxFont &font, XRef &xref)
{
    const Ref id = *font.getID();
    if (id.num < 0 || id.gen < 0 || id.gen > kLargestGeneration)
        return Object(objNull);
    return xref.fetch(id);
}

} // namespace

int32_t FontCharSet(const GfxFont *font, XRef *xref)
{
    if (!font || !font->isCIDFont() || !xref)
        return kDefaultCharSet;
    const Object fontDict = FetchFontDictionary(*font, *xref);
    if (!fontDict.isDict() || !fontDict.dictLookup("Subtype").isName("Type0"))
        return kDefaultCharSet;
    const Object descendants = fontDict.dictLookup("DescendantFonts");
    if (!descendants.isArray() || descendants.arrayGetLength() < 1)
        return kDefaultCharSet;
    const Object cidFont = descendants.arrayGet(0);
    if (!cidFont.isDict())
        return kDefaultCharSet;
    const Object charSet = cidFont.dictLookup("WinCharSet");
    return charSet.isInt() ? charSet.getInt() : kDefaultCharSet;
}

// ---- Font matrix

namespace {

inline constexpr double kDegreesPerRadian = 57.295779;
inline constexpr double kNegligible = 0.000001;

bool IsFinite(const FontMatrix &m)
{
    return std::isfinite(m.m11) && std::isfinite(m.m12) && std::isfinite(m.m21) && std::isfinite(m.m22);
}

// atan2 that calls a vector of two negligible components direction 0.
double Direction(double y, double x)
{
    if (std::fabs(y) < kNegligible && std::fabs(x) < kNegligible)
        return 0;
    return std::atan2(y, x);
}

} // namespace

double BaselineAngle(const FontMatrix &m)
{
    if (!IsFinite(m))
        return 0;
    if (std::fabs(m.m11) < kNegligible && std::fabs(m.m12) < kNegligible)
        return 0;
    return std::atan2(-m.m12, m.m11) * kDegreesPerRadian;
}

int32_t FontHeight(const FontMatrix &m)
{
    // The length of the image of (0, 1000), taken in single precision.
    const float x = static_cast<float>(1000 * m.m21);
    const float y = static_cast<float>(1000 * m.m22);
    double length = 1;
    if (std::fabs(x) >= kNegligible || std::fabs(y) >= kNegligible) {
        const float squared = x * x + y * y;
        length = std::sqrt(static_cast<double>(squared));
        if (!(length >= 1)) // also for NaN
            length = 1;
    }
    return Truncate(length / 1000);
}

bool IsSheared(const FontMatrix &m)
{
    if (!IsFinite(m))
        return false;
    if (std::fabs(m.m12) < 0.0001 && std::fabs(m.m21) < 0.0001)
        return false;
    double xAxis = Direction(m.m12, m.m11);
    const double yAxis = Direction(m.m22, m.m21);
    // Both lie within [-pi, pi], so one turn is enough.
    if (xAxis < yAxis)
        xAxis += 6.28318530718;
    return std::fabs(xAxis - yAxis - 1.5707963268) >= kNegligible;
}

// ---- Characters

CharacterPlacement PlaceCharacter(const double ctm[6], double x, double y, double dx, double dy,
                                  double originX, double originY, bool matched)
{
    const double ux = x - originX;
    const double uy = y - originY;
    const double deviceX = ctm[0] * ux + ctm[2] * uy + ctm[4];
    const double deviceY = ctm[1] * ux + ctm[3] * uy + ctm[5];
    const double deviceDx = ctm[0] * dx + ctm[2] * dy;

    CharacterPlacement placement;
    placement.x = matched ? Round(deviceX) : Truncate(deviceX);
    placement.y = matched ? Round(deviceY) : Truncate(deviceY);
    placement.advance = Truncate(deviceDx);
    return placement;
}

std::vector<uint16_t> Utf16FromUnicode(const Unicode *values, int count)
{
    std::vector<uint16_t> units;
    if (!values || count <= 0)
        return units;
    units.reserve(count);
    for (int i = 0; i < count; ++i) {
        const Unicode value = values[i];
        if (value <= 0xFFFF) {
            units.push_back(static_cast<uint16_t>(value));
        } else if (value <= 0x10FFFF) {
            const Unicode offset = value - 0x10000;
            units.push_back(static_cast<uint16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 + (offset & 0x3FF)));
        } else {
            units.push_back(0xFFFD);
        }
    }
    return units;
}

std::vector<uint16_t> CharacterText(bool matched, CharCode code, const Unicode *values, int count)
{
    if (!matched && (!values || count <= 0))
        return {static_cast<uint16_t>(code & 0xFFFF)};
    return Utf16FromUnicode(values, count);
}

// ---- The device's text callbacks

namespace {

FontMatrix StateFontMatrix(const GfxState &state)
{
    FontMatrix m;
    state.getFontTransMat(&m.m11, &m.m12, &m.m21, &m.m22);
    return m;
}

void ReportUnmatchedFont(const GfxCIDFont &font)
{
    const GooString *collection = font.getCollection();
    if (collection)
        error(errSyntaxWarning, -1, "Couldn't find a font for the '{0:t}' character collection", collection);
}

} // namespace

void WinOutputDev::updateFont(GfxState *state)
{
    currentFont_ = state ? state->getFont().get() : nullptr;
    fontMatched_ = IsMatchedFont(currentFont_);
    if (!currentFont_)
        return;
    if (currentFont_->getType() == fontType3 && !type3Reported_) {
        type3Reported_ = true;
        error(errSyntaxWarning, -1, "This document uses Type 3 fonts - some text may not be correctly displayed");
    }
    if (currentFont_->isCIDFont())
        ReportUnmatchedFont(static_cast<const GfxCIDFont &>(*currentFont_));
}

void WinOutputDev::drawChar(GfxState *state, double x, double y, double dx, double dy, double originX,
                            double originY, CharCode code, int nBytes, const Unicode *u, int uLen)
{
    if (!state || IsInvisibleRenderMode(state->getRender()))
        return;
    const CharacterPlacement placement =
        PlaceCharacter(state->getCTM(), x, y, dx, dy, originX, originY, fontMatched_);
    EmitText(*state, placement, CharacterText(fontMatched_, code, u, uLen));
}

void WinOutputDev::EmitText(GfxState &state, const CharacterPlacement &placement,
                            const std::vector<uint16_t> &text)
{
    const int renderMode = state.getRender();
    if (IsInvisibleRenderMode(renderMode))
        return;

    DrawSurface &surface = PageSurface();
    const GfxFont *font = state.getFont().get();
    FaceStyle style = FaceOfFont(font);
    bool vertical = false;
    if (font) {
        vertical = font->getWMode() == 1;
        surface.SetCharSet(FontCharSet(font, xref_));
    }
    if (!vertical)
        vertical = ProcessMarkedContent().InVerticalPointText();

    const FontMatrix matrix = StateFontMatrix(state);
    const double angle = BaselineAngle(matrix);
    if (angle == 0 && IsSheared(matrix))
        style.italic = true;

    SurfaceClipScope scope(currentClip_.get());
    surface.TextOut(placement.x, placement.y, text.data(), static_cast<int32_t>(text.size()),
                    style.face.c_str(), placement.advance, FontHeight(matrix), style.bold, style.italic,
                    FillColour(state), StrokeColour(state), renderMode, angle, vertical);
}

void WinOutputDev::beginMarkedContent(const char *name, Dict *properties)
{
    ProcessMarkedContent().Begin(name, properties);
}

void WinOutputDev::endMarkedContent(GfxState *state) { ProcessMarkedContent().End(); }

} // namespace lumora
