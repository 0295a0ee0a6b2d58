#include "app/SiteGenerator.h"

#include "app/SettingsStore.h"
#include "engine/PageHead.h"
#include "surface/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace lumora::site {

namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The buffer the outline file's path comes back in, as the engine's callers
// have always passed it.
constexpr int kBookmarkPathBufferSize = 260;
// An outline line is read in pieces of at most this many characters.
constexpr int kLinePieceSize = 4095;

constexpr std::string_view kTitlePageSeparator = "<>,";

std::string InFolder(const std::string &folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string WithoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool WriteText(const std::string &path, const char *mode, std::string_view text)
{
    FilePtr file(std::fopen(path.c_str(), mode));
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    return std::fclose(file.release()) == 0 && written;
}

std::string SitePageFile(int64_t sitePage)
{
    char name[32];
    std::snprintf(name, sizeof name, "pg_%04lld.htm", static_cast<long long>(sitePage));
    return name;
}

std::string ReplaceAll(std::string_view text, std::string_view oldText, std::string_view newText)
{
    if (oldText.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found = text.find(oldText); found != std::string_view::npos; found = text.find(oldText, start)) {
        result.append(text.substr(start, found - start));
        result.append(newText);
        start = found + oldText.size();
    }
    result.append(text.substr(start));
    return result;
}

// ---- The start page

std::string StartPageTitle(const std::string &baseName)
{
    namespace page = settings::profile::CHTMLPage;
    return settings::Read(page::m_iPageTitle) == 1 ? settings::Read(page::m_szPageTitle) : baseName;
}

std::string KeywordsMeta()
{
    const std::string keywords = settings::Read(settings::profile::CHTMLPage::m_szPageKeywords);
    if (keywords.empty())
        return {};
    return "\n<meta name=\"keywords\" content=\"" + EscapeMarkup(keywords, true) + "\">\n";
}

std::string FramesetPage(const std::string &title, int pageCount)
{
    std::string page = PageHeadLines();
    page += HeadStart("");
    page += TitleElement(title);
    page += KeywordsMeta();
    page += "<script TYPE=\"text/javascript\">\nvar firstpage = 1;\nvar lastpage = " + std::to_string(pageCount) +
            ";\nvar the_timeout = setTimeout(\"lbottom.location.reload();\",3000);\n</script></head>\n";
    page += "<frameset rows=\"30,*\" framespacing=\"1\" border=\"0\" frameborder=\"0\">\n"
            "    <frame name=\"ltop\" scrolling=\"no\" target=\"lbottom\" src=\"pg_nav.htm\">\n"
            "    <frameset name = \"leftpane\" cols=\"150,*\">\n"
            "\t<frame name=\"lbottom\" target=\"contents\" src=\"pg_index.htm\">\n"
            "\t<frame name=\"contents\" src=\"" +
            SitePageFile(1) +
            "\">\n"
            "    </frameset>\n"
            "  <noframes>\n"
            "  <body>\n"
            "  \t<p>This page uses frames, but your browser doesn't support them.</p>\n"
            "  </body>\n"
            "  </noframes>\n"
            "</frameset></html>\n";
    return page;
}

// ---- The outline file

// A bookmark title as the tree page shows it: quotes and angle brackets as
// character references, so a title can neither end an attribute nor open an
// element.
std::string EscapeTitle(std::string_view title)
{
    std::string escaped = ReplaceAll(title, "\"", "&quot;");
    escaped = ReplaceAll(escaped, "<", "&lt;");
    return ReplaceAll(escaped, ">", "&gt;");
}

// The leading decimal number of the text, 0 when there is none; held to the
// 32-bit range.
int LeadingNumber(std::string_view text)
{
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min<int64_t>(value * 10 + (text[at] - '0'), int64_t(INT_MAX) + 1);
    value = negative ? -value : value;
    return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

std::string WithoutLineEnds(std::string_view piece)
{
    std::string text;
    for (const char c : piece)
        if (c != '\r' && c != '\n')
            text += c;
    return text;
}

BookmarkItem ParseOutlineLine(const std::string &line)
{
    BookmarkItem item;
    const size_t tabs = line.find_first_not_of('\t');
    item.level = int(tabs == std::string::npos ? line.size() : tabs);

    const size_t separator = line.find(kTitlePageSeparator);
    std::string title = line.substr(0, separator);
    title.erase(0, title.find_first_not_of('\t') == std::string::npos ? title.size() : title.find_first_not_of('\t'));
    item.title = EscapeTitle(title);

    std::string pageText = "1";
    if (separator != std::string::npos) {
        const size_t start = separator + kTitlePageSeparator.size();
        const std::string after = line.substr(start, line.find(',', start) - start);
        if (!after.empty())
            pageText = after;
    }
    item.page = LeadingNumber(pageText);
    return item;
}

// ---- The bookmark tree

// The site page an outline entry opens; 0 for a page before the range.
int64_t SitePageOf(int page, int first)
{
    const int64_t sitePage = int64_t(page) - first + 1;
    return sitePage > 0 ? sitePage : 0;
}

std::string ScriptString(std::string_view htmlText) { return "\"" + EscapeForScriptString(htmlText) + "\""; }

// Each entry hangs on the folder variable of its level. An outline whose level
// jumps by more than one would name a folder that was never made, and the
// whole tree script would stop there; such entries go one level below the
// entry before them instead.
std::vector<int> TreeLevels(const std::vector<BookmarkItem> &items)
{
    std::vector<int> levels;
    int previous = -1;
    for (const BookmarkItem &item : items) {
        previous = std::min(item.level, previous + 1);
        levels.push_back(previous);
    }
    return levels;
}

} // namespace

std::string BookmarkTreeScript(const std::vector<BookmarkItem> &items, const std::string &baseName, int first)
{
    std::string script = "root0 = gFld(" + ScriptString(EscapeTitle(baseName)) + ", \"\")\n";
    if (items.empty()) {
        script += "root0 = gFld(\"Your pdf file doesn't contain bookmarks\", \"\")\n";
        return script;
    }
    const std::vector<int> levels = TreeLevels(items);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string level = std::to_string(levels[i]);
        const std::string title = ScriptString(items[i].title);
        const std::string page = "\"" + std::to_string(SitePageOf(items[i].page, first)) + "\"";
        if (i + 1 < items.size() && levels[i + 1] > levels[i])
            script += "root" + std::to_string(levels[i] + 1) + " = insFld(root" + level + ", gFld(" + title + ", " +
                      page + "))\n";
        else
            script += "insDoc(root" + level + ", gLnk(2," + title + ", " + page + "))\n";
    }
    return script;
}

namespace {

// ---- The framed continuous page

std::string CharterTableStart(int64_t width, int64_t height)
{
    return "<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#ffffff\">\n<table width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) +
           "\" border=\"0\" align=\"center\" cellpadding=\"20\" cellspacing=\"20\">\n<tr>\n<td>\n";
}

} // namespace

std::string EscapeForScriptString(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

void WriteFrameset(const std::string &folder, const std::string &baseName, int first, int last)
{
    const int pageCount = int(std::clamp<int64_t>(int64_t(last) - first + 1, 0, INT_MAX));
    WriteText(InFolder(folder, "index.htm"), "w", FramesetPage(StartPageTitle(baseName), pageCount));
}

void AppendHomeLink(const std::string &folder)
{
    namespace page = settings::profile::CHTMLPage;
    const std::string address = settings::Read(page::m_strHomepageURL);
    if (settings::Read(page::m_bHomepageURL) == 0 || address.empty())
        return;
    WriteText(InFolder(folder, "pg_index.htm"), "a",
              PageHeadLines() + "<html><body><table><tr><td><img src=\"pg_page.gif\"><a href=\"" +
                  EscapeMarkup(address, true) + "\"target=\"_top\">Home</a></td></tr></table></body></html>");
}

int ReadBookmarks(EngineHandle handle, std::vector<BookmarkItem> &items)
{
    char path[kBookmarkPathBufferSize] = {};
    if (PDF_GetBookmark(handle, path, kBookmarkPathBufferSize) != 1)
        return int(items.size());
    path[kBookmarkPathBufferSize - 1] = '\0';
    return ReadOutlineFile(path, items);
}

int ReadOutlineFile(const std::string &path, std::vector<BookmarkItem> &items)
{
    FilePtr file(std::fopen(path.c_str(), "r"));
    if (!file)
        return 0;
    char piece[kLinePieceSize + 1];
    while (std::fgets(piece, sizeof piece, file.get())) {
        const std::string line = WithoutLineEnds(piece);
        if (!line.empty())
            items.push_back(ParseOutlineLine(line));
    }
    return int(items.size());
}

void AppendBookmarkTree(EngineHandle handle, const std::string &folder, const std::string &baseName, int first,
                        int last)
{
    std::vector<BookmarkItem> items;
    ReadBookmarks(handle, items);
    std::string text = BookmarkTreeScript(items, baseName, first);
    text += "</script><script>initializeDocument()</script></head>\n"
            "<body bgcolor=white  style=\"border-right: 2 solid #CCCCCC\">\n</body>\n</html>";
    WriteText(InFolder(folder, "pg_bmark.htm"), "a", text);
}

int FinishCharterPage(const std::string &folder, const std::string &baseName, int width, int height)
{
    namespace quillon = settings::config::QUILLON;
    const int extraWidth = settings::ReadAndWriteBack(quillon::XTableOffset);
    const int extraHeight = settings::ReadAndWriteBack(quillon::YTableOffset);
    if (settings::Read(settings::profile::QUILLON::ForCharter) == 0)
        return 0;

    const std::string continuousPage = InFolder(folder, "index.htm");
    const std::string framedPage = WithoutTrailingSlashes(folder) + ".html";
    std::error_code error;
    std::filesystem::copy_file(continuousPage, framedPage, std::filesystem::copy_options::overwrite_existing, error);
    // The continuous page goes only once its copy is safe.
    if (error)
        return 1;
    std::filesystem::remove(continuousPage, error);

    const std::string bodyStart = "<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#ffffff\">";
    std::string headLines = PageHeadLines();
    headLines.pop_back(); // the comment's own line end stays
    ReplaceInFile(framedPage, "pg_0001.jpg", baseName + "/pg_0001.jpg");
    ReplaceInFile(framedPage, bodyStart,
                  CharterTableStart(int64_t(width) + extraWidth + 200, int64_t(height) + extraHeight + 50));
    ReplaceInFile(framedPage, "</body>", "\n</td>\n</tr>\n</table>\n</body>");
    ReplaceInFile(framedPage, TitleElement("pg_0001"), TitleElement(baseName));
    ReplaceInFile(framedPage, headLines, "");
    return 1;
}

void ReplaceInFile(const std::string &path, std::string_view oldText, std::string_view newText)
{
    FilePtr file(std::fopen(path.c_str(), "r+b"));
    if (!file)
        return;
    std::string text;
    char chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        text.append(chunk, got);
    if (std::ferror(file.get()))
        return; // a file read only in part must not be cut down to that part
    const std::string replaced = ReplaceAll(text, oldText, newText);
    if (replaced == text)
        return;
    std::rewind(file.get());
    std::fwrite(replaced.data(), 1, replaced.size(), file.get());
    std::fflush(file.get());
    // Drop what is left of the old text beyond the new end.
    [[maybe_unused]] const int ignored = ::ftruncate(::fileno(file.get()), off_t(replaced.size()));
}

} // namespace lumora::site
