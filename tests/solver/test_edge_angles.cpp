#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::loadObjText;

namespace {

const double kPi = 3.141592653589793;
const double kMaxEdgeAngle = 2.092300707290802;
const char* kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n";
const char* kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

// Loads an open surface (loading cuts only along its boundary) and sizes
// its solver, quietly.
void loadAndAllocate(Polyhedron& model, const std::string& obj) {
    ASSERT_EQ(loadObjText(model, obj), 0);
    captureStdout([&] { ASSERT_TRUE(model.solver.allocate()); });
}

size_t countDots(const std::string& out) { return out.find_first_not_of('.'); }

// The "%f " values that follow the dots.
std::vector<double> printedSums(const std::string& out) {
    std::istringstream in(out.substr(countDots(out)));
    std::vector<double> sums;
    for (double x; in >> x;) sums.push_back(x);
    return sums;
}

void expectClosed(const std::string& out, size_t vertices) {
    std::vector<double> sums = printedSums(out);
    EXPECT_EQ(sums.size(), vertices) << out;
    for (double s : sums) EXPECT_NEAR(s, 2.0, 1e-5) << out;  // the ridge residual
    EXPECT_EQ(out.back(), ' ') << "no line end after the last sum";
}

}  // namespace

TEST(EdgeAngles, SolvedAnglesCloseEveryVertex) {
    Polyhedron model;
    loadAndAllocate(model, testsupport::openGridObj(4));
    LayoutSolver& s = model.solver;
    s.solveAngles();

    // Each column of K: +1 at the end with the larger index, -1 at the other.
    const int V = s.numVertices;
    for (const HalfEdge& h : model.halfEdges) {
        int tail = h.pair->vert->index, head = h.vert->index, e = h.edgeIndex;
        EXPECT_EQ(s.angleMatrix.at(std::max(tail, head), e), 1.0);
        EXPECT_EQ(s.angleMatrix.at(std::min(tail, head), e), -1.0);
    }
    EXPECT_EQ(s.angleMatrix.rows(), V);
    EXPECT_EQ(s.angleMatrix.cols(), s.numEdges);
    EXPECT_EQ(s.angleMatrix.nonZeros(), 2u * s.numEdges);
    EXPECT_EQ(s.edgeAngles, s.particularAngles);
    EXPECT_FALSE(s.anglesReady);

    expectClosed(captureStdout([&] { s.printVertexAngleSums(); }), model.vertices.size());
}

TEST(EdgeAngles, EnforcedAnglesStayClosedAndBounded) {
    Polyhedron model;
    loadAndAllocate(model, testsupport::openGridObj(4));
    LayoutSolver& s = model.solver;
    s.solveAngles();
    std::string out = captureStdout([&] { s.enforceAngleConditions(); });
    EXPECT_GT(countDots(out), 1u) << "this surface needs corrections";
    EXPECT_LE(countDots(out), 512u);
    expectClosed(out, model.vertices.size());
    EXPECT_TRUE(s.anglesReady);
    for (double t : s.edgeAngles) EXPECT_LE(std::abs(t), kMaxEdgeAngle);
}

TEST(EdgeAngles, AnglesThatMeetTheConditionsTakeOnePass) {
    Polyhedron model;
    loadAndAllocate(model, kSquare);
    LayoutSolver& s = model.solver;
    s.solveAngles();
    std::vector<double> before = s.edgeAngles;
    EXPECT_EQ(captureStdout([&] { s.enforceAngleConditions(); }), ".2.000000 2.000000 2.000000 2.000000 ");
    EXPECT_EQ(s.edgeAngles, before);
    EXPECT_TRUE(s.anglesReady);
}

TEST(EdgeAngles, APassWithOnlyOuterSectorViolationsEndsTheIteration) {
    // The square's diagonal is its only uncut edge: turned by 1.8 it breaks
    // the outer-sector conditions at both its ends and nothing else.
    Polyhedron model;
    loadAndAllocate(model, kSquare);
    LayoutSolver& s = model.solver;
    s.solveAngles();
    HalfEdge* diagonal = nullptr;
    for (HalfEdge& h : model.halfEdges)
        if (!h.onCut) diagonal = &h;
    ASSERT_NE(diagonal, nullptr);
    s.edgeAngles[diagonal->edgeIndex] = 1.8;
    std::vector<double> before = s.edgeAngles;

    std::string out = captureStdout([&] { s.enforceAngleConditions(); });
    EXPECT_EQ(countDots(out), 1u) << out;
    EXPECT_EQ(s.edgeAngles, before);
    bool corrected = false;
    for (double g : s.angleStep) corrected = corrected || g != 0.0;
    EXPECT_TRUE(corrected) << "the pass found violations but did not apply them";
}

TEST(EdgeAngles, ConditionsThatCannotBeMetStopAfter512Passes) {
    // A particular solution of 10 on both edges at vertex 0 lies in the row
    // space of K: no step projected onto its null space can bring it down.
    Polyhedron model;
    loadAndAllocate(model, kTriangle);
    LayoutSolver& s = model.solver;
    s.solveAngles();
    for (int e = 0; e < s.numEdges; ++e)
        s.particularAngles[e] = s.edgeAngles[e] = 10.0 * s.angleMatrix.at(0, e);

    std::string out = captureStdout([&] { s.enforceAngleConditions(); });
    EXPECT_EQ(countDots(out), 512u);
    EXPECT_EQ(printedSums(out).size(), 3u);
    EXPECT_TRUE(s.anglesReady);
}

TEST(EdgeAngles, AnAngleBeyond120DegreesIsBroughtBackSeenFromEitherHalf) {
    for (double theta : {2.1, -2.1}) {
        SCOPED_TRACE(theta);
        Polyhedron model;
        loadAndAllocate(model, testsupport::sphereObj(0));
        LayoutSolver& s = model.solver;
        s.solveAngles();
        // Without constraints the projection keeps every step as it is.
        s.angleMatrix.clear();
        s.factorNormalMatrix(s.angleMatrix, s.angleFactor);
        std::fill(s.particularAngles.begin(), s.particularAngles.end(), 0.0);
        std::fill(s.edgeAngles.begin(), s.edgeAngles.end(), 0.0);
        const HalfEdge* away = nullptr;  // an edge whose ends are off the cut
        for (const HalfEdge& h : model.halfEdges)
            if (!h.vert->onCut && !h.pair->vert->onCut) away = &h;
        ASSERT_NE(away, nullptr);
        s.edgeAngles[away->edgeIndex] = theta;

        captureStdout([&] { s.enforceAngleConditions(); });
        double seen = std::abs(s.edgeAngles[away->edgeIndex]);
        EXPECT_LE(seen, kMaxEdgeAngle);
        EXPECT_GT(seen, kMaxEdgeAngle - 0.005);
        EXPECT_EQ(s.edgeAngles[away->edgeIndex] > 0, theta > 0);
    }
}

TEST(EdgeAngles, AnglesMeasuredFromTheLayout) {
    // Every faced half-edge gets its pair's reversed direction turned by
    // `turn`: the angle from the pair's copy, seen from that half.
    for (double turn : {0.0, 0.3}) {
        SCOPED_TRACE(turn);
        Polyhedron model;
        loadAndAllocate(model, testsupport::openGridObj(2));
        LayoutSolver& s = model.solver;
        std::fill(s.edgeAngles.begin(), s.edgeAngles.end(), 5.0);
        for (HalfEdge& h : model.halfEdges)
            h.direction = Vec2(std::cos(0.7 * h.index), std::sin(0.7 * h.index));
        for (HalfEdge& h : model.halfEdges) {
            bool measuring = h.face && (!h.pair->face || h.vert->index < h.pair->vert->index);
            if (measuring) h.direction = (-h.pair->direction).rotate(turn);
        }
        s.measureAnglesFromDirections();
        for (const HalfEdge& h : model.halfEdges) {
            if (!h.face) continue;
            double expected = h.pair->face ? turn : s.edgeSign(&h) * turn;
            EXPECT_NEAR(s.edgeAngles[h.edgeIndex], expected, 1e-15) << "half-edge " << h.index;
        }
    }
}
