#include "engine/LibraryData.h"

#include "surface/ModulePath.h"

#include <Error.h>
#include <GlobalParams.h>
#include <goo/GooString.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace lumora {

namespace {

bool IsReadableFile(const std::string &path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), R_OK) == 0;
}

std::string FilePart(const std::string &name) { return fs::path(name).filename().string(); }

// The folder the library's own data comes with (Debian's poppler-data).
constexpr const char *kLibraryDataFolder = "/usr/share/poppler";

void DiscardLibraryMessage(ErrorCategory, Goffset, const char *) {}

// One mapping that config.lst asks for: a data file or folder placed into
// the library's data layout under a name.
struct DataEntry {
    std::string folder; // nameToUnicode, cidToUnicode, unicodeMap, cMap
    std::string name;
    std::string target;
};

struct Configuration {
    std::vector<DataEntry> entries;
    std::vector<std::pair<std::string, std::string>> fontFiles;
};

std::optional<std::string> FindDataFolder(const std::string &moduleDirectory, const std::string &name)
{
    std::error_code error;
    for (const std::string &candidate : {name, moduleDirectory + "Resource/" + FilePart(name),
                                         moduleDirectory + "Resource/CMap/" + FilePart(name),
                                         TemporaryDirectory() + "/" + name})
        if (fs::is_directory(candidate, error))
            return fs::absolute(candidate, error).string();
    return std::nullopt;
}

Configuration ReadConfiguration(const std::string &moduleDirectory, std::istream &lines)
{
    Configuration configuration;
    const auto addFile = [&](const std::string &folder, const std::string &name, const std::string &file) {
        if (auto path = FindDataFile(moduleDirectory, file))
            configuration.entries.push_back({folder, name, fs::absolute(*path).string()});
    };
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string command, first, second;
        words >> command >> first >> second;
        if (command.empty() || command[0] == '#')
            continue;
        if (command == "nameToUnicode" && !first.empty())
            addFile("nameToUnicode", FilePart(first), first);
        else if (command == "cidToUnicode" && !second.empty())
            addFile("cidToUnicode", first, second);
        else if (command == "unicodeMap" && !second.empty())
            addFile("unicodeMap", first, second);
        else if (command == "cMapDir" && !second.empty()) {
            if (auto folder = FindDataFolder(moduleDirectory, second))
                configuration.entries.push_back({"cMap", first, *folder});
        } else if (command == "fontFile" && !second.empty()) {
            if (auto path = FindDataFile(moduleDirectory, second))
                configuration.fontFiles.emplace_back(first, *path);
        }
    }
    return configuration;
}

// The library reads its data from one folder with four subfolders. Build a
// folder of our own that links to the library's data and, on top, to what
// config.lst names.
std::string MakeDataFolder(const Configuration &configuration)
{
    const std::string folder = TemporaryDirectory() + "/lumora-data-" + std::to_string(getpid());
    std::error_code error;
    fs::remove_all(folder, error);
    std::map<std::string, std::map<std::string, std::string>> links;
    for (const char *sub : {"nameToUnicode", "cidToUnicode", "unicodeMap", "cMap"})
        for (const auto &entry : fs::directory_iterator(fs::path(kLibraryDataFolder) / sub, error))
            links[sub][entry.path().filename().string()] = entry.path().string();
    for (const DataEntry &entry : configuration.entries)
        links[entry.folder][entry.name] = entry.target;
    for (const auto &[sub, names] : links) {
        fs::create_directories(fs::path(folder) / sub, error);
        for (const auto &[name, target] : names)
            fs::create_symlink(target, fs::path(folder) / sub / name, error);
    }
    return folder;
}

} // namespace

std::optional<std::string> FindDataFile(const std::string &moduleDirectory, const std::string &name)
{
    if (name.empty())
        return std::nullopt;
    for (const std::string &candidate : {name, moduleDirectory + "Resource/" + FilePart(name),
                                         moduleDirectory + "Resource/CMap/" + FilePart(name),
                                         WithTrailingSlash(TemporaryDirectory()) + name})
        if (IsReadableFile(candidate))
            return candidate;
    return std::nullopt;
}

FilePtr OpenDataFile(const std::string &moduleDirectory, const std::string &name, const char *mode)
{
    const auto path = FindDataFile(moduleDirectory, name);
    return FilePtr(path ? std::fopen(path->c_str(), mode) : nullptr);
}

LibraryParameters::LibraryParameters(const std::string &moduleDirectory)
{
    setErrorCallback(&DiscardLibraryMessage);
    Configuration configuration;
    if (const auto path = FindDataFile(moduleDirectory, "config.lst")) {
        std::ifstream lines(*path);
        configuration = ReadConfiguration(moduleDirectory, lines);
    }
    if (!configuration.entries.empty())
        dataFolder_ = MakeDataFolder(configuration);
    params_ = std::make_unique<GlobalParams>(dataFolder_.empty() ? nullptr : dataFolder_.c_str());
    for (const auto &[fontName, fontPath] : configuration.fontFiles) {
        const GooString name(fontName), path(fontPath);
        params_->addFontFile(&name, &path);
    }
    params_->setErrQuiet(true);
}

LibraryParameters::~LibraryParameters()
{
    if (!dataFolder_.empty()) {
        std::error_code error;
        fs::remove_all(dataFolder_, error);
    }
}

std::unique_ptr<GlobalParams> LibraryParameters::TakeGlobalParams() { return std::move(params_); }

} // namespace lumora
