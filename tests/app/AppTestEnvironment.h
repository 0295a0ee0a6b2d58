#pragma once
// A private world for one application test: its own profile folder, its own
// folder "beside the executable" (config.ini, site templates, the JPEG
// encoder), its own trash, and Qt without a display.
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "surface/ModulePath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

using ScopedVariable = lumora::test::ScopedEnvironment;

class AppEnvironment {
public:
    AppEnvironment()
        : moduleDir_(Prepared(dir_.File("bin"))),
          configHome_("XDG_CONFIG_HOME", dir_.File("config")),
          dataHome_("XDG_DATA_HOME", dir_.File("data")),
          module_(kModuleDirectoryVariable, moduleDir_),
          platform_("QT_QPA_PLATFORM", "offscreen")
    {
        // The page writer runs the encoder that lies beside the executable.
        std::error_code ignored;
        std::filesystem::create_directories(dir_.File("data"), ignored);
        std::filesystem::create_symlink("/usr/bin/cjpeg", moduleDir_ + "/jpeg", ignored);
    }

    std::string File(const std::string &name) const { return dir_.File(name); }
    const std::string &ModuleDir() const { return moduleDir_; }
    std::string TrashFiles() const { return dir_.File("data") + "/Trash/files"; }

    // A PDF of `pages` letter-sized pages, each with a line of text.
    std::string WritePdf(const std::string &name, int pages) const
    {
        PdfBuilder pdf;
        const std::string font = pdf.AddFont("Helvetica");
        for (int page = 1; page <= pages; ++page)
            pdf.AddPage(200, 100, "BT /" + font + " 12 Tf 20 50 Td (Page " + std::to_string(page) + ") Tj ET");
        const std::string path = File(name);
        pdf.Save(path);
        return path;
    }

private:
    static std::string Prepared(const std::string &path)
    {
        std::filesystem::create_directories(path);
        return path;
    }

    TempDir dir_;
    std::string moduleDir_;
    ScopedVariable configHome_;
    ScopedVariable dataHome_;
    ScopedVariable module_;
    ScopedVariable platform_;
};

inline bool Exists(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

inline void Touch(const std::string &path, const std::string &bytes = "x")
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace lumora::test
