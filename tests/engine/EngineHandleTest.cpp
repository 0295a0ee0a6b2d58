// Opening documents: handles, passwords, the page count, where the library's
// data files are found.
#include "engine/EngineHandle.h"
#include "engine/LibraryData.h"
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"
#include "surface/ModulePath.h"
#include "surface/SurfaceState.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace lumora {
namespace {

namespace fs = std::filesystem;
using test::PdfBuilder;
using test::TempDir;
using test::ScopedEnvironment;

class EngineHandleTest : public ::testing::Test {
protected:
    std::string SimplePdf(int pages = 2)
    {
        PdfBuilder pdf;
        for (int i = 0; i < pages; ++i)
            pdf.AddPage(200, 100);
        const std::string path = dir.File("simple.pdf");
        pdf.Save(path);
        return path;
    }
    TempDir dir;
};

TEST_F(EngineHandleTest, OpensADocumentAndCountsItsPages)
{
    EngineHandle handle = PDF_Open(SimplePdf(3).c_str(), nullptr, nullptr, 72);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(PDF_GetPageCount(handle), 3);
    EXPECT_EQ(handle->magic, 1.3f);
    EXPECT_STREQ(handle->versionText, "20020108");
    EXPECT_EQ(handle->zoom, 72);
    EXPECT_EQ(handle->lastRenderedPage, -1);
    EXPECT_FALSE(handle->ownerPassword);
    PDF_Close(handle);
}

TEST_F(EngineHandleTest, RefusesWhatIsNoReadablePdf)
{
    const std::string garbage = dir.File("garbage.pdf");
    test::WriteFileBytes(garbage, "this is not a PDF at all\n");
    const std::string empty = dir.File("empty.pdf");
    test::WriteFileBytes(empty, "");
    for (const std::string &path : {dir.File("missing.pdf"), garbage, empty, dir.Path().string()})
        EXPECT_EQ(PDF_Open(path.c_str(), nullptr, nullptr, 72), nullptr) << path;
}

TEST_F(EngineHandleTest, ANullOrEmptyNameFailsButStillFindsTheModuleDirectory)
{
    ScopedEnvironment module(kModuleDirectoryVariable, dir.Path().string());
    EXPECT_EQ(PDF_Open(nullptr, nullptr, nullptr, 72), nullptr);
    EXPECT_EQ(ModuleDirectory(), dir.Path().string() + "/");
    EXPECT_EQ(PDF_Open("", nullptr, nullptr, 72), nullptr);
}

TEST_F(EngineHandleTest, EmptyPasswordsAreTheSameAsNone)
{
    EngineHandle handle = PDF_Open(SimplePdf().c_str(), "", "", 72);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(handle->ownerPassword);
    EXPECT_FALSE(handle->userPassword);
    PDF_Close(handle);
}

TEST_F(EngineHandleTest, EncryptedDocumentsNeedTheirPassword)
{
    const std::string encrypted = dir.File("encrypted.pdf");
    ASSERT_EQ(test::EncryptPdf(SimplePdf(), encrypted, "user-secret", "owner-secret"), "");
    struct Case {
        const char *owner;
        const char *user;
        bool opens;
    };
    for (const Case &attempt : {Case{nullptr, nullptr, false}, Case{"", "", false}, Case{nullptr, "wrong", false},
                                Case{"wrong", nullptr, false}, Case{nullptr, "user-secret", true},
                                Case{"owner-secret", nullptr, true}}) {
        EngineHandle handle = PDF_Open(encrypted.c_str(), attempt.owner, attempt.user, 72);
        EXPECT_EQ(handle != nullptr, attempt.opens)
            << (attempt.owner ? attempt.owner : "-") << " / " << (attempt.user ? attempt.user : "-");
        if (handle) {
            EXPECT_EQ(PDF_GetPageCount(handle), 2);
            PDF_Close(handle);
        }
    }
}

TEST_F(EngineHandleTest, InvalidHandlesAreRefused)
{
    EXPECT_EQ(PDF_GetPageCount(nullptr), -1);
    float notAHandle[8] = {1.25f};
    auto fake = reinterpret_cast<EngineHandle>(notAHandle);
    EXPECT_EQ(PDF_GetPageCount(fake), -1);
    EXPECT_EQ(PDF_GetPageObject(fake, 1), nullptr);
    EXPECT_EQ(PDF_GetPageBmp(fake, 1), nullptr);
    PDF_Close(fake);    // does nothing
    PDF_Close(nullptr); // does nothing
}

TEST_F(EngineHandleTest, OpeningForgetsTheCapturedPage)
{
    PageObject page{};
    SetCurrentPageObject(&page);
    EngineHandle handle = PDF_Open(SimplePdf().c_str(), nullptr, nullptr, 72);
    EXPECT_EQ(CurrentPageObject(), nullptr);
    PDF_Close(handle);
}

TEST_F(EngineHandleTest, ClosingReleasesThePageSurfacesBitmap)
{
    EngineHandle handle = PDF_Open(SimplePdf().c_str(), nullptr, nullptr, 72);
    ASSERT_NE(handle, nullptr);
    PDF_DestroyPageBmp(PDF_GetPageBmp(handle, 1));
    EXPECT_TRUE(PageSurface().IsValid());
    PDF_Close(handle);
    EXPECT_FALSE(PageSurface().IsValid());
}

// Where a data file of the library is looked for, in order.
class DataFileLookup : public ::testing::Test {
protected:
    void Place(const fs::path &folder, const std::string &name, const std::string &content)
    {
        fs::create_directories(folder);
        test::WriteFileBytes((folder / name).string(), content);
    }
    std::string ReadThroughLookup(const std::string &name)
    {
        FilePtr file = OpenDataFile(moduleDir.Path().string() + "/", name, "rb");
        if (!file)
            return "(none)";
        char text[64] = {};
        std::fread(text, 1, sizeof text - 1, file.get());
        return text;
    }
    TempDir moduleDir, tempDir;
    ScopedEnvironment tmp{"TMPDIR", tempDir.Path().string()};
};

TEST_F(DataFileLookup, FindsFilesInTheSpecifiedOrder)
{
    Place(tempDir.Path(), "map.txt", "temporary");
    EXPECT_EQ(ReadThroughLookup("map.txt"), "temporary");
    Place(moduleDir.Path() / "Resource" / "CMap", "map.txt", "cmap");
    EXPECT_EQ(ReadThroughLookup("map.txt"), "cmap");
    Place(moduleDir.Path() / "Resource", "map.txt", "resource");
    EXPECT_EQ(ReadThroughLookup("map.txt"), "resource");
    // A name with a folder part is looked up by its file part beside the executable.
    EXPECT_EQ(ReadThroughLookup("some/where/map.txt"), "resource");
    EXPECT_EQ(ReadThroughLookup("absent.txt"), "(none)");
    EXPECT_EQ(ReadThroughLookup(""), "(none)");
}

TEST_F(DataFileLookup, ConfigurationNamesDataFilesForTheLibrary)
{
    Place(moduleDir.Path() / "Resource", "config.lst",
          "# data beside the executable\n"
          "unicodeMap  Lumora-Test  lumora-test.map\n"
          "cMapDir     Lumora-Collection  cmaps\n"
          "nameToUnicode  extra-names.txt\n"
          "cidToUnicode  Missing-Collection  missing.cidToUnicode\n");
    Place(moduleDir.Path() / "Resource", "lumora-test.map", "");
    Place(moduleDir.Path() / "Resource" / "CMap", "extra-names.txt", "");
    fs::create_directories(moduleDir.Path() / "Resource" / "cmaps");

    std::string folder;
    {
        LibraryParameters parameters(moduleDir.Path().string() + "/");
        folder = parameters.DataFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(fs::read_symlink(fs::path(folder) / "unicodeMap" / "Lumora-Test"),
                  moduleDir.Path() / "Resource" / "lumora-test.map");
        EXPECT_EQ(fs::read_symlink(fs::path(folder) / "cMap" / "Lumora-Collection"),
                  moduleDir.Path() / "Resource" / "cmaps");
        EXPECT_TRUE(fs::is_symlink(fs::path(folder) / "nameToUnicode" / "extra-names.txt"));
        EXPECT_FALSE(fs::exists(fs::path(folder) / "cidToUnicode" / "Missing-Collection"));
        // The library's own data stays available underneath.
        EXPECT_TRUE(fs::exists(fs::path(folder) / "cMap" / "Adobe-Japan1"));
    }
    EXPECT_FALSE(fs::exists(folder)); // removed with the parameters
}

TEST_F(DataFileLookup, WithoutConfigurationTheLibraryKeepsItsOwnData)
{
    LibraryParameters parameters(moduleDir.Path().string() + "/");
    EXPECT_TRUE(parameters.DataFolder().empty());
}

} // namespace
} // namespace lumora
