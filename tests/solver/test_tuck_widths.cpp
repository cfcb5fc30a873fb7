#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "model/oripoly.h"
#include "solver/layout_fixtures.h"
#include "solver/layout_terms.h"
#include "support/test_support.h"

using layoutfixtures::findHalf;
using layoutfixtures::layOut;

namespace {

const double kPi = 3.141592653589793;

// The right-hand side that solveWidths solved for, recovered from what it
// leaves: r = B w0 + ridge y, with y the solution left in widthRhs.
std::vector<double> solvedRhs(const LayoutSolver& s) {
    const size_t R = 2 * (size_t)s.numVertices;
    std::vector<double> r(R);
    for (size_t i = 0; i < R; ++i) {
        r[i] = s.ridge * s.widthRhs[i];
        for (int e = 0; e < s.numEdges; ++e) r[i] += s.widthMatrix.at((int)i, e) * s.particularWidths[e];
    }
    return r;
}

double B(const LayoutSolver& s, int row, int e) { return s.widthMatrix.at(row, e); }

HalfEdge* interiorPlusHalf(Polyhedron& model) {
    return findHalf(model, [&](const HalfEdge& h) {
        return !h.onCut && !h.pair->onCut && model.solver.edgeSign(&h) == 1 && !h.vert->onCut;
    });
}

struct WidthsTest : ::testing::Test {
    Polyhedron model;
    LayoutSolver& s = model.solver;
    void SetUp() override { ASSERT_TRUE(layOut(model, testsupport::openGridObj(3))); }
};

}  // namespace

TEST_F(WidthsTest, EveryAngleZeroGivesZeroWidths) {
    s.solveWidths();
    EXPECT_TRUE(s.widthsReady);
    for (double w : s.tuckWidths) EXPECT_EQ(w, 0.0);
    for (double r : solvedRhs(s)) EXPECT_EQ(r, 0.0);
}

TEST_F(WidthsTest, ChordEntersOnlyAtTheWideEnd) {
    HalfEdge* h = interiorPlusHalf(model);
    ASSERT_NE(h, nullptr);
    const double theta = 0.3;
    s.edgeAngles[h->edgeIndex] = theta;  // s(h) = +1: the strip is narrow at h's tail
    s.solveWidths();

    const int head = h->vert->index, tail = h->pair->vert->index;
    const double k = 2.0 * h->length * std::sin(0.5 * theta);
    Vec2 uh = s.bisectorDirection(h), up = s.bisectorDirection(h->pair);
    std::vector<double> r = solvedRhs(s);
    for (int row = 0; row < 2 * s.numVertices; ++row) {
        SCOPED_TRACE(row);
        double expected = 0.0;
        if (row == 2 * head) expected = -k * up.x;
        if (row == 2 * head + 1) expected = -k * up.y;
        EXPECT_NEAR(r[row], expected, 1e-12);
    }
    EXPECT_GT(std::fabs(r[2 * head]) + std::fabs(r[2 * head + 1]), 0.1 * k);
    EXPECT_EQ(B(s, 2 * tail, h->edgeIndex), uh.x);
    EXPECT_EQ(B(s, 2 * tail + 1, h->edgeIndex), uh.y);
    EXPECT_EQ(B(s, 2 * head, h->edgeIndex), up.x);
    EXPECT_EQ(B(s, 2 * head + 1, h->edgeIndex), up.y);
}

TEST_F(WidthsTest, BoundaryEdgeHasEntriesOnlyAtItsFacedTailAndNoChord) {
    HalfEdge* h = findHalf(model, [](const HalfEdge& x) { return x.onCut && x.face && !x.pair->face; });
    ASSERT_NE(h, nullptr);
    s.edgeAngles[h->edgeIndex] = 0.4;
    s.solveWidths();

    for (double r : solvedRhs(s)) EXPECT_NEAR(r, 0.0, 1e-15);
    const int tail = h->pair->vert->index, head = h->vert->index;
    Vec2 u = s.bisectorDirection(h);
    for (int row = 0; row < 2 * s.numVertices; ++row) {
        SCOPED_TRACE(row);
        double expected = row == 2 * tail ? u.x : row == 2 * tail + 1 ? u.y : 0.0;
        EXPECT_EQ(B(s, row, h->edgeIndex), expected);
    }
    EXPECT_NE(head, tail);
}

TEST_F(WidthsTest, MeasureBeforeAnyTranslationSolveDoesNothing) {
    s.tuckWidths.assign(s.numEdges, 0.125);
    s.measureWidths();
    for (double w : s.tuckWidths) EXPECT_EQ(w, 0.125);
    EXPECT_FALSE(s.widthsReady);
}

// Widths solved around every vertex and the faces laid out across them: the
// widths read back from the placement are the solved ones.
TEST_F(WidthsTest, MeasuredWidthsAreThoseOfTheLayout) {
    layoutfixtures::solveAndLayOut(model);
    std::vector<double> solved = s.tuckWidths;
    double largest = 0.0;
    for (double w : solved) largest = std::max(largest, std::fabs(w));
    ASSERT_GT(largest, 1e-3);

    s.tuckWidths.assign(s.numEdges, -1.0);
    s.translationsReady = true;
    s.measureWidths();
    EXPECT_TRUE(s.widthsReady);
    for (int e = 0; e < s.numEdges; ++e) EXPECT_NEAR(s.tuckWidths[e], solved[e], 1e-5) << "edge " << e;
}

TEST_F(WidthsTest, QueriesAtTheNarrowAndTheWideEnd) {
    HalfEdge* h = interiorPlusHalf(model);
    ASSERT_NE(h, nullptr);
    s.anglesReady = true;
    s.widthsReady = true;
    const double L = 0.3, w = 0.1, l = h->length;
    h->vert->offset = Vec3(0.0, 0.0, -L);
    h->tuckAngle = 0.5 * kPi + 0.2;
    s.tuckWidths[h->edgeIndex] = w;

    struct Case {
        const char* name;
        double theta;  // s(h) = +1, so delta = -theta
        double limit, depth, gap;
    };
    const double kSmall = 2.0 * l * std::sin(0.005);
    const std::vector<Case> cases = {
        {"delta exactly 0", 0.0, 2 * L * std::cos(0.2), 0.5 * w / std::cos(0.2), w},
        {"small negative delta adds the chord", 0.01, 2 * L * std::cos(0.205) + kSmall,
         (0.5 * w + l * std::sin(0.005)) / std::cos(0.205), w},
        {"positive delta: the gap at the tail is the wide one", -0.01, 2 * L * std::cos(0.195),
         0.5 * w / std::cos(0.195), w + kSmall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s.edgeAngles[h->edgeIndex] = c.theta;
        EXPECT_NEAR(s.widthLimit(h), c.limit, 1e-14);
        EXPECT_NEAR(s.tuckDepth(h), c.depth, 1e-14);
        EXPECT_NEAR(s.effectiveGap(h), c.gap, 1e-14);
    }
}

TEST_F(WidthsTest, QueriesBeforeTheirDataAndOnTheCut) {
    HalfEdge* inner = interiorPlusHalf(model);
    HalfEdge* cut = findHalf(model, [](const HalfEdge& x) { return x.onCut && x.face; });
    ASSERT_TRUE(inner && cut);
    inner->vert->offset = Vec3(0.0, 0.0, -0.3);
    s.tuckWidths[inner->edgeIndex] = 0.1;
    s.tuckWidths[cut->edgeIndex] = 50.0;
    s.edgeAngles[cut->edgeIndex] = 0.2;
    s.anglesReady = false;

    EXPECT_EQ(s.widthLimit(inner), 0.0);  // before the angle conditions
    EXPECT_EQ(s.tuckDepth(inner), 0.0);   // before any widths
    EXPECT_FALSE(s.withinWidthLimit(inner));
    EXPECT_FALSE(s.withinWidthLimit(cut));
    EXPECT_EQ(s.effectiveGap(cut), 50.0);

    s.anglesReady = true;
    s.widthsReady = true;
    EXPECT_TRUE(s.withinWidthLimit(cut));
    EXPECT_EQ(s.tuckDepth(cut), 0.0);
    EXPECT_EQ(s.effectiveGap(cut), 50.0);

    // The limit must exceed the width strictly.
    double limit = s.widthLimit(inner);
    ASSERT_GT(limit, 0.0);
    struct Case {
        double width;
        bool within;
    };
    for (Case c : {Case{0.5 * limit, true}, Case{limit, false}, Case{2.0 * limit, false}}) {
        s.tuckWidths[inner->edgeIndex] = c.width;
        EXPECT_EQ(s.withinWidthLimit(inner), c.within) << c.width;
    }
}

TEST_F(WidthsTest, TuckDepthStaysFinite) {
    HalfEdge* h = interiorPlusHalf(model);
    ASSERT_NE(h, nullptr);
    s.widthsReady = true;
    s.tuckWidths[h->edgeIndex] = 0.1;
    // The tuck turned a quarter turn from the offset: deep, but a number.
    h->tuckAngle = kPi;
    EXPECT_TRUE(std::isfinite(s.tuckDepth(h)));
    EXPECT_GT(s.tuckDepth(h), 1e6);
    // A tilt that is no number at all (from a broken offset) reports no depth.
    h->tuckAngle = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(s.tuckDepth(h), 0.0);
    h->tuckAngle = std::numeric_limits<double>::infinity();
    EXPECT_EQ(s.tuckDepth(h), 0.0);
}
