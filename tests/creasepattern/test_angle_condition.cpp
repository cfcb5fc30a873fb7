#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using namespace patternfixtures;

namespace {

const double kPi = 3.14159265358979323846;

HalfEdge* standIn(HandPattern& hp) {
    hp.modelEdges.push_back(HalfEdge());
    HalfEdge* X = &hp.modelEdges.back();
    X->face = &hp.sheet.front();
    return X;
}

// A vertex molecule P (0, 0), Q (2, 0), W (1, 1), X (-1, 2) inside a placed
// polygon, so that every side runs in its own direction. Only the corner P
// is measured: its model edge has both copies at the sheet's origin and
// opposite directions, so the allowed apex angle is pi - tuckAngle, and the
// apex angle of the triangle P, Q, W at W is pi/2: the excess is
// tuckAngle - pi/2.
struct ApexCorner {
    HandPattern hp;
    PatternVertex *P, *Q, *W, *X;
    PatternFace* vtm;
    PatternHalfEdge* h;  // P to Q
    HalfEdge* M;
    std::map<const PatternVertex*, HalfEdge*> target;  // M.next.pair of each corner

    ApexCorner() {
        P = hp.corner(0, 0);
        Q = hp.corner(2, 0);
        W = hp.corner(1, 1);
        X = hp.corner(-1, 2);
        vtm = hp.ring({P, Q, W, X}, VertexMolecule);
        hp.closeOutside(PolygonFace);
        h = vtm->edge;
        PatternHalfEdge* s = h;
        for (int i = 0; i < 4; ++i, s = s->next) s->prev->vert->vtmEdge = s;
        for (PatternVertex* c : {P, Q, W, X}) {
            HalfEdge* Mc = c->modelHalfEdge;
            Mc->next = standIn(hp);
            Mc->next->pair = standIn(hp);
            target[c] = Mc->next->pair;
        }
        M = P->modelHalfEdge;
        M->prev = standIn(hp);
        HalfEdge* T = standIn(hp);
        T->prev = standIn(hp);
        M->pair = T;
        T->pair = M;
        M->direction = Vec2(1, 0);
        T->direction = Vec2(-1, 0);
        hp.cp.built = true;
    }

    // The diagonal W to P makes the triangle P, Q, W on h.
    void triangulate() { hp.cp.splitFace(h->next, h->prev); }
};

TEST(AngleConditionTerms, WeightedExcessSpreadsOverTheWholeRing) {
    struct Case {
        double excess;
        double weight;
    };
    const Case cases[] = {
        {-0.3, 0.0}, {0.0, 0.0}, {kPi / 20, 0.2 * std::sin(kPi / 4)}, {kPi / 10, 0.2}, {1.0, 0.2},
    };
    const double r5 = std::sqrt(5.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.excess);
        ApexCorner a;
        a.triangulate();
        a.M->tuckAngle = kPi / 2 + c.excess;
        a.hp.cp.accumulateAngleConditionTerms();

        EXPECT_EQ(a.h->active, c.weight > 0);
        double g = c.weight;
        // One term per ring side, the one of h with both signs negative.
        std::map<const PatternVertex*, double> expected = {
            {a.X, -2 * g / r5}, {a.P, 4 * g / r5}, {a.Q, -2 * g}, {a.W, std::sqrt(2.0) * g}};
        for (const auto& e : expected) EXPECT_NEAR(a.target[e.first]->anglePenalty, e.second, 1e-12);
        double elsewhere = 0;
        for (const HalfEdge& x : a.hp.modelEdges) elsewhere += std::fabs(x.anglePenalty);
        for (const auto& e : expected) elsewhere -= std::fabs(e.second);
        EXPECT_NEAR(elsewhere, 0.0, 1e-12) << "terms only on the targets of the ring";
    }
}

TEST(AngleConditionTerms, SkippedCornersAddNothingAndKeepTheirFlag) {
    struct Case {
        const char* name;
        std::function<void(ApexCorner&)> arrange;
    };
    const Case cases[] = {
        {"pattern not built", [](ApexCorner& a) { a.hp.cp.built = false; }},
        {"molecule not triangulated", [](ApexCorner&) {}},
        {"corner on the cut", [](ApexCorner& a) { a.M->onCut = true; }},
        {"VTM edge of length 0", [](ApexCorner& a) { a.Q->pos = a.P->pos; }},
        {"no VTM edge", [](ApexCorner& a) { a.P->vtmEdge = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ApexCorner a;
        if (std::string(c.name) != "molecule not triangulated") a.triangulate();
        a.M->tuckAngle = kPi / 2 + 1.0;  // well beyond the bound if measured
        a.h->active = true;
        for (auto& t : a.target) t.second->anglePenalty = 0.5;
        c.arrange(a);

        a.hp.cp.accumulateAngleConditionTerms();
        a.hp.cp.computeAngleConditionPenalty();
        EXPECT_TRUE(a.h->active);
        for (auto& t : a.target) EXPECT_EQ(t.second->anglePenalty, 0.5);
    }
}

// On a developed model the terms are rebuilt from zero on every call, and
// only once the pattern is built.
TEST(AngleConditionTerms, ModelTermsAreRebuiltFromZero) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, testsupport::sphereObj(1)), 0);
    SolverOptions options;
    options.angleCondition = true;
    testsupport::captureStdout([&] {
        ASSERT_TRUE(developFirst(working, backup));
        for (int i = 0; i < 10; ++i) idleStep(working, options, true);
    });
    CreasePattern& cp = working.creasePattern;

    for (HalfEdge& h : working.halfEdges) h.anglePenalty = 5.0;
    cp.computeAngleConditionPenalty();
    for (const HalfEdge& h : working.halfEdges) ASSERT_EQ(h.anglePenalty, 5.0) << "nothing before a build";

    creasePatternTick(working, options);
    ASSERT_TRUE(cp.built);
    cp.updatePositions();
    cp.computeAngleConditionPenalty();
    std::vector<double> first;
    for (const HalfEdge& h : working.halfEdges) {
        ASSERT_TRUE(std::isfinite(h.anglePenalty));
        EXPECT_NE(h.anglePenalty, 5.0);
        first.push_back(h.anglePenalty);
    }
    int active = 0;
    for (const PatternHalfEdge& p : cp.halfEdges) active += p.active;

    cp.computeAngleConditionPenalty();
    size_t i = 0;
    for (const HalfEdge& h : working.halfEdges) EXPECT_EQ(h.anglePenalty, first[i++]);
    int activeAgain = 0;
    for (const PatternHalfEdge& p : cp.halfEdges) activeAgain += p.active;
    EXPECT_EQ(active, activeAgain);
}

}  // namespace
