#include <vector>

#include "model/oripoly.h"
#include "solver/edge_terms.h"

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

// One face of the depth-first traversal: the half-edge it started from, the
// one it has reached and the running direction there.
struct OrientFrame {
    HalfEdge* start;
    HalfEdge* p;
    Vec2 cur;
    int32_t depth;
};

}  // namespace

// Depth-first as a recursion would go, but on an explicit stack: a long strip
// of faces would otherwise nest one call per face.
void LayoutSolver::orientFacesFrom(HalfEdge* h, int32_t depth, Vec2 v) {
    if (!h || !h->face) return;
    std::vector<OrientFrame> stack;
    auto enter = [&](HalfEdge* e, int32_t d, Vec2 dir) {
        // layoutFace turns a zero start into (1, 0); the running direction follows it.
        if (dir.x == 0.0 && dir.y == 0.0) dir = Vec2(1.0, 0.0);
        e->layoutFace(dir);
        e->face->depth = d;
        stack.push_back(OrientFrame{e, e, dir, d});
    };
    enter(h, depth, v);
    while (!stack.empty()) {
        OrientFrame& f = stack.back();
        HalfEdge* p = f.p;
        int32_t d = f.depth;
        HalfEdge* q = p->pair;
        Vec2 w = -f.cur;
        w.rotate(-signedValue(*this, edgeAngles, p));
        f.cur.rotateBy(Vec2(-p->cornerCos, p->cornerSin));
        f.p = p->next;
        if (!f.p || f.p == f.start) stack.pop_back();  // invalidates f

        if (!q) continue;
        if (q->face) {
            if (q->face->depth < 0 || q->face->depth > d + 1) enter(q, d + 1, w);
        } else {
            q->direction = w;
        }
    }
}

void LayoutSolver::propagateDirections() {
    if (!anglesReady || !model || model->faces.empty()) return;
    model->resetFaceDepths();
    HalfEdge* h0 = model->faces.front().edge;
    if (!h0 || !h0->prev) return;
    orientFacesFrom(h0, 0, h0->corner - h0->prev->corner);
}
