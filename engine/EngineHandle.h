#pragma once
// The document handle and the engine's process-wide state.
#include "device/WinOutputDev.h"
#include "lumora_engine.h"

#include <PDFDoc.h>

#include <memory>
#include <optional>
#include <string>

// One open document. The first field marks a live handle.
struct EngineHandleRecord {
    float magic = 0;
    char versionText[16] = {};
    std::unique_ptr<PDFDoc> document;
    std::string fileName;
    std::optional<std::string> ownerPassword;
    std::optional<std::string> userPassword;
    int32_t zoom = 0;
    std::unique_ptr<lumora::WinOutputDev> device;
    // The page rendered last; only its links can be asked for.
    int32_t lastRenderedPage = -1;
};

namespace lumora {

inline constexpr float kHandleMagic = 1.3f;
static_assert(offsetof(EngineHandleRecord, magic) == 0);

// True for a non-null handle whose first four bytes are the float 1.3.
bool IsValidHandle(const EngineHandleRecord *handle);

// The directory files beside the executable are looked up in; set by every
// PDF_Open (ModulePath.h tells how it is found).
const std::string &ModuleDirectory();
void UpdateModuleDirectory();

// Creates the library's global parameters afresh, replacing earlier ones.
void InstallLibraryParameters();
void DestroyLibraryParameters();

// Runs an engine function so that no exception reaches the C caller: an
// exception gives the failure value.
template <class Result, class Body> Result Guarded(Result failure, Body &&body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace lumora
