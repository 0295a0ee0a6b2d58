// Text: font selection and one text run per character.
#include "device/WinOutputDev.h"

namespace lumora {

void WinOutputDev::updateFont(GfxState *state) {}
void WinOutputDev::drawChar(GfxState *state, double x, double y, double dx, double dy, double originX,
                            double originY, CharCode code, int nBytes, const Unicode *u, int uLen)
{
}
void WinOutputDev::beginMarkedContent(const char *name, Dict *properties) {}
void WinOutputDev::endMarkedContent(GfxState *state) {}

} // namespace lumora
