#ifndef PLICATROPE_SOLVER_LAYOUT_SOLVER_H
#define PLICATROPE_SOLVER_LAYOUT_SOLVER_H

#include <cstdint>
#include <vector>

#include "model/vec.h"
#include "solver/linear_algebra.h"

class Polyhedron;
struct HalfEdge;

// Tuck widths and face translations (in face list order): what an idle step
// changes, kept so that it can be put back.
struct SavedPlacement {
    std::vector<double> widths;
    std::vector<Vec2> translations;
};

// The solver state of one model: an edge angle and a tuck width per edge and
// a translation per face, found by ridge-regularised least squares.
// Per-edge arrays are indexed by edgeIndex, per-vertex arrays by the vertex
// index and per-face arrays by the face index of the last allocate().
// The constraint matrices are held by their non-zeros, with the sparse
// Cholesky factors of their ridged normal matrices.
class LayoutSolver {
public:
    Polyhedron* model = nullptr;
    int32_t numEdges = 0;
    int32_t numVertices = 0;
    int32_t numFaces = 0;
    int32_t numOuterEdges = 0;
    std::vector<double> edgeAngles;
    std::vector<double> particularAngles;
    std::vector<double> angleStep;
    SparseMatrix angleMatrix;
    NormalFactor angleFactor;
    std::vector<double> angleDefects;
    Vec2* faceTranslations = nullptr;
    SparseMatrix translationMatrix;
    NormalFactor translationFactor;
    double* translationRhs = nullptr;
    double* translationWork = nullptr;
    std::vector<double> tuckWidths;
    std::vector<double> particularWidths;
    std::vector<double> widthIncrement;
    std::vector<double> penaltyGradient;
    SparseMatrix widthMatrix;
    NormalFactor widthFactor;
    std::vector<double> widthRhs;
    bool allocated = false;
    bool factorRefused = false;
    bool translationSystemReady = false;
    bool anglesReady = false;
    bool widthsReady = false;
    bool translationsReady = false;
    // A step met a tuck width or a face translation that is not finite: the
    // solver keeps its last finite state, and neither steps nor fattens,
    // until the next allocate or a Develop again whose result is kept.
    bool halted = false;
    // The last placement that was all finite: where a step that meets a
    // value that is not a number goes back to.
    SavedPlacement finiteLayout;
    // Set while the storage is sized again for counts that this solver held
    // a moment ago (a topology edit taken back): that memory is not judged
    // again, neither by allocate() nor by the factorisations, and allocate()
    // prints none of the lines of a new allocation.
    bool reinstating = false;
    double ridge = 1e-5;

    LayoutSolver() = default;
    ~LayoutSolver();
    LayoutSolver(const LayoutSolver&) = delete;
    LayoutSolver& operator=(const LayoutSolver&) = delete;

    // Storage. allocate() returns false, having allocated nothing, when the
    // model's systems might not fit in this machine's memory.
    bool allocate();
    void release();
    // release(), and every solution marked as not ready: after a refusal.
    void dropSolution();
    int edgeSign(const HalfEdge* he) const;

    // The memory guard of allocate() and Develop: a bound of the bytes that
    // the storage of V vertices, E edges and F faces takes at its peak, and
    // whether `bytes` fit in what this machine allows (printing one line about
    // a model of v, e, f if not). The factors' fill depends on the pattern:
    // each is judged by its ordering, within what the storage leaves, and
    // factorRefused is set when one would not fit, or when the memory for
    // one could not be had.
    static double storageBytes(double V, double E, double F);
    static bool storageFits(int v, int e, int f, double bytes);
    // Half the memory this process may use (processMemoryLimit), unless
    // storageLimitOverride is positive. Open judges a file by it too.
    static double storageLimit();
    static double storageLimitOverride;
    // The one line of a step that memory could not be had for, on a model
    // of v, e, f, and what became of it.
    static void sayOutOfMemory(const char* step, int v, int e, int f, const char* outcome);

    // Linear algebra shared by every step, on a constraint matrix X with m
    // rows and n columns and the factor of X X^T + ridge I. Without a factor
    // the solves, projections and corrections leave their vectors unchanged.
    void factorNormalMatrix(const SparseMatrix& X, NormalFactor& factor);
    void solveNormalSystem(NormalFactor& factor, double* y);
    void leastNormSolution(const SparseMatrix& X, NormalFactor& factor, double* r, double* x0, double beta);
    void projectOntoNullSpace(const SparseMatrix& X, NormalFactor& factor, double* y, double* x);
    void correctTowardConstraints(const SparseMatrix& X, NormalFactor& factor, const double* b, double* y,
                                  double* x);

    // Edge angles.
    void solveAngles();
    void enforceAngleConditions();
    void printVertexAngleSums();
    void measureAnglesFromDirections();

    // Face orientation and bisector directions.
    Vec2 bisectorDirection(const HalfEdge* h) const;
    void orientFacesFrom(HalfEdge* h, int32_t depth, Vec2 v);
    void propagateDirections();

    // Face translations.
    void buildTranslationSystem();
    void solveTranslations();
    void applyTranslations();

    // Tuck widths and their limits.
    void solveWidths();
    void measureWidths();
    double widthLimit(const HalfEdge* h) const;
    double tuckDepth(const HalfEdge* h) const;
    double effectiveGap(const HalfEdge* h) const;
    bool withinWidthLimit(const HalfEdge* h) const;

    // Face layout and centring.
    void layoutFacesFrom(HalfEdge* h, Vec2 pos, int depth);
    void layoutFaces();
    void centreLayout();

    // Penalty step and the Explode brush. penaltyOf is the value that
    // penaltyStep would return, without the step; both answer infinity for
    // a layout that is not finite, which no threshold takes for convergence.
    double penaltyStep(double a, double b, double c);
    double penaltyOf(double a, double b, double c) const;
    bool layoutFinite() const;
    // Sets `halted`, with one console line the first time.
    void halt();
    // The current widths and translations, and putting back ones taken for
    // the current numbering (false, changing nothing, for any other).
    SavedPlacement placement() const;
    bool restorePlacement(const SavedPlacement& p);
    // Keeps the placement as the last finite layout, when it is; puts that
    // back, returning false when none was kept for the current numbering.
    void rememberFiniteLayout();
    bool restoreFiniteLayout();
    // The Explode brush; false, changing nothing, while the solver is
    // stopped or has no widths to change.
    bool fattenAt(Vec2 P, double sign, double S);

    // Re-solving after a topology edit (false, with the solution dropped and
    // one line said, when the storage or a factor is refused for its size),
    // and the re-develop correction.
    bool rebuild();
    void correctAnglesFromLayout();
    void solveTranslationsWithWidthFloor();
};

#endif
