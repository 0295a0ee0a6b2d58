#include "app/SettingsStore.h"
#include "surface/ModulePath.h"
#include "surface/PrivateProfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace lumora::settings {
namespace {

namespace fs = std::filesystem;

// Remembers an environment variable and puts it back afterwards.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const char *name) : name_(name)
    {
        if (const char *value = std::getenv(name))
            saved_ = value;
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment()
    {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    void Set(const std::string &value) const { ::setenv(name_, value.c_str(), 1); }
    void Unset() const { ::unsetenv(name_); }

private:
    const char *name_;
    std::optional<std::string> saved_;
};

// Each test gets its own profile folder (XDG_CONFIG_HOME, not created yet)
// and its own folder "beside the executable" for config.ini.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = TemporaryDirectory() + "/settings-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directory(ModuleDirectory());
        configHome_.Set(ConfigHome());
        moduleDirectory_.Set(ModuleDirectory());
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    std::string ConfigHome() const { return root_ + "/xdg"; }
    std::string ModuleDirectory() const { return root_ + "/bin"; }

    static std::string Contents(const std::string &path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    static void Create(const std::string &path, const std::string &bytes)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static mode_t ModeOf(const std::string &path)
    {
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
        return status.st_mode & 07777;
    }

    std::string root_;
    ScopedEnvironment configHome_{"XDG_CONFIG_HOME"};
    ScopedEnvironment moduleDirectory_{kModuleDirectoryVariable};
    ScopedEnvironment home_{"HOME"};
};

// ---------------------------------------------------------------------------
// A fresh user

struct NumberDefault {
    NumberSetting setting;
    int expected;
};

class FreshNumberDefaultTest : public SettingsStoreTest, public ::testing::WithParamInterface<NumberDefault> {};

TEST_P(FreshNumberDefaultTest, ReadsDefaultWithoutCreatingTheProfile)
{
    EXPECT_EQ(Read(GetParam().setting), GetParam().expected);
    EXPECT_FALSE(fs::exists(ConfigHome()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreshNumberDefaultTest,
    ::testing::Values(NumberDefault{profile::ZoomRatio::Zoom, 100}, NumberDefault{profile::PageRangeType::Type, 0},
                      NumberDefault{profile::PageRange::From, 1}, NumberDefault{profile::PageRange::To, 100000},
                      NumberDefault{profile::CRasterImage::m_iJPGQuality, 75},
                      NumberDefault{profile::CHyperlinks::m_bEnableLinks, 1},
                      NumberDefault{profile::QUILLON::CheckSpaces, 1},
                      NumberDefault{profile::CHTMLPage::m_clBackground, 0x00FFFFFF},
                      NumberDefault{profile::GenerateInOneHTMLPage::Flag, 0},
                      NumberDefault{profile::type::m_convertType, 0}));

TEST_F(SettingsStoreTest, FreshUserTextAndConfigDefaults)
{
    EXPECT_EQ(Read(profile::CPDFPassword::m_szUserPassword), "");
    EXPECT_EQ(Read(profile::CHTMLPage::m_strHomepageURL), "");
    EXPECT_EQ(Read(profile::FilePath::LastOpenPath), "/");
    EXPECT_EQ(Read(config::QUILLON::CharSpaces), 50);
    EXPECT_EQ(Read(config::QUILLON::XOffset), 0);
}

// ---------------------------------------------------------------------------
// Round trips and the stored format

struct NumberRoundTrip {
    NumberSetting setting;
    int number;
    const char *storedLine;
};

class NumberRoundTripTest : public SettingsStoreTest, public ::testing::WithParamInterface<NumberRoundTrip> {};

TEST_P(NumberRoundTripTest, StoresDecimalTextUnderSectionAndName)
{
    const NumberRoundTrip &c = GetParam();
    ASSERT_TRUE(Write(c.setting, c.number));
    EXPECT_EQ(Read(c.setting), c.number);
    EXPECT_EQ(Contents(ProfilePath()), "[" + std::string(c.setting.section) + "]\n" + c.storedLine + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberRoundTripTest,
    ::testing::Values(NumberRoundTrip{profile::ZoomRatio::Zoom, 150, "Zoom=150"},
                      NumberRoundTrip{profile::CHTMLPage::m_clBackground, 0x00123456, "m_clBackground=1193046"},
                      NumberRoundTrip{profile::PageRange::From, -3, "From=-3"},
                      NumberRoundTrip{profile::CRasterImage::m_iJPGQuality, 100, "m_iJPGQuality=100"},
                      NumberRoundTrip{profile::m_bRemovePics::Flag, 1, "Flag=1"}));

TEST_F(SettingsStoreTest, TextsReadBackExactly)
{
    for (const char *password : {"plain", " padded ", "\"quoted\"", "a=b;c", ""}) {
        ASSERT_TRUE(Write(profile::CPDFPassword::m_szUserPassword, password));
        EXPECT_EQ(Read(profile::CPDFPassword::m_szUserPassword), password);
    }
}

TEST_F(SettingsStoreTest, PasswordsAreReadableAsPlainStrings)
{
    ASSERT_TRUE(Write(profile::CPDFPassword::m_szOwnerPassword, "owner secret"));
    EXPECT_EQ(ReadIniText("CPDFPassword", "m_szOwnerPassword", "", ProfilePath()), "owner secret");
}

TEST_F(SettingsStoreTest, TextWithLineBreakIsRefusedAndOldValueKept)
{
    ASSERT_TRUE(Write(profile::CHTMLPage::m_szPageTitle, "Title"));
    EXPECT_FALSE(Write(profile::CHTMLPage::m_szPageTitle, "Title\n[ZoomRatio]\nZoom=50"));
    EXPECT_EQ(Read(profile::CHTMLPage::m_szPageTitle), "Title");
    EXPECT_EQ(Read(profile::ZoomRatio::Zoom), 100);
}

TEST_F(SettingsStoreTest, HandEditedValueTakesEffectAtTheNextRead)
{
    ASSERT_TRUE(Write(profile::GenerateInOneHTMLPage::Flag, 0));
    Create(ProfilePath(), "[GenerateInOneHTMLPage]\nFlag=1\n");
    EXPECT_EQ(Read(profile::GenerateInOneHTMLPage::Flag), 1);
}

// ---------------------------------------------------------------------------
// Where the profile lives

TEST_F(SettingsStoreTest, ProfileIsCreatedPrivateWithItsDirectories)
{
    const std::string expected = ConfigHome() + "/Vellumrobot/Lumora PDF to HTML Converter.ini";
    ASSERT_EQ(ProfilePath(), expected);
    ASSERT_TRUE(Write(profile::WindowsTopMost::Flag, 1));
    EXPECT_EQ(ModeOf(expected), 0600u);
    EXPECT_EQ(ModeOf(ConfigHome() + "/Vellumrobot"), 0700u);
}

TEST_F(SettingsStoreTest, ConfigHomeFollowsXdgRules)
{
    home_.Set(root_ + "/home");
    const std::string suffix = "/Vellumrobot/Lumora PDF to HTML Converter.ini";

    configHome_.Set(root_ + "/elsewhere");
    EXPECT_EQ(ProfilePath(), root_ + "/elsewhere" + suffix);

    configHome_.Unset();
    EXPECT_EQ(ProfilePath(), root_ + "/home/.config" + suffix);

    configHome_.Set("relative/dir"); // not absolute: to be ignored
    EXPECT_EQ(ProfilePath(), root_ + "/home/.config" + suffix);
}

TEST_F(SettingsStoreTest, UnwritableProfileFailsAndReadsDefaults)
{
    Create(root_ + "/plain-file", "x");
    configHome_.Set(root_ + "/plain-file");
    EXPECT_FALSE(Write(profile::ZoomRatio::Zoom, 150));
    EXPECT_EQ(Read(profile::ZoomRatio::Zoom), 100);
}

// ---------------------------------------------------------------------------
// config.ini

TEST_F(SettingsStoreTest, ConfigIniLivesBesideTheExecutable)
{
    EXPECT_EQ(ConfigIniPath(), ModuleDirectory() + "/config.ini");
}

TEST_F(SettingsStoreTest, WriteBackCreatesMissingKeysWithTheirValue)
{
    Create(ConfigIniPath(), "[FontNameMapping]\nFontCount=0\n\n[QUILLON]\nYOffset=7\n");
    EXPECT_EQ(ReadAndWriteBack(config::QUILLON::XOffset), 0);
    EXPECT_EQ(ReadAndWriteBack(config::QUILLON::YOffset), 7);
    EXPECT_EQ(Contents(ConfigIniPath()), "[FontNameMapping]\nFontCount=0\n\n[QUILLON]\nYOffset=7\nXOffset=0\n");
}

TEST_F(SettingsStoreTest, UnwritableConfigIniGivesDefaults)
{
    Create(root_ + "/plain-file", "x");
    moduleDirectory_.Set(root_ + "/plain-file");
    EXPECT_EQ(ReadAndWriteBack(config::QUILLON::XOffset), 0);
    EXPECT_FALSE(Write(config::QUILLON::CharSpaces, 20));
    EXPECT_EQ(Read(config::QUILLON::CharSpaces), 50);
}

TEST_F(SettingsStoreTest, CharSpacesRoundTripsInConfigIni)
{
    ASSERT_TRUE(Write(config::QUILLON::CharSpaces, 20));
    EXPECT_EQ(Read(config::QUILLON::CharSpaces), 20);
    EXPECT_EQ(Contents(ConfigIniPath()), "[QUILLON]\nCharSpaces=20\n");
    EXPECT_FALSE(fs::exists(ConfigHome())); // config.ini values stay out of the profile
}

} // namespace
} // namespace lumora::settings
