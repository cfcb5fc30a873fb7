#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

using testsupport::captureStdout;

namespace {

// --- helpers ---

int number(const Vertex* v) { return v->index + 1; }

// The walk as "tail>head" pairs of 1-based vertex numbers in file order.
std::string walkText(const Polyhedron& m) {
    std::ostringstream out;
    for (const HalfEdge* h : m.perimeter) out << number(h->prev->vert) << ">" << number(h->vert) << " ";
    return out.str();
}

std::vector<bool> cutFlags(const Polyhedron& m) {
    std::vector<bool> flags;
    for (const HalfEdge& h : m.halfEdges) flags.push_back(h.onCut);
    for (const Vertex& v : m.vertices) flags.push_back(v.onCut);
    return flags;
}

Face* faceAt(Polyhedron& m, int i) {
    auto it = m.faces.begin();
    std::advance(it, i);
    return &*it;
}

HalfEdge* halfEdgeBetween(Polyhedron& m, int tail, int head) {
    for (HalfEdge& h : m.halfEdges)
        if (number(h.pair->vert) == tail && number(h.vert) == head) return &h;
    return nullptr;
}

double euclidean(const HalfEdge& h) {
    Vec3 d = h.vert->pos - h.pair->vert->pos;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

// Edge lengths independent of the geometry code: true lengths, or all 1 so
// that distances count edges.
void measureEdges(Polyhedron& m, bool unitLengths = false) {
    for (HalfEdge& h : m.halfEdges) h.length = unitLengths ? 1.0 : euclidean(h);
    m.computeCutDistances();
}

int boundaryLoopsOnCut(Polyhedron& m) {
    std::set<const HalfEdge*> seen;
    int loops = 0;
    for (HalfEdge& h : m.halfEdges) {
        if (h.face || !h.onCut || seen.count(&h)) continue;
        ++loops;
        const HalfEdge* x = &h;
        do {
            seen.insert(x);
            x = x->next;
        } while (x != &h);
    }
    return loops;
}

// Everything the cut edits promise about the walk and the marks derived from it.
void expectSoundWalk(Polyhedron& m, int handles = 0) {
    ASSERT_FALSE(m.perimeter.empty());
    std::map<const HalfEdge*, int> held;
    for (auto it = m.perimeter.begin(); it != m.perimeter.end(); ++it) {
        auto nx = std::next(it) == m.perimeter.end() ? m.perimeter.begin() : std::next(it);
        HalfEdge* r = *it;
        HalfEdge* s = *nx;
        ++held[r];
        ASSERT_NE(r->face, nullptr) << "a face-less entry";
        ASSERT_EQ(r->vert, s->prev->vert) << "the walk does not join up";
        HalfEdge* x = r->next;
        for (size_t k = 0; !x->onCut && k < r->vert->edge.size(); ++k) x = x->pair->next;
        ASSERT_EQ(x, s) << "the walk does not turn at the first cut edge";
    }
    std::set<const Vertex*> cutVertices;
    int cutEdges = 0;
    for (const HalfEdge* r : m.perimeter) cutVertices.insert(r->vert);
    for (HalfEdge& h : m.halfEdges) {
        bool inWalk = held.count(&h) || held.count(h.pair);
        EXPECT_EQ(h.onCut, inWalk);
        if (h.face && inWalk) {
            EXPECT_EQ(held[&h], 1) << "a cut edge not held once per side, or a boundary edge not once";
        }
        if (h.onCut && &h < h.pair) ++cutEdges;
    }
    for (Vertex& v : m.vertices) EXPECT_EQ(v.onCut, cutVertices.count(&v) == 1);
    // The cut is a tree hung on the boundary: its only loops are boundary
    // loops, and two around each handle.
    EXPECT_EQ(cutEdges - (int)cutVertices.size() + 1, boundaryLoopsOnCut(m) + 2 * handles);
    EXPECT_EQ(captureStdout([&] { m.checkTopology(); }), "");
}

void loadMeasured(Polyhedron& m, const std::string& obj, bool unitLengths = false) {
    ASSERT_EQ(testsupport::loadObjText(m, obj), 0);
    measureEdges(m, unitLengths);
}

// A leaf of the cut (at v, if given): an entry followed by its own pair.
Polyhedron::PerimeterPos findLeafEntry(Polyhedron& m, const Vertex* v = nullptr) {
    for (auto it = m.perimeter.begin(); it != m.perimeter.end(); ++it) {
        auto nx = std::next(it) == m.perimeter.end() ? m.perimeter.begin() : std::next(it);
        if (*nx == (*it)->pair && (!v || (*it)->vert == v)) return it;
    }
    return m.perimeter.end();
}

bool isLeaf(Polyhedron& m, const Vertex* v) { return findLeafEntry(m, v) != m.perimeter.end(); }

// An uncut half-edge from v to a vertex off the cut, or none.
HalfEdge* edgeLeavingCut(Vertex* v) {
    for (HalfEdge* s : v->edge)
        if (s->face && s->pair->face && !s->onCut && !s->vert->onCut) return s;
    return nullptr;
}

// Two tetrahedra in one model, the second one untouched by the first one's cut.
// The reader refuses such files, so the second model's records are spliced in
// (list splicing keeps their addresses and links).
void loadTwoTetrahedra(Polyhedron& m) {
    loadMeasured(m, testsupport::tetrahedronObj());
    Polyhedron other;
    loadMeasured(other, testsupport::tetrahedronObj());
    other.clearCutFlags();
    m.vertices.splice(m.vertices.end(), other.vertices);
    m.halfEdges.splice(m.halfEdges.end(), other.halfEdges);
    m.faces.splice(m.faces.end(), other.faces);
    m.numberElements();
    captureStdout([&] { m.markCut(); });
}

// Vertex lines of the icosahedron with other face lines.
std::string icosahedronWithFaces(const std::string& faceLines) {
    std::istringstream in(testsupport::sphereObj(0));
    std::string line, text;
    while (std::getline(in, line))
        if (line.rfind("v ", 0) == 0) text += line + "\n";
    return text + faceLines;
}

// A torus of quads: `around` rings of `tube` quads each.
std::string torusObj(int around, int tube) {
    const double pi = 3.141592653589793;
    std::ostringstream out;
    out.precision(17);
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < tube; ++j) {
            double u = 2 * pi * i / around, w = 2 * pi * j / tube, r = 2 + 0.7 * std::cos(w);
            out << "v " << r * std::cos(u) << " " << r * std::sin(u) << " " << 0.7 * std::sin(w) << "\n";
        }
    auto at = [&](int i, int j) { return (i % around) * tube + j % tube + 1; };
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < tube; ++j)
            out << "f " << at(i, j) << " " << at(i + 1, j) << " " << at(i + 1, j + 1) << " " << at(i, j + 1) << "\n";
    return out.str();
}

// A box of quads, 1 by 1 by 4: the vertex farthest from its flooded cut is
// not the first one off it in list order, and its distance counts only with
// the true edge lengths.
const char* kLongBox =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 4\nv 1 0 4\nv 1 1 4\nv 0 1 4\n"
    "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n";

// Surfaces whose boundary is at most as long as the shortest walk of a
// closed surface: a square pyramid without its base, a tetrahedron without
// one face.
struct ShortBoundary {
    const char* name;
    const char* obj;
    int boundaryEdges;
};
const ShortBoundary kShortBoundaries[] = {
    {"pyramid without its base", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nv 0 0 1\nf 1 2 5\nf 2 3 5\nf 3 4 5\nf 4 1 5\n", 4},
    {"tetrahedron without a face", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\n", 3},
};

bool walkIsTheBoundary(const Polyhedron& m) {
    for (const HalfEdge* h : m.perimeter)
        if (h->pair->face) return false;
    return true;
}

}  // namespace

// --- flooding ---

TEST(FloodFromFace, TetrahedronFromAnyFaceCutsTheThreeEdgesAtTheOppositeVertex) {
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE(start);
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, testsupport::tetrahedronObj()), 0);
        Face* f = faceAt(m, start);
        EXPECT_EQ(captureStdout([&] { m.floodFromFace(f); }), "6elem\n");
        ASSERT_EQ(m.perimeter.size(), 6u);
        std::set<const Vertex*> onFace;
        HalfEdge* q = f->edge;
        do {
            onFace.insert(q->vert);
            q = q->next;
        } while (q != f->edge);
        for (const HalfEdge* h : m.perimeter) {
            bool fromApex = !onFace.count(h->prev->vert), toApex = !onFace.count(h->vert);
            EXPECT_NE(fromApex, toApex) << "every cut edge ends at the vertex opposite the start face";
        }
        expectSoundWalk(m);
        for (const Face& g : m.faces) EXPECT_FALSE(g.flooded);
    }
}

// A closed surface pruned to three edges gets one more path: the shortest
// one from the vertex farthest from that cut, as a Cut tool click on its first
// edge adds it. On the box that is 3 > 4 > 1 (distance 2; every other vertex
// is 1 away); on the cube every vertex off the cut is 1 away and the first of
// them in list order, 2, is taken. Loading measures the edges for it before its
// geometry pass does; the Flood tool's flood follows the same rule.
TEST(FloodFromFace, ClosedSurfaceWithAShortCutGetsThePathFromTheFarthestVertex) {
    struct Case {
        const char* name;
        std::string obj;
        const char* walk;
    } cases[] = {
        {"long box", kLongBox, "1>4 4>3 3>4 4>1 1>5 5>8 8>7 7>8 8>5 5>1 "},
        {"cube, equal distances", testsupport::cubeObj(), "1>2 2>1 1>5 5>8 8>7 7>8 8>5 5>1 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        std::string path = testsupport::writeTempFile("closed.obj", c.obj);
        std::string console = captureStdout([&] { ASSERT_EQ(m.load(path.c_str()), 0); });
        std::string lines = "6elem\n" + std::to_string(m.perimeter.size()) + "elem\n";
        EXPECT_NE(console.find(lines), std::string::npos) << console;
        EXPECT_EQ(walkText(m), c.walk);
        expectSoundWalk(m);

        EXPECT_EQ(captureStdout([&] { m.floodFromFace(faceAt(m, 0)); }), lines);
        EXPECT_EQ(walkText(m), c.walk);
    }
}

// Cuts that already reach every vertex, or are longer than the shortest
// walk, or hang on a boundary, get nothing added.
TEST(FloodFromFace, OtherSurfacesKeepTheirFloodedCut) {
    struct Case {
        const char* name;
        std::string obj;
        const char* console;
        int handles;
    } cases[] = {
        {"tetrahedron", testsupport::tetrahedronObj(), "6elem\n", 0},
        {"torus", torusObj(8, 4), "26elem\n", 1},
        {"open grid", testsupport::openGridObj(4), "16elem\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, c.obj), 0);
        for (int start : {0, 3}) {
            EXPECT_EQ(captureStdout([&] { m.floodFromFace(faceAt(m, start)); }), c.console);
            expectSoundWalk(m, c.handles);
        }
    }
}

TEST(FloodFromFace, OnAShortBoundaryPrunesDownToTheBoundary) {
    for (const ShortBoundary& c : kShortBoundaries) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, c.obj), 0);
        for (int start = 0; start < (int)m.faces.size(); ++start) {
            EXPECT_EQ(captureStdout([&] { m.floodFromFace(faceAt(m, start)); }),
                      std::to_string(c.boundaryEdges) + "elem\n");
            EXPECT_TRUE(walkIsTheBoundary(m)) << walkText(m);
            expectSoundWalk(m);
        }
    }
}

TEST(FloodFromFace, NoFaceChangesNothing) {
    Polyhedron m;
    ASSERT_EQ(testsupport::loadObjText(m, testsupport::tetrahedronObj()), 0);
    std::string before = walkText(m);
    std::vector<bool> flags = cutFlags(m);
    EXPECT_EQ(captureStdout([&] { m.floodFromFace(nullptr); }), "");
    EXPECT_EQ(walkText(m), before);
    EXPECT_EQ(cutFlags(m), flags);
}

// Here a pruning pass removes a spike at the first entry, goes on backward
// across the end of the list with a second spike, and ends at the next
// comparison; the final pass again removes only the spike at the front. The
// spikes further down stay, so the walk keeps 10 entries where pruning to the
// end would leave 6.
TEST(FloodFromFace, PruningAcrossTheStartOfTheListEndsAtTheFirstMiss) {
    Polyhedron m;
    ASSERT_EQ(testsupport::loadObjText(
                  m, icosahedronWithFaces("f 2 1 6\nf 10 9 1\nf 10 5 9\nf 7 5 11\nf 8 9 11\n"
                                          "f 8 1 9\nf 12 10 6\nf 2 6 10\nf 5 4 9\nf 5 3 11\n"
                                          "f 11 3 1\nf 1 3 5\nf 12 6 1\nf 11 9 4\nf 11 1 8\n"
                                          "f 12 5 10\nf 4 7 11\nf 4 5 7\nf 5 12 1\nf 1 2 10\n")),
              0);
    EXPECT_EQ(captureStdout([&] { m.floodFromFace(faceAt(m, 15)); }), "10elem\n");
    EXPECT_EQ(walkText(m), "11>9 9>11 11>7 7>4 4>7 7>11 11>5 5>11 11>3 3>11 ");
    expectSoundWalk(m);
}

TEST(FloodFromFace, OpenSurfaceKeepsEachBoundaryEdgeOnceAndNeverCrossesIt) {
    Polyhedron m;
    ASSERT_EQ(testsupport::loadObjText(m, testsupport::openGridObj(4)), 0);
    for (int start : {0, 13, 31}) {
        SCOPED_TRACE(start);
        captureStdout([&] { m.floodFromFace(faceAt(m, start)); });
        std::map<const HalfEdge*, int> held;
        for (const HalfEdge* h : m.perimeter) ++held[h];
        for (HalfEdge& h : m.halfEdges) {
            if (h.face && !h.pair->face) {
                EXPECT_EQ(held[&h], 1);
                EXPECT_TRUE(h.pair->onCut);
            }
            if (!h.face) {
                EXPECT_EQ(held.count(&h), 0u);
            }
        }
        expectSoundWalk(m);
    }
}

// --- distances ---

TEST(CutDistances, AreShortestEdgeLengthPathsWithTowardCutLeadingThere) {
    for (const std::string& obj : {testsupport::openGridObj(5), testsupport::sphereObj(1)}) {
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, obj));
        EXPECT_TRUE(m.openSet.empty());

        // Relax every edge until nothing changes: the distances to compare with.
        std::map<const Vertex*, double> expected;
        for (Vertex& v : m.vertices) expected[&v] = v.onCut ? 0.0 : INFINITY;
        for (bool changed = true; changed;) {
            changed = false;
            for (HalfEdge& h : m.halfEdges) {
                double w = h.onCut ? 0.0 : h.length;
                double& tail = expected[h.pair->vert];
                if (expected[h.vert] + w < tail - 1e-15) {
                    tail = expected[h.vert] + w;
                    changed = true;
                }
            }
        }

        int withoutLink = 0;
        for (Vertex& v : m.vertices) {
            EXPECT_NEAR(v.cutDistance, expected[&v], 1e-12);
            if (!v.towardCut) {
                ++withoutLink;
                EXPECT_TRUE(v.onCut) << "only the search's start has no first step";
                continue;
            }
            HalfEdge* t = v.towardCut;
            EXPECT_EQ(t->pair->vert, &v);
            if (v.onCut) {
                EXPECT_TRUE(t->onCut);
            }
            double w = t->onCut ? 0.0 : t->length;
            EXPECT_NEAR(v.cutDistance, t->vert->cutDistance + w, 1e-12);
            const Vertex* w0 = &v;
            for (size_t k = 0; !w0->onCut && k < m.vertices.size(); ++k) w0 = w0->towardCut->vert;
            EXPECT_TRUE(w0->onCut);
        }
        EXPECT_EQ(withoutLink, 1);
    }
}

TEST(CutDistances, UnreachedPartsAndAMissingCutStayInfinite) {
    Polyhedron m;
    ASSERT_NO_FATAL_FAILURE(loadTwoTetrahedra(m));
    int n = 0;
    for (const Vertex& v : m.vertices) {
        if (n++ < 4) {
            EXPECT_TRUE(std::isfinite(v.cutDistance));
        } else {
            EXPECT_TRUE(std::isinf(v.cutDistance));
            EXPECT_EQ(v.towardCut, nullptr);
        }
    }

    m.perimeter.clear();
    m.clearCutFlags();
    m.computeCutDistances();
    for (const Vertex& v : m.vertices) {
        EXPECT_TRUE(std::isinf(v.cutDistance));
        EXPECT_EQ(v.towardCut, nullptr);
    }
}

// --- moving the cut across a face ---

TEST(MoveCutAcrossFace, RefusesFacesThatDoNotMeetTheCutAlongOneClearRun) {
    struct Case {
        const char* name;
        std::string obj;
        std::function<Face*(Polyhedron&)> pick;
    };
    auto faceWhere = [](int cutVertices, int cutEdges) {
        return [=](Polyhedron& m) -> Face* {
            for (Face& f : m.faces) {
                int nv = 0, ne = 0;
                HalfEdge* q = f.edge;
                do {
                    nv += q->vert->onCut;
                    ne += q->onCut;
                    q = q->next;
                } while (q != f.edge);
                if (nv == cutVertices && ne == cutEdges) return &f;
            }
            return nullptr;
        };
    };
    const Case cases[] = {
        {"every edge on the cut", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", faceWhere(3, 3)},
        {"no edge and no vertex on the cut", testsupport::sphereObj(1), faceWhere(0, 0)},
        {"touching the cut at a vertex only", testsupport::sphereObj(1), faceWhere(1, 0)},
        // One cut edge, and the cut again at the opposite corner: the move
        // would close a loop.
        {"the cut at a vertex beyond the run", testsupport::octahedronObj(), faceWhere(3, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, c.obj), 0);
        Face* f = c.pick(m);
        ASSERT_NE(f, nullptr);
        std::string before = walkText(m);
        std::vector<bool> flags = cutFlags(m);
        bool moved = true;
        EXPECT_EQ(captureStdout([&] { moved = m.moveCutAcrossFace(f); }), "");
        EXPECT_FALSE(moved);
        EXPECT_EQ(walkText(m), before);
        EXPECT_EQ(cutFlags(m), flags);
        for (const HalfEdge& h : m.halfEdges) EXPECT_FALSE(h.visited);
    }
}

// The triangle (rs, be, third) meets the cut along rs then be. The run leaves
// the cut and the third edge joins it; where a further cut branch leaves the
// vertex between rs and be, the walk past that branch keeps rs, and only be
// leaves.
TEST(MoveCutAcrossFace, TriangleWithTwoCutEdgesInARowTakesTheThirdInstead) {
    struct Case {
        const char* name;
        std::string obj;
        bool branchBetween;
    } cases[] = {
        {"nothing else at the inner vertex", testsupport::sphereObj(0), false},
        // The tetrahedron's star: the third cut edge leaves the inner vertex.
        {"a further branch at the inner vertex", testsupport::tetrahedronObj(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, c.obj));
        Face* f = nullptr;
        if (c.branchBetween) {
            for (Face& g : m.faces)
                if (!f && g.edge->onCut + g.edge->next->onCut + g.edge->prev->onCut == 2) f = &g;
        } else {
            // Lengthen an arm V > L of the cut, at its leaf L, by the edge L > X
            // of the arm's face (V, L, X).
            for (auto it = m.perimeter.begin(); it != m.perimeter.end(); ++it) {
                auto nx = std::next(it) == m.perimeter.end() ? m.perimeter.begin() : std::next(it);
                HalfEdge* arm = *it;
                if (*nx == arm->pair && !arm->next->vert->onCut) {
                    f = arm->face;
                    captureStdout([&] { m.addCutPath(arm->next); });
                    break;
                }
            }
        }
        ASSERT_NE(f, nullptr);
        HalfEdge* third = !f->edge->onCut ? f->edge : !f->edge->next->onCut ? f->edge->next : f->edge->prev;
        HalfEdge* rs = third->next;
        HalfEdge* be = third->prev;
        ASSERT_TRUE(rs->onCut && be->onCut);
        size_t size = m.perimeter.size() - (c.branchBetween ? 0 : 2);

        bool moved = false;
        EXPECT_EQ(captureStdout([&] { moved = m.moveCutAcrossFace(f); }), std::to_string(size) + "elem\n");
        EXPECT_TRUE(moved);
        EXPECT_EQ(rs->onCut, c.branchBetween);
        EXPECT_FALSE(be->onCut);
        EXPECT_TRUE(third->onCut);
        expectSoundWalk(m);
        for (const HalfEdge& h : m.halfEdges) EXPECT_FALSE(h.visited);
    }
}

TEST(MoveCutAcrossFace, AlongTheBoundaryKeepsTheBoundaryEdgeOnTheCut) {
    // A spike from the boundary moves to the face's other edge; the boundary
    // edge of the run stays held once, also where a further cut branch leaves
    // the boundary vertex at which the run turns inward.
    for (bool branch : {false, true}) {
        SCOPED_TRACE(branch ? "a further branch at the turn" : "the spike alone");
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::openGridObj(3)));
        // An inward edge of the boundary vertex that leaves no side of the
        // boundary edge's face and does not end where the spike ends.
        auto otherInward = [](HalfEdge* boundary) -> HalfEdge* {
            HalfEdge* spike = boundary->next;
            for (HalfEdge* s : boundary->vert->edge)
                if (s->face && s->pair->face && s->face != boundary->face && s->pair->face != boundary->face &&
                    !s->onCut && !s->vert->onCut && s->vert != spike->vert)
                    return s;
            return nullptr;
        };
        HalfEdge* boundary = nullptr;
        for (HalfEdge& h : m.halfEdges)
            if (h.face && !h.pair->face && !h.next->vert->onCut && (!branch || otherInward(&h))) boundary = &h;
        ASSERT_NE(boundary, nullptr);
        HalfEdge* spike = boundary->next;  // from the boundary into the surface
        HalfEdge* other = branch ? otherInward(boundary) : nullptr;
        captureStdout([&] { m.addCutPath(spike); });
        ASSERT_TRUE(spike->onCut);
        if (other) {
            captureStdout([&] { m.addCutPath(other); });
            ASSERT_TRUE(other->onCut);
        }
        size_t size = m.perimeter.size();

        bool moved = false;
        EXPECT_EQ(captureStdout([&] { moved = m.moveCutAcrossFace(boundary->face); }),
                  std::to_string(size) + "elem\n");
        EXPECT_TRUE(moved);
        EXPECT_FALSE(spike->onCut);
        EXPECT_TRUE(spike->next->onCut);
        EXPECT_TRUE(boundary->onCut);
        if (other) {
            EXPECT_TRUE(other->onCut);
        }
        expectSoundWalk(m);
    }
}

// --- deleting a branch ---

TEST(DeleteCutBranch, RefusesShortWalksAndEdgesNotHeldOnBothSides) {
    Polyhedron tetra;
    ASSERT_EQ(testsupport::loadObjText(tetra, testsupport::tetrahedronObj()), 0);
    Polyhedron grid;
    ASSERT_EQ(testsupport::loadObjText(grid, testsupport::openGridObj(3)), 0);
    HalfEdge* boundary = nullptr;
    HalfEdge* uncut = nullptr;
    for (HalfEdge& h : grid.halfEdges) {
        if (h.face && !h.pair->face) boundary = &h;
        if (!h.onCut) uncut = &h;
    }
    struct Case {
        const char* name;
        Polyhedron* model;
        HalfEdge* h;
    } cases[] = {
        {"a walk of six entries", &tetra, tetra.perimeter.front()},
        {"a boundary edge", &grid, boundary},
        {"its face-less half", &grid, boundary->pair},
        {"an edge off the cut", &grid, uncut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string before = walkText(*c.model);
        EXPECT_EQ(captureStdout([&] { c.model->deleteCutBranch(c.h); }), "");
        EXPECT_EQ(walkText(*c.model), before);
    }
}

TEST(DeleteCutBranch, RemovesTheShorterSideOfAPath) {
    // A path cut e1 .. e5; each case deletes at one of its half-edges.
    struct Case {
        int edge;      // 1-based position in the path
        bool reverse;  // delete at the half running back towards e1
        int keepFrom, keepTo;
    } cases[] = {
        {3, false, 1, 2},                                      // equal sides: the side beyond h's head goes
        {3, true, 4, 5},  {2, false, 3, 5}, {5, false, 1, 4},  // the leaf edge alone
        {4, true, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "edge " << c.edge << (c.reverse ? " reversed" : ""));
        Polyhedron m;
        ASSERT_EQ(testsupport::loadObjText(m, testsupport::sphereObj(1)), 0);
        // A simple path that heads away from its start.
        std::vector<HalfEdge*> path;
        std::set<const Vertex*> used;
        Vertex* start = &m.vertices.front();
        Vertex* at = start;
        used.insert(at);
        for (int i = 0; i < 5; ++i) {
            HalfEdge* best = nullptr;
            double far = -1;
            for (HalfEdge* s : at->edge) {
                Vec3 d = s->vert->pos - start->pos;
                double dd = d.x * d.x + d.y * d.y + d.z * d.z;
                if (!used.count(s->vert) && dd > far) far = dd, best = s;
            }
            ASSERT_NE(best, nullptr);
            path.push_back(best);
            at = best->vert;
            used.insert(at);
        }
        m.perimeter.assign(path.begin(), path.end());
        for (auto it = path.rbegin(); it != path.rend(); ++it) m.perimeter.push_back((*it)->pair);
        captureStdout([&] { m.markCut(); });
        expectSoundWalk(m);

        HalfEdge* h = path[c.edge - 1];
        int kept = c.keepTo - c.keepFrom + 1;
        EXPECT_EQ(captureStdout([&] { m.deleteCutBranch(c.reverse ? h->pair : h); }),
                  std::to_string(2 * kept) + "elem\n");
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(path[i - 1]->onCut, i >= c.keepFrom && i <= c.keepTo) << i;
        expectSoundWalk(m);
    }
}

TEST(DeleteCutBranch, OnAShortBoundaryGoesDownToTheBoundary) {
    for (const ShortBoundary& c : kShortBoundaries) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, c.obj));
        HalfEdge* spike = nullptr;  // from the boundary to the vertex inside
        for (Vertex& v : m.vertices)
            if (v.onCut && !spike) spike = edgeLeavingCut(&v);
        ASSERT_NE(spike, nullptr);
        std::string boundaryLine = std::to_string(c.boundaryEdges) + "elem\n";
        for (HalfEdge* h : {spike, spike->pair}) {
            captureStdout([&] { m.addCutPath(spike); });
            ASSERT_EQ((int)m.perimeter.size(), c.boundaryEdges + 2);
            EXPECT_EQ(captureStdout([&] { m.deleteCutBranch(h); }), boundaryLine);
            EXPECT_TRUE(walkIsTheBoundary(m)) << walkText(m);
            expectSoundWalk(m);
        }
    }
}

TEST(DeleteCutBranch, BetweenTwoForksRemovesNothingButStillReportsTheWalk) {
    Polyhedron m;
    ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::sphereObj(1)));
    // Give both ends of one cut edge three cut edges each.
    HalfEdge* arm = m.perimeter.front();
    for (Vertex* end : {arm->vert, arm->pair->vert}) {
        for (;;) {
            int degree = 0;
            for (HalfEdge* s : end->edge) degree += s->onCut;
            if (degree >= 3) break;
            HalfEdge* more = edgeLeavingCut(end);
            ASSERT_NE(more, nullptr);
            captureStdout([&] { m.addCutPath(more); });
        }
    }
    std::string before = walkText(m);
    std::string line = std::to_string(m.perimeter.size()) + "elem\n";
    EXPECT_EQ(captureStdout([&] { m.deleteCutBranch(arm); }), line);
    EXPECT_EQ(walkText(m), before);
    EXPECT_EQ(captureStdout([&] { m.deleteCutBranch(arm->pair); }), line);
    EXPECT_EQ(walkText(m), before);
    expectSoundWalk(m);
}

// --- adding a path ---

TEST(AddCutPath, AnEdgeWithOneEndOnTheCutIsAddedAloneAndEndsInALeaf) {
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::sphereObj(1)));
        HalfEdge* h = nullptr;  // from the cut to a vertex off it
        for (Vertex& v : m.vertices)
            if (v.onCut && !h) h = edgeLeavingCut(&v);
        ASSERT_NE(h, nullptr);
        std::string line = std::to_string(m.perimeter.size() + 2) + "elem\n";
        EXPECT_EQ(captureStdout([&] { m.addCutPath(reversed ? h->pair : h); }), line);
        EXPECT_TRUE(h->onCut);
        EXPECT_TRUE(isLeaf(m, h->vert));
        expectSoundWalk(m);
    }
}

TEST(AddCutPath, EqualDistancesStartThePathAtTheTail) {
    Polyhedron m;
    ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::sphereObj(1), true));
    // Both ends one edge from the cut, with different first steps.
    HalfEdge* h = nullptr;
    for (HalfEdge& e : m.halfEdges) {
        Vertex* tail = e.pair->vert;
        if (!h && e.face && e.pair->face && tail->cutDistance == 1.0 && e.vert->cutDistance == 1.0 &&
            tail->towardCut->vert != e.vert->towardCut->vert)
            h = &e;
    }
    ASSERT_NE(h, nullptr);
    HalfEdge* fromTail = h->pair->vert->towardCut;
    HalfEdge* fromHead = h->vert->towardCut;
    std::string line = std::to_string(m.perimeter.size() + 4) + "elem\n";
    EXPECT_EQ(captureStdout([&] { m.addCutPath(h); }), line);
    EXPECT_TRUE(h->onCut);
    EXPECT_TRUE(fromTail->onCut);
    EXPECT_FALSE(fromHead->onCut);
    EXPECT_TRUE(isLeaf(m, h->vert));
    expectSoundWalk(m);
}

TEST(AddCutPath, FollowsTheRecordedShortestPathToTheCut) {
    Polyhedron m;
    ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::openGridObj(6)));
    // The edge of greatest distance, and its path as the Cut tool previews it.
    HalfEdge* h = nullptr;
    for (HalfEdge& e : m.halfEdges)
        if (e.face && !e.onCut && (!h || e.vert->cutDistance > h->vert->cutDistance)) h = &e;
    ASSERT_NE(h, nullptr);
    std::vector<HalfEdge*> preview;
    Vertex* w = h->pair->vert->cutDistance <= h->vert->cutDistance ? h->pair->vert : h->vert;
    preview.push_back(h);
    for (; !w->onCut && w->towardCut; w = w->towardCut->vert) preview.push_back(w->towardCut);
    ASSERT_GT(preview.size(), 2u);
    size_t size = m.perimeter.size();

    EXPECT_EQ(captureStdout([&] { m.addCutPath(h); }), std::to_string(size + 2 * preview.size()) + "elem\n");
    for (HalfEdge* e : preview) EXPECT_TRUE(e->onCut);
    expectSoundWalk(m);
}

// An edge of length 0 can give a cut vertex a first step that is no cut
// edge. Following it past the cut would close a loop in the cut, which the
// splice could never finish unfolding.
TEST(AddCutPath, StopsAtTheFirstVertexOnTheCut) {
    Polyhedron m;
    ASSERT_NO_FATAL_FAILURE(loadMeasured(m, testsupport::octahedronObj()));
    m.perimeter = {halfEdgeBetween(m, 5, 1), halfEdgeBetween(m, 1, 3), halfEdgeBetween(m, 3, 1),
                   halfEdgeBetween(m, 1, 5)};
    captureStdout([&] { m.markCut(); });
    HalfEdge* chord = halfEdgeBetween(m, 3, 5);
    chord->length = chord->pair->length = 0.0;
    m.computeCutDistances();
    Vertex* v3 = chord->pair->vert;
    Vertex* v6 = halfEdgeBetween(m, 6, 3)->pair->vert;
    ASSERT_EQ(v3->towardCut, chord);
    ASSERT_EQ(v6->towardCut, halfEdgeBetween(m, 6, 3));

    EXPECT_EQ(captureStdout([&] { m.addCutPath(halfEdgeBetween(m, 6, 4)); }), "8elem\n");
    EXPECT_EQ(walkText(m), "5>1 1>3 3>6 6>4 4>6 6>3 3>1 1>5 ");
    EXPECT_FALSE(chord->onCut);
    expectSoundWalk(m);
}

TEST(AddCutPath, RefusedOrDroppedWhereNoCornerTakesIt) {
    // Both ends on the cut: nothing at all.
    Polyhedron tetra;
    ASSERT_NO_FATAL_FAILURE(loadMeasured(tetra, testsupport::tetrahedronObj()));
    HalfEdge* chord = nullptr;
    for (HalfEdge& h : tetra.halfEdges)
        if (!h.onCut) chord = &h;
    ASSERT_NE(chord, nullptr);
    std::string before = walkText(tetra);
    EXPECT_EQ(captureStdout([&] { tetra.addCutPath(chord); }), "");
    EXPECT_EQ(walkText(tetra), before);
    EXPECT_FALSE(chord->onCut);

    // A part the cut does not reach: marked, not spliced, dropped by the re-mark.
    Polyhedron two;
    ASSERT_NO_FATAL_FAILURE(loadTwoTetrahedra(two));
    HalfEdge* apart = &two.halfEdges.back();
    ASSERT_TRUE(std::isinf(apart->vert->cutDistance));
    before = walkText(two);
    EXPECT_EQ(captureStdout([&] { two.addCutPath(apart); }), "6elem\n");
    EXPECT_EQ(walkText(two), before);
    EXPECT_FALSE(apart->onCut);
    EXPECT_FALSE(apart->vert->onCut);
    expectSoundWalk(two);
}

// --- edits in any order ---

TEST(CutEdits, AnySequenceKeepsASoundWalk) {
    for (const std::string& obj :
         {testsupport::sphereObj(1), testsupport::openGridObj(4), testsupport::cubeObj()}) {
        Polyhedron m;
        ASSERT_NO_FATAL_FAILURE(loadMeasured(m, obj));
        std::vector<HalfEdge*> halves;
        for (HalfEdge& h : m.halfEdges) halves.push_back(&h);
        std::vector<Face*> faces;
        for (Face& f : m.faces) faces.push_back(&f);
        std::mt19937 rng(7);
        int moves = 0;
        for (int step = 0; step < 300; ++step) {
            HalfEdge* h = halves[rng() % halves.size()];
            Face* f = faces[rng() % faces.size()];
            int op = rng() % 4;
            captureStdout([&] {
                if (op == 0 && !h->onCut) m.addCutPath(h);
                if (op == 1 && h->onCut) m.deleteCutBranch(h);
                if (op >= 2) moves += m.moveCutAcrossFace(f);
            });
            ASSERT_NO_FATAL_FAILURE(expectSoundWalk(m)) << "step " << step;
            if (HasFailure()) return;
        }
        EXPECT_GT(moves, 0);
    }
}
