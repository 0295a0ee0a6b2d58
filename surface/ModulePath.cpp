#include "surface/ModulePath.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace lumora {

std::string WithTrailingSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path.push_back('/');
    return path;
}

std::string ExecutableDirectory()
{
    if (const char *overridden = std::getenv(kModuleDirectoryVariable); overridden && *overridden)
        return WithTrailingSlash(overridden);
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "./";
    return WithTrailingSlash(executable.parent_path().string());
}

std::string TemporaryDirectory()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string directory = (tmp && *tmp) ? tmp : "/tmp";
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

} // namespace lumora
