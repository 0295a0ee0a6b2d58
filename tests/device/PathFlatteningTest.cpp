// The path conversion on its own: curve flattening, closing, clamping and
// the grouping of subpaths into compound polygons.
#include "device/PathFlattening.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

// PagePoint is a C record of the global namespace, where lookup finds these.
static bool operator==(const PagePoint &a, const PagePoint &b) { return a.x == b.x && a.y == b.y; }
static void PrintTo(const PagePoint &point, std::ostream *out)
{
    *out << "(" << point.x << "," << point.y << ")";
}

namespace lumora {
namespace {

using Points = std::vector<PagePoint>;

std::vector<Points> Lists(const PathPoints &path)
{
    std::vector<Points> lists;
    path.ForEachList([&](std::span<const PagePoint> list) { lists.emplace_back(list.begin(), list.end()); });
    return lists;
}

// An open rectangle subpath (four corners, as a PDF "m l l l" without "h").
void AddRectangle(PathPoints &path, double left, double top, double right, double bottom)
{
    path.BeginSubpath();
    for (DevicePoint corner : {DevicePoint{left, top}, DevicePoint{right, top}, DevicePoint{right, bottom},
                               DevicePoint{left, bottom}})
        path.AddPoint(corner);
    path.EndSubpath();
}

Points Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
}

// ---- Flattening

int SegmentCount(DevicePoint p0, DevicePoint p1, DevicePoint p2, DevicePoint p3, double threshold = 1)
{
    std::array<DevicePoint, kMaxCurveSegments> ends;
    return FlattenCurve(p0, p1, p2, p3, threshold, ends);
}

TEST(CurveFlattening, SegmentCountFollowsTheDistanceOfTheControlsFromTheChordMiddle)
{
    struct Case {
        const char *name;
        DevicePoint p0, p1, p2, p3;
        int segments;
    };
    const Case cases[] = {
        // Both controls within one pixel of the chord's middle (150, 0).
        {"controls near the middle", {0, 0}, {150, 0.9}, {149.5, -0.5}, {300, 0}, 1},
        {"all four points coincide", {7, 7}, {7, 7}, {7, 7}, {7, 7}, 1},
        // Straight, yet its controls lie far from the chord's middle: the
        // test measures that distance, so it splits down to the last slot.
        {"straight with spread controls", {0, 0}, {100, 0}, {200, 0}, {300, 0}, 64},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SegmentCount(c.p0, c.p1, c.p2, c.p3), c.segments) << c.name;
}

TEST(CurveFlattening, SegmentEndsRunInOrderAndFinishAtTheCurveEnd)
{
    std::array<DevicePoint, kMaxCurveSegments> ends;
    const int count = FlattenCurve({0, 0}, {100, 0}, {200, 0}, {300, 0}, 1, ends);
    ASSERT_EQ(count, 64);
    for (int i = 1; i < count; ++i)
        EXPECT_GT(ends[i].x, ends[i - 1].x) << i;
    EXPECT_DOUBLE_EQ(ends[count - 1].x, 300);
    EXPECT_DOUBLE_EQ(ends[31].x, 150); // the first split lands on the middle slot
}

TEST(CurveFlattening, UnusableNumbersStillEndWithinTheTable)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(SegmentCount({0, 0}, {nan, 0}, {1, nan}, {2, 2}), 64);
    EXPECT_EQ(SegmentCount({-inf, 0}, {inf, 0}, {0, inf}, {inf, -inf}), 64);
    EXPECT_EQ(SegmentCount({0, 0}, {1e300, 1e300}, {-1e300, 1e300}, {5, 5}), 64);
}

TEST(CurveFlattening, ThresholdIsTheSquaredFlatnessAndAtLeastOne)
{
    EXPECT_EQ(FlatnessThreshold(0), 1);
    EXPECT_EQ(FlatnessThreshold(1), 1);
    EXPECT_EQ(FlatnessThreshold(3), 9);
    EXPECT_EQ(FlatnessThreshold(-3), 9);
    // No integer overflow for a hostile flatness.
    EXPECT_EQ(FlatnessThreshold(1 << 28), std::ldexp(1.0, 56));
    // A large flatness keeps a bent curve in one segment.
    EXPECT_EQ(SegmentCount({0, 0}, {0, 20}, {30, 20}, {30, 0}, FlatnessThreshold(100)), 1);
    EXPECT_GT(SegmentCount({0, 0}, {0, 20}, {30, 20}, {30, 0}, FlatnessThreshold(0)), 1);
}

// ---- Subpath conversion

// A subpath given as points with curve flags, as the PDF library keeps it.
struct FlaggedPoint {
    DevicePoint point;
    bool curve = false;
};

void Convert(PathPoints &path, const std::vector<FlaggedPoint> &subpath)
{
    ConvertSubpath(
        path, int(subpath.size()), [&](int i) { return subpath[size_t(i)].point; },
        [&](int i) { return subpath[size_t(i)].curve; }, 1.0);
}

TEST(SubpathConversion, PointsAreRoundedAndACurveAddsOnlyItsSegmentEnds)
{
    PathPoints path(PathForm::Stroke);
    // m (0.4, 2.5), l (10, -0.7), c with controls near the middle, l (-2.5, 0)
    Convert(path, {{{0.4, 2.5}}, {{10, -0.7}}, {{15, 0}, true}, {{15, 0}, true}, {{20, 0}}, {{-2.5, 0}}});
    EXPECT_EQ(Lists(path), (std::vector<Points>{{{0, 3}, {10, 0}, {20, 0}, {-2, 0}}}));
}

TEST(SubpathConversion, CurveFlagsWithoutTheirPointsAreTakenAsPlainPoints)
{
    PathPoints path(PathForm::Stroke);
    Convert(path, {{{0, 0}, true}, {{1, 1}}, {{2, 2}, true}, {{3, 3}, true}});
    EXPECT_EQ(Lists(path), (std::vector<Points>{{{0, 0}, {1, 1}, {2, 2}, {3, 3}}}));
}

TEST(SubpathConversion, StrokeFormKeepsSubpathsOpenAndBackToBack)
{
    PathPoints path(PathForm::Stroke);
    AddRectangle(path, 0, 0, 10, 10);
    path.BeginSubpath();
    path.AddPoint({50, 50});
    path.EndSubpath();
    EXPECT_EQ(Lists(path), (std::vector<Points>{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{50, 50}}}));
    EXPECT_EQ(path.AllPoints().size(), 5u);
}

TEST(SubpathConversion, FillFormClosesEachSubpathOnceAndKeepsASpareSlot)
{
    PathPoints path(PathForm::Fill);
    AddRectangle(path, 0, 0, 10, 10); // open: gets closed
    path.BeginSubpath();              // already closed: stays as it is
    for (DevicePoint p : {DevicePoint{20, 20}, DevicePoint{30, 20}, DevicePoint{30, 30}, DevicePoint{20, 20}})
        path.AddPoint(p);
    path.EndSubpath();
    path.BeginSubpath(); // nothing added: no subpath
    path.EndSubpath();
    EXPECT_EQ(path.SubpathCount(), 2u);
    EXPECT_EQ(Lists(path),
              (std::vector<Points>{Rectangle(0, 0, 10, 10), {{20, 20}, {30, 20}, {30, 30}, {20, 20}}}));
    EXPECT_EQ(path.AllPoints().size(), 5u + 1 + 4 + 1);
    ASSERT_EQ(path.Boxes().size(), 2u);
    EXPECT_EQ(path.Boxes()[1].xMin, 20);
    EXPECT_EQ(path.Boxes()[1].yMax, 30);
}

TEST(SubpathConversion, BuffersMoveToTheHeapOnlyForLargePaths)
{
    PathPoints small(PathForm::Fill);
    for (int i = 0; i < 15; ++i)
        AddRectangle(small, i * 20, 0, i * 20 + 10, 10);
    EXPECT_FALSE(small.UsesHeap());

    // 300 points cross the end of the inline buffer; nothing gets lost.
    PathPoints large(PathForm::Stroke);
    large.BeginSubpath();
    for (int i = 0; i < 300; ++i)
        large.AddPoint({double(i), double(2 * i)});
    large.EndSubpath();
    EXPECT_TRUE(large.UsesHeap());
    const auto lists = Lists(large);
    ASSERT_EQ(lists.size(), 1u);
    ASSERT_EQ(lists[0].size(), 300u);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(lists[0][size_t(i)], (PagePoint{i, 2 * i})) << i;
}

// ---- Clamping

TEST(PointClamping, PointsStayWithinTwiceThePageAroundIt)
{
    struct Case {
        DevicePoint in;
        PagePoint out;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {{-500, 5}, {-100, 5}},   // x = -5 page widths
        {{-90.5, 90}, {-90, 90}}, // off the page, yet inside the band
        {{5, 150}, {5, 100}},     // y = 3 page heights -> 2 page heights
        {{250, -60}, {200, -50}},  {{1e300, -1e300}, {200, -50}},
        {{inf, -inf}, {200, -50}}, {{nan, nan}, {0, 0}},
    };
    for (const Case &c : cases) {
        PathPoints path(PathForm::Stroke);
        path.BeginSubpath();
        path.AddPoint(c.in);
        path.EndSubpath();
        path.Clamp(100, 50);
        EXPECT_EQ(path.AllPoints()[0], c.out) << c.in.x << "," << c.in.y;
    }
}

// ---- Compound polygons

TEST(CompoundPolygons, AnInnerSubpathJoinsItsOuterOneThroughABridge)
{
    PathPoints path(PathForm::Fill);
    AddRectangle(path, 0, 0, 100, 100);
    AddRectangle(path, 20, 20, 40, 40);
    path.JoinOverlappingSubpaths();
    Points expected = Rectangle(0, 0, 100, 100);
    expected.push_back({0, 0}); // the bridge back to the polygon's first point
    const Points inner = Rectangle(20, 20, 40, 40);
    expected.insert(expected.end(), inner.begin(), inner.end());
    EXPECT_EQ(Lists(path), std::vector<Points>{expected});
}

TEST(CompoundPolygons, GroupingFollowsBoxOverlap)
{
    struct Case {
        const char *name;
        std::vector<std::array<double, 4>> rectangles; // left, top, right, bottom
        std::vector<size_t> polygonSizes;
    };
    const Case cases[] = {
        {"far apart", {{0, 0, 10, 10}, {50, 50, 60, 60}}, {5, 5}},
        {"touching edges do not overlap", {{0, 0, 10, 10}, {10, 0, 20, 10}}, {5, 5}},
        // B lies between A and C in the path, so joining A and C takes it along.
        {"A and C overlap, B between them", {{0, 0, 10, 10}, {50, 50, 60, 60}, {5, 5, 15, 15}}, {17}},
        // The group's box grows: C overlaps the union of A and B only.
        {"chain through the grown box", {{0, 0, 10, 10}, {5, 5, 30, 30}, {25, 25, 40, 40}}, {17}},
        {"a later group starts afresh",
         {{0, 0, 10, 10}, {5, 5, 15, 15}, {80, 80, 90, 90}, {85, 85, 95, 95}},
         {11, 11}},
    };
    for (const Case &c : cases) {
        PathPoints path(PathForm::Fill);
        for (const auto &r : c.rectangles)
            AddRectangle(path, r[0], r[1], r[2], r[3]);
        path.JoinOverlappingSubpaths();
        std::vector<size_t> sizes;
        for (const Points &list : Lists(path))
            sizes.push_back(list.size());
        EXPECT_EQ(sizes, c.polygonSizes) << c.name;
    }
}

TEST(CompoundPolygons, EveryBridgeReturnsToTheFirstPointOfItsOwnPolygon)
{
    PathPoints path(PathForm::Fill);
    AddRectangle(path, 0, 0, 10, 10);
    AddRectangle(path, 2, 2, 8, 8);
    AddRectangle(path, 50, 50, 60, 60);
    AddRectangle(path, 52, 52, 58, 58);
    path.JoinOverlappingSubpaths();
    const auto lists = Lists(path);
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0][5], (PagePoint{0, 0}));
    EXPECT_EQ(lists[1][0], (PagePoint{50, 50}));
    EXPECT_EQ(lists[1][5], (PagePoint{50, 50}));
}

TEST(CompoundPolygons, ClampedPointsFeedTheBridges)
{
    PathPoints path(PathForm::Fill);
    AddRectangle(path, -1000, 0, 50, 50);
    AddRectangle(path, 10, 10, 20, 20);
    path.Clamp(100, 100);
    path.JoinOverlappingSubpaths();
    const auto lists = Lists(path);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0][0], (PagePoint{-100, 0}));
    EXPECT_EQ(lists[0][5], (PagePoint{-100, 0}));
}

TEST(CompoundPolygons, ThousandsOfSubpathsGroupLikeShortPaths)
{
    // Separate tiles in rows, and every tenth one holding a hole.
    PathPoints path(PathForm::Fill);
    size_t expectedPolygons = 0;
    for (int i = 0; i < 5000; ++i) {
        const double x = (i % 100) * 20, y = (i / 100) * 20;
        AddRectangle(path, x, y, x + 10, y + 10);
        ++expectedPolygons;
        if (i % 10 == 0)
            AddRectangle(path, x + 2, y + 2, x + 8, y + 8);
    }
    path.JoinOverlappingSubpaths();
    EXPECT_EQ(path.ListCount(), expectedPolygons);

    // Nested squares all overlap: one polygon through all of them.
    PathPoints nested(PathForm::Fill);
    for (int i = 0; i < 3000; ++i)
        AddRectangle(nested, i * 0.01, i * 0.01, 10000 - i * 0.01, 10000 - i * 0.01);
    nested.JoinOverlappingSubpaths();
    ASSERT_EQ(nested.ListCount(), 1u);
    EXPECT_EQ(Lists(nested)[0].size(), 3000u * 6 - 1);
}

TEST(CompoundPolygons, TreeSearchFindsWhatAScanFinds)
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int32_t> coordinate(0, 1000), extent(0, 40);
    for (const size_t count : {1u, 2u, 33u, 257u, 1000u}) {
        std::vector<PointBox> boxes;
        for (size_t i = 0; i < count; ++i) {
            const int32_t x = coordinate(random), y = coordinate(random);
            boxes.push_back({x, x + extent(random), y, y + extent(random)});
        }
        const BoxSearch search(boxes);
        for (int query = 0; query < 500; ++query) {
            const int32_t x = coordinate(random), y = coordinate(random);
            const PointBox area{x, x + 4 * extent(random), y, y + 4 * extent(random)};
            const size_t from = size_t(random() % (count + 1));
            ASSERT_EQ(search.FirstOverlapping(from, area), FirstOverlappingBox(boxes, from, area))
                << "count " << count << " query " << query;
        }
    }
}

} // namespace
} // namespace lumora
