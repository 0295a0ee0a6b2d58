#include "app/ConversionJob.h"
#include "app/SettingsStore.h"
#include "engine/HtmlPageWriter.h"

#include "AppTestEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <map>

namespace lumora::app {
namespace {

namespace profile = settings::profile;
using test::AppEnvironment;
using test::Exists;
using test::Touch;

// ---------------------------------------------------------------------------
// Shown values

TEST(FileSizeText, SwitchesToMegabytesAtOneMegabyte)
{
    EXPECT_EQ(FileSizeText(1048575), "1048575<1024.00K>");
    EXPECT_EQ(FileSizeText(1048576), "1048576<1.00M>");
    EXPECT_EQ(FileSizeText(0), "0<0.00K>");
    EXPECT_EQ(FileSizeText(5000000000LL), "5000000000<4768.37M>");
}

TEST(Progress, BarsNeverReachOneHundred)
{
    EXPECT_EQ(TotalProgress(3), 33);
    EXPECT_EQ(TotalProgress(2), 49);
    EXPECT_EQ(TotalProgress(1), 99);
    EXPECT_EQ(TotalProgress(0), 99); // the queue emptied by Stop meanwhile
    EXPECT_EQ(CurrentProgress(1, 1, 1), 99);
    EXPECT_EQ(CurrentProgress(4, 4, 6), 33);
    EXPECT_EQ(CurrentProgress(6, 4, 6), 99);
    EXPECT_EQ(CurrentProgress(1, 1, 100000), 0);
}

TEST(OutputNames, PageFilesCountFromTheRangeStart)
{
    EXPECT_EQ(PageFilePath("/web/a/index.htm", 4, 4), "/web/a/pg_0001.htm");
    EXPECT_EQ(PageFilePath("/web/a/index.htm", 12, 1), "/web/a/pg_0012.htm");
    EXPECT_EQ(BmpFilePath("/c/a.pdf", 2), "/c/a.pdf_002.bmp");
    EXPECT_EQ(StartPageFor("/web/other.htm"), "/web/other/index.htm");
}

TEST(MakeDirectoryPath, CreatesEveryMissingFolder)
{
    test::TempDir dir;
    EXPECT_TRUE(MakeDirectoryPath(dir.File("a/b/c")));
    EXPECT_TRUE(MakeDirectoryPath(dir.File("a/b/c")));
    Touch(dir.File("file"));
    EXPECT_FALSE(MakeDirectoryPath(dir.File("file")));
    EXPECT_FALSE(MakeDirectoryPath(dir.File("file/below")));
}

// ---------------------------------------------------------------------------
// Page ranges

struct RangeCase {
    const char *name;
    int type, from, to;
    int pageCount;
    bool valid;
    int first, last; // after clamping
};

class PageRangeTest : public ::testing::TestWithParam<RangeCase> {
protected:
    AppEnvironment environment_;
};

TEST_P(PageRangeTest, IsReadAndClamped)
{
    const RangeCase &c = GetParam();
    settings::Write(profile::PageRangeType::Type, c.type);
    settings::Write(profile::PageRange::From, c.from);
    settings::Write(profile::PageRange::To, c.to);
    const std::optional<PageRange> range = StoredPageRange();
    ASSERT_EQ(range.has_value(), c.valid);
    if (!range)
        return;
    const PageRange clamped = ClampToDocument(*range, c.pageCount);
    EXPECT_EQ(clamped.first, c.first);
    EXPECT_EQ(clamped.last, c.last);
}

INSTANTIATE_TEST_SUITE_P(Cases, PageRangeTest,
                         ::testing::Values(RangeCase{"allPages", 0, 7, 3, 10, true, 1, 10},
                                           RangeCase{"fromZero", 1, 0, 3, 10, true, 1, 3},
                                           RangeCase{"middle", 1, 4, 6, 10, true, 4, 6},
                                           RangeCase{"beyondEnd", 1, 8, 100000, 10, true, 8, 10},
                                           RangeCase{"afterLastPage", 1, 12, 20, 10, true, 12, 10},
                                           RangeCase{"reversed", 1, 5, 4, 10, false, 0, 0},
                                           RangeCase{"negative", 1, -1, 4, 10, false, 0, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The job through a fake window

class FakeWindow : public JobWindow {
public:
    void SetInfoText(InfoText which, const std::string &text) override
    {
        texts[which] = text;
        history[which].push_back(text);
    }
    void SetProgress(ProgressBar which, int value) override { bars[which].push_back(value); }
    void SetStopButtonText(const std::string &text) override { stopText = text; }
    void EnablePause(bool enabled) override { pauseEnabled = enabled; }
    void ShowError(const std::string &message) override { errors.push_back(message); }
    Answer AskOverwrite(const std::string &message) override
    {
        questions.push_back(message);
        return answers.empty() ? Answer::Cancel : answers.front();
    }
    std::optional<std::string> AskSaveAsPath(const SaveAsRequest &request) override
    {
        saveAsRequests.push_back(request);
        return saveAsPath;
    }
    void ShowConversionComplete() override { ++completeShown; }
    void OpenWithShell(const std::string &path) override { opened.push_back(path); }

    std::map<InfoText, std::string> texts;
    std::map<InfoText, std::vector<std::string>> history;
    std::map<ProgressBar, std::vector<int>> bars;
    std::string stopText;
    bool pauseEnabled = false;
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    std::deque<Answer> answers;
    std::vector<SaveAsRequest> saveAsRequests;
    std::optional<std::string> saveAsPath;
    int completeShown = 0;
    std::vector<std::string> opened;
};

// Records what the job hands the site generator.
class FakeSite : public SiteWriter {
public:
    void WriteFrameset(const std::string &folder, const std::string &, int first, int last) override
    {
        framesets.push_back({folder, first, last});
    }
    void AppendHomeLink(const std::string &, const std::string &, int, int) override {}
    void AppendBookmarkTree(EngineHandle, const std::string &, const std::string &, int, int) override {}
    int FinishCharterPage(const std::string &, const std::string &, int width, int height) override
    {
        charterSizes.push_back({width, height});
        return 0;
    }
    struct Frameset {
        std::string folder;
        int first, last;
    };
    std::vector<Frameset> framesets;
    std::vector<std::pair<int, int>> charterSizes;
};

class ConversionJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunFlags &flags = TheRunFlags();
        flags.overwriteWithoutPrompt = false;
        flags.runWithoutWindow = false;
        flags.exitAfterConvert = false;
        flags.conversionType = kHtmlSite;
        SetContinuousPageMode(false);
    }
    void TearDown() override { SetUp(); }

    std::string Out(const std::string &name) const { return environment_.File("out/" + name); }

    AppEnvironment environment_;
    FakeWindow window_;
    FakeSite site_;
    ConversionJob job_{window_, site_};
};

TEST_F(ConversionJobTest, WritesOnePageFilePerPageAndTheTemplates)
{
    Touch(environment_.ModuleDir() + "/pg_nav.htm", "nav");
    Touch(environment_.ModuleDir() + "/pg_page.GIF", "gif");
    Touch(environment_.ModuleDir() + "/other.htm", "other");
    const std::string pdf = environment_.WritePdf("three.pdf", 3);

    ASSERT_TRUE(job_.ConvertFile(pdf, Out("three/index.htm")));
    for (const char *file : {"pg_0001.htm", "pg_0002.htm", "pg_0003.htm", "pg_0001.jpg", "pg_nav.htm", "pg_page.GIF"})
        EXPECT_TRUE(Exists(Out(std::string("three/") + file))) << file;
    EXPECT_FALSE(Exists(Out("three/other.htm")));
    ASSERT_EQ(site_.framesets.size(), 1u);
    EXPECT_EQ(site_.framesets[0].folder, Out("three"));
    EXPECT_EQ(site_.framesets[0].last, 3);

    EXPECT_EQ(window_.texts[InfoText::PdfName], pdf);
    EXPECT_EQ(window_.texts[InfoText::PdfSize], FileSizeText(std::filesystem::file_size(pdf)));
    EXPECT_EQ(window_.texts[InfoText::Version], "%PDF-1.4");
    EXPECT_EQ(window_.history[InfoText::TotalPages],
              (std::vector<std::string>{"page 1 of 3", "page 2 of 3", "page 3 of 3"}));
    EXPECT_EQ(window_.bars[ProgressBar::Current], (std::vector<int>{33, 66, 99, 0}));
    EXPECT_TRUE(window_.errors.empty());
    // The offsets are written back, so that config.ini holds them afterwards.
    EXPECT_NE(test::ReadFileBytes(environment_.ModuleDir() + "/config.ini").find("XOffset=0"), std::string::npos);
}

TEST_F(ConversionJobTest, ARangeInTheMiddleStartsAtTheFirstPageFile)
{
    settings::Write(profile::PageRangeType::Type, 1);
    settings::Write(profile::PageRange::From, 4);
    settings::Write(profile::PageRange::To, 6);
    const std::string pdf = environment_.WritePdf("ten.pdf", 10);

    ASSERT_TRUE(job_.ConvertFile(pdf, Out("ten/index.htm")));
    EXPECT_TRUE(Exists(Out("ten/pg_0003.htm")));
    EXPECT_FALSE(Exists(Out("ten/pg_0004.htm")));
    ASSERT_EQ(site_.framesets.size(), 1u);
    EXPECT_EQ(site_.framesets[0].first, 4);
    EXPECT_EQ(site_.framesets[0].last, 6);
}

TEST_F(ConversionJobTest, RangeErrorsAreShownAndSkipTheFile)
{
    const std::string pdf = environment_.WritePdf("ten.pdf", 10);
    settings::Write(profile::PageRangeType::Type, 1);
    settings::Write(profile::PageRange::From, 12);
    settings::Write(profile::PageRange::To, 100000);
    EXPECT_FALSE(job_.ConvertFile(pdf, Out("ten/index.htm")));
    settings::Write(profile::PageRange::To, 2);
    EXPECT_FALSE(job_.ConvertFile(pdf, Out("ten/index.htm")));
    EXPECT_EQ(window_.errors, (std::vector<std::string>{TooFewPagesMessage(pdf, 10), PageRangeIncorrectMessage()}));
    EXPECT_FALSE(Exists(Out("ten/pg_0001.htm")));
    EXPECT_TRUE(site_.framesets.empty());
}

TEST_F(ConversionJobTest, FilesThatCannotBeOpenedFail)
{
    const std::string garbage = environment_.File("garbage.pdf");
    Touch(garbage, "this is no PDF");
    EXPECT_FALSE(job_.ConvertFile(garbage, Out("garbage/index.htm")));
    EXPECT_FALSE(job_.ConvertFile(environment_.File("missing.pdf"), Out("missing/index.htm")));
    EXPECT_EQ(window_.errors, (std::vector<std::string>{CannotOpenMessage(garbage),
                                                        CannotOpenMessage(environment_.File("missing.pdf"))}));
    EXPECT_EQ(window_.texts[InfoText::PdfSize], ""); // the missing file has no size
}

TEST_F(ConversionJobTest, UnderRunWithoutWindowErrorsStayOffTheScreen)
{
    TheRunFlags().runWithoutWindow = true;
    EXPECT_FALSE(job_.ConvertFile(environment_.File("missing.pdf"), Out("missing/index.htm")));
    EXPECT_TRUE(window_.errors.empty());
}

TEST_F(ConversionJobTest, PasswordsComeFromTheSettings)
{
    const std::string plain = environment_.WritePdf("plain.pdf", 1);
    const std::string locked = environment_.File("locked.pdf");
    ASSERT_EQ(test::EncryptPdf(plain, locked, "user", "owner"), "");

    EXPECT_FALSE(job_.ConvertFile(locked, Out("locked/index.htm")));
    settings::Write(profile::CPDFPassword::m_szUserPassword, "wrong");
    EXPECT_FALSE(job_.ConvertFile(locked, Out("locked/index.htm")));
    settings::Write(profile::CPDFPassword::m_szUserPassword, "user");
    EXPECT_TRUE(job_.ConvertFile(locked, Out("locked/index.htm")));
    EXPECT_TRUE(Exists(Out("locked/pg_0001.htm")));
}

TEST_F(ConversionJobTest, BmpOutputLiesBesideThePdf)
{
    TheRunFlags().conversionType = kBmpPerPage;
    const std::string pdf = environment_.WritePdf("two.pdf", 2);
    ASSERT_TRUE(job_.ConvertFile(pdf, Out("two/index.htm")));
    EXPECT_EQ(test::ReadFileBytes(pdf + "_001.bmp").substr(0, 2), "BM");
    EXPECT_TRUE(Exists(pdf + "_002.bmp"));
    EXPECT_FALSE(Exists(Out("two")));
    EXPECT_TRUE(site_.framesets.empty());
}

TEST_F(ConversionJobTest, ContinuousOutputWithoutPicturesLeavesOnePage)
{
    Touch(environment_.ModuleDir() + "/pg_nav.htm", "nav");
    settings::Write(profile::GenerateInOneHTMLPage::Flag, 1);
    settings::Write(profile::m_bRemovePics::Flag, 1);
    const std::string pdf = environment_.WritePdf("two.pdf", 2);
    Touch(Out("two/pg_0009.htm"), "an old page file");

    ASSERT_TRUE(job_.ConvertFile(pdf, Out("two/index.htm")));
    EXPECT_NE(test::ReadFileBytes(Out("two.htm")).find("Page"), std::string::npos);
    EXPECT_FALSE(Exists(Out("two")));
    ASSERT_EQ(site_.charterSizes.size(), 1u);
    EXPECT_GT(site_.charterSizes[0].first, 0);
}

TEST_F(ConversionJobTest, ContinuousOutputMovesSitePagesToTheTrash)
{
    settings::Write(profile::GenerateInOneHTMLPage::Flag, 1);
    const std::string pdf = environment_.WritePdf("two.pdf", 2);
    Touch(Out("two/pg_index.htm"), "old site page");

    ASSERT_TRUE(job_.ConvertFile(pdf, Out("two/index.htm")));
    EXPECT_TRUE(Exists(Out("two/index.htm")));
    EXPECT_FALSE(Exists(Out("two/pg_index.htm")));
    EXPECT_FALSE(Exists(Out("two/pg_0001.htm")));
    EXPECT_TRUE(Exists(environment_.TrashFiles() + "/pg_index.htm"));
}

// ---------------------------------------------------------------------------
// The queue

TEST_F(ConversionJobTest, TotalBarFollowsTheQueue)
{
    for (const char *name : {"a", "b", "c"})
        job_.Append({environment_.WritePdf(std::string(name) + ".pdf", 1), Out(std::string(name) + "/index.htm")});
    job_.WorkThroughQueue();
    EXPECT_EQ(window_.bars[ProgressBar::Total], (std::vector<int>{33, 49, 99}));
    EXPECT_EQ(job_.QueuedCount(), 0u);
    EXPECT_EQ(window_.completeShown, 1);
    EXPECT_FALSE(job_.AnyFailed());
}

TEST_F(ConversionJobTest, OverwritePromptAnswers)
{
    const std::string pdf = environment_.WritePdf("a.pdf", 1);
    Touch(Out("a/index.htm"), "existing");

    window_.answers = {Answer::Cancel};
    job_.Append({pdf, Out("a/index.htm")});
    job_.WorkThroughQueue();
    ASSERT_EQ(window_.questions, std::vector<std::string>{OverwriteQuestion(Out("a/index.htm"))});
    EXPECT_FALSE(Exists(Out("a/pg_0001.htm")));
    EXPECT_EQ(window_.completeShown, 0);
    EXPECT_TRUE(job_.AnyFailed());

    window_.answers = {Answer::No};
    window_.saveAsPath = Out("other.htm");
    job_.Append({pdf, Out("a/index.htm")});
    job_.WorkThroughQueue();
    ASSERT_EQ(window_.saveAsRequests.size(), 1u);
    EXPECT_EQ(window_.saveAsRequests[0].defaultExtension, "htm");
    EXPECT_TRUE(Exists(Out("other/pg_0001.htm")));

    window_.answers = {Answer::Yes};
    job_.Append({pdf, Out("a/index.htm")});
    job_.WorkThroughQueue();
    EXPECT_TRUE(Exists(Out("a/pg_0001.htm")));

    TheRunFlags().overwriteWithoutPrompt = true;
    window_.answers = {Answer::Cancel};
    job_.Append({pdf, Out("a/index.htm")});
    job_.WorkThroughQueue();
    EXPECT_EQ(window_.questions.size(), 3u);
}

TEST_F(ConversionJobTest, ExitAfterConvertTellsWhetherEveryFileMadeIt)
{
    TheRunFlags().exitAfterConvert = true;
    std::vector<int> exitCodes;
    job_.SetExitFunction([&](int code) { exitCodes.push_back(code); });

    job_.Append({environment_.WritePdf("a.pdf", 1), Out("a/index.htm")});
    job_.WorkThroughQueue();
    job_.Append({environment_.File("missing.pdf"), Out("m/index.htm")});
    job_.Append({environment_.WritePdf("b.pdf", 1), Out("b/index.htm")});
    job_.WorkThroughQueue();
    EXPECT_EQ(exitCodes, (std::vector<int>{0, 1}));
    EXPECT_EQ(window_.completeShown, 0);
}

TEST_F(ConversionJobTest, PreviewOpensTheStartPageWritten)
{
    settings::Write(profile::Preview::Flag, 1);
    job_.Append({environment_.WritePdf("a.pdf", 1), Out("a/index.htm")});
    job_.WorkThroughQueue();
    EXPECT_EQ(window_.opened, std::vector<std::string>{Out("a/index.htm")});
}

// Stops the job from inside the page loop, as the window thread would.
class StoppingWindow : public FakeWindow {
public:
    void SetInfoText(InfoText which, const std::string &text) override
    {
        FakeWindow::SetInfoText(which, text);
        if (which == InfoText::TotalPages && text == "page 2 of 5" && job)
            job->Stop();
    }
    ConversionJob *job = nullptr;
};

TEST(ConversionJobStop, EndsTheFileAfterItsCurrentPageAndDropsTheQueue)
{
    AppEnvironment environment;
    StoppingWindow window;
    FakeSite site;
    ConversionJob job(window, site);
    window.job = &job;
    const std::string pdf = environment.WritePdf("five.pdf", 5);
    job.Append({pdf, environment.File("out/five/index.htm")});
    job.Append({pdf, environment.File("out/again/index.htm")});
    job.WorkThroughQueue();

    EXPECT_TRUE(Exists(environment.File("out/five/pg_0001.htm")));
    EXPECT_FALSE(Exists(environment.File("out/five/pg_0002.htm")));
    EXPECT_FALSE(Exists(environment.File("out/again")));
    EXPECT_EQ(job.QueuedCount(), 0u);
    EXPECT_EQ(window.completeShown, 1);
}

// The worker thread: a paused worker holds no lock, so queueing goes on, and
// it takes the queued file once resumed.
TEST_F(ConversionJobTest, PausedWorkerLetsTheQueueGrow)
{
    job_.Pause();
    job_.Start();
    job_.Append({environment_.WritePdf("a.pdf", 1), Out("a/index.htm")});
    job_.Append({environment_.WritePdf("b.pdf", 1), Out("b/index.htm")});
    EXPECT_EQ(job_.QueuedCount(), 2u);
    job_.Stop();
    EXPECT_EQ(job_.QueuedCount(), 0u);
    job_.Append({environment_.WritePdf("c.pdf", 1), Out("c/index.htm")});
    job_.Resume();
    job_.Shutdown();
    // Shutdown may come before or after the worker took the file; either way
    // the dropped files were never converted.
    EXPECT_FALSE(Exists(Out("a")));
    EXPECT_FALSE(Exists(Out("b")));
}

// Signals what the worker thread shows; pauses the job at a chosen page.
class SignallingWindow : public FakeWindow {
public:
    void SetInfoText(InfoText which, const std::string &text) override
    {
        FakeWindow::SetInfoText(which, text);
        if (which == InfoText::TotalPages && !pauseAt.empty() && text == pauseAt && job) {
            pauseAt.clear();
            job->Pause();
            paused.set_value();
        }
    }
    void ShowConversionComplete() override
    {
        FakeWindow::ShowConversionComplete();
        complete.set_value();
    }
    ConversionJob *job = nullptr;
    std::string pauseAt;
    std::promise<void> paused;
    std::promise<void> complete;
};

TEST(ConversionJobWorker, PausesBetweenPagesWithoutHoldingTheQueue)
{
    AppEnvironment environment;
    SignallingWindow window;
    FakeSite site;
    ConversionJob job(window, site);
    window.job = &job;
    window.pauseAt = "page 1 of 2";
    const std::string pdf = environment.WritePdf("two.pdf", 2);
    job.Append({pdf, environment.File("out/first/index.htm")});
    job.Start();

    window.paused.get_future().wait();
    // The halted worker holds no lock: queueing goes on.
    job.Append({pdf, environment.File("out/second/index.htm")});
    EXPECT_EQ(job.QueuedCount(), 2u);
    EXPECT_TRUE(job.Paused());
    job.Resume();

    window.complete.get_future().wait();
    job.Shutdown();
    EXPECT_TRUE(Exists(environment.File("out/first/pg_0002.htm")));
    EXPECT_TRUE(Exists(environment.File("out/second/pg_0002.htm")));
    EXPECT_EQ(job.QueuedCount(), 0u);
    EXPECT_FALSE(job.AnyFailed());
}

} // namespace
} // namespace lumora::app
