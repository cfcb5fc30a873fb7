#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

namespace {

const double kPi = 3.141592653589793;
const double kEps = 1e-12;

// Reads and pairs a model; each face's `edge` has its head at the face's first listed corner.
void readModel(Polyhedron& m, const std::vector<Vec3>& points, const std::vector<std::vector<int>>& faces) {
    ASSERT_EQ(testsupport::readObjText(m, testsupport::objInModelCoordinates(points, faces)), 0);
}

// Reads a model, scales it about the origin and measures it.
void readAndMeasure(Polyhedron& m, const std::string& obj, double scale = 1.0) {
    ASSERT_EQ(testsupport::readObjText(m, obj), 0);
    for (Vertex& v : m.vertices) v.pos = scale * v.pos;
    m.triangulateFaces();
    testsupport::captureStdout([&] { m.updateGeometry(); });
}

// Walks a face's cycle from its `edge`.
std::vector<HalfEdge*> cycle(const Face& f) {
    std::vector<HalfEdge*> out;
    HalfEdge* h = f.edge;
    do {
        out.push_back(h);
        h = h->next;
    } while (h != f.edge);
    return out;
}

// Puts a two-sided face into the edge of h, the way an edge is split for the sheet.
void expectVec2(const Vec2& actual, const Vec2& expected, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, kEps) << what;
    EXPECT_NEAR(actual.y, expected.y, kEps) << what;
}

}  // namespace

TEST(FanTriangulation, FanApexAndDiagonalsByCornerCount) {
    struct Case {
        const char* name;
        std::vector<Vec3> points;
        int apex;  // position in the face's cycle, -1 for no diagonals
    };
    const std::vector<Case> cases = {
        {"triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, -1},
        // Every corner costs one diagonal: the first corner of the walk wins.
        {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 0},
        // The corner at (3, 2) is nearest its two non-adjacent corners.
        {"pentagon", {{0, 0, 0}, {4, 0, 0}, {4, 1.5, 0}, {3, 2, 0}, {0, 1.5, 0}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::readObjText(m, testsupport::polygonInModelCoordinates(c.points)), 0);
        m.triangulateFaces();
        std::vector<HalfEdge*> hs = cycle(m.faces.front());
        if (c.apex < 0) {
            for (HalfEdge* h : hs) EXPECT_TRUE(h->diagonals.empty());
            continue;
        }
        HalfEdge* apex = hs[c.apex];
        std::vector<HalfEdge*> partners;
        for (HalfEdge* d = apex->prev->prev;; d = d->prev) {
            partners.push_back(d);
            if (d == apex->next->next) break;
        }
        EXPECT_EQ(apex->diagonals, partners);
        for (HalfEdge* h : hs) {
            if (h == apex) continue;
            bool isPartner = std::find(partners.begin(), partners.end(), h) != partners.end();
            EXPECT_EQ(h->diagonals, isPartner ? std::vector<HalfEdge*>{apex} : std::vector<HalfEdge*>{});
        }
    }
}

TEST(CornerAngles, PlanarFaces) {
    struct Case {
        const char* name;
        std::vector<Vec3> points;
        std::vector<double> angles;  // at the heads of the cycle from `edge`
        const char* console;
    };
    const double a = std::atan(0.5);
    const std::vector<Case> cases = {
        {"triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {kPi / 2, kPi / 4, kPi / 4}, ""},
        {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {kPi / 2, kPi / 2, kPi / 2, kPi / 2}, ""},
        // A dart: the reflex corner at (1, 1) composes past pi through the fan.
        {"dart",
         {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}},
         {kPi / 4 - a, 2 * a, kPi / 4 - a, 1.5 * kPi},
         "hoge"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::readObjText(m, testsupport::polygonInModelCoordinates(c.points)), 0);
        m.triangulateFaces();
        EXPECT_EQ(testsupport::captureStdout([&] { m.updateGeometry(); }), c.console);
        std::vector<HalfEdge*> hs = cycle(m.faces.front());
        ASSERT_EQ(hs.size(), c.angles.size());
        for (size_t i = 0; i < hs.size(); ++i) {
            EXPECT_NEAR(hs[i]->cornerAngle, c.angles[i], kEps) << "corner " << i;
            EXPECT_NEAR(hs[i]->cornerCos, std::cos(c.angles[i]), kEps) << "corner " << i;
            EXPECT_NEAR(hs[i]->cornerSin, std::sin(c.angles[i]), kEps) << "corner " << i;
            Vec3 e = hs[i]->vert->pos - hs[i]->prev->vert->pos;
            EXPECT_NEAR(hs[i]->length, std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z), kEps);
        }
        // The boundary side of a single face takes one step per corner and never wraps.
        for (HalfEdge& h : m.halfEdges) {
            EXPECT_GE(h.cornerAngle, 0.0);
            EXPECT_LT(h.cornerAngle, 2 * kPi);
        }
        const Vec3& n = m.faces.front().normal;
        EXPECT_NEAR(n.x, 0, kEps);
        EXPECT_NEAR(n.y, 0, kEps);
        EXPECT_NEAR(n.z, 1, kEps);
    }
}

TEST(CornerAngles, TwoSidedFaceHasZeroCorners) {
    Polyhedron m;
    readModel(m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    HalfEdge* shared = nullptr;
    for (HalfEdge& h : m.halfEdges)
        if (h.face && h.pair->face) shared = &h;
    ASSERT_NE(shared, nullptr);
    HalfEdge* split = m.splitIntoDigon(shared);
    ASSERT_NE(split, nullptr);
    Face* digon = split->face;
    for (HalfEdge* h : cycle(*digon)) {
        h->cornerCos = h->cornerSin = h->cornerAngle = 0.5;
    }
    m.triangulateFaces();
    EXPECT_EQ(testsupport::captureStdout([&] { m.updateGeometry(); }), "");
    for (HalfEdge* h : cycle(*digon)) {
        EXPECT_EQ(h->cornerAngle, 0.0);
        EXPECT_EQ(h->cornerCos, 1.0);
        EXPECT_EQ(h->cornerSin, 0.0);
        EXPECT_NEAR(h->length, std::sqrt(2.0), kEps);
    }
}

TEST(Bends, CubeSinesAndDefectsDoNotDependOnSize) {
    for (double size : {1.0, 0.05, 1000.0}) {
        SCOPED_TRACE(size);
        const double sine = -1.0, defect = 2 * kPi + 3;
        Polyhedron m;
        readAndMeasure(m, testsupport::cubeObj(size));
        for (const HalfEdge& h : m.halfEdges) EXPECT_NEAR(h.dihedralSin, sine, kEps);
        for (const Vertex& v : m.vertices) EXPECT_NEAR(v.bendDefect, defect, kEps);
        Vec3 centre = 0.5 * (m.bboxMin + m.bboxMax);
        for (const Face& f : m.faces) {
            Vec3 out = f.edge->vert->pos - centre;
            double along = f.normal.x * out.x + f.normal.y * out.y + f.normal.z * out.z;
            EXPECT_NEAR(along, size / 2, kEps * size) << "normals are unit and point out";
        }
        // The reader mirrors x, and the box is that of the stored positions.
        EXPECT_EQ(m.bboxMin.x, -size);
        EXPECT_EQ(m.bboxMax.x, 0.0);
        EXPECT_EQ(m.bboxMin.y, 0.0);
        EXPECT_EQ(m.bboxMax.z, size);
        Vec3 box = m.bboxSize();
        EXPECT_EQ(box.x, size);
        EXPECT_EQ(box.y, size);
        EXPECT_EQ(box.z, size);
    }
}

// Shading follows the bend sines, so they must not depend on the model's
// units: fine spheres bend everywhere, and a copy scaled by 1,000 (up or
// down) bends exactly as much.
TEST(Bends, SinesAreTheSameAtEveryScale) {
    for (int level : {3, 4}) {
        SCOPED_TRACE(level);
        Polyhedron unit;
        readAndMeasure(unit, testsupport::sphereObj(level));
        for (double scale : {0.001, 1000.0}) {
            SCOPED_TRACE(scale);
            Polyhedron scaled;
            readAndMeasure(scaled, testsupport::sphereObj(level), scale);
            ASSERT_EQ(scaled.halfEdges.size(), unit.halfEdges.size());
            // Counted, so that a fault gives one line rather than thousands.
            size_t flat = 0, unequal = 0;
            auto h = unit.halfEdges.begin();
            for (const HalfEdge& s : scaled.halfEdges) {
                if (!(h->dihedralSin < -0.01)) ++flat;
                if (!(std::fabs(s.dihedralSin - h->dihedralSin) <= kEps)) ++unequal;
                ++h;
            }
            EXPECT_EQ(flat, 0u) << "a convex surface bends away at every edge";
            EXPECT_EQ(unequal, 0u);
        }
    }
}

TEST(Bends, FlatInteriorVertex) {
    // A 2 by 2 grid of unit squares in one plane.
    std::vector<Vec3> p;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) p.push_back(Vec3(i, j, 0));
    Polyhedron m;
    readModel(m, p, {{0, 1, 4, 3}, {1, 2, 5, 4}, {3, 4, 7, 6}, {4, 5, 8, 7}});
    m.triangulateFaces();
    testsupport::captureStdout([&] { m.updateGeometry(); });
    Vertex& centre = *std::next(m.vertices.begin(), 4);
    ASSERT_EQ(centre.edge.size(), 4u);
    for (HalfEdge* h : centre.edge) EXPECT_EQ(h->dihedralSin, 0.0);
    EXPECT_NEAR(centre.bendDefect, 2 * kPi, kEps);
}

TEST(Bends, VertexWithoutEdgesIsLeftAlone) {
    Vertex v;
    v.bendDefect = 1.25;
    v.computeDefects();
    EXPECT_EQ(v.bendDefect, 1.25);
}

TEST(LayoutFace, UnitSquareFromStartDirection) {
    struct Case {
        Vec2 d0;
        double turn;  // the expected layout is the one for d0 = (0, 0) turned by this
    };
    const Vec2 corners[4] = {{0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}, {-0.5, -0.5}};
    const Vec2 directions[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    for (const Case& c : std::vector<Case>{{Vec2(0, 0), 0.0}, {Vec2(0, 3), kPi / 2}, {Vec2(-2, 0), kPi}}) {
        SCOPED_TRACE(c.turn);
        Polyhedron m;
        readModel(m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
        m.triangulateFaces();
        m.updateGeometry();
        m.faces.front().translation = Vec2(3, 4);
        m.faces.front().edge->layoutFace(c.d0);
        std::vector<HalfEdge*> hs = cycle(m.faces.front());
        for (int i = 0; i < 4; ++i) {
            Vec2 corner = corners[i], direction = directions[i];
            expectVec2(hs[i]->corner, corner.rotate(c.turn), "corner");
            expectVec2(hs[i]->direction, direction.rotate(c.turn), "direction");
        }
        expectVec2(m.faces.front().translation, Vec2(3, 4), "translation is kept");
    }
}

TEST(LayoutMeasures, EmptyModel) {
    Polyhedron m;
    Vec2 hi, lo;
    m.boundsAt(0.7, hi, lo);
    expectVec2(hi, Vec2(0.5, 0.5), "max");
    expectVec2(lo, Vec2(-0.5, -0.5), "min");
    expectVec2(m.extentAt(0.7), Vec2(1, 1), "extent");
    EXPECT_EQ(m.efficiencyAt(0.7), 0.0);
    EXPECT_EQ(m.area, 0.0);
    EXPECT_EQ(m.efficiencyAt(0.0), 0.0);
}

TEST(LayoutMeasures, RotatedBoundsAndEfficiency) {
    // A right triangle with legs 2 and 1 (area 1) placed at (5, 7).
    Polyhedron m;
    readModel(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    Face& f = m.faces.front();
    std::vector<HalfEdge*> hs = cycle(f);
    hs[0]->corner = Vec2(0, 0);
    hs[1]->corner = Vec2(2, 0);
    hs[2]->corner = Vec2(0, 1);
    f.translation = Vec2(5, 7);

    struct Case {
        double alpha;
        Vec2 hi, lo;
    };
    for (const Case& c :
         std::vector<Case>{{0.0, Vec2(7, 8), Vec2(5, 7)}, {kPi / 2, Vec2(-7, 7), Vec2(-8, 5)}}) {
        SCOPED_TRACE(c.alpha);
        Vec2 hi, lo;
        m.boundsAt(c.alpha, hi, lo);
        expectVec2(hi, c.hi, "max");
        expectVec2(lo, c.lo, "min");
        expectVec2(m.extentAt(c.alpha), c.hi - c.lo, "extent");
        EXPECT_NEAR(m.efficiencyAt(c.alpha), 0.25, kEps);
        EXPECT_NEAR(m.area, 1.0, kEps);
    }

    // The area is cached: once computed, moving corners leaves it as it was.
    hs[1]->corner = Vec2(4, 0);
    m.efficiencyAt(0.0);
    EXPECT_NEAR(m.area, 1.0, kEps);
    m.computeArea();
    EXPECT_NEAR(m.area, 2.0, kEps);
}

TEST(LayoutMeasures, UnplacedLayoutHasNoEfficiency) {
    Polyhedron m;
    readAndMeasure(m, testsupport::tetrahedronObj());
    double e = m.efficiencyAt(0.3);
    EXPECT_EQ(e, 0.0);
}

TEST(DegenerateFaces, CoincidentCorners) {
    // A quad whose second and third corners coincide, and the same quad
    // starting at the repeated corner so that the normal's corner is degenerate.
    // A step to a coincident corner turns by nothing, so the quad measures as
    // its triangle with a zero corner at the first of the pair.
    const std::vector<Vec3> p = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const double angles[4] = {kPi / 2, 0, kPi / 4, kPi / 4};
    for (const std::vector<int>& face :
         std::vector<std::vector<int>>{{0, 1, 2, 3}, {2, 3, 0, 1}, {1, 2, 3, 0}}) {
        Polyhedron m;
        readModel(m, p, {face});
        m.triangulateFaces();
        testsupport::captureStdout([&] {
            m.updateGeometry();
            m.computeOffsets();
        });
        auto finite = [](double x) { return std::isfinite(x); };
        for (const HalfEdge& h : m.halfEdges) {
            EXPECT_TRUE(finite(h.cornerAngle) && finite(h.cornerCos) && finite(h.cornerSin));
            EXPECT_TRUE(finite(h.dihedralSin) && finite(h.length) && finite(h.tuckAngle));
        }
        for (const Vertex& v : m.vertices) {
            EXPECT_TRUE(finite(v.bendDefect));
            EXPECT_TRUE(finite(v.offset.x) && finite(v.offset.y) && finite(v.offset.z));
        }
        Face& f = m.faces.front();
        for (HalfEdge* h : cycle(f)) {
            int corner = 0;
            for (const Vertex& v : m.vertices) {
                if (&v == h->vert) break;
                ++corner;
            }
            EXPECT_NEAR(h->cornerAngle, angles[corner], kEps) << "corner " << corner;
            EXPECT_NEAR(h->cornerCos, std::cos(angles[corner]), kEps) << "corner " << corner;
        }
        EXPECT_TRUE(finite(f.normal.x) && finite(f.normal.y) && finite(f.normal.z));
        f.edge->layoutFace(Vec2(1, 0));
        for (HalfEdge* h : cycle(f)) {
            EXPECT_TRUE(finite(h->corner.x) && finite(h->corner.y));
            EXPECT_TRUE(finite(h->direction.x) && finite(h->direction.y));
        }
        EXPECT_TRUE(finite(m.efficiencyAt(0.2)));
    }
}
