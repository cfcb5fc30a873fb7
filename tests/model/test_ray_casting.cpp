#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
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

// The unit cube squashed to `height`.
std::vector<Vec3> thinBox(double height) {
    std::vector<Vec3> points = kCubePoints;
    for (Vec3& p : points) p.z *= height;
    return points;
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

using OffsetMap = std::map<const Vertex*, Vec3>;

// Every vertex's offset as loading computes it, found by testing each ray
// against every record, built here the same way: fans of the faces on the
// surface, then fans on the offset surface and the strips between the two.
struct BruteForceOffsets {
    OffsetMap offsets;
    int shortened = 0;  // rays that some record cut short, in either pass
};

Vec3 cornerOf(const HalfEdge* h, const OffsetMap* offsets) {
    return offsets ? h->vert->pos + offsets->at(h->vert) : h->vert->pos;
}

// The fan from the corner whose neighbours carry no diagonal (the face's
// edge when none is free), nothing for a two-sided face.
std::vector<TriangleRecord> fanOf(const Face& f, const OffsetMap* offsets) {
    std::vector<TriangleRecord> out;
    const HalfEdge* s = f.edge;
    do {
        if (s->prev->diagonals.empty() && s->next->diagonals.empty()) break;
        s = s->next;
    } while (s != f.edge);
    if (s->prev->prev == s) return out;
    const Vec3 origin = cornerOf(s, offsets);
    for (const HalfEdge* c = s->prev->prev;; c = c->prev) {
        out.push_back(record(origin, cornerOf(c, offsets) - origin, cornerOf(c->next, offsets) - origin));
        if (c == s->next) break;
    }
    return out;
}

bool hasCorner(const Face& f, const Vertex* v) {
    const HalfEdge* q = f.edge;
    do {
        if (q->vert == v) return true;
        q = q->next;
    } while (q != f.edge);
    return false;
}

// Returns whether the records cut the limit short.
bool nearestHit(const std::vector<TriangleRecord>& records, const Vec3& P, const Vec3& dir, double share,
                double& limit) {
    bool cut = false;
    for (const TriangleRecord& r : records) {
        double t = share * r.rayHit(P, dir);
        if (0 < t && t < limit) {
            limit = t;
            cut = true;
        }
    }
    return cut;
}

BruteForceOffsets bruteForceOffsets(const Polyhedron& m) {
    BruteForceOffsets out;
    std::vector<std::vector<TriangleRecord>> fans;
    for (const Face& f : m.faces) fans.push_back(fanOf(f, nullptr));
    const double firstLimit = 0.1 * length(m.bboxSize());
    OffsetMap first;
    for (const Vertex& v : m.vertices) {
        Vec3 sum;
        if (!v.edge.empty()) {
            const HalfEdge* start = v.edge[0]->pair;
            const HalfEdge* s = start;
            do {
                if (s->face) sum = sum + (-s->cornerAngle) * s->face->normal;
                s = s->next->pair;
            } while (s != start);
        }
        first[&v] = Vec3();
        if (v.edge.empty()) continue;
        Vec3 dir = sum;
        dir.normalize();
        double limit = firstLimit;
        bool cut = false;
        size_t i = 0;
        for (const Face& f : m.faces) {
            if (!hasCorner(f, &v)) cut = nearestHit(fans[i], v.pos, dir, 0.5, limit) || cut;
            ++i;
        }
        out.shortened += cut;
        first[&v] = dir * limit;
    }

    std::vector<std::vector<TriangleRecord>> offsetFans;
    for (const Face& f : m.faces) offsetFans.push_back(fanOf(f, &first));
    std::vector<std::vector<TriangleRecord>> strips;
    for (const HalfEdge& h : m.halfEdges) {
        Vec3 A = h.vert->pos, B = h.pair->vert->pos;
        Vec3 A1 = A + first.at(h.vert), B1 = B + first.at(h.pair->vert);
        Vec3 mid = (A1 + B1) / 2, mu = (A + B) / 2;
        strips.push_back({record(A, A1 - A, mid - A), record(mu, A - mu, mid - mu)});
    }
    for (const Vertex& v : m.vertices) {
        const Vec3 offset = first.at(&v);
        double L = length(offset);
        Vec3 dir = offset;
        dir.normalize();
        bool cut = false;
        size_t i = 0;
        for (const Face& f : m.faces) {
            if (!hasCorner(f, &v)) cut = nearestHit(offsetFans[i], v.pos, dir, 1.0, L) || cut;
            ++i;
        }
        i = 0;
        for (const HalfEdge& h : m.halfEdges) {
            if (h.vert != &v) cut = nearestHit(strips[i], v.pos, dir, 1.0, L) || cut;
            ++i;
        }
        out.shortened += cut;
        out.offsets[&v] = dir * L;
    }
    return out;
}

uint64_t bitsOf(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// The OBJ text with every position p replaced by move(p).
template <class Move>
std::string movedObj(const std::string& obj, Move move) {
    std::istringstream in(obj);
    std::ostringstream out;
    out << std::setprecision(17);
    std::string line;
    while (std::getline(in, line)) {
        Vec3 p;
        if (std::sscanf(line.c_str(), "v %lf %lf %lf", &p.x, &p.y, &p.z) == 3) {
            p = move(p);
            out << "v " << p.x << " " << p.y << " " << p.z << "\n";
        } else {
            out << line << "\n";
        }
    }
    return out.str();
}

// A sheet over columns `xs` and rows `ys`, two triangles per cell,
// counter-clockwise seen from +z before `place` moves the points. Cell by
// cell the triangles start at each of their corners in turn, so that each
// corner of a thin triangle is somewhere the origin of its record.
template <class Place>
std::string sheetObj(const std::vector<double>& xs, const std::vector<double>& ys, Place place) {
    std::vector<Vec3> points;
    for (double y : ys)
        for (double x : xs) points.push_back(place(x, y));
    const int n = static_cast<int>(xs.size());
    std::vector<std::vector<int>> faces;
    for (int j = 0; j + 1 < static_cast<int>(ys.size()); ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const int a = j * n + i, b = a + 1, c = a + n + 1, d = a + n;
            std::vector<int> lower = {a, b, c}, upper = {a, c, d};
            const int turn = (j * n + i) % 3;
            std::rotate(lower.begin(), lower.begin() + turn, lower.end());
            std::rotate(upper.begin(), upper.begin() + turn, upper.end());
            faces.push_back(lower);
            faces.push_back(upper);
        }
    return testsupport::objInModelCoordinates(points, faces);
}

// Folded back under itself at x = 1 to within a millionth of a radian, so
// that the two layers nearly coincide; at the fold a column of cells of no
// width (coincident corners) and one a billionth wide. The lower layer is a
// little wider, so that the rays from its long edges pass just outside the
// upper layer, where only the margins of the hit test catch them.
std::string foldedSheetObj() {
    const double bend = 1e-6;
    return sheetObj({0, 0.3, 0.6, 0.9, 1, 1, 1 + 1e-9, 1.3, 1.6, 2}, {0, 0.3, 0.55, 1},
                    [&](double x, double y) {
                        if (x <= 1) return Vec3(x, y, 0);
                        return Vec3(1 - (x - 1) * std::cos(bend), 0.5 + (y - 0.5) * (1 + 2e-3 * (x - 1)),
                                    -(x - 1) * std::sin(bend));
                    });
}

// A closed box cut along its top by a slot 1e-7 wide down to height 0.3,
// whose floor is a row of needles. Vertices along the bottom under the slot
// cast their rays straight up through the needles, past walls parallel to
// them, so each ray meets one needle alone.
std::string slottedBoxObj() {
    const double mid = 0.5, width = 1e-7, floor = 0.3;
    const double lo = mid - width / 2, hi = mid + width / 2, under = mid + width / 4;
    const std::vector<double> top = {0, 0.2, 0.4, 0.6, 0.8, 1}, bottom = {0, 0.1, 0.3, 0.5, 0.7, 0.9, 1};
    std::vector<Vec3> points;
    auto add = [&](double x, double y, double z) {
        points.emplace_back(x, y, z);
        return static_cast<int>(points.size()) - 1;
    };
    std::map<std::pair<int, int>, int> B, T, F;  // bottom, top and floor corners by column and row
    for (int i = 0; i < (int)bottom.size(); ++i) {
        B[{i, 0}] = add(bottom[i], 0, 0);
        B[{i, 1}] = add(bottom[i], under, 0);
        B[{i, 2}] = add(bottom[i], 1, 0);
    }
    for (int i = 0; i < (int)top.size(); ++i) {
        T[{i, 0}] = add(top[i], 0, 1);
        T[{i, 1}] = add(top[i], lo, 1);
        T[{i, 2}] = add(top[i], hi, 1);
        T[{i, 3}] = add(top[i], 1, 1);
        F[{i, 0}] = add(top[i], lo, floor);
        F[{i, 1}] = add(top[i], hi, floor);
    }
    std::vector<std::vector<int>> faces;
    // Counter-clockwise seen from the side `outward` points to, still
    // starting at the corner given first.
    auto face = [&](std::vector<int> corners, const Vec3& outward) {
        Vec3 n;
        for (size_t k = 0; k < corners.size(); ++k)
            n = n + cross(points[corners[k]], points[corners[(k + 1) % corners.size()]]);
        if (n.x * outward.x + n.y * outward.y + n.z * outward.z < 0)
            std::reverse(corners.begin() + 1, corners.end());
        faces.push_back(corners);
    };
    // Two triangles per cell, starting cell by cell at each corner in turn,
    // so that some needles have their records' origin at the sharp corner.
    auto cell = [&](int a, int b, int c, int d, int turn, const Vec3& outward) {
        std::vector<int> first = {a, b, c}, second = {a, c, d};
        std::rotate(first.begin(), first.begin() + turn % 3, first.end());
        std::rotate(second.begin(), second.begin() + turn % 3, second.end());
        face(first, outward);
        face(second, outward);
    };
    const Vec3 up(0, 0, 1), down(0, 0, -1), front(0, -1, 0), back(0, 1, 0);
    const int nb = (int)bottom.size() - 1, nt = (int)top.size() - 1;
    for (int i = 0; i < nb; ++i)
        for (int r = 0; r < 2; ++r) cell(B[{i, r}], B[{i + 1, r}], B[{i + 1, r + 1}], B[{i, r + 1}], i, down);
    for (int i = 0; i < nt; ++i) {
        cell(T[{i, 0}], T[{i + 1, 0}], T[{i + 1, 1}], T[{i, 1}], i, up);
        cell(T[{i, 2}], T[{i + 1, 2}], T[{i + 1, 3}], T[{i, 3}], i, up);
        cell(F[{i, 0}], F[{i + 1, 0}], F[{i + 1, 1}], F[{i, 1}], i, up);
        cell(F[{i, 0}], F[{i + 1, 0}], T[{i + 1, 1}], T[{i, 1}], i, back);
        cell(F[{i, 1}], F[{i + 1, 1}], T[{i + 1, 2}], T[{i, 2}], i, front);
    }
    for (int row : {0, 2}) {
        std::vector<int> wall;
        for (int i = 0; i <= nb; ++i) wall.push_back(B[{i, row}]);
        for (int i = nt; i >= 0; --i) wall.push_back(T[{i, row == 0 ? 0 : 3}]);
        face(wall, row == 0 ? front : back);
    }
    for (int end : {0, 1}) {
        const int b = end ? nb : 0, t = end ? nt : 0;
        const Vec3 out(end ? 1 : -1, 0, 0);
        face({B[{b, 0}], B[{b, 1}], F[{t, 0}], T[{t, 1}], T[{t, 0}]}, out);
        face({B[{b, 1}], B[{b, 2}], T[{t, 3}], T[{t, 2}], F[{t, 1}]}, out);
        face({B[{b, 1}], F[{t, 1}], F[{t, 0}]}, out);
    }
    return testsupport::objInModelCoordinates(points, faces);
}

// Steep narrow pleats `pitch` apart and `depth` deep across a unit square,
// every position moved a little at random: the rays from the folds run
// nearly along the walls of the pleats and graze them. The walls are thin
// triangles, needles when the pleats are shallow.
std::string pleatsObj(double pitch, double depth, double wobble, unsigned seed) {
    std::vector<double> xs, ys = {0, 0.5, 1};
    for (int i = 0; i <= 30; ++i) xs.push_back(pitch * i);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> step(-wobble, wobble);
    return sheetObj(xs, ys, [&](double x, double y) {
        Vec3 p(x, y, std::lround(x / pitch) % 2 * depth);
        p.x += step(random);
        p.y += step(random);
        p.z += step(random);
        return p;
    });
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

TEST(VertexOffsets, LoadingMatchesTestingEveryRecordBitForBit) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> step(-0.08, 0.08);
    const std::string jitteredSphere = movedObj(testsupport::sphereObj(3), [&](Vec3 p) {
        p.x += step(random);
        p.y += step(random);
        p.z += step(random);
        return p;
    });
    struct Case {
        const char* name;
        std::string obj;
        bool cuts = true;  // some ray is cut short
    };
    const std::vector<Case> cases = {
        {"closed sphere", testsupport::sphereObj(3), false},
        {"open grid", testsupport::openGridObj(12), false},
        {"cube", testsupport::cubeObj(), false},
        {"folded sheet with degenerate cells", foldedSheetObj()},
        {"jittered sphere", jitteredSphere},
        {"squashed sphere, far side within two first limits",
         movedObj(testsupport::sphereObj(3), [](Vec3 p) { return Vec3(p.x, p.y, 0.2 * p.z); })},
        {"slotted box, needles crossed by the rays", slottedBoxObj()},
        {"pleated slivers", pleatsObj(0.004, 0.05, 2e-4, 7)},
        {"needle pleats", pleatsObj(2e-5, 2e-5, 2e-6, 11)},
        {"thin box, far side beyond the first limit",
         testsupport::objInModelCoordinates(thinBox(0.1), kCubeFaces)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, c.obj), 0);
        for (const HalfEdge& h : m.halfEdges) ASSERT_EQ(h.stripTriangles.size(), 2u);
        const BruteForceOffsets expected = bruteForceOffsets(m);
        // Otherwise the comparison would hardly involve the records.
        if (c.cuts) {
            EXPECT_GT(expected.shortened, 0);
        }
        for (const Vertex& v : m.vertices) {
            const Vec3& e = expected.offsets.at(&v);
            EXPECT_EQ(bitsOf(v.offset.x), bitsOf(e.x)) << std::setprecision(17) << v.offset.x << " " << e.x;
            EXPECT_EQ(bitsOf(v.offset.y), bitsOf(e.y)) << std::setprecision(17) << v.offset.y << " " << e.y;
            EXPECT_EQ(bitsOf(v.offset.z), bitsOf(e.z)) << std::setprecision(17) << v.offset.z << " " << e.z;
        }
    }
}
