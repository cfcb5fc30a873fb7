#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "model/oripoly.h"
#include "solver/layout_fixtures.h"

using layoutfixtures::findHalf;
using layoutfixtures::layOut;
using layoutfixtures::translations;

namespace {

const Vec2 kMarker(9.0, 9.0);

// Two triangles of a unit square that share their diagonal.
struct TwoFaces : ::testing::Test {
    Polyhedron model;
    LayoutSolver& s = model.solver;
    Face* f0 = nullptr;
    Face* f1 = nullptr;
    HalfEdge* n = nullptr;  // the diagonal's half in f0

    void SetUp() override {
        ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(1)));
        f0 = &model.faces.front();
        f1 = &model.faces.back();
        n = findHalf(model, [&](const HalfEdge& h) { return h.face == f0 && h.pair->face == f1; });
        ASSERT_NE(n, nullptr);
        s.widthsReady = true;
        s.tuckWidths[n->edgeIndex] = 0.05;
    }
};

Vec2 boxCentre(const Polyhedron& model) {
    Vec2 lo(DBL_MAX, DBL_MAX), hi(-DBL_MAX, -DBL_MAX);
    for (const HalfEdge& h : model.halfEdges) {
        if (!h.face) continue;
        Vec2 P = h.face->translation + h.corner;
        lo = Vec2(std::min(lo.x, P.x), std::min(lo.y, P.y));
        hi = Vec2(std::max(hi.x, P.x), std::max(hi.y, P.y));
    }
    return 0.5 * (lo + hi);
}

}  // namespace

TEST_F(TwoFaces, NeighbourIsPlacedAgainOnlyByAStrictlyShorterPath) {
    struct Case {
        int depth;
        bool placed;
    };
    for (Case c : {Case{-1, true}, Case{0, false}, Case{1, false}, Case{2, true}, Case{5, true}}) {
        SCOPED_TRACE(c.depth);
        f1->translation = kMarker;
        f1->depth = c.depth;
        s.layoutFacesFrom(f0->edge, Vec2(), 0);
        EXPECT_EQ(f0->depth, 0);
        EXPECT_EQ(f1->translation.x != kMarker.x, c.placed);
        EXPECT_EQ(f1->depth, c.placed ? 1 : c.depth);
    }
}

TEST_F(TwoFaces, CopiesMeetAtTheNarrowEndOneWidthApart) {
    struct Case {
        const char* name;
        double signedTheta;
        bool tailsMeet;
    };
    const std::vector<Case> cases = {
        {"positive: tails", 0.2, true}, {"zero: heads", 0.0, false}, {"negative: heads", -0.2, false}};
    const Vec2 start(0.5, -0.25);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s.edgeAngles[n->edgeIndex] = c.signedTheta * s.edgeSign(n);
        model.resetFaceDepths();
        s.layoutFacesFrom(f0->edge, start, 0);
        EXPECT_EQ(f0->translation.x, start.x);
        EXPECT_EQ(f0->translation.y, start.y);

        Vec2 u = s.bisectorDirection(n);
        Vec2 expected = 0.05 * Vec2(u.y, -u.x);
        Vec2 inF0 = start + (c.tailsMeet ? n->prev->corner : n->corner);
        Vec2 inF1 = f1->translation + (c.tailsMeet ? n->pair->corner : n->pair->prev->corner);
        EXPECT_NEAR(inF1.x - inF0.x, expected.x, 1e-15);
        EXPECT_NEAR(inF1.y - inF0.y, expected.y, 1e-15);
    }
}

TEST(FaceLayout, EveryFaceButTheAnchorIsPlacedFromIt) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    LayoutSolver& s = model.solver;
    for (Face& f : model.faces) f.translation = kMarker;
    model.faces.front().translation = Vec2(3.0, 4.0);

    s.layoutFaces();  // widths not ready yet
    for (const Face& f : model.faces) {
        if (&f == &model.faces.front()) continue;
        EXPECT_EQ(f.translation.x, kMarker.x);
    }

    s.widthsReady = true;
    s.layoutFaces();
    EXPECT_EQ(model.faces.front().translation.x, 3.0);
    EXPECT_EQ(model.faces.front().translation.y, 4.0);
    for (const Face& f : model.faces) {
        EXPECT_GE(f.depth, 0);
        EXPECT_NE(f.translation.x, kMarker.x);
    }
}

TEST(FaceLayout, CentringTakesOneCallAndThenMovesNothing) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(3)));
    model.solver.widthsReady = true;
    model.solver.layoutFaces();
    for (Face& f : model.faces) f.translation = f.translation + Vec2(5.0, 3.0);
    ASSERT_GT(boxCentre(model).x, 4.0);

    model.solver.centreLayout();
    Vec2 c = boxCentre(model);
    EXPECT_NEAR(c.x, 0.0, 1e-12);
    EXPECT_NEAR(c.y, 0.0, 1e-12);

    std::vector<Vec2> once = translations(model);
    model.solver.centreLayout();
    std::vector<Vec2> twice = translations(model);
    for (size_t i = 0; i < once.size(); ++i) {
        EXPECT_NEAR(twice[i].x, once[i].x, 1e-12);
        EXPECT_NEAR(twice[i].y, once[i].y, 1e-12);
    }
}
