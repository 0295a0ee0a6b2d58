#include "app/SettingsStore.h"

#include "surface/ModulePath.h"
#include "surface/PrivateProfile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace lumora::settings {
namespace {

// The profile holds passwords in clear text: only its owner may read it.
constexpr mode_t kProfileFileMode = 0600;
constexpr mode_t kProfileDirectoryMode = 0700;

std::string HomeDirectory()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return ".";
}

// XDG base directories: a relative XDG_CONFIG_HOME is to be ignored.
std::string ConfigHome()
{
    if (const char *configured = std::getenv("XDG_CONFIG_HOME"); configured && configured[0] == '/')
        return configured;
    return HomeDirectory() + "/.config";
}

// Creates each missing directory of `path`; the write that follows reports
// whatever still stands in the way.
void CreateDirectories(const std::string &path, mode_t mode)
{
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
            return;
        if (slash == std::string::npos)
            return;
    }
}

std::string ParentOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool WriteProfileValue(std::string_view section, std::string_view name, std::string_view storedText)
{
    const std::string path = ProfilePath();
    CreateDirectories(ParentOf(path), kProfileDirectoryMode);
    return WriteIniText(section, name, storedText, path, kProfileFileMode);
}

} // namespace

std::string ProfilePath()
{
    return ConfigHome() + "/" + std::string(kRegistryKey) + "/" + std::string(kApplicationName) + ".ini";
}

std::string ConfigIniPath() { return ExecutableDirectory() + "config.ini"; }

int ReadProfileNumber(std::string_view section, std::string_view name, int defaultValue)
{
    return ReadIniInt(section, name, defaultValue, ProfilePath());
}

std::string ReadProfileText(std::string_view section, std::string_view name, std::string_view defaultText)
{
    return ReadIniText(section, name, defaultText, ProfilePath());
}

bool WriteProfileNumber(std::string_view section, std::string_view name, int number)
{
    return WriteProfileValue(section, name, std::to_string(number));
}

bool WriteProfileText(std::string_view section, std::string_view name, std::string_view text)
{
    // Quoted where the INI rules would otherwise trim or unquote it, so that
    // a password like " secret " reads back exactly.
    return WriteProfileValue(section, name, QuoteIniValue(text));
}

int ReadConfigNumber(std::string_view section, std::string_view key, int defaultValue, const std::string &path)
{
    return ReadIniInt(section, key, defaultValue, path);
}

bool WriteConfigText(std::string_view section, std::string_view key, std::string_view text, const std::string &path)
{
    return WriteIniText(section, key, text, path);
}

bool WriteConfigNumber(std::string_view section, std::string_view key, int number, const std::string &path)
{
    return WriteConfigText(section, key, std::to_string(number), path);
}

int Read(const NumberSetting &setting)
{
    return ReadProfileNumber(setting.section, setting.name, setting.defaultValue);
}

bool Write(const NumberSetting &setting, int number) { return WriteProfileNumber(setting.section, setting.name, number); }

std::string Read(const TextSetting &setting) { return Read(setting, setting.defaultText); }

std::string Read(const TextSetting &setting, std::string_view defaultText)
{
    return ReadProfileText(setting.section, setting.name, defaultText);
}

bool Write(const TextSetting &setting, std::string_view text)
{
    return WriteProfileText(setting.section, setting.name, text);
}

int Read(const ConfigNumberSetting &setting)
{
    return ReadConfigNumber(setting.section, setting.key, setting.defaultValue);
}

bool Write(const ConfigNumberSetting &setting, int number)
{
    return WriteConfigNumber(setting.section, setting.key, number);
}

int ReadAndWriteBack(const ConfigNumberSetting &setting)
{
    const std::string path = ConfigIniPath();
    const int number = ReadConfigNumber(setting.section, setting.key, setting.defaultValue, path);
    WriteConfigNumber(setting.section, setting.key, number, path);
    return number;
}

} // namespace lumora::settings
