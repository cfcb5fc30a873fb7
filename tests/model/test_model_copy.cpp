#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

using testsupport::captureStdout;
using testsupport::loadObjText;

namespace {

// Addresses of every element of a model.
struct Elements {
    std::set<const void*> all;
    explicit Elements(const Polyhedron& m) {
        for (const Vertex& v : m.vertices) all.insert(&v);
        for (const HalfEdge& h : m.halfEdges) all.insert(&h);
        for (const Face& f : m.faces) all.insert(&f);
    }
    bool has(const void* p) const { return all.count(p) > 0; }
};

// Every link of `copy` is null or one of its own elements; returns the first
// that is not.
std::string foreignLink(const Polyhedron& copy) {
    Elements own(copy);
    auto ok = [&](const void* p) { return p == nullptr || own.has(p); };
    for (const Vertex& v : copy.vertices) {
        for (const HalfEdge* h : v.edge)
            if (!ok(h) || !h) return "vertex edge";
        if (!ok(v.towardCut)) return "towardCut";
    }
    for (const HalfEdge& h : copy.halfEdges) {
        if (!ok(h.vert) || !ok(h.face) || !ok(h.pair) || !ok(h.next) || !ok(h.prev)) return "half-edge link";
        for (const HalfEdge* d : h.diagonals)
            if (!ok(d) || !d) return "diagonal";
        if (h.patternVertex) return "pattern vertex";
    }
    for (const Face& f : copy.faces)
        if (!ok(f.edge) || !f.edge) return "face edge";
    for (const HalfEdge* p : copy.perimeter)
        if (!ok(p) || !p) return "perimeter";
    for (const Vertex* v : copy.openSet)
        if (!ok(v) || !v) return "openSet";
    return "";
}

template <class T>
const T* nth(const std::list<T>& list, size_t i) {
    return &*std::next(list.begin(), i);
}

template <class T>
size_t position(const std::list<T>& list, const T* p) {
    size_t i = 0;
    for (const T& x : list) {
        if (&x == p) return i;
        ++i;
    }
    return list.size();
}

}  // namespace

TEST(ModelCopy, CopyIsLinkedOnlyToItself) {
    struct Case {
        const char* name;
        std::string obj;
    };
    for (const Case& c :
         {Case{"closed cube", testsupport::cubeObj()}, Case{"open grid", testsupport::openGridObj(3)}}) {
        SCOPED_TRACE(c.name);
        Polyhedron source, copy;
        ASSERT_EQ(loadObjText(source, c.obj), 0);
        source.openSet = {&source.vertices.back(), &source.vertices.front(), &source.vertices.back()};
        copy = source;

        EXPECT_EQ(foreignLink(copy), "");
        ASSERT_EQ(copy.vertices.size(), source.vertices.size());
        ASSERT_EQ(copy.halfEdges.size(), source.halfEdges.size());
        ASSERT_EQ(copy.faces.size(), source.faces.size());

        // Each link leads to the copy of the element the source's link leads to.
        auto sameVertex = [&](const Vertex* s, const Vertex* d) {
            return s ? position(source.vertices, s) == position(copy.vertices, d) : d == nullptr;
        };
        auto sameHalfEdge = [&](const HalfEdge* s, const HalfEdge* d) {
            return s ? position(source.halfEdges, s) == position(copy.halfEdges, d) : d == nullptr;
        };
        auto sameFace = [&](const Face* s, const Face* d) {
            return s ? position(source.faces, s) == position(copy.faces, d) : d == nullptr;
        };
        bool nullFace = false, nullTowardCut = false;
        for (size_t i = 0; i < source.halfEdges.size(); ++i) {
            const HalfEdge *s = nth(source.halfEdges, i), *d = nth(copy.halfEdges, i);
            EXPECT_TRUE(sameVertex(s->vert, d->vert) && sameFace(s->face, d->face) &&
                        sameHalfEdge(s->pair, d->pair) && sameHalfEdge(s->next, d->next) &&
                        sameHalfEdge(s->prev, d->prev))
                << "half-edge " << i;
            ASSERT_EQ(s->diagonals.size(), d->diagonals.size());
            for (size_t k = 0; k < s->diagonals.size(); ++k)
                EXPECT_TRUE(sameHalfEdge(s->diagonals[k], d->diagonals[k]));
            EXPECT_EQ(s->index, d->index);
            EXPECT_EQ(s->corner.x, d->corner.x);
            EXPECT_EQ(s->stripTriangles.size(), d->stripTriangles.size());
            nullFace = nullFace || !s->face;
        }
        for (size_t i = 0; i < source.vertices.size(); ++i) {
            const Vertex *s = nth(source.vertices, i), *d = nth(copy.vertices, i);
            ASSERT_EQ(s->edge.size(), d->edge.size());
            for (size_t k = 0; k < s->edge.size(); ++k) EXPECT_TRUE(sameHalfEdge(s->edge[k], d->edge[k]));
            EXPECT_TRUE(sameHalfEdge(s->towardCut, d->towardCut));
            EXPECT_EQ(s->cutDistance, d->cutDistance);
            nullTowardCut = nullTowardCut || !s->towardCut;
        }
        for (size_t i = 0; i < source.faces.size(); ++i)
            EXPECT_TRUE(sameHalfEdge(nth(source.faces, i)->edge, nth(copy.faces, i)->edge));
        EXPECT_TRUE(nullTowardCut) << "fixture should have vertices on the cut";
        EXPECT_EQ(nullFace, std::string(c.name) == "open grid");

        // The perimeter walks the same cycle, entry for entry.
        ASSERT_EQ(copy.perimeter.size(), source.perimeter.size());
        for (auto s = source.perimeter.begin(), d = copy.perimeter.begin(); s != source.perimeter.end();
             ++s, ++d)
            EXPECT_TRUE(sameHalfEdge(*s, *d));
        ASSERT_EQ(copy.openSet.size(), 3u);
        EXPECT_EQ(copy.openSet.front(), &copy.vertices.back());
        EXPECT_EQ(*std::next(copy.openSet.begin()), &copy.vertices.front());
    }
}

TEST(ModelCopy, ScalarsFlagsAndTheEmbeddedParts) {
    Polyhedron source, copy;
    ASSERT_EQ(loadObjText(source, testsupport::cubeObj(2.0)), 0);
    source.prepared = true;
    source.area = 12.5;
    source.minPerimeter = 11;
    copy.minPerimeter = 9;
    captureStdout([&] { ASSERT_TRUE(copy.solver.allocate()); });
    copy.solver.anglesReady = true;
    copy.creasePattern.attachModel(&copy);
    copy.creasePattern.built = true;
    copy.creasePattern.vertices.push_back(PatternVertex());
    source.halfEdges.front().patternVertex = &copy.creasePattern.vertices.front();

    copy = source;
    EXPECT_FALSE(copy.prepared);
    EXPECT_EQ(copy.minPerimeter, 9);
    EXPECT_EQ(copy.area, 12.5);
    EXPECT_EQ(copy.bboxMax.x, source.bboxMax.x);
    EXPECT_EQ(copy.bboxMin.z, source.bboxMin.z);
    EXPECT_EQ(copy.numVertices, 8);
    EXPECT_EQ(copy.numEdges, 12);
    EXPECT_EQ(copy.numInteriorEdges, source.numInteriorEdges);
    EXPECT_EQ(copy.numFaces, 6);

    EXPECT_FALSE(copy.solver.allocated);
    EXPECT_TRUE(copy.solver.edgeAngles.empty());
    EXPECT_EQ(copy.solver.model, &copy);
    EXPECT_TRUE(copy.solver.anglesReady) << "readiness flags survive the copy";
    EXPECT_FALSE(copy.creasePattern.built);
    EXPECT_EQ(copy.creasePattern.model, nullptr);
    EXPECT_TRUE(copy.creasePattern.vertices.empty());
    EXPECT_EQ(copy.halfEdges.front().patternVertex, nullptr) << "would lead into another pattern";
    EXPECT_EQ(source.solver.model, &source);
    EXPECT_TRUE(source.prepared) << "the source is not changed";
}

TEST(ModelCopy, ReplacesAnotherSurfaceAndOutlivesItsSource) {
    Polyhedron copy;
    ASSERT_EQ(loadObjText(copy, testsupport::tetrahedronObj()), 0);
    auto source = std::make_unique<Polyhedron>();
    ASSERT_EQ(loadObjText(*source, testsupport::octahedronObj()), 0);
    const size_t halfEdges = source->halfEdges.size(), perimeter = source->perimeter.size();
    copy = *source;
    source.reset();

    EXPECT_EQ(copy.vertices.size(), 6u);
    EXPECT_EQ(copy.faces.size(), 8u);
    EXPECT_EQ(copy.halfEdges.size(), halfEdges);
    // Walking every link of the copy touches no freed memory.
    EXPECT_EQ(foreignLink(copy), "");
    for (const Face& f : copy.faces) {
        int corners = 0;
        const HalfEdge* h = f.edge;
        do {
            EXPECT_EQ(h->face, &f);
            EXPECT_EQ(h->pair->pair, h);
            h = h->next;
        } while (h != f.edge && ++corners < 10);
        EXPECT_EQ(corners, 2);
    }
    ASSERT_EQ(copy.perimeter.size(), perimeter);
    for (auto it = copy.perimeter.begin(); it != copy.perimeter.end(); ++it) {
        auto next = std::next(it) == copy.perimeter.end() ? copy.perimeter.begin() : std::next(it);
        EXPECT_EQ((*it)->vert, (*next)->prev->vert) << "perimeter broken";
    }
    copy.numberElements();
    EXPECT_EQ(copy.numFaces, 8);
}
