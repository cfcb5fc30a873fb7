#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/oripoly.h"
#include "solver/layout_fixtures.h"
#include "solver/layout_terms.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using layoutfixtures::findHalf;
using layoutfixtures::layOut;
using layoutfixtures::translations;

namespace {

const double kPi = 3.141592653589793;

// A developed open grid whose tucks are all 0.01 wide but one, inside the
// grid and away from the cut, which is `width` wide. Returns that one's
// half-edge, or null when the grid has none.
HalfEdge* developGridWithOneWidth(Polyhedron& model, double width) {
    if (!layOut(model, testsupport::openGridObj(3))) return nullptr;
    layoutfixtures::solveAndLayOut(model);
    HalfEdge* h = findHalf(model, [](const HalfEdge& x) { return !x.onCut && !x.vert->onCut; });
    if (!h) return nullptr;
    LayoutSolver& s = model.solver;
    s.tuckWidths.assign(s.numEdges, 0.01);
    s.tuckWidths[h->edgeIndex] = width;
    return h;
}

// Loads and develops the model, takes idle steps as the window does, then
// thins the tucks with the Explode brush at the sheet's centre, wide enough
// to reach every edge.
void developAndShape(Polyhedron& working, Polyhedron& backup, const std::string& obj, int steps, int thinnings) {
    ASSERT_EQ(testsupport::loadObjText(working, obj), 0);
    testsupport::captureStdout([&] { ASSERT_TRUE(developFirst(working, backup)); });
    bool converging = true;
    for (int i = 0; i < steps; ++i)
        if (idleStep(working, SolverOptions(), converging).converged) converging = false;
    LayoutSolver& s = working.solver;
    for (int i = 0; i < thinnings; ++i) s.fattenAt(Vec2(), -1.0, 4.0 * working.extentAt(0.0).y);
    s.layoutFaces();
    s.centreLayout();
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The largest angle sum that a change of the edge angles would move.
double largestVertexChange(const LayoutSolver& s, const std::vector<double>& dTheta) {
    double largest = 0.0;
    for (int v = 0; v < s.numVertices; ++v) {
        double r = 0.0;
        for (int e = 0; e < s.numEdges; ++e) r += s.angleMatrix.at(v, e) * dTheta[e];
        largest = std::max(largest, std::fabs(r));
    }
    return largest;
}

}  // namespace

TEST(RedevelopCorrection, DeviationsFoldIntoAQuarterTurn) {
    struct Case {
        double angle, folded;
    };
    const std::vector<Case> cases = {{0.75 * kPi, -0.25 * kPi},
                                     {0.5 * kPi, 0.5 * kPi},
                                     {-0.5 * kPi, -0.5 * kPi},
                                     {-0.75 * kPi, 0.25 * kPi},
                                     {0.3, 0.3},
                                     {kPi, 0.0}};
    for (const Case& c : cases) EXPECT_NEAR(foldToQuarterTurns(c.angle), c.folded, 1e-15) << c.angle;
}

TEST(RedevelopCorrection, FloorAsksOverlapsToOpen) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    LayoutSolver& s = model.solver;
    HalfEdge* inner = findHalf(model, [&](const HalfEdge& h) { return !h.onCut && s.edgeSign(&h) == 1; });
    HalfEdge* cut = findHalf(model, [](const HalfEdge& h) {
        return h.onCut && h.face && nextAlongCut(&h) && nextAlongCut(&h)->face != h.face;
    });
    ASSERT_TRUE(inner && cut);

    struct Case {
        const char* name;
        HalfEdge* h;
        double theta, width, asked;
    };
    const std::vector<Case> cases = {
        {"uncut overlap opens to half of it", inner, 0.0, -0.2, 0.1},
        {"uncut width kept", inner, 0.0, 0.3, 0.3},
        {"uncut with the wide end at the head", inner, 0.1, -0.2, 0.1},
        {"cut overlap shrinks to nine tenths", cut, 0.0, -0.2, -0.18},
        {"cut width kept", cut, 0.0, 0.3, 0.3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HalfEdge* h = c.h;
        s.edgeAngles.assign(s.numEdges, 0.0);
        s.edgeAngles[h->edgeIndex] = c.theta;
        s.tuckWidths[h->edgeIndex] = c.width;
        s.solveTranslationsWithWidthFloor();

        // The copies that the row holds apart: at an uncut edge those at the
        // wide end of its strip, at the cut those of the tail.
        Vec2 P1, P2;
        if (h->onCut) {
            P1 = h->prev->corner;
            P2 = nextAlongCut(h)->corner;
        } else if (c.theta > 0) {
            P1 = h->corner;
            P2 = h->pair->prev->corner;
        } else {
            P1 = h->prev->corner;
            P2 = h->pair->corner;
        }
        Vec2 n = normalOf(s, h);
        EXPECT_NEAR(dot2(n, P1 - P2) - s.translationRhs[h->edgeIndex], c.asked, 1e-15);
        EXPECT_TRUE(s.translationsReady);
        EXPECT_FALSE(s.translationSystemReady);
    }
}

TEST(RedevelopCorrection, WithoutOverlapNothingChanges) {
    // Widths of 0.01 leave every pair of copies apart; one of a rounding
    // error below zero, as penalty steps leave a closed gap, is no overlap.
    for (double closed : {0.01, -1e-9}) {
        SCOPED_TRACE(closed);
        Polyhedron model;
        ASSERT_NE(developGridWithOneWidth(model, closed), nullptr);
        LayoutSolver& s = model.solver;
        std::vector<double> theta = s.edgeAngles, widths = s.tuckWidths;
        std::vector<Vec2> placed = translations(model);

        s.correctAnglesFromLayout();
        EXPECT_EQ(s.edgeAngles, theta);
        EXPECT_EQ(s.tuckWidths, widths);
        std::vector<Vec2> after = translations(model);
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].x, placed[i].x);
            EXPECT_EQ(after[i].y, placed[i].y);
        }
        EXPECT_FALSE(s.translationsReady);
    }
}

TEST(RedevelopCorrection, OverlapTurnsTheAnglesWithoutOpeningAVertex) {
    Polyhedron model;
    HalfEdge* h = developGridWithOneWidth(model, -0.2);
    ASSERT_NE(h, nullptr);
    LayoutSolver& s = model.solver;
    std::vector<double> theta = s.edgeAngles;
    std::vector<Vec2> placed = translations(model);

    s.correctAnglesFromLayout();
    std::vector<double> dTheta(s.numEdges);
    double largest = 0.0;
    for (int e = 0; e < s.numEdges; ++e) {
        dTheta[e] = s.edgeAngles[e] - theta[e];
        largest = std::max(largest, std::fabs(dTheta[e]));
        ASSERT_TRUE(std::isfinite(s.edgeAngles[e]));
    }
    EXPECT_GT(largest, 1e-4);
    EXPECT_LT(largestVertexChange(s, dTheta), 1e-4 * largest);

    // The faces moved apart and the widths were read from the new placement.
    EXPECT_TRUE(s.translationsReady);
    double moved = 0.0;
    std::vector<Vec2> after = translations(model);
    for (size_t i = 0; i < after.size(); ++i)
        moved += std::hypot(after[i].x - placed[i].x, after[i].y - placed[i].y);
    EXPECT_GT(moved, 1e-3);
    EXPECT_GT(s.effectiveGap(h), -0.2);
}

// Develop again restarts the widths from the least-norm solution of the
// corrected angles; that is kept only when the edges' copies overlap less
// than they did. Otherwise everything stays as it was, down to the systems
// the next idle step solves with, which a twin that never ran Develop again
// shows.
TEST(DevelopAgain, KeepsOnlyACorrectionThatLowersThePenalty) {
    struct Case {
        const char* name;
        std::string obj;
        int steps, thinnings;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"converged tetrahedron", testsupport::tetrahedronObj(), 3, 0, false},
        {"first layout of an open grid", testsupport::openGridObj(4), 0, 0, false},
        {"tetrahedron with its tucks thinned", testsupport::tetrahedronObj(), 50, 30, false},
        {"open grid with its tucks thinned", testsupport::openGridObj(3), 50, 30, true},
    };
    const std::string line = "\nDevelop again kept the layout: the correction did not lower the penalty (";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron working, backup, twin, twinBackup;
        developAndShape(working, backup, c.obj, c.steps, c.thinnings);
        developAndShape(twin, twinBackup, c.obj, c.steps, c.thinnings);
        LayoutSolver& s = working.solver;
        const std::vector<double> angles = s.edgeAngles, widths = s.tuckWidths;
        const std::vector<Vec2> placed = translations(working);
        const double before = s.penaltyOf(1.0, 0.0, 0.0);
        ASSERT_GT(before, 0.0);

        std::string out = testsupport::captureStdout([&] { developAgain(working); });
        if (c.kept) {
            EXPECT_LT(s.penaltyOf(1.0, 0.0, 0.0), before);
            EXPECT_NE(s.edgeAngles, angles);
            EXPECT_EQ(count(out, line), 0u) << out;
            continue;
        }
        EXPECT_EQ(count(out, line), 1u) << out;
        EXPECT_EQ(out.compare(out.size() - 1, 1, "\n"), 0) << "the line ends the output: " << out;
        EXPECT_EQ(s.edgeAngles, angles);
        EXPECT_EQ(s.tuckWidths, widths);
        std::vector<Vec2> after = translations(working);
        for (size_t i = 0; i < after.size(); ++i) {
            ASSERT_EQ(after[i].x, placed[i].x) << "face " << i;
            ASSERT_EQ(after[i].y, placed[i].y) << "face " << i;
        }

        IdleStepResult r = idleStep(working, SolverOptions(), true);
        IdleStepResult rt = idleStep(twin, SolverOptions(), true);
        EXPECT_NEAR(r.penalty, rt.penalty, 1e-12 * (1.0 + rt.penalty));
        for (int e = 0; e < s.numEdges; ++e)
            ASSERT_NEAR(s.tuckWidths[e], twin.solver.tuckWidths[e], 1e-9) << "edge " << e;
        if (before < convergedPenalty(working)) {
            EXPECT_LT(r.penalty, convergedPenalty(working)) << "no longer converged";
        }
    }
}
