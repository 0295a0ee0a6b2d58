// The primitives in both modes: what they record while a page object is
// captured, and what they paint otherwise.
#include "surface/Dib.h"
#include "surface/PageBlocks.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace lumora {
namespace {

constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kBlue = 0x00FF0000;

class Primitives : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(surface().Create(40, 30, 24));
        surface().FillRect(kWhite);
    }
    void TearDown() override
    {
        SetCurrentPageObject(nullptr);
        surface().SetClipRegion(nullptr);
    }
    static DrawSurface &surface() { return PageSurface(); }
    void Capture() { SetCurrentPageObject(page.get()); }
    void Paint() { SetCurrentPageObject(nullptr); }
    bool PaintedAnything() const
    {
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                if (surface().PixelAt(x, y) != kWhite)
                    return true;
        return false;
    }

    RecordPtr<PageObject> page = NewRecord<PageObject>();
    const std::vector<PagePoint> square{{5, 5}, {15, 5}, {15, 15}, {5, 15}};
    const uint8_t onePixelMask[4] = {0x80, 0, 0, 0};
};

TEST_F(Primitives, RecordLinesWithTheirPenAndStyle)
{
    Capture();
    surface().DrawLines(1, 2, 30, 4, 3, kRed, LINE_STYLE_DASHED);
    ASSERT_EQ(page->blockCount, 1);
    ASSERT_EQ(page->blocks[0]->blockType, PAGE_BLOCK_LINE);
    const LineBlock &line = *page->blocks[0]->line;
    EXPECT_EQ(line.x1, 1);
    EXPECT_EQ(line.y1, 2);
    EXPECT_EQ(line.x2, 30);
    EXPECT_EQ(line.y2, 4);
    EXPECT_EQ(line.width, 3);
    EXPECT_EQ(line.colour, kRed);
    EXPECT_EQ(line.style, uint32_t(LINE_STYLE_DASHED));
    EXPECT_FALSE(PaintedAnything());
}

TEST_F(Primitives, PaintFlatEndedLinesOnTheirRows)
{
    surface().DrawLines(10, 10, 20, 10, 1, kRed, LINE_STYLE_SOLID);
    EXPECT_EQ(surface().PixelAt(10, 10), kRed);
    EXPECT_EQ(surface().PixelAt(19, 10), kRed);
    EXPECT_EQ(surface().PixelAt(21, 10), kWhite); // flat end
    EXPECT_EQ(surface().PixelAt(15, 9), kWhite);
    EXPECT_EQ(surface().PixelAt(15, 11), kWhite);
    EXPECT_EQ(page->blockCount, 0);
}

TEST_F(Primitives, PaintDashedLinesWithGaps)
{
    surface().DrawLines(0, 20, 40, 20, 2, kBlue, LINE_STYLE_DASHED);
    int painted = 0;
    for (int x = 0; x < 40; ++x)
        painted += surface().PixelAt(x, 20) == kBlue;
    EXPECT_GT(painted, 20);
    EXPECT_LT(painted, 40);
}

TEST_F(Primitives, RecordPolygonsWithTheirPointsAndFillMode)
{
    Capture();
    surface().FillPolygon(square.data(), 4, 0, FILL_MODE_WINDING, 1, kBlue);
    ASSERT_EQ(page->blockCount, 1);
    const PolygonBlock &polygon = *page->blocks[0]->polygon;
    ASSERT_EQ(polygon.pointCount, 4);
    EXPECT_EQ(polygon.points[2].x, 15);
    EXPECT_EQ(polygon.points[2].y, 15);
    EXPECT_EQ(polygon.fillMode, FILL_MODE_WINDING);
    EXPECT_EQ(polygon.shape, 0);
    EXPECT_EQ(polygon.reserved, 0u);
    EXPECT_EQ(polygon.colour, kBlue);
    EXPECT_EQ(polygon.width, 1);
}

TEST_F(Primitives, ThePaintOnlyColourIsPaintedButNeverRecorded)
{
    constexpr uint32_t kPaintOnly = 0x00FF0101;
    Capture();
    surface().FillPolygon(square.data(), 4, 0, FILL_MODE_EVEN_ODD, 1, kPaintOnly);
    EXPECT_EQ(page->blockCount, 0);
    surface().FillPolygon(square.data(), 4, 0, FILL_MODE_EVEN_ODD, 1, 0x00FE0101);
    EXPECT_EQ(page->blockCount, 1);
    Paint();
    surface().FillPolygon(square.data(), 4, 0, FILL_MODE_EVEN_ODD, 1, kPaintOnly);
    EXPECT_EQ(surface().PixelAt(10, 10), kPaintOnly);
}

TEST_F(Primitives, PolygonsWithoutPointsDoNothingInEitherMode)
{
    for (const bool capturing : {true, false}) {
        SetCurrentPageObject(capturing ? page.get() : nullptr);
        surface().FillPolygon(nullptr, 4, 0, FILL_MODE_WINDING, 1, kRed);
        surface().FillPolygon(square.data(), 0, 0, FILL_MODE_WINDING, 1, kRed);
        surface().FillPolygon(square.data(), -3, 0, FILL_MODE_WINDING, 1, kRed);
    }
    EXPECT_EQ(page->blockCount, 0);
    EXPECT_FALSE(PaintedAnything());
}

TEST_F(Primitives, PaintPolygonsByTheirFillRule)
{
    // A square drawn twice in the same direction: the winding rule fills it,
    // the even-odd rule leaves it empty.
    std::vector<PagePoint> twice = square;
    twice.insert(twice.end(), square.begin(), square.end());
    surface().FillPolygon(twice.data(), 8, 0, FILL_MODE_WINDING, 1, kRed);
    EXPECT_EQ(surface().PixelAt(10, 10), kRed);
    surface().FillRect(kWhite);
    surface().FillPolygon(twice.data(), 8, 0, FILL_MODE_EVEN_ODD, 1, kRed);
    EXPECT_EQ(surface().PixelAt(10, 10), kWhite);
}

TEST_F(Primitives, PaintingRespectsTheClipRegion)
{
    RegionPtr left = MakeRectRegion(0, 0, 10, 30);
    surface().SetClipRegion(left.get());
    surface().FillPolygon(square.data(), 4, 0, FILL_MODE_WINDING, 1, kRed);
    surface().SetClipRegion(nullptr);
    EXPECT_EQ(surface().PixelAt(7, 10), kRed);
    EXPECT_EQ(surface().PixelAt(12, 10), kWhite);
}

TEST_F(Primitives, ImageSizesDecideWhetherAnythingHappens)
{
    struct Case {
        int32_t width, height;
        bool happens;
    };
    for (const Case &sizes : {Case{1, 1, false}, Case{1, 5, true}, Case{0, 5, false}, Case{5, 0, false}}) {
        RecordPtr<PageObject> captured = NewRecord<PageObject>();
        SetCurrentPageObject(captured.get());
        surface().DrawImage(1, kRed, 1, 1, onePixelMask, 2, 2, sizes.width, sizes.height, nullptr);
        EXPECT_EQ(captured->blockCount, sizes.happens ? 1 : 0) << sizes.width << "x" << sizes.height;

        Paint();
        surface().FillRect(kWhite);
        surface().DrawImage(1, kRed, 1, 1, onePixelMask, 2, 2, sizes.width, sizes.height, nullptr);
        EXPECT_EQ(PaintedAnything(), sizes.happens) << sizes.width << "x" << sizes.height;
    }
}

TEST_F(Primitives, RecordImagesWithTheirDescriptionAndPixels)
{
    Capture();
    const uint8_t rows[8] = {0x80, 0, 0, 0, 0x40, 0, 0, 0}; // 2 rows of a 2-pixel mask
    surface().DrawImage(1, 0x00336699, 2, 2, rows, 3, 4, 10, 12, nullptr);
    ASSERT_EQ(page->blockCount, 1);
    const ImageBlock &image = *page->blocks[0]->image;
    EXPECT_EQ(image.imageHeader.biSize, 40u);
    EXPECT_EQ(image.imageHeader.biWidth, 2);
    EXPECT_EQ(image.imageHeader.biHeight, 2);
    EXPECT_EQ(image.imageHeader.biBitCount, 1);
    EXPECT_EQ(image.imageHeader.biSizeImage, 0u);
    EXPECT_EQ(image.colourTable[0].red & image.colourTable[0].green & image.colourTable[0].blue, 255);
    EXPECT_EQ(image.colourTable[1].red, 0x99);
    EXPECT_EQ(image.colourTable[1].green, 0x66);
    EXPECT_EQ(image.colourTable[1].blue, 0x33);
    EXPECT_EQ(image.colourTable[2].red | image.colourTable[255].blue, 0);
    EXPECT_EQ(image.x, 3);
    EXPECT_EQ(image.y, 4);
    EXPECT_EQ(image.destWidth, 10);
    EXPECT_EQ(image.destHeight, 12);
    EXPECT_EQ(0, std::memcmp(image.pixels, rows, 8));
    EXPECT_EQ(image.hasAttachedText, 0);
}

TEST_F(Primitives, AMaskPaintsItsColourWhereItsBitsAreSetAndNothingElse)
{
    surface().FillRect(kBlue);
    // Bottom-up rows: the first stored row is the bottom one.
    const uint8_t rows[8] = {0x80, 0, 0, 0, 0x40, 0, 0, 0};
    surface().DrawImage(1, kRed, 2, 2, rows, 0, 0, 20, 20, nullptr);
    EXPECT_EQ(surface().PixelAt(5, 15), kRed);   // bottom-left bit
    EXPECT_EQ(surface().PixelAt(15, 5), kRed);   // top-right bit
    EXPECT_EQ(surface().PixelAt(5, 5), kBlue);   // clear bits leave the page
    EXPECT_EQ(surface().PixelAt(15, 15), kBlue);
}

TEST_F(Primitives, AColourImageIsStretchedIntoItsRectangle)
{
    // One 32-bit pixel, blue green red zero.
    const uint8_t pixel[4] = {0x10, 0x20, 0x30, 0};
    surface().DrawImage(32, 0, 1, 1, pixel, 30, 20, 100, 100, nullptr); // mostly off the page
    EXPECT_EQ(surface().PixelAt(35, 25), ColourFromBytes(0x30, 0x20, 0x10));
    EXPECT_EQ(surface().PixelAt(29, 25), kWhite);
}

TEST_F(Primitives, ClipChangesAreRecordedAsRegionData)
{
    Capture();
    RegionPtr region = MakeRectRegion(0, 0, 10, 5);
    const cairo_rectangle_int_t second{20, 10, 5, 5};
    cairo_region_union_rectangle(region.get(), &second);
    surface().ChangeClipRegion(region.get());
    surface().ChangeClipRegion(nullptr);
    ASSERT_EQ(page->blockCount, 2);
    const ClipBlock &clip = *page->blocks[0]->clip;
    EXPECT_EQ(clip.headerSize, 32u);
    EXPECT_EQ(clip.kind, 1u);
    ASSERT_EQ(clip.rectCount, 2u);
    EXPECT_EQ(clip.rectBytes, 32u);
    EXPECT_EQ(clip.bounds.left, 0);
    EXPECT_EQ(clip.bounds.top, 0);
    EXPECT_EQ(clip.bounds.right, 25);
    EXPECT_EQ(clip.bounds.bottom, 15);
    EXPECT_EQ(clip.rects[1].left, 20);
    EXPECT_EQ(clip.rects[1].bottom, 15);
    EXPECT_EQ(page->blocks[1]->blockType, PAGE_BLOCK_CLIP);
    EXPECT_EQ(page->blocks[1]->clip, nullptr); // clipping off from here on

    RegionPtr replayed = RegionFromClipBlock(clip);
    EXPECT_TRUE(cairo_region_equal(replayed.get(), region.get()));
}

TEST_F(Primitives, ClipChangesPaintNothing)
{
    RegionPtr region = MakeRectRegion(0, 0, 10, 5);
    surface().ChangeClipRegion(region.get());
    surface().ChangeClipRegion(nullptr);
    EXPECT_FALSE(PaintedAnything());
}

TEST_F(Primitives, TheBlockLimitStopsEveryKindOfPrimitive)
{
    Capture();
    for (int i = 0; i < PAGE_BLOCK_LIMIT - 1; ++i)
        surface().DrawLines(0, 0, 1, 1, 1, kRed, 0);
    ASSERT_EQ(page->blockCount, PAGE_BLOCK_LIMIT - 1);
    RegionPtr region = MakeRectRegion(0, 0, 10, 5);
    const std::vector<std::function<void()>> primitives = {
        [&] { surface().DrawLines(0, 0, 1, 1, 1, kRed, 0); },
        [&] { surface().FillPolygon(square.data(), 4, 0, FILL_MODE_WINDING, 1, kRed); },
        [&] { surface().DrawImage(1, kRed, 1, 1, onePixelMask, 0, 0, 4, 4, nullptr); },
        [&] { surface().ChangeClipRegion(region.get()); },
        [&] { surface().ChangeClipRegion(nullptr); },
    };
    primitives[1]();
    EXPECT_EQ(page->blockCount, PAGE_BLOCK_LIMIT); // the last one still fits
    for (const auto &primitive : primitives) {
        primitive();
        EXPECT_EQ(page->blockCount, PAGE_BLOCK_LIMIT);
    }
}

} // namespace
} // namespace lumora
