#pragma once
// Where the files that ship beside the executable live, and where temporary
// files go.
#include <string>

namespace lumora {

// The environment variable that points "beside the executable" at another
// folder. Tests use it so that each test can have its own config.ini.
inline constexpr const char *kModuleDirectoryVariable = "LUMORA_MODULE_DIR";

// Directory of the running executable (/proc/self/exe), or of
// $LUMORA_MODULE_DIR when that is set; always ends in '/'.
std::string ExecutableDirectory();

// $TMPDIR when set and not empty, else "/tmp"; never ends in '/'.
std::string TemporaryDirectory();

// Appends '/' unless the path already ends in one (or is empty).
std::string WithTrailingSlash(std::string path);

} // namespace lumora
