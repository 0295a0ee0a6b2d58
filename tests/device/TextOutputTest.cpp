#include "device/TextOutput.h"

#include "lumora_engine.h"
#include "support/PdfBuilder.h"
#include "surface/SurfaceState.h"

#include <Error.h>
#include <Object.h> // before Dict.h, which it completes
#include <Dict.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::FontSpec;
using test::PdfBuilder;
using test::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// ---- Face names

struct FaceCase {
    const char *name;
    bool italicFlag; // from the font descriptor
    const char *face;
    bool bold;
    bool italic;
};

TEST(FaceFromFontName, CutsSuffixesThenPrefixInThatOrder)
{
    const FaceCase cases[] = {
        {"Helvetica", false, "Helvetica", false, false},
        {"ABCDEF+Arial,BoldItalic", false, "Arial", true, true},
        {"Times-BoldItalic", false, "Times", true, true},
        {"Arial-BoldMT", false, "Arial", true, false},
        {"Arial,Italic", false, "Arial", false, true},
        {"TimesNewRoman-Italic", false, "TimesNewRoman", false, true},
        {"Arial-Black", false, "Arial", true, false},
        // Oblique is no suffix the rules know: italic only from the flags.
        {"ABCDEF+Helvetica-BoldOblique", false, "Helvetica", true, false},
        {"ABCDEF+Helvetica-BoldOblique", true, "Helvetica", true, true},
        // Only the first "+" ends the prefix.
        {"AB+CD+Foo", false, "CD+Foo", false, false},
        {"STSong-Light", false, "SimSun", false, false},
        {"ABCDEF+STHeiti-Regular", false, "SimHei", false, false},
        // The second family rule sees the name the first one made.
        {"STHeitiSTSong", false, "SimHei", false, false},
    };
    for (const FaceCase &c : cases) {
        FaceStyle flags;
        flags.italic = c.italicFlag;
        const FaceStyle style = FaceFromFontName(c.name, flags);
        EXPECT_EQ(style.face, c.face) << c.name;
        EXPECT_EQ(style.bold, c.bold) << c.name;
        EXPECT_EQ(style.italic, c.italic) << c.name;
    }
}

TEST(FaceFromFontName, KeepsAtMostTheNameBuffer)
{
    const std::string longName(500, 'x');
    EXPECT_EQ(FaceFromFontName(longName).face.size(), kFaceNameLimit);
    // A suffix beyond the kept part is not seen.
    EXPECT_FALSE(FaceFromFontName(std::string(kFaceNameLimit, 'x') + ",Bold").bold);
}

TEST(FaceOfFont, WithoutFontIsRegularCourier)
{
    const FaceStyle style = FaceOfFont(nullptr);
    EXPECT_EQ(style.face, "Courier");
    EXPECT_FALSE(style.bold);
    EXPECT_FALSE(style.italic);
}

// ---- Font matrix

struct MatrixCase {
    const char *what;
    FontMatrix matrix;
    double angle;
    int32_t height;
    bool sheared;
};

TEST(FontMatrixMetrics, AngleHeightAndSlant)
{
    // Device y grows downwards, so upright text has a negative m22.
    const MatrixCase cases[] = {
        {"upright 12 pt at 72 dpi", {12, 0, 0, -12}, 0, 12, false},
        {"skewed by 0.2 along x", {12, 0, 2.4, -12}, 0, 12, true},
        {"turned 90 degrees counter-clockwise", {0, -12, -12, 0}, 90, 12, false},
        {"upside down", {-12, -0.0, 0, 12}, 180, 12, false},
        {"turned and skewed", {0, -12, -12, 2.4}, 90, 12, true},
        {"a tiny shear is no slant", {12, 0, 0.00005, -12}, 0, 12, false},
        {"height from the vertical axis only", {30, 0, 0, -12}, 0, 12, false},
        {"zero matrix", {0, 0, 0, 0}, 0, 0, false},
        {"below one pixel per 1000 units", {0.0001, 0, 0, -0.0005}, 0, 0, false},
    };
    for (const MatrixCase &c : cases) {
        EXPECT_NEAR(BaselineAngle(c.matrix), c.angle, 1e-4) << c.what;
        EXPECT_EQ(FontHeight(c.matrix), c.height) << c.what;
        EXPECT_EQ(IsSheared(c.matrix), c.sheared) << c.what;
    }
}

TEST(FontMatrixMetrics, NonFiniteOrHugeMatricesGiveBoundedValues)
{
    const FontMatrix cases[] = {
        {kNaN, kNaN, kNaN, kNaN},
        {kInfinity, 0, 0, -kInfinity},
        {12, kNaN, 0, -12},
        {1e300, 1e300, 1e300, 1e300},
        {-1e300, 0, 0, 1e300},
    };
    for (const FontMatrix &m : cases) {
        const double angle = BaselineAngle(m);
        EXPECT_TRUE(std::isfinite(angle));
        EXPECT_LE(std::fabs(angle), 180.0);
        const int32_t height = FontHeight(m);
        EXPECT_GE(height, 0);
        EXPECT_LE(height, 1 << 28);
        IsSheared(m); // must return, whatever it says
    }
}

// ---- Characters

TEST(PlaceCharacter, MatchedFontsRoundUnmatchedTruncate)
{
    // 72 dpi, page 792 high: y flips.
    const double ctm[6] = {1, 0, 0, -1, 0, 792};
    const CharacterPlacement matched = PlaceCharacter(ctm, 72.6, 700.4, 8.9, 0, 0, 0, true);
    EXPECT_EQ(matched.x, 73);
    EXPECT_EQ(matched.y, 92); // 91.6 rounds up
    EXPECT_EQ(matched.advance, 8);
    const CharacterPlacement unmatched = PlaceCharacter(ctm, 72.6, 700.4, 8.9, 0, 0, 0, false);
    EXPECT_EQ(unmatched.x, 72);
    EXPECT_EQ(unmatched.y, 91);
    EXPECT_EQ(unmatched.advance, 8);
}

TEST(PlaceCharacter, SubtractsTheVerticalOriginBeforeTransforming)
{
    const double ctm[6] = {2, 0, 0, -2, 0, 1584}; // 144 dpi
    const CharacterPlacement placed = PlaceCharacter(ctm, 100, 700, 0, -12, 6, 10, true);
    EXPECT_EQ(placed.x, 188);         // (100 - 6) * 2
    EXPECT_EQ(placed.y, 1584 - 1380); // 1584 - (700 - 10) * 2
    EXPECT_EQ(placed.advance, 0);     // vertical displacement has no x part
}

TEST(PlaceCharacter, BadCoordinatesStayBounded)
{
    const double ctm[6] = {1, 0, 0, -1, 0, 792};
    const double values[] = {kNaN, kInfinity, -kInfinity, 1e300, -1e300};
    for (bool matched : {true, false})
        for (double v : values) {
            const CharacterPlacement placed = PlaceCharacter(ctm, v, v, v, v, 0, 0, matched);
            for (int32_t coordinate : {placed.x, placed.y, placed.advance}) {
                EXPECT_LE(coordinate, 1 << 28);
                EXPECT_GE(coordinate, -(1 << 28));
            }
        }
    const double nanCtm[6] = {kNaN, 0, 0, kNaN, kNaN, kNaN};
    EXPECT_EQ(PlaceCharacter(nanCtm, 1, 1, 1, 1, 0, 0, true).x, 0);
}

TEST(CharacterText, UnicodeAsUtf16WithSurrogatePairs)
{
    const Unicode values[] = {0x41, 0x1F600, 0xFFFF, 0x10000, 0x10FFFF, 0x110000};
    const std::vector<uint16_t> expected = {0x41,   0xD83D, 0xDE00, 0xFFFF, 0xD800,
                                            0xDC00, 0xDBFF, 0xDFFF, 0xFFFD};
    EXPECT_EQ(Utf16FromUnicode(values, 6), expected);
    EXPECT_TRUE(Utf16FromUnicode(nullptr, 3).empty());
}

TEST(CharacterText, CodeStandsInOnlyWhenUnmatchedAndWithoutUnicode)
{
    const Unicode a = 0x41;
    EXPECT_TRUE(CharacterText(true, 0x20, nullptr, 0).empty());
    EXPECT_EQ(CharacterText(true, 0x20, &a, 1), std::vector<uint16_t>{0x41});
    EXPECT_EQ(CharacterText(false, 0x12345, nullptr, 0), std::vector<uint16_t>{0x2345});
    EXPECT_EQ(CharacterText(false, 0x20, &a, 1), std::vector<uint16_t>{0x41});
}

// ---- Marked content

class MarkedContentStackTest : public ::testing::Test {
protected:
    // Owns the properties dictionaries the stack is given.
    Dict *Properties(Object vertical)
    {
        dicts_.push_back(std::make_unique<Dict>(static_cast<XRef *>(nullptr)));
        dicts_.back()->add("Vertical", std::move(vertical));
        return dicts_.back().get();
    }

    MarkedContentStack stack_;
    std::vector<std::unique_ptr<Dict>> dicts_;
};

TEST_F(MarkedContentStackTest, OnlyPointTextWithIntegerVerticalOneCounts)
{
    struct Case {
        const char *what;
        const char *tag;
        Dict *properties;
        bool vertical;
    };
    const Case cases[] = {
        {"integer 1", "PointText", Properties(Object(1)), true},
        {"real 1.0", "PointText", Properties(Object(1.0)), false},
        {"integer 2", "PointText", Properties(Object(2)), false},
        {"other tag", "Span", Properties(Object(1)), false},
        {"no properties", "PointText", nullptr, false},
    };
    for (const Case &c : cases) {
        stack_.Clear();
        stack_.Begin(c.tag, c.properties);
        EXPECT_EQ(stack_.InVerticalPointText(), c.vertical) << c.what;
    }
}

TEST_F(MarkedContentStackTest, EndClosesTheInnermostSectionOnly)
{
    stack_.Begin("PointText", Properties(Object(1)));
    stack_.Begin("Span", nullptr);
    stack_.End();
    EXPECT_TRUE(stack_.InVerticalPointText()); // still inside the outer section
    stack_.End();
    EXPECT_FALSE(stack_.InVerticalPointText());
    stack_.End(); // unbalanced: nothing to close
    EXPECT_EQ(stack_.Depth(), 0u);
    stack_.Begin("Span", nullptr);
    EXPECT_EQ(stack_.Depth(), 1u);
}

// ---- Through the engine: the text blocks a page gives

struct CapturedText {
    int32_t x = 0;
    int32_t y = 0;
    std::u16string text;
    std::string face;
    int32_t advance = 0;
    int32_t size = 0;
    int32_t bold = 0;
    int32_t italic = 0;
    int32_t orientation = 0;
    uint32_t colour = 0;
};

CapturedText Capture(const TextBlock &block)
{
    CapturedText text;
    text.x = block.x;
    text.y = block.y;
    for (int32_t i = 0; i < block.count; ++i)
        text.text.push_back(char16_t(block.text[2 * i] | block.text[2 * i + 1] << 8));
    text.face = block.face;
    text.advance = block.advance;
    text.size = block.size;
    text.bold = block.bold;
    text.italic = block.italic;
    text.orientation = block.orientation;
    text.colour = block.colour;
    return text;
}

FontSpec Font(std::string baseFont)
{
    FontSpec spec;
    spec.baseFont = std::move(baseFont);
    return spec;
}

// A ToUnicode CMap stream: code -> UTF-16BE, both in hex; the codes are
// one byte long, or two for composite fonts.
int AddToUnicode(PdfBuilder &pdf, const std::vector<std::pair<std::string, std::string>> &map,
                 bool twoByteCodes = false)
{
    const std::string codeSpace = twoByteCodes ? "<0000> <FFFF>" : "<00> <FF>";
    std::string body = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                       "/CMapName /Test-UCS def /CMapType 2 def\n"
                       "1 begincodespacerange " + codeSpace + " endcodespacerange\n" +
                       std::to_string(map.size()) + " beginbfchar\n";
    for (const auto &[code, unicode] : map)
        body += "<" + code + "> <" + unicode + ">\n";
    body += "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end\n";
    return pdf.AddStream("", body);
}

std::string RefTo(int object) { return std::to_string(object) + " 0 R"; }

std::string TextOp(const std::string &font, double size, double x, double y, const std::string &shown)
{
    return "BT /" + font + " " + test::PdfNumber(size) + " Tf " + test::PdfNumber(x) + " " +
           test::PdfNumber(y) + " Td " + shown + " Tj ET\n";
}

// Collects the library's messages while a test looks at what the device
// reports; the engine's own silencing is back once the next document opens.
std::vector<std::string> &LibraryMessages()
{
    static std::vector<std::string> messages;
    return messages;
}

void CollectMessage(ErrorCategory, Goffset, const char *message) { LibraryMessages().emplace_back(message); }
void DropMessage(ErrorCategory, Goffset, const char *) {}

class TextOutputEngineTest : public ::testing::Test {
protected:
    void SetUp() override { ProcessMarkedContent().Clear(); }
    void TearDown() override
    {
        setErrorCallback(&DropMessage);
        LibraryMessages().clear();
        ProcessMarkedContent().Clear();
    }

    std::string Save(const PdfBuilder &pdf)
    {
        const std::string path = dir_.File("text" + std::to_string(++files_) + ".pdf");
        pdf.Save(path);
        return path;
    }

    // The text blocks of every page of the file, in drawing order.
    std::vector<CapturedText> TextOf(const std::string &path, int zoom = 72)
    {
        std::vector<CapturedText> texts;
        EngineHandle handle = PDF_Open(path.c_str(), nullptr, nullptr, zoom);
        EXPECT_TRUE(handle) << path;
        if (!handle)
            return texts;
        setErrorCallback(&CollectMessage); // after the engine has silenced the library
        for (int page = 1; page <= PDF_GetPageCount(handle); ++page) {
            PageObject *object = PDF_GetPageObject(handle, page);
            EXPECT_TRUE(object);
            if (!object)
                continue;
            for (int32_t i = 0; i < object->blockCount; ++i)
                if (object->blocks[i]->blockType == PAGE_BLOCK_TEXT)
                    texts.push_back(Capture(*object->blocks[i]->text));
            PDF_DestroyPageObject(object);
        }
        PDF_Close(handle);
        return texts;
    }

    std::vector<CapturedText> TextOfPage(const std::string &content, PdfBuilder &pdf)
    {
        pdf.AddPage(612, 792, content);
        return TextOf(Save(pdf));
    }

    TempDir dir_;
    int files_ = 0;
};

TEST_F(TextOutputEngineTest, HelveticaHelloGivesOneBlockPerCharacter)
{
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Helvetica");
    const auto texts = TextOfPage("0 0 1 rg 0 1 0 RG " + TextOp(font, 12, 72, 700, "(Hello)"), pdf);
    ASSERT_EQ(texts.size(), 5u);
    // Helvetica widths H 722, e 556, l 222, o 556 at 12 points; a matched
    // font rounds the position and truncates the advance.
    const int32_t xs[] = {72, 81, 87, 90, 93};
    const int32_t advances[] = {8, 6, 2, 2, 6};
    const std::u16string letters = u"Hello";
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(texts[i].text, letters.substr(i, 1));
        EXPECT_EQ(texts[i].x, xs[i]) << i;
        EXPECT_EQ(texts[i].y, 92);
        EXPECT_EQ(texts[i].advance, advances[i]) << i;
        EXPECT_EQ(texts[i].size, 12);
        EXPECT_EQ(texts[i].orientation, 0);
        EXPECT_FALSE(texts[i].bold);
        EXPECT_FALSE(texts[i].italic);
        EXPECT_EQ(texts[i].colour, 0x00FF0000u); // the fill colour, blue
        EXPECT_FALSE(texts[i].face.empty());
    }
}

TEST_F(TextOutputEngineTest, ScalesWithTheZoom)
{
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Helvetica");
    pdf.AddPage(612, 792, TextOp(font, 12, 72, 700, "(H)"));
    const auto texts = TextOf(Save(pdf), 144);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].x, 144);
    EXPECT_EQ(texts[0].y, 184);
    EXPECT_EQ(texts[0].size, 24);
    EXPECT_EQ(texts[0].advance, 17); // 17.328
}

TEST_F(TextOutputEngineTest, StyleFromTheFontNameAndFlags)
{
    // An installed family, so that the recorded face is the name the device made.
    struct Case {
        FontSpec font;
        const char *face;
        bool bold;
        bool italic;
    };
    std::vector<Case> cases = {
        {Font("ABCDEF+Liberation Sans,BoldItalic"), "Liberation Sans", true, true},
        {Font("Liberation Serif-Bold"), "Liberation Serif", true, false},
        {Font("Liberation Sans"), "Liberation Sans", false, false},
    };
    FontSpec italicFlag = Font("Liberation Sans");
    italicFlag.descriptorFlags = 64 | 32; // Italic, Nonsymbolic
    cases.push_back({italicFlag, "Liberation Sans", false, true});
    FontSpec forceBold = Font("Liberation Sans");
    forceBold.descriptorFlags = 262144 | 32;
    cases.push_back({forceBold, "Liberation Sans", true, false});

    for (const Case &c : cases) {
        PdfBuilder pdf;
        const std::string font = pdf.AddFont(c.font);
        const auto texts = TextOfPage(TextOp(font, 12, 72, 700, "(A)"), pdf);
        ASSERT_EQ(texts.size(), 1u) << c.font.baseFont;
        EXPECT_EQ(texts[0].face, c.face) << c.font.baseFont;
        EXPECT_EQ(texts[0].bold != 0, c.bold) << c.font.baseFont;
        EXPECT_EQ(texts[0].italic != 0, c.italic) << c.font.baseFont;
    }
}

TEST_F(TextOutputEngineTest, TextMatrixGivesOrientationAndSlant)
{
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Helvetica");
    const auto texts = TextOfPage("BT /" + font + " 12 Tf 0 1 -1 0 300 300 Tm (A) Tj ET\n" + // turned 90
                                      "BT /" + font + " 12 Tf 1 0 0.2 1 72 700 Tm (A) Tj ET\n" + // slanted
                                      "BT /" + font + " 12 Tf 0 1 -1 0.2 300 400 Tm (A) Tj ET\n", // both
                                  pdf);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].orientation, 900);
    EXPECT_EQ(texts[0].x, 300);
    EXPECT_EQ(texts[0].y, 492);
    EXPECT_EQ(texts[0].size, 12);
    EXPECT_FALSE(texts[0].italic);
    EXPECT_EQ(texts[1].orientation, 0);
    EXPECT_TRUE(texts[1].italic);
    EXPECT_EQ(texts[1].size, 12); // |(2.4, -12)| = 12.24
    // The slant counts only for text on a level baseline.
    EXPECT_EQ(texts[2].orientation, 900);
    EXPECT_FALSE(texts[2].italic);
}

TEST_F(TextOutputEngineTest, InvisibleAndClipOnlyModesEmitNothing)
{
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Helvetica");
    std::string content;
    for (int mode = 0; mode <= 7; ++mode)
        content += "BT " + std::to_string(mode) + " Tr /" + font + " 12 Tf 72 " +
                   std::to_string(700 - 20 * mode) + " Td (A) Tj ET\n";
    const auto texts = TextOfPage("1 0 0 rg 0 0 1 RG " + content, pdf);
    std::vector<int32_t> ys;
    for (const CapturedText &text : texts) {
        ys.push_back(text.y);
        EXPECT_EQ(text.colour, 0x000000FFu); // captured text is filled: fill colour
    }
    // Modes 0, 1, 2, 4, 5, 6 at y = 700 - 20 * mode.
    EXPECT_EQ(ys, (std::vector<int32_t>{92, 112, 132, 172, 192, 212}));
}

TEST_F(TextOutputEngineTest, ComposedFontsAreUnmatched)
{
    PdfBuilder pdf;
    const std::string simple = pdf.AddFont("Helvetica");
    FontSpec noUnicode = Font("SomeCIDFont");
    noUnicode.composite = true;
    noUnicode.cidOrdering = "Unknown"; // a collection the library has no Unicode table for
    const std::string composite = pdf.AddFont(noUnicode);
    const auto texts = TextOfPage(TextOp(simple, 12, 72.6, 700.4, "(A)") +
                                      TextOp(composite, 12, 72.6, 600.4, "<4E2D0001>"),
                                  pdf);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].x, 73); // matched: rounded
    EXPECT_EQ(texts[0].y, 92);
    EXPECT_EQ(texts[1].x, 72); // unmatched: truncated
    EXPECT_EQ(texts[1].y, 191);
    EXPECT_EQ(texts[1].text, u"\u4E2D"); // no Unicode value: the code itself
    EXPECT_EQ(texts[2].text, u"\u0001");
}

TEST_F(TextOutputEngineTest, UnmatchedFontsAreReportedOnce)
{
    PdfBuilder pdf;
    FontSpec japanese = Font("MSMincho");
    japanese.composite = true;
    japanese.cidOrdering = "Japan1";
    const std::string composite = pdf.AddFont(japanese);
    const int charProc = pdf.AddStream("", "1000 0 0 0 1000 1000 d1 0 0 1000 1000 re f");
    const int type3 = pdf.AddObject("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000]"
                                    " /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << /a " +
                                    RefTo(charProc) +
                                    " >> /Encoding << /Type /Encoding /Differences [97 /a] >>"
                                    " /FirstChar 97 /LastChar 97 /Widths [1000] >>");
    pdf.AddResource("Font", "T3", RefTo(type3));
    const std::string type3Text = TextOp("T3", 12, 72, 700, "(a)");
    pdf.AddPage(612, 792, type3Text + type3Text + TextOp(composite, 12, 72, 600, "<0041>"));
    pdf.AddPage(612, 792, type3Text);

    const auto texts = TextOf(Save(pdf));
    int type3Reports = 0, collectionReports = 0;
    for (const std::string &message : LibraryMessages()) {
        type3Reports += message == "This document uses Type 3 fonts - some text may not be correctly displayed";
        collectionReports += message == "Couldn't find a font for the 'Adobe-Japan1' character collection";
    }
    EXPECT_EQ(type3Reports, 1); // once per document, though used on two pages
    EXPECT_GE(collectionReports, 1);
    // Type 3 characters are text too, rounded like every matched font.
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].text, u"a");
    EXPECT_EQ(texts[0].x, 72);
    EXPECT_EQ(texts[0].y, 92);
}

TEST_F(TextOutputEngineTest, CharacterSetFromTheDescendantFont)
{
    struct Case {
        const char *what;
        bool composite;
        std::optional<int> winCharSet;
        int32_t expected;
    };
    const Case cases[] = {
        {"composite with WinCharSet", true, 128, 128},
        {"composite without", true, std::nullopt, 1},
        {"simple fonts ignore the entry", false, 134, 1},
    };
    for (const Case &c : cases) {
        PdfBuilder pdf;
        FontSpec marker = Font("Marker");
        marker.composite = true;
        marker.winCharSet = 77;
        const std::string before = pdf.AddFont(marker);
        FontSpec spec = Font("SomeFont");
        spec.composite = c.composite;
        spec.winCharSet = c.winCharSet;
        const std::string font = pdf.AddFont(spec);
        // The marker's set first, so that every case changes the surface's set.
        const std::string shown = c.composite ? "<0041>" : "(A)";
        TextOfPage(TextOp(before, 12, 72, 700, "<0041>") + TextOp(font, 12, 72, 600, shown), pdf);
        EXPECT_EQ(PageSurface().CharSet(), c.expected) << c.what;
    }
}

// A font whose code 0x41 is the ideographic full stop, which vertical runs
// draw with the sideways face ("@" in front, escapement 2700).
std::string AddFullStopFont(PdfBuilder &pdf)
{
    FontSpec spec = Font("Liberation Sans");
    spec.extraEntries = "/ToUnicode " + RefTo(AddToUnicode(pdf, {{"41", "3002"}}));
    return pdf.AddFont(spec);
}

bool IsSideways(const CapturedText &text) { return !text.face.empty() && text.face[0] == '@'; }

TEST_F(TextOutputEngineTest, PointTextMarkedVerticalWritesVertically)
{
    PdfBuilder pdf;
    const std::string font = AddFullStopFont(pdf);
    pdf.AddResource("Properties", "Vert", "<< /Vertical 1 >>");
    const std::string a = TextOp(font, 12, 72, 700, "(A)");
    const auto texts = TextOfPage(a +                                                          // 0 plain
                                      "/PointText << /Vertical 1 >> BDC " + a + "EMC\n" +      // 1
                                      a +                                                      // 2 closed
                                      "/PointText << /Vertical 1.0 >> BDC " + a + "EMC\n" +    // 3 a real
                                      "/PointText /Vert BDC " + a + "EMC\n" +                  // 4 a name
                                      "/PointText << /Vertical 1 >> BDC /Span << >> BDC " + a + // 5 nested
                                      "EMC EMC\n",
                                  pdf);
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[0].text, u"\u3002");
    const bool expected[] = {false, true, false, false, false, true};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(IsSideways(texts[i]), expected[i]) << i << " " << texts[i].face;
    EXPECT_EQ(texts[1].orientation, 2700);
    EXPECT_EQ(texts[0].orientation, 0);
    EXPECT_EQ(ProcessMarkedContent().Depth(), 0u);
}

// The library drops an end operator that has no section on its own page, so
// a section left open would otherwise never close, in this document or any
// later one.
TEST_F(TextOutputEngineTest, ASectionLeftOpenEndsWithItsPage)
{
    PdfBuilder pdf;
    const std::string font = AddFullStopFont(pdf);
    const std::string a = TextOp(font, 12, 72, 700, "(A)");
    pdf.AddPage(612, 792, "/PointText << /Vertical 1 >> BDC " + a); // never closed
    pdf.AddPage(612, 792, a);
    const auto texts = TextOf(Save(pdf));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(IsSideways(texts[0]));
    EXPECT_FALSE(IsSideways(texts[1]));
    EXPECT_EQ(ProcessMarkedContent().Depth(), 0u);
}

TEST_F(TextOutputEngineTest, VerticalWritingModeOfTheFont)
{
    PdfBuilder pdf;
    const int toUnicode = AddToUnicode(pdf, {{"0041", "3002"}}, true);
    FontSpec vertical = Font("Liberation Sans");
    vertical.composite = true;
    // Written after the builder's /Identity-H, and the later entry wins.
    vertical.extraEntries = "/Encoding /Identity-V /ToUnicode " + RefTo(toUnicode);
    FontSpec horizontal = vertical;
    horizontal.extraEntries = "/ToUnicode " + RefTo(toUnicode);
    const std::string v = pdf.AddFont(vertical);
    const std::string h = pdf.AddFont(horizontal);
    const auto texts = TextOfPage(TextOp(v, 12, 72, 700, "<0041>") + TextOp(h, 12, 72, 600, "<0041>"), pdf);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(IsSideways(texts[0])) << texts[0].face;
    EXPECT_FALSE(IsSideways(texts[1])) << texts[1].face;
}

TEST_F(TextOutputEngineTest, CharacterAboveTheBasicPlaneAsSurrogatePair)
{
    PdfBuilder pdf;
    FontSpec spec = Font("Helvetica");
    spec.extraEntries = "/ToUnicode " + RefTo(AddToUnicode(pdf, {{"41", "D83DDE00"}}));
    const std::string font = pdf.AddFont(spec);
    const auto texts = TextOfPage(TextOp(font, 12, 72, 700, "(A)"), pdf);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, u"\U0001F600");
}

TEST_F(TextOutputEngineTest, BadFontsAndMatricesDoNotBreakTheText)
{
    PdfBuilder pdf;
    const std::string nameless = "Nameless";
    pdf.AddResource("Font", nameless, RefTo(pdf.AddObject("<< /Type /Font /Subtype /Type1 >>")));
    const std::string font = pdf.AddFont("Helvetica");
    const auto texts = TextOfPage(TextOp(nameless, 12, 72, 700, "(A)") +
                                      "BT /" + font + " 12 Tf 0 0 0 0 72 600 Tm (A) Tj ET\n" +
                                      "BT /" + font + " 12 Tf 99999999999999999999.0 0 0 99999999999999999999.0"
                                      " 72 500 Tm (AB) Tj ET\n" +
                                      "BT /" + font + " 99999999999999999999.0 Tf 72 400 Td (A) Tj ET\n",
                                  pdf);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, u"A"); // a font without a name still draws
    EXPECT_EQ(texts[0].y, 92);
    EXPECT_EQ(texts[1].y, 192);     // a zero font matrix still has its origin
    for (const CapturedText &text : texts) {
        EXPECT_GE(text.size, 0);
        EXPECT_LE(text.size, 1 << 28);
        EXPECT_GE(text.orientation, 0);
        EXPECT_LT(text.orientation, 3600);
    }
}

} // namespace
} // namespace lumora
