#include <cmath>
#include <cstdio>

#include "model/oripoly.h"

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

// Shortens `limit` to the nearest hit in front of P, after scaling the hit
// distance by `share`.
void limitByRecords(const std::vector<TriangleRecord>& records, const Vec3& P, const Vec3& dir, double share,
                    double& limit) {
    for (const TriangleRecord& r : records) {
        double t = share * hitAlongDirection(r, P, dir);
        if (0 < t && t < limit) limit = t;
    }
}

}  // namespace

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
    printf("_");
    for (Face& f : faces) buildFan(f, false, f.triangles);
    for (Vertex& v : vertices) {
        computeVertexOffset(&v);
        printf(".");
    }
    for (Face& f : faces) buildFan(f, true, f.offsetTriangles);
    for (HalfEdge& h : halfEdges) {
        Vec3 A = h.vert->pos, B = h.pair->vert->pos;
        Vec3 A1 = A + h.vert->offset, B1 = B + h.pair->vert->offset;
        Vec3 m = (A1 + B1) / 2, mu = (A + B) / 2;
        h.stripTriangles.push_back(makeRecord(A, A1 - A, m - A));
        h.stripTriangles.push_back(makeRecord(mu, A - mu, m - mu));
    }
    for (Vertex& v : vertices) limitVertexOffset(&v);
    for (HalfEdge& h : halfEdges) h.computeTuckAngle();
}

void Polyhedron::computeVertexOffset(Vertex* v) {
    v->offset = Vec3();
    if (v->edge.empty()) return;

    HalfEdge* first = v->edge[0]->pair;
    HalfEdge* s = first;
    do {
        if (s->face) v->offset = v->offset + (-s->cornerAngle) * s->face->normal;
        s = s->next->pair;
    } while (s != first);

    Vec3 dir = unit(v->offset);
    Vec3 ray = rayDirection(dir);
    double limit = 0.1 * norm(bboxSize());
    for (const Face& f : faces)
        if (!hasCornerAt(f, v)) limitByRecords(f.triangles, v->pos, ray, 0.5, limit);
    v->offset = dir * limit;
}

void Polyhedron::limitVertexOffset(Vertex* v) {
    double L = norm(v->offset);
    Vec3 dir = unit(v->offset);
    Vec3 ray = rayDirection(dir);
    for (const Face& f : faces)
        if (!hasCornerAt(f, v)) limitByRecords(f.offsetTriangles, v->pos, ray, 1.0, L);
    for (const HalfEdge& h : halfEdges)
        if (h.vert != v) limitByRecords(h.stripTriangles, v->pos, ray, 1.0, L);
    v->offset = dir * L;
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
