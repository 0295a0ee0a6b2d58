#pragma once
// The converter's stored settings, shared by the engine and the application.
//
// They live in two places:
// - the per-user profile, an INI file at
//   $XDG_CONFIG_HOME/Vellumrobot/Lumora PDF to HTML Converter.ini
//   (~/.config when XDG_CONFIG_HOME is unset), one section per profile
//   section and one key per value; numbers as decimal text, texts as given;
// - config.ini beside the executable, section [QUILLON].
//
// Nothing caches: every read goes to the file, so a value saved by the
// preference pages or the command line takes effect at the next read. The
// store enforces no ranges; its writers keep values in range. A failed write
// returns false and leaves the old value in place.
#include <string>
#include <string_view>

namespace lumora::settings {

// ---------------------------------------------------------------------------
// Locations

inline constexpr std::string_view kRegistryKey = "Vellumrobot";
inline constexpr std::string_view kApplicationName = "Lumora PDF to HTML Converter";

// Path of the per-user profile file (its directory may not exist yet).
std::string ProfilePath();

// The executable's directory + "config.ini".
std::string ConfigIniPath();

// ---------------------------------------------------------------------------
// The profile, addressed by section and value name

// A value missing, or not starting with a decimal number, reads as the default.
int ReadProfileNumber(std::string_view section, std::string_view name, int defaultValue);
std::string ReadProfileText(std::string_view section, std::string_view name, std::string_view defaultText = {});

// Create the profile (mode 0600) and its directories as needed. A text that
// cannot be held in one line (a line break) is refused with false.
bool WriteProfileNumber(std::string_view section, std::string_view name, int number);
bool WriteProfileText(std::string_view section, std::string_view name, std::string_view text);

// ---------------------------------------------------------------------------
// config.ini, with private-profile rules

int ReadConfigNumber(std::string_view section, std::string_view key, int defaultValue,
                     const std::string &path = ConfigIniPath());
bool WriteConfigText(std::string_view section, std::string_view key, std::string_view text,
                     const std::string &path = ConfigIniPath());
bool WriteConfigNumber(std::string_view section, std::string_view key, int number,
                       const std::string &path = ConfigIniPath());

// ---------------------------------------------------------------------------
// The stored settings

struct NumberSetting {        // a whole number in the profile
    std::string_view section;
    std::string_view name;
    int defaultValue;
};

struct TextSetting {          // a text in the profile
    std::string_view section;
    std::string_view name;
    std::string_view defaultText;
};

struct ConfigNumberSetting {  // a whole number in config.ini
    std::string_view section;
    std::string_view key;
    int defaultValue;
};

int Read(const NumberSetting &setting);
bool Write(const NumberSetting &setting, int number);

std::string Read(const TextSetting &setting);
// For a reader whose default differs from the stored format's (the HTML
// Options page shows a web address when none is stored).
std::string Read(const TextSetting &setting, std::string_view defaultText);
bool Write(const TextSetting &setting, std::string_view text);

int Read(const ConfigNumberSetting &setting);
bool Write(const ConfigNumberSetting &setting, int number);
// Reads the number and writes it straight back, so that the key exists after
// the first use (with its default when it was missing). A failed write-back
// is no error: the value read is returned all the same.
int ReadAndWriteBack(const ConfigNumberSetting &setting);

// Where each setting is stored, spelled exactly as the stored format has it:
// settings::profile::<section>::<value> and settings::config::<section>::<key>.
namespace profile {

namespace ZoomRatio {
// Rendering resolution in dots per inch, shown as a percentage; 50 to 200.
inline constexpr NumberSetting Zoom{"ZoomRatio", "Zoom", 100};
} // namespace ZoomRatio

namespace PageRangeType {
// 0 all pages, 1 the range From to To.
inline constexpr NumberSetting Type{"PageRangeType", "Type", 0};
} // namespace PageRangeType

namespace PageRange {
inline constexpr NumberSetting From{"PageRange", "From", 1};
inline constexpr NumberSetting To{"PageRange", "To", 100000};
} // namespace PageRange

namespace Preview {
// Non-zero: open the last converted file's start page when the queue runs empty.
inline constexpr NumberSetting Flag{"Preview", "Flag", 0};
} // namespace Preview

namespace GenerateInOneHTMLPage {
// Non-zero: continuous-page output (one index.htm).
inline constexpr NumberSetting Flag{"GenerateInOneHTMLPage", "Flag", 0};
} // namespace GenerateInOneHTMLPage

namespace m_bRemovePics {
// Non-zero: continuous-page output without the pictures.
inline constexpr NumberSetting Flag{"m_bRemovePics", "Flag", 0};
} // namespace m_bRemovePics

namespace CHTMLPage {
// 0: the site's title is the PDF's base name; 1: m_szPageTitle.
inline constexpr NumberSetting m_iPageTitle{"CHTMLPage", "m_iPageTitle", 0};
inline constexpr TextSetting m_szPageTitle{"CHTMLPage", "m_szPageTitle", ""};
// Page background colour 0x00BBGGRR.
inline constexpr NumberSetting m_clBackground{"CHTMLPage", "m_clBackground", 0x00FFFFFF};
inline constexpr TextSetting m_szPageKeywords{"CHTMLPage", "m_szPageKeywords", ""};
// Non-zero: add a home-page link to the page index.
inline constexpr NumberSetting m_bHomepageURL{"CHTMLPage", "m_bHomepageURL", 0};
inline constexpr TextSetting m_strHomepageURL{"CHTMLPage", "m_strHomepageURL", ""};
// What the HTML Options page shows as the home-page address when none is stored.
inline constexpr std::string_view kHomepageURLShownWhenNoneStored = "http://www.example.com/";
} // namespace CHTMLPage

namespace CPDFPassword {
// Passwords passed to PDF_Open; stored in clear text.
inline constexpr TextSetting m_szUserPassword{"CPDFPassword", "m_szUserPassword", ""};
inline constexpr TextSetting m_szOwnerPassword{"CPDFPassword", "m_szOwnerPassword", ""};
} // namespace CPDFPassword

namespace CRasterImage {
// JPEG quality 1 to 100 of the page pictures.
inline constexpr NumberSetting m_iJPGQuality{"CRasterImage", "m_iJPGQuality", 75};
inline constexpr NumberSetting m_bGrayscale{"CRasterImage", "m_bGrayscale", 0};
} // namespace CRasterImage

namespace CHyperlinks {
// Non-zero: write each page's links as an image map.
inline constexpr NumberSetting m_bEnableLinks{"CHyperlinks", "m_bEnableLinks", 1};
} // namespace CHyperlinks

namespace QUILLON {
// Profile values of a section that shares its name with the config.ini one.
// Non-zero: insert spaces between separated characters.
inline constexpr NumberSetting CheckSpaces{"QUILLON", "CheckSpaces", 1};
// Exactly 1 forces continuous-page output; any non-zero value frames the
// continuous page. Set only from outside the system.
inline constexpr NumberSetting ForCharter{"QUILLON", "ForCharter", 0};
} // namespace QUILLON

namespace WindowsTopMost {
inline constexpr NumberSetting Flag{"WindowsTopMost", "Flag", 0};
} // namespace WindowsTopMost

namespace type {
// The conversion type: 0 HTML site, 1 one BMP file per page.
inline constexpr NumberSetting m_convertType{"type", "m_convertType", 0};
} // namespace type

namespace FilePath {
// Folder in which the Open dialog starts: the root of the file system until
// one has been used.
inline constexpr TextSetting LastOpenPath{"FilePath", "LastOpenPath", "/"};
} // namespace FilePath

namespace htmSaveDefaultDirectory {
// Folder preselected in the folder chooser for several PDF files.
inline constexpr TextSetting Path{"htmSaveDefaultDirectory", "Path", ""};
} // namespace htmSaveDefaultDirectory

} // namespace profile

namespace config {
namespace QUILLON {
// Largest horizontal step in pixels between characters of one span; 0 to 50.
inline constexpr ConfigNumberSetting CharSpaces{"QUILLON", "CharSpaces", 50};
// Shift in pixels of all positioned content.
inline constexpr ConfigNumberSetting XOffset{"QUILLON", "XOffset", 0};
inline constexpr ConfigNumberSetting YOffset{"QUILLON", "YOffset", 0};
// Extra size of the framing table of a framed continuous page.
inline constexpr ConfigNumberSetting XTableOffset{"QUILLON", "XTableOffset", 0};
inline constexpr ConfigNumberSetting YTableOffset{"QUILLON", "YTableOffset", 0};
} // namespace QUILLON
} // namespace config

} // namespace lumora::settings
