#pragma once
// The pieces of text output that decide what a character becomes, kept apart
// from the device so that each rule can be checked on its own: whether a font
// is matched, the face name and style taken from a PDF font name, the
// character set, the baseline angle and height from the font matrix, the
// UTF-16 text and the marked-content stack that can turn text vertical.
#include <CharTypes.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Dict;
class GfxFont;
class XRef;

namespace lumora {

// ---- Marked content

// What the vertical-writing rule needs of one begin-marked-content operator.
struct MarkedContentEntry {
    std::string tag;
    bool hasProperties = false;  // the operator came with an inline properties dictionary
    bool verticalIsOne = false;  // ... whose /Vertical is the integer 1
};

// The open marked-content sections, outermost first. Sections left open by
// one page stay open for the pages after it: the library reports the begin
// and end operators, not the content stream they belong to (and it drops an
// end operator that closes nothing of its own page, so such a section stays
// open until the stack is cleared).
class MarkedContentStack {
public:
    void Begin(const char *tag, Dict *properties);
    // Closes the innermost section; nothing happens when none is open.
    void End();
    // True when an open section is tagged PointText with /Vertical 1.
    bool InVerticalPointText() const;
    std::size_t Depth() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    std::vector<MarkedContentEntry> entries_;
};

// The one marked-content stack of the process, shared by every device.
MarkedContentStack &ProcessMarkedContent();

// ---- Fonts

// A font is matched unless it is missing or composite (CID-keyed): this
// system has no table of display fonts for character collections.
bool IsMatchedFont(const GfxFont *font);

// The face name used when there is no font, and the longest font name kept.
inline constexpr const char *kFallbackFace = "Courier";
inline constexpr std::size_t kFaceNameLimit = 199;

struct FaceStyle {
    std::string face = kFallbackFace;
    bool bold = false;
    bool italic = false;
};

// Cuts the style suffixes (italic first, then bold), then the subset prefix,
// from a PDF font name, and replaces two Mac Chinese families by their
// Windows counterparts. The suffixes go first so that "ABCDEF+Arial,Bold"
// loses ",Bold" even though the prefix is part of what is searched.
// A suffix found sets the flag; flags already set stay set.
FaceStyle FaceFromFontName(std::string_view name, FaceStyle style = {});

// The face and style of a font: its name through FaceFromFontName, with
// italic and bold first taken from the descriptor's Italic and ForceBold
// flags. Without a font: Courier, regular.
FaceStyle FaceOfFont(const GfxFont *font);

// The Windows character set a writer stored as /WinCharSet in the
// descendant CIDFont of a composite font; 1 (the default set) for simple
// fonts, without the entry, or when the font dictionary cannot be read.
int32_t FontCharSet(const GfxFont *font, XRef *xref);

// ---- Font matrix

// The font transformation into device space: text matrix times CTM times the
// font size. A vector (a, b) maps to (a·m11 + b·m21, a·m12 + b·m22).
struct FontMatrix {
    double m11 = 0;
    double m12 = 0;
    double m21 = 0;
    double m22 = 0;
};

// Baseline angle in degrees, counter-clockwise on the page; 0 for a
// degenerate or non-finite matrix.
double BaselineAngle(const FontMatrix &m);
// Font height in device pixels: the length the matrix gives to the text
// space's vertical unit, at least 1 before the division by 1000.
int32_t FontHeight(const FontMatrix &m);
// True when the transformed axes are not at a right angle: slanted text.
bool IsSheared(const FontMatrix &m);

// ---- Characters

// One device position per character.
struct CharacterPlacement {
    int32_t x = 0;
    int32_t y = 0;
    int32_t advance = 0;
};

// The character's device position and advance from the user-space origin
// (x, y), the vertical origin offset and the displacement, through the CTM.
// A matched font rounds the position, an unmatched one truncates it.
CharacterPlacement PlaceCharacter(const double ctm[6], double x, double y, double dx, double dy,
                                  double originX, double originY, bool matched);

// UTF-16 units of Unicode values: one unit each, a surrogate pair above
// U+FFFF, U+FFFD for values that are no Unicode scalar.
std::vector<uint16_t> Utf16FromUnicode(const Unicode *values, int count);

// The text a character is drawn with. A matched font gives its Unicode values
// (possibly none); an unmatched font or none falls back to the character
// code's low 16 bits when there is no Unicode value, so no text is lost.
std::vector<uint16_t> CharacterText(bool matched, CharCode code, const Unicode *values, int count);

// Rendering modes 3 (invisible) and 7 (clip only) draw nothing.
inline bool IsInvisibleRenderMode(int mode) { return mode == 3 || mode == 7; }

} // namespace lumora
