#include "surface/PlatformFont.h"

#include "surface/Dib.h"
#include "surface/DrawSurface.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <numbers>

namespace lumora {

namespace {

// Far more faces than a run of documents uses; past it the cache starts
// over rather than growing without end.
constexpr size_t kMaxCachedFaces = 512;

const FcChar8 *FcText(const char *text) { return reinterpret_cast<const FcChar8 *>(text); }

// The language whose fonts a Windows character set stands for, so that a
// face that is not installed is replaced by one that has the script.
const char *LanguageOfCharSet(uint8_t charSet)
{
    switch (charSet) {
    case 128: return "ja";    // SHIFTJIS_CHARSET
    case 129:                 // HANGUL_CHARSET
    case 130: return "ko";    // JOHAB_CHARSET
    case 134: return "zh-cn"; // GB2312_CHARSET
    case 136: return "zh-tw"; // CHINESEBIG5_CHARSET
    case 161: return "el";    // GREEK_CHARSET
    case 162: return "tr";    // TURKISH_CHARSET
    case 163: return "vi";    // VIETNAMESE_CHARSET
    case 177: return "he";    // HEBREW_CHARSET
    case 178: return "ar";    // ARABIC_CHARSET
    case 186: return "lt";    // BALTIC_CHARSET
    case 204: return "ru";    // RUSSIAN_CHARSET
    case 222: return "th";    // THAI_CHARSET
    case 238: return "pl";    // EASTEUROPE_CHARSET
    default: return nullptr;
    }
}

FcPatternPtr RequestPattern(const std::string &family, bool bold, bool italic, uint8_t charSet)
{
    FcPatternPtr pattern(FcPatternCreate());
    if (!pattern)
        return nullptr;
    FcPatternAddString(pattern.get(), FC_FAMILY, FcText(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (const char *language = LanguageOfCharSet(charSet))
        FcPatternAddString(pattern.get(), FC_LANG, FcText(language));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    return pattern;
}

// The slant fontconfig asks for when a face has no italic of its own;
// cairo leaves that to its caller.
cairo_matrix_t SyntheticSlant(const FcPattern &match)
{
    cairo_matrix_t transform;
    cairo_matrix_init_identity(&transform);
    FcMatrix *slant = nullptr;
    if (FcPatternGetMatrix(&match, FC_MATRIX, 0, &slant) == FcResultMatch && slant) {
        // fontconfig's matrix works with y up, cairo's glyph space with y down.
        cairo_matrix_init(&transform, slant->xx, -slant->yx, -slant->xy, slant->yy, 0, 0);
    }
    return transform;
}

// The pattern cairo builds the face from: the matched file with grey
// antialiasing, since the bitmap's subpixel order is unknown, and without
// the slant, which the font matrix carries instead.
void PrepareForCairo(FcPattern &match)
{
    FcPatternDel(&match, FC_MATRIX);
    FcPatternDel(&match, FC_RGBA);
    FcPatternAddInteger(&match, FC_RGBA, FC_RGBA_NONE);
    FcPatternDel(&match, FC_ANTIALIAS);
    FcPatternAddBool(&match, FC_ANTIALIAS, FcTrue);
}

// Holds FreeType's face of a cairo font while it is read.
class LockedFtFace {
public:
    explicit LockedFtFace(cairo_scaled_font_t *font) : font_(font), face_(cairo_ft_scaled_font_lock_face(font)) {}
    ~LockedFtFace()
    {
        if (face_)
            cairo_ft_scaled_font_unlock_face(font_);
    }
    LockedFtFace(const LockedFtFace &) = delete;
    LockedFtFace &operator=(const LockedFtFace &) = delete;
    FT_Face get() const { return face_; }

private:
    cairo_scaled_font_t *font_;
    FT_Face face_;
};

// Opens the face's file through FreeType, which is what tells a usable font
// from a broken or missing file, and reads its average character width.
std::optional<double> OpenAndReadAverageWidth(cairo_font_face_t *face)
{
    cairo_matrix_t size;
    cairo_matrix_t identity;
    cairo_matrix_init_scale(&size, 64, 64);
    cairo_matrix_init_identity(&identity);
    CairoFontOptionsPtr options(cairo_font_options_create());
    CairoScaledFontPtr scaled(cairo_scaled_font_create(face, &size, &identity, options.get()));
    if (cairo_scaled_font_status(scaled.get()) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    LockedFtFace locked(scaled.get());
    if (!locked.get())
        return std::nullopt;
    const FT_Face ftFace = locked.get();
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
    if (!os2 || os2->version == 0xFFFF || os2->xAvgCharWidth <= 0 || ftFace->units_per_EM == 0)
        return 0.0;
    return double(os2->xAvgCharWidth) / ftFace->units_per_EM;
}

std::unique_ptr<MatchedFace> MatchFace(const std::string &family, bool bold, bool italic, uint8_t charSet)
{
    FcPatternPtr pattern = RequestPattern(family, bold, italic, charSet);
    if (!pattern)
        return nullptr;
    FcResult result = FcResultNoMatch;
    FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    FcChar8 *file = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        return nullptr;
    auto matched = std::make_unique<MatchedFace>();
    matched->glyphTransform = SyntheticSlant(*match);
    PrepareForCairo(*match);
    matched->face.reset(cairo_ft_font_face_create_for_pattern(match.get()));
    if (cairo_font_face_status(matched->face.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    const auto averageWidth = OpenAndReadAverageWidth(matched->face.get());
    if (!averageWidth)
        return nullptr;
    matched->averageWidthPerEm = *averageWidth;
    return matched;
}

void SetSourceColour(cairo_t *context, uint32_t colour)
{
    cairo_set_source_rgb(context, RedOf(colour) / 255.0, GreenOf(colour) / 255.0, BlueOf(colour) / 255.0);
}

// One device row in eight, in the brush colour; the rows between stay
// untouched as with a transparent background.
CairoPatternPtr HorizontalHatch(uint32_t colour)
{
    constexpr int kCell = 8;
    constexpr int kLineRow = 3;
    CairoSurfacePtr cell(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kCell, kCell));
    CairoContextPtr context(cairo_create(cell.get()));
    SetSourceColour(context.get(), colour);
    cairo_rectangle(context.get(), 0, kLineRow, kCell, 1);
    cairo_fill(context.get());
    CairoPatternPtr pattern(cairo_pattern_create_for_surface(cell.get()));
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    return pattern;
}

// Sets the brush as the source; the context's matrix must be the identity
// at this point so that hatch lines fall on device rows.
void SetBrush(cairo_t *context, const TextPaint &paint)
{
    if (paint.brush == TextPaint::Brush::HorizontalHatch)
        cairo_set_source(context, HorizontalHatch(paint.brushColour).get());
    else
        SetSourceColour(context, paint.brushColour);
}

// Fills the glyph outlines in the current path with the brush, then strokes
// them with the pen, both in device pixels.
void FillAndStrokeOutlines(cairo_t *context, const TextPaint &paint)
{
    cairo_identity_matrix(context);
    if (paint.brush != TextPaint::Brush::None) {
        SetBrush(context, paint);
        cairo_fill_preserve(context);
    }
    if (paint.penWidth > 0) {
        SetSourceColour(context, paint.penColour);
        cairo_set_line_width(context, paint.penWidth);
        cairo_stroke_preserve(context);
    }
    cairo_new_path(context);
}

double Radians(double tenthsOfDegree) { return tenthsOfDegree / 1800.0 * std::numbers::pi; }

} // namespace

const MatchedFace *FontFaceCache::Find(const std::string &family, bool bold, bool italic, uint8_t charSet)
{
    // A fontconfig configuration made current since (fonts installed, or a
    // test's own font set) invalidates every match.
    FcConfig *current = FcConfigGetCurrent();
    if (config_.get() != current || faces_.size() >= kMaxCachedFaces) {
        Clear();
        config_.reset(FcConfigReference(current));
    }
    Key key{family, bold, italic, charSet};
    auto found = faces_.find(key);
    if (found == faces_.end())
        found = faces_.emplace(std::move(key), MatchFace(family, bold, italic, charSet)).first;
    return found->second.get();
}

void FontFaceCache::Clear()
{
    faces_.clear();
    config_.reset();
}

PlatformFont::PlatformFont(const FontDescription &description, const MatchedFace &face)
    : description_(description), face_(cairo_font_face_reference(face.face.get())),
      glyphTransform_(face.glyphTransform), averageWidthPerEm_(face.averageWidthPerEm)
{
}

std::optional<PlatformFont> PlatformFont::Create(const FontDescription &description, FontFaceCache &faces)
{
    const std::string family = description.faceName.substr(description.faceName.size() >= 2 &&
                                                            description.faceName.front() == '@');
    const MatchedFace *face = faces.Find(family, description.bold, description.italic, description.charSet);
    if (!face)
        return std::nullopt;
    return PlatformFont(description, *face);
}

bool PlatformFont::IsSideways() const
{
    return description_.faceName.size() >= 2 && description_.faceName.front() == '@';
}

// The em square scaled to the height, narrowed or widened so that the
// face's average character becomes the described width.
cairo_matrix_t PlatformFont::FontMatrix(double em) const
{
    double horizontal = 1;
    if (description_.width != 0 && averageWidthPerEm_ > 0)
        horizontal = std::abs(double(description_.width)) / (averageWidthPerEm_ * em);
    cairo_matrix_t scale;
    cairo_matrix_init_scale(&scale, horizontal * em, em);
    cairo_matrix_t matrix;
    cairo_matrix_multiply(&matrix, &glyphTransform_, &scale);
    return matrix;
}

void PlatformFont::Paint(DrawSurface &surface, int32_t x, int32_t y, const std::string &utf8,
                         const TextPaint &paint) const
{
    // Text less than a pixel tall shows nothing; the platform's fallback to
    // a default size would paint it far too large.
    const double em = std::abs(double(description_.height));
    if (em == 0 || utf8.empty())
        return;
    CairoContextPtr context = surface.PaintContext();
    if (!context)
        return;
    cairo_t *cr = context.get();
    cairo_set_font_face(cr, face_.get());
    const cairo_matrix_t fontMatrix = FontMatrix(em);
    cairo_set_font_matrix(cr, &fontMatrix);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);

    cairo_translate(cr, x, y);
    cairo_rotate(cr, -Radians(description_.escapement));
    if (paint.outlines) {
        LayGlyphs(cr, utf8, GlyphUse::Outline);
        FillAndStrokeOutlines(cr, paint);
    } else {
        SetSourceColour(cr, paint.brushColour);
        LayGlyphs(cr, utf8, GlyphUse::Show);
    }
}

// Shows the glyphs, or adds their outlines to the path, along the user
// space's x axis from its origin.
void PlatformFont::LayGlyphs(cairo_t *cr, const std::string &utf8, GlyphUse use) const
{
    if (!IsSideways()) {
        cairo_move_to(cr, 0, 0);
        if (use == GlyphUse::Show)
            cairo_show_text(cr, utf8.c_str());
        else
            cairo_text_path(cr, utf8.c_str());
        return;
    }
    cairo_glyph_t *glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(cairo_get_scaled_font(cr), 0, 0, utf8.c_str(), int(utf8.size()), &glyphs,
                                         &count, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS)
        return;
    const std::unique_ptr<cairo_glyph_t, decltype(&cairo_glyph_free)> owned(glyphs, &cairo_glyph_free);
    // Turned glyphs follow one another down the baseline, each taking the
    // height of its em box, top first; across the baseline they lie as an
    // upright glyph's ascent and descent do, the glyph's left side where
    // the descent would be.
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    double along = 0;
    for (int i = 0; i < count; ++i) {
        cairo_save(cr);
        cairo_translate(cr, along + extents.ascent, extents.descent);
        cairo_rotate(cr, -std::numbers::pi / 2);
        const cairo_glyph_t glyph{glyphs[i].index, 0, 0};
        if (use == GlyphUse::Show)
            cairo_show_glyphs(cr, &glyph, 1);
        else
            cairo_glyph_path(cr, &glyph, 1);
        cairo_restore(cr);
        along += extents.ascent + extents.descent;
    }
}

} // namespace lumora
