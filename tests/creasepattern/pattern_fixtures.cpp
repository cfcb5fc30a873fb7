#include "creasepattern/pattern_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "support/test_support.h"

namespace patternfixtures {

HandPattern::HandPattern() { sheet.push_back(Face()); }

PatternVertex* HandPattern::corner(double x, double y) {
    modelEdges.push_back(HalfEdge());
    HalfEdge* X = &modelEdges.back();
    X->face = &sheet.front();
    X->corner = Vec2(x, y);
    cp.vertices.push_front(PatternVertex());
    PatternVertex* v = &cp.vertices.front();
    v->owner = &cp;
    v->pos = Vec2(x, y);
    v->modelHalfEdge = X;
    X->patternVertex = v;
    return v;
}

PatternFace* HandPattern::ring(const std::vector<PatternVertex*>& corners, char kind) {
    cp.faces.push_front(PatternFace());
    PatternFace* f = &cp.faces.front();
    f->owner = &cp;
    f->kind = kind;
    size_t n = corners.size();
    std::vector<PatternHalfEdge*> sides(n);
    for (size_t i = 0; i < n; ++i) {
        cp.halfEdges.push_front(PatternHalfEdge());
        sides[i] = &cp.halfEdges.front();
        sides[i]->owner = &cp;
        sides[i]->face = f;
        sides[i]->vert = corners[(i + 1) % n];
    }
    for (size_t i = 0; i < n; ++i) {
        sides[i]->next = sides[(i + 1) % n];
        sides[(i + 1) % n]->prev = sides[i];
    }
    f->edge = sides[0];
    return f;
}

PatternFace* HandPattern::closeOutside(char kind) {
    std::vector<PatternHalfEdge*> open;
    for (PatternHalfEdge& h : cp.halfEdges)
        if (!h.pair) open.push_back(&h);
    cp.faces.push_front(PatternFace());
    PatternFace* outside = &cp.faces.front();
    outside->owner = &cp;
    outside->kind = kind;
    std::vector<PatternHalfEdge*> partners;
    for (PatternHalfEdge* h : open) {
        cp.halfEdges.push_front(PatternHalfEdge());
        PatternHalfEdge* o = &cp.halfEdges.front();
        o->owner = &cp;
        o->face = outside;
        o->vert = h->prev->vert;
        pairSides(o, h);
        partners.push_back(o);
    }
    // The partner that follows o starts where o ends.
    for (PatternHalfEdge* o : partners)
        for (PatternHalfEdge* n : partners)
            if (n->pair->vert == o->vert) {
                o->next = n;
                n->prev = o;
            }
    outside->edge = partners.empty() ? nullptr : partners.front();
    return outside;
}

PatternHalfEdge* sideBetween(PatternFace* f, const PatternVertex* tail, const PatternVertex* head) {
    PatternHalfEdge* s = f->edge;
    do {
        if (s->vert == head && s->prev->vert == tail) return s;
        s = s->next;
    } while (s != f->edge);
    return nullptr;
}

void pairSides(PatternHalfEdge* a, PatternHalfEdge* b) {
    a->pair = b;
    b->pair = a;
}

std::string patternFault(const CreasePattern& cp) {
    std::set<const void*> verts, edges, faces;
    for (const PatternVertex& v : cp.vertices) verts.insert(&v);
    for (const PatternHalfEdge& h : cp.halfEdges) edges.insert(&h);
    for (const PatternFace& f : cp.faces) faces.insert(&f);
    auto known = [](const std::set<const void*>& s, const void* p) { return p == nullptr || s.count(p); };

    std::ostringstream out;
    int index = 0;
    for (const PatternHalfEdge& h : cp.halfEdges) {
        out.str("");
        out << "half-edge #" << index++ << ": ";
        if (h.owner != &cp) return out.str() + "wrong owner";
        if (!h.vert || !known(verts, h.vert)) return out.str() + "head missing or foreign";
        if (!known(edges, h.pair) || !known(edges, h.next) || !known(edges, h.prev) || !known(faces, h.face))
            return out.str() + "link to a record outside the pattern";
        if (!h.pair || h.pair == &h || h.pair->pair != &h) return out.str() + "unpaired";
        if (h.next && h.next->prev != &h) return out.str() + "next.prev is not itself";
        if (h.prev && h.prev->next != &h) return out.str() + "prev.next is not itself";
        if (h.face && (!h.next || !h.prev)) return out.str() + "faced half-edge off its cycle";
        if (h.next && h.next->face != h.face) return out.str() + "next in another face";
        if (h.prev && h.pair->vert != h.prev->vert) return out.str() + "pair does not end at the tail";
        if (h.boundary != (!h.face || !h.pair->face)) return out.str() + "boundary flag wrong";
    }
    for (const PatternFace& f : cp.faces) {
        if (!f.edge || f.edge->face != &f) return "face without its own edge";
        size_t n = 0;
        const PatternHalfEdge* s = f.edge;
        do {
            if (s->face != &f) return "face cycle leaves its face";
            s = s->next;
            if (++n > cp.halfEdges.size()) return "face cycle does not close";
        } while (s != f.edge);
        size_t claimed = 0;
        for (const PatternHalfEdge& h : cp.halfEdges) claimed += h.face == &f;
        if (claimed != n) return "half-edges claim a face they are not on";
    }
    for (const PatternVertex& v : cp.vertices) {
        if (!known(edges, v.polygonEdge) || !known(edges, v.vtmEdge))
            return "corner links outside the pattern";
        if (v.polygonEdge && v.polygonEdge->prev->vert != &v) return "polygon edge does not leave its corner";
        if (v.vtmEdge && v.vtmEdge->prev->vert != &v) return "VTM edge does not leave its corner";
    }
    return "";
}

void placeFaces(Polyhedron& model) {
    int i = 0;
    for (Face& f : model.faces) {
        f.translation = Vec2(3.0 * (i % 7), 3.0 * (i / 7));
        ++i;
    }
    for (HalfEdge& h : model.halfEdges)
        if (h.face) h.corner = Vec2(h.vert->pos.x, h.vert->pos.y + 0.5 * h.vert->pos.z);
    for (HalfEdge& h : model.halfEdges) {
        const HalfEdge* faced = h.face ? &h : h.pair;
        Vec2 d = faced->corner - faced->prev->corner;
        h.direction = h.face ? d : -d;
        h.direction.normalize();
    }
}

int loadLaidOut(Polyhedron& model, const std::string& objText) {
    int result = testsupport::loadObjText(model, objText);
    if (result != 0) return result;
    for (HalfEdge& h : model.halfEdges) h.onCut = !h.face || !h.pair->face;
    model.numberElements();
    placeFaces(model);
    return 0;
}

void buildPattern(Polyhedron& model) {
    CreasePattern& cp = model.creasePattern;
    cp.attachModel(&model);
    cp.model = &model;
    cp.buildPolygons();
    cp.buildVertexMolecules();
    cp.buildEdgeMolecules();
    cp.closePatternBoundary();
    cp.built = true;
}

void restAndTick(Polyhedron& working, const SolverOptions& options) {
    ASSERT_GE(testsupport::idleUntilRest(working, options, 5000), 0);
    int ticks = 0;
    while (creasePatternTick(working, options) && ++ticks < 100) {
    }
    ASSERT_LT(ticks, 100);
}

namespace {

bool splittableTuck(const HalfEdge& h) {
    auto polygon = [](const Face* f) { return f && f->edge->next->next != f->edge; };
    return !h.onCut && polygon(h.face) && h.pair && polygon(h.pair->face);
}

}  // namespace

HalfEdge* splittable(Polyhedron& model, int n) {
    for (HalfEdge& h : model.halfEdges)
        if (splittableTuck(h) && n-- == 0) return &h;
    return nullptr;
}

std::vector<HalfEdge*> widestSplittable(Polyhedron& model, size_t count) {
    std::vector<HalfEdge*> tucks;
    for (HalfEdge& h : model.halfEdges)
        if (splittableTuck(h) && model.solver.edgeSign(&h) > 0) tucks.push_back(&h);
    const std::vector<double>& widths = model.solver.tuckWidths;
    std::sort(tucks.begin(), tucks.end(), [&](const HalfEdge* a, const HalfEdge* b) {
        return widths[a->edgeIndex] > widths[b->edgeIndex];
    });
    tucks.resize(std::min(count, tucks.size()));
    return tucks;
}

int countFaces(const CreasePattern& cp, char kind) {
    int n = 0;
    for (const PatternFace& f : cp.faces) n += f.kind == kind;
    return n;
}

bool isFiniteVec(const Vec2& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace patternfixtures
