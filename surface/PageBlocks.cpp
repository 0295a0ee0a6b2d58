#include "surface/PageBlocks.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace lumora {

void ReleaseTextBlockContents(TextBlock &text)
{
    std::free(text.text);
    std::free(text.face);
    text.text = nullptr;
    text.face = nullptr;
}

void RecordDeleter::operator()(TextBlock *text) const
{
    if (!text)
        return;
    ReleaseTextBlockContents(*text);
    std::free(text);
}

void RecordDeleter::operator()(ImageBlock *image) const
{
    if (!image)
        return;
    std::free(image->pixels);
    ReleaseTextBlockContents(image->attachedText);
    std::free(image);
}

void RecordDeleter::operator()(LineBlock *line) const { std::free(line); }

void RecordDeleter::operator()(PolygonBlock *polygon) const
{
    if (!polygon)
        return;
    std::free(polygon->points);
    std::free(polygon);
}

void RecordDeleter::operator()(ClipBlock *clip) const { std::free(clip); }

void RecordDeleter::operator()(PageObject *page) const
{
    if (!page)
        return;
    for (int32_t i = 0; i < page->blockCount; ++i) {
        if (PageBlock *block = page->blocks[i]) {
            ReleaseBlockPayload(*block);
            std::free(block);
        }
    }
    std::free(page->blocks);
    std::free(page);
}

void RecordDeleter::operator()(HtmLink *links) const
{
    if (!links)
        return;
    for (int32_t i = 0; i < links->count; ++i)
        std::free(links->entries[i].actionText);
    std::free(links->entries);
    std::free(links);
}

void ReleaseBlockPayload(PageBlock &block)
{
    const RecordDeleter release;
    switch (block.blockType) {
    case PAGE_BLOCK_TEXT: release(block.text); break;
    case PAGE_BLOCK_IMAGE: release(block.image); break;
    case PAGE_BLOCK_LINE: release(block.line); break;
    case PAGE_BLOCK_POLYGON: release(block.polygon); break;
    case PAGE_BLOCK_CLIP: release(block.clip); break;
    default: break;
    }
    block = PageBlock{};
}

bool BlockLimitReached(const PageObject &page) { return page.blockCount >= PAGE_BLOCK_LIMIT; }

namespace {

// The block array grows in powers of two, so its capacity follows from the
// count and need not be stored in the C record.
size_t CapacityFor(int32_t count)
{
    return count <= 16 ? 16 : std::bit_ceil(static_cast<size_t>(count));
}

PageBlock *NewBlockSlot(PageObject &page, int32_t blockType)
{
    if (BlockLimitReached(page))
        return nullptr;
    const int32_t count = page.blockCount;
    if (!page.blocks || (count >= 16 && CapacityFor(count) == size_t(count))) {
        const size_t capacity = page.blocks ? CapacityFor(count + 1) : CapacityFor(0);
        auto *grown = static_cast<PageBlock **>(std::realloc(page.blocks, capacity * sizeof(PageBlock *)));
        if (!grown)
            return nullptr;
        page.blocks = grown;
    }
    auto *block = static_cast<PageBlock *>(std::calloc(1, sizeof(PageBlock)));
    if (!block)
        return nullptr;
    block->blockType = blockType;
    page.blocks[page.blockCount++] = block;
    return block;
}

template <class Record> bool AppendWith(PageObject &page, int32_t type, RecordPtr<Record> payload,
                                        Record *PageBlock::*slot, bool payloadRequired = true)
{
    if (payloadRequired && !payload)
        return false;
    PageBlock *block = NewBlockSlot(page, type);
    if (!block)
        return false;
    block->*slot = payload.release();
    return true;
}

} // namespace

bool AppendBlock(PageObject &page, RecordPtr<TextBlock> text)
{
    return AppendWith(page, PAGE_BLOCK_TEXT, std::move(text), &PageBlock::text);
}
bool AppendBlock(PageObject &page, RecordPtr<ImageBlock> image)
{
    return AppendWith(page, PAGE_BLOCK_IMAGE, std::move(image), &PageBlock::image);
}
bool AppendBlock(PageObject &page, RecordPtr<LineBlock> line)
{
    return AppendWith(page, PAGE_BLOCK_LINE, std::move(line), &PageBlock::line);
}
bool AppendBlock(PageObject &page, RecordPtr<PolygonBlock> polygon)
{
    return AppendWith(page, PAGE_BLOCK_POLYGON, std::move(polygon), &PageBlock::polygon);
}
bool AppendBlock(PageObject &page, RecordPtr<ClipBlock> clip)
{
    return AppendWith(page, PAGE_BLOCK_CLIP, std::move(clip), &PageBlock::clip, false);
}

bool CopyTextBlock(const TextBlock &source, TextBlock &target)
{
    TextBlock copy = source;
    copy.text = nullptr;
    copy.face = nullptr;
    if (source.text && source.count > 0) {
        const size_t bytes = size_t(source.count) * 2 + 1;
        copy.text = static_cast<uint8_t *>(std::malloc(bytes));
        if (!copy.text)
            return false;
        std::memcpy(copy.text, source.text, bytes);
    }
    if (source.face && !(copy.face = strdup(source.face))) {
        std::free(copy.text);
        return false;
    }
    target = copy;
    return true;
}

} // namespace lumora
