#ifndef PLICATROPE_SOLVER_EDGE_TERMS_H
#define PLICATROPE_SOLVER_EDGE_TERMS_H

#include <cstddef>
#include <vector>

#include "model/oripoly.h"

// How the solver steps see the per-edge values from one half-edge.

// The sector outside the sheet at a boundary vertex: a corner of the convex
// outline that the n outer edges form. Without outer edges there is no such
// sector; pi keeps the value finite.
inline double outsideAngle(int numOuterEdges) {
    const double pi = 3.141592653589793;
    return numOuterEdges > 0 ? pi + 2.0 * pi / numOuterEdges : pi;
}

// Per-edge arrays read as zero and ignore writes at a half-edge whose edge
// index does not belong to them (a model numbered after the last allocate).
inline void addToEdge(std::vector<double>& values, const HalfEdge* h, double delta) {
    if (h && h->edgeIndex >= 0 && (size_t)h->edgeIndex < values.size()) values[h->edgeIndex] += delta;
}

inline double edgeValue(const std::vector<double>& values, const HalfEdge* h) {
    if (!h || h->edgeIndex < 0 || (size_t)h->edgeIndex >= values.size()) return 0.0;
    return values[h->edgeIndex];
}

// s(h) times the edge's value: the value as h sees it.
inline double signedValue(const LayoutSolver& solver, const std::vector<double>& values, const HalfEdge* h) {
    return solver.edgeSign(h) * edgeValue(values, h);
}

// Visits the half-edges leaving v in ring order (h := h.pair.next) from
// v.edge[0]; stops at a broken link and after one step per half-edge of the
// model, so a damaged ring cannot hang the solver.
template <class Visit>
void forEachLeaving(const Vertex& v, size_t maxSteps, Visit visit) {
    if (v.edge.empty()) return;
    HalfEdge* start = v.edge[0];
    HalfEdge* h = start;
    for (size_t steps = 0; h && steps < maxSteps; ++steps) {
        visit(h);
        h = h->pair ? h->pair->next : nullptr;
        if (h == start) break;
    }
}

#endif
