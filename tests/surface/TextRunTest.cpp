// Text runs in both modes: what a run records while a page object is
// captured, and what it paints into the bitmap otherwise.
#include "FontTestSupport.h"

#include "surface/Dib.h"
#include "surface/PageBlocks.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"
#include "surface/TextRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

namespace lumora {
namespace {

constexpr uint32_t kBlack = 0x00000000;
constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kGrey = 0x00808080;
constexpr int32_t kWidth = 200;
constexpr int32_t kHeight = 120;

// One TextOut call; every argument has a plain default.
struct RunArgs {
    int32_t x = 20;
    int32_t y = 100;
    std::u16string text = u"H";
    const char *font = "Liberation Sans";
    int32_t advance = 60;
    int32_t height = 60;
    int32_t bold = 0;
    int32_t italic = 0;
    uint32_t fill = kBlack;
    uint32_t stroke = kBlack;
    int32_t mode = 0;
    double angle = 0;
    int32_t vertical = 0;
};

// The smallest rectangle holding every pixel that is not the background.
struct InkBox {
    int32_t left = kWidth, top = kHeight, right = -1, bottom = -1;
    bool Empty() const { return right < left; }
    int32_t Width() const { return right - left + 1; }
    int32_t Height() const { return bottom - top + 1; }
};

class TextRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(surface().Create(kWidth, kHeight, 24));
        Clear(kWhite);
    }
    void TearDown() override
    {
        SetCurrentPageObject(nullptr);
        surface().SetClipRegion(nullptr);
    }
    static DrawSurface &surface() { return PageSurface(); }
    void Capture() { SetCurrentPageObject(page.get()); }
    static void Clear(uint32_t colour) { surface().FillRect(colour); }

    static void Draw(const RunArgs &run)
    {
        surface().TextOut(run.x, run.y, reinterpret_cast<const uint16_t *>(run.text.data()),
                          int32_t(run.text.size()), run.font, run.advance, run.height, run.bold, run.italic,
                          run.fill, run.stroke, run.mode, run.angle, run.vertical);
    }
    // The one text block a captured run left.
    const TextBlock &Recorded() const
    {
        EXPECT_EQ(page->blockCount, 1);
        EXPECT_EQ(page->blocks[0]->blockType, PAGE_BLOCK_TEXT);
        return *page->blocks[page->blockCount - 1]->text;
    }
    void Forget() { page = NewRecord<PageObject>(); }

    static InkBox Ink(uint32_t background = kWhite)
    {
        InkBox box;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                if (surface().PixelAt(x, y) != background) {
                    box.left = std::min(box.left, x);
                    box.right = std::max(box.right, x);
                    box.top = std::min(box.top, y);
                    box.bottom = std::max(box.bottom, y);
                }
        return box;
    }
    static int32_t InkInRow(int32_t y)
    {
        int32_t count = 0;
        for (int32_t x = 0; x < kWidth; ++x)
            count += surface().PixelAt(x, y) != kWhite;
        return count;
    }
    static int32_t InkInColumn(int32_t x)
    {
        int32_t count = 0;
        for (int32_t y = 0; y < kHeight; ++y)
            count += surface().PixelAt(x, y) != kWhite;
        return count;
    }
    // Leftmost ink pixel of a row, or -1.
    static int32_t LeftEdge(int32_t y)
    {
        for (int32_t x = 0; x < kWidth; ++x)
            if (surface().PixelAt(x, y) != kWhite)
                return x;
        return -1;
    }

    test::ModuleDirectoryScope module;
    RecordPtr<PageObject> page = NewRecord<PageObject>();
};

std::u16string RecordedText(const TextBlock &text)
{
    std::u16string units;
    for (int32_t i = 0; i < text.count; ++i)
        units.push_back(char16_t(text.text[2 * i] | text.text[2 * i + 1] << 8));
    return units;
}

TEST_F(TextRunTest, OnlyALoneFiLigatureBecomesTheTwoLetters)
{
    struct Case {
        std::u16string text;
        std::u16string recorded;
    };
    const Case cases[] = {{u"\uFB01", u"fi"}, {u"\uFB01x", u"\uFB01x"}, {u"\uFB02", u"\uFB02"}};
    Capture();
    for (const auto &c : cases) {
        Forget();
        Capture();
        Draw({.text = c.text});
        const TextBlock &text = Recorded();
        EXPECT_EQ(RecordedText(text), c.recorded);
        EXPECT_EQ(text.count, int32_t(c.recorded.size()));
        EXPECT_EQ(text.text[2 * text.count], 0); // the zero byte after the units
    }
}

TEST_F(TextRunTest, ACapturedRunRecordsItsArgumentsAndTheMappedFaceAndPaintsNothing)
{
    Capture();
    Draw({.x = 5, .y = 7, .text = u"Ab", .font = "Liberation Serif,Bold", .advance = 11, .height = 13, .bold = 5,
          .italic = 0x100, .fill = kBlue, .stroke = kRed, .mode = 1});
    const TextBlock &text = Recorded();
    EXPECT_EQ(text.x, 5);
    EXPECT_EQ(text.y, 7);
    EXPECT_EQ(RecordedText(text), u"Ab");
    EXPECT_STREQ(text.face, "Liberation Serif");
    EXPECT_EQ(text.advance, 11);
    EXPECT_EQ(text.size, 13);
    EXPECT_EQ(text.bold, 5);
    EXPECT_EQ(text.italic, 0x100);
    EXPECT_EQ(text.orientation, 0);
    EXPECT_EQ(text.colour, kBlue); // the fill colour, whatever the render mode
    EXPECT_EQ(text.reserved, 0);
    EXPECT_TRUE(Ink().Empty());

    Forget();
    Capture();
    Draw({.font = "ABCDEF+Foo-Bold"});
    EXPECT_STREQ(Recorded().face, "Arial");
}

TEST_F(TextRunTest, TheEscapementFollowsTheAngleRoundedToWholeDegrees)
{
    struct Case {
        double angle;
        int32_t escapement;
    };
    const Case cases[] = {{-90.0, 2711}, {270.0, 2700}, {0.0, 0},   {89.6, 900},
                          {-1.0, 0},     {-1.6, 3591},  {359.6, 0}, {std::nan(""), 0}};
    for (const auto &c : cases) {
        Forget();
        Capture();
        Draw({.angle = c.angle});
        EXPECT_EQ(Recorded().orientation, c.escapement) << c.angle;
    }
    for (double absurd : {1e300, -1e300, std::numeric_limits<double>::infinity()}) {
        Forget();
        Capture();
        Draw({.angle = absurd});
        EXPECT_GE(Recorded().orientation, 0) << absurd;
        EXPECT_LT(Recorded().orientation, 3600) << absurd;
    }
}

TEST_F(TextRunTest, ACapturedRunIsRecordedOnlyWhenItsOriginLiesOnTheSurface)
{
    struct Case {
        int32_t x, y;
        bool recorded;
    };
    const Case cases[] = {{0, 0, true},    {kWidth - 1, kHeight - 1, true}, {kWidth, 5, false},
                          {5, -1, false},  {-1, 5, false},                  {5, kHeight, false}};
    for (const auto &c : cases) {
        Forget();
        Capture();
        Draw({.x = c.x, .y = c.y});
        EXPECT_EQ(page->blockCount, c.recorded ? 1 : 0) << c.x << "," << c.y;
    }
}

TEST_F(TextRunTest, AVerticalRunTakesTheSidewaysFaceOnlyForMarksThatNeedIt)
{
    struct Case {
        char16_t unit;
        double angle;
        const char *face;
        int32_t escapement, x, y;
    };
    // Origin (20, 100), advance 16, height 20.
    const Case cases[] = {
        {u'\u3002', 0, "@Liberation Sans", 2700, 22, 82}, // up by the height, then h/8 right, advance/8 down
        {u'\u3002', 90, "@Liberation Sans", 0, 6, 97},
        {u'\u4E00', 0, "Liberation Sans", 0, 20, 100},
    };
    for (const auto &c : cases) {
        Forget();
        Capture();
        Draw({.text = std::u16string(1, c.unit), .advance = 16, .height = 20, .angle = c.angle, .vertical = 1});
        const TextBlock &text = Recorded();
        EXPECT_STREQ(text.face, c.face) << int(c.unit);
        EXPECT_EQ(text.orientation, c.escapement) << int(c.unit);
        EXPECT_EQ(text.x, c.x) << int(c.unit);
        EXPECT_EQ(text.y, c.y) << int(c.unit);
    }
}

TEST_F(TextRunTest, AMappedSidewaysFaceKeepsItsAtSignOnlyWhereTheRunNeedsIt)
{
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nPdfFontName1=MinchoV\nOsFontName1=@Liberation Sans\n");
    struct Case {
        char16_t unit;
        int32_t vertical;
        const char *face;
        int32_t escapement;
    };
    const Case cases[] = {{u'\u4E00', 1, "Liberation Sans", 0},
                          {u'\u3002', 1, "@Liberation Sans", 2700},
                          {u'\u4E00', 0, "@Liberation Sans", 2700}};
    for (const auto &c : cases) {
        Forget();
        Capture();
        Draw({.text = std::u16string(1, c.unit), .font = "MinchoV", .vertical = c.vertical});
        EXPECT_STREQ(Recorded().face, c.face) << int(c.unit) << " vertical " << c.vertical;
        EXPECT_EQ(Recorded().orientation, c.escapement) << int(c.unit) << " vertical " << c.vertical;
    }
}

TEST(VerticalOrigin, MovesByTheAngleThenByEighthsOfHeightAndAdvance)
{
    struct Case {
        int32_t angle, x, y;
    };
    // Origin (10, 50), advance 16, height 20. The sines and cosines of the
    // slightly short pi are truncated, so 90 degrees gives 49, not 50.
    const Case cases[] = {{0, 12, 32},   {45, 1, 37},   {90, -4, 47},  {180, 7, 72},
                          {270, 24, 52}, {-90, 24, 51}, {316, 23, 37}, {400, 2, 36}};
    for (const auto &c : cases) {
        int32_t x = 10;
        int32_t y = 50;
        AdjustVerticalOrigin(16, 20, c.angle, x, y);
        EXPECT_EQ(x, c.x) << c.angle;
        EXPECT_EQ(y, c.y) << c.angle;
    }
    int32_t x = INT32_MAX;
    int32_t y = INT32_MIN;
    AdjustVerticalOrigin(INT32_MIN, INT32_MAX, 0, x, y); // saturates rather than wrapping
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, INT32_MIN);
}

TEST(VerticalOrigin, OnlyIdeographicMarksAndFullWidthFormsNeedTheSidewaysGlyph)
{
    for (uint16_t unit : {0x3001, 0x3002, 0x300F, 0x30FC, 0xFF00, 0xFF01, 0xFFFF})
        EXPECT_TRUE(NeedsVerticalGlyph(unit)) << unit;
    for (uint16_t unit : {0x0041, 0x3000, 0x3010, 0x30FB, 0x30FD, 0x4E00, 0xFEFF})
        EXPECT_FALSE(NeedsVerticalGlyph(unit)) << unit;
}

TEST(FontWidth, HalfTheAdvanceOnlyWhenItDiffersFromTheHeightByFourOrMore)
{
    struct Case {
        int32_t advance, height, width;
    };
    const Case cases[] = {{10, 20, 5}, {18, 20, 0}, {24, 20, 12}, {16, 20, 8},
                          {17, 20, 0}, {-9, 20, -4}, {0, 0, 0},   {INT32_MIN, INT32_MAX, INT32_MIN / 2}};
    for (const auto &c : cases)
        EXPECT_EQ(FontWidthFor(c.advance, c.height), c.width) << c.advance << " " << c.height;
}

TEST_F(TextRunTest, PaintedTextStandsOnTheBaselineWithTheHeightAsItsEmSize)
{
    Draw({.x = 20, .y = 100, .text = u"H", .height = 60});
    const InkBox ink = Ink();
    ASSERT_FALSE(ink.Empty());
    // Liberation Sans: capitals are 1409/2048 of the em tall and start a
    // little right of the origin.
    EXPECT_NEAR(ink.Height(), 60 * 1409.0 / 2048, 1.5);
    EXPECT_NEAR(ink.bottom, 99, 1);
    EXPECT_GE(ink.left, 20);
    EXPECT_LE(ink.left, 20 + 8);
}

TEST_F(TextRunTest, TheWidthHintStretchesThePaintedGlyphsAgainstTheAverageWidth)
{
    const auto inkWidthWithAdvance = [](int32_t advance) {
        Clear(kWhite);
        Draw({.x = 5, .text = u"H", .advance = advance, .height = 60});
        return double(Ink().Width());
    };
    const double natural = inkWidthWithAdvance(60);
    // Liberation Sans's average character is 1208/2048 of the em wide.
    const double averageAtEm60 = 60 * 1208.0 / 2048;
    EXPECT_NEAR(inkWidthWithAdvance(120) / natural, 60 / averageAtEm60, 0.08);
    EXPECT_NEAR(inkWidthWithAdvance(30) / natural, 15 / averageAtEm60, 0.08);
    EXPECT_NEAR(inkWidthWithAdvance(57) / natural, 1.0, 0.03); // within 4 of the height: natural
}

TEST_F(TextRunTest, TheAngleTurnsThePaintedRunCounterClockwise)
{
    Draw({.x = 100, .y = 110, .text = u"HHH", .height = 20, .angle = 90});
    const InkBox ink = Ink();
    ASSERT_FALSE(ink.Empty());
    EXPECT_LE(ink.right, 100);  // the glyphs' tops point left
    EXPECT_LE(ink.bottom, 110); // the run goes up from its origin
    EXPECT_GT(ink.Height(), 2 * ink.Width());
}

TEST_F(TextRunTest, ASidewaysFaceDrawsUprightGlyphsDownThePage)
{
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nPdfFontName1=Vert\nOsFontName1=@Liberation Sans\n");
    Draw({.x = 60, .y = 20, .text = u"L", .font = "Vert", .height = 60});
    const InkBox ink = Ink();
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.top, 20); // the run starts at the origin and goes down
    EXPECT_GE(ink.left, 60 - 15);
    EXPECT_LE(ink.right, 60 + 60);
    // Upright L: its stem on the left, its foot at the bottom.
    EXPECT_GT(InkInRow(ink.bottom - 1), 2 * InkInRow(ink.top + 1));
    EXPECT_GT(InkInColumn(ink.left + 1), 2 * InkInColumn(ink.right - 1));

    Clear(kWhite);
    Draw({.x = 60, .y = 5, .text = u"LL", .font = "Vert", .height = 40});
    const InkBox two = Ink();
    EXPECT_GT(two.Height(), 2 * two.Width()); // the second L below the first
    EXPECT_LT(two.Width(), 40);
}

TEST_F(TextRunTest, BoldAndItalicChangeThePaintedGlyphsEvenWithoutSuchAFace)
{
    for (const char *face : {"Liberation Sans", "DejaVu Math TeX Gyre"}) {
        Clear(kWhite);
        Draw({.text = u"I", .font = face});
        const InkBox regular = Ink();
        const int32_t slantRegular = LeftEdge(regular.top + 2) - LeftEdge(regular.bottom - 2);

        Clear(kWhite);
        Draw({.text = u"I", .font = face, .bold = 1});
        EXPECT_GT(Ink().Width(), regular.Width()) << face;

        Clear(kWhite);
        Draw({.text = u"I", .font = face, .italic = 1});
        const InkBox italic = Ink();
        EXPECT_GT(LeftEdge(italic.top + 2) - LeftEdge(italic.bottom - 2), slantRegular + 5) << face;
    }
}

// A capital I at em 80 on grey: its stem is solid over rows 50 to 95.
class TextRenderModes : public TextRunTest {
protected:
    static constexpr int32_t kBaseline = 100;
    static constexpr int32_t kHatchRow = 75; // one row in eight, counted from the top
    static constexpr int32_t kGapRow = 77;

    void PaintI(int32_t mode) const
    {
        Clear(kGrey);
        Draw({.x = 60, .y = kBaseline, .text = u"I", .advance = 80, .height = 80, .fill = kBlue, .stroke = kRed,
              .mode = mode});
    }
    // Middle of the stem, from a filled I.
    int32_t StemMiddle() const
    {
        PaintI(0);
        int32_t left = -1;
        int32_t right = -1;
        for (int32_t x = 0; x < kWidth; ++x)
            if (surface().PixelAt(x, kGapRow) == kBlue) {
                left = left < 0 ? x : left;
                right = x;
            }
        EXPECT_GT(right - left, 3);
        return (left + right) / 2;
    }
    static bool StrokedInRow(int32_t y)
    {
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t pixel = surface().PixelAt(x, y);
            if (RedOf(pixel) > 150 && BlueOf(pixel) < 100)
                return true;
        }
        return false;
    }
};

TEST_F(TextRenderModes, EachModePaintsWithItsBrushAndPen)
{
    struct Case {
        int32_t mode;
        uint32_t onHatchRow, onGapRow;
        bool stroked;
    };
    const Case cases[] = {
        {0, kBlue, kBlue, false},  {1, kWhite, kWhite, true}, {2, kBlue, kBlue, true},
        {3, kGrey, kGrey, false},  {4, kBlue, kGrey, false},  {5, kWhite, kGrey, true},
        {6, kBlue, kGrey, true},   {7, kGrey, kGrey, false},  {-1, kGrey, kGrey, false},
    };
    const int32_t middle = StemMiddle();
    for (const auto &c : cases) {
        PaintI(c.mode);
        EXPECT_EQ(surface().PixelAt(middle, kHatchRow), c.onHatchRow) << "mode " << c.mode;
        EXPECT_EQ(surface().PixelAt(middle, kGapRow), c.onGapRow) << "mode " << c.mode;
        EXPECT_EQ(StrokedInRow(kGapRow), c.stroked) << "mode " << c.mode;
    }
}

TEST_F(TextRunTest, PaintingKeepsToTheClipRegion)
{
    RegionPtr rightHalf = MakeRectRegion(100, 0, kWidth, kHeight);
    surface().SetClipRegion(rightHalf.get());
    Draw({.x = 10, .text = u"HHHHHH", .height = 40});
    const InkBox ink = Ink();
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, 100);
}

TEST_F(TextRunTest, WithoutAnyUsableFontTheRunIsNeitherRecordedNorPainted)
{
    test::FontconfigScope noFonts;
    Capture();
    Draw({});
    EXPECT_EQ(page->blockCount, 0);
    SetCurrentPageObject(nullptr);
    Draw({});
    EXPECT_TRUE(Ink().Empty());
}

TEST_F(TextRunTest, TheDefaultFaceStandsInForAFaceWhoseFileCannotBeOpened)
{
    const std::string brokenCopy = module.File("LiberationSans-Regular.ttf");
    std::filesystem::copy_file(test::kLiberationSansFile, brokenCopy);
    test::FontconfigScope fonts({brokenCopy, test::kDejaVuSansFile});
    test::WriteFileBytes(brokenCopy, "no longer a font");
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nDefaultFontName=DejaVu Sans\n"
                          "PdfFontName1=Unused\nOsFontName1=Unused\n");
    Capture();
    Draw({.font = "Liberation Sans"});
    EXPECT_STREQ(Recorded().face, "DejaVu Sans");
    SetCurrentPageObject(nullptr);
    Draw({.font = "Liberation Sans"});
    EXPECT_FALSE(Ink().Empty());
}

TEST_F(TextRunTest, UnusableArgumentsDropTheRunWithoutHarm)
{
    const char16_t unit = u'H';
    for (bool capturing : {true, false}) {
        SetCurrentPageObject(capturing ? page.get() : nullptr);
        surface().TextOut(20, 100, nullptr, 1, "Liberation Sans", 60, 60, 0, 0, kBlack, kBlack, 0, 0, 0);
        surface().TextOut(20, 100, reinterpret_cast<const uint16_t *>(&unit), 1, nullptr, 60, 60, 0, 0, kBlack,
                          kBlack, 0, 0, 0);
        surface().TextOut(20, 100, reinterpret_cast<const uint16_t *>(&unit), 0, "Liberation Sans", 60, 60, 0, 0,
                          kBlack, kBlack, 0, 0, 0);
        surface().TextOut(20, 100, reinterpret_cast<const uint16_t *>(&unit), -1, "Liberation Sans", 60, 60, 0,
                          0, kBlack, kBlack, 0, 0, 0);
    }
    EXPECT_EQ(page->blockCount, 0);
    EXPECT_TRUE(Ink().Empty());
}

TEST_F(TextRunTest, OddSizesAndAnglesAreRecordedAsGivenAndPaintedSafely)
{
    Capture();
    Draw({.font = "", .height = 0});
    EXPECT_STREQ(Recorded().face, "Arial"); // a nameless font maps to the default face
    EXPECT_EQ(Recorded().size, 0);

    SetCurrentPageObject(nullptr);
    Draw({.height = 0});
    EXPECT_TRUE(Ink().Empty()); // less than a pixel tall
    Draw({.height = -60});
    EXPECT_FALSE(Ink().Empty()); // a negative height counts by its size
    for (const RunArgs &odd : {RunArgs{.x = -50, .y = 5000, .height = 100000}, RunArgs{.height = 60, .angle = std::nan("")},
                           RunArgs{.advance = INT32_MAX, .height = 60}, RunArgs{.advance = INT32_MIN, .height = 1}})
        Draw(odd);
}

TEST_F(TextRunTest, TheBlockLimitDropsFurtherRuns)
{
    Capture();
    for (int i = 0; i < PAGE_BLOCK_LIMIT - 1; ++i)
        surface().DrawLines(0, 0, 1, 1, 1, kBlack, 0);
    Draw({});
    EXPECT_EQ(page->blockCount, PAGE_BLOCK_LIMIT);
    EXPECT_EQ(page->blocks[PAGE_BLOCK_LIMIT - 1]->blockType, PAGE_BLOCK_TEXT);
    Draw({});
    EXPECT_EQ(page->blockCount, PAGE_BLOCK_LIMIT);
}

} // namespace
} // namespace lumora
