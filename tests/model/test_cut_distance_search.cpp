#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

// The distances to the cut against the search that keeps its open set as a
// plain list and scans it for the first smallest distance: equal distances
// are common on regular meshes, and which path wins decides towardCut.
// Distances are compared in grains of a billionth of the longest edge, so
// that lengths apart by rounding alone count as equal.

namespace {

double grainOf(const Polyhedron& m) {
    double longest = 0.0;
    for (const HalfEdge& h : m.halfEdges) longest = std::max(longest, h.length);
    return 1e-9 * longest;
}

void referenceDistances(Polyhedron& m) {
    const double grain = grainOf(m);
    auto shorter = [&](double a, double b) { return std::floor(a / grain) < std::floor(b / grain); };
    Vertex* seed = nullptr;
    for (Vertex& v : m.vertices) {
        v.cutDistance = std::numeric_limits<double>::infinity();
        v.towardCut = nullptr;
        if (v.onCut) seed = &v;
    }
    if (!seed) return;
    seed->cutDistance = 0.0;
    std::list<Vertex*> open;
    for (Vertex* r = seed; r;) {
        open.remove(r);
        HalfEdge* first = r->edge[0];
        HalfEdge* s = first;
        do {
            double w = s->onCut ? 0.0 : s->length;
            if (shorter(r->cutDistance + w, s->vert->cutDistance)) {
                s->vert->cutDistance = r->cutDistance + w;
                s->vert->towardCut = s->pair;
                open.push_back(s->vert);
            }
            s = s->prev->pair;
        } while (s != first);
        r = nullptr;
        for (Vertex* v : open)
            if (!r || shorter(v->cutDistance, r->cutDistance)) r = v;
    }
}

// A flat grid of unit squares: many paths to the cut of the same length.
std::string squareGridObj(int n) {
    std::ostringstream out;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) out << "v " << i << " " << j << " 0\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            int a = j * (n + 1) + i + 1;
            out << "f " << a << " " << a + 1 << " " << a + n + 2 << " " << a + n + 1 << "\n";
        }
    return out.str();
}

struct Result {
    std::vector<double> distances;
    std::vector<const HalfEdge*> toward;
    explicit Result(const Polyhedron& m) {
        for (const Vertex& v : m.vertices) {
            distances.push_back(v.cutDistance);
            toward.push_back(v.towardCut);
        }
    }
};

void expectSameAsReference(Polyhedron& m) {
    m.computeCutDistances();
    const Result searched(m);
    EXPECT_TRUE(m.openSet.empty());
    referenceDistances(m);
    const Result reference(m);
    for (size_t i = 0; i < reference.distances.size(); ++i) {
        EXPECT_EQ(searched.distances[i], reference.distances[i]) << "vertex " << i;
        EXPECT_EQ(searched.toward[i], reference.toward[i]) << "vertex " << i;
    }
}

struct ModelCase {
    const char* name;
    std::string obj;
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

class CutDistanceSearch : public ::testing::TestWithParam<ModelCase> {};

}  // namespace

TEST_P(CutDistanceSearch, ChoosesAsThePlainListDoes) {
    Polyhedron m;
    ASSERT_EQ(testsupport::loadObjText(m, GetParam().obj), 0);
    expectSameAsReference(m);

    // A longer cut: more vertices at distance zero, reached in another order.
    HalfEdge* away = nullptr;
    for (HalfEdge& h : m.halfEdges)
        if (h.face && !h.onCut && !h.vert->onCut && !h.pair->vert->onCut) away = &h;
    if (!away) return;
    testsupport::captureStdout([&] { m.addCutPath(away); });
    expectSameAsReference(m);
}

INSTANTIATE_TEST_SUITE_P(Models, CutDistanceSearch,
                         ::testing::Values(ModelCase{"tetrahedron", testsupport::tetrahedronObj()},
                                           ModelCase{"cube", testsupport::cubeObj()},
                                           ModelCase{"bumpyGrid", testsupport::openGridObj(6)},
                                           ModelCase{"squareGrid", squareGridObj(9)},
                                           ModelCase{"sphere", testsupport::sphereObj(3)}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

// Equally short paths of a symmetric model are told apart by rounding alone,
// which scaling changes: the model in other units must still be cut along
// the same edges, or its whole design differs.
TEST(CutDistanceSearch, ScaledCopiesAreCutAlongTheSameEdges) {
    const ModelCase models[] = {{"sphere", testsupport::sphereObj(2)},
                                {"torus", testsupport::torusObj(12, 6, 2.0, 0.7)}};
    for (const ModelCase& c : models) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<int>> walks, toward;
        for (double factor : {1.0, 0.001, 1000.0}) {
            Polyhedron m;
            ASSERT_EQ(testsupport::loadObjText(m, testsupport::scaledObj(c.obj, factor)), 0);
            std::vector<int> walk, steps;
            for (const HalfEdge* h : m.perimeter) walk.push_back(h->vert->index);
            for (const Vertex& v : m.vertices) steps.push_back(v.towardCut ? v.towardCut->vert->index : -1);
            walks.push_back(walk);
            toward.push_back(steps);
        }
        for (size_t i = 1; i < walks.size(); ++i) {
            EXPECT_EQ(walks[i], walks[0]) << "the first cut differs at scale " << (i == 1 ? 0.001 : 1000.0);
            EXPECT_EQ(toward[i], toward[0]) << "the paths to the cut differ at scale " << (i == 1 ? 0.001 : 1000.0);
        }
    }
}
