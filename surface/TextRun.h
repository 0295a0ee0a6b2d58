#pragma once
// The arithmetic of a text run (DrawSurface::TextOut) that decides where and
// how its font is made: vertical writing, the width hint, the escapement.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumora {

// The working buffer the font name is mapped in holds this many bytes with
// its terminator.
inline constexpr std::size_t kFontNameBufferSize = 260;

// True for the units that vertical writing draws with the sideways glyph:
// ideographic comma, full stop, brackets and marks (U+3001 to U+300F), the
// prolonged sound mark (U+30FC) and the full- and half-width forms
// (U+FF00 to U+FFFF).
bool NeedsVerticalGlyph(uint16_t unit);

// Moves the origin of a vertical run that is drawn with the sideways face
// so that the turned glyph lands in the character's cell; angle in whole
// degrees counter-clockwise.
void AdjustVerticalOrigin(int32_t advance, int32_t height, int32_t angle, int32_t &x, int32_t &y);

// The average character width asked of the font: half the advance when the
// advance and the height differ by 4 pixels or more, else 0 (the face's own).
int32_t FontWidthFor(int32_t advance, int32_t height);

// The baseline angle as whole degrees: the integer part of angle + 0.5; a
// NaN angle counts as 0 and angles beyond the 32-bit range are clamped.
int32_t RunAngle(double angle);

// The escapement in tenths of a degree, 0 to 3599, for a run at the whole
// angle in the face: a sideways face ("@" and a name) starts at 2700.
int32_t RunEscapement(int32_t angle, std::string_view face);

} // namespace lumora
