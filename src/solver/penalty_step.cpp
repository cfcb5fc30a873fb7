#include <algorithm>
#include <cmath>

#include "model/oripoly.h"
#include "solver/layout_terms.h"
#include "solver/linear_algebra.h"

namespace {

// One term of the penalty: its square is added to the sum and twice its value
// to the gradient. A term that is not finite (a degenerate crease pattern)
// is left out, so that it cannot spread to every width through the projection.
void addTerm(double p, double& gradient, double& sum) {
    if (!std::isfinite(p)) return;
    gradient += 2.0 * p;
    sum += p * p;
}

}  // namespace

double LayoutSolver::penaltyStep(double a, double b, double c) {
    if (!allocated) return 0.0;
    const double q = 0.1 * b;
    std::fill(penaltyGradient.begin(), penaltyGradient.end(), 0.0);
    std::fill(widthIncrement.begin(), widthIncrement.end(), 0.0);
    double sum = 0.0;

    if (a > 0) {
        for (int i = 0; i < numEdges; ++i) {
            double p = a * tuckWidths[i];
            if (p < 0) addTerm(p, penaltyGradient[i], sum);
        }
    }
    if (c > 0) {
        for (const HalfEdge& h : model->halfEdges) {
            if (h.edgeIndex < 0 || h.edgeIndex >= numEdges) continue;
            double x = tuckWidths[h.edgeIndex] - widthLimit(&h);
            if (x > 0) addTerm(c * x, penaltyGradient[h.edgeIndex], sum);
        }
    }
    if (q > 0) {
        // An angle-condition term moves its width its own way: wider where
        // it is positive, narrower where it is negative.
        for (const HalfEdge& h : model->halfEdges) {
            if (h.edgeIndex < 0 || h.edgeIndex >= numEdges) continue;
            addTerm(-q * h.anglePenalty, penaltyGradient[h.edgeIndex], sum);
        }
    }
    if (sum == 0.0 || !widthFactor.ready()) return sum;

    // A unit step, then back onto the widths that close every vertex.
    addScaled(tuckWidths, -1.0, penaltyGradient);
    projectOntoNullSpace(widthMatrix, widthFactor, widthRhs.data(), tuckWidths.data());
    addScaled(tuckWidths, 1.0, particularWidths);
    widthsReady = true;
    return sum;
}

void LayoutSolver::fattenAt(Vec2 P, double sign, double S) {
    if (!allocated || !widthFactor.ready()) return;
    std::fill(widthIncrement.begin(), widthIncrement.end(), 0.0);
    // A view without height reaches nothing.
    if (S > 0) {
        for (const HalfEdge& h : model->halfEdges) {
            if (h.onCut || !h.face || !h.pair->face) continue;
            if (h.edgeIndex < 0 || h.edgeIndex >= numEdges) continue;
            Vec2 m = 0.5 * (h.face->translation + h.pair->face->translation);
            Vec2 d = m - P;
            double k = 0.2 - std::sqrt(d.x * d.x + d.y * d.y) / S;
            double increment = k > 0 ? sign * 0.015625 * S * k : 0.0;
            widthIncrement[h.edgeIndex] = std::isfinite(increment) ? increment : 0.0;
        }
    }
    projectOntoNullSpace(widthMatrix, widthFactor, widthRhs.data(), widthIncrement.data());
    addScaled(tuckWidths, 1.0, widthIncrement);
    widthsReady = true;
}
