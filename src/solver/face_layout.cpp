#include <cfloat>
#include <vector>

#include "model/oripoly.h"
#include "solver/edge_terms.h"

namespace {

// One face of the placement: the half-edge it was entered by, the one it has
// reached, and the face's new translation.
struct PlaceFrame {
    HalfEdge* start;
    HalfEdge* n;
    Vec2 pos;
    int depth;
};

}  // namespace

// Depth-first in face-cycle order as a recursion would go, on an explicit
// stack: a long strip of faces would otherwise nest one call per face.
void LayoutSolver::layoutFacesFrom(HalfEdge* h, Vec2 pos, int depth) {
    if (!allocated || !h || !h->face) return;
    std::vector<PlaceFrame> stack;
    auto enter = [&](HalfEdge* e, Vec2 p, int d) {
        e->face->depth = d;
        e->face->translation = p;
        stack.push_back(PlaceFrame{e, e, p, d});
    };
    enter(h, pos, depth);
    while (!stack.empty()) {
        PlaceFrame& f = stack.back();
        HalfEdge* n = f.n;
        Vec2 at = f.pos;
        int d = f.depth;
        f.n = n->next;
        if (!f.n || f.n == f.start) stack.pop_back();  // invalidates f

        Face* g = n->pair->face;
        // A face already placed along a path at most one step longer stays.
        if (n->onCut || n->pair->onCut || !g || !(g->depth < 0 || g->depth > d + 1)) continue;
        Vec2 u = bisectorDirection(n);
        Vec2 across(u.y, -u.x);
        double w = edgeValue(tuckWidths, n);
        // The copies meet at the narrow end of the strip, w apart.
        Vec2 meet = signedValue(*this, edgeAngles, n) > 0 ? n->prev->corner - n->pair->corner
                                                          : n->corner - n->pair->prev->corner;
        enter(n->pair, at + meet + w * across, d + 1);
    }
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
