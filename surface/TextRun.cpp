// Text runs: one run of characters painted or recorded in a mapped face.
#include "surface/DrawSurface.h"

namespace lumora {

void DrawSurface::TextOut(int32_t x, int32_t y, const uint16_t *text, int32_t count, const char *fontName,
                          int32_t advance, int32_t height, int32_t bold, int32_t italic, uint32_t fillColour,
                          uint32_t strokeColour, int32_t renderMode, double angle, int32_t vertical)
{
}

} // namespace lumora
