#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/pipeline.h"
#include "support/test_support.h"

using testsupport::captureStdout;

// The two layout traversals against the relaxing depth-first recursion
// that they replace, which lays a face out again whenever a strictly shorter
// path reaches it: the results must agree bit for bit.

namespace {

void referenceOrient(const LayoutSolver& s, HalfEdge* h, int depth, Vec2 v) {
    if (v.x == 0.0 && v.y == 0.0) v = Vec2(1.0, 0.0);
    h->layoutFace(v);
    h->face->depth = depth;
    Vec2 cur = v;
    HalfEdge* p = h;
    do {
        HalfEdge* q = p->pair;
        Vec2 w = -cur;
        w.rotate(-signedValue(s, s.edgeAngles, p));
        if (q->face) {
            if (q->face->depth < 0 || q->face->depth > depth + 1) referenceOrient(s, q, depth + 1, w);
        } else {
            q->direction = w;
        }
        cur.rotateBy(Vec2(-p->cornerCos, p->cornerSin));
        p = p->next;
    } while (p != h);
}

void referenceLayout(const LayoutSolver& s, HalfEdge* h, Vec2 pos, int depth) {
    h->face->depth = depth;
    h->face->translation = pos;
    HalfEdge* n = h;
    do {
        Face* g = n->pair->face;
        if (!n->onCut && !n->pair->onCut && g && (g->depth < 0 || g->depth > depth + 1)) {
            Vec2 u = s.bisectorDirection(n);
            Vec2 across(u.y, -u.x);
            double w = edgeValue(s.tuckWidths, n);
            Vec2 meet = signedValue(s, s.edgeAngles, n) > 0 ? n->prev->corner - n->pair->corner
                                                            : n->corner - n->pair->prev->corner;
            referenceLayout(s, n->pair, pos + meet + w * across, depth + 1);
        }
        n = n->next;
    } while (n != h);
}

// Everything the traversals write.
struct Snapshot {
    std::vector<Vec2> corners, directions, translations;
    std::vector<int> depths;

    explicit Snapshot(const Polyhedron& m) {
        for (const HalfEdge& h : m.halfEdges) {
            corners.push_back(h.corner);
            directions.push_back(h.direction);
        }
        for (const Face& f : m.faces) {
            translations.push_back(f.translation);
            depths.push_back(f.depth);
        }
    }
    void restore(Polyhedron& m) const {
        size_t i = 0;
        for (HalfEdge& h : m.halfEdges) {
            h.corner = corners[i];
            h.direction = directions[i++];
        }
        i = 0;
        for (Face& f : m.faces) {
            f.translation = translations[i];
            f.depth = depths[i++];
        }
    }
};

bool same(Vec2 a, Vec2 b) { return a.x == b.x && a.y == b.y; }

::testing::AssertionResult identical(const Snapshot& a, const Snapshot& b) {
    for (size_t i = 0; i < a.corners.size(); ++i)
        if (!same(a.corners[i], b.corners[i]) || !same(a.directions[i], b.directions[i]))
            return ::testing::AssertionFailure() << "half-edge " << i;
    for (size_t i = 0; i < a.depths.size(); ++i)
        if (!same(a.translations[i], b.translations[i]) || a.depths[i] != b.depths[i])
            return ::testing::AssertionFailure()
                   << "face " << i << ": depth " << a.depths[i] << " against " << b.depths[i];
    return ::testing::AssertionSuccess();
}

// Depths left over from an earlier walk, some of them below what the walk
// would give: such faces stay as they are and stop the walk.
void leaveDepths(Polyhedron& m) {
    int i = 0;
    for (Face& f : m.faces) f.depth = (i++ * 7) % 11 - 3;
}

Face& middleFace(Polyhedron& m) { return *std::next(m.faces.begin(), m.faces.size() / 2); }

struct ModelCase {
    const char* name;
    std::string obj;
    bool split;  // edges split into two-sided faces after the first Develop
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

class FaceTraversals : public ::testing::TestWithParam<ModelCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(testsupport::loadObjText(model, GetParam().obj), 0);
        captureStdout([&] {
            ASSERT_TRUE(developFirst(model, backup));
            if (!GetParam().split) return;
            int widened = 0;
            for (HalfEdge& h : model.halfEdges)
                if (!h.onCut && h.face && h.pair->face && h.index % 5 == 0 && widened++ < 6)
                    model.solver.tuckWidths[h.edgeIndex] = 1e6;
            model.splitWideTucks();
        });
        ASSERT_TRUE(model.solver.widthsReady);
    }

    // Runs `walk` and `reference` from the same start, each from a few faces
    // and over fresh or left depths, and compares what they wrote.
    void expectSameAsReference(const std::function<void(HalfEdge*, int)>& walk,
                               const std::function<void(HalfEdge*, int)>& reference) {
        struct Run {
            const char* name;
            bool leftDepths;
            HalfEdge* from;
            int depth;
        };
        const Snapshot start(model);
        HalfEdge* h0 = model.faces.front().edge;
        for (const Run& r : {Run{"from the first face", false, h0, 0},
                             Run{"from a middle face", false, middleFace(model).edge->next, 0},
                             Run{"over left depths", true, h0, 2}}) {
            SCOPED_TRACE(r.name);
            Snapshot results[2] = {start, start};
            for (int k = 0; k < 2; ++k) {
                start.restore(model);
                if (r.leftDepths)
                    leaveDepths(model);
                else
                    model.resetFaceDepths();
                (k == 0 ? walk : reference)(r.from, r.depth);
                results[k] = Snapshot(model);
            }
            EXPECT_TRUE(identical(results[0], results[1]));
        }
    }

    Polyhedron model, backup;
};

}  // namespace

TEST_P(FaceTraversals, OrientationMatchesTheRelaxingRecursion) {
    LayoutSolver& s = model.solver;
    auto start = [](HalfEdge* h) { return h->corner - h->prev->corner; };
    expectSameAsReference([&](HalfEdge* h, int depth) { s.orientFacesFrom(h, depth, start(h)); },
                          [&](HalfEdge* h, int depth) { referenceOrient(s, h, depth, start(h)); });
}

TEST_P(FaceTraversals, LayoutMatchesTheRelaxingRecursion) {
    LayoutSolver& s = model.solver;
    const Vec2 pos(0.25, -0.5);
    expectSameAsReference([&](HalfEdge* h, int depth) { s.layoutFacesFrom(h, pos, depth); },
                          [&](HalfEdge* h, int depth) { referenceLayout(s, h, pos, depth); });
}

INSTANTIATE_TEST_SUITE_P(Models, FaceTraversals,
                         ::testing::Values(ModelCase{"tetrahedron", testsupport::tetrahedronObj(), false},
                                           ModelCase{"cube", testsupport::cubeObj(), false},
                                           ModelCase{"grid", testsupport::openGridObj(5), false},
                                           ModelCase{"sphere2", testsupport::sphereObj(2), false},
                                           ModelCase{"sphere3", testsupport::sphereObj(3), false},
                                           ModelCase{"splitSphere", testsupport::sphereObj(2), true},
                                           ModelCase{"splitGrid", testsupport::openGridObj(4), true}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });
