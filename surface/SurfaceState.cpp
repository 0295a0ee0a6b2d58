#include "surface/SurfaceState.h"

namespace lumora {

namespace {
PageObject *capturedPage = nullptr;
}

DrawSurface &PageSurface()
{
    static DrawSurface pageSurface;
    return pageSurface;
}

PageObject *CurrentPageObject() { return capturedPage; }
void SetCurrentPageObject(PageObject *page) { capturedPage = page; }

} // namespace lumora
