#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/edge_terms.h"
#include "solver/linear_algebra.h"

namespace {

const double kPi = 3.141592653589793;
// 0.999 of 120 degrees: the largest edge angle a tuck can fold.
const double kMaxEdgeAngle = 0.999 * 2.0 * kPi / 3.0;
const int kMaxPasses = 512;

// NaN when any value is NaN, so that no comparison with a bound passes.
double largestMagnitude(const std::vector<double>& values) {
    double m = 0.0;
    for (double x : values) {
        if (std::isnan(x)) return x;
        m = std::max(m, std::fabs(x));
    }
    return m;
}

}  // namespace

void LayoutSolver::solveAngles() {
    if (!allocated || !model) return;
    std::fill(angleStep.begin(), angleStep.end(), 0.0);
    std::fill(edgeAngles.begin(), edgeAngles.end(), 0.0);
    angleMatrix.clear();

    const size_t V = (size_t)numVertices;
    const double outside = outsideAngle(numOuterEdges);
    for (const Vertex& v : model->vertices) {
        if (v.index < 0 || (size_t)v.index >= V) continue;
        double sectors = 0.0;
        forEachLeaving(v, model->halfEdges.size(), [&](HalfEdge* h) {
            angleMatrix.set(v.index, h->edgeIndex, edgeSign(h));
            sectors += h->face && h->prev ? h->prev->cornerAngle : outside;
        });
        angleDefects[v.index] = 2.0 * kPi - sectors;
    }

    factorNormalMatrix(angleMatrix, angleFactor);
    leastNormSolution(angleMatrix, angleFactor, angleDefects.data(), particularAngles.data(), 1.0);
    addScaled(edgeAngles, 1.0, particularAngles);
}

void LayoutSolver::enforceAngleConditions() {
    if (!allocated || !model) return;
    const int n = numOuterEdges;
    const double outside = outsideAngle(n);
    const double halfOutside = 0.5 * outside;  // pi/2 + pi/n
    auto st = [&](const HalfEdge* h) { return signedValue(*this, edgeAngles, h); };
    // Moves s(h)*theta[h] by -k, through the shared per-edge entry.
    auto push = [&](const HalfEdge* h, double k) { addToEdge(angleStep, h, -edgeSign(h) * k); };

    bool changed = true;
    for (int passes = 0; changed && passes < kMaxPasses; ++passes) {
        std::fill(angleStep.begin(), angleStep.end(), 0.0);
        consolePrintf(".");
        changed = false;

        for (HalfEdge& h : model->halfEdges) {
            double x = st(&h) - kMaxEdgeAngle;
            if (x > 0) {
                push(&h, x);
                changed = true;
            }
            if (!h.pair || !h.pair->next) continue;
            HalfEdge* h2 = h.pair->next;
            if (!h.onCut && !h2->onCut) {
                double u = 0.5 * st(&h) + 0.5 * st(h2) + h.pair->cornerAngle;
                double v = u > kPi ? u - kPi : (u < 0 ? u : 0.0);
                if (u > kPi || u < 0) {
                    push(&h, 0.5 * v);
                    push(h2, 0.5 * v);
                    changed = true;
                }
            } else if (h.onCut && h2->onCut) {
                double u = st(&h) + st(h2) + outside;
                double v = u < kPi ? u - kPi : (u > 2.0 * kPi ? u - 2.0 * kPi : 0.0);
                if (u < kPi || u > 2.0 * kPi) {
                    push(&h, v);
                    push(h2, v);
                    changed = true;
                }
            } else if (h.onCut) {
                // Corrected, but on their own these never call for another pass.
                HalfEdge* p = h.prev ? h.prev->pair : nullptr;
                if (!p) continue;
                double u = 0.5 * st(&h) + 0.5 * st(p) + halfOutside + 0.5 * st(h2);
                if (u > kPi) {
                    push(&h, 0.5 * (u - kPi));
                    push(p, 0.5 * (u - kPi));
                    push(h2, 0.5 * (u - kPi));
                }
            } else {
                HalfEdge* h3 = h2->pair ? h2->pair->next : nullptr;
                if (!h3) continue;
                double u = 0.5 * st(&h) + 0.5 * st(h2) + 0.5 * st(h3) + halfOutside;
                if (u > kPi) {
                    push(&h, 0.5 * (u - kPi));
                    push(h2, 0.5 * (u - kPi));
                    push(h3, 0.5 * (u - kPi));
                }
            }
        }

        if (changed) {
            // Conditions that contradict each other (many corners of the faces
            // at one point, say) can make every pass overshoot more than the
            // last, until the angles overflow; the last angles that stayed
            // within any meaning are kept.
            std::vector<double> before = edgeAngles;
            addScaled(edgeAngles, 1.0, angleStep);
            projectOntoNullSpace(angleMatrix, angleFactor, angleDefects.data(), edgeAngles.data());
            addScaled(edgeAngles, 1.0, particularAngles);
            if (!(largestMagnitude(edgeAngles) <= 4.0 * std::max(kPi, largestMagnitude(particularAngles)))) {
                edgeAngles.swap(before);
                break;
            }
        }
    }
    anglesReady = true;
    printVertexAngleSums();
}

void LayoutSolver::printVertexAngleSums() {
    if (!model) return;
    const double outside = outsideAngle(numOuterEdges);
    for (const Vertex& v : model->vertices) {
        if (v.index < 0) continue;
        double sum = 0.0;
        forEachLeaving(v, model->halfEdges.size(), [&](HalfEdge* h) {
            sum += (h->pair && h->pair->face ? h->pair->cornerAngle : outside) +
                   signedValue(*this, edgeAngles, h);
        });
        consolePrintf("%f ", sum / kPi);
    }
}

void LayoutSolver::measureAnglesFromDirections() {
    if (!model) return;
    for (HalfEdge& h : model->halfEdges) {
        if (!h.face || !h.pair || !h.vert || !h.pair->vert) continue;
        if (h.edgeIndex < 0 || (size_t)h.edgeIndex >= edgeAngles.size()) continue;
        Vec2 c = -h.pair->direction, d = h.direction;
        double alpha = std::atan2(c.x * d.y - c.y * d.x, c.x * d.x + c.y * d.y);
        if (h.pair->face) {
            if (h.vert->index < h.pair->vert->index) edgeAngles[h.edgeIndex] = alpha;
        } else {
            edgeAngles[h.edgeIndex] = edgeSign(&h) * alpha;
        }
    }
}
