// Page capture and the page files: page objects, page bitmaps, BMP and SVG.
#include "engine/EngineHandle.h"
#include "support/PdfBuilder.h"
#include "support/TestFiles.h"
#include "surface/Dib.h"
#include "surface/FontTestSupport.h"
#include "surface/PageBlocks.h"
#include "surface/SurfaceState.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace lumora {
namespace {

using test::PdfBuilder;
using test::ReadFileBytes;
using test::TempDir;

class PageCapture : public ::testing::Test {
protected:
    EngineHandle Open(PdfBuilder &pdf, int zoom = 72)
    {
        const std::string path = dir.File("page.pdf");
        pdf.Save(path);
        handle = PDF_Open(path.c_str(), nullptr, nullptr, zoom);
        return handle;
    }
    void TearDown() override { PDF_Close(handle); }

    TempDir dir;
    EngineHandle handle = nullptr;
};

TEST_F(PageCapture, PageNumbersOutsideTheDocumentGiveNothing)
{
    PdfBuilder pdf;
    pdf.AddPage(100, 50);
    pdf.AddPage(100, 50);
    ASSERT_TRUE(Open(pdf));
    for (const int page : {0, -1, 3, 1000}) {
        EXPECT_EQ(PDF_GetPageObject(handle, page), nullptr) << page;
        EXPECT_EQ(PDF_GetPageBmp(handle, page), nullptr) << page;
    }
    EXPECT_EQ(handle->lastRenderedPage, -1); // nothing was rendered
}

// The face of the page's first text run.
std::string FirstFace(const PageObject *page)
{
    for (int32_t i = 0; page && i < page->blockCount; ++i)
        if (page->blocks[i]->blockType == 1)
            return page->blocks[i]->text->face;
    return {};
}

TEST_F(PageCapture, AFontTableWrittenBetweenPagesAppliesFromTheNextPage)
{
    test::ModuleDirectoryScope module;
    module.WriteConfigIni("[FontNameMapping]\nFontCount=0\n");
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Foo");
    pdf.AddPage(100, 50, "BT /" + font + " 12 Tf 10 20 Td (A) Tj ET");
    pdf.AddPage(100, 50, "BT /" + font + " 12 Tf 10 20 Td (B) Tj ET");
    ASSERT_TRUE(Open(pdf));
    PageObject *first = PDF_GetPageObject(handle, 1);
    EXPECT_EQ(FirstFace(first), "Arial");
    PDF_DestroyPageObject(first);
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nPdfFontName1=Foo\nOsFontName1=Liberation Mono\n");
    PageObject *second = PDF_GetPageObject(handle, 2);
    EXPECT_EQ(FirstFace(second), "Liberation Mono");
    PDF_DestroyPageObject(second);
}

TEST_F(PageCapture, ABlankPageHasItsSizeAndOnlyTheClipOfThePage)
{
    PdfBuilder pdf;
    pdf.SetVersion("1.6");
    pdf.AddPage(612.4, 791.6); // at 72 dpi the page is as many pixels as points
    ASSERT_TRUE(Open(pdf));
    PageObject *page = PDF_GetPageObject(handle, 1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->width, 612);
    EXPECT_EQ(page->height, 792);
    EXPECT_EQ(page->page, 1);
    EXPECT_EQ(page->pageCount, 1);
    EXPECT_EQ(page->zoom, 72);
    EXPECT_FLOAT_EQ(page->pdfVersion, 1.6f);
    for (int32_t i = 0; i < page->blockCount; ++i)
        EXPECT_EQ(page->blocks[i]->blockType, PAGE_BLOCK_CLIP);
    ASSERT_GE(page->blockCount, 1);
    const ClipBlock &clip = *page->blocks[0]->clip;
    ASSERT_EQ(clip.rectCount, 1u);
    EXPECT_EQ(clip.rects[0].right, 612);
    EXPECT_EQ(clip.rects[0].bottom, 792);
    EXPECT_EQ(CurrentPageObject(), page);
    EXPECT_EQ(handle->lastRenderedPage, 1);
    PDF_DestroyPageObject(page);
    EXPECT_EQ(CurrentPageObject(), nullptr);
}

TEST_F(PageCapture, TheZoomScalesThePage)
{
    PdfBuilder pdf;
    pdf.AddPage(72, 36);
    ASSERT_TRUE(Open(pdf, 200));
    PageObject *page = PDF_GetPageObject(handle, 1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->width, 200);
    EXPECT_EQ(page->height, 100);
    PDF_DestroyPageObject(page);
}

TEST_F(PageCapture, SavesAndRestoresAnnounceTheClipEachTime)
{
    PdfBuilder pdf;
    pdf.AddPage(100, 50);
    pdf.AddPage(100, 50, "q q Q Q");
    ASSERT_TRUE(Open(pdf));
    PageObject *blank = PDF_GetPageObject(handle, 1);
    ASSERT_NE(blank, nullptr);
    const int32_t ownAnnouncements = blank->blockCount; // the page start's, and the library's own saves
    PDF_DestroyPageObject(blank);
    PageObject *page = PDF_GetPageObject(handle, 2);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->blockCount, ownAnnouncements + 4); // one per save and restore
    for (int32_t i = 0; i < page->blockCount; ++i) {
        ASSERT_EQ(page->blocks[i]->blockType, PAGE_BLOCK_CLIP);
        ASSERT_EQ(page->blocks[i]->clip->rectCount, 1u);
        EXPECT_EQ(page->blocks[i]->clip->rects[0].right, 100);
    }
    PDF_DestroyPageObject(page);
}

TEST_F(PageCapture, ThePageBitmapIsAPackedDibOfThePage)
{
    PdfBuilder pdf;
    pdf.AddPage(101, 10);
    ASSERT_TRUE(Open(pdf));
    PageBmp bitmap = PDF_GetPageBmp(handle, 1);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(CurrentPageObject(), nullptr);
    const auto &header = *static_cast<const BitmapInfoHeader *>(bitmap);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 101);
    EXPECT_EQ(header.biHeight, 10);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 3040u);

    // The BMP file of a real page, byte for byte: file header, info header,
    // ten white rows of 303 bytes and one byte of padding each.
    const std::string path = dir.File("page.bmp");
    ASSERT_EQ(PDF_WriteToBMPFile(bitmap, path.c_str()), 1);
    std::string expected(14, '\0');
    const BitmapFileHeader fileHeader{kBmpSignature, 3094, 0, 0, 54};
    std::memcpy(expected.data(), &fileHeader, 14);
    expected.append(static_cast<const char *>(bitmap), 40);
    for (int row = 0; row < 10; ++row)
        expected += std::string(303, '\xFF') + std::string(1, '\0');
    EXPECT_EQ(ReadFileBytes(path), expected);
    PDF_DestroyPageBmp(bitmap);
}

TEST_F(PageCapture, AFilledPathShowsInThePageBitmap)
{
    PdfBuilder pdf;
    pdf.AddPage(40, 20, "1 0 0 rg 10 5 20 10 re f");
    ASSERT_TRUE(Open(pdf));
    PageBmp bitmap = PDF_GetPageBmp(handle, 1);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(PageSurface().PixelAt(20, 10), 0x000000FFu);
    EXPECT_EQ(PageSurface().PixelAt(2, 2), kWhite);
    PDF_DestroyPageBmp(bitmap);
}

TEST_F(PageCapture, APageObjectOutlivesItsDocument)
{
    PdfBuilder pdf;
    pdf.AddPage(100, 50);
    ASSERT_TRUE(Open(pdf));
    PageObject *page = PDF_GetPageObject(handle, 1);
    PDF_Close(handle);
    handle = nullptr;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->width, 100);
    EXPECT_EQ(PDF_WriteToSVGFile(page, dir.File("late.svg").c_str()), 1);
    PDF_DestroyPageObject(page);
    PDF_DestroyPageObject(nullptr);
    PDF_DestroyPageBmp(nullptr);
}

// ---- BMP files from packed bitmaps the caller made

struct FreeDeleter {
    void operator()(void *block) const { std::free(block); }
};

std::unique_ptr<uint8_t, FreeDeleter> MakeDib(uint32_t headerSize, int32_t width, int32_t height, uint16_t bitCount,
                                              size_t tableBytes)
{
    const size_t size = 40 + tableBytes + *DibImageSize(width, height, bitCount);
    std::unique_ptr<uint8_t, FreeDeleter> block(static_cast<uint8_t *>(std::calloc(1, size)));
    auto *header = reinterpret_cast<BitmapInfoHeader *>(block.get());
    header->biSize = headerSize;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = bitCount;
    header->biSizeImage = 12345; // recomputed by the writer
    return block;
}

TEST(BmpFiles, AnEightBitBitmapGetsAFullColourTable)
{
    TempDir dir;
    auto dib = MakeDib(40, 3, 2, 8, 1024);
    const std::string path = dir.File("eight.bmp");
    ASSERT_EQ(PDF_WriteToBMPFile(dib.get(), path.c_str()), 1);
    const std::string bytes = ReadFileBytes(path);
    BitmapFileHeader fileHeader;
    std::memcpy(&fileHeader, bytes.data(), sizeof fileHeader);
    EXPECT_EQ(fileHeader.bfOffBits, 14u + 40u + 1024u);
    EXPECT_EQ(fileHeader.bfSize, 14u + 40u + 1024u + 8u);
    EXPECT_EQ(bytes.size(), fileHeader.bfSize);
    EXPECT_EQ(reinterpret_cast<BitmapInfoHeader *>(dib.get())->biSizeImage, 8u);
}

TEST(BmpFiles, RefusesWhatItCannotWrite)
{
    TempDir dir;
    auto core = MakeDib(12, 3, 2, 24, 0);
    const std::string path = dir.File("core.bmp");
    EXPECT_EQ(PDF_WriteToBMPFile(core.get(), path.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(path));

    auto dib = MakeDib(40, 3, 2, 24, 0);
    EXPECT_EQ(PDF_WriteToBMPFile(nullptr, path.c_str()), 0);
    EXPECT_EQ(PDF_WriteToBMPFile(dib.get(), nullptr), 0);
    EXPECT_EQ(PDF_WriteToBMPFile(dib.get(), ""), 0);
    EXPECT_EQ(PDF_WriteToBMPFile(dib.get(), dir.File("no/such/folder.bmp").c_str()), 0);
    EXPECT_EQ(PDF_WriteToBMPFile(dib.get(), "/dev/full"), 0); // a full disk
}

// ---- SVG files

class SvgFiles : public ::testing::Test {
protected:
    void AddText(const std::u16string &text, int32_t x, int32_t y, int32_t size, uint32_t colour)
    {
        auto block = NewRecord<TextBlock>();
        block->x = x;
        block->y = y;
        block->count = int32_t(text.size());
        block->text = static_cast<uint8_t *>(std::calloc(1, text.size() * 2 + 1));
        for (size_t i = 0; i < text.size(); ++i) {
            block->text[2 * i] = uint8_t(text[i]);
            block->text[2 * i + 1] = uint8_t(text[i] >> 8);
        }
        block->face = strdup("Arial");
        block->size = size;
        block->colour = colour;
        AppendBlock(*page, std::move(block));
    }
    std::string Written()
    {
        const std::string path = dir.File("page.svg");
        EXPECT_EQ(PDF_WriteToSVGFile(page.get(), path.c_str()), 1);
        return ReadFileBytes(path);
    }
    static constexpr const char *kPrologue =
        "<?xml version=\"1.0\" standalone=\"no\"?>\n"
        "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 20000303 Stylable//EN\"\n"
        "\t\"http://www.w3.org/TR/2001/REC-SVG-20010904/DTD/svg10.dtd\">\n"
        "<svg>\n";

    TempDir dir;
    RecordPtr<PageObject> page = NewRecord<PageObject>();
};

TEST_F(SvgFiles, WritesLinesPolygonsAndTextInBlockOrder)
{
    auto line = NewRecord<LineBlock>();
    *line = LineBlock{1, 2, 30, 40, 3, 0x00FF8000, 0};
    AppendBlock(*page, std::move(line));
    auto polygon = NewRecord<PolygonBlock>();
    polygon->pointCount = 3;
    polygon->points = static_cast<PagePoint *>(std::malloc(3 * sizeof(PagePoint)));
    polygon->points[0] = {0, 0};
    polygon->points[1] = {10, 0};
    polygon->points[2] = {5, -8};
    polygon->colour = 0x000000FF;
    AppendBlock(*page, std::move(polygon));
    AddText(u"A<b>&c", 7, 9, 12, 0x00123456);
    AppendBlock(*page, RecordPtr<ClipBlock>()); // skipped

    EXPECT_EQ(Written(), std::string(kPrologue) +
                             "<line x1=\"1\" y1=\"2\" x2=\"30\" y2=\"40\" stroke-width=\"3\" stroke=\"#0080ff\"/>\n"
                             "<polygon fill=\"#ff0000\" points=\"0,0 10,0 5,-8\" />\n"
                             "<text x=\"7\" y=\"9\" font-family=\"\xE5\xAE\x8B\xE4\xBD\x93\" font-size=\"12\" "
                             "fill=\"#563412\" >A&lt;b&gt;&amp;c</text>\n"
                             "\n</svg>");
}

TEST_F(SvgFiles, TextIsWrittenAsUtf8AndEmptyConversionsAreLeftOut)
{
    AddText(u"\u00e9\u4e2d", 1, 1, 10, 0);
    AddText(std::u16string(1, char16_t(0xD800)), 1, 1, 10, 0); // an unpaired surrogate becomes '.'
    const std::string svg = Written();
    EXPECT_NE(svg.find(">\xC3\xA9\xE4\xB8\xAD</text>"), std::string::npos);
    EXPECT_NE(svg.find(">.</text>"), std::string::npos);
}

TEST_F(SvgFiles, APageWithoutDrawingsHasOnlyTheFrame)
{
    EXPECT_EQ(Written(), std::string(kPrologue) + "\n</svg>");
}

TEST_F(SvgFiles, RefusesWhatItCannotWrite)
{
    EXPECT_EQ(PDF_WriteToSVGFile(nullptr, dir.File("x.svg").c_str()), 0);
    EXPECT_EQ(PDF_WriteToSVGFile(page.get(), nullptr), 0);
    EXPECT_EQ(PDF_WriteToSVGFile(page.get(), ""), 0);
    EXPECT_EQ(PDF_WriteToSVGFile(page.get(), dir.File("no/such/x.svg").c_str()), 0);
    EXPECT_EQ(PDF_WriteToSVGFile(page.get(), "/dev/full"), 0);
}

} // namespace
} // namespace lumora
