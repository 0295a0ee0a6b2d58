#include "support/PdfBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace lumora::test {

// ---------------------------------------------------------------------------
// Text helpers

std::string PdfNumber(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", value);
    std::string text = buffer;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text;
}

std::string PdfLiteral(std::string_view bytes)
{
    std::string text = "(";
    for (char c : bytes) {
        switch (c) {
        case '(': text += "\\("; break;
        case ')': text += "\\)"; break;
        case '\\': text += "\\\\"; break;
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        default: text += c;
        }
    }
    return text + ")";
}

std::string PdfName(std::string_view name)
{
    static const std::string_view kDelimiters = "()<>[]{}/%#";
    std::string text = "/";
    for (unsigned char c : name) {
        if (c < 0x21 || c > 0x7e || kDelimiters.find(static_cast<char>(c)) != std::string_view::npos) {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "#%02X", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

namespace {

// Decodes UTF-8 leniently: a broken sequence gives U+FFFD for its first byte.
std::vector<char32_t> DecodeUtf8(std::string_view utf8)
{
    std::vector<char32_t> codePoints;
    size_t i = 0;
    while (i < utf8.size()) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        char32_t value = length == 1 ? lead : length == 2 ? lead & 0x1f : length == 3 ? lead & 0x0f : lead & 0x07;
        bool valid = length > 0 && i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next >> 6) == 2;
            value = (value << 6) | (next & 0x3f);
        }
        codePoints.push_back(valid ? value : U'\uFFFD');
        i += valid ? length : 1;
    }
    return codePoints;
}

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Hex4(unsigned value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value & 0xffff);
    return buffer;
}

std::string RefText(int object) { return std::to_string(object) + " 0 R"; }

std::string RectText(const Rect &rect)
{
    return "[" + PdfNumber(rect.left) + " " + PdfNumber(rect.bottom) + " " + PdfNumber(rect.right) +
           " " + PdfNumber(rect.top) + "]";
}

std::string StreamBody(const std::string &dictEntries, const std::string &data)
{
    std::string body = "<< /Length " + std::to_string(data.size());
    if (!dictEntries.empty())
        body += " " + dictEntries;
    return body + " >>\nstream\n" + data + "\nendstream";
}

std::string ImageDictEntries(const ImageSpec &image)
{
    std::string entries = "/Type /XObject /Subtype /Image /Width " + std::to_string(image.width) +
                          " /Height " + std::to_string(image.height);
    if (image.imageMask)
        entries += " /ImageMask true";
    else
        entries += " /ColorSpace " + image.colorSpace;
    entries += " /BitsPerComponent " + std::to_string(image.bitsPerComponent);
    if (image.dctEncoded)
        entries += " /Filter /DCTDecode";
    if (!image.extraEntries.empty())
        entries += " " + image.extraEntries;
    return entries;
}

} // namespace

std::string PdfUtf16(std::string_view utf8)
{
    std::string text = "<FEFF";
    for (char32_t c : DecodeUtf8(utf8)) {
        if (c >= 0x10000) {
            c -= 0x10000;
            text += Hex4(0xD800 + (c >> 10)) + Hex4(0xDC00 + (c & 0x3ff));
        } else {
            text += Hex4(c);
        }
    }
    return text + ">";
}

std::string DrawImageOp(const std::string &resourceName, double x, double y, double width, double height)
{
    return "q " + PdfNumber(width) + " 0 0 " + PdfNumber(height) + " " + PdfNumber(x) + " " + PdfNumber(y) +
           " cm /" + resourceName + " Do Q\n";
}

std::string InlineImage(const ImageSpec &image)
{
    std::string text = "BI /W " + std::to_string(image.width) + " /H " + std::to_string(image.height);
    if (image.imageMask)
        text += " /IM true";
    else
        text += " /CS " + image.colorSpace;
    text += " /BPC " + std::to_string(image.bitsPerComponent);
    if (image.dctEncoded)
        text += " /F /DCT";
    if (!image.extraEntries.empty())
        text += " " + image.extraEntries;
    return text + " ID " + image.data + "\nEI\n";
}

std::string RgbGradient(int width, int height)
{
    std::string pixels;
    pixels.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels += static_cast<char>(width > 1 ? 255 * x / (width - 1) : 255);
            pixels += static_cast<char>(height > 1 ? 255 * y / (height - 1) : 255);
            pixels += static_cast<char>(255 - (width > 1 ? 255 * x / (width - 1) : 255) / 2);
        }
    }
    return pixels;
}

// ---------------------------------------------------------------------------
// Destinations, actions, images

Dest::Dest(Kind kind, int number, std::string text) : kind_(kind), number_(number), text_(std::move(text)) {}

Dest Dest::Page(int pageNumber) { return Dest(Kind::Page, pageNumber, {}); }
Dest Dest::Object(int objectNumber) { return Dest(Kind::Object, objectNumber, {}); }
Dest Dest::PageIndex(int index) { return Dest(Kind::PageIndex, index, {}); }
Dest Dest::Named(std::string name) { return Dest(Kind::Named, 0, std::move(name)); }
Dest Dest::Raw(std::string pdfText) { return Dest(Kind::Raw, 0, std::move(pdfText)); }

Dest &Dest::Xyz(double left, double top, double zoom)
{
    view_ = "/XYZ " + PdfNumber(left) + " " + PdfNumber(top) + " " + PdfNumber(zoom);
    return *this;
}

Dest &Dest::View(std::string viewText)
{
    view_ = std::move(viewText);
    return *this;
}

Action::Action(Kind kind, std::string text, std::optional<Dest> dest)
    : kind_(kind), text_(std::move(text)), dest_(std::move(dest))
{
}

Action Action::GoTo(Dest dest) { return Action(Kind::GoTo, {}, std::move(dest)); }
Action Action::GoToR(std::string file, Dest dest) { return Action(Kind::GoToR, std::move(file), std::move(dest)); }
Action Action::Launch(std::string file) { return Action(Kind::Launch, std::move(file), {}); }
Action Action::Uri(std::string uri) { return Action(Kind::Uri, std::move(uri), {}); }
Action Action::Named(std::string name) { return Action(Kind::Named, std::move(name), {}); }
Action Action::Raw(std::string pdfText) { return Action(Kind::Raw, std::move(pdfText), {}); }

ImageSpec ImageSpec::Rgb(int width, int height, std::string pixels)
{
    return ImageSpec{width, height, "/DeviceRGB", 8, false, false, {}, std::move(pixels)};
}

ImageSpec ImageSpec::Gray(int width, int height, std::string pixels, int bitsPerComponent)
{
    return ImageSpec{width, height, "/DeviceGray", bitsPerComponent, false, false, {}, std::move(pixels)};
}

ImageSpec ImageSpec::Mask(int width, int height, std::string bits, bool decodeInverted)
{
    return ImageSpec{width, height, {}, 1, true, false, decodeInverted ? "/Decode [1 0]" : "", std::move(bits)};
}

ImageSpec ImageSpec::Jpeg(int width, int height, std::string jpegBytes, int components)
{
    return ImageSpec{width,  height, components == 1 ? "/DeviceGray" : "/DeviceRGB", 8, false, true, {},
                     std::move(jpegBytes)};
}

// ---------------------------------------------------------------------------
// Builder: adding things

PdfBuilder::PdfBuilder()
{
    catalogObject_ = NewObject();
    pagesObject_ = NewObject();
    resourcesObject_ = NewObject();
}

int PdfBuilder::NewObject() { return ++objectCount_; }

void PdfBuilder::SetVersion(std::string version) { version_ = std::move(version); }

int PdfBuilder::AddPage(PageSpec spec)
{
    int object = NewObject();
    int contentObject = NewObject();
    pages_.push_back(PageRecord{object, contentObject, std::move(spec), {}});
    return PageCount();
}

int PdfBuilder::AddPage(double width, double height, std::string content)
{
    PageSpec spec;
    spec.mediaBox = {0, 0, width, height};
    spec.content = std::move(content);
    return AddPage(std::move(spec));
}

PageSpec &PdfBuilder::Page(int pageNumber) { return pages_.at(pageNumber - 1).spec; }
int PdfBuilder::PageCount() const { return static_cast<int>(pages_.size()); }
int PdfBuilder::PageObject(int pageNumber) const { return pages_.at(pageNumber - 1).object; }
std::string PdfBuilder::PageRef(int pageNumber) const { return RefText(PageObject(pageNumber)); }

std::string PdfBuilder::AddFont(std::string baseFont)
{
    FontSpec spec;
    spec.baseFont = std::move(baseFont);
    return AddFont(std::move(spec));
}

std::string PdfBuilder::AddFont(FontSpec spec)
{
    int fontObject = NewObject();
    std::string descriptorRef;
    if (spec.descriptorFlags) {
        int descriptor = NewObject();
        fixedBodies_[descriptor] = "<< /Type /FontDescriptor /FontName " + PdfName(spec.baseFont) +
                                   " /Flags " + std::to_string(*spec.descriptorFlags) +
                                   " /FontBBox [0 -200 1000 900] /ItalicAngle 0 /Ascent 800 /Descent -200"
                                   " /CapHeight 700 /StemV 80 >>";
        descriptorRef = " /FontDescriptor " + RefText(descriptor);
    }
    std::string winCharSet = spec.winCharSet ? " /WinCharSet " + std::to_string(*spec.winCharSet) : "";
    std::string extra = spec.extraEntries.empty() ? "" : " " + spec.extraEntries;

    if (spec.composite) {
        int descendant = NewObject();
        fixedBodies_[descendant] = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + PdfName(spec.baseFont) +
                                   " /CIDSystemInfo << /Registry (Adobe) /Ordering " +
                                   PdfLiteral(spec.cidOrdering) + " /Supplement 0 >>" + descriptorRef +
                                   " /DW 1000" + winCharSet + " >>";
        fixedBodies_[fontObject] = "<< /Type /Font /Subtype /Type0 /BaseFont " + PdfName(spec.baseFont) +
                                   " /Encoding /Identity-H /DescendantFonts [" + RefText(descendant) + "]" +
                                   extra + " >>";
    } else {
        std::string encoding = spec.encoding.empty() ? "" : " /Encoding " + PdfName(spec.encoding);
        fixedBodies_[fontObject] = "<< /Type /Font /Subtype /Type1 /BaseFont " + PdfName(spec.baseFont) +
                                   encoding + descriptorRef + winCharSet + extra + " >>";
    }
    std::string name = "F" + std::to_string(++fontCount_);
    resources_["Font"][name] = RefText(fontObject);
    return name;
}

std::string PdfBuilder::AddImage(ImageSpec spec)
{
    int object = AddStream(ImageDictEntries(spec), spec.data);
    std::string name = "Im" + std::to_string(++imageCount_);
    resources_["XObject"][name] = RefText(object);
    return name;
}

void PdfBuilder::AddResource(std::string category, std::string name, std::string pdfValue)
{
    resources_[std::move(category)][std::move(name)] = std::move(pdfValue);
}

void PdfBuilder::AddLink(int pageNumber, LinkSpec link)
{
    int object = NewObject();
    pages_.at(pageNumber - 1).annotations.push_back(object);
    links_.emplace(object, std::move(link));
}

void PdfBuilder::AddLink(int pageNumber, Rect rect, Action action)
{
    LinkSpec link;
    link.rect = rect;
    link.action = std::move(action);
    AddLink(pageNumber, std::move(link));
}

void PdfBuilder::AddLink(int pageNumber, Rect rect, Dest dest)
{
    LinkSpec link;
    link.rect = rect;
    link.dest = std::move(dest);
    AddLink(pageNumber, std::move(link));
}

void PdfBuilder::AddNamedDest(std::string name, Dest dest, DestStore store, bool wrapInDictionary)
{
    namedDests_[static_cast<int>(store)].push_back(NamedDest{std::move(name), std::move(dest), wrapInDictionary});
}

void PdfBuilder::SetOutline(std::vector<OutlineEntry> items, std::optional<int> rootCount)
{
    outline_.clear();
    outlinesObject_ = NewObject();
    int visible = AddOutlineLevel(items, outlinesObject_, firstOutline_, lastOutline_);
    outlineCount_ = rootCount.value_or(visible);
}

// Adds one level of siblings and, depth first, their children. Returns how many
// items are visible from the parent: the siblings and the descendants of the
// open ones.
int PdfBuilder::AddOutlineLevel(const std::vector<OutlineEntry> &items, int parent, int &first, int &last)
{
    first = last = 0;
    int visible = 0;
    size_t previous = outline_.size(); // index of the previous sibling, none yet
    bool hasPrevious = false;
    for (const OutlineEntry &item : items) {
        size_t index = outline_.size();
        OutlineRecord record;
        record.object = NewObject();
        record.parent = parent;
        record.item = item;
        record.item.children.clear();
        outline_.push_back(std::move(record));

        int childFirst = 0, childLast = 0;
        int childVisible = AddOutlineLevel(item.children, outline_[index].object, childFirst, childLast);
        OutlineRecord &added = outline_[index];
        added.first = childFirst;
        added.last = childLast;
        if (!item.children.empty())
            added.count = item.closed ? -childVisible : childVisible;

        if (hasPrevious) {
            outline_[previous].next = added.object;
            added.prev = outline_[previous].object;
        } else {
            first = added.object;
        }
        last = added.object;
        previous = index;
        hasPrevious = true;
        visible += 1 + (item.closed ? 0 : childVisible);
    }
    return visible;
}

int PdfBuilder::AddObject(std::string body)
{
    int object = NewObject();
    fixedBodies_[object] = std::move(body);
    return object;
}

int PdfBuilder::ReserveObject() { return NewObject(); }

void PdfBuilder::SetObject(int objectNumber, std::string body) { fixedBodies_[objectNumber] = std::move(body); }

int PdfBuilder::AddStream(std::string dictEntries, std::string data)
{
    return AddObject(StreamBody(dictEntries, data));
}

void PdfBuilder::AddCatalogEntry(std::string entries) { catalogEntries_ += " " + entries; }
void PdfBuilder::AddTrailerEntry(std::string entries) { trailerEntries_ += " " + entries; }

// ---------------------------------------------------------------------------
// Builder: writing

std::string PdfBuilder::DestText(const Dest &dest) const
{
    switch (dest.kind_) {
    case Dest::Kind::Page: return "[" + PageRef(dest.number_) + " " + dest.view_ + "]";
    case Dest::Kind::Object: return "[" + RefText(dest.number_) + " " + dest.view_ + "]";
    case Dest::Kind::PageIndex: return "[" + std::to_string(dest.number_) + " " + dest.view_ + "]";
    case Dest::Kind::Named: return PdfLiteral(dest.text_);
    case Dest::Kind::Raw: return dest.text_;
    }
    return "null";
}

std::string PdfBuilder::ActionText(const Action &action) const
{
    switch (action.kind_) {
    case Action::Kind::GoTo: return "<< /S /GoTo /D " + DestText(*action.dest_) + " >>";
    case Action::Kind::GoToR:
        return "<< /S /GoToR /F " + PdfLiteral(action.text_) + " /D " + DestText(*action.dest_) + " >>";
    case Action::Kind::Launch: return "<< /S /Launch /F " + PdfLiteral(action.text_) + " >>";
    case Action::Kind::Uri: return "<< /S /URI /URI " + PdfLiteral(action.text_) + " >>";
    case Action::Kind::Named: return "<< /S /Named /N " + PdfName(action.text_) + " >>";
    case Action::Kind::Raw: return action.text_;
    }
    return "null";
}

std::string PdfBuilder::LinkText(const LinkSpec &link) const
{
    std::string text = "<< /Type /Annot /Subtype /Link /Rect " + RectText(link.rect);
    if (link.borderWidth)
        text += " /Border [0 0 " + PdfNumber(*link.borderWidth) + "]";
    if (link.action)
        text += " /A " + ActionText(*link.action);
    if (link.dest)
        text += " /Dest " + DestText(*link.dest);
    if (!link.extraEntries.empty())
        text += " " + link.extraEntries;
    return text + " >>";
}

std::string PdfBuilder::ResourcesText() const
{
    std::string text = "<< /ProcSet [/PDF /Text /ImageB /ImageC /ImageI]";
    for (const auto &[category, entries] : resources_) {
        text += " " + PdfName(category) + " <<";
        for (const auto &[name, value] : entries)
            text += " " + PdfName(name) + " " + value;
        text += " >>";
    }
    return text + " >>";
}

std::string PdfBuilder::NamedDestsText(DestStore store) const
{
    std::vector<NamedDest> dests = namedDests_[static_cast<int>(store)];
    // A name tree's leaf lists its keys in order; readers search it by halving.
    std::stable_sort(dests.begin(), dests.end(),
                     [](const NamedDest &a, const NamedDest &b) { return a.name < b.name; });
    std::string text;
    for (const NamedDest &entry : dests) {
        std::string value = DestText(entry.dest);
        if (entry.wrap)
            value = "<< /D " + value + " >>";
        text += " " + (store == DestStore::CatalogDests ? PdfName(entry.name) : PdfLiteral(entry.name)) + " " +
                value;
    }
    return text;
}

std::string PdfBuilder::CatalogText() const
{
    std::string text = "<< /Type /Catalog /Pages " + RefText(pagesObject_);
    if (outlinesObject_)
        text += " /Outlines " + RefText(outlinesObject_);
    if (!namedDests_[static_cast<int>(DestStore::CatalogDests)].empty())
        text += " /Dests <<" + NamedDestsText(DestStore::CatalogDests) + " >>";
    if (!namedDests_[static_cast<int>(DestStore::NameTree)].empty())
        text += " /Names << /Dests << /Names [" + NamedDestsText(DestStore::NameTree) + " ] >> >>";
    return text + catalogEntries_ + " >>";
}

std::string PdfBuilder::OutlineItemText(const OutlineRecord &record) const
{
    const OutlineEntry &item = record.item;
    std::string title = item.rawTitle ? *item.rawTitle
                        : (item.utf16 || !IsAscii(item.title)) ? PdfUtf16(item.title)
                                                                : PdfLiteral(item.title);
    std::string text = "<< /Title " + title + " /Parent " + RefText(record.parent);
    if (record.prev)
        text += " /Prev " + RefText(record.prev);
    if (record.next)
        text += " /Next " + RefText(record.next);
    if (record.first)
        text += " /First " + RefText(record.first) + " /Last " + RefText(record.last);
    if (record.count)
        text += " /Count " + std::to_string(record.count);
    if (item.dest)
        text += " /Dest " + DestText(*item.dest);
    if (item.goToDest)
        text += " /A << /S /GoTo /D " + DestText(*item.goToDest) + " >>";
    if (!item.extraEntries.empty())
        text += " " + item.extraEntries;
    return text + " >>";
}

std::vector<std::string> PdfBuilder::ObjectBodies() const
{
    std::vector<std::string> bodies(objectCount_ + 1, "null");
    bodies[catalogObject_] = CatalogText();

    std::string kids;
    for (const PageRecord &page : pages_)
        kids += (kids.empty() ? "" : " ") + RefText(page.object);
    bodies[pagesObject_] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages_.size()) + " >>";
    bodies[resourcesObject_] = ResourcesText();

    for (const PageRecord &page : pages_) {
        std::string text = "<< /Type /Page /Parent " + RefText(pagesObject_) + " /MediaBox " +
                           RectText(page.spec.mediaBox) + " /Resources " + RefText(resourcesObject_) +
                           " /Contents " + RefText(page.contentObject);
        if (page.spec.rotate)
            text += " /Rotate " + std::to_string(*page.spec.rotate);
        if (!page.annotations.empty()) {
            text += " /Annots [";
            for (int annotation : page.annotations)
                text += " " + RefText(annotation);
            text += " ]";
        }
        if (!page.spec.extraEntries.empty())
            text += " " + page.spec.extraEntries;
        bodies[page.object] = text + " >>";
        bodies[page.contentObject] = StreamBody({}, page.spec.content);
    }
    for (const auto &[object, link] : links_)
        bodies[object] = LinkText(link);

    if (outlinesObject_) {
        std::string text = "<< /Type /Outlines";
        if (firstOutline_)
            text += " /First " + RefText(firstOutline_) + " /Last " + RefText(lastOutline_);
        bodies[outlinesObject_] = text + " /Count " + std::to_string(outlineCount_) + " >>";
        for (const OutlineRecord &record : outline_)
            bodies[record.object] = OutlineItemText(record);
    }
    for (const auto &[object, body] : fixedBodies_)
        bodies.at(object) = body;
    return bodies;
}

std::string PdfBuilder::Build(Damage damage) const
{
    std::vector<std::string> bodies = ObjectBodies();
    // The second line's high bytes tell transfer tools that the file is binary.
    std::string file = "%PDF-" + version_ + "\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets(bodies.size(), 0);
    for (size_t object = 1; object < bodies.size(); ++object) {
        offsets[object] = file.size();
        file += std::to_string(object) + " 0 obj\n" + bodies[object] + "\nendobj\n";
    }
    if (damage == Damage::Truncated)
        return file.substr(0, file.size() / 2);
    if (damage == Damage::DropXref)
        return file;

    size_t xrefOffset = file.size();
    int shift = damage == Damage::WrongXrefOffsets ? 7 : 0;
    file += "xref\n0 " + std::to_string(bodies.size()) + "\n0000000000 65535 f \n";
    for (size_t object = 1; object < bodies.size(); ++object) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[object] + shift);
        file += entry;
    }
    file += "trailer\n<< /Size " + std::to_string(bodies.size()) + " /Root " + RefText(catalogObject_) +
            trailerEntries_ + " >>\n";
    size_t startxref = damage == Damage::WrongStartxref ? offsets[catalogObject_] + 3 : xrefOffset;
    file += "startxref\n" + std::to_string(startxref) + "\n%%EOF\n";
    return file;
}

namespace {

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// With LUMORA_FIXTURE_COPIES naming a folder, every fixture a test saves is
// also kept there under a name made from its bytes: the fuzzer's seed corpus
// is what the tests build.
void KeepFixtureCopy(const std::string &bytes)
{
    const char *folder = std::getenv(kFixtureCopiesVariable);
    if (!folder || !*folder || bytes.empty())
        return;
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "/%016llx.pdf", static_cast<unsigned long long>(hash));
    WriteFile(folder + std::string(name), bytes);
}

} // namespace

void PdfBuilder::Save(const std::string &path, Damage damage) const
{
    std::string bytes = Build(damage);
    WriteFile(path, bytes);
    KeepFixtureCopy(bytes);
}

// ---------------------------------------------------------------------------
// Programs and temporary directories

namespace {

// Closes a file descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int Get() const { return fd_; }
    void Reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// posix_spawn file actions, destroyed with the scope.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
    posix_spawn_file_actions_t *Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string> &argv)
{
    ProgramResult result;
    if (argv.empty())
        return result;
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        result.output = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    Fd readEnd(pipeEnds[0]);
    Fd writeEnd(pipeEnds[1]);

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDERR_FILENO);
    posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    int spawnError = posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ);
    writeEnd.Reset(); // so that the read below ends when the child exits
    if (spawnError != 0) {
        result.output = "cannot start " + argv[0] + ": " + std::strerror(spawnError);
        return result;
    }

    char buffer[4096];
    for (;;) {
        ssize_t count = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (count > 0)
            result.output.append(buffer, static_cast<size_t>(count));
        else if (count == 0 || errno != EINTR)
            break;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string EncryptPdf(const std::string &input, const std::string &output, const std::string &userPassword,
                       const std::string &ownerPassword)
{
    ProgramResult run = RunProgram({"qpdf", "--encrypt", userPassword, ownerPassword, "256", "--", input, output});
    // qpdf exits with 3 when it succeeded with warnings.
    if (run.exitCode == 0 || run.exitCode == 3) {
        KeepFixtureCopy(ReadFile(output));
        return {};
    }
    return "qpdf --encrypt failed (exit " + std::to_string(run.exitCode) + "): " + run.output;
}

std::string EncodeJpeg(int width, int height, const std::string &pixels, int components)
{
    TempDir dir;
    std::string input = dir.File(components == 1 ? "in.pgm" : "in.ppm");
    std::string output = dir.File("out.jpg");
    {
        std::ofstream out(input, std::ios::binary);
        out << (components == 1 ? "P5\n" : "P6\n") << width << " " << height << "\n255\n";
        out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    }
    ProgramResult run = RunProgram({"cjpeg", "-quality", "90", "-outfile", output, input});
    return run.exitCode == 0 ? ReadFile(output) : std::string();
}

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumora-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string &name) const { return (path_ / name).string(); }

} // namespace lumora::test
