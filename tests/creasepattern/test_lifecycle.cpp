#include <gtest/gtest.h>

#include "model/oripoly.h"

namespace {

// A pattern holding one record of every kind, with crease lines on top, as
// the timer leaves it; no construction pass is needed for that.
struct FilledPattern {
    Polyhedron model;
    CreasePattern& cp = model.creasePattern;
    PatternVertex* vertex;
    PatternFace* face;
    PatternNode* vertexNode;

    FilledPattern() {
        cp.model = &model;
        cp.built = cp.triangulated = true;
        cp.vertices.push_front(PatternVertex{&cp, Vec2(1, 2), nullptr, nullptr, nullptr, nullptr});
        vertex = &cp.vertices.front();
        cp.halfEdges.push_front(PatternHalfEdge());
        cp.halfEdges.front().vert = vertex;
        cp.faces.push_front(PatternFace());
        face = &cp.faces.front();
        face->kind = VertexMolecule;
        face->centre = Vec2(3, 4);
        cp.midpoints.push_front(BoundaryMidpoint());
        cp.crimps.push_front(CrimpRecord());
        cp.nodes.emplace_front(&vertex->pos);
        vertexNode = &cp.nodes.front();
        vertex->node = vertexNode;
        cp.nodes.emplace_front(&face->centre);
        face->node = &cp.nodes.front();
        cp.lines.push_front(CreaseLine{vertexNode, face->node, Valley});
        face->node->incidentLines.push_back(&cp.lines.front());
    }
};

void expectEmpty(const CreasePattern& cp) {
    EXPECT_FALSE(cp.built);
    EXPECT_FALSE(cp.triangulated);
    EXPECT_TRUE(cp.vertices.empty());
    EXPECT_TRUE(cp.halfEdges.empty());
    EXPECT_TRUE(cp.faces.empty());
    EXPECT_TRUE(cp.midpoints.empty());
    EXPECT_TRUE(cp.crimps.empty());
    EXPECT_TRUE(cp.nodes.empty());
    EXPECT_TRUE(cp.lines.empty());
}

}  // namespace

TEST(PatternLifecycle, NewPatternIsDetached) {
    CreasePattern cp;
    expectEmpty(cp);
    EXPECT_EQ(cp.model, nullptr);
}

TEST(PatternLifecycle, AttachEmptiesEverythingAndTakesTheModel) {
    FilledPattern p;
    Polyhedron other;
    p.cp.attachModel(&other);
    expectEmpty(p.cp);
    EXPECT_EQ(p.cp.model, &other);
}

TEST(PatternLifecycle, ClearDetaches) {
    FilledPattern p;
    p.cp.clear();
    expectEmpty(p.cp);
    EXPECT_EQ(p.cp.model, nullptr);

    p.cp.clear();  // already detached: nothing changes
    expectEmpty(p.cp);
    EXPECT_EQ(p.cp.model, nullptr);
}

TEST(PatternLifecycle, ClearingCreaseLinesKeepsTheMolecules) {
    FilledPattern p;
    p.cp.clearCreaseLines();
    EXPECT_TRUE(p.cp.built);
    EXPECT_TRUE(p.cp.triangulated);
    EXPECT_EQ(p.cp.model, &p.model);
    ASSERT_EQ(p.cp.vertices.size(), 1u);
    ASSERT_EQ(p.cp.halfEdges.size(), 1u);
    ASSERT_EQ(p.cp.faces.size(), 1u);
    EXPECT_EQ(&p.cp.vertices.front(), p.vertex);
    EXPECT_EQ(p.cp.halfEdges.front().vert, p.vertex);
    EXPECT_EQ(p.vertex->pos.y, 2.0);
    EXPECT_EQ(p.face->centre.x, 3.0);
    EXPECT_EQ(p.face->kind, VertexMolecule);
    EXPECT_EQ(p.face->node, nullptr);
    EXPECT_EQ(p.vertex->node, p.vertexNode) << "vertex nodes are left for generation to overwrite";
    EXPECT_TRUE(p.cp.nodes.empty());
    EXPECT_TRUE(p.cp.lines.empty());
    EXPECT_TRUE(p.cp.midpoints.empty());
    EXPECT_TRUE(p.cp.crimps.empty());
}

TEST(PatternLifecycle, ANodeFollowsThePointItStandsOn) {
    PatternFace face;
    PatternNode node(&face.centre);
    EXPECT_GE(node.incidentLines.capacity(), 16u);
    face.centre = Vec2(5, -1);
    EXPECT_EQ(node.point->x, 5.0);
    EXPECT_EQ(node.point->y, -1.0);
}
