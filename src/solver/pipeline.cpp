#include "solver/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

#include "creasepattern/dxf_export.h"
#include "model/console_line.h"
#include "model/oripoly.h"
#include "solver/saved_layout.h"

namespace {

const double kNotFinite = std::numeric_limits<double>::infinity();
// The convergence threshold of the idle loop for a model of length scale 1.
const double kConvergedPenalty = 0.01;
// A step that moves no corner by more than this fraction of the layout's size
// leaves it as it was.
const double kStillLayout = 1e-9;

Vec2 onSheet(const HalfEdge& h) { return h.face ? h.face->translation + h.corner : h.corner; }

// Every half-edge's corner on the sheet, as the views draw the layout.
std::vector<Vec2> sheetCorners(const Polyhedron& model) {
    std::vector<Vec2> corners;
    corners.reserve(model.halfEdges.size());
    for (const HalfEdge& h : model.halfEdges) corners.push_back(onSheet(h));
    return corners;
}

// A layout gone non-finite compares as still: there is nothing to improve.
bool layoutMoved(const Polyhedron& model, const std::vector<Vec2>& before) {
    if (before.size() != model.halfEdges.size()) return true;
    double size = 0.0, move = 0.0;
    size_t i = 0;
    for (const HalfEdge& h : model.halfEdges) {
        const Vec2& b = before[i++];
        Vec2 p = onSheet(h);
        size = std::max({size, std::fabs(p.x), std::fabs(p.y)});
        move = std::max({move, std::fabs(p.x - b.x), std::fabs(p.y - b.y)});
    }
    return move > kStillLayout * size;
}

// Cutting open and the boundary digons add at most one vertex, two edges and
// one face per perimeter entry, so the prepared model can be judged before
// anything of it is made.
bool preparedModelFits(const Polyhedron& model) {
    double P = (double)model.perimeter.size();
    double V = (double)model.vertices.size() + P;
    double E = (double)model.halfEdges.size() / 2.0 + 2.0 * P;
    double F = (double)model.faces.size() + P;
    return LayoutSolver::storageFits((int)model.vertices.size(), (int)(model.halfEdges.size() / 2),
                                     (int)model.faces.size(), LayoutSolver::storageBytes(V, E, F));
}

// The steps every Develop ends with, once the edge angles are corrected.
void solveFromAngles(LayoutSolver& solver) {
    solver.enforceAngleConditions();
    solver.propagateDirections();
    solver.solveWidths();
    solver.layoutFaces();
    solver.centreLayout();
    solver.buildTranslationSystem();
}

}  // namespace

namespace {

// The records of `model` handed back, without a copy (and so without
// memory, which may have just run out).
void dropRecords(Polyhedron& model) {
    Polyhedron empty;
    model.swapRecords(empty);
}

void sayOutOfMemory(const char* step, const Polyhedron& model, const char* outcome) {
    LayoutSolver::sayOutOfMemory(step, model.numVertices, model.numEdges, model.numFaces, outcome);
}

// Prepares and solves the working model; false when its storage, a factor
// or any memory on the way could not be had, the reason said.
bool prepareAndSolve(Polyhedron& working) {
    LayoutSolver& solver = working.solver;
    try {
        working.prepare();
        solver.model = &working;
        if (solver.allocate()) {
            solver.solveAngles();
            if (!solver.factorRefused) solveFromAngles(solver);
        }
        if (!solver.allocated || solver.factorRefused) return false;
        // A width that stops being finite before the first idle step goes back here.
        solver.rememberFiniteLayout();
        return true;
    } catch (const std::bad_alloc&) {
        sayOutOfMemory("develop", working, "the model stays as it was");
        return false;
    }
}

}  // namespace

bool developFirst(Polyhedron& working, Polyhedron& backup) {
    if (working.faces.empty()) return false;
    if (!preparedModelFits(working)) return false;

    try {
        backup = working;
    } catch (const std::bad_alloc&) {
        dropRecords(backup);
        sayOutOfMemory("develop", working, "the model stays as it was");
        return false;
    }
    if (!prepareAndSolve(working)) {
        // The model stays as it was, closed along its cut and undeveloped:
        // the copy just taken is that model, record for record.
        working.solver.dropSolution();
        working.swapRecords(backup);
        dropRecords(backup);
        return false;
    }
    working.checkTopology();
    return true;
}

namespace {

// The correction of Develop again, kept only when its edges' copies overlap
// less than before; false when a factor or other memory could not be had.
bool correctLayout(Polyhedron& working, const SavedLayout& saved) {
    LayoutSolver& solver = working.solver;
    const double before = solver.penaltyOf(1.0, 0.0, 0.0);
    solver.correctAnglesFromLayout();
    solveFromAngles(solver);
    if (solver.factorRefused) return false;
    const double after = solver.penaltyOf(1.0, 0.0, 0.0);
    if (after < before) {
        solver.halted = false;
        solver.rememberFiniteLayout();
        return true;
    }
    saved.restore(working);
    if (solver.factorRefused) return false;
    if (!solver.layoutFinite()) {
        solver.halted = true;
        consolePrintf(
            "\nDevelop again kept the layout: the solver is stopped, a tuck width or a face position is not "
            "finite\n");
        return true;
    }
    solver.halted = false;
    consolePrintf("\nDevelop again kept the layout: the correction did not lower the penalty (%g, was %g)\n",
                  after, before);
    return true;
}

}  // namespace

void developAgain(Polyhedron& working) {
    LayoutSolver& solver = working.solver;
    if (!solver.allocated) return;
    // A stopped solver starts again from its last finite layout.
    if (!solver.layoutFinite()) solver.restoreFiniteLayout();
    // The correction restarts the widths from the least-norm solution, which
    // on a layout that the penalty steps have improved (converged ones above
    // all) mostly overlaps more than before: it is kept only when the copies
    // of the edges overlap less than they did.
    try {
        const SavedLayout saved(working);
        bool done = false;
        try {
            done = correctLayout(working, saved);
        } catch (const std::bad_alloc&) {
            sayOutOfMemory("develop again", working, "the layout stays as it was");
        }
        // Refused: the layout goes back onto storage sized afresh, as a
        // refused topology edit puts it back.
        if (!done) {
            solver.dropSolution();
            saved.reinstate(working);
        }
    } catch (const std::bad_alloc&) {
        sayOutOfMemory("develop again", working, "the layout stays as it was");
    }
}

double convergedPenalty(const Polyhedron& model) {
    const double size = model.lengthScale();
    return kConvergedPenalty * size * size;
}

double settledPenalty(const Polyhedron& model) {
    const double shortest = CreasePattern::tolerance * model.lengthScale();
    return shortest * shortest;
}

namespace {

// One penalty step with the weights a and b, the faces laid out again;
// a layout that is then not finite goes back to the last finite one.
IdleStepResult takePenaltyStep(Polyhedron& working, const SolverOptions& options, double a, double b) {
    IdleStepResult result;
    LayoutSolver& solver = working.solver;
    CreasePattern& pattern = working.creasePattern;
    const std::vector<Vec2> corners = sheetCorners(working);
    result.penalty = solver.penaltyStep(a, b, 0.0);
    result.stepped = true;
    if (!solver.halted) {
        solver.layoutFaces();
        solver.centreLayout();
        if (!solver.layoutFinite()) solver.halt();
    }
    if (solver.halted) {
        solver.restoreFiniteLayout();
        result.penalty = kNotFinite;
    } else {
        solver.rememberFiniteLayout();
        if (pattern.built && !options.creasePatternOn) {
            pattern.triangulateVertexMolecules();
            pattern.improveVertexMolecules();
        }
    }
    result.converged = result.penalty < convergedPenalty(working);
    result.moved = layoutMoved(working, corners);
    return result;
}

}  // namespace

namespace {

IdleStepResult stepIdle(Polyhedron& working, const SolverOptions& options, bool converging) {
    IdleStepResult result;
    LayoutSolver& solver = working.solver;
    CreasePattern& pattern = working.creasePattern;
    // A width or a position made non-finite since the last step (by a tool,
    // say) goes back to the last finite layout, as one made by a step does.
    if (!solver.halted && !solver.layoutFinite()) {
        solver.restoreFiniteLayout();
        solver.halt();
    }
    if (solver.halted) {
        result.penalty = kNotFinite;
    } else if (options.avoidIntersection || options.angleCondition) {
        solver.rememberFiniteLayout();
        pattern.updatePositions();
        if (options.angleCondition) pattern.computeAngleConditionPenalty();
        const double a = options.avoidIntersection ? (converging ? 1.8 : 1.0) : 0.0;
        const double b = converging ? 1.1 : 1.0;
        if (!converging) {
            result.penalty = solver.penaltyOf(a, b, 0.0);
            result.settled = result.penalty < settledPenalty(working);
        }
        if (!result.settled) result = takePenaltyStep(working, options, a, b);
    }
    if (options.creasePatternOn && pattern.built) pattern.updatePositions();
    return result;
}

}  // namespace

IdleStepResult idleStep(Polyhedron& working, const SolverOptions& options, bool converging) {
    LayoutSolver& solver = working.solver;
    // A solver without its storage (memory that could not be had) has nothing to step.
    if (!solver.allocated) return IdleStepResult();
    try {
        return stepIdle(working, options, converging);
    } catch (const std::bad_alloc&) {
        // The step is taken back, and the solver stops on the layout it
        // started from, as on a width that is not finite, until Develop again.
        solver.restoreFiniteLayout();
        if (!solver.halted)
            sayOutOfMemory("take a step", working,
                           "the solver stops on the last finite layout until Develop");
        solver.halted = true;
        IdleStepResult result;
        result.penalty = kNotFinite;
        return result;
    }
}

namespace {

void tickPattern(Polyhedron& working, const SolverOptions& options, std::vector<Vec2>& corners) {
    CreasePattern& pattern = working.creasePattern;
    bool flipsDone = false;
    if (pattern.built) {
        pattern.clearCreaseLines();
        pattern.triangulateVertexMolecules();
        flipsDone = pattern.improveVertexMolecules() == 0;
    } else {
        pattern.attachModel(&working);
        pattern.buildPolygons();
        pattern.buildVertexMolecules();
        pattern.buildEdgeMolecules();
        pattern.closePatternBoundary();
        pattern.built = true;
        pattern.triangulateVertexMolecules();
    }
    if (options.creasePatternOn) pattern.generateCreaseLines();
    pattern.tickedCorners.swap(corners);
    pattern.tickedLines = options.creasePatternOn;
    pattern.tickedFlipsDone = flipsDone;
}

}  // namespace

bool creasePatternTick(Polyhedron& working, const SolverOptions& options) {
    if (!options.creasePatternOn && !options.angleCondition && !options.avoidIntersection) return false;
    // A solver without its storage has no layout to build from.
    if (!working.solver.allocated) return false;
    CreasePattern& pattern = working.creasePattern;
    std::vector<Vec2> corners;
    try {
        corners = sheetCorners(working);
        // Flips and lines follow the corners alone: a layout at rest keeps
        // them, and large patterns are not made again twice a second. Nor is
        // a pattern that memory could not be had for on this layout.
        const bool sameTick =
            corners == pattern.tickedCorners && options.creasePatternOn == pattern.tickedLines;
        if (sameTick && (pattern.built ? pattern.tickedFlipsDone : !pattern.tickedCorners.empty()))
            return false;
        tickPattern(working, options, corners);
    } catch (const std::bad_alloc&) {
        // A pattern half made (or lines judged on another layout) is not
        // shown or saved: it goes, handing its memory back, and is made
        // again once the layout moves.
        pattern.clear();
        pattern.tickedCorners.swap(corners);
        pattern.tickedLines = options.creasePatternOn;
        sayOutOfMemory("make the crease pattern", working, "it is made again once the layout moves");
    }
    return true;
}

namespace {

bool onSheetFinite(const Vec2& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Every width, face position and corner of the layout finite: the writer
// leaves out what is not, and a file without some faces is no design.
bool layoutWritableWhole(const Polyhedron& working) {
    if (!working.solver.layoutFinite()) return false;
    for (const HalfEdge& h : working.halfEdges)
        if (h.face && !onSheetFinite(onSheet(h))) return false;
    return true;
}

}  // namespace

int savePattern(Polyhedron& working, const SolverOptions& options, double a, double b, const char* path) {
    const char* name = path ? path : "";
    if (!layoutWritableWhole(working)) {
        consoleLine(
            "could not save the crease pattern to %s: a tuck width or a face position is not finite, nothing "
            "was saved\n",
            name);
        return -1;
    }
    if (options.creasePatternOn) {
        creasePatternTick(working, options);
        if (!working.creasePattern.built) {
            consoleLine(
                "could not save the crease pattern to %s: its crease lines could not be made, nothing was "
                "saved\n",
                name);
            return -1;
        }
    }
    // The writer's own lines say nothing of an open line before them.
    startConsoleLine();
    return exportDXF(working, !options.creasePatternOn, a, b, path);
}
