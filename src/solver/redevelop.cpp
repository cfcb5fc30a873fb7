#include <algorithm>
#include <cmath>

#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/layout_terms.h"
#include "solver/linear_algebra.h"

namespace {

// The faced half-edge next to h around its tail in one sense (hn) or the other (hp).
HalfEdge* nextFacedLeaving(HalfEdge* h) {
    HalfEdge* x = h->pair->next;
    return x->face ? x : x->pair->next;
}

HalfEdge* previousFacedLeaving(HalfEdge* h) {
    HalfEdge* x = h->prev->pair;
    return x->face ? x : x->prev->pair;
}

// The signed angle from n to D, folded to within a quarter turn.
double deviation(Vec2 n, Vec2 D) { return foldToQuarterTurns(std::atan2(cross2(n, D), dot2(n, D))); }

}  // namespace

void LayoutSolver::solveTranslationsWithWidthFloor() {
    if (!allocated) return;
    clearTranslationSystem(*this);
    for (const HalfEdge& h : model->halfEdges) {
        if (!h.face) continue;
        double w = edgeValue(tuckWidths, &h);
        Vec2 P1, P2;
        double m;
        const HalfEdge* other;
        if (!h.onCut) {
            if (!(h.vert->index < h.pair->vert->index) || !h.pair->face) continue;
            // The copies at the wide end of the strip.
            if (edgeValue(edgeAngles, &h) > 0) {
                P1 = h.corner;
                P2 = h.pair->prev->corner;
            } else {
                P1 = h.prev->corner;
                P2 = h.pair->corner;
            }
            // Overlapping copies are asked to open to half the overlap.
            m = w > -0.5 * w ? w : -0.5 * w;
            other = h.pair;
        } else {
            other = nextAlongCut(&h);
            if (!other) continue;
            P1 = h.prev->corner;
            P2 = other->corner;
            m = w > 0.9 * w ? w : 0.9 * w;
        }
        Vec2 n = normalOf(*this, &h);
        setTranslationRow(*this, h.edgeIndex, n, h.face->index, other->face->index, dot2(n, P1 - P2) - m);
    }
    factorNormalMatrix(translationMatrix, translationFactor);
    correctFaceTranslations(*this);
}

void LayoutSolver::correctAnglesFromLayout() {
    if (!allocated || !angleFactor.ready()) return;
    std::fill(angleStep.begin(), angleStep.end(), 0.0);

    // Gaps that the penalty steps have driven to zero come out a rounding
    // error below it; copies that close are not copies that overlap, and
    // turning the edges for them would undo a converged layout.
    const Vec3 size = model->bboxSize();
    const double rounding = 1e-6 * std::sqrt(size.x * size.x + size.y * size.y + size.z * size.z);
    bool overlap = false;
    for (const HalfEdge& h : model->halfEdges)
        if (effectiveGap(&h) < -rounding) {
            overlap = true;
            break;
        }

    if (overlap) {
        solveTranslationsWithWidthFloor();
        applyTranslations();
        const size_t maxSteps = model->halfEdges.size();
        for (const Vertex& v : model->vertices) {
            if (v.edge.empty()) continue;
            HalfEdge* h0 = v.edge[0];
            if (!h0->face) h0 = h0->prev->pair;
            HalfEdge* h = h0;
            // The gaps between neighbouring copies of v should run along the
            // normals of the bisectors; their deviations turn the edges.
            for (size_t steps = 0; steps < maxSteps; ++steps) {
                HalfEdge* hp = previousFacedLeaving(h);
                HalfEdge* hn = nextFacedLeaving(h);
                double a1 = deviation(normalOf(*this, h), tailOnSheet(h) - tailOnSheet(hn));
                double a2 = deviation(normalOf(*this, hp), tailOnSheet(hp) - tailOnSheet(h));
                double V = 0.5 * (a2 - a1);
                if (h->onCut) {
                    addToEdge(angleStep, h, 0.25 * edgeSign(h) * V);
                    addToEdge(angleStep, h->pair->next, 0.25 * edgeSign(h->pair->next) * V);
                    addToEdge(angleStep, hp, 0.5 * edgeSign(hp) * V);
                } else if (hp->onCut) {
                    addToEdge(angleStep, h, 0.5 * edgeSign(h) * V);
                    addToEdge(angleStep, hp, 0.25 * edgeSign(hp) * V);
                    addToEdge(angleStep, hp->pair->next, 0.25 * edgeSign(hp->pair->next) * V);
                } else {
                    addToEdge(angleStep, h, 0.5 * edgeSign(h) * V);
                    addToEdge(angleStep, hp, 0.5 * edgeSign(hp) * V);
                }
                h = hp;
                if (h == h0) break;
            }
        }
    }

    // Every vertex stays closed: only the part of the step that keeps the
    // angle sums is taken.
    projectOntoNullSpace(angleMatrix, angleFactor, angleDefects.data(), angleStep.data());
    addScaled(edgeAngles, 1.0, angleStep);
}
