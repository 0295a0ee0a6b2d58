// The document outline as the outline file, read straight from the outline
// dictionaries through the library's object access.
#include "engine/Outline.h"

#include "device/DeviceMath.h"
#include "engine/EngineHandle.h"
#include "surface/ModulePath.h"
#include "surface/TextEncoding.h"
#include "surface/UniqueFd.h"

#include <Catalog.h>
#include <Link.h>
#include <PDFDocEncoding.h>
#include <XRef.h>
#include <goo/GooString.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <unistd.h>
#include <unordered_set>

namespace lumora {

namespace {

// Bounds for hostile outlines. Real outlines are a few levels deep and far
// below the item count; the depth bound also keeps the recursion's stack
// small. A title is cut so that its line stays well inside the 4095
// characters the site generator reads as one line.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxItems = 100000;
constexpr size_t kMaxTitleBytes = 3000;

// ---------------------------------------------------------------------------
// Titles

bool StartsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// UTF-16 code units as the little-endian bytes the code-page conversion takes.
std::string SystemCodePage(const std::u16string &units)
{
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t unit : units) {
        bytes.push_back(char(unit & 0xFF));
        bytes.push_back(char(unit >> 8));
    }
    return Utf16ToSystemCodePage(reinterpret_cast<const uint8_t *>(bytes.data()), int32_t(units.size()));
}

// A UTF-16 title after its byte order mark, up to its first zero unit. A
// double quote becomes a space, as titles in this form always have here.
std::string Utf16Title(std::string_view bytes, bool bigEndian)
{
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = uint8_t(bytes[i]), second = uint8_t(bytes[i + 1]);
        char16_t unit = bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first);
        if (unit == 0)
            break;
        units.push_back(unit == u'"' ? u' ' : unit);
    }
    return SystemCodePage(units);
}

// A PDFDocEncoding title up to its first zero byte. Codes the encoding leaves
// undefined become the replacement character.
std::string PdfDocTitle(std::string_view bytes)
{
    std::u16string units;
    for (const char byte : bytes) {
        if (byte == 0)
            break;
        const Unicode code = pdfDocEncoding[uint8_t(byte)];
        units.push_back(code ? char16_t(code) : u'\uFFFD');
    }
    return SystemCodePage(units);
}

std::string DecodedTitle(std::string_view bytes)
{
    if (StartsWith(bytes, "\xFE\xFF"))
        return Utf16Title(bytes.substr(2), true);
    if (StartsWith(bytes, "\xFF\xFE"))
        return Utf16Title(bytes.substr(2), false);
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        std::string_view text = bytes.substr(3);
        return std::string(text.substr(0, text.find('\0')));
    }
    return PdfDocTitle(bytes);
}

// Keeps a title within its line: a line break would start a new item, a
// leading tab would count as a level and "<>," would end the title early.
std::string LineSafeTitle(std::string title)
{
    for (char &c : title) {
        if (uint8_t(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    for (size_t at = title.find("<>,"); at != std::string::npos; at = title.find("<>,", at + 4))
        title.insert(at + 2, 1, ' ');
    if (title.size() > kMaxTitleBytes) {
        size_t cut = kMaxTitleBytes;
        while (cut > 0 && (uint8_t(title[cut]) & 0xC0) == 0x80) // not inside a UTF-8 sequence
            --cut;
        title.resize(cut);
    }
    return title;
}

// An item without a usable title still gets its line, so that the levels of
// the lines around it stay right; a lone space keeps the line from being
// empty.
std::string TitleText(const Object &title)
{
    std::string text = title.isString() ? LineSafeTitle(DecodedTitle(title.getString()->toStr())) : std::string();
    return text.empty() ? " " : text;
}

// ---------------------------------------------------------------------------
// Destinations

std::unique_ptr<LinkDest> ExplicitDestination(const Object &array)
{
    auto dest = std::make_unique<LinkDest>(array.getArray());
    if (!dest->isOk())
        return nullptr;
    return dest;
}

// A destination as an explicit array, a named destination (string or name)
// looked up in the catalog's "Dests" and the "Dests" name tree, or a
// dictionary whose "D" is an array.
std::unique_ptr<LinkDest> Destination(const Object &dest, Catalog &catalog)
{
    if (dest.isArray())
        return ExplicitDestination(dest);
    if (dest.isString())
        return catalog.findDest(dest.getString());
    if (dest.isName()) {
        const GooString name(dest.getName());
        return catalog.findDest(&name);
    }
    if (dest.isDict()) {
        Object inner = dest.dictLookup("D");
        if (inner.isArray())
            return ExplicitDestination(inner);
    }
    return nullptr;
}

// The item's "Dest", or else the destination of its go-to action. Other
// actions (a go-to into another file among them) lead nowhere in this
// document.
std::unique_ptr<LinkDest> ItemDestination(const Dict &item, Catalog &catalog)
{
    Object dest = item.lookup("Dest");
    if (!dest.isNull())
        return Destination(dest, catalog);
    Object action = item.lookup("A");
    if (!action.isDict() || !action.dictLookup("S").isName("GoTo"))
        return nullptr;
    return Destination(action.dictLookup("D"), catalog);
}

int PageNumber(const LinkDest &dest, Catalog &catalog)
{
    return dest.isPageRef() ? catalog.findPage(dest.getPageRef()) : dest.getPageNum();
}

std::string DestinationText(const LinkDest &dest, Catalog &catalog)
{
    char text[160];
    std::snprintf(text, sizeof text, "<>,%d,%d,%d,%d,%d,%d,%d,%d,%d\n", PageNumber(dest, catalog),
                  Truncate(dest.getLeft()), Truncate(dest.getTop()), Truncate(dest.getRight()),
                  Truncate(dest.getBottom()), Truncate(dest.getZoom()), int(dest.getChangeLeft()),
                  int(dest.getChangeTop()), int(dest.getChangeZoom()));
    return text;
}

// ---------------------------------------------------------------------------
// The walk

// Composes the outline's lines. Every object is visited once, so a /Next or
// /First that leads back to an earlier item ends its chain there.
class OutlineLines {
public:
    explicit OutlineLines(PDFDoc &document) : xref_(*document.getXRef()), catalog_(*document.getCatalog()) {}

    std::string Of(const Object &outlinesEntry)
    {
        Object outlines = Node(outlinesEntry);
        if (outlines.isDict())
            WriteItems(*outlines.getDict(), 0);
        return std::move(lines_);
    }

private:
    // The dictionary an entry leads to, or null when it is none or was seen.
    Object Node(const Object &entry)
    {
        if (entry.isRef()) {
            if (!visited_.insert(entry.getRefNum()).second)
                return Object(objNull);
            Object node = entry.fetch(&xref_);
            return node.isDict() ? std::move(node) : Object(objNull);
        }
        return entry.isDict() ? entry.copy() : Object(objNull);
    }

    // The list of items under parent, each followed by its own items.
    void WriteItems(const Dict &parent, int level)
    {
        if (level >= kMaxDepth)
            return;
        for (Object item = Node(parent.lookupNF("First")); item.isDict() && itemCount_ < kMaxItems;) {
            ++itemCount_;
            const Dict &itemDict = *item.getDict();
            WriteLine(itemDict, level);
            WriteItems(itemDict, level + 1);
            Object next = Node(itemDict.lookupNF("Next"));
            item = std::move(next);
        }
    }

    void WriteLine(const Dict &item, int level)
    {
        lines_.append(size_t(level), '\t');
        lines_ += TitleText(item.lookup("Title"));
        const std::unique_ptr<LinkDest> dest = ItemDestination(item, catalog_);
        lines_ += dest ? DestinationText(*dest, catalog_) : "\n";
    }

    XRef &xref_;
    Catalog &catalog_;
    std::unordered_set<int> visited_;
    size_t itemCount_ = 0;
    std::string lines_;
};

// ---------------------------------------------------------------------------
// The file


bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(size_t(written));
    }
    return true;
}

// A new file only: whatever lies at the path already, a link planted there
// included, makes the creation fail instead of being written through.
bool CreateFileWith(const std::string &path, std::string_view bytes)
{
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file.get() < 0)
        return false;
    if (WriteAll(file.get(), bytes) && file.Close())
        return true;
    ::unlink(path.c_str()); // a partial outline would read as a complete one
    return false;
}

// Copies the path with its terminating zero. A path that does not fit is not
// cut: a shortened path names some other file.
bool CopyPath(const std::string &path, char *buffer, int32_t bufferSize)
{
    if (path.size() >= size_t(bufferSize)) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

bool HasUsableCatalog(const EngineHandleRecord &handle)
{
    return handle.document && handle.document->getCatalog() && handle.document->getCatalog()->isOk();
}

} // namespace

std::string OutlineFilePath()
{
    return WithTrailingSlash(TemporaryDirectory()) + "outlines-" + std::to_string(::getpid()) + ".txt";
}

bool WriteOutlineFile(PDFDoc &document, const Object &outlinesEntry, const std::string &path)
{
    const std::string lines = OutlineLines(document).Of(outlinesEntry);
    return !lines.empty() && CreateFileWith(path, lines);
}

} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT int32_t PDF_GetBookmark(EngineHandle handle, char *buffer, int32_t bufferSize)
{
    return Guarded<int32_t>(0, [&]() -> int32_t {
        if (!IsValidHandle(handle) || !buffer || bufferSize <= 0 || !HasUsableCatalog(*handle))
            return 0;
        PDFDoc &document = *handle->document;
        const Object catalog = document.getXRef()->getCatalog();
        if (!catalog.isDict())
            return 0;
        // The file of the previous call goes first, so a document without
        // outline never leaves an earlier document's outline behind.
        const std::string path = OutlineFilePath();
        ::unlink(path.c_str());
        if (!CopyPath(path, buffer, bufferSize))
            return 0;
        return WriteOutlineFile(document, catalog.dictLookupNF("Outlines"), path) ? 1 : 0;
    });
}
