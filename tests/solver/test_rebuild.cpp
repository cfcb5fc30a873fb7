#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;

namespace {

struct Counts {
    size_t vertices, halfEdges, faces;
    int edges;
    bool operator==(const Counts& o) const {
        return vertices == o.vertices && halfEdges == o.halfEdges && faces == o.faces && edges == o.edges;
    }
};

Counts countsOf(const Polyhedron& m) {
    return {m.vertices.size(), m.halfEdges.size(), m.faces.size(), m.numEdges};
}

// The first uncut edge with faces on both sides, made far too wide.
HalfEdge* widenFirstInnerEdge(Polyhedron& model) {
    for (HalfEdge& h : model.halfEdges)
        if (!h.onCut && h.face && h.pair->face) {
            model.solver.tuckWidths[h.edgeIndex] = 1e6;
            EXPECT_FALSE(model.solver.withinWidthLimit(&h));
            EXPECT_FALSE(model.solver.withinWidthLimit(h.pair));
            return &h;
        }
    return nullptr;
}

// A tetrahedron just developed: no tuck is beyond its limit yet.
class DevelopedTetrahedron : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(testsupport::loadObjText(model, testsupport::tetrahedronObj()), 0);
        captureStdout([&] { ASSERT_TRUE(developFirst(model, backup)); });
        ASSERT_EQ(edgesBeyondLimit(), 0);
    }

    int edgesBeyondLimit() {
        const LayoutSolver& s = model.solver;
        std::set<int> edges;
        for (const HalfEdge& h : model.halfEdges)
            if (h.face && h.pair->face && (!s.withinWidthLimit(&h) || !s.withinWidthLimit(h.pair)))
                edges.insert(h.edgeIndex);
        return (int)edges.size();
    }

    // Rebuilds under a storage limit of `limit` bytes that it cannot meet.
    void expectRebuildRefusedUnder(double limit);

    void tick() {
        SolverOptions options;
        options.creasePatternOn = true;
        creasePatternTick(model, options);
        ASSERT_TRUE(model.creasePattern.built);
    }

    // Numbered, re-solved for the new counts, the pattern dropped, no mark left.
    void expectFinished(const std::string& out) {
        int i = 0;
        for (const Vertex& v : model.vertices) EXPECT_EQ(v.index, i++);
        i = 0;
        for (const HalfEdge& h : model.halfEdges) {
            EXPECT_EQ(h.index, i++);
            EXPECT_FALSE(h.visited);
        }
        i = 0;
        for (const Face& f : model.faces) EXPECT_EQ(f.index, i++);
        const LayoutSolver& s = model.solver;
        EXPECT_TRUE(s.allocated);
        EXPECT_EQ(s.numEdges, model.numEdges);
        EXPECT_EQ(s.numFaces, model.numFaces);
        EXPECT_EQ(s.numVertices, model.numVertices);
        EXPECT_TRUE(s.anglesReady);
        for (double w : s.tuckWidths) ASSERT_TRUE(std::isfinite(w));
        for (const Face& f : model.faces) ASSERT_TRUE(std::isfinite(f.translation.x + f.translation.y));
        char counts[64];
        snprintf(counts, sizeof counts, "\nv:%d e:%d f:%d\n", model.numVertices, model.numEdges,
                 model.numFaces);
        EXPECT_NE(out.find(counts), std::string::npos) << out;
        const CreasePattern& cp = model.creasePattern;
        EXPECT_FALSE(cp.built);
        EXPECT_EQ(cp.model, nullptr);
        EXPECT_TRUE(cp.vertices.empty() && cp.halfEdges.empty() && cp.faces.empty() && cp.lines.empty());
    }

    // The next build links only to elements the model still has.
    void expectFreshBuild() {
        tick();
        std::set<const HalfEdge*> live;
        for (const HalfEdge& h : model.halfEdges) live.insert(&h);
        for (const PatternVertex& v : model.creasePattern.vertices) {
            ASSERT_TRUE(live.count(v.modelHalfEdge));
            EXPECT_EQ(v.modelHalfEdge->patternVertex, &v);
        }
    }

    Polyhedron model, backup;
};

TEST_F(DevelopedTetrahedron, NothingBeyondItsLimitStillRenumbersRebuildsAndClears) {
    tick();
    const Counts before = countsOf(model);
    for (Vertex& v : model.vertices) v.index = 7;
    for (Face& f : model.faces) f.index = -1;
    for (bool withAngleCondition : {false, true}) {
        SCOPED_TRACE(withAngleCondition);
        std::string out = captureStdout([&] {
            if (withAngleCondition)
                model.splitWideTucksWithAngleCondition();
            else
                model.splitWideTucks();
        });
        EXPECT_TRUE(countsOf(model) == before);
        expectFinished(out);
    }
}

TEST_F(DevelopedTetrahedron, AnEdgeBothOfWhoseHalvesFailIsSplitOnce) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    HalfEdge* t = r->pair;
    std::string out = captureStdout([&] { model.splitWideTucks(); });

    Counts after = countsOf(model);
    EXPECT_EQ(after.faces, before.faces + 1);
    EXPECT_EQ(after.halfEdges, before.halfEdges + 2);
    EXPECT_EQ(after.edges, before.edges + 1);
    EXPECT_EQ(after.vertices, before.vertices);
    HalfEdge* a = r->pair;
    ASSERT_NE(a, t);
    EXPECT_EQ(a->next->next, a) << "a two-sided face between the halves";
    EXPECT_EQ(a->next->pair, t);
    expectFinished(out);
    expectFreshBuild();
}

// Without a built pattern the angle condition has nothing to add: the same
// splits and the same solution as without it.
TEST_F(DevelopedTetrahedron, AngleConditionWithoutPatternSplitsLikeThePlainCommand) {
    Polyhedron other, otherBackup;
    ASSERT_EQ(testsupport::loadObjText(other, testsupport::tetrahedronObj()), 0);
    captureStdout([&] { ASSERT_TRUE(developFirst(other, otherBackup)); });
    ASSERT_NE(widenFirstInnerEdge(model), nullptr);
    ASSERT_NE(widenFirstInnerEdge(other), nullptr);

    std::string plain = captureStdout([&] { model.splitWideTucks(); });
    std::string withAngle = captureStdout([&] { other.splitWideTucksWithAngleCondition(); });
    EXPECT_EQ(plain, withAngle);
    ASSERT_TRUE(countsOf(model) == countsOf(other));
    auto f = other.faces.begin();
    for (const Face& g : model.faces) {
        EXPECT_EQ(g.translation.x, f->translation.x);
        EXPECT_EQ(g.translation.y, f->translation.y);
        ++f;
    }
}

// The halves that the width pass made carry the corner of the half-edge they
// copy, so an active corner there splits both edges that replaced it.
TEST_F(DevelopedTetrahedron, ActiveCornersSplitTheEdgesTheWidthPassMade) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    for (PatternHalfEdge& p : model.creasePattern.halfEdges) p.active = false;
    ASSERT_TRUE(r->patternVertex && r->patternVertex->vtmEdge);
    r->patternVertex->vtmEdge->active = true;

    std::string out = captureStdout([&] { model.splitWideTucksWithAngleCondition(); });
    EXPECT_EQ(countsOf(model).faces, before.faces + 3);
    EXPECT_EQ(countsOf(model).edges, before.edges + 3);
    expectFinished(out);
    expectFreshBuild();
}

TEST_F(DevelopedTetrahedron, JoiningASplitEdgeBackRestoresTheModel) {
    tick();
    const Counts before = countsOf(model);
    HalfEdge* r = widenFirstInnerEdge(model);
    ASSERT_NE(r, nullptr);
    HalfEdge* t = r->pair;
    const size_t tailEdges = r->prev->vert->edge.size(), headEdges = r->vert->edge.size();
    captureStdout([&] { model.splitWideTucks(); });
    ASSERT_EQ(countsOf(model).faces, before.faces + 1);
    tick();

    std::string out = captureStdout([&] { model.mergeSplitEdge(r->pair); });
    EXPECT_TRUE(countsOf(model) == before);
    EXPECT_EQ(r->pair, t);
    EXPECT_EQ(t->pair, r);
    EXPECT_EQ(r->prev->vert->edge.size(), tailEdges);
    EXPECT_EQ(r->vert->edge.size(), headEdges);
    expectFinished(out);
    expectFreshBuild();

    // A two-sided face on the boundary stays, yet the model is re-solved.
    HalfEdge* boundary = nullptr;
    for (Face& f : model.faces)
        if (f.boundaryDigon) boundary = f.edge;
    ASSERT_NE(boundary, nullptr);
    out = captureStdout([&] { model.mergeSplitEdge(boundary); });
    EXPECT_TRUE(countsOf(model) == before);
    expectFinished(out);
}

// A rebuild that cannot have its storage, or one of its factors, leaves a
// released solver and one line; nothing reads the old solution as current,
// and the model can be re-solved once it fits.
TEST_F(DevelopedTetrahedron, RebuildRefusedForMemoryLeavesNothingHalfSized) {
    expectRebuildRefusedUnder(1.0);
}

TEST_F(DevelopedTetrahedron, RebuildWhoseFactorDoesNotFitLeavesNothingHalfSized) {
    const LayoutSolver& s = model.solver;
    // The storage fits, with nothing to spare for the factors.
    expectRebuildRefusedUnder(LayoutSolver::storageBytes(s.numVertices, s.numEdges, s.numFaces) + 1.0);
}

void DevelopedTetrahedron::expectRebuildRefusedUnder(double limit) {
    tick();
    LayoutSolver& s = model.solver;
    LayoutSolver::storageLimitOverride = limit;
    std::string out = captureStdout([&] { s.rebuild(); });
    LayoutSolver::storageLimitOverride = 0.0;
    // One refusal, on a line of its own, and the last.
    size_t refusal = out.find("\nmodel too large");
    ASSERT_NE(refusal, std::string::npos) << out;
    EXPECT_EQ(out.find('\n', refusal + 1), out.size() - 1) << out;
    EXPECT_FALSE(s.allocated);
    EXPECT_FALSE(s.widthsReady);
    EXPECT_TRUE(s.tuckWidths.empty());

    const Counts before = countsOf(model);
    SolverOptions options;
    options.creasePatternOn = true;
    model.creasePattern.clear();
    out = captureStdout([&] {
        EXPECT_FALSE(idleStep(model, options, true).stepped);
        creasePatternTick(model, options);
        model.splitWideTucks();
        model.splitWideTucksWithAngleCondition();
    });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(model.creasePattern.built);
    EXPECT_TRUE(countsOf(model) == before);

    out = captureStdout([&] { model.mergeSplitEdge(model.faces.front().edge); });
    expectFinished(out);
}

}  // namespace
