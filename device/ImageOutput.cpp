// Images and stencil masks.
#include "device/WinOutputDev.h"

namespace lumora {

void WinOutputDev::drawImageMask(GfxState *state, Object *ref, Stream *str, int width, int height, bool invert,
                                 bool interpolate, bool inlineImg)
{
    OutputDev::drawImageMask(state, ref, str, width, height, invert, interpolate, inlineImg);
}
void WinOutputDev::drawImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                             GfxImageColorMap *colorMap, bool interpolate, const int *maskColors, bool inlineImg)
{
    OutputDev::drawImage(state, ref, str, width, height, colorMap, interpolate, maskColors, inlineImg);
}
void WinOutputDev::drawMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                                   GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr, int maskWidth,
                                   int maskHeight, bool maskInvert, bool maskInterpolate)
{
    OutputDev::drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                               maskHeight, maskInvert, maskInterpolate);
}
void WinOutputDev::drawSoftMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                                       GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr,
                                       int maskWidth, int maskHeight, GfxImageColorMap *maskColorMap,
                                       bool maskInterpolate)
{
    OutputDev::drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                   maskHeight, maskColorMap, maskInterpolate);
}

} // namespace lumora
