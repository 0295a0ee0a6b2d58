#include "surface/PrivateProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace lumora {
namespace {

// ---------------------------------------------------------------------------
// Text helpers

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view TrimLeft(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view TrimRight(std::string_view text)
{
    const auto last = text.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsEnclosedInQuotes(std::string_view value)
{
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

std::string_view WithoutEnclosingQuotes(std::string_view value)
{
    return IsEnclosedInQuotes(value) ? value.substr(1, value.size() - 2) : value;
}

bool EndsWithCarriageReturn(std::string_view line) { return !line.empty() && line.back() == '\r'; }

bool IsBlankLine(std::string_view line) { return Trim(line).empty(); }

// ---------------------------------------------------------------------------
// Lines of an INI file

enum class LineKind { Other, SectionHeader, KeyValue };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;       // section or key name, trimmed
    std::string_view value;      // trimmed, quotes still on
    std::size_t valueOffset = 0; // where the value's text starts in the line
};

ParsedLine ParseLine(std::string_view line, bool isFirstLine)
{
    std::size_t offset = 0;
    if (isFirstLine && line.starts_with(kUtf8ByteOrderMark))
        offset = kUtf8ByteOrderMark.size();
    const std::string_view rest = TrimLeft(line.substr(offset));
    if (rest.empty() || rest.front() == ';')
        return {};
    const std::size_t start = line.size() - rest.size();
    if (rest.front() == '[') {
        const auto close = rest.rfind(']');
        if (close == std::string_view::npos)
            return {};
        return {LineKind::SectionHeader, Trim(rest.substr(1, close - 1)), {}, 0};
    }
    const auto equals = line.find('=', start);
    if (equals == std::string_view::npos)
        return {};
    const std::string_view name = Trim(line.substr(start, equals - start));
    if (name.empty())
        return {};
    std::size_t valueOffset = equals + 1;
    while (valueOffset < line.size() && (line[valueOffset] == ' ' || line[valueOffset] == '\t'))
        ++valueOffset;
    return {LineKind::KeyValue, name, Trim(line.substr(valueOffset)), valueOffset};
}

// The file as lines without their '\n'; a '\r' before it stays in the line.
struct IniDocument {
    std::vector<std::string> lines;
    bool endsWithNewline = true;

    ParsedLine Parse(std::size_t index) const { return ParseLine(lines[index], index == 0); }
};

IniDocument SplitLines(std::string_view bytes)
{
    IniDocument document;
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            document.lines.emplace_back(bytes);
            document.endsWithNewline = false;
            break;
        }
        document.lines.emplace_back(bytes.substr(0, newline));
        bytes.remove_prefix(newline + 1);
    }
    return document;
}

std::string JoinLines(const IniDocument &document)
{
    std::string bytes;
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        bytes += document.lines[i];
        if (i + 1 < document.lines.size() || document.endsWithNewline)
            bytes += '\n';
    }
    return bytes;
}

// Lines [header, end) of one section: its header and everything up to the
// next header.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::vector<SectionSpan> FindSections(const IniDocument &document, std::string_view section)
{
    std::vector<SectionSpan> spans;
    bool inside = false;
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        const ParsedLine parsed = document.Parse(i);
        if (parsed.kind != LineKind::SectionHeader)
            continue;
        if (inside)
            spans.back().end = i;
        inside = EqualsIgnoringAsciiCase(parsed.name, section);
        if (inside)
            spans.push_back({i, document.lines.size()});
    }
    return spans;
}

// Index of the first line of `key` in the sections, in file order.
std::optional<std::size_t> FindKey(const IniDocument &document, const std::vector<SectionSpan> &spans,
                                   std::string_view key)
{
    for (const SectionSpan &span : spans)
        for (std::size_t i = span.header + 1; i < span.end; ++i) {
            const ParsedLine parsed = document.Parse(i);
            if (parsed.kind == LineKind::KeyValue && EqualsIgnoringAsciiCase(parsed.name, key))
                return i;
        }
    return std::nullopt;
}

// New lines follow the file's own line ending.
std::string LineEndingOf(const IniDocument &document)
{
    return !document.lines.empty() && EndsWithCarriageReturn(document.lines.front()) ? "\r" : "";
}

void InsertLine(IniDocument &document, std::size_t index, std::string line)
{
    if (index == document.lines.size())
        document.endsWithNewline = true;
    document.lines.insert(document.lines.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void SetKeyInDocument(IniDocument &document, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<SectionSpan> spans = FindSections(document, section);
    if (const auto index = FindKey(document, spans, key)) {
        std::string &line = document.lines[*index];
        const bool carriageReturn = EndsWithCarriageReturn(line);
        line = line.substr(0, document.Parse(*index).valueOffset) + std::string(value) + (carriageReturn ? "\r" : "");
        return;
    }
    const std::string ending = LineEndingOf(document);
    const std::string keyLine = std::string(key) + "=" + std::string(value) + ending;
    if (!spans.empty()) {
        // After the section's last non-blank line, so that a blank line that
        // separates it from the next section keeps separating.
        std::size_t insertAt = spans.front().header + 1;
        for (std::size_t i = insertAt; i < spans.front().end; ++i)
            if (!IsBlankLine(document.lines[i]))
                insertAt = i + 1;
        InsertLine(document, insertAt, keyLine);
        return;
    }
    if (!document.lines.empty() && !IsBlankLine(document.lines.back()))
        InsertLine(document, document.lines.size(), ending);
    InsertLine(document, document.lines.size(), "[" + std::string(section) + "]" + ending);
    InsertLine(document, document.lines.size(), keyLine);
}

void DeleteKeyInDocument(IniDocument &document, std::string_view section, std::string_view key)
{
    // From the back, so that the spans' indices stay valid while erasing.
    const std::vector<SectionSpan> spans = FindSections(document, section);
    for (auto span = spans.rbegin(); span != spans.rend(); ++span)
        for (std::size_t i = span->end; i-- > span->header + 1;) {
            const ParsedLine parsed = document.Parse(i);
            if (parsed.kind == LineKind::KeyValue && EqualsIgnoringAsciiCase(parsed.name, key))
                document.lines.erase(document.lines.begin() + static_cast<std::ptrdiff_t>(i));
        }
}

void DeleteSectionInDocument(IniDocument &document, std::string_view section)
{
    const std::vector<SectionSpan> spans = FindSections(document, section);
    for (auto span = spans.rbegin(); span != spans.rend(); ++span)
        document.lines.erase(document.lines.begin() + static_cast<std::ptrdiff_t>(span->header),
                             document.lines.begin() + static_cast<std::ptrdiff_t>(span->end));
}

// ---------------------------------------------------------------------------
// What can be stored in an INI line and read back as written

bool HasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

bool IsStorableSection(std::string_view section)
{
    return !section.empty() && Trim(section) == section && section.find(']') == std::string_view::npos &&
           !HasLineBreakOrNul(section);
}

bool IsStorableKey(std::string_view key)
{
    return !key.empty() && Trim(key) == key && key.find('=') == std::string_view::npos && key.front() != ';' &&
           key.front() != '[' && !HasLineBreakOrNul(key);
}

bool IsStorableValue(std::string_view value) { return !HasLineBreakOrNul(value); }

// ---------------------------------------------------------------------------
// File access

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() { Close(); }

    int Get() const { return descriptor_; }
    void Reset(int descriptor)
    {
        Close();
        descriptor_ = descriptor;
    }
    bool IsOpen() const { return descriptor_ >= 0; }
    // Closing reports the write errors that some file systems deliver only here.
    bool Close()
    {
        if (descriptor_ < 0)
            return true;
        const bool closed = ::close(descriptor_) == 0;
        descriptor_ = -1;
        return closed;
    }

private:
    int descriptor_;
};

enum class ReadStatus { Read, Missing, Failed };

struct FileBytes {
    ReadStatus status = ReadStatus::Missing;
    std::string bytes;
};

FileBytes ReadWholeFile(const std::string &path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        return {(errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Failed, {}};
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {ReadStatus::Failed, {}};
    FileBytes result{ReadStatus::Read, {}};
    char chunk[8192];
    for (;;) {
        const ssize_t count = ::read(file.Get(), chunk, sizeof chunk);
        if (count == 0)
            return result;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return {ReadStatus::Failed, {}};
        }
        result.bytes.append(chunk, static_cast<std::size_t>(count));
    }
}

bool WriteAll(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// A file reached through a symbolic link is replaced where it lives, so that
// the link keeps pointing at it.
std::string ResolveSymbolicLink(const std::string &path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return path;
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

std::string DirectoryOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The temporary file beside the target; removed again unless it was renamed
// over the target.
class TemporaryFile {
public:
    TemporaryFile(const std::string &target, mode_t mode)
    {
        const auto slash = target.rfind('/');
        const std::string directoryPrefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        // Leftovers of a crashed process may hold a name; try the next one.
        for (int attempt = 0; attempt < 100 && !file_.IsOpen(); ++attempt) {
            const std::string candidate = directoryPrefix + "." + base + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(attempt);
            const int descriptor = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (descriptor >= 0) {
                file_.Reset(descriptor);
                path_ = candidate; // only a file we created is ours to remove
            }
            else if (errno != EEXIST)
                break;
        }
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        file_.Close();
        if (!renamed_ && !path_.empty())
            ::unlink(path_.c_str());
    }

    bool IsOpen() const { return file_.IsOpen(); }
    int Descriptor() const { return file_.Get(); }
    bool FinishWriting() { return ::fsync(file_.Get()) == 0 && file_.Close(); }
    bool RenameOver(const std::string &target)
    {
        renamed_ = ::rename(path_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

private:
    FileDescriptor file_;
    std::string path_;
    bool renamed_ = false;
};

// Makes the rename itself durable; a failure here loses nothing that a
// reader could see, so it is not reported.
void SyncDirectory(const std::string &directory)
{
    FileDescriptor handle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.IsOpen())
        ::fsync(handle.Get());
}

bool ReplaceFileAtomically(const std::string &path, std::string_view bytes, mode_t newFileMode)
{
    const std::string target = ResolveSymbolicLink(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    TemporaryFile temporary(target, exists ? S_IRUSR | S_IWUSR : newFileMode);
    if (!temporary.IsOpen())
        return false;
    if (exists) {
        if (::fchmod(temporary.Descriptor(), existing.st_mode & 07777) != 0)
            return false;
        if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
            // Only a privileged writer can keep a foreign owner; otherwise the
            // file becomes the writer's, as any rewritten file would.
            [[maybe_unused]] const int ignored = ::fchown(temporary.Descriptor(), existing.st_uid, existing.st_gid);
        }
    }
    if (!WriteAll(temporary.Descriptor(), bytes) || !temporary.FinishWriting() || !temporary.RenameOver(target))
        return false;
    SyncDirectory(DirectoryOf(target));
    return true;
}

// A write reads, edits and replaces the file; two threads doing that at once
// would lose one of the edits. The platform's profile functions serialise
// single operations, and so does this lock (one for all files: writes are
// rare and short). Reads need no lock, since a rename is atomic.
std::mutex &IniWriteLock()
{
    static std::mutex lock;
    return lock;
}

bool EditIniFile(const std::string &path, mode_t newFileMode, const std::function<void(IniDocument &)> &edit)
{
    std::lock_guard guard(IniWriteLock());
    const FileBytes old = ReadWholeFile(path);
    // A file that exists but cannot be read must not be replaced by one that
    // holds only the new key.
    if (old.status == ReadStatus::Failed)
        return false;
    IniDocument document = SplitLines(old.bytes);
    edit(document);
    const std::string bytes = JoinLines(document);
    if (bytes == old.bytes) // nothing changed (or nothing to delete in a missing file)
        return true;
    return ReplaceFileAtomically(path, bytes, newFileMode);
}

std::optional<std::string> FindValue(const std::string &path, std::string_view section, std::string_view key)
{
    const FileBytes file = ReadWholeFile(path);
    if (file.status != ReadStatus::Read)
        return std::nullopt;
    const IniDocument document = SplitLines(file.bytes);
    const auto index = FindKey(document, FindSections(document, section), key);
    if (!index)
        return std::nullopt;
    return std::string(WithoutEnclosingQuotes(document.Parse(*index).value));
}

std::optional<int> LeadingDecimalNumber(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return std::nullopt;
    // Unsigned arithmetic wraps like the platform's conversion does.
    std::uint32_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<int>(negative ? 0u - magnitude : magnitude);
}

} // namespace

std::string ReadIniText(std::string_view section, std::string_view key, std::string_view defaultText,
                        const std::string &path, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    std::string text = FindValue(path, section, key).value_or(std::string(TrimRight(defaultText)));
    if (text.size() > bufferSize - 1)
        text.resize(bufferSize - 1);
    return text;
}

std::size_t CopyIniText(std::string_view section, std::string_view key, const char *defaultText, char *buffer,
                        std::size_t bufferSize, const std::string &path)
{
    if (!buffer || bufferSize == 0)
        return 0;
    const std::string text = ReadIniText(section, key, defaultText ? defaultText : "", path, bufferSize);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return text.size();
}

int ReadIniInt(std::string_view section, std::string_view key, int defaultValue, const std::string &path)
{
    const auto value = FindValue(path, section, key);
    if (!value)
        return defaultValue;
    return LeadingDecimalNumber(*value).value_or(defaultValue);
}

bool WriteIniText(std::string_view section, std::string_view key, std::string_view value, const std::string &path,
                  mode_t newFileMode)
{
    if (!IsStorableSection(section) || !IsStorableKey(key) || !IsStorableValue(value))
        return false;
    return EditIniFile(path, newFileMode,
                       [&](IniDocument &document) { SetKeyInDocument(document, section, key, value); });
}

bool DeleteIniKey(std::string_view section, std::string_view key, const std::string &path)
{
    return EditIniFile(path, kDefaultIniFileMode,
                       [&](IniDocument &document) { DeleteKeyInDocument(document, section, key); });
}

bool DeleteIniSection(std::string_view section, const std::string &path)
{
    return EditIniFile(path, kDefaultIniFileMode,
                       [&](IniDocument &document) { DeleteSectionInDocument(document, section); });
}

std::string QuoteIniValue(std::string_view value)
{
    const bool needsQuotes = !value.empty() && (Trim(value).size() != value.size() || IsEnclosedInQuotes(value));
    return needsQuotes ? "\"" + std::string(value) + "\"" : std::string(value);
}

} // namespace lumora
