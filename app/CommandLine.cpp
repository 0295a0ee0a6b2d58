// The command line: option table, parsing, write-through and queueing.
#include "app/CommandLine.h"

#include "app/PathNames.h"
#include "app/SettingsStore.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <system_error>

namespace lumora::app {

namespace fs = std::filesystem;
namespace profile = settings::profile;

namespace {

using O = CommandLineOptions;

OptionSpec Flag(const char *name, int O::*target, const char *usage)
{
    return {name, OptionKind::Flag, target, nullptr, 0, usage};
}

OptionSpec Integer(const char *name, int O::*target, const char *usage)
{
    return {name, OptionKind::Integer, target, nullptr, 0, usage};
}

OptionSpec Text(const char *name, std::string O::*target, std::size_t capacity, const char *usage)
{
    return {name, OptionKind::Text, nullptr, target, capacity, usage};
}

// Passwords keep the fixed capacity of the password fields; paths are kept
// whole, since a cut path names another file.
constexpr std::size_t kPasswordCapacity = 100;
constexpr std::size_t kWholeText = 0;

// The decimal value of an integer text, held within the range of int.
int IntegerValue(const std::string &text)
{
    std::size_t position = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        position = 1;
    }
    long long value = 0;
    for (; position < text.size(); ++position)
        value = std::min<long long>(value * 10 + (text[position] - '0'), 1LL + INT_MAX);
    if (negative)
        value = -value;
    return int(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// At most capacity - 1 bytes, never ending inside a UTF-8 sequence.
std::string Truncated(const std::string &text, std::size_t capacity)
{
    if (capacity == kWholeText || text.size() < capacity)
        return text;
    std::size_t length = capacity - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return text.substr(0, length);
}

const OptionSpec *FindOption(const std::string &argument)
{
    for (const OptionSpec &option : OptionTable())
        if (argument == option.name)
            return &option;
    return nullptr;
}

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}


} // namespace

const std::vector<OptionSpec> &OptionTable()
{
    static const std::vector<OptionSpec> table = {
        Integer("-f", &O::firstPage, "First page to convert"),
        Integer("-l", &O::lastPage, "Last page to convert"),
        Integer("-z", &O::zoom, "Zoom Ratio"),
        Flag("-c", &O::continuous, "Generate in one continuous html page"),
        Flag("-d", &O::removePictures, "Remove pics"),
        Integer("-b", &O::charSpacing, "Set space between characters"),
        Integer("-j", &O::jpegQuality, "Set JPEG quality"),
        Flag("-g", &O::grayscale, "Set JPEG grayscale"),
        Text("-u", &O::userPassword, kPasswordCapacity, "User password"),
        Text("-w", &O::ownerPassword, kPasswordCapacity, "Owner password"),
        Flag("-q", &O::exitAfterConvert, "Exit after convert"),
        Flag("-m", &O::runWithoutWindow, "Run without window"),
        Flag("-r", &O::overwriteWithoutPrompt,
             "Overwrite an existing destination file without prompting to confirm"),
        Text("-i", &O::inputPath, kWholeText, "PDF file will be convert"),
        Text("-o", &O::outputPath, kWholeText, "HTM file will be generate"),
        Flag("-h", &O::help, "Print usage information"),
        Flag("-?", &O::help, "Print usage information"),
    };
    return table;
}

bool IsIntegerText(const std::string &text)
{
    const std::size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    return std::all_of(text.begin() + digits, text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool ParseOptions(std::vector<std::string> &arguments, CommandLineOptions &options)
{
    bool failed = false;
    std::size_t index = 1;
    while (index < arguments.size()) {
        const std::string &argument = arguments[index];
        if (argument == "--") {
            arguments.erase(arguments.begin() + index);
            break;
        }
        const OptionSpec *option = FindOption(argument);
        if (!option) {
            ++index;
            continue;
        }
        const bool hasValue = index + 1 < arguments.size();
        std::size_t consumed = 1;
        switch (option->kind) {
        case OptionKind::Flag:
            options.*(option->number) = 1;
            break;
        case OptionKind::Integer:
            if (hasValue && IsIntegerText(arguments[index + 1])) {
                options.*(option->number) = IntegerValue(arguments[index + 1]);
                consumed = 2;
            } else {
                failed = true;
            }
            break;
        case OptionKind::Text:
            if (hasValue) {
                options.*(option->text) = Truncated(arguments[index + 1], option->capacity);
                consumed = 2;
            } else {
                failed = true;
            }
            break;
        }
        arguments.erase(arguments.begin() + index, arguments.begin() + index + consumed);
    }
    return !failed;
}

std::string UsageText()
{
    static const char *const lines[] = {
        "Usage: Lumora for Vellum [Option] <PDF File> [<HTM File>]",
        "-f <page number> : First page to be converted",
        "-l <page number> : Last page to be converted",
        "-z <zoom ratio>  : Set zoom ratio when conversion, the range is from 50 to 200",
        "-c               : Generate in one continuous html page",
        "-d               : Remove pictures from the continuous html page",
        "-b <space number>: Space between characters",
        "-j <jpeg quality>: Set jpeg quality, from 1 to 100",
        "-g               : Set jpeg grayscale",
        "-u <user password>         : User password",
        "-w <owner password>        : Owner password",
        "-q               : Exit after converting",
        "-m               : Run without window",
        "-r               : Overwrite an existing destination file without prompting to confirm",
        "-i <input PDF file name>   : PDF file will be converted",
        "-o <output HTML file name> : HTML file will be generated",
        "-h or -?         : Print usage information",
        "",
        "For example: ",
        "       Lumora for Vellum -q -f 5 -l 8 -i c:\\a.pdf -o c:\\a.htm",
        "       Lumora for Vellum -q -m -r -i \"c:\\a.pdf\" -o \"c:\\a.htm\"",
        "       Lumora for Vellum -q -m -r -c -d -i c:\\a.pdf -o c:\\a.htm",
        "       Lumora for Vellum -q -m -r -u user -w owner -i c:\\a.pdf -o c:\\a.htm",
    };
    std::string text;
    for (const char *line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

void WriteOptionsToSettings(const CommandLineOptions &options)
{
    // The initial 75 stands when -j is missing, so every run stores one.
    if (options.jpegQuality >= 1 && options.jpegQuality <= 99)
        settings::Write(profile::CRasterImage::m_iJPGQuality, options.jpegQuality);
    settings::Write(profile::CRasterImage::m_bGrayscale, options.grayscale ? 1 : 0);
    if (!options.userPassword.empty())
        settings::Write(profile::CPDFPassword::m_szUserPassword, options.userPassword);
    if (!options.ownerPassword.empty())
        settings::Write(profile::CPDFPassword::m_szOwnerPassword, options.ownerPassword);
    if (options.zoom >= 50 && options.zoom <= 200)
        settings::Write(profile::ZoomRatio::Zoom, options.zoom);
    settings::Write(profile::GenerateInOneHTMLPage::Flag, options.continuous ? 1 : 0);
    settings::Write(profile::m_bRemovePics::Flag, options.removePictures ? 1 : 0);
    if (options.charSpacing >= 0 && options.charSpacing <= 50)
        settings::Write(settings::config::QUILLON::CharSpaces, options.charSpacing);
    if (options.firstPage != 0 || options.lastPage != 100000) {
        settings::Write(profile::PageRangeType::Type, 1);
        settings::Write(profile::PageRange::From, options.firstPage);
        settings::Write(profile::PageRange::To, options.lastPage);
    }
}

void ApplyRunFlags(const CommandLineOptions &options)
{
    RunFlags &flags = TheRunFlags();
    flags.exitAfterConvert = options.exitAfterConvert != 0;
    flags.runWithoutWindow = options.runWithoutWindow != 0;
    flags.overwriteWithoutPrompt = options.overwriteWithoutPrompt != 0;
}

std::string OutputStartPage(const std::string &pdfPath, const std::string &outputPath)
{
    const std::string &named = outputPath.empty() ? pdfPath : outputPath;
    std::string baseName = BaseNameOf(named);
    if (baseName.empty() || baseName[0] == '*')
        baseName = BaseNameOf(pdfPath);
    return FolderWithSlash(named) + baseName + "/index.htm";
}

void AddJob(ConversionJob &job, const std::string &pdfPath, const std::string &outputPath)
{
    if (pdfPath.empty())
        return;
    job.Append({pdfPath, OutputStartPage(pdfPath, outputPath)});
}

int FindPdfFiles(const std::string &directory, const std::string &pattern, std::vector<std::string> &list)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(directory.empty() ? "." : directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kindError;
        if (it->is_directory(kindError) || ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0)
            continue;
        // A file in the current folder is named as it was found there.
        if (directory.empty())
            found.push_back(name);
        else
            found.push_back(directory.back() == '/' ? directory + name : directory + "/" + name);
    }
    std::sort(found.begin(), found.end());
    list.insert(list.end(), found.begin(), found.end());
    return int(list.size());
}

void QueueInputFiles(ConversionJob &job, const CommandLineOptions &options)
{
    if (options.inputPath.empty())
        return;
    const std::string pattern = Lowered(FileNameOf(options.inputPath));
    if (pattern.find("*.pdf") == std::string::npos) {
        AddJob(job, options.inputPath, options.outputPath);
        return;
    }
    std::vector<std::string> found;
    FindPdfFiles(FolderWithSlash(options.inputPath), pattern, found);
    for (const std::string &path : found)
        AddJob(job, path, options.outputPath);
}

} // namespace lumora::app
