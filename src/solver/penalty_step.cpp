#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/layout_terms.h"
#include "solver/linear_algebra.h"

namespace {

const double kNotFinite = std::numeric_limits<double>::infinity();

// One term of the penalty: its square is added to the sum and twice its value
// to the gradient. A term that is not finite (a degenerate crease pattern)
// is left out, so that it cannot spread to every width through the projection.
void addTerm(double p, double& gradient, double& sum) {
    if (!std::isfinite(p)) return;
    gradient += 2.0 * p;
    sum += p * p;
}

// Calls add(e, p) for every term p of the penalty with the weights a, b and
// c, e being the edge whose width the term moves.
template <class Add>
void forEachTerm(const LayoutSolver& s, double a, double b, double c, Add add) {
    const double q = 0.1 * b;
    if (a > 0) {
        for (int i = 0; i < s.numEdges; ++i) {
            double p = a * s.tuckWidths[i];
            if (p < 0) add(i, p);
        }
    }
    if (c > 0) {
        for (const HalfEdge& h : s.model->halfEdges) {
            if (h.edgeIndex < 0 || h.edgeIndex >= s.numEdges) continue;
            double x = s.tuckWidths[h.edgeIndex] - s.widthLimit(&h);
            if (x > 0) add(h.edgeIndex, c * x);
        }
    }
    if (q > 0) {
        // An angle-condition term moves its width its own way: wider where
        // it is positive, narrower where it is negative.
        for (const HalfEdge& h : s.model->halfEdges) {
            if (h.edgeIndex < 0 || h.edgeIndex >= s.numEdges) continue;
            add(h.edgeIndex, -q * h.anglePenalty);
        }
    }
}

}  // namespace

bool LayoutSolver::layoutFinite() const {
    for (int i = 0; i < numEdges; ++i)
        if (!std::isfinite(tuckWidths[i])) return false;
    for (const Face& f : model->faces)
        if (!std::isfinite(f.translation.x) || !std::isfinite(f.translation.y)) return false;
    return true;
}

void LayoutSolver::halt() {
    if (!halted) consolePrintf("\nsolver stopped: a tuck width or a face position is not finite\n");
    halted = true;
}

SavedPlacement LayoutSolver::placement() const {
    SavedPlacement p;
    p.widths = tuckWidths;
    p.translations.reserve(model->faces.size());
    for (const Face& f : model->faces) p.translations.push_back(f.translation);
    return p;
}

bool LayoutSolver::restorePlacement(const SavedPlacement& p) {
    if (p.widths.size() != tuckWidths.size() || p.translations.size() != model->faces.size()) return false;
    tuckWidths = p.widths;
    size_t i = 0;
    for (Face& f : model->faces) f.translation = p.translations[i++];
    return true;
}

void LayoutSolver::rememberFiniteLayout() {
    if (allocated && layoutFinite()) finiteLayout = placement();
}

bool LayoutSolver::restoreFiniteLayout() { return restorePlacement(finiteLayout); }

double LayoutSolver::penaltyOf(double a, double b, double c) const {
    if (!allocated) return 0.0;
    if (!layoutFinite()) return kNotFinite;
    double sum = 0.0, unused = 0.0;
    forEachTerm(*this, a, b, c, [&](int, double p) { addTerm(p, unused, sum); });
    return sum;
}

double LayoutSolver::penaltyStep(double a, double b, double c) {
    if (!allocated) return 0.0;
    if (halted) return kNotFinite;
    // Every term of a width that is not a number would be left out, and the
    // penalty would read as zero.
    if (!layoutFinite()) {
        halt();
        return kNotFinite;
    }
    std::fill(penaltyGradient.begin(), penaltyGradient.end(), 0.0);
    std::fill(widthIncrement.begin(), widthIncrement.end(), 0.0);
    double sum = 0.0;
    forEachTerm(*this, a, b, c, [&](int e, double p) { addTerm(p, penaltyGradient[e], sum); });
    if (sum == 0.0 || !widthFactor.ready()) return sum;

    // A unit step, then back onto the widths that close every vertex.
    std::vector<double> lastFinite = tuckWidths;
    addScaled(tuckWidths, -1.0, penaltyGradient);
    projectOntoNullSpace(widthMatrix, widthFactor, widthRhs.data(), tuckWidths.data());
    addScaled(tuckWidths, 1.0, particularWidths);
    if (!layoutFinite()) {
        tuckWidths.swap(lastFinite);
        halt();
        return kNotFinite;
    }
    widthsReady = true;
    return sum;
}

bool LayoutSolver::fattenAt(Vec2 P, double sign, double S) {
    // A stopped solver holds its last finite layout until Develop again.
    if (!allocated || halted || !widthFactor.ready()) return false;
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
    return true;
}
