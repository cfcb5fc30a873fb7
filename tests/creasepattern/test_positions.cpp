#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using namespace patternfixtures;

namespace {

const double kPi = 3.14159265358979323846;

double distance(const Vec2& a, const Vec2& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// An unbuilt-model pattern on a loaded open grid, built and triangulated.
class GridPattern : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(loadLaidOut(model, testsupport::openGridObj(3)), 0);
        buildPattern(model);
        model.creasePattern.triangulateVertexMolecules();
    }
    Polyhedron model;
};

TEST_F(GridPattern, SidesOfPolygonsAndDiagonalsKeepTheirOwnDirection) {
    CreasePattern& cp = model.creasePattern;
    PatternHalfEdge* polygonSide = cp.faces.back().edge;
    PatternHalfEdge* diagonal = nullptr;
    for (PatternHalfEdge& h : cp.halfEdges)
        if (h.face && h.face->kind == VertexMolecule && h.pair->face && h.pair->face->kind == VertexMolecule)
            diagonal = &h;
    ASSERT_NE(diagonal, nullptr);

    for (PatternHalfEdge* s : {polygonSide, diagonal}) {
        Vec2 d = s->vert->pos - s->prev->vert->pos;
        double len = std::hypot(d.x, d.y);
        Vec2 ideal = s->idealDirection();
        EXPECT_NEAR(ideal.x, d.x / len, 1e-15);
        EXPECT_NEAR(ideal.y, d.y / len, 1e-15);
    }

    polygonSide->prev->vert->pos = polygonSide->vert->pos;
    Vec2 zero = polygonSide->idealDirection();
    EXPECT_EQ(zero.x, 1.0);
    EXPECT_EQ(zero.y, 0.0);
}

// Across a gap at the paper edge, the molecule side and its face-less pair
// take the boundary rule from the same model half-edge, so they are opposite.
TEST_F(GridPattern, GapSideAndItsPaperEdgeAreOpposite) {
    int gaps = 0;
    for (PatternHalfEdge& E : model.creasePattern.halfEdges) {
        if (E.face || !E.pair->face || E.pair->face->kind != VertexMolecule) continue;
        ++gaps;
        Vec2 out = E.idealDirection();
        Vec2 in = E.pair->idealDirection();
        EXPECT_NEAR(std::hypot(out.x, out.y), 1.0, 1e-12);
        EXPECT_NEAR(out.x, -in.x, 1e-12);
        EXPECT_NEAR(out.y, -in.y, 1e-12);
    }
    EXPECT_GT(gaps, 0);
}

// A triangle of a vertex molecule inside one placed polygon.
struct Triangle {
    HandPattern hp;
    PatternVertex *a, *b, *c;
    PatternFace* f;

    Triangle(double ax, double ay, double bx, double by, double cx, double cy) {
        a = hp.corner(ax, ay);
        b = hp.corner(bx, by);
        c = hp.corner(cx, cy);
        f = hp.ring({a, b, c}, VertexMolecule);
        hp.closeOutside(PolygonFace);
    }
};

TEST(ComputeCentre, PlainCircumcentreWhicheverSideIsTheBase) {
    struct Case {
        double ax, ay, bx, by, cx, cy;
    } cases[] = {{0, 0, 4, 0, 1, 3}, {0, 0, 6, 0, 5, 0.5}, {0, 0, 2, 0, 0, 2}, {-3, 1, 1, -2, 2, 5}};
    for (const Case& k : cases) {
        Triangle t(k.ax, k.ay, k.bx, k.by, k.cx, k.cy);
        Vec2 first;
        for (int rotation = 0; rotation < 3; ++rotation) {
            t.f->computeCentre();
            Vec2 o = t.f->centre;
            double ra = distance(o, t.a->pos);
            EXPECT_NEAR(distance(o, t.b->pos), ra, 1e-9 * ra);
            EXPECT_NEAR(distance(o, t.c->pos), ra, 1e-9 * ra);
            if (rotation == 0) first = o;
            EXPECT_NEAR(o.x, first.x, 1e-9);
            EXPECT_NEAR(o.y, first.y, 1e-9);
            t.f->edge = t.f->edge->next;
        }
    }
}

// A triangle with one side across an edge molecule measures its centre from
// that side's ideal direction, whichever of its neighbours is the longer: the
// centre lies on the perpendicular to the ideal direction through the middle
// of the side's projection onto it. In a solved layout the side runs along
// its ideal direction, so each side's head is moved off it first, as moving
// a face does.
TEST(ComputeCentre, OneEdgeMoleculeSideKeepsItsIdealDirection) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::sphereObj(1)), 0);
    testsupport::captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    SolverOptions options;
    creasePatternTick(working, options);
    CreasePattern& cp = working.creasePattern;
    cp.updatePositions();

    auto acrossEtm = [](const PatternHalfEdge* s) { return s->pair->face && s->pair->face->kind == EdgeMolecule; };
    auto squared = [](const PatternHalfEdge* s) {
        Vec2 d = s->vert->pos - s->prev->vert->pos;
        return d.x * d.x + d.y * d.y;
    };
    int based[2] = {0, 0};  // on the side itself, on the side before it
    for (PatternFace& f : cp.faces) {
        if (f.kind != VertexMolecule || countSides(&f) != 3) continue;
        PatternHalfEdge* s = nullptr;
        int etmSides = 0;
        PatternHalfEdge* e = f.edge;
        for (int i = 0; i < 3; ++i, e = e->next)
            if (acrossEtm(e)) ++etmSides, s = e;
        if (etmSides != 1) continue;

        Vec2 kept = s->vert->pos;
        Vec2 side = s->vert->pos - s->prev->vert->pos;
        s->vert->pos = kept + 0.1 * Vec2(-side.y, side.x);
        f.computeCentre();
        Vec2 ideal = s->idealDirection();
        side = s->vert->pos - s->prev->vert->pos;
        Vec2 c = f.centre - s->prev->vert->pos;
        double half = 0.5 * (side.x * ideal.x + side.y * ideal.y);
        EXPECT_NEAR(c.x * ideal.x + c.y * ideal.y, half, 1e-9 * (1 + std::fabs(half)));
        ++based[squared(s->prev) >= squared(s->next)];
        s->vert->pos = kept;
    }
    EXPECT_GT(based[0], 0);
    EXPECT_GT(based[1], 0);
}

TEST(ComputeCentre, CollinearCornersKeepAFiniteCentre) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Vec2 previous;
        bool computedBefore;
        Vec2 expected;
    } cases[] = {
        {Vec2(5, -5), true, Vec2(5, -5)},  // the last centre stays
        {Vec2(0, 0), false, Vec2(1, 0)},   // a new face has none: the middle of the corners
        {Vec2(nan, 0), true, Vec2(1, 0)},  // none usable
        {Vec2(0, inf), true, Vec2(1, 0)},
    };
    for (const Case& k : cases) {
        Triangle t(0, 0, 1, 0, 2, 0);
        t.f->centre = k.previous;
        t.f->centreComputed = k.computedBefore;
        t.f->computeCentre();
        EXPECT_EQ(t.f->centre.x, k.expected.x);
        EXPECT_EQ(t.f->centre.y, k.expected.y);
    }
    Triangle point(1, 1, 1, 1, 1, 1);
    point.f->centre = Vec2(nan, nan);
    point.f->computeCentre();
    EXPECT_EQ(point.f->centre.x, 1.0);
    EXPECT_EQ(point.f->centre.y, 1.0);
}

// A corner X with its pair T across the edge: the corner's own copy sits at
// P1 on face fx, the other copy of the same model vertex at P2 on face ft.
struct CrimpCorner {
    HandPattern hp;
    Face ft;
    HalfEdge T, Tprev;
    PatternVertex* corner;
    HalfEdge* X;
    CrimpRecord record;

    // `moleculeCorners` are the other corners of the face of the corner's
    // VTM edge, which leaves the corner towards the first of them.
    CrimpCorner(Vec2 P1, Vec2 P2, const std::vector<Vec2>& moleculeCorners) {
        corner = hp.corner(P1.x, P1.y);
        X = corner->modelHalfEdge;
        ft.translation = Vec2(P2.x - 1, P2.y);
        Tprev.corner = Vec2(1, 0);
        T.face = &ft;
        T.prev = &Tprev;
        T.pair = X;
        X->pair = &T;
        std::vector<PatternVertex*> ring = {corner};
        for (const Vec2& p : moleculeCorners) ring.push_back(hp.corner(p.x, p.y));
        PatternFace* f = hp.ring(ring, VertexMolecule);
        corner->vtmEdge = f->edge;
        hp.closeOutside(PolygonFace);
        record.owner = &hp.cp;
        record.vertex = corner;
    }
    void directions(Vec2 dx, Vec2 dt) {
        X->direction = dx;
        T.direction = dt;
    }
};

TEST(OppositeAngle, TriangleGivesItsApexAngleLargerFaceGivesNone) {
    const double gap = 0.3;
    Vec2 dt(-std::cos(gap), -std::sin(gap));  // -dir(X) turned by the gap
    // Right isosceles triangle over the VTM edge: apex angle pi/2.
    CrimpCorner triangle(Vec2(0, 0), Vec2(2, 0), {Vec2(2, 0), Vec2(1, 1)});
    triangle.directions(Vec2(1, 0), dt);
    EXPECT_NEAR(oppositeAngle(triangle.X), 0.5 * gap + kPi - kPi / 2, 1e-12);

    CrimpCorner quad(Vec2(0, 0), Vec2(2, 0), {Vec2(2, 0), Vec2(2, 2), Vec2(0, 2)});
    quad.directions(Vec2(1, 0), dt);
    EXPECT_NEAR(oppositeAngle(quad.X), 0.5 * gap + kPi, 1e-12);
}

// Where the sides' directions turn the wrong way round, as in a sliver of a
// molecule whose ideal directions lean past its own, the angle is negative,
// not a whole turn away: the second crimp's base angle must not jump by pi
// while the apex it places stays put.
TEST(OppositeAngle, TurnedOverTriangleGivesANegativeApexAngle) {
    const double gap = 0.3;
    Vec2 dt(-std::cos(gap), -std::sin(gap));
    CrimpCorner turned(Vec2(0, 0), Vec2(2, 0), {Vec2(2, 0), Vec2(1, -1)});
    turned.directions(Vec2(1, 0), dt);
    EXPECT_NEAR(oppositeAngle(turned.X), 0.5 * gap + kPi + kPi / 2, 1e-12);
}

TEST(CrimpPoints, ApexesOverTheVtmEdge) {
    Vec2 P1(1, 1), P2(4, 2);
    Vec2 mid = 0.5 * (P1 + P2);
    // Equilateral molecule triangle: its apex angle pi/3 makes the
    // opposite angle 2 pi/3; a tuck angle equal to it gives s = s2 = -pi/6.
    CrimpCorner same(P1, P2, {P2, Vec2(2.5 - 0.5 * std::sqrt(3.0), 1.5 + 1.5 * std::sqrt(3.0))});
    same.directions(Vec2(1, 0), Vec2(-1, 0));
    same.X->tuckAngle = 2 * kPi / 3;
    same.record.computePoints();
    EXPECT_NEAR(same.record.point1.x, same.record.point2.x, 1e-12);
    EXPECT_NEAR(same.record.point1.y, same.record.point2.y, 1e-12);
    const Vec2& apex = same.record.point1;
    EXPECT_NEAR(distance(apex, P1), distance(apex, P2), 1e-12);
    Vec2 base = P2 - P1, side = apex - P1;
    double baseAngle = std::atan2(base.x * side.y - base.y * side.x, base.x * side.x + base.y * side.y);
    // A negative s puts the apex on the left of P1 -> P2.
    EXPECT_NEAR(baseAngle, kPi / 6, 1e-12);

    // s = 0: the first point is the midpoint of the VTM edge.
    CrimpCorner flat(P1, P2, {P2, Vec2(2, 4)});
    flat.directions(Vec2(1, 0), Vec2(-1, 0));
    flat.X->tuckAngle = kPi / 2;
    flat.record.computePoints();
    EXPECT_NEAR(flat.record.point1.x, mid.x, 1e-12);
    EXPECT_NEAR(flat.record.point1.y, mid.y, 1e-12);
}

TEST(CrimpPoints, RightBaseAngleStaysFinite) {
    Vec2 P1(0, 0), P2(2, 0);
    for (double tuck : {0.0, kPi, -1e-17}) {
        CrimpCorner c(P1, P2, {P2, Vec2(1, 1)});
        c.directions(Vec2(1, 0), Vec2(-1, 0));
        c.X->tuckAngle = tuck;  // s = pi/2 - tuck, at or next to a right angle
        c.record.computePoints();
        for (const Vec2& p : {c.record.point1, c.record.point2}) {
            EXPECT_TRUE(isFiniteVec(p));
            EXPECT_LE(distance(p, Vec2(1, 0)), 1e3 + 1e-9);
            EXPECT_NEAR(p.x, 1.0, 1e-12);
        }
    }
}

TEST(UpdatePositions, UnbuiltPatternChangesNothing) {
    Triangle t(0, 0, 4, 0, 1, 3);
    t.hp.sheet.front().translation = Vec2(10, 10);
    t.f->centre = Vec2(7, 7);
    BoundaryMidpoint m;
    m.halfEdge = t.f->edge->pair;
    m.pos = Vec2(-1, -1);
    t.hp.cp.midpoints.push_front(m);
    t.hp.cp.updatePositions();
    EXPECT_EQ(t.a->pos.x, 0.0);
    EXPECT_EQ(t.b->pos.x, 4.0);
    EXPECT_EQ(t.f->centre.x, 7.0);
    EXPECT_EQ(t.hp.cp.midpoints.front().pos.x, -1.0);
}

// Centres come from the corners of the previous refresh, midpoints from the
// new ones.
TEST(UpdatePositions, RefreshesInOrder) {
    Triangle t(0, 0, 4, 0, 1, 3);
    CreasePattern& cp = t.hp.cp;
    cp.built = true;
    t.f->computeCentre();
    Vec2 oldCentre = t.f->centre;
    t.f->centre = Vec2();
    BoundaryMidpoint m;
    m.halfEdge = t.f->edge->pair;
    cp.midpoints.push_front(m);

    t.hp.sheet.front().translation = Vec2(10, -5);
    cp.updatePositions();
    EXPECT_EQ(t.b->pos.x, 14.0);
    EXPECT_EQ(t.b->pos.y, -5.0);
    EXPECT_NEAR(t.f->centre.x, oldCentre.x, 1e-12);
    EXPECT_NEAR(t.f->centre.y, oldCentre.y, 1e-12);
    EXPECT_EQ(cp.midpoints.front().pos.x, 12.0);
    EXPECT_EQ(cp.midpoints.front().pos.y, -5.0);

    cp.updatePositions();
    EXPECT_NEAR(t.f->centre.x, oldCentre.x + 10, 1e-12);
    EXPECT_NEAR(t.f->centre.y, oldCentre.y - 5, 1e-12);
}

}  // namespace
