#pragma once
// The HTML page writer. A captured page becomes two layers: a picture of
// everything that is not upright text (painted, saved as a BMP and turned
// into a JPEG by the external encoder) and the upright text over it as
// absolutely positioned spans, one CSS class ("ft" + N) per font style. The
// page's links become an image map on the picture.
//
// The writer keeps process-wide state that the conversion job sets per input
// file: the font class table, continuous-page mode and the page offsets. It
// is used from the one thread that converts, so nothing here is locked.
#include "lumora_engine.h"
#include "surface/DrawSurface.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

// ---------------------------------------------------------------------------
// Font classes

// The fields that decide whether two text blocks share a CSS class. Faces
// compare case-sensitively.
struct FontStyle {
    int32_t size = 0;
    std::string face;
    uint32_t colour = 0;
    int32_t italic = 0;
    int32_t bold = 0;

    static FontStyle Of(const TextBlock &text);
    bool operator==(const FontStyle &) const = default;
};

// The font styles in the order they were first met; a style's position N is
// its class "ftN".
class FontClassTable {
public:
    // The class of the block's style, or -1 when the table lacks it.
    int Find(const TextBlock &text) const;
    // The class of the block's style, added at the end when new.
    int Add(const TextBlock &text);
    void Clear() { styles_.clear(); }
    const std::vector<FontStyle> &Styles() const { return styles_; }

private:
    std::vector<FontStyle> styles_;
};

// ---------------------------------------------------------------------------
// The writer's process-wide state

// Emptied by the job at the start of each input file and by the writer at
// the start of each page unless the mode is continuous.
FontClassTable &TheFontClassTable();

// On: every page is appended to "index.htm" in the page's folder, the class
// numbers hold for the whole file, and the pages stand one below the other.
bool ContinuousPageMode();
void SetContinuousPageMode(bool on);

// Added to every left and top the page writes; in continuous-page mode each
// page adds its height + 10 to the vertical offset.
int32_t PageOffsetX();
int32_t PageOffsetY();
void SetPageOffsetX(int32_t offset);
void SetPageOffsetY(int32_t offset);

// What the writer has to tell the user ("Create file error [...]!") goes to
// the application's hook, which decides whether and how it is shown (under
// the overwrite-without-asking option it is not). Without a hook the message
// goes to standard error.
using MessageHook = std::function<void(const std::string &message)>;
void SetMessageHook(MessageHook hook);
void ReportToUser(const std::string &message);

// ---------------------------------------------------------------------------
// Writing one page

// The stored settings a page is written with.
struct PageWriterSettings {
    uint32_t background = 0x00FFFFFF; // of the picture and the page
    int jpegQuality = 75;             // passed to the encoder only when 1 to 100
    bool grayscale = false;
    bool removePictures = false;      // continuous-page mode only
    bool checkSpaces = true;          // a space between separated characters
    int charSpaces = 50;              // largest step within one span; 0: one span per character

    // Read from the settings store afresh.
    static PageWriterSettings Read();
};

// Paints every block of the page that is not upright text onto the picture,
// in list order, replaying the clip blocks. The primitives run in painting
// mode whatever page object is being captured.
void PaintPageBlocks(DrawSurface &picture, const PageObject &page);

// Starts the program arguments[0] (a path, not searched for) with the rest as
// its arguments, no shell in between, and waits for it to end. Its exit
// code; -1 when it could not be started or did not exit normally.
int RunHidden(const std::vector<std::string> &arguments);

// The encoder beside the executable and its arguments for one picture.
std::vector<std::string> EncoderCommand(const std::string &jpegPath, const std::string &bmpPath, bool grayscale,
                                        int quality);

// Encodes the picture as a JPEG file through the external encoder (by way of
// a temporary BMP file); true when the JPEG file was written.
bool EncodePicture(DrawSurface &picture, const std::string &jpegPath, const PageWriterSettings &settings);

// Writes the page file of a painted page, consuming the page object's
// non-text blocks; false when the file could not be written completely.
bool WriteHtmlPage(PageObject &page, const HtmLink *links, const std::string &htmlPath,
                   const std::string &jpegPath, const PageWriterSettings &settings);

// Appends count UTF-16 units (little-endian) to the span text, as UTF-8 with
// every markup character escaped.
void AppendHtmlText(const uint8_t *units, int32_t count, std::string &spanText);

// Where a link's action text leads, before attribute escaping: a page file
// "pg_%04d" + the extension for a go-to, the address for a URI, the text
// itself otherwise; empty for an address that would run script.
std::string LinkTarget(std::string_view actionText, std::string_view htmlExtension);

// A face name as it may stand in a style rule: every character that could
// end the declaration, the rule or the style element is left out.
std::string CssFaceName(std::string_view face);

} // namespace lumora
