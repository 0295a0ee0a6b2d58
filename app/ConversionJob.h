#pragma once
// The conversion job: a queue of PDF files and the one worker thread that
// works through it, file after file and page after page, calling the engine
// and the site generator.
//
// The job never touches a widget: what it shows goes through JobWindow, so it
// runs the same with the main window, a headless stand-in or a test's fake.
// All engine calls happen on the worker, one file and one handle at a time.
#include "lumora_engine.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace lumora::app {

// ---------------------------------------------------------------------------
// Process-wide run flags (the options -r, -m and -q, and the output type)

enum ConversionTypes { kHtmlSite = 0, kBmpPerPage = 1 };

struct RunFlags {
    std::atomic<bool> overwriteWithoutPrompt{false}; // -r
    std::atomic<bool> runWithoutWindow{false};       // -m
    std::atomic<bool> exitAfterConvert{false};       // -q
    std::atomic<int> conversionType{kHtmlSite};
};

// The one instance, read by the worker, the command line and the window.
RunFlags &TheRunFlags();

// ---------------------------------------------------------------------------
// What the job shows, and asks, through the window

enum class InfoText { PdfName = 1012, PdfSize = 1013, Version = 1014, TotalFiles = 1016, TotalPages = 1017 };
enum class ProgressBar { Current = 1000, Total = 1001 };
enum class Answer { Yes, No, Cancel };

struct SaveAsRequest {
    std::string defaultExtension; // "htm" or "bmp"
    std::string filter;           // "HTM Files (*.HTM)|*.HTM|All Files (*.*)|*.*||"
};

// Called from the worker thread; an implementation that owns widgets hands
// the calls over to its own thread.
class JobWindow {
public:
    virtual ~JobWindow() = default;
    virtual void SetInfoText(InfoText which, const std::string &text) = 0;
    virtual void SetProgress(ProgressBar which, int value) = 0;
    virtual void SetStopButtonText(const std::string &text) = 0; // "Stop" or "Close"
    virtual void EnablePause(bool enabled) = 0;
    // An error box: caption the application name, OK, exclamation icon.
    virtual void ShowError(const std::string &message) = 0;
    // Yes/No/Cancel with the exclamation icon.
    virtual Answer AskOverwrite(const std::string &message) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> AskSaveAsPath(const SaveAsRequest &request) = 0;
    // "Conversion complete!", caption "Sitefold software", topmost.
    virtual void ShowConversionComplete() = 0;
    // Opens a page with its associated program; failures are ignored.
    virtual void OpenWithShell(const std::string &path) = 0;
};

// ---------------------------------------------------------------------------
// The site generator as the job calls it. The real one writes index.htm and
// completes the copied site templates; tests may put a fake in its place.
class SiteWriter {
public:
    virtual ~SiteWriter() = default;
    virtual void WriteFrameset(const std::string &folder, const std::string &baseName, int first, int last) = 0;
    virtual void AppendHomeLink(const std::string &folder, const std::string &baseName, int first, int last) = 0;
    virtual void AppendBookmarkTree(EngineHandle handle, const std::string &folder, const std::string &baseName,
                                    int first, int last) = 0;
    // 1 when it framed the continuous page, 0 when framing is off.
    virtual int FinishCharterPage(const std::string &folder, const std::string &baseName, int width,
                                  int height) = 0;
};

// The site generator of the application.
SiteWriter &DefaultSiteWriter();

// ---------------------------------------------------------------------------
// The queue

struct JobEntry {
    std::string pdfPath;
    std::string outputPath; // the start page, ".../<name>/index.htm"
};

// ---------------------------------------------------------------------------
// Pure helpers (shown values and paths)

// "S<K.KKK>" below 1024 KiB, "S<M.MMM>" from there, as the PDF Size text.
std::string FileSizeText(std::int64_t size);
// The Total bar while the queue holds `queued` files (the current one included).
int TotalProgress(int queued);
// The Current bar during page `page` of the range first..last.
int CurrentProgress(int page, int first, int last);
// "D/pg_NNNN.htm" for the page's place in the range, from the start page path.
std::string PageFilePath(const std::string &startPage, int page, int first);
// "P_NNN.bmp" beside the PDF.
std::string BmpFilePath(const std::string &pdfPath, int page);
// folder + base name + "/index.htm" for a path the user chose.
std::string StartPageFor(const std::string &chosenPath);

// The page range to convert, from the stored settings: nothing when the
// stored range is incorrect.
struct PageRange {
    int first = 1;
    int last = 100000;
    bool fromSettings = false; // range type 1
};
std::optional<PageRange> StoredPageRange();
// Clamps the range to a document of pageCount pages; last < first when the
// range starts after the last page.
PageRange ClampToDocument(PageRange range, int pageCount);

// Creates every missing folder along the path; whether it is a folder now.
bool MakeDirectoryPath(const std::string &path);

// Messages the job shows.
std::string PageRangeIncorrectMessage();
std::string CannotOpenMessage(const std::string &pdfPath);
std::string TooFewPagesMessage(const std::string &pdfPath, int pageCount);
std::string OverwriteQuestion(const std::string &outputPath);
std::string CannotCreateFolderMessage(const std::string &folder);
// For unattended runs only: the window leaves an incomplete page unreported.
std::string PagesIncompleteMessage(const std::string &pdfPath, int failedPages, int pageCount, int firstFailed);

// ---------------------------------------------------------------------------
// The job

class ConversionJob {
public:
    // Ends the process with the exit code (with -q, after the last file).
    using ExitFunction = std::function<void(int exitCode)>;

    ConversionJob(JobWindow &window, SiteWriter &site = DefaultSiteWriter());
    ~ConversionJob(); // stops the worker
    ConversionJob(const ConversionJob &) = delete;
    ConversionJob &operator=(const ConversionJob &) = delete;

    // Without one the process ends through std::_Exit.
    void SetExitFunction(ExitFunction exit) { exit_ = std::move(exit); }

    // The worker thread: started once; Shutdown lets it finish its current
    // page and waits for it.
    void Start();
    void Shutdown();

    // Window side.
    void Append(JobEntry entry);
    std::size_t QueuedCount() const;
    // Empties the queue; the file in progress ends after its current page.
    void Stop();
    // Halts the worker between pages (never while it holds a lock).
    void Pause();
    void Resume();
    bool Paused() const;

    // One file; true when it was converted. Called by the worker, public so
    // that it can be driven without a thread.
    bool ConvertFile(const std::string &pdfPath, const std::string &outputPath);
    // One page of HTML output; true when its page file was written.
    bool ConvertPage(EngineHandle handle, int first, PageObject &page, const std::string &outputPath);

    // Whether any file taken from the queue was not converted.
    bool AnyFailed() const { return anyFailed_; }

    // One pass of the worker's loop over the queue; returns when it is empty.
    // Public for tests that drive the job without a thread.
    void WorkThroughQueue();

private:
    void Run();
    void ShowIdle();
    void ShowUnlessHidden(const std::string &message);
    // Standard error under -m, nothing with a window.
    void ReportIfHidden(const std::string &message);
    void WaitWhilePaused();
    bool KeepConverting() const;
    bool Running() const { return running_; }
    // False when some page could not be written.
    bool ConvertPages(EngineHandle handle, const std::string &pdfPath, const std::string &outputPath,
                      const PageRange &range, int &width, int &height);
    void FinishContinuousOutput(const std::string &folder, const std::string &baseName, int width, int height);

    JobWindow &window_;
    SiteWriter &site_;
    ExitFunction exit_;

    // Entries carry a number of their own, so that the worker removes the
    // entry it worked on even when Stop and new appends came in between.
    struct QueuedJob {
        std::uint64_t id;
        JobEntry entry;
    };
    mutable std::mutex jobLock_;
    std::deque<QueuedJob> jobList_;
    std::uint64_t nextId_ = 0;

    std::atomic<bool> running_{false};        // the worker's life
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> anyFailed_{false};

    mutable std::mutex pauseLock_; // the pause gate's own, never held while converting
    std::condition_variable pauseChanged_;
    bool paused_ = false;

    std::thread worker_;
};

} // namespace lumora::app
