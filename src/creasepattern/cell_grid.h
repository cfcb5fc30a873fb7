#ifndef PLICATROPE_CREASEPATTERN_CELL_GRID_H
#define PLICATROPE_CREASEPATTERN_CELL_GRID_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "creasepattern/sheet_geometry.h"

namespace sheet {

// The box of a segment, its lowest corner in `a` and its highest in `b`,
// widened by `by` on every side.
inline Segment boxAround(const Segment& s, double by) {
    return Segment{Vec2(std::min(s.a.x, s.b.x) - by, std::min(s.a.y, s.b.y) - by),
                   Vec2(std::max(s.a.x, s.b.x) + by, std::max(s.a.y, s.b.y) + by)};
}

// The smallest box that holds every end of the segments (of at least one segment).
inline Segment boxOf(const std::vector<Segment>& segments) {
    Segment box{segments.front().a, segments.front().a};
    for (const Segment& s : segments)
        for (const Vec2& p : {s.a, s.b}) {
            box.a = Vec2(std::min(box.a.x, p.x), std::min(box.a.y, p.y));
            box.b = Vec2(std::max(box.b.x, p.x), std::max(box.b.y, p.y));
        }
    return box;
}

// Items of the sheet, numbered from 0 in the order they are inserted, listed
// in every cell of a uniform grid that their boxes meet, so that an item is
// compared with its neighbours only. The grid spans the given box, with
// about as many cells as items; whatever lies beyond falls in its border
// cells.
class CellGrid {
public:
    CellGrid(const Segment& box, int items) : lo_(box.a) {
        const Vec2 &lo = box.a, &hi = box.b;
        const double extent = std::max(hi.x - lo.x, hi.y - lo.y);
        cell_ = extent / (std::sqrt((double)std::max(items, 1)) + 1.0);
        if (!(cell_ > 0.0) || !std::isfinite(cell_)) cell_ = 1.0;
        nx_ = cellsAcross(hi.x - lo.x);
        ny_ = cellsAcross(hi.y - lo.y);
        cells_.resize((size_t)nx_ * ny_);
    }

    void insert(const Segment& box) {
        const size_t id = seen_.size();
        forCells(box, [&](std::vector<size_t>& cell) { cell.push_back(id); });
        seen_.push_back(0);
    }

    // Every item whose cells the box meets, each once.
    template <typename F>
    void near(const Segment& box, F f) {
        ++stamp_;
        forCells(box, [&](std::vector<size_t>& cell) {
            for (size_t id : cell)
                if (seen_[id] != stamp_) seen_[id] = stamp_, f(id);
        });
    }

private:
    template <typename F>
    void forCells(const Segment& box, F f) {
        const int x0 = column(std::min(box.a.x, box.b.x)), x1 = column(std::max(box.a.x, box.b.x));
        const int y0 = row(std::min(box.a.y, box.b.y)), y1 = row(std::max(box.a.y, box.b.y));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) f(cells_[(size_t)y * nx_ + x]);
    }
    int cellsAcross(double span) const {
        const double n = std::floor(span / cell_) + 1.0;
        return std::isfinite(n) ? (int)std::clamp(n, 1.0, 4096.0) : 1;
    }
    int index(double v, double origin, int n) const {
        const double i = std::floor((v - origin) / cell_);
        return std::isfinite(i) ? (int)std::clamp(i, 0.0, (double)(n - 1)) : n - 1;
    }
    int column(double x) const { return index(x, lo_.x, nx_); }
    int row(double y) const { return index(y, lo_.y, ny_); }

    Vec2 lo_;
    double cell_ = 1.0;
    int nx_ = 1, ny_ = 1;
    std::vector<std::vector<size_t>> cells_;
    std::vector<unsigned> seen_;
    unsigned stamp_ = 0;
};

}  // namespace sheet

#endif
