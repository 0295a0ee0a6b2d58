// The application run unattended, as a script would run it.
#include "AppTestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace lumora::test {
namespace {

class LumoraProgramTest : public ::testing::Test {
protected:
    ProgramResult Run(std::vector<std::string> options)
    {
        options.insert(options.begin(), LUMORA_EXECUTABLE);
        return RunProgram(options);
    }
    ProgramResult Convert(const std::string &pdf, const std::string &output, std::vector<std::string> extra = {})
    {
        std::vector<std::string> options{"-q", "-m", "-r"};
        options.insert(options.end(), extra.begin(), extra.end());
        options.insert(options.end(), {"-i", pdf, "-o", output});
        return Run(options);
    }

    AppEnvironment environment_;
    // No display: the program must not need one.
    ScopedVariable display_{"DISPLAY", ""};
    ScopedVariable wayland_{"WAYLAND_DISPLAY", ""};
};

TEST_F(LumoraProgramTest, ConvertsAndExits)
{
    const std::string pdf = environment_.WritePdf("in.pdf", 2);
    const ProgramResult run = Convert(pdf, environment_.File("out/in.htm"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Exists(environment_.File("out/in/pg_0001.htm")));
    EXPECT_TRUE(Exists(environment_.File("out/in/pg_0002.jpg")));
    EXPECT_TRUE(Exists(environment_.File("out/in/index.htm")));
}

TEST_F(LumoraProgramTest, FailedFilesEndWithExitCodeOne)
{
    const std::string garbage = environment_.File("garbage.pdf");
    Touch(garbage, "%PDF-1.4 nothing else");
    for (const std::string &pdf : {environment_.File("missing.pdf"), garbage}) {
        const ProgramResult run = Convert(pdf, environment_.File("out/x.htm"));
        EXPECT_EQ(run.exitCode, 1) << pdf;
        EXPECT_NE(run.output.find("Can't extract information from the '" + pdf + "' file"), std::string::npos)
            << run.output;
    }
}

TEST_F(LumoraProgramTest, PagesWithoutTheirPictureAreReportedAndKeepTheirText)
{
    std::filesystem::remove(environment_.ModuleDir() + "/jpeg");
    const std::string pdf = environment_.WritePdf("in.pdf", 2);
    const ProgramResult run = Convert(pdf, environment_.File("out/in.htm"));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("lumora: 2 of 2 pages of the '" + pdf +
                              "' file were not written completely, the first is page 1."),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(Exists(environment_.File("out/in/pg_0002.htm")));
    EXPECT_FALSE(Exists(environment_.File("out/in/pg_0002.jpg")));
}

TEST_F(LumoraProgramTest, PasswordsOnTheCommandLine)
{
    const std::string plain = environment_.WritePdf("plain.pdf", 1);
    const std::string locked = environment_.File("locked.pdf");
    ASSERT_EQ(EncryptPdf(plain, locked, "user", "owner"), "");
    EXPECT_EQ(Convert(locked, environment_.File("out/a.htm"), {"-u", "wrong"}).exitCode, 1);
    EXPECT_FALSE(Exists(environment_.File("out/a/pg_0001.htm")));
    const ProgramResult run = Convert(locked, environment_.File("out/b.htm"), {"-u", "user"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Exists(environment_.File("out/b/pg_0001.htm")));
}

TEST_F(LumoraProgramTest, UnwritableFolderFails)
{
    const std::string pdf = environment_.WritePdf("in.pdf", 1);
    // Root writes into any folder of a disk, but not into /proc.
    const bool root = ::geteuid() == 0;
    const std::string locked = root ? std::string("/proc/self") : environment_.File("locked");
    if (!root) {
        std::filesystem::create_directories(locked);
        ::chmod(locked.c_str(), 0500);
    }
    const ProgramResult run = Convert(pdf, locked + "/in.htm");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Can't create the folder '" + locked + "/in'"), std::string::npos) << run.output;
    if (!root)
        ::chmod(locked.c_str(), 0700);
}

TEST_F(LumoraProgramTest, OutputBlockedByAFileFails)
{
    // A file where the output folder belongs: nothing can be written there,
    // whoever runs the program.
    const std::string pdf = environment_.WritePdf("in.pdf", 1);
    Touch(environment_.File("blocked"), "a file, not a folder");
    const ProgramResult run = Convert(pdf, environment_.File("blocked/in.htm"));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Can't create the folder '" + environment_.File("blocked/in") + "'"), std::string::npos)
        << run.output;
}

TEST_F(LumoraProgramTest, ExistingOutputWithoutOverwriteIsSkipped)
{
    const std::string pdf = environment_.WritePdf("in.pdf", 1);
    Touch(environment_.File("out/in/index.htm"), "keep me");
    const ProgramResult run = Run({"-q", "-m", "-i", pdf, "-o", environment_.File("out/in.htm")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("does already exist"), std::string::npos) << run.output;
    EXPECT_FALSE(Exists(environment_.File("out/in/pg_0001.htm")));
}

TEST_F(LumoraProgramTest, UsageGoesToStandardErrorWithExitCodeOne)
{
    for (const std::vector<std::string> &options :
         {std::vector<std::string>{"-h"}, {"-q", "-?"}, {"-z", "abc"}, {"-u"}}) {
        const ProgramResult run = Run(options);
        EXPECT_EQ(run.exitCode, 1) << options[0];
        EXPECT_NE(run.output.find("Usage: Lumora for Vellum [Option]"), std::string::npos);
    }
}

TEST_F(LumoraProgramTest, ManyFilesByPattern)
{
    std::filesystem::create_directories(environment_.File("docs"));
    environment_.WritePdf("docs/a.pdf", 1);
    environment_.WritePdf("docs/B.PDF", 1);
    const ProgramResult run = Convert(environment_.File("docs/*.pdf"), environment_.File("web/"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Exists(environment_.File("web/a/pg_0001.htm")));
    EXPECT_TRUE(Exists(environment_.File("web/B/pg_0001.htm")));
}

} // namespace
} // namespace lumora::test
