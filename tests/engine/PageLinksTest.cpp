// The links of a rendered page: the action texts the device makes of link
// annotations, their rectangles, their borders, and which page's links the
// engine hands out.
#include "lumora_engine.h"
#include "support/PdfBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lumora::test {
namespace {

using HandlePtr = std::unique_ptr<EngineHandleRecord, decltype(&PDF_Close)>;
using PageObjectPtr = std::unique_ptr<PageObject, decltype(&PDF_DestroyPageObject)>;
using LinksPtr = std::unique_ptr<HtmLink, decltype(&PDF_DestroyHtmLink)>;

struct Entry {
    int32_t left, right, top, bottom;
    std::string actionText;
    bool operator==(const Entry &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Entry &entry)
{
    return out << "{" << entry.left << ", " << entry.right << ", " << entry.top << ", " << entry.bottom << ", \""
               << entry.actionText.substr(0, 80) << "\"}";
}

std::vector<Entry> Entries(const HtmLink &links)
{
    std::vector<Entry> entries;
    for (int32_t i = 0; i < links.count; ++i) {
        const HtmLinkEntry &e = links.entries[i];
        entries.push_back({e.left, e.right, e.top, e.bottom, e.actionText ? e.actionText : "<null>"});
    }
    return entries;
}

// The rectangle every single-link fixture uses; at 72 dpi on a 612 x 792
// page it lies at x 100..200, y 72..92 (device y grows downwards).
constexpr Rect kLinkRect{100, 700, 200, 720};

class PageLinksTest : public ::testing::Test {
protected:
    HandlePtr Open(const PdfBuilder &pdf, int32_t zoom = 72)
    {
        const std::string path = dir_.File("links" + std::to_string(++fileCount_) + ".pdf");
        pdf.Save(path);
        return HandlePtr(PDF_Open(path.c_str(), nullptr, nullptr, zoom), &PDF_Close);
    }

    static PageObjectPtr Capture(EngineHandle handle, int32_t page)
    {
        return PageObjectPtr(PDF_GetPageObject(handle, page), &PDF_DestroyPageObject);
    }

    static LinksPtr Links(EngineHandle handle, int32_t page)
    {
        return LinksPtr(PDF_GetPageHtmLink(handle, page), &PDF_DestroyHtmLink);
    }

    // Renders the page as a page object and returns its links.
    std::vector<Entry> LinksOfPage(const PdfBuilder &pdf, int32_t page = 1, int32_t zoom = 72)
    {
        HandlePtr handle = Open(pdf, zoom);
        if (!handle) {
            ADD_FAILURE() << "the fixture does not open";
            return {};
        }
        PageObjectPtr captured = Capture(handle.get(), page);
        EXPECT_NE(captured, nullptr);
        LinksPtr links = Links(handle.get(), page);
        if (!links) {
            ADD_FAILURE() << "no link list for the rendered page";
            return {};
        }
        return Entries(*links);
    }

    // Three letter-size pages, so that destinations have somewhere to go.
    static PdfBuilder ThreePages()
    {
        PdfBuilder pdf;
        for (int i = 0; i < 3; ++i)
            pdf.AddPage(612, 792);
        return pdf;
    }

    TempDir dir_;
    int fileCount_ = 0;
};

struct ActionCase {
    const char *name;
    LinkSpec link;
    // Named destinations the document defines.
    std::vector<std::pair<std::string, DestStore>> namedDestsToPage3;
    std::optional<std::string> expectedText; // none: no entry at all
};

LinkSpec WithAction(Action action) { return LinkSpec{kLinkRect, std::move(action), {}, {}, {}}; }
LinkSpec WithDest(Dest dest) { return LinkSpec{kLinkRect, {}, std::move(dest), {}, {}}; }

TEST_F(PageLinksTest, ActionTextsByKind)
{
    const std::string longUri = "http://example.com/" + std::string(100000, 'x') + "?a=1&b=%20";
    // The object after a page is that page's content stream: an object, but no page.
    const int contentStreamOfPage2 = ThreePages().PageObject(2) + 1;
    const std::vector<ActionCase> cases = {
        {"go-to, explicit destination", WithAction(Action::GoTo(Dest::Page(3))), {}, "actionGoTo:3"},
        {"annotation /Dest", WithDest(Dest::Page(2).Xyz(0, 700, 0)), {}, "actionGoTo:2"},
        {"go-to, name in the catalog's Dests",
         WithAction(Action::GoTo(Dest::Named("chapter"))),
         {{"chapter", DestStore::CatalogDests}},
         "actionGoTo:3"},
        {"go-to, name in the Names tree",
         WithAction(Action::GoTo(Dest::Named("chapter"))),
         {{"appendix", DestStore::NameTree}, {"chapter", DestStore::NameTree}},
         "actionGoTo:3"},
        {"annotation /Dest by name", WithDest(Dest::Named("chapter")), {{"chapter", DestStore::NameTree}},
         "actionGoTo:3"},
        {"go-to, missing name", WithAction(Action::GoTo(Dest::Named("nowhere"))), {{"chapter", DestStore::CatalogDests}},
         ""},
        {"go-to, missing name without any named destinations", WithAction(Action::GoTo(Dest::Named("nowhere"))), {}, ""},
        {"go-to an object that is no page", WithAction(Action::GoTo(Dest::Object(contentStreamOfPage2))), {},
         "actionGoTo:0"},
        {"go-to a page given as a number", WithAction(Action::GoTo(Dest::PageIndex(1))), {}, "actionGoTo:2"},
        {"uri", WithAction(Action::Uri("http://example.com/a?b=c&d=(e)")), {},
         "actionURI:http://example.com/a?b=c&d=(e)"},
        {"very long uri", WithAction(Action::Uri(longUri)), {}, "actionURI:" + longUri},
        {"launch", WithAction(Action::Launch("notes.txt")), {}, "actionLaunch:notes.txt"},
        {"go-to-remote, explicit destination", WithAction(Action::GoToR("other.pdf", Dest::PageIndex(4))), {},
         "actionGoToR:other.pdf"},
        {"go-to-remote, named destination", WithAction(Action::GoToR("other.pdf", Dest::Named("intro"))), {},
         "other.pdf"},
        {"named action", WithAction(Action::Named("NextPage")), {}, std::nullopt},
        {"javascript", WithAction(Action::Raw("<< /S /JavaScript /JS (app.alert(1)) >>")), {}, std::nullopt},
        {"no action at all", LinkSpec{kLinkRect, {}, {}, {}, {}}, {}, std::nullopt},
    };

    for (const ActionCase &c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf = ThreePages();
        for (const auto &[name, store] : c.namedDestsToPage3)
            pdf.AddNamedDest(name, Dest::Page(3), store);
        pdf.AddLink(1, c.link);

        const std::vector<Entry> entries = LinksOfPage(pdf);
        if (c.expectedText)
            EXPECT_EQ(entries, (std::vector<Entry>{{100, 200, 72, 92, *c.expectedText}}));
        else
            EXPECT_EQ(entries, std::vector<Entry>{});
    }
}

TEST_F(PageLinksTest, NamedDestinationWrappedInDictionary)
{
    PdfBuilder pdf = ThreePages();
    pdf.AddNamedDest("chapter", Dest::Page(3), DestStore::CatalogDests, /*wrapInDictionary=*/true);
    pdf.AddLink(1, kLinkRect, Action::GoTo(Dest::Named("chapter")));
    EXPECT_EQ(LinksOfPage(pdf), (std::vector<Entry>{{100, 200, 72, 92, "actionGoTo:3"}}));
}

TEST_F(PageLinksTest, EntriesKeepTheDocumentsOrderAndSkipInexpressibleActions)
{
    PdfBuilder pdf = ThreePages();
    pdf.AddLink(2, {10, 780, 20, 790}, Action::Uri("http://a.example/"));
    pdf.AddLink(2, {30, 780, 40, 790}, Action::Named("PrevPage"));
    pdf.AddLink(2, {50, 780, 60, 790}, Action::GoTo(Dest::Page(1)));
    EXPECT_EQ(LinksOfPage(pdf, 2), (std::vector<Entry>{{10, 20, 2, 12, "actionURI:http://a.example/"},
                                                       {50, 60, 2, 12, "actionGoTo:1"}}));
}

struct RectCase {
    const char *name;
    std::optional<int> rotate;
    Rect rect;
    int32_t zoom;
    Entry expected;
};

TEST_F(PageLinksTest, RectanglesAreInPagePixelsAndOrdered)
{
    const std::vector<RectCase> cases = {
        {"upright", {}, kLinkRect, 72, {100, 200, 72, 92, ""}},
        {"corners swapped", {}, {200, 720, 100, 700}, 72, {100, 200, 72, 92, ""}},
        {"144 dpi", {}, kLinkRect, 144, {200, 400, 144, 184, ""}},
        // Turned pages map PDF x and y to other device axes, some reversed.
        {"rotated 90", 90, kLinkRect, 72, {700, 720, 100, 200, ""}},
        {"rotated 180", 180, kLinkRect, 72, {412, 512, 700, 720, ""}},
        {"rotated 270", 270, kLinkRect, 72, {72, 92, 412, 512, ""}},
    };
    for (const RectCase &c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf;
        PageSpec page;
        page.rotate = c.rotate;
        pdf.AddPage(page);
        pdf.AddLink(1, c.rect, Action::Launch("a.txt"));
        Entry expected = c.expected;
        expected.actionText = "actionLaunch:a.txt";
        EXPECT_EQ(LinksOfPage(pdf, 1, c.zoom), std::vector<Entry>{expected});
    }
}

TEST_F(PageLinksTest, HostileRectanglesStayBounded)
{
    // Far beyond any page: converted naively to int these overflow. 400
    // digits even overflow a double to infinity.
    const std::string overflowing(400, '9');
    const std::string huge = "1" + std::string(300, '0');
    const std::vector<std::string> rects = {
        "[-10000000000000 0 10000000000000 100000000000000]",
        "[0 -" + huge + " " + huge + " 10]",
        "[-" + overflowing + " -" + overflowing + " " + overflowing + " " + overflowing + "]",
    };
    constexpr int32_t kBound = 1 << 28;
    for (const std::string &rect : rects) {
        SCOPED_TRACE(rect.substr(0, 60));
        for (int rotate : {0, 90}) {
            PdfBuilder pdf;
            PageSpec page;
            page.rotate = rotate;
            const int annotation = pdf.AddObject("<< /Type /Annot /Subtype /Link /Rect " + rect +
                                                 " /A << /S /URI /URI (http://x.example/) >> >>");
            page.extraEntries = "/Annots [" + std::to_string(annotation) + " 0 R]";
            pdf.AddPage(page);

            const std::vector<Entry> entries = LinksOfPage(pdf, 1, 600);
            ASSERT_EQ(entries.size(), 1u);
            const Entry &e = entries[0];
            EXPECT_EQ(e.actionText, "actionURI:http://x.example/");
            for (int32_t value : {e.left, e.right, e.top, e.bottom}) {
                EXPECT_LE(value, kBound);
                EXPECT_GE(value, -kBound);
            }
            EXPECT_LE(e.left, e.right);
            EXPECT_LE(e.top, e.bottom);
        }
    }
}

std::vector<LineBlock> LineBlocks(const PageObject &page)
{
    std::vector<LineBlock> lines;
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (page.blocks[i]->blockType == PAGE_BLOCK_LINE)
            lines.push_back(*page.blocks[i]->line);
    return lines;
}

TEST_F(PageLinksTest, BorderIsDrawnOnlyFromTheBorderArray)
{
    struct BorderCase {
        const char *name;
        LinkSpec link;
        int32_t expectedWidth; // -1: no border
        size_t expectedEntries;
    };
    auto link = [](std::optional<double> width, Action action, std::string extra = {}) {
        return LinkSpec{kLinkRect, std::move(action), {}, width, std::move(extra)};
    };
    const Action uri = Action::Uri("http://b.example/");
    const std::vector<BorderCase> cases = {
        // The library's own default border width of 1 must not outline every link.
        {"no Border entry", link({}, uri), -1, 1},
        {"border style dictionary only", link({}, uri, "/BS << /W 3 >>"), -1, 1},
        {"Border [0 0 0]", link(0, uri), -1, 1},
        {"Border [0 0 2]", link(2, uri), 2, 1},
        {"Border [0 0 0.3] gives width 0", link(0.3, uri), 0, 1},
        {"Border [0 0 1.5] rounds up", link(1.5, uri), 2, 1},
        {"named action keeps its border", link(2, Action::Named("NextPage")), 2, 0},
    };
    for (const BorderCase &c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder pdf;
        pdf.AddPage(612, 792);
        pdf.AddLink(1, c.link);
        HandlePtr handle = Open(pdf);
        ASSERT_NE(handle, nullptr);
        PageObjectPtr page = Capture(handle.get(), 1);
        ASSERT_NE(page, nullptr);
        LinksPtr links = Links(handle.get(), 1);
        ASSERT_NE(links, nullptr);
        EXPECT_EQ(links->count, static_cast<int32_t>(c.expectedEntries));

        const std::vector<LineBlock> lines = LineBlocks(*page);
        if (c.expectedWidth < 0) {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        // Corner 1 (x1, y1) round to (x1, y2) and back to corner 1.
        const std::vector<std::array<int32_t, 4>> segments = {
            {100, 92, 200, 92}, {200, 92, 200, 72}, {200, 72, 100, 72}, {100, 72, 100, 92}};
        ASSERT_EQ(lines.size(), segments.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            const LineBlock &line = lines[i];
            EXPECT_EQ((std::array<int32_t, 4>{line.x1, line.y1, line.x2, line.y2}), segments[i]) << "segment " << i;
            EXPECT_EQ(line.width, c.expectedWidth);
            EXPECT_EQ(line.colour, 0x00FF0000u);
            EXPECT_EQ(line.style, static_cast<uint32_t>(LINE_STYLE_SOLID));
        }
    }
}

TEST_F(PageLinksTest, OnlyThePageRenderedLastHasLinks)
{
    PdfBuilder pdf = ThreePages();
    pdf.AddLink(2, kLinkRect, Action::Uri("http://two.example/"));
    pdf.AddLink(3, kLinkRect, Action::Uri("http://three.example/"));
    HandlePtr handle = Open(pdf);
    ASSERT_NE(handle, nullptr);

    // Nothing rendered yet; -1 is what the handle keeps until then.
    for (int32_t page : {-1, 0, 1, 2, 3, 4})
        EXPECT_EQ(Links(handle.get(), page), nullptr) << "page " << page;

    ASSERT_NE(Capture(handle.get(), 3), nullptr);
    EXPECT_EQ(Links(handle.get(), 2), nullptr);
    // Rendering the same page again does not repeat its links.
    ASSERT_NE(Capture(handle.get(), 3), nullptr);
    LinksPtr page3 = Links(handle.get(), 3);
    ASSERT_NE(page3, nullptr);
    EXPECT_EQ(Entries(*page3), (std::vector<Entry>{{100, 200, 72, 92, "actionURI:http://three.example/"}}));

    ASSERT_NE(Capture(handle.get(), 1), nullptr);
    EXPECT_EQ(Links(handle.get(), 3), nullptr);
    LinksPtr page1 = Links(handle.get(), 1);
    ASSERT_NE(page1, nullptr) << "a page without links gives an empty list";
    EXPECT_EQ(page1->count, 0);

    // A bitmap rendering counts as rendering too.
    void *bitmap = PDF_GetPageBmp(handle.get(), 2);
    ASSERT_NE(bitmap, nullptr);
    PDF_DestroyPageBmp(bitmap);
    EXPECT_EQ(Links(handle.get(), 1), nullptr);
    EXPECT_NE(Links(handle.get(), 2), nullptr);

    // A list handed out does not depend on the handle.
    handle.reset();
    EXPECT_EQ(Entries(*page3), (std::vector<Entry>{{100, 200, 72, 92, "actionURI:http://three.example/"}}));
}

TEST_F(PageLinksTest, InvalidHandlesAndNullListsAreRefused)
{
    EXPECT_EQ(PDF_GetPageHtmLink(nullptr, 1), nullptr);
    float notAHandle[16] = {1.25f};
    EXPECT_EQ(PDF_GetPageHtmLink(reinterpret_cast<EngineHandle>(notAHandle), 1), nullptr);
    PDF_DestroyHtmLink(nullptr); // must be harmless
}

} // namespace
} // namespace lumora::test
