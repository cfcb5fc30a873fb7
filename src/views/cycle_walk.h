#ifndef PLICATROPE_VIEWS_CYCLE_WALK_H
#define PLICATROPE_VIEWS_CYCLE_WALK_H

#include <cstddef>

#include "model/oripoly.h"

// Visits the half-edges of the cycle that starts at `start`, stepping with
// `step` (along next, prev, or around a vertex). A broken link ends the walk
// instead of the program: the views still draw a model whose links the
// topology check is reporting, as far as its links allow.
template <class Step, class Visit>
void walkCycle(HalfEdge* start, std::size_t limit, Step step, Visit visit) {
    HalfEdge* h = start;
    for (std::size_t i = 0; h && i < limit; ++i) {
        visit(h);
        h = step(h);
        if (h == start) return;
    }
}

inline HalfEdge* nextOf(HalfEdge* h) { return h->next; }
inline HalfEdge* prevOf(HalfEdge* h) { return h->prev; }

// The position on the sheet of a half-edge's head in its face.
inline Vec2 sheetCorner(const HalfEdge* h) { return h->face->translation + h->corner; }

#endif
