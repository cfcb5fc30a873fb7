#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "creasepattern/pattern_fixtures.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using namespace patternfixtures;

namespace {

// A cube with an extra vertex in the middle of one edge: that vertex has two
// faces and two edges around it, so it gets no vertex molecule.
std::string cubeWithEdgeMidpointObj() {
    return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nv 0.5 0 0\n"
           "f 1 4 3 2 9\nf 5 6 7 8\nf 1 9 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n";
}

int leaving(const Vertex& v) {
    int n = 0;
    const HalfEdge* h = v.edge[0];
    do {
        ++n;
        h = h->prev->pair;
    } while (h != v.edge[0]);
    return n;
}

struct Expected {
    int corners = 0, polygons = 0, molecules = 0, edgeMolecules = 0;
};

Expected expectedCounts(const Polyhedron& model) {
    Expected e;
    for (const HalfEdge& h : model.halfEdges) {
        e.corners += h.face != nullptr;
        if (&h < h.pair && !h.onCut && !h.pair->onCut) ++e.edgeMolecules;
    }
    e.polygons = static_cast<int>(model.faces.size());
    for (const Vertex& v : model.vertices) e.molecules += leaving(v) > 2;
    return e;
}

// The DXF writer walks the paper outline through `prev` from the last
// face-less half-edge; it must come back, through every face-less half-edge,
// without meeting a null link. Empty when it does.
std::string outlineFault(const CreasePattern& cp) {
    const PatternHalfEdge* start = nullptr;
    size_t faceless = 0;
    for (const PatternHalfEdge& h : cp.halfEdges)
        if (!h.face) {
            start = &h;
            ++faceless;
        }
    if (!start) return "";
    size_t steps = 0;
    const PatternHalfEdge* e = start;
    do {
        if (!e->prev) return "no prev after " + std::to_string(steps) + " steps";
        e = e->prev;
        if (e->face) return "the walk left the paper edge";
        if (++steps > faceless) return "the walk does not come back";
    } while (e != start);
    if (steps != faceless) return "the outline misses face-less half-edges";
    return "";
}

struct ModelCase {
    const char* name;
    std::string obj;
};

class BuiltModel : public ::testing::TestWithParam<ModelCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(loadLaidOut(model, GetParam().obj), 0);
        buildPattern(model);
    }
    Polyhedron model;
};

TEST_P(BuiltModel, OneRecordPerCornerFaceVertexAndUncutEdge) {
    const CreasePattern& cp = model.creasePattern;
    Expected e = expectedCounts(model);
    EXPECT_EQ(static_cast<int>(cp.vertices.size()), e.corners);
    EXPECT_EQ(countFaces(cp, PolygonFace), e.polygons);
    EXPECT_EQ(countFaces(cp, VertexMolecule), e.molecules);
    EXPECT_EQ(countFaces(cp, EdgeMolecule), e.edgeMolecules);
    EXPECT_EQ(cp.faces.size(), static_cast<size_t>(e.polygons + e.molecules + e.edgeMolecules));
}

TEST_P(BuiltModel, StructureIsClosedAndSound) {
    EXPECT_EQ(patternFault(model.creasePattern), "");
    for (const HalfEdge& h : model.halfEdges) {
        EXPECT_FALSE(h.visited);
        if (!h.face) {
            EXPECT_EQ(h.patternVertex, nullptr);
        }
    }
}

TEST_P(BuiltModel, CornersSitAtTranslationPlusCorner) {
    for (const PatternVertex& v : model.creasePattern.vertices) {
        const HalfEdge* X = v.modelHalfEdge;
        ASSERT_NE(X, nullptr);
        EXPECT_EQ(X->patternVertex, &v);
        EXPECT_EQ(v.pos.x, X->face->translation.x + X->corner.x);
        EXPECT_EQ(v.pos.y, X->face->translation.y + X->corner.y);
    }
}

TEST_P(BuiltModel, ListsRunFromNewestToOldest) {
    const CreasePattern& cp = model.creasePattern;
    // The last edge molecule is made at the first half, in list order, of
    // the last uncut edge met.
    const HalfEdge* lastUncut = nullptr;
    std::set<const HalfEdge*> seen;
    for (const HalfEdge& h : model.halfEdges) {
        if (seen.count(h.pair)) continue;
        seen.insert(&h);
        if (!h.onCut) lastUncut = &h;
    }
    ASSERT_NE(lastUncut, nullptr);
    const PatternFace& newest = cp.faces.front();
    EXPECT_EQ(newest.kind, EdgeMolecule);
    EXPECT_EQ(newest.edge->vert, lastUncut->prev->patternVertex);
    EXPECT_EQ(newest.edge->next->vert, lastUncut->pair->patternVertex);

    const PatternFace& oldest = cp.faces.back();
    EXPECT_EQ(oldest.kind, PolygonFace);
    EXPECT_EQ(oldest.edge, model.faces.front().edge->patternVertex->polygonEdge);
    EXPECT_EQ(cp.vertices.back().modelHalfEdge, &model.halfEdges.front());
}

// Polygon edges along uncut edges and molecule sides across them have an
// edge molecule side as pair; the paper boundary is exactly the face-less
// half-edges and their pairs.
TEST_P(BuiltModel, EdgeMoleculesCoverEveryUncutEdge) {
    for (const PatternVertex& v : model.creasePattern.vertices) {
        const HalfEdge* X = v.modelHalfEdge;
        const PatternHalfEdge* polygonEdge = v.polygonEdge;
        // The polygon edge of a corner runs along X.next.
        bool uncut = !X->next->onCut;
        EXPECT_EQ(polygonEdge->pair->face && polygonEdge->pair->face->kind == EdgeMolecule, uncut);
        EXPECT_EQ(polygonEdge->boundary, !uncut);
        if (v.vtmEdge && v.vtmEdge->pair->face) {
            EXPECT_EQ(v.vtmEdge->pair->face->kind, EdgeMolecule);
        }
    }
}

TEST_P(BuiltModel, PaperOutlineIsOneClosedWalk) { EXPECT_EQ(outlineFault(model.creasePattern), ""); }

INSTANTIATE_TEST_SUITE_P(Models, BuiltModel,
                         ::testing::Values(ModelCase{"tetrahedron", testsupport::tetrahedronObj()},
                                           ModelCase{"cube", testsupport::cubeObj()},
                                           ModelCase{"grid", testsupport::openGridObj(3)},
                                           ModelCase{"cubeWithMidpoint", cubeWithEdgeMidpointObj()}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

TEST(PatternConstruction, VertexWithTwoHalfEdgesGetsNoMolecule) {
    Polyhedron model;
    ASSERT_EQ(loadLaidOut(model, cubeWithEdgeMidpointObj()), 0);
    buildPattern(model);
    const Vertex& mid = model.vertices.back();
    ASSERT_EQ(leaving(mid), 2);
    int corners = 0;
    for (const HalfEdge& h : model.halfEdges)
        if (h.face && h.vert == &mid) {
            ++corners;
            EXPECT_EQ(h.patternVertex->vtmEdge, nullptr);
        }
    EXPECT_EQ(corners, 2);
    // The two edge molecules at that vertex meet along the gap between its
    // two copies, so the closed surface leaves no paper boundary.
    for (const PatternHalfEdge& h : model.creasePattern.halfEdges) EXPECT_FALSE(h.boundary);
}

// An open grid's corner vertex lies in one triangle only: no molecule, and
// the outline passes straight from one of its polygon edges to the other.
TEST(PatternConstruction, BoundaryCornerWithoutMoleculeJoinsItsPolygonEdges) {
    Polyhedron model;
    ASSERT_EQ(loadLaidOut(model, testsupport::openGridObj(2)), 0);
    buildPattern(model);
    const Vertex* corner = nullptr;
    for (const Vertex& v : model.vertices)
        if (leaving(v) == 2) corner = &v;
    ASSERT_NE(corner, nullptr);
    const HalfEdge* X = nullptr;
    for (const HalfEdge& h : model.halfEdges)
        if (h.face && h.vert == corner) X = &h;
    ASSERT_NE(X, nullptr);
    const PatternVertex* c = X->patternVertex;
    EXPECT_EQ(c->vtmEdge, nullptr);
    EXPECT_EQ(c->polygonEdge->prev->pair->prev, c->polygonEdge->pair);
}

// A loaded model still has its cut tree closed: cut edges with a face on
// both sides. Building on it must still leave every link sound.
TEST(PatternConstruction, UnopenedCutStillGivesASoundStructure) {
    for (const std::string& obj : {testsupport::cubeObj(), testsupport::sphereObj(1)}) {
        Polyhedron model;
        ASSERT_EQ(testsupport::loadObjText(model, obj), 0);
        placeFaces(model);
        buildPattern(model);
        CreasePattern& cp = model.creasePattern;
        EXPECT_EQ(patternFault(cp), "");
        cp.triangulateVertexMolecules();
        cp.improveVertexMolecules();
        cp.updatePositions();
        EXPECT_EQ(patternFault(cp), "");
        for (const PatternFace& f : cp.faces) EXPECT_TRUE(isFiniteVec(f.centre));
    }
}

TEST(PatternConstruction, PassesWithoutModelAddNothing) {
    CreasePattern cp;
    cp.buildPolygons();
    cp.buildVertexMolecules();
    cp.buildEdgeMolecules();
    cp.closePatternBoundary();
    EXPECT_TRUE(cp.vertices.empty());
    EXPECT_TRUE(cp.halfEdges.empty());
    EXPECT_TRUE(cp.faces.empty());
}

// The timer's sequence on really developed models, then the refreshes and
// flip passes that follow it: nothing may break a link or turn non-finite.
class DevelopedModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(DevelopedModel, BuildTriangulateAndRefresh) {
    Polyhedron working, backup;
    ASSERT_EQ(testsupport::loadObjText(working, GetParam().obj), 0);
    bool developed = false;
    testsupport::captureStdout([&] { developed = developFirst(working, backup); });
    if (!developed) GTEST_SKIP() << "Develop is not available";

    CreasePattern& cp = working.creasePattern;
    buildPattern(working);
    Expected e = expectedCounts(working);
    EXPECT_EQ(countFaces(cp, EdgeMolecule), e.edgeMolecules);
    EXPECT_EQ(countFaces(cp, VertexMolecule), e.molecules);
    EXPECT_EQ(patternFault(cp), "");
    EXPECT_EQ(outlineFault(cp), "");
    for (const HalfEdge& h : working.halfEdges) EXPECT_FALSE(h.visited);

    cp.triangulateVertexMolecules();
    EXPECT_TRUE(cp.triangulated);
    EXPECT_EQ(patternFault(cp), "");
    for (int pass = 0; pass < 20; ++pass) {
        cp.improveVertexMolecules();
        cp.updatePositions();
    }
    EXPECT_EQ(patternFault(cp), "");
    for (const PatternFace& f : cp.faces) {
        if (f.kind != VertexMolecule) continue;
        EXPECT_LE(countSides(&f), 3);
        EXPECT_TRUE(isFiniteVec(f.centre));
    }
    for (const PatternHalfEdge& h : cp.halfEdges) {
        Vec2 d = h.idealDirection();
        EXPECT_TRUE(isFiniteVec(d));
        EXPECT_NEAR(d.x * d.x + d.y * d.y, 1.0, 1e-9);
        // Both halves of a gap side on the paper edge ask for opposite
        // directions, and so do both halves of an edge-molecule side, there
        // as closely as the solved edge angles agree around each vertex.
        bool moleculeSide = h.pair->face && h.pair->face->kind == VertexMolecule;
        if (moleculeSide && (!h.face || h.face->kind == EdgeMolecule)) {
            double tolerance = h.face ? 1e-3 : 1e-12;
            Vec2 other = h.pair->idealDirection();
            EXPECT_NEAR(d.x, -other.x, tolerance);
            EXPECT_NEAR(d.y, -other.y, tolerance);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, DevelopedModel,
                         ::testing::Values(ModelCase{"tetrahedron", testsupport::tetrahedronObj()},
                                           ModelCase{"cube", testsupport::cubeObj()},
                                           ModelCase{"grid", testsupport::openGridObj(4)},
                                           ModelCase{"sphere", testsupport::sphereObj(2)}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

}  // namespace
