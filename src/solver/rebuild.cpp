#include "model/oripoly.h"

// Re-solving after a change of topology, from the layout the user has been
// shaping rather than from scratch.
void LayoutSolver::rebuild() {
    if (!model) return;
    if (allocate()) {
        solveAngles();
        measureAnglesFromDirections();
        propagateDirections();
        buildTranslationSystem();
        solveTranslations();
        solveWidths();
        if (!factorRefused) {
            measureWidths();
            penaltyStep(1.0, 0.0, 0.0);
            layoutFaces();
            centreLayout();
            return;
        }
    }
    dropSolution();
}

// The refusal has been said in one line; the storage of the old numbering
// goes, and nothing sized for it may be read as a solution any more.
void LayoutSolver::dropSolution() {
    release();
    widthsReady = false;
    translationsReady = false;
    translationSystemReady = false;
}

namespace {

// Splits every edge one of whose halves is wider than its limit. The limits
// are read from the solution before the first split: the solver is not
// updated during the pass, and the halves that a split adds are copies of a
// marked half-edge, so the pass skips them.
void splitBeyondWidthLimit(Polyhedron& model) {
    const LayoutSolver& solver = model.solver;
    model.clearVisited();
    for (HalfEdge& r : model.halfEdges) {
        if (r.visited || !r.pair) continue;
        r.visited = true;
        r.pair->visited = true;
        if (!solver.withinWidthLimit(&r) || !solver.withinWidthLimit(r.pair)) model.splitIntoDigon(&r);
    }
}

bool activeCorner(const PatternVertex* corner) {
    return corner && corner->vtmEdge && corner->vtmEdge->active;
}

// Splits every edge at whose corners the built crease pattern found the
// angle condition violated.
void splitAtActiveCorners(Polyhedron& model) {
    const CreasePattern& cp = model.creasePattern;
    if (!cp.built || cp.model != &model) return;
    model.clearVisited();
    for (HalfEdge& r : model.halfEdges) {
        if (r.visited || !r.pair) continue;
        r.visited = true;
        r.pair->visited = true;
        if (!r.patternVertex || !r.pair->patternVertex) continue;
        if (activeCorner(r.patternVertex) || activeCorner(r.pair->patternVertex)) model.splitIntoDigon(&r);
    }
}

// Every topology change ends alike: numbered, re-solved, and the pattern,
// whose records point into the old topology, dropped.
void finishTopologyChange(Polyhedron& model) {
    model.clearVisited();
    model.numberElements();
    model.solver.rebuild();
    model.creasePattern.clear();
}

}  // namespace

void Polyhedron::splitWideTucks() {
    // Without a solution (a rebuild refused for its size) no width can be judged.
    if (!solver.allocated) return;
    splitBeyondWidthLimit(*this);
    finishTopologyChange(*this);
}

void Polyhedron::splitWideTucksWithAngleCondition() {
    if (!solver.allocated) return;
    splitBeyondWidthLimit(*this);
    splitAtActiveCorners(*this);
    finishTopologyChange(*this);
}

void Polyhedron::mergeSplitEdge(HalfEdge* h) {
    removeDigon(h);
    finishTopologyChange(*this);
}
