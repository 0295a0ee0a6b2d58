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
    // The executable cannot move under a running process, so the link is
    // read once; callers ask for this folder often.
    static const std::string directory = [] {
        std::error_code error;
        const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string("./") : WithTrailingSlash(executable.parent_path().string());
    }();
    return directory;
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
