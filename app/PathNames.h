#pragma once
// The parts of a '/'-separated path that the application takes apart.
#include <string>

namespace lumora {

// The folder part with its trailing '/'; empty when the path has none.
inline std::string FolderWithSlash(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

inline std::string FileNameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name without its last extension.
inline std::string BaseNameOf(const std::string &path)
{
    const std::string name = FileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace lumora
