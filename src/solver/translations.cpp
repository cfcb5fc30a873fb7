#include <algorithm>

#include "model/oripoly.h"
#include "solver/layout_terms.h"

void clearTranslationSystem(LayoutSolver& solver) {
    size_t E = (size_t)solver.numEdges;
    std::fill(solver.translationRhs, solver.translationRhs + E, 0.0);
    std::fill(solver.translationWork, solver.translationWork + E, 0.0);
    solver.translationMatrix.clear();
}

void setTranslationRow(LayoutSolver& solver, int e, Vec2 v, int f1, int f2, double rhs) {
    int E = solver.numEdges, F = solver.numFaces;
    // Elements numbered after the last allocate have no row or column.
    if (e < 0 || e >= E || f1 < 0 || f1 >= F || f2 < 0 || f2 >= F) return;
    SparseMatrix& A = solver.translationMatrix;
    A.set(e, 2 * f1, -v.x);
    A.set(e, 2 * f1 + 1, -v.y);
    // Both copies in one face (a corner that only one face touches) move
    // together: the row ties no translation.
    A.set(e, 2 * f2, f1 == f2 ? 0.0 : v.x);
    A.set(e, 2 * f2 + 1, f1 == f2 ? 0.0 : v.y);
    solver.translationRhs[e] = rhs;
}

void correctFaceTranslations(LayoutSolver& solver) {
    for (const Face& f : solver.model->faces)
        if (f.index >= 0 && f.index < solver.numFaces) solver.faceTranslations[f.index] = f.translation;
    solver.correctTowardConstraints(solver.translationMatrix, solver.translationFactor, solver.translationRhs,
                                    solver.translationWork,
                                    reinterpret_cast<double*>(solver.faceTranslations));
    solver.translationsReady = true;
}

void LayoutSolver::buildTranslationSystem() {
    if (!allocated) return;
    clearTranslationSystem(*this);
    for (const HalfEdge& h : model->halfEdges) {
        if (!h.onCut) {
            // One row per uncut edge, from the half whose head has the smaller index.
            if (!(h.vert->index < h.pair->vert->index) || !h.face || !h.pair->face) continue;
            Vec2 u = bisectorDirection(&h);
            Vec2 M1 = 0.5 * (h.corner + h.prev->corner);
            Vec2 M2 = 0.5 * (h.pair->corner + h.pair->prev->corner);
            setTranslationRow(*this, h.edgeIndex, u, h.face->index, h.pair->face->index, dot2(u, M1 - M2));
        } else if (h.face) {
            const HalfEdge* X = nextAlongCut(&h);
            if (!X) continue;
            Vec2 u = bisectorDirection(&h);
            Vec2 P = h.prev->corner;
            Vec2 Q = X->corner;
            setTranslationRow(*this, h.edgeIndex, u, h.face->index, X->face->index, dot2(u, P - Q));
        }
    }
    factorNormalMatrix(translationMatrix, translationFactor);
    translationSystemReady = true;
}

void LayoutSolver::solveTranslations() {
    if (!allocated) return;
    if (!translationSystemReady) buildTranslationSystem();
    correctFaceTranslations(*this);
}

void LayoutSolver::applyTranslations() {
    if (!allocated || !translationsReady) return;
    for (Face& f : model->faces)
        if (f.index >= 0 && f.index < numFaces) f.translation = faceTranslations[f.index];
    measureWidths();
}
