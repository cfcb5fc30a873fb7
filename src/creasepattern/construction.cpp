#include <vector>

#include "creasepattern/crease_pattern.h"
#include "model/oripoly.h"

// The four construction passes. Each adds its records at the front of the
// pattern's lists and relies on the links the earlier passes made.

namespace {

PatternHalfEdge* newHalfEdge(CreasePattern& cp) {
    cp.halfEdges.push_front(PatternHalfEdge());
    PatternHalfEdge* p = &cp.halfEdges.front();
    p->owner = &cp;
    return p;
}

PatternFace* newFace(CreasePattern& cp, char kind) {
    cp.faces.push_front(PatternFace());
    PatternFace* f = &cp.faces.front();
    f->owner = &cp;
    f->kind = kind;
    return f;
}

// The copy of X's head in X's face; null for a face-less half-edge.
PatternVertex* cornerOf(const HalfEdge* X) { return X && X->face ? X->patternVertex : nullptr; }

void pairUp(PatternHalfEdge* a, PatternHalfEdge* b) {
    a->pair = b;
    b->pair = a;
}

// Number of half-edges leaving the tail of h0, stepping h = h.prev.pair;
// -1 when the ring is broken, so that a damaged vertex gets no molecule
// instead of a walk that never ends.
int countLeaving(const HalfEdge* h0, size_t limit) {
    int count = 0;
    const HalfEdge* h = h0;
    do {
        ++count;
        if (!h->prev || !h->prev->pair || static_cast<size_t>(count) > limit) return -1;
        h = h->prev->pair;
    } while (h != h0);
    return count;
}

// Both sides run between the same two corners, in opposite directions.
bool spanSameGap(const PatternHalfEdge* a, const PatternHalfEdge* b) {
    return a->vert == b->prev->vert && b->vert == a->prev->vert;
}

// At a vertex without a molecule (two faces only), the two edge molecules of
// its edges both have a side between the vertex's two copies. Pairing those
// sides closes the paper there; sides that find no partner stay unpaired and
// get a face-less partner when the boundary is closed.
void pairLooseSides(std::vector<PatternHalfEdge*>& loose) {
    for (size_t i = 0; i < loose.size(); ++i) {
        PatternHalfEdge* a = loose[i];
        if (a->pair) continue;
        for (size_t j = i + 1; j < loose.size(); ++j) {
            PatternHalfEdge* b = loose[j];
            if (!b->pair && spanSameGap(a, b)) {
                pairUp(a, b);
                break;
            }
        }
    }
}

// Links the face-less E with the face-less segments that meet it at its head
// and at its tail, when those exist and are still free. `atHead` and
// `atTail` choose which ends to link.
void chainBoundarySegment(PatternHalfEdge* E, bool atHead, bool atTail) {
    PatternVertex* head = E->vert;
    PatternVertex* tail = E->pair->vert;
    if (atHead && !E->next && head && head->polygonEdge && head->polygonEdge->prev) {
        PatternHalfEdge* n = head->polygonEdge->prev->pair;
        if (n && !n->face && !n->prev) {
            E->next = n;
            n->prev = E;
        }
    }
    if (atTail && !E->prev && tail && tail->polygonEdge) {
        PatternHalfEdge* p = tail->polygonEdge->pair;
        if (p && !p->face && !p->next) {
            E->prev = p;
            p->next = E;
        }
    }
}

}  // namespace

void CreasePattern::buildPolygons() {
    if (!model) return;

    for (HalfEdge& X : model->halfEdges) {
        if (!X.face) {
            // No corner here; a link left from an earlier build would dangle.
            X.patternVertex = nullptr;
            continue;
        }
        PatternHalfEdge* P = newHalfEdge(*this);
        vertices.push_front(PatternVertex());
        PatternVertex* V = &vertices.front();
        V->owner = this;
        V->polygonEdge = P;
        V->modelHalfEdge = &X;
        X.patternVertex = V;
    }

    for (Face& face : model->faces) {
        PatternVertex* first = cornerOf(face.edge);
        if (!first) continue;
        PatternFace* F = newFace(*this, PolygonFace);
        F->edge = first->polygonEdge;
        HalfEdge* X = face.edge;
        do {
            PatternVertex* c = cornerOf(X);
            PatternVertex* cn = cornerOf(X->next);
            PatternVertex* cp = cornerOf(X->prev);
            if (!c || !cn || !cp) break;
            c->pos = X->face->translation + X->corner;
            PatternHalfEdge* P = c->polygonEdge;
            P->face = F;
            P->next = cn->polygonEdge;
            P->prev = cp->polygonEdge;
            P->vert = cn;
            X = X->next;
        } while (X != face.edge);
    }
}

void CreasePattern::buildVertexMolecules() {
    if (!model) return;

    std::vector<PatternHalfEdge*> sides;
    for (Vertex& v : model->vertices) {
        if (v.edge.empty() || !v.edge[0]) continue;
        HalfEdge* h0 = v.edge[0];
        if (countLeaving(h0, model->halfEdges.size()) <= 2) continue;

        PatternFace* vtm = newFace(*this, VertexMolecule);

        // One side per face around v, from the copy of v in the face across h
        // (or, over a gap, in the last face before it) to the copy in h's face.
        sides.clear();
        HalfEdge* h = h0;
        do {
            if (h->face) {
                PatternHalfEdge* N = newHalfEdge(*this);
                N->vert = cornerOf(h->prev);
                N->face = vtm;
                PatternVertex* from = h->pair->face   ? cornerOf(h->pair)
                                      : h->pair->next ? cornerOf(h->pair->next->pair)
                                                      : nullptr;
                if (from) from->vtmEdge = N;
                sides.push_back(N);
            }
            h = h->prev->pair;
        } while (h != h0);

        size_t n = sides.size();
        if (n == 0) {
            faces.pop_front();  // no face around v: nothing for the molecule to join
            continue;
        }
        // The side stored at the copy of v in h's face is the one made for
        // the next faced half-edge of the walk, so the ring follows the walk.
        for (size_t i = 0; i < n; ++i) {
            PatternHalfEdge* X = sides[i];
            PatternHalfEdge* Y = sides[(i + 1) % n];
            X->next = Y;
            Y->prev = X;
        }

        PatternVertex* start = h0->face ? cornerOf(h0->prev) : nullptr;
        vtm->edge = start && start->vtmEdge ? start->vtmEdge : sides.front();
    }
}

void CreasePattern::buildEdgeMolecules() {
    if (!model) return;

    model->clearVisited();
    std::vector<PatternHalfEdge*> loose;
    for (HalfEdge& q : model->halfEdges) {
        if (q.onCut || q.visited || !q.pair) continue;
        q.visited = true;
        q.pair->visited = true;

        PatternVertex* c0 = cornerOf(q.prev);
        PatternVertex* c1 = cornerOf(q.pair);
        PatternVertex* c2 = cornerOf(q.pair->prev);
        PatternVertex* c3 = cornerOf(&q);
        if (!c0 || !c1 || !c2 || !c3) continue;

        PatternHalfEdge* ring[4];
        for (PatternHalfEdge*& side : ring) side = newHalfEdge(*this);
        ring[0]->vert = c0;
        ring[1]->vert = c1;
        ring[2]->vert = c2;
        ring[3]->vert = c3;
        PatternHalfEdge* partner[4] = {c0->polygonEdge, c1->vtmEdge, c2->polygonEdge, c3->vtmEdge};

        PatternFace* etm = newFace(*this, EdgeMolecule);
        etm->edge = ring[0];
        for (int i = 0; i < 4; ++i) {
            ring[i]->face = etm;
            ring[i]->next = ring[(i + 1) % 4];
            ring[(i + 1) % 4]->prev = ring[i];
        }
        for (int i = 0; i < 4; ++i) {
            if (partner[i] && !partner[i]->pair)
                pairUp(ring[i], partner[i]);
            else
                loose.push_back(ring[i]);
        }
    }
    pairLooseSides(loose);
    model->clearVisited();
}

void CreasePattern::closePatternBoundary() {
    // New half-edges go to the front, so neither walk meets what it creates
    // before it has passed the front; the second walk starts afresh.
    for (PatternHalfEdge& X : halfEdges) {
        if (X.pair) continue;
        PatternHalfEdge* N = newHalfEdge(*this);
        pairUp(N, &X);
        N->vert = X.prev ? X.prev->vert : nullptr;
        N->boundary = true;
        X.boundary = true;
    }

    for (PatternHalfEdge& E : halfEdges) {
        if (E.face || !E.pair || !E.pair->face) continue;
        if (E.pair->face->kind == VertexMolecule) chainBoundarySegment(&E, true, true);
    }

    // A boundary corner of a vertex without a molecule has no gap side to
    // chain through; there the segments along its two polygon edges meet
    // directly, which keeps the paper outline one closed walk.
    for (PatternHalfEdge& E : halfEdges) {
        if (E.face || !E.pair || !E.pair->face || E.pair->face->kind != PolygonFace) continue;
        bool headFree = E.vert && !E.vert->vtmEdge;
        bool tailFree = E.pair->vert && !E.pair->vert->vtmEdge;
        chainBoundarySegment(&E, headFree, tailFree);
    }
}
