// What the reader refuses after the whole file is read: surfaces that pairing
// and boundary closing cannot turn into one consistent half-edge structure,
// and surfaces in more than one part, since one sheet folds one surface.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "model/oripoly.h"

namespace {

__attribute__((format(printf, 2, 3))) void setReason(std::string& reason, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    reason = text;
}

// A face half-edge as read, by the numbers of its head and its face.
struct OutEdge {
    int head;
    int face;
    bool operator<(const OutEdge& o) const { return head != o.head ? head < o.head : face < o.face; }
};

// The half-edges leaving each vertex, sorted by head and then by face (so in
// file order), so that each directed edge and its uses are found by search.
struct DirectedEdges {
    std::vector<size_t> start;  // vertex v's half-edges are out[start[v]] .. out[start[v + 1] - 1]
    std::vector<OutEdge> out;

    std::pair<const OutEdge*, const OutEdge*> towards(int v, int w) const {
        return std::equal_range(out.data() + start[v], out.data() + start[v + 1], OutEdge{w, -1},
                                [](const OutEdge& a, const OutEdge& b) { return a.head < b.head; });
    }
};

DirectedEdges collectEdges(const std::list<Vertex>& vertices) {
    DirectedEdges d;
    d.start.push_back(0);
    for (const Vertex& v : vertices) {
        for (const HalfEdge* h : v.edge) d.out.push_back(OutEdge{h->vert->index, h->face->index});
        std::sort(d.out.begin() + d.start.back(), d.out.end());
        d.start.push_back(d.out.size());
    }
    return d;
}

// Runs of half-edges with the same tail and head: f(tail, first, last).
template <class F>
bool allRuns(const DirectedEdges& d, F f) {
    for (size_t v = 0; v + 1 < d.start.size(); ++v) {
        size_t i = d.start[v];
        while (i < d.start[v + 1]) {
            size_t j = i;
            while (j < d.start[v + 1] && d.out[j].head == d.out[i].head) ++j;
            if (!f((int)v, d.out.data() + i, d.out.data() + j)) return false;
            i = j;
        }
    }
    return true;
}

// A third face on an edge would leave the pairing without a unique partner.
bool edgesJoinAtMostTwoFaces(const DirectedEdges& d, const std::vector<long>& faceLines,
                             std::string& reason) {
    return allRuns(d, [&](int v, const OutEdge* first, const OutEdge* last) {
        int w = first->head;
        auto back = d.towards(w, v);
        size_t uses = (last - first) + (back.second - back.first);
        if (uses <= 2) return true;
        std::vector<int> users;
        for (const OutEdge* e = first; e != last; ++e) users.push_back(e->face);
        for (const OutEdge* e = back.first; e != back.second; ++e) users.push_back(e->face);
        std::sort(users.begin(), users.end());
        setReason(
            reason,
            "line %ld: the edge between vertices %d and %d is shared by %zu faces; an edge can join at most "
            "two\n",
            faceLines[users[2]], std::min(v, w) + 1, std::max(v, w) + 1, uses);
        return false;
    });
}

// Two faces that run along their shared edge in the same direction face
// opposite ways; their half-edges would not pair.
bool facesAgreeInOrientation(const DirectedEdges& d, const std::vector<long>& faceLines,
                             std::string& reason) {
    return allRuns(d, [&](int v, const OutEdge* first, const OutEdge* last) {
        if (last - first < 2) return true;
        // A half-edge from v to w stands for the file's corners w, v in this order.
        setReason(
            reason,
            "line %ld: face is oriented against its neighbour on line %ld (both run the edge from vertex %d "
            "to vertex %d)\n",
            faceLines[first[1].face], faceLines[first[0].face], first->head + 1, v + 1);
        return false;
    });
}

// Around a vertex, each face contributes the step from its corner before the
// vertex to its corner after it. Once every edge is used at most once in each
// direction these steps form paths and cycles; the faces make one fan (a disk,
// or a half-disk on the boundary) exactly when they form one path or one cycle.
bool isOneFan(const Vertex& v, std::vector<std::pair<int, int>>& steps, std::vector<int>& ends) {
    if (v.edge.empty()) return true;
    steps.clear();
    ends.clear();
    for (const HalfEdge* h : v.edge) {
        int before = h->vert->index, after = h->prev->prev->vert->index;
        steps.push_back(std::make_pair(before, after));
        ends.push_back(after);
    }
    std::sort(steps.begin(), steps.end());
    std::sort(ends.begin(), ends.end());

    size_t start = 0;
    int pathStarts = 0;
    for (size_t k = 0; k < steps.size(); ++k) {
        if (!std::binary_search(ends.begin(), ends.end(), steps[k].first)) {
            ++pathStarts;
            start = k;
        }
    }
    if (pathStarts > 1) return false;

    size_t reached = 1;
    for (size_t k = start; reached < steps.size(); ++reached) {
        auto next = std::lower_bound(steps.begin(), steps.end(), std::make_pair(steps[k].second, -1));
        if (next == steps.end() || next->first != steps[k].second) break;
        k = next - steps.begin();
        if (k == start) break;
    }
    return reached == steps.size();
}

bool eachVertexIsOneFan(const std::list<Vertex>& vertices, const std::vector<long>& vertexLines,
                        std::string& reason) {
    std::vector<std::pair<int, int>> steps;
    std::vector<int> ends;
    for (const Vertex& v : vertices) {
        if (isOneFan(v, steps, ends)) continue;
        setReason(reason,
                  "line %ld: the surface is not one fan of faces around vertex %d; separate parts of it meet "
                  "there\n",
                  vertexLines[v.index], v.index + 1);
        return false;
    }
    return true;
}

int findRoot(std::vector<int>& parent, int x) {
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

bool isConnected(const std::list<Face>& faces, size_t numVertices, const std::vector<long>& faceLines,
                 std::string& reason) {
    if (faces.empty()) return true;
    std::vector<int> parent(numVertices);
    for (size_t i = 0; i < numVertices; ++i) parent[i] = (int)i;
    for (const Face& f : faces) {
        int root = findRoot(parent, f.edge->vert->index);
        const HalfEdge* h = f.edge;
        do {
            parent[findRoot(parent, h->vert->index)] = root;
            h = h->next;
        } while (h != f.edge);
    }
    const Face& first = faces.front();
    int firstRoot = findRoot(parent, first.edge->vert->index);
    for (const Face& f : faces) {
        if (findRoot(parent, f.edge->vert->index) == firstRoot) continue;
        setReason(reason,
                  "line %ld: face is not connected to the face on line %ld; the surface must be connected\n",
                  faceLines[f.index], faceLines[first.index]);
        return false;
    }
    return true;
}

}  // namespace

int Polyhedron::checkSurface(const std::vector<long>& vertexLines, const std::vector<long>& faceLines,
                             std::string& reason) {
    // Indices serve as file numbers here; they stay unset until numbering.
    int n = 0;
    for (Vertex& v : vertices) v.index = n++;
    n = 0;
    for (Face& f : faces) f.index = n++;

    DirectedEdges edges = collectEdges(vertices);
    bool sound = edgesJoinAtMostTwoFaces(edges, faceLines, reason) &&
                 facesAgreeInOrientation(edges, faceLines, reason) &&
                 eachVertexIsOneFan(vertices, vertexLines, reason) &&
                 isConnected(faces, vertices.size(), faceLines, reason);

    for (Vertex& v : vertices) v.index = -1;
    for (Face& f : faces) f.index = -1;
    return sound ? 0 : -1;
}
