#ifndef PLICATROPE_MODEL_RAY_INDEX_H
#define PLICATROPE_MODEL_RAY_INDEX_H

#include <vector>

#include "model/vec.h"

// Triangles, each grown by its own margin, in a bounding-volume hierarchy
// searched along ray segments. Small nodes are boxes in their own frame, the
// principal axes of their corners, so that a bundle of long thin triangles
// side by side (the strips between a surface and its offset) stays apart
// from a ray running along them, as boxes along the coordinate axes would
// not; large nodes, where turning the box gains little, keep those axes.
class RayIndex {
public:
    struct Triangle {
        Vec3 a, b, c;
        double pad;
        int id;  // what the search reports
    };

    // Coordinates and pads must be finite and below 1e300 in magnitude.
    // `slack` absorbs the rounding of frames, projections and slab tests: a
    // few eps of the largest coordinate, segment point or reach in play.
    // Median splits keep the tree balanced: O(n log n) to build.
    void build(std::vector<Triangle> triangles, double slack);
    // The most that build() holds for `triangles` triangles, its argument
    // included, and what the index keeps of it.
    static double bytesFor(double triangles);

    // Calls visit(id) for every triangle that the segment P + t d,
    // 0 <= t <= reach, comes within pad of, and possibly for others. visit
    // returns the reach for the rest of the search, which may only shrink.
    // Nearer nodes come first, so that the reach shrinks early.
    template <class Visit>
    void search(const Vec3& P, const Vec3& d, double reach, Visit visit) const;

private:
    // A leaf holds ids_[first, first + count); an inner node has count 0 and
    // its children at `first` and `first + 1`. The box is lo..hi in the
    // coordinates axis[k] . p.
    struct Node {
        Vec3 axis[3];
        Vec3 lo, hi;
        int first = 0;
        int count = 0;
    };
    std::vector<Node> nodes_;
    std::vector<int> ids_;

    // Makes `node` the node of t[first, first + count), reordering them, and
    // gives their box along the coordinate axes. `frame` is the parent's.
    void split(int node, std::vector<Triangle>& t, int first, int count, double slack, const Vec3* frame,
               Vec3& lo, Vec3& hi);
    // Whether the segment meets the node's box; `enter` is where it does, at least 0.
    static bool meets(const Node& n, const Vec3& P, const Vec3& d, double reach, double& enter);
};

template <class Visit>
void RayIndex::search(const Vec3& P, const Vec3& d, double reach, Visit visit) const {
    struct Pending {
        int node;
        double enter;
    };
    // A balanced tree over fewer than 2^31 triangles is less than 32 levels
    // deep, and each level leaves at most one sibling waiting.
    Pending stack[64];
    int top = 0;
    double enter;
    if (nodes_.empty() || !meets(nodes_[0], P, d, reach, enter)) return;
    stack[top++] = {0, enter};
    while (top > 0) {
        const Pending p = stack[--top];
        if (p.enter > reach) continue;
        const Node& n = nodes_[p.node];
        if (n.count > 0) {
            for (int i = n.first; i < n.first + n.count; ++i) reach = visit(ids_[i]);
            continue;
        }
        double ea, eb;
        const bool a = meets(nodes_[n.first], P, d, reach, ea);
        const bool b = meets(nodes_[n.first + 1], P, d, reach, eb);
        if (a && b) {
            if (ea <= eb) {
                stack[top++] = {n.first + 1, eb};
                stack[top++] = {n.first, ea};
            } else {
                stack[top++] = {n.first, ea};
                stack[top++] = {n.first + 1, eb};
            }
        } else if (a) {
            stack[top++] = {n.first, ea};
        } else if (b) {
            stack[top++] = {n.first + 1, eb};
        }
    }
}

#endif
