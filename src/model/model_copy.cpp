#include <unordered_map>
#include <utility>

#include "model/oripoly.h"

namespace {

// Source address -> address of its copy; null and anything not in the
// source map to null, so no link of the copy can lead back into the source.
template <class T>
class CopyMap {
public:
    CopyMap(const std::list<T>& source, std::list<T>& copy) {
        map_.reserve(source.size());
        auto c = copy.begin();
        for (const T& s : source) map_[&s] = &*c++;
    }
    T* operator()(const T* s) const {
        auto it = map_.find(s);
        return it == map_.end() ? nullptr : it->second;
    }

private:
    std::unordered_map<const T*, T*> map_;
};

}  // namespace

Polyhedron& Polyhedron::operator=(const Polyhedron& source) {
    if (this == &source) return *this;

    bboxMin = source.bboxMin;
    bboxMax = source.bboxMax;
    area = source.area;
    numVertices = source.numVertices;
    numInteriorEdges = source.numInteriorEdges;
    numEdges = source.numEdges;
    numFaces = source.numFaces;
    prepared = false;

    creasePattern.clear();
    solver.release();
    solver.model = this;

    vertices.clear();
    halfEdges.clear();
    faces.clear();
    perimeter.clear();
    openSet.clear();

    vertices = source.vertices;
    halfEdges = source.halfEdges;
    faces = source.faces;

    CopyMap<Vertex> vertexOf(source.vertices, vertices);
    CopyMap<HalfEdge> halfEdgeOf(source.halfEdges, halfEdges);
    CopyMap<Face> faceOf(source.faces, faces);

    for (Vertex* v : source.openSet) openSet.push_back(vertexOf(v));
    for (HalfEdge* h : source.perimeter) perimeter.push_back(halfEdgeOf(h));

    for (Vertex& v : vertices) {
        for (HalfEdge*& h : v.edge) h = halfEdgeOf(h);
        v.towardCut = halfEdgeOf(v.towardCut);
    }
    for (HalfEdge& h : halfEdges) {
        h.vert = vertexOf(h.vert);
        h.face = faceOf(h.face);
        h.pair = halfEdgeOf(h.pair);
        h.next = halfEdgeOf(h.next);
        h.prev = halfEdgeOf(h.prev);
        for (HalfEdge*& d : h.diagonals) d = halfEdgeOf(d);
        // The copy has no crease pattern; a link into the source's pattern
        // would dangle once the source goes, and building sets it anew.
        h.patternVertex = nullptr;
    }
    for (Face& f : faces) f.edge = halfEdgeOf(f.edge);
    return *this;
}

void Polyhedron::swapRecords(Polyhedron& other) {
    std::swap(bboxMin, other.bboxMin);
    std::swap(bboxMax, other.bboxMax);
    std::swap(area, other.area);
    std::swap(prepared, other.prepared);
    std::swap(numVertices, other.numVertices);
    std::swap(numInteriorEdges, other.numInteriorEdges);
    std::swap(numEdges, other.numEdges);
    std::swap(numFaces, other.numFaces);
    std::swap(minPerimeter, other.minPerimeter);
    openSet.swap(other.openSet);
    vertices.swap(other.vertices);
    halfEdges.swap(other.halfEdges);
    faces.swap(other.faces);
    perimeter.swap(other.perimeter);
}
