#pragma once
// Scopes for the tests of the font name mapping and the text runs: a folder
// of their own standing in for the executable's, and a fontconfig
// configuration of their own choosing. Both start and end with a fresh
// process-wide font name mapping.
#include "support/PdfBuilder.h" // TempDir
#include "support/TestFiles.h"

#include "surface/FontNameMapping.h"
#include "surface/FontPtr.h"
#include "surface/ModulePath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// Points "beside the executable" at a temporary folder, where the test
// writes its config.ini.
class ModuleDirectoryScope {
public:
    ModuleDirectoryScope()
    {
        if (const char *previous = std::getenv(kModuleDirectoryVariable))
            previous_ = previous;
        ::setenv(kModuleDirectoryVariable, directory_.Path().c_str(), 1);
        ResetFontNameMapping();
    }
    ~ModuleDirectoryScope()
    {
        if (previous_)
            ::setenv(kModuleDirectoryVariable, previous_->c_str(), 1);
        else
            ::unsetenv(kModuleDirectoryVariable);
        ResetFontNameMapping();
    }
    ModuleDirectoryScope(const ModuleDirectoryScope &) = delete;
    ModuleDirectoryScope &operator=(const ModuleDirectoryScope &) = delete;

    void WriteConfigIni(const std::string &text) const { WriteFileBytes(directory_.File("config.ini"), text); }
    std::string File(const std::string &name) const { return directory_.File(name); }

private:
    TempDir directory_;
    std::optional<std::string> previous_;
};

// Makes a fontconfig configuration current that knows only the given font
// files (none: no fonts at all), and restores the system's afterwards.
class FontconfigScope {
public:
    explicit FontconfigScope(const std::vector<std::string> &fontFiles = {})
        : saved_(FcConfigReference(nullptr))
    {
        FcConfigPtr own(FcConfigCreate());
        EXPECT_TRUE(FcConfigSetCurrent(own.get()));
        for (const auto &file : fontFiles)
            EXPECT_TRUE(FcConfigAppFontAddFile(own.get(), reinterpret_cast<const FcChar8 *>(file.c_str())))
                << file;
        ResetFontNameMapping();
    }
    ~FontconfigScope()
    {
        FcConfigSetCurrent(saved_.get());
        ResetFontNameMapping();
    }
    FontconfigScope(const FontconfigScope &) = delete;
    FontconfigScope &operator=(const FontconfigScope &) = delete;

private:
    FcConfigPtr saved_;
};

inline constexpr const char *kLiberationSansFile = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
inline constexpr const char *kDejaVuSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

} // namespace lumora::test
