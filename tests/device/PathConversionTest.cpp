// Paths through the whole rendering path: a PDF page's strokes, fills and
// clips as the captured page's line, polygon and clip blocks, and as pixels
// of the page bitmap.
#include "device/WinOutputDev.h"
#include "support/PdfBuilder.h"
#include "surface/Dib.h"
#include "surface/PageBlocks.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <gtest/gtest.h>

#include <GfxState.h>
#include <PDFDoc.h> // PDFRectangle

#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::PdfBuilder;
using test::TempDir;

struct PageObjectDeleter {
    void operator()(PageObject *page) const { PDF_DestroyPageObject(page); }
};
using PageObjectPtr = std::unique_ptr<PageObject, PageObjectDeleter>;

struct Line {
    int32_t x1, y1, x2, y2, width;
    uint32_t colour, style;
    bool operator==(const Line &) const = default;
};

void PrintTo(const Line &line, std::ostream *out)
{
    *out << "(" << line.x1 << "," << line.y1 << ")-(" << line.x2 << "," << line.y2 << ") w" << line.width
         << " c" << std::hex << line.colour << std::dec << " s" << line.style;
}

std::vector<Line> Lines(const PageObject &page)
{
    std::vector<Line> lines;
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (const PageBlock &block = *page.blocks[i]; block.blockType == PAGE_BLOCK_LINE) {
            const LineBlock &l = *block.line;
            lines.push_back({l.x1, l.y1, l.x2, l.y2, l.width, l.colour, l.style});
        }
    return lines;
}

std::vector<const PolygonBlock *> Polygons(const PageObject &page)
{
    std::vector<const PolygonBlock *> polygons;
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (page.blocks[i]->blockType == PAGE_BLOCK_POLYGON)
            polygons.push_back(page.blocks[i]->polygon);
    return polygons;
}

std::vector<const ClipBlock *> Clips(const PageObject &page)
{
    std::vector<const ClipBlock *> clips;
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (page.blocks[i]->blockType == PAGE_BLOCK_CLIP)
            clips.push_back(page.blocks[i]->clip);
    return clips;
}

// A 200 x 200 point page at 72 dpi: device x is user x, device y is 200 - user y.
class PathConversion : public ::testing::Test {
protected:
    void TearDown() override { PDF_Close(handle_); }

    EngineHandle Open(const std::string &content, double width = 200, double height = 200)
    {
        PdfBuilder pdf;
        pdf.AddPage(width, height, content);
        const std::string path = dir_.File("paths.pdf");
        pdf.Save(path);
        PDF_Close(handle_);
        handle_ = PDF_Open(path.c_str(), nullptr, nullptr, 72);
        return handle_;
    }

    PageObjectPtr Capture(const std::string &content, double width = 200, double height = 200)
    {
        if (!Open(content, width, height))
            return nullptr;
        return PageObjectPtr(PDF_GetPageObject(handle_, 1));
    }

    TempDir dir_;
    EngineHandle handle_ = nullptr;
};

// ---- Strokes

TEST_F(PathConversion, AStrokeOfNPointsGivesNMinusOneLines)
{
    const auto page = Capture("1 0 0 RG 2 w 10 190 m 60 190 l 60 140 l 10 140 l S");
    ASSERT_TRUE(page);
    EXPECT_EQ(Lines(*page), (std::vector<Line>{{10, 10, 60, 10, 2, 0x0000FF, 0},
                                               {60, 10, 60, 60, 2, 0x0000FF, 0},
                                               {60, 60, 10, 60, 2, 0x0000FF, 0}}));
    EXPECT_TRUE(Polygons(*page).empty());
}

TEST_F(PathConversion, StrokeWidthIsTheDeviceWidthRoundedAndDashingIsAFlag)
{
    struct Case {
        const char *state;
        int32_t width;
        uint32_t style;
    };
    const Case cases[] = {
        {"0.3 w", 1, LINE_STYLE_SOLID},
        {"1.5 w", 2, LINE_STYLE_SOLID},
        {"0 w", 1, LINE_STYLE_SOLID},
        {"2 0 0 2 0 0 cm 1.5 w", 3, LINE_STYLE_SOLID}, // the width goes through the CTM
        {"[4 2] 0 d 3 w", 3, LINE_STYLE_DASHED},
        {"[4 2] 1 d [] 0 d", 1, LINE_STYLE_SOLID},
        {"2 J 2 j 9 M 4 w", 4, LINE_STYLE_SOLID}, // caps, joins and miters play no part
    };
    for (const Case &c : cases) {
        const auto page = Capture(std::string(c.state) + " 10 10 m 50 10 l S");
        ASSERT_TRUE(page) << c.state;
        const auto lines = Lines(*page);
        ASSERT_EQ(lines.size(), 1u) << c.state;
        EXPECT_EQ(lines[0].width, c.width) << c.state;
        EXPECT_EQ(lines[0].style, c.style) << c.state;
    }
}

TEST_F(PathConversion, SeparateSubpathsAreNotConnectedAndLonePointsDrawNothing)
{
    const auto page = Capture("10 10 m 20 10 l 100 100 m 100 120 l 150 150 m S");
    ASSERT_TRUE(page);
    EXPECT_EQ(Lines(*page), (std::vector<Line>{{10, 190, 20, 190, 1, 0, 0}, {100, 100, 100, 80, 1, 0, 0}}));
}

TEST_F(PathConversion, CurvesFlattenIntoSegments)
{
    struct Case {
        const char *content;
        size_t segments;
    };
    const Case cases[] = {
        // Straight, but its controls are far from the chord's middle.
        {"0 100 m 100 100 200 100 300 100 c S", 64},
        // Controls within a pixel of the chord's middle.
        {"0 100 m 150 100.5 150 99.5 300 100 c S", 1},
        // A plain line after the curve continues from the curve's end.
        {"0 100 m 150 100.5 150 99.5 300 100 c 300 10 l S", 2},
        // A bend that the default flatness splits and a flatness of 100 does not.
        {"0 100 m 0 120 30 120 30 100 c S", 0},
        {"100 i 0 100 m 0 120 30 120 30 100 c S", 1},
    };
    for (const Case &c : cases) {
        const auto page = Capture(c.content, 400, 200);
        ASSERT_TRUE(page) << c.content;
        const auto lines = Lines(*page);
        if (c.segments == 0)
            EXPECT_GT(lines.size(), 1u) << c.content;
        else
            EXPECT_EQ(lines.size(), c.segments) << c.content;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().x1, 0) << c.content;
        for (size_t i = 1; i < lines.size(); ++i) // one connected chain
            EXPECT_TRUE(lines[i].x1 == lines[i - 1].x2 && lines[i].y1 == lines[i - 1].y2) << c.content;
    }
}

// ---- Fills

TEST_F(PathConversion, AFilledRectangleIsOneClosedPolygonWithItsOutline)
{
    const auto page = Capture("0 0 1 rg 10 10 50 30 re f");
    ASSERT_TRUE(page);
    const auto polygons = Polygons(*page);
    ASSERT_EQ(polygons.size(), 1u);
    const PolygonBlock &polygon = *polygons[0];
    ASSERT_EQ(polygon.pointCount, 5);
    const PagePoint expected[] = {{10, 190}, {60, 190}, {60, 160}, {10, 160}, {10, 190}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(polygon.points[i].x, expected[i].x) << i;
        EXPECT_EQ(polygon.points[i].y, expected[i].y) << i;
    }
    EXPECT_EQ(polygon.fillMode, FILL_MODE_WINDING);
    EXPECT_EQ(polygon.shape, 0);
    EXPECT_EQ(polygon.width, 1);
    EXPECT_EQ(polygon.colour, 0xFF0000u);
    // The outline in the fill colour keeps a thin shape visible.
    EXPECT_EQ(Lines(*page), (std::vector<Line>{{10, 190, 60, 190, 1, 0xFF0000, 0},
                                               {60, 190, 60, 160, 1, 0xFF0000, 0},
                                               {60, 160, 10, 160, 1, 0xFF0000, 0},
                                               {10, 160, 10, 190, 1, 0xFF0000, 0}}));
}

TEST_F(PathConversion, AnOpenSubpathIsClosedForFilling)
{
    const auto page = Capture("10 10 m 50 10 l 50 50 l f*");
    ASSERT_TRUE(page);
    const auto polygons = Polygons(*page);
    ASSERT_EQ(polygons.size(), 1u);
    ASSERT_EQ(polygons[0]->pointCount, 4);
    EXPECT_EQ(polygons[0]->points[3].x, 10);
    EXPECT_EQ(polygons[0]->points[3].y, 190);
    EXPECT_EQ(polygons[0]->fillMode, FILL_MODE_EVEN_ODD);
    EXPECT_EQ(Lines(*page).size(), 3u);
}

TEST_F(PathConversion, ARingIsOneCompoundPolygonWithoutOutline)
{
    for (const auto &[op, mode] : {std::pair{"f*", FILL_MODE_EVEN_ODD}, std::pair{"f", FILL_MODE_WINDING}}) {
        const auto page = Capture(std::string("10 10 100 100 re 30 30 40 40 re ") + op);
        ASSERT_TRUE(page) << op;
        const auto polygons = Polygons(*page);
        ASSERT_EQ(polygons.size(), 1u) << op;
        const PolygonBlock &ring = *polygons[0];
        ASSERT_EQ(ring.pointCount, 11) << op; // 5 + bridge + 5
        EXPECT_EQ(ring.fillMode, mode) << op;
        // Outer square, the bridge back to its first point, the inner square.
        EXPECT_EQ(ring.points[5].x, 10);
        EXPECT_EQ(ring.points[5].y, 190);
        EXPECT_EQ(ring.points[6].x, 30);
        EXPECT_EQ(ring.points[6].y, 170);
        EXPECT_TRUE(Lines(*page).empty()) << op;
    }
}

TEST_F(PathConversion, SubpathsFarApartFillAsSeparatePolygons)
{
    const auto page = Capture("10 10 20 20 re 150 150 20 20 re f");
    ASSERT_TRUE(page);
    const auto polygons = Polygons(*page);
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0]->pointCount, 5);
    EXPECT_EQ(polygons[1]->pointCount, 5);
    EXPECT_EQ(polygons[1]->points[0].x, 150);
    EXPECT_TRUE(Lines(*page).empty());
}

TEST_F(PathConversion, APathOfThousandsOfSubpathsFillsEveryOne)
{
    std::string content;
    for (int i = 0; i < 3000; ++i)
        content += std::to_string(i % 60 * 3) + " " + std::to_string(i / 60 * 3) + " 2 2 re\n";
    const auto page = Capture(content + "f");
    ASSERT_TRUE(page);
    EXPECT_EQ(Polygons(*page).size(), 3000u);
    EXPECT_TRUE(Lines(*page).empty());
}

// ---- Clips

// Whether the region of a clip block holds the pixel.
bool ClipHolds(const ClipBlock &clip, int x, int y)
{
    RegionPtr region = RegionFromClipBlock(clip);
    return cairo_region_contains_point(region.get(), x, y);
}

// The clip in force at the page's first polygon.
const ClipBlock *ClipAtFirstPolygon(const PageObject &page)
{
    const ClipBlock *clip = nullptr;
    for (int32_t i = 0; i < page.blockCount; ++i) {
        if (page.blocks[i]->blockType == PAGE_BLOCK_POLYGON)
            return clip;
        if (page.blocks[i]->blockType == PAGE_BLOCK_CLIP)
            clip = page.blocks[i]->clip;
    }
    return nullptr;
}

TEST_F(PathConversion, AClipNarrowsTheClipBeforeWhatFollows)
{
    struct Case {
        const char *name;
        const char *content;
        std::vector<std::pair<int, int>> inside, outside; // device pixels
    };
    const Case cases[] = {
        {"limited to the page", "-20 -20 60 60 re W n", {{0, 199}, {39, 160}}, {{40, 170}, {10, 159}}},
        {"two rectangles", "10 10 20 20 re 150 150 20 20 re W n", {{15, 185}, {160, 40}}, {{100, 100}}},
        {"a second clip intersects",
         "0 0 100 100 re W n 50 50 100 100 re W n",
         {{75, 125}},
         {{25, 175}, {150, 25}}},
        {"even-odd ring has a hole", "10 10 100 100 re 30 30 40 40 re W* n", {{20, 180}}, {{50, 150}}},
        // Under non-zero winding an inner square drawn the same way is no hole.
        {"winding ring is filled", "10 10 100 100 re 30 30 40 40 re W n", {{20, 180}, {50, 150}}, {}},
        {"a clip cannot widen the clip",
         "0 0 100 100 re W n -50 -50 400 400 re W n",
         {{50, 150}},
         {{150, 50}}},
    };
    for (const Case &c : cases) {
        const auto page = Capture(std::string(c.content) + " 0 0 1 rg 0 0 200 200 re f");
        ASSERT_TRUE(page) << c.name;
        const ClipBlock *clip = ClipAtFirstPolygon(*page);
        ASSERT_NE(clip, nullptr) << c.name;
        for (auto [x, y] : c.inside)
            EXPECT_TRUE(ClipHolds(*clip, x, y)) << c.name << " (" << x << "," << y << ")";
        for (auto [x, y] : c.outside)
            EXPECT_FALSE(ClipHolds(*clip, x, y)) << c.name << " (" << x << "," << y << ")";
        EXPECT_LE(clip->bounds.right, 200) << c.name;
        EXPECT_GE(clip->bounds.left, 0) << c.name;
        // Recording keeps the fill whole: the clip applies when it is replayed.
        ASSERT_EQ(Polygons(*page).size(), 1u) << c.name;
        EXPECT_EQ(Polygons(*page)[0]->points[1].x, 200) << c.name;
    }
}

TEST_F(PathConversion, EachClipIsAnnouncedOnce)
{
    const auto none = Capture("0 0 1 1 re f");
    const auto one = Capture("0 0 100 100 re W n 0 0 1 1 re f");
    const auto two = Capture("0 0 100 100 re W n 50 50 140 140 re W n 0 0 1 1 re f");
    ASSERT_TRUE(none && one && two);
    EXPECT_EQ(Clips(*one).size(), Clips(*none).size() + 1);
    EXPECT_EQ(Clips(*two).size(), Clips(*none).size() + 2);
    const ClipBlock *clip = ClipAtFirstPolygon(*two);
    ASSERT_NE(clip, nullptr);
    ASSERT_EQ(clip->rectCount, 1u);
    const RegionRect &rect = clip->rects[0];
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(rect.top, 100);
    EXPECT_EQ(rect.right, 100);
    EXPECT_EQ(rect.bottom, 150);
}

// ---- Bad input

// Every coordinate of the captured page within twice the page around it.
void ExpectBounded(const PageObject &page, int32_t width, int32_t height)
{
    auto inBand = [&](int32_t x, int32_t y) {
        return x >= -width && x <= 2 * width && y >= -height && y <= 2 * height;
    };
    for (const Line &l : Lines(page))
        EXPECT_TRUE(inBand(l.x1, l.y1) && inBand(l.x2, l.y2)) << ::testing::PrintToString(l);
    for (const PolygonBlock *polygon : Polygons(page))
        for (int32_t i = 0; i < polygon->pointCount; ++i)
            EXPECT_TRUE(inBand(polygon->points[i].x, polygon->points[i].y))
                << polygon->points[i].x << "," << polygon->points[i].y;
    for (const ClipBlock *clip : Clips(page))
        for (uint32_t i = 0; clip && i < clip->rectCount; ++i)
            EXPECT_TRUE(clip->rects[i].left >= 0 && clip->rects[i].right <= width &&
                        clip->rects[i].top >= 0 && clip->rects[i].bottom <= height);
}

TEST_F(PathConversion, HugeCoordinatesAreClampedAroundThePage)
{
    const std::string huge = "1" + std::string(40, '0');
    const std::string cases[] = {
        "10 10 m " + huge + " -" + huge + " l -" + huge + " 5 l S",
        "10 10 m " + huge + " 10 l 10 " + huge + " l f",
        "-" + huge + " -" + huge + " m " + huge + " 0 l 0 " + huge + " l W n 0 0 50 50 re f",
        // Matrices that overflow to infinity, and NaN where it meets a zero.
        huge + " 0 0 " + huge + " 0 0 cm " + huge + " 0 0 " + huge + " 0 0 cm 1 1 m 0 0 l 1 0 l S",
        huge + " 0 0 " + huge + " 0 0 cm " + huge + " 0 0 " + huge + " 0 0 cm 1 1 m 0 1 l 1 0 1 1 0 0 c f",
        "5 5 m 5 5 5 5 5 5 c 5 5 5 5 5 5 c S 5 5 m 5 5 5 5 5 5 c f", // coincident curve points
    };
    for (const std::string &content : cases) {
        const auto page = Capture(content);
        ASSERT_TRUE(page) << content;
        ExpectBounded(*page, 200, 200);
    }
}

// Drives the device directly with a state whose path holds NaN, which a
// content stream cannot write.
TEST(PathConversionState, NanPointsGiveBoundedOutput)
{
    RecordPtr<PageObject> capture = NewRecord<PageObject>();
    ASSERT_TRUE(capture);
    SetCurrentPageObject(capture.get());
    const PDFRectangle box(0, 0, 100, 100);
    GfxState state(72, 72, &box, 0, true);
    WinOutputDev device("unused");
    device.startPage(1, &state, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto nanPath = [&] {
        state.clearPath();
        state.moveTo(nan, 10);
        state.lineTo(10, nan);
        state.lineTo(inf, 20);
        state.curveTo(nan, nan, inf, -inf, 50, nan);
        state.closePath();
    };
    nanPath();
    device.stroke(&state);
    nanPath();
    device.fill(&state);
    nanPath();
    device.eoClip(&state);
    SetCurrentPageObject(nullptr);

    ExpectBounded(*capture, 100, 100);
    // The stroke and the fill's outline: four lines and a curve of at most 64 segments each.
    EXPECT_LE(Lines(*capture).size(), 2 * (4u + 64));
    EXPECT_EQ(Polygons(*capture).size(), 1u);
}

// ---- Painting mode

// Colour 0x00BBGGRR of pixel (x, y), counted from the top, of a 24-bit page bitmap.
uint32_t BitmapPixel(PageBmp bitmap, int x, int y)
{
    const auto &header = *static_cast<const BitmapInfoHeader *>(bitmap);
    const uint32_t stride = *DibStride(header.biWidth, 24);
    const auto *pixels = static_cast<const uint8_t *>(bitmap) + header.biSize;
    const uint8_t *pixel = pixels + size_t(header.biHeight - 1 - y) * stride + 3 * size_t(x);
    return uint32_t(pixel[2]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[0]) << 16;
}

TEST_F(PathConversion, PaintingModeFillsThePixelsWithinTheClip)
{
    struct Case {
        const char *name;
        const char *content;
        std::vector<std::pair<int, int>> filled, white; // device pixels
    };
    const Case cases[] = {
        {"rectangle",
         "0 0 1 rg 10 10 50 30 re f",
         {{11, 161}, {30, 175}, {58, 188}},
         {{5, 175}, {100, 100}, {30, 150}}},
        {"ring",
         "0 0 1 rg 10 10 100 100 re 30 30 40 40 re f*",
         {{20, 180}, {100, 100}},
         {{50, 150}, {150, 50}}},
        {"clipped", "0 0 100 100 re W n 0 0 1 rg 0 0 200 200 re f", {{50, 150}}, {{150, 50}, {150, 150}}},
        // A shape thinner than a pixel still shows through its outline.
        {"hairline", "0 0 1 rg 10 100 100 0.2 re f", {{50, 100}}, {{50, 90}}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(Open(c.content)) << c.name;
        PageBmp bitmap = PDF_GetPageBmp(handle_, 1);
        ASSERT_NE(bitmap, nullptr) << c.name;
        for (auto [x, y] : c.filled)
            EXPECT_EQ(BitmapPixel(bitmap, x, y), 0xFF0000u) << c.name << " (" << x << "," << y << ")";
        for (auto [x, y] : c.white)
            EXPECT_EQ(BitmapPixel(bitmap, x, y), kWhite) << c.name << " (" << x << "," << y << ")";
        PDF_DestroyPageBmp(bitmap);
    }
}

} // namespace
} // namespace lumora
