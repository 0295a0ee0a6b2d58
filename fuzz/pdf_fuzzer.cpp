// Feeds bytes as a PDF through the engine interface the way the converter
// uses it (fuzz/EngineWalk.h).
#include "fuzz/EngineWalk.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string WorkFolder()
{
    static const std::string folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumora-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern.data()) ? pattern : "/tmp");
    }();
    return folder;
}

} // namespace

// The engine looks beside the executable for its files; pointed at the empty
// work folder it finds no config.ini and no jpeg encoder, so an input costs
// no encoder process and only the engine's own code is fuzzed.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("LUMORA_MODULE_DIR", WorkFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string pdf = WorkFolder() + "/input.pdf";
    std::FILE *file = std::fopen(pdf.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    lumora::fuzz::WalkDocument(pdf, WorkFolder());
    return 0;
}
