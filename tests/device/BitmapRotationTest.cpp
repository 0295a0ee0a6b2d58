#include "device/BitmapRotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace lumora {
namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

RotatedPicture MakePicture(int width, int height, const std::function<uint32_t(int, int)> &pixel)
{
    RotatedPicture picture{width, height, std::vector<uint32_t>(size_t(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.pixels[size_t(y) * width + x] = pixel(x, y);
    return picture;
}

RotatedPicture Filled(int width, int height, uint32_t colour)
{
    return MakePicture(width, height, [colour](int, int) { return colour; });
}

// Every pixel distinct, with the top byte set so that exact moves show.
RotatedPicture Numbered(int width, int height)
{
    return MakePicture(width, height,
                       [width](int x, int y) { return 0xAB000000u | uint32_t(x + width * y + 1); });
}

std::optional<RotatedPicture> Rotate(const RotatedPicture &picture, double angle,
                                     uint32_t background = kWhite)
{
    return RotatePicture(picture.pixels.data(), picture.width, picture.height, angle, background);
}

uint32_t Grey(uint32_t level) { return level * 0x010101u; }

// ---- Quarter turns ----------------------------------------------------------

struct QuarterTurnCase {
    const char *name;
    double angle;
    // Where source pixel (x, y) of a w x h picture lands.
    std::function<std::pair<int, int>(int x, int y, int w, int h)> target;
    bool swapsSize;
};

class QuarterTurn : public testing::TestWithParam<QuarterTurnCase> {};

TEST_P(QuarterTurn, MovesEveryPixelExactly)
{
    const QuarterTurnCase &turn = GetParam();
    const RotatedPicture source = Numbered(3, 2);

    auto result = Rotate(source, turn.angle);

    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, turn.swapsSize ? 2 : 3);
    EXPECT_EQ(result->height, turn.swapsSize ? 3 : 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            auto [tx, ty] = turn.target(x, y, 3, 2);
            EXPECT_EQ(result->at(tx, ty), source.at(x, y)) << "source (" << x << ", " << y << ")";
        }
    }
}

auto TurnedBy270 = [](int x, int y, int, int h) { return std::pair{h - 1 - y, x}; };

INSTANTIATE_TEST_SUITE_P(
    Angles, QuarterTurn,
    testing::Values(
        // The device turns stencil masks by -90, which is the 270 turn.
        QuarterTurnCase{"Minus90", -90, TurnedBy270, true},
        QuarterTurnCase{"Plus270", 270, TurnedBy270, true},
        QuarterTurnCase{"Plus90", 90,
                        [](int x, int y, int w, int) { return std::pair{y, w - 1 - x}; }, true},
        QuarterTurnCase{"Plus180", 180,
                        [](int x, int y, int w, int h) { return std::pair{w - 1 - x, h - 1 - y}; },
                        false}),
    [](const testing::TestParamInfo<QuarterTurnCase> &info) { return info.param.name; });

class UprightAngle : public testing::TestWithParam<double> {};

TEST_P(UprightAngle, GivesAPlainCopy)
{
    const RotatedPicture source = Numbered(3, 2);

    auto result = Rotate(source, GetParam());

    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, 3);
    EXPECT_EQ(result->height, 2);
    EXPECT_EQ(result->pixels, source.pixels);
}

// -1e-20 normalises to a value that rounds up to 360.
INSTANTIATE_TEST_SUITE_P(Angles, UprightAngle, testing::Values(0.0, 360.0, -360.0, 720.0, -1e-20));

// ---- Shear rotation -----------------------------------------------------------

TEST(ShearRotation, ThirtyDegreesOnAHundredByFiftyHasTheShearSizes)
{
    auto sizes = ShearSizesFor(100, 50, 30);
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->firstWidth, 113);
    EXPECT_EQ(sizes->secondHeight, 94);
    EXPECT_EQ(sizes->resultWidth, 112);

    auto result = Rotate(Filled(100, 50, 0x00336699), 30);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, 112);
    EXPECT_EQ(result->height, 94);
}

TEST(ShearRotation, EightyNineDegreesIsAQuarterTurnAndASmallShear)
{
    const uint32_t colour = 0x00336699;

    // Turned to 100 x 200, then rotated by -1 degree: the bounding box grows
    // by 200 * sin 1 and 100 * sin 1 (3.5 and 1.7 pixels), leaving thin
    // uncovered triangles along the edges.
    auto result = Rotate(Filled(200, 100, colour), 89);

    ASSERT_TRUE(result);
    EXPECT_EQ(result->width, 104);
    EXPECT_EQ(result->height, 202);
    EXPECT_EQ(result->at(0, 0), kWhite);
    EXPECT_EQ(result->at(103, 0), kWhite);
    EXPECT_EQ(result->at(0, 201), kWhite);
    EXPECT_EQ(result->at(103, 201), kWhite);
    EXPECT_EQ(result->at(52, 101), colour);
}

TEST(ShearRotation, AngleIsTakenModuloAFullTurn)
{
    const RotatedPicture source = Numbered(9, 5);
    auto expected = Rotate(source, 30);
    ASSERT_TRUE(expected);

    for (double angle : {390.0, -330.0, 360000030.0}) {
        auto result = Rotate(source, angle);
        ASSERT_TRUE(result) << angle;
        EXPECT_EQ(result->width, expected->width) << angle;
        EXPECT_EQ(result->pixels, expected->pixels) << angle;
    }
}

TEST(ShearRotation, AngleFarBeyondDoublePrecisionOfAFullTurnStillRotates)
{
    // Subtracting 360 no longer changes such a value; it must still finish.
    EXPECT_TRUE(Rotate(Numbered(4, 3), 1e300));
    EXPECT_TRUE(Rotate(Numbered(4, 3), -1e300));
}

// A one-colour picture rotated about its centre: pixels well inside the turned
// rectangle keep the colour, pixels well outside are background, and the edge
// pixels between only blend the two (never a colour outside their range).
class OneColourRotation : public testing::TestWithParam<double> {};

enum class Region { Inside, Outside, Edge };

// Where a result pixel's centre lies relative to the source rectangle.
// Positive angles turn the picture's x axis toward negative y in element
// coordinates, as the 90-degree turn does.
Region RegionOf(int x, int y, const RotatedPicture &result, int w, int h, double angle)
{
    const double r = angle * 3.141592653589793 / 180;
    const double rx = x - (result.width - 1) / 2.0;
    const double ry = y - (result.height - 1) / 2.0;
    const double sx = rx * std::cos(r) - ry * std::sin(r) + (w - 1) / 2.0;
    const double sy = rx * std::sin(r) + ry * std::cos(r) + (h - 1) / 2.0;
    // Each of the three shears blends a pixel into its neighbour, and the
    // sizes round the centre by up to half a pixel.
    const double margin = 2.5;
    if (sx >= margin && sx <= w - 1 - margin && sy >= margin && sy <= h - 1 - margin)
        return Region::Inside;
    if (sx < -margin || sx > w - 1 + margin || sy < -margin || sy > h - 1 + margin)
        return Region::Outside;
    return Region::Edge;
}

bool ChannelsBetween(uint32_t pixel, uint32_t a, uint32_t b)
{
    for (int shift : {0, 8, 16}) {
        uint32_t value = (pixel >> shift) & 0xFF;
        uint32_t low = std::min((a >> shift) & 0xFF, (b >> shift) & 0xFF);
        uint32_t high = std::max((a >> shift) & 0xFF, (b >> shift) & 0xFF);
        if (value < low || value > high)
            return false;
    }
    return true;
}

TEST_P(OneColourRotation, KeepsTheColourInsideAndTheBackgroundOutside)
{
    const double angle = GetParam();
    const uint32_t colour = 0x00204080;
    const int w = 40;
    const int h = 24; // not square, so a turn the wrong way shows

    auto result = Rotate(Filled(w, h, colour), angle);

    ASSERT_TRUE(result);
    int inside = 0;
    for (int y = 0; y < result->height; ++y) {
        for (int x = 0; x < result->width; ++x) {
            const uint32_t pixel = result->at(x, y);
            switch (RegionOf(x, y, *result, w, h, angle)) {
            case Region::Inside:
                ++inside;
                ASSERT_EQ(pixel, colour) << "at (" << x << ", " << y << ")";
                break;
            case Region::Outside:
                ASSERT_EQ(pixel, kWhite) << "at (" << x << ", " << y << ")";
                break;
            case Region::Edge:
                ASSERT_TRUE(ChannelsBetween(pixel, colour, kWhite))
                    << std::hex << pixel << " at (" << std::dec << x << ", " << y << ")";
                break;
            }
        }
    }
    EXPECT_GT(inside, (w - 6) * (h - 6) / 2);
}

INSTANTIATE_TEST_SUITE_P(Angles, OneColourRotation,
                         testing::Values(7.0, 30.0, 45.0, 45.5, 89.0, 133.0, 200.0, 300.0, -17.0,
                                         -89.0));

TEST(ShearRotation, PictureOfTheBackgroundColourStaysThatColourEverywhere)
{
    // The picture's ends blend with the background; a wrapped or
    // black-blended edge pixel would show here.
    for (uint32_t background : {kWhite, 0x00000000u, 0x00336699u}) {
        auto result = Rotate(Filled(23, 17, background), 33, background);
        ASSERT_TRUE(result);
        for (uint32_t pixel : result->pixels)
            ASSERT_EQ(pixel, background) << std::hex << background;
    }
}

TEST(ShearRotation, NeverChangesItsInput)
{
    for (double angle : {30.0, 90.0, -90.0, 0.0}) {
        const RotatedPicture original = Numbered(7, 5);
        RotatedPicture input = original;
        ASSERT_TRUE(Rotate(input, angle));
        EXPECT_EQ(input.pixels, original.pixels) << angle;
    }
}

// ---- Refusals -----------------------------------------------------------------

TEST(RotationRefusal, NullInputGivesNone)
{
    EXPECT_FALSE(RotatePicture(nullptr, 3, 2, 30, kWhite));
}

TEST(RotationRefusal, AngleThatIsNotANumberGivesNone)
{
    const RotatedPicture source = Numbered(3, 2);
    for (double angle : {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(Rotate(source, angle)) << angle;
}

TEST(RotationRefusal, EmptyOrAbsurdSizeGivesNoneWithoutReadingThePixels)
{
    const uint32_t pixel = 0;
    const std::pair<int, int> sizes[] = {
        {0, 5}, {5, 0}, {-3, 5}, {5, -3}, {kMaxRotationSide + 1, 1}, {1 << 15, 1 << 15}};
    for (auto [w, h] : sizes)
        EXPECT_FALSE(RotatePicture(&pixel, w, h, 30, kWhite)) << w << " x " << h;
}

// ---- One shear step -------------------------------------------------------------

struct SkewCase {
    const char *name;
    int offset;
    double weight;
    uint32_t background;
    std::vector<uint32_t> expected;
};

class SkewRowCase : public testing::TestWithParam<SkewCase> {};

TEST_P(SkewRowCase, MovesAndBlendsTheRow)
{
    const SkewCase &skew = GetParam();
    // The top byte of a source pixel never reaches a blended result.
    const RotatedPicture source{3, 1, {0xFF000000u | Grey(200), Grey(100), Grey(0)}};
    RotatedPicture destination = Filled(7, 1, 0x00ABCDEF);

    SkewRow(source, destination, 0, skew.offset, skew.weight, skew.background);

    EXPECT_EQ(destination.pixels, skew.expected);
}

// With weight 1/4 each pixel keeps 3/4 of itself and gains 1/4 of its left
// neighbour; the first pixel's neighbour is the background, and the pixel after
// the last one is 1/4 of it plus 3/4 background.
INSTANTIATE_TEST_SUITE_P(
    Cases, SkewRowCase,
    testing::Values(
        SkewCase{"QuarterPixelOnGrey", 2, 0.25, Grey(16),
                 {Grey(16), Grey(16), Grey(154), Grey(125), Grey(25), Grey(12), Grey(16)}},
        SkewCase{"QuarterPixelOnWhite", 2, 0.25, kWhite,
                 {kWhite, kWhite, Grey(213), Grey(125), Grey(25), Grey(192), kWhite}},
        SkewCase{"WholePixelsOnlyEndsInBackground", 1, 0.0, kWhite,
                 {kWhite, Grey(200), Grey(100), Grey(0), kWhite, kWhite, kWhite}},
        SkewCase{"NegativeOffsetDropsTheLeadingPixel", -1, 0.25, Grey(16),
                 {Grey(125), Grey(25), Grey(12), Grey(16), Grey(16), Grey(16), Grey(16)}},
        SkewCase{"OffsetPastTheEndLeavesOnlyBackground", 9, 0.5, Grey(16),
                 {Grey(16), Grey(16), Grey(16), Grey(16), Grey(16), Grey(16), Grey(16)}},
        SkewCase{"RowReachingTheEndLosesOnlyItsCarry", 5, 0.25, Grey(16),
                 {Grey(16), Grey(16), Grey(16), Grey(16), Grey(16), Grey(154), Grey(125)}}),
    [](const testing::TestParamInfo<SkewCase> &info) { return info.param.name; });

TEST(SkewColumn, MovesAColumnAsSkewRowMovesARow)
{
    // The column keeps its last pixel and carries its share one further down,
    // exactly as a row does.
    const std::vector<uint32_t> line = {Grey(200), Grey(90), Grey(10), Grey(255)};
    const RotatedPicture rowSource{4, 1, line};
    RotatedPicture row = Filled(8, 1, 0);
    SkewRow(rowSource, row, 0, 2, 0.4, Grey(30));

    RotatedPicture columnSource = Filled(2, 4, 0x00123456);
    for (int y = 0; y < 4; ++y)
        columnSource.pixels[size_t(y) * 2 + 1] = line[y];
    RotatedPicture column = Filled(2, 8, 0x00654321);
    SkewColumn(columnSource, column, 1, 2, 0.4, Grey(30));

    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(column.at(1, y), row.at(y, 0)) << "row " << y;
        EXPECT_EQ(column.at(0, y), 0x00654321u) << "other column changed at row " << y;
    }
}

} // namespace
} // namespace lumora
