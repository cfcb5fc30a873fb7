#include "crease_crossings.h"

#include <algorithm>
#include <cmath>

#include "creasepattern/cell_grid.h"

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

}  // namespace

int countCrossingLines(const std::vector<Segment>& segments, double tolerance) {
    // A line with a non-finite end lies nowhere on the paper; it crosses nothing.
    std::vector<int> kept;
    for (int i = 0; i < (int)segments.size(); ++i)
        if (finite(segments[i])) kept.push_back(i);
    if (kept.size() < 2) return 0;

    std::vector<Segment> boxes;
    for (int i : kept) boxes.push_back(sheet::boxAround(segments[i], tolerance));
    sheet::CellGrid grid(sheet::boxOf(boxes), (int)kept.size());
    for (const Segment& b : boxes) grid.insert(b);
    std::vector<char> crossed(segments.size(), 0);
    for (size_t k = 0; k < kept.size(); ++k) {
        grid.near(boxes[k], [&](size_t m) {
            if (m <= k) return;
            const int i = kept[k], j = kept[m];
            if (crossAwayFromEnds(segments[i], segments[j], tolerance)) crossed[i] = crossed[j] = 1;
        });
    }
    return (int)std::count(crossed.begin(), crossed.end(), 1);
}
