#include "surface/FontNameMapping.h"

#include "surface/ModulePath.h"
#include "surface/PrivateProfile.h"

#include <algorithm>
#include <memory>
#include <set>

namespace lumora {

namespace {

// The font name mapping's process-wide state, in this one place.
struct FontNameState {
    std::unique_ptr<FontNameMapping> mapping;
    std::vector<std::string> installedFonts;
};

FontNameState &State()
{
    static FontNameState state;
    return state;
}

std::string ConfigIniPath() { return ExecutableDirectory() + "config.ini"; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string ReadMappingText(const std::string &key, const char *defaultText, const std::string &path)
{
    return CutText(ReadIniText(kFontNameMappingSection, key, defaultText, path), kFaceNameLength);
}

// "Arial,Bold" and "Arial-Bold" name the family "Arial".
std::string_view FamilyPart(std::string_view name) { return name.substr(0, name.find_first_of(",-")); }

// Every family name of every font fontconfig knows, each once, in the order
// fontconfig lists the fonts.
std::vector<std::string> ListFontFamilies()
{
    std::vector<std::string> families;
    FcPatternPtr everything(FcPatternCreate());
    FcObjectSetPtr familyOnly(FcObjectSetBuild(FC_FAMILY, nullptr));
    if (!everything || !familyOnly)
        return families;
    FcFontSetPtr fonts(FcFontList(nullptr, everything.get(), familyOnly.get()));
    if (!fonts)
        return families;
    std::set<std::string> seen;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcChar8 *family = nullptr;
        for (int id = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, id, &family) == FcResultMatch; ++id) {
            std::string name(reinterpret_cast<const char *>(family));
            if (seen.insert(name).second)
                families.push_back(std::move(name));
        }
    }
    return families;
}

} // namespace

std::string CutText(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    // Back off over continuation bytes (10xxxxxx) to the start of the
    // sequence that does not fit.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

bool FontNameMapping::Load()
{
    if (!pdfNames_.empty())
        return true;
    if (!fileReadDue_)
        return false;
    fileReadDue_ = false;
    facesByName_.clear();
    const std::string path = ConfigIniPath();
    const int32_t count = std::clamp(ReadIniInt(kFontNameMappingSection, "FontCount", 0, path), 0,
                                     kMaxFontMappingEntries);
    if (count == 0)
        return false;
    defaultFace_ = ReadMappingText("DefaultFontName", kInitialDefaultFace, path);
    std::vector<std::string> pdfNames;
    std::vector<std::string> osNames;
    pdfNames.reserve(count);
    osNames.reserve(count);
    for (int32_t i = 1; i <= count; ++i) {
        pdfNames.push_back(ReadMappingText("PdfFontName" + std::to_string(i), "Default", path));
        osNames.push_back(ReadMappingText("OsFontName" + std::to_string(i), "Default", path));
    }
    pdfNames_ = std::move(pdfNames);
    osNames_ = std::move(osNames);
    return true;
}

std::string FontNameMapping::Lookup(std::string_view name)
{
    Load();
    if (const auto known = facesByName_.find(std::string(name)); known != facesByName_.end())
        return known->second;
    std::string face = FindFace(name);
    // Without installed fonts the list is asked for again next time, and
    // so is the face.
    if (!InstalledFontList().empty())
        facesByName_.emplace(std::string(name), face);
    return face;
}

std::string FontNameMapping::FindFace(std::string_view name)
{
    const auto entry = std::find(pdfNames_.begin(), pdfNames_.end(), name);
    if (entry != pdfNames_.end())
        return osNames_[entry - pdfNames_.begin()];
    // An installed family is used as the PDF spells it, whatever the case
    // of the installed name.
    const std::string_view family = FamilyPart(name);
    EnumerateInstalledFonts();
    const auto &installed = InstalledFontList();
    const bool isInstalled = std::any_of(installed.begin(), installed.end(), [family](const std::string &face) {
        return EqualsIgnoringAsciiCase(face, family);
    });
    return isInstalled ? std::string(family) : defaultFace_;
}

std::size_t FontNameMapping::EnumerateInstalledFonts()
{
    auto &installed = State().installedFonts;
    if (installed.empty())
        installed = ListFontFamilies();
    return installed.size();
}

FontNameMapping &TheFontNameMapping()
{
    auto &mapping = State().mapping;
    if (!mapping)
        mapping = std::make_unique<FontNameMapping>();
    return *mapping;
}

const std::vector<std::string> &InstalledFontList() { return State().installedFonts; }

void ResetFontNameMapping()
{
    State().mapping.reset();
    State().installedFonts.clear();
}

} // namespace lumora
