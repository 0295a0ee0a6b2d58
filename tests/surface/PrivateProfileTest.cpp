#include "surface/ModulePath.h"
#include "surface/PrivateProfile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace lumora {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = TemporaryDirectory() + "/ini-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previousUmask_ = ::umask(022);
    }
    void TearDown() override
    {
        ::umask(previousUmask_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    std::string PathOf(const std::string &name) const { return directory_ + "/" + name; }

    std::string Create(const std::string &name, const std::string &bytes) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
        return PathOf(name);
    }

    static std::string Contents(const std::string &path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    static mode_t ModeOf(const std::string &path)
    {
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0);
        return status.st_mode & 07777;
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(directory_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string directory_;
    mode_t previousUmask_ = 022;
};

// ---------------------------------------------------------------------------
// Reading

const char kSample[] = "; fonts used by the converter\n"
                       "[Fonts]\n"
                       "  Name = Times New Roman  \n"
                       "Empty=\n"
                       "Quoted=\"  padded  \"\n"
                       "Single='x'\n"
                       "Lone=\"\n"
                       "not a key line\n"
                       "Number= -42 apples\n"
                       "Plus=+7\n"
                       "NoNumber=abc\n"
                       "SignOnly=-\n"
                       "Big=4294967295\n"
                       "\n"
                       "[Other]\n"
                       "Name=Other value\n"
                       "[fonts]\n"
                       "Late=in a repeated section\n"
                       "Name=shadowed by the first section\n";

struct TextCase {
    const char *section;
    const char *key;
    const char *defaultText;
    std::size_t bufferSize;
    const char *expected;
};

class IniTextReadTest : public IniFileTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(IniTextReadTest, FollowsPrivateProfileRules)
{
    const TextCase &c = GetParam();
    const std::string path = Create("sample.ini", kSample);
    EXPECT_EQ(ReadIniText(c.section, c.key, c.defaultText, path, c.bufferSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniTextReadTest,
    ::testing::Values(TextCase{"FONTS", "name", "", kUnboundedIniBuffer, "Times New Roman"},
                      TextCase{"Other", "NAME", "", kUnboundedIniBuffer, "Other value"},
                      TextCase{"Fonts", "Empty", "dflt", kUnboundedIniBuffer, ""},
                      TextCase{"Fonts", "Missing", "dflt", kUnboundedIniBuffer, "dflt"},
                      TextCase{"Nowhere", "Name", "dflt", kUnboundedIniBuffer, "dflt"},
                      TextCase{"Fonts", "not a key line", "dflt", kUnboundedIniBuffer, "dflt"},
                      TextCase{"Nowhere", "Name", "Arial  ", kUnboundedIniBuffer, "Arial"},
                      TextCase{"Fonts", "Name", "", 5, "Time"},
                      TextCase{"Fonts", "Name", "", 1, ""},
                      TextCase{"Fonts", "Name", "", 0, ""},
                      TextCase{"Nowhere", "Name", "Default", 4, "Def"},
                      TextCase{"Fonts", "Quoted", "", kUnboundedIniBuffer, "  padded  "},
                      TextCase{"Fonts", "Single", "", kUnboundedIniBuffer, "x"},
                      TextCase{"Fonts", "Lone", "", kUnboundedIniBuffer, "\""},
                      TextCase{"Fonts", "Late", "", kUnboundedIniBuffer, "in a repeated section"}));

struct IntCase {
    const char *key;
    int expected;
};

class IniIntReadTest : public IniFileTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(IniIntReadTest, ReadsLeadingDecimalNumberOrDefault)
{
    const std::string path = Create("sample.ini", kSample);
    EXPECT_EQ(ReadIniInt("fonts", GetParam().key, 5, path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniIntReadTest,
                         ::testing::Values(IntCase{"Number", -42}, IntCase{"Plus", 7}, IntCase{"Big", -1},
                                           IntCase{"NoNumber", 5}, IntCase{"SignOnly", 5}, IntCase{"Empty", 5},
                                           IntCase{"Name", 5}, IntCase{"Missing", 5}));

TEST_F(IniFileTest, MissingOrUnreachableFileGivesDefaults)
{
    const std::string blocker = Create("plain-file", "x");
    for (const std::string &path : {PathOf("absent.ini"), blocker + "/config.ini", directory_}) {
        EXPECT_EQ(ReadIniText("S", "k", "dflt", path), "dflt") << path;
        EXPECT_EQ(ReadIniInt("S", "k", 9, path), 9) << path;
    }
}

TEST_F(IniFileTest, CopyIntoBufferCutsAndTerminates)
{
    const std::string path = Create("sample.ini", kSample);
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(CopyIniText("Fonts", "Name", nullptr, buffer, 6, path), 5u);
    EXPECT_STREQ(buffer, "Times");
    EXPECT_EQ(buffer[6], '#'); // nothing written beyond the buffer's size

    EXPECT_EQ(CopyIniText("Fonts", "Missing", nullptr, buffer, sizeof buffer, path), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST_F(IniFileTest, ToleratesCrLfAndByteOrderMark)
{
    const std::string path = Create("dos.ini", "\xEF\xBB\xBF[S]\r\nk = v \r\nn=12\r\n");
    EXPECT_EQ(ReadIniText("s", "K", "", path), "v");
    EXPECT_EQ(ReadIniInt("s", "n", 0, path), 12);
}

TEST_F(IniFileTest, EveryReadSeesTheFileAsItIsNow)
{
    const std::string path = Create("live.ini", "[S]\nk=1\n");
    EXPECT_EQ(ReadIniInt("S", "k", 0, path), 1);
    Create("live.ini", "[S]\nk=2\n");
    EXPECT_EQ(ReadIniInt("S", "k", 0, path), 2);
}

// ---------------------------------------------------------------------------
// Writing

const char kEditable[] = "; settings\n"
                         "[Fonts]\n"
                         "  Name = Times\n"
                         "Size=12\n"
                         "\n"
                         "[Other]\n"
                         "; keep me\n"
                         "Name=x\n";

TEST_F(IniFileTest, WriteRewritesOnlyTheKeysLine)
{
    const std::string path = Create("edit.ini", kEditable);
    ASSERT_TRUE(WriteIniText("FONTS", "name", "Arial", path));
    EXPECT_EQ(Contents(path), "; settings\n"
                              "[Fonts]\n"
                              "  Name = Arial\n"
                              "Size=12\n"
                              "\n"
                              "[Other]\n"
                              "; keep me\n"
                              "Name=x\n");
}

TEST_F(IniFileTest, WriteAppendsMissingKeyToItsSection)
{
    const std::string path = Create("edit.ini", kEditable);
    ASSERT_TRUE(WriteIniText("Fonts", "Weight", "bold", path));
    EXPECT_EQ(Contents(path), "; settings\n"
                              "[Fonts]\n"
                              "  Name = Times\n"
                              "Size=12\n"
                              "Weight=bold\n"
                              "\n"
                              "[Other]\n"
                              "; keep me\n"
                              "Name=x\n");
}

TEST_F(IniFileTest, WriteAppendsMissingSectionAtTheEnd)
{
    const std::string path = Create("edit.ini", kEditable);
    ASSERT_TRUE(WriteIniText("QUILLON", "XOffset", "0", path));
    EXPECT_EQ(Contents(path), std::string(kEditable) + "\n[QUILLON]\nXOffset=0\n");
    EXPECT_EQ(ReadIniInt("quillon", "xoffset", 7, path), 0);
}

TEST_F(IniFileTest, WriteCompletesALastLineWithoutNewline)
{
    const std::string path = Create("edit.ini", "[S]\nk=v");
    ASSERT_TRUE(WriteIniText("S", "k2", "w", path));
    EXPECT_EQ(Contents(path), "[S]\nk=v\nk2=w\n");
}

TEST_F(IniFileTest, WriteKeepsCrLfFileConsistent)
{
    const std::string path = Create("dos.ini", "[S]\r\nk=v\r\n");
    ASSERT_TRUE(WriteIniText("S", "k", "w", path));
    ASSERT_TRUE(WriteIniText("S", "n", "1", path));
    EXPECT_EQ(Contents(path), "[S]\r\nk=w\r\nn=1\r\n");
}

TEST_F(IniFileTest, NewFileGetsRequestedModeAndExistingKeepsItsOwn)
{
    const std::string privateFile = PathOf("private.ini");
    ASSERT_TRUE(WriteIniText("S", "k", "v", privateFile, 0600));
    EXPECT_EQ(Contents(privateFile), "[S]\nk=v\n");
    EXPECT_EQ(ModeOf(privateFile), 0600u);

    const std::string shared = Create("shared.ini", "[S]\nk=v\n");
    ASSERT_EQ(::chmod(shared.c_str(), 0604), 0);
    ASSERT_TRUE(WriteIniText("S", "k", "w", shared, 0600));
    EXPECT_EQ(ModeOf(shared), 0604u);
}

TEST_F(IniFileTest, DeleteKeyRemovesEveryLineOfIt)
{
    const std::string path = Create("edit.ini", "[Fonts]\nName=a\nSize=1\n[Other]\nName=b\n[FONTS]\nname=c\n");
    ASSERT_TRUE(DeleteIniKey("fonts", "NAME", path));
    EXPECT_EQ(Contents(path), "[Fonts]\nSize=1\n[Other]\nName=b\n[FONTS]\n");
    EXPECT_EQ(ReadIniText("Fonts", "Name", "gone", path), "gone");
}

TEST_F(IniFileTest, DeleteSectionRemovesItsLinesOnly)
{
    const std::string path = Create("edit.ini", kEditable);
    ASSERT_TRUE(DeleteIniSection("fonts", path));
    EXPECT_EQ(Contents(path), "; settings\n[Other]\n; keep me\nName=x\n");
}

TEST_F(IniFileTest, DeletingFromMissingFileCreatesNothing)
{
    EXPECT_TRUE(DeleteIniKey("S", "k", PathOf("absent.ini")));
    EXPECT_TRUE(DeleteIniSection("S", PathOf("absent.ini")));
    EXPECT_TRUE(Entries().empty());
}

struct RefusedWrite {
    const char *section;
    const char *key;
    const char *value;
};

class IniRefusedWriteTest : public IniFileTest, public ::testing::WithParamInterface<RefusedWrite> {};

// Such a write would break the line structure: a value with a line break
// could plant other keys or sections in the file.
TEST_P(IniRefusedWriteTest, LeavesFileUntouched)
{
    const std::string path = Create("edit.ini", kEditable);
    EXPECT_FALSE(WriteIniText(GetParam().section, GetParam().key, GetParam().value, path));
    EXPECT_EQ(Contents(path), kEditable);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniRefusedWriteTest,
                         ::testing::Values(RefusedWrite{"Fonts", "Name", "a\n[Evil]\nk=v"},
                                           RefusedWrite{"Fonts", "Name", "a\rb"},
                                           RefusedWrite{"Fonts", "a=b", "v"}, RefusedWrite{"Fonts", "", "v"},
                                           RefusedWrite{"Fonts", " Name", "v"}, RefusedWrite{"Fonts", ";k", "v"},
                                           RefusedWrite{"a]b", "k", "v"}, RefusedWrite{"", "k", "v"}));

TEST_F(IniFileTest, QuotedValuesReadBackUnchanged)
{
    const std::string path = PathOf("quoted.ini");
    for (const char *value : {"", " leading", "trailing\t", "\"quoted\"", "'single'", "\"", "a=b;c", "[x]", "plain"}) {
        ASSERT_TRUE(WriteIniText("S", "k", QuoteIniValue(value), path)) << value;
        EXPECT_EQ(ReadIniText("S", "k", "dflt", path), value);
    }
}

// ---------------------------------------------------------------------------
// Atomic replacement

TEST_F(IniFileTest, WriteBelowARegularFileFails)
{
    const std::string blocker = Create("plain-file", "x");
    EXPECT_FALSE(WriteIniText("S", "k", "v", blocker + "/config.ini"));
    EXPECT_EQ(Contents(blocker), "x");
}

TEST_F(IniFileTest, WriteOverADirectoryFailsAndLeavesNoTemporaryFile)
{
    fs::create_directory(PathOf("config.ini"));
    EXPECT_FALSE(WriteIniText("S", "k", "v", PathOf("config.ini")));
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

// A file size limit makes the writes of the temporary file fail the way a
// full disk does; the limit is set in a child so that the test process
// stays unaffected.
TEST_F(IniFileTest, FailedWriteLeavesOldFileIntact)
{
    const std::string path = Create("edit.ini", kEditable);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{sizeof kEditable + 16, sizeof kEditable + 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = WriteIniText("Fonts", "Name", std::string(4096, 'x'), path);
        ::_exit(written ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the write should have reported failure";
    EXPECT_EQ(Contents(path), kEditable);
    EXPECT_EQ(Entries(), std::vector<std::string>{"edit.ini"});
}

TEST_F(IniFileTest, WriteThroughSymbolicLinkReplacesTheLinkedFile)
{
    const std::string target = Create("real.ini", "[S]\nk=v\n");
    fs::create_symlink(target, PathOf("link.ini"));
    ASSERT_TRUE(WriteIniText("S", "k", "w", PathOf("link.ini")));
    EXPECT_TRUE(fs::is_symlink(PathOf("link.ini")));
    EXPECT_EQ(Contents(target), "[S]\nk=w\n");
}

TEST_F(IniFileTest, ConcurrentWritersLoseNoKey)
{
    const std::string path = PathOf("shared.ini");
    constexpr int kKeysPerWriter = 40;
    auto writer = [&](const std::string &prefix) {
        for (int i = 0; i < kKeysPerWriter; ++i)
            WriteIniText("S", prefix + std::to_string(i), "1", path);
    };
    std::thread first(writer, "a");
    std::thread second(writer, "b");
    first.join();
    second.join();
    for (int i = 0; i < kKeysPerWriter; ++i) {
        EXPECT_EQ(ReadIniInt("S", "a" + std::to_string(i), 0, path), 1) << i;
        EXPECT_EQ(ReadIniInt("S", "b" + std::to_string(i), 0, path), 1) << i;
    }
}

} // namespace
} // namespace lumora
