#include "solver/saved_layout.h"

#include <new>

#include "model/oripoly.h"

SavedLayout::SavedLayout(const Polyhedron& model)
    : allocated(model.solver.allocated),
      placement(model.solver.placement()),
      angles(model.solver.edgeAngles),
      translationsReady(model.solver.translationsReady),
      halted(model.solver.halted),
      finiteLayout(model.solver.finiteLayout) {
    corners.reserve(model.halfEdges.size());
    directions.reserve(model.halfEdges.size());
    for (const HalfEdge& h : model.halfEdges) {
        corners.push_back(h.corner);
        directions.push_back(h.direction);
    }
}

void SavedLayout::restore(Polyhedron& model) const {
    LayoutSolver& solver = model.solver;
    solver.edgeAngles = angles;
    size_t i = 0;
    for (HalfEdge& h : model.halfEdges) {
        h.corner = corners[i];
        h.direction = directions[i++];
    }
    solver.solveWidths();
    solver.restorePlacement(placement);
    solver.buildTranslationSystem();
    solver.translationsReady = translationsReady;
}

bool SavedLayout::reinstate(Polyhedron& model) const {
    LayoutSolver& solver = model.solver;
    // A solver that held nothing has nothing to take back.
    if (!allocated) return true;
    if (corners.size() != model.halfEdges.size()) return false;
    solver.reinstating = true;
    bool sized = false;
    try {
        sized = solver.allocate();
        if (sized) {
            solver.solveAngles();
            restore(model);
        }
    } catch (const std::bad_alloc&) {
        sized = false;
        LayoutSolver::sayOutOfMemory("put the layout back", model.numVertices, model.numEdges, model.numFaces,
                                     "the solver has stopped");
    }
    solver.reinstating = false;
    if (!sized) {
        solver.dropSolution();
        return false;
    }
    solver.halted = halted;
    solver.finiteLayout = finiteLayout;
    return true;
}
