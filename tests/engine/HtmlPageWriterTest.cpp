// The HTML page writer: page files, their pictures, the font classes, the
// text spans, the image map, continuous-page mode and the encoder.
#include "app/SettingsStore.h"
#include "engine/HtmlPageWriter.h"
#include "engine/PageHead.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"
#include "surface/Dib.h"
#include "surface/ModulePath.h"
#include "surface/PageBlocks.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::PdfBuilder;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

using test::ScopedEnvironment;

// ---- Building page objects by hand

enum class Kind { Text, Line, Image, Clip };

struct Item {
    int32_t x = 0;
    int32_t y = 0;
    std::u16string text = u"a";
    int32_t size = 20;
    int32_t advance = 10;
    std::string face = "Arial";
    uint32_t colour = 0;
    int32_t bold = 0;
    int32_t italic = 0;
    int32_t orientation = 0;
    Kind kind = Kind::Text; // anything but Text adds a small block of that kind instead
};

void AddText(PageObject &page, const Item &run)
{
    auto block = NewRecord<TextBlock>();
    ASSERT_TRUE(block);
    const size_t bytes = run.text.size() * 2 + 1;
    block->text = static_cast<uint8_t *>(std::calloc(1, bytes));
    for (size_t i = 0; i < run.text.size(); ++i) {
        block->text[2 * i] = uint8_t(run.text[i]);
        block->text[2 * i + 1] = uint8_t(run.text[i] >> 8);
    }
    block->count = int32_t(run.text.size());
    block->face = strdup(run.face.c_str());
    block->x = run.x;
    block->y = run.y;
    block->size = run.size;
    block->advance = run.advance;
    block->colour = run.colour;
    block->bold = run.bold;
    block->italic = run.italic;
    block->orientation = run.orientation;
    ASSERT_TRUE(AppendBlock(page, std::move(block)));
}

void AddLine(PageObject &page, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width, uint32_t colour)
{
    auto line = NewRecord<LineBlock>();
    *line = LineBlock{x1, y1, x2, y2, width, colour, LINE_STYLE_SOLID};
    ASSERT_TRUE(AppendBlock(page, std::move(line)));
}

void AddPolygon(PageObject &page, std::vector<PagePoint> points, uint32_t colour)
{
    auto polygon = NewRecord<PolygonBlock>();
    polygon->points = static_cast<PagePoint *>(std::malloc(points.size() * sizeof(PagePoint)));
    std::memcpy(polygon->points, points.data(), points.size() * sizeof(PagePoint));
    polygon->pointCount = int32_t(points.size());
    polygon->fillMode = FILL_MODE_WINDING;
    polygon->colour = colour;
    polygon->width = 1;
    ASSERT_TRUE(AppendBlock(page, std::move(polygon)));
}

void AddRectangle(PageObject &page, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour)
{
    AddPolygon(page, {{left, top}, {right, top}, {right, bottom}, {left, bottom}}, colour);
}

// A 32-bit source image of one colour.
void AddImage(PageObject &page, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour)
{
    auto image = NewRecord<ImageBlock>();
    image->imageHeader.biSize = sizeof(BitmapInfoHeader);
    image->imageHeader.biWidth = 2;
    image->imageHeader.biHeight = 2;
    image->imageHeader.biPlanes = 1;
    image->imageHeader.biBitCount = 32;
    image->colourTable[0] = RgbQuad{255, 255, 255, 0};
    image->x = x;
    image->y = y;
    image->destWidth = width;
    image->destHeight = height;
    image->pixels = static_cast<uint8_t *>(std::malloc(16));
    for (int i = 0; i < 4; ++i) {
        image->pixels[4 * i] = BlueOf(colour);
        image->pixels[4 * i + 1] = GreenOf(colour);
        image->pixels[4 * i + 2] = RedOf(colour);
        image->pixels[4 * i + 3] = 0;
    }
    ASSERT_TRUE(AppendBlock(page, std::move(image)));
}

void AddClip(PageObject &page, std::optional<RegionRect> rect)
{
    if (!rect) {
        ASSERT_TRUE(AppendBlock(page, RecordPtr<ClipBlock>()));
        return;
    }
    RegionPtr region = MakeRectRegion(rect->left, rect->top, rect->right, rect->bottom);
    ASSERT_TRUE(AppendBlock(page, RegionToClipBlock(*region)));
}

void Add(PageObject &page, const Item &run)
{
    switch (run.kind) {
    case Kind::Text: AddText(page, run); break;
    case Kind::Line: AddLine(page, 0, 0, 1, 1, 1, 0); break;
    case Kind::Image: AddImage(page, 0, 0, 2, 2, 0); break;
    case Kind::Clip: AddClip(page, std::nullopt); break;
    }
}

RecordPtr<PageObject> NewPage(int32_t width = 40, int32_t height = 30, const std::vector<Item> &runs = {})
{
    auto page = NewRecord<PageObject>();
    page->width = width;
    page->height = height;
    page->page = 1;
    page->pageCount = 1;
    page->zoom = 72;
    for (const Item &run : runs)
        Add(*page, run);
    return page;
}

RecordPtr<HtmLink> NewLinks(const std::vector<std::pair<RegionRect, std::string>> &links)
{
    auto list = NewRecord<HtmLink>();
    list->entries = static_cast<HtmLinkEntry *>(std::calloc(links.size() + 1, sizeof(HtmLinkEntry)));
    for (const auto &[rect, action] : links) {
        HtmLinkEntry &entry = list->entries[list->count++];
        entry.left = rect.left;
        entry.top = rect.top;
        entry.right = rect.right;
        entry.bottom = rect.bottom;
        entry.actionText = strdup(action.c_str());
    }
    return list;
}

// ---- Reading what was written

struct Span {
    int top = 0;
    int left = 0;
    int fontClass = 0;
    std::string text;
};

std::vector<Span> SpansIn(const std::string &html)
{
    static const std::regex span(
        R"re(<div style="position:absolute;top:(-?\d+);left:(-?\d+)"><span class="ft(-?\d+)">(.*?)</span></div>\n)re");
    std::vector<Span> spans;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), span); it != std::sregex_iterator(); ++it)
        spans.push_back(Span{std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3]), (*it)[4]});
    return spans;
}

std::vector<std::string> SpanTexts(const std::string &html)
{
    std::vector<std::string> texts;
    for (const Span &span : SpansIn(html))
        texts.push_back(span.text);
    return texts;
}

size_t Occurrences(const std::string &text, const std::string &piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

// A decoded JPEG: width, height, components and the samples, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    int components = 0;
    std::string samples;

    // Red, green and blue (or grey thrice) of a pixel.
    std::array<int, 3> At(int x, int y) const
    {
        const size_t at = (size_t(y) * width + x) * components;
        if (components == 1)
            return {uint8_t(samples[at]), uint8_t(samples[at]), uint8_t(samples[at])};
        return {uint8_t(samples[at]), uint8_t(samples[at + 1]), uint8_t(samples[at + 2])};
    }
};

std::optional<Picture> DecodeJpeg(const std::string &jpegPath, const TempDir &dir)
{
    const std::string pnm = dir.File("decoded.pnm");
    const test::ProgramResult run = test::RunProgram({"djpeg", "-pnm", "-outfile", pnm, jpegPath});
    if (run.exitCode != 0) {
        ADD_FAILURE() << "djpeg: " << run.output;
        return std::nullopt;
    }
    std::istringstream in(ReadFileBytes(pnm));
    std::string magic;
    int maxValue = 0;
    Picture picture;
    in >> magic >> picture.width >> picture.height >> maxValue;
    in.get();
    picture.components = magic == "P5" ? 1 : 3;
    picture.samples.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (picture.samples.size() != size_t(picture.width) * picture.height * picture.components)
        return std::nullopt;
    return picture;
}

testing::AssertionResult Near(std::array<int, 3> actual, uint32_t colour)
{
    const std::array<int, 3> expected{RedOf(colour), GreenOf(colour), BlueOf(colour)};
    for (int i = 0; i < 3; ++i)
        if (std::abs(actual[i] - expected[i]) > 24)
            return testing::AssertionFailure() << "rgb(" << actual[0] << "," << actual[1] << "," << actual[2]
                                               << ") is not near rgb(" << expected[0] << "," << expected[1] << ","
                                               << expected[2] << ")";
    return testing::AssertionSuccess();
}

// Every test has its own profile and its own folder beside the executable,
// with the real encoder linked in, and starts from a fresh writer state.
class HtmlPageWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseEncoder("/usr/bin/cjpeg");
        SetContinuousPageMode(false);
        SetPageOffsetX(0);
        SetPageOffsetY(0);
        TheFontClassTable().Clear();
        SetMessageHook([this](const std::string &message) { messages.push_back(message); });
    }
    void TearDown() override
    {
        SetMessageHook(nullptr);
        SetContinuousPageMode(false);
        SetPageOffsetX(0);
        SetPageOffsetY(0);
        TheFontClassTable().Clear();
    }

    void UseEncoder(const std::string &target) const
    {
        std::filesystem::remove(module.File("jpeg"));
        std::filesystem::create_symlink(target, module.File("jpeg"));
    }
    // An encoder script beside the executable in place of the real one.
    void UseEncoderScript(const std::string &body) const
    {
        const std::string path = module.File("jpeg");
        std::filesystem::remove(path);
        WriteFileBytes(path, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
    }
    static void SetProfile(const settings::NumberSetting &setting, int value)
    {
        ASSERT_TRUE(settings::Write(setting, value));
    }
    static void SetCharSpaces(int value) { ASSERT_TRUE(settings::Write(settings::config::QUILLON::CharSpaces, value)); }

    // Converts a page object to dir/name and reads the page back.
    std::string Convert(PageObject &page, const HtmLink *links = nullptr, const std::string &name = "page.htm")
    {
        result = PDF_ConvertToHtmlFile(&page, links, dir.File(name).c_str());
        return ReadFileBytes(dir.File(ContinuousPageMode() ? "index.htm" : name));
    }
    std::string ConvertRuns(const std::vector<Item> &runs)
    {
        auto page = NewPage(200, 100, runs);
        return Convert(*page);
    }

    TempDir module;
    TempDir profile;
    TempDir dir;
    ScopedEnvironment moduleDirectory{kModuleDirectoryVariable, module.Path().string()};
    ScopedEnvironment configHome{"XDG_CONFIG_HOME", profile.Path().string()};
    std::vector<std::string> messages;
    int32_t result = 0;
};

// ---- The page template

TEST_F(HtmlPageWriterTest, APageFileFollowsTheTemplatePieceByPiece)
{
    SetProfile(settings::profile::CHTMLPage::m_clBackground, 0x00CCBBAA);
    auto page = NewPage(40, 30, {Item{.x = 5, .y = 25, .text = u"Hi", .colour = 0x00332211}});
    const std::string html = Convert(*page);
    ASSERT_EQ(result, 1);

    const std::string expectedStart =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n"
        "<!-- saved from url=(0052)" + std::string(kSavedFromAddress) + " -->\n"
        "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
        "<title>page</title>\n\n"
        "<style>\n<!-- \nselect {font-size:12px;}\nA:link {text-decoration: none; color: blue}\n"
        "A:visited {text-decoration: none; color: purple}\nA:active {text-decoration: red}\n"
        "A:hover {text-decoration: underline; color:red}\n-->\n</style>\n"
        "<script TYPE=\"text/javascript\"> \n<!-- hide \nfunction killerrors()\n{ \nreturn true; \n} \n"
        "window.onerror = killerrors; \n// --> \n</script>\n"
        "<style type=\"text/css\">\n<!--\n"
        ".ft0{font-style:normal;font-weight:normal;font-size:20px;font-family:Arial;color:#112233;}\n"
        "-->\n</style>\n</head>\n<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#aabbcc\">\n"
        "\n<script TYPE=\"text/javascript\">\nvar currentpos,timer; \n";
    EXPECT_EQ(html.substr(0, expectedStart.size()), expectedStart);

    const std::string expectedEnd =
        "document.onmousedown=sc\ndocument.ondblclick=initialize\n</script>\n"
        "<div style=\"position:absolute;top:0;left:0\"><img width=\"40\" height=\"30\" src=\"page.jpg\" ALT=\"\"></div>\n"
        "<div style=\"position:absolute;top:7;left:5\"><span class=\"ft0\">Hi</span></div>\n"
        "<script TYPE=\"text/javascript\">\n\t\t\tvar currentZoom = parent.ltop.currentZoom;\n"
        "\t\t\tif(currentZoom != undefined)\n\t\t\t\tdocument.body.style.zoom=currentZoom/100;\n\t\t\t</script>\n"
        "</body>\n</html>";
    ASSERT_GE(html.size(), expectedEnd.size());
    EXPECT_EQ(html.substr(html.size() - expectedEnd.size()), expectedEnd);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HtmlPageWriterTest, ThePageHeadLinesAreSharedAndTheCommentCountsItsAddress)
{
    EXPECT_EQ(SavedFromComment(), "<!-- saved from url=(0052)" + std::string(kSavedFromAddress) + " -->");
    EXPECT_EQ(PageHeadLines(),
              "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n" + SavedFromComment() + "\n");
    EXPECT_EQ(HeadStart(""), "<html><head>" + std::string(CharsetMeta()));
    EXPECT_EQ(TitleElement("a<b & \"c\""), "<title>a&lt;b &amp; &quot;c&quot;</title>");
}

TEST_F(HtmlPageWriterTest, TheJpegPictureHasThePageSizeAndThePaintedBlocks)
{
    SetProfile(settings::profile::CRasterImage::m_iJPGQuality, 100);
    SetProfile(settings::profile::CHTMLPage::m_clBackground, 0x00FFFFFF);
    auto page = NewPage(60, 40);
    AddRectangle(*page, 0, 0, 20, 40, 0x000000FF);        // red left third
    AddImage(*page, 40, 0, 20, 20, 0x00FF0000);           // blue top right
    AddClip(*page, RegionRect{20, 20, 60, 40});           // bottom middle and right only
    AddRectangle(*page, 20, 0, 60, 40, 0x0000FF00);       // green, clipped
    AddClip(*page, std::nullopt);
    AddText(*page, Item{.x = 2, .y = 30, .text = u"X", .size = 30, .advance = 20, .colour = 0x00FFFFFF}); // upright
    SetCurrentPageObject(page.get()); // as after PDF_GetPageObject: painting must not record into it
    const int32_t blocksBefore = page->blockCount;
    Convert(*page);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(CurrentPageObject(), page.get());
    EXPECT_LE(page->blockCount, blocksBefore);
    SetCurrentPageObject(nullptr);

    const auto picture = DecodeJpeg(dir.File("page.jpg"), dir);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 60);
    EXPECT_EQ(picture->height, 40);
    EXPECT_EQ(picture->components, 3);
    EXPECT_TRUE(Near(picture->At(10, 10), 0x000000FF)) << "polygon";
    EXPECT_TRUE(Near(picture->At(10, 32), 0x000000FF)) << "upright text is not painted";
    EXPECT_TRUE(Near(picture->At(50, 8), 0x00FF0000)) << "image";
    EXPECT_TRUE(Near(picture->At(30, 8), 0x00FFFFFF)) << "clipped away";
    EXPECT_TRUE(Near(picture->At(30, 30), 0x0000FF00)) << "inside the clip";
    EXPECT_FALSE(std::filesystem::exists(dir.File("page.bmp")));
}

TEST_F(HtmlPageWriterTest, TurnedTextIsPaintedIntoThePictureAndNeverWrittenAsASpan)
{
    SetProfile(settings::profile::CRasterImage::m_iJPGQuality, 100);
    auto page = NewPage(80, 80, {Item{.x = 40, .y = 70, .text = u"WWW", .size = 30, .advance = 30, .orientation = 900}});
    const std::string html = Convert(*page);
    ASSERT_EQ(result, 1);
    EXPECT_TRUE(SpansIn(html).empty());
    EXPECT_NE(html.find("<!--\n-->\n</style>"), std::string::npos) << "no font class";

    const auto picture = DecodeJpeg(dir.File("page.jpg"), dir);
    ASSERT_TRUE(picture);
    int dark = 0;
    for (int y = 0; y < picture->height; ++y)
        for (int x = 0; x < picture->width; ++x)
            dark += picture->At(x, y)[0] < 128;
    EXPECT_GT(dark, 20);
}

TEST_F(HtmlPageWriterTest, GrayscaleMakesAOneComponentPicture)
{
    SetProfile(settings::profile::CRasterImage::m_bGrayscale, 1);
    auto page = NewPage(16, 8);
    Convert(*page);
    ASSERT_EQ(result, 1);
    const auto picture = DecodeJpeg(dir.File("page.jpg"), dir);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->components, 1);
    EXPECT_EQ(picture->width, 16);
}

// ---- The encoder command

TEST_F(HtmlPageWriterTest, TheEncoderGetsItsSwitchesAndATemporaryBitmapThatIsRemovedAfterwards)
{
    // Records its arguments, keeps a copy of the bitmap and writes a "JPEG".
    UseEncoderScript("printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n"
                     "for last; do :; done\n"
                     "cp \"$last\" \"$(dirname \"$0\")/seen.bmp\"\n"
                     "printf x > \"$2\"\n");
    struct Case {
        int quality;
        int grayscale;
        std::string switches;
    };
    for (const Case &c : {Case{75, 0, "-quality\n75\n"}, Case{1, 1, "-grayscale\n-quality\n1\n"},
                          Case{100, 0, "-quality\n100\n"}, Case{0, 0, ""}, Case{101, 1, "-grayscale\n"}}) {
        SCOPED_TRACE(c.quality);
        SetProfile(settings::profile::CRasterImage::m_iJPGQuality, c.quality);
        SetProfile(settings::profile::CRasterImage::m_bGrayscale, c.grayscale);
        auto page = NewPage(101, 10);
        Convert(*page);
        EXPECT_EQ(result, 1);
        const std::string args = ReadFileBytes(module.File("args.txt"));
        const std::string start = "-outfile\n" + dir.File("page.jpg") + "\n" + c.switches;
        ASSERT_EQ(args.substr(0, start.size()), start);
        const std::string bitmapPath = args.substr(start.size(), args.size() - start.size() - 1);
        EXPECT_EQ(bitmapPath.find('\n'), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(bitmapPath)) << "the temporary bitmap is removed";
        EXPECT_EQ(std::filesystem::path(bitmapPath).parent_path(), TemporaryDirectory());

        const std::string bmp = ReadFileBytes(module.File("seen.bmp"));
        ASSERT_EQ(bmp.size(), 14u + 40 + 304 * 10); // 24 bits per pixel, rows padded
        BitmapInfoHeader header;
        std::memcpy(&header, bmp.data() + 14, sizeof header);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biWidth, 101);
        EXPECT_EQ(header.biHeight, 10);
    }
    EXPECT_EQ(EncoderCommand("a.jpg", "b.bmp", false, 75).front(), module.File("jpeg"));
}

TEST_F(HtmlPageWriterTest, AMissingOrFailingEncoderIsAFailureButThePageTextIsWritten)
{
    UseEncoderScript("exit 1\n");
    auto failing = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    const std::string html = Convert(*failing);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(SpanTexts(html), std::vector<std::string>{"a"});

    UseEncoderScript("exit 0\n"); // claims success without writing anything
    auto silent = NewPage(10, 10);
    Convert(*silent);
    EXPECT_EQ(result, -1);

    std::filesystem::remove(module.File("jpeg"));
    auto missing = NewPage(10, 10);
    Convert(*missing);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(messages.empty());

    auto empty = NewPage(0, 10); // no area, no picture
    UseEncoder("/usr/bin/cjpeg");
    Convert(*empty);
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("page.jpg")));
}

TEST_F(HtmlPageWriterTest, RunHiddenReportsTheExitCode)
{
    EXPECT_EQ(RunHidden({"/bin/sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(RunHidden({"/bin/sh", "-c", "kill -9 $$"}), -1);
    EXPECT_EQ(RunHidden({module.File("no-such-program")}), -1);
    EXPECT_EQ(RunHidden({"sh", "-c", "exit 0"}), -1) << "the program is not searched for";
    EXPECT_EQ(RunHidden({}), -1);
}

// ---- Files that cannot be written

TEST_F(HtmlPageWriterTest, AnOutputFileThatCannotBeCreatedIsReportedAndAFailure)
{
    auto page = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    const std::string path = dir.File("missing-folder/page.htm");
    EXPECT_EQ(PDF_ConvertToHtmlFile(page.get(), nullptr, path.c_str()), -1);
    EXPECT_EQ(messages, std::vector<std::string>{"Create file error [" + path + "]!"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing-folder")));
}

TEST_F(HtmlPageWriterTest, WithoutAHookTheMessageGoesToStandardError)
{
    SetMessageHook(nullptr);
    auto page = NewPage(10, 10);
    const std::string path = dir.File("missing-folder/page.htm");
    testing::internal::CaptureStderr();
    EXPECT_EQ(PDF_ConvertToHtmlFile(page.get(), nullptr, path.c_str()), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Create file error [" + path + "]!"), std::string::npos);
}

TEST_F(HtmlPageWriterTest, APageThatCannotBeWrittenCompletelyIsAFailure)
{
    std::filesystem::create_symlink("/dev/full", dir.File("page.htm"));
    auto page = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    EXPECT_EQ(PDF_ConvertToHtmlFile(page.get(), nullptr, dir.File("page.htm").c_str()), -1);

    // In the continuous page, the pages written before stay as they were: a
    // file size limit lets the first page in and stops the second.
    SetContinuousPageMode(true);
    UseEncoderScript("printf x > \"$2\"\n");
    std::filesystem::remove(dir.File("page.htm"));
    auto first = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    const std::string before = Convert(*first);
    ASSERT_EQ(result, 1);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = before.size() + 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto second = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    const int32_t secondResult = PDF_ConvertToHtmlFile(second.get(), nullptr, dir.File("page.htm").c_str());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(secondResult, -1);
    EXPECT_EQ(ReadFileBytes(dir.File("index.htm")), before);
}

TEST_F(HtmlPageWriterTest, MissingArgumentsTouchNothing)
{
    auto page = NewPage(10, 10, {Item{.x = 1, .y = 9}});
    EXPECT_EQ(PDF_ConvertToHtmlFile(nullptr, nullptr, dir.File("page.htm").c_str()), -1);
    EXPECT_EQ(PDF_ConvertToHtmlFile(page.get(), nullptr, nullptr), -1);
    EXPECT_EQ(PDF_ConvertToHtmlFile(page.get(), nullptr, ""), -1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    EXPECT_EQ(page->blockCount, 1);
}

// ---- Font classes

TEST_F(HtmlPageWriterTest, EachDistinctStyleGetsAClassInTheOrderFirstMet)
{
    const std::string html = ConvertRuns({
        Item{.x = 10, .y = 20, .text = u"a"},
        Item{.x = 10, .y = 50, .text = u"b", .bold = 1},
        Item{.x = 10, .y = 80, .text = u"c"},
        Item{.x = 100, .y = 20, .text = u"d", .colour = 0x000000FF, .italic = 1},
        Item{.x = 100, .y = 50, .text = u"e", .face = "arial"},
        Item{.x = 100, .y = 80, .text = u"f", .size = 12, .advance = 6},
        Item{.x = 150, .y = 80, .text = u"g", .colour = 0x00FF0000, .orientation = 450}, // turned: no class
    });
    EXPECT_NE(html.find(".ft0{font-style:normal;font-weight:normal;font-size:20px;font-family:Arial;color:#000000;}\n"
                        ".ft1{font-style:normal;font-weight:bold;font-size:20px;font-family:Arial;color:#000000;}\n"
                        ".ft2{font-style:italic;font-weight:normal;font-size:20px;font-family:Arial;color:#ff0000;}\n"
                        ".ft3{font-style:normal;font-weight:normal;font-size:20px;font-family:arial;color:#000000;}\n"
                        ".ft4{font-style:normal;font-weight:normal;font-size:12px;font-family:Arial;color:#000000;}\n"
                        "-->"),
              std::string::npos)
        << html;
    std::vector<int> classes;
    for (const Span &span : SpansIn(html))
        classes.push_back(span.fontClass);
    EXPECT_EQ(classes, (std::vector<int>{0, 1, 0, 2, 3, 4}));
}

TEST_F(HtmlPageWriterTest, ClassNumbersRestartPerPageButLastTheWholeContinuousFile)
{
    auto first = NewPage(20, 20, {Item{.x = 1, .y = 15, .colour = 0x000000FF}});
    Convert(*first, nullptr, "one.htm");
    auto second = NewPage(20, 20, {Item{.x = 1, .y = 15, .colour = 0x0000FF00}});
    const std::string single = Convert(*second, nullptr, "two.htm");
    EXPECT_NE(single.find(".ft0{") , std::string::npos);
    EXPECT_EQ(single.find(".ft1{"), std::string::npos);

    TheFontClassTable().Clear();
    SetContinuousPageMode(true);
    auto red = NewPage(20, 20, {Item{.x = 1, .y = 15, .colour = 0x000000FF}});
    Convert(*red, nullptr, "one.htm");
    auto green = NewPage(20, 20, {Item{.x = 1, .y = 15, .colour = 0x0000FF00}});
    const std::string continuous = Convert(*green, nullptr, "two.htm");
    const std::string secondDocument = continuous.substr(continuous.rfind("<!DOCTYPE"));
    EXPECT_NE(secondDocument.find(".ft0{font-style:normal;font-weight:normal;font-size:20px;font-family:Arial;color:#ff0000;}\n"
                                  ".ft1{font-style:normal;font-weight:normal;font-size:20px;font-family:Arial;color:#00ff00;}\n"),
              std::string::npos);
    EXPECT_EQ(SpansIn(secondDocument).at(0).fontClass, 1);
}

TEST_F(HtmlPageWriterTest, AFaceCannotBreakOutOfTheStyleBlock)
{
    const std::string html =
        ConvertRuns({Item{.x = 1, .y = 20, .face = "Bad;}</style><script>\"x'\\\n"}});
    EXPECT_NE(html.find("font-family:Bad/stylescriptx;color"), std::string::npos) << html;
    EXPECT_EQ(Occurrences(html, "</style>"), 2u);
    EXPECT_EQ(CssFaceName("Times New Roman"), "Times New Roman");
}

// ---- Text spans

struct SpanCase {
    const char *name;
    std::vector<Item> runs;
    std::vector<std::string> spans;
    int checkSpaces = 1;
    int charSpaces = 50;
};

class TextSpans : public HtmlPageWriterTest, public testing::WithParamInterface<SpanCase> {};

TEST_P(TextSpans, AreGroupedAsTheRunsStand)
{
    const SpanCase &c = GetParam();
    SetProfile(settings::profile::QUILLON::CheckSpaces, c.checkSpaces);
    SetCharSpaces(c.charSpaces);
    EXPECT_EQ(SpanTexts(ConvertRuns(c.runs)), c.spans);
}

const Item kA{.x = 10, .y = 60, .text = u"a", .size = 50, .advance = 30};

Item Next(Item run, int32_t x, std::u16string text)
{
    run.x = x;
    run.text = std::move(text);
    return run;
}

Item Changed(Item run, void (*change)(Item &))
{
    change(run);
    return run;
}

INSTANTIATE_TEST_SUITE_P(
    HtmlPageWriter, TextSpans,
    testing::Values(
        SpanCase{"Touching", {kA, Next(kA, 40, u"b")}, {"ab"}},
        SpanCase{"SeparatedGetASpace", {kA, Next(kA, 48, u"b")}, {"a b"}},
        SpanCase{"SeparatedWithoutCheckSpaces", {kA, Next(kA, 48, u"b")}, {"ab"}, 0},
        SpanCase{"JustNotSeparated", {kA, Next(kA, 47, u"b")}, {"ab"}},
        SpanCase{"CharSpacesZero", {kA, Next(kA, 40, u"b"), Next(kA, 70, u"c")}, {"a", "b", "c"}, 1, 0},
        SpanCase{"StepAtTheLimit", {kA, Next(kA, 60, u"b")}, {"a b"}},
        SpanCase{"StepBeyondTheLimitStartsASpanWithASpace", {kA, Next(kA, 61, u"b")}, {"a", " b"}},
        SpanCase{"DrawnTwiceOnTheSameSpot", {kA, kA, Next(kA, 40, u"b")}, {"ab"}},
        SpanCase{"EachDrawnTwice", {kA, kA, Next(kA, 40, u"b"), Next(kA, 40, u"b")}, {"ab"}},
        SpanCase{"DrawnTwiceWithAnotherText", {kA, Next(kA, 10, u"b")}, {"a", "b"}},
        SpanCase{"OtherColour", {kA, Changed(Next(kA, 40, u"b"), [](Item &r) { r.colour = 0xFF; })}, {"a", "b"}},
        SpanCase{"OtherFace", {kA, Changed(Next(kA, 40, u"b"), [](Item &r) { r.face = "Courier"; })}, {"a", "b"}},
        SpanCase{"BoldJoins", {kA, Changed(Next(kA, 40, u"b"), [](Item &r) { r.bold = 1; })}, {"ab"}},
        SpanCase{"NextLineCloseBelowJoins", {kA, Changed(Next(kA, 45, u"b"), [](Item &r) { r.y = 109; })}, {"ab"}},
        SpanCase{"NextLineAFontSizeBelow", {kA, Changed(Next(kA, 45, u"b"), [](Item &r) { r.y = 110; })}, {"a", "b"}},
        SpanCase{"NextLineStartingLeft", {kA, Changed(Next(kA, 5, u"b"), [](Item &r) { r.y = 109; })}, {"a", "b"}},
        SpanCase{"ALineBetweenParts", {kA, Item{.kind = Kind::Line}, Next(kA, 40, u"b")}, {"a", "b"}},
        SpanCase{"AClipBetweenParts", {kA, Item{.kind = Kind::Clip}, Next(kA, 40, u"b")}, {"a", "b"}},
        SpanCase{"AnImageBetweenLeavesTheList", {kA, Item{.kind = Kind::Image}, Next(kA, 40, u"b")}, {"ab"}},
        SpanCase{"TurnedTextBetweenParts", {kA, Changed(Next(kA, 30, u"x"), [](Item &r) { r.orientation = 900; }),
                                            Next(kA, 40, u"b")},
                 {"a", "b"}}),
    [](const testing::TestParamInfo<SpanCase> &info) { return std::string(info.param.name); });

TEST_F(HtmlPageWriterTest, SpansArePlacedAtTheTopOfTheirLineBoxPlusTheOffsets)
{
    SetPageOffsetX(7);
    SetPageOffsetY(-3);
    const auto spans = SpansIn(ConvertRuns({Item{.x = 12, .y = 40, .size = 20}}));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].top, -3 + 40 - 20 + 2);
    EXPECT_EQ(spans[0].left, 7 + 12);
}

TEST_F(HtmlPageWriterTest, TextIsWrittenAsEscapedUtf8)
{
    struct Case {
        std::u16string text;
        std::string written;
        std::optional<std::string> inSpan = {}; // when the span writes it otherwise
    };
    for (const Case &c : {Case{u"<", "&lt;"}, Case{u">", "&gt;"}, Case{u"&", "&amp;"}, Case{u"\"", "&quot;"},
                          Case{u"?", "?"}, Case{u"a<b&\"c\">", "a&lt;b&amp;&quot;c&quot;&gt;"},
                          Case{u"\u00BD", "&frac12;"}, Case{u"\u201D", "\u201D", "&quot;"}, Case{u"\u201C", "\u201C"},
                          Case{u"\u00E9t\u00E9", "\u00E9t\u00E9"}, Case{u"\U0001F600", "\U0001F600"},
                          Case{std::u16string(1, char16_t(0xD800)), "."}, Case{u"fi", "fi"}}) {
        SCOPED_TRACE(c.written);
        std::string span;
        AppendHtmlText(reinterpret_cast<const uint8_t *>(std::u16string(c.text).data()), int32_t(c.text.size()), span);
        EXPECT_EQ(span, c.written);
        EXPECT_EQ(SpanTexts(ConvertRuns({Item{.x = 1, .y = 30, .text = c.text}})),
                  std::vector<std::string>{c.inSpan.value_or(c.written)});
    }
}

TEST_F(HtmlPageWriterTest, TheTitleIsTheEscapedBaseName)
{
    auto page = NewPage(10, 10);
    const std::string html = Convert(*page, nullptr, "a&b<c>.htm");
    EXPECT_NE(html.find("<title>a&amp;b&lt;c&gt;</title>"), std::string::npos);
    EXPECT_NE(html.find("src=\"a&amp;b&lt;c&gt;.jpg\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.File("a&b<c>.jpg")));
}

// ---- Links

TEST_F(HtmlPageWriterTest, LinksBecomeAnImageMapOnThePicture)
{
    SetPageOffsetX(3);
    SetPageOffsetY(4);
    auto links = NewLinks({{{1, 2, 3, 4}, "actionGoTo:12"},
                           {{5, 6, 7, 8}, "actionURI:http://example.com/?a=1&b=\"2\""},
                           {{0, 0, 1, 1}, "actionGoToR:other.pdf"},
                           {{0, 0, 1, 1}, ""},
                           {{0, 0, 1, 1}, "actionURI:javascript:alert(1)"},
                           {{0, 0, 1, 1}, "actionLaunch:<x>"}});
    auto page = NewPage(30, 20);
    const std::string html = Convert(*page, links.get(), "page.htm");
    EXPECT_NE(html.find("<div style=\"position:absolute;top:4;left:3\"><map name=\"FPMap0\">\n"
                        "<area href=\"pg_0012.htm\" shape=\"rect\" coords=\"1,2,3,4\">\n"
                        "<area href=\"http://example.com/?a=1&amp;b=&quot;2&quot;\" shape=\"rect\" coords=\"5,6,7,8\">\n"
                        "<area href=\"actionGoToR:other.pdf\" shape=\"rect\" coords=\"0,0,1,1\">\n"
                        "<area href=\"\" shape=\"rect\" coords=\"0,0,1,1\">\n"
                        "<area href=\"\" shape=\"rect\" coords=\"0,0,1,1\">\n"
                        "<area href=\"actionLaunch:&lt;x&gt;\" shape=\"rect\" coords=\"0,0,1,1\">\n"
                        "</map>\n"
                        "<img width=\"30\" height=\"20\" src=\"page.jpg\" ALT=\"\" usemap=\"#FPMap0\"></div>\n"),
              std::string::npos)
        << html;

    auto none = NewLinks({});
    auto plain = NewPage(30, 20);
    EXPECT_EQ(Convert(*plain, none.get()).find("<map"), std::string::npos) << "an empty list makes no map";
}

TEST_F(HtmlPageWriterTest, LinkTargetsFollowTheActionForm)
{
    struct Case {
        const char *action;
        const char *extension;
        const char *target;
    };
    for (const Case &c : {Case{"actionGoTo:12", ".htm", "pg_0012.htm"}, Case{"actionGoTo:12345", ".html", "pg_12345.html"},
                          Case{"actionGoTo:", ".htm", "pg_0000.htm"},
                          Case{"actionURI:http://a/actionURI:b", ".htm", "http://a/b"},
                          Case{"actionURI:mailto:x@example.com", ".htm", "mailto:x@example.com"},
                          Case{"actionURI:JavaScript:x", ".htm", ""}, Case{"actionURI: java\tscript:x", ".htm", ""},
                          Case{"actionURI:VBSCRIPT:x", ".htm", ""}, Case{"actionURI:data:text/html,x", ".htm", ""},
                          Case{"actionURI:datafile.htm", ".htm", "datafile.htm"},
                          Case{"javascript:x", ".htm", ""}, Case{"actionLaunch:run.exe", ".htm", "actionLaunch:run.exe"}}) {
        EXPECT_EQ(LinkTarget(c.action, c.extension), c.target) << c.action;
    }
}

// ---- Continuous-page mode

TEST_F(HtmlPageWriterTest, ContinuousPagesStandOneBelowTheOtherInOneFile)
{
    SetContinuousPageMode(true);
    SetPageOffsetX(5);
    auto links = NewLinks({{{1, 2, 3, 4}, "actionGoTo:2"}});
    std::string html;
    int index = 0;
    for (const int32_t height : {1000, 1100, 900}) {
        auto page = NewPage(20, height, {Item{.x = 2, .y = 30, .size = 20}});
        html = Convert(*page, links.get(), "pg_000" + std::to_string(++index) + ".htm");
        EXPECT_EQ(result, 1);
    }
    EXPECT_EQ(PageOffsetY(), 3030);
    EXPECT_EQ(Occurrences(html, "<!DOCTYPE"), 3u);
    EXPECT_EQ(Occurrences(html, "</html>"), 3u);
    EXPECT_EQ(html.find("currentZoom"), std::string::npos);
    EXPECT_EQ(html.find("<map"), std::string::npos) << "no image map in a continuous page";
    for (const char *picture : {"<div style=\"position:absolute;top:0;left:5\"><img width=\"20\" height=\"1000\" src=\"pg_0001.jpg\"",
                                "<div style=\"position:absolute;top:1010;left:5\"><img width=\"20\" height=\"1100\" src=\"pg_0002.jpg\"",
                                "<div style=\"position:absolute;top:2120;left:5\"><img width=\"20\" height=\"900\" src=\"pg_0003.jpg\""})
        EXPECT_NE(html.find(picture), std::string::npos) << picture;
    std::vector<int> tops;
    for (const Span &span : SpansIn(html))
        tops.push_back(span.top);
    EXPECT_EQ(tops, (std::vector<int>{12, 1022, 2132}));
    EXPECT_NE(html.find("<title>pg_0003</title>"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("pg_0001.htm")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("pg_0003.jpg")));
}

TEST_F(HtmlPageWriterTest, ContinuousPagesCanLeaveOutThePictures)
{
    SetProfile(settings::profile::m_bRemovePics::Flag, 1);
    auto single = NewPage(20, 20);
    EXPECT_NE(Convert(*single).find("<img"), std::string::npos) << "only the continuous page leaves them out";
    SetContinuousPageMode(true);
    auto page = NewPage(20, 20, {Item{.x = 2, .y = 15}});
    const std::string html = Convert(*page);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(SpanTexts(html), std::vector<std::string>{"a"});
}

// ---- The page object afterwards

TEST_F(HtmlPageWriterTest, ThePageObjectKeepsOnlyItsTextAndEmptiedBlocks)
{
    auto page = NewPage(40, 30, {Item{.x = 1, .y = 20}, Item{.kind = Kind::Image}, Item{.kind = Kind::Line},
                                 Item{.kind = Kind::Clip}, Item{.x = 5, .y = 20, .orientation = 900}});
    AddRectangle(*page, 0, 0, 5, 5, 0);
    AddClip(*page, RegionRect{0, 0, 10, 10});
    Convert(*page);
    std::vector<int32_t> types;
    for (int32_t i = 0; i < page->blockCount; ++i)
        types.push_back(page->blocks[i]->blockType);
    EXPECT_EQ(types, (std::vector<int32_t>{PAGE_BLOCK_TEXT, PAGE_BLOCK_RELEASED, PAGE_BLOCK_RELEASED, PAGE_BLOCK_TEXT,
                                           PAGE_BLOCK_RELEASED, PAGE_BLOCK_RELEASED}));
    EXPECT_EQ(page->blocks[1]->line, nullptr);
    PDF_DestroyPageObject(page.release());
}

// ---- A rendered PDF page

TEST_F(HtmlPageWriterTest, ARenderedPageBecomesAPageWithItsTextPictureAndLinks)
{
    PdfBuilder pdf;
    const std::string font = pdf.AddFont("Helvetica");
    const int first = pdf.AddPage(200, 100, "1 0 0 rg 0 0 50 50 re f BT /" + font + " 20 Tf 60 40 Td (Hi & bye) Tj ET");
    const int second = pdf.AddPage(200, 100);
    pdf.AddLink(first, {10, 10, 40, 30}, test::Action::GoTo(test::Dest::Page(second)));
    pdf.AddLink(first, {100, 10, 140, 30}, test::Action::Uri("javascript:alert(1)"));
    const std::string pdfPath = dir.File("doc.pdf");
    pdf.Save(pdfPath);
    EngineHandle handle = PDF_Open(pdfPath.c_str(), nullptr, nullptr, 72);
    ASSERT_NE(handle, nullptr);
    PageObject *page = PDF_GetPageObject(handle, 1);
    ASSERT_NE(page, nullptr);
    HtmLink *links = PDF_GetPageHtmLink(handle, 1);
    ASSERT_NE(links, nullptr);
    const std::string htmlPath = dir.File("pg_0001.htm");
    EXPECT_EQ(PDF_ConvertToHtmlFile(page, links, htmlPath.c_str()), 1);
    PDF_DestroyHtmLink(links);
    PDF_DestroyPageObject(page);
    PDF_Close(handle);

    const std::string html = ReadFileBytes(htmlPath);
    std::string text;
    for (const std::string &span : SpanTexts(html))
        for (const char c : span)
            if (c != ' ')
                text.push_back(c);
    EXPECT_EQ(text, "Hi&amp;bye") << html;
    EXPECT_NE(html.find("<area href=\"pg_0002.htm\" shape=\"rect\" coords=\"10,70,40,90\">"), std::string::npos)
        << html;
    EXPECT_NE(html.find("<area href=\"\" shape=\"rect\""), std::string::npos);
    const auto picture = DecodeJpeg(dir.File("pg_0001.jpg"), dir);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 200);
    EXPECT_EQ(picture->height, 100);
    EXPECT_TRUE(Near(picture->At(20, 80), 0x000000FF)) << "the red square";
    EXPECT_TRUE(Near(picture->At(150, 20), 0x00FFFFFF));
}

} // namespace
} // namespace lumora
