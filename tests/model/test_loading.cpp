#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

namespace {

using testsupport::captureStdout;

struct Loaded {
    int result;
    std::string out;
};

Loaded loadText(Polyhedron& m, const std::string& text) {
    std::string path = testsupport::writeTempFile("loading.obj", text);
    Loaded l{0, ""};
    l.out = captureStdout([&] { l.result = m.load(path.c_str()); });
    return l;
}

// The echo the reader gives for a file of whole lines.
std::string echoOf(const std::string& text) {
    std::string echo;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        echo += "\t" + text.substr(start, end - start + 1);
        start = end + 1;
    }
    return echo;
}

// Shortest edge-length distances to the cut's vertices, found afresh.
std::map<const Vertex*, double> distancesToCut(Polyhedron& m) {
    std::map<const Vertex*, double> d;
    typedef std::pair<double, const Vertex*> Item;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> open;
    for (const Vertex& v : m.vertices) {
        d[&v] = INFINITY;
        if (v.onCut) {
            d[&v] = 0.0;
            open.push(Item(0.0, &v));
        }
    }
    while (!open.empty()) {
        Item top = open.top();
        open.pop();
        if (top.first > d[top.second]) continue;
        for (const HalfEdge* h : top.second->edge) {
            double via = top.first + h->length;
            if (via < d[h->vert]) {
                d[h->vert] = via;
                open.push(Item(via, h->vert));
            }
        }
    }
    return d;
}

TEST(Loading, TetrahedronIsReadyForEditing) {
    Polyhedron m;
    Loaded l = loadText(m, testsupport::tetrahedronObj());
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(m.perimeter.size(), 6u);
    EXPECT_EQ(m.numVertices, 4);
    EXPECT_EQ(m.numEdges, 6);
    EXPECT_EQ(m.numFaces, 4);
    int i = 0;
    for (const Vertex& v : m.vertices) {
        EXPECT_EQ(v.index, i++);
        double offset =
            std::sqrt(v.offset.x * v.offset.x + v.offset.y * v.offset.y + v.offset.z * v.offset.z);
        EXPECT_GT(offset, 0.0);
        EXPECT_TRUE(std::isfinite(offset));
        // The cut tree of a tetrahedron reaches every vertex.
        EXPECT_TRUE(v.onCut);
        EXPECT_EQ(v.cutDistance, 0.0);
    }
    for (const HalfEdge& h : m.halfEdges) EXPECT_NEAR(h.length, std::sqrt(8.0), 1e-12);
}

// The distances are those along the real edge lengths, which the first pass
// during the flood could not see yet.
TEST(Loading, CutDistancesFollowEdgeLengths) {
    Polyhedron m;
    ASSERT_EQ(loadText(m, testsupport::sphereObj(1)).result, 0);
    std::map<const Vertex*, double> expected = distancesToCut(m);
    double farthest = 0.0;
    for (const Vertex& v : m.vertices) {
        EXPECT_NEAR(v.cutDistance, expected[&v], 1e-12);
        farthest = std::max(farthest, v.cutDistance);
    }
    EXPECT_GT(farthest, 0.5);
}

// Echo, then the perimeter length of the flood, then the offsets' progress.
TEST(Loading, ConsoleShowsTheStepsInOrder) {
    Polyhedron m;
    Loaded l = loadText(m, testsupport::tetrahedronObj());
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.out, echoOf(testsupport::tetrahedronObj()) + "6elem\n_....");
}

TEST(Loading, UnusedVertexNeverReachesTheLaterSteps) {
    Polyhedron m;
    // The tetrahedron behind a vertex that no face names.
    Loaded l = loadText(m,
                        "v 5 5 5\nv 1 1 1\nv 1 -1 -1\nv -1 1 -1\nv -1 -1 1\n"
                        "f 2 3 4\nf 3 5 4\nf 2 4 5\nf 2 5 3\n");
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.out.find("i->edge.empty"), std::string::npos);
    size_t note = l.out.find("dropped 1 vertex that no face uses\n");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LT(note, l.out.find("6elem\n"));
    EXPECT_EQ(m.numVertices, 4);
    EXPECT_EQ(m.vertices.size(), 4u);
    EXPECT_EQ(captureStdout([&] { m.checkTopology(); }), "");
}

// A real-sized closed model loads whole and checks clean.
TEST(Loading, SphereOfFiveThousandFacesLoads) {
    Polyhedron m;
    Loaded l = loadText(m, testsupport::sphereObj(4));
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(m.numFaces, 5120);
    EXPECT_EQ(m.numVertices, 2562);
    EXPECT_EQ(m.numEdges, 7680);
    EXPECT_EQ(m.halfEdges.size(), 15360u);
    EXPECT_EQ(captureStdout([&] { m.checkTopology(); }), "");
    EXPECT_EQ(l.out.find("i->"), std::string::npos);
    EXPECT_EQ(l.out.find("error"), std::string::npos);
}

// Shapes that are sound surfaces but poor geometry still load to the end.
TEST(Loading, DegenerateGeometryStillLoads) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"coincident corners", "v 0 0 0\nv 0 0 0\nv 0 0 0\nf 1 2 3\n"},
        {"collinear corners", "v 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\n"},
        {"two faces back to back", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 3 2\n"},
        {"large coordinates", "v 0 0 0\nv 1e38 0 0\nv 0 1e38 0\nf 1 2 3\n"},
        {"non-planar quad", "v 0 0 0\nv 1 0 0\nv 1 1 1\nv 0 1 0\nf 1 2 3 4\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Polyhedron m;
        ASSERT_EQ(loadText(m, c.second).result, 0);
        EXPECT_EQ(m.numFaces, (int)m.faces.size());
        for (const HalfEdge& h : m.halfEdges) EXPECT_GE(h.edgeIndex, 0);
    }
}

}  // namespace

// Each broken link of a loaded model is named by the check, and the check
// itself reads no link it has found missing.
TEST(Loading, TopologyCheckNamesEachBrokenLink) {
    struct Case {
        const char* line;
        std::function<void(Polyhedron&)> breakIt;
    };
    auto interior = [](Polyhedron& m) -> HalfEdge& {
        for (HalfEdge& h : m.halfEdges)
            if (!h.onCut) return h;
        return m.halfEdges.front();
    };
    const std::vector<Case> cases = {
        {"i->edge == NULL\n", [](Polyhedron& m) { m.faces.front().edge = nullptr; }},
        {"i->pair == NULL\n", [&](Polyhedron& m) { interior(m).pair = nullptr; }},
        {"i->prev == NULL\n", [](Polyhedron& m) { m.perimeter.back()->prev = nullptr; }},
        {"i->next == NULL\n", [&](Polyhedron& m) { interior(m).next = nullptr; }},
        {"i->vert == NULL\n", [](Polyhedron& m) { m.perimeter.front()->vert = nullptr; }},
        {"i->face == NULL\n", [&](Polyhedron& m) { interior(m).face = nullptr; }},
        {"i->edge.empty\n", [](Polyhedron& m) { m.vertices.front().edge.clear(); }},
        {"error: perimeter not connected\n",
         [](Polyhedron& m) { std::swap(m.perimeter.front(), m.perimeter.back()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Polyhedron m;
        ASSERT_EQ(loadText(m, testsupport::tetrahedronObj()).result, 0);
        ASSERT_EQ(m.perimeter.size(), 6u);
        c.breakIt(m);
        std::string out = captureStdout([&] { m.checkTopology(); });
        EXPECT_NE(out.find(c.line), std::string::npos) << out;
    }
}
