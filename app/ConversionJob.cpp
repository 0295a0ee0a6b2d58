// The conversion job: the worker's loop over the queue, one file, one page.
#include "app/ConversionJob.h"

#include "app/PathNames.h"
#include "app/SettingsStore.h"
#include "engine/HtmlPageWriter.h"
#include "surface/ModulePath.h"

#include <QFile>
#include <QString>

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace lumora::app {

namespace fs = std::filesystem;
namespace profile = settings::profile;

RunFlags &TheRunFlags()
{
    static RunFlags flags;
    return flags;
}

namespace {

constexpr auto kIdlePoll = std::chrono::milliseconds(100);

template <typename... Args>
std::string Format(const char *format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(std::size_t(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

// Path pieces: the folder (without its last slash), the file name, the base
// name (without extension) and the extension (with its dot).
std::string FolderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}


std::string ExtensionOf(const std::string &path)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool IsRegularFile(const fs::path &path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The regular files of a folder whose names match one of the patterns, the
// way the platform's file search matches them: without regard to case.
std::vector<fs::path> MatchingFiles(const std::string &folder, std::initializer_list<const char *> patterns)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const bool matches = std::any_of(patterns.begin(), patterns.end(), [&](const char *pattern) {
            return ::fnmatch(pattern, name.c_str(), FNM_CASEFOLD) == 0;
        });
        if (matches && IsRegularFile(it->path()))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The site templates lie beside the executable; a copy that fails leaves the
// site without that template and nothing more.
void CopySiteTemplates(const std::string &folder)
{
    for (const fs::path &source : MatchingFiles(ExecutableDirectory(), {"pg_*.gif", "pg_*.htm"})) {
        std::error_code ignored;
        fs::copy_file(source, fs::path(folder) / source.filename(), fs::copy_options::overwrite_existing, ignored);
    }
}

// Deleted site pages may still be wanted: they go to the desktop's trash
// where there is one, and are deleted for good only where there is none.
void MoveToTrashOrDelete(const fs::path &path)
{
    if (QFile::moveToTrash(QString::fromStdString(path.string())))
        return;
    std::error_code ignored;
    fs::remove(path, ignored);
}

struct PageObjectDeleter {
    void operator()(PageObject *page) const { PDF_DestroyPageObject(page); }
};
struct HtmLinkDeleter {
    void operator()(HtmLink *links) const { PDF_DestroyHtmLink(links); }
};
struct PageBmpDeleter {
    void operator()(void *bitmap) const { PDF_DestroyPageBmp(bitmap); }
};
struct EngineHandleDeleter {
    void operator()(EngineHandleRecord *handle) const { PDF_Close(handle); }
};
using PageObjectPtr = std::unique_ptr<PageObject, PageObjectDeleter>;
using HtmLinkPtr = std::unique_ptr<HtmLink, HtmLinkDeleter>;
using PageBmpPtr = std::unique_ptr<void, PageBmpDeleter>;
using EngineHandlePtr = std::unique_ptr<EngineHandleRecord, EngineHandleDeleter>;

SaveAsRequest SaveAsRequestFor(int conversionType)
{
    if (conversionType == kBmpPerPage)
        return {"bmp", "BMP Files (*.BMP)|*.BMP|All Files (*.*)|*.*||"};
    return {"htm", "HTM Files (*.HTM)|*.HTM|All Files (*.*)|*.*||"};
}

} // namespace

// ---------------------------------------------------------------------------
// Pure helpers

std::string FileSizeText(std::int64_t size)
{
    if (size / 1024 < 1024)
        return Format("%lld<%.2fK>", static_cast<long long>(size), double(size) / 1024.0);
    return Format("%lld<%.2fM>", static_cast<long long>(size), double(size) / 1024.0 / 1024.0);
}

int TotalProgress(int queued)
{
    // Stop may empty the queue between two reads: the bar then shows the
    // last file's share rather than dividing by zero.
    return 99 / std::max(queued, 1);
}

int CurrentProgress(int page, int first, int last)
{
    const int pages = std::max(last - first + 1, 1);
    return ((page - first + 1) * 100 - 1) / pages;
}

std::string PageFilePath(const std::string &startPage, int page, int first)
{
    return FolderWithSlash(startPage) + "pg" + Format("_%04d", page - first + 1) + ExtensionOf(startPage);
}

std::string BmpFilePath(const std::string &pdfPath, int page) { return Format("%s_%03d.bmp", pdfPath.c_str(), page); }

std::string StartPageFor(const std::string &chosenPath)
{
    return FolderWithSlash(chosenPath) + BaseNameOf(chosenPath) + "/index.htm";
}

std::optional<PageRange> StoredPageRange()
{
    PageRange range;
    if (settings::Read(profile::PageRangeType::Type) != 1)
        return range;
    range.fromSettings = true;
    range.first = settings::Read(profile::PageRange::From);
    range.last = settings::Read(profile::PageRange::To);
    if (range.last < range.first || range.first < 0 || range.last < 0)
        return std::nullopt;
    return range;
}

PageRange ClampToDocument(PageRange range, int pageCount)
{
    if (range.fromSettings) {
        range.first = std::max(range.first, 1);
        range.last = std::min(range.last, pageCount);
    } else {
        range.first = 1;
        range.last = pageCount;
    }
    return range;
}

bool MakeDirectoryPath(const std::string &path)
{
    // Every prefix that ends before a slash, then the whole path; the root
    // itself ("" before the leading slash) is skipped.
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        // A folder that exists already fails here, which is fine; a new one
        // gets the plain permissions that the umask leaves.
        if (!prefix.empty())
            ::mkdir(prefix.c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string PageRangeIncorrectMessage()
{
    return "Page range is incorrect. Please check it under File > Preferences > General, and try again.";
}

std::string CannotOpenMessage(const std::string &pdfPath)
{
    return "Can't extract information from the '" + pdfPath +
           "' file, Perhaps this PDF file is encrypted. Please double check this PDF file.";
}

std::string TooFewPagesMessage(const std::string &pdfPath, int pageCount)
{
    return "The '" + pdfPath + "' file only contains " + std::to_string(pageCount) +
           " pages. Please correct the page range under File > Preferences > General, and try again.";
}

std::string CannotCreateFolderMessage(const std::string &folder)
{
    return "Can't create the folder '" + folder + "'. Please check the output path, and try again.";
}

std::string PagesIncompleteMessage(const std::string &pdfPath, int failedPages, int pageCount, int firstFailed)
{
    return std::to_string(failedPages) + " of " + std::to_string(pageCount) + " pages of the '" + pdfPath +
           "' file were not written completely, the first is page " + std::to_string(firstFailed) + ".";
}

std::string OverwriteQuestion(const std::string &outputPath)
{
    return outputPath + " does already exist,overwrite? Select Cancel to skip this file.";
}

// ---------------------------------------------------------------------------
// The job

ConversionJob::ConversionJob(JobWindow &window, SiteWriter &site) : window_(window), site_(site)
{
    running_ = true;
}

ConversionJob::~ConversionJob() { Shutdown(); }

void ConversionJob::Start()
{
    if (!worker_.joinable())
        worker_ = std::thread([this] { Run(); });
}

void ConversionJob::Shutdown()
{
    running_ = false;
    {
        std::lock_guard lock(pauseLock_);
    }
    pauseChanged_.notify_all();
    // The worker checks the flag between pages, so this waits for one page
    // at most; a thread cannot be ended safely from outside.
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
}

void ConversionJob::Append(JobEntry entry)
{
    std::lock_guard lock(jobLock_);
    jobList_.push_back({nextId_++, std::move(entry)});
}

std::size_t ConversionJob::QueuedCount() const
{
    std::lock_guard lock(jobLock_);
    return jobList_.size();
}

void ConversionJob::Stop()
{
    {
        std::lock_guard lock(jobLock_);
        jobList_.clear();
    }
    stopRequested_ = true;
}

void ConversionJob::Pause()
{
    std::lock_guard lock(pauseLock_);
    paused_ = true;
}

void ConversionJob::Resume()
{
    {
        std::lock_guard lock(pauseLock_);
        paused_ = false;
    }
    pauseChanged_.notify_all();
}

bool ConversionJob::Paused() const
{
    std::lock_guard lock(pauseLock_);
    return paused_;
}

void ConversionJob::WaitWhilePaused()
{
    std::unique_lock lock(pauseLock_);
    pauseChanged_.wait(lock, [this] { return !paused_ || !running_; });
}

bool ConversionJob::KeepConverting() const { return !stopRequested_ && running_; }

void ConversionJob::ShowUnlessHidden(const std::string &message)
{
    if (TheRunFlags().runWithoutWindow)
        ReportIfHidden(message);
    else
        window_.ShowError(message);
}

void ConversionJob::ReportIfHidden(const std::string &message)
{
    if (TheRunFlags().runWithoutWindow)
        std::fprintf(stderr, "lumora: %s\n", message.c_str());
}

void ConversionJob::Run()
{
    while (running_) {
        WorkThroughQueue();
        if (QueuedCount() == 0)
            ShowIdle();
        std::this_thread::sleep_for(kIdlePoll);
    }
}

void ConversionJob::ShowIdle()
{
    window_.SetStopButtonText("Close");
    window_.EnablePause(false);
    window_.SetProgress(ProgressBar::Total, 0);
    for (InfoText text : {InfoText::PdfName, InfoText::TotalPages, InfoText::TotalFiles, InfoText::PdfSize,
                          InfoText::Version})
        window_.SetInfoText(text, "");
}

void ConversionJob::WorkThroughQueue()
{
    RunFlags &flags = TheRunFlags();
    while (running_) {
        WaitWhilePaused();
        window_.SetStopButtonText("Stop");
        window_.EnablePause(true);

        QueuedJob job;
        {
            std::lock_guard lock(jobLock_);
            if (jobList_.empty())
                return;
            job = jobList_.front();
        }

        Answer answer = Answer::Yes;
        std::string output = job.entry.outputPath;
        std::error_code error;
        if (fs::exists(output, error) && !flags.overwriteWithoutPrompt)
            answer = window_.AskOverwrite(OverwriteQuestion(output));
        if (answer == Answer::No) {
            if (auto chosen = window_.AskSaveAsPath(SaveAsRequestFor(flags.conversionType)))
                output = StartPageFor(*chosen);
            else
                answer = Answer::Cancel;
        }

        const bool success = answer != Answer::Cancel && ConvertFile(job.entry.pdfPath, output);
        if (!success)
            anyFailed_ = true;

        bool empty = false;
        {
            std::lock_guard lock(jobLock_);
            auto done = std::find_if(jobList_.begin(), jobList_.end(),
                                     [&](const QueuedJob &queued) { return queued.id == job.id; });
            if (done != jobList_.end())
                jobList_.erase(done);
            empty = jobList_.empty();
        }
        if (!empty)
            continue;

        if (flags.exitAfterConvert) {
            // With -q the exit code tells a script whether every file made it.
            const int exitCode = anyFailed_ ? 1 : 0;
            if (exit_) {
                exit_(exitCode);
            } else {
                std::fflush(nullptr);
                std::_Exit(exitCode);
            }
        } else if (answer != Answer::Cancel) {
            window_.ShowConversionComplete();
        }
        // The start page actually written, also after a new name was chosen.
        if (settings::Read(profile::Preview::Flag) != 0 && success)
            window_.OpenWithShell(output);
    }
}

bool ConversionJob::ConvertFile(const std::string &pdfPath, const std::string &outputPath)
{
    const int conversionType = TheRunFlags().conversionType;
    bool continuous = settings::Read(profile::GenerateInOneHTMLPage::Flag) != 0;
    if (settings::Read(profile::QUILLON::ForCharter) == 1)
        continuous = true;
    SetContinuousPageMode(continuous);

    const std::string baseName = BaseNameOf(pdfPath);
    window_.SetInfoText(InfoText::PdfName, pdfPath);
    std::error_code error;
    const auto size = fs::file_size(pdfPath, error);
    window_.SetInfoText(InfoText::PdfSize, error ? std::string() : FileSizeText(std::int64_t(size)));

    const int zoom = settings::Read(profile::ZoomRatio::Zoom);
    const std::string folder = FolderOf(outputPath);
    if (conversionType == kHtmlSite) {
        // Without its folder no page of the site can be written: one message
        // instead of a failed write for every page.
        if (!MakeDirectoryPath(folder.empty() ? "." : folder)) {
            ShowUnlessHidden(CannotCreateFolderMessage(folder));
            return false;
        }
        if (!continuous)
            CopySiteTemplates(folder);
    }

    const std::optional<PageRange> stored = StoredPageRange();
    if (!stored) {
        ShowUnlessHidden(PageRangeIncorrectMessage());
        return false;
    }

    const std::string owner = settings::Read(profile::CPDFPassword::m_szOwnerPassword);
    const std::string user = settings::Read(profile::CPDFPassword::m_szUserPassword);
    EngineHandlePtr handle(PDF_Open(pdfPath.c_str(), owner.c_str(), user.c_str(), zoom));

    bool converted = false;
    int width = 0, height = 0;
    if (!handle) {
        // A file that cannot be opened is not converted, whatever the
        // closing steps below do.
        ShowUnlessHidden(CannotOpenMessage(pdfPath));
    } else {
        const int pageCount = PDF_GetPageCount(handle.get());
        const PageRange range = ClampToDocument(*stored, pageCount);
        if (range.last < range.first) {
            ShowUnlessHidden(TooFewPagesMessage(pdfPath, pageCount));
            return false;
        }
        if (conversionType == kHtmlSite) {
            site_.WriteFrameset(folder, baseName, range.first, range.last);
            site_.AppendHomeLink(folder, baseName, range.first, range.last);
            site_.AppendBookmarkTree(handle.get(), folder, baseName, range.first, range.last);
            // The page writer starts a new start page of its own.
            if (continuous)
                fs::remove(outputPath, error);
        }
        stopRequested_ = false;
        SetPageOffsetX(0);
        SetPageOffsetY(0);
        SetPageOffsetX(settings::ReadAndWriteBack(settings::config::QUILLON::XOffset));
        SetPageOffsetY(settings::ReadAndWriteBack(settings::config::QUILLON::YOffset));
        TheFontClassTable().Clear();

        converted = ConvertPages(handle.get(), pdfPath, outputPath, range, width, height);
        handle.reset();
    }

    window_.SetProgress(ProgressBar::Current, 0);
    if (continuous && conversionType == kHtmlSite)
        FinishContinuousOutput(folder, baseName, width, height);
    return converted;
}

bool ConversionJob::ConvertPages(EngineHandle handle, const std::string &pdfPath, const std::string &outputPath,
                                 const PageRange &range, int &width, int &height)
{
    const int conversionType = TheRunFlags().conversionType;
    int failedPages = 0;
    int firstFailed = 0;
    const auto count = [&](int page, bool written) {
        if (!written && failedPages++ == 0)
            firstFailed = page;
    };
    for (int page = range.first; KeepConverting() && page <= range.last; ++page) {
        WaitWhilePaused();
        if (!KeepConverting())
            break;
        const int queued = int(QueuedCount());
        window_.SetInfoText(InfoText::TotalFiles, Format("%d files", queued));
        window_.SetProgress(ProgressBar::Total, TotalProgress(queued));
        window_.SetInfoText(InfoText::TotalPages,
                            Format("page %d of %d", page - range.first + 1, range.last - range.first + 1));
        window_.SetProgress(ProgressBar::Current, CurrentProgress(page, range.first, range.last));

        if (conversionType == kBmpPerPage) {
            PageBmpPtr bitmap(PDF_GetPageBmp(handle, page));
            if (!KeepConverting())
                break;
            count(page, bitmap && PDF_WriteToBMPFile(bitmap.get(), BmpFilePath(pdfPath, page).c_str()) == 1);
        } else if (conversionType == kHtmlSite) {
            PageObjectPtr pageObject(PDF_GetPageObject(handle, page));
            if (pageObject)
                window_.SetInfoText(InfoText::Version, Format("%%PDF-%.1f", double(pageObject->pdfVersion)));
            if (!KeepConverting())
                break;
            if (pageObject) {
                width = pageObject->width;
                height = pageObject->height;
            }
            count(page, pageObject && ConvertPage(handle, range.first, *pageObject, outputPath));
        }
    }
    if (failedPages > 0)
        ReportIfHidden(PagesIncompleteMessage(pdfPath, failedPages, range.last - range.first + 1, firstFailed));
    return failedPages == 0;
}

bool ConversionJob::ConvertPage(EngineHandle handle, int first, PageObject &page, const std::string &outputPath)
{
    const std::string pageFile = PageFilePath(outputPath, page.page, first);
    HtmLinkPtr links;
    if (settings::Read(profile::CHyperlinks::m_bEnableLinks) != 0)
        links.reset(PDF_GetPageHtmLink(handle, page.page));
    return PDF_ConvertToHtmlFile(&page, links.get(), pageFile.c_str()) == 1;
}

void ConversionJob::FinishContinuousOutput(const std::string &folder, const std::string &baseName, int width,
                                           int height)
{
    if (folder.empty())
        return;
    // The site pages written before the pages are of no use to one page.
    for (const fs::path &sitePage : MatchingFiles(folder, {"pg_*.htm"}))
        MoveToTrashOrDelete(sitePage);

    if (settings::Read(profile::m_bRemovePics::Flag) != 0) {
        std::error_code error;
        fs::copy_file(fs::path(folder) / "index.htm", folder + ".htm", fs::copy_options::overwrite_existing, error);
        // The folder goes only once its page is safe beside it.
        if (!error)
            fs::remove_all(folder, error);
    }
    site_.FinishCharterPage(folder, baseName, width, height);
}

} // namespace lumora::app
