#include <vector>

#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/face_walk.h"

Vec2 LayoutSolver::bisectorDirection(const HalfEdge* h) const {
    if (!h) return Vec2(1.0, 0.0);
    if (h->onCut && !h->face) {
        // Two face-less halves would send this back and forth for ever.
        if (!h->pair || !h->pair->face) return Vec2(1.0, 0.0);
        return -bisectorDirection(h->pair);
    }
    if (!h->prev) return Vec2(1.0, 0.0);
    Vec2 v = h->corner - h->prev->corner;
    double turn = signedValue(*this, edgeAngles, h);
    if (h->onCut) {
        const HalfEdge* h2 = h->pair ? h->pair->next : nullptr;
        turn += signedValue(*this, edgeAngles, h2) + outsideAngle(numOuterEdges);
    }
    v.rotate(-0.5 * turn);
    return v.normalize();
}

namespace {

// Lays each face out in sheet orientation from the running direction of the
// half-edge it is entered by, and gives every face-less half-edge the
// direction its copy would have.
struct Orientation {
    typedef Vec2 State;  // the running direction; it keeps its length
    const LayoutSolver& solver;

    HalfEdge* across(HalfEdge* n) const { return n->pair && n->pair->face ? n->pair : nullptr; }
    void enter(HalfEdge* e, int depth, Vec2& dir) const {
        // layoutFace turns a zero start into (1, 0); the running direction follows it.
        if (dir.x == 0.0 && dir.y == 0.0) dir = Vec2(1.0, 0.0);
        e->layoutFace(dir);
        e->face->depth = depth;
    }
    // The pair's copy runs along the reversed direction turned back by the edge angle.
    Vec2 toward(const HalfEdge* n, Vec2 at) const {
        Vec2 w = -at;
        w.rotate(-signedValue(solver, solver.edgeAngles, n));
        return w;
    }
    void pass(HalfEdge* n, Vec2& at) const {
        if (n->pair && !n->pair->face) n->pair->direction = toward(n, at);
        at.rotateBy(Vec2(-n->cornerCos, n->cornerSin));
    }
};

}  // namespace

void LayoutSolver::orientFacesFrom(HalfEdge* h, int32_t depth, Vec2 v) {
    if (!h || !h->face) return;
    Orientation walk{*this};
    walkShortestPaths(h, depth, v, walk);
}

void LayoutSolver::propagateDirections() {
    if (!anglesReady || !model || model->faces.empty()) return;
    model->resetFaceDepths();
    HalfEdge* h0 = model->faces.front().edge;
    if (!h0 || !h0->prev) return;
    orientFacesFrom(h0, 0, h0->corner - h0->prev->corner);
}
