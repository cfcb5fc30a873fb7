#include <algorithm>
#include <cmath>

#include "creasepattern/crease_pattern.h"
#include "creasepattern/sheet_geometry.h"
#include "model/oripoly.h"

namespace {

using namespace sheet;

const double kPi = 3.14159265358979323846;
const double kTenthPi = 0.3141592653589793;

Vec2 sideVector(const PatternHalfEdge* p) { return p->vert->pos - p->prev->vert->pos; }
double sideLength(const PatternHalfEdge* p) {
    Vec2 d = sideVector(p);
    return std::sqrt(dot(d, d));
}

// The corners whose apex angle is measured: a triangle of a vertex molecule,
// laid the way its VTM edge should run, at an uncut corner whose edge has a
// face on both sides (the edge molecule bound reads both copies).
const HalfEdge* measuredCorner(const PatternVertex& P) {
    const PatternHalfEdge* h = P.vtmEdge;
    if (!h || !h->face || countSides(h->face) != 3) return nullptr;
    if (!(dot(sideVector(h), h->idealDirection()) > 0)) return nullptr;
    const HalfEdge* M = P.modelHalfEdge;
    if (!M || M->onCut || !M->face || !M->prev || !M->pair || !M->pair->face || !M->pair->prev)
        return nullptr;
    return M;
}

// The largest apex angle the tuck at M and the edge molecule of M's edge
// allow.
double allowedApexAngle(const HalfEdge* M) {
    const HalfEdge* T = M->pair;
    double tuckBound = std::min(0.5 * angleFromTo(-M->direction, T->direction) + kPi - M->tuckAngle, kPi);
    Vec2 V1 = sheetPosition(T->prev) - sheetPosition(M->prev);
    Vec2 V2 = sheetPosition(M) - sheetPosition(T);
    return std::min(kPi - 0.5 * angleFromTo(V1, V2), tuckBound);
}

// Rises from 0 at no excess to 0.2 at an excess of a tenth of pi.
double excessWeight(double d) { return 0.2 * std::sin(5.0 * std::min(std::max(d, 0.0), kTenthPi)); }

void addTerm(HalfEdge* target, double term) {
    // One broken triangle must not poison the sums of its neighbours.
    if (target && std::isfinite(term)) target->anglePenalty += term;
}

// Spreads the weighted excess of the corner whose VTM edge is h over the
// ring of h's vertex molecule, starting at the apex W.
void spreadTerm(const CreasePattern& cp, const PatternHalfEdge* h, double g) {
    const PatternHalfEdge* An = h->next;
    const PatternHalfEdge* Bp = h->prev;
    Vec2 iA = quarterTurn(-An->idealDirection());
    Vec2 iB = quarterTurn(Bp->idealDirection());
    double Ln = sideLength(An);
    double Lp = sideLength(Bp);

    const PatternHalfEdge* first = An->vert->vtmEdge;
    const PatternHalfEdge* e = first;
    bool pastH = false;
    // A ring that does not come back is cut short instead of walked forever.
    for (size_t steps = 0; e && steps < cp.vertices.size(); ++steps) {
        double s1 = -1.0, s2 = 1.0;
        if (e == h) {
            s2 = -1.0;
            pastH = true;
        } else if (pastH) {
            s1 = 1.0;
            s2 = -1.0;
        }
        Vec2 ideal = e->idealDirection();
        const HalfEdge* Me = e->vert ? e->vert->modelHalfEdge : nullptr;
        HalfEdge* target = Me && Me->next ? Me->next->pair : nullptr;
        addTerm(target, g * (s2 * Lp * dot(ideal, iB) + s1 * Ln * dot(ideal, iA)));
        e = e->vert ? e->vert->vtmEdge : nullptr;
        if (e == first) break;
    }
}

}  // namespace

void clearPenaltyTerms(Polyhedron* model) {
    if (!model) return;
    for (HalfEdge& h : model->halfEdges) h.anglePenalty = 0.0;
}

void CreasePattern::computeAngleConditionPenalty() {
    if (!built) return;
    clearPenaltyTerms(model);
    accumulateAngleConditionTerms();
}

void CreasePattern::accumulateAngleConditionTerms() {
    if (!built) return;
    clearPenaltyTerms(model);
    for (PatternVertex& P : vertices) {
        const HalfEdge* M = measuredCorner(P);
        if (!M) continue;
        PatternHalfEdge* h = P.vtmEdge;
        Vec2 A = -h->next->idealDirection();
        Vec2 B = h->prev->idealDirection();
        double apexAngle = std::atan2(-dot(A, B), cross(B, A)) + kPi / 2;
        double g = excessWeight(apexAngle - allowedApexAngle(M));
        h->active = g > 0;
        spreadTerm(*this, h, g);
    }
}
