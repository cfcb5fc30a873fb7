#include "solver/layout_solver.h"

#include "model/oripoly.h"

LayoutSolver::~LayoutSolver() {
    release();
}

void LayoutSolver::release() {
    if (!allocated) return;
    edgeAngles.clear();
    particularAngles.clear();
    angleStep.clear();
    angleMatrix.clear();
    angleFactor.clear();
    angleDefects.clear();
    tuckWidths.clear();
    particularWidths.clear();
    widthIncrement.clear();
    penaltyGradient.clear();
    widthMatrix.clear();
    widthFactor.clear();
    widthRhs.clear();
    delete[] faceTranslations;
    delete[] translationMatrix;
    delete[] translationFactor;
    delete[] translationRhs;
    delete[] translationWork;
    faceTranslations = nullptr;
    translationMatrix = translationFactor = translationRhs = translationWork = nullptr;
    allocated = false;
}
