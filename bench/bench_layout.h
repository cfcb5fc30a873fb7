#ifndef PLICATROPE_BENCH_LAYOUT_H
#define PLICATROPE_BENCH_LAYOUT_H

#include <string>

#include "bench_models.h"

class Polyhedron;
struct SolverOptions;

// The window's penalty below which a layout is reported converged, and the
// idle steps the benchmark waits for it.
const double kConvergedPenalty = 0.01;
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
};

// Loads and develops the model as the window does, runs the idle loop with
// Avoid Intersection on until the penalty first falls below the threshold
// (or the cap), then builds the crease pattern, turns Crease Pattern
// Generation on for one timer tick, and counts the crease lines that cross
// another away from their ends.
LayoutFigures measureLayout(const BenchModel& model);

#endif
