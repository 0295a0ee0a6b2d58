// Reads files written by the test PDF builder back through poppler, so that a
// fault in the builder shows up here rather than as a puzzling failure in the
// tests that use its fixtures.
#include "support/PdfBuilder.h"

#include <gtest/gtest.h>

#include <poppler/Annot.h>
#include <poppler/Catalog.h>
#include <poppler/GlobalParams.h>
#include <poppler/Link.h>
#include <poppler/Outline.h>
#include <poppler/PDFDoc.h>
#include <poppler/Page.h>
#include <poppler/TextOutputDev.h>

#include <filesystem>
#include <memory>
#include <string>

namespace lumora::test {
namespace {

class PdfBuilderSelfTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The engine installs its own parameters when it opens a file; these
        // tests read files without the engine and need one of their own.
        if (!globalParams) {
            globalParams = std::make_unique<GlobalParams>();
            ownsGlobalParams_ = true;
        }
    }

    void TearDown() override
    {
        if (ownsGlobalParams_)
            globalParams.reset();
    }

    // Opens a saved file and notes whether poppler had to rebuild the xref.
    std::unique_ptr<PDFDoc> Open(const PdfBuilder &pdf, Damage damage = Damage::None)
    {
        std::string path = dir_.File("built.pdf");
        pdf.Save(path, damage);
        return OpenFile(path);
    }

    std::unique_ptr<PDFDoc> OpenFile(const std::string &path, const std::optional<GooString> &password = {})
    {
        reconstructed_ = false;
        return std::make_unique<PDFDoc>(std::make_unique<GooString>(path), password, password, nullptr,
                                        [this] { reconstructed_ = true; });
    }

    TempDir dir_;
    bool reconstructed_ = false;
    bool ownsGlobalParams_ = false;
};

std::string Utf8(const Unicode *text, int length)
{
    std::string utf8;
    for (int i = 0; i < length; ++i) {
        Unicode c = text[i];
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string Title(const OutlineItem *item) { return Utf8(item->getTitle(), item->getTitleLength()); }

// The page number a go-to destination leads to, resolving names and page
// references through the catalog as a reader would; 0 when it leads nowhere.
int TargetPage(PDFDoc &doc, const LinkDest *dest, const GooString *name)
{
    std::unique_ptr<LinkDest> found;
    if (!dest && name) {
        found = doc.getCatalog()->findDest(name);
        dest = found.get();
    }
    if (!dest)
        return 0;
    return dest->isPageRef() ? doc.getCatalog()->findPage(dest->getPageRef()) : dest->getPageNum();
}

// poppler exports no type information for its actions: cast by their kind.
template <typename T>
const T *As(const LinkAction *action, LinkActionKind kind)
{
    return action && action->getKind() == kind ? static_cast<const T *>(action) : nullptr;
}

int GoToTarget(PDFDoc &doc, const LinkAction *action)
{
    auto goTo = As<LinkGoTo>(action, actionGoTo);
    return goTo ? TargetPage(doc, goTo->getDest(), goTo->getNamedDest()) : -1;
}

TEST_F(PdfBuilderSelfTest, PagesKeepSizeRotationAndText)
{
    PdfBuilder pdf;
    std::string helvetica = pdf.AddFont("Helvetica");
    std::string courier = pdf.AddFont("Courier");
    pdf.AddPage(612, 792, "BT /" + helvetica + " 12 Tf 72 700 Td (Hello) Tj ET");
    PageSpec small;
    small.mediaBox = {0, 0, 100, 50};
    small.rotate = 90;
    small.content = "BT /" + courier + " 8 Tf 5 20 Td " + PdfLiteral("(x)") + " Tj ET";
    pdf.AddPage(small);

    auto doc = Open(pdf);
    ASSERT_TRUE(doc->isOk());
    EXPECT_FALSE(reconstructed_) << "xref offsets are not exact";
    ASSERT_EQ(doc->getNumPages(), 2);
    EXPECT_DOUBLE_EQ(doc->getPageMediaWidth(1), 612);
    EXPECT_DOUBLE_EQ(doc->getPageMediaHeight(2), 50);
    EXPECT_EQ(doc->getPageRotate(1), 0);
    EXPECT_EQ(doc->getPageRotate(2), 90);

    const char *expected[] = {"Hello", "(x)"};
    for (int page = 1; page <= 2; ++page) {
        TextOutputDev text(nullptr, true, 0, false, false);
        doc->displayPage(&text, page, 72, 72, 0, true, false, false);
        std::unique_ptr<GooString> found(text.getText(0, 0, 1000, 1000));
        EXPECT_NE(found->toStr().find(expected[page - 1]), std::string::npos) << "page " << page;
    }
}

TEST_F(PdfBuilderSelfTest, ImagesAndStreamsHaveExactLengths)
{
    PdfBuilder pdf;
    std::string rgb = pdf.AddImage(ImageSpec::Rgb(4, 3, RgbGradient(4, 3)));
    std::string mask = pdf.AddImage(ImageSpec::Mask(9, 2, std::string(4, '\x0F')));
    pdf.AddPage(200, 200, DrawImageOp(rgb, 10, 10, 40, 30) + DrawImageOp(mask, 60, 10, 90, 20) + "q 8 0 0 8 0 0 cm " +
                              InlineImage(ImageSpec::Gray(2, 2, std::string("\x00\xFF\xFF\x00", 4))) + "Q");

    auto doc = Open(pdf);
    ASSERT_TRUE(doc->isOk());
    EXPECT_FALSE(reconstructed_);
    Dict *resources = doc->getPage(1)->getResourceDict();
    ASSERT_NE(resources, nullptr);
    Object xobjects = resources->lookup("XObject");
    ASSERT_TRUE(xobjects.isDict());

    Object image = xobjects.dictLookup(rgb.c_str());
    ASSERT_TRUE(image.isStream());
    EXPECT_EQ(image.streamGetDict()->lookup("Width").getInt(), 4);
    image.streamReset();
    std::string decoded;
    for (int c; (c = image.streamGetChar()) != EOF;)
        decoded += static_cast<char>(c);
    EXPECT_EQ(decoded, RgbGradient(4, 3));

    Object stencil = xobjects.dictLookup(mask.c_str());
    ASSERT_TRUE(stencil.isStream());
    EXPECT_TRUE(stencil.streamGetDict()->lookup("ImageMask").getBool());
}

TEST_F(PdfBuilderSelfTest, LinkActionsComeThroughInOrder)
{
    PdfBuilder pdf;
    int first = pdf.AddPage(612, 792);
    pdf.AddPage(612, 792);
    int third = pdf.AddPage(612, 792);
    int notAPage = pdf.AddObject("<< /Kind /Other >>");
    pdf.AddNamedDest("second", Dest::Page(2));
    pdf.AddNamedDest("third", Dest::Page(third).Xyz(0, 700, 0));
    pdf.AddLink(first, {100, 700, 200, 720}, Action::GoTo(Dest::Page(third).Xyz(72, 720, 0)));
    pdf.AddLink(first, {100, 650, 200, 670}, Dest::Named("second"));
    pdf.AddLink(first, {100, 600, 200, 620}, Action::GoTo(Dest::Named("third")));
    pdf.AddLink(first, {100, 550, 200, 570}, Action::GoTo(Dest::Object(notAPage)));
    pdf.AddLink(first, {100, 500, 200, 520}, Action::Uri("https://example.org/a?b=(c)"));
    pdf.AddLink(first, {100, 450, 200, 470}, Action::Launch("notes.txt"));
    pdf.AddLink(first, {100, 400, 200, 420}, Action::GoToR("other.pdf", Dest::PageIndex(1)));
    LinkSpec swapped;
    swapped.rect = {200, 380, 100, 360};
    swapped.borderWidth = 2;
    swapped.action = Action::Named("NextPage");
    pdf.AddLink(first, swapped);

    auto doc = Open(pdf);
    ASSERT_TRUE(doc->isOk());
    EXPECT_FALSE(reconstructed_);
    std::unique_ptr<Links> links = doc->getPage(first)->getLinks();
    ASSERT_EQ(links->getLinks().size(), 8u);
    const auto &list = links->getLinks();

    EXPECT_EQ(GoToTarget(*doc, list[0]->getAction()), 3);
    EXPECT_EQ(GoToTarget(*doc, list[1]->getAction()), 2);
    EXPECT_EQ(GoToTarget(*doc, list[2]->getAction()), 3);
    EXPECT_EQ(GoToTarget(*doc, list[3]->getAction()), 0);

    auto uri = As<LinkURI>(list[4]->getAction(), actionURI);
    ASSERT_NE(uri, nullptr);
    EXPECT_EQ(uri->getURI(), "https://example.org/a?b=(c)");
    auto launch = As<LinkLaunch>(list[5]->getAction(), actionLaunch);
    ASSERT_NE(launch, nullptr);
    EXPECT_EQ(launch->getFileName()->toStr(), "notes.txt");
    auto remote = As<LinkGoToR>(list[6]->getAction(), actionGoToR);
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(remote->getFileName()->toStr(), "other.pdf");
    ASSERT_NE(remote->getDest(), nullptr);
    EXPECT_EQ(remote->getDest()->getPageNum(), 2); // poppler numbers remote pages from 1

    ASSERT_NE(list[7]->getAction(), nullptr);
    EXPECT_EQ(list[7]->getAction()->getKind(), actionNamed);
    double x1, y1, x2, y2;
    list[7]->getRect(&x1, &y1, &x2, &y2);
    EXPECT_DOUBLE_EQ(x1, 100); // poppler orders the corners
    EXPECT_DOUBLE_EQ(y2, 380);
    ASSERT_NE(list[7]->getBorder(), nullptr);
    EXPECT_DOUBLE_EQ(list[7]->getBorder()->getWidth(), 2);
}

TEST_F(PdfBuilderSelfTest, NamedDestinationsResolveFromEitherStore)
{
    struct Case {
        DestStore store;
        bool wrapInDictionary;
    } cases[] = {
        {DestStore::CatalogDests, false},
        {DestStore::CatalogDests, true},
        {DestStore::NameTree, false},
        {DestStore::NameTree, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "store " << static_cast<int>(c.store) << " wrapped "
                                        << c.wrapInDictionary);
        PdfBuilder pdf;
        int first = pdf.AddPage(612, 792);
        pdf.AddPage(612, 792);
        // Names in a name tree must be sorted; give them out of order.
        pdf.AddNamedDest("zeta", Dest::Page(first), c.store, c.wrapInDictionary);
        pdf.AddNamedDest("chapter two", Dest::Page(2), c.store, c.wrapInDictionary);
        pdf.AddLink(first, {100, 700, 200, 720}, Dest::Named("chapter two"));

        auto doc = Open(pdf);
        ASSERT_TRUE(doc->isOk());
        std::unique_ptr<Links> links = doc->getPage(first)->getLinks();
        ASSERT_EQ(links->getLinks().size(), 1u);
        EXPECT_EQ(GoToTarget(*doc, links->getLinks()[0]->getAction()), 2);
    }
}

TEST_F(PdfBuilderSelfTest, OutlineHasTwoLevelsTitlesAndDestinations)
{
    PdfBuilder pdf;
    for (int i = 0; i < 3; ++i)
        pdf.AddPage(612, 792);
    pdf.AddNamedDest("intro", Dest::Page(2));
    OutlineEntry chapter("Chapter one", Dest::Page(1));
    chapter.children.emplace_back("Über uns", Dest::Named("intro"));
    OutlineEntry viaAction("By action");
    viaAction.goToDest = Dest::Page(3).Xyz(0, 792, 0);
    chapter.children.push_back(viaAction);
    OutlineEntry closed("Closed", Dest::Page(3));
    closed.closed = true;
    closed.children.emplace_back("Hidden", Dest::Page(1));
    pdf.SetOutline({chapter, closed});

    auto doc = Open(pdf);
    ASSERT_TRUE(doc->isOk());
    EXPECT_FALSE(reconstructed_);
    Object outlines = doc->getCatalog()->getOutline()->copy();
    ASSERT_TRUE(outlines.isDict());
    EXPECT_EQ(outlines.dictLookup("Count").getInt(), 4); // two top items, two open children

    Outline *outline = doc->getOutline();
    ASSERT_NE(outline, nullptr);
    const auto *top = outline->getItems();
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->size(), 2u);
    EXPECT_EQ(Title((*top)[0]), "Chapter one");
    EXPECT_TRUE((*top)[0]->isOpen());
    EXPECT_FALSE((*top)[1]->isOpen());
    EXPECT_EQ(GoToTarget(*doc, (*top)[0]->getAction()), 1);

    (*top)[0]->open();
    const auto *children = (*top)[0]->getKids();
    ASSERT_NE(children, nullptr);
    ASSERT_EQ(children->size(), 2u);
    EXPECT_EQ(Title((*children)[0]), "Über uns");
    EXPECT_EQ(GoToTarget(*doc, (*children)[0]->getAction()), 2);
    EXPECT_EQ(GoToTarget(*doc, (*children)[1]->getAction()), 3);
}

TEST_F(PdfBuilderSelfTest, DamagedFilesFailOrAreRepaired)
{
    PdfBuilder pdf;
    pdf.AddPage(612, 792, "0 0 1 rg 10 10 50 20 re f");
    pdf.AddPage(100, 50);

    struct Case {
        Damage damage;
        bool opens;
    } cases[] = {
        {Damage::DropXref, false},
        {Damage::Truncated, false},
        {Damage::WrongXrefOffsets, true},
        {Damage::WrongStartxref, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.damage));
        auto doc = Open(pdf, c.damage);
        EXPECT_EQ(doc->isOk(), c.opens);
        if (c.opens) {
            EXPECT_TRUE(reconstructed_);
            EXPECT_EQ(doc->getNumPages(), 2);
        }
    }
}

TEST_F(PdfBuilderSelfTest, EncryptedCopyNeedsItsPassword)
{
    PdfBuilder pdf;
    pdf.AddPage(612, 792);
    std::string plain = dir_.File("plain.pdf");
    std::string locked = dir_.File("locked.pdf");
    pdf.Save(plain);
    ASSERT_EQ(EncryptPdf(plain, locked, "user", "owner"), "");

    auto withoutPassword = OpenFile(locked);
    EXPECT_FALSE(withoutPassword->isOk());
    EXPECT_EQ(withoutPassword->getErrorCode(), errEncrypted);
    auto withPassword = OpenFile(locked, GooString("user"));
    ASSERT_TRUE(withPassword->isOk());
    EXPECT_TRUE(withPassword->isEncrypted());

    EXPECT_NE(EncryptPdf(dir_.File("missing.pdf"), locked, "u", "o"), "");
}

TEST(TestSupport, TempDirIsRemovedWithItsFiles)
{
    std::filesystem::path kept;
    {
        TempDir dir;
        kept = dir.Path();
        PdfBuilder().Save(dir.File("a.pdf"));
        EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("a.pdf")));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(TestSupport, RunProgramReportsExitCodeAndMissingPrograms)
{
    ProgramResult echo = RunProgram({"sh", "-c", "echo out; echo err >&2; exit 4"});
    EXPECT_EQ(echo.exitCode, 4);
    EXPECT_EQ(echo.output, "out\nerr\n");
    EXPECT_EQ(RunProgram({"lumora-no-such-program"}).exitCode, -1);
}

} // namespace
} // namespace lumora::test
