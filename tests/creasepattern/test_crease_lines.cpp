#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using namespace patternfixtures;

namespace {

const double kPi = 3.14159265358979323846;

// A triangulated pattern of an open grid: molecules inside, on the paper
// boundary and at its corners.
class GridLines : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(loadLaidOut(model, testsupport::openGridObj(3)), 0);
        buildPattern(model);
        cp().triangulateVertexMolecules();
        ASSERT_EQ(patternFault(cp()), "");
    }
    CreasePattern& cp() { return model.creasePattern; }
    Polyhedron model;
};

const PatternFace* faceAcross(const PatternHalfEdge& s) { return s.pair ? s.pair->face : nullptr; }
bool isMolecule(const PatternFace* f) { return f && f->kind == VertexMolecule; }

// Whether a molecule has the width to fold: its smallest height (twice its
// area over its longest side) reaches the pattern's tolerance. A two-sided
// molecule at the paper edge needs only its corners apart.
bool hasWidth(const PatternFace* f) {
    std::vector<Vec2> p;
    const PatternHalfEdge* s = f->edge;
    do p.push_back(s->vert->pos), s = s->next;
    while (s != f->edge);
    double twiceArea = 0.0, longest = 0.0;
    for (size_t i = 0; i < p.size(); ++i) {
        const Vec2 &a = p[i], &b = p[(i + 1) % p.size()];
        twiceArea += (a.x - p[0].x) * (b.y - p[0].y) - (a.y - p[0].y) * (b.x - p[0].x);
        longest = std::max(longest, std::hypot(b.x - a.x, b.y - a.y));
    }
    const double tolerance = f->owner->lengthTolerance();
    if (p.size() < 3) return longest >= tolerance;
    return std::fabs(twiceArea) >= tolerance * longest;
}

// The length of the stretch that two segments share when both lie along one
// line, within the tolerance; 0 when they do not.
double sharedStretch(Vec2 a0, Vec2 a1, Vec2 b0, Vec2 b1, double tolerance) {
    if (std::hypot(a1.x - a0.x, a1.y - a0.y) < std::hypot(b1.x - b0.x, b1.y - b0.y))
        std::swap(a0, b0), std::swap(a1, b1);
    const double length = std::hypot(a1.x - a0.x, a1.y - a0.y);
    if (!(length > 0.0)) return 0.0;
    const Vec2 u = (1.0 / length) * (a1 - a0);
    auto off = [&](const Vec2& p) { return std::fabs(u.x * (p.y - a0.y) - u.y * (p.x - a0.x)); };
    if (off(b0) > tolerance || off(b1) > tolerance) return 0.0;
    const double t0 = u.x * (b0.x - a0.x) + u.y * (b0.y - a0.y),
                 t1 = u.x * (b1.x - a0.x) + u.y * (b1.y - a0.y);
    return std::min(length, std::max(t0, t1)) - std::max(0.0, std::min(t0, t1));
}

// Whether a mountain from a to b would lie along one of the valleys made:
// valleys come first, and no stretch of paper is folded both ways.
bool alongAValley(const CreasePattern& cp, const Vec2& a, const Vec2& b) {
    for (const CreaseLine& l : cp.lines)
        if (l.kind == Valley &&
            sharedStretch(a, b, *l.start->point, *l.end->point, cp.lengthTolerance()) > cp.lengthTolerance())
            return true;
    return false;
}

// How far p lies beyond the paper's edge as the layout leaves it: 0 on the
// pattern.
double offPaper(const CreasePattern& cp, const Vec2& p) {
    bool inside = false;
    double nearest = INFINITY;
    for (const PatternHalfEdge& e : cp.halfEdges) {
        if (e.face) continue;
        const Vec2 &a = e.prev->vert->pos, &b = e.vert->pos;
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y))
            inside = !inside;
        Vec2 d = b - a, v = p - a;
        double t = std::clamp((v.x * d.x + v.y * d.y) / (d.x * d.x + d.y * d.y), 0.0, 1.0);
        nearest = std::min(nearest, std::hypot(v.x - t * d.x, v.y - t * d.y));
    }
    return inside ? 0.0 : nearest;
}

std::vector<double> sideLengths(const PatternFace* f) {
    std::vector<double> lengths;
    const PatternHalfEdge* s = f->edge;
    do {
        lengths.push_back(
            std::hypot(s->vert->pos.x - s->prev->vert->pos.x, s->vert->pos.y - s->prev->vert->pos.y));
        s = s->next;
    } while (s != f->edge);
    return lengths;
}

double longestSide(const PatternFace* f) {
    const std::vector<double> lengths = sideLengths(f);
    return *std::max_element(lengths.begin(), lengths.end());
}

double shortestSide(const PatternFace* f) {
    const std::vector<double> lengths = sideLengths(f);
    return *std::min_element(lengths.begin(), lengths.end());
}

// A molecule triangle whose centre lies off the paper by more than its
// longest side gets no lines: creases out to it would stand on blank paper.
bool onThePaper(const PatternFace* f) { return offPaper(*f->owner, f->centre) <= longestSide(f); }

// Lines join only points that are apart by the tolerance.
bool apart(const CreasePattern& cp, const Vec2& a, const Vec2& b) {
    return std::hypot(b.x - a.x, b.y - a.y) >= cp.lengthTolerance();
}

Vec2 midpointOf(const PatternHalfEdge& U) { return 0.5 * (U.vert->pos + U.pair->vert->pos); }

// Whether the segment from a to b runs through a placed face, deeper than a
// twentieth of the face's inradius: the pattern makes no crease that goes
// deeper than a tenth. The made-up layout of the grid lays molecules across
// faces, so some creases are not made there. Sampled in steps of a fiftieth
// of the inradius, so that every crease the pattern refuses is found.
bool throughPlacedFace(const CreasePattern& cp, const Vec2& a, const Vec2& b) {
    for (const PatternFace& f : cp.faces) {
        if (f.kind != PolygonFace) continue;
        std::vector<Vec2> ring;
        const PatternHalfEdge* s = f.edge;
        do ring.push_back(s->vert->pos), s = s->next;
        while (s != f.edge);
        if (ring.size() < 3) continue;
        double twiceArea = 0.0, perimeter = 0.0;
        for (size_t i = 0; i < ring.size(); ++i) {
            const Vec2 &p = ring[i], &q = ring[(i + 1) % ring.size()];
            twiceArea += p.x * q.y - p.y * q.x;
            perimeter += std::hypot(q.x - p.x, q.y - p.y);
        }
        const double inradius = std::fabs(twiceArea) / perimeter;
        if (!(inradius > 0.0)) continue;
        const int steps = (int)std::ceil(std::hypot(b.x - a.x, b.y - a.y) / (0.02 * inradius));
        for (int k = 1; k < steps; ++k) {
            const Vec2 p = a + ((double)k / steps) * (b - a);
            bool inside = false;
            double rim = INFINITY;
            for (size_t i = 0; i < ring.size(); ++i) {
                const Vec2 &u = ring[i], &v = ring[(i + 1) % ring.size()];
                if ((u.y > p.y) != (v.y > p.y) && p.x < u.x + (p.y - u.y) * (v.x - u.x) / (v.y - u.y))
                    inside = !inside;
                const Vec2 d = v - u, w = p - u;
                const double t = std::clamp((w.x * d.x + w.y * d.y) / (d.x * d.x + d.y * d.y), 0.0, 1.0);
                rim = std::min(rim, std::hypot(w.x - t * d.x, w.y - t * d.y));
            }
            if (inside && rim > 0.05 * inradius) return true;
        }
    }
    return false;
}

// The molecule triangles around corner t that get a mountain from it.
int moleculeTrianglesAt(const CreasePattern& cp, const PatternVertex* t) {
    int n = 0;
    for (const PatternHalfEdge& e : cp.halfEdges)
        n += isMolecule(e.face) && onThePaper(e.face) && e.prev->vert == t &&
             apart(cp, t->pos, e.face->centre) && !throughPlacedFace(cp, t->pos, e.face->centre) &&
             !alongAValley(cp, t->pos, e.face->centre);
    return n;
}

bool incident(const PatternNode* node, const CreaseLine* line) {
    return std::find(node->incidentLines.begin(), node->incidentLines.end(), line) !=
           node->incidentLines.end();
}

TEST_F(GridLines, NothingHappensUntilBuilt) {
    CreasePattern fresh;
    fresh.generateCreaseLines();
    EXPECT_TRUE(fresh.lines.empty() && fresh.nodes.empty() && fresh.midpoints.empty() &&
                fresh.crimps.empty());

    cp().generateCreaseLines();
    const CreaseLine* front = &cp().lines.front();
    size_t lines = cp().lines.size(), nodes = cp().nodes.size();
    cp().built = false;
    cp().generateCreaseLines();
    EXPECT_EQ(&cp().lines.front(), front);
    EXPECT_EQ(cp().lines.size(), lines);
    EXPECT_EQ(cp().nodes.size(), nodes);
}

// Crimps of the last crimp corner first, then the other crimps, the
// mountains and the valleys, each group newest first. Lines of no length, and
// lines along one of the opposite fold, are left out of that order.
TEST_F(GridLines, LineListRunsFromTheLastCrimpToTheFirstValley) {
    cp().generateCreaseLines();
    ASSERT_FALSE(cp().crimps.empty());
    struct Expected {
        const PatternNode *start, *end;  // a null end: any
        char kind;
    };
    std::vector<Expected> order;
    for (const CrimpRecord& c : cp().crimps) {
        const PatternNode* t = c.vertex->node;
        const PatternNode* U = c.vertex->vtmEdge->vert->node;
        order.insert(order.end(),
                     {{U, c.node2, 'm'}, {t, c.node2, 'v'}, {U, c.node1, 'v'}, {t, c.node1, 'm'}});
    }
    // Mountains, grouped by corner, the corners in reverse list order.
    std::vector<const PatternVertex*> corners;
    for (const PatternVertex& v : cp().vertices)
        if (v.vtmEdge) corners.push_back(&v);
    std::reverse(corners.begin(), corners.end());
    for (const PatternVertex* t : corners)
        for (int i = moleculeTrianglesAt(cp(), t); i > 0; --i) order.push_back({t->node, nullptr, Mountain});

    size_t next = 0;
    int matched[3] = {0, 0, 0};  // crimps, mountains, valleys
    for (const CreaseLine& l : cp().lines) {
        while (next < order.size() && !(order[next].start == l.start && order[next].kind == l.kind &&
                                        (!order[next].end || order[next].end == l.end)))
            ++next;
        if (next < order.size()) {
            ++matched[l.kind == Mountain ? 1 : 0];
            ++next;
        } else {
            EXPECT_EQ(l.kind, Valley) << "out of order";
            ++matched[2];
        }
        EXPECT_TRUE(incident(l.start, &l));
        EXPECT_TRUE(incident(l.end, &l));
    }
    EXPECT_GT(matched[0], 0);
    EXPECT_GT(matched[1], 0);
    EXPECT_GT(matched[2], 0);
}

TEST_F(GridLines, EveryPaperBoundarySideGetsAMidpointAndAValley) {
    cp().generateCreaseLines();
    size_t boundarySides = 0;
    for (const PatternHalfEdge& U : cp().halfEdges)
        boundarySides += !U.face && isMolecule(faceAcross(U)) && onThePaper(faceAcross(U)) &&
                         apart(cp(), midpointOf(U), U.pair->face->centre) &&
                         !throughPlacedFace(cp(), U.pair->face->centre, midpointOf(U));
    ASSERT_GT(boundarySides, 0u);
    EXPECT_EQ(cp().midpoints.size(), boundarySides);

    for (const BoundaryMidpoint& m : cp().midpoints) {
        const PatternHalfEdge* U = m.halfEdge;
        ASSERT_TRUE(U && !U->face && isMolecule(faceAcross(*U)));
        EXPECT_EQ(m.owner, &cp());
        EXPECT_NEAR(m.pos.x, 0.5 * (U->vert->pos.x + U->pair->vert->pos.x), 1e-12);
        EXPECT_NEAR(m.pos.y, 0.5 * (U->vert->pos.y + U->pair->vert->pos.y), 1e-12);
        ASSERT_EQ(m.node->point, &m.pos);
        ASSERT_EQ(m.node->incidentLines.size(), 1u);
        const CreaseLine* v = m.node->incidentLines[0];
        EXPECT_EQ(v->kind, Valley);
        EXPECT_EQ(v->start, U->pair->face->node);
        EXPECT_EQ(v->end, m.node);
    }
}

// One valley per pair of neighbouring triangles, directly or across an edge
// molecule.
TEST_F(GridLines, ValleysJoinEveryNeighbourPairOnce) {
    cp().generateCreaseLines();
    std::set<std::pair<const PatternNode*, const PatternNode*>> expected;
    auto join = [&](const PatternFace* a, const PatternFace* b) {
        if (isMolecule(a) && isMolecule(b) && onThePaper(a) && onThePaper(b) &&
            apart(cp(), a->centre, b->centre) && !throughPlacedFace(cp(), a->centre, b->centre))
            expected.insert(std::minmax<const PatternNode*>(a->node, b->node));
    };
    for (const PatternHalfEdge& s : cp().halfEdges) {
        if (!isMolecule(s.face)) continue;
        const PatternFace* F = faceAcross(s);
        if (isMolecule(F)) join(s.face, F);
        if (F && F->kind == EdgeMolecule) {
            const PatternFace* O = faceAcross(*s.pair->next->next);
            if (isMolecule(O)) join(s.face, O);
        }
    }
    ASSERT_FALSE(expected.empty());
    int flat = 0;
    for (const PatternFace& f : cp().faces) flat += isMolecule(&f) && !hasWidth(&f);
    ASSERT_GT(flat, 0) << "the fixture has molecules without width";

    std::set<const PatternNode*> midpoints;
    for (const BoundaryMidpoint& m : cp().midpoints) midpoints.insert(m.node);
    std::set<std::pair<const PatternNode*, const PatternNode*>> made;
    size_t inner = 0;
    for (const CreaseLine& l : cp().lines) {
        if (l.kind != Valley || midpoints.count(l.end)) continue;
        ++inner;
        made.insert(std::minmax<const PatternNode*>(l.start, l.end));
    }
    EXPECT_EQ(inner, made.size()) << "a pair joined twice";
    EXPECT_EQ(made, expected);
    int offThePaper = 0;
    for (const PatternFace& f : cp().faces) {
        if (f.kind != VertexMolecule) continue;
        offThePaper += !onThePaper(&f);
        ASSERT_EQ(!!f.node, onThePaper(&f));
        if (f.node) {
            EXPECT_EQ(f.node->point, &f.centre);
        }
    }
    EXPECT_GT(offThePaper, 0) << "the fixture has molecules whose centres run off the paper";
    // A molecule without width still passes the fold on across its edge
    // molecules: nothing else lies along those valleys.
    int flatAcross = 0;
    for (const PatternHalfEdge& s : cp().halfEdges) {
        const PatternFace* F = faceAcross(s);
        if (!isMolecule(s.face) || hasWidth(s.face) || !F || F->kind != EdgeMolecule) continue;
        const PatternFace* O = faceAcross(*s.pair->next->next);
        flatAcross += isMolecule(O) && made.count(std::minmax<const PatternNode*>(s.face->node, O->node));
    }
    EXPECT_GT(flatAcross, 0);
}

TEST_F(GridLines, CrimpsOnlyAtVtmEdgesOffThePaperBoundary) {
    cp().generateCreaseLines();
    std::set<const PatternVertex*> crimped;
    for (const CrimpRecord& c : cp().crimps) {
        EXPECT_TRUE(crimped.insert(c.vertex).second);
        EXPECT_EQ(c.owner, &cp());
        EXPECT_EQ(c.node1->point, &c.point1);
        EXPECT_EQ(c.node2->point, &c.point2);
        EXPECT_TRUE(isFiniteVec(c.point1) && isFiniteVec(c.point2));
    }
    std::set<const PatternNode*> nodes;
    for (const PatternNode& n : cp().nodes) nodes.insert(&n);
    int onBoundary = 0;
    for (const PatternVertex& t : cp().vertices) {
        if (!t.vtmEdge) continue;
        bool inner = t.vtmEdge->pair->face != nullptr;
        onBoundary += !inner;
        EXPECT_EQ(crimped.count(&t), inner ? 1u : 0u);
        ASSERT_TRUE(nodes.count(t.node)) << "every molecule corner has a node of this call";
        EXPECT_EQ(t.node->point, &t.pos);
        size_t mountains = std::count_if(t.node->incidentLines.begin(), t.node->incidentLines.end(),
                                         [](const CreaseLine* l) { return l->kind == Mountain; });
        EXPECT_EQ(mountains, (size_t)moleculeTrianglesAt(cp(), &t));
    }
    EXPECT_GT(onBoundary, 0);
}

// Where a tuck has no width its two copies of a vertex coincide: that VTM
// edge gets no crimp, and no line of no length is made anywhere.
TEST_F(GridLines, CoincidentCornersGetNoCrimpAndNoLineIsTooShort) {
    PatternVertex* t = nullptr;
    for (PatternVertex& v : cp().vertices)
        if (v.vtmEdge && v.vtmEdge->pair->face && v.vtmEdge->vert->vtmEdge) t = &v;
    ASSERT_TRUE(t);
    HalfEdge* U = t->vtmEdge->vert->modelHalfEdge;
    U->corner = t->pos - U->face->translation;

    cp().generateCreaseLines();
    for (const CrimpRecord& c : cp().crimps) EXPECT_NE(c.vertex, t);
    EXPECT_FALSE(cp().crimps.empty());
    for (const CreaseLine& l : cp().lines) EXPECT_GE(l.length(), cp().lengthTolerance());
}

// A crimp line alone would end in the paper, where nothing folds: each
// crimp point keeps both its lines or neither. Over a VTM edge barely longer
// than the tolerance the two lines of a point retrace each other, a crimp
// mountain along a crimp valley, and go together.
TEST_F(GridLines, EveryCrimpPointKeepsBothItsLinesOrNeither) {
    PatternVertex* t = nullptr;
    for (PatternVertex& v : cp().vertices)
        if (v.vtmEdge && v.vtmEdge->pair->face && v.vtmEdge->vert->vtmEdge &&
            apart(cp(), v.pos, v.vtmEdge->vert->pos))
            t = &v;
    ASSERT_TRUE(t);
    HalfEdge* U = t->vtmEdge->vert->modelHalfEdge;
    const Vec2 along = U->face->translation + U->corner - t->pos;
    const double length = std::hypot(along.x, along.y);
    for (double span : {length, 1.05 * cp().lengthTolerance()}) {
        SCOPED_TRACE(span);
        U->corner = t->pos + (span / length) * along - U->face->translation;
        cp().generateCreaseLines();
        const CrimpRecord* shortened = nullptr;
        for (const CrimpRecord& c : cp().crimps) {
            EXPECT_EQ(c.node1->incidentLines.size() % 2, 0u);
            EXPECT_EQ(c.node2->incidentLines.size() % 2, 0u);
            if (c.vertex == t) shortened = &c;
        }
        ASSERT_TRUE(shortened);
        if (span < length) {
            EXPECT_EQ(shortened->node1->incidentLines.size() + shortened->node2->incidentLines.size(), 0u);
        }
    }
}

// A crimp point is the apex of an isosceles triangle over the VTM edge.
// Past a right base angle tan() wraps the apex through infinity to the spot
// of the supplementary angle, on the other side of the edge; the point keeps
// its lines as that one does. It loses them when the apex lies hundreds of
// edge lengths away, off the pattern, or when its creases run through a
// placed face: on this grid a steep apex on the side of the edge molecule
// crosses the face beside it, one on the side of the vertex molecule stays
// clear. Either way both lines of the point go together.
TEST_F(GridLines, CrimpPointKeepsItsLinesUnlessOffThePatternOrThroughAFace) {
    // The crimp corner nearest the middle of the grid, so that a moderately
    // steep apex stays on the pattern.
    Vec2 middle(0.0, 0.0);
    int corners = 0;
    for (const PatternVertex& v : cp().vertices) middle = middle + v.pos, ++corners;
    middle = middle / corners;
    PatternVertex* t = nullptr;
    double nearest = 0.0;
    for (PatternVertex& v : cp().vertices) {
        if (!v.vtmEdge || !v.vtmEdge->pair->face || !v.vtmEdge->vert->vtmEdge ||
            !apart(cp(), v.pos, v.vtmEdge->vert->pos))
            continue;
        double d = std::hypot(v.pos.x - middle.x, v.pos.y - middle.y);
        if (!t || d < nearest) t = &v, nearest = d;
    }
    ASSERT_TRUE(t);
    HalfEdge* X = t->modelHalfEdge;
    Vec2 a = -X->direction, b = X->pair->direction;
    double gap = std::atan2(a.x * b.y - a.y * b.x, a.x * b.x + a.y * b.y);

    const struct {
        double baseAngle;
        bool lines;
    } cases[] = {{kPi / 6, true},         {-kPi / 6, true},        {kPi / 2 - 0.3, false},
                 {-kPi / 2 + 0.3, true},  {kPi / 2 + 0.3, true},   {-kPi / 2 - 0.3, false},
                 {kPi / 2 - 1e-4, false}, {-kPi / 2 + 1e-4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baseAngle);
        X->tuckAngle = 0.5 * gap + kPi / 2 - c.baseAngle;
        cp().generateCreaseLines();
        const CrimpRecord* record = nullptr;
        for (const CrimpRecord& r : cp().crimps)
            if (r.vertex == t) record = &r;
        ASSERT_TRUE(record);
        EXPECT_EQ(record->node1->incidentLines.size(), c.lines ? 2u : 0u);
    }
}

double distanceToSegment(const Vec2& p, const Vec2& a, const Vec2& b) {
    const Vec2 d = b - a, v = p - a;
    const double t = std::clamp((v.x * d.x + v.y * d.y) / (d.x * d.x + d.y * d.y), 0.0, 1.0);
    return std::hypot(v.x - t * d.x, v.y - t * d.y);
}

// Whether the line runs through p, its ends apart from it.
bool runsThrough(const CreaseLine& l, const Vec2& p, double tolerance) {
    const Vec2 &a = *l.start->point, &b = *l.end->point;
    return distanceToSegment(p, a, b) < tolerance && std::hypot(p.x - a.x, p.y - a.y) >= tolerance &&
           std::hypot(p.x - b.x, p.y - b.y) >= tolerance;
}

// Whether p lies on a side of a placed face or on the paper's edge, where
// creases may end as they come.
bool onRim(const CreasePattern& cp, const Vec2& p) {
    for (const PatternHalfEdge& e : cp.halfEdges)
        if ((!e.face || e.face->kind == PolygonFace) &&
            distanceToSegment(p, e.prev->vert->pos, e.vert->pos) < cp.lengthTolerance())
            return true;
    return false;
}

// A crimp point lies on the valley across its edge molecule, which gives it
// the creases to fold. A face laid across that valley, away from the crimp,
// refuses the valley; the two crimp lines would be left a bend and go with
// it.
TEST_F(GridLines, ACrimpPointLosesItsLinesWithTheValleyItSitsOn) {
    cp().generateCreaseLines();
    const double tolerance = cp().lengthTolerance();
    const CrimpRecord* crimp = nullptr;
    const PatternNode* point = nullptr;
    const CreaseLine* valley = nullptr;
    for (const CrimpRecord& c : cp().crimps)
        for (const PatternNode* n : {c.node1, c.node2})
            for (const CreaseLine& l : cp().lines)
                if (!valley && l.kind == Valley && n->incidentLines.size() == 2 &&
                    runsThrough(l, *n->point, tolerance) && !onRim(cp(), *n->point))
                    crimp = &c, point = n, valley = &l;
    ASSERT_TRUE(valley) << "the grid has a crimp point on a valley";
    // A small face on the valley, at its quarter farther from the crimp point,
    // taken from among the faces that share no vertex with the valley's
    // triangles or the crimp's corners.
    std::set<const Vertex*> near;
    for (const PatternFace& f : cp().faces) {
        if (&f.centre != valley->start->point && &f.centre != valley->end->point) continue;
        const PatternHalfEdge* s = f.edge;
        do near.insert(s->vert->modelHalfEdge->vert), s = s->next;
        while (s != f.edge);
    }
    near.insert(crimp->vertex->modelHalfEdge->vert);
    Face* moved = nullptr;
    for (Face& f : model.faces) {
        bool apart = true;
        const HalfEdge* X = f.edge;
        do apart = apart && !near.count(X->vert), X = X->next;
        while (X != f.edge);
        if (apart) moved = &f;
    }
    ASSERT_TRUE(moved);
    const Vec2 a = *valley->start->point, b = *valley->end->point, p = *point->point;
    const Vec2 at = std::hypot(p.x - a.x, p.y - a.y) > std::hypot(p.x - b.x, p.y - b.y) ? 0.75 * a + 0.25 * b
                                                                                        : 0.25 * a + 0.75 * b;
    const double size = 0.05 * std::hypot(b.x - a.x, b.y - a.y);
    int k = 0;
    HalfEdge* X = moved->edge;
    do {
        const double turn = 2.0 * kPi * k++ / 3.0;
        X->corner = at + size * Vec2(std::cos(turn), std::sin(turn)) - moved->translation;
        X = X->next;
    } while (X != moved->edge);

    const PatternVertex* corner = crimp->vertex;
    const bool first = point == crimp->node1;
    cp().generateCreaseLines();
    for (const CreaseLine& l : cp().lines) EXPECT_FALSE(l.kind == Valley && runsThrough(l, at, tolerance));
    const CrimpRecord* again = nullptr;
    for (const CrimpRecord& c : cp().crimps)
        if (c.vertex == corner) again = &c;
    ASSERT_TRUE(again);
    EXPECT_EQ((first ? again->node1 : again->node2)->incidentLines.size(), 0u)
        << "the crimp point is left a bend";
}

// No stretch of paper is folded both ways: two lines of opposite folds from
// one node never leave it along one line. The laid-out grid has crimps that
// would.
TEST_F(GridLines, NoLineRetracesOneOfTheOppositeFold) {
    cp().generateCreaseLines();
    auto mountain = [](const CreaseLine* l) { return l->kind == Mountain || l->kind == CrimpMountain; };
    int pairs = 0;
    for (const PatternNode& n : cp().nodes)
        for (const CreaseLine* a : n.incidentLines)
            for (const CreaseLine* b : n.incidentLines) {
                if (mountain(a) == mountain(b) || !mountain(a)) continue;
                ++pairs;
                Vec2 u = *(a->start == &n ? a->end : a->start)->point - *n.point;
                Vec2 v = *(b->start == &n ? b->end : b->start)->point - *n.point;
                double lu = std::hypot(u.x, u.y), lv = std::hypot(v.x, v.y);
                bool along = u.x * v.x + u.y * v.y > 0 &&
                             std::fabs(u.x * v.y - u.y * v.x) < cp().lengthTolerance() * std::max(lu, lv);
                EXPECT_FALSE(along) << "a mountain and a valley share a stretch from (" << n.point->x << ", "
                                    << n.point->y << ")";
            }
    EXPECT_GT(pairs, 0);
}

// Nor anywhere else: on the converged 320-face sphere a short mountain from a
// corner of a turned-over molecule lay along a long valley that passes
// through that corner without ending there.
TEST(ConvergedSphere, NoStretchIsFoldedBothWays) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::sphereObj(2)), 0);
    SolverOptions options;
    options.creasePatternOn = true;
    testsupport::captureStdout([&] {
        ASSERT_TRUE(developFirst(working, backup));
        for (bool converging = true; converging;) converging = !idleStep(working, options, true).converged;
        creasePatternTick(working, options);
    });
    const CreasePattern& cp = working.creasePattern;
    const double tolerance = cp.lengthTolerance();
    std::vector<const CreaseLine*> mountains, valleys;
    for (const CreaseLine& l : cp.lines)
        (l.kind == Mountain || l.kind == CrimpMountain ? mountains : valleys).push_back(&l);
    ASSERT_FALSE(mountains.empty() || valleys.empty());
    int shared = 0;
    for (const CreaseLine* m : mountains)
        for (const CreaseLine* v : valleys) {
            Vec2 a0 = *m->start->point, a1 = *m->end->point, b0 = *v->start->point, b1 = *v->end->point;
            if (std::max(a0.x, a1.x) + tolerance < std::min(b0.x, b1.x) ||
                std::max(b0.x, b1.x) + tolerance < std::min(a0.x, a1.x) ||
                std::max(a0.y, a1.y) + tolerance < std::min(b0.y, b1.y) ||
                std::max(b0.y, b1.y) + tolerance < std::min(a0.y, a1.y))
                continue;
            const double stretch = sharedStretch(a0, a1, b0, b1, tolerance);
            if (stretch > tolerance) {
                ++shared;
                ADD_FAILURE() << "a mountain and a valley share " << stretch << ", the mountain from ("
                              << a0.x << ", " << a0.y << ") to (" << a1.x << ", " << a1.y << ")";
            }
        }
    EXPECT_EQ(shared, 0);
}

// Flips may turn a triangle without width into one with width, so the
// counts are compared between two calls on the same triangulation.
TEST_F(GridLines, RegeneratingGivesTheSameCounts) {
    cp().improveVertexMolecules();
    cp().generateCreaseLines();
    size_t counts[4] = {cp().nodes.size(), cp().lines.size(), cp().midpoints.size(), cp().crimps.size()};
    cp().generateCreaseLines();
    EXPECT_EQ(cp().nodes.size(), counts[0]);
    EXPECT_EQ(cp().lines.size(), counts[1]);
    EXPECT_EQ(cp().midpoints.size(), counts[2]);
    EXPECT_EQ(cp().crimps.size(), counts[3]);
}

// Model > Split extrawide tucks on a cube whose cut was edited first (Flood
// from its second face, then Cut from its third half-edge) and whose layout has
// converged. The split puts the corners of two-sided faces into the molecules
// at the ends of the split tucks; the very obtuse triangles among them have
// their centres far beyond the paper's edge, where creases to them stood on
// blank paper and the sheet grew to hold them.
TEST(SplitTucks, NoCreaseStandsFarOffThePaper) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::cubeObj()), 0);
    SolverOptions options;
    options.creasePatternOn = true;
    testsupport::captureStdout([&] {
        working.floodFromFace(&*std::next(working.faces.begin()));
        HalfEdge* cut = &*std::next(working.halfEdges.begin(), 2);
        ASSERT_FALSE(cut->onCut);
        working.addCutPath(cut);
        ASSERT_TRUE(developFirst(working, backup));
        bool converging = true;
        for (int i = 0; i < 50; ++i)
            if (idleStep(working, options, converging).converged) converging = false;
        creasePatternTick(working, options);
    });
    const double before = working.efficiencyAt(0.0);
    const size_t faces = working.faces.size();
    testsupport::captureStdout([&] {
        working.splitWideTucks();
        creasePatternTick(working, options);
    });
    const CreasePattern& cp = working.creasePattern;
    ASSERT_GT(working.faces.size(), faces) << "the cube has tucks to split";
    ASSERT_FALSE(cp.lines.empty());

    double farthest = 0.0;
    for (const CreaseLine& l : cp.lines)
        farthest = std::max({farthest, offPaper(cp, *l.start->point), offPaper(cp, *l.end->point)});
    EXPECT_LT(farthest, 0.5 * working.lengthScale());
    EXPECT_GT(working.efficiencyAt(0.0), 0.95 * before) << "the sheet grew for creases off the paper";
}

// Molecule triangles drawn by hand: one with its corners on the unit circle
// about the origin at the given angles, and across its first `neighbours`
// sides a triangle whose centre lies twice as far out. Each neighbour's
// centre, and the middle one's when asked, stands at the corner of a small
// placed face, where creases may end as they come.
struct HandMolecules {
    HandPattern hand;
    PatternFace* middle = nullptr;

    HandMolecules(const std::vector<double>& degrees, int neighbours, bool middleOnARim) {
        std::vector<PatternVertex*> c;
        for (double d : degrees) c.push_back(hand.corner(std::cos(d * kPi / 180), std::sin(d * kPi / 180)));
        middle = hand.ring(c, VertexMolecule);
        for (int i = 0; i < neighbours; ++i) {
            PatternVertex *a = c[i], *b = c[(i + 1) % c.size()];
            Vec2 out = 0.5 * (a->pos + b->pos);
            out.normalize();
            const Vec2 centre = 2.0 * out;
            const double radius = std::hypot(centre.x - a->pos.x, centre.y - a->pos.y);
            const Vec2 x = centre + radius * out;
            PatternFace* n = hand.ring({b, a, hand.corner(x.x, x.y)}, VertexMolecule);
            pairSides(sideBetween(middle, a, b), sideBetween(n, b, a));
            rimAt(centre, out);
        }
        if (middleOnARim) rimAt(Vec2(0.0, 0.0), Vec2(1.0, 0.0));
    }

    // A small placed face with a corner at p, lying beyond p along `out`.
    void rimAt(const Vec2& p, const Vec2& out) {
        const Vec2 side(-out.y, out.x), a = p + 0.3 * out + 0.2 * side, b = p + 0.3 * out - 0.2 * side;
        hand.ring({hand.corner(p.x, p.y), hand.corner(a.x, a.y), hand.corner(b.x, b.y)}, PolygonFace);
    }

    CreasePattern& generate() {
        hand.closeOutside(NoFaceKind);
        hand.cp.built = true;
        hand.cp.generateCreaseLines();
        return hand.cp;
    }
};

// A crease that ends alone inside the paper folds nothing, nor do two that
// meet at an angle: a triangle's centre keeps its lines only as a set that
// can fold, or none. The valleys leave the middle centre towards 180, 300
// and 60 degrees.
TEST(MoleculeCentre, KeepsItsLinesOnlyAsASetThatCanFold) {
    const struct {
        int neighbours;
        size_t lines;
    } cases[] = {{1, 0}, {2, 0}, {3, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.neighbours);
        HandMolecules molecules({120.0, 240.0, 0.0}, c.neighbours, false);
        const CreasePattern& cp = molecules.generate();
        ASSERT_TRUE(molecules.middle->node);
        EXPECT_EQ(molecules.middle->node->incidentLines.size(), c.lines);
        EXPECT_EQ(cp.lines.size(), c.lines);
    }
}

// A valley that ends inside a placed face runs deepest at its end. Judged by
// samples along it, one that ends at 11 % of the face's inradius looked
// shallower than the 10 % that makes a crease run through a face. The face
// is a square of side 2 (inradius 1) that the valley from the neighbour's
// centre at (-2, 0) enters to end at the middle centre, `depth` inside.
TEST(MoleculeCentre, AValleyEndingInsideAFaceIsJudgedByItsDeepestPoint) {
    const struct {
        double depth;
        size_t lines;
    } cases[] = {{0.09, 1}, {0.11, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        HandMolecules molecules({120.0, 240.0, 0.0}, 1, true);
        HandPattern& hand = molecules.hand;
        hand.ring({hand.corner(-c.depth, -1.0), hand.corner(2.0 - c.depth, -1.0),
                   hand.corner(2.0 - c.depth, 1.0), hand.corner(-c.depth, 1.0)},
                  PolygonFace);
        const CreasePattern& cp = molecules.generate();
        EXPECT_NEAR(molecules.middle->centre.x, 0.0, 1e-12);
        EXPECT_EQ(cp.lines.size(), c.lines);
    }
}

// Whether a corner of the molecule belongs to a two-sided face that splits
// a tuck.
bool atASplit(const PatternFace& f) {
    const PatternHalfEdge* s = f.edge;
    do {
        const Face* face = s->vert->modelHalfEdge->face;
        if (!face->boundaryDigon && face->edge->next->next == face->edge) return true;
        s = s->next;
    } while (s != f.edge);
    return false;
}

bool joinedByAValley(const PatternNode* a, const PatternNode* b) {
    for (const CreaseLine* l : a->incidentLines)
        if (l->kind == Valley && (l->start == b || l->end == b)) return true;
    return false;
}

// Split ETM on the resting dome's three widest tucks, then rest again. The
// splits put small triangles at the ends of the tucks whose centres lie
// just past the outline, farther than their shortest side but within their
// longest, as other triangles at the paper's edge have them: they keep
// their lines, and the valleys across the edge molecules beside them.
TEST(SplitTucks, SmallTrianglesAtASplitKeepTheirValleys) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::exampleObj("dome.obj")), 0);
    SolverOptions options;
    options.creasePatternOn = true;
    testsupport::captureStdout([&] {
        ASSERT_TRUE(developFirst(working, backup));
        creasePatternTick(working, options);
        ASSERT_NO_FATAL_FAILURE(restAndTick(working, options));
        for (HalfEdge* tuck : widestSplittable(working, 3)) working.splitEtmEdge(tuck);
        ASSERT_NO_FATAL_FAILURE(restAndTick(working, options));
    });
    const CreasePattern& cp = working.creasePattern;
    int small = 0, valleys = 0;
    for (const PatternFace& f : cp.faces) {
        if (f.kind != VertexMolecule || !atASplit(f)) continue;
        const double off = offPaper(cp, f.centre);
        if (!(off > shortestSide(&f) && off <= longestSide(&f) &&
              longestSide(&f) < 0.1 * working.lengthScale()))
            continue;
        ++small;
        ASSERT_TRUE(f.node) << "no lines at the centre (" << f.centre.x << ", " << f.centre.y << ")";
        const PatternHalfEdge* s = f.edge;
        do {
            const PatternFace* E = faceAcross(*s);
            const PatternFace* O = E && E->kind == EdgeMolecule ? faceAcross(*s->pair->next->next) : nullptr;
            if (isMolecule(O) && O->node) {
                ++valleys;
                EXPECT_TRUE(joinedByAValley(f.node, O->node));
            }
            s = s->next;
        } while (s != f.edge);
    }
    EXPECT_GT(small, 0) << "the splits make such triangles";
    EXPECT_GT(valleys, 0);
}

// The timer's tick on a developed model.
TEST(CreasePatternTick, BuildsOnceThenRefreshesAsTheOptionsSay) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::cubeObj()), 0);
    testsupport::captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    CreasePattern& cp = working.creasePattern;

    SolverOptions off;
    off.avoidIntersection = false;
    creasePatternTick(working, off);
    EXPECT_FALSE(cp.built) << "all three options off";
    EXPECT_TRUE(cp.faces.empty());

    SolverOptions lines;
    lines.creasePatternOn = true;
    creasePatternTick(working, lines);
    ASSERT_TRUE(cp.built);
    EXPECT_TRUE(cp.triangulated);
    EXPECT_EQ(cp.model, &working);
    EXPECT_EQ(patternFault(cp), "");
    EXPECT_FALSE(cp.lines.empty());
    for (const PatternFace& f : cp.faces)
        if (f.kind == VertexMolecule) {
            EXPECT_EQ(countSides(&f), 3);
        }

    // Later ticks keep the build; without crease-pattern generation they
    // drop the lines.
    const PatternVertex* firstCorner = &cp.vertices.front();
    SolverOptions penaltyOnly;
    creasePatternTick(working, penaltyOnly);
    EXPECT_TRUE(cp.built);
    EXPECT_EQ(&cp.vertices.front(), firstCorner);
    EXPECT_TRUE(cp.lines.empty() && cp.nodes.empty() && cp.crimps.empty() && cp.midpoints.empty());

    // With all options off the lines stay as they are.
    creasePatternTick(working, lines);
    size_t made = cp.lines.size();
    creasePatternTick(working, off);
    EXPECT_EQ(cp.lines.size(), made);

    cp.clear();
    creasePatternTick(working, penaltyOnly);
    EXPECT_TRUE(cp.built) << "a cleared pattern is built afresh";
    EXPECT_TRUE(cp.lines.empty());
}

}  // namespace
