#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/layout_fixtures.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using layoutfixtures::findHalf;
using layoutfixtures::layOut;

namespace {

// Widths solved with every angle zero: all widths 0, the factor of the
// closure system ready for the steps.
struct PenaltyTest : ::testing::Test {
    Polyhedron model;
    LayoutSolver& s = model.solver;
    void SetUp() override {
        ASSERT_TRUE(layOut(model, testsupport::openGridObj(4)));
        s.solveWidths();
    }

    // B times v, to see that a change keeps the paper closed at every vertex.
    double closureOf(const std::vector<double>& v) const {
        const size_t R = 2 * (size_t)s.numVertices;
        double largest = 0.0;
        for (size_t i = 0; i < R; ++i) {
            double r = 0.0;
            for (int e = 0; e < s.numEdges; ++e) r += s.widthMatrix.at((int)i, e) * v[e];
            largest = std::max(largest, std::fabs(r));
        }
        return largest;
    }

    HalfEdge* inner() {
        return findHalf(model, [](const HalfEdge& h) { return !h.onCut && !h.pair->onCut; });
    }
};

double largestChange(const std::vector<double>& a, const std::vector<double>& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.size(); ++i) d = std::max(d, std::fabs(a[i] - b[i]));
    return d;
}

}  // namespace

TEST_F(PenaltyTest, CleanStateScoresZeroAndChangesNothing) {
    s.widthsReady = false;
    EXPECT_EQ(s.penaltyStep(1.8, 1.1, 0.0), 0.0);
    for (double w : s.tuckWidths) EXPECT_EQ(w, 0.0);
    EXPECT_FALSE(s.widthsReady);
}

TEST_F(PenaltyTest, WeightsOfTheIntersectionAndAngleTerms) {
    struct Case {
        const char* name;
        double a, b;
        double width, anglePenalty;
        double result;
    };
    const std::vector<Case> cases = {
        {"one negative width", 1.0, 0.0, -0.3, 0.0, 0.09},
        {"the weight enters the value squared", 1.8, 0.0, -0.3, 0.0, 0.54 * 0.54},
        {"a = 0 leaves negative widths alone", 0.0, 0.0, -0.3, 0.0, 0.0},
        {"b = 0 ignores the angle terms", 1.0, 0.0, 0.0, 2.0, 0.0},
        {"an angle term weighted by 0.1 b", 0.0, 1.1, 0.0, 2.0, 0.22 * 0.22},
        {"both terms add up", 1.0, 1.0, -0.3, 2.0, 0.09 + 0.04},
    };
    HalfEdge* h = inner();
    ASSERT_NE(h, nullptr);
    const int e = h->edgeIndex;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s.tuckWidths.assign(s.numEdges, 0.0);
        s.tuckWidths[e] = c.width;
        h->anglePenalty = c.anglePenalty;
        std::vector<double> before = s.tuckWidths;
        EXPECT_NEAR(s.penaltyStep(c.a, c.b, 0.0), c.result, 1e-15);
        EXPECT_EQ(largestChange(before, s.tuckWidths) > 0.0, c.result > 0.0);
        if (c.result > 0.0) {
            EXPECT_LT(closureOf(s.tuckWidths), 1e-4);
        }
    }
}

TEST_F(PenaltyTest, UnprojectedStepSendsANegativeWidthToItsOpposite) {
    const int e = inner()->edgeIndex;
    s.tuckWidths[e] = -0.3;
    s.penaltyStep(1.0, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(s.penaltyGradient[e], -0.6);  // w - g = 0.3
    for (int i = 0; i < s.numEdges; ++i) {
        if (i == e) continue;
        EXPECT_EQ(s.penaltyGradient[i], 0.0);
    }
    EXPECT_TRUE(s.widthsReady);
}

// The crease pattern leaves in each term the way its tuck should go to ease
// the angle condition; the step follows it, whatever its sign.
TEST_F(PenaltyTest, AngleTermMovesItsWidthItsOwnWay) {
    HalfEdge* h = inner();
    for (double term : {-1.0, 1.0}) {
        SCOPED_TRACE(term);
        s.tuckWidths.assign(s.numEdges, 0.0);
        h->anglePenalty = term;
        EXPECT_NEAR(s.penaltyStep(0.0, 1.0, 0.0), 0.01, 1e-15);
        EXPECT_NEAR(-s.penaltyGradient[h->edgeIndex], 0.2 * term, 1e-15);  // the unprojected step
    }
}

TEST_F(PenaltyTest, WidthLimitTermCountsOnlyWidthsBeyondTheLimit) {
    HalfEdge* h = inner();
    s.anglesReady = true;
    h->vert->offset = Vec3(0.0, 0.0, 0.1);
    h->pair->vert->offset = Vec3(0.0, 0.0, 0.1);
    double limit = std::max(s.widthLimit(h), s.widthLimit(h->pair));
    s.tuckWidths[h->edgeIndex] = 0.5 * s.widthLimit(h) + 0.5 * s.widthLimit(h->pair) - 1.0;
    EXPECT_EQ(s.penaltyStep(0.0, 0.0, 1.0), 0.0);

    s.tuckWidths[h->edgeIndex] = limit + 0.25;
    double x1 = s.tuckWidths[h->edgeIndex] - s.widthLimit(h);
    double x2 = s.tuckWidths[h->edgeIndex] - s.widthLimit(h->pair);
    EXPECT_NEAR(s.penaltyStep(0.0, 0.0, 2.0), 4.0 * (x1 * x1 + x2 * x2), 1e-12);
}

TEST_F(PenaltyTest, NonFiniteAngleTermIsLeftOut) {
    HalfEdge* h = inner();
    h->anglePenalty = std::nan("");
    inner()->pair->anglePenalty = 1.0;
    EXPECT_NEAR(s.penaltyStep(0.0, 1.0, 0.0), 0.01, 1e-15);
    for (double w : s.tuckWidths) EXPECT_TRUE(std::isfinite(w));
}

TEST_F(PenaltyTest, FattenReachesMidpointsWithinAFifthOfTheView) {
    // Every face at the origin, so every edge's midpoint is there too.
    for (Face& f : model.faces) f.translation = Vec2();
    struct Case {
        Vec2 P;
        double S;
        bool changes;
    };
    const std::vector<Case> cases = {
        {Vec2(0.1, 0.0), 1.0, true},  {Vec2(0.0, -0.39), 2.0, true}, {Vec2(0.2, 0.0), 1.0, false},
        {Vec2(0.0, 0.4), 2.0, false}, {Vec2(0.3, 0.0), 1.0, false},  {Vec2(0.1, 0.0), 0.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.P.x << "," << c.P.y << " S " << c.S);
        s.tuckWidths.assign(s.numEdges, 0.0);
        s.fattenAt(c.P, 1.0, c.S);
        double change = largestChange(std::vector<double>(s.numEdges, 0.0), s.tuckWidths);
        EXPECT_EQ(change > 0.0, c.changes);
        EXPECT_LE(change, 0.2 * c.S / 64.0 + 1e-15);
        for (double w : s.tuckWidths) ASSERT_TRUE(std::isfinite(w));
        EXPECT_LT(closureOf(s.tuckWidths), 1e-6);
    }
}

TEST_F(PenaltyTest, ThinningMovesByTheSameAmountsTheOtherWay) {
    for (Face& f : model.faces) f.translation = Vec2();
    s.fattenAt(Vec2(0.05, 0.0), 1.0, 1.0);
    std::vector<double> fattened = s.tuckWidths;
    s.tuckWidths.assign(s.numEdges, 0.0);
    s.fattenAt(Vec2(0.05, 0.0), -1.0, 1.0);
    bool someNegative = false;
    for (int e = 0; e < s.numEdges; ++e) {
        EXPECT_NEAR(s.tuckWidths[e], -fattened[e], 1e-15);
        someNegative = someNegative || s.tuckWidths[e] < 0.0;
    }
    EXPECT_TRUE(someNegative);
    EXPECT_TRUE(s.widthsReady);
}

TEST(PenaltyStep, BeforeAnyWidthSolveNoStepIsTaken) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, testsupport::openGridObj(3)));
    LayoutSolver& s = model.solver;
    s.tuckWidths[0] = -0.5;
    EXPECT_NEAR(s.penaltyStep(1.0, 0.0, 0.0), 0.25, 1e-15);
    s.fattenAt(Vec2(), 1.0, 1.0);
    EXPECT_EQ(s.tuckWidths[0], -0.5);
    for (double w : s.tuckWidths) EXPECT_TRUE(std::isfinite(w));
    EXPECT_FALSE(s.widthsReady);
}

// A width that is not a number would drop out of every term and read as a
// penalty of zero, which the idle loop takes for convergence.
TEST_F(PenaltyTest, ANonFiniteWidthStopsTheSteps) {
    struct Case {
        const char* name;
        double width, particular;  // of one edge; the particular width spoils the step's result
    };
    const std::vector<Case> cases = {
        {"a width that is not a number", std::nan(""), 0.0},
        {"an infinite width", -INFINITY, 0.0},
        {"a step whose result is not a number", -0.3, std::nan("")},
    };
    const int e = inner()->edgeIndex;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::captureStdout([&] { s.allocate(); });  // a new start also resumes the steps
        s.solveWidths();
        s.tuckWidths[e] = c.width;
        s.particularWidths[e] = c.particular;
        const std::vector<double> before = s.tuckWidths;
        double penalty = 0.0;
        std::string out = testsupport::captureStdout([&] { penalty = s.penaltyStep(1.8, 1.1, 0.0); });
        EXPECT_FALSE(penalty < 0.01) << penalty;
        EXPECT_EQ(out, "\nsolver stopped: a tuck width or a face position is not finite\n");
        EXPECT_TRUE(s.halted);
        for (int i = 0; i < s.numEdges; ++i) {
            if (i == e && std::isnan(c.width)) continue;
            ASSERT_EQ(s.tuckWidths[i], before[i]) << "edge " << i;
        }

        // Stopped where it is: no further step and no further line.
        out = testsupport::captureStdout([&] { penalty = s.penaltyStep(1.8, 1.1, 0.0); });
        EXPECT_FALSE(penalty < 0.01) << penalty;
        EXPECT_EQ(out, "");
        EXPECT_TRUE(s.halted);
    }
}

// Widths so wide that placing the faces overflows: the step itself finds
// nothing to penalise, and the layout it leaves is not finite.
TEST(IdleStep, ALayoutThatOverflowsIsNotTakenForConvergence) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::openGridObj(3)), 0);
    testsupport::captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    LayoutSolver& s = working.solver;
    s.tuckWidths.assign(s.numEdges, 1e308);
    const std::vector<Vec2> placed = layoutfixtures::translations(working);

    IdleStepResult r;
    std::string out = testsupport::captureStdout([&] { r = idleStep(working, SolverOptions(), true); });
    EXPECT_FALSE(r.penalty < 0.01) << r.penalty;
    EXPECT_EQ(out, "\nsolver stopped: a tuck width or a face position is not finite\n");
    for (double w : s.tuckWidths) ASSERT_EQ(w, 1e308);
    std::vector<Vec2> after = layoutfixtures::translations(working);
    for (size_t i = 0; i < after.size(); ++i) {
        ASSERT_EQ(after[i].x, placed[i].x) << "face " << i;
        ASSERT_EQ(after[i].y, placed[i].y) << "face " << i;
    }

    out = testsupport::captureStdout([&] { r = idleStep(working, SolverOptions(), true); });
    EXPECT_FALSE(r.stepped);
    EXPECT_FALSE(r.penalty < 0.01) << r.penalty;
    EXPECT_EQ(out, "");
}
