#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "support/test_support.h"

using namespace patternfixtures;

namespace {

const double kPi = 3.14159265358979323846;

struct XY {
    double x, y;
};

// A vertex molecule through the given points, surrounded by one placed
// polygon so that every side counts with its own direction.
struct Molecule {
    HandPattern hp;
    std::vector<PatternVertex*> corners;
    PatternFace* vtm = nullptr;

    explicit Molecule(const std::vector<XY>& points) {
        for (const XY& p : points) corners.push_back(hp.corner(p.x, p.y));
        vtm = hp.ring(corners, VertexMolecule);
        hp.closeOutside(PolygonFace);
    }
};

double signedArea(const PatternFace* f) {
    double a = 0;
    const PatternHalfEdge* s = f->edge;
    do {
        const Vec2& p = s->prev->vert->pos;
        const Vec2& q = s->vert->pos;
        a += p.x * q.y - p.y * q.x;
        s = s->next;
    } while (s != f->edge);
    return a / 2;
}

// Every link of every half-edge, to see whether a call changed anything.
std::map<const PatternHalfEdge*, std::tuple<const void*, const void*, const void*, const void*>> snapshot(
    const CreasePattern& cp) {
    std::map<const PatternHalfEdge*, std::tuple<const void*, const void*, const void*, const void*>> s;
    for (const PatternHalfEdge& h : cp.halfEdges) s[&h] = std::make_tuple(h.vert, h.face, h.next, h.prev);
    return s;
}

TEST(LongestEdge, ZeroSidesTiesAndWalkOrder) {
    HandPattern hp;
    PatternVertex* p = hp.corner(1, 1);
    PatternFace* point = hp.ring({p, p, p}, VertexMolecule);
    EXPECT_EQ(longestEdge(point), point->edge);

    // A 2 by 1 rectangle whose edge is a short side: walking prev from it
    // meets the long side that ends at the edge's tail first.
    PatternVertex* a = hp.corner(0, 0);
    PatternVertex* b = hp.corner(0, -1);
    PatternVertex* c = hp.corner(2, -1);
    PatternVertex* d = hp.corner(2, 0);
    PatternFace* rect = hp.ring({a, b, c, d}, VertexMolecule);
    EXPECT_EQ(longestEdge(rect), rect->edge->prev);
    EXPECT_EQ(longestEdge(rect), sideBetween(rect, d, a));

    PatternVertex* e = hp.corner(0, 0);
    PatternVertex* f = hp.corner(3, 0);
    PatternVertex* g = hp.corner(0, 1);
    PatternFace* tri = hp.ring({e, f, g}, VertexMolecule);
    EXPECT_EQ(longestEdge(tri), sideBetween(tri, f, g));
}

TEST(MinTriangleAngle, InteriorAnglesCounterClockwiseNegativeClockwise) {
    struct Case {
        XY p0, p1, p2;
        double expected;
    } cases[] = {
        {{0, 0}, {1, 0}, {0, 1}, kPi / 4},
        {{0, 0}, {0, 1}, {1, 0}, -kPi / 2},
        {{0, 0}, {2, 0}, {1, std::sqrt(3.0)}, kPi / 3},
        {{0, 0}, {4, 0}, {2, 1}, std::atan(0.5)},
    };
    for (const Case& c : cases) {
        HandPattern hp;
        PatternVertex* a = hp.corner(c.p0.x, c.p0.y);
        PatternVertex* b = hp.corner(c.p1.x, c.p1.y);
        PatternVertex* d = hp.corner(c.p2.x, c.p2.y);
        EXPECT_NEAR(minTriangleAngle(a, b, d), c.expected, 1e-12);
    }
}

TEST(SplitFace, CutsOffTheCycleFromPToQ) {
    Molecule m({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    PatternVertex* c0 = m.corners[0];
    PatternVertex* c2 = m.corners[2];
    PatternHalfEdge* p = sideBetween(m.vtm, m.corners[3], c0);  // head c0
    PatternHalfEdge* q = sideBetween(m.vtm, m.corners[1], c2);  // head c2
    PatternHalfEdge* A = m.hp.cp.splitFace(p, q);

    EXPECT_EQ(A->prev->vert, c0);
    EXPECT_EQ(A->vert, c2);
    EXPECT_EQ(A->pair->vert, c0);
    EXPECT_EQ(&m.hp.cp.halfEdges.front(), A->pair);
    EXPECT_EQ(&m.hp.cp.faces.front(), A->face);
    EXPECT_EQ(A->face->kind, VertexMolecule);
    EXPECT_EQ(p->face, A->face);
    EXPECT_EQ(q->face, m.vtm);
    EXPECT_EQ(m.vtm->edge, q);
    EXPECT_EQ(countSides(A->face), 3);
    EXPECT_EQ(countSides(m.vtm), 3);
    EXPECT_EQ(patternFault(m.hp.cp), "");
}

struct PolygonCase {
    const char* name;
    std::vector<XY> points;
};

std::vector<XY> regular(int n, double squash) {
    std::vector<XY> p;
    for (int i = 0; i < n; ++i)
        p.push_back({std::cos(2 * kPi * i / n + 0.1), squash * std::sin(2 * kPi * i / n + 0.1)});
    return p;
}

class Triangulation : public ::testing::TestWithParam<PolygonCase> {};

TEST_P(Triangulation, SplitsIntoTrianglesOnce) {
    Molecule m(GetParam().points);
    CreasePattern& cp = m.hp.cp;
    int n = static_cast<int>(m.corners.size());
    PatternHalfEdge* start = longestEdge(m.vtm);

    cp.triangulateVertexMolecules();
    EXPECT_TRUE(cp.triangulated);
    EXPECT_EQ(patternFault(cp), "");
    EXPECT_EQ(countFaces(cp, VertexMolecule), n - 2);
    int diagonals = 0;
    for (const PatternFace& f : cp.faces) {
        if (f.kind != VertexMolecule) continue;
        EXPECT_EQ(countSides(&f), 3);
        EXPECT_GT(signedArea(&f), 0) << "inverted triangle";
    }
    for (const PatternHalfEdge& h : cp.halfEdges)
        diagonals += h.face->kind == VertexMolecule && h.pair->face->kind == VertexMolecule;
    EXPECT_EQ(diagonals, 2 * (n - 3));
    EXPECT_EQ(start->face, m.vtm) << "the starting side keeps the molecule's record";

    auto before = snapshot(cp);
    size_t faces = cp.faces.size();
    cp.triangulateVertexMolecules();
    EXPECT_EQ(cp.faces.size(), faces);
    EXPECT_EQ(snapshot(cp), before);
}

INSTANTIATE_TEST_SUITE_P(
    Polygons, Triangulation,
    ::testing::Values(PolygonCase{"triangle", regular(3, 1.0)}, PolygonCase{"square", regular(4, 1.0)},
                      PolygonCase{"hexagon", regular(6, 1.0)}, PolygonCase{"flatOctagon", regular(8, 0.2)},
                      PolygonCase{"elevenGon", regular(11, 0.7)},
                      PolygonCase{"irregular", {{0, 0}, {5, 0}, {5.5, 1}, {4, 3}, {1, 3.2}, {-0.5, 1.5}}}),
    [](const ::testing::TestParamInfo<PolygonCase>& info) { return info.param.name; });

// Two molecule triangles (t, h, a) and (h, t, a') on the diagonal t-h,
// inside one placed polygon.
struct Kite {
    HandPattern hp;
    PatternVertex *t, *h, *a, *a2;
    PatternHalfEdge* p = nullptr;

    Kite(XY tp, XY hpos, XY ap, XY a2p) {
        t = hp.corner(tp.x, tp.y);
        h = hp.corner(hpos.x, hpos.y);
        a = hp.corner(ap.x, ap.y);
        a2 = hp.corner(a2p.x, a2p.y);
        PatternFace* f = hp.ring({t, h, a}, VertexMolecule);
        PatternFace* g = hp.ring({h, t, a2}, VertexMolecule);
        p = f->edge;
        pairSides(p, g->edge);
        hp.closeOutside(PolygonFace);
        hp.cp.built = true;
        hp.cp.triangulated = true;
    }
    bool flipped() const { return p->prev->vert == a && p->vert == a2; }
};

TEST(ImproveVertexMolecules, FlipsExactlyWhenTheSmallestAngleGrows) {
    struct Case {
        const char* name;
        XY t, h, a, a2;
        bool flips;
    } cases[] = {
        {"longDiagonalOfAConvexKite", {0, 0}, {4, 0}, {2, 1}, {2, -1}, true},
        {"shortDiagonalOfAConvexKite", {2, -1}, {2, 1}, {0, 0}, {4, 0}, false},
        {"squareEqualAngles", {0, 0}, {1, 1}, {0, 1}, {1, 0}, false},
        {"nonConvex", {0, 0}, {4, 0}, {2, 1}, {7, -1}, false},
    };
    for (const Case& c : cases) {
        Kite k(c.t, c.h, c.a, c.a2);
        auto before = snapshot(k.hp.cp);
        k.hp.cp.improveVertexMolecules();
        EXPECT_EQ(k.flipped(), c.flips) << c.name;
        // Not even a flip and a flip back.
        if (!c.flips) {
            EXPECT_EQ(snapshot(k.hp.cp), before) << c.name;
        }
        EXPECT_EQ(patternFault(k.hp.cp), "") << c.name;
        if (c.flips) {
            EXPECT_GT(signedArea(k.p->face), 0);
            EXPECT_GT(signedArea(k.p->pair->face), 0);
        }
    }
}

TEST(ImproveVertexMolecules, FlipKeepsFaceRecordsAndTurnsTheDiagonal) {
    Kite k({0, 0}, {4, 0}, {2, 1}, {2, -1});
    PatternFace* f = k.p->face;
    PatternFace* g = k.p->pair->face;
    ASSERT_TRUE(flipEdge(k.p));
    EXPECT_EQ(k.p->face, f);
    EXPECT_EQ(k.p->pair->face, g);
    EXPECT_EQ(f->edge, k.p);
    EXPECT_EQ(g->edge, k.p->pair);
    // p's face is now (a, a', h), its pair's (a', a, t).
    EXPECT_EQ(k.p->next->vert, k.h);
    EXPECT_EQ(k.p->pair->next->vert, k.t);
    EXPECT_EQ(patternFault(k.hp.cp), "");
}

TEST(ImproveVertexMolecules, FlipRefusesFacesThatAreNotTriangles) {
    // A triangle against one side of a four-sided molecule.
    HandPattern hp;
    PatternVertex* a = hp.corner(0, 0);
    PatternVertex* b = hp.corner(2, 0);
    PatternVertex* c = hp.corner(2, 2);
    PatternVertex* d = hp.corner(0, 2);
    PatternVertex* e = hp.corner(1, -1);
    PatternFace* quad = hp.ring({a, b, c, d}, VertexMolecule);
    PatternFace* tri = hp.ring({b, a, e}, VertexMolecule);
    pairSides(quad->edge, tri->edge);
    hp.closeOutside(PolygonFace);
    auto before = snapshot(hp.cp);
    EXPECT_FALSE(flipEdge(quad->edge));
    EXPECT_FALSE(flipEdge(tri->edge));
    EXPECT_EQ(snapshot(hp.cp), before);
}

TEST(ImproveVertexMolecules, UnbuiltPatternOnlyTriangulates) {
    Kite k({0, 0}, {4, 0}, {2, 1}, {2, -1});
    k.hp.cp.built = false;
    k.hp.cp.triangulated = false;
    k.hp.cp.improveVertexMolecules();
    EXPECT_TRUE(k.hp.cp.triangulated);
    EXPECT_FALSE(k.flipped());

    CreasePattern empty;
    empty.improveVertexMolecules();
    EXPECT_TRUE(empty.triangulated);
    EXPECT_TRUE(empty.faces.empty());
}

// Later passes converge: flipping on an already improved triangulation of
// a fan keeps every triangle counter-clockwise and eventually stops.
TEST(ImproveVertexMolecules, RepeatedPassesSettle) {
    Molecule m(regular(9, 0.3));
    CreasePattern& cp = m.hp.cp;
    cp.built = true;
    cp.triangulateVertexMolecules();
    auto last = snapshot(cp);
    bool settled = false;
    for (int pass = 0; pass < 50 && !settled; ++pass) {
        cp.improveVertexMolecules();
        auto now = snapshot(cp);
        settled = now == last;
        last = now;
    }
    EXPECT_TRUE(settled);
    EXPECT_EQ(patternFault(cp), "");
    for (const PatternFace& f : cp.faces) {
        if (f.kind == VertexMolecule) {
            EXPECT_GT(signedArea(&f), 0);
        }
    }
}

// On a built open grid, gap sides on the paper edge steer the split with
// their ideal direction; the result must still be a sound set of triangles,
// and stay so under flips.
TEST(TriangulateVertexMolecules, BuiltGridStaysSound) {
    Polyhedron model;
    ASSERT_EQ(loadLaidOut(model, testsupport::openGridObj(3)), 0);
    buildPattern(model);
    CreasePattern& cp = model.creasePattern;
    cp.triangulateVertexMolecules();
    EXPECT_EQ(patternFault(cp), "");
    for (int pass = 0; pass < 10; ++pass) cp.improveVertexMolecules();
    EXPECT_EQ(patternFault(cp), "");
    for (const PatternFace& f : cp.faces) {
        if (f.kind == VertexMolecule) {
            EXPECT_LE(countSides(&f), 3);
        }
    }
}

}  // namespace
