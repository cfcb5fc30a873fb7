#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::loadObjText;

namespace {

const double kPi = 3.141592653589793;
// A flat open 2 by 2 grid of squares, each split into two triangles.
const char* kFlatGrid =
    "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\nv 0 2 0\nv 1 2 0\nv 2 2 0\n"
    "f 1 2 5\nf 1 5 4\nf 2 3 6\nf 2 6 5\nf 4 5 8\nf 4 8 7\nf 5 6 9\nf 5 9 8\n";

void loadAndAllocate(Polyhedron& model, const std::string& obj) {
    ASSERT_EQ(loadObjText(model, obj), 0);
    captureStdout([&] { ASSERT_TRUE(model.solver.allocate()); });
}

Vec2 unit(Vec2 v) { return v.normalize(); }
double len(Vec2 v) { return std::sqrt(v.x * v.x + v.y * v.y); }

void expectVec(Vec2 a, Vec2 b, double tol, const std::string& what = "") {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
}

}  // namespace

TEST(Bisector, FromHandMadeHalfEdges) {
    // h runs from tail (index 1) to head (index 0), so it sees +theta.
    Vertex head, tail;
    head.index = 0;
    tail.index = 1;
    Face face;
    HalfEdge h, before, outside;
    h.vert = &head;
    h.face = &face;
    h.prev = &before;
    h.pair = &outside;
    h.edgeIndex = 0;
    before.corner = Vec2(0, 0);
    h.corner = Vec2(2, 0);
    outside.vert = &tail;
    outside.pair = &h;
    outside.next = &outside;
    outside.edgeIndex = 0;
    outside.onCut = true;

    LayoutSolver s;
    s.numOuterEdges = 4;
    s.edgeAngles = {0.4, 0.1};
    expectVec(s.bisectorDirection(&h), Vec2(std::cos(0.2), -std::sin(0.2)), 1e-15, "turned by -theta/2");

    // On the cut, the next outer edge around the tail and the outside sector
    // join in. That edge runs to a vertex of larger index: it sees -0.1.
    Vertex far;
    far.index = 2;
    HalfEdge neighbour, back;
    neighbour.vert = &far;
    neighbour.pair = &back;
    neighbour.edgeIndex = 1;
    back.vert = &tail;
    back.pair = &neighbour;
    outside.next = &neighbour;
    h.onCut = true;
    double turn = -0.5 * (-0.1 + 0.4 + kPi + 2 * kPi / 4);
    expectVec(s.bisectorDirection(&h), Vec2(std::cos(turn), std::sin(turn)), 1e-15, "cut edge");
    expectVec(s.bisectorDirection(&outside), Vec2(-std::cos(turn), -std::sin(turn)), 1e-15, "face-less half");

    struct Case {
        const char* name;
        bool onCut;
        const HalfEdge* asked;
        Vec2 expected;
    };
    h.corner = before.corner;  // degenerate: both corners equal
    for (const Case& c : {Case{"uncut", false, &h, Vec2(1, 0)}, Case{"cut", true, &h, Vec2(1, 0)},
                          Case{"face-less", true, &outside, Vec2(-1, 0)}}) {
        h.onCut = c.onCut;
        expectVec(s.bisectorDirection(c.asked), c.expected, 0.0, c.name);
    }

    // Two face-less halves have no direction to borrow.
    HalfEdge lone, other;
    lone.onCut = other.onCut = true;
    lone.pair = &other;
    other.pair = &lone;
    expectVec(s.bisectorDirection(&lone), Vec2(1, 0), 0.0, "no face on either side");
}

TEST(Bisector, ZeroAnglesLeaveEveryUncutEdgeAlongItsCopies) {
    Polyhedron model;
    loadAndAllocate(model, kFlatGrid);
    LayoutSolver& s = model.solver;
    s.anglesReady = true;  // all angles are still zero
    s.propagateDirections();
    int uncut = 0;
    for (const HalfEdge& h : model.halfEdges) {
        if (h.onCut || !h.face) continue;
        ++uncut;
        std::string what = "half-edge " + std::to_string(h.index);
        Vec2 own = unit(h.corner - h.prev->corner);
        expectVec(s.bisectorDirection(&h), own, 1e-12, what);
        expectVec(h.direction, own, 1e-12, what);
        expectVec(h.pair->direction, -own, 1e-12, what + ": copies not anti-parallel");
    }
    EXPECT_EQ(uncut, 2 * 8);
}

TEST(Bisector, HalvesOfAnEdgeAreOppositeAfterPropagation) {
    Polyhedron model;
    loadAndAllocate(model, testsupport::openGridObj(4));
    LayoutSolver& s = model.solver;
    s.solveAngles();
    captureStdout([&] { s.enforceAngleConditions(); });
    const HalfEdge* h0 = model.faces.front().edge;
    Vec2 firstEdge = unit(h0->corner - h0->prev->corner);
    s.propagateDirections();

    expectVec(unit(h0->corner - h0->prev->corner), firstEdge, 1e-12, "the first face keeps its orientation");
    bool turned = false;
    for (const HalfEdge& h : model.halfEdges) {
        EXPECT_GE(h.face ? h.face->depth : 0, 0);
        std::string what = "half-edge " + std::to_string(h.index);
        if (!h.onCut) {
            Vec2 a = s.bisectorDirection(&h), b = s.bisectorDirection(h.pair);
            expectVec(a, -b, 1e-4, what);  // closure holds up to the ridge residual
            turned = turned || std::abs(s.edgeAngles[h.edgeIndex]) > 0.01;
        } else if (!h.face) {
            expectVec(s.bisectorDirection(&h), -s.bisectorDirection(h.pair), 0.0, what);
        }
    }
    EXPECT_TRUE(turned) << "the fixture should need turned edges";
}

TEST(Orientation, AFaceIsLaidOutAgainOnlyByAShorterPath) {
    // Every face of a tetrahedron touches every other one.
    Polyhedron model;
    loadAndAllocate(model, testsupport::tetrahedronObj());
    std::vector<Face*> f;
    for (Face& face : model.faces) f.push_back(&face);
    f[1]->depth = 5;
    f[2]->depth = 4;
    f[3]->depth = 9;
    const Vec2 marker(100, 100);
    for (Face* face : f) face->edge->corner = marker;

    model.solver.orientFacesFrom(f[0]->edge, 3, Vec2(0, 1));
    EXPECT_EQ(f[0]->depth, 3);
    EXPECT_EQ(f[1]->depth, 4);
    EXPECT_EQ(f[2]->depth, 4);
    EXPECT_EQ(f[3]->depth, 4);
    expectVec(f[0]->edge->direction, Vec2(0, 1), 1e-15);
    EXPECT_NE(f[1]->edge->corner.x, marker.x) << "depth 5 reached at 4 is laid out again";
    EXPECT_NE(f[3]->edge->corner.x, marker.x);
    EXPECT_EQ(f[2]->edge->corner.x, marker.x) << "a face reached at its own depth is left alone";
    EXPECT_EQ(f[2]->edge->corner.y, marker.y);
}

TEST(Orientation, NothingHappensBeforeTheAngleConditions) {
    Polyhedron model;
    loadAndAllocate(model, testsupport::openGridObj(2));
    for (Face& face : model.faces) face.depth = 7;
    const Vec2 marker(3, 4);
    model.faces.back().edge->corner = marker;
    model.solver.propagateDirections();
    for (Face& face : model.faces) EXPECT_EQ(face.depth, 7);
    expectVec(model.faces.back().edge->corner, marker, 0.0);
}

TEST(Orientation, AZeroStartDirectionLaysOutAlongTheXAxis) {
    Polyhedron model;
    loadAndAllocate(model, testsupport::openGridObj(2));
    HalfEdge* h0 = model.faces.front().edge;
    model.solver.orientFacesFrom(h0, 0, Vec2(0, 0));
    expectVec(h0->direction, Vec2(1, 0), 0.0);
    for (const HalfEdge& h : model.halfEdges) {
        double l = len(h.direction);
        EXPECT_TRUE(std::isfinite(l));
        EXPECT_GT(l, 0.5) << "half-edge " << h.index << " lost its direction";
        if (!h.face) expectVec(unit(h.direction), -h.pair->direction, 1e-12);
    }
}
