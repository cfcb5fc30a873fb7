#include <algorithm>
#include <cmath>

#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/layout_terms.h"
#include "solver/linear_algebra.h"

namespace {

const double kHalfPi = 1.5707963267948966;

// How much wider h's strip is at its wide end than at its narrow end.
double chord(const LayoutSolver& solver, const HalfEdge* h) {
    return 2.0 * h->length * std::sin(0.5 * std::fabs(edgeValue(solver.edgeAngles, h)));
}

double offsetLength(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The tilt of h's tuck away from the head's offset; the width limit and the
// tuck depth are both measured through its cosine.
double tuckTilt(const HalfEdge* h, double delta) { return h->tuckAngle - (0.5 * delta + kHalfPi); }

bool ownsEdge(const LayoutSolver& solver, const HalfEdge* h) {
    return h->edgeIndex >= 0 && h->edgeIndex < solver.numEdges;
}

}  // namespace

void LayoutSolver::solveWidths() {
    if (!allocated) return;
    std::fill(widthRhs.begin(), widthRhs.end(), 0.0);
    widthMatrix.clear();
    std::fill(tuckWidths.begin(), tuckWidths.end(), 0.0);

    const size_t maxSteps = model->halfEdges.size();
    for (const Vertex& c : model->vertices) {
        if (c.index < 0 || c.index >= numVertices) continue;
        const int row = 2 * c.index;
        forEachLeaving(c, maxSteps, [&](const HalfEdge* d) {
            if (!ownsEdge(*this, d) || (d->onCut && !d->face)) return;
            Vec2 u = bisectorDirection(d);
            // The gap at c is w + k where the strip's wide end lies at c.
            if (!d->onCut && !(signedValue(*this, edgeAngles, d) > 0)) {
                double k = chord(*this, d);
                widthRhs[row] -= u.x * k;
                widthRhs[row + 1] -= u.y * k;
            }
            widthMatrix.set(row, d->edgeIndex, u.x);
            widthMatrix.set(row + 1, d->edgeIndex, u.y);
        });
    }

    factorNormalMatrix(widthMatrix, widthFactor);
    leastNormSolution(widthMatrix, widthFactor, widthRhs.data(), particularWidths.data(), 0.0);
    addScaled(tuckWidths, 1.0, particularWidths);
    widthsReady = true;
}

void LayoutSolver::measureWidths() {
    if (!allocated || !translationsReady) return;
    const size_t maxSteps = model->halfEdges.size();
    for (const Vertex& v : model->vertices) {
        forEachLeaving(v, maxSteps, [&](const HalfEdge* h) {
            if (!ownsEdge(*this, h) || !h->face) return;
            // The two copies of h's tail, h's own first.
            Vec2 D;
            if (!h->onCut) {
                if (signedValue(*this, edgeAngles, h) < 0 || !h->pair->face) return;
                D = tailOnSheet(h) - headOnSheet(h->pair);
            } else {
                const HalfEdge* X = nextAlongCut(h);
                if (!X) return;
                D = tailOnSheet(h) - headOnSheet(X);
            }
            tuckWidths[h->edgeIndex] = cross2(bisectorDirection(h), D);
        });
    }
    widthsReady = true;
}

double LayoutSolver::widthLimit(const HalfEdge* h) const {
    if (!anglesReady) return 0.0;
    double L = offsetLength(h->vert->offset);
    double delta = -signedValue(*this, edgeAngles, h);
    double limit = 2.0 * L * std::cos(tuckTilt(h, delta));
    if (delta < 0) limit -= 2.0 * h->length * std::sin(0.5 * delta);
    return limit;
}

// Where the head's offset runs parallel to the tuck (cos 0) no depth along it
// reaches the width. Such a tuck reports depth 0, as one that is not there, so
// that no infinite flap reaches the views; its width limit of 0 already marks
// it as too wide.
double LayoutSolver::tuckDepth(const HalfEdge* h) const {
    if (!widthsReady || h->onCut) return 0.0;
    double w = edgeValue(tuckWidths, h);
    double delta = -signedValue(*this, edgeAngles, h);
    double halfWidth = 0.5 * w;
    if (delta < 0) halfWidth -= h->length * std::sin(0.5 * delta);
    double depth = halfWidth / std::cos(tuckTilt(h, delta));
    return std::isfinite(depth) ? depth : 0.0;
}

double LayoutSolver::effectiveGap(const HalfEdge* h) const {
    double w = edgeValue(tuckWidths, h);
    if (!h->onCut && signedValue(*this, edgeAngles, h) < 0) return w + chord(*this, h);
    return w;
}

bool LayoutSolver::withinWidthLimit(const HalfEdge* h) const {
    if (!widthsReady) return false;
    if (h->onCut) return true;
    return widthLimit(h) > edgeValue(tuckWidths, h);
}
