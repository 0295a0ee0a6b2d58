#pragma once
// The page object and its block records. They are plain C records handed out
// through the engine interface, so they live in malloc'ed memory; inside the
// engine they are held by RecordPtr until a page object owns them.
#include "lumora_engine.h"

#include <cstddef>
#include <memory>

namespace lumora {

static_assert(sizeof(TextBlock) == 64);
static_assert(offsetof(ImageBlock, colourTable) == 40);
static_assert(offsetof(ImageBlock, x) == 1064);
static_assert(sizeof(LineBlock) == 28);
static_assert(sizeof(PagePoint) == 8);
static_assert(sizeof(RegionRect) == 16);
static_assert(offsetof(ClipBlock, bounds) == 16);
static_assert(offsetof(ClipBlock, rects) == 32);
static_assert(sizeof(ClipBlock) == 32);
static_assert(offsetof(PageObject, pdfVersion) == 20);

// Frees a record together with everything it points to.
struct RecordDeleter {
    void operator()(TextBlock *text) const;
    void operator()(ImageBlock *image) const;
    void operator()(LineBlock *line) const;
    void operator()(PolygonBlock *polygon) const;
    void operator()(ClipBlock *clip) const;
    void operator()(PageObject *page) const;
    void operator()(HtmLink *links) const;
};
template <class Record> using RecordPtr = std::unique_ptr<Record, RecordDeleter>;

// A zeroed record, or null when memory runs out.
template <class Record> RecordPtr<Record> NewRecord()
{
    return RecordPtr<Record>(static_cast<Record *>(std::calloc(1, sizeof(Record))));
}

// Releases what a text block points to, leaving the record itself (a text
// block is also embedded in an image block).
void ReleaseTextBlockContents(TextBlock &text);

// Releases a block's payload and turns the block into an emptied one.
void ReleaseBlockPayload(PageBlock &block);

// True once the page object holds as many blocks as a page may have.
bool BlockLimitReached(const PageObject &page);

// Appends a block owning the payload. False (and the payload is freed) when
// the block limit is reached or memory runs out.
bool AppendBlock(PageObject &page, RecordPtr<TextBlock> text);
bool AppendBlock(PageObject &page, RecordPtr<ImageBlock> image);
bool AppendBlock(PageObject &page, RecordPtr<LineBlock> line);
bool AppendBlock(PageObject &page, RecordPtr<PolygonBlock> polygon);
// A null clip records "clipping off from here on".
bool AppendBlock(PageObject &page, RecordPtr<ClipBlock> clip);

// Copies a text block and what it points to; false when memory runs out.
bool CopyTextBlock(const TextBlock &source, TextBlock &target);

} // namespace lumora
