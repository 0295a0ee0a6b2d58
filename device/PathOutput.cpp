// Paths: strokes, fills and clips of the page.
#include "device/WinOutputDev.h"

namespace lumora {

void WinOutputDev::stroke(GfxState *state) {}
void WinOutputDev::fill(GfxState *state) {}
void WinOutputDev::eoFill(GfxState *state) {}
void WinOutputDev::clip(GfxState *state) {}
void WinOutputDev::eoClip(GfxState *state) {}

} // namespace lumora
