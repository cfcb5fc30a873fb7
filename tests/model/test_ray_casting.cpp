#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

namespace {

const double kPi = 3.141592653589793;
const double kEps = 1e-12;

double length(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

TriangleRecord record(const Vec3& origin, const Vec3& e1, const Vec3& e2) {
    TriangleRecord r;
    r.origin = origin;
    r.init(e1, e2);
    return r;
}

// The unit cube [0, 1]^3 as the model stores it, faces seen from outside.
const std::vector<Vec3> kCubePoints = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const std::vector<std::vector<int>> kCubeFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                  {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}};

// Runs the loading steps that the offsets need.
void measureGeometry(Polyhedron& m, const std::string& obj) {
    ASSERT_EQ(testsupport::readObjText(m, obj), 0);
    m.triangulateFaces();
    testsupport::captureStdout([&] { m.updateGeometry(); });
}

// ... and then the offsets, returning what they printed.
std::string measure(Polyhedron& m, const std::string& obj) {
    measureGeometry(m, obj);
    return testsupport::captureStdout([&] { m.computeOffsets(); });
}

std::string cubeObj() { return testsupport::objInModelCoordinates(kCubePoints, kCubeFaces); }

// 0.1 per axis toward the cube's centre.
Vec3 expectedCubeOffset(const Vec3& corner) {
    return Vec3(0.1 * (1 - 2 * corner.x), 0.1 * (1 - 2 * corner.y), 0.1 * (1 - 2 * corner.z));
}

void expectVec3(const Vec3& actual, const Vec3& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

}  // namespace

TEST(RayHit, UnitTriangleTable) {
    const TriangleRecord r = record(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0));
    ASSERT_TRUE(r.valid);
    struct Case {
        const char* name;
        Vec3 start, dir;
        double t;
    };
    const std::vector<Case> cases = {
        {"straight down", {0.25, 0.25, 1}, {0, 0, -1}, 1},
        {"unnormalised direction", {0.25, 0.25, 1}, {0, 0, -2}, 1},
        {"hit behind the start", {0.25, 0.25, 1}, {0, 0, 1}, -1},
        {"parallel to the plane", {0.25, 0.25, 1}, {1, 0, 0}, 0},
        {"zero direction", {0.25, 0.25, 1}, {0, 0, 0}, 0},
        {"start on the plane", {0.25, 0.25, 0}, {0, 0, -1}, 0},
        {"just past the edge along e2", {-0.005, 0.5, 1}, {0, 0, -1}, 1},
        {"well past the edge along e2", {-0.02, 0.5, 1}, {0, 0, -1}, 0},
        {"just past the edge along e1", {0.5, -0.005, 2}, {0, 0, -1}, 2},
        {"just past the long edge", {0.5, 0.505, 1}, {0, 0, -1}, 1},
        {"well past the long edge", {0.5, 0.52, 1}, {0, 0, -1}, 0},
        {"slanted", {0, 0, 1}, {0.25, 0.25, -1}, std::sqrt(1.125)},
    };
    for (const Case& c : cases) EXPECT_NEAR(r.rayHit(c.start, c.dir), c.t, kEps) << c.name;
}

TEST(RayHit, LocalCoordinatesOfASkewTriangle) {
    const Vec3 e1(2, 0.5, -1), e2(-0.5, 3, 0.25);
    TriangleRecord r = record(Vec3(1, 2, 3), e1, e2);
    ASSERT_TRUE(r.valid);
    Vec3 n = cross(e1, e2);
    n = n / length(n);
    expectVec3(r.toLocal(e1), Vec3(1, 0, 0), kEps);
    expectVec3(r.toLocal(e2), Vec3(0, 1, 0), kEps);
    expectVec3(r.toLocal(n), Vec3(0, 0, 1), kEps);
    expectVec3(r.origin, Vec3(1, 2, 3), 0);
    // From 2 units above the middle of the triangle, straight at it.
    Vec3 middle = r.origin + 0.25 * e1 + 0.25 * e2;
    EXPECT_NEAR(r.rayHit(middle + 2 * n, -n), 2, kEps);
}

TEST(RayHit, DegenerateRecordsNeverHit) {
    struct Case {
        const char* name;
        Vec3 e1, e2;
    };
    for (const Case& c :
         std::vector<Case>{{"parallel edges", {1, 0, 0}, {2, 0, 0}}, {"zero edge", {0, 0, 0}, {0, 1, 0}}}) {
        TriangleRecord r = record(Vec3(0, 0, 0), c.e1, c.e2);
        EXPECT_FALSE(r.valid) << c.name;
        for (const Vec3& d : {Vec3(0, 0, -1), Vec3(0, 0, 1), Vec3(1, 1, 1), Vec3(0, 1, 0)})
            EXPECT_EQ(r.rayHit(Vec3(0.25, 0.1, 1), d), 0.0) << c.name;
    }
}

TEST(VertexOffsets, UnitCubeCornersPointToTheCentre) {
    Polyhedron m;
    measureGeometry(m, cubeObj());
    // Before any records exist a corner gets the first limit, a tenth of the box diagonal.
    Vertex& top = *std::next(m.vertices.begin(), 6);
    expectVec3(top.pos, Vec3(1, 1, 1), 0);
    m.computeVertexOffset(&top);
    expectVec3(top.offset, Vec3(-0.1, -0.1, -0.1), kEps);

    // With the face records built, the far faces at distance sqrt 3 do not shorten it,
    // nor do the offset faces and strips.
    Polyhedron full;
    measure(full, cubeObj());
    for (const Vertex& v : full.vertices) {
        SCOPED_TRACE(testing::Message() << v.pos.x << " " << v.pos.y << " " << v.pos.z);
        expectVec3(v.offset, expectedCubeOffset(v.pos), kEps);
    }
    for (const Face& f : full.faces) {
        EXPECT_EQ(f.triangles.size(), 2u);
        EXPECT_EQ(f.offsetTriangles.size(), 2u);
        // Fan apex at one end of the diagonal.
        EXPECT_FALSE(f.edge->diagonals.empty());
        expectVec3(f.triangles[0].origin, f.edge->vert->pos, 0);
        expectVec3(f.offsetTriangles[0].origin, f.edge->vert->pos + f.edge->vert->offset, kEps);
    }
    for (const HalfEdge& h : full.halfEdges) {
        ASSERT_EQ(h.stripTriangles.size(), 2u);
        expectVec3(h.stripTriangles[0].origin, h.vert->pos, 0);
    }
}

TEST(VertexOffsets, FaceRecordsCoverTheFaceOnly) {
    struct Probe {
        double x, y;
        bool inside;
    };
    struct Case {
        const char* name;
        std::vector<Vec3> points;
        Vec3 apex;
        std::vector<Probe> probes;
    };
    const std::vector<Case> cases = {
        {"pentagon",
         {{0, 0, 0}, {4, 0, 0}, {4, 1.5, 0}, {3, 2, 0}, {0, 1.5, 0}},
         {3, 2, 0},
         {{0.5, 0.5, true}, {3.5, 1.2, true}, {2, 1.7, true}, {3.8, 1.9, false}}},
        // A dart: a fan from the wrong end would cover its notch.
        {"dart", {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}}, {2, 1, 0}, {{1.5, 1, true}, {0.3, 1, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        measure(m, testsupport::polygonInModelCoordinates(c.points));
        const Face& f = m.faces.front();
        ASSERT_EQ(f.triangles.size(), c.points.size() - 2);
        for (const TriangleRecord& r : f.triangles) expectVec3(r.origin, c.apex, 0);
        for (const Probe& p : c.probes) {
            int hits = 0;
            for (const TriangleRecord& r : f.triangles)
                if (r.rayHit(Vec3(p.x, p.y, 1), Vec3(0, 0, -1)) > 0) ++hits;
            EXPECT_EQ(hits > 0, p.inside) << p.x << " " << p.y;
        }
    }
}

TEST(VertexOffsets, NearFaceHalvesTheDepthAndOffsetFacesStopIt) {
    // A slab 0.1 thick: a corner's ray meets the opposite face after 0.1 sqrt 3,
    // and half of that is less than a tenth of the box diagonal.
    std::vector<Vec3> slab = kCubePoints;
    for (Vec3& p : slab) p.z *= 0.1;
    Polyhedron m;
    measure(m, testsupport::objInModelCoordinates(slab, kCubeFaces));
    Vertex& top = *std::next(m.vertices.begin(), 6);
    m.computeVertexOffset(&top);
    expectVec3(top.offset, Vec3(-0.05, -0.05, -0.05), kEps);

    // A longer offset is cut at the first offset face or strip in its way: the
    // offset copies of the far faces lie at distance 0.9 sqrt 3 along the diagonal.
    Polyhedron cube;
    measure(cube, cubeObj());
    Vertex& corner = *std::next(cube.vertices.begin(), 6);
    corner.offset = Vec3(-5, -5, -5);
    cube.limitVertexOffset(&corner);
    expectVec3(corner.offset, Vec3(-0.9, -0.9, -0.9), 1e-9);
}

TEST(VertexOffsets, CancellingNormalsGiveNoOffset) {
    // Two triangles back to back: at every vertex the normals cancel.
    Polyhedron m;
    measure(m, testsupport::objInModelCoordinates({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 1}}));
    for (const Vertex& v : m.vertices) expectVec3(v.offset, Vec3(0, 0, 0), 0);
    for (const HalfEdge& h : m.halfEdges) EXPECT_TRUE(std::isfinite(h.tuckAngle));
}

TEST(VertexOffsets, VertexWithoutEdgesGetsNoOffset) {
    Polyhedron m;
    measure(m, testsupport::polygonInModelCoordinates({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    Vertex lonely;
    lonely.pos = Vec3(0.2, 0.2, 1);
    lonely.offset = Vec3(1, 2, 3);
    m.computeVertexOffset(&lonely);
    expectVec3(lonely.offset, Vec3(0, 0, 0), 0);
}

TEST(VertexOffsets, ConsoleShowsOneDotPerVertex) {
    Polyhedron m;
    EXPECT_EQ(measure(m, cubeObj()), "_........");
    Polyhedron t;
    EXPECT_EQ(measure(t, testsupport::tetrahedronObj()), "_....");
}

TEST(HalfEdgeTuckAngle, FromOffsetsOfBothEnds) {
    struct Case {
        const char* name;
        Vec3 head, tail, headOffset, tailOffset;
        double angle;
    };
    const std::vector<Case> cases = {
        {"equal offsets square to the edge", {0, 0, 0}, {1, 0, 0}, {0, 0, -0.1}, {0, 0, -0.1}, kPi / 2},
        {"zero offset at the head", {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, -0.2}, std::atan(0.2)},
        {"no offsets", {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 0}, 0},
        {"coincident ends", {1, 1, 1}, {1, 1, 1}, {0, 0, -0.1}, {0, 0, -0.1}, 0},
        {"leaning along the edge", {0, 0, 0}, {1, 0, 0}, {0.1, 0, -0.1}, {0.1, 0, -0.1}, kPi / 4},
        // The offset edge's midpoint (0.5, -0.05, -0.05) lies off the plane of the
        // head's offset and the edge, so the two terms add up to more than pi/2.
        {"skew offsets",
         {0, 0, 0},
         {1, 0, 0},
         {0, 0, -0.1},
         {0, -0.1, 0},
         std::acos(0.05 / std::sqrt(0.255)) + std::acos(0.5 / std::sqrt(0.255))},
    };
    for (const Case& c : cases) {
        Vertex head, tail;
        head.pos = c.head;
        head.offset = c.headOffset;
        tail.pos = c.tail;
        tail.offset = c.tailOffset;
        HalfEdge h, p;
        h.vert = &head;
        p.vert = &tail;
        h.pair = &p;
        p.pair = &h;
        h.computeTuckAngle();
        EXPECT_NEAR(h.tuckAngle, c.angle, kEps) << c.name;
    }
}
