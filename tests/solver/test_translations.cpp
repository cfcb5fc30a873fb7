#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/oripoly.h"
#include "solver/layout_fixtures.h"
#include "solver/layout_terms.h"

using layoutfixtures::layOut;
using layoutfixtures::translations;

namespace {

// A flat grid with every angle and width zero, laid out: its faces fit
// together as in the plane, so every row of the system holds.
void layFlat(Polyhedron& model) {
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    model.solver.widthsReady = true;
    model.solver.layoutFaces();
}

double entry(const LayoutSolver& s, int e, int column) { return s.translationMatrix.at(e, column); }

}  // namespace

TEST(Translations, SatisfiedTranslationsStayWhereTheyAre) {
    Polyhedron model;
    layFlat(model);
    LayoutSolver& s = model.solver;
    s.buildTranslationSystem();
    std::vector<Vec2> before = translations(model);

    s.solveTranslations();
    EXPECT_TRUE(s.translationsReady);
    EXPECT_LT(layoutfixtures::translationResidual(s), 1e-12);
    s.applyTranslations();
    std::vector<Vec2> after = translations(model);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_NEAR(after[i].x, before[i].x, 1e-12);
        EXPECT_NEAR(after[i].y, before[i].y, 1e-12);
    }
    for (double w : s.tuckWidths) EXPECT_NEAR(w, 0.0, 1e-12);
}

TEST(Translations, MovingOneFaceSpreadsTheLeastCorrection) {
    Polyhedron model;
    layFlat(model);
    LayoutSolver& s = model.solver;
    s.buildTranslationSystem();
    std::vector<Vec2> original = translations(model);
    Face& moved = model.faces.back();
    const Vec2 push(0.3, -0.2);
    moved.translation = moved.translation + push;
    std::vector<Vec2> start = translations(model);

    s.solveTranslations();
    s.applyTranslations();
    std::vector<Vec2> after = translations(model);

    EXPECT_LT(layoutfixtures::translationResidual(s), 1e-4);
    // The moved face goes part of the way back, and the others follow.
    Vec2 back = after.back() - start.back();
    EXPECT_LT(back.x * push.x + back.y * push.y, 0.0);
    Vec2 kept = after.back() - original.back();
    EXPECT_GT(kept.x * push.x + kept.y * push.y, 0.0);
    double othersMoved = 0.0;
    Vec2 total;
    for (size_t i = 0; i < after.size(); ++i) {
        Vec2 d = after[i] - start[i];
        total = total + d;
        if (i + 1 < after.size()) othersMoved += std::hypot(d.x, d.y);
    }
    EXPECT_GT(othersMoved, 1e-3);
    // The least change has no part along a shift of the whole layout.
    EXPECT_NEAR(total.x, 0.0, 1e-9);
    EXPECT_NEAR(total.y, 0.0, 1e-9);
}

TEST(Translations, SolveBuildsTheSystemWhenItWasNeverBuilt) {
    Polyhedron built, fresh;
    layFlat(built);
    layFlat(fresh);
    built.faces.back().translation = Vec2(0.5, 0.5);
    fresh.faces.back().translation = Vec2(0.5, 0.5);
    built.solver.buildTranslationSystem();
    ASSERT_FALSE(fresh.solver.translationSystemReady);

    built.solver.solveTranslations();
    fresh.solver.solveTranslations();
    EXPECT_TRUE(fresh.solver.translationSystemReady);
    for (int f = 0; f < fresh.solver.numFaces; ++f) {
        EXPECT_DOUBLE_EQ(fresh.solver.faceTranslations[f].x, built.solver.faceTranslations[f].x);
        EXPECT_DOUBLE_EQ(fresh.solver.faceTranslations[f].y, built.solver.faceTranslations[f].y);
    }
}

TEST(Translations, RowsComeFromTheSmallerHeadOrTheFacedHalf) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    LayoutSolver& s = model.solver;
    s.buildTranslationSystem();
    int cutRows = 0;
    for (int e = 0; e < s.numEdges; ++e) {
        SCOPED_TRACE(e);
        HalfEdge* h = layoutfixtures::rowHalf(model, e);
        ASSERT_NE(h, nullptr);
        const HalfEdge* other = h->onCut ? nextAlongCut(h) : h->pair;
        ASSERT_NE(other, nullptr);
        if (h->onCut) ++cutRows;
        if (other->face == h->face) continue;
        Vec2 u = s.bisectorDirection(h);
        EXPECT_DOUBLE_EQ(entry(s, e, 2 * h->face->index), -u.x);
        EXPECT_DOUBLE_EQ(entry(s, e, 2 * h->face->index + 1), -u.y);
        EXPECT_DOUBLE_EQ(entry(s, e, 2 * other->face->index), u.x);
        EXPECT_DOUBLE_EQ(entry(s, e, 2 * other->face->index + 1), u.y);
        Vec2 P = h->onCut ? h->prev->corner : 0.5 * (h->corner + h->prev->corner);
        Vec2 Q = h->onCut ? other->corner : 0.5 * (other->corner + other->prev->corner);
        EXPECT_NEAR(s.translationRhs[e], dot2(u, P - Q), 1e-15);
    }
    EXPECT_EQ(cutRows, 8);
}

TEST(Translations, CornerTouchedByOneFaceTiesNothing) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    LayoutSolver& s = model.solver;
    s.buildTranslationSystem();
    HalfEdge* h = layoutfixtures::findHalf(model, [](const HalfEdge& x) {
        return x.onCut && x.face && nextAlongCut(&x) && nextAlongCut(&x)->face == x.face;
    });
    ASSERT_NE(h, nullptr);
    for (int column = 0; column < 2 * s.numFaces; ++column) EXPECT_EQ(entry(s, h->edgeIndex, column), 0.0);
}

TEST(Translations, ApplyBeforeAnySolveDoesNothing) {
    Polyhedron model;
    ASSERT_TRUE(layOut(model, layoutfixtures::flatGridObj(2)));
    LayoutSolver& s = model.solver;
    model.faces.front().translation = Vec2(2.0, 1.0);
    s.tuckWidths[0] = 0.25;
    s.applyTranslations();
    EXPECT_EQ(model.faces.front().translation.x, 2.0);
    EXPECT_EQ(s.tuckWidths[0], 0.25);
    EXPECT_FALSE(s.widthsReady);
}
