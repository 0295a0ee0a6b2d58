#include "device/PathFlattening.h"

#include "device/DeviceMath.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <memory>

namespace lumora {

namespace {

DevicePoint Midpoint(DevicePoint a, DevicePoint b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

double SquaredDistance(DevicePoint a, DevicePoint b)
{
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return dx * dx + dy * dy;
}

PagePoint RoundPoint(DevicePoint point) { return {Round(point.x), Round(point.y)}; }

bool SamePoint(const PagePoint &a, const PagePoint &b) { return a.x == b.x && a.y == b.y; }

PointBox Unite(const PointBox &a, const PointBox &b)
{
    return {std::min(a.xMin, b.xMin), std::max(a.xMax, b.xMax), std::min(a.yMin, b.yMin),
            std::max(a.yMax, b.yMax)};
}

// A box that overlaps nothing and leaves any box it is united with as it was.
constexpr PointBox kNoBox{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};

int32_t ClampInt(int32_t value, int64_t low, int64_t high)
{
    return int32_t(std::clamp<int64_t>(value, low, high));
}

// From this many subpaths on, grouping searches through a BoxSearch tree.
constexpr size_t kTreeSearchFrom = 32;

} // namespace

double FlatnessThreshold(int32_t flatness)
{
    // In doubles: the squared flatness of a hostile state must not overflow.
    const double squared = double(flatness) * double(flatness);
    return squared < 1 ? 1.0 : squared;
}

int FlattenCurve(DevicePoint p0, DevicePoint p1, DevicePoint p2, DevicePoint p3, double threshold,
                 std::array<DevicePoint, kMaxCurveSegments> &segmentEnds)
{
    // Slot s holds a segment starting at parameter s/64 with its two control
    // points; next names the slot where it ends. Halving a segment puts the
    // new start into the middle slot, so no segment is ever shorter than one
    // slot and the table never overflows.
    struct Slot {
        DevicePoint start;
        DevicePoint control1;
        DevicePoint control2;
        int next = 0;
    };
    constexpr int kLastSlot = kMaxCurveSegments;
    std::array<Slot, kLastSlot + 1> slots;
    slots[0] = {p0, p1, p2, kLastSlot};
    slots[kLastSlot].start = p3;

    int count = 0;
    for (int first = 0; first < kLastSlot;) {
        Slot &segment = slots[first];
        const int last = segment.next;
        const DevicePoint end = slots[last].start;
        const DevicePoint middle = Midpoint(segment.start, end);
        const bool flat = SquaredDistance(segment.control1, middle) <= threshold &&
                          SquaredDistance(segment.control2, middle) <= threshold;
        if (last - first <= 1 || flat) {
            segmentEnds[count++] = end;
            first = last;
            continue;
        }
        // de Casteljau halving at t = 1/2.
        const DevicePoint left1 = Midpoint(segment.start, segment.control1);
        const DevicePoint between = Midpoint(segment.control1, segment.control2);
        const DevicePoint right2 = Midpoint(segment.control2, end);
        const DevicePoint left2 = Midpoint(left1, between);
        const DevicePoint right1 = Midpoint(between, right2);
        const DevicePoint split = Midpoint(left2, right1);
        const int middleSlot = (first + last) / 2;
        slots[middleSlot] = {split, right1, right2, last};
        segment.control1 = left1;
        segment.control2 = left2;
        segment.next = middleSlot;
    }
    return count;
}

std::ptrdiff_t FirstOverlappingBox(std::span<const PointBox> boxes, size_t from, const PointBox &area)
{
    for (size_t i = from; i < boxes.size(); ++i)
        if (BoxesOverlap(boxes[i], area))
            return std::ptrdiff_t(i);
    return -1;
}

BoxSearch::BoxSearch(std::span<const PointBox> boxes)
{
    leaves_ = std::bit_ceil(std::max<size_t>(boxes.size(), 1));
    nodes_.assign(2 * leaves_, kNoBox);
    std::copy(boxes.begin(), boxes.end(), nodes_.begin() + std::ptrdiff_t(leaves_));
    for (size_t node = leaves_ - 1; node >= 1; --node)
        nodes_[node] = Unite(nodes_[2 * node], nodes_[2 * node + 1]);
}

std::ptrdiff_t BoxSearch::FirstOverlapping(size_t from, const PointBox &area) const
{
    return Search(1, 0, leaves_, from, area);
}

// Any box in a range overlaps the area only if the range's united box does,
// so a range whose united box misses the area is skipped whole. The depth is
// the tree's height, at most the bit width of an index.
std::ptrdiff_t BoxSearch::Search(size_t node, size_t low, size_t high, size_t from,
                                 const PointBox &area) const
{
    if (high <= from || !BoxesOverlap(nodes_[node], area))
        return -1;
    if (high - low == 1)
        return std::ptrdiff_t(low);
    const size_t middle = low + (high - low) / 2;
    const std::ptrdiff_t left = Search(2 * node, low, middle, from, area);
    return left >= 0 ? left : Search(2 * node + 1, middle, high, from, area);
}

void PathPoints::BeginSubpath() { subpathStart_ = points_.size(); }

void PathPoints::AddPoint(DevicePoint point) { Append(RoundPoint(point)); }

void PathPoints::AddCurve(DevicePoint start, DevicePoint control1, DevicePoint control2, DevicePoint end,
                          double threshold)
{
    std::array<DevicePoint, kMaxCurveSegments> ends;
    const int count = FlattenCurve(start, control1, control2, end, threshold, ends);
    for (int i = 0; i < count; ++i)
        Append(RoundPoint(ends[i]));
}

void PathPoints::EndSubpath()
{
    const size_t start = subpathStart_;
    if (points_.size() == start)
        return; // nothing was added: no subpath to draw
    if (form_ == PathForm::Fill) {
        boxes_.push_back(BoxOf(start, points_.size()));
        if (!SamePoint(points_.back(), points_[start]))
            Append(points_[start]);
    }
    lengths_.push_back(points_.size() - start);
    if (form_ == PathForm::Fill)
        Append({0, 0}); // spare slot, a bridge once subpaths are joined
    ++subpathCount_;
}

PointBox PathPoints::BoxOf(size_t first, size_t end) const
{
    PointBox box{points_[first].x, points_[first].x, points_[first].y, points_[first].y};
    for (size_t i = first + 1; i < end; ++i) {
        box.xMin = std::min(box.xMin, points_[i].x);
        box.xMax = std::max(box.xMax, points_[i].x);
        box.yMin = std::min(box.yMin, points_[i].y);
        box.yMax = std::max(box.yMax, points_[i].y);
    }
    return box;
}

void PathPoints::Clamp(int32_t pageWidth, int32_t pageHeight)
{
    const int64_t width = std::max(pageWidth, 0);
    const int64_t height = std::max(pageHeight, 0);
    for (size_t i = 0; i < points_.size(); ++i) {
        PagePoint &point = points_[i];
        point.x = ClampInt(point.x, -width, 2 * width);
        point.y = ClampInt(point.y, -height, 2 * height);
    }
}

std::ptrdiff_t PathPoints::NextOverlap(const BoxSearch *search, size_t from, const PointBox &area) const
{
    return search ? search->FirstOverlapping(from, area) : FirstOverlappingBox(Boxes(), from, area);
}

void PathPoints::JoinOverlappingSubpaths()
{
    if (form_ != PathForm::Fill)
        return;
    const size_t count = lengths_.size();
    std::unique_ptr<BoxSearch> search;
    if (count >= kTreeSearchFrom)
        search = std::make_unique<BoxSearch>(Boxes());

    // Polygon j is written over lengths_[j] while subpath i >= j + 1 is the
    // next one read, so the table is rewritten in place.
    size_t write = 0;   // position of the next subpath's first point
    size_t polygon = 0; // polygons made so far
    size_t next = 0;    // next subpath not yet in a polygon
    while (next < count) {
        const size_t first = write;
        PointBox area = boxes_[next];
        size_t length = lengths_[next];
        auto join = [&](size_t subpath) {
            points_[write + lengths_[subpath]] = points_[first];
            write += lengths_[subpath] + 1;
        };
        join(next++);
        while (next < count) {
            const std::ptrdiff_t overlap = NextOverlap(search.get(), next, area);
            if (overlap < 0)
                break;
            for (; next <= size_t(overlap); ++next) {
                area = Unite(area, boxes_[next]);
                length += lengths_[next] + 1;
                join(next);
            }
        }
        lengths_[polygon++] = length;
    }
    lengths_.truncate(polygon);
}

} // namespace lumora
