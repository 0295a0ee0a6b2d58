#pragma once
// A fixture for the site generator's tests: a fresh output folder, its own
// profile and its own folder "beside the executable" for config.ini.
#include "surface/ModulePath.h"
#include "support/PdfBuilder.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace lumora::sitetest {

using test::TempDir;
using test::ReadFileBytes;

class ScopedVariable {
public:
    ScopedVariable(const char *name, const std::string &value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            saved_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;
    ~ScopedVariable()
    {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char *name_;
    std::optional<std::string> saved_;
};

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
