#pragma once
// Turns the font names that PDF files use ("Arial,Bold", "ABCDEF+Foo-Bold",
// ...) into the face names that text runs are drawn with and recorded in:
// first through the table the user keeps in config.ini, section
// [FontNameMapping], then by the family part of the name when such a family
// is installed, else the default face.
//
// The mapping and the list of installed families are process-wide: the
// mapping is made on first use and lives until the program ends, the family
// list is filled once. Both are used only from the thread that renders pages,
// so nothing here is locked.
#include "surface/PlatformFont.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumora {

// The longest face name a font description holds (its 32-byte buffer less
// the terminator); table texts and the default face are cut to it as well.
inline constexpr std::size_t kFaceNameLength = 31;
inline constexpr const char *kFontNameMappingSection = "FontNameMapping";
inline constexpr const char *kInitialDefaultFace = "Arial";
// More table entries than anyone keeps by hand; a mistyped count beyond it
// must not make the first text run read the file for hours.
inline constexpr int32_t kMaxFontMappingEntries = 4096;

class FontNameMapping {
public:
    FontNameMapping() = default;
    FontNameMapping(const FontNameMapping &) = delete;
    FontNameMapping &operator=(const FontNameMapping &) = delete;

    // Reads the table from config.ini unless it has been read already;
    // true when a table is loaded. While the file names no entries nothing
    // is kept, and the file is read again at the first call after
    // StartPage: a page asks for its faces at every character, and reading
    // the file that often would cost more than drawing the page.
    bool Load();

    // A new page begins: a config.ini without entries is read again.
    void StartPage() { fileReadDue_ = true; }

    // The face name to use for a PDF font name; never fails, at worst it is
    // the default face.
    std::string Lookup(std::string_view name);

    // Fills the process-wide InstalledFontList when it is empty; its length.
    std::size_t EnumerateInstalledFonts();

    int32_t Count() const { return int32_t(pdfNames_.size()); }
    const std::string &DefaultFace() const { return defaultFace_; }

    // The platform faces matched so far, kept here because matching a face
    // costs far more than drawing a character with it.
    FontFaceCache &Faces() { return faces_; }

private:
    // Lookup's search: the table, the installed families, the default face.
    std::string FindFace(std::string_view name);

    std::vector<std::string> pdfNames_;
    std::vector<std::string> osNames_;
    std::string defaultFace_ = kInitialDefaultFace;
    FontFaceCache faces_;
    bool fileReadDue_ = true;
    // The faces found so far by PDF font name; what the file said when it
    // was read last decides them, so every reading starts them afresh.
    std::unordered_map<std::string, std::string> facesByName_;
};

// The process-wide mapping, made on first use.
FontNameMapping &TheFontNameMapping();

// The family names of the installed fonts, in the order fontconfig lists
// them, each once; empty until EnumerateInstalledFonts fills it.
const std::vector<std::string> &InstalledFontList();

// Forgets the process-wide mapping and the installed-font list, so that the
// next use reads config.ini and lists the fonts afresh. For tests, which
// each bring their own config.ini.
void ResetFontNameMapping();

// The first maxBytes bytes of a text, shortened further so that a UTF-8
// sequence is never cut in two.
std::string CutText(std::string_view text, std::size_t maxBytes);

} // namespace lumora
