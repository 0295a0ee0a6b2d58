// The engine handle and document access: open, close, page count.
#include "engine/EngineHandle.h"

#include "engine/LibraryData.h"
#include "surface/ModulePath.h"
#include "surface/SurfaceState.h"

#include <GlobalParams.h>
#include <goo/GooString.h>

#include <cstring>

namespace lumora {

namespace {

// The engine's process-wide state. One document is open at a time.
struct EngineState {
    std::string moduleDirectory;
    std::unique_ptr<LibraryParameters> libraryParameters;
};

EngineState &Engine()
{
    static EngineState state;
    return state;
}

std::optional<std::string> PasswordOrNone(const char *password)
{
    if (!password || !*password)
        return std::nullopt;
    return std::string(password);
}

std::optional<GooString> LibraryPassword(const std::optional<std::string> &password)
{
    if (!password)
        return std::nullopt;
    return GooString(*password);
}

} // namespace

bool IsValidHandle(const EngineHandleRecord *handle)
{
    if (!handle)
        return false;
    float magic;
    std::memcpy(&magic, handle, sizeof magic);
    return magic == kHandleMagic;
}

const std::string &ModuleDirectory() { return Engine().moduleDirectory; }
void UpdateModuleDirectory() { Engine().moduleDirectory = ExecutableDirectory(); }

void InstallLibraryParameters()
{
    DestroyLibraryParameters();
    auto parameters = std::make_unique<LibraryParameters>(ModuleDirectory());
    globalParams = parameters->TakeGlobalParams();
    Engine().libraryParameters = std::move(parameters);
}

void DestroyLibraryParameters()
{
    globalParams.reset(); // before the data folder it may read from
    Engine().libraryParameters.reset();
}

} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT EngineHandle PDF_Open(const char *fileName, const char *ownerPassword,
                                            const char *userPassword, int32_t zoom)
{
    return Guarded<EngineHandle>(nullptr, [&]() -> EngineHandle {
        UpdateModuleDirectory();
        if (!fileName || !*fileName)
            return nullptr;
        auto handle = std::make_unique<EngineHandleRecord>();
        handle->magic = kHandleMagic;
        std::strcpy(handle->versionText, "20020108");
        handle->fileName = fileName;
        handle->zoom = zoom;
        SetCurrentPageObject(nullptr);
        InstallLibraryParameters();
        handle->ownerPassword = PasswordOrNone(ownerPassword);
        handle->userPassword = PasswordOrNone(userPassword);
        handle->document = std::make_unique<PDFDoc>(std::make_unique<GooString>(fileName),
                                                    LibraryPassword(handle->ownerPassword),
                                                    LibraryPassword(handle->userPassword));
        if (!handle->document->isOk())
            return nullptr;
        // Images written by the device go to the temporary directory.
        handle->device = std::make_unique<WinOutputDev>(TemporaryDirectory() + "/tmp");
        handle->device->setDocument(handle->document->getXRef());
        return handle.release();
    });
}

extern "C" PDF_EXPORT void PDF_Close(EngineHandle handle)
{
    Guarded(0, [&] {
        if (!IsValidHandle(handle))
            return 0;
        std::unique_ptr<EngineHandleRecord> closing(handle);
        closing->magic = 0;
        closing->device.reset();
        closing->document.reset();
        closing.reset();
        DestroyLibraryParameters();
        PageSurface().Release();
        return 0;
    });
}

extern "C" PDF_EXPORT int32_t PDF_GetPageCount(EngineHandle handle)
{
    return Guarded<int32_t>(-1, [&] { return IsValidHandle(handle) ? handle->document->getNumPages() : -1; });
}
