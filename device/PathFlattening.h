#pragma once
// Turns a path into integer device points the surface can draw: curves are
// flattened into straight segments, and for filling and clipping the
// subpaths are closed and regrouped into compound polygons, because the
// surface fills one simple point list per call.
//
// Nothing here knows the PDF library: the device feeds points already
// transformed into device space, so the conversion can be tested on its own.
#include "lumora_engine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora {

// A point in device space before rounding.
struct DevicePoint {
    double x = 0;
    double y = 0;
};

// A list whose first Inline elements live inside the object, so ordinary
// paths convert without touching the heap. Beyond that it moves to a heap
// block that grows geometrically: a path of millions of points must not
// cost a copy of everything per few points added.
template <class T, size_t Inline> class InlineBuffer {
public:
    InlineBuffer() = default;
    InlineBuffer(const InlineBuffer &) = delete;
    InlineBuffer &operator=(const InlineBuffer &) = delete;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool OnHeap() const { return onHeap_; }
    T *data() { return onHeap_ ? heap_.data() : inline_.data(); }
    const T *data() const { return onHeap_ ? heap_.data() : inline_.data(); }
    T &operator[](size_t index) { return data()[index]; }
    const T &operator[](size_t index) const { return data()[index]; }
    T &back() { return data()[size_ - 1]; }

    void push_back(const T &value)
    {
        if (onHeap_) {
            heap_.push_back(value);
        } else if (size_ < Inline) {
            inline_[size_] = value;
        } else {
            heap_.reserve(2 * Inline);
            heap_.assign(inline_.begin(), inline_.end());
            heap_.push_back(value);
            onHeap_ = true;
        }
        ++size_;
    }

    // Drops the elements from count on (count <= size()).
    void truncate(size_t count)
    {
        size_ = count;
        if (onHeap_)
            heap_.resize(count);
    }

private:
    std::array<T, Inline> inline_{};
    std::vector<T> heap_;
    size_t size_ = 0;
    bool onHeap_ = false;
};

// A curve is never split into more segments than this.
inline constexpr int kMaxCurveSegments = 64;

// The squared distance in pixels within which a curve counts as flat, from
// the graphics state's flatness; never below one squared pixel.
double FlatnessThreshold(int32_t flatness);

// Flattens the cubic curve p0 (start), p1, p2 (controls), p3 (end) on a fixed
// table of 65 slots, without recursion. Writes the end point of every
// segment in order (not p0, which the caller already has) and returns their
// number, 1 to kMaxCurveSegments. NaN or infinite input still ends after at
// most kMaxCurveSegments segments.
int FlattenCurve(DevicePoint p0, DevicePoint p1, DevicePoint p2, DevicePoint p3, double threshold,
                 std::array<DevicePoint, kMaxCurveSegments> &segmentEnds);

// How a path is converted: strokes keep their subpaths open and apart; fills
// and clips close every subpath and join overlapping ones, so that holes
// come out right under the fill rule.
enum class PathForm { Stroke, Fill };

// A subpath's extent in device pixels (inclusive).
struct PointBox {
    int32_t xMin = 0;
    int32_t xMax = 0;
    int32_t yMin = 0;
    int32_t yMax = 0;
};

// Strict overlap: boxes that only share an edge do not overlap.
inline bool BoxesOverlap(const PointBox &a, const PointBox &b)
{
    return a.xMax > b.xMin && a.xMin < b.xMax && a.yMax > b.yMin && a.yMin < b.yMax;
}

// The first box at index from or later that overlaps area; -1 when none.
// Looks at every box in turn, which is what short paths need.
std::ptrdiff_t FirstOverlappingBox(std::span<const PointBox> boxes, size_t from, const PointBox &area);

// The same search for paths of many subpaths: a tree of united boxes over
// index ranges lets it skip whole ranges that lie away from the area, so a
// path of thousands of subpaths that mostly do not overlap (a page of glyph
// outlines, a hatching) is grouped in far less than quadratic time.
class BoxSearch {
public:
    explicit BoxSearch(std::span<const PointBox> boxes);
    std::ptrdiff_t FirstOverlapping(size_t from, const PointBox &area) const;

private:
    std::ptrdiff_t Search(size_t node, size_t low, size_t high, size_t from, const PointBox &area) const;

    size_t leaves_ = 1;
    std::vector<PointBox> nodes_; // node 1 is the root, node k has children 2k and 2k+1
};

// The converted path: its integer points and, per subpath (stroke form) or
// per compound polygon (fill form, after JoinOverlappingSubpaths), their
// number.
//
// Fill form layout: each subpath's points followed by one spare slot. A
// compound polygon is a run of subpaths; its count covers their points and
// the spare slots between them, which hold the polygon's first point, so the
// polygon returns to its start between subpaths. Each such bridge is
// travelled once in each direction and adds no area under either fill rule.
class PathPoints {
public:
    explicit PathPoints(PathForm form) : form_(form) {}
    PathPoints(const PathPoints &) = delete;
    PathPoints &operator=(const PathPoints &) = delete;

    // ---- Building, one subpath at a time.
    void BeginSubpath();
    void AddPoint(DevicePoint point);
    // A curve from the last added point; only its segment ends are added.
    void AddCurve(DevicePoint start, DevicePoint control1, DevicePoint control2, DevicePoint end,
                  double threshold);
    void EndSubpath();

    // Keeps every point within [-pageWidth, 2 pageWidth] x [-pageHeight,
    // 2 pageHeight]: points far off the page are pulled in, never dropped.
    void Clamp(int32_t pageWidth, int32_t pageHeight);

    // Fill form: groups the subpaths into compound polygons. Starting from
    // each ungrouped subpath, it keeps joining up to the next subpath whose
    // box overlaps the group's box, including every subpath between them.
    void JoinOverlappingSubpaths();

    // ---- Reading
    size_t SubpathCount() const { return subpathCount_; }
    // Subpaths (stroke form, or fill form before joining) or compound polygons.
    size_t ListCount() const { return lengths_.size(); }
    // Calls visit(std::span<const PagePoint>) for each list in order.
    template <class Visit> void ForEachList(Visit &&visit) const
    {
        const size_t spare = form_ == PathForm::Fill ? 1 : 0;
        size_t offset = 0;
        for (size_t i = 0; i < lengths_.size(); ++i) {
            visit(std::span<const PagePoint>(points_.data() + offset, lengths_[i]));
            offset += lengths_[i] + spare;
        }
    }
    std::span<const PagePoint> AllPoints() const { return {points_.data(), points_.size()}; }
    // Fill form: the boxes of the subpaths, taken before clamping.
    std::span<const PointBox> Boxes() const { return {boxes_.data(), boxes_.size()}; }
    bool UsesHeap() const { return points_.OnHeap() || lengths_.OnHeap() || boxes_.OnHeap(); }

private:
    void Append(PagePoint point) { points_.push_back(point); }
    PointBox BoxOf(size_t first, size_t end) const;
    std::ptrdiff_t NextOverlap(const BoxSearch *search, size_t from, const PointBox &area) const;

    PathForm form_;
    InlineBuffer<PagePoint, 256> points_;
    InlineBuffer<size_t, 16> lengths_;
    InlineBuffer<PointBox, 16> boxes_;
    size_t subpathStart_ = 0;
    size_t subpathCount_ = 0;
};

// Converts one subpath of count points: pointAt(i) is point i in device
// space, startsCurve(i) whether point i is the first control point of a
// curve (whose start is point i - 1 and whose end is point i + 2).
template <class PointAt, class StartsCurve>
void ConvertSubpath(PathPoints &path, int count, PointAt &&pointAt, StartsCurve &&startsCurve,
                    double threshold)
{
    path.BeginSubpath();
    for (int i = 0; i < count;) {
        if (i >= 1 && i + 2 < count && startsCurve(i)) {
            path.AddCurve(pointAt(i - 1), pointAt(i), pointAt(i + 1), pointAt(i + 2), threshold);
            i += 3;
        } else {
            path.AddPoint(pointAt(i));
            ++i;
        }
    }
    path.EndSubpath();
}

} // namespace lumora
