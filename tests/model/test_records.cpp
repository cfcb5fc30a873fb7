#include <gtest/gtest.h>

#include <cmath>

#include "model/oripoly.h"
#include "support/test_support.h"

TEST(Vec, NormalizeTreatsZeroDifferentlyIn2DAnd3D) {
    Vec2 a(0, 0);
    a.normalize();
    EXPECT_EQ(a.x, 1.0);
    EXPECT_EQ(a.y, 0.0);
    Vec2 tiny(0, 1e-100);
    tiny.normalize();
    EXPECT_EQ(tiny.x, 0.0);
    EXPECT_EQ(tiny.y, 1.0);

    Vec3 z(0, 0, 0);
    z.normalize();
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 0.0);
    Vec3 b(3, 0, 4);
    b.normalize();
    EXPECT_DOUBLE_EQ(b.x, 0.6);
    EXPECT_DOUBLE_EQ(b.z, 0.8);
}

TEST(Vec, RotationsAndCross) {
    Vec2 a(1, 0);
    a.rotate(M_PI / 2);
    EXPECT_NEAR(a.x, 0.0, 1e-15);
    EXPECT_NEAR(a.y, 1.0, 1e-15);
    Vec2 b(1, 0);
    b.rotateBy(Vec2(0, 1));
    EXPECT_EQ(b.x, 0.0);
    EXPECT_EQ(b.y, 1.0);
    Vec2 c(2, 1);
    c.rotateBy(Vec2(std::cos(0.3), std::sin(0.3)));
    Vec2 d(2, 1);
    d.rotate(0.3);
    EXPECT_NEAR(c.x, d.x, 1e-15);
    EXPECT_NEAR(c.y, d.y, 1e-15);
    Vec3 z = cross(Vec3(1, 0, 0), Vec3(0, 1, 0));
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 1.0);
}

namespace {

// Indices are list positions; edge indices are shared by both halves and
// run in the list order of each edge's first half.
void expectNumbered(Polyhedron& m) {
    int i = 0;
    for (Vertex& v : m.vertices) EXPECT_EQ(v.index, i++);
    EXPECT_EQ(m.numVertices, i);
    i = 0;
    int nextEdge = 0;
    for (HalfEdge& h : m.halfEdges) {
        EXPECT_EQ(h.index, i++);
        ASSERT_NE(h.pair, nullptr);
        EXPECT_EQ(h.edgeIndex, h.pair->edgeIndex);
        if (h.edgeIndex == nextEdge) ++nextEdge;
        EXPECT_LT(h.edgeIndex, nextEdge);
    }
    EXPECT_EQ(m.numEdges, nextEdge);
    EXPECT_EQ(2 * m.numEdges, (int)m.halfEdges.size());
    i = 0;
    for (Face& f : m.faces) EXPECT_EQ(f.index, i++);
    EXPECT_EQ(m.numFaces, i);
}

}  // namespace

TEST(Numbering, ClosedSurfaceHasOnlyInteriorEdges) {
    Polyhedron m;
    ASSERT_EQ(testsupport::readObjText(m, testsupport::tetrahedronObj()), 0);
    m.numberElements();
    ASSERT_NO_FATAL_FAILURE(expectNumbered(m));
    EXPECT_EQ(m.numVertices, 4);
    EXPECT_EQ(m.halfEdges.size(), 12u);
    EXPECT_EQ(m.numEdges, 6);
    EXPECT_EQ(m.numFaces, 4);
    EXPECT_EQ(m.numInteriorEdges, m.numEdges);
}

TEST(Numbering, BoundaryEdgesAreNotInterior) {
    const int n = 3;
    Polyhedron m;
    ASSERT_EQ(testsupport::readObjText(m, testsupport::openGridObj(n)), 0);
    m.numberElements();
    ASSERT_NO_FATAL_FAILURE(expectNumbered(m));
    EXPECT_EQ(m.numVertices, (n + 1) * (n + 1));
    EXPECT_EQ(m.numFaces, 2 * n * n);
    // n(n+1) horizontal, as many vertical and n^2 diagonal edges; 4n on the boundary.
    EXPECT_EQ(m.numEdges, 2 * n * (n + 1) + n * n);
    EXPECT_EQ(m.numEdges - m.numInteriorEdges, 4 * n);
}

// Erasing elements leaves gaps; numbering again closes them.
TEST(Numbering, RenumberingAfterErasingClosesTheGaps) {
    Polyhedron m;
    ASSERT_EQ(testsupport::readObjText(m, testsupport::octahedronObj()), 0);
    m.numberElements();
    HalfEdge* h = &*std::next(m.halfEdges.begin(), 5);
    HalfEdge* p = h->pair;
    m.halfEdges.remove_if([&](const HalfEdge& e) { return &e == h || &e == p; });
    m.faces.erase(std::next(m.faces.begin(), 2));
    m.vertices.erase(std::next(m.vertices.begin(), 1));
    m.numberElements();
    ASSERT_NO_FATAL_FAILURE(expectNumbered(m));
    EXPECT_EQ(m.numVertices, 5);
    EXPECT_EQ(m.numEdges, 11);
    EXPECT_EQ(m.numFaces, 7);
}

// Records that differ in everything but their index compare equal.
template <class Record>
void expectEqualByIndex(void (*differ)(Record&)) {
    Record a, b;
    a.index = b.index = 7;
    differ(a);
    EXPECT_TRUE(a == b);
    b.index = 8;
    EXPECT_FALSE(a == b);
}

TEST(Records, HalfEdgesAndFacesCompareByIndex) {
    expectEqualByIndex<HalfEdge>([](HalfEdge& h) {
        h.length = 1.0;
        h.onCut = true;
    });
    expectEqualByIndex<Face>([](Face& f) {
        f.depth = 5;
        f.flooded = true;
    });
}

// The solver reaches its model through this link from the start.
TEST(Records, NewModelOwnsItsSolver) {
    Polyhedron m;
    EXPECT_EQ(m.solver.model, &m);
}

// A read that failed halfway leaves records partly linked, some links null;
// the model is still freed without following them.
TEST(Records, ModelFromAFailedReadIsFreed) {
    const std::vector<std::string> texts = {
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 1 2 4\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n",
    };
    for (const std::string& text : texts) {
        Polyhedron* m = new Polyhedron;
        EXPECT_EQ(testsupport::loadObjText(*m, text), -1);
        EXPECT_FALSE(m->halfEdges.empty());
        delete m;
    }
}
