// Feeds bytes as a PDF through the engine interface the way the converter
// uses it: open, every page captured with its links and written as HTML,
// and the outline.
#include "lumora_engine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string WorkFolder()
{
    static const std::string folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern.data()) ? pattern : "/tmp");
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string pdf = WorkFolder() + "/input.pdf";
    if (std::FILE *file = std::fopen(pdf.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    EngineHandle handle = PDF_Open(pdf.c_str(), nullptr, nullptr, 36);
    if (!handle)
        return 0;
    const int32_t pages = PDF_GetPageCount(handle);
    for (int32_t page = 1; page <= pages && page <= 4; ++page) {
        PageObject *object = PDF_GetPageObject(handle, page);
        HtmLink *links = PDF_GetPageHtmLink(handle, page);
        if (object)
            PDF_ConvertToHtmlFile(object, links, (WorkFolder() + "/page.htm").c_str());
        PDF_DestroyHtmLink(links);
        PDF_DestroyPageObject(object);
    }
    char outline[4096];
    PDF_GetBookmark(handle, outline, sizeof outline);
    PDF_Close(handle);
    return 0;
}
