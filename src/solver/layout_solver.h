#ifndef PLICATROPE_SOLVER_LAYOUT_SOLVER_H
#define PLICATROPE_SOLVER_LAYOUT_SOLVER_H

#include <cstdint>
#include <vector>

#include "model/vec.h"

class Polyhedron;
struct HalfEdge;

// The solver state of one model: an edge angle and a tuck width per edge and
// a translation per face, found by ridge-regularised least squares.
// Per-edge arrays are indexed by edgeIndex, per-vertex arrays by the vertex
// index and per-face arrays by the face index of the last allocate().
// Matrices are column-major with the row count as leading dimension.
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
    std::vector<double> angleMatrix;
    std::vector<double> angleFactor;
    std::vector<double> angleDefects;
    Vec2* faceTranslations = nullptr;
    double* translationMatrix = nullptr;
    double* translationFactor = nullptr;
    double* translationRhs = nullptr;
    double* translationWork = nullptr;
    std::vector<double> tuckWidths;
    std::vector<double> particularWidths;
    std::vector<double> widthIncrement;
    std::vector<double> penaltyGradient;
    std::vector<double> widthMatrix;
    std::vector<double> widthFactor;
    std::vector<double> widthRhs;
    bool allocated = false;
    bool translationSystemReady = false;
    bool anglesReady = false;
    bool widthsReady = false;
    bool translationsReady = false;
    double ridge = 1e-5;

    LayoutSolver() = default;
    ~LayoutSolver();
    LayoutSolver(const LayoutSolver&) = delete;
    LayoutSolver& operator=(const LayoutSolver&) = delete;

    // Storage. allocate() returns false, having allocated nothing, when the
    // model's dense systems would not fit in this machine's memory.
    bool allocate();
    void release();
    int edgeSign(const HalfEdge* he) const;

    // The memory guard of allocate() and Develop: bytes of the storage for
    // V vertices, E edges and F faces, and whether `bytes` fit in what this
    // machine allows (printing one line about a model of v, e, f if not).
    static double storageBytes(double V, double E, double F);
    static bool storageFits(int v, int e, int f, double bytes);
    // Half the physical memory, unless storageLimitOverride is positive.
    static double storageLimit();
    static double storageLimitOverride;

    // Dense linear algebra shared by every step.
    void factorNormalMatrix(const double* X, int m, int n, double* factor);
    void solveNormalSystem(const double* factor, int m, double* y);
    void leastNormSolution(const double* X, int m, int n, const double* factor, double* r, double* x0,
                           double beta);
    void projectOntoNullSpace(const double* X, int m, int n, const double* factor, double* y, double* x);
    void correctTowardConstraints(const double* X, int m, int n, const double* factor, const double* b,
                                  double* y, double* x);

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

    // Penalty step and the Explode brush.
    double penaltyStep(double a, double b, double c);
    void fattenAt(Vec2 P, double sign, double S);

    // Re-solving after a topology edit, and the re-develop correction.
    void rebuild();
    void correctAnglesFromLayout();
    void solveTranslationsWithWidthFloor();
};

#endif
