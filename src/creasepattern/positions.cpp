#include <cmath>

#include "creasepattern/crease_pattern.h"
#include "creasepattern/sheet_geometry.h"
#include "model/oripoly.h"

namespace {

using namespace sheet;

const double kPi = 3.14159265358979323846;

// Bound on |tan| of a crimp base angle. Near a right angle the apex of the
// isosceles triangle runs off to infinity; capping the slope keeps both crimp
// points finite, at most 500 VTM-edge lengths from the edge's midpoint.
const double kMaxCrimpSlope = 1e3;

Vec2 unit(Vec2 w) { return w.normalize(); }
bool isFinite(const Vec2& w) { return std::isfinite(w.x) && std::isfinite(w.y); }

const PatternFace* faceAcross(const PatternHalfEdge* p) { return p->pair ? p->pair->face : nullptr; }

Vec2 ownDirection(const PatternHalfEdge* p) {
    if (!p->vert || !p->prev || !p->prev->vert) return Vec2(1.0, 0.0);
    return unit(p->vert->pos - p->prev->vert->pos);
}

// The solver's bisectors exist only once it has edge angles for this edge.
bool hasBisector(const Polyhedron* model, const HalfEdge* X) {
    const LayoutSolver& solver = model->solver;
    return X && solver.anglesReady && X->edgeIndex >= 0 && X->edgeIndex < solver.numEdges &&
           static_cast<size_t>(X->edgeIndex) < solver.edgeAngles.size();
}

// Direction of a molecule side across the gap that the face-less G.pair
// opens at the paper edge. False when the rule has nothing to work with.
bool boundaryRule(const Polyhedron* model, const HalfEdge* G, Vec2& result) {
    int outerEdges = model->numEdges - model->numInteriorEdges;
    if (!G || !G->pair || !G->pair->next || !G->pair->next->pair || outerEdges <= 0) return false;
    const HalfEdge* H = G->pair;
    const HalfEdge* K = H->next->pair;
    double g1 = angleFromTo(H->direction, -G->direction);
    double g2 = angleFromTo(K->direction, -H->next->direction);
    Vec2 w = quarterTurn(G->direction);
    w.rotate(-(g1 + g2 + kPi + 2.0 * kPi / outerEdges) / 2.0);
    result = unit(w);
    return isFinite(result);
}

Vec2 centroidOf(const PatternFace* f) {
    int n = countSides(f);
    Vec2 sum;
    const PatternHalfEdge* s = f->edge;
    for (int i = 0; i < n; ++i, s = s->next) sum = sum + s->vert->pos;
    return sum / n;
}

// Side from which the centre is measured: one with edge molecules across it
// and its successor, else one with an edge molecule across, or the side
// before it when that is the longer neighbour. Either way the side across
// the edge molecule is the base or its successor, whose ideal directions
// the centre honours.
PatternHalfEdge* baseSide(const PatternFace* f) {
    int n = countSides(f);
    PatternHalfEdge* s = f->edge;
    for (int i = 0; i < n; ++i, s = s->next) {
        const PatternFace* a = faceAcross(s);
        const PatternFace* b = faceAcross(s->next);
        if (a && a->kind == EdgeMolecule && b && b->kind == EdgeMolecule) return s;
    }
    s = f->edge;
    for (int i = 0; i < n; ++i, s = s->next) {
        const PatternFace* a = faceAcross(s);
        if (!a || a->kind != EdgeMolecule) continue;
        Vec2 prev = s->prev->vert->pos - s->prev->prev->vert->pos;
        Vec2 next = s->next->vert->pos - s->vert->pos;
        return dot(prev, prev) >= dot(next, next) ? s->prev : s;
    }
    return f->edge;
}

double crimpSlope(double angle) {
    double t = std::tan(angle);
    if (std::isnan(t)) return 0.0;
    if (t > kMaxCrimpSlope) return kMaxCrimpSlope;
    if (t < -kMaxCrimpSlope) return -kMaxCrimpSlope;
    return t;
}

}  // namespace

Vec2 PatternHalfEdge::idealDirection() const {
    const Polyhedron* model = owner ? owner->model : nullptr;
    const HalfEdge* M = vert ? vert->modelHalfEdge : nullptr;
    if (!model || !M) return ownDirection(this);

    const PatternFace* across = faceAcross(this);
    char mine = face ? face->kind : 0;
    char other = across ? across->kind : 0;
    Vec2 d;
    if (mine == VertexMolecule && !across) {
        if (boundaryRule(model, M->next, d)) return d;
    } else if (mine == VertexMolecule && other == EdgeMolecule) {
        if (hasBisector(model, M->next)) return quarterTurn(model->solver.bisectorDirection(M->next));
    } else if (!face && other == VertexMolecule) {
        const HalfEdge* G = M->pair && M->pair->prev ? M->pair->prev->pair : nullptr;
        if (boundaryRule(model, G, d)) return -d;
    } else if (mine == EdgeMolecule && other == VertexMolecule) {
        if (hasBisector(model, M)) return quarterTurn(model->solver.bisectorDirection(M));
    }
    return ownDirection(this);
}

void PatternFace::computeCentre() {
    if (!edge || countSides(this) < 2) return;
    const PatternHalfEdge* s = baseSide(this);

    Vec2 u = s->vert->pos;
    Vec2 q = s->next->vert->pos - u;
    Vec2 r = s->prev->vert->pos - u;
    Vec2 d1 = takesIdealDirection(s->next) ? s->next->idealDirection() : q;
    Vec2 d2 = takesIdealDirection(s) ? -s->idealDirection() : r;
    d1.normalize();
    d2.normalize();

    double A = dot(q, d1);
    double B = dot(r, d2);
    double divisor = 2.0 * cross(d1, d2);
    if (divisor != 0.0) {
        Vec2 c = u + Vec2(A * d2.y - B * d1.y, B * d1.x - A * d2.x) / divisor;
        if (isFinite(c)) {
            centre = c;
            centreComputed = true;
            return;
        }
    }
    // The two lines are parallel, so they give no centre: keep the last one,
    // and only when there is none, or it is not usable, take the middle of
    // the corners.
    if (!centreComputed || !isFinite(centre)) centre = centroidOf(this);
    centreComputed = true;
}

double oppositeAngle(const HalfEdge* X) {
    if (!X) return 0.0;
    const PatternHalfEdge* q = X->patternVertex ? X->patternVertex->vtmEdge : nullptr;
    double b = 0.0;
    if (q && countSides(q->face) == 3) {
        Vec2 d0 = q->idealDirection();
        Vec2 d1 = q->next->idealDirection();
        Vec2 d2 = q->next->next->idealDirection();
        // The two signed turns can land a whole turn away from the angle;
        // taken within half a turn of zero it follows the corners without
        // jumps, and so does the crimp base angle made from it.
        b = std::remainder(angleFromTo(d0, d1) - kPi + angleFromTo(d2, d0), 2.0 * kPi);
    }
    double gap = X->pair ? angleFromTo(-X->direction, X->pair->direction) : 0.0;
    return 0.5 * gap + kPi - b;
}

bool crimpBaseAngles(const HalfEdge* X, double& s, double& s2) {
    if (!X || !X->face || !X->pair || !X->pair->face) return false;
    s = 0.5 * angleFromTo(-X->direction, X->pair->direction) + kPi / 2 - X->tuckAngle;
    s2 = s - (oppositeAngle(X) - X->tuckAngle) / 2;
    return true;
}

void CrimpRecord::computePoints() {
    const HalfEdge* X = vertex ? vertex->modelHalfEdge : nullptr;
    const HalfEdge* T = X ? X->pair : nullptr;
    double s, s2;
    if (!T || !T->prev || !crimpBaseAngles(X, s, s2)) return;
    Vec2 P1 = sheetPosition(X);
    Vec2 P2 = T->face->translation + T->prev->corner;
    Vec2 mid = 0.5 * (P1 + P2);
    Vec2 across = quarterTurn(P1 - P2);
    point1 = mid + (0.5 * crimpSlope(s)) * across;
    point2 = mid + (0.5 * crimpSlope(s2)) * across;
}

void CreasePattern::updatePositions() {
    if (!built) return;
    // Centres first, from the corners of the previous refresh.
    for (PatternFace& f : faces)
        if (f.kind == VertexMolecule) f.computeCentre();
    for (PatternVertex& v : vertices)
        if (v.modelHalfEdge && v.modelHalfEdge->face) v.pos = sheetPosition(v.modelHalfEdge);
    for (BoundaryMidpoint& m : midpoints) {
        const PatternHalfEdge* e = m.halfEdge;
        if (e && e->vert && e->pair && e->pair->vert) m.pos = 0.5 * (e->vert->pos + e->pair->vert->pos);
    }
    for (CrimpRecord& c : crimps) c.computePoints();
}
