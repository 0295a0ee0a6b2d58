// Page capture: a page rendered as page blocks (a page object) or as a
// packed bitmap.
#include "engine/EngineHandle.h"
#include "surface/PageBlocks.h"
#include "surface/SurfaceState.h"

#include <Annot.h>

#include <cstdlib>

namespace lumora {

namespace {

bool IsPageOf(const EngineHandleRecord *handle, int32_t page)
{
    return IsValidHandle(handle) && page >= 1 && page <= handle->document->getNumPages();
}

// The device outlines links itself from their Border arrays when it is told
// of them; drawn by the library too, every link would get a second, black
// outline (the library's default border width applies even without one).
bool DisplayAnnotation(Annot *annotation, void *)
{
    return annotation->getType() != Annot::typeLink;
}

// Renders the page onto the handle's device at the handle's zoom, links
// included; the surface captures or paints as CurrentPageObject says.
void RenderPage(EngineHandleRecord &handle, int32_t page)
{
    // The link list holds the links of the page rendered last, whichever
    // form it was rendered in; kept across renders it would mix pages.
    handle.device->links().clear();
    const double dpi = handle.zoom;
    handle.document->displayPage(handle.device.get(), page, dpi, dpi, 0, false, false, false, nullptr, nullptr,
                                 DisplayAnnotation, nullptr);
    handle.document->processLinks(handle.device.get(), page);
    handle.lastRenderedPage = page;
}

float PdfVersion(PDFDoc &document)
{
    return float(document.getPDFMajorVersion() + document.getPDFMinorVersion() / 10.0);
}

// Keeps CurrentPageObject from pointing at a page object that is given up.
class CaptureScope {
public:
    explicit CaptureScope(PageObject *page) : page_(page) { SetCurrentPageObject(page); }
    ~CaptureScope()
    {
        if (!kept_ && CurrentPageObject() == page_)
            SetCurrentPageObject(nullptr);
    }
    void Keep() { kept_ = true; }

private:
    PageObject *page_;
    bool kept_ = false;
};

} // namespace
} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT PageObject *PDF_GetPageObject(EngineHandle handle, int32_t page)
{
    return Guarded<PageObject *>(nullptr, [&]() -> PageObject * {
        if (!IsPageOf(handle, page))
            return nullptr;
        auto pageObject = NewRecord<PageObject>();
        if (!pageObject)
            return nullptr;
        pageObject->zoom = handle->zoom;
        CaptureScope capture(pageObject.get());
        RenderPage(*handle, page);
        pageObject->width = handle->device->getPageWidth();
        pageObject->height = handle->device->getPageHeight();
        pageObject->page = page;
        pageObject->pageCount = handle->document->getNumPages();
        pageObject->pdfVersion = PdfVersion(*handle->document);
        capture.Keep(); // it stays the captured page until destroyed or replaced
        return pageObject.release();
    });
}

extern "C" PDF_EXPORT void PDF_DestroyPageObject(PageObject *pageObject)
{
    if (!pageObject)
        return;
    if (CurrentPageObject() == pageObject)
        SetCurrentPageObject(nullptr);
    RecordDeleter()(pageObject);
}

extern "C" PDF_EXPORT PageBmp PDF_GetPageBmp(EngineHandle handle, int32_t page)
{
    return Guarded<PageBmp>(nullptr, [&]() -> PageBmp {
        if (!IsPageOf(handle, page))
            return nullptr;
        SetCurrentPageObject(nullptr);
        RenderPage(*handle, page);
        return PageSurface().CopyToGlobalMemory();
    });
}

extern "C" PDF_EXPORT void PDF_DestroyPageBmp(PageBmp bitmap) { std::free(bitmap); }
