#pragma once
// The way the converter drives the engine for one document, through the C
// interface alone: open, every page captured with its links and written as
// HTML, and the outline. The fuzzer feeds its inputs through it and the
// tests replay the inputs the fuzzer once failed on.
#include "lumora_engine.h"

#include <cstdint>
#include <string>

namespace lumora::fuzz {

// More pages add little for a fuzzer and cost time per input.
inline constexpr int32_t kWalkedPages = 4;
// A small zoom keeps the page pictures small.
inline constexpr int32_t kWalkZoom = 36;

inline void WalkDocument(const std::string &pdfPath, const std::string &workFolder)
{
    EngineHandle handle = PDF_Open(pdfPath.c_str(), nullptr, nullptr, kWalkZoom);
    if (!handle)
        return;
    const int32_t pages = PDF_GetPageCount(handle);
    const std::string pagePath = workFolder + "/page.htm";
    for (int32_t page = 1; page <= pages && page <= kWalkedPages; ++page) {
        PageObject *object = PDF_GetPageObject(handle, page);
        HtmLink *links = PDF_GetPageHtmLink(handle, page);
        if (object)
            PDF_ConvertToHtmlFile(object, links, pagePath.c_str());
        PDF_DestroyHtmLink(links);
        PDF_DestroyPageObject(object);
    }
    char outline[4096];
    PDF_GetBookmark(handle, outline, sizeof outline);
    PDF_Close(handle);
}

} // namespace lumora::fuzz
