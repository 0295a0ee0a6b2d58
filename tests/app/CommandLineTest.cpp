#include "app/CommandLine.h"
#include "app/HeadlessJobWindow.h"
#include "app/SettingsStore.h"

#include "AppTestEnvironment.h"

#include <gtest/gtest.h>

#include <climits>

namespace lumora::app {
namespace {

namespace profile = settings::profile;
using test::AppEnvironment;
using test::Touch;

std::vector<std::string> Arguments(std::vector<std::string> options)
{
    options.insert(options.begin(), "lumora");
    return options;
}

// ---------------------------------------------------------------------------
// Parsing

struct ParseCase {
    const char *name;
    std::vector<std::string> arguments;
    bool succeeds;
    std::vector<std::string> left; // what stays after the program name
};

class ParseOptionsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptionsTest, ConsumesOptionsAndReportsMissingValues)
{
    const ParseCase &c = GetParam();
    std::vector<std::string> arguments = Arguments(c.arguments);
    CommandLineOptions options;
    EXPECT_EQ(ParseOptions(arguments, options), c.succeeds);
    EXPECT_EQ(std::vector<std::string>(arguments.begin() + 1, arguments.end()), c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseOptionsTest,
    ::testing::Values(
        ParseCase{"flags", {"-q", "-m", "-r", "-c", "-d", "-g"}, true, {}},
        ParseCase{"integer", {"-f", "3", "-l", "+8"}, true, {}},
        ParseCase{"integerNotANumber", {"-z", "abc"}, false, {"abc"}},
        ParseCase{"integerAtEnd", {"-f"}, false, {}},
        ParseCase{"textAtEnd", {"-u"}, false, {}},
        ParseCase{"unknownStays", {"x.pdf", "-x", "-q"}, true, {"x.pdf", "-x"}},
        ParseCase{"caseMatters", {"-Q"}, true, {"-Q"}},
        ParseCase{"doubleDashEndsOptions", {"-q", "--", "-m", "-f"}, true, {"-m", "-f"}},
        ParseCase{"failureGoesOn", {"-f", "x", "-q"}, false, {"x"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseOptions, FillsTargets)
{
    std::vector<std::string> arguments =
        Arguments({"-f", "5", "-l", "-", "-z", "300", "-j", "", "-u", "-q", "-i", "in.pdf", "-o", "out.htm", "-?"});
    CommandLineOptions options;
    ASSERT_TRUE(ParseOptions(arguments, options));
    EXPECT_EQ(options.firstPage, 5);
    EXPECT_EQ(options.lastPage, 0);   // a sign without digits is 0
    EXPECT_EQ(options.zoom, 300);     // accepted here; not stored later
    EXPECT_EQ(options.jpegQuality, 0);
    EXPECT_EQ(options.userPassword, "-q"); // a text takes the next argument whatever it is
    EXPECT_EQ(options.exitAfterConvert, 0);
    EXPECT_EQ(options.inputPath, "in.pdf");
    EXPECT_EQ(options.outputPath, "out.htm");
    EXPECT_EQ(options.help, 1);
}

TEST(ParseOptions, CutsPasswordsButNotPaths)
{
    const std::string longText(400, 'p');
    std::vector<std::string> arguments = Arguments({"-w", longText, "-i", "/" + longText + ".pdf"});
    CommandLineOptions options;
    ASSERT_TRUE(ParseOptions(arguments, options));
    EXPECT_EQ(options.ownerPassword, std::string(99, 'p'));
    EXPECT_EQ(options.inputPath, "/" + longText + ".pdf");
}

TEST(ParseOptions, CutsNoCharacterInHalf)
{
    // 98 letters, then a two-byte character across the 99-byte limit.
    std::vector<std::string> arguments = Arguments({"-u", std::string(98, 'a') + "\xC3\xA9" + "b"});
    CommandLineOptions options;
    ASSERT_TRUE(ParseOptions(arguments, options));
    EXPECT_EQ(options.userPassword, std::string(98, 'a'));
}

TEST(ParseOptions, IntegerValuesAreHeldInRange)
{
    std::vector<std::string> arguments = Arguments({"-f", "99999999999999999999", "-l", "-99999999999999999999"});
    CommandLineOptions options;
    ASSERT_TRUE(ParseOptions(arguments, options));
    EXPECT_EQ(options.firstPage, INT_MAX);
    EXPECT_EQ(options.lastPage, INT_MIN);
}

TEST(UsageText, HasItsTwentyThreeLines)
{
    const std::string text = UsageText();
    int lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 23);
    EXPECT_EQ(text.rfind("Usage: Lumora for Vellum [Option] <PDF File> [<HTM File>]\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\n\r\nFor example: \r\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Write-through into the settings

class WriteOptionsTest : public ::testing::Test {
protected:
    void Write(std::vector<std::string> options)
    {
        std::vector<std::string> arguments = Arguments(std::move(options));
        CommandLineOptions parsed;
        ASSERT_TRUE(ParseOptions(arguments, parsed));
        WriteOptionsToSettings(parsed);
    }
    AppEnvironment environment_;
};

TEST_F(WriteOptionsTest, EveryRunStoresTheFlagsAndTheDefaultQuality)
{
    settings::Write(profile::CRasterImage::m_iJPGQuality, 40);
    settings::Write(profile::GenerateInOneHTMLPage::Flag, 1);
    Write({"-q"});
    EXPECT_EQ(settings::Read(profile::CRasterImage::m_iJPGQuality), 75);
    EXPECT_EQ(settings::Read(profile::CRasterImage::m_bGrayscale), 0);
    EXPECT_EQ(settings::Read(profile::GenerateInOneHTMLPage::Flag), 0);
    EXPECT_EQ(settings::Read(profile::m_bRemovePics::Flag), 0);
    EXPECT_EQ(settings::Read(profile::PageRangeType::Type), 0);
}

TEST_F(WriteOptionsTest, ValuesInRangeAreStored)
{
    Write({"-j", "99", "-g", "-z", "50", "-c", "-d", "-b", "0", "-u", "user", "-w", "owner"});
    EXPECT_EQ(settings::Read(profile::CRasterImage::m_iJPGQuality), 99);
    EXPECT_EQ(settings::Read(profile::CRasterImage::m_bGrayscale), 1);
    EXPECT_EQ(settings::Read(profile::ZoomRatio::Zoom), 50);
    EXPECT_EQ(settings::Read(profile::GenerateInOneHTMLPage::Flag), 1);
    EXPECT_EQ(settings::Read(profile::m_bRemovePics::Flag), 1);
    EXPECT_EQ(settings::Read(settings::config::QUILLON::CharSpaces), 0);
    EXPECT_EQ(settings::Read(profile::CPDFPassword::m_szUserPassword), "user");
    EXPECT_EQ(settings::Read(profile::CPDFPassword::m_szOwnerPassword), "owner");
}

TEST_F(WriteOptionsTest, ValuesOutOfRangeLeaveTheStoredOnes)
{
    settings::Write(profile::CRasterImage::m_iJPGQuality, 40);
    settings::Write(profile::ZoomRatio::Zoom, 150);
    settings::Write(settings::config::QUILLON::CharSpaces, 20);
    settings::Write(profile::CPDFPassword::m_szUserPassword, "kept");
    Write({"-j", "100", "-z", "300", "-b", "51"});
    EXPECT_EQ(settings::Read(profile::CRasterImage::m_iJPGQuality), 40);
    EXPECT_EQ(settings::Read(profile::ZoomRatio::Zoom), 150);
    EXPECT_EQ(settings::Read(settings::config::QUILLON::CharSpaces), 20);
    EXPECT_EQ(settings::Read(profile::CPDFPassword::m_szUserPassword), "kept");
}

TEST_F(WriteOptionsTest, EitherPageBoundSetsARange)
{
    Write({"-f", "3"});
    EXPECT_EQ(settings::Read(profile::PageRangeType::Type), 1);
    EXPECT_EQ(settings::Read(profile::PageRange::From), 3);
    EXPECT_EQ(settings::Read(profile::PageRange::To), 100000);
    Write({"-l", "7"});
    EXPECT_EQ(settings::Read(profile::PageRange::From), 0);
    EXPECT_EQ(settings::Read(profile::PageRange::To), 7);
}

// ---------------------------------------------------------------------------
// Queueing

struct StartPageCase {
    const char *pdf;
    const char *output;
    const char *startPage;
};

class OutputStartPageTest : public ::testing::TestWithParam<StartPageCase> {};

TEST_P(OutputStartPageTest, GivesEachPdfAFolder)
{
    EXPECT_EQ(OutputStartPage(GetParam().pdf, GetParam().output), GetParam().startPage);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputStartPageTest,
                         ::testing::Values(StartPageCase{"/c/a.pdf", "", "/c/a/index.htm"},
                                           StartPageCase{"/c/a.pdf", "/c/a.htm", "/c/a/index.htm"},
                                           StartPageCase{"/c/docs/x.pdf", "/d/web/*.htm", "/d/web/x/index.htm"},
                                           StartPageCase{"/c/docs/x.pdf", "/d/web/", "/d/web/x/index.htm"},
                                           StartPageCase{"/c/docs/x.pdf", "/d/web/site.htm", "/d/web/site/index.htm"},
                                           StartPageCase{"x.pdf", "", "x/index.htm"}));

class QueueTest : public ::testing::Test {
protected:
    AppEnvironment environment_;
    HeadlessJobWindow window_;
};

TEST_F(QueueTest, FindPdfFilesIgnoresCaseAndSkipsFolders)
{
    const std::string folder = environment_.File("docs");
    Touch(folder + "/b.PDF");
    Touch(folder + "/a.pdf");
    Touch(folder + "/notes.txt");
    std::filesystem::create_directories(folder + "/sub.pdf");

    std::vector<std::string> found{"earlier"};
    EXPECT_EQ(FindPdfFiles(folder, "*.pdf", found), 3);
    EXPECT_EQ(found, (std::vector<std::string>{"earlier", folder + "/a.pdf", folder + "/b.PDF"}));

    found.clear();
    EXPECT_EQ(FindPdfFiles(folder + "/", "b*.pdf", found), 1);
    EXPECT_EQ(found, std::vector<std::string>{folder + "/b.PDF"});
    EXPECT_EQ(FindPdfFiles(environment_.File("missing"), "*.pdf", found), 1);
}

TEST_F(QueueTest, WildcardInputQueuesEveryMatch)
{
    const std::string folder = environment_.File("docs");
    Touch(folder + "/one.pdf");
    Touch(folder + "/Two.Pdf");
    ConversionJob job(window_);
    CommandLineOptions options;
    options.inputPath = folder + "/*.PDF";
    options.outputPath = "/web/";
    QueueInputFiles(job, options);
    EXPECT_EQ(job.QueuedCount(), 2u);

    CommandLineOptions none;
    none.inputPath = folder + "/z*.pdf";
    QueueInputFiles(job, none);
    EXPECT_EQ(job.QueuedCount(), 2u);

    AddJob(job, "", "/web/x.htm");
    EXPECT_EQ(job.QueuedCount(), 2u);
}

} // namespace
} // namespace lumora::app
