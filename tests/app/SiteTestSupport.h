#pragma once
// A fixture for the site generator's tests: a fresh output folder, its own
// profile and its own folder "beside the executable" for config.ini.
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"
#include "surface/ModulePath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace lumora::sitetest {

using test::TempDir;
using test::ReadFileBytes;

using ScopedVariable = lumora::test::ScopedEnvironment;

class SiteTest : public ::testing::Test {
protected:
    SiteTest()
        : configHome_("XDG_CONFIG_HOME", dir_.File("xdg")), moduleDirectory_(kModuleDirectoryVariable, dir_.File("bin"))
    {
        std::filesystem::create_directories(dir_.File("bin"));
        std::filesystem::create_directories(Folder());
    }

    // The output folder D of the site.
    std::string Folder() const { return dir_.File("book"); }
    std::string InFolder(const std::string &name) const { return Folder() + "/" + name; }
    std::string Read(const std::string &name) const { return ReadFileBytes(InFolder(name)); }

    TempDir dir_;

private:
    ScopedVariable configHome_;
    ScopedVariable moduleDirectory_;
};

} // namespace lumora::sitetest
