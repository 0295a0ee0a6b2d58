#pragma once
// Small file helpers for the tests.
#include <fstream>
#include <iterator>
#include <string>

namespace lumora::test {

inline std::string ReadFileBytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace lumora::test

#include "support/PdfBuilder.h" // TempDir
