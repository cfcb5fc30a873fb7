#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/console_line.h"
#include "model/oripoly.h"

namespace {

typedef std::list<HalfEdge*> Walk;
typedef Polyhedron::PerimeterPos Pos;

// The walk is read cyclically: the entry after the last is the first.
Pos cyclicNext(Walk& walk, Pos p) {
    ++p;
    return p == walk.end() ? walk.begin() : p;
}

Pos cyclicPrev(Walk& walk, Pos p) {
    if (p == walk.begin()) p = walk.end();
    return --p;
}

Pos findEntry(Walk& walk, HalfEdge* h) {
    for (Pos p = walk.begin(); p != walk.end(); ++p)
        if (*p == h) return p;
    return walk.end();
}

Pos findLastEntry(Walk& walk, HalfEdge* h) {
    Pos found = walk.end();
    for (Pos p = walk.begin(); p != walk.end(); ++p)
        if (*p == h) found = p;
    return found;
}

void markEdgeAndHead(HalfEdge* h) {
    h->onCut = true;
    h->pair->onCut = true;
    h->vert->onCut = true;
}

bool hasBoundary(const Polyhedron& m) {
    for (const HalfEdge& h : m.halfEdges)
        if (!h.face) return true;
    return false;
}

// Pruning and branch deletion keep at least this many entries. A cut hung on
// the boundary may shrink to the boundary itself; a closed surface keeps a
// few edges so that it can still be opened.
int shortestWalk(const Polyhedron& m) { return hasBoundary(m) ? 0 : m.minPerimeter; }

// The half-edges of f's cycle from f->edge; false when the cycle is not a
// closed loop of paired half-edges.
bool collectCycle(Face* f, size_t limit, std::vector<HalfEdge*>& cycle) {
    if (!f || !f->edge) return false;
    HalfEdge* q = f->edge;
    do {
        if (!q->pair || !q->next || !q->prev || !q->vert || cycle.size() >= limit) return false;
        cycle.push_back(q);
        q = q->next;
    } while (q != f->edge);
    return true;
}

// --- distances ---

// Distances to the cut are compared in whole grains, a billionth of the
// longest edge: paths whose lengths differ by rounding alone are equally
// long, so that the ties of a symmetric model go the same way in any units.
double distanceGrain(const Polyhedron& m) {
    double longest = 0.0;
    for (const HalfEdge& h : m.halfEdges) longest = std::max(longest, h.length);
    return std::isfinite(longest) && longest > 0.0 ? 1e-9 * longest : 1.0;
}

double grains(double distance, double grain) { return std::floor(distance / grain); }

// The open set of the search: the smallest distance comes first, and of equal
// ones the vertex listed first, where a vertex keeps the place it was first
// listed at until it is taken out. Entries left behind by a distance lowered
// since are skipped when they come up.
class OpenSet {
public:
    explicit OpenSet(double grain) : grain_(grain) {}

    double grain() const { return grain_; }

    void add(Vertex* v) {
        auto listed = place_.emplace(v, next_);
        if (listed.second) ++next_;
        heap_.push(Entry{grains(v->cutDistance, grain_), v->cutDistance, listed.first->second, v});
    }

    Vertex* takeNearest() {
        while (!heap_.empty()) {
            Entry e = heap_.top();
            heap_.pop();
            auto listed = place_.find(e.vertex);
            if (listed == place_.end() || listed->second != e.place || e.distance != e.vertex->cutDistance)
                continue;
            place_.erase(listed);
            return e.vertex;
        }
        return nullptr;
    }

private:
    struct Entry {
        double key;  // the distance in grains
        double distance;
        size_t place;
        Vertex* vertex;
        bool operator>(const Entry& o) const { return key > o.key || (key == o.key && place > o.place); }
    };
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
    std::unordered_map<const Vertex*, size_t> place_;
    size_t next_ = 0;
    double grain_;
};

void relaxAround(Vertex* r, OpenSet& open) {
    if (r->edge.empty()) return;
    HalfEdge* first = r->edge[0];
    HalfEdge* s = first;
    // Bounded by the number of outgoing half-edges, so a broken rotation cannot spin.
    for (size_t steps = 0; s && steps < r->edge.size(); ++steps) {
        double d = r->cutDistance + (s->onCut ? 0.0 : s->length);
        if (grains(d, open.grain()) < grains(s->vert->cutDistance, open.grain())) {
            s->vert->cutDistance = d;
            s->vert->towardCut = s->pair;
            open.add(s->vert);
        }
        s = s->prev ? s->prev->pair : nullptr;
        if (s == first) break;
    }
}

// --- flooding ---

bool growFlood(Walk& walk) {
    bool grew = false;
    for (Pos b = walk.begin(); b != walk.end();) {
        HalfEdge* d = (*b)->pair;
        if (!d->face || d->face->flooded) {
            ++b;
            continue;
        }
        for (HalfEdge* x = d->next; x != d; x = x->next) walk.insert(b, x);
        d->face->flooded = true;
        b = walk.erase(b);
        grew = true;
    }
    return grew;
}

void pruneSpikes(Walk& walk, int shortest) {
    if (walk.empty()) return;
    Pos d = walk.begin();
    Pos e = std::next(d);
    while (d != walk.end()) {
        if (e == walk.end()) e = walk.begin();
        if ((int)walk.size() <= shortest || walk.size() <= 2) return;
        if ((*d)->pair == *e) {
            Pos before = cyclicPrev(walk, d);
            Pos after = cyclicNext(walk, e);
            walk.erase(d);
            walk.erase(e);
            d = before;
            e = after;
        } else {
            ++d;
            ++e;
        }
    }
}

// --- moving the cut across a face ---

// Near side: the run's own half-edges leave the walk, which now passes
// outside f along the pairs of f's other half-edges.
void rerouteNearSide(Walk& walk, Pos at, HalfEdge* rs, Face* f) {
    while (!walk.empty() && (*at)->face == f && (*at)->onCut) {
        (*at)->visited = true;
        at = walk.erase(at);
        if (at == walk.end()) at = walk.begin();
    }
    for (HalfEdge* x = rs->prev; !x->visited; x = x->prev) walk.insert(at, x->pair);
}

// Far side: the entries across the run leave the walk, which now passes
// along f's own other half-edges. A further cut branch at a vertex inside the
// run ends the removal there; the run's edges before that vertex then go back
// in with the others and stay cut, so only the part of the run beyond the
// branch leaves the cut, and the walk still joins up.
void rerouteFarSide(Walk& walk, Pos at, HalfEdge* be, Face* f) {
    while (!walk.empty() && (*at)->onCut && (*at)->pair->face == f) {
        (*at)->pair->visited = true;
        at = walk.erase(at);
        if (at == walk.end()) at = walk.begin();
    }
    for (HalfEdge* x = be->next; !x->visited; x = x->next) walk.insert(at, x);
}

bool walkJoinsUp(const Walk& walk) {
    for (auto it = walk.begin(); it != walk.end(); ++it) {
        auto nx = std::next(it);
        if (nx == walk.end()) nx = walk.begin();
        if ((*it)->vert != (*nx)->prev->vert) return false;
    }
    return true;
}

// --- adding a path ---

// Unfolds the freshly marked edges into the walk depth first, corner by corner.
void spliceMarkedEdges(Walk& walk) {
    for (Pos d = walk.begin(); d != walk.end(); ++d) {
        Pos b = cyclicNext(walk, d);
        HalfEdge* x = (*d)->next;
        // A sound corner reaches b within one turn around the vertex.
        size_t steps = 0;
        while (x != *b && steps <= (*d)->vert->edge.size()) {
            if (x->onCut) {
                d = walk.insert(b, x);
                b = walk.insert(b, x->pair);
                x = x->next;
                steps = 0;
            } else {
                x = x->pair->next;
                ++steps;
            }
        }
    }
}

// Loading floods before the geometry pass measures the edges; the distances
// to the cut need them. The values are those that pass computes.
void measureEdgeLengths(Polyhedron& m) {
    for (HalfEdge& h : m.halfEdges) {
        Vec3 a = h.prev->vert->pos - h.vert->pos;
        h.length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    }
}

// Adds, as a click of the Cut tool on its first edge would, the shortest path
// to the cut from the vertex farthest from it (the first such in list order).
void addPathFromFarthestVertex(Polyhedron& m) {
    measureEdgeLengths(m);
    m.computeCutDistances();
    const double grain = distanceGrain(m);
    Vertex* farthest = nullptr;
    for (Vertex& v : m.vertices)
        if (!v.onCut && v.towardCut &&
            (!farthest || grains(v.cutDistance, grain) > grains(farthest->cutDistance, grain)))
            farthest = &v;
    if (farthest) m.addCutPath(farthest->towardCut);
}

}  // namespace

void Polyhedron::clearCutFlags() {
    for (HalfEdge& h : halfEdges) {
        h.onCut = false;
        if (h.vert) h.vert->onCut = false;
    }
}

void Polyhedron::markCut() {
    clearCutFlags();
    for (HalfEdge* h : perimeter) markEdgeAndHead(h);
    consoleLine("%delem\n", (int)perimeter.size());
    computeCutDistances();
}

void Polyhedron::computeCutDistances() {
    Vertex* seed = nullptr;
    for (Vertex& v : vertices) {
        v.cutDistance = std::numeric_limits<double>::infinity();
        v.towardCut = nullptr;
        if (v.onCut) seed = &v;
    }
    openSet.clear();
    if (!seed) return;
    seed->cutDistance = 0.0;
    OpenSet open(distanceGrain(*this));
    for (Vertex* r = seed; r; r = open.takeNearest()) relaxAround(r, open);
}

void Polyhedron::floodFromFace(Face* f) {
    std::vector<HalfEdge*> cycle;
    if (!collectCycle(f, halfEdges.size(), cycle)) return;
    clearCutFlags();
    perimeter.clear();
    clearFlooded();
    perimeter.assign(cycle.begin(), cycle.end());
    f->flooded = true;
    int shortest = shortestWalk(*this);
    bool grew;
    do {
        grew = growFlood(perimeter);
        pruneSpikes(perimeter, shortest);
    } while (grew);
    markCut();
    clearFlooded();
    // With only the few edges left by pruning, a closed surface's layout must
    // enclose all its face area between the two sides of that short cut, which
    // takes enormous tucks. One more path, from the vertex farthest from the
    // cut, lets it open up.
    if (!hasBoundary(*this) && (int)perimeter.size() <= minPerimeter) addPathFromFarthestVertex(*this);
}

bool Polyhedron::moveCutAcrossFace(Face* f) {
    std::vector<HalfEdge*> cycle;
    if (!collectCycle(f, halfEdges.size(), cycle)) return false;
    auto cutAcross = [](const HalfEdge* q) { return q->pair->onCut && q->pair->face; };
    int starts = 0, ends = 0, touches = 0;
    HalfEdge* rs = nullptr;
    HalfEdge* be = nullptr;
    for (HalfEdge* q : cycle) {
        if (q->onCut != q->pair->onCut || q->pair->face == f) return false;
        if (q->onCut && !q->prev->onCut) {
            ++starts;
            if (!rs) rs = q;
        }
        if (cutAcross(q) && !cutAcross(q->next)) {
            ++ends;
            if (!be) be = q;
        }
        if (!q->onCut && q->vert->onCut) ++touches;
    }
    if (starts != 1 || ends != 1 || touches != 1) return false;
    Pos nearPos = findEntry(perimeter, rs);
    Pos farPos = findEntry(perimeter, be->pair);
    if (nearPos == perimeter.end() || farPos == perimeter.end()) return false;

    // A rewrite that would not join up is undone, so a refusal changes nothing.
    Walk before = perimeter;
    clearVisited();
    rerouteNearSide(perimeter, nearPos, rs, f);
    clearVisited();
    rerouteFarSide(perimeter, farPos, be, f);
    clearVisited();
    if (!walkJoinsUp(perimeter)) {
        perimeter.swap(before);
        return false;
    }
    markCut();
    checkTopology();
    return true;
}

void Polyhedron::deleteCutBranch(HalfEdge* h) {
    if (!h || !h->pair || (int)perimeter.size() <= shortestWalk(*this)) return;
    Pos i1 = findLastEntry(perimeter, h);
    Pos i2 = findLastEntry(perimeter, h->pair);
    if (i1 == perimeter.end() || i2 == perimeter.end()) return;
    int a = branchLength(i1, i2);
    int b = branchLength(i2, i1);
    if (a <= b)
        removeBranch(i1, i2);
    else
        removeBranch(i2, i1);
    markCut();
}

void Polyhedron::addCutPath(HalfEdge* h) {
    if (!h || !h->pair) return;
    if (h->vert->cutDistance == 0.0 && h->pair->vert->cutDistance == 0.0) return;
    HalfEdge* p = h->pair->vert->cutDistance > h->vert->cutDistance ? h : h->pair;
    bool startsOnCut = p->vert->onCut;
    markEdgeAndHead(p);
    p->pair->vert->onCut = true;
    // The path ends at the first vertex already on the cut, as the Cut tool's
    // preview does; going on there (possible only across zero-length edges)
    // would close a loop in the cut.
    if (!startsOnCut) {
        for (HalfEdge* t = p->vert->towardCut; t && !t->onCut; t = t->vert->towardCut) {
            bool reachesCut = t->vert->onCut;
            markEdgeAndHead(t);
            if (reachesCut) break;
        }
    }
    spliceMarkedEdges(perimeter);
    markCut();
}

int Polyhedron::branchLength(PerimeterPos p, PerimeterPos q) {
    int n = 0;
    for (;;) {
        if ((*p)->pair != *q) return INT_MAX;
        ++n;
        p = cyclicNext(perimeter, p);
        if (p == q) return n;
        q = cyclicPrev(perimeter, q);
    }
}

// Checks the mirrored pairs out to the turning point before removing any, so
// that a branch that forks is left whole. Iterative, so a long branch cannot
// exhaust the stack.
bool Polyhedron::removeBranch(PerimeterPos p, PerimeterPos q) {
    std::vector<std::pair<PerimeterPos, PerimeterPos>> mirrored;
    for (;;) {
        if ((*p)->pair != *q) return false;
        mirrored.emplace_back(p, q);
        PerimeterPos pNext = cyclicNext(perimeter, p);
        if (pNext == q) break;
        p = pNext;
        q = cyclicPrev(perimeter, q);
    }
    for (auto it = mirrored.rbegin(); it != mirrored.rend(); ++it) {
        perimeter.erase(it->first);
        perimeter.erase(it->second);
    }
    return true;
}
