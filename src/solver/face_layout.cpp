#include <cfloat>
#include <vector>

#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/face_walk.h"

namespace {

// Places each face so that the copies of the edge it is entered across lie
// one tuck width apart at the strip's narrow end. Cut edges are not crossed.
struct Placement {
    typedef Vec2 State;  // the face's translation
    const LayoutSolver& solver;

    HalfEdge* across(HalfEdge* n) const {
        if (n->onCut || !n->pair || n->pair->onCut || !n->pair->face) return nullptr;
        return n->pair;
    }
    void enter(HalfEdge* e, int depth, Vec2& pos) const {
        e->face->depth = depth;
        e->face->translation = pos;
    }
    Vec2 toward(const HalfEdge* n, Vec2 at) const {
        Vec2 u = solver.bisectorDirection(n);
        Vec2 across(u.y, -u.x);
        double w = edgeValue(solver.tuckWidths, n);
        // The copies meet at the narrow end of the strip, w apart.
        Vec2 meet = signedValue(solver, solver.edgeAngles, n) > 0 ? n->prev->corner - n->pair->corner
                                                                  : n->corner - n->pair->prev->corner;
        return at + meet + w * across;
    }
    void pass(HalfEdge*, Vec2&) const {}
};

}  // namespace

void LayoutSolver::layoutFacesFrom(HalfEdge* h, Vec2 pos, int depth) {
    if (!allocated || !h || !h->face) return;
    Placement walk{*this};
    walkShortestPaths(h, depth, pos, walk);
}

void LayoutSolver::layoutFaces() {
    if (!widthsReady || model->faces.empty()) return;
    model->resetFaceDepths();
    Face& first = model->faces.front();
    layoutFacesFrom(first.edge, first.translation, 0);
}

void LayoutSolver::centreLayout() {
    Vec2 lo(DBL_MAX, DBL_MAX), hi(-DBL_MAX, -DBL_MAX);
    bool any = false;
    for (const HalfEdge& h : model->halfEdges) {
        if (!h.face) continue;
        Vec2 P = h.face->translation + h.corner;
        if (P.x < lo.x) lo.x = P.x;
        if (P.y < lo.y) lo.y = P.y;
        if (P.x > hi.x) hi.x = P.x;
        if (P.y > hi.y) hi.y = P.y;
        any = true;
    }
    if (!any) return;
    Vec2 c = 0.5 * (lo + hi);
    for (Face& f : model->faces) f.translation = f.translation - c;
}
