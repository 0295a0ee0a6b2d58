#pragma once
// The drawing surface's process-wide state: the page surface and the page
// object being captured. One page is rendered at a time in the whole
// process, from one thread; nothing here is locked.
#include "surface/DrawSurface.h"

namespace lumora {

// The bitmap of the page being rendered.
DrawSurface &PageSurface();

// The page object the primitives record into, or null: then they paint.
PageObject *CurrentPageObject();
void SetCurrentPageObject(PageObject *page);

} // namespace lumora
