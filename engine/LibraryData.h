#pragma once
// How the PDF library finds its data: the configuration file "config.lst"
// and the files it names, looked up beside the executable.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

class GlobalParams;

namespace lumora {

// The path of the first place a data file is found: the name as given, then
// ModuleDirectory + "Resource/" + its file part, then ModuleDirectory +
// "Resource/CMap/" + its file part, then the temporary directory + "/" + the
// name as given.
std::optional<std::string> FindDataFile(const std::string &moduleDirectory, const std::string &name);

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens the first data file found as above; null when none opens.
FilePtr OpenDataFile(const std::string &moduleDirectory, const std::string &name, const char *mode);

// The library's global parameters, made from "config.lst" when one is found
// (its nameToUnicode, cidToUnicode, unicodeMap, cMapDir and fontFile lines),
// else from the library's own data. The library's messages are silenced.
// The parameters may need a data folder of their own, which lives as long
// as this object: keep it until the parameters taken from it are gone.
class LibraryParameters {
public:
    explicit LibraryParameters(const std::string &moduleDirectory);
    ~LibraryParameters();
    LibraryParameters(const LibraryParameters &) = delete;
    LibraryParameters &operator=(const LibraryParameters &) = delete;

    std::unique_ptr<GlobalParams> TakeGlobalParams();
    const std::string &DataFolder() const { return dataFolder_; }

private:
    std::unique_ptr<GlobalParams> params_;
    std::string dataFolder_; // empty when the library's own data serves
};

} // namespace lumora
