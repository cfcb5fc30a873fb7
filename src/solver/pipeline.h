#ifndef PLICATROPE_SOLVER_PIPELINE_H
#define PLICATROPE_SOLVER_PIPELINE_H

class Polyhedron;

// The model-side sequences that the main window's Develop command, idle loop
// and crease-pattern timer run. They live here, without any window, so that
// the program, the tests and the benchmark run the very same steps.

// The options of the System menu that these sequences read.
struct SolverOptions {
    bool avoidIntersection = true;
    bool angleCondition = false;
    bool creasePatternOn = false;
};

// The first Develop of a loaded model: the backup becomes a deep copy of the
// working model, the working model is prepared (cut open) and solved.
// Returns false, having changed nothing and printed why, when the model is
// too large for this machine's memory.
bool developFirst(Polyhedron& working, Polyhedron& backup);

// Develop on a model that is already developed: corrects the edge angles
// from the current layout and solves again. The result is kept only when its
// edges' copies overlap less than before; otherwise the angles, widths and
// layout stay as they were, and one console line says so.
void developAgain(Polyhedron& working);

// The penalty below which the idle loop reports convergence and drops to its
// weaker weights: 0.01 for a model of length scale 1. The penalty is a sum of
// squared lengths, so it is measured against the square of the model's size.
double convergedPenalty(const Polyhedron& model);

// Below this penalty every overlap and angle term is shorter than the crease
// pattern's tolerance: once converged, the steps have nothing left to
// improve, and the layout is left as it is.
double settledPenalty(const Polyhedron& model);

struct IdleStepResult {
    bool stepped = false;  // a penalty step was taken
    // The step moved some corner on the sheet by more than a billionth of the
    // layout's size; a layout the steps no longer change needs no more of them.
    bool moved = false;
    // The penalty before that step (or of the settled layout); infinite once
    // the solver has stopped on a width or translation that is not finite.
    double penalty = 0.0;
    // A step was taken and its penalty was below convergedPenalty().
    bool converged = false;
    // No step was taken: the layout had converged and its penalty was below
    // settledPenalty().
    bool settled = false;
};

// One idle step of a developed model. `converging` selects the stronger
// weights used until the penalty first falls below its threshold; once it has
// (`converging` false), a layout whose penalty is below settledPenalty() is
// not stepped any more.
IdleStepResult idleStep(Polyhedron& working, const SolverOptions& options, bool converging);

// One tick of the crease-pattern timer on a developed model: builds the
// pattern the first time, then refreshes its triangulation; generates the
// crease lines when crease-pattern generation is on. A built pattern whose
// layout has not moved since the last tick, with the same lines asked for,
// is left as it is. Returns whether the tick changed the pattern.
bool creasePatternTick(Polyhedron& working, const SolverOptions& options);

// File > SaveAs on a developed model: the crease pattern written as DXF to
// `path`, turned by the unit vector (a, b), with its crease lines when
// crease-pattern generation is on and its molecules otherwise. The lines
// are those the timer's next tick would leave: a pattern whose layout has
// moved since its last tick (or that the timer has not built yet) is ticked
// first, so that no line is written that was judged on another layout.
// Returns exportDXF's result.
int savePattern(Polyhedron& working, const SolverOptions& options, double a, double b, const char* path);

#endif
