#include <algorithm>
#include <cmath>

#include "creasepattern/crease_pattern.h"
#include "creasepattern/sheet_geometry.h"
#include "model/oripoly.h"

namespace {

using namespace sheet;

const double kPi = 3.14159265358979323846;

double squaredLength(const PatternHalfEdge* s) {
    if (!s->vert || !s->prev || !s->prev->vert) return 0.0;
    Vec2 d = s->vert->pos - s->prev->vert->pos;
    return dot(d, d);
}

bool isTriangle(const PatternHalfEdge* p) {
    return p->face && p->next && p->prev && p->next->next == p->prev;
}

// The side r of p's face whose head sees p under the largest angle; null
// when no candidate exceeds the lowest possible angle (degenerate input).
PatternHalfEdge* chooseApex(PatternHalfEdge* p) {
    const PatternVertex* t = p->prev->vert;
    const PatternVertex* h = p->vert;
    double best = -kPi / 2;
    PatternHalfEdge* apex = nullptr;
    for (PatternHalfEdge* r = p->next; r && r != p->prev; r = r->next) {
        const PatternVertex* c = r->vert;
        Vec2 u = t->pos - c->pos;
        Vec2 v = h->pos - c->pos;
        if (r == p->prev->prev && takesIdealDirection(p->prev)) u = p->prev->idealDirection();
        if (r == p->next && takesIdealDirection(p->next)) v = -p->next->idealDirection();
        u.normalize();
        v.normalize();
        double angle = std::atan2(-dot(u, v), cross(u, v)) + kPi / 2;
        if (angle > best) {
            best = angle;
            apex = r;
        }
    }
    return apex;
}

}  // namespace

int countSides(const PatternFace* f) {
    if (!f || !f->edge) return 0;
    // A ring that does not come back is cut short instead of walked forever.
    size_t limit = f->owner ? f->owner->halfEdges.size() : static_cast<size_t>(-1);
    int n = 0;
    const PatternHalfEdge* s = f->edge;
    do {
        ++n;
        s = s->next;
    } while (s && s != f->edge && static_cast<size_t>(n) <= limit);
    return n;
}

PatternHalfEdge* longestEdge(PatternFace* f) {
    if (!f || !f->edge) return nullptr;
    PatternHalfEdge* longest = f->edge;
    double best = 0.0;
    PatternHalfEdge* s = f->edge;
    do {
        double len = squaredLength(s);
        if (len > best) {
            best = len;
            longest = s;
        }
        s = s->prev;
    } while (s && s != f->edge);
    return longest;
}

double minTriangleAngle(const PatternVertex* P0, const PatternVertex* P1, const PatternVertex* P2) {
    const PatternVertex* P[3] = {P0, P1, P2};
    double smallest = 0.0;
    for (int i = 0; i < 3; ++i) {
        Vec2 x = P[(i + 1) % 3]->pos - P[i]->pos;
        Vec2 y = P[(i + 2) % 3]->pos - P[i]->pos;
        double a = std::atan2(cross(x, y), dot(x, y));
        if (i == 0 || a < smallest) smallest = a;
    }
    return smallest;
}

bool flipEdge(PatternHalfEdge* p) {
    PatternHalfEdge* s = p ? p->pair : nullptr;
    if (!s || !isTriangle(p) || !isTriangle(s) || p->face == s->face) return false;

    PatternHalfEdge* pn = p->next;  // h to a
    PatternHalfEdge* pp = p->prev;  // a to t
    PatternHalfEdge* sn = s->next;  // t to a'
    PatternHalfEdge* sp = s->prev;  // a' to h
    PatternFace* fp = p->face;
    PatternFace* fs = s->face;

    p->vert = sn->vert;
    s->vert = pn->vert;

    p->next = sp;
    sp->next = pn;
    pn->next = p;
    p->prev = pn;
    pn->prev = sp;
    sp->prev = p;

    s->next = pp;
    pp->next = sn;
    sn->next = s;
    s->prev = sn;
    sn->prev = pp;
    pp->prev = s;

    sp->face = fp;
    pp->face = fs;
    fp->edge = p;
    fs->edge = s;
    return true;
}

PatternHalfEdge* CreasePattern::splitFace(PatternHalfEdge* p, PatternHalfEdge* q) {
    PatternFace* oldFace = p->face;
    PatternHalfEdge* pNext = p->next;
    PatternHalfEdge* qNext = q->next;
    oldFace->edge = q;

    halfEdges.push_front(PatternHalfEdge());
    PatternHalfEdge* A = &halfEdges.front();
    halfEdges.push_front(PatternHalfEdge());
    PatternHalfEdge* B = &halfEdges.front();
    A->owner = B->owner = this;
    A->pair = B;
    B->pair = A;
    A->vert = q->vert;
    A->prev = p;
    A->next = qNext;
    B->vert = p->vert;
    B->prev = q;
    B->next = pNext;
    B->face = oldFace;

    faces.push_front(PatternFace());
    PatternFace* newFace = &faces.front();
    newFace->owner = this;
    newFace->kind = VertexMolecule;
    newFace->edge = A;

    p->next = A;
    qNext->prev = A;
    q->next = B;
    pNext->prev = B;

    PatternHalfEdge* s = A;
    do {
        s->face = newFace;
        s = s->next;
    } while (s != A);
    return A;
}

void CreasePattern::splitMolecule(PatternHalfEdge* p) {
    while (p && p->face && p->face->kind == VertexMolecule && countSides(p->face) > 3) {
        PatternHalfEdge* b = chooseApex(p);
        if (!b) return;
        if (b != p->prev->prev) {
            PatternHalfEdge* a1 = splitFace(p->prev, b);
            splitMolecule(longestEdge(a1->face));
        }
        if (b == p->next) return;
        PatternHalfEdge* a2 = splitFace(b, p);
        p = longestEdge(a2->face);
    }
}

void CreasePattern::triangulateVertexMolecules() {
    if (triangulated) return;
    // Faces made by the splits go to the front and are not met by this walk.
    for (PatternFace& f : faces)
        if (f.kind == VertexMolecule && countSides(&f) > 3) splitMolecule(longestEdge(&f));
    triangulated = true;
}

int CreasePattern::improveVertexMolecules() {
    if (!built) {
        triangulateVertexMolecules();
        return 0;
    }
    int flips = 0;
    for (PatternFace& G : faces) {
        if (G.kind != VertexMolecule || countSides(&G) != 3) continue;
        PatternHalfEdge* p = G.edge;
        for (int side = 0; side < 3; ++side, p = p->next) {
            const PatternFace* H = p->pair ? p->pair->face : nullptr;
            if (!H || H == &G || H->kind != VertexMolecule || countSides(H) != 3) continue;
            const PatternVertex* t = p->prev->vert;
            const PatternVertex* h = p->vert;
            const PatternVertex* a = p->next->vert;
            const PatternVertex* a2 = p->pair->next->vert;
            double before = std::min(minTriangleAngle(t, h, a), minTriangleAngle(h, t, a2));
            double after = std::min(minTriangleAngle(h, a, a2), minTriangleAngle(t, a2, a));
            if (after > before) {
                flips += flipEdge(p);
                break;
            }
        }
    }
    return flips;
}
