#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "model/console_line.h"
#include "model/oripoly.h"

namespace {

const double kTwoPi = 6.283185307179586;
// Below this product of the sines of the two corner angles at a bend's head
// the bend reads as flat.
const double kFlatBend = 0.0001;

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

// Cycle members share their `face` (null on a boundary cycle), so a partner
// whose face differs can never be met while walking h's own cycle.
bool hasDiagonalInCycle(const HalfEdge* h) {
    for (const HalfEdge* d : h->diagonals)
        if (d->face == h->face) return true;
    return false;
}

bool isDiagonal(const HalfEdge* h, const HalfEdge* r) {
    for (const HalfEdge* d : h->diagonals)
        if (d == r) return true;
    return false;
}

// The next stop of the fan walk at h's head: the next corner backwards from r
// that is joined to h, or h.next which closes the fan.
HalfEdge* nextFanCorner(const HalfEdge* h, HalfEdge* r, bool walkDiagonals) {
    if (!walkDiagonals) return h->next;
    while (r != h->next && !isDiagonal(h, r)) r = r->prev;
    return r;
}

// One fan triangle's angle at v as a unit complex number. Coincident corners
// count as no turn at all so that no NaN reaches the solver.
void fanStep(const Vec3& v, const Vec3& from, const Vec3& to, double& c, double& s) {
    Vec3 a = from - v, b = to - v;
    double n = std::sqrt(dot(a, a) * dot(b, b));
    if (n == 0.0) {
        c = 1.0;
        s = 0.0;
        return;
    }
    c = dot(a, b) / n;
    s = norm(cross(a, b)) / n;
}

}  // namespace

void Polyhedron::triangulateFaces() {
    for (Face& f : faces) f.triangulate();
}

void Face::triangulate() {
    int corners = 0;
    HalfEdge* h = edge;
    do {
        ++corners;
        h = h->next;
    } while (h != edge);
    if (corners < 4) return;

    double best = DBL_MAX;
    HalfEdge* apex = edge;
    HalfEdge* s = edge;
    do {
        double cost = 0.0;
        for (HalfEdge* q = s->prev->prev;; q = q->prev) {
            cost += norm(q->vert->pos - s->vert->pos);
            if (q == s->next->next) break;
        }
        if (cost < best) {
            best = cost;
            apex = s;
        }
        s = s->next;
    } while (s != edge);

    for (HalfEdge* d = apex->prev->prev;; d = d->prev) {
        d->diagonals.push_back(apex);
        apex->diagonals.push_back(d);
        if (d == apex->next->next) break;
    }
}

void HalfEdge::computeAngles() {
    const Vec3& v = vert->pos;
    cornerCos = 1.0;
    cornerSin = 0.0;

    if (prev->prev != this) {
        bool walkDiagonals = hasDiagonalInCycle(this);
        HalfEdge* q = prev;
        HalfEdge* r = prev->prev;
        do {
            r = nextFanCorner(this, r, walkDiagonals);
            double c, s;
            fanStep(v, q->vert->pos, r->vert->pos, c, s);
            double nc = cornerCos * c - cornerSin * s;
            double ns = cornerSin * c + cornerCos * s;
            cornerCos = nc;
            cornerSin = ns;
            q = r;
            r = r->prev;
        } while (r != this);
    }

    cornerAngle = std::atan2(cornerSin, cornerCos);
    while (cornerAngle < 0) {
        cornerAngle += kTwoPi;
        consolePrintf("hoge");
    }

    Vec3 u = prev->vert->pos;
    Vec3 t = prev->prev->vert->pos;
    Vec3 x = pair->prev->pair->vert->pos;
    Vec3 a = u - v, s = t - v, g = x - v;
    Vec3 nF = cross(s, a);
    Vec3 nG = cross(a, g);
    double scale = norm(nF) * norm(nG);
    // The two normals are too short to trust when the corner angles at v on
    // either side are near 0 or pi. Measured against the edges' own lengths
    // the test does not depend on the model's units.
    double la = norm(a);
    double reference = norm(s) * la * la * norm(g);
    dihedralSin = scale > kFlatBend * reference ? la * dot(g, nF) / scale : 0.0;
    length = la;
}

void Vertex::computeDefects() {
    if (edge.empty()) return;
    double sum = 0.0;
    HalfEdge* first = edge[0];
    HalfEdge* p = first;
    do {
        sum += p->dihedralSin;
        p = p->pair->next;
    } while (p != first);
    bendDefect = kTwoPi - sum;
}

void Face::computeNormal() {
    HalfEdge* h = edge;
    Vec3 n = cross(h->vert->pos - h->pair->vert->pos, h->next->vert->pos - h->vert->pos);
    double len = norm(n);
    normal = len != 0.0 ? n / len : n;
}

void HalfEdge::layoutFace(Vec2 d0) {
    Vec2 d = d0;
    d.normalize();
    prev->corner = Vec2(0.0, 0.0);

    HalfEdge* q = this;
    do {
        q->direction = d;
        q->corner = q->prev->corner + q->length * d;
        double co = q->cornerCos, si = q->cornerSin;
        d = Vec2(-co * d.x - si * d.y, si * d.x - co * d.y);
        q = q->next;
    } while (q != this);

    Vec2 mean;
    int corners = 0;
    q = this;
    do {
        mean = mean + q->corner;
        ++corners;
        q = q->next;
    } while (q != this);
    mean = mean / corners;
    q = this;
    do {
        q->corner = q->corner - mean;
        q = q->next;
    } while (q != this);
}

void Polyhedron::updateGeometry() {
    for (Face& f : faces) f.computeNormal();
    for (HalfEdge& h : halfEdges) h.computeAngles();
    for (Vertex& v : vertices) v.computeDefects();

    if (vertices.empty()) return;
    bboxMin = bboxMax = vertices.front().pos;
    for (const Vertex& v : vertices) {
        const Vec3& p = v.pos;
        if (p.x < bboxMin.x) bboxMin.x = p.x;
        if (p.y < bboxMin.y) bboxMin.y = p.y;
        if (p.z < bboxMin.z) bboxMin.z = p.z;
        if (p.x > bboxMax.x) bboxMax.x = p.x;
        if (p.y > bboxMax.y) bboxMax.y = p.y;
        if (p.z > bboxMax.z) bboxMax.z = p.z;
    }
}

Vec3 Polyhedron::bboxSize() const { return bboxMax - bboxMin; }

double Polyhedron::lengthScale() const {
    Vec3 d = bboxSize();
    double half = 0.5 * std::max({d.x, d.y, d.z});
    return std::isfinite(half) && half > 0.0 ? half : 1.0;
}

void Polyhedron::boundsAt(double alpha, Vec2& maxCorner, Vec2& minCorner) const {
    if (faces.empty()) {
        maxCorner = Vec2(0.5, 0.5);
        minCorner = Vec2(-0.5, -0.5);
        return;
    }
    maxCorner = Vec2(-DBL_MAX, -DBL_MAX);
    minCorner = Vec2(DBL_MAX, DBL_MAX);
    double c = std::cos(alpha), s = std::sin(alpha);
    auto take = [&](const Vec2& p) {
        Vec2 r(p.x * c - p.y * s, p.x * s + p.y * c);
        if (r.x > maxCorner.x) maxCorner.x = r.x;
        if (r.y > maxCorner.y) maxCorner.y = r.y;
        if (r.x < minCorner.x) minCorner.x = r.x;
        if (r.y < minCorner.y) minCorner.y = r.y;
    };
    for (const Face& f : faces) {
        const HalfEdge* q = f.edge;
        do {
            take(f.translation + q->corner);
            q = q->next;
        } while (q != f.edge);
    }
    // The paper must also hold every crease drawn on it: centres and crimp
    // points lie outside the placed faces, some far outside.
    if (!creasePattern.built) return;
    const double shortest = creasePattern.lengthTolerance();
    for (const CreaseLine& line : creasePattern.lines) {
        double squared = line.lengthSquared();
        if (!std::isfinite(squared) || squared < shortest * shortest) continue;
        take(*line.start->point);
        take(*line.end->point);
    }
}

Vec2 Polyhedron::extentAt(double alpha) const {
    Vec2 maxCorner, minCorner;
    boundsAt(alpha, maxCorner, minCorner);
    return maxCorner - minCorner;
}

void Polyhedron::computeArea() {
    double sum = 0.0;
    for (const Face& f : faces) {
        const HalfEdge* q = f.edge;
        do {
            sum += 0.5 * (q->corner.x * q->next->corner.y - q->corner.y * q->next->corner.x);
            q = q->next;
        } while (q != f.edge);
    }
    area = sum;
}

double Polyhedron::efficiencyAt(double alpha) {
    Vec2 e = extentAt(alpha);
    double side = e.y > e.x ? e.y : e.x;
    if (area == 0.0) computeArea();
    // A layout that has not been spread out yet (every corner at one point)
    // covers no square; report nothing rather than 0/0.
    if (side == 0.0) return 0.0;
    return area / (side * side);
}
