#pragma once
// The platform font behind a text run: what a logical font description asks
// for, found through fontconfig and drawn through cairo and FreeType.
//
// The height is painted as the em size. A face name with a leading '@' asks
// for the face's sideways variant, as for vertical writing: its glyphs are
// turned a quarter turn counter-clockwise against the baseline, so that a
// run with escapement 2700 shows them upright.
#include "surface/FontPtr.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

namespace lumora {

class DrawSurface;

inline constexpr uint8_t kDefaultCharSet = 1;

struct FontDescription {
    int32_t height = 0;     // em size in pixels; a negative height counts by its magnitude
    int32_t width = 0;      // average character width in pixels; 0 keeps the face's own
    int32_t escapement = 0; // baseline angle, tenths of a degree counter-clockwise
    bool bold = false;
    bool italic = false;
    uint8_t charSet = kDefaultCharSet; // Windows character set; picks a language
    std::string faceName;
};

// A face that fontconfig matched and FreeType could open.
struct MatchedFace {
    CairoFontFacePtr face;
    cairo_matrix_t glyphTransform; // slant fontconfig synthesises, in em units, y down
    double averageWidthPerEm = 0;  // 0 when the face does not say
};

// Fontconfig matches by family, weight, slant and language. They hold as
// long as the fontconfig configuration they were made with is current.
class FontFaceCache {
public:
    // The face, or null when fontconfig yields no usable font file for it.
    const MatchedFace *Find(const std::string &family, bool bold, bool italic, uint8_t charSet);
    void Clear();

private:
    using Key = std::tuple<std::string, bool, bool, uint8_t>;
    std::map<Key, std::unique_ptr<MatchedFace>> faces_; // null: refused
    FcConfigPtr config_;
};

// How glyphs are drawn: filled in one colour, or as outlines that a brush
// fills and a pen strokes.
struct TextPaint {
    enum class Brush { None, Solid, HorizontalHatch };
    bool outlines = false;
    Brush brush = Brush::Solid;
    uint32_t brushColour = 0; // 0x00BBGGRR
    int penWidth = 0;         // 0: no pen
    uint32_t penColour = 0;

    static TextPaint Filled(uint32_t colour) { return TextPaint{false, Brush::Solid, colour, 0, 0}; }
};

class PlatformFont {
public:
    // The font for the description, or none when the platform cannot make
    // one: fontconfig yields no usable font file for the face.
    static std::optional<PlatformFont> Create(const FontDescription &description, FontFaceCache &faces);

    const FontDescription &Description() const { return description_; }
    bool IsSideways() const;

    // Draws UTF-8 text with its baseline starting at (x, y), within the
    // surface's clip region.
    void Paint(DrawSurface &surface, int32_t x, int32_t y, const std::string &utf8, const TextPaint &paint) const;

private:
    enum class GlyphUse { Show, Outline };

    PlatformFont(const FontDescription &description, const MatchedFace &face);
    cairo_matrix_t FontMatrix(double em) const;
    void LayGlyphs(cairo_t *cr, const std::string &utf8, GlyphUse use) const;

    FontDescription description_;
    CairoFontFacePtr face_;
    cairo_matrix_t glyphTransform_;
    double averageWidthPerEm_;
};

} // namespace lumora
