#include "app/SiteGenerator.h"

#include "SiteTestSupport.h"
#include "app/SettingsStore.h"
#include "engine/PageHead.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace lumora::site {
namespace {

using test::PdfBuilder;
using test::OutlineEntry;
using test::Dest;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::EndsWith;
namespace page = settings::profile::CHTMLPage;

constexpr const char *kTreeEnd = "</script><script>initializeDocument()</script></head>\n"
                                 "<body bgcolor=white  style=\"border-right: 2 solid #CCCCCC\">\n</body>\n</html>";

// ---- The start page

class FramesetTest : public sitetest::SiteTest {};

TEST_F(FramesetTest, PagesFourToSixMakeSitePagesOneToThree)
{
    WriteFrameset(Folder(), "book", 4, 6);
    const std::string html = Read("index.htm");
    EXPECT_THAT(html, StartsWith(PageHeadLines() + "<html><head>"));
    EXPECT_THAT(html, HasSubstr("<title>book</title><script TYPE=\"text/javascript\">\nvar firstpage = 1;\n"
                                "var lastpage = 3;\nvar the_timeout = setTimeout(\"lbottom.location.reload();\",3000);\n"
                                "</script></head>\n"));
    EXPECT_THAT(html, HasSubstr("<frame name=\"ltop\" scrolling=\"no\" target=\"lbottom\" src=\"pg_nav.htm\">"));
    EXPECT_THAT(html, HasSubstr("\t<frame name=\"lbottom\" target=\"contents\" src=\"pg_index.htm\">\n"
                                "\t<frame name=\"contents\" src=\"pg_0001.htm\">\n"));
    EXPECT_THAT(html, EndsWith("</frameset></html>\n"));
}

TEST_F(FramesetTest, TitleAndKeywordsComeFromTheSettings)
{
    struct Case {
        int titleType;
        const char *storedTitle;
        const char *keywords;
        const char *expectedHead;
    };
    const Case cases[] = {
        {0, "ignored", "", "<title>book</title><script"},
        {1, "100% Report", "", "<title>100% Report</title><script"},
        {1, "", "", "<title></title><script"},
        // Both are page text: markup characters must not end the element or
        // the attribute they stand in.
        {1, "A&B <i> \"q\"", "", "<title>A&amp;B &lt;i&gt; &quot;q&quot;</title><script"},
        {0, "", "pdf, 50%", "<title>book</title>\n<meta name=\"keywords\" content=\"pdf, 50%\">\n<script"},
        {0, "", "a\"><b>", "\n<meta name=\"keywords\" content=\"a&quot;&gt;&lt;b&gt;\">\n<script"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.storedTitle + std::string(" / ") + c.keywords);
        settings::Write(page::m_iPageTitle, c.titleType);
        settings::Write(page::m_szPageTitle, c.storedTitle);
        settings::Write(page::m_szPageKeywords, c.keywords);
        WriteFrameset(Folder(), "book", 1, 1);
        EXPECT_THAT(Read("index.htm"), HasSubstr(c.expectedHead));
    }
}

TEST_F(FramesetTest, AnUnwritableFolderIsSkipped)
{
    WriteFrameset(dir_.File("missing"), "book", 1, 2);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
}

// ---- The home link

class HomeLinkTest : public sitetest::SiteTest {
protected:
    static constexpr const char *kTemplate = "<html><body>pages</body></html>\n";
    void SetUp() override { test::WriteFileBytes(InFolder("pg_index.htm"), kTemplate); }
};

TEST_F(HomeLinkTest, IsAppendedWhenSwitchedOnWithAnAddress)
{
    settings::Write(page::m_bHomepageURL, 1);
    settings::Write(page::m_strHomepageURL, "http://example.org/home?a=1&b=2");
    AppendHomeLink(Folder());
    EXPECT_EQ(Read("pg_index.htm"),
              kTemplate + PageHeadLines() +
                  "<html><body><table><tr><td><img src=\"pg_page.gif\"><a href=\"http://example.org/home?a=1&amp;b=2\""
                  "target=\"_top\">Home</a></td></tr></table></body></html>");
}

TEST_F(HomeLinkTest, LeavesThePageIndexAsCopiedOtherwise)
{
    struct Case {
        int flag;
        const char *address;
    };
    for (const Case c : {Case{1, ""}, Case{0, "http://example.org/"}}) {
        settings::Write(page::m_bHomepageURL, c.flag);
        settings::Write(page::m_strHomepageURL, c.address);
        AppendHomeLink(Folder());
        EXPECT_EQ(Read("pg_index.htm"), kTemplate) << c.flag << " " << c.address;
    }
}

// ---- The outline file

class OutlineFileTest : public sitetest::SiteTest {
protected:
    std::vector<BookmarkItem> ReadLines(const std::string &text)
    {
        test::WriteFileBytes(dir_.File("outline.txt"), text);
        std::vector<BookmarkItem> items;
        const int count = ReadOutlineFile(dir_.File("outline.txt"), items);
        EXPECT_EQ(count, int(items.size()));
        return items;
    }
};

TEST_F(OutlineFileTest, EachLineGivesLevelTitleAndPage)
{
    struct Case {
        const char *line;
        int level;
        const char *title;
        int page;
    };
    const Case cases[] = {
        {"Intro<>,5,0,792,0,0,0,1,1,0\n", 0, "Intro", 5},
        {"\t\tDeep<>,12,0,0,0,0,0,0,0,0\r\n", 2, "Deep", 12},
        {"No destination\n", 0, "No destination", 1},
        {"Empty page<>,,1,2\n", 0, "Empty page", 1},
        {"Letters<>,x7,0\n", 0, "Letters", 0},
        {"Last line without end<>,3", 0, "Last line without end", 3},
        {"\t<b> \"quoted\" & C:\\dir<>,2,0\n", 1, "&lt;b&gt; &quot;quoted&quot; & C:\\dir", 2},
        {"Huge<>,99999999999,0\n", 0, "Huge", 2147483647},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const auto items = ReadLines(c.line);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].level, c.level);
        EXPECT_EQ(items[0].title, c.title);
        EXPECT_EQ(items[0].page, c.page);
    }
}

TEST_F(OutlineFileTest, EmptyLinesAreSkippedAndLongLinesComeInPieces)
{
    EXPECT_EQ(ReadLines("One<>,1\n\n\r\nTwo<>,2\n").size(), 2u);
    const auto pieces = ReadLines(std::string(5000, 'x') + "<>,4\n");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].title, std::string(4095, 'x'));
    EXPECT_EQ(pieces[1].page, 4);
}

TEST_F(OutlineFileTest, AMissingFileGivesNoItems)
{
    std::vector<BookmarkItem> items;
    EXPECT_EQ(ReadOutlineFile(dir_.File("none.txt"), items), 0);
}

// ---- The bookmark tree

TEST(BookmarkTreeScriptTest, FoldersLeavesAndSitePages)
{
    struct Case {
        std::vector<BookmarkItem> items;
        int first;
        const char *expected;
    };
    const Case cases[] = {
        {{{0, "Top", 1}, {1, "Child", 2}},
         1,
         "root0 = gFld(\"book\", \"\")\nroot1 = insFld(root0, gFld(\"Top\", \"1\"))\n"
         "insDoc(root1, gLnk(2,\"Child\", \"2\"))\n"},
        // Pages 4 to 6: page 5 is site page 2, a page before the range 0, one
        // after it beyond the last site page.
        {{{0, "In", 5}, {0, "Before", 2}, {0, "After", 9}},
         4,
         "root0 = gFld(\"book\", \"\")\ninsDoc(root0, gLnk(2,\"In\", \"2\"))\n"
         "insDoc(root0, gLnk(2,\"Before\", \"0\"))\ninsDoc(root0, gLnk(2,\"After\", \"6\"))\n"},
        // A backslash would end or bend the script string it lands in.
        {{{0, "C:\\dir\\", 1}}, 1, "root0 = gFld(\"book\", \"\")\ninsDoc(root0, gLnk(2,\"C:\\\\dir\\\\\", \"1\"))\n"},
        // A level jumping by two would name a folder never made; the entry
        // hangs one level below the one before it.
        {{{0, "A", 1}, {2, "B", 2}, {3, "C", 3}, {0, "D", 4}},
         1,
         "root0 = gFld(\"book\", \"\")\nroot1 = insFld(root0, gFld(\"A\", \"1\"))\n"
         "root2 = insFld(root1, gFld(\"B\", \"2\"))\ninsDoc(root2, gLnk(2,\"C\", \"3\"))\n"
         "insDoc(root0, gLnk(2,\"D\", \"4\"))\n"},
        {{}, 1, "root0 = gFld(\"book\", \"\")\nroot0 = gFld(\"Your pdf file doesn't contain bookmarks\", \"\")\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(BookmarkTreeScript(c.items, "book", c.first), c.expected);
    }
}

TEST(BookmarkTreeScriptTest, TheRootNameCannotBreakTheScript)
{
    EXPECT_EQ(BookmarkTreeScript({}, "a\"b\\c<d>", 1).substr(0, 40), "root0 = gFld(\"a&quot;b\\\\c&lt;d&gt;\", \"\")");
}

class BookmarkTreeTest : public sitetest::SiteTest {
protected:
    static constexpr const char *kTemplate = "<html><head><script>\n";
    void SetUp() override { test::WriteFileBytes(InFolder("pg_bmark.htm"), kTemplate); }

    // A document of six pages with the given outline, opened for the test.
    EngineHandle Open(std::vector<OutlineEntry> outline)
    {
        PdfBuilder pdf;
        for (int n = 0; n < 6; ++n)
            pdf.AddPage(200, 200);
        if (!outline.empty())
            pdf.SetOutline(std::move(outline));
        pdf.Save(dir_.File("in.pdf"));
        handle_ = PDF_Open(dir_.File("in.pdf").c_str(), "", "", 72);
        EXPECT_NE(handle_, nullptr);
        return handle_;
    }
    ~BookmarkTreeTest() override
    {
        if (handle_)
            PDF_Close(handle_);
    }

    EngineHandle handle_ = nullptr;
};

TEST_F(BookmarkTreeTest, TheOutlineOfTheDocumentBecomesTheTree)
{
    EngineHandle handle = Open({OutlineEntry("Top", Dest::Page(1), {OutlineEntry("<b>", Dest::Page(5))})});
    std::vector<BookmarkItem> items;
    ASSERT_EQ(ReadBookmarks(handle, items), 2);
    EXPECT_EQ(items[1].level, 1);
    EXPECT_EQ(items[1].title, "&lt;b&gt;");
    AppendBookmarkTree(handle, Folder(), "book", 4, 6);
    EXPECT_EQ(Read("pg_bmark.htm"), std::string(kTemplate) +
                                        "root0 = gFld(\"book\", \"\")\nroot1 = insFld(root0, gFld(\"Top\", \"0\"))\n"
                                        "insDoc(root1, gLnk(2,\"&lt;b&gt;\", \"2\"))\n" + kTreeEnd);
}

TEST_F(BookmarkTreeTest, ADocumentWithoutOutlineGetsTheNoBookmarksEntry)
{
    EngineHandle handle = Open({});
    std::vector<BookmarkItem> items;
    EXPECT_EQ(ReadBookmarks(handle, items), 0);
    AppendBookmarkTree(handle, Folder(), "book", 1, 6);
    EXPECT_EQ(Read("pg_bmark.htm"), std::string(kTemplate) + "root0 = gFld(\"book\", \"\")\n"
                                                             "root0 = gFld(\"Your pdf file doesn't contain bookmarks\", \"\")\n" +
                                        kTreeEnd);
}

TEST_F(BookmarkTreeTest, AnInvalidHandleGetsTheNoBookmarksEntry)
{
    AppendBookmarkTree(nullptr, Folder(), "book", 1, 6);
    EXPECT_THAT(Read("pg_bmark.htm"), HasSubstr("Your pdf file doesn't contain bookmarks"));
}

// ---- The framed continuous page

class CharterPageTest : public sitetest::SiteTest {
protected:
    // Two pages of a continuous file as the page writer starts and ends them.
    static std::string ContinuousPage()
    {
        std::string page;
        for (int n = 1; n <= 2; ++n)
            page += PageHeadLines() + HeadStart("\n") + TitleElement("pg_0001") +
                    "\n</head>\n<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#ffffff\">\n<img src=\"pg_000" +
                    std::to_string(n) + ".jpg\">\n</body>\n</html>\n";
        return page;
    }
    void SetUp() override { test::WriteFileBytes(InFolder("index.htm"), ContinuousPage()); }
    std::string ConfigIni() const { return dir_.File("bin") + "/config.ini"; }
};

TEST_F(CharterPageTest, DoesNothingWhenNotWanted)
{
    EXPECT_EQ(FinishCharterPage(Folder(), "book", 600, 800), 0);
    EXPECT_EQ(Read("index.htm"), ContinuousPage());
    EXPECT_FALSE(std::filesystem::exists(Folder() + ".html"));
    // The table offsets are written back all the same.
    EXPECT_THAT(test::ReadFileBytes(ConfigIni()), HasSubstr("XTableOffset=0"));
}

TEST_F(CharterPageTest, FramesThePageInACentredTable)
{
    settings::Write(settings::profile::QUILLON::ForCharter, 1);
    settings::WriteConfigNumber("QUILLON", "XTableOffset", 10, ConfigIni());
    EXPECT_EQ(FinishCharterPage(Folder(), "book", 600, 800), 1);
    EXPECT_FALSE(std::filesystem::exists(InFolder("index.htm")));

    const std::string framed = test::ReadFileBytes(Folder() + ".html");
    const std::string pageStart =
        "\n" + HeadStart("\n") + "<title>book</title>\n</head>\n"
        "<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#ffffff\">\n<table width=\"810\" height=\"850\" border=\"0\" "
        "align=\"center\" cellpadding=\"20\" cellspacing=\"20\">\n<tr>\n<td>\n\n";
    const std::string pageEnd = "\n\n</td>\n</tr>\n</table>\n</body>\n</html>\n";
    EXPECT_EQ(framed, pageStart + "<img src=\"book/pg_0001.jpg\">" + pageEnd + pageStart + "<img src=\"pg_0002.jpg\">" +
                          pageEnd);
}

// ---- Replacing text in a file

TEST_F(CharterPageTest, ReplaceInFileReplacesEveryOccurrenceOnce)
{
    struct Case {
        const char *text, *oldText, *newText, *expected;
    };
    const Case cases[] = {
        {"a-b-a", "a", "xyz", "xyz-b-xyz"},
        {"aaaa", "aa", "a", "aa"},       // the file shrinks: no old bytes left at the end
        {"ab", "a", "aa", "aab"},        // inserted text is not searched again
        {"Abc\r\n\0z", "\r\n", "|", "Abc|"}, // bytes unchanged (the text after the NUL is not part of the case)
        {"none", "x", "y", "none"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir_.File("replace.txt");
        test::WriteFileBytes(path, c.text);
        ReplaceInFile(path, c.oldText, c.newText);
        EXPECT_EQ(test::ReadFileBytes(path), c.expected);
    }
    ReplaceInFile(dir_.File("missing.txt"), "a", "b");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("missing.txt")));
}

} // namespace
} // namespace lumora::site
