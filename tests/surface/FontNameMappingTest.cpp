// The font name mapping: the user's table in config.ini, the family part
// against the installed families, the default face.
#include "FontTestSupport.h"

#include "surface/FontNameMapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace lumora {
namespace {

class FontNameMappingTest : public ::testing::Test {
protected:
    std::string Lookup(const std::string &name) { return TheFontNameMapping().Lookup(name); }

    test::ModuleDirectoryScope module;
};

bool IsInstalled(const std::string &family)
{
    const auto &list = InstalledFontList();
    return std::find(list.begin(), list.end(), family) != list.end();
}

TEST_F(FontNameMappingTest, WithoutConfigIniTheFamilyPartOrTheDefaultFaceIsUsed)
{
    struct Case {
        const char *name;
        const char *face;
    };
    const Case cases[] = {
        {"Arial,Bold", "Arial"},                     // an alias only, so by way of the default face
        {"ABCDEF+Foo-Bold", "Arial"},                // cut to ABCDEF+Foo, which nothing has
        {"", "Arial"},                               // empty stays empty and matches nothing
        {"Liberation Serif", "Liberation Serif"},    // whole name, installed
        {"DejaVu Sans,BoldItalic", "DejaVu Sans"},   // cut at the comma
        {"LIBERATION SANS-Bold", "LIBERATION SANS"}, // the PDF's letters, not the installed ones
        {"Liberation Sans Narrow-Bold", "Liberation Sans Narrow"},
        {"LiberationSans-Bold", "Arial"},            // no such family without the blank
    };
    for (const auto &c : cases)
        EXPECT_EQ(Lookup(c.name), c.face) << c.name;
    EXPECT_FALSE(TheFontNameMapping().Load());
}

TEST_F(FontNameMappingTest, TheTableMatchesOnlyTheWholeCaseExactNameAndTheFirstEntryWins)
{
    module.WriteConfigIni("[FontNameMapping]\n"
                          "FontCount=3\n"
                          "DefaultFontName=DejaVu Serif\n"
                          "PdfFontName1=Arial,Bold\n"
                          "OsFontName1=Liberation Sans\n"
                          "PdfFontName2=Arial,Bold\n"
                          "OsFontName2=Second Entry\n"
                          "PdfFontName3=Wingdings\n"
                          "OsFontName3=Not Installed At All\n");
    EXPECT_EQ(Lookup("Arial,Bold"), "Liberation Sans");
    EXPECT_EQ(Lookup("arial,bold"), "DejaVu Serif"); // family step, then the configured default
    EXPECT_EQ(Lookup("Arial"), "DejaVu Serif");
    EXPECT_EQ(Lookup("Wingdings"), "Not Installed At All"); // the table's face is taken as it is
    EXPECT_EQ(Lookup("DEJAVU SANS-Oblique"), "DEJAVU SANS");
}

TEST_F(FontNameMappingTest, EntriesMissingFromTheFileMapDefaultToDefault)
{
    module.WriteConfigIni("[FontNameMapping]\nFontCount=2\nPdfFontName1=Foo\nOsFontName1=Liberation Mono\n");
    EXPECT_TRUE(TheFontNameMapping().Load());
    EXPECT_EQ(TheFontNameMapping().Count(), 2);
    EXPECT_EQ(Lookup("Foo"), "Liberation Mono");
    EXPECT_EQ(Lookup("Default"), "Default");
    EXPECT_EQ(TheFontNameMapping().DefaultFace(), "Arial");
}

TEST_F(FontNameMappingTest, ACountThatIsNotAPositiveNumberLoadsNothing)
{
    for (const char *count : {"0", "-3", "many", ""}) {
        ResetFontNameMapping();
        module.WriteConfigIni(std::string("[FontNameMapping]\nFontCount=") + count +
                              "\nDefaultFontName=DejaVu Sans\nPdfFontName1=Foo\nOsFontName1=Bar\n");
        EXPECT_FALSE(TheFontNameMapping().Load()) << count;
        EXPECT_EQ(Lookup("Foo"), "Arial") << count;
        EXPECT_EQ(TheFontNameMapping().DefaultFace(), "Arial") << count;
    }
}

TEST_F(FontNameMappingTest, TheFileIsReadAgainEachPageUntilItHasATableThenTheTableIsKept)
{
    EXPECT_EQ(Lookup("Foo"), "Arial");
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nPdfFontName1=Foo\nOsFontName1=First\n");
    EXPECT_EQ(Lookup("Foo"), "Arial"); // within the page the faces stay
    TheFontNameMapping().StartPage();
    EXPECT_EQ(Lookup("Foo"), "First");
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nPdfFontName1=Foo\nOsFontName1=Second\n");
    TheFontNameMapping().StartPage();
    EXPECT_EQ(Lookup("Foo"), "First");
    ResetFontNameMapping();
    EXPECT_EQ(Lookup("Foo"), "Second");
}

TEST_F(FontNameMappingTest, LongTextsAreCutToThirtyOneBytes)
{
    const std::string longPdfName = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij"; // 36 bytes
    const std::string longFace = "Face name far longer than thirty-one bytes";
    // 29 ASCII bytes and a two-byte character across the limit.
    const std::string splitDefault = std::string(30, 'd') + "\xC3\xA9";
    module.WriteConfigIni("[FontNameMapping]\nFontCount=1\nDefaultFontName=" + splitDefault +
                          "\nPdfFontName1=" + longPdfName + "\nOsFontName1=" + longFace + "\n");
    EXPECT_EQ(Lookup(longPdfName.substr(0, 31)), longFace.substr(0, 31));
    EXPECT_EQ(Lookup(longPdfName), std::string(30, 'd')); // the whole name is no longer in the table
    EXPECT_EQ(TheFontNameMapping().DefaultFace(), std::string(30, 'd'));
}

TEST_F(FontNameMappingTest, AnAbsurdCountStillLoads)
{
    module.WriteConfigIni("[FontNameMapping]\nFontCount=2000000000\nPdfFontName1=Foo\nOsFontName1=Bar\n");
    EXPECT_TRUE(TheFontNameMapping().Load());
    EXPECT_EQ(TheFontNameMapping().Count(), kMaxFontMappingEntries);
    EXPECT_EQ(Lookup("Foo"), "Bar");
}

TEST_F(FontNameMappingTest, InstalledFontsAreTheFamiliesFontconfigKnowsEachOnce)
{
    const std::size_t count = TheFontNameMapping().EnumerateInstalledFonts();
    const auto &list = InstalledFontList();
    EXPECT_EQ(count, list.size());
    EXPECT_TRUE(IsInstalled("Liberation Sans"));
    EXPECT_TRUE(IsInstalled("DejaVu Sans"));
    // Arial is an alias that fontconfig resolves to Liberation Sans, not a family.
    EXPECT_FALSE(IsInstalled("Arial"));
    for (const auto &family : list)
        EXPECT_EQ(std::count(list.begin(), list.end(), family), 1) << family;
    EXPECT_EQ(TheFontNameMapping().EnumerateInstalledFonts(), count);
}

TEST_F(FontNameMappingTest, WithoutFontsTheListStaysEmptyAndIsAskedForAgain)
{
    test::FontconfigScope noFonts;
    EXPECT_EQ(TheFontNameMapping().EnumerateInstalledFonts(), 0u);
    EXPECT_EQ(Lookup("DejaVu Sans-Bold"), "Arial");
    ASSERT_TRUE(FcConfigAppFontAddFile(FcConfigGetCurrent(), reinterpret_cast<const FcChar8 *>(test::kDejaVuSansFile)));
    EXPECT_EQ(Lookup("DejaVu Sans-Bold"), "DejaVu Sans");
    EXPECT_TRUE(IsInstalled("DejaVu Sans"));
    EXPECT_FALSE(IsInstalled("Liberation Sans"));
}

} // namespace
} // namespace lumora
