#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "model/console_line.h"
#include "model/memory_use.h"
#include "model/oripoly.h"
#include "model/ray_index.h"

namespace {

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

Vec3 unit(Vec3 a) { return a.normalize(); }

// atan2 of |a x b| and a.b: the unsigned angle between a and b, 0 when either is zero.
double angleBetween(const Vec3& a, const Vec3& b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

Vec3 cornerPosition(const HalfEdge* h, bool offsetSurface) {
    return offsetSurface ? h->vert->pos + h->vert->offset : h->vert->pos;
}

TriangleRecord makeRecord(const Vec3& origin, const Vec3& e1, const Vec3& e2) {
    TriangleRecord r;
    r.origin = origin;
    r.valid = false;
    r.init(e1, e2);
    return r;
}

// The fan's apex is the corner whose neighbours carry no diagonal; for a
// triangle that is the face's own edge.
HalfEdge* fanApex(const Face& f) {
    HalfEdge* s = f.edge;
    do {
        if (s->prev->diagonals.empty() && s->next->diagonals.empty()) return s;
        s = s->next;
    } while (s != f.edge);
    return f.edge;
}

void buildFan(const Face& f, bool offsetSurface, std::vector<TriangleRecord>& out) {
    out.clear();
    HalfEdge* s = fanApex(f);
    if (s->prev->prev == s) return;  // two-sided: nothing to hit
    Vec3 origin = cornerPosition(s, offsetSurface);
    for (HalfEdge* c = s->prev->prev;; c = c->prev) {
        out.push_back(makeRecord(origin, cornerPosition(c, offsetSurface) - origin,
                                 cornerPosition(c->next, offsetSurface) - origin));
        if (c == s->next) break;
    }
}

bool hasCornerAt(const Face& f, const Vertex* v) {
    const HalfEdge* q = f.edge;
    do {
        if (q->vert == v) return true;
        q = q->next;
    } while (q != f.edge);
    return false;
}

// rayHit with its direction already normalised the way rayHit does it, so
// that a ray tested against many records is normalised once.
double hitAlongDirection(const TriangleRecord& r, const Vec3& P, const Vec3& d) {
    if (!r.valid) return 0;
    Vec3 q = r.toLocal(r.origin - P);
    Vec3 dl = r.toLocal(d);
    if (dl.z == 0.0) return 0;
    double t = q.z / dl.z;
    double u = t * dl.x - q.x;
    double v = t * dl.y - q.y;
    if (u > -0.01 && v > -0.01 && u + v < 1.01) return t;
    return 0;
}

Vec3 rayDirection(Vec3 d) {
    if (dot(d, d) != 1.0) d.normalize();
    return d;
}

double largestMagnitude(const Vec3& a) {
    return std::max(std::abs(a.x), std::max(std::abs(a.y), std::abs(a.z)));
}

bool finite(const Vec3& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// hitAlongDirection accepts t only where P + t d is near the record's
// triangle grown by the test's margins, the triangle with local corners
// (-0.01, -0.01), (1.02, -0.01), (-0.01, 1.02). This is that triangle with a
// margin for the rounding of the test and of this reconstruction, for hits
// no farther than `reach` from the ray's start. A record too ill-conditioned
// (or too large) for such a bound gets none and must be tested by every ray.
bool acceptanceTriangle(const TriangleRecord& r, double reach, RayIndex::Triangle& out) {
    const double* a = r.inverse;
    const Vec3 r0(a[0], a[1], a[2]), r1(a[3], a[4], a[5]), r2(a[6], a[7], a[8]);
    // The columns of the matrix that `inverse` inverts: e1, e2 and the normal,
    // up to rounding.
    Vec3 e1 = cross(r1, r2), e2 = cross(r2, r0), n = cross(r0, r1);
    const double det = dot(r0, e1);
    if (!std::isfinite(det) || det == 0.0) return false;
    e1 = e1 / det;
    e2 = e2 / det;
    n = n / det;
    auto sum = [](const Vec3& p) { return std::abs(p.x) + std::abs(p.y) + std::abs(p.z); };
    // Scale-free condition of the frame: the rounding of the local
    // coordinates, carried back to space, stays below a few eps * S times the
    // distances involved; the margin takes far more.
    const double S = norm(e1) * sum(r0) + norm(e2) * sum(r1) + norm(n) * sum(r2);
    const double rel = 1e3 * std::numeric_limits<double>::epsilon() * S * S;
    if (!(rel <= 1e-2)) return false;
    out.a = r.origin - 0.01 * e1 - 0.01 * e2;
    out.b = r.origin + 1.02 * e1 - 0.01 * e2;
    out.c = r.origin - 0.01 * e1 + 1.02 * e2;
    out.pad = rel * (2 * reach + 3.09 * (norm(e1) + norm(e2)));
    return finite(out.a) && finite(out.b) && finite(out.c) && std::isfinite(out.pad);
}

// The records one pass of rays is cast against, each with what excludes it
// from a ray: its face when the face has a corner at the ray's vertex, or the
// strip's own vertex. A search gives exactly the limit of testing every
// record that is not excluded: the limit is a minimum, and a record whose
// acceptance triangle the ray does not come near within the limit cannot
// lower it. Built for the records as they are; it lives only as long as the
// pass that built it. Before build(), every ray tests every record.
class RecordSearch {
public:
    explicit RecordSearch(size_t faceCount) : faceStamp_(faceCount, 0), faceTouches_(faceCount, 0) {}

    // The most a search over `records` records of `faces` faces holds: its
    // entries, pushed one by one, beside the index being built and the
    // triangles it is built from.
    static double bytesFor(double records, double faces) {
        return 2.0 * records * (sizeof(Entry) + sizeof(int)) + RayIndex::bytesFor(records) +
               faces * (sizeof(unsigned) + sizeof(char));
    }

    void addFace(const Face& f, int slot, const std::vector<TriangleRecord>& records) {
        for (const TriangleRecord& r : records)
            if (r.valid) entries_.push_back({&r, &f, slot, nullptr});
    }

    void addStrip(const HalfEdge& h) {
        for (const TriangleRecord& r : h.stripTriangles)
            if (r.valid) entries_.push_back({&r, nullptr, -1, h.vert});
    }

    // For rays from the vertices' positions that look no farther than `reach`.
    void build(double reach, const std::list<Vertex>& vertices) {
        reach_ = reach;
        std::vector<RayIndex::Triangle> triangles;
        triangles.reserve(entries_.size());
        double scale = reach;
        for (const Vertex& v : vertices) scale = std::max(scale, largestMagnitude(v.pos));
        for (size_t i = 0; i < entries_.size(); ++i) {
            RayIndex::Triangle t;
            if (std::isfinite(reach) && acceptanceTriangle(*entries_[i].record, reach, t)) {
                t.id = static_cast<int>(i);
                triangles.push_back(t);
                scale = std::max(
                    {scale, largestMagnitude(t.a), largestMagnitude(t.b), largestMagnitude(t.c), t.pad});
            } else {
                always_.push_back(static_cast<int>(i));
            }
        }
        // The corners above, and the frames and slab tests of the index,
        // round by a few eps of the largest coordinate in play. Near the
        // smallest doubles rounding is no longer relative, and near the
        // largest the index's sums could overflow: there every ray tests
        // every record.
        scale_ = scale;
        indexed_ = scale >= 1e-100 && scale <= 1e300;
        if (indexed_) {
            index_.build(std::move(triangles), 1e-9 * scale);
        } else {
            always_.clear();
        }
    }

    // Shortens `limit` to the nearest hit in front of P, after scaling the
    // hit distance by `share`.
    void limitByRecords(const Vertex* v, const Vec3& P, const Vec3& dir, double share, double& limit) {
        if (++stamp_ == 0) {
            std::fill(faceStamp_.begin(), faceStamp_.end(), 0);
            stamp_ = 1;
        }
        auto test = [&](const Entry& e) {
            if (excluded(e, v)) return;
            double t = share * hitAlongDirection(*e.record, P, dir);
            if (0 < t && t < limit) limit = t;
        };
        // Only the rays the index was built for may use it.
        if (!indexed_ || !(limit / share <= reach_) || !(largestMagnitude(P) <= scale_)) {
            for (const Entry& e : entries_) test(e);
            return;
        }
        for (int i : always_) test(entries_[i]);
        // A little beyond the farthest t that can still lower the limit.
        auto reach = [&] { return limit / share * (1 + 1e-9); };
        index_.search(P, dir, reach(), [&](int i) {
            test(entries_[i]);
            return reach();
        });
    }

private:
    struct Entry {
        const TriangleRecord* record;
        const Face* face;
        int faceSlot;
        const Vertex* stripVertex;
    };

    bool excluded(const Entry& e, const Vertex* v) {
        if (!e.face) return e.stripVertex == v;
        if (faceStamp_[e.faceSlot] != stamp_) {
            faceStamp_[e.faceSlot] = stamp_;
            faceTouches_[e.faceSlot] = hasCornerAt(*e.face, v);
        }
        return faceTouches_[e.faceSlot];
    }

    std::vector<Entry> entries_;
    // Those the index leaves out: records it cannot bound.
    std::vector<int> always_;
    RayIndex index_;
    bool indexed_ = false;
    double reach_ = 0.0;
    double scale_ = 0.0;
    // Whether a face has a corner at the current ray's vertex, found once per ray.
    std::vector<unsigned> faceStamp_;
    std::vector<char> faceTouches_;
    unsigned stamp_ = 0;
};

double firstLimit(const Polyhedron& m) { return 0.1 * norm(m.bboxSize()); }

// The records of the first pass: the fans of the faces on the surface.
RecordSearch surfaceRecords(const Polyhedron& m) {
    RecordSearch search(m.faces.size());
    int slot = 0;
    for (const Face& f : m.faces) search.addFace(f, slot++, f.triangles);
    return search;
}

// The records of the second pass: the fans on the offset surface and the
// strips between the two surfaces.
RecordSearch offsetRecords(const Polyhedron& m) {
    RecordSearch search(m.faces.size());
    int slot = 0;
    for (const Face& f : m.faces) search.addFace(f, slot++, f.offsetTriangles);
    for (const HalfEdge& h : m.halfEdges) search.addStrip(h);
    return search;
}

void offsetAlongNormals(Polyhedron& m, Vertex* v, RecordSearch& search) {
    v->offset = Vec3();
    if (v->edge.empty()) return;

    HalfEdge* first = v->edge[0]->pair;
    HalfEdge* s = first;
    do {
        if (s->face) v->offset = v->offset + (-s->cornerAngle) * s->face->normal;
        s = s->next->pair;
    } while (s != first);

    Vec3 dir = unit(v->offset);
    double limit = firstLimit(m);
    search.limitByRecords(v, v->pos, rayDirection(dir), 0.5, limit);
    v->offset = dir * limit;
}

void limitAlongOffset(Vertex* v, RecordSearch& search) {
    double L = norm(v->offset);
    Vec3 dir = unit(v->offset);
    search.limitByRecords(v, v->pos, rayDirection(dir), 1.0, L);
    v->offset = dir * L;
}

}  // namespace

double recordSearchBytes(double records, double faces) { return RecordSearch::bytesFor(records, faces); }

void TriangleRecord::init(const Vec3& e1, const Vec3& e2) {
    Vec3 n = unit(cross(e1, e2));
    // Columns e1, e2, n: the rows of the inverse are the cross products of
    // the other two columns over the determinant.
    Vec3 r0 = cross(e2, n), r1 = cross(n, e1), r2 = cross(e1, e2);
    double det = dot(e1, r0);
    if (det == 0.0) return;
    const Vec3 rows[3] = {r0 / det, r1 / det, r2 / det};
    for (int i = 0; i < 3; ++i) {
        inverse[3 * i] = rows[i].x;
        inverse[3 * i + 1] = rows[i].y;
        inverse[3 * i + 2] = rows[i].z;
    }
    valid = true;
}

Vec3 TriangleRecord::toLocal(const Vec3& p) const {
    return Vec3(inverse[0] * p.x + inverse[1] * p.y + inverse[2] * p.z,
                inverse[3] * p.x + inverse[4] * p.y + inverse[5] * p.z,
                inverse[6] * p.x + inverse[7] * p.y + inverse[8] * p.z);
}

double TriangleRecord::rayHit(Vec3 P, Vec3 d) const { return hitAlongDirection(*this, P, rayDirection(d)); }

void Polyhedron::computeOffsets() {
    consolePrintf("_");
    for (Face& f : faces) buildFan(f, false, f.triangles);
    {
        RecordSearch search = surfaceRecords(*this);
        search.build(firstLimit(*this) / 0.5, vertices);
        for (Vertex& v : vertices) {
            offsetAlongNormals(*this, &v, search);
            consolePrintf(".");
        }
    }
    for (Face& f : faces) buildFan(f, true, f.offsetTriangles);
    for (HalfEdge& h : halfEdges) {
        Vec3 A = h.vert->pos, B = h.pair->vert->pos;
        Vec3 A1 = A + h.vert->offset, B1 = B + h.pair->vert->offset;
        Vec3 m = (A1 + B1) / 2, mu = (A + B) / 2;
        h.stripTriangles.push_back(makeRecord(A, A1 - A, m - A));
        h.stripTriangles.push_back(makeRecord(mu, A - mu, m - mu));
    }
    {
        RecordSearch search = offsetRecords(*this);
        double reach = 0.0;
        for (const Vertex& v : vertices) reach = std::max(reach, norm(v.offset));
        search.build(reach, vertices);
        for (Vertex& v : vertices) limitAlongOffset(&v, search);
    }
    for (HalfEdge& h : halfEdges) h.computeTuckAngle();
}

// Alone, with no index built for the records, a vertex tests every record.
void Polyhedron::computeVertexOffset(Vertex* v) {
    RecordSearch search = surfaceRecords(*this);
    offsetAlongNormals(*this, v, search);
}

void Polyhedron::limitVertexOffset(Vertex* v) {
    RecordSearch search = offsetRecords(*this);
    limitAlongOffset(v, search);
}

void HalfEdge::computeTuckAngle() {
    Vec3 P0 = vert->pos, P1 = pair->vert->pos;
    Vec3 O0 = vert->offset, O1 = pair->vert->offset;
    Vec3 s = unit(O0);
    Vec3 m = (P0 + O0 + P1 + O1) / 2;
    Vec3 c = unit(m - P0);
    Vec3 a = unit(P1 - P0);
    tuckAngle = angleBetween(s, c) + angleBetween(c, a);
}
