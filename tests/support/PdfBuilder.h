// Writes small PDF files byte by byte for the tests.
//
// Every fixture holds exactly the objects that show one behaviour, so a test
// reads like the file it is about. Object numbers are handed out as things are
// added, which lets a test refer to a page or an extra object by number (in raw
// entries or destinations) before the file is built; destinations to pages are
// resolved at Build(), so a link may point at a page added after it.
//
//   TempDir dir;
//   PdfBuilder pdf;
//   std::string f1 = pdf.AddFont("Helvetica");               // "F1"
//   int first = pdf.AddPage(612, 792, "BT /" + f1 + " 12 Tf 72 700 Td (Hello) Tj ET");
//   int second = pdf.AddPage(612, 792);
//   pdf.AddLink(first, {100, 700, 200, 720}, Action::GoTo(Dest::Page(second)));
//   pdf.SetOutline({OutlineEntry("Start", Dest::Page(first))});
//   pdf.Save(dir.File("links.pdf"));
//
// The builder checks nothing: what a test asks for is written, which is how
// the odd and broken fixtures are made.
#pragma once

#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumora::test {

// A rectangle in PDF user space, written as [left bottom right top] in the
// order given (so a test can write swapped corners on purpose).
struct Rect {
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
};

// A destination: which page (or object) and which view.
class Dest {
public:
    // [pageRef /Fit] for a page of this document, numbered from 1.
    static Dest Page(int pageNumber);
    // [N 0 R /Fit] for any object, e.g. one that is no page.
    static Dest Object(int objectNumber);
    // [index /Fit] with the page given as an integer, as remote destinations do
    // (0 is the first page).
    static Dest PageIndex(int index);
    // A named destination, written as a string.
    static Dest Named(std::string name);
    // Exact PDF text, e.g. "[3 0 R /XYZ null 700 null]".
    static Dest Raw(std::string pdfText);

    // Replaces the /Fit view by /XYZ left top zoom.
    Dest &Xyz(double left, double top, double zoom);
    // Replaces the view by the given text, e.g. "/FitH 500".
    Dest &View(std::string viewText);

private:
    enum class Kind { Page, Object, PageIndex, Named, Raw };
    friend class PdfBuilder;
    Dest(Kind kind, int number, std::string text);

    Kind kind_;
    int number_;
    std::string text_; // name or raw text
    std::string view_ = "/Fit";
};

// The /A dictionary of a link annotation.
class Action {
public:
    static Action GoTo(Dest dest);
    static Action GoToR(std::string file, Dest dest);
    static Action Launch(std::string file);
    static Action Uri(std::string uri);
    // A named action such as NextPage.
    static Action Named(std::string name);
    // The whole dictionary as PDF text, e.g. "<< /S /JavaScript /JS (x) >>".
    static Action Raw(std::string pdfText);

private:
    enum class Kind { GoTo, GoToR, Launch, Uri, Named, Raw };
    friend class PdfBuilder;
    Action(Kind kind, std::string text, std::optional<Dest> dest);

    Kind kind_;
    std::string text_;
    std::optional<Dest> dest_;
};

struct PageSpec {
    Rect mediaBox{0, 0, 612, 792};
    std::optional<int> rotate;
    // Content stream bytes, written unchanged (inline image data may be binary).
    std::string content;
    // Extra raw entries for the page dictionary, e.g. "/CropBox [0 0 100 100]".
    std::string extraEntries;
};

struct FontSpec {
    // One of the standard 14 names or any other base font name.
    std::string baseFont = "Helvetica";
    // Written as /Encoding for simple fonts; empty writes no /Encoding.
    std::string encoding = "WinAnsiEncoding";
    // Writes a Type0 font with Identity-H encoding and a CIDFontType2
    // descendant (no embedded font program) instead of a Type1 font.
    bool composite = false;
    // /Registry and /Ordering of the descendant's CIDSystemInfo.
    std::string cidOrdering = "Identity";
    // /WinCharSet: in the descendant CIDFont of a composite font, else in the
    // font dictionary itself.
    std::optional<int> winCharSet;
    // Writes a /FontDescriptor with these /Flags (64 Italic, 262144 ForceBold).
    std::optional<int> descriptorFlags;
    // Extra raw entries for the font dictionary.
    std::string extraEntries;
};

// An image XObject (or, through InlineImage, an inline image). The dictionary
// says what the fields say and the data is written as given: a test can make
// Width/Height larger than the data on purpose.
struct ImageSpec {
    int width = 0;
    int height = 0;
    // "/DeviceRGB", "/DeviceGray" or any colour-space text; empty for masks.
    std::string colorSpace = "/DeviceRGB";
    int bitsPerComponent = 8;
    bool imageMask = false;
    bool dctEncoded = false;
    // Extra raw entries, e.g. "/Decode [1 0]".
    std::string extraEntries;
    std::string data;

    // width*height*3 bytes, red green blue per pixel, rows top to bottom.
    static ImageSpec Rgb(int width, int height, std::string pixels);
    // bitsPerComponent 8: one byte per pixel; 1: rows padded to whole bytes.
    static ImageSpec Gray(int width, int height, std::string pixels, int bitsPerComponent = 8);
    // A stencil mask: rows of ceil(width/8) bytes; a 0 bit paints (unless
    // decodeInverted, which writes /Decode [1 0]).
    static ImageSpec Mask(int width, int height, std::string bits, bool decodeInverted = false);
    // JPEG bytes under /DCTDecode; components 1 is DeviceGray, 3 DeviceRGB.
    static ImageSpec Jpeg(int width, int height, std::string jpegBytes, int components = 3);
};

struct LinkSpec {
    Rect rect;
    // Either an /A action or a /Dest (or neither, or both for odd cases).
    std::optional<Action> action;
    std::optional<Dest> dest;
    // Writes /Border [0 0 width]; unset writes no /Border.
    std::optional<double> borderWidth;
    std::string extraEntries;
};

struct OutlineEntry {
    OutlineEntry(std::string title = {}, std::optional<Dest> dest = {}, std::vector<OutlineEntry> children = {})
        : title(std::move(title)), dest(std::move(dest)), children(std::move(children))
    {
    }

    // UTF-8; written as a literal string when ASCII, else (or when utf16 is
    // set) as UTF-16BE with a byte order mark.
    std::string title;
    std::optional<Dest> dest;      // written as /Dest
    std::vector<OutlineEntry> children;
    std::optional<Dest> goToDest;  // written as /A << /S /GoTo /D ... >>
    bool closed = false; // a closed item with children gets a negative /Count
    bool utf16 = false;
    // Exact PDF text for the /Title value (e.g. "<FEFF0022>" or "42"); wins
    // over title.
    std::optional<std::string> rawTitle;
    std::string extraEntries;
};

enum class DestStore {
    CatalogDests, // the catalog's /Dests dictionary
    NameTree,     // /Names << /Dests << /Names [...] >> >>
};

// Ways to spoil a built file for bad-input tests.
// poppler cannot open DropXref and Truncated files (no trailer, so no root);
// it repairs the other two by rebuilding the xref from the objects.
enum class Damage {
    None,
    DropXref,         // no xref table, trailer or startxref
    WrongXrefOffsets, // every offset in the table points 7 bytes too far
    WrongStartxref,   // startxref points into the middle of an object
    Truncated,        // the file cut off halfway
};

// The environment variable that names a folder to keep a copy of every saved
// fixture in (see fuzz/run.sh).
inline constexpr const char *kFixtureCopiesVariable = "LUMORA_FIXTURE_COPIES";

class PdfBuilder {
public:
    PdfBuilder();

    // The version in the header, e.g. "1.4".
    void SetVersion(std::string version);

    // Pages are numbered from 1 in the order added; the number is returned.
    int AddPage(PageSpec spec);
    int AddPage(double width, double height, std::string content = {});
    // Valid for the builder's lifetime.
    PageSpec &Page(int pageNumber);
    int PageCount() const;
    // "N 0 R" of a page, for raw text.
    std::string PageRef(int pageNumber) const;
    int PageObject(int pageNumber) const;

    // Fonts and images go into the one resource dictionary that every page
    // shares; the resource name ("F1", "Im1", ...) is returned.
    std::string AddFont(FontSpec spec);
    std::string AddFont(std::string baseFont);
    std::string AddImage(ImageSpec spec);
    // Any other resource: category such as "ExtGState", name, raw value.
    void AddResource(std::string category, std::string name, std::string pdfValue);

    void AddLink(int pageNumber, LinkSpec link);
    void AddLink(int pageNumber, Rect rect, Action action);
    void AddLink(int pageNumber, Rect rect, Dest dest);

    // Named destinations; the value is the destination array, or << /D [...] >>
    // when wrapInDictionary.
    void AddNamedDest(std::string name, Dest dest, DestStore store = DestStore::CatalogDests,
                      bool wrapInDictionary = false);

    // The outline; rootCount overrides the /Count of the /Outlines dictionary
    // (which is otherwise the number of visible items).
    void SetOutline(std::vector<OutlineEntry> items, std::optional<int> rootCount = {});

    // Raw objects for odd cases. The body is written between "N 0 obj" and
    // "endobj" unchanged.
    int AddObject(std::string body);
    int ReserveObject();
    void SetObject(int objectNumber, std::string body);
    // A stream object with an exact /Length; dictEntries go into its dictionary.
    int AddStream(std::string dictEntries, std::string data);
    // Raw entries for the catalog and the trailer.
    void AddCatalogEntry(std::string entries);
    void AddTrailerEntry(std::string entries);

    std::string Build(Damage damage = Damage::None) const;
    // Writes Build() to the file (and a copy for the fuzzer's corpus when
    // asked for); throws std::runtime_error when it cannot.
    void Save(const std::string &path, Damage damage = Damage::None) const;

private:
    struct PageRecord {
        int object;
        int contentObject;
        PageSpec spec;
        std::vector<int> annotations;
    };
    struct NamedDest {
        std::string name;
        Dest dest;
        bool wrap;
    };
    // One outline item with its place in the tree (children not copied).
    struct OutlineRecord {
        int object = 0;
        int parent = 0;
        int prev = 0, next = 0, first = 0, last = 0;
        int count = 0; // 0 writes no /Count
        OutlineEntry item;
    };

    int NewObject();
    std::string DestText(const Dest &dest) const;
    std::string ActionText(const Action &action) const;
    std::string LinkText(const LinkSpec &link) const;
    std::string ResourcesText() const;
    std::string CatalogText() const;
    std::string NamedDestsText(DestStore store) const;
    std::string OutlineItemText(const OutlineRecord &record) const;
    int AddOutlineLevel(const std::vector<OutlineEntry> &items, int parent, int &first, int &last);
    std::vector<std::string> ObjectBodies() const;

    std::string version_ = "1.4";
    int objectCount_ = 0;
    int catalogObject_;
    int pagesObject_;
    int resourcesObject_;
    std::map<int, std::string> fixedBodies_; // raw objects, fonts, images
    std::deque<PageRecord> pages_;
    std::map<std::string, std::map<std::string, std::string>> resources_;
    int fontCount_ = 0;
    int imageCount_ = 0;
    std::map<int, LinkSpec> links_; // by annotation object; pages may come later
    std::vector<NamedDest> namedDests_[2]; // by DestStore
    std::vector<OutlineRecord> outline_;
    int outlinesObject_ = 0;
    int outlineCount_ = 0;
    int firstOutline_ = 0, lastOutline_ = 0;
    std::string catalogEntries_;
    std::string trailerEntries_;
};

// Text helpers for content streams and dictionaries.
std::string PdfNumber(double value);
// A literal string with ( ) \ and line ends escaped: "(a\(b\))".
std::string PdfLiteral(std::string_view bytes);
// A name with delimiters escaped as #xx: "/A#20B".
std::string PdfName(std::string_view name);
// A hex string of UTF-16BE with byte order mark: "<FEFF0041>".
std::string PdfUtf16(std::string_view utf8);
// "q w 0 0 h x y cm /Name Do Q".
std::string DrawImageOp(const std::string &resourceName, double x, double y, double width,
                        double height);
// "BI ... ID data EI" for a content stream.
std::string InlineImage(const ImageSpec &image);
// width*height*3 bytes of a smooth red/green/blue gradient.
std::string RgbGradient(int width, int height);

// Runs a program from an argument vector (argv[0] searched on PATH, no shell),
// collecting its standard output and error.
struct ProgramResult {
    int exitCode = -1; // -1 when it could not be started or did not exit normally
    std::string output;
};
ProgramResult RunProgram(const std::vector<std::string> &argv);

// Encrypts a PDF with AES-256 through qpdf. Returns what went wrong, empty
// when it worked: ASSERT_EQ(EncryptPdf(in, out, "user", "owner"), "");
std::string EncryptPdf(const std::string &input, const std::string &output, const std::string &userPassword,
                       const std::string &ownerPassword);

// JPEG bytes from pixels (components 1 gray or 3 RGB) through cjpeg; empty on
// failure.
std::string EncodeJpeg(int width, int height, const std::string &pixels, int components = 3);

// A fresh directory under $TMPDIR (else /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &Path() const { return path_; }
    // The path of a file in the directory (the file is not created).
    std::string File(const std::string &name) const;

private:
    std::filesystem::path path_;
};

} // namespace lumora::test
