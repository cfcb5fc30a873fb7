#ifndef PLICATROPE_BENCH_LAYOUT_H
#define PLICATROPE_BENCH_LAYOUT_H

#include <string>

#include "bench_models.h"

class Polyhedron;
struct SolverOptions;

// The idle steps the benchmark waits for convergence, and then for rest.
const int kConvergenceStepCap = 3000;

// One idle tick as the window runs it: the step, then the end of the
// stronger converging weights once a step's penalty falls below the
// threshold. Returns the step's penalty (0 when no step was taken).
double windowIdleStep(Polyhedron& working, const SolverOptions& options, bool& converging);

// What a user gets from a model: how many idle steps the layout takes to
// converge and how good it is then, and whether its crease lines can fold.
// Negative counts stand for "not measured".
struct LayoutFigures {
    std::string refusal;  // why the model did not develop; empty when it did
    int faces = 0;
    int steps = -1;       // idle steps taken: to convergence, or the cap
    bool converged = false;
    bool broken = false;   // a tuck width is not finite
    double penalty = -1.0; // of the last step taken
    double ms = -1.0;      // of those idle steps
    double efficiency = -1.0;
    int creaseLines = -1;
    int crossings = -1;
    // The idle loop goes on from convergence until a step that leaves the
    // layout as it was, where the window stops asking for idle events: the
    // steps from Develop to that one (-1 when not within the cap again), and
    // the efficiency then, with the crease lines made again.
    int restSteps = -1;
    double restEfficiency = -1.0;
};

// Loads and develops the model as the window does, runs the idle loop with
// Avoid Intersection on until the penalty first falls below the threshold
// (or the cap), then builds the crease pattern, turns Crease Pattern
// Generation on for one timer tick, and counts the crease lines that cross
// another away from their ends; then idles on until the layout rests.
LayoutFigures measureLayout(const BenchModel& model);

#endif
