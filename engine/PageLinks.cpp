// Page links: the links the device gathered while it rendered a page, handed
// out as a C list that outlives the handle.
#include "engine/EngineHandle.h"
#include "surface/PageBlocks.h"

#include <cstdlib>
#include <cstring>

namespace lumora {

namespace {

// A malloc'ed copy of text, so that the list can be freed with free() alone.
char *CopyText(const std::string &text)
{
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The list of the device's links; null when memory runs out.
RecordPtr<HtmLink> CopyLinks(const std::vector<DeviceLink> &links)
{
    auto list = NewRecord<HtmLink>();
    if (!list || links.empty())
        return list;
    list->entries = static_cast<HtmLinkEntry *>(std::calloc(links.size(), sizeof(HtmLinkEntry)));
    if (!list->entries)
        return nullptr;
    for (const DeviceLink &link : links) {
        HtmLinkEntry &entry = list->entries[list->count];
        entry.actionText = CopyText(link.actionText);
        if (!entry.actionText)
            return nullptr; // the entries made so far go with the list
        entry.left = link.left;
        entry.right = link.right;
        entry.top = link.top;
        entry.bottom = link.bottom;
        ++list->count;
    }
    return list;
}

} // namespace
} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT HtmLink *PDF_GetPageHtmLink(EngineHandle handle, int32_t page)
{
    return Guarded<HtmLink *>(nullptr, [&]() -> HtmLink * {
        // Only the page rendered last has its links in the device; before any
        // rendering lastRenderedPage is -1, which is no page number either.
        if (!IsValidHandle(handle) || page < 1 || page != handle->lastRenderedPage || !handle->device)
            return nullptr;
        return CopyLinks(handle->device->links()).release();
    });
}

extern "C" PDF_EXPORT void PDF_DestroyHtmLink(HtmLink *links)
{
    Guarded(0, [&] {
        RecordDeleter()(links);
        return 0;
    });
}
