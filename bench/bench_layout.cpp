#include "bench_layout.h"

#include <cmath>
#include <vector>

#include "bench_process.h"
#include "crease_crossings.h"
#include "model/oripoly.h"
#include "solver/pipeline.h"

namespace {

bool widthsFinite(const Polyhedron& model) {
    for (double w : model.solver.tuckWidths)
        if (!std::isfinite(w)) return false;
    return true;
}

// The idle loop from a fresh Develop until the first step whose penalty is
// below the threshold, as the window's "cv:" line marks it.
void runToConvergence(Polyhedron& working, LayoutFigures& figures) {
    SolverOptions options;  // the window's options at start: Avoid Intersection on
    bool converging = true;
    figures.steps = 0;
    figures.ms = runQuietly([&] {
        while (converging && figures.steps < kConvergenceStepCap) {
            figures.penalty = windowIdleStep(working, options, converging);
            ++figures.steps;
        }
    });
    figures.broken = !widthsFinite(working);
    figures.converged = !converging && !figures.broken;
}

// The timer's tick with Crease Pattern Generation on builds the pattern and
// its lines; the ends are then placed as SaveAs places them before writing
// (a new pattern's centres are not placed before that).
void countCrossings(Polyhedron& working, LayoutFigures& figures) {
    SolverOptions options;
    options.creasePatternOn = true;
    runQuietly([&] {
        creasePatternTick(working, options);
        working.creasePattern.updatePositions();
    });
    std::vector<Segment> segments;
    for (const CreaseLine& line : working.creasePattern.lines)
        segments.push_back(Segment{*line.start->point, *line.end->point});
    figures.creaseLines = (int)segments.size();
    figures.crossings = countCrossingLines(segments, working.creasePattern.lengthTolerance());
    // Measured against the paper that holds the lines too, as the status line
    // shows it once the pattern is there.
    figures.efficiency = working.efficiencyAt(0.0);
}

// The idle loop after convergence until it rests, then the timer's tick
// with Crease Pattern Generation on, as the user sees the layout then.
void runToRest(Polyhedron& working, LayoutFigures& figures) {
    SolverOptions options;
    bool converging = false, resting = false;
    int steps = 0;
    runQuietly([&] {
        while (!resting && steps < kConvergenceStepCap) {
            IdleStepResult step = idleStep(working, options, converging);
            resting = !step.moved;
            ++steps;
        }
        options.creasePatternOn = true;
        creasePatternTick(working, options);
        working.creasePattern.updatePositions();
    });
    if (resting) figures.restSteps = figures.steps + steps;
    figures.restEfficiency = working.efficiencyAt(0.0);
}

}  // namespace

double windowIdleStep(Polyhedron& working, const SolverOptions& options, bool& converging) {
    IdleStepResult step = idleStep(working, options, converging);
    if (step.converged && converging) converging = false;
    return step.penalty;
}

LayoutFigures measureLayout(const BenchModel& model) {
    LayoutFigures figures;
    Polyhedron working, backup;
    bool developed = false;
    runQuietly(
        [&] {
            if (working.load(model.path.c_str()) != 0) return;
            figures.faces = (int)working.faces.size();
            developed = developFirst(working, backup);
        },
        &figures.refusal);
    if (!developed) {
        if (figures.refusal.empty()) figures.refusal = "did not develop";
        return figures;
    }
    figures.refusal.clear();
    runToConvergence(working, figures);
    countCrossings(working, figures);
    if (figures.converged) runToRest(working, figures);
    return figures;
}
