// The HTML page writer: PDF_ConvertToHtmlFile and the page file it writes.
#include "engine/HtmlPageWriter.h"

#include "app/SettingsStore.h"
#include "engine/EngineHandle.h"
#include "engine/LibraryData.h"
#include "engine/PageHead.h"
#include "surface/Dib.h"
#include "surface/PageBlocks.h"
#include "surface/TextEncoding.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace lumora {

namespace {

constexpr const char *kContinuousPageName = "index.htm";
constexpr const char *kPictureExtension = ".jpg";
constexpr std::string_view kGoToPrefix = "actionGoTo:";
constexpr std::string_view kUriPrefix = "actionURI:";
// Pages of one continuous file stand this far apart.
constexpr int32_t kContinuousPageGap = 10;
// Characters further apart than this share of the font size count as
// separated words.
constexpr double kWordGapShare = 0.15;
constexpr uint16_t kRightDoubleQuote = 0x201D;

// ---- Page template pieces, written unchanged

constexpr const char *kLinkStyles = "<style>\n<!-- \nselect {font-size:12px;}\n"
                                    "A:link {text-decoration: none; color: blue}\n"
                                    "A:visited {text-decoration: none; color: purple}\n"
                                    "A:active {text-decoration: red}\n"
                                    "A:hover {text-decoration: underline; color:red}\n-->\n</style>\n";

constexpr const char *kErrorSilencer = "<script TYPE=\"text/javascript\"> \n<!-- hide \nfunction killerrors()\n{ \n"
                                       "return true; \n} \nwindow.onerror = killerrors; \n// --> \n</script>\n";

constexpr const char *kFontClassesStart = "<style type=\"text/css\">\n<!--\n";

// A double click scrolls the page down a pixel every 10 milliseconds until
// the end; a mouse press stops it.
constexpr const char *kAutoScroll = "\n<script TYPE=\"text/javascript\">\nvar currentpos,timer; \n"
                                    "function initialize() \n{ \ntimer=setInterval(\"scrollwindow()\",10);\n} \n"
                                    "function sc(){\nclearInterval(timer); \n}\nfunction scrollwindow() \n{ \n"
                                    "currentpos=document.body.scrollTop; \nwindow.scroll(0,++currentpos); \n"
                                    "if (currentpos != document.body.scrollTop) \nsc();\n} \n"
                                    "document.onmousedown=sc\ndocument.ondblclick=initialize\n</script>\n";

// The page takes the zoom percentage that the frameset's top frame keeps.
constexpr const char *kFrameZoom = "<script TYPE=\"text/javascript\">\n"
                                   "\t\t\tvar currentZoom = parent.ltop.currentZoom;\n"
                                   "\t\t\tif(currentZoom != undefined)\n"
                                   "\t\t\t\tdocument.body.style.zoom=currentZoom/100;\n"
                                   "\t\t\t</script>\n";

constexpr const char *kDocumentEnd = "</body>\n</html>";

void AppendFormat(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void AppendFormat(std::string &out, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length > 0) {
        const size_t start = out.size();
        out.resize(start + size_t(length) + 1);
        std::vsnprintf(out.data() + start, size_t(length) + 1, format, arguments);
        out.resize(start + size_t(length));
    }
    va_end(arguments);
}

int32_t ClampToInt32(int64_t value) { return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

std::string_view FaceOf(const TextBlock &text) { return text.face ? text.face : ""; }

bool IsUprightText(const PageBlock *block)
{
    return block && block->blockType == PAGE_BLOCK_TEXT && block->text && block->text->orientation == 0;
}

// The top of a run's line box as the page places it.
int64_t RunTop(const TextBlock &text) { return int64_t(text.y) - text.size + 2; }

// ---- Paths of one page: D/N.E gives the picture D/N.jpg

struct PagePaths {
    std::filesystem::path directory;
    std::string baseName;
    std::string extension;

    explicit PagePaths(const std::string &htmlPath)
    {
        const std::filesystem::path path(htmlPath);
        directory = path.parent_path();
        baseName = path.stem().string();
        extension = path.extension().string();
    }
    std::string Picture() const { return (directory / (baseName + kPictureExtension)).string(); }
    std::string ContinuousPage() const { return (directory / kContinuousPageName).string(); }
};

// ---- Preparing the page object

// Image blocks leave the list; lines, polygons and clips are emptied in
// place, so they still part the text runs around them.
void ConsumePictureBlocks(PageObject &page)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < page.blockCount; ++i) {
        PageBlock *block = page.blocks[i];
        if (block && block->blockType == PAGE_BLOCK_IMAGE) {
            ReleaseBlockPayload(*block);
            std::free(block);
            continue;
        }
        if (block && block->blockType != PAGE_BLOCK_TEXT)
            ReleaseBlockPayload(*block);
        page.blocks[kept++] = block;
    }
    page.blockCount = kept;
}

void CollectFontClasses(const PageObject &page, FontClassTable &classes)
{
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (IsUprightText(page.blocks[i]))
            classes.Add(*page.blocks[i]->text);
}

// ---- Escaping

std::string EscapeAttribute(std::string_view text) { return EscapeMarkup(std::string(text), true); }

// A file name as a relative address: the characters that would start a
// query or fragment, or an escape, are percent-encoded.
std::string FileNameAddress(std::string_view name)
{
    std::string address;
    for (const char c : name) {
        if (c == '%' || c == '#' || c == '?')
            AppendFormat(address, "%%%02X", unsigned(uint8_t(c)));
        else
            address.push_back(c);
    }
    return EscapeAttribute(address);
}

// Browsers ignore control characters and blanks inside a scheme and compare
// it without regard to case, so the check does the same.
bool RunsScript(std::string_view target)
{
    const size_t colon = target.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string scheme;
    for (const char c : target.substr(0, colon))
        if (uint8_t(c) > ' ')
            scheme.push_back(char(std::tolower(uint8_t(c))));
    return scheme == "javascript" || scheme == "vbscript" || scheme == "data";
}

std::string WithoutEvery(std::string text, std::string_view piece)
{
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at))
        text.erase(at, piece.size());
    return text;
}

// The decimal number an action text carries after its prefix, as C's atoi
// reads it, kept within 32 bits.
int32_t PageNumberAfter(std::string_view text)
{
    const std::string digits(text);
    return ClampToInt32(std::strtoll(digits.c_str(), nullptr, 10));
}

// ---- The page document

class PageDocument {
public:
    PageDocument(const PageObject &page, const HtmLink *links, const PagePaths &paths, const std::string &jpegPath,
                 const PageWriterSettings &settings, const FontClassTable &classes)
        : page_(page), links_(links), paths_(paths), jpegPath_(jpegPath), settings_(settings), classes_(classes)
    {
    }

    std::string Compose()
    {
        out_ = PageHeadLines();
        out_ += HeadStart("\n");
        out_ += TitleElement(paths_.baseName);
        out_ += "\n\n";
        out_ += kLinkStyles;
        out_ += kErrorSilencer;
        WriteFontClasses();
        AppendFormat(out_, "-->\n</style>\n</head>\n<body vlink=\"#FFFFFF\" link=\"#FFFFFF\" bgcolor=\"#%02x%02x%02x\">\n",
                     RedOf(settings_.background), GreenOf(settings_.background), BlueOf(settings_.background));
        out_ += kAutoScroll;
        WritePicture();
        WriteTextSpans();
        if (!ContinuousPageMode())
            out_ += kFrameZoom;
        out_ += kDocumentEnd;
        return std::move(out_);
    }

private:
    void WriteFontClasses()
    {
        out_ += kFontClassesStart;
        const auto &styles = classes_.Styles();
        for (size_t n = 0; n < styles.size(); ++n) {
            const FontStyle &style = styles[n];
            AppendFormat(out_, ".ft%zu{font-style:%s;font-weight:%s;font-size:%dpx;font-family:%s;color:#%02x%02x%02x;}\n",
                         n, style.italic ? "italic" : "normal", style.bold ? "bold" : "normal", style.size,
                         CssFaceName(style.face).c_str(), RedOf(style.colour), GreenOf(style.colour),
                         BlueOf(style.colour));
        }
    }

    void WritePicture()
    {
        const bool continuous = ContinuousPageMode();
        if (continuous && settings_.removePictures)
            return;
        const std::string picture =
            FileNameAddress(std::filesystem::path(jpegPath_).filename().string());
        const bool withMap = links_ && links_->count > 0 && links_->entries && !continuous;
        if (!withMap) {
            AppendFormat(out_, "<div style=\"position:absolute;top:%d;left:%d\"><img width=\"%d\" height=\"%d\" src=\"%s\" ALT=\"\"></div>\n",
                         PageOffsetY(), PageOffsetX(), page_.width, page_.height, picture.c_str());
            return;
        }
        AppendFormat(out_, "<div style=\"position:absolute;top:%d;left:%d\"><map name=\"FPMap0\">\n", PageOffsetY(),
                     PageOffsetX());
        for (int32_t i = 0; i < links_->count; ++i) {
            const HtmLinkEntry &link = links_->entries[i];
            const std::string target =
                EscapeAttribute(LinkTarget(link.actionText ? link.actionText : "", paths_.extension));
            AppendFormat(out_, "<area href=\"%s\" shape=\"rect\" coords=\"%d,%d,%d,%d\">\n", target.c_str(), link.left,
                         link.top, link.right, link.bottom);
        }
        out_ += "</map>\n";
        AppendFormat(out_, "<img width=\"%d\" height=\"%d\" src=\"%s\" ALT=\"\" usemap=\"#FPMap0\"></div>\n",
                     page_.width, page_.height, picture.c_str());
    }

    // The last run written, across all spans of the page: a span's first
    // character gets a leading space when it stands well apart from it.
    struct WrittenRun {
        int32_t x = 0;
        int32_t y = 0;
        int32_t advance = 0;
        int32_t size = 0;
        std::string units; // the UTF-16 bytes

        bool SameSpotAndText(const TextBlock &text) const
        {
            return text.x == x && text.y == y && units == UnitsOf(text);
        }
    };

    static std::string UnitsOf(const TextBlock &text)
    {
        if (!text.text || text.count <= 0)
            return {};
        return std::string(reinterpret_cast<const char *>(text.text), size_t(text.count) * 2);
    }

    static bool IsSingleUnit(const TextBlock &text, uint16_t unit)
    {
        return text.count == 1 && text.text && (text.text[0] | text.text[1] << 8) == unit;
    }

    // A character drawn twice on the same spot (simulated bold) is written once.
    void Emit(const TextBlock &current, std::string &spanText)
    {
        if (previous_.SameSpotAndText(current))
            return;
        const int64_t gap = int64_t(current.x) - previous_.x - previous_.advance;
        const bool separated = previous_.size != 0 && double(gap) > kWordGapShare * previous_.size;
        previous_ = WrittenRun{current.x, current.y, current.advance, current.size, UnitsOf(current)};
        if (settings_.checkSpaces && separated)
            spanText.push_back(' ');
        if (IsSingleUnit(current, kRightDoubleQuote))
            spanText += "&quot;";
        else
            AppendHtmlText(current.text, current.count, spanText);
    }

    // Whether the run after `current` continues its span: the same line
    // (tops less than a font size apart), a small step to the right, and the
    // same size, face and colour (a bold character may join a normal span).
    // A copy drawn on the very spot (simulated bold) is passed over within
    // the span: ending the span there would start the next span at the
    // copy's place and write the following characters over the first ones.
    bool Continues(const TextBlock &current, int32_t nextIndex) const
    {
        if (settings_.charSpaces == 0 || nextIndex >= page_.blockCount)
            return false;
        const PageBlock *block = page_.blocks[nextIndex];
        if (!IsUprightText(block))
            return false;
        const TextBlock &next = *block->text;
        if (next.x == current.x && next.y == current.y && UnitsOf(next) == UnitsOf(current))
            return true;
        const int64_t step = int64_t(next.x) - current.x;
        if (step <= 0 || step > settings_.charSpaces)
            return false;
        if (next.size != current.size || FaceOf(next) != FaceOf(current) || next.colour != current.colour)
            return false;
        const int64_t topDistance = std::abs(RunTop(next) - RunTop(current));
        return topDistance < std::max(next.size, current.size);
    }

    void WriteTextSpans()
    {
        previous_ = WrittenRun{};
        for (int32_t i = 0; i < page_.blockCount; ++i) {
            if (!IsUprightText(page_.blocks[i]))
                continue;
            const TextBlock *current = page_.blocks[i]->text;
            AppendFormat(out_, "<div style=\"position:absolute;top:%d;left:%d\"><span class=\"ft%d\">",
                         ClampToInt32(PageOffsetY() + RunTop(*current)),
                         ClampToInt32(int64_t(PageOffsetX()) + current->x), classes_.Find(*current));
            std::string spanText;
            Emit(*current, spanText);
            while (Continues(*current, i + 1)) {
                ++i;
                current = page_.blocks[i]->text;
                Emit(*current, spanText);
            }
            out_ += spanText;
            out_ += "</span></div>\n";
        }
    }

    const PageObject &page_;
    const HtmLink *links_;
    const PagePaths &paths_;
    const std::string &jpegPath_;
    const PageWriterSettings &settings_;
    const FontClassTable &classes_;
    WrittenRun previous_;
    std::string out_;
};

// ---- Files

void ReportCreateFileError(const std::string &htmlPath) { ReportToUser("Create file error [" + htmlPath + "]!"); }

bool ReplaceFile(const std::string &path, const std::string &content, const std::string &htmlPath)
{
    FilePtr file(std::fopen(path.c_str(), "w"));
    if (!file) {
        ReportCreateFileError(htmlPath);
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    return std::fclose(file.release()) == 0 && written;
}

// A page that cannot be appended completely is taken back again, so that the
// pages before it stay as they were.
bool AppendToFile(const std::string &path, const std::string &content, const std::string &htmlPath)
{
    FilePtr file(std::fopen(path.c_str(), "a"));
    if (!file) {
        ReportCreateFileError(htmlPath);
        return false;
    }
    const off_t before = (std::fseek(file.get(), 0, SEEK_END) == 0) ? ftello(file.get()) : -1;
    const bool written = before >= 0 && std::fwrite(content.data(), 1, content.size(), file.get()) == content.size() &&
                         std::fflush(file.get()) == 0;
    if (!written && before >= 0) {
        std::clearerr(file.get());
        [[maybe_unused]] const int ignored = ::ftruncate(::fileno(file.get()), before);
    }
    return std::fclose(file.release()) == 0 && written;
}

// The page picture: a bitmap of the page in the background colour with
// everything that is not upright text, encoded as the JPEG file.
bool PaintAndEncode(const PageObject &page, const std::string &jpegPath, const PageWriterSettings &settings)
{
    DrawSurface picture;
    if (!picture.CreateCompatible(page.width, page.height))
        return false; // a page without area has no picture
    picture.FillRect(settings.background & 0x00FFFFFF);
    PaintPageBlocks(picture, page);
    return EncodePicture(picture, jpegPath, settings);
}

} // namespace

PageWriterSettings PageWriterSettings::Read()
{
    namespace profile = settings::profile;
    PageWriterSettings read;
    read.background = uint32_t(settings::Read(profile::CHTMLPage::m_clBackground));
    read.jpegQuality = settings::Read(profile::CRasterImage::m_iJPGQuality);
    read.grayscale = settings::Read(profile::CRasterImage::m_bGrayscale) != 0;
    read.removePictures = settings::Read(profile::m_bRemovePics::Flag) != 0;
    read.checkSpaces = settings::Read(profile::QUILLON::CheckSpaces) != 0;
    read.charSpaces = settings::Read(settings::config::QUILLON::CharSpaces);
    return read;
}

void AppendHtmlText(const uint8_t *units, int32_t count, std::string &spanText)
{
    const std::string converted = Utf16ToSystemCodePage(units, count);
    for (size_t i = 0; i < converted.size(); ++i) {
        const char c = converted[i];
        switch (c) {
        case '<': spanText += "&lt;"; break;
        case '>': spanText += "&gt;"; break;
        case '&': spanText += "&amp;"; break;
        case '"': spanText += "&quot;"; break;
        case '\0': break; // a text ends at a zero unit
        default:
            if (c == '\xC2' && i + 1 < converted.size() && converted[i + 1] == '\xBD') {
                spanText += "&frac12;";
                ++i;
            } else {
                spanText.push_back(c);
            }
        }
    }
}

std::string LinkTarget(std::string_view actionText, std::string_view htmlExtension)
{
    std::string target;
    if (actionText.starts_with(kGoToPrefix)) {
        AppendFormat(target, "pg_%04d", PageNumberAfter(actionText.substr(kGoToPrefix.size())));
        target += htmlExtension;
    } else if (actionText.starts_with(kUriPrefix)) {
        target = WithoutEvery(std::string(actionText), kUriPrefix);
    } else {
        target = actionText;
    }
    return RunsScript(target) ? std::string() : target;
}

std::string CssFaceName(std::string_view face)
{
    std::string safe;
    for (const char c : face) {
        const auto byte = uint8_t(c);
        if (byte < 0x20 || byte == 0x7F || std::strchr(";{}<>\"'\\", c))
            continue;
        safe.push_back(c);
    }
    return safe;
}

bool WriteHtmlPage(PageObject &page, const HtmLink *links, const std::string &htmlPath, const std::string &jpegPath,
                   const PageWriterSettings &settings)
{
    FontClassTable &classes = TheFontClassTable();
    if (!ContinuousPageMode())
        classes.Clear();
    ConsumePictureBlocks(page);
    CollectFontClasses(page, classes);
    const PagePaths paths(htmlPath);
    const std::string content = PageDocument(page, links, paths, jpegPath, settings, classes).Compose();
    if (ContinuousPageMode())
        return AppendToFile(paths.ContinuousPage(), content, htmlPath);
    return ReplaceFile(htmlPath, content, htmlPath);
}

} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT int32_t PDF_ConvertToHtmlFile(PageObject *pageObject, const HtmLink *links,
                                                    const char *htmlFileName)
{
    return Guarded<int32_t>(-1, [&]() -> int32_t {
        if (!pageObject || !htmlFileName || !*htmlFileName)
            return -1;
        const PageWriterSettings settings = PageWriterSettings::Read();
        const std::string htmlPath = htmlFileName;
        const std::string jpegPath = PagePaths(htmlPath).Picture();
        const bool pictured = PaintAndEncode(*pageObject, jpegPath, settings);
        // The text is worth having even when the picture failed.
        const bool written = WriteHtmlPage(*pageObject, links, htmlPath, jpegPath, settings);
        if (ContinuousPageMode())
            SetPageOffsetY(ClampToInt32(int64_t(PageOffsetY()) + pageObject->height + kContinuousPageGap));
        return pictured && written ? 1 : -1;
    });
}
