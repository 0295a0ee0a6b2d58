// The outline file: one line per outline item with its level, title and
// destination; hostile outlines; where the file goes and what the caller's
// buffer receives.
#include "engine/EngineHandle.h"
#include "lumora_engine.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace lumora::test {
namespace {

namespace fs = std::filesystem;
using HandlePtr = std::unique_ptr<EngineHandleRecord, decltype(&PDF_Close)>;
// Points the temporary directory at a test's own folder.
struct ScopedTemporaryDirectory : lumora::test::ScopedEnvironment {
    explicit ScopedTemporaryDirectory(const std::string &directory) : ScopedEnvironment("TMPDIR", directory) {}
};

struct Bookmark {
    int32_t result = -1;
    std::string buffer;
    std::optional<std::string> file; // the outline file's bytes; none when there is no file
};

// The line ending of an item whose destination is the whole page.
std::string OnPage(int page) { return "<>," + std::to_string(page) + ",0,0,0,0,0,0,0,0\n"; }

PdfBuilder ThreePages()
{
    PdfBuilder pdf;
    for (int i = 0; i < 3; ++i)
        pdf.AddPage(612, 792);
    return pdf;
}

class OutlineTest : public ::testing::Test {
protected:
    std::string OutlinePath() const { return dir_.File("outlines-" + std::to_string(::getpid()) + ".txt"); }

    std::optional<std::string> OutlineFile() const
    {
        if (!fs::exists(fs::symlink_status(OutlinePath())))
            return std::nullopt;
        return ReadFileBytes(OutlinePath());
    }

    HandlePtr Open(const PdfBuilder &pdf)
    {
        const std::string path = dir_.File("outline" + std::to_string(++fileCount_) + ".pdf");
        pdf.Save(path);
        return HandlePtr(PDF_Open(path.c_str(), nullptr, nullptr, 72), &PDF_Close);
    }

    Bookmark Get(EngineHandle handle, int32_t bufferSize = 260)
    {
        std::vector<char> buffer(size_t(std::max(bufferSize, 1)) + 1, 'x');
        buffer.back() = '\0';
        Bookmark bookmark;
        bookmark.result = PDF_GetBookmark(handle, buffer.data(), bufferSize);
        bookmark.buffer = buffer.data();
        bookmark.file = OutlineFile();
        return bookmark;
    }

    Bookmark Get(const PdfBuilder &pdf, int32_t bufferSize = 260)
    {
        HandlePtr handle = Open(pdf);
        if (!handle) {
            ADD_FAILURE() << "the fixture does not open";
            return {};
        }
        return Get(handle.get(), bufferSize);
    }

    // The outline file of a document whose outline is the one item.
    std::optional<std::string> FileOfOneItem(const OutlineEntry &item)
    {
        PdfBuilder pdf = ThreePages();
        pdf.SetOutline({item});
        return Get(pdf).file;
    }

    TempDir dir_;
    ScopedTemporaryDirectory temporary_{dir_.Path().string()};
    int fileCount_ = 0;
};

TEST_F(OutlineTest, WritesOneLinePerItemWithItsLevelInDocumentOrder)
{
    PdfBuilder pdf = ThreePages();
    pdf.SetOutline({
        OutlineEntry("Chapter 1", Dest::Page(1),
                     {OutlineEntry("Section 1.1", Dest::Page(2).Xyz(72, 700, 0)),
                      OutlineEntry("Section 1.2", std::nullopt, {OutlineEntry("Detail", Dest::Page(3))})}),
        OutlineEntry("Chapter 2", Dest::Page(3)),
    });

    const Bookmark bookmark = Get(pdf);

    EXPECT_EQ(bookmark.result, 1);
    EXPECT_EQ(bookmark.buffer, OutlinePath());
    EXPECT_EQ(bookmark.file, "Chapter 1" + OnPage(1) +            //
                                 "\tSection 1.1<>,2,72,700,0,0,0,1,1,0\n" //
                                 "\tSection 1.2\n"                        //
                                 "\t\tDetail" + OnPage(3) +               //
                                 "Chapter 2" + OnPage(3));
}

TEST_F(OutlineTest, TitlesBecomeUtf8TextThatStaysOnItsLine)
{
    struct Case {
        const char *name;
        OutlineEntry item;
        std::string title;
    };
    const auto raw = [](std::string pdfText) {
        OutlineEntry item;
        item.rawTitle = std::move(pdfText);
        return item;
    };
    const auto utf16 = [](std::string title) {
        OutlineEntry item(std::move(title));
        item.utf16 = true;
        return item;
    };
    std::string accents;
    for (int i = 0; i < 2000; ++i)
        accents += "\u00e9";
    const std::vector<Case> cases = {
        {"literal", OutlineEntry("Plain title"), "Plain title"},
        {"UTF-16 letters", utf16("Letters"), "Letters"},
        {"UTF-16 with a double quote", utf16("Say \"hi\""), "Say  hi "},
        {"UTF-16 beyond Latin-1", OutlineEntry("Gr\u00f6\u00dfe \u4e2d\u6587 \U0001F600"),
         "Gr\u00f6\u00dfe \u4e2d\u6587 \U0001F600"},
        {"UTF-16 little-endian", raw("<FFFE41004200>"), "AB"},
        {"UTF-16 up to a zero unit", raw("<FEFF004100000042>"), "A"},
        {"UTF-16 byte order mark only", raw("<FEFF>"), " "},
        {"UTF-8 with byte order mark", raw("<EFBBBF C3A9>"), "\u00e9"},
        {"PDFDocEncoding", raw("(caf\\351 \\200 \\237)"), "caf\u00e9 \u2022 \uFFFD"},
        {"empty", OutlineEntry(""), " "},
        {"zero first byte", raw("<00414243>"), " "},
        {"not a string", raw("42"), " "},
        {"line ends and tabs", raw("(\\tone\\ntwo\\r\\nthree)"), " one two  three"},
        {"the destination marker", OutlineEntry("a<>,5"), "a<> ,5"},
        {"very long, cut between characters", utf16("a" + accents), "a" + accents.substr(0, 2998)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OutlineEntry item = c.item;
        item.dest = Dest::Page(1);
        EXPECT_EQ(FileOfOneItem(item), c.title + OnPage(1));
    }
}

TEST_F(OutlineTest, DestinationsAreFoundWhereverTheyAreKept)
{
    struct Case {
        const char *name;
        std::function<void(PdfBuilder &, OutlineEntry &)> make;
        std::string ending;
    };
    const auto withDest = [](Dest dest) {
        return [dest](PdfBuilder &, OutlineEntry &item) { item.dest = dest; };
    };
    const auto withGoTo = [](Dest dest) {
        return [dest](PdfBuilder &, OutlineEntry &item) { item.goToDest = dest; };
    };
    const std::vector<Case> cases = {
        {"view of a page", withDest(Dest::Page(2).View("/FitH 500")), "<>,2,0,500,0,0,0,0,1,0\n"},
        {"position and zoom as whole numbers", withDest(Dest::Page(2).Xyz(-12.7, 700.9, 1.5)),
         "<>,2,-12,700,0,0,1,1,1,1\n"},
        {"page given as a number", withDest(Dest::PageIndex(1)), OnPage(2)},
        {"object that is no page", withDest(Dest::Object(1)), OnPage(0)},
        {"named, in the catalog's Dests",
         [](PdfBuilder &pdf, OutlineEntry &item) {
             pdf.AddNamedDest("intro", Dest::Page(2));
             item.dest = Dest::Named("intro");
         },
         OnPage(2)},
        {"named, in the name tree as a dictionary",
         [](PdfBuilder &pdf, OutlineEntry &item) {
             pdf.AddNamedDest("intro", Dest::Page(3), DestStore::NameTree, true);
             item.dest = Dest::Named("intro");
         },
         OnPage(3)},
        {"named by a name object",
         [](PdfBuilder &pdf, OutlineEntry &item) {
             pdf.AddNamedDest("intro", Dest::Page(2));
             item.dest = Dest::Raw("/intro");
         },
         OnPage(2)},
        {"named but missing",
         [](PdfBuilder &pdf, OutlineEntry &item) {
             pdf.AddNamedDest("intro", Dest::Page(2));
             item.dest = Dest::Named("nowhere");
         },
         "\n"},
        {"dictionary holding the array",
         [](PdfBuilder &pdf, OutlineEntry &item) { item.dest = Dest::Raw("<< /D [" + pdf.PageRef(2) + " /Fit] >>"); },
         OnPage(2)},
        {"go-to action", withGoTo(Dest::Page(3)), OnPage(3)},
        {"go-to action to a named destination",
         [](PdfBuilder &pdf, OutlineEntry &item) {
             pdf.AddNamedDest("end", Dest::Page(3), DestStore::NameTree);
             item.goToDest = Dest::Named("end");
         },
         OnPage(3)},
        {"Dest before the action",
         [](PdfBuilder &, OutlineEntry &item) {
             item.dest = Dest::Page(1);
             item.goToDest = Dest::Page(3);
         },
         OnPage(1)},
        {"go-to into another file",
         [](PdfBuilder &, OutlineEntry &item) { item.extraEntries = "/A << /S /GoToR /F (other.pdf) /D [0 /Fit] >>"; },
         "\n"},
        {"empty array", withDest(Dest::Raw("[]")), "\n"},
        {"a number", withDest(Dest::Raw("7")), "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf = ThreePages();
        OutlineEntry item("Item");
        c.make(pdf, item);
        pdf.SetOutline({item});
        EXPECT_EQ(Get(pdf).file, "Item" + c.ending);
    }
}

// The root's Count only says how many items are open: an outline of closed
// items, or one whose producer wrote 0, still has its items.
TEST_F(OutlineTest, ItemsAreWrittenWhateverTheCountsSay)
{
    OutlineEntry closed("Closed", Dest::Page(1), {OutlineEntry("Hidden", Dest::Page(2))});
    closed.closed = true;
    for (const int rootCount : {0, -4, 2, 2147483647}) {
        SCOPED_TRACE(rootCount);
        PdfBuilder pdf = ThreePages();
        pdf.SetOutline({closed, OutlineEntry("Open", Dest::Page(3))}, rootCount);
        const Bookmark bookmark = Get(pdf);
        EXPECT_EQ(bookmark.result, 1);
        EXPECT_EQ(bookmark.file, "Closed" + OnPage(1) + "\tHidden" + OnPage(2) + "Open" + OnPage(3));
    }
}

TEST_F(OutlineTest, ADocumentWithoutItemsGetsNoFileButThePath)
{
    struct Case {
        const char *name;
        std::function<void(PdfBuilder &)> make;
    };
    const std::vector<Case> cases = {
        {"no outline", [](PdfBuilder &) {}},
        {"outline without items", [](PdfBuilder &pdf) { pdf.SetOutline({}, 5); }},
        {"outline that is no dictionary", [](PdfBuilder &pdf) { pdf.AddCatalogEntry("/Outlines (none)"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(OutlinePath(), "an earlier document's outline\n");
        PdfBuilder pdf = ThreePages();
        c.make(pdf);
        const Bookmark bookmark = Get(pdf);
        EXPECT_EQ(bookmark.result, 0);
        EXPECT_EQ(bookmark.buffer, OutlinePath());
        EXPECT_EQ(bookmark.file, std::nullopt);
    }
}

TEST_F(OutlineTest, CyclesInTheOutlineEndTheirChain)
{
    PdfBuilder pdf = ThreePages();
    const int root = pdf.ReserveObject(), a = pdf.ReserveObject(), b = pdf.ReserveObject(), c = pdf.ReserveObject();
    const auto ref = [](int object) { return " " + std::to_string(object) + " 0 R"; };
    pdf.SetObject(root, "<< /Type /Outlines /First" + ref(a) + " /Last" + ref(b) + " /Count 3 >>");
    // A's child C leads back to A as its child and to itself as its sibling;
    // B leads back to A as its sibling and to the root as its child.
    pdf.SetObject(a, "<< /Title (A) /Next" + ref(b) + " /First" + ref(c) + " /Last" + ref(c) + " >>");
    pdf.SetObject(c, "<< /Title (C) /Next" + ref(c) + " /First" + ref(a) + " /Last" + ref(a) + " >>");
    pdf.SetObject(b, "<< /Title (B) /Next" + ref(a) + " /First" + ref(root) + " /Last" + ref(root) + " >>");
    pdf.AddCatalogEntry("/Outlines" + ref(root));

    const Bookmark bookmark = Get(pdf);

    EXPECT_EQ(bookmark.result, 1);
    EXPECT_EQ(bookmark.file, "A\n\tC\nB\n");
}

TEST_F(OutlineTest, AnAbsurdlyDeepOutlineIsCutShort)
{
    constexpr int kDepth = 5000;
    PdfBuilder pdf = ThreePages();
    std::vector<int> items(kDepth);
    for (int &item : items)
        item = pdf.ReserveObject();
    for (int level = 0; level < kDepth; ++level) {
        std::string body = "<< /Title (deep)";
        if (level + 1 < kDepth) {
            const std::string child = std::to_string(items[level + 1]) + " 0 R";
            body += " /First " + child + " /Last " + child;
        }
        pdf.SetObject(items[level], body + " >>");
    }
    const std::string first = std::to_string(items[0]) + " 0 R";
    pdf.AddCatalogEntry("/Outlines << /First " + first + " /Last " + first + " /Count 1 >>");

    const Bookmark bookmark = Get(pdf);

    ASSERT_EQ(bookmark.result, 1);
    ASSERT_TRUE(bookmark.file);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = bookmark.file->find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(bookmark.file->substr(start, end - start));
    EXPECT_GE(lines.size(), 20u);
    EXPECT_LT(lines.size(), size_t(kDepth));
    for (size_t level = 0; level < lines.size(); ++level)
        ASSERT_EQ(lines[level], std::string(level, '\t') + "deep") << level;
}

TEST_F(OutlineTest, RefusesInvalidArgumentsWithoutTouchingAnything)
{
    PdfBuilder pdf = ThreePages();
    pdf.SetOutline({OutlineEntry("Item", Dest::Page(1))});
    HandlePtr handle = Open(pdf);
    ASSERT_NE(handle, nullptr);
    float notAHandle[8] = {1.25f};
    const auto fake = reinterpret_cast<EngineHandle>(notAHandle);
    const std::string earlier = "an earlier outline\n";

    struct Case {
        const char *name;
        EngineHandle handle;
        int32_t bufferSize;
    };
    for (const Case &c : {Case{"null handle", nullptr, 260}, Case{"no handle", fake, 260},
                          Case{"zero size", handle.get(), 0}, Case{"negative size", handle.get(), -1}}) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(OutlinePath(), earlier);
        const Bookmark bookmark = Get(c.handle, c.bufferSize);
        EXPECT_EQ(bookmark.result, 0);
        EXPECT_EQ(bookmark.buffer, std::string(size_t(std::max(c.bufferSize, 1)), 'x'));
        EXPECT_EQ(bookmark.file, earlier);
    }
    EXPECT_EQ(PDF_GetBookmark(handle.get(), nullptr, 260), 0);
    EXPECT_EQ(OutlineFile(), earlier);
}

// A path cut to the buffer would name some other file, so one that does not
// fit is not handed out at all.
TEST_F(OutlineTest, APathThatDoesNotFitTheBufferIsRefused)
{
    PdfBuilder pdf = ThreePages();
    pdf.SetOutline({OutlineEntry("Item", Dest::Page(1))});
    HandlePtr handle = Open(pdf);
    ASSERT_NE(handle, nullptr);
    const auto pathSize = int32_t(OutlinePath().size());

    for (const int32_t tooSmall : {1, pathSize / 2, pathSize}) {
        SCOPED_TRACE(tooSmall);
        const Bookmark bookmark = Get(handle.get(), tooSmall);
        EXPECT_EQ(bookmark.result, 0);
        EXPECT_EQ(bookmark.buffer, "");
        EXPECT_EQ(bookmark.file, std::nullopt);
    }
    const Bookmark fitting = Get(handle.get(), pathSize + 1);
    EXPECT_EQ(fitting.result, 1);
    EXPECT_EQ(fitting.buffer, OutlinePath());
    EXPECT_EQ(fitting.file, "Item" + OnPage(1));
}

TEST_F(OutlineTest, APlantedLinkIsReplacedNotWrittenThrough)
{
    const std::string victim = dir_.File("victim.txt");
    WriteFileBytes(victim, "keep me\n");
    fs::create_symlink(victim, OutlinePath());
    PdfBuilder pdf = ThreePages();
    pdf.SetOutline({OutlineEntry("Item", Dest::Page(1))});

    const Bookmark bookmark = Get(pdf);

    EXPECT_EQ(bookmark.result, 1);
    EXPECT_EQ(ReadFileBytes(victim), "keep me\n");
    EXPECT_FALSE(fs::is_symlink(OutlinePath()));
    EXPECT_EQ(bookmark.file, "Item" + OnPage(1));
}

TEST_F(OutlineTest, AFileThatCannotBeCreatedIsReportedAsFailure)
{
    PdfBuilder pdf = ThreePages();
    pdf.SetOutline({OutlineEntry("Item", Dest::Page(1))});
    HandlePtr handle = Open(pdf);
    ASSERT_NE(handle, nullptr);
    const std::string missingDirectory = dir_.File("missing");
    ScopedTemporaryDirectory nowhere(missingDirectory);
    char buffer[260] = {};

    EXPECT_EQ(PDF_GetBookmark(handle.get(), buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), missingDirectory + "/outlines-" + std::to_string(::getpid()) + ".txt");
    EXPECT_FALSE(fs::exists(missingDirectory));
}

} // namespace
} // namespace lumora::test
