#include "model/ray_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

const int kLeafSize = 4;
// Nodes of at most this many triangles get a frame of their own ...
const int kFramedSize = 64;
// ... except the smallest, which keep their parent's.
const int kInheritedSize = 8;

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 lower(const Vec3& a, const Vec3& b) {
    return Vec3(std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z));
}
Vec3 upper(const Vec3& a, const Vec3& b) {
    return Vec3(std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z));
}

// Three times the centroid; it only orders the triangles.
Vec3 corners(const RayIndex::Triangle& t) { return t.a + t.b + t.c; }

// Eigenvectors of the symmetric matrix a by Jacobi rotations. Any rotation
// would be correct; these merely make the boxes tight, so a rough fit will do.
void principalAxes(double a[3][3], Vec3 axis[3]) {
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int sweep = 0; sweep < 8; ++sweep) {
        const double off = std::abs(a[0][1]) + std::abs(a[0][2]) + std::abs(a[1][2]);
        const double diagonal = std::abs(a[0][0]) + std::abs(a[1][1]) + std::abs(a[2][2]);
        if (!(off > 1e-3 * diagonal)) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0.0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 3; ++k) {
                    const double kp = a[k][p], kq = a[k][q];
                    a[k][p] = c * kp - s * kq;
                    a[k][q] = s * kp + c * kq;
                }
                for (int k = 0; k < 3; ++k) {
                    const double pk = a[p][k], qk = a[q][k];
                    a[p][k] = c * pk - s * qk;
                    a[q][k] = s * pk + c * qk;
                }
                for (int k = 0; k < 3; ++k) {
                    const double kp = v[k][p], kq = v[k][q];
                    v[k][p] = c * kp - s * kq;
                    v[k][q] = s * kp + c * kq;
                }
            }
    }
    for (int k = 0; k < 3; ++k) axis[k] = Vec3(v[0][k], v[1][k], v[2][k]);
}

// Principal axes of the corners of t[first, first + count), or the
// coordinate axes when their spread is out of range.
void fitFrame(const std::vector<RayIndex::Triangle>& t, int first, int count, Vec3 axis[3]) {
    axis[0] = Vec3(1, 0, 0);
    axis[1] = Vec3(0, 1, 0);
    axis[2] = Vec3(0, 0, 1);
    Vec3 mean;
    for (int i = first; i < first + count; ++i) mean = mean + corners(t[i]);
    mean = mean / (3.0 * count);
    double xx = 0, xy = 0, xz = 0, yy = 0, yz = 0, zz = 0;
    for (int i = first; i < first + count; ++i)
        for (const Vec3* c : {&t[i].a, &t[i].b, &t[i].c}) {
            const double x = c->x - mean.x, y = c->y - mean.y, z = c->z - mean.z;
            xx += x * x;
            xy += x * y;
            xz += x * z;
            yy += y * y;
            yz += y * z;
            zz += z * z;
        }
    double cov[3][3] = {{xx, xy, xz}, {xy, yy, yz}, {xz, yz, zz}};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            if (!std::isfinite(cov[j][k])) return;
    principalAxes(cov, axis);
}

// The nodes that splitting `count` triangles into halves makes. The halves
// of one level take two neighbouring counts only, so each is counted once,
// and counts of any size are counted at once.
double nodesFor(double count, std::map<double, double>& known) {
    if (count <= kLeafSize) return 1.0;
    auto found = known.find(count);
    if (found != known.end()) return found->second;
    const double half = std::floor(count / 2);
    const double nodes = 1.0 + nodesFor(half, known) + nodesFor(count - half, known);
    known.emplace(count, nodes);
    return nodes;
}

double nodesFor(double count) {
    std::map<double, double> known;
    return nodesFor(count, known);
}

// Narrows [enter, leave] to the ray parameters inside one slab.
bool slab(double lo, double hi, double p, double d, double& enter, double& leave) {
    if (d == 0.0) return lo <= p && p <= hi;
    double a = (lo - p) / d, b = (hi - p) / d;
    if (a > b) std::swap(a, b);
    if (a > enter) enter = a;
    if (b < leave) leave = b;
    return enter <= leave;
}

// Puts the lower half of t[first, first + count) along `along` first.
void halve(std::vector<RayIndex::Triangle>& t, int first, int count, const Vec3& along) {
    std::nth_element(t.begin() + first, t.begin() + first + count / 2, t.begin() + first + count,
                     [&](const RayIndex::Triangle& p, const RayIndex::Triangle& q) {
                         return dot(along, corners(p)) < dot(along, corners(q));
                     });
}

}  // namespace

bool RayIndex::meets(const Node& n, const Vec3& P, const Vec3& d, double reach, double& enter) {
    enter = 0.0;
    double leave = reach;
    return slab(n.lo.x, n.hi.x, dot(n.axis[0], P), dot(n.axis[0], d), enter, leave) &&
           slab(n.lo.y, n.hi.y, dot(n.axis[1], P), dot(n.axis[1], d), enter, leave) &&
           slab(n.lo.z, n.hi.z, dot(n.axis[2], P), dot(n.axis[2], d), enter, leave);
}

double RayIndex::bytesFor(double triangles) {
    return sizeof(Node) * nodesFor(std::floor(triangles)) + (sizeof(Triangle) + sizeof(int)) * triangles;
}

void RayIndex::build(std::vector<Triangle> triangles, double slack) {
    nodes_.clear();
    ids_.clear();
    if (triangles.empty()) return;
    nodes_.reserve(static_cast<size_t>(nodesFor(static_cast<double>(triangles.size()))));
    nodes_.emplace_back();
    Vec3 lo, hi;
    split(0, triangles, 0, static_cast<int>(triangles.size()), slack, nullptr, lo, hi);
    ids_.reserve(triangles.size());
    for (const Triangle& t : triangles) ids_.push_back(t.id);
}

void RayIndex::split(int node, std::vector<Triangle>& t, int first, int count, double slack,
                     const Vec3* frame, Vec3& lo, Vec3& hi) {
    const double inf = std::numeric_limits<double>::infinity();
    const int end = first + count;
    Node n;
    n.axis[0] = Vec3(1, 0, 0);
    n.axis[1] = Vec3(0, 1, 0);
    n.axis[2] = Vec3(0, 0, 1);
    const int children = static_cast<int>(nodes_.size());
    if (count > kFramedSize) {
        // Split across the widest spread of the centroids, and box the node
        // with its children's boxes.
        Vec3 cmin(inf, inf, inf), cmax(-inf, -inf, -inf);
        for (int i = first; i < end; ++i) {
            cmin = lower(cmin, corners(t[i]));
            cmax = upper(cmax, corners(t[i]));
        }
        const Vec3 spread = cmax - cmin;
        const int axis = spread.x >= spread.y && spread.x >= spread.z ? 0 : spread.y >= spread.z ? 1 : 2;
        halve(t, first, count, n.axis[axis]);
        nodes_.emplace_back();
        nodes_.emplace_back();
        Vec3 lo1, hi1;
        split(children, t, first, count / 2, slack, nullptr, lo, hi);
        split(children + 1, t, first + count / 2, count - count / 2, slack, nullptr, lo1, hi1);
        lo = lower(lo, lo1);
        hi = upper(hi, hi1);
        n.lo = lo;
        n.hi = hi;
        n.first = children;
        nodes_[node] = n;
        return;
    }

    if (frame && count <= kInheritedSize) {
        for (int k = 0; k < 3; ++k) n.axis[k] = frame[k];
    } else {
        fitFrame(t, first, count, n.axis);
    }
    // A margin around a triangle reaches as far along an axis as the axis's
    // length, which rounding keeps within a hair of 1.
    double grow[3];
    for (int k = 0; k < 3; ++k) grow[k] = std::sqrt(dot(n.axis[k], n.axis[k])) * (1 + 1e-9);
    double plo[3] = {inf, inf, inf}, phi[3] = {-inf, -inf, -inf};
    double cmin[3] = {inf, inf, inf}, cmax[3] = {-inf, -inf, -inf};
    lo = Vec3(inf, inf, inf);
    hi = Vec3(-inf, -inf, -inf);
    for (int i = first; i < end; ++i) {
        const Triangle& r = t[i];
        for (int k = 0; k < 3; ++k) {
            const double pa = dot(n.axis[k], r.a), pb = dot(n.axis[k], r.b), pc = dot(n.axis[k], r.c);
            plo[k] = std::min(plo[k], std::min({pa, pb, pc}) - r.pad * grow[k]);
            phi[k] = std::max(phi[k], std::max({pa, pb, pc}) + r.pad * grow[k]);
            const double pm = pa + pb + pc;
            cmin[k] = std::min(cmin[k], pm);
            cmax[k] = std::max(cmax[k], pm);
        }
        const Vec3 pad(r.pad, r.pad, r.pad);
        lo = lower(lo, lower(r.a, lower(r.b, r.c)) - pad);
        hi = upper(hi, upper(r.a, upper(r.b, r.c)) + pad);
    }
    const Vec3 margin(2 * slack, 2 * slack, 2 * slack);
    lo = lo - margin;
    hi = hi + margin;
    n.lo = Vec3(plo[0], plo[1], plo[2]) - margin;
    n.hi = Vec3(phi[0], phi[1], phi[2]) + margin;
    if (count <= kLeafSize) {
        n.first = first;
        n.count = count;
        nodes_[node] = n;
        return;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (cmax[k] - cmin[k] > cmax[axis] - cmin[axis]) axis = k;
    halve(t, first, count, n.axis[axis]);
    n.first = children;
    nodes_[node] = n;
    nodes_.emplace_back();
    nodes_.emplace_back();
    Vec3 ignored0, ignored1;
    split(children, t, first, count / 2, slack, n.axis, ignored0, ignored1);
    split(children + 1, t, first + count / 2, count - count / 2, slack, n.axis, ignored0, ignored1);
}
