#include "crease_crossings.h"

#include <algorithm>
#include <cmath>

namespace {

double cross(const Vec2& p, const Vec2& q, const Vec2& r) {
    return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
}

// Strictly on opposite sides: a zero (an end on the other's line) is not.
bool opposite(double u, double v) { return (u < 0.0 && v > 0.0) || (u > 0.0 && v < 0.0); }

bool crossAwayFromEnds(const Segment& s, const Segment& t, double tolerance) {
    if (!opposite(cross(t.a, t.b, s.a), cross(t.a, t.b, s.b))) return false;
    if (!opposite(cross(s.a, s.b, t.a), cross(s.a, s.b, t.b))) return false;
    return sheet::distanceToSegment(s.a, t) > tolerance && sheet::distanceToSegment(s.b, t) > tolerance &&
           sheet::distanceToSegment(t.a, s) > tolerance && sheet::distanceToSegment(t.b, s) > tolerance;
}

bool finite(const Segment& s) {
    return std::isfinite(s.a.x) && std::isfinite(s.a.y) && std::isfinite(s.b.x) && std::isfinite(s.b.y);
}

// A uniform grid over the segments' bounding box; each segment is listed in
// every cell its (tolerance-widened) box meets.
class SegmentGrid {
public:
    SegmentGrid(const std::vector<Segment>& segments, const std::vector<int>& kept, double tolerance) {
        lo_ = hi_ = segments[kept[0]].a;
        double length = 0.0;
        for (int i : kept) {
            const Segment& s = segments[i];
            for (const Vec2& p : {s.a, s.b}) {
                lo_ = Vec2(std::min(lo_.x, p.x), std::min(lo_.y, p.y));
                hi_ = Vec2(std::max(hi_.x, p.x), std::max(hi_.y, p.y));
            }
            length += std::hypot(s.b.x - s.a.x, s.b.y - s.a.y);
        }
        lo_ = lo_ - Vec2(tolerance, tolerance);
        hi_ = hi_ + Vec2(tolerance, tolerance);
        // Cells about as large as a typical line, but no more than about four
        // per segment, so that the grid stays linear in size.
        double extent = std::max(hi_.x - lo_.x, hi_.y - lo_.y);
        cell_ = std::max(length / kept.size(), extent / (2.0 * std::sqrt((double)kept.size()) + 1.0));
        if (!(cell_ > 0.0)) cell_ = 1.0;  // every end on one point, with no tolerance
        nx_ = (int)((hi_.x - lo_.x) / cell_) + 1;
        ny_ = (int)((hi_.y - lo_.y) / cell_) + 1;
        cells_.resize((size_t)nx_ * ny_);
        for (int i : kept) {
            forCells(segments[i], tolerance, [&](std::vector<int>& c) { c.push_back(i); });
        }
    }

    template <typename F>
    void forCells(const Segment& s, double tolerance, F f) {
        int x0 = column(std::min(s.a.x, s.b.x) - tolerance), x1 = column(std::max(s.a.x, s.b.x) + tolerance);
        int y0 = row(std::min(s.a.y, s.b.y) - tolerance), y1 = row(std::max(s.a.y, s.b.y) + tolerance);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) f(cells_[(size_t)y * nx_ + x]);
    }

private:
    int column(double x) const { return std::clamp((int)((x - lo_.x) / cell_), 0, nx_ - 1); }
    int row(double y) const { return std::clamp((int)((y - lo_.y) / cell_), 0, ny_ - 1); }

    Vec2 lo_, hi_;
    double cell_ = 1.0;
    int nx_ = 1, ny_ = 1;
    std::vector<std::vector<int>> cells_;
};

}  // namespace

int countCrossingLines(const std::vector<Segment>& segments, double tolerance) {
    // A line with a non-finite end lies nowhere on the paper; it crosses nothing.
    std::vector<int> kept;
    for (int i = 0; i < (int)segments.size(); ++i)
        if (finite(segments[i])) kept.push_back(i);
    if (kept.size() < 2) return 0;

    SegmentGrid grid(segments, kept, tolerance);
    std::vector<char> crossed(segments.size(), 0);
    // The last segment each one was compared with, so that a pair sharing
    // several cells is tested once.
    std::vector<int> seenBy(segments.size(), -1);
    for (int i : kept) {
        grid.forCells(segments[i], tolerance, [&](std::vector<int>& c) {
            for (int j : c) {
                if (j <= i || seenBy[j] == i) continue;
                seenBy[j] = i;
                if (crossAwayFromEnds(segments[i], segments[j], tolerance)) crossed[i] = crossed[j] = 1;
            }
        });
    }
    return (int)std::count(crossed.begin(), crossed.end(), 1);
}
